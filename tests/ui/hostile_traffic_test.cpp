// The tool on a hostile LAN: the shown main window, its log window open and a search under way,
// while a sender floods both configuration sockets on loopback with junk of every kind. Then a
// Search still lists the simulated boards. Real message boxes, closed by an "operator".
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/config_sock.h"
#include "app/quorin_config_tool_app.h"
#include "log/log_dlg.h"
#include "platform/platform_services.h"
#include "res/resource_ids.h"
#include "sim/board_simulator.h"
#include "sim/sim_board.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_window_timers.h"
#include "tests/support/recording_services.h"
#include "tests/support/simulated_input.h"
#include "tools/flood/junk_flood.h"
#include "ui/quorin_config_tool_dlg.h"

namespace quorin::testing {
namespace {

constexpr int kBoards = 20;
constexpr double kFloodSeconds = 3;
constexpr int kJunkPerSecond = 5000;
constexpr int kOperatorClosesEveryMs = 100;
constexpr int kProbeIntervalMs = 5;
// Well above what a sanitizer build shows on a busy two-core machine (the longest single event
// is a message box being built and shown), far below the seconds a flood used to freeze the
// window for.
constexpr qint64 kStallLimitMs = 750;
// The heap may grow by the log window's lines (at most 10,000) and little else.
constexpr std::size_t kHeapGrowthLimitBytes = 24u << 20;

int visible_message_boxes() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible()) ++n;
    return n;
}

// The real boxes, counted: how many were shown and how many were open at once.
class CountingBoxes final : public platform::MessageBoxes {
  public:
    explicit CountingBoxes(platform::MessageBoxes& real) : real_(real) {}
    void show(const QString& text) override {
        ++shown;
        most_open = std::max(most_open, ++open);
        real_.show(text);
        --open;
    }
    int shown = 0, open = 0, most_open = 0;

  private:
    platform::MessageBoxes& real_;
};

TEST(HostileTraffic, AFloodOfJunkLeavesTheWindowResponsiveAndTheNextSearchWorks) {
    std::vector<sim::SimBoard> simulated;
    for (int i = 0; i < kBoards; ++i) {
        sim::SimBoard b;
        b.row = sim::default_board_row({0, 2}, i, sim::board_address({127, 0, 1, 0}, i));
        simulated.push_back(b);
    }
    sim::BoardSimulator simulator(std::move(simulated));
    sim::SimConfig config;
    config.main_port = config.legacy_port = config.upload_port = config.stream_port = 0;
    QString error;
    ASSERT_TRUE(simulator.start(config, &error)) << error.toStdString();

    platform::QtMessageBoxes real_boxes;
    CountingBoxes boxes(real_boxes);
    platform::ManualWindowTimers timers;
    platform::ScriptedFileChooser files;
    CQuorinConfigToolApp app(boxes, loopback_target(simulator.mainPort(), simulator.legacyPort()));
    CQuorinConfigToolDlg dlg(app, WindowServices{timers, files});
    real_boxes.setParent(&dlg);
    dlg.OnInitDialog();
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    click(dlg, res::IDC_VIEW_LOG);
    click(dlg, res::IDC_SEARCH);
    ASSERT_TRUE(waitFor([&] { return app.core().board_count() == kBoards; }));

    // The operator closes whatever box is open, every so often; the probe measures how long the
    // event loop (the window's own, or a box's) leaves a timer waiting.
    int most_visible = 0;
    QTimer operator_;
    QObject::connect(&operator_, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    qint64 longest_stall = 0;
    QElapsedTimer since;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        most_visible = std::max(most_visible, visible_message_boxes());
        longest_stall = std::max(longest_stall, since.restart() - kProbeIntervalMs);
    });

    const std::size_t heap_before = flood::live_heap_bytes();
    const CConfigSock& search_socket = *app.searchSocket();
    const CConfigSock& legacy_socket = *app.legacySocket();
    const std::uint64_t read_before = search_socket.datagramsRead() + legacy_socket.datagramsRead();
    flood::FloodOptions options;
    options.ports = {search_socket.localPort(), legacy_socket.localPort()};
    options.seconds = kFloodSeconds;
    options.datagrams_per_second = kJunkPerSecond;
    flood::FloodSender sender(options);
    std::string sender_error;
    since.start();
    probe.start(kProbeIntervalMs);
    operator_.start(kOperatorClosesEveryMs);
    ASSERT_TRUE(sender.start(&sender_error)) << sender_error;
    ASSERT_TRUE(waitFor([&] { return sender.finished(); }, 10000));
    const flood::FloodReport sent = sender.wait();
    // Over once both sockets are drained and no box is open.
    ASSERT_TRUE(waitFor(
        [&] {
            return !app.searchSocket()->hasPendingDatagrams() &&
                   !app.legacySocket()->hasPendingDatagrams() && visible_message_boxes() == 0;
        },
        10000));
    settle(kOperatorClosesEveryMs * 3);
    probe.stop();
    const std::size_t heap_after = flood::live_heap_bytes();
    const std::uint64_t read =
        search_socket.datagramsRead() + legacy_socket.datagramsRead() - read_before;

    std::printf(
        "junk sent %llu, read %llu, boxes %d (most open at once %d), longest stall %lld ms, "
        "heap %+.1f MiB, log lines %lld\n",
        static_cast<unsigned long long>(sent.sent), static_cast<unsigned long long>(read),
        boxes.shown, boxes.most_open, static_cast<long long>(longest_stall),
        (static_cast<double>(heap_after) - static_cast<double>(heap_before)) / 1048576.0,
        static_cast<long long>(app.logWindow()->lines().size()));
    EXPECT_GT(sent.sent, 0u);
    EXPECT_GE(read, sent.sent * 9 / 10);  // the junk arrived, and the tool read it
    EXPECT_GE(boxes.shown, 1);
    EXPECT_EQ(boxes.most_open, 1);
    EXPECT_EQ(most_visible, 1);
    EXPECT_LE(longest_stall, kStallLimitMs);
    EXPECT_LE(heap_after, heap_before + kHeapGrowthLimitBytes);
    EXPECT_LE(app.logWindow()->lines().size(), CLogDlg::kLineLimit);

    click(dlg, res::IDC_SEARCH);
    EXPECT_TRUE(waitFor([&] { return app.core().board_count() == kBoards; }));
    settle(100);
    operator_.stop();
    EXPECT_EQ(app.core().board_count(), kBoards);
    EXPECT_EQ(dlg.listCount(res::IDC_BOARD_LIST), kBoards);
    real_boxes.setParent(nullptr);
}

}  // namespace
}  // namespace quorin::testing
