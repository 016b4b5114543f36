#pragma once
// How the grid shows a cell's bytes: as UTF-8 when the file is valid UTF-8,
// otherwise as Windows-1250, the code page these databases are written in.
#include <QByteArrayView>
#include <QString>

QString FromWindows1250(QByteArrayView bytes);
bool IsValidUtf8(const char* data, qsizetype size);
