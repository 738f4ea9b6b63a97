// startup-bench: how long the tool's window takes to appear and how much memory it holds then,
// beside the smallest Qt Widgets dialog (minimal-dialog), on the same X server.
//
// It starts one Xvfb of its own on a free display and watches the root window for MapNotify: the
// moment a top-level window of the started process (its _NET_WM_PID) is mapped. Neither program
// cooperates, so both are measured the same way. For each run it starts the tool, then the
// minimal dialog (alternating), each from fork to map, reads the process's resident memory
// (/proc/PID/status) at that moment, and ends the process by its PID. Nothing is clicked. At the
// end: the medians of both, and the ratios. It judges nothing.
//
// The tool opens its UDP sockets at start, so the benchmark runs only where the network is
// private: every interface is a loopback one (inside `unshare --net`). As root it makes such a
// namespace for itself; elsewhere it refuses.
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tools/bench/bench_support.h"

namespace {

using Clock = std::chrono::steady_clock;
using quorin::tools::median;

constexpr int kMapTimeoutMs = 20000;  // a start that takes longer counts as failed
constexpr int kXvfbReadyTimeoutMs = 10000;
constexpr int kExitGraceMs = 3000;  // after SIGTERM, before SIGKILL
constexpr int kCannotRun = 77;      // no private network or no X server: nothing measured

// Every interface is a loopback one: datagrams the tool sends cannot leave the machine.
bool network_is_private() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    bool only_loopback = true;
    for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if (!(i->ifa_flags & IFF_LOOPBACK)) only_loopback = false;
    }
    ::freeifaddrs(list);
    return only_loopback;
}

// The figures of /proc/PID/status this benchmark reports, in KiB.
struct Memory {
    double rss = -1, anon = -1, file = -1, shmem = -1;
};

Memory read_memory(pid_t pid) {
    Memory m;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return m;
    for (const QByteArray& line : status.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() < 2) continue;
        const double kib = parts[1].toDouble();
        if (parts[0] == "VmRSS:") m.rss = kib;
        if (parts[0] == "RssAnon:") m.anon = kib;
        if (parts[0] == "RssFile:") m.file = kib;
        if (parts[0] == "RssShmem:") m.shmem = kib;
    }
    return m;
}

// Processor time the process's threads have used so far, in milliseconds (the scheduler's own
// account, in nanoseconds, of every thread still alive).
double processor_ms(pid_t pid) {
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    double ns = 0;
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks + "/" + task + "/schedstat");
        if (schedstat.open(QIODevice::ReadOnly)) ns += schedstat.readAll().split(' ')[0].toDouble();
    }
    return ns / 1e6;
}

