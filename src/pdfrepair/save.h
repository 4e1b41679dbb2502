// Saving a finished output: the path's bytes are handed to the C runtime as given, on every
// platform (on Windows, read in the process's ANSI code page).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "pdfrepair/scan.h"
#include "pdfrepair/writer.h"

namespace pdfrepair {

// Writes the bytes to output_path once they are all there. A file there, or the file a
// symbolic link there finally leads to, is replaced: the bytes go to a new file beside it,
// given its permission bits, which is renamed into place once every byte is written and the
// file closed, so that a failure never creates, truncates or damages it (it may be the input
// itself). A device or a pipe is written directly; a folder, or a link that leads nowhere, is
// refused. 0 with the last error set on failure.
int save_output(const byte* data, std::size_t len, const char* output_path);

// An output on its way to output_path, written as the writer makes it. Where save_output would
// write a new file beside the target and rename it into place, that file is made at once and
// the pieces go into it; it becomes the output only in finish, and is removed when the output
// is abandoned (destroyed unfinished), so a failure still never creates, truncates or damages
// the target. A device or a pipe, or a target the new file cannot be made beside, gets the
// bytes in memory, which finish hands to save_output whole.
class output_file final : public output_sink {
 public:
  explicit output_file(const char* output_path);
  ~output_file();
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  void put(const void* bytes, std::size_t n) override;
  std::uint64_t size() const override;
  bool out_of_memory() const override;

  // Puts the complete output in place; 1, or 0 with the last error set.
  int finish();

 private:
  const char* output_path_;
  std::string target_;  // what the renamed file replaces
  std::string temp_;    // the new file; empty when the bytes go to memory
  std::FILE* file_ = nullptr;
  std::uint64_t written_ = 0;
  bool write_failed_ = false;
  out_buf memory_;
};

}  // namespace pdfrepair
