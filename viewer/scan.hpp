// Number scanning with the C library's scanf conventions, from a range of bytes in memory.
// The loader and the command-line parser read every number through these, so that a file or
// an option reads exactly as fscanf or sscanf with the same format would read it.
#pragma once

#include <cstdint>

namespace zorv {

// Reads one number as scanf's "%f" reads it into a float: skips white space, then accepts what
// strtof accepts (sign, decimal or hexadecimal digits, exponent, inf, infinity, nan, nan(...)).
// Returns the position just after the number, or nullptr if no number could be read, in which
// case value is unchanged. Never reads at or beyond end.
const char* scan_float(const char* p, const char* end, float& value);

// Reads one number as scanf's "%d" reads it: skips white space, optional sign, decimal digits.
// A value outside the 32-bit range sets overflow and saturates value. Returns the position after
// the number, or nullptr (value unchanged) if there were no digits.
const char* scan_int(const char* p, const char* end, std::int32_t& value, bool& overflow);

} // namespace zorv
