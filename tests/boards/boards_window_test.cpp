// The Boards window against the board simulator on loopback: opened from the main window's menu
// and its shortcut, driven by real mouse and key events, its runs checked in the simulator's
// event log.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "app/quorin_config_tool_app.h"
#include "boards/boards_menu.h"
#include "res/resource_ids.h"
#include "tests/cli/cli_support.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_window_timers.h"
#include "tests/support/recording_services.h"
#include "tests/support/simulated_input.h"
#include "tests/support/upload_sim.h"
#include "ui/quorin_config_tool_dlg.h"

namespace quorin::boards {
namespace {

using cli::testing::count_events;
using fleet::BoardColumn;
using quorin::testing::waitFor;

QString mac(const char* code, int board) {
    return QStringLiteral("02:51:00:%1:00:%2").arg(code).arg(board, 2, 10, QLatin1Char('0'));
}

class BoardsWindowTest : public cli::testing::UploadSimulatorTest {
  protected:
    void TearDown() override {
        dlg_.reset();
        app_.reset();
        local_.reset();
    }

    // The simulator with `boards`, the main window aimed at it with the Boards item added.
    // `legacy_elsewhere`: the Boards window's own legacy requests go to a port where no board
    // listens, so that legacy boards reach it only through the main window's socket.
    void open(const QString& boards, const QStringList& extra = {}, bool legacy_elsewhere = false) {
        start_boards(boards, QStringList{"--reboot-ms", "200"} + extra);
        aim(sim_.main_port, sim_.legacy_port,
            legacy_elsewhere ? quorin::testing::free_tcp_port() : sim_.legacy_port, upload_port_,
            stream_port_);
    }
    // The simulator in this process, for the streamed transfers: their thread and the tool's
    // locks are then in a process that has started no child, where ThreadSanitizer sees them.
    void openInProcess(const std::vector<std::uint8_t>& products) {
        local_ = std::make_unique<quorin::testing::UploadSimulator>(products);
        ASSERT_TRUE(local_->start());
        aim(local_->mainPort(), local_->legacyPort(), local_->legacyPort(), local_->uploadPort(),
            local_->streamPort());
    }
    // The main window aimed at the boards, with the Boards item added.
    void aim(quint16 main_port, quint16 legacy_port, quint16 boards_legacy_port,
             quint16 upload_port, quint16 stream_port) {
        ASSERT_TRUE(dir_.isValid());
        qputenv("XDG_STATE_HOME", dir_.filePath(QStringLiteral("state")).toUtf8());
        app_ = std::make_unique<CQuorinConfigToolApp>(
            messages_, quorin::testing::loopback_target(main_port, legacy_port));
        dlg_ = std::make_unique<CQuorinConfigToolDlg>(*app_, WindowServices{timers_, chooser_});
        dlg_->OnInitDialog();
        cli::CommonOptions o;
        o.link.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
        o.link.main_port = main_port;
        o.link.legacy_board_port = boards_legacy_port;
        o.link.legacy_local_port = 0;
        o.wait_ms = 400;
        o.upload_port = upload_port;
        o.stream_port = stream_port;
        item_ = add_boards_menu_item(
            *app_, *dlg_, o,
            {[this](QWidget*, const QString&, const QString&) { return next_file_; },
             [this](QWidget*, const QString&, const QString&) { return next_file_; }});
        dlg_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg_.get()));
    }
    // Images the boards took whole.
    std::size_t images() const {
        if (!local_) return received_images().size();
        std::size_t n = 0;
        for (const QJsonObject& e : local_->named("image_received"))
            n += e.value("complete").toBool();
        return n;
    }

