// libFuzzer entry for the configuration core: a sequence of requests (SendData), operation state
// changes, tag queue steps and datagrams on both sockets (see core_ops.h), with the core's
// invariants checked after every step. Aborts on the first broken one.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "protocol/config_core.h"
#include "protocol/record_codec.h"
#include "res/texts.h"
#include "tests/support/core_states.h"
#include "tools/fuzz/core_ops.h"
#include "tools/fuzz/fuzz_support.h"

namespace {

using namespace quorin;
using quorin::fuzz::CoreOp;

using fuzz::Reader;

// What a step may change, read before it.
struct Before {
    int count;
    int set_done;
};

Before remember(const ConfigCore& core) {
    return {core.board_count(), core.set_done};
}

// True when `n` rows from `a` and from `b` hold the same bytes, and so the same values. Rows of
// different bytes may still be equal (padding): callers settle that with ==.
bool same_bytes(const BoardRow* a, const BoardRow* b, std::size_t n) {
    return n == 0 || std::memcmp(a, b, n * sizeof(BoardRow)) == 0;
}

// A copy of the listed rows as they were when last synced, so that a step's changes are found by
// comparing the table with it afterwards instead of copying the table before every step. The copy
// is byte for byte, so that an unchanged table compares equal in one pass over its bytes.
class RowCopy {
  public:
    // Forgets every row (a new input).
    void reset() { synced_ = 0; }

    // The rows below `count` that differ from the copy, in order. The copy must hold them.
    const std::vector<int>& changed(const ConfigCore& core, int count) {
        changed_.clear();
        CHECK(count <= synced_);
        if (count > 0) CHECK(&core.board(count - 1) == &core.board(0) + (count - 1));  // one array
        if (count == 0 || same_bytes(&core.board(0), rows_.data(), static_cast<std::size_t>(count)))
            return changed_;
        for (int i = 0; i < count; ++i)
            if (!(core.board(i) == row(i))) changed_.push_back(i);
        return changed_;
    }

    // Copies the rows that changed(...) found and the rows listed since the last sync.
    void sync(const ConfigCore& core) {
        const int n = core.board_count();
        for (const int i : changed_) copy(core, i);
        changed_.clear();
        for (int i = std::min(synced_, n); i < n; ++i) copy(core, i);
        synced_ = n;
    }

    const BoardRow& row(int i) const { return rows_[static_cast<std::size_t>(i)]; }

  private:
    void copy(const ConfigCore& core, int i) {
        std::memcpy(&rows_[static_cast<std::size_t>(i)], &core.board(i), sizeof(BoardRow));
    }

    std::vector<BoardRow> rows_ = std::vector<BoardRow>(ConfigCore::kMaxBoards);
    std::vector<int> changed_;
    int synced_ = 0;
};

// Invariants that hold between any two steps. Rows keep their MAC once listed (set replies are
// checked for that), so the listing is checked as it grows: the cost of a step is in proportion
// to the boards it listed.
class TableCheck {
  public:
    void operator()(const ConfigCore& core) {
        const int n = core.board_count();
        CHECK(n >= 0 && n <= ConfigCore::kMaxBoards);
        CHECK(core.listed_count() == n);
        if (n < checked_) {  // a search cleared the table
            checked_ = 0;
            seen_.clear();
        }
        for (; checked_ < n; ++checked_) {
            CHECK(core.listed_mac(checked_) == mac_text(core.board(checked_).mac_address));
            CHECK(seen_.insert(core.listed_mac(checked_)).second);  // no board listed twice
        }
        CHECK(!core.table_overflowed() || n == ConfigCore::kMaxBoards);
        for (const std::int8_t position : {core.queue_write_position(), core.queue_read_position()})
            CHECK(position >= 0 && position <= ConfigCore::kQueueEntries - 1);
        CHECK(core.set_done == 0 || core.set_done == 1);
    }

