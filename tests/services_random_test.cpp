// Seeded mutations of real-looking files through both exported services: every check answers
// with a well-formed report, and every repair either fails with a message and leaves the
// output path as it was, or writes a complete file whose table points at its objects and that
// keeps every object it references.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "pdfrepair.h"
#include "support/discovered.h"
#include "support/mutator.h"
#include "support/pdf_builder.h"
#include "support/readers.h"
#include "support/report.h"
#include "support/temp_dir.h"
#include "support/zlib_data.h"

namespace {

using pdftest::PdfBuilder;

// Documents to damage: plain objects with streams and /Info, and pages packed in a
// compressed object stream.
std::vector<std::string> seed_files() {
  const std::string packed = "5 0 6 58 <</Type /Page /Parent 2 0 R /Contents 4 0 R /MediaBox [0 0 9 9]>> "
                             "<</Type /Page /Parent 2 0 R /Contents 4 0 R>>";
  return {
      PdfBuilder()
          .object(1, "<</Type/Catalog/Pages 2 0 R/OpenAction [3 0 R /Fit]>>")
          .object(2, "<</Type /Pages /Kids [3 0 R 7 0 R] /Count 2 /MediaBox [0 0 612 792]>>")
          .object(3, "<</Type /Page /Parent 2 0 R /Contents 4 0 R /Resources <</Font <</F1 8 0 R>>>>>>")
          .stream(4, "/Filter /FlateDecode", pdftest::deflated("BT /F1 12 Tf 72 720 Td (Hello) Tj ET"))
          .object(7, "<</Type /Page /Parent 2 0 R /Contents [4 0 R] /Rotate 90>>")
          .object(8, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica>>")
          .object(9, "<</Title (A \\(title\\)) /Producer <48656c6c6f>>>")
          .root(1)
          .info(9)
          .build()
          .bytes,
      PdfBuilder("%PDF-1.5\n")
          .object(1, "<</Type /Catalog /Pages 2 0 R>>")
          .object(2, "<</Type /Pages /Kids [5 0 R 6 0 R] /Count 2>>")
          .stream(3, "/Type /ObjStm /N 2 /First 9 /Filter /FlateDecode", pdftest::deflated(packed))
          .stream(4, "", "0 0 m 9 9 l S")
          .root(1)
          .build()
          .bytes,
  };
}

constexpr int rounds = 1500;

TEST(ServicesRandom, CheckAnswersEveryMutationWithAReport) {
  pdftest::TempDir dir;
  const std::vector<std::string> seeds = seed_files();
  pdftest::Mutator m(7u);
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    const std::string text = m.mutate(seeds[static_cast<std::size_t>(round) % seeds.size()]);
    const std::string path = dir.write("in.pdf", text);
    const std::string json = pdfrepair_check(path.c_str());
    if (text.empty()) continue;  // the fixed empty-file reply
    const pdftest::Report r = pdftest::parse(json);
    EXPECT_GE(r.objects, 0);
    EXPECT_GE(r.pages, 0);
    EXPECT_LE(r.issues.size(), 32u);
    if (testing::Test::HasFailure()) {
      ADD_FAILURE() << "input: " << testing::PrintToString(text);
      return;
    }
  }
}

// A complete output: the fixed header, and startxref naming the "xref" keyword.
bool complete_output(const std::string& pdf) {
  if (pdf.rfind("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n", 0) != 0 || !pdf.ends_with("\n%%EOF\n")) return false;
  const std::size_t at = pdf.rfind("startxref ");
  return at != std::string::npos && pdf.compare(std::stoul(pdf.substr(at + 10)), 4, "xref") == 0;
}

TEST(ServicesRandom, RepairFailsCleanlyOrWritesACompleteFile) {
  pdftest::TempDir dir;
  pdfrepair_init();
  const std::vector<std::string> seeds = seed_files();
  const std::string out = dir.path("out.pdf");
  // Set PDFREPAIR_QPDF_STATS to also count the outputs qpdf rejects (slow: one qpdf per file).
  const bool with_qpdf = std::getenv("PDFREPAIR_QPDF_STATS") != nullptr;
  int repaired = 0, refused = 0, rejected = 0;
  pdftest::Mutator m(11u);
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    const std::string text = m.mutate(seeds[static_cast<std::size_t>(round) % seeds.size()]);
    const std::string in = dir.write("in.pdf", text);
    dir.write("out.pdf", "untouched");
    if (pdfrepair_fix(in.c_str(), out.c_str())) {
      ++repaired;
      EXPECT_STREQ(pdfrepair_last_error(), "");
      const std::string pdf = pdftest::TempDir::read(out);
      EXPECT_TRUE(complete_output(pdf));
      const std::set<int> found = pdftest::discovered_numbers(text);
      EXPECT_EQ(pdftest::dangling_refs_added(pdftest::parse(pdfrepair_check(in.c_str())),
                                             pdftest::parse(pdfrepair_check(out.c_str())), pdf,
                                             [&found](int num) { return found.contains(num); }),
                pdftest::Issues{});
      if (with_qpdf && pdftest::qpdf_check(out).status == 2) ++rejected;
    } else {
      ++refused;
      EXPECT_STRNE(pdfrepair_last_error(), "");
      EXPECT_EQ(pdftest::TempDir::read(out), "untouched");
    }
    if (testing::Test::HasFailure()) {
      ADD_FAILURE() << "input: " << testing::PrintToString(text);
      break;
    }
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path("")), {}), 2);  // no leftovers
  std::cout << "mutated files: " << repaired << " repaired, " << refused << " refused";
  if (with_qpdf) std::cout << ", " << rejected << " outputs rejected by qpdf";
  std::cout << "\n";
  pdfrepair_cleanup();
}

}  // namespace
