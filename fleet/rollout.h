// A firmware rollout to many boards: when each board's upload starts (at most `jobs` transfers at
// once, the canaries first, no new board after too many failures or once the operator
// interrupts), and, once a board's upload has ended, whether the board came back as it should:
// with the version the image installs and the settings it held before. Pure C++: a machine from
// events (an upload ended, a board answered a search, time passed, the operator interrupted) to
// steps the face carries out. Times are milliseconds of any steady clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/site_file.h"
#include "protocol/board_record.h"

namespace quorin::fleet {

enum class RolloutOrder { Named, Mac, Ip };

// The order the boards of `rows` are upgraded in, as indexes into `rows`: as given, by MAC, or
// by IP address (boards with the same address by MAC).
std::vector<std::size_t> rollout_order(const std::vector<BoardRow>& rows, RolloutOrder order);

// The changeable settings that differ between `before` and `after` (the same board before and
// after an upgrade), as "field: before -> after". The record's values are compared, not their
// texts: both rows are read as the firmware of `before` reads them, so a baud-rate code that
// another firmware names differently is not a change, and the texts are `before`'s.
std::vector<Change> upgrade_changes(const BoardRow& before, const BoardRow& after);

struct RolloutOptions {
    int jobs = 1;
    int canary = 0;        // the first this many boards are upgraded and verified first
    int max_failures = 0;  // after this many failures no new board starts; 0: no limit
    std::int64_t verify_timeout_ms = 120'000;
    // Searches for boards being verified leave at most this often (one search for all of them),
    // and a board's answers count from this long after its upload ended.
    std::int64_t search_every_ms = 1'000;
    std::string version;  // the version the image installs (a manifest's); empty: not known
};

enum class RolloutResult {
    Pending,          // not ended yet
    Verified,         // came back with the version and every setting it held
    OtherFirmware,    // came back with another firmware: firmware_after()
    SettingsChanged,  // came back with the version but other settings: changes()
    NotBack,          // did not answer a search within the verification's time
    Failed,           // the upload failed (the face has its words)
    Interrupted,      // its transfer was aborted halfway by the operator: it needs attention
    Unverified,       // its upload ended, but the operator stopped the wait for its answer
    NotStarted,       // never started: why_not_started()
};

// "verified", "other_firmware", "settings_changed", "not_back", "failed", "interrupted",
// "unverified", "not_started", "pending" (reports' and the history's words).
std::string_view rollout_result_name(RolloutResult result);

enum class NotStartedWhy { None, CanaryFailed, TooManyFailures, Interrupted };

class Rollout {
  public:
    using Ms = std::int64_t;

    struct Step {
        enum Kind {
            StartUpload,  // start board `board`'s upload; report upload_ended() when it ends
            AbortUpload,  // abort board `board`'s transfer now (the operator's second signal)
            Search,       // send one search; report every board that answers
            BoardEnded,   // board `board` has its result
            Finished,     // every board has its result
        };
        Kind kind = Finished;
        std::size_t board = 0;

        friend bool operator==(const Step&, const Step&) = default;
    };
    using Steps = std::vector<Step>;

    // `before`: every board's row as the search before the run read it, in the order to upgrade
    // them in.
    Rollout(std::vector<BoardRow> before, RolloutOptions options);

    Steps start();
    // Board `board`'s upload ended; `completed`: the board took the whole image.
    Steps upload_ended(std::size_t board, bool completed, Ms now);
    // A board answered a search (any board: those not being verified are ignored).
    Steps board_answered(const BoardRow& row, Ms now);
    // Time passed: searches fall due, verifications run out of time.
    Steps tick(Ms now);
    // The operator's signal. The first: no new board starts; running transfers finish and are
    // verified. The second: running transfers are aborted, waits for answers end.
    Steps interrupt();

    std::size_t size() const { return boards_.size(); }
    RolloutResult result(std::size_t board) const { return boards_[board].result; }
    NotStartedWhy why_not_started(std::size_t board) const { return boards_[board].why; }
    // The firmware the board answered with after its upload; empty when it did not answer.
    const std::string& firmware_after(std::size_t board) const { return boards_[board].firmware; }
    const std::vector<Change>& changes(std::size_t board) const { return boards_[board].changes; }
    const BoardRow& before(std::size_t board) const { return boards_[board].before; }
    bool uploading(std::size_t board) const { return boards_[board].phase == Phase::Uploading; }
    bool verifying(std::size_t board) const { return boards_[board].phase == Phase::Verifying; }
    int interrupts() const { return interrupts_; }
    int failures() const { return failures_; }
    bool finished() const { return finished_; }
    // The run's exit status: 130 once interrupted; otherwise 0 when every board verified, 4 when
    // some did and others did not (or did not start), 1 when none did.
    int exit_status() const;

  private:
    enum class Phase { Waiting, Uploading, Verifying, Ended };
    struct Board {
        BoardRow before;
        Phase phase = Phase::Waiting;
        RolloutResult result = RolloutResult::Pending;
        NotStartedWhy why = NotStartedWhy::None;
        Ms ended_at = 0;        // when its upload ended
        std::string firmware;   // as it answered after the upload
        bool answered = false;  // answered after its upload
        std::vector<Change> changes;
    };

    void end(std::size_t board, RolloutResult result, Steps& out);
    void end_waiting(NotStartedWhy why, Steps& out);
    void fill(Steps& out);
    void settle(Steps& out);
    bool canaries_pending() const;
    bool is_failure(RolloutResult result) const;

    std::vector<Board> boards_;
    RolloutOptions options_;
    int running_ = 0;
    int failures_ = 0;
    int interrupts_ = 0;
    std::optional<Ms> last_search_;
    bool finished_ = false;
};

}  // namespace quorin::fleet
