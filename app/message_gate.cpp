#include "app/message_gate.h"

namespace quorin {

bool MessageGate::gated(Action::Kind kind) {
    return kind == Action::InvalidOpcode || kind == Action::InvalidMessage;
}

bool MessageGate::tryOpen(Action::Kind kind, std::string_view text) {
    if (!gated(kind)) return true;
    if (!open_) {
        open_ = true;
        return true;
    }
    auto it = dropped_.find(text);
    if (it == dropped_.end()) it = dropped_.emplace(std::string(text), 0).first;
    ++it->second;
    return false;
}

std::vector<std::pair<std::string, int>> MessageGate::close() {
    std::vector<std::pair<std::string, int>> counted(dropped_.begin(), dropped_.end());
    dropped_.clear();
    open_ = false;
    return counted;
}

}  // namespace quorin
