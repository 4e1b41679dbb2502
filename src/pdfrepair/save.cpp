// Saving through a temporary file and a rename, with the C runtime's own calls on both
// platforms, so that the temporary file and the rename see the same bytes of the path.
#include "pdfrepair/save.h"

#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <string>

#ifdef _WIN32
#  include <io.h>
#  include <sys/stat.h>
#  include <windows.h>
#else
#  include <unistd.h>
#endif

#include "pdfrepair/interface.h"

namespace pdfrepair {
namespace {

// Opens a file that did not exist before for writing in binary mode; null when it exists or
// cannot be created.
std::FILE* create_new(const std::string& path) {
#ifdef _WIN32
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* f = _fdopen(fd, "wb");
  if (!f) _close(fd);
#else
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "wb");
  if (!f) close(fd);
#endif
  return f;
}

// Puts from in the place of to, replacing a file that is there.
bool replace_file(const std::string& from, const char* to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to, MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to) == 0;
#endif
}

// Writes in pieces of 1 MiB: on Linux one write of a whole buffer of tens of megabytes, which
// the kernel copies into the page cache in one go, took up to a tenth of a second longer and
// varied from run to run.
bool write_all(const byte* data, std::size_t len, std::FILE* f) {
  constexpr std::size_t piece = std::size_t{1} << 20;
  for (std::size_t done = 0; done < len;) {
    const std::size_t n = std::min(piece, len - done);
    if (std::fwrite(data + done, 1, n, f) != n) return false;
    done += n;
  }
  return true;
}

}  // namespace

int save_output(const byte* data, std::size_t len, const char* output_path) {
  std::string temp;
  std::FILE* f = nullptr;
  for (int attempt = 0; attempt < 100 && !f; ++attempt) {
    temp = std::string(output_path) + ".pdfrepair-" + std::to_string(attempt) + ".tmp";
    f = create_new(temp);
  }
  if (!f) {
    set_error("cannot write %s", output_path);
    return 0;
  }
  const bool written = write_all(data, len, f);
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    std::remove(temp.c_str());
    set_error("write error on %s", output_path);
    return 0;
  }
  if (!replace_file(temp, output_path)) {
    std::remove(temp.c_str());
    set_error("cannot write %s", output_path);
    return 0;
  }
  return 1;
}

}  // namespace pdfrepair
