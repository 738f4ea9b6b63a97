// flood-bench: the tool on a busy or hostile LAN.
//
// The main window is shown with the log window open, and a Search has listed the simulator's
// boards; the Search state lasts until Setting is pressed, so the junk arrives in it. A sender
// thread then floods both configuration sockets on 127.0.0.1 with junk of every kind for
// --seconds, while an "operator" closes the open message box every --close-every ms. When the
// junk has stopped and no box has come for a while, the bench searches again.
//
// It prints the datagrams sent, the resident memory before and after the flood, the longest stall
// of the window's event loop, the message boxes shown (the most open at once, and how long they
// kept coming after the junk stopped), the lines in the log window and the boards the Search
// after the flood listed. It judges nothing: the exit code is 0 unless the set-up fails.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/config_sock.h"
#include "app/quorin_config_tool_app.h"
#include "log/log_dlg.h"
#include "platform/platform_services.h"
#include "res/resource_ids.h"
#include "tests/support/recording_services.h"
#include "tests/support/simulated_input.h"
#include "tools/bench/bench_support.h"
#include "tools/flood/junk_flood.h"
#include "tools/sim_process.h"
#include "ui/quorin_config_tool_dlg.h"

namespace {

constexpr int kQuietMs = 2000;           // no box for this long after the junk: the flood is over
constexpr int kMaxAfterFloodMs = 30000;  // stop waiting for the boxes to end after this long
constexpr int kSearchWaitMs = 5000;

// Resident set size of this process in MiB, from /proc/self/status.
double rss_mib() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return -1;
}

// The real message boxes, counted: how many were shown, how many were open at once, when the
// last one opened.
class CountingBoxes final : public quorin::platform::MessageBoxes {
  public:
    CountingBoxes(quorin::platform::MessageBoxes& real, const QElapsedTimer& clock)
        : real_(real), clock_(clock) {}
    void show(const QString& text) override {
        ++shown;
        max_open = std::max(max_open, ++open);
        last_opened_ms = clock_.elapsed();
        texts.insert(text);
        real_.show(text);
        --open;
        last_closed_ms = clock_.elapsed();
    }
    int shown = 0, open = 0, max_open = 0;
    qint64 last_opened_ms = -1, last_closed_ms = -1;
    QSet<QString> texts;

