// Running quorinctl as a child process against quorin-board-sim on loopback, and reading the
// simulator's event log.
#pragma once

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <vector>

#include "tests/support/event_log.h"
#include "tools/sim_process.h"

namespace quorin::cli::testing {

constexpr int kRunTimeoutMs = 15000;

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

// Runs the program with `args` (no standard input) until it ends.
inline Outcome run_program(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    Outcome r;
    if (!p.waitForFinished(kRunTimeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

using quorin::testing::read_events;

// Events named `name` whose `key` (when given) equals `value`.
inline int count_events(const QString& path, const QString& name, const QString& key = {},
                        const QJsonValue& value = {}) {
    int n = 0;
    for (const QJsonObject& e : read_events(path)) {
        if (e.value(QStringLiteral("event")).toString() != name) continue;
        if (!key.isEmpty() && e.value(key) != value) continue;
        ++n;
    }
    return n;
}

}  // namespace quorin::cli::testing
