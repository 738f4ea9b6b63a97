// One-shot window timers by identifier, behind a small interface, and its Qt implementation (tests
// fire timers by hand through a manual one of their own). Qt Core only, so that code without
// widgets (the firmware transfers, a command line) can use them too.
#pragma once

#include <functional>

namespace quorin::platform {

// One-shot window timers by identifier. Arming an armed timer restarts it. The expiry handler
// receives the identifier; it runs on the window's thread.
class WindowTimers {
  public:
    virtual ~WindowTimers() = default;
    virtual void SetTimer(int id, int milliseconds) = 0;
    virtual void KillTimer(int id) = 0;
    virtual bool isArmed(int id) const = 0;
    void setHandler(std::function<void(int)> handler) { handler_ = std::move(handler); }

  protected:
    void expire(int id) {
        if (handler_) handler_(id);
    }

  private:
    std::function<void(int)> handler_;
};

// One QTimer per identifier, single shot, living on the thread that constructed this object.
// SetTimer and KillTimer may be called from any thread: from another thread they are carried out
// on the owner's thread shortly afterwards. isArmed is meant for the owner's thread.
class QtWindowTimers final : public WindowTimers {
  public:
    QtWindowTimers();
    ~QtWindowTimers() override;
    void SetTimer(int id, int milliseconds) override;
    void KillTimer(int id) override;
    bool isArmed(int id) const override;

  private:
    struct Impl;
    Impl* impl_;
};

}  // namespace quorin::platform
