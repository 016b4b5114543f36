#pragma once
#include <QString>

// The folder the settings files live in, ending with "/": the executable's
// folder when SettingsBesideProgram says so (a build, or a copy unpacked into
// a folder of its own), otherwise the user's configuration folder (an
// installed program, ~/.config/scaledb/), created when missing. A test may
// point it elsewhere.
QString AppFolder();

// True when a program in this folder keeps its settings beside itself: the
// user may make files there and it is not a folder where programs are
// installed (/usr/bin, which root could write to, or ~/.local/bin).
bool SettingsBesideProgram(const QString& programFolder);

// Points AppFolder at another folder (tests); an empty text restores the default.
void SetAppFolder(const QString& folder);
