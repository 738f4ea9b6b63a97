// Product-code table, identity texts, request lengths, protocol choice and the host tag.
#include <gtest/gtest.h>

#include <string>

#include "protocol/board_record.h"
#include "protocol/host_tag.h"
#include "protocol/record_codec.h"

namespace quorin {
namespace {

using Code = std::array<std::uint8_t, 2>;

struct ProductCase {
    Code code;
    const char* text;
    const char* model;  // "" for no model
};

class ProductCodeText : public ::testing::TestWithParam<ProductCase> {};

TEST_P(ProductCodeText, ShowsTextAndModel) {
    const ProductCase& c = GetParam();
    EXPECT_EQ(product_code_text(c.code), c.text);
    EXPECT_EQ(model_name(c.code), c.model);
}

INSTANTIATE_TEST_SUITE_P(Codes, ProductCodeText,
                         ::testing::Values(ProductCase{{0x00, 0x01}, "0001", "Quorin712P-T"},
                                           ProductCase{{0x00, 0x02}, "0002", "Quorin712P"},
                                           ProductCase{{0x00, 0x03}, "0003", "Quorin712PD"},
                                           ProductCase{{0x00, 0x04}, "0004", "5836KL"},
                                           ProductCase{{0x00, 0x05}, "0005", "BRV406H"},
                                           ProductCase{{0x00, 0x06}, "0006", "DAVRO2xM"},
                                           ProductCase{{0x01, 0x06}, "0106", ""},
                                           ProductCase{{0x00, 0x00}, "0000", ""},
                                           ProductCase{{0x00, 0x07}, "0007", ""},
                                           ProductCase{{0xAB, 0xCD}, "abcd", ""},
                                           ProductCase{{0xFF, 0xFF}, "ffff", ""}));

TEST(ProductTable, ModelNamesMapBackToTheirCodesExactly) {
    for (const ProductInfo& p : product_table()) {
        const auto code = product_code_for_model(p.model_name);
        ASSERT_TRUE(code.has_value()) << p.model_name;
        EXPECT_EQ(*code, (Code{0x00, p.code})) << p.model_name;
    }
    for (const char* name :
         {"", "davro2xm", "DAVRO2XM", "DAVRO2xM ", " Quorin712P", "Quorin712", "5836kl"}) {
        EXPECT_FALSE(product_code_for_model(name).has_value()) << '"' << name << '"';
    }
}

TEST(ProductTable, ProtocolChannelsAndLengthsAgreeWithTheMainLayouts) {
    for (const ProductInfo& p : product_table()) {
        SCOPED_TRACE(p.model_name);
        EXPECT_EQ(find_product(p.code)->model_name, std::string(p.model_name));
        if (p.protocol == WireProtocol::Legacy) {
            EXPECT_EQ(p.code, 4);
            EXPECT_EQ(p.record_length, kLegacyPacketSize);
            EXPECT_EQ(p.channels, 1);
            continue;
        }
        const MainLayout m = main_layout_for(p.code);
        EXPECT_EQ(m.channel_records, p.channels);
        EXPECT_EQ(m.record_length, p.record_length);
        EXPECT_EQ(m.record_length, m.channel_offset + 64 * static_cast<std::size_t>(p.channels));
        EXPECT_EQ(main_request_length({0, p.code}), p.record_length);
    }
    EXPECT_FALSE(find_product(0).has_value());
    EXPECT_FALSE(find_product(7).has_value());
}

TEST(MainLayout, UnknownCodesUseTheShortHeaderWithFourChannelRecords) {
    for (int code : {0, 4, 7, 9, 0x42, 0xFF}) {
        const MainLayout m = main_layout_for(static_cast<std::uint8_t>(code));
        EXPECT_FALSE(m.long_header) << code;
        EXPECT_EQ(m.channel_offset, 34u) << code;
        EXPECT_EQ(m.channel_records, 4) << code;
        EXPECT_EQ(m.record_length, 290u) << code;
    }
}

TEST(MacText, UpperCaseHexPairsJoinedByColons) {
    EXPECT_EQ(mac_text({0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}), "0A:1B:2C:3D:4E:5F");
    EXPECT_EQ(mac_text({0, 0, 0, 0, 0, 0}), "00:00:00:00:00:00");
    EXPECT_EQ(mac_text({0xFF, 0xEE, 0x01, 0x10, 0xA0, 0x0B}), "FF:EE:01:10:A0:0B");
}

struct LengthCase {
    Code code;
    std::size_t length;
    bool legacy;
};

class RequestLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(RequestLength, FollowsTheProductCode) {
    const LengthCase& c = GetParam();
    EXPECT_EQ(main_request_length(c.code), c.length);
    EXPECT_EQ(uses_legacy_protocol(c.code), c.legacy);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, RequestLength,
    ::testing::Values(LengthCase{{0x00, 0x01}, 226, false}, LengthCase{{0x00, 0x02}, 402, false},
                      LengthCase{{0x00, 0x03}, 290, false}, LengthCase{{0x00, 0x04}, 290, true},
                      LengthCase{{0x00, 0x05}, 290, false}, LengthCase{{0x00, 0x06}, 402, false},
                      LengthCase{{0x00, 0x00}, 290, false}, LengthCase{{0x00, 0x07}, 290, false},
                      LengthCase{{0x01, 0x01}, 290, false}, LengthCase{{0x01, 0x02}, 290, false},
                      LengthCase{{0x01, 0x04}, 290, false}, LengthCase{{0x04, 0x00}, 290, false},
                      LengthCase{{0xFF, 0x06}, 290, false}));

struct TagCase {
    std::array<std::uint8_t, 4> address;
    std::uint8_t tag;
};

TEST(HostTag, LowEightBitsOfTheOctetSum) {
    const TagCase cases[] = {
        {{192, 168, 1, 10}, 115},    {{127, 0, 0, 1}, 128}, {{0, 0, 0, 0}, 0},
        {{255, 255, 255, 255}, 252}, {{10, 0, 0, 246}, 0},  {{1, 2, 3, 4}, 10},
    };
    for (const TagCase& c : cases) {
        EXPECT_EQ(host_tag_from_address(c.address), c.tag)
            << int(c.address[0]) << '.' << int(c.address[1]) << '.' << int(c.address[2]) << '.'
            << int(c.address[3]);
    }
}

TEST(HostTag, ComputedFromTheOwnAddressOrZeroWithoutOne) {
    const auto address = own_host_address();
    EXPECT_EQ(compute_host_tag(), address ? host_tag_from_address(*address) : 0);
}

}  // namespace
}  // namespace quorin
