// The board display: boards are listed through the reply dispatcher, which selects the first
// entry and shows it after every search reply.
#include <QElapsedTimer>
#include <cstdio>

#include "tests/support/core_states.h"
#include "tests/support/simulated_input.h"
#include "tests/ui/board_rows.h"
#include "tests/ui/window_fixture.h"

namespace quorin::testing {
namespace {

using namespace res;

class BoardDisplay : public WindowFixture {
  protected:
    // Lists `row` as the only board and shows it.
    void showOnly(const BoardRow& row) {
        Dlg().listReset(IDC_BOARD_LIST);
        Core().send_data(OPCODE_SEARCH_REQUEST);  // clears the table without sending anything
        addBoard(row);
        ASSERT_EQ(Dlg().listCurSel(IDC_BOARD_LIST), 0);
    }
    const ChannelIds& page(int n) { return kChannels[static_cast<std::size_t>(n - 1)]; }
};

TEST_F(BoardDisplay, ShowsTheSelectedBoardsGeneralSettings) {
    BoardRow row = board_row(product::kQuorin712P, 7, 1, 62);
    row.local_ip = {192, 168, 1, 2};
    row.subnet_mask = {255, 255, 0, 0};
    row.gateway_ip = {192, 168, 1, 254};
    row.dns_server_ip = {168, 126, 63, 1};
    addBoard(row);

    EXPECT_EQ(Dlg().listItems(IDC_BOARD_LIST), QStringList{"00:08:DC:00:02:07"});
    EXPECT_TRUE(Dlg().isEnabled(IDC_SETTING));
    EXPECT_TRUE(Dlg().isEnabled(IDC_UPLOAD));
    EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), "Quorin712P");
    EXPECT_EQ(Dlg().modelName(), "Quorin712P");
    EXPECT_EQ(Dlg().text(IDC_FIRMWARE_VERSION), "1.6.2");
    EXPECT_EQ(Dlg().firmwareVersionText(), "1.6.2");
    EXPECT_EQ(Dlg().text(IDC_LOCAL_IP), "192.168.1.2");
    EXPECT_EQ(Dlg().text(IDC_SUBNET_MASK), "255.255.0.0");
    EXPECT_EQ(Dlg().text(IDC_GATEWAY), "192.168.1.254");
    EXPECT_EQ(Dlg().text(IDC_DNS_SERVER_IP), "168.126.63.1");
}

struct ModelCase {
    std::uint8_t product;
    QString name;
    int tabs;
    int channels_shown;
};

TEST_F(BoardDisplay, ModelDecidesNameTabsAndChannelsShown) {
    const ModelCase cases[] = {
        {product::kQuorin712PT, "Quorin712P-T", 3, 3},
        {product::kQuorin712P, "Quorin712P", 4, 4},
        {product::kQuorin712PD, "Quorin712PD", 1, 1},
        {product::k5836KL, "5836KL", 1, 1},
        {product::kBRV406H, "BRV406H", 1, 1},
        {product::kDAVRO2xM, "DAVRO2xM", 4, 4},
        {9, "", 4, 1},
    };
    const QStringList all{"Channel #1", "Channel #2", "Channel #3", "Channel #4"};
    for (const ModelCase& c : cases) {
        SCOPED_TRACE(c.product);
        // Mark every channel so that the channels the display fills stand out.
        for (const ChannelIds& ch : kChannels) Dlg().setText(ch.local_port, "marker");
        BoardRow row = board_row(c.product, c.product);
        showOnly(row);
        EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), c.name);
        EXPECT_EQ(Dlg().tabTexts(IDC_CHANNEL_TAB), all.mid(0, c.tabs));
        EXPECT_EQ(Dlg().tabCurSel(IDC_CHANNEL_TAB), 0);
        for (int n = 1; n <= 4; ++n) {
            const QString expected =
                n <= c.channels_shown ? QString::number(5000 + n - 1) : QStringLiteral("marker");
            EXPECT_EQ(Dlg().text(page(n).local_port), expected) << "page " << n;
        }
    }
}

