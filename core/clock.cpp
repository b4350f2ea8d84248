#include "core/clock.h"

#include <cstdio>
#include <cstdlib>

time_t nvr_time() {
  static const char* fixed = std::getenv("NVR_FIXED_TIME");
  if (fixed && *fixed) return static_cast<time_t>(std::strtoll(fixed, nullptr, 10));
  return std::time(nullptr);
}

bool nvr_random_bytes(void* buf, size_t len) {
  FILE* f = std::fopen("/dev/urandom", "rb");
  if (!f) return false;
  size_t n = std::fread(buf, 1, len, f);
  std::fclose(f);
  return n == len;
}
