#include "app/about_dlg.h"

#include "res/dialog_template.h"

namespace quorin {

// "OK" (IDOK) has no handler of its own: the dialog's default command handling accepts and so
// closes the box.
CAboutDlg::CAboutDlg(QWidget* parent) : platform::Dialog(res::about_template(), parent) {}

}  // namespace quorin
