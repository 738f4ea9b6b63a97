// Dialogs built from the templates: every control of the main window with its identifier, kind
// and label, geometry from dialog units, the channel pages, the font and offscreen renderings.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <map>
#include <set>
#include <string>

#include "platform/dialog.h"
#include "platform/ip_address_edit.h"
#include "platform/tab_control.h"
#include "res/dialog_template.h"
#include "res/resource_ids.h"

namespace quorin::platform {
namespace {

using res::ControlKind;
using res::kChannels;

template <typename W>
bool is(QWidget* w) {
    return qobject_cast<W*>(w) != nullptr;
}

enum class Widget { Label, Sunken, Edit, List, Combo, Button, Radio, Check, Ip, Tab, Progress };

bool has_kind(QWidget* w, Widget kind) {
    switch (kind) {
        case Widget::Label:
            return is<QLabel>(w);
        case Widget::Sunken:
            return is<QLabel>(w) && qobject_cast<QLabel*>(w)->frameShadow() == QFrame::Sunken;
        case Widget::Edit:
            return is<QLineEdit>(w);
        case Widget::List:
            return is<QListWidget>(w);
        case Widget::Combo:
            return is<QComboBox>(w) && qobject_cast<QComboBox*>(w)->isEditable();
        case Widget::Button:
            return is<QPushButton>(w);
        case Widget::Radio:
            return is<QRadioButton>(w) && !qobject_cast<QRadioButton*>(w)->autoExclusive();
        case Widget::Check:
            return is<QCheckBox>(w);
        case Widget::Ip:
            return is<IpAddressEdit>(w);
        case Widget::Tab:
            return is<TabControl>(w);
        case Widget::Progress:
            return is<QProgressBar>(w);
    }
    return false;
}

struct ExpectedControl {
    int id;
    Widget kind;
    const char* text;  // own text of buttons, radios and check boxes; nullptr: not compared
};

// The general controls, commands and upload controls of the main window.
const ExpectedControl kGeneralControls[] = {
    {1000, Widget::List, nullptr},
    {1026, Widget::Edit, nullptr},
    {1030, Widget::Edit, nullptr},
    {1027, Widget::Check, "Debug Mode"},
    {1028, Widget::Radio, "Static"},
    {1029, Widget::Radio, "DHCP"},
    {1043, Widget::Radio, "PPPoE"},
    {1052, Widget::Edit, nullptr},
    {1053, Widget::Edit, nullptr},
    {1031, Widget::Ip, nullptr},
    {1032, Widget::Ip, nullptr},
    {1033, Widget::Ip, nullptr},
    {1034, Widget::Ip, nullptr},
    {1050, Widget::Radio, "Disable"},
    {1044, Widget::Radio, "HW"},
    {1045, Widget::Radio, "SW"},
    {1047, Widget::Edit, nullptr},
    {1048, Widget::Edit, nullptr},
    {1049, Widget::Edit, nullptr},
    {1004, Widget::Tab, nullptr},
    {1002, Widget::Button, "Search"},
    {1003, Widget::Button, "Setting"},
    {1038, Widget::Button, "View Log"},
    {2, Widget::Button, "Exit"},
    {1041, Widget::Edit, nullptr},
    {1042, Widget::Button, "..."},
    {1035, Widget::Button, "Upload"},
    {1039, Widget::Progress, nullptr},
    {1054, Widget::Button, "UPLOAD AGING"},
};

struct ExpectedRole {
    int res::ChannelIds::*member;
    Widget kind;
    const char* text;
};

const ExpectedRole kChannelRoles[] = {
    {&res::ChannelIds::server, Widget::Radio, "Server"},
    {&res::ChannelIds::client, Widget::Radio, "Client"},
    {&res::ChannelIds::raw_mode, Widget::Radio, "Raw mode"},
    {&res::ChannelIds::telnet_mode, Widget::Radio, "Telnet mode"},
    {&res::ChannelIds::status, Widget::Sunken, nullptr},
    {&res::ChannelIds::use_dns, Widget::Check, "Use DNS"},
    {&res::ChannelIds::udp, Widget::Check, "UDP"},
    {&res::ChannelIds::local_port, Widget::Edit, nullptr},
    {&res::ChannelIds::remote_ip, Widget::Ip, nullptr},
    {&res::ChannelIds::remote_port, Widget::Edit, nullptr},
    {&res::ChannelIds::domain_name, Widget::Edit, nullptr},
    {&res::ChannelIds::baud_rate, Widget::Combo, nullptr},
    {&res::ChannelIds::data_bits, Widget::Combo, nullptr},
    {&res::ChannelIds::parity, Widget::Combo, nullptr},
    {&res::ChannelIds::stop_bits, Widget::Combo, nullptr},
    {&res::ChannelIds::flow_control, Widget::Combo, nullptr},
    {&res::ChannelIds::packing_char, Widget::Edit, nullptr},
    {&res::ChannelIds::packing_size, Widget::Edit, nullptr},
    {&res::ChannelIds::packing_time, Widget::Edit, nullptr},
    {&res::ChannelIds::inactivity_time, Widget::Edit, nullptr},
};

// Texts of the labels and group boxes without identifier, with how many copies exist.
const std::map<QString, int> kUnnamedTexts = {
    {"Board List", 1},
    {"General Infomation", 1},
    {"Product Code", 1},
    {"Firmware Version", 1},
    {"IP address mode", 1},
    {"PPPoE ", 1},
    {"ID", 1},
    {"PW", 1},
    {"Local Network Information", 1},
    {"Local IP address", 1},
    {"Subnet Mask", 1},
    {"Gateway address", 1},
    {"DNS Server IP address", 1},
    {"Serial Command Method", 1},
    {"Trigger Character", 1},
    {"(Hex)", 1},
    {"Firmware Upload", 1},
    {"Filename\n to upload", 1},
    {"Operation Mode", 4},
    {"Status", 4},
    {"Data mode", 4},
    {"DNS Mode ", 4},
    {"Server Domain Name", 4},
    {"Remote Connection", 4},
    {"Local Port", 4},
    {"Remote IP address", 4},
    {"Remote Port", 4},
    {"Serial", 4},
    {"Baud Rate", 4},
    {"Data Bit", 4},
    {"Parity", 4},
    {"Stop Bit", 4},
    {"Flow Control", 4},
    {"Data Packing Condition", 4},
    {"Character", 4},
    {"Size", 4},
    {"Time", 4},
    {"Disconnect Condition", 4},
    {"Inactivity Time", 4},
};

class MainTemplateTest : public ::testing::Test {
  protected:
    Dialog dlg{res::main_template()};
};

TEST_F(MainTemplateTest, GeneralControlsExistWithKindAndLabel) {
    for (const ExpectedControl& e : kGeneralControls) {
        SCOPED_TRACE(e.id);
        QWidget* w = dlg.control(e.id);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(has_kind(w, e.kind));
        if (e.text) {
            EXPECT_EQ(dlg.text(e.id), QString::fromUtf8(e.text));
        }
    }
}

TEST_F(MainTemplateTest, EveryChannelPageHasItsTwentyControls) {
    for (int page = 1; page <= 4; ++page) {
        const res::ChannelIds& ids = kChannels[static_cast<std::size_t>(page - 1)];
        for (const ExpectedRole& role : kChannelRoles) {
            const int id = ids.*role.member;
            SCOPED_TRACE(id);
            QWidget* w = dlg.control(id);
            ASSERT_NE(w, nullptr);
            EXPECT_TRUE(has_kind(w, role.kind));
            if (role.text) {
                EXPECT_EQ(dlg.text(id), QString::fromUtf8(role.text));
            }
        }
    }
}

TEST_F(MainTemplateTest, HoldsNoOtherIdentifiedControls) {
    std::set<int> expected;
    for (const ExpectedControl& e : kGeneralControls) expected.insert(e.id);
    for (const res::ChannelIds& ids : kChannels)
        for (int id : ids.all()) expected.insert(id);
    const std::vector<int> ids = dlg.controlIds();
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()), expected);
    EXPECT_EQ(ids.size(), expected.size());  // no identifier twice
    EXPECT_FALSE(dlg.hasControl(res::IDC_AGING_COUNT));
}

