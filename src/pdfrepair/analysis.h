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

}  // namespace pdfrepair
