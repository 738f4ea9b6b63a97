// Board rows for the main-window tests: a row of a given product and firmware with its own MAC,
// and the product codes by name.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "protocol/board_record.h"

namespace quorin::testing {

namespace product {
inline constexpr std::uint8_t kQuorin712PT = 1;
inline constexpr std::uint8_t kQuorin712P = 2;
inline constexpr std::uint8_t kQuorin712PD = 3;
inline constexpr std::uint8_t k5836KL = 4;
inline constexpr std::uint8_t kBRV406H = 5;
inline constexpr std::uint8_t kDAVRO2xM = 6;
}  // namespace product

// A board of `product` (second product-code byte) with firmware major.minor; `id` makes the MAC
// unique. Channels hold 8 data bits, parity "None" and ports that tell the channels apart.
inline BoardRow board_row(std::uint8_t product, std::uint8_t id = 1, std::uint8_t major = 1,
                          std::uint8_t minor = 62) {
    BoardRow r;
    r.mac_address = {0x00, 0x08, 0xDC, 0x00, product, id};
    r.product_code = {0, product};
    r.local_ip = {192, 168, 1, static_cast<std::uint8_t>(100 + id)};
    r.subnet_mask = {255, 255, 255, 0};
    r.gateway_ip = {192, 168, 1, 1};
    r.dns_server_ip = {8, 8, 4, 4};
    r.firmware_major = major;
    r.firmware_minor = minor;
    r.serial_command_method = 1;
    for (std::size_t i = 0; i < r.channel.size(); ++i) {
        ChannelBlock& c = r.channel[i];
        c.data_bits = 1;
        c.local_port = 5000 + static_cast<std::uint32_t>(i);
        c.remote_port = 6000 + static_cast<std::uint32_t>(i);
        c.remote_ip = {10, 0, 0, static_cast<std::uint8_t>(i + 1)};
    }
    return r;
}

// A 32-byte text field holding exactly `bytes`, zeros after them.
inline std::array<std::uint8_t, 32> text_field(std::initializer_list<std::uint8_t> bytes) {
    std::array<std::uint8_t, 32> f{};
    std::copy(bytes.begin(), bytes.end(), f.begin());
    return f;
}

}  // namespace quorin::testing
