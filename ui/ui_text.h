// The system's texts (UTF-8 in res/texts.h and the display rules) as the window's strings.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

namespace quorin {

inline QString ui_text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QStringList ui_texts(const std::vector<std::string_view>& texts) {
    QStringList out;
    out.reserve(static_cast<qsizetype>(texts.size()));
    for (std::string_view t : texts) out.append(ui_text(t));
    return out;
}

// A text field's bytes as the board sent them, one character per byte.
inline QString ui_bytes(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace quorin
