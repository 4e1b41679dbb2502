// Replays every input kept in fuzz/regressions/<entry point>/ through the entry point the
// fuzzers drive (fuzz/entry_points.h), without libFuzzer: an input that once crashed, hung,
// leaked or broke a promise keeps being tested by the ordinary suite, under the sanitizers too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "../fuzz/entry_points.h"

namespace {

using Entry = std::string (*)(const std::uint8_t*, std::size_t);

struct EntryPoint {
  const char* folder;
  Entry run;
};

const EntryPoint entry_points[] = {
    {"check_file", pdfrepair_fuzz::check_file},
    {"fix_file", pdfrepair_fuzz::fix_file},
    {"inflate_buffer", pdfrepair_fuzz::inflate_buffer},
    {"dictionary_text", pdfrepair_fuzz::dictionary_text},
    {"discovery", pdfrepair_fuzz::discovery},
};

struct Regression {
  std::string folder;
  std::filesystem::path file;
};

// Test listings name the input's file rather than dumping the record's bytes.
void PrintTo(const Regression& r, std::ostream* os) { *os << r.file.string(); }

// Every kept input, in a fixed order so that test names stay stable.
std::vector<Regression> regressions() {
  std::vector<Regression> all;
  for (const EntryPoint& entry : entry_points) {
    const std::filesystem::path folder = std::filesystem::path(PDFREPAIR_FUZZ_REGRESSIONS) / entry.folder;
    std::error_code ignored;
    for (const auto& item : std::filesystem::directory_iterator(folder, ignored))
      if (item.is_regular_file()) all.push_back({entry.folder, item.path()});
  }
  std::sort(all.begin(), all.end(),
            [](const Regression& a, const Regression& b) { return a.file < b.file; });
  return all;
}

std::string test_name(const testing::TestParamInfo<Regression>& info) {
  std::string name = info.param.folder + "_" + info.param.file.filename().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

Entry entry_for(const std::string& folder) {
  for (const EntryPoint& entry : entry_points)
    if (folder == entry.folder) return entry.run;
  return nullptr;
}

class FuzzRegression : public testing::TestWithParam<Regression> {};

TEST_P(FuzzRegression, KeepsEveryPromise) {
  std::ifstream in(GetParam().file, std::ios::binary);
  ASSERT_TRUE(in) << GetParam().file;
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const Entry run = entry_for(GetParam().folder);
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "");
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzRegression, testing::ValuesIn(regressions()), test_name);

// An empty folder would make the replay pass without testing anything.
TEST(FuzzRegressions, EveryEntryPointHasInputs) {
  const std::vector<Regression> all = regressions();
  for (const EntryPoint& entry : entry_points)
    EXPECT_TRUE(std::any_of(all.begin(), all.end(),
                            [&](const Regression& r) { return r.folder == entry.folder; }))
        << "fuzz/regressions/" << entry.folder << " holds no input";
}

}  // namespace
