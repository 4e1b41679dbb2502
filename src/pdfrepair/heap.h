// Owned heap memory from the C allocator: an allocation that fails is a null pointer for the
// caller to handle, never an exception, and whatever was allocated is released on every path.
// Every allocation of the library goes through mem_malloc, mem_calloc and mem_realloc, which
// remember a failure until the next request starts: a step may go on with less after one, but
// a repair never reports success.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace pdfrepair {

void* mem_malloc(std::size_t n);
void* mem_calloc(std::size_t n, std::size_t size);
void* mem_realloc(void* p, std::size_t n);

// A copy of a NUL-terminated text, or null.
char* copy_text(const char* text);
// The first len bytes of a text, NUL-terminated in a buffer of their own size, or null.
char* copy_prefix(const char* text, std::size_t len);

// Forgets earlier failures; a request calls it first.
void reset_allocation_failures();
// Whether an allocation failed since the last reset.
bool allocation_failed();
// For the tests: the nth allocation from now on fails, and every later one succeeds again; 0
// makes none fail.
void fail_nth_allocation(long n);

struct free_deleter {
  void operator()(void* p) const { std::free(p); }
};

template <class T>
using heap_ptr = std::unique_ptr<T, free_deleter>;

// n elements of uninitialised storage, or null.
template <class T>
heap_ptr<T[]> heap_array(std::size_t n) {
  return heap_ptr<T[]>(static_cast<T*>(mem_malloc(n ? n * sizeof(T) : 1)));
}

// Releases a large_bytes buffer: mapped memory of `mapped` bytes, or (0) from the C allocator.
struct large_deleter {
  std::size_t mapped = 0;
  void operator()(unsigned char* p) const;
};

using large_ptr = std::unique_ptr<unsigned char[], large_deleter>;

// n uninitialised bytes for a buffer that is filled once and read throughout a request (the
// input), or null. On Linux a large one is mapped and asked for huge pages: filling tens of
// megabytes page by page costs more in page faults than reading them.
large_ptr large_bytes(std::size_t n);

}  // namespace pdfrepair
