// The tool's file-system work, with the system's own calls where the C++ library would recode
// Windows names or follow links.
#include "files.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pdfrepair_cli {

namespace {

// The path as the file system reads it, the library's way: ANSI code page on Windows.
std::filesystem::path native_path(const std::string& path) {
#ifdef _WIN32
  std::wstring wide(path.size() + 1, L'\0');
  const int length = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                                         static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return wide;
#else
  return path;
#endif
}

enum class Kind { folder, regular, other };

struct Entry {
  std::string name;
  Kind kind;
};

#ifdef _WIN32

std::optional<FileId> id_of(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// The entries of a folder, a link (a reparse point) being neither folder nor regular file.
std::optional<std::vector<Entry>> entries(const std::string& folder) {
  WIN32_FIND_DATAA data;
  const HANDLE h = FindFirstFileA(join(folder, "*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<Entry> list;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    const DWORD attributes = data.dwFileAttributes;
    list.push_back({name, attributes & FILE_ATTRIBUTE_REPARSE_POINT ? Kind::other
                          : attributes & FILE_ATTRIBUTE_DIRECTORY   ? Kind::folder
                                                                    : Kind::regular});
  } while (FindNextFileA(h, &data));
  FindClose(h);
  return list;
}

#else

std::optional<FileId> id_of(const struct stat& st) {
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<std::vector<Entry>> entries(const std::string& folder) {
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec), end;
  if (ec) return std::nullopt;
  std::vector<Entry> list;
  for (; it != end; it.increment(ec)) {
    const auto type = it->symlink_status(ec).type();
    list.push_back({it->path().filename().native(), type == std::filesystem::file_type::directory ? Kind::folder
                                                    : type == std::filesystem::file_type::regular ? Kind::regular
                                                                                                  : Kind::other});
  }
  if (ec) return std::nullopt;
  return list;
}

#endif

bool ends_in_pdf(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
  return tail == ".pdf";
}

void collect(const std::string& folder, const std::string& relative, std::vector<Found>& found) {
  auto list = entries(folder);
  if (!list) {
    found.push_back({folder, relative, "cannot open " + folder});
    return;
  }
  std::sort(list->begin(), list->end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  for (const Entry& entry : *list) {
    const std::string path = join(folder, entry.name), below = join(relative, entry.name);
    if (entry.kind == Kind::folder)
      collect(path, below, found);
    else if (entry.kind == Kind::regular && ends_in_pdf(entry.name))
      found.push_back({path, below, ""});
  }
}

// The temporary files that exist, for a signal that ends the process to remove.
constexpr int max_temp_files = 4;
const char* volatile temp_paths[max_temp_files];
#ifdef _WIN32
constexpr int ending_signals[] = {SIGINT, SIGTERM};
#else
constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
pid_t temp_owner;  // forked workers leave the files to the process that made them
#endif

extern "C" void remove_temp_files_and_end(int signal) {
#ifdef _WIN32
  for (const char* path : temp_paths)
    if (path) _unlink(path);
#else
  if (getpid() == temp_owner)
    for (const char* path : temp_paths)
      if (path) unlink(path);
#endif
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

bool copy(std::FILE* from, std::FILE* to) {
  char chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, from)) > 0)
    if (std::fwrite(chunk, 1, n, to) != n) return false;
  return !std::ferror(from) && std::fflush(to) == 0;
}

}  // namespace

std::optional<FileId> file_id(const std::string& path) {
#ifdef _WIN32
  const HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const auto id = id_of(h);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return id;
#else
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? id_of(st) : std::nullopt;
#endif
}

std::optional<FileId> standard_output_id() {
#ifdef _WIN32
  return id_of(GetStdHandle(STD_OUTPUT_HANDLE));
#else
  struct stat st;
  return fstat(STDOUT_FILENO, &st) == 0 ? id_of(st) : std::nullopt;
#endif
}

std::string final_path(const std::string& path) {
#ifdef _WIN32
  return path;
#else
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string found = resolved;
  std::free(resolved);
  return found;
#endif
}

bool is_folder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(native_path(path), ec);
}

bool is_regular_file(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(native_path(path), ec);
}

void make_parent_folders(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path parent = native_path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
}

std::vector<Found> pdf_files_under(const std::string& folder) {
  std::vector<Found> found;
  collect(folder, "", found);
  return found;
}

std::string join(const std::string& path, const std::string& name) {
#ifdef _WIN32
  const bool ends_in_separator = !path.empty() && std::string_view("/\\:").find(path.back()) != std::string_view::npos;
  const char separator = '\\';
#else
  const bool ends_in_separator = !path.empty() && path.back() == '/';
  const char separator = '/';
#endif
  if (path.empty() || ends_in_separator) return path + name;
  return path + separator + name;
}

TempFile::TempFile() {
#ifdef _WIN32
  char folder[MAX_PATH + 1], name[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH || !GetTempFileNameA(folder, "pdr", 0, name)) return;
  path_ = name;
#else
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
  if (ec) return;
  std::string pattern = join(folder.native(), "pdfrepair-XXXXXX");
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return;
  close(fd);
  path_ = pattern;
  temp_owner = getpid();
#endif
  for (const char* volatile& slot : temp_paths) {
    if (slot) continue;
    slot = path_.c_str();
    break;
  }
  for (const int signal : ending_signals) std::signal(signal, remove_temp_files_and_end);
}

TempFile::~TempFile() {
  if (path_.empty()) return;
  for (const char* volatile& slot : temp_paths)
    if (slot == path_.c_str()) slot = nullptr;
  std::remove(path_.c_str());
}

bool copy_standard_input_to(const std::string& path) {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::FILE* to = std::fopen(path.c_str(), "wb");
  if (!to) return false;
  const bool copied = copy(stdin, to);
  return std::fclose(to) == 0 && copied;
}

bool copy_to_standard_output(const std::string& path) {
  std::FILE* from = std::fopen(path.c_str(), "rb");
  if (!from) return false;
  const bool copied = copy(from, stdout);
  std::fclose(from);
  return copied;
}

}  // namespace pdfrepair_cli
