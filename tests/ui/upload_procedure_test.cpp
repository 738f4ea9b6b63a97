// The window's upload procedure without a simulator: the browse and Upload commands, the upload
// reply and the start of the transfer, the guards and the Upload button, with manual timers. Boards
// that a test connects to live on 127.0.1.x.
#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "log/log_dlg.h"
#include "protocol/upload_procedure.h"
#include "tests/support/simulated_input.h"
#include "tests/support/upload_sim.h"
#include "tests/ui/board_rows.h"
#include "tests/ui/user_input.h"
#include "tests/ui/window_fixture.h"
#include "ui/ui_text.h"
#include "upload/pacer.h"
#include "upload/upload_sock.h"
#include "upload/upload_worker.h"

namespace quorin::testing {
namespace {

using namespace res;
using namespace uploadtimer;

BoardRow loopback_board(std::uint8_t product, std::uint8_t id) {
    BoardRow row = board_row(product, id);
    row.local_ip = {127, 0, 1, static_cast<std::uint8_t>(20 + id)};
    return row;
}

class UploadProcedure : public WindowFixture {
  protected:
    void adjustTarget(NetworkTarget& target) override {
        target.upload_port = boardPort;
        target.stream_port = boardPort;
    }
    void SetUp() override {
        boardPort = free_tcp_port();
        WindowFixture::SetUp();
        Dlg().uploadWorker().setPacer(pacer);
        click(Dlg(), IDC_VIEW_LOG);
    }

    // Chooses an existing image file with the browse command.
    void chooseImage(const QByteArray& bytes = test_image(1500)) {
        files.next = images.write("fw.bin", bytes);
        click(Dlg(), IDC_BROWSE);
    }
    // Reads the next datagram a board socket received within `ms`; empty when none came.
    static QByteArray received(QUdpSocket& board, int ms = 1000) {
        if (!testing::waitFor([&] { return board.hasPendingDatagrams(); }, ms)) return {};
        QByteArray d(static_cast<qsizetype>(board.pendingDatagramSize()), 0);
        board.readDatagram(d.data(), d.size());
        return d;
    }
    void replyToUpload() {
        std::vector<std::uint8_t> reply(kMainPacketSize, 0);
        reply[0] = OPCODE_UPLOAD_REPLY;
        App().HandleDatagram(kSearchSocketTag, reply);
    }
    QStringList logLines() const { return app->logWindow()->lines(); }

