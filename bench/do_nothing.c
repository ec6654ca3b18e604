/* The child every compared program starts: it does nothing, so that only the start-up shows. */
int main(void) {
  return 0;
}