TEST_F(MainTemplateTest, UnnamedLabelsAndGroupBoxes) {
    std::map<QString, int> found;
    for (QObject* child : dlg.children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->objectName().startsWith("control_")) continue;
        if (auto* label = qobject_cast<QLabel*>(w)) ++found[label->text()];
        if (auto* box = qobject_cast<QGroupBox*>(w)) ++found[box->title()];
    }
    EXPECT_EQ(found, kUnnamedTexts);
}

TEST_F(MainTemplateTest, AllControlsAreDirectChildrenOfTheDialog) {
    for (int id : dlg.controlIds()) EXPECT_EQ(dlg.control(id)->parentWidget(), &dlg) << id;
    for (QGroupBox* box : dlg.findChildren<QGroupBox*>())
        EXPECT_TRUE(box->findChildren<QWidget*>().isEmpty()) << box->title().toStdString();
}

TEST_F(MainTemplateTest, GeometryIsTheTemplateRectangleInBaseUnits) {
    const BaseUnits base = dlg.baseUnits();
    EXPECT_GT(base.x, 0);
    EXPECT_GT(base.y, 0);
    for (const res::ControlTemplate& c : res::main_template().controls) {
        if (c.id == res::kNoId) continue;
        EXPECT_EQ(dlg.control(c.id)->geometry(),
                  dialog_units_to_pixels(c.x, c.y, c.width, c.height, base))
            << c.id;
    }
    EXPECT_EQ(dlg.size(), dialog_units_to_pixels(0, 0, 487, 408, base).size());
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());  // fixed size
}

