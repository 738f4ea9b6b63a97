// The main window's initialisation: the system-menu item, the icon, the configuration sockets
// and the state of every control before any board is shown.
#include <array>
#include <string_view>

#include "app/quorin_config_tool_app.h"
#include "platform/shell_rules.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "ui/quorin_config_tool_dlg.h"
#include "ui/ui_text.h"

namespace quorin {

using namespace res;

namespace {

template <std::size_t N>
QStringList list_of(const std::array<std::string_view, N>& texts) {
    return ui_texts({texts.begin(), texts.end()});
}

// Initial selections of the combo lists.
constexpr int kInitialBaud = 0;      // "600"
constexpr int kInitialDataBits = 1;  // "8"
constexpr int kInitialParity = 0;    // "None"
constexpr int kInitialStopBits = 0;  // "0.5"
constexpr int kInitialFlow = 0;      // "None"

}  // namespace

bool CQuorinConfigToolDlg::OnInitDialog() {
    // The controls already exist: the platform dialog builds them from the template.
    about_item_ =
        platform::add_about_menu_item(this, [this](int command) { OnSysCommand(command); });
    setWindowIcon(icon_);
    app_.OpenSockets(this);

    enable(IDC_SETTING, false);
    enable(IDC_UPLOAD, false);

    for (int i = 0; i < 4; ++i)
        tabInsert(IDC_CHANNEL_TAB, i, ui_text(text::kChannelTabs[static_cast<std::size_t>(i)]));

    InitControls();

    ShowChannelPage(1, true);
    ShowChannelPage(2, false);
    ShowChannelPage(3, false);
    ShowChannelPage(4, false);
    return true;
}

void CQuorinConfigToolDlg::InitControls() {
    const QString zero = QStringLiteral("0");
    const QString zero_address = ui_text(text::kZeroAddress);

    for (const ChannelIds& ch : kChannels) setCheck(ch.server, true);
    for (const ChannelIds& ch : kChannels) setCheck(ch.use_dns, false);
    for (const ChannelIds& ch : kChannels) setCheck(ch.raw_mode, true);
    for (const ChannelIds& ch : kChannels) setCheck(ch.udp, false);
    for (const ChannelIds& ch : kChannels) enable(ch.udp, false);
    for (const ChannelIds& ch : kChannels) setText(ch.status, ui_text(text::kNotConnected));
    for (const ChannelIds& ch : kChannels) {
        setText(ch.local_port, zero);
        setText(ch.remote_port, zero);
    }
    for (const ChannelIds& ch : kChannels) setText(ch.remote_ip, zero_address);
    for (const ChannelIds& ch : kChannels) setText(ch.domain_name, QString());
    for (const ChannelIds& ch : kChannels)
        if (!isChecked(ch.use_dns)) enable(ch.domain_name, false);

    setText(IDC_PRODUCT_CODE, QString());
    enable(IDC_PRODUCT_CODE, false);
    setText(IDC_FIRMWARE_VERSION, ui_text(text::kInitialFirmwareVersion));
    enable(IDC_FIRMWARE_VERSION, false);
    setCheck(IDC_DEBUG_MODE, false);
    enable(IDC_DEBUG_MODE, false);

    setCheck(IDC_STATIC_IP, true);
    if (!isChecked(IDC_PPPOE)) {
        enable(IDC_PPPOE_ID, false);
        enable(IDC_PPPOE_PW, false);
    }
    for (int id : {IDC_LOCAL_IP, IDC_SUBNET_MASK, IDC_GATEWAY, IDC_DNS_SERVER_IP})
        setText(id, zero_address);

    setCheck(IDC_SERIAL_HW, true);
    setCheck(IDC_SERIAL_SW, false);
    for (int id : kTriggerIds) enable(id, false);

    const QStringList bauds = list_of(text::kBaudRates);
    const QStringList data_bits = list_of(text::kDataBits);
    const QStringList parity = list_of(text::kParity);
    const QStringList stop_bits = list_of(text::kStopBits);
    const QStringList flow = list_of(text::kFlowControl);
    for (const ChannelIds& ch : kChannels) {
        comboFill(ch.baud_rate, bauds);
        comboSetCurSel(ch.baud_rate, kInitialBaud);
        comboFill(ch.data_bits, data_bits);
        comboSetCurSel(ch.data_bits, kInitialDataBits);
        comboFill(ch.parity, parity);
        comboSetCurSel(ch.parity, kInitialParity);
        comboFill(ch.stop_bits, stop_bits);
        comboSetCurSel(ch.stop_bits, kInitialStopBits);
        comboFill(ch.flow_control, flow);
        comboSetCurSel(ch.flow_control, kInitialFlow);
    }

    for (const ChannelIds& ch : kChannels) {
        setText(ch.packing_char, QStringLiteral("00"));
        setText(ch.packing_size, zero);
        setText(ch.packing_time, zero);
        setText(ch.inactivity_time, zero);
    }
}

void CQuorinConfigToolDlg::ShowChannelPage(int page, bool visible) {
    if (page < 1 || page > 4) return;
    for (int id : kChannels[static_cast<std::size_t>(page - 1)].all()) show(id, visible);
}

}  // namespace quorin
