#include "PostMessage.h"

#include <QCoreApplication>

QEvent::Type TWindowMessage::Type()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

TWindowMessage::TWindowMessage(int msg, std::intptr_t wParam, std::intptr_t lParam)
    : QEvent(Type()), Msg(msg), WParam(wParam), LParam(lParam)
{
}

void PostMessage(QObject* target, int msg, std::intptr_t wParam, std::intptr_t lParam)
{
    if (target)
        QCoreApplication::postEvent(target, new TWindowMessage(msg, wParam, lParam));
}
