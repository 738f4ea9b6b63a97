// quorin-board-sim: simulated boards for the configuration tool, on loopback or in a network
// namespace. Reads the command line, starts the simulator, says "ready", runs until SIGTERM,
// SIGINT or the end of --duration, and exits 0.
#include <unistd.h>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "sim/board_json.h"
#include "sim/board_simulator.h"
#include "sim/event_log.h"
#include "sim/sim_options.h"

namespace {

int g_signal_pipe[2] = {-1, -1};

// Only async-signal-safe work here: wake the event loop through the pipe.
void on_signal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signal_pipe[1], &byte, 1);
}

bool install_signal_handlers() {
    if (::pipe(g_signal_pipe) != 0) return false;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}

int print_lines(const QStringList& lines) {
    for (const QString& line : lines) std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorin-board-sim"));

    QString error;
    bool help = false;
    auto setup = quorin::sim::parse_command_line(QCoreApplication::arguments(), &error, &help);
    if (!setup) {
        std::fprintf(help ? stdout : stderr, "%s%s\n",
                     help ? "" : "quorin-board-sim: ", qPrintable(error));
        return help ? 0 : 2;
    }
    if (setup->print_boards) return print_lines(quorin::sim::board_listing(setup->boards));
    if (!setup->dump_config_path.isEmpty()) {
        const QByteArray json = quorin::sim::boards_to_json(setup->boards).toJson();
        QFile out;
        const bool opened = setup->dump_config_path == QLatin1String("-")
                                ? out.open(stdout, QIODevice::WriteOnly)
                                : (out.setFileName(setup->dump_config_path),
                                   out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (!opened || out.write(json) != json.size()) {
            std::fprintf(stderr, "quorin-board-sim: cannot write %s\n",
                         qPrintable(setup->dump_config_path));
            return 1;
        }
        return 0;
    }

    quorin::sim::EventLogFile log;
    if (!setup->events_path.isEmpty() && !log.open(setup->events_path, &error)) {
        std::fprintf(stderr, "quorin-board-sim: %s\n", qPrintable(error));
        return 1;
    }
    if (!install_signal_handlers()) {
        std::fprintf(stderr, "quorin-board-sim: cannot install signal handlers\n");
        return 1;
    }
    QSocketNotifier signal_notifier(g_signal_pipe[0], QSocketNotifier::Read);
    QObject::connect(&signal_notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(g_signal_pipe[0], &byte, 1);
        QCoreApplication::quit();
    });

    quorin::sim::BoardSimulator simulator(std::move(setup->boards));
    if (log.is_open()) {
        QObject::connect(&simulator, &quorin::sim::BoardSimulator::event, &app,
                         [&log](const QJsonObject& e) { log.write(e); });
    }
    if (!simulator.start(setup->config, &error)) {
        std::fprintf(stderr, "quorin-board-sim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("ready main=%u legacy=%u\n", simulator.mainPort(), simulator.legacyPort());
    std::fflush(stdout);

    if (setup->duration_s > 0) {
        QTimer::singleShot(static_cast<int>(setup->duration_s * 1000), &app,
                           &QCoreApplication::quit);
    }
    app.exec();
    simulator.stop();
    return 0;
}
