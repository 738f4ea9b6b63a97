// What the readers of the site, plan and journal files share (internal to the fleet library):
// parsing a text with yaml-cpp within limits, walking its members and lists with where each one
// stands, and refusing with "WHERE: message".
#pragma once

#include <yaml-cpp/yaml.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fleet/site_file.h"

namespace quorin::fleet::detail {

// The longest text read (a site of thousands of boards stays far below it).
inline constexpr std::size_t kMaxTextBytes = 16u << 20;

// A refusal on its way out of a reader: already "WHERE: message".
struct Refusal {
    std::string message;
};

// Where a node stands: its member path (JSON) and its line (YAML, 1-based).
struct Place {
    std::string path;
    int line = 1;
};

// One member of a mapping.
struct Member {
    std::string name;
    YAML::Node node;
    Place at;
};

// One entry of a list.
struct Item {
    YAML::Node node;
    Place at;
};

// True when the first character other than white space is '{'.
bool is_json(std::string_view text);

class TextReader {
  public:
    // Parses `text`: refuses one too long, with a syntax error, empty or of several documents.
    explicit TextReader(std::string_view text);

    bool json() const { return json_; }
    const YAML::Node& root() const { return root_; }
    Place top() const { return Place{{}, root_line_}; }

    std::string where(const Place& at) const;
    [[noreturn]] void refuse(const Place& at, const std::string& what) const;

    // The members of a mapping in text order (none for an empty value); refuses anything else,
    // a name that is not a single value and a name given twice.
    std::vector<Member> entries(const YAML::Node& map, const Place& at) const;
    // entries() of a mapping whose members are the `known` ones, `required` among them.
    std::vector<Member> members(const YAML::Node& map, const Place& at,
                                std::initializer_list<std::string_view> known,
                                std::initializer_list<std::string_view> required) const;
    // The entries of a list (none for an empty value); refuses anything else.
    std::vector<Item> items(const YAML::Node& list, const Place& at) const;
    // The text of a single value; refuses a list, members or a missing value.
    std::string value(const YAML::Node& node, const Place& at) const;
    std::string value(const Member& m) const { return value(m.node, m.at); }

  private:
    bool json_ = false;
    YAML::Node root_;
    int root_line_ = 1;
};

// The model names the tool knows, comma-separated, for a refusal of an unknown one.
std::string model_names();

// The member `name` of `members`, or nullptr.
const Member* find(const std::vector<Member>& members, std::string_view name);

// Runs `read` (which may throw Refusal), turning every failure into the result's error.
template <typename T, typename F>
ReadResult<T> guarded(F&& read) {
    ReadResult<T> result;
    try {
        result.value = read();
    } catch (const Refusal& r) {
        result.error = r.message;
    } catch (const YAML::Exception& e) {
        result.error = "line " + std::to_string(e.mark.line + 1) + ": " + e.msg;
    } catch (const std::exception& e) {
        result.error = std::string("line 1: ") + e.what();
    }
    if (!result.error.empty()) result.value.reset();
    return result;
}

}  // namespace quorin::fleet::detail
