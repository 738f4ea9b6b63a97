// The tool's record codec against the boards' own encoding. The two are written independently,
// so a field put at the wrong offset or in the wrong byte order on either side shows up here.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <vector>

#include "protocol/record_codec.h"
#include "settings/display_rules.h"
#include "sim/board_responder.h"
#include "sim/board_wire.h"
#include "sim/sim_board.h"

namespace quorin::sim {
namespace {

constexpr const char* kMainProducts[] = {"0001", "0002", "0003", "0005", "0006", "0107"};

// A board's settings with every carried field set to something other than the defaults.
BoardRow edited(BoardRow row, int salt) {
    const auto s = static_cast<std::uint8_t>(salt);
    row.local_ip = {10, s, 2, 3};
    row.subnet_mask = {255, 255, 0, 0};
    row.gateway_ip = {10, s, 0, 1};
    row.debug_mode = 1;
    row.ip_mode = 1;
    row.serial_command_method = 2;
    row.trigger_chars = {'a', 'b', s};
    row.dns_server_ip = {1, 2, 3, s};
    row.pppoe_id = {'i', 'd', s};
    row.pppoe_password = {'p', 'w'};
    for (int c = 0; c < kChannelBlocks; ++c) {
        ChannelBlock& ch = row.channel[c];
        ch.operation_mode = 1;
        ch.use_dns = 1;
        ch.udp = 1;
        ch.remote_ip = {172, 16, s, static_cast<std::uint8_t>(c)};
        ch.local_port = 40000u + static_cast<std::uint32_t>(c);
        ch.remote_port = 50001;
        ch.domain_name = {'d', static_cast<std::uint8_t>('0' + c)};
        ch.baud_rate = 6;
        ch.data_bits = 0;
        ch.parity = 2;
        ch.stop_bits = 2;
        ch.flow_control = 2;
        ch.packing_char = 0x7E;
        ch.packing_size = 180;
        ch.packing_time = 1000;
        ch.inactivity_time = 65535;
        ch.data_mode = 1;
    }
    return row;
}

// Keeps of `wanted` only what `layout` carries, on top of `base`.
BoardRow carried(const BoardRow& base, const BoardRow& wanted, const BoardLayout& layout) {
    BoardRow out = base;
    if (layout.protocol == BoardProtocol::Legacy) {
        read_legacy_record(encode_legacy_record(wanted, "SETT"), out);
    } else {
        read_main_record(encode_main_record(wanted, layout, 3, 0), layout, out);
    }
    return out;
}

TEST(CodecInterop, ToolDecodesEveryBoardsSearchReply) {
    for (const char* text : kMainProducts) {
        const auto code = parse_product_code(text).value();
        for (int index = 0; index < 10; ++index) {
            SCOPED_TRACE(std::string(text) + " #" + std::to_string(index));
            const BoardRow board =
                default_board_row(code, index, board_address({127, 0, 1, 0}, index));
            const auto reply =
                encode_main_record(board, board_layout(code), OPCODE_SEARCH_REPLY, 0);
            BoardRow row;
            decode_main_reply(reply, row);
            EXPECT_EQ(row, board);
        }
    }
}

TEST(CodecInterop, ToolDecodesLegacySearchReplies) {
    for (int index = 0; index < 10; ++index) {
        const BoardRow board =
            default_board_row({0, 4}, index, board_address({127, 0, 1, 0}, index));
        BoardRow row;
        decode_legacy_reply(encode_legacy_record(board, "IMIN"), row);
        BoardRow expected = board;
        expected.channel[0].use_dns = 1;  // the tool marks legacy rows so
        EXPECT_EQ(row, expected) << index;
    }
}

TEST(CodecInterop, BoardsApplyTheToolsSetRequests) {
    for (const char* text : {"0001", "0002", "0003", "0004", "0005", "0006", "0107"}) {
        SCOPED_TRACE(text);
        const auto code = parse_product_code(text).value();
        const BoardRow board = default_board_row(code, 3, {127, 0, 1, 4});
        const BoardLayout layout = board_layout(code);
        const BoardRow working = edited(board, 9);

        const std::vector<std::uint8_t> packet =
            uses_legacy_protocol(code) ? encode_legacy_datagram(working, "SETT")
                                       : encode_main_datagram(working, OPCODE_SET_REQUEST, 0);
        ASSERT_EQ(packet.size(), layout.length);

        BoardRow expected = carried(board, working, layout);
        expected.mac_address = board.mac_address;
        expected.product_code = board.product_code;
        expected.firmware_major = board.firmware_major;
        expected.firmware_minor = board.firmware_minor;
        for (int c = 0; c < kChannelBlocks; ++c) {
            expected.channel[c].connection_status = board.channel[c].connection_status;
        }
        EXPECT_EQ(apply_set_request(board, packet, layout), expected);
    }
}

// A whole set exchange: the tool's request through the boards' responder, and the reply back
// through the tool's decoder into the row the tool keeps.
TEST(CodecInterop, SetRoundTripThroughTheResponder) {
    std::vector<SimBoard> boards;
    for (const char* text : kMainProducts) {
        const auto code = parse_product_code(text).value();
        const int index = static_cast<int>(boards.size());
        boards.push_back(
            {default_board_row(code, index, board_address({127, 0, 1, 0}, index)), {}});
    }
    BoardResponder responder(boards);
    for (std::size_t i = 0; i < boards.size(); ++i) {
        SCOPED_TRACE(i);
        BoardRow working = edited(boards[i].row, static_cast<int>(i));
        for (auto& ch : working.channel) ch.connection_status = 0;
        const auto packet = encode_main_datagram(working, OPCODE_SET_REQUEST, 0x73);

        const Outcome out = responder.on_main_datagram(packet);
        ASSERT_EQ(out.applied_board, static_cast<int>(i));
        ASSERT_EQ(out.replies.size(), 1u);
        BoardRow row = out.settings_before;  // the tool's row from the search
        decode_main_reply(out.replies[0].bytes, row, /*keep_mac=*/true);
        EXPECT_EQ(row, boards[i].row);
        EXPECT_EQ(row.local_ip, working.local_ip);
    }
}

// The version text the boards are told to install (--installs) against the tool's display of
// firmware bytes: every text the tool shows reads back to bytes the tool shows alike, and no
// other A.B.C text is taken.
TEST(FirmwareVersionInterop, BoardsReadExactlyTheTextsTheToolShows) {
    for (const int major : {0, 1, 2, 9, 10, 99, 100, 255}) {
        std::set<std::string> shown;
        for (int minor = 0; minor <= 255; ++minor) {
            const auto bytes =
                std::array{static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor)};
            const std::string text = display::firmware_version(bytes[0], bytes[1]).text;
            ASSERT_EQ(firmware_text(bytes[0], bytes[1]), text);
            const auto read = parse_firmware_text(text);
            ASSERT_TRUE(read && read->major == major) << text;
            EXPECT_EQ(display::firmware_version(read->major, read->minor).text, text);
            shown.insert(text);
        }
        for (int b = 0; b <= 30; ++b) {
            for (int c = 0; c <= 9; ++c) {
                const std::string text =
                    std::to_string(major) + "." + std::to_string(b) + "." + std::to_string(c);
                EXPECT_EQ(parse_firmware_text(text).has_value(), shown.count(text) == 1) << text;
            }
        }
    }
}

}  // namespace
}  // namespace quorin::sim
