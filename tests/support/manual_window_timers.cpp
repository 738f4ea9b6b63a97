#include "tests/support/manual_window_timers.h"

namespace quorin::platform {

void ManualWindowTimers::SetTimer(int id, int milliseconds) {
    const std::lock_guard<std::mutex> lock(mutex_);
    armed_[id] = milliseconds;
    ++arm_counts_[id];
}

void ManualWindowTimers::KillTimer(int id) {
    const std::lock_guard<std::mutex> lock(mutex_);
    armed_.erase(id);
}

bool ManualWindowTimers::isArmed(int id) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return armed_.count(id) != 0;
}

std::optional<int> ManualWindowTimers::period(int id) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = armed_.find(id);
    if (it == armed_.end()) return std::nullopt;
    return it->second;
}

int ManualWindowTimers::armCount(int id) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = arm_counts_.find(id);
    return it == arm_counts_.end() ? 0 : it->second;
}

bool ManualWindowTimers::fire(int id) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (armed_.erase(id) == 0) return false;
    }
    expire(id);  // without the lock: the handler may arm timers again
    return true;
}

}  // namespace quorin::platform
