// Doubles of the window's platform services (platform/platform_services.h) for tests and tools
// that drive the window without a user: messages are recorded instead of shown and the file-open
// dialog answers from a script.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "platform/platform_services.h"

namespace quorin::platform {

// Records every message instead of showing it.
class RecordingMessageBoxes final : public MessageBoxes {
  public:
    void show(const QString& text) override;
    QStringList shown;
    std::function<void(const QString&)> on_show;  // optional hook, called after recording
};

// Answers every file-open dialog with `next` (nullopt: cancelled) and keeps the filter it was
// asked with.
class ScriptedFileChooser final : public FileChooser {
  public:
    std::optional<QString> chooseOpenFile(QWidget*, const QString& filter) override {
        last_filter = filter;
        return next;
    }
    std::optional<QString> next;
    QString last_filter;
};

}  // namespace quorin::platform
