#pragma once
// Numbered window messages, posted (never sent) to a QObject through Qt's
// event queue, so any thread may post and the target handles them on its own
// thread in the order they were posted.
#include <QEvent>
#include <QObject>
#include <cstdint>

constexpr int WM_USER = 1024;
constexpr int WM_LINKSTATE = WM_USER + 1;

// A link's state, as WM_LINKSTATE carries it in wParam and the links keep it.
enum TLinkState : std::int8_t {
    lsClosing = -1,
    lsDisconnected = 0,
    lsConnecting = 1,
    lsConnected = 2,
};

class TWindowMessage : public QEvent {
public:
    TWindowMessage(int msg, std::intptr_t wParam, std::intptr_t lParam);
    static QEvent::Type Type();

    int Msg;
    std::intptr_t WParam;
    std::intptr_t LParam;
};

// Queues the message for target; does nothing when target is null.
void PostMessage(QObject* target, int msg, std::intptr_t wParam, std::intptr_t lParam);
