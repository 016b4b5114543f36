#pragma once
// Writes to standard output and error that a reader who stops reading can
// hold up only until a quit signal: from then on every wait is bounded.
#include <QByteArray>

#include <cstddef>

// How long writes may still wait, in all, once a quit signal came.
constexpr int kQuitGraceMs = 1000;

// What fd takes now without waiting, at most `size` bytes: how many it
// took, or -1 with errno (EPIPE: nobody reads any more).
long WriteNow(int fd, const char* data, std::size_t size);

// Every byte, waiting for fd as long as it needs, but no longer than
// kQuitGraceMs after a quit signal came; false with errno when it failed
// (ETIME: it gave up waiting).
bool WriteAllOut(int fd, const QByteArray& bytes);
