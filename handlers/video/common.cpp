// Helpers shared by the video module's page files.
#include "handlers/video/video.h"

namespace video {

// The tables of the motion dialog. The action page "/6117" does not carry
// the HTTP notification blocks and the PTZ rows; the batch save does.
EventTables motion_tables(bool with_http_and_ptz) {
  EventTables t;
  t.effective = MOTION_EFFECTIVE_SCHEDULE;
  t.audible = MOTION_AUDIBLE_SCHEDULE;
  t.email = MOTION_EMAIL_SCHEDULE;
  t.ptz = MOTION_PTZ_SCHEDULE;
  t.white_sche = MOTION_WHITELED_SCHEDULE;
  t.white_params = MOTION_WHITE_LED_PARAMS;
  if (with_http_and_ptz) {
    t.http_sche = MOTION_HTTP_SCHEDULE;
    t.http_params = MOTION_HTTP_PARAMS;
    t.ptz_type = PTZ_TYPE_MOTION;
  }
  return t;
}

EventActionFields motion_fields(MotionRecord* r, bool with_http) {
  EventActionFields f = common_event_fields(r);
  f.enable = &r->enable;
  if (with_http) f.http_notification_interval = &r->http_notification_interval;
  return f;
}

MotionRecord load_motion(int ch, bool* ok) {
  MotionRecord r;
  std::memset(&r, 0, sizeof r);
  if (read_motion(ZRDB_PATH, &r, ch) != 0 && ok) *ok = false;
  r.channel = ch;
  return r;
}

void set_tri_channels(MotionRecord* r, const char* text) {
  set_text_field({r->tri_channels, sizeof r->tri_channels, 64}, text);
  r->chn_mask = chn_text_mask32(r->tri_channels, sizeof r->tri_channels);
}

const char* member_text(json_object* obj, const char* key) {
  json_object* v = nullptr;
  if (!obj || !json_object_object_get_ex(obj, key, &v) || !json_value_text(v, nullptr)) return "";
  return json_object_get_string(v);
}

FullTimeSchedule full_time_schedule(int channel) {
  FullTimeSchedule s;
  std::memset(&s, 0, sizeof s);
  s.channel = channel;
  for (int d = 0; d < 7; ++d) {
    s.days[d].day = d;
    s.days[d].enable = 1;
    for (int i = 0; i < 4; ++i) s.days[d].sections[i] = {0, 0, 24, 0};
  }
  return s;
}

// 3212 for one channel (no channel list), then the full-time schedule when
// full-time detection is on.
void notify_full_time(int ch, int enable_ms) {
  MotionFullTime ft;
  std::memset(&ft, 0, sizeof ft);
  ft.channel = ch;
  ft.enable_ms = enable_ms == 1 ? 1 : 0;
  notify_core(REQ_MOTION_FULL_TIME, &ft, sizeof ft);
  if (enable_ms == 1) {
    FullTimeSchedule s = full_time_schedule(ch);
    notify_core(REQ_FULL_TIME_SCHEDULE, &s, sizeof s);
  }
}

int32_t RequestInts::plain(json_object* obj, const char* key) {
  int32_t v = 0;
  if (!json_plain_int(obj, key, &v)) ok = false;
  return v;
}

void RequestInts::keep(json_object* obj, const char* key, int32_t* field) {
  if (!take_kept_int(obj, key, field)) ok = false;
}

int32_t RequestInts::elem(json_object* arr, size_t i) {
  json_object* v = json_array_at(arr, i);
  int32_t n = 0;
  if (v && !json_value_int(v, &n)) ok = false;
  return n;
}

void RequestInts::text(json_object* obj, const char* key, char* buf, size_t size) {
  if (json_text_member(obj, key, nullptr) == JSON_TEXT_BAD) ok = false;
  json_get_text(obj, key, buf, size);
}

// ---- Reply writers ---------------------------------------------------------------

// Every writer answers a reply without a whole record with the error
// reply of its page at once.

bool short_reply_answered(int count, const void* payload, int kind) {
  if (count >= 1 && payload) return false;
  cgi_error_to_webserver(kind);
  g_callback_done = 1;
  return true;
}

void on_get_motion_map_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_TEXT)) return;
  MotionMapRecord m;
  std::memcpy(&m, payload, sizeof m);
  JsonPtr out(json_object_new_object());
  json_add_field(out.get(), "map", m.map);
  json_add_int(out.get(), "sensitivity", m.sensitivity);
  json_add_int(out.get(), "result", m.result);
  json_add_int(out.get(), "enable", m.enable);
  json_add_int(out.get(), "modelType", m.model_type);
  json_add_int(out.get(), "fishdisplay", m.fishdisplay);
  json_add_int(out.get(), "fishtransfer", m.fishtransfer);
  json_add_int(out.get(), "fishinstall", m.fishinstall);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

// Status replies of the camera and analytics setters: "OK" / "FAILED"; a
// short reply answers the error of the page's kind.
namespace {
void status_text(int count, const void* payload, int error_kind) {
  if (short_reply_answered(count, payload, error_kind)) return;
  int32_t status;
  std::memcpy(&status, payload, sizeof status);
  cgi_writeback_webserver(CGI_KIND_TEXT, status == 0 ? "OK" : "FAILED");
  g_callback_done = 1;
}
}  // namespace

void on_status_text_cb(int count, const void* payload) { status_text(count, payload, CGI_KIND_TEXT); }
void on_status_text_json_page_cb(int count, const void* payload) { status_text(count, payload, CGI_KIND_JSON); }

// Status replies answered as {"res": N}.
void on_status_res_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  int32_t status;
  std::memcpy(&status, payload, sizeof status);
  JsonPtr out(json_object_new_object());
  if (!out) {
    cgi_error_to_webserver(CGI_KIND_JSON);
  } else {
    json_add_int(out.get(), "res", status);
    cgi_write_json(out.get());
  }
  g_callback_done = 1;
}

}  // namespace video
