// The six exported functions: the gate, the last-error text, and the two services behind
// them. Nothing thrown inside the library may cross this boundary.
#include "pdfrepair.h"

#include <cstdarg>
#include <cstdio>
#include <exception>

#include "pdfrepair/check.h"
#include "pdfrepair/interface.h"
#include "pdfrepair/repair.h"

namespace pdfrepair {

char g_err[err_size];
int g_inited;

void set_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(g_err, sizeof g_err, format, args);
  va_end(args);
}

namespace {

int fix_entry(const char* input_path, const char* output_path) noexcept {
  if (!g_inited) {
    set_error("call pdfrepair_init first");
    return 0;
  }
  clear_error();
  try {
    return do_fix(input_path, output_path);
  } catch (const std::exception&) {
    set_error("out of memory");
    return 0;
  }
}

}  // namespace
}  // namespace pdfrepair

using namespace pdfrepair;

extern "C" {

PDFREPAIR_API int pdfrepair_init(void) {
  clear_error();
  g_inited = 1;
  return 1;
}

PDFREPAIR_API void pdfrepair_cleanup(void) {
  clear_error();
  g_inited = 0;
}

PDFREPAIR_API const char* pdfrepair_last_error(void) { return g_err; }

PDFREPAIR_API const char* pdfrepair_check(const char* input_path) {
  try {
    return check_file(input_path);
  } catch (const std::exception&) {
    g_json[0] = '\0';
    set_error("out of memory");
    return g_json;
  }
}

PDFREPAIR_API int pdfrepair_fix(const char* input_path, const char* output_path) {
  return fix_entry(input_path, output_path);
}

PDFREPAIR_API int pdfrepair_rebuild_xref(const char* input_path, const char* output_path) {
  return fix_entry(input_path, output_path);
}

}  // extern "C"
