// The table of the desktop tool's "Boards" window, without widgets: one row per board that
// answered a search on any interface, sortable by every column, narrowed by a text found in any
// column, with a selection kept by MAC (so that searching again keeps the boards still present
// selected) and a status per board that the window's runs move on. Pure C++; the window shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fleet/rollout.h"
#include "fleet/site_file.h"
#include "fleet/site_run.h"

namespace quorin::fleet {

enum class BoardColumn { Mac, Model, Ip, Mask, Gateway, Firmware, IpMode, Interface, Status };
inline constexpr int kBoardColumns = 9;

// What a board's status column says.
struct BoardStatus {
    enum Kind { Found, Changed, Upgrading, Verified, Failed };
    Kind kind = Found;
    int percent = 0;     // Upgrading
    std::string reason;  // Failed
    friend bool operator==(const BoardStatus&, const BoardStatus&) = default;
};

// "found", "changed", "upgrading 40 %", "verified", "failed: REASON".
std::string status_text(const BoardStatus& status);

// The status a board has after an apply or a rollback gave it `result` (with its message).
BoardStatus status_after_apply(BoardResult result, const std::string& message);
// The status after a rollout gave it `result`; nullopt: the status stays (not started, pending).
// `reason` is the face's words for a failure.
std::optional<BoardStatus> status_after_rollout(RolloutResult result, const std::string& reason);

struct BoardListing {
    BoardRow row;
    std::string interface;
};

class BoardTable {
  public:
    enum class Pick {
        Only,    // a click: this row alone
        Toggle,  // Ctrl+click: this row in or out, the rest as they are
        Range,   // Shift+click: every row from the last one picked to this one
    };

    // The boards of a new search. Boards still present keep their selection and their status;
    // the others are gone, and new ones are "found". The sort and the filter stay.
    void set_boards(std::vector<BoardListing> boards);

    void sort(BoardColumn column, bool ascending);
    // Rows whose cells hold `text` in any column (ASCII case ignored); empty: every row.
    void set_filter(std::string text);

    // Every board listed, shown or not.
    std::size_t size() const { return boards_.size(); }
    // The rows shown, in order.
    std::size_t rows() const { return shown_.size(); }
    std::string cell(std::size_t row, BoardColumn column) const;
    const BoardListing& board(std::size_t row) const { return boards_[shown_[row]]; }
    // The row showing the board with `mac`; nullopt when it is not shown.
    std::optional<std::size_t> row_of(const Mac& mac) const;

    void pick(std::size_t row, Pick how);
    void select_all();
    void clear_selection();
    bool selected(std::size_t row) const;
    // The selected boards that are shown, in row order.
    std::vector<Mac> selection() const;

    void set_status(const Mac& mac, BoardStatus status);
    const BoardStatus& status(std::size_t row) const { return statuses_[shown_[row]]; }
    // The status of the board with `mac`, shown or not ("found" for a board not listed).
    BoardStatus status_of(const Mac& mac) const;

  private:
    std::string text_of(std::size_t board, BoardColumn column) const;
    bool before(std::size_t a, std::size_t b) const;
    void arrange();

    std::vector<BoardListing> boards_;
    // Per board the texts of every column but the status, worked out once per search.
    std::vector<std::vector<std::string>> cells_;
    std::vector<BoardStatus> statuses_;
    std::vector<std::size_t> shown_;  // indexes into boards_, in row order
    static constexpr std::size_t kNotShown = SIZE_MAX;
    std::vector<std::size_t> row_at_;   // per board its row, or kNotShown
    std::map<Mac, std::size_t> index_;  // MAC -> index into boards_
    std::set<Mac> selected_;
    std::optional<Mac> anchor_;  // the last board picked, where a range starts
    BoardColumn sort_column_ = BoardColumn::Mac;
    bool ascending_ = true;
    std::string filter_;
};

}  // namespace quorin::fleet
