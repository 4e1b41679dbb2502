// The last-error text and the initialisation gate shared by the exported entry points.
#pragma once

namespace pdfrepair {

inline constexpr int err_size = 1024;

extern char g_err[err_size];  // NUL-terminated; "" when no failure is recorded
extern int g_inited;          // 1 between pdfrepair_init and pdfrepair_cleanup

// Formats a failure message into g_err, cut to 1023 characters. The only way any part of
// the library records a failure.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void set_error(const char* format, ...);

inline void clear_error() { g_err[0] = '\0'; }

}  // namespace pdfrepair
