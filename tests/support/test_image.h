// Firmware images for upload tests, their checksums, and a TCP port for a listener.
#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QString>
#include <QTcpServer>
#include <cstdint>

namespace quorin::testing {

// Image bytes that differ from block to block, so that a lost or repeated block changes the
// sha256; another seed gives another image of the same size.
inline QByteArray test_image(qsizetype size, int seed = 7) {
    QByteArray image(size, Qt::Uninitialized);
    std::uint32_t x = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        image[i] = static_cast<char>(x >> 16);
    }
    return image;
}

inline QString sha256_hex(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// A TCP port no socket uses right now.
inline quint16 free_tcp_port() {
    QTcpServer probe;
    probe.setProxy(QNetworkProxy::NoProxy);
    if (!probe.listen(QHostAddress::AnyIPv4, 0)) return 0;
    return probe.serverPort();
}

}  // namespace quorin::testing
