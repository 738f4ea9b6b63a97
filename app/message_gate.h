// At most one message box at a time for the messages that any host on the LAN can raise with a
// datagram ("Invalid OPCODE Received", "Invalid Message Received"). Boxes are modal: while one is
// open its own event loop goes on reading datagrams, and each further junk datagram would open
// another box on top of it. While a gated box is open, further gated messages are only counted;
// when it closes the counts are handed back, once, for the log.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/config_core.h"

namespace quorin {

class MessageGate {
  public:
    // True for the kinds of message the gate holds back (invalid opcode, invalid message).
    static bool gated(Action::Kind kind);

    // Whether a box for a message of `kind` reading `text` may open now: true when no gated box
    // is open (the gate is then open until close()), false while one is (the message is counted
    // under its text instead). Kinds that are not gated always may.
    bool tryOpen(Action::Kind kind, std::string_view text);
    // The open gated box has closed. Returns the messages counted while it was open, by text in
    // alphabetical order, with their counts, and forgets them.
    std::vector<std::pair<std::string, int>> close();
    bool isOpen() const { return open_; }

  private:
    bool open_ = false;
    std::map<std::string, int, std::less<>> dropped_;
};

}  // namespace quorin
