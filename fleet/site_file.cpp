// The site file: reading it with every check that needs no board, writing it, and the settings a
// board is to hold; with the MAC, version and JSON string forms the other files share.
#include "fleet/site_file.h"

#include <algorithm>
#include <map>

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

// The rows a board of one model may hold, as far as they decide which values a setting may take:
// the newest firmware first, then one below the baud-table change; eight and seven data bits (the
// parity lists). A value that no row takes is one that no board of the model could take. Whether
// the window enables a field follows the board's other settings, so it is left to the board.
class ModelCheck {
  public:
    explicit ModelCheck(const std::array<std::uint8_t, 2>& code) {
        for (const auto& [major, minor] : {std::pair<int, int>{9, 99}, {1, 52}}) {
            for (const std::uint8_t bits : {1, 0}) {
                BoardRow row;
                row.product_code = code;
                row.firmware_major = static_cast<std::uint8_t>(major);
                row.firmware_minor = static_cast<std::uint8_t>(minor);
                for (ChannelBlock& ch : row.channel) ch.data_bits = bits;
                rows_.push_back(row);
            }
        }
    }

    // Empty when some row takes `setting`; otherwise the first row's refusal.
    std::string check(const SiteSetting& setting) const {
        const settings::Edit edit{setting.name, setting.value};
        std::string first;
        for (const BoardRow& row : rows_) {
            std::string error = settings::edit_error(row, edit);
            if (error.empty()) return error;
            if (first.empty()) first = std::move(error);
        }
        return first;
    }

  private:
    std::vector<BoardRow> rows_;
};

class SiteReader {
  public:
    explicit SiteReader(std::string_view text) : reader_(text) {}

    SiteFile read() {
        const auto top = reader_.members(
            reader_.root(), reader_.top(),
            {"format_version", "site", "agent", "defaults", "boards", "firmware_min"},
            {"format_version", "boards"});
        const Member& version = *detail::find(top, "format_version");
        if (const std::string v = reader_.value(version); v != std::to_string(kFormatVersion)) {
            reader_.refuse(version.at, fill(msg::kBadFormatVersion, {quoted_value(v)}));
        }
        SiteFile site;
        if (const Member* m = detail::find(top, "site")) site.name = name_text(*m);
        if (const Member* m = detail::find(top, "agent")) site.agent = name_text(*m);
        if (const Member* m = detail::find(top, "defaults")) read_defaults(*m, site);
        read_boards(*detail::find(top, "boards"), site);
        if (const Member* m = detail::find(top, "firmware_min")) read_firmware_min(*m, site);
        check_addresses(site);
        return site;
    }

