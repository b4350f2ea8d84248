#include "base/clock.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

time_t nvr_time() {
  static const char* fixed = std::getenv("NVR_FIXED_TIME");
  if (fixed && *fixed) return static_cast<time_t>(std::strtoll(fixed, nullptr, 10));
  return std::time(nullptr);
}

int64_t nvr_uptime() {
  static const char* fixed = std::getenv("NVR_FIXED_UPTIME");
  if (fixed && *fixed) return static_cast<int64_t>(std::strtoll(fixed, nullptr, 10));
  struct timespec ts {};
#ifdef CLOCK_BOOTTIME
  if (clock_gettime(CLOCK_BOOTTIME, &ts) == 0) return static_cast<int64_t>(ts.tv_sec);
#endif
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec);
}

bool nvr_random_bytes(void* buf, size_t len) {
#ifdef SYS_getrandom
  // The kernel's random source directly; /dev/urandom when the kernel is
  // too old for the call.
  unsigned char* p = static_cast<unsigned char*>(buf);
  size_t got = 0;
  while (got < len) {
    long r = syscall(SYS_getrandom, p + got, len - got, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  if (got == len) return true;
#endif
  FILE* f = std::fopen("/dev/urandom", "rb");
  if (!f) return false;
  size_t n = std::fread(buf, 1, len, f);
  std::fclose(f);
  return n == len;
}
