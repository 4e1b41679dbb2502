// The library's allocations, with the failure every request must know about.
#include "pdfrepair/heap.h"

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

void reset_allocation_failures() { g_alloc_failed = false; }

bool allocation_failed() { return g_alloc_failed; }

void fail_nth_allocation(long n) { g_alloc_countdown = n; }

}  // namespace pdfrepair
