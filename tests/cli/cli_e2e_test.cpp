// quorinctl end to end: the real binary against quorin-board-sim on loopback (requests to
// 127.255.255.255, boards' ports chosen by the system, our legacy port any free one).
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QNetworkProxy>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>
#include <set>

#include "tests/cli/cli_support.h"
#include "tests/support/test_image.h"

namespace quorin::cli::testing {
namespace {

const QString kTool = QStringLiteral(QUORIN_CTL_PATH);
const QString kSim = QStringLiteral(QUORIN_BOARD_SIM_PATH);

using QuorinctlAgainstSimulator = SimulatorTest;

TEST_F(QuorinctlAgainstSimulator, SearchListsEveryModelAsATableAndAsJson) {
    start(QStringLiteral("all:1"));
    const Outcome table = ctl({"search", "--expect", "6"}, 3000);
    ASSERT_EQ(table.status, 0) << table.err.toStdString();
    const QStringList lines = table.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7) << table.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("MAC ")) << lines[0].toStdString();
    for (const char* model :
         {"Quorin712P-T", "Quorin712P ", "Quorin712PD", "5836KL", "BRV406H", "DAVRO2xM"}) {
        EXPECT_TRUE(table.out.contains(QLatin1String(model))) << model;
    }

    const Outcome json = ctl({"search", "--json", "--expect", "6"}, 3000);
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonObject doc = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(doc.value("format_version"), 1);
    EXPECT_EQ(doc.keys(), (QStringList{"boards", "format_version"}));
    const QJsonArray boards = doc.value("boards").toArray();
    ASSERT_EQ(boards.size(), 6);
    std::map<QString, QString> protocol_by_model;
    for (const QJsonValue& b : boards) {
        const QJsonObject o = b.toObject();
        protocol_by_model[o.value("model").toString()] = o.value("protocol").toString();
        EXPECT_EQ(o.value("interface").toString(), "lo");
        EXPECT_TRUE(o.contains("channel[0].baud_rate"));
    }
    EXPECT_EQ(protocol_by_model["5836KL"], "legacy");
    EXPECT_EQ(protocol_by_model["DAVRO2xM"], "main");
    EXPECT_EQ(set_requests(), 0);
}

// The search's rows as CSV: the table's columns under a heading row, records ending in CRLF;
// --json is --format json, so the two together are refused.
TEST_F(QuorinctlAgainstSimulator, SearchAsCsvAndFormatJsonAsJson) {
    start(QStringLiteral("all:1"));
    const Outcome csv = ctl({"search", "--format", "csv", "--expect", "6"}, 3000);
    ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
    const QStringList records = csv.out.split(QStringLiteral("\r\n"));
    ASSERT_EQ(records.size(), 8) << csv.out.toStdString();  // heading, 6 boards, "" after the last
    EXPECT_EQ(records[0], "MAC,MODEL,IP ADDRESS,MASK,GATEWAY,FIRMWARE,IP MODE,INTERFACE");
    EXPECT_TRUE(records[7].isEmpty());
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(records[i].split(',').size(), 8) << records[i].toStdString();
        EXPECT_TRUE(records[i].endsWith(",lo")) << records[i].toStdString();
    }

    const Outcome json = ctl({"search", "--format", "json", "--expect", "6"}, 3000);
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonObject doc = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(doc.value("format_version"), 1);
    EXPECT_EQ(doc.value("boards").toArray().size(), 6);

    const int before = received();
    for (const QStringList& args : {QStringList{"search", "--json", "--format", "csv"},
                                    QStringList{"search", "--format", "xml"}}) {
        const Outcome refused = ctl(args);
        EXPECT_EQ(refused.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(refused.out.isEmpty());
        EXPECT_TRUE(refused.err.contains("--format")) << refused.err.toStdString();
    }
    EXPECT_EQ(received(), before);
}

