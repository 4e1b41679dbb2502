// What differs on Windows, through the DLL as shipped and the tool beside it: how paths are
// spelt, file names outside ASCII (the DLL hands the bytes to the C runtime, which reads them
// in the ANSI code page), binary file I/O, replacing an output that exists, the last-error
// texts, and the tool's batch names.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pdfrepair.h"
#include "support/pdf_builder.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using pdftest::TempDir;

constexpr const char* valid_prefix = "{\"valid\":true,";

// One page whose content stream holds every byte a text-mode stream would translate: CR LF,
// a lone LF, a lone CR and Ctrl-Z, which ends a text-mode read.
const std::string page_content = "BT (a) Tj ET\r\n%\n%\r%\x1a\x1a\r\nBT (b) Tj ET";

std::string pdf(const char* length = nullptr) {
  pdftest::StreamOptions options;
  if (length) options.length = length;
  return pdftest::PdfBuilder()
      .object(1, "<</Type/Catalog/Pages 2 0 R>>")
      .object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
      .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>")
      .stream(4, "", page_content, options)
      .root(1)
      .build()
      .bytes;
}

std::string damaged_pdf() { return pdf("999"); }

std::string forward_slashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// The ANSI code page's bytes for a name, "" when it has no exact spelling there.
std::string ansi(const std::wstring& name) {
  BOOL lossy = FALSE;
  std::string bytes(name.size() * 4, '\0');
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), static_cast<int>(name.size()),
                                    bytes.data(), static_cast<int>(bytes.size()), nullptr, &lossy);
  bytes.resize(n > 0 ? n : 0);
  return lossy ? "" : bytes;
}

std::string utf8(const std::wstring& name) {
  std::string bytes(name.size() * 4, '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, name.c_str(), static_cast<int>(name.size()), bytes.data(),
                                    static_cast<int>(bytes.size()), nullptr, nullptr);
  bytes.resize(n > 0 ? n : 0);
  return bytes;
}

// Files left beside the outputs: a failed or finished repair must leave no temporary file.
std::vector<std::string> leftovers(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(dir.path(""))))
    if (entry.path().extension() == ".tmp") names.push_back(entry.path().filename().string());
  return names;
}

class Windows : public ::testing::Test {
 protected:
  void SetUp() override { pdfrepair_init(); }
  void TearDown() override { pdfrepair_cleanup(); }
  TempDir dir;
};

TEST_F(Windows, PathSpellings) {
  fs::create_directories(dir.path("sub"));
  const std::string in = dir.write("sub\\in.pdf", damaged_pdf());
  const std::string root_relative = in.substr(2);  // "\users\...": the current drive's root
  ASSERT_EQ(in[1], ':');
  const struct {
    const char* name;
    std::string in, out;
  } cases[] = {
      {"drive letter and backslashes", in, dir.path("sub\\out1.pdf")},
      {"forward slashes", forward_slashes(in), forward_slashes(dir.path("sub\\out2.pdf"))},
      {"relative with backslashes", "sub\\in.pdf", "sub\\out3.pdf"},
      {"relative to the drive's root", root_relative, dir.path("out4.pdf").substr(2)},
      {"extended-length prefix", "\\\\?\\" + in, "\\\\?\\" + dir.path("out5.pdf")},
  };
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(dir.path("").c_str()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(pdfrepair_check(c.in.c_str()),
                 R"({"valid":false,"issues":["wrong /Length at obj 4"],"objects":4,"pages":1,"header":"1.4"})");
    EXPECT_EQ(pdfrepair_fix(c.in.c_str(), c.out.c_str()), 1) << pdfrepair_last_error();
    EXPECT_EQ(std::string(pdfrepair_check(c.out.c_str())).rfind(valid_prefix, 0), 0u);
  }
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(leftovers(dir), std::vector<std::string>{});
}

TEST_F(Windows, FileNamesAreBytesInTheAnsiCodePage) {
  const std::wstring accented = L"r\u00e9sum\u00e9.pdf", chinese = L"\u6587\u4ef6.pdf";
  const fs::path folder(dir.path(""));
  std::ofstream(folder / accented, std::ios::binary) << pdf();
  std::ofstream(folder / chinese, std::ios::binary) << pdf();
  const std::string in_ansi = ansi(accented);
  ASSERT_NE(in_ansi, "") << "the ANSI code page " << GetACP() << " has no e with acute";

  EXPECT_EQ(std::string(pdfrepair_check(dir.path(in_ansi).c_str())).rfind(valid_prefix, 0), 0u);
  if (GetACP() != CP_UTF8) {
    // UTF-8 bytes name another file, and a name outside the code page cannot be reached at all.
    const std::string utf8_path = dir.path(utf8(accented));
    EXPECT_STREQ(pdfrepair_check(utf8_path.c_str()),
                 R"({"valid":false,"issues":["cannot open file"],"objects":0,"pages":0,"header":""})");
    EXPECT_EQ(pdfrepair_last_error(), "cannot open " + utf8_path);
    EXPECT_EQ(ansi(chinese), "");
  }
  EXPECT_EQ(pdfrepair_fix(dir.path(in_ansi).c_str(), dir.path("fixed.pdf").c_str()), 1) << pdfrepair_last_error();
}

