#include "CaptionTips.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGroupBox>
#include <QTimer>

namespace {

// The caption as the control shows it, and whether the control's room cuts it.
QString Caption(const QWidget* w, bool& cut)
{
    if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
        cut = !b->text().isEmpty() && b->sizeHint().width() > b->width();
        return b->text();
    }
    if (const auto* g = qobject_cast<const QGroupBox*>(w)) {
        // The frame's margins stand on both sides of the title.
        const int room = g->width() - 2 * g->fontMetrics().averageCharWidth();
        cut = g->fontMetrics().horizontalAdvance(g->title()) > room;
        return g->title().trimmed();
    }
    cut = false;
    return {};
}

} // namespace

TCaptionTips::TCaptionTips(QWidget* panel) : QObject(panel), panel_(panel)
{
    Watch(panel);
    for (QWidget* w : panel->findChildren<QWidget*>())
        Watch(w);
    RefreshLater();
}

void TCaptionTips::Watch(QObject* object)
{
    object->installEventFilter(this);
}

bool TCaptionTips::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:  // a radio group's new items
        if (auto* child = static_cast<QChildEvent*>(event)->child(); child->isWidgetType())
            Watch(child);
        RefreshLater();
        break;
    case QEvent::FontChange:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::LayoutRequest:  // a caption changed ("Connect", "Disconnect")
    case QEvent::LanguageChange:  // a catalogue installed after the panel was made
        RefreshLater();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

// Once the events of this turn are in: sizes and fonts have settled by then.
void TCaptionTips::RefreshLater()
{
    if (pending_)
        return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] {
        pending_ = false;
        Refresh();
    });
}

void TCaptionTips::Refresh()
{
    for (QWidget* w : panel_->findChildren<QWidget*>()) {
        bool cut = false;
        const QString caption = Caption(w, cut);
        // A tooltip that says something else (the link label's cause) is not ours to change.
        if (caption.isEmpty() || (!w->toolTip().isEmpty() && w->toolTip() != caption))
            continue;
        w->setToolTip(cut ? caption : QString());
    }
}
