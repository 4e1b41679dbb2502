// Page tree repair: a default /MediaBox for pages without a usable one, and /Kids and /Count
// brought into line with the objects that exist. Every function reads only the text it is
// given and never changes it; a returned text is newly allocated with malloc, NUL-terminated,
// and released by the caller with free(). Null means that the text stays as it was.
#pragma once

#include "pdfrepair/heap.h"
#include "pdfrepair/objtable.h"

namespace pdfrepair {

// The ASCII white space at and after p, passed over; stops at len.
inline int skip_ascii_ws(const byte* t, int len, int p) {
  while (p < len && is_ascii_ws(t[p])) ++p;
  return p;
}
inline int skip_ascii_ws(const char* t, int len, int p) {
  return skip_ascii_ws(reinterpret_cast<const byte*>(t), len, p);
}

// The page-tree nodes a page may inherit its /MediaBox from: the kept records, with what was
// learnt of each node, so that every node is cleaned once however many pages ask.
struct box_ancestors {
  struct node {
    enum { unknown, has_box, no_box } state = unknown;
    int parent = 0;  // the number its /Parent names, or 0
  };
  const objvec& kept;
  const record_index& index;  // the kept records' own
  heap_ptr<node[]> nodes;     // by record position; null when memory ran out

  box_ancestors(const objvec& k, const record_index& i);
};

// Whether an ancestor of the cleaned page dictionary has a counted /MediaBox entry: its
// /Parent, that node's /Parent and so on, at most 32 nodes and never one number twice, each
// the first kept record of its number with a dictionary, judged on its cleaned text.
bool inherits_media_box(box_ancestors& ancestors, const char* page, int length);

// The dictionary text of `length` bytes with a usable /MediaBox: an unusable first entry is
// replaced by "/MediaBox [0 0 612 792]" (its rejected value removed), and a /Type /Page
// dictionary without an entry, whose ancestors (when given) have none either, gets
// " /MediaBox [0 0 612 792]" before the ">>" that closes it. Only the dictionary's own entries
// count, not those of dictionaries nested in it nor the bytes of strings. Null when the entry is usable, when a
// dictionary without an entry is no page, inherits a box or has no ">>", or when memory runs
// out.
char* ensure_media_box(const char* text, int length, box_ancestors* ancestors = nullptr);

// The first name_pos bytes of the text, "/MediaBox [0 0 612 792]", and the bytes from
// resume_pos up to length (0 <= name_pos <= resume_pos <= length); null when memory runs out
// or the positions are out of order.
char* fix_media(const char* text, int length, int name_pos, int resume_pos);

// The dictionary text of `length` bytes with its first /Kids array that references missing
// object numbers rewritten to hold only the references to numbers present among the records
// (each with its own bytes, separated by single spaces), and its first plain /Count set to the
// number kept. The index is the records' own (build_record_index). Null when no /Kids array
// needs a change, for a text shorter than 5 bytes, or when memory runs out.
char* fix_kids_counts(const char* text, int length, const obj_entry* records, int record_count,
                      const record_index& index);

}  // namespace pdfrepair
