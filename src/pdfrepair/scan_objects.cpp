// The linear object scan: every bounded "obj" keyword whose header can be read, front to
// back, becomes one record, with the object's dictionary, "stream" keyword and end located
// forwards. The cross-reference table is consulted only to confirm a header damaged by a
// stray byte of 0x80 or more.
#include <cstdlib>

#include "pdfrepair/digits.h"
#include "pdfrepair/discovery.h"
#include "pdfrepair/heap.h"

namespace pdfrepair {

namespace {

// The bytes that may stand between a damaged header's stray byte and "obj": PDF white space
// without FF.
bool is_head_separator(int c) { return is_pdf_ws(c) && c != '\f'; }

// The position just past the ">>" that brings the nesting of "<<" and ">>" from dict_off
// back to 0, or -1 when that does not happen before limit. The last byte examined is at
// limit - 2, so a two-byte token always fits. Strings do not count; comments and hex
// strings get no special treatment.
int dict_close(const byte* b, int dict_off, int limit) {
  int depth = 0;
  int x = dict_off;
  while (x + 1 < limit) {
    if (b[x] == '(') {
      const int close = literal_string_end(b, limit, x);
      x = close < 0 ? limit : close;
    } else if (b[x] == '<' && b[x + 1] == '<') {
      ++depth;
      x += 2;
    } else if (b[x] == '>' && b[x + 1] == '>') {
      x += 2;
      if (--depth == 0) return x;
    } else {
      ++x;
    }
  }
  return -1;
}

// Where a scanned object ends, or -1 to drop it: the end locate_body found. A dictionary
// without a stream ends just past its ">>" when no "endobj" follows at all, or when another
// object's header stands between the ">>" and that "endobj".
int object_end(const byte* b, int len, const object_body& body) {
  const int e = body.end;
  if (body.dict_off < 0 || body.stream_kw >= 0) return e;
  const int c = dict_close(b, body.dict_off, e >= 0 ? e : len);
  if (c < 0) return e;  // never closed: its "endobj", if any
  if (e < 0) return c;  // closed, and no "endobj" follows at all
  const int k = find_kw(b, len, c, "obj");
  return k != -1 && k < e ? c : e;
}

// The numbers below the classic table's size that the table of records holds, kept up to
// date as records are appended; the records are walked when there was no memory for it.
struct listed_numbers {
  const objvec& table;
  const xref_info& xi;
  heap_ptr<unsigned char[]> seen;

