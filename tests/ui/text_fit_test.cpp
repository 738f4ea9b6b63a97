// Every text of the three dialogs fits its control in the font the dialog is built with: labels,
// group-box titles, radios, check boxes, push buttons and every entry the window puts into a
// combo box, also the texts the window writes later (status, the other caption of Debug Mode).
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <algorithm>
#include <map>

#include "app/about_dlg.h"
#include "log/log_dlg.h"
#include "tests/ui/user_input.h"
#include "tests/ui/window_fixture.h"
#include "ui/ui_text.h"

namespace quorin::testing {
namespace {

const auto qs = ui_text;

// Texts the window writes into a control besides its template text.
std::map<int, QStringList> later_texts() {
    std::map<int, QStringList> texts;
    for (const res::ChannelIds& ch : res::kChannels)
        texts[ch.status] = {qs(text::kConnected), qs(text::kNotConnected)};
    texts[res::IDC_DEBUG_MODE] = {qs(text::kDebugModeCaption), qs(text::kDdnsEnableCaption)};
    return texts;
}

// The widget built for template control `c`: by identifier, or for a label or group box without
// one, the child at the control's rectangle that shows its text.
QWidget* widget_of(platform::Dialog& dlg, const res::ControlTemplate& c) {
    if (c.id != res::kNoId) return dlg.control(c.id);
    const QRect rect = dlg.mapDialogRect(c.x, c.y, c.width, c.height);
    for (QWidget* w : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->geometry() != rect) continue;
        if (auto* label = qobject_cast<QLabel*>(w); label && label->text() == qs(c.text)) return w;
        if (auto* box = qobject_cast<QGroupBox*>(w); box && box->title() == qs(c.text)) return w;
    }
    return nullptr;
}

// Pixels the text area of `w` offers to `text`; the text needs horizontalAdvance pixels.
int room_for(QWidget* w, const QString& text) {
    const QFontMetrics fm(w->font());
    if (auto* label = qobject_cast<QLabel*>(w)) return label->contentsRect().width();
    if (auto* box = qobject_cast<QGroupBox*>(w)) {
        // The title is drawn from one average character in, with a pixel either side.
        return box->width() - fm.averageCharWidth() - 2;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        const bool push = qobject_cast<QPushButton*>(w) != nullptr;
        const bool radio = w->inherits("QRadioButton");
        const QStyle::SubElement area = push    ? QStyle::SE_PushButtonContents
                                        : radio ? QStyle::SE_RadioButtonContents
                                                : QStyle::SE_CheckBoxContents;
        return w->style()->subElementRect(area, &option, w).width();
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // The edit scrolls its text, cutting off its start, once the text no longer fits
        // between its two side margins of 2 pixels together with the 1-pixel cursor and room for
        // the font's most negative side bearings.
        constexpr int kSideMargins = 2 * 2;
        constexpr int kCursor = 1;
        const int bearings = std::max(0, -fm.minLeftBearing()) + std::max(0, -fm.minRightBearing());
        return combo->lineEdit()->contentsRect().width() - kSideMargins - kCursor - bearings;
    }
    return -1;
}

// Texts that `w` shows: its template text, the entries of a combo, the window's later texts.
QStringList texts_of(QWidget* w, const res::ControlTemplate& c,
                     const std::map<int, QStringList>& later) {
    QStringList texts;
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
    } else if (!c.text.empty()) {
        texts << qs(c.text).split('\n');
    }
    if (const auto it = later.find(c.id); it != later.end()) texts << it->second;
    return texts;
}

// "<control>: <text> needs N px, has M" for every text that does not fit.
QStringList misfits(platform::Dialog& dlg, const std::map<int, QStringList>& later = {}) {
    QStringList out;
    for (const res::ControlTemplate& c : dlg.dialogTemplate().controls) {
        if (c.style & res::kHidden) continue;  // never shown
        QWidget* w = widget_of(dlg, c);
        if (!w) {
            out << QStringLiteral("%1 '%2': no widget").arg(c.id).arg(qs(c.text));
            continue;
        }
        const QFontMetrics fm(w->font());
        const QStringList texts = texts_of(w, c, later);
        for (const QString& t : texts) {
            const int room = room_for(w, t);
            if (room < 0) break;  // a control without text of its own (edit, list, ...)
            const int needs = fm.horizontalAdvance(t);
            if (needs > room)
                out << QStringLiteral("%1 at %2,%3: '%4' needs %5 px, has %6")
                           .arg(c.id)
                           .arg(c.x)
                           .arg(c.y)
                           .arg(t)
                           .arg(needs)
                           .arg(room);
        }
        // A label of several lines: its height holds them all.
        const int lines = static_cast<int>(qs(c.text).count('\n')) + 1;
        if (qobject_cast<QLabel*>(w) && lines > 1 &&
            fm.height() + (lines - 1) * fm.lineSpacing() > w->contentsRect().height())
            out << QStringLiteral("'%1': %2 lines do not fit").arg(qs(c.text)).arg(lines);
    }
    return out;
}

using TextFit = WindowFixture;

TEST_F(TextFit, MainWindowTextsFitTheirControls) {
    ASSERT_TRUE(show_active(Dlg()));  // laid out as the operator sees it
    const QStringList wrong = misfits(Dlg(), later_texts());
    EXPECT_TRUE(wrong.isEmpty()) << Dlg().font().family().toStdString() << ":\n"
                                 << wrong.join('\n').toStdString();
}

TEST_F(TextFit, AboutBoxAndLogWindowTextsFitTheirControls) {
    CAboutDlg about(&Dlg());
    ASSERT_TRUE(show_active(about));
    EXPECT_TRUE(misfits(about).isEmpty()) << misfits(about).join('\n').toStdString();
    about.hide();
    CLogDlg log(&Dlg());
    ASSERT_TRUE(show_active(log));
    EXPECT_TRUE(misfits(log).isEmpty()) << misfits(log).join('\n').toStdString();
}

}  // namespace
}  // namespace quorin::testing
