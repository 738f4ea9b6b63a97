#include "platform/call_queue.h"

#include <QCoreApplication>
#include <QEvent>

#if defined(__SANITIZE_THREAD__)
#define QUORIN_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUORIN_THREAD_SANITIZER 1
#endif
#endif

#ifdef QUORIN_THREAD_SANITIZER
// ThreadSanitizer's runtime provides these (gcc ships no header for them).
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace quorin::platform {
namespace {

// Marks, for ThreadSanitizer, that what one thread wrote before handoff_release(p) is written
// before another thread's handoff_acquire(p) returns.
void handoff_release([[maybe_unused]] void* p) {
#ifdef QUORIN_THREAD_SANITIZER
    __tsan_release(p);
#endif
}

void handoff_acquire([[maybe_unused]] void* p) {
#ifdef QUORIN_THREAD_SANITIZER
    __tsan_acquire(p);
#endif
}

const QEvent::Type kCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class CallEvent final : public QEvent {
  public:
    explicit CallEvent(std::function<void()> call) : QEvent(kCallEvent), call(std::move(call)) {}
    std::function<void()> call;
};

}  // namespace

void CallQueue::post(std::function<void()> call) {
    auto* event = new CallEvent(std::move(call));
    handoff_release(event);
    QCoreApplication::postEvent(this, event);  // takes the event; deletes it if never delivered
}

bool CallQueue::event(QEvent* event) {
    // Before anything of the event is read, also its type.
    handoff_acquire(event);
    if (event->type() != kCallEvent) return QObject::event(event);
    auto* call = static_cast<CallEvent*>(event);
    if (call->call) call->call();
    return true;
}

}  // namespace quorin::platform
