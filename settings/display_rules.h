// How a board row turns into what the main window shows: the model a product code names, its
// channel tabs and the controls it may edit, the firmware version, the firmware- and
// model-dependent combo lists, and the text forms of bytes and addresses. Pure functions over
// the board record; no widgets, so every rule can be checked as a table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorin::display {

// The known board models; Unknown stands for any product code outside the product table.
enum class Model { Unknown, Quorin712PT, Quorin712P, Quorin712PD, K5836KL, BRV406H, DAVRO2xM };

// The model of a product code (high byte first): the first byte must be 0 and the second one of
// the table's codes 1 to 6.
Model model_of(const std::array<std::uint8_t, 2>& product_code);

// What a model means for the window.
struct ModelView {
    std::string_view name;  // shown in Product Code (1026); empty for Unknown
    int tabs;               // channel tabs offered, "Channel #1" first
    int channels_shown;     // channel pages filled from the row: pages 1..channels_shown
};
ModelView model_view(Model model);

// Firmware version from firmware_major (M) and firmware_minor (m). A minor above 10 is read as
// two digits (52 -> "5.2", number + 52); a minor of 10 or less as one digit followed by 0
// (5 -> "5.0", number + 50).
struct FirmwareVersion {
    std::string text;  // "M.x.y"
    int number;        // M * 100 + (m > 10 ? m : m * 10)
};
FirmwareVersion firmware_version(std::uint8_t major, std::uint8_t minor);

// Firmware thresholds that change the window.
inline constexpr int kTenBaudRatesFrom = 153;  // 230400 offered and the newer baud codes
inline constexpr int kStopBitsFrom = 150;      // "DAVRO2xM" stop-bit combos enabled
inline constexpr int kDataModeFrom = 162;      // "DAVRO2xM" data-mode radios enabled
inline constexpr int kRtsOnlyAbove = 13;       // "DAVRO2xM" offers "RTSOnly"

// Baud-rate list for a firmware version number: "600" to "115200", plus "230400" from 153.
std::vector<std::string_view> baud_list(int version_number);
// List index of a baud_rate code; negative or past the list means no selection.
int baud_index(std::uint8_t code, int version_number);

// Parity list for a data_bits code: "Odd", "Even" for code 0 (7 bits), "None", "Odd", "Even"
// otherwise. The index is the parity code, minus 1 with 7 bits (so parity 0 selects nothing).
std::vector<std::string_view> parity_list(std::uint8_t data_bits);
int parity_index(std::uint8_t data_bits, std::uint8_t parity);
// The parity list that the data-bits combo's current index calls for (-1: no selection).
std::vector<std::string_view> parity_list_for_index(int data_bits_index);

// Flow-control list: "None", "Xon/Xoff", "CTS/RTS", and "RTSOnly" for a "DAVRO2xM" above 13.
std::vector<std::string_view> flow_list(Model model, int version_number);

// The entry a refilled combo selects on a channel page that the board does not fill, so that
// a field the operator can neither see nor change never goes out as "no selection" (code 255 for
// the flow control):
// - `kept`, the index in the new list of the entry selected before (-1 when the new list lacks
//   it or nothing was selected), when there is one;
// - else the board's own value for that channel, `board_index`, when the list holds it;
// - else the list's entry nearest to it: the last for a value past the end, the first for a
//   negative one.
// -1 only for an empty list.
int hidden_channel_selection(int kept, int board_index, int list_size);

// Text of a domain name: the 32 bytes in order with every zero byte skipped (bytes after a zero
// byte still appear).
std::string domain_text(const std::array<std::uint8_t, 32>& bytes);
// Text of a PPPoE ID or password: the bytes up to the first zero byte, at most 32.
std::string pppoe_text(const std::array<std::uint8_t, 32>& bytes);

// Two hexadecimal digits: upper case for trigger characters, lower case for packing characters.
std::string hex_upper(std::uint8_t value);
std::string hex_lower(std::uint8_t value);

// "a.b.c.d", first octet first, each in decimal.
std::string dotted(const std::array<std::uint8_t, 4>& octets);

// What a board display does to a family of controls for a model.
enum class Change : std::uint8_t { Keep, Enable, Disable };

// A change that applies to the controls of channel pages 1..channels.
struct ChannelChange {
    Change change = Change::Keep;
    int channels = 0;
};

// The model's enabling, applied before the row's own values; later display steps override it for
// the IP fields, the trigger fields and the domain fields of the channels shown.
struct ModelEnabling {
    ChannelChange parity;                  // parity combos
    ChannelChange serial;                  // baud-rate, data-bits and flow-control combos
    ChannelChange udp_and_use_dns;         // "UDP" and "Use DNS" check boxes
    ChannelChange domain;                  // server domain name edits
    Change command_method = Change::Keep;  // Disable/HW/SW radios and trigger edits 1047-1049
    Change pppoe_radio = Change::Keep;     // 1043
    Change debug_mode = Change::Keep;      // 1027
    std::string_view debug_caption;        // caption of 1027; empty keeps it
    bool stop_bits_by_firmware =
        false;  // stop-bit combos enabled from kStopBitsFrom, else disabled
    bool data_mode_by_firmware = false;  // the eight data-mode radios enabled from kDataModeFrom
};
const ModelEnabling& model_enabling(Model model);

}  // namespace quorin::display
