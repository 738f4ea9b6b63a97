// search-bench: 200 simulated boards answer one search through real loopback sockets.
//
// For each run it prints the boards listed, the replies lost and the time from the Search click
// until the last board is listed, shown and painted, with the processor time the window's thread
// spent on it; it waits for the replies sleeping in the event loop, so that it takes no processor
// time from the simulator or the tool. In the same run a bare client (one datagram out, the
// replies counted with a blocking poll) searches the same simulator, so the two times compare the
// tool with the floor that the simulator and loopback set. At the end: both medians and their
// ratio. It exits non-zero only when boards are lost (it does not judge the time).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/quorin_config_tool_app.h"
#include "platform/platform_services.h"
#include "res/resource_ids.h"
#include "tools/sim_process.h"
#include "ui/quorin_config_tool_dlg.h"

namespace {

constexpr int kBareReceiveBufferBytes = 4 * 1024 * 1024;
constexpr int kBareTimeoutMs = 5000;

// A bare search: one 402-byte search request from a plain UDP socket to 127.255.255.255:`port`,
// then replies counted until `boards` have come. Returns the time in milliseconds, or -1 when
// they did not all come within kBareTimeoutMs.
double bare_search_ms(quint16 port, int boards) {
    using Clock = std::chrono::steady_clock;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kBareReceiveBufferBytes,
                 sizeof kBareReceiveBufferBytes);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(0x7FFFFFFF);  // 127.255.255.255: loopback only
    std::vector<std::uint8_t> request(quorin::kMainPacketSize, 0);
    request[0] = quorin::OPCODE_SEARCH_REQUEST;
    std::vector<std::uint8_t> reply(quorin::kMainPacketSize);

    const auto begin = Clock::now();
    double ms = -1;
    if (::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to) == static_cast<ssize_t>(request.size())) {
        int replies = 0;
        const auto deadline = begin + std::chrono::milliseconds(kBareTimeoutMs);
        while (replies < boards && Clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            if (::recv(fd, reply.data(), reply.size(), 0) > 0) ++replies;
        }
        if (replies >= boards)
            ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    }
    ::close(fd);
    return ms;
}

// Processor time this thread has used, in milliseconds.
double thread_cpu_ms() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"sim", "Path of quorin-board-sim.", "path"});
    parser.addOption({"boards", "Number of boards.", "n", "200"});
    parser.addOption({"product", "Product code of the boards.", "code", "0002"});
    parser.addOption({"runs", "Number of searches.", "n", "5"});
    parser.process(qt);

    QTextStream out(stdout);
    const int boards = parser.value("boards").toInt();
    const int runs = std::max(1, parser.value("runs").toInt());
    QString simPath = parser.value("sim");
    if (simPath.isEmpty()) {
        simPath = QCoreApplication::applicationDirPath() + "/../sim/quorin-board-sim";
    }
    quorin::tools::SimulatorProcess sim;
    if (!sim.start(simPath, parser.value("product") + ":" + QString::number(boards))) {
        std::fprintf(stderr, "search-bench: could not start %s\n", qPrintable(simPath));
        return 2;
    }

    quorin::NetworkTarget target;
    target.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
    target.main_port = sim.main_port;
    target.legacy_board_port = sim.legacy_port;
    target.legacy_local_port = 0;
    quorin::platform::RecordingMessageBoxes messages;
    quorin::platform::ManualWindowTimers timers;
    quorin::platform::ScriptedFileChooser files;
    quorin::platform::RecordingMessagePoster poster;
    quorin::CQuorinConfigToolApp app(messages, target);
    quorin::CQuorinConfigToolDlg dlg(app, {timers, files, poster});
    dlg.OnInitDialog();
    dlg.show();

    out << "search-bench: " << boards << " boards of product " << parser.value("product")
        << ", receive buffer granted " << app.receiveBufferGranted() << " bytes\n";
    std::vector<double> times;
    std::vector<double> bareTimes;
    std::vector<double> cpuTimes;
    int worstLost = 0;
    for (int run = 1; run <= runs; ++run) {
        QElapsedTimer clock;
        const double cpuBefore = thread_cpu_ms();
        clock.start();
        dlg.click(quorin::res::IDC_SEARCH);
        double doneMs = -1;
        double cpuMs = -1;
        if (quorin::tools::waitSleeping([&] { return app.core().board_count() >= boards; }, 5000)) {
            QCoreApplication::sendPostedEvents();  // the paint the last display asked for
            doneMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            cpuMs = thread_cpu_ms() - cpuBefore;
        }
        // Late replies would still be listed: give them a moment before counting.
        quorin::tools::waitSleeping([] { return false; }, 300);
        const int listed = app.core().board_count();
        const int shownRow = dlg.listCurSel(quorin::res::IDC_BOARD_LIST);
        const int lost = boards - listed;
        worstLost = std::max(worstLost, lost);
        out << "run " << run << ": listed " << listed << " of " << boards << ", lost " << lost
            << ", first board shown " << (shownRow == 0 ? "yes" : "no") << ", time to last board "
            << (doneMs < 0 ? QString("(not reached)")
                           : QString::number(doneMs, 'f', 1) + " ms, processor " +
                                 QString::number(cpuMs, 'f', 1) + " ms")
            << "\n";
        if (doneMs >= 0) times.push_back(doneMs);
        if (cpuMs >= 0) cpuTimes.push_back(cpuMs);

        const double bareMs = bare_search_ms(sim.main_port, boards);
        out << "run " << run << ": bare client, all " << boards << " replies: "
            << (bareMs < 0 ? QString("(not reached)") : QString::number(bareMs, 'f', 1) + " ms")
            << "\n";
        out.flush();
        if (bareMs >= 0) bareTimes.push_back(bareMs);
    }
    const double tool = median(times);
    const double bare = median(bareTimes);
    if (tool >= 0) {
        out << "median time from Search to the last board listed and shown: "
            << QString::number(tool, 'f', 1) << " ms over " << times.size() << " runs\n";
    }
    if (!cpuTimes.empty()) {
        out << "median processor time of the window's thread per search: "
            << QString::number(median(cpuTimes), 'f', 1) << " ms\n";
    }
    if (bare >= 0) {
        out << "median time of the bare client: " << QString::number(bare, 'f', 1) << " ms over "
            << bareTimes.size() << " runs\n";
    }
    if (tool >= 0 && bare > 0)
        out << "ratio tool / bare: " << QString::number(tool / bare, 'f', 1) << "\n";
    for (const QString& m : messages.shown) out << "message: " << m << "\n";
    sim.stop();
    return worstLost == 0 ? 0 : 1;
}
