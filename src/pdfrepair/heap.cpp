// The library's allocations, with the failure every request must know about.
#include "pdfrepair/heap.h"

#include <cstring>

// Under AddressSanitizer every buffer comes from the allocator, whose bounds it checks: the
// rounding of a mapping would hide a read past the end.
#if defined(__linux__)
#  define PDFREPAIR_MAPPED_BUFFERS 1
#else
#  define PDFREPAIR_MAPPED_BUFFERS 0
#endif
#if defined(__SANITIZE_ADDRESS__)
#  undef PDFREPAIR_MAPPED_BUFFERS
#  define PDFREPAIR_MAPPED_BUFFERS 0
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    undef PDFREPAIR_MAPPED_BUFFERS
#    define PDFREPAIR_MAPPED_BUFFERS 0
#  endif
#endif

#if PDFREPAIR_MAPPED_BUFFERS
#  include <sys/mman.h>
#endif

namespace pdfrepair {

namespace {

bool g_alloc_failed = false;
long g_alloc_countdown = 0;  // the allocation that fails when it reaches 0 from 1; 0: none

// Whether this allocation is the one the tests asked to fail.
bool forced_failure() {
  if (g_alloc_countdown <= 0) return false;
  return --g_alloc_countdown == 0;
}

void* noted(void* p) {
  if (!p) g_alloc_failed = true;
  return p;
}

}  // namespace

void* mem_malloc(std::size_t n) { return noted(forced_failure() ? nullptr : std::malloc(n)); }

void* mem_calloc(std::size_t n, std::size_t size) {
  return noted(forced_failure() ? nullptr : std::calloc(n, size));
}

void* mem_realloc(void* p, std::size_t n) {
  return noted(forced_failure() ? nullptr : std::realloc(p, n));
}

#if PDFREPAIR_MAPPED_BUFFERS

namespace {
constexpr std::size_t huge_page = std::size_t{2} << 20;
}  // namespace

large_ptr large_bytes(std::size_t n) {
  if (n < 2 * huge_page) return large_ptr(static_cast<unsigned char*>(mem_malloc(n ? n : 1)));
  if (forced_failure()) return large_ptr(static_cast<unsigned char*>(noted(nullptr)));
  const std::size_t mapped = (n + huge_page - 1) / huge_page * huge_page;
  void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return large_ptr(static_cast<unsigned char*>(noted(nullptr)));
  madvise(p, mapped, MADV_HUGEPAGE);  // a hint: without huge pages the buffer works all the same
  return large_ptr(static_cast<unsigned char*>(p), large_deleter{mapped});
}

void large_deleter::operator()(unsigned char* p) const {
  if (mapped)
    munmap(p, mapped);
  else
    std::free(p);
}

#else

large_ptr large_bytes(std::size_t n) { return large_ptr(static_cast<unsigned char*>(mem_malloc(n ? n : 1))); }

void large_deleter::operator()(unsigned char* p) const { std::free(p); }

#endif

char* copy_text(const char* text) { return copy_prefix(text, std::strlen(text)); }

char* copy_prefix(const char* text, std::size_t len) {
  char* copy = static_cast<char*>(mem_malloc(len + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, text, len);
  copy[len] = '\0';
  return copy;
}

void reset_allocation_failures() { g_alloc_failed = false; }

bool allocation_failed() { return g_alloc_failed; }

void fail_nth_allocation(long n) { g_alloc_countdown = n; }

}  // namespace pdfrepair
