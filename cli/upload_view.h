// How `quorinctl upload` shows its boards while they upload and are verified: on a terminal one
// progress bar per board, redrawn in place; otherwise (a pipe, a file, a script) a plain line
// whenever a board's status changes. Then a summary: per board its result in words.
#pragma once

#include <QString>
#include <QTextStream>
#include <QTimer>
#include <vector>

#include "cli/board_upload.h"
#include "fleet/rollout.h"

namespace quorin::cli {

// What an upload's bar shows, 0 to 100: the transfer's progress bar while it runs, full once the
// image has been taken.
int upload_percent(const BoardUpload& upload);

// What the board is doing, in words. `plain`: while sending, the progress in steps of 25 %, so
// that a line is written only every quarter.
QString upload_status(const BoardUpload& upload, bool plain);

class UploadRun;

// Board `board` of the run in words: its upload's status while it uploads, then its
// verification's, then its result.
QString board_status(const UploadRun& run, std::size_t board, bool plain);
// Its bar: the upload's progress, full once the image has been taken.
int board_percent(const UploadRun& run, std::size_t board);

// The board's name in lines: its MAC and IP address.
QString upload_label(const BoardUpload& upload);

// One board's line on a terminal: "LABEL  [#####.....]  50%  STATUS", cut to `columns` - 1
// characters so that it never wraps.
QString progress_line(const QString& label, int percent, const QString& status, int columns);

// How often the bars are redrawn at most.
inline constexpr int kRedrawMs = 100;

class UploadView {
  public:
    // `terminal`: bars redrawn in place (`columns` wide); otherwise plain lines. `run` outlives
    // the view.
    UploadView(QTextStream& out, const UploadRun& run, bool terminal, int columns);

    // Board `index` changed. Plain lines: one when its phase or result changed, or while sending
    // when its progress passed the next quarter (the bar going back to 0 at the end is not
    // written). On a terminal: a redraw of the bars, at most one every kRedrawMs.
    void changed(std::size_t index);
    // The last redraw, then the summary.
    void finish();

  private:
    void redraw();

    QTextStream& out_;
    const UploadRun& run_;
    bool terminal_;
    int columns_;
    qsizetype label_width_ = 0;  // the longest label: the summary's lines line up
    // Plain lines: per board, the phase and the percent last written.
    struct Written {
        BoardUpload::Phase phase = BoardUpload::Phase::Waiting;
        fleet::RolloutResult result = fleet::RolloutResult::Pending;
        bool verifying = false;
        int percent = -1;
    };
    std::vector<Written> last_;
    int drawn_ = 0;  // terminal: lines of bars on the screen
    QTimer redraw_timer_;
};

}  // namespace quorin::cli
