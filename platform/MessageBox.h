#pragma once
// The one way the program shows a message box. Tests install a hook that
// records the box instead of showing it, so nothing waits for a click.
#include <QString>
#include <functional>

constexpr int MB_OK = 0;
constexpr int MB_ICONEXCLAMATION = 48;
constexpr int MB_ICONINFORMATION = 64;

using TMessageBoxHook = std::function<void(const QString& text, const QString& caption, int flags)>;

// Shows a modal box: a warning for MB_ICONEXCLAMATION, information otherwise.
void MessageBox(const QString& text, const QString& caption, int flags);

// With a hook set, MessageBox calls it and shows nothing. An empty hook restores the dialog.
void SetMessageBoxHook(TMessageBoxHook hook);
