// UploadWorker: the streamed firmware transfer. start() runs the StreamTransfer machine on a
// worker thread of its own, which owns the connection (StreamLink), reads the image and paces the
// steps with a Pacer. The worker never touches the host or any object of this object's thread:
// it queues each step's window actions under a mutex and wakes this object's thread through a
// pipe; this thread takes them and carries them out in order. (Nothing crosses threads through
// Qt's own event queue, so a thread sanitizer sees every hand-over.)
//
// The worker is the only thread. stop() (also run by the destructor) interrupts it and joins it;
// nothing of a stopped transfer is carried out afterwards.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/window_timers.h"
#include "protocol/upload_transfer.h"
#include "upload/pacer.h"
#include "upload/transfer_host.h"

class QSocketNotifier;

namespace quorin {

class UploadWorker : public QObject {
    Q_OBJECT
  public:
    UploadWorker(TransferHost& host, platform::WindowTimers& timers, QObject* parent = nullptr);
    ~UploadWorker() override;

    // Replaces the real pacer (tests: InstantPacer). `pacer` must outlive this object; set it
    // while no transfer runs.
    void setPacer(Pacer& pacer) { pacer_ = &pacer; }

    // Starts the transfer of the image at `image_path` to `board`:`port` on the worker thread.
    // A transfer still running is stopped first.
    void start(const QHostAddress& board, quint16 port, const QString& image_path);
    // The same with an image already read (and checked) once for several transfers.
    void start(const QHostAddress& board, quint16 port, ImageBytes image);

    // Interrupts a running worker and waits for its thread to end (bounded by the link's waits);
    // drops every action not yet carried out.
    void stop();

    // Whether the worker thread is still running.
    bool running() const { return running_; }

  private:
    // Worker thread.
    void begin(const QHostAddress& board, quint16 port, QString image_path, ImageBytes image);
    void run(QHostAddress board, quint16 port, ImageLoad image, quint64 generation);
    void post(TransferActions actions, quint64 generation);
    // Owner's thread.
    void takeHandedOver();
    void carryOut(TransferActions actions);

    TransferHost& host_;
    platform::WindowTimers& timers_;
    SleepPacer sleep_pacer_;
    Pacer* pacer_ = &sleep_pacer_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};

    // The hand-over from the worker: batches of window actions with the generation of the
    // transfer that made them, and the pipe whose readable end wakes the owner's thread.
    std::mutex handover_mutex_;
    std::deque<std::pair<quint64, TransferActions>> handed_over_;
    int wake_read_fd_ = -1;
    int wake_write_fd_ = -1;
    QSocketNotifier* wake_ = nullptr;

    // Owner's thread only.
    quint64 generation_ = 0;
    std::deque<TransferAction> pending_;
    bool carrying_ = false;
};

}  // namespace quorin