  private:
    int checked_ = 0;
    std::set<std::string> seen_;
};

// Rows past the board count are never written: a search clears them and replies fill the table
// in order.
void check_unused_rows(const ConfigCore& core) {
    static const std::vector<BoardRow> kUnused(ConfigCore::kMaxBoards);
    const int n = core.board_count();
    if (n == ConfigCore::kMaxBoards ||
        same_bytes(&core.board(n), kUnused.data(),
                   static_cast<std::size_t>(ConfigCore::kMaxBoards - n)))
        return;
    for (int i = n; i < ConfigCore::kMaxBoards; ++i) CHECK(core.board(i) == BoardRow{});
}

bool has_text(const std::vector<Action>& actions, Action::Kind kind, std::string_view text) {
    return std::any_of(actions.begin(), actions.end(),
                       [&](const Action& a) { return a.kind == kind && a.text == text; });
}

bool has_kind(const std::vector<Action>& actions, Action::Kind kind) {
    return std::any_of(actions.begin(), actions.end(),
                       [&](const Action& a) { return a.kind == kind; });
}

void check_requests(const ConfigCore& core, int opcode, const std::vector<OutgoingDatagram>& out,
                    const Before& before) {
    if (opcode == OPCODE_SEARCH_REQUEST) {
        CHECK(out.size() == 2);
        CHECK(out[0].tag == kSearchSocketTag && out[0].bytes.size() == kMainPacketSize);
        CHECK(out[0].bytes[0] == OPCODE_SEARCH_REQUEST && out[0].bytes[1] == core.host_tag);
        CHECK(std::all_of(out[0].bytes.begin() + 2, out[0].bytes.end(),
                          [](std::uint8_t b) { return b == 0; }));
        CHECK(out[1].tag == kLegacySocketTag &&
              out[1].bytes == std::vector<std::uint8_t>{'F', 'I', 'N', 'D'});
        CHECK(core.board_count() == 0 && core.queue_write_position() == 0 &&
              core.queue_read_position() == 0);
        return;
    }
    if (opcode != OPCODE_SET_REQUEST && opcode != OPCODE_UPLOAD_REQUEST) {
        CHECK(out.empty());
        CHECK(core.set_done == before.set_done);
        return;
    }
    CHECK(out.size() == 1);
    const OutgoingDatagram& d = out[0];
    if (uses_legacy_protocol(core.working.product_code)) {
        CHECK(d.tag == kLegacySocketTag && d.bytes.size() == kLegacyPacketSize);
        const char* letters = opcode == OPCODE_SET_REQUEST ? kLegacySet : kLegacyUpload;
        CHECK(std::memcmp(d.bytes.data(), letters, 4) == 0);
    } else {
        CHECK(d.tag == kSearchSocketTag);
        CHECK(d.bytes.size() == main_request_length(core.working.product_code));
        CHECK(d.bytes[0] == opcode && d.bytes[1] == core.host_tag);
    }
    CHECK(core.set_done == (opcode == OPCODE_SET_REQUEST ? 0 : before.set_done));
    CHECK(core.board_count() == before.count);
}

// `rows` is null for a burst of well-formed replies: the rows are then not compared.
void check_reply(const ConfigCore& core, OperationState state, std::uint8_t tag,
                 const std::vector<Action>& actions, const Before& before, RowCopy* rows) {
    // The state moves on only with the board's upload reply (4 -> 17) and report (6 -> 18).
    const bool replied = has_kind(actions, Action::UploadReply);
    const bool reported = has_kind(actions, Action::UploadDone);
    if (replied) {
        CHECK(core.operation_state() == OperationState::UploadReplyReceived);
    } else if (reported) {
        CHECK(core.operation_state() == OperationState::UploadCompleted);
    } else {
        CHECK(core.operation_state() == state);
    }
    const long appended = std::count_if(actions.begin(), actions.end(), [](const Action& a) {
        return a.kind == Action::AppendBoardEntry;
    });
    CHECK(core.board_count() == before.count + appended);
    CHECK(appended <= 1);
    if (appended == 1) {
        CHECK(state == OperationState::Search);
        CHECK(has_text(actions, Action::AppendBoardEntry, core.listed_mac(core.board_count() - 1)));
    }
    // Rows: a search reply writes only the new row; a set reply only the matched one, keeping its
    // MAC; nothing else writes any.
    int changed = 0;
    if (rows != nullptr) {
        for (const int i : rows->changed(core, before.count)) {
            ++changed;
            CHECK(state == OperationState::Set);
            CHECK(core.board(i).mac_address == rows->row(i).mac_address);
        }
    }
    CHECK(changed <= 1);
    const bool completed = has_kind(actions, Action::SetApplied);
    CHECK(changed == 0 || completed);
    if (completed) CHECK(before.set_done == 0 && core.set_done == 1);
    if (!completed) CHECK(core.set_done == before.set_done);

    for (const Action& a : actions) {
        switch (a.kind) {
            case Action::AppendBoardEntry:
            case Action::SelectAndShow:
            case Action::TableFull:
                CHECK(state == OperationState::Search);
                break;
            case Action::InvalidOpcode:
                CHECK(state == OperationState::Search && tag == kSearchSocketTag &&
                      a.text == text::kInvalidOpcode);
                break;
            case Action::InvalidMessage:
                CHECK(state == OperationState::Set && a.text == text::kInvalidMessage);
                break;
            case Action::SetApplied:
                CHECK(state == OperationState::Set && a.text == text::kSettingCompleted);
                break;
            case Action::UploadReply:
                CHECK(state == OperationState::UploadRequested && tag == kSearchSocketTag);
                break;
            case Action::UploadDone:
                CHECK(state == OperationState::UploadCompleteAwaited && tag == kSearchSocketTag);
                break;
            case Action::Log:
                CHECK(state == OperationState::Search || state == OperationState::Set ||
                      state == OperationState::UploadRequested);
                break;
        }
    }
    if (state != OperationState::Search && state != OperationState::Set &&
        state != OperationState::UploadRequested &&
        state != OperationState::UploadCompleteAwaited) {
        CHECK(actions.empty());
    }
}

// Well-formed search replies of distinct boards of one product, told apart by a serial in their
// MAC. The record of each product is encoded once per process; each reply is that record with
// the board's MAC written into it.
class BurstReplies {
  public:
    explicit BurstReplies(std::uint8_t product)
        : tag_(uses_legacy_protocol({0, product}) ? kLegacySocketTag : kSearchSocketTag),
          bytes_(record(product)) {}

