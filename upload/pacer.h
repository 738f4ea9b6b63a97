// How the streamed transfer's worker waits between its steps. The real pacer sleeps at least as
// long as asked and wakes early only when interrupted (the window closes); tests use the instant
// one so that they do not wait. All operations are thread-safe.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace quorin {

class Pacer {
  public:
    virtual ~Pacer() = default;
    // Waits `ms` milliseconds; returns false at once, or as soon as interrupted, after interrupt().
    virtual bool wait(int ms) = 0;
    // Ends a running wait and makes every later one return false until reset().
    virtual void interrupt() = 0;
    virtual void reset() = 0;
};

class SleepPacer final : public Pacer {
  public:
    bool wait(int ms) override;
    void interrupt() override;
    void reset() override;

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool interrupted_ = false;
};

// Returns at once and keeps the sum of the waits asked for.
class InstantPacer final : public Pacer {
  public:
    bool wait(int ms) override;
    void interrupt() override { interrupted_ = true; }
    void reset() override { interrupted_ = false; }
    long long total_ms() const { return total_ms_; }
    std::vector<int> waits() const;

  private:
    std::atomic<bool> interrupted_{false};
    std::atomic<long long> total_ms_{0};
    mutable std::mutex mutex_;
    std::vector<int> waits_;
};

}  // namespace quorin
