// Stream extents: where the data of each scanned stream object begins and ends. The declared
// /Length (a direct integer, an array, or a reference to another object) is checked against
// the "endstream" keyword, and when the two disagree the keyword is trusted.
#include <string_view>

#include "pdfrepair/discovery.h"

namespace pdfrepair {

namespace {

constexpr std::string_view endstream_kw = "endstream";

// The /Length entry as written: a value, and whether it names an object rather than a
// length. value -1: no usable entry.
struct length_entry {
  int value = -1;
  bool indirect = false;
};

// The last non-negative integer of an array, read from pos up to its "]" or s; -1 when there
// is none. A byte that does not start an integer is stepped over.
int last_in_array(const byte* b, int pos, int s) {
  int last = -1;
  while (pos < s && b[pos] != ']') {
    const int before = pos;
    const int value = parse_int_at(b, s, pos);
    if (pos == before)
      ++pos;
    else if (value >= 0)
      last = value;
  }
  return last;
}

// Whether a generation number and the keyword R follow at pos, before s.
bool reference_follows(const byte* b, int pos, int s) {
  const int before = pos;
  parse_int_at(b, s, pos);
  if (pos == before) return false;
  const int r = skip_ws(b, pos, s);
  return r < s && b[r] == 'R' && (r + 1 == s || !is_alnum(b[r + 1]));
}

// The /Length of the dictionary [dict_off, s), where s is its stream keyword. Occurrences
// are tried in turn until one holds a usable value.
length_entry read_length_entry(const byte* b, int len, int dict_off, int s) {
  for (int at = find_name(b, len, dict_off, s, "Length"); at != -1;
       at = find_name(b, len, at + 1, s, "Length")) {
    const int v = skip_ws(b, at + 8, s);  // the byte right after the name is passed over
    if (v >= s) return {};
    if (b[v] == '[') {
      const int value = last_in_array(b, v + 1, s);
      if (value >= 0) return {value, false};
    } else if (b[v] == '-' || is_digit(b[v])) {
      int pos = v;
      const int value = parse_int_at(b, len, pos);
      if (value >= 0) return {value, reference_follows(b, pos, s)};
    }
  }
  return {};
}

// The length held by the object an indirect /Length names: the integer after the header of
// the first record with that number. -1 when there is no such record, when it has a stream
// of its own, or when its header or its value cannot be read.
// The records a stream's indirect /Length may name, indexed by number when first needed.
struct length_targets {
  const obj_entry* items;
  int count;
  record_index index;
  bool indexed = false;

  const obj_entry* first(int num) {
    if (!indexed) build_record_index(items, count, index);
    indexed = true;
    return first_record(items, count, index, num);
  }
};

int referenced_length(const byte* b, int len, length_targets& targets, int num) {
  const obj_entry* target = targets.first(num);
  if (!target || target->has_stream) return -1;
  int pos = target->hdr_off;
  const int before = pos;
  parse_int_at(b, len, pos);
  if (pos == before) return -1;
  parse_int_at(b, len, pos);  // the generation number, when there is one
  pos = skip_ws(b, pos, len);
  if (!kw_at(b, pos, len, "obj")) return -1;
  pos += 3;
  const int value = parse_int_at(b, len, pos);
  return value < 0 ? -1 : value;
}

// The declared end d + declared, confirmed when only white space stands between it and an
// "endstream" before the object's end m; -1 otherwise, also when it lies past the buffer.
// The byte before the keyword is the data's last byte, not part of a word, so it is not
// examined: the keyword is tested as if the buffer began at it.
int confirmed_end(const byte* b, int len, int d, int declared, int m) {
  if (declared > len - d) return -1;
  const int e = d + declared;
  if (e >= m) return -1;
  int x = e;
  while (x < m && is_ascii_ws(b[x])) ++x;
  return x < m && kw_at(b + x, 0, len - x, endstream_kw) ? e : -1;
}

// The end of line before an end keyword at t belongs to the keyword, not to the data; the
// data never loses its start.
int trim_eol(const byte* b, int d, int t) {
  if (d < t && b[t - 1] == '\n') {
    --t;
    if (d < t && b[t - 1] == '\r') --t;
  } else if (d < t && b[t - 1] == '\r') {
    --t;
  }
  return t;
}

// The end found by searching from one byte after the data start for "endstream", exact
// first, then with up to two letters damaged; -1 when none lies before the object's end m.
// Keywords at or after m are never used. Before m a keyword is read the same whether the
// search stops a keyword's length past m or runs to the buffer's end.
int searched_end(const byte* b, int len, int d, int m, body_searches& searches) {
  if (d >= m) return -1;
  int t = find_kw(b, len, d + 1, endstream_kw, searches.endstream);
  if (t == -1 || t >= m) t = find_flex_kw(b, len, d + 1, endstream_kw, searches.flex_endstream);
  return t == -1 || t >= m ? -1 : trim_eol(b, d, t);
}

void measure_stream(const byte* b, int len, length_targets& targets, body_searches& searches,
                    obj_entry& rec) {
  if (rec.dict_off < 0) {
    rec.has_stream = 0;
    return;
  }
  const int m = rec.endobj_off > 0 ? rec.endobj_off : len;
  const int s = find_own_stream_kw(b, len, rec.dict_off, m, searches);
  if (s < 0) {
    rec.stream_kw = -1;
    rec.has_stream = 0;
    return;
  }
  // The data starts after the LF or CR LF that follows the keyword.
  const int d = byte_at(b, len, s + 6) == '\r' && byte_at(b, len, s + 7) == '\n' ? s + 8 : s + 7;

  // Without a readable, non-negative length (-1) there is nothing to confirm: the keyword
  // alone decides, and the length counts as wrong.
  const length_entry entry = read_length_entry(b, len, rec.dict_off, s);
  const int declared = entry.indirect ? referenced_length(b, len, targets, entry.value) : entry.value;

  int end = declared >= 0 ? confirmed_end(b, len, d, declared, m) : -1;
  if (end < 0) end = searched_end(b, len, d, m, searches);
  if (end < 0) {
    // No end keyword: the data stops at the object's "endobj", so that it never takes in the
    // objects after it, and runs to the end of the file, untrimmed, when the file was cut off.
    end = m < len ? trim_eol(b, d, m) : len;
    rec.truncated = 1;
  }
  rec.stream_kw = s;
  rec.data_start = d;
  rec.data_end = end;
  rec.data_len = end - d;
  rec.has_stream = 1;
  if (rec.data_len != declared) rec.bad_length = 1;  // always so without a declared length
}

}  // namespace

void scan_pass2(const byte* buf, int len, obj_entry* items, int count, body_searches& searches) {
  length_targets targets{items, count, {}};
  for (int i = 0; i < count; ++i) measure_stream(buf, len, targets, searches, items[i]);
}

}  // namespace pdfrepair
