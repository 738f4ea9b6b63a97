// Where the Boards window is opened: an item of the main window's menu (the one that holds the
// about item), after it, and its keyboard shortcut.
#pragma once

#include <QAction>
#include <QKeySequence>

#include "boards/boards_window.h"

namespace quorin {
class CQuorinConfigToolApp;
class CQuorinConfigToolDlg;
}  // namespace quorin

namespace quorin::boards {

inline const QKeySequence kBoardsShortcut{Qt::CTRL | Qt::Key_B};

// Appends the Boards item to `main`'s menu. The window is made on its first opening (with
// `options` and `files`); each opening shows it, raised, and searches when it is idle. "Show in
// main window" shows the board in `main`. The window also reads what `app`'s legacy socket
// reads (the legacy boards answer to the port that socket holds). The item's window:
// boards_window(main) after that.
QAction* add_boards_menu_item(CQuorinConfigToolApp& app, CQuorinConfigToolDlg& main,
                              cli::CommonOptions options, BoardsFiles files);
// The Boards window `main`'s item has opened; null before the first opening.
BoardsWindow* boards_window(const CQuorinConfigToolDlg& main);

// For when the main window has ended: a run of the Boards window that still runs is stopped as
// its Stop button stops it (running transfers finish, the outstanding set replies are awaited)
// and waited for, the window showing it, so that no transfer is cut off when the tool ends.
// Returns at once when nothing runs.
void finish_runs(const CQuorinConfigToolDlg& main);

}  // namespace quorin::boards
