// What each fuzz target does with one input, shared by the libFuzzer targets and by the test
// that replays fuzz/regressions/ without libFuzzer, so a replayed input runs exactly the code
// that found it. Each entry point returns "" when every promise held, or the broken promise
// in one sentence; memory faults, leaks and undefined behaviour are left to the sanitizers.
// Header-only so that the test executable compiles it without a second library.
#pragma once

#ifdef _WIN32
#include <process.h>  // getpid
#else
#include <unistd.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#if defined(__has_include)
#  if __has_include(<sanitizer/asan_interface.h>)
#    include <sanitizer/asan_interface.h>
#  endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#  define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#  define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

#include "pdfrepair.h"
#include "inflate/inflate.h"
#include "pdfrepair/analysis.h"
#include "pdfrepair/dict.h"

namespace pdfrepair_fuzz {

// Longer inputs are passed over: they make each run slower without reaching new code, and
// they keep one run's memory small. scripts/fuzz gives libFuzzer the same cap (-max_len).
inline constexpr std::size_t max_input = 64 * 1024;

// Two bytes of an inflate input choose the output capacity, up to this many bytes.
inline constexpr std::size_t max_inflate_capacity = 0xFFFF;

namespace detail {

// A private folder for this process's input and output files, removed when the process ends.
class Scratch {
 public:
  Scratch() {
    dir_ = std::filesystem::temp_directory_path() /
           ("pdfrepair-fuzz-" + std::to_string(static_cast<long>(getpid())));
    std::filesystem::create_directories(dir_);
    input_ = (dir_ / "input.pdf").string();
    output_ = (dir_ / "output.pdf").string();
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& input() const { return input_; }
  const std::string& output() const { return output_; }

 private:
  std::filesystem::path dir_;
  std::string input_;
  std::string output_;
};

inline const Scratch& scratch() {
  static const Scratch s;
  return s;
}

inline bool write_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool whole = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && whole;
}

inline bool file_exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

// A heap block holding exactly these bytes, so that AddressSanitizer sees any read past them.
inline std::unique_ptr<std::uint8_t[]> exact_copy(const std::uint8_t* data, std::size_t size) {
  auto copy = std::make_unique<std::uint8_t[]>(size);
  if (size) std::memcpy(copy.get(), data, size);
  return copy;
}

// A buffer between two guard zones: AddressSanitizer reports any access to a guard, and a
// build without it still notices a write there by the changed pattern.
class Guarded {
 public:
  explicit Guarded(std::size_t size) : size_(size), block_(new std::uint8_t[size + 2 * guard]) {
    std::memset(block_.get(), pattern, guard);
    std::memset(data(), 0, size_);
    std::memset(data() + size_, pattern, guard);
    ASAN_POISON_MEMORY_REGION(block_.get(), guard);
    ASAN_POISON_MEMORY_REGION(data() + size_, guard);
  }
  ~Guarded() {
    ASAN_UNPOISON_MEMORY_REGION(block_.get(), size_ + 2 * guard);
  }
  Guarded(const Guarded&) = delete;
  Guarded& operator=(const Guarded&) = delete;

  std::uint8_t* data() { return block_.get() + guard; }

  bool guards_intact() {
    ASAN_UNPOISON_MEMORY_REGION(block_.get(), size_ + 2 * guard);
    bool intact = true;
    for (std::size_t i = 0; i < guard; ++i)
      intact = intact && block_[i] == pattern && data()[size_ + i] == pattern;
    ASAN_POISON_MEMORY_REGION(block_.get(), guard);
    ASAN_POISON_MEMORY_REGION(data() + size_, guard);
    return intact;
  }

