// The board's end of the two firmware transfers, without I/O: bytes from the connection go in,
// bytes to send back, a close request and log notes come out. The Qt adapter owns the socket.
//
// Acknowledged transfer (main protocol): a 4-byte little-endian size, then blocks of
// min(1024, bytes left). The board answers the size and every block with a 3-byte
// acknowledgement: 0x20, then the number of blocks taken so far as 16 bits, least significant
// byte first (0 after the size). The image is complete when the last block has arrived.
//
// Streamed transfer (legacy protocol): a 4-byte big-endian size, then the bytes; nothing is sent
// back. The image is complete when that many bytes have arrived; the board then closes.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>
#include <QJsonObject>
#include <cstdint>
#include <vector>

#include "sim/board_responder.h"
#include "sim/sim_board.h"

namespace quorin::sim {

inline constexpr std::size_t kUploadBlockSize = 1024;
inline constexpr std::size_t kUploadSizeHeaderLength = 4;
inline constexpr std::size_t kAckLength = 3;
inline constexpr std::uint8_t kAckAccepted = 0x20;

struct ReceiverOutput {
    QByteArray send;                  // write these bytes to the connection
    bool close = false;               // then close it
    bool image_complete = false;      // the whole image has now arrived
    std::vector<QJsonObject> events;  // log notes: {"event": "upload_size" | "ack_sent" |
                                      // "fault" | "unexpected_bytes", ...}
};

class ImageReceiver {
  public:
    ImageReceiver(UploadKind kind, const FaultConfig& faults);

    // Takes bytes as they arrive from the connection (any split) and says what to do.
    ReceiverOutput feed(QByteArrayView bytes);

    UploadKind kind() const { return kind_; }
    bool size_known() const { return phase_ != Phase::Size; }
    std::uint32_t declared_size() const { return declared_; }
    std::uint64_t received() const { return received_; }  // image bytes, size header excluded
    int blocks() const { return blocks_; }                // blocks taken (acknowledged transfer)
    bool complete() const { return phase_ == Phase::Done; }
    bool closed_by_board() const { return phase_ == Phase::Closed; }
    QString sha256_hex() const;  // of the image bytes received so far

  private:
    enum class Phase { Size, Data, Done, Closed };

    void take_size(ReceiverOutput& out);
    void take_acknowledged(ReceiverOutput& out);
    void take_streamed(ReceiverOutput& out);
    void acknowledge(ReceiverOutput& out, int block, std::size_t length);
    void close_for_fault(ReceiverOutput& out);

    UploadKind kind_;
    FaultConfig faults_;
    Phase phase_ = Phase::Size;
    QByteArray pending_;
    std::uint32_t declared_ = 0;
    std::uint64_t received_ = 0;
    int blocks_ = 0;
    bool ack_byte_noted_ = false;
    bool ack_stop_noted_ = false;
    bool extra_noted_ = false;
    QCryptographicHash hash_{QCryptographicHash::Sha256};
};

}  // namespace quorin::sim
