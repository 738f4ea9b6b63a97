// The protocol core without sockets: request building, the tag queue and the reply dispatcher
// by operation state.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/config_core.h"
#include "protocol/record_codec.h"
#include "res/texts.h"
#include "tests/support/core_states.h"

namespace quorin {
namespace {

using Bytes = std::vector<std::uint8_t>;

BoardRow board(std::uint8_t product, std::uint8_t mac_last) {
    BoardRow row;
    row.mac_address = {0x00, 0x08, 0xDC, 0x10, 0x20, mac_last};
    row.product_code = {0x00, product};
    row.local_ip = {192, 168, 1, mac_last};
    row.firmware_major = 1;
    row.firmware_minor = 53;
    row.channel[0].local_port = 5000;
    return row;
}

Bytes main_reply(const BoardRow& row, std::uint8_t opcode) {
    return encode_main_datagram(row, opcode, 0);
}

Bytes legacy_reply(const BoardRow& row, const char* opcode) {
    return encode_legacy_datagram(row, opcode);
}

std::vector<Action::Kind> kinds(const std::vector<Action>& actions) {
    std::vector<Action::Kind> k;
    for (const auto& a : actions) k.push_back(a.kind);
    return k;
}

const std::string kSearchLog(text::kLogSearchReply);

TEST(ConfigCoreRequests, SearchBuildsTwoDatagramsAndClearsTheTable) {
    ConfigCore core;
    core.reset();
    core.host_tag = 115;
    testing::reach_state(core, OperationState::Search);
    core.handle_datagram(kSearchSocketTag, main_reply(board(2, 1), OPCODE_SEARCH_REPLY));
    ASSERT_EQ(core.board_count(), 1);

    const auto out = core.send_data(OPCODE_SEARCH_REQUEST);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].tag, kSearchSocketTag);
    ASSERT_EQ(out[0].bytes.size(), 402u);
    EXPECT_EQ(out[0].bytes[0], 1);
    EXPECT_EQ(out[0].bytes[1], 115);
    EXPECT_TRUE(std::all_of(out[0].bytes.begin() + 2, out[0].bytes.end(),
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(out[1].tag, kLegacySocketTag);
    EXPECT_EQ(out[1].bytes, (Bytes{'F', 'I', 'N', 'D'}));
    EXPECT_EQ(core.board_count(), 0);
    EXPECT_EQ(core.listed_count(), 0);
    EXPECT_EQ(core.board(0), BoardRow{});
    EXPECT_EQ(core.queue_write_position(), 0);
    EXPECT_EQ(core.queue_read_position(), 0);
}

TEST(ConfigCoreRequests, SetRequestLengthAndSocketFollowTheProduct) {
    struct Case {
        std::uint8_t product;
        std::uint8_t tag;
        std::size_t length;
    };
    for (const Case& c : {Case{1, kSearchSocketTag, 226}, Case{2, kSearchSocketTag, 402},
                          Case{3, kSearchSocketTag, 290}, Case{4, kLegacySocketTag, 120},
                          Case{5, kSearchSocketTag, 290}, Case{6, kSearchSocketTag, 402},
                          Case{0x77, kSearchSocketTag, 290}}) {
        SCOPED_TRACE(int(c.product));
        ConfigCore core;
        core.host_tag = 9;
        core.working = board(c.product, 7);
        const auto out = core.send_data(OPCODE_SET_REQUEST);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].tag, c.tag);
        EXPECT_EQ(out[0].bytes.size(), c.length);
        if (c.tag == kLegacySocketTag) {
            EXPECT_EQ(std::string(out[0].bytes.begin(), out[0].bytes.begin() + 4), "SETT");
            const auto up = core.send_data(OPCODE_UPLOAD_REQUEST);
            EXPECT_EQ(std::string(up[0].bytes.begin(), up[0].bytes.begin() + 4), "FIRS");
        } else {
            EXPECT_EQ(out[0].bytes[0], OPCODE_SET_REQUEST);
            EXPECT_EQ(out[0].bytes[1], 9);
            EXPECT_EQ(core.send_data(OPCODE_UPLOAD_REQUEST)[0].bytes[0], OPCODE_UPLOAD_REQUEST);
        }
    }
}