  listed_numbers(const objvec& t, const xref_info& x) : table(t), xi(x) {
    if (xi.has_xref && xi.xref_size > 0)
      seen.reset(static_cast<unsigned char*>(mem_calloc(static_cast<std::size_t>(xi.xref_size), 1)));
  }
  void note(int num) {
    if (seen && num >= 0 && num < xi.xref_size) seen[num] = 1;
  }
  // Asked only for numbers below the table's size.
  bool has(int num) const {
    return seen ? seen[num] != 0 : find_record(table.items, table.count, num) != nullptr;
  }
};

// A damaged header is taken only when the classic table lists this very object as in use at
// the "obj" keyword's own offset and no record has its number yet. Without generation digits
// the record takes the generation the table gives.
int confirmed_damaged_head(const byte* b, int len, int p, const listed_numbers& recorded,
                           const xref_info& xi, int& num, int& gen) {
  int n_num = 0, n_gen = 0;
  bool has_gen = false;
  const int n = parse_damaged_head(b, len, p, n_num, n_gen, has_gen);
  if (n < 0 || !xi.has_xref || n_num >= xi.xref_size || xi.xref_used[n_num] != 1 ||
      xi.xref_off[n_num] != p || recorded.has(n_num))
    return -1;
  num = n_num;
  gen = has_gen ? n_gen : xi.xref_gen[n_num];
  return n;
}

// The end of a stream object that no "endobj" follows, as in the last object of a cut-off
// file: just past its first "endstream", or the buffer's length when the data was cut too.
int stream_end_without_endobj(const byte* b, int len, int stream_kw, body_searches& searches) {
  const int t = find_kw(b, len, stream_kw + 6, "endstream", searches.endstream);
  return t == -1 ? len : t + 9;
}

}  // namespace

const obj_entry* find_record(const obj_entry* items, int count, int num) {
  for (int i = 0; i < count; ++i)
    if (items[i].num == num) return &items[i];
  return nullptr;
}

int parse_damaged_head(const byte* b, int len, int p, int& num, int& gen, bool& has_gen) {
  if (p < 2 || p > len) return -1;
  // The stray byte: the first byte before "obj" that is not a separator (index 0 excluded).
  int h = p - 1;
  while (h >= 1 && is_head_separator(b[h])) --h;
  if (h < 1 || b[h] < 0x80) return -1;
  int j = h - 1;
  while (j >= 0 && is_ascii_ws(b[j])) --j;
  if (j < 0) return -1;
  // The generation number, when digits stand there. The byte before them is passed over
  // unexamined: the damage may have reached it.
  int generation = 0;
  const bool found_gen = is_digit(b[j]);
  int k = j - 1;
  if (found_gen) {
    int g = j;
    while (g >= 1 && is_digit(b[g - 1])) --g;
    if (g < 2) return -1;
    int i = g;
    generation = wrap_int32(accumulate_digits(b, j + 1, i));
    k = g - 2;
  } else if (k < 0) {
    return -1;
  }
  // The object number, whatever stands before it.
  while (k >= 0 && is_ascii_ws(b[k])) --k;
  if (k < 0 || !is_digit(b[k])) return -1;
  int n = k;
  while (n >= 1 && is_digit(b[n - 1])) --n;
  int i = n;
  const int object = wrap_int32(accumulate_digits(b, k + 1, i));
  if (object < 1) return -1;
  num = object;
  has_gen = found_gen;
  if (found_gen) gen = generation;
  return n;
}

object_body locate_body(const byte* b, int len, int obj_kw, body_searches& searches) {
  object_body body;
  // A single "<" makes a dictionary, and so does a damaged first "<" (a byte of 0x80 or
  // more followed by "<").
  const int q = skip_ws(b, obj_kw + 3, len);
  const int c = byte_at(b, len, q);
  if (c == '<' || (c >= 0x80 && byte_at(b, len, q + 1) == '<')) body.dict_off = q;
  if (body.dict_off < 0) {
    body.end = find_flex_kw(b, len, obj_kw + 3, "endobj", searches.endobj);
    return body;
  }
  body.end = find_flex_kw(b, len, q, "endobj", searches.endobj);
  body.stream_kw = find_own_stream_kw(b, len, q, body.end > 0 ? body.end : len, searches);
  if (body.stream_kw > 0 && body.end < 0)
    body.end = stream_end_without_endobj(b, len, body.stream_kw, searches);
  return body;
}

int find_own_stream_kw(const byte* buf, int len, int dict_off, int m, body_searches& searches) {
  const int s = find_stream_kw(buf, len, dict_off, m, searches.opening);
  if (s <= 0) return s;
  // A dictionary whose "endobj" is missing would otherwise take the next object's stream.
  const int k = find_obj_head(buf, len, dict_off + 1, searches.heads, searches.obj);
  return k != -1 && k < s ? -1 : s;
}

void scan_pass1(const byte* buf, int len, objvec& table, const xref_info& xi,
                body_searches& searches) {
  listed_numbers recorded(table, xi);
  // About one record per readable header: the table grows once, not once per doubling.
  if (find_obj_head(buf, len, 0, searches.heads, searches.obj) != -1 && searches.heads.built)
    objvec_reserve(table, table.count + searches.heads.count);
  // A keyword in the last three bytes is not visited: no object could follow it.
  for (int p = find_kw(buf, len, 0, "obj", searches.obj); p != -1 && p <= len - 4;
       p = find_kw(buf, len, p + 1, "obj", searches.obj)) {
    obj_entry rec;
    rec.hdr_off = parse_obj_head(buf, len, p, rec.num, rec.gen);
    if (rec.hdr_off < 0) {
      rec.hdr_off = confirmed_damaged_head(buf, len, p, recorded, xi, rec.num, rec.gen);
      rec.damaged_head = 1;
    }
    if (rec.hdr_off < 0) continue;
    const object_body body = locate_body(buf, len, p, searches);
    const int end = object_end(buf, len, body);
    if (end < 0) continue;
    rec.dict_off = body.dict_off;
    rec.stream_kw = body.stream_kw;
    rec.endobj_off = end;
    rec.obj_end = end_past_endobj(end);
    const int before = table.count;
    objvec_push(table, rec);
    if (table.count > before) recorded.note(rec.num);
  }
}

}  // namespace pdfrepair
