#include "upload/upload_sock.h"

#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <array>

#include "upload/image_file.h"

namespace quorin {
namespace {

// How long a closed connection may take to hand over what is still queued before it is cut.
constexpr int kCloseFlushMs = 5000;
// Bytes taken from the connection per readable notification (acknowledgements are 3 bytes).
constexpr qint64 kReceiveChunkBytes = 256;

}  // namespace

CUploadSock::CUploadSock(TransferHost& host, platform::WindowTimers& timers, QObject* parent)
    : QObject(parent), host_(host), timers_(timers) {}

CUploadSock::~CUploadSock() {
    if (socket_) socket_->abort();
}

void CUploadSock::start(const QHostAddress& board, quint16 port, const QString& image_path) {
    stop();
    board_ = board;
    port_ = port;
    image_path_ = image_path;
    image_.reset();
    carryOut(machine_.start());
}

void CUploadSock::start(const QHostAddress& board, quint16 port, ImageBytes image) {
    start(board, port, QString());
    image_ = std::move(image);
}

void CUploadSock::stop() {
    ++generation_;
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
    timers_.KillTimer(uploadtimer::kConnectRetry);
    timers_.KillTimer(uploadtimer::kAckTimeout);
    machine_ = AckTransfer{};
}

bool CUploadSock::busy() const {
    const AckState s = machine_.state();
    return s != AckState::Idle && s != AckState::Finished;
}

bool CUploadSock::OnTimer(int id) {
    if (id != uploadtimer::kConnectRetry && id != uploadtimer::kAckTimeout) return false;
    carryOut(machine_.timer_expired(id));
    return true;
}

void CUploadSock::OnConnect() {
    if (sender() != socket_) return;
    carryOut(machine_.connected());
}

void CUploadSock::OnReceive() {
    if (sender() != socket_ || !socket_) return;
    // One read per notification: what is left raises another one.
    std::array<std::uint8_t, kReceiveChunkBytes> bytes;
    const qint64 n = socket_->read(reinterpret_cast<char*>(bytes.data()), kReceiveChunkBytes);
    if (n < 0) {
        // An unbuffered socket reports the board's close (or a reset) here, and only here.
        carryOut(machine_.peer_closed());
        return;
    }
    if (n == 0) return;
    carryOut(machine_.bytes_received(std::span(bytes.data(), static_cast<std::size_t>(n))));
}

void CUploadSock::OnClose() {
    if (sender() != socket_) return;
    carryOut(machine_.peer_closed());
}

void CUploadSock::onError(QAbstractSocket::SocketError error) {
    if (sender() != socket_) return;
    if (machine_.state() == AckState::Connecting) {
        // The platform refused to make a socket at all, or the attempt failed (left to timer 1).
        if (error == QAbstractSocket::SocketResourceError ||
            error == QAbstractSocket::UnsupportedSocketOperationError) {
            carryOut(machine_.socket_unavailable(static_cast<int>(error)));
        } else {
            carryOut(machine_.connect_failed());
        }
        return;
    }
    // Any error on an established connection ends it, as the board closing it would.
    carryOut(machine_.peer_closed());
}

void CUploadSock::openConnection() {
    closeConnection();
    auto* socket = new QTcpSocket(this);
    socket->setProxy(QNetworkProxy::NoProxy);
    socket_ = socket;
    connect(socket, &QTcpSocket::connected, this, &CUploadSock::OnConnect);
    connect(socket, &QTcpSocket::readyRead, this, &CUploadSock::OnReceive);
    connect(socket, &QTcpSocket::disconnected, this, &CUploadSock::OnClose);
    connect(socket, &QTcpSocket::errorOccurred, this, &CUploadSock::onError);
    // Unbuffered: a block goes straight to the system, and only what it does not take at once is
    // queued (and sent before anything written later).
    socket->connectToHost(board_, port_, QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void CUploadSock::closeConnection() {
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    if (!socket) return;
    socket->disconnect(this);
    // What was sent leaves before the connection closes; a peer that never takes it is cut off.
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kCloseFlushMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void CUploadSock::carryOut(const TransferActions& actions) {
    const quint64 generation = generation_;
    for (const TransferAction& a : actions) {
        // A message box runs a nested event loop; a transfer started or stopped meanwhile owns
        // the connection and the timers now.
        if (generation != generation_) return;
        switch (a.kind) {
            case TransferAction::Connect:
                openConnection();
                break;
            case TransferAction::Send:
                if (socket_) {
                    socket_->write(reinterpret_cast<const char*>(a.bytes.data()),
                                   static_cast<qint64>(a.bytes.size()));
                }
                break;
            case TransferAction::Close:
                closeConnection();
                break;
            case TransferAction::LoadImage:
                if (image_) {
                    ImageLoad shared;
                    shared.shared = image_;
                    carryOut(machine_.image_loaded(std::move(shared)));
                } else {
                    carryOut(machine_.image_loaded(read_image(image_path_)));
                }
                break;
            default:
                report_to_host(a, TransferKind::Acknowledged, host_, timers_);
                break;
        }
    }
}

}  // namespace quorin
