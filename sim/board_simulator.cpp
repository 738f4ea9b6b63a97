#include "sim/board_simulator.h"

#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include "sim/board_json.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace quorin::sim {

namespace {

constexpr int kSendRetryIntervalMs = 1;
constexpr qint64 kMaxDatagramRead = 2048;
constexpr int kReceiveBufferBytes = 1 << 20;

QString address_text(const std::array<std::uint8_t, 4>& ip) {
    return QString::fromStdString(ipv4_text(ip));
}

QString kind_text(UploadKind kind) {
    return kind == UploadKind::Acknowledged ? QStringLiteral("acknowledged")
                                            : QStringLiteral("streamed");
}

// Asks for a socket buffer of `bytes`. The forcing option lets a privileged process go past the
// system's default ceiling; otherwise the ordinary option gets what the ceiling allows.
void set_buffer(qintptr fd, bool send, int bytes) {
#ifdef Q_OS_UNIX
#if defined(SO_SNDBUFFORCE) && defined(SO_RCVBUFFORCE)
    if (::setsockopt(static_cast<int>(fd), SOL_SOCKET, send ? SO_SNDBUFFORCE : SO_RCVBUFFORCE,
                     &bytes, sizeof bytes) == 0) {
        return;
    }
#endif
    ::setsockopt(static_cast<int>(fd), SOL_SOCKET, send ? SO_SNDBUF : SO_RCVBUF, &bytes,
                 sizeof bytes);
#else
    Q_UNUSED(fd);
    Q_UNUSED(send);
    Q_UNUSED(bytes);
#endif
}

// The opcode of a reply for the log: the number for the main protocol, the four letters for
// the legacy one; null for an empty (truncated) reply.
QJsonValue opcode_of(const std::vector<std::uint8_t>& bytes, bool legacy) {
    if (bytes.empty()) return QJsonValue::Null;
    if (!legacy) return bytes[0];
    return QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()),
                               static_cast<qsizetype>(std::min<std::size_t>(4, bytes.size())));
}

}  // namespace

BoardSimulator::BoardSimulator(std::vector<SimBoard> boards, QObject* parent)
    : QObject(parent), boards_(std::move(boards)), responder_(boards_) {
    clock_.start();
}

BoardSimulator::~BoardSimulator() {
    // Tear down without emitting events: receivers may already be gone.
    blockSignals(true);
    stop();
}

