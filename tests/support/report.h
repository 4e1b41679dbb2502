// The check's report as a test reads it: parsed with a JSON parser, and failing the test unless
// it is one line of JSON holding exactly the five members in their order.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace pdftest {

using Issues = std::vector<std::string>;

struct Report {
  bool valid = false;
  Issues issues;
  int objects = -1;
  int pages = -1;
  std::string header;
};

// Parses a report, failing the test unless it is one line of JSON with exactly the five
// members in their order.
inline Report parse(const std::string& text) {
  Report r;
  EXPECT_EQ(text.find_first_of("\n\r"), std::string::npos) << text;
  const auto json = nlohmann::ordered_json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    ADD_FAILURE() << "not a JSON object: " << text;
    return r;
  }
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"valid", "issues", "objects", "pages", "header"})) << text;
  r.valid = json.value("valid", false);
  r.issues = json.value("issues", Issues{});
  r.objects = json.value("objects", -1);
  r.pages = json.value("pages", -1);
  r.header = json.value("header", std::string("?"));
  return r;
}

// Whether the reference "num G R" (or "num R") starts at `at`.
inline bool reference_at(const std::string& pdf, std::size_t at, const std::string& num) {
  const auto digit = [&pdf](std::size_t i) { return i < pdf.size() && std::isdigit(static_cast<unsigned char>(pdf[i])); };
  const auto space = [&pdf](std::size_t i) { return i < pdf.size() && std::isspace(static_cast<unsigned char>(pdf[i])); };
  if ((at > 0 && digit(at - 1)) || pdf.compare(at, num.size(), num) != 0) return false;
  std::size_t i = at + num.size();
  while (space(i)) ++i;
  while (digit(i)) ++i;  // the generation
  while (space(i)) ++i;
  return i < pdf.size() && pdf[i] == 'R';
}

// Whether every reference to object num in the PDF text stands in a page-tree node (/Type
// /Pages): the object holding it, from its "obj" line to its "endobj", says so.
inline bool referenced_only_by_pages_nodes(const std::string& pdf, int num) {
  const std::string digits = std::to_string(num);
  bool any = false;
  for (std::size_t at = pdf.find(digits); at != std::string::npos; at = pdf.find(digits, at + 1)) {
    if (!reference_at(pdf, at, digits)) continue;
    const std::size_t head = pdf.rfind(" obj", at), end = pdf.find("endobj", at);
    if (head == std::string::npos || end == std::string::npos) return false;
    const std::string object = pdf.substr(head, end - head);
    if (object.find("/Type/Pages") == std::string::npos && object.find("/Type /Pages") == std::string::npos)
      return false;
    any = true;
  }
  return any;
}

// The "dangling ref N" issues of a repair's output that the check of its input did not report,
// for objects the repair had (`had` tells whether the input holds an object numbered N): the
// objects it dropped although they are still referenced. Left out are those a repair may drop:
// objects numbered 8,388,608 or above (never written), and dead pages that only page-tree
// nodes refer to outside /Kids.
template <class Had>
Issues dangling_refs_added(const Report& input, const Report& output, const std::string& pdf, Had had) {
  Issues added;
  for (const std::string& issue : output.issues) {
    if (!issue.starts_with("dangling ref ")) continue;
    if (std::find(input.issues.begin(), input.issues.end(), issue) != input.issues.end()) continue;
    const long num = std::stol(issue.substr(13));
    // A reference to a free object was null in the input already; a deleted one stays so.
    const std::string freed = "free object still referenced (obj " + std::to_string(num) + ")";
    if (std::find(input.issues.begin(), input.issues.end(), freed) != input.issues.end()) continue;
    if (num >= 0x800000 || !had(static_cast<int>(num)) ||
        referenced_only_by_pages_nodes(pdf, static_cast<int>(num)))
      continue;
    added.push_back(issue);
  }
  return added;
}

}  // namespace pdftest
