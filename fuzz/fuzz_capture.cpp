// libFuzzer entry for the capture checks (see fuzz_targets.h).
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string err = fuzz::capture_one(data, size);
  if (!err.empty()) {
    std::fprintf(stderr, "check failed: %s\n", err.c_str());
    std::abort();
  }
  return 0;
}
