// The real message box on a shown main window while junk keeps arriving: one box at a time, the
// socket read while it is open, the count in the log once the operator closes it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <memory>

#include "app/config_sock.h"
#include "app/quorin_config_tool_app.h"
#include "log/log_dlg.h"
#include "platform/platform_services.h"
#include "res/resource_ids.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_window_timers.h"
#include "tests/support/recording_services.h"
#include "tests/support/simulated_input.h"
#include "ui/quorin_config_tool_dlg.h"

namespace quorin::testing {
namespace {

int visible_message_boxes() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible()) ++n;
    return n;
}

class RealBoxes : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(junk.bind(QHostAddress::LocalHost, 0));
        app = std::make_unique<CQuorinConfigToolApp>(
            boxes, loopback_target(junk.localPort(), junk.localPort()));
        dlg = std::make_unique<CQuorinConfigToolDlg>(*app, WindowServices{timers, files});
        boxes.setParent(dlg.get());
        dlg->OnInitDialog();
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    void TearDown() override {
        boxes.setParent(nullptr);
        dlg.reset();
        app.reset();
    }
    void sendJunk(int count) {
        const QByteArray bytes("\x09junk", 5);
        for (int i = 0; i < count; ++i)
            junk.writeDatagram(bytes, QHostAddress::LocalHost, app->searchSocket()->localPort());
    }

    platform::QtMessageBoxes boxes;
    platform::ManualWindowTimers timers;
    platform::ScriptedFileChooser files;
    QUdpSocket junk;
    std::unique_ptr<CQuorinConfigToolApp> app;
    std::unique_ptr<CQuorinConfigToolDlg> dlg;
};

TEST_F(RealBoxes, JunkDuringASearchOpensOneBoxAtATimeAndTheRestIsCounted) {
    constexpr int kWhileOpen = 40;
    click(*dlg, res::IDC_VIEW_LOG);
    click(*dlg, res::IDC_SEARCH);

    // The operator, inside the box's own event loop: once the box is up, more junk comes; when the
    // socket has read it all, the operator presses Enter on the box.
    int most_open = 0;
    std::uint64_t read_at_open = 0;
    std::uint64_t read_while_open = 0;
    bool sent = false, closed = false;
    int later_boxes = 0;
    QTimer operator_;
    QObject::connect(&operator_, &QTimer::timeout, [&] {
        most_open = std::max(most_open, visible_message_boxes());
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (closed || most_open > 1) {  // any further box is a fault: close it at once
            ++later_boxes;
            QTest::keyClick(box, Qt::Key_Enter);
            return;
        }
        const std::uint64_t read = app->searchSocket()->datagramsRead();
        if (!sent) {
            read_at_open = read;
            sendJunk(kWhileOpen);
            sent = true;
        } else if (read - read_at_open == kWhileOpen) {
            read_while_open = read - read_at_open;
            closed = true;
            QTest::keyClick(box, Qt::Key_Enter);
        }
    });
    operator_.start(5);

    sendJunk(1);
    ASSERT_TRUE(waitFor([&] { return closed && visible_message_boxes() == 0; }, 5000));
    settle(100);
    operator_.stop();

    EXPECT_EQ(most_open, 1);
    EXPECT_EQ(later_boxes, 0);
    EXPECT_EQ(read_while_open, std::uint64_t{kWhileOpen});
    const QStringList lines = app->logWindow()->lines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), "Invalid OPCODE Received (40 more while the message was open)");
    EXPECT_EQ(visible_message_boxes(), 0);  // none followed: nothing came after it closed
}

}  // namespace
}  // namespace quorin::testing
