// The display rules as tables: models and tabs, firmware versions, combo lists and indexes, text
// forms, and the enabling by model.
#include "settings/display_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quorin::display {
namespace {

using Names = std::vector<std::string_view>;

struct ModelCase {
    std::array<std::uint8_t, 2> code;
    Model model;
    std::string_view name;
    int tabs;
    int channels_shown;
};

TEST(DisplayRules, ModelNameTabsAndChannelsPerProductCode) {
    const ModelCase cases[] = {
        {{0, 1}, Model::Quorin712PT, "Quorin712P-T", 3, 3},
        {{0, 2}, Model::Quorin712P, "Quorin712P", 4, 4},
        {{0, 3}, Model::Quorin712PD, "Quorin712PD", 1, 1},
        {{0, 4}, Model::K5836KL, "5836KL", 1, 1},
        {{0, 5}, Model::BRV406H, "BRV406H", 1, 1},
        {{0, 6}, Model::DAVRO2xM, "DAVRO2xM", 4, 4},
        {{0, 0}, Model::Unknown, "", 4, 1},
        {{0, 7}, Model::Unknown, "", 4, 1},
        {{1, 2}, Model::Unknown, "", 4, 1},  // the first byte must be 0
        {{0xFF, 0xFF}, Model::Unknown, "", 4, 1},
    };
    for (const ModelCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.code[0]) + "/" + std::to_string(c.code[1]));
        EXPECT_EQ(model_of(c.code), c.model);
        const ModelView view = model_view(c.model);
        EXPECT_EQ(view.name, c.name);
        EXPECT_EQ(view.tabs, c.tabs);
        EXPECT_EQ(view.channels_shown, c.channels_shown);
    }
}

TEST(DisplayRules, FirmwareVersionTextAndNumber) {
    const struct {
        std::uint8_t major, minor;
        std::string text;
        int number;
    } cases[] = {
        {1, 5, "1.5.0", 150},          {1, 52, "1.5.2", 152}, {1, 53, "1.5.3", 153},
        {2, 10, "2.10.0", 300},        {1, 11, "1.1.1", 111}, {0, 0, "0.0.0", 0},
        {1, 49, "1.4.9", 149},         {1, 61, "1.6.1", 161}, {1, 62, "1.6.2", 162},
        {255, 255, "255.25.5", 25755},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const FirmwareVersion v = firmware_version(c.major, c.minor);
        EXPECT_EQ(v.text, c.text);
        EXPECT_EQ(v.number, c.number);
    }
}

TEST(DisplayRules, BaudListGrowsTo230400From153) {
    const Names nine{"600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
    Names ten = nine;
    ten.push_back("230400");
    EXPECT_EQ(baud_list(0), nine);
    EXPECT_EQ(baud_list(152), nine);
    EXPECT_EQ(baud_list(153), ten);
    EXPECT_EQ(baud_list(999), ten);
}

TEST(DisplayRules, BaudCodeToIndexDependsOnFirmware) {
    const struct {
        std::uint8_t code;
        int index_new;  // version number 153 or more
        int index_old;  // below 153
    } cases[] = {
        {0, 8, 7}, {1, 7, 6}, {2, 6, 5}, {3, 5, 4}, {4, 4, 3},   {5, 3, 2},
        {6, 2, 1}, {7, 1, 0}, {8, 9, 8}, {9, 0, 8}, {10, -2, 8}, {255, -247, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.code));
        EXPECT_EQ(baud_index(c.code, 153), c.index_new);
        EXPECT_EQ(baud_index(c.code, 152), c.index_old);
    }
    // Code 0 is the fastest rate of each table.
    EXPECT_EQ(baud_list(150)[static_cast<std::size_t>(baud_index(0, 150))], "57600");
    EXPECT_EQ(baud_list(153)[static_cast<std::size_t>(baud_index(0, 153))], "115200");
}

