// A board record's 32-byte text field as the board holds it, for tests: the text, then zero bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quorin::testing {

// `text` followed by zero bytes; a longer text is cut at 32 bytes.
inline std::array<std::uint8_t, 32> text_field(std::string_view text) {
    std::array<std::uint8_t, 32> f{};
    for (std::size_t k = 0; k < text.size() && k < f.size(); ++k) {
        f[k] = static_cast<std::uint8_t>(text[k]);
    }
    return f;
}

}  // namespace quorin::testing
