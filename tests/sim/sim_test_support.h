// Helpers for the simulator tests: waiting inside the event loop, recording events, a UDP peer
// on 127.0.0.1 playing the tool's configuration socket, and the tool's end of both firmware
// transfers over real TCP sockets.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "sim/board_simulator.h"
#include "sim/sim_board.h"
#include "tests/support/test_image.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace quorin::sim::testing {

// Runs the event loop until `done` holds or `ms` milliseconds have passed; returns `done()`.
inline bool wait_until(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

// Runs the event loop for `ms` milliseconds.
inline void pump(int ms) {
    wait_until([] { return false; }, ms);
}

// Boards of the given product codes ("0002"), numbered and addressed as the command line does.
inline std::vector<SimBoard> make_boards(const std::vector<std::string>& codes,
                                         std::array<std::uint8_t, 4> net = {127, 0, 1, 0}) {
    std::vector<SimBoard> boards;
    for (const std::string& text : codes) {
        const auto code = parse_product_code(text).value();
        const int index = static_cast<int>(boards.size());
        boards.push_back({default_board_row(code, index, board_address(net, index)), {}});
    }
    return boards;
}

// Simulator settings for a test: system-chosen ports everywhere, answered on 127.0.0.1, quick
// upload-complete report.
inline SimConfig loopback_config() {
    SimConfig c;
    c.bind_address = QHostAddress(QHostAddress::LocalHost);
    c.main_port = 0;
    c.legacy_port = 0;
    c.upload_port = 0;
    c.stream_port = 0;
    c.complete_delay_ms = 50;
    c.upload_timeout_ms = 5000;
    return c;
}

// Every event the simulator emits, in order.
class EventRecorder {
  public:
    explicit EventRecorder(BoardSimulator& sim) {
        QObject::connect(&sim, &BoardSimulator::event,
                         [this](const QJsonObject& e) { events.push_back(e); });
    }
    std::vector<QJsonObject> named(const QString& name) const {
        std::vector<QJsonObject> out;
        for (const auto& e : events) {
            if (e.value(QStringLiteral("event")).toString() == name) out.push_back(e);
        }
        return out;
    }
    int count(const QString& name) const { return static_cast<int>(named(name).size()); }
    std::vector<QJsonObject> faults(const QString& fault) const {
        std::vector<QJsonObject> out;
        for (const auto& e : named(QStringLiteral("fault"))) {
            if (e.value(QStringLiteral("fault")).toString() == fault) out.push_back(e);
        }
        return out;
    }
    std::vector<QJsonObject> events;
};

// Asks the kernel for a receive buffer large enough for hundreds of replies at once.
inline void enlarge_receive_buffer(QAbstractSocket& socket, int bytes = 4 << 20) {
#if defined(Q_OS_UNIX) && defined(SO_RCVBUFFORCE)
    const int fd = static_cast<int>(socket.socketDescriptor());
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0) return;
#endif
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, bytes);
}

// The tool's side of one configuration socket: bound to 127.0.0.1, sending to the simulator.
class UdpPeer {
  public:
    UdpPeer() {
        socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
        enlarge_receive_buffer(socket);
    }
    void send(const QByteArray& bytes, quint16 port) {
        socket.writeDatagram(bytes, QHostAddress(QHostAddress::LocalHost), port);
    }
    void send(const std::vector<std::uint8_t>& bytes, quint16 port) {
        send(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                        static_cast<qsizetype>(bytes.size())),
             port);
    }
    // Collects datagrams until `count` have arrived (then `settle_ms` more) or `ms` have passed.
    std::vector<QByteArray> receive(std::size_t count, int ms, int settle_ms = 0) {
        std::vector<QByteArray> got;
        auto drain = [&] {
            while (socket.hasPendingDatagrams()) got.push_back(socket.receiveDatagram().data());
            return got.size() >= count;
        };
        wait_until(drain, ms);
        if (settle_ms > 0)
            wait_until(
                [&] {
                    drain();
                    return false;
                },
                settle_ms);
        return got;
    }
    QUdpSocket socket;
};

