// Builds the tool's output lines: JSON strings escaped for arbitrary path bytes, and the
// members of the library's reports, whose layout is fixed.
#include "json_line.h"

#include <cstdio>

namespace pdfrepair_cli {

namespace {

// Length of the well-formed UTF-8 sequence at the start of s, 0 when there is none.
std::size_t utf8_sequence(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

}  // namespace

std::string json_string(std::string_view bytes) {
  std::string out = "\"";
  while (!bytes.empty()) {
    const unsigned char c = static_cast<unsigned char>(bytes[0]);
    const std::size_t length = utf8_sequence(bytes);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      bytes.remove_prefix(1);
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out.append(bytes.substr(0, length));
    }
    bytes.remove_prefix(length);
  }
  out += '"';
  return out;
}

std::string report_line(std::string_view path, std::string_view report) {
  report.remove_prefix(1);  // the report's opening brace
  return "{\"file\":" + json_string(path) + "," + std::string(report);
}

std::string error_line(std::string_view path, std::string_view reason) {
  return "{\"file\":" + json_string(path) + ",\"error\":" + json_string(reason) + "}";
}

ReportFacts report_facts(std::string_view report) {
  // {"valid":B,"issues":[...],"objects":N,"pages":N,"header":"V"}; no issue text holds the
  // key that follows the list, and the header holds digits and a dot.
  const std::size_t issues = report.find("\"issues\":"), objects = report.rfind(",\"objects\":"),
                    pages = report.rfind(",\"pages\":"), header = report.rfind(",\"header\":");
  if (issues == std::string_view::npos || objects == std::string_view::npos || pages == std::string_view::npos ||
      header == std::string_view::npos)
    return {};
  const auto between = [&](std::size_t from, std::size_t to) { return std::string(report.substr(from, to - from)); };
  return {between(issues + 9, objects), between(objects + 11, pages), between(pages + 9, header)};
}

std::string repaired_line(std::string_view input, std::string_view output, const ReportFacts& before,
                          const ReportFacts& after) {
  return "{\"file\":" + json_string(input) + ",\"output\":" + json_string(output) +
         ",\"repaired\":true,\"issues\":" + before.issues + ",\"objects\":[" + before.objects + "," +
         after.objects + "],\"pages\":[" + before.pages + "," + after.pages + "]}";
}

std::string unrepaired_line(std::string_view input, std::string_view reason) {
  return "{\"file\":" + json_string(input) + ",\"repaired\":false,\"error\":" + json_string(reason) + "}";
}

}  // namespace pdfrepair_cli