    // Opens the window by its shortcut and waits for the first search.
    BoardsWindow& shown(std::size_t boards) {
        dlg_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dlg_.get()));
        QTest::keyClick(dlg_.get(), Qt::Key_B, Qt::ControlModifier);
        BoardsWindow* w = boards_window(*dlg_);
        EXPECT_NE(w, nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
        EXPECT_TRUE(waitFor([&] { return w->controller().table().rows() == boards; }, 5000));
        return *w;
    }

    QPoint rowPoint(BoardsWindow& w, int row) const {
        return w.table()->visualRect(w.table()->model()->index(row, 0)).center();
    }
    void clickRow(BoardsWindow& w, int row, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(w.table()->viewport(), Qt::LeftButton, mods, rowPoint(w, row));
    }
    // Clicks the button of the preview that is open.
    void accept(BoardsWindow& w) {
        ASSERT_TRUE(waitFor([&] { return w.preview() != nullptr && w.preview()->isVisible(); }));
        QTest::mouseClick(w.preview()->findChild<QPushButton*>(QStringLiteral("accept")),
                          Qt::LeftButton);
    }
    std::string status(BoardsWindow& w, const QString& board) {
        const fleet::BoardTable& t = w.controller().table();
        const auto mac = fleet::parse_mac(board.toStdString());
        return mac ? fleet::status_text(t.status_of(*mac)) : std::string();
    }
    // Set requests the simulator applied, per board MAC.
    std::map<QString, int> sets() const {
        std::map<QString, int> by_board;
        for (const QJsonObject& e : cli::testing::read_events(events_)) {
            if (e.value("event") == "settings_applied") ++by_board[e.value("mac").toString()];
        }
        return by_board;
    }
    void manifest(const QString& image, const QByteArray& bytes, const QString& version) {
        file(QFileInfo(image).fileName() + ".json",
             QStringLiteral("{\"format_version\": 1, \"version\": \"%1\", \"models\": "
                            "[\"Quorin712P\", \"5836KL\"], \"sha256\": \"%2\"}")
                 .arg(version, quorin::testing::sha256_hex(bytes))
                 .toUtf8());
    }

    platform::RecordingMessageBoxes messages_;
    platform::ManualWindowTimers timers_;
    platform::ScriptedFileChooser chooser_;
    std::unique_ptr<CQuorinConfigToolApp> app_;
    std::unique_ptr<CQuorinConfigToolDlg> dlg_;
    QAction* item_ = nullptr;
    std::optional<QString> next_file_;
    std::unique_ptr<quorin::testing::UploadSimulator> local_;
};

TEST_F(BoardsWindowTest, OpensFromTheMenuThatHoldsAboutAndFromItsShortcut) {
    open("0002:3");
    const QList<QAction*> actions = dlg_->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_EQ(actions.indexOf(item_), actions.indexOf(dlg_->aboutMenuItem()) + 1);
    EXPECT_EQ(item_->shortcut(), kBoardsShortcut);

    // The menu, by the right button (it runs its own loop until an item is chosen), and its
    // item by a click.
    bool clicked = false;
    QTimer::singleShot(0, [&] {
        waitFor([] { return QApplication::activePopupWidget() != nullptr; });
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item_).center());
        clicked = true;
    });
    QTest::mouseClick(dlg_->windowHandle(), Qt::RightButton, {}, QPoint(20, 20));
    ASSERT_TRUE(waitFor([&] { return clicked; }));
    BoardsWindow* w = nullptr;
    ASSERT_TRUE(waitFor([&] { return (w = boards_window(*dlg_)) && w->isVisible(); }));
    ASSERT_TRUE(waitFor([&] { return w->controller().table().rows() == 3; }, 5000));
    w->close();
    ASSERT_FALSE(w->isVisible());

    // The shortcut shows the same window again, searching again.
    EXPECT_EQ(&shown(3), w);
    EXPECT_EQ(w->table()->accessibleName(), "Boards found");
    EXPECT_EQ(w->table()->model()->headerData(2, Qt::Horizontal, Qt::AccessibleTextRole),
              "IP address");
    EXPECT_EQ(w->table()->model()->index(0, 0).data(Qt::AccessibleTextRole), mac("02", 0));
}

