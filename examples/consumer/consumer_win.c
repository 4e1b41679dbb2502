/* A Windows host program in C that loads the DLL at run time instead of linking its import
 * library: finds the six functions with GetProcAddress, checks a file, repairs it with both
 * repair functions, checks the repaired copy and shows the last-error text on the way.
 *
 *   consumer_win DLL INPUT OUTPUT    exit status 0 when the repaired copy is valid
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

typedef int (*init_fn)(void);
typedef void (*cleanup_fn)(void);
typedef const char *(*last_error_fn)(void);
typedef const char *(*check_fn)(const char *path);
typedef int (*fix_fn)(const char *in, const char *out);

/* The exported function called name, or NULL after a message saying it is missing. */
static FARPROC find(HMODULE dll, const char *name) {
  FARPROC f = GetProcAddress(dll, name);
  if (!f) fprintf(stderr, "the DLL does not export %s\n", name);
  return f;
}

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: consumer_win DLL INPUT OUTPUT\n");
    return 2;
  }
  const char *input = argv[2], *output = argv[3];
  HMODULE dll = LoadLibraryA(argv[1]);
  if (!dll) {
    fprintf(stderr, "cannot load %s (error %lu)\n", argv[1], (unsigned long)GetLastError());
    return 2;
  }
  /* Casting through void (*)(void) keeps GCC's -Wcast-function-type quiet. */
  init_fn init = (init_fn)(void (*)(void))find(dll, "pdfrepair_init");
  cleanup_fn cleanup = (cleanup_fn)(void (*)(void))find(dll, "pdfrepair_cleanup");
  last_error_fn last_error = (last_error_fn)(void (*)(void))find(dll, "pdfrepair_last_error");
  check_fn check = (check_fn)(void (*)(void))find(dll, "pdfrepair_check");
  fix_fn fix = (fix_fn)(void (*)(void))find(dll, "pdfrepair_fix");
  fix_fn rebuild_xref = (fix_fn)(void (*)(void))find(dll, "pdfrepair_rebuild_xref");
  if (!init || !cleanup || !last_error || !check || !fix || !rebuild_xref) {
    FreeLibrary(dll);
    return 2;
  }

  /* Checking needs no init; the report lives until the next check. */
  printf("before: %s\n", check(input));

  /* Repairing does: without it the library refuses and says why. */
  if (!fix(input, output)) printf("without init: %s\n", last_error());

  init();
  if (!fix(input, output) || !rebuild_xref(input, output)) {
    fprintf(stderr, "repair failed: %s\n", last_error());
    cleanup();
    FreeLibrary(dll);
    return 1;
  }
  printf("last error after the repair: \"%s\"\n", last_error());
  cleanup();

  const char *after = check(output);
  printf("after: %s\n", after);
  const int valid = strncmp(after, "{\"valid\":true,", 14) == 0;
  FreeLibrary(dll);
  return valid ? 0 : 1;
}
