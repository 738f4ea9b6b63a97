// Acting on a shown main window as the operator does: real mouse clicks and key presses sent to
// the controls' widgets (QTest), never the shortcuts of tests/support/simulated_input.h, so that
// focus, visibility and enabled state play their part as they do for a user.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTabBar>
#include <QTest>

#include "platform/dialog.h"
#include "platform/tab_control.h"

namespace quorin::testing {

// Shows the window and waits until it is the active window (the one that takes key presses).
inline ::testing::AssertionResult show_active(QWidget& window) {
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return ::testing::AssertionFailure() << "the window did not become active";
    return ::testing::AssertionSuccess();
}

// A left click on a button, check box or radio: on the mark of a check box or radio, in the middle
// of a push button.
inline void mouse_click(platform::Dialog& dlg, int id) {
    QWidget* w = dlg.control(id);
    ASSERT_NE(w, nullptr) << id;
    const bool marked = qobject_cast<QAbstractButton*>(w) && !w->inherits("QPushButton");
    const QPoint at = marked ? QPoint(w->height() / 2, w->height() / 2) : w->rect().center();
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at);
}

// A left click on tab `index` of a tab control.
inline void click_tab(platform::Dialog& dlg, int id, int index) {
    auto* tab = qobject_cast<platform::TabControl*>(dlg.control(id));
    ASSERT_NE(tab, nullptr) << id;
    QTest::mouseClick(tab->tabBar(), Qt::LeftButton, Qt::NoModifier,
                      tab->tabBar()->tabRect(index).center());
}

// A left click on row `row` of a list box.
inline void click_list_row(platform::Dialog& dlg, int id, int row) {
    auto* list = qobject_cast<QListWidget*>(dlg.control(id));
    ASSERT_NE(list, nullptr) << id;
    ASSERT_LT(row, list->count());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(list->item(row)).center());
}

// Clicks into an edit or into the text of a combo box, selects what it holds and types `text`
// over it, key by key.
inline void type_over(platform::Dialog& dlg, int id, const QString& text) {
    QWidget* w = dlg.control(id);
    ASSERT_NE(w, nullptr) << id;
    QLineEdit* edit = qobject_cast<QLineEdit*>(w);
    if (auto* combo = qobject_cast<QComboBox*>(w)) edit = combo->lineEdit();
    ASSERT_NE(edit, nullptr) << id;
    QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, edit->rect().center());
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Delete);
    } else {
        QTest::keyClicks(edit, text);
    }
}

// A key press on whatever widget has the keyboard focus in the active window.
inline void press(Qt::Key key) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr) << "no widget has the focus";
    QTest::keyClick(target, key);
}

}  // namespace quorin::testing
