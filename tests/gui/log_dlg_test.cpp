// The log window: lines in the order appended, "Save and Exit" destroys the window, "Exit" hides
// it and it keeps collecting lines.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>

#include "log/log_dlg.h"
#include "res/resource_ids.h"
#include "tests/support/simulated_input.h"

namespace quorin {
namespace {

using res::IDC_LOG_LIST;
using res::IDCANCEL;
using res::IDOK;
using testing::click;

void flush_deletions() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

void press(QWidget* target, Qt::Key key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

TEST(LogWindow, BuiltFromItsTemplate) {
    CLogDlg log;
    EXPECT_EQ(log.windowTitle(), "Log message");
    EXPECT_FALSE(log.isModal());
    EXPECT_FALSE(log.isVisible());  // not visible until shown
    EXPECT_EQ(log.text(IDOK), "Save and Exit");
    EXPECT_EQ(log.text(IDCANCEL), "Exit");
    EXPECT_TRUE(qobject_cast<QPushButton*>(log.control(IDOK))->isDefault());
    EXPECT_NE(qobject_cast<QListWidget*>(log.control(IDC_LOG_LIST)), nullptr);
    EXPECT_EQ(log.font().pointSize(), 10);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST(LogWindow, LinesKeepTheirOrderAlsoWhileNeverShown) {
    CLogDlg log;
    const QStringList appended = {"Receive Data With OPCODE_SEARCH_REPLY",
                                  "Call SendData() with OPCODE_SEARCH_REQUEST",
                                  "Receive Data With OPCODE_SEARCH_REPLY", "A line", "0"};
    for (const QString& line : appended) log.AppendLine(line);
    EXPECT_EQ(log.lines(), appended);
    EXPECT_FALSE(qobject_cast<QListWidget*>(log.control(IDC_LOG_LIST))->isSortingEnabled());
}

TEST(LogWindow, AFullLogDropsItsOldestLinesAndSaysHowMany) {
    CLogDlg log;
    const auto line = [](int n) { return QStringLiteral("line %1").arg(n); };
    const auto notice = [](int dropped) {
        return QStringLiteral("(%1 older lines dropped: the log keeps the last %2)")
            .arg(dropped)
            .arg(CLogDlg::kLineLimit);
    };
    int most = 0;
    for (int n = 1; n <= CLogDlg::kLineLimit; ++n) log.AppendLine(line(n));
    EXPECT_EQ(log.lines().size(), CLogDlg::kLineLimit);
    EXPECT_EQ(log.droppedLines(), 0);

    log.AppendLine(line(CLogDlg::kLineLimit + 1));
    QStringList lines = log.lines();
    ASSERT_EQ(lines.size(), CLogDlg::kLineLimit - CLogDlg::kDropBatch + 2);
    EXPECT_EQ(lines.first(), notice(CLogDlg::kDropBatch));
    EXPECT_EQ(lines[1], line(CLogDlg::kDropBatch + 1));
    EXPECT_EQ(lines.last(), line(CLogDlg::kLineLimit + 1));

    const int total = CLogDlg::kLineLimit + 2 * CLogDlg::kDropBatch + 10;
    for (int n = CLogDlg::kLineLimit + 2; n <= total; ++n) {
        log.AppendLine(line(n));
        most = std::max(most, log.listCount(IDC_LOG_LIST));
    }
    EXPECT_LE(most, CLogDlg::kLineLimit);
    lines = log.lines();
    EXPECT_EQ(log.droppedLines(), 3 * CLogDlg::kDropBatch);
    EXPECT_EQ(lines.first(), notice(3 * CLogDlg::kDropBatch));
    // The newest lines, in order, with none missing.
    ASSERT_EQ(lines.size(), total - 3 * CLogDlg::kDropBatch + 1);
    for (int i = 1; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i], line(3 * CLogDlg::kDropBatch + i)) << i;
    }
}

TEST(LogWindow, SaveAndExitDestroysTheWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));

    QPointer<CLogDlg> log = new CLogDlg;
    log->show();
    log->AppendLine("Call SendData() with OPCODE_SET_REQUEST");
    click(*log, IDOK);
    ASSERT_FALSE(log.isNull());  // deleted only once control is back in the event loop
    EXPECT_TRUE(log->isDestroyed());
    EXPECT_FALSE(log->isVisible());
    log->AppendLine("dropped");  // safe, and dropped
    EXPECT_EQ(log->lines(), QStringList{"Call SendData() with OPCODE_SET_REQUEST"});
    flush_deletions();
    EXPECT_TRUE(log.isNull());

    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty())
        << "the window writes no file";
    QDir::setCurrent(previous);
}

TEST(LogWindow, EnterIsSaveAndExit) {
    QPointer<CLogDlg> log = new CLogDlg;
    log->show();
    log->setFocusTo(IDC_LOG_LIST);
    press(log, Qt::Key_Return);
    EXPECT_TRUE(log->isDestroyed());
    flush_deletions();
    EXPECT_TRUE(log.isNull());
}

TEST(LogWindow, SaveAndExitTwiceIsHarmless) {
    QPointer<CLogDlg> log = new CLogDlg;
    log->OnOK();
    log->OnOK();
    flush_deletions();
    EXPECT_TRUE(log.isNull());
}

class LogWindowHiding : public ::testing::TestWithParam<int> {};

// Ways of leaving the window with "Exit": the button, Escape and the close box.
TEST_P(LogWindowHiding, ExitHidesAndTheHiddenListKeepsCollecting) {
    QPointer<CLogDlg> log = new CLogDlg;
    log->show();
    QApplication::processEvents();
    log->AppendLine("first");
    switch (GetParam()) {
        case 0:
            click(*log, IDCANCEL);
            break;
        case 1:
            press(log, Qt::Key_Escape);
            break;
        case 2:
            log->close();
            break;
    }
    flush_deletions();
    ASSERT_FALSE(log.isNull());
    EXPECT_FALSE(log->isVisible());
    EXPECT_FALSE(log->isDestroyed());
    log->AppendLine("second");
    EXPECT_EQ(log->lines(), QStringList({"first", "second"}));
    delete log;
}

INSTANTIATE_TEST_SUITE_P(ExitButtonEscapeAndCloseBox, LogWindowHiding, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace quorin