// Ends a started process: SIGTERM, SIGKILL when it does not end within the grace period.
void end_process(pid_t pid) {
    ::kill(pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kExitGraceMs);
    while (Clock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
        ::usleep(2000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// A child that ends with this program, with its output discarded unless `verbose`.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, bool verbose,
            int keep_fd = -1) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    if (!verbose) {
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    if (keep_fd >= 0) ::fcntl(keep_fd, F_SETFD, 0);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

// Xvfb on the first free display number, which it reports through a pipe.
struct Xvfb {
    pid_t pid = -1;
    int display = -1;

    bool start(const std::string& program, bool verbose) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        pid = spawn({program, "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-screen",
                     "0", "1280x1024x24", "-noreset"},
                    {}, verbose, fds[1]);
        ::close(fds[1]);
        std::string seen;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kXvfbReadyTimeoutMs);
        while (seen.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buffer[32];
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            seen.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fds[0]);
        if (seen.find('\n') == std::string::npos) return false;
        display = std::atoi(seen.c_str());
        return true;
    }
    ~Xvfb() {
        if (pid > 0) end_process(pid);
    }
};

// Watches the root window of one screen for top-level windows being mapped.
class MapWatcher {
  public:
    bool connect(int display) {
        const std::string name = ":" + std::to_string(display);
        connection_ = xcb_connect(name.c_str(), nullptr);
        if (xcb_connection_has_error(connection_)) return false;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        const char atom[] = "_NET_WM_PID";
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, sizeof atom - 1, atom), nullptr);
        if (reply == nullptr) return false;
        pid_atom_ = reply->atom;
        std::free(reply);
        xcb_flush(connection_);
        return true;
    }
    ~MapWatcher() {
        if (connection_) xcb_disconnect(connection_);
    }

    // Waits for a window of process `pid` to be mapped; returns the moment it was seen, or
    // nullopt when the process ended or `timeout_ms` passed first.
    std::optional<Clock::time_point> waitForMap(pid_t pid, int timeout_ms) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        const int fd = xcb_get_file_descriptor(connection_);
        while (Clock::now() < deadline) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const auto seen = Clock::now();
                const bool map = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
                const xcb_window_t window =
                    map ? reinterpret_cast<xcb_map_notify_event_t*>(event)->window : 0;
                std::free(event);
                if (!map) continue;
                if (const pid_t owner = windowPid(window); owner > 0 && descends(owner, pid)) {
                    window_pid_ = owner;
                    return seen;
                }
            }
            if (xcb_connection_has_error(connection_)) return std::nullopt;
            if (::waitpid(pid, nullptr, WNOHANG) == pid) return std::nullopt;
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 50);
        }
        return std::nullopt;
    }

    // The process whose window was seen last: the started one, or under --wrap a descendant.
    pid_t windowOwner() const { return window_pid_; }

  private:
    // Whether process `pid` is `ancestor` or one of its descendants.
    static bool descends(pid_t pid, pid_t ancestor) {
        for (int depth = 0; pid > 1 && depth < 8; ++depth) {
            if (pid == ancestor) return true;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly)) return false;
            // "pid (comm) state ppid ...": comm may hold spaces, the last ')' ends it.
            const QByteArray text = stat.readAll();
            const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (rest.size() < 2) return false;
            pid = static_cast<pid_t>(rest[1].toInt());
        }
        return false;
    }

    // The _NET_WM_PID of a window, or -1 when it has none (or is gone).
    pid_t windowPid(xcb_window_t window) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, window, pid_atom_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        pid_t pid = -1;
        if (reply != nullptr && xcb_get_property_value_length(reply) == 4) {
            pid = static_cast<pid_t>(*static_cast<uint32_t*>(xcb_get_property_value(reply)));
        }
        std::free(reply);
        return pid;
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t pid_atom_ = 0;
    pid_t window_pid_ = -1;
};

struct Sample {
    double ms = -1;
    double cpu_ms = -1;
    Memory memory;
};

// One start of `program`: from fork to its window mapped, and its memory then.
// One start of `program` (under the `wrap` command line, if any): from fork to its window mapped,
// and the memory of the window's process then.
Sample measure(const std::string& program, const std::vector<std::string>& wrap,
               const std::vector<std::string>& env, MapWatcher& watcher, bool verbose) {
    Sample sample;
    std::vector<std::string> argv = wrap;
    argv.push_back(program);
    const auto begin = Clock::now();
    const pid_t pid = spawn(argv, env, verbose);
    if (pid < 0) return sample;
    if (const auto mapped = watcher.waitForMap(pid, kMapTimeoutMs)) {
        const pid_t owner = watcher.windowOwner();
        sample.memory = read_memory(owner);
        sample.cpu_ms = processor_ms(owner);
        sample.ms = std::chrono::duration<double, std::milli>(*mapped - begin).count();
        // A wrapper reports on its program once that ends.
        if (owner != pid) ::kill(owner, SIGTERM);
    }
    end_process(pid);
    return sample;
}

QString mib(double kib) {
    return QString::number(kib / 1024.0, 'f', 1) + " MiB";
}

struct Series {
    std::vector<double> ms, cpu, rss, anon, file, shmem;
    void add(const Sample& s) {
        if (s.ms < 0) return;
        ms.push_back(s.ms);
        cpu.push_back(s.cpu_ms);
        rss.push_back(s.memory.rss);
        anon.push_back(s.memory.anon);
        file.push_back(s.memory.file);
        shmem.push_back(s.memory.shmem);
    }
};

