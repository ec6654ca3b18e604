/* A stand-in for the simulator programs orsatcl and orsagui. It does no simulation: it records the
 * command line and the environment it was started with, so that a user can see what the launcher
 * handed over and the tests can check it byte for byte.
 *
 * Without ORSA_STANDIN_RECORD it prints, one per line, each value in double quotes with C escapes:
 *   exe "/real/path/of/this/program"
 *   cwd "/working/directory"
 *   argv[0] "orsatcl"
 *   env LD_LIBRARY_PATH "/opt/t1/lib/lin"
 *   env TARVEN_DSP unset
 * With ORSA_STANDIN_RECORD it writes a record for programs to that file instead, two lines: the
 * executable and every argument, and the entries of the environment that set the variables above
 * (a variable given twice shows twice), sorted; each separated by a space, in single quotes when
 * empty or holding a space. The second line then tells each of SIGPIPE and SIGXFSZ that the program
 * was started with ignored, blocked, or pending for its thread or its process (SIGPIPE=blocked,
 * SIGPIPE=thread-pending), since a launcher must hand on the signal state it was given, no copy
 * more or less. It lifts its own file-size limit to its hard limit first, so that
 * a launch tried under a small one still leaves a record.
 */
#define _POSIX_C_SOURCE 200809L
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

extern char** environ;

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

static int isRecordedVariable(const char* entry) {
  for (size_t i = 0; i < sizeof recordedVariables / sizeof recordedVariables[0]; ++i) {
    const size_t length = strlen(recordedVariables[i]);
    if (strncmp(entry, recordedVariables[i], length) == 0 && entry[length] == '=') {
      return 1;
    }
  }
  return 0;
}

static void writeWord(FILE* out, const char* word, const char* separator) {
  const int plain = *word != '\0' && strchr(word, ' ') == NULL;
  fprintf(out, plain ? "%s%s" : "%s'%s'", separator, word);
}

static int byText(const void* a, const void* b) {
  return strcmp(*(const char* const*)a, *(const char* const*)b);
}

/* The pending signals of one kind as the kernel shows them: SigPnd for the thread's own copies,
 * ShdPnd for the process's. sigpending() would show only their union. */
static unsigned long long pendingSignals(const char* field) {
  FILE* status = fopen("/proc/self/status", "r");
  char line[256];
  unsigned long long bits = 0;
  while (status != NULL && fgets(line, sizeof line, status) != NULL) {
    if (strncmp(line, field, strlen(field)) == 0) {
      bits = strtoull(line + strlen(field), NULL, 16);
    }
  }
  if (status != NULL) {
    fclose(status);
  }
  return bits;
}

static void writeSignalState(FILE* out, int signal, const char* name) {
  struct sigaction action;
  sigset_t blocked;
  if (sigaction(signal, NULL, &action) == 0 && action.sa_handler == SIG_IGN) {
    fprintf(out, " %s=ignored", name);
  }
  if (sigprocmask(SIG_BLOCK, NULL, &blocked) == 0 && sigismember(&blocked, signal) == 1) {
    fprintf(out, " %s=blocked", name);
  }
  /* In the order a sorted list of the variables would give. */
  if ((pendingSignals("ShdPnd:") >> (signal - 1)) & 1) {
    fprintf(out, " %s=process-pending", name);
  }
  if ((pendingSignals("SigPnd:") >> (signal - 1)) & 1) {
    fprintf(out, " %s=thread-pending", name);
  }
}

static int writeRecord(FILE* out, const char* executable, int argc, char** argv) {
  writeWord(out, executable, "");
  for (int i = 0; i < argc; ++i) {
    writeWord(out, argv[i], " ");
  }
  size_t count = 0;
  for (char** entry = environ; *entry != NULL; ++entry) {
    count += isRecordedVariable(*entry);
  }
  const char** entries = calloc(count + 1, sizeof *entries);
  count = 0;
  for (char** entry = environ; entries != NULL && *entry != NULL; ++entry) {
    if (isRecordedVariable(*entry)) {
      entries[count++] = *entry;
    }
  }
  qsort(entries, count, sizeof *entries, byText);
  for (size_t i = 0; i < count; ++i) {
    writeWord(out, entries[i], i == 0 ? "\n" : " ");
  }
  free(entries);
  writeSignalState(out, SIGPIPE, "SIGPIPE");
  writeSignalState(out, SIGXFSZ, "SIGXFSZ");
  fputc('\n', out);
  return fclose(out) == 0 ? 0 : 2;
}

int main(int argc, char** argv) {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  path[length > 0 ? length : 0] = '\0';
  const char* recordPath = getenv("ORSA_STANDIN_RECORD");
  struct rlimit fileSize;
  if (getrlimit(RLIMIT_FSIZE, &fileSize) == 0) {
    fileSize.rlim_cur = fileSize.rlim_max;
    setrlimit(RLIMIT_FSIZE, &fileSize);
  }
  if (recordPath != NULL) {
    FILE* record = fopen(recordPath, "w");
    if (record == NULL) {
      perror(recordPath);
      return 2;
    }
    return writeRecord(record, path, argc, argv);
  }
  FILE* out = stdout;
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
