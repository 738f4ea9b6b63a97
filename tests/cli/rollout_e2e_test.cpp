// Firmware rollouts through the real quorinctl against the simulator: the manifest's verdicts
// over a mixed fleet, canaries and the failure limit, what the verification after the upgrade
// reports, and the two signals.
#include <signal.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QThread>

#include "tests/cli/cli_support.h"
#include "tests/support/test_image.h"

namespace quorin::cli::testing {
namespace {

using quorin::testing::sha256_hex;
using quorin::testing::test_image;

// Boards that restart for a fifth of a second after taking an image.
class QuorinctlRollout : public UploadSimulatorTest {
  protected:
    void start_boards(const QString& boards, const QStringList& extra = {}) {
        UploadSimulatorTest::start_boards(boards, QStringList{"--reboot-ms", "200"} + extra);
    }
    int images_taken() const { return static_cast<int>(received_images().size()); }
    // The manifest beside `image` for `version` and `models`.
    void manifest(const QString& image, const QByteArray& bytes, const QString& version,
                  const QString& models) {
        QFile f(image + ".json");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("{\"format_version\": 1, \"version\": \"%1\", \"models\": [%2], "
                               "\"sha256\": \"%3\"}")
                    .arg(version, models, sha256_hex(bytes))
                    .toUtf8());
    }
    static QJsonArray boards_of(const Outcome& r) {
        return QJsonDocument::fromJson(r.out.toUtf8()).object().value("boards").toArray();
    }
};

QStringList macs(const QString& code, int from, int to) {
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QStringLiteral("02:51:00:%1:00:%2").arg(code).arg(i, 2, 16, QLatin1Char('0'));
    return out;
}

// Twelve boards of three models (firmware by index: 1.5.0, 1.5.2, 1.5.3, 2.1.0, 1.6.0, ...) and an
// image of version 1.6.0 for two of the models.
TEST_F(QuorinctlRollout, AManifestForTwoOfThreeModelsThenTheRightBoardsUpgradedAndVerified) {
    start_boards("0002:5,0006:4,0003:3", {"--installs", "1.6.0"});
    const QByteArray bytes = test_image(2000);
    const QString image = file("fw.bin", bytes);
    manifest(image, bytes, "1.6.0", "\"Quorin712P\", \"DAVRO2xM\"");
    const QStringList listed = macs("02", 0, 4) + macs("06", 5, 8);

    const Outcome all = upload(QStringList{image, "--jobs", "8"} + listed + macs("03", 9, 11));
    EXPECT_EQ(all.status, 2) << all.err.toStdString();
    EXPECT_EQ(all.err.count("is not among the models"), 3) << all.err.toStdString();
    // Two of the listed boards run 2.1.0: newer than the image.
    const Outcome newer = upload(QStringList{image, "--jobs", "8"} + listed);
    EXPECT_EQ(newer.status, 2);
    EXPECT_EQ(newer.err.count("newer than the image's 1.6.0 (--allow-older installs it)"), 2)
        << newer.err.toStdString();
    // A dry run judges every board and sends nothing.
    const Outcome dry = upload(QStringList{image, "--allow-older", "--dry-run", "--json"} + listed);
    EXPECT_EQ(dry.status, 0) << dry.err.toStdString();
    QStringList verdicts;
    for (const QJsonValue& v : boards_of(dry)) verdicts << v.toObject().value("result").toString();
    EXPECT_EQ(verdicts.count("would_upgrade"), 8) << dry.out.toStdString();
    EXPECT_EQ(verdicts.count("skipped"), 1);
    EXPECT_EQ(upload_requests(), 0);

    const Outcome r = upload(
        QStringList{image, "--jobs", "8", "--allow-older", "--json", "--order", "ip"} + listed);
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    QStringList results;
    for (const QJsonValue& v : boards_of(r)) {
        const QJsonObject b = v.toObject();
        results << b.value("mac").toString().right(2) + " " + b.value("result").toString() + " " +
                       b.value("firmware_after").toString();
    }
    EXPECT_EQ(results, (QStringList{"04 skipped ", "00 verified 1.6.0", "01 verified 1.6.0",
                                    "02 verified 1.6.0", "03 verified 1.6.0", "05 verified 1.6.0",
                                    "06 verified 1.6.0", "07 verified 1.6.0", "08 verified 1.6.0"}))
        << r.out.toStdString();
    EXPECT_EQ(images_taken(), 8);

    const Outcome history = ctl({"history", "--json"});
    EXPECT_EQ(
        QJsonDocument::fromJson(history.out.toUtf8()).object().value("entries").toArray().size(), 9)
        << history.out.toStdString();
}

TEST_F(QuorinctlRollout, ACanaryFailureOrTheFailureLimitLeavesTheRestNotStarted) {
    start_boards("0002:4", {"--fault", "1:refuse_upload", "--fault", "2:refuse_upload"});
    const QString image = file("fw.bin", test_image(1500));
    const QStringList boards = macs("02", 0, 3);
    struct Case {
        const char* what;
        QStringList args;
        int status;
        int requests;  // upload requests this run sent
        int not_started;
        const char* says;
    };
    const Case cases[] = {
        {"canaries", {"--canary", "2", "--jobs", "4"}, 4, 2, 2, "not started: a canary board"},
        {"the failure limit",
         {"--max-failures", "1", "--jobs", "1", "--order", "mac"},
         4,
         2,
         2,
         "not started: 1 failure(s) reached --max-failures"},
    };
    for (const Case& c : cases) {
        const int before = upload_requests();
        const Outcome r = upload(QStringList{image} + c.args + boards);
        EXPECT_EQ(r.status, c.status) << c.what << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(upload_requests() - before, c.requests) << c.what;
        EXPECT_EQ(r.out.count(QLatin1String(c.says)), c.not_started * 2)  // a line and the summary
            << c.what << r.out.toStdString();
    }
}

TEST_F(QuorinctlRollout, EachWayABoardComesBackWrongHasItsResultAndThePartialStatus) {
    start_boards("0002:4", {"--installs", "1.6.2", "--fault", "1:upgrade_keeps_version", "--fault",
                            "2:upgrade_changes_settings", "--fault", "3:upgrade_never_returns"});
    const QByteArray bytes = test_image(1500);
    const QString image = file("fw.bin", bytes);
    manifest(image, bytes, "1.6.2", "\"Quorin712P\"");
    const Outcome r = upload(
        QStringList{image, "--jobs", "4", "--verify-timeout", "4", "--allow-older", "--json"} +
        macs("02", 0, 3));
    EXPECT_EQ(r.status, 4) << r.out.toStdString() << r.err.toStdString();
    const QJsonArray boards = boards_of(r);
    ASSERT_EQ(boards.size(), 4) << r.out.toStdString();
    const auto at = [&](int i, const char* key) {
        return boards[i].toObject().value(QLatin1String(key)).toString();
    };
    EXPECT_EQ(at(0, "result"), "verified");
    EXPECT_EQ(at(1, "result"), "other_firmware");
    EXPECT_EQ(at(1, "message"), "FAILED: came back with firmware 1.5.2, not 1.6.2");
    EXPECT_EQ(at(2, "result"), "settings_changed");
    EXPECT_EQ(boards[2].toObject().value("changes").toArray().size(), 1);
    EXPECT_TRUE(at(2, "message")
                    .startsWith("FAILED: came back with firmware 1.6.2 but settings "
                                "changed: "))
        << at(2, "message").toStdString();
    EXPECT_EQ(at(3, "result"), "not_back");
    EXPECT_EQ(at(3, "message"), "FAILED: did not come back within 4 s");
    EXPECT_EQ(at(3, "firmware_after"), "");
}

// Streamed transfers to 5836KL boards, one at a time, signalled while the first is under way.
TEST_F(QuorinctlRollout, TheFirstSignalLetsTheRunningTransferFinishTheSecondCutsItOff) {
    start_boards("0004:2");
    // About 40 blocks, paced a tenth of a second apart: four seconds of transfer.
    const QString image = file("fw.bin", test_image(40 * 1024));
    for (const int sent : {1, 2}) {
        SCOPED_TRACE(sent);
        QProcess p;
        p.setProcessEnvironment(state_env());
        p.start(
            QStringLiteral(QUORIN_CTL_PATH),
            QStringList{"--broadcast", "127.255.255.255", "--port", QString::number(sim_.main_port),
                        "--legacy-port", QString::number(sim_.legacy_port), "--legacy-local-port",
                        "0", "--wait", "400"} +
                upload_args(QStringList{image, "--jobs", "1"} + macs("04", 0, 1)));
        ASSERT_TRUE(p.waitForStarted());
        QString out;
        QElapsedTimer clock;
        clock.start();
        while (!out.contains("02:51:00:04:00:00 127.0.1.1: sending: 25%") &&
               clock.elapsed() < 20000) {
            p.waitForReadyRead(100);
            out += QString::fromUtf8(p.readAllStandardOutput());
        }
        ASSERT_TRUE(out.contains("sending: 25%")) << out.toStdString();
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        if (sent == 2) {
            QThread::msleep(300);
            ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        }
        ASSERT_TRUE(p.waitForFinished(40000));
        out += QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), 130) << out.toStdString() << err.toStdString();
        EXPECT_TRUE(
            err.contains("interrupted: no new board starts; 1 transfer(s) still running "
                         "finish"))
            << err.toStdString();
        EXPECT_TRUE(out.contains(
            QRegularExpression(R"(\n  02:51:00:04:00:01 127.0.1.2\s+not started: interrupted\n)")))
            << out.toStdString();
        if (sent == 1) {
            EXPECT_TRUE(out.contains(QRegularExpression(
                R"(\n  02:51:00:04:00:00 127.0.1.1\s+verified: firmware \S+, settings as before)")))
                << out.toStdString();
            EXPECT_FALSE(err.contains("need attention"));
        } else {
            EXPECT_TRUE(out.contains(QRegularExpression(
                R"(\n  02:51:00:04:00:00 127.0.1.1\s+INTERRUPTED mid-transfer)")))
                << out.toStdString();
            EXPECT_TRUE(
                err.contains("1 board(s) cut off mid-transfer need attention: "
                             "02:51:00:04:00:00"))
                << err.toStdString();
        }
    }
    EXPECT_EQ(images_taken(), 1);  // the first run's; the second's was cut off
}

}  // namespace
}  // namespace quorin::cli::testing