TEST_F(MainTemplateTest, StatedRectanglesAreKept) {
    struct Rect {
        int id, x, y, w, h;
    };
    const Rect stated[] = {{1000, 7, 21, 80, 313},    {1026, 146, 35, 61, 14},
                           {1030, 274, 34, 40, 14},   {1034, 279, 98, 100, 15},
                           {1004, 91, 166, 377, 176}, {1041, 61, 355, 183, 14},
                           {1042, 246, 352, 16, 14},  {1039, 20, 380, 184, 14},
                           {1035, 206, 374, 42, 24},  {1054, 458, 342, 8, 6}};
    for (const Rect& r : stated)
        EXPECT_EQ(dlg.control(r.id)->geometry(), dlg.mapDialogRect(r.x, r.y, r.w, r.h)) << r.id;
    for (int id : res::kTriggerIds) {
        EXPECT_EQ(dlg.control(id)->geometry().top(), dlg.mapDialogRect(0, 132, 0, 0).top());
        EXPECT_EQ(dlg.control(id)->geometry().width(), dlg.mapDialogRect(0, 0, 16, 0).width());
    }
    const int command_x[] = {286, 333, 380, 426};
    const int command_id[] = {1002, 1003, 1038, 2};
    for (int i = 0; i < 4; ++i) {
        const QRect g = dlg.control(command_id[i])->geometry();
        EXPECT_EQ(g.left(), dlg.mapDialogRect(command_x[i], 0, 0, 0).left());
        EXPECT_EQ(g.size(), dlg.mapDialogRect(0, 0, 40, 24).size());
    }
}

TEST_F(MainTemplateTest, ChannelPagesLieAtTheSamePositions) {
    for (std::size_t role = 0; role < 20; ++role) {
        const QRect first = dlg.control(kChannels[0].all()[role])->geometry();
        for (std::size_t page = 1; page < 4; ++page)
            EXPECT_EQ(dlg.control(kChannels[page].all()[role])->geometry(), first)
                << kChannels[page].all()[role];
    }
}

