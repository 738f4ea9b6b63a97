// Control operations by identifier: radio choices, notifications only on user actions, combo and
// list selection rules, the address control, the progress bar and the dialog's keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <functional>
#include <map>
#include <string>

#include "platform/dialog.h"
#include "platform/ip_address_edit.h"
#include "res/dialog_template.h"
#include "res/resource_ids.h"
#include "tests/support/simulated_input.h"

namespace quorin::platform {
namespace {

using namespace res;
using testing::click;
using testing::simulate_focus;
using testing::simulate_select;
using testing::simulate_type;

// Counts every notification of the main window's dialog by kind and identifier.
class Notifications {
  public:
    explicit Notifications(Dialog& dlg) {
        for (int id : dlg.controlIds()) {
            dlg.onClicked(id, [this, id] { ++clicked[id]; });
            dlg.onSelChange(id, [this, id] { ++sel_change[id]; });
            dlg.onSetFocus(id, [this, id] { ++set_focus[id]; });
        }
        dlg.onUserChange([this](int id) { ++user_change[id]; });
    }
    int total() const {
        int n = 0;
        for (const auto* m : {&clicked, &sel_change, &set_focus, &user_change})
            for (const auto& [id, count] : *m) n += count;
        return n;
    }
    std::map<int, int> clicked, sel_change, set_focus, user_change;
};

class MainDialog : public ::testing::Test {
  protected:
    Dialog dlg{main_template()};
};

// --- radio choices -------------------------------------------------------------------------

TEST_F(MainDialog, UserClickClearsOnlyItsOwnChoice) {
    // Every radio checked programmatically: each choice then has all its members checked.
    const int radios[] = {1028, 1029, 1043, 1050, 1044, 1045, 1007,
                          1008, 1009, 1109, 1107, 1108, 1025, 1125};
    for (int id : radios) dlg.setCheck(id, true);

    click(dlg, IDC_DHCP);
    EXPECT_TRUE(dlg.isChecked(IDC_DHCP));
    EXPECT_FALSE(dlg.isChecked(IDC_STATIC_IP));
    EXPECT_FALSE(dlg.isChecked(IDC_PPPOE));
    for (int id : {1050, 1044, 1045, 1007, 1008, 1009, 1109, 1107, 1108, 1025, 1125})
        EXPECT_TRUE(dlg.isChecked(id)) << id;

    click(dlg, 1008);  // Client of channel 1
    EXPECT_TRUE(dlg.isChecked(1008));
    EXPECT_FALSE(dlg.isChecked(1007));
    for (int id : {1009, 1109, 1107, 1108}) EXPECT_TRUE(dlg.isChecked(id)) << id;

    click(dlg, 1125);  // Telnet mode of channel 2
    EXPECT_FALSE(dlg.isChecked(1025));
    EXPECT_TRUE(dlg.isChecked(1009));  // Raw mode of channel 1 untouched
}

TEST_F(MainDialog, ProgrammaticCheckTouchesNoOtherRadio) {
    dlg.setCheck(IDC_STATIC_IP, true);
    dlg.setCheck(IDC_DHCP, true);
    EXPECT_TRUE(dlg.isChecked(IDC_STATIC_IP));
    EXPECT_TRUE(dlg.isChecked(IDC_DHCP));
    dlg.setCheck(IDC_STATIC_IP, false);
    EXPECT_FALSE(dlg.isChecked(IDC_STATIC_IP));
    EXPECT_TRUE(dlg.isChecked(IDC_DHCP));
}

TEST_F(MainDialog, ClickingACheckedRadioKeepsItCheckedAndNotifiesAgain) {
    int clicks = 0;
    dlg.onClicked(IDC_SERIAL_SW, [&] { ++clicks; });
    click(dlg, IDC_SERIAL_SW);
    click(dlg, IDC_SERIAL_SW);
    EXPECT_TRUE(dlg.isChecked(IDC_SERIAL_SW));
    EXPECT_EQ(clicks, 2);
}

TEST_F(MainDialog, HandlerSeesTheNewCheckMarks) {
    dlg.setCheck(IDC_SERIAL_HW, true);
    bool hw = true, sw = false;
    dlg.onClicked(IDC_SERIAL_SW, [&] {
        hw = dlg.isChecked(IDC_SERIAL_HW);
        sw = dlg.isChecked(IDC_SERIAL_SW);
    });
    click(dlg, IDC_SERIAL_SW);
    EXPECT_FALSE(hw);
    EXPECT_TRUE(sw);
}

TEST_F(MainDialog, CheckBoxToggles) {
    click(dlg, 1011);
    EXPECT_TRUE(dlg.isChecked(1011));
    click(dlg, 1011);
    EXPECT_FALSE(dlg.isChecked(1011));
}

// --- notifications -------------------------------------------------------------------------

TEST_F(MainDialog, ProgrammaticOperationsRaiseNoNotification) {
    dlg.show();
    QApplication::processEvents();
    Notifications seen(dlg);
    const std::vector<std::pair<std::string, std::function<void()>>> operations = {
        {"setCheck radio", [&] { dlg.setCheck(1008, true); }},
        {"setCheck box", [&] { dlg.setCheck(1011, true); }},
        {"setText edit", [&] { dlg.setText(1013, "100"); }},
        {"setText ip", [&] { dlg.setText(1031, "1.2.3.4"); }},
        {"setText combo", [&] { dlg.setText(1017, "x"); }},
        {"comboFill",
         [&] {
             dlg.comboFill(1018, {"7", "8"});
         }},
        {"comboSetCurSel", [&] { dlg.comboSetCurSel(1018, 1); }},
        {"comboSetCurSel out of range", [&] { dlg.comboSetCurSel(1018, 9); }},
        {"comboReset", [&] { dlg.comboReset(1018); }},
        {"listAppend", [&] { dlg.listAppend(1000, "A"); }},
        {"listSetCurSel", [&] { dlg.listSetCurSel(1000, 0); }},
        {"listSetCurSel refused", [&] { dlg.listSetCurSel(1000, 5); }},
        {"listSetCurSel again", [&] { dlg.listSetCurSel(1000, 0); }},
        {"listSetItemText", [&] { dlg.listSetItemText(1000, 0, "Z"); }},
        {"listDelete selected", [&] { dlg.listDelete(1000, 0); }},
        {"listAppend again", [&] { dlg.listAppend(1000, "A"); }},
        {"listReset", [&] { dlg.listReset(1000); }},
        {"tabInsert", [&] { dlg.tabInsert(1004, 0, "Channel #1"); }},
        {"tabInsert second", [&] { dlg.tabInsert(1004, 1, "Channel #2"); }},
        {"tabSetCurSel", [&] { dlg.tabSetCurSel(1004, 1); }},
        {"tabDeleteAll", [&] { dlg.tabDeleteAll(1004); }},
        {"enable", [&] { dlg.enable(1003, false); }},
        {"show", [&] { dlg.show(1107, false); }},
        {"setFocusTo list", [&] { dlg.setFocusTo(1000); }},
        {"setFocusTo edit", [&] { dlg.setFocusTo(1013); }},
        {"progress", [&] { dlg.progressSetPos(1039, 50); }},
    };
    for (const auto& [name, operation] : operations) {
        operation();
        QApplication::processEvents();
        EXPECT_EQ(seen.total(), 0) << name;
    }
}

TEST_F(MainDialog, UserActionsNotify) {
    Notifications seen(dlg);
    dlg.comboFill(1018, {"7", "8"});
    dlg.listAppend(1000, "A");
    dlg.listAppend(1000, "B");
    dlg.tabInsert(1004, 0, "Channel #1");
    dlg.tabInsert(1004, 1, "Channel #2");

    click(dlg, 1002);
    click(dlg, 1028);
    click(dlg, 1011);
    simulate_select(dlg, 1018, 0);
    simulate_select(dlg, 1018, 0);  // the same entry again: a user pick notifies every time
    simulate_select(dlg, 1000, 1);
    simulate_select(dlg, 1004, 1);
    simulate_focus(dlg, 1000);

    EXPECT_EQ(seen.clicked, (std::map<int, int>{{1002, 1}, {1028, 1}, {1011, 1}}));
    EXPECT_EQ(seen.sel_change, (std::map<int, int>{{1018, 2}, {1000, 1}, {1004, 1}}));
    EXPECT_EQ(seen.set_focus, (std::map<int, int>{{1000, 1}}));
    // Every change of what a control holds, but no push button's command and no focus.
    EXPECT_EQ(seen.user_change,
              (std::map<int, int>{{1028, 1}, {1011, 1}, {1018, 2}, {1000, 1}, {1004, 1}}));
    EXPECT_EQ(dlg.comboCurSel(1018), 0);
    EXPECT_EQ(dlg.listCurSel(1000), 1);
    EXPECT_EQ(dlg.tabCurSel(1004), 1);
}

TEST_F(MainDialog, TypingIntoAnEditComboOrAddressFieldIsAUserChange) {
    Notifications seen(dlg);
    dlg.show();
    QApplication::processEvents();
    struct Case {
        int id;
        QWidget* target;
    };
    for (const Case& c : {Case{1013, dlg.control(1013)},  // edit
                          Case{1017, qobject_cast<QComboBox*>(dlg.control(1017))->lineEdit()},
                          Case{1031, qobject_cast<IpAddressEdit*>(dlg.control(1031))->field(2)}}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, QStringLiteral("7"));
        QApplication::sendEvent(c.target, &press);
        EXPECT_EQ(seen.user_change[c.id], 1) << c.id;
    }
    simulate_type(dlg, 1031, "1.2.3.4");
    EXPECT_EQ(seen.user_change[1031], 2);
    EXPECT_EQ(seen.user_change, (std::map<int, int>{{1013, 1}, {1017, 1}, {1031, 2}}));
}

TEST_F(MainDialog, DisabledControlsIgnoreClicksButTakeCommands) {
    int aging = 0;
    dlg.onClicked(IDC_UPLOAD_AGING, [&] { ++aging; });
    click(dlg, IDC_UPLOAD_AGING);  // hidden and disabled: the user cannot reach it
    EXPECT_EQ(aging, 0);
    dlg.sendCommand(IDC_UPLOAD_AGING);
    EXPECT_EQ(aging, 1);

    dlg.setCheck(IDC_PPPOE, false);
    dlg.enable(IDC_PPPOE, false);
    click(dlg, IDC_PPPOE);
    EXPECT_FALSE(dlg.isChecked(IDC_PPPOE));
}

TEST_F(MainDialog, UserFocusChangeNotifiesOnce) {
    int focus = 0;
    dlg.onSetFocus(IDC_BOARD_LIST, [&] { ++focus; });
    dlg.show();
    dlg.activateWindow();
    QApplication::processEvents();
    if (!dlg.isActiveWindow()) GTEST_SKIP() << "the platform does not activate windows";
    dlg.setFocusTo(IDC_SEARCH);
    QApplication::processEvents();
    focus = 0;
    dlg.control(IDC_BOARD_LIST)->setFocus(Qt::MouseFocusReason);  // as a click into the list
    QApplication::processEvents();
    EXPECT_EQ(focus, 1);
    EXPECT_EQ(dlg.focusedId(), IDC_BOARD_LIST);

    // Moving between the fields of one address control is no new focus for it.
    int ip_focus = 0;
    dlg.onSetFocus(IDC_LOCAL_IP, [&] { ++ip_focus; });
    auto* ip = qobject_cast<IpAddressEdit*>(dlg.control(IDC_LOCAL_IP));
    ip->field(0)->setFocus(Qt::TabFocusReason);
    ip->field(2)->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(ip_focus, 1);
    EXPECT_EQ(dlg.focusedId(), IDC_LOCAL_IP);
}

TEST_F(MainDialog, FocusedIdFollowsSetFocusTo) {
    dlg.setFocusTo(1013);
    EXPECT_EQ(dlg.focusedId(), 1013);
    dlg.setFocusTo(IDC_DNS_SERVER_IP);
    EXPECT_EQ(dlg.focusedId(), IDC_DNS_SERVER_IP);
}

// --- combo boxes and lists -----------------------------------------------------------------

TEST_F(MainDialog, ComboSelection) {
    struct Case {
        int index;
        int expected;
        const char* text;
    };
    const Case cases[] = {{2, 2, "Even"}, {0, 0, "None"}, {3, -1, ""},
                          {-1, -1, ""},   {1, 1, "Odd"},  {100, -1, ""}};
    dlg.comboFill(1019, {"None", "Odd", "Even"});
    EXPECT_EQ(dlg.comboCurSel(1019), -1);  // filling selects nothing
    for (const Case& c : cases) {
        dlg.comboSetCurSel(1019, c.index);
        EXPECT_EQ(dlg.comboCurSel(1019), c.expected) << c.index;
        EXPECT_EQ(dlg.text(1019), c.text) << c.index;
    }
}

TEST_F(MainDialog, ComboResetEmptiesListAndText) {
    dlg.comboFill(1017, {"600", "1200"});
    dlg.comboSetCurSel(1017, 1);
    dlg.comboReset(1017);
    EXPECT_TRUE(dlg.comboItems(1017).isEmpty());
    EXPECT_EQ(dlg.comboCurSel(1017), -1);
    EXPECT_EQ(dlg.text(1017), "");
}

TEST_F(MainDialog, TypedComboTextIsNotAddedToTheList) {
    dlg.comboFill(1017, {"600", "1200"});
    simulate_type(dlg, 1017, "12");
    auto* combo = qobject_cast<QComboBox*>(dlg.control(1017));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(combo->lineEdit(), &enter);
    EXPECT_EQ(dlg.comboItems(1017), QStringList({"600", "1200"}));
    EXPECT_EQ(dlg.text(1017), "12");  // no completion to "1200"
}

TEST_F(MainDialog, ListRefusesOutOfRangeSelection) {
    dlg.listAppend(1000, "A");
    dlg.listAppend(1000, "B");
    EXPECT_EQ(dlg.listCurSel(1000), -1);  // appending selects nothing
    EXPECT_TRUE(dlg.listSetCurSel(1000, 1));
    EXPECT_EQ(dlg.listCurSel(1000), 1);
    EXPECT_FALSE(dlg.listSetCurSel(1000, 2));
    EXPECT_EQ(dlg.listCurSel(1000), -1);
    EXPECT_FALSE(dlg.listSetCurSel(1000, -1));
    dlg.listReset(1000);
    EXPECT_FALSE(dlg.listSetCurSel(1000, 0));
    EXPECT_EQ(dlg.listCount(1000), 0);
}

TEST_F(MainDialog, ListItemsByIndex) {
    dlg.listAppend(1000, "first");
    dlg.listAppend(1000, "second");
    EXPECT_EQ(dlg.listItem(1000, 1), "second");
    EXPECT_EQ(dlg.listItem(1000, 2), "");
    EXPECT_EQ(dlg.listCount(1000), 2);
}

TEST_F(MainDialog, ListDeleteRemovesTheEntriesThatExist) {
    struct Case {
        const char* name;
        int first, count;
        QStringList left;
    };
    const QStringList all{"a", "b", "c", "d"};
    for (const Case& c :
         {Case{"one", 1, 1, {"a", "c", "d"}}, Case{"a range", 1, 2, {"a", "d"}},
          Case{"past the end", 2, 9, {"a", "b"}}, Case{"first out of range", 4, 1, all},
          Case{"negative first", -1, 1, all}, Case{"no count", 0, 0, all}}) {
        dlg.listReset(1000);
        for (const QString& entry : all) dlg.listAppend(1000, entry);
        dlg.listSetCurSel(1000, 0);
        dlg.listDelete(1000, c.first, c.count);
        EXPECT_EQ(dlg.listItems(1000), c.left) << c.name;
        EXPECT_EQ(dlg.listCurSel(1000), 0) << c.name;
    }
    dlg.listSetItemText(1000, 0, "A");
    dlg.listSetItemText(1000, 9, "nothing");
    EXPECT_EQ(dlg.listItems(1000).first(), "A");
    EXPECT_EQ(dlg.listCount(1000), 4);
}

TEST_F(MainDialog, GivingTheListFocusSelectsNothing) {
    int changes = 0;
    dlg.onSelChange(1000, [&] { ++changes; });
    dlg.listAppend(1000, "A");
    dlg.show();
    dlg.activateWindow();
    QApplication::processEvents();
    dlg.control(1000)->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(dlg.listCurSel(1000), -1);
    EXPECT_EQ(changes, 0);
}

// --- tab control ---------------------------------------------------------------------------

TEST_F(MainDialog, TabItems) {
    EXPECT_EQ(dlg.tabCurSel(1004), -1);
    for (int i = 0; i < 4; ++i) dlg.tabInsert(1004, i, QString("Channel #%1").arg(i + 1));
    EXPECT_EQ(dlg.tabCount(1004), 4);
    EXPECT_EQ(dlg.tabCurSel(1004), 0);
    dlg.tabSetCurSel(1004, 3);
    EXPECT_EQ(dlg.tabCurSel(1004), 3);
    dlg.tabSetCurSel(1004, 7);  // ignored
    EXPECT_EQ(dlg.tabCurSel(1004), 3);
    dlg.tabDeleteAll(1004);
    EXPECT_EQ(dlg.tabCount(1004), 0);
    EXPECT_EQ(dlg.tabCurSel(1004), -1);
    dlg.tabInsert(1004, 0, "Channel #1");
    EXPECT_EQ(dlg.tabTexts(1004), QStringList({"Channel #1"}));
}

// --- address control -----------------------------------------------------------------------

TEST_F(MainDialog, AddressControlText) {
    struct Case {
        const char* set;
        const char* text;
        std::array<std::uint8_t, 4> address;
    };
    const Case cases[] = {
        {"192.168.1.2", "192.168.1.2", {192, 168, 1, 2}},
        {"0.0.0.0", "0.0.0.0", {0, 0, 0, 0}},
        {"1..3.", "1..3.", {1, 0, 3, 0}},  // blank fields read as 0
        {"", "...", {0, 0, 0, 0}},
        {"10.0.0.300", "10.0.0.255", {10, 0, 0, 255}},
        {"a.b.2.c", "..2.", {0, 0, 2, 0}},
        {"7.8", "7.8..", {7, 8, 0, 0}},
    };
    for (const Case& c : cases) {
        dlg.setText(IDC_LOCAL_IP, c.set);
        EXPECT_EQ(dlg.text(IDC_LOCAL_IP), c.text) << c.set;
        EXPECT_EQ(dlg.ipAddress(IDC_LOCAL_IP), c.address) << c.set;
    }
}

TEST_F(MainDialog, AddressControlTakesTypedDigitsOnly) {
    auto* ip = qobject_cast<IpAddressEdit*>(dlg.control(1014));
    ip->setAddressText("");
    QLineEdit* first = ip->field(0);
    for (QChar ch : QString("1x2")) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(first, &key);
    }
    EXPECT_EQ(first->text(), "12");
    EXPECT_EQ(dlg.ipAddress(1014), (std::array<std::uint8_t, 4>{12, 0, 0, 0}));
}

