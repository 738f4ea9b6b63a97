#include "app/host_tag_lookup.h"

#include <system_error>
#include <thread>

namespace quorin {

HostTagLookup::HostTagLookup(Compute compute) : shared_(std::make_shared<Shared>()) {
    try {
        std::thread([shared = shared_, compute = std::move(compute)] {
            shared->tag = compute ? compute() : 0;
        }).detach();
    } catch (const std::system_error&) {
        shared_->tag = 0;  // no thread to be had: the tag stays 0 rather than stall the window
    }
}

std::optional<std::uint8_t> HostTagLookup::result() const {
    const int tag = shared_->tag;
    if (tag == Shared::kPending) return std::nullopt;
    return static_cast<std::uint8_t>(tag);
}

}  // namespace quorin
