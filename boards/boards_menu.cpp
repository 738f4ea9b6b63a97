#include "boards/boards_menu.h"

#include <QEventLoop>
#include <QPointer>

#include "app/quorin_config_tool_app.h"
#include "cli/command_support.h"
#include "res/boards_texts.h"
#include "ui/quorin_config_tool_dlg.h"

namespace quorin::boards {
namespace {

constexpr const char* kWindowName = "boardsWindow";

}  // namespace

QAction* add_boards_menu_item(CQuorinConfigToolApp& app, CQuorinConfigToolDlg& main,
                              cli::CommonOptions options, BoardsFiles files) {
    auto* item = new QAction(cli::qs(text::boards::kMenuItem), &main);
    item->setObjectName(QStringLiteral("boardsMenuItem"));
    item->setShortcut(kBoardsShortcut);
    item->setShortcutContext(Qt::WindowShortcut);
    main.setContextMenuPolicy(Qt::ActionsContextMenu);
    main.addAction(item);
    QObject::connect(item, &QAction::triggered, &main, [&app, &main, options, files] {
        BoardsWindow* window = boards_window(main);
        if (window == nullptr) {
            window = new BoardsWindow(
                options, files, [&main](const BoardRow& row) { main.ShowBoard(row); }, &main);
            window->setObjectName(QLatin1String(kWindowName));
            app.setLegacyTap([controller = &window->controller()](std::span<const std::uint8_t> d) {
                controller->take_legacy(d);
            });
            QObject::connect(window, &QObject::destroyed, &app, [&app] { app.setLegacyTap({}); });
        }
        window->show();
        window->raise();
        window->activateWindow();
        if (!window->controller().busy()) window->openAndSearch();
    });
    return item;
}

BoardsWindow* boards_window(const CQuorinConfigToolDlg& main) {
    return main.findChild<BoardsWindow*>(QLatin1String(kWindowName), Qt::FindDirectChildrenOnly);
}

void finish_runs(const CQuorinConfigToolDlg& main) {
    BoardsWindow* window = boards_window(main);
    if (window == nullptr) return;
    FleetController& c = window->controller();
    const auto running = [&c] {
        return c.running() == FleetController::Run::Applying ||
               c.running() == FleetController::Run::Upgrading;
    };
    if (!running()) return;
    window->show();
    window->raise();
    c.stop();
    QEventLoop loop;
    const auto connection = QObject::connect(&c, &FleetController::runChanged, &loop, [&] {
        if (!running()) loop.quit();
    });
    if (running()) loop.exec();
    QObject::disconnect(connection);
}

}  // namespace quorin::boards
