// QuorinConfigTool: finds the serial-to-Ethernet boards on the LAN and configures them.
#include <QApplication>

#include "app/quorin_config_tool_app.h"
#include "boards/boards_menu.h"
#include "platform/platform_services.h"
#include "res/version.h"
#include "ui/quorin_config_tool_dlg.h"

int main(int argc, char* argv[]) {
    QApplication qt(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(QUORIN_VERSION));
    // Lets the desktop match the window to its entry (and icon) where the window system asks the
    // application for it (Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORIN_APP_ID));
    quorin::platform::QtMessageBoxes messages;
    quorin::CQuorinConfigToolApp app(messages);
    app.setMainWindowRunner([&messages](quorin::CQuorinConfigToolApp& theApp) {
        quorin::platform::QtWindowTimers timers;
        quorin::platform::QtFileChooser files;
        quorin::CQuorinConfigToolDlg dlg(theApp, {timers, files});
        messages.setParent(&dlg);
        dlg.OnInitDialog();
        // The Boards window searches every interface. The main window holds the legacy port:
        // the Boards window's legacy requests leave from a port of their own, and it reads the
        // answers the boards send to the legacy port from the main window's socket.
        quorin::cli::CommonOptions boards;
        boards.link.legacy_local_port = 0;
        quorin::boards::add_boards_menu_item(theApp, dlg, boards,
                                             quorin::boards::BoardsFiles::dialogs());
        dlg.exec();
        quorin::boards::finish_runs(dlg);
        messages.setParent(nullptr);
    });
    app.InitInstance();
    return 0;
}
