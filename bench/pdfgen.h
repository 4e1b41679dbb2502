// Benchmark inputs written straight to disk: large realistic PDFs and small adversarial ones
// whose size grows with one parameter. Files are written piece by piece so that a 69 MB input
// never sits in the writer's memory (the driver forks its measurements, and a child inherits
// the parent's resident pages in its peak-memory figure).
#ifndef PDFREPAIR_BENCH_PDFGEN_H
#define PDFREPAIR_BENCH_PDFGEN_H

#include <string>
#include <vector>

namespace pdfgen {

// The large variants: the same pages, laid out four ways.
enum class layout {
  classic,      // one body, classic cross-reference table
  objstm,       // dictionaries packed into object streams, cross-reference stream
  broken,       // classic, with the table and startxref overwritten by NUL bytes
  incremental,  // classic plus three appended updates, each with its own table
};

struct large_options {
  int pages = 2500;
  // Each page carries an uncompressible 100-pixel-wide RGB image of this height: 88 rows give
  // about 27.6 KB per page, 69 MB for 2500 pages.
  int image_height = 88;
};

const char* layout_name(layout kind);
const std::vector<layout>& layouts();

// Writes the file; false when it could not be written completely.
bool write_large(layout kind, const large_options& options, const std::string& path);

// An adversarial input: a file of size parameter n that stresses one pass.
struct adversary {
  const char* name;
  const char* what;  // what n counts
  int default_n;
  bool (*write)(int n, const std::string& path);
};

const std::vector<adversary>& adversaries();

}  // namespace pdfgen

#endif