TEST_F(Windows, RepairsToOutputNamesOutsideAscii) {
  const std::wstring accented = L"r\u00e9sum\u00e9.pdf";
  const std::string name = ansi(accented);
  ASSERT_NE(name, "") << "the ANSI code page " << GetACP() << " has no e with acute";
  const std::string in = dir.write("in.pdf", damaged_pdf());
  EXPECT_EQ(pdfrepair_fix(in.c_str(), dir.path(name).c_str()), 1) << pdfrepair_last_error();
  EXPECT_TRUE(fs::exists(fs::path(dir.path("")) / accented));
  const std::vector<std::string> command = {PDFREPAIR_CLI, "fix", "-o", dir.path("out"), dir.write(name, pdf())};
  EXPECT_EQ(pdftest::run_program(command, dir.path("tool.out"), dir.path("tool.err")), 0);
  EXPECT_TRUE(fs::exists(fs::path(dir.path("out")) / accented));
  EXPECT_EQ(leftovers(dir), std::vector<std::string>{});
}

TEST_F(Windows, FilesAreReadAndWrittenAsBinary) {
  const struct {
    const char* name;
    std::string bytes;
    bool valid;
  } cases[] = {
      {"valid: every /Length matches the bytes on disk", pdf(), true},
      {"damaged: the stream is measured to its endstream", damaged_pdf(), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string in = dir.write("in.pdf", c.bytes), out = dir.path("out.pdf");
    EXPECT_EQ(std::string(pdfrepair_check(in.c_str())).rfind(valid_prefix, 0) == 0, c.valid);
    ASSERT_EQ(pdfrepair_fix(in.c_str(), out.c_str()), 1) << pdfrepair_last_error();
    const std::string written = TempDir::read(out);
    EXPECT_NE(written.find("stream\n" + page_content + "\nendstream"), std::string::npos) << written;
    EXPECT_EQ(written.find("\r\r\n"), std::string::npos) << "a line end was translated";
    EXPECT_EQ(std::string(pdfrepair_check(out.c_str())).rfind(valid_prefix, 0), 0u);
  }
}

TEST_F(Windows, ReplacesAnExistingOutput) {
  const std::string in = dir.write("in.pdf", damaged_pdf());
  const struct {
    const char* name;
    std::string out;
  } cases[] = {
      {"another file", dir.write("old.pdf", "old contents")},
      {"the input itself", in},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(pdfrepair_fix(in.c_str(), c.out.c_str()), 1) << pdfrepair_last_error();
    EXPECT_EQ(std::string(pdfrepair_check(c.out.c_str())).rfind(valid_prefix, 0), 0u);
  }
  EXPECT_EQ(leftovers(dir), std::vector<std::string>{});
}

TEST_F(Windows, OutputHeldOpenWithoutSharingIsLeftAsItWas) {
  const std::string in = dir.write("in.pdf", damaged_pdf());
  const std::string out = dir.write("held.pdf", "old contents");
  HANDLE held = CreateFileA(out.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(pdfrepair_fix(in.c_str(), out.c_str()), 0);
  EXPECT_EQ(pdfrepair_last_error(), "cannot write " + out);
  CloseHandle(held);
  EXPECT_EQ(TempDir::read(out), "old contents");
  EXPECT_EQ(leftovers(dir), std::vector<std::string>{});
}

TEST_F(Windows, LastErrorTextsKeepThePathsBytesAsGiven) {
  const std::string in = dir.write("in.pdf", damaged_pdf());
  const std::string text = dir.write("text.pdf", "just words\r\n");
  fs::create_directories(dir.path("folder"));
  const struct {
    const char* name;
    std::string in, out, error;
  } cases[] = {
      {"missing input, backslashes", dir.path("missing.pdf"), dir.path("out.pdf"),
       "cannot open " + dir.path("missing.pdf")},
      {"missing input, forward slashes", forward_slashes(dir.path("missing.pdf")), dir.path("out.pdf"),
       "cannot open " + forward_slashes(dir.path("missing.pdf"))},
      {"output in a missing folder", in, dir.path("none\\out.pdf"), "cannot write " + dir.path("none\\out.pdf")},
      {"output is a folder", in, dir.path("folder"), "cannot write " + dir.path("folder")},
      {"output on a drive that does not exist", in, "\\\\.\\no-such-device\\out.pdf",
       "cannot write \\\\.\\no-such-device\\out.pdf"},
      {"not a PDF: the text is UTF-8", text, dir.path("out.pdf"), "no PDF objects found \xE2\x80\x94 not a PDF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(pdfrepair_fix(c.in.c_str(), c.out.c_str()), 0);
    EXPECT_EQ(pdfrepair_last_error(), c.error);
  }
  EXPECT_FALSE(fs::exists(dir.path("out.pdf")));
}

// The tool names a batch's outputs after the last component of each input, whichever
// separator it follows, and runs the batch serially whatever -j says.
TEST_F(Windows, ToolBatchNamesAndJobs) {
  fs::create_directories(dir.path("a\\b"));
  const std::vector<std::string> inputs = {
      dir.write("a\\one.pdf", damaged_pdf()),
      forward_slashes(dir.write("a\\b\\two.pdf", damaged_pdf())),
  };
  for (const char* jobs : {"1", "4"}) {
    SCOPED_TRACE(jobs);
    const std::string out_dir = dir.path(std::string("out") + jobs);
    std::vector<std::string> command = {PDFREPAIR_CLI, "fix", "-j", jobs, "-o", out_dir};
    command.insert(command.end(), inputs.begin(), inputs.end());
    EXPECT_EQ(pdftest::run_program(command, dir.path("tool.out"), dir.path("tool.err")), 0)
        << TempDir::read(dir.path("tool.err"));
    for (const char* name : {"\\one.pdf", "\\two.pdf"})
      EXPECT_EQ(std::string(pdfrepair_check((out_dir + name).c_str())).rfind(valid_prefix, 0), 0u) << name;
  }
}

}  // namespace
