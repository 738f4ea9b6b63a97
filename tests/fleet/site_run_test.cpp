#include "fleet/site_run.h"

#include <gtest/gtest.h>

namespace quorin::fleet {
namespace {

using Step = SetRun::Step;

BoardRow board(std::uint8_t n) {
    BoardRow row{};
    row.product_code = {0, 2};
    row.mac_address = {2, 0x51, 0, 2, 0, n};
    row.local_ip = {10, 0, 0, n};
    return row;
}

BoardRow with_ip(const BoardRow& row, const std::string& ip) {
    return *settings::apply_edits(row, {{"local_ip", ip}}).row;
}

// Boards 0..n-1, each to get a new address unless `unchanged` says otherwise.
SetRun run_of(int n, int jobs, std::vector<int> unchanged = {}) {
    std::vector<SetRun::Board> boards;
    for (int i = 0; i < n; ++i) {
        const BoardRow now = board(static_cast<std::uint8_t>(i + 1));
        const bool same = std::find(unchanged.begin(), unchanged.end(), i) != unchanged.end();
        const BoardRow wanted = same ? now : with_ip(now, "10.1.0." + std::to_string(i + 1));
        boards.push_back({wanted, differences(now, wanted)});
    }
    return SetRun(std::move(boards), jobs);
}

std::vector<std::size_t> sends(const std::vector<Step>& steps) {
    std::vector<std::size_t> out;
    for (const Step& s : steps) {
        if (s.kind == Step::SendSet) out.push_back(s.board);
    }
    return out;
}

const Step* find(const std::vector<Step>& steps, Step::Kind kind) {
    for (const Step& s : steps) {
        if (s.kind == kind) return &s;
    }
    return nullptr;
}

// What a read-back gives: every board as planned, except those left out (did not answer).
std::vector<std::optional<BoardRow>> as_planned(const SetRun& run, std::vector<int> silent = {}) {
    std::vector<std::optional<BoardRow>> rows;
    for (std::size_t i = 0; i < run.size(); ++i) {
        const bool quiet = std::find(silent.begin(), silent.end(), int(i)) != silent.end();
        rows.push_back(quiet ? std::nullopt : std::optional<BoardRow>(run.planned(i)));
    }
    return rows;
}

TEST(SetRun, KeepsAtMostJobsOutstandingAndSkipsBoardsWithoutChanges) {
    SetRun run = run_of(5, 2, {1});
    EXPECT_EQ(sends(run.start()), (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(sends(run.set_replied(2)), (std::vector<std::size_t>{3}));
    EXPECT_TRUE(run.set_replied(2).empty()) << "a second reply changes nothing";
    EXPECT_EQ(sends(run.set_replied(0)), (std::vector<std::size_t>{4}));
    EXPECT_EQ(find(run.set_replied(3), Step::ReadBack), nullptr) << "board 4 is outstanding";
    const auto last = run.set_replied(4);
    const Step* read = find(last, Step::ReadBack);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->boards, (std::vector<std::size_t>{0, 2, 3, 4}));
    EXPECT_NE(find(run.read_back(as_planned(run)), Step::Finished), nullptr);
    EXPECT_EQ(run.result(1), BoardResult::Unchanged);
    for (std::size_t i : {0u, 2u, 3u, 4u}) EXPECT_EQ(run.result(i), BoardResult::Verified);
}

TEST(SetRun, NothingToChangeFinishesWithoutAStep) {
    SetRun run = run_of(3, 16, {0, 1, 2});
    const auto steps = run.start();
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].kind, Step::Finished);
}

TEST(SetRun, ReadBackJudgesEachBoard) {
    SetRun run = run_of(3, 3);
    run.start();
    run.set_replied(0);
    run.set_timed_out(1);
    run.set_replied(2);
    auto rows = as_planned(run);
    rows[2] = board(3);  // still the old address
    run.read_back(rows);
    EXPECT_EQ(run.result(0), BoardResult::Verified);
    EXPECT_EQ(run.result(1), BoardResult::Failed);
    EXPECT_EQ(run.message(1), "no set reply");
    EXPECT_EQ(run.result(2), BoardResult::Failed);
    EXPECT_EQ(run.message(2), "local_ip reads 10.0.0.3, wanted 10.1.0.3");
}

TEST(SetRun, SearchesAgainOnlyForBoardsNotReadBackAndGivesUp) {
    SetRun run = run_of(3, 3);
    run.start();
    for (std::size_t i = 0; i < 3; ++i) run.set_replied(i);
    auto steps = run.read_back(as_planned(run, {1}));
    for (int search = 2; search <= SetRun::kReadBackSearches; ++search) {
        const Step* again = find(steps, Step::ReadBack);
        ASSERT_NE(again, nullptr) << "search " << search;
        EXPECT_EQ(again->boards, (std::vector<std::size_t>{1}));
        steps = run.read_back(as_planned(run, {1}));
    }
    EXPECT_NE(find(steps, Step::Finished), nullptr);
    EXPECT_EQ(run.result(0), BoardResult::Verified);
    EXPECT_EQ(run.result(1), BoardResult::Failed);
    EXPECT_EQ(run.message(1), "did not answer after the set");
}

TEST(SetRun, InterruptSendsNothingNewButAwaitsAndReadsBackTheOutstanding) {
    SetRun run = run_of(4, 2);
    run.start();
    EXPECT_TRUE(run.interrupt().empty()) << "two replies are outstanding";
    EXPECT_TRUE(sends(run.set_replied(0)).empty());
    const auto steps = run.set_timed_out(1);
    const Step* read = find(steps, Step::ReadBack);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->boards, (std::vector<std::size_t>{0, 1}));
    run.read_back(as_planned(run));
    EXPECT_TRUE(run.finished());
    EXPECT_TRUE(run.interrupted());
    EXPECT_EQ(run.result(0), BoardResult::Verified);
    EXPECT_EQ(run.result(1), BoardResult::Failed);
    EXPECT_EQ(run.result(2), BoardResult::NotStarted);
    EXPECT_EQ(run.result(3), BoardResult::NotStarted);
}