 private:
  static constexpr std::size_t guard = 64;
  static constexpr std::uint8_t pattern = 0xA5;
  std::size_t size_;
  std::unique_ptr<std::uint8_t[]> block_;
};

}  // namespace detail

// The input as a file, checked by path: the report is one line of JSON, or "" only when the
// file could not be read into memory.
inline std::string check_file(const std::uint8_t* data, std::size_t size) {
  if (size > max_input) return "";
  const std::string& path = detail::scratch().input();
  if (!detail::write_file(path, data, size)) return "the input file could not be written";
  const char* report = pdfrepair_check(path.c_str());
  if (!report) return "the check answered null";
  const std::size_t len = std::strlen(report);
  if (len == 0) return "";
  if (report[0] != '{' || report[len - 1] != '}') return "the report is not a JSON object";
  if (std::strchr(report, '\n')) return "the report spans more than one line";
  return "";
}

// The input as a file, repaired to a fresh output path: success leaves the last-error text
// empty and the output written, failure explains itself and creates no output.
inline std::string fix_file(const std::uint8_t* data, std::size_t size) {
  if (size > max_input) return "";
  const auto& files = detail::scratch();
  if (!detail::write_file(files.input(), data, size)) return "the input file could not be written";
  std::remove(files.output().c_str());
  pdfrepair_init();
  const int fixed = pdfrepair_fix(files.input().c_str(), files.output().c_str());
  const char* error = pdfrepair_last_error();
  const bool written = detail::file_exists(files.output());
  std::remove(files.output().c_str());
  if (!error) return "the last-error text is null";
  if (fixed == 1 && error[0] != '\0') return "a successful repair left a last-error text";
  if (fixed == 1 && !written) return "a successful repair wrote no output";
  if (fixed == 0 && error[0] == '\0') return "a failed repair gave no reason";
  if (fixed == 0 && written) return "a failed repair created the output file";
  if (fixed != 0 && fixed != 1) return "the repair returned neither 1 nor 0";
  return "";
}

// The first two bytes (little-endian) are the output capacity, the rest is the zlib stream.
// Both the input and the output sit between guard zones, and the two decoding calls must agree.
inline std::string inflate_buffer(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > max_input) return "";
  const std::size_t cap = (data[0] | data[1] << 8) & max_inflate_capacity;
  const std::size_t in_len = size - 2;
  detail::Guarded in(in_len);
  if (in_len) std::memcpy(in.data(), data + 2, in_len);

  detail::Guarded out(cap);
  std::uint64_t out_len = 1;
  const pdfrepair::inflate_status status =
      pdfrepair::inflate_run(in.data(), in_len, out.data(), cap, &out_len);
  detail::Guarded again(cap);
  std::uint64_t again_len = 1;
  const int result = pdfrepair::inflate_decompress(in.data(), in_len, again.data(), cap, &again_len);

  if (!in.guards_intact() || !out.guards_intact() || !again.guards_intact())
    return "the decoder touched a guard zone";
  if (out_len > cap) return "the decoder counted more bytes than the capacity";
  if (status != pdfrepair::inflate_status::decoded && out_len != 0)
    return "a refused decode counted bytes";
  if (result != (status == pdfrepair::inflate_status::decoded ? 0 : -1))
    return "inflate_decompress and inflate_run disagree on the result";
  if (again_len != out_len || (out_len && std::memcmp(out.data(), again.data(), out_len) != 0))
    return "two decodes of the same input differ";
  return "";
}

// The input as the bytes of a dictionary, taken through the repair's own chain (sanitise,
// clean, test for death), and the death test on the raw bytes as well.
inline std::string dictionary_text(const std::uint8_t* data, std::size_t size) {
  if (size > max_input) return "";
  const auto bytes = detail::exact_copy(data, size);
  const int len = static_cast<int>(size);
  pdfrepair::dict_is_dead(reinterpret_cast<const char*>(bytes.get()), len);

  const std::unique_ptr<char, decltype(&std::free)> sanitized(
      pdfrepair::sanitize_dict_text(bytes.get(), len), &std::free);
  if (!sanitized) return "the sanitiser refused a length in range";
  const std::size_t sanitized_len = std::strlen(sanitized.get());
  if (sanitized_len > size * 4) return "the sanitised text is over 4 times its input";
  pdfrepair::dict_is_dead(sanitized.get(), static_cast<int>(sanitized_len));

  const std::unique_ptr<char, decltype(&std::free)> cleaned(
      pdfrepair::clean_dict_text(sanitized.get()), &std::free);
  if (!cleaned) return "the cleaner answered null";
  pdfrepair::dict_is_dead(cleaned.get(), static_cast<int>(std::strlen(cleaned.get())));
  return "";
}

// The input as a whole file in memory, through every discovery pass; every record found must
// lie inside the buffer.
inline std::string discovery(const std::uint8_t* data, std::size_t size) {
  if (size > max_input) return "";
  const auto bytes = detail::exact_copy(data, size);
  const int len = static_cast<int>(size);
  pdfrepair::analysis a;
  pdfrepair::discover(bytes.get(), len, a);
  for (int i = 0; i < a.objs.count; ++i) {
    const pdfrepair::obj_entry& rec = a.objs.items[i];
    if (rec.in_objstm) continue;  // its offsets are into a decoded buffer
    if (rec.hdr_off >= len || rec.dict_off >= len || rec.stream_kw >= len)
      return "a record points past the end of the buffer";
    if (rec.data_start >= 0 && (rec.data_start > rec.data_end || rec.data_end > len))
      return "a stream's data lies outside the buffer";
  }
  pdfrepair::record_index index;
  pdfrepair::build_record_index(a.objs, index);
  for (int i = 0; i < a.objs.count; ++i) {
    const int num = a.objs.items[i].num;
    const pdfrepair::obj_entry* first = pdfrepair::first_record(a.objs, index, num);
    if (!first || first->num != num) return "the record index lost an object number";
  }
  return "";
}

}  // namespace pdfrepair_fuzz
