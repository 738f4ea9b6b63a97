// The main window right after it has opened, before any board is shown.
#include "tests/support/recording_services.h"
#include "tests/support/simulated_input.h"
#include "tests/ui/window_fixture.h"

namespace quorin::testing {
namespace {

using namespace res;

using InitialState = WindowFixture;

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

TEST_F(InitialState, EveryChannelPageHoldsTheDefaults) {
    for (std::size_t i = 0; i < kChannels.size(); ++i) {
        const ChannelIds& ch = kChannels[i];
        SCOPED_TRACE("page " + std::to_string(i + 1));
        EXPECT_TRUE(Dlg().isChecked(ch.server));
        EXPECT_FALSE(Dlg().isChecked(ch.client));
        EXPECT_TRUE(Dlg().isChecked(ch.raw_mode));
        EXPECT_FALSE(Dlg().isChecked(ch.telnet_mode));
        EXPECT_FALSE(Dlg().isChecked(ch.udp));
        EXPECT_FALSE(Dlg().isEnabled(ch.udp));
        EXPECT_FALSE(Dlg().isChecked(ch.use_dns));
        EXPECT_EQ(Dlg().text(ch.status), "Not Connected");
        EXPECT_EQ(Dlg().text(ch.local_port), "0");
        EXPECT_EQ(Dlg().text(ch.remote_port), "0");
        EXPECT_EQ(Dlg().text(ch.remote_ip), "0.0.0.0");
        EXPECT_EQ(Dlg().text(ch.domain_name), "");
        EXPECT_EQ(Dlg().text(ch.baud_rate), "600");
        EXPECT_EQ(Dlg().text(ch.data_bits), "8");
        EXPECT_EQ(Dlg().text(ch.parity), "None");
        EXPECT_EQ(Dlg().text(ch.stop_bits), "0.5");
        EXPECT_EQ(Dlg().text(ch.flow_control), "None");
        EXPECT_EQ(Dlg().text(ch.packing_char), "00");
        EXPECT_EQ(Dlg().text(ch.packing_size), "0");
        EXPECT_EQ(Dlg().text(ch.packing_time), "0");
        EXPECT_EQ(Dlg().text(ch.inactivity_time), "0");
    }
}

TEST_F(InitialState, ComboListsAreFilledInOrderWithTheInitialSelection) {
    const struct {
        int ChannelIds::*role;
        QStringList entries;
        int selected;
    } cases[] = {
        {&ChannelIds::baud_rate,
         {"600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200", "230400"},
         0},
        {&ChannelIds::data_bits, {"7", "8"}, 1},
        {&ChannelIds::parity, {"None", "Odd", "Even"}, 0},
        {&ChannelIds::stop_bits, {"0.5", "1", "1.5", "2"}, 0},
        {&ChannelIds::flow_control, {"None", "Xon/Xoff", "CTS/RTS", "RTSOnly"}, 0},
    };
    for (const ChannelIds& ch : kChannels) {
        for (const auto& c : cases) {
            const int id = ch.*(c.role);
            SCOPED_TRACE(id);
            EXPECT_EQ(Dlg().comboItems(id), c.entries);
            EXPECT_EQ(Dlg().comboCurSel(id), c.selected);
        }
    }
}

TEST_F(InitialState, DomainNamesAreDisabledUntilUseDnsIsChecked) {
    for (const ChannelIds& ch : kChannels) EXPECT_FALSE(Dlg().isEnabled(ch.domain_name));
    click(Dlg(), kChannels[0].use_dns);
    EXPECT_TRUE(Dlg().isEnabled(kChannels[0].domain_name));
    EXPECT_FALSE(Dlg().isEnabled(kChannels[1].domain_name));
}

TEST_F(InitialState, SettingAndUploadAreDisabledThoughTheControlsHoldValues) {
    EXPECT_FALSE(Dlg().isEnabled(IDC_SETTING));
    EXPECT_FALSE(Dlg().isEnabled(IDC_UPLOAD));
    EXPECT_TRUE(Dlg().isEnabled(IDC_SEARCH));
    EXPECT_TRUE(Dlg().isEnabled(IDC_VIEW_LOG));
    EXPECT_EQ(Dlg().listCount(IDC_BOARD_LIST), 0);
}

TEST_F(InitialState, GeneralSettingsHoldTheDefaults) {
    EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), "");
    EXPECT_FALSE(Dlg().isEnabled(IDC_PRODUCT_CODE));
    EXPECT_EQ(Dlg().text(IDC_FIRMWARE_VERSION), "0.0");
    EXPECT_FALSE(Dlg().isEnabled(IDC_FIRMWARE_VERSION));
    EXPECT_FALSE(Dlg().isChecked(IDC_DEBUG_MODE));
    EXPECT_FALSE(Dlg().isEnabled(IDC_DEBUG_MODE));
    EXPECT_EQ(Dlg().text(IDC_DEBUG_MODE), "Debug Mode");

    EXPECT_TRUE(Dlg().isChecked(IDC_STATIC_IP));
    EXPECT_FALSE(Dlg().isChecked(IDC_DHCP));
    EXPECT_FALSE(Dlg().isChecked(IDC_PPPOE));
    EXPECT_FALSE(Dlg().isEnabled(IDC_PPPOE_ID));
    EXPECT_FALSE(Dlg().isEnabled(IDC_PPPOE_PW));
    for (int id : {IDC_LOCAL_IP, IDC_SUBNET_MASK, IDC_GATEWAY, IDC_DNS_SERVER_IP}) {
        EXPECT_EQ(Dlg().text(id), "0.0.0.0") << id;
        EXPECT_TRUE(Dlg().isEnabled(id)) << id;
    }

    EXPECT_TRUE(Dlg().isChecked(IDC_SERIAL_HW));
    EXPECT_FALSE(Dlg().isChecked(IDC_SERIAL_SW));
    EXPECT_FALSE(Dlg().isChecked(IDC_SERIAL_DISABLE));
    for (int id : kTriggerIds) EXPECT_FALSE(Dlg().isEnabled(id)) << id;
}

TEST_F(InitialState, FourTabsWithPageOneShown) {
    EXPECT_EQ(Dlg().tabTexts(IDC_CHANNEL_TAB),
              (QStringList{"Channel #1", "Channel #2", "Channel #3", "Channel #4"}));
    for (std::size_t i = 0; i < kChannels.size(); ++i)
        for (int id : kChannels[i].all()) EXPECT_EQ(Dlg().isShown(id), i == 0) << id;
}

TEST_F(InitialState, SocketsAreOpenAndTheProtocolIsIdle) {
    EXPECT_NE(App().searchSocket(), nullptr);
    EXPECT_NE(App().legacySocket(), nullptr);
    EXPECT_EQ(Core().operation_state(), OperationState::Idle);
    EXPECT_EQ(Core().board_count(), 0);
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(InitialState, WindowCarriesTheIconAndTheCaption) {
    EXPECT_FALSE(Dlg().windowIcon().isNull());
    EXPECT_EQ(Dlg().windowTitle(), q(text::kMainCaption));
}

TEST_F(InitialState, InitialisationReturnsTrue) {
    platform::RecordingMessageBoxes own_messages;
    CQuorinConfigToolApp own_app(own_messages, App().target());
    CQuorinConfigToolDlg own_window(own_app, WindowServices{timers, files});
    EXPECT_TRUE(own_window.OnInitDialog());
}

}  // namespace
}  // namespace quorin::testing
