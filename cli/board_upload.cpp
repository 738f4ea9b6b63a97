#include "cli/board_upload.h"

#include <QFile>
#include <algorithm>
#include <map>
#include <memory>

#include "cli/command_support.h"
#include "protocol/record_codec.h"
#include "res/cli_texts.h"
#include "res/texts.h"

namespace quorin::cli {

namespace {

constexpr int kGuardSeconds = uploadtimer::kUploadGuardMs / 1000;

}  // namespace

UploadStart upload_facts(std::uint64_t size) {
    UploadStart facts;
    facts.image_size = size;
    facts.refuse_empty_image = true;
    return facts;
}

BoardUpload::BoardUpload(BoardEngine& engine, FoundBoard board, Target target,
                         platform::WindowTimers& timers)
    : engine_(engine),
      board_(std::move(board)),
      target_(std::move(target)),
      timers_(timers),
      sock_(*this, timers),
      worker_(*this, timers) {
    core_.working = as_request(board_.row);
    timers_.setHandler([this](int id) { onTimer(id); });
}

BoardUpload::~BoardUpload() {
    sock_.stop();
    worker_.stop();
    for (const UploadAction& a : procedure_.stop()) {
        if (a.kind == UploadAction::StopTimer) timers_.KillTimer(a.timer);
    }
    timers_.setHandler({});
}

void BoardUpload::start() {
    if (started_) return;
    started_ = true;
    core_.host_tag = engine_.host_tag();
    std::uint64_t size = 0;
    bool readable = target_.image != nullptr;
    if (readable) {
        size = target_.image->size();
    } else {
        QFile image(target_.image_path);
        readable = image.open(QIODevice::ReadOnly);
        if (readable) size = static_cast<std::uint64_t>(image.size());
    }
    UploadStart facts = upload_facts(size);
    facts.image_readable = readable;
    carryOut(procedure_.start(facts));
    changed();
}

void BoardUpload::abort() {
    if (outcome_) return;
    sock_.stop();
    worker_.stop();
    for (const UploadAction& a : procedure_.stop()) {
        if (a.kind == UploadAction::StopTimer) timers_.KillTimer(a.timer);
    }
    messages_ << qs(text::cli::kUploadAborted);
    outcome_ = UploadOutcome::Stopped;
    changed();
}

bool BoardUpload::mid_transfer() const {
    switch (phase()) {
        case Phase::Sending:
        case Phase::Finishing:
        case Phase::AwaitingReport:
            return true;
        default:
            return false;
    }
}

void BoardUpload::receive(std::uint8_t tag, std::span<const std::uint8_t> datagram) {
    for (const Action& a : core_.handle_datagram(tag, datagram)) {
        if (a.kind == Action::UploadReply) carryOut(procedure_.upload_reply());
        if (a.kind == Action::UploadDone) carryOut(procedure_.upload_done());
    }
}

BoardUpload::Phase BoardUpload::phase() const {
    if (outcome_) return *outcome_ == UploadOutcome::Completed ? Phase::Done : Phase::Failed;
    if (!started_) return Phase::Waiting;
    switch (procedure_.phase()) {
        case UploadPhase::Idle:
        case UploadPhase::Collecting:
        case UploadPhase::AwaitingReply:
            return Phase::Requested;
        case UploadPhase::Accepted:
            return Phase::Accepted;
        case UploadPhase::Starting:
            return Phase::Starting;
        case UploadPhase::Transferring:
        case UploadPhase::EmptyImageError:
            return Phase::Sending;
        case UploadPhase::Finishing:
            return Phase::Finishing;
        case UploadPhase::AwaitingReport:
            return Phase::AwaitingReport;
    }
    return Phase::Sending;
}

void BoardUpload::onTimer(int id) {
    if (sock_.OnTimer(id)) return;
    carryOut(procedure_.timer_expired(id, board_.row.local_ip));
}

void BoardUpload::carryOut(const UploadActions& actions) {
    for (const UploadAction& a : actions) {
        switch (a.kind) {
            case UploadAction::Collect:  // the working record is the board's row
                carryOut(procedure_.collected());
                break;
            case UploadAction::Send:
                if (!engine_.send_datagrams(board_, a.datagrams))
                    carryOut(procedure_.request_not_sent());
                break;
            case UploadAction::ArmTimer:
                timers_.SetTimer(a.timer, a.value);
                break;
            case UploadAction::StopTimer:
                timers_.KillTimer(a.timer);
                break;
            case UploadAction::StartTransfer:
                if (a.transfer == TransferKind::Streamed && target_.image) {
                    worker_.start(address_of(a.address), target_.stream_port, target_.image);
                } else if (a.transfer == TransferKind::Streamed) {
                    worker_.start(address_of(a.address), target_.stream_port, target_.image_path);
                } else if (target_.image) {
                    sock_.start(address_of(a.address), target_.upload_port, target_.image);
                } else {
                    sock_.start(address_of(a.address), target_.upload_port, target_.image_path);
                }
                changed();
                break;
            case UploadAction::StopTransfer:
                sock_.stop();
                worker_.stop();
                break;
            case UploadAction::ProgressStep:
                stepProgress();
                break;
            case UploadAction::ProgressPos:
                setProgressPosition(a.value);
                break;
            case UploadAction::UploadError:
                messages_ << qs(text::kUploadError);
                break;
            case UploadAction::Ended:
                finish(a);
                break;
            case UploadAction::Log:
            case UploadAction::LateReport:  // the board's upload has ended already
            case UploadAction::RunUpload:   // no aging series on the command line
            case UploadAction::AgingCount:
            case UploadAction::AgingOver:
                break;
        }
    }
    changed();
}

void BoardUpload::finish(const UploadAction& ended) {
    switch (ended.outcome) {
        case UploadOutcome::Completed:
            messages_ << qs(ended.transfer == TransferKind::Streamed ? text::kUploadCompletedLegacy
                                                                     : text::kUploadCompletedMain);
            break;
        case UploadOutcome::RequestNotSent:
            messages_ << qs(text::cli::kUploadRequestRefused);
            break;
        case UploadOutcome::NoReply:
            messages_ << qs(text::kNoUploadReply).arg(kGuardSeconds);
            break;
        case UploadOutcome::NoReport:
            messages_ << qs(text::kNoUploadComplete).arg(kGuardSeconds);
            break;
        case UploadOutcome::AddressInvalid:
        case UploadOutcome::NoBoard:
            messages_ << qs(text::kBoardAddressInvalid);
            break;
        case UploadOutcome::NoImage:
        case UploadOutcome::ImageUnopenable:
            messages_ << qs(text::kFileCouldNotOpen);
            break;
        case UploadOutcome::ImageEmpty:
            messages_ << qs(text::kImageEmpty);
            break;
        case UploadOutcome::TransferFailed:  // the transfer's own message says why
        case UploadOutcome::Abandoned:       // nothing else runs beside it here
        case UploadOutcome::Stopped:
            break;
    }
    outcome_ = ended.outcome;
}

void BoardUpload::transferSentWhole(TransferKind kind) {
    carryOut(procedure_.transfer_sent_whole(kind));
}

void BoardUpload::transferEnded(TransferKind kind, TransferOutcome outcome) {
    carryOut(procedure_.transfer_ended(kind, outcome));
}

void BoardUpload::setProgressRange(int upper) {
    range_ = std::max(0, upper);
    pos_ = std::clamp(pos_, 0, range_);
    changed();
}

void BoardUpload::stepProgress() {
    pos_ = std::clamp(pos_ + step_, 0, range_);
    changed();
}

void BoardUpload::setProgressPosition(int pos) {
    pos_ = std::clamp(pos, 0, range_);
    changed();
}

void BoardUpload::changed() {
    if (changed_) changed_();
}

void route_to_uploads(BoardEngine& engine, const std::vector<BoardUpload*>& uploads) {
    auto by_mac = std::make_shared<std::map<BoardEngine::Mac, BoardUpload*>>();
    for (BoardUpload* u : uploads) (*by_mac)[u->board().row.mac_address] = u;
    engine.route_by_board({[by_mac](const BoardEngine::Mac& mac, std::uint8_t tag,
                                    std::span<const std::uint8_t> datagram) {
        if (const auto it = by_mac->find(mac); it != by_mac->end())
            it->second->receive(tag, datagram);
    }});
}

}  // namespace quorin::cli
