// Kids and Count repair: a page-tree node keeps in /Kids only the references to objects that
// exist, and its /Count becomes the number of children it kept.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "pdfrepair/heap.h"
#include "pdfrepair/digits.h"
#include "pdfrepair/pagetree.h"

namespace pdfrepair {

namespace {

// A reference counted in a /Kids array: "N R" or "N G R" with N above 0, from its first digit
// (start) to its "R" (last). N is read without wrapping: past the largest signed 32-bit value
// it names no object that can exist (num is then -1).
struct kid_ref {
  int start;
  int last;
  int num;
};

// The digits from p as a number, or -1 past the largest signed 32-bit value; p moves past them.
int unwrapped_number(const byte* t, int lim, int& p) {
  std::int64_t value = 0;
  for (; p < lim && is_digit(t[p]); ++p)
    if (value <= std::numeric_limits<int>::max()) value = value * 10 + (t[p] - '0');
  return value <= std::numeric_limits<int>::max() ? static_cast<int>(value) : -1;
}

// Steps through the bytes of a /Kids array between its "[" and its last byte.
struct kids_cursor {
  const byte* t;
  int pos;
  int lim;
};

// After the object number's digits ending at p: the white space, the optional generation
// (read but not used) and the white space after it passed over. The byte reached is the
// candidate's last byte, an "R" for a reference; lim when the bytes end first.
int candidate_last(const byte* t, int lim, int p) {
  p = skip_ascii_ws(t, lim, p);
  if (p < lim && is_digit(t[p])) {
    accumulate_digits(t, lim, p);
    p = skip_ascii_ws(t, lim, p);
  }
  return p;
}

// The next counted reference, or false when the examined bytes end first. Anything that is
// not a reference (names, keywords, nested arrays) is passed over byte by byte; a candidate
// whose last byte is not "R" is passed over whole.
bool next_counted_ref(kids_cursor& c, kid_ref& ref) {
  for (;;) {
    c.pos = skip_ascii_ws(c.t, c.lim, c.pos);
    if (c.pos >= c.lim) return false;
    if (!is_digit(c.t[c.pos])) {
      ++c.pos;
      continue;
    }
    ref.start = c.pos;
    ref.num = unwrapped_number(c.t, c.lim, c.pos);
    c.pos = candidate_last(c.t, c.lim, c.pos);
    if (c.pos >= c.lim) return false;
    ref.last = c.pos++;
    if (c.t[ref.last] == 'R' && ref.num != 0) return true;
  }
}

// The records a /Kids array is checked against, with their index by number.
struct present_records {
  const obj_entry* records;
  int count;
  const record_index& index;

  bool has(int num) const { return num > 0 && first_record(records, count, index, num) != nullptr; }
};

// Just past the "]" that closes the array opened at j, or the text's length when it never
// closes. Strings are not recognised here.
int array_end(const byte* t, int len, int j) {
  int depth = 1;
  for (int i = j + 1; i < len; ++i) {
    if (t[i] == '[') ++depth;
    if (t[i] == ']' && --depth == 0) return i + 1;
  }
  return len;
}

// Sets the digit run of the first "/Count" followed by white space and a digit to `kept`,
// moving the rest of the text (and its NUL). The text has room for 16 more bytes.
void set_count(char* t, int& len, int kept) {
  const byte* b = reinterpret_cast<const byte*>(t);
  for (int p = 0; p <= len - 6; ++p) {
    if (t[p] != '/' || std::memcmp(t + p + 1, "Count", 5) != 0) continue;
    if (p + 6 == len) return;
    if (!is_ascii_ws(b[p + 6])) continue;
    const int v = skip_ascii_ws(b, len, p + 6);
    if (v == len || !is_digit(b[v])) return;  // a negative or missing count stays
    int d = v;
    accumulate_digits(b, len, d);
    // A count given as a reference stays: its object number is no count to overwrite.
    const int last = candidate_last(b, len, d);
    if (last < len && b[last] == 'R') return;
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%d", kept);
    std::memmove(t + v + n, t + d, static_cast<std::size_t>(len - d) + 1);
    std::memcpy(t + v, digits, static_cast<std::size_t>(n));
    len += n - (d - v);
    return;
  }
}

// The text with the array from j up to e replaced by the kept references; null when memory
// runs out.
char* rewrite_kids(const char* text, int length, int j, int e, const present_records& present,
                   int kept, std::int64_t kept_bytes) {
  const byte* t = reinterpret_cast<const byte*>(text);
  // Room for the /Count digits to grow: a count has at most 10 digits, the old run at least 1.
  const std::int64_t size = std::int64_t{j} + 1 + kept_bytes + 1 + (length - e) + 16;
  if (size > std::numeric_limits<int>::max()) return nullptr;
  char* out = static_cast<char*>(mem_malloc(static_cast<std::size_t>(size)));
  if (!out) return nullptr;
  std::memcpy(out, text, static_cast<std::size_t>(j));
  int n = j;
  out[n++] = '[';
  kids_cursor c{t, j + 1, e - 1};
  bool first = true;
  for (kid_ref ref; next_counted_ref(c, ref);) {
    if (!present.has(ref.num)) continue;
    if (!first) out[n++] = ' ';
    first = false;
    std::memcpy(out + n, text + ref.start, static_cast<std::size_t>(ref.last + 1 - ref.start));
    n += ref.last + 1 - ref.start;
  }
  out[n++] = ']';
  // An array that ran to the end of the text is closed here, and nothing follows it.
  std::memcpy(out + n, text + e, static_cast<std::size_t>(length - e));
  n += length - e;
  out[n] = '\0';
  set_count(out, n, kept);
  return out;
}

}  // namespace

char* fix_kids_counts(const char* text, int length, const obj_entry* records, int record_count,
                      const record_index& index) {
  if (!text || length < 5) return nullptr;
  const present_records present{records, record_count, index};
  const byte* t = reinterpret_cast<const byte*>(text);
  for (int p = 0; p < length - 4;) {
    const void* slash = std::memchr(t + p, '/', static_cast<std::size_t>(length - 4 - p));
    if (!slash) return nullptr;
    p = static_cast<int>(static_cast<const byte*>(slash) - t);
    if (std::memcmp(t + p + 1, "Kids", 4) != 0) {
      ++p;
      continue;
    }
    if (p + 5 == length) return nullptr;
    const int j = skip_ascii_ws(t, length, p + 5);
    if ((!is_ascii_ws(t[p + 5]) && t[p + 5] != '[') || j == length || t[j] != '[') {
      ++p;  // /Kidsx, /Kids/..., or a /Kids whose value is no array
      continue;
    }
    const int e = array_end(t, length, j);
    // The closing "]" (or, for an array that runs to the end, the text's last byte) is not
    // examined.
    int counted = 0;
    int kept = 0;
    std::int64_t kept_bytes = 0;
    kids_cursor c{t, j + 1, e - 1};
    for (kid_ref ref; next_counted_ref(c, ref);) {
      ++counted;
      if (!present.has(ref.num)) continue;
      kept_bytes += (kept > 0 ? 1 : 0) + ref.last + 1 - ref.start;
      ++kept;
    }
    if (counted != kept)
      return rewrite_kids(text, length, j, e, present, kept, kept_bytes);
    if (e == length) return nullptr;  // an array that ran to the end left nothing to search
    p = e + 1;                        // the byte at e is not looked at as a possible "/"
  }
  return nullptr;
}

}  // namespace pdfrepair
