// Routing of user input to the handlers: focus notifications, clicks (with the radio choices'
// exclusive check), the arrow keys within a choice, the commands, Enter and Escape.
#include "platform/dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

#include "res/resource_ids.h"

namespace quorin::platform {

// --- focus ---------------------------------------------------------------------------------

int Dialog::idOfWidget(const QWidget* widget) const {
    for (const QWidget* w = widget; w && w != this; w = w->parentWidget()) {
        for (const auto& [id, control] : controls_)
            if (control == w) return id;
    }
    return -1;
}

void Dialog::setFocusTo(int id) {
    QWidget* w = control(id);
    if (!w) return;
    ++suppressFocus_;
    w->setFocus(Qt::OtherFocusReason);
    --suppressFocus_;
}

int Dialog::focusedId() const {
    return idOfWidget(focusWidget());
}

void Dialog::onFocusChanged(QWidget* old, QWidget* now) {
    if (suppressFocus_ > 0 || !now || now->window() != this) return;
    const int id = idOfWidget(now);
    if (id < 0) return;
    // Focus moving between the parts of one control (the fields of an address) is no new focus.
    if (old && old->window() == this && idOfWidget(old) == id) return;
    runHandler(setFocus_, id);
}

// --- notifications -------------------------------------------------------------------------

void Dialog::onClicked(int id, std::function<void()> handler) {
    clicked_[id] = std::move(handler);
}

void Dialog::onSelChange(int id, std::function<void()> handler) {
    selChange_[id] = std::move(handler);
}

void Dialog::onSetFocus(int id, std::function<void()> handler) {
    setFocus_[id] = std::move(handler);
}

void Dialog::runHandler(const std::map<int, std::function<void()>>& handlers, int id) {
    const auto it = handlers.find(id);
    if (it == handlers.end() || !it->second) return;
    // A copy: the handler may replace its own registration while it runs.
    const std::function<void()> handler = it->second;
    handler();
}

void Dialog::notifyUserChange(int id) {
    if (userChange_) userChange_(id);
}

void Dialog::notifyUserAction(int id, UserAction action) {
    if (!control(id)) return;
    switch (action) {
        case UserAction::Change:
            notifyUserChange(id);
            return;
        case UserAction::Focus:
            runHandler(setFocus_, id);
            return;
    }
}

void Dialog::handleUserClick(int id) {
    if (!qobject_cast<QPushButton*>(control(id))) notifyUserChange(id);
    if (const auto choice = radioGroup_.find(id); choice != radioGroup_.end()) {
        // The clicked radio is checked; the others of its choice, and only those, are cleared.
        for (const auto& [other, group] : radioGroup_) {
            if (group != choice->second) continue;
            auto* radio = qobject_cast<QAbstractButton*>(control(other));
            const QSignalBlocker block(radio);
            radio->setChecked(other == id);
        }
    }
    sendCommand(id);
}

bool Dialog::moveInChoice(int id, int step) {
    const auto choice = radioGroup_.find(id);
    if (choice == radioGroup_.end()) return false;
    // The radios of the choice that the focus can reach, in template order, wrapping round.
    std::vector<int> reachable;
    for (int other : order_) {
        const auto group = radioGroup_.find(other);
        if (group == radioGroup_.end() || group->second != choice->second) continue;
        const QWidget* w = control(other);
        if (other == id || (w->isEnabled() && w->isVisibleTo(this))) reachable.push_back(other);
    }
    const int count = static_cast<int>(reachable.size());
    const int at =
        static_cast<int>(std::find(reachable.begin(), reachable.end(), id) - reachable.begin());
    const int next = reachable[static_cast<std::size_t>(((at + step) % count + count) % count)];
    // As on the platform: the radio the focus moves to is checked and notifies like a click,
    // also when it is the one that had the focus or was checked already.
    control(next)->setFocus(Qt::OtherFocusReason);
    handleUserClick(next);
    return true;
}

void Dialog::sendCommand(int id) {
    if (clicked_.count(id) != 0) {
        runHandler(clicked_, id);
    } else if (id == res::IDOK) {
        accept();
    } else if (id == res::IDCANCEL) {
        reject();
    }
}

void Dialog::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) {
        QDialog::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            // The focused push button, else the default button, else the OK command.
            int target = res::IDOK;
            const int focused = idOfWidget(focusWidget());
            if (focused >= 0 && qobject_cast<QPushButton*>(control(focused))) {
                target = focused;
            } else {
                for (int id : order_)
                    if (auto* button = qobject_cast<QPushButton*>(control(id));
                        button && button->isDefault())
                        target = id;
            }
            if (QWidget* w = control(target); w && !w->isEnabled()) return;
            sendCommand(target);
            return;
        }
        case Qt::Key_Escape:
            sendCommand(res::IDCANCEL);
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

}  // namespace quorin::platform
