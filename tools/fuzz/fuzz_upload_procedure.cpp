// libFuzzer entry for the upload procedure: any sequence of events (see upload_ops.h) driven into
// one protocol core, one procedure and the transfer machines it starts, carried out as a face
// carries them out, with the invariants that tie the four together checked after every step.
// At the end of the input what is still running is driven to its end (the board and the transfer
// succeeding for a while, then failing, every armed timer expiring), and every upload that was
// started must then have reached exactly one outcome with nothing left armed. Aborts on the first
// broken invariant.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "protocol/board_record.h"
#include "protocol/config_core.h"
#include "protocol/record_codec.h"
#include "protocol/upload_procedure.h"
#include "protocol/upload_transfer.h"
#include "tools/fuzz/fuzz_support.h"
#include "tools/fuzz/upload_ops.h"

namespace {

using namespace quorin;
using namespace quorin::fuzz;
using A = UploadAction;
using T = TransferAction;
using Phase = UploadPhase;
using Outcome = UploadOutcome;
using S = OperationState;

// Events per input, and rounds of the final drive to the end (the first half succeeding).
constexpr int kMaxSteps = 2000;
constexpr int kDrainRounds = 400;

constexpr std::uint64_t bit(int id) {
    return id >= 0 && id < 64 ? std::uint64_t{1} << id : 0;
}

constexpr std::uint64_t kTransferTimers =
    bit(uploadtimer::kConnectRetry) | bit(uploadtimer::kAckTimeout);

// The period each timer is armed with; 0 for ids nobody arms.
int period_ms(int id) {
    switch (id) {
        case uploadtimer::kConnectRetry:
            return uploadtimer::kConnectRetryMs;
        case uploadtimer::kAckTimeout:
            return uploadtimer::kAckTimeoutMs;
        case uploadtimer::kAgingRestart:
            return uploadtimer::kAgingRestartMs;
        case uploadtimer::kUploadWatch:
            return uploadtimer::kUploadWatchMs;
        case uploadtimer::kStartDelay:
            return uploadtimer::kStartDelayMs;
        case uploadtimer::kStreamStart:
            return uploadtimer::kStreamStartMs;
        case uploadtimer::kFinishStep:
            return uploadtimer::kFinishStepMs;
        case uploadtimer::kEmptyImageError:
            return uploadtimer::kEmptyImageErrorMs;
        case uploadtimer::kUploadGuard:
            return uploadtimer::kUploadGuardMs;
        default:
            return 0;
    }
}

// The phases an outcome may be reached from (the phase when the procedure was called).
bool reachable_from(Outcome outcome, Phase from, TransferKind kind) {
    switch (outcome) {
        case Outcome::NoImage:
        case Outcome::ImageUnopenable:
        case Outcome::ImageEmpty:
        case Outcome::NoBoard:
            return from == Phase::Idle;
        case Outcome::RequestNotSent:
            return from == Phase::AwaitingReply || from == Phase::Starting;
        case Outcome::NoReply:
            return from == Phase::AwaitingReply;
        case Outcome::AddressInvalid:
            return from == Phase::Accepted || from == Phase::Starting;
        case Outcome::TransferFailed:
            return from == Phase::Transferring || from == Phase::EmptyImageError;
        case Outcome::NoReport:
            return from == Phase::AwaitingReport;
        case Outcome::Abandoned:
            return from == Phase::AwaitingReply || from == Phase::Accepted ||
                   from == Phase::Starting || from == Phase::AwaitingReport;
        case Outcome::Stopped:
            return from != Phase::Idle;
        case Outcome::Completed:
            return from == Phase::AwaitingReport || from == Phase::Finishing ||
                   (from == Phase::Transferring && kind == TransferKind::Acknowledged);
    }
    return false;
}

// The procedure's timer that each waiting phase depends on; 0 for the others.
int phase_timer(Phase phase) {
    switch (phase) {
        case Phase::AwaitingReply:
        case Phase::AwaitingReport:
            return uploadtimer::kUploadGuard;
        case Phase::Accepted:
            return uploadtimer::kStartDelay;
        case Phase::Starting:
            return uploadtimer::kStreamStart;
        case Phase::Finishing:
            return uploadtimer::kFinishStep;
        case Phase::EmptyImageError:
            return uploadtimer::kEmptyImageError;
        default:
            return 0;
    }
}

// A face: the window's part of the upload, with a board and a transfer whose every event the
// input chooses.
class Face {
  public:
    Face() : procedure_(core_) {
        core_.reset();
        core_.host_tag = 115;
        core_.working.local_ip = kBoardIp;
        core_.working.product_code = {0, 2};
    }

