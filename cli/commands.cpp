#include "cli/commands.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "cli/board_engine.h"
#include "cli/command_support.h"
#include "cli/json_out.h"
#include "cli/table_out.h"
#include "protocol/record_codec.h"
#include "res/cli_texts.h"
#include "res/texts.h"
#include "settings/collection_rules.h"
#include "settings/field_catalogue.h"

namespace quorin::cli {
namespace {

namespace T = text::cli;
using settings::Field;
using settings::FieldKind;

QString protocol_of(const BoardRow& row) {
    return uses_legacy_protocol(row.product_code) ? QStringLiteral("legacy")
                                                  : QStringLiteral("main");
}

// Prints FIELD: old -> new for each edited field of a board.
void print_plan(QTextStream& out, const BoardRow& before, const BoardRow& after,
                const std::vector<settings::Edit>& edits) {
    for (const settings::Edit& e : edits) {
        const auto was = settings::field_of(before, e.name);
        const auto will = settings::field_of(after, e.name);
        out << mac_of(before) << "  " << qs(e.name) << ": " << qs(was ? was->value : "") << " -> "
            << qs(will ? will->value : "") << '\n';
    }
}

// Fields of `expected` named in `edits` that `actual` does not hold.
QStringList mismatches(const BoardRow& expected, const BoardRow& actual,
                       const std::vector<settings::Edit>& edits) {
    QStringList out;
    for (const settings::Edit& e : edits) {
        const auto want = settings::field_of(expected, e.name);
        const auto got = settings::field_of(actual, e.name);
        if (!want || !got || want->value != got->value) {
            out << qs(T::kMismatch)
                       .arg(qs(e.name), qs(got ? got->value : ""), qs(want ? want->value : ""));
        }
    }
    return out;
}

// Sets each board to its planned record, searches again and reports per board. Returns the exit
// status: 0 only when every board holds every field asked.
int write_and_verify(BoardEngine& engine, const CommonOptions& o,
                     const std::vector<FoundBoard>& boards, const std::vector<BoardRow>& planned,
                     const std::vector<settings::Edit>& edits, bool per_field, Output io) {
    std::vector<bool> replied;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        replied.push_back(engine.set(boards[i], planned[i], o.wait_ms));
    }
    const SearchResult after = engine.search(o.wait_ms, [&](const std::vector<FoundBoard>& found) {
        return std::all_of(boards.begin(), boards.end(), [&](const FoundBoard& b) {
            return std::any_of(found.begin(), found.end(), [&](const FoundBoard& f) {
                return f.row.mac_address == b.row.mac_address;
            });
        });
    });
    print_notes(after, io);
    int status = kExitOk;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        const QString mac = mac_of(boards[i].row);
        const FoundBoard* now = nullptr;
        for (const FoundBoard& f : after.boards) {
            if (f.row.mac_address == boards[i].row.mac_address) now = &f;
        }
        QStringList problems;
        if (!replied[i]) problems << qs(T::kNoSetReply).arg(o.wait_ms);
        if (now == nullptr) {
            problems << qs(T::kNoAnswerAfterSet);
        } else {
            problems << mismatches(planned[i], now->row, edits);
            if (per_field) {
                for (const settings::Edit& e : edits) {
                    const auto got = settings::field_of(now->row, e.name);
                    io.out << mac << "  " << qs(e.name) << " = " << qs(got ? got->value : "")
                           << '\n';
                }
            }
        }
        if (problems.isEmpty()) {
            io.out << qs(T::kBoardVerified).arg(mac).arg(edits.size()) << '\n';
        } else {
            io.out << qs(T::kBoardFailed).arg(mac, problems.join(QStringLiteral("; "))) << '\n';
            status = kExitFailure;
        }
    }
    return status;
}

std::optional<std::vector<settings::Edit>> parse_assignments(const QStringList& assignments,
                                                             Output io) {
    std::vector<settings::Edit> edits;
    for (const QString& a : assignments) {
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            io.err << "quorinctl: " << qs(T::kBadAssignment).arg(quoted(a)) << '\n';
            return std::nullopt;
        }
        settings::Edit e{a.left(eq).toStdString(), a.mid(eq + 1).toStdString()};
        if (const std::string error = settings::check_edit(e); !error.empty()) {
            io.err << "quorinctl: " << qs(error) << '\n';
            return std::nullopt;
        }
        edits.push_back(std::move(e));
    }
    return edits;
}

// One board of `search --json`: where it answered, then each field the model shows, in
// catalogue order.
void write_record_json(JsonOut& json, const FoundBoard& b) {
    json.raw("        {\n            \"interface\": ");
    json.string(b.interface.toStdString());
    json.raw(",\n            \"protocol\": ");
    json.string(protocol_of(b.row).toStdString());
    settings::for_each_value(b.row, [&](std::string_view name, const std::string& value) {
        json.raw(",\n            ");
        json.string(name);
        json.raw(": ");
        json.string(value);
    });
    json.raw("\n        }");
}

