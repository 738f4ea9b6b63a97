#include "protocol/config_core.h"

#include <algorithm>
#include <cstring>

#include "protocol/record_codec.h"
#include "res/texts.h"

namespace quorin {
namespace {

bool starts_with(std::span<const std::uint8_t> d, const char* letters4) {
    return d.size() >= 4 && std::memcmp(d.data(), letters4, 4) == 0;
}

// The six MAC bytes at `offset` of a datagram. A MAC the datagram does not hold whole reads as
// zero, as the decoder reads every field that lies partly beyond the end: a board is listed and
// matched under the MAC its row holds.
std::array<std::uint8_t, 6> mac_at(std::span<const std::uint8_t> d, std::size_t offset) {
    std::array<std::uint8_t, 6> mac{};
    if (offset + mac.size() > d.size()) return mac;
    std::copy_n(d.begin() + static_cast<std::ptrdiff_t>(offset), mac.size(), mac.begin());
    return mac;
}

constexpr std::size_t kMainMacOffset = 2;
constexpr std::size_t kLegacyMacOffset = 4;

}  // namespace

std::optional<std::array<std::uint8_t, 6>> datagram_mac(std::uint8_t tag,
                                                        std::span<const std::uint8_t> datagram) {
    const std::size_t offset = tag == kLegacySocketTag ? kLegacyMacOffset : kMainMacOffset;
    if (datagram.size() < offset + 6) return std::nullopt;
    return mac_at(datagram, offset);
}

std::string_view to_string(OperationState state) {
    switch (state) {
        case OperationState::Idle:
            return "idle";
        case OperationState::Search:
            return "search";
        case OperationState::Set:
            return "set";
        case OperationState::UploadRequested:
            return "upload requested";
        case OperationState::UploadCompleteAwaited:
            return "upload-complete report awaited";
        case OperationState::UploadReplyReceived:
            return "upload reply received";
        case OperationState::UploadCompleted:
            return "upload completed";
    }
    return "?";
}

bool is_upload_wait(OperationState state) {
    return state == OperationState::UploadRequested ||
           state == OperationState::UploadReplyReceived ||
           state == OperationState::UploadCompleteAwaited;
}

namespace {

// The rows a table of `capacity` keeps at all times.
std::size_t kept_rows(int capacity) {
    return static_cast<std::size_t>(std::min(capacity, ConfigCore::kMaxBoards));
}

// "Board table full (N boards): ..." for a table of `capacity`.
std::string table_full_text(int capacity) {
    std::string out(text::kLogBoardTableFullPattern);
    const std::size_t at = out.find("%1");
    if (at != std::string::npos) out.replace(at, 2, std::to_string(capacity));
    return out;
}

}  // namespace

ConfigCore::ConfigCore(int capacity)
    : capacity_(std::max(capacity, 1)), boards_(kept_rows(capacity_)) {}

std::int8_t ConfigCore::advance(std::int8_t position) {
    int next = position + 1;
    if (next > kQueueEntries - 1) next -= kQueueEntries - 1;
    return static_cast<std::int8_t>(next);
}

void ConfigCore::reset() {
    board_count_ = 0;
    listed_count_ = 0;
    listed_.clear();
    listed_set_.clear();
    set_done = 0;
    state_ = OperationState::Idle;
    upload_left_ = false;
    queue_.fill(0);
    write_pos_ = 0;
    read_pos_ = 0;
    overflowed_ = false;
}

void ConfigCore::clear_table() {
    boards_.resize(kept_rows(capacity_));
    std::fill(boards_.begin(), boards_.end(), BoardRow{});
    listed_.clear();
    listed_set_.clear();
    board_count_ = 0;
    listed_count_ = 0;
    queue_.fill(0);
    write_pos_ = 0;
    read_pos_ = 0;
    overflowed_ = false;
}

std::vector<OutgoingDatagram> ConfigCore::send_data(int opcode) {
    std::vector<OutgoingDatagram> out;
    if (opcode == OPCODE_SEARCH_REQUEST) {
        clear_table();
        OutgoingDatagram search{kSearchSocketTag, std::vector<std::uint8_t>(kMainPacketSize, 0)};
        search.bytes[0] = OPCODE_SEARCH_REQUEST;
        search.bytes[1] = host_tag;
        out.push_back(std::move(search));
        out.push_back({kLegacySocketTag, {'F', 'I', 'N', 'D'}});
        state_ = OperationState::Search;
        return out;
    }
    if (opcode != OPCODE_SET_REQUEST && opcode != OPCODE_UPLOAD_REQUEST) return out;

    if (uses_legacy_protocol(working.product_code)) {
        out.push_back({kLegacySocketTag,
                       encode_legacy_datagram(
                           working, opcode == OPCODE_SET_REQUEST ? kLegacySet : kLegacyUpload)});
    } else {
        out.push_back({kSearchSocketTag,
                       encode_main_datagram(working, static_cast<std::uint8_t>(opcode), host_tag)});
    }
    if (opcode == OPCODE_SET_REQUEST) {
        set_done = 0;
        state_ = OperationState::Set;
    } else {
        state_ = OperationState::UploadRequested;
        upload_left_ = false;
    }
    return out;
}

void ConfigCore::end_exchange() {
    state_ = OperationState::Idle;
}

void ConfigCore::upload_sent_whole() {
    if (state_ == OperationState::UploadReplyReceived)
        state_ = OperationState::UploadCompleteAwaited;
}

void ConfigCore::upload_ended() {
    if (!is_upload_wait(state_)) return;
    state_ = OperationState::Idle;
    upload_left_ = true;
}

void ConfigCore::push_tag(std::uint8_t tag) {
    queue_[static_cast<std::size_t>(write_pos_)] = tag;
    write_pos_ = advance(write_pos_);
}

std::uint8_t ConfigCore::take_tag() {
    const std::uint8_t tag = queue_[static_cast<std::size_t>(read_pos_)];
    if (tag != kSearchSocketTag && tag != kLegacySocketTag) return 0;
    read_pos_ = advance(read_pos_);
    return tag;
}

std::vector<Action> ConfigCore::handle_datagram(std::uint8_t tag, std::span<const std::uint8_t> d) {
    std::vector<Action> out;
    const bool search_socket = tag == kSearchSocketTag;
    const bool legacy_socket = tag == kLegacySocketTag;
    const int opcode = d.empty() ? -1 : d[0];

    switch (state_) {
        case OperationState::Search:
            if (search_socket) {
                if (opcode == OPCODE_SEARCH_REPLY) {
                    search_reply(d, false, out);
                    out.push_back({Action::Log, std::string(text::kLogSearchReply)});
                    out.push_back({Action::SelectAndShow, {}});
                } else if (upload_left_ &&
                           (opcode == OPCODE_UPLOAD_REPLY || opcode == OPCODE_UPLOAD_COMPLETE)) {
                    // The board answers an upload that has ended: nothing is wrong.
                } else {
                    out.push_back({Action::InvalidOpcode, std::string(text::kInvalidOpcode)});
                }
            } else if (legacy_socket && starts_with(d, kLegacySearchReply)) {
                search_reply(d, true, out);
                out.push_back({Action::SelectAndShow, {}});
            }
            break;
        case OperationState::Set:
            if (search_socket && opcode == OPCODE_SET_REPLY) {
                set_reply(d, false, out);
                out.push_back({Action::Log, std::string(text::kLogSetReply)});
            } else if (legacy_socket && starts_with(d, kLegacySetReply)) {
                set_reply(d, true, out);
                out.push_back({Action::Log, std::string(text::kLogSetReplyLegacy)});
            }
            break;
        case OperationState::UploadRequested:
            if (search_socket && opcode == OPCODE_UPLOAD_REPLY) {
                state_ = OperationState::UploadReplyReceived;
                out.push_back({Action::Log, std::string(text::kLogUploadReply)});
                out.push_back({Action::UploadReply, {}});
            }
            break;
        case OperationState::UploadCompleteAwaited:
            if (search_socket && opcode == OPCODE_UPLOAD_COMPLETE) {
                state_ = OperationState::UploadCompleted;
                out.push_back({Action::UploadDone, {}});
            }
            break;
        default:
            break;  // idle, transfer under way, completed: read and dropped
    }
    return out;
}

void ConfigCore::search_reply(std::span<const std::uint8_t> d, bool legacy,
                              std::vector<Action>& out) {
    const std::string mac = mac_text(mac_at(d, legacy ? kLegacyMacOffset : kMainMacOffset));
    if (listed_set_.contains(mac)) return;  // already listed
    if (board_count_ >= capacity_ || listed_count_ >= capacity_) {
        // The table is full; further boards of this search are not listed. Say so once.
        if (!overflowed_) out.push_back({Action::TableFull, table_full_text(capacity_)});
        overflowed_ = true;
        return;
    }
    listed_.push_back(mac);
    listed_set_.insert(mac);
    ++listed_count_;
    if (static_cast<std::size_t>(board_count_) == boards_.size()) boards_.emplace_back();
    BoardRow& row = boards_[static_cast<std::size_t>(board_count_)];
    if (legacy) {
        decode_legacy_reply(d, row);
    } else {
        decode_main_reply(d, row);
    }
    out.push_back({Action::AppendBoardEntry, mac});
    ++board_count_;
}

void ConfigCore::list_board(const BoardRow& row) {
    const std::string mac = mac_text(row.mac_address);
    if (listed_set_.contains(mac)) return;
    if (board_count_ >= capacity_ || listed_count_ >= capacity_) return;
    listed_.push_back(mac);
    listed_set_.insert(mac);
    ++listed_count_;
    if (static_cast<std::size_t>(board_count_) == boards_.size()) boards_.emplace_back();
    boards_[static_cast<std::size_t>(board_count_++)] = row;
}

void ConfigCore::set_reply(std::span<const std::uint8_t> d, bool legacy, std::vector<Action>& out) {
    const auto mac = mac_at(d, legacy ? kLegacyMacOffset : kMainMacOffset);
    BoardRow* found = nullptr;
    for (int i = 0; i < board_count_; ++i) {
        if (boards_[static_cast<std::size_t>(i)].mac_address == mac) {
            found = &boards_[static_cast<std::size_t>(i)];
            break;
        }
    }
    if (found == nullptr) {
        out.push_back({Action::InvalidMessage, std::string(text::kInvalidMessage)});
        return;
    }
    if (set_done == 1) return;
    if (legacy) {
        decode_legacy_reply(d, *found, /*keep_mac=*/true);
    } else {
        decode_main_reply(d, *found, /*keep_mac=*/true);
    }
    set_done = 1;
    out.push_back({Action::SetApplied, std::string(text::kSettingCompleted)});
}

}  // namespace quorin
