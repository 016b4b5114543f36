#pragma once
#include <QString>

// The folder the settings files live in, ending with "/": the executable's
// folder unless a test has pointed it elsewhere.
QString AppFolder();

// Points AppFolder at another folder (tests); an empty text restores the default.
void SetAppFolder(const QString& folder);
