#pragma once
// Word-at-a-time byte scanning, for the loader and the check: a million-line
// file is mostly short fields, where a library call or a branch per byte
// costs more than the bytes themselves. Inline, as the loader calls
// NextBreak once per field.
#include <QtGlobal>

#include <bit>
#include <cstdint>
#include <cstring>

namespace ByteScan {
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHigh = 0x8080808080808080u;
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;

inline std::uint64_t Load8(const char* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// High bit set in exactly the bytes of w that equal b.
inline std::uint64_t Equal(std::uint64_t w, unsigned char b)
{
    w ^= kOnes * b;
    return ~(((w & kLow7) + kLow7) | w | kLow7);
}

// How many bytes an Equal() result marks (no popcount instruction in baseline x86-64).
inline std::uint64_t Marked(std::uint64_t marks)
{
    return ((marks >> 7) * kOnes) >> 56;
}
}

// How many LF and ';' bytes [p, end) holds.
struct TByteCounts {
    qsizetype Lf = 0;
    qsizetype Semicolons = 0;
};
TByteCounts CountBreaks(const char* p, const char* end);

// The first ';' or LF in [p, end), or end.
inline const char* NextBreak(const char* p, const char* end)
{
    if constexpr (std::endian::native == std::endian::little) {
        for (; end - p >= 8; p += 8) {
            const std::uint64_t w = ByteScan::Load8(p);
            const std::uint64_t hit = ByteScan::Equal(w, ';') | ByteScan::Equal(w, '\n');
            if (hit)
                return p + (std::countr_zero(hit) >> 3);
        }
    }
    while (p < end && *p != ';' && *p != '\n')
        ++p;
    return p;
}

// Whether [p, end) holds a byte under 0x20 (sbControl) and a byte over 0x7F
// (sbHigh). Almost every row holds neither; the exact search runs only where
// this finds something.
constexpr unsigned sbControl = 1, sbHigh = 2;
inline unsigned ScanControlAndHigh(const char* p, const char* end)
{
    using namespace ByteScan;
    std::uint64_t low = 0, high = 0;
    if (end - p >= 8) {
        for (; end - p >= 8; p += 8) {
            const std::uint64_t w = Load8(p);
            low |= (w - kOnes * 0x20) & ~w;  // high bit set in some byte under 0x20 when there is one
            high |= w;
        }
        if (p < end) {  // the last 8 bytes again, overlapping: the bytes seen twice change nothing
            const std::uint64_t w = Load8(end - 8);
            low |= (w - kOnes * 0x20) & ~w;
            high |= w;
        }
    } else {
        for (; p < end; ++p) {
            const auto b = static_cast<unsigned char>(*p);
            low |= b < 0x20 ? 0x80 : 0;
            high |= b;
        }
    }
    return ((low & kHigh) ? sbControl : 0) | ((high & kHigh) ? sbHigh : 0);
}