TEST(SetRun, InterruptBeforeTheStartFinishesAtOnce) {
    SetRun run = run_of(2, 2, {1});
    EXPECT_NE(find(run.interrupt(), Step::Finished), nullptr);
    EXPECT_EQ(run.result(0), BoardResult::NotStarted);
    EXPECT_EQ(run.result(1), BoardResult::Unchanged) << "it needed nothing sent";
}

TEST(SiteComparison, TargetNamesTheSettingThatFails) {
    const BoardRow now = board(1);
    const BoardTarget ok = target_for(
        now, {{"local_ip", "10.0.0.1", "line 4"}, {"subnet_mask", "255.255.0.0", "line 5"}});
    ASSERT_TRUE(ok.row);
    ASSERT_EQ(ok.changes.size(), 1u) << "local_ip already holds its value";
    EXPECT_EQ(ok.changes[0].field, "subnet_mask");

    const BoardTarget bad = target_for(
        now, {{"local_ip", "10.0.0.9", "line 4"}, {"subnet_mask", "255.255.0", "line 5"}});
    EXPECT_FALSE(bad.row);
    EXPECT_EQ(bad.error.rfind("line 5: ", 0), 0u) << bad.error;
}

TEST(SiteComparison, DriftNamesWhatMovedSinceItWasRecorded) {
    const BoardRow then = board(1);
    const BoardSettings recorded = settings_of(then);
    EXPECT_TRUE(drift(recorded, then).empty());
    const auto moved = drift(recorded, with_ip(then, "10.0.0.77"));
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].field, "local_ip");
    EXPECT_EQ(moved[0].now, "10.0.0.1");
    EXPECT_EQ(moved[0].wanted, "10.0.0.77");
    BoardRow other = then;
    other.product_code = {0, 3};
    EXPECT_EQ(drift(recorded, other).at(0).field, "model");
}

}  // namespace
}  // namespace quorin::fleet
