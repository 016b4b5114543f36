#pragma once
// A list of scales, as `scaledb send --to-file` reads it and the scales
// panel keeps it: one link a line, optionally followed by the scale's name
// ("tcp://192.168.1.14:4001 Deli counter"); '#' starts a comment and blank
// lines are skipped. Comments, blank lines and lines that cannot be read are
// kept beside the scale they precede, so a list read and written again keeps
// every line it had, byte for byte.
#include "ScaleJob.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

// A line longer than this is no link: it is refused without being read.
constexpr qsizetype kScaleLineLimit = 4096;
// A list is read whole, up to this (16 MiB): a few hundred thousand links.
constexpr qsizetype kScaleListLimit = qsizetype(16) << 20;

struct TScaleListEntry {
    TTarget Target;
    QByteArray Before;   // the comment, blank and unreadable lines above it, each with its LF
    QByteArray Comment;  // the comment after it on its line, from '#'
    QByteArray Line;     // its line as read, without the LF; empty for a scale added since
};

// A line that could not be read, and why ("bad link tcp://[::1]:4001").
struct TBadLine {
    int Number = 0;
    QString Why;
};

struct TScaleList {
    std::vector<TScaleListEntry> Entries;
    QByteArray After;    // the comment, blank and unreadable lines after the last scale
    int BadCount = 0;           // the lines kept in Before and After as they are
    std::vector<TBadLine> Bad;  // the first few of them, with why
};

// Reads every scale it can; the other lines are kept, in place, and counted.
TScaleList ReadScaleList(const QByteArray& bytes);

// Reads the list; false, with "SOURCE:LINE: bad link TEXT", at the first line
// that is no link.
bool ParseScaleList(const QByteArray& bytes, const QString& source, TScaleList& list, QString& error);

// The list as its file, one scale a line.
QByteArray ScaleListText(const TScaleList& list);

// A name as a list's line can hold it: one line, no '#', no spaces around it.
QString ListableName(const QString& name);

// Bytes of a line as a message may show them: at most about 60 characters,
// control bytes and text that is not UTF-8 as <0D>, "…" where it was cut.
QString QuotedLine(QByteArrayView bytes);
