// boards-bench: the Boards window against simulated boards on loopback (offscreen).
//  1. Search to every board listed and sorted in the window (2,000 boards, or --boards N), timed
//     from the click on "Search again" to the table painted with every row, beside
//     `quorinctl search --json` of the same boards in the same run (process start to end). Both
//     end as soon as every board has answered (--expect), so neither measures an idle wait.
//  2. A firmware rollout to 64 boards (or --rollout N) from the window, --jobs 8: the longest
//     time the window's event loop went without running (a 1 ms timer's late start).
// Prints the figures and the targets (ratio <= 1.5, stall < 50 ms); exits non-zero only when
// boards are missing or the rollout did not verify every board (it does not judge the times).
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "boards/boards_window.h"
#include "tests/support/loopback.h"
#include "tests/support/test_image.h"
#include "tools/bench/bench_support.h"
#include "tools/sim_process.h"

namespace {

using quorin::testing::waitFor;

constexpr int kTimeoutMs = 20000;

quorin::cli::CommonOptions aimed_at(const quorin::tools::SimulatorProcess& sim) {
    quorin::cli::CommonOptions o;
    o.link.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
    o.link.main_port = sim.main_port;
    o.link.legacy_board_port = sim.legacy_port;
    o.link.legacy_local_port = 0;
    return o;
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"sim", "Path of quorin-board-sim.", "path"});
    parser.addOption({"ctl", "Path of quorinctl.", "path"});
    parser.addOption({"boards", "Boards of the search (main protocol, five models).", "n", "2000"});
    parser.addOption({"rollout", "Boards of the rollout.", "n", "64"});
    parser.addOption({"runs", "Runs of each search.", "n", "3"});
    parser.process(qt);
    const QString dir = QCoreApplication::applicationDirPath();
    const QString sim_path =
        parser.isSet("sim") ? parser.value("sim") : dir + "/../sim/quorin-board-sim";
    const QString ctl_path = parser.isSet("ctl") ? parser.value("ctl") : dir + "/../cli/quorinctl";
    const int boards = std::clamp(parser.value("boards").toInt(), 5, 50000);
    const int rollout = std::clamp(parser.value("rollout").toInt(), 1, 1000);
    const int runs = std::max(1, parser.value("runs").toInt());
    QTextStream out(stdout);
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    int status = 0;

    // 1. The search.
    {
        QStringList spread;
        const char* models[] = {"0001", "0002", "0003", "0005", "0006"};
        for (int m = 0; m < 5; ++m)
            spread << QStringLiteral("%1:%2").arg(models[m]).arg(boards / 5 + (m < boards % 5));
        quorin::tools::SimulatorProcess sim;
        if (!sim.start(sim_path, spread.join(','))) {
            std::fprintf(stderr, "boards-bench: could not start %s\n", qPrintable(sim_path));
            return 2;
        }
        quorin::cli::CommonOptions o = aimed_at(sim);
        o.wait_ms = kTimeoutMs;
        o.expect = boards;
        quorin::boards::BoardsWindow window(o, {}, {});
        window.show();
        window.openAndSearch();
        waitFor([&] { return !window.controller().busy(); }, kTimeoutMs);
        std::vector<double> window_ms, ctl_ms;
        for (int run = 1; run <= runs; ++run) {
            QElapsedTimer clock;
            clock.start();
            QTest::mouseClick(window.button("search"), Qt::LeftButton);
            waitFor([&] { return !window.controller().busy(); }, kTimeoutMs);
            window.table()->viewport()->repaint();
            const double w_ms = clock.nsecsElapsed() / 1e6;
            const auto listed = static_cast<int>(window.table()->model()->rowCount());

            QProcess ctl;
            ctl.setStandardInputFile(QProcess::nullDevice());
            clock.restart();
            ctl.start(ctl_path,
                      {"--broadcast", "127.255.255.255", "--port", QString::number(sim.main_port),
                       "--legacy-port", QString::number(sim.legacy_port), "--legacy-local-port",
                       "0", "--wait", QString::number(kTimeoutMs), "search", "--json", "--expect",
                       QString::number(boards)});
            ctl.waitForFinished(kTimeoutMs + 5000);
            const double c_ms = clock.nsecsElapsed() / 1e6;
            const int ctl_listed = QJsonDocument::fromJson(ctl.readAllStandardOutput())
                                       .object()
                                       .value(QStringLiteral("boards"))
                                       .toArray()
                                       .size();
            out << "run " << run << ": window " << QString::number(w_ms, 'f', 1) << " ms ("
                << listed << " rows), quorinctl search --json " << QString::number(c_ms, 'f', 1)
                << " ms (" << ctl_listed << " boards)\n";
            out.flush();
            if (listed != boards || ctl_listed != boards) status = 1;
            window_ms.push_back(w_ms);
            ctl_ms.push_back(c_ms);
        }
        std::sort(window_ms.begin(), window_ms.end());
        std::sort(ctl_ms.begin(), ctl_ms.end());
        const double w = window_ms[window_ms.size() / 2], c = ctl_ms[ctl_ms.size() / 2];
        out << "median search to " << boards
            << " boards listed and sorted in the window: " << QString::number(w, 'f', 1)
            << " ms; quorinctl search --json: " << QString::number(c, 'f', 1) << " ms; ratio "
            << QString::number(w / c, 'f', 2) << " (target <= 1.5)\n";
    }

    // 2. The rollout.
    {
        quorin::tools::SimulatorProcess sim;
        const quint16 upload_port = quorin::testing::free_tcp_port();
        const quint16 stream_port = quorin::testing::free_tcp_port();
        if (!sim.start(sim_path, QStringLiteral("0002:%1").arg(rollout),
                       {"--upload-port", QString::number(upload_port), "--stream-port",
                        QString::number(stream_port), "--reboot-ms", "200"})) {
            std::fprintf(stderr, "boards-bench: could not start %s\n", qPrintable(sim_path));
            return 2;
        }
        quorin::cli::CommonOptions o = aimed_at(sim);
        o.wait_ms = 1000;
        o.expect = rollout;
        o.upload_port = upload_port;
        o.stream_port = stream_port;
        quorin::boards::BoardsWindow window(o, {}, {});
        window.show();
        window.openAndSearch();
        waitFor([&] { return !window.controller().busy(); }, kTimeoutMs);
        window.controller().table().select_all();
        QFile image(state.filePath("fw.bin"));
        image.open(QIODevice::WriteOnly);
        image.write(quorin::testing::test_image(16 * 1024));
        image.close();
        const auto plan = window.controller().plan_upgrade(image.fileName());
        quorin::tools::StallProbe probe(1);
        QElapsedTimer clock;
        clock.start();
        probe.start();
        window.controller().upgrade(plan, {8, 0, 0, 120});
        waitFor([&] { return !window.controller().busy(); }, 600000);
        probe.stop();
        int verified = 0;
        const auto& t = window.controller().table();
        for (std::size_t r = 0; r < t.rows(); ++r)
            verified += t.status(r).kind == quorin::fleet::BoardStatus::Verified;
        out << "rollout to " << rollout << " boards (16 KiB, --jobs 8) from the window: "
            << QString::number(clock.elapsed() / 1000.0, 'f', 1) << " s, " << verified
            << " verified; longest stall of the window's event loop: " << probe.longest_ms
            << " ms (target < 50)\n";
        if (verified != rollout) status = 1;
    }
    return status;
}
