// The reply dispatcher through real sockets against the board simulator and its fault hooks.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QNetworkProxyFactory>
#include <memory>
#include <vector>

#include "app/config_sock.h"
#include "app/config_window.h"
#include "app/quorin_config_tool_app.h"
#include "log/log_dlg.h"
#include "res/texts.h"
#include "sim/board_simulator.h"
#include "sim/sim_board.h"
#include "tests/support/core_states.h"
#include "tests/support/loopback.h"
#include "tests/support/recording_services.h"

namespace quorin {
namespace {

using testing::settle;
using testing::waitFor;

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

class ListingWindow : public ConfigWindow {
  public:
    void appendBoardEntry(const QString& mac) override { entries << mac; }
    bool selectFirstBoard() override { return !entries.isEmpty(); }
    void OnBoardDisplay() override { ++displays; }
    void OnUploadReply() override {}
    void OnUploadDone() override {}
    QStringList entries;
    int displays = 0;
};

std::vector<sim::SimBoard> boards(std::uint8_t product, int count, int first_index = 0) {
    std::vector<sim::SimBoard> out;
    for (int i = first_index; i < first_index + count; ++i) {
        sim::SimBoard b;
        b.row = sim::default_board_row({0, product}, i, sim::board_address({127, 0, 1, 0}, i));
        out.push_back(b);
    }
    return out;
}

class AppAgainstSimulator : public ::testing::Test {
  protected:
    void start(std::vector<sim::SimBoard> simulated) {
        sim_ = std::make_unique<sim::BoardSimulator>(std::move(simulated));
        sim::SimConfig config;
        config.main_port = 0;
        config.legacy_port = 0;
        config.upload_port = 0;
        config.stream_port = 0;
        QString error;
        ASSERT_TRUE(sim_->start(config, &error)) << error.toStdString();
        app_ = std::make_unique<CQuorinConfigToolApp>(
            messages_, testing::loopback_target(sim_->mainPort(), sim_->legacyPort()));
        app_->OpenSockets(&window_);
        log_ = std::make_unique<CLogDlg>();
        app_->setLogWindow(log_.get());
    }
    void search() { app_->SendData(OPCODE_SEARCH_REQUEST); }
    void TearDown() override {
        log_.reset();
        app_.reset();
        sim_.reset();
    }

