#include "GridTable.h"

#include "GridText.h"

#include <algorithm>

TGridTable::TGridTable(QObject* parent) : QAbstractTableModel(parent)
{
}

QByteArray TGridTable::Cell(int col, int row) const
{
    return CellBytes(col, row).toByteArray();
}

QByteArrayView TGridTable::CellBytes(int col, int row) const
{
    if (row < 0 || col < 0 || row >= content_.Rows())
        return {};
    const std::uint32_t first = content_.RowStart[row];
    const std::uint32_t field = first + static_cast<std::uint32_t>(col);
    if (field >= content_.RowStart[row + 1])
        return {};
    const std::uint32_t begin = col == 0 ? content_.RowBegin[row] : content_.FieldEnd[field - 1] + 1;
    return QByteArrayView(content_.Bytes.constData() + begin, content_.FieldEnd[field] - begin);
}

// A row's fields lie in the loaded bytes one after another, a ';' between
// each two: they are copied at once, then a ';' for each cell the row lacks.
QByteArray TGridTable::Record(int row) const
{
    if (row < 0 || row >= content_.Rows())
        return QByteArray(cols_ - 1, ';');
    const std::uint32_t first = content_.RowStart[row];
    const std::uint32_t fields = std::min<std::uint32_t>(content_.RowStart[row + 1] - first, cols_);
    if (fields == 0)
        return QByteArray(cols_ - 1, ';');
    const std::uint32_t begin = content_.RowBegin[row];
    const std::uint32_t end = content_.FieldEnd[first + fields - 1];
    const qsizetype missing = cols_ - static_cast<qsizetype>(fields);
    QByteArray record;
    record.reserve(end - begin + missing);
    record.append(content_.Bytes.constData() + begin, end - begin);
    record.append(missing, ';');
    return record;
}

void TGridTable::Reset(int cols, int rows)
{
    beginResetModel();
    content_ = TGridContent();
    loaded_ = false;
    cols_ = cols < 1 ? 1 : cols;
    rows_ = rows < 1 ? 1 : rows;
    endResetModel();
}

void TGridTable::Assign(TGridContent&& content)
{
    beginResetModel();
    content_ = std::move(content);
    loaded_ = true;
    cols_ = content_.Cols < 1 ? 1 : content_.Cols;
    rows_ = content_.Rows() < 1 ? 1 : content_.Rows();
    endResetModel();
}

int TGridTable::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int TGridTable::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : cols_;
}

QVariant TGridTable::data(const QModelIndex& index, int role) const
{
    // The grid has no headers: a screen reader is told where a cell is.
    if (role == Qt::AccessibleDescriptionRole)
        return QStringLiteral("row %1, column %2").arg(index.row() + 1).arg(index.column() + 1);
    if (role != Qt::DisplayRole)
        return {};
    const QByteArrayView bytes = CellBytes(index.column(), index.row());
    if (bytes.isEmpty())
        return {};
    return content_.Utf8 ? QString::fromUtf8(bytes) : FromWindows1250(bytes);
}

QVariant TGridTable::headerData(int, Qt::Orientation, int) const
{
    return {};
}

Qt::ItemFlags TGridTable::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}
