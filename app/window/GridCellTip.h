#pragma once
// The grid's columns are 64 pixels wide, too narrow for most product names:
// a cell whose text does not fit shows its whole text as a tooltip; a cell
// that shows all of it has none.
#include <QStyledItemDelegate>

class TGridCellTip : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Whether the cell's text is wider than the room the style gives it.
    bool IsCut(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};
