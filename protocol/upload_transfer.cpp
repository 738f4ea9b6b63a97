#include "protocol/upload_transfer.h"

#include <algorithm>

#include "res/texts.h"

namespace quorin {
namespace {

using A = TransferAction;

A act(A::Kind kind, int value = 0) {
    return A{kind, value, 0, {}, {}, TransferOutcome::Succeeded};
}

A timer_action(A::Kind kind, int timer, int ms = 0) {
    return A{kind, ms, timer, {}, {}, TransferOutcome::Succeeded};
}

A text_action(A::Kind kind, std::string_view text) {
    return A{kind, 0, 0, std::string(text), {}, TransferOutcome::Succeeded};
}

A send_action(std::vector<std::uint8_t> bytes) {
    return A{A::Send, 0, 0, {}, std::move(bytes), TransferOutcome::Succeeded};
}

A ended(TransferOutcome outcome) {
    A a = act(A::Ended);
    a.outcome = outcome;
    return a;
}

// Progress bar upper bound of a transfer of `size` bytes plus `extra` steps.
int progress_upper(std::uint32_t size, int extra) {
    return static_cast<int>(size / kUploadBlockBytes) + extra;
}

// Block lines of the streamed transfer: " <n> bytes sent / Total bytes: <total> sent".
std::string block_line(std::size_t sent, std::uint32_t total) {
    return with_number(text::kLogBlockCount, static_cast<long long>(sent)) +
           std::string(text::kLogBytesSent) + with_number(text::kLogTotalSent, total);
}

}  // namespace

std::vector<std::uint8_t> ack_size_header(std::uint32_t size) {
    return {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
            static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24)};
}

