// zrcore-sim: motion detection. Keeps the motion area the recorder sends
// (3207 for one channel, 3251 for a copy) and answers the live motion map
// request 3206 with it.
#include <cstring>

#include "handlers/video/video_records.h"
#include "tools/zrcore_sim.h"

namespace {

struct Area {
  bool set = false;
  char map[300] = {};
  int32_t sensitivity = 50;
};
Area g_areas[64];

void area(int req, const Bytes& p, std::vector<SimReply>* r) {
  MotionMapRecord m = sim_read<MotionMapRecord>(p);
  if (m.channel >= 0 && m.channel < 64) {
    Area& a = g_areas[m.channel];
    a.set = true;
    std::memcpy(a.map, m.map, sizeof a.map);
    a.map[sizeof a.map - 1] = 0;
    a.sensitivity = m.sensitivity;
  }
  sim_reply_status(r, req, 0);
}

void area_copy(int req, const Bytes& p, std::vector<SimReply>* r) {
  MotionAreaCopy c = sim_read<MotionAreaCopy>(p);
  int n = c.count < 0 ? 0 : c.count > 64 ? 64 : c.count;
  for (int i = 0; i < n; ++i) {
    int ch = c.list[i];
    if (ch < 0 || ch >= 64) continue;
    g_areas[ch].set = true;
    std::memcpy(g_areas[ch].map, c.map, sizeof c.map);
    g_areas[ch].map[sizeof c.map - 1] = 0;
    g_areas[ch].sensitivity = c.sensitivity;
  }
  sim_reply_status(r, req, 0);
}

// The live map: the stored area (or an empty 22 x 18 grid), motion seen in
// the first cell.
void live_map(int req, const Bytes& p, std::vector<SimReply>* r) {
  int32_t ch = sim_read<int32_t>(p);
  MotionMapRecord m{};
  m.channel = ch;
  if (ch >= 0 && ch < 64 && g_areas[ch].set) {
    std::memcpy(m.map, g_areas[ch].map, sizeof m.map);
    m.sensitivity = g_areas[ch].sensitivity;
  } else {
    std::memset(m.map, '0', 22 * 18 / 2);
    m.map[0] = '1';
    m.sensitivity = 50;
  }
  m.enable = 1;
  sim_reply(r, req, sim_bytes(m));
}

const SimRow kRows[] = {{3206, live_map}, {3207, area}, {3251, area_copy}};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
