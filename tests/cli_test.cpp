// The pdfrepair command-line tool, run as a process: its exit statuses, the JSON lines of
// check, the names of a batch's outputs, the failure texts on standard error, and -j giving
// exactly what a serial run gives.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/pdf_builder.h"
#include "support/process.h"
#include "support/report.h"
#include "support/temp_dir.h"

namespace {

using pdftest::PdfBuilder;
using pdftest::TempDir;
using Args = std::vector<std::string>;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the tool with standard output and error in files, so neither is a terminal.
ToolRun run_tool(const TempDir& dir, const Args& args) {
  Args command{PDFREPAIR_CLI};
  command.insert(command.end(), args.begin(), args.end());
  const std::string out = dir.path("tool.out"), err = dir.path("tool.err");
  ToolRun run;
  run.status = pdftest::run_program(command, out, err);
  run.out = TempDir::read(out);
  run.err = TempDir::read(err);
  return run;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// Catalog, page tree, one page with its content stream.
std::string valid_pdf() {
  return PdfBuilder()
      .object(1, "<</Type/Catalog/Pages 2 0 R>>")
      .object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
      .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>")
      .stream(4, "", "BT /F1 12 Tf (Hi) Tj ET")
      .root(1)
      .build()
      .bytes;
}

// The same document with a /Length that overshoots its stream: invalid, and repairable.
std::string damaged_pdf() {
  return PdfBuilder()
      .object(1, "<</Type/Catalog/Pages 2 0 R>>")
      .object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
      .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>")
      .stream(4, "", "BT /F1 12 Tf (Hi) Tj ET", {.length = "99"})
      .root(1)
      .build()
      .bytes;
}

const std::string not_pdf = "just some words\n";

// A check line: the member "file" first, then exactly the report's five members in order.
struct Line {
  std::string file;
  pdftest::Report report;
};

Line parse_line(const std::string& text) {
  auto json = nlohmann::ordered_json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object() || json.empty() || json.begin().key() != "file") {
    ADD_FAILURE() << "not a check line: " << text;
    return {};
  }
  Line line{json["file"].get<std::string>(), {}};
  json.erase("file");
  line.report = pdftest::parse(json.dump());
  return line;
}

class Cli : public ::testing::Test {
 protected:
  ToolRun run(const Args& args) { return run_tool(dir, args); }
  TempDir dir;
};

TEST_F(Cli, ExitStatuses) {
  const std::string valid = dir.write("valid.pdf", valid_pdf());
  const std::string damaged = dir.write("damaged.pdf", damaged_pdf());
  const std::string empty = dir.write("empty.pdf", "");
  const std::string text = dir.write("text.pdf", not_pdf);
  const std::string missing = dir.path("missing.pdf");
  const std::string out = dir.path("out.pdf");
  const std::string out_dir = dir.path("repaired");
  const struct {
    const char* name;
    Args args;
    int status;
  } cases[] = {
      {"check of a valid file", {"check", valid}, 0},
      {"check of a damaged file", {"check", valid, damaged}, 1},
      {"check of an empty file counts as invalid", {"check", empty}, 1},
      {"check of a file that cannot be opened", {"check", missing}, 2},
      {"cannot-open outranks invalid", {"check", damaged, missing, valid}, 2},
      {"fix that succeeds", {"fix", damaged, out}, 0},
      {"fix of a file without objects", {"fix", text, out}, 1},
      {"batch fix that succeeds", {"fix", "--output-dir", out_dir, valid, damaged}, 0},
      {"batch fix with one failure", {"fix", "-o", out_dir, valid, missing, damaged}, 1},
      {"help", {"--help"}, 0},
      {"version", {"--version"}, 0},
      {"no command", {}, 2},
      {"unknown command", {"mend", valid}, 2},
      {"unknown option", {"check", "--fast", valid}, 2},
      {"output folder for check", {"check", "-o", out_dir, valid}, 2},
      {"check without files", {"check"}, 2},
      {"fix with one path", {"fix", damaged}, 2},
      {"fix with three paths", {"fix", damaged, valid, out}, 2},
      {"-j without a number", {"check", valid, "-j"}, 2},
      {"-j 0", {"check", "-j", "0", valid}, 2},
      {"-j not a number", {"check", "-jx", valid}, 2},
      {"batch outputs that would collide", {"fix", "-o", out_dir, valid, dir.path("./valid.pdf")}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRun r = run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
  }
}

TEST_F(Cli, UsageErrorsPrintTheUsageOnStandardError) {
  for (const Args& args : {Args{}, Args{"check", "--fast", "a.pdf"}, Args{"fix", "a.pdf"}}) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: pdfrepair check"), std::string::npos) << r.err;
  }
}

TEST_F(Cli, HelpShowsExamplesAndTheWindowsLimit) {
  const ToolRun r = run({"--help"});
  EXPECT_NE(r.out.find("Examples:"), std::string::npos);
  EXPECT_NE(r.out.find("pdfrepair fix -j 4 --output-dir"), std::string::npos);
  EXPECT_NE(r.out.find("On Windows batches always run serially"), std::string::npos);
  EXPECT_EQ(run({"--version"}).out, std::string("pdfrepair ") + PDFREPAIR_VERSION + "\n");
}

TEST_F(Cli, CheckPrintsOneReportLinePerFileInArgumentOrder) {
  const std::string damaged = dir.write("damaged.pdf", damaged_pdf());
  const std::string valid = dir.write("valid.pdf", valid_pdf());
  const std::string empty = dir.write("empty.pdf", "");
  const ToolRun r = run({"check", damaged, valid, empty});
  const auto printed = lines(r.out);
  ASSERT_EQ(printed.size(), 3u) << r.out;
  const Line first = parse_line(printed[0]), second = parse_line(printed[1]), third = parse_line(printed[2]);
  EXPECT_EQ(first.file, damaged);
  EXPECT_FALSE(first.report.valid);
  EXPECT_EQ(first.report.issues, pdftest::Issues{"wrong /Length at obj 4"});
  EXPECT_EQ(second.file, valid);
  EXPECT_TRUE(second.report.valid);
  EXPECT_EQ(second.report.objects, 4);
  EXPECT_EQ(second.report.pages, 1);
  EXPECT_EQ(second.report.header, "1.4");
  EXPECT_EQ(third.file, empty);
  EXPECT_EQ(third.report.issues, pdftest::Issues{"empty file"});
  EXPECT_EQ(r.err, "");
}

TEST_F(Cli, FileThatCannotBeOpenedGetsAnErrorLine) {
  const std::string missing = dir.path("missing \"one\".pdf");
  const ToolRun r = run({"check", missing});
  const auto json = nlohmann::ordered_json::parse(r.out, nullptr, false);
  ASSERT_FALSE(json.is_discarded()) << r.out;
  EXPECT_EQ(json, (nlohmann::ordered_json{{"file", missing}, {"error", "cannot open " + missing}}));
  EXPECT_EQ(json.begin().key(), "file");
  EXPECT_EQ(lines(r.out).size(), 1u);
}

TEST_F(Cli, PathsAreEscapedIntoValidJson) {
  const struct {
    const char* name;
    std::string file_name;
    std::string as_json;  // what a JSON reader sees
  } cases[] = {
#ifndef _WIN32  // Windows file names hold neither quotes, backslashes nor control characters
      {"quote and backslash", "a\"b\\c.pdf", "a\"b\\c.pdf"},
      {"control characters", "line\nbreak\ttab\x7f.pdf", "line\nbreak\ttab\x7f.pdf"},
#endif
      {"UTF-8 kept", "r\xC3\xA9sum\xC3\xA9.pdf", "r\xC3\xA9sum\xC3\xA9.pdf"},
      {"stray byte becomes U+FFFD", "bad\xFF.pdf", "bad\xEF\xBF\xBD.pdf"},
      {"overlong encoding becomes U+FFFD", "x\xC0\xAF.pdf", "x\xEF\xBF\xBD\xEF\xBF\xBD.pdf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.write(c.file_name, valid_pdf());
    const ToolRun r = run({"check", path});
    ASSERT_EQ(lines(r.out).size(), 1u) << "a raw line break leaked: " << r.out;
    const Line line = parse_line(r.out);
    EXPECT_EQ(line.file, dir.path(c.as_json));
    EXPECT_TRUE(line.report.valid);
  }
}

TEST_F(Cli, BatchFixKeepsTheInputNames) {
  std::filesystem::create_directories(dir.path("a"));
  std::filesystem::create_directories(dir.path("b"));
  const std::string first = dir.write("a/scan.pdf", damaged_pdf());
  const std::string second = dir.write("b/letter.pdf", valid_pdf());
  const std::string out_dir = dir.path("new/repaired");  // made when missing
  const ToolRun r = run({"fix", "--output-dir", out_dir, first, second});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  std::vector<std::string> written;
  for (const auto& entry : std::filesystem::directory_iterator(out_dir))
    written.push_back(entry.path().filename().string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"letter.pdf", "scan.pdf"}));
  const ToolRun check = run({"check", out_dir + "/scan.pdf", out_dir + "/letter.pdf"});
  EXPECT_EQ(check.status, 0) << check.out;
}

