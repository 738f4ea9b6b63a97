// Receive buffers for datagram sockets that take bursts of replies.
#pragma once

namespace quorin::platform {

// Asks for a receive buffer of `bytes` on socket `fd` and returns what the system granted (0 when
// it cannot be read back). The forcing option lets a privileged process go past the system's
// ceiling; otherwise the ordinary option gets what the ceiling allows.
int request_receive_buffer(int fd, int bytes);

}  // namespace quorin::platform
