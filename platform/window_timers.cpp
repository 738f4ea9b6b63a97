#include "platform/window_timers.h"

#include <QThread>
#include <QTimer>

#include "platform/call_queue.h"

namespace quorin::platform {

// --- window timers -------------------------------------------------------------------------

struct QtWindowTimers::Impl {
    CallQueue context;  // owner thread's anchor: the timers are its children
    std::map<int, QTimer*> timers;
};

QtWindowTimers::QtWindowTimers() : impl_(new Impl) {}

QtWindowTimers::~QtWindowTimers() {
    delete impl_;
}

void QtWindowTimers::SetTimer(int id, int milliseconds) {
    if (QThread::currentThread() != impl_->context.thread()) {
        impl_->context.post([this, id, milliseconds] { SetTimer(id, milliseconds); });
        return;
    }
    QTimer*& timer = impl_->timers[id];
    if (!timer) {
        timer = new QTimer(&impl_->context);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, &impl_->context, [this, id] { expire(id); });
    }
    timer->start(milliseconds < 0 ? 0 : milliseconds);  // restarts an armed timer
}

void QtWindowTimers::KillTimer(int id) {
    if (QThread::currentThread() != impl_->context.thread()) {
        impl_->context.post([this, id] { KillTimer(id); });
        return;
    }
    const auto it = impl_->timers.find(id);
    if (it != impl_->timers.end()) it->second->stop();
}

bool QtWindowTimers::isArmed(int id) const {
    const auto it = impl_->timers.find(id);
    return it != impl_->timers.end() && it->second->isActive();
}

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
