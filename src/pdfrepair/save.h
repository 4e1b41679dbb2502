// Saving a finished output: the path's bytes are handed to the C runtime as given, on every
// platform (on Windows, read in the process's ANSI code page).
#pragma once

#include <cstddef>

#include "pdfrepair/scan.h"

namespace pdfrepair {

// Writes the bytes to a new file beside output_path and renames it into place once every byte
// is written and the file closed, so that a failure never creates, truncates or damages what
// is at output_path (which may be the input itself). 0 with the last error set on failure.
int save_output(const byte* data, std::size_t len, const char* output_path);

}  // namespace pdfrepair
