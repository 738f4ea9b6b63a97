#include "sim/sim_board.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace quorin::sim {

namespace {

constexpr int kMaxBoardsPerItem = 10000;
constexpr int kMaxBoardIndex = 100000;
constexpr std::uint8_t kTelnetTrigger = '+';
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kLocallyAdministered = 0x02;
constexpr std::uint8_t kMacSecondByte = 0x51;

// Firmware versions the boards are spread over, chosen to sit on both sides of the 153 boundary
// where the baud-rate table changes: 1.5 (150), 1.52, 1.53, 2.1 (210), 1.60.
constexpr std::array<std::array<std::uint8_t, 2>, 5> kFirmwareVersions = {
    {{1, 5}, {1, 52}, {1, 53}, {2, 1}, {1, 60}}};

// Documentation-range addresses: data the boards carry, never contacted.
constexpr std::array<std::array<std::uint8_t, 4>, 3> kDnsServers = {
    {{192, 0, 2, 53}, {198, 51, 100, 53}, {203, 0, 113, 53}}};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = s.find(sep, start);
        parts.push_back(trim(s.substr(start, at == std::string_view::npos ? s.npos : at - start)));
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    return parts;
}

// A decimal integer, or hexadecimal with a "0x" prefix.
std::optional<long long> parse_integer(std::string_view text) {
    text = trim(text);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

template <std::size_t N>
void put_text(std::array<std::uint8_t, N>& field, std::string_view text) {
    field.fill(0);
    std::copy_n(text.begin(), std::min(text.size(), N - 1), field.begin());
}

bool fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

}  // namespace

bool FaultConfig::any() const {
    return *this != FaultConfig{};
}

std::string firmware_text(std::uint8_t major, std::uint8_t minor) {
    std::string text = std::to_string(major) + ".";
    if (minor > 10) return text + std::to_string(minor / 10) + "." + std::to_string(minor % 10);
    return text + std::to_string(minor) + ".0";
}

std::optional<FirmwareBytes> parse_firmware_text(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    unsigned major = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + dot, major);
    if (ec != std::errc() || end != text.data() + dot || major > 255) return std::nullopt;
    // Each minor has one text, so trying them all in order finds the smaller of two alike; the
    // comparison of the whole text also refuses leading zeros, signs and spaces.
    for (unsigned minor = 0; minor <= 255; ++minor) {
        const FirmwareBytes v{static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor)};
        if (firmware_text(v) == text) return v;
    }
    return std::nullopt;
}

const std::array<std::array<std::uint8_t, 2>, 6>& known_product_codes() {
    static constexpr std::array<std::array<std::uint8_t, 2>, 6> kCodes = {
        {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}}};
    return kCodes;
}

std::optional<std::array<std::uint8_t, 2>> parse_product_code(std::string_view text) {
    text = trim(text);
    if (text.size() != 4) return std::nullopt;
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + 4, value, 16);
    if (ec != std::errc() || end != text.data() + 4) return std::nullopt;
    return std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(value >> 8),
                                       static_cast<std::uint8_t>(value & 0xFFu)};
}

std::optional<std::array<std::uint8_t, 4>> parse_ipv4(std::string_view text) {
    const auto parts = split(trim(text), '.');
    if (parts.size() != 4) return std::nullopt;
    std::array<std::uint8_t, 4> ip{};
    for (std::size_t i = 0; i < 4; ++i) {
        unsigned v = 0;
        const auto [end, ec] =
            std::from_chars(parts[i].data(), parts[i].data() + parts[i].size(), v);
        if (parts[i].empty() || ec != std::errc() || end != parts[i].data() + parts[i].size() ||
            v > 255) {
            return std::nullopt;
        }
        ip[i] = static_cast<std::uint8_t>(v);
    }
    return ip;
}

std::string ipv4_text(const std::array<std::uint8_t, 4>& ip) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
    return buf;
}

std::string mac_address_text(const std::array<std::uint8_t, 6>& mac) {
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return buf;
}

std::string product_code_string(const std::array<std::uint8_t, 2>& product_code) {
    char buf[5];
    std::snprintf(buf, sizeof buf, "%02x%02x", product_code[0], product_code[1]);
    return buf;
}

std::array<std::uint8_t, 4> board_address(const std::array<std::uint8_t, 4>& base, int index) {
    const std::uint32_t host_index = static_cast<std::uint32_t>(std::max(index, 0));
    // The third and second octets carry; each block of 254 boards takes one /24.
    std::uint32_t net = (static_cast<std::uint32_t>(base[1]) << 8 | base[2]) + host_index / 254;
    return {base[0], static_cast<std::uint8_t>((net >> 8) & 0xFFu),
            static_cast<std::uint8_t>(net & 0xFFu),
            static_cast<std::uint8_t>(host_index % 254 + 1)};
}