// Boards past one /24 and far past the window's 200: every one listed, in each format, and no
// styling when standard output is not a terminal.
TEST_F(QuorinctlAgainstSimulator, SearchListsTwoThousandBoardsWithNoneLost) {
    start(QStringLiteral("0002:2000"));
    const Outcome csv = ctl({"search", "--format", "csv", "--expect", "2000"}, 10000);
    ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
    EXPECT_TRUE(csv.err.isEmpty()) << csv.err.toStdString();  // no "table full" note
    QStringList records = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_FALSE(records.isEmpty());
    records.removeFirst();
    std::set<QString> macs, addresses;
    for (const QString& r : records) {
        const QStringList f = r.split(',');
        ASSERT_EQ(f.size(), 8) << r.toStdString();
        macs.insert(f[0]);
        addresses.insert(f[2]);
    }
    EXPECT_EQ(macs.size(), 2000u);
    EXPECT_EQ(addresses.size(), 2000u);
    EXPECT_EQ(addresses.count("127.0.8.222"), 1u);  // board 1999: the eighth /24

    const Outcome json = ctl({"search", "--json", "--expect", "2000"}, 10000);
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    std::set<QString> json_macs;
    for (const QJsonValue& b :
         QJsonDocument::fromJson(json.out.toUtf8()).object().value("boards").toArray()) {
        json_macs.insert(b.toObject().value("mac_address").toString());
    }
    EXPECT_EQ(json_macs.size(), 2000u);

    const Outcome table = ctl({"search", "--expect", "2000"}, 10000);
    ASSERT_EQ(table.status, 0) << table.err.toStdString();
    EXPECT_EQ(table.out.count('\n'), 2001);
    EXPECT_TRUE(table.out.startsWith("MAC  ")) << table.out.left(80).toStdString();
    EXPECT_FALSE(table.out.contains('\x1b'));
}

// On a terminal the table's headings are bold, unless NO_COLOR is set to something.
TEST_F(QuorinctlAgainstSimulator, ATerminalGetsBoldHeadingsUnlessNoColorIsSet) {
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    const QString env = QStandardPaths::findExecutable(QStringLiteral("env"));
    if (script.isEmpty() || env.isEmpty()) GTEST_SKIP() << "no script(1) here to make a terminal";
    start(QStringLiteral("0002:2"));
    const auto on_terminal = [&](const QString& no_color) {
        QStringList words{env};
        words << (no_color.isNull() ? QStringLiteral("-u")
                                    : QStringLiteral("NO_COLOR=") + no_color);
        if (no_color.isNull()) words << QStringLiteral("NO_COLOR");
        words << kTool << "--broadcast"
              << "127.255.255.255"
              << "--port" << QString::number(sim_.main_port) << "--legacy-port"
              << QString::number(sim_.legacy_port) << "--legacy-local-port"
              << "0"
              << "--wait"
              << "3000"
              << "search"
              << "--expect"
              << "2";
        QStringList quoted;
        for (const QString& w : words) quoted << "'" + w + "'";
        return run_program(script, {"-qec", quoted.join(' '), "/dev/null"});
    };
    const QString bold = QStringLiteral("\x1b[1mMAC ");
    for (const QString& no_color : {QString(), QStringLiteral("")}) {
        const Outcome r = on_terminal(no_color);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(bold)) << no_color.isNull() << r.out.toStdString();
        EXPECT_TRUE(r.out.contains("INTERFACE\x1b[0m")) << r.out.toStdString();
    }
    const Outcome plain = on_terminal(QStringLiteral("1"));
    EXPECT_EQ(plain.status, 0) << plain.err.toStdString();
    EXPECT_FALSE(plain.out.contains('\x1b')) << plain.out.toStdString();
    EXPECT_TRUE(plain.out.contains("MAC ")) << plain.out.toStdString();
}

