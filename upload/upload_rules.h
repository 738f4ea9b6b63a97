// The upload procedure as rules without widgets, shared by the window and the command line: its
// timers and waits, the window's posted message, which board address a transfer may use, and the
// aging test's series of uploads.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace quorin::upload_rules {

// Window timers of the upload procedure besides the transfers' own (1, 2, 20, 30).
inline constexpr int kAgingRestartTimer = 3;  // runs the Upload command of the aging test
inline constexpr int kAgingRestartMs = 10000;
inline constexpr int kUploadWatchTimer = 10;  // watches the streamed transfer status
inline constexpr int kUploadWatchMs = 3000;
inline constexpr int kStartDelayTimer = 11;  // from the upload reply to the start-transfer message
inline constexpr int kStartDelayMs = 2000;
inline constexpr int kStreamStartTimer = 12;  // from the legacy request to the streamed transfer
inline constexpr int kStreamStartMs = 1000;
// Guards the two waits on the board that nothing else bounds (its upload reply, its
// upload-complete report). Generous: a board writing its flash must not be cut short.
inline constexpr int kUploadGuardTimer = 40;
inline constexpr int kUploadGuardMs = 30000;

// The start-transfer message posted to the window (the platform's first user message + 10).
inline constexpr int kStartTransferMessage = 0x0400 + 10;

// The aging test's cycle limit.
inline constexpr int kAgingCycles = 1000;

// The board address a transfer may connect to: the selected board's local_ip, provided a board
// is selected and its address is not 0.0.0.0; nullopt otherwise ("Pelkor IP address is invalid").
std::optional<std::array<std::uint8_t, 4>> transfer_address(
    std::optional<std::array<std::uint8_t, 4>> selected_board_ip);

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

    // The aging button was clicked: a new series starts at 0 (arm the restart timer). False, and
    // nothing changes, while a series runs.
    bool begin();
    // The acknowledged transfer of an upload of the series has finished.
    Step transfer_finished();
    // An upload of the series failed or could not start. True when this ended a running series.
    bool failed();

    bool running() const { return phase_ == Phase::Counting || phase_ == Phase::LastUpload; }
    Phase phase() const { return phase_; }
    int count() const { return count_; }
    int limit() const { return limit_; }
    // For tests and factory runs: a smaller limit (at least 1); only while no series runs.
    void set_limit(int limit);

  private:
    int limit_;
    int count_ = 0;
    Phase phase_ = Phase::Idle;
};

}  // namespace quorin::upload_rules
