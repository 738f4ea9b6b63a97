#include "upload/transfer_host.h"

namespace quorin {

bool report_to_host(const TransferAction& a, TransferKind kind, TransferHost& host,
                    platform::WindowTimers& timers) {
    switch (a.kind) {
        case TransferAction::ArmTimer:
            timers.SetTimer(a.timer, a.value);
            return true;
        case TransferAction::StopTimer:
            timers.KillTimer(a.timer);
            return true;
        case TransferAction::ProgressRange:
            host.setProgressRange(a.value);
            return true;
        case TransferAction::ProgressStepSize:
            host.setProgressStepSize(a.value);
            return true;
        case TransferAction::ProgressStep:
            host.stepProgress();
            return true;
        case TransferAction::ProgressPos:
            host.setProgressPosition(a.value);
            return true;
        case TransferAction::Message:
            host.showMessage(QString::fromStdString(a.text));
            return true;
        case TransferAction::Log:
            host.appendLog(QString::fromStdString(a.text));
            return true;
        case TransferAction::SentWhole:
            host.transferSentWhole(kind);
            return true;
        case TransferAction::Ended:
            host.transferEnded(kind, a.outcome);
            return true;
        case TransferAction::Connect:
        case TransferAction::Send:
        case TransferAction::Close:
        case TransferAction::LoadImage:
        case TransferAction::Pause:
            return false;
    }
    return false;
}

}  // namespace quorin
