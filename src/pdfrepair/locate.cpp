// Object boundary locators: where an indirect object begins ("N G obj", read backwards from
// the keyword) and ends ("endobj", even with damaged letters), and where its stream opens.
#include <algorithm>
#include <limits>

#include "pdfrepair/digits.h"
#include "pdfrepair/scan.h"

namespace pdfrepair {

int parse_obj_head(const byte* b, int len, int p, int& num, int& gen) {
  if (p <= 1 || p > len) return -1;
  // Generation number: the digit run ending before the white space before "obj" (which may
  // be absent). Index 0 is never taken for white space.
  int j = p - 1;
  while (j >= 1 && is_ascii_ws(b[j])) --j;
  if (j == 0 || !is_digit(b[j])) return -1;
  int g = j;
  while (g >= 1 && is_digit(b[g - 1])) --g;
  if (g == 0 || !is_ascii_ws(b[g - 1])) return -1;
  // Object number: the digit run before that, which must not continue a word.
  int k = g - 1;
  while (k >= 1 && is_ascii_ws(b[k])) --k;
  if (!is_digit(b[k])) return -1;
  int n = k;
  while (n >= 1 && is_digit(b[n - 1])) --n;
  if (n > 0 && is_alnum(b[n - 1])) return -1;

  int i = n;
  const int object = wrap_int32(accumulate_digits(b, k + 1, i));
  i = g;
  const int generation = wrap_int32(accumulate_digits(b, j + 1, i));
  if (object <= 0) return -1;
  num = object;
  gen = generation;
  return n;
}

int flex_kw_at(const byte* b, int len, int a, std::string_view kw) {
  const int n = static_cast<int>(kw.size());
  if (a < 0 || a > len - n) return 0;
  int substitutes = 0;
  for (int k = 0; k < n; ++k) {
    if (b[a + k] == static_cast<byte>(kw[k])) continue;
    // A letter overwritten by a byte of 0x80 or more still counts, twice at most.
    if (b[a + k] < 0x80 || ++substitutes > 2) return 0;
  }
  if (a > 0 && is_alnum(b[a - 1])) return 0;
  return a + n == len || !is_alnum(b[a + n]);
}

int find_endobj_flex(const byte* b, int len, int s) {
  for (int a = std::max(s, 0); a <= len - 6; ++a)
    if (flex_kw_at(b, len, a, "endobj")) return a;
  return -1;
}

namespace {

// The shape around a "stream" keyword at c: ">" then optional white space before it (never
// looking at the byte at s), LF or CR LF after it.
bool opens_stream_data(const byte* b, int len, int s, int c) {
  const int floor = std::max(s, -1);
  if (c - 1 <= floor) return false;
  int i = c - 1;
  while (i > floor && is_ascii_ws(b[i])) --i;
  if (i == floor || b[i] != '>') return false;
  const int eol = byte_at(b, len, c + 6);
  return eol == '\n' || (eol == '\r' && byte_at(b, len, c + 7) == '\n');
}

}  // namespace

int find_stream_kw(const byte* b, int len, int s, int m) {
  // The window reaches a little past the limit, so that a keyword beginning just before the
  // limit is still seen whole.
  const int w = m > len - 7 ? len : m + 7;
  for (int c = find_kw(b, w, s, "stream"); c != -1 && c < m; c = find_kw(b, w, c + 1, "stream"))
    if (opens_stream_data(b, len, s, c)) return c;
  return -1;
}

}  // namespace pdfrepair