TEST_F(QuorinctlAgainstSimulator, ShowGivesEveryFieldWithItsList) {
    start(QStringLiteral("0006:1"));
    const Outcome text = ctl({"show", "02:51:00:06:00:00"});
    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains(QRegularExpression("channel\\[3\\]\\.flow_control .*RTSOnly")))
        << text.out.toStdString();

    const Outcome json = ctl({"show", "127.0.1.1", "--json"});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonObject doc = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(doc.value("board").toObject().value("mac_address").toString(), "02:51:00:06:00:00");
    bool found = false;
    for (const QJsonValue& v : doc.value("fields").toArray()) {
        const QJsonObject f = v.toObject();
        if (f.value("name").toString() != "channel[0].stop_bits") continue;
        found = true;
        EXPECT_EQ(f.value("choices").toArray().size(), 4);
        EXPECT_EQ(f.value("label").toString(), "Stop Bit");
    }
    EXPECT_TRUE(found);
}

TEST_F(QuorinctlAgainstSimulator, SetWritesAMainAndALegacyBoardAndVerifiesByReadingBack) {
    start(QStringLiteral("0002:1,0004:1"));
    const Outcome main = ctl({"set", "02:51:00:02:00:00", "channel[1].baud_rate=19200",
                              "channel[1].parity=None", "local_ip=127.0.1.40"});
    EXPECT_EQ(main.status, 0) << main.out.toStdString() << main.err.toStdString();
    EXPECT_TRUE(main.out.contains("02:51:00:02:00:00 ok: 3 field(s) set and verified"))
        << main.out.toStdString();

    const Outcome legacy = ctl({"set", "02:51:00:04:00:01", "channel[0].packing_size=200",
                                "channel[0].flow_control=CTS/RTS"});
    EXPECT_EQ(legacy.status, 0) << legacy.out.toStdString() << legacy.err.toStdString();
    EXPECT_EQ(count_events(events_, "settings_applied"), 2);
    // Exactly the edited fields changed on the boards.
    std::vector<QJsonArray> changed;
    for (const QJsonObject& e : read_events(events_)) {
        if (e.value("event").toString() == "settings_applied") {
            changed.push_back(e.value("changed").toArray());
        }
    }
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0], (QJsonArray{"local_ip", "channel[1].baud_rate", "channel[1].parity"}));
    EXPECT_EQ(changed[1], (QJsonArray{"channel[0].flow_control", "channel[0].packing_size"}));
    EXPECT_EQ(count_events(events_, "datagram_received", "opcode", "SETT"), 1);

    const Outcome after = ctl({"show", "127.0.1.40", "--json"});
    EXPECT_EQ(after.status, 0) << after.err.toStdString();

    const Outcome dry = ctl({"set", "02:51:00:02:00:00", "channel[1].baud_rate=600", "--dry-run"});
    EXPECT_EQ(dry.status, 0);
    EXPECT_TRUE(dry.out.contains("channel[1].baud_rate: 19200 -> 600")) << dry.out.toStdString();
    EXPECT_EQ(set_requests(), 2);
}

TEST_F(QuorinctlAgainstSimulator, ExportThenApplyToFiveBoardsOfOneModel) {
    start(QStringLiteral("0006:6"));
    const Outcome exported = ctl({"export", "02:51:00:06:00:00"});
    ASSERT_EQ(exported.status, 0) << exported.err.toStdString();
    const QJsonObject profile = QJsonDocument::fromJson(exported.out.toUtf8()).object();
    EXPECT_EQ(profile.value("model").toString(), "DAVRO2xM");
    const QJsonObject values = profile.value("settings").toObject();
    EXPECT_FALSE(values.contains("mac_address"));
    EXPECT_FALSE(values.contains("local_ip"));
    EXPECT_FALSE(values.contains("firmware_version"));
    EXPECT_TRUE(values.contains("channel[3].packing_time"));

    const QString path = file(QStringLiteral("profile.json"), exported.out.toUtf8());
    const Outcome applied = ctl({"apply", path, "02:51:00:06:00:01", "02:51:00:06:00:02",
                                 "02:51:00:06:00:03", "02:51:00:06:00:04", "02:51:00:06:00:05"});
    EXPECT_EQ(applied.status, 0) << applied.out.toStdString() << applied.err.toStdString();
    const QStringList lines = applied.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 5) << applied.out.toStdString();
    for (const QString& line : lines) EXPECT_TRUE(line.contains(" ok: ")) << line.toStdString();
    EXPECT_EQ(count_events(events_, "settings_applied"), 5);

    // Every board now shows the profile's values.
    const Outcome json = ctl({"search", "--json", "--expect", "6"}, 3000);
    const QJsonArray boards =
        QJsonDocument::fromJson(json.out.toUtf8()).object().value("boards").toArray();
    EXPECT_EQ(boards.size(), 6);
    for (const QJsonValue& b : boards) {
        const QJsonObject o = b.toObject();
        for (auto it = values.begin(); it != values.end(); ++it) {
            EXPECT_EQ(o.value(it.key()), it.value())
                << o.value("mac_address").toString().toStdString() << " " << it.key().toStdString();
        }
    }
}

