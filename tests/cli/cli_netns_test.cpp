// quorinctl's search on every interface, with its real defaults (255.255.255.255, the real ports),
// inside network namespaces this test creates and always deletes: one namespace for the tool,
// joined by two veth pairs to two board namespaces on different subnets, a simulator in each.
// The tool namespace has no default route, so a limited broadcast leaves only where quorinctl
// names the interface.
//
// Runs only as root with the `ip` tool; otherwise the test is skipped with the reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <set>

#include "tests/cli/cli_support.h"

namespace quorin::cli::testing {
namespace {

const QString kTool = QStringLiteral(QUORIN_CTL_PATH);
const QString kSim = QStringLiteral(QUORIN_BOARD_SIM_PATH);
constexpr int kSimSeconds = 20;

QString ip_tool() {
    QString path = QStandardPaths::findExecutable(QStringLiteral("ip"));
    if (path.isEmpty()) {
        path = QStandardPaths::findExecutable(QStringLiteral("ip"), {"/usr/sbin", "/sbin"});
    }
    return path;
}

Outcome ip(const QStringList& args) {
    return run_program(ip_tool(), args);
}

// Three namespaces and two veth pairs, named after this process; deleted on destruction.
class ThreeNamespaces {
  public:
    static constexpr char kPrefix[] = "qctl";

    ThreeNamespaces() {
        const QString pid = QString::number(::getpid());
        tool = kPrefix + pid + "t";
        boards_a = kPrefix + pid + "a";
        boards_b = kPrefix + pid + "b";
        tool_if_a = "qt" + pid + "a";  // interface names stay under 16 characters
        tool_if_b = "qt" + pid + "b";
    }
    ~ThreeNamespaces() {
        for (const QString& ns : created_) ip({"netns", "delete", ns});
    }

    // Deletes namespaces an earlier, killed run left behind (their process no longer exists).
    static void remove_stale() {
        static const QRegularExpression mine(QStringLiteral("^%1(\\d+)[tab]\\b").arg(kPrefix));
        for (const QString& line : ip({"netns", "list"}).out.split('\n')) {
            const auto m = mine.match(line);
            if (m.hasMatch() && !QFileInfo::exists("/proc/" + m.captured(1))) {
                ip({"netns", "delete", line.section(' ', 0, 0)});
            }
        }
    }

    bool create(QString* why) {
        for (const QString& ns : {tool, boards_a, boards_b}) {
            const Outcome r = ip({"netns", "add", ns});
            if (r.status != 0) {
                *why = "ip netns add " + ns + ": " + r.err.trimmed();
                return false;
            }
            created_ << ns;
        }
        return true;
    }

    bool connect(QString* why) {
        const QString pid = QString::number(::getpid());
        const QList<QStringList> steps = {
            {"link", "add", "qb" + pid + "a", "netns", boards_a, "type", "veth", "peer", "name",
             tool_if_a, "netns", tool},
            {"link", "add", "qb" + pid + "b", "netns", boards_b, "type", "veth", "peer", "name",
             tool_if_b, "netns", tool},
            {"-n", boards_a, "addr", "add", "10.214.0.1/24", "dev", "qb" + pid + "a"},
            {"-n", boards_b, "addr", "add", "10.215.0.1/24", "dev", "qb" + pid + "b"},
            {"-n", tool, "addr", "add", "10.214.0.2/24", "dev", tool_if_a},
            {"-n", tool, "addr", "add", "10.215.0.2/24", "dev", tool_if_b},
            {"-n", boards_a, "link", "set", "qb" + pid + "a", "up"},
            {"-n", boards_b, "link", "set", "qb" + pid + "b", "up"},
            {"-n", tool, "link", "set", tool_if_a, "up"},
            {"-n", tool, "link", "set", tool_if_b, "up"},
            {"-n", boards_a, "link", "set", "lo", "up"},
            {"-n", boards_b, "link", "set", "lo", "up"},
            {"-n", tool, "link", "set", "lo", "up"},
        };
        for (const QStringList& step : steps) {
            const Outcome r = ip(step);
            if (r.status != 0) {
                *why = "ip " + step.join(' ') + ": " + r.err.trimmed();
                return false;
            }
        }
        return true;
    }

    QString tool, boards_a, boards_b, tool_if_a, tool_if_b;

