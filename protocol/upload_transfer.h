// The two firmware transfers without I/O: state machines that take events (connected, bytes
// received, peer closed, a timer expired, a pause over, a send done) and return the actions the
// caller carries out in order (send these bytes, close, arm a timer, move the progress bar, show a
// message, append a log line, ...). The Qt adapters in upload/ own the sockets, the timers and
// the worker thread and only carry the actions out.
//
// Acknowledged transfer (main-protocol boards, TCP port 34005): a 4-byte little-endian size, then
// blocks of min(1024, rest) bytes, each sent only after the board has acknowledged the previous
// send with three bytes whose first byte is 0x20.
//
// Streamed transfer (legacy boards, TCP port 50003): a 4-byte big-endian size, then the image in
// blocks of 1024 bytes with fixed pauses, nothing read back. The upload procedure follows it with
// a finishing phase of ten progress steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorin {

// Window timers of the transfers. The identifiers are shared with the window's other timers.
namespace uploadtimer {
inline constexpr int kConnectRetry = 1;  // acknowledged: the connection has not completed
inline constexpr int kConnectRetryMs = 100;
inline constexpr int kAckTimeout = 2;  // acknowledged: no acknowledgement of the last send
inline constexpr int kAckTimeoutMs = 5000;
}  // namespace uploadtimer

// Acknowledged transfer states. The values are the codes the tool has always used.
enum class AckState : std::uint8_t {
    Idle = 1,        // at start and after every failure
    Connecting = 4,  // timer 1 armed
    Connected = 5,   // the image is being read
    SizeSent = 6,    // awaiting the size header's acknowledgement; timer 2 armed
    BlockSent = 2,   // awaiting a block's acknowledgement; timer 2 armed
    Accepted = 3,    // held only while the next step is decided
    Finished = 7,    // the last block acknowledged and the connection closed
};
std::string_view to_string(AckState state);

// Streamed transfer status.
enum class StreamStatus : std::uint8_t { None = 0, Running = 1, Completed = 2, Failed = 3 };
std::string_view to_string(StreamStatus status);

// How a transfer ended.
enum class TransferOutcome : std::uint8_t {
    Succeeded,          // acknowledged: the last block acknowledged; streamed: every block sent
    SocketUnavailable,  // no socket could be made ("Error Code: %d", "SOCKET CREATION ERROR")
    ConnectFailed,      // the board did not take the connection
    AckTimeout,         // acknowledged: no acknowledgement in time
    ImageUnreadable,    // the image could not be opened or read whole when it was loaded
    ImageTooLarge,      // the image does not fit the 32-bit size header
    ImageEmpty,         // streamed: an empty image (or one that cannot be opened)
    SendFailed,         // streamed: the size header or a block could not be sent
};
std::string_view to_string(TransferOutcome outcome);

// Wire and pacing constants.
inline constexpr std::size_t kUploadBlockBytes = 1024;
inline constexpr std::size_t kUploadSizeHeaderBytes = 4;
inline constexpr std::size_t kUploadAckBytes = 3;
inline constexpr std::uint8_t kUploadAckAccepted = 0x20;
// An image must fit the 32-bit size header: 4 GiB - 1 bytes at most.
inline constexpr std::uint64_t kMaxImageBytes = 0xFFFFFFFFu;
inline constexpr int kAckConnectAttempts = 3;
inline constexpr int kStreamStartPauseMs = 300;  // before the first connection attempt
inline constexpr int kStreamConnectAttempts = 5;
inline constexpr int kStreamConnectRetryMs = 500;
inline constexpr int kStreamSendAttempts = 5;  // per item: the size header or one block
inline constexpr int kStreamHeaderRetryMs = 100;
inline constexpr int kStreamBlockRetryMs = 200;
inline constexpr int kStreamPauseMs = 100;  // after the size header and after every block
// The finishing phase after the last block (the upload procedure runs it): ten progress steps,
// which the streamed transfer's progress range already counts.
inline constexpr int kStreamFinishSteps = 10;

// An image's bytes, read once and shared by every transfer that sends them.
using ImageBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// The image file as read whole by the caller, before any byte of it is sent.
struct ImageLoad {
    enum class Result {
        Ok,
        CannotOpen,  // the file could not be opened
        TooLarge,    // kMaxImageBytes exceeded: the size header cannot carry it
        ReadFailed,  // a read failed, or the file changed size while it was read
    };
    Result result = Result::Ok;
    std::vector<std::uint8_t> bytes;
    // When set, the bytes (read once for several transfers); `bytes` is then left empty.
    ImageBytes shared;

    std::size_t size() const { return shared ? shared->size() : bytes.size(); }
};

// The image's bytes as the transfer keeps them: `shared` itself, or `bytes` moved into a buffer.
ImageBytes take_bytes(ImageLoad& image);

// Whether an image of `size` bytes can be announced in the 32-bit size header.
constexpr bool image_size_fits(std::uint64_t size) {
    return size <= kMaxImageBytes;
}

// The size headers: little-endian for the acknowledged transfer, big-endian for the streamed one.
std::vector<std::uint8_t> ack_size_header(std::uint32_t size);
std::vector<std::uint8_t> stream_size_header(std::uint32_t size);

// `text` with its first "%d" replaced by `value` in decimal.
std::string with_number(std::string_view text, long long value);

