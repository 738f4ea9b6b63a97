#include "fleet/site_run.h"

#include <algorithm>

#include "protocol/record_codec.h"

namespace quorin::fleet {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::vector<std::uint8_t> record_bytes(const BoardRow& row) {
    return uses_legacy_protocol(row.product_code)
               ? encode_legacy_datagram(row, kLegacySearchReply)
               : encode_main_datagram(row, OPCODE_SEARCH_REPLY, 0);
}

std::string value_of(const BoardRow& row, std::string_view name) {
    const auto f = settings::field_of(row, name);
    return f ? f->value : std::string();
}

}  // namespace

std::vector<Change> differences(const BoardRow& row, const BoardRow& wanted) {
    std::vector<Change> out;
    const std::vector<settings::Field> now = settings::fields_of(row);
    const std::vector<settings::Field> then = settings::fields_of(wanted);
    for (const settings::Field& f : now) {
        if (!f.settable()) continue;
        const auto w = std::find_if(then.begin(), then.end(),
                                    [&](const settings::Field& g) { return g.name == f.name; });
        if (w != then.end() && w->value != f.value) out.push_back({f.name, f.value, w->value});
    }
    return out;
}

BoardSettings settings_of(const BoardRow& row) {
    BoardSettings s;
    s.mac = row.mac_address;
    s.model = settings::model_label(row);
    s.local_ip = value_of(row, "local_ip");
    s.firmware = value_of(row, "firmware_version");
    for (const settings::Field& f : settings::fields_of(row)) {
        if (f.settable()) s.values.emplace_back(f.name, f.value);
    }
    for (std::uint8_t b : record_bytes(row)) {
        s.record += kHexDigits[b >> 4];
        s.record += kHexDigits[b & 0x0F];
    }
    return s;
}

std::optional<BoardRow> recorded_row(const BoardSettings& recorded, const BoardRow& now) {
    const std::size_t length = record_bytes(now).size();
    if (recorded.record.size() != 2 * length) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < recorded.record.size(); i += 2) {
        int v = 0;
        for (std::size_t k = i; k < i + 2; ++k) {
            const char c = recorded.record[k];
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            if (d < 0) return std::nullopt;
            v = v * 16 + d;
        }
        bytes.push_back(static_cast<std::uint8_t>(v));
    }
    BoardRow row = now;
    if (uses_legacy_protocol(now.product_code)) {
        decode_legacy_reply(bytes, row, /*keep_mac=*/true);
    } else {
        decode_main_reply(bytes, row, /*keep_mac=*/true);
    }
    row.product_code = now.product_code;
    row.firmware_major = now.firmware_major;
    row.firmware_minor = now.firmware_minor;
    return row;
}

std::vector<Change> drift(const BoardSettings& recorded, const BoardRow& row) {
    const std::string model = settings::model_label(row);
    if (model != recorded.model) return {{"model", recorded.model, model}};
    std::vector<Change> out;
    for (const auto& [name, value] : recorded.values) {
        const auto f = settings::field_of(row, name);
        const std::string now = f ? f->value : std::string();
        if (now != value) out.push_back({name, value, now});
    }
    return out;
}

BoardTarget target_for(const BoardRow& board, const std::vector<SiteSetting>& wanted) {
    BoardTarget t;
    std::vector<settings::Edit> edits;
    for (const SiteSetting& s : wanted) edits.push_back({s.name, s.value});
    settings::EditResult r = settings::apply_edits(board, edits);
    if (!r.row) {
        // Name the setting: the first that fails alone, else the first whose value depends on
        // another (the whole set fails only together).
        std::string where = wanted.empty() ? std::string() : wanted.front().where;
        for (const SiteSetting& s : wanted) {
            if (!settings::apply_edits(board, {{s.name, s.value}}).row) {
                where = s.where;
                r.error = settings::apply_edits(board, {{s.name, s.value}}).error;
                break;
            }
        }
        t.error = where.empty() ? r.error : where + ": " + r.error;
        return t;
    }
    t.changes = differences(board, *r.row);
    t.row = std::move(r.row);
    return t;
}

BoardTarget restore_target(const BoardRow& board, const std::vector<SiteSetting>& recorded) {
    BoardRow row = board;
    // Last first: a field comes after the settings that enable it, so it is restored while the
    // board's present settings still enable it; what fails now is tried again after the others.
    std::vector<SiteSetting> pending(recorded.rbegin(), recorded.rend());
    for (bool progress = true; progress && !pending.empty();) {
        progress = false;
        for (auto it = pending.begin(); it != pending.end();) {
            settings::EditResult r = settings::apply_edits(row, {{it->name, it->value}});
            if (r.row) {
                row = *r.row;
                it = pending.erase(it);
                progress = true;
            } else {
                ++it;
            }
        }
    }
    if (!pending.empty()) return target_for(row, pending);
    BoardTarget t;
    t.changes = differences(board, row);
    t.row = std::move(row);
    return t;
}

