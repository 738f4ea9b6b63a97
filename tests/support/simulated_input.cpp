#include "tests/support/simulated_input.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTabBar>

#include "platform/dialog.h"
#include "platform/ip_address_edit.h"
#include "platform/tab_control.h"

namespace quorin::testing {

using platform::Dialog;

void click(Dialog& dialog, int id) {
    if (auto* button = qobject_cast<QAbstractButton*>(dialog.control(id))) button->click();
}

void simulate_select(Dialog& dialog, int id, int index) {
    QWidget* w = dialog.control(id);
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (index < 0 || index >= combo->count()) return;
        {
            const QSignalBlocker block(combo);
            combo->setCurrentIndex(index);
        }
        emit combo->activated(index);
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        if (index < 0 || index >= list->count()) return;
        list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);  // notifies on change
    } else if (auto* tab = qobject_cast<platform::TabControl*>(w)) {
        QTabBar* bar = tab->tabBar();
        if (index < 0 || index >= bar->count()) return;
        bar->setCurrentIndex(index);  // notifies when the tab changes
    }
}

void simulate_focus(Dialog& dialog, int id) {
    if (!dialog.control(id)) return;
    dialog.setFocusTo(id);  // moves the focus without notifying
    dialog.notifyUserAction(id, Dialog::UserAction::Focus);
}

void simulate_type(Dialog& dialog, int id, const QString& text) {
    QWidget* w = dialog.control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->selectAll();
        edit->insert(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        combo->lineEdit()->selectAll();
        combo->lineEdit()->insert(text);
    } else if (auto* ip = qobject_cast<platform::IpAddressEdit*>(w)) {
        ip->setAddressText(text);
        dialog.notifyUserAction(id,
                                Dialog::UserAction::Change);  // the edits above notify themselves
    }
}

}  // namespace quorin::testing
