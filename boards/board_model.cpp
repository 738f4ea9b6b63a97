#include "boards/board_model.h"

#include "cli/command_support.h"
#include "res/boards_texts.h"

namespace quorin::boards {

namespace T = text::boards;

BoardModel::BoardModel(FleetController& controller, QObject* parent)
    : QAbstractTableModel(parent), controller_(controller) {
    connect(&controller_, &FleetController::boardsChanged, this, [this] {
        beginResetModel();
        endResetModel();
        rearranged();
    });
    connect(&controller_, &FleetController::statusChanged, this, &BoardModel::statusChanged);
    rearranged();
}

int BoardModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(controller_.table().rows());
}

int BoardModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : fleet::kBoardColumns;
}

QVariant BoardModel::data(const QModelIndex& index, int role) const {
    const fleet::BoardTable& table = controller_.table();
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= table.rows()) return {};
    const auto row = static_cast<std::size_t>(index.row());
    const auto column = static_cast<fleet::BoardColumn>(index.column());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
        case Qt::ToolTipRole:
            return QString::fromStdString(table.cell(row, column));
        case kPercentRole: {
            const fleet::BoardStatus& s = table.status(row);
            return column == fleet::BoardColumn::Status && s.kind == fleet::BoardStatus::Upgrading
                       ? s.percent
                       : -1;
        }
        default:
            return {};
    }
}

QVariant BoardModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= fleet::kBoardColumns)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
    return cli::qs(T::kColumns[section]);
}

void BoardModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= fleet::kBoardColumns) return;
    emit layoutAboutToBeChanged();
    controller_.table().sort(static_cast<fleet::BoardColumn>(column), order == Qt::AscendingOrder);
    emit layoutChanged();
    rearranged();
}

void BoardModel::setFilter(const QString& text) {
    beginResetModel();
    controller_.table().set_filter(text.toStdString());
    endResetModel();
    rearranged();
}

void BoardModel::rearranged() {
    const fleet::BoardTable& table = controller_.table();
    shown_.resize(table.rows());
    for (std::size_t r = 0; r < table.rows(); ++r) shown_[r] = table.board(r).row.mac_address;
    emit rowsArranged();
}

void BoardModel::statusChanged(const Mac& mac) {
    const fleet::BoardTable& table = controller_.table();
    const auto row = table.row_of(mac);
    // The board kept its row (and so did every other): only its status cell changed.
    if (table.rows() == shown_.size() && row && shown_[*row] == mac) {
        const QModelIndex cell =
            index(static_cast<int>(*row), static_cast<int>(fleet::BoardColumn::Status));
        emit dataChanged(cell, cell);
        return;
    }
    // The filter or a sort by status moved rows.
    beginResetModel();
    endResetModel();
    rearranged();
}

}  // namespace quorin::boards
