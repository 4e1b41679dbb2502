// The output writer: the kept objects serialised into the bytes of a new PDF 1.4 file, put in
// order into a sink: memory, or a file that becomes the output only once all of it is there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pdfrepair/objtable.h"

namespace pdfrepair {

// Where the writer puts the output's bytes, in order.
class output_sink {
 public:
  virtual void put(const void* bytes, std::size_t n) = 0;
  // The bytes put so far.
  virtual std::uint64_t size() const = 0;
  // Whether memory ran out for some of them: the output is incomplete and must never be used.
  virtual bool out_of_memory() const = 0;

 protected:
  ~output_sink() = default;
};

// Growable output bytes in memory. Whenever data is not null, cap is at least len + 1 and
// data[len] is a NUL that is not part of the output. A buffer whose growth failed is released
// and stays failed: its bytes are incomplete and must never be saved. Released when it goes
// out of scope.
struct out_buf final : output_sink {
  byte* data = nullptr;
  std::uint64_t len = 0;
  std::uint64_t cap = 0;
  bool failed = false;

  out_buf() = default;
  out_buf(const out_buf&) = delete;
  out_buf& operator=(const out_buf&) = delete;
  ~out_buf();

  void put(const void* bytes, std::size_t n) override;
  std::uint64_t size() const override { return len; }
  bool out_of_memory() const override { return failed; }
};

// Appends n bytes: the first append allocates 1 MiB, later growth doubles the capacity. Returns
// the (possibly moved) data, or null when the buffer cannot be allocated or grown, or has
// failed before.
byte* buf_bytes(out_buf& buf, const void* bytes, std::size_t n);

// For a record without dictionary text, the sanitised text the writer starts from: a stream's
// dictionary (its /Length set to the measured data length), an object-stream record's own
// text, or the body of any other object. Its references are the record's. Null when there is
// none.
char* written_text_without_dict(const byte* input, int size, const obj_entry& r);

// The object number of the indirect reference that setting a stream's /Length to its measured
// length drops from the dictionary ("/Length 6 0 R"), or 0.
int dropped_length_reference(const byte* input, int size, const obj_entry& r);

// The sanitised dictionary text the writer cleans and boxes for the record (its dict_text, or
// a stream's dictionary with the measured /Length), as a new text; null when it writes none.
char* text_to_finish(const byte* input, int size, const obj_entry& r);

// Whether a stream's finished dictionary names /FlateDecode (or /Fl) as its first filter.
bool is_flate_stream(const byte* input, int size, const obj_entry& r);

// Serialises the kept objects (object numbers 0 to 0x7FFFFF, as selection keeps them) into
// `out`, which must be empty: a "%PDF-1.4" header, the objects in ascending number with their
// dictionaries finished and their stream data copied from `input` (zlib data that no longer
// decodes whole replaced by what still decodes) under a /Length that matches it, a classic
// xref table and a trailer naming /Root catalog_num, /Info docinfo_num when that is not
// negative, and /ID with the bytes of id when it is not empty. The table reaches at least
// object free_through, so that references to deleted objects up to it name free entries, as
// in the input. Returns 1, or 0 after recording "out of memory" (the output is then unusable).
int write_output(const byte* input, int size, const objvec& kept, int catalog_num,
                 int docinfo_num, output_sink& out, std::string_view id = {}, int free_through = 0);

}  // namespace pdfrepair
