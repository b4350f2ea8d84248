// Video loss: basics, schedules, the action dialog with its copies and the
// list setters.
// Serves "/6014", "/6015", "/6016", "/6017", "/6094", "/6095", "/6121", "/6122", "/6123", "/6124", "/6165", "/6166".
#include "core/table_columns.h"
#include "handlers/video/video.h"

namespace video {

// ---- Helpers of the event list pages --------------------------------------------------

bool take_kept_int(json_object* q, const char* key, int32_t* field) {
  int32_t v = 0;
  const JsonIntState st = json_int_member(q, key, &v);
  if (st == JSON_INT_OK) *field = v;
  return st != JSON_INT_BAD;
}

bool bare_channel(const char* text, int* ch) {
  int v = 0;
  if (!text || !parse_int_strict(text, &v) || v < 0 || v >= NVR_CHANNELS) return false;
  *ch = v;
  return true;
}

void answer_bare_schedule(const char* text, const char* table) {
  int ch = 0;
  if (!bare_channel(text, &ch)) return;
  JsonPtr out(event_schedule_json(table, ch));
  cgi_write_json(out.get());
}

bool take_list_targets(json_object* q, int limit, RequestChannels* out) {
  int32_t cnt = 0;
  if (!json_plain_int(q, "cnt", &cnt)) return false;
  *out = take_request_channels(q, "chnid", cnt, limit);
  return true;
}

std::unique_ptr<ScheduleRecord> request_schedule(json_object* q) {
  std::unique_ptr<ScheduleRecord> s(new ScheduleRecord);
  std::memset(s.get(), 0, sizeof *s);
  if (!json_member(q, "schedule", json_type_array) || !event_schedule_readable(q, "schedule") ||
      get_schedule_by_json(q, "schedule", s.get()) != 0)
    return nullptr;
  return s;
}

bool write_schedule_to(const char* table, const ScheduleRecord* s, uint64_t mask) {
  if (!s) return true;
  bool ok = true;
  for (int ch = 0; ch < NVR_CHANNELS; ++ch)
    if (mask & (1ULL << ch)) ok &= write_event_schedule(table, ch, *s);
  return ok;
}

bool copy_ptz_rows_to(int ptz_type, int src, const RequestChannels& targets) {
  PtzActionTable rows;
  std::memset(&rows, 0, sizeof rows);
  if (read_ptz_params(ZRDB_PATH, ptz_type, src, &rows) != 0) return false;
  bool ok = true;
  for (int i = 0; i < targets.n; ++i) {
    const int target = targets.channels[i];
    PtzActionTable copy = rows;
    for (PtzActionRow& row : copy.rows)
      if (row.ptz_channel > 0) row.owner_id = target;
    if (target != src) ok &= write_ptz_params_all(ZRDB_PATH, ptz_type, target, &copy) == 0;
  }
  return ok;
}

namespace {

constexpr int REQ_VIDEOLOSS_CHANGED = 1402;
constexpr int REQ_VIDEOLOSS_MASK = 1414;
constexpr int LOG_PARAM_VIDEOLOSS = 908;
constexpr int LOG_PARAM_VIDEOLOSS_BATCH = 909;

EventTables videoloss_tables() {
  EventTables t;
  t.audible = VIDEOLOSS_AUDIBLE_SCHEDULE;
  t.email = VIDEOLOSS_EMAIL_SCHEDULE;
  t.ptz = VIDEOLOSS_PTZ_SCHEDULE;
  t.white_sche = VIDEOLOSS_WHITELED_SCHEDULE;
  t.white_params = VIDEOLOSS_WHITE_LED_PARAMS;
  t.http_sche = VIDEOLOSS_HTTP_SCHEDULE;
  t.http_params = VIDEOLOSS_HTTP_PARAMS;
  t.ptz_type = PTZ_TYPE_VIDEOLOSS;
  return t;
}

EventActionFields videoloss_fields(VideoLossRecord* r) {
  EventActionFields f;
  f.tri_chn_alarms = r->tri_chn_alarms;
  f.enable = &r->enable;
  f.tri_alarms = &r->tri_alarms;
  f.interval = &r->interval;
  f.audio_id = &r->audio_id;
  f.email_interval = &r->email_interval;
  f.ptz_interval = &r->ptz_interval;
  f.alarmout_interval = &r->alarmout_interval;
  f.white_interval = &r->white_interval;
  f.http_notification_interval = &r->http_notification_interval;
  return f;
}

// The stored record of a channel (zeros when never written); a failed read
// clears *ok when given, so a setter writes nothing back.
VideoLossRecord load_video_lost(int ch, bool* ok = nullptr) {
  VideoLossRecord r;
  std::memset(&r, 0, sizeof r);
  if (read_video_lost(ZRDB_PATH, &r, ch) != 0 && ok) *ok = false;
  r.channel = ch;
  return r;
}

void fix_video_lost_channel(void* rec, int target) { static_cast<VideoLossRecord*>(rec)->channel = target; }

void notify_mask(int req, uint64_t mask) { notify_core(req, &mask, sizeof mask); }

}  // namespace

// ---- Basics and schedules of one channel ---------------------------------------------

void on_get_videolost_info(char* text) {
  int ch = 0;
  if (!bare_channel(text, &ch)) return;
  const VideoLossRecord r = load_video_lost(ch);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "camId", ch);
  json_add_int(out.get(), "enable", r.enable);
  json_add_int(out.get(), "triAlarms", r.tri_alarms);
  json_add_int(out.get(), "interval", r.interval);
  cgi_write_json(out.get());
}