  private:
    quorin::platform::MessageBoxes& real_;
    const QElapsedTimer& clock_;
};

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"sim", "Path of quorin-board-sim.", "path"});
    parser.addOption({"boards", "Boards the simulator plays (product 0002).", "n", "200"});
    parser.addOption({"seconds", "How long the junk is sent.", "s", "5"});
    parser.addOption({"rate", "Junk datagrams per second.", "n", "10000"});
    parser.addOption({"close-every", "The operator closes a box this often.", "ms", "500"});
    parser.addOption(
        {"kinds", "Junk kinds to send in turn, comma-separated (default: all).", "names"});
    parser.addOption({"no-log-window", "Do not open the log window."});
    parser.process(qt);

    QTextStream out(stdout);
    const int boards = parser.value("boards").toInt();
    QString simPath = parser.value("sim");
    if (simPath.isEmpty())
        simPath = QCoreApplication::applicationDirPath() + "/../sim/quorin-board-sim";
    quorin::tools::SimulatorProcess sim;
    if (!sim.start(simPath, "0002:" + QString::number(boards))) {
        std::fprintf(stderr, "flood-bench: could not start %s\n", qPrintable(simPath));
        return 2;
    }

    quorin::NetworkTarget target;
    target.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
    target.main_port = sim.main_port;
    target.legacy_board_port = sim.legacy_port;
    target.legacy_local_port = 0;
    QElapsedTimer clock;
    clock.start();
    quorin::platform::QtMessageBoxes realBoxes;
    CountingBoxes boxes(realBoxes, clock);
    quorin::platform::QtWindowTimers timers;
    quorin::platform::ScriptedFileChooser files;
    quorin::CQuorinConfigToolApp app(boxes, target);
    quorin::CQuorinConfigToolDlg dlg(app, {timers, files});
    realBoxes.setParent(&dlg);
    dlg.OnInitDialog();
    dlg.show();
    if (!parser.isSet("no-log-window")) quorin::testing::click(dlg, quorin::res::IDC_VIEW_LOG);

    // The operator: closes whatever message box is open, every so often.
    QTimer closer;
    closer.setInterval(parser.value("close-every").toInt());
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    closer.start();

    // Everything from here on runs from a timer: while message boxes are open, only their own
    // event loops run, and a plain wait in main() would never get control back.
    quorin::flood::FloodOptions options;
    options.ports = {app.searchSocket()->localPort(), app.legacySocket()->localPort()};
    options.seconds = parser.value("seconds").toDouble();
    options.datagrams_per_second = parser.value("rate").toInt();
    for (const QString& name : parser.value("kinds").split(',', Qt::SkipEmptyParts)) {
        quorin::flood::JunkKind kind{};
        if (!quorin::flood::kind_from_name(name.toStdString(), &kind)) {
            std::fprintf(stderr, "flood-bench: unknown junk kind %s\n", qPrintable(name));
            return 2;
        }
        options.kinds.push_back(kind);
    }
    quorin::flood::FloodSender flood(options);
    quorin::tools::StallProbe probe(5);
    enum class Phase { SearchBefore, Flood, AfterFlood, SearchAfter } phase = Phase::SearchBefore;
    qint64 phaseStart = clock.elapsed();
    qint64 floodStart = 0, floodEnd = 0;
    int listedBefore = 0, boxesDuringFlood = 0;
    double rssBefore = 0, rssAfter = 0;
    double heapBefore = 0, heapAfter = 0;
    qint64 stall = 0;
    bool quiet = false;

    auto report = [&] {
        const quorin::flood::FloodReport sent = flood.wait();
        out << "flood-bench: " << boards
            << " simulated boards, listed before the flood: " << listedBefore << "\n";
        out << "datagrams sent: " << sent.sent << " in " << QString::number(sent.seconds, 'f', 1)
            << " s (" << QString::number(sent.sent / std::max(sent.seconds, 0.001), 'f', 0)
            << "/s, " << QString::number(sent.bytes / 1048576.0, 'f', 1) << " MiB), refused "
            << sent.refused << "\n";
        out << "  by kind:";
        for (int k = 0; k < quorin::flood::kJunkKinds; ++k) {
            const auto kind = static_cast<quorin::flood::JunkKind>(k);
            out << " " << QString::fromUtf8(quorin::flood::kind_name(kind).data()) << "="
                << sent.by_kind[static_cast<std::size_t>(k)];
        }
        out << "\n";
        out << "RSS before: " << QString::number(rssBefore, 'f', 1)
            << " MiB, after: " << QString::number(rssAfter, 'f', 1) << " MiB ("
            << (rssAfter >= rssBefore ? "+" : "") << QString::number(rssAfter - rssBefore, 'f', 1)
            << " MiB)\n";
        out << "heap in use before: " << QString::number(heapBefore, 'f', 1)
            << " MiB, after: " << QString::number(heapAfter, 'f', 1) << " MiB\n";
        out << "longest stall of the event loop: " << stall << " ms\n";
        out << "message boxes shown: " << boxesDuringFlood
            << ", most open at once: " << boxes.max_open << ", last one opened ";
        if (boxes.last_opened_ms < 0) {
            out << "never\n";
        } else {
            out << QString::number((boxes.last_opened_ms - floodEnd) / 1000.0, 'f', 1)
                << " s after the junk stopped"
                << (quiet ? QString()
                          : QString(" (still coming after %1 s)").arg(kMaxAfterFloodMs / 1000))
                << "\n";
        }
        for (const QString& text : boxes.texts) out << "  box text: " << text << "\n";
        if (quorin::CLogDlg* log = app.logWindow())
            out << "log window lines: " << log->lines().size() << "\n";
        out << "boards listed by the Search after the flood: " << app.core().board_count() << " of "
            << boards << "\n";
        out.flush();
    };

    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        switch (phase) {
            case Phase::SearchBefore:
                if (app.core().board_count() < boards && now - phaseStart < kSearchWaitMs) return;
                listedBefore = app.core().board_count();
                rssBefore = rss_mib();
                heapBefore = quorin::flood::live_heap_bytes() / 1048576.0;
                probe.start();
                floodStart = now;
                if (std::string error; !flood.start(&error)) {
                    std::fprintf(stderr, "flood-bench: %s\n", error.c_str());
                    std::_Exit(2);
                }
                phase = Phase::Flood;
                return;
            case Phase::Flood:
                if (!flood.finished()) return;
                floodEnd = now;
                phase = Phase::AfterFlood;
                return;
            case Phase::AfterFlood: {
                // Over once no box is open and none has come for a while.
                quiet =
                    boxes.open == 0 && now - std::max(floodEnd, boxes.last_closed_ms) >= kQuietMs;
                if (!quiet && now - floodEnd < kMaxAfterFloodMs) return;
                probe.stop();
                rssAfter = rss_mib();
                heapAfter = quorin::flood::live_heap_bytes() / 1048576.0;
                stall = probe.longest_ms;
                boxesDuringFlood = boxes.shown;
                quorin::testing::click(dlg, quorin::res::IDC_SEARCH);
                phase = Phase::SearchAfter;
                phaseStart = now;
                return;
            }
            case Phase::SearchAfter:
                if (app.core().board_count() < boards && now - phaseStart < kSearchWaitMs) return;
                report();
                sim.stop();
                // Message boxes may still be open in nested event loops: leave at once.
                std::fflush(stdout);
                std::_Exit(0);
        }
    });
    quorin::testing::click(dlg, quorin::res::IDC_SEARCH);
    driver.start();
    qt.exec();
    return 0;
}
