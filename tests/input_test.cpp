// Reading the input whole: every outcome, and no file ever read as a truncated prefix.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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
    EXPECT_EQ(load_input(path.c_str(), in), load_status::no_size);
    EXPECT_EQ(in.len, -1);
  }
}

}  // namespace
