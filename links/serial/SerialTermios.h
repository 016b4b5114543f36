#pragma once
// The kernel's termios2 (needed for rates without a B constant) clashes with
// glibc's <termios.h>; include this header only where <termios.h> is not.
#include "ComDCB.h"

#include <asm/termbits.h>

// Writes the record's line settings into t, leaving the fields the record does
// not speak of as they were, in raw mode. False (t untouched) when the record
// asks for what no line can do: a rate of 0, or a size, parity or stop-bit
// value out of range.
bool DcbToTermios(const TDCB& dcb, termios2& t);

// The DTR and RTS levels the record asks for once it is applied.
struct TOutputLines {
    bool Dtr = false;
    bool Rts = false;
};
TOutputLines OutputLinesFor(const TDCB& dcb);
