// Reading the whole input file into memory.
#include "pdfrepair/input.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <limits>

namespace pdfrepair {
namespace {

struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The C runtime opens a folder for reading on some systems; its bytes are no file's.
bool is_folder(std::FILE* f) {
#if defined(_WIN32)
  struct _stat64 st;
  return _fstat64(_fileno(f), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFDIR;
#else
  struct stat st;
  return fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

// The file's size in bytes from a 64-bit seek (a 32-bit ftell would wrap on Windows), or -1.
std::int64_t file_size(std::FILE* f) {
#if defined(_WIN32)
  if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
  const std::int64_t size = _ftelli64(f);
  if (_fseeki64(f, 0, SEEK_SET) != 0) return -1;
#else
  if (fseeko(f, 0, SEEK_END) != 0) return -1;
  const std::int64_t size = ftello(f);
  if (fseeko(f, 0, SEEK_SET) != 0) return -1;
#endif
  return size;
}

}  // namespace

load_status load_input(const char* path, input_file& in) {
  std::unique_ptr<std::FILE, file_closer> f(std::fopen(path, "rb"));
  if (!f || is_folder(f.get())) return load_status::cannot_open;
  const std::int64_t size = file_size(f.get());
  if (size == 0) {
    in.len = 0;
    return load_status::empty;
  }
  if (size > std::numeric_limits<int>::max()) return load_status::too_large;
  // A size that cannot be told is analysed as no bytes at all, in a one-byte buffer.
  const bool sized = size > 0;
  in.len = sized ? static_cast<int>(size) : -1;
  in.data = large_bytes(sized ? static_cast<std::size_t>(size) : 1);
  if (!in.data) return load_status::no_memory;
  if (!sized) return load_status::no_size;
  if (std::fread(in.data.get(), 1, static_cast<std::size_t>(in.len), f.get()) !=
      static_cast<std::size_t>(in.len)) {
    in.data.reset();
    return load_status::short_read;
  }
  return load_status::ok;
}

}  // namespace pdfrepair
