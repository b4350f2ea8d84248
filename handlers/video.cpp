// Video and event settings: motion detection with its area, schedules and
// linked actions, copies to other channels, the live motion map, the PTZ
// action rows shared by every event kind and the copy of alarm-input
// triggers. The module's reply dispatcher serves every event page.
// Request table whose first name is "/6000".
#include <cstring>
#include <memory>
#include <string>

#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/event_actions.h"
#include "core/event_records.h"
#include "core/strutil.h"
#include "core/web_utils.h"
#include "handlers/modules.h"
#include "handlers/video_records.h"
#include "platform/zrdb.h"

// ---- Core daemon records --------------------------------------------------------

constexpr int REQ_MOTION_CHANGED = 1403;
constexpr int REQ_MOTION_COPIED = 1410;
constexpr int REQ_ALARM_IN_COPIED = 1415;
constexpr int REQ_MOTION_MAP = 3206;
constexpr int REQ_MOTION_AREA = 3207;
constexpr int REQ_FULL_TIME_SCHEDULE = 3209;
constexpr int REQ_MOTION_FULL_TIME = 3212;
constexpr int REQ_MOTION_AREA_COPY = 3251;
constexpr int REQ_FULL_TIME_SCHEDULE_COPY = 3252;

constexpr int64_t LOG_SUB_EVENT = 204;
constexpr int LOG_PARAM_MOTION = 909;

// Full-time schedule for the core (requests 3209 and 3252).
struct FullTimeSection {
  int32_t start_hour, start_minute, end_hour, end_minute;
};
struct FullTimeDay {
  int32_t day;
  int32_t enable;
  FullTimeSection sections[8];
};
struct FullTimeSchedule {
  int32_t channel;
  uint8_t zero64[64];
  FullTimeDay days[8];
  uint8_t zero60[60];
};
static_assert(sizeof(FullTimeDay) == 136, "full-time day block is 136 bytes");
static_assert(offsetof(FullTimeSchedule, days) == 68, "day blocks at 68");
static_assert(sizeof(FullTimeSchedule) == 1216, "full-time schedule is 1216 bytes");

// Full-time detection of a channel and the channels it applies to (3212).
struct MotionFullTime {
  int32_t channel;
  int32_t enable_ms;
  int32_t list[64];
  int32_t count;
};
static_assert(sizeof(MotionFullTime) == 268, "full-time switch is 268 bytes");

void on_video_ipc_callback(void* ctx, void* header, void* payload);

