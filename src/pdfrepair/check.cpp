// The validation service. Until the analysis is built, every readable path is answered with
// an invalid report that says so: a check never reports a file valid that it did not read.
#include "pdfrepair/check.h"

#include "pdfrepair/interface.h"

namespace pdfrepair {

const char* check_file(const char* input_path) {
  g_json[0] = '\0';
  if (!input_path) {
    set_error("input_path is NULL");
    write_failure_report("input_path is NULL");
    return g_json;
  }
  write_failure_report("validation is not available in this build");
  return g_json;
}

}  // namespace pdfrepair
