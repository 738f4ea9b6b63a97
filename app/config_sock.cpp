#include "app/config_sock.h"

#include <sys/socket.h>

#include <QNetworkProxy>

namespace quorin {

CConfigSock::CConfigSock(std::uint8_t tag, std::function<void(std::uint8_t)> on_readable,
                         QObject* parent)
    : QUdpSocket(parent), tag_(tag), on_readable_(std::move(on_readable)) {
    // Boards are on the LAN: datagrams go straight to them, never through a proxy, and the
    // desktop's proxy configuration is not even consulted.
    setProxy(QNetworkProxy::NoProxy);
    connect(this, &QUdpSocket::readyRead, this, &CConfigSock::OnReceive);
}

bool CConfigSock::Create(const QHostAddress& address, quint16 port, bool exclusive) {
    return bind(address, port,
                exclusive ? QUdpSocket::DontShareAddress : QUdpSocket::DefaultForPlatform);
}

void CConfigSock::EnableBroadcast() {
    const qintptr fd = socketDescriptor();
    if (fd < 0) return;
    int on = 1;
    ::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

int CConfigSock::SetReceiveBuffer(int bytes) {
    const qintptr fd = socketDescriptor();
    if (fd < 0) return 0;
    const int s = static_cast<int>(fd);
#ifdef SO_RCVBUFFORCE
    if (::setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
#endif
        ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    int granted = 0;
    socklen_t len = sizeof granted;
    if (::getsockopt(s, SOL_SOCKET, SO_RCVBUF, &granted, &len) != 0) return 0;
    return granted;
}

bool CConfigSock::ReceiveDatagram(std::size_t max_bytes, std::vector<std::uint8_t>& out) {
    if (!hasPendingDatagrams()) return false;
    out.assign(max_bytes, 0);
    const qint64 n =
        readDatagram(reinterpret_cast<char*>(out.data()), static_cast<qint64>(max_bytes));
    if (n < 0) {
        out.clear();
        return false;
    }
    out.resize(static_cast<std::size_t>(n));
    return true;
}

qint64 CConfigSock::SendTo(const std::vector<std::uint8_t>& bytes, const QHostAddress& address,
                           quint16 port) {
    return writeDatagram(reinterpret_cast<const char*>(bytes.data()),
                         static_cast<qint64>(bytes.size()), address, port);
}

void CConfigSock::OnReceive() {
    // One notification may stand for several waiting datagrams: hand each over in turn. The
    // count bounds the loop should a datagram stay unreadable.
    for (int i = 0; i < 10000 && hasPendingDatagrams(); ++i) on_readable_(tag_);
}

}  // namespace quorin
