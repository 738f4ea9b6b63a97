#include "app/message_gate.h"

#include "res/texts.h"

namespace quorin {

bool MessageGate::gated(std::string_view text) {
    return text == text::kInvalidOpcode || text == text::kInvalidMessage;
}

bool MessageGate::tryOpen(std::string_view text) {
    if (!gated(text)) return true;
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
