#include "fleet/rollout.h"

#include <gtest/gtest.h>

#include "fleet/site_run.h"
#include "settings/field_catalogue.h"

namespace quorin::fleet {
namespace {

using Step = Rollout::Step;
using R = RolloutResult;

// Board n: a 0002 board at firmware 1.5.0 (major 1, minor 5).
BoardRow board(std::uint8_t n, std::uint8_t ip_last = 0) {
    BoardRow row{};
    row.product_code = {0, 2};
    row.mac_address = {2, 0x51, 0, 2, 0, n};
    row.local_ip = {10, 0, 0, ip_last == 0 ? n : ip_last};
    row.firmware_major = 1;
    row.firmware_minor = 5;
    return row;
}

BoardRow with_firmware(BoardRow row, std::uint8_t major, std::uint8_t minor) {
    row.firmware_major = major;
    row.firmware_minor = minor;
    return row;
}

std::vector<std::size_t> of_kind(const Rollout::Steps& steps, Step::Kind kind) {
    std::vector<std::size_t> out;
    for (const Step& s : steps) {
        if (s.kind == kind) out.push_back(s.board);
    }
    return out;
}

bool has(const Rollout::Steps& steps, Step::Kind kind) {
    return std::any_of(steps.begin(), steps.end(), [&](const Step& s) { return s.kind == kind; });
}

RolloutOptions options_of(int jobs, int canary = 0, int max_failures = 0,
                          std::string version = {}) {
    RolloutOptions o;
    o.jobs = jobs;
    o.canary = canary;
    o.max_failures = max_failures;
    o.verify_timeout_ms = 10'000;
    o.version = std::move(version);
    return o;
}

Rollout rollout_of(int n, RolloutOptions options) {
    std::vector<BoardRow> rows;
    for (int i = 0; i < n; ++i) rows.push_back(board(static_cast<std::uint8_t>(i + 1)));
    return Rollout(std::move(rows), std::move(options));
}

// Board `i` uploads and answers as it was: verified.
void upload_and_verify(Rollout& r, std::size_t i, Rollout::Ms& now) {
    r.upload_ended(i, true, now);
    now += 1000;
    r.board_answered(r.before(i), now);
}

TEST(RolloutOrder, AsNamedByMacOrByAddress) {
    const std::vector<BoardRow> rows = {board(3, 1), board(1, 9), board(2, 1)};
    EXPECT_EQ(rollout_order(rows, RolloutOrder::Named), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(rollout_order(rows, RolloutOrder::Mac), (std::vector<std::size_t>{1, 2, 0}));
    // Equal addresses go by MAC.
    EXPECT_EQ(rollout_order(rows, RolloutOrder::Ip), (std::vector<std::size_t>{2, 0, 1}));
}

TEST(UpgradeChanges, ComparesValuesNotTheTextsEachFirmwareGivesThem) {
    // 1.5.2 and 1.6.0 sit on either side of the baud tables' boundary: the same code reads as
    // another rate on each side.
    BoardRow before = with_firmware(board(1), 1, 52);
    before.channel[0].baud_rate = 3;
    const BoardRow after = with_firmware(before, 1, 60);
    ASSERT_NE(settings::field_of(before, "channel[0].baud_rate")->value,
              settings::field_of(after, "channel[0].baud_rate")->value);
    EXPECT_TRUE(upgrade_changes(before, after).empty());

    BoardRow moved = after;
    moved.channel[0].local_port = before.channel[0].local_port + 1;
    const auto changes = upgrade_changes(before, moved);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].field, "channel[0].local_port");
}

TEST(Rollout, KeepsAtMostJobsTransfersAndStartsTheNextWhenOneEnds) {
    Rollout r = rollout_of(5, options_of(3));
    Rollout::Ms now = 0;
    EXPECT_EQ(of_kind(r.start(), Step::StartUpload), (std::vector<std::size_t>{0, 1, 2}));
    // A board being verified holds no transfer.
    EXPECT_EQ(of_kind(r.upload_ended(1, true, now), Step::StartUpload),
              (std::vector<std::size_t>{3}));
    EXPECT_EQ(of_kind(r.upload_ended(0, false, now), Step::StartUpload),
              (std::vector<std::size_t>{4}));
    EXPECT_EQ(r.result(0), R::Failed);
}

TEST(Rollout, CanariesGoFirstAndAFailingOneStopsTheRest) {
    Rollout::Ms now = 0;
    Rollout good = rollout_of(4, options_of(4, 2));
    EXPECT_EQ(of_kind(good.start(), Step::StartUpload), (std::vector<std::size_t>{0, 1}));
    upload_and_verify(good, 0, now);
    good.upload_ended(1, true, now);
    now += 1000;
    EXPECT_EQ(of_kind(good.board_answered(good.before(1), now), Step::StartUpload),
              (std::vector<std::size_t>{2, 3}));

    Rollout bad = rollout_of(4, options_of(4, 2));
    bad.start();
    upload_and_verify(bad, 0, now);
    const auto steps = bad.upload_ended(1, false, now);
    EXPECT_FALSE(has(steps, Step::StartUpload));
    EXPECT_TRUE(has(steps, Step::Finished));
    EXPECT_EQ(bad.result(2), R::NotStarted);
    EXPECT_EQ(bad.why_not_started(3), NotStartedWhy::CanaryFailed);
    EXPECT_EQ(bad.exit_status(), kExitPartial);
}

TEST(Rollout, AfterMaxFailuresNoNewBoardStartsButRunningOnesFinish) {
    Rollout r = rollout_of(4, options_of(2, 0, 1));
    Rollout::Ms now = 0;
    r.start();
    EXPECT_FALSE(has(r.upload_ended(0, false, now), Step::StartUpload));
    EXPECT_EQ(r.why_not_started(2), NotStartedWhy::TooManyFailures);
    EXPECT_EQ(r.result(3), R::NotStarted);
    EXPECT_TRUE(r.uploading(1));
    upload_and_verify(r, 1, now);
    EXPECT_TRUE(r.finished());
    EXPECT_EQ(r.exit_status(), kExitPartial);
}

TEST(Rollout, VerificationComparesTheVersionAndTheSettings) {
    const BoardRow before = board(1);
    BoardRow changed = with_firmware(before, 1, 62);
    changed.channel[0].local_port = before.channel[0].local_port + 1;
    struct Case {
        const char* name;
        std::string version;             // the manifest's; empty: none
        std::optional<BoardRow> answer;  // after the upload; nullopt: silent
        R result;
        std::string firmware_after;
    };
    const std::vector<Case> cases = {
        {"the version, as it was", "1.6.2", with_firmware(before, 1, 62), R::Verified, "1.6.2"},
        {"the version, settings changed", "1.6.2", changed, R::SettingsChanged, "1.6.2"},
        {"still the old version", "1.6.2", before, R::OtherFirmware, "1.5.0"},
        {"a third version", "1.6.2", with_firmware(before, 1, 70), R::OtherFirmware, "1.7.0"},
        {"silent", "1.6.2", std::nullopt, R::NotBack, ""},
        {"no manifest: any version", "", with_firmware(before, 2, 1), R::Verified, "2.1.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rollout r({before}, options_of(1, 0, 0, c.version));
        r.start();
        r.upload_ended(0, true, 0);
        // An answer within the first interval comes from before the restart: not counted.
        r.board_answered(before, 500);
        EXPECT_TRUE(r.verifying(0));
        for (Rollout::Ms now = 1000; now <= 10'000 && !r.finished(); now += 1000) {
            r.tick(now);
            if (c.answer) r.board_answered(*c.answer, now);
        }
        EXPECT_EQ(r.result(0), c.result);
        EXPECT_EQ(r.firmware_after(0), c.firmware_after);
        EXPECT_EQ(r.exit_status(), c.result == R::Verified ? kExitOk : kExitFailure);
    }
}

TEST(Rollout, OneSearchAnIntervalForEveryBoardBeingVerified) {
    Rollout r = rollout_of(3, options_of(3));
    r.start();
    r.upload_ended(0, true, 0);
    r.upload_ended(1, true, 300);
    int searches = 0;
    for (Rollout::Ms now = 0; now < 5000; now += 100) {
        const auto steps = r.tick(now);
        searches += static_cast<int>(of_kind(steps, Step::Search).size());
        if (now < 1000) {
            EXPECT_FALSE(has(steps, Step::Search)) << now;
        }
    }
    EXPECT_EQ(searches, 4);  // at 1, 2, 3 and 4 s
}

TEST(Rollout, TheFirstSignalStartsNoBoardTheSecondAbortsTransfers) {
    Rollout r = rollout_of(4, options_of(2));
    r.start();
    const auto first = r.interrupt();
    EXPECT_EQ(of_kind(first, Step::BoardEnded), (std::vector<std::size_t>{2, 3}));
    EXPECT_EQ(r.why_not_started(2), NotStartedWhy::Interrupted);
    // A transfer that finishes after the first signal is still verified.
    EXPECT_FALSE(has(r.upload_ended(0, true, 0), Step::StartUpload));
    EXPECT_TRUE(r.verifying(0));
    const auto second = r.interrupt();
    EXPECT_EQ(of_kind(second, Step::AbortUpload), (std::vector<std::size_t>{1}));
    EXPECT_TRUE(has(second, Step::Finished));
    EXPECT_EQ(r.result(1), R::Interrupted);
    EXPECT_EQ(r.result(0), R::Unverified);
    EXPECT_EQ(r.exit_status(), kExitInterrupted);
}

}  // namespace
}  // namespace quorin::fleet
