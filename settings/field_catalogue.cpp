#include "settings/field_catalogue.h"

#include <algorithm>
#include <array>
#include <map>
#include <mutex>

#include "protocol/record_codec.h"
#include "res/cli_texts.h"
#include "res/texts.h"
#include "settings/collection_rules.h"
#include "settings/display_rules.h"

namespace quorin::settings {
namespace {

namespace cli = text::cli;
using display::Change;
using Choices = std::vector<std::string_view>;

// Which wire layouts carry a field.
enum Layout : unsigned {
    kShort = 1,   // main protocol, short header
    kLong = 2,    // main protocol, long header
    kLegacy = 4,  // legacy protocol
    kMain = kShort | kLong,
    kAll = kShort | kLong | kLegacy,
};

constexpr std::uint32_t kWordMax = 0xFFFF;  // 16-bit wire values
constexpr std::uint32_t kByteMax = 0xFF;    // the legacy packing size

// What the catalogue needs to know about the board being described.
struct Context {
    display::Model model;
    Layout layout;
    int version;  // firmware version number
    const display::ModelEnabling* enabling;
    int channels;  // channel pages the window fills for the model
    std::string model_name;
};

Context context_of(const BoardRow& row) {
    Context c;
    c.model = display::model_of(row.product_code);
    if (uses_legacy_protocol(row.product_code)) {
        c.layout = kLegacy;
    } else {
        c.layout = main_layout_for(row.product_code[1]).long_header ? kLong : kShort;
    }
    c.version = display::firmware_version(row.firmware_major, row.firmware_minor).number;
    c.enabling = &display::model_enabling(c.model);
    c.channels = display::model_view(c.model).channels_shown;
    c.model_name = model_label(row);
    return c;
}

// A field of the catalogue. Channel fields are named "channel[i]." + name.
struct Def {
    std::string_view name;
    bool channel;
    FieldKind kind;
    unsigned layouts;
    std::string_view label;
    std::string (*get)(const BoardRow&, int ch, const Context&);
    Choices (*choices)(const BoardRow&, int ch, const Context&) = nullptr;
    // Writes an already checked choice index, number, flag, address or text into the row.
    void (*put)(BoardRow&, int ch, const Context&, const std::string& text, int index,
                std::uint32_t number) = nullptr;
    bool (*enabled)(const BoardRow&, int ch, const Context&) = nullptr;
    std::uint32_t max = 0;
};

std::string on_off(std::uint8_t v) {
    return std::string(v != 0 ? cli::kOn : cli::kOff);
}

std::string entry(const Choices& list, int index) {
    if (index < 0 || index >= static_cast<int>(list.size())) return {};
    return std::string(list[static_cast<std::size_t>(index)]);
}

// The window's text fields hold one byte per character (Latin-1); the command line speaks UTF-8.
std::string latin1_to_utf8(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// UTF-8 to one byte per character, or nullopt for a character beyond U+00FF or broken UTF-8.
std::optional<std::string> utf8_to_latin1(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
                   (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            out.push_back(static_cast<char>(((c & 0x03) << 6) |
                                            (static_cast<unsigned char>(text[i + 1]) & 0x3F)));
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::array<std::uint8_t, 4>> parse_address(std::string_view text) {
    std::array<std::uint8_t, 4> octets{};
    std::size_t pos = 0;
    for (std::size_t k = 0; k < octets.size(); ++k) {
        if (k != 0) {
            if (pos >= text.size() || text[pos] != '.') return std::nullopt;
            ++pos;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
        octets[k] = static_cast<std::uint8_t>(value);
    }
    if (pos != text.size()) return std::nullopt;
    return octets;
}

std::optional<std::uint32_t> parse_number(std::string_view text, std::uint32_t max) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > max) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

bool changeable(const display::ChannelChange& change, int ch) {
    return !(change.change == Change::Disable && ch < change.channels);
}

ChannelBlock& chan(BoardRow& row, int ch) {
    return row.channel[static_cast<std::size_t>(ch)];
}
const ChannelBlock& chan(const BoardRow& row, int ch) {
    return row.channel[static_cast<std::size_t>(ch)];
}

// A text field is written whole: the text, then zeros to the end, so that no bytes of an earlier
// and longer text stay behind it.
void put_text(std::array<std::uint8_t, 32>& field, const std::string& bytes) {
    field.fill(0);
    collection::store_text_field(field, bytes);
}

std::string hex_bytes(const std::uint8_t* bytes, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += display::hex_lower(bytes[i]);
    return out;
}

Choices ip_modes(const BoardRow&, int, const Context& c) {
    Choices list{cli::kIpModeStatic, cli::kIpModeDhcp};
    if (c.enabling->pppoe_radio != Change::Disable) list.push_back(cli::kIpModePppoe);
    return list;
}

std::string trigger_text(const BoardRow& r, int k) {
    return display::hex_upper(r.trigger_chars[static_cast<std::size_t>(k)]);
}

bool always(const BoardRow&, int, const Context&) {
    return true;
}

// The catalogue. Board-wide fields come first, in the order the settings collection reads the
// window; channel fields follow, one channel after the other.
const std::vector<Def>& catalogue() {
    namespace label = text::label;
    static const std::vector<Def> defs = {
        {"mac_address", false, FieldKind::Identity, kAll, "",
         [](const BoardRow& r, int, const Context&) { return mac_text(r.mac_address); }},
        {"product_code", false, FieldKind::Identity, kAll, "",
         [](const BoardRow& r, int, const Context&) { return product_code_text(r.product_code); }},
        {"model", false, FieldKind::Identity, kAll, label::kProductCode,
         [](const BoardRow& r, int, const Context&) { return model_name(r.product_code); }},
        {"firmware_version", false, FieldKind::ReadOnly, kAll, label::kFirmwareVersion,
         [](const BoardRow& r, int, const Context&) {
             return display::firmware_version(r.firmware_major, r.firmware_minor).text;
         }},
        {"firmware_major", false, FieldKind::Hidden, kAll, "",
         [](const BoardRow& r, int, const Context&) { return std::to_string(r.firmware_major); }},
        {"firmware_minor", false, FieldKind::Hidden, kAll, "",
         [](const BoardRow& r, int, const Context&) { return std::to_string(r.firmware_minor); }},
        {"debug_mode", false, FieldKind::Flag, kMain, text::kDebugModeCaption,
         [](const BoardRow& r, int, const Context&) { return on_off(r.debug_mode); }, nullptr,
         [](BoardRow& r, int, const Context&, const std::string&, int index, std::uint32_t) {
             r.debug_mode = static_cast<std::uint8_t>(index);
         },
         [](const BoardRow&, int, const Context& c) {
             return c.enabling->debug_mode != Change::Disable;
         }},
        {"ip_mode", false, FieldKind::Choice, kAll, label::kIpModeGroup,
         [](const BoardRow& r, int, const Context&) {
             return std::string(r.ip_mode == 0   ? cli::kIpModeStatic
                                : r.ip_mode == 1 ? cli::kIpModeDhcp
                                                 : cli::kIpModePppoe);
         },
         ip_modes,
         [](BoardRow& r, int, const Context&, const std::string&, int index, std::uint32_t) {
             r.ip_mode = static_cast<std::uint8_t>(index);
         },
         always},
        {"local_ip", false, FieldKind::Address, kAll, label::kLocalIp,
         [](const BoardRow& r, int, const Context&) { return display::dotted(r.local_ip); },
         nullptr,
         [](BoardRow& r, int, const Context&, const std::string& t, int, std::uint32_t) {
             r.local_ip = *parse_address(t);
         },
         [](const BoardRow& r, int, const Context&) { return r.ip_mode == 0; }},
        {"subnet_mask", false, FieldKind::Address, kAll, label::kSubnetMask,
         [](const BoardRow& r, int, const Context&) { return display::dotted(r.subnet_mask); },
         nullptr,
         [](BoardRow& r, int, const Context&, const std::string& t, int, std::uint32_t) {
             r.subnet_mask = *parse_address(t);
         },
         [](const BoardRow& r, int, const Context&) { return r.ip_mode == 0; }},
        {"gateway_ip", false, FieldKind::Address, kAll, label::kGateway,
         [](const BoardRow& r, int, const Context&) { return display::dotted(r.gateway_ip); },
         nullptr,
         [](BoardRow& r, int, const Context&, const std::string& t, int, std::uint32_t) {
             r.gateway_ip = *parse_address(t);
         },
         [](const BoardRow& r, int, const Context&) { return r.ip_mode == 0; }},
        {"dns_server_ip", false, FieldKind::Address, kAll, label::kDnsServerIp,
         [](const BoardRow& r, int, const Context&) { return display::dotted(r.dns_server_ip); },
         nullptr,
         [](BoardRow& r, int, const Context&, const std::string& t, int, std::uint32_t) {
             r.dns_server_ip = *parse_address(t);
         },
         always},
        {"serial_command_method", false, FieldKind::Choice, kAll, label::kSerialCommandGroup,
         [](const BoardRow& r, int, const Context&) {
             return std::string(r.serial_command_method == 0   ? cli::kMethodDisable
                                : r.serial_command_method == 1 ? cli::kMethodHw
                                                               : cli::kMethodSw);
         },
         [](const BoardRow&, int, const Context&) {
             return Choices{cli::kMethodDisable, cli::kMethodHw, cli::kMethodSw};
         },
         [](BoardRow& r, int, const Context&, const std::string&, int index, std::uint32_t) {
             r.serial_command_method = static_cast<std::uint8_t>(index);
         },
         [](const BoardRow&, int, const Context& c) {
             return c.enabling->command_method != Change::Disable;
         }},
        {"trigger_chars[0]", false, FieldKind::HexByte, kAll, label::kTriggerCharacter,
         [](const BoardRow& r, int, const Context&) { return trigger_text(r, 0); }},
        {"trigger_chars[1]", false, FieldKind::HexByte, kAll, label::kTriggerCharacter,
         [](const BoardRow& r, int, const Context&) { return trigger_text(r, 1); }},
        {"trigger_chars[2]", false, FieldKind::HexByte, kAll, label::kTriggerCharacter,
         [](const BoardRow& r, int, const Context&) { return trigger_text(r, 2); }},
        {"pppoe_id", false, FieldKind::Text, kLong, label::kPppoeId,
         [](const BoardRow& r, int, const Context&) {
             return latin1_to_utf8(display::pppoe_text(r.pppoe_id));
         },
         nullptr,
         [](BoardRow& r, int, const Context&, const std::string& t, int, std::uint32_t) {
             put_text(r.pppoe_id, t);
         },
         [](const BoardRow& r, int, const Context&) { return r.ip_mode > 1; }},
        {"pppoe_password", false, FieldKind::Text, kLong, label::kPppoePw,
         [](const BoardRow& r, int, const Context&) {
             return latin1_to_utf8(display::pppoe_text(r.pppoe_password));
         },
         nullptr,
         [](BoardRow& r, int, const Context&, const std::string& t, int, std::uint32_t) {
             put_text(r.pppoe_password, t);
         },
         [](const BoardRow& r, int, const Context&) { return r.ip_mode > 1; }},
        {"reserved_block", false, FieldKind::Hidden, kLong, "",
         [](const BoardRow& r, int, const Context&) {
             return hex_bytes(r.reserved_block.data(), r.reserved_block.size());
         }},
        {"reserved_word", false, FieldKind::Hidden, kLong, "",
         [](const BoardRow& r, int, const Context&) { return std::to_string(r.reserved_word); }},
        {"reserved_text", false, FieldKind::Hidden, kLong, "",
         [](const BoardRow& r, int, const Context&) {
             return hex_bytes(r.reserved_text.data(), r.reserved_text.size());
         }},

        // Channel fields.
        {"operation_mode", true, FieldKind::Choice, kAll, label::kOperationModeGroup,
         [](const BoardRow& r, int ch, const Context&) {
             const std::uint8_t m = chan(r, ch).operation_mode;
             return std::string(m == 0 ? cli::kServer : m == 1 ? cli::kClient : "");
         },
         [](const BoardRow&, int, const Context&) {
             return Choices{cli::kServer, cli::kClient};
         },
         [](BoardRow& r, int ch, const Context&, const std::string&, int index, std::uint32_t) {
             chan(r, ch).operation_mode = static_cast<std::uint8_t>(index);
         },
         always},
        {"data_mode", true, FieldKind::Choice, kMain, label::kDataModeGroup,
         [](const BoardRow& r, int ch, const Context&) {
             return std::string(chan(r, ch).data_mode == 1 ? cli::kTelnetMode : cli::kRawMode);
         },
         [](const BoardRow&, int, const Context&) {
             return Choices{cli::kRawMode, cli::kTelnetMode};
         },
         [](BoardRow& r, int ch, const Context&, const std::string&, int index, std::uint32_t) {
             chan(r, ch).data_mode = static_cast<std::uint8_t>(index);
         },
         [](const BoardRow&, int, const Context& c) {
             return !c.enabling->data_mode_by_firmware || c.version >= display::kDataModeFrom;
         }},
        {"use_dns", true, FieldKind::Flag, kMain, label::kUseDns,
         [](const BoardRow& r, int ch, const Context&) { return on_off(chan(r, ch).use_dns); },
         nullptr,
         [](BoardRow& r, int ch, const Context&, const std::string&, int index, std::uint32_t) {
             chan(r, ch).use_dns = static_cast<std::uint8_t>(index);
         },
         [](const BoardRow&, int ch, const Context& c) {
             return changeable(c.enabling->udp_and_use_dns, ch);
         }},
        {"udp", true, FieldKind::Flag, kMain, label::kUdp,
         [](const BoardRow& r, int ch, const Context&) { return on_off(chan(r, ch).udp); }, nullptr,
         [](BoardRow& r, int ch, const Context&, const std::string&, int index, std::uint32_t) {
             chan(r, ch).udp = static_cast<std::uint8_t>(index);
         },
         [](const BoardRow&, int ch, const Context& c) {
             return changeable(c.enabling->udp_and_use_dns, ch);
         }},
        {"connection_status", true, FieldKind::ReadOnly, kAll, label::kStatus,
         [](const BoardRow& r, int ch, const Context&) {
             return std::string(chan(r, ch).connection_status != 0 ? text::kConnected
                                                                   : text::kNotConnected);
         }},
        {"local_port", true, FieldKind::Number, kAll, label::kLocalPort,
         [](const BoardRow& r, int ch, const Context&) {
             return std::to_string(chan(r, ch).local_port);
         },
         nullptr,
         [](BoardRow& r, int ch, const Context&, const std::string&, int, std::uint32_t n) {
             chan(r, ch).local_port = n;
         },
         always, kWordMax},
        {"remote_port", true, FieldKind::Number, kAll, label::kRemotePort,
         [](const BoardRow& r, int ch, const Context&) {
             return std::to_string(chan(r, ch).remote_port);
         },
         nullptr,
         [](BoardRow& r, int ch, const Context&, const std::string&, int, std::uint32_t n) {
             chan(r, ch).remote_port = n;
         },
         always, kWordMax},
        {"remote_ip", true, FieldKind::Address, kAll, label::kRemoteIp,
         [](const BoardRow& r, int ch, const Context&) {
             return display::dotted(chan(r, ch).remote_ip);
         },
         nullptr,
         [](BoardRow& r, int ch, const Context&, const std::string& t, int, std::uint32_t) {
             chan(r, ch).remote_ip = *parse_address(t);
         },
         always},
        {"domain_name", true, FieldKind::Text, kAll, label::kServerDomainName,
         [](const BoardRow& r, int ch, const Context&) {
             return latin1_to_utf8(display::domain_text(chan(r, ch).domain_name));
         },
         nullptr,
         [](BoardRow& r, int ch, const Context&, const std::string& t, int, std::uint32_t) {
             put_text(chan(r, ch).domain_name, t);
         },
         // The window enables the edit exactly when "Use DNS" is checked.
         [](const BoardRow& r, int ch, const Context&) { return chan(r, ch).use_dns != 0; }},
        {"baud_rate", true, FieldKind::Choice, kAll, label::kBaudRate,
         [](const BoardRow& r, int ch, const Context& c) {
             return entry(display::baud_list(c.version),
                          display::baud_index(chan(r, ch).baud_rate, c.version));
         },
         [](const BoardRow&, int, const Context& c) { return display::baud_list(c.version); },
         [](BoardRow& r, int ch, const Context& c, const std::string&, int index, std::uint32_t) {
             chan(r, ch).baud_rate = collection::baud_code_for_index(index, c.version);
         },
         [](const BoardRow&, int ch, const Context& c) {
             return changeable(c.enabling->serial, ch);
         }},
        {"data_bits", true, FieldKind::Choice, kAll, label::kDataBit,
         [](const BoardRow& r, int ch, const Context&) {
             return entry(Choices(text::kDataBits.begin(), text::kDataBits.end()),
                          chan(r, ch).data_bits);
         },
         [](const BoardRow&, int, const Context&) {
             return Choices(text::kDataBits.begin(), text::kDataBits.end());
         },
         [](BoardRow& r, int ch, const Context&, const std::string&, int index, std::uint32_t) {
             chan(r, ch).data_bits = collection::index_byte(index);
         },
         [](const BoardRow&, int ch, const Context& c) {
             return changeable(c.enabling->serial, ch);
         }},
        {"parity", true, FieldKind::Choice, kAll, label::kParity,
         [](const BoardRow& r, int ch, const Context&) {
             const ChannelBlock& b = chan(r, ch);
             return entry(display::parity_list(b.data_bits),
                          display::parity_index(b.data_bits, b.parity));
         },
         [](const BoardRow& r, int ch, const Context&) {
             return display::parity_list(chan(r, ch).data_bits);
         },
         // By text, as the window reads it: the two lists number their entries differently.
         [](BoardRow& r, int ch, const Context&, const std::string& t, int, std::uint32_t) {
             chan(r, ch).parity = *collection::parity_code_for_text(t);
         },
         [](const BoardRow&, int ch, const Context& c) {
             return changeable(c.enabling->parity, ch);
         }},
        {"stop_bits", true, FieldKind::Choice, kMain, label::kStopBit,
         [](const BoardRow& r, int ch, const Context&) {
             return entry(Choices(text::kStopBits.begin(), text::kStopBits.end()),
                          chan(r, ch).stop_bits);
         },
         [](const BoardRow&, int, const Context&) {
             return Choices(text::kStopBits.begin(), text::kStopBits.end());
         },
         [](BoardRow& r, int ch, const Context&, const std::string&, int index, std::uint32_t) {
             chan(r, ch).stop_bits = collection::index_byte(index);
         },
         [](const BoardRow&, int, const Context& c) {
             return !c.enabling->stop_bits_by_firmware || c.version >= display::kStopBitsFrom;
         }},
        {"flow_control", true, FieldKind::Choice, kAll, label::kFlowControl,
         [](const BoardRow& r, int ch, const Context& c) {
             return entry(display::flow_list(c.model, c.version), chan(r, ch).flow_control);
         },
         [](const BoardRow&, int, const Context& c) {
             return display::flow_list(c.model, c.version);
         },
         [](BoardRow& r, int ch, const Context&, const std::string&, int index, std::uint32_t) {
             chan(r, ch).flow_control = collection::index_byte(index);
         },
         [](const BoardRow&, int ch, const Context& c) {
             return changeable(c.enabling->serial, ch);
         }},
        {"packing_char", true, FieldKind::HexByte, kAll, label::kCharacter,
         [](const BoardRow& r, int ch, const Context&) {
             return display::hex_lower(chan(r, ch).packing_char);
         }},
        {"packing_size", true, FieldKind::Number, kAll, label::kSize,
         [](const BoardRow& r, int ch, const Context&) {
             return std::to_string(chan(r, ch).packing_size);
         },
         nullptr,
         [](BoardRow& r, int ch, const Context&, const std::string&, int, std::uint32_t n) {
             chan(r, ch).packing_size = n;
         },
         always, kWordMax},
        {"packing_time", true, FieldKind::Number, kAll, label::kTime,
         [](const BoardRow& r, int ch, const Context&) {
             return std::to_string(chan(r, ch).packing_time);
         },
         nullptr,
         [](BoardRow& r, int ch, const Context&, const std::string&, int, std::uint32_t n) {
             chan(r, ch).packing_time = n;
         },
         always, kWordMax},
        {"inactivity_time", true, FieldKind::Number, kAll, label::kInactivityTime,
         [](const BoardRow& r, int ch, const Context&) {
             return std::to_string(chan(r, ch).inactivity_time);
         },
         nullptr,
         [](BoardRow& r, int ch, const Context&, const std::string&, int, std::uint32_t n) {
             chan(r, ch).inactivity_time = n;
         },
         always, kWordMax},
        {"reserved", true, FieldKind::Hidden, kMain, "",
         [](const BoardRow& r, int ch, const Context&) {
             return std::to_string(chan(r, ch).reserved);
         }},
    };
    return defs;
}

bool kind_settable(FieldKind kind) {
    Field f;
    f.kind = kind;
    return f.settable();
}

std::string channel_prefix(int ch) {
    return "channel[" + std::to_string(ch) + "].";
}

// A name split into its definition and channel.
struct Ref {
    const Def* def = nullptr;
    int channel = 0;
};

std::optional<Ref> find_def(std::string_view name) {
    int ch = 0;
    bool channel = false;
    if (name.starts_with("channel[")) {
        const std::size_t close = name.find("].");
        if (close != 9 || name[8] < '0' || name[8] > '3') return std::nullopt;
        ch = name[8] - '0';
        channel = true;
        name.remove_prefix(close + 2);
    }
    for (const Def& def : catalogue()) {
        if (def.channel == channel && def.name == name) return Ref{&def, ch};
    }
    return std::nullopt;
}

bool carried(const Ref& ref, const Context& c) {
    return (ref.def->layouts & c.layout) != 0 && (!ref.def->channel || ref.channel < c.channels);
}

bool is_enabled(const Ref& ref, const BoardRow& row, const Context& c) {
    const Def& d = *ref.def;
    // Trigger characters follow the command method radios and SW.
    if (d.kind == FieldKind::HexByte && !d.channel) {
        return c.enabling->command_method != Change::Disable && row.serial_command_method > 1;
    }
    return d.enabled ? d.enabled(row, ref.channel, c) : true;
}

Field describe(const Ref& ref, const BoardRow& row, const Context& c) {
    const Def& d = *ref.def;
    Field f;
    f.name = d.channel ? channel_prefix(ref.channel) + std::string(d.name) : std::string(d.name);
    f.kind = d.kind;
    f.label = d.label;
    if (d.name == "debug_mode" && !c.enabling->debug_caption.empty()) {
        f.label = c.enabling->debug_caption;
    }
    f.value = d.get(row, ref.channel, c);
    if (d.choices) f.choices = d.choices(row, ref.channel, c);
    f.max = d.max;
    if (d.name == "packing_size" && c.layout == kLegacy) f.max = kByteMax;
    f.enabled = f.settable() && is_enabled(ref, row, c);
    return f;
}

std::string join(const Choices& list) {
    std::string out;
    for (std::string_view s : list) {
        if (!out.empty()) out += ", ";
        out += s;
    }
    return out;
}

// The check of `v` as a value of the field `ref` (named `name` in messages): the kind's form, a
// number up to `max`, a choice among `choices` (`bad_choice` the message, %3 the list). Returns
// the message of the failed check, or empty. The window's own messages where it has one.
std::string value_error(const Ref& ref, const std::string& name, const std::string& v,
                        std::uint32_t max, const Choices& choices, std::string_view bad_choice) {
    const Def& d = *ref.def;
    const std::string quoted = quoted_value(v);
    switch (d.kind) {
        case FieldKind::Address:
            if (!parse_address(v)) return fill(cli::kBadAddress, {name, quoted});
            return {};
        case FieldKind::Choice:
            if (std::find(choices.begin(), choices.end(), v) == choices.end()) {
                return fill(bad_choice, {name, quoted, join(choices)});
            }
            return {};
        case FieldKind::Flag:
            if (v != cli::kOn && v != cli::kOff) return fill(cli::kBadFlag, {name, quoted});
            return {};
        case FieldKind::Number:
            if (!parse_number(v, max)) {
                return fill(cli::kBadNumber, {name, quoted, std::to_string(max)});
            }
            return {};
        case FieldKind::Text: {
            const auto bytes = utf8_to_latin1(v);
            if (!bytes) return fill(cli::kTextNotLatin1, {name, quoted});
            if (bytes->size() > collection::kTextFieldChars) {
                return fill(cli::kTextTooLong,
                            {name, quoted, std::to_string(collection::kTextFieldChars)});
            }
            return {};
        }
        case FieldKind::HexByte:
            if (d.channel) {
                // The packing character: not empty, hexadecimal, any length ("5" is 0x50).
                const auto i = static_cast<std::size_t>(ref.channel);
                if (v.empty()) return std::string(text::kPackingCharEmpty[i]);
                if (!collection::hex_text_to_byte(v)) {
                    return std::string(text::kPackingCharInvalid[i]);
                }
                return {};
            }
            // A trigger character: exactly two characters, both hexadecimal.
            if (collection::character_count(v) != 2) return std::string(text::kTriggerInvalid);
            if (!collection::hex_text_to_byte(v)) return std::string(text::kTriggerNotHex);
            return {};
        case FieldKind::Identity:
        case FieldKind::ReadOnly:
        case FieldKind::Hidden:
            break;
    }
    return fill(cli::kFieldNotEditable, {quoted_value(name)});
}

// Converts and writes one edit; returns the message of a failed check, or empty.
std::string put(const Ref& ref, BoardRow& row, const Context& c, const Edit& edit) {
    const Def& d = *ref.def;
    const Field f = describe(ref, row, c);
    const std::string& v = edit.value;
    // The value the field already shows leaves it as it is, also where the board holds a value
    // the list no longer offers (PPPoE on a model without the PPPoE radio).
    if (v == f.value && f.settable()) return {};
    if (std::string error = value_error(ref, f.name, v, f.max, f.choices, cli::kBadChoice);
        !error.empty()) {
        return error;
    }
    switch (d.kind) {
        case FieldKind::Address:
            d.put(row, ref.channel, c, v, 0, 0);
            break;
        case FieldKind::Choice: {
            const auto it = std::find(f.choices.begin(), f.choices.end(), v);
            d.put(row, ref.channel, c, v, static_cast<int>(it - f.choices.begin()), 0);
            break;
        }
        case FieldKind::Flag:
            d.put(row, ref.channel, c, v, v == cli::kOn ? 1 : 0, 0);
            break;
        case FieldKind::Number:
            d.put(row, ref.channel, c, v, 0, *parse_number(v, f.max));
            break;
        case FieldKind::Text:
            d.put(row, ref.channel, c, *utf8_to_latin1(v), 0, 0);
            break;
        case FieldKind::HexByte:
            if (d.channel) {
                chan(row, ref.channel).packing_char = *collection::hex_text_to_byte(v);
            } else {
                row.trigger_chars[static_cast<std::size_t>(d.name[14] - '0')] =
                    *collection::hex_text_to_byte(v);
            }
            break;
        case FieldKind::Identity:
        case FieldKind::ReadOnly:
        case FieldKind::Hidden:
            break;
    }
    return {};
}

// Every entry that the list of `def` offers on some model with some firmware (and, for the
// parity, either data-bits setting), in the order first met.
const Choices& choices_anywhere(const Def& def) {
    static std::map<const Def*, Choices> lists;
    static std::mutex guard;
    const std::lock_guard lock(guard);
    const auto known = lists.find(&def);
    if (known != lists.end()) return known->second;
    Choices all;
    // Product codes of every model and one outside the table; firmware on each side of every
    // threshold of the lists (version numbers 0, 14, 153, 199, 200, 214, 253, 299).
    for (std::uint8_t code = 1; code <= 7; ++code) {
        for (std::uint8_t major = 0; major <= 2; ++major) {
            for (const std::uint8_t minor : {0, 14, 53, 99}) {
                for (std::uint8_t data_bits = 0; data_bits < text::kDataBits.size(); ++data_bits) {
                    BoardRow row;
                    row.product_code = {static_cast<std::uint8_t>(code == 7 ? 1 : 0), code};
                    row.firmware_major = major;
                    row.firmware_minor = minor;
                    row.channel[0].data_bits = data_bits;
                    for (std::string_view entry : def.choices(row, 0, context_of(row))) {
                        if (std::find(all.begin(), all.end(), entry) == all.end()) {
                            all.push_back(entry);
                        }
                    }
                }
            }
        }
    }
    return lists.emplace(&def, std::move(all)).first->second;
}

}  // namespace

std::string quoted_value(std::string_view value) {
    std::string out = "\"";
    std::size_t chars = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        const bool continuation = (c & 0xC0) == 0x80;
        if (!continuation && chars++ == kQuotedValueChars) {
            out += "...";
            break;
        }
        out += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
    }
    return out + '"';
}

std::string fill(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '9') {
            const auto k = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (k < args.size()) {
                out += *(args.begin() + k);
                ++i;
                continue;
            }
        }
        out.push_back(pattern[i]);
    }
    return out;
}

std::string model_label(const BoardRow& row) {
    const std::string name = model_name(row.product_code);
    return name.empty() ? product_code_text(row.product_code) : name;
}

std::vector<Field> fields_of(const BoardRow& row) {
    const Context c = context_of(row);
    std::vector<Field> out;
    for (const Def& d : catalogue()) {
        if (d.channel) continue;
        const Ref ref{&d, 0};
        if (carried(ref, c)) out.push_back(describe(ref, row, c));
    }
    for (int ch = 0; ch < c.channels; ++ch) {
        for (const Def& d : catalogue()) {
            if (!d.channel) continue;
            const Ref ref{&d, ch};
            if (carried(ref, c)) out.push_back(describe(ref, row, c));
        }
    }
    return out;
}

void for_each_value(const BoardRow& row,
                    const std::function<void(std::string_view, const std::string&)>& visit) {
    const Context c = context_of(row);
    for (const Def& d : catalogue()) {
        if (!d.channel && carried(Ref{&d, 0}, c)) visit(d.name, d.get(row, 0, c));
    }
    std::string name;
    for (int ch = 0; ch < c.channels; ++ch) {
        const std::string prefix = channel_prefix(ch);
        for (const Def& d : catalogue()) {
            if (!d.channel || !carried(Ref{&d, ch}, c)) continue;
            name.assign(prefix).append(d.name);
            visit(name, d.get(row, ch, c));
        }
    }
}

std::optional<Field> field_of(const BoardRow& row, std::string_view name) {
    const auto ref = find_def(name);
    if (!ref) return std::nullopt;
    const Context c = context_of(row);
    if (!carried(*ref, c)) return std::nullopt;
    return describe(*ref, row, c);
}

bool is_known_name(std::string_view name) {
    return find_def(name).has_value();
}

namespace {

// Finds the field `name` of the board, or says why it cannot be set.
std::string resolve(const BoardRow& board, const Context& c, std::string_view name, Ref& ref) {
    const auto found = find_def(name);
    const std::string quoted = quoted_value(name);
    if (!found) return fill(text::cli::kUnknownField, {quoted});
    if (!carried(*found, c)) return fill(text::cli::kFieldNotOnModel, {c.model_name, quoted});
    if (!describe(*found, board, c).settable()) return fill(text::cli::kFieldNotEditable, {quoted});
    ref = *found;
    return {};
}

}  // namespace

std::string edit_error(const BoardRow& board, const Edit& edit) {
    const Context c = context_of(board);
    Ref ref;
    if (std::string error = resolve(board, c, edit.name, ref); !error.empty()) return error;
    BoardRow row = board;
    return put(ref, row, c, edit);
}

std::vector<std::string> settable_field_names() {
    std::vector<std::string> names;
    for (const Def& d : catalogue()) {
        if (!d.channel && kind_settable(d.kind)) names.emplace_back(d.name);
    }
    for (int ch = 0; ch < static_cast<int>(BoardRow{}.channel.size()); ++ch) {
        for (const Def& d : catalogue()) {
            if (d.channel && kind_settable(d.kind))
                names.push_back(channel_prefix(ch) + std::string(d.name));
        }
    }
    return names;
}

std::string check_edit(const Edit& edit) {
    const auto ref = find_def(edit.name);
    if (!ref) return fill(cli::kUnknownField, {quoted_value(edit.name)});
    const Def& d = *ref->def;
    const bool settable = d.kind != FieldKind::Identity && d.kind != FieldKind::ReadOnly &&
                          d.kind != FieldKind::Hidden;
    if (!settable) return fill(cli::kFieldNotEditable, {quoted_value(edit.name)});
    // An empty choice is left to the board's own check: a board whose value its list lacks
    // shows it empty, and setting the value it shows changes nothing.
    if (d.kind == FieldKind::Choice && edit.value.empty()) return {};
    return value_error(*ref, edit.name, edit.value, d.max,
                       d.kind == FieldKind::Choice ? choices_anywhere(d) : Choices{},
                       cli::kBadChoiceAnyModel);
}

EditResult apply_edits(const BoardRow& board, const std::vector<Edit>& edits) {
    const Context c = context_of(board);
    // Resolve every name first: an unknown or foreign name is reported before any value.
    struct Resolved {
        Ref ref;
        const Edit* edit;
        std::size_t order;
    };
    std::vector<Resolved> resolved;
    const auto& defs = catalogue();
    for (const Edit& e : edits) {
        Ref ref;
        if (std::string error = resolve(board, c, e.name, ref); !error.empty()) {
            return {std::nullopt, std::move(error)};
        }
        for (const Resolved& r : resolved) {
            if (r.ref.def == ref.def && r.ref.channel == ref.channel) {
                return {std::nullopt, fill(text::cli::kFieldTwice, {quoted_value(e.name)})};
            }
        }
        const auto def_index = static_cast<std::size_t>(ref.def - defs.data());
        const std::size_t order =
            ref.def->channel ? defs.size() * static_cast<std::size_t>(ref.channel + 1) + def_index
                             : def_index;
        resolved.push_back({ref, &e, order});
    }
    std::stable_sort(resolved.begin(), resolved.end(),
                     [](const Resolved& a, const Resolved& b) { return a.order < b.order; });

    BoardRow row = board;
    for (const Resolved& r : resolved) {
        if (std::string error = put(r.ref, row, c, *r.edit); !error.empty()) {
            return {std::nullopt, std::move(error)};
        }
    }
    // A field the window disables for the resulting settings keeps its value.
    for (const Resolved& r : resolved) {
        const bool changed = describe(r.ref, row, c).value != describe(r.ref, board, c).value;
        if (changed && !is_enabled(r.ref, row, c)) {
            return {std::nullopt,
                    fill(text::cli::kFieldDisabled, {quoted_value(r.edit->name), c.model_name})};
        }
    }
    return {row, {}};
}

}  // namespace quorin::settings