std::vector<std::uint8_t> stream_size_header(std::uint32_t size) {
    return {static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
            static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
}

std::string with_number(std::string_view text, long long value) {
    std::string out(text);
    const auto at = out.find("%d");
    if (at != std::string::npos) out.replace(at, 2, std::to_string(value));
    return out;
}

std::string_view to_string(AckState state) {
    switch (state) {
        case AckState::Idle:
            return "idle";
        case AckState::Connecting:
            return "connecting";
        case AckState::Connected:
            return "connected";
        case AckState::SizeSent:
            return "size sent";
        case AckState::BlockSent:
            return "block sent";
        case AckState::Accepted:
            return "accepted";
        case AckState::Finished:
            return "finished";
    }
    return "?";
}

std::string_view to_string(StreamStatus status) {
    switch (status) {
        case StreamStatus::None:
            return "none";
        case StreamStatus::Running:
            return "running";
        case StreamStatus::Completed:
            return "completed";
        case StreamStatus::Failed:
            return "failed";
    }
    return "?";
}

std::string_view to_string(TransferOutcome outcome) {
    switch (outcome) {
        case TransferOutcome::Succeeded:
            return "succeeded";
        case TransferOutcome::SocketUnavailable:
            return "socket unavailable";
        case TransferOutcome::ConnectFailed:
            return "connection failed";
        case TransferOutcome::AckTimeout:
            return "acknowledgement timeout";
        case TransferOutcome::ImageUnreadable:
            return "image unreadable";
        case TransferOutcome::ImageTooLarge:
            return "image too large";
        case TransferOutcome::ImageEmpty:
            return "image empty";
        case TransferOutcome::SendFailed:
            return "send failed";
    }
    return "?";
}

bool is_connection_action(TransferAction::Kind kind) {
    return kind == A::Connect || kind == A::Send || kind == A::Close || kind == A::LoadImage ||
           kind == A::Pause;
}

ImageBytes take_bytes(ImageLoad& image) {
    if (image.shared) return std::move(image.shared);
    return std::make_shared<const std::vector<std::uint8_t>>(std::move(image.bytes));
}

// --- acknowledged transfer ---------------------------------------------------------------------

TransferActions AckTransfer::start() {
    image_.reset();
    remaining_ = 0;
    offset_ = 0;
    ack_.clear();
    attempts_ = 1;
    state_ = AckState::Connecting;
    return {act(A::Connect),
            timer_action(A::ArmTimer, uploadtimer::kConnectRetry, uploadtimer::kConnectRetryMs)};
}

TransferActions AckTransfer::connected() {
    if (state_ != AckState::Connecting) return {};
    state_ = AckState::Connected;
    return {timer_action(A::StopTimer, uploadtimer::kConnectRetry), act(A::LoadImage)};
}

TransferActions AckTransfer::connect_failed() {
    return {};  // timer 1 retries or gives up
}

TransferActions AckTransfer::socket_unavailable(int error) {
    if (state_ != AckState::Connecting) return {};
    state_ = AckState::Idle;
    return {timer_action(A::StopTimer, uploadtimer::kConnectRetry), act(A::Close),
            text_action(A::Message, with_number(text::kSocketErrorCode, error)),
            ended(TransferOutcome::SocketUnavailable)};
}

TransferActions AckTransfer::image_loaded(ImageLoad image) {
    TransferActions out;
    if (state_ != AckState::Connected) return out;
    if (image.result == ImageLoad::Result::Ok && !image_size_fits(image.size()))
        image.result = ImageLoad::Result::TooLarge;
    switch (image.result) {
        case ImageLoad::Result::Ok:
            break;
        case ImageLoad::Result::CannotOpen:
            fail(std::string(text::kFileCouldNotOpen), TransferOutcome::ImageUnreadable, out);
            return out;
        case ImageLoad::Result::TooLarge:
            fail(std::string(text::kImageTooLarge), TransferOutcome::ImageTooLarge, out);
            return out;
        case ImageLoad::Result::ReadFailed:
            fail(std::string(text::kImageReadFailed), TransferOutcome::ImageUnreadable, out);
            return out;
    }
    image_ = take_bytes(image);
    const auto length = static_cast<std::uint32_t>(image_->size());
    remaining_ = length;
    out.push_back(act(A::ProgressRange, progress_upper(length, 1)));
    offset_ = 0;
    out.push_back(act(A::ProgressStepSize, 1));
    out.push_back(send_action(ack_size_header(length)));
    state_ = AckState::SizeSent;
    out.push_back(timer_action(A::ArmTimer, uploadtimer::kAckTimeout, uploadtimer::kAckTimeoutMs));
    if (remaining_ == 0) out.push_back(act(A::SentWhole));  // an empty image: the size is all
    return out;
}

TransferActions AckTransfer::bytes_received(std::span<const std::uint8_t> bytes) {
    TransferActions out;
    for (const std::uint8_t byte : bytes) {
        // Bytes outside the two awaiting states (or after the transfer finished within this
        // read) acknowledge nothing and are dropped.
        if (state_ != AckState::SizeSent && state_ != AckState::BlockSent) break;
        ack_.push_back(byte);
        if (ack_.size() < kUploadAckBytes) continue;
        const std::uint8_t first = ack_.front();
        ack_.clear();
        take_ack(first, out);
    }
    return out;
}

void AckTransfer::take_ack(std::uint8_t first, TransferActions& out) {
    out.push_back(timer_action(A::StopTimer, uploadtimer::kAckTimeout));
    if (first != kUploadAckAccepted) {
        // Not accepted: the board may still acknowledge, so wait for it as long again. (For a
        // block acknowledgement a stopped timer 2 would leave the transfer waiting for ever.)
        out.push_back(
            timer_action(A::ArmTimer, uploadtimer::kAckTimeout, uploadtimer::kAckTimeoutMs));
        return;
    }
    const bool after_block = state_ == AckState::BlockSent;
    state_ = AckState::Accepted;
    if (remaining_ == 0) {
        finish(out);
        return;
    }
    if (after_block) out.push_back(act(A::ProgressStep));
    send_next_block(out);
}

void AckTransfer::send_next_block(TransferActions& out) {
    const std::uint32_t n =
        std::min<std::uint32_t>(static_cast<std::uint32_t>(kUploadBlockBytes), remaining_);
    const auto first = image_->begin() + static_cast<std::ptrdiff_t>(offset_);
    std::vector<std::uint8_t> block(first, first + static_cast<std::ptrdiff_t>(n));
    offset_ += n;
    remaining_ -= n;
    out.push_back(send_action(std::move(block)));
    state_ = AckState::BlockSent;
    out.push_back(timer_action(A::ArmTimer, uploadtimer::kAckTimeout, uploadtimer::kAckTimeoutMs));
    if (remaining_ == 0) out.push_back(act(A::SentWhole));
}

void AckTransfer::finish(TransferActions& out) {
    out.push_back(act(A::ProgressPos, 0));
    out.push_back(act(A::Close));
    state_ = AckState::Finished;
    image_.reset();
    out.push_back(ended(TransferOutcome::Succeeded));
}

void AckTransfer::fail(std::string message, TransferOutcome outcome, TransferActions& out) {
    state_ = AckState::Idle;
    image_.reset();
    out.push_back(act(A::Close));
    out.push_back(text_action(A::Message, message));
    out.push_back(ended(outcome));
}

TransferActions AckTransfer::peer_closed() {
    switch (state_) {
        case AckState::Connected:
        case AckState::SizeSent:
        case AckState::BlockSent:
        case AckState::Accepted:
            return {text_action(A::Log, text::kLogUploadClosedByBoard), act(A::ProgressPos, 0),
                    act(A::Close)};
        default:
            return {};
    }
}

TransferActions AckTransfer::timer_expired(int timer) {
    TransferActions out;
    if (timer == uploadtimer::kConnectRetry && state_ == AckState::Connecting) {
        if (attempts_ >= kAckConnectAttempts) {
            state_ = AckState::Idle;
            out.push_back(act(A::Close));
            out.push_back(text_action(A::Message, text::kConnectionFail));
            out.push_back(ended(TransferOutcome::ConnectFailed));
            return out;
        }
        ++attempts_;
        ack_.clear();
        out.push_back(act(A::Close));
        out.push_back(act(A::Connect));
        out.push_back(
            timer_action(A::ArmTimer, uploadtimer::kConnectRetry, uploadtimer::kConnectRetryMs));
        return out;
    }
    if (timer == uploadtimer::kAckTimeout &&
        (state_ == AckState::SizeSent || state_ == AckState::BlockSent)) {
        state_ = AckState::Idle;
        image_.reset();
        out.push_back(text_action(A::Message, text::kAckTimeout));
        out.push_back(act(A::Close));
        out.push_back(act(A::ProgressPos, 0));
        out.push_back(ended(TransferOutcome::AckTimeout));
    }
    return out;
}

// --- streamed transfer -------------------------------------------------------------------------

TransferActions StreamTransfer::start(ImageLoad image) {
    image_.reset();
    size_ = 0;
    total_ = 0;
    blocks_ = 0;
    attempts_ = 0;
    connect_attempts_ = 0;
    TransferActions out;

    if (image.result == ImageLoad::Result::Ok && !image_size_fits(image.size()))
        image.result = ImageLoad::Result::TooLarge;
    const bool empty = image.result == ImageLoad::Result::CannotOpen ||
                       (image.result == ImageLoad::Result::Ok && image.size() == 0);
    if (empty) {
        // A file that cannot be opened counts as empty; the procedure follows up with
        // "Firmware Upload Error".
        step_ = Step::Done;
        out.push_back(text_action(A::Message, text::kImageEmpty));
        out.push_back(ended(TransferOutcome::ImageEmpty));
        return out;
    }
    if (image.result != ImageLoad::Result::Ok) {
        const bool too_large = image.result == ImageLoad::Result::TooLarge;
        fail(too_large ? text::kImageTooLarge : text::kImageReadFailed,
             too_large ? TransferOutcome::ImageTooLarge : TransferOutcome::ImageUnreadable, false,
             out);
        return out;
    }

    image_ = take_bytes(image);
    size_ = static_cast<std::uint32_t>(image_->size());
    out.push_back(act(A::ProgressRange, progress_upper(size_, 1 + kStreamFinishSteps)));
    out.push_back(act(A::ProgressStepSize, 1));
    step_ = Step::StartPause;
    out.push_back(act(A::Pause, kStreamStartPauseMs));
    return out;
}

TransferActions StreamTransfer::pause_done() {
    TransferActions out;
    switch (step_) {
        case Step::StartPause:
        case Step::ConnectRetryPause:
            step_ = Step::Connecting;
            out.push_back(act(A::Connect));
            break;
        case Step::HeaderRetryPause:
            send_header(out);
            break;
        case Step::HeaderPause:
            total_ = 0;
            attempts_ = 0;
            send_block(out);
            break;
        case Step::BlockRetryPause:
            if (attempts_ >= kStreamSendAttempts) {
                fail(text::kDataSendError, TransferOutcome::SendFailed, true, out);
            } else {
                send_block(out);
            }
            break;
        case Step::BlockPause:
            if (total_ == size_) {
                finish(out);
            } else {
                attempts_ = 0;
                send_block(out);
            }
            break;
        default:
            break;
    }
    return out;
}

TransferActions StreamTransfer::connect_result(ConnectResult result) {
    TransferActions out;
    if (step_ != Step::Connecting) return out;
    switch (result) {
        case ConnectResult::Connected:
        case ConnectResult::InProgress:
            attempts_ = 0;
            send_header(out);
            break;
        case ConnectResult::SocketUnavailable:
            fail(text::kStreamSocketCreation, TransferOutcome::SocketUnavailable, false, out);
            break;
        case ConnectResult::Failed:
            if (++connect_attempts_ >= kStreamConnectAttempts) {
                fail(text::kStreamConnectionFailure, TransferOutcome::ConnectFailed, false, out);
            } else {
                step_ = Step::ConnectRetryPause;
                out.push_back(act(A::Pause, kStreamConnectRetryMs));
            }
            break;
    }
    return out;
}

TransferActions StreamTransfer::send_result(bool sent) {
    TransferActions out;
    if (step_ == Step::SendingHeader) {
        if (sent) {
            out.push_back(
                text_action(A::Log, with_number(text::kLogSizeHeaderSent,
                                                static_cast<long long>(kUploadSizeHeaderBytes))));
            out.push_back(text_action(A::Log, with_number(text::kLogFileSizeInfo, size_)));
            step_ = Step::HeaderPause;
            out.push_back(act(A::Pause, kStreamPauseMs));
        } else if (attempts_ < kStreamSendAttempts) {
            step_ = Step::HeaderRetryPause;
            out.push_back(act(A::Pause, kStreamHeaderRetryMs));
        } else {
            fail(text::kDataSendError, TransferOutcome::SendFailed, false, out);
        }
    } else if (step_ == Step::SendingBlock) {
        if (sent) {
            total_ += static_cast<std::uint32_t>(block_length_);
            ++blocks_;
            out.push_back(text_action(A::Log, block_line(block_length_, total_)));
            out.push_back(act(A::ProgressStep));
            step_ = Step::BlockPause;
            out.push_back(act(A::Pause, kStreamPauseMs));
        } else {
            // A wait follows every failed attempt, the last one included.
            step_ = Step::BlockRetryPause;
            out.push_back(act(A::Pause, kStreamBlockRetryMs));
        }
    }
    return out;
}

void StreamTransfer::send_header(TransferActions& out) {
    ++attempts_;
    step_ = Step::SendingHeader;
    A send = send_action(stream_size_header(size_));
    send.value = kStreamHeaderRetryMs;  // an attempt waits no longer than the retries' spacing
    out.push_back(std::move(send));
}

void StreamTransfer::send_block(TransferActions& out) {
    block_length_ = std::min<std::size_t>(kUploadBlockBytes, size_ - total_);
    ++attempts_;
    step_ = Step::SendingBlock;
    const auto first = image_->begin() + static_cast<std::ptrdiff_t>(total_);
    A send = send_action(
        std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(block_length_)));
    send.value = kStreamBlockRetryMs;
    out.push_back(std::move(send));
}

void StreamTransfer::fail(std::string_view message, TransferOutcome outcome, bool after_block,
                          TransferActions& out) {
    const bool sending = step_ == Step::SendingHeader || step_ == Step::BlockRetryPause;
    step_ = Step::Done;
    image_.reset();
    out.push_back(text_action(A::Message, message));
    out.push_back(act(A::Close));
    if (after_block) out.push_back(act(A::ProgressPos, 0));
    if (sending) out.push_back(text_action(A::Log, text::kLogUploadClosedAbnormally));
    out.push_back(ended(outcome));
}

void StreamTransfer::finish(TransferActions& out) {
    step_ = Step::Done;
    image_.reset();
    out.push_back(act(A::SentWhole));
    out.push_back(act(A::Close));
    out.push_back(text_action(A::Log, text::kLogUploadClosedNormally));
    out.push_back(ended(TransferOutcome::Succeeded));
}

}  // namespace quorin