inline QByteArray main_request(std::uint8_t opcode, const BoardRow& row, std::size_t length) {
    BoardLayout layout = board_layout(row.product_code);
    layout.length = length;
    const auto bytes = encode_main_record(row, layout, opcode, 0x73);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

inline QByteArray legacy_request(std::string_view opcode, const BoardRow& row) {
    const auto bytes = encode_legacy_record(row, opcode);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

using quorin::testing::sha256_hex;
using quorin::testing::test_image;

inline QHostAddress board_ip(const SimBoard& board) {
    return QHostAddress(QString::fromStdString(ipv4_text(board.row.local_ip)));
}

// What the tool's end of an acknowledged transfer saw.
struct AckedRun {
    bool connected = false;
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
    std::vector<QByteArray> acks;  // every 3-byte acknowledgement, in order
    std::vector<int> blocks_sent;  // lengths of the data blocks sent
    bool closed_by_board = false;
    bool finished = false;  // the last block was acknowledged
};

// Plays the tool: connects, sends the little-endian size, then one block of min(1024, rest)
// after each acknowledgement that starts with 0x20. Gives up when no acknowledgement comes within
// `ack_wait_ms`.
inline AckedRun run_acked_transfer(const QHostAddress& address, quint16 port,
                                   const QByteArray& image, int ack_wait_ms = 1500) {
    AckedRun run;
    QTcpSocket socket;
    socket.connectToHost(address, port);
    wait_until(
        [&] {
            return socket.state() == QAbstractSocket::ConnectedState ||
                   socket.state() == QAbstractSocket::UnconnectedState;
        },
        3000);
    run.connected = socket.state() == QAbstractSocket::ConnectedState;
    run.error = socket.error();
    if (!run.connected) return run;

    const auto size = static_cast<std::uint32_t>(image.size());
    QByteArray header(4, 0);
    for (int i = 0; i < 4; ++i) header[i] = static_cast<char>((size >> (8 * i)) & 0xFFu);
    socket.write(header);
    qsizetype offset = 0;
    QByteArray inbox;
    while (true) {
        const bool got = wait_until(
            [&] {
                inbox += socket.readAll();
                return inbox.size() >= 3 || socket.state() != QAbstractSocket::ConnectedState;
            },
            ack_wait_ms);
        inbox += socket.readAll();
        if (!got || inbox.size() < 3) {
            run.closed_by_board = socket.state() != QAbstractSocket::ConnectedState;
            break;
        }
        const QByteArray ack = inbox.left(3);
        inbox.remove(0, 3);
        run.acks.push_back(ack);
        if (static_cast<std::uint8_t>(ack[0]) != 0x20) continue;
        if (offset == image.size()) {
            run.finished = true;
            break;
        }
        const qsizetype n = std::min<qsizetype>(1024, image.size() - offset);
        socket.write(image.mid(offset, n));
        run.blocks_sent.push_back(static_cast<int>(n));
        offset += n;
    }
    socket.disconnectFromHost();
    wait_until([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 1000);
    return run;
}

// Plays the tool's streamed transfer: big-endian size, then the image in 1024-byte pieces.
// Returns true when the board closed the connection within `close_wait_ms` after the last byte.
struct StreamedRun {
    bool connected = false;
    bool closed_by_board = false;
    qint64 bytes_written = 0;
};

inline StreamedRun run_streamed_transfer(const QHostAddress& address, quint16 port,
                                         const QByteArray& image, int close_wait_ms = 1500) {
    StreamedRun run;
    QTcpSocket socket;
    socket.connectToHost(address, port);
    wait_until(
        [&] {
            return socket.state() == QAbstractSocket::ConnectedState ||
                   socket.state() == QAbstractSocket::UnconnectedState;
        },
        3000);
    run.connected = socket.state() == QAbstractSocket::ConnectedState;
    if (!run.connected) return run;
    const auto size = static_cast<std::uint32_t>(image.size());
    QByteArray header(4, 0);
    for (int i = 0; i < 4; ++i) header[3 - i] = static_cast<char>((size >> (8 * i)) & 0xFFu);
    run.bytes_written += socket.write(header);
    for (qsizetype at = 0; at < image.size() && socket.state() == QAbstractSocket::ConnectedState;
         at += 1024) {
        run.bytes_written += socket.write(image.mid(at, 1024));
        pump(2);
    }
    run.closed_by_board = wait_until(
        [&] { return socket.state() != QAbstractSocket::ConnectedState; }, close_wait_ms);
    socket.abort();
    return run;
}

}  // namespace quorin::sim::testing
