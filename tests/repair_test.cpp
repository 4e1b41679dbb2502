// The repair service end to end, through the exported functions on files written to disk:
// every refusal with its message, what is kept and what is pruned, and outputs that
// independent readers open.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

#include "pdfrepair.h"
#include "pdfrepair/heap.h"
#include "support/pdf_builder.h"
#include "support/readers.h"
#include "support/temp_dir.h"
#include "support/zlib_data.h"

namespace {

using pdftest::PdfBuilder;
using Numbers = std::set<int>;

// The object numbers whose "N 0 obj" headers, each at the start of a line, the output holds.
Numbers written_objects(const std::string& pdf) {
  Numbers nums;
  for (std::size_t at = pdf.find(" 0 obj"); at != std::string::npos; at = pdf.find(" 0 obj", at + 1)) {
    const std::size_t line = pdf.rfind('\n', at) + 1;
    const std::string digits = pdf.substr(line, at - line);
    if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos)
      nums.insert(std::stoi(digits));
  }
  return nums;
}

// The text of object num in the output, from its header to its "endobj".
std::string written_object(const std::string& pdf, int num) {
  const std::string head = '\n' + std::to_string(num).append(" 0 obj");
  const std::size_t at = pdf.find(head);
  if (at == std::string::npos) return "";
  return pdf.substr(at + 1, pdf.find("endobj", at) - at - 1);
}