namespace {

constexpr char MOTION_EFFECTIVE_SCHEDULE[] = "motion_effective_schedule";
// The motion schedule of the older pages and the audible schedule are one
// table: what "/6013" writes, "/6011" reads back.
constexpr char MOTION_AUDIBLE_SCHEDULE[] = "motion_audible_schedule";
constexpr char MOTION_EMAIL_SCHEDULE[] = "motion_email_schedule";
constexpr char MOTION_PTZ_SCHEDULE[] = "motion_ptz_schedule";

// The tables of the motion dialog. The action page "/6117" does not carry
// the HTTP notification blocks and the PTZ rows; the batch save does.
EventTables motion_tables(bool with_http_and_ptz) {
  EventTables t;
  t.effective = MOTION_EFFECTIVE_SCHEDULE;
  t.audible = MOTION_AUDIBLE_SCHEDULE;
  t.email = MOTION_EMAIL_SCHEDULE;
  t.ptz = MOTION_PTZ_SCHEDULE;
  t.white_sche = "motion_whiteled_esche";
  t.white_params = "motion_white_led_params";
  if (with_http_and_ptz) {
    t.http_sche = "motion_http_notification_sche";
    t.http_params = "motion_http_notification_params";
    t.ptz_type = PTZ_EVENT_MOTION;
  }
  return t;
}

EventActionFields motion_fields(MotionRecord* r, bool with_http) {
  EventActionFields f = common_event_fields(r);
  f.enable = &r->enable;
  if (with_http) f.http_notification_interval = &r->http_notification_interval;
  return f;
}

MotionRecord load_motion(int ch) {
  MotionRecord r;
  std::memset(&r, 0, sizeof r);
  read_motion(ZRDB_PATH, &r, ch);
  r.channel = ch;
  return r;
}

void set_tri_channels(MotionRecord* r, const char* text) {
  set_text_field({r->tri_channels, sizeof r->tri_channels, 64}, text);
  r->chn_mask = chn_text_mask32(r->tri_channels, sizeof r->tri_channels);
}

const char* member_text(json_object* obj, const char* key) {
  json_object* v = nullptr;
  if (!obj || !json_object_object_get_ex(obj, key, &v) || !v) return "";
  const char* s = json_object_get_string(v);
  return s ? s : "";
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

// ---- Reply writers ---------------------------------------------------------------

void on_get_motion_map_cb(int count, const void* payload) {
  if (count < 1 || !payload) return;
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

// Status replies of the camera and analytics setters: "OK" / "FAILED".
void on_status_text_cb(int count, const void* payload) {
  if (count < 1 || !payload) return;
  int32_t status;
  std::memcpy(&status, payload, sizeof status);
  cgi_writeback_webserver(CGI_KIND_TEXT, status == 0 ? "OK" : "FAILED");
  g_callback_done = 1;
}

// Status replies answered as {"res": N}.
void on_status_res_cb(int count, const void* payload) {
  if (count < 1 || !payload) return;
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

// ---- Motion page ------------------------------------------------------------------

void on_get_movedetect_info(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!take_request_id(req.get(), "chnid", NVR_CHANNELS, &ch, CGI_KIND_JSON)) return;
  const EventTables t = motion_tables(true);
  const MotionRecord r = load_motion(ch);
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_add_int(out, "chnid", ch);
  json_add_int(out, "enable", r.enable);
  json_add_int(out, "sensitivity", r.sensitivity);
  json_add_field(out, "triChannels", r.tri_channels);
  json_add_int(out, "triAlarms", r.tri_alarms);
  json_add_int(out, "interval", r.interval);
  json_add_int(out, "enableMS", r.enable_ms);
  json_add_field(out, "motionTable", r.motion_table);
  json_add_int(out, "email_enable", r.email_enable);
  json_add_int(out, "email_interval", r.email_interval);
  json_add_int(out, "email_pic_enable", r.email_pic_enable);
  json_add_field(out, "tri_channels_pic", r.tri_channels_pic);
  json_add_int(out, "ptz_interval", r.ptz_interval);
  json_add_int(out, "alarmout_interval", r.alarmout_interval);
  json_add_int(out, "http_notification_interval", r.http_notification_interval);
  json_add(out, "effective", event_schedule_json(t.effective, ch));
  json_add(out, "audible", event_schedule_json_ex(MOTION_AUDIBLE_SCHEDULE, ch));
  json_add(out, "email", event_schedule_json_ex(MOTION_EMAIL_SCHEDULE, ch));
  json_add(out, "ptz", event_schedule_json_ex(MOTION_PTZ_SCHEDULE, ch));
  json_add(out, "triChnAlarms", get_event_chn_alarmout_object(r.tri_chn_alarms[0], r.tri_chn_alarms[1]));
  json_add(out, "white", event_schedule_json(t.white_sche, ch));
  json_add(out, "whiteInfo", event_white_json(t, ch));
  json_add_int(out, "white_interval", r.white_interval);
  json_add(out, "httpSche", event_schedule_json(t.http_sche, ch));
  json_add(out, "httpParams", event_http_json(t, ch));
  json_add_int(out, "audioId", r.audio_id);
  json_add_int(out, "audioIdMask", get_audio_file_id_mask());
  json_add(out, "ptzParams", event_ptz_json(t, ch));
  cgi_write_json(out);
}

// Schedule getters that take a bare channel number.
void answer_schedule(const char* text, const char* table) {
  int ch = 0;
  if (!text || !parse_int_strict(text, &ch) || ch < 0 || ch >= NVR_CHANNELS) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr out(event_schedule_json(table, ch));
  cgi_write_json(out.get());
}

void OnGetMotionSchedule(char* text) { answer_schedule(text, MOTION_AUDIBLE_SCHEDULE); }
void on_get_move_email_sche(char* text) { answer_schedule(text, MOTION_EMAIL_SCHEDULE); }
void on_get_move_effective_sche(char* text) { answer_schedule(text, MOTION_EFFECTIVE_SCHEDULE); }
void on_get_move_ptz_sche(char* text) { answer_schedule(text, MOTION_PTZ_SCHEDULE); }

// The motion record of "/6012" when every required key is present and in
// range.
bool check_movedetect_info(json_object* req, int* ch) {
  int v = 0;
  return req && json_id_in_range(req, "camId", 0, NVR_CHANNELS - 1, ch) &&
         json_id_in_range(req, "enable", 0, 2, &v) &&
         json_id_in_range(req, "sensitivity", 0, INT32_MAX, &v) && json_has(req, "triChannels") &&
         json_id_in_range(req, "triAlarms", 0, INT32_MAX, &v) &&
         json_id_in_range(req, "interval", 0, INT32_MAX, &v) && json_has(req, "motionTable") &&
         json_has(req, "enableMS");
}

void on_set_movedetect_info(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!check_movedetect_info(req.get(), &ch)) return;
  json_object* q = req.get();

  // Only the keys of this page change; e-mail, trigger, interval and audio
  // settings of the action dialog stay as stored.
  ZrdbTransaction txn(ZRDB_PATH);
  MotionRecord rec = load_motion(ch);
  rec.enable = json_get_int(q, "enable");
  rec.sensitivity = json_get_int(q, "sensitivity");
  rec.tri_alarms = json_get_int(q, "triAlarms");
  rec.interval = json_get_int(q, "interval");
  rec.enable_ms = json_get_int(q, "enableMS");
  const char* table = member_text(q, "motionTable");
  set_text_field({rec.motion_table, sizeof rec.motion_table, sizeof rec.motion_table - 1}, table);
  set_tri_channels(&rec, member_text(q, "triChannels"));
  if (!finish_event_writes(txn, write_motion(ZRDB_PATH, &rec, ch) == 0, CGI_KIND_TEXT)) return;

  notify_core_int(REQ_MOTION_CHANGED, ch);
  MotionMapRecord area;
  std::memset(&area, 0, sizeof area);
  copy_field(area.map, table);
  area.sensitivity = rec.sensitivity;
  area.channel = ch;
  notify_core(REQ_MOTION_AREA, &area, sizeof area);
  notify_full_time(ch, rec.enable_ms);
  log_operation(LOG_SUB_EVENT, LOG_PARAM_MOTION, ch + 1);
  cgi_reply_ok();
}

// Writes the motion dialog of one channel: its tables and the present
// trigger fields. False when a database write failed.
bool save_motion_dialog_data(json_object* d, int ch, bool batch) {
  const EventTables t = motion_tables(batch);
  EventSave saved = save_event_tables(d, ch, t);
  MotionRecord rec = load_motion(ch);
  const MotionRecord before = rec;
  apply_event_actions(d, ch, motion_fields(&rec, batch));
  if (saved.ptz_written || std::memcmp(&before, &rec, sizeof rec) != 0)
    saved.ok &= write_motion(ZRDB_PATH, &rec, ch) == 0;
  return saved.ok;
}

void on_set_move_action(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!take_request_id(req.get(), "chnid", NVR_CHANNELS, &ch, CGI_KIND_JSON)) return;
  ZrdbTransaction txn(ZRDB_PATH);
  if (!finish_event_writes(txn, save_motion_dialog_data(req.get(), ch, false), CGI_KIND_TEXT)) return;
  notify_core_int(REQ_MOTION_CHANGED, ch);
  cgi_reply_ok();
}

void on_set_motion_batch(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!req) return;
  if (!json_id_in_range(req.get(), "chnid", 0, NVR_CHANNELS - 1, &ch)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  json_object* q = req.get();
  const int sensitivity = json_get_int(q, "sensitivity");
  const int enable_ms = json_get_int(q, "enableMS");
  const uint64_t mask = event_copy_mask(q, ch, NVR_CHANNELS);

  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  // The dialog names its channel; one outside 0..63 skips the dialog.
  json_object* dialog = json_member(q, "dialog", json_type_object);
  int dialog_ch = -1;
  if (dialog && json_id_in_range(dialog, "chnid", 0, NVR_CHANNELS - 1, &dialog_ch))
    ok &= save_motion_dialog_data(dialog, dialog_ch, true);
  else
    dialog_ch = -1;

  MotionAreaCopy area;
  std::memset(&area, 0, sizeof area);
  copy_field(area.map, member_text(q, "motionTable"));
  area.sensitivity = sensitivity;
  area.channel = ch;
  area.enable_ms = enable_ms;
  MotionFullTime ft;
  std::memset(&ft, 0, sizeof ft);
  ft.channel = ch;
  ft.enable_ms = enable_ms == 1 ? 1 : 0;
  for (int i = 0; i < NVR_CHANNELS; ++i) {
    if (!(mask & (1ULL << i))) continue;
    area.list[area.count++] = i;
    ft.list[ft.count++] = i;
  }

  if (mask) {
    // The source record with this request's sensitivity and full-time flag,
    // each copy naming its own channel.
    MotionRecord src = load_motion(ch);
    src.sensitivity = sensitivity;
    src.enable_ms = enable_ms;
    for (int i = 0; i < NVR_CHANNELS; ++i) {
      if (!(mask & (1ULL << i))) continue;
      MotionRecord copy = src;
      copy.channel = i;
      ok &= write_motion(ZRDB_PATH, &copy, i) == 0;
    }
    ok &= copy_event_tables(motion_tables(true), ch, mask);
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  if (dialog_ch >= 0) notify_core_int(REQ_MOTION_CHANGED, dialog_ch);
  log_operation_copy(LOG_SUB_EVENT, LOG_PARAM_MOTION, 0, mask);
  notify_core(REQ_MOTION_AREA_COPY, &area, sizeof area);
  uint64_t m = mask;
  notify_core(REQ_MOTION_COPIED, &m, sizeof m);
  notify_core(REQ_MOTION_FULL_TIME, &ft, sizeof ft);
  if (enable_ms == 1) {
    FullTimeSchedule s = full_time_schedule(0);
    notify_core(REQ_FULL_TIME_SCHEDULE_COPY, &s, sizeof s);
  }
  cgi_reply_ok();
}

void on_set_motion_with_schedule(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!req || !json_id_in_range(req.get(), "camId", 0, NVR_CHANNELS - 1, &ch)) return;
  json_object* q = req.get();
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  MotionRecord rec = load_motion(ch);
  json_take_int(q, "sensitivity", &rec.sensitivity);
  json_take_int(q, "enableMS", &rec.enable_ms);
  json_take_int(q, "enable", &rec.enable);
  json_take_int(q, "triAlarms", &rec.tri_alarms);
  json_take_int(q, "interval", &rec.interval);
  ok &= write_motion(ZRDB_PATH, &rec, ch) == 0;
  std::unique_ptr<ScheduleRecord> s(new ScheduleRecord);
  if (json_member(q, "schedule", json_type_array) && get_schedule_by_json(q, "schedule", s.get()) == 0)
    ok &= write_event_schedule(MOTION_AUDIBLE_SCHEDULE, ch, *s);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  notify_core_int(REQ_MOTION_CHANGED, ch);
  notify_core_int(REQ_MOTION_CHANGED, ch);
  notify_full_time(ch, rec.enable_ms);
  cgi_reply_ok();
}

void on_set_motion_triggers(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!req || !json_id_in_range(req.get(), "camId", 0, NVR_CHANNELS - 1, &ch)) return;
  json_object* q = req.get();
  ZrdbTransaction txn(ZRDB_PATH);
  MotionRecord rec = load_motion(ch);
  json_take_int(q, "sensitivity", &rec.sensitivity);
  if (json_has(q, "triChannels")) set_tri_channels(&rec, member_text(q, "triChannels"));
  json_take_int(q, "triAlarms", &rec.tri_alarms);
  json_take_int(q, "interval", &rec.interval);
  json_take_int(q, "enableMS", &rec.enable_ms);
  if (!finish_event_writes(txn, write_motion(ZRDB_PATH, &rec, ch) == 0, CGI_KIND_TEXT)) return;