QJsonObject record_json(const FoundBoard& b) {
    QJsonObject o;
    o.insert(QStringLiteral("interface"), b.interface);
    o.insert(QStringLiteral("protocol"), protocol_of(b.row));
    for (const Field& f : settings::fields_of(b.row)) o.insert(qs(f.name), qs(f.value));
    return o;
}

QString kind_name(FieldKind kind) {
    switch (kind) {
        case FieldKind::Identity:
            return QStringLiteral("identity");
        case FieldKind::ReadOnly:
            return QStringLiteral("read-only");
        case FieldKind::Hidden:
            return QStringLiteral("hidden");
        case FieldKind::Address:
            return QStringLiteral("address");
        case FieldKind::Choice:
            return QStringLiteral("choice");
        case FieldKind::Flag:
            return QStringLiteral("flag");
        case FieldKind::Number:
            return QStringLiteral("number");
        case FieldKind::Text:
            return QStringLiteral("text");
        case FieldKind::HexByte:
            return QStringLiteral("hex");
    }
    return {};
}

// Looks up the one board of `text`: the exit status when that fails.
struct OneBoard {
    std::unique_ptr<BoardEngine> engine;
    FoundBoard board;
    int status = kExitOk;
};
OneBoard find_one(const CommonOptions& o, const QString& text, Output io) {
    OneBoard r;
    const auto names = parse_boards({text}, io);
    if (!names) {
        r.status = kExitUsage;
        return r;
    }
    auto named = find_named(o, *names, io);
    if (!named) {
        r.status = kExitFailure;
        return r;
    }
    r.engine = std::move(named->engine);
    r.board = named->boards.front();
    return r;
}

}  // namespace

