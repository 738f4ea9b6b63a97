// What the fuzz targets share: the invariant check that aborts naming what broke, and the reader
// of an input's operands.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace quorin::fuzz {

// Aborts, naming the broken invariant and its line, when `condition` is false.
#define CHECK(...) ::quorin::fuzz::check_at((__VA_ARGS__), #__VA_ARGS__, __LINE__)
inline void check_at(bool condition, const char* what, int line) {
    if (condition) return;
    std::fprintf(stderr, "invariant broken at line %d: %s\n", line, what);
    std::abort();
}

// Operands, read from the input; past its end they read as zero.
class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    // The next `n` bytes, fewer where the input ends, in a vector of exactly that size (reads
    // past it trap under the sanitizers).
    std::vector<std::uint8_t> bytes(std::size_t n) {
        const std::size_t take = std::min(n, size_ - std::min(at_, size_));
        std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + take);
        at_ += take;
        return out;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace quorin::fuzz
