// What a firmware transfer needs from whoever runs it: the main window implements it with its
// progress bar (1039), message boxes and log window; a command line can print instead. Every
// call comes on the thread that owns the transfer object (the window's thread), never from the
// streamed transfer's worker.
#pragma once

#include <QString>

#include "platform/window_timers.h"
#include "protocol/upload_procedure.h"
#include "protocol/upload_transfer.h"

namespace quorin {

class TransferHost {
  public:
    virtual ~TransferHost() = default;

    // Progress: range 0 to `upper` (the window keeps it modulo 65536), step size, one step,
    // position.
    virtual void setProgressRange(int upper) = 0;
    virtual void setProgressStepSize(int step) = 0;
    virtual void stepProgress() = 0;
    virtual void setProgressPosition(int pos) = 0;
    // A message for the operator; returns once it has been seen (a modal box in the window).
    virtual void showMessage(const QString& text) = 0;
    virtual void appendLog(const QString& line) = 0;
    // The image's last byte has been sent; its acknowledgement may still be on its way.
    virtual void transferSentWhole(TransferKind kind) = 0;
    // The transfer is over, after its message when it failed. Acknowledged: Succeeded when the
    // last block was acknowledged (the board's upload-complete report is still to come over UDP).
    // Streamed: Succeeded when every block was sent.
    virtual void transferEnded(TransferKind kind, TransferOutcome outcome) = 0;
};

// Carries out an action of a transfer of `kind` that goes to the host or to the timers (progress,
// message, log line, the image sent whole, end, timer armed or stopped) and returns true. Returns
// false, doing nothing, for the actions the transport carries out itself (connect, send, close,
// image load, pause).
bool report_to_host(const TransferAction& action, TransferKind kind, TransferHost& host,
                    platform::WindowTimers& timers);

}  // namespace quorin
