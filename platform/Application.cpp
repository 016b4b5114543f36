#include "Application.h"

#include "MessageBox.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
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
    QString text = QStringLiteral("Unknown error");
    try {
        throw;
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    MessageBox(text, QCoreApplication::applicationName(), MB_ICONEXCLAMATION);
}
