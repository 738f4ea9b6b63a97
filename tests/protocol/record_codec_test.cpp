// Round trips per product, truncated, empty and oversized datagrams, and keep_mac.
#include <gtest/gtest.h>

#include "protocol/record_codec.h"
#include "tests/protocol/codec_test_support.h"

namespace quorin {
namespace {

using test::Bytes;

// Encodes `working` as a main-protocol request and turns it into the reply a board would send.
// Cut to `length` bytes, or padded with zeros up to it.
Bytes main_reply_from(const BoardRow& working, std::size_t length) {
    Bytes packet = encode_main_datagram(working, OPCODE_SET_REPLY, 0x33);
    packet.resize(length);
    return packet;
}

Bytes legacy_reply_from(const BoardRow& working) {
    return encode_legacy_datagram(working, kLegacySetReply);
}

struct ProductCase {
    const char* label;
    std::array<std::uint8_t, 2> code;
};

class RoundTrip : public ::testing::TestWithParam<ProductCase> {};

TEST_P(RoundTrip, DecodingTheRequestGivesBackTheCarriedFields) {
    const ProductCase& c = GetParam();
    if (uses_legacy_protocol(c.code)) {
        const BoardRow working = test::sample_row(c.code, /*legacy_ranges=*/true);
        BoardRow back;
        decode_legacy_reply(legacy_reply_from(working), back);
        BoardRow expected;
        test::copy_legacy_fields(working, expected);
        EXPECT_EQ(back, expected);
        return;
    }
    const BoardRow working = test::sample_row(c.code);
    const std::size_t length = main_request_length(c.code);
    BoardRow back;
    decode_main_reply(main_reply_from(working, length), back);
    BoardRow expected;
    test::copy_main_fields(working, expected, c.code[1]);
    EXPECT_EQ(back, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Products, RoundTrip,
    ::testing::Values(ProductCase{"p0001", {0, 1}}, ProductCase{"p0002", {0, 2}},
                      ProductCase{"p0003", {0, 3}}, ProductCase{"p0004", {0, 4}},
                      ProductCase{"p0005", {0, 5}}, ProductCase{"p0006", {0, 6}},
                      ProductCase{"unknown0009", {0, 9}}, ProductCase{"zero0000", {0, 0}},
                      ProductCase{"unknownFF03", {0xFF, 3}}),
    [](const auto& info) { return std::string(info.param.label); });

struct DatagramCase {
    const char* label;
    std::array<std::uint8_t, 2> code;
    std::uint8_t opcode, host_tag;
    std::size_t length;
};

// The whole datagram is the record written into a cleared 402-byte buffer from byte 2, behind the
// opcode and the host tag, cut at the product's request length.
TEST(MainDatagram, IsTheRecordBehindOpcodeAndTagCutAtTheRequestLength) {
    const DatagramCase cases[] = {
        {"0001 three channel records", {0, 1}, OPCODE_SET_REQUEST, 0x73, 226},
        {"0002 long header", {0, 2}, OPCODE_UPLOAD_REQUEST, 0x00, 402},
        {"0003 short header", {0, 3}, OPCODE_SEARCH_REPLY, 0xFF, 290},
        {"0006 long header", {0, 6}, OPCODE_SET_REPLY, 0x01, 402},
        {"0009 unknown", {0, 9}, OPCODE_SET_REQUEST, 0x42, 290},
        {"0102 long layout cut", {1, 2}, OPCODE_SET_REQUEST, 0x42, 290},
    };
    for (const DatagramCase& c : cases) {
        SCOPED_TRACE(c.label);
        const BoardRow row = test::sample_row(c.code);
        const Bytes d = encode_main_datagram(row, c.opcode, c.host_tag);
        ASSERT_EQ(d.size(), c.length);
        EXPECT_EQ(d[0], c.opcode);
        EXPECT_EQ(d[1], c.host_tag);

        Bytes by_hand(kMainPacketSize, 0);
        by_hand[0] = c.opcode;
        by_hand[1] = c.host_tag;
        encode_main_request(row, by_hand);
        by_hand.resize(c.length);
        EXPECT_EQ(d, by_hand);
    }
}

TEST(LegacyDatagram, IsTheWholeRequestBehindItsLetters) {
    const BoardRow row = test::sample_row({0, 4}, /*legacy_ranges=*/true);
    for (const char* letters : {kLegacySet, kLegacyUpload, kLegacySetReply, "AB"}) {
        SCOPED_TRACE(letters);
        const Bytes d = encode_legacy_datagram(row, letters);
        Bytes by_hand(kLegacyPacketSize, 0xEE);
        encode_legacy_request(row, letters, by_hand);
        EXPECT_EQ(d, by_hand);
    }
    const Bytes two_letters = encode_legacy_datagram(row, "AB");
    EXPECT_EQ(Bytes(two_letters.begin(), two_letters.begin() + 4), (Bytes{'A', 'B', 0, 0}));
}

TEST(UnknownProduct, MainRecordDecodesShortHeaderAndFourChannelRecords) {
    BoardRow working = test::sample_row({0x00, 0x09});
    BoardRow row = test::canary_row();
    decode_main_reply(main_reply_from(working, 290), row);
    BoardRow expected = test::canary_row();
    test::copy_main_fields(working, expected, 9);
    EXPECT_EQ(row, expected);
    EXPECT_EQ(row.channel[3], working.channel[3]);
    EXPECT_EQ(row.pppoe_id, test::canary_row().pppoe_id);  // long header not read
}

TEST(UnknownProduct, ShortDatagramStopsAtItsEnd) {
    const BoardRow working = test::sample_row({0x00, 0x42});
    BoardRow row = test::canary_row();
    decode_main_reply(main_reply_from(working, 34 + 64 + 10), row);  // channel 2 cut at 10 bytes
    EXPECT_EQ(row.channel[0], working.channel[0]);
    EXPECT_EQ(row.channel[1].operation_mode, working.channel[1].operation_mode);
    EXPECT_EQ(row.channel[1].local_port, working.channel[1].local_port);
    EXPECT_EQ(row.channel[1].remote_port, 0u);  // bytes 10 and 11 of the record are missing
    EXPECT_EQ(row.channel[2], ChannelBlock{});
    EXPECT_EQ(row.channel[3], ChannelBlock{});
}

// Truncations of a 226-byte reply of product 0001. `keep` says which fields the truncated
// datagram still holds whole; everything else of the layout reads as zero.
struct TruncationCase {
    const char* label;
    std::size_t length;
    void (*keep)(const BoardRow& full, BoardRow& expected);
};

class Truncated : public ::testing::TestWithParam<TruncationCase> {};

TEST_P(Truncated, MissingFieldsReadAsZero) {
    const TruncationCase& c = GetParam();
    const BoardRow full = test::sample_row({0x00, 0x01});
    const Bytes reply = main_reply_from(full, c.length);
    ASSERT_EQ(reply.size(), c.length);

    BoardRow row = test::canary_row();
    decode_main_reply(reply, row);

    // The layout that decoding used decides which fields are written at all; of those, the
    // ones the datagram holds whole carry the reply's values and the others zero.
    BoardRow expected = test::canary_row();
    const std::uint8_t product_low = c.length >= 10 ? full.product_code[1] : 0;
    test::copy_main_fields(BoardRow{}, expected, product_low);
    c.keep(full, expected);
    EXPECT_EQ(row, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, Truncated,
    ::testing::Values(
        TruncationCase{"empty", 0, [](const BoardRow&, BoardRow&) {}},
        TruncationCase{"opcode_only", 1, [](const BoardRow&, BoardRow&) {}},
        TruncationCase{"mac_cut", 7, [](const BoardRow&, BoardRow&) {}},
        TruncationCase{"mac_only", 8,
                       [](const BoardRow& f, BoardRow& e) { e.mac_address = f.mac_address; }},
        TruncationCase{"product_code_cut", 9,
                       [](const BoardRow& f, BoardRow& e) { e.mac_address = f.mac_address; }},
        TruncationCase{"local_ip_cut", 12,
                       [](const BoardRow& f, BoardRow& e) {
                           e.mac_address = f.mac_address;
                           e.product_code = f.product_code;
                       }},
        TruncationCase{"header_only", 34,
                       [](const BoardRow& f, BoardRow& e) {
                           test::copy_main_fields(f, e, 1);
                           for (int i = 0; i < 3; ++i) e.channel[i] = {};
                       }},
        TruncationCase{"channel2_two_bytes", 100,
                       [](const BoardRow& f, BoardRow& e) {
                           test::copy_main_fields(f, e, 1);
                           e.channel[1] = {};
                           e.channel[1].operation_mode = f.channel[1].operation_mode;
                           e.channel[1].connection_status = f.channel[1].connection_status;
                           e.channel[2] = {};
                       }},
        TruncationCase{"last_data_mode_cut", 223,
                       [](const BoardRow& f, BoardRow& e) {
                           test::copy_main_fields(f, e, 1);
                           e.channel[2].data_mode = 0;
                       }},
        TruncationCase{"without_final_gap", 224,
                       [](const BoardRow& f, BoardRow& e) { test::copy_main_fields(f, e, 1); }}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Truncated, LongHeaderCutInsideATextField) {
    const BoardRow full = test::sample_row({0x00, 0x06});
    BoardRow row = test::canary_row();
    decode_main_reply(main_reply_from(full, 60), row);  // pppoe_id is bytes 50..81
    EXPECT_EQ(row.reserved_block, full.reserved_block);
    EXPECT_EQ(row.reserved_word, full.reserved_word);
    EXPECT_EQ(row.pppoe_id, (std::array<std::uint8_t, 32>{}));
    EXPECT_EQ(row.pppoe_password, (std::array<std::uint8_t, 32>{}));
    for (const ChannelBlock& c : row.channel) EXPECT_EQ(c, ChannelBlock{});
}

TEST(Truncated, LegacyReplyCutShort) {
    const BoardRow full = test::sample_row({0x00, 0x04}, true);
    Bytes reply = legacy_reply_from(full);
    reply.resize(34);  // up to the baud byte; data bits onwards missing

    BoardRow row = test::canary_row();
    decode_legacy_reply(reply, row);
    BoardRow expected = test::canary_row();
    test::copy_legacy_fields(BoardRow{}, expected);  // every legacy field zero ...
    expected.mac_address = full.mac_address;         // ... but those the reply holds
    expected.local_ip = full.local_ip;
    expected.subnet_mask = full.subnet_mask;
    expected.gateway_ip = full.gateway_ip;
    expected.ip_mode = full.ip_mode;
    expected.channel[0].local_port = full.channel[0].local_port;
    expected.channel[0].remote_ip = full.channel[0].remote_ip;
    expected.channel[0].remote_port = full.channel[0].remote_port;
    expected.channel[0].operation_mode = full.channel[0].operation_mode;
    expected.channel[0].baud_rate = full.channel[0].baud_rate;
    EXPECT_EQ(row, expected);
    EXPECT_EQ(row.channel[0].data_bits, 0);  // missing, not 0 - 7
}

TEST(Empty, MainReplyClearsTheShortLayoutOnly) {
    BoardRow row = test::canary_row();
    decode_main_reply({}, row);
    BoardRow expected = test::canary_row();
    test::copy_main_fields(BoardRow{}, expected, 0);
    EXPECT_EQ(row, expected);
}

TEST(Empty, LegacyReplyStillMarksTheRowAsLegacy) {
    BoardRow row = test::canary_row();
    decode_legacy_reply({}, row);
    BoardRow expected = test::canary_row();
    test::copy_legacy_fields(BoardRow{}, expected);
    EXPECT_EQ(row, expected);
    EXPECT_EQ(row.product_code, (std::array<std::uint8_t, 2>{0x00, 0x04}));
    EXPECT_EQ(row.channel[0].use_dns, 1);
}

TEST(Oversized, BytesBeyondTheLayoutAreIgnored) {
    for (std::uint8_t product : {1, 3, 6}) {
        const BoardRow working = test::sample_row({0x00, product});
        Bytes reply = main_reply_from(working, kMainPacketSize);
        BoardRow exact;
        decode_main_reply(reply, exact);
        reply.resize(2000, 0xFF);
        BoardRow big;
        decode_main_reply(reply, big);
        EXPECT_EQ(big, exact) << int(product);
    }
    const BoardRow legacy = test::sample_row({0x00, 0x04}, true);
    Bytes reply = legacy_reply_from(legacy);
    BoardRow exact;
    decode_legacy_reply(reply, exact);
    reply.resize(2000, 0xFF);
    BoardRow big;
    decode_legacy_reply(reply, big);
    EXPECT_EQ(big, exact);
}

TEST(KeepMac, MainReplyLeavesTheMacAsItWas) {
    const BoardRow working = test::sample_row({0x00, 0x03});
    BoardRow row;
    row.mac_address = {1, 2, 3, 4, 5, 6};
    decode_main_reply(main_reply_from(working, 290), row, /*keep_mac=*/true);
    BoardRow expected;
    test::copy_main_fields(working, expected, 3);
    expected.mac_address = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(row, expected);

    decode_main_reply(main_reply_from(working, 290), row);
    EXPECT_EQ(row.mac_address, working.mac_address);
}

TEST(KeepMac, LegacyReplyLeavesTheMacAsItWas) {
    const BoardRow working = test::sample_row({0x00, 0x04}, true);
    BoardRow row;
    row.mac_address = {9, 8, 7, 6, 5, 4};
    decode_legacy_reply(legacy_reply_from(working), row, /*keep_mac=*/true);
    BoardRow expected;
    test::copy_legacy_fields(working, expected);
    expected.mac_address = {9, 8, 7, 6, 5, 4};
    EXPECT_EQ(row, expected);

    decode_legacy_reply(legacy_reply_from(working), row);
    EXPECT_EQ(row.mac_address, working.mac_address);
}

TEST(SetReply, UpdatesOnlyWhatTheLayoutCarries) {
    // A row first filled by a long-header search reply keeps its PPPoE texts and fourth channel
    // when a shorter set reply of product 0001 is applied to it.
    const BoardRow first = test::sample_row({0x00, 0x02});
    BoardRow row;
    decode_main_reply(main_reply_from(first, 402), row);
    BoardRow changed = test::sample_row({0x00, 0x01});
    changed.local_ip = {10, 1, 2, 3};
    changed.channel[0].local_port = 7000;
    decode_main_reply(main_reply_from(changed, 226), row, /*keep_mac=*/true);

    EXPECT_EQ(row.local_ip, changed.local_ip);
    EXPECT_EQ(row.channel[0].local_port, 7000u);
    EXPECT_EQ(row.pppoe_id, first.pppoe_id);
    EXPECT_EQ(row.channel[3], first.channel[3]);
}

}  // namespace
}  // namespace quorin
