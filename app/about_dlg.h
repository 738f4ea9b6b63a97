// The about box: dialog template 100 with the window icon, two lines of text and "OK", which
// closes it. Run modally from the main window's about command.
#pragma once

#include "platform/dialog.h"

namespace quorin {

class CAboutDlg : public platform::Dialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace quorin