QString describe(const Sample& s) {
    if (s.ms < 0) return QStringLiteral("(no window)");
    return QString::number(s.ms, 'f', 1) + " ms (processor " + QString::number(s.cpu_ms, 'f', 1) +
           " ms), " + mib(s.memory.rss);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication qt(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Time from starting the tool until its window is mapped, and its resident memory then, "
        "beside a minimal Qt dialog, both under an Xvfb of its own.\n"
        "It runs only in a private network namespace (every interface a loopback one), since the "
        "tool opens its UDP sockets at start: inside `unshare --net`, or as root, where it makes "
        "one for itself. Elsewhere it refuses and exits 77.");
    parser.addHelpOption();
    parser.addOption({"tool", "Path of QuorinConfigTool.", "path"});
    parser.addOption({"minimal", "Path of minimal-dialog.", "path"});
    parser.addOption({"xvfb", "The X server to start.", "path", "Xvfb"});
    parser.addOption({"runs", "Starts of each program counted.", "n", "21"});
    parser.addOption({"warmup", "Starts of each program first, not counted.", "n", "1"});
    parser.addOption({"verbose", "Keep the programs' output."});
    parser.addOption({"wrap",
                      "A command line to start both programs under, split at spaces (a profiler: "
                      "'strace -f -c -o FILE'); the window's process may be its descendant.",
                      "command"});
    parser.process(qt);

    QTextStream out(stdout);
    if (!network_is_private() && ::geteuid() == 0) ::unshare(CLONE_NEWNET);
    if (!network_is_private()) {
        std::fprintf(stderr,
                     "startup-bench: the network is not private; run it inside `unshare --net` "
                     "(or as root)\n");
        return kCannotRun;
    }

    const QString dir = QCoreApplication::applicationDirPath();
    const std::string tool =
        (parser.isSet("tool") ? parser.value("tool") : dir + "/../app/QuorinConfigTool")
            .toStdString();
    const std::string minimal =
        (parser.isSet("minimal") ? parser.value("minimal") : dir + "/minimal-dialog").toStdString();
    for (const std::string& program : {tool, minimal}) {
        if (!QFileInfo(QString::fromStdString(program)).isExecutable()) {
            std::fprintf(stderr, "startup-bench: no program %s\n", program.c_str());
            return 2;
        }
    }
    const int runs = std::max(1, parser.value("runs").toInt());
    const int warmup = std::max(0, parser.value("warmup").toInt());
    const bool verbose = parser.isSet("verbose");
    std::vector<std::string> wrap;
    for (const QString& word : parser.value("wrap").split(' ', Qt::SkipEmptyParts))
        wrap.push_back(word.toStdString());

    Xvfb xvfb;
    if (!xvfb.start(parser.value("xvfb").toStdString(), verbose)) {
        std::fprintf(stderr, "startup-bench: could not start %s\n",
                     qPrintable(parser.value("xvfb")));
        return kCannotRun;
    }
    MapWatcher watcher;
    if (!watcher.connect(xvfb.display)) {
        std::fprintf(stderr, "startup-bench: could not connect to display :%d\n", xvfb.display);
        return kCannotRun;
    }
    const std::vector<std::string> env{"DISPLAY=:" + std::to_string(xvfb.display),
                                       "QT_QPA_PLATFORM=xcb"};
    out << "startup-bench: display :" << xvfb.display << ", " << runs << " run(s) of each, "
        << warmup << " warm-up\n";
    out.flush();

    for (int i = 0; i < warmup; ++i) {
        measure(tool, wrap, env, watcher, verbose);
        measure(minimal, wrap, env, watcher, verbose);
    }
    Series tool_series, minimal_series;
    for (int run = 1; run <= runs; ++run) {
        const Sample t = measure(tool, wrap, env, watcher, verbose);
        const Sample m = measure(minimal, wrap, env, watcher, verbose);
        tool_series.add(t);
        minimal_series.add(m);
        out << "run " << run << ": tool " << describe(t) << "; minimal dialog " << describe(m)
            << "\n";
        out.flush();
    }

    const auto report = [&out](const char* name, const Series& s) {
        out << "median " << name << ": window mapped after "
            << QString::number(median(s.ms), 'f', 1) << " ms (processor "
            << QString::number(median(s.cpu), 'f', 1) << " ms), resident " << mib(median(s.rss))
            << " (anonymous " << mib(median(s.anon)) << ", file " << mib(median(s.file))
            << ", shared " << mib(median(s.shmem)) << ") over " << s.ms.size() << " runs\n";
    };
    report("tool", tool_series);
    report("minimal dialog", minimal_series);
    if (!tool_series.ms.empty() && !minimal_series.ms.empty()) {
        out << "ratio tool / minimal dialog: time "
            << QString::number(median(tool_series.ms) / median(minimal_series.ms), 'f', 2)
            << ", processor time "
            << QString::number(median(tool_series.cpu) / median(minimal_series.cpu), 'f', 2)
            << ", resident memory "
            << QString::number(median(tool_series.rss) / median(minimal_series.rss), 'f', 2)
            << "\n";
    }
    const bool all = static_cast<int>(tool_series.ms.size()) == runs &&
                     static_cast<int>(minimal_series.ms.size()) == runs;
    return all ? 0 : 1;
}
