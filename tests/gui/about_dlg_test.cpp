// The about box: template 100 with icon, two lines and "OK", which closes it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/about_dlg.h"
#include "res/resource_ids.h"

namespace quorin {
namespace {

TEST(AboutBox, ShowsCaptionIconAndTwoLines) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "DAVRO2xM Config Tool Info");
    EXPECT_EQ(about.font().pointSize(), 9);
    EXPECT_EQ(about.size(), about.mapDialogRect(0, 0, 235, 55).size());
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);

    QStringList texts;
    int icons = 0;
    for (QLabel* label : about.findChildren<QLabel*>()) {
        if (!label->pixmap().isNull())
            ++icons;
        else
            texts << label->text();
    }
    EXPECT_EQ(icons, 1);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], "QuorinConfigTool Version 1.7");
    EXPECT_FALSE(texts[1].isEmpty());
    EXPECT_EQ(about.text(res::IDOK), "OK");
    EXPECT_TRUE(qobject_cast<QPushButton*>(about.control(res::IDOK))->isDefault());
}

TEST(AboutBox, OkEndsTheModalRun) {
    CAboutDlg about;
    QTimer::singleShot(0, &about, [&] { about.click(res::IDOK); });
    QTimer::singleShot(5000, &about, [&] { about.done(-1); });  // ends the run if OK fails
    EXPECT_EQ(about.exec(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

TEST(AboutBox, OkClosesAModelessBox) {
    CAboutDlg about;
    about.show();
    about.click(res::IDOK);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace quorin
