// Header, xref table and trailer: the last startxref, the first subsection only, entry lines
// split at LF, trailers for /Root and /Info, the /Prev chain of sections written as objects
// and its limit, the "%PDF-" header and its version text.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "pdfrepair/discovery.h"
#include "support/pdf_builder.h"

namespace {

using namespace pdfrepair;
using pdftest::Bytes;
using pdftest::PdfBuilder;

struct Parsed {
  explicit Parsed(std::string_view text) : bytes(text) { parse_xref(bytes.data(), bytes.size(), xi); }
  Bytes bytes;
  xref_info xi;
};

// A file whose startxref names offset 9, where body begins, just after the header line.
std::string at_nine(std::string_view body) {
  return "%PDF-1.4\n" + std::string(body) + "startxref\n9\n%%EOF\n";
}

// A 20-byte entry line.
std::string entry(int offset, char type = 'n', int gen = 0) {
  char line[32];
  std::snprintf(line, sizeof line, "%010d %05d %c \n", offset, gen, type);
  return line;
}

TEST(ParseXref, ReadsAClassicTableAndItsTrailer) {
  PdfBuilder builder;
  builder.object(1, "<</Type/Catalog/Pages 2 0 R>>")
      .object(2, "<</Type/Pages/Kids[]/Count 0>>")
      .object(3, "(three)", 7)
      .object(5, "<</Producer(x)>>")
      .root(1);
  const pdftest::Pdf pdf = builder.build();
  const Parsed p(pdf.bytes);
  const xref_info& xi = p.xi;
  EXPECT_EQ(xi.has_startxref, 1);
  EXPECT_EQ(xi.startxref, pdf.xref_off);
  EXPECT_EQ(xi.has_xref, 1);
  EXPECT_EQ(xi.xref_first, 0);
  ASSERT_EQ(xi.xref_size, 6);
  EXPECT_EQ(xi.root_num, 1);
  EXPECT_EQ(xi.info_num, -1);
  EXPECT_EQ(pdf.bytes.compare(pdf.offset(3), 7, "3 7 obj"), 0);
  EXPECT_EQ(pdf.bytes.compare(pdf.keyword(3), 3, "obj"), 0);
  EXPECT_EQ(xi.has_header, 1);
  EXPECT_STREQ(xi.version, "1.4");
  struct Slot {
    int num, off, gen, used;
  } slots[] = {
      {0, -1, 0, 0},           {1, pdf.offset(1), 0, 1}, {2, pdf.offset(2), 0, 1},
      {3, pdf.offset(3), 7, 1}, {4, -1, 0, 0},          {5, pdf.offset(5), 0, 1},
  };
  for (const Slot& s : slots) {
    SCOPED_TRACE(s.num);
    EXPECT_EQ(xi.xref_off[s.num], s.off);
    EXPECT_EQ(xi.xref_gen[s.num], s.gen);
    EXPECT_EQ(xi.xref_used[s.num], s.used);
  }
}

TEST(ParseXref, FindsTheStartxrefValue) {
  const std::string table = "xref\n0 2\n" + entry(0, 'f', 65535) + entry(40);
  struct Case {
    const char* name;
    std::string text;
    int has_startxref, startxref, has_xref;
  } cases[] = {
      {"the last of two startxref wins", at_nine(table + "startxref\n3\n"), 1, 9, 1},
      {"an earlier one is ignored", "%PDF-1.4\n" + table + "startxref\n9\nstartxref\n3\n", 1, 3, 0},
      {"startxref inside a word is not one", at_nine(table) + "xstartxref 0\n", 1, 9, 1},
      {"comments before the value", "%PDF-1.4\n" + table + "startxref %c\n 9", 1, 9, 1},
      {"no startxref", "%PDF-1.4\n" + table, 0, -1, 0},
      {"no value", "%PDF-1.4\n" + table + "startxref\n", 0, -1, 0},
      {"a negative value", "%PDF-1.4\n" + table + "startxref\n-9\n", 0, -1, 0},
      {"value 4294967305 wraps to 9", "%PDF-1.4\n" + table + "startxref\n4294967305", 1, 9, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(c.text);
    EXPECT_EQ(p.xi.has_startxref, c.has_startxref);
    EXPECT_EQ(p.xi.startxref, c.startxref);
    EXPECT_EQ(p.xi.has_xref, c.has_xref);
  }
}

TEST(ParseXref, StartxrefMustLieInsideTheFile) {
  // "xref" at 0 and a trailer with /Root: only the value's range decides.
  const std::string head = "xref\n0 1\n" + entry(0, 'f', 65535) + "trailer\n<</Root 1 0 R>>\n";
  const int len_with_value_len = static_cast<int>(head.size() + std::string("startxref\nNN").size());
  struct Case {
    const char* name;
    int value;
    int has_startxref;
  } cases[] = {
      {"the last byte", len_with_value_len - 1, 1},
      {"one past the end", len_with_value_len, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(head + "startxref\n" + std::to_string(c.value));
    ASSERT_EQ(p.bytes.size(), len_with_value_len);
    EXPECT_EQ(p.xi.has_startxref, c.has_startxref);
    EXPECT_EQ(p.xi.has_xref, 0);  // the byte named is not "xref", so no trailer is read
    EXPECT_EQ(p.xi.root_num, -1);
  }
  const Parsed at_zero(head + "startxref\n0");
  EXPECT_EQ(at_zero.xi.has_xref, 1);
  EXPECT_EQ(at_zero.xi.root_num, 1);
}

TEST(ParseXref, RecordsOnlyWellFormedEntryLines) {
  // Subsection 0 3: the line under test describes object 1; object 2's line follows it.
  struct Case {
    const char* name;
    std::string line;
    int off, gen, used;
  } cases[] = {
      {"a 20-byte line", "0000000100 00000 n \n", 100, 0, 1},
      {"CR LF ending", "0000000100 00003 n\r\n", 100, 3, 1},
      {"exactly 18 bytes", "0000000100 00000 n\n", 100, 0, 1},
      {"bytes after the 18th are ignored", "0000000100 00000 nGARBAGE\n", 100, 0, 1},
      {"VT and TAB as separators", "0000000100\v00000\tn\n", 100, 0, 1},
      {"an offset of ten nines wraps", "9999999999 00000 n \n", 1410065407, 0, 1},
      {"17 bytes are too short", "0000000100 00000n\n", -1, 0, 0},
      {"a letter among the offset digits", "00000001x0 00000 n \n", -1, 0, 0},
      {"a missing separator", "0000000100_00000 n \n", -1, 0, 0},
      {"NUL is no separator here", std::string("0000000100\0" "00000 n \n", 20), -1, 0, 0},
      {"a letter in the generation", "0000000100 0000x n \n", -1, 0, 0},
      {"type f", "0000000100 00000 f \n", -1, 0, 0},
      {"type x", "0000000100 00000 x \n", -1, 0, 0},
      {"type N", "0000000100 00000 N \n", -1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(at_nine("xref\n0 3\n" + entry(0, 'f', 65535) + c.line + entry(200, 'n', 4) +
                           "trailer\n<<>>\n"));
    ASSERT_EQ(p.xi.xref_size, 3);
    EXPECT_EQ(p.xi.xref_off[1], c.off);
    EXPECT_EQ(p.xi.xref_gen[1], c.gen);
    EXPECT_EQ(p.xi.xref_used[1], c.used);
    // Whatever the line held, the next line describes the next object.
    EXPECT_EQ(p.xi.xref_off[2], 200);
    EXPECT_EQ(p.xi.xref_gen[2], 4);
    EXPECT_EQ(p.xi.xref_used[2], 1);
  }
}

TEST(ParseXref, SplitsEntryLinesAtLfOnly) {
  struct Case {
    const char* name;
    std::string header, lines;
    std::vector<int> offsets;  // objects 0 to 3
  } cases[] = {
      {"LF lines", "1 3\n", entry(10) + entry(20) + entry(30), {-1, 10, 20, 30}},
      {"CR-only lines are one long line",
       "1 3\n", "0000000010 00000 n\r0000000020 00000 n\r0000000030 00000 n\r", {-1, 10, -1, -1}},
      {"CR LF after the subsection header is skipped", "1 3\r\n", entry(10) + entry(20) + entry(30),
       {-1, 10, 20, 30}},
      {"blank lines after the header are skipped", "1 3\n\r\n\n", entry(10) + entry(20) + entry(30),
       {-1, 10, 20, 30}},
      // The space is not skipped: the rest of the header's line is object 1's (too short).
      {"a space after the subsection header shifts the entries", "1 3 \n",
       entry(10) + entry(20) + entry(30), {-1, -1, 10, 20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(at_nine("xref\n" + c.header + c.lines + "trailer\n<</Root 1 0 R>>\n"));
    EXPECT_EQ(p.xi.has_xref, 1);
    EXPECT_EQ(p.xi.xref_first, 1);
    ASSERT_EQ(p.xi.xref_size, 4);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(p.xi.xref_off[k], c.offsets[k]) << "object " << k;
    EXPECT_EQ(p.xi.root_num, 1);  // the trailers are read however the table ended
  }
}

TEST(ParseXref, RecordsOnlyTheFirstSubsection) {
  struct Case {
    const char* name;
    std::string table;
    std::vector<int> offsets;
  } cases[] = {
      {"a later subsection beyond the first", "0 1\n" + entry(0, 'f', 65535) + "5 2\n" + entry(50) + entry(60),
       {-1}},
      {"a later subsection within the first", "0 3\n" + entry(0, 'f', 65535) + entry(10) + entry(20, 'f') +
                                                  "1 2\n" + entry(50) + entry(60),
       {-1, 10, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(at_nine("xref\n" + c.table + "trailer\n<</Root 5 0 R>>\n"));
    EXPECT_EQ(p.xi.has_xref, 1);
    ASSERT_EQ(p.xi.xref_size, static_cast<int>(c.offsets.size()));
    for (int k = 0; k < p.xi.xref_size; ++k) EXPECT_EQ(p.xi.xref_off[k], c.offsets[k]) << "object " << k;
    EXPECT_EQ(p.xi.root_num, 5);  // the later subsections were read over up to the trailer
  }
}

TEST(ParseXref, LimitsTheFirstSubsectionHeader) {
  struct Case {
    const char* name;
    std::string header;
    int has_xref, size;
  } cases[] = {
      {"count 1", "0 1", 1, 1},
      {"count 0 is an empty subsection, as hybrid files write", "0 0", 1, 0},
      {"count 10000001", "0 10000001", 0, 0},
      {"count 4294967297 wraps to 1", "0 4294967297", 1, 1},
      {"count 4294967296 wraps to 0", "0 4294967296", 1, 0},
      {"negative count", "0 -1", 0, 0},
      {"first 8388608", "8388608 1", 1, 8388609},
      {"first 8388609", "8388609 1", 0, 0},
      {"first 4294967296 wraps to 0", "4294967296 1", 1, 1},
      {"first 2147483648 wraps negative", "2147483648 1", 0, 0},
      {"no count", "0 x", 0, 0},
      {"an entry line where the header should be", "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(at_nine("xref\n" + c.header + "\n" + entry(0, 'f', 65535) +
                           "trailer\n<</Root 3 0 R>>\n"));
    EXPECT_EQ(p.xi.has_xref, c.has_xref);
    EXPECT_EQ(p.xi.xref_size, c.size);
    EXPECT_EQ(p.xi.xref_off != nullptr, c.size > 0);
    EXPECT_EQ(p.xi.root_num, 3);  // the trailers are read whatever the table's fate
  }
}

TEST(ParseXref, CountMustFitTheRemainingBytes) {
  // After the count, the bytes left allow count <= (left / 18) + 1.
  const std::string tail = "\n" + entry(0, 'f', 65535) + entry(0, 'f') + "startxref\n0\n";  // 53 bytes
  ASSERT_EQ(tail.size(), 53u);
  struct Case {
    const char* name;
    std::string text;
    int has_xref;
  } cases[] = {
      {"53 bytes left allow 3", "xref\n0 3" + tail, 1},
      {"53 bytes left do not allow 4", "xref\n0 4" + tail, 0},
      {"54 bytes left allow 4", "xref\n0 4" + tail + " ", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(c.text);
    EXPECT_EQ(p.xi.has_xref, c.has_xref);
  }
}

TEST(ParseXref, ReadsRootAndInfoFromTheTrailers) {
  const std::string table = "xref\n0 1\n" + entry(0, 'f', 65535);
  struct Case {
    const char* name;
    std::string after_table;
    int root, info;
  } cases[] = {
      {"/Root and /Info in one trailer", "trailer\n<</Root 1 0 R/Info 9 0 R>>\n", 1, 9},
      {"/Info without /Root", "trailer\n<</Info 9 0 R>>\n", -1, 9},
      {"the last trailer with a /Root decides",
       "trailer\n<</Root 1 0 R>>\ntrailer\n<</Root 2 0 R>>\n", 2, -1},
      {"a later trailer without /Root keeps it", "trailer\n<</Root 1 0 R>>\ntrailer\n<</Info 4 0 R>>\n",
       1, 4},
      {"a later trailer's /Info replaces an earlier one's",
       "trailer\n<</Root 1 0 R/Info 3 0 R>>\ntrailer\n<</Root 2 0 R/Info 4 0 R>>\n", 2, 4},
      {"a later unusable /Info keeps it", "trailer\n<</Root 1 0 R/Info 3 0 R>>\ntrailer\n<</Info x>>\n", 1,
       3},
      {"a later unusable /Root keeps it", "trailer\n<</Root 1 0 R>>\ntrailer\n<</Root x>>\n", 1, -1},
      {"the first usable occurrence in a trailer", "trailer\n<</Root -1 /Root 6 0 R /Root 7 0 R>>\n",
       6, -1},
      {"comments before the dictionary", "trailer %c\n<</Root 4 0 R>>\n", 4, -1},
      {"a trailer not opening a dictionary is not read", "trailer\n/Root 4 0 R\n", -1, -1},
      {"a trailer-like word is not a trailer", "xtrailer\n<</Root 4 0 R>>\n", -1, -1},
      // The byte right after the name is passed over unexamined.
      {"space after the name", "trailer\n<</Root 4 0 R>>\n", 4, -1},
      {"sign after the name is passed over", "trailer\n<</Root-4 0 R>>\n", 4, -1},
      {"comment start after the name is passed over", "trailer\n<</Root%x\n4 0 R>>\n", -1, -1},
      {"name continued by a digit is another name", "trailer\n<</Root4 0 R>>\n", -1, -1},
      {"name continued by # counts", "trailer\n<</Root#4 0 R>>\n", 4, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(at_nine(table + c.after_table));
    EXPECT_EQ(p.xi.root_num, c.root);
    EXPECT_EQ(p.xi.info_num, c.info);
  }
}

TEST(ParseXref, ATrailerEndsAtTheNextStartxref) {
  const std::string table = "xref\n0 1\n" + entry(0, 'f', 65535);
  struct Case {
    const char* name;
    std::string text;
    int root;
  } cases[] = {
      {"/Root after startxref is not the trailer's",
       at_nine(table + "trailer\n<</Size 1>>\n") + "/Root 4 0 R>>", -1},
      {"a trailer after the last startxref runs to the end",
       at_nine(table) + "trailer\n<</Root 4 0 R>>", 4},
      {"a trailer before the table is not read",
       "%PDF-1.4\ntrailer\n<</Root 4 0 R>>\n" + table + "startxref\n33\n", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(c.text);
    EXPECT_EQ(p.xi.has_xref, 1);
    EXPECT_EQ(p.xi.root_num, c.root);
  }
}

TEST(ParseXref, DoesNotFollowAClassicTrailersPrev) {
  // An update: the newest table's trailer names the older table through /Prev.
  std::string text = "%PDF-1.4\n";
  const int old_table = static_cast<int>(text.size());
  text += "xref\n0 1\n" + entry(0, 'f', 65535) + "trailer\n<</Root 7 0 R/Info 8 0 R>>\n";
  const int new_table = static_cast<int>(text.size());
  text += "xref\n0 1\n" + entry(0, 'f', 65535) + "trailer\n<</Prev " + std::to_string(old_table) +
          ">>\nstartxref\n" + std::to_string(new_table) + "\n";
  const Parsed p(text);
  EXPECT_EQ(p.xi.has_xref, 1);
  EXPECT_EQ(p.xi.root_num, -1);
  EXPECT_EQ(p.xi.info_num, -1);
}

// Sections written as objects, oldest first: each names the one before it through /Prev.
std::string section_chain(const std::vector<std::string>& dicts, int* newest = nullptr) {
  std::string text = "%PDF-1.5\n";
  int prev = -1;
  int num = 20;
  for (const std::string& dict : dicts) {
    const int at = static_cast<int>(text.size());
    text += std::to_string(num++) + " 0 obj\n<</Type/XRef" + dict;
    if (prev >= 0) text += "/Prev " + std::to_string(prev);
    text += ">>\nstream\n/Root 99 0 R/Info 98 0 R\nendstream\nendobj\n";
    prev = at;
  }
  if (newest) *newest = prev;
  return text + "startxref\n" + std::to_string(prev) + "\n%%EOF\n";
}

TEST(ParseXref, FollowsThePrevChainOfSectionsWrittenAsObjects) {
  struct Case {
    const char* name;
    std::vector<std::string> dicts;  // oldest first
    int root, info;
  } cases[] = {
      {"the newest /Root wins", {"/Root 2 0 R", "/Root 1 0 R"}, 1, -1},
      {"an older /Root fills in", {"/Root 2 0 R", "/Size 3"}, 2, -1},
      {"the stream data is not the dictionary", {"/Size 3"}, -1, -1},
      {"an unusable /Root is passed by", {"/Root 2 0 R", "/Root x"}, 2, -1},
      {"/Info beside /Root", {"/Root 1 0 R/Info 5 0 R"}, 1, 5},
      {"the newest /Info wins", {"/Info 6 0 R", "/Info 5 0 R"}, -1, 5},
      {"an older /Info fills in", {"/Info 6 0 R", "/Root 1 0 R"}, 1, 6},
      // As for /Root, only a section's first /Info is read.
      {"an unusable first /Info is passed by", {"/Info 6 0 R", "/Info x/Info 5 0 R"}, -1, 6},
      {"a sign right after the name is passed over", {"/Info-5 0 R"}, -1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(section_chain(c.dicts));
    EXPECT_EQ(p.xi.has_startxref, 1);
    EXPECT_EQ(p.xi.root_num, c.root);
    EXPECT_EQ(p.xi.info_num, c.info);
    EXPECT_EQ(p.xi.has_xref, 0);
    EXPECT_EQ(p.xi.xref_size, 0);
    EXPECT_EQ(p.xi.xref_off, nullptr);
  }
}

TEST(ParseXref, VisitsAtMost32Sections) {
  struct Case {
    const char* name;
    int sections;  // only the oldest has a /Root
    int root;
  } cases[] = {{"32 sections", 32, 1}, {"33 sections", 33, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> dicts(c.sections);
    dicts[0] = "/Root 1 0 R";
    const Parsed p(section_chain(dicts));
    EXPECT_EQ(p.xi.root_num, c.root);
  }
}

TEST(ParseXref, EndsAPrevLoop) {
  // A section whose /Prev names itself, and two that name each other.
  const std::string self = "%PDF-1.5\n9 0 obj\n<</Prev 9/Root 3 0 R>>\nendobj\nstartxref\n9\n";
  const std::string pair =
      "%PDF-1.5\n9 0 obj\n<</Prev 37>>\nendobj\n"
      "12 0 obj\n<</Prev 9/Root 4 0 R>>\nendobj\nstartxref\n37\n";
  ASSERT_EQ(pair.find("12 0 obj"), 37u);
  EXPECT_EQ(Parsed(self).xi.root_num, 3);
  EXPECT_EQ(Parsed(pair).xi.root_num, 4);
}

TEST(ParseXref, ReadsTheShapesOfASectionWrittenAsAnObject) {
  struct Case {
    const char* name;
    std::string section;  // at offset 9
    int root;
  } cases[] = {
      {"number, generation, obj", "12 0 obj <</Root 3 0 R>>\n", 3},
      {"no generation", "12 obj <</Root 3 0 R>>\n", 3},
      {"comments between the parts", "12 %a\n0 %b\nobj <</Root 3 0 R>>\n", 3},
      {"three numbers", "12 0 0 obj <</Root 3 0 R>>\n", -1},
      {"obj continued by a letter", "12 0 objx <</Root 3 0 R>>\n", -1},
      {"not a digit", "x12 0 obj <</Root 3 0 R>>\n", -1},
      {"not a dictionary: read to the end", "12 0 obj [/Root 3 0 R]\n", 3},
      {"/Prev out of the file ends the chain", "12 0 obj <</Prev 99999/Root 3 0 R>>\n", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(at_nine(c.section));
    EXPECT_EQ(p.xi.has_startxref, 1);
    EXPECT_EQ(p.xi.root_num, c.root);
  }
}

TEST(ParseXref, ReadsPrevFromRightAfterTheName) {
  // The older section, at 9, has the /Root; the newest names it with its /Prev.
  const std::string older = "%PDF-1.5\n20 0 obj\n<</Root 2 0 R>>\nendobj\n";
  struct Case {
    const char* name;
    std::string prev;
    int root;
  } cases[] = {
      {"a space", "/Prev 9", 2},
      {"a sign right after the name is read", "/Prev-9", -1},
      {"a comment right after the name is skipped", "/Prev%c\n9", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int newest = static_cast<int>(older.size());
    const Parsed p(older + "21 0 obj\n<<" + c.prev + ">>\nendobj\nstartxref\n" + std::to_string(newest));
    EXPECT_EQ(p.xi.root_num, c.root);
  }
}

TEST(ParseXref, RecognisesTheNewestSectionAsACrossReferenceStream) {
  const std::string xref_stream = "<</Type /XRef /Size 3 /W [1 2 1]>>\nstream\nxx\nendstream\nendobj\n";
  struct Case {
    const char* name;
    std::string section;  // at offset 9, named by startxref
    int has_xref_stream;
  } cases[] = {
      {"a /Type /XRef dictionary with stream data", "12 0 obj\n" + xref_stream, 1},
      {"white space and comments after obj", "12 0 obj %c\n " + xref_stream, 1},
      {"a CR LF after the stream keyword", "12 0 obj\n<</Type /XRef>>\nstream\r\nxx\nendstream\nendobj\n", 1},
      {"another type", "12 0 obj\n<</Type /ObjStm>>\nstream\nxx\nendstream\nendobj\n", 0},
      {"no type", "12 0 obj\n<</Size 3>>\nstream\nxx\nendstream\nendobj\n", 0},
      {"no stream data", "12 0 obj\n<</Type /XRef /Size 3>>\nendobj\n", 0},
      {"not a dictionary", "12 0 obj\n[/Type /XRef]\nstream\nxx\nendstream\nendobj\n", 0},
      {"the type in the stream data", "12 0 obj\n<</Size 3>>\nstream\n/Type /XRef\nendstream\nendobj\n", 0},
      // The dictionary judged never reaches into the objects after this one's "endobj".
      {"the type in a later object", "12 0 obj\n<</Size 3>>\nendobj\n13 0 obj\n" + xref_stream, 0},
      {"the type in a later object after a damaged endobj",
       "12 0 obj\n<</Size 3>>\nend\xff" "bj\n13 0 obj\n" + xref_stream, 0},
      {"a classic table", "xref\n0 1\n" + entry(0, 'f', 65535) + "trailer\n<</Type /XRef>>\nstream\nxx\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(at_nine(c.section));
    EXPECT_EQ(p.xi.has_startxref, 1);
    EXPECT_EQ(p.xi.has_xref_stream, c.has_xref_stream);
  }
}

TEST(ParseXref, JudgesOnlyTheSectionStartxrefNames) {
  const std::string head = "%PDF-1.5\n";
  const std::string stream_section = "20 0 obj\n<</Type /XRef /Size 3>>\nstream\nxx\nendstream\nendobj\n";
  const std::string plain_section = "20 0 obj\n<</Size 3>>\nendobj\n";
  struct Case {
    const char* name;
    std::string older, newest;
    int has_xref_stream;
  } cases[] = {
      {"only an older section reached through /Prev is one", stream_section, plain_section, 0},
      {"the newest is one", plain_section, stream_section, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string newest = c.newest;
    newest.insert(newest.find(">>"), "/Prev 9");
    const std::string text = head + c.older + newest + "startxref\n" + std::to_string(head.size() + c.older.size());
    const Parsed p(text);
    EXPECT_EQ(p.xi.has_xref_stream, c.has_xref_stream);
  }
}

TEST(ParseXref, AChainReachingAClassicTableReadsIt) {
  // The newest section is an object; its /Prev names a classic table, whose trailer's /Root
  // replaces the object's.
  const std::string head = "%PDF-1.5\n";
  const std::string table = "xref\n0 2\n" + entry(0, 'f', 65535) + entry(77) + "trailer\n<</Root 5 0 R>>\n";
  const int section = static_cast<int>(head.size() + table.size());
  const Parsed p(head + table + "30 0 obj\n<</Prev 9/Root 6 0 R>>\nendobj\nstartxref\n" +
                 std::to_string(section) + "\n");
  EXPECT_EQ(p.xi.has_xref, 1);
  ASSERT_EQ(p.xi.xref_size, 2);
  EXPECT_EQ(p.xi.xref_off[1], 77);
  EXPECT_EQ(p.xi.root_num, 5);
}

TEST(ParseXref, ReadsTheHeaderVersion) {
  struct Case {
    const char* name;
    std::string text;
    int has_header;
    const char* version;
  } cases[] = {
      {"1.7 at offset 0", "%PDF-1.7\n%%EOF", 1, "1.7"},
      {"two-digit minor", "%PDF-1.10\n", 1, "1.10"},
      {"leading dot", "%PDF-.5 \n", 1, ".5"},
      {"a dot only after the first digit", "%PDF-12.5\n", 1, "12"},
      {"letter first: empty text", "%PDF-x1.4\n", 1, ""},
      {"a single dot", "%PDF-1..5\n", 1, "1."},
      {"at most 15 characters", "%PDF-1.23456789012345678\n", 1, "1.2345678901234"},
      {"the first of two headers", "%PDF-1.4 %PDF-1.7", 1, "1.4"},
      {"after a space", " %PDF-1.3\n", 1, "1.3"},
      {"after a byte of 0x80 or more", "\xff%PDF-1.3\n", 1, "1.3"},
      {"after a letter", "x%PDF-1.3\n", 0, ""},
      {"after a digit", "1%PDF-1.3\n", 0, ""},
      {"exactly 8 bytes", "%PDF-1.4", 1, "1.4"},
      {"7 bytes", "%PDF-1.", 0, ""},
      {"at offset 1023", std::string(1023, ' ') + "%PDF-1.6", 1, "1.6"},
      {"at offset 1024", std::string(1024, ' ') + "%PDF-1.6", 0, ""},
      {"version running to the end", "%PDF-1.45", 1, "1.45"},
      {"a header starting in the last 7 bytes", "  %PDF-1.", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed p(c.text);
    EXPECT_EQ(p.xi.has_header, c.has_header);
    EXPECT_STREQ(p.xi.version, c.version);
  }
}

TEST(ParseXref, ResetsEverythingBeforeReading) {
  const pdftest::Pdf pdf = PdfBuilder("%PDF-1.7\n").object(1, "<<>>").root(1).info(1).build();
  Parsed p(pdf.bytes);
  ASSERT_EQ(p.xi.has_xref, 1);
  p.xi.has_xref_stream = 1;  // as a cross-reference stream file would have left it
  // Read again over a buffer that says nothing: the earlier arrays are released (the leak
  // checker watches) and every field is absent.
  const Bytes nothing("nothing here");
  parse_xref(nothing.data(), nothing.size(), p.xi);
  EXPECT_EQ(p.xi.has_startxref, 0);
  EXPECT_EQ(p.xi.has_xref, 0);
  EXPECT_EQ(p.xi.startxref, -1);
  EXPECT_EQ(p.xi.root_num, -1);
  EXPECT_EQ(p.xi.info_num, -1);
  EXPECT_EQ(p.xi.has_header, 0);
  EXPECT_STREQ(p.xi.version, "");
  EXPECT_EQ(p.xi.xref_off, nullptr);
  EXPECT_EQ(p.xi.xref_gen, nullptr);
  EXPECT_EQ(p.xi.xref_used, nullptr);
  EXPECT_EQ(p.xi.xref_size, 0);
  EXPECT_EQ(p.xi.xref_first, 0);
  EXPECT_EQ(p.xi.has_xref_stream, 0);
}

TEST(ParseXref, ReadsNothingFromAnEmptyBuffer) {
  const Parsed p("");
  EXPECT_EQ(p.xi.has_startxref, 0);
  EXPECT_EQ(p.xi.has_header, 0);
  EXPECT_EQ(p.xi.root_num, -1);
}

}  // namespace