  notify_core_int(REQ_MOTION_CHANGED, ch);
  log_operation(LOG_SUB_EVENT, LOG_PARAM_MOTION, ch + 1);
  cgi_reply_ok();
}

// Channel of the small setters: "camId" 0..63, else the text error reply.
bool take_cam_id(json_object* req, int* ch) {
  if (json_id_in_range(req, "camId", 0, NVR_CHANNELS - 1, ch)) return true;
  cgi_error_to_webserver(CGI_KIND_TEXT);
  return false;
}

void on_set_move_email_sche(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!req || !take_cam_id(req.get(), &ch)) return;
  json_object* q = req.get();
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  MotionRecord rec = load_motion(ch);
  const MotionRecord before = rec;
  json_take_int(q, "enable", &rec.email_enable);
  json_take_int(q, "interval", &rec.email_interval);
  if (std::memcmp(&before, &rec, sizeof rec) != 0) ok &= write_motion(ZRDB_PATH, &rec, ch) == 0;
  std::unique_ptr<ScheduleRecord> s(new ScheduleRecord);
  if (json_member(q, "schedule", json_type_array) && get_schedule_by_json(q, "schedule", s.get()) == 0)
    ok &= write_event_schedule(MOTION_EMAIL_SCHEDULE, ch, *s);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  notify_core_int(REQ_MOTION_CHANGED, ch);
  cgi_reply_ok();
}

