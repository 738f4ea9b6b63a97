#include "ui/search_view.h"

namespace quorin {

void SearchView::searchStarted() {
    operator_acted_ = false;
    shown_index_ = -1;
}

void SearchView::shown(int index, const BoardRow& row) {
    shown_index_ = index;
    shown_row_ = row;
}

bool SearchView::replyShowsFirstBoard(int selected, const BoardRow* first) const {
    if (operator_acted_) return false;
    const bool showing_first_as_it_is =
        first != nullptr && selected == 0 && shown_index_ == 0 && shown_row_ == *first;
    return !showing_first_as_it_is;
}

}  // namespace quorin
