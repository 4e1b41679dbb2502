// Selection: the one record of each object number a repair keeps, and its sanitised
// dictionary with the object numbers it references.
#include "pdfrepair/selection.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "pdfrepair/dict.h"
#include "pdfrepair/heap.h"
#include "pdfrepair/interface.h"
#include "pdfrepair/objstm.h"
#include "pdfrepair/prune.h"
#include "pdfrepair/writer.h"
#include "pdfrepair/xref_chain.h"

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

// A stream's sanitised span holds its data, which counts only for the references taken from
// it: every later step cleans the text, which keeps its first dictionary alone, or rewrites
// its /Kids arrays, which a text without "/Kids" has none of. Such a text is cut after its
// first dictionary, so that the data is not held a second time.
char* without_data(char* text, int& text_len) {
  const std::string_view whole(text, static_cast<std::size_t>(text_len));
  const std::size_t kept = first_dict_length(whole);
  if (kept == whole.size() || whole.find("/Kids") != std::string_view::npos) return text;
  char* cut = copy_prefix(text, kept);
  if (!cut) return text;
  std::free(text);
  text_len = static_cast<int>(kept);
  return cut;
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

bool deleted_numbers::contains(int num) const {
  return count > 0 && std::binary_search(nums.get(), nums.get() + count, num);
}

deleted_numbers numbers_deleted(const byte* buf, int len, const objvec& all) {
  deleted_numbers deleted;
  record_index index;
  build_record_index(all, index);
  xref_chain chain;
  read_xref_chain(buf, len, all, index, chain);
  const xref_listing listing = judge_xref_chain(buf, len, all, index, chain);
  if (!chain.complete || !listing.complete || chain.sections == 0 || !index.slots) return deleted;
  for (int k = 0; k < listing.count; ++k)
    if (listing.claims[k].verdict == xref_listing::nowhere || listing.claims[k].verdict == xref_listing::mismatch)
      return deleted;
  deleted.nums = heap_array<int>(static_cast<std::size_t>(listing.count));
  if (!deleted.nums) return deleted;
  for (int k = 0; k < listing.count; ++k) {
    const xref_entry& e = listing.claims[k].entry;
    if (e.type != 0 || e.num <= 0) continue;
    // Deleted only by a section written after every version the scan found.
    bool after_every_version = true;
    const record_index::slot* end = index.slots + index.count;
    for (const record_index::slot* s = first_slot(index, e.num); s != end && s->num == e.num; ++s)
      after_every_version = after_every_version && all.items[s->pos].hdr_off < e.section;
    if (after_every_version) deleted.nums[deleted.count++] = e.num;
  }
  std::sort(deleted.nums.get(), deleted.nums.get() + deleted.count);
  return deleted;
}

void select_records(const byte* buf, int len, const objvec& all, objvec& kept,
                    const deleted_numbers& deleted) {
  int max_num = 0;
  for (int i = 0; i < all.count; ++i)
    if (all.items[i].num <= max_kept_object && all.items[i].num > max_num) max_num = all.items[i].num;

  heap_ptr<int[]> plain = heap_array<int>(max_num + 1u);
  heap_ptr<int[]> packed = heap_array<int>(max_num + 1u);
  if (plain && packed) {
    std::fill_n(plain.get(), max_num + 1, -1);
    std::fill_n(packed.get(), max_num + 1, -1);
    objvec_reserve(kept, all.count);  // at most one record of each
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
      if (deleted.contains(e.num)) continue;
      if (e.in_objstm ? plain[e.num] == -1 && packed[e.num] == j : plain[e.num] == j)
        objvec_push(kept, e);
    }
    return;
  }
  // Without memory for the indexes: every plain record, and a packed one unless some plain
  // record has its number.
  for (int j = 0; j < all.count; ++j) {
    const obj_entry& e = all.items[j];
    if (e.num > max_kept_object || deleted.contains(e.num)) continue;
    bool keep = !e.in_objstm && !is_objstm_container(buf, len, e);
    if (e.in_objstm) {
      keep = true;
      for (int i = 0; i < all.count && keep; ++i)
        keep = !(all.items[i].num == e.num && !all.items[i].in_objstm);
    }
    if (keep) objvec_push(kept, e);
  }
}

void sanitize_kept(const byte* buf, int len, objvec& kept) {
  for (int i = 0; i < kept.count; ++i) {
    obj_entry& rec = kept.items[i];
    int span_len = 0;
    const byte* span = dict_span(buf, rec, span_len);
    char* text = span ? sanitize_dict_text(span, span_len) : nullptr;
    if (!text) {
      const heap_ptr<char[]> written(written_text_without_dict(buf, len, rec));
      if (written && !collect_refs(written.get(), static_cast<int>(std::strlen(written.get())),
                                   rec.refs, rec.ref_count, rec.ref_cap))
        set_error("out of memory");
      continue;
    }
    int text_len = static_cast<int>(std::strlen(text));
    if (!collect_refs(text, text_len, rec.refs, rec.ref_count, rec.ref_cap)) set_error("out of memory");
    // The output's /Length is direct: its old indirect value refers to nothing any more.
    drop_one_ref(rec, dropped_length_reference(buf, len, rec));
    if (rec.has_stream && !rec.in_objstm) text = without_data(text, text_len);
    std::free(rec.dict_text);
    rec.dict_text = text;
    rec.dict_len = text_len;
  }
}

}  // namespace pdfrepair
