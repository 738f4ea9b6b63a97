#include "fleet/text_reader.h"

#include <algorithm>

#include "res/fleet_texts.h"
#include "settings/field_catalogue.h"

namespace quorin::fleet::detail {
namespace {

namespace msg = text::fleet;
using settings::fill;
using settings::quoted_value;

int line_of(const YAML::Node& node, int fallback) {
    const int line = node.Mark().line;
    return line < 0 ? fallback : line + 1;
}

// A name as a part of a member path: as it is when it reads plainly, else quoted.
std::string path_part(const std::string& name) {
    const bool plain = !name.empty() && name.size() <= settings::kQuotedValueChars &&
                       std::all_of(name.begin(), name.end(), [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                  (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.' ||
                                  c == '[' || c == ']';
                       });
    return plain ? name : quoted_value(name);
}

std::string join_names(std::initializer_list<std::string_view> names) {
    std::string out;
    for (std::string_view n : names) {
        if (!out.empty()) out += ", ";
        out += n;
    }
    return out;
}

}  // namespace

bool is_json(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

TextReader::TextReader(std::string_view text) : json_(is_json(text)) {
    if (text.size() > kMaxTextBytes) {
        refuse(top(), fill(msg::kTextTooLong, {std::to_string(kMaxTextBytes)}));
    }
    std::vector<YAML::Node> documents;
    try {
        documents = YAML::LoadAll(std::string(text));
    } catch (const YAML::Exception& e) {
        throw Refusal{fill(msg::kLine, {std::to_string(std::max(e.mark.line, 0) + 1)}) + ": " +
                      e.msg};
    }
    if (documents.empty()) refuse(top(), std::string(msg::kTextEmpty));
    if (documents.size() > 1) {
        refuse(Place{{}, line_of(documents[1], 1)}, std::string(msg::kSeveralDocuments));
    }
    root_ = documents.front();
    root_line_ = line_of(root_, 1);
}

std::string TextReader::where(const Place& at) const {
    if (json_) return at.path.empty() ? std::string(msg::kTopLevel) : at.path;
    return fill(msg::kLine, {std::to_string(at.line)});
}

void TextReader::refuse(const Place& at, const std::string& what) const {
    throw Refusal{where(at) + ": " + what};
}

std::vector<Member> TextReader::entries(const YAML::Node& map, const Place& at) const {
    std::vector<Member> out;
    if (map.IsNull()) return out;
    if (!map.IsMap()) refuse(at, std::string(msg::kNotMapping));
    for (const auto& pair : map) {
        const YAML::Node key = pair.first;
        const Place place{{}, line_of(key, at.line)};
        if (!key.IsScalar()) refuse(place, std::string(msg::kBadMemberName));
        Member m{key.Scalar(), pair.second, place};
        const std::string part = path_part(m.name);
        m.at.path = at.path.empty() ? part : at.path + "." + part;
        if (find(out, m.name)) refuse(m.at, fill(msg::kMemberTwice, {quoted_value(m.name)}));
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<Member> TextReader::members(const YAML::Node& map, const Place& at,
                                        std::initializer_list<std::string_view> known,
                                        std::initializer_list<std::string_view> required) const {
    if (map.IsNull()) refuse(at, std::string(msg::kNotMapping));
    std::vector<Member> out = entries(map, at);
    for (const Member& m : out) {
        if (std::find(known.begin(), known.end(), m.name) == known.end()) {
            refuse(m.at, fill(msg::kUnknownMember, {quoted_value(m.name), join_names(known)}));
        }
    }
    for (std::string_view name : required) {
        if (!find(out, name)) {
            refuse(at, fill(msg::kMemberMissing, {quoted_value(name)}));
        }
    }
    return out;
}

std::vector<Item> TextReader::items(const YAML::Node& list, const Place& at) const {
    std::vector<Item> out;
    if (list.IsNull()) return out;
    if (!list.IsSequence()) refuse(at, std::string(msg::kNotList));
    std::size_t index = 0;
    for (const YAML::Node& node : list) {
        out.push_back(Item{
            node, Place{at.path + "[" + std::to_string(index++) + "]", line_of(node, at.line)}});
    }
    return out;
}

std::string TextReader::value(const YAML::Node& node, const Place& at) const {
    if (node.IsNull()) refuse(at, std::string(msg::kValueMissing));
    if (!node.IsScalar()) refuse(at, std::string(msg::kNotValue));
    return node.Scalar();
}

const Member* find(const std::vector<Member>& members, std::string_view name) {
    const auto it = std::find_if(members.begin(), members.end(),
                                 [name](const Member& m) { return m.name == name; });
    return it == members.end() ? nullptr : &*it;
}

}  // namespace quorin::fleet::detail
