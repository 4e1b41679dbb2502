// Stream extents: the declared /Length (integer, array, indirect reference) checked against
// "endstream" at the declared end, then searched exactly and tolerantly before the object's
// end, the end of line trimmed, truncated data stopped at the object's end (or run to the end
// of a cut-off file), streams without a usable length, and the bad_length and truncated flags.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "pdfrepair/discovery.h"
#include "support/pdf_builder.h"

namespace {

using namespace pdfrepair;
using pdftest::Bytes;
using pdftest::PdfBuilder;
using pdftest::StreamOptions;

struct Measured {
  explicit Measured(std::string_view text) : bytes(text) {
    parse_xref(bytes.data(), bytes.size(), xi);
    scan_pass1(bytes.data(), bytes.size(), table, xi);
    scan_pass2(bytes.data(), bytes.size(), table.items, table.count);
  }
  // The record of object 1, the stream under test.
  const obj_entry& one() const {
    const obj_entry* r = find_record(table.items, table.count, 1);
    EXPECT_NE(r, nullptr);
    return r ? *r : table.items[0];
  }
  std::string data(const obj_entry& r) const {
    return std::string(reinterpret_cast<const char*>(bytes.data()) + r.data_start,
                       static_cast<std::size_t>(r.data_len));
  }
  Bytes bytes;
  xref_info xi;
  objvec table;
};

// Object 1 as a stream holding data, alone in a file without table or trailer.
std::string one_stream(std::string_view data, const StreamOptions& options = {}, std::string_view entries = "") {
  return PdfBuilder().stream(1, entries, data, options).build_body().bytes;
}

std::string with_length(std::string_view data, std::string length) {
  return one_stream(data, StreamOptions{.length = std::move(length)});
}

struct Case {
  const char* name;
  std::string text;
  std::optional<std::string> data;  // the measured data; nullopt: it runs to the end of the file
  int bad_length, truncated;
};

void expect_stream(const Case& c) {
  SCOPED_TRACE(c.name);
  const Measured m(c.text);
  const obj_entry& r = m.one();
  ASSERT_EQ(r.has_stream, 1);
  EXPECT_EQ(r.stream_kw, static_cast<int>(c.text.find("stream", r.dict_off)));
  EXPECT_EQ(r.data_start, r.stream_kw + (c.text[r.stream_kw + 6] == '\r' ? 8 : 7));
  EXPECT_EQ(r.data_len, r.data_end - r.data_start);
  if (c.data)
    EXPECT_EQ(m.data(r), *c.data);
  else
    EXPECT_EQ(r.data_end, m.bytes.size());
  EXPECT_EQ(r.bad_length, c.bad_length);
  EXPECT_EQ(r.truncated, c.truncated);
}

TEST(ScanPass2, TrustsEndstreamOverTheDeclaredLength) {
  const Case cases[] = {
      {"a correct length", with_length("hello", "5"), "hello", 0, 0},
      {"a length covering the LF and a letter", with_length("hello", "7"), "hello", 1, 0},
      {"a length one short", with_length("hello", "4"), "hello", 1, 0},
      {"white space between the declared end and endstream", with_length("hello  ", "5"), "hello", 0, 0},
      {"CR LF before endstream is trimmed", one_stream("hello", {.length = "8", .before_end = "\r\n"}),
       "hello", 1, 0},
      {"a lone CR before endstream is trimmed", one_stream("hello", {.length = "9", .before_end = "\r"}),
       "hello", 1, 0},
      {"a length that takes in the end of line is confirmed",
       one_stream("hello", {.length = "7", .before_end = "\r\n"}), "hello\r\n", 0, 0},
      {"only one end of line is trimmed", with_length("hello\n\n", "99"), "hello\n\n", 1, 0},
      {"CR LF after the keyword", one_stream("hello", {.length = "5", .after_keyword = "\r\n"}), "hello",
       0, 0},
      {"CR LF after the keyword, length wrong", one_stream("hello", {.length = "3", .after_keyword = "\r\n"}),
       "hello", 1, 0},
      {"an empty stream", one_stream("", {.length = "0", .before_end = ""}), "", 0, 0},
      {"a length past the end of the file", with_length("hello", "99999"), "hello", 1, 0},
      {"a length whose end would pass 2^31", with_length("hello", "2147483647"), "hello", 1, 0},
      {"a length of 4294967301 wraps to 5", with_length("hello", "4294967301"), "hello", 0, 0},
      {"binary data", with_length(std::string("\0\xff\r\n", 4), "4"), std::string("\0\xff\r\n", 4), 0, 0},
  };
  for (const Case& c : cases) expect_stream(c);
}

TEST(ScanPass2, ConfirmsTheDeclaredEndWhateverTheDataEndsWith) {
  // At the declared end the byte before "endstream" is data, not part of a word.
  const Case cases[] = {
      {"a letter directly before endstream", one_stream("hello", {.length = "5", .before_end = ""}), "hello",
       0, 0},
      {"a digit directly before endstream", one_stream("12345", {.length = "5", .before_end = ""}), "12345",
       0, 0},
      {"white space, then endstream", one_stream("hello", {.length = "5", .before_end = " \r\n"}), "hello",
       0, 0},
      // The byte after the keyword is still tested, so the search decides and finds nothing.
      {"endstream continued by a letter", "1 0 obj\n<</Length 5>>\nstream\nhelloendstreamx\nendobj\n",
       "helloendstreamx", 1, 1},
      // The search keeps its boundary rules.
      {"a wrong length with a letter directly before endstream",
       one_stream("hello", {.length = "4", .before_end = ""}), "helloendstream", 1, 1},
  };
  for (const Case& c : cases) expect_stream(c);
}

TEST(ScanPass2, SearchesForTheKeywordWithinTheObject) {
  std::string damaged_one = with_length("hello", "5");
  damaged_one[damaged_one.find("endstream") + 3] = '\xff';
  std::string damaged_two = with_length("hello", "5");
  damaged_two.replace(damaged_two.find("endstream"), 2, "\x80\x81");
  std::string damaged_three = with_length("hello", "5");
  damaged_three.replace(damaged_three.find("endstream"), 3, "\x80\x81\x82");
  const Case cases[] = {
      {"one damaged letter is tolerated", damaged_one, "hello", 0, 0},
      {"two damaged letters are tolerated", damaged_two, "hello", 0, 0},
      {"three damaged letters are not", damaged_three, "hello\n\x80\x81\x82" "stream", 1, 1},
      // The search starts one byte after the data start, so it misses this keyword.
      {"an empty stream with a wrong length", one_stream("", {.length = "3", .before_end = ""}), "endstream",
       1, 1},
      {"an endobj inside the data limits the search", with_length("ab endobj cd", "12"), "ab ", 1, 1},
      {"a truncated stream whose length matches the rest of the file",
       "1 0 obj\n<</Length 11>>\nstream\nab endobj x", "ab ", 1, 1},
      {"an endstream before the object's end is used",
       with_length("helloendstream\nx", "3"), "helloendstream\nx", 1, 0},
  };
  for (const Case& c : cases) expect_stream(c);
}

TEST(ScanPass2, KeywordSearchesStopAtTheObjectsEnd) {
  // Object 1's data has no end keyword; object 2's "endstream" (exact or damaged) lies after
  // object 1's "endobj" and is not used for it.
  for (const char* later : {"endstream", "endst\xff" "eam"}) {
    SCOPED_TRACE(later);
    std::string text = "1 0 obj\n<</Length 3>>\nstream\nabcdef\nendobj\n"
                       "2 0 obj\n<</Length 2>>\nstream\nxy\n" + std::string(later) + "\nendobj\n";
    const Measured m(text);
    ASSERT_EQ(m.table.count, 2);
    EXPECT_EQ(m.table.items[0].truncated, 1);
    EXPECT_EQ(m.data(m.table.items[0]), "abcdef");
    EXPECT_EQ(m.table.items[1].truncated, 0);
    EXPECT_EQ(m.table.items[1].data_len, 2);
  }
}

TEST(ScanPass2, TruncatedDataStopsAtTheObjectsEnd) {
  // Without an end keyword the data never takes in the objects after its own "endobj"; only
  // a stream without any "endobj" after it runs to the end of the file.
  const std::string later = "2 0 obj\n<</Length 2>>\nstream\nxy\nendstream\nendobj\n";
  const Case cases[] = {
      {"LF before endobj is trimmed", "1 0 obj\n<</Length 9>>\nstream\nabc\nendobj\n" + later, "abc", 1, 1},
      {"CR LF before endobj is trimmed", "1 0 obj\n<</Length 9>>\nstream\nabc\r\nendobj\n" + later, "abc",
       1, 1},
      {"a damaged endobj ends the data", "1 0 obj\n<</Length 9>>\nstream\nabc\nend\xff" "bj\n" + later, "abc",
       1, 1},
      {"endobj directly after the keyword's end of line", "1 0 obj\n<</Length 9>>\nstream\nendobj\n" + later,
       "", 1, 1},
      {"a length that matches the data up to endobj", "1 0 obj\n<</Length 3>>\nstream\nabc\nendobj\n" + later,
       "abc", 0, 1},
  };
  for (const Case& c : cases) expect_stream(c);
}

TEST(ScanPass2, MeasuresAStreamWithoutAnEndobj) {
  // The last object of a cut-off file: its "endstream" still ends the data; without one the
  // data runs to the end of the file, end of line included.
  const Case cases[] = {
      {"endstream, no endobj", "1 0 obj\n<</Length 3>>\nstream\nabc\nendstream\n", "abc", 0, 0},
      {"endstream, no endobj, length wrong", "1 0 obj\n<</Length 9>>\nstream\nabc\nendstream\n", "abc", 1, 0},
      {"cut off in the data", "1 0 obj\n<</Length 9>>\nstream\nabc\n2 0 obj\n", "abc\n2 0 obj\n", 1, 1},
      {"cut off, length matching the rest", "1 0 obj\n<</Length 4>>\nstream\nabc\n", "abc\n", 0, 1},
  };
  for (const Case& c : cases) expect_stream(c);
}

TEST(ScanPass2, ReadsTheDeclaredLength) {
  const Case cases[] = {
      {"an array", with_length(std::string(100, 'x'), "[100]"), std::string(100, 'x'), 0, 0},
      {"the last non-negative number of an array", with_length("hello", "[3 5 -1]"), "hello", 0, 0},
      {"a byte in an array is stepped over", with_length("hello", "[7 x 5]"), "hello", 0, 0},
      {"an array of negative numbers gives way to a later /Length",
       one_stream("hello", {.length = "[-5 -7]"}, "/Length 5"), "hello", 0, 0},
      {"an empty array gives way to a later /Length", one_stream("hello", {.length = "[]"}, "/Length 5"),
       "hello", 0, 0},
      {"a negative number gives way to a later /Length", one_stream("hello", {.length = "-3"}, "/Length 5"),
       "hello", 0, 0},
      {"a name gives way to a later /Length", one_stream("hello", {.length = "/X"}, "/Length 5"), "hello",
       0, 0},
      {"the first usable /Length wins", one_stream("hello", {.length = "5"}, "/Length 9"), "hello", 0, 0},
      // The byte right after the name is passed over unexamined.
      {"a sign right after the name is passed over", "1 0 obj\n<</Length-5>>\nstream\nhello\nendstream\nendobj\n",
       "hello", 0, 0},
      {"R followed by a letter is no reference", with_length("hello", "5 0 Rx"), "hello", 0, 0},
      {"a number and R without generation is a length", with_length("hello", "5 R"), "hello", 0, 0},
      {"comments between the parts of a reference are no obstacle",
       one_stream("hello", {.length = "9 %g\n0 %r\nR"}) + "9 0 obj\n5\nendobj\n", "hello", 0, 0},
  };
  for (const Case& c : cases) expect_stream(c);
}

TEST(ScanPass2, ResolvesAnIndirectLength) {
  const Case cases[] = {
      {"a reference to a later object", with_length("hello", "9 0 R") + "9 0 obj\n5\nendobj\n", "hello", 0,
       0},
      {"a reference to an earlier object", "9 0 obj 1234 endobj\n" + with_length(std::string(1234, 'y'), "9 0 R"),
       std::string(1234, 'y'), 0, 0},
      {"the first record with the number counts",
       with_length("hello", "9 0 R") + "9 0 obj\n5\nendobj\n9 0 obj\n7\nendobj\n", "hello", 0, 0},
      {"the referenced value may be wrong", with_length("hello", "9 0 R") + "9 0 obj\n4\nendobj\n", "hello",
       1, 0},
  };
  for (const Case& c : cases) expect_stream(c);
}

TEST(ScanPass2, MeasuresByTheKeywordWithoutAUsableLength) {
  PdfBuilder measured_first;
  measured_first.stream(9, "", "abc").stream(1, "", "hello", {.length = "9 0 R"});
  PdfBuilder damaged_target;
  const int target = damaged_target.size();
  damaged_target.raw("9 0 \xffobj\n5\nendobj\n").list(9, target + 5).stream(1, "", "hello", {.length = "9 0 R"});
  // Nothing is declared, so nothing is confirmed: the keyword search decides and the length
  // counts as wrong.
  const Case cases[] = {
      {"no /Length", "1 0 obj\n<</Filter/X>>\nstream\nhello\nendstream\nendobj\n", "hello", 1, 0},
      {"a /Length after the stream keyword", "1 0 obj\n<<>>\nstream\n/Length 5\nendstream\nendobj\n",
       "/Length 5", 1, 0},
      {"/Lengths is another name", "1 0 obj\n<</Lengths 5>>\nstream\nhello\nendstream\nendobj\n", "hello", 1,
       0},
      {"a comment right after the name", "1 0 obj\n<</Length%c\n5>>\nstream\nhello\nendstream\nendobj\n",
       "hello", 1, 0},
      {"an array without numbers", with_length("hello", "[/X]"), "hello", 1, 0},
      {"a reference to a missing object", with_length("hello", "8 0 R"), "hello", 1, 0},
      {"a reference to a negative value", with_length("hello", "9 0 R") + "9 0 obj\n-5\nendobj\n", "hello", 1,
       0},
      {"a reference to a name", with_length("hello", "9 0 R") + "9 0 obj\n/Five\nendobj\n", "hello", 1, 0},
      {"a reference to an object whose stream is measured", measured_first.build_body().bytes, "hello", 1, 0},
      {"a reference to an object whose header cannot be re-read", damaged_target.build().bytes, "hello", 1, 0},
      {"no /Length and no endstream", "1 0 obj\n<<>>\nstream\nhello\nendobj\n", "hello", 1, 1},
  };
  for (const Case& c : cases) expect_stream(c);
}

TEST(ScanPass2, FindsNoStreamWithoutTheKeywordShape) {
  struct NoStream {
    const char* name;
    std::string text;
  } cases[] = {
      {"not a dictionary", "1 0 obj\n[1]\nstream\nhello\nendstream\nendobj\n"},
      {"a space after the keyword", "1 0 obj\n<</Length 5>>\nstream \nhello\nendstream\nendobj\n"},
      {"a lone CR after the keyword", "1 0 obj\n<</Length 5>>\nstream\rhello\nendstream\nendobj\n"},
      {"no dictionary end before the keyword", "1 0 obj\n<</Length 5 stream\nhello\nendstream\nendobj\n"},
      // A damaged "<<" never closes, so object 1 shares object 2's "endobj", not its stream.
      {"the next object's keyword", "1 0 obj\n\xff</Type/Catalog>>\n2 0 obj\n<</Length 5>>\nstream\nhello\n"
                                    "endstream\nendobj\n"},
  };
  for (const NoStream& c : cases) {
    SCOPED_TRACE(c.name);
    const Measured m(c.text);
    const obj_entry& r = m.one();
    EXPECT_EQ(r.has_stream, 0);
    EXPECT_EQ(r.stream_kw, -1);
    EXPECT_EQ(r.data_start, -1);
  }
}

TEST(ScanPass2, MeasuresOnlyTheRecordsItIsGiven) {
  const Bytes bytes(with_length("hello", "5") + with_length("world", "5"));
  objvec table;
  scan_pass1(bytes.data(), bytes.size(), table, xref_info{});
  ASSERT_EQ(table.count, 2);
  scan_pass2(bytes.data(), bytes.size(), table.items, 1);
  EXPECT_EQ(table.items[0].has_stream, 1);
  EXPECT_EQ(table.items[1].has_stream, 0);
  EXPECT_EQ(table.items[1].data_start, -1);
}

}  // namespace
