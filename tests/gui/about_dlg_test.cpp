// The about box: template 100 with icon, two lines and "OK", which closes it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/about_dlg.h"
#include "res/resource_ids.h"
#include "res/version.h"
#include "tests/support/simulated_input.h"

namespace quorin {
namespace {

using testing::click;

TEST(AboutBox, ShowsCaptionIconAndTwoLines) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "DAVRO2xM Config Tool Info");
    EXPECT_EQ(about.font().pointSize(), 9);
    EXPECT_EQ(about.size(), about.mapDialogRect(0, 0, 235, 55).size());
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);

    QStringList texts;
    QList<QLabel*> lines;
    int icons = 0;
    for (QLabel* label : about.findChildren<QLabel*>()) {
        if (!label->pixmap().isNull()) {
            ++icons;
        } else {
            texts << label->text();
            lines << label;
        }
    }
    EXPECT_EQ(icons, 1);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], "QuorinConfigTool Version 1.7");
    // The second line carries the release the tool was built as, and fits its label.
    EXPECT_EQ(texts[1], QString("Release %1: serial-to-Ethernet setup").arg(QUORIN_VERSION));
    EXPECT_LE(QFontMetrics(lines[1]->font()).horizontalAdvance(texts[1]), lines[1]->width());
    EXPECT_EQ(about.text(res::IDOK), "OK");
    EXPECT_TRUE(qobject_cast<QPushButton*>(about.control(res::IDOK))->isDefault());
}

TEST(AboutBox, OkEndsTheModalRun) {
    CAboutDlg about;
    QTimer::singleShot(0, &about, [&] { click(about, res::IDOK); });
    QTimer::singleShot(5000, &about, [&] { about.done(-1); });  // ends the run if OK fails
    EXPECT_EQ(about.exec(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

TEST(AboutBox, OkClosesAModelessBox) {
    CAboutDlg about;
    about.show();
    click(about, res::IDOK);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace quorin
