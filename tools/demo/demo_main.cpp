// quorin-demo: the tool against simulated boards on loopback.
//
// Starts quorin-board-sim with boards of every model, then opens the tool's main window aimed at
// it (requests go to 127.255.255.255 instead of the real broadcast address). Closing the window
// stops the simulator. On Qt's offscreen platform it runs the same flow unattended: it presses
// Search, waits for the replies, saves a screenshot of the window and prints the boards found.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <cstdio>
#include <memory>

#include "app/quorin_config_tool_app.h"
#include "platform/platform_services.h"
#include "protocol/board_record.h"
#include "res/resource_ids.h"
#include "tools/sim_process.h"
#include "ui/quorin_config_tool_dlg.h"

namespace {

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

void printBoards(quorin::CQuorinConfigToolApp& app) {
    const auto& core = app.core();
    out() << "Boards found: " << core.board_count() << "\n";
    for (int i = 0; i < core.board_count(); ++i) {
        const quorin::BoardRow& row = core.board(i);
        const std::string model = quorin::model_name(row.product_code);
        out() << "  " << QString::fromStdString(quorin::mac_text(row.mac_address)) << "  "
              << QString::fromStdString(quorin::product_code_text(row.product_code)) << "  "
              << QString::fromStdString(model.empty() ? std::string("(unknown model)") : model)
              << "  " << row.local_ip[0] << "." << row.local_ip[1] << "." << row.local_ip[2] << "."
              << row.local_ip[3] << "\n";
    }
    out().flush();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication qt(argc, argv);
    QCoreApplication::setApplicationName("QuorinConfigTool");

    QCommandLineParser parser;
    parser.setApplicationDescription("QuorinConfigTool against simulated boards on loopback");
    parser.addHelpOption();
    parser.addOption({"sim", "Path of quorin-board-sim.", "path"});
    parser.addOption(
        {"boards", "Boards to simulate (quorin-board-sim --boards).", "text", "all:3"});
    parser.addOption(
        {"screenshot", "Where the unattended run saves its screenshot.", "path", "demo.png"});
    parser.process(qt);

    QString simPath = parser.value("sim");
    if (simPath.isEmpty()) {
        simPath = QFileInfo(QCoreApplication::applicationDirPath() + "/../sim/quorin-board-sim")
                      .absoluteFilePath();
    }
    quorin::tools::SimulatorProcess sim;
    if (!sim.start(simPath, parser.value("boards"))) {
        std::fprintf(stderr, "quorin-demo: could not start the simulator %s\n",
                     qPrintable(simPath));
        sim.stop();
        return 1;
    }

    quorin::NetworkTarget target;
    target.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
    target.main_port = sim.main_port;
    target.legacy_board_port = sim.legacy_port;
    target.legacy_local_port = 0;

    const bool unattended = QGuiApplication::platformName() == QLatin1String("offscreen");
    quorin::platform::QtMessageBoxes shownMessages;
    quorin::platform::RecordingMessageBoxes recordedMessages;
    quorin::platform::MessageBoxes& messages =
        unattended ? static_cast<quorin::platform::MessageBoxes&>(recordedMessages) : shownMessages;

    quorin::CQuorinConfigToolApp app(messages, target);
    int status = 0;
    app.setMainWindowRunner([&](quorin::CQuorinConfigToolApp& theApp) {
        quorin::platform::QtWindowTimers timers;
        quorin::platform::QtFileChooser files;
        quorin::platform::QtMessagePoster poster(&qt);
        quorin::CQuorinConfigToolDlg dlg(theApp, {timers, files, poster});
        shownMessages.setParent(&dlg);
        dlg.OnInitDialog();
        if (!unattended) {
            out() << "Simulated boards listen on 127.0.0.1 ports " << sim.main_port << " and "
                  << sim.legacy_port << ". Press Search.\n";
            out().flush();
            dlg.exec();
            return;
        }
        dlg.show();
        dlg.click(quorin::res::IDC_SEARCH);
        // Wait until no further board has been listed for a while.
        int listed = -1;
        QElapsedTimer quiet;
        quiet.start();
        quorin::tools::waitFor(
            [&] {
                const int now = theApp.core().board_count();
                if (now != listed) {
                    listed = now;
                    quiet.restart();
                }
                return listed > 0 && quiet.elapsed() > 700;
            },
            10000);
        const QString path = QFileInfo(parser.value("screenshot")).absoluteFilePath();
        if (!dlg.grab().save(path)) {
            std::fprintf(stderr, "quorin-demo: could not save %s\n", qPrintable(path));
            status = 1;
        } else {
            out() << "Screenshot: " << path << "\n";
        }
        printBoards(theApp);
        for (const QString& m : recordedMessages.shown) out() << "Message: " << m << "\n";
        if (theApp.core().board_count() == 0) status = 1;
        dlg.close();
    });
    app.InitInstance();
    sim.stop();
    return status;
}
