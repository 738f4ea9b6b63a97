// The window's firmware upload procedure: the browse and Upload commands, the upload reply and
// the start-transfer message, the timer handler, what the window shows during and after an
// upload, the end of an upload, and the aging test. The transfers themselves run in upload/.
#include <QByteArray>
#include <QFile>
#include <QHostAddress>

#include "app/quorin_config_tool_app.h"
#include "protocol/record_codec.h"
#include "protocol/upload_transfer.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "settings/display_rules.h"
#include "ui/quorin_config_tool_dlg.h"
#include "ui/ui_text.h"
#include "upload/upload_sock.h"
#include "upload/upload_worker.h"

namespace quorin {

using namespace res;
using namespace upload_rules;

namespace {

// Where the "UPLOAD AGING" button goes when it is revealed, in dialog units: the template's
// 8 x 6 button could not show its caption. Below the channel area, right-aligned with Exit.
constexpr int kAgingButtonX = 402, kAgingButtonY = 344, kAgingButtonW = 64, kAgingButtonH = 14;

constexpr int kGuardSeconds = kUploadGuardMs / 1000;

}  // namespace

// --- commands ----------------------------------------------------------------------------------

void CQuorinConfigToolDlg::OnBrowse() {
    const std::optional<QString> chosen =
        services_.files.chooseOpenFile(this, ui_text(text::kImageFileFilter));
    if (!chosen) return;
    // File names are case-sensitive here: the image is opened by the path as chosen, and only
    // the edit shows it lower-cased. Text typed into the edit is never read.
    app_.image_path = *chosen;
    setText(IDC_FILENAME, chosen->toLower());
}

void CQuorinConfigToolDlg::OnUpload() {
    if (upload_ != Procedure::None) return;  // one upload at a time
    if (app_.image_path.isEmpty()) {
        showMessage(ui_text(text::kFileNotSelected));
        return;
    }
    if (QFile file(app_.image_path); !file.open(QIODevice::ReadOnly)) {
        showMessage(ui_text(text::kFileCouldNotOpen));
        return;
    }
    // Without a selected board the collection would leave the previous board's record.
    if (listCurSel(IDC_BOARD_LIST) < 0) {
        showMessage(ui_text(text::kBoardAddressInvalid));
        return;
    }
    // Its outcome does not stop the upload: the MAC address and product code, which the request
    // needs, are written before any check can fail.
    CollectSettings();

    // Timer 10 must not report the failure of an earlier streamed transfer.
    upload_worker_->resetStatus();
    const bool legacy = uses_legacy_protocol(app_.core().working.product_code);
    app_.SendData(OPCODE_UPLOAD_REQUEST);
    app_.core().operation_state = opstate::kUploadRequested;
    enable(IDC_UPLOAD, false);
    app_.AppendLog(text::kLogUploadRequest);
    if (legacy) {
        // Legacy boards do not answer: the transfer starts after a fixed wait.
        upload_ = Procedure::Streamed;
        services_.timers.SetTimer(kStreamStartTimer, kStreamStartMs);
    } else {
        upload_ = Procedure::Acknowledged;
        guard_ = GuardedWait::UploadReply;
        services_.timers.SetTimer(kUploadGuardTimer, kUploadGuardMs);
    }
}

void CQuorinConfigToolDlg::OnUploadReply() {
    app_.core().operation_state = opstate::kUploadReplyReceived;
    if (upload_ != Procedure::Acknowledged) return;  // no upload of this window awaits it
    services_.timers.KillTimer(kUploadGuardTimer);
    services_.timers.SetTimer(kStartDelayTimer, kStartDelayMs);
    services_.timers.SetTimer(kUploadWatchTimer, kUploadWatchMs);
}

void CQuorinConfigToolDlg::OnStartTransfer() {
    if (upload_ != Procedure::Acknowledged) return;
    const auto address = selectedTransferAddress();
    if (!address) {
        upload_sock_->stop();  // the acknowledged transfer stays idle
        uploadFinished(false);
        showMessage(ui_text(text::kBoardAddressInvalid));
        return;
    }
    upload_sock_->start(QHostAddress(QString::fromStdString(display::dotted(*address))),
                        app_.target().upload_port, app_.image_path);
}

void CQuorinConfigToolDlg::OnUploadDone() {
    services_.timers.KillTimer(kUploadGuardTimer);
    app_.core().operation_state = opstate::kUploadCompleted;
    uploadFinished(true);
    // An aging series reports each cycle in the log: a message box per cycle would pile up.
    if (aging_.running()) {
        app_.AppendLog(text::kUploadCompletedMain);
    } else {
        showMessage(ui_text(text::kUploadCompletedMain));
    }
    enable(IDC_UPLOAD, true);
}

std::optional<std::array<std::uint8_t, 4>> CQuorinConfigToolDlg::selectedTransferAddress() {
    const int selected = listCurSel(IDC_BOARD_LIST);
    std::optional<std::array<std::uint8_t, 4>> ip;
    if (selected >= 0 && selected < app_.core().board_count()) {
        ip = app_.core().board(selected).local_ip;
        app_.AppendLog(display::dotted(*ip));  // the board address text
    }
    return transfer_address(ip);
}

// --- timers ------------------------------------------------------------------------------------

void CQuorinConfigToolDlg::OnTimer(int id) {
    if (upload_sock_->OnTimer(id) || upload_worker_->OnTimer(id)) return;
    switch (id) {
        case kAgingRestartTimer:
            if (!aging_.running()) return;
            if (upload_ != Procedure::None) {
                // The previous upload has not ended yet (its completion report is awaited): try
                // again later rather than start over it.
                services_.timers.SetTimer(kAgingRestartTimer, kAgingRestartMs);
                return;
            }
            OnUpload();
            if (upload_ == Procedure::None) endAgingSeries();  // the upload could not start
            return;
        case kUploadWatchTimer: {
            const int status = upload_worker_->status();
            if (status == streamstatus::kRunning) {
                services_.timers.SetTimer(kUploadWatchTimer, kUploadWatchMs);
            } else if (status == streamstatus::kFailed) {
                showMessage(ui_text(text::kUploadError));
            }
            return;
        }
        case kStartDelayTimer:
            services_.poster.PostMessage(kStartTransferMessage);
            return;
        case kStreamStartTimer: {
            if (upload_ != Procedure::Streamed) return;
            const auto address = selectedTransferAddress();
            if (!address) {
                app_.core().operation_state = opstate::kIdle;
                uploadFinished(false);
                showMessage(ui_text(text::kBoardAddressInvalid));
                return;
            }
            upload_worker_->start(QHostAddress(QString::fromStdString(display::dotted(*address))),
                                  app_.target().stream_port, app_.image_path);
            return;
        }
        case kUploadGuardTimer: {
            if (upload_ != Procedure::Acknowledged) return;
            const std::string_view text =
                guard_ == GuardedWait::UploadReply ? text::kNoUploadReply : text::kNoUploadComplete;
            // Nothing late from the board is taken for this upload any more.
            const int state = app_.core().operation_state;
            if (state == opstate::kUploadRequested || state == opstate::kUploadReplyReceived ||
                state == opstate::kUploadCompleteAwaited)
                app_.core().operation_state = opstate::kIdle;
            upload_sock_->stop();
            services_.timers.KillTimer(kStartDelayTimer);
            uploadFinished(false);
            if (listCurSel(IDC_BOARD_LIST) >= 0) enable(IDC_UPLOAD, true);
            showMessage(ui_text(text).arg(kGuardSeconds));
            return;
        }
        default:
            return;
    }
}

// --- what the transfers show and report --------------------------------------------------------

void CQuorinConfigToolDlg::setProgressRange(int upper) {
    progressSetRange(IDC_PROGRESS, 0, upper);
}

void CQuorinConfigToolDlg::setProgressStepSize(int step) {
    progressSetStep(IDC_PROGRESS, step);
}

void CQuorinConfigToolDlg::stepProgress() {
    progressStep(IDC_PROGRESS);
}

void CQuorinConfigToolDlg::setProgressPosition(int pos) {
    progressSetPos(IDC_PROGRESS, pos);
}

void CQuorinConfigToolDlg::showMessage(const QString& text) {
    app_.messages().show(text);
}

void CQuorinConfigToolDlg::appendLog(const QString& line) {
    const QByteArray utf8 = line.toUtf8();
    app_.AppendLog(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

void CQuorinConfigToolDlg::setOperationState(int state) {
    app_.core().operation_state = state;
}

void CQuorinConfigToolDlg::transferEnded(TransferKind kind, bool succeeded) {
    if (!succeeded) {
        // The Upload button stays disabled until a board is shown again.
        uploadFinished(false);
        return;
    }
    if (kind == TransferKind::Streamed) {
        enable(IDC_UPLOAD, true);
        uploadFinished(true);
        endAgingSeries();  // a streamed transfer never counts as a cycle
        return;
    }
    // The board has acknowledged the last block; its upload-complete report follows over UDP.
    guard_ = GuardedWait::CompleteReport;
    services_.timers.SetTimer(kUploadGuardTimer, kUploadGuardMs);
    const AgingSeries::Step step = aging_.transfer_finished();
    if (step.counted) {
        app_.AppendLog(
            ui_text(text::kLogAgingCycle).arg(aging_.count()).arg(aging_.limit()).toStdString());
        services_.timers.SetTimer(kAgingRestartTimer, kAgingRestartMs);
    }
    if (step.over) {
        app_.AppendLog(ui_text(text::kLogAgingFinished).arg(aging_.count()).toStdString());
    }
    if (step.counted || step.over) showAgingCount();
}

void CQuorinConfigToolDlg::uploadFinished(bool succeeded) {
    upload_ = Procedure::None;
    services_.timers.KillTimer(kUploadGuardTimer);
    if (!succeeded) endAgingSeries();
}

// --- aging test --------------------------------------------------------------------------------

void CQuorinConfigToolDlg::OnUploadAging() {
    if (!aging_.begin()) return;  // a series runs already
    services_.timers.SetTimer(kAgingRestartTimer, kAgingRestartMs);
    showAgingCount();
}

void CQuorinConfigToolDlg::endAgingSeries() {
    if (!aging_.failed()) return;
    services_.timers.KillTimer(kAgingRestartTimer);
    app_.AppendLog(
        ui_text(text::kLogAgingStopped).arg(aging_.count()).arg(aging_.limit()).toStdString());
    showAgingCount();
}

void CQuorinConfigToolDlg::showAgingCount() {
    setWindowTitle(ui_text(text::kAgingTitle)
                       .arg(ui_text(text::kMainCaption))
                       .arg(aging_.count())
                       .arg(aging_.limit()));
}

void CQuorinConfigToolDlg::ToggleAgingButton() {
    const bool reveal = !isShown(IDC_UPLOAD_AGING);
    if (reveal) {
        if (QWidget* button = control(IDC_UPLOAD_AGING))
            button->setGeometry(
                mapDialogRect(kAgingButtonX, kAgingButtonY, kAgingButtonW, kAgingButtonH));
        app_.AppendLog(text::kLogAgingRevealed);
    }
    show(IDC_UPLOAD_AGING, reveal);
    enable(IDC_UPLOAD_AGING, reveal);
}

}  // namespace quorin