TEST_F(BoardsWindowTest, HeadersSortAndCtrlAndShiftClicksSelect) {
    open("0002:5");
    BoardsWindow& w = shown(5);
    const auto first_cell = [&](BoardColumn c) { return w.controller().table().cell(0, c); };
    // Firmware by board: 1.5.0, 1.5.2, 1.5.3, 2.1.0, 1.6.0. A click sorts by firmware, a second
    // turns the order round.
    QHeaderView* header = w.table()->horizontalHeader();
    const int firmware = static_cast<int>(BoardColumn::Firmware);
    const QPoint at(header->sectionViewportPosition(firmware) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(first_cell(BoardColumn::Firmware), "1.5.0");
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(first_cell(BoardColumn::Firmware), "2.1.0");

    // Row order now: 2.1.0 (3), 1.6.0 (4), 1.5.3 (2), 1.5.2 (1), 1.5.0 (0).
    clickRow(w, 0);
    clickRow(w, 2, Qt::ControlModifier);
    const auto chosen = [&] {
        std::vector<std::string> macs;
        for (const Mac& m : w.controller().table().selection()) macs.push_back(mac_text(m));
        return macs;
    };
    EXPECT_EQ(chosen(), (std::vector<std::string>{"02:51:00:02:00:03", "02:51:00:02:00:02"}));
    clickRow(w, 4, Qt::ShiftModifier);
    EXPECT_EQ(chosen().size(), 4u);  // row 0, and from the last one picked (row 2) to row 4
    clickRow(w, 0, Qt::ControlModifier);
    EXPECT_EQ(chosen(), (std::vector<std::string>{"02:51:00:02:00:02", "02:51:00:02:00:01",
                                                  "02:51:00:02:00:00"}));

    // Searching again keeps the selection; the filter narrows the rows.
    QTest::mouseClick(w.button("search"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return w.button("search")->isEnabled(); }, 5000));
    EXPECT_EQ(chosen().size(), 3u);
    EXPECT_EQ(w.table()->selectionModel()->selectedRows().size(), 3);
    QTest::keyClicks(w.filter(), "1.5.");
    EXPECT_EQ(w.controller().table().rows(), 3u);
    EXPECT_EQ(w.statusLine()->text(), "5 boards found, 3 shown, 3 selected");

    // Show in main window: a double click (as the window system sends it: a click, then the
    // double click).
    w.filter()->clear();
    clickRow(w, 4);
    QTest::mouseDClick(w.table()->viewport(), Qt::LeftButton, {}, rowPoint(w, 4));
    EXPECT_EQ(w.controller().table().selection().size(), 1u);
    EXPECT_EQ(dlg_->listItems(res::IDC_BOARD_LIST).value(dlg_->listCurSel(res::IDC_BOARD_LIST)),
              w.controller().table().cell(4, BoardColumn::Mac).c_str());
}

TEST_F(BoardsWindowTest, AProfileGoesToThreeBoardsAndRollsBack) {
    open("0002:5");
    BoardsWindow& w = shown(5);
    const auto baud = [&](int b) {
        const auto* f = w.controller().found(*fleet::parse_mac(mac("02", b).toStdString()));
        return settings::field_of(f->row, "channel[0].baud_rate")->value;
    };
    const std::string before = baud(0);
    for (int row : {0, 1, 3}) clickRow(w, row, Qt::ControlModifier);
    next_file_ = file("profile.json",
                      R"({"model": "Quorin712P", "settings": {"channel[0].baud_rate": "19200"}})");
    QTest::mouseClick(w.button("apply"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return w.preview() != nullptr; }));
    EXPECT_TRUE(w.previewText()->toPlainText().contains("channel[0].baud_rate: 9600 -> 19200"))
        << w.previewText()->toPlainText().toStdString();
    EXPECT_TRUE(sets().empty());  // a preview sends nothing
    accept(w);
    for (int b : {0, 1, 3}) {
        ASSERT_TRUE(waitFor([&] { return status(w, mac("02", b)) == "changed"; }, 5000))
            << b << " " << status(w, mac("02", b));
    }
    EXPECT_EQ(sets(),
              (std::map<QString, int>{{mac("02", 0), 1}, {mac("02", 1), 1}, {mac("02", 3), 1}}));
    EXPECT_TRUE(QFileInfo::exists(w.controller().journal_path()));
    // The run's summary stays on the status line after the search that shows the new values.
    ASSERT_TRUE(waitFor([&] { return !w.controller().busy(); }, 5000));
    EXPECT_EQ(w.statusLine()->text(), "Apply: 3 changed, 0 unchanged, 0 failed");
    ASSERT_TRUE(waitFor([&] { return w.button("rollback")->isEnabled(); }, 5000));

    QTest::mouseClick(w.button("rollback"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return w.preview() != nullptr && w.preview()->isVisible(); }));
    EXPECT_TRUE(w.previewText()->toPlainText().contains("channel[0].baud_rate: 19200 -> 9600"))
        << w.previewText()->toPlainText().toStdString();
    accept(w);
    ASSERT_TRUE(waitFor([&] { return sets().at(mac("02", 3)) == 2; }, 5000));
    ASSERT_TRUE(waitFor([&] { return !w.controller().busy(); }, 5000));
    EXPECT_EQ(sets(),
              (std::map<QString, int>{{mac("02", 0), 2}, {mac("02", 1), 2}, {mac("02", 3), 2}}));
    EXPECT_FALSE(w.button("rollback")->isEnabled());
    ASSERT_TRUE(waitFor([&] { return baud(0) == before; }, 5000)) << baud(0);
}

