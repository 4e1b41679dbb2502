// Reading the input whole: every outcome, no file ever read as a truncated prefix, and what
// the two services answer for a folder.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "pdfrepair.h"
#include "pdfrepair/input.h"
#include "support/temp_dir.h"

namespace {

using namespace pdfrepair;

TEST(LoadInput, ReadsTheWholeFile) {
  pdftest::TempDir dir;
  const std::string bytes("%PDF-1.4\n\0\r\n\x80\xff tail", 20);
  input_file in;
  ASSERT_EQ(load_input(dir.write("whole.pdf", bytes).c_str(), in), load_status::ok);
  ASSERT_EQ(in.len, static_cast<int>(bytes.size()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(in.data.get()), in.len), bytes);
}

TEST(LoadInput, ReportsWhatCannotBeRead) {
  pdftest::TempDir dir;
  input_file in;
  EXPECT_EQ(load_input(dir.write("empty.pdf", "").c_str(), in), load_status::empty);
  EXPECT_EQ(in.len, 0);
  EXPECT_EQ(load_input(dir.path("missing.pdf").c_str(), in), load_status::cannot_open);
  std::filesystem::create_directories(dir.path("folder"));
  EXPECT_EQ(load_input(dir.path("folder").c_str(), in), load_status::cannot_open);
}

TEST(LoadInput, NeverReadsAFileOf2GiBOrMoreAsAPrefix) {
  // Sparse files: sized without writing gigabytes. 4 GiB + 1 would wrap to 1 byte, 2 GiB to
  // a negative count.
  pdftest::TempDir dir;
  for (std::uintmax_t size : {std::uintmax_t{1} << 31, (std::uintmax_t{1} << 32) + 1}) {
    SCOPED_TRACE(size);
    const std::string path = dir.write("huge.pdf", "%PDF-1.4\n");
    std::error_code ec;
    std::filesystem::resize_file(path, size, ec);
    if (ec) GTEST_SKIP() << "cannot make a sparse file here: " << ec.message();
    input_file in;
    EXPECT_EQ(load_input(path.c_str(), in), load_status::too_large);
    EXPECT_EQ(in.len, -1);
  }
}

// A folder is a file that cannot be opened, for both services.
TEST(LoadInput, AFolderCannotBeOpened) {
  pdftest::TempDir dir;
  const std::string folder = dir.path("folder");
  std::filesystem::create_directories(folder);
  EXPECT_STREQ(pdfrepair_check(folder.c_str()),
               R"({"valid":false,"issues":["cannot open file"],"objects":0,"pages":0,"header":""})");
  EXPECT_EQ(pdfrepair_last_error(), "cannot open " + folder);
  pdfrepair_init();
  EXPECT_EQ(pdfrepair_fix(folder.c_str(), dir.path("out.pdf").c_str()), 0);
  EXPECT_EQ(pdfrepair_last_error(), "cannot open " + folder);
  pdfrepair_cleanup();
  EXPECT_FALSE(std::filesystem::exists(dir.path("out.pdf")));
}

}  // namespace
