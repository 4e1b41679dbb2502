// Object boundary locators: where an indirect object begins ("N G obj", read backwards from
// the keyword) and ends ("endobj", even with damaged letters), and where its stream opens.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "pdfrepair/heap.h"
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

int find_flex_kw(const byte* b, int len, int s, std::string_view kw) {
  for (int a = std::max(s, 0); a <= len - static_cast<int>(kw.size()); ++a)
    if (flex_kw_at(b, len, a, kw)) return a;
  return -1;
}

int find_endobj_flex(const byte* b, int len, int s) { return find_flex_kw(b, len, s, "endobj"); }

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

// ---- Cached searches -----------------------------------------------------------------------

match_cache::~match_cache() { std::free(items); }

namespace {

// Appends a position while collecting; false (the cache then failed) when memory runs out.
bool append_match(match_cache& c, int& cap, int pos) {
  if (c.count == cap) {
    const int grown_cap = cap == 0 ? 64 : 2 * cap;
    void* grown = cap > (1 << 28) ? nullptr : mem_realloc(c.items, sizeof(int) * grown_cap);
    if (!grown) {
      std::free(c.items);
      c.items = nullptr;
      c.count = 0;
      c.failed = true;
      return false;
    }
    c.items = static_cast<int*>(grown);
    cap = grown_cap;
  }
  c.items[c.count++] = pos;
  return true;
}

// Fills the cache once with every position collect() appends through the given function;
// true when the cache holds them all.
template <class Collect>
bool ensure_built(match_cache& c, Collect collect) {
  if (c.built || c.failed) return c.built;
  int cap = 0;
  if (!collect([&](int pos) { return append_match(c, cap, pos); })) return false;
  c.built = true;
  return true;
}

// The first cached position at or after s, or -1.
int first_at_or_after(const match_cache& c, int s) {
  const int* begin = c.items;
  const int* end = begin + c.count;
  const int* it = std::lower_bound(begin, end, std::max(s, 0));
  return it == end ? -1 : *it;
}

// Every flex_kw_at position of kw. At most two of a match's bytes differ from kw, and its
// window of at least six bytes holds at least three even positions, so one of them holds
// kw's own byte there: only even positions are looked at, each proposing the match start
// its byte would give.
template <class Append>
bool collect_flex(const byte* b, int len, std::string_view kw, match_cache& c, Append append) {
  std::uint32_t offsets[256] = {};  // bit k: kw[k] is this byte
  for (std::size_t k = 0; k < kw.size(); ++k) offsets[static_cast<byte>(kw[k])] |= 1u << k;
  const auto propose = [&](int p) {
    for (std::uint32_t m = offsets[b[p]]; m != 0; m &= m - 1) {
      const int a = p - std::countr_zero(m);
      if (a >= 0 && flex_kw_at(b, len, a, kw) && !append(a)) return false;
    }
    return true;
  };
  int p = 0;
  // Eight even positions at a time: mostly none of them holds a byte of kw.
  for (; p + 14 < len; p += 16) {
    const std::uint32_t any = offsets[b[p]] | offsets[b[p + 2]] | offsets[b[p + 4]] |
                              offsets[b[p + 6]] | offsets[b[p + 8]] | offsets[b[p + 10]] |
                              offsets[b[p + 12]] | offsets[b[p + 14]];
    if (any == 0) continue;
    for (int q = p; q < p + 16; q += 2)
      if (!propose(q)) return false;
  }
  for (; p < len; p += 2)
    if (!propose(p)) return false;
  // Proposals come from up to six positions, out of order and repeated.
  std::sort(c.items, c.items + c.count);
  c.count = static_cast<int>(std::unique(c.items, c.items + c.count) - c.items);
  return true;
}

}  // namespace

int find_kw(const byte* b, int len, int start, std::string_view kw, match_cache& cache) {
  const bool built = ensure_built(cache, [&](auto append) {
    for (int p = find_kw(b, len, 0, kw); p != -1; p = find_kw(b, len, p + 1, kw))
      if (!append(p)) return false;
    return true;
  });
  return built ? first_at_or_after(cache, start) : find_kw(b, len, start, kw);
}

int find_flex_kw(const byte* b, int len, int s, std::string_view kw, match_cache& cache) {
  const bool built =
      ensure_built(cache, [&](auto append) { return collect_flex(b, len, kw, cache, append); });
  return built ? first_at_or_after(cache, s) : find_flex_kw(b, len, s, kw);
}

int find_obj_head(const byte* b, int len, int s, match_cache& heads, match_cache& keywords) {
  const auto readable = [&](int k) {
    int num = 0, gen = 0;
    return parse_obj_head(b, len, k, num, gen) >= 0;
  };
  const bool built = ensure_built(heads, [&](auto append) {
    for (int k = find_kw(b, len, 0, "obj", keywords); k != -1; k = find_kw(b, len, k + 1, "obj", keywords))
      if (readable(k) && !append(k)) return false;
    return true;
  });
  if (built) return first_at_or_after(heads, s);
  for (int k = find_kw(b, len, s, "obj"); k != -1; k = find_kw(b, len, k + 1, "obj"))
    if (readable(k)) return k;
  return -1;
}

int find_stream_kw(const byte* b, int len, int s, int m, match_cache& opening) {
  const bool built = ensure_built(opening, [&](auto append) {
    for (int c = find_kw(b, len, 0, "stream"); c != -1; c = find_kw(b, len, c + 1, "stream"))
      if (opens_stream_data(b, len, -1, c) && !append(c)) return false;
    return true;
  });
  if (!built) return find_stream_kw(b, len, s, m);
  // Seen from s, a keyword opens data only when its ">" lies after s, which may fail for the
  // first one after s alone. Before m, a keyword is read the same whatever the window.
  for (int c = first_at_or_after(opening, s); c != -1 && c < m; c = first_at_or_after(opening, c + 1))
    if (opens_stream_data(b, len, s, c)) return c;
  return -1;
}

}  // namespace pdfrepair