TEST_F(Cli, BatchWhoseOutputsWouldCollideWritesNothing) {
  std::filesystem::create_directories(dir.path("a"));
  const std::string first = dir.write("scan.pdf", damaged_pdf());
  const std::string second = dir.write("a/scan.pdf", valid_pdf());
  const ToolRun r = run({"fix", "-o", dir.path("out"), first, second});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("would both be written to " + dir.path("out/scan.pdf")), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path("out")));
}

TEST_F(Cli, FailuresGoToStandardErrorWithTheLibrarysReason) {
  const std::string text = dir.write("text.pdf", not_pdf);
  const std::string empty = dir.write("empty.pdf", "");
  const std::string good = dir.write("good.pdf", damaged_pdf());
  const std::string missing = dir.path("missing.pdf");
  const ToolRun r = run({"fix", "-o", dir.path("out"), text, good, missing, empty});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  // Standard error is no terminal here: the failures and nothing else, in argument order.
  EXPECT_EQ(r.err, "pdfrepair: " + text + ": no PDF objects found \u2014 not a PDF\n" +
                       "pdfrepair: " + missing + ": cannot open " + missing + "\n" +
                       "pdfrepair: " + empty + ": empty input file\n");
  EXPECT_TRUE(std::filesystem::exists(dir.path("out/good.pdf")));
  EXPECT_FALSE(std::filesystem::exists(dir.path("out/text.pdf")));
}

