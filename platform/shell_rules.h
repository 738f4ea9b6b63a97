// The shell's small rules around the main window: the about command of the system menu, the
// placement of the minimised window's icon and the window icon itself.
#pragma once

#include <QIcon>
#include <QPoint>
#include <functional>

class QAction;
class QWidget;

namespace quorin::platform {

// True for the about command: a system command whose value masked with 0xFFF0 is 16, so the low
// four bits (17 to 31) do not matter.
bool is_about_command(int command);

// Top-left corner of the icon drawn centred in a minimised window's client area:
// ((client - icon + 1) / 2) on each axis, the division truncating toward zero.
QPoint minimized_icon_origin(int client_w, int client_h, int icon_w, int icon_h);

// Stands in for the system menu: appends to `window`'s context menu a separator and the about
// item, whose text is string 101 ("&A" is its mnemonic), and whose activation calls
// `on_command` with the about command (16). Adds nothing and returns nullptr when string 101 is
// empty; otherwise returns the item.
QAction* add_about_menu_item(QWidget* window, std::function<void(int)> on_command);

// The window icon (icon 128), built into the platform library.
QIcon app_icon();

}  // namespace quorin::platform