TEST_F(MainTemplateTest, AgingButtonIsHiddenAndDisabled) {
    EXPECT_FALSE(dlg.isShown(res::IDC_UPLOAD_AGING));
    EXPECT_FALSE(dlg.isEnabled(res::IDC_UPLOAD_AGING));
    EXPECT_TRUE(dlg.isShown(res::IDC_SEARCH));  // own flag, although the dialog is not shown
    EXPECT_TRUE(dlg.isEnabled(res::IDC_SEARCH));
}

TEST_F(MainTemplateTest, ListsAndCombosNeverSort) {
    for (QListWidget* list : dlg.findChildren<QListWidget*>())
        EXPECT_FALSE(list->isSortingEnabled());
    for (QComboBox* combo : dlg.findChildren<QComboBox*>()) {
        EXPECT_TRUE(combo->isEditable());
        EXPECT_EQ(combo->insertPolicy(), QComboBox::NoInsert);
        EXPECT_EQ(combo->completer(), nullptr);
    }
    dlg.listAppend(res::IDC_BOARD_LIST, "CC:00:00:00:00:01");
    dlg.listAppend(res::IDC_BOARD_LIST, "AA:00:00:00:00:02");
    dlg.listAppend(res::IDC_BOARD_LIST, "BB:00:00:00:00:03");
    EXPECT_EQ(dlg.listItems(res::IDC_BOARD_LIST),
              QStringList({"CC:00:00:00:00:01", "AA:00:00:00:00:02", "BB:00:00:00:00:03"}));
    dlg.comboFill(1019, {"None", "Odd", "Even"});
    EXPECT_EQ(dlg.comboItems(1019), QStringList({"None", "Odd", "Even"}));
}

// The template's combos are built without the completer that setEditable(true) would make and the
// dialog would remove again; otherwise they are what setEditable(true) makes, down to the popup.
TEST_F(MainTemplateTest, CombosAreWhatSetEditableMakesLessTheCompleter) {
    auto* combo = qobject_cast<QComboBox*>(dlg.control(kChannels[0].baud_rate));
    ASSERT_NE(combo, nullptr);
    auto* made = new QComboBox(&dlg);
    made->setEditable(true);
    made->setCompleter(nullptr);
    made->setInsertPolicy(combo->insertPolicy());
    made->setSizeAdjustPolicy(combo->sizeAdjustPolicy());
    made->setMinimumContentsLength(combo->minimumContentsLength());
    made->setGeometry(combo->geometry());
    const QStringList entries{"600", "1200", "2400", "4800", "9600", "19200", "38400", "57600"};
    for (QComboBox* c : {combo, made}) {
        c->clear();
        c->addItems(entries);
        c->setCurrentIndex(2);
    }
    EXPECT_TRUE(combo->findChildren<QCompleter*>().isEmpty());
    EXPECT_EQ(combo->sizeHint(), made->sizeHint());
    EXPECT_EQ(combo->minimumSizeHint(), made->minimumSizeHint());
    EXPECT_EQ(combo->focusPolicy(), made->focusPolicy());
    EXPECT_EQ(combo->testAttribute(Qt::WA_InputMethodEnabled),
              made->testAttribute(Qt::WA_InputMethodEnabled));
    const QLineEdit* edit = combo->lineEdit();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->hasFrame(), made->lineEdit()->hasFrame());
    EXPECT_EQ(edit->contextMenuPolicy(), made->lineEdit()->contextMenuPolicy());
    EXPECT_EQ(edit->focusProxy(), combo);
    EXPECT_EQ(edit->geometry(), made->lineEdit()->geometry());
    EXPECT_EQ(edit->palette(), made->lineEdit()->palette());
    EXPECT_EQ(combo->view()->verticalScrollBarPolicy(), made->view()->verticalScrollBarPolicy());
    EXPECT_STREQ(combo->itemDelegate()->metaObject()->className(),
                 made->itemDelegate()->metaObject()->className());

    dlg.show();
    for (QComboBox* c : {combo, made}) c->showPopup();
    const QWidget* popup = combo->view()->window();
    const QWidget* made_popup = made->view()->window();
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->size(), made_popup->size());
    EXPECT_EQ(popup->contentsMargins(), made_popup->contentsMargins());
    EXPECT_EQ(combo->view()->geometry(), made->view()->geometry());
    for (QComboBox* c : {combo, made}) c->hidePopup();
}

