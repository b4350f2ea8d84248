// zrcore-sim: people counting, POS and face capture. Keeps the face
// settings each channel 0..7 was given (3381); the channel announced before
// them (3383) is never answered. A request for a group or POS device
// outside 0..3, a face record that is not 1620 bytes or names a channel
// outside 0..7, and a group action request that is not {group, -1} are
// answered with status -1; the rest with 0.
#include <cstring>
#include <memory>

#include "handlers/camera/people_pos_records.h"
#include "tools/zrcore_sim.h"

namespace {

FaceConfig* faces() {
  static std::unique_ptr<FaceConfig[]> s(new FaceConfig[FACE_CHANNELS]());
  return s.get();
}

bool id_ok(const Bytes& p, int count) {
  const int32_t id = sim_read<int32_t>(p);
  return p.size() == sizeof id && id >= 0 && id < count;
}

void group_request(int req, const Bytes& p, std::vector<SimReply>* r) {
  sim_reply_status(r, req, id_ok(p, PCNT_GROUPS) ? 0 : -1);
}

void group_action(int req, const Bytes& p, std::vector<SimReply>* r) {
  struct {
    int32_t group, unused;
  } rec = sim_read<decltype(rec)>(p);
  const bool ok = p.size() == sizeof rec && rec.group >= 0 && rec.group < PCNT_GROUPS && rec.unused == -1;
  sim_reply_status(r, req, ok ? 0 : -1);
}

void group_settings(int req, const Bytes& p, std::vector<SimReply>* r) {
  sim_reply_status(r, req, p.size() == sizeof(int32_t) && sim_read<int32_t>(p) == 0 ? 0 : -1);
}

void pos_set(int req, const Bytes& p, std::vector<SimReply>* r) {
  sim_reply_status(r, req, id_ok(p, POS_DEVICES) ? 0 : -1);
}

void report_set(int req, const Bytes& p, std::vector<SimReply>* r) { sim_reply_status(r, req, p.empty() ? 0 : -1); }

void face_channel(int, const Bytes&, std::vector<SimReply>*) {}

void face_set(int req, const Bytes& p, std::vector<SimReply>* r) {
  std::unique_ptr<FaceConfig> rec(new FaceConfig(sim_read<FaceConfig>(p)));
  if (p.size() != sizeof(FaceConfig) || rec->chnId < 0 || rec->chnId >= FACE_CHANNELS) {
    sim_reply_status(r, req, -1);
    return;
  }
  faces()[rec->chnId] = *rec;
  sim_reply_status(r, req, 0);
}

const SimRow kRows[] = {
    {1421, pos_set},       {1423, report_set},    {2290, group_settings}, {2291, group_request},
    {2292, group_request}, {2293, group_action},  {3381, face_set},       {3383, face_channel},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
