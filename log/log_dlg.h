// The log window: a modeless window from template 129 that lists protocol log lines.
// "Save and Exit" destroys the window (the object is deleted later; QPointers to it become null);
// "Exit" hides it and it keeps receiving lines in its hidden list.
//
// The list holds at most kLineLimit lines: when it is full the oldest are dropped, kDropBatch at
// a time, and its first line says how many have gone.
#pragma once

#include <QString>
#include <QStringList>

#include "platform/dialog.h"

namespace quorin {

class CLogDlg : public platform::Dialog {
    Q_OBJECT
  public:
    static constexpr int kLineLimit = 10000;
    static constexpr int kDropBatch = 1000;

    explicit CLogDlg(QWidget* parent = nullptr);
    ~CLogDlg() override;

    // Inserts the line as the new last item of list 1000 (never sorted), also while hidden,
    // dropping the oldest lines when the list is full. Does nothing once the window has been
    // destroyed.
    void AppendLine(const QString& line);
    QStringList lines() const;
    bool isDestroyed() const { return destroyed_; }
    // Lines dropped to keep the list within kLineLimit.
    int droppedLines() const { return dropped_; }

    void OnOK();      // "Save and Exit" and Enter: destroys the window, saves nothing
    void OnCancel();  // "Exit", Escape and the close box: hides the window

  protected:
    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }

  private:
    bool destroyed_ = false;
    int dropped_ = 0;
};

}  // namespace quorin
