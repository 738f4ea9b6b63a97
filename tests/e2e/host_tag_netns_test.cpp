// The main window appears at once when the host tag lookup cannot finish: the tool runs in
// namespaces of its own (network, host name, mounts) with a host name that is in no hosts file and
// a resolver pointed at 127.0.0.1, where a DNS port is held that never answers. Nothing leaves the
// namespace, and the host's name and resolver configuration are left as they are.
//
// Runs only as root with unshare, ip, hostname and mount; otherwise the test is skipped with the
// reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>

namespace {

// A resolver that waits this long per try, twice, before it gives up: far longer than the window
// may take to appear.
constexpr int kResolverTimeoutSeconds = 5;
constexpr int kResolverAttempts = 2;
// The probe shows the window, waits one second and exits, whatever the lookup is doing.
constexpr int kProbeFinishesWithinMs = 8000;

QString tool(const char* name) {
    QString path = QStandardPaths::findExecutable(QLatin1String(name));
    if (path.isEmpty()) {
        path = QStandardPaths::findExecutable(
            QLatin1String(name), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    }
    return path;
}

std::map<QString, int> figures(const QString& output) {
    std::map<QString, int> out;
    static const QRegularExpression pair(QStringLiteral("(\\w+)=(\\d+)"));
    auto it = pair.globalMatch(output);
    while (it.hasNext()) {
        const auto m = it.next();
        out[m.captured(1)] = m.captured(2).toInt();
    }
    return out;
}

TEST(HostTagInNamespaces, TheWindowAppearsWhileTheLookupWaitsForADnsServerThatNeverAnswers) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to create namespaces";
    for (const char* needed : {"unshare", "ip", "hostname", "mount"})
        if (tool(needed).isEmpty()) GTEST_SKIP() << "needs " << needed;

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString resolv = dir.filePath(QStringLiteral("resolv.conf"));
    {
        QFile f(resolv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("nameserver 127.0.0.1\noptions timeout:%1 attempts:%2\n")
                    .arg(kResolverTimeoutSeconds)
                    .arg(kResolverAttempts)
                    .toUtf8());
    }
    const QString host = QStringLiteral("quorin-no-such-host-%1").arg(::getpid());
    const QString script = QStringLiteral(
                               "set -e; ip link set lo up; hostname %1; "
                               "mount --bind %2 /etc/resolv.conf; exec %3 --blackhole-dns")
                               .arg(host, resolv, QStringLiteral(QUORIN_HOST_TAG_PROBE_PATH));

    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start(tool("unshare"), {"--net", "--uts", "--mount", "sh", "-c", script});
    ASSERT_TRUE(probe.waitForStarted(5000));
    if (!probe.waitForFinished(kProbeFinishesWithinMs)) {
        probe.kill();
        probe.waitForFinished(2000);
        FAIL() << "the tool did not finish within " << kProbeFinishesWithinMs
               << " ms: " << probe.readAll().toStdString();
    }
    const QString output = QString::fromLocal8Bit(probe.readAll());
    if (probe.exitCode() != 0 && !output.contains(QStringLiteral("window_shown_ms="))) {
        GTEST_SKIP() << "cannot set up the namespaces: " << output.trimmed().toStdString();
    }
    ASSERT_EQ(probe.exitCode(), 0) << output.toStdString();
    const auto got = figures(output);
    ASSERT_EQ(got.count(QStringLiteral("window_shown_ms")), 1u) << output.toStdString();
    if (got.at(QStringLiteral("lookup_pending_after_wait")) == 0) {
        GTEST_SKIP() << "this system resolves its own host name without DNS: "
                     << output.toStdString();
    }
    EXPECT_EQ(got.at(QStringLiteral("lookup_pending_at_show")), 1) << output.toStdString();
    std::printf("%s", qPrintable(output));
}

}  // namespace
