// Xref-guided rescue: objects the table lists as in use but the scan missed are found within
// 14 bytes of their listed offset and recorded with the table's number, generation and
// offset, after the scanned records and in increasing object number.
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
using pdftest::Pdf;
using pdftest::PdfBuilder;

// The whole discovery up to the rescue, as a request runs it.
struct Discovered {
  explicit Discovered(std::string_view text) : bytes(text) {
    parse_xref(bytes.data(), bytes.size(), xi);
    scan_pass1(bytes.data(), bytes.size(), table, xi);
    scanned = table.count;
    scan_pass2(bytes.data(), bytes.size(), table.items, table.count);
    if (xi.has_xref && xi.xref_size > 0) rescue_xref_objects(bytes.data(), bytes.size(), xi, table);
  }
  std::vector<int> rescued() const {
    std::vector<int> nums;
    for (int i = scanned; i < table.count; ++i) nums.push_back(table.items[i].num);
    return nums;
  }
  const obj_entry& last() const { return table.items[table.count - 1]; }
  Bytes bytes;
  xref_info xi;
  objvec table;
  int scanned = 0;
};

// Objects 1 to 3; object 2, a stream of generation 4, has its header numbers overwritten.
Pdf object_two_damaged() {
  Pdf pdf = PdfBuilder()
                .object(1, "<</Type/Catalog/Pages 3 0 R>>")
                .object(2, "<</Length 5>>\nstream\nhello\nendstream", 4)
                .object(3, "<</Type/Pages/Kids[]/Count 0>>")
                .root(1)
                .build();
  return pdf.overwrite(pdf.offset(2), "AB  ");  // "2 4 obj" becomes "AB  obj"
}

TEST(RescueXrefObjects, RescuesAnObjectWhoseHeaderIsDestroyed) {
  const Pdf pdf = object_two_damaged();
  const Discovered d(pdf.bytes);
  ASSERT_EQ(d.scanned, 2);
  ASSERT_EQ(d.rescued(), std::vector<int>{2});
  const obj_entry& r = d.last();
  EXPECT_EQ(r.gen, 4);                  // from the table
  EXPECT_EQ(r.hdr_off, pdf.offset(2));  // the table's offset
  EXPECT_EQ(r.dict_off, pdf.find("<</Length 5>>"));
  EXPECT_EQ(r.stream_kw, pdf.find("stream\n"));
  EXPECT_EQ(r.endobj_off, pdf.find("endobj", r.stream_kw));
  EXPECT_EQ(r.obj_end, r.endobj_off + 6);
  // Stream data is measured before the rescue: a rescued stream stays unmeasured.
  EXPECT_EQ(r.has_stream, 0);
  EXPECT_EQ(r.data_start, -1);
  EXPECT_EQ(r.data_end, -1);
  EXPECT_EQ(r.data_len, -1);
  EXPECT_EQ(r.in_objstm, 0);
}