    void step(Reader& in);
    void check() const;
    void drain();

  private:
    enum class Running : std::uint8_t { None, Ack, Stream };

    // Events.
    void start(std::uint8_t facts, std::uint8_t image);
    void run_upload();
    void datagram(std::uint8_t tag, const std::vector<std::uint8_t>& bytes);
    void expire(int id, std::optional<Ip4> board_ip);
    void ack_event(AckEvent event, Reader* in);
    void stream_event(StreamEvent event);
    void other_exchange(int opcode);

    // Carrying out.
    void carry(const UploadActions& actions, Phase from);
    void carry_transfer(const TransferActions& actions, TransferKind kind);
    void start_transfer(const A& a);
    void stop_transfer();

    std::vector<std::uint8_t> image() const { return std::vector<std::uint8_t>(size_, 0x5A); }
    std::uint64_t armed() const { return procedure_timers_ | transfer_timers_; }

    ConfigCore core_;
    UploadProcedure procedure_;
    AckTransfer ack_;
    StreamTransfer stream_;
    Running running_ = Running::None;

    // What the Upload command finds (kept for the aging test's next upload).
    UploadStart facts_;
    std::size_t size_ = kImageSizes[0];
    ImageLoad::Result stream_load_ = ImageLoad::Result::Ok;
    bool defer_collect_ = false;
    std::optional<Ip4> board_ip_;  // the address given with the last timer expiry

    std::uint64_t procedure_timers_ = 0;  // bit n: the procedure armed timer n
    std::uint64_t transfer_timers_ = 0;   // bit n: the acknowledged transfer armed timer n

