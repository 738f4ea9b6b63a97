// One board's upload as quorinctl runs it, in process against the board simulator on loopback,
// with manual window timers: the waits are checked by their periods and fired by hand, so the
// 30 s guards cost nothing.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "cli/board_upload.h"
#include "cli/upload_view.h"
#include "protocol/upload_procedure.h"
#include "res/texts.h"
#include "tests/support/manual_window_timers.h"
#include "tests/support/upload_sim.h"

namespace quorin::cli {
namespace {

using namespace uploadtimer;
using Phase = BoardUpload::Phase;
using quorin::testing::ImageFiles;
using quorin::testing::settle;
using quorin::testing::UploadSimulator;
using quorin::testing::waitFor;

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The engine aimed at the simulator, the boards it found, and one upload per board with timers
// of its own.
class Uploads {
  public:
    Uploads(UploadSimulator& sim, int boards) : engine_(link_options(sim)) {
        QString error, warning;
        EXPECT_TRUE(engine_.open(&error, &warning)) << error.toStdString();
        found_ = engine_
                     .search(3000,
                             [&](const std::vector<FoundBoard>& b) {
                                 return static_cast<int>(b.size()) == boards;
                             })
                     .boards;
        EXPECT_EQ(static_cast<int>(found_.size()), boards);
        target_ = {sim.uploadPort(), sim.streamPort(), images_.write("fw.bin", image()), {}};
    }

    static QByteArray image() { return quorin::testing::test_image(2500); }

    // Board `index` of the search, in the simulator's order; `edit` may change its row first.
    BoardUpload& add(int index, const std::function<void(FoundBoard&)>& edit = {}) {
        FoundBoard board = found_by_index(index);
        if (edit) edit(board);
        timers_.push_back(std::make_unique<platform::ManualWindowTimers>());
        uploads_.push_back(std::make_unique<BoardUpload>(engine_, board, target_, *timers_.back()));
        uploads_.back()->setPacer(pacer_);
        std::vector<BoardUpload*> all;
        for (auto& u : uploads_) all.push_back(u.get());
        route_to_uploads(engine_, all);
        return *uploads_.back();
    }
    platform::ManualWindowTimers& timers(int upload) {
        return *timers_.at(static_cast<std::size_t>(upload));
    }

  private:
    static LinkOptions link_options(UploadSimulator& sim) {
        LinkOptions o;
        o.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
        o.main_port = sim.mainPort();
        o.legacy_board_port = sim.legacyPort();
        o.legacy_local_port = 0;
        return o;
    }
    FoundBoard found_by_index(int index) const {
        for (const FoundBoard& b : found_) {
            if (b.row.mac_address[5] == index) return b;
        }
        ADD_FAILURE() << "no board " << index;
        return {};
    }

