// The site cycle through the real binary against quorin-board-sim on loopback: init, plan,
// apply, audit, rollback, stale plans, bad files, a board that never answers set requests, and
// an apply interrupted by a signal.
#include <signal.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QProcess>

#include "tests/cli/cli_support.h"
#include "tools/sim_process.h"

namespace quorin::cli::testing {
namespace {

class SiteCycle : public SimulatorTest {
  protected:
    QStringList network(int wait_ms = 400) const {
        return {"--broadcast",
                "127.255.255.255",
                "--port",
                QString::number(sim_.main_port),
                "--legacy-port",
                QString::number(sim_.legacy_port),
                "--legacy-local-port",
                "0",
                "--wait",
                QString::number(wait_ms)};
    }
    // The fields each set request changed on a board, by MAC, in the order they came.
    std::map<QString, std::vector<QJsonArray>> applied() const {
        std::map<QString, std::vector<QJsonArray>> out;
        for (const QJsonObject& e : read_events(events_)) {
            if (e.value("event").toString() != "settings_applied") continue;
            out[e.value("mac").toString()].push_back(e.value("changed").toArray());
        }
        return out;
    }
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString text(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

std::string both(const Outcome& r) {
    return (r.out + r.err).toStdString();
}

TEST_F(SiteCycle, InitPlanApplyAuditRollbackAndAStalePlan) {
    start(QStringLiteral("0002:3,0003:2"));
    const Outcome before = ctl({"site", "init"});
    ASSERT_EQ(before.status, 0) << both(before);
    const Outcome init = ctl({"site", "init", "--ip-from", "127.0.9.1"});
    ASSERT_EQ(init.status, 0) << both(init);
    const QString site = file("site.yaml", init.out.toUtf8());

    const Outcome plan = ctl({"plan", site, "--format", "json"});
    ASSERT_EQ(plan.status, 3) << both(plan);
    const QJsonArray planned =
        QJsonDocument::fromJson(plan.out.toUtf8()).object().value("boards").toArray();
    ASSERT_EQ(planned.size(), 5) << plan.out.toStdString();
    std::map<QString, QJsonArray> wanted;  // MAC -> fields the plan changes
    for (const QJsonValue& b : planned) {
        QJsonArray fields;
        for (const QJsonValue& c : b.toObject().value("changes").toArray())
            fields.append(c.toObject().value("field"));
        wanted[b.toObject().value("mac").toString()] = fields;
    }
    EXPECT_TRUE(ctl({"plan", site}).out.contains("local_ip: 127.0.1.1 -> 127.0.9."));

    const Outcome apply =
        ctl({"apply", site, "--journal", path("j1.json"), "--report", path("r1.csv")});
    ASSERT_EQ(apply.status, 0) << both(apply);
    EXPECT_TRUE(apply.out.contains("journal: " + path("j1.json"))) << both(apply);
    // The boards changed exactly the planned fields, once each (fields in catalogue order on
    // both sides).
    const auto sets = applied();
    ASSERT_EQ(sets.size(), 5u);
    for (const auto& [mac, changes] : sets) {
        ASSERT_EQ(changes.size(), 1u) << mac.toStdString();
        QStringList got, want;
        for (const QJsonValue& v : changes[0]) got << v.toString();
        for (const QJsonValue& v : wanted[mac]) want << v.toString();
        got.sort();
        want.sort();
        EXPECT_EQ(got, want) << mac.toStdString();
    }
    const QStringList report = text("r1.csv").split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(report.size(), 6);
    EXPECT_EQ(report[0], "mac,model,local_ip,result,changed_fields,message");
    EXPECT_TRUE(report[1].contains(",changed,")) << report[1].toStdString();

    EXPECT_EQ(ctl({"plan", site}).status, 0);
    const int sets_before = set_requests();
    const Outcome again = ctl({"apply", site});
    EXPECT_EQ(again.status, 0) << both(again);
    EXPECT_EQ(set_requests(), sets_before) << "nothing to change: no set request";

    // A board changed behind the tool's back.
    const QString mac = wanted.begin()->first;
    ASSERT_EQ(ctl({"set", mac, "subnet_mask=255.255.0.0"}).status, 0);
    const Outcome audit = ctl({"audit", site});
    EXPECT_EQ(audit.status, 3) << both(audit);
    EXPECT_TRUE(audit.out.contains(mac + "  subnet_mask: 255.255.0.0 -> ")) << both(audit);

    // A plan made now goes stale once a board moves again; nothing is sent.
    ASSERT_EQ(ctl({"plan", site, "--out", path("plan.json")}).status, 3);
    ASSERT_EQ(ctl({"set", mac, "gateway_ip=127.0.0.254"}).status, 0);
    const int sets_stale = set_requests();
    const Outcome stale = ctl({"apply", path("plan.json")});
    EXPECT_EQ(stale.status, 1) << both(stale);
    EXPECT_TRUE(stale.err.contains("board " + mac + " has changed since the plan: gateway_ip"))
        << both(stale);
    EXPECT_EQ(set_requests(), sets_stale);

    // The first journal puts every board back as it was before the first apply.
    const Outcome back = ctl({"rollback", path("j1.json"), "--journal", path("j2.json")});
    EXPECT_EQ(back.status, 0) << both(back);
    EXPECT_EQ(ctl({"site", "init"}).out, before.out);
}

TEST_F(SiteCycle, BadFilesAreRefusedWithWhereAndNothingOnTheWire) {
    start(QStringLiteral("0002:1"));
    struct Case {
        const char* name;
        const char* content;
        const char* message;
    };
    const Case cases[] = {
        {"unknown.yaml", "format_version: 1\nboards: []\ncolour: red\n", "line 3"},
        {"twice.yaml",
         "format_version: 1\nboards:\n  - mac: 02:51:00:02:00:00\n  - mac: 02:51:00:02:00:00\n",
         "line 4"},
        {"lacks.json",
         R"({"format_version": 1, "defaults": {"BRV406H": {"pppoe_id": "x"}}, "boards": []})",
         "defaults.BRV406H.pppoe_id"},
        {"list.json",
         R"({"format_version": 1, "boards": [{"mac": "02:51:00:02:00:00", "model": "Quorin712P",
             "settings": {"channel[0].parity": "Sometimes"}}]})",
         "boards[0].settings.channel[0].parity"},
        {"same_ip.yaml",
         "format_version: 1\nboards:\n  - mac: 02:51:00:02:00:00\n    settings: {local_ip: "
         "10.0.0.1}\n  - mac: 02:51:00:02:00:01\n    settings: {local_ip: 10.0.0.1}\n",
         "line 6"},
    };
    for (const Case& c : cases) {
        const QString f = file(c.name, c.content);
        for (const char* command : {"plan", "apply", "audit"}) {
            const Outcome r = ctl({command, f});
            EXPECT_EQ(r.status, 2) << c.name << " " << command << ": " << both(r);
            EXPECT_TRUE(r.err.contains(c.message)) << c.name << ": " << both(r);
        }
    }
    EXPECT_EQ(received(), 0) << "a file refused sends nothing, not even a search";
}