bool BoardSimulator::bindUdp(UdpChannel& ch, quint16 port, const char* name, QString* error) {
    ch.socket = new QUdpSocket(this);
    ch.socket->setProxy(QNetworkProxy::NoProxy);  // the boards' LAN: no proxy, none consulted
    // ShareAddress lets several simulators (or a simulator and a test) bind the same port, so
    // that all of them receive datagrams sent to the broadcast address.
    if (!ch.socket->bind(config_.bind_address, port,
                         QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        if (error) {
            *error = QStringLiteral("cannot bind the %1 socket to %2:%3: %4")
                         .arg(QLatin1String(name), config_.bind_address.toString())
                         .arg(port)
                         .arg(ch.socket->errorString());
        }
        return false;
    }
    set_buffer(ch.socket->socketDescriptor(), true, config_.send_buffer_bytes);
    set_buffer(ch.socket->socketDescriptor(), false, kReceiveBufferBytes);
    ch.retry = new QTimer(this);
    ch.retry->setSingleShot(true);
    ch.retry->setTimerType(Qt::PreciseTimer);
    UdpChannel* channel = &ch;
    const bool legacy = &ch == &legacy_;
    connect(ch.retry, &QTimer::timeout, this, [this, channel] { flushQueue(*channel); });
    connect(ch.socket, &QUdpSocket::readyRead, this,
            [this, channel, legacy] { readDatagrams(*channel, legacy); });
    return true;
}

bool BoardSimulator::start(const SimConfig& config, QString* error) {
    stop();
    config_ = config;
    if (!bindUdp(main_, config.main_port, "main-protocol", error) ||
        !bindUdp(legacy_, config.legacy_port, "legacy-protocol", error)) {
        stop();
        return false;
    }
    running_ = true;
    QJsonObject ready = makeEvent("ready");
    ready.insert(QStringLiteral("main_port"), main_.socket->localPort());
    ready.insert(QStringLiteral("legacy_port"), legacy_.socket->localPort());
    ready.insert(QStringLiteral("bind"), config.bind_address.toString());
    ready.insert(QStringLiteral("boards"), static_cast<qint64>(boards_.size()));
    emitEvent(ready);
    return true;
}

void BoardSimulator::stop() {
    const bool was_running = running_;
    running_ = false;
    ++generation_;
    while (!uploads_.empty()) endUpload(uploads_.begin()->first);
    responder_.end_all_reboots();  // a board rebooting now keeps what it had
    for (auto& [port, server] : shared_servers_) {
        if (server) server->deleteLater();
    }
    shared_servers_.clear();
    for (UdpChannel* ch : {&main_, &legacy_}) {
        ch->queue.clear();
        if (ch->retry) ch->retry->deleteLater();
        if (ch->socket) {
            ch->socket->close();
            ch->socket->deleteLater();
        }
        ch->retry = nullptr;
        ch->socket = nullptr;
    }
    if (was_running) emitEvent(makeEvent("stopped"));
}

quint16 BoardSimulator::mainPort() const {
    return main_.socket ? main_.socket->localPort() : 0;
}

quint16 BoardSimulator::legacyPort() const {
    return legacy_.socket ? legacy_.socket->localPort() : 0;
}

quint16 BoardSimulator::uploadListenPort(int index) const {
    const auto it = uploads_.find(index);
    return it == uploads_.end() || it->second->socket ? 0 : it->second->listen_port;
}

// ---- UDP -------------------------------------------------------------------------------------

void BoardSimulator::readDatagrams(UdpChannel& ch, bool legacy) {
    while (running_ && ch.socket && ch.socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = ch.socket->receiveDatagram(kMaxDatagramRead);
        if (!datagram.isValid()) break;
        const QByteArray data = datagram.data();
        const std::span<const std::uint8_t> bytes(
            reinterpret_cast<const std::uint8_t*>(data.data()),
            static_cast<std::size_t>(data.size()));
        const QHostAddress from = datagram.senderAddress();
        const quint16 port = static_cast<quint16>(datagram.senderPort());

        QJsonObject received = makeEvent("datagram_received");
        received.insert(QStringLiteral("protocol"),
                        legacy ? QStringLiteral("legacy") : QStringLiteral("main"));
        received.insert(QStringLiteral("from"), QHostAddress(from.toIPv4Address()).toString());
        received.insert(QStringLiteral("port"), port);
        if (legacy) {
            received.insert(QStringLiteral("opcode"), QString::fromLatin1(data.left(4)));
        } else if (!data.isEmpty()) {
            received.insert(QStringLiteral("opcode"), static_cast<std::uint8_t>(data[0]));
        }
        received.insert(QStringLiteral("length"), data.size());
        emitEvent(received);

        const Outcome outcome =
            legacy ? responder_.on_legacy_datagram(bytes) : responder_.on_main_datagram(bytes);
        handleOutcome(ch, outcome, from, port);
    }
}

void BoardSimulator::handleOutcome(UdpChannel& ch, const Outcome& outcome, const QHostAddress& from,
                                   quint16 port) {
    // A rebooting board logs the datagram it dropped; a search the others answer goes on.
    for (const int b : outcome.rebooting) {
        QJsonObject ignored = boardEvent("datagram_ignored", b);
        ignored.insert(QStringLiteral("request"), QString::fromStdString(outcome.request));
        ignored.insert(QStringLiteral("reason"), QStringLiteral("rebooting"));
        emitEvent(ignored);
    }
    if (!outcome.ignored.empty()) {
        if (outcome.rebooting.empty()) {
            QJsonObject ignored = makeEvent("datagram_ignored");
            ignored.insert(QStringLiteral("request"), QString::fromStdString(outcome.request));
            ignored.insert(QStringLiteral("reason"), QString::fromStdString(outcome.ignored));
            emitEvent(ignored);
        }
        return;
    }
    emitFaults(outcome.faults);
    if (outcome.applied_board) {
        const int b = *outcome.applied_board;
        QJsonObject applied = boardEvent("settings_applied", b);
        applied.insert(QStringLiteral("request"), QString::fromStdString(outcome.request));
        applied.insert(
            QStringLiteral("changed"),
            changed_fields(outcome.settings_before, boards_[static_cast<std::size_t>(b)].row));
        applied.insert(QStringLiteral("settings"),
                       row_to_json(boards_[static_cast<std::size_t>(b)].row));
        emitEvent(applied);
    }
    // Immediate replies go out in one tight loop; delayed ones on their own timers.
    for (const PlannedReply& reply : outcome.replies) {
        if (reply.delay_ms <= 0) {
            sendPlanned(ch, reply, from, port);
            continue;
        }
        const quint64 generation = generation_;
        UdpChannel* channel = &ch;
        QTimer::singleShot(reply.delay_ms, this, [this, generation, channel, reply, from, port] {
            if (running_ && generation == generation_) sendPlanned(*channel, reply, from, port);
        });
    }
    if (outcome.upload_board) openUpload(*outcome.upload_board, outcome.upload_kind, from, port);
}

void BoardSimulator::sendPlanned(UdpChannel& ch, const PlannedReply& reply, const QHostAddress& to,
                                 quint16 port) {
    PendingDatagram d;
    d.bytes = QByteArray(reinterpret_cast<const char*>(reply.bytes.data()),
                         static_cast<qsizetype>(reply.bytes.size()));
    d.to = to;
    d.port = port;
    d.sent_event = boardEvent("reply_sent", reply.board);
    d.sent_event.insert(QStringLiteral("kind"), QString::fromStdString(reply.kind));
    d.sent_event.insert(QStringLiteral("opcode"), opcode_of(reply.bytes, &ch == &legacy_));
    d.sent_event.insert(QStringLiteral("to"), QHostAddress(to.toIPv4Address()).toString());
    d.sent_event.insert(QStringLiteral("port"), port);
    d.sent_event.insert(QStringLiteral("length"), d.bytes.size());
    enqueue(ch, std::move(d));
}

void BoardSimulator::enqueue(UdpChannel& ch, PendingDatagram datagram) {
    if (!ch.socket) return;
    // Keep order: while older replies wait, a new one waits behind them.
    if (ch.queue.empty() && trySend(ch, datagram)) return;
    ch.queue.push_back(std::move(datagram));
    if (!ch.retry->isActive()) ch.retry->start(kSendRetryIntervalMs);
}

// Sends one datagram. Returns true when it is done with (sent, or given up and logged); false
// when the socket refused it for now and it should be tried again.
bool BoardSimulator::trySend(UdpChannel& ch, PendingDatagram& d) {
    const qint64 sent = ch.socket->writeDatagram(d.bytes, d.to, d.port);
    if (sent == d.bytes.size()) {
        QJsonObject e = d.sent_event;
        e.insert(QStringLiteral("t_ms"), elapsedMs());
        emitEvent(e);
        return true;
    }
    const qint64 now = elapsedMs();
    const bool first_failure = d.first_try_ms < 0;
    if (first_failure) d.first_try_ms = now;
    const bool hopeless = ch.socket->error() == QAbstractSocket::DatagramTooLargeError ||
                          now - d.first_try_ms >= config_.send_retry_limit_ms;
    if (first_failure || hopeless) {
        QJsonObject e = d.sent_event;
        e.insert(QStringLiteral("event"),
                 hopeless ? QStringLiteral("send_failed") : QStringLiteral("send_retry"));
        e.insert(QStringLiteral("t_ms"), now);
        e.insert(QStringLiteral("error"), ch.socket->errorString());
        emitEvent(e);
    }
    return hopeless;
}

void BoardSimulator::flushQueue(UdpChannel& ch) {
    while (!ch.queue.empty() && ch.socket) {
        if (!trySend(ch, ch.queue.front())) {
            ch.retry->start(kSendRetryIntervalMs);
            return;
        }
        ch.queue.pop_front();
    }
}

// ---- firmware transfers ----------------------------------------------------------------------

quint16 BoardSimulator::uploadPortFor(UploadKind kind) const {
    return kind == UploadKind::Acknowledged ? config_.upload_port : config_.stream_port;
}

void BoardSimulator::openUpload(int board, UploadKind kind, const QHostAddress& reply_to,
                                quint16 reply_port) {
    endUpload(board);  // a new request replaces a transfer still waiting or running
    auto session = std::make_unique<UploadSession>();
    session->board = board;
    session->kind = kind;
    session->reply_to = reply_to;
    session->reply_port = reply_port;
    session->receiver =
        std::make_unique<ImageReceiver>(kind, boards_[static_cast<std::size_t>(board)].faults);

    const QHostAddress address(address_text(boards_[static_cast<std::size_t>(board)].row.local_ip));
    const quint16 port = uploadPortFor(kind);
    bool shared = false;
    auto* server = new QTcpServer(this);
    server->setProxy(QNetworkProxy::NoProxy);
    server->setMaxPendingConnections(1);
    if (server->listen(address, port)) {
        session->own_server = server;
        session->listen_port = server->serverPort();
        connect(server, &QTcpServer::newConnection, this, [this, board] { acceptOwn(board); });
    } else {
        // The host lacks the board's address, or a shared listener already holds the port (a
        // wildcard and a specific listener cannot share a TCP port): wait on the shared one.
        const bool unavailable =
            server->serverError() == QAbstractSocket::SocketAddressNotAvailableError ||
            shared_servers_.count(port) != 0;
        const QString own_error = server->errorString();
        server->deleteLater();
        QString error;
        QTcpServer* wildcard = unavailable && port != 0 ? sharedServer(port, &error) : nullptr;
        if (!wildcard) {
            QJsonObject e = boardEvent("upload_listen_failed", board);
            e.insert(QStringLiteral("address"), address.toString());
            e.insert(QStringLiteral("port"), port);
            e.insert(QStringLiteral("error"), error.isEmpty() ? own_error : error);
            emitEvent(e);
            return;
        }
        shared = true;
        session->listen_port = port;
    }

    session->idle = new QTimer(this);
    session->idle->setSingleShot(true);
    connect(session->idle, &QTimer::timeout, this, [this, board] {
        const auto it = uploads_.find(board);
        if (it == uploads_.end()) return;
        QJsonObject e = boardEvent("upload_timeout", board);
        e.insert(QStringLiteral("phase"),
                 it->second->socket ? QStringLiteral("transfer") : QStringLiteral("listening"));
        emitEvent(e);
        if (it->second->socket) logImage(*it->second, "timeout");
        endUpload(board);
    });
    session->idle->start(config_.upload_timeout_ms);

    QJsonObject e = boardEvent("upload_listening", board);
    e.insert(QStringLiteral("kind"), kind_text(kind));
    e.insert(QStringLiteral("address"), shared ? QStringLiteral("0.0.0.0") : address.toString());
    e.insert(QStringLiteral("port"), session->listen_port);
    e.insert(QStringLiteral("shared"), shared);
    uploads_[board] = std::move(session);
    emitEvent(e);
}

QTcpServer* BoardSimulator::sharedServer(quint16 port, QString* error) {
    if (auto it = shared_servers_.find(port); it != shared_servers_.end() && it->second) {
        return it->second;
    }
    auto* server = new QTcpServer(this);
    server->setProxy(QNetworkProxy::NoProxy);
    if (!server->listen(QHostAddress::AnyIPv4, port)) {
        if (error) *error = server->errorString();
        server->deleteLater();
        return nullptr;
    }
    connect(server, &QTcpServer::newConnection, this, [this, server] { acceptShared(server); });
    shared_servers_[port] = server;
    return server;
}

void BoardSimulator::acceptOwn(int board) {
    const auto it = uploads_.find(board);
    if (it == uploads_.end() || !it->second->own_server) return;
    UploadSession& s = *it->second;
    QTcpSocket* socket = s.own_server->nextPendingConnection();
    // One connection per upload request: stop listening once it is taken.
    s.own_server->close();
    if (socket) attach(s, socket);
}

void BoardSimulator::acceptShared(QTcpServer* server) {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        const quint16 port = server->serverPort();
        UploadSession* match = nullptr;
        UploadSession* only = nullptr;
        int waiting = 0;
        for (auto& [board, s] : uploads_) {
            if (s->own_server || s->socket || s->listen_port != port) continue;
            ++waiting;
            only = s.get();
            const QHostAddress ip(
                address_text(boards_[static_cast<std::size_t>(board)].row.local_ip));
            if (QHostAddress(socket->localAddress().toIPv4Address()) == ip) match = s.get();
        }
        if (!match && waiting == 1) match = only;
        if (!match) {
            QJsonObject e = makeEvent("upload_rejected");
            e.insert(QStringLiteral("address"),
                     QHostAddress(socket->localAddress().toIPv4Address()).toString());
            e.insert(QStringLiteral("port"), port);
            e.insert(QStringLiteral("waiting"), waiting);
            emitEvent(e);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        attach(*match, socket);
    }
}

void BoardSimulator::attach(UploadSession& s, QTcpSocket* socket) {
    s.socket = socket;
    socket->setParent(this);
    const int board = s.board;
    QJsonObject e = boardEvent("upload_connected", board);
    e.insert(QStringLiteral("kind"), kind_text(s.kind));
    e.insert(QStringLiteral("peer"),
             QHostAddress(socket->peerAddress().toIPv4Address()).toString());
    e.insert(QStringLiteral("peer_port"), socket->peerPort());
    emitEvent(e);
    connect(socket, &QTcpSocket::readyRead, this, [this, board] { onUploadBytes(board); });
    connect(socket, &QTcpSocket::disconnected, this, [this, board] { onUploadClosed(board); });
    s.idle->start(config_.upload_timeout_ms);
    if (socket->bytesAvailable() > 0) onUploadBytes(board);
}

void BoardSimulator::onUploadBytes(int board) {
    const auto it = uploads_.find(board);
    if (it == uploads_.end() || !it->second->socket) return;
    UploadSession& s = *it->second;
    s.idle->start(config_.upload_timeout_ms);
    const UploadKind kind = s.kind;
    const QByteArray bytes = s.socket->readAll();
    ReceiverOutput out = s.receiver->feed(bytes);
    for (QJsonObject note : out.events) {
        note.insert(QStringLiteral("t_ms"), elapsedMs());
        note.insert(QStringLiteral("board"), board);
        note.insert(QStringLiteral("mac"),
                    QString::fromStdString(mac_address_text(
                        boards_[static_cast<std::size_t>(board)].row.mac_address)));
        emitEvent(note);
    }
    if (!out.send.isEmpty()) s.socket->write(out.send);
    if (out.image_complete) {
        logImage(s, "complete");
        if (kind == UploadKind::Acknowledged) {
            std::vector<FaultNote> faults;
            const auto report =
                responder_.upload_complete_report(board, faults, config_.complete_delay_ms);
            emitFaults(faults);
            // The reboot follows the report, or the moment it would have gone out.
            const int delay_ms =
                report ? report->delay_ms
                       : config_.complete_delay_ms +
                             boards_[static_cast<std::size_t>(board)].faults.reply_delay_ms;
            const quint64 generation = generation_;
            const QHostAddress to = s.reply_to;
            const quint16 port = s.reply_port;
            QTimer::singleShot(delay_ms, this, [this, generation, board, report, to, port] {
                if (!running_ || generation != generation_) return;
                if (report) sendPlanned(main_, *report, to, port);
                startReboot(board);
            });
        }
    }
    if (out.close) {
        QJsonObject e = boardEvent("upload_closed", board);
        e.insert(QStringLiteral("by"), QStringLiteral("board"));
        emitEvent(e);
        if (!out.image_complete) logImage(s, "closed_by_board");
        s.socket->flush();
        endUpload(board);
    }
    if (out.image_complete && kind == UploadKind::Streamed) startReboot(board);
}

void BoardSimulator::onUploadClosed(int board) {
    const auto it = uploads_.find(board);
    if (it == uploads_.end()) return;
    QJsonObject e = boardEvent("upload_closed", board);
    e.insert(QStringLiteral("by"), QStringLiteral("tool"));
    emitEvent(e);
    logImage(*it->second, "closed_by_tool");
    endUpload(board);
}

void BoardSimulator::logImage(UploadSession& s, const char* reason) {
    if (s.image_logged || !s.receiver) return;
    s.image_logged = true;
    const ImageReceiver& r = *s.receiver;
    QJsonObject e = boardEvent("image_received", s.board);
    e.insert(QStringLiteral("kind"), kind_text(s.kind));
    e.insert(QStringLiteral("complete"), r.complete());
    e.insert(QStringLiteral("reason"), QLatin1String(reason));
    e.insert(QStringLiteral("declared_size"),
             r.size_known() ? QJsonValue(static_cast<qint64>(r.declared_size())) : QJsonValue());
    e.insert(QStringLiteral("size"), static_cast<qint64>(r.received()));
    if (s.kind == UploadKind::Acknowledged) e.insert(QStringLiteral("blocks"), r.blocks());
    e.insert(QStringLiteral("sha256"), r.sha256_hex());
    emitEvent(e);
}

void BoardSimulator::endUpload(int board) {
    const auto it = uploads_.find(board);
    if (it == uploads_.end()) return;
    std::unique_ptr<UploadSession> s = std::move(it->second);
    uploads_.erase(it);
    if (s->idle) {
        s->idle->stop();
        s->idle->deleteLater();
    }
    if (s->socket) {
        s->socket->disconnect(this);
        s->socket->disconnectFromHost();  // sends what is still buffered, then closes
        s->socket->deleteLater();
    }
    if (s->own_server) {
        s->own_server->close();
        s->own_server->deleteLater();
    }
    // A shared listener closes when nobody waits on it any more.
    for (auto sit = shared_servers_.begin(); sit != shared_servers_.end();) {
        const quint16 port = sit->first;
        const bool used = std::any_of(uploads_.begin(), uploads_.end(), [port](const auto& u) {
            return !u.second->own_server && u.second->listen_port == port;
        });
        if (!used) {
            if (sit->second) sit->second->deleteLater();
            sit = shared_servers_.erase(sit);
        } else {
            ++sit;
        }
    }
}

// ---- reboot after an upgrade ----------------------------------------------------------------

void BoardSimulator::startReboot(int board) {
    if (responder_.rebooting(board)) return;
    const RebootPlan plan = responder_.plan_reboot(board, config_.installs);
    emitFaults(plan.faults);
    const auto upload = uploads_.find(board);
    if (upload != uploads_.end()) {
        if (upload->second->socket) {
            QJsonObject closed = boardEvent("upload_closed", board);
            closed.insert(QStringLiteral("by"), QStringLiteral("board"));
            emitEvent(closed);
        }
        endUpload(board);
    }
    responder_.set_rebooting(board, true);
    QJsonObject e = boardEvent("reboot_started", board);
    e.insert(QStringLiteral("firmware"), QString::fromStdString(firmware_text(
                                             plan.row.firmware_major, plan.row.firmware_minor)));
    e.insert(QStringLiteral("reboot_ms"), config_.reboot_ms);
    e.insert(QStringLiteral("returns"), plan.returns);
    emitEvent(e);
    if (!plan.returns) return;
    if (config_.reboot_ms <= 0) {
        endReboot(board, plan.row);
        return;
    }
    const quint64 generation = generation_;
    const BoardRow row = plan.row;
    QTimer::singleShot(config_.reboot_ms, this, [this, generation, board, row] {
        if (running_ && generation == generation_) endReboot(board, row);
    });
}

void BoardSimulator::endReboot(int board, const BoardRow& row) {
    BoardRow& current = boards_[static_cast<std::size_t>(board)].row;
    const BoardRow before = current;
    current = row;
    responder_.set_rebooting(board, false);
    QJsonObject e = boardEvent("reboot_ended", board);
    e.insert(QStringLiteral("firmware"),
             QString::fromStdString(firmware_text(row.firmware_major, row.firmware_minor)));
    e.insert(QStringLiteral("changed"), changed_fields(before, row));
    emitEvent(e);
}

// ---- events ----------------------------------------------------------------------------------

QJsonObject BoardSimulator::makeEvent(const char* name) const {
    QJsonObject e;
    e.insert(QStringLiteral("t_ms"), elapsedMs());
    e.insert(QStringLiteral("event"), QLatin1String(name));
    return e;
}

QJsonObject BoardSimulator::boardEvent(const char* name, int board) const {
    QJsonObject e = makeEvent(name);
    e.insert(QStringLiteral("board"), board);
    e.insert(QStringLiteral("mac"), QString::fromStdString(mac_address_text(
                                        boards_[static_cast<std::size_t>(board)].row.mac_address)));
    return e;
}

void BoardSimulator::emitEvent(QJsonObject e) {
    emit event(e);
}

void BoardSimulator::emitFaults(const std::vector<FaultNote>& faults) {
    for (const FaultNote& f : faults) {
        QJsonObject e = boardEvent("fault", f.board);
        e.insert(QStringLiteral("fault"), QString::fromStdString(f.fault));
        e.insert(QStringLiteral("value"), f.value);
        emitEvent(e);
    }
}

}  // namespace quorin::sim
