// Prints every request name the handler modules register, one a line, in
// registry order: the cost benchmark measures each of them, so names that
// later modules add are covered without editing the benchmark.
#include <cstdio>

#include "cgi/dispatchreq.h"

int main() {
  RegisterAllWebModules();
  for (int slot = 0; slot < MAX_WEBREQ_COUNT; ++slot)
    if (const WebRes* r = WebResAt(slot)) std::printf("%.*s\n", static_cast<int>(sizeof r->name), r->name);
  return 0;
}
