// Guards for the search clients of the namespace tests: they send to the limited broadcast
// address only where the caller has put them on a network of their own.
#pragma once

#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace quorin::e2e {

// True when this process runs in another network namespace than the process that started it,
// as under "ip netns exec".
inline bool started_in_separate_network_namespace() {
    struct stat self {};
    struct stat parent {};
    const std::string parent_ns = "/proc/" + std::to_string(::getppid()) + "/ns/net";
    if (::stat("/proc/self/ns/net", &self) != 0 || ::stat(parent_ns.c_str(), &parent) != 0) {
        return false;
    }
    return self.st_ino != parent.st_ino || self.st_dev != parent.st_dev;
}

// True when `address` is a dotted IPv4 address that may be sent to from here: loopback always,
// anything else only from a namespace of its own.
inline bool destination_allowed(const std::string& address) {
    in_addr destination{};
    if (::inet_pton(AF_INET, address.c_str(), &destination) != 1) return false;
    const bool loopback = (ntohl(destination.s_addr) >> 24) == 127;
    return loopback || started_in_separate_network_namespace();
}

}  // namespace quorin::e2e