    BoardEngine engine_;
    std::vector<FoundBoard> found_;
    ImageFiles images_;
    BoardUpload::Target target_;
    InstantPacer pacer_;
    std::vector<std::unique_ptr<platform::ManualWindowTimers>> timers_;
    std::vector<std::unique_ptr<BoardUpload>> uploads_;
};

TEST(BoardUpload, EachBoardCompletesOnlyOnItsOwnReportWithTheWindowsWaits) {
    UploadSimulator sim({2, 2, 4});
    sim.faults(1).no_upload_complete = true;
    ASSERT_TRUE(sim.start());
    Uploads run(sim, 3);
    BoardUpload& a = run.add(0);
    BoardUpload& b = run.add(1);
    BoardUpload& legacy = run.add(2);
    for (BoardUpload* u : {&a, &b, &legacy}) u->start();

    // Main protocol: the reply is awaited under the guard, then the transfer starts 2000 ms on.
    EXPECT_EQ(run.timers(0).period(kUploadGuard), kUploadGuardMs);
    ASSERT_TRUE(
        waitFor([&] { return a.phase() == Phase::Accepted && b.phase() == Phase::Accepted; }));
    for (int i : {0, 1}) {
        EXPECT_EQ(run.timers(i).period(kStartDelay), kStartDelayMs) << i;
        EXPECT_FALSE(run.timers(i).isArmed(kUploadGuard)) << i;
        ASSERT_TRUE(run.timers(i).fire(kStartDelay));
    }
    // A's report arrives while B awaits its own: it completes A alone.
    ASSERT_TRUE(waitFor([&] { return a.ended() && b.phase() == Phase::AwaitingReport; }, 10000));
    EXPECT_EQ(a.phase(), Phase::Done);
    EXPECT_EQ(a.messages(), QStringList{qs(text::kUploadCompletedMain)});
    settle(300);
    EXPECT_EQ(b.phase(), Phase::AwaitingReport);
    EXPECT_EQ(run.timers(1).period(kUploadGuard), kUploadGuardMs);
    ASSERT_TRUE(run.timers(1).fire(kUploadGuard));
    EXPECT_EQ(b.phase(), Phase::Failed);
    EXPECT_EQ(b.messages(), QStringList{qs(text::kNoUploadComplete).arg(kUploadGuardMs / 1000)});

    // "0004": no reply awaited; the transfer starts 1000 ms after the request, and the board is
    // done when the finishing phase ends.
    EXPECT_EQ(run.timers(2).period(kStreamStart), kStreamStartMs);
    EXPECT_FALSE(run.timers(2).isArmed(kUploadGuard));
    ASSERT_TRUE(run.timers(2).fire(kStreamStart));
    ASSERT_TRUE(waitFor([&] { return legacy.phase() == Phase::Finishing; }, 10000));
    for (int step = 0; step <= kStreamFinishSteps; ++step)
        ASSERT_TRUE(run.timers(2).fire(uploadtimer::kFinishStep)) << step;
    EXPECT_EQ(legacy.phase(), Phase::Done);
    EXPECT_EQ(legacy.messages(), QStringList{qs(text::kUploadCompletedLegacy)});

    ASSERT_TRUE(waitFor([&] { return sim.count("image_received") == 3; }));
    for (const QJsonObject& e : sim.named("image_received")) {
        EXPECT_EQ(e.value("sha256").toString(), quorin::testing::sha256_hex(Uploads::image()));
    }
}

TEST(BoardUpload, WaitsThatEndWithoutTheBoardFailThatBoardWithTheWindowsMessage) {
    UploadSimulator sim({2, 2});
    ASSERT_TRUE(sim.start());
    Uploads run(sim, 2);
    // A board that never answers the request (no board has this MAC).
    BoardUpload& silent = run.add(0, [](FoundBoard& b) { b.row.mac_address[0] = 0x0A; });
    // A board whose row has no address: it answers, but cannot be connected to.
    BoardUpload& nowhere = run.add(1, [](FoundBoard& b) { b.row.local_ip = {0, 0, 0, 0}; });
    silent.start();
    nowhere.start();
    ASSERT_TRUE(waitFor([&] { return nowhere.phase() == Phase::Accepted; }));
    ASSERT_TRUE(run.timers(1).fire(kStartDelay));
    EXPECT_EQ(nowhere.phase(), Phase::Failed);
    EXPECT_EQ(nowhere.messages(), QStringList{qs(text::kBoardAddressInvalid)});

    EXPECT_EQ(silent.phase(), Phase::Requested);
    ASSERT_TRUE(run.timers(0).fire(kUploadGuard));
    EXPECT_EQ(silent.phase(), Phase::Failed);
    EXPECT_EQ(silent.messages(), QStringList{qs(text::kNoUploadReply).arg(kUploadGuardMs / 1000)});
    settle(100);
    EXPECT_EQ(sim.count("upload_connected"), 0u);
}

TEST(UploadView, ProgressLineFitsItsColumns) {
    struct Case {
        const char* what;
        int percent;
        int columns;
        const char* line;
    };
    const Case cases[] = {
        {"empty", 0, 80, "B  [................]   0%  sending"},
        {"half", 50, 80, "B  [########........]  50%  sending"},
        {"full", 100, 80, "B  [################] 100%  sending"},
        {"beyond", 150, 80, "B  [################] 100%  sending"},
        {"narrow", 50, 12, "B  [#######"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            progress_line(QStringLiteral("B"), c.percent, QStringLiteral("sending"), c.columns),
            QLatin1String(c.line))
            << c.what;
    }
}

}  // namespace
}  // namespace quorin::cli

namespace quorin::cli {
namespace {

// The search that returns at once: its result comes from the event loop, never from inside the
// call; a second search ends the first (its caller hears of it first); a cancelled one is never
// reported.
TEST(BoardEngine, ASearchThatReturnsAtOnceReportsFromTheLoopOnce) {
    UploadSimulator sim({2, 2, 3});
    ASSERT_TRUE(sim.start());
    LinkOptions o;
    o.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
    o.main_port = sim.mainPort();
    o.legacy_board_port = sim.legacyPort();
    o.legacy_local_port = 0;
    BoardEngine engine(o);
    QString error, warning;
    ASSERT_TRUE(engine.open(&error, &warning)) << error.toStdString();

    std::vector<int> reports;
    const auto all = [](const std::vector<FoundBoard>& b) { return b.size() == 3; };
    engine.start_search(3000, all, [&](const SearchResult& r) {
        reports.push_back(static_cast<int>(r.boards.size()));
    });
    EXPECT_TRUE(engine.searching());
    EXPECT_TRUE(reports.empty());
    ASSERT_TRUE(waitFor([&] { return !reports.empty(); }));
    EXPECT_EQ(reports, std::vector<int>{3});
    EXPECT_FALSE(engine.searching());

    engine.start_search(3000, {}, [&](const SearchResult&) { reports.push_back(-1); });
    engine.start_search(3000, all, [&](const SearchResult& r) {
        reports.push_back(static_cast<int>(r.boards.size()));
    });
    EXPECT_EQ(reports.size(), 2u);  // the first ended when the second started
    ASSERT_TRUE(waitFor([&] { return reports.size() == 3; }));
    EXPECT_EQ(reports.back(), 3);

    engine.start_search(200, {}, [&](const SearchResult&) { reports.push_back(-2); });
    engine.cancel_search();
    settle(400);
    EXPECT_EQ(reports.size(), 3u);
    EXPECT_FALSE(engine.searching());
}

}  // namespace
}  // namespace quorin::cli
