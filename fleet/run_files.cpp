// The plan and the journal: JSON texts that record boards' settings as they were seen.
#include <algorithm>

#include "fleet/site_file.h"
#include "fleet/text_reader.h"
#include "res/cli_texts.h"
#include "res/fleet_texts.h"
#include "settings/field_catalogue.h"

namespace quorin::fleet {
namespace {

namespace msg = text::fleet;
using detail::Member;
using detail::Place;
using detail::TextReader;
using settings::fill;
using settings::quoted_value;

constexpr std::string_view kPlanKind = "plan";
constexpr std::string_view kJournalKind = "journal";

// A JSON text written line by line, two spaces a level.
class JsonWriter {
  public:
    std::string text() { return std::move(out_); }

    // `"name": ` on a new line at the current depth (no name inside a list).
    JsonWriter& name(std::string_view n) {
        next();
        if (!n.empty()) {
            append_json_string(out_, n);
            out_ += ": ";
        }
        return *this;
    }
    JsonWriter& string(std::string_view v) {
        append_json_string(out_, v);
        return *this;
    }
    JsonWriter& number(int v) {
        out_ += std::to_string(v);
        return *this;
    }
    JsonWriter& open(char bracket) {
        out_ += bracket;
        first_.push_back(true);
        return *this;
    }
    JsonWriter& close(char bracket) {
        const bool empty = first_.back();
        first_.pop_back();
        if (!empty) newline();
        out_ += bracket;
        if (first_.empty()) out_ += '\n';
        return *this;
    }
    // A member or entry of the current object or list that is a list of strings, on one line.
    JsonWriter& strings(std::string_view n, const std::vector<std::string>& values) {
        name(n);
        out_ += '[';
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i != 0) out_ += ", ";
            append_json_string(out_, values[i]);
        }
        out_ += ']';
        return *this;
    }
    // A member that is a list of objects each of whose members is a string, one object a line.
    JsonWriter& string_objects(
        std::string_view n,
        const std::vector<std::vector<std::pair<std::string_view, std::string_view>>>& objects) {
        name(n).open('[');
        for (const auto& object : objects) {
            next();
            out_ += '{';
            for (std::size_t i = 0; i < object.size(); ++i) {
                if (i != 0) out_ += ", ";
                append_json_string(out_, object[i].first);
                out_ += ": ";
                append_json_string(out_, object[i].second);
            }
            out_ += '}';
        }
        return close(']');
    }

  private:
    void next() {
        if (!first_.back()) out_ += ',';
        first_.back() = false;
        newline();
    }
    void newline() {
        out_ += '\n';
        out_.append(2 * first_.size(), ' ');
    }

    std::string out_;
    std::vector<bool> first_;
};

std::vector<std::string> mac_texts(const std::vector<Mac>& macs) {
    std::vector<std::string> out;
    for (const Mac& mac : macs) out.push_back(mac_text(mac));
    return out;
}

// The members of a board's entry that plans and journals share, left open for more.
void write_board(JsonWriter& json, const BoardSettings& board) {
    json.name("").open('{');
    json.name("mac").string(mac_text(board.mac));
    json.name("model").string(board.model);
    json.name("local_ip").string(board.local_ip);
    json.name("firmware").string(board.firmware);
    json.name("settings").open('{');
    for (const auto& [name, value] : board.values) json.name(name).string(value);
    json.close('}');
    if (!board.record.empty()) json.name("record").string(board.record);
}

void write_header(JsonWriter& json, std::string_view kind) {
    json.open('{');
    json.name("format_version").number(kFormatVersion);
    json.name("kind").string(kind);
}

class RunFileReader {
  public:
    explicit RunFileReader(std::string_view text) : reader_(text) {
        if (!reader_.json()) reader_.refuse(reader_.top(), std::string(msg::kNotJson));
    }

    // The top-level members, after the format version and the kind.
    std::vector<Member> top(std::string_view kind, std::initializer_list<std::string_view> known) {
        const auto all = reader_.entries(reader_.root(), reader_.top());
        if (const Member* v = detail::find(all, "format_version")) {
            if (const std::string t = reader_.value(*v); t != std::to_string(kFormatVersion)) {
                reader_.refuse(v->at, fill(msg::kBadFormatVersion, {quoted_value(t)}));
            }
        }
        if (const Member* k = detail::find(all, "kind")) {
            if (const std::string t = reader_.value(*k); t != kind) {
                reader_.refuse(k->at, fill(msg::kBadKind, {quoted_value(t), quoted_value(kind)}));
            }
        }
        return reader_.members(reader_.root(), reader_.top(), known, known);
    }

    std::string value(const std::vector<Member>& members, std::string_view name) const {
        return reader_.value(*detail::find(members, name));
    }

    Mac mac(const YAML::Node& node, const Place& at) const {
        const std::string text = reader_.value(node, at);
        const auto mac = parse_mac(text);
        if (!mac) reader_.refuse(at, fill(msg::kBadMac, {quoted_value(text)}));
        return *mac;
    }

    std::vector<Mac> macs(const Member& list) const {
        std::vector<Mac> out;
        for (const detail::Item& item : reader_.items(list.node, list.at)) {
            out.push_back(mac(item.node, item.at));
        }
        return out;
    }

