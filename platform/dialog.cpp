#include "platform/dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <algorithm>

#include "platform/accessible_name.h"
#include "platform/ip_address_edit.h"
#include "platform/list_box.h"
#include "platform/shell_rules.h"
#include "platform/tab_control.h"
#include "res/accessible_names.h"
#include "res/resource_ids.h"

namespace quorin::platform {
namespace {

using res::ControlKind;

// A radio button that a click always leaves checked, as an automatic radio does: the dialog
// clears the other radios of its choice, so the button itself never toggles off. The arrow keys
// go to `on_arrow` (-1 for Up and Left, +1 for Down and Right), which moves within the choice;
// they fall back to Qt's own handling when it declines them.
class ChoiceRadio final : public QRadioButton {
  public:
    using QRadioButton::QRadioButton;
    std::function<bool(int)> on_arrow;

  protected:
    void nextCheckState() override { setChecked(true); }
    void keyPressEvent(QKeyEvent* event) override {
        int step = 0;
        if (!(event->modifiers() & ~Qt::KeypadModifier)) {
            if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Left) step = -1;
            if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Right) step = 1;
        }
        if (step != 0 && on_arrow && on_arrow(step)) {
            event->accept();
            return;
        }
        QRadioButton::keyPressEvent(event);
    }
};

// An editable combo box whose typed text is taken as it is, never completed. It is what
// setEditable(true) makes, less the completer: that completer would be made for the combo's model
// (a proxy model connected to every change of the list) and at once removed again, and it was
// nearly half of what the window's twenty combos took to build. Qt leaves a line edit's own
// completer in place, so a stand-in one keeps it from making its own; the stand-in is removed
// before the constructor returns.
class TypedCombo final : public QComboBox {
  public:
    explicit TypedCombo(QWidget* parent) : QComboBox(parent) {
        // What setEditable(true) does besides: it asks the style with the combo not yet editable,
        // and sizes the combo once.
        QStyleOptionComboBox option;
        initStyleOption(&option);
        const bool popup = style()->styleHint(QStyle::SH_ComboBox_Popup, &option, this);
        auto* edit = new QLineEdit(this);
        edit->setPalette(palette());
        QCompleter stand_in;
        edit->setCompleter(&stand_in);
        setLineEdit(edit);
        setCompleter(nullptr);
        if (popup) view()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        if (!testAttribute(Qt::WA_Resized)) adjustSize();
    }
};

// A group box drawn as the platform draws one: an etched frame whose top line runs through the
// middle of the title, the title on an opaque background. Drawing the title opaquely also keeps
// the copies of the channel area's group boxes, which lie on top of each other, from darkening
// the text.
class TitledFrame final : public QGroupBox {
  public:
    using QGroupBox::QGroupBox;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const int top = metrics.height() / 2;
        const QRect frame = rect().adjusted(0, top, -1, -1);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(frame.adjusted(1, 1, 0, 0));
        if (title().isEmpty()) return;
        const int indent = metrics.averageCharWidth();
        const QRect text(indent, 0, metrics.horizontalAdvance(title()) + 2, metrics.height());
        painter.fillRect(text, palette().brush(QPalette::Window));
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        painter.drawText(text.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, title());
    }
};

// Radios and check boxes with the narrow gap between mark and text of the platform's controls,
// so that their labels fit the templates' rectangles.
class DialogStyle final : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_RadioButtonLabelSpacing || metric == PM_CheckBoxLabelSpacing)
            return kLabelSpacing;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

  private:
    static constexpr int kLabelSpacing = 3;  // pixels
};

// The family used when the template's own family is not installed: one with Hangul glyphs.
constexpr const char* kHangulFallbackFamily = "NanumGothic";

// Size of a control's icon in the about box, in pixels.
constexpr int kIconPixels = 32;

QString qstr(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename W>
W* as(QWidget* widget) {
    return qobject_cast<W*>(widget);
}

}  // namespace

QFont template_font(std::string_view family, int points) {
    const QString wanted = qstr(family);
    const QStringList families = QFontDatabase::families();
    QFont font = QApplication::font();
    if (!wanted.isEmpty() && families.contains(wanted, Qt::CaseInsensitive)) {
        font.setFamilies({wanted});
    } else if (families.contains(QLatin1String(kHangulFallbackFamily), Qt::CaseInsensitive)) {
        font.setFamilies({QLatin1String(kHangulFallbackFamily)});
    }
    if (points > 0) font.setPointSize(points);
    return font;
}

BaseUnits base_units(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const int total = metrics.horizontalAdvance(letters);
    const int x = (total + letters.size() / 2) / static_cast<int>(letters.size());
    return {std::max(1, x), std::max(1, metrics.height())};
}

QRect dialog_units_to_pixels(int x, int y, int width, int height, BaseUnits base) {
    return QRect(x * base.x / 4, y * base.y / 8, width * base.x / 4, height * base.y / 8);
}

