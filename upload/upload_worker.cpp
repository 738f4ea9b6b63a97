#include "upload/upload_worker.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <optional>

#include "res/texts.h"
#include "upload/image_file.h"
#include "upload/stream_link.h"

namespace quorin {

UploadWorker::UploadWorker(TransferHost& host, platform::WindowTimers& timers, QObject* parent)
    : QObject(parent), host_(host), timers_(timers) {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        wake_read_fd_ = fds[0];
        wake_write_fd_ = fds[1];
        wake_ = new QSocketNotifier(wake_read_fd_, QSocketNotifier::Read, this);
        connect(wake_, &QSocketNotifier::activated, this, &UploadWorker::takeHandedOver);
    }
}

UploadWorker::~UploadWorker() {
    stop();
    delete wake_;
    if (wake_read_fd_ >= 0) ::close(wake_read_fd_);
    if (wake_write_fd_ >= 0) ::close(wake_write_fd_);
}

void UploadWorker::start(const QHostAddress& board, quint16 port, const QString& image_path) {
    begin(board, port, image_path, nullptr);
}

void UploadWorker::start(const QHostAddress& board, quint16 port, ImageBytes image) {
    begin(board, port, QString(), std::move(image));
}

void UploadWorker::begin(const QHostAddress& board, quint16 port, QString image_path,
                         ImageBytes image) {
    stop();
    stop_ = false;
    pacer_->reset();
    const quint64 generation = ++generation_;
    if (!wake_) {
        // Without its wake-up pipe the worker could not report back: fail as a transfer whose
        // socket cannot be made.
        using A = TransferAction;
        A ended{};
        ended.kind = A::Ended;
        ended.outcome = TransferOutcome::SocketUnavailable;
        carryOut({A{A::Message,
                    0,
                    0,
                    std::string(text::kStreamSocketCreation),
                    {},
                    TransferOutcome::Succeeded},
                  ended});
        return;
    }
    running_ = true;
    thread_ = std::thread([this, board, port, image_path, image, generation] {
        // The file is read on the worker thread, as it always was; a shared image is not.
        ImageLoad load;
        load.shared = image;
        run(board, port, image ? std::move(load) : read_image(image_path), generation);
        running_ = false;
    });
}

void UploadWorker::stop() {
    stop_ = true;
    pacer_->interrupt();
    if (thread_.joinable()) thread_.join();
    ++generation_;
    {
        const std::lock_guard<std::mutex> lock(handover_mutex_);
        handed_over_.clear();
    }
    pending_.clear();
}

// --- worker thread -----------------------------------------------------------------------------

void UploadWorker::run(QHostAddress board, quint16 port, ImageLoad image, quint64 generation) {
    StreamLink link(stop_);
    StreamTransfer machine;
    TransferActions actions = machine.start(std::move(image));
    while (true) {
        TransferActions window;
        std::optional<TransferAction> next;
        for (TransferAction& a : actions) {
            switch (a.kind) {
                case TransferAction::Close:
                    link.close();  // the rest of the image leaves before completion is told
                    break;
                case TransferAction::Pause:
                case TransferAction::Connect:
                case TransferAction::Send:
                    next = std::move(a);
                    break;
                default:
                    window.push_back(std::move(a));
            }
        }
        if (!window.empty()) post(std::move(window), generation);
        if (!next || stop_) break;
        switch (next->kind) {
            case TransferAction::Pause:
                if (!pacer_->wait(next->value)) return;
                actions = machine.pause_done();
                break;
            case TransferAction::Connect:
                actions = machine.connect_result(link.connect(board, port));
                break;
            default:
                actions = machine.send_result(link.send(next->bytes, next->value));
                break;
        }
    }
}

void UploadWorker::post(TransferActions actions, quint64 generation) {
    {
        const std::lock_guard<std::mutex> lock(handover_mutex_);
        handed_over_.emplace_back(generation, std::move(actions));
    }
    // One byte per batch wakes the owner's thread; a full pipe already means "wake up".
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_write_fd_, &wake, 1);
}

// --- owner's thread ----------------------------------------------------------------------------

void UploadWorker::takeHandedOver() {
    char drained[64];
    while (::read(wake_read_fd_, drained, sizeof drained) > 0) {
    }
    std::deque<std::pair<quint64, TransferActions>> batches;
    {
        const std::lock_guard<std::mutex> lock(handover_mutex_);
        batches.swap(handed_over_);
    }
    for (auto& [generation, actions] : batches) {
        // A transfer stopped (or started again) meanwhile: its leftovers are dropped.
        if (generation == generation_) carryOut(std::move(actions));
    }
}

void UploadWorker::carryOut(TransferActions actions) {
    // In order, one at a time: a message box runs a nested event loop, and what the worker handed
    // over meanwhile waits until the box is closed, as the worker itself would have.
    for (TransferAction& a : actions) pending_.push_back(std::move(a));
    if (carrying_) return;
    carrying_ = true;
    while (!pending_.empty()) {
        const TransferAction a = std::move(pending_.front());
        pending_.pop_front();
        report_to_host(a, TransferKind::Streamed, host_, timers_);
    }
    carrying_ = false;
}

}  // namespace quorin
