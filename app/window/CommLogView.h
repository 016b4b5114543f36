#pragma once
// The communication log's table. New entries only ever come at the end, and
// while an upload runs they come four times a second; Qt's table answers any
// new row by painting every visible row again, whose text is most of the
// panel's cost. Here rows that were only appended are painted alone: the rows
// already shown keep their pixels, and scrolling to the newest row moves them.
// Any other change (rows gone at the top, a reset, a new decoding) repaints all.
// It scrolls by the pixel: by the row, the rows already shown would move
// without their pixels when rows are added, as the last row is kept at the
// bottom edge only while the view is at its end.
#include <QMetaObject>
#include <QTableView>

#include <vector>

class TCommLogView : public QTableView {
public:
    explicit TCommLogView(QWidget* parent);

    void setModel(QAbstractItemModel* model) override;
    void doItemsLayout() override;

protected:
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Inserted(int first, int last);
    void UpdateNewRows();

    enum TChange { chNone, chAppended, chOther };
    TChange change_ = chNone;
    int firstNew_ = 0;
    bool unpainted_ = false;  // the new rows are yet to be painted
    std::vector<QMetaObject::Connection> watched_;
};