TEST(ConfigCoreRequests, ShortLayoutAfterLongLayoutCarriesZerosBeyondIt) {
    ConfigCore core;
    core.working = board(2, 1);
    for (auto& b : core.working.pppoe_id) b = 'x';
    for (auto& ch : core.working.channel) ch.inactivity_time = 0xFFFF;
    ASSERT_EQ(core.send_data(OPCODE_SET_REQUEST)[0].bytes.size(), 402u);

    BoardRow short_row = board(3, 1);
    core.working = short_row;
    const Bytes sent = core.send_data(OPCODE_SET_REQUEST)[0].bytes;
    EXPECT_EQ(sent, encode_main_datagram(short_row, OPCODE_SET_REQUEST, core.host_tag));
    EXPECT_EQ(sent.size(), 290u);
}

TEST(ConfigCoreRequests, OnlySetRequestsClearTheSetDoneFlag) {
    ConfigCore core;
    core.working = board(2, 1);
    core.set_done = 1;
    core.send_data(OPCODE_UPLOAD_REQUEST);
    EXPECT_EQ(core.set_done, 1);
    core.send_data(OPCODE_SET_REQUEST);
    EXPECT_EQ(core.set_done, 0);
}

TEST(ConfigCoreRequests, OtherOpcodesSendNothing) {
    ConfigCore core;
    core.working = board(2, 1);
    for (int opcode : {0, 2, 4, 6, 7, 8, 255, -1}) {
        EXPECT_TRUE(core.send_data(opcode).empty()) << opcode;
    }
}

TEST(ConfigCoreQueue, PositionsCycleThroughOneToHundredAfterTheFirstPass) {
    EXPECT_EQ(ConfigCore::advance(0), 1);
    EXPECT_EQ(ConfigCore::advance(99), 100);
    EXPECT_EQ(ConfigCore::advance(100), 1);

    ConfigCore core;
    core.reset();
    // An empty queue holds no valid tag: nothing is consumed.
    EXPECT_EQ(core.take_tag(), 0);
    EXPECT_EQ(core.queue_read_position(), 0);
    for (int i = 0; i < 250; ++i) {
        core.push_tag(kSearchSocketTag);
        ASSERT_EQ(core.take_tag(), kSearchSocketTag);
        ASSERT_GE(core.queue_write_position(), 1);
        ASSERT_LE(core.queue_write_position(), 100);
        ASSERT_EQ(core.queue_read_position(), core.queue_write_position());
    }
}

class Dispatch : public ::testing::Test {
  protected:
    void SetUp() override {
        core.reset();
        core.send_data(OPCODE_SEARCH_REQUEST);
    }
    std::vector<Action> search(const BoardRow& row) {
        return core.handle_datagram(kSearchSocketTag, main_reply(row, OPCODE_SEARCH_REPLY));
    }
    ConfigCore core;
};

TEST_F(Dispatch, ThreeBoardsOneAnsweringTwice) {
    const BoardRow a = board(1, 1), b = board(2, 2), c = board(6, 3);
    std::vector<std::vector<Action>> all{search(a), search(b), search(a), search(c)};
    EXPECT_EQ(core.board_count(), 3);
    EXPECT_EQ(core.listed_count(), 3);
    EXPECT_EQ(core.listed_mac(0), "00:08:DC:10:20:01");
    EXPECT_EQ(core.listed_mac(2), "00:08:DC:10:20:03");
    EXPECT_EQ(core.board(1).product_code, b.product_code);
    using K = Action::Kind;
    EXPECT_EQ(kinds(all[0]), (std::vector<K>{K::AppendBoardEntry, K::Log, K::SelectAndShow}));
    // The duplicate is not listed again but still logged and followed by select-and-show.
    EXPECT_EQ(kinds(all[2]), (std::vector<K>{K::Log, K::SelectAndShow}));
    EXPECT_EQ(all[2][0].text, kSearchLog);
}

