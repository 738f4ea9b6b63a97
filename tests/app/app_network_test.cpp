// The application object through real sockets on loopback: requests received by test sockets
// standing in for boards, replies sent back to the tool's sockets.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/config_sock.h"
#include "app/config_window.h"
#include "app/quorin_config_tool_app.h"
#include "log/log_dlg.h"
#include "protocol/record_codec.h"
#include "res/texts.h"
#include "tests/support/core_states.h"
#include "tests/support/loopback.h"
#include "tests/support/recording_services.h"

namespace quorin {
namespace {

using testing::waitFor;

using Bytes = std::vector<std::uint8_t>;

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

class FakeWindow : public ConfigWindow {
  public:
    void appendBoardEntry(const QString& mac) override {
        entries << mac;
        if (on_append) on_append();
    }
    bool selectFirstBoard() override {
        ++selects;
        return list_accepts && !entries.isEmpty();
    }
    void OnBoardDisplay() override { ++displays; }
    void OnUploadReply() override { ++upload_replies; }
    void OnUploadDone() override { ++upload_done; }

    QStringList entries;
    std::function<void()> on_append;
    bool list_accepts = true;
    int selects = 0, displays = 0, upload_replies = 0, upload_done = 0;
};

BoardRow board(std::uint8_t product, std::uint8_t mac_last) {
    BoardRow row;
    row.mac_address = {0x00, 0x08, 0xDC, 0x00, 0x00, mac_last};
    row.product_code = {0x00, product};
    row.local_ip = {127, 0, 1, mac_last};
    return row;
}

Bytes reply(const BoardRow& row, std::uint8_t opcode) {
    if (uses_legacy_protocol(row.product_code)) {
        return encode_legacy_datagram(row, opcode == OPCODE_SEARCH_REPLY ? "IMIN" : "SETC");
    }
    return encode_main_datagram(row, opcode, 0);
}

class AppOnLoopback : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(mainBoard.bind(QHostAddress::AnyIPv4, 0));
        ASSERT_TRUE(legacyBoard.bind(QHostAddress::AnyIPv4, 0));
        NetworkTarget target;
        target.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
        target.main_port = mainBoard.localPort();
        target.legacy_board_port = legacyBoard.localPort();
        target.legacy_local_port = 0;
        app = std::make_unique<CQuorinConfigToolApp>(messages, target);
        app->OpenSockets(&window);
        log = new CLogDlg();
        app->setLogWindow(log);
    }
    void TearDown() override {
        delete log;
        app.reset();
    }

    QNetworkDatagram next(QUdpSocket& s) {
        if (!waitFor([&] { return s.hasPendingDatagrams(); })) return {};
        return s.receiveDatagram();
    }
    void sendFromBoard(QUdpSocket& from, const Bytes& d, CConfigSock* to) {
        from.writeDatagram(reinterpret_cast<const char*>(d.data()), qint64(d.size()),
                           QHostAddress::LocalHost, to->localPort());
    }
    // No further datagram arrives at `s` within a short while.
    bool quiet(QUdpSocket& s) {
        return !waitFor([&] { return s.hasPendingDatagrams(); }, 200);
    }

    platform::RecordingMessageBoxes messages;
    FakeWindow window;
    QUdpSocket mainBoard, legacyBoard;
    std::unique_ptr<CQuorinConfigToolApp> app;
    CLogDlg* log = nullptr;
};

