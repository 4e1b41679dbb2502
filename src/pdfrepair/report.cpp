// The JSON report writer. Every piece is a bounded formatted write at the current position;
// 32 issues of 255 characters fit many times over, so a report is never cut in practice.
#include "pdfrepair/report.h"

#include <cstdarg>
#include <cstdio>

namespace pdfrepair {

char g_json[json_size];

namespace {

struct json_writer {
  int pos = 0;

#if defined(__GNUC__)
  __attribute__((format(printf, 2, 3)))
#endif
  void put(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(g_json + pos, json_size - pos, format, args);
    va_end(args);
    if (n > 0) pos = n < json_size - pos ? pos + n : json_size - 1;
  }

  void put_string(const char* text) {
    put("\"");
    for (const char* c = text; *c; ++c) {
      if (pos + 2 > 0xFFFF) break;  // never reached: the buffer holds every report
      if (*c == '"' || *c == '\\') put("\\");
      put("%c", *c);
    }
    put("\"");
  }
};

}  // namespace

void write_report(bool valid, const char (*issue_texts)[issue_size], int issue_count,
                  int objects, int pages, const char* header) {
  json_writer w;
  w.put("{\"valid\":%s,\"issues\":[", valid ? "true" : "false");
  for (int i = 0; i < issue_count; ++i) {
    if (i > 0) w.put(",");
    w.put_string(issue_texts[i]);
  }
  w.put("],\"objects\":%d,\"pages\":%d,\"header\":\"%s\"}", objects, pages, header);
}

void write_failure_report(const char* issue) {
  char text[1][issue_size];
  std::snprintf(text[0], sizeof text[0], "%s", issue);
  write_report(false, text, 1, 0, 0, "");
}

}  // namespace pdfrepair
