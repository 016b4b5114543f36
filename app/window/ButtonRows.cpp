#include "ButtonRows.h"

#include <QGridLayout>
#include <QResizeEvent>

#include <algorithm>

TButtonRows::TButtonRows(int mostInARow, QWidget* parent)
    : QWidget(parent), grid_(new QGridLayout(this)), most_(std::max(1, mostInARow)), inARow_(most_)
{
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setSizeConstraint(QLayout::SetNoConstraint);  // the sizes below decide
}

void TButtonRows::Add(QWidget* button)
{
    buttons_.push_back(button);
    Place(inARow_);
}

int TButtonRows::Widest() const
{
    int widest = 0;
    for (const QWidget* b : buttons_)
        widest = std::max(widest, b->sizeHint().width());
    return widest;
}

int TButtonRows::Fitting(int width) const
{
    const int cell = Widest() + grid_->horizontalSpacing();
    return std::clamp(cell > 0 ? (width + grid_->horizontalSpacing()) / cell : most_, 1, most_);
}

QSize TButtonRows::sizeHint() const
{
    const int n = static_cast<int>(std::min<std::size_t>(buttons_.size(), most_));
    const int spacing = grid_->horizontalSpacing();
    return {n * (Widest() + spacing) - spacing, grid_->sizeHint().height()};
}

QSize TButtonRows::minimumSizeHint() const
{
    return {Widest(), grid_->minimumSize().height()};
}

void TButtonRows::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int fitting = Fitting(event->size().width());
    if (fitting != inARow_)
        Place(fitting);
}

// Each button again, row by row; the panel grows or shrinks in height.
void TButtonRows::Place(int inARow)
{
    inARow_ = inARow;
    for (QWidget* b : buttons_)
        grid_->removeWidget(b);
    for (int column = 0; column <= most_; ++column)  // the room left stays right of the buttons
        grid_->setColumnStretch(column, column == inARow ? 1 : 0);
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        grid_->addWidget(buttons_[i], static_cast<int>(i) / inARow, static_cast<int>(i) % inARow);
    updateGeometry();
}
