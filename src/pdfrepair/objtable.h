// The object table: one record per discovered object (written in the file, rescued through
// the xref table, or packed in an object stream), in discovery order, duplicates included.
#pragma once

#include "pdfrepair/scan.h"

namespace pdfrepair {

// Offsets are into the input buffer; -1 means none. A record never copies file bytes.
struct obj_entry {
  int num = 0;
  int gen = 0;
  int hdr_off = -1;     // first digit of the object number in "N G obj"
  int dict_off = -1;    // first byte of a value taken for a dictionary
  int stream_kw = -1;   // the "stream" keyword after the dictionary
  int data_start = -1;  // stream data, once measured against "endstream"
  int data_end = -1;
  int endobj_off = -1;  // the (possibly damaged) "endobj", or just past ">>" in one case
  int obj_end = -1;     // endobj_off + 6
  int data_len = -1;    // data_end - data_start
  int has_stream = 0;
  int bad_length = 0;   // measured length differs from the declared /Length
  int truncated = 0;    // no end keyword: the data was taken to run on
  int in_objstm = 0;
  int damaged_head = 0;  // found through a damaged header, or rescued through the xref table
  const byte* own_text = nullptr;  // object-stream records: a view into a decoded buffer
  int own_len = 0;
  int* refs = nullptr;  // owned: object numbers this record's dictionary references
  int ref_count = 0;
  int ref_cap = 0;
  char* dict_text = nullptr;  // owned: the sanitised dictionary, NUL-terminated
  int dict_len = 0;
};

// Growable table of records; zero-initialised it is a valid empty table. It releases its
// array and every record's refs and dict_text when it goes out of scope.
struct objvec {
  obj_entry* items = nullptr;
  int count = 0;
  int cap = 0;

  objvec() = default;
  objvec(const objvec&) = delete;
  objvec& operator=(const objvec&) = delete;
  ~objvec();
};

// Appends a copy of rec (taking over its refs and dict_text). Capacity grows to 128, then to
// twice the count; when it cannot grow, the record is lost and the table stays as it was.
void objvec_push(objvec& v, const obj_entry& rec);

// Gives the table room for at least n records at once (none when n is not above its
// capacity); when that fails, it stays as it was and grows as pushes need.
void objvec_reserve(objvec& v, int n);

// Releases what a record owns (refs, dict_text) and clears those fields.
void obj_entry_release(obj_entry& rec);

// The position of the first record (in table order) of each object number, for lookups that
// would otherwise walk the table once per number. It describes the records as they were when
// it was built.
struct record_index {
  struct slot {
    int num;
    int pos;
  };
  slot* slots = nullptr;  // by number, then by table position; null when memory ran out
  int count = 0;

  record_index() = default;
  record_index(const record_index&) = delete;
  record_index& operator=(const record_index&) = delete;
  ~record_index();
};

void build_record_index(const obj_entry* items, int count, record_index& index);

// The first slot of this number in a built index (its slots of one number lie side by side,
// in table order), or the first slot of a larger number, or the end.
const record_index::slot* first_slot(const record_index& index, int num);
inline void build_record_index(const objvec& objs, record_index& index) {
  build_record_index(objs.items, objs.count, index);
}

// The first of the count records with this number, or null; walks them when the index could
// not be built.
const obj_entry* first_record(const obj_entry* items, int count, const record_index& index,
                              int num);
inline const obj_entry* first_record(const objvec& objs, const record_index& index, int num) {
  return first_record(objs.items, objs.count, index, num);
}

}  // namespace pdfrepair
