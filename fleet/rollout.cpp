#include "fleet/rollout.h"

#include <algorithm>
#include <numeric>

#include "fleet/site_run.h"
#include "settings/field_catalogue.h"

namespace quorin::fleet {
namespace {

std::string firmware_of(const BoardRow& row) {
    const auto f = settings::field_of(row, "firmware_version");
    return f ? f->value : std::string();
}

}  // namespace

std::vector<std::size_t> rollout_order(const std::vector<BoardRow>& rows, RolloutOrder order) {
    std::vector<std::size_t> out(rows.size());
    std::iota(out.begin(), out.end(), std::size_t{0});
    if (order == RolloutOrder::Named) return out;
    std::stable_sort(out.begin(), out.end(), [&](std::size_t a, std::size_t b) {
        const BoardRow& x = rows[a];
        const BoardRow& y = rows[b];
        if (order == RolloutOrder::Ip && x.local_ip != y.local_ip) return x.local_ip < y.local_ip;
        return x.mac_address < y.mac_address;
    });
    return out;
}

std::vector<Change> upgrade_changes(const BoardRow& before, const BoardRow& after) {
    BoardRow read_alike = after;
    read_alike.firmware_major = before.firmware_major;
    read_alike.firmware_minor = before.firmware_minor;
    return differences(before, read_alike);
}

std::string_view rollout_result_name(RolloutResult result) {
    switch (result) {
        case RolloutResult::Pending:
            return "pending";
        case RolloutResult::Verified:
            return "verified";
        case RolloutResult::OtherFirmware:
            return "other_firmware";
        case RolloutResult::SettingsChanged:
            return "settings_changed";
        case RolloutResult::NotBack:
            return "not_back";
        case RolloutResult::Failed:
            return "failed";
        case RolloutResult::Interrupted:
            return "interrupted";
        case RolloutResult::Unverified:
            return "unverified";
        case RolloutResult::NotStarted:
            return "not_started";
    }
    return "pending";
}

Rollout::Rollout(std::vector<BoardRow> before, RolloutOptions options)
    : options_(std::move(options)) {
    options_.jobs = std::max(1, options_.jobs);
    options_.canary = std::max(0, options_.canary);
    options_.max_failures = std::max(0, options_.max_failures);
    boards_.reserve(before.size());
    for (BoardRow& row : before) {
        Board b;
        b.before = std::move(row);
        boards_.push_back(std::move(b));
    }
}

Rollout::Steps Rollout::start() {
    Steps out;
    fill(out);
    settle(out);
    return out;
}

Rollout::Steps Rollout::upload_ended(std::size_t board, bool completed, Ms now) {
    Steps out;
    if (board >= boards_.size() || boards_[board].phase != Phase::Uploading) return out;
    --running_;
    Board& b = boards_[board];
    b.ended_at = now;
    if (completed) {
        b.phase = Phase::Verifying;
    } else {
        end(board, RolloutResult::Failed, out);
    }
    fill(out);
    settle(out);
    return out;
}

Rollout::Steps Rollout::board_answered(const BoardRow& row, Ms now) {
    Steps out;
    const auto it = std::find_if(boards_.begin(), boards_.end(), [&](const Board& b) {
        return b.phase == Phase::Verifying && b.before.mac_address == row.mac_address;
    });
    // An answer from before the board could have restarted says nothing of the upgrade.
    if (it == boards_.end() || now < it->ended_at + options_.search_every_ms) return out;
    const auto board = static_cast<std::size_t>(it - boards_.begin());
    Board& b = *it;
    b.answered = true;
    b.firmware = firmware_of(row);
    if (!options_.version.empty() && b.firmware != options_.version) {
        // Still the firmware it had: it may not have restarted yet, so it is asked again until
        // its time runs out. Any other firmware is an answer.
        if (b.firmware == firmware_of(b.before)) return out;
        end(board, RolloutResult::OtherFirmware, out);
    } else {
        b.changes = upgrade_changes(b.before, row);
        end(board, b.changes.empty() ? RolloutResult::Verified : RolloutResult::SettingsChanged,
            out);
    }
    fill(out);
    settle(out);
    return out;
}

Rollout::Steps Rollout::tick(Ms now) {
    Steps out;
    bool due = false;
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        Board& b = boards_[i];
        if (b.phase != Phase::Verifying) continue;
        if (now >= b.ended_at + options_.verify_timeout_ms) {
            end(i, b.answered ? RolloutResult::OtherFirmware : RolloutResult::NotBack, out);
        } else if (now >= b.ended_at + options_.search_every_ms) {
            due = true;
        }
    }
    if (due && (!last_search_ || now - *last_search_ >= options_.search_every_ms)) {
        last_search_ = now;
        out.push_back({Step::Search, 0});
    }
    fill(out);
    settle(out);
    return out;
}

