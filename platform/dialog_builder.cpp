// The builder: a dialog's widgets made from its template, the template's font and the conversion
// from dialog units to pixels.
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
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <algorithm>

#include "platform/accessible_name.h"
#include "platform/ip_address_edit.h"
#include "platform/list_box.h"
#include "platform/shell_rules.h"
#include "platform/tab_control.h"
#include "res/accessible_names.h"

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

}  // namespace quorin::platform
