#include "app/config_sock.h"

#include <sys/socket.h>

#include <QElapsedTimer>
#include <QMetaObject>
#include <QNetworkProxy>

#include "platform/socket_buffer.h"

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
    return platform::request_receive_buffer(static_cast<int>(socketDescriptor()), bytes);
}

bool CConfigSock::ReceiveDatagram(std::size_t max_bytes, std::vector<std::uint8_t>& out) {
    // Read without asking first whether a datagram waits: a read that finds nothing is what
    // lets the socket notify again (and no datagram can slip in between a check and the read).
    out.assign(max_bytes, 0);
    const qint64 n =
        readDatagram(reinterpret_cast<char*>(out.data()), static_cast<qint64>(max_bytes));
    if (n < 0) {
        out.clear();
        return false;
    }
    out.resize(static_cast<std::size_t>(n));
    ++datagrams_read_;
    return true;
}

qint64 CConfigSock::SendTo(const std::vector<std::uint8_t>& bytes, const QHostAddress& address,
                           quint16 port) {
    return writeDatagram(reinterpret_cast<const char*>(bytes.data()),
                         static_cast<qint64>(bytes.size()), address, port);
}

void CConfigSock::OnReceive() {
    // The datagrams are read from the event loop rather than inside this notification: a modal
    // message box opened while handling one runs its own event loop, and only there can this
    // socket go on being read (the socket does not notify again while its own notification is
    // still being handled).
    ScheduleTurn();
}

void CConfigSock::ScheduleTurn() {
    if (turn_scheduled_) return;
    turn_scheduled_ = true;
    QMetaObject::invokeMethod(
        this, [this] { ReadTurn(); }, Qt::QueuedConnection);
}

void CConfigSock::ReadTurn() {
    turn_scheduled_ = false;
    QElapsedTimer elapsed;
    elapsed.start();
    for (int i = 0; i < kDatagramsPerTurn; ++i) {
        // The first read of a turn is made even when nothing seems to wait: a notification can
        // come after its datagram was read in an earlier turn, and the socket notifies again only
        // once something has read from it.
        if (i > 0 && !hasPendingDatagrams()) break;
        const std::uint64_t before = datagrams_read_;
        on_readable_(tag_);
        // A datagram that cannot be read: leave it to the next notification rather than spin.
        if (datagrams_read_ == before) return;
        if (elapsed.elapsed() >= kTurnBudgetMs) break;
    }
    if (hasPendingDatagrams()) ScheduleTurn();
}

}  // namespace quorin
