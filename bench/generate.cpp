// Writes one benchmark input:
//   pdfrepair_generate large classic|objstm|broken|incremental PAGES OUT [IMAGE_HEIGHT]
//   pdfrepair_generate adversarial NAME N OUT
//   pdfrepair_generate list
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pdfgen.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: pdfrepair_generate large classic|objstm|broken|incremental PAGES OUT "
               "[IMAGE_HEIGHT]\n"
               "       pdfrepair_generate adversarial NAME N OUT\n"
               "       pdfrepair_generate list\n");
  return 2;
}

int list() {
  for (pdfgen::layout kind : pdfgen::layouts())
    std::printf("large %s\n", pdfgen::layout_name(kind));
  for (const pdfgen::adversary& a : pdfgen::adversaries())
    std::printf("adversarial %-20s n = %s, default %d\n", a.name, a.what, a.default_n);
  return 0;
}

int written(bool ok, const char* path) {
  if (ok) return 0;
  std::fprintf(stderr, "pdfrepair_generate: could not write %s\n", path);
  return 1;
}

int large(int argc, char** argv) {
  if (argc < 5 || argc > 6) return usage();
  pdfgen::large_options options;
  options.pages = std::atoi(argv[3]);
  if (argc == 6) options.image_height = std::atoi(argv[5]);
  if (options.pages < 1 || options.image_height < 1) return usage();
  for (pdfgen::layout kind : pdfgen::layouts())
    if (std::strcmp(argv[2], pdfgen::layout_name(kind)) == 0)
      return written(pdfgen::write_large(kind, options, argv[4]), argv[4]);
  return usage();
}

int adversarial(int argc, char** argv) {
  if (argc != 5) return usage();
  int n = std::atoi(argv[3]);
  if (n < 1) return usage();
  for (const pdfgen::adversary& a : pdfgen::adversaries())
    if (std::strcmp(argv[2], a.name) == 0) return written(a.write(n, argv[4]), argv[4]);
  return usage();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "list") == 0) return list();
  if (argc >= 2 && std::strcmp(argv[1], "large") == 0) return large(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "adversarial") == 0) return adversarial(argc, argv);
  return usage();
}