TEST_F(QuorinctlAgainstSimulator, BadInputIsRefusedWithItsStatusAndNothingOnTheWire) {
    start(QStringLiteral("0002:1,0004:1"));
    const QString not_json = file("bad.json", "{\"model\": ");
    const QString other = file("other.json", R"({"model": "BRV406H", "settings": {}})");
    const QString unknown =
        file("unknown.json", R"({"model": "Quorin712P", "settings": {"x": "1"}})");
    const QString shape = file("shape.json", R"({"model": "Quorin712P", "settings": {"udp": 1}})");
    const QString bad_value =
        file("value.json",
             R"({"model": "Quorin712P", "settings": {"channel[0].remote_port": "99999"}})");
    struct Case {
        const char* what;
        QStringList args;
        int status;
        const char* message;
        bool searches;  // the board must be looked up (search datagrams) before the check
    };
    const Case cases[] = {
        {"unknown field",
         {"set", "02:51:00:02:00:00", "colour=red"},
         2,
         "unknown field \"colour\"",
         false},
        {"no =", {"set", "02:51:00:02:00:00", "local_ip"}, 2, "not of the form FIELD=VALUE", false},
        {"malformed MAC",
         {"show", "02:51:00:02:00"},
         2,
         "\"02:51:00:02:00\" is neither a MAC address",
         false},
        {"malformed IP", {"set", "127.0.1.300", "local_ip=1.2.3.4"}, 2, "neither a MAC", false},
        {"bad wait", {"--wait", "0", "search"}, 2, "--wait", false},
        {"bad port", {"--port", "70000", "search"}, 2, "--port", false},
        {"profile not JSON", {"apply", not_json, "02:51:00:02:00:00"}, 2, "is not JSON", false},
        {"profile missing",
         {"apply", "/nonexistent.json", "02:51:00:02:00:00"},
         2,
         "cannot read profile",
         false},
        {"profile unknown field",
         {"apply", unknown, "02:51:00:02:00:00"},
         2,
         "unknown field \"x\"",
         false},
        {"profile shape", {"apply", shape, "02:51:00:02:00:00"}, 2, "must be an object", false},
        {"malformed address",
         {"set", "02:51:00:02:00:00", "gateway_ip=10.0.0.300"},
         2,
         "gateway_ip: \"10.0.0.300\" is not an IPv4 address",
         false},
        {"number out of range",
         {"set", "02:51:00:02:00:00", "channel[0].local_port=70000"},
         2,
         "channel[0].local_port: \"70000\" is not a whole number from 0 to 65535",
         false},
        {"value no model offers",
         {"set", "02:51:00:02:00:00", "channel[0].baud_rate=12345"},
         2,
         "is not in the list of any model",
         false},
        {"profile value no model takes",
         {"apply", bad_value, "02:51:00:02:00:00"},
         2,
         "channel[0].remote_port: \"99999\" is not a whole number",
         false},
        {"long value quoted short",
         {"set", "02:51:00:02:00:00", "local_ip=" + QString(200, 'x')},
         2,
         "local_ip: \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\" is not",
         false},
        {"value outside this board's list",
         {"set", "02:51:00:02:00:00", "channel[0].baud_rate=230400"},  // firmware 1.5.0
         2,
         "is not in the list of this board",
         true},
        {"field the model lacks",
         {"set", "02:51:00:04:00:01", "channel[0].stop_bits=1"},
         2,
         "model 5836KL has no field",
         true},
        {"packing character",
         {"set", "02:51:00:02:00:00", "channel[1].packing_char=zz"},
         2,
         "Data packing condition Char of Channel #2 is invalid",
         false},
        {"profile of another model",
         {"apply", other, "02:51:00:02:00:00"},
         2,
         "the profile is for model BRV406H",
         true},
        {"board not found", {"show", "02:51:00:09:00:09"}, 1, "did not answer", true},
    };
    for (const Case& c : cases) {
        const int before = received();
        const Outcome r = ctl(c.args, 300);
        EXPECT_EQ(r.status, c.status) << c.what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.message)))
            << c.what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << c.what << ": " << r.out.toStdString();
        quorin::tools::waitFor([] { return false; }, 50);
        if (!c.searches) {
            EXPECT_EQ(received(), before) << c.what;
        }
    }
    const Outcome broadcast = run_program(kTool, {"--broadcast", "nowhere", "search"});
    EXPECT_EQ(broadcast.status, 2);
    EXPECT_TRUE(broadcast.err.contains("not an IPv4 address")) << broadcast.err.toStdString();
    EXPECT_EQ(set_requests(), 0);
}

