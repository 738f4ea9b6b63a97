// The boards' record layouts, checked byte by byte against hand-written offsets.
#include <gtest/gtest.h>

#include <vector>

#include "sim/board_wire.h"
#include "sim/sim_board.h"

namespace quorin::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::array<std::uint8_t, 2> code(std::uint8_t hi, std::uint8_t lo) {
    return {hi, lo};
}

template <std::size_t N>
void put(std::array<std::uint8_t, N>& field, std::string_view text) {
    field.fill(0);
    std::copy(text.begin(), text.end(), field.begin());
}

// A row whose every field holds a distinct, recognisable value.
BoardRow sample_row(std::array<std::uint8_t, 2> product) {
    BoardRow r;
    r.mac_address = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
    r.product_code = product;
    r.local_ip = {192, 168, 1, 10};
    r.subnet_mask = {255, 255, 255, 0};
    r.gateway_ip = {192, 168, 1, 1};
    r.firmware_major = 1;
    r.firmware_minor = 53;
    r.debug_mode = 1;
    r.ip_mode = 2;
    r.serial_command_method = 2;
    r.trigger_chars = {'+', '-', '*'};
    r.dns_server_ip = {8, 8, 4, 4};
    r.reserved_block = {1, 2, 3, 4, 5, 6};
    r.reserved_word = 0x1234;
    put(r.pppoe_id, "abcd");
    put(r.pppoe_password, "secret");
    put(r.reserved_text, "RT");
    for (int i = 0; i < 4; ++i) {
        ChannelBlock& c = r.channel[i];
        const auto k = static_cast<std::uint8_t>(i + 1);
        c.operation_mode = 1;
        c.connection_status = 1;
        c.use_dns = 1;
        c.udp = 1;
        c.remote_ip = {10, 0, 0, k};
        c.local_port = 50001;
        c.remote_port = 0x0100u + k;
        put(c.domain_name, "host.example");
        c.baud_rate = 2;
        c.data_bits = 1;
        c.parity = 2;
        c.stop_bits = 3;
        c.flow_control = 1;
        c.packing_char = 0x0D;
        c.packing_size = 300;
        c.packing_time = 0x0203;
        c.inactivity_time = 0x0405;
        c.reserved = 0x77;
        c.data_mode = 1;
    }
    return r;
}

struct LayoutCase {
    const char* label;
    std::array<std::uint8_t, 2> code;
    BoardProtocol protocol;
    std::size_t length;
    bool long_header;
    int channels;
};

