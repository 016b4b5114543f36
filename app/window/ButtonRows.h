#pragma once
// Buttons in rows of up to a given number, fewer to a row when the room is
// narrower, so a panel of buttons never makes its window wider than the
// screen or the other panels leave it.
#include <QWidget>

#include <vector>

class QGridLayout;

class TButtonRows : public QWidget {
public:
    TButtonRows(int mostInARow, QWidget* parent);
    void Add(QWidget* button);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int Widest() const;
    int Fitting(int width) const;
    void Place(int inARow);

    QGridLayout* grid_;
    std::vector<QWidget*> buttons_;
    int most_;
    int inARow_;
};
