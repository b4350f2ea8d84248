// Camera events relayed to the camera: its alarm I/O and its volume (sound)
// detection.
// Serves "/6090", "/6091", "/6092", "/6093".
#include "handlers/video/camera_event_records.h"
#include "handlers/video/video.h"

namespace video {

namespace {

constexpr int REQ_GET_CAMERA_IO = 3213;
constexpr int REQ_CAMERA_IO_CHANGED = 3214;
constexpr int REQ_GET_VOLUME_DETECT = 3215;
constexpr int REQ_VOLUME_DETECT_CHANGED = 3216;
constexpr int LOG_PARAM_CAMERA_IO = 923;
constexpr int LOG_PARAM_VOLUME_DETECT = 924;

void ask_camera(char* text, int req) {
  int ch = 0;
  if (!bare_channel(text, &ch)) return;
  int32_t query = ch;
  cgi_ipc_exchange(on_video_ipc_callback, req, &query, sizeof query, CGI_KIND_JSON);
}

// The fields both setters take, checked before anything is written.
struct CameraEventRequest {
  int32_t ch = 0, enable = 0, type = 0, tri_actions = 0;
  const char* tri_channels = "";
};

bool check_camera_event(json_object* q, CameraEventRequest* r) {
  return q && json_strict_int_in(q, "camId", 0, NVR_CHANNELS - 1, &r->ch) &&
         json_strict_int_in(q, "enable", 0, 1, &r->enable) && json_strict_int_in(q, "type", 0, INT32_MAX, &r->type) &&
         json_strict_int(q, "triActions", &r->tri_actions) && json_member(q, "triChannels", json_type_string) &&
         (r->tri_channels = member_text(q, "triChannels"));
}

bool store_camera_event(const char* family, const CameraEventRequest& r) {
  CameraEventRecord rec;
  std::memset(&rec, 0, sizeof rec);
  rec.channel = r.ch;
  rec.enable = r.enable;
  rec.tri_actions = r.tri_actions;
  set_text_field({rec.tri_channels, sizeof rec.tri_channels, 64}, r.tri_channels);
  rec.chn_mask = chn_text_mask32(rec.tri_channels, sizeof rec.tri_channels);
  ZrdbTransaction txn(ZRDB_PATH);
  return finish_event_writes(txn, zrdb_write_record(ZRDB_PATH, family, r.ch, &rec, sizeof rec) == 0,
                             CGI_KIND_TEXT);
}

}  // namespace

void on_get_camera_io(char* text) { ask_camera(text, REQ_GET_CAMERA_IO); }
void on_get_volume_detect(char* text) { ask_camera(text, REQ_GET_VOLUME_DETECT); }

void on_set_camera_io(char* text) {
  JsonPtr req(parse_request_object(text));
  CameraEventRequest r;
  if (!check_camera_event(req.get(), &r) || !store_camera_event(CAMERA_IO_FAMILY, r)) return;
  const CameraIoChange change{r.ch, r.enable, r.type};
  notify_core(REQ_CAMERA_IO_CHANGED, &change, sizeof change);
  log_operation(LOG_SUB_EVENT, LOG_PARAM_CAMERA_IO, r.ch + 1);
  cgi_reply_ok();
}

void on_set_volume_detect(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  CameraEventRequest r;
  VolumeDetectChange change;
  if (!check_camera_event(q, &r) || !json_strict_int_in(q, "volume", 0, INT32_MAX, &change.volume) ||
      !json_strict_int_in(q, "duration", 0, INT32_MAX, &change.duration) ||
      !json_strict_int_in(q, "onEvent", 0, INT32_MAX, &change.on_event) ||
      !json_strict_int_in(q, "offEvent", 0, INT32_MAX, &change.off_event) ||
      !json_strict_int_in(q, "ongoingEvent", 0, INT32_MAX, &change.ongoing_event))
    return;
  if (!store_camera_event(VOLUME_DETECT_FAMILY, r)) return;
  change.channel = r.ch;
  change.enable = r.enable;
  change.type = r.type;
  notify_core(REQ_VOLUME_DETECT_CHANGED, &change, sizeof change);
  log_operation(LOG_SUB_EVENT, LOG_PARAM_VOLUME_DETECT, r.ch + 1);
  cgi_reply_ok();
}

// ---- Reply writers -------------------------------------------------------------------------

void on_get_camera_io_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  CameraIoReply m;
  std::memcpy(&m, payload, sizeof m);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "camId", m.cam_id);
  json_add_int(out.get(), "enable", m.enable);
  json_add_int(out.get(), "type", m.type);
  json_add_int(out.get(), "triActions", m.tri_actions);
  json_add_field(out.get(), "triChannels", m.tri_channels);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

void on_get_volume_detect_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  VolumeDetectReply m;
  std::memcpy(&m, payload, sizeof m);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "camId", m.cam_id);
  json_add_int(out.get(), "enable", m.enable);
  json_add_int(out.get(), "type", m.type);
  json_add_int(out.get(), "volume", m.volume);
  json_add_int(out.get(), "duration", m.duration);
  json_add_int(out.get(), "onEvent", m.on_event);
  json_add_int(out.get(), "offEvent", m.off_event);
  json_add_int(out.get(), "ongoingEvent", m.ongoing_event);
  json_add_int(out.get(), "triActions", m.tri_actions);
  json_add_field(out.get(), "triChannels", m.tri_channels);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

}  // namespace video
