// The table of the Boards window as Qt's views read it: FleetController's BoardTable, one row per
// board shown, its cells as display and accessible texts, and an upgrading board's progress.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "boards/fleet_controller.h"

namespace quorin::boards {

class BoardModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // An upgrading board's progress, 0 to 100, in the status column; -1 otherwise.
    static constexpr int kPercentRole = Qt::UserRole + 1;

    explicit BoardModel(FleetController& controller, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    void setFilter(const QString& text);

  signals:
    // The rows were arranged anew (a search, a sort, the filter): the selection is to be shown
    // again from the table.
    void rowsArranged();

  private:
    void rearranged();
    void statusChanged(const Mac& mac);

    FleetController& controller_;
    std::vector<Mac> shown_;  // the board of each row, as the view last saw them
};

}  // namespace quorin::boards
