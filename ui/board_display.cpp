// The board display: fills the window from the board table row of the selected list entry.
// Controls that a step does not touch keep their content and enabled state, so what a board
// shows can depend on the board shown before it.
//
// It avoids work that leaves nothing different: a combo whose list already holds the wanted
// entries is not refilled. Painting is left to the controls: each one the display changes asks
// for its own repaint, and all of them are painted together in one pass of the event loop.
// Repainting the whole window as well only repainted what had not changed (labels, frames), and
// that was most of the time a search took to show its first board.
#include <string>

#include "app/quorin_config_tool_app.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "settings/display_rules.h"
#include "ui/quorin_config_tool_dlg.h"
#include "ui/ui_text.h"

namespace quorin {

using namespace res;
using display::Change;

namespace {

// The combo's list becomes `entries`. The entry that was selected stays selected when the new
// list still holds it: channels that the board does not show keep what they held. Otherwise the
// combo selects the board's own value for the channel (`board_index`), or the entry nearest to
// it, so that a hidden channel never sends "no selection" (255 for the flow control). Channels
// that are shown select from the board row afterwards.
void refill_combo(platform::Dialog& dlg, int id, const QStringList& entries, int board_index) {
    const QStringList before = dlg.comboItems(id);
    const int selected = dlg.comboCurSel(id);
    const int kept = selected >= 0 && selected < before.size()
                         ? static_cast<int>(entries.indexOf(before[selected]))
                         : -1;
    if (before != entries) {
        dlg.comboReset(id);
        dlg.comboFill(id, entries);
    }
    dlg.comboSetCurSel(
        id, display::hidden_channel_selection(kept, board_index, static_cast<int>(entries.size())));
}

void apply(platform::Dialog& dlg, Change change, int id) {
    if (change != Change::Keep) dlg.enable(id, change == Change::Enable);
}

QString text_of(const std::string& s) {
    return QString::fromStdString(s);
}

QString decimal(std::uint32_t value) {
    return QString::number(value);
}

void apply_model_enabling(platform::Dialog& dlg, const display::ModelEnabling& e,
                          int version_number) {
    for (int i = 0; i < 4; ++i) {
        const ChannelIds& ch = kChannels[static_cast<std::size_t>(i)];
        if (i < e.parity.channels) apply(dlg, e.parity.change, ch.parity);
        if (i < e.serial.channels) {
            apply(dlg, e.serial.change, ch.baud_rate);
            apply(dlg, e.serial.change, ch.data_bits);
            apply(dlg, e.serial.change, ch.flow_control);
        }
        if (i < e.udp_and_use_dns.channels) {
            apply(dlg, e.udp_and_use_dns.change, ch.udp);
            apply(dlg, e.udp_and_use_dns.change, ch.use_dns);
        }
        if (i < e.domain.channels) apply(dlg, e.domain.change, ch.domain_name);
    }
    for (int id : {IDC_SERIAL_DISABLE, IDC_SERIAL_HW, IDC_SERIAL_SW})
        apply(dlg, e.command_method, id);
    for (int id : kTriggerIds) apply(dlg, e.command_method, id);
    apply(dlg, e.pppoe_radio, IDC_PPPOE);
    apply(dlg, e.debug_mode, IDC_DEBUG_MODE);
    if (!e.debug_caption.empty()) dlg.setText(IDC_DEBUG_MODE, ui_text(e.debug_caption));
    if (e.stop_bits_by_firmware) {
        const bool on = version_number >= display::kStopBitsFrom;
        for (const ChannelIds& ch : kChannels) dlg.enable(ch.stop_bits, on);
    }
    if (e.data_mode_by_firmware) {
        const bool on = version_number >= display::kDataModeFrom;
        for (const ChannelIds& ch : kChannels) {
            dlg.enable(ch.raw_mode, on);
            dlg.enable(ch.telnet_mode, on);
        }
    }
}

void show_ip_mode(platform::Dialog& dlg, std::uint8_t ip_mode) {
    const bool is_static = ip_mode == 0;
    const bool is_dhcp = ip_mode == 1;
    const bool is_pppoe = !is_static && !is_dhcp;
    dlg.setCheck(IDC_STATIC_IP, is_static);
    dlg.setCheck(IDC_DHCP, is_dhcp);
    dlg.setCheck(IDC_PPPOE, is_pppoe);
    for (int id : {IDC_LOCAL_IP, IDC_SUBNET_MASK, IDC_GATEWAY}) dlg.enable(id, is_static);
    for (int id : {IDC_PPPOE_ID, IDC_PPPOE_PW}) dlg.enable(id, is_pppoe);
}

void show_command_method(platform::Dialog& dlg, const BoardRow& row) {
    const std::uint8_t method = row.serial_command_method;
    dlg.setCheck(IDC_SERIAL_DISABLE, method == 0);
    dlg.setCheck(IDC_SERIAL_HW, method == 1);
    dlg.setCheck(IDC_SERIAL_SW, method > 1);
    if (method > 1) {
        for (std::size_t i = 0; i < kTriggerIds.size(); ++i)
            dlg.setText(kTriggerIds[i], text_of(display::hex_upper(row.trigger_chars[i])));
    }
    // Disable and HW keep the trigger texts as they were.
    for (int id : kTriggerIds) dlg.enable(id, method > 1);
}

void show_channel(platform::Dialog& dlg, const ChannelIds& ids, const ChannelBlock& ch,
                  int version_number) {
    if (ch.operation_mode <= 2) {
        dlg.setCheck(ids.server, ch.operation_mode == 0);
        dlg.setCheck(ids.client, ch.operation_mode == 1);
    }
    dlg.setCheck(ids.raw_mode, ch.data_mode != 1);
    dlg.setCheck(ids.telnet_mode, ch.data_mode == 1);

    dlg.setCheck(ids.use_dns, ch.use_dns != 0);
    dlg.enable(ids.domain_name, dlg.isChecked(ids.use_dns));
    dlg.setCheck(ids.udp, ch.udp != 0);

    dlg.setText(ids.status,
                ui_text(ch.connection_status != 0 ? text::kConnected : text::kNotConnected));
    dlg.setText(ids.local_port, decimal(ch.local_port));
    dlg.setText(ids.remote_port, decimal(ch.remote_port));
    dlg.setText(ids.remote_ip, text_of(display::dotted(ch.remote_ip)));
    dlg.setText(ids.domain_name, ui_bytes(display::domain_text(ch.domain_name)));

    dlg.comboSetCurSel(ids.baud_rate, display::baud_index(ch.baud_rate, version_number));
    dlg.comboSetCurSel(ids.data_bits, ch.data_bits);
    refill_combo(dlg, ids.parity, ui_texts(display::parity_list(ch.data_bits)),
                 display::parity_index(ch.data_bits, ch.parity));
    dlg.comboSetCurSel(ids.parity, display::parity_index(ch.data_bits, ch.parity));
    dlg.comboSetCurSel(ids.stop_bits, ch.stop_bits);
    dlg.comboSetCurSel(ids.flow_control, ch.flow_control);

    dlg.setText(ids.packing_char, text_of(display::hex_lower(ch.packing_char)));
    dlg.setText(ids.packing_size, decimal(ch.packing_size));
    dlg.setText(ids.packing_time, decimal(ch.packing_time));
    dlg.setText(ids.inactivity_time, decimal(ch.inactivity_time));
}

}  // namespace

bool CQuorinConfigToolDlg::ShowBoard(const BoardRow& row) {
    ConfigCore& core = app_.core();
    int index = -1;
    for (int i = 0; i < core.board_count() && index < 0; ++i) {
        if (core.board(i).mac_address == row.mac_address) index = i;
    }
    if (index < 0) {
        const int before = core.board_count();
        core.list_board(row);
        if (core.board_count() == before) return false;
        appendBoardEntry(QString::fromStdString(mac_text(row.mac_address)));
        index = before;
    }
    listSetCurSel(IDC_BOARD_LIST, index);
    search_view_.operatorActed();
    OnBoardDisplay();
    raise();
    activateWindow();
    return true;
}

void CQuorinConfigToolDlg::OnBoardDisplay() {
    const int n = listCurSel(IDC_BOARD_LIST);
    if (n < 0 || n >= ConfigCore::kMaxBoards) return;

    enable(IDC_SETTING, true);
    enable(IDC_UPLOAD, !uploadRunning());  // one upload at a time

    const BoardRow row = app_.core().board(n);

    // Model and channel tabs. A tab control that already holds the wanted tabs is left as it is,
    // with its first tab chosen, as a refill would leave it.
    const display::Model model = display::model_of(row.product_code);
    const display::ModelView view = display::model_view(model);
    QStringList tabs;
    for (int i = 0; i < view.tabs; ++i)
        tabs.append(ui_text(text::kChannelTabs[static_cast<std::size_t>(i)]));
    if (tabTexts(IDC_CHANNEL_TAB) == tabs) {
        tabSetCurSel(IDC_CHANNEL_TAB, 0);
    } else {
        tabDeleteAll(IDC_CHANNEL_TAB);
        for (int i = 0; i < tabs.size(); ++i) tabInsert(IDC_CHANNEL_TAB, i, tabs[i]);
    }
    model_name_ = ui_text(view.name);

    const display::FirmwareVersion version =
        display::firmware_version(row.firmware_major, row.firmware_minor);
    firmware_text_ = text_of(version.text);
    setText(IDC_FIRMWARE_VERSION, firmware_text_);

    apply_model_enabling(*this, display::model_enabling(model), version.number);

    setText(IDC_PRODUCT_CODE, model_name_);

    const QStringList bauds = ui_texts(display::baud_list(version.number));
    for (std::size_t i = 0; i < kChannels.size(); ++i)
        refill_combo(*this, kChannels[i].baud_rate, bauds,
                     display::baud_index(row.channel[i].baud_rate, version.number));

    show_ip_mode(*this, row.ip_mode);
    show_command_method(*this, row);

    setText(IDC_LOCAL_IP, text_of(display::dotted(row.local_ip)));
    setText(IDC_SUBNET_MASK, text_of(display::dotted(row.subnet_mask)));
    setText(IDC_GATEWAY, text_of(display::dotted(row.gateway_ip)));
    setText(IDC_DNS_SERVER_IP, text_of(display::dotted(row.dns_server_ip)));

    // Only this model's boards carry PPPoE texts that the window shows; other models keep the
    // previous texts.
    if (model == display::Model::Quorin712P) {
        setText(IDC_PPPOE_ID, ui_bytes(display::pppoe_text(row.pppoe_id)));
        setText(IDC_PPPOE_PW, ui_bytes(display::pppoe_text(row.pppoe_password)));
    }

    const QStringList flows = ui_texts(display::flow_list(model, version.number));
    for (std::size_t i = 0; i < kChannels.size(); ++i)
        refill_combo(*this, kChannels[i].flow_control, flows, row.channel[i].flow_control);

    for (int i = 0; i < view.channels_shown; ++i)
        show_channel(*this, kChannels[static_cast<std::size_t>(i)],
                     row.channel[static_cast<std::size_t>(i)], version.number);

    ShowChannelPage(1, true);
    ShowChannelPage(2, false);
    ShowChannelPage(3, false);
    ShowChannelPage(4, false);

    search_view_.shown(n, row);
}

}  // namespace quorin