// --- enabled state, visibility, unknown identifiers ----------------------------------------

TEST_F(MainDialog, EnableAndShowAreTheControlsOwnFlags) {
    dlg.enable(1016, false);
    EXPECT_FALSE(dlg.isEnabled(1016));
    dlg.enable(1016, true);
    EXPECT_TRUE(dlg.isEnabled(1016));
    EXPECT_TRUE(dlg.isShown(1107));
    dlg.show(1107, false);
    EXPECT_FALSE(dlg.isShown(1107));
    dlg.show();
    QApplication::processEvents();
    EXPECT_FALSE(dlg.isShown(1107));
    dlg.show(1107, true);
    EXPECT_TRUE(dlg.isShown(1107));
    dlg.hide();
    EXPECT_TRUE(dlg.isShown(1107));  // the dialog being hidden does not matter
}

TEST_F(MainDialog, UnknownIdentifiersAreIgnored) {
    dlg.setText(IDC_AGING_COUNT, "5");
    dlg.enable(IDC_AGING_COUNT, true);
    dlg.setCheck(IDC_AGING_COUNT, true);
    dlg.comboSetCurSel(IDC_AGING_COUNT, 0);
    dlg.progressStep(IDC_AGING_COUNT);
    click(dlg, IDC_AGING_COUNT);
    EXPECT_EQ(dlg.text(IDC_AGING_COUNT), "");
    EXPECT_FALSE(dlg.isEnabled(IDC_AGING_COUNT));
    EXPECT_FALSE(dlg.isShown(IDC_AGING_COUNT));
    EXPECT_FALSE(dlg.isChecked(IDC_AGING_COUNT));
    EXPECT_EQ(dlg.comboCurSel(IDC_AGING_COUNT), -1);
    EXPECT_FALSE(dlg.listSetCurSel(IDC_AGING_COUNT, 0));
    EXPECT_EQ(dlg.control(IDC_AGING_COUNT), nullptr);
}

