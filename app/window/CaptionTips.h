#pragma once
// The window's panel keeps its controls at fixed places and sizes, so under
// a larger font a caption may no longer fit: such a control then shows its
// whole caption as its tooltip (a screen reader hears the whole caption as
// its name, and the tooltip as its description); one that fits has none.
#include <QObject>

class QWidget;

class TCaptionTips : public QObject {
public:
    explicit TCaptionTips(QWidget* panel);

    // Sets or clears each control's tooltip as its caption is cut or not.
    void Refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Watch(QObject* object);
    void RefreshLater();

    QWidget* panel_;
    bool pending_ = false;
};
