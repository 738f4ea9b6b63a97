#include "log/log_dlg.h"

#include "res/dialog_template.h"
#include "res/resource_ids.h"
#include "res/texts.h"

namespace quorin {

CLogDlg::CLogDlg(QWidget* parent) : platform::Dialog(res::log_template(), parent) {
    setModal(false);
}

CLogDlg::~CLogDlg() = default;

void CLogDlg::AppendLine(const QString& line) {
    if (destroyed_) return;
    listAppend(res::IDC_LOG_LIST, line);
    if (listCount(res::IDC_LOG_LIST) <= kLineLimit) return;
    // Full: the oldest kDropBatch lines go in one removal. The first line of the list says how
    // many have gone; the first time, the oldest line itself becomes that line.
    const bool first_time = dropped_ == 0;
    listDelete(res::IDC_LOG_LIST, 1, first_time ? kDropBatch - 1 : kDropBatch);
    dropped_ += kDropBatch;
    const std::string_view notice = text::kLogOlderLinesDropped;
    listSetItemText(res::IDC_LOG_LIST, 0,
                    QString::fromUtf8(notice.data(), static_cast<qsizetype>(notice.size()))
                        .arg(dropped_)
                        .arg(kLineLimit));
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
