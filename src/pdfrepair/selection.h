// Selection: the one record of each object number a repair keeps, and its sanitised
// dictionary with the object numbers it references. The check runs the same steps to see
// what the repair would mend.
#pragma once

#include "pdfrepair/heap.h"
#include "pdfrepair/objtable.h"

namespace pdfrepair {

// The text a record's dictionary is taken from, or null: an object-stream record's own text,
// or the file bytes from its dictionary up to its "endobj" (stream keyword and data included),
// when that is 1 byte to 16 MiB long.
const byte* dict_span(const byte* buf, const obj_entry& rec, int& span_len);

// The object numbers a sound cross-reference chain deletes: those whose newest entry is free in
// a section that starts after every version of the object the scan found. None when the
// chain is not sound (a section not reached or not read whole, an entry in use that points
// nowhere or at no version of its object): a damaged table never deletes a live object.
// Sorted; count 0 when there are none.
struct deleted_numbers {
  heap_ptr<int[]> nums;
  int count = 0;

  bool contains(int num) const;
};

deleted_numbers numbers_deleted(const byte* buf, int len, const objvec& all);

// For every object number up to 0x7FFFFF that is not deleted, the last record that is neither
// an object-stream container nor taken from one; when there is none, the last record taken
// from an object stream. Containers are never kept: their objects were expanded. kept is in
// table order.
void select_records(const byte* buf, int len, const objvec& all, objvec& kept,
                    const deleted_numbers& deleted = {});

// Sanitises every kept dictionary and records what it references. A record without one (an
// array, a number, a stream too long to sanitise whole) references what the text written for
// it does, and stays without dictionary text. "out of memory" is recorded when a reference
// list cannot grow.
void sanitize_kept(const byte* buf, int len, objvec& kept);

}  // namespace pdfrepair
