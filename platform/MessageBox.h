#pragma once
// The one way the program shows a message box. Tests install a hook that
// records the box instead of showing it, so nothing waits for a click.
#include <QString>
#include <functional>

constexpr int MB_OK = 0;
constexpr int MB_YESNO = 4;
constexpr int MB_ICONQUESTION = 32;
constexpr int MB_ICONEXCLAMATION = 48;
constexpr int MB_ICONINFORMATION = 64;
// With MB_YESNO: No is the default button and Escape's.
constexpr int MB_DEFBUTTON2 = 0x100;
// The button that closed the box.
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

using TMessageBoxHook = std::function<void(const QString& text, const QString& caption, int flags)>;

// Shows a modal box: a warning for MB_ICONEXCLAMATION, information otherwise;
// with MB_YESNO a question. Returns the button pressed. A warning's text also
// goes to standard error ("scaledb: TEXT"), for the journal or the terminal.
// While the program quits (Quitting()), no box is shown: the text goes to
// standard error and a question is answered Yes, so a question may only ask
// whether to go on closing.
int MessageBox(const QString& text, const QString& caption, int flags);

// Closes every dialog, message box and popup menu that is up, so that each
// nested event loop they run returns and the program can quit.
void CloseModalWindows();

// With a hook set, MessageBox calls it and shows nothing. An empty hook restores the dialog.
void SetMessageBoxHook(TMessageBoxHook hook);
// What a hooked MessageBox answers to a question (IDYES unless set).
void SetMessageBoxAnswer(int answer);
// Whether a hook takes the boxes: a box of its own must then ask through MessageBox.
bool MessageBoxHooked();