  private:
    QStringList created_;
};

// A simulator with the real ports inside a namespace; "ip netns exec" replaces itself with it.
struct SimInNamespace {
    QProcess process;
    bool start(const QString& ns, const QString& boards, const QString& net) {
        process.start(ip_tool(), {"netns", "exec", ns, kSim, "--boards", boards, "--board-net", net,
                                  "--duration", QString::number(kSimSeconds)});
        if (!process.waitForStarted(5000)) return false;
        QByteArray seen;
        for (int i = 0; i < 50 && !seen.contains("ready main="); ++i) {
            process.waitForReadyRead(100);
            seen += process.readAllStandardOutput();
        }
        return seen.contains("ready main=");
    }
    ~SimInNamespace() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(3000)) process.kill();
        process.waitForFinished(1000);
    }
};

// MAC -> interface of each board a search in the tool namespace found.
std::map<QString, QString> search(const ThreeNamespaces& net, const QStringList& extra, int expect,
                                  QString* output) {
    const Outcome r =
        ip(QStringList{"netns", "exec", net.tool, kTool} + extra +
           QStringList{"search", "--json", "--expect", QString::number(expect), "--wait", "3000"});
    *output = r.out + r.err;
    std::map<QString, QString> found;
    if (r.status != 0) return found;
    const QJsonObject doc = QJsonDocument::fromJson(r.out.toUtf8()).object();
    for (const QJsonValue& b : doc.value("boards").toArray()) {
        found[b.toObject().value("mac_address").toString()] =
            b.toObject().value("interface").toString();
    }
    return found;
}

TEST(QuorinctlInNetworkNamespaces, SearchesEveryInterfaceAndOnlyTheNamedOne) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to create network namespaces";
    if (ip_tool().isEmpty()) GTEST_SKIP() << "needs the ip tool (iproute2)";
    ThreeNamespaces::remove_stale();
    ThreeNamespaces net;
    QString why;
    if (!net.create(&why))
        GTEST_SKIP() << "cannot create network namespaces: " << why.toStdString();
    ASSERT_TRUE(net.connect(&why)) << why.toStdString();

    SimInNamespace a, b;
    ASSERT_TRUE(a.start(net.boards_a, "0002:3,0004:1", "10.214.1.0"));
    ASSERT_TRUE(b.start(net.boards_b, "0006:2,0001:1", "10.215.1.0"));

    QString output;
    const auto all = search(net, {}, 7, &output);
    ASSERT_EQ(all.size(), 7u) << output.toStdString();
    int on_a = 0, on_b = 0;
    for (const auto& [mac, iface] : all) {
        on_a += iface == net.tool_if_a;
        on_b += iface == net.tool_if_b;
    }
    EXPECT_EQ(on_a, 4) << output.toStdString();  // the legacy board answers on port 50001 too
    EXPECT_EQ(on_b, 3) << output.toStdString();
    EXPECT_EQ(all.at("02:51:00:04:00:03"), net.tool_if_a);

    const auto only_b = search(net, {"--interface", net.tool_if_b}, 99, &output);
    EXPECT_EQ(only_b.size(), 3u) << output.toStdString();
    for (const auto& [mac, iface] : only_b) EXPECT_EQ(iface, net.tool_if_b) << mac.toStdString();

    // diagnose: no route for a plain limited broadcast here, replies on both interfaces, and
    // boards whose addresses (10.214.1.x, 10.215.1.x) lie outside the tool's subnets.
    const Outcome diagnose = ip({"netns", "exec", net.tool, kTool, "--wait", "1500", "diagnose"});
    EXPECT_EQ(diagnose.status, 1) << diagnose.err.toStdString();
    EXPECT_TRUE(diagnose.out.contains("has no way out of this machine"))
        << diagnose.out.toStdString();
    EXPECT_TRUE(diagnose.out.contains(net.tool_if_a + ": 4 replies")) << diagnose.out.toStdString();
    EXPECT_TRUE(diagnose.out.contains(net.tool_if_b + ": 3 replies")) << diagnose.out.toStdString();
    EXPECT_EQ(diagnose.out.count("outside every subnet of this machine"), 7);

    // A set goes out by the interface its board answered on.
    const Outcome set = ip({"netns", "exec", net.tool, kTool, "--wait", "3000", "set",
                            "02:51:00:06:00:01", "channel[0].baud_rate=600"});
    EXPECT_EQ(set.status, 0) << set.out.toStdString() << set.err.toStdString();
}

}  // namespace
}  // namespace quorin::cli::testing
