// Accessible names of the dialogs' controls: what a screen reader announces for a control, and
// how a test driving the window through the accessibility interface tells the controls apart.
// Every edit, combo box, address control and list gets one, built from the label next to it (with
// the channel page for the page's controls). Radios and check boxes of the channel pages get
// their caption with the page, since the four pages repeat the same captions; other buttons,
// radios and check boxes are named by their own caption.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorin::res {

struct AccessibleName {
    int dialog;  // template identifier (IDD_...)
    int control;
    std::string name;
};

// The whole table.
const std::vector<AccessibleName>& accessible_names();

// The name of a control of a dialog template; empty when the control keeps its own caption.
std::string_view accessible_name(int dialog, int control);

}  // namespace quorin::res
