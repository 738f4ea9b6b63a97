// Calls handed from any thread to the thread a CallQueue lives on: run from that thread's event
// loop in the order posted, dropped when the queue is destroyed first. This is how a worker
// thread reaches the window's thread.
//
// Qt carries posted events under locks that ThreadSanitizer cannot see (Qt is not instrumented),
// so whatever a worker wrote before posting would look raced when the call reads it. The queue
// marks each hand-off for ThreadSanitizer; in other builds the marks are nothing.
#pragma once

#include <QObject>
#include <functional>

namespace quorin::platform {

class CallQueue : public QObject {
  public:
    explicit CallQueue(QObject* parent = nullptr) : QObject(parent) {}

    // Thread-safe. `call` runs later on the queue's thread, never in place.
    void post(std::function<void()> call);

  protected:
    bool event(QEvent* event) override;
};

}  // namespace quorin::platform
