#include "log/log_dlg.h"

#include "res/dialog_template.h"
#include "res/resource_ids.h"

namespace quorin {

CLogDlg::CLogDlg(QWidget* parent) : platform::Dialog(res::log_template(), parent) {
    setModal(false);
}

CLogDlg::~CLogDlg() = default;

void CLogDlg::AppendLine(const QString& line) {
    if (destroyed_) return;
    listAppend(res::IDC_LOG_LIST, line);
}

QStringList CLogDlg::lines() const {
    return listItems(res::IDC_LOG_LIST);
}

void CLogDlg::OnOK() {
    // The window has nothing to hand over and nothing is saved: it is simply destroyed. The object
    // goes once control returns to the event loop, so a caller still inside a handler of this
    // window is safe; until then AppendLine drops lines.
    if (destroyed_) return;
    destroyed_ = true;
    hide();
    deleteLater();
}

void CLogDlg::OnCancel() {
    // A modeless dialog's cancel only hides it; it keeps its list and keeps receiving lines.
    platform::Dialog::reject();
}

}  // namespace quorin