  private:
    // A name for people and orchestrators: one line of printable text, not empty.
    std::string name_text(const Member& m) const {
        std::string v = reader_.value(m);
        const bool printable = std::none_of(v.begin(), v.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
        if (v.empty() || v.size() > kMaxNameBytes || !printable)
            reader_.refuse(m.at, fill(msg::kBadSiteName, {quoted_value(v)}));
        return v;
    }
    static constexpr std::size_t kMaxNameBytes = 255;

    // The check of a model's settings; refuses a name the tool does not know.
    const ModelCheck& model(const std::string& name, const Place& at) {
        const auto code = product_code_for_model(name);
        if (!code) {
            reader_.refuse(at,
                           fill(msg::kUnknownModel, {quoted_value(name), detail::model_names()}));
        }
        return checks_.try_emplace(name, *code).first->second;
    }

    // The settings under `m`, each checked against `check` (or by name only without a model).
    std::vector<SiteSetting> read_settings(const Member& m, const ModelCheck* check) {
        std::vector<SiteSetting> out;
        for (const Member& s : reader_.entries(m.node, m.at)) {
            SiteSetting setting{s.name, reader_.value(s), reader_.where(s.at)};
            if (check) {
                if (const std::string error = check->check(setting); !error.empty()) {
                    reader_.refuse(s.at, error);
                }
            } else if (const std::string error = settings::check_edit({s.name, setting.value});
                       !error.empty()) {
                reader_.refuse(s.at, error);
            }
            out.push_back(std::move(setting));
        }
        return out;
    }

    void read_defaults(const Member& defaults, SiteFile& site) {
        for (const Member& m : reader_.entries(defaults.node, defaults.at)) {
            const ModelCheck& check = model(m.name, m.at);
            site.defaults.emplace_back(m.name, read_settings(m, &check));
        }
    }

    void read_boards(const Member& boards, SiteFile& site) {
        for (const detail::Item& item : reader_.items(boards.node, boards.at)) {
            const auto members =
                reader_.members(item.node, item.at, {"mac", "model", "settings"}, {"mac"});
            SiteBoard board;
            board.where = reader_.where(item.at);
            const Member& mac = *detail::find(members, "mac");
            const std::string mac_value = reader_.value(mac);
            const auto parsed = parse_mac(mac_value);
            if (!parsed) reader_.refuse(mac.at, fill(msg::kBadMac, {quoted_value(mac_value)}));
            board.mac = *parsed;
            if (std::any_of(site.boards.begin(), site.boards.end(),
                            [&](const SiteBoard& b) { return b.mac == board.mac; })) {
                reader_.refuse(mac.at, fill(msg::kMacTwice, {mac_text(board.mac)}));
            }
            const ModelCheck* check = nullptr;
            if (const Member* m = detail::find(members, "model")) {
                board.model = reader_.value(*m);
                check = &model(board.model, m->at);
            }
            if (const Member* m = detail::find(members, "settings")) {
                board.settings = read_settings(*m, check);
            }
            site.boards.push_back(std::move(board));
        }
    }

    void read_firmware_min(const Member& firmware_min, SiteFile& site) {
        for (const Member& m : reader_.entries(firmware_min.node, firmware_min.at)) {
            model(m.name, m.at);
            std::string version = reader_.value(m);
            if (!compare_versions(version, version)) {
                reader_.refuse(m.at, fill(msg::kBadVersion, {quoted_value(version)}));
            }
            site.firmware_min.emplace_back(m.name, std::move(version));
        }
    }

    // No two boards may want the same local_ip, whether their own or their model's default.
    void check_addresses(const SiteFile& site) {
        std::map<std::string, const SiteBoard*> taken;
        const std::string first_model(product_table().front().model_name);
        for (const SiteBoard& board : site.boards) {
            for (const SiteSetting& s : wanted_settings(site, board, board.model)) {
                if (s.name != "local_ip") continue;
                // The address as the board would hold it ("010.0.0.1" is "10.0.0.1").
                std::string key = "?" + s.value;
                const auto code =
                    product_code_for_model(board.model.empty() ? first_model : board.model);
                BoardRow row;
                row.product_code = *code;
                if (const auto r = settings::apply_edits(row, {{s.name, s.value}}); r.row) {
                    key.assign("=").append(r.row->local_ip.begin(), r.row->local_ip.end());
                }
                const auto [it, fresh] = taken.emplace(std::move(key), &board);
                if (!fresh) {
                    throw detail::Refusal{
                        s.where + ": " +
                        fill(msg::kAddressTwice, {quoted_value(s.value), mac_text(it->second->mac),
                                                  mac_text(board.mac)})};
                }
            }
        }
    }

    TextReader reader_;
    std::map<std::string, ModelCheck> checks_;
};

// A name written as a YAML key: plain when it reads back as itself, else in double quotes.
void append_key(std::string& out, const std::string& name) {
    const bool plain = !name.empty() &&
                       ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z') ||
                        (name[0] >= '0' && name[0] <= '9')) &&
                       std::all_of(name.begin(), name.end(), [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                  (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.' ||
                                  c == '[' || c == ']';
                       });
    if (plain) {
        out += name;
    } else {
        append_json_string(out, name);
    }
    out += ':';
}

void append_settings(std::string& out, const std::vector<SiteSetting>& settings,
                     std::string_view indent) {
    for (const SiteSetting& s : settings) {
        out += indent;
        append_key(out, s.name);
        out += ' ';
        append_json_string(out, s.value);
        out += '\n';
    }
}

// A run of decimal digits as a number to compare: without leading zeros.
std::string_view significant(std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view{} : digits.substr(first);
}

bool version_form(std::string_view text) {
    if (text.empty() || text.front() == '.' || text.back() == '.') return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            if (text[i - 1] == '.') return false;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

ReadResult<SiteFile> read_site(std::string_view text) {
    return detail::guarded<SiteFile>([&] { return SiteReader(text).read(); });
}

std::string write_site_yaml(const SiteFile& site) {
    std::string out = "format_version: " + std::to_string(kFormatVersion) + "\n";
    for (const auto& [key, text] :
         {std::pair{"site", &site.name}, std::pair{"agent", &site.agent}}) {
        if (text->empty()) continue;
        out += std::string(key) + ": ";
        append_json_string(out, *text);
        out += '\n';
    }
    if (!site.defaults.empty()) {
        out += "defaults:\n";
        for (const auto& [model, settings] : site.defaults) {
            out += "  ";
            append_key(out, model);
            if (settings.empty()) {
                out += " {}\n";
                continue;
            }
            out += '\n';
            append_settings(out, settings, "    ");
        }
    }
    out += site.boards.empty() ? "boards: []\n" : "boards:\n";
    for (const SiteBoard& board : site.boards) {
        // Quoted: a YAML 1.1 reader (Python's, Ansible's) takes 02:51:00:02:00:00 unquoted
        // for a number in base 60.
        out += "  - mac: \"" + mac_text(board.mac) + "\"\n";
        if (!board.model.empty()) {
            out += "    model: ";
            append_json_string(out, board.model);
            out += '\n';
        }
        if (!board.settings.empty()) {
            out += "    settings:\n";
            append_settings(out, board.settings, "      ");
        }
    }
    if (!site.firmware_min.empty()) {
        out += "firmware_min:\n";
        for (const auto& [model, version] : site.firmware_min) {
            out += "  ";
            append_key(out, model);
            out += ' ';
            append_json_string(out, version);
            out += '\n';
        }
    }
    return out;
}

std::vector<SiteSetting> wanted_settings(const SiteFile& site, const SiteBoard& board,
                                         std::string_view model) {
    std::vector<SiteSetting> out;
    const auto named = [&](const SiteSetting& s) {
        return std::any_of(board.settings.begin(), board.settings.end(),
                           [&](const SiteSetting& own) { return own.name == s.name; });
    };
    for (const auto& [name, settings] : site.defaults) {
        if (model.empty() || name != model) continue;
        for (const SiteSetting& s : settings) {
            if (!named(s)) out.push_back(s);
        }
    }
    out.insert(out.end(), board.settings.begin(), board.settings.end());
    return out;
}

std::optional<Mac> parse_mac(std::string_view text) {
    if (text.size() != 17) return std::nullopt;
    const char separator = text[2];
    if (separator != ':' && separator != '-') return std::nullopt;
    Mac mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) {
        const std::size_t at = i * 3;
        if (i != 0 && text[at - 1] != separator) return std::nullopt;
        const int high = hex_digit(text[at]), low = hex_digit(text[at + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        mac[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return mac;
}

std::optional<int> compare_versions(std::string_view a, std::string_view b) {
    if (!version_form(a) || !version_form(b)) return std::nullopt;
    while (!a.empty() || !b.empty()) {
        const std::size_t end_a = std::min(a.find('.'), a.size());
        const std::size_t end_b = std::min(b.find('.'), b.size());
        const std::string_view x = significant(a.substr(0, end_a));
        const std::string_view y = significant(b.substr(0, end_b));
        if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
        if (const int c = x.compare(y); c != 0) return c < 0 ? -1 : 1;
        a.remove_prefix(std::min(end_a + 1, a.size()));
        b.remove_prefix(std::min(end_b + 1, b.size()));
    }
    return 0;
}

void append_json_string(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace quorin::fleet
