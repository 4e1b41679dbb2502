// Every cross-reference section a file names: classic tables and cross-reference streams.
#include "pdfrepair/xref_chain.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <string_view>

#include "pdfrepair/digits.h"
#include "pdfrepair/filters.h"
#include "pdfrepair/number_set.h"
#include "pdfrepair/objstm.h"
#include "pdfrepair/xref_table.h"

namespace pdfrepair {

namespace {

constexpr int max_sections = 32;
constexpr int max_index_pairs = 4096;

bool add_entry(xref_chain& chain, xref_entry e) {
  if (chain.count == chain.cap) {
    const int cap = chain.cap == 0 ? 256 : 2 * chain.cap;
    if (chain.cap > (1 << 26)) return false;
    auto* grown = static_cast<xref_entry*>(mem_realloc(chain.entries.get(), sizeof(xref_entry) * cap));
    if (!grown) return false;
    static_cast<void>(chain.entries.release());
    chain.entries.reset(grown);
    chain.cap = cap;
  }
  chain.entries[chain.count++] = e;
  return true;
}

// The integer after the first /name in [from, to), or -1.
int value_of(const byte* b, int len, int from, int to, std::string_view name) {
  const int at = find_name(b, len, from, to, name);
  if (at < 0) return -1;
  int pos = at + 1 + static_cast<int>(name.size());
  return parse_int_at(b, to, pos);
}

// The integers of the array after the first /name in [from, to), at most max of them; the
// count read, or -1 when there is no such array.
int array_of(const byte* b, int len, int from, int to, std::string_view name, int* out, int max) {
  const int at = find_name(b, len, from, to, name);
  if (at < 0) return -1;
  int p = skip_ws(b, at + 1 + static_cast<int>(name.size()), to);
  if (byte_at(b, to, p) != '[') return -1;
  int n = 0;
  for (++p; n < max;) {
    p = skip_ws(b, p, to);
    if (!is_digit(byte_at(b, to, p))) break;
    out[n++] = parse_int_at(b, to, p);
  }
  return n;
}

// A classic section: every subsection's entries, then its trailer's /XRefStm and /Prev.
bool read_classic(const byte* b, int len, int q, xref_chain& chain, int& xref_stm, int& prev) {
  const int section = q;
  // Read whole: every line an entry, up to "trailer".
  bool whole = true;
  whole = walk_classic_table(
              b, len, q + 4, [](int, int, int) {},
              [&](int, int num, const byte* line, int line_len) {
                int off = 0, gen = 0;
                const int type = entry_type(line, line_len, off, gen);
                whole = type != 0 && whole;
                if (type != 0) whole = add_entry(chain, {num, type == 'n' ? 1 : 0, off, section}) && whole;
              }) &&
          whole;
  const int t = find_kw(b, len, q + 4, "trailer");
  if (t < 0) return false;
  const int d = skip_ws(b, t + 7, len);
  int e = find_kw(b, len, d, "startxref");
  if (e <= 0) e = len;
  xref_stm = value_of(b, len, d, e, "XRefStm");
  prev = value_of(b, len, d, e, "Prev");
  return whole;
}

// Undoes the PNG predictors (types 0 to 4, one byte per pixel) of rows of `columns` bytes, each
// led by its type byte; returns the rows' bytes, or -1 for an unknown type.
int undo_png_rows(byte* data, int len, int columns) {
  if (columns >= len) return 0;  // not one whole row; columns + 1 could overflow
  const int row = columns + 1;
  const int rows = len / row;
  byte* out = data;
  for (int r = 0; r < rows; ++r) {
    const byte* in = data + static_cast<std::int64_t>(r) * row;
    const int type = in[0];
    byte* cur = out + static_cast<std::int64_t>(r) * columns;
    const byte* up = r > 0 ? cur - columns : nullptr;
    for (int i = 0; i < columns; ++i) {
      const int a = i > 0 ? cur[i - 1] : 0, u = up ? up[i] : 0, c = up && i > 0 ? up[i - 1] : 0;
      int v = in[1 + i];
      if (type == 1) v += a;
      else if (type == 2) v += u;
      else if (type == 3) v += (a + u) / 2;
      else if (type == 4) {
        const int p = a + u - c, pa = std::abs(p - a), pb = std::abs(p - u), pc = std::abs(p - c);
        v += pa <= pb && pa <= pc ? a : pb <= pc ? u : c;
      } else if (type != 0) {
        return -1;
      }
      cur[i] = static_cast<byte>(v);
    }
  }
  return rows * columns;
}

// The big-endian field of w bytes at p.
std::uint32_t field(const byte* p, int w) {
  std::uint32_t v = 0;
  for (int i = 0; i < w; ++i) v = v << 8 | p[i];
  return v;
}

// The record whose header starts at q, or null.
const obj_entry* record_at(const byte* b, int len, const objvec& objs, const record_index& index, int q) {
  int i = q;
  const int num = wrap_int32(accumulate_digits(b, len, i));
  if (!index.slots) return nullptr;
  const record_index::slot* end = index.slots + index.count;
  for (const record_index::slot* s = first_slot(index, num); s != end && s->num == num; ++s)
    if (objs.items[s->pos].hdr_off == q) return &objs.items[s->pos];
  return nullptr;
}

// A cross-reference stream at q: its rows, then its /Prev.
bool read_stream_section(const byte* b, int len, int q, const objvec& objs, const record_index& index,
                         xref_chain& chain, int& prev) {
  const obj_entry* rec = record_at(b, len, objs, index, q);
  if (!rec || !rec->has_stream || rec->dict_off < 0 || rec->stream_kw <= rec->dict_off ||
      rec->data_start < 0 || rec->data_end < rec->data_start || rec->data_end > len)
    return false;
  const int d = rec->dict_off, e = rec->stream_kw;
  prev = value_of(b, len, d, e, "Prev");
  int w[3];
  if (array_of(b, len, d, e, "W", w, 3) != 3 || w[0] < 0 || w[1] < 0 || w[2] < 0 || w[0] > 4 ||
      w[1] > 4 || w[2] > 4)
    return false;
  const int size = value_of(b, len, d, e, "Size");
  int index_pairs[2 * max_index_pairs];
  int n_index = array_of(b, len, d, e, "Index", index_pairs, 2 * max_index_pairs);
  if (n_index < 0) {
    if (size < 0) return false;
    index_pairs[0] = 0;
    index_pairs[1] = size;
    n_index = 2;
  }
  // The rows: Flate data decoded, or data without a filter taken as it is.
  const byte* data = b + rec->data_start;
  int data_len = rec->data_end - rec->data_start;
  heap_ptr<byte[]> decoded;
  const bool filtered = find_name(b, len, d, e, "Filter") >= 0;
  if (filtered) {
    if (!first_filter_is_flate(b + d, e - d)) return false;
    decoded = inflate_container(data, static_cast<std::uint32_t>(data_len), data_len);
    if (!decoded) return false;
    const int predictor = value_of(b, len, d, e, "Predictor");
    if (predictor >= 10) {
      const int columns = std::max(1, value_of(b, len, d, e, "Columns"));
      data_len = undo_png_rows(decoded.get(), data_len, columns);
      if (data_len < 0) return false;
    }
    data = decoded.get();
  }
  const int row = w[0] + w[1] + w[2];
  if (row == 0) return false;
  int at = 0;
  bool whole = true;
  for (int k = 0; k + 1 < n_index; k += 2) {
    for (int j = 0; j < index_pairs[k + 1]; ++j, at += row) {
      if (data_len - at < row) return false;
      const byte* p = data + at;
      const int type = w[0] == 0 ? 1 : static_cast<int>(field(p, w[0]));
      const int second = static_cast<int>(field(p + w[0], w[1]));
      // The number wraps as the file's digits do; a negative one is passed over later.
      const int num = static_cast<int>(static_cast<std::uint32_t>(index_pairs[k]) + static_cast<std::uint32_t>(j));
      if (type <= 2) whole = add_entry(chain, {num, type, second, q}) && whole;
    }
  }
  return whole;
}

}  // namespace

void read_xref_chain(const byte* buf, int len, const objvec& objs, const record_index& index,
                     xref_chain& chain) {
  int at = find_kw(buf, len, 0, "startxref");
  if (at < 0) return;
  for (int next; (next = find_kw(buf, len, at + 9, "startxref")) != -1;) at = next;
  int pos = at + 9;
  int pending[max_sections];  // offsets still to read, the next one last
  int n_pending = 0;
  const int start = parse_int_at(buf, len, pos);
  if (start < 0 || start >= len) {
    chain.complete = false;
    return;
  }
  pending[n_pending++] = start;
  int visited[max_sections];
  while (n_pending > 0 && chain.sections < max_sections) {
    const int o = pending[--n_pending];
    if (std::find(visited, visited + chain.sections, o) != visited + chain.sections) continue;
    visited[chain.sections++] = o;
    const int q = skip_ws(buf, o, len);
    int xref_stm = -1, prev = -1;
    bool read = false;
    if (q >= 0 && q < len && kw_at(buf, q, len, "xref"))
      read = read_classic(buf, len, q, chain, xref_stm, prev);
    else if (q >= 0 && q < len && is_digit(buf[q]))
      read = read_stream_section(buf, len, q, objs, index, chain, prev);
    chain.complete = chain.complete && read;
    // The stream of a hybrid file's update is newer than the update's /Prev.
    for (const int next : {prev, xref_stm}) {
      if (next < 0) continue;
      if (next >= len || n_pending == max_sections) {
        chain.complete = false;
        continue;
      }
      pending[n_pending++] = next;
    }
  }
  if (n_pending > 0) chain.complete = false;
}

}  // namespace pdfrepair

