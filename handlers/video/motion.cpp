// Motion detection: settings, schedules, area, live map and copies.
// Serves "/6010", "/6011", "/6012", "/6013", "/6098", "/6112", "/6113", "/6114", "/6117", "/6118", "/6119", "/6120", "/6152", "/6153", "/6158", "/6159".
#include "handlers/video/video.h"

namespace video {

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
         json_id_in_range(req, "sensitivity", 0, INT32_MAX, &v) &&
         json_text_member(req, "triChannels", nullptr) == JSON_TEXT_OK &&
         json_id_in_range(req, "triAlarms", 0, INT32_MAX, &v) &&
         json_id_in_range(req, "interval", 0, INT32_MAX, &v) &&
         json_text_member(req, "motionTable", nullptr) == JSON_TEXT_OK &&
         json_strict_int(req, "enableMS", &v);
}

void on_set_movedetect_info(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!check_movedetect_info(req.get(), &ch)) return;
  json_object* q = req.get();

  // Only the keys of this page change; e-mail, trigger, interval and audio
  // settings of the action dialog stay as stored.
  ZrdbTransaction txn(ZRDB_PATH);
  bool read_ok = true;
  MotionRecord rec = load_motion(ch, &read_ok);
  // Each read strictly by the check above.
  json_strict_int(q, "enable", &rec.enable);
  json_strict_int(q, "sensitivity", &rec.sensitivity);
  json_strict_int(q, "triAlarms", &rec.tri_alarms);
  json_strict_int(q, "interval", &rec.interval);
  json_strict_int(q, "enableMS", &rec.enable_ms);
  const char* table = member_text(q, "motionTable");
  set_text_field({rec.motion_table, sizeof rec.motion_table, sizeof rec.motion_table - 1}, table);
  set_tri_channels(&rec, member_text(q, "triChannels"));
  if (!finish_event_writes(txn, read_ok && write_motion(ZRDB_PATH, &rec, ch) == 0, CGI_KIND_TEXT)) return;

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
  MotionRecord rec = load_motion(ch, &saved.ok);
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
  if (!event_dialog_readable(req.get())) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
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
  RequestInts n;
  const int sensitivity = n.plain(q, "sensitivity");
  const int enable_ms = n.plain(q, "enableMS");
  if (!n.ok || !json_texts_readable(q, {"motionTable"}) ||
      !event_dialog_readable(json_member(q, "dialog", json_type_object))) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
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
    MotionRecord src = load_motion(ch, &ok);
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
  MotionRecord rec = load_motion(ch, &ok);
  RequestInts n;
  n.keep(q, "sensitivity", &rec.sensitivity);
  n.keep(q, "enableMS", &rec.enable_ms);
  n.keep(q, "enable", &rec.enable);
  n.keep(q, "triAlarms", &rec.tri_alarms);
  n.keep(q, "interval", &rec.interval);
  // As for a request without a channel: no answer.
  if (!n.ok || !event_schedule_readable(q, "schedule")) return;
  ok = ok && write_motion(ZRDB_PATH, &rec, ch) == 0;
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
  bool read_ok = true;
  MotionRecord rec = load_motion(ch, &read_ok);
  RequestInts n;
  n.keep(q, "sensitivity", &rec.sensitivity);
  if (json_has(q, "triChannels")) set_tri_channels(&rec, member_text(q, "triChannels"));
  n.keep(q, "triAlarms", &rec.tri_alarms);
  n.keep(q, "interval", &rec.interval);
  n.keep(q, "enableMS", &rec.enable_ms);
  if (!n.ok || !json_texts_readable(q, {"triChannels"})) return;  // as for a request without a channel: no answer
  if (!finish_event_writes(txn, read_ok && write_motion(ZRDB_PATH, &rec, ch) == 0, CGI_KIND_TEXT)) return;

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
  MotionRecord rec = load_motion(ch, &ok);
  const MotionRecord before = rec;
  RequestInts n;
  n.keep(q, "enable", &rec.email_enable);
  n.keep(q, "interval", &rec.email_interval);
  if (!n.ok || !event_schedule_readable(q, "schedule")) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
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
  bool read_ok = true;
  MotionRecord rec = load_motion(ch, &read_ok);
  const MotionRecord before = rec;
  RequestInts n;
  const int type = n.plain(q, "type");
  if (type == 1 && json_has(q, "triChannels")) set_tri_channels(&rec, member_text(q, "triChannels"));
  if (type == 2) n.keep(q, "triAlarms", &rec.tri_alarms);
  if (!n.ok || !json_texts_readable(q, {"triChannels"})) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  bool ok = read_ok && (std::memcmp(&before, &rec, sizeof rec) == 0 || write_motion(ZRDB_PATH, &rec, ch) == 0);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  notify_core_int(REQ_MOTION_CHANGED, ch);
  log_operation(LOG_SUB_EVENT, LOG_PARAM_MOTION, ch + 1);
  cgi_reply_ok();
}

// "/6013", "/6152", "/6159": one schedule of "camId". Without "schedule"
// nothing is written, but the core is still told and the page gets "OK";
// a "schedule" that is not a week array is refused.
void set_motion_schedule(char* text, const char* table) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!req || !take_cam_id(req.get(), &ch)) return;
  std::unique_ptr<ScheduleRecord> s;
  if (json_has(req.get(), "schedule")) {
    s.reset(new ScheduleRecord);
    if (!json_member(req.get(), "schedule", json_type_array) || !event_schedule_readable(req.get(), "schedule") ||
        get_schedule_by_json(req.get(), "schedule", s.get()) != 0) {
      cgi_error_to_webserver(CGI_KIND_TEXT);
      return;
    }
  }
  if (s) {
    ZrdbTransaction txn(ZRDB_PATH);
    if (!finish_event_writes(txn, write_event_schedule(table, ch, *s), CGI_KIND_TEXT)) return;
  }
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

}  // namespace video
