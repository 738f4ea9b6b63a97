// A firmware rollout from the command line: fleet::Rollout decides which board's upload starts
// and when, and whether a board came back as it should; this carries its steps out. It owns one
// BoardUpload per board (each with its own protocol core and window timers), the searches that
// look for upgraded boards (one search for all of them, read by a protocol core of the run's
// own), the clock that drives the machine, and the operator's signals.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "cli/board_upload.h"
#include "cli/commands.h"
#include "cli/interrupt_watch.h"
#include "fleet/rollout.h"

namespace quorin::cli {

class UploadView;

class UploadRun {
  public:
    // `engine` outlives the run; `boards` in the order to upgrade them.
    UploadRun(BoardEngine& engine, std::vector<FoundBoard> boards, BoardUpload::Target target,
              fleet::RolloutOptions options);
    ~UploadRun();
    UploadRun(const UploadRun&) = delete;
    UploadRun& operator=(const UploadRun&) = delete;

    // Runs until every board has its result. `progress`: bars on a terminal (`terminal`) or a
    // line per change, and the summary, on `io.out`; what the signals do is said on `io.err`.
    void run(InterruptWatch& watch, Output io, bool progress, bool terminal, int columns);

    // The same run without waiting for it (a window's): returns at once. `changed` hears of
    // every board whose upload or result moved on, `signalled` of each signal the run takes
    // (with the number of transfers running then), `finished` once every board has its result;
    // all from the event loop. The watch (its interrupt() too) stops the run as signals do.
    struct Observers {
        std::function<void(std::size_t board)> changed;
        std::function<void(int count, int running)> signalled;
        std::function<void()> finished;
    };
    void start(InterruptWatch& watch, Observers observers);
    bool running() const { return watch_ != nullptr; }

    std::size_t size() const { return uploads_.size(); }
    const fleet::Rollout& rollout() const { return rollout_; }
    const fleet::RolloutOptions& options() const { return options_; }
    const BoardUpload& upload(std::size_t board) const { return *uploads_[board]; }
    // Whether the board's transfer was aborted after bytes had left: it needs attention.
    bool cut_off(std::size_t board) const { return cut_off_[board]; }

  private:
    void carryOut(const fleet::Rollout::Steps& steps);
    void uploadChanged(std::size_t board);
    void answered(std::uint8_t tag, std::span<const std::uint8_t> datagram);
    void signalled(int count);
    void stop();

    BoardEngine& engine_;
    fleet::RolloutOptions options_;
    fleet::Rollout rollout_;
    // Declared before the uploads: each upload's timers outlive it.
    std::vector<std::unique_ptr<platform::QtWindowTimers>> timers_;
    std::vector<std::unique_ptr<BoardUpload>> uploads_;
    std::vector<bool> reported_;  // the upload's end was told to the rollout
    std::vector<bool> cut_off_;
    ConfigCore searcher_{kEngineBoardTable};  // reads the answers to the run's searches
    std::map<BoardEngine::Mac, std::size_t> by_mac_;
    QElapsedTimer clock_;
    QTimer tick_;
    std::unique_ptr<UploadView> view_;
    Observers observers_;
    InterruptWatch* watch_ = nullptr;  // while the run runs
    int signals_ = 0;                  // the operator's signals taken so far
    QObject context_;                  // last: what the loop is still to call ends with the run
};

}  // namespace quorin::cli
