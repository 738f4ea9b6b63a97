// What the boards decide for each kind of datagram, without sockets.
#include <gtest/gtest.h>

#include "sim/board_responder.h"
#include "sim_test_support.h"

namespace quorin::sim {
namespace {

using testing::make_boards;

std::vector<std::uint8_t> search_request() {
    std::vector<std::uint8_t> d(402, 0);
    d[0] = 1;
    d[1] = 0x73;
    return d;
}

std::vector<std::uint8_t> find_request() {
    return {'F', 'I', 'N', 'D'};
}

// A main-protocol request carrying `row`; a legacy board's row goes out in a 290-byte layout.
std::vector<std::uint8_t> request(std::uint8_t opcode, const BoardRow& row) {
    BoardLayout layout = board_layout(row.product_code);
    if (layout.protocol == BoardProtocol::Legacy) layout = board_layout({0, 3});
    return encode_main_record(row, layout, opcode, 0x73);
}

TEST(Responder, SearchIsAnsweredByEveryMainBoardInItsLayout) {
    auto boards = make_boards({"0001", "0002", "0003", "0004", "0005", "0006", "0107"});
    BoardResponder responder(boards);
    const Outcome out = responder.on_main_datagram(search_request());
    EXPECT_EQ(out.request, "search");
    EXPECT_TRUE(out.ignored.empty());
    ASSERT_EQ(out.replies.size(), 6u);
    const std::pair<int, std::size_t> expected[] = {{0, 226}, {1, 402}, {2, 290},
                                                    {4, 290}, {5, 402}, {6, 290}};
    for (std::size_t i = 0; i < 6; ++i) {
        const PlannedReply& r = out.replies[i];
        EXPECT_EQ(r.board, expected[i].first);
        EXPECT_EQ(r.bytes.size(), expected[i].second);
        EXPECT_EQ(r.bytes[0], OPCODE_SEARCH_REPLY);
        EXPECT_EQ(r.delay_ms, 0);
        EXPECT_TRUE(std::equal(r.bytes.begin() + 2, r.bytes.begin() + 8,
                               boards[static_cast<std::size_t>(r.board)].row.mac_address.begin()));
    }
    EXPECT_FALSE(out.upload_board);
    EXPECT_FALSE(out.applied_board);
}

TEST(Responder, FindIsAnsweredByEveryLegacyBoard) {
    auto boards = make_boards({"0002", "0004", "0004"});
    BoardResponder responder(boards);
    const Outcome out = responder.on_legacy_datagram(find_request());
    ASSERT_EQ(out.replies.size(), 2u);
    for (const auto& r : out.replies) {
        EXPECT_EQ(r.bytes.size(), 120u);
        EXPECT_EQ(std::string(r.bytes.begin(), r.bytes.begin() + 4), "IMIN");
    }
    EXPECT_EQ(out.replies[0].board, 1);
    EXPECT_EQ(out.replies[1].board, 2);
}

TEST(Responder, SearchFaultHooks) {
    auto boards = make_boards({"0002", "0003", "0005", "0006", "0004"});
    boards[0].faults.search_twice = true;
    boards[1].faults.reply_delay_ms = 250;
    boards[2].faults.truncate_reply = 100;
    boards[3].faults.wrong_opcode = 4;
    boards[4].faults.wrong_opcode = 4;
    BoardResponder responder(boards);

    const Outcome out = responder.on_main_datagram(search_request());
    std::vector<std::pair<int, std::string>> seen;
    for (const auto& r : out.replies) seen.emplace_back(r.board, r.kind);
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{0, "search_reply"},
                                                              {0, "search_reply"},
                                                              {1, "search_reply"},
                                                              {2, "search_reply"},
                                                              {3, "search_reply"},
                                                              {3, "wrong_opcode"}}));
    EXPECT_EQ(out.replies[2].delay_ms, 250);
    EXPECT_EQ(out.replies[3].bytes.size(), 100u);
    EXPECT_EQ(out.replies[5].bytes.size(), 402u);
    EXPECT_EQ(out.replies[5].bytes[0], 4);
    std::vector<std::string> faults;
    for (const auto& f : out.faults) faults.push_back(f.fault);
    EXPECT_EQ(faults, (std::vector<std::string>{"search_twice", "reply_delay_ms", "truncate_reply",
                                                "wrong_opcode"}));

    const Outcome legacy = responder.on_legacy_datagram(find_request());
    ASSERT_EQ(legacy.replies.size(), 2u);
    EXPECT_EQ(std::string(legacy.replies[1].bytes.begin(), legacy.replies[1].bytes.begin() + 4),
              "SETC");
}