TEST(RescueXrefObjects, EndsAnObjectWithoutEndobjAsTheScanDoes) {
  // Object 5's header is destroyed and its "endobj" missing.
  struct Case {
    const char* name;
    std::string object;
    const char* stream;  // its stream keyword; null: none
    const char* end;     // where its end lies, before end_plus; null: the file's length
    int end_plus;
  } cases[] = {
      {"a dictionary shares the next object's endobj, not its stream",
       "AB obj\n<</Type/Catalog>>\n2 0 obj\n<</Length 3>>\nstream\nabc\nendstream\nendobj\n", nullptr,
       "endobj", 0},
      {"a stream ends past its endstream", "AB obj\n<</Length 3>>\nstream\nabc\nendstream\n", "stream\n",
       "endstream", 9},
      {"a stream cut off ends with the file", "AB obj\n<</Length 3>>\nstream\nabc\n", "stream\n", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PdfBuilder b;
    b.object(1, "<<>>");
    const int start = b.size();
    const Pdf pdf = b.list(5, start).raw(c.object).build();
    const Discovered d(pdf.bytes);
    ASSERT_EQ(d.rescued(), std::vector<int>{5});
    const obj_entry& r = d.last();
    EXPECT_EQ(r.stream_kw, c.stream ? pdf.find(c.stream, start) : -1);
    const int end = c.end ? pdf.find(c.end, start) + c.end_plus : pdf.size();
    EXPECT_EQ(r.endobj_off, end);
    EXPECT_EQ(r.obj_end, end + 6);
  }
}

TEST(RescueXrefObjects, LooksFor14BytesAfterTheOffset) {
  struct Case {
    const char* name;
    int before_keyword;  // the listed offset lies this many bytes before "obj"
    bool rescued;
  } cases[] = {
      {"obj at the offset", 0, true},
      {"obj 13 bytes after", 13, true},
      {"obj 14 bytes after", 14, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PdfBuilder b;
    b.object(1, "<<>>");
    const int keyword = b.size() + 20;
    b.raw(std::string(20, ' ') + "obj\n<</A 1>>\nendobj\n").list(5, keyword - c.before_keyword, 2);
    const Discovered d(b.build().bytes);
    EXPECT_EQ(d.rescued(), c.rescued ? std::vector<int>{5} : std::vector<int>{});
    if (c.rescued) {
      EXPECT_EQ(d.last().hdr_off, keyword - c.before_keyword);
      EXPECT_EQ(d.last().gen, 2);
    }
  }
}

TEST(RescueXrefObjects, NeedsFifteenBytesAfterTheOffset) {
  // The damaged object is the file's last bytes, after the table and trailer.
  struct Case {
    const char* name;
    std::string object;
    bool rescued;
  } cases[] = {
      {"16 bytes", "XY obj<<>>endobj", true},
      {"15 bytes: skipped though whole", "X obj<<>>endobj", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "%PDF-1.4\nxref\n0 2\n0000000000 65535 f \n";
    const int offset = static_cast<int>(text.size() + 20 + std::string("trailer\n<<>>\nstartxref\n9\n").size());
    char line[32];
    std::snprintf(line, sizeof line, "%010d 00000 n \n", offset);
    text += line + std::string("trailer\n<<>>\nstartxref\n9\n");
    ASSERT_EQ(static_cast<int>(text.size()), offset);
    const Discovered d(text + c.object);
    EXPECT_EQ(d.rescued(), c.rescued ? std::vector<int>{1} : std::vector<int>{});
  }
}

TEST(RescueXrefObjects, SkipsWhatTheTableDoesNotOfferOrTheScanFound) {
  // In every case a damaged object ("AB obj") or a listed offset invites a rescue.
  struct Case {
    const char* name;
    Pdf pdf;
  } cases[] = {
      {"a free entry", [] {
         Pdf pdf = PdfBuilder().object(1, "<<>>").object(2, "<<>>").unlist(2).build();
         return pdf.overwrite(pdf.offset(2), "AB");
       }()},
      {"object 0", [] {
         PdfBuilder b;
         b.object(1, "<<>>");
         const int start = b.size();
         return b.raw("AB obj\n<<>>\nendobj\n").list(0, start).build();
       }()},
      {"an object the scan found", PdfBuilder().object(1, "<<>>").object(2, "<<>>").build()},
      {"an offset past the end", PdfBuilder().object(1, "<<>>").list(2, 1 << 30).build()},
      {"no end after the keyword", [] {
         PdfBuilder b;
         b.object(1, "<<>>");
         return b.list(2, b.size()).raw("AB obj\n<</A 1>>\n").build();
       }()},
      {"no end after a value that is not a dictionary", [] {
         PdfBuilder b;
         b.object(1, "<<>>");
         return b.list(2, b.size()).raw("AB obj\n42\n").build();
       }()},
      {"an offset leading to another recorded object", [] {
         PdfBuilder b;
         b.object(1, "<<>>").object(3, "<<>>");
         return b.list(7, b.offset(3)).build();
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Discovered d(c.pdf.bytes);
    EXPECT_EQ(d.rescued(), std::vector<int>{});
  }
}

TEST(RescueXrefObjects, RecordsAfterTheScanInIncreasingNumber) {
  // Objects 5 and 2 lose their headers; 5 comes first in the file.
  PdfBuilder b;
  b.object(1, "<</Type/Catalog>>").object(5, "(five)").object(3, "<<>>").object(2, "[2]").root(1);
  Pdf pdf = b.build();
  pdf.overwrite(pdf.offset(5), "ZZ").overwrite(pdf.offset(2), "YY");
  const Discovered d(pdf.bytes);
  ASSERT_EQ(d.scanned, 2);
  EXPECT_EQ(d.table.items[0].num, 1);
  EXPECT_EQ(d.table.items[1].num, 3);
  EXPECT_EQ(d.rescued(), (std::vector<int>{2, 5}));
  EXPECT_EQ(d.table.items[2].dict_off, -1);
  EXPECT_EQ(d.table.items[2].endobj_off, pdf.find("endobj", pdf.offset(2)));
  EXPECT_EQ(d.table.items[3].endobj_off, pdf.find("endobj", pdf.offset(5)));
}

TEST(RescueXrefObjects, ReadsTheHeaderOnlyToAvoidAnotherKnownObject) {
  // Objects 4 and 6 are both listed at the same header start. What the header says decides
  // whether the second one still gets a record.
  struct Case {
    const char* name;
    std::string header;  // before "obj"
    std::vector<int> rescued;
  } cases[] = {
      // The header cannot be read: both numbers are rescued from the same bytes.
      {"an unreadable header", "AB ", {4, 6}},
      // A header damaged by a stray byte (not confirmed, as the table lists its first digit)
      // names 4: it is rescued, and then 6 leads to the object now known as 4.
      {"a damaged header naming the first", "4 0 \xff", {4}},
      {"a damaged header naming another number", "9 0 \xff", {4, 6}},
      {"a damaged header naming a known object", "1 0 \xff", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PdfBuilder b;
    b.object(1, "<</Type/Catalog>>");
    const int start = b.size();
    b.raw(c.header + "obj\n<</A 1>>\nendobj\n").list(4, start).list(6, start);
    const Discovered d(b.build().bytes);
    EXPECT_EQ(d.rescued(), c.rescued);
  }
}

TEST(RescueXrefObjects, KeepsTheTablesOffsetEvenBeforeTheHeader) {
  PdfBuilder b;
  b.object(1, "<<>>");
  const int listed = b.size();
  b.raw("\n\n  XX 0 obj\n<</A 1>>\nendobj\n").list(8, listed, 1);
  const Discovered d(b.build().bytes);
  ASSERT_EQ(d.rescued(), std::vector<int>{8});
  EXPECT_EQ(d.last().hdr_off, listed);
  EXPECT_EQ(d.last().gen, 1);
}

}  // namespace
