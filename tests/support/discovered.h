// The object numbers the library's own discovery finds in a file's bytes, object streams
// included: what a repair starts from.
#pragma once

#include <set>
#include <string>

#include "pdfrepair/analysis.h"
#include "support/pdf_builder.h"

namespace pdftest {

inline std::set<int> discovered_numbers(const std::string& bytes) {
  const Bytes copy(bytes);
  pdfrepair::analysis a;
  pdfrepair::discover(copy.data(), copy.size(), a);
  std::set<int> nums;
  for (int i = 0; i < a.objs.count; ++i) nums.insert(a.objs.items[i].num);
  return nums;
}

}  // namespace pdftest