TEST(DisplayRules, ParityListAndIndexFollowDataBits) {
    const Names odd_even{"Odd", "Even"};
    const Names full{"None", "Odd", "Even"};
    const struct {
        std::uint8_t data_bits, parity;
        Names list;
        int index;
    } cases[] = {
        {0, 0, odd_even, -1}, {0, 1, odd_even, 0}, {0, 2, odd_even, 1}, {1, 0, full, 0},
        {1, 1, full, 1},      {1, 2, full, 2},     {1, 3, full, 3},     {7, 2, full, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.data_bits) + "/" + std::to_string(c.parity));
        EXPECT_EQ(parity_list(c.data_bits), c.list);
        EXPECT_EQ(parity_index(c.data_bits, c.parity), c.index);
    }
    EXPECT_EQ(parity_list_for_index(0), odd_even);
    EXPECT_EQ(parity_list_for_index(1), full);
    EXPECT_EQ(parity_list_for_index(-1), full);
}

TEST(DisplayRules, FlowListOffersRtsOnlyOnlyForDavroAbove13) {
    const Names three{"None", "Xon/Xoff", "CTS/RTS"};
    const Names four{"None", "Xon/Xoff", "CTS/RTS", "RTSOnly"};
    const struct {
        Model model;
        int version;
        Names list;
    } cases[] = {
        {Model::DAVRO2xM, 13, three},     {Model::DAVRO2xM, 14, four},
        {Model::DAVRO2xM, 162, four},     {Model::Quorin712P, 162, three},
        {Model::Quorin712PT, 999, three}, {Model::BRV406H, 200, three},
        {Model::Unknown, 200, three},
    };
    for (const auto& c : cases) EXPECT_EQ(flow_list(c.model, c.version), c.list);
}

TEST(DisplayRules, HiddenChannelSelectionOfANegativeIndexOrAnEmptyList) {
    EXPECT_EQ(hidden_channel_selection(-1, -2, 9), 0);  // a baud code that lies before the list
    EXPECT_EQ(hidden_channel_selection(-1, 0, 0), -1);
}

TEST(DisplayRules, HiddenFlowControlStaysACodeTheNewModelAcceptsForEveryPairOfLists) {
    // Every model with the firmware versions at which its flow list changes.
    struct Shown {
        Model model;
        int version;
    };
    const Shown shown[] = {
        {Model::Unknown, 162},     {Model::Quorin712PT, 162}, {Model::Quorin712P, 162},
        {Model::Quorin712PD, 162}, {Model::K5836KL, 162},     {Model::BRV406H, 162},
        {Model::DAVRO2xM, 13},     {Model::DAVRO2xM, 14},
    };
    int pairs = 0;
    for (const Shown& from : shown) {
        for (const Shown& to : shown) {
            const Names before = flow_list(from.model, from.version);
            const Names after = flow_list(to.model, to.version);
            if (before == after) continue;
            ++pairs;
            for (int selected = 0; selected < static_cast<int>(before.size()); ++selected) {
                for (int board_code : {0, 1, 2, 3, 255}) {
                    const auto found = std::find(after.begin(), after.end(), before[selected]);
                    const int kept =
                        found == after.end() ? -1 : static_cast<int>(found - after.begin());
                    const int size = static_cast<int>(after.size());
                    const int index = hidden_channel_selection(kept, board_code, size);
                    SCOPED_TRACE(std::string(before[selected]) + " -> board code " +
                                 std::to_string(board_code));
                    // A code of the new list, never 255 for "no selection" ...
                    ASSERT_GE(index, 0);
                    ASSERT_LT(index, size);
                    // ... the same entry when the new list has it, else the board's own code.
                    if (kept >= 0) {
                        EXPECT_EQ(after[static_cast<std::size_t>(index)], before[selected]);
                    } else {
                        EXPECT_EQ(index, std::min(board_code, size - 1));
                    }
                }
            }
        }
    }
    EXPECT_EQ(pairs, 2 * 7 * 1);  // "DAVRO2xM" above 13 against each of the seven others, both ways
}

std::array<std::uint8_t, 32> field(std::initializer_list<std::uint8_t> bytes) {
    std::array<std::uint8_t, 32> f{};
    std::copy(bytes.begin(), bytes.end(), f.begin());
    return f;
}

