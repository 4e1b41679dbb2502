/* A host program in C that uses the installed library: checks a file, repairs it with both
 * repair functions, checks the repaired copy and shows the last-error text on the way.
 *
 *   consumer INPUT OUTPUT    exit status 0 when the repaired copy is valid
 */
#include <pdfrepair.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: consumer INPUT OUTPUT\n");
    return 2;
  }
  const char *input = argv[1], *output = argv[2];

  /* Checking needs no pdfrepair_init; the report lives until the next check. */
  printf("before: %s\n", pdfrepair_check(input));

  /* Repairing does: without it the library refuses and says why. */
  if (!pdfrepair_fix(input, output)) printf("without init: %s\n", pdfrepair_last_error());

  pdfrepair_init();
  if (!pdfrepair_fix(input, output) || !pdfrepair_rebuild_xref(input, output)) {
    fprintf(stderr, "repair failed: %s\n", pdfrepair_last_error());
    pdfrepair_cleanup();
    return 1;
  }
  printf("last error after the repair: \"%s\"\n", pdfrepair_last_error());
  pdfrepair_cleanup();

  const char *after = pdfrepair_check(output);
  printf("after: %s\n", after);
  return strncmp(after, "{\"valid\":true,", 14) == 0 ? 0 : 1;
}
