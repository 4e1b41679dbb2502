// Independent PDF readers from the system (qpdf, poppler's pdfinfo), run on files the library
// wrote. The tests that use them fail, not skip, when the tools are missing. A Windows build
// runs under Wine, where they are the Linux programs, started on the file's Unix path.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

namespace pdftest {

struct RunResult {
  int status = -1;
  std::string output;  // standard output and standard error together
};

#ifdef _WIN32
// The Unix path that Wine maps path to, or "" outside Wine.
inline std::string unix_path(const std::string& path) {
  using to_unix = char*(WINAPI*)(LPCWSTR);
  const auto convert = reinterpret_cast<to_unix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  std::wstring wide(MAX_PATH * 4, L'\0');
  const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  char* converted = convert && length > 0 ? convert(wide.c_str()) : nullptr;
  if (!converted) return "";
  const std::string result = converted;
  HeapFree(GetProcessHeap(), 0, converted);
  return result;
}

// Under Wine a Linux program runs outside Windows' process table, so no exit status comes
// back: a shell runs it and writes its output and status to files, waited for here.
inline int run_linux_program(std::vector<std::string> argv, const std::string& output) {
  const std::string status_file = output + ".status";
  const std::string script = R"(out=$1 st=$2; shift 2; "$@" >"$out" 2>&1; echo $? >"$st.new"; mv "$st.new" "$st")";
  argv.insert(argv.begin(), {"/bin/sh", "-c", script, "sh", unix_path(output), unix_path(status_file)});
  const std::string ignored = output + ".shell";
  run_program(argv, ignored, ignored);
  for (int waited_ms = 0; waited_ms < 120000 && !std::filesystem::exists(status_file); waited_ms += 10) Sleep(10);
  const std::string status = TempDir::read(status_file);
  std::error_code ec;
  std::filesystem::remove(status_file, ec);
  std::filesystem::remove(ignored, ec);
  return status.empty() ? -1 : std::stoi(status);
}
#endif

// Runs tool with args, the file at path, then the arguments after it.
inline RunResult run_reader(const char* tool, std::vector<std::string> args, const std::string& path,
                            const std::vector<std::string>& after = {}) {
  const std::string output = (std::filesystem::temp_directory_path() /
                              ("pdfrepair-reader-" + std::to_string(getpid()) + ".txt")).string();
  args.insert(args.begin(), tool);
  RunResult r;
#ifdef _WIN32
  args.push_back(unix_path(path));
  args.insert(args.end(), after.begin(), after.end());
  r.status = run_linux_program(args, output);
#else
  args.push_back(path);
  args.insert(args.end(), after.begin(), after.end());
  r.status = run_program(args, output, output);
#endif
  r.output = TempDir::read(output);
  std::error_code ignored;
  std::filesystem::remove(output, ignored);
  return r;
}

// The outline as mutool shows it, with whatever mutool says of the file.
inline std::string mutool_outline(const std::string& path) {
  return run_reader("mutool", {"show"}, path, {"outline"}).output;
}

// qpdf --check: 0 for a clean file, 3 for warnings only, 2 for errors.
inline RunResult qpdf_check(const std::string& path) { return run_reader("qpdf", {"--check"}, path); }

// The page count pdfinfo reports, or -1 when it cannot open the file.
inline int pdfinfo_pages(const std::string& path) {
  const RunResult r = run_reader("pdfinfo", {}, path);
  const std::size_t at = r.output.find("Pages:");
  if (r.status != 0 || at == std::string::npos) return -1;
  return std::stoi(r.output.substr(at + 6));
}

}  // namespace pdftest