// The enabled state of representative controls after showing one board of each model, starting
// each time from every control enabled ("1") or every control disabled ("0"), so that "kept"
// shows as the starting state.
struct EnablingCase {
    std::uint8_t product;
    // Expected for: parity ch1, parity ch2, baud ch1, baud ch3, baud ch4, data bits ch1,
    // flow ch1, UDP ch1, Use DNS ch1, Use DNS ch2, HW radio, PPPoE radio, Debug Mode, flow ch4:
    // '1' enabled, '0' disabled, 'k' kept (the starting state).
    const char* expected;
    const char* caption;  // of 1027 ("" kept)
};

TEST_F(BoardDisplay, ModelEnablesAndDisablesControls) {
    const EnablingCase cases[] = {
        {product::kQuorin712PT, "kk00k00000000k", "Debug Mode"},
        {product::kQuorin712P, "11111111111101", "Debug Mode"},
        {product::kQuorin712PD, "1k1kk1100k100k", "Debug Mode"},
        {product::k5836KL, "1k1kk1100k100k", "Debug Mode"},
        {product::kBRV406H, "0k0kk0000k001k", "DDNS Enable"},
        {product::kDAVRO2xM, "11111111111101", "Debug Mode"},
        {9, "kkkkkkkkkkkkkk", ""},
    };
    const ChannelIds &c1 = page(1), &c2 = page(2), &c3 = page(3), &c4 = page(4);
    const int ids[] = {c1.parity,     c2.parity,       c1.baud_rate,   c3.baud_rate,   c4.baud_rate,
                       c1.data_bits,  c1.flow_control, c1.udp,         c1.use_dns,     c2.use_dns,
                       IDC_SERIAL_HW, IDC_PPPOE,       IDC_DEBUG_MODE, c4.flow_control};
    for (const EnablingCase& c : cases) {
        for (bool start : {true, false}) {
            SCOPED_TRACE(std::to_string(c.product) + (start ? " from enabled" : " from disabled"));
            for (int id : ids) Dlg().enable(id, start);
            for (int id : {IDC_SERIAL_DISABLE, IDC_SERIAL_SW}) Dlg().enable(id, start);
            Dlg().setText(IDC_DEBUG_MODE, "caption");
            showOnly(board_row(c.product, c.product));
            const std::string expected = c.expected;
            for (std::size_t i = 0; i < std::size(ids); ++i) {
                const char e = expected.at(i);
                const bool want = e == 'k' ? start : e == '1';
                EXPECT_EQ(Dlg().isEnabled(ids[i]), want) << "control " << ids[i];
            }
            for (int id : {IDC_SERIAL_DISABLE, IDC_SERIAL_SW})
                EXPECT_EQ(Dlg().isEnabled(id), Dlg().isEnabled(IDC_SERIAL_HW)) << id;
            EXPECT_EQ(Dlg().text(IDC_DEBUG_MODE), *c.caption ? QString(c.caption) : "caption");
        }
    }
}

TEST_F(BoardDisplay, QuorinPTDisablesSerialCombosOfThreeChannelsAndKeepsParity) {
    showOnly(board_row(product::kBRV406H, 1));  // disables parity of channel 1
    ASSERT_FALSE(Dlg().isEnabled(page(1).parity));
    showOnly(board_row(product::kQuorin712PT, 2));
    EXPECT_EQ(Dlg().tabCount(IDC_CHANNEL_TAB), 3);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_FALSE(Dlg().isEnabled(page(n).baud_rate)) << n;
        EXPECT_FALSE(Dlg().isEnabled(page(n).data_bits)) << n;
        EXPECT_FALSE(Dlg().isEnabled(page(n).flow_control)) << n;
    }
    EXPECT_FALSE(Dlg().isEnabled(page(1).parity));
    EXPECT_TRUE(Dlg().isEnabled(page(2).parity));
    EXPECT_TRUE(Dlg().isEnabled(page(4).baud_rate));
}