// One step for the caller. Socket-side kinds are carried out by whoever owns the connection, the
// others by the window (or a command line standing in for it).
struct TransferAction {
    enum Kind {
        // Connection.
        Connect,    // open a new connection to the board (any earlier one is closed first)
        Send,       // send `bytes` whole: the rest of a partial send goes before anything else
                    // (streamed: one attempt, waiting at most `value` ms)
        Close,      // close the connection once what was sent has left
        LoadImage,  // read the image file whole and report it (acknowledged: image_loaded)
        Pause,      // wait `value` ms, then report pause_done (streamed transfer)
        // Window.
        ArmTimer,       // arm window timer `timer` with `value` ms (one-shot; re-arming restarts)
        StopTimer,      // stop window timer `timer`
        ProgressRange,  // progress bar range 0 to `value`
        ProgressStepSize,  // progress bar step `value`
        ProgressStep,      // one progress step
        ProgressPos,       // progress bar position `value`
        Message,           // message box `text`
        Log,               // log line `text`
        SentWhole,         // the image's last byte has been sent (its acknowledgement may follow)
        Ended,             // the transfer is over, as `outcome` says
    };
    Kind kind;
    int value = 0;
    int timer = 0;
    std::string text;
    std::vector<std::uint8_t> bytes;
    TransferOutcome outcome = TransferOutcome::Succeeded;

    friend bool operator==(const TransferAction&, const TransferAction&) = default;
};
using TransferActions = std::vector<TransferAction>;

// True for the kinds the connection's owner carries out (Connect, Send, Close, LoadImage, Pause).
bool is_connection_action(TransferAction::Kind kind);

// The acknowledged transfer. One transfer at a time; start() begins a new one from any state.
//
// The machine holds the image while the transfer runs. Acknowledgements are reassembled from
// whatever pieces the connection delivers: each takes exactly three bytes.
class AckTransfer {
  public:
    // First connection attempt: Connect, timer 1, state 4.
    TransferActions start();
    // The connection has been made. In state 4: timer 1 stopped, state 5, LoadImage.
    TransferActions connected();
    // A connection attempt failed. Nothing: timer 1 decides.
    TransferActions connect_failed();
    // The connection's socket could not be created (`error`: the platform's error number).
    // "Error Code: %d", back to idle, the transfer ends.
    TransferActions socket_unavailable(int error);
    // The image, read whole after the connection was made (state 5): progress range, size header,
    // state 6, timer 2. An image that could not be read ends the transfer with a message.
    TransferActions image_loaded(ImageLoad image);
    // Bytes from the board, split anyhow. Each complete acknowledgement is taken in turn.
    TransferActions bytes_received(std::span<const std::uint8_t> bytes);
    // The board closed the connection: progress to 0 and close; the state is kept, so an armed
    // timer 2 still reports the timeout.
    TransferActions peer_closed();
    // Timer 1 (connection retry or failure) or timer 2 (acknowledgement timeout) expired.
    TransferActions timer_expired(int timer);

    AckState state() const { return state_; }
    int connect_attempts() const { return attempts_; }
    std::uint32_t remaining() const { return remaining_; }
    std::uint32_t send_offset() const { return offset_; }

  private:
    void take_ack(std::uint8_t first, TransferActions& out);
    void send_next_block(TransferActions& out);
    void finish(TransferActions& out);
    void fail(std::string message, TransferOutcome outcome, TransferActions& out);

    AckState state_ = AckState::Idle;
    int attempts_ = 0;
    ImageBytes image_;
    std::uint32_t remaining_ = 0;
    std::uint32_t offset_ = 0;
    std::vector<std::uint8_t> ack_;  // bytes of an acknowledgement not yet complete
};

// The streamed transfer, driven by the worker that owns its connection: every event returns the
// window's actions followed by at most one connection action that the worker carries out before
// it reports the next event (Pause -> pause_done, Connect -> connect_result, Send -> send_result).
// No such action means the worker is done.
class StreamTransfer {
  public:
    enum class ConnectResult {
        Connected,          // connected, or already connected
        InProgress,         // not yet complete: the size header goes out as if connected
        Failed,             // refused or failed: retried
        SocketUnavailable,  // no socket could be created
    };

    // Either the failure of an unusable image or the range, step size and the first pause.
    TransferActions start(ImageLoad image);
    TransferActions pause_done();
    TransferActions connect_result(ConnectResult result);
    TransferActions send_result(bool sent);

    std::uint64_t total_sent() const { return total_; }
    int blocks_sent() const { return blocks_; }

  private:
    enum class Step {
        Idle,
        StartPause,
        Connecting,
        ConnectRetryPause,
        SendingHeader,
        HeaderRetryPause,
        HeaderPause,
        SendingBlock,
        BlockRetryPause,
        BlockPause,
        Done,
    };

    void send_header(TransferActions& out);
    void send_block(TransferActions& out);
    // Close, the transfer ends. `after_block`: a data block could not be sent (the progress bar
    // returns to 0).
    void fail(std::string_view message, TransferOutcome outcome, bool after_block,
              TransferActions& out);
    void finish(TransferActions& out);

    Step step_ = Step::Idle;
    ImageBytes image_;
    std::uint32_t size_ = 0;
    std::uint32_t total_ = 0;
    std::size_t block_length_ = 0;
    int blocks_ = 0;
    int attempts_ = 0;          // send attempts of the current item
    int connect_attempts_ = 0;  // failed connection attempts
};

}  // namespace quorin
