// The site file written as JSON.
#include "fleet/site_file.h"
#include "protocol/board_record.h"

namespace quorin::fleet {
namespace {

void settings_object(std::string& out, const std::vector<SiteSetting>& settings,
                     std::string_view indent) {
    out += "{";
    for (std::size_t i = 0; i < settings.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += indent;
        out += "  ";
        append_json_string(out, settings[i].name);
        out += ": ";
        append_json_string(out, settings[i].value);
    }
    if (!settings.empty()) {
        out += "\n";
        out += indent;
    }
    out += "}";
}

}  // namespace

std::string write_site_json(const SiteFile& site) {
    std::string out = "{\n  \"format_version\": 1,\n";
    for (const auto& [key, text] :
         {std::pair{"site", &site.name}, std::pair{"agent", &site.agent}}) {
        if (text->empty()) continue;
        out += std::string("  \"") + key + "\": ";
        append_json_string(out, *text);
        out += ",\n";
    }
    out += "  \"defaults\": {";
    for (std::size_t i = 0; i < site.defaults.size(); ++i) {
        out += i == 0 ? "\n    " : ",\n    ";
        append_json_string(out, site.defaults[i].first);
        out += ": ";
        settings_object(out, site.defaults[i].second, "    ");
    }
    out += site.defaults.empty() ? "},\n" : "\n  },\n";
    out += "  \"boards\": [";
    for (std::size_t i = 0; i < site.boards.size(); ++i) {
        const SiteBoard& b = site.boards[i];
        out += i == 0 ? "\n    {\"mac\": " : ",\n    {\"mac\": ";
        append_json_string(out, mac_text(b.mac));
        if (!b.model.empty()) {
            out += ", \"model\": ";
            append_json_string(out, b.model);
        }
        out += ", \"settings\": ";
        settings_object(out, b.settings, "    ");
        out += "}";
    }
    out += site.boards.empty() ? "]" : "\n  ]";
    if (!site.firmware_min.empty()) {
        out += ",\n  \"firmware_min\": {";
        for (std::size_t i = 0; i < site.firmware_min.size(); ++i) {
            out += i == 0 ? "" : ", ";
            append_json_string(out, site.firmware_min[i].first);
            out += ": ";
            append_json_string(out, site.firmware_min[i].second);
        }
        out += "}";
    }
    out += "\n}\n";
    return out;
}

}  // namespace quorin::fleet
