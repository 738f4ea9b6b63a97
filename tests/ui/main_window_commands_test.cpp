// The Search and View Log commands, the about command, the upload reactions and Exit.
#include "log/log_dlg.h"
#include "protocol/upload_procedure.h"
#include "tests/support/core_states.h"
#include "tests/support/simulated_input.h"
#include "tests/ui/board_rows.h"
#include "tests/ui/window_fixture.h"

namespace quorin::testing {
namespace {

using namespace res;

using Commands = WindowFixture;

TEST_F(Commands, SearchEmptiesTheListDisablesSettingAndUploadAndWaitsForReplies) {
    addBoard(board_row(product::kQuorin712P, 1));
    addBoard(board_row(product::kDAVRO2xM, 2));
    ASSERT_TRUE(Dlg().isEnabled(IDC_SETTING));
    testing::reach_state(Core(), OperationState::Idle);

    click(Dlg(), IDC_SEARCH);

    EXPECT_EQ(Dlg().listCount(IDC_BOARD_LIST), 0);
    EXPECT_EQ(Dlg().listCurSel(IDC_BOARD_LIST), -1);
    EXPECT_FALSE(Dlg().isEnabled(IDC_SETTING));
    EXPECT_FALSE(Dlg().isEnabled(IDC_UPLOAD));
    EXPECT_EQ(Core().operation_state(), OperationState::Search);
    EXPECT_EQ(Core().board_count(), 0);
    // The other controls keep the last board's values.
    EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), "Quorin712P");
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(Commands, SearchSendsTheSearchRequest) {
    click(Dlg(), IDC_SEARCH);
    ASSERT_TRUE(waitFor([&] { return mainBoard->hasPendingDatagrams(); }));
    QByteArray datagram(static_cast<int>(mainBoard->pendingDatagramSize()), 0);
    mainBoard->readDatagram(datagram.data(), datagram.size());
    ASSERT_EQ(datagram.size(), 402);
    EXPECT_EQ(datagram[0], char{1});
    EXPECT_EQ(static_cast<std::uint8_t>(datagram[1]), Core().host_tag);
}

TEST_F(Commands, RepliesAfterASearchAreListedAgain) {
    addBoard(board_row(product::kQuorin712P, 1));
    click(Dlg(), IDC_SEARCH);
    addBoard(board_row(product::kQuorin712P, 1));
    EXPECT_EQ(Dlg().listItems(IDC_BOARD_LIST), QStringList{"00:08:DC:00:02:01"});
    EXPECT_TRUE(Dlg().isEnabled(IDC_SETTING));
    EXPECT_TRUE(Dlg().isEnabled(IDC_UPLOAD));
}

TEST_F(Commands, SearchLogsOnlyWhileALogWindowIsOpen) {
    click(Dlg(), IDC_SEARCH);  // no log window yet: the line is dropped
    click(Dlg(), IDC_VIEW_LOG);
    auto* log = App().logWindow();
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->lines().isEmpty());
    EXPECT_TRUE(log->isVisible());

    click(Dlg(), IDC_SEARCH);
    addBoard(board_row(product::kQuorin712P, 1));
    EXPECT_EQ(log->lines(), (QStringList{"Call SendData() with OPCODE_SEARCH_REQUEST",
                                         "Receive Data With OPCODE_SEARCH_REPLY"}));
}

TEST_F(Commands, ViewLogTwiceOnlyTheNewestWindowReceivesLines) {
    click(Dlg(), IDC_VIEW_LOG);
    CLogDlg* first = App().logWindow();
    click(Dlg(), IDC_SEARCH);
    click(Dlg(), IDC_VIEW_LOG);
    CLogDlg* second = App().logWindow();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_TRUE(second->lines().isEmpty());  // lines from before it existed are not shown

    click(Dlg(), IDC_SEARCH);
    const QStringList one_search{"Call SendData() with OPCODE_SEARCH_REQUEST"};
    EXPECT_EQ(first->lines(), one_search);
    EXPECT_EQ(second->lines(), one_search);
    EXPECT_TRUE(first->isVisible());  // the older window is left alone
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(first->parentWidget(), &Dlg());
}

TEST_F(Commands, AboutCommandIgnoresTheLowFourBits) {
    for (int command = 0; command <= 40; ++command) {
        SCOPED_TRACE(command);
        Dlg().OnSysCommand(command);
        const bool opens = command >= 16 && command <= 31;
        QDialog* box = Dlg().aboutBox();
        ASSERT_EQ(box != nullptr && box->isVisible(), opens);
        if (opens) {
            EXPECT_EQ(box->windowTitle(), "DAVRO2xM Config Tool Info");
            box->accept();  // "OK"
        }
    }
}

TEST_F(Commands, WindowMenuEndsWithASeparatorAndTheAboutItem) {
    QAction* item = Dlg().aboutMenuItem();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QString::fromUtf8("QuorinConfigTool 정보(&A)..."));
    const QList<QAction*> actions = Dlg().actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_EQ(actions.back(), item);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());

    item->trigger();
    ASSERT_NE(Dlg().aboutBox(), nullptr);
    EXPECT_TRUE(Dlg().aboutBox()->isVisible());
}

TEST_F(Commands, AboutBoxLeavesTheWindowUnchanged) {
    addBoard(board_row(product::kDAVRO2xM, 3));
    const QString model = Dlg().text(IDC_PRODUCT_CODE);
    Dlg().OnSysCommand(IDM_ABOUTBOX);
    ASSERT_NE(Dlg().aboutBox(), nullptr);
    Dlg().aboutBox()->accept();
    EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), model);
    EXPECT_EQ(Dlg().listCurSel(IDC_BOARD_LIST), 0);
}

TEST_F(Commands, UploadReplyAndReportWithoutAnUploadOfTheWindowShowNothing) {
    testing::reach_state(Core(), OperationState::UploadRequested);
    std::vector<std::uint8_t> reply(kMainPacketSize, 0);
    reply[0] = OPCODE_UPLOAD_REPLY;
    App().HandleDatagram(kSearchSocketTag, reply);
    EXPECT_EQ(Core().operation_state(), OperationState::UploadReplyReceived);
    EXPECT_FALSE(timers.isArmed(uploadtimer::kStartDelay));

    testing::reach_state(Core(), OperationState::UploadCompleteAwaited);
    Dlg().enable(IDC_UPLOAD, false);
    reply[0] = OPCODE_UPLOAD_COMPLETE;
    App().HandleDatagram(kSearchSocketTag, reply);
    EXPECT_EQ(Core().operation_state(), OperationState::UploadCompleted);
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_FALSE(Dlg().isEnabled(IDC_UPLOAD));
}

TEST_F(Commands, UploadCompletionIsDroppedWhileTheRequestIsOutstanding) {
    testing::reach_state(Core(), OperationState::UploadRequested);
    Dlg().enable(IDC_UPLOAD, false);
    std::vector<std::uint8_t> done(kMainPacketSize, 0);
    done[0] = OPCODE_UPLOAD_COMPLETE;
    App().HandleDatagram(kSearchSocketTag, done);
    EXPECT_EQ(Core().operation_state(), OperationState::UploadRequested);
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_FALSE(Dlg().isEnabled(IDC_UPLOAD));
}

TEST_F(Commands, ExitClosesTheWindow) {
    Dlg().show();
    click(Dlg(), IDCANCEL);
    EXPECT_EQ(Dlg().result(), QDialog::Rejected);
    EXPECT_FALSE(Dlg().isVisible());
}

}  // namespace
}  // namespace quorin::testing
