#include "Keyboard.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QPushButton>

namespace {

// Follows the button's enabled state, whoever changes it.
class TEnabledMirror : public QObject {
public:
    TEnabledMirror(QPushButton* button, QAction* action) : QObject(action), action_(action)
    {
        button->installEventFilter(this);
        action_->setEnabled(button->isEnabled());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::EnabledChange)
            action_->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
        return false;
    }

private:
    QAction* action_;
};

} // namespace

QAction* AddButtonAction(QMenu* menu, QPushButton* button, const QString& text, const QList<QKeySequence>& keys)
{
    QAction* action = menu->addAction(text);
    action->setShortcuts(keys);
    new TEnabledMirror(button, action);
    QObject::connect(action, &QAction::triggered, button, &QPushButton::click);
    return action;
}
