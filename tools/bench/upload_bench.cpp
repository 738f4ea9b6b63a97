// upload-bench: the firmware transfers against the board simulator (a child process) on loopback.
//
// 1. A 1 MiB acknowledged upload by the tool's own transfer (CUploadSock on a Qt event loop), and
//    in the same run by a bare lock-step client written for this benchmark (blocking sockets:
//    connect, size, wait for 3 bytes, block, wait for 3 bytes, ...), both against the same
//    simulated board. Prints each time, the medians and their ratio (target: at most 1.2).
// 2. The streamed transfer's pace: a 20 KiB image by UploadWorker with its real pacer, measured
//    from the start to the end of the worker's transfer against 300 + 100 x (blocks + 1) ms
//    (target: within 5 %, never faster).
//
// It exits non-zero only when a transfer fails; it does not judge the times.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/window_timers.h"
#include "protocol/config_core.h"
#include "protocol/record_codec.h"
#include "protocol/upload_transfer.h"
#include "sim/sim_board.h"
#include "tools/bench/bench_support.h"
#include "tools/sim_process.h"
#include "upload/upload_sock.h"
#include "upload/upload_worker.h"

namespace {

using namespace quorin;
using tools::median;

constexpr int kMainBoard = 0;    // 0002 at 127.0.1.1
constexpr int kLegacyBoard = 1;  // 0004 at 127.0.1.2
constexpr int kReplyWaitMs = 3000;
constexpr int kTransferWaitMs = 60000;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

quint16 free_tcp_port() {
    QTcpServer probe;
    probe.setProxy(QNetworkProxy::NoProxy);
    return probe.listen(QHostAddress::AnyIPv4, 0) ? probe.serverPort() : 0;
}

BoardRow board_row(int index) {
    const std::array<std::uint8_t, 2> product{0, static_cast<std::uint8_t>(index == 0 ? 2 : 4)};
    return sim::default_board_row(product, index, sim::board_address({127, 0, 1, 0}, index));
}

QString address_text(const BoardRow& row) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(row.local_ip[0])
        .arg(row.local_ip[1])
        .arg(row.local_ip[2])
        .arg(row.local_ip[3]);
}

// Asks the board for an upload as the tool does; for a main-protocol board waits for its reply.
bool request_upload(const tools::SimulatorProcess& sim, int index) {
    ConfigCore core;
    core.working = board_row(index);
    QUdpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    if (!socket.bind(QHostAddress::LocalHost, 0)) return false;
    for (const OutgoingDatagram& d : core.send_data(OPCODE_UPLOAD_REQUEST)) {
        socket.writeDatagram(reinterpret_cast<const char*>(d.bytes.data()),
                             static_cast<qint64>(d.bytes.size()), QHostAddress::LocalHost,
                             d.tag == kSearchSocketTag ? sim.main_port : sim.legacy_port);
    }
    if (uses_legacy_protocol(core.working.product_code)) {
        tools::waitFor([] { return false; }, 100);  // no reply: give it time to listen
        return true;
    }
    bool replied = false;
    return tools::waitFor(
        [&] {
            while (!replied && socket.hasPendingDatagrams()) {
                QByteArray reply(static_cast<qsizetype>(socket.pendingDatagramSize()), 0);
                socket.readDatagram(reply.data(), reply.size());
                replied = !reply.isEmpty() && reply[0] == char{OPCODE_UPLOAD_REPLY};
            }
            return replied;
        },
        kReplyWaitMs);
}

// Records the end of a transfer and quits an event loop there.
struct BenchHost final : TransferHost {
    void setProgressRange(int) override {}
    void setProgressStepSize(int) override {}
    void stepProgress() override {}
    void setProgressPosition(int) override {}
    void showMessage(const QString& text) override { messages << text; }
    void appendLog(const QString&) override {}
    void transferSentWhole(TransferKind) override {}
    void transferEnded(TransferKind, TransferOutcome outcome) override {
        ended = true;
        succeeded = outcome == TransferOutcome::Succeeded;
        if (on_end) on_end();
    }
    QStringList messages;
    bool ended = false;
    bool succeeded = false;
    std::function<void()> on_end;
};

