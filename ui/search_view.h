// Who decides what the board controls show while a search runs. Each accepted search reply
// selects the first board and shows it, so the first board appears as soon as it answers, until
// the operator takes the view over: chooses another board in the list, changes a control or
// switches the channel tab. From then on later replies (a slow board, a duplicate, another PC's
// search that makes the boards answer again) are only listed, and what the operator is looking at
// or editing stays as it is. A reply that would show what is shown already (the first board,
// its row unchanged) does not run the display again.
#pragma once

#include "protocol/board_record.h"

namespace quorin {

class SearchView {
  public:
    // Search pressed: replies show the first board again.
    void searchStarted();
    // The operator chose a board, changed a control or switched the tab.
    void operatorActed() { operator_acted_ = true; }
    // The board display ran for list entry `index`, showing `row`.
    void shown(int index, const BoardRow& row);

    // Whether a search reply is to select the first board and run the display. `selected` is the
    // board list's selection (-1 for none); `first` the table's first row, null while the table
    // is empty.
    bool replyShowsFirstBoard(int selected, const BoardRow* first) const;
    bool operatorHasActed() const { return operator_acted_; }

  private:
    bool operator_acted_ = false;
    int shown_index_ = -1;  // list entry the display showed last; -1 before any since the Search
    BoardRow shown_row_{};
};

}  // namespace quorin
