#pragma once
#include <QString>

// The folder the settings files live in, ending with "/": the executable's
// folder when this user may write there (a copy unpacked into a folder of its
// own), otherwise the user's configuration folder (an installed program,
// ~/.config/scaledb/), created when missing. A test may point it elsewhere.
QString AppFolder();

// Points AppFolder at another folder (tests); an empty text restores the default.
void SetAppFolder(const QString& folder);
