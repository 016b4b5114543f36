#pragma once
// Translation: every text a user reads goes through Qt's catalogues
// (QCoreApplication::translate); the serial component's texts have the
// context "cport". Without a catalogue for the user's language, and always
// under the C locale, a text comes back unchanged.
#include <QString>
#include <QStringList>

// A serial component's text, translated in the context "cport".
QString CportText(const char* text);

// The languages the environment asks for, first choice first, as gettext
// reads them: LANGUAGE (a colon list), then the first set of LC_ALL,
// LC_MESSAGES, LANG. Empty when that locale is C or POSIX (or none is set).
QStringList MessageLanguages();

// Installs the program's catalogue for the first language that has one, and
// Qt's own for the same language (standard buttons) when the system has it.
// Needs the application object; returns the language taken, or empty.
QString InstallTranslations();
