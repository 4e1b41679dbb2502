// The front half both services share: everything discovery finds in an input buffer, owned
// by the request and released with it.
#pragma once

#include "pdfrepair/discovery.h"
#include "pdfrepair/objstm.h"

namespace pdfrepair {

struct analysis {
  xref_info xref;
  objvec objs;              // every record found, in discovery order
  decoded_buffers decoded;  // what the object-stream records point into
};

// Runs discovery in its fixed order: the xref reader, the linear scan, the stream extents,
// the rescue (only after a classic table was read), the object-stream expansion.
void discover(const byte* buf, int len, analysis& a);

// The position of the first record (in table order) of each object number, for lookups that
// would otherwise walk the table once per number.
struct record_index {
  struct slot {
    int num;
    int pos;
  };
  slot* slots = nullptr;  // by number, then by table position; null when memory ran out
  int count = 0;

  record_index() = default;
  record_index(const record_index&) = delete;
  record_index& operator=(const record_index&) = delete;
  ~record_index();
};

void build_record_index(const objvec& objs, record_index& index);

// The first record with this number, or null; walks the table when the index could not be
// built.
const obj_entry* first_record(const objvec& objs, const record_index& index, int num);

}  // namespace pdfrepair
