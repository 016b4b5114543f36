#pragma once
// A list of scales, as `scaledb send --to-file` reads it and the scales
// panel keeps it: one link a line, optionally followed by the scale's name
// ("tcp://192.168.1.14:4001 Deli counter"); '#' starts a comment and blank
// lines are skipped. Comments and blank lines are kept beside the scale they
// precede, so a list read and written again keeps them.
#include "ScaleJob.h"

#include <QByteArray>
#include <QString>

#include <vector>

struct TScaleListEntry {
    TTarget Target;
    QByteArray Before;   // the comment and blank lines above it, each with its LF
    QByteArray Comment;  // the comment after it on its line, from '#'
};

struct TScaleList {
    std::vector<TScaleListEntry> Entries;
    QByteArray After;    // the comment and blank lines after the last scale
};

// Reads the list; false, with "SOURCE:LINE: bad link TEXT", at the first line
// that is no link.
bool ParseScaleList(const QByteArray& bytes, const QString& source, TScaleList& list, QString& error);

// The list as its file, one scale a line.
QByteArray ScaleListText(const TScaleList& list);

// A name as a list's line can hold it: one line, no '#', no spaces around it.
QString ListableName(const QString& name);
