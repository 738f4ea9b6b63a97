// Small interfaces over the platform services that the window logic uses: message boxes, one-shot
// window timers, a posted message and the file-open dialog. The product uses the Qt
// implementations; tests use the recording ones to read messages, fire timers and choose files
// without blocking or waiting.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <map>
#include <optional>

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

// Records every message instead of showing it.
class RecordingMessageBoxes final : public MessageBoxes {
public:
    void show(const QString& text) override;
    QStringList shown;
    std::function<void(const QString&)> on_show;  // optional hook, called after recording
};

// One-shot window timers by identifier. Arming an armed timer restarts it. The expiry handler
// receives the identifier; it runs on the window's thread.
class WindowTimers {
public:
    virtual ~WindowTimers() = default;
    virtual void SetTimer(int id, int milliseconds) = 0;
    virtual void KillTimer(int id) = 0;
    virtual bool isArmed(int id) const = 0;
    void setHandler(std::function<void(int)> handler) { handler_ = std::move(handler); }

protected:
    void expire(int id) {
        if (handler_) handler_(id);
    }

private:
    std::function<void(int)> handler_;
};

class QtWindowTimers final : public WindowTimers {
public:
    QtWindowTimers();
    ~QtWindowTimers() override;
    void SetTimer(int id, int milliseconds) override;
    void KillTimer(int id) override;
    bool isArmed(int id) const override;

private:
    struct Impl;
    Impl* impl_;
};

// Timers that only expire when a test fires them.
class ManualWindowTimers final : public WindowTimers {
public:
    void SetTimer(int id, int milliseconds) override { armed_[id] = milliseconds; }
    void KillTimer(int id) override { armed_.erase(id); }
    bool isArmed(int id) const override { return armed_.count(id) != 0; }
    // Period of an armed timer, or nullopt.
    std::optional<int> period(int id) const;
    // Disarms the timer (one-shot) and runs the handler, as an expiry would.
    void fire(int id);

private:
    std::map<int, int> armed_;
};

// Posting a message to the window: the handler runs later, on the window's thread, from its
// event loop. Safe to call from any thread.
class MessagePoster {
public:
    virtual ~MessagePoster() = default;
    virtual void PostMessage(int message) = 0;
    void setHandler(std::function<void(int)> handler) { handler_ = std::move(handler); }

protected:
    void deliver(int message) {
        if (handler_) handler_(message);
    }

private:
    std::function<void(int)> handler_;
};

class QtMessagePoster final : public MessagePoster {
public:
    explicit QtMessagePoster(QObject* receiver_thread_owner);
    void PostMessage(int message) override;

private:
    QObject* owner_;
};

class RecordingMessagePoster final : public MessagePoster {
public:
    void PostMessage(int message) override { posted.push_back(message); }
    // Delivers the oldest posted message, if any; returns whether one was delivered.
    bool deliverNext();
    QVector<int> posted;
};

// The file-open dialog. Returns the chosen file's full path, or nullopt when cancelled.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    virtual std::optional<QString> chooseOpenFile(QWidget* parent, const QString& filter) = 0;
};

class QtFileChooser final : public FileChooser {
public:
    std::optional<QString> chooseOpenFile(QWidget* parent, const QString& filter) override;
};

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
