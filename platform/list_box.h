// The list box control: a single-selection list that the user can move the selection in but
// never empty, as the platform's single-selection list box behaves. A click on the empty area
// below the entries, a Ctrl+click on the selected entry and Ctrl+Space leave the selection as it
// is, so that the window's commands always have a board while the list has entries.
// Programmatic operations (reset, selecting an index out of range) may still clear it.
#pragma once

#include <QListWidget>

namespace quorin::platform {

class ListBox final : public QListWidget {
    Q_OBJECT
  public:
    using QListWidget::QListWidget;

  protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
};

}  // namespace quorin::platform
