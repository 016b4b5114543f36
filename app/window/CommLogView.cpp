#include "CommLogView.h"

#include <algorithm>
#include <utility>

TCommLogView::TCommLogView(QWidget* parent) : QTableView(parent)
{
    setVerticalScrollMode(ScrollPerPixel);
}

void TCommLogView::setModel(QAbstractItemModel* model)
{
    for (const QMetaObject::Connection& c : watched_)
        disconnect(c);
    watched_.clear();
    change_ = chOther;
    QTableView::setModel(model);
    if (!model)
        return;
    const auto other = [this] { change_ = chOther; };
    watched_ = {
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex&, int first, int last) { Inserted(first, last); }),
        connect(model, &QAbstractItemModel::rowsRemoved, this, other),
        connect(model, &QAbstractItemModel::rowsMoved, this, other),
        connect(model, &QAbstractItemModel::modelReset, this, other),
        connect(model, &QAbstractItemModel::layoutChanged, this, other),
        connect(model, &QAbstractItemModel::columnsInserted, this, other),
        connect(model, &QAbstractItemModel::columnsRemoved, this, other),
    };
}

void TCommLogView::Inserted(int first, int last)
{
    const bool atEnd = last == model()->rowCount() - 1;
    if (change_ == chOther || !atEnd) {
        change_ = chOther;
        return;
    }
    firstNew_ = change_ == chAppended ? std::min(firstNew_, first) : first;
    change_ = chAppended;
}

void TCommLogView::doItemsLayout()
{
    if (std::exchange(change_, chNone) != chAppended) {
        QTableView::doItemsLayout();
        return;
    }
    updateGeometries();
    unpainted_ = true;
    UpdateNewRows();
}

// A scroll moves the pixels already painted, and the new rows with them:
// what is to be painted is wherever they are now.
void TCommLogView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    if (unpainted_)
        UpdateNewRows();
}

void TCommLogView::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    unpainted_ = false;
}

// From the first new row down, where it shows; below the bottom edge, the
// scroll that brings it in paints it.
void TCommLogView::UpdateNewRows()
{
    const int top = std::max(0, rowViewportPosition(firstNew_));
    if (top < viewport()->height())
        viewport()->update(0, top, viewport()->width(), viewport()->height() - top);
}