TEST_F(QuorinctlAgainstSimulator, DiagnoseFindsBoardsOutsideEverySubnetAndSharedAddresses) {
    const QString boards = file("boards.json", R"({"boards": [
        {"product_code": "0002", "local_ip": "10.99.0.7"},
        {"product_code": "0003", "local_ip": "127.0.1.9"},
        {"product_code": "0005", "local_ip": "127.0.1.9"}]})");
    start(QStringLiteral("0001:1"), {"--config", boards});
    const Outcome r = ctl({"diagnose"});
    EXPECT_EQ(r.status, 1) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Boards found: 4")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("has address 10.99.0.7, outside every subnet"))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("share the address 127.0.1.9")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("127.255.255.255: 4 replies")) << r.out.toStdString();
}

// --- upload ------------------------------------------------------------------------------------

using quorin::testing::free_tcp_port;
using quorin::testing::sha256_hex;
using quorin::testing::test_image;

using QuorinctlUpload = UploadSimulatorTest;

TEST_F(QuorinctlUpload, OneImageToFourBoardsAtOnceArrivesByteExact) {
    start_boards("0002:1,0003:1,0004:1,0006:1");
    const QByteArray image = test_image(3000);  // small: the 5836KL transfer is paced
    const QString path = file("fw.bin", image);
    const Outcome r =
        upload({path, "02:51:00:02:00:00", "02:51:00:03:00:01", "02:51:00:04:00:02", "127.0.1.4"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.front(),
              QStringLiteral("image %1: 3000 bytes, sha256 %2").arg(path, sha256_hex(image)));
    for (const char* mac : {"02:51:00:02:00:00", "02:51:00:03:00:01", "02:51:00:06:00:03"}) {
        EXPECT_TRUE(
            r.out.contains(QLatin1String(mac) + " 127.0.1.") &&
            r.out.contains(QRegularExpression(QLatin1String(mac) + R"( \S+: sending: 0%\n)")))
            << mac;
        EXPECT_TRUE(r.out.contains(
            QRegularExpression(QLatin1String(mac) + R"( \S+\s+done: Firmware Upload COMPLETED\n)")))
            << mac << r.out.toStdString();
    }
    EXPECT_TRUE(r.out.contains(
        QRegularExpression(R"(02:51:00:04:00:02 \S+\s+done: Firmware Upload Completed\n)")));
    EXPECT_TRUE(lines.back() == "4 of 4 board(s) upgraded and verified") << r.out.toStdString();

    const std::map<int, QString> images = received_images();
    ASSERT_EQ(images.size(), 4u);
    for (const auto& [board, hash] : images) EXPECT_EQ(hash, sha256_hex(image)) << board;
    EXPECT_EQ(upload_requests(), 4);  // one request per board
}

TEST_F(QuorinctlUpload, AFaultFailsOnlyItsOwnBoardAndJobsBoundTheBoardsAtOnce) {
    start_boards("0002:3", {"--fault", "1:refuse_upload"});
    const QByteArray image = test_image(5000);
    const Outcome r = upload({file("fw.bin", image), "02:51:00:02:00:00", "02:51:00:02:00:01",
                              "02:51:00:02:00:02", "--jobs", "2"});
    EXPECT_EQ(r.status, 4) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QRegularExpression(
        R"(02:51:00:02:00:01 \S+\s+FAILED: Firmware Upload Connection Fail\.\.\.\n)")))
        << r.out.toStdString();
    for (const char* mac : {"02:51:00:02:00:00", "02:51:00:02:00:02"}) {
        EXPECT_TRUE(r.out.contains(
            QRegularExpression(QLatin1String(mac) + R"( \S+\s+done: Firmware Upload COMPLETED\n)")))
            << mac;
    }
    EXPECT_TRUE(r.out.endsWith("2 of 3 board(s) upgraded and verified\n"));
    const std::map<int, QString> images = received_images();
    EXPECT_EQ(images, (std::map<int, QString>{{0, sha256_hex(image)}, {2, sha256_hex(image)}}));
    // With --jobs 2 the third board's request leaves only after one of the first two ended.
    const qsizetype third = r.out.indexOf("02:51:00:02:00:02 127.0.1.3: upload requested");
    const qsizetype first_end = r.out.indexOf(QRegularExpression(": (done|FAILED)"));
    EXPECT_GT(third, first_end) << r.out.toStdString();
    EXPECT_GE(first_end, 0);
}

