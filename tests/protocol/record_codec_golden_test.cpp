// Records written out byte by byte from the layout tables, decoded and encoded by the codec.
#include <gtest/gtest.h>

#include "protocol/record_codec.h"
#include "tests/protocol/codec_test_support.h"

namespace quorin {
namespace {

using test::Bytes;
using test::put;
using test::put_text;
using test::text32;

// A search reply of product 0001: 226 bytes, three channel records.
Bytes reply_0001() {
    Bytes d(226, 0);
    put(d, 0, {0x02, 0x5A});                          // opcode 2, the board's own tag
    put(d, 2, {0x00, 0x08, 0xDC, 0x11, 0x22, 0x33});  // mac_address
    put(d, 8, {0x00, 0x01});                          // product_code
    put(d, 10, {0xC0, 0xA8, 0x01, 0x32});             // local_ip 192.168.1.50
    put(d, 14, {0xFF, 0xFF, 0xFF, 0x00});             // subnet_mask
    put(d, 18, {0xC0, 0xA8, 0x01, 0x01});             // gateway_ip
    put(d, 22, {0x01, 0x36});                         // firmware 1.54
    put(d, 24, {0x00, 0x01, 0x02});                   // debug off, DHCP, SW trigger
    put(d, 27, {0x2B, 0x2B, 0x2B});                   // trigger_chars "+++"
    put(d, 30, {0x08, 0x08, 0x04, 0x04});             // dns_server_ip
    // Channel 1 at 34: server, connected, TCP, local port 50001, 115200-class code 0, 8 bits,
    // no parity, stop "1".
    put(d, 34, {0x00, 0x01, 0x00, 0x00});
    put(d, 42, {0x51, 0xC3});
    put(d, 82, {0x00, 0x01, 0x00, 0x01, 0x00, 0x00});
    // Channel 2 at 98: client by domain name over UDP.
    put(d, 98, {0x01, 0x00, 0x01, 0x01});
    put(d, 102, {0x0A, 0x00, 0x00, 0x07});  // remote_ip 10.0.0.7
    put(d, 106, {0x88, 0x13});              // local_port 5000
    put(d, 108, {0x39, 0x30});              // remote_port 12345
    put_text(d, 114, "peer.example");       // domain_name, zero at 126
    put(d, 146, {0x04, 0x00, 0x02, 0x03, 0x02, 0x0D});
    put(d, 152, {0xC8, 0x00, 0xE8, 0x03, 0x2C, 0x01});  // packing 200, time 1000, idle 300
    put(d, 158, {0x5A, 0x01});                          // reserved, telnet
    // Channel 3 at 162: the third operation mode, a 32-character domain name without zero.
    put(d, 162, {0x02, 0x07, 0x00, 0x00});
    put(d, 166, {0xC0, 0xA8, 0x01, 0x64});  // remote_ip 192.168.1.100
    put(d, 170, {0xFF, 0xFF, 0x01, 0x00});  // local_port 65535, remote_port 1
    put_text(d, 178, "abcdefghijklmnopqrstuvwxyz012345");
    put(d, 210, {0x09, 0x01, 0x01, 0x00, 0x03, 0x7E});
    put(d, 216, {0xFF, 0xFF, 0x00, 0x01, 0x0A, 0x00});  // packing 65535, time 256, idle 10
    put(d, 222, {0x00, 0x01});
    return d;
}

BoardRow row_0001() {
    BoardRow r;
    r.mac_address = {0x00, 0x08, 0xDC, 0x11, 0x22, 0x33};
    r.product_code = {0x00, 0x01};
    r.local_ip = {192, 168, 1, 50};
    r.subnet_mask = {255, 255, 255, 0};
    r.gateway_ip = {192, 168, 1, 1};
    r.firmware_major = 1;
    r.firmware_minor = 54;
    r.ip_mode = 1;
    r.serial_command_method = 2;
    r.trigger_chars = {'+', '+', '+'};
    r.dns_server_ip = {8, 8, 4, 4};

    ChannelBlock& c1 = r.channel[0];
    c1.connection_status = 1;
    c1.local_port = 50001;
    c1.data_bits = 1;
    c1.stop_bits = 1;

    ChannelBlock& c2 = r.channel[1];
    c2.operation_mode = 1;
    c2.use_dns = 1;
    c2.udp = 1;
    c2.remote_ip = {10, 0, 0, 7};
    c2.local_port = 5000;
    c2.remote_port = 12345;
    c2.domain_name = text32("peer.example");
    c2.baud_rate = 4;
    c2.parity = 2;
    c2.stop_bits = 3;
    c2.flow_control = 2;
    c2.packing_char = 0x0D;
    c2.packing_size = 200;
    c2.packing_time = 1000;
    c2.inactivity_time = 300;
    c2.reserved = 0x5A;
    c2.data_mode = 1;

    ChannelBlock& c3 = r.channel[2];
    c3.operation_mode = 2;
    c3.connection_status = 7;
    c3.remote_ip = {192, 168, 1, 100};
    c3.local_port = 65535;
    c3.remote_port = 1;
    c3.domain_name = text32("abcdefghijklmnopqrstuvwxyz012345");
    c3.baud_rate = 9;
    c3.data_bits = 1;
    c3.parity = 1;
    c3.flow_control = 3;
    c3.packing_char = 0x7E;
    c3.packing_size = 65535;
    c3.packing_time = 256;
    c3.inactivity_time = 10;
    c3.data_mode = 1;
    return r;
}

// A legacy search reply, 120 bytes.
Bytes reply_legacy() {
    Bytes d(120, 0);
    put_text(d, 0, "IMIN");
    put(d, 4, {0x00, 0x08, 0xDC, 0x44, 0x55, 0x66});  // mac_address
    put(d, 10, {0xC0, 0xA8, 0x00, 0x0A});             // local_ip 192.168.0.10
    put(d, 14, {0xFF, 0xFF, 0xFF, 0x00});             // subnet_mask
    put(d, 18, {0xC0, 0xA8, 0x00, 0x01});             // gateway_ip
    put(d, 22, {0xC3, 0x51});                         // local_port 50001
    put(d, 24, {0xC0, 0xA8, 0x00, 0x14});             // remote_ip 192.168.0.20
    put(d, 28, {0x13, 0x88});                         // remote_port 5000
    put(d, 30, {0x01, 0x01});                         // DHCP, client
    put(d, 33, {0xFA, 0x08, 0x02, 0x01, 0x01});       // baud byte 250, 8 bits, even, Xon/Xoff, HW
    put_text(d, 38, "ABC");                           // trigger_chars
    put(d, 41, {0x0A, 0xC8});                         // packing_char, packing_size 200
    put(d, 43, {0x01, 0x2C, 0x0B, 0xB8});             // packing_time 300, inactivity 3000
    put(d, 47, {0x02, 0x05});                         // firmware 2.5
    put(d, 50, {0xA8, 0x7E, 0x3F, 0x01});             // dns_server_ip
    put_text(d, 54, "legacy.example");                // domain_name
    put(d, 119, {0x01});                              // connected
    return d;
}

BoardRow row_legacy() {
    BoardRow r;
    r.mac_address = {0x00, 0x08, 0xDC, 0x44, 0x55, 0x66};
    r.product_code = {0x00, 0x04};
    r.local_ip = {192, 168, 0, 10};
    r.subnet_mask = {255, 255, 255, 0};
    r.gateway_ip = {192, 168, 0, 1};
    r.firmware_major = 2;
    r.firmware_minor = 5;
    r.ip_mode = 1;
    r.serial_command_method = 1;
    r.trigger_chars = {'A', 'B', 'C'};
    r.dns_server_ip = {168, 126, 63, 1};
    ChannelBlock& c = r.channel[0];
    c.operation_mode = 1;
    c.connection_status = 1;
    c.use_dns = 1;
    c.remote_ip = {192, 168, 0, 20};
    c.local_port = 50001;
    c.remote_port = 5000;
    c.domain_name = text32("legacy.example");
    c.baud_rate = 3;
    c.data_bits = 1;
    c.parity = 2;
    c.flow_control = 1;
    c.packing_char = 0x0A;
    c.packing_size = 200;
    c.packing_time = 300;
    c.inactivity_time = 3000;
    return r;
}

TEST(GoldenMain, Reply0001FillsChannelsOneToThreeAndLeavesTheFourth) {
    BoardRow cleared;
    decode_main_reply(reply_0001(), cleared);
    EXPECT_EQ(cleared, row_0001());
    EXPECT_EQ(cleared.channel[3], ChannelBlock{});

    // A row that already holds values keeps the fourth block and the long-header fields.
    BoardRow used = test::canary_row();
    decode_main_reply(reply_0001(), used);
    BoardRow expected = test::canary_row();
    test::copy_main_fields(row_0001(), expected, 1);
    EXPECT_EQ(used, expected);
    EXPECT_EQ(used.channel[3], test::canary_row().channel[3]);
}

TEST(GoldenMain, Request0001IsTheReplyLayoutFromByteTwo) {
    BoardRow working = row_0001();
    working.channel[3] = test::canary_row().channel[3];  // not carried by product 0001
    Bytes packet(kMainPacketSize, 0);
    encode_main_request(working, packet);

    Bytes expected = reply_0001();
    expected[0] = 0;  // opcode and host tag are the sender's
    expected[1] = 0;
    expected.resize(kMainPacketSize, 0);
    EXPECT_EQ(packet, expected);
}

TEST(GoldenMain, PppoeIdOfFourLettersKeepsTheEarlierTailAfterItsZero) {
    BoardRow working;
    working.product_code = {0x00, 0x02};
    working.pppoe_id = text32("longername");  // an earlier, longer value
    const char shorter[] = "abcd";
    std::copy_n(shorter, 5, working.pppoe_id.begin());  // four letters and their zero

    Bytes packet(kMainPacketSize, 0);
    encode_main_request(working, packet);

    const Bytes id(packet.begin() + 50, packet.begin() + 82);
    Bytes expected(32, 0);
    put_text(expected, 0, "abcd");
    put_text(expected, 5, "rname");  // "longername" from its sixth letter on
    EXPECT_EQ(id, expected);
    EXPECT_EQ(packet[54], 0);
}

TEST(GoldenMain, LongHeaderFieldsSitAtTheirOffsets) {
    BoardRow working;
    working.product_code = {0x00, 0x06};
    working.reserved_block = {1, 2, 3, 4, 5, 6};
    working.reserved_word = 0x12345678;  // sent as its low 16 bits
    working.pppoe_id = text32("id");
    working.pppoe_password = text32("pw");
    working.reserved_text = text32("rt");
    working.channel[0].local_port = 0x1234;
    working.channel[3].data_mode = 1;

    Bytes packet(kMainPacketSize, 0);
    encode_main_request(working, packet);

    Bytes expected(kMainPacketSize, 0);
    put(expected, 8, {0x00, 0x06});
    put(expected, 34, {1, 2, 3, 4, 5, 6});
    put(expected, 40, {0x78, 0x56});
    put_text(expected, 50, "id");
    put_text(expected, 82, "pw");
    put_text(expected, 114, "rt");
    put(expected, 146 + 8, {0x34, 0x12});   // channel 1 starts after the long header
    put(expected, 146 + 3 * 64 + 61, {1});  // channel 4's data_mode is the packet's byte 399
    EXPECT_EQ(packet, expected);
}

TEST(GoldenMain, BytesNoFieldCoversAreNotWritten) {
    constexpr std::uint8_t kUntouched = 0xEE;
    BoardRow working = test::sample_row({0x00, 0x02});
    Bytes packet(kMainPacketSize, kUntouched);
    encode_main_request(working, packet);

    std::vector<std::size_t> gaps = {0, 1, 42, 43, 44, 45, 46, 47, 48, 49};
    for (std::size_t base = 146; base < 402; base += 64) {
        for (std::size_t off : {12, 13, 14, 15, 62, 63}) gaps.push_back(base + off);
    }
    for (std::size_t i : gaps) EXPECT_EQ(packet[i], kUntouched) << "byte " << i;

    // Product 0001 writes nothing beyond its 226 bytes.
    working.product_code = {0x00, 0x01};
    Bytes short_packet(kMainPacketSize, kUntouched);
    encode_main_request(working, short_packet);
    for (std::size_t i = 226; i < kMainPacketSize; ++i) {
        ASSERT_EQ(short_packet[i], kUntouched) << "byte " << i;
    }
}

TEST(GoldenMain, FieldsThatWouldNotFitThePacketAreNotWritten) {
    constexpr std::uint8_t kUntouched = 0xEE;
    const BoardRow working = test::sample_row({0x00, 0x06});
    Bytes buffer(kMainPacketSize, kUntouched);
    encode_main_request(working, std::span(buffer).first(300));
    for (std::size_t i = 300; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kUntouched) << i;
    // Channel 3 starts at 274: its domain name (290..321) does not fit and is not started.
    for (std::size_t i = 290; i < 300; ++i) EXPECT_EQ(buffer[i], kUntouched) << i;
    EXPECT_EQ(buffer[274], working.channel[2].operation_mode);
}

struct PortCase {
    std::array<std::uint8_t, 2> product;
    std::size_t offset;
    std::uint8_t first, second;
};

TEST(GoldenMain, PortsAreLittleEndianInEveryChannelRecord) {
    const PortCase cases[] = {
        {{0, 3}, 34 + 8, 0x51, 0xC3},            // channel 1, short header
        {{0, 1}, 34 + 2 * 64 + 8, 0x51, 0xC3},   // channel 3 of product 0001
        {{0, 6}, 146 + 3 * 64 + 8, 0x51, 0xC3},  // channel 4, long header
    };
    for (const PortCase& c : cases) {
        BoardRow working;
        working.product_code = c.product;
        for (ChannelBlock& ch : working.channel) ch.local_port = 50001;
        Bytes packet(kMainPacketSize, 0);
        encode_main_request(working, packet);
        EXPECT_EQ(packet[c.offset], c.first) << c.offset;
        EXPECT_EQ(packet[c.offset + 1], c.second) << c.offset;

        packet[0] = OPCODE_SET_REPLY;
        BoardRow back;
        decode_main_reply(packet, back);
        EXPECT_EQ(back.channel[0].local_port, 50001u);
    }
}

TEST(GoldenLegacy, ReplyDecodesWithBaudAndDataBitCodes) {
    BoardRow row;
    decode_legacy_reply(reply_legacy(), row);
    EXPECT_EQ(row, row_legacy());
    EXPECT_EQ(product_code_text(row.product_code), "0004");
    EXPECT_EQ(row.channel[0].use_dns, 1);
    EXPECT_EQ(row.channel[0].baud_rate, 3);  // wire byte 250
    EXPECT_EQ(row.channel[0].data_bits, 1);  // eight bits
}

TEST(GoldenLegacy, RequestIsTheReplyLayoutWithTheOpcodeLetters) {
    Bytes packet(kLegacyPacketSize, 0xEE);
    encode_legacy_request(row_legacy(), kLegacySet, packet);
    Bytes expected = reply_legacy();
    put_text(expected, 0, "SETT");
    EXPECT_EQ(packet, expected);  // uncovered bytes (32, 49, 86..118) are zero

    encode_legacy_request(row_legacy(), kLegacyUpload, packet);
    put_text(expected, 0, "FIRS");
    EXPECT_EQ(packet, expected);
}

TEST(GoldenLegacy, FieldsTheLegacyLayoutLacksAreNotSent) {
    BoardRow working = row_legacy();
    working.debug_mode = 1;
    working.pppoe_id = text32("ignored");
    working.channel[0].stop_bits = 3;
    working.channel[0].udp = 1;
    working.channel[0].data_mode = 1;
    working.channel[0].reserved = 9;
    working.channel[1].local_port = 4242;
    Bytes packet(kLegacyPacketSize, 0);
    encode_legacy_request(working, kLegacySet, packet);
    Bytes expected = reply_legacy();
    put_text(expected, 0, "SETT");
    EXPECT_EQ(packet, expected);
}

TEST(GoldenLegacy, PortIsBigEndian) {
    BoardRow working;
    working.product_code = {0x00, 0x04};
    working.channel[0].local_port = 50001;
    working.channel[0].remote_port = 0x12345;  // sent as its low 16 bits
    Bytes packet(kLegacyPacketSize, 0);
    encode_legacy_request(working, kLegacySet, packet);
    EXPECT_EQ(packet[22], 0xC3);
    EXPECT_EQ(packet[23], 0x51);
    EXPECT_EQ(packet[28], 0x23);
    EXPECT_EQ(packet[29], 0x45);
}

struct BaudCase {
    std::uint8_t code;
    std::uint8_t wire;
    std::uint8_t back;  // the code the wire byte reads back as
};

TEST(GoldenLegacy, BaudCodesTravelAsTheirWireBytes) {
    const BaudCase cases[] = {
        {0, 255, 0}, {1, 254, 1}, {2, 253, 2}, {3, 250, 3}, {4, 244, 4}, {5, 232, 5},
        {6, 208, 6}, {7, 160, 7}, {8, 0, 0},   {9, 0, 0},   {200, 0, 0},
    };
    for (const BaudCase& c : cases) {
        SCOPED_TRACE(int(c.code));
        EXPECT_EQ(legacy_baud_wire_byte(c.code), c.wire);
        BoardRow working;
        working.channel[0].baud_rate = c.code;
        Bytes packet(kLegacyPacketSize, 0);
        encode_legacy_request(working, kLegacySet, packet);
        EXPECT_EQ(packet[33], c.wire);
        BoardRow back;
        decode_legacy_reply(packet, back);
        EXPECT_EQ(back.channel[0].baud_rate, c.back);
    }
}

TEST(GoldenLegacy, UnknownBaudBytesReadAsCodeZero) {
    for (int wire : {0, 1, 7, 8, 159, 161, 251, 252}) {
        EXPECT_EQ(legacy_baud_code(static_cast<std::uint8_t>(wire)), 0) << wire;
    }
}

struct DataBitsCase {
    std::uint8_t code;
    std::uint8_t wire;
};

TEST(GoldenLegacy, DataBitsTravelAsTheNumberOfBits) {
    for (const DataBitsCase& c : {DataBitsCase{0, 7}, DataBitsCase{1, 8}}) {
        BoardRow working;
        working.channel[0].data_bits = c.code;
        Bytes packet(kLegacyPacketSize, 0);
        encode_legacy_request(working, kLegacySet, packet);
        EXPECT_EQ(packet[34], c.wire);
        BoardRow back;
        decode_legacy_reply(packet, back);
        EXPECT_EQ(back.channel[0].data_bits, c.code);
    }
}

struct PackingCase {
    std::uint32_t size;
    std::uint8_t wire;
    std::uint32_t back;
};

TEST(GoldenLegacy, PackingSizeTravelsAsItsLowEightBits) {
    const PackingCase cases[] = {
        {200, 0xC8, 200}, {300, 0x2C, 44}, {255, 0xFF, 255}, {256, 0x00, 0}, {0, 0x00, 0}};
    for (const PackingCase& c : cases) {
        BoardRow working;
        working.channel[0].packing_size = c.size;
        Bytes packet(kLegacyPacketSize, 0);
        encode_legacy_request(working, kLegacySet, packet);
        EXPECT_EQ(packet[42], c.wire) << c.size;
        EXPECT_EQ(packet[43], 0) << c.size;  // packing_time's first byte is untouched
        BoardRow back;
        decode_legacy_reply(packet, back);
        EXPECT_EQ(back.channel[0].packing_size, c.back) << c.size;
    }
}

TEST(GoldenLegacy, TextFieldsGoOutWithAllThirtyTwoBytes) {
    BoardRow working;
    working.channel[0].domain_name = text32("old.long.example");
    const char shorter[] = "new";
    std::copy_n(shorter, 4, working.channel[0].domain_name.begin());
    Bytes packet(kLegacyPacketSize, 0);
    encode_legacy_request(working, kLegacySet, packet);
    Bytes expected(32, 0);
    put_text(expected, 0, "new");
    put_text(expected, 4, "long.example");
    EXPECT_EQ(Bytes(packet.begin() + 54, packet.begin() + 86), expected);
}

}  // namespace
}  // namespace quorin
