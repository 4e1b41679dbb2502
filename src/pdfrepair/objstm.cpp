// Object-stream expansion. A container is a stream whose dictionary names /ObjStm; its data is
// decoded (or taken as it is when it names no /FlateDecode), the header of object-number and
// offset pairs before /First is read, and one record per object is appended, pointing into the
// decoded bytes. A container that fails anywhere contributes nothing.
#include "pdfrepair/objstm.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "inflate/inflate.h"
#include "pdfrepair/heap.h"

namespace pdfrepair {
namespace {

constexpr std::uint32_t max_raw_len = 0x10000000;
constexpr std::uint64_t last_retry_capacity = 0x0FFFFFFF;  // no retry after a failure above it
constexpr int max_objects = 100000;
constexpr int max_object_len = 0x100000;

// A container's dictionary runs up to its "stream" keyword, or to the end of the input.
int dict_end(const obj_entry& rec, int size) { return rec.stream_kw > 0 ? rec.stream_kw : size; }

// The value of the first /name entry in the dictionary whose integer is at least min, or -1.
int first_value_at_least(const byte* buf, int size, const obj_entry& rec, std::string_view name,
                         int min) {
  const int end = dict_end(rec, size);
  for (int p = find_name(buf, size, rec.dict_off, end, name); p >= 0;
       p = find_name(buf, size, p + 1, end, name)) {
    int pos = p + 1 + static_cast<int>(name.size());
    const int value = parse_int_at(buf, size, pos);
    if (value >= min) return value;
  }
  return -1;
}


// The container's data, decoded or copied into a buffer of its own, or null.
heap_ptr<byte[]> container_data(const byte* buf, int size, const obj_entry& rec, int& len) {
  if (rec.data_start < 0 || rec.data_end > size) return nullptr;
  const std::uint32_t raw_len =
      static_cast<std::uint32_t>(rec.data_end) - static_cast<std::uint32_t>(rec.data_start);
  if (raw_len > max_raw_len) return nullptr;
  const byte* raw = buf + rec.data_start;
  if (find_name(buf, size, rec.dict_off, dict_end(rec, size), "FlateDecode") >= 0)
    return inflate_container(raw, raw_len, len);
  // Any other filter is ignored: the data is taken as it stands.
  heap_ptr<byte[]> copy = heap_array<byte>(raw_len);
  if (copy) {
    std::memcpy(copy.get(), raw, raw_len);
    len = static_cast<int>(raw_len);
  }
  return copy;
}

// Reads the n header pairs from the decoded bytes and appends a record for every object whose
// number is positive and whose length is usable. Returns false, appending nothing, when any
// pair is unreadable or memory runs out.
bool append_objects(const byte* data, int len, int n, int first, objvec& table) {
  heap_ptr<int[]> nums = heap_array<int>(n);
  heap_ptr<int[]> offsets = heap_array<int>(n);
  if (!nums || !offsets) return false;
  int pos = 0;
  for (int k = 0; k < n; ++k) {
    nums[k] = read_int_adv(data, len, pos);
    offsets[k] = read_int_adv(data, len, pos);
    if (nums[k] < 0 || offsets[k] < 0) return false;
  }
  for (int k = 0; k < n; ++k) {
    if (nums[k] <= 0) continue;
    const std::int64_t start = std::int64_t{first} + offsets[k];
    const std::int64_t length = k + 1 < n ? std::int64_t{offsets[k + 1]} - offsets[k] : len - start;
    if (length < 1 || length > max_object_len) continue;
    // Only the last object is measured against the decoded bytes: an earlier one whose
    // offsets reach past them is cut where they end, and dropped when it starts beyond them.
    const std::int64_t available = len - start;
    if (available < 1) continue;
    objvec_push(table, obj_entry{.num = nums[k],
                                 .in_objstm = 1,
                                 .own_text = data + start,
                                 .own_len = static_cast<int>(std::min(length, available))});
  }
  return true;
}

// Makes room to remember one more buffer, so that a decoded buffer is never left unowned.
bool reserve_one(decoded_buffers& keep) {
  if (keep.count < keep.cap) return true;
  const int cap = keep.cap ? keep.cap * 2 : 16;
  auto** grown = static_cast<byte**>(mem_realloc(keep.items, cap * sizeof(byte*)));
  if (!grown) return false;
  keep.items = grown;
  keep.cap = cap;
  return true;
}

void expand_container(const byte* buf, int size, objvec& table, int index, decoded_buffers& keep) {
  const obj_entry rec = table.items[index];  // a copy: appending may move the table
  const int n = first_value_at_least(buf, size, rec, "N", 1);
  const int first = first_value_at_least(buf, size, rec, "First", 0);
  if (first < 0 || n < 1 || n > max_objects || !reserve_one(keep)) return;
  int len = 0;
  heap_ptr<byte[]> data = container_data(buf, size, rec, len);
  if (!data || first > len) return;
  const int before = table.count;
  if (!append_objects(data.get(), len, n, first, table)) return;
  if (table.count > before) keep.items[keep.count++] = data.release();
}

}  // namespace

heap_ptr<byte[]> inflate_container(const byte* raw, std::uint32_t raw_len, int& len) {
  heap_ptr<byte[]> out;
  for (std::uint64_t capacity = std::uint64_t{raw_len} * 8 + 64;; capacity *= 4) {
    if (capacity > inflate_max_out) return nullptr;  // the decoder would refuse it unread
    byte* grown = static_cast<byte*>(mem_realloc(out.get(), capacity));
    if (!grown) return nullptr;
    static_cast<void>(out.release());
    out.reset(grown);
    std::uint64_t decoded = 0;
    const inflate_status status = inflate_run(raw, raw_len, out.get(), capacity, &decoded);
    if (status == inflate_status::decoded) {
      len = static_cast<int>(decoded);
      // A trim that fails leaves the larger buffer, which serves as well: no failure to note.
      if (byte* trimmed = static_cast<byte*>(std::realloc(out.get(), std::max(decoded, std::uint64_t{1})))) {
        static_cast<void>(out.release());
        out.reset(trimmed);
      }
      return out;
    }
    if (status != inflate_status::output_full || capacity > last_retry_capacity) return nullptr;
  }
}

bool is_objstm_container(const byte* buf, int size, const obj_entry& rec) {
  return !rec.in_objstm && rec.has_stream && rec.dict_off >= 0 &&
         find_name(buf, size, rec.dict_off, dict_end(rec, size), "ObjStm") >= 0;
}

void extract_all_objstm(const byte* buf, int size, objvec& table, decoded_buffers& keep) {
  // Only the records present now are candidates: appended ones are never expanded again.
  const int n = table.count;
  heap_ptr<int[]> containers = heap_array<int>(n);
  if (!containers) return;
  int found = 0;
  for (int i = 0; i < n; ++i)
    if (is_objstm_container(buf, size, table.items[i])) containers[found++] = i;
  for (int k = 0; k < found; ++k) expand_container(buf, size, table, containers[k], keep);
}

decoded_buffers::~decoded_buffers() {
  for (int i = 0; i < count; ++i) std::free(items[i]);
  std::free(items);
}

}  // namespace pdfrepair
