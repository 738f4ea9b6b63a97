// Small interfaces over the platform services that the window logic uses: message boxes, one-shot
// window timers (window_timers.h) and the file-open dialog, with their Qt
// implementations. Tests put doubles of their own behind the same interfaces to read messages,
// fire timers and choose files without blocking or waiting.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "platform/window_timers.h"

class QObject;
class QWidget;

namespace quorin::platform {

// Modal message boxes in the tool's convention: the application's name as title (the
// executable's file name without extension), an OK button only and an exclamation icon.
// show() returns when the box has been closed; callers move the focus afterwards.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    virtual void show(const QString& text) = 0;
};

// The title every message box carries.
QString application_title();

class QtMessageBoxes final : public MessageBoxes {
  public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(const QString& text) override;

  private:
    QWidget* parent_;
};

// The file-open dialog. Returns the chosen file's full path, or nullopt when cancelled.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    virtual std::optional<QString> chooseOpenFile(QWidget* parent, const QString& filter) = 0;
};

// Converts a filter in the platform's form, pairs of description and patterns separated by "|"
// and ended by "||" (patterns separated by ";"), into Qt's form: "description (patterns)" joined
// by ";;". "Binary Format(*.bin)|*.bin||" gives "Binary Format(*.bin) (*.bin)". A description
// without patterns is left out.
QString qt_file_filter(const QString& platform_filter);

// QFileDialog::getOpenFileName with the filter converted by qt_file_filter.
class QtFileChooser final : public FileChooser {
  public:
    std::optional<QString> chooseOpenFile(QWidget* parent, const QString& filter) override;
};

}  // namespace quorin::platform
