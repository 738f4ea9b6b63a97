// The firmware upload procedure without I/O, one instance per board: from the Upload command to
// its end, for both protocols, with the aging test's series of uploads. Events go in (the command,
// the board's upload reply and upload-complete report as the protocol core reads them, timer
// expiries, what the transfer reports); actions come out, to be carried out in order by the face
// that runs it (the window, the command line). The transfers themselves are AckTransfer and
// StreamTransfer, run by the face's adapters.
//
// Main protocol: request -> the board's reply (guarded: kUploadGuardMs) -> kStartDelayMs -> the
// acknowledged transfer -> the board's upload-complete report (guarded: kUploadGuardMs).
// Legacy boards: request (never answered) -> kStreamStartMs -> the streamed transfer -> a
// finishing phase of ten progress steps kFinishStepMs apart.
//
// The procedure drives the operation state of the protocol core it is given (the request through
// send_data, the end of the image and of the upload through the core's upload events); the face
// never touches it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/config_core.h"
#include "protocol/upload_transfer.h"

namespace quorin {

// The procedure's window timers, besides the acknowledged transfer's own (1 and 2).
namespace uploadtimer {
inline constexpr int kAgingRestart = 3;  // the aging test's next upload
inline constexpr int kAgingRestartMs = 10000;
inline constexpr int kUploadWatch = 10;  // watches the streamed transfer status
inline constexpr int kUploadWatchMs = 3000;
inline constexpr int kStartDelay = 11;  // from the upload reply to the acknowledged transfer
inline constexpr int kStartDelayMs = 2000;
inline constexpr int kStreamStart = 12;  // from the legacy request to the streamed transfer
inline constexpr int kStreamStartMs = 1000;
inline constexpr int kFinishStep = 20;  // one step of the streamed transfer's finishing phase
inline constexpr int kFinishStepMs = 500;
inline constexpr int kEmptyImageError = 30;  // the error that follows an empty streamed image
inline constexpr int kEmptyImageErrorMs = 1000;
// Bounds the two waits on the board that nothing else bounds (its upload reply, its
// upload-complete report). Generous: a board writing its flash must not be cut short.
inline constexpr int kUploadGuard = 40;
inline constexpr int kUploadGuardMs = 30000;
}  // namespace uploadtimer

// The aging test's cycle limit.
inline constexpr int kAgingCycles = 1000;

using Ip4 = std::array<std::uint8_t, 4>;

// The board address a transfer may connect to: the board's local_ip, provided there is a board
// and its address is not 0.0.0.0; nullopt otherwise.
std::optional<Ip4> transfer_address(std::optional<Ip4> board_ip);

enum class TransferKind : std::uint8_t {
    Acknowledged,  // main-protocol boards, TCP port 34005
    Streamed,      // legacy boards, TCP port 50003
};
std::string_view to_string(TransferKind kind);

enum class UploadPhase : std::uint8_t {
    Idle,             // no upload runs
    Collecting,       // the command was accepted; the face gathers the working record
    AwaitingReply,    // main: the request went out; the board's reply is awaited (guarded)
    Accepted,         // main: the reply came; the transfer starts after kStartDelayMs
    Starting,         // legacy: the request went out; the transfer starts after kStreamStartMs
    Transferring,     // a transfer runs
    Finishing,        // legacy: every block sent; the finishing phase runs
    EmptyImageError,  // legacy: the image was empty; "Firmware Upload Error" follows
    AwaitingReport,   // main: the last block acknowledged; the board's report is awaited (guarded)
};
std::string_view to_string(UploadPhase phase);

// How an upload ended. Each face words it its own way.
enum class UploadOutcome : std::uint8_t {
    Completed,        // main: the board reported the end; legacy: the finishing phase is over
    NoImage,          // no image was chosen
    ImageUnopenable,  // the image could not be opened
    ImageEmpty,       // the image is empty and the face refuses to send one
    NoBoard,          // no board is selected
    RequestNotSent,   // the system refused the request datagram
    NoReply,          // the board did not answer the request within kUploadGuardMs
    AddressInvalid,   // at the transfer's start no board was selected, or its address is 0.0.0.0
    TransferFailed,   // the transfer failed (UploadAction::transfer says how; it told why)
    NoReport,         // the board did not report the end within kUploadGuardMs
    Abandoned,        // a search or setting was started while the upload waited for the board
    Stopped,          // the face stopped the upload (a window that closes, an interrupted run)
};
std::string_view to_string(UploadOutcome outcome);

// What the face knows when the Upload command runs.
struct UploadStart {
    bool image_chosen = true;    // an image path has been chosen
    bool image_readable = true;  // the file at that path can be opened
    std::uint64_t image_size = 0;
    bool board_selected = true;
    // The face's policy: an empty image ends the upload before anything is sent (a command line
    // checks its input first). The window sends it as it sends any file.
    bool refuse_empty_image = false;
};

// Why the Upload command cannot go ahead with `facts`, checked before anything is sent; nullopt
// when it can.
std::optional<UploadOutcome> upload_refusal(const UploadStart& facts);

struct UploadAction {
    enum Kind {
        Collect,        // gather the working record (a face without one does nothing), then
                        // report collected()
        Send,           // send `datagrams` (the upload request); report request_not_sent() if
                        // the system refuses one
        ArmTimer,       // arm window timer `timer` with `value` ms (one-shot; re-arming restarts)
        StopTimer,      // stop window timer `timer`
        StartTransfer,  // start the `transfer` kind of transfer to `address`
        StopTransfer,   // stop the running transfer without a word
        ProgressStep,   // one progress step
        ProgressPos,    // progress bar position `value`
        Log,            // log line `text`
        UploadError,    // the streamed transfer failed: "Firmware Upload Error"
        LateReport,     // the board reported the end of the upload after kUploadGuardMs had
                        // passed: the upload did complete
        RunUpload,      // the aging test's next upload: run the face's Upload command
        AgingCount,     // show the series' count `value` of `limit`; `counted`: a cycle was
                        // counted just now
        AgingOver,      // the series ended at `value` of `limit`; `counted`: all were counted
        Ended,          // the upload is over, as `outcome` says (`transfer`: how the transfer
                        // ended, with TransferFailed)
    };
    Kind kind;
    int timer = 0;
    int value = 0;
    int limit = 0;
    bool counted = false;
    std::string text;
    std::vector<OutgoingDatagram> datagrams;
    TransferKind transfer = TransferKind::Acknowledged;
    Ip4 address{};
    UploadOutcome outcome = UploadOutcome::Completed;
    TransferOutcome transfer_outcome = TransferOutcome::Succeeded;
};
using UploadActions = std::vector<UploadAction>;

// The aging test: uploads to one board, counted each time the board has acknowledged the last
// block, until `limit` are counted; the timer armed at the last count runs one more upload, which
// is not counted. The first failure, or an upload that ends without acknowledging the last block
// (a streamed one), ends the series. One series at a time.
class AgingSeries {
  public:
    enum class Phase { Idle, Counting, LastUpload, Over };
    struct Step {
        bool counted = false;   // a cycle was counted: show count()
        bool arm_next = false;  // arm the restart timer for the next upload
        bool over = false;      // the series has just ended
    };

