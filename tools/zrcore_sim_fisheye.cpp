// zrcore-sim: fisheye cameras and regional people counting. Keeps each
// channel's fisheye mode (3231, read back by 3232) and regional counting
// record (1221, read back by 1220). A camera by address (3373) is a fisheye
// camera when its address begins with "192.168."; its setting (3374) is kept
// and answered by the next check; an empty address fails.
#include <cstring>
#include <memory>

#include "handlers/video/vca_records.h"
#include "tools/zrcore_sim.h"

namespace {

FisheyeModeRecord g_modes[64];
FisheyeSetting g_setting{};

RegionalPcntRecord* regional() {
  static std::unique_ptr<RegionalPcntRecord[]> r(new RegionalPcntRecord[64]());
  return r.get();
}

bool channel_ok(int ch) { return ch >= 0 && ch < 64; }

void mode_set(int req, const Bytes& p, std::vector<SimReply>* r) {
  FisheyeModeRecord m = sim_read<FisheyeModeRecord>(p);
  if (!channel_ok(m.channel)) {
    sim_reply_status(r, req, -1);
    return;
  }
  g_modes[m.channel] = m;
  sim_reply_status(r, req, 0);
}

void mode_get(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = sim_read<int32_t>(p);
  if (!channel_ok(ch)) return;
  FisheyeModeRecord m = g_modes[ch];
  m.channel = ch;
  m.result = 0;
  sim_reply(r, req, sim_bytes(m));
}

void check(int req, const Bytes& p, std::vector<SimReply>* r) {
  FisheyeAddress a = sim_read<FisheyeAddress>(p);
  a.ipaddr[sizeof a.ipaddr - 1] = 0;
  FisheyeCheckReply c{};
  if (std::strncmp(a.ipaddr, "192.168.", 8) == 0) {
    c.support = 1;
    c.transfer = g_setting.transfer;
    c.install = g_setting.install;
    c.display = g_setting.display;
    c.stream_count = 2;
  } else {
    c.support = 3;  // some other camera
  }
  sim_reply(r, req, sim_bytes(c));
}

void setting(int req, const Bytes& p, std::vector<SimReply>* r) {
  FisheyeSetting s = sim_read<FisheyeSetting>(p);
  if (!s.addr.ipaddr[0]) {
    sim_reply_status(r, req, -1);
    return;
  }
  g_setting = s;
  sim_reply_status(r, req, 0);
}

void regional_get(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = sim_read<int32_t>(p);
  if (!channel_ok(ch)) return;
  std::unique_ptr<RegionalPcntRecord> rec(new RegionalPcntRecord(regional()[ch]));
  rec->channel = ch;
  rec->result = 0;
  sim_reply(r, req, sim_bytes(*rec));
}

void regional_set(int req, const Bytes& p, std::vector<SimReply>* r) {
  std::unique_ptr<RegionalPcntRecord> rec(new RegionalPcntRecord(sim_read<RegionalPcntRecord>(p)));
  if (!channel_ok(rec->channel)) {
    sim_reply_status(r, req, -1);
    return;
  }
  regional()[rec->channel] = *rec;
  sim_reply_status(r, req, 0);
}

const SimRow kRows[] = {{1220, regional_get}, {1221, regional_set}, {3231, mode_set},
                        {3232, mode_get},     {3373, check},        {3374, setting}};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
