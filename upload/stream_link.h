// The streamed transfer's connection, used only on the worker's thread: a blocking TCP client
// that connects, sends an item whole (or reports failure, keeping what is still queued so that a
// retry never sends a byte twice) and closes after the last byte has left. Every wait is bounded
// and gives up early when `stop` is set.
#pragma once

#include <QHostAddress>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>

#include "protocol/upload_transfer.h"

class QTcpSocket;

namespace quorin {

// Bounds of the worker's blocking waits.
inline constexpr int kStreamConnectWaitMs = 1000;  // beyond it the connection counts as pending
inline constexpr int kStreamSendWaitMs = 2000;     // per send attempt
inline constexpr int kStreamCloseWaitMs = 2000;    // for what is queued to leave at the close
inline constexpr int kStreamWaitSliceMs = 50;      // how often a wait looks at `stop`

class StreamLink {
  public:
    explicit StreamLink(const std::atomic<bool>& stop);
    ~StreamLink();
    StreamLink(const StreamLink&) = delete;
    StreamLink& operator=(const StreamLink&) = delete;

    // A new connection (any earlier one is dropped). Connected once made; InProgress when it has
    // not completed within kStreamConnectWaitMs (sends then fail); Failed when refused or
    // unreachable; SocketUnavailable when the platform would not make a socket.
    StreamTransfer::ConnectResult connect(const QHostAddress& board, quint16 port);
    // Sends `bytes` whole, or the rest of the item a failed attempt left queued. False when not
    // connected, on an error, or when the peer has not taken it within kStreamSendWaitMs.
    bool send(std::span<const std::uint8_t> bytes);
    // Closes the connection after what is queued has left (cut off at once when stopping).
    void close();

  private:
    const std::atomic<bool>& stop_;
    std::unique_ptr<QTcpSocket> socket_;
    bool pending_ = false;  // an item is written but not yet wholly handed to the system
};

}  // namespace quorin
