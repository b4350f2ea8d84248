// zrcore-sim: licence plate recognition cameras. Analytics support (3293)
// answers {channel, support, version}: channels 0..31 support version 3,
// the others none. Zoom state (1215) answers {channel, state 1, zoom
// number channel + 1}. A channel outside 0..63 gets no answer.
#include <cstdint>

#include "tools/zrcore_sim.h"

namespace {

struct Three {
  int32_t a, b, c;
};

void support(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = sim_read<int32_t>(p);
  if (ch < 0 || ch >= 64) return;
  sim_reply(r, req, sim_bytes(Three{ch, ch < 32 ? 1 : 0, ch < 32 ? 3 : 0}));
}

void zoom(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = sim_read<int32_t>(p);
  if (ch < 0 || ch >= 64) return;
  sim_reply(r, req, sim_bytes(Three{ch, 1, ch + 1}));
}

const SimRow kRows[] = {{1215, zoom}, {3293, support}};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
