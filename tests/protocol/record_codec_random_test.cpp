// Arbitrary byte strings into both decoders, and arbitrary rows through both encoders, with a
// fixed seed. Built with the sanitizers, this also catches any read or write beyond a buffer: the
// datagrams are heap vectors of exactly their length.
#include <gtest/gtest.h>

#include <random>

#include "protocol/record_codec.h"
#include "tests/protocol/codec_test_support.h"

namespace quorin {
namespace {

using test::Bytes;

constexpr int kDecodeCases = 20000;
constexpr int kEncodeCases = 4000;
constexpr std::size_t kMaxDatagram = 2000;
constexpr std::uint32_t kSeed = 0x51C0DE;

Bytes random_bytes(std::mt19937& rng, std::size_t length) {
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes d(length);
    for (auto& b : d) b = static_cast<std::uint8_t>(byte(rng));
    return d;
}

// Half the lengths cluster around the record sizes, the rest spread up to kMaxDatagram.
std::size_t random_length(std::mt19937& rng, int n) {
    if (n % 2 == 0) return std::uniform_int_distribution<std::size_t>(0, 450)(rng);
    return std::uniform_int_distribution<std::size_t>(0, kMaxDatagram)(rng);
}

void expect_16_bit_channel_values(const ChannelBlock& c) {
    EXPECT_LE(c.local_port, 0xFFFFu);
    EXPECT_LE(c.remote_port, 0xFFFFu);
    EXPECT_LE(c.packing_size, 0xFFFFu);
    EXPECT_LE(c.packing_time, 0xFFFFu);
    EXPECT_LE(c.inactivity_time, 0xFFFFu);
}

TEST(RandomDecode, MainReplyWritesOnlyTheFieldsOfItsLayout) {
    std::mt19937 rng(kSeed);
    const BoardRow canary = test::canary_row();
    for (int n = 0; n < kDecodeCases; ++n) {
        Bytes d = random_bytes(rng, random_length(rng, n));
        // Every product byte, with the first code byte mostly zero.
        const auto product_low = static_cast<std::uint8_t>(n % 256);
        if (d.size() > 9) {
            d[9] = product_low;
            if (n % 4 != 0) d[8] = 0;
        }
        const bool keep_mac = n % 3 == 0;

        BoardRow row = canary;
        decode_main_reply(d, row, keep_mac);

        const std::uint8_t used_low = d.size() >= 10 ? d[9] : 0;
        BoardRow expected = canary;
        test::copy_main_fields(row, expected, used_low);
        if (keep_mac) expected.mac_address = canary.mac_address;
        ASSERT_EQ(row, expected) << "case " << n << ", length " << d.size();

        if (!keep_mac && d.size() >= 8) {
            ASSERT_TRUE(std::equal(row.mac_address.begin(), row.mac_address.end(), d.begin() + 2));
        }
        if (d.size() >= 10) {
            ASSERT_EQ(row.product_code[0], d[8]);
            ASSERT_EQ(row.product_code[1], d[9]);
        }
        const MainLayout layout = main_layout_for(used_low);
        if (d.size() >= layout.record_length) {
            const std::size_t last = layout.record_length - 64;
            const auto& c = row.channel[static_cast<std::size_t>(layout.channel_records - 1)];
            ASSERT_EQ(c.local_port, static_cast<std::uint32_t>(d[last + 8] | (d[last + 9] << 8)));
            ASSERT_EQ(c.data_mode, d[last + 61]);
        }
        for (const ChannelBlock& c : row.channel) {
            if (c != canary.channel[0]) expect_16_bit_channel_values(c);
        }
        if (::testing::Test::HasFailure()) FAIL() << "case " << n;
    }
}

TEST(RandomDecode, LegacyReplyWritesOnlyTheLegacyFields) {
    std::mt19937 rng(kSeed + 1);
    const BoardRow canary = test::canary_row();
    for (int n = 0; n < kDecodeCases; ++n) {
        Bytes d = random_bytes(rng, random_length(rng, n));
        // Product-code bytes of the main layout mean nothing here; vary them anyway.
        if (d.size() > 9) d[9] = static_cast<std::uint8_t>(n % 256);
        const bool keep_mac = n % 3 == 0;

        BoardRow row = canary;
        decode_legacy_reply(d, row, keep_mac);

        BoardRow expected = canary;
        test::copy_legacy_fields(row, expected);  // also demands product 0004 and use_dns 1
        if (keep_mac) expected.mac_address = canary.mac_address;
        ASSERT_EQ(row, expected) << "case " << n << ", length " << d.size();

        const ChannelBlock& c = row.channel[0];
        ASSERT_LE(c.baud_rate, 7);
        ASSERT_LE(c.packing_size, 0xFFu);
        ASSERT_LE(c.local_port, 0xFFFFu);
        ASSERT_LE(c.remote_port, 0xFFFFu);
        ASSERT_LE(c.packing_time, 0xFFFFu);
        ASSERT_LE(c.inactivity_time, 0xFFFFu);
        if (d.size() > 34) {
            ASSERT_EQ(c.data_bits, static_cast<std::uint8_t>(d[34] - 7));
        } else {
            ASSERT_EQ(c.data_bits, 0);
        }
    }
}

// A row of random bytes and random 32-bit integers.
BoardRow random_row(std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255);
    auto b = [&] { return static_cast<std::uint8_t>(byte(rng)); };
    auto w = [&] { return static_cast<std::uint32_t>(rng()); };
    auto fill = [&](auto& a) {
        for (auto& x : a) x = b();
    };
    BoardRow r;
    fill(r.mac_address);
    fill(r.product_code);
    fill(r.local_ip);
    fill(r.subnet_mask);
    fill(r.gateway_ip);
    r.firmware_major = b();
    r.firmware_minor = b();
    r.debug_mode = b();
    r.ip_mode = b();
    r.serial_command_method = b();
    fill(r.trigger_chars);
    fill(r.dns_server_ip);
    fill(r.reserved_block);
    r.reserved_word = w();
    fill(r.pppoe_id);
    fill(r.pppoe_password);
    fill(r.reserved_text);
    for (ChannelBlock& c : r.channel) {
        c.operation_mode = b();
        c.connection_status = b();
        c.use_dns = b();
        c.udp = b();
        fill(c.remote_ip);
        c.local_port = w();
        c.remote_port = w();
        fill(c.domain_name);
        c.baud_rate = b();
        c.data_bits = b();
        c.parity = b();
        c.stop_bits = b();
        c.flow_control = b();
        c.packing_char = b();
        c.packing_size = w();
        c.packing_time = w();
        c.inactivity_time = w();
        c.reserved = b();
        c.data_mode = b();
    }
    return r;
}

// What a row reads back as after the main layout: 32-bit values narrowed to 16 bits.
BoardRow narrowed_for_main(BoardRow r) {
    r.reserved_word &= 0xFFFFu;
    for (ChannelBlock& c : r.channel) {
        c.local_port &= 0xFFFFu;
        c.remote_port &= 0xFFFFu;
        c.packing_size &= 0xFFFFu;
        c.packing_time &= 0xFFFFu;
        c.inactivity_time &= 0xFFFFu;
    }
    return r;
}

// What channel[0] reads back as after the legacy layout.
BoardRow narrowed_for_legacy(BoardRow r) {
    ChannelBlock& c = r.channel[0];
    c.local_port &= 0xFFFFu;
    c.remote_port &= 0xFFFFu;
    c.packing_size &= 0xFFu;
    c.packing_time &= 0xFFFFu;
    c.inactivity_time &= 0xFFFFu;
    if (c.baud_rate > 7) c.baud_rate = 0;
    return r;
}

TEST(RandomEncode, MainRequestStaysInItsPacketAndReadsBack) {
    std::mt19937 rng(kSeed + 2);
    constexpr std::uint8_t kGuard = 0xE7;
    for (int n = 0; n < kEncodeCases; ++n) {
        BoardRow working = random_row(rng);
        if (n % 2 == 0) working.product_code[0] = 0;
        if (n % 4 != 3) working.product_code[1] = static_cast<std::uint8_t>(n % 8);

        Bytes buffer(kMainPacketSize + 64, kGuard);
        encode_main_request(working, std::span(buffer).first(kMainPacketSize));
        ASSERT_EQ(buffer[0], kGuard);
        ASSERT_EQ(buffer[1], kGuard);
        for (std::size_t i = kMainPacketSize; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kGuard);

        buffer.resize(kMainPacketSize);
        BoardRow back;
        decode_main_reply(buffer, back);
        BoardRow expected;
        test::copy_main_fields(narrowed_for_main(working), expected, working.product_code[1]);
        ASSERT_EQ(back, expected) << "case " << n;
    }
}

TEST(RandomEncode, LegacyRequestStaysInItsPacketAndReadsBack) {
    std::mt19937 rng(kSeed + 3);
    constexpr std::uint8_t kGuard = 0xE7;
    for (int n = 0; n < kEncodeCases; ++n) {
        const BoardRow working = random_row(rng);
        Bytes buffer(kLegacyPacketSize + 64, kGuard);
        encode_legacy_request(working, kLegacyUpload, std::span(buffer).first(kLegacyPacketSize));
        for (std::size_t i = kLegacyPacketSize; i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], kGuard);
        }
        ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + 4, "FIRS"));

        buffer.resize(kLegacyPacketSize);
        BoardRow back;
        decode_legacy_reply(buffer, back);
        BoardRow expected;
        test::copy_legacy_fields(narrowed_for_legacy(working), expected);
        ASSERT_EQ(back, expected) << "case " << n;
    }
}

TEST(RandomEncode, PacketsSmallerThanTheRecordAreNotOverrun) {
    std::mt19937 rng(kSeed + 4);
    constexpr std::uint8_t kGuard = 0xE7;
    for (int n = 0; n < kEncodeCases; ++n) {
        const BoardRow working = random_row(rng);
        const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 402)(rng);
        Bytes buffer(size + 16, kGuard);
        const auto packet = std::span(buffer).first(size);
        if (n % 2 == 0) {
            encode_main_request(working, packet);
        } else {
            encode_legacy_request(working, kLegacySet, packet);
        }
        for (std::size_t i = size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kGuard) << n;
    }
}

}  // namespace
}  // namespace quorin
