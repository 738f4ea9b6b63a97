#include "fleet/history.h"

#include <charconv>
#include <initializer_list>

#include "fleet/text_reader.h"
#include "res/fleet_texts.h"
#include "settings/field_catalogue.h"

namespace quorin::fleet {
namespace {

namespace msg = text::fleet;
using detail::Member;

void member(std::string& out, std::string_view name, std::string_view value) {
    out += ", ";
    append_json_string(out, name);
    out += ": ";
    append_json_string(out, value);
}

}  // namespace

std::string history_line(const HistoryEntry& e) {
    std::string out = "{\"format_version\": " + std::to_string(kFormatVersion);
    member(out, "time", e.time);
    member(out, "user", e.user);
    member(out, "host", e.host);
    member(out, "mac", e.mac);
    member(out, "model", e.model);
    member(out, "firmware_before", e.firmware_before);
    member(out, "firmware_after", e.firmware_after);
    member(out, "sha256", e.sha256);
    out += ", \"size\": " + std::to_string(e.size);
    member(out, "result", e.result);
    member(out, "message", e.message);
    out += "}\n";
    return out;
}

ReadResult<HistoryEntry> read_history_line(std::string_view line) {
    return detail::guarded<HistoryEntry>([&] {
        const detail::TextReader r(line);
        if (!r.json()) r.refuse(r.top(), std::string(msg::kNotJson));
        const std::initializer_list<std::string_view> all = {
            "format_version",  "time",           "user",   "host", "mac",    "model",
            "firmware_before", "firmware_after", "sha256", "size", "result", "message"};
        const auto top = r.members(r.root(), r.top(), all, all);
        const auto value = [&](std::string_view name) { return r.value(*detail::find(top, name)); };
        const Member& format = *detail::find(top, "format_version");
        if (const std::string v = r.value(format); v != std::to_string(kFormatVersion)) {
            r.refuse(format.at,
                     settings::fill(msg::kBadFormatVersion, {settings::quoted_value(v)}));
        }
        HistoryEntry e;
        e.time = value("time");
        e.user = value("user");
        e.host = value("host");
        e.mac = value("mac");
        e.model = value("model");
        e.firmware_before = value("firmware_before");
        e.firmware_after = value("firmware_after");
        e.sha256 = value("sha256");
        const Member& size = *detail::find(top, "size");
        const std::string digits = r.value(size);
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), e.size);
        if (error != std::errc() || end != digits.data() + digits.size()) {
            r.refuse(size.at, settings::fill(msg::kBadSize, {settings::quoted_value(digits)}));
        }
        e.result = value("result");
        e.message = value("message");
        return e;
    });
}

}  // namespace quorin::fleet
