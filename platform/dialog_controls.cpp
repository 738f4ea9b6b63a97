// The control operations by identifier. None of them raises a notification: the controls'
// signals are blocked while they change.
#include "platform/dialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTabBar>
#include <algorithm>

#include "platform/ip_address_edit.h"
#include "platform/tab_control.h"

namespace quorin::platform {
namespace {

template <typename W>
W* as(QWidget* widget) {
    return qobject_cast<W*>(widget);
}

QTabBar* tab_bar(QWidget* w) {
    auto* tab = qobject_cast<TabControl*>(w);
    return tab ? tab->tabBar() : nullptr;
}

}  // namespace

// --- text, enabled state, visibility -------------------------------------------------------

void Dialog::setText(int id, const QString& text) {
    QWidget* w = control(id);
    if (!w) return;
    const QSignalBlocker block(w);
    if (auto* label = as<QLabel>(w)) {
        label->setText(text);
    } else if (auto* button = as<QAbstractButton>(w)) {
        button->setText(text);
    } else if (auto* box = as<QGroupBox>(w)) {
        box->setTitle(text);
    } else if (auto* edit = as<QLineEdit>(w)) {
        edit->setText(text);
    } else if (auto* combo = as<QComboBox>(w)) {
        combo->setEditText(text);
    } else if (auto* ip = as<IpAddressEdit>(w)) {
        ip->setAddressText(text);
    } else {
        w->setWindowTitle(text);
    }
}

QString Dialog::text(int id) const {
    const QWidget* w = control(id);
    if (!w) return {};
    if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
    if (auto* box = qobject_cast<const QGroupBox*>(w)) return box->title();
    if (auto* edit = qobject_cast<const QLineEdit*>(w)) return edit->text();
    if (auto* combo = qobject_cast<const QComboBox*>(w)) return combo->currentText();
    if (auto* ip = qobject_cast<const IpAddressEdit*>(w)) return ip->addressText();
    return w->windowTitle();
}

void Dialog::enable(int id, bool enabled) {
    if (QWidget* w = control(id)) w->setEnabled(enabled);
}

bool Dialog::isEnabled(int id) const {
    const QWidget* w = control(id);
    return w && !w->testAttribute(Qt::WA_Disabled);
}

void Dialog::show(int id, bool visible) {
    if (QWidget* w = control(id)) w->setVisible(visible);
}

bool Dialog::isShown(int id) const {
    const QWidget* w = control(id);
    return w && w->isVisibleTo(this);
}

// --- check boxes and radios ----------------------------------------------------------------

void Dialog::setCheck(int id, bool checked) {
    auto* button = as<QAbstractButton>(control(id));
    if (!button) return;
    const QSignalBlocker block(button);
    button->setChecked(checked);
}

bool Dialog::isChecked(int id) const {
    const auto* button = qobject_cast<const QAbstractButton*>(control(id));
    return button && button->isChecked();
}

// --- combo boxes ---------------------------------------------------------------------------

void Dialog::comboReset(int id) {
    auto* combo = as<QComboBox>(control(id));
    if (!combo) return;
    const QSignalBlocker block(combo);
    combo->clear();
    combo->setEditText(QString());
}

void Dialog::comboAdd(int id, const QString& text) {
    auto* combo = as<QComboBox>(control(id));
    if (!combo) return;
    const QSignalBlocker block(combo);
    const int selected = combo->currentIndex();
    const QString shown = combo->currentText();
    combo->addItem(text);
    // Adding an entry never selects it, also not the first one of an empty list.
    if (selected < 0) {
        combo->setCurrentIndex(-1);
        combo->setEditText(shown);
    }
}

void Dialog::comboFill(int id, const QStringList& entries) {
    for (const QString& entry : entries) comboAdd(id, entry);
}

void Dialog::comboSetCurSel(int id, int index) {
    auto* combo = as<QComboBox>(control(id));
    if (!combo) return;
    const QSignalBlocker block(combo);
    if (index < 0 || index >= combo->count()) {
        combo->setCurrentIndex(-1);
        combo->setEditText(QString());
    } else {
        combo->setCurrentIndex(index);
    }
}

int Dialog::comboCurSel(int id) const {
    const auto* combo = qobject_cast<const QComboBox*>(control(id));
    return combo ? combo->currentIndex() : -1;
}

QStringList Dialog::comboItems(int id) const {
    QStringList items;
    if (const auto* combo = qobject_cast<const QComboBox*>(control(id)))
        for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

// --- list boxes ----------------------------------------------------------------------------

void Dialog::listReset(int id) {
    auto* list = as<QListWidget>(control(id));
    if (!list) return;
    const QSignalBlocker block(list);
    list->clear();
}

void Dialog::listAppend(int id, const QString& text) {
    auto* list = as<QListWidget>(control(id));
    if (!list) return;
    const QSignalBlocker block(list);
    list->addItem(text);  // at the end: sorting is off for every list
}

bool Dialog::listSetCurSel(int id, int index) {
    auto* list = as<QListWidget>(control(id));
    if (!list) return false;
    const QSignalBlocker block(list);
    if (index < 0 || index >= list->count()) {
        // The list refuses the index and is left without a selection.
        list->clearSelection();
        list->setCurrentRow(-1);
        return false;
    }
    list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    return true;
}

int Dialog::listCurSel(int id) const {
    const auto* list = qobject_cast<const QListWidget*>(control(id));
    if (!list) return -1;
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

int Dialog::listCount(int id) const {
    const auto* list = qobject_cast<const QListWidget*>(control(id));
    return list ? list->count() : 0;
}

QString Dialog::listItem(int id, int index) const {
    const auto* list = qobject_cast<const QListWidget*>(control(id));
    if (!list || index < 0 || index >= list->count()) return {};
    return list->item(index)->text();
}

QStringList Dialog::listItems(int id) const {
    QStringList items;
    if (const auto* list = qobject_cast<const QListWidget*>(control(id)))
        for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    return items;
}

void Dialog::listDelete(int id, int first, int count) {
    auto* list = as<QListWidget>(control(id));
    if (!list || first < 0 || first >= list->count() || count <= 0) return;
    const QSignalBlocker block(list);
    // One removal for the whole range, so that the view lays itself out once.
    list->model()->removeRows(first, std::min(count, list->count() - first));
}

void Dialog::listSetItemText(int id, int index, const QString& text) {
    auto* list = as<QListWidget>(control(id));
    if (!list || index < 0 || index >= list->count()) return;
    const QSignalBlocker block(list);
    list->item(index)->setText(text);
}

void Dialog::tabDeleteAll(int id) {
    QTabBar* bar = tab_bar(control(id));
    if (!bar) return;
    const QSignalBlocker block(bar);
    while (bar->count() > 0) bar->removeTab(bar->count() - 1);
}

void Dialog::tabInsert(int id, int position, const QString& text) {
    QTabBar* bar = tab_bar(control(id));
    if (!bar) return;
    const QSignalBlocker block(bar);
    bar->insertTab(std::clamp(position, 0, bar->count()), text);
}

int Dialog::tabCurSel(int id) const {
    QTabBar* bar = tab_bar(control(id));
    return bar ? bar->currentIndex() : -1;
}

void Dialog::tabSetCurSel(int id, int index) {
    QTabBar* bar = tab_bar(control(id));
    if (!bar || index < 0 || index >= bar->count()) return;
    const QSignalBlocker block(bar);
    bar->setCurrentIndex(index);
}

int Dialog::tabCount(int id) const {
    QTabBar* bar = tab_bar(control(id));
    return bar ? bar->count() : 0;
}

QStringList Dialog::tabTexts(int id) const {
    QStringList texts;
    if (QTabBar* bar = tab_bar(control(id)))
        for (int i = 0; i < bar->count(); ++i) texts << bar->tabText(i);
    return texts;
}

// --- IP address control --------------------------------------------------------------------

std::array<std::uint8_t, 4> Dialog::ipAddress(int id) const {
    const auto* ip = qobject_cast<const IpAddressEdit*>(control(id));
    return ip ? ip->address() : std::array<std::uint8_t, 4>{};
}

// --- progress bar --------------------------------------------------------------------------

void Dialog::applyProgress(int id) {
    auto* bar = as<QProgressBar>(control(id));
    if (!bar) return;
    const Progress& p = progress_[id];
    if (p.upper > p.lower) {
        bar->setRange(p.lower, p.upper);
        bar->setValue(p.pos);
    } else {
        bar->setRange(0, 1);  // an empty range shows an empty bar, not a busy indicator
        bar->setValue(0);
    }
}

void Dialog::progressSetRange(int id, int lower, int upper) {
    if (!as<QProgressBar>(control(id))) return;
    Progress& p = progress_[id];
    // The platform's range is two 16-bit values.
    p.lower = lower & 0xFFFF;
    p.upper = upper & 0xFFFF;
    p.pos = std::clamp(p.pos, p.lower, std::max(p.lower, p.upper));
    applyProgress(id);
}

void Dialog::progressSetPos(int id, int pos) {
    if (!as<QProgressBar>(control(id))) return;
    Progress& p = progress_[id];
    p.pos = std::clamp(pos, p.lower, std::max(p.lower, p.upper));
    applyProgress(id);
}

void Dialog::progressSetStep(int id, int step) {
    if (!as<QProgressBar>(control(id))) return;
    progress_[id].step = step;
}

void Dialog::progressStep(int id) {
    if (!as<QProgressBar>(control(id))) return;
    Progress& p = progress_[id];
    int next = p.pos + p.step;
    // Stepping past the end starts over from the beginning of the range.
    if (next > p.upper)
        next = p.upper > p.lower ? p.lower + (next - p.upper) % (p.upper - p.lower) : p.lower;
    if (next < p.lower) next = p.lower;
    p.pos = next;
    applyProgress(id);
}

int Dialog::progressPos(int id) const {
    const auto it = progress_.find(id);
    if (it != progress_.end()) return it->second.pos;
    return hasControl(id) ? 0 : -1;
}

}  // namespace quorin::platform