void on_set_move_others(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!req || !take_cam_id(req.get(), &ch)) return;
  json_object* q = req.get();
  ZrdbTransaction txn(ZRDB_PATH);
  MotionRecord rec = load_motion(ch);
  const MotionRecord before = rec;
  const int type = json_get_int(q, "type");
  if (type == 1 && json_has(q, "triChannels")) set_tri_channels(&rec, member_text(q, "triChannels"));
  if (type == 2) json_take_int(q, "triAlarms", &rec.tri_alarms);
  bool ok = std::memcmp(&before, &rec, sizeof rec) == 0 || write_motion(ZRDB_PATH, &rec, ch) == 0;
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  notify_core_int(REQ_MOTION_CHANGED, ch);
  log_operation(LOG_SUB_EVENT, LOG_PARAM_MOTION, ch + 1);
  cgi_reply_ok();
}

// "/6013", "/6152", "/6159": one schedule of "camId".
void set_motion_schedule(char* text, const char* table) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!req || !take_cam_id(req.get(), &ch)) return;
  std::unique_ptr<ScheduleRecord> s(new ScheduleRecord);
  if (!json_member(req.get(), "schedule", json_type_array) ||
      get_schedule_by_json(req.get(), "schedule", s.get()) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  if (!finish_event_writes(txn, write_event_schedule(table, ch, *s), CGI_KIND_TEXT)) return;
  notify_core_int(REQ_MOTION_CHANGED, ch);
  cgi_reply_ok();
}

