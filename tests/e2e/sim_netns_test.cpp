// The simulator on a real (virtual) Ethernet link: two network namespaces joined by a veth pair,
// quorin-board-sim with 200 boards in one, a search client in the other sending to the limited
// broadcast address 255.255.255.255. Every datagram stays inside the two namespaces, which the
// test creates and always deletes.
//
// Runs only as root with the `ip` tool; otherwise the test is skipped with the reason.
//
// The search client is any program taking "--address A --port P --seconds S --expect N [--find]"
// and printing a "replies=N distinct=M ..." line: netns_search_probe by default, or the program
// named by the environment variable QUORIN_NETNS_SEARCH_CLIENT.
#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>

#include "tests/support/event_log.h"

namespace {

constexpr int kCommandTimeoutMs = 5000;
constexpr int kReadyTimeoutMs = 5000;
constexpr double kClientSeconds = 4;
constexpr int kMainBoardsPerModel = 40;  // five main-protocol models: 200 boards
constexpr int kLegacyBoards = 10;

const QString kSimulator = QStringLiteral(QUORIN_BOARD_SIM_PATH);

QString search_client() {
    const QByteArray custom = qgetenv("QUORIN_NETNS_SEARCH_CLIENT");
    return custom.isEmpty() ? QStringLiteral(QUORIN_NETNS_SEARCH_PROBE_PATH)
                            : QString::fromLocal8Bit(custom);
}

QString ip_tool() {
    QString path = QStandardPaths::findExecutable(QStringLiteral("ip"));
    if (path.isEmpty()) {
        path = QStandardPaths::findExecutable(
            QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    }
    return path;
}

struct CommandResult {
    bool ran = false;
    int exit_code = -1;
    QString output;  // standard output and error together
};

CommandResult run(const QStringList& args, int timeout_ms = kCommandTimeoutMs) {
    CommandResult r;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ip_tool(), args);
    if (!p.waitForStarted(timeout_ms)) return r;
    if (!p.waitForFinished(timeout_ms)) {
        p.kill();
        p.waitForFinished(1000);
        r.output = QString::fromLocal8Bit(p.readAll());
        return r;
    }
    r.ran = p.exitStatus() == QProcess::NormalExit;
    r.exit_code = p.exitCode();
    r.output = QString::fromLocal8Bit(p.readAll());
    return r;
}

// Two namespaces joined by a veth pair; both deleted on destruction (the pair goes with them).
class NamespacePair {
  public:
    static constexpr char kPrefix[] = "qsimnet";

    NamespacePair() {
        const QString pid = QString::number(::getpid());
        boards_ns = QLatin1String(kPrefix) + pid + QLatin1Char('a');
        client_ns = QLatin1String(kPrefix) + pid + QLatin1Char('b');
        boards_if = QStringLiteral("qsa") + pid;  // interface names stay under 16 characters
        client_if = QStringLiteral("qsb") + pid;
    }
    ~NamespacePair() {
        for (const QString& ns : created_) run({"netns", "delete", ns});
    }

    // Removes namespaces an earlier run of this test left behind when it was killed: names of
    // this test's pattern whose process no longer exists.
    static void remove_stale() {
        static const QRegularExpression mine(QStringLiteral("^%1(\\d+)[ab]\\b").arg(kPrefix));
        for (const QString& line : run({"netns", "list"}).output.split(QLatin1Char('\n'))) {
            const auto m = mine.match(line);
            if (m.hasMatch() && !QFileInfo::exists(QStringLiteral("/proc/") + m.captured(1))) {
                run({"netns", "delete", line.section(QLatin1Char(' '), 0, 0)});
            }
        }
    }

    // Creates the namespaces (false with `why` when the system does not allow it), then the
    // link, addresses and routes (false with `why` on any failure).
    bool create_namespaces(QString* why) {
        for (const QString& ns : {boards_ns, client_ns}) {
            const CommandResult r = run({"netns", "add", ns});
            if (!r.ran || r.exit_code != 0) {
                *why = QStringLiteral("ip netns add %1: %2").arg(ns, r.output.trimmed());
                return false;
            }
            created_ << ns;
        }
        return true;
    }

    bool connect(QString* why) {
        const QList<QStringList> steps = {
            {"link", "add", boards_if, "netns", boards_ns, "type", "veth", "peer", "name",
             client_if, "netns", client_ns},
            {"-n", boards_ns, "addr", "add", "10.213.0.1/24", "dev", boards_if},
            {"-n", client_ns, "addr", "add", "10.213.0.2/24", "dev", client_if},
            {"-n", boards_ns, "link", "set", "lo", "up"},
            {"-n", client_ns, "link", "set", "lo", "up"},
            {"-n", boards_ns, "link", "set", boards_if, "up"},
            {"-n", client_ns, "link", "set", client_if, "up"},
            // A default route gives 255.255.255.255 a way out of the client's namespace, as on a
            // real LAN; it leads only to the other namespace.
            {"-n", client_ns, "route", "add", "default", "dev", client_if},
        };
        for (const QStringList& step : steps) {
            const CommandResult r = run(step);
            if (!r.ran || r.exit_code != 0) {
                *why = QStringLiteral("ip %1: %2")
                           .arg(step.join(QLatin1Char(' ')), r.output.trimmed());
                return false;
            }
        }
        return true;
    }

    QString boards_ns, client_ns, boards_if, client_if;

  private:
    QStringList created_;
};

// The simulator, started inside a namespace through "ip netns exec" (which replaces itself with
// the simulator, so the process is the simulator's own and terminating it sends it SIGTERM).
struct SimulatorInNamespace {
    QProcess process;

