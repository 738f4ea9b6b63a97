// Runs quorin-board-sim as a child process on loopback, for the demo and the benchmarks.
#pragma once

#include <sys/prctl.h>

#include <csignal>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace quorin::tools {

// Runs the event loop until `done` holds or `ms` milliseconds have passed.
template <class Pred>
bool waitFor(Pred done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// Runs the event loop, sleeping while nothing happens, until `done` holds (checked after every
// pass of the loop) or `ms` milliseconds have passed. Unlike waitFor it does not spin, so it takes
// no processor time away from what it waits for.
template <class Pred>
bool waitSleeping(Pred done, int ms) {
    QElapsedTimer t;
    t.start();
    QTimer wake;  // ends the last wait
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!done()) {
        const qint64 left = ms - t.elapsed();
        if (left <= 0) break;
        if (!wake.isActive()) wake.start(static_cast<int>(left));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

// The simulator binds ports the system chooses and says which on its "ready" line.
struct SimulatorProcess {
    QProcess process;
    quint16 main_port = 0;
    quint16 legacy_port = 0;

    // Starts `program` with `boards` (its --boards value) and any further arguments; true once
    // it is ready.
    bool start(const QString& program, const QString& boards, const QStringList& extra = {}) {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The simulator ends with this program, also when this program is killed or crashes.
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process.start(program, QStringList{"--bind", "0.0.0.0", "--main-port", "0", "--legacy-port",
                                           "0", "--boards", boards, "--duration", "3600"} +
                                   extra);
        if (!process.waitForStarted(5000)) return false;
        static const QRegularExpression ready(R"(ready main=(\d+) legacy=(\d+))");
        QByteArray seen;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            if (!process.waitForReadyRead(200) && process.state() != QProcess::Running) break;
            seen += process.readAll();
            const auto m = ready.match(QString::fromUtf8(seen));
            if (m.hasMatch()) {
                main_port = static_cast<quint16>(m.captured(1).toUInt());
                legacy_port = static_cast<quint16>(m.captured(2).toUInt());
                return true;
            }
        }
        return false;
    }
    void stop() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(3000)) process.kill();
        process.waitForFinished(1000);
    }
    ~SimulatorProcess() { stop(); }
};

}  // namespace quorin::tools
