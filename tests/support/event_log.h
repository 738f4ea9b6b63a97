// The simulator's event log (JSON lines, one event each) as the tests read it.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <vector>

namespace quorin::testing {

// Every event of the log at `path`, in order; none when it cannot be read.
inline std::vector<QJsonObject> read_events(const QString& path) {
    std::vector<QJsonObject> events;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return events;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty()) events.push_back(QJsonDocument::fromJson(line).object());
    }
    return events;
}

}  // namespace quorin::testing