TEST(Responder, SetAppliesToTheBoardWithThatMac) {
    auto boards = make_boards({"0002", "0003", "0003"});
    BoardResponder responder(boards);
    BoardRow wanted = boards[2].row;
    wanted.local_ip = {10, 1, 1, 50};
    wanted.channel[1].baud_rate = 7;
    wanted.firmware_major = 9;  // the board keeps its own
    const BoardRow before = boards[2].row;

    const Outcome out = responder.on_main_datagram(request(OPCODE_SET_REQUEST, wanted));
    EXPECT_EQ(out.request, "set");
    ASSERT_EQ(out.applied_board, 2);
    EXPECT_EQ(out.settings_before, before);
    EXPECT_EQ(boards[2].row.local_ip, wanted.local_ip);
    EXPECT_EQ(boards[2].row.channel[1].baud_rate, 7);
    EXPECT_EQ(boards[2].row.firmware_major, before.firmware_major);
    EXPECT_EQ(boards[1].row, make_boards({"0002", "0003"})[1].row) << "other boards unchanged";
    ASSERT_EQ(out.replies.size(), 1u);
    EXPECT_EQ(out.replies[0].bytes, encode_main_record(boards[2].row, board_layout({0, 3}),
                                                       OPCODE_SET_REPLY, kBoardHostTag));
}

TEST(Responder, RequestsThatChangeNothing) {
    auto boards = make_boards({"0002", "0004"});
    BoardResponder responder(boards);
    BoardRow stranger = boards[0].row;
    stranger.mac_address[5] ^= 0xFF;
    auto short_set = request(OPCODE_SET_REQUEST, boards[0].row);
    short_set.resize(290);  // the board speaks 402 bytes
    std::vector<std::uint8_t> legacy_short = encode_legacy_record(boards[1].row, "SETT");
    legacy_short.resize(60);

    struct Case {
        const char* label;
        bool legacy;
        std::vector<std::uint8_t> datagram;
        const char* reason;
    } const cases[] = {
        {"empty", false, {}, "empty"},
        {"a search reply", false, request(OPCODE_SEARCH_REPLY, boards[0].row), "not_a_request"},
        {"an upload-complete report", false, request(OPCODE_UPLOAD_COMPLETE, boards[0].row),
         "not_a_request"},
        {"opcode 9", false, {9, 0, 0}, "unknown_opcode"},
        {"set for an unknown MAC", false, request(OPCODE_SET_REQUEST, stranger), "no_board"},
        {"set too short to hold a MAC", false, {3, 0, 1, 2}, "no_board"},
        {"set shorter than the board's layout", false, short_set, "short_request"},
        {"set on the main port for a legacy board", false,
         request(OPCODE_SET_REQUEST, boards[1].row), "no_board"},
        {"upload for an unknown MAC", false, request(OPCODE_UPLOAD_REQUEST, stranger), "no_board"},
        {"legacy: IMIN", true, encode_legacy_record(boards[1].row, "IMIN"), "not_a_request"},
        {"legacy: XXXX", true, {'X', 'X', 'X', 'X'}, "unknown_opcode"},
        {"legacy: SETT for a main board", true, encode_legacy_record(boards[0].row, "SETT"),
         "no_board"},
        {"legacy: SETT cut short", true, legacy_short, "short_request"},
    };
    const auto snapshot = boards;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const Outcome out = c.legacy ? responder.on_legacy_datagram(c.datagram)
                                     : responder.on_main_datagram(c.datagram);
        EXPECT_EQ(out.ignored, c.reason);
        EXPECT_TRUE(out.replies.empty());
        EXPECT_FALSE(out.applied_board);
        EXPECT_FALSE(out.upload_board);
    }
    for (std::size_t i = 0; i < boards.size(); ++i) EXPECT_EQ(boards[i].row, snapshot[i].row);
}