    std::uint8_t tag() const { return tag_; }

    // The reply of the board with `serial` (exactly as long as the record), valid until the next
    // call.
    std::span<const std::uint8_t> reply(std::uint32_t serial) {
        write_mac(bytes_, tag_, serial);
        return bytes_;
    }

  private:
    // Where the MAC lies in a search reply of each protocol.
    static constexpr std::size_t kMainMacOffset = 2;
    static constexpr std::size_t kLegacyMacOffset = 4;

    static BoardRow row_for(std::uint8_t product, std::uint32_t serial) {
        BoardRow row;
        row.mac_address = {0x02,
                           0x51,
                           0xF0,
                           static_cast<std::uint8_t>(serial >> 16),
                           static_cast<std::uint8_t>(serial >> 8),
                           static_cast<std::uint8_t>(serial)};
        row.product_code = {0, product};
        return row;
    }
    static std::vector<std::uint8_t> encode(const BoardRow& row, std::uint8_t tag) {
        if (tag == kLegacySocketTag) return encode_legacy_datagram(row, kLegacySearchReply);
        return encode_main_datagram(row, OPCODE_SEARCH_REPLY, 0);
    }
    static void write_mac(std::vector<std::uint8_t>& bytes, std::uint8_t tag,
                          std::uint32_t serial) {
        const auto mac = row_for(0, serial).mac_address;
        std::copy(mac.begin(), mac.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(
                                      tag == kLegacySocketTag ? kLegacyMacOffset : kMainMacOffset));
    }
    // The reply of serial 0, encoded on first use. The MAC is the only field that differs between
    // boards: that is checked once, on another serial's reply.
    static const std::vector<std::uint8_t>& record(std::uint8_t product) {
        static std::array<std::vector<std::uint8_t>, 256> records;
        std::vector<std::uint8_t>& r = records[product];
        if (r.empty()) {
            const std::uint8_t tag =
                uses_legacy_protocol({0, product}) ? kLegacySocketTag : kSearchSocketTag;
            r = encode(row_for(product, 0), tag);
            std::vector<std::uint8_t> other = r;
            write_mac(other, tag, 0x123456);
            CHECK(other == encode(row_for(product, 0x123456), tag));
        }
        return r;
    }

