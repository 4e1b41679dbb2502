// Selection: the one record of each object number a repair keeps, and its sanitised
// dictionary with the object numbers it references. The check runs the same steps to see
// what the repair would mend.
#pragma once

#include "pdfrepair/objtable.h"

namespace pdfrepair {

// The text a record's dictionary is taken from, or null: an object-stream record's own text,
// or the file bytes from its dictionary up to its "endobj" (stream keyword and data included),
// when that is 1 byte to 16 MiB long.
const byte* dict_span(const byte* buf, const obj_entry& rec, int& span_len);

// For every object number up to 0x7FFFFF, the last record that is neither an object-stream
// container nor taken from one; when there is none, the last record taken from an object
// stream. Containers are never kept: their objects were expanded. kept is in table order.
void select_records(const byte* buf, int len, const objvec& all, objvec& kept);

enum class kept_refs { collected, skipped };

// Sanitises every kept dictionary and, unless skipped, records what it references. A record
// without one (an array, a number, a stream too long to sanitise whole) references what the
// text written for it does, and stays without dictionary text. "out of memory" is recorded
// when a reference list cannot grow.
void sanitize_kept(const byte* buf, int len, objvec& kept, kept_refs refs = kept_refs::collected);

}  // namespace pdfrepair