TEST(BoardLayout, FollowsTheProductCode) {
    const LayoutCase cases[] = {
        {"0001 short, 3 channels", code(0, 1), BoardProtocol::Main, 226, false, 3},
        {"0002 long", code(0, 2), BoardProtocol::Main, 402, true, 4},
        {"0003 short", code(0, 3), BoardProtocol::Main, 290, false, 4},
        {"0004 legacy", code(0, 4), BoardProtocol::Legacy, 120, false, 1},
        {"0005 short", code(0, 5), BoardProtocol::Main, 290, false, 4},
        {"0006 long", code(0, 6), BoardProtocol::Main, 402, true, 4},
        {"0107 outside the table", code(1, 7), BoardProtocol::Main, 290, false, 4},
        {"0102 outside the table", code(1, 2), BoardProtocol::Main, 290, false, 4},
        {"0104 is not legacy", code(1, 4), BoardProtocol::Main, 290, false, 4},
        {"0000", code(0, 0), BoardProtocol::Main, 290, false, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const BoardLayout layout = board_layout(c.code);
        EXPECT_EQ(layout.protocol, c.protocol);
        EXPECT_EQ(layout.length, c.length);
        EXPECT_EQ(layout.long_header, c.long_header);
        EXPECT_EQ(layout.channel_records, c.channels);
        if (c.protocol == BoardProtocol::Main) {
            EXPECT_EQ(encode_main_record(sample_row(c.code), layout, 2, 0).size(), c.length);
        }
    }
}

struct ByteCase {
    const char* label;
    std::size_t offset;
    Bytes expected;
};

void expect_bytes(const Bytes& datagram, const ByteCase& c) {
    SCOPED_TRACE(c.label);
    ASSERT_LE(c.offset + c.expected.size(), datagram.size());
    EXPECT_EQ(Bytes(datagram.begin() + static_cast<std::ptrdiff_t>(c.offset),
                    datagram.begin() + static_cast<std::ptrdiff_t>(c.offset + c.expected.size())),
              c.expected);
}

TEST(MainRecord, LongLayoutOffsets) {
    const Bytes d = encode_main_record(sample_row(code(0, 2)), board_layout(code(0, 2)), 2, 0x42);
    ASSERT_EQ(d.size(), 402u);
    const ByteCase cases[] = {
        {"opcode and host tag", 0, {2, 0x42}},
        {"mac_address", 2, {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}},
        {"product_code high byte first", 8, {0x00, 0x02}},
        {"local_ip", 10, {192, 168, 1, 10}},
        {"subnet_mask", 14, {255, 255, 255, 0}},
        {"gateway_ip", 18, {192, 168, 1, 1}},
        {"firmware, debug, ip_mode, command method", 22, {1, 53, 1, 2, 2}},
        {"trigger_chars", 27, {'+', '-', '*'}},
        {"dns_server_ip", 30, {8, 8, 4, 4}},
        {"reserved_block", 34, {1, 2, 3, 4, 5, 6}},
        {"reserved_word little-endian", 40, {0x34, 0x12}},
        {"gap before pppoe_id", 42, Bytes(8, 0)},
        {"pppoe_id", 50, {'a', 'b', 'c', 'd', 0}},
        {"pppoe_password", 82, {'s', 'e', 'c', 'r', 'e', 't', 0}},
        {"reserved_text", 114, {'R', 'T', 0}},
        {"channel 1 modes", 146, {1, 1, 1, 1}},
        {"channel 1 remote_ip", 150, {10, 0, 0, 1}},
        {"channel 1 local_port 50001 little-endian", 154, {0x51, 0xC3}},
        {"channel 1 remote_port", 156, {0x01, 0x01}},
        {"channel 1 gap", 158, {0, 0, 0, 0}},
        {"channel 1 domain_name", 162, {'h', 'o', 's', 't', '.'}},
        {"channel 1 serial parameters", 194, {2, 1, 2, 3, 1, 0x0D}},
        {"channel 1 packing_size 300", 200, {0x2C, 0x01}},
        {"channel 1 packing_time, inactivity_time", 202, {0x03, 0x02, 0x05, 0x04}},
        {"channel 1 reserved, data_mode, gap", 206, {0x77, 1, 0, 0}},
        {"channel 2 remote_ip", 210 + 4, {10, 0, 0, 2}},
        {"channel 4 data_mode and end", 338 + 61, {1, 0, 0}},
    };
    for (const auto& c : cases) expect_bytes(d, c);
}

TEST(MainRecord, ShortLayoutsPutChannelsAfterByte34) {
    const Bytes d3 = encode_main_record(sample_row(code(0, 3)), board_layout(code(0, 3)), 4, 0);
    ASSERT_EQ(d3.size(), 290u);
    expect_bytes(d3, {"opcode", 0, {4, 0}});
    expect_bytes(d3, {"channel 1 starts at 34", 34, {1, 1, 1, 1, 10, 0, 0, 1, 0x51, 0xC3}});
    expect_bytes(d3, {"channel 4 remote_ip", 34 + 3 * 64 + 4, {10, 0, 0, 4}});

    // Product 0001 carries three channel records; its record ends after the third.
    const Bytes d1 = encode_main_record(sample_row(code(0, 1)), board_layout(code(0, 1)), 2, 0);
    ASSERT_EQ(d1.size(), 226u);
    expect_bytes(d1, {"channel 3 data_mode", 34 + 2 * 64 + 61, {1, 0, 0}});
}

TEST(LegacyRecord, Offsets) {
    const Bytes d = encode_legacy_record(sample_row(code(0, 4)), "IMIN");
    ASSERT_EQ(d.size(), 120u);
    const ByteCase cases[] = {
        {"opcode text", 0, {'I', 'M', 'I', 'N'}},
        {"mac_address", 4, {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}},
        {"addresses", 10, {192, 168, 1, 10, 255, 255, 255, 0, 192, 168, 1, 1}},
        {"local_port 50001 big-endian", 22, {0xC3, 0x51}},
        {"remote_ip", 24, {10, 0, 0, 1}},
        {"remote_port big-endian", 28, {0x01, 0x01}},
        {"ip_mode, operation_mode, gap", 30, {2, 1, 0}},
        {"baud code 2 as wire byte 253", 33, {253}},
        {"data bits code 1 as 8", 34, {8}},
        {"parity, flow_control, command method", 35, {2, 1, 2}},
        {"trigger_chars", 38, {'+', '-', '*'}},
        {"packing_char, packing_size 300 as its low byte 44", 41, {0x0D, 44}},
        {"packing_time, inactivity_time big-endian", 43, {0x02, 0x03, 0x04, 0x05}},
        {"firmware, gap", 47, {1, 53, 0}},
        {"dns_server_ip", 50, {8, 8, 4, 4}},
        {"domain_name", 54, {'h', 'o', 's', 't', '.'}},
        {"gap", 86, Bytes(33, 0)},
        {"connection_status", 119, {1}},
    };
    for (const auto& c : cases) expect_bytes(d, c);
}

TEST(LegacyRecord, BaudConversionBothWays) {
    const std::pair<std::uint8_t, std::uint8_t> table[] = {{0, 255}, {1, 254}, {2, 253}, {3, 250},
                                                           {4, 244}, {5, 232}, {6, 208}, {7, 160}};
    for (const auto& [c, wire] : table) {
        EXPECT_EQ(legacy_baud_to_wire(c), wire) << int(c);
        EXPECT_EQ(legacy_wire_to_baud(wire), c) << int(wire);
    }
    EXPECT_EQ(legacy_baud_to_wire(8), 0);
    EXPECT_EQ(legacy_baud_to_wire(9), 0);
    EXPECT_EQ(legacy_wire_to_baud(0), 0);
    EXPECT_EQ(legacy_wire_to_baud(100), 0);
}

// Writing a record and reading it back gives the board's settings for everything the layout
// carries, for every product's default boards.
TEST(Records, ReadBackWhatWasWritten) {
    for (const char* text : {"0001", "0002", "0003", "0004", "0005", "0006", "0107"}) {
        SCOPED_TRACE(text);
        const auto product = parse_product_code(text).value();
        for (int index = 0; index < 12; ++index) {
            const BoardRow row = default_board_row(product, index, {127, 0, 1, 9});
            const BoardLayout layout = board_layout(product);
            BoardRow back;
            if (layout.protocol == BoardProtocol::Legacy) {
                read_legacy_record(encode_legacy_record(row, "IMIN"), back);
                back.product_code = row.product_code;  // not carried
            } else {
                read_main_record(encode_main_record(row, layout, 2, 0), layout, back);
            }
            EXPECT_EQ(back, row) << "index " << index;
        }
    }
}

TEST(Records, ReadingAShortDatagramLeavesLaterFieldsAlone) {
    const BoardRow row = sample_row(code(0, 3));
    Bytes d = encode_main_record(row, board_layout(code(0, 3)), 2, 0);
    d.resize(33);  // dns_server_ip (30..33) is cut in the middle
    BoardRow back;
    back.dns_server_ip = {9, 9, 9, 9};
    back.channel[0].local_port = 77;
    read_main_record(d, board_layout(code(0, 3)), back);
    EXPECT_EQ(back.local_ip, row.local_ip);
    EXPECT_EQ(back.trigger_chars, row.trigger_chars);
    EXPECT_EQ(back.dns_server_ip, (std::array<std::uint8_t, 4>{9, 9, 9, 9}));
    EXPECT_EQ(back.channel[0].local_port, 77u);
}

TEST(SetRequest, TakesCarriedFieldsButKeepsIdentityAndConnectionStatus) {
    const BoardRow board = default_board_row(code(0, 2), 3, {127, 0, 1, 4});
    BoardRow wanted = sample_row(code(0, 9));  // another product code and MAC in the request
    for (auto& c : wanted.channel) c.connection_status = 0;
    const Bytes request = encode_main_record(wanted, board_layout(code(0, 2)), 3, 0x11);

    const BoardRow now = apply_set_request(board, request, board_layout(code(0, 2)));
    EXPECT_EQ(now.mac_address, board.mac_address);
    EXPECT_EQ(now.product_code, board.product_code);
    EXPECT_EQ(now.firmware_major, board.firmware_major);
    EXPECT_EQ(now.firmware_minor, board.firmware_minor);
    EXPECT_EQ(now.local_ip, wanted.local_ip);
    EXPECT_EQ(now.pppoe_id, wanted.pppoe_id);
    EXPECT_EQ(now.reserved_word, wanted.reserved_word);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(now.channel[i].connection_status, board.channel[i].connection_status);
        EXPECT_EQ(now.channel[i].remote_ip, wanted.channel[i].remote_ip);
        EXPECT_EQ(now.channel[i].packing_size, 300u);
    }
}

