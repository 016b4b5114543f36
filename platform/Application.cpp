#include "Application.h"

#include "FocusReturn.h"
#include "FormControls.h"
#include "MessageBox.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    InstallDropDownNames();  // before any window asks for a control's name
    InstallFocusReturn();
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException();
        return false;
    }
}

void TApplication::ShowException()
{
    QString text = QCoreApplication::translate("TApplication", "Unknown error");
    try {
        throw;
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    MessageBox(text, QCoreApplication::applicationName(), MB_ICONEXCLAMATION);
}

QPalette DarkPalette()
{
    const QColor window(45, 45, 48), base(30, 30, 32), button(60, 60, 64), text(230, 230, 230);
    const QColor dimmed(128, 128, 128);
    QPalette p(button, window);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, dimmed);
    p.setColor(QPalette::Highlight, QColor(42, 111, 214));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(110, 170, 255));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, dimmed);
    return p;
}