// On a terminal (a pseudo-terminal made by script(1)) each board has a bar, redrawn in place.
TEST_F(QuorinctlUpload, ATerminalGetsOneBarPerBoard) {
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty()) GTEST_SKIP() << "no script(1) here to make a terminal";
    start_boards("0002:2");
    const QStringList args{"--broadcast",
                           "127.255.255.255",
                           "--port",
                           QString::number(sim_.main_port),
                           "--legacy-port",
                           QString::number(sim_.legacy_port),
                           "--legacy-local-port",
                           "0",
                           "--upload-port",
                           QString::number(upload_port_),
                           "upload",
                           file("fw.bin", test_image(1500)),
                           "02:51:00:02:00:00",
                           "02:51:00:02:00:01"};
    QStringList quoted;
    for (const QString& a : QStringList{kTool} + args) quoted << "'" + a + "'";
    const Outcome r = run_program(script, {"-qec", quoted.join(' '), "/dev/null"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("\x1b[2A")) << "no redraw";
    for (const char* mac : {"02:51:00:02:00:00", "02:51:00:02:00:01"}) {
        EXPECT_TRUE(r.out.contains(QRegularExpression(
            QLatin1String(mac) + R"(  \[#{16}\] 100%  verified: firmware 1\.5\.\d)")))
            << mac << r.out.toStdString();
    }
    EXPECT_FALSE(r.out.contains(": upload requested")) << "plain lines on a terminal";
    EXPECT_TRUE(r.out.contains("2 of 2 board(s) upgraded and verified"));
}