TEST_F(MainTemplateTest, CaptionAndWindowButtons) {
    EXPECT_EQ(dlg.windowTitle(), "DAVRO2xM ConfigTool Rev 1.7");
    EXPECT_TRUE(dlg.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(dlg.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(dlg.font().pointSize(), 8);
}

// --- the templates as data -----------------------------------------------------------------

bool overlaps(const res::ControlTemplate& a, const res::ControlTemplate& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

bool same_rect(const res::ControlTemplate& a, const res::ControlTemplate& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

bool is_frame(const res::ControlTemplate& c) {
    return c.kind == ControlKind::GroupBox || c.kind == ControlKind::Tab;
}

class TemplateData : public ::testing::TestWithParam<const res::DialogTemplate* (*)()> {};

TEST_P(TemplateData, ControlsLieInsideTheDialogAndDoNotOverlap) {
    const res::DialogTemplate& t = *GetParam()();
    ASSERT_FALSE(t.controls.empty());
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        const auto& a = t.controls[i];
        SCOPED_TRACE(std::string(a.text) + " / " + std::to_string(a.id));
        EXPECT_GE(a.x, 0);
        EXPECT_GE(a.y, 0);
        EXPECT_LE(a.x + a.width, t.width);
        EXPECT_LE(a.y + a.height, t.height);
        if (is_frame(a)) continue;
        for (std::size_t j = i + 1; j < t.controls.size(); ++j) {
            const auto& b = t.controls[j];
            if (is_frame(b)) continue;
            // Copies on other channel pages, and the copies of the shared labels, coincide.
            const bool page_copy = a.page != b.page && a.page != 0 && b.page != 0;
            const bool label_copy = a.id == res::kNoId && b.id == res::kNoId && a.text == b.text;
            if ((page_copy || label_copy) && same_rect(a, b)) continue;
            EXPECT_FALSE(overlaps(a, b)) << "overlaps " << b.text << " / " << b.id;
        }
    }
}

const res::DialogTemplate* about_t() {
    return &res::about_template();
}
const res::DialogTemplate* main_t() {
    return &res::main_template();
}
const res::DialogTemplate* log_t() {
    return &res::log_template();
}

INSTANTIATE_TEST_SUITE_P(AllTemplates, TemplateData, ::testing::Values(about_t, main_t, log_t));

TEST(MainTemplateData, ChannelControlsLieInsideTheTabArea) {
    const res::DialogTemplate& t = res::main_template();
    for (const auto& c : t.controls) {
        if (c.page == 0) continue;
        EXPECT_GE(c.x, 91) << c.id;
        EXPECT_GE(c.y, 180) << c.id;  // below the row of tabs
        EXPECT_LE(c.x + c.width, 91 + 377) << c.id;
        EXPECT_LE(c.y + c.height, 166 + 176) << c.id;
    }
}

TEST(MainTemplateData, RadioChoicesStartWithTheGroupStyle) {
    Dialog dlg(res::main_template());
    const std::vector<std::vector<int>> choices = {
        {1028, 1029, 1043}, {1050, 1044, 1045}, {1007, 1008}, {1009, 1109}, {1107, 1108},
        {1025, 1125},       {1207, 1208},       {1036, 1126}, {1307, 1308}, {1037, 1127}};
    std::set<int> seen;
    for (const auto& choice : choices) {
        const int index = dlg.radioChoice(choice.front());
        EXPECT_GE(index, 0);
        EXPECT_TRUE(seen.insert(index).second) << "choice shared with another: " << choice.front();
        for (int id : choice) EXPECT_EQ(dlg.radioChoice(id), index) << id;
    }
    EXPECT_EQ(dlg.radioChoice(res::IDC_SEARCH), -1);
}

// --- dialog units and fonts ----------------------------------------------------------------

TEST(DialogUnits, ScaleByBaseUnits) {
    struct Case {
        int x, y, w, h;
        BaseUnits base;
        QRect expected;
    };
    const Case cases[] = {
        {0, 0, 4, 8, {6, 13}, QRect(0, 0, 6, 13)},
        {7, 21, 80, 313, {6, 13}, QRect(10, 34, 120, 508)},  // 42/4 and 273/8 rounded down
        {487, 408, 0, 0, {7, 16}, QRect(852, 816, 0, 0)},
        {1, 1, 1, 1, {7, 15}, QRect(1, 1, 1, 1)},
        {3, 5, 3, 5, {4, 8}, QRect(3, 5, 3, 5)},  // one unit per pixel
    };
    for (const Case& c : cases)
        EXPECT_EQ(dialog_units_to_pixels(c.x, c.y, c.w, c.h, c.base), c.expected)
            << c.x << "," << c.y;
}

TEST(DialogUnits, BaseUnitsFollowTheFont) {
    const QFont font = template_font("굴림", 8);
    const BaseUnits base = base_units(font);
    const QFontMetrics metrics(font);
    EXPECT_EQ(base.y, metrics.height());
    const int letters =
        metrics.horizontalAdvance("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_LE(std::abs(base.x * 52 - letters), 26);  // rounded average
    QFont larger = font;
    larger.setPointSize(16);
    EXPECT_GT(base_units(larger).y, base.y);
}

TEST(TemplateFont, FallsBackToAHangulFamily) {
    const QFont font = template_font("No Such Family 12345", 9);
    EXPECT_EQ(font.pointSize(), 9);
    if (!QFontDatabase::families().contains("NanumGothic")) GTEST_SKIP() << "NanumGothic missing";
    EXPECT_EQ(font.family(), "NanumGothic");
    const QFont korean = template_font("굴림", 8);
    EXPECT_TRUE(QFontMetrics(korean).inFont(QChar(0xC815)));  // 정
}

// --- renderings ----------------------------------------------------------------------------

void render(const res::DialogTemplate& t, const QString& file, Dialog* prepared = nullptr) {
    Dialog own(t);
    Dialog& dlg = prepared ? *prepared : own;
    dlg.show();
    QApplication::processEvents();
    const QPixmap shot = dlg.grab();
    dlg.hide();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), dlg.size());
    const QString path = QDir(QUORIN_TEST_OUTPUT_DIR).filePath(file);
    EXPECT_TRUE(shot.save(path)) << path.toStdString();
}

TEST(Rendering, MainWindowOffscreen) {
    Dialog dlg(res::main_template());
    dlg.tabInsert(1004, 0, "Channel #1");
    dlg.tabInsert(1004, 1, "Channel #2");
    dlg.listAppend(1000, "00:08:DC:00:00:01");
    dlg.setText(1026, "DAVRO2xM");
    dlg.setText(1031, "192.168.1.2");
    dlg.setText(1010, "Not Connected");
    dlg.comboFill(1017, {"600", "115200"});
    dlg.comboSetCurSel(1017, 1);
    dlg.comboFill(1020, {"None", "Xon/Xoff"});
    dlg.comboSetCurSel(1020, 1);
    for (int page = 2; page <= 4; ++page)
        for (int id : kChannels[static_cast<std::size_t>(page - 1)].all()) dlg.show(id, false);
    dlg.setWindowTitle(dlg.windowTitle() + QString::fromUtf8(" 정보"));  // Hangul in the caption
    dlg.setText(1027, QString::fromUtf8("정보"));
    render(res::main_template(), "main_template.png", &dlg);
}

TEST(Rendering, AboutAndLogOffscreen) {
    render(res::about_template(), "about_template.png");
    render(res::log_template(), "log_template.png");
}

}  // namespace
}  // namespace quorin::platform
