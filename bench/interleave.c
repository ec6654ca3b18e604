/* Wall-clock comparison of programs that each start a do-nothing child: runs the commands round by
 * round, one after the other in every round, so that whatever slows the machine down touches them
 * all alike, and prints each command's median time and its ratio to the first command's.
 * Usage: interleave ROUNDS NAME DIR PROGRAM ARGS... [-- NAME DIR PROGRAM ARGS...]...
 * Each command runs in DIR, with the environment of the caller; every run must exit with 0. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

struct command {
  const char* name;
  const char* directory;
  char** argv;
  double* seconds;
};

static double runOnce(const struct command* command) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, command->directory);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid;
  int status = 1;
  if (posix_spawn(&pid, command->argv[0], &actions, NULL, command->argv, environ) != 0 ||
      waitpid(pid, &status, 0) != pid || status != 0) {
    fprintf(stderr, "%s did not end with status 0 (%d)\n", command->name, status);
    exit(2);
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  posix_spawn_file_actions_destroy(&actions);
  return (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
}

static int ascending(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? atoi(argv[1]) : 0;
  struct command commands[16];
  int count = 0;
  for (int i = 2; i + 2 < argc && count < 16; ++count) {
    commands[count] = (struct command){argv[i], argv[i + 1], argv + i + 2,
                                       calloc((size_t)rounds, sizeof(double))};
    for (i += 2; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    }
    if (i < argc) {
      argv[i++] = NULL;
    }
  }
  if (rounds < 1 || count < 1) {
    fputs("usage: interleave ROUNDS NAME DIR PROGRAM ARGS... [-- NAME DIR PROGRAM ARGS...]...\n",
          stderr);
    return 2;
  }
  for (int round = 0; round < rounds; ++round) {
    for (int c = 0; c < count; ++c) {
      commands[c].seconds[round] = runOnce(&commands[c]);
    }
  }
  double first = 0;
  for (int c = 0; c < count; ++c) {
    qsort(commands[c].seconds, (size_t)rounds, sizeof(double), ascending);
    const double median = commands[c].seconds[rounds / 2];
    first = c == 0 ? median : first;
    printf("%-44s %9.1f us  %5.2fx\n", commands[c].name, median * 1e6, median / first);
  }
  return 0;
}