namespace pdfrepair {

namespace {

// Whether some record numbered num has its header at off. Records of one number lie side by
// side in the index, in table order.
bool has_record_at(const objvec& objs, const record_index& index, int num, int off) {
  if (!index.slots) {
    for (int i = 0; i < objs.count; ++i)
      if (objs.items[i].num == num && objs.items[i].hdr_off == off) return true;
    return false;
  }
  const record_index::slot* end = index.slots + index.count;
  for (const record_index::slot* s = first_slot(index, num); s != end && s->num == num; ++s)
    if (objs.items[s->pos].hdr_off == off) return true;
  return false;
}

// For each claim in use, the first byte at or after its offset that is not white space. The
// offsets are visited in increasing order, so that a run of white space is walked once however
// many entries point into it. False when memory runs out.
bool reached_offsets(const byte* buf, int len, const xref_listing& listing, int* reached) {
  heap_ptr<int[]> order = heap_array<int>(static_cast<std::size_t>(listing.count));
  if (!order) return false;
  std::iota(order.get(), order.get() + listing.count, 0);
  const xref_listing::claim* claims = listing.claims.get();
  std::sort(order.get(), order.get() + listing.count,
            [claims](int a, int b) { return claims[a].entry.offset < claims[b].entry.offset; });
  int run_start = 0;
  int run_end = 0;  // [run_start, run_end) is white space, run_end the byte after it
  for (int k = 0; k < listing.count; ++k) {
    const int off = claims[order[k]].entry.offset;
    if (off < run_start || off >= run_end) {
      run_start = off;
      run_end = off;
      while (run_end >= 0 && run_end < len && is_pdf_ws(buf[run_end])) ++run_end;
    }
    reached[order[k]] = run_end;
  }
  return true;
}

}  // namespace

xref_listing judge_xref_chain(const byte* buf, int len, const objvec& objs, const record_index& index,
                              const xref_chain& chain) {
  xref_listing listing;
  listing.claims = heap_array<xref_listing::claim>(static_cast<std::size_t>(chain.count));
  number_set seen;
  if (!listing.claims || !seen.init(64)) return listing;
  bool zero_seen = false;  // the set holds positive numbers only
  for (int k = 0; k < chain.count; ++k) {
    const xref_entry& e = chain.entries[k];
    if (e.num < 0 || (e.num == 0 ? zero_seen : seen.contains(e.num))) continue;
    if (e.num == 0)
      zero_seen = true;
    else if (!seen.add(e.num))
      return listing;
    listing.claims[listing.count++] = {e, xref_listing::not_in_use};
  }
  const heap_ptr<int[]> reached = heap_array<int>(static_cast<std::size_t>(listing.count));
  if (!reached || !reached_offsets(buf, len, listing, reached.get())) return listing;
  for (int k = 0; k < listing.count; ++k) {
    xref_listing::claim& c = listing.claims[k];
    if (c.entry.type != 1) continue;
    const int num = c.entry.num, off = c.entry.offset;
    const obj_entry* rec = first_record(objs, index, num);
    if (!rec)
      c.verdict = xref_listing::nowhere;
    else if (rec->hdr_off == off || has_record_at(objs, index, num, off) ||
             (reached[k] != off && has_record_at(objs, index, num, reached[k])))
      c.verdict = xref_listing::found;
    else
      c.verdict = xref_listing::mismatch;
  }
  listing.complete = true;
  return listing;
}

}  // namespace pdfrepair
