// Renders the main window in its initial state. With QUORIN_SCREENSHOT set to a file path the
// picture is also saved there as PNG (docs/main-window.png is made this way).
#include <QPixmap>

#include "tests/ui/window_fixture.h"

namespace quorin::testing {
namespace {

using Screenshot = WindowFixture;

TEST_F(Screenshot, InitialWindowRendersAtTheTemplateSize) {
    Dlg().show();
    QCoreApplication::processEvents();
    const QPixmap picture = Dlg().grab();
    ASSERT_FALSE(picture.isNull());
    const QRect expected = Dlg().mapDialogRect(0, 0, 487, 408);
    EXPECT_EQ(picture.size(), expected.size());

    const QByteArray path = qgetenv("QUORIN_SCREENSHOT");
    if (!path.isEmpty()) {
        EXPECT_TRUE(picture.save(QString::fromLocal8Bit(path), "PNG"));
    }
}

}  // namespace
}  // namespace quorin::testing
