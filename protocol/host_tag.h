// The host tag: one byte that the tool puts into byte 1 of every main-protocol request.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace quorin {

// Low 8 bits of the sum of the four octets: 192.168.1.10 gives 115.
std::uint8_t host_tag_from_address(const std::array<std::uint8_t, 4>& ipv4);

// The first IPv4 address that a name lookup of this computer's own host name gives, or nullopt
// when the host name or its lookup fails.
std::optional<std::array<std::uint8_t, 4>> own_host_address();

// host_tag_from_address(own_host_address()), or 0 when the lookup fails: 0 is the value the tag
// has before it is computed, and boards do not read it back.
std::uint8_t compute_host_tag();

}  // namespace quorin
