#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {
TMessageBoxHook& Hook()
{
    static TMessageBoxHook hook;
    return hook;
}

int& Answer()
{
    static int answer = IDYES;
    return answer;
}
}

void SetMessageBoxAnswer(int answer)
{
    Answer() = answer;
}

void SetMessageBoxHook(TMessageBoxHook hook)
{
    Hook() = std::move(hook);
}

int MessageBox(const QString& text, const QString& caption, int flags)
{
    const bool question = (flags & 0x0F) == MB_YESNO;
    if (Hook()) {
        Hook()(text, caption, flags);
        return question ? Answer() : IDOK;
    }
    QWidget* parent = QApplication::activeWindow();
    if (question)
        return QMessageBox::question(parent, caption, text) == QMessageBox::Yes ? IDYES : IDNO;
    if ((flags & 0xF0) == MB_ICONEXCLAMATION)
        QMessageBox::warning(parent, caption, text);
    else
        QMessageBox::information(parent, caption, text);
    return IDOK;
}
