// Object-stream expansion: the objects packed in /ObjStm containers join the object table,
// their texts pointing into decoded buffers that the request keeps until it ends.
#pragma once

#include <cstdint>

#include "pdfrepair/heap.h"
#include "pdfrepair/objtable.h"

namespace pdfrepair {

// The decoded container buffers of one request. Records of the table point into them, so
// they live as long as the request's tables and are released with the request.
struct decoded_buffers {
  byte** items = nullptr;
  int count = 0;
  int cap = 0;

  decoded_buffers() = default;
  decoded_buffers(const decoded_buffers&) = delete;
  decoded_buffers& operator=(const decoded_buffers&) = delete;
  ~decoded_buffers();
};

// Inflates raw zlib bytes into a buffer of raw * 8 + 64 bytes, four times larger after each attempt
// that found it too small, up to the capacity limit. A stream cut short or refused is given up
// at once: a larger buffer cannot change that outcome. Returns the buffer, trimmed to the
// decoded length, or null.
heap_ptr<byte[]> inflate_container(const byte* raw, std::uint32_t raw_len, int& len);

// A stream record whose dictionary (up to its "stream" keyword) names /ObjStm.
bool is_objstm_container(const byte* buf, int size, const obj_entry& rec);

// Decodes every object stream among the records present at entry and appends one record per
// object it holds. Containers that cannot be expanded contribute nothing; nothing is reported.
void extract_all_objstm(const byte* buf, int size, objvec& table, decoded_buffers& keep);

}  // namespace pdfrepair
