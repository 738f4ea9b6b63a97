// Acting as the user on a dialog without real mouse or key events: each function changes the
// control as the user's action would and runs the handlers that action runs, also while the
// window is hidden or inactive. Tests that need focus, visibility and enabled state to play their
// part send real input instead (tests/ui/user_input.h).
#pragma once

#include <QString>

namespace quorin::platform {
class Dialog;
}

namespace quorin::testing {

// As a mouse click on a button, check box or radio; a disabled one ignores it, as it ignores the
// mouse.
void click(platform::Dialog& dialog, int id);
// The user picks entry `index` of a combo box, list box or tab control; an index outside the
// entries does nothing.
void simulate_select(platform::Dialog& dialog, int id, int index);
// The control receives the input focus: its focus handler runs once, whether or not it had the
// focus already.
void simulate_focus(platform::Dialog& dialog, int id);
// The user replaces the text of an edit, of a combo box's edit field or of an address control.
void simulate_type(platform::Dialog& dialog, int id, const QString& text);

}  // namespace quorin::testing
