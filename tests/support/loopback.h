// Helpers for tests that talk over loopback: waiting on the event loop, and aiming the tool at
// simulated boards on 127.255.255.255.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>

#include "app/quorin_config_tool_app.h"

namespace quorin::testing {

// Runs the event loop until `done` holds or `ms` milliseconds have passed; returns `done()`.
template <class Pred>
bool waitFor(Pred done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// Runs the event loop for `ms` milliseconds, so that late datagrams arrive.
inline void settle(int ms = 300) {
    waitFor([] { return false; }, ms);
}

// Requests go to 127.255.255.255 on the given board ports; the legacy socket binds a port the
// system chooses, so that tests can run side by side. Firmware transfers connect to the given TCP
// ports (0, where nothing listens, unless a test says otherwise).
inline NetworkTarget loopback_target(quint16 main_port, quint16 legacy_port,
                                     quint16 upload_port = 0, quint16 stream_port = 0) {
    NetworkTarget t;
    t.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
    t.main_port = main_port;
    t.legacy_board_port = legacy_port;
    t.legacy_local_port = 0;
    t.upload_port = upload_port;
    t.stream_port = stream_port;
    return t;
}

}  // namespace quorin::testing
