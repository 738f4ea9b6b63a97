// cli-upload-bench: `quorinctl upload` of one image (1 MiB, or --size KiB) to 64 simulated
// main-protocol boards (or --boards N) with --jobs 1, 8 and 32 (or --jobs LIST) in one run, beside
// the same upload to one board. Each run is timed from starting the process to its end: the
// search, every transfer, and the verification after the upgrade. Prints per run its time, its
// efficiency against the ideal (ceil(boards / jobs) times the one-board run, divided by the
// measured time; target >= 85 % at 32 jobs) and its peak resident memory against the one-board
// run's (target: growth <= the image's size + 64 KiB per board in flight).
//
// A board's verification holds no transfer slot: it overlaps the next boards' transfers, so a
// run of many boards can beat the ideal, which counts it for every board. Exits non-zero only
// when a run does not upgrade and verify every board.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "tests/support/test_image.h"
#include "tools/sim_process.h"

extern char** environ;

namespace {

using quorin::tools::SimulatorProcess;

struct Run {
    int status = -1;
    double ms = 0;
    long peak_kib = 0;  // the process's peak resident memory
};

// Runs `program` with `args`, its output thrown away, to its end; its status, time and peak
// resident memory (from wait4, which a QProcess does not give).
Run run_measured(const QString& program, const QStringList& args) {
    std::vector<QByteArray> storage;
    storage.push_back(program.toLocal8Bit());
    for (const QString& a : args) storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    Run r;
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return r;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid) return r;
    r.ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.peak_kib = usage.ru_maxrss;
    return r;
}

QString macs_arg(int index) {
    return QStringLiteral("02:51:00:02:%1:%2")
        .arg((index >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(index & 0xFF, 2, 16, QLatin1Char('0'));
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication qt(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"sim", "Path of quorin-board-sim.", "path"});
    parser.addOption({"ctl", "Path of quorinctl.", "path"});
    parser.addOption({"boards", "Number of boards.", "n", "64"});
    parser.addOption({"size", "Image size in KiB.", "kib", "1024"});
    parser.addOption({"jobs", "Comma-separated --jobs values to run.", "list", "1,8,32"});
    parser.process(qt);
    const QString dir = QCoreApplication::applicationDirPath();
    const QString sim_path =
        parser.isSet("sim") ? parser.value("sim") : dir + "/../sim/quorin-board-sim";
    const QString ctl = parser.isSet("ctl") ? parser.value("ctl") : dir + "/../cli/quorinctl";
    const int boards = std::clamp(parser.value("boards").toInt(), 1, 4000);
    const qsizetype size = std::clamp(parser.value("size").toLongLong(), 1LL, 65536LL) * 1024;
    std::vector<int> jobs;
    for (const QString& j : parser.value("jobs").split(',', Qt::SkipEmptyParts))
        jobs.push_back(std::clamp(j.toInt(), 1, 64));

    QTemporaryDir work;
    const QString image = work.filePath("fw.bin");
    QFile f(image);
    if (!f.open(QIODevice::WriteOnly) || f.write(quorin::testing::test_image(size)) != size) {
        std::fprintf(stderr, "cli-upload-bench: cannot write the image\n");
        return 2;
    }
    f.close();
    const quint16 upload_port = quorin::testing::free_tcp_port();
    SimulatorProcess sim;
    if (!sim.start(sim_path, QStringLiteral("0002:%1").arg(boards),
                   {"--upload-port", QString::number(upload_port), "--reboot-ms", "200"})) {
        std::fprintf(stderr, "cli-upload-bench: could not start %s\n", qPrintable(sim_path));
        return 2;
    }
    const auto upload = [&](int count, int j) {
        QStringList args{"--broadcast",
                         "127.255.255.255",
                         "--port",
                         QString::number(sim.main_port),
                         "--legacy-port",
                         QString::number(sim.legacy_port),
                         "--legacy-local-port",
                         "0",
                         "--wait",
                         "3000",
                         "--upload-port",
                         QString::number(upload_port),
                         "upload",
                         image,
                         "--jobs",
                         QString::number(j)};
        for (int i = 0; i < count; ++i) args << macs_arg(i);
        qputenv("XDG_STATE_HOME", work.filePath("state").toLocal8Bit());
        return run_measured(ctl, args);
    };

    QTextStream out(stdout);
    out << "cli-upload-bench: a " << size / 1024 << " KiB image to " << boards
        << " main-protocol boards, verified after the upgrade\n";
    const Run one = upload(1, 1);
    out << "1 board: " << QString::number(one.ms, 'f', 0) << " ms, peak RSS " << one.peak_kib
        << " KiB" << (one.status == 0 ? "" : " (NOT every board verified)") << "\n";
    out.flush();
    bool complete = one.status == 0;
    for (const int j : jobs) {
        const Run r = upload(boards, j);
        complete = complete && r.status == 0;
        const int rounds = (boards + j - 1) / j;
        const double ideal = rounds * one.ms;
        const long growth = r.peak_kib - one.peak_kib;
        const long allowed = static_cast<long>(size / 1024) + 64L * std::min(j, boards);
        out << "--jobs " << j << ": " << QString::number(r.ms, 'f', 0) << " ms, ideal "
            << QString::number(ideal, 'f', 0) << " ms (" << rounds << " x 1 board), efficiency "
            << QString::number(r.ms > 0 ? 100.0 * ideal / r.ms : 0, 'f', 1) << " %; peak RSS "
            << r.peak_kib << " KiB, growth " << growth << " KiB (target <= " << allowed << " KiB)"
            << (r.status == 0 ? "" : " (NOT every board verified)") << "\n";
        out.flush();
    }
    out << "target: efficiency >= 85 % at 32 jobs\n";
    sim.stop();
    return complete ? 0 : 1;
}
