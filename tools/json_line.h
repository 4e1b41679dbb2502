// The lines the tool prints: for `check` the library's report with the file's path added as
// its first member, or the path with the reason when the file could not be analysed; for
// `fix` what a repair did, or why it failed.
#pragma once

#include <string>
#include <string_view>

namespace pdfrepair_cli {

// A JSON string literal, quotes included. Control characters are escaped, and a byte that
// does not belong to a well-formed UTF-8 sequence becomes U+FFFD so the line stays valid JSON
// whatever bytes a path holds.
std::string json_string(std::string_view bytes);

// {"file":PATH, followed by the members of report (a JSON object from pdfrepair_check).
std::string report_line(std::string_view path, std::string_view report);

// {"file":PATH,"error":REASON}
std::string error_line(std::string_view path, std::string_view reason);

// What a fix line takes from a check report, as JSON text: its issues and its two counts, or
// [] and null for a file without a report ("").
struct ReportFacts {
  std::string issues = "[]";
  std::string objects = "null";
  std::string pages = "null";
};
ReportFacts report_facts(std::string_view report);

// {"file":IN,"output":OUT,"repaired":true,"issues":[...],"objects":[N,N],"pages":[N,N]}: the
// issues of the input's report, the counts of the input's and of the output's.
std::string repaired_line(std::string_view input, std::string_view output, const ReportFacts& before,
                          const ReportFacts& after);

// {"file":IN,"repaired":false,"error":REASON}
std::string unrepaired_line(std::string_view input, std::string_view reason);

}  // namespace pdfrepair_cli
