// The repair service. Until the pipeline is built, every request fails with a message that
// says so, and no output file is created.
#include "pdfrepair/repair.h"

#include "pdfrepair/interface.h"

namespace pdfrepair {

int do_fix(const char* input_path, const char* output_path) {
  if (!input_path || !output_path) {
    set_error("NULL path argument");
    return 0;
  }
  set_error("repair is not available in this build");
  return 0;
}

}  // namespace pdfrepair
