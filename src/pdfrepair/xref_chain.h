// Every cross-reference section a file names, read for the check: the classic tables (every
// subsection, their trailer's /XRefStm and /Prev followed) and the cross-reference streams
// (decoded, their PNG predictors undone, their rows split by /W and /Index, /Prev followed).
// Nothing of it is trusted; it tells what the file claims, to be compared with what is there.
#pragma once

#include "pdfrepair/heap.h"
#include "pdfrepair/objtable.h"

namespace pdfrepair {

struct xref_entry {
  int num;
  int type;     // 0 free, 1 in use, 2 packed in an object stream
  int offset;   // in use: where the object's header is claimed to start
  int section;  // where the section listing it starts
};

// The entries of every section, newest section first, each section's in the order it lists
// them (the same number may appear in several sections).
struct xref_chain {
  heap_ptr<xref_entry[]> entries;
  int count = 0;
  int cap = 0;
  int sections = 0;  // sections read
  bool complete = true;  // every section named was reached and read whole
};

// Follows startxref, then /XRefStm and /Prev, through at most 32 sections, none twice. The
// records of discovery give a cross-reference stream its data.
void read_xref_chain(const byte* buf, int len, const objvec& objs, const record_index& index,
                     xref_chain& chain);

// The newest entry of each object number the chain lists, with what the file shows of those in
// use: each one's object is there (where the entry points, or after white space from there,
// as readers accept), points nowhere (no record of its number), or is a mismatch (no version
// of the object starts there). In chain order.
struct xref_listing {
  enum verdict_kind { not_in_use, found, nowhere, mismatch };
  struct claim {
    xref_entry entry;
    verdict_kind verdict;
  };
  heap_ptr<claim[]> claims;
  int count = 0;
  bool complete = false;  // every entry was judged (memory did not run out)
};

xref_listing judge_xref_chain(const byte* buf, int len, const objvec& objs, const record_index& index,
                              const xref_chain& chain);

}  // namespace pdfrepair
