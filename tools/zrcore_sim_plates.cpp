// zrcore-sim: licence plate recognition cameras. Analytics support (3293)
// answers {channel, support, version}: channels 0..31 support version 3,
// the others none. Zoom state (1215) answers {channel, state 1, zoom
// number channel + 1}. Recognition settings (3289 reads, 3290 writes) and
// plate wildcards (1207 reads, 1208 writes) are kept per channel, so a read
// answers what was written; before any write a camera answers 1920 x 1080,
// confidence 80, JSON support, AI type 11 on channel 2 (0 elsewhere), night
// state 1 on channel 3 and at most 8 plate characters. A write keeps the
// camera's own night state. A read for a channel outside 0..63 gets no
// answer; a write for one fails with status -1.
#include <cstdint>
#include <memory>

#include "handlers/video/plate_records.h"
#include "tools/zrcore_sim.h"

namespace {

struct Three {
  int32_t a, b, c;
};

struct CameraState {
  AnprSettingsRecord settings;
  AnprWildcardRecord wildcards;
};

bool channel_ok(int ch) { return ch >= 0 && ch < 64; }

CameraState* cameras() {
  static std::unique_ptr<CameraState[]> s;
  if (!s) {
    s.reset(new CameraState[64]());
    for (int ch = 0; ch < 64; ++ch) {
      AnprSettingsRecord& r = s[ch].settings;
      r.chnid = ch;
      r.resolution_width = 1920;
      r.resolution_height = 1080;
      r.area_width = 1920;
      r.area_height = 1080;
      r.confidence = 80;
      r.json_support = 1;
      r.aitype = ch == 2 ? 11 : 0;
      r.in_night_mode = ch == 3 ? 1 : 0;
      s[ch].wildcards.channel = ch;
      s[ch].wildcards.max_plate_char_num = 8;
    }
  }
  return s.get();
}

void support(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = sim_read<int32_t>(p);
  if (!channel_ok(ch)) return;
  sim_reply(r, req, sim_bytes(Three{ch, ch < 32 ? 1 : 0, ch < 32 ? 3 : 0}));
}

void zoom(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = sim_read<int32_t>(p);
  if (!channel_ok(ch)) return;
  sim_reply(r, req, sim_bytes(Three{ch, 1, ch + 1}));
}

void get_settings(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = sim_read<int32_t>(p);
  if (!channel_ok(ch)) return;
  sim_reply(r, req, sim_bytes(cameras()[ch].settings));
}

void set_settings(int req, const Bytes& p, std::vector<SimReply>* r) {
  std::unique_ptr<AnprSettingsRecord> rec(new AnprSettingsRecord(sim_read<AnprSettingsRecord>(p)));
  if (!channel_ok(rec->chnid)) {
    sim_reply_status(r, req, -1);
    return;
  }
  AnprSettingsRecord& kept = cameras()[rec->chnid].settings;
  rec->in_night_mode = kept.in_night_mode;
  kept = *rec;
  sim_reply_status(r, req, 0);
}

void get_wildcards(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int ch = sim_read<int32_t>(p);
  if (!channel_ok(ch)) return;
  sim_reply(r, req, sim_bytes(cameras()[ch].wildcards));
}

void set_wildcards(int req, const Bytes& p, std::vector<SimReply>* r) {
  const AnprWildcardRecord rec = sim_read<AnprWildcardRecord>(p);
  if (!channel_ok(rec.channel)) {
    sim_reply_status(r, req, -1);
    return;
  }
  cameras()[rec.channel].wildcards = rec;
  sim_reply_status(r, req, 0);
}

const SimRow kRows[] = {{1207, get_wildcards}, {1208, set_wildcards}, {1215, zoom},
                        {3289, get_settings},  {3290, set_settings},  {3293, support}};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
