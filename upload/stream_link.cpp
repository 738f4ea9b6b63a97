#include "upload/stream_link.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTcpSocket>

namespace quorin {

using ConnectResult = StreamTransfer::ConnectResult;

StreamLink::StreamLink(const std::atomic<bool>& stop) : stop_(stop) {}

StreamLink::~StreamLink() {
    close();
}

ConnectResult StreamLink::connect(const QHostAddress& board, quint16 port) {
    if (socket_) socket_->abort();
    socket_ = std::make_unique<QTcpSocket>();
    socket_->setProxy(QNetworkProxy::NoProxy);
    pending_ = false;
    socket_->connectToHost(board, port);
    // One bounded wait: Qt abandons a connection attempt whose wait times out.
    if (socket_->state() != QAbstractSocket::ConnectedState)
        socket_->waitForConnected(kStreamConnectWaitMs);
    if (socket_->state() == QAbstractSocket::ConnectedState) return ConnectResult::Connected;
    const QAbstractSocket::SocketError error = socket_->error();
    socket_.reset();
    switch (error) {
        case QAbstractSocket::SocketTimeoutError:
            return ConnectResult::InProgress;
        case QAbstractSocket::SocketResourceError:
        case QAbstractSocket::UnsupportedSocketOperationError:
            return ConnectResult::SocketUnavailable;
        default:
            return ConnectResult::Failed;
    }
}

bool StreamLink::send(std::span<const std::uint8_t> bytes) {
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) return false;
    if (!pending_) {
        const auto size = static_cast<qint64>(bytes.size());
        if (socket_->write(reinterpret_cast<const char*>(bytes.data()), size) != size) return false;
        pending_ = true;
    }
    QElapsedTimer waited;
    waited.start();
    while (socket_->bytesToWrite() > 0) {
        if (stop_ || waited.elapsed() >= kStreamSendWaitMs) return false;
        if (!socket_->waitForBytesWritten(kStreamWaitSliceMs) &&
            socket_->state() != QAbstractSocket::ConnectedState)
            return false;
    }
    pending_ = false;
    return true;
}

void StreamLink::close() {
    if (!socket_) return;
    if (stop_) {
        socket_->abort();
    } else {
        socket_->disconnectFromHost();
        QElapsedTimer waited;
        waited.start();
        while (socket_->state() != QAbstractSocket::UnconnectedState && !stop_ &&
               waited.elapsed() < kStreamCloseWaitMs) {
            socket_->waitForDisconnected(kStreamWaitSliceMs);
        }
        socket_->abort();
    }
    socket_.reset();
    pending_ = false;
}

}  // namespace quorin
