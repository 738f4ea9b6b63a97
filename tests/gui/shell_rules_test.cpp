// The about command, the minimised icon's position, the about menu item and the window icon.
#include <gtest/gtest.h>

#include <QAction>
#include <QWidget>
#include <vector>

#include "platform/shell_rules.h"

namespace quorin::platform {
namespace {

TEST(AboutCommand, LowFourBitsAreIgnored) {
    for (int command = 16; command <= 31; ++command)
        EXPECT_TRUE(is_about_command(command)) << command;
    for (int command : {0, 1, 15, 32, 33, 48, 0xF060 /* close */, 0xF020 /* minimise */})
        EXPECT_FALSE(is_about_command(command)) << command;
}

TEST(MinimizedIcon, CentredWithTruncatingDivision) {
    struct Case {
        int cw, ch, iw, ih;
        QPoint expected;
    };
    const Case cases[] = {
        {40, 40, 32, 32, QPoint(4, 4)},   {41, 40, 32, 32, QPoint(5, 4)},
        {32, 32, 32, 32, QPoint(0, 0)},   {160, 28, 32, 16, QPoint(64, 6)},
        {20, 29, 32, 32, QPoint(-5, -1)},  // toward zero, not toward minus infinity
    };
    for (const Case& c : cases)
        EXPECT_EQ(minimized_icon_origin(c.cw, c.ch, c.iw, c.ih), c.expected) << c.cw << "x" << c.ch;
}

TEST(AboutMenuItem, SeparatorThenTheItemThatSendsCommand16) {
    QWidget window;
    std::vector<int> commands;
    QAction* item = add_about_menu_item(&window, [&](int command) { commands.push_back(command); });
    ASSERT_NE(item, nullptr);
    const QList<QAction*> actions = window.actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_TRUE(actions[0]->isSeparator());
    EXPECT_EQ(actions[1], item);
    EXPECT_EQ(item->text(), QString::fromUtf8("QuorinConfigTool 정보(&A)..."));
    EXPECT_EQ(window.contextMenuPolicy(), Qt::ActionsContextMenu);
    item->trigger();
    EXPECT_EQ(commands, std::vector<int>{16});
    EXPECT_TRUE(is_about_command(commands.front()));
}

TEST(AppIcon, IsBuiltIn) {
    const QIcon icon = app_icon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixmap(32, 32).size(), QSize(32, 32));
}

}  // namespace
}  // namespace quorin::platform