    // Each board's entry with its members; a plan's board also has its changes.
    template <typename F>
    void boards(const Member& list, bool planned, F&& each) const {
        for (const detail::Item& item : reader_.items(list.node, list.at)) {
            const auto members =
                planned
                    ? reader_.members(
                          item.node, item.at,
                          {"mac", "model", "local_ip", "firmware", "settings", "record", "changes"},
                          {"mac", "model", "local_ip", "firmware", "settings", "changes"})
                    : reader_.members(
                          item.node, item.at,
                          {"mac", "model", "local_ip", "firmware", "settings", "record"},
                          {"mac", "model", "local_ip", "firmware", "settings"});
            BoardSettings board;
            const Member& m = *detail::find(members, "mac");
            board.mac = mac(m.node, m.at);
            board.model = value(members, "model");
            board.local_ip = value(members, "local_ip");
            board.firmware = value(members, "firmware");
            if (detail::find(members, "record") != nullptr) board.record = value(members, "record");
            const Member& settings = *detail::find(members, "settings");
            for (const Member& s : reader_.entries(settings.node, settings.at)) {
                board.values.emplace_back(field_name(s.name, s.at), reader_.value(s));
            }
            each(std::move(board), members);
        }
    }

    std::vector<Change> changes(const Member& list) const {
        std::vector<Change> out;
        for (const detail::Item& item : reader_.items(list.node, list.at)) {
            const auto members = reader_.members(item.node, item.at, {"field", "now", "wanted"},
                                                 {"field", "now", "wanted"});
            const Member& field = *detail::find(members, "field");
            out.push_back({field_name(reader_.value(field), field.at), value(members, "now"),
                           value(members, "wanted")});
        }
        return out;
    }

    const TextReader& reader() const { return reader_; }

    // A field's name as the tool writes it; refuses any other (the file was not written by the
    // tool, or has been damaged since).
    std::string field_name(std::string name, const Place& at) const {
        if (!settings::is_known_name(name)) {
            reader_.refuse(at, fill(text::cli::kUnknownField, {quoted_value(name)}));
        }
        return name;
    }

  private:
    TextReader reader_;
};

}  // namespace

std::string write_plan_json(const PlanFile& plan) {
    JsonWriter json;
    write_header(json, kPlanKind);
    json.name("site").string(plan.site);
    json.name("created").string(plan.created);
    json.name("boards").open('[');
    for (const PlannedBoard& board : plan.boards) {
        write_board(json, board.current);
        std::vector<std::vector<std::pair<std::string_view, std::string_view>>> changes;
        for (const Change& c : board.changes) {
            changes.push_back({{"field", c.field}, {"now", c.now}, {"wanted", c.wanted}});
        }
        json.string_objects("changes", changes);
        json.close('}');
    }
    json.close(']');
    json.strings("missing", mac_texts(plan.missing));
    json.strings("unlisted", mac_texts(plan.unlisted));
    json.close('}');
    return json.text();
}

ReadResult<PlanFile> read_plan(std::string_view text) {
    return detail::guarded<PlanFile>([&] {
        RunFileReader r(text);
        const auto top = r.top(kPlanKind, {"format_version", "kind", "site", "created", "boards",
                                           "missing", "unlisted"});
        PlanFile plan;
        plan.site = r.value(top, "site");
        plan.created = r.value(top, "created");
        r.boards(*detail::find(top, "boards"), true,
                 [&](BoardSettings board, const std::vector<Member>& members) {
                     plan.boards.push_back(
                         {std::move(board), r.changes(*detail::find(members, "changes"))});
                 });
        plan.missing = r.macs(*detail::find(top, "missing"));
        plan.unlisted = r.macs(*detail::find(top, "unlisted"));
        return plan;
    });
}

std::string write_journal_json(const Journal& journal) {
    JsonWriter json;
    write_header(json, kJournalKind);
    json.name("created").string(journal.created);
    json.name("command").string(journal.command);
    json.name("boards").open('[');
    for (const BoardSettings& board : journal.boards) {
        write_board(json, board);
        json.close('}');
    }
    json.close(']');
    json.close('}');
    return json.text();
}

ReadResult<Journal> read_journal(std::string_view text) {
    return detail::guarded<Journal>([&] {
        RunFileReader r(text);
        const auto top =
            r.top(kJournalKind, {"format_version", "kind", "created", "command", "boards"});
        Journal journal;
        journal.created = r.value(top, "created");
        journal.command = r.value(top, "command");
        if (journal.command != "apply" && journal.command != "rollback") {
            const Member& m = *detail::find(top, "command");
            r.reader().refuse(m.at, fill(msg::kBadCommand, {quoted_value(journal.command)}));
        }
        r.boards(*detail::find(top, "boards"), false,
                 [&](BoardSettings board, const std::vector<Member>&) {
                     journal.boards.push_back(std::move(board));
                 });
        return journal;
    });
}

bool looks_like_plan(std::string_view text) {
    // A site file of many boards takes long to read: one without the word is no plan, unread.
    if (!detail::is_json(text) || text.find("kind") == std::string_view::npos) return false;
    try {
        const TextReader reader(text);
        const YAML::Node& root = reader.root();
        if (!root.IsMap()) return false;
        for (const auto& pair : root) {
            const YAML::Node key = pair.first, value = pair.second;
            if (key.IsScalar() && key.Scalar() == "kind") {
                return value.IsScalar() && value.Scalar() == kPlanKind;
            }
        }
    } catch (...) {
        return false;
    }
    return false;
}

}  // namespace quorin::fleet
