// The streamed transfer's connection, used only on the worker's thread: a TCP client on a plain
// non-blocking socket that connects, sends an item whole (or reports failure, keeping what is
// still unsent so that a retry never sends a byte twice) and closes after the last byte has left.
// Every wait is bounded and gives up early when `stop` is set. A connection that has not completed
// within its attempt's time is kept: the next send attempts wait for it, each within its own time.
#pragma once

#include <QHostAddress>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/upload_transfer.h"

namespace quorin {

// Bounds of the worker's blocking waits. A connection attempt and a send attempt wait no longer
// than the spacing of their retries (a send attempt: the time the Send action gives), so that a
// board that stalls fails in about the time the retries take.
inline constexpr int kStreamConnectWaitMs = kStreamConnectRetryMs;
inline constexpr int kStreamCloseWaitMs = 2000;  // for what is queued to leave at the close
inline constexpr int kStreamWaitSliceMs = 50;    // how often a wait looks at `stop`

class StreamLink {
  public:
    explicit StreamLink(const std::atomic<bool>& stop);
    ~StreamLink();
    StreamLink(const StreamLink&) = delete;
    StreamLink& operator=(const StreamLink&) = delete;

    // A new connection (any earlier one is dropped). Connected once made; InProgress when it has
    // not completed within kStreamConnectWaitMs; Failed when refused or unreachable (or not an
    // IPv4 address); SocketUnavailable when the system would not make a socket.
    StreamTransfer::ConnectResult connect(const QHostAddress& board, quint16 port);
    // Sends `bytes` whole, or the rest of the item a failed attempt left unsent, waiting at most
    // `wait_ms` for a connection in progress and for the system to take the bytes. False when
    // there is no connection, on an error, or when the time is up.
    bool send(std::span<const std::uint8_t> bytes, int wait_ms);
    // Closes the connection after what was sent has left: the board's close is awaited up to
    // kStreamCloseWaitMs (cut off at once when stopping).
    void close();

  private:
    enum class Wait { Ready, TimedOut, Failed };
    // Waits up to `ms` for `events` on the socket, in slices that look at `stop`.
    Wait wait_for(short events, int ms);
    // Whether a connection in progress has completed; false with the socket dropped on an error.
    bool finish_connect(int ms);
    void drop();

    const std::atomic<bool>& stop_;
    int fd_ = -1;
    bool connected_ = false;
    std::vector<std::uint8_t> unsent_;  // what a failed attempt left of the current item
    bool pending_ = false;              // the current item is partly sent
};

}  // namespace quorin
