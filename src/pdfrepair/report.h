// The check's answer: a one-line JSON report written into the process-wide buffer g_json.
#pragma once

namespace pdfrepair {

inline constexpr int json_size = 65536;
inline constexpr int max_issues = 32;
inline constexpr int issue_size = 256;  // 255 characters and the NUL

extern char g_json[json_size];  // the latest report; every check result points at it

// Writes {"valid":..,"issues":[..],"objects":N,"pages":N,"header":".."} with no white space.
// Only '"' and '\' in the issue texts are escaped; the header text is copied as it is.
void write_report(bool valid, const char (*issue_texts)[issue_size], int issue_count,
                  int objects, int pages, const char* header);

// The report of a file that could not be analysed: invalid, the one issue, no objects, no
// pages, no header.
void write_failure_report(const char* issue);

}  // namespace pdfrepair
