// The output writer: a fixed header, the kept objects in ascending number with their
// dictionaries finished and their stream data copied under a /Length that matches it, then a
// classic xref table and a trailer, each piece put into the sink as soon as it is made.
#include "pdfrepair/writer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numeric>
#include <string_view>

#include "pdfrepair/dict.h"
#include "pdfrepair/filters.h"
#include "pdfrepair/heap.h"
#include "pdfrepair/interface.h"
#include "pdfrepair/pagetree.h"
#include "pdfrepair/prune.h"

namespace pdfrepair {

namespace {

constexpr std::uint64_t first_cap = 0x100000;
// Doubling from 1 MiB stays below 2^63 for any request up to this size.
constexpr std::uint64_t max_request = std::uint64_t{1} << 62;
constexpr std::string_view header = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
constexpr int max_plain_dict_copy = 0x100000;  // a stream dictionary without /Length
constexpr int max_body_len = 0x0FFFFFFF;
constexpr int max_xref_gen = 65534;

byte* buf_fail(out_buf& buf) {
  std::free(buf.data);
  buf.data = nullptr;
  buf.len = 0;
  buf.cap = 0;
  buf.failed = true;
  return nullptr;
}

void buf_text(output_sink& out, std::string_view text) { out.put(text.data(), text.size()); }

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void buf_printf(output_sink& out, const char* format, ...) {
  char text[64];  // every formatted piece is a line of numbers
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n > 0) out.put(text, std::min(static_cast<std::size_t>(n), sizeof text - 1));
}

// Writing order: ascending object number; records of one number (possible after the fallback
// selection) in table order. The order is total, so it does not depend on the sort's stability.
int order_cmp(const obj_entry* items, int a, int b) {
  if (items[a].num == items[b].num) return a - b;
  return items[a].num > items[b].num ? 1 : -1;
}

using text_ptr = heap_ptr<char>;

// A sanitised value that opens a dictionary.
bool is_dictionary(const char* value) {
  return std::string_view(value).substr(std::strspn(value, " \t\r\n\f")).starts_with("<<");
}

// What writing every object shares: the page tree (the kept records and their index) for
// /Kids and inherited boxes, and the window zlib data is checked through.
struct writing_context {
  box_ancestors tree;
  heap_ptr<byte[]> window;
};

int text_len(const char* text) { return static_cast<int>(std::strlen(text)); }

void buf_finished(output_sink& out, const text_ptr& text) {
  if (text) buf_text(out, text.get());
}

// The text cleaned, then given a media box when it needs one: cleaning comes first, so that
// the box lands in the dictionary that is kept and a page type repaired by cleaning (/P4ge)
// gets it. Null when there is no text or cleaning fails.
text_ptr cleaned_and_boxed(const char* text, box_ancestors& ancestors) {
  if (!text) return nullptr;
  text_ptr cleaned(clean_dict_text(text));
  if (!cleaned) return nullptr;
  if (char* boxed = ensure_media_box(cleaned.get(), text_len(cleaned.get()), &ancestors))
    return text_ptr(boxed);
  return cleaned;
}

// The entry "/Length N " for the measured data length, and its length.
struct length_entry {
  char text[40];
  int len;
};

length_entry measured_length_entry(int measured) {
  length_entry e;
  e.len = std::snprintf(e.text, sizeof e.text, "/Length %d ", measured);
  return e;
}

// The stream's data in the input: the record's range, or nothing when it does not lie there.
struct data_range {
  int start = 0;
  int len = 0;
};

data_range stream_data(const obj_entry& r, int size) {
  if (r.data_start < 0 || r.data_end < r.data_start || r.data_end > size) return {};
  return {r.data_start, r.data_end - r.data_start};
}

constexpr int inverted_r = 255 - 'R';

// White space and comments passed over, then a byte of 0x80 or more (other than an inverted
// "R") that damage left before the rest of the old value: a digit, "R" or an inverted "R"
// after it. A damaged "/" of the next key is followed by a letter, and stays.
int skip_ws_and_damage(const byte* in, int end, int p) {
  p = skip_ws(in, p, end);
  if (p < end && in[p] >= 0x80 && in[p] != inverted_r) {
    int q = p + 1;
    while (q < end && is_pdf_ws(in[q])) ++q;
    const int c = byte_at(in, end, q);
    if (is_digit(c) || c == 'R' || c == inverted_r) p = q;
  }
  return p;
}

// Where the span resumes after the old value of the /Length whose "/" is at `at`: one
// integer, two, two and R (also a damaged R), or an array are dropped whole, anything else
// stays. The white space after a dropped value goes with it, since the new entry ends with a
// space of its own: a second repair then finds the text it wrote. Nothing at or past the span
// end is read; an array that does not close there leaves nothing to follow.
int after_old_length(const byte* in, int end, int at) {
  int p = at + 7;
  // The byte after the name is its delimiter and passed over, unless it opens what follows
  // ("/Length[5]", "/Length/Filter").
  if (p < end && !is_delimiter(in[p])) ++p;
  p = skip_ws(in, p, end);
  if (p < end && in[p] == '[') {
    const void* close = std::memchr(in + p, ']', static_cast<std::size_t>(end - p));
    return close ? skip_ws(in, static_cast<int>(static_cast<const byte*>(close) - in) + 1, end) : end;
  }
  parse_int_at(in, end, p);
  p = skip_ws_and_damage(in, end, p);
  if (is_digit(byte_at(in, end, p))) {
    parse_int_at(in, end, p);
    p = skip_ws_and_damage(in, end, p);
  }
  const int c = byte_at(in, end, p);
  if (c == 'R' || c == inverted_r) ++p;
  return skip_ws(in, p, end);
}

// The stream's dictionary span (from dict_off up to the "stream" keyword, or to endobj) with
// its first /Length set to the measured data length; null when there is no span, the text
// would be too long to sanitise, or memory runs out. `len` receives the copy's length.
heap_ptr<byte[]> stream_dict_copy(const byte* in, int size, const obj_entry& r, int measured,
                                  int& len) {
  const int end = std::min(r.stream_kw > 0 ? r.stream_kw : r.endobj_off, size);
  if (r.dict_off < 0 || end <= 0 || end <= r.dict_off) return nullptr;
  const byte* span = in + r.dict_off;
  const int at = find_name(in, size, r.dict_off, end, "Length");
  if (at < 0) {
    len = std::min(end - r.dict_off, max_plain_dict_copy);
    heap_ptr<byte[]> copy = heap_array<byte>(static_cast<std::size_t>(len));
    if (copy) std::memcpy(copy.get(), span, static_cast<std::size_t>(len));
    return copy;
  }
  const length_entry entry = measured_length_entry(measured);
  const int rest = after_old_length(in, end, at);
  const int prefix = at - r.dict_off;
  // Sized to the rewritten text, however long the span: nothing is cut and nothing overflows.
  const std::int64_t total = std::int64_t{prefix} + entry.len + (end - rest);
  if (total > max_dict_span) return nullptr;
  len = static_cast<int>(total);
  heap_ptr<byte[]> copy = heap_array<byte>(static_cast<std::size_t>(len));
  if (!copy) return nullptr;
  std::memcpy(copy.get(), span, static_cast<std::size_t>(prefix));
  std::memcpy(copy.get() + prefix, entry.text, static_cast<std::size_t>(entry.len));
  std::memcpy(copy.get() + prefix + entry.len, in + rest, static_cast<std::size_t>(end - rest));
  return copy;
}

// The value of an object without dictionary text: its body, from after "N G obj" up to its
// endobj, sanitised; null when there is none.
text_ptr sanitized_body(const byte* in, int size, const obj_entry& r) {
  if (r.hdr_off < 0 || r.endobj_off > size) return nullptr;
  int p = r.hdr_off;
  parse_int_at(in, size, p);
  p = skip_ws(in, p, size);
  if (is_digit(byte_at(in, size, p))) parse_int_at(in, size, p);
  p = skip_ws(in, p, size);
  if (p > size - 3) return nullptr;
  p = skip_ws(in, p + 3, size);  // the keyword "obj", taken as read
  const std::int64_t len = std::int64_t{r.endobj_off} - p;
  if (len < 1 || len > max_body_len) return nullptr;
  return text_ptr(sanitize_dict_text(in + p, static_cast<int>(len)));
}

// A finished stream dictionary that names no /Length (discovery measured its data instead of
// trusting a missing or unusable one) gets the measured length right after its first "<<". A
// name that cleaning corrected (/L3ngth) keeps its own value.
text_ptr with_length(text_ptr text, int measured) {
  if (!text) return text;
  const int len = text_len(text.get());
  const byte* t = reinterpret_cast<const byte*>(text.get());
  const char* open = std::strstr(text.get(), "<<");
  if (!open || find_name(t, len, 0, len, "Length") >= 0) return text;
  const length_entry entry = measured_length_entry(measured);
  const std::size_t head = static_cast<std::size_t>(open - text.get()) + 2;
  const std::size_t total = static_cast<std::size_t>(len) + static_cast<std::size_t>(entry.len);
  text_ptr out(static_cast<char*>(mem_malloc(total + 1)));
  if (!out) return text;  // the text stays as it was
  std::memcpy(out.get(), text.get(), head);
  std::memcpy(out.get() + head, entry.text, static_cast<std::size_t>(entry.len));
  std::memcpy(out.get() + head + entry.len, open + 2, static_cast<std::size_t>(len) - head + 1);
  return out;
}

// The stream's dictionary with its /Length set to `length`, sanitised.
text_ptr sanitized_stream_dict(const byte* in, int size, const obj_entry& r, int length) {
  int len = 0;
  const heap_ptr<byte[]> copy = stream_dict_copy(in, size, r, length, len);
  return text_ptr(copy ? sanitize_dict_text(copy.get(), len) : nullptr);
}

bool names_flate_first(const text_ptr& dict) {
  const text_ptr cleaned(dict ? clean_dict_text(dict.get()) : nullptr);
  return cleaned && first_filter_is_flate(reinterpret_cast<const byte*>(cleaned.get()), text_len(cleaned.get()));
}

// The data a stream is written with: its own, or, for zlib data that no longer decodes whole,
// what still decodes in fresh zlib data.
struct written_data {
  const byte* bytes;
  int len;
  refreshed_data fresh;
};

written_data stream_data_to_write(const byte* in, int size, const obj_entry& r, const text_ptr& dict,
                                  byte* window) {
  const data_range data = stream_data(r, size);
  written_data w{in + data.start, data.len, {}};
  if (!window || !names_flate_first(dict)) return w;
  const inflate_verdict verdict = verify_flate(w.bytes, w.len, window);
  if (!verdict.damaged) return w;
  w.fresh = refresh_flate(w.bytes, w.len, verdict.decoded);
  if (w.fresh.bytes) {
    w.bytes = w.fresh.bytes.get();
    w.len = w.fresh.len;
  }
  return w;
}

void write_stream(output_sink& out, const byte* in, int size, writing_context& w, const obj_entry& r) {
  text_ptr dict = sanitized_stream_dict(in, size, r, stream_data(r, size).len);
  const written_data data = stream_data_to_write(in, size, r, dict, w.window.get());
  if (data.fresh.bytes) dict = sanitized_stream_dict(in, size, r, data.len);
  if (dict) {
    if (char* kids = fix_kids_counts(dict.get(), text_len(dict.get()), w.tree.kept.items,
                                     w.tree.kept.count, w.tree.index))
      dict.reset(kids);
  }
  buf_finished(out, with_length(cleaned_and_boxed(dict.get(), w.tree), data.len));
  buf_text(out, "stream\n");
  out.put(data.bytes, static_cast<std::size_t>(data.len));
  buf_text(out, "\nendstream\nendobj\n");
}

void write_object(output_sink& out, const byte* in, int size, writing_context& w, const obj_entry& r) {
  box_ancestors& tree = w.tree;
  buf_printf(out, "%d %d obj\n", r.num, r.gen);
  if (r.in_objstm) {
    const text_ptr sanitized(r.dict_text ? nullptr : written_text_without_dict(in, size, r));
    const char* value = r.dict_text ? r.dict_text : sanitized.get();
    // Only a dictionary is cleaned: cleaning keeps the first dictionary of a text, which would
    // cut an array holding one. Any other value is written sanitised, as in the file body.
    const bool dict = value && is_dictionary(value);
    const text_ptr cleaned = dict ? cleaned_and_boxed(value, tree) : nullptr;
    buf_finished(out, cleaned);
    if (!dict && value) buf_text(out, value);
    // A value from an object stream has no line break of its own before "endobj". A dictionary
    // closes by itself, and is written as one from the file body would be, so that repairing
    // the output again gives the same bytes.
    const bool closed = cleaned && std::string_view(cleaned.get()).ends_with(">>");
    buf_text(out, closed ? "endobj\n" : "\nendobj\n");
  } else if (r.has_stream) {
    write_stream(out, in, size, w, r);
  } else {
    buf_finished(out, r.dict_text ? cleaned_and_boxed(r.dict_text, tree) : sanitized_body(in, size, r));
    buf_text(out, "endobj\n");
  }
}

// The next free number from `from` on, or 0, which ends the list of free entries.
int next_free(const int* offsets, int from, int max_num) {
  for (int k = from; k <= max_num; ++k)
    if (offsets[k] < 0) return k;
  return 0;
}

// One subsection from 0 with a 20-byte line per number. Free entries are linked as the PDF
// free list: each names the next free number, the last names 0.
void write_xref(output_sink& out, const int* offsets, const int* gens, int max_num) {
  buf_printf(out, "xref\n0 %lld\n", static_cast<long long>(max_num) + 1);
  int free_after = next_free(offsets, 1, max_num);
  for (int k = 0; k <= max_num; ++k) {
    if (free_after != 0 && free_after <= k) free_after = next_free(offsets, k + 1, max_num);
    if (offsets[k] >= 0) {
      const int gen = gens && gens[k] >= 0 && gens[k] <= max_xref_gen ? gens[k] : 0;
      buf_printf(out, "%010d %05d n \n", offsets[k], gen);
    } else {
      buf_printf(out, "%010d 65535 f \n", free_after);
    }
  }
}

// The generation of a trailer reference: the one written for the number, unclamped, else 0.
int trailer_gen(const int* gens, int num, int max_num) {
  return gens && num >= 0 && num <= max_num ? gens[num] : 0;
}

void write_trailer(output_sink& out, const int* gens, int max_num, int catalog_num, int docinfo_num,
                   std::string_view id, int xref_off) {
  buf_printf(out, "trailer\n<</Size %lld/Root %d %d R", static_cast<long long>(max_num) + 1,
             catalog_num, trailer_gen(gens, catalog_num, max_num));
  if (docinfo_num >= 0)
    buf_printf(out, "/Info %d %d R", docinfo_num, trailer_gen(gens, docinfo_num, max_num));
  if (!id.empty()) {
    buf_text(out, "/ID");
    buf_text(out, id);
  }
  buf_printf(out, ">>\nstartxref %d", xref_off);
  buf_text(out, "\n%%EOF\n");
}

int out_of_memory() {
  set_error("out of memory");
  return 0;
}

}  // namespace