TEST_F(Cli, SingleFixWritesTheOutputPath) {
  const std::string in = dir.write("in.pdf", damaged_pdf());
  const std::string out = dir.path("fixed copy.pdf");
  const ToolRun r = run({"fix", in, out});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(parse_line(run({"check", out}).out).report.issues, pdftest::Issues{});
}

TEST_F(Cli, WorkersGiveTheSerialRunsOutput) {
  // Enough mixed files that workers finish out of order.
  Args files;
  for (int i = 0; i < 12; ++i) {
    const std::string name = std::string("f").append(std::to_string(i)).append(".pdf");
    switch (i % 4) {
      case 0: files.push_back(dir.write(name, damaged_pdf())); break;
      case 1: files.push_back(dir.write(name, valid_pdf())); break;
      case 2: files.push_back(dir.write(name, not_pdf)); break;
      default: files.push_back(dir.path(name)); break;  // missing
    }
  }
  const auto with = [&](Args head) {
    head.insert(head.end(), files.begin(), files.end());
    return head;
  };
  const ToolRun serial_check = run(with({"check"}));
  const ToolRun parallel_check = run(with({"check", "-j", "4"}));
  EXPECT_EQ(parallel_check.status, serial_check.status);
  EXPECT_EQ(parallel_check.out, serial_check.out);
  EXPECT_EQ(parallel_check.err, serial_check.err);
  EXPECT_EQ(lines(serial_check.out).size(), files.size());

  const ToolRun serial_fix = run(with({"fix", "-o", dir.path("serial")}));
  const ToolRun parallel_fix = run(with({"fix", "-j4", "-o", dir.path("parallel")}));
  EXPECT_EQ(parallel_fix.status, serial_fix.status);
  EXPECT_EQ(parallel_fix.out, serial_fix.out);
  EXPECT_EQ(parallel_fix.err, serial_fix.err);
  EXPECT_EQ(lines(serial_fix.err).size(), 6u);
  for (int i = 0; i < 12; ++i) {
    const std::string name = std::string("/f").append(std::to_string(i)).append(".pdf");
    EXPECT_EQ(TempDir::read(dir.path("parallel") + name), TempDir::read(dir.path("serial") + name)) << name;
  }
}

}  // namespace
