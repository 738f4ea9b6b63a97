// One board's firmware upload from the command line, run as the window runs it for its selected
// board: the upload request through the engine, the waits the window keeps, the same transfer
// adapters (CUploadSock for main-protocol boards, UploadWorker for "0004" boards) and the board's
// completion. What the window would show in its progress bar and message boxes is kept here for
// the command to print.
//
// Main protocol: request, the board's upload reply (guarded: kUploadGuardMs), kStartDelayMs, the
// acknowledged transfer, the board's upload-complete report (guarded: kUploadGuardMs).
// "0004" boards: request (never answered), kStreamStartMs, the streamed transfer and its
// finishing phase.
//
// The owner routes the engine's datagrams to the upload by MAC (operationState(), dispatched())
// and gives each upload its own window timers: several run side by side.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "cli/board_engine.h"
#include "platform/window_timers.h"
#include "protocol/config_core.h"
#include "upload/pacer.h"
#include "upload/transfer_host.h"
#include "upload/upload_sock.h"
#include "upload/upload_worker.h"

namespace quorin::cli {

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

    // The operation state under which this board's datagrams are read.
    int operationState() const { return op_state_; }
    // What the dispatcher made of a datagram from this board.
    void dispatched(const std::vector<Action>& actions);

    Phase phase() const;
    bool ended() const { return phase_ == Phase::Done || phase_ == Phase::Failed; }
    bool legacy() const { return legacy_; }
    const FoundBoard& board() const { return board_; }
    // The transfer's progress as the window's bar shows it.
    int progressPosition() const { return pos_; }
    int progressRange() const { return range_; }
    // The messages the window would have shown for this upload, in order: on success the
    // completion text, on failure what went wrong.
    const QStringList& messages() const { return messages_; }

  private:
    void onTimer(int id);
    void startTransfer();
    void succeed();
    void fail(const QString& message);
    void changed();

    // TransferHost: what the transfers tell the window.
    void setProgressRange(int upper) override;
    void setProgressStepSize(int step) override { step_ = step; }
    void stepProgress() override;
    void setProgressPosition(int pos) override;
    void showMessage(const QString& text) override { messages_ << text; }
    // The log lines mark the transfer's steps (the streamed transfer's end among them): only a
    // cue to look at the progress again.
    void appendLog(const QString&) override { changed(); }
    void setOperationState(int state) override { op_state_ = state; }
    void transferEnded(TransferKind kind, bool succeeded) override;

    BoardEngine& engine_;
    FoundBoard board_;
    Target target_;
    platform::WindowTimers& timers_;
    bool legacy_ = false;
    CUploadSock sock_;
    UploadWorker worker_;
    std::function<void()> changed_;

    Phase phase_ = Phase::Waiting;
    int op_state_ = opstate::kIdle;
    int range_ = 0;
    int pos_ = 0;
    int step_ = 1;
    QStringList messages_;
};

// Routes the engine's datagrams to `uploads` by the MAC address each carries, each read under its
// board's operation state, until the engine's router is replaced. The uploads outlive the routing.
void route_to_uploads(BoardEngine& engine, const std::vector<BoardUpload*>& uploads);

}  // namespace quorin::cli