std::optional<BoardName> parse_board(const QString& text) {
    static const QRegularExpression mac(
        QStringLiteral("^([0-9A-Fa-f]{2})[:-]([0-9A-Fa-f]{2})[:-]([0-9A-Fa-f]{2})[:-]"
                       "([0-9A-Fa-f]{2})[:-]([0-9A-Fa-f]{2})[:-]([0-9A-Fa-f]{2})$"));
    BoardName name;
    name.text = text;
    if (const auto m = mac.match(text); m.hasMatch()) {
        std::array<std::uint8_t, 6> bytes{};
        for (int i = 0; i < 6; ++i) {
            bytes[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(m.captured(i + 1).toUInt(nullptr, 16));
        }
        name.mac = bytes;
        return name;
    }
    static const QRegularExpression ipv4(
        QStringLiteral("^(25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)(\\.(25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?"
                       "\\d)){3}$"));
    if (ipv4.match(text).hasMatch()) {
        name.ip = QHostAddress(text);
        return name;
    }
    return std::nullopt;
}

int search_command(const CommonOptions& o, OutputFormat format, Output io) {
    auto engine = open_engine(o, io);
    if (!engine) return kExitFailure;
    const SearchResult r = engine->search(o.wait_ms, [&](const std::vector<FoundBoard>& boards) {
        return o.expect > 0 && static_cast<int>(boards.size()) >= o.expect;
    });
    print_notes(r, io);
    if (format == OutputFormat::Json) {
        // Written as it is made, fields in catalogue order: thousands of records of about 100
        // fields each would spend most of the command's time in a JSON document's sorted inserts.
        JsonOut out(io.out);
        out.raw("{\n    \"format_version\": 1,\n    \"boards\": [");
        for (std::size_t i = 0; i < r.boards.size(); ++i) {
            out.raw(i == 0 ? "\n" : ",\n");
            write_record_json(out, r.boards[i]);
        }
        out.raw(r.boards.empty() ? "]\n}\n" : "\n    ]\n}\n");
    } else {
        std::vector<QStringList> rows{
            {"MAC", "MODEL", "IP ADDRESS", "MASK", "GATEWAY", "FIRMWARE", "IP MODE", "INTERFACE"}};
        for (const FoundBoard& b : r.boards) {
            const auto v = [&](const char* name) {
                const auto f = settings::field_of(b.row, name);
                return f ? qs(f->value) : QString();
            };
            rows.push_back({v("mac_address"), qs(settings::model_label(b.row)), v("local_ip"),
                            v("subnet_mask"), v("gateway_ip"), v("firmware_version"), v("ip_mode"),
                            b.interface});
        }
        print_rows(io.out, format, rows, stdout_styling());
    }
    if (r.boards.empty()) io.err << qs(T::kNoBoards) << '\n';
    return kExitOk;
}

int show_command(const CommonOptions& o, const QString& board, bool json, Output io) {
    const OneBoard one = find_one(o, board, io);
    if (one.status != kExitOk) return one.status;
    const BoardRow& row = one.board.row;
    const std::vector<Field> fields = settings::fields_of(row);
    if (json) {
        QJsonObject doc = record_json(one.board);
        QJsonArray list;
        for (const Field& f : fields) {
            QJsonObject j;
            j.insert(QStringLiteral("name"), qs(f.name));
            j.insert(QStringLiteral("label"), qs(f.label));
            j.insert(QStringLiteral("kind"), kind_name(f.kind));
            j.insert(QStringLiteral("value"), qs(f.value));
            if (!f.choices.empty()) {
                QJsonArray choices;
                for (std::string_view c : f.choices) choices.append(qs(c));
                j.insert(QStringLiteral("choices"), choices);
            }
            if (f.kind == FieldKind::Number) j.insert(QStringLiteral("max"), double(f.max));
            j.insert(QStringLiteral("settable"), f.settable());
            j.insert(QStringLiteral("enabled"), f.enabled);
            list.append(j);
        }
        io.out << QJsonDocument(
                      QJsonObject{{QStringLiteral("board"), doc}, {QStringLiteral("fields"), list}})
                      .toJson(QJsonDocument::Indented);
        return kExitOk;
    }
    io.out << qs(T::kShowHeading)
                  .arg(mac_of(row), qs(settings::model_label(row)),
                       qs(settings::field_of(row, "firmware_version")->value), one.board.interface,
                       protocol_of(row))
           << '\n';
    std::vector<QStringList> rows;
    for (const Field& f : fields) {
        if (f.kind == FieldKind::Hidden) continue;
        QString note;
        if (!f.settable()) {
            note = qs(T::kNoteReadOnly);
        } else if (!f.enabled) {
            note = qs(T::kNoteDisabled);
        }
        QStringList choices;
        for (std::string_view c : f.choices) choices << qs(c);
        QString values = choices.join(QStringLiteral(" | "));
        if (f.kind == FieldKind::Number) values = QStringLiteral("0..%1").arg(f.max);
        if (f.kind == FieldKind::Flag) values = QStringLiteral("on | off");
        rows.push_back({qs(f.name), qs(f.label),
                        f.value.empty() ? QStringLiteral("-") : qs(f.value), note, values});
    }
    print_table(io.out, rows);
    return kExitOk;
}

int set_command(const CommonOptions& o, const QString& board, const QStringList& assignments,
                bool dry_run, Output io) {
    if (!parse_board(board)) {
        io.err << "quorinctl: " << qs(T::kBadBoard).arg(quoted(board)) << '\n';
        return kExitUsage;
    }
    const auto edits = parse_assignments(assignments, io);
    if (!edits) return kExitUsage;
    OneBoard one = find_one(o, board, io);
    if (one.status != kExitOk) return one.status;
    const auto result = settings::apply_edits(one.board.row, *edits);
    if (!result.row) {
        io.err << "quorinctl: " << qs(result.error) << '\n';
        return kExitUsage;
    }
    print_plan(io.out, one.board.row, *result.row, *edits);
    if (dry_run) {
        io.err << qs(T::kDryRun) << '\n';
        return kExitOk;
    }
    return write_and_verify(*one.engine, o, {one.board}, {as_request(*result.row)}, *edits, true,
                            io);
}

int export_command(const CommonOptions& o, const QString& board, Output io) {
    const OneBoard one = find_one(o, board, io);
    if (one.status != kExitOk) return one.status;
    QJsonObject values;
    for (const Field& f : settings::fields_of(one.board.row)) {
        if (f.settable() && f.enabled && f.name != "local_ip")
            values.insert(qs(f.name), qs(f.value));
    }
    const QJsonObject profile{{QStringLiteral("model"), qs(settings::model_label(one.board.row))},
                              {QStringLiteral("settings"), values}};
    io.out << QJsonDocument(profile).toJson(QJsonDocument::Indented);
    return kExitOk;
}

int apply_command(const CommonOptions& o, const QString& profile_path, const QStringList& boards,
                  bool dry_run, Output io) {
    const auto fail = [&](const QString& message) {
        io.err << "quorinctl: " << message << '\n';
        return kExitUsage;
    };
    // The profile and the board names are checked before anything goes on the wire.
    QString error;
    const std::optional<Profile> profile = read_profile(profile_path, &error);
    if (!profile) return fail(error);
    const std::vector<settings::Edit>& edits = profile->edits;
    if (boards.size() > 1 && profile->sets_address) return fail(qs(T::kProfileAddressForMany));
    const auto names = parse_boards(boards, io);
    if (!names) return kExitUsage;

    const auto resolved = find_named(o, *names, io);
    if (!resolved) return kExitFailure;
    auto& engine = resolved->engine;
    // Every board is checked before the first set request leaves.
    std::vector<BoardRow> planned;
    for (const FoundBoard& b : resolved->boards) {
        const QString board_model = qs(settings::model_label(b.row));
        if (board_model != profile->model) {
            return fail(qs(T::kProfileOtherModel).arg(profile->model, mac_of(b.row), board_model));
        }
        const auto result = settings::apply_edits(b.row, edits);
        if (!result.row) return fail(mac_of(b.row) + QStringLiteral(": ") + qs(result.error));
        planned.push_back(as_request(*result.row));
    }
    if (dry_run) {
        for (std::size_t i = 0; i < planned.size(); ++i) {
            print_plan(io.out, resolved->boards[i].row, planned[i], edits);
        }
        io.err << qs(T::kDryRun) << '\n';
        return kExitOk;
    }
    return write_and_verify(*engine, o, resolved->boards, planned, edits, false, io);
}

}  // namespace quorin::cli
