// Window timers that only expire when a test fires them, so that tests of timed procedures never
// wait. Qt Core only, as the timers' interface is.
#pragma once

#include <map>
#include <mutex>
#include <optional>

#include "platform/window_timers.h"

namespace quorin::platform {

// Arming and disarming may come from any thread.
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
