// The check's view of the repair: a file the check calls valid is one whose repair mends
// nothing, so every mending step the repair would take is an issue here, found by the
// repair's own functions on the records it would keep.
#include <algorithm>
#include <cstring>

#include "pdfrepair/check.h"
#include "pdfrepair/dict.h"
#include "pdfrepair/heap.h"
#include "pdfrepair/pagetree.h"
#include "pdfrepair/selection.h"
#include "pdfrepair/writer.h"

namespace pdfrepair {

namespace {

// Whether a record outside object streams ends at an "endobj" of its own, spelt exactly: not
// at a tolerant match, a dictionary's ">>", an "endstream" or the end of the buffer. Records
// that end at the same keyword share one object's "endobj": only the last header owns it.
void check_endobj_keywords(const byte* buf, int len, const objvec& objs, issue_log& log) {
  struct end_of {
    int endobj, hdr, pos;
  };
  heap_ptr<end_of[]> ends = heap_array<end_of>(static_cast<std::size_t>(objs.count));
  if (!ends) return;
  int n = 0;
  for (int i = 0; i < objs.count; ++i)
    if (!objs.items[i].in_objstm) ends[n++] = {objs.items[i].endobj_off, objs.items[i].hdr_off, i};
  std::sort(ends.get(), ends.get() + n, [](const end_of& a, const end_of& b) {
    return a.endobj != b.endobj ? a.endobj < b.endobj : a.hdr > b.hdr;
  });
  heap_ptr<bool[]> missing = heap_array<bool>(static_cast<std::size_t>(objs.count));
  if (!missing) return;
  std::fill_n(missing.get(), objs.count, false);
  for (int k = 0; k < n; ++k) {
    const bool exact = kw_at(buf, ends[k].endobj, len, "endobj") == 1;
    const bool shared = k > 0 && ends[k - 1].endobj == ends[k].endobj;  // a later header owns it
    missing[ends[k].pos] = !exact || shared;
  }
  for (int i = 0; i < objs.count && !log.full(); ++i)
    if (missing[i]) log.record("missing endobj at obj %d", objs.items[i].num);
}

void check_damaged_headers(const objvec& objs, issue_log& log) {
  for (int i = 0; i < objs.count && !log.full(); ++i)
    if (objs.items[i].damaged_head) log.record("damaged object header at obj %d", objs.items[i].num);
}

// The text a record's dictionary is taken from, as the check reads it: an object-stream
// record's own text, or the file bytes from its dictionary to its "endobj" (or the end); none
// outside the sizes the sanitiser takes.
const byte* sanitized_span(const byte* buf, int len, const obj_entry& e, int& span_len) {
  span_len = 0;
  const byte* span = nullptr;
  if (e.in_objstm) {
    span_len = e.own_len;
    span = e.own_text;
  } else if (e.dict_off >= 0) {
    span_len = (e.endobj_off > 0 ? std::min(e.endobj_off, len) : len) - e.dict_off;
    span = buf + e.dict_off;
  }
  return span && span_len >= 1 && span_len <= max_dict_span ? span : nullptr;
}

void check_misspelt_names(const objvec& objs, const first_dicts& dicts, issue_log& log) {
  for (int i = 0; i < objs.count && !log.full(); ++i)
    if (dicts.sanitized(i) && names_misspelt(dicts.sanitized(i), dicts.cleaned(i)))
      log.record("misspelt name in obj %d dict", objs.items[i].num);
}

// Whether kept is the copy selection made of the table's record e (or of a record just like
// it, whose span is the same bytes).
bool same_record(const obj_entry& e, const obj_entry& kept) {
  return e.num == kept.num && e.gen == kept.gen && e.hdr_off == kept.hdr_off && e.dict_off == kept.dict_off &&
         e.endobj_off == kept.endobj_off && e.in_objstm == kept.in_objstm && e.own_text == kept.own_text &&
         e.own_len == kept.own_len;
}

// Gives each kept record the sanitised first dictionary of its span. Selection keeps records
// in table order, so each is found by walking the table along; its text is the one worked
// out already when both spans are the same bytes.
void sanitize_kept_first_dicts(const byte* buf, int len, const objvec& objs, const first_dicts& dicts,
                               objvec& kept) {
  int j = 0;
  for (int i = 0; i < kept.count; ++i) {
    obj_entry& rec = kept.items[i];
    int span_len = 0;
    const byte* span = dict_span(buf, rec, span_len);
    while (j < objs.count && !same_record(objs.items[j], rec)) ++j;
    int table_len = 0;
    const bool same_span = j < objs.count && span == sanitized_span(buf, len, objs.items[j], table_len) &&
                           span_len == table_len;
    if (same_span && dicts.sanitized(j))
      rec.dict_text = copy_text(dicts.sanitized(j));
    else
      rec.dict_text = span ? sanitize_first_dict_text(span, span_len) : nullptr;
    rec.dict_len = rec.dict_text ? static_cast<int>(std::strlen(rec.dict_text)) : 0;
  }
}

// /Kids and /Count as the prune refreshes them, on the records selection keeps.
void check_kids(const objvec& kept, const record_index& index, issue_log& log) {
  for (int i = 0; i < kept.count && !log.full(); ++i) {
    const obj_entry& rec = kept.items[i];
    if (!rec.dict_text) continue;
    const heap_ptr<char[]> fixed(fix_kids_counts(rec.dict_text, rec.dict_len, kept.items, kept.count, index));
    if (fixed) log.record("wrong /Count at obj %d", rec.num);
  }
}

// The box the writer gives a dictionary it finishes, pages inheriting from the kept nodes.
void check_boxes(const byte* buf, int len, const objvec& kept, const record_index& index, issue_log& log) {
  box_ancestors ancestors(kept, index);
  for (int i = 0; i < kept.count && !log.full(); ++i) {
    const heap_ptr<char[]> text(text_to_finish(buf, len, kept.items[i]));
    const heap_ptr<char[]> cleaned(text ? clean_dict_text(text.get()) : nullptr);
    if (!cleaned) continue;
    const heap_ptr<char[]> boxed(
        ensure_media_box(cleaned.get(), static_cast<int>(std::strlen(cleaned.get())), &ancestors));
    if (boxed) log.record("bad /MediaBox at obj %d", kept.items[i].num);
  }
}

}  // namespace

first_dicts::first_dicts(const byte* buf, int len, const objvec& objs) {
  items_ = heap_array<texts>(static_cast<std::size_t>(objs.count));
  if (!items_) return;
  for (; count_ < objs.count; ++count_) {
    int span_len = 0;
    const byte* span = sanitized_span(buf, len, objs.items[count_], span_len);
    // Only the first dictionary of each span matters here: stream data is never sanitised.
    char* text = span ? sanitize_first_dict_text(span, span_len) : nullptr;
    items_[count_] = {text, text ? clean_dict_text(text) : nullptr};
  }
}

first_dicts::~first_dicts() {
  for (int i = 0; i < count_; ++i) {
    std::free(items_[i].sanitized);
    std::free(items_[i].cleaned);
  }
}

void check_what_repair_mends(const byte* buf, int len, const analysis& a, const first_dicts& dicts,
                             issue_log& log) {
  check_endobj_keywords(buf, len, a.objs, log);
  check_damaged_headers(a.objs, log);
  check_misspelt_names(a.objs, dicts, log);
  if (log.full()) return;
  objvec kept;
  select_records(buf, len, a.objs, kept);
  sanitize_kept_first_dicts(buf, len, a.objs, dicts, kept);
  record_index index;
  build_record_index(kept, index);
  check_kids(kept, index, log);
  check_boxes(buf, len, kept, index, log);
}

}  // namespace pdfrepair
