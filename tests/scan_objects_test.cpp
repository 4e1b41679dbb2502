// The linear object scan: one record per bounded "obj" with a readable header, in keyword
// order; dictionaries found with a single "<"; ends found with the tolerant "endobj", just
// past ">>", or past "endstream"; stream keywords kept from later objects; the damaged-header
// rule and its confirmation by the classic table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pdfrepair/discovery.h"
#include "support/pdf_builder.h"

namespace {

using namespace pdfrepair;
using pdftest::Bytes;
using pdftest::PdfBuilder;

struct Scanned {
  explicit Scanned(std::string_view text) : bytes(text) {
    parse_xref(bytes.data(), bytes.size(), xi);
    scan_pass1(bytes.data(), bytes.size(), table, xi);
  }
  Bytes bytes;
  xref_info xi;
  objvec table;
};

// A position in a case's text: the nth occurrence of needle, plus some bytes; none is -1.
struct At {
  const char* needle = nullptr;
  int nth = 0;
  int plus = 0;
};

int resolve(const std::string& text, const At& at) {
  if (!at.needle) return -1;
  std::size_t pos = text.find(at.needle);
  for (int i = 0; i < at.nth && pos != std::string::npos; ++i) pos = text.find(at.needle, pos + 1);
  EXPECT_NE(pos, std::string::npos) << at.needle;
  return static_cast<int>(pos) + at.plus;
}

struct Expected {
  int num, gen;
  At hdr, dict, stream, end;
};

void expect_records(const std::string& text, const objvec& table, const std::vector<Expected>& expected) {
  ASSERT_EQ(table.count, static_cast<int>(expected.size()));
  for (int i = 0; i < table.count; ++i) {
    SCOPED_TRACE(i);
    const obj_entry& r = table.items[i];
    const Expected& e = expected[i];
    EXPECT_EQ(r.num, e.num);
    EXPECT_EQ(r.gen, e.gen);
    EXPECT_EQ(r.hdr_off, resolve(text, e.hdr));
    EXPECT_EQ(r.dict_off, resolve(text, e.dict));
    EXPECT_EQ(r.stream_kw, resolve(text, e.stream));
    EXPECT_EQ(r.endobj_off, resolve(text, e.end));
    EXPECT_EQ(r.obj_end, r.endobj_off + 6);
    // Stream data is measured later; nothing else is set by the scan.
    EXPECT_EQ(r.data_start, -1);
    EXPECT_EQ(r.data_end, -1);
    EXPECT_EQ(r.data_len, -1);
    EXPECT_EQ(r.has_stream + r.bad_length + r.truncated + r.in_objstm, 0);
    EXPECT_EQ(r.own_text, nullptr);
    EXPECT_EQ(r.refs, nullptr);
    EXPECT_EQ(r.dict_text, nullptr);
  }
}

TEST(ScanPass1, LocatesEachObjectsParts) {
  const std::string next = "2 0 obj\n<</Length 3>>\nstream\nabc\nendstream\nendobj\n";
  struct Case {
    const char* name;
    std::string text;
    std::vector<Expected> records;
  } cases[] = {
      {"a dictionary object", "%PDF-1.4\n1 0 obj\n<</A 1>>\nendobj\n",
       {{1, 0, {"1 0 obj"}, {"<<"}, {}, {"endobj"}}}},
      {"generation 3, no white space around the value", "7 3 obj<</A 1>>endobj",
       {{7, 3, {"7"}, {"<<"}, {}, {"endobj"}}}},
      {"a number", "x 3 0 obj\n42\nendobj\n", {{3, 0, {"3"}, {}, {}, {"endobj"}}}},
      {"an array", "x 3 0 obj\n[<</A 1>>]\nendobj\n", {{3, 0, {"3"}, {}, {}, {"endobj"}}}},
      {"a hex string counts as a dictionary", "x 4 0 obj\n<48656C6C6F>\nendobj\n",
       {{4, 0, {"4"}, {"<4"}, {}, {"endobj"}}}},
      {"a high byte before a single <", "x 5 0 obj\n\xff</A 1>>\nendobj\n",
       {{5, 0, {"5"}, {"\xff"}, {}, {"endobj"}}}},
      {"a high byte without <", "x 5 0 obj\n\xff/A 1\nendobj\n", {{5, 0, {"5"}, {}, {}, {"endobj"}}}},
      {"comments before the value", "x 6 0 obj %c\n<<>>\nendobj\n",
       {{6, 0, {"6"}, {"<<"}, {}, {"endobj"}}}},
      {"a stream object", "x 7 0 obj\n<</Length 3>>\nstream\nabc\nendstream\nendobj\n",
       {{7, 0, {"7"}, {"<<"}, {"stream\n"}, {"endobj"}}}},
      {"an endobj inside stream data ends the object",
       "x 8 0 obj\n<</Length 12>>\nstream\nab endobj cd\nendstream\nendobj\n",
       {{8, 0, {"8"}, {"<<"}, {"stream\n"}, {"endobj"}}}},
      {"an endobj with two damaged letters", "x 9 0 obj\n<<>>\n\xffnd\xff" "bj\n",
       {{9, 0, {"9"}, {"<<"}, {}, {"\xffnd"}}}},
      {"a first object lacking endobj ends past its >>",
       "x 1 0 obj\n<</A 1>>\n2 0 obj\n<</B 2>>\nendobj\n",
       {{1, 0, {"1"}, {"<<"}, {}, {">>", 0, 2}}, {2, 0, {"2"}, {"<</B"}, {}, {"endobj"}}}},
      {"a bare obj between >> and endobj ends it too", "x 1 0 obj\n<<>> (obj) endobj\n",
       {{1, 0, {"1"}, {"<<"}, {}, {">>", 0, 2}}}},
      {"a dictionary with no endobj after it ends past its >>", "x 1 0 obj\n<</A<</B 1>>>>\n",
       {{1, 0, {"1"}, {"<<"}, {}, {">>>>", 0, 4}}}},
      {"strings are passed over by the nesting walk",
       "x 1 0 obj\n<</A(>>)/B(\\)>>)/C((x)>>)>>\n2 0 obj\n5\nendobj\n",
       {{1, 0, {"1"}, {"<<"}, {}, {")>>\n", 0, 3}}, {2, 0, {"2"}, {}, {}, {"endobj"}}}},
      {"an unterminated string runs to the limit", "x 1 0 obj\n<</A(>>\n2 0 obj\n5\nendobj\n",
       {{1, 0, {"1"}, {"<<"}, {}, {"endobj"}}, {2, 0, {"2"}, {}, {}, {"endobj"}}}},
      {"a dictionary closing at the very end of the buffer", "x 1 0 obj <<>>",
       {{1, 0, {"1"}, {"<<"}, {}, {">>", 0, 2}}}},
      {"a damaged << never closes: the endobj ends it", "x 1 0 obj\n\xff</A 1>>\n2 0 obj\n5\nendobj\n",
       {{1, 0, {"1"}, {"\xff"}, {}, {"endobj"}}, {2, 0, {"2"}, {}, {}, {"endobj"}}}},
      // A dictionary whose "endobj" is missing never takes the next object's stream.
      {"the next object's stream: the dictionary ends past its >>", "x 1 0 obj\n<</A 1>>\n" + next,
       {{1, 0, {"1"}, {"<<"}, {}, {">>", 0, 2}}, {2, 0, {"2"}, {"<</L"}, {"stream\n"}, {"endobj"}}}},
      {"a damaged << shares the next object's endobj, not its stream", "x 1 0 obj\n\xff</A 1>>\n" + next,
       {{1, 0, {"1"}, {"\xff"}, {}, {"endobj"}}, {2, 0, {"2"}, {"<</L"}, {"stream\n"}, {"endobj"}}}},
      {"a bare obj is no header", "x 1 0 obj\n<</A(obj)>>\nstream\nabc\nendstream\nendobj\n",
       {{1, 0, {"1"}, {"<<"}, {"stream\n"}, {"endobj"}}}},
      // A stream object with no "endobj" after it ends past its "endstream", or with the file.
      {"no endobj: the end lies past endstream", "x 1 0 obj\n<<>>\nstream\nabc\nendstream\n",
       {{1, 0, {"1"}, {"<<"}, {"stream\n"}, {"endstream", 0, 9}}}},
      {"no endobj: a bounded endstream", "x 1 0 obj\n<<>>\nstream\nabcendstream endstream\n",
       {{1, 0, {"1"}, {"<<"}, {"stream\n"}, {"endstream", 1, 9}}}},
      {"no endobj, no endstream: the end is the buffer's", "x 1 0 obj\n<<>>\nstream\nabc",
       {{1, 0, {"1"}, {"<<"}, {"stream\n"}, {"abc", 0, 3}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Scanned s(c.text);
    expect_records(c.text, s.table, c.records);
  }
}

TEST(ScanPass1, DropsObjectsWithoutAnEnd) {
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"a value that is not a dictionary", "x 1 0 obj\n42\n"},
      {"a dictionary that never closes", "x 1 0 obj\n<</A 1\n"},
      {"a dictionary opening in the last byte", "x 1 0 obj <"},
      {"object number 0", "x 0 0 obj\n<<>>\nendobj\n"},
      {"a letter before the object number", "x1 0 obj\n<<>>\nendobj\n"},
      {"no generation", "x 1 obj\n<<>>\nendobj\n"},
      {"an obj continued by a letter", "x 1 0 objx\n<<>>\nendobj\n"},
      {"a keyword in the last three bytes", "x 1 0 obj"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Scanned(c.text).table.count, 0);
  }
}

TEST(ScanPass1, RecordsEveryHeaderInKeywordOrder) {
  // An update redefines object 1; a header inside stream data and one inside a string are
  // recorded like any other.
  const std::string text =
      "%PDF-1.4\n"
      "1 0 obj\n<</Length 26>>\nstream\n5 0 obj (x) endobj\nq Q\nendstream\nendobj\n"
      "2 0 obj\n<</T(3 0 obj)>>\nendobj\n"
      "1 0 obj\n<</New 1>>\nendobj\n";
  const Scanned s(text);
  expect_records(text, s.table,
                 {
                     {1, 0, {"1 0 obj"}, {"<<"}, {"stream\n"}, {"endobj"}},
                     {5, 0, {"5 0 obj"}, {}, {}, {"endobj"}},
                     {2, 0, {"2 0 obj"}, {"<</T"}, {}, {"endobj", 2}},
                     {3, 0, {"3 0 obj"}, {}, {}, {"endobj", 2}},
                     {1, 0, {"1 0 obj", 1}, {"<</New"}, {}, {"endobj", 3}},
                 });
}

// A file whose object 12 is written with the given header bytes before "obj", and whose
// table lists 12 (generation 5) where `listing` says.
enum class Listing { at_keyword, at_header, after_keyword, free };

struct Damaged {
  std::string text;
  int header_start;  // of the raw object 12
};

Damaged damaged_file(const std::string& header, Listing listing, bool build_table = true) {
  PdfBuilder b;
  b.object(1, "<</Type/Catalog>>");
  const int start = b.size();
  b.raw(header + "obj\n<</A 1>>\nendobj\n");
  const int keyword = start + static_cast<int>(header.size());
  if (listing == Listing::at_keyword) b.list(12, keyword, 5);
  if (listing == Listing::at_header) b.list(12, start, 5);
  if (listing == Listing::after_keyword) b.list(12, keyword + 1, 5);
  b.root(1);
  return {(build_table ? b.build() : b.build_body()).bytes, start};
}

TEST(ScanPass1, AcceptsADamagedHeaderOnlyWhenTheTableConfirmsIt) {
  struct Case {
    const char* name;
    std::string header;
    Listing listing;
    int num, gen;  // num 0: no record for the damaged object
  } cases[] = {
      {"listed at the keyword", "12 0 \xff", Listing::at_keyword, 12, 0},
      {"its own generation digits", "12 7 \xff", Listing::at_keyword, 12, 7},
      {"no space before the stray byte", "12 0\xff", Listing::at_keyword, 12, 0},
      {"separators between stray byte and obj", std::string("12 0 \xff \r\n\t\0", 11), Listing::at_keyword,
       12, 0},
      {"the byte before the generation is not examined", "12x0 \xff", Listing::at_keyword, 12, 0},
      {"nothing is required before the object number", "a12 0 \xff", Listing::at_keyword, 12, 0},
      // Without generation digits the table's generation is taken.
      {"no generation digits", "12 x\xff", Listing::at_keyword, 12, 5},
      {"listed at the header's first digit", "12 0 \xff", Listing::at_header, 0, 0},
      {"listed one byte after the keyword", "12 0 \xff", Listing::after_keyword, 0, 0},
      {"listed as free", "12 0 \xff", Listing::free, 0, 0},
      {"FF is no separator", "12 0 \xff\f", Listing::at_keyword, 0, 0},
      {"a stray byte below 0x80", "12 0 \x7f", Listing::at_keyword, 0, 0},
      {"a single number before the stray byte", "12\xff", Listing::at_keyword, 0, 0},
      {"two stray bytes leave object number 0", "12 0 \xff\xff", Listing::at_keyword, 0, 0},
      {"a number beyond the table", "40 0 \xff", Listing::at_keyword, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Damaged d = damaged_file(c.header, c.listing);
    const Scanned s(d.text);
    ASSERT_GE(s.table.count, 1);
    EXPECT_EQ(s.table.items[0].num, 1);
    const obj_entry* r = find_record(s.table.items, s.table.count, c.num == 0 ? 12 : c.num);
    if (c.num == 0) {
      EXPECT_EQ(r, nullptr);
      EXPECT_EQ(s.table.count, 1);
      continue;
    }
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->gen, c.gen);
    EXPECT_EQ(r->hdr_off, d.header_start + static_cast<int>(c.header.find("12")));
    EXPECT_EQ(r->dict_off, static_cast<int>(d.text.find("<</A 1>>")));
    EXPECT_EQ(r->endobj_off, static_cast<int>(d.text.find("endobj", r->dict_off)));
  }
}

TEST(ScanPass1, DamagedHeaderNeedsTheTableAndAFreeNumber) {
  {
    SCOPED_TRACE("no classic table");
    const Damaged d = damaged_file("12 0 \xff", Listing::at_keyword, false);
    EXPECT_EQ(Scanned(d.text).table.count, 1);
  }
  for (const char* zero : {"0 0 \xff", "4294967296 0 \xff"}) {
    SCOPED_TRACE("object number 0, listed in use at the keyword");
    PdfBuilder b;
    b.object(1, "<<>>");
    const int keyword = b.size() + static_cast<int>(std::strlen(zero));
    b.list(0, keyword).raw(std::string(zero) + "obj\n<</A 1>>\nendobj\n");
    EXPECT_EQ(Scanned(b.build().bytes).table.count, 1);
  }
  {
    SCOPED_TRACE("an intact object 12 comes first");
    PdfBuilder b;
    b.object(12, "<</Old 1>>");
    const int keyword = b.size() + 6;
    b.raw("12 0 \xffobj\n<</A 1>>\nendobj\n").list(12, keyword);
    const Scanned s(b.build().bytes);
    ASSERT_EQ(s.table.count, 1);
    EXPECT_EQ(s.table.items[0].num, 12);
    EXPECT_EQ(s.table.items[0].hdr_off, b.offset(12));
  }
}

}  // namespace
