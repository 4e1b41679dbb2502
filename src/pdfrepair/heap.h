// Owned heap memory from the C allocator: an allocation that fails is a null pointer for the
// caller to handle, never an exception, and whatever was allocated is released on every path.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace pdfrepair {

struct free_deleter {
  void operator()(void* p) const { std::free(p); }
};

template <class T>
using heap_ptr = std::unique_ptr<T, free_deleter>;

// n elements of uninitialised storage, or null.
template <class T>
heap_ptr<T[]> heap_array(std::size_t n) {
  return heap_ptr<T[]>(static_cast<T*>(std::malloc(n ? n * sizeof(T) : 1)));
}

}  // namespace pdfrepair