TEST(Responder, UploadRequests) {
    auto boards = make_boards({"0006", "0001", "0004", "0004"});
    boards[1].faults.refuse_upload = true;
    boards[3].faults.refuse_upload = true;
    BoardResponder responder(boards);

    const Outcome main = responder.on_main_datagram(request(OPCODE_UPLOAD_REQUEST, boards[0].row));
    ASSERT_EQ(main.replies.size(), 1u);
    EXPECT_EQ(main.replies[0].bytes[0], OPCODE_UPLOAD_REPLY);
    EXPECT_EQ(main.upload_board, 0);
    EXPECT_EQ(main.upload_kind, UploadKind::Acknowledged);

    const Outcome refused =
        responder.on_main_datagram(request(OPCODE_UPLOAD_REQUEST, boards[1].row));
    EXPECT_EQ(refused.replies.size(), 1u) << "the board still answers the request";
    EXPECT_FALSE(refused.upload_board);
    ASSERT_EQ(refused.faults.size(), 1u);
    EXPECT_EQ(refused.faults[0].fault, "refuse_upload");

    const Outcome legacy =
        responder.on_legacy_datagram(encode_legacy_record(boards[2].row, "FIRS"));
    EXPECT_TRUE(legacy.replies.empty()) << "the legacy protocol has no upload reply";
    EXPECT_EQ(legacy.upload_board, 2);
    EXPECT_EQ(legacy.upload_kind, UploadKind::Streamed);

    const Outcome legacy_refused =
        responder.on_legacy_datagram(encode_legacy_record(boards[3].row, "FIRS"));
    EXPECT_FALSE(legacy_refused.upload_board);
    EXPECT_EQ(legacy_refused.faults.size(), 1u);
}

TEST(Responder, UploadCompleteReport) {
    auto boards = make_boards({"0002", "0003"});
    boards[0].faults.reply_delay_ms = 40;
    boards[1].faults.no_upload_complete = true;
    BoardResponder responder(boards);
    std::vector<FaultNote> faults;
    const auto report = responder.upload_complete_report(0, faults, 300);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->bytes.size(), 402u);
    EXPECT_EQ(report->bytes[0], OPCODE_UPLOAD_COMPLETE);
    EXPECT_EQ(report->delay_ms, 340);
    faults.clear();
    EXPECT_FALSE(responder.upload_complete_report(1, faults, 300));
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].fault, "no_upload_complete");
}

TEST(Responder, UpgradeChangesTheFirstChannelsLocalPort) {
    auto boards = make_boards({"0004", "0003"});
    boards[1].row.channel[0].local_port = 65535;
    for (auto& b : boards) b.faults.upgrade_changes_settings = true;
    BoardResponder responder(boards);
    EXPECT_EQ(responder.plan_reboot(0, std::nullopt).row.channel[0].local_port, 5001u);
    EXPECT_EQ(responder.plan_reboot(1, std::nullopt).row.channel[0].local_port, 1u);
}

TEST(Responder, ARebootingBoardDropsEveryDatagramForIt) {
    auto boards = make_boards({"0002", "0003", "0004"});
    BoardResponder responder(boards);
    responder.set_rebooting(0, true);
    responder.set_rebooting(2, true);

    const Outcome search = responder.on_main_datagram(search_request());
    ASSERT_EQ(search.replies.size(), 1u) << "the other board still answers";
    EXPECT_EQ(search.rebooting, std::vector<int>{0});
    EXPECT_EQ(responder.on_legacy_datagram(find_request()).rebooting, std::vector<int>{2});
    const Outcome set = responder.on_main_datagram(request(OPCODE_SET_REQUEST, boards[0].row));
    const Outcome upload =
        responder.on_legacy_datagram(encode_legacy_record(boards[2].row, "FIRS"));
    for (const Outcome* out : {&set, &upload}) {
        EXPECT_EQ(out->ignored, "rebooting");
        EXPECT_TRUE(out->replies.empty());
        EXPECT_FALSE(out->applied_board || out->upload_board);
    }

    responder.end_all_reboots();
    EXPECT_EQ(responder.on_main_datagram(search_request()).replies.size(), 2u);
}

}  // namespace
}  // namespace quorin::sim
