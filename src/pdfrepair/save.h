// Saving a finished output: the path's bytes are handed to the C runtime as given, on every
// platform (on Windows, read in the process's ANSI code page).
#pragma once

#include <cstddef>

#include "pdfrepair/scan.h"

namespace pdfrepair {

// Writes the bytes to output_path once they are all there. A file there, or the file a
// symbolic link there finally leads to, is replaced: the bytes go to a new file beside it,
// given its permission bits, which is renamed into place once every byte is written and the
// file closed, so that a failure never creates, truncates or damages it (it may be the input
// itself). A device or a pipe is written directly; a folder, or a link that leads nowhere, is
// refused. 0 with the last error set on failure.
int save_output(const byte* data, std::size_t len, const char* output_path);

}  // namespace pdfrepair