    platform::RecordingMessageBoxes messages_;
    ListingWindow window_;
    std::unique_ptr<sim::BoardSimulator> sim_;
    std::unique_ptr<CQuorinConfigToolApp> app_;
    std::unique_ptr<CLogDlg> log_;
};

TEST_F(AppAgainstSimulator, BoardAnsweringTwiceIsListedOnceAndLoggedTwice) {
    auto simulated = boards(2, 3);
    simulated[1].faults.search_twice = true;
    start(simulated);
    search();
    ASSERT_TRUE(waitFor([&] { return window_.displays == 4; }));
    settle();
    EXPECT_EQ(window_.entries.size(), 3);
    EXPECT_EQ(app_->core().board_count(), 3);
    EXPECT_EQ(window_.displays, 4);
    EXPECT_EQ(log_->lines(), QStringList(4, qs(text::kLogSearchReply)));
}

TEST_F(AppAgainstSimulator, WrongOpcodeDuringASearchIsReported) {
    auto simulated = boards(6, 2);
    simulated[0].faults.wrong_opcode = OPCODE_SET_REPLY;
    start(simulated);
    search();
    ASSERT_TRUE(waitFor([&] { return messages_.shown.size() == 1 && window_.displays == 2; }));
    settle();
    EXPECT_EQ(messages_.shown, QStringList{qs(text::kInvalidOpcode)});
    EXPECT_EQ(app_->core().board_count(), 2);
}

TEST_F(AppAgainstSimulator, TruncatedReplyListsTheBoardWithZerosForWhatIsMissing) {
    auto simulated = boards(2, 1);
    simulated[0].faults.truncate_reply = 146;  // the header only: no channel records
    start(simulated);
    search();
    ASSERT_TRUE(waitFor([&] { return window_.displays == 1; }));
    const BoardRow& row = app_->core().board(0);
    EXPECT_EQ(row.mac_address, simulated[0].row.mac_address);
    EXPECT_EQ(row.local_ip, simulated[0].row.local_ip);
    EXPECT_EQ(row.pppoe_id, simulated[0].row.pppoe_id);
    for (const ChannelBlock& ch : row.channel) EXPECT_EQ(ch, ChannelBlock{});
}

TEST_F(AppAgainstSimulator, RepliesWhileIdleChangeNothing) {
    start(boards(2, 2));
    app_->SendData(OPCODE_SEARCH_REQUEST);
    testing::reach_state(app_->core(), OperationState::Idle);  // nobody waits for the replies
    // Both replies arrived and were read: what follows is the tool dropping them.
    ASSERT_TRUE(waitFor([&] { return app_->searchSocket()->datagramsRead() == 2; }));
    settle(100);
    EXPECT_EQ(app_->searchSocket()->datagramsRead(), 2u);
    EXPECT_EQ(app_->core().board_count(), 0);
    EXPECT_TRUE(window_.entries.isEmpty());
    EXPECT_TRUE(messages_.shown.isEmpty());
    EXPECT_TRUE(log_->lines().isEmpty());
}

TEST_F(AppAgainstSimulator, TwoHundredAndOneBoardsFillTheTableAndNoMore) {
    start(boards(2, 201));
    search();
    ASSERT_TRUE(waitFor([&] { return app_->core().board_count() == 200; }, 5000));
    settle(500);
    EXPECT_EQ(app_->core().board_count(), 200);
    EXPECT_EQ(app_->core().listed_count(), 200);
    EXPECT_EQ(window_.entries.size(), 200);
    EXPECT_TRUE(app_->core().table_overflowed());
    // Every reply is logged, the 201st too, and one line says the table is full.
    EXPECT_EQ(log_->lines().count(qs(text::kLogSearchReply)), 201);
    EXPECT_EQ(log_->lines().count(qs(text::kLogBoardTableFull)), 1);
    EXPECT_TRUE(messages_.shown.isEmpty());
}

// Counts every proxy query; hands out a proxy that would fail if anything used it.
class RecordingProxyFactory : public QNetworkProxyFactory {
  public:
    explicit RecordingProxyFactory(int* queries) : queries_(queries) {}
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery&) override {
        ++*queries_;
        return {QNetworkProxy(QNetworkProxy::Socks5Proxy, QStringLiteral("127.0.0.1"), 9)};
    }

  private:
    int* queries_;
};

TEST_F(AppAgainstSimulator, NoSocketOfTheToolOrTheSimulatorConsultsAProxy) {
    int queries = 0;
    QNetworkProxyFactory::setApplicationProxyFactory(new RecordingProxyFactory(&queries));
    start(boards(2, 2));
    QStringList events;
    QObject::connect(sim_.get(), &sim::BoardSimulator::event, [&](const QJsonObject& e) {
        events << e.value(QStringLiteral("event")).toString();
    });
    search();
    ASSERT_TRUE(waitFor([&] { return app_->core().board_count() == 2; }));
    // An upload request makes the board listen for the firmware on a TCP port of its own.
    app_->core().working = app_->core().board(0);
    app_->SendData(OPCODE_UPLOAD_REQUEST);
    ASSERT_TRUE(waitFor([&] { return events.contains(QStringLiteral("upload_listening")); }));
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);  // as the test main left it
    EXPECT_EQ(queries, 0);
    EXPECT_EQ(app_->searchSocket()->proxy().type(), QNetworkProxy::NoProxy);
    EXPECT_EQ(app_->legacySocket()->proxy().type(), QNetworkProxy::NoProxy);
}

}  // namespace
}  // namespace quorin