    bool start(const QString& ns, const QStringList& args, QString* why) {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(ip_tool(), QStringList{"netns", "exec", ns, kSimulator} + args);
        if (!process.waitForStarted(kCommandTimeoutMs)) {
            *why = QStringLiteral("could not start the simulator");
            return false;
        }
        QByteArray seen;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < kReadyTimeoutMs) {
            process.waitForReadyRead(100);
            seen += process.readAllStandardOutput();
            if (seen.contains("ready main=")) return true;
            if (process.state() == QProcess::NotRunning) break;
        }
        *why = QStringLiteral("the simulator did not say ready: ") + QString::fromLocal8Bit(seen);
        return false;
    }
    ~SimulatorInNamespace() {
        if (process.state() == QProcess::NotRunning) return;
        process.kill();
        process.waitForFinished(2000);
    }
};

struct ClientResult {
    bool ran = false;
    std::map<QString, int> counts;  // "replies", "distinct", "len402", ...
    QString output;
};

// Runs the search client in `ns` against the limited broadcast address.
ClientResult run_search_client(const QString& ns, quint16 port, int expect, bool find) {
    QStringList args = {"netns",     "exec",
                        ns,          search_client(),
                        "--address", "255.255.255.255",
                        "--port",    QString::number(port),
                        "--seconds", QString::number(kClientSeconds),
                        "--expect",  QString::number(expect)};
    if (find) args << QStringLiteral("--find");
    const CommandResult r = run(args, static_cast<int>(kClientSeconds * 1000) + kCommandTimeoutMs);
    ClientResult out;
    out.output = r.output;
    static const QRegularExpression pair(QStringLiteral("(\\w+)=(\\d+)"));
    const qsizetype line = r.output.indexOf(QStringLiteral("replies="));
    if (!r.ran || r.exit_code != 0 || line < 0) return out;
    out.ran = true;
    auto it = pair.globalMatch(r.output.mid(line).section(QLatin1Char('\n'), 0, 0));
    while (it.hasNext()) {
        const auto m = it.next();
        out.counts[m.captured(1)] = m.captured(2).toInt();
    }
    return out;
}

using quorin::testing::read_events;

TEST(SimulatorInNetworkNamespaces, TwoHundredBoardsAnswerASearchSentToTheLimitedBroadcastAddress) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to create network namespaces";
    if (ip_tool().isEmpty()) GTEST_SKIP() << "needs the ip tool (iproute2)";

    NamespacePair::remove_stale();
    NamespacePair net;
    QString why;
    if (!net.create_namespaces(&why))
        GTEST_SKIP() << "cannot create network namespaces: " << why.toStdString();
    ASSERT_TRUE(net.connect(&why)) << why.toStdString();

    // Private namespaces: no other test can hold these ports.
    const quint16 main_port = static_cast<quint16>(20000 + ::getpid() % 20000);
    const quint16 legacy_port = static_cast<quint16>(main_port + 1);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString log = dir.filePath(QStringLiteral("events.jsonl"));

    QStringList boards;
    for (const char* code : {"0001", "0002", "0003", "0005", "0006"}) {
        boards << QStringLiteral("%1:%2").arg(QLatin1String(code)).arg(kMainBoardsPerModel);
    }
    boards << QStringLiteral("0004:%1").arg(kLegacyBoards);
    SimulatorInNamespace sim;
    ASSERT_TRUE(
        sim.start(net.boards_ns,
                  {"--boards", boards.join(QLatin1Char(',')), "--main-port",
                   QString::number(main_port), "--legacy-port", QString::number(legacy_port),
                   "--board-net", "10.213.1.0", "--events", log, "--duration", "18"},
                  &why))
        << why.toStdString();

    const int main_boards = 5 * kMainBoardsPerModel;
    const ClientResult search = run_search_client(net.client_ns, main_port, main_boards, false);
    ASSERT_TRUE(search.ran) << search.output.toStdString();
    EXPECT_EQ(search.counts.at("replies"), main_boards) << search.output.toStdString();
    EXPECT_EQ(search.counts.at("distinct"), main_boards);
    EXPECT_EQ(search.counts.at("len226"), kMainBoardsPerModel);
    EXPECT_EQ(search.counts.at("len290"), 2 * kMainBoardsPerModel);
    EXPECT_EQ(search.counts.at("len402"), 2 * kMainBoardsPerModel);

    const ClientResult find = run_search_client(net.client_ns, legacy_port, kLegacyBoards, true);
    ASSERT_TRUE(find.ran) << find.output.toStdString();
    EXPECT_EQ(find.counts.at("replies"), kLegacyBoards) << find.output.toStdString();
    EXPECT_EQ(find.counts.at("len120"), kLegacyBoards);

    sim.process.terminate();
    ASSERT_TRUE(sim.process.waitForFinished(kCommandTimeoutMs));
    EXPECT_EQ(sim.process.exitCode(), 0);

    // The simulator saw the broadcasts arrive from the other namespace and answered there.
    std::map<QString, int> counts;
    std::map<QString, int> replies_to;
    for (const QJsonObject& e : read_events(log)) {
        const QString name = e.value(QStringLiteral("event")).toString();
        ++counts[name];
        if (name == QLatin1String("datagram_received")) {
            EXPECT_EQ(e.value(QStringLiteral("from")).toString(), "10.213.0.2");
        }
        if (name == QLatin1String("reply_sent"))
            ++replies_to[e.value(QStringLiteral("to")).toString()];
    }
    EXPECT_EQ(counts["datagram_received"], 2);
    EXPECT_EQ(counts["reply_sent"], main_boards + kLegacyBoards);
    EXPECT_EQ(counts["send_failed"], 0);
    EXPECT_EQ(replies_to["10.213.0.2"], main_boards + kLegacyBoards);
}

}  // namespace
