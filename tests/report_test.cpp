// The JSON report: member order, escaping, the fixed failure replies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pdfrepair/report.h"

namespace {

using namespace pdfrepair;

TEST(WriteReport, WritesTheFiveMembersInOrder) {
  char issues[3][issue_size] = {"missing header", "dangling ref 7", R"(say "hi" \ bye)"};
  struct Case {
    const char* name;
    bool valid;
    int issue_count;
    const char* expected;
  } cases[] = {
      {"valid, no issues", true, 0,
       R"({"valid":true,"issues":[],"objects":12,"pages":3,"header":"1.4"})"},
      {"invalid, no issues", false, 0,
       R"({"valid":false,"issues":[],"objects":12,"pages":3,"header":"1.4"})"},
      {"issues in order, quote and backslash escaped", false, 3,
       R"({"valid":false,"issues":["missing header","dangling ref 7","say \"hi\" \\ bye"],"objects":12,"pages":3,"header":"1.4"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_report(c.valid, issues, c.issue_count, 12, 3, "1.4");
    EXPECT_STREQ(g_json, c.expected);
  }
  write_report(true, issues, 0, 0, 0, "");
  EXPECT_EQ(std::strncmp(g_json, R"({"valid":true,"issues":[)", 24), 0);
  EXPECT_EQ(std::string(g_json).substr(24, 2), "],");
}

TEST(WriteReport, NegativeCountsPrintAsSignedDecimals) {
  write_report(false, nullptr, 0, -1, -2147483647 - 1, "");
  EXPECT_STREQ(g_json, R"({"valid":false,"issues":[],"objects":-1,"pages":-2147483648,"header":""})");
}

TEST(WriteFailureReport, MatchesTheFixedReplies) {
  struct Case {
    const char* issue;
    const char* expected;
    size_t length;
  } cases[] = {
      {"input_path is NULL",
       R"({"valid":false,"issues":["input_path is NULL"],"objects":0,"pages":0,"header":""})", 81},
      {"cannot open file",
       R"({"valid":false,"issues":["cannot open file"],"objects":0,"pages":0,"header":""})", 79},
      {"empty file", R"({"valid":false,"issues":["empty file"],"objects":0,"pages":0,"header":""})",
       73},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.issue);
    write_failure_report(c.issue);
    EXPECT_STREQ(g_json, c.expected);
    EXPECT_EQ(std::strlen(g_json), c.length);
  }
}

TEST(WriteReport, ThirtyTwoLongIssuesFit) {
  char issues[max_issues][issue_size];
  for (auto& text : issues) {
    std::memset(text, '"', issue_size - 1);  // every character escaped: the worst case
    text[issue_size - 1] = '\0';
  }
  write_report(false, issues, max_issues, 1, 1, "1.7");
  const std::string json = g_json;
  EXPECT_EQ(json.size(), 25 + max_issues * (2 + 2 * 255) + (max_issues - 1) +
                             std::strlen(R"(],"objects":1,"pages":1,"header":"1.7"})"));
  EXPECT_EQ(json.back(), '}');
}

}  // namespace
