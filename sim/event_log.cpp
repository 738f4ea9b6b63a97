#include "sim/event_log.h"

#include <QJsonDocument>
#include <cstdio>

namespace quorin::sim {

bool EventLogFile::open(const QString& path, QString* error) {
    const bool ok =
        path == QLatin1String("-")
            ? file_.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered)
            : (file_.setFileName(path),
               file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text));
    if (!ok && error) *error = QStringLiteral("cannot open %1: %2").arg(path, file_.errorString());
    return ok;
}

void EventLogFile::write(const QJsonObject& event) {
    if (!file_.isOpen()) return;
    QByteArray line = QJsonDocument(event).toJson(QJsonDocument::Compact);
    line.append('\n');
    file_.write(line);
    file_.flush();
}

}  // namespace quorin::sim
