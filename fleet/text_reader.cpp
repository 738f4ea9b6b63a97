#include "fleet/text_reader.h"

#include <algorithm>
#include <sstream>

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/parser.h>

#include "protocol/board_record.h"
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

// Notes the line of a second document: of its first node, else of its start.
class DocumentStarts : public YAML::EventHandler {
  public:
    int second_line = 1;

    void OnDocumentStart(const YAML::Mark& mark) override {
        if (++started_ == 2) second_line = line(mark);
    }
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark& mark, YAML::anchor_t) override { node(mark); }
    void OnAlias(const YAML::Mark& mark, YAML::anchor_t) override { node(mark); }
    void OnScalar(const YAML::Mark& mark, const std::string&, YAML::anchor_t,
                  const std::string&) override {
        node(mark);
    }
    void OnSequenceStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t,
                         YAML::EmitterStyle::value) override {
        node(mark);
    }
    void OnSequenceEnd() override {}
    void OnMapStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t,
                    YAML::EmitterStyle::value) override {
        node(mark);
    }
    void OnMapEnd() override {}

  private:
    static int line(const YAML::Mark& mark) { return std::max(mark.line, 0) + 1; }
    void node(const YAML::Mark& mark) {
        if (started_ == 2 && !noted_) second_line = line(mark);
        noted_ = noted_ || started_ == 2;
    }
    int started_ = 0;
    bool noted_ = false;
};

}  // namespace

std::string model_names() {
    std::string out;
    for (const ProductInfo& p : product_table()) {
        if (!out.empty()) out += ", ";
        out += p.model_name;
    }
    return out;
}

bool is_json(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

TextReader::TextReader(std::string_view text) : json_(is_json(text)) {
    if (text.size() > kMaxTextBytes) {
        refuse(top(), fill(msg::kTextTooLong, {std::to_string(kMaxTextBytes)}));
    }
    const std::string whole(text);
    int documents = 0;
    try {
        // Counted first, and no further than a second: yaml-cpp 0.7 reads a node followed by a
        // stray ',' ("{},") as endless empty documents, so its LoadAll never returns.
        std::istringstream stream(whole);
        YAML::Parser parser(stream);
        DocumentStarts starts;
        while (documents < 2 && parser.HandleNextDocument(starts)) ++documents;
        if (documents > 1)
            refuse(Place{{}, starts.second_line}, std::string(msg::kSeveralDocuments));
        if (documents == 1) root_ = YAML::Load(whole);
    } catch (const YAML::Exception& e) {
        // yaml-cpp's message may carry the offending byte itself ("unknown escape character").
        std::string what = e.msg;
        std::replace_if(
            what.begin(), what.end(),
            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, '?');
        throw Refusal{fill(msg::kLine, {std::to_string(std::max(e.mark.line, 0) + 1)}) + ": " +
                      what};
    }
    if (documents == 0) refuse(top(), std::string(msg::kTextEmpty));
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
