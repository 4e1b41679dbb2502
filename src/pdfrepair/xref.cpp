// What the file says about itself: the "%PDF-" header and its version, the offset after the
// last "startxref", the first subsection of the classic cross-reference table found there
// with /Root and /Info from its trailers, or /Root and /Info from a /Prev chain of
// cross-reference sections written as objects. None of it is trusted; it only serves as hints.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "pdfrepair/heap.h"
#include "pdfrepair/digits.h"
#include "pdfrepair/discovery.h"
#include "pdfrepair/xref_table.h"

namespace pdfrepair {

namespace {

constexpr int max_sections = 32;  // also what breaks a /Prev loop
constexpr int header_reach = 1023;

void release_arrays(xref_info& xi) {
  std::free(xi.xref_off);
  std::free(xi.xref_gen);
  std::free(xi.xref_used);
  xi.xref_off = xi.xref_gen = xi.xref_used = nullptr;
  xi.xref_size = 0;
}

void reset(xref_info& xi) {
  release_arrays(xi);
  xi.has_startxref = 0;
  xi.has_xref = 0;
  xi.startxref = -1;
  xi.root_num = -1;
  xi.info_num = -1;
  xi.has_header = 0;
  xi.version[0] = '\0';
  xi.xref_first = 0;
  xi.has_xref_stream = 0;
  xi.id_off = -1;
  xi.id_len = 0;
}

// Room for size object numbers, none of them listed yet. When any array cannot be had, all
// stay absent and the size stays 0.
void allocate_arrays(xref_info& xi, int size) {
  const std::size_t bytes = static_cast<std::size_t>(size) * sizeof(int);
  xi.xref_off = static_cast<int*>(mem_malloc(bytes));
  xi.xref_gen = static_cast<int*>(mem_calloc(static_cast<std::size_t>(size), sizeof(int)));
  xi.xref_used = static_cast<int*>(mem_calloc(static_cast<std::size_t>(size), sizeof(int)));
  if (!xi.xref_off || !xi.xref_gen || !xi.xref_used) {
    release_arrays(xi);
    return;
  }
  std::fill_n(xi.xref_off, size, -1);
  xi.xref_size = size;
}

// The integer after the name whose "/" is at slash, read from skip bytes past the "/" with
// white space and comments skipped, nothing at or past end examined; negative when none.
int value_after_name(const byte* b, int slash, int skip, int end) {
  int pos = slash > end - skip ? end : slash + skip;
  return parse_int_at(b, end, pos);
}

// The offset written after the last bounded "startxref", or -1.
int last_startxref_value(const byte* b, int len) {
  int at = find_kw(b, len, 0, "startxref");
  if (at < 0) return -1;
  for (int next; (next = find_kw(b, len, at + 9, "startxref")) != -1;) at = next;
  int pos = at + 9;
  return parse_int_at(b, len, pos);
}

// The first subsection's entries in use; later subsections and free entries change nothing.
void read_classic_table(const byte* b, int len, int p, xref_info& xi) {
  walk_classic_table(
      b, len, p,
      [&xi](int sub, int first, int count) {
        if (sub != 0) return;
        xi.has_xref = 1;
        xi.xref_first = first;
        if (count > 0) allocate_arrays(xi, first + count);
      },
      [&xi](int sub, int k, const byte* line, int line_len) {
        int off = 0, gen = 0;
        if (sub != 0 || k >= xi.xref_size || entry_type(line, line_len, off, gen) != 'n') return;
        xi.xref_off[k] = off;
        xi.xref_gen[k] = gen;
        xi.xref_used[k] = 1;
      });
}

// The first non-negative value among the occurrences of /name in [d, e), each read from one
// byte past the end of the name (that byte is passed over unexamined); -1 when none.
int first_value_of(const byte* b, int len, int d, int e, std::string_view name) {
  const int skip = static_cast<int>(name.size()) + 2;
  for (int at = find_name(b, len, d, e, name); at != -1; at = find_name(b, len, at + 1, e, name)) {
    const int value = value_after_name(b, at, skip, e);
    if (value >= 0) return value;
  }
  return -1;
}

// Just past the string at p inside an /ID array, -1 when there is none: a literal string, or
// a hex string of hex digits and white space.
int id_string_end(const byte* b, int end, int p) {
  if (p >= end) return -1;
  if (b[p] == '(') return literal_string_end(b, end, p);
  if (b[p] != '<') return -1;
  for (++p; p < end && (is_hex_digit(b[p]) || is_pdf_ws(b[p])); ++p) {
  }
  return p < end && b[p] == '>' ? p + 1 : -1;
}

int skip_pdf_ws(const byte* b, int end, int p) {
  while (p < end && is_pdf_ws(b[p])) ++p;
  return p;
}

// The first /ID in [d, e), when its value is two strings in brackets with nothing but white
// space around them; otherwise there is none.
void take_id(const byte* b, int len, int d, int e, xref_info& xi) {
  xi.id_off = -1;
  xi.id_len = 0;
  const int at = find_name(b, len, d, e, "ID");
  if (at < 0) return;
  const int open = skip_pdf_ws(b, e, at + 3);
  if (byte_at(b, e, open) != '[') return;
  int p = open + 1;
  for (int k = 0; k < 2; ++k) {
    p = id_string_end(b, e, skip_pdf_ws(b, e, p));
    if (p < 0) return;
  }
  p = skip_pdf_ws(b, e, p);
  if (byte_at(b, e, p) != ']') return;
  xi.id_off = open;
  xi.id_len = p + 1 - open;
}

// Every trailer dictionary from p on, in file order; each runs up to the next "startxref".
// A later trailer's /Root or /Info replaces an earlier one's, so the newest update decides.
// /Info is read from every trailer, including those that carry a /Root: a file whose one
// trailer has both keeps its information dictionary.
void read_trailers(const byte* b, int len, int p, xref_info& xi) {
  for (int t = find_kw(b, len, p, "trailer"); t != -1; t = find_kw(b, len, t + 7, "trailer")) {
    const int d = skip_ws(b, t + 7, len);
    int e = find_kw(b, len, d, "startxref");
    if (e <= 0) e = len;
    if (d >= e || b[d] != '<') continue;
    const int root = first_value_of(b, len, d, e, "Root");
    if (root >= 0) {
      xi.root_num = root;
      take_id(b, len, d, e, xi);
    }
    const int info = first_value_of(b, len, d, e, "Info");
    if (info >= 0) xi.info_num = info;
  }
}

// Whether the object whose value starts at w is a cross-reference stream: a dictionary of
// /Type /XRef followed by stream data. Only the dictionary up to its stream keyword is
// judged, and that keyword is looked for before the object's own "endobj", so that no later
// object's dictionary can lend it a type.
int is_xref_stream(const byte* b, int len, int w) {
  if (byte_at(b, len, w) != '<') return 0;
  const int endobj = find_endobj_flex(b, len, w);
  const int s = find_stream_kw(b, len, w, endobj > 0 ? endobj : len);
  return s != -1 && has_type_name(b + w, s - w, "XRef");
}

// The value of the first /name in [w, u), when it is non-negative and no newer section gave
// one already.
void take_first_value(const byte* b, int len, int w, int u, std::string_view name, int& num) {
  const int at = find_name(b, len, w, u, name);
  if (at < 0 || num >= 0) return;
  const int value = value_after_name(b, at, static_cast<int>(name.size()) + 2, u);
  if (value >= 0) num = value;
}

// A section written as an object at q ("N G obj" and a dictionary, a cross-reference stream
// as a rule): its /Root and /Info are taken when no newer section gave them, its entries are
// not read.
// For the newest section, named by startxref itself, whether it is a cross-reference stream
// is remembered. The result is the offset its /Prev names, or -1 to end the chain.
int read_object_section(const byte* b, int len, int q, bool newest, xref_info& xi) {
  int i = q;
  while (is_digit(byte_at(b, len, i))) ++i;
  i = skip_ws(b, i, len);
  if (is_digit(byte_at(b, len, i))) parse_int_at(b, len, i);
  i = skip_ws(b, i, len);
  if (!kw_at(b, i, len, "obj")) return -1;
  const int w = skip_ws(b, i + 3, len);
  if (newest) xi.has_xref_stream = is_xref_stream(b, len, w);
  int u = len;  // the dictionary ends at the stream keyword when there is one
  if (byte_at(b, len, w) == '<') {
    const int s = find_stream_kw(b, len, w, len);
    if (s > 0) u = s;
  }
  if (xi.root_num < 0) {
    take_first_value(b, len, w, u, "Root", xi.root_num);
    if (xi.root_num >= 0) take_id(b, len, w, u, xi);
  }
  take_first_value(b, len, w, u, "Info", xi.info_num);
  const int prev = find_name(b, len, w, u, "Prev");
  if (prev < 0) return -1;
  const int next = value_after_name(b, prev, 5, u);  // read from right after the name
  return next >= 0 && next < len ? next : -1;
}

// The sections from offset o: up to 32, newest first, ending at the first classic table.
void read_sections(const byte* b, int len, int o, xref_info& xi) {
  for (int visited = 0; visited < max_sections && o >= 0 && o < len; ++visited) {
    const int q = skip_ws(b, o, len);
    if (q >= len) return;
    if (kw_at(b, q, len, "xref")) {
      // A classic table ends the chain: its trailer's /Prev is not followed.
      read_classic_table(b, len, q + 4, xi);
      read_trailers(b, len, q + 4, xi);
      return;
    }
    if (!is_digit(b[q])) return;
    o = read_object_section(b, len, q, visited == 0, xi);
  }
}

// The version text after "%PDF-" at i: an optional digit, an optional ".", then digits, at
// most 15 characters in all.
void read_version(const byte* b, int len, int i, char (&version)[16]) {
  int n = 0;
  if (is_digit(byte_at(b, len, i))) version[n++] = static_cast<char>(b[i++]);
  if (byte_at(b, len, i) == '.') version[n++] = static_cast<char>(b[i++]);
  while (n < 15 && is_digit(byte_at(b, len, i))) version[n++] = static_cast<char>(b[i++]);
  version[n] = '\0';
}

// "%PDF-" within the first 1024 bytes, not continuing a word.
void read_header(const byte* b, int len, xref_info& xi) {
  if (len < 8) return;
  const int last = std::min(header_reach, len - 8);
  for (int i = 0; i <= last; ++i) {
    if ((i > 0 && is_alnum(b[i - 1])) || std::memcmp(b + i, "%PDF-", 5) != 0) continue;
    xi.has_header = 1;
    read_version(b, len, i + 5, xi.version);
    return;
  }
}

}  // namespace

xref_info::~xref_info() { release_arrays(*this); }

void parse_xref(const byte* buf, int len, xref_info& xi) {
  reset(xi);
  const int start = last_startxref_value(buf, len);
  if (start >= 0 && start < len) {
    xi.startxref = start;
    xi.has_startxref = 1;
    read_sections(buf, len, start, xi);
  }
  read_header(buf, len, xi);
}

}  // namespace pdfrepair
