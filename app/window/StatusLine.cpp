#include "StatusLine.h"

#include <QHelpEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QToolTip>

namespace {

// What a text says with its numbers left out: "Sending record # of #".
QString Meaning(QString text)
{
    static const QRegularExpression number(QStringLiteral("[0-9]+"));
    return text.replace(number, QStringLiteral("#"));
}

} // namespace

TStatusLine::TStatusLine(std::function<TStatusState()> read, QWidget* parent)
    : QStatusBar(parent), read_(std::move(read))
{
    setObjectName(QStringLiteral("StatusLine"));
    setSizeGripEnabled(false);
    setAccessibleName(IdleName());
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, &TStatusLine::Refresh);
    quiet_.setSingleShot(true);
    quiet_.setInterval(1000);
    connect(&quiet_, &QTimer::timeout, this, &TStatusLine::Announce);
}

void TStatusLine::Refresh()
{
    TStatusState s = read_();
    // "Lost" needs a link that was there: one never connected is another story.
    if (!s.Running)
        linkWasUp_ = false;
    else if (s.LinkUp)
        linkWasUp_ = true;
    s.LinkWasUp = linkWasUp_;
    s.WaitNoticeMs = WaitNoticeMs;
    const QString text = StatusText(s);
    if (text != shown_) {
        shown_ = text;
        Tell(text);
    }
    Shown(s);
    if (s.Running && !tick_.isActive())
        tick_.start();
    else if (!s.Running)
        tick_.stop();
    emit Refreshed();
}

void TStatusLine::Tell(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    update();
    Announce();
}

void TStatusLine::Announce()
{
    const QString name = text_.isEmpty() ? IdleName() : text_;
    if (name == accessibleName())
        return;
    // Only a number moved: the end of the quiet second tells the latest.
    if (quiet_.isActive() && Meaning(name) == Meaning(accessibleName()))
        return;
    // Qt tells a screen reader of the new name: one event per change.
    setAccessibleName(name);
    quiet_.start();
}

void TStatusLine::paintEvent(QPaintEvent* e)
{
    QStatusBar::paintEvent(e);
    // Drawn as the bar draws a message of its own, which would tell a screen
    // reader of every change.
    const QRect room = rect().adjusted(6, 0, -6, 0);
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(room, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(text_, Qt::ElideRight, room.width()));
}

bool TStatusLine::event(QEvent* e)
{
    // A text cut short shows whole in the tooltip, as it is in the name.
    if (e->type() == QEvent::ToolTip) {
        if (fontMetrics().horizontalAdvance(text_) > width() - 12)
            QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), text_, this);
        else
            QToolTip::hideText();
        return true;
    }
    return QStatusBar::event(e);
}
