// The settings collection and the Setting command on a real main window: which control feeds
// which field, the trigger and packing-character checks with their messages and focus, what a
// failed check leaves written, and what the Setting command sends.

#include <gtest/gtest.h>

#include <QString>
#include <string>

#include "log/log_dlg.h"
#include "tests/support/simulated_input.h"
#include "tests/ui/collection_support.h"
#include "tests/ui/window_fixture.h"

namespace quorin::testing {
namespace {

using res::kChannels;

class CollectionTest : public WindowFixture {
  protected:
    // Lists and shows a board, and opens a log window so that log lines can be read.
    void show(const BoardRow& row) {
        addBoard(row);
        click(Dlg(), res::IDC_VIEW_LOG);
        ASSERT_NE(App().logWindow(), nullptr);
    }
    void showQuorin712P() { show(sample_row(2)); }

    BoardRow& W() { return Core().working; }
    QStringList logLines() { return App().logWindow()->lines(); }
    int setRequestLines() { return static_cast<int>(logLines().count(ui(text::kLogSetRequest))); }
    static QString ui(std::string_view s) {
        return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
    }

    // True when no datagram reaches either board socket within a short wait.
    bool nothingSent() {
        return !receive_datagram(*mainBoard, 200) && !receive_datagram(*legacyBoard, 50);
    }

    // Types the three trigger texts with SW chosen.
    void typeTriggers(const char* a, const char* b, const char* c) {
        click(Dlg(), res::IDC_SERIAL_SW);
        simulate_type(Dlg(), res::IDC_TRIGGER1, a);
        simulate_type(Dlg(), res::IDC_TRIGGER2, b);
        simulate_type(Dlg(), res::IDC_TRIGGER3, c);
    }

