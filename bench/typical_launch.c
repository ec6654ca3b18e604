/* The launcher's typical run written as a C programmer would write it, for comparison: it composes
 * LD_LIBRARY_PATH from the installation roots, finds the kernel, checks the design image, expands
 * command files with stdio, recognises the options, writes the run log with stdio and hands over.
 * It handles the bench's inputs, not every case the launcher does. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int readable(const char* path) {
  int fd = open(path, O_RDONLY | O_NONBLOCK);
  struct stat st;
  int ok = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (fd >= 0)
    close(fd);
  return ok;
}

static char* append(char* to, const char* a, const char* b) {
  size_t n = (to ? strlen(to) : 0) + strlen(a) + strlen(b) + 1;
  char* s = realloc(to, n);
  if (!to)
    s[0] = '\0';
  return strcat(strcat(s, a), b);
}

int main(int argc, char** argv) {
  char *path = NULL, *kernel = NULL, *dsp = getenv("TARVEN_DSP"), *tarven = getenv("TARVEN");
  if (dsp)
    path = append(path, dsp, "/plexor/lib/lin:");
  char* roots = strdup(tarven ? tarven : "");
  for (char* root = strtok(roots, ":"); root; root = strtok(NULL, ":")) {
    path = append(path, root, "/lib/lin:");
    char* probe = append(NULL, root, "/bin/lin/unwrapped/orsatcl");
    if (!kernel && readable(probe))
      kernel = probe;
    char* cosim = append(NULL, root, "/plexor/bin/lin/libhwcosim_api.so");
    if (!dsp && readable(cosim)) {
      dsp = root;
      setenv("TARVEN_DSP", root, 1);
      path = append(path, root, "/plexor/lib/lin:");
    }
  }
  const char* user = getenv("LD_LIBRARY_PATH");
  if (user && *user)
    path = append(path, user, "");
  else if (path && *path)
    path[strlen(path) - 1] = '\0';
  setenv("LD_LIBRARY_PATH", path ? path : "", 1);

  const char* name = strrchr(argv[0], '/') ? strrchr(argv[0], '/') + 1 : argv[0];
  char image[4096];
  snprintf(image, sizeof image, "orsa/%s.sim/%s", name, name);
  struct stat st;
  if (stat(image, &st) != 0) {
    printf("ERROR: Could not find file \"%s\" needed for running simulation.\n", image);
    return 1;
  }
  char** merged = malloc(sizeof(char*) * 4096);
  int count = 0;
  merged[count++] = argv[0];
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "-f") != 0) {
      merged[count++] = argv[i];
      continue;
    }
    FILE* file = i + 1 < argc ? fopen(argv[++i], "r") : NULL;
    if (!file) {
      puts("Command file for -f not found");
      return 1;
    }
    char line[2048];
    while (fgets(line, sizeof line, file)) {
      char* at = line + strspn(line, " ");
      if (*at == '#')
        continue;
      while (*at && *at != '\n') {
        char* start = at;
        if (*at == '"') {
          start = ++at;
          at = strchr(at, '"');
          if (!at)
            return puts("Error: Matching closing \" was not found"), 1;
        } else {
          at += strcspn(at, " \n");
        }
        merged[count++] = strndup(start, at - start);
        at += *at == '"';
        at += strspn(at, " ");
      }
    }
    fclose(file);
  }
  int gui = 0;
  char* views[4096];
  int viewCount = 0;
  char* user_options = strdup("\"");
  for (int i = 1; i < count; ++i) {
    if (strcmp(merged[i], "-gui") == 0)
      gui = 1;
    else if (strcmp(merged[i], "-view") == 0 && i + 1 < count)
      views[viewCount++] = merged[++i];
    else
      user_options = append(user_options, merged[i], " ");
  }
  user_options[strlen(user_options) - 1] = '"';
  FILE* log = fopen("orsa.log", "w");
  if (!log)
    return printf("ERROR: orsa.log file open failed.\n"), 1;
  fprintf(log, "Orsa log file\nRunning: ");
  for (int i = 0; i < argc; ++i)
    fprintf(log, "%s ", argv[i]);
  fprintf(log, "\n");
  fclose(log);
  setenv("PORT_DYNAMIC_DISABLE_MSG", "1", 1);
  char* child[8200];
  int n = 0;
  child[n++] = gui ? "orsagui" : "orsatcl";
  child[n++] = "-exe";
  child[n++] = image;
  for (int i = 0; i < viewCount; ++i)
    child[n++] = "-view", child[n++] = views[i];
  child[n++] = "-userOptions";
  child[n++] = user_options;
  child[n] = NULL;
  if (gui)
    execvp("orsagui", child);
  else if (kernel)
    execv(kernel, child);
  return 1;
}
