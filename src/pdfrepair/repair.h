// The repair service: a damaged file in, a repaired PDF 1.4 copy out.
#pragma once

namespace pdfrepair {

// One whole repair request; 1 when the output file was written completely, else 0 with the
// reason recorded by set_error.
int do_fix(const char* input_path, const char* output_path);

}  // namespace pdfrepair
