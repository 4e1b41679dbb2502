// Valid files as common producers write them: those of tests/data/producers/ (made by
// tests/data/make-producer-pdfs.sh) and tests/data/valid/, and a few built here in shapes the
// committed ones lack (a hybrid cross-reference section, an indirect /Annots array, an
// ICC-based colour space, document information in UTF-16BE and PDFDocEncoding, inherited and
// decimal page boxes). Each is reported valid without issues; so is its repair, which shows
// what the original shows in independent readers (pdfinfo's document information and page
// boxes, mutool's outline, pdftotext's text, pdftoppm's pixels of the first and last page) and
// repairs again to the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdfrepair.h"
#include "support/byte_notation.h"
#include "support/pdf_builder.h"
#include "support/process.h"
#include "support/readers.h"
#include "support/report.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using pdftest::PdfBuilder;
using pdftest::TempDir;

struct Case {
  std::string name;  // as the failures name it: its folder and file name
  std::string path;
};

// The committed files of both folders, in name order.
std::vector<Case> committed_files() {
  std::vector<Case> cases;
  for (const char* folder : {"producers", "valid"}) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& e : fs::directory_iterator(fs::path(PDFREPAIR_TEST_DATA) / folder))
      if (e.path().extension() == ".pdf") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) cases.push_back({(fs::path(folder) / f.filename()).string(), f.string()});
  }
  return cases;
}

std::string be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// A grey display profile (ICC version 2) with the tags such a profile must have: description,
// copyright, white point and a tone curve (here the identity).
std::string grey_profile() {
  const std::string d50 = be32(0xF6D6) + be32(0x10000) + be32(0xD32D);
  const std::pair<std::string, std::string> tags[] = {
      {"desc", "desc" + be32(0) + be32(5) + std::string("Grey\0", 5) + be32(0) + be32(0) + std::string(70, '\0')},
      {"cprt", "text" + be32(0) + std::string("none\0", 5)},
      {"wtpt", "XYZ " + be32(0) + d50},
      {"kTRC", "curv" + be32(0) + be32(0)},
  };
  std::string table = be32(std::size(tags)), data;
  for (const auto& [signature, body] : tags) {
    table += signature + be32(128 + 4 + 12 * std::size(tags) + data.size()) + be32(body.size());
    data += body;
    data.resize((data.size() + 3) / 4 * 4, '\0');
  }
  const std::string header = be32(128 + table.size() + data.size()) + be32(0) + be32(0x02100000) + "mntrGRAYXYZ " +
                             std::string(12, '\0') + "acsp" + std::string(28, '\0') + d50 + std::string(48, '\0');
  return header + table + data;
}

