#pragma once
// The status bar under the panel: the upload's state and the link's failure
// cause, in the words of StatusText. It only reads; a 1 s timer keeps the
// waiting time current while an upload runs, and stops with it.
//
// A screen reader hears the line by its accessible name, changed once per
// change of meaning (a cause, a wait, an outcome) and, while only a number
// moves (the record, the seconds waited), at most once a second; the line
// itself shows every change at once.
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
    QString Text() const { return text_; }

    // How long a reply may be late before the line says so; tests move it
    // instead of waiting on the clock.
    std::int64_t WaitNoticeMs = DefaultWaitNoticeMs;
    // Called with each state read, for what else tells it (the label's tooltip).
    std::function<void(const TStatusState& s)> Shown = [](const TStatusState&) {};

    // The name of a line with nothing to say.
    static QString IdleName() { return tr("Status line"); }

signals:
    // The state was read again: what else follows the uploads reads it too.
    void Refreshed();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void Announce();

    std::function<TStatusState()> read_;
    QTimer tick_;
    QTimer quiet_;  // runs for a second after each announcement
    bool linkWasUp_ = false;
    QString shown_;  // the upload's state as last shown
    QString text_;   // what the line shows, whoever told it
};
