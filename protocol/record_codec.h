// The board record codec: main-layout and legacy-layout records to and from BoardRow.
//
// Every read is bounds-checked against the received bytes: a field that lies wholly or partly
// beyond the end of a datagram reads as zero. Decoding writes only the fields that the layout
// carries, so a set reply decoded into an existing row leaves the rest of the row as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "protocol/board_record.h"

namespace quorin {

// The layout that the second product-code byte selects for a main-protocol record:
//   1            short header, 3 channel records at offset 34 (226 bytes)
//   3, 5         short header, 4 channel records at offset 34 (290 bytes)
//   2, 6         long header, 4 channel records at offset 146 (402 bytes)
//   anything else: treated like 3 and 5 (short header, 4 channel records at 34, 290 bytes), which
//   matches the 290-byte request length that the tool sends for such codes. Decoding stays within
//   the received datagram and within the four channel blocks.
MainLayout main_layout_for(std::uint8_t product_code_low);

// Length of a main-protocol set or upload request for a working record's product code:
// 00 01 -> 226, 00 02 and 00 06 -> 402, any other code -> 290.
std::size_t main_request_length(const std::array<std::uint8_t, 2>& product_code);

// True when a set or upload request for this product code uses the legacy protocol (00 04).
bool uses_legacy_protocol(const std::array<std::uint8_t, 2>& product_code);

// Decodes a main-protocol reply (opcode at byte 0, host tag at byte 1, record from byte 2) into
// `row`. Writes the header fields, the long-header fields when the product byte is 2 or 6, and
// each channel record of the layout into its block. `mac_address` is written unless
// `keep_mac` is set (set replies leave it as it was).
void decode_main_reply(std::span<const std::uint8_t> datagram, BoardRow& row,
                       bool keep_mac = false);

// Decodes a legacy reply ("IMIN"/"SETC" and 116 bytes) into `row`: the legacy fields, baud wire
// byte to code, data-bit count to code, product_code set to 00 04 and channel[0].use_dns to 1.
void decode_legacy_reply(std::span<const std::uint8_t> datagram, BoardRow& row,
                         bool keep_mac = false);

// Writes the working record into `packet` from byte 2 onward in the main layout that its product
// code selects. Bytes 0 and 1 (opcode, host tag) and bytes no field covers are not written; the
// caller clears the buffer first. `packet` must hold at least kMainPacketSize bytes; bytes that
// would fall beyond it are not written.
void encode_main_request(const BoardRow& working, std::span<std::uint8_t> packet);

// Writes all 120 bytes of a legacy request: the four-letter opcode, then the working record.
// Bytes no field covers are zero. `packet` must hold at least kLegacyPacketSize bytes.
void encode_legacy_request(const BoardRow& working, std::string_view opcode4,
                           std::span<std::uint8_t> packet);

// A whole main-protocol datagram of `row`, as the tool sends a request and a board its reply:
// `opcode` at byte 0, `host_tag` at byte 1, then the record in the layout that the second
// product-code byte selects, zero where no field lies. It is main_request_length(row.product_code)
// bytes long, so a layout longer than that length (a long-header product byte under a non-zero
// first byte) is cut at it.
std::vector<std::uint8_t> encode_main_datagram(const BoardRow& row, std::uint8_t opcode,
                                               std::uint8_t host_tag);

// A whole legacy datagram of `row`: kLegacyPacketSize bytes, the first four of `opcode4` (padded
// with zeros when shorter), then the record.
std::vector<std::uint8_t> encode_legacy_datagram(const BoardRow& row, std::string_view opcode4);

// Legacy baud conversion: code 0..7 -> wire byte of the table, other codes -> 0; wire byte found
// in the table -> its code, other bytes -> 0.
std::uint8_t legacy_baud_wire_byte(std::uint8_t code);
std::uint8_t legacy_baud_code(std::uint8_t wire_byte);

}  // namespace quorin