TEST_F(BoardDisplay, FirmwareDecidesTheBaudList) {
    const struct {
        std::uint8_t minor;
        QString text;
        int entries;
        QString code0;
    } cases[] = {
        {5, "1.5.0", 9, "57600"},
        {52, "1.5.2", 9, "57600"},
        {53, "1.5.3", 10, "115200"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        BoardRow row = board_row(product::kQuorin712P, c.minor, 1, c.minor);
        for (ChannelBlock& ch : row.channel) ch.baud_rate = 0;
        showOnly(row);
        EXPECT_EQ(Dlg().text(IDC_FIRMWARE_VERSION), c.text);
        for (const ChannelIds& ch : kChannels) {
            EXPECT_EQ(Dlg().comboItems(ch.baud_rate).size(), c.entries);
            EXPECT_EQ(Dlg().text(ch.baud_rate), c.code0);
        }
    }
}

TEST_F(BoardDisplay, BaudCodesMapToListIndexes) {
    const struct {
        std::uint8_t minor;  // 52: version 152, 62: version 162
        std::uint8_t code;
        int index;
        QString text;
    } cases[] = {
        {62, 9, 0, "600"},    {62, 8, 9, "230400"}, {62, 7, 1, "1200"},
        {62, 4, 4, "9600"},   {62, 10, -1, ""},     {52, 7, 0, "600"},
        {52, 8, 8, "115200"}, {52, 9, 8, "115200"}, {52, 3, 4, "9600"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.minor) + "/" + std::to_string(c.code));
        BoardRow row = board_row(product::kDAVRO2xM, 3, 1, c.minor);
        row.channel[1].baud_rate = c.code;
        showOnly(row);
        EXPECT_EQ(Dlg().comboCurSel(page(2).baud_rate), c.index);
        EXPECT_EQ(Dlg().text(page(2).baud_rate), c.text);
    }
}

TEST_F(BoardDisplay, DavroStopBitsFrom150AndDataModeFrom162) {
    const struct {
        std::uint8_t minor;
        bool stop_bits;
        bool data_mode;
    } cases[] = {{49, false, false}, {50, true, false}, {61, true, false}, {62, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minor);
        showOnly(board_row(product::kDAVRO2xM, c.minor, 1, c.minor));
        for (const ChannelIds& ch : kChannels) {
            EXPECT_EQ(Dlg().isEnabled(ch.stop_bits), c.stop_bits);
            EXPECT_EQ(Dlg().isEnabled(ch.raw_mode), c.data_mode);
            EXPECT_EQ(Dlg().isEnabled(ch.telnet_mode), c.data_mode);
        }
    }
}

TEST_F(BoardDisplay, SevenDataBitsOfferOddAndEvenOnly) {
    const struct {
        std::uint8_t data_bits, parity;
        QStringList list;
        int index;
        QString text;
    } cases[] = {
        {0, 2, {"Odd", "Even"}, 1, "Even"},
        {0, 1, {"Odd", "Even"}, 0, "Odd"},
        {0, 0, {"Odd", "Even"}, -1, ""},
        {1, 0, {"None", "Odd", "Even"}, 0, "None"},
        {1, 2, {"None", "Odd", "Even"}, 2, "Even"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.data_bits) + "/" + std::to_string(c.parity));
        BoardRow row = board_row(product::kQuorin712P, 4);
        row.channel[0].data_bits = c.data_bits;
        row.channel[0].parity = c.parity;
        showOnly(row);
        EXPECT_EQ(Dlg().comboCurSel(page(1).data_bits), c.data_bits);
        EXPECT_EQ(Dlg().comboItems(page(1).parity), c.list);
        EXPECT_EQ(Dlg().comboCurSel(page(1).parity), c.index);
        EXPECT_EQ(Dlg().text(page(1).parity), c.text);
    }
}

TEST_F(BoardDisplay, RtsOnlyExistsOnlyForDavro) {
    const struct {
        std::uint8_t product;
        QStringList list;
        int index;
    } cases[] = {
        {product::kQuorin712P, {"None", "Xon/Xoff", "CTS/RTS"}, -1},
        {product::kQuorin712PD, {"None", "Xon/Xoff", "CTS/RTS"}, -1},
        {product::kDAVRO2xM, {"None", "Xon/Xoff", "CTS/RTS", "RTSOnly"}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.product);
        BoardRow row = board_row(c.product, 5);
        row.channel[0].flow_control = 3;
        showOnly(row);
        for (const ChannelIds& ch : kChannels) EXPECT_EQ(Dlg().comboItems(ch.flow_control), c.list);
        EXPECT_EQ(Dlg().comboCurSel(page(1).flow_control), c.index);
    }
}

