// The command line of quorin-board-sim: option parsing in-process, then the program itself as a
// child process (ready line, event log file, clean exit on SIGTERM and after --duration).
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>

#include "sim/board_json.h"
#include "sim/sim_options.h"
#include "sim_test_support.h"

namespace quorin::sim {
namespace {

using namespace testing;

std::optional<SimSetup> parse(QStringList args, QString* error = nullptr) {
    args.prepend(QStringLiteral("quorin-board-sim"));
    QString ignored;
    return parse_command_line(args, error ? error : &ignored);
}

TEST(SimCommandLine, Defaults) {
    const auto setup = parse({});
    ASSERT_TRUE(setup);
    ASSERT_EQ(setup->boards.size(), 6u);
    EXPECT_EQ(setup->boards[0].row.local_ip, (std::array<std::uint8_t, 4>{127, 0, 1, 1}));
    EXPECT_EQ(setup->config.main_port, kMainPort);
    EXPECT_EQ(setup->config.legacy_port, kLegacyBoardPort);
    EXPECT_EQ(setup->config.upload_port, kAckUploadPort);
    EXPECT_EQ(setup->config.stream_port, kStreamUploadPort);
    EXPECT_EQ(setup->config.bind_address, QHostAddress(QHostAddress::AnyIPv4));
    EXPECT_EQ(setup->duration_s, 0);
    EXPECT_FALSE(setup->print_boards);
    EXPECT_FALSE(setup->config.installs);
    EXPECT_EQ(setup->config.reboot_ms, 1000);
}

TEST(SimCommandLine, BoardsFaultsPortsAndAddresses) {
    QString error;
    const auto setup = parse({"--boards",         "0002:40",
                              "--boards",         "0107:1",
                              "--fault",          "0,40:search_twice",
                              "--fault",          "1-2:reply_delay_ms=30",
                              "--main-port",      "0",
                              "--legacy-port",    "5555",
                              "--upload-port",    "6000",
                              "--stream-port",    "6001",
                              "--bind",           "127.0.0.1",
                              "--board-net",      "10.99.0.0",
                              "--duration",       "2.5",
                              "--complete-delay", "10",
                              "--upload-timeout", "900",
                              "--installs",       "1.6.2",
                              "--reboot-ms",      "0",
                              "--events",         "/tmp/x.jsonl"},
                             &error);
    ASSERT_TRUE(setup) << error.toStdString();
    ASSERT_EQ(setup->boards.size(), 41u);
    EXPECT_EQ(setup->boards[40].row.product_code, (std::array<std::uint8_t, 2>{1, 7}));
    EXPECT_EQ(setup->boards[40].row.local_ip, (std::array<std::uint8_t, 4>{10, 99, 0, 41}));
    EXPECT_TRUE(setup->boards[0].faults.search_twice);
    EXPECT_TRUE(setup->boards[40].faults.search_twice);
    EXPECT_EQ(setup->boards[2].faults.reply_delay_ms, 30);
    EXPECT_FALSE(setup->boards[3].faults.any());
    EXPECT_EQ(setup->config.main_port, 0);
    EXPECT_EQ(setup->config.legacy_port, 5555);
    EXPECT_EQ(setup->config.upload_port, 6000);
    EXPECT_EQ(setup->config.stream_port, 6001);
    EXPECT_EQ(setup->config.bind_address, QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(setup->config.complete_delay_ms, 10);
    EXPECT_EQ(setup->config.upload_timeout_ms, 900);
    EXPECT_EQ(setup->config.installs, (FirmwareBytes{1, 62}));
    EXPECT_EQ(setup->config.reboot_ms, 0);
    EXPECT_DOUBLE_EQ(setup->duration_s, 2.5);
    EXPECT_EQ(setup->events_path, "/tmp/x.jsonl");
}

TEST(SimCommandLine, RejectsBadArguments) {
    const QStringList cases[] = {
        {"--main-port", "70000"},
        {"--main-port", "x"},
        {"--boards", "2:1"},
        {"--boards", "0002:1", "--fault", "1:search_twice"},  // there is only board 0
        {"--fault", "0:unknown"},
        {"--duration", "0"},
        {"--bind", "nowhere"},
        {"--board-net", "10.99"},
        {"--config", "/nonexistent/boards.json"},
        {"--complete-delay", "-5"},
        {"--reboot-ms", "-1"},
        {"--installs", "1.0.5"},
        {"--installs", "1.26.0"},
        {"--installs", "x"},
        {"--no-such-option"},
        {"stray"},
    };
    for (const QStringList& args : cases) {
        QString error;
        EXPECT_FALSE(parse(args, &error)) << args.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty()) << args.join(' ').toStdString();
    }
}

TEST(SimCommandLine, ConfigBoardsComeFirst) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath("boards.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"boards": [{"product_code": "0006", "count": 2, "faults": {"ack_byte": 33}}]})");
    file.close();
    QString error;
    const auto setup = parse({"--config", file.fileName(), "--boards", "0004:1"}, &error);
    ASSERT_TRUE(setup) << error.toStdString();
    ASSERT_EQ(setup->boards.size(), 3u);
    EXPECT_EQ(setup->boards[1].faults.ack_byte, 33);
    EXPECT_EQ(setup->boards[2].row.product_code, (std::array<std::uint8_t, 2>{0, 4}));
    EXPECT_EQ(setup->boards[2].row.local_ip, (std::array<std::uint8_t, 4>{127, 0, 1, 3}));
}

TEST(SimCommandLine, BoardListing) {
    const auto setup = parse({"--boards", "0001:1,0004:1,0107:1"});
    ASSERT_TRUE(setup);
    EXPECT_EQ(board_listing(setup->boards),
              (QStringList{"0 02:51:00:01:00:00 0001 127.0.1.1 main 226",
                           "1 02:51:00:04:00:01 0004 127.0.1.2 legacy 120",
                           "2 02:51:01:07:00:02 0107 127.0.1.3 main 290"}));
}

// ---- the program ------------------------------------------------------------------------------

const QString kProgram = QStringLiteral(QUORIN_BOARD_SIM_PATH);

struct ReadyProcess {
    QProcess process;
    quint16 main_port = 0;
    quint16 legacy_port = 0;

