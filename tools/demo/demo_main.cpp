// quorin-demo: the tool against simulated boards on loopback.
//
// Starts quorin-board-sim with boards of every model, then opens the tool's main window aimed at
// it (requests go to 127.255.255.255 instead of the real broadcast address, firmware transfers to
// the simulated boards' listeners). It writes a sample firmware image to upload. Closing the window
// stops the simulator. On Qt's offscreen platform it runs the same flow unattended: it presses
// Search, waits for the replies, saves a screenshot of the window, prints the boards found, then
// uploads the sample image to the first main-protocol board and prints the outcome.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTextStream>
#include <cstdio>
#include <memory>

#include "app/quorin_config_tool_app.h"
#include "boards/boards_menu.h"
#include "platform/platform_services.h"
#include "protocol/board_record.h"
#include "protocol/record_codec.h"
#include "res/resource_ids.h"
#include "tests/support/recording_services.h"
#include "tests/support/simulated_input.h"
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

// A TCP port no socket uses right now (the simulated boards' firmware listeners take it).
quint16 free_tcp_port() {
    QTcpServer probe;
    probe.setProxy(QNetworkProxy::NoProxy);
    return probe.listen(QHostAddress::AnyIPv4, 0) ? probe.serverPort() : 0;
}

// A sample firmware image: bytes that vary, so that the simulator's sha256 tells a good copy.
bool write_sample_image(const QString& path, qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 8));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == size;
}

constexpr qsizetype kSampleImageBytes = 64 * 1024;
constexpr int kUploadWaitMs = 15000;

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
    parser.addOption(
        {"sample", "Where to write the sample firmware image.", "path", "sample-firmware.bin"});
    parser.process(qt);

    const QString samplePath = QFileInfo(parser.value("sample")).absoluteFilePath();
    if (!write_sample_image(samplePath, kSampleImageBytes)) {
        std::fprintf(stderr, "quorin-demo: could not write %s\n", qPrintable(samplePath));
        return 1;
    }

    QString simPath = parser.value("sim");
    if (simPath.isEmpty()) {
        simPath = QFileInfo(QCoreApplication::applicationDirPath() + "/../sim/quorin-board-sim")
                      .absoluteFilePath();
    }
    const quint16 uploadPort = free_tcp_port();
    const quint16 streamPort = free_tcp_port();
    quorin::tools::SimulatorProcess sim;
    if (!sim.start(simPath, parser.value("boards"),
                   {"--upload-port", QString::number(uploadPort), "--stream-port",
                    QString::number(streamPort)})) {
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
    target.upload_port = uploadPort;
    target.stream_port = streamPort;

    const bool unattended = QGuiApplication::platformName() == QLatin1String("offscreen");
    quorin::platform::QtMessageBoxes shownMessages;
    quorin::platform::RecordingMessageBoxes recordedMessages;
    quorin::platform::MessageBoxes& messages =
        unattended ? static_cast<quorin::platform::MessageBoxes&>(recordedMessages) : shownMessages;

    quorin::CQuorinConfigToolApp app(messages, target);
    int status = 0;
    app.setMainWindowRunner([&](quorin::CQuorinConfigToolApp& theApp) {
        quorin::platform::QtWindowTimers timers;
        quorin::platform::QtFileChooser shownFiles;
        quorin::platform::ScriptedFileChooser scriptedFiles;
        scriptedFiles.next = samplePath;
        quorin::platform::FileChooser& files =
            unattended ? static_cast<quorin::platform::FileChooser&>(scriptedFiles) : shownFiles;
        quorin::CQuorinConfigToolDlg dlg(theApp, {timers, files});
        shownMessages.setParent(&dlg);
        dlg.OnInitDialog();
        if (!unattended) {
            // The Boards window, aimed at the same simulator.
            quorin::cli::CommonOptions boards;
            boards.link.broadcast = target.broadcast;
            boards.link.main_port = target.main_port;
            boards.link.legacy_board_port = target.legacy_board_port;
            boards.link.legacy_local_port = 0;
            boards.upload_port = uploadPort;
            boards.stream_port = streamPort;
            quorin::boards::add_boards_menu_item(theApp, dlg, boards,
                                                 quorin::boards::BoardsFiles::dialogs());
            out() << "Simulated boards listen on 127.0.0.1 ports " << sim.main_port << " and "
                  << sim.legacy_port << ". Press Search.\n"
                  << "To upload firmware: press \"...\", choose " << samplePath
                  << ", select a board and press Upload.\n"
                  << "Every board at once: Ctrl+B (or right-click, Boards...).\n";
            out().flush();
            dlg.exec();
            quorin::boards::finish_runs(dlg);
            return;
        }
        dlg.show();
        quorin::testing::click(dlg, quorin::res::IDC_SEARCH);
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

        // Upload the sample image to the first main-protocol board.
        for (int i = 0; i < theApp.core().board_count(); ++i) {
            if (quorin::uses_legacy_protocol(theApp.core().board(i).product_code)) continue;
            quorin::testing::simulate_select(dlg, quorin::res::IDC_BOARD_LIST, i);
            quorin::testing::click(dlg, quorin::res::IDC_BROWSE);
            const qsizetype before = recordedMessages.shown.size();
            out() << "Uploading " << samplePath << " to "
                  << dlg.listItem(quorin::res::IDC_BOARD_LIST, i) << "\n";
            out().flush();
            quorin::testing::click(dlg, quorin::res::IDC_UPLOAD);
            if (!quorin::tools::waitFor([&] { return recordedMessages.shown.size() > before; },
                                        kUploadWaitMs))
                status = 1;
            break;
        }
        for (const QString& m : recordedMessages.shown) out() << "Message: " << m << "\n";
        if (theApp.core().board_count() == 0) status = 1;
        dlg.close();
    });
    app.InitInstance();
    sim.stop();
    return status;
}
