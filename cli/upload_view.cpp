#include "cli/upload_view.h"

#include <algorithm>

#include "cli/command_support.h"
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

UploadView::UploadView(QTextStream& out, std::vector<const BoardUpload*> uploads, bool terminal,
                       int columns)
    : out_(out),
      uploads_(std::move(uploads)),
      terminal_(terminal),
      columns_(columns),
      last_(uploads_.size()) {
    for (const BoardUpload* u : uploads_)
        label_width_ = std::max(label_width_, upload_label(*u).size());
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
    const BoardUpload& u = *uploads_.at(index);
    Written& last = last_.at(index);
    const BoardUpload::Phase phase = u.phase();
    const int percent = upload_percent(u) / kPlainPercentStep * kPlainPercentStep;
    if (phase == last.phase && (phase != Phase::Sending || percent <= last.percent)) return;
    last = {phase, percent};
    out_ << upload_label(u) << ": " << upload_status(u, true) << '\n';
    out_.flush();
}

void UploadView::redraw() {
    // Back to the first bar, then every bar again over the old ones.
    if (drawn_ > 0) out_ << "\r\x1b[" << drawn_ << 'A';
    // The bars name boards by MAC alone, leaving room for the status on a narrow terminal.
    for (const BoardUpload* u : uploads_) {
        out_ << "\x1b[2K"
             << progress_line(mac_of(u->board().row), upload_percent(*u), upload_status(*u, false),
                              columns_)
             << '\n';
    }
    drawn_ = static_cast<int>(uploads_.size());
    out_.flush();
}

void UploadView::finish() {
    if (terminal_) {
        redraw_timer_.stop();
        redraw();
    }
    std::size_t done = 0;
    out_ << qs(T::kUploadSummaryHeading) << '\n';
    for (const BoardUpload* u : uploads_) {
        if (u->phase() == Phase::Done) ++done;
        out_ << "  " << upload_label(*u).leftJustified(label_width_) << "  "
             << upload_status(*u, false) << '\n';
    }
    out_ << qs(T::kUploadSummary).arg(done).arg(uploads_.size()) << '\n';
    out_.flush();
}

}  // namespace quorin::cli