    int outstanding_ = 0;                  // uploads started that have not reached an outcome
    std::optional<Outcome> last_outcome_;  // the last upload's
    TransferKind last_kind_ = TransferKind::Acknowledged;
    bool late_told_ = false;           // LateReport since the last outcome
    bool foreign_ = false;             // a search or setting since this upload's request
    bool exchange_since_end_ = false;  // a search or setting since the last outcome
    bool sent_whole_ = false;          // the running acknowledged transfer sent it all
};

void Face::step(Reader& in) {
    switch (upload_op_for(in.byte())) {
        case kStart: {
            const std::uint8_t facts = in.byte();
            start(facts, in.byte());
            break;
        }
        case kCollected: {
            const Phase from = procedure_.phase();
            carry(procedure_.collected(), from);
            break;
        }
        case kRequestNotSent: {
            const Phase from = procedure_.phase();
            carry(procedure_.request_not_sent(), from);
            break;
        }
        case kDatagram: {
            const std::uint8_t kind = in.byte();
            const std::uint8_t tag = (kind & kOnLegacySocket) ? kLegacySocketTag : kSearchSocketTag;
            switch (kind & 3) {
                case kDatagramReply:
                    datagram(tag, {OPCODE_UPLOAD_REPLY});
                    break;
                case kDatagramReport:
                    datagram(tag, {OPCODE_UPLOAD_COMPLETE});
                    break;
                case kDatagramOther:
                    datagram(tag, {in.byte()});
                    break;
                default:
                    datagram(tag, {});
                    break;
            }
            break;
        }
        case kTimer: {
            const std::uint8_t selector = in.byte();
            std::optional<Ip4> ip = kBoardIp;
            switch ((selector >> kBoardAtShift) & 3) {
                case kBoardAtNone:
                    ip.reset();
                    break;
                case kBoardAtZero:
                    ip = Ip4{};
                    break;
                default:
                    break;
            }
            const int index = selector & 0x1F;
            if (selector & kStrayTimer) {
                expire(kStrayIds[static_cast<std::size_t>(index) % kStrayIds.size()], ip);
                break;
            }
            const int id = kTimerIds[static_cast<std::size_t>(index) % kTimerIds.size()];
            if (armed() & bit(id)) {
                expire(id, ip);
                break;
            }
            std::vector<int> ids;
            for (int t = 0; t < 64; ++t)
                if (armed() & bit(t)) ids.push_back(t);
            if (!ids.empty()) expire(ids[static_cast<std::size_t>(index) % ids.size()], ip);
            break;
        }
        case kAckEvent:
            ack_event(static_cast<AckEvent>(in.byte() % kAckEventCount), &in);
            break;
        case kStreamEvent:
            stream_event(static_cast<StreamEvent>(in.byte() % kStreamEventCount));
            break;
        case kOtherExchange:
            other_exchange((in.byte() & 1) ? OPCODE_SET_REQUEST : OPCODE_SEARCH_REQUEST);
            break;
        case kStop: {
            const Phase from = procedure_.phase();
            carry(procedure_.stop(), from);
            CHECK(!procedure_.running() && !procedure_.aging().running());
            CHECK(procedure_timers_ == 0 && running_ == Running::None);
            break;
        }
        case kBeginAging: {
            const bool was_running = procedure_.aging().running();
            const Phase from = procedure_.phase();
            carry(procedure_.begin_aging(), from);
            CHECK(procedure_.aging().running());
            if (!was_running) CHECK(procedure_.aging().count() == 0);
            break;
        }
        case kAgingLimit: {
            const bool series = procedure_.aging().running();
            const int before = procedure_.aging().limit();
            const int limit = in.byte() % 3 + 1;
            procedure_.set_aging_limit(limit);
            CHECK(procedure_.aging().limit() == (series ? before : limit));
            break;
        }
        default:
            break;
    }
}

void Face::start(std::uint8_t facts, std::uint8_t image) {
    facts_.image_chosen = !(facts & kFactNotChosen);
    facts_.image_readable = !(facts & kFactUnreadable);
    facts_.board_selected = !(facts & kFactNoBoard);
    facts_.refuse_empty_image = (facts & kFactRefuseEmpty) != 0;
    size_ = (facts & kFactEmpty) ? 0 : kImageSizes[image & 3];
    facts_.image_size = size_;
    stream_load_ = static_cast<ImageLoad::Result>((image >> kImageLoadShift) & 3);
    defer_collect_ = (facts & kFactDeferCollect) != 0;
    // The working record is the selected board's; the procedure reads its product code only
    // when it collects, so changing it during an upload changes nothing of that upload.
    core_.working.product_code = {0, static_cast<std::uint8_t>((facts & kFactLegacy) ? 4 : 2)};
    run_upload();
}

// The Upload command with the facts as they stand.
void Face::run_upload() {
    const bool was_running = procedure_.running();
    if (!was_running) {
        CHECK(outstanding_ == 0);
        outstanding_ = 1;
    }
    const UploadActions actions = procedure_.start(facts_);
    if (was_running) CHECK(actions.empty());  // one upload at a time
    carry(actions, was_running ? procedure_.phase() : Phase::Idle);
}

void Face::datagram(std::uint8_t tag, const std::vector<std::uint8_t>& bytes) {
    for (const Action& a : core_.handle_datagram(tag, bytes)) {
        const Phase from = procedure_.phase();
        if (a.kind == Action::UploadReply) carry(procedure_.upload_reply(), from);
        if (a.kind == Action::UploadDone) carry(procedure_.upload_done(), from);
    }
}

void Face::expire(int id, std::optional<Ip4> board_ip) {
    const bool transfer_timer = (bit(id) & kTransferTimers) != 0;
    if (transfer_timer) {
        transfer_timers_ &= ~bit(id);
        carry_transfer(ack_.timer_expired(id), TransferKind::Acknowledged);
        return;
    }
    procedure_timers_ &= ~bit(id);
    board_ip_ = board_ip;
    const Phase from = procedure_.phase();
    carry(procedure_.timer_expired(id, board_ip), from);
}

void Face::ack_event(AckEvent event, Reader* in) {
    // Socket events reach the machine whether or not it runs: after its end it must stay silent.
    switch (event) {
        case kAckConnected:
            carry_transfer(ack_.connected(), TransferKind::Acknowledged);
            break;
        case kAckConnectFailed:
            carry_transfer(ack_.connect_failed(), TransferKind::Acknowledged);
            break;
        case kAckSocketUnavailable:
            carry_transfer(ack_.socket_unavailable(in ? in->byte() : 0),
                           TransferKind::Acknowledged);
            break;
        case kAckImageLoaded: {
            ImageLoad load{static_cast<ImageLoad::Result>(in ? in->byte() % 4 : 0), {}, {}};
            if (load.result == ImageLoad::Result::Ok) load.bytes = image();
            carry_transfer(ack_.image_loaded(std::move(load)), TransferKind::Acknowledged);
            break;
        }
        case kAckBytes: {
            const int n = (in ? in->byte() % 3 : 0) + 1;
            std::vector<std::uint8_t> bytes;
            for (int i = 0; i < n; ++i) bytes.push_back(in ? in->byte() : kUploadAckAccepted);
            carry_transfer(ack_.bytes_received(bytes), TransferKind::Acknowledged);
            break;
        }
        case kAckPeerClosed:
            carry_transfer(ack_.peer_closed(), TransferKind::Acknowledged);
            break;
        case kAckAccept: {
            const std::vector<std::uint8_t> ack{kUploadAckAccepted, 0, 0};
            carry_transfer(ack_.bytes_received(ack), TransferKind::Acknowledged);
            break;
        }
        default:
            break;
    }
}

void Face::stream_event(StreamEvent event) {
    using R = StreamTransfer::ConnectResult;
    TransferActions out;
    switch (event) {
        case kStreamPauseDone:
            out = stream_.pause_done();
            break;
        case kStreamConnected:
            out = stream_.connect_result(R::Connected);
            break;
        case kStreamInProgress:
            out = stream_.connect_result(R::InProgress);
            break;
        case kStreamConnectFailed:
            out = stream_.connect_result(R::Failed);
            break;
        case kStreamSocketUnavailable:
            out = stream_.connect_result(R::SocketUnavailable);
            break;
        case kStreamSent:
            out = stream_.send_result(true);
            break;
        case kStreamNotSent:
            out = stream_.send_result(false);
            break;
        default:
            break;
    }
    carry_transfer(out, TransferKind::Streamed);
}

void Face::other_exchange(int opcode) {
    if (procedure_.blocks_other_exchange()) return;  // the face refuses the command
    const Phase from = procedure_.phase();
    carry(procedure_.other_exchange(), from);
    if (from == Phase::AwaitingReply || from == Phase::Accepted || from == Phase::Starting ||
        from == Phase::AwaitingReport) {
        CHECK(!procedure_.running() && last_outcome_ == Outcome::Abandoned);
    } else {
        CHECK(procedure_.phase() == from);
    }
    core_.send_data(opcode);
    if (procedure_.running()) {
        foreign_ = true;
    } else {
        exchange_since_end_ = true;
    }
}

void Face::carry(const UploadActions& actions, Phase from) {
    for (const A& a : actions) {
        switch (a.kind) {
            case A::Collect:
                CHECK(from == Phase::Idle && procedure_.phase() == Phase::Collecting);
                if (!defer_collect_) {
                    const Phase now = procedure_.phase();
                    carry(procedure_.collected(), now);
                }
                break;
            case A::Send: {
                // The request for the working record's product, and the core awaits its reply.
                CHECK(from == Phase::Collecting);
                CHECK(a.datagrams.size() == 1);
                const bool legacy = uses_legacy_protocol(core_.working.product_code);
                CHECK(a.datagrams[0].tag == (legacy ? kLegacySocketTag : kSearchSocketTag));
                CHECK(core_.operation_state() == S::UploadRequested);
                CHECK(procedure_.kind() ==
                      (legacy ? TransferKind::Streamed : TransferKind::Acknowledged));
                foreign_ = false;
                break;
            }
            case A::ArmTimer:
                CHECK(period_ms(a.timer) == a.value && !(bit(a.timer) & kTransferTimers));
                procedure_timers_ |= bit(a.timer);
                break;
            case A::StopTimer:
                CHECK((procedure_timers_ & bit(a.timer)) != 0);  // only what is armed
                procedure_timers_ &= ~bit(a.timer);
                break;
            case A::StartTransfer:
                CHECK(from == Phase::Accepted || from == Phase::Starting);
                start_transfer(a);
                break;
            case A::StopTransfer:
                CHECK(running_ != Running::None);
                stop_transfer();
                break;
            case A::UploadError:
                CHECK(procedure_.kind() == TransferKind::Streamed);
                break;
            case A::LateReport:
                CHECK(!procedure_.running() && last_outcome_ == Outcome::NoReport && !late_told_);
                CHECK(core_.operation_state() == S::UploadCompleted);
                late_told_ = true;
                break;
            case A::RunUpload:
                CHECK(!procedure_.running() && procedure_.aging().running());
                run_upload();
                break;
            case A::AgingCount:
                CHECK(a.value >= 0 && a.value <= a.limit && a.limit == procedure_.aging().limit());
                break;
            case A::AgingOver:
                CHECK(!procedure_.aging().running() && a.value <= a.limit);
                break;
            case A::Ended:
                // One outcome per upload started, reached from a phase that can reach it.
                CHECK(outstanding_ == 1);
                outstanding_ = 0;
                CHECK(!procedure_.running());
                CHECK(reachable_from(a.outcome, from, a.transfer));
                CHECK((a.outcome == Outcome::TransferFailed) ==
                      (a.transfer_outcome != TransferOutcome::Succeeded));
                // Every timer of the upload is stopped with its end; only the aging test's
                // restart outlives it.
                CHECK((procedure_timers_ & ~bit(uploadtimer::kAgingRestart)) == 0);
                last_outcome_ = a.outcome;
                last_kind_ = a.transfer;
                late_told_ = false;
                exchange_since_end_ = false;
                break;
            case A::ProgressStep:
            case A::ProgressPos:
            case A::Log:
                break;
        }
    }
}

void Face::start_transfer(const A& a) {
    // At most one transfer at a time: a new one only once ours has ended.
    CHECK(running_ == Running::None);
    CHECK(procedure_.phase() == Phase::Transferring && a.transfer == procedure_.kind());
    CHECK(board_ip_ && a.address == *board_ip_ && transfer_address(board_ip_).has_value());
    sent_whole_ = false;
    if (a.transfer == TransferKind::Streamed) {
        running_ = Running::Stream;
        ImageLoad load{stream_load_, {}, {}};
        if (load.result == ImageLoad::Result::Ok) load.bytes = image();
        carry_transfer(stream_.start(std::move(load)), TransferKind::Streamed);
    } else {
        running_ = Running::Ack;
        carry_transfer(ack_.start(), TransferKind::Acknowledged);
    }
}

// As the faces do: both transfers stopped, the acknowledged one's timers with it.
void Face::stop_transfer() {
    ack_ = AckTransfer{};
    stream_ = StreamTransfer{};
    transfer_timers_ = 0;
    running_ = Running::None;
}

void Face::carry_transfer(const TransferActions& actions, TransferKind kind) {
    const Running mine = kind == TransferKind::Streamed ? Running::Stream : Running::Ack;
    for (const T& t : actions) {
        switch (t.kind) {
            case T::ArmTimer:
                CHECK(kind == TransferKind::Acknowledged && running_ == Running::Ack);
                CHECK((bit(t.timer) & kTransferTimers) != 0 && period_ms(t.timer) == t.value);
                transfer_timers_ |= bit(t.timer);
                break;
            case T::StopTimer:
                CHECK(kind == TransferKind::Acknowledged && (bit(t.timer) & kTransferTimers) != 0);
                transfer_timers_ &= ~bit(t.timer);
                break;
            case T::SentWhole: {
                CHECK(running_ == mine);
                if (kind == TransferKind::Acknowledged) {
                    CHECK(!sent_whole_);
                    sent_whole_ = true;
                }
                const Phase from = procedure_.phase();
                carry(procedure_.transfer_sent_whole(kind), from);
                break;
            }
            case T::Ended: {
                CHECK(running_ == mine);  // an ended or stopped transfer reports nothing more
                running_ = Running::None;
                // The acknowledged transfer's timers end with it.
                if (kind == TransferKind::Acknowledged) CHECK(transfer_timers_ == 0);
                const Phase from = procedure_.phase();
                carry(procedure_.transfer_ended(kind, t.outcome), from);
                break;
            }
            default:
                break;  // connection work and the window's messages and progress
        }
    }
}

void Face::check() const {
    const Phase phase = procedure_.phase();
    const bool running = procedure_.running();
    const S state = core_.operation_state();

    // A transfer runs exactly while the procedure is transferring, and it is the procedure's kind.
    CHECK((running_ != Running::None) == (phase == Phase::Transferring));
    if (running_ != Running::None)
        CHECK((running_ == Running::Stream) == (procedure_.kind() == TransferKind::Streamed));
    if (running_ == Running::Ack) {
        const AckState ack = ack_.state();
        CHECK(ack != AckState::Idle && ack != AckState::Finished);
        if (ack == AckState::Connecting) CHECK((transfer_timers_ & bit(1)) != 0);
        if (ack == AckState::SizeSent || ack == AckState::BlockSent)
            CHECK((transfer_timers_ & bit(2)) != 0);
    } else {
        CHECK(transfer_timers_ == 0);
    }

    // The procedure's timers: its own account agrees with the face's, each wait has its timer
    // armed (and the timer only that wait), and no timer but the aging restart outlives an upload.
    CHECK(procedure_.any_timer_armed() == (procedure_timers_ != 0));
    for (const int id : kTimerIds)
        CHECK(procedure_.armed(id) == ((procedure_timers_ & bit(id)) != 0));
    for (const int id :
         {uploadtimer::kStartDelay, uploadtimer::kStreamStart, uploadtimer::kFinishStep,
          uploadtimer::kEmptyImageError, uploadtimer::kUploadGuard})
        CHECK(((procedure_timers_ & bit(id)) != 0) == (phase_timer(phase) == id));
    if (!running) CHECK((procedure_timers_ & ~bit(uploadtimer::kAgingRestart)) == 0);
    if (procedure_timers_ & bit(uploadtimer::kAgingRestart)) CHECK(procedure_.aging().running());
    if (procedure_.aging().running() && !running)
        CHECK((procedure_timers_ & bit(uploadtimer::kAgingRestart)) != 0);
    // The count stays the last series' until the next begins, whatever limit is set meanwhile.
    if (procedure_.aging().running())
        CHECK(procedure_.aging().count() <= procedure_.aging().limit());

    // One upload at a time, and it has no outcome yet.
    CHECK(outstanding_ == (running ? 1 : 0));

    // The core's operation state follows the phase.
    const bool own = state == S::Search || state == S::Set;  // a search's or a setting's
    switch (phase) {
        case Phase::Idle:
            if (is_upload_wait(state))
                CHECK(state == S::UploadCompleteAwaited && last_outcome_ == Outcome::NoReport);
            if (!exchange_since_end_ && last_outcome_ == Outcome::Completed &&
                last_kind_ == TransferKind::Acknowledged)
                CHECK(state == S::UploadCompleted);
            if (!exchange_since_end_ && last_outcome_ == Outcome::NoReport)
                CHECK(state == S::UploadCompleteAwaited || state == S::UploadCompleted);
            break;
        case Phase::Collecting:
            CHECK(state != S::UploadRequested && state != S::UploadReplyReceived);
            break;
        case Phase::AwaitingReply:
            CHECK(state == S::UploadRequested);
            break;
        case Phase::Accepted:
            CHECK(state == S::UploadReplyReceived);
            break;
        case Phase::Starting:
            // A stray upload reply on the main socket moves the core on; the legacy wait goes on.
            CHECK(state == S::UploadRequested || state == S::UploadReplyReceived);
            break;
        case Phase::Transferring:
            if (procedure_.kind() == TransferKind::Acknowledged) {
                CHECK(!foreign_);  // refused while it runs, abandoned before it
                CHECK(state == (sent_whole_ ? S::UploadCompleteAwaited : S::UploadReplyReceived));
            } else if (foreign_) {
                CHECK(own);
            } else {
                CHECK(state == S::UploadRequested || state == S::UploadReplyReceived);
            }
            break;
        case Phase::Finishing:
        case Phase::EmptyImageError:
            CHECK(procedure_.kind() == TransferKind::Streamed);
            CHECK(foreign_ ? own : state == S::Idle);
            break;
        case Phase::AwaitingReport:
            CHECK(procedure_.kind() == TransferKind::Acknowledged);
            CHECK(state == S::UploadCompleteAwaited);
            break;
    }
}

// Drives what still runs to its end: for the first half of the rounds the board answers and the
// transfer succeeds, then the transfer fails and the board stays silent; timers expire in turn.
// Every upload must end within the rounds, leaving no timer armed and no series running.
void Face::drain() {
    for (int round = 0; round < kDrainRounds; ++round) {
        if (!procedure_.running() && armed() == 0 && running_ == Running::None) break;
        const bool succeed = round < kDrainRounds / 2;
        const Phase phase = procedure_.phase();
        if (running_ == Running::Ack) {
            switch (ack_.state()) {
                case AckState::Connecting:
                    if (succeed) {
                        ack_event(kAckConnected, nullptr);
                    } else {
                        expire(uploadtimer::kConnectRetry, kBoardIp);
                    }
                    break;
                case AckState::Connected: {
                    ImageLoad load{ImageLoad::Result::Ok, image(), {}};
                    if (!succeed) load = {ImageLoad::Result::CannotOpen, {}, {}};
                    carry_transfer(ack_.image_loaded(std::move(load)), TransferKind::Acknowledged);
                    break;
                }
                default:
                    if (succeed) {
                        // One byte at a time: a piece left over from the input still aligns.
                        const std::vector<std::uint8_t> piece{kUploadAckAccepted};
                        carry_transfer(ack_.bytes_received(piece), TransferKind::Acknowledged);
                    } else {
                        expire(uploadtimer::kAckTimeout, kBoardIp);
                    }
                    break;
            }
        } else if (running_ == Running::Stream) {
            stream_event(kStreamPauseDone);
            stream_event(succeed ? kStreamConnected : kStreamSocketUnavailable);
            stream_event(succeed ? kStreamSent : kStreamNotSent);
        } else if (phase == Phase::Collecting) {
            carry(procedure_.collected(), phase);
        } else if (succeed && phase == Phase::AwaitingReply) {
            datagram(kSearchSocketTag, {OPCODE_UPLOAD_REPLY});
        } else if (succeed && phase == Phase::AwaitingReport) {
            datagram(kSearchSocketTag, {OPCODE_UPLOAD_COMPLETE});
        } else {
            const std::uint64_t due = armed();
            for (int id = 0; id < 64; ++id)
                if ((due & bit(id)) && (armed() & bit(id))) expire(id, kBoardIp);
        }
        check();
    }
    // Every upload started has reached its one outcome, and nothing is left armed.
    CHECK(!procedure_.running() && outstanding_ == 0 && running_ == Running::None);
    CHECK(armed() == 0 && !procedure_.any_timer_armed() && !procedure_.aging().running());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Face face;
    Reader in(data, size);
    for (int steps = 0; steps < kMaxSteps && !in.done(); ++steps) {
        face.step(in);
        face.check();
    }
    face.drain();
    return 0;
}
