#include "upload/upload_worker.h"

#include <QMetaObject>
#include <QThread>
#include <optional>

#include "upload/image_file.h"
#include "upload/stream_link.h"

namespace quorin {
namespace {

QString qs(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

UploadWorker::UploadWorker(TransferHost& host, platform::WindowTimers& timers, QObject* parent)
    : QObject(parent), host_(host), timers_(timers) {}

UploadWorker::~UploadWorker() {
    stop();
}

bool UploadWorker::running() const {
    return thread_ && thread_->isRunning();
}

void UploadWorker::start(const QHostAddress& board, quint16 port, const QString& image_path) {
    stop();
    stop_ = false;
    pacer_->reset();
    finishing_.reset();
    const quint64 generation = ++generation_;
    thread_.reset(QThread::create(
        [this, board, port, image_path, generation] { run(board, port, image_path, generation); }));
    thread_->start();
}

void UploadWorker::stop() {
    stop_ = true;
    pacer_->interrupt();
    if (thread_) {
        thread_->wait();
        thread_.reset();
    }
    ++generation_;
    pending_.clear();
    timers_.KillTimer(uploadtimer::kFinishStep);
    timers_.KillTimer(uploadtimer::kEmptyImageError);
}

// --- worker thread -----------------------------------------------------------------------------

void UploadWorker::run(QHostAddress board, quint16 port, QString image_path, quint64 generation) {
    StreamLink link(stop_);
    StreamTransfer machine;
    TransferActions actions = machine.start(read_image(image_path));
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
                actions = machine.send_result(link.send(next->bytes));
                break;
        }
    }
}

void UploadWorker::post(TransferActions actions, quint64 generation) {
    // A queued call: it runs on this object's thread and is dropped if the object is gone.
    QMetaObject::invokeMethod(
        this,
        [this, actions = std::move(actions), generation]() mutable {
            if (generation == generation_) carryOut(std::move(actions));
        },
        Qt::QueuedConnection);
}

// --- owner's thread ----------------------------------------------------------------------------

bool UploadWorker::OnTimer(int id) {
    if (id != uploadtimer::kFinishStep && id != uploadtimer::kEmptyImageError) return false;
    carryOut(finishing_.timer_expired(id, status_));
    return true;
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
        apply(a);
    }
    carrying_ = false;
}

void UploadWorker::apply(const TransferAction& a) {
    switch (a.kind) {
        case TransferAction::StreamStatus:
            status_ = a.value;
            break;
        case TransferAction::ArmTimer:
            timers_.SetTimer(a.timer, a.value);
            break;
        case TransferAction::StopTimer:
            timers_.KillTimer(a.timer);
            break;
        case TransferAction::ProgressRange:
            host_.setProgressRange(a.value);
            break;
        case TransferAction::ProgressStepSize:
            host_.setProgressStepSize(a.value);
            break;
        case TransferAction::ProgressStep:
            host_.stepProgress();
            break;
        case TransferAction::ProgressPos:
            host_.setProgressPosition(a.value);
            break;
        case TransferAction::Message:
            host_.showMessage(qs(a.text));
            break;
        case TransferAction::Log:
            host_.appendLog(qs(a.text));
            break;
        case TransferAction::OperationState:
            host_.setOperationState(a.value);
            break;
        case TransferAction::Ended:
            host_.transferEnded(TransferKind::Streamed, a.value != 0);
            break;
        case TransferAction::Connect:
        case TransferAction::Send:
        case TransferAction::Close:
        case TransferAction::LoadImage:
        case TransferAction::Pause:
            break;  // the worker's own
    }
}

}  // namespace quorin