TEST(DisplayRules, DomainSkipsEveryZeroBytePppoeStopsAtTheFirst) {
    const struct {
        std::array<std::uint8_t, 32> bytes;
        std::string domain, pppoe;
    } cases[] = {
        {field({'a', 'b', 0, 'c', 'd'}), "abcd", "ab"},
        {field({}), "", ""},
        {field({0, 'x'}), "x", ""},
        {field({'h', 'o', 's', 't'}), "host", "host"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(domain_text(c.bytes), c.domain);
        EXPECT_EQ(pppoe_text(c.bytes), c.pppoe);
    }
    std::array<std::uint8_t, 32> full{};
    full.fill('z');
    EXPECT_EQ(domain_text(full), std::string(32, 'z'));
    EXPECT_EQ(pppoe_text(full), std::string(32, 'z'));
}

TEST(DisplayRules, HexAndDottedForms) {
    const struct {
        std::uint8_t value;
        std::string upper, lower;
    } cases[] = {{0, "00", "00"}, {10, "0A", "0a"}, {0xAB, "AB", "ab"}, {0xFF, "FF", "ff"}};
    for (const auto& c : cases) {
        EXPECT_EQ(hex_upper(c.value), c.upper);
        EXPECT_EQ(hex_lower(c.value), c.lower);
    }
    EXPECT_EQ(dotted({192, 168, 1, 2}), "192.168.1.2");
    EXPECT_EQ(dotted({0, 0, 0, 0}), "0.0.0.0");
    EXPECT_EQ(dotted({255, 255, 255, 0}), "255.255.255.0");
}

TEST(DisplayRules, EnablingTableByModel) {
    const ChannelChange keep{};
    const ChannelChange en4{Change::Enable, 4}, en1{Change::Enable, 1};
    const ChannelChange dis3{Change::Disable, 3}, dis1{Change::Disable, 1};
    const struct {
        Model model;
        ChannelChange parity, serial, udp_dns, domain;
        Change method, pppoe, debug;
        std::string_view caption;
        bool stop_bits, data_mode;
    } cases[] = {
        {Model::Quorin712PT, keep, dis3, dis3, dis3, Change::Disable, Change::Disable,
         Change::Disable, "Debug Mode", false, false},
        {Model::Quorin712P, en4, en4, en4, en4, Change::Enable, Change::Enable, Change::Disable,
         "Debug Mode", false, false},
        {Model::Quorin712PD, en1, en1, dis1, en1, Change::Enable, Change::Disable, Change::Disable,
         "Debug Mode", false, false},
        {Model::K5836KL, en1, en1, dis1, en1, Change::Enable, Change::Disable, Change::Disable,
         "Debug Mode", false, false},
        {Model::BRV406H, dis1, dis1, dis1, dis1, Change::Disable, Change::Disable, Change::Enable,
         "DDNS Enable", false, false},
        {Model::DAVRO2xM, en4, en4, en4, en4, Change::Enable, Change::Enable, Change::Disable,
         "Debug Mode", true, true},
        {Model::Unknown, keep, keep, keep, keep, Change::Keep, Change::Keep, Change::Keep, "",
         false, false},
    };
    auto same = [](ChannelChange a, ChannelChange b) {
        return a.change == b.change && (a.change == Change::Keep || a.channels == b.channels);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.model));
        const ModelEnabling& e = model_enabling(c.model);
        EXPECT_TRUE(same(e.parity, c.parity));
        EXPECT_TRUE(same(e.serial, c.serial));
        EXPECT_TRUE(same(e.udp_and_use_dns, c.udp_dns));
        EXPECT_TRUE(same(e.domain, c.domain));
        EXPECT_EQ(e.command_method, c.method);
        EXPECT_EQ(e.pppoe_radio, c.pppoe);
        EXPECT_EQ(e.debug_mode, c.debug);
        EXPECT_EQ(e.debug_caption, c.caption);
        EXPECT_EQ(e.stop_bits_by_firmware, c.stop_bits);
        EXPECT_EQ(e.data_mode_by_firmware, c.data_mode);
    }
}

}  // namespace
}  // namespace quorin::display