    quint16 boardPort = 0;
    ImageFiles images;
    InstantPacer pacer;
};

TEST_F(UploadProcedure, WithoutAnImageNothingIsSent) {
    addBoard(loopback_board(product::kQuorin712P, 1));
    // A path typed into the file name edit is not an image choice.
    simulate_type(Dlg(), IDC_FILENAME, images.write("typed.bin", test_image(10)));
    click(Dlg(), IDC_UPLOAD);
    EXPECT_EQ(messages.shown, QStringList{ui_text(text::kFileNotSelected)});
    EXPECT_TRUE(received(*mainBoard, 200).isEmpty());
    EXPECT_EQ(Core().operation_state(), OperationState::Search);
    EXPECT_TRUE(Dlg().isEnabled(IDC_UPLOAD));
    EXPECT_FALSE(Dlg().uploadRunning());
}

TEST_F(UploadProcedure, BrowseKeepsThePathAndShowsItLowerCased) {
    const QString chosen = images.write("FirmWare-V2.BIN", test_image(10));
    files.next = chosen;
    click(Dlg(), IDC_BROWSE);
    EXPECT_EQ(files.last_filter, ui_text(text::kImageFileFilter));
    EXPECT_EQ(App().image_path, chosen);
    EXPECT_EQ(Dlg().text(IDC_FILENAME), chosen.toLower());

    files.next.reset();  // cancelled: nothing changes
    click(Dlg(), IDC_BROWSE);
    EXPECT_EQ(App().image_path, chosen);
    EXPECT_EQ(Dlg().text(IDC_FILENAME), chosen.toLower());

    // The file opens by the path as chosen, capitals and all.
    addBoard(loopback_board(product::kQuorin712P, 1));
    click(Dlg(), IDC_UPLOAD);
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_TRUE(Dlg().uploadRunning());
}

TEST_F(UploadProcedure, AnImageThatCannotBeOpenedStopsTheUpload) {
    addBoard(loopback_board(product::kQuorin712P, 1));
    files.next = images.path("gone.bin");
    click(Dlg(), IDC_BROWSE);
    click(Dlg(), IDC_UPLOAD);
    EXPECT_EQ(messages.shown, QStringList{ui_text(text::kFileCouldNotOpen)});
    EXPECT_TRUE(received(*mainBoard, 200).isEmpty());
    EXPECT_TRUE(Dlg().isEnabled(IDC_UPLOAD));
}

// A manifest beside the image that does not take the selected board stops Upload with its reason
// and sends nothing; one that takes it (or none at all) lets the upload run as before.
TEST_F(UploadProcedure, AManifestBesideTheImageStopsAnUploadItDoesNotAllow) {
    addBoard(loopback_board(product::kQuorin712P, 1));  // firmware 1.6.2
    simulate_select(Dlg(), IDC_BOARD_LIST, 0);
    const QByteArray image = test_image(1500);
    chooseImage(image);
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
    const auto manifest = [&](const QString& models, const QString& version, const QString& sha) {
        images.write("fw.bin.json",
                     QStringLiteral("{\"format_version\": 1, \"version\": \"%1\", \"models\": "
                                    "[%2], \"sha256\": \"%3\"}")
                         .arg(version, models, sha)
                         .toUtf8());
    };
    const QString path = images.path("fw.bin.json");
    const struct {
        QString models, version, sha;
        const char* says;
    } refusals[] = {
        {"\"DAVRO2xM\"", "1.6.3", digest,
         "model Quorin712P is not among the models of image 1.6.3"},
        {"\"Quorin712P\"", "1.5.3", digest, "its firmware 1.6.2 is newer than the image's 1.5.3"},
        {"\"Quorin712P\"", "1.6.3", QString(64, '0'), "its sha256 differs"},
        {"\"Toaster\"", "1.6.3", digest, "unknown model"},
    };
    for (const auto& r : refusals) {
        manifest(r.models, r.version, r.sha);
        messages.shown.clear();
        click(Dlg(), IDC_UPLOAD);
        ASSERT_EQ(messages.shown.size(), 1) << r.says;
        EXPECT_TRUE(messages.shown.front().startsWith(
            ui_text(text::kManifestRefusesUpload).arg(path, QString()).section(':', 0, 0)));
        EXPECT_TRUE(messages.shown.front().contains(QLatin1String(r.says)))
            << messages.shown.front().toStdString();
        EXPECT_TRUE(received(*mainBoard, 100).isEmpty()) << r.says;
        EXPECT_EQ(Core().operation_state(), OperationState::Search);
        EXPECT_TRUE(Dlg().isEnabled(IDC_UPLOAD));
    }
    // The board already at the version takes the image again, as the operator chose it.
    manifest("\"Quorin712P\"", "1.6.2", digest);
    messages.shown.clear();
    click(Dlg(), IDC_UPLOAD);
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('\n').toStdString();
    const QByteArray request = received(*mainBoard);
    ASSERT_EQ(request.size(), 402);
    EXPECT_EQ(request[0], char{OPCODE_UPLOAD_REQUEST});
}

TEST_F(UploadProcedure, MainBoardIsAskedAndConnectedToTheBoardSelectedTwoSecondsLater) {
    const BoardRow first = loopback_board(product::kQuorin712P, 1);
    const BoardRow second = loopback_board(product::kDAVRO2xM, 2);
    addBoard(first);
    addBoard(second);
    simulate_select(Dlg(), IDC_BOARD_LIST, 0);
    QTcpServer board;
    board.setProxy(QNetworkProxy::NoProxy);
    ASSERT_TRUE(board.listen(QHostAddress("127.0.1.22"), boardPort));
    chooseImage();

    click(Dlg(), IDC_UPLOAD);
    const QByteArray request = received(*mainBoard);
    ASSERT_EQ(request.size(), 402);
    EXPECT_EQ(request[0], char{OPCODE_UPLOAD_REQUEST});
    EXPECT_EQ(request.mid(2, 6),
              QByteArray(reinterpret_cast<const char*>(first.mac_address.data()), 6));
    EXPECT_EQ(Core().operation_state(), OperationState::UploadRequested);
    EXPECT_FALSE(Dlg().isEnabled(IDC_UPLOAD));
    EXPECT_EQ(logLines().last(), ui_text(text::kLogUploadRequest));
    EXPECT_EQ(timers.period(kUploadGuard), kUploadGuardMs);

    replyToUpload();
    EXPECT_EQ(Core().operation_state(), OperationState::UploadReplyReceived);
    EXPECT_EQ(timers.period(kStartDelay), kStartDelayMs);
    EXPECT_EQ(timers.period(kUploadWatch), kUploadWatchMs);
    EXPECT_FALSE(timers.isArmed(kUploadGuard));

    simulate_select(Dlg(), IDC_BOARD_LIST, 1);  // the operator picks another board meanwhile
    ASSERT_TRUE(timers.fire(kStartDelay));
    EXPECT_EQ(Dlg().uploadSock().state(), AckState::Connecting);
    ASSERT_TRUE(waitFor([&] { return board.hasPendingConnections(); }));
    EXPECT_TRUE(logLines().contains("127.0.1.22"));
    // Showing a board while the transfer runs leaves Upload disabled.
    EXPECT_FALSE(Dlg().isEnabled(IDC_UPLOAD));
    ASSERT_TRUE(waitFor([&] { return timers.isArmed(uploadtimer::kAckTimeout); }));
}

TEST_F(UploadProcedure, BoardWithoutAnAddressIsNotConnectedTo) {
    BoardRow row = loopback_board(product::kQuorin712P, 1);
    row.local_ip = {0, 0, 0, 0};
    addBoard(row);
    chooseImage();
    click(Dlg(), IDC_UPLOAD);
    replyToUpload();
    ASSERT_TRUE(timers.fire(kStartDelay));
    EXPECT_EQ(messages.shown, QStringList{ui_text(text::kBoardAddressInvalid)});
    EXPECT_EQ(Dlg().uploadSock().state(), AckState::Idle);
    EXPECT_FALSE(timers.isArmed(uploadtimer::kConnectRetry));
    EXPECT_FALSE(Dlg().uploadRunning());
    // Upload stays disabled after a failure until a board is shown again.
    EXPECT_FALSE(Dlg().isEnabled(IDC_UPLOAD));
    simulate_focus(Dlg(), IDC_BOARD_LIST);
    EXPECT_TRUE(Dlg().isEnabled(IDC_UPLOAD));
}

TEST_F(UploadProcedure, ListEmptiedBeforeTheTransferStartsCountsAsNoAddress) {
    addBoard(loopback_board(product::kQuorin712P, 1));
    chooseImage();
    click(Dlg(), IDC_UPLOAD);
    replyToUpload();
    Dlg().listReset(IDC_BOARD_LIST);  // a search emptied the list
    ASSERT_TRUE(timers.fire(kStartDelay));
    EXPECT_EQ(messages.shown, QStringList{ui_text(text::kBoardAddressInvalid)});
    EXPECT_EQ(Dlg().uploadSock().state(), AckState::Idle);
}

TEST_F(UploadProcedure, LegacyBoardIsStreamedToOneSecondAfterItsRequestWithoutAnswering) {
    addBoard(loopback_board(product::k5836KL, 3));
    chooseImage(test_image(1500));
    QTcpServer board;
    board.setProxy(QNetworkProxy::NoProxy);
    ASSERT_TRUE(board.listen(QHostAddress("127.0.1.23"), boardPort));
    click(Dlg(), IDC_UPLOAD);
    const QByteArray request = received(*legacyBoard);
    ASSERT_EQ(request.size(), 120);
    EXPECT_EQ(request.left(4), "FIRS");
    EXPECT_EQ(Core().operation_state(), OperationState::UploadRequested);
    EXPECT_EQ(timers.period(kStreamStart), kStreamStartMs);
    EXPECT_FALSE(timers.isArmed(kUploadGuard));

    ASSERT_TRUE(timers.fire(kStreamStart));
    ASSERT_TRUE(waitFor([&] { return board.hasPendingConnections(); }));
    QTcpSocket* connection = board.nextPendingConnection();
    QByteArray image;
    ASSERT_TRUE(waitFor([&] {
        image += connection->readAll();
        return image.size() == 4 + 1500;
    }));
    EXPECT_EQ(image.left(4), QByteArray::fromHex("000005dc"));
    ASSERT_TRUE(waitFor([&] { return timers.isArmed(uploadtimer::kFinishStep); }));
    EXPECT_EQ(Core().operation_state(), OperationState::Idle);
    EXPECT_EQ(Dlg().progressPos(IDC_PROGRESS), 2);
    for (int i = 0; i < 11; ++i) ASSERT_TRUE(timers.fire(uploadtimer::kFinishStep));
    EXPECT_EQ(messages.shown, QStringList{ui_text(text::kUploadCompletedLegacy)});
    EXPECT_TRUE(Dlg().isEnabled(IDC_UPLOAD));
    EXPECT_EQ(Dlg().progressPos(IDC_PROGRESS), 0);
    EXPECT_FALSE(Dlg().uploadRunning());
}

TEST_F(UploadProcedure, EmptyLegacyImageIsReportedTwiceAndNotByALaterMainUpload) {
    addBoard(loopback_board(product::k5836KL, 3));
    addBoard(loopback_board(product::kQuorin712P, 1));
    simulate_select(Dlg(), IDC_BOARD_LIST, 0);
    chooseImage(QByteArray());
    click(Dlg(), IDC_UPLOAD);
    ASSERT_TRUE(timers.fire(kStreamStart));
    ASSERT_TRUE(waitFor([&] { return timers.isArmed(uploadtimer::kEmptyImageError); }));
    EXPECT_EQ(messages.shown, QStringList{ui_text(text::kImageEmpty)});
    EXPECT_EQ(Core().operation_state(), OperationState::Idle);
    ASSERT_TRUE(timers.fire(uploadtimer::kEmptyImageError));
    EXPECT_EQ(messages.shown,
              QStringList({ui_text(text::kImageEmpty), ui_text(text::kUploadError)}));
    EXPECT_EQ(Dlg().uploadProcedure().stream_status(), StreamStatus::Failed);
    EXPECT_FALSE(Dlg().uploadRunning());

    // The streamed status of that failure does not make timer 10 of a main upload report it.
    messages.shown.clear();
    simulate_select(Dlg(), IDC_BOARD_LIST, 1);
    chooseImage();
    click(Dlg(), IDC_UPLOAD);
    replyToUpload();
    ASSERT_TRUE(timers.fire(kUploadWatch));
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_FALSE(timers.isArmed(kUploadWatch));
}

TEST_F(UploadProcedure, NoUploadReplyIsReportedAfterTheGuardAndALateReplyIsIgnored) {
    addBoard(loopback_board(product::kQuorin712P, 1));
    chooseImage();
    click(Dlg(), IDC_UPLOAD);
    ASSERT_TRUE(timers.fire(kUploadGuard));
    EXPECT_EQ(messages.shown, QStringList{ui_text(text::kNoUploadReply).arg(30)});
    EXPECT_EQ(Core().operation_state(), OperationState::Idle);
    EXPECT_TRUE(Dlg().isEnabled(IDC_UPLOAD));
    EXPECT_FALSE(Dlg().uploadRunning());
    replyToUpload();
    EXPECT_FALSE(timers.isArmed(kStartDelay));
}

TEST_F(UploadProcedure, OneUploadAtATime) {
    addBoard(loopback_board(product::kQuorin712P, 1));
    chooseImage();
    click(Dlg(), IDC_UPLOAD);
    ASSERT_FALSE(received(*mainBoard).isEmpty());
    Dlg().sendCommand(IDC_UPLOAD);  // whatever reaches the disabled button
    Dlg().OnUpload();
    EXPECT_TRUE(received(*mainBoard, 200).isEmpty());
    EXPECT_EQ(logLines().count(ui_text(text::kLogUploadRequest)), 1);
}

TEST_F(UploadProcedure, AgingRestartWaitsForARunningUpload) {
    addBoard(loopback_board(product::kQuorin712P, 1));
    chooseImage();
    Dlg().sendCommand(IDC_UPLOAD_AGING);
    EXPECT_EQ(timers.period(kAgingRestart), kAgingRestartMs);
    ASSERT_TRUE(timers.fire(kAgingRestart));
    ASSERT_FALSE(received(*mainBoard).isEmpty());
    ASSERT_TRUE(Dlg().uploadRunning());

    Dlg().OnTimer(kAgingRestart);  // an expiry while that upload still runs
    EXPECT_TRUE(received(*mainBoard, 200).isEmpty());
    EXPECT_EQ(timers.period(kAgingRestart), kAgingRestartMs);

    // The upload fails: the series ends and no further upload is armed.
    ASSERT_TRUE(timers.fire(kUploadGuard));
    EXPECT_FALSE(timers.isArmed(kAgingRestart));
    EXPECT_EQ(Dlg().agingSeries().phase(), AgingSeries::Phase::Over);
    EXPECT_TRUE(logLines().contains(ui_text(text::kLogAgingStopped).arg(0).arg(1000)));
    EXPECT_EQ(Dlg().windowTitle(),
              ui_text(text::kAgingTitle).arg(ui_text(text::kMainCaption)).arg(0).arg(1000));
}

// A search or a setting pressed while the upload waits for the board's reply ends the upload:
// told, with its timers stopped, and Upload usable again once a board is shown.
TEST_F(UploadProcedure, SearchOrSettingDuringTheReplyWaitAbandonsTheUpload) {
    struct Case {
        const char* what;
        int button;
        OperationState after;
        bool upload_enabled;  // the board is still shown after a setting
    };
    for (const Case& c : {Case{"search", IDC_SEARCH, OperationState::Search, false},
                          Case{"setting", IDC_SETTING, OperationState::Set, true}}) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        messages.shown.clear();
        addBoard(loopback_board(product::kQuorin712P, 1));
        chooseImage();
        ASSERT_TRUE(show_active(Dlg()));
        mouse_click(Dlg(), IDC_UPLOAD);
        ASSERT_EQ(received(*mainBoard).at(0), char{OPCODE_UPLOAD_REQUEST});
        ASSERT_TRUE(timers.isArmed(kUploadGuard));

        mouse_click(Dlg(), c.button);
        EXPECT_EQ(messages.shown, QStringList{ui_text(text::kUploadAbandoned)});
        EXPECT_FALSE(Dlg().uploadRunning());
        EXPECT_FALSE(timers.isArmed(kUploadGuard));
        EXPECT_EQ(Core().operation_state(), c.after);
        EXPECT_FALSE(received(*mainBoard).isEmpty());  // the search or set request went out
        EXPECT_EQ(Dlg().isEnabled(IDC_UPLOAD), c.upload_enabled);

        // The board's late reply starts nothing and is no stray datagram.
        messages.shown.clear();
        replyToUpload();
        EXPECT_FALSE(timers.isArmed(kStartDelay));
        EXPECT_FALSE(Dlg().uploadRunning());
        EXPECT_TRUE(messages.shown.isEmpty());
    }
}

// While the image goes to the board over TCP, a search or a setting would make the board's
// report read as a stray datagram: both wait, with a word, and nothing is sent.
TEST_F(UploadProcedure, SearchAndSettingWaitForARunningTransfer) {
    addBoard(loopback_board(product::kQuorin712P, 1));
    QTcpServer board;  // takes the connection and never acknowledges
    board.setProxy(QNetworkProxy::NoProxy);
    ASSERT_TRUE(board.listen(QHostAddress("127.0.1.21"), boardPort));
    chooseImage();
    ASSERT_TRUE(show_active(Dlg()));
    mouse_click(Dlg(), IDC_UPLOAD);
    ASSERT_FALSE(received(*mainBoard).isEmpty());
    replyToUpload();
    ASSERT_TRUE(timers.fire(kStartDelay));
    ASSERT_TRUE(waitFor([&] { return Dlg().uploadSock().state() == AckState::SizeSent; }));

    for (int button : {IDC_SEARCH, IDC_SETTING}) {
        SCOPED_TRACE(button);
        messages.shown.clear();
        mouse_click(Dlg(), button);
        EXPECT_EQ(messages.shown, QStringList{ui_text(text::kUploadBusy)});
        EXPECT_TRUE(received(*mainBoard, 200).isEmpty());
        EXPECT_EQ(Core().operation_state(), OperationState::UploadReplyReceived);
        EXPECT_EQ(Dlg().listCount(IDC_BOARD_LIST), 1);
        EXPECT_EQ(Dlg().uploadSock().state(), AckState::SizeSent);
    }
}

// The aging button on a shown window, with real key events: hidden and disabled until a factory
// user presses Ctrl+Shift+A.
TEST_F(UploadProcedure, CtrlShiftARevealsTheAgingButtonAndHidesItAgain) {
    Dlg().show();
    QApplication::setActiveWindow(&Dlg());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Dlg()));
    EXPECT_FALSE(Dlg().isShown(IDC_UPLOAD_AGING));
    EXPECT_FALSE(Dlg().isEnabled(IDC_UPLOAD_AGING));
    QTest::keyClick(Dlg().control(IDC_SEARCH), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(Dlg().isShown(IDC_UPLOAD_AGING));
    EXPECT_TRUE(Dlg().isEnabled(IDC_UPLOAD_AGING));
    EXPECT_TRUE(logLines().contains(ui_text(text::kLogAgingRevealed)));
    QWidget* button = Dlg().control(IDC_UPLOAD_AGING);
    EXPECT_GE(button->width(), button->sizeHint().width() * 3 / 4);  // its caption is legible
    EXPECT_TRUE(Dlg().rect().contains(button->geometry()));

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(Dlg().agingSeries().running());
    EXPECT_EQ(timers.period(kAgingRestart), kAgingRestartMs);

    QTest::keyClick(Dlg().control(IDC_SEARCH), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(Dlg().isShown(IDC_UPLOAD_AGING));
    EXPECT_FALSE(Dlg().isEnabled(IDC_UPLOAD_AGING));
}

}  // namespace
}  // namespace quorin::testing
