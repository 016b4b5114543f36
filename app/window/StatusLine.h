#pragma once
// The status bar under the panel: the upload's state and the link's failure
// cause, in the words of StatusText. It only reads; a 1 s timer keeps the
// waiting time current while an upload runs, and stops with it.
#include "StatusText.h"

#include <QStatusBar>
#include <QTimer>

#include <functional>

class TStatusLine : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusLine(std::function<TStatusState()> read, QWidget* parent = nullptr);

    // Reads the state now and shows its text.
    void Refresh();
    // Shows a text of another part (the scales panel's outcome) until the
    // upload's state next changes.
    void Tell(const QString& text);
    QString Text() const { return currentMessage(); }

    // How long a reply may be late before the line says so; tests move it
    // instead of waiting on the clock.
    std::int64_t WaitNoticeMs = DefaultWaitNoticeMs;
    // Called with each state read, for what else tells it (the label's tooltip).
    std::function<void(const TStatusState& s)> Shown = [](const TStatusState&) {};

private:
    std::function<TStatusState()> read_;
    QTimer tick_;
    bool linkWasUp_ = false;
    QString shown_;  // the upload's state as last shown
};