TEST_F(BoardDisplay, LegacyBoardShowsUseDnsCheckedButDisabledAndItsDomainEditable) {
    BoardRow row = board_row(product::k5836KL, 6);
    row.channel[0].domain_name = text_field({'b', 'o', 'a', 'r', 'd'});
    showOnly(row);
    EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), "5836KL");
    EXPECT_TRUE(Dlg().isChecked(page(1).use_dns));
    EXPECT_FALSE(Dlg().isEnabled(page(1).use_dns));
    EXPECT_TRUE(Dlg().isEnabled(page(1).domain_name));
    EXPECT_EQ(Dlg().text(page(1).domain_name), "board");
}

TEST_F(BoardDisplay, ListFocusShowsTheBoardAgainOnPageOne) {
    addBoard(board_row(product::kDAVRO2xM, 1));
    simulate_type(Dlg(), page(1).remote_port, "2");
    simulate_select(Dlg(), IDC_CHANNEL_TAB, 2);
    ASSERT_TRUE(Dlg().isShown(page(3).local_port));
    simulate_type(Dlg(), page(3).local_port, "1");

    simulate_focus(Dlg(), IDC_BOARD_LIST);

    EXPECT_EQ(Dlg().tabCurSel(IDC_CHANNEL_TAB), 0);
    for (std::size_t i = 0; i < kChannels.size(); ++i)
        for (int id : kChannels[i].all()) EXPECT_EQ(Dlg().isShown(id), i == 0) << id;
    EXPECT_EQ(Dlg().text(page(3).local_port), "5002");  // unsaved edits are discarded
    EXPECT_EQ(Dlg().text(page(1).remote_port), "6000");
}

TEST_F(BoardDisplay, SelectingAnotherEntryShowsItsRow) {
    addBoard(board_row(product::kQuorin712P, 1));
    BoardRow second = board_row(product::kBRV406H, 2);
    second.channel[0].local_port = 777;
    addBoard(second);
    ASSERT_EQ(Dlg().text(IDC_PRODUCT_CODE), "Quorin712P");  // the first entry after each reply
    simulate_select(Dlg(), IDC_BOARD_LIST, 1);
    EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), "BRV406H");
    EXPECT_EQ(Dlg().text(page(1).local_port), "777");
}

TEST_F(BoardDisplay, DomainSkipsZeroBytesAndPppoeStopsAtTheFirst) {
    BoardRow row = board_row(product::kQuorin712P, 8);
    for (ChannelBlock& ch : row.channel) {
        ch.use_dns = 1;
        ch.domain_name = text_field({'a', 'b', 0, 'c', 'd'});
    }
    row.pppoe_id = text_field({'a', 'b', 0, 'c', 'd'});
    row.pppoe_password = text_field({'p', 'w'});
    showOnly(row);
    for (const ChannelIds& ch : kChannels) EXPECT_EQ(Dlg().text(ch.domain_name), "abcd");
    EXPECT_EQ(Dlg().text(IDC_PPPOE_ID), "ab");
    EXPECT_EQ(Dlg().text(IDC_PPPOE_PW), "pw");
}

TEST_F(BoardDisplay, PppoeTextsAreShownOnlyForQuorin712P) {
    Dlg().setText(IDC_PPPOE_ID, "kept-id");
    Dlg().setText(IDC_PPPOE_PW, "kept-pw");
    BoardRow row = board_row(product::kDAVRO2xM, 9);  // carries PPPoE texts on the wire
    row.pppoe_id = text_field({'x'});
    row.ip_mode = 2;
    showOnly(row);
    EXPECT_EQ(Dlg().text(IDC_PPPOE_ID), "kept-id");
    EXPECT_EQ(Dlg().text(IDC_PPPOE_PW), "kept-pw");
    EXPECT_TRUE(Dlg().isEnabled(IDC_PPPOE_ID));
}

