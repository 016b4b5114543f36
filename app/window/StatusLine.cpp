#include "StatusLine.h"

#include <QAccessible>
#include <QLabel>

TStatusLine::TStatusLine(std::function<TStatusState()> read, QWidget* parent)
    : QStatusBar(parent), read_(std::move(read))
{
    setObjectName(QStringLiteral("StatusLine"));
    setSizeGripEnabled(false);
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, &TStatusLine::Refresh);
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
}

void TStatusLine::Tell(const QString& text)
{
    if (text == currentMessage())
        return;
    showMessage(text);
    // The name is the line's text, and its change is told: a screen
    // reader announces the line as it changes.
    setAccessibleName(text);
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}