BoardTarget rollback_target(const BoardSettings& recorded, const BoardRow& now,
                            const std::string& where) {
    if (const auto row = recorded_row(recorded, now)) return {row, differences(now, *row), {}};
    // Only what differs is written back: a setting the board's other settings disable cannot be
    // set, but needs no setting when it already holds its value.
    std::vector<SiteSetting> wanted;
    for (const Change& c : drift(recorded, now))
        wanted.push_back({c.field, c.now, where + ".settings." + c.field});
    return restore_target(now, wanted);
}

std::string_view result_name(BoardResult result) {
    switch (result) {
        case BoardResult::Unchanged:
            return "unchanged";
        case BoardResult::Verified:
            return "changed";
        case BoardResult::Failed:
            return "failed";
        case BoardResult::NotReached:
            return "not_reached";
        case BoardResult::NotStarted:
            return "not_started";
    }
    return "?";
}

SetRun::SetRun(std::vector<Board> boards, int jobs) : jobs_(std::max(1, jobs)) {
    // A board that holds what is wanted is done before anything is sent.
    for (Board& b : boards) {
        const Phase phase = b.changes.empty() ? Phase::Done : Phase::Queued;
        boards_.push_back({std::move(b), phase, BoardResult::Unchanged, {}});
    }
}

void SetRun::fill(std::vector<Step>& out) {
    while (!interrupted_ && outstanding_ < jobs_ && next_ < boards_.size()) {
        State& s = boards_[next_];
        if (s.phase == Phase::Queued) {
            s.phase = Phase::Sent;
            ++outstanding_;
            out.push_back({Step::SendSet, next_, {}});
        }
        ++next_;
    }
}

// Once nothing is outstanding: the boards not yet read back are searched for, until each has
// answered or the searches are spent; then the run is over.
void SetRun::settle(std::vector<Step>& out) {
    if (finished_ || reading_back_ || outstanding_ > 0) return;
    if (!interrupted_ && next_ < boards_.size()) return;
    std::vector<std::size_t> awaited;
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        State& s = boards_[i];
        if (s.phase == Phase::Queued) {
            s.phase = Phase::Done;
            s.result = BoardResult::NotStarted;
        } else if (s.phase == Phase::Replied) {
            awaited.push_back(i);
        }
    }
    if (!awaited.empty() && searches_ < kReadBackSearches) {
        ++searches_;
        reading_back_ = true;
        out.push_back({Step::ReadBack, 0, std::move(awaited)});
        return;
    }
    for (std::size_t i : awaited) {
        State& s = boards_[i];
        s.phase = Phase::Done;
        if (s.result != BoardResult::Failed) s.message.clear();
        s.result = BoardResult::Failed;
        s.message += s.message.empty() ? "" : "; ";
        s.message += "did not answer after the set";
    }
    finished_ = true;
    out.push_back({Step::Finished, 0, {}});
}

std::vector<SetRun::Step> SetRun::start() {
    std::vector<Step> out;
    fill(out);
    settle(out);
    return out;
}

std::vector<SetRun::Step> SetRun::set_replied(std::size_t board) {
    std::vector<Step> out;
    if (board >= boards_.size() || boards_[board].phase != Phase::Sent) return out;
    boards_[board].phase = Phase::Replied;
    --outstanding_;
    fill(out);
    settle(out);
    return out;
}

std::vector<SetRun::Step> SetRun::set_timed_out(std::size_t board) {
    std::vector<Step> out;
    if (board >= boards_.size() || boards_[board].phase != Phase::Sent) return out;
    // Read back all the same: the reply may be what was lost.
    State& s = boards_[board];
    s.phase = Phase::Replied;
    s.result = BoardResult::Failed;
    s.message = "no set reply";
    --outstanding_;
    fill(out);
    settle(out);
    return out;
}

std::vector<SetRun::Step> SetRun::read_back(const std::vector<std::optional<BoardRow>>& rows) {
    std::vector<Step> out;
    if (!reading_back_) return out;
    reading_back_ = false;
    for (std::size_t i = 0; i < boards_.size() && i < rows.size(); ++i) {
        State& s = boards_[i];
        if (s.phase != Phase::Replied || !rows[i]) continue;
        s.phase = Phase::Done;
        std::string wrong;
        for (const Change& c : differences(*rows[i], s.board.planned)) {
            wrong += wrong.empty() ? "" : "; ";
            wrong += c.field + " reads " + c.now + ", wanted " + c.wanted;
        }
        if (s.result == BoardResult::Failed) {
            if (!wrong.empty()) s.message += "; " + wrong;
        } else if (wrong.empty()) {
            s.result = BoardResult::Verified;
        } else {
            s.result = BoardResult::Failed;
            s.message = wrong;
        }
    }
    settle(out);
    return out;
}

std::vector<SetRun::Step> SetRun::interrupt() {
    std::vector<Step> out;
    if (interrupted_ || finished_) return out;
    interrupted_ = true;
    settle(out);
    return out;
}

}  // namespace quorin::fleet
