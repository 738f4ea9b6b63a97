// search-bench: 200 simulated boards answer one search through real loopback sockets.
//
// For each run it prints the boards listed, the replies lost and the time from the Search click
// until the last board is listed and shown, then the median over the runs. It exits non-zero
// only when boards are lost (it does not judge the time).
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/quorin_config_tool_app.h"
#include "platform/platform_services.h"
#include "res/resource_ids.h"
#include "tools/sim_process.h"
#include "ui/quorin_config_tool_dlg.h"

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
    quorin::platform::RecordingMessagePoster poster;
    quorin::CQuorinConfigToolApp app(messages, target);
    quorin::CQuorinConfigToolDlg dlg(app, {timers, files, poster});
    dlg.OnInitDialog();
    dlg.show();

    out << "search-bench: " << boards << " boards of product " << parser.value("product")
        << ", receive buffer granted " << app.receiveBufferGranted() << " bytes\n";
    std::vector<double> times;
    int worstLost = 0;
    for (int run = 1; run <= runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        dlg.click(quorin::res::IDC_SEARCH);
        double doneMs = -1;
        quorin::tools::waitFor(
            [&] {
                if (doneMs < 0 && app.core().board_count() >= boards) {
                    doneMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
                }
                return doneMs >= 0;
            },
            5000);
        // Late replies would still be listed: give them a moment before counting.
        quorin::tools::waitFor([] { return false; }, 300);
        const int listed = app.core().board_count();
        const int shownRow = dlg.listCurSel(quorin::res::IDC_BOARD_LIST);
        const int lost = boards - listed;
        worstLost = std::max(worstLost, lost);
        out << "run " << run << ": listed " << listed << " of " << boards << ", lost " << lost
            << ", first board shown " << (shownRow == 0 ? "yes" : "no") << ", time to last board "
            << (doneMs < 0 ? QString("(not reached)") : QString::number(doneMs, 'f', 1) + " ms")
            << "\n";
        out.flush();
        if (doneMs >= 0) times.push_back(doneMs);
    }
    std::sort(times.begin(), times.end());
    if (!times.empty()) {
        out << "median time from Search to the last board listed and shown: "
            << QString::number(times[times.size() / 2], 'f', 1) << " ms over " << times.size()
            << " runs\n";
    }
    for (const QString& m : messages.shown) out << "message: " << m << "\n";
    sim.stop();
    return worstLost == 0 ? 0 : 1;
}