void on_get_videolost_schedule(char* text) { answer_bare_schedule(text, VIDEOLOSS_AUDIBLE_SCHEDULE); }
void on_get_videolost_email_sche(char* text) { answer_bare_schedule(text, VIDEOLOSS_EMAIL_SCHEDULE); }
void on_get_videoloss_ptz_sche(char* text) { answer_bare_schedule(text, VIDEOLOSS_PTZ_SCHEDULE); }

// "camId" and "triAlarms" are required; "enable" and "interval" may be left
// out (the stored value stays), but a present one must be in range.
bool check_videolost_info(json_object* q, int* ch) {
  int32_t v = 0;
  if (!q || !json_strict_int_in(q, "camId", 0, NVR_CHANNELS - 1, ch) ||
      !json_strict_int_in(q, "triAlarms", 0, INT32_MAX, &v))
    return false;
  if (json_has(q, "enable") && !json_strict_int_in(q, "enable", 0, 2, &v)) return false;
  if (json_has(q, "interval") && !json_strict_int_in(q, "interval", 0, INT32_MAX, &v)) return false;
  return true;
}

void on_set_videolost_info(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!check_videolost_info(req.get(), &ch)) return;
  json_object* q = req.get();
  ZrdbTransaction txn(ZRDB_PATH);
  bool read_ok = true;
  VideoLossRecord rec = load_video_lost(ch, &read_ok);
  const VideoLossRecord before = rec;
  take_kept_int(q, "enable", &rec.enable);
  take_kept_int(q, "triAlarms", &rec.tri_alarms);
  take_kept_int(q, "interval", &rec.interval);
  const bool ok =
      read_ok && (std::memcmp(&before, &rec, sizeof rec) == 0 || write_video_lost(ZRDB_PATH, &rec, ch) == 0);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  notify_core_int(REQ_VIDEOLOSS_CHANGED, ch);
  log_operation(LOG_SUB_EVENT, LOG_PARAM_VIDEOLOSS, ch + 1);
  cgi_reply_ok();
}

void on_set_videolost_schedule(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  int ch = 0;
  int32_t enable = 0;
  if (!q || !json_strict_int_in(q, "camId", 0, NVR_CHANNELS - 1, &ch)) return;
  if (json_has(q, "enable") && !json_strict_int_in(q, "enable", 0, 2, &enable)) return;
  if (!event_schedule_readable(q, "schedule")) return;
  auto s = request_schedule(q);
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  if (s) ok &= write_event_schedule(VIDEOLOSS_AUDIBLE_SCHEDULE, ch, *s);
  VideoLossRecord rec = load_video_lost(ch, &ok);
  const VideoLossRecord before = rec;
  take_kept_int(q, "enable", &rec.enable);
  if (std::memcmp(&before, &rec, sizeof rec) != 0) ok &= write_video_lost(ZRDB_PATH, &rec, ch) == 0;
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  notify_core_int(REQ_VIDEOLOSS_CHANGED, ch);
  cgi_reply_ok();
}

