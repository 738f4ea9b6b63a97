// Firmware upload end to end: the window against the board simulator through real UDP and TCP on
// loopback. The simulator's event log says what each board received (its sha256); every fault
// hook ends in its message. Manual timers stand in for the 1, 2, 5, 10 and 30 s waits, and the
// streamed transfer uses the instant pacer unless a test is about its real pace.
#include <QApplication>
#include <functional>
#include <memory>
#include <ostream>

#include "app/quorin_config_tool_app.h"
#include "log/log_dlg.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "tests/support/manual_window_timers.h"
#include "tests/support/recording_services.h"
#include "tests/support/simulated_input.h"
#include "tests/support/upload_sim.h"
#include "ui/quorin_config_tool_dlg.h"
#include "ui/ui_text.h"
#include "upload/pacer.h"
#include "upload/upload_sock.h"
#include "upload/upload_worker.h"

namespace quorin::testing {
namespace {

using namespace res;
using namespace uploadtimer;

class UploadAgainstSimulator : public ::testing::Test {
  protected:
    void TearDown() override {
        dlg_.reset();
        app_.reset();
        sim_.reset();
    }

    // Boards of `products` (faults set by `configure`), the window aimed at them, a search made.
    void start(const std::vector<std::uint8_t>& products,
               const std::function<void(UploadSimulator&)>& configure = {},
               bool real_pacing = false) {
        sim_ = std::make_unique<UploadSimulator>(products);
        if (configure) configure(*sim_);
        ASSERT_TRUE(sim_->start());
        app_ = std::make_unique<CQuorinConfigToolApp>(
            messages_, loopback_target(sim_->mainPort(), sim_->legacyPort(), sim_->uploadPort(),
                                       sim_->streamPort()));
        dlg_ =
            std::make_unique<CQuorinConfigToolDlg>(*app_, WindowServices{timers_, files_});
        dlg_->OnInitDialog();
        if (!real_pacing) dlg_->uploadWorker().setPacer(pacer_);
        click(*dlg_, IDC_VIEW_LOG);
        click(*dlg_, IDC_SEARCH);
        ASSERT_TRUE(waitFor([&] { return app_->core().board_count() == int(products.size()); }));
    }

    // Shows simulated board `board` by clicking its entry.
    void select(int board) {
        const QString mac = QString::fromStdString(mac_text(sim_->row(board).mac_address));
        const int index = static_cast<int>(dlg_->listItems(IDC_BOARD_LIST).indexOf(mac));
        ASSERT_GE(index, 0);
        simulate_select(*dlg_, IDC_BOARD_LIST, index);
    }
    QByteArray choose(qsizetype size) {
        const QByteArray image = test_image(size);
        files_.next = images_.write("firmware.bin", image);
        click(*dlg_, IDC_BROWSE);
        return image;
    }
    // Upload on a main-protocol board up to the start of its transfer.
    void startMainUpload() {
        click(*dlg_, IDC_UPLOAD);
        ASSERT_TRUE(waitFor([&] { return timers_.isArmed(kStartDelay); }));
        ASSERT_TRUE(timers_.fire(kStartDelay));
    }
    // Upload on a legacy board up to the start of its worker, once the board listens.
    void startLegacyUpload(int board) {
        const std::size_t before = sim_->count("upload_listening", board);
        click(*dlg_, IDC_UPLOAD);
        ASSERT_TRUE(waitFor([&] { return sim_->count("upload_listening", board) > before; }));
        ASSERT_TRUE(timers_.fire(kStreamStart));
    }
    QString receivedHash(int board) {
        if (!waitFor([&] { return sim_->count("image_received", board) > 0; })) return {};
        return sim_->named("image_received", board).back().value("sha256").toString();
    }
    bool messageShown() {
        return waitFor([&] { return !messages_.shown.isEmpty(); }, 5000);
    }

