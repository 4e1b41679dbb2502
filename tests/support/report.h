// The check's report as a test reads it: parsed with a JSON parser, and failing the test unless
// it is one line of JSON holding exactly the five members in their order.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

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

}  // namespace pdftest
