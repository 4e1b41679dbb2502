// Independent PDF readers from the system (qpdf, poppler's pdfinfo), run on files the library
// wrote. The tests that use them fail, not skip, when the tools are missing.
#pragma once

#include <array>
#include <cstdio>
#include <string>

namespace pdftest {

struct RunResult {
  int status = -1;
  std::string output;  // standard output and standard error together
};

inline RunResult run(const std::string& command) {
  RunResult r;
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return r;
  std::array<char, 4096> chunk;
  std::size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) r.output.append(chunk.data(), n);
  const int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

inline std::string quoted(const std::string& path) { return "'" + path + "'"; }

// qpdf --check: 0 for a clean file, 3 for warnings only, 2 for errors.
inline RunResult qpdf_check(const std::string& path) { return run("qpdf --check " + quoted(path)); }

// The page count pdfinfo reports, or -1 when it cannot open the file.
inline int pdfinfo_pages(const std::string& path) {
  const RunResult r = run("pdfinfo " + quoted(path));
  const std::size_t at = r.output.find("Pages:");
  if (r.status != 0 || at == std::string::npos) return -1;
  return std::stoi(r.output.substr(at + 6));
}

}  // namespace pdftest