int dropped_length_reference(const byte* input, int size, const obj_entry& r) {
  const int end = std::min(r.stream_kw > 0 ? r.stream_kw : r.endobj_off, size);
  if (r.in_objstm || !r.has_stream || r.dict_off < 0 || end <= r.dict_off) return 0;
  const int at = find_name(input, size, r.dict_off, end, "Length");
  if (at < 0) return 0;
  int p = at + 7;
  if (p < end && !is_delimiter(input[p])) ++p;
  p = skip_ws(input, p, end);
  return is_digit(byte_at(input, end, p)) ? read_reference(input, end, p) : 0;
}

char* written_text_without_dict(const byte* input, int size, const obj_entry& r) {
  if (r.in_objstm) return r.own_text ? sanitize_dict_text(r.own_text, r.own_len) : nullptr;
  return (r.has_stream ? sanitized_stream_dict(input, size, r, stream_data(r, size).len)
                       : sanitized_body(input, size, r))
      .release();
}

char* text_to_finish(const byte* input, int size, const obj_entry& r) {
  if (r.has_stream && !r.in_objstm)
    return sanitized_stream_dict(input, size, r, stream_data(r, size).len).release();
  // A body object without dictionary text is written as its value stands.
  if (!r.in_objstm) return r.dict_text ? copy_text(r.dict_text) : nullptr;
  const heap_ptr<char[]> sanitized(r.dict_text ? nullptr : written_text_without_dict(input, size, r));
  const char* value = r.dict_text ? r.dict_text : sanitized.get();
  // So is a packed value that is no dictionary.
  if (!value || !is_dictionary(value)) return nullptr;
  return copy_text(value);
}