// Catalog, page tree and one page with its contents: the skeleton most fixtures extend.
PdfBuilder document(const pdftest::StreamOptions& contents = {}) {
  PdfBuilder b;
  b.object(1, "<</Type/Catalog/Pages 2 0 R>>")
      .object(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>")
      .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>")
      .stream(4, "", "BT /F1 12 Tf (Hello) Tj ET", contents)
      .root(1);
  return b;
}

// A document with one page under the page-tree node (object 2) and the catalog (object 1) given.
PdfBuilder tree(std::string_view node, std::string_view catalog = "<</Type/Catalog/Pages 2 0 R>>") {
  PdfBuilder b;
  b.object(1, catalog)
      .object(2, node)
      .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>")
      .stream(4, "", "BT ET")
      .root(1);
  return b;
}

// A one-page document whose page names `contents`, content streams 4 and 5 holding "BT ET"
// hex-encoded under the entries given.
PdfBuilder contents(std::string_view contents, std::string_view entries4,
                    std::string_view entries5 = "/Filter/AHx") {
  PdfBuilder b;
  b.object(1, "<</Type/Catalog/Pages 2 0 R>>")
      .object(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>")
      .object(3, "<</Type /Page /Parent 2 0 R /Contents " + std::string(contents) + ">>")
      .stream(4, entries4, "4254204554>")
      .stream(5, entries5, "4254204554>")
      .root(1);
  return b;
}

class Repair : public ::testing::Test {
 protected:
  void SetUp() override { pdfrepair_init(); }
  void TearDown() override { pdfrepair_cleanup(); }

  // Repairs the bytes; on success checks that both readers open the output with `pages`
  // pages, and returns it. On failure returns "" with the message in last_error.
  std::string repair(const std::string& bytes, int pages = 1) {
    const std::string in = dir.write("in.pdf", bytes);
    const std::string out = dir.path("out.pdf");
    std::filesystem::remove(out);
    if (!pdfrepair_fix(in.c_str(), out.c_str())) {
      EXPECT_FALSE(std::filesystem::exists(out));
      return "";
    }
    EXPECT_STREQ(pdfrepair_last_error(), "");
    const pdftest::RunResult qpdf = pdftest::qpdf_check(out);
    EXPECT_EQ(qpdf.status, 0) << qpdf.output;
    EXPECT_EQ(pdftest::pdfinfo_pages(out), pages);
    return pdftest::TempDir::read(out);
  }

  pdftest::TempDir dir;
};

TEST_F(Repair, RefusesWithItsMessage) {
  const std::string no_page_tree =
      "catalog obj 1 does not lead to a page tree with at least one page - refusing to emit a "
      "false-green file";
  const std::string one_kid = "<</Type /Pages /Kids [3 0 R] /Count 1>>";
  const auto undecodable = [](int num) {
    return "obj " + std::to_string(num) +
           " is page content with a /Filter no reader can decode - refusing to emit a false-green file";
  };
  struct Case {
    const char* name;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"empty input", "", "empty input file"},
      {"encrypted by reference",
       document().trailer_entries("/Encrypt 9 0 R").build().bytes,
       "encrypted PDFs are not supported: "},
      {"encrypted by a direct dictionary",
       document().trailer_entries("/Encrypt <</Filter/Standard>>").build().bytes,
       "encrypted PDFs are not supported: "},
      {"no object header anywhere", "%PDF-1.4\nhello\n", "no PDF objects found \xE2\x80\x94 not a PDF"},
      {"nothing keeps any object",
       PdfBuilder().object(2, "<</A 1>>").object(3, "<</B 2>>").build_body().bytes,
       "no PDF objects remain after graph prune"},
      {"no catalog, objects survive",
       PdfBuilder()
           .object(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>")
           .object(3, "<</Type /Page /Parent 2 0 R>>")
           .build_body()
           .bytes,
       "/Root does not resolve to a kept object - refusing to emit a false-green file"},
      {"dead page named by /OpenAction",
       PdfBuilder()
           .object(1, "<</Type/Catalog/Pages 2 0 R/OpenAction [5 0 R /Fit]>>")
           .object(2, "<</Type /Pages /Kids [3 0 R 5 0 R] /Count 2>>")
           .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>")
           .object(5, "<</Type /Page /Parent 2 0 R /ID <4G> >>")
           .root(1)
           .build()
           .bytes,
       "obj 5 dict cannot be sanitized to valid PDF and is referenced by a non-page object - "
       "refusing to emit a false-green file"},
      {"the only page is dead: /Count drops to 0",
       tree("<</Type /Pages /Kids [5 0 R] /Count 1>>")
           .object(5, "<</Type /Page /Parent 2 0 R /ID <4G> >>")
           .build()
           .bytes,
       no_page_tree},
      {"catalog is a stream",
       PdfBuilder()
           .stream(1, "/Type/Catalog/Pages 2 0 R", "BT ET")
           .object(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>")
           .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>")
           .root(1)
           .build()
           .bytes,
       no_page_tree},
      {"catalog without /Pages", tree(one_kid, "<</Type/Catalog/Outlines 2 0 R>>").build().bytes, no_page_tree},
      {"/Pages is a name", tree(one_kid, "<</Type/Catalog/Pages /P 2 0 R>>").build().bytes, no_page_tree},
      {"/Pages dangles", tree(one_kid, "<</Type/Catalog/Pages 9 0 R/X 2 0 R>>").build().bytes, no_page_tree},
      {"node is a stream",
       PdfBuilder()
           .object(1, "<</Type/Catalog/Pages 2 0 R>>")
           .stream(2, "/Type /Pages /Kids [3 0 R] /Count 1", "")
           .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>")
           .root(1)
           .build()
           .bytes,
       no_page_tree},
      {"/Count 0", tree("<</Type /Pages /Kids [] /Count 0>>").build().bytes, no_page_tree},
      {"/Count above /Size", tree("<</Type /Pages /Kids [3 0 R] /Count 6>>").build().bytes, no_page_tree},
      {"/Count 2^32 + 1 does not wrap to 1",
       tree("<</Type /Pages /Kids [3 0 R] /Count 4294967297>>").build().bytes, no_page_tree},
      {"/Count negative", tree("<</Type /Pages /Kids [3 0 R] /Count -1>>").build().bytes, no_page_tree},
      {"content filter unknown", contents("4 0 R", "/Filter /JPEGDecode").build().bytes, undecodable(4)},
      {"content filter unknown in an array",
       contents("4 0 R", "/Filter [/AHx /Fl /Foo]").build().bytes, undecodable(4)},
      {"second content stream",
       contents("[4 0 R 5 0 R]", "/Filter/AHx", "/Filter/AHx#").build().bytes, undecodable(5)},
      {"escape decoded to an unknown name", contents("4 0 R", "/Filter /AHx#20").build().bytes, undecodable(4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pdfrepair_cleanup();
    pdfrepair_init();
    EXPECT_EQ(repair(c.bytes), "");
    EXPECT_EQ(std::string(pdfrepair_last_error()).rfind(c.message, 0), 0u) << pdfrepair_last_error();
  }
}

TEST_F(Repair, WritesCatalogsThatLeadToAPageAndContentReadersDecode) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"/Pages a direct dictionary",
       PdfBuilder()
           .object(1, "<</Type/Catalog/Pages <</Type/Pages/Kids [3 0 R]/Count 1>> >>")
           .object(3, "<</Type /Page /MediaBox [0 0 612 792]>>")
           .root(1)
           .build()
           .bytes},
      {"/Count a reference",
       tree("<</Type /Pages /Kids [3 0 R] /Count 9 0 R>>").object(9, "1").build().bytes},
      {"/Count equal to /Size", tree("<</Type /Pages /Kids [3 0 R] /Count 5>>").build().bytes},
      {"/Pages names the page itself",
       PdfBuilder()
           .object(1, "<</Type/Catalog/Pages 3 0 R>>")
           .object(3, "<</Type /Page /MediaBox [0 0 612 792]>>")
           .root(1)
           .build()
           .bytes},
      {"abbreviated and escaped filters",
       contents("[4 0 R 5 0 R]", "/Filter [/AHx]", "/Filter /ASCII#48exDecode").build().bytes},
      {"an unknown filter outside page content",
       contents("4 0 R", "/Filter/AHx", "/Filter /Foo")
           .object(6, "<</Type/Font/X 5 0 R>>")
           .object(1, "<</Type/Catalog/Pages 2 0 R/F 6 0 R>>")
           .build()
           .bytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string in = dir.write("in.pdf", c.bytes);
    EXPECT_EQ(pdfrepair_fix(in.c_str(), dir.path("out.pdf").c_str()), 1) << pdfrepair_last_error();
  }
}

TEST_F(Repair, RefusesFilesOf2GiBOrMoreAsTooLarge) {
  // Sparse files: 4 GiB + 1 would wrap to a 1-byte count, 2 GiB to a negative one.
  for (std::uintmax_t size : {std::uintmax_t{1} << 31, (std::uintmax_t{1} << 32) + 1}) {
    SCOPED_TRACE(size);
    const std::string in = dir.write("huge.pdf", document().build().bytes);
    std::error_code ec;
    std::filesystem::resize_file(in, size, ec);
    if (ec) GTEST_SKIP() << "cannot make a sparse file here: " << ec.message();
    EXPECT_EQ(pdfrepair_fix(in.c_str(), dir.path("out.pdf").c_str()), 0);
    EXPECT_EQ(pdfrepair_last_error(), "file too large (2 GiB or more): " + in);
  }
}

TEST_F(Repair, RefusesPathsItCannotUse) {
  const std::string good = dir.write("good.pdf", document().build().bytes);
  const std::string missing = dir.path("missing.pdf");
  const std::string out = dir.path("out.pdf");
  const std::string missing_dir = dir.path("no/such/dir/out.pdf");
  struct Case {
    const char* name;
    const char* in;
    const char* out;
    std::string message;
  } cases[] = {
      {"null input", nullptr, "out.pdf", "NULL path argument"},
      {"null output", good.c_str(), nullptr, "NULL path argument"},
      {"missing input", missing.c_str(), out.c_str(), "cannot open " + missing},
      {"output folder missing", good.c_str(), missing_dir.c_str(), "cannot write " + missing_dir},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(pdfrepair_fix(c.in, c.out), 0);
    EXPECT_EQ(pdfrepair_last_error(), c.message);
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(Repair, FailedRepairLeavesTheOutputUntouched) {
  const std::string out = dir.write("out.pdf", "the user's only copy");
  const std::string in = dir.write("in.pdf", "%PDF-1.4\nnot a pdf\n");
  EXPECT_EQ(pdfrepair_fix(in.c_str(), out.c_str()), 0);
  EXPECT_EQ(pdftest::TempDir::read(out), "the user's only copy");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path("")), {}), 2);  // no leftovers
}

TEST_F(Repair, RepairsInPlaceWhenInputAndOutputAreOneFile) {
  const std::string path = dir.write("doc.pdf", document().build_body().bytes);  // no xref table
  ASSERT_EQ(pdfrepair_fix(path.c_str(), path.c_str()), 1);
  EXPECT_EQ(pdftest::qpdf_check(path).status, 0);
  EXPECT_EQ(pdftest::pdfinfo_pages(path), 1);
}

TEST_F(Repair, BothEntryPointsWriteTheSameBytes) {
  const std::string in = dir.write("in.pdf", document().info(1).build().bytes);
  ASSERT_EQ(pdfrepair_fix(in.c_str(), dir.path("a.pdf").c_str()), 1);
  ASSERT_EQ(pdfrepair_rebuild_xref(in.c_str(), dir.path("b.pdf").c_str()), 1);
  EXPECT_EQ(pdftest::TempDir::read(dir.path("a.pdf")), pdftest::TempDir::read(dir.path("b.pdf")));
}

TEST_F(Repair, KeepsWhatIsReferenced) {
  struct Case {
    const char* name;
    std::string bytes;
    Numbers expected;
  } cases[] = {
      {"intact document", document().build().bytes, {1, 2, 3, 4}},
      {"orphan dropped", document().object(9, "<</Type/Font>>").build().bytes, {1, 2, 3, 4}},
      {"kept through /Info only", document().object(9, "<</Title (t)>>").info(9).build().bytes,
       {1, 2, 3, 4, 9}},
      {"objects referring to each other stay",
       document().object(8, "<</N 9 0 R>>").object(9, "<</N 8 0 R>>").build().bytes,
       {1, 2, 3, 4, 8, 9}},
      {"a reference held by an array object is followed",
       document().object(8, "[9 0 R]").object(9, "<</X 1>>").object(10, "<</A 8 0 R>>").info(10)
           .build().bytes,
       {1, 2, 3, 4, 8, 9, 10}},
      {"an array object nothing refers to goes with what only it references",
       document().object(8, "[9 0 R]").object(9, "<</X 1>>").build().bytes, {1, 2, 3, 4}},
      {"object 0x800000 is never written",
       PdfBuilder()
           .object(1, "<</Type/Catalog/Pages 2 0 R/Big 8388608 0 R>>")
           .object(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>")
           .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>")
           .object(8388608, "<</X 1>>")
           .build_body()
           .bytes,
       {1, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(written_objects(repair(c.bytes)), c.expected);
  }
}

TEST_F(Repair, GraphPruneStopsAfterEightIterations) {
  // A chain 10 -> 11 -> ... -> 21 that nothing refers to: one link goes per iteration.
  PdfBuilder b = document();
  for (int n = 10; n < 22; ++n) b.object(n, n < 21 ? "<</Next " + std::to_string(n + 1) + " 0 R>>" : "<<>>");
  EXPECT_EQ(written_objects(repair(b.build().bytes)), (Numbers{1, 2, 3, 4, 18, 19, 20, 21}));
}

TEST_F(Repair, ChoosesOneVersionOfEachObject) {
  const std::string packed = "3 0 <</Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R>>";
  struct Case {
    const char* name;
    std::string bytes;
    std::string page_box;
  } cases[] = {
      {"the later body definition wins",
       document().object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R>>")
           .build().bytes,
       "[0 0 200 200]"},
      {"a body object wins over a packed one after it",
       document().stream(6, "/Type/ObjStm/N 1/First 4", packed).build().bytes, "[0 0 612 792]"},
      // Without a table: one listing object 3 as free would delete it.
      {"the packed object is used when the body has none",
       PdfBuilder()
           .stream(6, "/Type/ObjStm/N 1/First 4", packed)
           .object(1, "<</Type/Catalog/Pages 2 0 R>>")
           .object(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>")
           .stream(4, "", "BT ET")
           .build_body()
           .bytes,
       "[0 0 100 100]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = repair(c.bytes);
    EXPECT_NE(written_object(out, 3).find(c.page_box), std::string::npos) << written_object(out, 3);
    EXPECT_EQ(written_objects(out).count(6), 0u);  // a container is never written
  }
}

TEST_F(Repair, WritesTheCatalogInfoAndIdItChose) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* trailer;  // from /Root to the end of the dictionary
  } cases[] = {
      {"trailer /Root and /Info", document().info(1).build().bytes, "/Root 1 0 R/Info 1 0 R>>"},
      {"/Root names a missing object: the /Catalog dictionary",
       PdfBuilder()
           .object(7, "<</Type /Catalog /Pages 2 0 R>>")
           .object(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>")
           .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>")
           .root(5)
           .build()
           .bytes,
       "/Root 7 0 R>>"},
      {"/Info naming a missing object is left out", document().info(9).build().bytes, "/Root 1 0 R>>"},
      {"a dead /Info is removed and left out",
       document().object(9, "<</Title (t) /X <4G>>>").info(9).build().bytes, "/Root 1 0 R>>"},
      {"/ID of two hex strings copied byte for byte",
       document().trailer_entries("/ID [<0123ab> <CDEF\n01>]").build().bytes,
       "/Root 1 0 R/ID[<0123ab> <CDEF\n01>]>>"},
      {"/ID of literal strings with escapes and nesting",
       document().trailer_entries("/ID[(a(b)c)(\\)x)]").build().bytes, "/Root 1 0 R/ID[(a(b)c)(\\)x)]>>"},
      {"/ID of one string is left out", document().trailer_entries("/ID [<01>]").build().bytes,
       "/Root 1 0 R>>"},
      {"/ID with a comment inside is left out",
       document().trailer_entries("/ID [<01> %c\n<02>]").build().bytes, "/Root 1 0 R>>"},
      {"/ID with a bad hex digit is left out",
       document().trailer_entries("/ID [<0G> <02>]").build().bytes, "/Root 1 0 R>>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = repair(c.bytes);
    const std::size_t root = out.rfind("/Root");
    ASSERT_NE(root, std::string::npos);
    EXPECT_EQ(out.substr(root, out.find(">>", root) + 2 - root), c.trailer);
    EXPECT_EQ(written_objects(out).count(9), 0u);
  }
}

// A page without a box of its own takes its parents' (the key is inheritable): it gets the
// default only when no ancestor has one.
TEST_F(Repair, GivesTheDefaultBoxOnlyToPagesThatInheritNone) {
  const auto pages = [](std::string_view node, std::string_view page) {
    return PdfBuilder()
        .object(1, "<</Type/Catalog/Pages 2 0 R>>")
        .object(2, node)
        .object(5, std::string("<</Type/Pages/Kids[3 0 R]/Count 1/Parent 2 0 R>>"))
        .object(3, page)
        .root(1)
        .build()
        .bytes;
  };
  struct Case {
    const char* name;
    std::string bytes;
    bool defaulted;
  } cases[] = {
      {"box on the root node", pages("<</Type/Pages/Kids[5 0 R]/Count 1/MediaBox[0 0 595.2756 841.8898]>>",
                                     "<</Type/Page/Parent 5 0 R>>"),
       false},
      {"box on no node", pages("<</Type/Pages/Kids[5 0 R]/Count 1>>", "<</Type/Page/Parent 5 0 R>>"), true},
      {"a compact page without a box anywhere",
       pages("<</Type/Pages/Kids[5 0 R]/Count 1>>", "<</Type/Page/Parent 5 0 R/Rotate 0>>"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string page = written_object(repair(c.bytes), 3);
    EXPECT_EQ(page.find("/MediaBox [0 0 612 792]") != std::string::npos, c.defaulted) << page;
  }
}

// Every allocation of a repair failing in turn: the repair fails with "out of memory" and
// writes nothing, until one run needs no more allocations than were allowed.
TEST_F(Repair, FailsOnAnyAllocationThatFails) {
  const std::string in = (std::filesystem::path(PDFREPAIR_TEST_DATA) / "valid" / "qpdf-objstm.pdf").string();
  const std::string out = dir.path("out.pdf");
  long n = 1;
  for (; n < 100000; ++n) {
    pdfrepair::fail_nth_allocation(n);
    const int fixed = pdfrepair_fix(in.c_str(), out.c_str());
    pdfrepair::fail_nth_allocation(0);
    if (fixed) break;
    SCOPED_TRACE(n);
    ASSERT_STREQ(pdfrepair_last_error(), "out of memory");
    // Nor anything beside it: the new file a repair writes as it goes is removed.
    ASSERT_TRUE(std::filesystem::is_empty(std::filesystem::path(dir.path(""))));
  }
  EXPECT_GT(n, 20);  // the repair did allocate
  // The check goes on with less, and still answers.
  for (long k = 1; k < n; k += 7) {
    pdfrepair::fail_nth_allocation(k);
    EXPECT_NE(pdfrepair_check(in.c_str()), nullptr);
    pdfrepair::fail_nth_allocation(0);
  }
}

TEST_F(Repair, RemovesDeadPagesUnderPagesNodes) {
  const std::string out = repair(PdfBuilder()
                                     .object(1, "<</Type/Catalog/Pages 2 0 R>>")
                                     .object(2, "<</Type /Pages /Kids [3 0 R 5 0 R] /Count 2>>")
                                     .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>")
                                     .object(5, "<</Type /Page /Parent 2 0 R /ID <4G> >>")
                                     .root(1)
                                     .build()
                                     .bytes);
  EXPECT_EQ(written_objects(out), (Numbers{1, 2, 3}));
  const std::string pages = written_object(out, 2);
  EXPECT_NE(pages.find("/Kids [3 0 R]"), std::string::npos) << pages;
  EXPECT_NE(pages.find("/Count 1"), std::string::npos) << pages;
}

TEST_F(Repair, RebuildsDamagedFilesThatReadersOpen) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"no xref table", document().build_body().bytes},
      {"xref offsets wrong", [] {
         pdftest::Pdf pdf = document().build();
         pdf.overwrite(pdf.xref_off + 30, "9");
         return pdf.bytes;
       }()},
      {"stream /Length wrong", document({.length = "3"}).build().bytes},
      {"stream /Length indirect", document({.length = "6 0 R"}).object(6, "26").build().bytes},
      {"truncated after the last object", [] {
         pdftest::Pdf pdf = document().build();
         return pdf.bytes.substr(0, pdf.xref_off);
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(repair(c.bytes), "") << pdfrepair_last_error();
  }
}

// Compressed content that no longer decodes whole is written again holding what still
// decodes, in zlib data every reader accepts; sound data is copied as it is.
TEST_F(Repair, KeepsWhatDamagedCompressedDataStillHolds) {
  const std::string content = pdftest::page_content();
  const std::string whole = pdftest::deflated(content);
  const auto page_with = [](const std::string& data) {
    return PdfBuilder()
        .object(1, "<</Type/Catalog/Pages 2 0 R>>")
        .object(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>")
        .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                   "/Resources <</Font <</F1 5 0 R>>>>>>")
        .stream(4, "/Filter /FlateDecode", data)
        .object(5, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica>>")
        .root(1)
        .build()
        .bytes;
  };
  std::string zeroed = whole;
  zeroed.replace(40, 30, 30, '\0');
  struct Case {
    const char* name;
    std::string data;
    bool copied;  // written as it is
  } cases[] = {
      {"sound data", whole, true},
      {"zeroes in the middle", zeroed, false},
      {"cut inside a block", whole.substr(0, whole.size() / 2), false},
      {"not zlib data at all", "not zlib", false},
  };
  const std::string in = dir.path("in.pdf"), out = dir.path("out.pdf");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write("in.pdf", page_with(c.data));
    ASSERT_EQ(pdfrepair_fix(in.c_str(), out.c_str()), 1) << pdfrepair_last_error();
    const std::string stream = written_object(pdftest::TempDir::read(out), 4);
    EXPECT_EQ(stream.find(c.data) != std::string::npos, c.copied);
    EXPECT_EQ(stream.find("stream\nx\x01") != std::string::npos, !c.copied) << stream;
    // Content cut short may end inside a token, which qpdf warns about; the data decodes.
    const pdftest::RunResult qpdf = pdftest::qpdf_check(out);
    EXPECT_NE(qpdf.status, 2) << qpdf.output;
    EXPECT_EQ(qpdf.output.find("inflate"), std::string::npos) << qpdf.output;
    EXPECT_EQ(pdftest::pdfinfo_pages(out), 1);
  }
}

}  // namespace

namespace {

// A two-page document with an outline (objects 7 and 8) and an annotation (9), and an update
// appended to it whose section frees objects 7, 8 and 9 while the catalog and the page still
// name them, as a deleting save leaves them. `damaged` gives that section a wrong entry too.
std::string with_deleting_update(bool damaged) {
  const pdftest::Pdf base =
      PdfBuilder()
          .object(1, "<</Type/Catalog/Pages 2 0 R/Outlines 7 0 R>>")
          .object(2, "<</Type /Pages /Kids [3 0 R 5 0 R] /Count 2>>")
          .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Annots [9 0 R]>>")
          .stream(4, "", "BT /F1 12 Tf 72 700 Td (Hello) Tj ET")
          .object(5, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 4 0 R>>")
          .object(7, "<</Type/Outlines/First 8 0 R/Last 8 0 R/Count 1>>")
          .object(8, "<</Title (Chapter) /Parent 7 0 R /Dest [3 0 R /Fit]>>")
          .object(9, "<</Type/Annot/Subtype/Text/Rect [10 10 50 50]/Contents (note)>>")
          .root(1)
          .build();
  std::string table = "xref\n7 3\n0000000008 00001 f \n0000000009 00001 f \n0000000000 00001 f \n";
  if (damaged) table += "1 1\n0000000005 00000 n \n";
  return base.bytes + table + "trailer\n<</Size 10/Root 1 0 R/Prev " + std::to_string(base.xref_off) +
         ">>\nstartxref\n" + std::to_string(base.size()) + "\n%%EOF\n";
}

TEST_F(Repair, WhatAnUpdateDeletedStaysDeletedWhenItsSectionIsSound) {
  struct Case {
    const char* name;
    bool damaged;
    Numbers written;
  } cases[] = {
      {"a sound section deletes", false, {1, 2, 3, 4, 5}},
      {"a damaged section deletes nothing", true, {1, 2, 3, 4, 5, 7, 8, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = with_deleting_update(c.damaged);
    const std::string in = dir.write("update.pdf", bytes);
    const std::string out = repair(bytes, 2);
    EXPECT_EQ(written_objects(out), c.written);
    // Readers show the sound input without the deleted outline, and so the repair shows it.
    if (!c.damaged) {
      EXPECT_EQ(pdftest::mutool_outline(dir.path("out.pdf")), pdftest::mutool_outline(in));
    }
  }
}

}  // namespace