    bool start(const QStringList& args) {
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(kProgram, args);
        if (!process.waitForStarted(5000)) return false;
        static const QRegularExpression ready(R"(^ready main=(\d+) legacy=(\d+)$)",
                                              QRegularExpression::MultilineOption);
        QByteArray seen;
        const bool ok = wait_until(
            [&] {
                seen += process.readAllStandardOutput();
                return ready.match(QString::fromUtf8(seen)).hasMatch() ||
                       process.state() == QProcess::NotRunning;
            },
            5000);
        const auto m = ready.match(QString::fromUtf8(seen));
        if (!ok || !m.hasMatch()) return false;
        main_port = static_cast<quint16>(m.captured(1).toUInt());
        legacy_port = static_cast<quint16>(m.captured(2).toUInt());
        return true;
    }
    ~ReadyProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
};

std::vector<QJsonObject> read_events(const QString& path) {
    std::vector<QJsonObject> events;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return events;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty()) continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        EXPECT_TRUE(doc.isObject()) << line.toStdString();
        events.push_back(doc.object());
    }
    return events;
}

TEST(SimProgram, AnswersLogsAndStopsCleanlyOnSigterm) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString log = dir.filePath("events.jsonl");
    ReadyProcess sim;
    ASSERT_TRUE(sim.start({"--bind", "127.0.0.1", "--main-port", "0", "--legacy-port", "0",
                           "--boards", "all:1", "--fault", "2:search_twice", "--events", log}));

    UdpPeer tool;
    QByteArray search(402, 0);
    search[0] = 1;
    tool.send(search, sim.main_port);
    tool.send(QByteArray("FIND"), sim.legacy_port);
    EXPECT_EQ(tool.receive(7, 3000).size(), 7u);

    // Each event is on disk as soon as it happened.
    EXPECT_TRUE(wait_until([&] { return read_events(log).size() >= 11; }, 2000));
    sim.process.terminate();
    ASSERT_TRUE(sim.process.waitForFinished(5000));
    EXPECT_EQ(sim.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.process.exitCode(), 0);

    std::map<QString, int> counts;
    for (const auto& e : read_events(log)) ++counts[e.value("event").toString()];
    EXPECT_EQ(counts["ready"], 1);
    EXPECT_EQ(counts["datagram_received"], 2);
    EXPECT_EQ(counts["reply_sent"], 7);
    EXPECT_EQ(counts["fault"], 1);
    EXPECT_EQ(counts["stopped"], 1);
}

TEST(SimProgram, StopsCleanlyOnSigint) {
    ReadyProcess sim;
    ASSERT_TRUE(sim.start({"--bind", "127.0.0.1", "--main-port", "0", "--legacy-port", "0"}));
    ASSERT_EQ(::kill(static_cast<pid_t>(sim.process.processId()), SIGINT), 0);
    ASSERT_TRUE(sim.process.waitForFinished(5000));
    EXPECT_EQ(sim.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.process.exitCode(), 0);
}

TEST(SimProgram, StopsByItselfAfterTheDuration) {
    ReadyProcess sim;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(sim.start(
        {"--bind", "127.0.0.1", "--main-port", "0", "--legacy-port", "0", "--duration", "0.3"}));
    ASSERT_TRUE(sim.process.waitForFinished(5000));
    EXPECT_EQ(sim.process.exitCode(), 0);
    EXPECT_GE(clock.elapsed(), 250);
}

TEST(SimProgram, PrintsBoardsAndDumpsALoadableBoardsFile) {
    QProcess list;
    list.start(kProgram, {"--boards", "0002:2,0004:1", "--print-boards"});
    ASSERT_TRUE(list.waitForFinished(5000));
    EXPECT_EQ(list.exitCode(), 0);
    EXPECT_EQ(
        QString::fromUtf8(list.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).size(), 3);

    QProcess dump;
    dump.start(kProgram, {"--boards", "all:1", "--fault", "3:refuse_upload", "--dump-config", "-"});
    ASSERT_TRUE(dump.waitForFinished(5000));
    EXPECT_EQ(dump.exitCode(), 0);
    QString error;
    const auto boards = boards_from_json(QJsonDocument::fromJson(dump.readAllStandardOutput()),
                                         {127, 0, 1, 0}, 0, &error);
    ASSERT_TRUE(boards) << error.toStdString();
    ASSERT_EQ(boards->size(), 6u);
    EXPECT_TRUE((*boards)[3].faults.refuse_upload);
    EXPECT_EQ((*boards)[5].row, default_board_row({0, 6}, 5, {127, 0, 1, 6}));
}

TEST(SimProgram, BadArgumentsExitWithAMessage) {
    for (const QStringList& args :
         {QStringList{"--boards", "nonsense"}, QStringList{"--installs", "1.0.5"}}) {
        QProcess bad;
        bad.start(kProgram, args);
        ASSERT_TRUE(bad.waitForFinished(5000));
        EXPECT_EQ(bad.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(bad.readAllStandardError().contains(args[0].toUtf8()));
    }
}

}  // namespace
}  // namespace quorin::sim