TEST_F(BoardsWindowTest, APreviewSaysWhichBoardsAFileLeavesAlone) {
    open("0002:2,0003:1");
    BoardsWindow& w = shown(3);
    QTest::keyClick(w.table(), Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(w.controller().table().selection().size(), 3u);
    FleetController& c = w.controller();
    const ApplyPlan profile = c.plan_apply(
        file("p.json", R"({"model": "Quorin712P", "settings": {"local_ip": "10.0.0.9"}})"));
    ASSERT_EQ(profile.boards.size(), 3u);
    EXPECT_EQ(profile.boards[0].refusal, "the profile sets local_ip, which is for one board only");
    EXPECT_TRUE(profile.boards[2].refusal.startsWith("a "))
        << profile.boards[2].refusal.toStdString();
    const ApplyPlan site = c.plan_apply(file("site.yaml",
                                             "format_version: 1\nboards:\n"
                                             "  - mac: \"02:51:00:02:00:01\"\n"
                                             "    settings:\n"
                                             "      channel[0].baud_rate: 19200\n"));
    ASSERT_TRUE(site.error.isEmpty()) << site.error.toStdString();
    EXPECT_EQ(site.boards[0].refusal, "not in the site file");
    EXPECT_TRUE(site.boards[1].refusal.isEmpty());
    EXPECT_EQ(site.boards[1].target.changes.size(), 1u);
    EXPECT_EQ(site.changing(), 1u);
    EXPECT_FALSE(c.plan_apply(file("bad.yaml", "format_version: 7\n")).error.isEmpty());

    // Export: the rows shown, as CSV.
    next_file_ = dir_.filePath("boards.csv");
    QTest::mouseClick(w.button("export"), Qt::LeftButton);
    QFile csv(*next_file_);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("mac,model,local_ip")) << lines[0].toStdString();
}

TEST_F(BoardsWindowTest, UpgradesTwoBoardsWithAManifestSkippingTheCurrentOne) {
    // Firmware 1.5.0, 1.5.2, 1.5.3; the image is 1.5.3.
    open("0002:3", {"--installs", "1.5.3"});
    BoardsWindow& w = shown(3);
    QTest::keyClick(w.table(), Qt::Key_A, Qt::ControlModifier);
    const QByteArray bytes = quorin::testing::test_image(3000);
    next_file_ = file("fw.bin", bytes);
    manifest(*next_file_, bytes, "1.5.3");
    QTest::mouseClick(w.button("upgrade"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return w.preview() != nullptr; }));
    const QString preview = w.previewText()->toPlainText();
    EXPECT_TRUE(preview.contains(mac("02", 0) + ": upgrade from 1.5.0")) << preview.toStdString();
    EXPECT_TRUE(preview.contains(mac("02", 2) + ": skip (already at 1.5.3)"))
        << preview.toStdString();
    accept(w);
    for (int b : {0, 1}) {
        ASSERT_TRUE(waitFor([&] { return status(w, mac("02", b)) == "verified"; }, 15000))
            << status(w, mac("02", b));
    }
    ASSERT_TRUE(waitFor([&] { return !w.controller().busy(); }, 5000));
    EXPECT_EQ(status(w, mac("02", 2)), "found");
    EXPECT_EQ(received_images().size(), 2u);
}

