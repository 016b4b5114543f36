#include "MessageBox.h"

#include "QuitSignals.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

#include <cstdio>

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

bool MessageBoxHooked()
{
    return static_cast<bool>(Hook());
}

int MessageBox(const QString& text, const QString& caption, int flags)
{
    const bool question = (flags & 0x0F) == MB_YESNO;
    if (Hook()) {
        Hook()(text, caption, flags);
        return question ? Answer() : IDOK;
    }
    if ((flags & 0xF0) == MB_ICONEXCLAMATION || Quitting())
        std::fprintf(stderr, "scaledb: %s\n", text.toLocal8Bit().constData());
    if (Quitting())
        return question ? IDYES : IDOK;
    QWidget* parent = QApplication::activeWindow();
    if (question) {
        const auto byDefault = flags & MB_DEFBUTTON2 ? QMessageBox::No : QMessageBox::Yes;
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No, byDefault) == QMessageBox::Yes
                   ? IDYES
                   : IDNO;
    }
    if ((flags & 0xF0) == MB_ICONEXCLAMATION)
        QMessageBox::warning(parent, caption, text);
    else
        QMessageBox::information(parent, caption, text);
    return IDOK;
}

void CloseModalWindows()
{
    // A popup closed makes the one under it active; a handful is the most a menu opens.
    for (int i = 0; i < 16 && QApplication::activePopupWidget(); ++i)
        QApplication::activePopupWidget()->close();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            dialog->reject();
}
