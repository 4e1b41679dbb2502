// The lines of a classic cross-reference table, as every reader of one walks them: subsection
// headers within their limits, then one entry line per object, split at LF only.
#pragma once

#include <cstring>

#include "pdfrepair/digits.h"
#include "pdfrepair/scan.h"

namespace pdfrepair {

inline constexpr int max_subsection_count = 10000000;
inline constexpr int max_first_object = 0x800000;
inline constexpr int entry_bytes = 18;  // the bytes of an entry line that are examined

// An entry line "oooooooooo ggggg n" (or "f"): its type byte, 0 when the line has another
// shape; off and gen are set for either type.
inline int entry_type(const byte* line, int line_len, int& off, int& gen) {
  if (line_len < entry_bytes) return 0;
  for (int i = 0; i < entry_bytes - 1; ++i) {
    const bool separator = i == 10 || i == 16;
    if (separator ? !is_ascii_ws(line[i]) : !is_digit(line[i])) return 0;
  }
  if (line[17] != 'n' && line[17] != 'f') return 0;
  int i = 0;
  off = wrap_int32(accumulate_digits(line, 10, i));
  i = 11;
  gen = wrap_int32(accumulate_digits(line, 16, i));
  return line[17];
}

// Walks the subsections from p (just past "xref") up to "trailer": for each accepted header
// header(sub, first, count), for each entry line line(sub, object number, line, its length).
// A count of 0 is an empty subsection, as hybrid files write "xref 0 0". The walk ends at a
// header outside its limits, at "trailer" or at the end of the buffer; true only for
// "trailer".
template <class Header, class Line>
bool walk_classic_table(const byte* b, int len, int p, Header header, Line line) {
  p = skip_ws(b, p, len);
  for (int sub = 0;; ++sub) {
    if (p >= len) return false;
    if (kw_at(b, p, len, "trailer")) return true;
    const int first = parse_int_at(b, len, p);
    const int count = parse_int_at(b, len, p);
    // A count needs at least one short entry line per object in the bytes that remain.
    if (count < 0 || count > max_subsection_count || first < 0 || first > max_first_object ||
        count > (len - p) / entry_bytes + 1)
      return false;
    header(sub, first, count);
    if (p >= len) return false;
    while (p < len && (b[p] == '\n' || b[p] == '\r')) ++p;
    for (int j = 0; j < count; ++j) {
      if (p >= len) return false;
      const void* lf = std::memchr(b + p, '\n', static_cast<std::size_t>(len - p));
      const int line_end = lf ? static_cast<int>(static_cast<const byte*>(lf) - b) : len;
      line(sub, first + j, b + p, line_end - p);
      p = lf ? line_end + 1 : len;
    }
    p = skip_ws(b, p, len);
  }
}

}  // namespace pdfrepair
