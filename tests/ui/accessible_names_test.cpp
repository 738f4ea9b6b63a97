// Accessible names: every control of the main window, the log window and the about box that can be
// edited or selected is told apart from the others through the accessibility interface.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabBar>
#include <QTest>
#include <map>

#include "app/about_dlg.h"
#include "log/log_dlg.h"
#include "platform/ip_address_edit.h"
#include "tests/ui/window_fixture.h"

namespace quorin::testing {
namespace {

using namespace res;

// The name a screen reader announces for a control, from its accessibility interface. An editable
// combo box reports its text as its name on Linux: its edit part, which holds the caret, is the
// one that carries the name there.
QString accessible_name(QWidget* w) {
    auto* combo = qobject_cast<QComboBox*>(w);
    QAccessibleInterface* iface =
        QAccessible::queryAccessibleInterface(combo && combo->lineEdit() ? combo->lineEdit() : w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

bool editable_or_selectable(QWidget* w) {
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<platform::IpAddressEdit*>(w) || qobject_cast<QListWidget*>(w);
}

struct Walk {
    int editable = 0;                  // editable or selectable controls found
    std::map<QString, QString> owner;  // accessible name -> the control that has it
};

// Walks every control of a shown dialog: each editable or selectable one (and each field of an
// address control) has a name, and no two controls share one. Labels are left out: the status
// texts show the same "Not Connected" on every page and are read as text, not as names.
Walk walk(platform::Dialog& dlg) {
    dlg.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    Walk result;
    auto record = [&](QWidget* w, const QString& what) {
        const QString name = accessible_name(w);
        if (editable_or_selectable(w)) {
            ++result.editable;
            EXPECT_FALSE(name.trimmed().isEmpty()) << what.toStdString() << " has no name";
            EXPECT_EQ(w->accessibleName(), name) << what.toStdString();
        }
        if (name.isEmpty()) return;
        const auto [it, fresh] = result.owner.emplace(name, what);
        EXPECT_TRUE(fresh) << what.toStdString() << " and " << it->second.toStdString()
                           << " are both named \"" << name.toStdString() << "\"";
    };
    for (int id : dlg.controlIds()) {
        QWidget* w = dlg.control(id);
        if (qobject_cast<QLabel*>(w)) continue;
        record(w, QString::number(id));
        if (auto* address = qobject_cast<platform::IpAddressEdit*>(w))
            for (int i = 0; i < 4; ++i)
                record(address->field(i), QStringLiteral("%1 field %2").arg(id).arg(i + 1));
    }
    return result;
}

using AccessibleNames = WindowFixture;

TEST_F(AccessibleNames, MainWindowControlsAreNamedUniquely) {
    const Walk w = walk(Dlg());
    // 8 edits, 4 address controls of 4 fields each and the board list; on each of the 4 pages
    // 7 edits, 1 address control with its fields and 5 combo boxes.
    EXPECT_EQ(w.editable, 8 + 4 * (1 + 4) + 1 + 4 * (7 + (1 + 4) + 5));
}

TEST_F(AccessibleNames, LogWindowAndAboutBox) {
    CLogDlg log;
    EXPECT_EQ(walk(log).editable, 1);
    EXPECT_EQ(accessible_name(log.control(IDC_LOG_LIST)), "Log message");

    CAboutDlg about;
    const Walk w = walk(about);
    EXPECT_EQ(w.editable, 0);
    EXPECT_EQ(w.owner.count("OK"), 1u);  // named by its caption
}

TEST_F(AccessibleNames, NamesComeFromTheLabelNextToTheControl) {
    const struct {
        int id;
        const char* name;
    } cases[] = {
        {IDC_BOARD_LIST, "Board List"},
        {IDC_PRODUCT_CODE, "Product Code"},
        {IDC_PPPOE_ID, "PPPoE ID"},
        {IDC_PPPOE_PW, "PPPoE PW"},
        {IDC_LOCAL_IP, "Local IP address"},
        {IDC_DNS_SERVER_IP, "DNS Server IP address"},
        {IDC_TRIGGER2, "Trigger Character 2 (Hex)"},
        {IDC_FILENAME, "Filename to upload"},
        {kChannels[0].domain_name, "Channel #1 Server Domain Name"},
        {kChannels[1].remote_port, "Channel #2 Remote Port"},
        {kChannels[1].remote_ip, "Channel #2 Remote IP address"},
        {kChannels[2].packing_char, "Channel #3 Data Packing Condition Character"},
        {kChannels[3].stop_bits, "Channel #4 Stop Bit"},
        {kChannels[3].inactivity_time, "Channel #4 Inactivity Time"},
        // Radios and check boxes of a page: the caption with the page.
        {kChannels[1].server, "Channel #2 Server"},
        {kChannels[2].use_dns, "Channel #3 Use DNS"},
        // Other buttons, radios and check boxes: their own caption.
        {IDC_STATIC_IP, "Static"},
        {IDC_DEBUG_MODE, "Debug Mode"},
        {IDC_SEARCH, "Search"},
    };
    for (const auto& c : cases) EXPECT_EQ(accessible_name(Dlg().control(c.id)), c.name) << c.id;
}

TEST_F(AccessibleNames, TheFocusedFieldOfAnAddressCarriesItsName) {
    Dlg().show();
    QApplication::setActiveWindow(&Dlg());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Dlg()));
    auto* address = qobject_cast<platform::IpAddressEdit*>(Dlg().control(IDC_SUBNET_MASK));
    QTest::mouseClick(address->field(2), Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), address->field(2));
    EXPECT_EQ(accessible_name(QApplication::focusWidget()), "Subnet Mask octet 3");
}

TEST_F(AccessibleNames, ChannelTabsAreNamedByTheirText) {
    auto* bar = Dlg().control(IDC_CHANNEL_TAB)->findChild<QTabBar*>();
    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(bar);
    ASSERT_NE(tabs, nullptr);
    QStringList names;
    for (int i = 0; i < tabs->childCount(); ++i)
        if (QAccessibleInterface* tab = tabs->child(i); tab->role() == QAccessible::PageTab)
            names << tab->text(QAccessible::Name);
    EXPECT_EQ(names, QStringList({"Channel #1", "Channel #2", "Channel #3", "Channel #4"}));
}

}  // namespace
}  // namespace quorin::testing