TEST_F(Dispatch, LegacyBoardIsListedAsProduct0004WithoutLogLine) {
    BoardRow legacy = board(4, 9);
    legacy.channel[0].use_dns = 0;
    const auto actions =
        core.handle_datagram(kLegacySocketTag, legacy_reply(legacy, kLegacySearchReply));
    using K = Action::Kind;
    EXPECT_EQ(kinds(actions), (std::vector<K>{K::AppendBoardEntry, K::SelectAndShow}));
    EXPECT_EQ(core.board(0).product_code, (std::array<std::uint8_t, 2>{0, 4}));
    EXPECT_EQ(core.board(0).channel[0].use_dns, 1);
    // A legacy datagram that is not "IMIN" is dropped.
    EXPECT_TRUE(core.handle_datagram(kLegacySocketTag, legacy_reply(legacy, "SETC")).empty());
}

TEST_F(Dispatch, WrongOpcodeDuringSearchIsReportedAndChangesNothing) {
    for (std::uint8_t opcode : {1, 3, 4, 6, 7, 0, 200}) {
        const auto actions =
            core.handle_datagram(kSearchSocketTag, main_reply(board(2, 1), opcode));
        ASSERT_EQ(actions.size(), 1u);
        EXPECT_EQ(actions[0], (Action{Action::InvalidOpcode, std::string(text::kInvalidOpcode)}));
    }
    const auto empty = core.handle_datagram(kSearchSocketTag, {});
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].kind, Action::InvalidOpcode);
    EXPECT_EQ(core.board_count(), 0);
}

TEST_F(Dispatch, TruncatedReplyDecodesWhatItCarries) {
    Bytes d = main_reply(board(2, 5), OPCODE_SEARCH_REPLY);
    d.resize(16);  // ends inside subnet_mask
    search(board(1, 1));
    core.handle_datagram(kSearchSocketTag, d);
    ASSERT_EQ(core.board_count(), 2);
    EXPECT_EQ(core.board(1).local_ip, (std::array<std::uint8_t, 4>{192, 168, 1, 5}));
    EXPECT_EQ(core.board(1).subnet_mask, (std::array<std::uint8_t, 4>{}));
    EXPECT_EQ(core.board(1).channel[0].local_port, 0u);
    // A datagram too short for the whole MAC reads it as zero, in the list as in the row.
    core.handle_datagram(kSearchSocketTag, Bytes{OPCODE_SEARCH_REPLY, 0, 0x11, 0x22, 0x33});
    EXPECT_EQ(core.listed_mac(2), "00:00:00:00:00:00");
    EXPECT_EQ(core.board(2).mac_address, (std::array<std::uint8_t, 6>{}));
}

TEST_F(Dispatch, BoardsBeyondTheTableAreIgnoredAndSaidOnce) {
    int full_lines = 0;
    for (int i = 0; i < 210; ++i) {
        BoardRow row = board(2, static_cast<std::uint8_t>(i));
        row.mac_address[4] = static_cast<std::uint8_t>(i >> 8);
        for (const auto& a : search(row)) {
            if (a.kind == Action::TableFull) {
                ++full_lines;
                EXPECT_EQ(a.text, text::kLogBoardTableFull);  // the window's line, as ever
            }
            if (i >= 200) {
                EXPECT_NE(a.kind, Action::AppendBoardEntry);
            }
        }
    }
    EXPECT_EQ(core.board_count(), 200);
    EXPECT_EQ(core.listed_count(), 200);
    EXPECT_TRUE(core.table_overflowed());
    EXPECT_EQ(full_lines, 1);
    // A board already listed is still recognised when the table is full.
    EXPECT_EQ(kinds(search(board(2, 0))),
              (std::vector<Action::Kind>{Action::Log, Action::SelectAndShow}));
}