// --- progress bar --------------------------------------------------------------------------

TEST_F(MainDialog, ProgressBar) {
    EXPECT_EQ(dlg.progressPos(IDC_PROGRESS), 0);
    dlg.progressStep(IDC_PROGRESS);  // default range 0..100, default step 10
    EXPECT_EQ(dlg.progressPos(IDC_PROGRESS), 10);

    dlg.progressSetRange(IDC_PROGRESS, 0, 3);
    dlg.progressSetPos(IDC_PROGRESS, 0);
    dlg.progressSetStep(IDC_PROGRESS, 1);
    for (int expected : {1, 2, 3}) {
        dlg.progressStep(IDC_PROGRESS);
        EXPECT_EQ(dlg.progressPos(IDC_PROGRESS), expected);
    }
    dlg.progressStep(IDC_PROGRESS);  // past the end: starts over
    EXPECT_LT(dlg.progressPos(IDC_PROGRESS), 3);

    dlg.progressSetPos(IDC_PROGRESS, 99);  // clamped to the range
    EXPECT_EQ(dlg.progressPos(IDC_PROGRESS), 3);

    dlg.progressSetRange(IDC_PROGRESS, 0, 65536 + 12);  // the range is 16 bits wide
    dlg.progressSetPos(IDC_PROGRESS, 12);
    EXPECT_EQ(dlg.progressPos(IDC_PROGRESS), 12);
    dlg.progressSetPos(IDC_PROGRESS, 13);
    EXPECT_EQ(dlg.progressPos(IDC_PROGRESS), 12);
}

