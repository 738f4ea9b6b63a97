// search-bench: 200 simulated boards answer one search through real loopback sockets.
//
// For each run it prints the boards listed, the replies lost and the time from the Search click
// until the last board is listed, shown and painted, with the processor time the window's thread
// spent on it; it waits for the replies sleeping in the event loop, so that it takes no processor
// time from the simulator or the tool. In the same run a bare client (one datagram out, the
// replies counted with a blocking poll) searches the same simulator, so the two times compare the
// tool with the floor that the simulator and loopback set. At the end: both medians and their
// ratio. It exits non-zero only when boards are lost (it does not judge the time).
#include <time.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/quorin_config_tool_app.h"
#include "res/resource_ids.h"
#include "tests/support/manual_window_timers.h"
#include "tests/support/recording_services.h"
#include "tests/support/simulated_input.h"
#include "tools/bench/bench_support.h"
#include "tools/sim_process.h"
#include "ui/quorin_config_tool_dlg.h"

namespace {

using quorin::tools::bare_search_ms;
using quorin::tools::median;

// Processor time this thread has used, in milliseconds.
double thread_cpu_ms() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"sim", "Path of quorin-board-sim.", "path"});
    parser.addOption({"boards", "Number of boards.", "n", "200"});
    parser.addOption({"product", "Product code of the boards.", "code", "0002"});
    parser.addOption({"runs", "Number of searches.", "n", "5"});
    parser.process(qt);

    QTextStream out(stdout);
    const int boards = parser.value("boards").toInt();
    const int runs = std::max(1, parser.value("runs").toInt());
    QString simPath = parser.value("sim");
    if (simPath.isEmpty()) {
        simPath = QCoreApplication::applicationDirPath() + "/../sim/quorin-board-sim";
    }
    quorin::tools::SimulatorProcess sim;
    if (!sim.start(simPath, parser.value("product") + ":" + QString::number(boards))) {
        std::fprintf(stderr, "search-bench: could not start %s\n", qPrintable(simPath));
        return 2;
    }

    quorin::NetworkTarget target;
    target.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
    target.main_port = sim.main_port;
    target.legacy_board_port = sim.legacy_port;
    target.legacy_local_port = 0;
    quorin::platform::RecordingMessageBoxes messages;
    quorin::platform::ManualWindowTimers timers;
    quorin::platform::ScriptedFileChooser files;
    quorin::CQuorinConfigToolApp app(messages, target);
    quorin::CQuorinConfigToolDlg dlg(app, {timers, files});
    dlg.OnInitDialog();
    dlg.show();

    out << "search-bench: " << boards << " boards of product " << parser.value("product")
        << ", receive buffer granted " << app.receiveBufferGranted() << " bytes\n";
    std::vector<double> times;
    std::vector<double> bareTimes;
    std::vector<double> cpuTimes;
    int worstLost = 0;
    for (int run = 1; run <= runs; ++run) {
        QElapsedTimer clock;
        const double cpuBefore = thread_cpu_ms();
        clock.start();
        quorin::testing::click(dlg, quorin::res::IDC_SEARCH);
        double doneMs = -1;
        double cpuMs = -1;
        if (quorin::tools::waitSleeping([&] { return app.core().board_count() >= boards; }, 5000)) {
            QCoreApplication::sendPostedEvents();  // the paint the last display asked for
            doneMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            cpuMs = thread_cpu_ms() - cpuBefore;
        }
        // Late replies would still be listed: give them a moment before counting.
        quorin::tools::waitSleeping([] { return false; }, 300);
        const int listed = app.core().board_count();
        const int shownRow = dlg.listCurSel(quorin::res::IDC_BOARD_LIST);
        const int lost = boards - listed;
        worstLost = std::max(worstLost, lost);
        out << "run " << run << ": listed " << listed << " of " << boards << ", lost " << lost
            << ", first board shown " << (shownRow == 0 ? "yes" : "no") << ", time to last board "
            << (doneMs < 0 ? QString("(not reached)")
                           : QString::number(doneMs, 'f', 1) + " ms, processor " +
                                 QString::number(cpuMs, 'f', 1) + " ms")
            << "\n";
        if (doneMs >= 0) times.push_back(doneMs);
        if (cpuMs >= 0) cpuTimes.push_back(cpuMs);

        const double bareMs = bare_search_ms(sim.main_port, boards);
        out << "run " << run << ": bare client, all " << boards << " replies: "
            << (bareMs < 0 ? QString("(not reached)") : QString::number(bareMs, 'f', 1) + " ms")
            << "\n";
        out.flush();
        if (bareMs >= 0) bareTimes.push_back(bareMs);
    }
    const double tool = median(times);
    const double bare = median(bareTimes);
    if (tool >= 0) {
        out << "median time from Search to the last board listed and shown: "
            << QString::number(tool, 'f', 1) << " ms over " << times.size() << " runs\n";
    }
    if (!cpuTimes.empty()) {
        out << "median processor time of the window's thread per search: "
            << QString::number(median(cpuTimes), 'f', 1) << " ms\n";
    }
    if (bare >= 0) {
        out << "median time of the bare client: " << QString::number(bare, 'f', 1) << " ms over "
            << bareTimes.size() << " runs\n";
    }
    if (tool >= 0 && bare > 0)
        out << "ratio tool / bare: " << QString::number(tool / bare, 'f', 1) << "\n";
    for (const QString& m : messages.shown) out << "message: " << m << "\n";
    sim.stop();
    return worstLost == 0 ? 0 : 1;
}