void OnSetMotionSchedule(char* text) { set_motion_schedule(text, MOTION_AUDIBLE_SCHEDULE); }
void on_set_move_effective_sche(char* text) { set_motion_schedule(text, MOTION_EFFECTIVE_SCHEDULE); }
void on_set_move_ptz_sche(char* text) { set_motion_schedule(text, MOTION_PTZ_SCHEDULE); }

void on_get_motion_map(char* text) {
  JsonPtr req(parse_request_object(text));
  if (!req) return;
  int ch = 0;
  if (!json_id_in_range(req.get(), "id", 0, NVR_CHANNELS - 1, &ch)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  int32_t query = ch;
  cgi_ipc_exchange(on_video_ipc_callback, REQ_MOTION_MAP, &query, sizeof query, CGI_KIND_TEXT);
}

// ---- Alarm-input trigger copy -------------------------------------------------------

void on_set_alarm_others(char* text) {
  JsonPtr req(parse_request_object(text));
  if (!req) return;
  json_object* q = req.get();
  int src = 0;
  if (!json_id_in_range(q, "camId", 0, NVR_ALARM_INPUTS - 1, &src)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  const int type = json_get_int(q, "type");
  const int cnt = json_get_int(q, "cnt");
  json_object* targets = json_array_member(q, "chnid");
  const int listed = static_cast<int>(json_array_size(targets));
  uint64_t mask = 0;
  for (int i = 0; i < cnt && i < listed; ++i) {
    json_object* v = json_array_at(targets, i);
    if (!json_object_is_type(v, json_type_int)) continue;
    int id = json_object_get_int(v);
    if (id >= 0 && id < NVR_ALARM_INPUTS && id != src) mask |= 1ULL << id;
  }

  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  // The source's stored triggers, or the ones the page sends with it.
  AlarmInRecord source;
  std::memset(&source, 0, sizeof source);
  read_alarm_in(ZRDB_PATH, &source, src);
  if (json_has(q, "triChannels"))
    set_text_field({source.tri_channels, sizeof source.tri_channels, 64}, member_text(q, "triChannels"));
  json_take_int(q, "triAlarms", &source.tri_alarms);
  for (int id = 0; id < NVR_ALARM_INPUTS; ++id) {
    if (!(mask & (1ULL << id))) continue;
    AlarmInRecord r;
    std::memset(&r, 0, sizeof r);
    read_alarm_in(ZRDB_PATH, &r, id);
    r.id = id;
    if (type == 0) {
      set_text_field({r.tri_channels, sizeof r.tri_channels, 64}, field_view(source.tri_channels));
      r.chn_mask = chn_text_mask32(r.tri_channels, sizeof r.tri_channels);
    } else {
      r.tri_alarms = source.tri_alarms;
    }
    ok &= write_alarm_in(ZRDB_PATH, &r, id) == 0;
  }
  if (mask)
    ok &= zrdb_copy_record(ZRDB_PATH, ALARMIN_EFFECTIVE_SCHEDULE, src, mask, sizeof(ScheduleRecord)) == 0;
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  notify_core(REQ_ALARM_IN_COPIED, &mask, sizeof mask);
  log_operation_copy(LOG_SUB_EVENT, LOG_PARAM_MOTION, 0, mask);
  cgi_reply_ok();
}

// ---- PTZ action rows of every event kind ---------------------------------------------

// Rows of (type, owner): the people-counting table for type 20 (8 rows),
// else the event table (64 rows).
struct PtzRows {
  int type;
  int owner;
  int capacity;
  PtzActionTable table;
};

bool load_ptz_rows(int type, int owner, PtzRows* rows) {
  std::memset(rows, 0, sizeof *rows);
  rows->type = type;
  rows->owner = owner;
  if (type == PTZ_TYPE_PEOPLE_CNT) {
    rows->capacity = PCNT_PTZ_ROWS;
    PeopleCntPtzTable p;
    std::memset(&p, 0, sizeof p);
    if (read_peoplecnt_ptz_params(ZRDB_PATH, owner, &p) != 0) return false;
    std::memcpy(rows->table.rows, p.rows, sizeof p.rows);
    return true;
  }
  rows->capacity = PTZ_ACTION_ROWS;
  return read_ptz_params(ZRDB_PATH, type, owner, &rows->table) == 0;
}

bool store_ptz_rows(const PtzRows& rows) {
  if (rows.type == PTZ_TYPE_PEOPLE_CNT)
    return write_peoplecnt_ptz_params_ex(ZRDB_PATH, rows.owner, &rows.table) == 0;
  return write_ptz_params_all(ZRDB_PATH, rows.type, rows.owner, &rows.table) == 0;
}

// "type" and "chn_id" of the PTZ action requests, in range; else the text
// error reply.
bool take_ptz_owner(json_object* req, int* type, int* owner) {
  if (req && json_id_in_range(req, "type", 0, PTZ_TYPE_MAX, type) &&
      json_id_in_range(req, "chn_id", 0, NVR_CHANNELS - 1, owner) &&
      (*type != PTZ_TYPE_PEOPLE_CNT || *owner < PCNT_PTZ_ROWS))
    return true;
  cgi_error_to_webserver(CGI_KIND_TEXT);
  return false;
}

PtzActionRow ptz_row_of(json_object* req, int owner) {
  PtzActionRow row;
  std::memset(&row, 0, sizeof row);
  row.owner_id = owner;
  row.ptz_channel = json_get_int(req, "acto_ptz_channel");
  row.ptz_type = json_get_int(req, "acto_ptz_type");
  if (row.ptz_type == 1) row.preset = json_get_int(req, "acto_ptz_preset");
  if (row.ptz_type == 2) row.patrol = json_get_int(req, "acto_ptz_patrol");
  if (row.ptz_type == 3) row.pattern = json_get_int(req, "acto_ptz_pattern");
  return row;
}

// Puts the row in place of the row of PTZ channel `replace` (or of its own
// channel), else into the first empty row. False when the table is full.
bool put_ptz_row(PtzRows* rows, const PtzActionRow& row, int replace) {
  int free_slot = -1;
  for (int i = 0; i < rows->capacity; ++i) {
    PtzActionRow& r = rows->table.rows[i];
    if (r.ptz_channel > 0 && (r.ptz_channel == replace || r.ptz_channel == row.ptz_channel)) {
      r = row;
      return true;
    }
    if (r.ptz_channel <= 0 && free_slot < 0) free_slot = i;
  }
  if (free_slot < 0) return false;
  rows->table.rows[free_slot] = row;
  return true;
}

void remove_ptz_rows(PtzRows* rows, int ptz_channel) {
  for (int i = 0; i < rows->capacity; ++i)
    if (rows->table.rows[i].ptz_channel == ptz_channel) std::memset(&rows->table.rows[i], 0, sizeof(PtzActionRow));
}

void on_set_ptz_params(char* text) {
  JsonPtr req(parse_request_object(text));
  int type = 0, owner = 0;
  if (!take_ptz_owner(req.get(), &type, &owner)) return;
  ZrdbTransaction txn(ZRDB_PATH);
  PtzRows rows;
  bool ok = load_ptz_rows(type, owner, &rows) && put_ptz_row(&rows, ptz_row_of(req.get(), owner), -1) &&
            store_ptz_rows(rows);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  cgi_reply_ok();
}

void on_update_ptz_params(char* text) {
  JsonPtr req(parse_request_object(text));
  int type = 0, owner = 0;
  if (!take_ptz_owner(req.get(), &type, &owner)) return;
  int old_channel = -1;
  json_take_int(req.get(), "old_chn_id", &old_channel);
  ZrdbTransaction txn(ZRDB_PATH);
  PtzRows rows;
  bool ok = load_ptz_rows(type, owner, &rows) &&
            put_ptz_row(&rows, ptz_row_of(req.get(), owner), old_channel) && store_ptz_rows(rows);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  cgi_reply_ok();
}

void on_get_ptz_params(char* text) {
  JsonPtr req(parse_request_object(text));
  int type = 0, owner = 0;
  if (!take_ptz_owner(req.get(), &type, &owner)) return;
  JsonPtr out(json_object_new_object());
  json_add(out.get(), "ptzInfo", get_ptz_params_json_object(type, owner));
  cgi_write_json(out.get());
}

void on_delete_ptz_params(char* text) {
  JsonPtr req(parse_request_object(text));
  int type = 0, owner = 0, channel = 0;
  if (!take_ptz_owner(req.get(), &type, &owner)) return;
  if (!json_id_in_range(req.get(), "acto_ptz_channel", 0, INT32_MAX, &channel)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  PtzRows rows;
  bool ok = load_ptz_rows(type, owner, &rows);
  if (ok) {
    remove_ptz_rows(&rows, channel);
    ok = store_ptz_rows(rows);
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  cgi_reply_ok();
}

void on_delete_ptz_params_batch(char* text) {
  JsonPtr req(parse_request_object(text));
  int type = 0, owner = 0;
  if (!take_ptz_owner(req.get(), &type, &owner)) return;
  json_object* list = json_array_member(req.get(), "ptzChannel");
  ZrdbTransaction txn(ZRDB_PATH);
  PtzRows rows;
  bool ok = load_ptz_rows(type, owner, &rows);
  if (ok) {
    for (size_t i = 0; i < json_array_size(list); ++i) {
      json_object* v = json_array_at(list, i);
      if (json_object_is_type(v, json_type_int)) remove_ptz_rows(&rows, json_object_get_int(v));
    }
    ok = store_ptz_rows(rows);
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  cgi_reply_ok();
}

// ---- Reply table of the event pages ---------------------------------------------------

using ReplyWriter = void (*)(int count, const void* payload);

struct VideoReplyRow {
  int type;
  size_t rec_size;
  ReplyWriter writer;  // null: the page that sends this request is not built
};

// Every reply the event pages wait for, with its record size.
const VideoReplyRow kVideoReplies[] = {
    {6207, 228, nullptr},   {6208, 4, on_status_text_cb},  {6209, 628, nullptr},
    {6210, 4, on_status_text_cb},  {6211, 356, nullptr},    {6212, 4, on_status_text_cb},
    {6215, 12, nullptr},    {6220, 26912, nullptr},        {6221, 4, on_status_res_cb},
    {7502, 2832, nullptr},  {7503, 4, nullptr},            {8206, sizeof(MotionMapRecord), on_get_motion_map_cb},
    {8210, 4, nullptr},     {8211, 848, nullptr},          {8213, 92, nullptr},
    {8215, 112, nullptr},   {8231, 4, on_status_text_cb},  {8232, 20, nullptr},
    {8237, 4480, nullptr},  {8238, 4480, nullptr},         {8239, 4480, nullptr},
    {8240, 4480, nullptr},  {8241, 612, nullptr},          {8242, 4480, nullptr},
    {8243, 4480, nullptr},  {8244, 4, on_status_text_cb},  {8245, 4, on_status_text_cb},
    {8246, 4, on_status_text_cb},  {8247, 4, on_status_text_cb},  {8248, 4, on_status_text_cb},
    {8249, 4, on_status_text_cb},  {8250, 4, on_status_text_cb},  {8253, 26536, nullptr},
    {8254, 4, on_status_text_cb},  {8257, 44, nullptr},    {8258, 4, on_status_text_cb},
    {8259, 64, nullptr},    {8260, 4, on_status_text_cb},  {8261, 4, on_status_text_cb},
    {8268, 4468, nullptr},  {8269, 4, on_status_text_cb},  {8289, 5496, nullptr},
    {8290, 4, on_status_text_cb},  {8293, 12, nullptr},    {8353, 4, on_status_res_cb},
    {8373, 20, nullptr},    {8374, 4, on_status_res_cb},
};

}  // namespace

void on_video_ipc_callback(void*, void* header, void* payload) {
  if (!header || !payload || cgi_reply_length(header) == 0) return;
  const int type = cgi_reply_type(header);
  for (const VideoReplyRow& row : kVideoReplies) {
    if (row.type != type) continue;
    if (row.writer) row.writer(cgi_reply_count(header, row.rec_size), payload);
    return;
  }
}

namespace {
const WebRes kVideoTable[] = {
    {"/6010", on_get_movedetect_info},
    {"/6011", OnGetMotionSchedule},
    {"/6012", on_set_movedetect_info},
    {"/6013", OnSetMotionSchedule},
    {"/6098", on_get_motion_map},
    {"/6112", on_set_motion_batch},
    {"/6113", on_set_motion_with_schedule},
    {"/6114", on_set_motion_triggers},
    {"/6117", on_set_move_action},
    {"/6118", on_set_move_email_sche},
    {"/6119", on_set_move_others},
    {"/6120", on_get_move_email_sche},
    {"/6127", on_set_alarm_others},
    {"/6152", on_set_move_effective_sche},
    {"/6153", on_get_move_effective_sche},
    {"/6158", on_get_move_ptz_sche},
    {"/6159", on_set_move_ptz_sche},
    {"/6160", on_set_ptz_params},
    {"/6161", on_get_ptz_params},
    {"/6162", on_delete_ptz_params},
    {"/6163", on_update_ptz_params},
    {"/6164", on_delete_ptz_params_batch},
};
}  // namespace

NVR_DEFINE_MODULE(video, kVideoTable)
