// The channel tabs and the option handlers, acting as the user does.
#include <QGroupBox>
#include <QLabel>

#include "tests/support/simulated_input.h"
#include "tests/ui/board_rows.h"
#include "tests/ui/window_fixture.h"

namespace quorin::testing {
namespace {

using namespace res;

using OptionHandlers = WindowFixture;

TEST_F(OptionHandlers, DataBitsRefillOnlyThatChannelsParity) {
    const struct {
        int page;
        int data_bits_index;
        QStringList parity;
    } cases[] = {
        {1, 0, {"Odd", "Even"}},         {2, 0, {"Odd", "Even"}},         {4, 0, {"Odd", "Even"}},
        {1, 1, {"None", "Odd", "Even"}}, {3, 1, {"None", "Odd", "Even"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        // Every other channel starts from a marked list, so a change to it shows.
        for (const ChannelIds& ch : kChannels) {
            Dlg().comboReset(ch.parity);
            Dlg().comboFill(ch.parity, {"x", "y"});
            Dlg().comboSetCurSel(ch.parity, 1);
        }
        const ChannelIds& ch = kChannels[static_cast<std::size_t>(c.page - 1)];
        simulate_select(Dlg(), IDC_CHANNEL_TAB, c.page - 1);
        simulate_select(Dlg(), ch.data_bits, c.data_bits_index);
        EXPECT_EQ(Dlg().comboItems(ch.parity), c.parity);
        EXPECT_EQ(Dlg().comboCurSel(ch.parity), 0);
        EXPECT_EQ(Dlg().text(ch.parity), c.parity[0]);
        for (const ChannelIds& other : kChannels) {
            if (&other == &ch) continue;
            EXPECT_EQ(Dlg().comboItems(other.parity), (QStringList{"x", "y"}));
            EXPECT_EQ(Dlg().comboCurSel(other.parity), 1);
        }
    }
}

TEST_F(OptionHandlers, ParitySelectionChangesNothingElse) {
    const ChannelIds& ch = kChannels[0];
    simulate_select(Dlg(), ch.parity, 2);
    EXPECT_EQ(Dlg().text(ch.parity), "Even");
    EXPECT_EQ(Dlg().comboItems(ch.parity), (QStringList{"None", "Odd", "Even"}));
    EXPECT_EQ(Dlg().comboCurSel(ch.data_bits), 1);
}

TEST_F(OptionHandlers, IpModeRadiosSetTheFiveFieldsButNeverDnsServer) {
    const struct {
        int radio;
        bool pppoe_fields;
        bool address_fields;
    } cases[] = {
        {IDC_DHCP, false, false},     {IDC_STATIC_IP, false, true}, {IDC_PPPOE, true, false},
        {IDC_DHCP, false, false},     {IDC_PPPOE, true, false},     {IDC_STATIC_IP, false, true},
        {IDC_STATIC_IP, false, true},  // clicking the checked radio again: same result
    };
    Dlg().setText(IDC_LOCAL_IP, "10.1.2.3");
    Dlg().setText(IDC_PPPOE_ID, "user");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.radio);
        click(Dlg(), c.radio);
        EXPECT_TRUE(Dlg().isChecked(c.radio));
        EXPECT_EQ(Dlg().isEnabled(IDC_PPPOE_ID), c.pppoe_fields);
        EXPECT_EQ(Dlg().isEnabled(IDC_PPPOE_PW), c.pppoe_fields);
        for (int id : {IDC_LOCAL_IP, IDC_SUBNET_MASK, IDC_GATEWAY})
            EXPECT_EQ(Dlg().isEnabled(id), c.address_fields) << id;
        EXPECT_TRUE(Dlg().isEnabled(IDC_DNS_SERVER_IP));
        // Contents stay.
        EXPECT_EQ(Dlg().text(IDC_LOCAL_IP), "10.1.2.3");
        EXPECT_EQ(Dlg().text(IDC_PPPOE_ID), "user");
    }
}

TEST_F(OptionHandlers, DnsServerStaysDisabledWhateverIpModeIsClicked) {
    Dlg().enable(IDC_DNS_SERVER_IP, false);
    for (int radio : {IDC_STATIC_IP, IDC_DHCP, IDC_PPPOE}) {
        click(Dlg(), radio);
        EXPECT_FALSE(Dlg().isEnabled(IDC_DNS_SERVER_IP)) << radio;
    }
}

TEST_F(OptionHandlers, SwShowsTheWorkingRecordsTriggerCharacters) {
    // The board on display has other trigger characters; SW ignores them.
    BoardRow row = board_row(product::kQuorin712P);
    row.serial_command_method = 2;
    row.trigger_chars = {0x2B, 0x2B, 0x2B};
    addBoard(row);
    ASSERT_EQ(Dlg().text(IDC_TRIGGER1), "2B");

    click(Dlg(), IDC_SERIAL_SW);
    for (int id : kTriggerIds) {
        EXPECT_EQ(Dlg().text(id), "00") << id;
        EXPECT_TRUE(Dlg().isEnabled(id)) << id;
    }

    // After a collection the working record holds other values; typed texts are replaced.
    Core().working.trigger_chars = {0x0A, 0xFF, 0x1B};
    simulate_type(Dlg(), IDC_TRIGGER1, "zz");
    simulate_type(Dlg(), IDC_TRIGGER3, "7");
    click(Dlg(), IDC_SERIAL_SW);
    EXPECT_EQ(Dlg().text(IDC_TRIGGER1), "0A");
    EXPECT_EQ(Dlg().text(IDC_TRIGGER2), "FF");
    EXPECT_EQ(Dlg().text(IDC_TRIGGER3), "1B");
}

TEST_F(OptionHandlers, HwAndDisableDisableTheTriggersAndKeepTheirTexts) {
    for (int radio : {IDC_SERIAL_DISABLE, IDC_SERIAL_HW}) {
        SCOPED_TRACE(radio);
        Core().working.trigger_chars = {0x11, 0x22, 0x33};
        click(Dlg(), IDC_SERIAL_SW);
        simulate_type(Dlg(), IDC_TRIGGER2, "AB");
        click(Dlg(), radio);
        EXPECT_TRUE(Dlg().isChecked(radio));
        EXPECT_FALSE(Dlg().isChecked(IDC_SERIAL_SW));
        for (int id : kTriggerIds) EXPECT_FALSE(Dlg().isEnabled(id)) << id;
        EXPECT_EQ(Dlg().text(IDC_TRIGGER1), "11");
        EXPECT_EQ(Dlg().text(IDC_TRIGGER2), "AB");
        EXPECT_EQ(Dlg().text(IDC_TRIGGER3), "33");
    }
}

TEST_F(OptionHandlers, UseDnsGovernsOnlyItsDomainName) {
    for (std::size_t i = 0; i < kChannels.size(); ++i) {
        const ChannelIds& ch = kChannels[i];
        SCOPED_TRACE(i);
        simulate_select(Dlg(), IDC_CHANNEL_TAB, static_cast<int>(i));
        click(Dlg(), ch.use_dns);
        ASSERT_TRUE(Dlg().isChecked(ch.use_dns));
        EXPECT_TRUE(Dlg().isEnabled(ch.domain_name));
        simulate_type(Dlg(), ch.domain_name, "example.org");

        click(Dlg(), ch.use_dns);
        EXPECT_FALSE(Dlg().isChecked(ch.use_dns));
        EXPECT_FALSE(Dlg().isEnabled(ch.domain_name));
        EXPECT_EQ(Dlg().text(ch.domain_name), "example.org");
        EXPECT_TRUE(Dlg().isEnabled(ch.remote_ip));
        for (const ChannelIds& other : kChannels) {
            if (&other != &ch) {
                EXPECT_FALSE(Dlg().isEnabled(other.domain_name));
            }
        }
    }
}

TEST_F(OptionHandlers, ClientAndUdpEnableNothing) {
    const ChannelIds& ch = kChannels[0];
    Dlg().enable(ch.udp, true);
    click(Dlg(), ch.client);
    click(Dlg(), ch.udp);
    EXPECT_TRUE(Dlg().isChecked(ch.client));
    EXPECT_FALSE(Dlg().isChecked(ch.server));
    EXPECT_TRUE(Dlg().isChecked(ch.udp));
    EXPECT_FALSE(Dlg().isEnabled(ch.domain_name));
    EXPECT_TRUE(Dlg().isEnabled(ch.remote_ip));
    EXPECT_TRUE(Dlg().isEnabled(ch.remote_port));
}

// Labels and group boxes of the dialog that are visible in it.
int visible_labels(const QDialog& dlg) {
    int n = 0;
    for (const QWidget* w : dlg.findChildren<QWidget*>())
        if ((qobject_cast<const QLabel*>(w) || qobject_cast<const QGroupBox*>(w)) &&
            w->isVisibleTo(&dlg))
            ++n;
    return n;
}

TEST_F(OptionHandlers, TabsShowExactlyOnePageAndKeepTheLabels) {
    const int labels = visible_labels(Dlg());
    ASSERT_GT(labels, 0);
    for (int tab : {3, 1, 2, 0, 3}) {
        SCOPED_TRACE(tab);
        simulate_select(Dlg(), IDC_CHANNEL_TAB, tab);
        for (std::size_t i = 0; i < kChannels.size(); ++i)
            for (int id : kChannels[i].all())
                EXPECT_EQ(Dlg().isShown(id), static_cast<int>(i) == tab) << id;
        EXPECT_EQ(visible_labels(Dlg()), labels);
    }
}

TEST_F(OptionHandlers, SwitchingTabsKeepsEnabledStatesAndContents) {
    const ChannelIds& ch4 = kChannels[3];
    simulate_select(Dlg(), IDC_CHANNEL_TAB, 3);
    click(Dlg(), ch4.use_dns);
    simulate_type(Dlg(), ch4.local_port, "4444");
    simulate_select(Dlg(), IDC_CHANNEL_TAB, 0);
    EXPECT_FALSE(Dlg().isShown(ch4.domain_name));
    simulate_select(Dlg(), IDC_CHANNEL_TAB, 3);
    EXPECT_TRUE(Dlg().isEnabled(ch4.domain_name));
    EXPECT_EQ(Dlg().text(ch4.local_port), "4444");
    EXPECT_FALSE(Dlg().isEnabled(ch4.udp));
}

TEST_F(OptionHandlers, TabChangeWithoutASelectedTabChangesNothing) {
    simulate_select(Dlg(), IDC_CHANNEL_TAB, 2);
    Dlg().tabDeleteAll(IDC_CHANNEL_TAB);
    ASSERT_EQ(Dlg().tabCurSel(IDC_CHANNEL_TAB), -1);
    Dlg().OnTabSelChange();
    for (std::size_t i = 0; i < kChannels.size(); ++i)
        for (int id : kChannels[i].all()) EXPECT_EQ(Dlg().isShown(id), i == 2) << id;
}

}  // namespace
}  // namespace quorin::testing
