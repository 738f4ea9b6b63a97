// A tab control in the platform's sense: a row of tabs over a framed pane. The pane only draws a
// frame; the pages' controls are siblings placed over it by the dialog, not children of it.
#pragma once

#include <QWidget>

class QTabBar;

namespace quorin::platform {

class TabControl : public QWidget {
    Q_OBJECT
  public:
    explicit TabControl(QWidget* parent = nullptr);
    QTabBar* tabBar() const { return bar_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    int barHeight() const { return bar_height_; }
    QTabBar* bar_;
    int bar_height_ = 0;
};

}  // namespace quorin::platform
