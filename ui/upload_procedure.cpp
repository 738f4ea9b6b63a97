// The window's face of the firmware upload procedure (protocol/upload_procedure.h): the browse
// command, the Upload and aging buttons, the timers, the progress bar, the message boxes, the log
// lines and the count in the title. What happens when is the procedure's; this file only carries
// its actions out and words its outcomes. The transfers run in upload/.
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>

#include "app/quorin_config_tool_app.h"
#include "fleet/manifest.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "settings/display_rules.h"
#include "settings/field_catalogue.h"
#include "ui/quorin_config_tool_dlg.h"
#include "ui/ui_text.h"
#include "upload/upload_sock.h"
#include "upload/upload_worker.h"

namespace quorin {

using namespace res;

namespace {

// Where the "UPLOAD AGING" button goes when it is revealed, in dialog units: the template's
// 8 x 6 button could not show its caption. Below the channel area, right-aligned with Exit.
constexpr int kAgingButtonX = 402, kAgingButtonY = 344, kAgingButtonW = 64, kAgingButtonH = 14;

constexpr int kGuardSeconds = uploadtimer::kUploadGuardMs / 1000;

QHostAddress host_address(const Ip4& ip) {
    return QHostAddress(QString::fromStdString(display::dotted(ip)));
}

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
    if (upload_.running()) return;  // one upload at a time
    UploadStart facts;
    facts.image_chosen = !app_.image_path.isEmpty();
    if (facts.image_chosen) {
        QFile file(app_.image_path);
        facts.image_readable = file.open(QIODevice::ReadOnly);
        if (facts.image_readable) facts.image_size = static_cast<std::uint64_t>(file.size());
    }
    facts.board_selected = listCurSel(IDC_BOARD_LIST) >= 0;
    if (facts.image_readable && facts.board_selected) {
        if (const std::optional<QString> refusal = manifestRefusal()) {
            showMessage(*refusal);
            return;
        }
    }
    carryOut(upload_.start(facts));
    if (upload_.running()) enable(IDC_UPLOAD, false);
}

void CQuorinConfigToolDlg::OnUploadReply() {
    carryOut(upload_.upload_reply());
}

void CQuorinConfigToolDlg::OnUploadDone() {
    carryOut(upload_.upload_done());
}

void CQuorinConfigToolDlg::OnTimer(int id) {
    if (upload_sock_->OnTimer(id)) return;
    carryOut(upload_.timer_expired(id, selectedBoardIp()));
}

void CQuorinConfigToolDlg::OnUploadAging() {
    carryOut(upload_.begin_aging());
}

bool CQuorinConfigToolDlg::otherExchangeMayStart() {
    if (upload_.blocks_other_exchange()) {
        showMessage(ui_text(text::kUploadBusy));
        return false;
    }
    carryOut(upload_.other_exchange());
    return true;
}

std::optional<QString> CQuorinConfigToolDlg::manifestRefusal() const {
    const QString path = app_.image_path + QStringLiteral(".json");
    if (!QFileInfo::exists(path)) return std::nullopt;
    const auto refused = [&](const QString& why) {
        return std::optional<QString>(ui_text(text::kManifestRefusesUpload).arg(path, why));
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return refused(file.errorString());
    const QByteArray text = file.read(static_cast<qint64>(fleet::kMaxManifestBytes) + 1);
    const auto manifest = fleet::read_manifest(std::string_view(text.constData(), text.size()));
    if (!manifest.value) return refused(QString::fromStdString(manifest.error));
    QFile image(app_.image_path);
    QCryptographicHash sha256(QCryptographicHash::Sha256);
    if (!image.open(QIODevice::ReadOnly) || !sha256.addData(&image) ||
        !fleet::digest_matches(*manifest.value, sha256.result().toHex().toStdString())) {
        return refused(ui_text(text::kManifestOtherImage));
    }
    const int selected = listCurSel(IDC_BOARD_LIST);
    if (selected < 0 || selected >= app_.core().board_count()) return std::nullopt;
    const BoardRow& row = app_.core().board(selected);
    const auto firmware = settings::field_of(row, "firmware_version");
    // The window installs what the operator chose: a board already at the version takes it again.
    fleet::ManifestOverrides overrides;
    overrides.reinstall = true;
    const fleet::ManifestVerdict verdict =
        fleet::judge_board(*manifest.value, settings::model_label(row),
                           firmware ? firmware->value : std::string(), overrides);
    if (verdict.kind == fleet::ManifestVerdict::Refuse) {
        return refused(QString::fromStdString(verdict.reason));
    }
    return std::nullopt;
}

std::optional<Ip4> CQuorinConfigToolDlg::selectedBoardIp() const {
    const int selected = listCurSel(IDC_BOARD_LIST);
    if (selected < 0 || selected >= app_.core().board_count()) return std::nullopt;
    return app_.core().board(selected).local_ip;
}

// --- what the procedure decided ----------------------------------------------------------------

void CQuorinConfigToolDlg::carryOut(const UploadActions& actions) {
    for (const UploadAction& a : actions) {
        switch (a.kind) {
            case UploadAction::Collect:
                // Its outcome does not stop the upload: the MAC address and product code, which
                // the request needs, are written before any check can fail.
                CollectSettings();
                app_.TakeHostTag();
                carryOut(upload_.collected());
                break;
            case UploadAction::Send:
                app_.SendDatagrams(a.datagrams);
                break;
            case UploadAction::ArmTimer:
                services_.timers.SetTimer(a.timer, a.value);
                break;
            case UploadAction::StopTimer:
                services_.timers.KillTimer(a.timer);
                break;
            case UploadAction::StartTransfer:
                if (a.transfer == TransferKind::Streamed) {
                    upload_worker_->start(host_address(a.address), app_.target().stream_port,
                                          app_.image_path);
                } else {
                    upload_sock_->start(host_address(a.address), app_.target().upload_port,
                                        app_.image_path);
                }
                break;
            case UploadAction::StopTransfer:
                upload_sock_->stop();
                upload_worker_->stop();
                break;
            case UploadAction::ProgressStep:
                progressStep(IDC_PROGRESS);
                break;
            case UploadAction::ProgressPos:
                progressSetPos(IDC_PROGRESS, a.value);
                break;
            case UploadAction::Log:
                app_.AppendLog(a.text);
                break;
            case UploadAction::UploadError:
                showMessage(ui_text(text::kUploadError));
                break;
            case UploadAction::LateReport:
                showMessage(ui_text(text::kUploadLateReport));
                break;
            case UploadAction::RunUpload:
                OnUpload();
                break;
            case UploadAction::AgingCount:
                if (a.counted) {
                    app_.AppendLog(
                        ui_text(text::kLogAgingCycle).arg(a.value).arg(a.limit).toStdString());
                }
                showAgingCount(a.value, a.limit);
                break;
            case UploadAction::AgingOver:
                app_.AppendLog((a.counted
                                    ? ui_text(text::kLogAgingFinished).arg(a.value)
                                    : ui_text(text::kLogAgingStopped).arg(a.value).arg(a.limit))
                                   .toStdString());
                showAgingCount(a.value, a.limit);
                break;
            case UploadAction::Ended:
                uploadEnded(a);
                break;
        }
    }
}

void CQuorinConfigToolDlg::uploadEnded(const UploadAction& ended) {
    switch (ended.outcome) {
        case UploadOutcome::Completed:
            if (ended.transfer == TransferKind::Streamed) {
                showMessage(ui_text(text::kUploadCompletedLegacy));
            } else if (upload_.aging().running()) {
                // An aging series reports each cycle in the log: a box per cycle would pile up.
                app_.AppendLog(text::kUploadCompletedMain);
            } else {
                showMessage(ui_text(text::kUploadCompletedMain));
            }
            enable(IDC_UPLOAD, true);
            return;
        case UploadOutcome::NoImage:
            showMessage(ui_text(text::kFileNotSelected));
            return;
        case UploadOutcome::ImageUnopenable:
            showMessage(ui_text(text::kFileCouldNotOpen));
            return;
        case UploadOutcome::ImageEmpty:
            showMessage(ui_text(text::kImageEmpty));
            return;
        case UploadOutcome::NoBoard:
        case UploadOutcome::AddressInvalid:
            // The Upload button stays disabled until a board is shown again.
            showMessage(ui_text(text::kBoardAddressInvalid));
            return;
        case UploadOutcome::NoReply:
        case UploadOutcome::NoReport:
            if (listCurSel(IDC_BOARD_LIST) >= 0) enable(IDC_UPLOAD, true);
            showMessage(ui_text(ended.outcome == UploadOutcome::NoReply ? text::kNoUploadReply
                                                                        : text::kNoUploadComplete)
                            .arg(kGuardSeconds));
            return;
        case UploadOutcome::Abandoned:
            if (listCurSel(IDC_BOARD_LIST) >= 0) enable(IDC_UPLOAD, true);
            showMessage(ui_text(text::kUploadAbandoned));
            return;
        case UploadOutcome::RequestNotSent:  // the window sends as the system lets it
        case UploadOutcome::TransferFailed:  // the transfer has said why
        case UploadOutcome::Stopped:
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

void CQuorinConfigToolDlg::transferSentWhole(TransferKind kind) {
    carryOut(upload_.transfer_sent_whole(kind));
}

void CQuorinConfigToolDlg::transferEnded(TransferKind kind, TransferOutcome outcome) {
    carryOut(upload_.transfer_ended(kind, outcome));
}

// --- aging test --------------------------------------------------------------------------------

void CQuorinConfigToolDlg::showAgingCount(int count, int limit) {
    setWindowTitle(
        ui_text(text::kAgingTitle).arg(ui_text(text::kMainCaption)).arg(count).arg(limit));
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
