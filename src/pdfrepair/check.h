// The validation service: one file in, a one-line JSON report out.
#pragma once

#include "pdfrepair/report.h"

namespace pdfrepair {

// Analyses the file at input_path and returns g_json holding the report (or the empty text
// when the file could not be read into memory; the reason is then in g_err).
const char* check_file(const char* input_path);

}  // namespace pdfrepair