// The tool's acknowledged transfer; seconds from start to the last acknowledgement, or -1.
double tool_upload(const QHostAddress& board, quint16 port, const QString& image) {
    platform::QtWindowTimers timers;
    BenchHost host;
    CUploadSock sock(host, timers);
    timers.setHandler([&](int id) { sock.OnTimer(id); });
    QEventLoop loop;
    host.on_end = [&] { loop.quit(); };
    QTimer::singleShot(kTransferWaitMs, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    sock.start(board, port, image);
    if (!host.ended) loop.exec();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    return host.ended && host.succeeded ? seconds : -1;
}

bool send_all(int fd, const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data += sent;
        n -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool receive_exactly(int fd, std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t got = ::recv(fd, data, n, 0);
        if (got <= 0) return false;
        data += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

// The bare lock-step client; the same span as tool_upload (reading the image included).
double bare_upload(const QString& board, quint16 port, const QString& image_path) {
    QElapsedTimer clock;
    clock.start();
    QFile file(image_path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QByteArray image = file.readAll();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, board.toLatin1().constData(), &to.sin_addr);
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.constData());
    const auto size = static_cast<std::uint32_t>(image.size());
    const std::uint8_t header[4] = {
        static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
        static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24)};
    std::uint8_t ack[3];
    ok = ok && send_all(fd, header, sizeof header) && receive_exactly(fd, ack, sizeof ack);
    for (std::uint32_t offset = 0; ok && offset < size; offset += 1024) {
        const std::size_t n = std::min<std::size_t>(1024, size - offset);
        ok = send_all(fd, bytes + offset, n) && receive_exactly(fd, ack, sizeof ack) &&
             ack[0] == 0x20;
    }
    ::close(fd);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    return ok ? seconds : -1;
}

// The streamed transfer with its real pacer; milliseconds from the start until the worker has
// sent the whole image and closed, or -1.
double streamed_upload(const QHostAddress& board, quint16 port, const QString& image) {
    platform::QtWindowTimers timers;
    BenchHost host;
    UploadWorker worker(host, timers);
    QEventLoop loop;
    QElapsedTimer clock;
    double finished_ms = -1;
    bool failed = false;
    host.on_end = [&] {  // the worker has sent the whole image and closed, or failed
        finished_ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        failed = !host.succeeded;
        loop.quit();
    };
    QTimer::singleShot(kTransferWaitMs, &loop, &QEventLoop::quit);
    clock.start();
    worker.start(board, port, image);
    loop.exec();
    return failed || !host.ended ? -1 : finished_ms;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication qt(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"sim", "Path of quorin-board-sim.", "path"});
    parser.addOption({"runs", "Acknowledged uploads per client.", "n", "5"});
    parser.addOption({"size", "Acknowledged image size in KiB.", "n", "1024"});
    parser.addOption({"stream-size", "Streamed image size in KiB.", "n", "20"});
    parser.process(qt);
    const int runs = std::max(1, parser.value("runs").toInt());
    const qsizetype ack_bytes = parser.value("size").toLongLong() * 1024;
    const qsizetype stream_bytes = parser.value("stream-size").toLongLong() * 1024;

    QString simPath = parser.value("sim");
    if (simPath.isEmpty())
        simPath = QCoreApplication::applicationDirPath() + "/../sim/quorin-board-sim";
    const quint16 upload_port = free_tcp_port();
    const quint16 stream_port = free_tcp_port();
    tools::SimulatorProcess sim;
    if (!sim.start(simPath, "0002:1,0004:1",
                   {"--upload-port", QString::number(upload_port), "--stream-port",
                    QString::number(stream_port)})) {
        std::fprintf(stderr, "upload-bench: could not start %s\n", qPrintable(simPath));
        return 2;
    }

    QTemporaryDir dir;
    auto write_image = [&](const QString& name, qsizetype size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 9));
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    };
    const QString ack_image = write_image("ack.bin", ack_bytes);
    const QString stream_image = write_image("stream.bin", stream_bytes);
    const QString main_address = address_text(board_row(kMainBoard));
    int status = 0;

    out() << "upload-bench: acknowledged upload of " << ack_bytes / 1024 << " KiB to "
          << main_address << ":" << upload_port << ", " << runs << " runs per client\n";
    std::vector<double> tool_times, bare_times;
    for (int run = 1; run <= runs; ++run) {
        double tool = -1, bare = -1;
        // Each upload starts once the board has let go of the previous connection (outside the
        // times measured): on a loaded machine it may still be reading its end.
        constexpr int kSettleMs = 100;
        if (request_upload(sim, kMainBoard))
            tool = tool_upload(QHostAddress(main_address), upload_port, ack_image);
        tools::waitFor([] { return false; }, kSettleMs);
        if (request_upload(sim, kMainBoard))
            bare = bare_upload(main_address, upload_port, ack_image);
        tools::waitFor([] { return false; }, kSettleMs);
        out() << QStringLiteral("  run %1: tool %2 ms, bare client %3 ms\n")
                     .arg(run)
                     .arg(tool * 1000, 0, 'f', 1)
                     .arg(bare * 1000, 0, 'f', 1);
        out().flush();
        if (tool < 0 || bare < 0) {
            status = 1;
            continue;
        }
        tool_times.push_back(tool);
        bare_times.push_back(bare);
    }
    if (!tool_times.empty()) {
        // Run by run the two clients meet the same machine load: the median of their ratios
        // holds better than the ratio of the medians when the machine is busy.
        std::vector<double> ratios;
        for (std::size_t i = 0; i < tool_times.size(); ++i)
            ratios.push_back(tool_times[i] / bare_times[i]);
        const double t = median(tool_times), b = median(bare_times);
        out() << QStringLiteral(
                     "  median: tool %1 ms, bare client %2 ms; ratio %3 (median of the runs' "
                     "ratios %4; target <= 1.2)\n")
                     .arg(t * 1000, 0, 'f', 1)
                     .arg(b * 1000, 0, 'f', 1)
                     .arg(t / b, 0, 'f', 3)
                     .arg(median(ratios), 0, 'f', 3);
    }

    const int blocks = static_cast<int>((stream_bytes + 1023) / 1024);
    const double expected = kStreamStartPauseMs + kStreamPauseMs * (blocks + 1.0);
    out() << "upload-bench: streamed upload of " << stream_bytes / 1024 << " KiB (" << blocks
          << " blocks) with the real pacer\n";
    out().flush();
    double measured = -1;
    if (request_upload(sim, kLegacyBoard))
        measured = streamed_upload(QHostAddress(address_text(board_row(kLegacyBoard))), stream_port,
                                   stream_image);
    if (measured < 0) {
        out() << "  the streamed transfer failed\n";
        status = 1;
    } else {
        out() << QStringLiteral(
                     "  measured %1 ms, paced 300 + 100 x (%2 + 1) = %3 ms, %4%5 % (target: "
                     "within 5 %, never faster)\n")
                     .arg(measured, 0, 'f', 1)
                     .arg(blocks)
                     .arg(expected, 0, 'f', 0)
                     .arg(measured >= expected ? "+" : "")
                     .arg((measured - expected) / expected * 100, 0, 'f', 2);
    }
    out().flush();
    sim.stop();
    return status;
}
