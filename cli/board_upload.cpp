#include "cli/board_upload.h"

#include <algorithm>
#include <map>
#include <memory>

#include "cli/command_support.h"
#include "protocol/record_codec.h"
#include "res/cli_texts.h"
#include "res/texts.h"
#include "upload/upload_rules.h"

namespace quorin::cli {

using namespace upload_rules;

namespace {

constexpr int kGuardSeconds = kUploadGuardMs / 1000;

// The procedure's own timers; the transfers' (1, 2, 20, 30) are stopped by their adapters.
constexpr int kProcedureTimers[] = {kStartDelayTimer, kStreamStartTimer, kUploadGuardTimer};

}  // namespace

BoardUpload::BoardUpload(BoardEngine& engine, FoundBoard board, Target target,
                         platform::WindowTimers& timers)
    : engine_(engine),
      board_(std::move(board)),
      target_(std::move(target)),
      timers_(timers),
      legacy_(uses_legacy_protocol(board_.row.product_code)),
      sock_(*this, timers),
      worker_(*this, timers) {
    timers_.setHandler([this](int id) { onTimer(id); });
}

BoardUpload::~BoardUpload() {
    for (const int id : kProcedureTimers) timers_.KillTimer(id);
    sock_.stop();
    worker_.stop();
    timers_.setHandler({});
}

void BoardUpload::start() {
    if (phase_ != Phase::Waiting) return;
    if (!engine_.send_request(board_, as_request(board_.row), OPCODE_UPLOAD_REQUEST)) {
        fail(qs(text::cli::kUploadRequestRefused));
        return;
    }
    op_state_ = opstate::kUploadRequested;
    if (legacy_) {
        // "0004" boards do not answer the request: the transfer starts after a fixed wait.
        phase_ = Phase::Starting;
        timers_.SetTimer(kStreamStartTimer, kStreamStartMs);
    } else {
        phase_ = Phase::Requested;
        timers_.SetTimer(kUploadGuardTimer, kUploadGuardMs);
    }
    changed();
}

void BoardUpload::dispatched(const std::vector<Action>& actions) {
    for (const Action& a : actions) {
        if (a.kind == Action::UploadReply && phase_ == Phase::Requested) {
            op_state_ = opstate::kUploadReplyReceived;
            timers_.KillTimer(kUploadGuardTimer);
            timers_.SetTimer(kStartDelayTimer, kStartDelayMs);
            phase_ = Phase::Accepted;
            changed();
        } else if (a.kind == Action::UploadDone && phase_ == Phase::AwaitingReport) {
            op_state_ = opstate::kUploadCompleted;
            messages_ << qs(text::kUploadCompletedMain);
            succeed();
        }
    }
}

BoardUpload::Phase BoardUpload::phase() const {
    if (phase_ == Phase::Sending && legacy_ && worker_.status() == streamstatus::kCompleted)
        return Phase::Finishing;
    return phase_;
}

void BoardUpload::onTimer(int id) {
    if (sock_.OnTimer(id) || worker_.OnTimer(id)) return;
    switch (id) {
        case kStartDelayTimer:
            if (phase_ == Phase::Accepted) startTransfer();
            return;
        case kStreamStartTimer:
            if (phase_ == Phase::Starting) startTransfer();
            return;
        case kUploadGuardTimer:
            if (phase_ != Phase::Requested && phase_ != Phase::AwaitingReport) return;
            // Nothing late from the board counts for this upload any more.
            op_state_ = opstate::kIdle;
            sock_.stop();
            fail(qs(phase_ == Phase::Requested ? text::kNoUploadReply : text::kNoUploadComplete)
                     .arg(kGuardSeconds));
            return;
        default:
            return;
    }
}

void BoardUpload::startTransfer() {
    const auto address = transfer_address(board_.row.local_ip);
    if (!address) {
        op_state_ = opstate::kIdle;
        fail(qs(text::kBoardAddressInvalid));
        return;
    }
    phase_ = Phase::Sending;
    const QHostAddress board = address_of(*address);
    if (legacy_) {
        worker_.start(board, target_.stream_port, target_.image_path);
    } else {
        sock_.start(board, target_.upload_port, target_.image_path);
    }
    changed();
}

void BoardUpload::transferEnded(TransferKind kind, bool succeeded) {
    if (ended()) return;
    if (!succeeded) {
        fail({});  // the transfer's own message says why
        return;
    }
    if (kind == TransferKind::Streamed) {
        succeed();  // after the finishing phase, with "Firmware Upload Completed"
        return;
    }
    // The board has acknowledged the last block; its upload-complete report follows over UDP.
    phase_ = Phase::AwaitingReport;
    timers_.SetTimer(kUploadGuardTimer, kUploadGuardMs);
    changed();
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

void BoardUpload::succeed() {
    for (const int id : kProcedureTimers) timers_.KillTimer(id);
    phase_ = Phase::Done;
    changed();
}

void BoardUpload::fail(const QString& message) {
    if (ended()) return;
    for (const int id : kProcedureTimers) timers_.KillTimer(id);
    if (!message.isEmpty()) messages_ << message;
    phase_ = Phase::Failed;
    changed();
}

void BoardUpload::changed() {
    if (changed_) changed_();
}

void route_to_uploads(BoardEngine& engine, const std::vector<BoardUpload*>& uploads) {
    auto by_mac = std::make_shared<std::map<BoardEngine::Mac, BoardUpload*>>();
    for (BoardUpload* u : uploads) (*by_mac)[u->board().row.mac_address] = u;
    engine.route_by_board(
        {[by_mac](const BoardEngine::Mac& mac) {
             const auto it = by_mac->find(mac);
             return it == by_mac->end() ? opstate::kIdle : it->second->operationState();
         },
         [by_mac](const BoardEngine::Mac& mac, const std::vector<Action>& actions) {
             if (const auto it = by_mac->find(mac); it != by_mac->end())
                 it->second->dispatched(actions);
         }});
}

}  // namespace quorin::cli
