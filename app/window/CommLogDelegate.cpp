#include "CommLogDelegate.h"

#include "CommLog.h"

#include <QPainter>

namespace {

QStaticText Prepared(const QString& text, const QFont& font)
{
    QStaticText laid(text);
    laid.setTextFormat(Qt::PlainText);
    laid.setPerformanceHint(QStaticText::AggressiveCaching);
    laid.prepare(QTransform(), font);
    return laid;
}

// Laid out once; a text wider than its cell is cut and laid out again.
QStaticText Laid(const QString& text, const QStyleOptionViewItem& option, int width)
{
    QStaticText laid = Prepared(text, option.font);
    if (laid.size().width() > width)
        laid = Prepared(option.fontMetrics.elidedText(text, Qt::ElideRight, width), option.font);
    return laid;
}

} // namespace

TCommLogDelegate::TCommLogDelegate(const TCommLog& log, QObject* parent) : QStyledItemDelegate(parent), log_(log) {}

void TCommLogDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const std::int64_t number = log_.RowNumber(index.row());
    const quint64 key = static_cast<quint64>(number) * TCommLog::lcColumns + static_cast<quint64>(index.column());
    const int margin = 3;
    const int width = option.rect.width() - 2 * margin;
    TCell* cell = texts_.object(key);
    if (!cell || cell->Width != width) {
        const QString text = index.data().toString();
        // A link's name and a direction repeat on every row: laid out once for all.
        const bool repeats = index.column() == TCommLog::lcLink || index.column() == TCommLog::lcDirection;
        const QString sharedKey = repeats ? QString::number(width) + QLatin1Char(' ') + text : QString();
        if (const QStaticText* shared = repeats ? shared_.object(sharedKey) : nullptr) {
            cell = new TCell{*shared, width};
        } else {
            cell = new TCell{Laid(text, option, width), width};
            if (repeats)
                shared_.insert(sharedKey, new QStaticText(cell->Text));
        }
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
