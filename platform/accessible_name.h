// Gives a control of a built dialog its accessible name (see res/accessible_names.h).
#pragma once

#include <string_view>

class QWidget;

namespace quorin::platform {

// Sets `name` as the accessible name of `control`; an empty name leaves the control as it is.
// The four fields of an address control, which take the keyboard focus in its place, are named
// after it with their position ("Local IP address octet 1" to "... octet 4"); the edit part of
// an editable combo box gets the combo box's name.
void set_accessible_name(QWidget* control, std::string_view name);

}  // namespace quorin::platform
