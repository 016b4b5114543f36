#pragma once
// The application object. An exception that escapes an event handler is
// shown in a message box and the program goes on, instead of terminating.
#include <QApplication>
#include <QPalette>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the text of the exception being handled; for catch blocks.
    static void ShowException();
};

// A dark palette, for the tests and screenshots that show every window
// reads in a dark theme (the program itself takes the desktop's).
QPalette DarkPalette();
