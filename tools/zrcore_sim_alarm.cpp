// zrcore-sim: camera alarm inputs and outputs. Keeps per-channel settings
// sent by the recorder (3324, 3325) and manual output switches (3352), and
// answers the live state requests 3296 and 3298 from them.
#include <cstring>

#include "tools/zrcore_sim.h"

namespace {

struct InState {  // reply 8298
  int32_t channel;
  int32_t alarm_enable[4];
  int32_t alarm_type[4];
  int32_t alarm_status[4];
  int32_t alarm_cnt;
};
static_assert(sizeof(InState) == 56, "camera input state is 56 bytes");

struct OutState {  // reply 8296
  int32_t channel;
  int32_t alarm_type[2];
  int32_t alarm_status[2];
  int32_t alarm_cnt;
};
static_assert(sizeof(OutState) == 24, "camera output state is 24 bytes");

struct InSet {  // request 3325
  struct { int32_t zero, alarm_enable, index, alarm_type; } entry[4];
  int32_t alarm_cnt, zero;
  uint64_t mask;
};
static_assert(sizeof(InSet) == 80, "camera input set is 80 bytes");

struct OutSet {  // request 3324
  struct { int32_t zero, index, alarm_type; } entry[2];
  int32_t alarm_cnt, zero;
  uint64_t mask;
};
static_assert(sizeof(OutSet) == 40, "camera output set is 40 bytes");

struct OutSwitch {  // request 3352
  int32_t chnid, alarm_id, state;
};

struct Camera {
  int32_t in_enable[4] = {1, 1, 1, 1};
  int32_t in_type[4] = {};
  int32_t out_type[2] = {};
  int32_t out_status[2] = {};
};
Camera g_cams[64];

// Cameras on even channels have 4 inputs, odd ones 2; input 0 of every
// camera reports an active alarm.
int inputs_of(int ch) { return ch % 2 == 0 ? 4 : 2; }

void in_state(int req, const Bytes& p, std::vector<SimReply>* r) {
  InState q = sim_read<InState>(p);
  if (q.channel < 0 || q.channel >= 64) {
    sim_reply(r, req, {});
    return;
  }
  const Camera& c = g_cams[q.channel];
  InState s{};
  s.channel = q.channel;
  s.alarm_cnt = inputs_of(q.channel);
  for (int i = 0; i < s.alarm_cnt; ++i) {
    s.alarm_enable[i] = c.in_enable[i];
    s.alarm_type[i] = c.in_type[i];
    s.alarm_status[i] = i == 0 ? 1 : 0;
  }
  sim_reply(r, req, sim_bytes(s));
}

void out_state(int req, const Bytes& p, std::vector<SimReply>* r) {
  int32_t ch = sim_read<int32_t>(p);
  if (ch < 0 || ch >= 64) {
    sim_reply(r, req, {});
    return;
  }
  const Camera& c = g_cams[ch];
  OutState s{};
  s.channel = ch;
  s.alarm_cnt = 2;
  for (int i = 0; i < 2; ++i) {
    s.alarm_type[i] = c.out_type[i];
    s.alarm_status[i] = c.out_status[i];
  }
  sim_reply(r, req, sim_bytes(s));
}

void in_set(int req, const Bytes& p, std::vector<SimReply>* r) {
  InSet s = sim_read<InSet>(p);
  int n = s.alarm_cnt < 0 ? 0 : s.alarm_cnt > 4 ? 4 : s.alarm_cnt;
  for (int ch = 0; ch < 64; ++ch) {
    if (!(s.mask & (1ULL << ch))) continue;
    for (int i = 0; i < n; ++i) {
      g_cams[ch].in_enable[i] = s.entry[i].alarm_enable;
      g_cams[ch].in_type[i] = s.entry[i].alarm_type;
    }
  }
  sim_reply_status(r, req, 0);
}

void out_set(int req, const Bytes& p, std::vector<SimReply>* r) {
  OutSet s = sim_read<OutSet>(p);
  int n = s.alarm_cnt < 0 ? 0 : s.alarm_cnt > 2 ? 2 : s.alarm_cnt;
  for (int ch = 0; ch < 64; ++ch)
    if (s.mask & (1ULL << ch))
      for (int i = 0; i < n; ++i) g_cams[ch].out_type[i] = s.entry[i].alarm_type;
  sim_reply_status(r, req, 0);
}

void out_switch(int req, const Bytes& p, std::vector<SimReply>* r) {
  OutSwitch s = sim_read<OutSwitch>(p);
  if (s.chnid >= 0 && s.chnid < 64 && s.alarm_id >= 0 && s.alarm_id < 2)
    g_cams[s.chnid].out_status[s.alarm_id] = s.state ? 1 : 0;
  sim_reply_status(r, req, 0);
}

const SimRow kRows[] = {
    {3296, out_state}, {3298, in_state}, {3324, out_set}, {3325, in_set}, {3352, out_switch},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
