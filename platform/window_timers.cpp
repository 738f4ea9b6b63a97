#include "platform/window_timers.h"

#include <QThread>
#include <QTimer>
#include <map>

#include "platform/call_queue.h"

namespace quorin::platform {

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

}  // namespace quorin::platform
