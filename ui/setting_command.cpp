// The Setting command (button 1003): collect and check the window into the working record, then
// broadcast the set request built from it and wait for the board's set reply.

#include "app/quorin_config_tool_app.h"
#include "protocol/board_record.h"
#include "protocol/config_core.h"
#include "res/texts.h"
#include "ui/quorin_config_tool_dlg.h"
#include "ui/ui_text.h"

namespace quorin {

void CQuorinConfigToolDlg::OnSetting() {
    if (upload_.blocks_other_exchange()) {
        showMessage(ui_text(text::kUploadBusy));
        return;
    }
    // A failed check has shown its message and moved the focus: nothing is sent, the operation
    // state and the log stay as they were.
    if (!CollectSettings()) return;
    if (!otherExchangeMayStart()) return;
    // Encodes the working record in its product's protocol and layout, clears the set-done flag
    // (so the first set reply after this request is applied) and awaits the set reply, also after
    // a send that reported 0 bytes: a reply may still come from an earlier request.
    app_.SendData(OPCODE_SET_REQUEST);
    app_.AppendLog(text::kLogSetRequest);
}

}  // namespace quorin