Rollout::Steps Rollout::interrupt() {
    Steps out;
    ++interrupts_;
    end_waiting(NotStartedWhy::Interrupted, out);
    if (interrupts_ >= 2) {
        for (std::size_t i = 0; i < boards_.size(); ++i) {
            if (boards_[i].phase == Phase::Uploading) {
                out.push_back({Step::AbortUpload, i});
                --running_;
                end(i, RolloutResult::Interrupted, out);
            } else if (boards_[i].phase == Phase::Verifying) {
                end(i, RolloutResult::Unverified, out);
            }
        }
    }
    settle(out);
    return out;
}

int Rollout::exit_status() const {
    if (interrupts_ > 0) return kExitInterrupted;
    const auto verified = std::count_if(boards_.begin(), boards_.end(), [](const Board& b) {
        return b.result == RolloutResult::Verified;
    });
    if (static_cast<std::size_t>(verified) == boards_.size()) return kExitOk;
    return verified == 0 ? kExitFailure : kExitPartial;
}

bool Rollout::is_failure(RolloutResult result) const {
    return result != RolloutResult::Verified && result != RolloutResult::NotStarted &&
           result != RolloutResult::Pending;
}

void Rollout::end(std::size_t board, RolloutResult result, Steps& out) {
    Board& b = boards_[board];
    b.phase = Phase::Ended;
    b.result = result;
    if (is_failure(result)) ++failures_;
    out.push_back({Step::BoardEnded, board});
}

void Rollout::end_waiting(NotStartedWhy why, Steps& out) {
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        if (boards_[i].phase != Phase::Waiting) continue;
        boards_[i].why = why;
        end(i, RolloutResult::NotStarted, out);
    }
}

bool Rollout::canaries_pending() const {
    const std::size_t canaries = std::min(boards_.size(), std::size_t(options_.canary));
    return std::any_of(boards_.begin(), boards_.begin() + static_cast<std::ptrdiff_t>(canaries),
                       [](const Board& b) { return b.phase != Phase::Ended; });
}

void Rollout::fill(Steps& out) {
    if (interrupts_ > 0) return;
    const std::size_t canaries = std::min(boards_.size(), std::size_t(options_.canary));
    const bool canary_failed =
        std::any_of(boards_.begin(), boards_.begin() + static_cast<std::ptrdiff_t>(canaries),
                    [this](const Board& b) { return is_failure(b.result); });
    if (canary_failed) end_waiting(NotStartedWhy::CanaryFailed, out);
    if (options_.max_failures > 0 && failures_ >= options_.max_failures)
        end_waiting(NotStartedWhy::TooManyFailures, out);
    for (std::size_t i = 0; i < boards_.size() && running_ < options_.jobs; ++i) {
        if (boards_[i].phase != Phase::Waiting) continue;
        if (i >= canaries && canaries_pending()) break;
        boards_[i].phase = Phase::Uploading;
        ++running_;
        out.push_back({Step::StartUpload, i});
    }
}

void Rollout::settle(Steps& out) {
    if (finished_) return;
    const bool open = std::any_of(boards_.begin(), boards_.end(),
                                  [](const Board& b) { return b.phase != Phase::Ended; });
    if (open) return;
    finished_ = true;
    out.push_back({Step::Finished, 0});
}

}  // namespace quorin::fleet
