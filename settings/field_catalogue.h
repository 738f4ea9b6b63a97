// A board's settings as named fields: for each model, which fields exist, the text the window
// shows for each, its value list, whether the window lets the operator change it, and the checked
// conversion from text back into the record. Built on the display and collection rules, so the
// window and the command line read and write settings the same way. Pure C++, no I/O.
//
// Names are the record's field names; channels count from 0 as in the record, so
// "channel[0].baud_rate" is the baud rate on the window's page "Channel #1". The three trigger
// characters are "trigger_chars[0]" to "trigger_chars[2]" (edits 1047 to 1049).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/board_record.h"

namespace quorin::settings {

enum class FieldKind {
    Identity,  // who the board is: shown, never set (mac_address, product_code, model)
    ReadOnly,  // reported by the board: shown, never set (firmware, connection status)
    Hidden,    // stored from replies, never shown by the window and never set (reserved bytes)
    Address,   // "a.b.c.d"
    Choice,    // one entry of the field's list
    Flag,      // "on" or "off"
    Number,    // decimal, 0 to the field's maximum
    Text,      // up to 31 characters, one byte each
    HexByte,   // a byte as hexadecimal digits, checked as the window checks it
};

// One field of one board.
struct Field {
    std::string name;  // "local_ip", "channel[0].baud_rate"
    FieldKind kind = FieldKind::ReadOnly;
    std::string_view label;                 // the window's label for it; may be empty
    std::string value;                      // the window's text; empty when a list has no entry
    std::vector<std::string_view> choices;  // Choice: the list, in the window's order
    std::uint32_t max = 0;                  // Number: the largest value the wire carries
    bool enabled = true;                    // the window lets the operator change it here

    bool settable() const {
        return kind != FieldKind::Identity && kind != FieldKind::ReadOnly &&
               kind != FieldKind::Hidden;
    }
};

// Every field that the board's model carries on the wire and the window shows for it (channels
// beyond the model's pages are left out), in a fixed order: board-wide fields in the order the
// settings collection reads them, then each channel. Values are taken from `row`.
std::vector<Field> fields_of(const BoardRow& row);

// The name and value of every field of fields_of(row), in the same order, without the labels,
// value lists and enabling that describing a field also works out: for listing many boards.
// `visit` gets a name that is only valid during the call.
void for_each_value(
    const BoardRow& row,
    const std::function<void(std::string_view name, const std::string& value)>& visit);

// The field `name` of `row` (nullopt when the model has no such field).
std::optional<Field> field_of(const BoardRow& row, std::string_view name);

// True for a name that some model has (used to tell "unknown" from "not on this model").
bool is_known_name(std::string_view name);

// Every name that some model lets the operator set, in catalogue order: board-wide fields, then
// the channel fields of channel[0] to channel[3] (for shell completion).
std::vector<std::string> settable_field_names();

// One FIELD=VALUE edit.
struct Edit {
    std::string name;
    std::string value;
};

// The check of one edit that needs no board, so that input that can never be right is refused
// before anything is sent: the name must be a known, settable field, and the value one that the
// field's kind admits on some model that has the field: an Address a dotted quad, a Number a
// decimal up to the largest maximum the wire carries for it, a Flag on or off, a Text of at most
// 31 characters (one byte each), a Choice an entry that some model with some firmware offers
// (an empty choice is left to the board's check), a HexByte as the window checks it. Returns the
// message, or empty when the edit passes; apply_edits still checks it against the board.
std::string check_edit(const Edit& edit);

// The record that carrying out `edits` on `board` gives, or the message of the first check that
// fails. Edits are applied in catalogue order, whatever order they come in, so a list that depends
// on another field (parity on data bits) follows that field's new value. Checks, with the window's
// messages where the window has one: the name must be a field of the board's model and settable;
// the value must convert (an address, a list entry of this board, on/off, a number the wire
// carries, a text of at most 31 characters, trigger and packing characters as the window checks
// them); and a field whose value changes must be one the window enables for the resulting
// settings. Text fields are written zero-filled, so no bytes of an earlier, longer text remain.
struct EditResult {
    std::optional<BoardRow> row;  // set on success
    std::string error;            // set on failure
};
EditResult apply_edits(const BoardRow& board, const std::vector<Edit>& edits);

// The message of the first check that apply_edits makes of `edit` alone on `board`, or empty: the
// name and the value, leaving out whether the window enables the field, which follows the board's
// other settings. For checking a value before the board that is to take it is known.
std::string edit_error(const BoardRow& board, const Edit& edit);

// Fills %1, %2, ... of `pattern` with `args` in order.
std::string fill(std::string_view pattern, std::initializer_list<std::string_view> args);

// `value` in double quotes for a message: at most its first kQuotedValueChars characters (then
// "..."), each control character shown as '?', so a long or hostile value never floods a
// terminal.
inline constexpr std::size_t kQuotedValueChars = 60;
std::string quoted_value(std::string_view value);

// "Quorin712P", or the product code text for a code outside the table ("0107").
std::string model_label(const BoardRow& row);

}  // namespace quorin::settings
