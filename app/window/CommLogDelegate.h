#pragma once
// Paints the communication log's cells from text laid out once per entry.
// The view repaints every visible row each time new entries arrive, four
// times a second during an upload; shaping each cell's text again every time
// was most of that repaint. An entry's text never changes (only a new
// decoding changes them all), so its layout is kept while it may be visible.
#include <QCache>
#include <QStaticText>
#include <QStyledItemDelegate>

class TCommLog;

class TCommLogDelegate : public QStyledItemDelegate {
public:
    TCommLogDelegate(const TCommLog& log, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Forgets every layout: the texts or the font changed.
    void Forget()
    {
        texts_.clear();
        shared_.clear();
    }

private:
    struct TCell {
        QStaticText Text;  // cut to Width with an ellipsis where longer
        int Width;
    };
    const TCommLog& log_;
    // By entry number and column; a few screens' worth.
    mutable QCache<quint64, TCell> texts_{4096};
    // The texts that repeat from row to row, by width and text.
    mutable QCache<QString, QStaticText> shared_{256};
};