// Catalog 1, page tree 2 over page 3 (each with the entries given, the page's resources with
// font 5 and more), contents 4 writing a line and filling a square in the colour set by fill.
PdfBuilder one_page(std::string_view page, std::string_view pages = "", std::string_view resources = "",
                    std::string_view fill = "0.5 g") {
  PdfBuilder b;
  b.object(1, "<</Type/Catalog/Pages 2 0 R>>")
      .object(2, "<</Type/Pages/Kids[3 0 R]/Count 1" + std::string(pages) + ">>")
      .object(3, "<</Type/Page/Parent 2 0 R/Contents 4 0 R/Resources<</Font<</F1 5 0 R>>" + std::string(resources) +
                     ">>" + std::string(page) + ">>")
      .stream(4, "", "BT /F1 12 Tf 72 500 Td (Hello) Tj ET " + std::string(fill) + " 72 300 100 100 re f")
      .object(5, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>")
      .root(1);
  return b;
}

constexpr std::string_view letter = "/MediaBox[0 0 612 792]";

// Shapes that producers write and the committed files lack, by file name.
std::vector<std::pair<std::string, std::string>> built_files() {
  // A last section as Word writes it: an empty classic table whose trailer names the table
  // before and a cross-reference stream (here listing itself alone).
  pdftest::Pdf hybrid = one_page(letter).build();
  const int stream_at = hybrid.size();
  hybrid.bytes += "6 0 obj\n<</Type/XRef/Size 7/W[1 4 2]/Index[6 1]/Length 7>>\nstream\n" + std::string(1, '\1') +
                  be32(stream_at) + std::string(2, '\0') + "\nendstream\nendobj\n";
  const int table_at = hybrid.size();
  hybrid.bytes += "xref\n0 0\ntrailer\n<</Size 7/Root 1 0 R/XRefStm " + std::to_string(stream_at) + "/Prev " +
                  std::to_string(hybrid.xref_off) + ">>\nstartxref\n" + std::to_string(table_at) + "\n%%EOF\n";
  return {
      {"hybrid-xref.pdf", hybrid.bytes},
      {"indirect-annots.pdf",
       one_page(std::string(letter) + "/Annots 6 0 R")
           .object(6, "[7 0 R]")
           .object(7, "<</Type/Annot/Subtype/Text/Rect[300 500 320 520]/Contents(A note)>>")
           .build()
           .bytes},
      {"icc-based-colour-space.pdf",
       one_page(letter, "", "/ColorSpace<</CS0 6 0 R>>", "/CS0 cs 0.5 sc")
           .object(6, "[/ICCBased 7 0 R]")
           .stream(7, "/N 1", grey_profile())
           .build()
           .bytes},
      {"info-strings.pdf",  // UTF-16BE with NUL bytes, PDFDocEncoding above 0x7F, nested parentheses
       one_page(letter)
           .object(6, pdfrepair_test::bytes("<</Title({FE}{FF}{00}M{00}i{00}k{00}r{00}o{00} {20}{13}{00} {00}G{00}r"
                                            "{00}{F6}{00}{DF}{00}e)/Author(J{FC}rgen M{FC}ller {84} {AE})"
                                            "/Subject(a (b) c)>>"))
           .info(6)
           .build()
           .bytes},
      {"inherited-media-box.pdf", one_page("/CropBox[0 0 841.8898 595.2756]", "/MediaBox[0 0 842 596]").build().bytes},
      {"decimal-media-box.pdf", one_page("/MediaBox[0 0 595.2756 841.8898]").build().bytes},
  };
}

// What readers show of a file.
struct View {
  std::string info;  // pdfinfo's document information and page boxes
  std::string outline;
  std::string text;
  std::map<int, std::string> pixels;  // page number -> its image, grey at 50 dpi: the first and last page
};

// Runs a reader, failing the test unless it ran and read the file; answers what it printed.
std::string shown(const std::vector<std::string>& argv, const TempDir& dir) {
  const std::string output = dir.path("reader.txt");
  const int status = pdftest::run_program(argv, output, output);
  std::string command;
  for (const std::string& arg : argv) command += arg + ' ';
  EXPECT_EQ(status, 0) << command << '\n' << TempDir::read(output);
  return TempDir::read(output);
}

View view(const std::string& pdf, const TempDir& dir) {
  // Not the lines a rewrite changes: the version, the file size, whether it is linearized.
  static const std::regex kept(
      "^(Title|Subject|Keywords|Author|Creator|Producer|CreationDate|ModDate|Tagged|Form|Pages):|"
      "^Page +[0-9]+ (size|MediaBox|CropBox|BleedBox|TrimBox|ArtBox|rot):");
  View v;
  std::istringstream info(shown({"pdfinfo", "-box", "-isodates", "-f", "1", "-l", "9999", pdf}, dir));
  int pages = 1;
  for (std::string line; std::getline(info, line);) {
    if (!std::regex_search(line, kept)) continue;
    v.info += line + '\n';
    if (line.starts_with("Pages:")) pages = std::stoi(line.substr(6));
  }
  v.outline = shown({"mutool", "show", pdf, "outline"}, dir);
  v.text = shown({"pdftotext", "-layout", pdf, "-"}, dir);
  const std::string image = dir.path("page");
  for (const int page : std::set<int>{1, pages}) {
    fs::remove(image + ".pgm");
    const std::string n = std::to_string(page);
    shown({"pdftoppm", "-r", "50", "-gray", "-f", n, "-l", n, "-singlefile", pdf, image}, dir);
    v.pixels[page] = TempDir::read(image + ".pgm");
  }
  return v;
}

void expect_valid(const std::string& pdf) {
  const pdftest::Report r = pdftest::parse(pdfrepair_check(pdf.c_str()));
  EXPECT_TRUE(r.valid);
  EXPECT_EQ(r.issues, pdftest::Issues{});
}

void expect_repair_keeps_what_readers_show(const Case& c, const TempDir& dir) {
  const pdftest::RunResult qpdf = pdftest::qpdf_check(c.path);
  ASSERT_EQ(qpdf.status, 0) << "the input itself is not clean:\n" << qpdf.output;
  ASSERT_EQ(qpdf.output.find("WARNING"), std::string::npos) << "the input itself is not clean:\n" << qpdf.output;
  {
    SCOPED_TRACE("check of the input");
    expect_valid(c.path);
  }
  const std::string out = dir.path("repaired.pdf"), again = dir.path("repaired-again.pdf");
  ASSERT_EQ(pdfrepair_fix(c.path.c_str(), out.c_str()), 1) << pdfrepair_last_error();
  {
    SCOPED_TRACE("check of the repair");
    expect_valid(out);
  }
  const View before = view(c.path, dir), after = view(out, dir);
  EXPECT_EQ(after.info, before.info) << "pdfinfo's document information or page boxes";
  EXPECT_EQ(after.outline, before.outline) << "mutool's outline";
  EXPECT_EQ(after.text, before.text) << "pdftotext's text";
  for (const auto& [page, image] : before.pixels)
    EXPECT_TRUE(after.pixels.contains(page) && after.pixels.at(page) == image)
        << "pdftoppm's pixels of page " << page << " differ";
  ASSERT_EQ(pdfrepair_fix(out.c_str(), again.c_str()), 1) << pdfrepair_last_error();
  EXPECT_TRUE(TempDir::read(again) == TempDir::read(out)) << "repairing the repair changes its bytes";
}

TEST(ProducerFiles, RepairKeepsWhatReadersShow) {
  const TempDir dir;
  std::vector<Case> cases = committed_files();
  ASSERT_GE(cases.size(), 30u) << "the committed files are missing";
  for (const auto& [name, bytes] : built_files()) cases.push_back({"built/" + name, dir.write(name, bytes)});
  pdfrepair_init();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expect_repair_keeps_what_readers_show(c, dir);
  }
  pdfrepair_cleanup();
}

}  // namespace
