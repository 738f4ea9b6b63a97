// Named access to the fields of a board record: one table of the BoardRow fields and one of the
// ChannelBlock fields, each entry with its record name and a typed member reference. The wire
// layouts (board_wire) and the JSON form (board_json) walk these tables instead of naming every
// field again. Pure C++, no I/O.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "protocol/board_record.h"

namespace quorin::sim {

// A typed reference to one member of a record `Rec` (BoardRow or ChannelBlock).
template <class Rec>
using FieldRef =
    std::variant<std::uint8_t Rec::*, std::uint32_t Rec::*, std::array<std::uint8_t, 2> Rec::*,
                 std::array<std::uint8_t, 3> Rec::*, std::array<std::uint8_t, 4> Rec::*,
                 std::array<std::uint8_t, 6> Rec::*, std::array<std::uint8_t, 32> Rec::*>;

// How a field is written in the JSON form (and how a person reads it).
enum class FieldForm {
    Number,       // unsigned integer
    Ip,           // "192.168.1.10"
    Mac,          // "0A:1B:2C:3D:4E:5F"
    ProductCode,  // "0002"
    Text,         // characters up to the first zero byte
    Hex,          // bytes as lower-case hex pairs, "2b2b2b"
};

template <class Rec>
struct NamedField {
    std::string_view name;
    FieldRef<Rec> ref;
    FieldForm form;
};

// Every BoardRow field except the channel blocks, in record order.
std::span<const NamedField<BoardRow>> row_fields();

// Every ChannelBlock field, in record order.
std::span<const NamedField<ChannelBlock>> channel_fields();

// The bytes of an array field, or an empty span for a scalar field.
template <class Rec>
std::span<std::uint8_t> field_bytes(Rec& rec, const FieldRef<Rec>& ref) {
    return std::visit(
        [&rec](auto member) -> std::span<std::uint8_t> {
            using T = std::remove_reference_t<decltype(rec.*member)>;
            if constexpr (std::is_integral_v<T>) {
                return {};
            } else {
                return std::span<std::uint8_t>(rec.*member);
            }
        },
        ref);
}

template <class Rec>
std::span<const std::uint8_t> field_bytes(const Rec& rec, const FieldRef<Rec>& ref) {
    return field_bytes(const_cast<Rec&>(rec), ref);
}

// The value of a scalar field, or nullopt for an array field.
template <class Rec>
std::optional<std::uint32_t> field_scalar(const Rec& rec, const FieldRef<Rec>& ref) {
    return std::visit(
        [&rec](auto member) -> std::optional<std::uint32_t> {
            using T = std::remove_cvref_t<decltype(rec.*member)>;
            if constexpr (std::is_integral_v<T>) {
                return static_cast<std::uint32_t>(rec.*member);
            } else {
                return std::nullopt;
            }
        },
        ref);
}

// Stores `value` into a scalar field, keeping the bits the field holds (an 8-bit field takes the
// low 8 bits). Does nothing for an array field.
template <class Rec>
void set_field_scalar(Rec& rec, const FieldRef<Rec>& ref, std::uint32_t value) {
    std::visit(
        [&rec, value](auto member) {
            using T = std::remove_reference_t<decltype(rec.*member)>;
            if constexpr (std::is_integral_v<T>) rec.*member = static_cast<T>(value);
        },
        ref);
}

// Largest value a scalar field can hold (255 or 4294967295); 0 for an array field.
template <class Rec>
std::uint32_t field_max(const FieldRef<Rec>& ref) {
    return std::visit(
        [](auto member) -> std::uint32_t {
            using T = std::remove_cvref_t<decltype(std::declval<Rec&>().*member)>;
            if constexpr (std::is_integral_v<T>) {
                return static_cast<std::uint32_t>(std::numeric_limits<T>::max());
            } else {
                return 0;
            }
        },
        ref);
}

}  // namespace quorin::sim