    std::unique_ptr<UploadSimulator> sim_;
    platform::RecordingMessageBoxes messages_;
    platform::ManualWindowTimers timers_;
    platform::ScriptedFileChooser files_;
    InstantPacer pacer_;
    ImageFiles images_;
    std::unique_ptr<CQuorinConfigToolApp> app_;
    std::unique_ptr<CQuorinConfigToolDlg> dlg_;
};

TEST_F(UploadAgainstSimulator, HundredKibibytesReachAMainBoardExactly) {
    start({2});
    select(0);
    const QByteArray image = choose(100 * 1024);
    startMainUpload();
    ASSERT_TRUE(messageShown());
    EXPECT_EQ(messages_.shown, QStringList{ui_text(text::kUploadCompletedMain)});
    EXPECT_EQ(receivedHash(0), sha256_hex(image));
    EXPECT_EQ(app_->core().operation_state(), OperationState::UploadCompleted);
    EXPECT_EQ(dlg_->uploadSock().state(), AckState::Finished);
    EXPECT_EQ(dlg_->progressPos(IDC_PROGRESS), 0);
    EXPECT_TRUE(dlg_->isEnabled(IDC_UPLOAD));
    EXPECT_FALSE(dlg_->uploadRunning());
    EXPECT_FALSE(timers_.isArmed(kUploadGuard));
    EXPECT_FALSE(timers_.isArmed(uploadtimer::kAckTimeout));
    const QStringList log = app_->logWindow()->lines();
    EXPECT_TRUE(log.contains(ui_text(text::kLogUploadReply)));
    EXPECT_TRUE(log.contains("127.0.1.1"));
}

TEST_F(UploadAgainstSimulator, TwentyKibibytesReachALegacyBoardExactly) {
    start({2, 4});
    select(1);
    const QByteArray image = choose(20 * 1024);
    startLegacyUpload(1);
    ASSERT_TRUE(waitFor([&] { return timers_.isArmed(uploadtimer::kFinishStep); }));
    EXPECT_EQ(receivedHash(1), sha256_hex(image));
    EXPECT_EQ(dlg_->progressPos(IDC_PROGRESS), 20);
    for (int i = 0; i < 11; ++i) ASSERT_TRUE(timers_.fire(uploadtimer::kFinishStep));
    EXPECT_EQ(messages_.shown, QStringList{ui_text(text::kUploadCompletedLegacy)});
    EXPECT_EQ(dlg_->progressPos(IDC_PROGRESS), 0);
    EXPECT_TRUE(dlg_->isEnabled(IDC_UPLOAD));
    EXPECT_EQ(app_->core().operation_state(), OperationState::Idle);
    EXPECT_EQ(pacer_.total_ms(), 300 + 100 * (20 + 1));
}

// --- fault hooks -----------------------------------------------------------------------------

struct MainFault {
    const char* label;
    std::function<void(sim::FaultConfig&)> set;
    // Brings the transfer to the point where the waited-for timer is due, then fires it.
    std::function<void(UploadSimulator&, platform::ManualWindowTimers&, CQuorinConfigToolDlg&)>
        expire;
    std::string_view message;
    bool upload_enabled_after;
};

void PrintTo(const MainFault& f, std::ostream* os) {
    *os << f.label;
}

void fire_when_armed(platform::ManualWindowTimers& timers, int id) {
    ASSERT_TRUE(waitFor([&] { return timers.isArmed(id); }));
    settle(50);  // nothing further arrives meanwhile
    ASSERT_TRUE(timers.fire(id));
}

const MainFault kMainFaults[] = {
    {"refuse_upload", [](sim::FaultConfig& f) { f.refuse_upload = true; },
     [](UploadSimulator&, platform::ManualWindowTimers& t, CQuorinConfigToolDlg&) {
         for (int attempt = 0; attempt < 3; ++attempt)
             fire_when_armed(t, uploadtimer::kConnectRetry);
     },
     text::kConnectionFail, false},
    {"ack_stop_after", [](sim::FaultConfig& f) { f.ack_stop_after = 2; },
     [](UploadSimulator& sim, platform::ManualWindowTimers& t, CQuorinConfigToolDlg&) {
         ASSERT_TRUE(waitFor([&] { return sim.count("ack_sent") == 3; }));
         fire_when_armed(t, uploadtimer::kAckTimeout);
     },
     text::kAckTimeout, false},
    {"ack_byte", [](sim::FaultConfig& f) { f.ack_byte = 0x21; },
     [](UploadSimulator& sim, platform::ManualWindowTimers& t, CQuorinConfigToolDlg&) {
         ASSERT_TRUE(waitFor([&] { return sim.count("ack_sent") == 1; }));
         // The refused size acknowledgement armed timer 2 once more.
         ASSERT_TRUE(waitFor([&] { return t.armCount(uploadtimer::kAckTimeout) == 2; }));
         fire_when_armed(t, uploadtimer::kAckTimeout);
     },
     text::kAckTimeout, false},
    {"close_after_blocks", [](sim::FaultConfig& f) { f.close_after_blocks = 3; },
     [](UploadSimulator& sim, platform::ManualWindowTimers& t, CQuorinConfigToolDlg& dlg) {
         ASSERT_TRUE(waitFor([&] { return sim.count("upload_closed") == 1; }));
         ASSERT_TRUE(waitFor([&] { return dlg.progressPos(IDC_PROGRESS) == 0; }));
         fire_when_armed(t, uploadtimer::kAckTimeout);
     },
     text::kAckTimeout, false},
    {"no_upload_complete", [](sim::FaultConfig& f) { f.no_upload_complete = true; },
     [](UploadSimulator&, platform::ManualWindowTimers& t, CQuorinConfigToolDlg& dlg) {
         ASSERT_TRUE(waitFor([&] { return dlg.uploadSock().state() == AckState::Finished; }));
         fire_when_armed(t, kUploadGuard);
     },
     text::kNoUploadComplete, true},
};

class MainBoardFaults : public UploadAgainstSimulator,
                        public ::testing::WithParamInterface<MainFault> {};

TEST_P(MainBoardFaults, EndInTheirMessage) {
    const MainFault& fault = GetParam();
    start({2}, [&](UploadSimulator& sim) { fault.set(sim.faults(0)); });
    select(0);
    choose(5000);
    startMainUpload();
    fault.expire(*sim_, timers_, *dlg_);
    QString expected = ui_text(fault.message);
    if (expected.contains("%1")) expected = expected.arg(30);
    EXPECT_EQ(messages_.shown, QStringList{expected});
    EXPECT_FALSE(dlg_->uploadRunning());
    EXPECT_FALSE(dlg_->uploadSock().busy());
    EXPECT_EQ(dlg_->isEnabled(IDC_UPLOAD), fault.upload_enabled_after);
    EXPECT_EQ(dlg_->progressPos(IDC_PROGRESS), 0);
    // Nothing more comes of it.
    settle(100);
    EXPECT_EQ(messages_.shown.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Hooks, MainBoardFaults, ::testing::ValuesIn(kMainFaults),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(UploadAgainstSimulator, LegacyBoardThatNeverListensEndsInConnectionFailure) {
    start({4}, [](UploadSimulator& sim) { sim.faults(0).refuse_upload = true; });
    select(0);
    choose(3000);
    click(*dlg_, IDC_UPLOAD);
    ASSERT_TRUE(timers_.fire(kStreamStart));
    ASSERT_TRUE(messageShown());
    EXPECT_EQ(messages_.shown, QStringList{ui_text(text::kStreamConnectionFailure)});
    EXPECT_EQ(pacer_.waits(), (std::vector<int>{300, 500, 500, 500, 500}));
    EXPECT_FALSE(dlg_->isEnabled(IDC_UPLOAD));
    EXPECT_EQ(app_->core().operation_state(), OperationState::Idle);
}

// The board closes after two blocks: only the real pace lets its close be seen before the rest
// of the image is handed to the system.
TEST_F(UploadAgainstSimulator, LegacyBoardThatClosesEndsInASendError) {
    start(
        {4}, [](UploadSimulator& sim) { sim.faults(0).close_after_blocks = 2; }, true);
    select(0);
    choose(20 * 1024);
    click(*dlg_, IDC_UPLOAD);
    ASSERT_TRUE(waitFor([&] { return sim_->count("upload_listening") == 1; }));
    ASSERT_TRUE(timers_.fire(kStreamStart));
    ASSERT_TRUE(messageShown());
    EXPECT_EQ(messages_.shown, QStringList{ui_text(text::kDataSendError)});
    EXPECT_EQ(dlg_->progressPos(IDC_PROGRESS), 0);
    EXPECT_EQ(dlg_->uploadProcedure().stream_status(), StreamStatus::Failed);
    EXPECT_TRUE(app_->logWindow()->lines().contains(ui_text(text::kLogUploadClosedAbnormally)));
    EXPECT_FALSE(timers_.isArmed(uploadtimer::kFinishStep));
}

// The guard has told the operator that the board did not report; its report after all is
// told too, so that "did not report" is not the last word.
TEST_F(UploadAgainstSimulator, AReportAfterTheGuardIsToldAsACompletion) {
    start({2}, [](UploadSimulator& sim) { sim.faults(0).no_upload_complete = true; });
    select(0);
    choose(3000);
    startMainUpload();
    ASSERT_TRUE(
        waitFor([&] { return timers_.isArmed(kUploadGuard) && !dlg_->uploadSock().busy(); }));
    ASSERT_TRUE(timers_.fire(kUploadGuard));
    std::vector<std::uint8_t> report(kMainPacketSize, 0);
    report[0] = OPCODE_UPLOAD_COMPLETE;
    app_->HandleDatagram(kSearchSocketTag, report);
    EXPECT_EQ(messages_.shown, (QStringList{ui_text(text::kNoUploadComplete).arg(30),
                                            ui_text(text::kUploadLateReport)}));
    EXPECT_EQ(app_->core().operation_state(), OperationState::UploadCompleted);
    app_->HandleDatagram(kSearchSocketTag, report);  // told once
    EXPECT_EQ(messages_.shown.size(), 2);
}

// --- aging -------------------------------------------------------------------------------------

// One upload of an aging series, from the restart timer to the board's completion report.
void aging_upload(platform::ManualWindowTimers& timers, CQuorinConfigToolDlg& dlg) {
    ASSERT_TRUE(timers.fire(kAgingRestart));
    ASSERT_TRUE(waitFor([&] { return timers.isArmed(kStartDelay); }));
    ASSERT_TRUE(timers.fire(kStartDelay));
    ASSERT_TRUE(waitFor([&] { return !dlg.uploadRunning(); }));
}

TEST_F(UploadAgainstSimulator, AgingCountsItsCyclesThenRunsOneMoreUpload) {
    start({2});
    select(0);
    const QByteArray image = choose(3000);
    dlg_->setAgingCycleLimit(2);
    dlg_->sendCommand(IDC_UPLOAD_AGING);
    for (int cycle = 1; cycle <= 2; ++cycle) {
        SCOPED_TRACE(cycle);
        aging_upload(timers_, *dlg_);
        EXPECT_EQ(dlg_->agingSeries().count(), cycle);
        EXPECT_EQ(timers_.period(kAgingRestart), kAgingRestartMs);
        EXPECT_EQ(dlg_->windowTitle(),
                  ui_text(text::kAgingTitle).arg(ui_text(text::kMainCaption)).arg(cycle).arg(2));
        EXPECT_TRUE(
            app_->logWindow()->lines().contains(ui_text(text::kLogAgingCycle).arg(cycle).arg(2)));
    }
    EXPECT_TRUE(messages_.shown.isEmpty());  // the counted cycles report in the log
    aging_upload(timers_, *dlg_);            // the last one, not counted
    EXPECT_EQ(dlg_->agingSeries().count(), 2);
    EXPECT_EQ(dlg_->agingSeries().phase(), AgingSeries::Phase::Over);
    EXPECT_FALSE(timers_.isArmed(kAgingRestart));
    EXPECT_EQ(messages_.shown, QStringList{ui_text(text::kUploadCompletedMain)});
    EXPECT_TRUE(app_->logWindow()->lines().contains(ui_text(text::kLogAgingFinished).arg(2)));
    ASSERT_TRUE(waitFor([&] { return sim_->count("image_received", 0) == 3; }));
    for (const QJsonObject& e : sim_->named("image_received", 0))
        EXPECT_EQ(e.value("sha256").toString(), sha256_hex(image));
}

TEST_F(UploadAgainstSimulator, AgingEndsAtTheFirstFailedTransfer) {
    start({2, 2}, [](UploadSimulator& sim) { sim.faults(1).ack_stop_after = 1; });
    select(0);
    choose(3000);
    dlg_->setAgingCycleLimit(5);
    dlg_->sendCommand(IDC_UPLOAD_AGING);
    aging_upload(timers_, *dlg_);
    ASSERT_EQ(dlg_->agingSeries().count(), 1);
    select(1);  // the next upload goes to a board that stops acknowledging
    ASSERT_TRUE(timers_.fire(kAgingRestart));
    ASSERT_TRUE(waitFor([&] { return timers_.isArmed(kStartDelay); }));
    ASSERT_TRUE(timers_.fire(kStartDelay));
    ASSERT_TRUE(waitFor([&] { return sim_->count("ack_sent", 1) == 2; }));
    fire_when_armed(timers_, uploadtimer::kAckTimeout);
    EXPECT_EQ(messages_.shown, QStringList{ui_text(text::kAckTimeout)});
    EXPECT_EQ(dlg_->agingSeries().phase(), AgingSeries::Phase::Over);
    EXPECT_EQ(dlg_->agingSeries().count(), 1);
    EXPECT_FALSE(timers_.isArmed(kAgingRestart));
    EXPECT_TRUE(app_->logWindow()->lines().contains(ui_text(text::kLogAgingStopped).arg(1).arg(5)));
}

// --- closing the window during an upload -------------------------------------------------------

TEST_F(UploadAgainstSimulator, ClosingTheWindowDuringAStreamedTransferStopsItCleanly) {
    start({4}, {}, true);
    select(0);
    choose(64 * 1024);
    click(*dlg_, IDC_UPLOAD);
    ASSERT_TRUE(waitFor([&] { return sim_->count("upload_listening") == 1; }));
    ASSERT_TRUE(timers_.fire(kStreamStart));
    ASSERT_TRUE(waitFor([&] { return dlg_->progressPos(IDC_PROGRESS) >= 2; }));
    dlg_.reset();
    ASSERT_TRUE(waitFor([&] { return sim_->count("image_received") == 1; }));
    const QJsonObject received = sim_->named("image_received").front();
    EXPECT_FALSE(received.value("complete").toBool());
    EXPECT_EQ(received.value("reason").toString(), "closed_by_tool");
}

TEST_F(UploadAgainstSimulator, ClosingTheWindowDuringAnAcknowledgedTransferStopsItCleanly) {
    start({2}, [](UploadSimulator& sim) { sim.faults(0).ack_stop_after = 3; });
    select(0);
    choose(20 * 1024);
    startMainUpload();
    ASSERT_TRUE(waitFor([&] { return sim_->count("ack_sent") == 4; }));
    dlg_.reset();
    ASSERT_TRUE(waitFor([&] { return sim_->count("image_received") == 1; }));
    EXPECT_EQ(sim_->named("image_received").front().value("reason").toString(), "closed_by_tool");
    EXPECT_TRUE(messages_.shown.isEmpty());
}

}  // namespace
}  // namespace quorin::testing
