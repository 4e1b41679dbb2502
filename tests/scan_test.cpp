// Scanning primitives: byte classes, white space and comments, integers, keywords, names,
// type entries, and what each examines at its bounds.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>

#include "pdfrepair/scan.h"
#include "support/pdf_builder.h"

namespace {

using namespace pdfrepair;
using pdftest::Bytes;  // exactly sized copies: the sanitizer catches any read past the end
using namespace std::string_literals;


TEST(ByteClasses, AreDistinct) {
  struct Case {
    int c;
    bool pdf_ws, ascii_ws, alnum, digit;
  } cases[] = {
      {0x00, true, false, false, false},  {'\t', true, true, false, false},
      {'\n', true, true, false, false},   {0x0B, false, true, false, false},
      {'\f', true, true, false, false},   {'\r', true, true, false, false},
      {' ', true, true, false, false},    {'0', false, false, true, true},
      {'9', false, false, true, true},    {'a', false, false, true, false},
      {'Z', false, false, true, false},   {'_', false, false, false, false},
      {0x80, false, false, false, false}, {0xE9, false, false, false, false},
      {0xFF, false, false, false, false}, {-1, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.c);
    EXPECT_EQ(is_pdf_ws(c.c), c.pdf_ws);
    EXPECT_EQ(is_ascii_ws(c.c), c.ascii_ws);
    EXPECT_EQ(is_alnum(c.c), c.alnum);
    EXPECT_EQ(is_digit(c.c), c.digit);
  }
}

TEST(SkipWs, StopsAtTheFirstSignificantByte) {
  struct Case {
    const char* name;
    std::string text;
    int start, end, expected;
  } cases[] = {
      {"spaces, comment, CR LF", "  %c\r\n  7", 0, -1, 8},
      {"only a comment", "%only a comment", 0, -1, 15},
      {"comment ended by CR", "%x\r7", 0, -1, 3},
      {"percent inside a string is a comment", "(a%b)\n7", 2, -1, 6},
      {"NUL and FF are white space", "\0\f7"s, 0, -1, 2},
      {"VT is not PDF white space", "\v7", 0, -1, 0},
      {"position past the end unchanged", "  ", 20, -1, 20},
      {"negative position unchanged", "  7", -3, -1, -3},
      {"reduced end is a hard limit", "   7", 0, 2, 2},
      {"nothing after white space", "   ", 0, -1, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b(c.text);
    EXPECT_EQ(skip_ws(b.data(), c.start, c.end < 0 ? b.size() : c.end), c.expected);
  }
}

TEST(ParseIntAt, ReadsSignedDecimalModulo2To32) {
  struct Case {
    const char* name;
    std::string text;
    int start, end, value, pos_after;
  } cases[] = {
      {"negative after white space", " -12x", 0, -1, -12, 4},
      {"leading zeros", "007", 0, -1, 7, 3},
      {"wraps modulo 2^32", "4294967297", 0, -1, 1, 10},
      {"2^31 reads negative", "2147483648", 0, -1, INT_MIN, 10},
      {"minus 2^31", "-2147483648", 0, -1, INT_MIN, 11},
      {"after a comment", "%c\n42 0 R", 0, -1, 42, 5},
      {"bounded by end", "1234", 0, 2, 12, 2},
      {"space after minus: none", "- 12", 0, -1, -1, 0},
      {"plus sign: none", "+12", 0, -1, -1, 0},
      {"minus as last byte: none", "  -", 0, -1, -1, 0},
      {"only white space: none", "   ", 0, -1, -1, 0},
      {"letter: none", "x1", 0, -1, -1, 0},
      {"negative position: none", "12", -1, -1, -1, -1},
      {"position past the end: none", "12", 5, -1, -1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b(c.text);
    int pos = c.start;
    EXPECT_EQ(parse_int_at(b.data(), c.end < 0 ? b.size() : c.end, pos), c.value);
    EXPECT_EQ(pos, c.pos_after);
  }
}

TEST(ReadIntAdv, AlwaysMovesAndNeverNegates) {
  struct Case {
    const char* name;
    std::string text;
    int start, value, pos_after;
  } cases[] = {
      {"steps over a bad byte", "x12", 0, -1, 1},
      {"then reads the digits", "x12", 1, 12, 3},
      {"minus is skipped, not applied", "-7", 0, 7, 2},
      {"minus then space", "- 5", 0, -1, 2},
      {"minus as last byte moves past the end", " -", 0, -1, 3},
      {"only white space moves to the end", "  %c", 0, -1, 4},
      {"wraps modulo 2^32", "4294967298", 0, 2, 10},
      {"negative position steps forward", "7", -2, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b(c.text);
    int pos = c.start;
    EXPECT_EQ(read_int_adv(b.data(), b.size(), pos), c.value);
    EXPECT_EQ(pos, c.pos_after);
  }
}

TEST(KwAt, RequiresWordBoundaries) {
  struct Case {
    const char* name;
    std::string text;
    int pos, end, expected;
  } cases[] = {
      {"after space, before <", " obj<", 1, -1, 1},
      {"ends the buffer", " obj", 1, -1, 1},
      {"at index 0", "obj ", 0, -1, 1},
      {"inside endobj", "endobj", 3, -1, 0},
      {"followed by a letter", " objx", 1, -1, 0},
      {"followed by a digit", " obj1", 1, -1, 0},
      {"high bytes bound it", "\x80obj\xff", 1, -1, 1},
      {"byte after a reduced end is not examined", "objx", 0, 3, 1},
      {"cut off by end", "ob", 0, -1, 0},
      {"negative position", "obj", -1, -1, 0},
      {"position past the end", "obj", 7, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b(c.text);
    EXPECT_EQ(kw_at(b.data(), c.pos, c.end < 0 ? b.size() : c.end, "obj"), c.expected);
  }
}

TEST(FindKw, FindsTheFirstBoundedOccurrence) {
  struct Case {
    const char* name;
    std::string text;
    int start, end, expected;
  } cases[] = {
      {"never inside endstream", "endstream stream\n", 0, -1, 10},
      {"not after a letter", "xstream", 0, -1, -1},
      {"negative start searches from 0", "stream", -4, -1, 0},
      {"byte before start is examined", "astream", 1, -1, -1},
      {"keyword ending at a reduced end matches", "streamx", 0, 6, 0},
      {"keyword crossing the end does not", "stream", 0, 5, -1},
      {"start past an occurrence", "stream stream", 1, -1, 7},
      {"followed by a digit", "stream1 stream", 0, -1, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b(c.text);
    EXPECT_EQ(find_kw(b.data(), c.end < 0 ? b.size() : c.end, c.start, "stream"), c.expected);
  }
}

TEST(FindName, FindsTheSlashOfABoundedName) {
  struct Case {
    const char* name;
    std::string text;
    int start, limit, expected;
  } cases[] = {
      {"directly after another name", "/A/Length 5", 0, 100, 2},
      {"followed by s", "/Lengths 5", 0, 100, -1},
      {"followed by a digit", "/Length2 5", 0, 100, -1},
      {"followed by #", "/Length# 5", 0, 100, 0},
      {"followed by _", "/Length_ 5", 0, 100, 0},
      {"ending past the limit", "/Length 5", 0, 6, -1},
      {"ending exactly at the limit, next byte unexamined", "/Lengthx", 0, 7, 0},
      {"start skips an earlier occurrence", "/Length 1 /Length 2", 1, 100, 10},
      {"without the slash", "Length 5", 0, 100, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b(c.text);
    EXPECT_EQ(find_name(b.data(), b.size(), c.start, c.limit, "Length"), c.expected);
  }
}

TEST(HasTypeName, MatchesTheTypeEntryValue) {
  struct Case {
    const char* name;
    std::string text;
    int expected;
  } cases[] = {
      {"followed by >>", "<</Type /Page>>", 1},
      {"followed by space", "<</Type /Page /Parent 1 0 R>>", 1},
      {"followed by LF", "/Type /Page\n", 1},
      {"no white space before the value", "/Type/Page ", 1},
      {"VT before the value", "/Type\v/Page>>", 1},
      {"at the very end", "/Type /Page", 1},
      {"followed by ]", "/Type /Page]", 1},
      {"followed by }", "/Type /Page}", 1},
      {"followed by <", "/Type /Page<", 1},
      {"second type entry", "/Type /Font /Type /Page>>", 1},
      {"value is Pages", "/Type /Pages>>", 0},
      {"followed by the next key", "/Type /Page/Parent 1 0 R", 1},
      {"Pages followed by the next key", "/Type/Pages/Kids []", 0},
      {"followed by [", "/Type /Page[", 0},
      {"followed by a high byte", "/Type /Page\x80", 0},
      {"value is a string", "/Type (Page)>>", 0},
      {"key is Subtype", "/Subtype /Page>>", 0},
      {"NUL before the value", "/Type \0/Page>>"s, 0},
      {"Type at the end", "/Type", 0},
      {"Type and a space at the end", "/Type ", 0},
      {"value cut short", "/Type /Pa", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b(c.text);
    EXPECT_EQ(has_type_name(b.data(), b.size(), "Page"), c.expected);
  }
}

TEST(HasTypeName, CanRejectTheNextKeyDirectlyAfterTheName) {
  struct Case {
    const char* name;
    std::string text;
    int expected;
  } cases[] = {
      {"followed by the next key", "/Type/Page/Parent 1 0 R", 0},
      {"later entry followed by >>", "/Type/Page/A 1 /Type /Page>>", 1},
      {"followed by space", "/Type/Page /Parent 1 0 R", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b(c.text);
    EXPECT_EQ(has_type_name(b.data(), b.size(), "Page", next_key_slash::rejected), c.expected);
  }
}

}  // namespace
