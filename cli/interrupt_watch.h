// SIGINT and SIGTERM as events of the event loop: while a watch lives, each signal is counted
// and reported to its callback from the loop (never from the signal handler), and the process
// is not ended by it. The handlers that were in place come back when the watch ends.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <memory>

namespace quorin::cli {

class InterruptWatch {
  public:
    // `on_signal` gets the number of signals so far (1 for the first).
    explicit InterruptWatch(std::function<void(int count)> on_signal);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    int count() const { return count_; }
    // Counts as a signal (a window's Stop): reported to the callback at once.
    void interrupt();
    // Replaces the callback (a run that takes over the watch of its command).
    void on_signal(std::function<void(int count)> f) { on_signal_ = std::move(f); }

  private:
    void readable();

    std::function<void(int)> on_signal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
    int count_ = 0;
};

}  // namespace quorin::cli
