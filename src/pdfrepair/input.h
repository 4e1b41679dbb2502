// Reading the whole input file into memory, as both services do first.
#pragma once

#include "pdfrepair/heap.h"
#include "pdfrepair/scan.h"

namespace pdfrepair {

struct input_file {
  large_ptr data;
  int len = -1;  // a signed 32-bit count; negative when the size could not be told
};

enum class load_status {
  ok,           // data holds len bytes
  cannot_open,  // the file could not be opened, or is a folder
  no_size,      // its size could not be told (a pipe): len is -1, nothing read
                //   (data is a one-byte buffer, so that the analysis can run on no bytes)
  too_large,    // it has 2 GiB or more: len is -1, nothing read
  empty,        // it has no bytes: len is 0
  no_memory,    // the buffer could not be allocated
  short_read,   // fewer bytes arrived than its size
};

// Opens path in binary mode, sizes it and reads it whole. A size that does not fit the signed
// 32-bit count is never cut to fit: such a file is not read at all.
load_status load_input(const char* path, input_file& in);

}  // namespace pdfrepair