// --- keys ----------------------------------------------------------------------------------

void press(QWidget* target, Qt::Key key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

TEST_F(MainDialog, EnterSendsOkAndEscapeSendsCancel) {
    int ok = 0, cancel = 0;
    dlg.onClicked(IDOK, [&] { ++ok; });
    dlg.onClicked(IDCANCEL, [&] { ++cancel; });
    press(&dlg, Qt::Key_Return);  // no default button in the main window: the OK command
    press(&dlg, Qt::Key_Escape);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(cancel, 1);
}

TEST_F(MainDialog, EnterPressesTheFocusedButton) {
    int search = 0, ok = 0;
    dlg.onClicked(IDC_SEARCH, [&] { ++search; });
    dlg.onClicked(IDOK, [&] { ++ok; });
    dlg.setFocusTo(IDC_SEARCH);
    press(&dlg, Qt::Key_Enter);
    EXPECT_EQ(search, 1);
    EXPECT_EQ(ok, 0);
}

TEST(DialogKeys, WithoutHandlersOkAcceptsAndCancelRejects) {
    Dialog accepted(log_template());
    accepted.show();
    press(&accepted, Qt::Key_Return);  // default button "Save and Exit" (IDOK)
    EXPECT_EQ(accepted.result(), QDialog::Accepted);
    EXPECT_FALSE(accepted.isVisible());

    Dialog rejected(log_template());
    rejected.show();
    press(&rejected, Qt::Key_Escape);
    EXPECT_EQ(rejected.result(), QDialog::Rejected);
    EXPECT_FALSE(rejected.isVisible());
}

TEST(DialogKeys, EnterDoesNothingWhenTheDefaultButtonIsDisabled) {
    Dialog dlg(log_template());
    int ok = 0;
    dlg.onClicked(IDOK, [&] { ++ok; });
    dlg.enable(IDOK, false);
    press(&dlg, Qt::Key_Return);
    EXPECT_EQ(ok, 0);
}

}  // namespace
}  // namespace quorin::platform

namespace quorin::platform {
namespace {

TEST(DialogLifetime, DestroyingAFocusedDialogCallsNoHandler) {
    int calls = 0;
    {
        auto* dlg = new Dialog(res::main_template());
        for (int id : dlg->controlIds()) {
            dlg->onSetFocus(id, [&] { ++calls; });
            dlg->onSelChange(id, [&] { ++calls; });
        }
        dlg->listAppend(1000, "A");
        dlg->listSetCurSel(1000, 0);
        dlg->show();
        dlg->activateWindow();
        QApplication::processEvents();
        dlg->setFocusTo(1000);
        calls = 0;
        delete dlg;
    }
    QApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace quorin::platform
