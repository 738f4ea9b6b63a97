// cli-apply-bench: `quorinctl apply SITE --jobs 16` of a one-field change to 500 simulated boards
// (or --boards N) against the same apply to one board, in the same run, both timed from starting
// the process to its end: the lookup search, the journal, the set requests and the read-back.
// Each run wants a new channel[0].local_port, so that every board changes every time. Prints each
// run, the medians and their ratio (target: N boards within 3 times the time of one).
//
// The site files come from `quorinctl site init --json` against each simulator. Exits non-zero
// only when an apply does not change and verify every board (it does not judge the time).
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "fleet/site_file.h"
#include "tools/bench/bench_support.h"
#include "tools/sim_process.h"

namespace {

using quorin::tools::median;
using quorin::tools::SimulatorProcess;

constexpr int kTimeoutMs = 60000;
const QString kField = QStringLiteral("channel[0].local_port");

struct Site {
    SimulatorProcess sim;
    QJsonObject file;  // as site init wrote it
    int boards = 0;
};

// The simulator's ports; `wait_ms` bounds a search (site init waits it out, apply ends its searches
// as soon as every board of the file has answered).
QStringList network(const SimulatorProcess& sim, int wait_ms = 5000) {
    return {"--broadcast",
            "127.255.255.255",
            "--port",
            QString::number(sim.main_port),
            "--legacy-port",
            QString::number(sim.legacy_port),
            "--legacy-local-port",
            "0",
            "--wait",
            QString::number(wait_ms)};
}

// Runs quorinctl to its end; its standard output, or a null array when it failed.
QByteArray run_ctl(const QString& ctl, const QStringList& args, int* status = nullptr) {
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(ctl, args);
    if (!p.waitForFinished(kTimeoutMs)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    if (status) *status = p.exitCode();
    return p.readAllStandardOutput();
}

// The site file wanting `port` on channel 0 of every board, each board's own.
QByteArray with_port(QJsonObject site, int port) {
    QJsonObject defaults = site.value("defaults").toObject();
    for (const QString& model : defaults.keys()) {
        QJsonObject shared = defaults.value(model).toObject();
        shared.remove(kField);
        defaults[model] = shared;
    }
    site["defaults"] = defaults;
    QJsonArray boards = site.value("boards").toArray();
    for (qsizetype i = 0; i < boards.size(); ++i) {
        QJsonObject b = boards[i].toObject();
        QJsonObject own = b.value("settings").toObject();
        own[kField] = QString::number(port);
        b["settings"] = own;
        boards[i] = b;
    }
    site["boards"] = boards;
    return QJsonDocument(site).toJson();
}

// One timed apply: milliseconds, or -1 when not every board changed and verified.
double timed_apply(const QString& ctl, const Site& site, int port, const QTemporaryDir& dir,
                   const QString& tag) {
    const QString path = dir.filePath(tag + ".json");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(with_port(site.file, port)) < 0) return -1;
    f.close();
    QStringList args = network(site.sim);
    args << "apply" << path << "--jobs"
         << "16"
         << "--journal" << dir.filePath(tag + "-journal.json") << "--report"
         << dir.filePath(tag + "-report.json");
    QElapsedTimer clock;
    clock.start();
    int status = -1;
    run_ctl(ctl, args, &status);
    const double ms = clock.nsecsElapsed() / 1e6;
    QFile report(dir.filePath(tag + "-report.json"));
    if (status != 0 || !report.open(QIODevice::ReadOnly)) return -1;
    const QJsonObject summary =
        QJsonDocument::fromJson(report.readAll()).object().value("summary").toObject();
    return summary.value("changed").toInt() == site.boards ? ms : -1;
}

// Reading the site file in process, as apply reads it, in milliseconds.
double timed_read(const QByteArray& text) {
    QElapsedTimer clock;
    clock.start();
    const auto site = quorin::fleet::read_site(std::string_view(text.constData(), text.size()));
    const double ms = clock.nsecsElapsed() / 1e6;
    return site.value ? ms : -1;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication qt(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"sim", "Path of quorin-board-sim.", "path"});
    parser.addOption({"ctl", "Path of quorinctl.", "path"});
    parser.addOption({"runs", "Number of runs of each apply.", "n", "5"});
    parser.addOption({"boards", "Number of boards of the large site.", "n", "500"});
    parser.process(qt);
    const int runs = std::max(1, parser.value("runs").toInt());
    const QString dir = QCoreApplication::applicationDirPath();
    const QString sim_path =
        parser.isSet("sim") ? parser.value("sim") : dir + "/../sim/quorin-board-sim";
    const QString ctl = parser.isSet("ctl") ? parser.value("ctl") : dir + "/../cli/quorinctl";
    const int many = std::clamp(parser.value("boards").toInt(), 2, 50000);

    Site large, single;
    large.boards = many;
    single.boards = 1;
    QTemporaryDir work;
    for (Site* s : {&large, &single}) {
        if (!s->sim.start(sim_path, QStringLiteral("0002:%1").arg(s->boards))) {
            std::fprintf(stderr, "cli-apply-bench: could not start %s\n", qPrintable(sim_path));
            return 2;
        }
        QStringList args = network(s->sim, 1000);
        args << "site"
             << "init"
             << "--json";
        s->file = QJsonDocument::fromJson(run_ctl(ctl, args)).object();
        const auto found = s->file.value("boards").toArray().size();
        if (found != s->boards) {
            std::fprintf(stderr, "cli-apply-bench: site init found %lld of %d boards\n",
                         static_cast<long long>(found), s->boards);
            return 1;
        }
    }
    QTextStream out(stdout);
    out << "cli-apply-bench: a one-field change to " << many << " boards (--jobs 16) and to 1, "
        << runs << " run(s) of each\n";
    std::vector<double> large_times, single_times, read_times;
    bool complete = true;
    for (int run = 1; run <= runs; ++run) {
        const int port = 6000 + run;
        const double l = timed_apply(ctl, large, port, work, QStringLiteral("large%1").arg(run));
        const double s = timed_apply(ctl, single, port, work, QStringLiteral("single%1").arg(run));
        const double p = timed_read(with_port(large.file, port));
        if (p >= 0) read_times.push_back(p);
        complete = complete && l >= 0 && s >= 0;
        if (l >= 0) large_times.push_back(l);
        if (s >= 0) single_times.push_back(s);
        out << "run " << run << ": " << many << " boards "
            << (l < 0 ? QStringLiteral("(incomplete)") : QString::number(l, 'f', 1) + " ms")
            << ", 1 board "
            << (s < 0 ? QStringLiteral("(incomplete)") : QString::number(s, 'f', 1) + " ms")
            << "\n";
        out.flush();
    }
    const double l = median(large_times), s = median(single_times);
    out << "median apply to " << many << " boards: " << QString::number(l, 'f', 1)
        << " ms\nmedian apply to 1 board: " << QString::number(s, 'f', 1) << " ms\nratio: "
        << (l > 0 && s > 0 ? QString::number(l / s, 'f', 2) : QStringLiteral("n/a"))
        << " (target <= 3)\n";
    const double p = median(read_times);
    out << "median reading of the " << many << "-board file (in process, "
        << QString::number(with_port(large.file, 1).size() / 1024.0, 'f', 0)
        << " kB): " << QString::number(p, 'f', 1) << " ms, itself "
        << (p > 0 && s > 0 ? QString::number(p / s, 'f', 2) : QStringLiteral("n/a"))
        << " times a whole apply to 1 board\n";
    large.sim.stop();
    single.sim.stop();
    return complete ? 0 : 1;
}
