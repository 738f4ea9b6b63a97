// The named-field catalogue as tables: which fields each model has, the texts and lists shown,
// and FIELD=VALUE edits with their checks.
#include "settings/field_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "res/texts.h"

namespace quorin::settings {
namespace {

BoardRow board(std::uint8_t code, std::uint8_t major = 1, std::uint8_t minor = 53) {
    BoardRow r;
    r.mac_address = {0x02, 0x51, 0, code, 0, 1};
    r.product_code = {0, code};
    r.local_ip = {10, 0, 0, 5};
    r.firmware_major = major;
    r.firmware_minor = minor;
    for (auto& ch : r.channel) {
        ch.data_bits = 1;
        ch.baud_rate = 4;
        ch.packing_char = 0x0d;
    }
    return r;
}

bool has(const BoardRow& row, const char* name) {
    return field_of(row, name).has_value();
}

std::string value(const BoardRow& row, const char* name) {
    const auto f = field_of(row, name);
    return f ? f->value : "<none>";
}

TEST(FieldCatalogue, EachModelHasTheFieldsItsLayoutCarriesOnTheWindowsPages) {
    struct Case {
        std::uint8_t code;
        const char* name;
        bool present;
    };
    const Case cases[] = {
        {1, "channel[2].baud_rate", true},
        {1, "channel[3].baud_rate", false},
        {2, "channel[3].stop_bits", true},
        {3, "channel[1].local_port", false},
        {5, "channel[0].udp", true},
        {2, "pppoe_id", true},
        {6, "pppoe_password", true},
        {1, "pppoe_id", false},
        {3, "pppoe_id", false},
        {4, "debug_mode", false},
        {4, "channel[0].stop_bits", false},
        {4, "channel[0].use_dns", false},
        {4, "channel[0].data_mode", false},
        {4, "channel[0].domain_name", true},
        {4, "channel[0].packing_size", true},
        {4, "trigger_chars[2]", true},
        {9, "channel[0].baud_rate", true},
        {9, "channel[1].baud_rate", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(has(board(c.code), c.name), c.present)
            << "product " << int(c.code) << " " << c.name;
    }
    EXPECT_FALSE(has(board(2), "channel[4].baud_rate"));
    EXPECT_FALSE(has(board(2), "no_such_field"));
    EXPECT_TRUE(is_known_name("channel[3].baud_rate"));
    EXPECT_FALSE(is_known_name("channel[4].baud_rate"));
}

TEST(FieldCatalogue, ValuesAloneAreTheFieldsNamesAndValuesInOrder) {
    for (const std::uint8_t code : {1, 2, 3, 4, 5, 6, 9}) {
        const BoardRow row = board(code, 2, 1);
        std::vector<std::pair<std::string, std::string>> described, visited;
        for (const Field& f : fields_of(row)) described.emplace_back(f.name, f.value);
        for_each_value(row, [&](std::string_view name, const std::string& value) {
            visited.emplace_back(std::string(name), value);
        });
        EXPECT_EQ(visited, described) << "product " << int(code);
    }
}

TEST(FieldCatalogue, ShowsTheWindowsTextsAndLists) {
    BoardRow old = board(6, 1, 5);  // version 150: nine baud rates
    old.channel[0].baud_rate = 0;
    old.channel[1].data_bits = 0;  // 7 bits
    old.channel[1].parity = 2;
    old.channel[2].flow_control = 3;
    old.ip_mode = 1;
    old.trigger_chars = {0x0a, 0x2b, 0xff};
    old.channel[0].domain_name = {'a', 'b', 0, 'c', 'd'};
    struct Case {
        const char* name;
        const char* text;
    };
    const Case cases[] = {
        {"model", "DAVRO2xM"},
        {"product_code", "0006"},
        {"mac_address", "02:51:00:06:00:01"},
        {"firmware_version", "1.5.0"},
        {"ip_mode", "DHCP"},
        {"local_ip", "10.0.0.5"},
        {"trigger_chars[0]", "0A"},
        {"trigger_chars[2]", "FF"},
        {"channel[0].baud_rate", "57600"},
        {"channel[1].parity", "Even"},
        {"channel[2].flow_control", "RTSOnly"},
        {"channel[0].packing_char", "0d"},
        {"channel[0].domain_name", "abcd"},
        {"channel[0].connection_status", "Not Connected"},
        {"channel[0].operation_mode", "Server"},
        {"channel[0].data_mode", "Raw mode"},
        {"debug_mode", "off"},
    };
    for (const Case& c : cases) EXPECT_EQ(value(old, c.name), c.text) << c.name;
    EXPECT_EQ(field_of(old, "channel[0].baud_rate")->choices.size(), 9u);
    EXPECT_EQ(field_of(old, "channel[1].parity")->choices.size(), 2u);

    const BoardRow newer = board(6, 1, 53);
    EXPECT_EQ(field_of(newer, "channel[0].baud_rate")->choices.size(), 10u);
    EXPECT_EQ(value(newer, "channel[0].baud_rate"), "9600");
    EXPECT_EQ(field_of(board(5), "debug_mode")->label, text::kDdnsEnableCaption);
    // Codes the lists cannot show are empty, as an unselected combo.
    BoardRow odd = board(2);
    odd.channel[0].flow_control = 3;
    odd.channel[0].baud_rate = 12;
    EXPECT_EQ(value(odd, "channel[0].flow_control"), "");
    EXPECT_EQ(value(odd, "channel[0].baud_rate"), "");
}

TEST(FieldCatalogue, EnablingFollowsTheWindow) {
    struct Case {
        BoardRow row;
        const char* name;
        bool enabled;
    };
    BoardRow dhcp = board(2);
    dhcp.ip_mode = 1;
    BoardRow sw = board(2);
    sw.serial_command_method = 2;
    BoardRow dns = board(2);
    dns.channel[1].use_dns = 1;
    const Case cases[] = {
        {board(1), "channel[0].baud_rate", false},
        {board(1), "channel[0].parity", true},
        {board(5), "channel[0].parity", false},
        {board(5), "debug_mode", true},
        {board(2), "debug_mode", false},
        {dhcp, "local_ip", false},
        {board(2), "local_ip", true},
        {dhcp, "dns_server_ip", true},
        {board(2), "trigger_chars[0]", false},
        {sw, "trigger_chars[0]", true},
        {dns, "channel[1].domain_name", true},
        {board(2), "channel[1].domain_name", false},
        {board(6, 1, 49), "channel[0].stop_bits", false},
        {board(6, 1, 5), "channel[0].stop_bits", true},
        {board(6, 1, 61), "channel[3].data_mode", false},
        {board(6, 1, 62), "channel[3].data_mode", true},
        {board(2), "firmware_version", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(field_of(c.row, c.name)->enabled, c.enabled)
            << int(c.row.product_code[1]) << " " << c.name;
    }
    const auto modes = field_of(board(3), "ip_mode")->choices;
    EXPECT_EQ(std::count(modes.begin(), modes.end(), "PPPoE"), 0);
}

TEST(FieldCatalogueEdits, ConvertValuesIntoTheRecord) {
    const BoardRow before = board(2);
    const auto r = apply_edits(before, {{"channel[0].baud_rate", "230400"},
                                        {"channel[1].parity", "Odd"},
                                        {"channel[1].data_bits", "7"},
                                        {"ip_mode", "Static"},
                                        {"gateway_ip", "10.0.0.1"},
                                        {"channel[0].packing_char", "5"},
                                        {"channel[0].udp", "on"},
                                        {"channel[0].local_port", "65535"},
                                        {"serial_command_method", "SW"},
                                        {"trigger_chars[1]", "2b"}});
    ASSERT_TRUE(r.row) << r.error;
    const BoardRow& w = *r.row;
    EXPECT_EQ(w.channel[0].baud_rate, 8);
    EXPECT_EQ(w.channel[1].data_bits, 0);
    EXPECT_EQ(w.channel[1].parity, 1);  // "Odd" of the 7-bit list, applied after data bits
    EXPECT_EQ(w.gateway_ip, (std::array<std::uint8_t, 4>{10, 0, 0, 1}));
    EXPECT_EQ(w.channel[0].packing_char, 0x50);
    EXPECT_EQ(w.channel[0].udp, 1);
    EXPECT_EQ(w.channel[0].local_port, 65535u);
    EXPECT_EQ(w.serial_command_method, 2);
    EXPECT_EQ(w.trigger_chars[1], 0x2B);
    EXPECT_EQ(w.mac_address, before.mac_address);

    const auto pppoe = apply_edits(before, {{"pppoe_id", "user"}, {"ip_mode", "PPPoE"}});
    ASSERT_TRUE(pppoe.row) << pppoe.error;
    EXPECT_EQ(value(*pppoe.row, "pppoe_id"), "user");
}

TEST(FieldCatalogueEdits, TextFieldsAreWrittenWhole) {
    BoardRow before = board(2);
    before.channel[0].use_dns = 1;
    before.channel[0].domain_name = {'a', 'b', 'c', 'd', 'e', 'f'};
    const auto r = apply_edits(before, {{"channel[0].domain_name", "xy"}});
    ASSERT_TRUE(r.row) << r.error;
    EXPECT_EQ(value(*r.row, "channel[0].domain_name"), "xy");
    EXPECT_EQ(r.row->channel[0].domain_name[3], 0);
    const auto latin = apply_edits(before, {{"channel[0].domain_name", "caf\xc3\xa9"}});
    ASSERT_TRUE(latin.row) << latin.error;
    EXPECT_EQ(latin.row->channel[0].domain_name[3], 0xE9);
    EXPECT_EQ(value(*latin.row, "channel[0].domain_name"), "caf\xc3\xa9");
}

TEST(FieldCatalogueEdits, RefuseWithAMessage) {
    BoardRow sw = board(2);
    sw.serial_command_method = 2;
    BoardRow dhcp = board(2);
    dhcp.ip_mode = 1;
    struct Case {
        BoardRow row;
        Edit edit;
        std::string message;
    };
    const Case cases[] = {
        {board(2),
         {"colour", "red"},
         "unknown field \"colour\" (quorinctl show BOARD lists the fields)"},
        {board(3),
         {"channel[1].baud_rate", "9600"},
         "model Quorin712PD has no field \"channel[1].baud_rate\""},
        {board(4),
         {"channel[0].stop_bits", "1"},
         "model 5836KL has no field \"channel[0].stop_bits\""},
        {board(2), {"mac_address", "02:00:00:00:00:01"}, "field \"mac_address\" cannot be set"},
        {board(2), {"firmware_version", "9.9.9"}, "field \"firmware_version\" cannot be set"},
        {board(2),
         {"local_ip", "10.0.0.256"},
         "local_ip: \"10.0.0.256\" is not an IPv4 address (a.b.c.d)"},
        {board(2), {"local_ip", "10.0.0"}, "local_ip: \"10.0.0\" is not an IPv4 address (a.b.c.d)"},
        {board(2, 1, 5),
         {"channel[0].baud_rate", "230400"},
         "channel[0].baud_rate: \"230400\" is not in the list of this board: 600, 1200, 2400, "
         "4800, "
         "9600, 19200, 38400, 57600, 115200"},
        {board(2), {"channel[0].udp", "yes"}, "channel[0].udp: \"yes\" must be on or off"},
        {board(2),
         {"channel[0].local_port", "65536"},
         "channel[0].local_port: \"65536\" is not a whole number from 0 to 65535"},
        {board(4),
         {"channel[0].packing_size", "256"},
         "channel[0].packing_size: \"256\" is not a whole number from 0 to 255"},
        {board(2),
         {"channel[0].local_port", "-1"},
         "channel[0].local_port: \"-1\" is not a whole number from 0 to 65535"},
        {board(2),
         {"pppoe_id", std::string(32, 'x')},
         "pppoe_id: \"" + std::string(32, 'x') + "\" is longer than 31 characters"},
        {sw, {"trigger_chars[0]", "1"}, std::string(text::kTriggerInvalid)},
        {sw, {"trigger_chars[1]", "4G"}, std::string(text::kTriggerNotHex)},
        {board(2), {"channel[2].packing_char", ""}, std::string(text::kPackingCharEmpty[2])},
        {board(2), {"channel[3].packing_char", "x"}, std::string(text::kPackingCharInvalid[3])},
        {board(5),
         {"channel[0].baud_rate", "600"},
         "field \"channel[0].baud_rate\" cannot be changed on this board: the window disables it "
         "for "
         "model BRV406H with these settings"},
        {dhcp,
         {"local_ip", "10.0.0.9"},
         "field \"local_ip\" cannot be changed on this board: the window disables it for model "
         "Quorin712P with these settings"},
        {board(2),
         {"trigger_chars[0]", "41"},
         "field \"trigger_chars[0]\" cannot be changed on this board: the window disables it for "
         "model Quorin712P with these settings"},
    };
    for (const Case& c : cases) {
        const auto r = apply_edits(c.row, {c.edit});
        EXPECT_FALSE(r.row) << c.edit.name << "=" << c.edit.value;
        EXPECT_EQ(r.error, c.message);
    }
    EXPECT_EQ(apply_edits(board(2), {{"udp", "on"}, {"udp", "off"}}).error,
              "unknown field \"udp\" (quorinctl show BOARD lists the fields)");
    EXPECT_EQ(apply_edits(board(2), {{"channel[0].udp", "on"}, {"channel[0].udp", "off"}}).error,
              "field \"channel[0].udp\" is named twice");
}

// The check that needs no board: the field's kind on any model that has it.
TEST(FieldCatalogueCheckEdit, RefusesOnlyValuesNoModelCouldTake) {
    const std::string any_baud = "600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400";
    const std::pair<Edit, std::string> cases[] = {
        // Taken: on some model with some firmware.
        {{"local_ip", "10.0.0.1"}, ""},
        {{"channel[3].local_port", "65535"}, ""},
        {{"channel[0].packing_size", "65535"}, ""},  // main-protocol boards carry 16 bits
        {{"channel[0].udp", "on"}, ""},
        {{"debug_mode", "off"}, ""},
        {{"pppoe_id", std::string(31, 'x')}, ""},
        {{"channel[0].domain_name", "Qu\xc3\xb6rin.example"}, ""},
        {{"channel[0].baud_rate", "230400"}, ""},      // from firmware 1.5.3
        {{"channel[0].flow_control", "RTSOnly"}, ""},  // DAVRO2xM only
        {{"ip_mode", "PPPoE"}, ""},
        {{"channel[0].parity", "None"}, ""},
        {{"channel[1].stop_bits", "1.5"}, ""},
        {{"channel[0].baud_rate", ""}, ""},  // left to the board, which may show it so
        {{"trigger_chars[0]", "41"}, ""},
        {{"channel[2].packing_char", "5"}, ""},
        // Refused before any board is asked.
        {{"colour", "red"}, "unknown field \"colour\" (quorinctl show BOARD lists the fields)"},
        {{"channel[4].baud_rate", "9600"},
         "unknown field \"channel[4].baud_rate\" (quorinctl show BOARD lists the fields)"},
        {{"mac_address", "02:00:00:00:00:01"}, "field \"mac_address\" cannot be set"},
        {{"channel[0].connection_status", "on"},
         "field \"channel[0].connection_status\" cannot be set"},
        {{"local_ip", "10.0.0.256"}, "local_ip: \"10.0.0.256\" is not an IPv4 address (a.b.c.d)"},
        {{"gateway_ip", "1.2.3"}, "gateway_ip: \"1.2.3\" is not an IPv4 address (a.b.c.d)"},
        {{"channel[1].remote_ip", ""},
         "channel[1].remote_ip: \"\" is not an IPv4 address (a.b.c.d)"},
        {{"channel[0].local_port", "65536"},
         "channel[0].local_port: \"65536\" is not a whole number from 0 to 65535"},
        {{"channel[0].local_port", "-1"},
         "channel[0].local_port: \"-1\" is not a whole number from 0 to 65535"},
        {{"channel[0].remote_port", "80a"},
         "channel[0].remote_port: \"80a\" is not a whole number from 0 to 65535"},
        {{"channel[0].packing_size", "65536"},
         "channel[0].packing_size: \"65536\" is not a whole number from 0 to 65535"},
        {{"channel[0].udp", "yes"}, "channel[0].udp: \"yes\" must be on or off"},
        {{"pppoe_password", std::string(32, 'x')},
         "pppoe_password: \"" + std::string(32, 'x') + "\" is longer than 31 characters"},
        {{"channel[0].domain_name", "\xe2\x82\xac"},
         "channel[0].domain_name: \"\xe2\x82\xac\" holds a character that the board cannot store "
         "(one byte per character)"},
        {{"channel[0].baud_rate", "12345"},
         "channel[0].baud_rate: \"12345\" is not in the list of any model: " + any_baud},
        {{"channel[2].flow_control", "RTS"},
         "channel[2].flow_control: \"RTS\" is not in the list of any model: None, Xon/Xoff, "
         "CTS/RTS, RTSOnly"},
        {{"ip_mode", "static"},
         "ip_mode: \"static\" is not in the list of any model: Static, DHCP, PPPoE"},
        {{"trigger_chars[0]", "1"}, std::string(text::kTriggerInvalid)},
        {{"trigger_chars[1]", "4G"}, std::string(text::kTriggerNotHex)},
        {{"channel[2].packing_char", ""}, std::string(text::kPackingCharEmpty[2])},
        {{"channel[3].packing_char", "x"}, std::string(text::kPackingCharInvalid[3])},
        // What the user typed is quoted short, control characters shown as '?'.
        {{"local_ip", std::string(100, '1')},
         "local_ip: \"" + std::string(kQuotedValueChars, '1') +
             "...\" is not an IPv4 address (a.b.c.d)"},
        {{"local_ip", "1.2.3.4\n\x1b[2J"},
         "local_ip: \"1.2.3.4??[2J\" is not an IPv4 address (a.b.c.d)"},
    };
    for (const auto& [edit, message] : cases) {
        EXPECT_EQ(check_edit(edit), message) << edit.name << "=" << edit.value;
    }
}

// The board-less check is never stricter than a board's: every value a board shows for a field
// it lets the operator set, and every entry of its lists, passes.
TEST(FieldCatalogueCheckEdit, PassesEveryValueAndEntryABoardOffers) {
    for (std::uint8_t code = 1; code <= 7; ++code) {
        for (const auto& [major, minor] : {std::pair{1, 5}, {1, 53}, {2, 1}}) {
            BoardRow row =
                board(code, static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor));
            row.ip_mode = 2;
            for (const Field& f : fields_of(row)) {
                if (!f.settable()) continue;
                EXPECT_EQ(check_edit({f.name, f.value}), "") << int(code) << " " << f.name;
                for (std::string_view c : f.choices) {
                    EXPECT_EQ(check_edit({f.name, std::string(c)}), "")
                        << int(code) << " " << f.name << "=" << c;
                }
                if (f.kind == FieldKind::Number) {
                    EXPECT_EQ(check_edit({f.name, std::to_string(f.max)}), "") << f.name;
                }
            }
        }
    }
}

// The names shell completion offers: exactly the settable fields of every model, each once.
TEST(FieldCatalogue, SettableNamesAreEveryFieldSomeModelLetsBeSet) {
    const std::vector<std::string> names = settable_field_names();
    std::set<std::string> from_boards;
    for (std::uint8_t code = 1; code <= 7; ++code) {
        for (const Field& f : fields_of(board(code))) {
            if (f.settable()) from_boards.insert(f.name);
        }
    }
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), from_boards);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    EXPECT_EQ(names.front(), "debug_mode");
    EXPECT_NE(std::find(names.begin(), names.end(), "channel[3].inactivity_time"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "mac_address"), names.end());
}

TEST(FieldCatalogueEdits, ADisabledFieldMayBeNamedWithTheValueItHolds) {
    EXPECT_TRUE(apply_edits(board(5), {{"channel[0].baud_rate", "9600"}}).row);
    BoardRow dhcp = board(2);
    dhcp.ip_mode = 1;
    const auto r = apply_edits(dhcp, {{"ip_mode", "Static"}, {"local_ip", "10.0.0.9"}});
    ASSERT_TRUE(r.row) << r.error;
    EXPECT_EQ(r.row->local_ip, (std::array<std::uint8_t, 4>{10, 0, 0, 9}));
}

// A value checked before its board is known: the checks of apply_edits but the enabling, which
// follows the board's other settings.
TEST(FieldCatalogueEdits, OneEditsErrorLeavesOutTheEnabling) {
    BoardRow dhcp = board(2);
    dhcp.ip_mode = 1;
    EXPECT_EQ(edit_error(dhcp, {"local_ip", "10.0.0.9"}), "");
    EXPECT_EQ(edit_error(board(5), {"channel[0].baud_rate", "600"}), "");
    EXPECT_EQ(edit_error(dhcp, {"local_ip", "10.0.0"}),
              "local_ip: \"10.0.0\" is not an IPv4 address (a.b.c.d)");
    EXPECT_EQ(edit_error(board(3), {"channel[1].baud_rate", "9600"}),
              "model Quorin712PD has no field \"channel[1].baud_rate\"");
    EXPECT_EQ(edit_error(board(2), {"firmware_version", "9.9.9"}),
              "field \"firmware_version\" cannot be set");
}

TEST(FieldCatalogueEdits, EveryShownValueConvertsBackToTheSameRecord) {
    for (std::uint8_t code = 1; code <= 6; ++code) {
        BoardRow row = board(code);
        row.serial_command_method = 2;
        row.ip_mode = 2;
        row.channel[0].use_dns = code == 4 ? 0 : 1;
        std::vector<Edit> edits;
        for (const Field& f : fields_of(row)) {
            if (f.settable()) edits.push_back({f.name, f.value});
        }
        const auto r = apply_edits(row, edits);
        ASSERT_TRUE(r.row) << int(code) << ": " << r.error;
        EXPECT_EQ(*r.row, row) << int(code);
    }
}

TEST(FieldCatalogue, FillsNumberedPlaces) {
    EXPECT_EQ(fill("%2 and %1, %3%", {"a", "b"}), "b and a, %3%");
}

}  // namespace
}  // namespace quorin::settings
