#include "protocol/upload_procedure.h"

#include <algorithm>

#include "protocol/record_codec.h"
#include "res/texts.h"

namespace quorin {
namespace {

using A = UploadAction;

A act(A::Kind kind, int value = 0) {
    A a{};
    a.kind = kind;
    a.value = value;
    return a;
}

std::string dotted(const Ip4& ip) {
    std::string out;
    for (std::size_t i = 0; i < ip.size(); ++i) {
        if (i > 0) out += '.';
        out += std::to_string(ip[i]);
    }
    return out;
}

// The procedure's own timers, which every end stops (the aging restart outlives an upload).
constexpr int kUploadTimers[] = {uploadtimer::kUploadWatch,     uploadtimer::kStartDelay,
                                 uploadtimer::kStreamStart,     uploadtimer::kFinishStep,
                                 uploadtimer::kEmptyImageError, uploadtimer::kUploadGuard};

constexpr std::uint64_t bit(int id) {
    return id >= 0 && id < 64 ? std::uint64_t{1} << id : 0;
}

}  // namespace

std::optional<Ip4> transfer_address(std::optional<Ip4> board_ip) {
    if (!board_ip || *board_ip == Ip4{}) return std::nullopt;
    return board_ip;
}

std::string_view to_string(TransferKind kind) {
    return kind == TransferKind::Streamed ? "streamed" : "acknowledged";
}

std::string_view to_string(UploadPhase phase) {
    switch (phase) {
        case UploadPhase::Idle:
            return "idle";
        case UploadPhase::Collecting:
            return "collecting";
        case UploadPhase::AwaitingReply:
            return "awaiting reply";
        case UploadPhase::Accepted:
            return "accepted";
        case UploadPhase::Starting:
            return "starting";
        case UploadPhase::Transferring:
            return "transferring";
        case UploadPhase::Finishing:
            return "finishing";
        case UploadPhase::EmptyImageError:
            return "empty image";
        case UploadPhase::AwaitingReport:
            return "awaiting report";
    }
    return "?";
}

std::string_view to_string(UploadOutcome outcome) {
    switch (outcome) {
        case UploadOutcome::Completed:
            return "completed";
        case UploadOutcome::NoImage:
            return "no image";
        case UploadOutcome::ImageUnopenable:
            return "image unopenable";
        case UploadOutcome::ImageEmpty:
            return "image empty";
        case UploadOutcome::NoBoard:
            return "no board";
        case UploadOutcome::RequestNotSent:
            return "request not sent";
        case UploadOutcome::NoReply:
            return "no reply";
        case UploadOutcome::AddressInvalid:
            return "address invalid";
        case UploadOutcome::TransferFailed:
            return "transfer failed";
        case UploadOutcome::NoReport:
            return "no report";
        case UploadOutcome::Abandoned:
            return "abandoned";
        case UploadOutcome::Stopped:
            return "stopped";
    }
    return "?";
}

// --- aging series ------------------------------------------------------------------------------

bool AgingSeries::begin() {
    if (running()) return false;
    count_ = 0;
    phase_ = Phase::Counting;
    return true;
}

AgingSeries::Step AgingSeries::transfer_finished() {
    Step step;
    if (phase_ == Phase::Counting) {
        ++count_;
        step.counted = true;
        step.arm_next = true;
        if (count_ >= limit_) phase_ = Phase::LastUpload;
    } else if (phase_ == Phase::LastUpload) {
        phase_ = Phase::Over;
        step.over = true;
    }
    return step;
}

bool AgingSeries::failed() {
    if (!running()) return false;
    phase_ = Phase::Over;
    return true;
}

void AgingSeries::set_limit(int limit) {
    if (!running()) limit_ = std::max(1, limit);
}

// --- the procedure -----------------------------------------------------------------------------

bool UploadProcedure::armed(int id) const {
    return (armed_ & bit(id)) != 0;
}

void UploadProcedure::arm(int id, int ms, UploadActions& out) {
    armed_ |= bit(id);
    A a = act(A::ArmTimer, ms);
    a.timer = id;
    out.push_back(std::move(a));
}

void UploadProcedure::disarm(int id, UploadActions& out) {
    if (!armed(id)) return;
    armed_ &= ~bit(id);
    A a = act(A::StopTimer);
    a.timer = id;
    out.push_back(std::move(a));
}

std::optional<UploadOutcome> upload_refusal(const UploadStart& facts) {
    if (!facts.image_chosen) return UploadOutcome::NoImage;
    if (!facts.image_readable) return UploadOutcome::ImageUnopenable;
    // Without a board the working record would still hold the previous board's.
    if (!facts.board_selected) return UploadOutcome::NoBoard;
    if (facts.refuse_empty_image && facts.image_size == 0) return UploadOutcome::ImageEmpty;
    return std::nullopt;
}

UploadActions UploadProcedure::start(const UploadStart& facts) {
    UploadActions out;
    if (running()) return out;  // one upload at a time
    late_report_ = false;
    if (const std::optional<UploadOutcome> refused = upload_refusal(facts)) {
        end(*refused, out);
    } else {
        phase_ = UploadPhase::Collecting;
        out.push_back(act(A::Collect));
    }
    return out;
}

UploadActions UploadProcedure::collected() {
    UploadActions out;
    if (phase_ != UploadPhase::Collecting) return out;
    kind_ = uses_legacy_protocol(core_.working.product_code) ? TransferKind::Streamed
                                                             : TransferKind::Acknowledged;
    stream_status_ = StreamStatus::None;  // timer 10 must not report an earlier transfer's end
    finish_count_ = 0;
    sent_whole_ = false;
    A send = act(A::Send);
    send.datagrams = core_.send_data(OPCODE_UPLOAD_REQUEST);
    out.push_back(std::move(send));
    A log = act(A::Log);
    log.text = text::kLogUploadRequest;
    out.push_back(std::move(log));
    if (kind_ == TransferKind::Streamed) {
        // Legacy boards do not answer: the transfer starts after a fixed wait.
        phase_ = UploadPhase::Starting;
        arm(uploadtimer::kStreamStart, uploadtimer::kStreamStartMs, out);
    } else {
        phase_ = UploadPhase::AwaitingReply;
        arm(uploadtimer::kUploadGuard, uploadtimer::kUploadGuardMs, out);
    }
    return out;
}

UploadActions UploadProcedure::request_not_sent() {
    UploadActions out;
    if (phase_ == UploadPhase::AwaitingReply || phase_ == UploadPhase::Starting)
        end(UploadOutcome::RequestNotSent, out);
    return out;
}

UploadActions UploadProcedure::upload_reply() {
    UploadActions out;
    if (phase_ != UploadPhase::AwaitingReply) return out;
    disarm(uploadtimer::kUploadGuard, out);
    arm(uploadtimer::kStartDelay, uploadtimer::kStartDelayMs, out);
    arm(uploadtimer::kUploadWatch, uploadtimer::kUploadWatchMs, out);
    phase_ = UploadPhase::Accepted;
    return out;
}

UploadActions UploadProcedure::upload_done() {
    UploadActions out;
    if (phase_ == UploadPhase::AwaitingReport) {
        end(UploadOutcome::Completed, out);
    } else if (phase_ == UploadPhase::Transferring && kind_ == TransferKind::Acknowledged &&
               sent_whole_) {
        // The report overtook the last acknowledgement: the board has the image whole.
        out.push_back(act(A::StopTransfer));
        count_cycle(out);
        end(UploadOutcome::Completed, out);
    } else if (phase_ == UploadPhase::Idle && late_report_) {
        late_report_ = false;
        out.push_back(act(A::LateReport));
    }
    return out;
}

UploadActions UploadProcedure::timer_expired(int id, std::optional<Ip4> board_ip) {
    UploadActions out;
    armed_ &= ~bit(id);  // each expiry is checked against the phase, so a stray one does nothing
    switch (id) {
        case uploadtimer::kAgingRestart:
            if (!aging_.running()) break;
            if (running()) {
                // The previous upload has not ended (its report is awaited): try again later
                // rather than start over it.
                arm(uploadtimer::kAgingRestart, uploadtimer::kAgingRestartMs, out);
            } else {
                out.push_back(act(A::RunUpload));
            }
            break;
        case uploadtimer::kUploadWatch:
            if (stream_status_ == StreamStatus::Running) {
                arm(uploadtimer::kUploadWatch, uploadtimer::kUploadWatchMs, out);
            } else if (stream_status_ == StreamStatus::Failed) {
                out.push_back(act(A::UploadError));
            }
            break;
        case uploadtimer::kStartDelay:
            if (phase_ == UploadPhase::Accepted) begin_transfer(board_ip, out);
            break;
        case uploadtimer::kStreamStart:
            if (phase_ == UploadPhase::Starting) begin_transfer(board_ip, out);
            break;
        case uploadtimer::kFinishStep:
            if (phase_ != UploadPhase::Finishing) break;
            if (finish_count_++ < kStreamFinishSteps) {
                out.push_back(act(A::ProgressStep));
                arm(uploadtimer::kFinishStep, uploadtimer::kFinishStepMs, out);
            } else {
                end(UploadOutcome::Completed, out);
                out.push_back(act(A::ProgressPos, 0));
            }
            break;
        case uploadtimer::kEmptyImageError:
            if (phase_ != UploadPhase::EmptyImageError) break;
            out.push_back(act(A::UploadError));
            end(UploadOutcome::TransferFailed, out, TransferOutcome::ImageEmpty);
            break;
        case uploadtimer::kUploadGuard:
            if (phase_ == UploadPhase::AwaitingReply) {
                end(UploadOutcome::NoReply, out);
            } else if (phase_ == UploadPhase::AwaitingReport) {
                end(UploadOutcome::NoReport, out);
                late_report_ = true;  // the core still reads the board's report
            }
            break;
        default:
            break;
    }
    return out;
}

void UploadProcedure::begin_transfer(std::optional<Ip4> board_ip, UploadActions& out) {
    if (board_ip) {
        A log = act(A::Log);
        log.text = dotted(*board_ip);  // the board address text
        out.push_back(std::move(log));
    }
    const std::optional<Ip4> address = transfer_address(board_ip);
    if (!address) {
        end(UploadOutcome::AddressInvalid, out);
        return;
    }
    phase_ = UploadPhase::Transferring;
    if (kind_ == TransferKind::Streamed) stream_status_ = StreamStatus::Running;
    A a = act(A::StartTransfer);
    a.transfer = kind_;
    a.address = *address;
    out.push_back(std::move(a));
}

UploadActions UploadProcedure::transfer_sent_whole(TransferKind kind) {
    if (phase_ == UploadPhase::Transferring && kind == kind_ &&
        kind == TransferKind::Acknowledged) {
        sent_whole_ = true;
        core_.upload_sent_whole();
    }
    return {};
}

UploadActions UploadProcedure::transfer_ended(TransferKind kind, TransferOutcome outcome) {
    UploadActions out;
    if (phase_ != UploadPhase::Transferring || kind != kind_) return out;
    const bool ok = outcome == TransferOutcome::Succeeded;
    if (kind == TransferKind::Acknowledged) {
        if (!ok) {
            end(UploadOutcome::TransferFailed, out, outcome);
            return out;
        }
        // The board has acknowledged the last block; its upload-complete report follows.
        core_.upload_sent_whole();
        phase_ = UploadPhase::AwaitingReport;
        arm(uploadtimer::kUploadGuard, uploadtimer::kUploadGuardMs, out);
        count_cycle(out);
        return out;
    }
    core_.upload_ended();
    if (ok) {
        stream_status_ = StreamStatus::Completed;
        finish_count_ = 0;
        phase_ = UploadPhase::Finishing;
        arm(uploadtimer::kFinishStep, uploadtimer::kFinishStepMs, out);
    } else if (outcome == TransferOutcome::ImageEmpty) {
        stream_status_ = StreamStatus::Failed;
        phase_ = UploadPhase::EmptyImageError;
        arm(uploadtimer::kEmptyImageError, uploadtimer::kEmptyImageErrorMs, out);
    } else {
        stream_status_ = StreamStatus::Failed;
        end(UploadOutcome::TransferFailed, out, outcome);
    }
    return out;
}

void UploadProcedure::count_cycle(UploadActions& out) {
    const AgingSeries::Step step = aging_.transfer_finished();
    if (step.counted) {
        A a = act(A::AgingCount, aging_.count());
        a.limit = aging_.limit();
        a.counted = true;
        out.push_back(std::move(a));
    }
    if (step.arm_next) arm(uploadtimer::kAgingRestart, uploadtimer::kAgingRestartMs, out);
    if (step.over) {
        // The last upload may have been started by hand before the restart timer ran it.
        disarm(uploadtimer::kAgingRestart, out);
        A a = act(A::AgingOver, aging_.count());
        a.limit = aging_.limit();
        a.counted = true;
        out.push_back(std::move(a));
    }
}

void UploadProcedure::end_aging(UploadActions& out) {
    if (!aging_.failed()) return;
    disarm(uploadtimer::kAgingRestart, out);
    A a = act(A::AgingOver, aging_.count());
    a.limit = aging_.limit();
    out.push_back(std::move(a));
}

bool UploadProcedure::blocks_other_exchange() const {
    return phase_ == UploadPhase::Transferring && kind_ == TransferKind::Acknowledged;
}

UploadActions UploadProcedure::other_exchange() {
    UploadActions out;
    late_report_ = false;
    switch (phase_) {
        case UploadPhase::AwaitingReply:
        case UploadPhase::Accepted:
        case UploadPhase::Starting:
        case UploadPhase::AwaitingReport:
            end(UploadOutcome::Abandoned, out);
            break;
        default:
            break;
    }
    return out;
}

UploadActions UploadProcedure::stop() {
    UploadActions out;
    late_report_ = false;
    if (running()) {
        if (phase_ == UploadPhase::Transferring) out.push_back(act(A::StopTransfer));
        end(UploadOutcome::Stopped, out);
    }
    end_aging(out);
    disarm(uploadtimer::kAgingRestart, out);
    return out;
}

UploadActions UploadProcedure::begin_aging() {
    UploadActions out;
    if (!aging_.begin()) return out;  // a series runs already
    arm(uploadtimer::kAgingRestart, uploadtimer::kAgingRestartMs, out);
    A a = act(A::AgingCount, 0);
    a.limit = aging_.limit();
    out.push_back(std::move(a));
    return out;
}

void UploadProcedure::end(UploadOutcome outcome, UploadActions& out, TransferOutcome transfer) {
    for (const int id : kUploadTimers) disarm(id, out);
    // After a missing report the core keeps reading the board's report, so that a late one can
    // still be told; every other end returns it to idle (a completed one is at 18 already).
    if (outcome != UploadOutcome::Completed && outcome != UploadOutcome::NoReport)
        core_.upload_ended();
    const bool streamed = kind_ == TransferKind::Streamed && phase_ != UploadPhase::Idle &&
                          phase_ != UploadPhase::Collecting;
    phase_ = UploadPhase::Idle;
    sent_whole_ = false;
    A a = act(A::Ended);
    a.outcome = outcome;
    a.transfer = kind_;
    a.transfer_outcome = transfer;
    out.push_back(std::move(a));
    // A failure ends an aging series, and so does a streamed upload: it never counts.
    if (outcome != UploadOutcome::Completed || streamed) end_aging(out);
}

}  // namespace quorin
