#pragma once
#include <QString>
#include <cstdint>

// The one rule for integers typed by the user or stored in config.xml:
// leading blanks and one sign allowed, "$", "x" or "0x" (x in either case)
// means hexadecimal. Empty text, any other character, or a value outside the
// signed 32-bit range does not parse; `value` is then left untouched.
// Hexadecimal is range-checked like decimal: "$FFFFFFFF" does not parse,
// "-$80000000" is the smallest value.
bool TryParseInteger(const QString& text, std::int32_t& value);
