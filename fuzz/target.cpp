// One libFuzzer target: PDFREPAIR_FUZZ_ENTRY names the entry point it drives (fuzz/CMakeLists.txt
// builds one executable per entry point). A broken promise aborts the run, which libFuzzer keeps
// as a crash input like any sanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "entry_points.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string broken = pdfrepair_fuzz::PDFREPAIR_FUZZ_ENTRY(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "broken promise: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}
