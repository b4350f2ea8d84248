// libFuzzer entry for the multipart checks (see fuzz_targets.h).
#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::finish_run(fuzz::multipart_one(data, size));
}