// ---- The video-loss dialog --------------------------------------------------------------

void on_get_videoloss_info(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!req || !json_strict_int_in(req.get(), "chnid", 0, NVR_CHANNELS - 1, &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  const EventTables t = videoloss_tables();
  const VideoLossRecord r = load_video_lost(ch);
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_add_int(out, "chnid", ch);
  json_add_int(out, "enable", r.enable);
  json_add_int(out, "triAlarms", r.tri_alarms);
  json_add_int(out, "interval", r.interval);
  json_add_int(out, "email_interval", r.email_interval);
  json_add_int(out, "ptz_interval", r.ptz_interval);
  json_add_int(out, "alarmout_interval", r.alarmout_interval);
  json_add_int(out, "white_interval", r.white_interval);
  json_add_int(out, "http_notification_interval", r.http_notification_interval);
  json_add(out, "audible", event_schedule_json_ex(t.audible, ch));
  json_add(out, "email", event_schedule_json_ex(t.email, ch));
  json_add(out, "ptz", event_schedule_json_ex(t.ptz, ch));
  json_add(out, "triChnAlarms", get_event_chn_alarmout_object(r.tri_chn_alarms[0], r.tri_chn_alarms[1]));
  json_add(out, "white", event_schedule_json(t.white_sche, ch));
  json_add(out, "whiteInfo", event_white_json(t, ch));
  json_add(out, "httpSche", event_schedule_json(t.http_sche, ch));
  json_add(out, "httpParams", event_http_json(t, ch));
  json_add_int(out, "audioId", r.audio_id);
  json_add_int(out, "audioIdMask", get_audio_file_id_mask());
  json_add(out, "ptzParams", event_ptz_json(t, ch));
  cgi_write_json(out);
}

// The dialog's keys come in the "dialog" object, or beside a "dialog" flag.
bool save_videoloss_dialog(json_object* q, int ch) {
  json_object* d = json_member(q, "dialog", json_type_object);
  if (!d) d = q;
  const EventTables t = videoloss_tables();
  const EventSave saved = save_event_tables(d, ch, t);
  bool ok = saved.ok;
  VideoLossRecord rec = load_video_lost(ch, &ok);
  const VideoLossRecord before = rec;
  apply_event_actions(d, ch, videoloss_fields(&rec));
  if (saved.ptz_written || std::memcmp(&before, &rec, sizeof rec) != 0) {
    // A changed dialog switches the audible and e-mail actions to "by schedule".
    rec.enable = 2;
    rec.email_enable = 2;
    ok &= write_video_lost(ZRDB_PATH, &rec, ch) == 0;
  }
  return ok;
}

void on_set_videoloss_info(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  int ch = 0;
  if (!q || !json_strict_int_in(q, "chnid", 0, NVR_CHANNELS - 1, &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  json_object* d = json_member(q, "dialog", json_type_object);
  if (json_has(q, "dialog") && !event_dialog_readable(d ? d : q)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  if (json_has(q, "dialog")) ok &= save_videoloss_dialog(q, ch);
  uint64_t mask = json_member(q, "copyChn", json_type_array) ? event_copy_mask(q, ch, NVR_CHANNELS) : 0;
  if (mask) {
    // The stored source (just written when a dialog came) goes to each
    // target under the target's own channel.
    VideoLossRecord src;
    std::memset(&src, 0, sizeof src);
    const int got = zrdb_read_record(ZRDB_PATH, "video_loss", ch, &src, sizeof src);
    src.channel = ch;
    if (got < 0) ok = false;
    if (got == 1) ok &= write_video_lost(ZRDB_PATH, &src, ch) == 0;
    ok &= zrdb_copy_record_fix(ZRDB_PATH, "video_loss", ch, mask, sizeof src, fix_video_lost_channel) == 0;
    ok &= copy_event_tables(videoloss_tables(), ch, mask);
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  mask |= 1ULL << ch;
  notify_mask(REQ_VIDEOLOSS_MASK, mask);
  cgi_reply_ok();
}

// ---- List setters -------------------------------------------------------------------------

// "/6121" and "/6122": one schedule and a field pair for a list of channels.
void set_videolost_list_sche(char* text, bool email) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  RequestChannels targets;
  int32_t enable = 0, interval = 0;
  const bool has_enable = json_has(q, "enable"), has_interval = json_has(q, "interval");
  if (!q || !take_list_targets(q, NVR_CHANNELS, &targets) || !json_plain_int(q, "enable", &enable) ||
      !json_plain_int(q, "interval", &interval) || !event_schedule_readable(q, "schedule"))
    return;
  auto s = request_schedule(q);
  static VideoLossRecord recs[NVR_CHANNELS];
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  ok &= zrdb_read_record_range(ZRDB_PATH, "video_loss", 0, recs, sizeof recs[0], NVR_CHANNELS) == 0;
  for (int i = 0; ok && i < targets.n; ++i) {
    const int ch = targets.channels[i];
    VideoLossRecord& r = recs[ch];
    const VideoLossRecord before = r;
    r.channel = ch;
    int32_t* en = email ? &r.email_enable : &r.enable;
    int32_t* iv = email ? &r.email_interval : &r.interval;
    if (has_enable) *en = enable;
    if (has_interval) *iv = interval;
    if (std::memcmp(&before, &r, sizeof r) != 0) ok &= write_video_lost(ZRDB_PATH, &r, ch) == 0;
  }
  ok &= write_schedule_to(email ? VIDEOLOSS_EMAIL_SCHEDULE : VIDEOLOSS_AUDIBLE_SCHEDULE, s.get(), targets.mask);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  notify_mask(REQ_VIDEOLOSS_MASK, targets.mask);
  cgi_reply_ok();
}

void on_set_videolost_audible_sche(char* text) { set_videolost_list_sche(text, false); }
void on_set_videolost_email_sche(char* text) { set_videolost_list_sche(text, true); }

void on_set_videolost_others(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  RequestChannels targets;
  int32_t tri_alarms = 0;
  if (!q || !take_list_targets(q, NVR_CHANNELS, &targets) || !json_strict_int(q, "triAlarms", &tri_alarms))
    return;
  // The channels that change are found and written in one transaction.
  ZrdbTransaction txn(ZRDB_PATH);
  static VideoLossRecord recs[NVR_CHANNELS];
  bool ok = zrdb_read_record_range(ZRDB_PATH, "video_loss", 0, recs, sizeof recs[0], NVR_CHANNELS) == 0;
  uint64_t changed = 0;
  for (int i = 0; ok && i < targets.n; ++i)
    if (recs[targets.channels[i]].tri_alarms != tri_alarms) changed |= 1ULL << targets.channels[i];
  if (ok && changed)
    ok = copy_table_column_int(ZRDB_PATH, "video_loss", "tri_alarms", tri_alarms, changed, "id") == 0;
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  notify_mask(REQ_VIDEOLOSS_MASK, changed);
  log_operation_copy(LOG_SUB_EVENT, LOG_PARAM_VIDEOLOSS_BATCH, 0, targets.mask);
  cgi_reply_ok();
}

// "/6165", "/6167": the source's PTZ rows and one PTZ schedule for a list of
// channels or inputs.
void set_list_ptz_sche(char* text, int ptz_type, const char* table, int limit, int notify_req) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  if (!q) return;
  int src = 0;
  RequestChannels targets;
  if (!json_strict_int_in(q, "camId", 0, limit - 1, &src) || !take_list_targets(q, limit, &targets) ||
      !event_schedule_readable(q, "schedule")) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  auto s = request_schedule(q);
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  ok &= copy_ptz_rows_to(ptz_type, src, targets);
  ok &= write_schedule_to(table, s.get(), targets.mask);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  notify_mask(notify_req, targets.mask);
  cgi_reply_ok();
}

void on_set_videoloss_ptz_sche(char* text) {
  set_list_ptz_sche(text, PTZ_TYPE_VIDEOLOSS, VIDEOLOSS_PTZ_SCHEDULE, NVR_CHANNELS, REQ_VIDEOLOSS_MASK);
}

}  // namespace video
