// libFuzzer entry for the request text checks (see fuzz_targets.h).
#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::finish_run(fuzz::request_text_one(data, size));
}
