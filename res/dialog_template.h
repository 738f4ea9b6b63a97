// Dialog templates as data: every control with its identifier, kind, text, style and rectangle
// in dialog units. The platform layer's builder turns a template into widgets.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace quorin::res {

enum class ControlKind {
    Static,        // plain label
    SunkenStatic,  // label with a sunken frame (connection status)
    GroupBox,
    Edit,
    ListBox,
    ComboBox,  // drop-down whose text can be typed in
    PushButton,
    DefPushButton,
    RadioButton,  // automatic radio; a radio with Group starts a new exclusive choice
    CheckBox,
    IpAddress,  // four-field IPv4 entry
    Tab,
    Progress,
    Icon,  // shows the window icon (about box)
};

// Style bits of a control, in the template's sense.
enum Style : std::uint32_t {
    kNone = 0,
    kHidden = 1u << 0,    // created not visible
    kDisabled = 1u << 1,  // created disabled
    kTabStop = 1u << 2,
    kGroup = 1u << 3,  // first control of a group (radio choices)
    kReadOnly = 1u << 4,
    kMultiline = 1u << 5,
    kVScroll = 1u << 6,
    kSorted = 1u << 7,  // list box style; items are still inserted at the end
    kNotify = 1u << 8,
};

inline constexpr int kNoId = -1;  // labels and group boxes without an identifier

struct ControlTemplate {
    int id = kNoId;
    ControlKind kind = ControlKind::Static;
    std::string_view text;
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    std::uint32_t style = kNone;
    // Channel page (1..4) the control belongs to, 0 for none. Informational: page visibility is
    // driven by the identifier lists in resource_ids.h.
    int page = 0;
};

struct DialogTemplate {
    int id = 0;
    std::string_view caption;
    std::string_view font_family;
    int font_points = 8;
    int width = 0, height = 0;  // dialog units
    bool system_menu = true;
    bool minimize_box = false;
    std::vector<ControlTemplate> controls;
};

// Templates 100 (about box), 102 (main window) and 129 (log window).
const DialogTemplate& about_template();
const DialogTemplate& main_template();
const DialogTemplate& log_template();

// The string table (101, 103); an empty view for an unknown identifier.
std::string_view load_string(int id);

}  // namespace quorin::res