// A core sized for N boards lists N and says once that the table is full, in the window's words
// with its own size; the next search starts from an empty table again.
TEST(ConfigCoreCapacity, ACoreOfNBoardsListsNAndSaysTableFullOnceBeyond) {
    for (const int n : {1, 7, ConfigCore::kMaxBoards, 2000}) {
        ConfigCore core(n);
        EXPECT_EQ(core.capacity(), n);
        core.reset();
        core.send_data(OPCODE_SEARCH_REQUEST);
        std::vector<Action> full;
        for (int i = 0; i < n + 3; ++i) {
            BoardRow row = board(2, static_cast<std::uint8_t>(i));
            row.mac_address[4] = static_cast<std::uint8_t>(i >> 8);
            for (const Action& a :
                 core.handle_datagram(kSearchSocketTag, main_reply(row, OPCODE_SEARCH_REPLY))) {
                if (a.kind == Action::TableFull) full.push_back(a);
                if (i >= n) {
                    EXPECT_NE(a.kind, Action::AppendBoardEntry) << n << " " << i;
                }
            }
        }
        EXPECT_EQ(core.board_count(), n);
        EXPECT_EQ(core.listed_count(), n);
        EXPECT_EQ(core.board(n - 1).mac_address[5], static_cast<std::uint8_t>(n - 1)) << n;
        EXPECT_EQ(core.listed_mac(n - 1), mac_text(core.board(n - 1).mac_address)) << n;
        EXPECT_TRUE(core.table_overflowed());
        ASSERT_EQ(full.size(), 1u) << n;
        EXPECT_EQ(full[0].text, "Board table full (" + std::to_string(n) +
                                    " boards): further search replies ignored");

        core.send_data(OPCODE_SEARCH_REQUEST);
        EXPECT_EQ(core.board_count(), 0);
        EXPECT_FALSE(core.table_overflowed());
        EXPECT_EQ(core.board(std::min(n, ConfigCore::kMaxBoards) - 1), BoardRow{}) << n;
    }
    // The window's table: 200 boards, and its log line as it has always read.
    ConfigCore window;
    EXPECT_EQ(window.capacity(), ConfigCore::kMaxBoards);
    EXPECT_EQ(window.board(ConfigCore::kMaxBoards - 1), BoardRow{});
}

// Boards found by another search are listed as they are: each MAC once, up to the capacity, past
// the rows the core holds from its start.
TEST(ConfigCoreCapacity, ListedBoardsAreTakenOnceEachUpToTheCapacity) {
    for (const int n : {1, ConfigCore::kMaxBoards + 5}) {
        ConfigCore core(n);
        for (int i = 0; i < n + 2; ++i) {
            BoardRow row = board(2, static_cast<std::uint8_t>(i));
            row.mac_address[4] = static_cast<std::uint8_t>(i >> 8);
            core.list_board(row);
            core.list_board(row);
        }
        ASSERT_EQ(core.board_count(), n);
        EXPECT_EQ(core.listed_count(), n);
        EXPECT_EQ(core.board(n - 1).mac_address[5], static_cast<std::uint8_t>(n - 1)) << n;
        EXPECT_EQ(core.listed_mac(n - 1), mac_text(core.board(n - 1).mac_address)) << n;
    }
}

TEST_F(Dispatch, SetReplyAppliedOnceAndMatchedOnTheMacBytes) {
    search(board(2, 1));
    search(board(6, 2));
    core.working = board(6, 2);
    core.send_data(OPCODE_SET_REQUEST);

    BoardRow changed = board(6, 2);
    changed.local_ip = {10, 0, 0, 2};
    changed.channel[3].remote_port = 4242;
    const auto first =
        core.handle_datagram(kSearchSocketTag, main_reply(changed, OPCODE_SET_REPLY));
    EXPECT_EQ(first,
              (std::vector<Action>{{Action::SetApplied, std::string(text::kSettingCompleted)},
                                   {Action::Log, std::string(text::kLogSetReply)}}));
    EXPECT_EQ(core.board(1).local_ip, changed.local_ip);
    EXPECT_EQ(core.board(1).channel[3].remote_port, 4242u);
    EXPECT_EQ(core.set_done, 1);

    changed.local_ip = {10, 0, 0, 3};
    const auto second =
        core.handle_datagram(kSearchSocketTag, main_reply(changed, OPCODE_SET_REPLY));
    EXPECT_EQ(second, (std::vector<Action>{{Action::Log, std::string(text::kLogSetReply)}}));
    EXPECT_EQ(core.board(1).local_ip, (std::array<std::uint8_t, 4>{10, 0, 0, 2}));

    // Unknown MAC: reported whatever the flag is; the flag stays.
    for (int flag : {0, 1}) {
        core.set_done = flag;
        const auto unknown =
            core.handle_datagram(kSearchSocketTag, main_reply(board(2, 99), OPCODE_SET_REPLY));
        ASSERT_FALSE(unknown.empty());
        EXPECT_EQ(unknown[0], (Action{Action::InvalidMessage, std::string(text::kInvalidMessage)}));
        EXPECT_EQ(core.set_done, flag);
    }
}

