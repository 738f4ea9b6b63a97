#include "cli/upload_view.h"

#include <algorithm>

#include "cli/command_support.h"
#include "cli/upload_run.h"
#include "protocol/upload_procedure.h"
#include "res/cli_texts.h"

namespace quorin::cli {
namespace {

namespace T = text::cli;
using Phase = BoardUpload::Phase;

constexpr int kBarCells = 16;
constexpr int kPlainPercentStep = 25;

// The window's messages are made for a box: one line here.
QString one_line(const QStringList& messages) {
    QString text = messages.join(QStringLiteral("; "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

}  // namespace

int upload_percent(const BoardUpload& upload) {
    switch (upload.phase()) {
        case Phase::AwaitingReport:
        case Phase::Done:
            return 100;
        case Phase::Sending:
        case Phase::Finishing:
        case Phase::Failed:
            if (upload.progressRange() <= 0) return 0;
            return std::clamp(upload.progressPosition() * 100 / upload.progressRange(), 0, 100);
        default:
            return 0;
    }
}

QString upload_status(const BoardUpload& upload, bool plain) {
    switch (upload.phase()) {
        case Phase::Waiting:
            return qs(T::kUploadWaiting);
        case Phase::Requested:
            return qs(T::kUploadRequested);
        case Phase::Accepted:
            return qs(T::kUploadAccepted).arg(uploadtimer::kStartDelayMs);
        case Phase::Starting:
            return qs(T::kUploadStarting).arg(uploadtimer::kStreamStartMs);
        case Phase::Sending:
            if (!plain) return qs(T::kUploadSending);
            return qs(T::kUploadSendingPercent)
                .arg(upload_percent(upload) / kPlainPercentStep * kPlainPercentStep);
        case Phase::Finishing:
            return qs(T::kUploadFinishing);
        case Phase::AwaitingReport:
            return qs(T::kUploadAwaitingReport);
        case Phase::Done:
            return qs(T::kUploadDone).arg(one_line(upload.messages()));
        case Phase::Failed:
            return qs(T::kUploadFailed).arg(one_line(upload.messages()));
    }
    return {};
}

QString board_status(const UploadRun& run, std::size_t board, bool plain) {
    using R = fleet::RolloutResult;
    const fleet::Rollout& r = run.rollout();
    const BoardUpload& u = run.upload(board);
    const QString firmware = qs(r.firmware_after(board));
    switch (r.result(board)) {
        case R::Pending:
            if (r.verifying(board)) return qs(T::kUploadVerifying).arg(one_line(u.messages()));
            return upload_status(u, plain);
        case R::Verified:
            return qs(T::kUploadVerified).arg(firmware);
        case R::OtherFirmware:
            if (run.options().version.empty())
                return qs(T::kUploadOtherFirmwareUnknown).arg(firmware);
            return qs(T::kUploadOtherFirmware).arg(firmware, qs(run.options().version));
        case R::SettingsChanged: {
            QStringList changes;
            for (const fleet::Change& c : r.changes(board))
                changes << qs(c.field) + ": " + qs(c.now) + " -> " + qs(c.wanted);
            return qs(T::kUploadSettingsChanged).arg(firmware, changes.join(", "));
        }
        case R::NotBack:
            return qs(T::kUploadNotBack).arg(run.options().verify_timeout_ms / 1000);
        case R::Failed:
            return upload_status(u, plain);
        case R::Interrupted:
            return qs(run.cut_off(board) ? T::kUploadCutOff : T::kUploadStoppedEarly);
        case R::Unverified:
            return qs(T::kUploadUnverified).arg(one_line(u.messages()));
        case R::NotStarted:
            switch (r.why_not_started(board)) {
                case fleet::NotStartedWhy::CanaryFailed:
                    return qs(T::kNotStartedCanary);
                case fleet::NotStartedWhy::TooManyFailures:
                    return qs(T::kNotStartedFailures).arg(r.failures());
                case fleet::NotStartedWhy::Interrupted:
                case fleet::NotStartedWhy::None:
                    break;
            }
            return qs(T::kNotStartedInterrupted);
    }
    return {};
}

int board_percent(const UploadRun& run, std::size_t board) {
    using R = fleet::RolloutResult;
    const R result = run.rollout().result(board);
    if (result == R::NotStarted) return 0;
    if (run.rollout().verifying(board) ||
        (result != R::Pending && result != R::Failed && result != R::Interrupted))
        return 100;
    return upload_percent(run.upload(board));
}

QString upload_label(const BoardUpload& upload) {
    return mac_of(upload.board().row) + QLatin1Char(' ') +
           address_of(upload.board().row.local_ip).toString();
}

QString progress_line(const QString& label, int percent, const QString& status, int columns) {
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * kBarCells / 100;
    const QString line = QStringLiteral("%1  [%2%3] %4%  %5")
                             .arg(label)
                             .arg(QString(filled, QLatin1Char('#')))
                             .arg(QString(kBarCells - filled, QLatin1Char('.')))
                             .arg(percent, 3)
                             .arg(status);
    return line.left(std::max(1, columns - 1));
}

UploadView::UploadView(QTextStream& out, const UploadRun& run, bool terminal, int columns)
    : out_(out), run_(run), terminal_(terminal), columns_(columns), last_(run.size()) {
    for (std::size_t i = 0; i < run_.size(); ++i)
        label_width_ = std::max(label_width_, upload_label(run_.upload(i)).size());
    redraw_timer_.setSingleShot(true);
    redraw_timer_.setInterval(kRedrawMs);
    QObject::connect(&redraw_timer_, &QTimer::timeout, [this] { redraw(); });
    if (terminal_) redraw();
}

void UploadView::changed(std::size_t index) {
    if (terminal_) {
        if (!redraw_timer_.isActive()) redraw_timer_.start();
        return;
    }
    const BoardUpload& u = run_.upload(index);
    Written& last = last_.at(index);
    const Written now{u.phase(), run_.rollout().result(index), run_.rollout().verifying(index),
                      upload_percent(u) / kPlainPercentStep * kPlainPercentStep};
    const bool same =
        now.phase == last.phase && now.result == last.result && now.verifying == last.verifying;
    if (same && (now.phase != Phase::Sending || now.percent <= last.percent)) return;
    last = now;
    out_ << upload_label(u) << ": " << board_status(run_, index, true) << '\n';
    out_.flush();
}

void UploadView::redraw() {
    // Back to the first bar, then every bar again over the old ones.
    if (drawn_ > 0) out_ << "\r\x1b[" << drawn_ << 'A';
    // The bars name boards by MAC alone, leaving room for the status on a narrow terminal.
    for (std::size_t i = 0; i < run_.size(); ++i) {
        out_ << "\x1b[2K"
             << progress_line(mac_of(run_.upload(i).board().row), board_percent(run_, i),
                              board_status(run_, i, false), columns_)
             << '\n';
    }
    drawn_ = static_cast<int>(run_.size());
    out_.flush();
}

void UploadView::finish() {
    if (terminal_) {
        redraw_timer_.stop();
        redraw();
    }
    std::size_t verified = 0;
    out_ << qs(T::kUploadSummaryHeading) << '\n';
    for (std::size_t i = 0; i < run_.size(); ++i) {
        if (run_.rollout().result(i) == fleet::RolloutResult::Verified) ++verified;
        out_ << "  " << upload_label(run_.upload(i)).leftJustified(label_width_) << "  "
             << board_status(run_, i, false) << '\n';
    }
    out_ << qs(T::kUploadSummary).arg(verified).arg(run_.size()) << '\n';
    out_.flush();
}

}  // namespace quorin::cli
