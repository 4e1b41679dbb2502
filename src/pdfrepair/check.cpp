// The validation service: reads the file, runs discovery, and reports what it found in a fixed
// order (file structure, cross-reference entries, streams, dictionary bytes, references, pages,
// dead page dictionaries), at most 32 issues, the earliest ones.
#include "pdfrepair/check.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "pdfrepair/analysis.h"
#include "pdfrepair/dict.h"
#include "pdfrepair/digits.h"
#include "pdfrepair/filters.h"
#include "pdfrepair/heap.h"
#include "pdfrepair/input.h"
#include "pdfrepair/interface.h"
#include "pdfrepair/number_set.h"
#include "pdfrepair/writer.h"
#include "pdfrepair/xref_chain.h"

namespace pdfrepair {

char issues[max_issues][issue_size];

void issue_log::record(const char* format, ...) {
  if (full()) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(issues[n++], issue_size, format, args);
  va_end(args);
}

namespace {

struct request {
  const byte* buf;
  int len;
  const analysis& a;
  const record_index& index;
  const xref_listing& listing;  // the newest entry of each number the sections list
  const number_set& freed;      // the numbers whose newest entry is free
  issue_log& log;
};

void check_structure(const xref_info& xi, issue_log& log) {
  if (!xi.has_header) log.record("missing header");
  if (!xi.has_startxref)
    log.record("missing startxref");
  else if (!xi.has_xref && !xi.has_xref_stream)
    log.record("broken xref");
  if (xi.has_startxref && xi.root_num < 0) log.record("missing /Root");
}

// Every section of the cross-reference chain, newest first, each object number judged once,
// by the newest section that lists it.
void check_xref_entries(const request& r) {
  for (int k = 0; k < r.listing.count; ++k) {
    const xref_listing::claim& c = r.listing.claims[k];
    if (c.verdict == xref_listing::nowhere)
      r.log.record("xref entry for obj %d points nowhere", c.entry.num);
    else if (c.verdict == xref_listing::mismatch)
      r.log.record("broken xref (obj %d offset mismatch)", c.entry.num);
  }
}

// Whether the data that ends at end is followed, after white space, by "endstream" spelt
// exactly (the byte before the keyword is the data's, and not examined).
bool exact_endstream(const byte* buf, int len, int end) {
  int x = end;
  while (x >= 0 && x < len && is_ascii_ws(buf[x])) ++x;
  return x >= 0 && x < len && kw_at(buf + x, 0, len - x, "endstream");
}

void check_streams(const request& r) {
  const objvec& objs = r.a.objs;
  for (int i = 0; i < objs.count; ++i) {
    const obj_entry& e = objs.items[i];
    if (!e.has_stream) continue;
    if (e.truncated)
      r.log.record("truncated stream at obj %d", e.num);
    else if (e.bad_length)
      r.log.record("wrong /Length at obj %d", e.num);
    else if (!exact_endstream(r.buf, r.len, e.data_end))
      r.log.record("missing endstream at obj %d", e.num);  // taken from a damaged keyword
  }
}

// Zlib data that no longer decodes whole (damaged, or cut short inside a block), in the
// streams whose extent the step before found sound and whose finished dictionary names Flate
// first, as the repair finds it.
void check_compressed_data(const request& r) {
  const heap_ptr<byte[]> window = inflate_window();
  if (!window) return;
  for (int i = 0; i < r.a.objs.count && !r.log.full(); ++i) {
    const obj_entry& e = r.a.objs.items[i];
    if (!e.has_stream || e.truncated || e.bad_length) continue;
    if (e.data_start < 0 || e.data_end < e.data_start || e.data_end > r.len) continue;
    if (!is_flate_stream(r.buf, r.len, e)) continue;
    if (verify_flate(r.buf + e.data_start, e.data_end - e.data_start, window.get()).damaged)
      r.log.record("damaged compressed data at obj %d", e.num);
  }
}

// Inside a dictionary only printable ASCII and PDF white space belong, outside literal
// strings (text in any encoding); "<<" and ">>" must balance. Pairs do not overlap: after one
// the scan goes on past its second byte, so the ">>>>" closing two nested dictionaries counts
// two closings, not three.
bool dict_bytes_clean(const byte* buf, int len, const obj_entry& e) {
  int end = e.stream_kw > 0 ? e.stream_kw : e.endobj_off > 0 ? e.endobj_off : len;
  end = std::min(end, len);
  int depth = 0;
  for (int p = e.dict_off; p < end; ++p) {
    const int c = buf[p];
    if (c == '(') {
      const int close = literal_string_end(buf, end, p);
      if (close < 0) break;
      p = close - 1;
    } else if (c == '<' || c == '>') {
      if (p + 1 == end) break;
      if (buf[p + 1] != c) continue;
      ++p;
      depth += c == '<' ? 1 : -1;
      if (depth < 0) return false;
    } else if (depth > 0 && (c >= 0x80 || is_control(c))) {
      return false;
    }
  }
  return depth == 0;
}

void check_dict_bytes(const request& r) {
  for (int i = 0; i < r.a.objs.count && !r.log.full(); ++i) {
    const obj_entry& e = r.a.objs.items[i];
    if (e.in_objstm || e.dict_off < 0) continue;
    if (!dict_bytes_clean(r.buf, r.len, e)) r.log.record("binary garbage in obj %d dict", e.num);
  }
}

// The union of the records' stream data ranges, sorted and merged, so that the reference scan
// can step over stream data without trying every record at every position.
struct data_ranges {
  struct range {
    int start, end;
  };
  heap_ptr<range[]> items;
  int count = 0;
};

bool collect_data_ranges(const objvec& objs, data_ranges& out) {
  out.items = heap_array<data_ranges::range>(static_cast<std::size_t>(objs.count));
  if (!out.items) return false;
  int n = 0;
  for (int i = 0; i < objs.count; ++i) {
    const obj_entry& e = objs.items[i];
    if (e.has_stream && e.data_start >= 0 && e.data_start < e.data_end)
      out.items[n++] = {e.data_start, e.data_end};
  }
  data_ranges::range* r = out.items.get();
  std::sort(r, r + n, [](const auto& a, const auto& b) { return a.start < b.start; });
  int merged = 0;
  for (int i = 0; i < n; ++i) {
    if (merged > 0 && r[i].start <= r[merged - 1].end)
      r[merged - 1].end = std::max(r[merged - 1].end, r[i].end);
    else
      r[merged++] = r[i];
  }
  out.count = merged;
  return true;
}

void judge_reference(const request& r, int value) {
  const obj_entry* rec = first_record(r.a.objs, r.index, value);
  const xref_info& xi = r.a.xref;
  if (!rec)
    r.log.record("dangling ref %ld", static_cast<long>(value));
  // Numbers below the table's first subsection are not listed at all, which is not free. Any
  // section's free entry counts when it is the newest entry of its number.
  else if (!rec->in_objstm && ((xi.has_xref == 1 && value >= xi.xref_first && value < xi.xref_size &&
                                xi.xref_used[value] == 0) ||
                               r.freed.contains(value)))
    r.log.record("free object still referenced (obj %ld)", static_cast<long>(value));
}

// Every "N G R" in the raw file bytes outside stream data, each object number judged at its
// first reference in file order.
void check_references(const request& r) {
  number_set seen;
  data_ranges skip;
  if (r.len <= 1 || !seen.init(64) || !collect_data_ranges(r.a.objs, skip)) return;
  int next_range = 0;
  int p = 0;
  while (p + 1 < r.len) {
    while (next_range < skip.count && skip.items[next_range].end <= p) ++next_range;
    if (next_range < skip.count && skip.items[next_range].start <= p) {
      p = skip.items[next_range].end;
      continue;
    }
    if (!is_digit(r.buf[p])) {
      ++p;
      continue;
    }
    int q = p;
    const int value = wrap_int32(accumulate_digits(r.buf, r.len, q));
    if (q == r.len) break;
    if (value <= 0) {
      p = q;
      continue;
    }
    bool has_gen = false;
    const int kw = reference_keyword(r.buf, r.len, q, has_gen);
    if (kw < 0) {
      p = q;
      continue;
    }
    p = kw + 1;
    if (seen.contains(value)) continue;
    if (!seen.add(value)) break;
    judge_reference(r, value);
  }
}

// Occurrences of the name /Page (not /Pages) in a text, wherever they stand.
int count_page_names(const byte* text, int len) {
  int count = 0;
  for (int p = find_name(text, len, 0, len, "Page"); p >= 0; p = find_name(text, len, p + 1, len, "Page"))
    ++count;
  return count;
}

// The object-stream records' texts are decoded, so their sum may exceed any 32-bit count: it
// saturates, as the file's own count cannot.
int add_objstm_pages(const objvec& objs, int file_count) {
  long long count = file_count;
  for (int i = 0; i < objs.count; ++i)
    if (objs.items[i].own_text && objs.items[i].own_len > 0)
      count += count_page_names(objs.items[i].own_text, objs.items[i].own_len);
  return static_cast<int>(std::min<long long>(count, std::numeric_limits<int>::max()));
}

// 1 when the record's cleaned dictionary cannot be salvaged and is a /Type /Page dictionary.
int dead_page(const char* cleaned) {
  if (!cleaned) return 0;
  const int cleaned_len = static_cast<int>(std::strlen(cleaned));
  if (!dict_is_dead(cleaned, cleaned_len)) return 0;
  return has_type_name(cleaned, cleaned_len, "Page");
}

void check_dead_pages(const request& r, const first_dicts& dicts) {
  int dead = 0;
  for (int i = 0; i < r.a.objs.count; ++i) dead += dead_page(dicts.cleaned(i));
  if (dead > 0) r.log.record("dead page dict (unrepairable) - will be pruned");
}

void analyse(const byte* buf, int len) {
  analysis a;
  discover(buf, len, a);
  record_index index;
  build_record_index(a.objs, index);
  issue_log log;
  xref_chain chain;
  read_xref_chain(buf, len, a.objs, index, chain);
  const xref_listing listing = judge_xref_chain(buf, len, a.objs, index, chain);
  number_set freed;
  if (freed.init(64))
    for (int k = 0; k < listing.count; ++k)
      if (listing.claims[k].entry.type == 0 && listing.claims[k].entry.num > 0) freed.add(listing.claims[k].entry.num);
  const request r{buf, len, a, index, listing, freed, log};

  check_structure(a.xref, log);
  check_xref_entries(r);
  check_streams(r);
  check_compressed_data(r);
  check_dict_bytes(r);
  const first_dicts dicts(buf, len, a.objs);
  check_what_repair_mends(buf, len, a, dicts, log);
  check_references(r);
  int pages = count_page_names(buf, len);
  if (a.objs.count > 0) {
    pages = add_objstm_pages(a.objs, pages);
    if (pages == 0) log.record("no pages found");
    check_dead_pages(r, dicts);
  }
  const bool valid = log.n == 0 && a.xref.root_num >= 0 && pages >= 1 && a.objs.count > 0;
  write_report(valid, issues, log.n, a.objs.count, pages, a.xref.has_header ? a.xref.version : "");
}

}  // namespace

const char* check_file(const char* input_path) {
  g_json[0] = '\0';
  if (!input_path) {
    set_error("input_path is NULL");
    write_failure_report("input_path is NULL");
    return g_json;
  }
  input_file in;
  switch (load_input(input_path, in)) {
    case load_status::cannot_open:
      set_error("cannot open %s", input_path);
      write_failure_report("cannot open file");
      return g_json;
    case load_status::empty:
      write_failure_report("empty file");
      return g_json;
    case load_status::no_memory:
      set_error("out of memory");
      return g_json;
    case load_status::short_read:
      set_error("read error on %s", input_path);
      return g_json;
    case load_status::too_large:
      set_error("file too large (2 GiB or more): %s", input_path);
      return g_json;
    case load_status::ok:
    case load_status::no_size:  // analysed as a file without bytes
      break;
  }
  analyse(in.data.get(), in.len);
  return g_json;
}

}  // namespace pdfrepair