TEST_F(BoardDisplay, HexFormsOfTriggerAndPackingCharacters) {
    BoardRow row = board_row(product::kQuorin712P, 10);
    row.serial_command_method = 2;
    row.trigger_chars = {10, 0xAB, 0};
    row.channel[0].packing_char = 10;
    row.channel[3].packing_char = 0xAB;
    showOnly(row);
    EXPECT_EQ(Dlg().text(IDC_TRIGGER1), "0A");
    EXPECT_EQ(Dlg().text(IDC_TRIGGER2), "AB");
    EXPECT_EQ(Dlg().text(IDC_TRIGGER3), "00");
    EXPECT_EQ(Dlg().text(page(1).packing_char), "0a");
    EXPECT_EQ(Dlg().text(page(4).packing_char), "ab");
}

TEST_F(BoardDisplay, IpModeFromTheRow) {
    const struct {
        std::uint8_t mode;
        int checked;
        bool addresses, pppoe;
    } cases[] = {
        {0, IDC_STATIC_IP, true, false},
        {1, IDC_DHCP, false, false},
        {2, IDC_PPPOE, false, true},
        {9, IDC_PPPOE, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        Dlg().enable(IDC_DNS_SERVER_IP, c.mode % 2 == 0);  // never touched by the display
        BoardRow row = board_row(product::kDAVRO2xM, 11);
        row.ip_mode = c.mode;
        showOnly(row);
        for (int id : {IDC_STATIC_IP, IDC_DHCP, IDC_PPPOE})
            EXPECT_EQ(Dlg().isChecked(id), id == c.checked) << id;
        for (int id : {IDC_LOCAL_IP, IDC_SUBNET_MASK, IDC_GATEWAY})
            EXPECT_EQ(Dlg().isEnabled(id), c.addresses) << id;
        for (int id : {IDC_PPPOE_ID, IDC_PPPOE_PW}) EXPECT_EQ(Dlg().isEnabled(id), c.pppoe) << id;
        EXPECT_EQ(Dlg().isEnabled(IDC_DNS_SERVER_IP), c.mode % 2 == 0);
    }
}

TEST_F(BoardDisplay, SerialCommandMethodFromTheRow) {
    const struct {
        std::uint8_t method;
        int checked;
        bool triggers_enabled;
        QString trigger1;
    } cases[] = {
        {2, IDC_SERIAL_SW, true, "2B"},
        {0, IDC_SERIAL_DISABLE, false, "2B"},  // Disable and HW keep the previous texts
        {1, IDC_SERIAL_HW, false, "2B"},
        {7, IDC_SERIAL_SW, true, "2B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        BoardRow row = board_row(product::kDAVRO2xM, 12);
        row.serial_command_method = c.method;
        row.trigger_chars = {0x2B, 0x2B, 0x2B};
        if (c.method == 0 || c.method == 1) row.trigger_chars = {0x11, 0x11, 0x11};
        showOnly(row);
        for (int id : {IDC_SERIAL_DISABLE, IDC_SERIAL_HW, IDC_SERIAL_SW})
            EXPECT_EQ(Dlg().isChecked(id), id == c.checked) << id;
        for (int id : kTriggerIds) EXPECT_EQ(Dlg().isEnabled(id), c.triggers_enabled) << id;
        EXPECT_EQ(Dlg().text(IDC_TRIGGER1), c.trigger1);
    }
}

TEST_F(BoardDisplay, TriggerFieldsFollowTheMethodEvenWhereTheModelDisablesTheRadios) {
    BoardRow row = board_row(product::kQuorin712PT, 13);
    row.serial_command_method = 2;
    showOnly(row);
    EXPECT_FALSE(Dlg().isEnabled(IDC_SERIAL_SW));
    for (int id : kTriggerIds) EXPECT_TRUE(Dlg().isEnabled(id)) << id;
}

TEST_F(BoardDisplay, ChannelFieldsFromTheRow) {
    BoardRow row = board_row(product::kDAVRO2xM, 14);
    ChannelBlock& ch = row.channel[2];
    ch.operation_mode = 1;
    ch.data_mode = 1;
    ch.udp = 1;
    ch.connection_status = 5;
    ch.local_port = 65535;
    ch.remote_port = 1;
    ch.remote_ip = {172, 16, 0, 9};
    ch.stop_bits = 3;
    ch.packing_size = 1024;
    ch.packing_time = 65000;
    ch.inactivity_time = 30;
    showOnly(row);
    const ChannelIds& p = page(3);
    EXPECT_FALSE(Dlg().isChecked(p.server));
    EXPECT_TRUE(Dlg().isChecked(p.client));
    EXPECT_FALSE(Dlg().isChecked(p.raw_mode));
    EXPECT_TRUE(Dlg().isChecked(p.telnet_mode));
    EXPECT_TRUE(Dlg().isChecked(p.udp));
    EXPECT_EQ(Dlg().text(p.status), "Connected");
    EXPECT_EQ(Dlg().text(p.local_port), "65535");
    EXPECT_EQ(Dlg().text(p.remote_port), "1");
    EXPECT_EQ(Dlg().text(p.remote_ip), "172.16.0.9");
    EXPECT_EQ(Dlg().text(p.stop_bits), "2");
    EXPECT_EQ(Dlg().text(p.packing_size), "1024");
    EXPECT_EQ(Dlg().text(p.packing_time), "65000");
    EXPECT_EQ(Dlg().text(p.inactivity_time), "30");
    EXPECT_EQ(Dlg().text(page(2).status), "Not Connected");
    EXPECT_TRUE(Dlg().isChecked(page(2).raw_mode));
}

TEST_F(BoardDisplay, OperationModesAndOutOfRangeCodes) {
    const struct {
        std::uint8_t mode;
        bool server, client;
    } cases[] = {{0, true, false}, {1, false, true}, {2, false, false}, {3, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        // Start from "Client" checked so that an untouched pair shows.
        Dlg().setCheck(page(1).server, false);
        Dlg().setCheck(page(1).client, true);
        BoardRow row = board_row(product::kDAVRO2xM, 15);
        row.channel[0].operation_mode = c.mode;
        row.channel[0].data_bits = 4;  // beyond the list: no selection
        row.channel[0].stop_bits = 4;
        row.channel[0].data_mode = 7;  // anything but 1 is raw
        showOnly(row);
        const bool untouched = c.mode > 2;
        EXPECT_EQ(Dlg().isChecked(page(1).server), untouched ? false : c.server);
        EXPECT_EQ(Dlg().isChecked(page(1).client), untouched ? true : c.client);
        EXPECT_EQ(Dlg().comboCurSel(page(1).data_bits), -1);
        EXPECT_EQ(Dlg().comboCurSel(page(1).stop_bits), -1);
        EXPECT_TRUE(Dlg().isChecked(page(1).raw_mode));
    }
}

TEST_F(BoardDisplay, UntouchedControlsKeepTheirStateAcrossBoards) {
    showOnly(board_row(product::kDAVRO2xM, 16, 1, 49));
    ASSERT_FALSE(Dlg().isEnabled(page(1).stop_bits));
    Dlg().setCheck(IDC_DEBUG_MODE, true);

    showOnly(board_row(product::kQuorin712P, 17));
    for (const ChannelIds& ch : kChannels) EXPECT_FALSE(Dlg().isEnabled(ch.stop_bits));
    EXPECT_TRUE(Dlg().isChecked(IDC_DEBUG_MODE));

    showOnly(board_row(product::kQuorin712PD, 18));
    EXPECT_EQ(Dlg().text(page(4).local_port), "5003");  // from the Quorin712P, not refilled
    EXPECT_TRUE(Dlg().isChecked(IDC_DEBUG_MODE));
}

TEST_F(BoardDisplay, ListsOfChannelsNotShownKeepTheirSelection) {
    showOnly(board_row(product::kQuorin712P, 19));
    const int baud = Dlg().comboCurSel(page(2).baud_rate);
    const int flow = Dlg().comboCurSel(page(2).flow_control);
    ASSERT_NE(baud, -1);
    ASSERT_NE(flow, -1);
    showOnly(board_row(product::kQuorin712PD, 20));
    EXPECT_EQ(Dlg().comboCurSel(page(2).baud_rate), baud);
    EXPECT_EQ(Dlg().comboCurSel(page(2).flow_control), flow);
    EXPECT_EQ(Dlg().comboItems(page(2).baud_rate).size(), 10);
    EXPECT_EQ(Dlg().comboCurSel(page(2).parity), 0);  // parity is refilled only where shown

    // So a Setting sends the codes the hidden channel held, never 255 for "no selection".
    ASSERT_TRUE(Dlg().CollectSettings());
    EXPECT_NE(Core().working.channel[1].flow_control, 255);
    EXPECT_EQ(Core().working.channel[1].flow_control, flow);

    // A selected entry that the new list lacks ("230400" on older firmware) gives way to the
    // board's own value for that channel, never to no selection.
    Dlg().comboSetCurSel(page(4).baud_rate, 9);
    BoardRow older = board_row(product::kQuorin712PD, 21, 1, 52);
    older.channel[3].baud_rate = 3;  // "9600" below 1.5.3
    showOnly(older);
    EXPECT_EQ(Dlg().comboItems(page(4).baud_rate).size(), 9);
    EXPECT_EQ(Dlg().text(page(4).baud_rate), "9600");
}

TEST_F(BoardDisplay, ShowingABoardEnablesUploadAgain) {
    addBoard(board_row(product::kQuorin712P, 21));
    Dlg().enable(IDC_UPLOAD, false);  // as during a firmware transfer
    simulate_focus(Dlg(), IDC_BOARD_LIST);
    EXPECT_TRUE(Dlg().isEnabled(IDC_UPLOAD));
}

TEST_F(BoardDisplay, WithoutASelectionNothingChanges) {
    addBoard(board_row(product::kQuorin712P, 22));
    Dlg().listReset(IDC_BOARD_LIST);
    Dlg().enable(IDC_SETTING, false);
    Dlg().setText(IDC_PRODUCT_CODE, "unchanged");
    Dlg().OnBoardDisplay();
    EXPECT_FALSE(Dlg().isEnabled(IDC_SETTING));
    EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), "unchanged");
}

TEST_F(BoardDisplay, ADuplicateReplyAfterTheOperatorChoseABoardKeepsTheirChoice) {
    addBoard(board_row(product::kQuorin712P, 23));
    addBoard(board_row(product::kBRV406H, 24));
    simulate_select(Dlg(), IDC_BOARD_LIST, 1);
    ASSERT_EQ(Dlg().text(IDC_PRODUCT_CODE), "BRV406H");
    addBoard(board_row(product::kBRV406H, 24));  // answers twice
    EXPECT_EQ(Dlg().listCount(IDC_BOARD_LIST), 2);
    EXPECT_EQ(Dlg().listCurSel(IDC_BOARD_LIST), 1);
    EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), "BRV406H");
}

