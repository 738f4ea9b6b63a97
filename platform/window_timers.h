// One-shot window timers by identifier, behind a small interface: the Qt implementation for the
// product and a manual one for tests. Qt Core only, so that code without widgets (the firmware
// transfers, a command line) can use them too.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>

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

// Timers that only expire when a test fires them. Arming and disarming may come from any thread.
class ManualWindowTimers final : public WindowTimers {
  public:
    void SetTimer(int id, int milliseconds) override;
    void KillTimer(int id) override;
    bool isArmed(int id) const override;
    // Period of an armed timer, or nullopt.
    std::optional<int> period(int id) const;
    // Disarms the timer (one-shot) and runs the handler, as an expiry would. A timer that is not
    // armed cannot expire: nothing happens and the result is false.
    bool fire(int id);
    // Number of SetTimer calls for `id` so far (re-arming counts again).
    int armCount(int id) const;

  private:
    mutable std::mutex mutex_;
    std::map<int, int> armed_;
    std::map<int, int> arm_counts_;
};

}  // namespace quorin::platform