TEST_F(Dispatch, LegacySetReplyIsLoggedAsSetc) {
    BoardRow legacy = board(4, 7);
    core.handle_datagram(kLegacySocketTag, legacy_reply(legacy, kLegacySearchReply));
    testing::reach_state(core, OperationState::Set);
    legacy.channel[0].packing_size = 100;
    const auto actions = core.handle_datagram(kLegacySocketTag, legacy_reply(legacy, "SETC"));
    EXPECT_EQ(actions.back(), (Action{Action::Log, std::string(text::kLogSetReplyLegacy)}));
    EXPECT_EQ(core.board(0).channel[0].packing_size, 100u);
}

TEST_F(Dispatch, UploadRepliesByState) {
    search(board(2, 1));
    const Bytes reply6 = main_reply(board(2, 1), OPCODE_UPLOAD_REPLY);
    const Bytes report7 = main_reply(board(2, 1), OPCODE_UPLOAD_COMPLETE);

    testing::reach_state(core, OperationState::UploadRequested);
    EXPECT_TRUE(core.handle_datagram(kSearchSocketTag, report7).empty());
    EXPECT_EQ(kinds(core.handle_datagram(kSearchSocketTag, reply6)),
              (std::vector<Action::Kind>{Action::Log, Action::UploadReply}));
    EXPECT_EQ(core.operation_state(), OperationState::UploadReplyReceived);
    // While the image is still going out a report is not taken.
    EXPECT_TRUE(core.handle_datagram(kSearchSocketTag, report7).empty());
    core.upload_sent_whole();
    EXPECT_EQ(kinds(core.handle_datagram(kSearchSocketTag, report7)),
              (std::vector<Action::Kind>{Action::UploadDone}));
    EXPECT_EQ(core.operation_state(), OperationState::UploadCompleted);
}

TEST_F(Dispatch, AnEndedUploadsLateAnswersDuringASearchAreNoStrayDatagrams) {
    const Bytes reply6 = main_reply(board(2, 1), OPCODE_UPLOAD_REPLY);
    const Bytes report7 = main_reply(board(2, 1), OPCODE_UPLOAD_COMPLETE);
    const std::vector<Action::Kind> invalid{Action::InvalidOpcode};
    EXPECT_EQ(kinds(core.handle_datagram(kSearchSocketTag, reply6)), invalid);

    testing::reach_state(core, OperationState::UploadRequested);
    core.upload_ended();
    core.send_data(OPCODE_SEARCH_REQUEST);
    EXPECT_TRUE(core.handle_datagram(kSearchSocketTag, reply6).empty());
    EXPECT_TRUE(core.handle_datagram(kSearchSocketTag, report7).empty());
    EXPECT_EQ(kinds(core.handle_datagram(kSearchSocketTag, main_reply(board(2, 1), 4))), invalid);

    // A new upload request ends that allowance.
    testing::reach_state(core, OperationState::UploadRequested);
    core.send_data(OPCODE_SEARCH_REQUEST);
    EXPECT_EQ(kinds(core.handle_datagram(kSearchSocketTag, reply6)), invalid);
}

