// zrcore-sim: camera events. Keeps the alarm I/O and volume detection
// settings the recorder sends to a camera (3214, 3216) and answers the reads
// (3213, 3215) with them; the triggered actions and channels come from the
// recorder's stored record, as the core fills them in.
#include <cstring>

#include "handlers/video/camera_event_records.h"
#include "platform/zrdb.h"
#include "tools/zrcore_sim.h"

namespace {

struct CameraIo {
  int32_t enable = 0, type = 0;
};
struct Volume {
  int32_t enable = 0, type = 0, volume = 50, duration = 5, on_event = 1, off_event = 1, ongoing_event = 0;
};
CameraIo g_io[64];
Volume g_volume[64];

bool channel_ok(int32_t ch) { return ch >= 0 && ch < 64; }

CameraEventRecord stored(const char* family, int ch) {
  CameraEventRecord r;
  std::memset(&r, 0, sizeof r);
  if (zrdb_read_record(ZRDB_PATH, family, ch, &r, sizeof r) != 0) std::memset(r.tri_channels, '0', 64);
  r.tri_channels[sizeof r.tri_channels - 1] = 0;
  return r;
}

void io_changed(int req, const Bytes& p, std::vector<SimReply>* r) {
  const CameraIoChange c = sim_read<CameraIoChange>(p);
  if (channel_ok(c.channel)) g_io[c.channel] = {c.enable, c.type};
  sim_reply_status(r, req, 0);
}

void volume_changed(int req, const Bytes& p, std::vector<SimReply>* r) {
  const VolumeDetectChange c = sim_read<VolumeDetectChange>(p);
  if (channel_ok(c.channel))
    g_volume[c.channel] = {c.enable, c.type, c.volume, c.duration, c.on_event, c.off_event, c.ongoing_event};
  sim_reply_status(r, req, 0);
}

void io_read(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int32_t ch = sim_read<int32_t>(p);
  if (!channel_ok(ch)) return;
  const CameraEventRecord s = stored(CAMERA_IO_FAMILY, ch);
  CameraIoReply m;
  std::memset(&m, 0, sizeof m);
  m.cam_id = ch;
  m.enable = g_io[ch].enable;
  m.type = g_io[ch].type;
  m.tri_actions = s.tri_actions;
  std::memcpy(m.tri_channels, s.tri_channels, sizeof m.tri_channels);
  sim_reply(r, req, sim_bytes(m));
}

void volume_read(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int32_t ch = sim_read<int32_t>(p);
  if (!channel_ok(ch)) return;
  const CameraEventRecord s = stored(VOLUME_DETECT_FAMILY, ch);
  const Volume& v = g_volume[ch];
  VolumeDetectReply m;
  std::memset(&m, 0, sizeof m);
  m.cam_id = ch;
  m.enable = v.enable;
  m.type = v.type;
  m.volume = v.volume;
  m.duration = v.duration;
  m.on_event = v.on_event;
  m.off_event = v.off_event;
  m.ongoing_event = v.ongoing_event;
  m.tri_actions = s.tri_actions;
  std::memcpy(m.tri_channels, s.tri_channels, sizeof m.tri_channels);
  sim_reply(r, req, sim_bytes(m));
}

const SimRow kRows[] = {{3213, io_read}, {3214, io_changed}, {3215, volume_read}, {3216, volume_changed}};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
