#include "upload/pacer.h"

#include <chrono>

namespace quorin {

bool SleepPacer::wait(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    // A steady-clock deadline: spurious wake-ups and clock changes never shorten the wait.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    return !wake_.wait_until(lock, deadline, [this] { return interrupted_; });
}

void SleepPacer::interrupt() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        interrupted_ = true;
    }
    wake_.notify_all();
}

void SleepPacer::reset() {
    const std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = false;
}

bool InstantPacer::wait(int ms) {
    if (interrupted_) return false;
    total_ms_ += ms;
    const std::lock_guard<std::mutex> lock(mutex_);
    waits_.push_back(ms);
    return true;
}

std::vector<int> InstantPacer::waits() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return waits_;
}

}  // namespace quorin