Dialog::Dialog(const res::DialogTemplate& tmpl, QWidget* parent) : QDialog(parent), tmpl_(tmpl) {
    build();
}

Dialog::~Dialog() {
    // The controls are destroyed after this object's members: focus moves and signals raised
    // while they go must not reach the handlers or the identifier map any more.
    disconnect(qApp, nullptr, this, nullptr);
    for (const auto& [id, w] : controls_) w->blockSignals(true);
}

void Dialog::build() {
    setWindowTitle(qstr(tmpl_.caption));
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (tmpl_.system_menu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (tmpl_.minimize_box) flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);

    const QFont font = template_font(tmpl_.font_family, tmpl_.font_points);
    setFont(font);
    const BaseUnits base = base_units(font);
    baseX_ = base.x;
    baseY_ = base.y;
    setFixedSize(mapDialogRect(0, 0, tmpl_.width, tmpl_.height).size());

    // Radio choices: a radio with the group style starts a new choice; the radios after it
    // belong to it until the next control with the group style.
    int choice = -1;
    bool in_choice = false;
    std::vector<QWidget*> group_boxes, tab_panes, marked_buttons;
    for (const res::ControlTemplate& c : tmpl_.controls) {
        QWidget* w = createControl(c);
        w->setGeometry(mapDialogRect(c.x, c.y, c.width, c.height));
        if (c.style & res::kDisabled) w->setEnabled(false);
        if (c.style & res::kHidden) w->hide();
        if (!(c.style & res::kTabStop) && (w->focusPolicy() & Qt::TabFocus))
            w->setFocusPolicy(Qt::ClickFocus);

        if (c.kind == ControlKind::RadioButton) {
            if ((c.style & res::kGroup) || !in_choice) {
                ++choice;
                in_choice = true;
            }
            if (c.id != res::kNoId) radioGroup_[c.id] = choice;
        } else if (c.style & res::kGroup) {
            in_choice = false;
        }
        if (c.kind == ControlKind::GroupBox) group_boxes.push_back(w);
        if (c.kind == ControlKind::Tab) tab_panes.push_back(w);
        if (c.kind == ControlKind::RadioButton || c.kind == ControlKind::CheckBox)
            marked_buttons.push_back(w);

        if (c.id != res::kNoId) {
            w->setObjectName(QStringLiteral("control_%1").arg(c.id));
            set_accessible_name(w, res::accessible_name(tmpl_.id, c.id));
            controls_[c.id] = w;
            order_.push_back(c.id);
        }
    }
    // Frames lie under the controls they surround: group boxes below everything else (an outer
    // box below the boxes inside it), tab panes below the group boxes drawn on them.
    for (auto it = group_boxes.rbegin(); it != group_boxes.rend(); ++it) (*it)->lower();
    for (QWidget* w : tab_panes) w->lower();

    // Created after the controls, so that it is destroyed after them.
    if (!marked_buttons.empty()) {
        auto* style = new DialogStyle;
        style->setParent(this);
        for (QWidget* w : marked_buttons) w->setStyle(style);
    }

    connect(qApp, &QApplication::focusChanged, this, &Dialog::onFocusChanged);
}

