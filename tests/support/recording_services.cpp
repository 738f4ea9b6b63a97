#include "tests/support/recording_services.h"

namespace quorin::platform {

void RecordingMessageBoxes::show(const QString& text) {
    shown << text;
    if (on_show) on_show(text);
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

}  // namespace quorin::platform
