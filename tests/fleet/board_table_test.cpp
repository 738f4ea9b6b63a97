#include "fleet/board_table.h"

#include <gtest/gtest.h>

namespace quorin::fleet {
namespace {

using Pick = BoardTable::Pick;

// Board n of product `code` at 10.0.0.`ip` with firmware major.minor.
BoardListing listing(std::uint8_t n, std::uint8_t code, std::uint8_t ip, std::uint8_t major,
                     std::uint8_t minor) {
    BoardListing b;
    b.row.product_code = {0, code};
    b.row.mac_address = {2, 0x51, 0, 0x10, 0, n};
    b.row.local_ip = {10, 0, 0, ip};
    b.row.subnet_mask = {255, 255, 255, 0};
    b.row.firmware_major = major;
    b.row.firmware_minor = minor;
    b.interface = n % 2 == 0 ? "eth0" : "eth1";
    return b;
}

std::vector<BoardListing> fleet_of() {
    return {listing(1, 2, 10, 1, 53), listing(2, 6, 9, 2, 1), listing(3, 3, 100, 1, 5)};
}

std::vector<std::string> column(const BoardTable& t, BoardColumn c) {
    std::vector<std::string> out;
    for (std::size_t r = 0; r < t.rows(); ++r) out.push_back(t.cell(r, c));
    return out;
}

TEST(BoardTable, SortsEachColumnByWhatItHolds) {
    BoardTable t;
    t.set_boards(fleet_of());
    struct Case {
        BoardColumn column;
        bool ascending;
        std::vector<std::string> macs_last_byte;
    };
    const Case cases[] = {
        {BoardColumn::Mac, true, {"01", "02", "03"}},
        {BoardColumn::Ip, true, {"02", "01", "03"}},  // 10.0.0.9 before 10.0.0.10
        {BoardColumn::Ip, false, {"03", "01", "02"}},
        {BoardColumn::Firmware, true, {"03", "01", "02"}},  // 1.5.0, 1.5.3, 2.1.0
        {BoardColumn::Model, true, {}},                     // checked below: the names' text order
    };
    for (const Case& c : cases) {
        t.sort(c.column, c.ascending);
        std::vector<std::string> got;
        for (const std::string& mac : column(t, BoardColumn::Mac)) got.push_back(mac.substr(15));
        if (c.column == BoardColumn::Model) {
            // Text order of the model names, whatever they are.
            const auto models = column(t, BoardColumn::Model);
            EXPECT_TRUE(std::is_sorted(models.begin(), models.end()));
            continue;
        }
        EXPECT_EQ(got, c.macs_last_byte) << static_cast<int>(c.column);
    }
}

TEST(BoardTable, TheFilterFindsTextInAnyColumnIgnoringCase) {
    BoardTable t;
    t.set_boards(fleet_of());
    const std::pair<const char*, std::size_t> cases[] = {
        {"", 3}, {"ETH1", 2}, {"10.0.0.10", 2}, {"2.1.0", 1}, {"found", 3}, {"nothing", 0}};
    for (const auto& [text, rows] : cases) {
        t.set_filter(text);
        EXPECT_EQ(t.rows(), rows) << text;
    }
    t.set_filter("failed");
    t.set_status(fleet_of()[1].row.mac_address, {BoardStatus::Failed, 0, "no set reply"});
    ASSERT_EQ(t.rows(), 1u);
    EXPECT_EQ(t.cell(0, BoardColumn::Status), "failed: no set reply");
}

TEST(BoardTable, ClicksCtrlAndShiftPickAndASearchKeepsTheBoardsStillPresent) {
    BoardTable t;
    t.set_boards(fleet_of());
    t.pick(0, Pick::Only);
    t.pick(2, Pick::Toggle);
    EXPECT_EQ(t.selection().size(), 2u);
    t.pick(2, Pick::Toggle);
    EXPECT_EQ(t.selection().size(), 1u);
    t.pick(0, Pick::Only);
    t.pick(2, Pick::Range);  // from the row picked last
    EXPECT_EQ(t.selection().size(), 3u);
    t.pick(1, Pick::Only);
    t.pick(2, Pick::Range);
    EXPECT_EQ(t.selection(),
              (std::vector<Mac>{fleet_of()[1].row.mac_address, fleet_of()[2].row.mac_address}));

    t.set_status(fleet_of()[1].row.mac_address, {BoardStatus::Changed, 0, {}});
    // Board 3 is gone, board 4 is new: the selection and status of board 2 stay.
    t.set_boards({fleet_of()[0], fleet_of()[1], listing(4, 2, 11, 1, 5)});
    EXPECT_EQ(t.selection(), (std::vector<Mac>{fleet_of()[1].row.mac_address}));
    EXPECT_EQ(t.cell(*t.row_of(fleet_of()[1].row.mac_address), BoardColumn::Status), "changed");
    EXPECT_EQ(t.cell(2, BoardColumn::Status), "found");

    // A board the filter hides has no row but keeps its status; an unknown one is "found".
    t.set_filter("changed");
    EXPECT_EQ(t.rows(), 1u);
    EXPECT_FALSE(t.row_of(fleet_of()[0].row.mac_address));
    EXPECT_EQ(t.row_of(fleet_of()[1].row.mac_address), 0u);
    t.set_status(fleet_of()[0].row.mac_address, {BoardStatus::Verified, 100, {}});
    EXPECT_EQ(t.status_of(fleet_of()[0].row.mac_address).kind, BoardStatus::Verified);
    EXPECT_EQ(t.status_of(fleet_of()[2].row.mac_address).kind, BoardStatus::Found);
}

TEST(BoardStatus, EveryResultOfAnApplyAndARolloutHasItsStatus) {
    using K = BoardStatus;
    const std::pair<BoardResult, const char*> applied[] = {
        {BoardResult::Unchanged, "found"},        {BoardResult::Verified, "changed"},
        {BoardResult::Failed, "failed: why"},     {BoardResult::NotReached, "failed: why"},
        {BoardResult::NotStarted, "failed: why"},
    };
    for (const auto& [result, text] : applied)
        EXPECT_EQ(status_text(status_after_apply(result, "why")), text) << result_name(result);
    EXPECT_EQ(status_text(status_after_apply(BoardResult::NotReached, "")), "failed: not_reached");

    const std::pair<RolloutResult, const char*> rolled[] = {
        {RolloutResult::Pending, nullptr},
        {RolloutResult::NotStarted, nullptr},
        {RolloutResult::Verified, "verified"},
        {RolloutResult::OtherFirmware, "failed: why"},
        {RolloutResult::SettingsChanged, "failed: why"},
        {RolloutResult::NotBack, "failed: why"},
        {RolloutResult::Failed, "failed: why"},
        {RolloutResult::Interrupted, "failed: why"},
        {RolloutResult::Unverified, "failed: why"},
    };
    for (const auto& [result, text] : rolled) {
        const auto s = status_after_rollout(result, "why");
        EXPECT_EQ(s ? status_text(*s) : "-", text ? text : "-") << rollout_result_name(result);
    }
    EXPECT_EQ(status_text({K::Upgrading, 40, {}}), "upgrading 40 %");
}

}  // namespace
}  // namespace quorin::fleet
