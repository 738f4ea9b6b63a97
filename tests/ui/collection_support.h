// Support for the settings-collection tests: a field-by-field comparison of two board records
// (the names of the fields that differ, such as "local_ip" or "channel[1].remote_port", so that
// a failure says which field went wrong and a test can state exactly which fields an edit
// changed), realistic board rows of the six models, and reading a board socket.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QUdpSocket>
#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/board_record.h"
#include "tests/support/text_field.h"

namespace quorin::testing {

using FieldSet = std::set<std::string>;

inline FieldSet differing_fields(const BoardRow& a, const BoardRow& b) {
    FieldSet out;
#define QUORIN_CMP(field) \
    if (a.field != b.field) out.insert(#field)
    QUORIN_CMP(mac_address);
    QUORIN_CMP(product_code);
    QUORIN_CMP(local_ip);
    QUORIN_CMP(subnet_mask);
    QUORIN_CMP(gateway_ip);
    QUORIN_CMP(firmware_major);
    QUORIN_CMP(firmware_minor);
    QUORIN_CMP(debug_mode);
    QUORIN_CMP(ip_mode);
    QUORIN_CMP(serial_command_method);
    QUORIN_CMP(trigger_chars);
    QUORIN_CMP(dns_server_ip);
    QUORIN_CMP(reserved_block);
    QUORIN_CMP(reserved_word);
    QUORIN_CMP(pppoe_id);
    QUORIN_CMP(pppoe_password);
    QUORIN_CMP(reserved_text);
#undef QUORIN_CMP
    for (int i = 0; i < kChannelBlocks; ++i) {
        const ChannelBlock& x = a.channel[i];
        const ChannelBlock& y = b.channel[i];
        const std::string prefix = "channel[" + std::to_string(i) + "].";
#define QUORIN_CMP(field) \
    if (x.field != y.field) out.insert(prefix + #field)
        QUORIN_CMP(operation_mode);
        QUORIN_CMP(connection_status);
        QUORIN_CMP(use_dns);
        QUORIN_CMP(udp);
        QUORIN_CMP(remote_ip);
        QUORIN_CMP(local_port);
        QUORIN_CMP(remote_port);
        QUORIN_CMP(domain_name);
        QUORIN_CMP(baud_rate);
        QUORIN_CMP(data_bits);
        QUORIN_CMP(parity);
        QUORIN_CMP(stop_bits);
        QUORIN_CMP(flow_control);
        QUORIN_CMP(packing_char);
        QUORIN_CMP(packing_size);
        QUORIN_CMP(packing_time);
        QUORIN_CMP(inactivity_time);
        QUORIN_CMP(reserved);
        QUORIN_CMP(data_mode);
#undef QUORIN_CMP
    }
    return out;
}

// The names of every field of channel block i.
inline FieldSet channel_fields(int i) {
    BoardRow a{}, b{};
    ChannelBlock& c = b.channel[i];
    c.operation_mode = c.connection_status = c.use_dns = c.udp = 1;
    c.remote_ip[0] = 1;
    c.local_port = c.remote_port = 1;
    c.domain_name[0] = 1;
    c.baud_rate = c.data_bits = c.parity = c.stop_bits = c.flow_control = c.packing_char = 1;
    c.packing_size = c.packing_time = c.inactivity_time = 1;
    c.reserved = c.data_mode = 1;
    return differing_fields(a, b);
}

// A sample board row of product code 00 `code`, with varied, realistic values that the window can
// show: every shown channel differs from the window's initial state and from the other channels.
// Fields the product's layout does not carry stay zero (as after a search).
inline BoardRow sample_row(std::uint8_t code) {
    BoardRow r{};
    r.mac_address = {0x00, 0x1B, 0x2C, 0x3D, 0x4E, static_cast<std::uint8_t>(0x50 + code)};
    r.product_code = {0x00, code};
    r.local_ip = {192, 168, 10, static_cast<std::uint8_t>(20 + code)};
    r.subnet_mask = {255, 255, 255, 0};
    r.gateway_ip = {192, 168, 10, 1};
    r.dns_server_ip = {168, 126, 63, 1};
    const auto channel = [&r](int i) -> ChannelBlock& { return r.channel[i]; };
    switch (code) {
        case 1:  // Quorin712P-T, 3 channels, firmware 1.5.2 (nine baud rates), DHCP, HW
            r.firmware_major = 1;
            r.firmware_minor = 52;
            r.ip_mode = 1;
            r.serial_command_method = 1;
            r.trigger_chars = {0x2B, 0x2B, 0x2B};  // carried, but not shown with HW
            r.debug_mode = 1;
            for (int i = 0; i < 3; ++i) {
                ChannelBlock& c = channel(i);
                c.operation_mode = static_cast<std::uint8_t>(i % 2);
                c.connection_status = static_cast<std::uint8_t>(i == 1);
                c.remote_ip = {10, 0, 0, static_cast<std::uint8_t>(100 + i)};
                c.local_port = 5001u + static_cast<unsigned>(i);
                c.remote_port = 6001u + static_cast<unsigned>(i);
                c.baud_rate = static_cast<std::uint8_t>(2 * i + 1);  // 38400, 9600, 2400
                c.data_bits = 1;
                c.parity = static_cast<std::uint8_t>(i);
                c.stop_bits = static_cast<std::uint8_t>(i);
                c.flow_control = static_cast<std::uint8_t>(2 - i);
                c.packing_char = static_cast<std::uint8_t>(0x0D + i);
                c.packing_size = 128u * static_cast<unsigned>(i + 1);
                c.packing_time = 10u + static_cast<unsigned>(i);
                c.inactivity_time = 300u * static_cast<unsigned>(i);
                c.reserved = 7;
                c.data_mode = static_cast<std::uint8_t>(i == 2);
            }
            break;
        case 2:  // Quorin712P, 4 channels, firmware 1.6.5, PPPoE, SW
        case 6:  // DAVRO2xM, 4 channels, firmware 1.6.2 (stop bits, data mode, RTSOnly), static
            r.firmware_major = 1;
            r.firmware_minor = code == 2 ? 65 : 62;
            r.ip_mode = code == 2 ? 2 : 0;
            r.serial_command_method = 2;
            r.trigger_chars = {0x2B, 0x0A, 0xF3};
            r.reserved_block = {1, 2, 3, 4, 5, 6};
            r.reserved_word = 0xBEEF;
            r.reserved_text = text_field("reserved");
            r.pppoe_id = text_field("user@isp.example");
            r.pppoe_password = text_field("s3cret-pw");
            for (int i = 0; i < 4; ++i) {
                ChannelBlock& c = channel(i);
                c.operation_mode = static_cast<std::uint8_t>(i % 3);  // server, client, neither
                c.connection_status = static_cast<std::uint8_t>(i % 2);
                c.use_dns = static_cast<std::uint8_t>(i % 2 == 0);
                c.udp = static_cast<std::uint8_t>(i >= 2);
                c.remote_ip = {172, 16, static_cast<std::uint8_t>(i), 9};
                c.local_port = 4001u + static_cast<unsigned>(i);
                c.remote_port = i == 3 ? 65535u : 8000u + static_cast<unsigned>(i);
                c.domain_name = text_field(i == 0   ? "server.example.com"
                                           : i == 2 ? "peer-2.example.org"
                                                    : "");
                c.baud_rate = std::array<std::uint8_t, 4>{8, 9, 0, 4}[static_cast<std::size_t>(i)];
                c.data_bits = static_cast<std::uint8_t>(i != 1);  // channel 2: 7 bits
                c.parity = i == 1 ? 2 : static_cast<std::uint8_t>(i % 3);
                c.stop_bits = static_cast<std::uint8_t>(3 - i);
                c.flow_control = static_cast<std::uint8_t>(code == 6 ? 3 - i : i % 3);
                c.packing_char = std::array<std::uint8_t, 4>{0x0D, 0x0A, 0x7E,
                                                             0xFF}[static_cast<std::size_t>(i)];
                c.packing_size = 512u + static_cast<unsigned>(i);
                c.packing_time = 20u * static_cast<unsigned>(i + 1);
                c.inactivity_time = 60u * static_cast<unsigned>(i + 1);
                c.reserved = static_cast<std::uint8_t>(0x40 + i);
                c.data_mode = static_cast<std::uint8_t>(i % 2);
            }
            break;
        case 3:  // Quorin712PD, firmware 1.7.0, static, serial command disabled
        case 5:  // BRV406H, firmware 1.5.0 (nine baud rates), DHCP, HW
        {
            r.firmware_major = 1;
            r.firmware_minor = code == 3 ? 7 : 5;
            r.ip_mode = code == 3 ? 0 : 1;
            r.serial_command_method = code == 3 ? 0 : 1;
            r.trigger_chars = {0x11, 0x22, 0x33};
            for (int i = 0; i < 4; ++i) {
                ChannelBlock& c = channel(i);
                c.operation_mode = 1;
                c.connection_status = 1;
                c.use_dns = 1;
                c.remote_ip = {203, 0, 113, static_cast<std::uint8_t>(7 + i)};
                c.local_port = 23u + static_cast<unsigned>(i);
                c.remote_port = 1470u + static_cast<unsigned>(i);
                c.domain_name = text_field("host.example.net");
                c.baud_rate = static_cast<std::uint8_t>(code == 3 ? 1 : 8);  // 57600 / 115200
                c.data_bits = 0;                                             // 7 bits
                c.parity = 1;                                                // Odd
                c.stop_bits = 1;
                c.flow_control = 2;
                c.packing_char = 0x03;
                c.packing_size = 1024;
                c.packing_time = 5;
                c.inactivity_time = 0;
                c.data_mode = 1;
            }
            break;
        }
        case 4:  // 5836KL, legacy layout, one channel, firmware 2.3.0, SW
        default: {
            r.firmware_major = 2;
            r.firmware_minor = 3;
            r.ip_mode = 0;
            r.serial_command_method = 2;
            r.trigger_chars = {0x2B, 0x2B, 0x2B};
            ChannelBlock& c = channel(0);
            c.operation_mode = 1;
            c.connection_status = 1;
            c.use_dns = 1;
            c.remote_ip = {10, 1, 2, 3};
            c.local_port = 50010;
            c.remote_port = 50020;
            c.domain_name = text_field("legacy.example");
            c.baud_rate = 3;  // 19200
            c.data_bits = 1;
            c.parity = 2;
            c.flow_control = 1;
            c.packing_char = 0x0A;
            c.packing_size = 200;
            c.packing_time = 300;
            c.inactivity_time = 3600;
            break;
        }
    }
    return r;
}

// Waits (running the event loop) up to `ms` for a datagram on `socket` and reads it; nullopt when
// none came. `sender`/`sender_port` receive where it came from.
inline std::optional<std::vector<std::uint8_t>> receive_datagram(QUdpSocket& socket, int ms = 2000,
                                                                 QHostAddress* sender = nullptr,
                                                                 quint16* sender_port = nullptr) {
    QElapsedTimer t;
    t.start();
    while (!socket.hasPendingDatagrams() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (!socket.hasPendingDatagrams()) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(socket.pendingDatagramSize()));
    const qint64 n = socket.readDatagram(reinterpret_cast<char*>(bytes.data()),
                                         static_cast<qint64>(bytes.size()), sender, sender_port);
    if (n < 0) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(n));
    return bytes;
}

}  // namespace quorin::testing
