/* A stand-in for the simulator programs orsatcl and orsagui. It does no simulation: it records the
 * command line and the environment it was started with, so that a user can see what the launcher
 * handed over and the tests can check it byte for byte.
 *
 * The record goes to the file named by ORSA_STANDIN_RECORD (appended), or to standard output.
 * Every value is written in double quotes with C escapes, one per line:
 *   exe "/real/path/of/this/program"
 *   cwd "/working/directory"
 *   argv[0] "orsatcl"
 *   env LD_LIBRARY_PATH "/opt/t1/lib/lin"
 *   env TARVEN_DSP unset
 */
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static const char* const recordedVariables[] = {"LD_LIBRARY_PATH", "TARVEN_DSP",
                                                "PORT_DYNAMIC_DISABLE_MSG"};

static void writeQuoted(FILE* out, const char* text) {
  fputc('"', out);
  for (const unsigned char* p = (const unsigned char*)text; *p != '\0'; ++p) {
    switch (*p) {
      case '"':
        fputs("\\\"", out);
        break;
      case '\\':
        fputs("\\\\", out);
        break;
      case '\n':
        fputs("\\n", out);
        break;
      case '\r':
        fputs("\\r", out);
        break;
      case '\t':
        fputs("\\t", out);
        break;
      default:
        if (*p < 0x20 || *p >= 0x7f) {
          fprintf(out, "\\x%02x", *p);
        } else {
          fputc(*p, out);
        }
    }
  }
  fputs("\"\n", out);
}

int main(int argc, char** argv) {
  const char* recordPath = getenv("ORSA_STANDIN_RECORD");
  FILE* out = recordPath != NULL ? fopen(recordPath, "a") : stdout;
  if (out == NULL) {
    perror(recordPath);
    return 2;
  }
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  path[length > 0 ? length : 0] = '\0';
  fputs("exe ", out);
  writeQuoted(out, path);
  fputs("cwd ", out);
  writeQuoted(out, getcwd(path, sizeof path) != NULL ? path : "");
  for (int i = 0; i < argc; ++i) {
    fprintf(out, "argv[%d] ", i);
    writeQuoted(out, argv[i]);
  }
  for (size_t i = 0; i < sizeof recordedVariables / sizeof recordedVariables[0]; ++i) {
    const char* value = getenv(recordedVariables[i]);
    fprintf(out, "env %s ", recordedVariables[i]);
    if (value == NULL) {
      fputs("unset\n", out);
    } else {
      writeQuoted(out, value);
    }
  }
  return fclose(out) == 0 ? 0 : 2;
}
