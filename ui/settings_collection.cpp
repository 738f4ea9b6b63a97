// Settings collection: reads the main window back into the working record, in a fixed order,
// writing each field as soon as it has been read. The trigger characters, the texts of the
// serial combos read by list position and the packing characters are checked; the first failed
// check shows its message, moves the focus to the offending control (bringing up its channel
// page) and ends the collection, leaving what was already written in place. No check comes
// before the serial command method, so the MAC address, product code and board-wide network
// fields are always current on return; the Upload command relies on that.

#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "app/quorin_config_tool_app.h"
#include "protocol/board_record.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "settings/collection_rules.h"
#include "ui/quorin_config_tool_dlg.h"
#include "ui/ui_text.h"

namespace quorin {
namespace {

std::string utf8(const QString& s) {
    return s.toStdString();
}

// A text field's characters as the board keeps them, one byte per character: the form in which
// the board display shows a field's bytes, so a field shown and collected again keeps every byte.
// A character that one byte cannot hold (beyond U+00FF) is stored as '?'.
std::string field_bytes(const QString& s) {
    return s.toLatin1().toStdString();
}

}  // namespace

std::optional<int> CQuorinConfigToolDlg::ComboEntry(int id) {
    const QStringList items = comboItems(id);
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(items.size()));
    for (const QString& item : items) entries.push_back(utf8(item));
    const int selected = comboCurSel(id);
    const QString shown = text(id);
    const auto entry = collection::combo_entry_for_text(utf8(shown), entries, selected);
    // The entry becomes the selection and the combo shows it as the list writes it.
    if (entry && *entry >= 0 && (*entry != selected || shown != items[*entry])) {
        comboSetCurSel(id, *entry);
    }
    return entry;
}

