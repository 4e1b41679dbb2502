// Reading the input whole: every outcome, and no file ever read as a truncated prefix.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "pdfrepair/input.h"

namespace {

using namespace pdfrepair;
namespace fs = std::filesystem;

fs::path write_temp(const char* name, const std::string& bytes) {
  const fs::path path = fs::temp_directory_path() / (std::string("pdfrepair-input-") + name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST(LoadInput, ReadsTheWholeFile) {
  const std::string bytes("%PDF-1.4\n\0\r\n\x80\xff tail", 20);
  const fs::path path = write_temp("whole", bytes);
  input_file in;
  ASSERT_EQ(load_input(path.string().c_str(), in), load_status::ok);
  ASSERT_EQ(in.len, static_cast<int>(bytes.size()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(in.data.get()), in.len), bytes);
  fs::remove(path);
}

TEST(LoadInput, ReportsWhatCannotBeRead) {
  const fs::path empty = write_temp("empty", "");
  input_file in;
  EXPECT_EQ(load_input(empty.string().c_str(), in), load_status::empty);
  EXPECT_EQ(in.len, 0);
  EXPECT_EQ(load_input((empty.string() + "-missing").c_str(), in), load_status::cannot_open);
  fs::remove(empty);
}

TEST(LoadInput, NeverReadsAFileOf2GiBOrMoreAsAPrefix) {
  // Sparse files: sized without writing gigabytes. 4 GiB + 1 would wrap to 1 byte, 2 GiB to
  // a negative count.
  for (std::uintmax_t size : {std::uintmax_t{1} << 31, (std::uintmax_t{1} << 32) + 1}) {
    SCOPED_TRACE(size);
    const fs::path path = write_temp("huge", "");
    std::error_code ec;
    fs::resize_file(path, size, ec);
    if (ec) GTEST_SKIP() << "cannot make a sparse file here: " << ec.message();
    input_file in;
    EXPECT_EQ(load_input(path.string().c_str(), in), load_status::no_size);
    EXPECT_EQ(in.len, -1);
    fs::remove(path);
  }
}

}  // namespace
