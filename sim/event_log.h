// A JSON-lines event log: one compact JSON object per line, flushed after every line so that a
// test reading the file while the simulator runs sees each event as soon as it happened.
#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

namespace quorin::sim {

class EventLogFile {
  public:
    // Opens (truncates) `path`; "-" writes to standard error. Returns false with `error` set
    // when the file cannot be opened.
    bool open(const QString& path, QString* error);

    bool is_open() const { return file_.isOpen(); }

    // Appends `event` as one line and flushes it.
    void write(const QJsonObject& event);

  private:
    QFile file_;
};

}  // namespace quorin::sim
