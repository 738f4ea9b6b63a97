// Helpers for the codec tests: writing hand-made datagrams byte by byte, sample and canary rows,
// and the lists of row fields each wire layout carries.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "protocol/board_record.h"

namespace quorin::test {

using Bytes = std::vector<std::uint8_t>;

// Writes `values` into `d` from `offset` on.
inline void put(Bytes& d, std::size_t offset, std::initializer_list<std::uint8_t> values) {
    std::copy(values.begin(), values.end(), d.begin() + static_cast<std::ptrdiff_t>(offset));
}

// Writes the characters of `text` into `d` from `offset` on, without a terminator.
inline void put_text(Bytes& d, std::size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), d.begin() + static_cast<std::ptrdiff_t>(offset));
}

// A 32-byte text field holding `text` and zeros after it.
inline std::array<std::uint8_t, 32> text32(std::string_view text) {
    std::array<std::uint8_t, 32> field{};
    std::copy_n(text.begin(), std::min(text.size(), field.size()), field.begin());
    return field;
}

// A row whose every byte is `fill`: fields the decoder must not reach keep it.
inline BoardRow canary_row(std::uint8_t fill = 0xA5) {
    const std::uint32_t wide = 0x01010101u * fill;
    BoardRow r;
    auto fill_all = [fill](auto& a) { a.fill(fill); };
    fill_all(r.mac_address);
    fill_all(r.product_code);
    fill_all(r.local_ip);
    fill_all(r.subnet_mask);
    fill_all(r.gateway_ip);
    r.firmware_major = r.firmware_minor = r.debug_mode = r.ip_mode = fill;
    r.serial_command_method = fill;
    fill_all(r.trigger_chars);
    fill_all(r.dns_server_ip);
    fill_all(r.reserved_block);
    r.reserved_word = wide;
    fill_all(r.pppoe_id);
    fill_all(r.pppoe_password);
    fill_all(r.reserved_text);
    for (ChannelBlock& c : r.channel) {
        c.operation_mode = c.connection_status = c.use_dns = c.udp = fill;
        fill_all(c.remote_ip);
        c.local_port = c.remote_port = wide;
        fill_all(c.domain_name);
        c.baud_rate = c.data_bits = c.parity = c.stop_bits = c.flow_control = fill;
        c.packing_char = fill;
        c.packing_size = c.packing_time = c.inactivity_time = wide;
        c.reserved = c.data_mode = fill;
    }
    return r;
}

// A row with distinct non-zero values in every field, all of which fit the main layout (16-bit
// integers). With `legacy_ranges` the values of channel[0] also fit the legacy layout (baud code
// 0 to 7, data-bit code 0 or 1, packing size below 256).
inline BoardRow sample_row(std::array<std::uint8_t, 2> product_code, bool legacy_ranges = false) {
    BoardRow r;
    r.mac_address = {0x00, 0x08, 0xDC, 0x1A, 0x2B, 0x3C};
    r.product_code = product_code;
    r.local_ip = {192, 168, 11, 2};
    r.subnet_mask = {255, 255, 254, 0};
    r.gateway_ip = {192, 168, 10, 1};
    r.firmware_major = 1;
    r.firmware_minor = 53;
    r.debug_mode = 1;
    r.ip_mode = 2;
    r.serial_command_method = 2;
    r.trigger_chars = {'+', '-', '*'};
    r.dns_server_ip = {168, 126, 63, 1};
    r.reserved_block = {1, 2, 3, 4, 5, 6};
    r.reserved_word = 0xBEEF;
    r.pppoe_id = text32("user@isp");
    r.pppoe_password = text32("secret");
    r.reserved_text = text32("reserved");
    r.reserved_text[31] = 0x7E;
    for (std::size_t i = 0; i < r.channel.size(); ++i) {
        const auto n = static_cast<std::uint8_t>(i + 1);
        ChannelBlock& c = r.channel[i];
        c.operation_mode = 1;
        c.connection_status = n;
        c.use_dns = 1;
        c.udp = 1;
        c.remote_ip = {10, 0, n, 20};
        c.local_port = 5000u + n;
        c.remote_port = 60000u + n;
        c.domain_name = text32("host.example");
        c.domain_name[13] = static_cast<std::uint8_t>('0' + n);  // after the terminator
        c.baud_rate = static_cast<std::uint8_t>(legacy_ranges ? 3 + i : 8);
        c.data_bits = 1;
        c.parity = 2;
        c.stop_bits = 3;
        c.flow_control = 2;
        c.packing_char = 0x0D;
        c.packing_size = legacy_ranges ? 250u - n : 1000u + n;
        c.packing_time = 300u + n;
        c.inactivity_time = 65535u - n;
        c.reserved = 0x40 | n;
        c.data_mode = 1;
    }
    return r;
}

// Copies into `to` the fields a main-layout record of `product_low` carries from `from`: the
// short header, the long header for 2 and 6, three channel records for 1 and four otherwise.
inline void copy_main_fields(const BoardRow& from, BoardRow& to, std::uint8_t product_low) {
    to.mac_address = from.mac_address;
    to.product_code = from.product_code;
    to.local_ip = from.local_ip;
    to.subnet_mask = from.subnet_mask;
    to.gateway_ip = from.gateway_ip;
    to.firmware_major = from.firmware_major;
    to.firmware_minor = from.firmware_minor;
    to.debug_mode = from.debug_mode;
    to.ip_mode = from.ip_mode;
    to.serial_command_method = from.serial_command_method;
    to.trigger_chars = from.trigger_chars;
    to.dns_server_ip = from.dns_server_ip;
    if (product_low == 2 || product_low == 6) {
        to.reserved_block = from.reserved_block;
        to.reserved_word = from.reserved_word;
        to.pppoe_id = from.pppoe_id;
        to.pppoe_password = from.pppoe_password;
        to.reserved_text = from.reserved_text;
    }
    const std::size_t channels = product_low == 1 ? 3 : 4;
    for (std::size_t i = 0; i < channels; ++i) to.channel[i] = from.channel[i];
}

// Copies into `to` the fields a legacy record carries from `from` (channel[0] only), and sets
// what decoding a legacy record implies: product code 00 04 and channel[0].use_dns 1.
inline void copy_legacy_fields(const BoardRow& from, BoardRow& to) {
    to.mac_address = from.mac_address;
    to.local_ip = from.local_ip;
    to.subnet_mask = from.subnet_mask;
    to.gateway_ip = from.gateway_ip;
    to.ip_mode = from.ip_mode;
    to.serial_command_method = from.serial_command_method;
    to.trigger_chars = from.trigger_chars;
    to.firmware_major = from.firmware_major;
    to.firmware_minor = from.firmware_minor;
    to.dns_server_ip = from.dns_server_ip;
    to.product_code = {0x00, 0x04};
    const ChannelBlock& f = from.channel[0];
    ChannelBlock& t = to.channel[0];
    t.local_port = f.local_port;
    t.remote_ip = f.remote_ip;
    t.remote_port = f.remote_port;
    t.operation_mode = f.operation_mode;
    t.baud_rate = f.baud_rate;
    t.data_bits = f.data_bits;
    t.parity = f.parity;
    t.flow_control = f.flow_control;
    t.packing_char = f.packing_char;
    t.packing_size = f.packing_size;
    t.packing_time = f.packing_time;
    t.inactivity_time = f.inactivity_time;
    t.domain_name = f.domain_name;
    t.connection_status = f.connection_status;
    t.use_dns = 1;
}

}  // namespace quorin::test
