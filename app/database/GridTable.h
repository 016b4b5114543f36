#pragma once
// The database table behind the grid. A loaded file is kept as one byte
// buffer with offset tables, so a million-line file costs little more than
// its own size and no cell is ever converted: what the upload sends are the
// file's own bytes.
#include <QAbstractTableModel>
#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <vector>

// One loaded table: the bytes and where each row's fields lie in them.
// A field starts one byte after the end of the one before it (past its ';'),
// so only where each field ends is kept: 4 bytes a field, 8 a row.
struct TGridContent {
    QByteArray Bytes;
    // Row r's fields end at FieldEnd[RowStart[r] .. RowStart[r + 1]); its first begins at RowBegin[r].
    std::vector<std::uint32_t> RowStart{0};
    std::vector<std::uint32_t> RowBegin;
    std::vector<std::uint32_t> FieldEnd;
    int Cols = 1;
    bool Utf8 = true;  // the whole file is valid UTF-8: shown as such, else as Windows-1250

    int Rows() const { return static_cast<int>(RowBegin.size()); }
};

class TGridTable : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TGridTable(QObject* parent = nullptr);

    int RowCount() const { return rows_; }
    int ColCount() const { return cols_; }
    // Whether the loaded file reads as UTF-8 (else Windows-1250).
    bool Utf8() const { return content_.Utf8; }
    // A copy of the cell's bytes, valid after the table changes; empty where no field filled it.
    QByteArray Cell(int col, int row) const;
    // The row's cells joined by ';', one ';' before every cell but the first.
    QByteArray Record(int row) const;
    // Empties the table to cols x rows empty cells.
    void Reset(int cols, int rows);
    // Replaces the whole table with a loaded one.
    void Assign(TGridContent&& content);
    // The loaded bytes and offsets, for readers that walk every row (the check before sending).
    const TGridContent& Content() const { return content_; }
    // Whether a file was loaded: false for the empty grid the window starts with, and after Reset.
    bool Loaded() const { return loaded_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // The grid has no header rows or columns: nothing to label.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // The cell's bytes inside the loaded buffer, valid until the next Reset or Assign.
    QByteArrayView CellBytes(int col, int row) const;

    TGridContent content_;
    int rows_ = 5;
    int cols_ = 5;
    bool loaded_ = false;
};
