// JSON text written straight to an output as it is made: UTF-8 through one buffer of
// kJsonChunkBytes that is handed on whenever it fills, so that a large listing (200 boards of
// about a hundred fields: half a megabyte) never piles up in memory and costs no more than
// copying its bytes.
#pragma once

#include <QTextStream>
#include <cstddef>
#include <memory>
#include <string_view>

namespace quorin::cli {

inline constexpr std::size_t kJsonChunkBytes = 64 * 1024;

class JsonOut {
  public:
    // Writes to the device under `out` (after flushing what `out` holds), or through `out`
    // itself when it has none.
    explicit JsonOut(QTextStream& out);
    ~JsonOut();
    JsonOut(const JsonOut&) = delete;
    JsonOut& operator=(const JsonOut&) = delete;

    // `text` as it is (already JSON).
    void raw(std::string_view text);
    // `text` as a JSON string: quoted, with '"', '\\' and control characters escaped; other
    // bytes (UTF-8 included) as they are.
    void string(std::string_view text);
    // Hands on what the buffer holds.
    void flush();

  private:
    // Room for `bytes` more (at most kJsonChunkBytes), flushing first when the buffer lacks it.
    char* room(std::size_t bytes) {
        if (kJsonChunkBytes - used_ < bytes) flush();
        return buffer_.get() + used_;
    }

    QTextStream& out_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

}  // namespace quorin::cli
