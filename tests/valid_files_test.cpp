// Valid files written by common producers (Ghostscript at several compatibility levels, qpdf
// with object streams and linearized, mutool, an incremental update; tests/data/
// make-valid-pdfs.sh made them): each is reported valid with no issues, and its repair keeps
// the page count, opens in qpdf without warnings and stays close to the original's size.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "pdfrepair.h"
#include "support/readers.h"
#include "support/report.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// The committed files, in name order.
std::vector<fs::path> valid_files() {
  std::vector<fs::path> files;
  for (const fs::directory_entry& e : fs::directory_iterator(fs::path(PDFREPAIR_TEST_DATA) / "valid"))
    if (e.path().extension() == ".pdf") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(ValidFiles, TheSetIsThere) {
  // Every producer the generator runs is represented.
  std::vector<std::string> names;
  for (const fs::path& f : valid_files()) names.push_back(f.filename().string());
  for (const char* prefix : {"gs-1.2", "gs-1.7", "qpdf-objstm", "qpdf-linearized", "mutool", "incremental"}) {
    SCOPED_TRACE(prefix);
    EXPECT_TRUE(std::any_of(names.begin(), names.end(), [&](const std::string& n) { return n.starts_with(prefix); }));
  }
}

TEST(ValidFiles, AreReportedValidWithoutIssues) {
  for (const fs::path& f : valid_files()) {
    SCOPED_TRACE(f.filename().string());
    const pdftest::Report r = pdftest::parse(pdfrepair_check(f.string().c_str()));
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.issues, pdftest::Issues{});
    EXPECT_GE(r.pages, 1);
  }
}

TEST(ValidFiles, RepairKeepsPagesOpensCleanlyAndStaysCloseInSize) {
  pdfrepair_init();
  const pdftest::TempDir dir;
  for (const fs::path& f : valid_files()) {
    SCOPED_TRACE(f.filename().string());
    const std::string out = dir.path(f.filename().string());
    ASSERT_EQ(pdfrepair_fix(f.string().c_str(), out.c_str()), 1) << pdfrepair_last_error();
    const pdftest::RunResult qpdf = pdftest::qpdf_check(out);
    EXPECT_EQ(qpdf.status, 0) << qpdf.output;
    EXPECT_EQ(pdftest::pdfinfo_pages(out), pdftest::pdfinfo_pages(f.string()));
    // Objects packed in object streams are written out as plain objects, so such files may
    // grow; nothing else should, and no stream may carry the rest of the file with it.
    const std::string original = pdftest::TempDir::read(f.string());
    const auto before = static_cast<double>(original.size());
    const auto after = static_cast<double>(fs::file_size(out));
    const bool packed = original.find("/ObjStm") != std::string::npos;
    EXPECT_LE(after, before * (packed ? 1.5 : 1.1)) << before << " -> " << after;
    EXPECT_GE(after, before / 3) << before << " -> " << after;
  }
  pdfrepair_cleanup();
}

}  // namespace