    // Puts the focus somewhere harmless and records where it is while each message is shown,
    // so a test can tell that the focus moved only after the box had closed.
    void watchFocusAtMessage() {
        Dlg().setFocusTo(kChannels[0].local_port);
        messages.on_show = [this](const QString&) { focus_at_message = Dlg().focusedId(); };
    }
    int focus_at_message = -2;
};

// --- trigger characters ---------------------------------------------------------------------

TEST_F(CollectionTest, TriggerTextOfWrongLengthStopsBeforeAnythingIsStoredOrSent) {
    showQuorin712P();
    W().trigger_chars = {0xA1, 0xA2, 0xA3};
    const OperationState state = Core().operation_state();
    typeTriggers("1", "22", "33");
    watchFocusAtMessage();

    click(Dlg(), res::IDC_SETTING);

    EXPECT_EQ(messages.shown, QStringList{ui(text::kTriggerInvalid)});
    EXPECT_EQ(focus_at_message, kChannels[0].local_port);
    EXPECT_EQ(Dlg().focusedId(), res::IDC_TRIGGER1);
    EXPECT_EQ(W().serial_command_method, 2);
    EXPECT_EQ(W().trigger_chars, (std::array<std::uint8_t, 3>{0xA1, 0xA2, 0xA3}));
    for (int id : res::kTriggerIds) EXPECT_TRUE(Dlg().isEnabled(id)) << id;
    EXPECT_TRUE(nothingSent());
    EXPECT_EQ(Core().operation_state(), state);
    EXPECT_EQ(setRequestLines(), 0);
}

TEST_F(CollectionTest, TriggerLengthsAreCheckedInOrderBeforeAnyConversion) {
    struct Case {
        const char *a, *b, *c;
        int focus;
    };
    const Case cases[] = {
        {"1", "22", "33", res::IDC_TRIGGER1},
        {"11", "", "33", res::IDC_TRIGGER2},
        {"GG", "22", "333", res::IDC_TRIGGER3},  // the length check comes first
        {"11", "2222", "", res::IDC_TRIGGER2},
    };
    showQuorin712P();
    for (const auto& c : cases) {
        messages.shown.clear();
        W().trigger_chars = {};
        typeTriggers(c.a, c.b, c.c);
        EXPECT_FALSE(Dlg().CollectSettings());
        EXPECT_EQ(messages.shown, QStringList{ui(text::kTriggerInvalid)}) << c.a << c.b << c.c;
        EXPECT_EQ(Dlg().focusedId(), c.focus) << c.a << c.b << c.c;
        EXPECT_EQ(W().trigger_chars, (std::array<std::uint8_t, 3>{})) << c.a << c.b << c.c;
    }
}

TEST_F(CollectionTest, ValidTriggersAreStoredAndTheEditsDisabledWithSwStillChosen) {
    showQuorin712P();
    typeTriggers("2b", "2B", "7e");

    click(Dlg(), res::IDC_SETTING);

    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(W().serial_command_method, 2);
    EXPECT_EQ(W().trigger_chars, (std::array<std::uint8_t, 3>{0x2B, 0x2B, 0x7E}));
    EXPECT_TRUE(Dlg().isChecked(res::IDC_SERIAL_SW));
    for (int id : res::kTriggerIds) EXPECT_FALSE(Dlg().isEnabled(id)) << id;
    EXPECT_TRUE(receive_datagram(*mainBoard).has_value());
}

TEST_F(CollectionTest, NonHexTriggerStopsWithTheEarlierBytesAlreadyStored) {
    showQuorin712P();
    W().trigger_chars = {0xA1, 0xA2, 0xA3};
    typeTriggers("41", "4G", "43");
    watchFocusAtMessage();

    click(Dlg(), res::IDC_SETTING);

    EXPECT_EQ(messages.shown, QStringList{ui(text::kTriggerNotHex)});
    EXPECT_EQ(focus_at_message, kChannels[0].local_port);
    EXPECT_EQ(Dlg().focusedId(), res::IDC_TRIGGER2);
    EXPECT_EQ(W().trigger_chars, (std::array<std::uint8_t, 3>{0x41, 0xA2, 0xA3}));
    for (int id : res::kTriggerIds) EXPECT_TRUE(Dlg().isEnabled(id)) << id;
    EXPECT_TRUE(nothingSent());
    EXPECT_EQ(setRequestLines(), 0);
}

TEST_F(CollectionTest, HwOrDisableLeavesTriggersAndDisablesTheEdits) {
    struct Case {
        int radio;
        int method;
    };
    showQuorin712P();
    for (const Case c : {Case{res::IDC_SERIAL_HW, 1}, Case{res::IDC_SERIAL_DISABLE, 0}}) {
        click(Dlg(), c.radio);
        for (int id : res::kTriggerIds) {
            Dlg().enable(id, true);
            Dlg().setText(id, "ZZ");  // not read without SW
        }
        W().trigger_chars = {0xA1, 0xA2, 0xA3};

        EXPECT_TRUE(Dlg().CollectSettings());

        EXPECT_EQ(W().serial_command_method, c.method);
        EXPECT_EQ(W().trigger_chars, (std::array<std::uint8_t, 3>{0xA1, 0xA2, 0xA3}));
        for (int id : res::kTriggerIds) EXPECT_FALSE(Dlg().isEnabled(id)) << id;
        EXPECT_TRUE(messages.shown.isEmpty());
    }
}

// --- packing characters ---------------------------------------------------------------------

TEST_F(CollectionTest, EmptyPackingCharacterOfChannel3StopsAfterChannels1And2) {
    showQuorin712P();
    simulate_type(Dlg(), kChannels[0].packing_char, "1b");
    simulate_type(Dlg(), kChannels[1].packing_char, "5");
    simulate_type(Dlg(), kChannels[2].packing_char, "");
    watchFocusAtMessage();

    click(Dlg(), res::IDC_SETTING);

    EXPECT_EQ(messages.shown, QStringList{ui(text::kPackingCharEmpty[2])});
    EXPECT_EQ(focus_at_message, kChannels[0].local_port);
    EXPECT_EQ(Dlg().focusedId(), 1221);
    EXPECT_EQ(W().channel[0].packing_char, 0x1B);
    EXPECT_EQ(W().channel[1].packing_char, 0x50);
    EXPECT_EQ(W().channel[2].packing_char, 0);  // still the start-up value
    EXPECT_EQ(W().channel[3].packing_char, 0);
    for (const ChannelBlock& c : W().channel) {
        EXPECT_EQ(c.packing_size, 0u);
        EXPECT_EQ(c.packing_time, 0u);
        EXPECT_EQ(c.inactivity_time, 0u);
    }
    // Everything before the packing characters is already written.
    EXPECT_EQ(W().channel[1].flow_control, 1);
    EXPECT_EQ(W().mac_address, sample_row(2).mac_address);
    EXPECT_EQ(W().channel[1].local_port, 4002u);
    EXPECT_TRUE(nothingSent());
    EXPECT_EQ(Core().operation_state(), OperationState::Search);
    EXPECT_EQ(setRequestLines(), 0);
}

TEST_F(CollectionTest, PackingCharacterChecksGiveTheChannelsMessageAndFocus) {
    struct Case {
        int channel;  // 0-based
        const char* typed;
        bool empty;
    };
    const Case cases[] = {
        {0, "", true},    {1, "", true},    {3, "", true},    {0, "g0", false},
        {1, "0x", false}, {2, " 1", false}, {3, "-1", false},
    };
    showQuorin712P();
    for (const auto& c : cases) {
        for (const auto& ids : kChannels) Dlg().setText(ids.packing_char, "00");
        simulate_type(Dlg(), kChannels[c.channel].packing_char, c.typed);
        messages.shown.clear();

        EXPECT_FALSE(Dlg().CollectSettings());

        const auto& expected =
            c.empty ? text::kPackingCharEmpty[c.channel] : text::kPackingCharInvalid[c.channel];
        EXPECT_EQ(messages.shown, QStringList{ui(expected)}) << c.channel << c.typed;
        EXPECT_EQ(Dlg().focusedId(), kChannels[c.channel].packing_char) << c.channel << c.typed;
    }
}

TEST_F(CollectionTest, PackingCharacterTextsConvertWithoutALengthCheck) {
    struct Case {
        const char* typed;
        std::uint8_t byte;
    };
    const Case cases[] = {{"5", 0x50}, {"00", 0x00}, {"0D", 0x0D}, {"0d", 0x0D}, {"123", 0x13}};
    showQuorin712P();
    for (const auto& c : cases) {
        simulate_type(Dlg(), kChannels[3].packing_char, c.typed);
        EXPECT_TRUE(Dlg().CollectSettings()) << c.typed;
        EXPECT_EQ(W().channel[3].packing_char, c.byte) << c.typed;
    }
    EXPECT_TRUE(messages.shown.isEmpty());
}

// --- conversions of the other controls ------------------------------------------------------

TEST_F(CollectionTest, ModelNameOutsideTheProductTableKeepsTheProductCode) {
    BoardRow unknown = sample_row(3);
    unknown.product_code = {0x00, 0x09};
    show(unknown);
    ASSERT_EQ(Dlg().text(res::IDC_PRODUCT_CODE), QString());
    W().product_code = {0x00, 0x05};

    EXPECT_TRUE(Dlg().CollectSettings());
    EXPECT_EQ(W().product_code, (std::array<std::uint8_t, 2>{0x00, 0x05}));
    EXPECT_EQ(W().mac_address, unknown.mac_address);
}

TEST_F(CollectionTest, BaudCodeFollowsTheShownFirmwareVersion) {
    struct Case {
        std::uint8_t minor;  // firmware 1.5.x
        const char* baud;
        std::uint8_t code;
    };
    const Case cases[] = {
        {53, "230400", 8}, {52, "115200", 8}, {52, "600", 7}, {53, "600", 9}, {53, "115200", 0},
    };
    std::uint8_t board = 0;
    for (const auto& c : cases) {
        // A board of its own for each case (a board listed again is not decoded again), shown
        // by selecting its entry.
        BoardRow row = sample_row(2);
        row.mac_address[5] = ++board;
        row.firmware_minor = c.minor;
        const int entry = addBoard(row);
        simulate_select(Dlg(), res::IDC_BOARD_LIST, entry);
        ASSERT_EQ(Dlg().text(res::IDC_FIRMWARE_VERSION), QString("1.5.%1").arg(c.minor % 10));
        const int index =
            static_cast<int>(Dlg().comboItems(kChannels[0].baud_rate).indexOf(c.baud));
        ASSERT_GE(index, 0) << c.baud;
        simulate_select(Dlg(), kChannels[0].baud_rate, index);

        EXPECT_TRUE(Dlg().CollectSettings());
        EXPECT_EQ(W().firmware_major, 1);
        EXPECT_EQ(W().firmware_minor, c.minor);
        EXPECT_EQ(W().channel[0].baud_rate, c.code) << "1.5." << (c.minor % 10) << " " << c.baud;
    }
}

TEST_F(CollectionTest, ParityIsReadByTextAndUnknownTextLeavesIt) {
    showQuorin712P();
    W().channel[0].parity = 2;
    W().channel[1].parity = 0;
    simulate_type(Dlg(), kChannels[0].parity, "Space");
    // Channel 2 shows 7 data bits: "Odd" is index 0 of its list but parity code 1.
    simulate_select(Dlg(), kChannels[1].data_bits, 0);
    ASSERT_EQ(Dlg().text(kChannels[1].parity), "Odd");

    EXPECT_TRUE(Dlg().CollectSettings());
    EXPECT_EQ(W().channel[0].parity, 2);
    EXPECT_EQ(W().channel[1].parity, 1);
    EXPECT_EQ(W().channel[1].data_bits, 0);
}

TEST_F(CollectionTest, NumericTextsAreReadWithoutChecks) {
    struct Case {
        const char* typed;
        std::uint32_t value;
    };
    const Case cases[] = {{"abc", 0},      {"-1", 0xFFFFFFFFu}, {"70000", 70000},
                          {" 8080", 8080}, {"12ab", 12},        {"", 0}};
    showQuorin712P();
    for (const auto& c : cases) {
        simulate_type(Dlg(), kChannels[0].local_port, c.typed);
        simulate_type(Dlg(), kChannels[1].remote_port, c.typed);
        simulate_type(Dlg(), kChannels[2].packing_size, c.typed);
        simulate_type(Dlg(), kChannels[3].inactivity_time, c.typed);
        EXPECT_TRUE(Dlg().CollectSettings()) << c.typed;
        EXPECT_EQ(W().channel[0].local_port, c.value) << c.typed;
        EXPECT_EQ(W().channel[1].remote_port, c.value) << c.typed;
        EXPECT_EQ(W().channel[2].packing_size, c.value) << c.typed;
        EXPECT_EQ(W().channel[3].inactivity_time, c.value) << c.typed;
    }
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(CollectionTest, LongDomainNameAndPasswordAreCutTo31Characters) {
    showQuorin712P();
    const QString forty = QString(40, QChar('d'));
    simulate_type(Dlg(), kChannels[0].domain_name, forty);
    simulate_type(Dlg(), res::IDC_PPPOE_PW, QString(40, QChar('p')));

    EXPECT_TRUE(Dlg().CollectSettings());
    EXPECT_EQ(W().channel[0].domain_name, text_field(std::string(31, 'd')));
    EXPECT_EQ(W().pppoe_password, text_field(std::string(31, 'p')));
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(CollectionTest, ShorterTextsLeaveTheEarlierTailAfterTheirZeroByte) {
    showQuorin712P();
    click(Dlg(), res::IDC_PPPOE);
    simulate_type(Dlg(), res::IDC_PPPOE_ID, "abcdefgh");
    simulate_type(Dlg(), kChannels[0].domain_name, "abcdef");
    ASSERT_TRUE(Dlg().CollectSettings());

    simulate_type(Dlg(), res::IDC_PPPOE_ID, "wxyz");
    simulate_type(Dlg(), kChannels[0].domain_name, "ab");
    ASSERT_TRUE(Dlg().CollectSettings());

    const std::string id_bytes("wxyz\0fgh", 8);
    const std::string domain_bytes("ab\0def", 6);
    EXPECT_EQ(W().pppoe_id, text_field(id_bytes));
    EXPECT_EQ(W().channel[0].domain_name, text_field(domain_bytes));
}

TEST_F(CollectionTest, OperationAndDataModeFromTheRadios) {
    showQuorin712P();
    // Channel 1: both operation radios cleared; channel 2: Client; channel 3: Server.
    Dlg().setCheck(kChannels[0].server, false);
    Dlg().setCheck(kChannels[0].client, false);
    click(Dlg(), kChannels[1].client);
    click(Dlg(), kChannels[2].server);
    // Raw mode cleared with and without Telnet mode checked; channel 3 Raw.
    Dlg().setCheck(kChannels[0].raw_mode, false);
    Dlg().setCheck(kChannels[0].telnet_mode, false);
    click(Dlg(), kChannels[1].telnet_mode);
    click(Dlg(), kChannels[2].raw_mode);

    EXPECT_TRUE(Dlg().CollectSettings());
    EXPECT_EQ(W().channel[0].operation_mode, 2);
    EXPECT_EQ(W().channel[1].operation_mode, 1);
    EXPECT_EQ(W().channel[2].operation_mode, 0);
    EXPECT_EQ(W().channel[0].data_mode, 1);
    EXPECT_EQ(W().channel[1].data_mode, 1);
    EXPECT_EQ(W().channel[2].data_mode, 0);
}

TEST_F(CollectionTest, IpModeAndAddressesFromTheRadiosAndAddressControls) {
    struct Case {
        int radio;
        std::uint8_t mode;
    };
    showQuorin712P();
    for (const Case c :
         {Case{res::IDC_STATIC_IP, 0}, Case{res::IDC_DHCP, 1}, Case{res::IDC_PPPOE, 2}}) {
        click(Dlg(), c.radio);
        Dlg().setText(res::IDC_LOCAL_IP, "10.20.30.40");
        Dlg().setText(res::IDC_GATEWAY, "10.20..1");  // a blank field reads 0
        EXPECT_TRUE(Dlg().CollectSettings());
        EXPECT_EQ(W().ip_mode, c.mode);
        EXPECT_EQ(W().local_ip, (std::array<std::uint8_t, 4>{10, 20, 30, 40}));
        EXPECT_EQ(W().gateway_ip, (std::array<std::uint8_t, 4>{10, 20, 0, 1}));
    }
}

// Disabled controls and the pages of channels the model does not have are read all the same.
TEST_F(CollectionTest, EveryChannelIsReadWhetherShownOrEnabled) {
    show(sample_row(5));  // BRV406H: one channel, its parity combo and UDP box disabled
    ASSERT_FALSE(Dlg().isEnabled(kChannels[0].parity));
    ASSERT_FALSE(Dlg().isEnabled(kChannels[0].udp));
    Dlg().comboSetCurSel(kChannels[0].parity, 1);  // "Even" of the 7-bit list
    Dlg().setCheck(kChannels[0].udp, true);
    Dlg().setText(kChannels[3].local_port, "4321");
    Dlg().setText(kChannels[3].domain_name, "four.example");
    Dlg().setCheck(kChannels[3].udp, true);
    Dlg().setText(kChannels[3].packing_char, "7f");

    EXPECT_TRUE(Dlg().CollectSettings());
    EXPECT_EQ(W().channel[0].parity, 2);
    EXPECT_EQ(W().channel[0].udp, 1);
    EXPECT_EQ(W().channel[3].local_port, 4321u);
    EXPECT_EQ(W().channel[3].domain_name, text_field("four.example"));
    EXPECT_EQ(W().channel[3].udp, 1);
    EXPECT_EQ(W().channel[3].packing_char, 0x7F);
}

TEST_F(CollectionTest, DebugModeCheckBoxIsCollected) {
    show(sample_row(5));  // BRV406H enables the box ("DDNS Enable")
    click(Dlg(), res::IDC_DEBUG_MODE);
    ASSERT_TRUE(Dlg().isChecked(res::IDC_DEBUG_MODE));
    EXPECT_TRUE(Dlg().CollectSettings());
    EXPECT_EQ(W().debug_mode, 1);
    click(Dlg(), res::IDC_DEBUG_MODE);
    EXPECT_TRUE(Dlg().CollectSettings());
    EXPECT_EQ(W().debug_mode, 0);
}

// --- the Setting command --------------------------------------------------------------------

TEST_F(CollectionTest, SettingSendsTheMainRequestSetsStateThreeAndLogs) {
    showQuorin712P();
    Core().set_done = 1;

    click(Dlg(), res::IDC_SETTING);

    const auto request = receive_datagram(*mainBoard);
    ASSERT_TRUE(request.has_value());
    ASSERT_EQ(request->size(), 402u);
    EXPECT_EQ((*request)[0], OPCODE_SET_REQUEST);
    EXPECT_EQ((*request)[1], Core().host_tag);
    EXPECT_EQ(Core().operation_state(), OperationState::Set);
    EXPECT_EQ(Core().set_done, 0);
    EXPECT_EQ(setRequestLines(), 1);
    EXPECT_EQ(logLines().last(), ui(text::kLogSetRequest));
    EXPECT_FALSE(receive_datagram(*legacyBoard, 50).has_value());
}

TEST_F(CollectionTest, SettingALegacyBoardSendsOneSettDatagram) {
    show(sample_row(4));

    click(Dlg(), res::IDC_SETTING);

    const auto request = receive_datagram(*legacyBoard);
    ASSERT_TRUE(request.has_value());
    ASSERT_EQ(request->size(), 120u);
    EXPECT_EQ(std::string(request->begin(), request->begin() + 4), "SETT");
    EXPECT_EQ(Core().operation_state(), OperationState::Set);
    EXPECT_EQ(setRequestLines(), 1);
    EXPECT_FALSE(receive_datagram(*mainBoard, 50).has_value());
}

TEST_F(CollectionTest, TwoPressesSendTwoIdenticalRequestsEachClearingSetDone) {
    showQuorin712P();
    // The host tag comes from a lookup of its own; both requests must carry the same one.
    ASSERT_TRUE(waitFor([&] { return App().hostTagKnown(); }, 10000));
    Core().set_done = 1;
    click(Dlg(), res::IDC_SETTING);
    EXPECT_EQ(Core().set_done, 0);
    const auto first = receive_datagram(*mainBoard);

    Core().set_done = 1;
    click(Dlg(), res::IDC_SETTING);
    EXPECT_EQ(Core().set_done, 0);
    const auto second = receive_datagram(*mainBoard);

    ASSERT_TRUE(first.has_value());
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(*first, *second);
    EXPECT_EQ(setRequestLines(), 2);
    EXPECT_FALSE(receive_datagram(*mainBoard, 100).has_value());
}

}  // namespace
}  // namespace quorin::testing
