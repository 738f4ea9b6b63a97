// Bringing boards to the settings a site wants: the comparison that a plan, an audit and an
// apply share, and the run that writes the changes, at most a given number of set requests
// outstanding, and then reads every changed board back with as few searches as it can. Pure
// C++: the run is a machine from events (a set reply came, a set reply's time ran out, a
// read-back search ended, the operator interrupted) to steps the face carries out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "fleet/site_file.h"
#include "protocol/board_record.h"
#include "settings/field_catalogue.h"

namespace quorin::fleet {

// Every changeable setting of `row` whose value reads differently in `wanted`, in catalogue
// order. Fields the model does not show are never among them.
std::vector<Change> differences(const BoardRow& row, const BoardRow& wanted);

// A board's changeable settings by name, in catalogue order, with its identity.
BoardSettings settings_of(const BoardRow& row);

// The settings of `recorded` (a plan's or a journal's) that `row` no longer holds, as
// "field: recorded -> now" changes; a board of another model is one change of "model".
std::vector<Change> drift(const BoardSettings& recorded, const BoardRow& row);

// What a board is to become: `wanted` (the file's settings, with where each stands) carried out
// on the board's row as `quorinctl set` carries them out.
struct BoardTarget {
    std::optional<BoardRow> row;  // set when every setting could be carried out
    std::vector<Change> changes;  // differences(board, *row)
    std::string error;            // otherwise: "WHERE: why", naming the setting that failed
};
BoardTarget target_for(const BoardRow& board, const std::vector<SiteSetting>& wanted);

// What a board is to become when it is put back to recorded settings (a rollback, `recorded` in
// catalogue order): each setting is carried out alone, last first, as soon as the board's
// settings let it, so that a field the recorded settings disable is restored before the setting
// that disables it (an address before the return to DHCP). Fails when some settings cannot be
// carried out that way.
BoardTarget restore_target(const BoardRow& board, const std::vector<SiteSetting>& recorded);

// The board as `recorded.record` holds it, with the identity of `now` (MAC, product code,
// firmware: what a set request does not change). Nullopt when there is no record, or it is not
// hexadecimal of the length the board's protocol gives.
std::optional<BoardRow> recorded_row(const BoardSettings& recorded, const BoardRow& now);

// What a rollback makes of a board the journal entry `recorded` (named `where` in messages)
// recorded: the recorded record written back as it was when the journal holds one; otherwise
// the settings that drifted, restored as restore_target() restores them.
BoardTarget rollback_target(const BoardSettings& recorded, const BoardRow& now,
                            const std::string& where);

// How one board of a run ended.
enum class BoardResult {
    Unchanged,   // held what was wanted: nothing sent
    Verified,    // changed, and read back as wanted
    Failed,      // see the message
    NotReached,  // did not answer the search before the run
    NotStarted,  // the run was interrupted before its set request
};
// "unchanged", "changed", "failed", "not_reached", "not_started" (reports' words).
std::string_view result_name(BoardResult result);

// Exit statuses, the same for every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFindings = 3;
inline constexpr int kExitPartial = 4;
inline constexpr int kExitInterrupted = 130;

class SetRun {
  public:
    struct Board {
        BoardRow planned;             // the record to send
        std::vector<Change> changes;  // empty: nothing to send to this board
    };

    struct Step {
        enum Kind {
            SendSet,   // send board `board`'s set request and time its reply
            ReadBack,  // search, and report read_back() with what answered (boards: `boards`)
            Finished,  // every board has its result
        };
        Kind kind = Finished;
        std::size_t board = 0;
        std::vector<std::size_t> boards;
    };

    // Read-back searches a run makes at most for boards that have not answered one yet.
    static constexpr int kReadBackSearches = 3;

    SetRun(std::vector<Board> boards, int jobs);

    std::vector<Step> start();
    std::vector<Step> set_replied(std::size_t board);
    std::vector<Step> set_timed_out(std::size_t board);
    // Boards read back, by index (nullopt: did not answer this search).
    std::vector<Step> read_back(const std::vector<std::optional<BoardRow>>& rows);
    // No new set request leaves; the outstanding ones are still awaited and read back.
    std::vector<Step> interrupt();

    bool interrupted() const { return interrupted_; }
    bool finished() const { return finished_; }
    BoardResult result(std::size_t board) const { return boards_[board].result; }
    // Failed: why ("no set reply", "did not answer after the set", "channel[0].baud_rate reads
    // 9600, wanted 19200").
    const std::string& message(std::size_t board) const { return boards_[board].message; }
    std::size_t size() const { return boards_.size(); }
    const BoardRow& planned(std::size_t board) const { return boards_[board].board.planned; }
    const std::vector<Change>& changes(std::size_t board) const {
        return boards_[board].board.changes;
    }

  private:
    enum class Phase { Queued, Sent, Replied, Done };
    struct State {
        Board board;
        Phase phase = Phase::Queued;
        BoardResult result = BoardResult::Unchanged;
        std::string message;
    };
    void fill(std::vector<Step>& out);
    void settle(std::vector<Step>& out);

    std::vector<State> boards_;
    int jobs_ = 1;
    std::size_t next_ = 0;
    int outstanding_ = 0;
    int searches_ = 0;
    bool reading_back_ = false;
    bool interrupted_ = false;
    bool finished_ = false;
};

}  // namespace quorin::fleet
