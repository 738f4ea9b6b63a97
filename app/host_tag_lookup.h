// The host tag without making the window wait for it. The tag comes from a name lookup of this
// computer's own host name, which takes as long as the DNS servers take to give up when the name
// is not in the hosts file (ten seconds and more with a server that never answers), so the lookup
// runs on a thread of its own. Until it has finished the tag is 0, the value it has before it is
// computed; boards do not read it back.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace quorin {

class HostTagLookup {
  public:
    using Compute = std::function<std::uint8_t()>;

    // Starts `compute` on a thread of its own. The thread is never waited for: it may outlive
    // this object, and the program may end while it still runs, so `compute` must own whatever it
    // uses.
    explicit HostTagLookup(Compute compute);

    // The tag once the lookup has finished; nullopt while it runs.
    std::optional<std::uint8_t> result() const;

  private:
    struct Shared {
        static constexpr int kPending = -1;
        std::atomic<int> tag{kPending};
    };
    std::shared_ptr<Shared> shared_;
};

}  // namespace quorin
