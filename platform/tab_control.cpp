#include "platform/tab_control.h"

#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>

namespace quorin::platform {

TabControl::TabControl(QWidget* parent) : QWidget(parent), bar_(new QTabBar(this)) {
    bar_->setDrawBase(false);
    bar_->setExpanding(false);
    bar_->setUsesScrollButtons(true);
    setFocusProxy(bar_);
    // The height of a row of tabs in this font, fixed so that the pane does not move when the
    // tabs are removed and inserted again.
    bar_->addTab(QStringLiteral("X"));
    bar_height_ = bar_->sizeHint().height();
    bar_->removeTab(0);
}

void TabControl::resizeEvent(QResizeEvent* event) {
    bar_->setGeometry(0, 0, width(), barHeight());
    QWidget::resizeEvent(event);
}

void TabControl::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = rect().adjusted(0, barHeight() - 1, 0, 0);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = bar_->sizeHint();
    frame.tabBarRect = QRect(QPoint(0, 0), bar_->sizeHint());
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, frame);
    // The pane has the dialog's own background, like the platform's tab control, so that the
    // opaque labels and group-box titles placed on it blend in.
    const int border = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this) + 1;
    painter.fillRect(frame.rect.adjusted(border, border, -border, -border),
                     palette().brush(QPalette::Window));
}

}  // namespace quorin::platform
