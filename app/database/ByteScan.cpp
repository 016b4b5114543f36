#include "ByteScan.h"

using namespace ByteScan;

TByteCounts CountBreaks(const char* p, const char* end)
{
    TByteCounts n;
    for (; end - p >= 8; p += 8) {
        const std::uint64_t w = Load8(p);
        n.Lf += static_cast<qsizetype>(Marked(Equal(w, '\n')));
        n.Semicolons += static_cast<qsizetype>(Marked(Equal(w, ';')));
    }
    for (; p < end; ++p) {
        n.Lf += *p == '\n';
        n.Semicolons += *p == ';';
    }
    return n;
}