std::array<std::uint8_t, 6> board_mac(const std::array<std::uint8_t, 2>& product_code, int index) {
    const auto i = static_cast<std::uint32_t>(std::max(index, 0));
    return {kLocallyAdministered,
            static_cast<std::uint8_t>(kMacSecondByte + ((i >> 16) & 0x0Fu)),
            product_code[0],
            product_code[1],
            static_cast<std::uint8_t>((i >> 8) & 0xFFu),
            static_cast<std::uint8_t>(i & 0xFFu)};
}

BoardRow default_board_row(const std::array<std::uint8_t, 2>& product_code, int index,
                           const std::array<std::uint8_t, 4>& local_ip) {
    const auto i = static_cast<unsigned>(std::max(index, 0));
    const BoardLayout layout = board_layout(product_code);
    const bool legacy = layout.protocol == BoardProtocol::Legacy;

    BoardRow row;
    row.mac_address = board_mac(product_code, index);
    row.product_code = product_code;
    row.local_ip = local_ip;
    row.subnet_mask = {255, 255, 255, 0};
    row.gateway_ip = {local_ip[0], local_ip[1], local_ip[2], 254};
    const auto& fw = kFirmwareVersions[i % kFirmwareVersions.size()];
    row.firmware_major = fw[0];
    row.firmware_minor = fw[1];
    const int version = fw[0] * 100 + (fw[1] > 10 ? fw[1] : fw[1] * 10);
    row.debug_mode = (i % 4 == 3 && !legacy) ? 1 : 0;  // not in the legacy layout
    row.ip_mode = static_cast<std::uint8_t>(i % 5 == 3 ? 1 : (i % 5 == 4 ? 2 : 0));
    row.serial_command_method = static_cast<std::uint8_t>(i % 3);
    row.trigger_chars = {kTelnetTrigger, kTelnetTrigger, kTelnetTrigger};
    row.dns_server_ip = kDnsServers[i % kDnsServers.size()];
    if (layout.long_header) {
        char text[32];
        std::snprintf(text, sizeof text, "user%03u", i % 1000);
        put_text(row.pppoe_id, text);
        std::snprintf(text, sizeof text, "pw%04u", (i * 37) % 10000);
        put_text(row.pppoe_password, text);
    }

    const int channels = std::min(layout.channel_records, kChannelBlocks);
    for (int c = 0; c < channels; ++c) {
        ChannelBlock& ch = row.channel[c];
        const unsigned k = i + static_cast<unsigned>(c);
        ch.operation_mode = static_cast<std::uint8_t>(k % 4 == 2 ? 1 : 0);
        if (c == 0 && i % 17 == 16) ch.operation_mode = 2;
        ch.connection_status = static_cast<std::uint8_t>((i * 7 + c) % 3 == 0 ? 1 : 0);
        ch.use_dns = static_cast<std::uint8_t>(ch.operation_mode == 1 && k % 8 == 2 && !legacy);
        ch.udp = static_cast<std::uint8_t>(k % 5 == 4 && !legacy);
        ch.remote_ip = {198, 51, 100, static_cast<std::uint8_t>(i % 250 + 1)};
        ch.local_port = 5000 + static_cast<std::uint32_t>(c);
        ch.remote_port = 6000 + (i % 1000);
        if (ch.use_dns) {
            char name[32];
            std::snprintf(name, sizeof name, "host%u-%d.example.net", i % 10000, c + 1);
            put_text(ch.domain_name, name);
        }
        const unsigned baud_codes = legacy ? 8 : (version >= 153 ? 10 : 9);
        ch.baud_rate = static_cast<std::uint8_t>((k * 3) % baud_codes);
        ch.data_bits = static_cast<std::uint8_t>(k % 6 == 5 ? 0 : 1);
        ch.parity = static_cast<std::uint8_t>(ch.data_bits == 0 ? 1 + i % 2 : k % 3);
        ch.stop_bits = static_cast<std::uint8_t>(legacy ? 0 : (k % 7 == 6 ? 3 : 1));
        ch.flow_control = static_cast<std::uint8_t>(k % 3);
        if (product_code == std::array<std::uint8_t, 2>{0, 6} && k % 9 == 8) ch.flow_control = 3;
        ch.packing_char = static_cast<std::uint8_t>(k % 2 == 0 ? kCarriageReturn : 0);
        ch.packing_size = (k % 4) * 64;  // up to 192: fits the legacy layout's 8 bits
        ch.packing_time = 10 * (k % 5);
        ch.inactivity_time = (k % 3 == 0) ? 0 : 60 * (k % 3);
        ch.data_mode = static_cast<std::uint8_t>(ch.operation_mode == 0 && k % 4 == 1 && !legacy);
    }
    return row;
}

