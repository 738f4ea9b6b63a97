// What the benchmarks share: the median of a run's figures, the bare search they compare the
// tool's search with, and the probe of the event loop's stalls.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <set>
#include <vector>

#include <QElapsedTimer>
#include <QTimer>

#include "protocol/board_record.h"

namespace quorin::tools {

// The longest time the event loop did not come round to a timer due every `interval_ms`.
class StallProbe {
  public:
    explicit StallProbe(int interval_ms) : interval_ms_(interval_ms) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(interval_ms_);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 gap = since_.restart();
            longest_ms = std::max(longest_ms, gap - interval_ms_);
        });
    }
    void start() {
        longest_ms = 0;
        since_.start();
        timer_.start();
    }
    void stop() { timer_.stop(); }
    qint64 longest_ms = 0;

  private:
    int interval_ms_;
    QTimer timer_;
    QElapsedTimer since_;
};

// The middle figure, or -1 when there is none.
inline double median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A bare search: one search request from a plain UDP socket to 127.255.255.255:`port`, then
// replies read with a blocking poll until `boards` distinct MACs have answered. Returns the time in
// milliseconds, or -1 when they did not all answer within `timeout_ms`.
inline double bare_search_ms(std::uint16_t port, int boards, int timeout_ms = 5000) {
    using Clock = std::chrono::steady_clock;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    // The receive buffer the tools ask for, so that the burst of replies is not dropped.
    const int buffer_bytes = 4 * 1024 * 1024;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer_bytes, sizeof buffer_bytes) != 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer_bytes, sizeof buffer_bytes);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(0x7FFFFFFF);  // 127.255.255.255: loopback only
    std::vector<std::uint8_t> request(kMainPacketSize, 0);
    request[0] = OPCODE_SEARCH_REQUEST;
    std::vector<std::uint8_t> reply(kMainPacketSize);
    std::set<std::array<std::uint8_t, 6>> macs;

    const auto begin = Clock::now();
    double ms = -1;
    if (::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to) == static_cast<ssize_t>(request.size())) {
        const auto deadline = begin + std::chrono::milliseconds(timeout_ms);
        while (static_cast<int>(macs.size()) < boards && Clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            const ssize_t n = ::recv(fd, reply.data(), reply.size(), 0);
            if (n >= 8 && reply[0] == OPCODE_SEARCH_REPLY) {
                std::array<std::uint8_t, 6> mac{};
                std::copy_n(reply.begin() + 2, 6, mac.begin());
                macs.insert(mac);
            }
        }
        if (static_cast<int>(macs.size()) >= boards)
            ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    }
    ::close(fd);
    return ms;
}

}  // namespace quorin::tools
