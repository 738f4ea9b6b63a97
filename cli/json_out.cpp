#include "cli/json_out.h"

#include <QIODevice>
#include <QString>
#include <algorithm>

namespace quorin::cli {
namespace {

// Escaped, one input byte takes at most six output bytes ("\u001f").
constexpr std::size_t kEscapedMax = 6;
// Input bytes escaped per piece: a piece always fits the buffer.
constexpr std::size_t kPieceBytes = kJsonChunkBytes / kEscapedMax - 1;

// Writes `text` escaped at `at`, which has room for kEscapedMax bytes per input byte; returns
// the new end.
char* put_escaped(char* at, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != '"' && c != '\\') {
            *at++ = ch;
            continue;
        }
        *at++ = '\\';
        switch (c) {
            case '"':
            case '\\':
                *at++ = static_cast<char>(c);
                break;
            case '\n':
                *at++ = 'n';
                break;
            case '\r':
                *at++ = 'r';
                break;
            case '\t':
                *at++ = 't';
                break;
            default:
                *at++ = 'u';
                *at++ = '0';
                *at++ = '0';
                *at++ = kHex[c >> 4];
                *at++ = kHex[c & 0x0F];
        }
    }
    return at;
}

}  // namespace

JsonOut::JsonOut(QTextStream& out) : out_(out), buffer_(new char[kJsonChunkBytes]) {
    out_.flush();
}

JsonOut::~JsonOut() {
    flush();
}

void JsonOut::flush() {
    if (used_ == 0) return;
    if (QIODevice* device = out_.device()) {
        device->write(buffer_.get(), static_cast<qint64>(used_));
    } else {
        out_ << QString::fromUtf8(buffer_.get(), static_cast<qsizetype>(used_));
    }
    used_ = 0;
}

void JsonOut::raw(std::string_view text) {
    while (!text.empty()) {
        const std::size_t n = std::min(text.size(), kJsonChunkBytes);
        std::copy_n(text.data(), n, room(n));
        used_ += n;
        text.remove_prefix(n);
    }
}

void JsonOut::string(std::string_view text) {
    // Most texts need no escape at all: copied whole, quotes included.
    if (text.size() + 2 <= kJsonChunkBytes && std::none_of(text.begin(), text.end(), [](char ch) {
            const auto c = static_cast<unsigned char>(ch);
            return c < 0x20 || c == '"' || c == '\\';
        })) {
        char* at = room(text.size() + 2);
        *at = '"';
        std::copy_n(text.data(), text.size(), at + 1);
        at[text.size() + 1] = '"';
        used_ += text.size() + 2;
        return;
    }
    *room(1) = '"';
    ++used_;
    while (!text.empty()) {
        const std::string_view piece = text.substr(0, kPieceBytes);
        char* at = room(piece.size() * kEscapedMax);
        used_ += static_cast<std::size_t>(put_escaped(at, piece) - at);
        text.remove_prefix(piece.size());
    }
    *room(1) = '"';
    ++used_;
}

}  // namespace quorin::cli
