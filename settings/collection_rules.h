// The conversions that the settings collection applies to the texts, check marks and list
// positions of the main window before it writes them into the working record. Pure functions on
// UTF-8 text (std::string_view) and record fields: no widgets, no Qt, no I/O.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorin::collection {

// Hex text to one byte. Starts from 0; the first character's digit value becomes the high four
// bits (value * 16) and every later digit value is OR-ed into the byte, so "2B" and "2b" give
// 0x2B, "7" gives 0x70 and "123" gives 0x13 (0x12 | 0x03). Any character that is not '0'-'9',
// 'a'-'f' or 'A'-'F' makes the conversion fail (nullopt). The empty text gives 0.
std::optional<std::uint8_t> hex_text_to_byte(std::string_view text);

// Number of characters (Unicode code points) in a UTF-8 text; the trigger length check counts
// what the user typed, not bytes.
std::size_t character_count(std::string_view utf8);

// A signed decimal integer typed into a numeric edit, as the 32-bit field stores it (two's
// complement, so "-1" gives 0xFFFFFFFF). Leading white space is skipped, then an optional sign
// ('-' or '+'), then the digits; reading stops at the first character that is not a digit, so
// "12ab" gives 12 and " -7x" gives -7. A text without leading digits ("abc", "", "-") gives 0.
// No range check: values beyond the 32-bit signed range saturate at INT32_MIN / INT32_MAX.
std::uint32_t integer_text_value(std::string_view text);

// The MAC text of a board list entry ("0A:1B:2C:3D:4E:5F") to its six bytes: group k gives byte
// k, its first digit the high four bits. The list only ever holds texts of that form; a digit
// that is missing or not hexadecimal reads as 0, so a malformed text never reads out of bounds.
std::array<std::uint8_t, 6> mac_from_text(std::string_view text);

// Firmware fields read back from the firmware version text A.B.C that the board display writes.
struct FirmwareFields {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    int version_number = 0;  // 100 * A + 10 * B + C; decides the baud-code mapping
};

// Reads A.B.C: each part is the decimal number at its start (missing or non-numeric parts are
// 0). major = A modulo 256; minor = B when C is 0, otherwise 10 * B + C, modulo 256; version
// number = 100 * A + 10 * B + C.
//
// B may have more than one digit: the display writes minor 10 as "A.10.0" and minor m above 99
// as "A.(m / 10).(m % 10)" (minor 123 as "A.12.3"), and this rule reads those back as minor 10
// and 123. The version number 100 * A + 10 * B + C equals the number the display derived from
// the same minor for every minor 0 to 255, so the baud list shown and the baud code collected
// always agree. The display shows minor 20 as "A.2.0" and minor 100 as "A.10.0", so multiples of
// ten above 10 read back as a tenth of their value (and the version number stays the same).
FirmwareFields firmware_from_text(std::string_view text);

// The firmware version number from which the baud-rate tables switch.
inline constexpr int kNewBaudTableVersion = 153;

// Baud-rate code for the baud combo's index x (-1 when nothing is selected) and the firmware
// version number V:
//   V >= 153: x == 0 gives 9 ("600"); x >= 9 gives 8 ("230400"); other x give 8 - x;
//   V <  153: x >= 8 gives 8 ("115200"); other x give 7 - x.
// With no selection that is 9 (V >= 153) or 8 (V < 153).
std::uint8_t baud_code_for_index(int index, int version_number);

// Parity code from the parity combo's text: "Odd" 1, "Even" 2, "None" 0 (exact, case-sensitive);
// any other text matches nothing (nullopt) and leaves the field unchanged.
std::optional<std::uint8_t> parity_code_for_text(std::string_view text);

// The entry of a combo box's list that its shown text stands for, in the combos that are read by
// list position (baud rate, data bits, stop bits, flow control) and whose text can also be
// typed. Texts match whole, ignoring blanks around them and the case of ASCII letters, as the
// platform's combo boxes match typed text:
// - the selected entry (`selected`, -1 for none) when the text matches it;
// - else the first entry the text matches;
// - -1 when nothing is selected and the text is blank: nothing was chosen or typed;
// - nullopt when the text matches no entry, so that no code can stand for it.
std::optional<int> combo_entry_for_text(std::string_view text,
                                        const std::vector<std::string>& entries, int selected);

// One byte field from a list index: the index as a signed value, so -1 (no selection) is 255.
std::uint8_t index_byte(int index);

// Longest text a 32-byte text field takes before its terminating zero byte.
inline constexpr std::size_t kTextFieldChars = 31;

// Writes a text into a 32-byte text field (domain name, PPPoE ID or password): at most its first
// 31 bytes, then one zero byte. The bytes after that zero byte are left as they were; the empty
// text writes only the zero byte. The window passes one byte per character (see
// text_field_bytes in the collection), the same form in which the board display shows a field.
void store_text_field(std::array<std::uint8_t, 32>& field, std::string_view bytes);

}  // namespace quorin::collection