    std::uint8_t tag_;
    std::vector<std::uint8_t> bytes_;
};

// One datagram step; `rows` as for check_reply.
void datagram(ConfigCore& core, std::uint8_t tag, std::span<const std::uint8_t> bytes,
              RowCopy* rows) {
    const Before before = remember(core);
    const OperationState state = core.operation_state();
    const auto actions = core.handle_datagram(tag, bytes);
    check_reply(core, state, tag, actions, before, rows);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ConfigCore core;
    core.reset();
    core.host_tag = 115;
    Reader in(data, size);
    TableCheck check_table;
    static RowCopy rows;  // reused for its storage: reset for every input
    rows.reset();
    std::uint32_t serial = 0;
    while (!in.done()) {
        const CoreOp op = fuzz::op_for(in.byte());
        switch (op) {
            case fuzz::kSendData: {
                const int opcode = in.byte();
                const Before before = remember(core);
                const auto out = core.send_data(opcode);
                check_requests(core, opcode, out, before);
                break;
            }
            case fuzz::kSetState: {
                // The state is the core's: it is reached through its own operations and events.
                const std::uint8_t pick = in.byte() % fuzz::kStateSteps;
                constexpr std::size_t kCount = sizeof fuzz::kStates / sizeof fuzz::kStates[0];
                const OperationState before = core.operation_state();
                if (pick < kCount) {
                    testing::reach_state(core, fuzz::kStates[pick]);
                    CHECK(core.operation_state() == fuzz::kStates[pick]);
                } else if (pick == kCount) {
                    core.upload_sent_whole();
                    CHECK(core.operation_state() == (before == OperationState::UploadReplyReceived
                                                         ? OperationState::UploadCompleteAwaited
                                                         : before));
                } else if (pick == kCount + 1) {
                    core.upload_ended();
                    CHECK(core.operation_state() ==
                          (is_upload_wait(before) ? OperationState::Idle : before));
                } else {
                    core.end_exchange();
                    CHECK(core.operation_state() == OperationState::Idle);
                }
                break;
            }
            case fuzz::kSearchDatagram:
            case fuzz::kLegacyDatagram: {
                const std::size_t length = in.byte() | (std::size_t{in.byte()} << 8);
                const auto bytes = in.bytes(length);
                datagram(core, op == fuzz::kSearchDatagram ? kSearchSocketTag : kLegacySocketTag,
                         bytes, &rows);
                break;
            }
            case fuzz::kTags: {
                const std::uint8_t tag = in.byte();
                core.push_tag(tag);
                const std::uint8_t taken = core.take_tag();
                CHECK(taken == 0 || taken == kSearchSocketTag || taken == kLegacySocketTag);
                break;
            }
            case fuzz::kWorking: {
                core.working.product_code = {in.byte(), in.byte()};
                const int index = in.byte();
                if (index < core.board_count()) core.working = core.board(index);
                break;
            }
            case fuzz::kBoardBurst: {
                const int count = in.byte();
                BurstReplies replies(in.byte());
                serial = in.byte() == 0 ? 0 : serial;  // a zero seed lists the same boards again
                for (int i = 0; i < count; ++i)
                    datagram(core, replies.tag(), replies.reply(serial++), nullptr);
                break;
            }
            default:
                break;
        }
        // Rows change only in datagram steps, which check how; the copy follows them. A row
        // changed in any other step shows as a change in the next datagram step.
        rows.sync(core);
        check_table(core);
    }
    check_unused_rows(core);
    return 0;
}