// 200 boards answer one search: the first is shown, the others listed.
TEST_F(BoardDisplay, TwoHundredRepliesAreShownQuickly) {
    std::vector<std::vector<std::uint8_t>> replies;
    for (int i = 0; i < ConfigCore::kMaxBoards; ++i) {
        BoardRow row = board_row(static_cast<std::uint8_t>(1 + i % 6), static_cast<std::uint8_t>(i),
                                 1, static_cast<std::uint8_t>(40 + i % 30));
        row.mac_address[3] = static_cast<std::uint8_t>(i >> 8);
        if (row.product_code[1] == product::k5836KL) row.product_code[1] = product::kDAVRO2xM;
        replies.push_back(encode_main_datagram(row, OPCODE_SEARCH_REPLY, 0));
    }
    Dlg().show();  // painting counts too
    testing::reach_state(Core(), OperationState::Search);
    QElapsedTimer timer;
    timer.start();
    for (const auto& bytes : replies) App().HandleDatagram(kSearchSocketTag, bytes);
    QCoreApplication::processEvents();  // the one repaint the displays asked for
    const qint64 ms = timer.elapsed();
    RecordProperty("two_hundred_displays_ms", static_cast<int>(ms));
    std::printf("200 board displays: %lld ms\n", static_cast<long long>(ms));
    EXPECT_EQ(Dlg().listCount(IDC_BOARD_LIST), ConfigCore::kMaxBoards);
    EXPECT_LT(ms, 5000);  // well under a second on an ordinary machine; loose for sanitizers
}

}  // namespace
}  // namespace quorin::testing
