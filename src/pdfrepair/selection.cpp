// Selection: the one record of each object number a repair keeps, and its sanitised
// dictionary with the object numbers it references.
#include "pdfrepair/selection.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "pdfrepair/dict.h"
#include "pdfrepair/heap.h"
#include "pdfrepair/interface.h"
#include "pdfrepair/objstm.h"
#include "pdfrepair/prune.h"
#include "pdfrepair/writer.h"

namespace pdfrepair {

namespace {

constexpr int max_kept_object = 0x7FFFFF;  // larger object numbers are never written

// Removes one occurrence of num from the record's references.
void drop_one_ref(obj_entry& rec, int num) {
  int* const end = rec.refs + rec.ref_count;
  int* const at = num > 0 ? std::find(rec.refs, end, num) : end;
  if (at == end) return;
  std::copy(at + 1, end, at);
  --rec.ref_count;
}

}  // namespace

const byte* dict_span(const byte* buf, const obj_entry& rec, int& span_len) {
  const byte* span = nullptr;
  span_len = 0;
  if (rec.in_objstm) {
    span = rec.own_text;
    span_len = rec.own_len;
  } else if (rec.dict_off >= 0) {
    span = buf + rec.dict_off;
    span_len = rec.endobj_off - rec.dict_off;
  }
  return span && span_len >= 1 && span_len <= max_dict_span ? span : nullptr;
}

void select_records(const byte* buf, int len, const objvec& all, objvec& kept) {
  int max_num = 0;
  for (int i = 0; i < all.count; ++i)
    if (all.items[i].num <= max_kept_object && all.items[i].num > max_num) max_num = all.items[i].num;

  heap_ptr<int[]> plain = heap_array<int>(max_num + 1u);
  heap_ptr<int[]> packed = heap_array<int>(max_num + 1u);
  if (plain && packed) {
    std::fill_n(plain.get(), max_num + 1, -1);
    std::fill_n(packed.get(), max_num + 1, -1);
    for (int i = 0; i < all.count; ++i) {
      const obj_entry& e = all.items[i];
      if (e.num > max_num) continue;
      if (e.in_objstm)
        packed[e.num] = i;
      else if (!is_objstm_container(buf, len, e))
        plain[e.num] = i;
    }
    for (int j = 0; j < all.count; ++j) {
      const obj_entry& e = all.items[j];
      if (e.num > max_num) continue;
      if (e.in_objstm ? plain[e.num] == -1 && packed[e.num] == j : plain[e.num] == j)
        objvec_push(kept, e);
    }
    return;
  }
  // Without memory for the indexes: every plain record, and a packed one unless some plain
  // record has its number.
  for (int j = 0; j < all.count; ++j) {
    const obj_entry& e = all.items[j];
    if (e.num > max_kept_object) continue;
    bool keep = !e.in_objstm && !is_objstm_container(buf, len, e);
    if (e.in_objstm) {
      keep = true;
      for (int i = 0; i < all.count && keep; ++i)
        keep = !(all.items[i].num == e.num && !all.items[i].in_objstm);
    }
    if (keep) objvec_push(kept, e);
  }
}

void sanitize_kept(const byte* buf, int len, objvec& kept, kept_refs refs) {
  for (int i = 0; i < kept.count; ++i) {
    obj_entry& rec = kept.items[i];
    int span_len = 0;
    const byte* span = dict_span(buf, rec, span_len);
    char* text = span ? sanitize_dict_text(span, span_len) : nullptr;
    if (refs == kept_refs::skipped) {
      std::free(rec.dict_text);
      rec.dict_text = text;
      rec.dict_len = text ? static_cast<int>(std::strlen(text)) : 0;
      continue;
    }
    if (!text) {
      const heap_ptr<char[]> written(written_text_without_dict(buf, len, rec));
      if (written && !collect_refs(written.get(), static_cast<int>(std::strlen(written.get())),
                                   rec.refs, rec.ref_count, rec.ref_cap))
        set_error("out of memory");
      continue;
    }
    const int text_len = static_cast<int>(std::strlen(text));
    if (!collect_refs(text, text_len, rec.refs, rec.ref_count, rec.ref_cap)) set_error("out of memory");
    // The output's /Length is direct: its old indirect value refers to nothing any more.
    drop_one_ref(rec, dropped_length_reference(buf, len, rec));
    std::free(rec.dict_text);
    rec.dict_text = text;
    rec.dict_len = text_len;
  }
}

}  // namespace pdfrepair
