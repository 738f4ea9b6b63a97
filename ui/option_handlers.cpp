// The channel tabs and the option handlers: how the window reacts while the operator edits it.
// They act on controls only; the SW radio also reads the working record's trigger characters.
#include <algorithm>

#include "app/quorin_config_tool_app.h"
#include "res/resource_ids.h"
#include "settings/display_rules.h"
#include "ui/quorin_config_tool_dlg.h"
#include "ui/ui_text.h"

namespace quorin {

using namespace res;

namespace {

const ChannelIds* channel_ids(int page) {
    if (page < 1 || page > 4) return nullptr;
    return &kChannels[static_cast<std::size_t>(page - 1)];
}

// Enabled state of PPPoE ID, PPPoE PW, Local IP, Subnet Mask and Gateway for each IP mode radio.
// DNS Server IP (1034) belongs to none of them.
struct IpModeFields {
    int radio;
    bool pppoe_fields;
    bool address_fields;
};
constexpr IpModeFields kIpModeFields[] = {
    {IDC_PPPOE, true, false},
    {IDC_STATIC_IP, false, true},
    {IDC_DHCP, false, false},
};

}  // namespace

void CQuorinConfigToolDlg::OnTabSelChange() {
    const int index = tabCurSel(IDC_CHANNEL_TAB);
    if (index < 0 || index > 3) return;
    for (int page = 1; page <= 4; ++page) ShowChannelPage(page, page == index + 1);
}

void CQuorinConfigToolDlg::FocusControl(int id) {
    for (int page = 1; page <= 4; ++page) {
        const auto ids = channel_ids(page)->all();
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) continue;
        if (isShown(id)) break;
        if (page <= tabCount(IDC_CHANNEL_TAB)) {
            // As if the operator had chosen the page's tab.
            tabSetCurSel(IDC_CHANNEL_TAB, page - 1);
            OnTabSelChange();
        } else {
            // The board offers no tab for this page, yet its control holds what must be
            // corrected: show the page alone.
            for (int other = 1; other <= 4; ++other) ShowChannelPage(other, other == page);
        }
        break;
    }
    setFocusTo(id);
}

void CQuorinConfigToolDlg::OnUseDns(int page) {
    const ChannelIds* ch = channel_ids(page);
    if (!ch) return;
    // Only the domain name follows the box; the remote IP address stays editable either way.
    enable(ch->domain_name, isChecked(ch->use_dns));
}

void CQuorinConfigToolDlg::OnDataBitsChange(int page) {
    const ChannelIds* ch = channel_ids(page);
    if (!ch) return;
    // 7 data bits offer no "None". The two lists number their entries differently, which is why
    // the parity is read back by its text.
    comboReset(ch->parity);
    comboFill(ch->parity, ui_texts(display::parity_list_for_index(comboCurSel(ch->data_bits))));
    comboSetCurSel(ch->parity, 0);
}

void CQuorinConfigToolDlg::OnIpModeClicked(int id) {
    for (const IpModeFields& mode : kIpModeFields) {
        if (mode.radio != id) continue;
        enable(IDC_PPPOE_ID, mode.pppoe_fields);
        enable(IDC_PPPOE_PW, mode.pppoe_fields);
        enable(IDC_LOCAL_IP, mode.address_fields);
        enable(IDC_SUBNET_MASK, mode.address_fields);
        enable(IDC_GATEWAY, mode.address_fields);
    }
}

void CQuorinConfigToolDlg::OnSerialHwOrDisable() {
    for (int id : kTriggerIds) enable(id, false);  // the texts stay
}

void CQuorinConfigToolDlg::OnSerialSw() {
    // The edits show the working record's trigger characters (the last ones collected, zero
    // before the first collection), not those of the board on display.
    const auto& trigger = app_.core().working.trigger_chars;
    for (int id : kTriggerIds) enable(id, true);
    for (std::size_t i = 0; i < kTriggerIds.size(); ++i)
        setText(kTriggerIds[i], ui_text(display::hex_upper(trigger[i])));
}

}  // namespace quorin
