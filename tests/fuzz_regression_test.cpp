// Replays every input a fuzzer once failed on (fuzz/regressions/<target>/)
// and the seed inputs (fuzz/corpus/<target>/) through the fuzz targets'
// checks, so a fixed fault stays fixed in the ordinary test run.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "fuzz/fuzz_handlers.h"
#include "fuzz/fuzz_targets.h"

namespace {
using Check = std::string (*)(const uint8_t*, size_t);

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* de = readdir(d))
      if (de->d_name[0] != '.') out.push_back(dir + "/" + de->d_name);
    closedir(d);
  }
  return out;
}

void replay(const std::string& target, Check check) {
  size_t count = 0;
  for (const char* kind : {"regressions", "corpus"}) {
    for (const std::string& path : files_in(std::string(NVR_SOURCE_DIR) + "/fuzz/" + kind + "/" + target)) {
      std::ifstream in(path, std::ios::binary);
      std::stringstream ss;
      ss << in.rdbuf();
      const std::string data = ss.str();
      EXPECT_EQ(check(reinterpret_cast<const uint8_t*>(data.data()), data.size()), "") << path;
      ++count;
    }
  }
  EXPECT_GT(count, 0u) << target;
}
}  // namespace

TEST(FuzzRegressions, Multipart) { replay("multipart", fuzz::multipart_one); }
TEST(FuzzRegressions, Cookie) { replay("cookie", fuzz::cookie_one); }
TEST(FuzzRegressions, RequestText) { replay("request_text", fuzz::request_text_one); }
TEST(FuzzRegressions, Capture) { replay("capture", fuzz::capture_one); }
TEST(FuzzRegressions, Handlers) { replay("handlers", fuzz::handler_one); }
