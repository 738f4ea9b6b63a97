// A dialog built from a template of res/ and the control operations that the window logic uses,
// all by control identifier.
//
// Programmatic operations never raise notifications (as on the original platform, where setting
// a selection or a check mark sends no notification); only user actions do.
//
// dialog_builder.cpp makes the widgets from the template, dialog_controls.cpp holds the
// operations by identifier and dialog_routing.cpp carries the user's input to the handlers.
#pragma once

#include <QDialog>
#include <QFont>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string_view>
#include <vector>

#include "res/dialog_template.h"

namespace quorin::platform {

// Dialog base units of a font: the average width of the 52 letters a-z A-Z (rounded) and the
// font height, as the original platform measures them.
struct BaseUnits {
    int x;
    int y;
};

class Dialog : public QDialog {
    Q_OBJECT
  public:
    explicit Dialog(const res::DialogTemplate& tmpl, QWidget* parent = nullptr);
    ~Dialog() override;

    const res::DialogTemplate& dialogTemplate() const { return tmpl_; }

    // The control operations below reuse the names show and isEnabled; the window's own stay
    // available.
    using QDialog::isEnabled;
    using QDialog::show;

    // The widget of a control, or nullptr for an unknown identifier.
    QWidget* control(int id) const;
    bool hasControl(int id) const { return control(id) != nullptr; }

    // Text of edits, labels, buttons, check boxes, radios and group boxes; the edit text of a
    // combo box; the dotted text ("a.b.c.d", blank fields empty) of an IP address control.
    void setText(int id, const QString& text);
    QString text(int id) const;

    void enable(int id, bool enabled);
    bool isEnabled(int id) const;

    // Shows or hides a control (its own visibility flag, independent of the dialog's).
    void show(int id, bool visible);
    bool isShown(int id) const;

    // Check boxes and radio buttons. Setting a radio touches no other radio of its choice.
    void setCheck(int id, bool checked);
    bool isChecked(int id) const;

    // Combo boxes. An index outside the list leaves the combo with no selection (-1).
    void comboReset(int id);
    void comboAdd(int id, const QString& text);
    void comboFill(int id, const QStringList& entries);
    void comboSetCurSel(int id, int index);
    int comboCurSel(int id) const;  // -1 when nothing is selected
    QStringList comboItems(int id) const;

    // List boxes. Entries are appended at the end and never sorted.
    void listReset(int id);
    void listAppend(int id, const QString& text);
    bool listSetCurSel(int id, int index);  // false (the list refuses) when index is out of range
    int listCurSel(int id) const;           // -1 when nothing is selected
    int listCount(int id) const;
    QString listItem(int id, int index) const;
    QStringList listItems(int id) const;
    // Removes `count` entries from `first` on (those that exist); the selection of the entries
    // left stays as it was.
    void listDelete(int id, int first, int count = 1);
    // Replaces the text of an existing entry.
    void listSetItemText(int id, int index, const QString& text);

    // Tab control.
    void tabDeleteAll(int id);
    void tabInsert(int id, int position, const QString& text);
    int tabCurSel(int id) const;
    void tabSetCurSel(int id, int index);
    int tabCount(int id) const;
    QStringList tabTexts(int id) const;

    // IP address control: the four fields, first field first; a blank field gives 0.
    std::array<std::uint8_t, 4> ipAddress(int id) const;

    // Progress bar.
    void progressSetRange(int id, int lower, int upper);
    void progressSetPos(int id, int pos);
    void progressSetStep(int id, int step);
    void progressStep(int id);
    int progressPos(int id) const;

    // Keyboard focus.
    void setFocusTo(int id);
    int focusedId() const;  // -1 when no control of this dialog has the focus

    // Notification handlers, one per control and kind. Handlers run only on user actions.
    void onClicked(int id, std::function<void()> handler);    // buttons, checks, radios
    void onSelChange(int id, std::function<void()> handler);  // combo, list, tab
    void onSetFocus(int id, std::function<void()> handler);   // control receives focus
    // One handler for every user change of what a control holds, with the control's identifier:
    // typing into an edit, combo or address field, picking a combo, list or tab entry, clicking a
    // check box or radio. Push buttons are commands, not changes. It runs before the control's
    // own handler.
    void onUserChange(std::function<void(int id)> handler) { userChange_ = std::move(handler); }

    // A user action on control `id` that reaches the dialog from outside the control's widget
    // (something acting for the user, such as an automation interface): runs the handlers that
    // the same action on the widget runs. Clicks and selections need no entry of their own: the
    // widget's click and selection signals carry them.
    enum class UserAction {
        Change,  // the user changed what the control holds: the user-change handler
        Focus,   // the control received the focus: its set-focus handler
    };
    void notifyUserAction(int id, UserAction action);

    // Dialog units to pixels with this dialog's font.
    QRect mapDialogRect(int x, int y, int width, int height) const;
    BaseUnits baseUnits() const { return {baseX_, baseY_}; }

    // The command a control sends to the dialog, whatever the control's state: runs the control's
    // click handler; without one, IDOK accepts and IDCANCEL rejects the dialog. It is also what
    // Enter (the focused button, else the default button, else IDOK) and Escape (IDCANCEL) send.
    // For hidden or disabled controls, which the user cannot click, and for tests.
    void sendCommand(int id);

    // Identifiers of the controls, in template order (controls without identifier excluded).
    std::vector<int> controlIds() const;
    // Index of the exclusive choice a radio belongs to; -1 for anything else.
    int radioChoice(int id) const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void build();
    QWidget* createControl(const res::ControlTemplate& c);
    void handleUserClick(int id);
    // An arrow key on radio `id`: moves to the next (step +1) or previous (-1) radio of its
    // choice that is enabled and shown, checks it and notifies as a click does.
    bool moveInChoice(int id, int step);
    void runHandler(const std::map<int, std::function<void()>>& handlers, int id);
    void notifyUserChange(int id);
    void onFocusChanged(QWidget* old, QWidget* now);
    int idOfWidget(const QWidget* widget) const;  // -1 when not inside a control of this dialog
    void applyProgress(int id);

    struct Progress {
        int lower = 0, upper = 100, pos = 0, step = 10;
    };

    const res::DialogTemplate& tmpl_;
    std::map<int, QWidget*> controls_;
    std::vector<int> order_;
    std::map<int, int> radioGroup_;  // radio id -> index of its exclusive choice
    std::map<int, std::function<void()>> clicked_, selChange_, setFocus_;
    std::function<void(int)> userChange_;
    std::map<int, Progress> progress_;
    int baseX_ = 0, baseY_ = 0;
    int suppressFocus_ = 0;  // > 0 while focus moves programmatically
};

// The font a template asks for: its family when installed, otherwise a family with Hangul glyphs
// (the templates' captions and labels may be Korean), otherwise the application font; at the
// template's point size.
QFont template_font(std::string_view family, int points);

// Base units of a font (see BaseUnits).
BaseUnits base_units(const QFont& font);

// Converts a rectangle in dialog units to pixels: x * base.x / 4, y * base.y / 8 (rounded down).
QRect dialog_units_to_pixels(int x, int y, int width, int height, BaseUnits base);

}  // namespace quorin::platform
