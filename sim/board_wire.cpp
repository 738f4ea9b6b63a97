#include "sim/board_wire.h"

#include <algorithm>

#include "sim/board_fields.h"

namespace quorin::sim {

namespace {

enum class Enc {
    Raw,             // the field's bytes as they are
    U8,              // low 8 bits of the value
    U16LE,           // low 16 bits, least significant byte first
    U16BE,           // low 16 bits, most significant byte first
    LegacyBaud,      // baud-rate code as its legacy wire byte
    LegacyDataBits,  // data-bit code plus 7
};

template <class Rec>
struct WireField {
    std::size_t offset;
    std::size_t width;
    Enc enc;
    FieldRef<Rec> ref;
};

using R = BoardRow;
using C = ChannelBlock;

// Main layout: offsets from the start of the datagram (byte 0 opcode, byte 1 host tag).
constexpr WireField<R> kMainShortHeader[] = {
    {2, 6, Enc::Raw, &R::mac_address},    {8, 2, Enc::Raw, &R::product_code},
    {10, 4, Enc::Raw, &R::local_ip},      {14, 4, Enc::Raw, &R::subnet_mask},
    {18, 4, Enc::Raw, &R::gateway_ip},    {22, 1, Enc::U8, &R::firmware_major},
    {23, 1, Enc::U8, &R::firmware_minor}, {24, 1, Enc::U8, &R::debug_mode},
    {25, 1, Enc::U8, &R::ip_mode},        {26, 1, Enc::U8, &R::serial_command_method},
    {27, 3, Enc::Raw, &R::trigger_chars}, {30, 4, Enc::Raw, &R::dns_server_ip},
};

// Fields the long header adds after the short one (bytes 42..49 are always zero).
constexpr WireField<R> kMainLongHeaderExtra[] = {
    {34, 6, Enc::Raw, &R::reserved_block},  {40, 2, Enc::U16LE, &R::reserved_word},
    {50, 32, Enc::Raw, &R::pppoe_id},       {82, 32, Enc::Raw, &R::pppoe_password},
    {114, 32, Enc::Raw, &R::reserved_text},
};

// Main channel record: offsets from the start of the 64-byte record.
constexpr WireField<C> kMainChannel[] = {
    {0, 1, Enc::U8, &C::operation_mode},
    {1, 1, Enc::U8, &C::connection_status},
    {2, 1, Enc::U8, &C::use_dns},
    {3, 1, Enc::U8, &C::udp},
    {4, 4, Enc::Raw, &C::remote_ip},
    {8, 2, Enc::U16LE, &C::local_port},
    {10, 2, Enc::U16LE, &C::remote_port},
    {16, 32, Enc::Raw, &C::domain_name},
    {48, 1, Enc::U8, &C::baud_rate},
    {49, 1, Enc::U8, &C::data_bits},
    {50, 1, Enc::U8, &C::parity},
    {51, 1, Enc::U8, &C::stop_bits},
    {52, 1, Enc::U8, &C::flow_control},
    {53, 1, Enc::U8, &C::packing_char},
    {54, 2, Enc::U16LE, &C::packing_size},
    {56, 2, Enc::U16LE, &C::packing_time},
    {58, 2, Enc::U16LE, &C::inactivity_time},
    {60, 1, Enc::U8, &C::reserved},
    {61, 1, Enc::U8, &C::data_mode},
};

// Legacy layout: offsets from the start of the 120-byte datagram (bytes 0..3 the opcode text).
constexpr WireField<R> kLegacyRow[] = {
    {4, 6, Enc::Raw, &R::mac_address},    {10, 4, Enc::Raw, &R::local_ip},
    {14, 4, Enc::Raw, &R::subnet_mask},   {18, 4, Enc::Raw, &R::gateway_ip},
    {30, 1, Enc::U8, &R::ip_mode},        {37, 1, Enc::U8, &R::serial_command_method},
    {38, 3, Enc::Raw, &R::trigger_chars}, {47, 1, Enc::U8, &R::firmware_major},
    {48, 1, Enc::U8, &R::firmware_minor}, {50, 4, Enc::Raw, &R::dns_server_ip},
};

// The legacy layout's one channel (channel[0]), same offsets as above.
constexpr WireField<C> kLegacyChannel[] = {
    {22, 2, Enc::U16BE, &C::local_port},
    {24, 4, Enc::Raw, &C::remote_ip},
    {28, 2, Enc::U16BE, &C::remote_port},
    {31, 1, Enc::U8, &C::operation_mode},
    {33, 1, Enc::LegacyBaud, &C::baud_rate},
    {34, 1, Enc::LegacyDataBits, &C::data_bits},
    {35, 1, Enc::U8, &C::parity},
    {36, 1, Enc::U8, &C::flow_control},
    {41, 1, Enc::U8, &C::packing_char},
    {42, 1, Enc::U8, &C::packing_size},
    {43, 2, Enc::U16BE, &C::packing_time},
    {45, 2, Enc::U16BE, &C::inactivity_time},
    {54, 32, Enc::Raw, &C::domain_name},
    {119, 1, Enc::U8, &C::connection_status},
};

constexpr std::array<std::uint8_t, 8> kLegacyBaudWire = {255, 254, 253, 250, 244, 232, 208, 160};
constexpr std::uint8_t kLegacyDataBitsBias = 7;

// Writes one field at `base + field.offset`; a field that would not fit in `out` is skipped.
template <class Rec>
void write_field(const Rec& rec, const WireField<Rec>& field, std::span<std::uint8_t> out,
                 std::size_t base) {
    const std::size_t at = base + field.offset;
    if (at > out.size() || field.width > out.size() - at) return;
    std::span<std::uint8_t> dst = out.subspan(at, field.width);
    if (field.enc == Enc::Raw) {
        std::span<const std::uint8_t> src = field_bytes(rec, field.ref);
        std::copy_n(src.begin(), std::min(src.size(), dst.size()), dst.begin());
        return;
    }
    const std::uint32_t value = field_scalar(rec, field.ref).value_or(0);
    switch (field.enc) {
        case Enc::U8:
            dst[0] = static_cast<std::uint8_t>(value & 0xFFu);
            break;
        case Enc::U16LE:
            dst[0] = static_cast<std::uint8_t>(value & 0xFFu);
            dst[1] = static_cast<std::uint8_t>((value >> 8) & 0xFFu);
            break;
        case Enc::U16BE:
            dst[0] = static_cast<std::uint8_t>((value >> 8) & 0xFFu);
            dst[1] = static_cast<std::uint8_t>(value & 0xFFu);
            break;
        case Enc::LegacyBaud:
            dst[0] = legacy_baud_to_wire(static_cast<std::uint8_t>(value));
            break;
        case Enc::LegacyDataBits:
            dst[0] = static_cast<std::uint8_t>((value + kLegacyDataBitsBias) & 0xFFu);
            break;
        case Enc::Raw:
            break;
    }
}

// Reads one field from `base + field.offset`; a field not wholly inside `in` is left as it was.
template <class Rec>
void read_field(Rec& rec, const WireField<Rec>& field, std::span<const std::uint8_t> in,
                std::size_t base) {
    const std::size_t at = base + field.offset;
    if (at > in.size() || field.width > in.size() - at) return;
    std::span<const std::uint8_t> src = in.subspan(at, field.width);
    if (field.enc == Enc::Raw) {
        std::span<std::uint8_t> dst = field_bytes(rec, field.ref);
        std::copy_n(src.begin(), std::min(src.size(), dst.size()), dst.begin());
        return;
    }
    std::uint32_t value = 0;
    switch (field.enc) {
        case Enc::U8:
            value = src[0];
            break;
        case Enc::U16LE:
            value = static_cast<std::uint32_t>(src[0]) | (static_cast<std::uint32_t>(src[1]) << 8);
            break;
        case Enc::U16BE:
            value = (static_cast<std::uint32_t>(src[0]) << 8) | static_cast<std::uint32_t>(src[1]);
            break;
        case Enc::LegacyBaud:
            value = legacy_wire_to_baud(src[0]);
            break;
        case Enc::LegacyDataBits:
            value = static_cast<std::uint8_t>(src[0] - kLegacyDataBitsBias);
            break;
        case Enc::Raw:
            break;
    }
    set_field_scalar(rec, field.ref, value);
}

}  // namespace

BoardLayout board_layout(const std::array<std::uint8_t, 2>& product_code) {
    BoardLayout layout;
    if (product_code[0] != 0) return layout;  // outside the table: short header, 4 records
    switch (product_code[1]) {
        case 1:
            layout.channel_records = 3;
            layout.length = kShortHeaderLength + 3 * kMainChannelRecordLength;
            break;
        case 2:
        case 6:
            layout.long_header = true;
            layout.channel_offset = kLongHeaderLength;
            layout.length = kLongHeaderLength + 4 * kMainChannelRecordLength;
            break;
        case 4:
            layout.protocol = BoardProtocol::Legacy;
            layout.channel_offset = 0;
            layout.channel_records = 1;
            layout.length = kLegacyPacketSize;
            break;
        default:
            break;
    }
    return layout;
}

std::vector<std::uint8_t> encode_main_record(const BoardRow& row, const BoardLayout& layout,
                                             std::uint8_t opcode, std::uint8_t host_tag) {
    std::vector<std::uint8_t> out(layout.length, 0);
    if (out.size() < 2) return out;
    out[0] = opcode;
    out[1] = host_tag;
    for (const auto& f : kMainShortHeader) write_field(row, f, out, 0);
    if (layout.long_header) {
        for (const auto& f : kMainLongHeaderExtra) write_field(row, f, out, 0);
    }
    const int records = std::min(layout.channel_records, kChannelBlocks);
    for (int i = 0; i < records; ++i) {
        const std::size_t base = layout.channel_offset + i * kMainChannelRecordLength;
        for (const auto& f : kMainChannel) write_field(row.channel[i], f, out, base);
    }
    return out;
}

std::vector<std::uint8_t> encode_legacy_record(const BoardRow& row, std::string_view opcode4) {
    std::vector<std::uint8_t> out(kLegacyPacketSize, 0);
    for (std::size_t i = 0; i < kLegacyOpcodeLength && i < opcode4.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(opcode4[i]);
    }
    for (const auto& f : kLegacyRow) write_field(row, f, out, 0);
    for (const auto& f : kLegacyChannel) write_field(row.channel[0], f, out, 0);
    return out;
}

void read_main_record(std::span<const std::uint8_t> datagram, const BoardLayout& layout,
                      BoardRow& row) {
    for (const auto& f : kMainShortHeader) read_field(row, f, datagram, 0);
    if (layout.long_header) {
        for (const auto& f : kMainLongHeaderExtra) read_field(row, f, datagram, 0);
    }
    const int records = std::min(layout.channel_records, kChannelBlocks);
    for (int i = 0; i < records; ++i) {
        const std::size_t base = layout.channel_offset + i * kMainChannelRecordLength;
        for (const auto& f : kMainChannel) read_field(row.channel[i], f, datagram, base);
    }
}

void read_legacy_record(std::span<const std::uint8_t> datagram, BoardRow& row) {
    for (const auto& f : kLegacyRow) read_field(row, f, datagram, 0);
    for (const auto& f : kLegacyChannel) read_field(row.channel[0], f, datagram, 0);
}

BoardRow apply_set_request(const BoardRow& current, std::span<const std::uint8_t> request,
                           const BoardLayout& layout) {
    BoardRow next = current;
    if (layout.protocol == BoardProtocol::Legacy) {
        read_legacy_record(request, next);
    } else {
        read_main_record(request, layout, next);
    }
    next.mac_address = current.mac_address;
    next.product_code = current.product_code;
    next.firmware_major = current.firmware_major;
    next.firmware_minor = current.firmware_minor;
    for (int i = 0; i < kChannelBlocks; ++i) {
        next.channel[i].connection_status = current.channel[i].connection_status;
    }
    return next;
}

std::uint8_t legacy_baud_to_wire(std::uint8_t code) {
    return code < kLegacyBaudWire.size() ? kLegacyBaudWire[code] : 0;
}

std::uint8_t legacy_wire_to_baud(std::uint8_t wire_byte) {
    for (std::size_t code = 0; code < kLegacyBaudWire.size(); ++code) {
        if (kLegacyBaudWire[code] == wire_byte) return static_cast<std::uint8_t>(code);
    }
    return 0;
}

}  // namespace quorin::sim