TEST_F(SiteCycle, ABoardThatNeverAnswersSetRequestsMakesThePartialStatus) {
    start(QStringLiteral("0002:3"), {"--fault", "1:ignore_set"});
    const QString site = file("site.yaml",
                              "format_version: 1\ndefaults:\n  Quorin712P:\n    subnet_mask: "
                              "255.255.0.0\nboards:\n  - mac: 02:51:00:02:00:00\n  - mac: "
                              "02:51:00:02:00:01\n  - mac: 02:51:00:02:00:02\n  - mac: "
                              "02:51:00:02:00:63\n");
    const Outcome r =
        ctl({"apply", site, "--report", path("report.json"), "--journal", path("j.json")});
    EXPECT_EQ(r.status, 4) << both(r);
    const QJsonObject report = QJsonDocument::fromJson(text("report.json").toUtf8()).object();
    std::map<QString, QString> result;
    for (const QJsonValue& b : report.value("boards").toArray())
        result[b.toObject().value("mac").toString()] = b.toObject().value("result").toString();
    EXPECT_EQ(result["02:51:00:02:00:00"], "changed");
    EXPECT_EQ(result["02:51:00:02:00:01"], "failed");
    EXPECT_EQ(result["02:51:00:02:00:02"], "changed");
    EXPECT_EQ(result["02:51:00:02:00:63"], "not_reached");
    EXPECT_TRUE(r.out.contains("02:51:00:02:00:01  FAILED: no set reply")) << both(r);
}

TEST_F(SiteCycle, ASignalMidApplyLetsTheOutstandingRepliesInAndReportsEveryBoard) {
    // Replies 0.4 s late, two at a time: the thirty-odd boards to change take about six seconds.
    start(QStringLiteral("0002:40"), {"--fault", "all:reply_delay_ms=400"});
    QByteArray site =
        "format_version: 1\ndefaults:\n  Quorin712P:\n    channel[0].baud_rate: "
        "\"9600\"\nboards:\n";
    for (int i = 0; i < 40; ++i)
        site += QByteArray("  - mac: 02:51:00:02:00:") +
                QByteArray::number(i, 16).rightJustified(2, '0') + "\n";
    const QString f = file("site.yaml", site);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_STATE_HOME", path("state"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QUORIN_CTL_PATH),
            network(3000) + QStringList{"apply", f, "--jobs", "2", "--report", path("report.csv")});
    ASSERT_TRUE(p.waitForStarted());
    // Signalled once the journal is written and the first replies are in.
    for (int i = 0; i < 200 && applied().size() < 4; ++i) p.waitForFinished(50);
    ASSERT_GE(applied().size(), 4u);
    ASSERT_EQ(p.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(15000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130) << err.toStdString();
    const QString out = QString::fromUtf8(p.readAllStandardOutput());

    const QStringList rows = text("report.csv").split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 41) << out.toStdString();
    const auto sets = applied();
    int started = 0, not_started = 0;
    for (const QString& row : rows.mid(1)) {
        const QString mac = row.section(',', 0, 0);
        if (row.contains(",not_started,")) {
            ++not_started;
            EXPECT_EQ(sets.count(mac), 0u)
                << "no request left after the signal: " << row.toStdString();
        } else {
            EXPECT_TRUE(row.contains(",changed,") || row.contains(",unchanged,"))
                << "outstanding replies were awaited: " << row.toStdString();
            started += row.contains(",changed,") ? 1 : 0;
        }
    }
    EXPECT_EQ(started, static_cast<int>(sets.size()));
    EXPECT_GT(not_started, 0);
    // The journal, in the state folder, holds every board the run was to change, as it was.
    const QStringList journals = QDir(path("state/quorinctl")).entryList({"journal-*.json"});
    ASSERT_EQ(journals.size(), 1);
    EXPECT_TRUE(out.contains("journal: " + path("state/quorinctl/") + journals[0]));
    QFile j(path("state/quorinctl/") + journals[0]);
    ASSERT_TRUE(j.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(j.readAll()).object().value("boards").toArray().size(),
              rows.size() - 1 - rows.filter(",unchanged,").size());
}

}  // namespace
}  // namespace quorin::cli::testing