TEST_F(QuorinctlUpload, BadInputIsRefusedWithItsStatusAndNoUploadRequest) {
    start_boards("0002:1");
    const QString image = file("fw.bin", test_image(100));
    const QString empty = file("empty.bin", {});
    QString huge = file("huge.bin", {});
    if (!QFile(huge).resize(qint64{1} << 32)) huge.clear();  // sparse: no disk used
    struct Case {
        const char* what;
        QStringList args;
        int status;
        const char* message;
        bool searches;
    };
    std::vector<Case> cases = {
        {"image missing",
         {"/nonexistent/fw.bin", "02:51:00:02:00:00"},
         2,
         "cannot open image",
         false},
        {"image empty", {empty, "02:51:00:02:00:00"}, 2, "is empty", false},
        {"malformed MAC", {image, "02:51:00:02:00"}, 2, "neither a MAC address", false},
        {"malformed IP", {image, "127.0.1.256"}, 2, "neither a MAC address", false},
        {"named twice", {image, "02:51:00:02:00:00", "02-51-00-02-00-00"}, 2, "named twice", false},
        {"no jobs", {image, "02:51:00:02:00:00", "--jobs", "0"}, 2, "--jobs", false},
        {"board not found", {image, "02:51:00:09:00:09"}, 1, "did not answer", true},
        {"one board by MAC and address",
         {image, "02:51:00:02:00:00", "127.0.1.1"},
         2,
         "named twice",
         true},
    };
    if (!huge.isEmpty())
        cases.push_back(
            {"image of 4 GiB", {huge, "02:51:00:02:00:00"}, 2, "smaller than 4 GiB", false});
    for (const Case& c : cases) {
        const int before = received();
        const Outcome r = upload(c.args);
        EXPECT_EQ(r.status, c.status) << c.what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.message)))
            << c.what << ": " << r.err.toStdString();
        EXPECT_FALSE(r.out.contains("Summary")) << c.what << ": " << r.out.toStdString();
        quorin::tools::waitFor([] { return false; }, 50);
        if (!c.searches) {
            EXPECT_EQ(received(), before) << c.what;
        }
    }
    EXPECT_EQ(upload_requests(), 0);
    if (huge.isEmpty()) GTEST_SKIP() << "no sparse 4 GiB file here; the other cases passed";
}