QWidget* Dialog::createControl(const res::ControlTemplate& c) {
    const QString text = qstr(c.text);
    const int id = c.id;
    switch (c.kind) {
        case ControlKind::Static: {
            // Opaque, as the platform's static controls are: the copies of a shared label drawn
            // over each other then look like one.
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setAutoFillBackground(true);
            return label;
        }
        case ControlKind::SunkenStatic: {
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            label->setIndent(1);
            label->setAutoFillBackground(true);
            return label;
        }
        case ControlKind::Icon: {
            auto* label = new QLabel(this);
            label->setPixmap(app_icon().pixmap(kIconPixels, kIconPixels));
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::GroupBox: {
            // A titled frame only: the controls it surrounds stay children of the dialog.
            auto* box = new TitledFrame(text, this);
            box->setFocusPolicy(Qt::NoFocus);
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            return box;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, this);
            edit->setReadOnly(c.style & res::kReadOnly);
            connect(edit, &QLineEdit::textEdited, this, [this, id] { notifyUserChange(id); });
            return edit;
        }
        case ControlKind::ListBox: {
            auto* list = new ListBox(this);  // never emptied by the user
            list->setSortingEnabled(false);  // entries stay in insertion order, whatever the style
            // Entries are single lines of text: rows of one height, so that a long list (the log)
            // is laid out without measuring every entry.
            list->setUniformItemSizes(true);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setVerticalScrollBarPolicy((c.style & res::kVScroll) ? Qt::ScrollBarAsNeeded
                                                                       : Qt::ScrollBarAlwaysOff);
            // The selection, not the current row: the view moves its current row by itself when
            // it receives the focus, which is no selection change.
            connect(list, &QListWidget::itemSelectionChanged, this, [this, id] {
                notifyUserChange(id);
                runHandler(selChange_, id);
            });
            return list;
        }
        case ControlKind::ComboBox: {
            auto* combo = new TypedCombo(this);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            combo->setMinimumContentsLength(1);
            connect(combo, &QComboBox::activated, this, [this, id](int) {
                notifyUserChange(id);
                runHandler(selChange_, id);
            });
            connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                    [this, id] { notifyUserChange(id); });
            return combo;
        }
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(text, this);
            // Enter is handled by the dialog (keyPressEvent), not by Qt's auto-default buttons.
            button->setAutoDefault(false);
            button->setDefault(c.kind == ControlKind::DefPushButton);
            connect(button, &QPushButton::clicked, this, [this, id] { handleUserClick(id); });
            return button;
        }
        case ControlKind::RadioButton: {
            auto* radio = new ChoiceRadio(text, this);
            radio->setAutoExclusive(false);
            radio->on_arrow = [this, id](int step) { return moveInChoice(id, step); };
            connect(radio, &QAbstractButton::clicked, this, [this, id] { handleUserClick(id); });
            return radio;
        }
        case ControlKind::CheckBox: {
            auto* check = new QCheckBox(text, this);
            connect(check, &QAbstractButton::clicked, this, [this, id] { handleUserClick(id); });
            return check;
        }
        case ControlKind::IpAddress: {
            auto* ip = new IpAddressEdit(this);
            for (int i = 0; i < 4; ++i) {
                connect(ip->field(i), &QLineEdit::textEdited, this,
                        [this, id] { notifyUserChange(id); });
            }
            return ip;
        }
        case ControlKind::Tab: {
            auto* tab = new TabControl(this);
            connect(tab->tabBar(), &QTabBar::currentChanged, this, [this, id](int) {
                notifyUserChange(id);
                runHandler(selChange_, id);
            });
            return tab;
        }
        case ControlKind::Progress: {
            auto* bar = new QProgressBar(this);
            bar->setTextVisible(false);
            bar->setRange(0, 100);
            bar->setValue(0);
            return bar;
        }
    }
    return new QWidget(this);
}

QWidget* Dialog::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

std::vector<int> Dialog::controlIds() const {
    return order_;
}

int Dialog::radioChoice(int id) const {
    const auto it = radioGroup_.find(id);
    return it == radioGroup_.end() ? -1 : it->second;
}

QRect Dialog::mapDialogRect(int x, int y, int width, int height) const {
    return dialog_units_to_pixels(x, y, width, height, BaseUnits{baseX_, baseY_});
}

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

// --- tab control ---------------------------------------------------------------------------

namespace {
QTabBar* tab_bar(QWidget* w) {
    auto* tab = qobject_cast<TabControl*>(w);
    return tab ? tab->tabBar() : nullptr;
}
}  // namespace

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

void Dialog::handleUserClick(int id) {
    if (!as<QPushButton>(control(id))) notifyUserChange(id);
    if (const auto choice = radioGroup_.find(id); choice != radioGroup_.end()) {
        // The clicked radio is checked; the others of its choice, and only those, are cleared.
        for (const auto& [other, group] : radioGroup_) {
            if (group != choice->second) continue;
            auto* radio = as<QAbstractButton>(control(other));
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
                    if (auto* button = as<QPushButton>(control(id)); button && button->isDefault())
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

// --- acting as the user --------------------------------------------------------------------

void Dialog::click(int id) {
    if (auto* button = as<QAbstractButton>(control(id))) button->click();
}

void Dialog::simulateSelect(int id, int index) {
    QWidget* w = control(id);
    if (auto* combo = as<QComboBox>(w)) {
        if (index < 0 || index >= combo->count()) return;
        {
            const QSignalBlocker block(combo);
            combo->setCurrentIndex(index);
        }
        emit combo->activated(index);
    } else if (auto* list = as<QListWidget>(w)) {
        if (index < 0 || index >= list->count()) return;
        list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);  // notifies on change
    } else if (QTabBar* bar = tab_bar(w)) {
        if (index < 0 || index >= bar->count()) return;
        bar->setCurrentIndex(index);  // notifies when the tab changes
    }
}

void Dialog::simulateFocus(int id) {
    if (!control(id)) return;
    setFocusTo(id);
    runHandler(setFocus_, id);
}

void Dialog::simulateType(int id, const QString& text) {
    QWidget* w = control(id);
    if (auto* edit = as<QLineEdit>(w)) {
        edit->selectAll();
        edit->insert(text);
    } else if (auto* combo = as<QComboBox>(w)) {
        combo->lineEdit()->selectAll();
        combo->lineEdit()->insert(text);
    } else if (auto* ip = as<IpAddressEdit>(w)) {
        ip->setAddressText(text);
        notifyUserChange(id);  // the edits above notify by themselves
    }
}

}  // namespace quorin::platform
