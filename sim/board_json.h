// The JSON form of boards: a board row as an object keyed by the record's field names (IPv4
// addresses and the MAC as text, product code as "0002", texts as strings, other byte fields as
// hex), fault hooks as an object, and the boards file the simulator loads.
//
// Boards file: {"boards": [BOARD, ...]} or just [BOARD, ...]. A BOARD holds "product_code"
// (required), optionally "count" (that many boards alike, default 1), any row field to override
// the product's default settings ("channel" is an array of up to four objects of channel
// fields, each overriding only what it names), and optionally "faults": {"NAME": VALUE, ...}.
// Unknown keys are errors, so that a misspelt field is not silently ignored.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/board_record.h"
#include "sim/sim_board.h"

namespace quorin::sim {

// Every field of `row`, channel blocks as the array "channel" of four objects.
QJsonObject row_to_json(const BoardRow& row);

// Names of the fields that differ between two rows ("local_ip", "channel[1].baud_rate").
QJsonArray changed_fields(const BoardRow& before, const BoardRow& after);

// Overrides the fields of `row` that `object` names; keys in `ignore` are skipped. Returns false
// with `error` set on an unknown key or a value of the wrong form or range.
bool apply_row_json(const QJsonObject& object, BoardRow& row, const QStringList& ignore,
                    QString* error);

// The hooks that are on, as {"NAME": value}; switches as true.
QJsonObject faults_to_json(const FaultConfig& faults);
bool apply_faults_json(const QJsonObject& object, FaultConfig& faults, QString* error);

// A board as the boards file writes it: its row fields plus "faults" when any hook is on.
QJsonObject board_to_json(const SimBoard& board);

// Boards described by a boards file. Board i (0-based over the whole result) gets the product's
// default settings at address board_address(net_base, first_index + i) before overrides.
std::optional<std::vector<SimBoard>> boards_from_json(const QJsonDocument& document,
                                                      const std::array<std::uint8_t, 4>& net_base,
                                                      int first_index, QString* error);

// A boards file for `boards` ({"boards": [...]}), loadable by boards_from_json.
QJsonDocument boards_to_json(const std::vector<SimBoard>& boards);

}  // namespace quorin::sim
