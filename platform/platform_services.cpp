#include "platform/platform_services.h"

#include "platform/call_queue.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QObject>
#include <QThread>
#include <QTimer>

namespace quorin::platform {

// --- message boxes -------------------------------------------------------------------------

QString application_title() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void QtMessageBoxes::show(const QString& text) {
    QMessageBox box(QMessageBox::Warning, application_title(), text, QMessageBox::Ok, parent_);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void RecordingMessageBoxes::show(const QString& text) {
    shown << text;
    if (on_show) on_show(text);
}

// --- window timers -------------------------------------------------------------------------

struct QtWindowTimers::Impl {
    CallQueue context;  // owner thread's anchor: the timers are its children
    std::map<int, QTimer*> timers;
};

QtWindowTimers::QtWindowTimers() : impl_(new Impl) {}

QtWindowTimers::~QtWindowTimers() {
    delete impl_;
}

void QtWindowTimers::SetTimer(int id, int milliseconds) {
    if (QThread::currentThread() != impl_->context.thread()) {
        impl_->context.post([this, id, milliseconds] { SetTimer(id, milliseconds); });
        return;
    }
    QTimer*& timer = impl_->timers[id];
    if (!timer) {
        timer = new QTimer(&impl_->context);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, &impl_->context, [this, id] { expire(id); });
    }
    timer->start(milliseconds < 0 ? 0 : milliseconds);  // restarts an armed timer
}

void QtWindowTimers::KillTimer(int id) {
    if (QThread::currentThread() != impl_->context.thread()) {
        impl_->context.post([this, id] { KillTimer(id); });
        return;
    }
    const auto it = impl_->timers.find(id);
    if (it != impl_->timers.end()) it->second->stop();
}

bool QtWindowTimers::isArmed(int id) const {
    const auto it = impl_->timers.find(id);
    return it != impl_->timers.end() && it->second->isActive();
}

void ManualWindowTimers::SetTimer(int id, int milliseconds) {
    const std::lock_guard<std::mutex> lock(mutex_);
    armed_[id] = milliseconds;
    ++arm_counts_[id];
}

void ManualWindowTimers::KillTimer(int id) {
    const std::lock_guard<std::mutex> lock(mutex_);
    armed_.erase(id);
}

bool ManualWindowTimers::isArmed(int id) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return armed_.count(id) != 0;
}

std::optional<int> ManualWindowTimers::period(int id) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = armed_.find(id);
    if (it == armed_.end()) return std::nullopt;
    return it->second;
}

int ManualWindowTimers::armCount(int id) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = arm_counts_.find(id);
    return it == arm_counts_.end() ? 0 : it->second;
}

bool ManualWindowTimers::fire(int id) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (armed_.erase(id) == 0) return false;
    }
    expire(id);  // without the lock: the handler may arm timers again
    return true;
}

// --- posted messages -----------------------------------------------------------------------

QtMessagePoster::QtMessagePoster(QObject* receiver_thread_owner) : context_(new CallQueue) {
    if (receiver_thread_owner && receiver_thread_owner->thread() != context_->thread())
        context_->moveToThread(receiver_thread_owner->thread());
}

QtMessagePoster::~QtMessagePoster() = default;

void QtMessagePoster::PostMessage(int message) {
    // The call runs on the context's thread from its event loop and is dropped if the poster
    // (and with it the context) is gone by then.
    context_->post([this, message] { deliver(message); });
}

void RecordingMessagePoster::PostMessage(int message) {
    const std::lock_guard<std::mutex> lock(mutex_);
    posted.push_back(message);
}

bool RecordingMessagePoster::deliverNext() {
    int message = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (posted.isEmpty()) return false;
        message = posted.takeFirst();
    }
    deliver(message);
    return true;
}

QVector<int> RecordingMessagePoster::pending() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return posted;
}

// --- file-open dialog ----------------------------------------------------------------------

QString qt_file_filter(const QString& platform_filter) {
    const QStringList parts = platform_filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'))) {
            const QString trimmed = pattern.trimmed();
            if (!trimmed.isEmpty()) patterns << trimmed;
        }
        if (description.isEmpty() && patterns.isEmpty()) break;  // the closing "||"
        if (patterns.isEmpty()) continue;
        const QString joined = patterns.join(QLatin1Char(' '));
        filters << (description.isEmpty() ? QStringLiteral("(%1)").arg(joined)
                                          : QStringLiteral("%1 (%2)").arg(description, joined));
    }
    return filters.join(QStringLiteral(";;"));
}

std::optional<QString> QtFileChooser::chooseOpenFile(QWidget* parent, const QString& filter) {
    const QString path =
        QFileDialog::getOpenFileName(parent, QString(), QString(), qt_file_filter(filter));
    if (path.isEmpty()) return std::nullopt;
    return path;
}

}  // namespace quorin::platform
