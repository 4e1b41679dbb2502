// The validation service: one file in, a one-line JSON report out.
#pragma once

namespace pdfrepair {

inline constexpr int json_size = 65536;

extern char g_json[json_size];  // the report of the latest check

// Analyses the file at input_path and returns g_json holding the report.
const char* check_file(const char* input_path);

}  // namespace pdfrepair
