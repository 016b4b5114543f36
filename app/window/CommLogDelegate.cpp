#include "CommLogDelegate.h"

#include "CommLog.h"

#include <QPainter>

TCommLogDelegate::TCommLogDelegate(const TCommLog& log, QObject* parent) : QStyledItemDelegate(parent), log_(log) {}

void TCommLogDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const std::int64_t number = log_.RowNumber(index.row());
    const quint64 key = static_cast<quint64>(number) * TCommLog::lcColumns + static_cast<quint64>(index.column());
    const int margin = 3;
    const int width = option.rect.width() - 2 * margin;
    TCell* cell = texts_.object(key);
    if (!cell || cell->Width != width) {
        QString text = index.data().toString();
        if (option.fontMetrics.horizontalAdvance(text) > width)
            text = option.fontMetrics.elidedText(text, Qt::ElideRight, width);
        cell = new TCell{QStaticText(text), width};
        cell->Text.setTextFormat(Qt::PlainText);
        cell->Text.setPerformanceHint(QStaticText::AggressiveCaching);
        cell->Text.prepare(QTransform(), option.font);
        texts_.insert(key, cell);
    }
    const bool selected = option.state & QStyle::State_Selected;
    if (selected)
        painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
    painter->save();
    painter->setClipRect(option.rect);
    painter->setFont(option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const qreal top = option.rect.top() + (option.rect.height() - cell->Text.size().height()) / 2;
    painter->drawStaticText(QPointF(option.rect.left() + margin, top), cell->Text);
    painter->restore();
}
