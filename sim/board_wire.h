// The board's side of the record wire format: which layout a board speaks for its product code,
// how it writes its record into a reply and how it reads the settings out of a set request.
// Layouts are tables of (offset, width, encoding, field) that one writer and one reader walk.
// Pure C++, no I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "protocol/board_record.h"

namespace quorin::sim {

enum class BoardProtocol { Main, Legacy };

// How one board speaks: its protocol and, for the main protocol, where its channel records lie.
struct BoardLayout {
    BoardProtocol protocol = BoardProtocol::Main;
    bool long_header = false;
    std::size_t channel_offset = kShortHeaderLength;  // datagram offset of channel record 1
    int channel_records = 4;
    std::size_t length = 290;  // whole datagram, opcode bytes included

    friend bool operator==(const BoardLayout&, const BoardLayout&) = default;
};

// The layout of a board with this product code:
//   00 01         main, short header, 3 channel records, 226 bytes
//   00 02, 00 06  main, long header, 4 channel records, 402 bytes
//   00 03, 00 05  main, short header, 4 channel records, 290 bytes
//   00 04         legacy, one channel, 120 bytes
//   anything else main, short header, 4 channel records, 290 bytes (the length the tool sends to
//                 such a board)
BoardLayout board_layout(const std::array<std::uint8_t, 2>& product_code);

// A main-protocol datagram of layout.length bytes: `opcode`, `host_tag`, then `row` as `layout`
// carries it. Bytes no field covers are zero.
std::vector<std::uint8_t> encode_main_record(const BoardRow& row, const BoardLayout& layout,
                                             std::uint8_t opcode, std::uint8_t host_tag);

// A 120-byte legacy datagram: the four letters of `opcode4`, then `row` (its channel[0]).
std::vector<std::uint8_t> encode_legacy_record(const BoardRow& row, std::string_view opcode4);

// Reads every field that `layout` carries from `datagram` into `row`. A field that does not lie
// wholly within the datagram is left as it was; fields the layout lacks are not touched.
void read_main_record(std::span<const std::uint8_t> datagram, const BoardLayout& layout,
                      BoardRow& row);

// The same for a legacy datagram (120-byte layout, channel[0] only).
void read_legacy_record(std::span<const std::uint8_t> datagram, BoardRow& row);

// The settings a board has after accepting a set request in its own layout: every field the
// layout carries is taken from the request, except the board's identity (`mac_address`,
// `product_code`, `firmware_major`, `firmware_minor`) and each channel's `connection_status`,
// which are the board's own and stay as in `current`.
BoardRow apply_set_request(const BoardRow& current, std::span<const std::uint8_t> request,
                           const BoardLayout& layout);

// Legacy baud conversion: code 0..7 -> its wire byte (255, 254, 253, 250, 244, 232, 208, 160),
// any other code -> 0; a wire byte from that list -> its code, any other byte -> 0.
std::uint8_t legacy_baud_to_wire(std::uint8_t code);
std::uint8_t legacy_wire_to_baud(std::uint8_t wire_byte);

// Byte offsets of the identifying parts of a request.
inline constexpr std::size_t kMainMacOffset = 2;
inline constexpr std::size_t kLegacyMacOffset = 4;
inline constexpr std::size_t kMacLength = 6;
inline constexpr std::size_t kLegacyOpcodeLength = 4;

}  // namespace quorin::sim
