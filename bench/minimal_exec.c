/* The least any launcher does: set one variable and hand over with execv to the program named by
 * its first argument (a missing one when there is none). */
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
  const char* program = argc > 1 ? argv[1] : "/nonexistent/orsatcl";
  setenv("PORT_DYNAMIC_DISABLE_MSG", "1", 1);
  execv(program, argv + (argc > 1));
  return 1;
}