bool CQuorinConfigToolDlg::CollectSettings() {
    using namespace collection;
    BoardRow& w = app_.core().working;
    const auto& ch = res::kChannels;

    // Shows a failed check's message and then, once the box is closed, focuses the control.
    const auto fail = [this](const QString& message, int focus_id) {
        app_.messages().show(message);
        FocusControl(focus_id);
        return false;
    };
    // A serial combo whose text names no entry of its list: nothing can be sent for it.
    const auto refuse_combo = [&fail](std::string_view label, int channel, int focus_id) {
        return fail(ui_text(text::kComboTextInvalid).arg(ui_text(label)).arg(channel + 1),
                    focus_id);
    };

    // The selected board's MAC text. Setting and Upload are enabled only while a board is
    // shown, so an entry is selected; without one there is no board to address, and the
    // collection ends before writing anything (no message: the state cannot be reached).
    const int selected = listCurSel(res::IDC_BOARD_LIST);
    if (selected < 0) return false;
    w.mac_address = mac_from_text(utf8(listItem(res::IDC_BOARD_LIST, selected)));

    w.debug_mode = isChecked(res::IDC_DEBUG_MODE) ? 1 : 0;

    // Channel options, ports, remote addresses and domain names, each for channels 1-4.
    for (int i = 0; i < kChannelBlocks; ++i) {
        w.channel[i].operation_mode = isChecked(ch[i].server) ? 0 : isChecked(ch[i].client) ? 1 : 2;
    }
    for (int i = 0; i < kChannelBlocks; ++i) {
        w.channel[i].data_mode = isChecked(ch[i].raw_mode) ? 0 : 1;
    }
    for (int i = 0; i < kChannelBlocks; ++i) {
        w.channel[i].use_dns = isChecked(ch[i].use_dns) ? 1 : 0;
    }
    for (int i = 0; i < kChannelBlocks; ++i) w.channel[i].udp = isChecked(ch[i].udp) ? 1 : 0;
    for (int i = 0; i < kChannelBlocks; ++i) {
        w.channel[i].local_port = integer_text_value(utf8(text(ch[i].local_port)));
    }
    for (int i = 0; i < kChannelBlocks; ++i) {
        w.channel[i].remote_port = integer_text_value(utf8(text(ch[i].remote_port)));
    }
    for (int i = 0; i < kChannelBlocks; ++i) w.channel[i].remote_ip = ipAddress(ch[i].remote_ip);
    for (int i = 0; i < kChannelBlocks; ++i) {
        store_text_field(w.channel[i].domain_name, field_bytes(text(ch[i].domain_name)));
    }

    // The model name shown; a name outside the product table keeps the previous code.
    if (const auto code = product_code_for_model(utf8(text(res::IDC_PRODUCT_CODE)))) {
        w.product_code = *code;
    }

    // The firmware version text; its version number decides the baud-code mapping below.
    const FirmwareFields firmware = firmware_from_text(utf8(text(res::IDC_FIRMWARE_VERSION)));
    w.firmware_major = firmware.major;
    w.firmware_minor = firmware.minor;

    w.ip_mode = isChecked(res::IDC_STATIC_IP) ? 0 : isChecked(res::IDC_DHCP) ? 1 : 2;
    w.local_ip = ipAddress(res::IDC_LOCAL_IP);
    w.subnet_mask = ipAddress(res::IDC_SUBNET_MASK);
    w.gateway_ip = ipAddress(res::IDC_GATEWAY);
    w.dns_server_ip = ipAddress(res::IDC_DNS_SERVER_IP);

    // Serial command method; with SW the trigger characters must be two hex digits each.
    // All three lengths are checked before any text is converted; each converted byte is stored
    // at once, so a later failure leaves the earlier bytes written.
    w.serial_command_method = isChecked(res::IDC_SERIAL_HW)   ? 1
                              : isChecked(res::IDC_SERIAL_SW) ? 2
                                                              : 0;
    if (w.serial_command_method == 2) {
        std::array<std::string, 3> triggers;
        for (std::size_t k = 0; k < triggers.size(); ++k) {
            triggers[k] = utf8(text(res::kTriggerIds[k]));
        }
        for (std::size_t k = 0; k < triggers.size(); ++k) {
            if (character_count(triggers[k]) != 2) {
                return fail(ui_text(text::kTriggerInvalid), res::kTriggerIds[k]);
            }
        }
        for (std::size_t k = 0; k < triggers.size(); ++k) {
            const auto byte = hex_text_to_byte(triggers[k]);
            if (!byte) return fail(ui_text(text::kTriggerNotHex), res::kTriggerIds[k]);
            w.trigger_chars[k] = *byte;
        }
    }

    // The trigger edits are disabled whichever method was read; clicking SW enables them.
    for (int id : res::kTriggerIds) enable(id, false);

    // PPPoE texts: written whatever the IP mode, also from disabled edits.
    store_text_field(w.pppoe_id, field_bytes(text(res::IDC_PPPOE_ID)));
    store_text_field(w.pppoe_password, field_bytes(text(res::IDC_PPPOE_PW)));

    // Serial line parameters of channels 1-4. Baud rate, data bits, stop bits and flow control
    // are read by list position; a text typed into one of them is first matched to its entry.
    namespace lbl = text::label;
    for (int i = 0; i < kChannelBlocks; ++i) {
        const auto entry = ComboEntry(ch[i].baud_rate);
        if (!entry) return refuse_combo(lbl::kBaudRate, i, ch[i].baud_rate);
        w.channel[i].baud_rate = baud_code_for_index(*entry, firmware.version_number);
    }
    for (int i = 0; i < kChannelBlocks; ++i) {
        const auto entry = ComboEntry(ch[i].data_bits);
        if (!entry) return refuse_combo(lbl::kDataBit, i, ch[i].data_bits);
        w.channel[i].data_bits = index_byte(*entry);
    }
    // Parity by text: the list holds "Odd", "Even" for 7 data bits and "None", "Odd", "Even"
    // for 8, so the index alone does not say which parity is meant.
    for (int i = 0; i < kChannelBlocks; ++i) {
        if (const auto parity = parity_code_for_text(utf8(text(ch[i].parity)))) {
            w.channel[i].parity = *parity;
        }
    }
    for (int i = 0; i < kChannelBlocks; ++i) {
        const auto entry = ComboEntry(ch[i].stop_bits);
        if (!entry) return refuse_combo(lbl::kStopBit, i, ch[i].stop_bits);
        w.channel[i].stop_bits = index_byte(*entry);
    }
    for (int i = 0; i < kChannelBlocks; ++i) {
        const auto entry = ComboEntry(ch[i].flow_control);
        if (!entry) return refuse_combo(lbl::kFlowControl, i, ch[i].flow_control);
        w.channel[i].flow_control = index_byte(*entry);
    }

    // Packing characters, each checked before the next channel's is read. The length is
    // not checked: "5" is 0x50.
    for (int i = 0; i < kChannelBlocks; ++i) {
        const std::string typed = utf8(text(ch[i].packing_char));
        if (typed.empty()) return fail(ui_text(text::kPackingCharEmpty[i]), ch[i].packing_char);
        const auto byte = hex_text_to_byte(typed);
        if (!byte) return fail(ui_text(text::kPackingCharInvalid[i]), ch[i].packing_char);
        w.channel[i].packing_char = *byte;
    }

    for (int i = 0; i < kChannelBlocks; ++i) {
        w.channel[i].packing_size = integer_text_value(utf8(text(ch[i].packing_size)));
    }
    for (int i = 0; i < kChannelBlocks; ++i) {
        w.channel[i].packing_time = integer_text_value(utf8(text(ch[i].packing_time)));
    }
    for (int i = 0; i < kChannelBlocks; ++i) {
        w.channel[i].inactivity_time = integer_text_value(utf8(text(ch[i].inactivity_time)));
    }

    return true;
}

}  // namespace quorin
