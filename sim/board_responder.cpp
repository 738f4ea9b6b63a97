#include "sim/board_responder.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace quorin::sim {

namespace {

bool starts_with(std::span<const std::uint8_t> datagram, std::string_view text) {
    return datagram.size() >= text.size() &&
           std::equal(text.begin(), text.end(), datagram.begin(),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

}  // namespace

std::optional<int> BoardResponder::find_board(std::span<const std::uint8_t> mac,
                                              bool legacy) const {
    if (mac.size() < kMacLength) return std::nullopt;
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        const SimBoard& b = boards_[i];
        if (b.legacy() == legacy &&
            std::equal(b.row.mac_address.begin(), b.row.mac_address.end(), mac.begin())) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> BoardResponder::record(int index, std::uint8_t opcode) const {
    const SimBoard& b = boards_[static_cast<std::size_t>(index)];
    return encode_main_record(b.row, b.layout(), opcode, kBoardHostTag);
}

void BoardResponder::plan(Outcome& out, int index, std::vector<std::uint8_t> bytes,
                          std::string kind) const {
    const FaultConfig& f = boards_[static_cast<std::size_t>(index)].faults;
    if (f.truncate_reply && static_cast<std::size_t>(*f.truncate_reply) < bytes.size()) {
        bytes.resize(static_cast<std::size_t>(*f.truncate_reply));
        out.faults.push_back({index, "truncate_reply", *f.truncate_reply});
    }
    if (f.reply_delay_ms > 0) out.faults.push_back({index, "reply_delay_ms", f.reply_delay_ms});
    out.replies.push_back({index, std::move(bytes), f.reply_delay_ms, std::move(kind)});
}

Outcome BoardResponder::on_main_datagram(std::span<const std::uint8_t> datagram) {
    Outcome out;
    if (datagram.empty()) {
        out.ignored = "empty";
        return out;
    }
    switch (datagram[0]) {
        case OPCODE_SEARCH_REQUEST:
            out.request = "search";
            for (std::size_t i = 0; i < boards_.size(); ++i) {
                const int index = static_cast<int>(i);
                const SimBoard& b = boards_[i];
                if (b.legacy()) continue;
                if (rebooting(index)) {
                    out.rebooting.push_back(index);
                    continue;
                }
                plan(out, index, record(index, OPCODE_SEARCH_REPLY), "search_reply");
                if (b.faults.search_twice) {
                    plan(out, index, record(index, OPCODE_SEARCH_REPLY), "search_reply");
                    out.faults.push_back({index, "search_twice", 1});
                }
                if (b.faults.wrong_opcode) {
                    plan(out, index, record(index, *b.faults.wrong_opcode), "wrong_opcode");
                    out.faults.push_back({index, "wrong_opcode", *b.faults.wrong_opcode});
                }
            }
            return out;
        case OPCODE_SET_REQUEST:
        case OPCODE_UPLOAD_REQUEST:
            break;
        case OPCODE_SEARCH_REPLY:
        case OPCODE_SET_REPLY:
        case OPCODE_UPLOAD_REPLY:
        case OPCODE_UPLOAD_COMPLETE:
            out.ignored = "not_a_request";
            return out;
        default:
            out.ignored = "unknown_opcode";
            return out;
    }

    const bool set = datagram[0] == OPCODE_SET_REQUEST;
    out.request = set ? "set" : "upload";
    const auto index =
        datagram.size() >= kMainMacOffset + kMacLength
            ? find_board(datagram.subspan(kMainMacOffset, kMacLength), /*legacy=*/false)
            : std::nullopt;
    if (!index) {
        out.ignored = "no_board";
        return out;
    }
    if (rebooting(*index)) {
        out.ignored = "rebooting";
        out.rebooting.push_back(*index);
        return out;
    }
    SimBoard& board = boards_[static_cast<std::size_t>(*index)];
    if (set) {
        // A board reads a set request in its own layout and takes it only whole.
        const BoardLayout layout = board.layout();
        if (datagram.size() < layout.length) {
            out.ignored = "short_request";
            return out;
        }
        if (board.faults.ignore_set) {
            out.faults.push_back({*index, "ignore_set", 1});
            return out;
        }
        out.settings_before = board.row;
        board.row = apply_set_request(board.row, datagram, layout);
        out.applied_board = *index;
        plan(out, *index, record(*index, OPCODE_SET_REPLY), "set_reply");
        return out;
    }
    plan(out, *index, record(*index, OPCODE_UPLOAD_REPLY), "upload_reply");
    if (board.faults.refuse_upload) {
        out.faults.push_back({*index, "refuse_upload", 1});
    } else {
        out.upload_board = *index;
        out.upload_kind = UploadKind::Acknowledged;
    }
    return out;
}

Outcome BoardResponder::on_legacy_datagram(std::span<const std::uint8_t> datagram) {
    Outcome out;
    if (datagram.empty()) {
        out.ignored = "empty";
        return out;
    }
    if (starts_with(datagram, kLegacyFind)) {
        out.request = "FIND";
        for (std::size_t i = 0; i < boards_.size(); ++i) {
            const int index = static_cast<int>(i);
            const SimBoard& b = boards_[i];
            if (!b.legacy()) continue;
            if (rebooting(index)) {
                out.rebooting.push_back(index);
                continue;
            }
            plan(out, index, encode_legacy_record(b.row, kLegacySearchReply), "search_reply");
            if (b.faults.search_twice) {
                plan(out, index, encode_legacy_record(b.row, kLegacySearchReply), "search_reply");
                out.faults.push_back({index, "search_twice", 1});
            }
            if (b.faults.wrong_opcode) {
                plan(out, index, encode_legacy_record(b.row, kLegacyWrongOpcode), "wrong_opcode");
                out.faults.push_back({index, "wrong_opcode", *b.faults.wrong_opcode});
            }
        }
        return out;
    }
    const bool set = starts_with(datagram, kLegacySet);
    if (!set && !starts_with(datagram, kLegacyUpload)) {
        const bool reply =
            starts_with(datagram, kLegacySearchReply) || starts_with(datagram, kLegacySetReply);
        out.ignored = reply ? "not_a_request" : "unknown_opcode";
        return out;
    }
    out.request = set ? "SETT" : "FIRS";
    const auto index =
        datagram.size() >= kLegacyMacOffset + kMacLength
            ? find_board(datagram.subspan(kLegacyMacOffset, kMacLength), /*legacy=*/true)
            : std::nullopt;
    if (!index) {
        out.ignored = "no_board";
        return out;
    }
    if (rebooting(*index)) {
        out.ignored = "rebooting";
        out.rebooting.push_back(*index);
        return out;
    }
    SimBoard& board = boards_[static_cast<std::size_t>(*index)];
    if (set) {
        if (datagram.size() < kLegacyPacketSize) {
            out.ignored = "short_request";
            return out;
        }
        if (board.faults.ignore_set) {
            out.faults.push_back({*index, "ignore_set", 1});
            return out;
        }
        out.settings_before = board.row;
        board.row = apply_set_request(board.row, datagram, board.layout());
        out.applied_board = *index;
        plan(out, *index, encode_legacy_record(board.row, kLegacySetReply), "set_reply");
        return out;
    }
    // The legacy protocol has no upload reply: the board just starts listening.
    if (board.faults.refuse_upload) {
        out.faults.push_back({*index, "refuse_upload", 1});
    } else {
        out.upload_board = *index;
        out.upload_kind = UploadKind::Streamed;
    }
    return out;
}

RebootPlan BoardResponder::plan_reboot(int index,
                                       const std::optional<FirmwareBytes>& installs) const {
    const SimBoard& board = boards_[static_cast<std::size_t>(index)];
    RebootPlan plan;
    plan.row = board.row;
    if (board.faults.upgrade_keeps_version) {
        plan.faults.push_back({index, "upgrade_keeps_version", 1});
    } else if (installs) {
        plan.row.firmware_major = installs->major;
        plan.row.firmware_minor = installs->minor;
    }
    if (board.faults.upgrade_changes_settings) {
        // Every layout, the legacy one included, carries the first channel's local port (16 bits).
        std::uint32_t& port = plan.row.channel[0].local_port;
        port = port >= 65535 ? 1 : port + 1;
        plan.faults.push_back({index, "upgrade_changes_settings", 1});
    }
    if (board.faults.upgrade_never_returns) {
        plan.returns = false;
        plan.faults.push_back({index, "upgrade_never_returns", 1});
    }
    return plan;
}

void BoardResponder::set_rebooting(int index, bool rebooting) {
    const auto i = static_cast<std::size_t>(index);
    if (i >= rebooting_.size()) rebooting_.resize(std::max(i + 1, boards_.size()), false);
    rebooting_[i] = rebooting;
}

bool BoardResponder::rebooting(int index) const {
    const auto i = static_cast<std::size_t>(index);
    return i < rebooting_.size() && rebooting_[i];
}

std::optional<PlannedReply> BoardResponder::upload_complete_report(int index,
                                                                   std::vector<FaultNote>& faults,
                                                                   int extra_delay_ms) const {
    const SimBoard& board = boards_[static_cast<std::size_t>(index)];
    if (board.faults.no_upload_complete) {
        faults.push_back({index, "no_upload_complete", 1});
        return std::nullopt;
    }
    Outcome out;
    plan(out, index, record(index, OPCODE_UPLOAD_COMPLETE), "upload_complete");
    faults.insert(faults.end(), out.faults.begin(), out.faults.end());
    PlannedReply reply = std::move(out.replies.front());
    reply.delay_ms += extra_delay_ms;
    return reply;
}

}  // namespace quorin::sim
