#include "upload/upload_rules.h"

#include <algorithm>

namespace quorin::upload_rules {

std::optional<std::array<std::uint8_t, 4>> transfer_address(
    std::optional<std::array<std::uint8_t, 4>> selected_board_ip) {
    if (!selected_board_ip) return std::nullopt;
    if (*selected_board_ip == std::array<std::uint8_t, 4>{}) return std::nullopt;
    return selected_board_ip;
}

bool AgingSeries::begin() {
    if (running()) return false;
    count_ = 0;
    phase_ = Phase::Counting;
    return true;
}

AgingSeries::Step AgingSeries::transfer_finished() {
    Step step;
    if (phase_ == Phase::Counting) {
        ++count_;
        step.counted = true;
        step.arm_next = true;
        if (count_ >= limit_) phase_ = Phase::LastUpload;
    } else if (phase_ == Phase::LastUpload) {
        phase_ = Phase::Over;
        step.over = true;
    }
    return step;
}

bool AgingSeries::failed() {
    if (!running()) return false;
    phase_ = Phase::Over;
    return true;
}

void AgingSeries::set_limit(int limit) {
    if (!running()) limit_ = std::max(1, limit);
}

}  // namespace quorin::upload_rules
