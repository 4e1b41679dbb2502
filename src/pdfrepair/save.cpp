// Saving through a temporary file and a rename, with the C runtime's own calls on both
// platforms, so that the temporary file and the rename see the same bytes of the path.
#include "pdfrepair/save.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#  include <io.h>
#  include <process.h>
#  include <windows.h>
#else
#  include <unistd.h>
#endif

#include "pdfrepair/interface.h"

namespace pdfrepair {
namespace {

enum class target_kind {
  absent,   // nothing there yet: a new file is made
  regular,  // a file, replaced by a rename
  device,   // a device or a pipe, written directly
  refused,  // a folder, or a link that leads nowhere
};

struct target {
  target_kind kind = target_kind::refused;
  std::string path;  // what is replaced or written: the file a symbolic link leads to
  int mode = -1;     // the permission bits a replaced file keeps; -1 when there are none to keep
};

#ifdef _WIN32

// The path of the file a link leads to, from the handle the system opened through it.
std::string final_path(HANDLE h) {
  const DWORD size = GetFinalPathNameByHandleA(h, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (size == 0) return {};
  std::string path(size, '\0');
  const DWORD length = GetFinalPathNameByHandleA(h, path.data(), size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  path.resize(length < size ? length : 0);
  return path;
}

target inspect(const char* path) {
  const HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    if (missing && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return {target_kind::absent, path};
    return {};
  }
  target t;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    t = {target_kind::device, path};
  } else if (GetFileInformationByHandle(h, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    const bool link = (GetFileAttributesA(path) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    t = {target_kind::regular, link ? final_path(h) : std::string(path)};
    if (t.path.empty()) t.kind = target_kind::refused;
  }
  CloseHandle(h);
  return t;
}

#else

target inspect(const char* path) {
  struct stat st, own;
  const bool is_link = lstat(path, &own) == 0 && S_ISLNK(own.st_mode);
  if (stat(path, &st) != 0) return is_link ? target{} : target{target_kind::absent, path};
  if (S_ISDIR(st.st_mode)) return {};
  if (!S_ISREG(st.st_mode)) return {target_kind::device, path};
  target t{target_kind::regular, path, static_cast<int>(st.st_mode & 07777)};
  if (is_link) {
    char* resolved = realpath(path, nullptr);
    if (!resolved) return {};
    t.path = resolved;
    std::free(resolved);
  }
  return t;
}

#endif

// Opens path for writing in binary mode: a file that did not exist before when create is set,
// else what is there, never truncated. Null when that fails.
std::FILE* open_output(const std::string& path, bool create) {
#ifdef _WIN32
  const int fd = create ? _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE)
                        : _open(path.c_str(), _O_WRONLY | _O_BINARY);
  if (fd < 0) return nullptr;
  std::FILE* f = _fdopen(fd, "wb");
  if (!f) _close(fd);
#else
  const int fd = create ? open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)
                        : open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "wb");
  if (!f) close(fd);
#endif
  return f;
}

// Puts from in the place of to, replacing a file that is there.
bool replace_file(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

constexpr std::size_t piece = std::size_t{1} << 20;

// Writes in pieces of 1 MiB: on Linux one write of a whole buffer of tens of megabytes, which
// the kernel copies into the page cache in one go, took up to a tenth of a second longer and
// varied from run to run. True when every byte was written.
bool write_all(const byte* data, std::size_t len, std::FILE* f) {
  bool written = true;
  for (std::size_t done = 0; done < len && written;) {
    const std::size_t n = std::min(piece, len - done);
    written = std::fwrite(data + done, 1, n, f) == n;
    done += n;
  }
  return written;
}

// Closes f; true when every byte was written and the close succeeded.
bool write_and_close(const byte* data, std::size_t len, std::FILE* f) {
  const bool written = write_all(data, len, f);
  return std::fclose(f) == 0 && written;
}

// The folder part of path, its separator included; "" for a name alone.
std::string folder_of(const std::string& path) {
#ifdef _WIN32
  const std::size_t end = path.find_last_of("/\\:");
#else
  const std::size_t end = path.rfind('/');
#endif
  return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

// A new file with a short name of its own beside the target (the output's name plus a suffix
// could pass the file system's limit on names), given the target's permission bits; null when
// none can be made.
std::FILE* create_beside(const target& t, std::string& temp) {
#ifdef _WIN32
  const int pid = _getpid();
#else
  const int pid = static_cast<int>(getpid());
#endif
  const std::string folder = folder_of(t.path);
  std::FILE* f = nullptr;
  for (int attempt = 0; attempt < 100 && !f; ++attempt) {
    temp = folder + ".pdfrepair-" + std::to_string(pid) + "-" + std::to_string(attempt) + ".tmp";
    f = open_output(temp, true);
  }
#ifndef _WIN32
  // Before any byte is in it; a file system without permission bits refuses, and loses nothing.
  if (f && t.mode >= 0) fchmod(fileno(f), static_cast<mode_t>(t.mode));
#endif
  return f;
}

// Closes the new file and renames it over the target once every byte is in it (`written`);
// the new file is removed on failure.
int rename_into_place(std::FILE* f, bool written, const std::string& temp, const std::string& path,
                      const char* output_path) {
  if (std::fclose(f) != 0 || !written) {
    std::remove(temp.c_str());
    set_error("write error on %s", output_path);
    return 0;
  }
  if (!replace_file(temp, path)) {
    std::remove(temp.c_str());
    set_error("cannot write %s", output_path);
    return 0;
  }
  return 1;
}

// The replacement written beside the file, and renamed into place once complete.
int write_beside(const byte* data, std::size_t len, const target& t, const char* output_path) {
  std::string temp;
  std::FILE* f = create_beside(t, temp);
  if (!f) {
    set_error("cannot write %s", output_path);
    return 0;
  }
  return rename_into_place(f, write_all(data, len, f), temp, t.path, output_path);
}

}  // namespace

int save_output(const byte* data, std::size_t len, const char* output_path) {
  const target t = inspect(output_path);
  switch (t.kind) {
    case target_kind::absent:
    case target_kind::regular:
      return write_beside(data, len, t, output_path);
    case target_kind::device:
      if (std::FILE* f = open_output(t.path, false)) {
        if (write_and_close(data, len, f)) return 1;
        set_error("write error on %s", output_path);
        return 0;
      }
      break;
    case target_kind::refused:
      break;
  }
  set_error("cannot write %s", output_path);
  return 0;
}

output_file::output_file(const char* output_path) : output_path_(output_path) {
  const target t = inspect(output_path);
  if (t.kind != target_kind::absent && t.kind != target_kind::regular) return;
  target_ = t.path;  // before the file exists, so that nothing after it can fail
  file_ = create_beside(t, temp_);
  if (!file_) return;
  // Pieces from 1 MiB on go to the file directly, smaller ones gather in the buffer first.
  std::setvbuf(file_, nullptr, _IOFBF, piece);
}

output_file::~output_file() {
  if (!file_) return;
  std::fclose(file_);
  std::remove(temp_.c_str());
}

void output_file::put(const void* bytes, std::size_t n) {
  if (!file_) {
    memory_.put(bytes, n);
    return;
  }
  written_ += n;
  if (!write_failed_ && n > 0) write_failed_ = std::fwrite(bytes, 1, n, file_) != n;
}

std::uint64_t output_file::size() const { return file_ ? written_ : memory_.size(); }

bool output_file::out_of_memory() const { return !file_ && memory_.out_of_memory(); }

int output_file::finish() {
  if (!file_) return save_output(memory_.data, static_cast<std::size_t>(memory_.len), output_path_);
  std::FILE* f = file_;
  file_ = nullptr;
  return rename_into_place(f, !write_failed_, temp_, target_, output_path_);
}

}  // namespace pdfrepair