bool is_flate_stream(const byte* input, int size, const obj_entry& r) {
  return !r.in_objstm && r.has_stream &&
         names_flate_first(sanitized_stream_dict(input, size, r, stream_data(r, size).len));
}

out_buf::~out_buf() { std::free(data); }

void out_buf::put(const void* bytes, std::size_t n) { buf_bytes(*this, bytes, n); }

byte* buf_bytes(out_buf& buf, const void* bytes, std::size_t n) {
  if (buf.failed) return nullptr;
  if (!buf.data) {
    buf.data = static_cast<byte*>(mem_malloc(first_cap));
    if (!buf.data) return buf_fail(buf);
    buf.cap = first_cap;
    buf.len = 0;
  }
  if (n > max_request - buf.len - 1) return buf_fail(buf);
  if (buf.cap < buf.len + n + 1) {
    std::uint64_t cap = buf.cap;
    while (cap < buf.len + n + 1) cap *= 2;
    byte* grown = static_cast<byte*>(mem_realloc(buf.data, cap));
    if (!grown) return buf_fail(buf);
    buf.data = grown;
    buf.cap = cap;
  }
  if (n > 0) std::memcpy(buf.data + buf.len, bytes, n);
  buf.len += n;
  buf.data[buf.len] = 0;
  return buf.data;
}

