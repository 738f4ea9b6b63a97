// Running quorinctl as a child process against quorin-board-sim on loopback, and reading the
// simulator's event log.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <vector>

#include "tests/support/event_log.h"
#include "tests/support/test_image.h"
#include "tools/sim_process.h"

namespace quorin::cli::testing {

constexpr int kRunTimeoutMs = 15000;

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

// Runs the program with `args` (no standard input) until it ends.
inline Outcome run_program(
    const QString& program, const QStringList& args,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
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

// A simulator on loopback with its event log, and quorinctl aimed at it.
class SimulatorTest : public ::testing::Test {
  protected:
    void start(const QString& boards, const QStringList& extra = {}) {
        ASSERT_TRUE(dir_.isValid());
        events_ = dir_.filePath(QStringLiteral("events.jsonl"));
        ASSERT_TRUE(sim_.start(QStringLiteral(QUORIN_BOARD_SIM_PATH), boards,
                               QStringList{"--events", events_} + extra));
    }
    // quorinctl aimed at the simulator, keeping what it must keep (journals, the upload history)
    // in this test's folder.
    Outcome ctl(const QStringList& args, int wait_ms = 400) {
        return run_program(
            QStringLiteral(QUORIN_CTL_PATH),
            QStringList{"--broadcast", "127.255.255.255", "--port", QString::number(sim_.main_port),
                        "--legacy-port", QString::number(sim_.legacy_port), "--legacy-local-port",
                        "0", "--wait", QString::number(wait_ms)} +
                args,
            state_env());
    }
    QProcessEnvironment state_env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir_.filePath(QStringLiteral("state")));
        return env;
    }
    int received() const { return count_events(events_, QStringLiteral("datagram_received")); }
    int set_requests() const {
        return count_events(events_, QStringLiteral("datagram_received"), QStringLiteral("opcode"),
                            3) +
               count_events(events_, QStringLiteral("datagram_received"), QStringLiteral("opcode"),
                            QStringLiteral("SETT"));
    }
    QString file(const QString& name, const QByteArray& content) {
        QFile f(dir_.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return f.fileName();
    }

    QTemporaryDir dir_;
    QString events_;
    quorin::tools::SimulatorProcess sim_;
};

// The simulator with firmware ports of its own, and quorinctl's upload aimed at them.
class UploadSimulatorTest : public SimulatorTest {
  protected:
    void start_boards(const QString& boards, const QStringList& extra = {}) {
        upload_port_ = quorin::testing::free_tcp_port();
        stream_port_ = quorin::testing::free_tcp_port();
        ASSERT_NE(upload_port_, 0);
        ASSERT_NE(stream_port_, 0);
        start(boards, QStringList{"--upload-port", QString::number(upload_port_), "--stream-port",
                                  QString::number(stream_port_)} +
                          extra);
    }
    QStringList upload_args(const QStringList& args) const {
        return QStringList{"--upload-port", QString::number(upload_port_), "--stream-port",
                           QString::number(stream_port_), "upload"} +
               args;
    }
    Outcome upload(const QStringList& args) { return ctl(upload_args(args), 1000); }
    // Upload requests the boards received, of either protocol.
    int upload_requests() const {
        return count_events(events_, "datagram_received", "opcode", OPCODE_UPLOAD) +
               count_events(events_, "datagram_received", "opcode", "FIRS");
    }
    // The sha256 of every image a board took whole, by board.
    std::map<int, QString> received_images() const {
        std::map<int, QString> images;
        for (const QJsonObject& e : read_events(events_)) {
            if (e.value("event").toString() == "image_received" && e.value("complete").toBool())
                images[e.value("board").toInt()] = e.value("sha256").toString();
        }
        return images;
    }

    static constexpr int OPCODE_UPLOAD = 5;
    quint16 upload_port_ = 0;
    quint16 stream_port_ = 0;
};

}  // namespace quorin::cli::testing
