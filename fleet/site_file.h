// The files of a site's configuration cycle, read and written as text: the site file (the wanted
// settings of every board, in YAML or JSON), the plan (what a comparison found, with every
// board's settings as they were seen) and the journal (what a run overwrote, for a rollback).
// Pure C++ on yaml-cpp, no Qt and no I/O: the faces read and write the files.
//
// Every refusal is a message that says where in the text it stands: "line N" for a YAML text,
// the member path ("boards[3].settings.local_ip") for a JSON text (one whose first character
// other than white space is '{'). Values are quoted in messages by quoted_value(), so a long or
// hostile value never floods a terminal.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorin::fleet {

using Mac = std::array<std::uint8_t, 6>;

inline constexpr int kFormatVersion = 1;

// One "FIELD: VALUE" of a file, with where it stands in the text.
struct SiteSetting {
    std::string name;   // as `quorinctl set` names fields: "local_ip", "channel[0].baud_rate"
    std::string value;  // as `quorinctl set` takes values
    std::string where;  // "line 12" or "defaults.Quorin712P.channel[0].baud_rate"
};

struct SiteBoard {
    Mac mac{};
    std::string model;  // empty when the file names none; otherwise checked against the board
    std::vector<SiteSetting> settings;  // the board's own, in file order
    std::string where;                  // of the board's entry
};

struct SiteFile {
    std::string name;   // the site's name (optional)
    std::string agent;  // the host that runs quorinctl at the site, for an orchestrator (optional)
    // Model name ("Quorin712P") -> the settings its boards share, in file order.
    std::vector<std::pair<std::string, std::vector<SiteSetting>>> defaults;
    std::vector<SiteBoard> boards;
    // Model name -> the lowest firmware version text the site accepts.
    std::vector<std::pair<std::string, std::string>> firmware_min;
};

template <typename T>
struct ReadResult {
    std::optional<T> value;  // set when the text was accepted
    std::string error;       // otherwise: "WHERE: what is wrong"
};

// Reads a site file. Checks that need no board: the members (format_version 1, site, agent,
// defaults, boards, firmware_min; site and agent one line of printable text each; each board's mac,
// model, settings; nothing else, no member twice), each MAC's form and no MAC twice, model names
// the tool knows, field names a model has (a board without a model: a name some model has), values
// that no board of the model could take (an address that is not one, a number beyond what the wire
// carries, a list entry the model offers on no firmware, ...), two boards given the same local_ip,
// and version texts.
ReadResult<SiteFile> read_site(std::string_view text);

// The site file as YAML, in the member order above (what `quorinctl site init` prints).
std::string write_site_yaml(const SiteFile& site);

// The same as JSON (what `quorinctl site init --json` prints): read_site accepts it.
std::string write_site_json(const SiteFile& site);

// The settings a board is to hold: the defaults of `model` overlaid by the board's own (a name
// given in both: the board's value, at the board's place). Empty when neither names any.
std::vector<SiteSetting> wanted_settings(const SiteFile& site, const SiteBoard& board,
                                         std::string_view model);

// A board's settings as a file records them: every changeable setting, by name, in catalogue order.
struct BoardSettings {
    Mac mac{};
    std::string model;
    std::string local_ip;
    std::string firmware;
    std::vector<std::pair<std::string, std::string>> values;
    // The whole record as the board reported it, in hexadecimal (its reply's bytes), so that a
    // rollback writes back exactly what was there, also a value the model's lists do not offer.
    // Empty when a file does not carry it.
    std::string record;
};

struct Change {
    std::string field;
    std::string now;
    std::string wanted;
};

struct PlannedBoard {
    BoardSettings current;        // as the plan saw the board
    std::vector<Change> changes;  // empty: the board already holds what the site wants
};

struct PlanFile {
    std::string site;     // the site file's path, as given
    std::string created;  // ISO 8601 UTC time
    std::vector<PlannedBoard> boards;
    std::vector<Mac> missing;   // in the site file, did not answer
    std::vector<Mac> unlisted;  // answered, not in the site file
};

struct Journal {
    std::string created;                // ISO 8601 UTC time
    std::string command;                // "apply" or "rollback"
    std::vector<BoardSettings> boards;  // every board the run was about to change, as it was
};

// JSON texts with "format_version": 1 and "kind": "plan" / "journal".
std::string write_plan_json(const PlanFile& plan);
ReadResult<PlanFile> read_plan(std::string_view text);
std::string write_journal_json(const Journal& journal);
ReadResult<Journal> read_journal(std::string_view text);

// True when the text reads as a plan (a JSON object whose "kind" is "plan"), so that `apply`
// can take either a site file or a plan.
bool looks_like_plan(std::string_view text);

// "02:51:00:02:00:01" or "02-51-00-02-00-01", either case; nullopt when malformed. (The other
// way is the protocol's mac_text.)
std::optional<Mac> parse_mac(std::string_view text);

// Compares firmware version texts as the window shows them ("1.5.2", "1.10"), numerically part by
// part, a missing part counting as 0: negative, zero or positive. Nullopt when either is not
// digits separated by single dots.
std::optional<int> compare_versions(std::string_view a, std::string_view b);

// Appends `text` to `out` as a JSON string (quoted; '"', '\\' and control characters escaped).
void append_json_string(std::string& out, std::string_view text);

}  // namespace quorin::fleet
