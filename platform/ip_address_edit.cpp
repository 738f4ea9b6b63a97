#include "platform/ip_address_edit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStringList>

namespace quorin::platform {
namespace {

constexpr int kMaxOctet = 255;
constexpr int kDigitsPerField = 3;

}  // namespace

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);
    auto* validator =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        auto* edit = new QLineEdit(this);
        edit->setFrame(false);
        edit->setAlignment(Qt::AlignCenter);
        edit->setMaxLength(kDigitsPerField);
        edit->setValidator(validator);
        edit->setMinimumWidth(8);
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            // A full field moves on to the next one, as the platform's address control does.
            if (text.size() == kDigitsPerField && i + 1 < fields_.size())
                focusField(static_cast<int>(i) + 1, true);
        });
        fields_[i] = edit;
        layout->addWidget(edit, 1);
        if (i + 1 < fields_.size()) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            layout->addWidget(dot, 0);
        }
    }
    setFocusProxy(fields_[0]);
}

void IpAddressEdit::setAddressText(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        QString shown;
        if (i < static_cast<std::size_t>(parts.size())) {
            bool ok = false;
            const QString part = parts[static_cast<qsizetype>(i)].trimmed();
            const qlonglong value = part.toLongLong(&ok);
            if (ok && value >= 0) shown = QString::number(value > kMaxOctet ? kMaxOctet : value);
        }
        fields_[i]->setText(shown);
    }
}

QString IpAddressEdit::addressText() const {
    QStringList parts;
    for (const QLineEdit* edit : fields_) parts << edit->text();
    return parts.join(QLatin1Char('.'));
}

std::array<std::uint8_t, 4> IpAddressEdit::address() const {
    std::array<std::uint8_t, 4> out{};
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const int value = fields_[i]->text().toInt();  // blank gives 0
        out[i] = static_cast<std::uint8_t>(value > kMaxOctet ? kMaxOctet : value);
    }
    return out;
}

bool IpAddressEdit::isBlank() const {
    for (const QLineEdit* edit : fields_)
        if (!edit->text().isEmpty()) return false;
    return true;
}

void IpAddressEdit::focusField(int index, bool select_all) {
    QLineEdit* edit = fields_[static_cast<std::size_t>(index)];
    edit->setFocus(Qt::OtherFocusReason);
    if (select_all) edit->selectAll();
}

int IpAddressEdit::indexOf(QObject* field) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i] == field) return static_cast<int>(i);
    return -1;
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    const int index = indexOf(watched);
    if (index >= 0 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        QLineEdit* edit = fields_[static_cast<std::size_t>(index)];
        const bool last = index + 1 == static_cast<int>(fields_.size());
        if ((key->key() == Qt::Key_Period || key->key() == Qt::Key_Space) && !last) {
            if (!edit->text().isEmpty()) focusField(index + 1, true);
            return true;
        }
        if (key->key() == Qt::Key_Right && edit->cursorPosition() == edit->text().size() && !last) {
            focusField(index + 1, false);
            fields_[static_cast<std::size_t>(index + 1)]->setCursorPosition(0);
            return true;
        }
        if ((key->key() == Qt::Key_Left || key->key() == Qt::Key_Backspace) &&
            edit->cursorPosition() == 0 && !edit->hasSelectedText() && index > 0) {
            focusField(index - 1, false);
            QLineEdit* previous = fields_[static_cast<std::size_t>(index - 1)];
            previous->setCursorPosition(previous->text().size());
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void IpAddressEdit::changeEvent(QEvent* event) {
    // A disabled control shows the window colour behind its fields, like a disabled edit.
    if (event->type() == QEvent::EnabledChange)
        setBackgroundRole(isEnabled() ? QPalette::Base : QPalette::Window);
    QFrame::changeEvent(event);
}

}  // namespace quorin::platform
