// Discovery in its fixed order.
#include "pdfrepair/analysis.h"

namespace pdfrepair {

void discover(const byte* buf, int len, analysis& a) {
  parse_xref(buf, len, a.xref);
  body_searches searches;
  scan_pass1(buf, len, a.objs, a.xref, searches);
  scan_pass2(buf, len, a.objs.items, a.objs.count, searches);
  if (a.xref.has_xref == 1 && a.xref.xref_size > 0)
    rescue_xref_objects(buf, len, a.xref, a.objs, searches);
  extract_all_objstm(buf, len, a.objs, a.decoded);
}

}  // namespace pdfrepair
