// The conversions of the settings collection, as tables.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "settings/collection_rules.h"
#include "settings/display_rules.h"
#include "tests/support/text_field.h"

namespace quorin::collection {
namespace {

TEST(CollectionHexText, ConvertsFirstDigitHighAndOrsLaterDigits) {
    struct Case {
        const char* text;
        std::optional<std::uint8_t> expected;
    };
    const Case cases[] = {
        {"2B", 0x2B},
        {"2b", 0x2B},
        {"7", 0x70},
        {"123", 0x13},
        {"", 0x00},
        {"00", 0x00},
        {"0D", 0x0D},
        {"ff", 0xFF},
        {"5", 0x50},
        {"1111", 0x11},
        {"A0F", 0xAF},
        {"1G", std::nullopt},
        {"G1", std::nullopt},
        {" 1", std::nullopt},
        {"-1", std::nullopt},
        {"0x", std::nullopt},
        {"\xC3\xA9", std::nullopt},  // "é"
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hex_text_to_byte(c.text), c.expected) << "text \"" << c.text << "\"";
    }
}

TEST(CollectionIntegerText, ReadsTheLeadingSignedDecimalNumber) {
    struct Case {
        const char* text;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"0", 0},
        {"34001", 34001},
        {"70000", 70000},
        {"-1", 0xFFFFFFFFu},
        {"-2", 0xFFFFFFFEu},
        {"abc", 0},
        {"", 0},
        {"   42", 42},
        {"\t-7x", 0xFFFFFFF9u},
        {"12ab", 12},  // the leading number
        {"1 2", 1},
        {"-", 0},
        {"- 5", 0},
        {"+5", 5},
        {"0050", 50},
        {"2147483647", 0x7FFFFFFFu},
        {"99999999999", 0x7FFFFFFFu},   // saturates at the signed 32-bit range
        {"-99999999999", 0x80000000u},  // likewise at the bottom
    };
    for (const auto& c : cases) {
        EXPECT_EQ(integer_text_value(c.text), c.expected) << "text \"" << c.text << "\"";
    }
}

TEST(CollectionCharacterCount, CountsCharactersNotBytes) {
    EXPECT_EQ(character_count(""), 0u);
    EXPECT_EQ(character_count("ab"), 2u);
    EXPECT_EQ(character_count("\xC3\xA9"
                              "1"),
              2u);                                   // "é1"
    EXPECT_EQ(character_count("\xEA\xB0\x80"), 1u);  // "가"
}

