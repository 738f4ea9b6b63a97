// cli-search-bench: `quorinctl search --json` against simulated boards on loopback (200, or
// --boards N: 2000 spread past one /24 and far past the window's table), timed from starting the
// process to its end (process start included), and in the same run one bare search against the
// same simulator: one request datagram out, replies counted until every board has answered.
// With --probe (by default the netns_search_probe built beside it, when there is one) the bare
// search also runs as a process of its own, so that both sides include a process start. Prints
// the medians and their ratios.
//
// The search's wait is accounted for with --expect: quorinctl ends as soon as the expected
// number of boards has answered, as the bare search does, so neither measures an idle wait.
// The floor it prints is the process start (loading Qt, measured as `quorinctl --version`) plus
// the bare search: what quorinctl would take if its search cost nothing beyond the bare one's.
// Exits non-zero only when boards are missing (it does not judge the time).
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

#include "tools/bench/bench_support.h"
#include "tools/sim_process.h"

namespace {

using quorin::tools::bare_search_ms;
using quorin::tools::median;

constexpr int kTimeoutMs = 10000;

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication qt(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"sim", "Path of quorin-board-sim.", "path"});
    parser.addOption({"ctl", "Path of quorinctl.", "path"});
    parser.addOption({"runs", "Number of runs of each search.", "n", "5"});
    parser.addOption(
        {"boards", "Number of simulated boards (main protocol, five models).", "n", "200"});
    parser.addOption({"probe",
                      "A bare search program (tests/e2e/netns_search_probe) to time as a process "
                      "too, so that both sides include a process start.",
                      "path"});
    parser.process(qt);
    const int runs = std::max(1, parser.value("runs").toInt());
    const QString dir = QCoreApplication::applicationDirPath();
    const QString sim_path =
        parser.isSet("sim") ? parser.value("sim") : dir + "/../sim/quorin-board-sim";
    const QString ctl_path = parser.isSet("ctl") ? parser.value("ctl") : dir + "/../cli/quorinctl";
    const QString default_probe = dir + "/../tests/e2e/netns_search_probe";
    const QString probe_path = parser.isSet("probe")              ? parser.value("probe")
                               : QFileInfo::exists(default_probe) ? default_probe
                                                                  : QString();

    // The boards spread evenly over the five main-protocol models (40 of each for 200).
    const int boards = std::clamp(parser.value("boards").toInt(), 5, 50000);
    QStringList spread;
    const char* models[] = {"0001", "0002", "0003", "0005", "0006"};
    for (int m = 0; m < 5; ++m) {
        spread << QStringLiteral("%1:%2").arg(models[m]).arg(boards / 5 + (m < boards % 5 ? 1 : 0));
    }
    quorin::tools::SimulatorProcess sim;
    if (!sim.start(sim_path, spread.join(','))) {
        std::fprintf(stderr, "cli-search-bench: could not start %s\n", qPrintable(sim_path));
        return 2;
    }
    QTextStream out(stdout);
    out << "cli-search-bench: " << boards << " boards, " << runs << " run(s) of each search\n";

    std::vector<double> ctl_times, bare_times, start_times, probe_times;
    int worst_missing = 0;
    for (int run = 1; run <= runs; ++run) {
        QProcess ctl;
        ctl.setStandardInputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        ctl.start(ctl_path,
                  {"--broadcast", "127.255.255.255", "--port", QString::number(sim.main_port),
                   "--legacy-port", QString::number(sim.legacy_port), "--legacy-local-port", "0",
                   "--wait", QString::number(kTimeoutMs), "search", "--json", "--expect",
                   QString::number(boards)});
        const bool ended = ctl.waitForFinished(kTimeoutMs + 5000);
        const double ctl_ms = clock.nsecsElapsed() / 1e6;
        const int listed = QJsonDocument::fromJson(ctl.readAllStandardOutput())
                               .object()
                               .value(QStringLiteral("boards"))
                               .toArray()
                               .size();
        const double bare_ms = bare_search_ms(sim.main_port, boards, kTimeoutMs);
        // The process start alone: loading Qt and the program, no search.
        QProcess version;
        QElapsedTimer start_clock;
        start_clock.start();
        version.start(ctl_path, {"--version"});
        if (version.waitForFinished(kTimeoutMs)) {
            start_times.push_back(start_clock.nsecsElapsed() / 1e6);
        }
        if (!probe_path.isEmpty()) {
            QProcess probe;
            QElapsedTimer probe_clock;
            probe_clock.start();
            probe.start(probe_path,
                        {"--address", "127.255.255.255", "--port", QString::number(sim.main_port),
                         "--seconds", "10", "--expect", QString::number(boards)});
            const bool done = probe.waitForFinished(kTimeoutMs + 5000);
            const double probe_ms = probe_clock.nsecsElapsed() / 1e6;
            if (done &&
                probe.readAllStandardOutput().contains("distinct=" + QByteArray::number(boards))) {
                probe_times.push_back(probe_ms);
            } else {
                worst_missing = std::max(worst_missing, 1);
            }
        }
        worst_missing = std::max({worst_missing, boards - listed, bare_ms < 0 ? boards : 0});
        out << "run " << run << ": quorinctl search --json " << QString::number(ctl_ms, 'f', 1)
            << " ms (" << listed << " boards" << (ended ? "" : ", did not end") << "), bare search "
            << (bare_ms < 0 ? QStringLiteral("(incomplete)") : QString::number(bare_ms, 'f', 1))
            << " ms\n";
        out.flush();
        if (ended && listed == boards) ctl_times.push_back(ctl_ms);
        if (bare_ms >= 0) bare_times.push_back(bare_ms);
    }
    const double c = median(ctl_times), b = median(bare_times), st = median(start_times);
    out << "median quorinctl search --json (process start to end): " << QString::number(c, 'f', 1)
        << " ms\nmedian bare search (one datagram out, " << boards
        << " replies counted): " << QString::number(b, 'f', 1)
        << " ms\nmedian quorinctl --version (process start alone): " << QString::number(st, 'f', 1)
        << " ms\nratio: "
        << (c > 0 && b > 0 ? QString::number(c / b, 'f', 2) : QStringLiteral("n/a"))
        << " (target <= 1.5); without the process start: "
        << (c > 0 && b > 0 && st > 0 ? QString::number((c - st) / b, 'f', 2)
                                     : QStringLiteral("n/a"))
        << "\n";
    // The least quorinctl can take: its process start (loading Qt) plus the search itself.
    const double floor = st > 0 && b > 0 ? st + b : -1;
    out << "floor (process start + bare search): " << QString::number(floor, 'f', 1)
        << " ms, a ratio of "
        << (floor > 0 ? QString::number(floor / b, 'f', 2) : QStringLiteral("n/a")) << " at best\n";
    if (!probe_path.isEmpty()) {
        const double p = median(probe_times);
        out << "median bare search as a process (" << QFileInfo(probe_path).fileName()
            << ", process start to end): " << QString::number(p, 'f', 1)
            << " ms\nratio, both including their process start: "
            << (c > 0 && p > 0 ? QString::number(c / p, 'f', 2) : QStringLiteral("n/a"))
            << " (at best " << (floor > 0 && p > 0 ? QString::number(floor / p, 'f', 2) : "n/a")
            << ")\n";
    }
    sim.stop();
    return worst_missing == 0 ? 0 : 1;
}
