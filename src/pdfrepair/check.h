// The validation service: one file in, a one-line JSON report out.
#pragma once

#include "pdfrepair/analysis.h"
#include "pdfrepair/heap.h"
#include "pdfrepair/report.h"

namespace pdfrepair {

// The issues of one check, in the process-wide array: at most 32, the earliest.
struct issue_log {
  int n = 0;

  bool full() const { return n == max_issues; }

#if defined(__GNUC__)
  __attribute__((format(printf, 2, 3)))
#endif
  void record(const char* format, ...);
};

// Each record's first dictionary as the repair's steps read it, worked out once for every step
// of the check that reads it: sanitised up to the end of that dictionary, and cleaned. Both
// are null for a record without a span the sanitiser takes (none, empty, or above 16 MiB),
// and where memory ran out.
class first_dicts {
 public:
  first_dicts(const byte* buf, int len, const objvec& objs);
  ~first_dicts();
  first_dicts(const first_dicts&) = delete;
  first_dicts& operator=(const first_dicts&) = delete;

  // Of the record at index i of objs.
  const char* sanitized(int i) const { return items_ ? items_[i].sanitized : nullptr; }
  const char* cleaned(int i) const { return items_ ? items_[i].cleaned : nullptr; }

 private:
  struct texts {
    char* sanitized;
    char* cleaned;
  };
  heap_ptr<texts[]> items_;
  int count_ = 0;
};

// What a repair of the analysed file would mend, each kind of mending for every record in
// table order: an "endobj" that is missing or not spelt exactly, a header read only through
// damage or the cross-reference table, names that name repair corrects, and, on the records a
// repair keeps, /Kids and /Count or a /MediaBox that it would change.
void check_what_repair_mends(const byte* buf, int len, const analysis& a, const first_dicts& dicts,
                             issue_log& log);

// Analyses the file at input_path and returns g_json holding the report (or the empty text
// when the file could not be read into memory; the reason is then in g_err).
const char* check_file(const char* input_path);

}  // namespace pdfrepair
