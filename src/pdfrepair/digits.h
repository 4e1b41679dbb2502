// Decimal digit runs, read the way every number in a damaged file is read: modulo 2^32,
// without overflow checks, taken as a signed 32-bit value.
#pragma once

#include <cstdint>

#include "pdfrepair/scan.h"

namespace pdfrepair {

// Accumulates the digits from i while i < end, leaving i just past the last one.
inline std::uint32_t accumulate_digits(const byte* b, int end, int& i) {
  std::uint32_t value = 0;
  for (; i < end && is_digit(b[i]); ++i) value = value * 10u + static_cast<std::uint32_t>(b[i] - '0');
  return value;
}

inline int wrap_int32(std::uint32_t value) { return static_cast<std::int32_t>(value); }

}  // namespace pdfrepair
