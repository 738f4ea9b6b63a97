#include "platform/list_box.h"

namespace quorin::platform {

QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex& index,
                                                              const QEvent* event) const {
    const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    if (selectionMode() != QAbstractItemView::SingleSelection) return command;
    // Nothing to select instead, or a deselection: keep what is selected.
    const bool clears = !index.isValid() || command.testFlag(QItemSelectionModel::Deselect) ||
                        command.testFlag(QItemSelectionModel::Toggle) ||
                        (command.testFlag(QItemSelectionModel::Clear) &&
                         !command.testFlag(QItemSelectionModel::Select));
    return clears ? QItemSelectionModel::NoUpdate : command;
}

}  // namespace quorin::platform