int write_output(const byte* input, int size, const objvec& kept, int catalog_num,
                 int docinfo_num, output_sink& out, std::string_view id, int free_through) {
  int max_num = std::max(0, free_through);
  for (int i = 0; i < kept.count; ++i) max_num = std::max(max_num, kept.items[i].num);
  const std::size_t slots = static_cast<std::size_t>(max_num) + 1;
  heap_ptr<int[]> offsets = heap_array<int>(slots);
  heap_ptr<int[]> gens = heap_array<int>(slots);  // without it every generation is written as 0
  heap_ptr<int[]> order = heap_array<int>(static_cast<std::size_t>(kept.count));
  if (!offsets || !order) return out_of_memory();
  std::fill_n(offsets.get(), slots, -1);
  if (gens) std::fill_n(gens.get(), slots, 0);
  std::iota(order.get(), order.get() + kept.count, 0);
  std::sort(order.get(), order.get() + kept.count,
            [&kept](int a, int b) { return order_cmp(kept.items, a, b) < 0; });

  record_index index;
  build_record_index(kept, index);
  writing_context context{box_ancestors(kept, index), inflate_window()};
  buf_text(out, header);
  for (int i = 0; i < kept.count; ++i) {
    const obj_entry& r = kept.items[order[i]];
    const std::uint64_t offset = out.size();
    write_object(out, input, size, context, r);
    if (r.num < 0) continue;
    offsets[r.num] = static_cast<int>(offset);
    if (gens) gens[r.num] = r.gen;
  }
  const std::uint64_t xref_off = out.size();
  // Offsets are signed 32-bit values: a larger output is refused rather than written wrong.
  if (out.out_of_memory() || xref_off > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
    return out_of_memory();
  write_xref(out, offsets.get(), gens.get(), max_num);
  write_trailer(out, gens.get(), max_num, catalog_num, docinfo_num, id, static_cast<int>(xref_off));
  if (out.out_of_memory()) return out_of_memory();
  return 1;
}

}  // namespace pdfrepair
