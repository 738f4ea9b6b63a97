// Carries out a run of set requests (fleet/site_run.h) through the command line's engine: each
// board's set request from a protocol core of its own, so that one board's reply never counts
// for another, each timed by the engine's reply wait; read-backs as searches.
#pragma once

#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "cli/board_engine.h"
#include "cli/commands.h"
#include "cli/interrupt_watch.h"
#include "fleet/site_run.h"

namespace quorin::cli {

// The run carried out from the event loop: start() returns at once, and `finished` is called
// from the loop once every board has its result. A signal seen by `watch` (or its interrupt())
// interrupts the run: no new set request leaves, the outstanding ones are awaited and read back.
class SetRunDriver {
  public:
    // `engine`, `run` and `watch` outlive the driver; `boards` index for index with the run's.
    SetRunDriver(BoardEngine& engine, int wait_ms, fleet::SetRun& run,
                 std::vector<FoundBoard> boards, InterruptWatch& watch);
    ~SetRunDriver();
    SetRunDriver(const SetRunDriver&) = delete;
    SetRunDriver& operator=(const SetRunDriver&) = delete;

    // `signalled` hears of each signal (the face's words), may be empty.
    void start(std::function<void()> finished, std::function<void(int count)> signalled = {});
    bool running() const { return running_; }

  private:
    using Step = fleet::SetRun::Step;
    void route();
    void carryOut(std::vector<Step> steps);
    void readBack(const std::vector<std::size_t>& awaited);

    BoardEngine& engine_;
    int wait_ms_;
    fleet::SetRun& run_;
    std::vector<FoundBoard> boards_;
    InterruptWatch& watch_;
    std::vector<std::unique_ptr<ConfigCore>> cores_;
    std::vector<std::unique_ptr<QTimer>> timers_;
    std::map<BoardEngine::Mac, std::size_t> by_mac_;
    std::function<void()> finished_;
    bool running_ = false;
    bool reading_back_ = false;
    QObject context_;  // last: what the loop is still to call ends with the driver
};

// Runs `run` to its end over `boards` (index for index), in an event loop of its own.
void drive_set_run(BoardEngine& engine, const CommonOptions& o, fleet::SetRun& run,
                   const std::vector<FoundBoard>& boards, InterruptWatch& watch,
                   const std::function<void(int count)>& signalled = {});

}  // namespace quorin::cli
