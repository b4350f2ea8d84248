// zrcore-sim: the cameras' OSD configuration and privacy masks. A channel
// has a camera when the recorder's store holds an enabled camera record
// with an address. Each camera starts with the settings a fresh camera
// reports (its OSD text is the channel's stored name) and keeps what the
// recorder writes: the OSD configuration (3210, read by 3211), the masks
// (2509, read by 2502), single-area deletes (2508) and the mask in edit
// mode (3353). 2503 answers the camera's model id.
#include <cstring>
#include <memory>

#include "core/camera_record.h"
#include "core/osd_record.h"
#include "handlers/video/video_records.h"
#include "tools/zrcore_sim.h"

namespace {

struct SimCameraOsd {
  bool loaded = false;
  OsdConfigRecord osd{};
  CameraMaskRecord masks{};
  int32_t edit_mask = -1;
};
SimCameraOsd g_cameras[64];

bool camera_record(int32_t ch, CameraRecord* out) {
  if (ch < 0 || ch >= 64) return false;
  std::memset(out, 0, sizeof *out);
  if (zrdb_read_record(ZRDB_PATH, "camera", ch, out, sizeof *out) != 0) return false;
  return !out->removed && out->enable && out->ipAddr[0];
}

// The camera of a channel with its settings, or null when there is none.
SimCameraOsd* camera(int32_t ch) {
  CameraRecord rec;
  if (!camera_record(ch, &rec)) return nullptr;
  SimCameraOsd& c = g_cameras[ch];
  if (c.loaded) return &c;
  c.loaded = true;
  OsdRecord stored{};
  read_osd(ZRDB_PATH, &stored, ch);
  OsdConfigRecord& o = c.osd;
  std::memset(&o, 0, sizeof o);
  o.ch = ch;
  o.enable_text = 1;
  copy_field(o.text_name, stored.camName[0] ? field_view(stored.camName) : "Camera");
  o.textpos = 0;
  o.enable_date = 1;
  o.datepos = 1;
  o.dateformat = 0;
  o.font_size = 2;
  o.enable_text_sub = 1;
  copy_field(o.text_name_sub, field_view(o.text_name));
  o.textpos_sub = 0;
  o.enable_date_sub = 1;
  o.datepos_sub = 1;
  o.dateformat_sub = 0;
  o.font_size_sub = 1;

  CameraMaskRecord& m = c.masks;
  std::memset(&m, 0, sizeof m);
  m.id = ch;
  m.enable = 1;
  m.num = 4;
  m.cgi_sdk_flag = 1;
  copy_field(m.sdkversion, "V2.4.1 build 20240312");
  m.max_ptz_zoom_ratio = 1;
  m.area_enable = 1;
  copy_field(m.color_list, "black,white,gray");
  for (int i = 0; i < CAMERA_MASK_AREAS; ++i) m.area[i].area_id = i;
  m.area[0].enable = 1;
  m.area[0].start_x = 40;
  m.area[0].start_y = 30;
  m.area[0].area_width = 120;
  m.area[0].area_height = 80;
  m.area[0].ratio = 1;
  copy_field(m.area[0].name, "Mask1");
  m.mosaic_support = 1;
  m.mosaic_num = 0;
  m.color_support = 1;
  m.max_mask_sum = 4;
  return &c;
}

int32_t channel_of(const Bytes& p) { return sim_read<int32_t>(p); }

// 2508 and 3353: a channel and an area or mask id.
struct ChannelAndId {
  int32_t channel, id;
};

void get_masks(int req, const Bytes& p, std::vector<SimReply>* r) {
  SimCameraOsd* c = camera(channel_of(p));
  sim_reply(r, req, c ? sim_bytes(c->masks) : Bytes());
}

void model_type(int req, const Bytes& p, std::vector<SimReply>* r) {
  CameraRecord rec;
  if (!camera_record(channel_of(p), &rec)) return sim_reply(r, req, Bytes());
  sim_reply_status(r, req, rec.camProtocol);
}

void clear_area(MaskAreaRecord* a) {
  const int32_t id = a->area_id;
  std::memset(a, 0, sizeof *a);
  a->area_id = id;
}

void delete_area(int, const Bytes& p, std::vector<SimReply>*) {
  const ChannelAndId del = sim_read<ChannelAndId>(p);
  SimCameraOsd* c = camera(del.channel);
  if (!c) return;
  for (MaskAreaRecord& a : c->masks.area)
    if (a.area_id == del.id) clear_area(&a);
}

void set_masks(int, const Bytes& p, std::vector<SimReply>*) {
  std::unique_ptr<PrivacyMaskWrite> w(new PrivacyMaskWrite(sim_read<PrivacyMaskWrite>(p)));
  for (int ch = 0; ch < 64; ++ch) {
    if (w->chn[ch] != '1') continue;
    SimCameraOsd* c = camera(ch);
    if (!c) continue;
    CameraMaskRecord& m = c->masks;
    m.enable = w->enable;
    m.num = w->num;
    m.cgi_sdk_flag = w->cgi_sdk_flag;
    m.area_enable = w->area_mask_enable;
    m.mosaic_support = w->mosaic_support;
    m.mosaic_num = w->mosaic_num;
    for (int i = 0; i < CAMERA_MASK_AREAS; ++i) {
      m.area[i] = w->area[i];
      m.area[i].name[sizeof m.area[i].name - 1] = 0;
    }
    for (int i = 0; i < CAMERA_MASK_AREAS; ++i)
      if (static_cast<uint64_t>(w->del_mask) & (1ULL << i)) clear_area(&m.area[i]);
  }
}

void set_osd(int req, const Bytes& p, std::vector<SimReply>* r) {
  OsdConfigRecord o = sim_read<OsdConfigRecord>(p);
  SimCameraOsd* c = camera(o.ch);
  if (!c) return sim_reply_status(r, req, 1);
  o.text_name[sizeof o.text_name - 1] = 0;
  o.text_name_sub[sizeof o.text_name_sub - 1] = 0;
  c->osd = o;
  sim_reply_status(r, req, 0);
}

void get_osd(int req, const Bytes& p, std::vector<SimReply>* r) {
  SimCameraOsd* c = camera(channel_of(p));
  if (c) return sim_reply(r, req, sim_bytes(c->osd));
  OsdConfigRecord none;
  std::memset(&none, 0, sizeof none);
  none.ch = -1;
  sim_reply(r, req, sim_bytes(none));
}

void mask_edit(int req, const Bytes& p, std::vector<SimReply>* r) {
  const ChannelAndId edit = sim_read<ChannelAndId>(p);
  SimCameraOsd* c = camera(edit.channel);
  if (!c) return sim_reply_status(r, req, -1);
  c->edit_mask = edit.id;
  sim_reply_status(r, req, 0);
}

const SimRow kRows[] = {{2502, get_masks}, {2503, model_type}, {2508, delete_area}, {2509, set_masks},
                        {3210, set_osd},   {3211, get_osd},    {3353, mask_edit}};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