TEST_F(BoardsWindowTest, AFailingBoardShowsItsReasonInItsRow) {
    open("0002:2", {"--fault", "1:refuse_upload"});
    BoardsWindow& w = shown(2);
    QTest::keyClick(w.table(), Qt::Key_A, Qt::ControlModifier);
    next_file_ = file("fw.bin", quorin::testing::test_image(2000));
    QTest::mouseClick(w.button("upgrade"), Qt::LeftButton);
    accept(w);
    ASSERT_TRUE(waitFor([&] { return !w.controller().busy(); }, 15000));
    EXPECT_EQ(status(w, mac("02", 1)).rfind("failed: ", 0), 0u) << status(w, mac("02", 1));
    EXPECT_GT(status(w, mac("02", 1)).size(), std::string("failed: ").size());
    EXPECT_NE(status(w, mac("02", 0)).rfind("failed", 0), 0u);
}

TEST_F(BoardsWindowTest, StopDuringAStreamedTransferLetsItFinishAndClosingAsksFirst) {
    openInProcess({4, 4});
    BoardsWindow& w = shown(2);
    QTest::keyClick(w.table(), Qt::Key_A, Qt::ControlModifier);
    // About 40 blocks, paced a tenth of a second apart: four seconds of transfer.
    next_file_ = file("fw.bin", quorin::testing::test_image(40 * 1024));
    QTest::mouseClick(w.button("upgrade"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return w.jobsBox() != nullptr && w.preview()->isVisible(); }));
    w.jobsBox()->setValue(1);
    accept(w);
    const fleet::BoardTable& t = w.controller().table();
    ASSERT_TRUE(waitFor(
        [&] {
            const auto s = t.status_of(*fleet::parse_mac(mac("04", 0).toStdString()));
            return s.kind == fleet::BoardStatus::Upgrading && s.percent >= 25;
        },
        20000));

    // Closing asks; keeping it running leaves the window open.
    w.close();
    ASSERT_TRUE(waitFor([&] { return w.closeQuestion() != nullptr; }));
    QTest::mouseClick(w.closeQuestion()->findChild<QPushButton*>("keep"), Qt::LeftButton);
    EXPECT_TRUE(w.isVisible());

    QTest::mouseClick(w.button("stop"), Qt::LeftButton);
    EXPECT_FALSE(w.button("stop")->isEnabled());
    EXPECT_TRUE(w.statusLine()->text().contains("1 running transfers finish"))
        << w.statusLine()->text().toStdString();
    ASSERT_TRUE(waitFor([&] { return !w.controller().busy(); }, 30000));
    EXPECT_EQ(status(w, mac("04", 0)), "verified");
    EXPECT_EQ(status(w, mac("04", 1)), "found");  // never started
    EXPECT_TRUE(w.controller().cut_off().empty());
    EXPECT_EQ(images(), 1u);
}

TEST_F(BoardsWindowTest, WhenTheMainWindowEndsARunningTransferFinishesFirst) {
    openInProcess({4, 4});
    BoardsWindow& w = shown(2);
    QTest::keyClick(w.table(), Qt::Key_A, Qt::ControlModifier);
    next_file_ = file("fw.bin", quorin::testing::test_image(20 * 1024));
    QTest::mouseClick(w.button("upgrade"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return w.jobsBox() != nullptr && w.preview()->isVisible(); }));
    w.jobsBox()->setValue(1);
    accept(w);
    ASSERT_TRUE(waitFor(
        [&] { return w.controller().table().status(0).kind == fleet::BoardStatus::Upgrading; },
        10000));
    finish_runs(*dlg_);
    EXPECT_FALSE(w.controller().busy());
    EXPECT_EQ(status(w, mac("04", 0)), "verified");
    EXPECT_EQ(status(w, mac("04", 1)), "found");
    EXPECT_EQ(images(), 1u);
}

