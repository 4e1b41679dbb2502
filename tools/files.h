// What the tool asks of the file system beside the library: which file a path is, the PDF
// files under a folder, and temporary files for standard input and output. Paths are bytes as
// the library reads them (on Windows, in the ANSI code page).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pdfrepair_cli {

// A file's identity: device and inode, on Windows volume serial number and file index.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  bool operator==(const FileId&) const = default;
  auto operator<=>(const FileId&) const = default;
};

// The file path leads to, symbolic links followed; nullopt when there is none.
std::optional<FileId> file_id(const std::string& path);

// The file standard output writes to; nullopt for a console or a pipe on Windows.
std::optional<FileId> standard_output_id();

// The path of the file path finally leads to, or path itself when it leads to none. A
// replaced output is read back there: a link to the file standard output writes to (such as
// /dev/stdout) still leads to the file that was replaced.
std::string final_path(const std::string& path);

bool is_folder(const std::string& path);
bool is_regular_file(const std::string& path);

// Makes the folders leading to path; a failure shows when the file is written.
void make_parent_folders(const std::string& path);

// A file found under a folder: its path, that path below the folder, and for a folder that
// could not be read, the reason instead.
struct Found {
  std::string path;
  std::string relative;
  std::string error;
};

// Every regular file under folder whose name ends in ".pdf" in any case, depth first, each
// folder's entries in byte order of their names, symbolic links not followed.
std::vector<Found> pdf_files_under(const std::string& folder);

// path + the separator + name, without doubling a separator path ends in.
std::string join(const std::string& path, const std::string& name);

// An empty file of its own in the system's temporary folder, removed with this object, and by
// a signal that ends the process while it exists.
class TempFile {
 public:
  TempFile();
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }  // "" when none could be made

 private:
  std::string path_;
};

// Copies standard input whole to path, or path to standard output; false on a failure.
bool copy_standard_input_to(const std::string& path);
bool copy_to_standard_output(const std::string& path);

}  // namespace pdfrepair_cli
