// The C interface: the gate, the last-error text and its lifecycle, the fixed answers to
// null arguments.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "pdfrepair.h"
#include "pdfrepair/interface.h"

namespace {

namespace fs = std::filesystem;

class Interface : public ::testing::Test {
 protected:
  void SetUp() override { pdfrepair_cleanup(); }
  void TearDown() override { pdfrepair_cleanup(); }

  static fs::path temp_path(const char* name) {
    return fs::temp_directory_path() /
           (std::string("pdfrepair-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" + name);
  }
};

TEST(InterfaceFreshProcess, LastErrorStartsEmpty) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // re-executes the binary: untouched statics
  EXPECT_EXIT(std::exit(std::strcmp(pdfrepair_last_error(), "") == 0 ? 0 : 1),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(Interface, RepairRefusedWhileGateClosed) {
  const fs::path out = temp_path("out.pdf");
  fs::remove(out);
  struct Case {
    const char* name;
    void (*open_then_close)();
  } cases[] = {
      {"never opened", [] {}},
      {"opened twice, closed once", [] { pdfrepair_init(); pdfrepair_init(); pdfrepair_cleanup(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.open_then_close();
    EXPECT_EQ(pdfrepair_fix("in.pdf", out.string().c_str()), 0);
    EXPECT_STREQ(pdfrepair_last_error(), "call pdfrepair_init first");
    EXPECT_EQ(pdfrepair_rebuild_xref("in.pdf", out.string().c_str()), 0);
    EXPECT_STREQ(pdfrepair_last_error(), "call pdfrepair_init first");
    EXPECT_FALSE(fs::exists(out));
  }
}

TEST_F(Interface, InitAndCleanupEmptyTheLastError) {
  pdfrepair::set_error("an earlier failure");
  EXPECT_EQ(pdfrepair_init(), 1);
  EXPECT_STREQ(pdfrepair_last_error(), "");
  pdfrepair::set_error("an earlier failure");
  pdfrepair_cleanup();
  EXPECT_STREQ(pdfrepair_last_error(), "");
}

TEST_F(Interface, LastErrorIsOneStableBuffer) {
  const char* first = pdfrepair_last_error();
  pdfrepair::set_error("x");
  EXPECT_EQ(pdfrepair_last_error(), first);
  EXPECT_NE(first, nullptr);
}

TEST_F(Interface, NullPathsWithGateOpen) {
  pdfrepair_init();
  for (auto fix : {pdfrepair_fix, pdfrepair_rebuild_xref}) {
    pdfrepair::set_error("an older message");
    EXPECT_EQ(fix(nullptr, "out.pdf"), 0);
    EXPECT_STREQ(pdfrepair_last_error(), "NULL path argument");
    EXPECT_EQ(fix("in.pdf", nullptr), 0);
    EXPECT_STREQ(pdfrepair_last_error(), "NULL path argument");
  }
}

TEST_F(Interface, SetErrorCutsAt1023Characters) {
  const std::string long_path(2000, 'p');
  pdfrepair::set_error("cannot open %s", long_path.c_str());
  const std::string stored = pdfrepair_last_error();
  ASSERT_EQ(stored.size(), 1023u);
  EXPECT_EQ(stored, ("cannot open " + long_path).substr(0, 1023));

  pdfrepair::set_error("obj %ld missing", 7L);
  EXPECT_STREQ(pdfrepair_last_error(), "obj 7 missing");  // overwritten, no history
}

TEST_F(Interface, CheckIgnoresTheGate) {
  pdfrepair_fix("in.pdf", "out.pdf");  // refused: leaves the gate message
  const char* report = pdfrepair_check(nullptr);
  EXPECT_STREQ(report,
               R"({"valid":false,"issues":["input_path is NULL"],"objects":0,"pages":0,"header":""})");
  EXPECT_EQ(std::strlen(report), 81u);
  EXPECT_STREQ(pdfrepair_last_error(), "input_path is NULL");
}

}  // namespace
