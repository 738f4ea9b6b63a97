// What the commands of quorinctl share: text conversions, opening the engine, finding the boards
// named on the command line, and the record a request carries.
#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/board_engine.h"
#include "cli/commands.h"
#include "settings/field_catalogue.h"

namespace quorin::cli {

QString qs(std::string_view s);
QString qs(const std::string& s);

// What the user typed, for a message: in double quotes, cut short and with control characters
// shown as '?' (settings::quoted_value).
QString quoted(const QString& typed);

// The board's MAC text ("02:51:00:02:00:01").
QString mac_of(const BoardRow& row);
QHostAddress address_of(const std::array<std::uint8_t, 4>& a);

// An engine with its sockets open, or null after saying why on `io.err`. A warning (the legacy
// port held elsewhere) is said and the engine returned.
std::unique_ptr<BoardEngine> open_engine(const CommonOptions& o, Output io);

// What a search could not do and what the dispatcher reported, on `io.err`.
void print_notes(const SearchResult& r, Output io);

// Parses every board name; nullopt after saying which one is malformed.
std::optional<std::vector<BoardName>> parse_boards(const QStringList& texts, Output io);

// Searches until every board named by MAC has answered (boards named by address: the whole wait,
// so that a second board with the same address is noticed).
SearchResult search_for(BoardEngine& engine, const CommonOptions& o,
                        const std::vector<BoardName>& names);

// The boards named by `names` among those found: each resolves to exactly one board, in the
// order named; otherwise `error` says which did not.
struct Resolved {
    std::vector<FoundBoard> boards;
    QString error;
};
Resolved resolve(const SearchResult& found, const std::vector<BoardName>& names);

// Opens the engine, searches and resolves every named board, saying on `io.err` what the search
// noted. Nullopt after saying why the engine could not open or a board was not found.
struct NamedBoards {
    std::unique_ptr<BoardEngine> engine;
    std::vector<FoundBoard> boards;
};
std::optional<NamedBoards> find_named(const CommonOptions& o, const std::vector<BoardName>& names,
                                      Output io);

// A profile (what `export` writes): the model it is for and its settings, each checked as `set`
// checks an assignment. Nullopt with `error` set when the file cannot be read or is not one.
struct Profile {
    QString model;
    std::vector<settings::Edit> edits;
    bool sets_address = false;  // it names local_ip: for one board only
};
std::optional<Profile> read_profile(const QString& path, QString* error);

// The record as a request carries it: the fields the window never collects (reserved bytes,
// connection status) go out as zero, as the window sends them.
BoardRow as_request(BoardRow row);

}  // namespace quorin::cli
