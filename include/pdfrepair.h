/*
 * tovalund-pdfrepair: validates and repairs damaged PDF files.
 *
 * This header is the library's whole interface: six plain C functions. Whatever is not
 * declared here is internal and may change.
 *
 * Threads: the library keeps process-wide state (the last-error text, the report buffer and
 * a few work areas) without locks. Call it from one thread at a time; a check running beside
 * a repair counts as two calls.
 *
 * Paths are NUL-terminated byte strings handed unchanged to the C runtime's file-open call.
 */
#ifndef TOVALUND_PDFREPAIR_H
#define TOVALUND_PDFREPAIR_H

/* The version of this header, that of the library it came with. */
#define PDFREPAIR_VERSION_MAJOR 0
#define PDFREPAIR_VERSION_MINOR 1
#define PDFREPAIR_VERSION_PATCH 0
#define PDFREPAIR_VERSION_STRING "0.1.0"

#if defined(_WIN32)
#  if defined(PDFREPAIR_BUILDING)
#    define PDFREPAIR_API __declspec(dllexport)
#  else
#    define PDFREPAIR_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define PDFREPAIR_API __attribute__((visibility("default")))
#else
#  define PDFREPAIR_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the repair entry points and empties the last-error text. Returns 1.
 * May be called any number of times; one pdfrepair_cleanup closes the library again. */
PDFREPAIR_API int pdfrepair_init(void);

/* Closes the repair entry points and empties the last-error text. Frees nothing:
 * no call holds memory past its return. */
PDFREPAIR_API void pdfrepair_cleanup(void);

/* The last failure as one English sentence, or "" when none is recorded. Never NULL.
 * Points at a static buffer that later calls overwrite; do not free it. */
PDFREPAIR_API const char *pdfrepair_last_error(void);

/* Analyses the file at input_path and answers with a one-line JSON object:
 *   {"valid":true|false,"issues":[...],"objects":N,"pages":N,"header":"1.4"}
 * A NULL path, a file that cannot be opened (a folder included) and an empty file get fixed
 * reports naming the fault. When the file cannot be read into memory, or has 2 GiB or more,
 * the answer is "" and pdfrepair_last_error() tells why. Works whether or not pdfrepair_init was called.
 * Never NULL. Points at a static buffer that the next pdfrepair_check overwrites; copy the
 * text to keep it, and do not free it. */
PDFREPAIR_API const char *pdfrepair_check(const char *input_path);

/* Reads the PDF at input_path and writes a repaired PDF 1.4 copy to output_path.
 * Returns 1 when the repaired file was written completely (the last-error text is then ""),
 * 0 otherwise with the reason in pdfrepair_last_error(). A failed repair never creates,
 * truncates or damages the file at output_path. A file there is replaced and keeps its
 * permission bits; through a symbolic link, the file it finally leads to is replaced and the
 * link stays. A device or a pipe there is written directly, once the whole output is ready.
 * Requires pdfrepair_init. */
PDFREPAIR_API int pdfrepair_fix(const char *input_path, const char *output_path);

/* Another name for pdfrepair_fix: same arguments, same behaviour, same output bytes. */
PDFREPAIR_API int pdfrepair_rebuild_xref(const char *input_path, const char *output_path);

#ifdef __cplusplus
}
#endif

#endif /* TOVALUND_PDFREPAIR_H */
