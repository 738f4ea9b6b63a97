// netns_search_probe: the search half of the tool, reduced to what the namespace test needs. It
// sends one search request (the 402-byte main-protocol datagram with opcode 1, or the four bytes
// "FIND" with --find) from a broadcast-enabled UDP socket on a system-chosen port, then counts
// the replies for up to --seconds (stopping early once --expect replies have arrived) and prints
//     replies=N distinct=M len120=a len226=b len290=c len402=d other=e
// on one line. distinct counts different MACs (bytes 2..7, or 4..9 for "IMIN").
//
// Any program that takes the same arguments and prints the same "replies=" line can stand in for
// it in the namespace test (see sim_netns_test.cpp).
//
// Safety: a destination outside 127.0.0.0/8 is refused unless the probe was started into a network
// namespace other than its parent's (as "ip netns exec" does), so that it cannot broadcast on the
// network of the machine it runs on.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/netns_guard.h"

namespace {

constexpr std::size_t kSearchLength = 402;
constexpr std::uint8_t kSearchOpcode = 1;
constexpr int kReceiveBufferBytes = 8 << 20;

struct Options {
    std::string address;
    int port = 0;
    double seconds = 3;
    long expect = -1;
    bool find = false;
};

int usage() {
    std::fprintf(stderr,
                 "usage: netns_search_probe --address A --port P [--seconds S] [--expect N] "
                 "[--find]\n");
    return 2;
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--address" && has_value) {
            o.address = argv[++i];
        } else if (arg == "--port" && has_value) {
            o.port = std::atoi(argv[++i]);
        } else if (arg == "--seconds" && has_value) {
            o.seconds = std::atof(argv[++i]);
        } else if (arg == "--expect" && has_value) {
            o.expect = std::atol(argv[++i]);
        } else if (arg == "--find") {
            o.find = true;
        } else {
            return false;
        }
    }
    return !o.address.empty() && o.port > 0 && o.port < 65536 && o.seconds > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) return usage();

    in_addr destination{};
    if (::inet_pton(AF_INET, o.address.c_str(), &destination) != 1) return usage();
    if (!quorin::e2e::destination_allowed(o.address)) {
        std::fprintf(stderr,
                     "netns_search_probe: refusing to send to %s outside a network namespace\n",
                     o.address.c_str());
        return 3;
    }

    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        std::perror("socket");
        return 1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBufferBytes,
                     sizeof kReceiveBufferBytes) != 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("bind");
        return 1;
    }

    std::vector<std::uint8_t> request;
    if (o.find) {
        request = {'F', 'I', 'N', 'D'};
    } else {
        request.assign(kSearchLength, 0);
        request[0] = kSearchOpcode;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(o.port));
    to.sin_addr = destination;
    if (::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) != static_cast<ssize_t>(request.size())) {
        std::perror("sendto");
        return 1;
    }

    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long>(o.seconds * 1000));
    long replies = 0;
    long by_length[4] = {0, 0, 0, 0};  // 120, 226, 290, 402
    long other = 0;
    std::set<std::string> macs;
    std::uint8_t buffer[2048];
    while (o.expect < 0 || replies < o.expect) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0) continue;
        ++replies;
        switch (n) {
            case 120:
                ++by_length[0];
                break;
            case 226:
                ++by_length[1];
                break;
            case 290:
                ++by_length[2];
                break;
            case 402:
                ++by_length[3];
                break;
            default:
                ++other;
                break;
        }
        const std::size_t mac_at = (n >= 4 && std::memcmp(buffer, "IMIN", 4) == 0) ? 4 : 2;
        if (static_cast<std::size_t>(n) >= mac_at + 6) {
            macs.insert(std::string(reinterpret_cast<char*>(buffer + mac_at), 6));
        }
    }
    std::printf("replies=%ld distinct=%zu len120=%ld len226=%ld len290=%ld len402=%ld other=%ld\n",
                replies, macs.size(), by_length[0], by_length[1], by_length[2], by_length[3],
                other);
    std::fflush(stdout);
    ::close(fd);
    return 0;
}
