// Field-by-field comparison of two board records for the collection tests: the names of the
// fields that differ ("local_ip", "channel[1].remote_port"), so that a failure says which field
// went wrong and a test can state exactly which fields an edit changed.
#pragma once

#include <set>
#include <string>

#include "protocol/board_record.h"

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

// A 32-byte text field holding `text` followed by zero bytes.
inline std::array<std::uint8_t, 32> text_field(std::string_view text) {
    std::array<std::uint8_t, 32> f{};
    for (std::size_t k = 0; k < text.size() && k < f.size(); ++k) {
        f[k] = static_cast<std::uint8_t>(text[k]);
    }
    return f;
}

}  // namespace quorin::testing
