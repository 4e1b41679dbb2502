// Discovery in its fixed order, and the index of first records by object number.
#include "pdfrepair/analysis.h"

#include <algorithm>
#include <cstdlib>

namespace pdfrepair {

void discover(const byte* buf, int len, analysis& a) {
  parse_xref(buf, len, a.xref);
  scan_pass1(buf, len, a.objs, a.xref);
  scan_pass2(buf, len, a.objs.items, a.objs.count);
  if (a.xref.has_xref == 1 && a.xref.xref_size > 0) rescue_xref_objects(buf, len, a.xref, a.objs);
  extract_all_objstm(buf, len, a.objs, a.decoded);
}

void build_record_index(const objvec& objs, record_index& index) {
  using slot = record_index::slot;
  index.slots = static_cast<slot*>(std::malloc(sizeof(slot) * std::max(objs.count, 1)));
  if (!index.slots) return;
  for (int i = 0; i < objs.count; ++i) index.slots[i] = {objs.items[i].num, i};
  std::sort(index.slots, index.slots + objs.count,
            [](const slot& a, const slot& b) { return a.num != b.num ? a.num < b.num : a.pos < b.pos; });
  index.count = objs.count;
}

const obj_entry* first_record(const objvec& objs, const record_index& index, int num) {
  if (!index.slots) return find_record(objs.items, objs.count, num);
  const record_index::slot* begin = index.slots;
  const record_index::slot* end = begin + index.count;
  const record_index::slot* s = std::lower_bound(
      begin, end, num, [](const record_index::slot& a, int n) { return a.num < n; });
  return s != end && s->num == num ? &objs.items[s->pos] : nullptr;
}

record_index::~record_index() { std::free(slots); }

}  // namespace pdfrepair