TEST_F(AppOnLoopback, SearchSendsExactlyTwoDatagrams) {
    app->SendData(OPCODE_SEARCH_REQUEST);
    const QNetworkDatagram search = next(mainBoard);
    const QByteArray bytes = search.data();
    ASSERT_EQ(bytes.size(), 402);
    EXPECT_EQ(quint8(bytes[0]), 1);
    EXPECT_EQ(quint8(bytes[1]), app->core().host_tag);
    EXPECT_EQ(bytes.mid(2), QByteArray(400, '\0'));
    EXPECT_EQ(search.senderPort(), app->searchSocket()->localPort());

    const QNetworkDatagram find = next(legacyBoard);
    EXPECT_EQ(find.data(), QByteArray("FIND"));
    EXPECT_EQ(find.senderPort(), app->legacySocket()->localPort());
    EXPECT_TRUE(quiet(mainBoard));
    EXPECT_TRUE(quiet(legacyBoard));
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(AppOnLoopback, SetRequestsByProduct) {
    struct Case {
        std::uint8_t product;
        bool legacy;
        int length;
    };
    for (const Case& c : {Case{1, false, 226}, Case{3, false, 290}, Case{5, false, 290},
                          Case{2, false, 402}, Case{6, false, 402}, Case{4, true, 120}}) {
        SCOPED_TRACE(int(c.product));
        app->core().working = board(c.product, 1);
        app->SendData(OPCODE_SET_REQUEST);
        QUdpSocket& at = c.legacy ? legacyBoard : mainBoard;
        const QByteArray got = next(at).data();
        ASSERT_EQ(got.size(), c.length);
        if (c.legacy) {
            EXPECT_EQ(got.left(4), QByteArray("SETT"));
        } else {
            EXPECT_EQ(quint8(got[0]), OPCODE_SET_REQUEST);
        }
        EXPECT_TRUE(quiet(c.legacy ? mainBoard : legacyBoard));
    }
}

TEST_F(AppOnLoopback, ProductTwoThenThreeCarriesZerosPastTheShortLayout) {
    BoardRow two = board(2, 1);
    for (auto& b : two.pppoe_password) b = 'p';
    app->core().working = two;
    app->SendData(OPCODE_SET_REQUEST);
    ASSERT_EQ(next(mainBoard).data().size(), 402);

    BoardRow three = board(3, 2);
    app->core().working = three;
    app->SendData(OPCODE_SET_REQUEST);
    const QByteArray got = next(mainBoard).data();
    const Bytes expected = encode_main_datagram(three, OPCODE_SET_REQUEST, app->core().host_tag);
    ASSERT_EQ(expected.size(), 290u);
    EXPECT_EQ(got, QByteArray(reinterpret_cast<const char*>(expected.data()), 290));
}

TEST_F(AppOnLoopback, OtherOpcodesSendNothing) {
    app->core().working = board(2, 1);
    for (int opcode : {0, 2, 4, 6, 7, 9}) app->SendData(opcode);
    // A search sent afterwards is the first datagram either board sees: the sockets work, and
    // nothing went before it.
    app->SendData(OPCODE_SEARCH_REQUEST);
    const QByteArray first = next(mainBoard).data();
    ASSERT_EQ(first.size(), 402);
    EXPECT_EQ(quint8(first[0]), OPCODE_SEARCH_REQUEST);
    EXPECT_EQ(next(legacyBoard).data(), QByteArray("FIND"));
    EXPECT_TRUE(quiet(mainBoard));
    EXPECT_TRUE(quiet(legacyBoard));
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(AppOnLoopback, ThreeBoardsOneAnsweringTwice) {
    app->SendData(OPCODE_SEARCH_REQUEST);
    const BoardRow a = board(1, 1), b = board(2, 2), c = board(6, 3);
    for (const BoardRow* r : {&a, &b, &a, &c}) {
        sendFromBoard(mainBoard, reply(*r, OPCODE_SEARCH_REPLY), app->searchSocket());
    }
    ASSERT_TRUE(waitFor([&] { return window.displays == 4; }));
    EXPECT_EQ(window.entries,
              (QStringList{"00:08:DC:00:00:01", "00:08:DC:00:00:02", "00:08:DC:00:00:03"}));
    EXPECT_EQ(app->core().board_count(), 3);
    EXPECT_EQ(window.selects, 4);
    EXPECT_EQ(log->lines(), QStringList(4, qs(text::kLogSearchReply)));
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(AppOnLoopback, LegacyBoardAnswersOnTheLegacySocket) {
    app->SendData(OPCODE_SEARCH_REQUEST);
    sendFromBoard(legacyBoard, reply(board(4, 8), OPCODE_SEARCH_REPLY), app->legacySocket());
    ASSERT_TRUE(waitFor([&] { return window.displays == 1; }));
    EXPECT_EQ(window.entries, QStringList{"00:08:DC:00:00:08"});
    EXPECT_EQ(app->core().board(0).product_code, (std::array<std::uint8_t, 2>{0, 4}));
    EXPECT_TRUE(log->lines().isEmpty());
}

TEST_F(AppOnLoopback, SetReplyTwiceAppliedOnce) {
    app->SendData(OPCODE_SEARCH_REQUEST);
    sendFromBoard(mainBoard, reply(board(2, 1), OPCODE_SEARCH_REPLY), app->searchSocket());
    ASSERT_TRUE(waitFor([&] { return window.displays == 1; }));

    app->core().working = board(2, 1);
    app->SendData(OPCODE_SET_REQUEST);
    BoardRow applied = board(2, 1);
    applied.gateway_ip = {127, 0, 0, 254};
    sendFromBoard(mainBoard, reply(applied, OPCODE_SET_REPLY), app->searchSocket());
    sendFromBoard(mainBoard, reply(board(2, 1), OPCODE_SET_REPLY), app->searchSocket());
    sendFromBoard(mainBoard, reply(board(2, 77), OPCODE_SET_REPLY), app->searchSocket());
    // One line for the search reply, then one per set reply, applied or not.
    ASSERT_TRUE(waitFor([&] { return log->lines().size() == 4; }));
    EXPECT_EQ(log->lines().mid(1), QStringList(3, qs(text::kLogSetReply)));
    EXPECT_EQ(messages.shown,
              (QStringList{qs(text::kSettingCompleted), qs(text::kInvalidMessage)}));
    EXPECT_EQ(app->core().board(0).gateway_ip, applied.gateway_ip);
}

TEST_F(AppOnLoopback, UploadHandOversByState) {
    testing::reach_state(app->core(), OperationState::UploadCompleteAwaited);
    sendFromBoard(mainBoard, reply(board(2, 1), OPCODE_UPLOAD_COMPLETE), app->searchSocket());
    ASSERT_TRUE(waitFor([&] { return window.upload_done == 1; }));

    testing::reach_state(app->core(), OperationState::UploadRequested);
    sendFromBoard(mainBoard, reply(board(2, 1), OPCODE_UPLOAD_COMPLETE), app->searchSocket());
    sendFromBoard(mainBoard, reply(board(2, 1), OPCODE_UPLOAD_REPLY), app->searchSocket());
    ASSERT_TRUE(waitFor([&] { return window.upload_replies == 1; }));
    EXPECT_EQ(window.upload_done, 1);
    EXPECT_EQ(log->lines(), QStringList{qs(text::kLogUploadReply)});
}

TEST_F(AppOnLoopback, ListRefusingTheSelectionIsReportedAndTheDisplayStillRuns) {
    window.list_accepts = false;
    app->SendData(OPCODE_SEARCH_REQUEST);
    sendFromBoard(mainBoard, reply(board(2, 1), OPCODE_SEARCH_REPLY), app->searchSocket());
    ASSERT_TRUE(waitFor([&] { return window.displays == 1; }));
    EXPECT_EQ(messages.shown, QStringList{qs(text::kListBoxError)});
}

TEST_F(AppOnLoopback, LinesAfterTheLogWindowIsDestroyedAreDropped) {
    app->AppendLog(text::kLogSearchRequest);
    EXPECT_EQ(log->lines().size(), 1);
    log->OnOK();
    app->AppendLog(text::kLogSearchRequest);  // must not fail
    delete log;
    log = nullptr;
    app->AppendLog(text::kLogSearchRequest);
    EXPECT_EQ(app->logWindow(), nullptr);
}

TEST_F(AppOnLoopback, ABurstIsReadInShortTurnsWithTheEventLoopRunningBetween) {
    // Each listed board costs the window a millisecond here, so a turn holds only a few.
    constexpr int kBurst = 40;
    constexpr auto kCostPerBoard = std::chrono::milliseconds(1);
    window.on_append = [&] { std::this_thread::sleep_for(kCostPerBoard); };
    app->SendData(OPCODE_SEARCH_REQUEST);
    for (int i = 0; i < kBurst; ++i) {
        sendFromBoard(mainBoard, reply(board(2, std::uint8_t(i)), OPCODE_SEARCH_REPLY),
                      app->searchSocket());
    }
    // A timer due on every pass of the event loop sees how many datagrams each pass read.
    const CConfigSock& socket = *app->searchSocket();
    std::uint64_t last = socket.datagramsRead();
    std::uint64_t most_per_pass = 0;
    int passes_that_read = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const std::uint64_t now = socket.datagramsRead();
        if (now > last) ++passes_that_read;
        most_per_pass = std::max(most_per_pass, now - last);
        last = now;
    });
    probe.start(0);
    ASSERT_TRUE(waitFor([&] { return socket.datagramsRead() == kBurst && last == kBurst; }));
    const auto per_turn = std::uint64_t{CConfigSock::kTurnBudgetMs / kCostPerBoard.count() + 1};
    EXPECT_LE(most_per_pass, per_turn);
    EXPECT_GE(passes_that_read, kBurst / static_cast<int>(per_turn));
    EXPECT_EQ(window.entries.size(), kBurst);
}

TEST_F(AppOnLoopback, JunkWhileAnInvalidOpcodeBoxIsOpenIsReadAndCountedNotShown) {
    app->SendData(OPCODE_SEARCH_REQUEST);
    const Bytes junk{0x09, 0x01};
    constexpr int kWhileOpen = 5;
    // The first box stays open while five more junk datagrams arrive and are read: its event loop
    // delivers them, as a modal box's does.
    std::uint64_t readWhileOpen = 0;
    messages.on_show = [&](const QString&) {
        if (messages.shown.size() > 1) return;
        const std::uint64_t before = app->searchSocket()->datagramsRead();
        for (int i = 0; i < kWhileOpen; ++i) sendFromBoard(mainBoard, junk, app->searchSocket());
        waitFor([&] { return app->searchSocket()->datagramsRead() == before + kWhileOpen; });
        readWhileOpen = app->searchSocket()->datagramsRead() - before;
    };
    sendFromBoard(mainBoard, junk, app->searchSocket());
    ASSERT_TRUE(waitFor([&] { return log->lines().size() == 1; }));
    EXPECT_EQ(readWhileOpen, std::uint64_t{kWhileOpen});
    EXPECT_EQ(messages.shown, QStringList{qs(text::kInvalidOpcode)});
    EXPECT_EQ(log->lines(),
              QStringList{"Invalid OPCODE Received (5 more while the message was open)"});

    // Once it is closed, the next junk datagram may open a box again.
    sendFromBoard(mainBoard, junk, app->searchSocket());
    ASSERT_TRUE(waitFor([&] { return messages.shown.size() == 2; }));
    testing::settle(100);
    EXPECT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(log->lines().size(), 1);  // nothing came while the second one was open
}

TEST_F(AppOnLoopback, UnknownSetRepliesWhileTheirBoxIsOpenAreCountedToo) {
    testing::reach_state(app->core(), OperationState::Set);
    messages.on_show = [&](const QString&) {
        if (messages.shown.size() > 1) return;
        // The nested handling of two more, as the box's event loop would deliver them.
        for (int mac = 2; mac <= 3; ++mac)
            app->HandleDatagram(kSearchSocketTag,
                                reply(board(2, std::uint8_t(mac)), OPCODE_SET_REPLY));
    };
    app->HandleDatagram(kSearchSocketTag, reply(board(2, 1), OPCODE_SET_REPLY));
    EXPECT_EQ(messages.shown, QStringList{qs(text::kInvalidMessage)});
    EXPECT_EQ(log->lines(),
              (QStringList{qs(text::kLogSetReply), qs(text::kLogSetReply),
                           "Invalid Message Received (2 more while the message was open)",
                           qs(text::kLogSetReply)}));
}

TEST_F(AppOnLoopback, SearchSocketAsksForALargeReceiveBuffer) {
    // What the system grants depends on its limits; it is never below its default.
    EXPECT_GT(app->receiveBufferGranted(), 0);
}

TEST(AppStartUp, LegacyPortHeldByAnotherProgramIsReportedAndStartUpGoesOn) {
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
    NetworkTarget target;
    target.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
    target.main_port = holder.localPort();
    target.legacy_board_port = holder.localPort();
    target.legacy_local_port = holder.localPort();
    platform::RecordingMessageBoxes messages;
    FakeWindow window;
    CQuorinConfigToolApp app(messages, target);
    app.OpenSockets(&window);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(QString::number(holder.localPort())));
    EXPECT_NE(app.searchSocket(), nullptr);
    EXPECT_EQ(app.core().operation_state(), OperationState::Idle);
}

