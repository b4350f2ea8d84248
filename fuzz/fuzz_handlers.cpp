// libFuzzer target: one request name (by index) and its request text, run
// through the registered handler in-process. NVR_FUZZ_LIST_NAMES=1 prints
// the names in index order (to write seed inputs).
#include "fuzz/fuzz_handlers.h"
#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::getenv("NVR_FUZZ_LIST_NAMES")) {
    const auto& names = fuzz::handler_root().names;
    for (size_t i = 0; i < names.size(); ++i) std::fprintf(stderr, "%zu %s\n", i, names[i].c_str());
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::finish_run(fuzz::handler_one(data, size));
}