std::optional<std::vector<std::array<std::uint8_t, 2>>> parse_board_list(std::string_view text,
                                                                         std::string* error) {
    std::vector<std::array<std::uint8_t, 2>> codes;
    for (std::string_view item : split(text, ',')) {
        if (item.empty()) continue;
        std::string_view code_text = item;
        long long count = 1;
        if (const auto colon = item.find(':'); colon != std::string_view::npos) {
            code_text = trim(item.substr(0, colon));
            const auto parsed = parse_integer(item.substr(colon + 1));
            if (!parsed || *parsed < 0 || *parsed > kMaxBoardsPerItem) {
                fail(error, "bad board count in \"" + std::string(item) + "\"");
                return std::nullopt;
            }
            count = *parsed;
        }
        if (code_text == "all") {
            for (const auto& code : known_product_codes()) codes.insert(codes.end(), count, code);
            continue;
        }
        const auto code = parse_product_code(code_text);
        if (!code) {
            fail(error, "bad product code in \"" + std::string(item) +
                            "\" (four hex digits such as 0002, or all)");
            return std::nullopt;
        }
        codes.insert(codes.end(), count, *code);
    }
    return codes;
}

std::vector<std::string_view> fault_names() {
    return {"search_twice",         "reply_delay_ms",        "truncate_reply",
            "wrong_opcode",         "ack_stop_after",        "ack_byte",
            "refuse_upload",        "close_after_blocks",    "no_upload_complete",
            "ignore_set",           "upgrade_keeps_version", "upgrade_changes_settings",
            "upgrade_never_returns"};
}

bool set_fault(FaultConfig& faults, std::string_view name, std::string_view value,
               std::string* error) {
    value = trim(value);
    auto switch_value = [&](bool& target) {
        if (value.empty() || value == "1" || value == "true") {
            target = true;
        } else if (value == "0" || value == "false") {
            target = false;
        } else {
            return fail(error, "fault " + std::string(name) + " takes no value, 1/true or 0/false");
        }
        return true;
    };
    auto number = [&](long long low, long long high) -> std::optional<long long> {
        const auto v = parse_integer(value);
        if (!v || *v < low || *v > high) {
            fail(error, "fault " + std::string(name) + " needs a number from " +
                            std::to_string(low) + " to " + std::to_string(high));
            return std::nullopt;
        }
        return v;
    };
    if (name == "search_twice") return switch_value(faults.search_twice);
    if (name == "refuse_upload") return switch_value(faults.refuse_upload);
    if (name == "no_upload_complete") return switch_value(faults.no_upload_complete);
    if (name == "ignore_set") return switch_value(faults.ignore_set);
    if (name == "upgrade_keeps_version") return switch_value(faults.upgrade_keeps_version);
    if (name == "upgrade_changes_settings") return switch_value(faults.upgrade_changes_settings);
    if (name == "upgrade_never_returns") return switch_value(faults.upgrade_never_returns);
    if (name == "reply_delay_ms") {
        const auto v = number(0, 600000);
        if (v) faults.reply_delay_ms = static_cast<int>(*v);
        return v.has_value();
    }
    if (name == "truncate_reply") {
        const auto v = number(0, 65535);
        if (v) faults.truncate_reply = static_cast<int>(*v);
        return v.has_value();
    }
    if (name == "ack_stop_after") {
        const auto v = number(0, 1 << 30);
        if (v) faults.ack_stop_after = static_cast<int>(*v);
        return v.has_value();
    }
    if (name == "close_after_blocks") {
        const auto v = number(0, 1 << 30);
        if (v) faults.close_after_blocks = static_cast<int>(*v);
        return v.has_value();
    }
    if (name == "wrong_opcode") {
        const auto v = number(0, 255);
        if (v) faults.wrong_opcode = static_cast<std::uint8_t>(*v);
        return v.has_value();
    }
    if (name == "ack_byte") {
        const auto v = number(0, 255);
        if (v) faults.ack_byte = static_cast<std::uint8_t>(*v);
        return v.has_value();
    }
    return fail(error, "unknown fault \"" + std::string(name) + "\"");
}

std::optional<FaultRule> parse_fault_rule(std::string_view text, std::string* error) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        fail(error, "fault \"" + std::string(text) + "\" needs the form INDEXES:NAME[=VALUE]");
        return std::nullopt;
    }
    FaultRule out;
    const std::string_view targets = trim(text.substr(0, colon));
    std::string_view fault = trim(text.substr(colon + 1));
    if (const auto eq = fault.find('='); eq != std::string_view::npos) {
        out.value = std::string(trim(fault.substr(eq + 1)));
        fault = trim(fault.substr(0, eq));
    }
    out.name = std::string(fault);
    if (targets == "all") {
        out.all = true;
    } else {
        for (std::string_view item : split(targets, ',')) {
            const auto dash = item.find('-');
            const auto first = parse_integer(item.substr(0, dash));
            const auto last =
                dash == std::string_view::npos ? first : parse_integer(item.substr(dash + 1));
            if (!first || !last || *first < 0 || *last < *first || *last > kMaxBoardIndex) {
                fail(error, "bad board index \"" + std::string(item) + "\" in fault \"" +
                                std::string(text) + "\"");
                return std::nullopt;
            }
            for (long long k = *first; k <= *last; ++k) out.indexes.push_back(static_cast<int>(k));
        }
    }
    FaultConfig probe;
    if (!set_fault(probe, out.name, out.value, error)) return std::nullopt;
    return out;
}

}  // namespace quorin::sim
