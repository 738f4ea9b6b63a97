// The board record codec. Both wire layouts are tables of field descriptors (offset, width, byte
// order, the row member they carry, an optional value conversion); one decoder and one encoder
// walk whichever table the protocol and product code select.
#include "protocol/record_codec.h"

#include <algorithm>
#include <array>
#include <type_traits>

namespace quorin {
namespace {

// ---------------------------------------------------------------------------------------------
// Byte access. Every read and write of wire bytes goes through wire_span(), the one bounds check.

// The bytes [offset, offset + width) of `bytes`, or an empty span when any of them lies beyond its
// end. Written so that offset + width cannot overflow.
template <class Byte>
std::span<Byte> wire_span(std::span<Byte> bytes, std::size_t offset, std::size_t width) {
    if (offset > bytes.size() || width > bytes.size() - offset) return {};
    return bytes.subspan(offset, width);
}

// Integers of 1 to 4 bytes, built from shifts so that the host's byte order never matters.
std::uint32_t load_little(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

std::uint32_t load_big(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (std::uint8_t b : bytes) value = (value << 8) | b;
    return value;
}

// Writes the low 8 * out.size() bits of `value`; higher bits are dropped (narrowing).
void store_little(std::span<std::uint8_t> out, std::uint32_t value) {
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void store_big(std::span<std::uint8_t> out, std::uint32_t value) {
    const std::size_t n = out.size();
    for (std::size_t i = 0; i < n; ++i)
        out[n - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// ---------------------------------------------------------------------------------------------
// Field descriptors.

enum class WireForm : std::uint8_t {
    Bytes,   // a byte array copied as it is (addresses, MAC, texts, reserved blocks)
    Little,  // an unsigned integer, little-endian
    Big,     // an unsigned integer, big-endian
    Implied  // not on the wire: decoding stores a fixed value, encoding writes nothing
};

enum class Conversion : std::uint8_t {
    None,
    LegacyBaud,    // row holds the baud-rate code, the wire the legacy baud byte
    DataBitCount,  // row holds 0 (seven) or 1 (eight), the wire the number of bits
};

// Access to one member of a record: integer members through get/set (set narrows to the member's
// width), byte-array members through views.
template <class Record>
struct MemberAccess {
    std::uint32_t (*get)(const Record&) = nullptr;
    void (*set)(Record&, std::uint32_t) = nullptr;
    std::span<const std::uint8_t> (*view)(const Record&) = nullptr;
    std::span<std::uint8_t> (*edit)(Record&) = nullptr;
};

template <class>
struct MemberTraits;
template <class C, class T>
struct MemberTraits<T C::*> {
    using Record = C;
    using Type = T;
};

template <auto Member>
using RecordOf = typename MemberTraits<decltype(Member)>::Record;

template <auto Member>
constexpr MemberAccess<RecordOf<Member>> access() {
    using Record = RecordOf<Member>;
    using Type = typename MemberTraits<decltype(Member)>::Type;
    MemberAccess<Record> a;
    if constexpr (std::is_integral_v<Type>) {
        a.get = [](const Record& r) -> std::uint32_t { return r.*Member; };
        a.set = [](Record& r, std::uint32_t v) { r.*Member = static_cast<Type>(v); };
    } else {
        static_assert(std::is_same_v<typename Type::value_type, std::uint8_t>);
        a.view = [](const Record& r) { return std::span<const std::uint8_t>(r.*Member); };
        a.edit = [](Record& r) { return std::span<std::uint8_t>(r.*Member); };
    }
    return a;
}

template <class Record>
struct Field {
    std::size_t offset = 0;  // from the start of the datagram, or of the channel record
    std::size_t width = 0;   // bytes on the wire; 0 for implied fields
    WireForm form = WireForm::Bytes;
    MemberAccess<Record> member;
    Conversion conversion = Conversion::None;
    std::uint32_t implied = 0;  // value that decoding stores for an implied field
};

using RowField = Field<BoardRow>;
using ChannelField = Field<ChannelBlock>;

// Descriptor builders. A byte array's width is the member's own size.
template <auto Member>
constexpr Field<RecordOf<Member>> bytes(std::size_t offset) {
    using Type = typename MemberTraits<decltype(Member)>::Type;
    return {offset, std::tuple_size_v<Type>, WireForm::Bytes, access<Member>()};
}

template <auto Member>
constexpr Field<RecordOf<Member>> u8(std::size_t offset, Conversion c = Conversion::None) {
    return {offset, 1, WireForm::Little, access<Member>(), c};
}

template <auto Member>
constexpr Field<RecordOf<Member>> le16(std::size_t offset) {
    return {offset, 2, WireForm::Little, access<Member>()};
}

template <auto Member>
constexpr Field<RecordOf<Member>> be16(std::size_t offset) {
    return {offset, 2, WireForm::Big, access<Member>()};
}

// A field the layout does not carry but whose value decoding sets; a byte array receives the
// value high byte first.
template <auto Member>
constexpr Field<RecordOf<Member>> implied(std::uint32_t value) {
    return {0, 0, WireForm::Implied, access<Member>(), Conversion::None, value};
}

// ---------------------------------------------------------------------------------------------
// The layouts.

using R = BoardRow;
using C = ChannelBlock;

// Main layout header. Byte 0 (opcode) and byte 1 (host tag) are the caller's. The first
// kShortHeaderFields entries are the short header; the rest extend it to the long header, whose
// bytes 42 to 49 carry nothing.
constexpr RowField kMainHeader[] = {
    bytes<&R::mac_address>(2),
    bytes<&R::product_code>(8),
    bytes<&R::local_ip>(10),
    bytes<&R::subnet_mask>(14),
    bytes<&R::gateway_ip>(18),
    u8<&R::firmware_major>(22),
    u8<&R::firmware_minor>(23),
    u8<&R::debug_mode>(24),
    u8<&R::ip_mode>(25),
    u8<&R::serial_command_method>(26),
    bytes<&R::trigger_chars>(27),
    bytes<&R::dns_server_ip>(30),
    // Long header only.
    bytes<&R::reserved_block>(34),
    le16<&R::reserved_word>(40),
    bytes<&R::pppoe_id>(50),
    bytes<&R::pppoe_password>(82),
    bytes<&R::reserved_text>(114),
};
constexpr std::size_t kShortHeaderFields = 12;
constexpr std::size_t kProductCodeOffset = 8;
static_assert(kMainHeader[1].offset == kProductCodeOffset && kMainHeader[1].width == 2);
static_assert(kMainHeader[kShortHeaderFields - 1].offset + 4 == kShortHeaderLength);
static_assert(kMainHeader[kShortHeaderFields].offset == kShortHeaderLength);
static_assert(kMainHeader[std::size(kMainHeader) - 1].offset + 32 == kLongHeaderLength);

// Main layout channel record, 64 bytes; bytes 12 to 15 and 62 to 63 carry nothing.
constexpr ChannelField kMainChannel[] = {
    u8<&C::operation_mode>(0),
    u8<&C::connection_status>(1),
    u8<&C::use_dns>(2),
    u8<&C::udp>(3),
    bytes<&C::remote_ip>(4),
    le16<&C::local_port>(8),
    le16<&C::remote_port>(10),
    bytes<&C::domain_name>(16),
    u8<&C::baud_rate>(48),
    u8<&C::data_bits>(49),
    u8<&C::parity>(50),
    u8<&C::stop_bits>(51),
    u8<&C::flow_control>(52),
    u8<&C::packing_char>(53),
    le16<&C::packing_size>(54),
    le16<&C::packing_time>(56),
    le16<&C::inactivity_time>(58),
    u8<&C::reserved>(60),
    u8<&C::data_mode>(61),
};

// Legacy layout, board-wide fields. Bytes 0 to 3 are the opcode letters. The legacy layout has no
// product code: a legacy record always belongs to product 00 04.
constexpr RowField kLegacyHeader[] = {
    bytes<&R::mac_address>(4),
    bytes<&R::local_ip>(10),
    bytes<&R::subnet_mask>(14),
    bytes<&R::gateway_ip>(18),
    u8<&R::ip_mode>(30),
    u8<&R::serial_command_method>(37),
    bytes<&R::trigger_chars>(38),
    u8<&R::firmware_major>(47),
    u8<&R::firmware_minor>(48),
    bytes<&R::dns_server_ip>(50),
    implied<&R::product_code>(0x0004),
};

// Legacy layout, the one channel (channel[0]); offsets are from the start of the datagram. Bytes
// 32, 49 and 86 to 118 carry nothing. A legacy board always reaches its peer by domain name.
constexpr ChannelField kLegacyChannel[] = {
    be16<&C::local_port>(22),
    bytes<&C::remote_ip>(24),
    be16<&C::remote_port>(28),
    u8<&C::operation_mode>(31),
    u8<&C::baud_rate>(33, Conversion::LegacyBaud),
    u8<&C::data_bits>(34, Conversion::DataBitCount),
    u8<&C::parity>(35),
    u8<&C::flow_control>(36),
    u8<&C::packing_char>(41),
    u8<&C::packing_size>(42),  // low 8 bits only
    be16<&C::packing_time>(43),
    be16<&C::inactivity_time>(45),
    bytes<&C::domain_name>(54),
    u8<&C::connection_status>(119),
    implied<&C::use_dns>(1),
};

// A whole record: board-wide fields, then `channel_records` channel records of `channel` fields,
// the first at `channel_offset`, each `channel_stride` bytes after the previous one.
struct WireLayout {
    std::span<const RowField> header;
    std::span<const ChannelField> channel;
    std::size_t channel_offset = 0;
    std::size_t channel_stride = 0;
    int channel_records = 0;
};

WireLayout main_wire_layout(std::uint8_t product_code_low) {
    const MainLayout m = main_layout_for(product_code_low);
    const std::span<const RowField> header(kMainHeader);
    return {m.long_header ? header : header.first(kShortHeaderFields), kMainChannel,
            m.channel_offset, kMainChannelRecordLength, m.channel_records};
}

constexpr WireLayout kLegacyLayout{kLegacyHeader, kLegacyChannel, 0, 0, 1};

// ---------------------------------------------------------------------------------------------
// Value conversions between the row and the wire.

std::uint32_t to_wire(Conversion c, std::uint32_t value) {
    switch (c) {
        case Conversion::LegacyBaud:
            return legacy_baud_wire_byte(static_cast<std::uint8_t>(value));
        case Conversion::DataBitCount:
            return (value + 7) & 0xFFu;
        case Conversion::None:
            break;
    }
    return value;
}

std::uint32_t from_wire(Conversion c, std::uint32_t value) {
    switch (c) {
        case Conversion::LegacyBaud:
            return legacy_baud_code(static_cast<std::uint8_t>(value));
        case Conversion::DataBitCount:
            return (value - 7) & 0xFFu;
        case Conversion::None:
            break;
    }
    return value;
}

// ---------------------------------------------------------------------------------------------
// The decoder and the encoder.

// Stores each field of `fields`, read at base + offset, into `record`. A field the datagram does
// not wholly hold is stored as zero (without conversion).
template <class Record>
void decode_fields(std::span<const Field<Record>> fields, std::span<const std::uint8_t> datagram,
                   std::size_t base, Record& record) {
    for (const Field<Record>& f : fields) {
        if (f.form == WireForm::Implied) {
            if (f.member.set) {
                f.member.set(record, f.implied);
            } else {
                store_big(f.member.edit(record), f.implied);
            }
            continue;
        }
        const auto wire = wire_span(datagram, base + f.offset, f.width);
        if (f.form == WireForm::Bytes) {
            const auto target = f.member.edit(record);
            if (wire.size() == target.size()) {
                std::copy(wire.begin(), wire.end(), target.begin());
            } else {
                std::fill(target.begin(), target.end(), std::uint8_t{0});
            }
            continue;
        }
        if (wire.empty()) {
            f.member.set(record, 0);
            continue;
        }
        const std::uint32_t raw = f.form == WireForm::Big ? load_big(wire) : load_little(wire);
        f.member.set(record, from_wire(f.conversion, raw));
    }
}

// Writes each field of `record` at base + offset into `packet`. A field that would not wholly fit
// is not written; bytes no field covers are left as they are.
template <class Record>
void encode_fields(std::span<const Field<Record>> fields, const Record& record, std::size_t base,
                   std::span<std::uint8_t> packet) {
    for (const Field<Record>& f : fields) {
        if (f.form == WireForm::Implied) continue;
        const auto wire = wire_span(packet, base + f.offset, f.width);
        if (wire.empty()) continue;
        if (f.form == WireForm::Bytes) {
            const auto source = f.member.view(record);
            std::copy_n(source.begin(), std::min(source.size(), wire.size()), wire.begin());
            continue;
        }
        const std::uint32_t value = to_wire(f.conversion, f.member.get(record));
        if (f.form == WireForm::Big) {
            store_big(wire, value);
        } else {
            store_little(wire, value);
        }
    }
}

int channel_count(const WireLayout& layout) {
    return std::clamp(layout.channel_records, 0, kChannelBlocks);
}

void decode_record(const WireLayout& layout, std::span<const std::uint8_t> datagram,
                   BoardRow& row) {
    decode_fields(layout.header, datagram, 0, row);
    for (int i = 0; i < channel_count(layout); ++i) {
        const auto index = static_cast<std::size_t>(i);
        decode_fields(layout.channel, datagram,
                      layout.channel_offset + index * layout.channel_stride, row.channel[index]);
    }
}

void encode_record(const WireLayout& layout, const BoardRow& row, std::span<std::uint8_t> packet) {
    encode_fields(layout.header, row, 0, packet);
    for (int i = 0; i < channel_count(layout); ++i) {
        const auto index = static_cast<std::size_t>(i);
        encode_fields(layout.channel, row.channel[index],
                      layout.channel_offset + index * layout.channel_stride, packet);
    }
}

// Legacy baud wire bytes, indexed by baud-rate code.
constexpr std::array<std::uint8_t, 8> kLegacyBaudBytes{255, 254, 253, 250, 244, 232, 208, 160};

constexpr MainLayout kShortThree{false, kShortHeaderLength, 3,
                                 kShortHeaderLength + 3 * kMainChannelRecordLength};
constexpr MainLayout kShortFour{false, kShortHeaderLength, 4,
                                kShortHeaderLength + 4 * kMainChannelRecordLength};
constexpr MainLayout kLongFour{true, kLongHeaderLength, 4,
                               kLongHeaderLength + 4 * kMainChannelRecordLength};
static_assert(kShortThree.record_length == 226 && kShortFour.record_length == 290 &&
              kLongFour.record_length == kMainPacketSize);

}  // namespace

MainLayout main_layout_for(std::uint8_t product_code_low) {
    switch (product_code_low) {
        case 1:
            return kShortThree;
        case 2:
        case 6:
            return kLongFour;
        default:
            return kShortFour;
    }
}

std::size_t main_request_length(const std::array<std::uint8_t, 2>& product_code) {
    if (product_code[0] != 0) return kShortFour.record_length;
    return main_layout_for(product_code[1]).record_length;
}

bool uses_legacy_protocol(const std::array<std::uint8_t, 2>& product_code) {
    return product_code[0] == 0 && product_code[1] == 4;
}

void decode_main_reply(std::span<const std::uint8_t> datagram, BoardRow& row, bool keep_mac) {
    const auto mac = row.mac_address;
    // The layout follows from the second byte of the received product code, read like the
    // field itself: zero when the datagram does not hold both bytes.
    const auto product = wire_span(datagram, kProductCodeOffset, 2);
    decode_record(main_wire_layout(product.empty() ? 0 : product[1]), datagram, row);
    if (keep_mac) row.mac_address = mac;
}

void decode_legacy_reply(std::span<const std::uint8_t> datagram, BoardRow& row, bool keep_mac) {
    const auto mac = row.mac_address;
    decode_record(kLegacyLayout, datagram, row);
    if (keep_mac) row.mac_address = mac;
}

void encode_main_request(const BoardRow& working, std::span<std::uint8_t> packet) {
    encode_record(main_wire_layout(working.product_code[1]), working, packet);
}

void encode_legacy_request(const BoardRow& working, std::string_view opcode4,
                           std::span<std::uint8_t> packet) {
    const auto record = packet.first(std::min(packet.size(), kLegacyPacketSize));
    std::fill(record.begin(), record.end(), std::uint8_t{0});
    std::copy_n(opcode4.begin(), std::min({opcode4.size(), record.size(), std::size_t{4}}),
                record.begin());
    encode_record(kLegacyLayout, working, record);
}

std::vector<std::uint8_t> encode_main_datagram(const BoardRow& row, std::uint8_t opcode,
                                               std::uint8_t host_tag) {
    std::vector<std::uint8_t> datagram(kMainPacketSize, 0);
    datagram[0] = opcode;
    datagram[1] = host_tag;
    encode_main_request(row, datagram);
    datagram.resize(main_request_length(row.product_code));
    return datagram;
}

std::vector<std::uint8_t> encode_legacy_datagram(const BoardRow& row, std::string_view opcode4) {
    std::vector<std::uint8_t> datagram(kLegacyPacketSize, 0);
    encode_legacy_request(row, opcode4, datagram);
    return datagram;
}

std::uint8_t legacy_baud_wire_byte(std::uint8_t code) {
    return code < kLegacyBaudBytes.size() ? kLegacyBaudBytes[code] : std::uint8_t{0};
}

std::uint8_t legacy_baud_code(std::uint8_t wire_byte) {
    const auto it = std::find(kLegacyBaudBytes.begin(), kLegacyBaudBytes.end(), wire_byte);
    if (it == kLegacyBaudBytes.end()) return 0;
    return static_cast<std::uint8_t>(it - kLegacyBaudBytes.begin());
}

}  // namespace quorin
