// The validation service end to end, through the exported function on files written to disk:
// every report is one line of JSON with its five members in order.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "pdfrepair.h"
#include "support/pdf_builder.h"
#include "support/report.h"
#include "support/zlib_data.h"
#include "support/temp_dir.h"

namespace {

using pdftest::Issues;
using pdftest::PdfBuilder;
using pdftest::Report;
using pdftest::parse;

class Check : public ::testing::Test {
 protected:
  Report check(const std::string& bytes) { return parse(pdfrepair_check(dir.write("in.pdf", bytes).c_str())); }

  pdftest::TempDir dir;
};

// The bytes with n of them from at set to zero.
std::string zeroed(std::string bytes, std::size_t at, std::size_t n) {
  return bytes.replace(at, n, n, '\0');
}

// A minimal well-formed document: catalog, page tree, one page with its content stream.
PdfBuilder document() {
  PdfBuilder b;
  b.object(1, "<</Type/Catalog/Pages 2 0 R>>")
      .object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
      .object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>")
      .stream(4, "", "BT /F1 12 Tf (Hi) Tj ET")
      .root(1);
  return b;
}

// A document whose page-tree node is given and whose page (object 3) has no box of its own.
PdfBuilder tree_document(std::string_view node) {
  PdfBuilder b;
  b.object(1, "<</Type/Catalog/Pages 2 0 R>>").object(2, node).object(3, "<</Type /Page /Parent 2 0 R>>").root(1);
  return b;
}

TEST_F(Check, WellFormedFileIsValid) {
  const Report r = check(document().build().bytes);
  EXPECT_TRUE(r.valid);
  EXPECT_EQ(r.issues, Issues{});
  EXPECT_EQ(r.objects, 4);
  EXPECT_EQ(r.pages, 1);
  EXPECT_EQ(r.header, "1.4");
}

TEST_F(Check, ReportsEachFamilyOfIssues) {
  struct Case {
    const char* name;
    std::string bytes;
    Issues expected;
  } cases[] = {
      {"no header, no startxref: the root is not examined",
       PdfBuilder("").object(1, "<</Type/Page>>").build_body().bytes,
       {"missing header", "missing startxref", "bad /MediaBox at obj 1"}},
      {"startxref leads nowhere, no root",
       PdfBuilder().object(1, "<</Type/Page/MediaBox[0 0 9 9]>>").build_body().bytes + "startxref\n5\n%%EOF\n",
       {"broken xref", "missing /Root"}},
      {"listed object missing",
       document().list(7, 20).build().bytes,
       {"xref entry for obj 7 points nowhere"}},
      {"listed offset points at the line break before the header",
       [] {
         PdfBuilder b = document();
         return b.list(3, b.offset(3) - 1).build().bytes;
       }(),
       {}},
      {"listed offset points inside the header",
       [] {
         PdfBuilder b = document();
         return b.list(3, b.offset(3) + 1).build().bytes;
       }(),
       {"broken xref (obj 3 offset mismatch)"}},
      {"zeroes inside compressed content",
       document().stream(5, "/Filter /FlateDecode", zeroed(pdftest::deflated(pdftest::page_content()), 40, 30))
           .build().bytes,
       {"damaged compressed data at obj 5"}},
      {"compressed content cut inside a block",
       document().stream(5, "/Filter [/Fl]", pdftest::deflated(pdftest::page_content()).substr(0, 200))
           .build().bytes,
       {"damaged compressed data at obj 5"}},
      {"a first filter spelt with an escape, as the repair reads it",
       document().stream(5, "/Filter /Fl#61teDecode", "xyz").build().bytes,
       {"damaged compressed data at obj 5"}},
      {"content ended by a sync flush is sound",
       document().stream(5, "/Filter /FlateDecode", pdftest::deflated(pdftest::page_content(), Z_SYNC_FLUSH))
           .build().bytes,
       {}},
      {"empty compressed data is sound", document().stream(5, "/Filter /FlateDecode", "").build().bytes, {}},
      {"data behind another first filter is not decoded",
       document().stream(5, "/Filter [/ASCIIHexDecode /FlateDecode]", "78 9c 00>").build().bytes, {}},
      {"a damaged endstream keyword",
       [] {
         pdftest::Pdf pdf = document().build();
         return pdf.invert(pdf.find("endstream") + 5).bytes;
       }(),
       {"missing endstream at obj 4"}},
      {"stream longer than its /Length",
       document().stream(5, "", "0123456789", {.length = "4"}).build().bytes,
       {"wrong /Length at obj 5"}},
      {"Latin-1 and UTF-16 in dictionary strings are text",
       document().object(5, std::string("<</Title (caf\xe9) /Author (\xfe\xff\0A(\0<)) /S 1>>", 41)).build().bytes,
       {}},
      {"Latin-1 outside a string",
       document().object(5, "<</Title /caf\xe9>>").build().bytes,
       {"binary garbage in obj 5 dict"}},
      {"vertical tab in a dictionary",
       document().object(5, "<</A\v1>>").build().bytes,
       {"binary garbage in obj 5 dict"}},
      {"NUL in a dictionary is white space",
       document().object(5, std::string("<</A\0001>>", 8)).build().bytes, {}},
      {"unclosed dictionary",
       document().object(5, "<</A 1").build().bytes,
       {"binary garbage in obj 5 dict"}},
      {"extra closing >>",
       document().object(5, "<</A 1>>>>").build().bytes,
       {"binary garbage in obj 5 dict"}},
      {"Latin-1 in a nested dictionary",
       document().object(5, "<</A<</T /caf\xe9>>>>").build().bytes,
       {"binary garbage in obj 5 dict"}},
      {"two references to one missing object",
       document().object(5, "<</A 9 0 R /B 9 0 R>>").build().bytes,
       {"dangling ref 9"}},
      {"reference shapes",
       document().object(5, "[11 R 12R 13 0R 14 0 R(x) 15 0 R>> 16 0 R]] 17 0 Rx]").build().bytes,
       {"dangling ref 11", "dangling ref 12", "dangling ref 13", "dangling ref 14",
        "dangling ref 15", "dangling ref 16"}},
      {"free object still referenced",
       document().object(5, "<</A 1>>").unlist(5).object(6, "<</B 5 0 R>>").build().bytes,
       {"free object still referenced (obj 5)"}},
      {"no page anywhere",
       PdfBuilder().object(1, "<</Type/Catalog>>").root(1).build().bytes,
       {"no pages found"}},
      {"dead page dictionary",
       document().object(5, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /ID <4G> >>").build().bytes,
       {"dead page dict (unrepairable) - will be pruned"}},
      // What the repair would mend, each text for every record in turn.
      {"an object without endobj, and one whose endobj is damaged",
       document().raw("5 0 obj\n<</A 1>>\n").object(6, "<</B 1>>").raw("7 0 obj\n<</C 1>>\nend\xe6" "bj\n")
           .build().bytes,
       {"missing endobj at obj 5", "missing endobj at obj 7"}},
      {"a header damaged by a stray byte, confirmed by the table",
       [] {
         PdfBuilder b = document();
         const int at = b.size();
         return b.raw("5 0\xa0obj\n<</A 1>>\nendobj\n").list(5, at + 4).build().bytes;
       }(),
       {"broken xref (obj 5 offset mismatch)", "damaged object header at obj 5"}},
      {"a misspelt key, and a valid one name repair leaves alone",
       document().object(5, "<</Typ3 /Font /StructParent 1>>").build().bytes,
       {"misspelt name in obj 5 dict"}},
      {"a page-tree node listing a missing kid",
       tree_document("<</Type/Pages/Kids[3 0 R 9 0 R]/Count 2/MediaBox[0 0 9 9]>>").build().bytes,
       {"wrong /Count at obj 2", "dangling ref 9"}},
      {"a page without a box, and one with an unusable box",
       tree_document("<</Type/Pages/Kids[3 0 R 5 0 R]/Count 2>>")
           .object(5, "<</Type/Page/Parent 2 0 R/MediaBox [0 0 9]>>").build().bytes,
       {"bad /MediaBox at obj 3", "bad /MediaBox at obj 5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Report r = check(c.bytes);
    EXPECT_EQ(r.issues, c.expected);
    EXPECT_EQ(r.valid, c.expected.empty());
  }
}

TEST_F(Check, CountsDictionaryPairsWithoutOverlap) {
  // After a "<<" or ">>" the scan goes on past its second byte.
  struct Case {
    const char* name;
    std::string dict;
  } cases[] = {
      {"nested dictionaries closing together", "<</Font<</F1 3 0 R>>>>"},
      {"three levels closing together", "<</A<</B<</C 1>>>>>>"},
      {"a hex string's > before the closing >>", "<</ID <ab>>>"},
      {"a hex string before nested closings", "<</A<</ID<ab>>>>>"},
      {"nested dictionaries opening together", "<<<</A 1>>>>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Report r = check(document().object(5, c.dict).object(6, "<</X 5 0 R>>").build().bytes);
    EXPECT_EQ(r.issues, Issues{});
    EXPECT_TRUE(r.valid);
  }
}

TEST_F(Check, AcceptsAnIncrementallyUpdatedObject) {
  // The newest table lists the newest version of object 3; the first record is the oldest.
  const std::string updated = "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R>>";
  const Report r = check(document().object(3, updated).build().bytes);
  EXPECT_EQ(r.issues, Issues{});
  EXPECT_TRUE(r.valid);

  // An offset at which no version of the object starts is still wrong.
  PdfBuilder b = document().object(3, updated);
  const Report moved = check(b.list(3, b.offset(3) + 1).build().bytes);
  EXPECT_EQ(moved.issues, (Issues{"broken xref (obj 3 offset mismatch)"}));
}

TEST_F(Check, ObjectsBelowTheFirstSubsectionAreNotFree) {
  // As in a linearized file's first-page table: the subsection starts at object 3, so 1 and 2
  // are not listed at all, yet the trailer and the catalog refer to them.
  const pdftest::Pdf body = document().build_body();
  char entries[64];
  std::snprintf(entries, sizeof entries, "%010d 00000 n \n%010d 00000 n \n", body.offset(3), body.offset(4));
  const std::string bytes = body.bytes + "xref\n3 2\n" + entries + "trailer\n<</Size 5/Root 1 0 R>>\nstartxref\n" +
                            std::to_string(body.size()) + "\n%%EOF\n";
  const Report r = check(bytes);
  EXPECT_EQ(r.issues, Issues{});
  EXPECT_TRUE(r.valid);
}

// The rows of a cross-reference stream with /W [1 2 1] for objects 0 to 5: object 0 free, the
// others in use at the given offsets.
std::string xref_rows(const std::vector<int>& offsets) {
  std::string rows("\x00\x00\x00\xff", 4);
  for (const int off : offsets) rows += std::string{'\x01', static_cast<char>(off >> 8), static_cast<char>(off & 0xff), '\0'};
  return rows;
}

TEST_F(Check, ACrossReferenceStreamIsAnXrefSection) {
  // startxref names object 5, a cross-reference stream holding the /Root, whose entries are
  // judged as a classic table's are.
  const pdftest::Pdf body = document().build_body();
  const auto with_section = [&](const std::string& section) {
    return body.bytes + section + "startxref\n" + std::to_string(body.size()) + "\n%%EOF\n";
  };
  const auto stream_section = [&](const std::string& rows) {
    return with_section("5 0 obj\n<</Type /XRef /Size 6 /W [1 2 1] /Root 1 0 R /Length " +
                        std::to_string(rows.size()) + ">>\nstream\n" + rows + "\nendstream\nendobj\n");
  };
  const std::vector<int> offsets = {body.offset(1), body.offset(2), body.offset(3), body.offset(4), body.size()};
  std::vector<int> wrong = offsets;
  wrong[1] += 3;
  struct Case {
    const char* name;
    std::string bytes;
    Issues expected;
  } cases[] = {
      {"a cross-reference stream", stream_section(xref_rows(offsets)), {}},
      {"an entry of the stream with a wrong offset", stream_section(xref_rows(wrong)),
       {"broken xref (obj 2 offset mismatch)"}},

      {"an object of another type",
       with_section("5 0 obj\n<</Type /ObjStm /Root 1 0 R /Length 4>>\nstream\nabcd\nendstream\nendobj\n"),
       {"broken xref"}},
      {"a dictionary of /Type /XRef without stream data",
       with_section("5 0 obj\n<</Type /XRef /Root 1 0 R>>\nendobj\n"), {"broken xref"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Report r = check(c.bytes);
    EXPECT_EQ(r.issues, c.expected);
    EXPECT_EQ(r.valid, c.expected.empty());
  }
}

// An update appended to a file: its own section lists object 6, its /Prev the older table.
// Every section is read, the older one too.
TEST_F(Check, ReadsEverySectionOfAnUpdatedFile) {
  const pdftest::Pdf base = document().build();
  const auto updated = [&](std::string older) {
    const std::string object = "6 0 obj\n<</X 1>>\nendobj\n";
    const std::string table = "xref\n6 1\n" + std::string(10 - std::to_string(older.size()).size(), '0') +
                              std::to_string(older.size()) + " 00000 n \n";
    const std::size_t xref = older.size() + object.size();
    return older + object + table + "trailer\n<</Size 7/Root 1 0 R/Prev " + std::to_string(base.xref_off) +
           ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  };
  std::string damaged = base.bytes;
  char& digit = damaged[static_cast<std::size_t>(base.xref_off) + 9 + 3 * 20 + 9];  // object 3's offset
  digit = static_cast<char>('0' + (digit - '0' + 3) % 10);
  EXPECT_EQ(check(updated(base.bytes)).issues, Issues{});
  EXPECT_EQ(check(updated(damaged)).issues, Issues{"broken xref (obj 3 offset mismatch)"});
}

TEST_F(Check, KeepsTheFirst32Issues) {
  std::string refs = "[";
  for (int i = 0; i < 40; ++i) refs += std::to_string(100 + i) + " 0 R ";
  const Report r = check(document().object(5, refs + "]").build().bytes);
  ASSERT_EQ(r.issues.size(), 32u);
  EXPECT_EQ(r.issues.front(), "dangling ref 100");
  EXPECT_EQ(r.issues.back(), "dangling ref 131");
  EXPECT_FALSE(r.valid);
}

TEST_F(Check, CountsPagesInObjectStreamsToo) {
  const std::string packed = "7 0 <</Type/Page/Parent 2 0 R>>";
  const Report r = check(document()
                             .stream(6, "/Type/ObjStm/N 1/First 4", packed)
                             .build()
                             .bytes);
  EXPECT_EQ(r.pages, 3);  // the page object, and the packed page twice: file bytes and its text
  EXPECT_EQ(r.objects, 6);
}

TEST_F(Check, FileWithoutObjectsIsInvalid) {
  const Report r = check("%PDF-1.7\nnothing here\n");
  EXPECT_FALSE(r.valid);
  EXPECT_EQ(r.issues, (Issues{"missing startxref"}));
  EXPECT_EQ(r.objects, 0);
  EXPECT_EQ(r.header, "1.7");
}

TEST_F(Check, FixedRepliesAndTheLastError) {
  pdfrepair_cleanup();
  EXPECT_STREQ(pdfrepair_check(dir.path("missing.pdf").c_str()),
               R"({"valid":false,"issues":["cannot open file"],"objects":0,"pages":0,"header":""})");
  EXPECT_EQ(std::string(pdfrepair_last_error()), "cannot open " + dir.path("missing.pdf"));

  EXPECT_STREQ(pdfrepair_check(dir.write("empty.pdf", "").c_str()),
               R"({"valid":false,"issues":["empty file"],"objects":0,"pages":0,"header":""})");
  EXPECT_EQ(std::string(pdfrepair_last_error()), "cannot open " + dir.path("missing.pdf"));

  check(document().build().bytes);  // a completed check leaves the error text alone
  EXPECT_EQ(std::string(pdfrepair_last_error()), "cannot open " + dir.path("missing.pdf"));
}

TEST_F(Check, SharesOneReportBuffer) {
  const char* first = pdfrepair_check(dir.write("a.pdf", document().build().bytes).c_str());
  const char* second = pdfrepair_check(dir.write("b.pdf", "").c_str());
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, R"({"valid":false,"issues":["empty file"],"objects":0,"pages":0,"header":""})");
}

TEST_F(Check, FileOf4GiBPlusOneIsTooLarge) {
  const std::string path = dir.write("huge.pdf", "%PDF-1.4\n");
  std::error_code ec;
  std::filesystem::resize_file(path, (std::uintmax_t{1} << 32) + 1, ec);
  if (ec) GTEST_SKIP() << "cannot make a sparse file here: " << ec.message();
  EXPECT_STREQ(pdfrepair_check(path.c_str()), "");
  EXPECT_EQ(pdfrepair_last_error(), "file too large (2 GiB or more): " + path);
}

}  // namespace
