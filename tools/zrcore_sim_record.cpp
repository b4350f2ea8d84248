// zrcore-sim: recording. Answers the ANR switch of cameras (2285: cameras on
// odd channels refuse it), the ANR support query (2286: cameras on even
// channels support it) and the stream channel lists (3218).
#include <cstring>

#include "tools/zrcore_sim.h"

namespace {

struct AnrSet {  // request 2285
  int32_t channels[64];
  int32_t count;
  int32_t camAnr;
};
static_assert(sizeof(AnrSet) == 264, "ANR set is 264 bytes");

struct AnrResult {  // reply 7285
  int32_t channels[64];
  int32_t results[64];
  int32_t count;
  int32_t flag;
};
static_assert(sizeof(AnrResult) == 520, "ANR result is 520 bytes");

struct StreamChannels {  // reply 8218
  int32_t primary[64];
  int32_t secondary[64];
  int32_t size;
};
static_assert(sizeof(StreamChannels) == 516, "stream channel lists are 516 bytes");

void anr_set(int req, const Bytes& p, std::vector<SimReply>* r) {
  AnrSet s = sim_read<AnrSet>(p);
  AnrResult res{};
  const int n = s.count < 0 ? 0 : s.count > 64 ? 64 : s.count;
  for (int i = 0; i < n; ++i) {
    res.channels[i] = s.channels[i];
    res.results[i] = s.channels[i] % 2 != 0 ? -1 : 0;
    if (res.results[i]) res.flag = 1;
  }
  res.count = n;
  sim_reply(r, req, sim_bytes(res));
}

void anr_support(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int32_t ch = sim_read<int32_t>(p);
  const int32_t reply[2] = {ch, ch % 2 == 0 ? 1 : 0};
  sim_reply(r, req, sim_bytes(reply));
}

// Cameras 0..3 record their main stream, 4..5 also their sub stream.
void stream_channels(int req, const Bytes&, std::vector<SimReply>* r) {
  StreamChannels s{};
  s.size = 4;
  for (int i = 0; i < 4; ++i) {
    s.primary[i] = i;
    s.secondary[i] = i < 2 ? 4 + i : -1;
  }
  sim_reply(r, req, sim_bytes(s));
}

const SimRow kRows[] = {{2285, anr_set}, {2286, anr_support}, {3218, stream_channels}};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
