// One board's firmware upload from the command line: the upload procedure the window runs
// (protocol/upload_procedure.h), on a protocol core of its own whose working record is the
// board's row, with the same transfer adapters (CUploadSock for main-protocol boards,
// UploadWorker for "0004" boards). What the window would show in its progress bar and message
// boxes is kept here for the command to print.
//
// The owner routes the engine's datagrams to the upload by MAC (route_to_uploads) and gives each
// upload its own window timers: several run side by side.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "cli/board_engine.h"
#include "platform/window_timers.h"
#include "protocol/config_core.h"
#include "protocol/record_codec.h"
#include "protocol/upload_procedure.h"
#include "upload/pacer.h"
#include "upload/transfer_host.h"
#include "upload/upload_sock.h"
#include "upload/upload_worker.h"

namespace quorin::cli {

// What the command line tells the upload procedure when an image of `size` bytes is to be sent:
// unlike the window, it refuses an empty image before anything is sent.
UploadStart upload_facts(std::uint64_t size);

class BoardUpload final : public TransferHost {
  public:
    enum class Phase {
        Waiting,         // not started
        Requested,       // main protocol: awaiting the upload reply
        Accepted,        // main protocol: the reply came; the transfer starts after the delay
        Starting,        // "0004": the transfer starts after the wait
        Sending,         // the transfer runs
        Finishing,       // "0004": every block sent; the finishing phase runs
        AwaitingReport,  // main protocol: the last block acknowledged; awaiting the report
        Done,
        Failed,
    };

    struct Target {
        quint16 upload_port = kAckUploadPort;
        quint16 stream_port = kStreamUploadPort;
        QString image_path;
        ImageBytes image;  // when set: sent instead of reading image_path (read once for all)
    };

    // `engine` and `timers` outlive this object; `timers` serve this upload alone.
    BoardUpload(BoardEngine& engine, FoundBoard board, Target target,
                platform::WindowTimers& timers);
    ~BoardUpload() override;
    BoardUpload(const BoardUpload&) = delete;
    BoardUpload& operator=(const BoardUpload&) = delete;

    // Replaces the streamed transfer's pacer (tests). Before start().
    void setPacer(Pacer& pacer) { worker_.setPacer(pacer); }
    // Called on the owner's thread after every change of phase or progress.
    void setObserver(std::function<void()> changed) { changed_ = std::move(changed); }

    // Sends the upload request. An upload that cannot send it fails at once.
    void start();
    // Ends the upload now, wherever it stands (the operator's second signal): the transfer's
    // connection is closed, nothing more is sent. `mid_transfer()` says whether bytes had left.
    void abort();
    // Whether the transfer has begun and not ended: a board cut off now may not start again.
    bool mid_transfer() const;

    // A datagram from this board, read by this upload's own protocol core.
    void receive(std::uint8_t tag, std::span<const std::uint8_t> datagram);

    Phase phase() const;
    bool ended() const { return outcome_.has_value(); }
    // How the upload ended; nullopt while it runs.
    std::optional<UploadOutcome> outcome() const { return outcome_; }
    bool legacy() const { return uses_legacy_protocol(board_.row.product_code); }
    const FoundBoard& board() const { return board_; }
    // The transfer's progress as the window's bar shows it.
    int progressPosition() const { return pos_; }
    int progressRange() const { return range_; }
    // The messages the window would have shown for this upload, in order: on success the
    // completion text, on failure what went wrong.
    const QStringList& messages() const { return messages_; }

  private:
    void onTimer(int id);
    void carryOut(const UploadActions& actions);
    void finish(const UploadAction& ended);
    void changed();

    // TransferHost: what the transfers tell the window.
    void setProgressRange(int upper) override;
    void setProgressStepSize(int step) override { step_ = step; }
    void stepProgress() override;
    void setProgressPosition(int pos) override;
    void showMessage(const QString& text) override { messages_ << text; }
    // The log lines mark the transfer's steps: only a cue to look at the progress again.
    void appendLog(const QString&) override { changed(); }
    void transferSentWhole(TransferKind kind) override;
    void transferEnded(TransferKind kind, TransferOutcome outcome) override;

    BoardEngine& engine_;
    FoundBoard board_;
    Target target_;
    platform::WindowTimers& timers_;
    // Reads this board's replies only: a table of one row, not the window's 200.
    ConfigCore core_{1};
    UploadProcedure procedure_{core_};
    CUploadSock sock_;
    UploadWorker worker_;
    std::function<void()> changed_;

    bool started_ = false;
    std::optional<UploadOutcome> outcome_;
    int range_ = 0;
    int pos_ = 0;
    int step_ = 1;
    QStringList messages_;
};

// Routes the engine's datagrams to `uploads` by the MAC address each carries, until the engine's
// router is replaced. The uploads outlive the routing.
void route_to_uploads(BoardEngine& engine, const std::vector<BoardUpload*>& uploads);

}  // namespace quorin::cli
