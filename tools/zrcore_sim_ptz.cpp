// zrcore-sim: PTZ. Keeps per channel the presets the recorder sets (1253
// with action 22 sets a preset and its name, 23 clears it), the tours it
// saves (1264, 1269) and clears (1257) and the PTZ basic settings (1271),
// and answers the PTZ information (1265, 1268), the basic settings (1270),
// control commands (3361) and the LED status (3363) from them.
#include <cstdio>
#include <cstring>

#include "tools/zrcore_sim.h"

namespace {

struct PtzCommand {  // 1253
  int32_t channelId, action, presetId, pan, tilt, zoom, focus, zero;
  char name[32];
  int32_t fisheyeType, streamId;
};
static_assert(sizeof(PtzCommand) == 72, "PTZ command is 72 bytes");

struct TourPoint {
  int32_t preset, time, speed;
};
struct TourSet {  // 1264
  int32_t chn, tourid, rowsize;
  TourPoint points[48];
};
static_assert(sizeof(TourSet) == 588, "tour set is 588 bytes");

struct FishTourSet {  // 1269
  int32_t chn, streamId, tour;
  struct {
    int32_t preset[48], time[48], speed[48];
  } tours[8];
};
static_assert(sizeof(FishTourSet) == 4620, "fisheye tour set is 4620 bytes");

struct TourCommand {  // 1257
  int32_t chn, tourid;
  uint8_t zero[16];
  int32_t fisheyeType, streamId;
};
static_assert(sizeof(TourCommand) == 32, "tour command is 32 bytes");

struct PtzInfo {  // 6265, 6268
  struct {
    int32_t enable;
    char name[32];
  } presets[300];
  struct {
    int32_t preset_id[48], timeout[48], speed[48];
  } tours[8];
  int32_t pattern_enable[4];
  int32_t tour_status[5][8];
  int32_t autoscan_status[5];
};
static_assert(sizeof(PtzInfo) == 15604, "PTZ information is 15604 bytes");

struct PtzBasic {  // 1270, 1271, 6270
  int32_t fields[17];
  char channelMask[68];
};
static_assert(sizeof(PtzBasic) == 136, "PTZ basic record is 136 bytes");

// A dome on every channel: presets 1 and 2 set at start, one pattern
// recorded, no tours.
struct Dome {
  bool ready = false;
  PtzInfo info;
  PtzBasic basic;
};
Dome g_domes[64];

Dome* dome(int32_t ch) {
  if (ch < 0 || ch >= 64) return nullptr;
  Dome& d = g_domes[ch];
  if (!d.ready) {
    std::memset(&d.info, 0, sizeof d.info);
    for (int p = 0; p < 2; ++p) {
      d.info.presets[p].enable = 1;
      std::snprintf(d.info.presets[p].name, sizeof d.info.presets[p].name, "Preset %d", p + 1);
    }
    d.info.pattern_enable[0] = 1;
    std::memset(&d.basic, 0, sizeof d.basic);
    d.basic.fields[1] = ch;
    d.basic.fields[2] = 1;    // zoom status
    d.basic.fields[9] = 5;    // preset speed
    d.basic.fields[10] = 4;   // manual speed
    d.basic.fields[15] = 30;  // resume time
    d.ready = true;
  }
  return &d;
}

void preset(int req, const Bytes& p, std::vector<SimReply>* r) {
  const PtzCommand c = sim_read<PtzCommand>(p);
  Dome* d = dome(c.channelId);
  if (d && c.presetId >= 1 && c.presetId <= 300) {
    auto& pr = d->info.presets[c.presetId - 1];
    if (c.action == 22) {
      pr.enable = 1;
      std::memcpy(pr.name, c.name, sizeof pr.name);
      pr.name[31] = 0;
    } else if (c.action == 23) {
      std::memset(&pr, 0, sizeof pr);
    }
  }
  sim_reply_status(r, req, 0);
}

void set_tour(Dome* d, int t, const int32_t* preset, const int32_t* time, const int32_t* speed, size_t stride) {
  auto& tour = d->info.tours[t];
  for (int i = 0; i < 48; ++i) {
    tour.preset_id[i] = preset[i * stride];
    tour.timeout[i] = time[i * stride];
    tour.speed[i] = speed[i * stride];
  }
}

void tour_set(int req, const Bytes& p, std::vector<SimReply>* r) {
  TourSet s = sim_read<TourSet>(p);
  Dome* d = dome(s.chn);
  if (d && s.tourid >= 1 && s.tourid <= 8) {
    for (int i = s.rowsize < 0 ? 0 : s.rowsize; i < 48; ++i) s.points[i] = TourPoint{};
    set_tour(d, s.tourid - 1, &s.points[0].preset, &s.points[0].time, &s.points[0].speed, 3);
  }
  sim_reply_status(r, req, 0);
}

void fish_tour_set(int req, const Bytes& p, std::vector<SimReply>* r) {
  const FishTourSet s = sim_read<FishTourSet>(p);
  Dome* d = dome(s.chn);
  if (d && s.tour >= 0 && s.tour < 8)
    set_tour(d, s.tour, s.tours[s.tour].preset, s.tours[s.tour].time, s.tours[s.tour].speed, 1);
  sim_reply_status(r, req, 0);
}

void tour_clear(int req, const Bytes& p, std::vector<SimReply>* r) {
  const TourCommand c = sim_read<TourCommand>(p);
  Dome* d = dome(c.chn);
  if (d && c.tourid >= 1 && c.tourid <= 8) std::memset(&d->info.tours[c.tourid - 1], 0, sizeof d->info.tours[0]);
  sim_reply_status(r, req, 0);
}

void info(int req, const Bytes& p, std::vector<SimReply>* r) {
  Dome* d = dome(sim_read<int32_t>(p));
  sim_reply(r, req, d ? sim_bytes(d->info) : Bytes{});
}

void basic_get(int req, const Bytes& p, std::vector<SimReply>* r) {
  Dome* d = dome(sim_read<int32_t>(p));
  sim_reply(r, req, d ? sim_bytes(d->basic) : Bytes{});
}

// The settings go to the addressed channel and to each channel of the mask.
void basic_set(int req, const Bytes& p, std::vector<SimReply>* r) {
  const PtzBasic b = sim_read<PtzBasic>(p);
  for (int ch = 0; ch < 64; ++ch) {
    if (ch != b.fields[1] && b.channelMask[ch] != '1') continue;
    Dome* d = dome(ch);
    d->basic = b;
    d->basic.fields[0] = 0;
    d->basic.fields[1] = ch;
    std::memset(d->basic.channelMask, 0, sizeof d->basic.channelMask);
  }
  sim_reply_status(r, req, 0);
}

void control(int req, const Bytes&, std::vector<SimReply>* r) { sim_reply_status(r, req, 1); }

// The LED of even channels is on.
void led_status(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int32_t ch = sim_read<int32_t>(p);
  const int32_t reply[2] = {ch, ch % 2 == 0 ? 1 : 0};
  sim_reply(r, req, sim_bytes(reply));
}

const SimRow kRows[] = {
    {1253, preset},     {1257, tour_clear}, {1264, tour_set},  {1265, info},       {1268, info},
    {1269, fish_tour_set}, {1270, basic_get}, {1271, basic_set}, {3361, control}, {3363, led_status},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
