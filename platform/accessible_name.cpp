#include "platform/accessible_name.h"

#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <QWidget>

#include "platform/ip_address_edit.h"

namespace quorin::platform {
namespace {

constexpr int kIpv4Octets = 4;  // the address control's fields

}  // namespace

void set_accessible_name(QWidget* control, std::string_view name) {
    if (control == nullptr || name.empty()) return;
    const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    control->setAccessibleName(text);
    // Qt reports an editable combo box's text as its name on Linux and names it through label
    // relations there; its edit part, which holds the caret, carries the name instead.
    if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->lineEdit())
        combo->lineEdit()->setAccessibleName(text);
    if (auto* address = qobject_cast<IpAddressEdit*>(control)) {
        for (int i = 0; i < kIpv4Octets; ++i)
            address->field(i)->setAccessibleName(
                QStringLiteral("%1 octet %2").arg(text).arg(i + 1));
    }
}

}  // namespace quorin::platform
