#include "settings/collection_rules.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace quorin::collection {
namespace {

// Value 0-15 of a hexadecimal digit, or -1.
int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// UTF-8 continuation bytes have the bit pattern 10xxxxxx.
bool is_continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The unsigned decimal number at the start of `text` (0 when it does not start with a digit),
// capped so that it cannot overflow; `pos` is left on the first character after the digits.
std::uint64_t leading_decimal(std::string_view text, std::size_t& pos) {
    constexpr std::uint64_t kCap = 1ull << 40;  // far beyond any 32-bit value
    std::uint64_t value = 0;
    while (pos < text.size() && is_digit(text[pos])) {
        value = std::min(kCap, value * 10 + static_cast<std::uint64_t>(text[pos] - '0'));
        ++pos;
    }
    return value;
}

}  // namespace

std::optional<std::uint8_t> hex_text_to_byte(std::string_view text) {
    std::uint8_t byte = 0;
    bool first = true;
    for (char c : text) {
        const int digit = hex_digit(c);
        if (digit < 0) return std::nullopt;
        if (first) {
            byte = static_cast<std::uint8_t>(digit << 4);
            first = false;
        } else {
            byte = static_cast<std::uint8_t>(byte | digit);
        }
    }
    return byte;
}

std::size_t character_count(std::string_view utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return !is_continuation(c); }));
}

std::uint32_t integer_text_value(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::uint64_t magnitude = leading_decimal(text, pos);
    std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    value = std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max());
    // Two's complement of the signed value in the 32-bit field.
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

std::array<std::uint8_t, 6> mac_from_text(std::string_view text) {
    std::array<std::uint8_t, 6> mac{};
    for (std::size_t k = 0; k < mac.size(); ++k) {
        // Group k occupies characters 3k and 3k + 1; a ':' follows all but the last.
        int value = 0;
        for (std::size_t d = 0; d < 2; ++d) {
            const std::size_t at = 3 * k + d;
            const int digit = at < text.size() ? hex_digit(text[at]) : -1;
            value = value * 16 + std::max(digit, 0);
        }
        mac[k] = static_cast<std::uint8_t>(value);
    }
    return mac;
}

FirmwareFields firmware_from_text(std::string_view text) {
    // The three parts A, B and C, each the number at the start of its part.
    std::array<std::uint64_t, 3> part{};
    std::size_t pos = 0;
    for (std::size_t k = 0; k < part.size(); ++k) {
        part[k] = leading_decimal(text, pos);
        const std::size_t dot = text.find('.', pos);
        if (dot == std::string_view::npos) break;
        pos = dot + 1;
    }
    const auto [a, b, c] = part;
    FirmwareFields f;
    f.major = static_cast<std::uint8_t>(a & 0xFF);
    f.minor = static_cast<std::uint8_t>((c == 0 ? b : 10 * b + c) & 0xFF);
    const std::uint64_t number = 100 * a + 10 * b + c;
    f.version_number =
        static_cast<int>(std::min<std::uint64_t>(number, std::numeric_limits<int>::max()));
    return f;
}

std::uint8_t baud_code_for_index(int index, int version_number) {
    if (version_number >= kNewBaudTableVersion) {
        if (index == 0) return 9;
        if (index >= 9) return 8;
        return static_cast<std::uint8_t>(8 - index);  // -1 gives 9
    }
    if (index >= 8) return 8;
    return static_cast<std::uint8_t>(7 - index);  // -1 gives 8
}

std::optional<std::uint8_t> parity_code_for_text(std::string_view text) {
    if (text == "Odd") return 1;
    if (text == "Even") return 2;
    if (text == "None") return 0;
    return std::nullopt;
}

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_entry(std::string_view typed, std::string_view entry) {
    typed = trimmed(typed);
    entry = trimmed(entry);
    return typed.size() == entry.size() &&
           std::equal(typed.begin(), typed.end(), entry.begin(),
                      [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
}

}  // namespace

std::optional<int> combo_entry_for_text(std::string_view text,
                                        const std::vector<std::string>& entries, int selected) {
    const int count = static_cast<int>(entries.size());
    if (selected >= 0 && selected < count &&
        same_entry(text, entries[static_cast<std::size_t>(selected)])) {
        return selected;
    }
    for (int i = 0; i < count; ++i) {
        if (same_entry(text, entries[static_cast<std::size_t>(i)])) return i;
    }
    if (selected < 0 && trimmed(text).empty()) return -1;
    return std::nullopt;
}

std::uint8_t index_byte(int index) {
    return static_cast<std::uint8_t>(index);
}

void store_text_field(std::array<std::uint8_t, 32>& field, std::string_view bytes) {
    const std::size_t length = std::min(bytes.size(), kTextFieldChars);
    std::copy_n(bytes.begin(), length, field.begin());
    field[length] = 0;
}

}  // namespace quorin::collection
