#include "RadioGroup.h"

#include "FormControls.h"

#include <QGridLayout>
#include <QRadioButton>

TRadioGroup::TRadioGroup(const QString& caption, QWidget* parent, int columns)
    : QGroupBox(caption, parent), layout_(new QGridLayout(this)), columns_(columns < 1 ? 1 : columns)
{
    // Named by its caption: inside another box it would take that box's.
    setAccessibleName(SpokenCaption(caption));
    layout_->setContentsMargins(6, 2, 6, 2);
    layout_->setSpacing(2);
    group_.setExclusive(true);
    connect(&group_, &QButtonGroup::idClicked, this, [this](int id) {
        if (id != index_) {
            index_ = id;
            KeepTabStop();
            emit Click();
        }
    });
}

void TRadioGroup::SetItems(const QStringList& items)
{
    items_ = items;
    index_ = -1;
    Rebuild();
}

void TRadioGroup::AddItem(const QString& item)
{
    items_ << item;
    const int keep = index_;
    Rebuild();
    index_ = keep;
    if (auto* b = Button(index_))
        b->setChecked(true);
    KeepTabStop();
}

void TRadioGroup::Rebuild()
{
    for (auto* b : group_.buttons()) {
        group_.removeButton(b);
        delete b;
    }
    const int rows = (static_cast<int>(items_.size()) + columns_ - 1) / columns_;
    for (int i = 0; i < items_.size(); ++i) {
        auto* b = new QRadioButton(items_[i], this);
        b->setObjectName(QStringLiteral("item%1").arg(i));
        group_.addButton(b, i);
        layout_->addWidget(b, rows ? i % rows : 0, rows ? i / rows : 0);
    }
    KeepTabPlace();
}

void TRadioGroup::KeepTabStop()
{
    // Tab stops at the selected item only (the first when none is); the
    // arrow keys move between items.
    const int stop = index_ >= 0 ? index_ : 0;
    for (auto* b : group_.buttons()) {
        const int policy = group_.id(b) == stop ? Qt::StrongFocus : Qt::StrongFocus & ~Qt::TabFocus;
        b->setFocusPolicy(static_cast<Qt::FocusPolicy>(policy));
    }
}

void TRadioGroup::KeepTabPlace()
{
    // New buttons join the end of the window's tab chain; Tab must reach
    // them where the group stands, after the control before it.
    QWidget* before = previousInFocusChain();
    while (before != this && before != window() && (before->focusPolicy() == Qt::NoFocus || isAncestorOf(before)))
        before = before->previousInFocusChain();
    if (before == this || before == window())
        return;
    for (auto* b : group_.buttons()) {
        setTabOrder(before, b);
        before = b;
    }
}

int TRadioGroup::ItemIndex() const
{
    return index_;
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index < -1 || index >= items_.size())
        index = -1;
    if (index == index_)
        return;
    index_ = index;
    if (index < 0) {
        group_.setExclusive(false);
        for (auto* b : group_.buttons())
            b->setChecked(false);
        group_.setExclusive(true);
    } else {
        Button(index)->setChecked(true);
    }
    KeepTabStop();
    emit Click();
}

QAbstractButton* TRadioGroup::Button(int index) const
{
    return group_.button(index);
}