TEST(AppStartUp, SocketsThatCannotBeCreatedAreReportedAndSendsAreSkipped) {
    NetworkTarget target;
    target.bind_address = QHostAddress(QStringLiteral("192.0.2.1"));  // not an address of ours
    target.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
    target.legacy_local_port = 0;
    platform::RecordingMessageBoxes messages;
    FakeWindow window;
    CQuorinConfigToolApp app(messages, target);
    app.OpenSockets(&window);
    ASSERT_GE(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0], qs(text::kSocketCreationFailed));
    app.SendData(OPCODE_SEARCH_REQUEST);  // must not crash
    EXPECT_EQ(app.core().board_count(), 0);
}

TEST(AppStartUp, LegacySocketFailureNamesAHeldPortOnlyWhenTheAddressIsInUse) {
    const QString held = qs(text::kLegacyPortBusy).arg(50001);
    const QString failed = qs(text::kSocketCreationFailed);
    const struct {
        QAbstractSocket::SocketError error;
        QString expected;
    } cases[] = {
        {QAbstractSocket::AddressInUseError, held},
        {QAbstractSocket::SocketAccessError, failed},    // a privileged port
        {QAbstractSocket::SocketResourceError, failed},  // no descriptors left
        {QAbstractSocket::SocketAddressNotAvailableError, failed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(legacy_socket_failure_text(c.error, 50001), c.expected) << c.error;
}

TEST(AppStartUp, OpeningTheSocketsDoesNotWaitForTheHostTagLookup) {
    // A lookup that does not answer until the test lets it (or ten seconds have passed).
    struct Resolver {
        std::mutex mutex;
        std::condition_variable answer;
        bool released = false;
        std::atomic<bool> returned{false};
    };
    auto resolver = std::make_shared<Resolver>();
    QUdpSocket board;
    ASSERT_TRUE(board.bind(QHostAddress::AnyIPv4, 0));
    platform::RecordingMessageBoxes messages;
    FakeWindow window;
    CQuorinConfigToolApp app(messages,
                             testing::loopback_target(board.localPort(), board.localPort()));
    app.setHostTagLookup([resolver] {
        std::unique_lock<std::mutex> lock(resolver->mutex);
        resolver->answer.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return resolver->released; });
        resolver->returned = true;
        return std::uint8_t{115};  // 192.168.1.10
    });
    const auto search_tag = [&] {
        app.SendData(OPCODE_SEARCH_REQUEST);
        waitFor([&] { return board.hasPendingDatagrams(); });
        const QByteArray request = board.receiveDatagram().data();
        while (board.hasPendingDatagrams()) board.receiveDatagram();  // the "FIND"
        return request.size() > 1 ? quint8(request[1]) : -1;
    };

    app.OpenSockets(&window);
    EXPECT_FALSE(resolver->returned);
    EXPECT_FALSE(app.hostTagKnown());
    EXPECT_EQ(search_tag(), 0);  // not known yet

    {
        const std::lock_guard<std::mutex> lock(resolver->mutex);
        resolver->released = true;
    }
    resolver->answer.notify_all();
    ASSERT_TRUE(waitFor([&] { return app.hostTagKnown(); }));
    EXPECT_EQ(search_tag(), 115);
    EXPECT_EQ(app.core().host_tag, 115);
}

TEST(AppStartUp, FailedSocketLayerShowsString103AndOpensNoWindow) {
    platform::RecordingMessageBoxes messages;
    CQuorinConfigToolApp app(messages);
    bool ran = false;
    app.setMainWindowRunner([&](CQuorinConfigToolApp&) { ran = true; });
    app.setSocketLayerStartup([] { return false; });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_FALSE(ran);
    EXPECT_EQ(messages.shown, QStringList{qs(text::kSocketsInitFailed)});

    app.setSocketLayerStartup([] { return true; });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace quorin
