// Carries out a run of set requests (fleet/site_run.h) through the command line's engine: each
// board's set request from a protocol core of its own, so that one board's reply never counts
// for another, each timed by the engine's reply wait; read-backs as searches.
#pragma once

#include <functional>
#include <vector>

#include "cli/board_engine.h"
#include "cli/commands.h"
#include "cli/interrupt_watch.h"
#include "fleet/site_run.h"

namespace quorin::cli {

// Runs `run` to its end over `boards` (index for index). A signal seen by `watch` interrupts the
// run: no new set request leaves, the outstanding ones are awaited and read back; `signalled`
// hears of each signal (the face's words), may be empty.
void drive_set_run(BoardEngine& engine, const CommonOptions& o, fleet::SetRun& run,
                   const std::vector<FoundBoard>& boards, InterruptWatch& watch,
                   const std::function<void(int count)>& signalled = {});

}  // namespace quorin::cli
