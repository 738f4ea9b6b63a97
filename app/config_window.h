// What the application object needs from the main window while it handles replies: the calls
// the reply dispatcher makes into the window. The main window implements it and hands itself to
// the application object when it opens.
#pragma once

#include <QString>

namespace quorin {

class ConfigWindow {
  public:
    virtual ~ConfigWindow() = default;
    // Appends a MAC text as the last entry of the board list (1000).
    virtual void appendBoardEntry(const QString& mac_text) = 0;
    // Whether an accepted search reply is to select the first board and show it. A window may
    // decline, for instance once the operator has chosen another board or edited a control, or
    // when it shows the first board as it is already.
    virtual bool searchReplyShowsFirstBoard() { return true; }
    // Selects the first board list entry; false when the list refuses (it is empty).
    virtual bool selectFirstBoard() = 0;
    // The board display: shows the row of the selected board list entry.
    virtual void OnBoardDisplay() = 0;
    // The upload reply reaction (main protocol, opcode 6 in state 4).
    virtual void OnUploadReply() = 0;
    // The upload-done reaction (opcode 7 in state 6).
    virtual void OnUploadDone() = 0;
};

}  // namespace quorin
