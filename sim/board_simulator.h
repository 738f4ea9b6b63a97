// BoardSimulator: any number of simulated boards behind two UDP sockets (main and legacy
// protocol) and per-board TCP listeners for firmware transfers, run by the Qt event loop of the
// thread that owns it. It forwards datagrams and connection bytes to BoardResponder and
// ImageReceiver and carries out what they decide; every step is reported through `event`.
//
// Replies go to the address and port the request came from. Firmware listeners open when a board
// receives an upload request ("FIRS" for legacy boards) and accept one connection:
//   - at the board's own local_ip when that address can be bound (every 127.x.y.z on Linux
//     loopback, or an address configured on an interface);
//   - otherwise (or when a shared listener already holds the port) on a shared wildcard listener
//     for that port, which hands an accepted connection to the waiting board whose local_ip is
//     the connection's local address, or, when no address matches, to the only board waiting on
//     that port (a connection that fits neither is closed and logged).
//
// A board that has taken a whole image reboots: once its upload-complete report is out (or would
// have been, with no_upload_complete) for the acknowledged transfer, at the image's last byte
// for the streamed one. It drops its firmware connection and every datagram for `reboot_ms`,
// then answers again with the version the image installs (SimConfig::installs).
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "protocol/board_record.h"
#include "sim/board_responder.h"
#include "sim/sim_board.h"
#include "sim/upload_receiver.h"

class QTcpServer;
class QTcpSocket;
class QTimer;
class QUdpSocket;

namespace quorin::sim {

struct SimConfig {
    QHostAddress bind_address{QHostAddress::AnyIPv4};  // for both UDP sockets
    quint16 main_port = kMainPort;                     // 0: a free port, see mainPort()
    quint16 legacy_port = kLegacyBoardPort;            // 0: a free port, see legacyPort()
    quint16 upload_port = kAckUploadPort;     // acknowledged transfer; 0: each listener a free port
    quint16 stream_port = kStreamUploadPort;  // streamed transfer; 0: likewise
    int complete_delay_ms = 300;      // upload-complete report this long after the last block
    int upload_timeout_ms = 30000;    // a listener or connection idle this long is closed
    int send_buffer_bytes = 4 << 20;  // asked for on both UDP sockets
    int send_retry_limit_ms = 5000;   // a reply the socket keeps refusing is given up after this
    std::optional<FirmwareBytes> installs;  // firmware a whole image installs; none: the board
                                            // keeps the version it had
    int reboot_ms = 1000;                   // a board that took a whole image is silent this long
};

class BoardSimulator : public QObject {
    Q_OBJECT

  public:
    explicit BoardSimulator(std::vector<SimBoard> boards, QObject* parent = nullptr);
    ~BoardSimulator() override;

    // Binds the UDP sockets. Returns false with `error` set when a socket cannot be bound; the
    // simulator is then stopped. Emits a "ready" event on success.
    bool start(const SimConfig& config, QString* error = nullptr);

    // Closes every socket and listener and drops pending replies. Emits "stopped".
    void stop();

    bool running() const { return running_; }
    quint16 mainPort() const;    // bound port, 0 when not running
    quint16 legacyPort() const;  // bound port, 0 when not running
    const std::vector<SimBoard>& boards() const { return boards_; }

    // The port board `index` is listening on for its firmware connection now, 0 when none.
    quint16 uploadListenPort(int index) const;

    // Milliseconds since the simulator was constructed (the "t_ms" of events).
    qint64 elapsedMs() const { return clock_.elapsed(); }

  signals:
    // One event of the log: {"t_ms": ..., "event": NAME, ...}; see sim/README.md. It hides
    // QObject::event(QEvent*), which nobody calls on a simulator; clang says so, gcc does not.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Woverloaded-virtual"
#endif
    void event(const QJsonObject& event);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

  private:
    struct PendingDatagram {
        QByteArray bytes;
        QHostAddress to;
        quint16 port = 0;
        QJsonObject sent_event;
        qint64 first_try_ms = -1;
    };
    struct UdpChannel {
        QUdpSocket* socket = nullptr;
        QTimer* retry = nullptr;
        std::deque<PendingDatagram> queue;
    };
    struct UploadSession {
        int board = 0;
        UploadKind kind = UploadKind::Acknowledged;
        QHostAddress reply_to;
        quint16 reply_port = 0;
        quint16 listen_port = 0;
        QTcpServer* own_server = nullptr;  // null when waiting on a shared listener
        QTcpSocket* socket = nullptr;
        QTimer* idle = nullptr;
        std::unique_ptr<ImageReceiver> receiver;
        bool image_logged = false;
    };

    bool bindUdp(UdpChannel& ch, quint16 port, const char* name, QString* error);
    void readDatagrams(UdpChannel& ch, bool legacy);
    void handleOutcome(UdpChannel& ch, const Outcome& outcome, const QHostAddress& from,
                       quint16 port);
    void sendPlanned(UdpChannel& ch, const PlannedReply& reply, const QHostAddress& to,
                     quint16 port);
    void enqueue(UdpChannel& ch, PendingDatagram datagram);
    bool trySend(UdpChannel& ch, PendingDatagram& datagram);
    void flushQueue(UdpChannel& ch);

    void openUpload(int board, UploadKind kind, const QHostAddress& reply_to, quint16 reply_port);
    QTcpServer* sharedServer(quint16 port, QString* error);
    void acceptOwn(int board);
    void acceptShared(QTcpServer* server);
    void attach(UploadSession& session, QTcpSocket* socket);
    void onUploadBytes(int board);
    void onUploadClosed(int board);
    void logImage(UploadSession& session, const char* reason);
    void endUpload(int board);
    quint16 uploadPortFor(UploadKind kind) const;
    void startReboot(int board);
    void endReboot(int board, const BoardRow& row);

    QJsonObject makeEvent(const char* name) const;
    QJsonObject boardEvent(const char* name, int board) const;
    void emitEvent(QJsonObject event);
    void emitFaults(const std::vector<FaultNote>& faults);

    std::vector<SimBoard> boards_;
    BoardResponder responder_;
    SimConfig config_;
    bool running_ = false;
    quint64 generation_ = 0;  // advanced by stop(), so timers armed before it do nothing
    QElapsedTimer clock_;
    UdpChannel main_;
    UdpChannel legacy_;
    std::map<int, std::unique_ptr<UploadSession>> uploads_;
    std::map<quint16, QPointer<QTcpServer>> shared_servers_;
};

}  // namespace quorin::sim
