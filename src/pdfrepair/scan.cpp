// Scanning primitives: white space and comments, integers, keywords, names, type entries.
#include "pdfrepair/scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "pdfrepair/digits.h"

namespace pdfrepair {

int skip_ws(const byte* b, int p, int end) {
  for (;;) {
    if (p < 0 || p >= end) return p;
    while (is_pdf_ws(b[p]))
      if (++p == end) return end;
    if (b[p] != '%') return p;
    // A comment wherever it stands, strings and the "%PDF-" header included; the LF or CR
    // that ends it is taken as white space on the next round.
    while (p < end && b[p] != '\n' && b[p] != '\r') ++p;
  }
}

int literal_string_end(const byte* b, int end, int open) {
  int nesting = 1;
  for (int i = open + 1; i < end;) {
    // Eight plain bytes at a time: most of a string is neither a parenthesis nor a backslash.
    for (std::uint64_t w; end - i >= 8; i += 8) {
      std::memcpy(&w, b + i, 8);
      if (holds_byte(w, '(') || holds_byte(w, ')') || holds_byte(w, '\\')) break;
    }
    if (i >= end) break;
    const byte c = b[i++];
    if (c == '\\') {
      if (i == end) break;
      ++i;
    } else if (c == '(') {
      ++nesting;
    } else if (c == ')' && --nesting == 0) {
      return i;
    }
  }
  return -1;
}

int top_level_names::next() {
  while (i < len) {
    const int c = t[i];
    const int after = byte_at(t, len, i + 1);
    if (c == '(') {
      i = literal_string_end(t, len, i);
      if (i < 0) i = len;
    } else if (c == '<' && after == '<') {
      ++depth;
      i += 2;
    } else if (c == '<') {
      const void* close = std::memchr(t + i, '>', static_cast<std::size_t>(len - i));
      i = close ? static_cast<int>(static_cast<const byte*>(close) - t) + 1 : len;
    } else if (c == '>' && after == '>') {
      i += 2;
      if (depth > 0 && --depth == 0) {  // the first dictionary closed
        closer = i - 2;
        i = len;
      }
    } else {
      ++i;
      if (c == '/' && depth == 1) return i - 1;
    }
  }
  return -1;
}

int top_level_names::next(std::string_view name) {
  const int n = static_cast<int>(name.size());
  for (int p = next(); p >= 0; p = next()) {
    if (len - p - 1 < n || std::memcmp(t + p + 1, name.data(), name.size()) != 0) continue;
    if (p + 1 + n == len || !is_alnum(t[p + 1 + n])) return p;
  }
  return -1;
}

int parse_int_at(const byte* b, int end, int& pos) {
  int i = skip_ws(b, pos, end);
  if (i >= end) return -1;
  const bool negative = byte_at(b, end, i) == '-';
  if (negative && ++i >= end) return -1;
  if (!is_digit(byte_at(b, end, i))) return -1;
  const std::uint32_t value = accumulate_digits(b, end, i);
  pos = i;
  return wrap_int32(negative ? 0u - value : value);
}

int read_int_adv(const byte* b, int end, int& pos) {
  int i = skip_ws(b, pos, end);
  if (i >= end) {
    pos = i;
    return -1;
  }
  if (byte_at(b, end, i) == '-') ++i;  // accepted, but the value is never negated
  if (!is_digit(byte_at(b, end, i))) {
    pos = i < std::numeric_limits<int>::max() ? i + 1 : i;  // step over the bad byte
    return -1;
  }
  const std::uint32_t value = accumulate_digits(b, end, i);
  pos = i;
  return wrap_int32(value);
}

int kw_at(const byte* b, int p, int end, std::string_view kw) {
  const int n = static_cast<int>(kw.size());
  if (p < 0 || p > end - n || std::memcmp(b + p, kw.data(), kw.size()) != 0) return 0;
  if (p > 0 && is_alnum(b[p - 1])) return 0;
  return p + n == end || !is_alnum(b[p + n]);
}

namespace {

// The first position in [from, last] holding c, or -1.
int next_byte(const byte* b, int from, int last, byte c) {
  if (from > last) return -1;
  const void* hit = std::memchr(b + from, c, static_cast<std::size_t>(last - from) + 1);
  return hit ? static_cast<int>(static_cast<const byte*>(hit) - b) : -1;
}

}  // namespace

int find_kw(const byte* b, int end, int start, std::string_view kw) {
  const int n = static_cast<int>(kw.size());
  for (int s = std::max(start, 0); (s = next_byte(b, s, end - n, static_cast<byte>(kw[0]))) != -1;
       ++s) {
    // The second byte turns most candidates away before the comparison is called.
    if (n > 1 && b[s + 1] != static_cast<byte>(kw[1])) continue;
    if (std::memcmp(b + s, kw.data(), kw.size()) != 0) continue;
    if (s > 0 && is_alnum(b[s - 1])) continue;
    if (s + n < end && is_alnum(b[s + n])) continue;
    return s;
  }
  return -1;
}

int find_name(const byte* b, int len, int start, int limit, std::string_view name) {
  const int n = static_cast<int>(name.size());
  const int e = std::min(len, limit);
  for (int i = std::max(start, 0); (i = next_byte(b, i, e - 1 - n, '/')) != -1; ++i) {
    if (std::memcmp(b + i + 1, name.data(), name.size()) != 0) continue;
    if (i + 1 + n < e && is_alnum(b[i + 1 + n])) continue;
    return i;
  }
  return -1;
}

namespace {

// Condition 4 of a type entry: what may follow the type's name.
bool ends_type_name(int c, next_key_slash slash) {
  if (c == '/') return slash == next_key_slash::accepted;
  return is_ascii_ws(c) || c == '<' || c == '>' || c == ']' || c == '}';
}

}  // namespace

int has_type_name(const byte* text, int len, std::string_view name, next_key_slash slash) {
  const int n = static_cast<int>(name.size());
  for (int p = 0; p < len - 5; ++p) {
    if (text[p] != '/' || std::memcmp(text + p + 1, "Type", 4) != 0) continue;
    int q = p + 5;
    while (q < len && is_ascii_ws(text[q])) ++q;
    if (q == len || text[q] != '/') continue;
    if (q + 1 > len - n || std::memcmp(text + q + 1, name.data(), name.size()) != 0) continue;
    if (q + 1 + n == len || ends_type_name(text[q + 1 + n], slash)) return 1;
  }
  return 0;
}

int reference_keyword(const byte* b, int len, int q, bool& has_gen) {
  int i = q;
  while (i < len && is_ascii_ws(b[i])) ++i;
  has_gen = i < len && is_digit(b[i]);
  if (has_gen) {
    while (i < len && is_digit(b[i])) ++i;
    while (i < len && is_ascii_ws(b[i])) ++i;
  }
  if (byte_at(b, len, i) != 'R') return -1;
  const int after = byte_at(b, len, i + 1);
  const bool ends = after < 0 || is_ascii_ws(after) || is_delimiter(after);
  return ends ? i : -1;
}

}  // namespace pdfrepair
