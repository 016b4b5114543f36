#pragma once
// The database kinds each device type takes, in the order the window lists
// them: the window's caption, the word scaledb send --kind takes, and the
// position the upload's start command carries (0 SbP, 1 SbU, 2 SbS).
#include <QString>
#include <QStringList>

#include <span>

struct TDatabaseKind {
    const char* Caption;
    const char* Word;
    int Position;
};

// Device type 0 is the standard scale; any other, the scale with QD-58.
std::span<const TDatabaseKind> DatabaseKinds(int deviceType);
QStringList DatabaseKindCaptions(int deviceType);
QStringList DatabaseKindWords(int deviceType);
// The position of the kind with that word, or -1 where the device type has none.
int DatabaseKindPosition(int deviceType, const QString& word);
