#include "FocusReturn.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QHash>
#include <QPointer>
#include <QTimer>

namespace {

class TFocusReturn : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            Opened(watched);
        else if (event->type() == QEvent::Hide)
            Closed(watched);
        return false;
    }

private:
    static QDialog* Dialog(QObject* o)
    {
        auto* d = qobject_cast<QDialog*>(o);
        return d && d->isWindow() ? d : nullptr;
    }

    void Opened(QObject* watched)
    {
        QDialog* d = Dialog(watched);
        QWidget* left = QApplication::focusWidget();
        if (d && left && left->window() != d)
            left_.insert(d, left);
    }

    void Closed(QObject* watched)
    {
        if (!Dialog(watched))
            return;
        QPointer<QWidget> left = left_.take(watched);
        if (!left)
            return;
        // After the dialog's own hide has run, and only where nothing else
        // took the focus meanwhile (another dialog, the user).
        QTimer::singleShot(0, this, [left] {
            if (!left || !left->isVisible() || !left->isEnabled())
                return;
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal != left->window())
                return;
            QWidget* now = QApplication::focusWidget();
            if (now && now != left && now->window() == left->window())
                return;
            left->window()->activateWindow();
            left->setFocus(Qt::ActiveWindowFocusReason);
        });
    }

    QHash<QObject*, QPointer<QWidget>> left_;
};

}  // namespace

void InstallFocusReturn()
{
    static const QString name = QStringLiteral("scaledb-focus-return");
    if (!qApp || qApp->findChild<QObject*>(name, Qt::FindDirectChildrenOnly))
        return;
    auto* filter = new TFocusReturn(qApp);
    filter->setObjectName(name);
    qApp->installEventFilter(filter);
}
