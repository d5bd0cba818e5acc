/* The floor of a run's cost: a static program that only copies standard
   input to standard output. fourfifths is measured against it running on
   the same machine with the report it writes as input. */
#include <unistd.h>

int main(void) {
  char buffer[1 << 16];
  ssize_t n;
  while ((n = read(0, buffer, sizeof buffer)) > 0) {
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(1, buffer + done, (size_t)(n - done));
      if (w <= 0) return 2;
      done += w;
    }
  }
  return n < 0 ? 2 : 0;
}
