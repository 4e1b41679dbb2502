// The object table's growth and release.
#include "pdfrepair/objtable.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace pdfrepair {

void objvec_push(objvec& v, const obj_entry& rec) {
  if (v.count == v.cap) {
    const std::int64_t new_cap = v.cap == 0 ? 128 : 2 * static_cast<std::int64_t>(v.count);
    if (new_cap > std::numeric_limits<int>::max()) return;
    void* grown = std::realloc(v.items, static_cast<std::size_t>(new_cap) * sizeof(obj_entry));
    if (!grown) return;
    v.items = static_cast<obj_entry*>(grown);
    v.cap = static_cast<int>(new_cap);
  }
  v.items[v.count++] = rec;
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

}  // namespace pdfrepair
