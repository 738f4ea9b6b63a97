#include "upload/stream_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <algorithm>
#include <cerrno>

namespace quorin {

using ConnectResult = StreamTransfer::ConnectResult;

StreamLink::StreamLink(const std::atomic<bool>& stop) : stop_(stop) {}

StreamLink::~StreamLink() {
    close();
}

void StreamLink::drop() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    connected_ = false;
    pending_ = false;
    unsent_.clear();
}

StreamLink::Wait StreamLink::wait_for(short events, int ms) {
    QElapsedTimer waited;
    waited.start();
    while (true) {
        if (stop_) return Wait::TimedOut;
        const auto left = static_cast<int>(std::max<qint64>(0, ms - waited.elapsed()));
        pollfd p{fd_, events, 0};
        const int n = ::poll(&p, 1, std::min(left, kStreamWaitSliceMs));
        if (n > 0)
            return (p.revents & (POLLERR | POLLNVAL)) != 0 && !(p.revents & events) ? Wait::Failed
                                                                                    : Wait::Ready;
        if (n < 0 && errno != EINTR) return Wait::Failed;
        if (left == 0) return Wait::TimedOut;
    }
}

bool StreamLink::finish_connect(int ms) {
    if (connected_) return true;
    if (fd_ < 0) return false;
    const Wait w = wait_for(POLLOUT, ms);
    if (w == Wait::TimedOut) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (w == Wait::Failed || ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
        error != 0) {
        drop();
        return false;
    }
    connected_ = true;
    return true;
}

ConnectResult StreamLink::connect(const QHostAddress& board, quint16 port) {
    drop();
    bool ipv4 = false;
    const quint32 address = board.toIPv4Address(&ipv4);
    if (!ipv4) return ConnectResult::Failed;
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return ConnectResult::SocketUnavailable;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
        connected_ = true;
        return ConnectResult::Connected;
    }
    if (errno != EINPROGRESS) {
        drop();
        return ConnectResult::Failed;
    }
    if (finish_connect(kStreamConnectWaitMs)) return ConnectResult::Connected;
    return fd_ >= 0 ? ConnectResult::InProgress : ConnectResult::Failed;
}

bool StreamLink::send(std::span<const std::uint8_t> bytes, int wait_ms) {
    QElapsedTimer waited;
    waited.start();
    if (!finish_connect(wait_ms)) return false;
    if (!pending_) {
        unsent_.assign(bytes.begin(), bytes.end());
        pending_ = true;
    }
    std::size_t at = 0;
    while (at < unsent_.size()) {
        const ssize_t n = ::send(fd_, unsent_.data() + at, unsent_.size() - at, MSG_NOSIGNAL);
        if (n > 0) {
            at += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            drop();
            return false;
        }
        const auto left = static_cast<int>(std::max<qint64>(0, wait_ms - waited.elapsed()));
        if (left == 0 || wait_for(POLLOUT, left) != Wait::Ready) {
            unsent_.erase(unsent_.begin(), unsent_.begin() + static_cast<std::ptrdiff_t>(at));
            return false;
        }
    }
    unsent_.clear();
    pending_ = false;
    return true;
}

void StreamLink::close() {
    if (fd_ < 0) return;
    if (connected_ && !stop_ && !pending_) {
        // What the system has taken leaves after the close too; wait (bounded) until it has left,
        // so that the end of the transfer is told only then. After a failed send there is no
        // point: the board is not taking it.
        QElapsedTimer waited;
        waited.start();
        int queued = 0;
        while (!stop_ && waited.elapsed() < kStreamCloseWaitMs &&
               ::ioctl(fd_, SIOCOUTQ, &queued) == 0 && queued > 0) {
            ::usleep(1000);
        }
        ::shutdown(fd_, SHUT_WR);
        // Unread bytes from the board would turn the close into a reset.
        char drained[256];
        while (::recv(fd_, drained, sizeof drained, MSG_DONTWAIT) > 0) {
        }
    }
    drop();
}

}  // namespace quorin
