// The host tag: arithmetic on this computer's own IPv4 address, and the lookup of that address.
#include "protocol/host_tag.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace quorin {

std::uint8_t host_tag_from_address(const std::array<std::uint8_t, 4>& ipv4) {
    unsigned sum = 0;
    for (std::uint8_t octet : ipv4) sum += octet;
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

std::optional<std::array<std::uint8_t, 4>> own_host_address() {
    // Host names are at most 255 bytes; one more keeps the buffer terminated even when
    // gethostname truncates without terminating.
    char name[257] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;

    std::optional<std::array<std::uint8_t, 4>> address;
    const addrinfo& first = *found;
    if (first.ai_family == AF_INET && first.ai_addr != nullptr &&
        first.ai_addrlen >= sizeof(sockaddr_in)) {
        // Copied out rather than cast: the lookup hands back a generic socket address.
        sockaddr_in in{};
        std::memcpy(&in, first.ai_addr, sizeof in);
        // sin_addr is in network order, which is first octet first.
        std::array<std::uint8_t, 4> octets{};
        static_assert(sizeof in.sin_addr == 4);
        std::memcpy(octets.data(), &in.sin_addr, octets.size());
        address = octets;
    }
    freeaddrinfo(found);
    return address;
}

std::uint8_t compute_host_tag() {
    const auto address = own_host_address();
    return address ? host_tag_from_address(*address) : std::uint8_t{0};
}

}  // namespace quorin