TEST(SetRequest, ShortLayoutLeavesLongHeaderFieldsAndUncarriedChannels) {
    BoardRow board = default_board_row(code(0, 1), 0, {127, 0, 1, 1});
    board.pppoe_id = {'k', 'e', 'e', 'p'};
    board.channel[3].remote_port = 4444;
    const Bytes request =
        encode_main_record(sample_row(code(0, 1)), board_layout(code(0, 1)), 3, 0);
    const BoardRow now = apply_set_request(board, request, board_layout(code(0, 1)));
    EXPECT_EQ(now.pppoe_id, board.pppoe_id);
    EXPECT_EQ(now.channel[3].remote_port, 4444u);
    EXPECT_EQ(now.channel[2].remote_port, 0x0103u);
}

TEST(SetRequest, LegacyTakesOnlyTheLegacyFields) {
    BoardRow board = default_board_row(code(0, 4), 0, {127, 0, 1, 1});
    board.channel[0].use_dns = 0;
    board.channel[0].stop_bits = 1;
    BoardRow wanted = sample_row(code(0, 4));
    wanted.channel[0].packing_size = 200;
    const BoardRow now =
        apply_set_request(board, encode_legacy_record(wanted, "SETT"), board_layout(code(0, 4)));
    EXPECT_EQ(now.mac_address, board.mac_address);
    EXPECT_EQ(now.local_ip, wanted.local_ip);
    EXPECT_EQ(now.channel[0].baud_rate, 2);
    EXPECT_EQ(now.channel[0].data_bits, 1);
    EXPECT_EQ(now.channel[0].packing_size, 200u);
    EXPECT_EQ(now.channel[0].use_dns, 0);    // not in the legacy layout
    EXPECT_EQ(now.channel[0].stop_bits, 1);  // not in the legacy layout
    EXPECT_EQ(now.channel[0].connection_status, board.channel[0].connection_status);
}

}  // namespace
}  // namespace quorin::sim
