#include "cli/interrupt_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace quorin::cli {
namespace {

// One pipe for the process: written by the handler (async-signal-safe), read by the loop.
int g_pipe[2] = {-1, -1};

void handle_signal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void(int)> on_signal_cb)
    : on_signal_(std::move(on_signal_cb)) {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) g_pipe[0] = g_pipe[1] = -1;
    if (g_pipe[0] >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readable(); });
    }
    struct sigaction action {};
    action.sa_handler = handle_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &old_int_);
    ::sigaction(SIGTERM, &action, &old_term_);
}

InterruptWatch::~InterruptWatch() {
    ::sigaction(SIGINT, &old_int_, nullptr);
    ::sigaction(SIGTERM, &old_term_, nullptr);
}

void InterruptWatch::interrupt() {
    ++count_;
    if (on_signal_) on_signal_(count_);
}

void InterruptWatch::readable() {
    char bytes[64];
    ssize_t n = 0;
    while ((n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            ++count_;
            if (on_signal_) on_signal_(count_);
        }
    }
}

}  // namespace quorin::cli