TEST_F(BoardsWindowTest, ClosingDuringARunAndChoosingStopClosesOnceItHasEnded) {
    openInProcess({4});
    BoardsWindow& w = shown(1);
    QTest::keyClick(w.table(), Qt::Key_A, Qt::ControlModifier);
    next_file_ = file("fw.bin", quorin::testing::test_image(20 * 1024));
    QTest::mouseClick(w.button("upgrade"), Qt::LeftButton);
    accept(w);
    ASSERT_TRUE(waitFor(
        [&] { return w.controller().table().status(0).kind == fleet::BoardStatus::Upgrading; },
        10000));
    w.close();
    ASSERT_TRUE(waitFor([&] { return w.closeQuestion() != nullptr; }));
    QTest::mouseClick(w.closeQuestion()->findChild<QPushButton*>("stop"), Qt::LeftButton);
    EXPECT_TRUE(w.isVisible());  // until the transfer has finished
    ASSERT_TRUE(waitFor([&] { return !w.isVisible(); }, 20000));
    EXPECT_EQ(status(w, mac("04", 0)), "verified");
    EXPECT_EQ(images(), 1u);
}

// Legacy boards answer to the legacy port, which the main window's socket holds: what that
// socket reads reaches the Boards window's search too.
TEST_F(BoardsWindowTest, LegacyAnswersToTheMainWindowsSocketReachTheBoardsWindow) {
    open("0002:1,0004:1", {}, true);
    BoardsWindow& w = shown(1);  // the legacy board does not answer the window's own request
    QTest::mouseClick(w.button("search"), Qt::LeftButton);
    quorin::testing::click(*dlg_,
                           res::IDC_SEARCH);  // the main window's search, answered to its socket
    ASSERT_TRUE(waitFor([&] { return !w.controller().busy(); }, 5000));
    ASSERT_EQ(w.controller().table().rows(), 2u);
    EXPECT_TRUE(w.controller().table().row_of(*fleet::parse_mac(mac("04", 1).toStdString())));
}

TEST_F(BoardsWindowTest, EveryControlHasAnAccessibleName) {
    open("0002:2");
    BoardsWindow& w = shown(2);
    QTest::keyClick(w.table(), Qt::Key_A, Qt::ControlModifier);
    next_file_ = file("fw.bin", quorin::testing::test_image(100));
    QTest::mouseClick(w.button("upgrade"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return w.preview() != nullptr && w.preview()->isVisible(); }));
    for (QWidget* top : {static_cast<QWidget*>(&w), static_cast<QWidget*>(w.preview())}) {
        for (QWidget* c : top->findChildren<QWidget*>()) {
            // A spin box's own line edit is read as the spin box.
            if (!c->isVisible() || c->focusPolicy() == Qt::NoFocus ||
                qobject_cast<QAbstractSpinBox*>(c->parentWidget()) != nullptr)
                continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
            ASSERT_NE(a, nullptr);
            EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << c->metaObject()->className();
        }
    }
    w.preview()->reject();
}

// Renders the window with 40 boards in several states. With QUORIN_BOARDS_SCREENSHOT set to a
// file path the picture is saved there as PNG (docs/boards-window.png is made this way).
TEST_F(BoardsWindowTest, FortyBoardsRender) {
    open("0002:16,0006:12,0004:12");
    BoardsWindow& w = shown(40);
    fleet::BoardTable& t = w.controller().table();
    const std::pair<int, fleet::BoardStatus> states[] = {
        {0, {fleet::BoardStatus::Verified, 100, {}}},
        {1, {fleet::BoardStatus::Upgrading, 40, {}}},
        {2, {fleet::BoardStatus::Upgrading, 75, {}}},
        {3, {fleet::BoardStatus::Failed, 0, "FAILED: did not come back within 120 s"}},
        {5, {fleet::BoardStatus::Changed, 0, {}}},
    };
    for (const auto& [row, s] : states)
        t.set_status(t.board(static_cast<std::size_t>(row)).row.mac_address, s);
    w.filter()->setText("x");
    w.filter()->clear();
    for (int row : {1, 2}) clickRow(w, row, Qt::ControlModifier);
    w.resize(1000, 720);
    QCoreApplication::processEvents();
    const QPixmap picture = w.grab();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(w.table()->model()->index(1, 8).data(BoardModel::kPercentRole), 40);
    const QByteArray path = qgetenv("QUORIN_BOARDS_SCREENSHOT");
    if (!path.isEmpty()) {
        EXPECT_TRUE(picture.save(QString::fromLocal8Bit(path), "PNG"));
    }
}

}  // namespace
}  // namespace quorin::boards
