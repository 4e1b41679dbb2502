// The object table's growth and release, and its index by object number.
#include "pdfrepair/heap.h"
#include "pdfrepair/objtable.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace pdfrepair {

void objvec_push(objvec& v, const obj_entry& rec) {
  if (v.count == v.cap) {
    const std::int64_t new_cap = v.cap == 0 ? 128 : 2 * static_cast<std::int64_t>(v.count);
    if (new_cap > std::numeric_limits<int>::max()) return;
    void* grown = mem_realloc(v.items, static_cast<std::size_t>(new_cap) * sizeof(obj_entry));
    if (!grown) return;
    v.items = static_cast<obj_entry*>(grown);
    v.cap = static_cast<int>(new_cap);
  }
  v.items[v.count++] = rec;
}

void objvec_reserve(objvec& v, int n) {
  if (n <= v.cap) return;
  void* grown = mem_realloc(v.items, static_cast<std::size_t>(n) * sizeof(obj_entry));
  if (!grown) return;
  v.items = static_cast<obj_entry*>(grown);
  v.cap = n;
}

void obj_entry_release(obj_entry& rec) {
  std::free(rec.refs);
  std::free(rec.dict_text);
  rec.refs = nullptr;
  rec.ref_count = 0;
  rec.ref_cap = 0;
  rec.dict_text = nullptr;
  rec.dict_len = 0;
}

objvec::~objvec() {
  for (int i = 0; i < count; ++i) obj_entry_release(items[i]);
  std::free(items);
}

void build_record_index(const obj_entry* items, int count, record_index& index) {
  using slot = record_index::slot;
  index.slots = static_cast<slot*>(mem_malloc(sizeof(slot) * std::max(count, 1)));
  if (!index.slots) return;
  for (int i = 0; i < count; ++i) index.slots[i] = {items[i].num, i};
  std::sort(index.slots, index.slots + count,
            [](const slot& a, const slot& b) { return a.num != b.num ? a.num < b.num : a.pos < b.pos; });
  index.count = count;
}

const obj_entry* first_record(const obj_entry* items, int count, const record_index& index,
                              int num) {
  if (!index.slots) {
    for (int i = 0; i < count; ++i)
      if (items[i].num == num) return &items[i];
    return nullptr;
  }
  const record_index::slot* s = first_slot(index, num);
  return s != index.slots + index.count && s->num == num ? &items[s->pos] : nullptr;
}

const record_index::slot* first_slot(const record_index& index, int num) {
  return std::lower_bound(index.slots, index.slots + index.count, num,
                          [](const record_index::slot& a, int n) { return a.num < n; });
}

record_index::~record_index() { std::free(slots); }

}  // namespace pdfrepair
