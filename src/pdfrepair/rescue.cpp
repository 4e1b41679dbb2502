// Rescue of the objects the classic cross-reference table lists as in use but the scan did not
// record, typically because their header was destroyed: the "obj" keyword is looked for just
// after the listed offset, and the record takes its number, generation and offset from the
// table. Rescued objects never get a measured stream.
#include <cstdlib>

#include "pdfrepair/discovery.h"
#include "pdfrepair/heap.h"

namespace pdfrepair {

namespace {

constexpr int keyword_reach = 14;  // "obj" must begin within this many bytes of the offset
constexpr int room_after_offset = 15;

// The first bounded "obj" in [o, o + 14), or -1.
int keyword_near(const byte* b, int len, int o) {
  for (int x = o; x < o + keyword_reach; ++x)
    if (kw_at(b, x, len, "obj")) return x;
  return -1;
}

// The numbers the table of records holds: those of the records found by the scan, through
// their index, and those rescued since, by a flag per number of the classic table. The
// records are walked when there was no memory for either.
struct recorded_numbers {
  const objvec& table;
  const int scanned;
  const int size;
  record_index index;
  heap_ptr<unsigned char[]> rescued;

  recorded_numbers(const objvec& t, int table_size)
      : table(t), scanned(t.count), size(table_size),
        rescued(static_cast<unsigned char*>(mem_calloc(static_cast<std::size_t>(table_size), 1))) {
    build_record_index(table.items, scanned, index);
  }
  bool has(int num) const {
    if (!index.slots || !rescued) return find_record(table.items, table.count, num) != nullptr;
    return first_record(table.items, scanned, index, num) != nullptr ||
           (num >= 0 && num < size && rescued[num]);
  }
  // Rescued numbers grow, and each lies below the table's size.
  void note_rescued(int num) {
    if (rescued) rescued[num] = 1;
  }
};

// Whether the header before the keyword at x, intact or damaged by a stray byte of 0x80 or
// more, names another object that is already recorded: then the offset leads to that object
// and not to k. A header that cannot be read says nothing against k.
bool leads_to_other_object(const byte* b, int len, int x, int k, const recorded_numbers& recorded) {
  int num = 0, gen = 0;
  bool has_gen = false;
  if (parse_obj_head(b, len, x, num, gen) < 0 && parse_damaged_head(b, len, x, num, gen, has_gen) < 0)
    return false;
  return num != k && recorded.has(num);
}

}  // namespace

void rescue_xref_objects(const byte* buf, int len, const xref_info& xi, objvec& table,
                         body_searches& searches) {
  recorded_numbers recorded(table, xi.xref_size);
  for (int k = 1; k < xi.xref_size; ++k) {
    const int o = xi.xref_off[k];
    if (xi.xref_used[k] != 1 || o < 0 || o >= len - room_after_offset) continue;
    // Records rescued for smaller numbers count too.
    if (recorded.has(k)) continue;
    const int x = keyword_near(buf, len, o);
    if (x < 0 || leads_to_other_object(buf, len, x, k, recorded)) continue;
    const object_body body = locate_body(buf, len, x, searches);
    if (body.end < 0) continue;
    obj_entry rec;
    rec.num = k;
    rec.gen = xi.xref_gen[k];
    rec.hdr_off = o;  // may point at damage or white space before the header
    rec.damaged_head = 1;
    rec.dict_off = body.dict_off;
    rec.stream_kw = body.stream_kw;
    rec.endobj_off = body.end;
    rec.obj_end = end_past_endobj(body.end);
    const int before = table.count;
    objvec_push(table, rec);
    if (table.count > before) recorded.note_rescued(k);
  }
}

}  // namespace pdfrepair