    explicit AgingSeries(int limit = kAgingCycles) : limit_(limit) {}

    // A new series starts at 0. False, and nothing changes, while a series runs.
    bool begin();
    // The acknowledged transfer of an upload of the series has finished.
    Step transfer_finished();
    // An upload of the series failed or could not start. True when this ended a running series.
    bool failed();

    bool running() const { return phase_ == Phase::Counting || phase_ == Phase::LastUpload; }
    Phase phase() const { return phase_; }
    int count() const { return count_; }
    int limit() const { return limit_; }
    // A smaller limit (at least 1), for tests and short factory runs; only while no series runs.
    void set_limit(int limit);

  private:
    int limit_;
    int count_ = 0;
    Phase phase_ = Phase::Idle;
};

class UploadProcedure {
  public:
    // `core` outlives the procedure; its working record is the board the upload goes to.
    explicit UploadProcedure(ConfigCore& core) : core_(core) {}

    // The Upload command. Ends at once (NoImage, ImageUnopenable, NoBoard, ImageEmpty) when the
    // upload cannot go ahead; otherwise asks the face to Collect. Nothing while an upload runs.
    UploadActions start(const UploadStart& facts);
    // The working record has been gathered: the request for its product code goes out.
    UploadActions collected();
    // The system refused the request: the upload ends (RequestNotSent).
    UploadActions request_not_sent();

    // What the protocol core made of a datagram: the board's upload reply and its
    // upload-complete report.
    UploadActions upload_reply();
    UploadActions upload_done();

    // Window timer `id` expired. `board_ip`: the address of the board the upload goes to as it
    // stands now (the window's selected board; none when nothing is selected).
    UploadActions timer_expired(int id, std::optional<Ip4> board_ip = std::nullopt);

    // What the running transfer reports.
    UploadActions transfer_sent_whole(TransferKind kind);
    UploadActions transfer_ended(TransferKind kind, TransferOutcome outcome);

    // A search or a setting is about to start. While an acknowledged transfer runs it must not:
    // the board's report would be read as a stray datagram, so the face refuses it. While the
    // upload waits for the board (its reply, the delay after it, the legacy wait, its report)
    // the upload is abandoned; a streamed transfer and its finishing phase need no datagram and
    // go on.
    bool blocks_other_exchange() const;
    UploadActions other_exchange();

    // Stops everything without a word: timers, the transfer, the aging series (Stopped).
    UploadActions stop();

    // The aging test's button: a new series, its first upload kAgingRestartMs later. Nothing
    // while a series runs.
    UploadActions begin_aging();
    void set_aging_limit(int limit) { aging_.set_limit(limit); }
    const AgingSeries& aging() const { return aging_; }

    UploadPhase phase() const { return phase_; }
    bool running() const { return phase_ != UploadPhase::Idle; }
    // Which transfer the running upload uses (legacy boards: Streamed).
    TransferKind kind() const { return kind_; }
    StreamStatus stream_status() const { return stream_status_; }
    int finishing_steps() const { return finish_count_; }

    // Whether the procedure's timer `id` is armed (for tests and the fuzzer's invariants).
    bool armed(int id) const;
    bool any_timer_armed() const { return armed_ != 0; }

  private:
    void end(UploadOutcome outcome, UploadActions& out,
             TransferOutcome transfer = TransferOutcome::Succeeded);
    void begin_transfer(std::optional<Ip4> board_ip, UploadActions& out);
    void count_cycle(UploadActions& out);
    void end_aging(UploadActions& out);
    void arm(int id, int ms, UploadActions& out);
    void disarm(int id, UploadActions& out);

    ConfigCore& core_;
    AgingSeries aging_;
    UploadPhase phase_ = UploadPhase::Idle;
    TransferKind kind_ = TransferKind::Acknowledged;
    StreamStatus stream_status_ = StreamStatus::None;
    int finish_count_ = 0;
    bool sent_whole_ = false;   // the running acknowledged transfer has sent its last byte
    bool late_report_ = false;  // the report guard fired; a late report is still told
    std::uint64_t armed_ = 0;   // bit n: timer n is armed
};

}  // namespace quorin