TEST(CollectionMacText, GroupKGivesByteK) {
    using Mac = std::array<std::uint8_t, 6>;
    EXPECT_EQ(mac_from_text("0A:1B:2C:3D:4E:5F"), (Mac{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
    EXPECT_EQ(mac_from_text("FF:00:FF:00:80:01"), (Mac{0xFF, 0x00, 0xFF, 0x00, 0x80, 0x01}));
    EXPECT_EQ(mac_from_text("0a:1b:2c:3d:4e:5f"), (Mac{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
    // Malformed texts never come from the board list; they read as zero digits, in bounds.
    EXPECT_EQ(mac_from_text("0A:1B"), (Mac{0x0A, 0x1B, 0, 0, 0, 0}));
    EXPECT_EQ(mac_from_text(""), (Mac{}));
}

TEST(CollectionFirmwareText, ReadsMajorMinorAndVersionNumber) {
    struct Case {
        const char* text;
        int major, minor, number;
    };
    const Case cases[] = {
        {"1.5.2", 1, 52, 152},   {"1.5.0", 1, 5, 150},      {"1.2.0", 1, 2, 120},
        {"1.5.3", 1, 53, 153},   {"2.10.0", 2, 10, 300},    {"3.12.3", 3, 123, 423},
        {"1.25.5", 1, 255, 355}, {"0.0", 0, 0, 0},          {"", 0, 0, 0},
        {"0.0.0", 0, 0, 0},      {"300.1.0", 44, 1, 30010},  // major modulo 256
    };
    for (const auto& c : cases) {
        const FirmwareFields f = firmware_from_text(c.text);
        EXPECT_EQ(f.major, c.major) << c.text;
        EXPECT_EQ(f.minor, c.minor) << c.text;
        EXPECT_EQ(f.version_number, c.number) << c.text;
    }
}

// Every firmware text the board display can write reads back to the version number the display
// used, so the baud list shown and the baud code collected use the same table. The minor comes
// back unchanged except for multiples of ten above 10, which the display writes like a tenth of
// their value ("1.2.0" for 20).
TEST(CollectionFirmwareText, ReadsBackEveryTextTheDisplayWrites) {
    for (int major : {0, 1, 2, 9, 10, 255}) {
        for (int minor = 0; minor <= 255; ++minor) {
            const auto shown = display::firmware_version(static_cast<std::uint8_t>(major),
                                                         static_cast<std::uint8_t>(minor));
            const FirmwareFields f = firmware_from_text(shown.text);
            EXPECT_EQ(f.major, major) << shown.text;
            EXPECT_EQ(f.version_number, shown.number) << shown.text;
            const bool ambiguous = minor > 10 && minor % 10 == 0;
            EXPECT_EQ(f.minor, ambiguous ? minor / 10 : minor) << shown.text;
        }
    }
}

TEST(CollectionBaudCode, MapsTheComboIndexByFirmwareVersion) {
    // Entries "600" .. "230400" of the combo, then no selection.
    struct Case {
        int index;
        int code_new;  // version number 153 or more
        int code_old;  // below 153
    };
    const Case cases[] = {
        {0, 9, 7}, {1, 7, 6}, {2, 6, 5}, {3, 5, 4}, {4, 4, 3},  {5, 3, 2},
        {6, 2, 1}, {7, 1, 0}, {8, 0, 8}, {9, 8, 8}, {-1, 9, 8},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(baud_code_for_index(c.index, 153), c.code_new) << "index " << c.index;
        EXPECT_EQ(baud_code_for_index(c.index, 400), c.code_new) << "index " << c.index;
        EXPECT_EQ(baud_code_for_index(c.index, 152), c.code_old) << "index " << c.index;
        EXPECT_EQ(baud_code_for_index(c.index, 0), c.code_old) << "index " << c.index;
    }
}

// The display's code-to-index mapping followed by the collection's index-to-code mapping keeps
// every code the shown list can represent: 0 to 9 from 153 on, 0 to 8 below (code 9 is shown as
// "115200" there, which reads back as 8).
TEST(CollectionBaudCode, InvertsTheDisplayMapping) {
    for (int version : {120, 152, 153, 162}) {
        for (int code = 0; code <= 9; ++code) {
            const int index = display::baud_index(static_cast<std::uint8_t>(code), version);
            const int expected = (version < 153 && code == 9) ? 8 : code;
            EXPECT_EQ(baud_code_for_index(index, version), expected)
                << "version " << version << " code " << code;
        }
    }
}

TEST(CollectionParity, MatchesTheListTextsExactly) {
    struct Case {
        const char* text;
        std::optional<std::uint8_t> expected;
    };
    const Case cases[] = {
        {"None", 0},
        {"Odd", 1},
        {"Even", 2},
        {"none", std::nullopt},
        {"Odd ", std::nullopt},
        {"", std::nullopt},
        {"Mark", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parity_code_for_text(c.text), c.expected) << "text \"" << c.text << "\"";
    }
}

TEST(CollectionComboText, NamesAnEntryWholeIgnoringBlanksAndCase) {
    const std::vector<std::string> bauds{"600",   "1200",  "2400",  "4800",   "9600",
                                         "19200", "38400", "57600", "115200", "230400"};
    const std::vector<std::string> flows{"None", "Xon/Xoff", "CTS/RTS", "RTSOnly"};
    const std::vector<std::string> empty;
    struct Case {
        const char* label;
        const std::vector<std::string>& entries;
        const char* text;
        int selected;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {"the selected entry", bauds, "115200", 8, 8},
        {"typed over the selection", bauds, "9600", 8, 4},
        {"typed with no selection", bauds, "600", -1, 0},
        {"blanks around it", bauds, " \t19200 ", 2, 5},
        {"letter case", flows, "xon/xoff", 0, 1},
        {"letter case of the selected entry", flows, "RTSONLY", 3, 3},
        {"a prefix is no match", bauds, "96", 4, std::nullopt},
        {"a number not in the list", bauds, "14400", 4, std::nullopt},
        {"the same number written otherwise", bauds, "09600", 4, std::nullopt},
        {"blanks inside", flows, "Xon / Xoff", 1, std::nullopt},
        {"erased text of a selection", bauds, "", 4, std::nullopt},
        {"nothing selected, nothing typed", flows, "", -1, -1},
        {"nothing selected, blanks typed", flows, "  ", -1, -1},
        {"a selection past the list", flows, "None", 7, 0},
        {"an empty list", empty, "None", -1, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(combo_entry_for_text(c.text, c.entries, c.selected), c.expected) << c.label;
    }
}

TEST(CollectionIndexByte, StoresTheSignedIndex) {
    EXPECT_EQ(index_byte(-1), 255);
    EXPECT_EQ(index_byte(0), 0);
    EXPECT_EQ(index_byte(3), 3);
}

TEST(CollectionTextField, WritesAtMost31BytesAndOneZeroKeepingTheRest) {
    using testing::text_field;
    const std::string forty(40, 'x');
    struct Case {
        const char* label;
        std::array<std::uint8_t, 32> before;
        std::string text;
        std::array<std::uint8_t, 32> after;
    };
    auto with = [](std::array<std::uint8_t, 32> f, std::size_t at, std::string_view bytes) {
        for (char c : bytes) f[at++] = static_cast<std::uint8_t>(c);
        return f;
    };
    const Case cases[] = {
        {"empty", text_field("abc"), "", with(text_field("abc"), 0, std::string(1, '\0'))},
        {"four after eight", text_field("abcdefgh"), "wxyz", with(text_field("wxyz"), 5, "fgh")},
        {"two after six", text_field("abcdef"), "ww", with(text_field("ww"), 3, "def")},
        {"forty", {}, forty, text_field(std::string(31, 'x'))},
        {"thirty-one", {}, std::string(31, 'y'), text_field(std::string(31, 'y'))},
        {"thirty-two over full", text_field(std::string(32, 'q')), std::string(32, 'z'),
         text_field(std::string(31, 'z'))},
        {"bytes above 0x7F", {}, "caf\xE9", text_field("caf\xE9")},
    };
    for (const auto& c : cases) {
        auto field = c.before;
        store_text_field(field, c.text);
        EXPECT_EQ(field, c.after) << c.label;
    }
}

}  // namespace
}  // namespace quorin::collection