// With a manifest beside the image, every board is judged before anything is sent: a refusal of
// one sends nothing to any, a board at the version is skipped, the overrides let it through.
TEST_F(QuorinctlUpload, AManifestJudgesTheImageAndEveryBoardBeforeAnythingIsSent) {
    // 1.5.0, 1.5.2 (Quorin712P) and 1.5.3 (Quorin712PD); every image installs 1.5.2.
    start_boards("0002:2,0003:1", {"--installs", "1.5.2"});
    const QByteArray image = test_image(2000);
    const QString path = file("fw.bin", image);
    const auto manifest = [&](const QString& version, const QString& extra = {},
                              const QString& digest = {}) {
        file("fw.bin.json",
             QStringLiteral("{\"format_version\": 1, \"version\": \"%1\", \"models\": "
                            "[\"Quorin712P\"], \"sha256\": \"%2\"%3}")
                 .arg(version, digest.isEmpty() ? sha256_hex(image) : digest, extra)
                 .toUtf8());
    };
    const QString a = "02:51:00:02:00:00", b = "02:51:00:02:00:01", c = "02:51:00:03:00:02";
    struct Case {
        const char* what;
        QString version, extra, digest;
        QStringList args;
        int status;
        const char* says;
        int uploads;  // boards that took the image whole, so far
    };
    const Case cases[] = {
        {"another image", "1.5.2", "", QString(64, 'a'), {a}, 2, "not the manifest's", 0},
        {"a model not listed",
         "1.5.2",
         "",
         "",
         {a, c},
         2,
         "model Quorin712PD is not among the models of image 1.5.2 (--ignore-compatible",
         0},
        {"already at the version",
         "1.5.2",
         "",
         "",
         {b},
         0,
         "already at 1.5.2: skipped (--reinstall",
         0},
        {"newer",
         "1.5.2",
         "",
         "",
         {c, "--ignore-compatible"},
         2,
         "newer than the image's 1.5.2 (--allow-older installs it)",
         0},
        {"below min_from",
         "1.5.2",
         ", \"min_from\": \"1.5.1\"",
         "",
         {a},
         2,
         "needs an intermediate image",
         0},
        {"allowed older",
         "1.5.2",
         "",
         "",
         {c, "--ignore-compatible", "--allow-older"},
         0,
         "1 of 1 board(s) upgraded and verified",
         1},
        {"an upgrade",
         "1.5.2",
         ", \"min_from\": \"1.5.0\"",
         "",
         {a},
         0,
         "1 of 1 board(s) upgraded and verified",
         2},
    };
    for (const Case& k : cases) {
        manifest(k.version, k.extra, k.digest);
        const Outcome r = upload(QStringList{path} + k.args);
        EXPECT_EQ(r.status, k.status) << k.what << ": " << (r.out + r.err).toStdString();
        EXPECT_TRUE((r.out + r.err).contains(QLatin1String(k.says)))
            << k.what << ": " << (r.out + r.err).toStdString();
        EXPECT_EQ(static_cast<int>(received_images().size()), k.uploads) << k.what;
    }
    EXPECT_EQ(upload_requests(), 2);

    QFile::remove(path + ".json");
    const Outcome plain = upload({path, b});
    EXPECT_EQ(plain.status, 0) << plain.err.toStdString();
    EXPECT_TRUE(plain.err.contains("no manifest for " + path)) << plain.err.toStdString();

    // The history holds every board an upload took or skipped, in order, one of them on request.
    const Outcome all = ctl({"history", "--json"});
    ASSERT_EQ(all.status, 0) << all.err.toStdString();
    const QJsonArray entries =
        QJsonDocument::fromJson(all.out.toUtf8()).object().value("entries").toArray();
    QStringList seen;
    for (const QJsonValue& e : entries) {
        const QJsonObject o = e.toObject();
        seen << o.value("mac").toString() + " " + o.value("firmware_before").toString() + " " +
                    o.value("firmware_after").toString() + " " + o.value("result").toString();
        EXPECT_EQ(o.value("sha256").toString(), sha256_hex(image));
        EXPECT_EQ(o.value("size").toInt(), image.size());
    }
    EXPECT_EQ(seen, (QStringList{b + " 1.5.2  skipped", c + " 1.5.3 1.5.2 verified",
                                 a + " 1.5.0 1.5.2 verified", b + " 1.5.2 1.5.2 verified"}))
        << all.out.toStdString();
    const Outcome one = ctl({"history", b, "--format", "csv"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out.count("\r\n"), 3) << one.out.toStdString();  // the heading and two
    EXPECT_EQ(ctl({"history", "02:51"}).status, 2);
}

TEST(QuorinctlCommandLine, HelpVersionAndUsage) {
    const Outcome help = run_program(kTool, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("Subcommands:"));
    for (const char* command : {"search", "show", "set", "export", "apply", "diagnose", "upload"}) {
        const Outcome sub = run_program(kTool, {command, "--help"});
        EXPECT_EQ(sub.status, 0) << command;
        EXPECT_TRUE(sub.out.contains("Usage: quorinctl " + QLatin1String(command))) << command;
    }
    const Outcome version = run_program(kTool, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.trimmed(), "quorinctl " QUORIN_VERSION);
    EXPECT_EQ(run_program(kTool, {}).status, 2);
    EXPECT_EQ(run_program(kTool, {"frobnicate"}).status, 2);
}

// The README's help block is the program's own --help output.
TEST(QuorinctlCommandLine, ReadmeShowsTheHelpOutput) {
    QFile readme(QStringLiteral(QUORIN_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const QString start = QStringLiteral("<!-- quorinctl --help -->\n```\n");
    const qsizetype from = text.indexOf(start);
    ASSERT_GE(from, 0) << "README has no quorinctl --help block";
    const qsizetype to = text.indexOf(QStringLiteral("```"), from + start.size());
    const QString block = text.mid(from + start.size(), to - from - start.size());
    const Outcome help = run_program(kTool, {"--help"});
    EXPECT_EQ(block.trimmed().toStdString(), help.out.trimmed().toStdString());
}

}  // namespace
}  // namespace quorin::cli::testing
