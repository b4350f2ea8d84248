// zrcore-sim: the analytics detectors of each channel. Keeps what the
// recorder writes (region kinds 3244-3250, line crossing, people counting,
// engine settings, left/removed objects and the camera forms) and answers
// the reads with it, filled in with the camera's picture size: 1920 x 1080,
// channel 1 1280 x 720. A write for a channel outside 0..63 fails.
#include <cstring>
#include <memory>

#include "handlers/video/vca_records.h"
#include "tools/zrcore_sim.h"

namespace {

constexpr int kKinds = 7;  // region kinds 0..6

struct ChannelState {
  VcaRegionRecord region[kKinds];
  VcaLineRecord line;
  VcaPeopleRecord people;
  VcaSettingsRecord settings;
  VcaLeftRemoveRecord left;
  VcaLine2Record line2;
  VcaSettings2Record settings2;
};

ChannelState* state() {
  static std::unique_ptr<ChannelState[]> s(new ChannelState[64]());
  return s.get();
}

void picture(int ch, int32_t* w, int32_t* h) {
  *w = ch == 1 ? 1280 : 1920;
  *h = ch == 1 ? 720 : 1080;
}

bool channel_ok(int ch) { return ch >= 0 && ch < 64; }

template <typename T>
void keep(int req, const Bytes& p, std::vector<SimReply>* r, T ChannelState::*member) {
  T rec = sim_read<T>(p);
  if (!channel_ok(rec.channel)) {
    sim_reply_status(r, req, -1);
    return;
  }
  state()[rec.channel].*member = rec;
  sim_reply_status(r, req, 0);
}

template <typename T>
T stored(int ch, T ChannelState::*member) {
  T rec = state()[ch].*member;
  rec.channel = ch;
  return rec;
}

int query_channel(const Bytes& p) { return sim_read<int32_t>(p); }

// ---- Region kinds ---------------------------------------------------------------------

void region_write(int req, const Bytes& p, std::vector<SimReply>* r) {
  VcaRegionRecord rec = sim_read<VcaRegionRecord>(p);
  const int kind = req - 3244;
  if (!channel_ok(rec.channel) || kind < 0 || kind >= kKinds) {
    sim_reply_status(r, req, -1);
    return;
  }
  state()[rec.channel].region[kind] = rec;
  sim_reply_status(r, req, 0);
}

void region_read(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = query_channel(p), kind = req - 3237;
  if (!channel_ok(ch) || kind < 0 || kind >= kKinds) return;
  VcaRegionRecord rec = state()[ch].region[kind];
  rec.channel = ch;
  sim_reply(r, req, sim_bytes(rec));
}

// ---- Line crossing, people counting, engine settings ------------------------------------

void line_write(int req, const Bytes& p, std::vector<SimReply>* r) { keep(req, p, r, &ChannelState::line); }
void line_read(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = query_channel(p);
  if (!channel_ok(ch)) return;
  VcaLineRecord rec = stored(ch, &ChannelState::line);
  picture(ch, &rec.width, &rec.height);
  sim_reply(r, req, sim_bytes(rec));
}

void people_write(int req, const Bytes& p, std::vector<SimReply>* r) { keep(req, p, r, &ChannelState::people); }
void people_read(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = query_channel(p);
  if (!channel_ok(ch)) return;
  std::unique_ptr<VcaPeopleRecord> rec(new VcaPeopleRecord(stored(ch, &ChannelState::people)));
  picture(ch, &rec->width, &rec->height);
  sim_reply(r, req, sim_bytes(*rec));
}

void settings_write(int req, const Bytes& p, std::vector<SimReply>* r) { keep(req, p, r, &ChannelState::settings); }
void settings_read(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = query_channel(p);
  if (!channel_ok(ch)) return;
  VcaSettingsRecord rec = stored(ch, &ChannelState::settings);
  picture(ch, &rec.width, &rec.height);
  rec.vca_type = 1;
  sim_reply(r, req, sim_bytes(rec));
}

void left_write(int req, const Bytes& p, std::vector<SimReply>* r) { keep(req, p, r, &ChannelState::left); }
void left_read(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = query_channel(p);
  if (!channel_ok(ch)) return;
  sim_reply(r, req, sim_bytes(stored(ch, &ChannelState::left)));
}

// Analytics on every channel, engine type 1.
void support(int req, const Bytes& p, std::vector<SimReply>* r) {
  VcaSupportRecord rec{};
  rec.channel = query_channel(p);
  rec.support = channel_ok(rec.channel) ? 1 : 0;
  rec.type = 1;
  sim_reply(r, req, sim_bytes(rec));
}

// ---- Camera forms ------------------------------------------------------------------------

void line2_write(int req, const Bytes& p, std::vector<SimReply>* r) { keep(req, p, r, &ChannelState::line2); }
void line2_read(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = query_channel(p);
  if (!channel_ok(ch)) return;
  VcaLine2Record rec = stored(ch, &ChannelState::line2);
  picture(ch, &rec.width, &rec.height);
  sim_reply(r, req, sim_bytes(rec));
}

void settings2_write(int req, const Bytes& p, std::vector<SimReply>* r) { keep(req, p, r, &ChannelState::settings2); }
void settings2_read(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = query_channel(p);
  if (!channel_ok(ch)) return;
  sim_reply(r, req, sim_bytes(stored(ch, &ChannelState::settings2)));
}

const SimRow kRows[] = {
    {1209, line2_read},     {1210, line2_write},    {1211, settings2_read}, {1212, settings2_write},
    {3237, region_read},    {3238, region_read},    {3239, region_read},    {3240, region_read},
    {3241, line_read},      {3242, region_read},    {3243, region_read},    {3244, region_write},
    {3245, region_write},   {3246, region_write},   {3247, region_write},   {3248, line_write},
    {3249, region_write},   {3250, region_write},   {3253, people_read},    {3254, people_write},
    {3257, support},        {3259, settings_read},  {3260, settings_write}, {3268, left_read},
    {3269, left_write},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
