#include "platform/socket_buffer.h"

#include <sys/socket.h>

namespace quorin::platform {

int request_receive_buffer(int fd, int bytes) {
    if (fd < 0) return 0;
#ifdef SO_RCVBUFFORCE
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
#endif
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    int granted = 0;
    socklen_t len = sizeof granted;
    if (::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &granted, &len) != 0) return 0;
    return granted;
}

}  // namespace quorin::platform
