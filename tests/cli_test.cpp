// The pdfrepair command-line tool, run as a process: its exit statuses, the JSON lines of
// check and fix, the names of a batch's outputs, the failure texts on standard error, outputs
// that would replace inputs, standard input and output, folders, help and version, and -j
// giving exactly what a serial run gives.
#include <pdfrepair.h>

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

using Json = nlohmann::ordered_json;

// A fix line parsed, its members in the order they were printed.
Json parse_fix_line(const std::string& text) {
  const Json json = Json::parse(text, nullptr, false);
  if (json.is_discarded()) ADD_FAILURE() << "not JSON: " << text;
  return json;
}

Json repaired(const std::string& in, const std::string& out, const Json& issues, const Json& objects,
              const Json& pages) {
  return {{"file", in}, {"output", out}, {"repaired", true}, {"issues", issues}, {"objects", objects}, {"pages", pages}};
}

Json unrepaired(const std::string& in, const std::string& error) {
  return {{"file", in}, {"repaired", false}, {"error", error}};
}

std::vector<Json> fix_lines(const std::string& text) {
  std::vector<Json> parsed;
  for (const std::string& line : lines(text)) parsed.push_back(parse_fix_line(line));
  return parsed;
}

// Every path under folder, relative to it, sorted.
std::vector<std::string> tree(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    found.push_back(std::filesystem::relative(entry.path(), folder).generic_string());
  std::sort(found.begin(), found.end());
  return found;
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
      {"help command", {"help"}, 0},
      {"help of a command", {"help", "fix"}, 0},
      {"help of an unknown command", {"help", "mend"}, 2},
      {"help of two commands", {"help", "check", "fix"}, 2},
      {"command --help", {"check", "--help"}, 0},
      {"command -h among files", {"fix", damaged, "-h"}, 0},
      {"fix quietly", {"fix", "-q", damaged, out}, 0},
      {"fix in place", {"fix", "--in-place", out}, 0},
      {"fix onto the input", {"fix", damaged, damaged}, 1},
      {"check of a folder", {"check", dir.path("")}, 2},
      {"fix of a folder", {"fix", dir.path(""), out}, 1},
      {"-r for one INPUT OUTPUT", {"fix", "-r", damaged, out}, 2},
      {"-q for check", {"check", "-q", valid}, 2},
      {"standard input twice", {"check", "-", "-"}, 2},
      {"standard input in place", {"fix", "--in-place", "-"}, 2},
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

TEST_F(Cli, HelpOfTheToolAndOfEachCommand) {
  const ToolRun tool = run({"--help"});
  EXPECT_EQ(run({"help"}).out, tool.out);
  EXPECT_NE(tool.out.find("Examples:"), std::string::npos);
  EXPECT_NE(tool.out.find("pdfrepair fix -j 4 --output-dir"), std::string::npos);
  EXPECT_NE(tool.out.find("On Windows batches always run serially"), std::string::npos);
  const struct {
    const char* command;
    const char* usage;
    std::vector<std::string> options;  // the options its help lists, of all the tool's
  } cases[] = {
      {"check", "usage: pdfrepair check [-r] [-j N] FILE...\n", {"--recursive", "--jobs", "--help"}},
      {"fix", "usage: pdfrepair fix [-q] INPUT OUTPUT\n",
       {"--recursive", "--jobs", "--output-dir", "--in-place", "--quiet", "--help"}},
      {"help", "usage: pdfrepair help [COMMAND]\n", {"--help"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const ToolRun help = run({"help", c.command});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(run({c.command, "--help"}).out, help.out);
    EXPECT_EQ(help.out.rfind(c.usage, 0), 0u) << help.out;
    for (const char* option : {"--recursive", "--jobs", "--output-dir", "--in-place", "--quiet", "--help", "--version"}) {
      const bool listed = std::find(c.options.begin(), c.options.end(), option) != c.options.end();
      EXPECT_EQ(help.out.find(std::string(option) + " ") != std::string::npos ||
                    help.out.find(std::string(option) + "\n") != std::string::npos,
                listed)
          << option;
      EXPECT_NE(tool.out.find(option), std::string::npos) << option;
    }
  }
}

// One version in the header's macros, the CMake project and the tool.
TEST(Version, HeaderProjectAndToolAgree) {
  EXPECT_EQ(std::to_string(PDFREPAIR_VERSION_MAJOR) + "." + std::to_string(PDFREPAIR_VERSION_MINOR) + "." +
                std::to_string(PDFREPAIR_VERSION_PATCH),
            PDFREPAIR_VERSION_STRING);
  EXPECT_STREQ(PDFREPAIR_VERSION_STRING, PDFREPAIR_VERSION);
  TempDir dir;
  EXPECT_EQ(run_tool(dir, {"--version"}).out, std::string("pdfrepair ") + PDFREPAIR_VERSION_STRING + "\n");
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
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(lines(r.out).size(), 2u) << r.out;
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

TEST_F(Cli, FixPrintsWhatEachRepairDidAndFailuresGoToStandardError) {
  const std::string text = dir.write("text.pdf", not_pdf);
  const std::string empty = dir.write("empty.pdf", "");
  const std::string good = dir.write("good.pdf", damaged_pdf());
  const std::string missing = dir.path("missing.pdf");
  const std::string out = dir.path("out");
  const ToolRun r = run({"fix", "-o", out, text, good, missing, empty});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(fix_lines(r.out),
            (std::vector<Json>{unrepaired(text, "no PDF objects found \u2014 not a PDF"),
                               repaired(good, dir.path("out/good.pdf"), {"wrong /Length at obj 4"}, {4, 4}, {1, 1}),
                               unrepaired(missing, "cannot open " + missing), unrepaired(empty, "empty input file")}))
      << r.out;
  // Standard error is no terminal here: the failures and nothing else, in argument order.
  const std::string failures = "pdfrepair: " + text + ": no PDF objects found \u2014 not a PDF\n" + "pdfrepair: " +
                               missing + ": cannot open " + missing + "\n" + "pdfrepair: " + empty +
                               ": empty input file\n";
  EXPECT_EQ(r.err, failures);
  EXPECT_TRUE(std::filesystem::exists(dir.path("out/good.pdf")));
  EXPECT_FALSE(std::filesystem::exists(dir.path("out/text.pdf")));
  // Quiet: the failures alone, the same status.
  const ToolRun quiet = run({"fix", "--quiet", "-o", dir.path("quiet"), text, good, missing, empty});
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, failures);
}

TEST_F(Cli, OutputsThatWouldReplaceAnInputAreRefusedWithoutInPlace) {
  std::filesystem::create_directories(dir.path("in"));
  const std::string input = dir.path("in/scan.pdf"), other = dir.path("other.pdf");
  const std::string refused = "output is the input (use --in-place)";
  std::filesystem::remove(dir.path("hard.pdf"));
  const struct {
    const char* name;
    Args args;
    bool replaced;  // the input holds the repair afterwards
  } cases[] = {
      {"the same path", {"fix", input, input}, false},
      {"another name of the same file", {"fix", input, dir.path("in/../in/scan.pdf")}, false},
      {"a hard link", {"fix", input, dir.path("hard.pdf")}, false},
#ifndef _WIN32
      {"a symbolic link", {"fix", input, dir.path("link.pdf")}, false},
#endif
      {"a batch into the inputs' folder", {"fix", "-o", dir.path("in"), input, other}, false},
      {"in place", {"fix", "--in-place", input, other}, true},
      {"a batch into the inputs' folder, in place", {"fix", "--in-place", "-o", dir.path("in"), input}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write("in/scan.pdf", damaged_pdf());
    dir.write("other.pdf", damaged_pdf());
    std::filesystem::remove(dir.path("hard.pdf"));
    std::filesystem::create_hard_link(input, dir.path("hard.pdf"));
#ifndef _WIN32
    std::filesystem::remove(dir.path("link.pdf"));
    std::filesystem::create_symlink(input, dir.path("link.pdf"));
#endif
    const ToolRun r = run(c.args);
    EXPECT_EQ(r.status, c.replaced ? 0 : 1) << r.err;
    EXPECT_EQ(TempDir::read(input) == damaged_pdf(), !c.replaced);
    const std::vector<Json> printed = fix_lines(r.out);
    ASSERT_FALSE(printed.empty());
    if (c.replaced) {
      EXPECT_EQ(printed[0], repaired(input, input, {"wrong /Length at obj 4"}, {4, 4}, {1, 1}));
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_EQ(printed[0], unrepaired(input, refused));
      EXPECT_EQ(r.err, "pdfrepair: " + input + ": " + refused + "\n");
    }
    // The rest of a batch goes on.
    EXPECT_EQ(printed.size(), c.args.back() == other ? 2u : 1u);
    if (printed.size() == 2) {
      EXPECT_EQ(printed[1]["repaired"], true);
    }
  }
}

TEST_F(Cli, FoldersStandForTheirPdfFilesWithRecursive) {
  const std::string top = dir.path("top");
  for (const char* folder : {"top/b", "top/A/deeper", "top/c.PDF", "top/empty"})
    std::filesystem::create_directories(dir.path(folder));
  const std::string valid = valid_pdf(), damaged = damaged_pdf();
  for (const char* name : {"top/b/x.pdf", "top/A/deeper/y.Pdf", "top/z.PDF", "top/c.PDF/w.pdf", "top/B.pdf"})
    dir.write(name, damaged);
  dir.write("top/notes.txt", valid);
  dir.write("top/pdf", valid);
#ifndef _WIN32  // links are not followed
  std::filesystem::create_symlink("b", dir.path("top/linked"));
  std::filesystem::create_symlink("b/x.pdf", dir.path("top/linked.pdf"));
#endif
  // Depth first, in byte order of the names: upper case before lower case.
  const std::vector<std::string> found = {dir.path("top/A/deeper/y.Pdf"), dir.path("top/B.pdf"),
                                          dir.path("top/b/x.pdf"), dir.path("top/c.PDF/w.pdf"), dir.path("top/z.PDF")};
  const ToolRun check = run({"check", "-r", top});
  EXPECT_EQ(check.status, 1);
  const auto printed = lines(check.out);
  ASSERT_EQ(printed.size(), found.size()) << check.out;
  for (std::size_t i = 0; i < found.size(); ++i) EXPECT_EQ(parse_line(printed[i]).file, found[i]);

  const ToolRun fix = run({"fix", "-r", "-j", "2", "-o", dir.path("out"), top});
  EXPECT_EQ(fix.status, 0) << fix.err;
  EXPECT_EQ(tree(dir.path("out")), (std::vector<std::string>{"A", "A/deeper", "A/deeper/y.Pdf", "B.pdf", "b", "b/x.pdf",
                                                             "c.PDF", "c.PDF/w.pdf", "z.PDF"}));
  EXPECT_EQ(fix_lines(fix.out)[0], repaired(found[0], dir.path("out/A/deeper/y.Pdf"), {"wrong /Length at obj 4"},
                                            {4, 4}, {1, 1}));

  // Without -r a folder is no file; two folders whose files would meet write nothing.
  EXPECT_EQ(run({"check", top}).out, "{\"file\":" + Json(top).dump() + ",\"error\":\"is a directory\"}\n");
  const ToolRun plain = run({"fix", "-o", dir.path("plain"), top});
  EXPECT_EQ(plain.err, "pdfrepair: " + top + ": is a directory\n");
  EXPECT_EQ(fix_lines(plain.out), std::vector<Json>{unrepaired(top, "is a directory")});
  const ToolRun meeting = run({"fix", "-r", "-o", dir.path("meeting"), dir.path("top/b"), dir.path("top/b/")});
  EXPECT_EQ(meeting.status, 2);
  EXPECT_NE(meeting.err.find("would both be written to"), std::string::npos) << meeting.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path("meeting")));
}

TEST_F(Cli, StandardInputAndOutputGoThroughTemporaryFilesThatAreRemoved) {
  const std::string in = dir.write("in.pdf", damaged_pdf()), text = dir.write("text.pdf", not_pdf);
  ASSERT_EQ(run({"fix", in, dir.path("expected.pdf")}).status, 0);
  const std::string expected = TempDir::read(dir.path("expected.pdf"));
  // Temporary files go to the system's temporary folder: one of the test's own.
  const std::string temp = dir.path("temp");
  std::filesystem::create_directories(temp);
#ifdef _WIN32
  ASSERT_EQ(_putenv_s("TMP", temp.c_str()), 0);
#else
  ASSERT_EQ(setenv("TMPDIR", temp.c_str(), 1), 0);
#endif

  // The repaired file on standard output, the line on standard error.
  const ToolRun to_stdout = run({"fix", in, "-"});
  EXPECT_EQ(to_stdout.status, 0);
  EXPECT_EQ(to_stdout.out, expected);
  EXPECT_EQ(fix_lines(to_stdout.err), std::vector<Json>{repaired(in, "-", {"wrong /Length at obj 4"}, {4, 4}, {1, 1})});
  const ToolRun failed = run({"fix", text, "-"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, "");
  EXPECT_EQ(failed.err, unrepaired(text, "no PDF objects found \u2014 not a PDF").dump() + "\npdfrepair: " + text +
                            ": no PDF objects found \u2014 not a PDF\n");
#ifndef _WIN32
  // Through a shell, for standard input and a pipe: "$0" is the tool, "$1" the input.
  const auto shell = [&](const std::string& script) {
    ToolRun r;
    r.status = pdftest::run_program({"/bin/sh", "-c", script, PDFREPAIR_CLI, in}, dir.path("sh.out"), dir.path("sh.err"));
    r.out = TempDir::read(dir.path("sh.out"));
    r.err = TempDir::read(dir.path("sh.err"));
    return r;
  };
  const ToolRun both = shell("exec \"$0\" fix - - < \"$1\"");
  EXPECT_EQ(both.out, expected);
  EXPECT_EQ(fix_lines(both.err), std::vector<Json>{repaired("-", "-", {"wrong /Length at obj 4"}, {4, 4}, {1, 1})});
  EXPECT_EQ(shell("exec \"$0\" check - < \"$1\"").out.rfind(R"({"file":"-","valid":false,)", 0), 0u);
  // A pipe given by name is written directly, and cannot be read back.
  const ToolRun piped = shell("\"$0\" fix \"$1\" /dev/stdout | cat");
  EXPECT_EQ(piped.out, expected);
  EXPECT_EQ(fix_lines(piped.err),
            std::vector<Json>{repaired(in, "/dev/stdout", {"wrong /Length at obj 4"}, {4, nullptr}, {1, nullptr})});
  const ToolRun unreadable = shell("exec \"$0\" fix - out.pdf < /dev/null");
  EXPECT_EQ(fix_lines(unreadable.out), std::vector<Json>{unrepaired("-", "empty input file")});
#endif
  EXPECT_EQ(tree(temp), std::vector<std::string>{});
#ifdef _WIN32
  _putenv_s("TMP", "");
#else
  unsetenv("TMPDIR");
#endif
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
  ToolRun parallel_fix = run(with({"fix", "-j4", "-o", dir.path("parallel")}));
  EXPECT_EQ(parallel_fix.status, serial_fix.status);
  // The lines name their outputs.
  const std::string parallel = Json(dir.path("parallel")).dump(), serial = Json(dir.path("serial")).dump();
  for (std::size_t at; (at = parallel_fix.out.find(parallel.substr(0, parallel.size() - 1))) != std::string::npos;)
    parallel_fix.out.replace(at, parallel.size() - 1, serial.substr(0, serial.size() - 1));
  EXPECT_EQ(lines(parallel_fix.out).size(), files.size());
  EXPECT_EQ(parallel_fix.out, serial_fix.out);
  EXPECT_EQ(parallel_fix.err, serial_fix.err);
  EXPECT_EQ(lines(serial_fix.err).size(), 6u);
  for (int i = 0; i < 12; ++i) {
    const std::string name = std::string("/f").append(std::to_string(i)).append(".pdf");
    EXPECT_EQ(TempDir::read(dir.path("parallel") + name), TempDir::read(dir.path("serial") + name)) << name;
  }
}

}  // namespace
