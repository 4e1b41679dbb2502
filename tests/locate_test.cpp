// Object boundary locators: headers read backwards, tolerant "endobj", the "stream" keyword.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "pdfrepair/scan.h"
#include "support/pdf_builder.h"

namespace {

using namespace pdfrepair;
using pdftest::Bytes;  // exactly sized copies: the sanitizer catches any read past the end
using namespace std::string_literals;


TEST(ParseObjHead, ReadsTheHeaderBackwardsFromObj) {
  struct Case {
    const char* name;
    std::string text;  // the last "obj" in it is the keyword
    int start, num, gen;
  } cases[] = {
      {"at the start of the buffer", "12 0 obj", 0, 12, 0},
      {"after punctuation", ")12 0 obj", 1, 12, 0},
      {"after a high byte", "\x80" "12 0 obj", 1, 12, 0},
      {"no space before obj", "12 0obj", 0, 12, 0},
      {"LF between the numbers", "x\n12\n0 obj", 2, 12, 0},
      {"several spaces", "12    0   obj", 0, 12, 0},
      {"VT is white space", " 12\v0\vobj", 1, 12, 0},
      {"single-digit number at index 0", "1 0 obj", 0, 1, 0},
      {"large generation", " 3 99999 obj", 1, 3, 99999},
      {"number wraps modulo 2^32", " 4294967297 0 obj", 1, 1, 0},
      {"one number reaching index 0", "120 obj", -1, 0, 0},
      {"single number then obj", "5 obj", -1, 0, 0},
      {"object number 0", " 0 0 obj", -1, 0, 0},
      {"number wrapping to 0", " 4294967296 0 obj", -1, 0, 0},
      {"number wrapping negative", " 2147483648 0 obj", -1, 0, 0},
      {"letter before the number", "a12 0 obj", -1, 0, 0},
      {"NUL is not white space here", " 12\0" "0 obj"s, -1, 0, 0},
      {"no generation", " 12 obj", -1, 0, 0},
      {"obj at index 1", "1obj", -1, 0, 0},
      {"only white space before", "    obj", -1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b(c.text);
    const int p = static_cast<int>(c.text.rfind("obj"));
    int num = -7, gen = -7;
    EXPECT_EQ(parse_obj_head(b.data(), b.size(), p, num, gen), c.start);
    EXPECT_EQ(num, c.start < 0 ? -7 : c.num);
    EXPECT_EQ(gen, c.start < 0 ? -7 : c.gen);
  }
}

TEST(ParseObjHead, RefusesPositionsOutsideTheBuffer) {
  const Bytes b("12 0 obj");
  int num = -7, gen = -7;
  for (int p : {-5, 0, 1, 9, 1 << 30}) {
    SCOPED_TRACE(p);
    EXPECT_EQ(parse_obj_head(b.data(), b.size(), p, num, gen), -1);
  }
  EXPECT_EQ(num, -7);
}

TEST(FindEndobjFlex, ToleratesTwoDamagedLetters) {
  struct Case {
    const char* name;
    std::string text;
    int start, expected;
  } cases[] = {
      {"the last six bytes", "x endobj", 0, 2},
      {"the whole buffer", "endobj", 0, 0},
      {"first letter damaged", "\x80ndobj", 0, 0},
      {"two letters damaged", "e\xff" "d\x90" "bj", 0, 0},
      {"three letters damaged", "\x80\x80\x80obj", 0, -1},
      {"damage below 0x80 is not tolerated", "endXbj", 0, -1},
      {"letter before", "aendobj", 0, -1},
      {"digit after", "endobj1 ", 0, -1},
      {"high bytes around it", "\x80" "endobj\x80", 0, 1},
      {"start too close to the end", "endobj", 1, -1},
      {"negative start", "endobj", -9, 0},
      {"first of two", "endobj endobj", 1, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b(c.text);
    EXPECT_EQ(find_endobj_flex(b.data(), b.size(), c.start), c.expected);
  }
}

TEST(FlexKwAt, AppliesTheSameToleranceToOtherKeywords) {
  const Bytes b("\n\x80ndstr\x80" "am\n");
  EXPECT_EQ(flex_kw_at(b.data(), b.size(), 1, "endstream"), 1);
  EXPECT_EQ(flex_kw_at(b.data(), b.size(), 2, "endstream"), 0);
  EXPECT_EQ(flex_kw_at(b.data(), b.size(), -1, "endstream"), 0);
}

TEST(FindStreamKw, AcceptsOnlyTheStreamOpeningShape) {
  struct Case {
    const char* name;
    std::string text;
    int start, limit, expected;  // limit -1: the buffer length
  } cases[] = {
      {"directly after >>", "<<>>stream\nDATA", 0, -1, 4},
      {"LF before, CR LF after", "<<>>\nstream\r\nDATA", 0, -1, 5},
      {"space before", "<<>> stream\nDATA", 0, -1, 5},
      {"lone CR after", "<<>>stream\rDATA", 0, -1, -1},
      {"CR as the last byte", "<<>>stream\r", 0, -1, -1},
      {"space then LF after", "<<>>stream \nDATA", 0, -1, -1},
      {"not after >", "<</A 1 stream\nDATA", 0, -1, -1},
      {"inside endstream", "<<>>endstream\n", 0, -1, -1},
      {"starting at the limit", "<<>>stream\nDATA", 0, 4, -1},
      {"starting just before the limit", "<<>>stream\nDATA", 0, 5, 4},
      {"the byte at start is never examined", ">stream\n", 0, -1, -1},
      {"> after start", " >stream\n", 0, -1, 2},
      {"only white space after start", "<  stream\n", 0, -1, -1},
      {"first candidate fails, second qualifies", "<</S stream\n>>stream\nD", 0, -1, 14},
      {"negative start", ">stream\n", -5, -1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b(c.text);
    EXPECT_EQ(find_stream_kw(b.data(), b.size(), c.start, c.limit < 0 ? b.size() : c.limit), c.expected);
  }
}

}  // namespace
