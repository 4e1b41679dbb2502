// Reference prune and page salvage: which kept objects go into the output, and the refusals
// that keep a repair from writing a file that would look valid while it is not.
#pragma once

#include "pdfrepair/objtable.h"

namespace pdfrepair {

// Appends the object number of every indirect reference in the text ("N G R", also "N R") to
// the array, growing it to 8 entries, then doubling. Returns 1 when the whole text was
// scanned, 0 when the array could not grow (what was appended stays).
int collect_refs(const char* text, int length, int*& refs, int& ref_count, int& ref_cap);

// Reads one reference the way collect_refs reads every reference, its object number's digits
// starting at i: the number (wrapped to 32 bits) when it is greater than 0, else 0, also when
// no reference stands there. i moves past the "R" of a reference with a generation, else past
// the first digits.
int read_reference(const byte* text, int length, int& i);

// Drops the kept records nothing refers to (the catalog and /Info always count as referred
// to), repairs /Kids and /Count in between, removes unsalvageable page dictionaries that only
// page-tree nodes refer to, and checks that the catalog survived. Returns 1, or 0 after
// recording why the repair must fail.
int prune_and_salvage(objvec& kept, int max_kept_num, int catalog_num, int docinfo_num);

}  // namespace pdfrepair