// Each operation and event of the core and the state it leaves, from each state it may meet.
TEST(ConfigCoreState, OperationsAndEventsMoveTheStateOnlyWhereTheyApply) {
    using S = OperationState;
    struct Case {
        const char* what;
        S from;
        void (*step)(ConfigCore&);
        S to;
    };
    const Case cases[] = {
        {"search request", S::UploadReplyReceived,
         [](ConfigCore& c) { c.send_data(OPCODE_SEARCH_REQUEST); }, S::Search},
        {"set request", S::Search, [](ConfigCore& c) { c.send_data(OPCODE_SET_REQUEST); }, S::Set},
        {"upload request", S::Idle, [](ConfigCore& c) { c.send_data(OPCODE_UPLOAD_REQUEST); },
         S::UploadRequested},
        {"other opcode", S::Set, [](ConfigCore& c) { c.send_data(7); }, S::Set},
        {"end of the exchange", S::Set, [](ConfigCore& c) { c.end_exchange(); }, S::Idle},
        {"image sent whole", S::UploadReplyReceived, [](ConfigCore& c) { c.upload_sent_whole(); },
         S::UploadCompleteAwaited},
        {"image sent whole, no reply yet", S::UploadRequested,
         [](ConfigCore& c) { c.upload_sent_whole(); }, S::UploadRequested},
        {"upload ended while requested", S::UploadRequested,
         [](ConfigCore& c) { c.upload_ended(); }, S::Idle},
        {"upload ended after the reply", S::UploadReplyReceived,
         [](ConfigCore& c) { c.upload_ended(); }, S::Idle},
        {"upload ended awaiting the report", S::UploadCompleteAwaited,
         [](ConfigCore& c) { c.upload_ended(); }, S::Idle},
        {"upload ended during a search", S::Search, [](ConfigCore& c) { c.upload_ended(); },
         S::Search},
        {"upload ended after completion", S::UploadCompleted,
         [](ConfigCore& c) { c.upload_ended(); }, S::UploadCompleted},
    };
    for (const Case& c : cases) {
        ConfigCore core;
        core.reset();
        testing::reach_state(core, c.from);
        ASSERT_EQ(core.operation_state(), c.from) << c.what;
        c.step(core);
        EXPECT_EQ(core.operation_state(), c.to)
            << c.what << ": " << to_string(core.operation_state());
    }
}

TEST(DatagramMac, SixBytesAtTheLayoutsOffsetOrNone) {
    const BoardRow row = board(2, 0x42);
    EXPECT_EQ(datagram_mac(kSearchSocketTag, main_reply(row, OPCODE_UPLOAD_COMPLETE)),
              row.mac_address);
    EXPECT_EQ(datagram_mac(kLegacySocketTag, legacy_reply(board(4, 0x43), "IMIN")),
              board(4, 0x43).mac_address);
    const Bytes eight = {7, 0, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(datagram_mac(kSearchSocketTag, eight),
              (std::array<std::uint8_t, 6>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(datagram_mac(kSearchSocketTag, Bytes(eight.begin(), eight.end() - 1)), std::nullopt);
    EXPECT_EQ(datagram_mac(kLegacySocketTag, eight), std::nullopt);
    EXPECT_EQ(datagram_mac(kSearchSocketTag, Bytes{}), std::nullopt);
}

TEST_F(Dispatch, IdleAndTransferStatesDropEverything) {
    search(board(2, 1));
    const BoardRow before = core.board(0);
    for (OperationState state : {OperationState::Idle, OperationState::UploadReplyReceived,
                                 OperationState::UploadCompleted}) {
        testing::reach_state(core, state);
        for (std::uint8_t opcode = 1; opcode <= 7; ++opcode) {
            EXPECT_TRUE(
                core.handle_datagram(kSearchSocketTag, main_reply(board(2, 2), opcode)).empty());
        }
        EXPECT_TRUE(
            core.handle_datagram(kLegacySocketTag, legacy_reply(board(4, 3), "IMIN")).empty());
    }
    EXPECT_EQ(core.board_count(), 1);
    EXPECT_EQ(core.board(0), before);
}

}  // namespace
}  // namespace quorin
