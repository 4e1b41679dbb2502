// Forgiving byte-level primitives over the input buffer: byte classes, white space and
// comments, integers, keywords, names and type entries, and the locators of object headers,
// "endobj" and "stream". Every function takes explicit bounds and never reads a byte before
// 0 or at or past the end it is given, whatever the positions say.
#pragma once

#include <cstdint>
#include <string_view>

namespace pdfrepair {

using byte = unsigned char;

// The byte at i when 0 <= i < end, else -1, which belongs to no byte class.
inline int byte_at(const byte* b, int end, int i) { return i >= 0 && i < end ? b[i] : -1; }

// The four byte classes. They differ (NUL is PDF white space, VT is ASCII white space, no
// byte of 0x80 or more is alphanumeric) and are never merged.
inline bool is_pdf_ws(int c) {
  return c == 0x00 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}
inline bool is_ascii_ws(int c) {
  return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ';
}
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }
inline bool is_alnum(int c) {
  return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
// The bytes that end a name, a number or a keyword and open or close the next token.
inline bool is_delimiter(int c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
         c == '}' || c == '/' || c == '%';
}
inline bool is_hex_digit(int c) { return is_digit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// First position at or after p that is neither PDF white space nor inside a "%" comment, or
// end. A position outside [0, end) is returned unchanged.
int skip_ws(const byte* b, int p, int end);

// Whether any of the eight bytes of w is c: the test that lets a scan pass over eight plain
// bytes at a time.
inline bool holds_byte(std::uint64_t w, byte c) {
  constexpr std::uint64_t ones = 0x0101010101010101;
  const std::uint64_t x = w ^ (ones * c);
  return ((x - ones) & ~x & (ones << 7)) != 0;
}

// Just past the ")" that closes the literal string whose "(" is at open, or -1 when the
// string is still open at end. A backslash escapes the byte after it, and an unescaped "("
// opens a balanced pair inside the string, so "(a(b)<c)" is one string. Every step that
// passes over literal strings reads them with this.
int literal_string_end(const byte* b, int end, int open);

// The names that stand at the top level of a text's first dictionary, as its own keys and
// values (arrays included): not those inside strings or nested dictionaries. One walk serves a
// whole series of next() calls.
struct top_level_names {
  const byte* t;
  int len;
  int i = 0;
  int depth = 0;    // "<<" open
  int closer = -1;  // the ">>" that closed the first dictionary, once next() reached it

  // The "/" of the next such name, or -1 once the first dictionary closes or the text ends.
  int next();
  // The next such name that is "/name" not followed by an alphanumeric byte, or -1.
  int next(std::string_view name);
};

// Signed decimal after white space and comments, accumulated modulo 2^32; -1 when there is
// none, and then pos is left alone. On success pos moves just past the digits.
int parse_int_at(const byte* b, int end, int& pos);

// Like parse_int_at, but a "-" is skipped without negating and pos always moves: past the
// digits, to end when nothing remains, or one past a byte that is not a digit.
int read_int_adv(const byte* b, int end, int& pos);

// 1 when kw stands at p bounded by non-alphanumeric bytes (the byte after it is not examined
// when the keyword ends at end).
int kw_at(const byte* b, int p, int end, std::string_view kw);

// First bounded occurrence of kw at or after start (negative start: 0), or -1. The byte
// before a match is examined even when it lies before start.
int find_kw(const byte* b, int end, int start, std::string_view kw);

// Position of the "/" of the first "/name" at or after start ending by min(len, limit) and
// not followed by an alphanumeric byte, or -1. The byte before the "/" is never examined.
int find_name(const byte* b, int len, int start, int limit, std::string_view name);

// Whether a type name may be followed directly by the "/" of the next key, as compact
// writers put it ("/Type/Page/Parent 2 0 R").
enum class next_key_slash { accepted, rejected };

// 1 when the text holds "/Type" followed (after ASCII white space) by "/name" ending the
// text or followed by ASCII white space, one of < > ] }, or "/" unless that is rejected.
int has_type_name(const byte* text, int len, std::string_view name,
                  next_key_slash slash = next_key_slash::accepted);
inline int has_type_name(const char* text, int len, std::string_view name,
                         next_key_slash slash = next_key_slash::accepted) {
  return has_type_name(reinterpret_cast<const byte*>(text), len, name, slash);
}

// The "R" of an indirect reference whose object number's digits end just before q: optional
// white space, an optional generation and white space, then "R" followed by the end, white
// space or a delimiter (producers write "2 0 R(next key)" in name trees). So "12 0 R", "12 R",
// "12R" and "12 0R" all match. -1 when the shape does not follow; has_gen tells whether a
// generation was there.
int reference_keyword(const byte* b, int len, int q, bool& has_gen);

// Object header read backwards from the "obj" keyword at p (p <= len): the position of the
// object number's first digit, with num and gen set, or -1 with both left alone.
int parse_obj_head(const byte* b, int len, int p, int& num, int& gen);

// 1 when kw stands at a with at most two of its bytes replaced by bytes of 0x80 or more, and
// no alphanumeric byte directly before or after it.
int flex_kw_at(const byte* b, int len, int a, std::string_view kw);

// First position at or after s (negative s: 0) where flex_kw_at holds for kw, or -1.
int find_flex_kw(const byte* b, int len, int s, std::string_view kw);

// First tolerant "endobj" (see flex_kw_at) at or after s, or -1.
int find_endobj_flex(const byte* b, int len, int s);

// First "stream" keyword after s and before m that follows a ">" (and white space) and is
// followed by LF or CR LF, or -1.
int find_stream_kw(const byte* b, int len, int s, int m);

// Every position of one buffer where one search's test holds, found in a single pass the
// first time a search asks, so that a series of forward searches costs a binary search
// each. When the positions cannot be stored, every search walks the buffer as the plain one
// does. A cache serves one buffer and one test.
struct match_cache {
  int* items = nullptr;  // increasing
  int count = 0;
  bool built = false;
  bool failed = false;  // memory ran out

  match_cache() = default;
  match_cache(const match_cache&) = delete;
  match_cache& operator=(const match_cache&) = delete;
  ~match_cache();
};

// The searches above through a cache, with the same results.
int find_kw(const byte* b, int len, int start, std::string_view kw, match_cache& cache);
// kw has at least 6 bytes.
int find_flex_kw(const byte* b, int len, int s, std::string_view kw, match_cache& cache);
// The cache holds the "stream" keywords that open stream data after a ">" anywhere before.
int find_stream_kw(const byte* b, int len, int s, int m, match_cache& opening);

// First bounded "obj" at or after s (negative s: 0) that follows a readable object header
// (parse_obj_head), or -1; the cache holds every such keyword. Built from every bounded
// "obj", through keywords (the cache of find_kw), so that one scan serves both.
int find_obj_head(const byte* b, int len, int s, match_cache& heads, match_cache& keywords);

}  // namespace pdfrepair
