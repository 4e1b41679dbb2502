// Object discovery from the file's own bytes: what the file says about itself (header,
// startxref, cross-reference sections, trailers), the linear scan that finds every object by
// its header, the stream extents measured against "endstream", and the rescue of objects the
// cross-reference table lists but whose header the scan could not read.
#pragma once

#include <limits>

#include "pdfrepair/objtable.h"

namespace pdfrepair {

// What the file says about itself. The three arrays are indexed by object number, have
// xref_size slots each and are owned by the record: they are released when it goes out of
// scope (or when parse_xref fills it again).
struct xref_info {
  int has_startxref = 0;  // the last "startxref" names an offset inside the file
  int has_xref = 0;       // a classic table was reached and its first subsection accepted
  int startxref = -1;
  int root_num = -1;
  int info_num = -1;
  unsigned char has_header = 0;  // "%PDF-" was found
  char version[16] = {};         // the version text after "%PDF-", possibly empty
  int* xref_off = nullptr;       // offset from the table, -1 when not listed
  int* xref_gen = nullptr;       // generation from the table, 0 when not listed
  int* xref_used = nullptr;      // 1 for an entry marked in use
  int xref_size = 0;
  int xref_first = 0;
  int has_xref_stream = 0;  // the section startxref names is an object of /Type /XRef
  int id_off = -1;          // the well-formed /ID array ("[" to "]") beside the /Root taken
  int id_len = 0;

  xref_info() = default;
  xref_info(const xref_info&) = delete;
  xref_info& operator=(const xref_info&) = delete;
  ~xref_info();
};

// Reads the header, the last startxref, the first subsection of a classic table with its
// trailers, or the /Prev chain of sections written as objects (for /Root and /Info only, and
// whether the newest is a cross-reference stream). Every field is reset first; whatever is
// missing or damaged keeps its absent value.
void parse_xref(const byte* buf, int len, xref_info& xi);

// The searches that locating bodies and streams repeats per object, cached for one buffer.
struct body_searches {
  match_cache obj;        // bounded "obj"
  match_cache endobj;     // tolerant "endobj"
  match_cache opening;    // "stream" keywords that open data after a ">"
  match_cache heads;      // "obj" keywords after a readable header
  match_cache endstream;  // bounded "endstream"
  match_cache flex_endstream;  // tolerant "endstream"
};

// The passes below share the searches of one buffer when given them, and search on their own
// otherwise.

// Appends one record for every bounded "obj" whose header can be read, in the order of the
// keywords. xi confirms headers damaged by a stray byte of 0x80 or more.
void scan_pass1(const byte* buf, int len, objvec& table, const xref_info& xi,
                body_searches& searches);
inline void scan_pass1(const byte* buf, int len, objvec& table, const xref_info& xi) {
  body_searches searches;
  scan_pass1(buf, len, table, xi, searches);
}

// Measures the stream data of the first count records in place, trusting "endstream" over
// a /Length that disagrees with it or is missing.
void scan_pass2(const byte* buf, int len, obj_entry* items, int count, body_searches& searches);
inline void scan_pass2(const byte* buf, int len, obj_entry* items, int count) {
  body_searches searches;
  scan_pass2(buf, len, items, count, searches);
}

// Appends, in increasing object number, the objects the classic table lists as in use but
// the table of records lacks, found within a few bytes of their listed offset.
void rescue_xref_objects(const byte* buf, int len, const xref_info& xi, objvec& table,
                         body_searches& searches);
inline void rescue_xref_objects(const byte* buf, int len, const xref_info& xi, objvec& table) {
  body_searches searches;
  rescue_xref_objects(buf, len, xi, table, searches);
}

// Shared within discovery.

// Where an object's value lies, seen from its "obj" keyword. The first tolerant "endobj"
// after the dictionary is also the first after its stream keyword, which lies before it.
struct object_body {
  int dict_off = -1;   // the value is taken for a dictionary
  int stream_kw = -1;  // the dictionary's own "stream" keyword, before its first "endobj"
  // The first tolerant "endobj" after the dictionary, or after "obj". A stream with no
  // "endobj" after it ends just past its first "endstream", or at the buffer's length.
  int end = -1;
};

object_body locate_body(const byte* buf, int len, int obj_kw, body_searches& searches);

// The "stream" keyword after the dictionary at dict_off and before m (find_stream_kw), or -1
// when another object's header stands between the two: the keyword is that object's.
int find_own_stream_kw(const byte* buf, int len, int dict_off, int m, body_searches& searches);

// obj_end for an object ending at end: just past a six-byte "endobj". It may lie past the
// buffer (nothing reads it there) but never past the largest signed 32-bit value.
inline int end_past_endobj(int end) {
  return end > std::numeric_limits<int>::max() - 6 ? std::numeric_limits<int>::max() : end + 6;
}

// A header whose generation number and "obj" are parted by one byte of 0x80 or more, read
// backwards from the keyword at p: the position of the object number's first digit, with
// num set (at least 1) and gen set when generation digits were found, or -1.
int parse_damaged_head(const byte* buf, int len, int p, int& num, int& gen, bool& has_gen);

// The first of the first count records with this object number, or null.
const obj_entry* find_record(const obj_entry* items, int count, int num);

}  // namespace pdfrepair
