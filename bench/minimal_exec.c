/* The least any launcher does: set one variable and hand over with execv. */
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
  (void)argc;
  setenv("PORT_DYNAMIC_DISABLE_MSG", "1", 1);
  execv("/nonexistent/orsatcl", argv);
  return 1;
}
