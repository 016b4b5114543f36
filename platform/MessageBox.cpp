#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {
TMessageBoxHook& Hook()
{
    static TMessageBoxHook hook;
    return hook;
}
}

void SetMessageBoxHook(TMessageBoxHook hook)
{
    Hook() = std::move(hook);
}

void MessageBox(const QString& text, const QString& caption, int flags)
{
    if (Hook()) {
        Hook()(text, caption, flags);
        return;
    }
    QWidget* parent = QApplication::activeWindow();
    if ((flags & 0xF0) == MB_ICONEXCLAMATION)
        QMessageBox::warning(parent, caption, text);
    else
        QMessageBox::information(parent, caption, text);
}
