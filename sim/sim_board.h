// The simulated boards: each board's settings, its fault hooks, the default settings a board of a
// product starts with, and the short board and fault specifications of the command line.
// Pure C++, no I/O.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/board_record.h"
#include "sim/board_wire.h"

namespace quorin::sim {

// Misbehaviour a board can be told to show. Every hook is off by default.
struct FaultConfig {
    bool search_twice = false;                 // answer each search with two identical replies
    int reply_delay_ms = 0;                    // send every UDP reply this late
    std::optional<int> truncate_reply;         // send only the first N bytes of every UDP reply
    std::optional<std::uint8_t> wrong_opcode;  // after a search reply, send the record again with
                                               // this opcode (legacy boards: as "SETC")
    std::optional<int> ack_stop_after;         // acknowledge the size and N blocks, then no more
    std::optional<std::uint8_t> ack_byte;      // acknowledge with this byte instead of 0x20
    bool refuse_upload = false;                // do not listen for the firmware connection
    std::optional<int> close_after_blocks;     // close the firmware connection after N blocks
    bool no_upload_complete = false;           // never send the upload-complete report
    bool ignore_set = false;                   // neither take nor answer set requests
    bool upgrade_keeps_version = false;        // after an upgrade, come back with the old version
    bool upgrade_changes_settings = false;     // after an upgrade, come back with
                                               // channel[0].local_port one higher
    bool upgrade_never_returns = false;        // after an upgrade, never answer UDP again

    bool any() const;
    friend bool operator==(const FaultConfig&, const FaultConfig&) = default;
};

struct SimBoard {
    BoardRow row;
    FaultConfig faults;

    BoardLayout layout() const { return board_layout(row.product_code); }
    bool legacy() const { return layout().protocol == BoardProtocol::Legacy; }
};

// A board's firmware bytes (firmware_major, firmware_minor).
struct FirmwareBytes {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    friend bool operator==(const FirmwareBytes&, const FirmwareBytes&) = default;
};

// The firmware version as the tool shows it: the major, '.', then a minor m above 10 as m / 10
// and m % 10 joined by '.' (1/62 -> "1.6.2"), any other minor followed by ".0" (1/5 -> "1.5.0").
std::string firmware_text(std::uint8_t major, std::uint8_t minor);
inline std::string firmware_text(const FirmwareBytes& v) {
    return firmware_text(v.major, v.minor);
}

// The firmware bytes that firmware_text shows as exactly `text`. Where two minors show alike
// (2 and 20 both as "M.2.0", 10 and 100 as "M.10.0") the smaller one. nullopt for a text that no
// byte pair shows as: "1.0.5", "1.26.0", "01.5.0", "1.5", "x".
std::optional<FirmwareBytes> parse_firmware_text(std::string_view text);

// The six known product codes, "0001".."0006", in order.
const std::array<std::array<std::uint8_t, 2>, 6>& known_product_codes();

// Parses a product code text of four hex digits ("0002", "0107"); nullopt when malformed.
std::optional<std::array<std::uint8_t, 2>> parse_product_code(std::string_view text);

// Parses a dotted IPv4 address; nullopt when malformed.
std::optional<std::array<std::uint8_t, 4>> parse_ipv4(std::string_view text);
std::string ipv4_text(const std::array<std::uint8_t, 4>& ip);

// "0A:1B:2C:3D:4E:5F": six upper-case hex pairs joined by ':' (the tool's MAC text).
std::string mac_address_text(const std::array<std::uint8_t, 6>& mac);

// "0002": both product-code bytes as lower-case hex pairs, high byte first.
std::string product_code_string(const std::array<std::uint8_t, 2>& product_code);

// The local_ip of board `index` (0-based) in the network whose base address is `base`
// (a.b.c.0): a.b.c.1 .. a.b.c.254 for the first 254 boards, then a.b.(c+1).1 and so on.
std::array<std::uint8_t, 4> board_address(const std::array<std::uint8_t, 4>& base, int index);

// MAC address of board `index`: a locally administered address (first byte 02) that names the
// product code's low byte and the index, so it is unique within one simulator.
std::array<std::uint8_t, 6> board_mac(const std::array<std::uint8_t, 2>& product_code, int index);

// Realistic settings for board `index` of `product_code` with address `local_ip`. Settings vary
// with the index (addressing mode, channel modes, serial parameters, firmware version) so that a
// list of boards exercises the tool's display; channel blocks the product's layout does not carry
// stay zero.
BoardRow default_board_row(const std::array<std::uint8_t, 2>& product_code, int index,
                           const std::array<std::uint8_t, 4>& local_ip);

// A "--boards" value: comma-separated items "0002:40" (40 boards of product 0002), "all:3"
// (3 of every known model), "0107:1" (a code outside the table); ":COUNT" may be left out for
// one board. Expands to product codes in order; nullopt with `error` set when malformed.
std::optional<std::vector<std::array<std::uint8_t, 2>>> parse_board_list(std::string_view text,
                                                                         std::string* error);

// The names of the fault hooks as they appear in "--fault" and in the JSON file.
std::vector<std::string_view> fault_names();

// Sets fault `name` from its text value ("" for the switches, which turn them on; "0" or
// "false" turns a switch off). Returns false with `error` set for an unknown name or a bad value.
bool set_fault(FaultConfig& faults, std::string_view name, std::string_view value,
               std::string* error);

// One "--fault" item: "INDEXES:NAME[=VALUE]", INDEXES a comma list of board indexes and ranges
// ("0,3-5", or "all"; an empty list after "all" means every board). The name and value are
// checked with set_fault.
struct FaultRule {
    bool all = false;          // every board
    std::vector<int> indexes;  // when not all
    std::string name;
    std::string value;
};
std::optional<FaultRule> parse_fault_rule(std::string_view text, std::string* error);

}  // namespace quorin::sim
