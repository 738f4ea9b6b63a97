// The board list on a shown window, with real mouse and keyboard input: the user moves the
// selection but cannot leave the list without one while it has entries.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QTest>

#include "platform/dialog.h"
#include "res/dialog_template.h"
#include "res/resource_ids.h"

namespace quorin::platform {
namespace {

using namespace res;

class BoardList : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* mac : {"02:51:00:02:00:00", "02:51:00:02:00:01", "02:51:00:04:00:02"})
            dlg.listAppend(IDC_BOARD_LIST, mac);
        dlg.onSelChange(IDC_BOARD_LIST, [this] { ++changes; });
        dlg.show();
        QApplication::setActiveWindow(&dlg);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        list = qobject_cast<QListWidget*>(dlg.control(IDC_BOARD_LIST));
        ASSERT_NE(list, nullptr);
        list->setFocus(Qt::OtherFocusReason);
    }

    QPoint entry(int row) const { return list->visualItemRect(list->item(row)).center(); }
    QPoint emptyArea() const {
        const QRect last = list->visualItemRect(list->item(list->count() - 1));
        return QPoint(last.center().x(), (last.bottom() + list->viewport()->height()) / 2);
    }

    Dialog dlg{main_template()};
    QListWidget* list = nullptr;
    int changes = 0;
};

TEST_F(BoardList, ClickMovesTheSelection) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, entry(1));
    EXPECT_EQ(dlg.listCurSel(IDC_BOARD_LIST), 1);
    EXPECT_EQ(changes, 1);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(dlg.listCurSel(IDC_BOARD_LIST), 2);
}

TEST_F(BoardList, NoUserActionLeavesItWithoutASelection) {
    ASSERT_GT(emptyArea().y(), list->visualItemRect(list->item(2)).bottom());
    struct Case {
        const char* label;
        std::function<void()> act;
    };
    const Case cases[] = {
        {"click below the entries",
         [&] { QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, emptyArea()); }},
        {"ctrl+click on the selected entry",
         [&] {
             QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, entry(1));
         }},
        {"ctrl+space", [&] { QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, entry(1));
        ASSERT_EQ(dlg.listCurSel(IDC_BOARD_LIST), 1);
        changes = 0;
        c.act();
        EXPECT_EQ(dlg.listCurSel(IDC_BOARD_LIST), 1);
        EXPECT_EQ(changes, 0);
    }
}

TEST_F(BoardList, CtrlClickOnAnotherEntryStillSelectsIt) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, entry(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, entry(2));
    EXPECT_EQ(dlg.listCurSel(IDC_BOARD_LIST), 2);
    EXPECT_EQ(list->selectedItems().size(), 1);
}

TEST_F(BoardList, ProgrammaticResetStillEmptiesIt) {
    dlg.listSetCurSel(IDC_BOARD_LIST, 0);
    dlg.listReset(IDC_BOARD_LIST);
    EXPECT_EQ(dlg.listCurSel(IDC_BOARD_LIST), -1);
    EXPECT_EQ(changes, 0);
}

}  // namespace
}  // namespace quorin::platform
