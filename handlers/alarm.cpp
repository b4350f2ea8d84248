// Alarm inputs and outputs of the recorder and of its cameras: names, types,
// schedules and linked actions, copies to other inputs or channels, the
// live alarm state of a camera and manual switching of outputs.
// Request table whose first name is "/6020".
#include <cstdio>
#include <cstring>
#include <initializer_list>
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
#include "platform/zrdb.h"

// ---- Core daemon records --------------------------------------------------------

constexpr int REQ_ALARM_IN_CHANGED = 1404;
constexpr int REQ_ALARM_OUT_CHANGED = 1405;
constexpr int REQ_ALARM_OUT_MANUAL = 1409;
constexpr int REQ_ALARM_IN_COPIED = 1415;
constexpr int REQ_CAM_ALARM_IN_CHANGED = 1417;
constexpr int REQ_CAM_ALARM_OUT_CHANGED = 1418;
constexpr int REQ_CAM_ALARM_OUT_STATE = 3296;
constexpr int REQ_CAM_ALARM_IN_STATE = 3298;
constexpr int REQ_CAM_ALARM_OUT_SET = 3324;
constexpr int REQ_CAM_ALARM_IN_SET = 3325;
constexpr int REQ_CAM_ALARM_OUT_SWITCH = 3352;
constexpr int REPLY_CAM_ALARM_OUT_STATE = 8296;
constexpr int REPLY_CAM_ALARM_IN_STATE = 8298;

constexpr int64_t LOG_SUB_EVENT = 204;
constexpr int LOG_PARAM_ALARM_IN = 910;
constexpr int LOG_PARAM_ALARM_OUT = 911;

// Live state of a camera's alarm inputs (request 3298 and reply 8298).
struct CamAlarmInState {
  int32_t channel;
  int32_t alarm_enable[4];
  int32_t alarm_type[4];
  int32_t alarm_status[4];
  int32_t alarm_cnt;
};
static_assert(sizeof(CamAlarmInState) == 56, "camera input state is 56 bytes");
static_assert(offsetof(CamAlarmInState, alarm_cnt) == 52, "input count at 52");

// Live state of a camera's alarm outputs (reply 8296).
struct CamAlarmOutState {
  int32_t channel;
  int32_t alarm_type[2];
  int32_t alarm_status[2];
  int32_t alarm_cnt;
};
static_assert(sizeof(CamAlarmOutState) == 24, "camera output state is 24 bytes");

// Camera alarm input settings for the core (request 3325).
struct CamAlarmInSetEntry {
  int32_t zero;
  int32_t alarm_enable;
  int32_t index;
  int32_t alarm_type;
};
struct CamAlarmInSet {
  CamAlarmInSetEntry entry[4];
  int32_t alarm_cnt;
  int32_t zero;
  uint64_t chn_mask;
};
static_assert(sizeof(CamAlarmInSet) == 80, "camera input set is 80 bytes");
static_assert(offsetof(CamAlarmInSet, alarm_cnt) == 64, "input count at 64");
static_assert(offsetof(CamAlarmInSet, chn_mask) == 72, "channel mask at 72");

// Camera alarm output settings for the core (request 3324).
struct CamAlarmOutSetEntry {
  int32_t zero;
  int32_t index;
  int32_t alarm_type;
};
struct CamAlarmOutSet {
  CamAlarmOutSetEntry entry[2];
  int32_t alarm_cnt;
  int32_t zero;
  uint64_t chn_mask;
};
static_assert(sizeof(CamAlarmOutSet) == 40, "camera output set is 40 bytes");
static_assert(offsetof(CamAlarmOutSet, alarm_cnt) == 24, "output count at 24");
static_assert(offsetof(CamAlarmOutSet, chn_mask) == 32, "channel mask at 32");

// Manual switch of a camera alarm output (request 3352).
struct CamAlarmOutSwitch {
  int32_t chnid;
  int32_t alarm_id;
  int32_t state;
};
static_assert(sizeof(CamAlarmOutSwitch) == 12, "output switch is 12 bytes");

struct AlarmOutManual {
  int32_t id;
  int32_t enable;
};
static_assert(sizeof(AlarmOutManual) == 8, "manual output switch is 8 bytes");

void on_alarm_ipc_callback(void* ctx, void* header, void* payload);

namespace {

// ---- Tables and records by id ---------------------------------------------------

EventTables nvr_in_tables() {
  EventTables t;
  t.effective = ALARMIN_EFFECTIVE_SCHEDULE;
  t.audible = ALARMIN_AUDIBLE_SCHEDULE;
  t.email = ALARMIN_EMAIL_SCHEDULE;
  t.ptz = ALARMIN_PTZ_SCHEDULE;
  t.white_sche = "alarmin_whiteled_esche";
  t.white_params = "alarm_in_white_led_params";
  t.http_sche = "alarmin_http_notification_sche";
  t.http_params = "alarmin_http_notification_params";
  t.ptz_type = PTZ_TYPE_ALARM_IN;
  return t;
}

EventTables cam_in_tables(int index) {
  EventTables t;
  t.effective = cam_alarm_in_table(index, "effective_schedule");
  t.audible = cam_alarm_in_table(index, "audible_schedule");
  t.email = cam_alarm_in_table(index, "mail_schedule");
  t.ptz = cam_alarm_in_table(index, "ptz_schedule");
  t.white_sche = cam_alarm_in_table(index, "whiteled_esche");
  t.white_params = cam_alarm_in_table(index, "white_led_params");
  t.http_sche = cam_alarm_in_table(index, "http_notification_sche");
  t.http_params = cam_alarm_in_table(index, "http_notification_params");
  t.ptz_type = converse_chn_alarmid_to_event_in(index);
  return t;
}

template <typename T>
bool read_rec(const std::string& family, int id, T* rec) {
  std::memset(rec, 0, sizeof *rec);
  return zrdb_read_record(ZRDB_PATH, family.c_str(), id, rec, sizeof *rec) >= 0;
}
template <typename T>
bool write_rec(const std::string& family, int id, const T& rec) {
  return zrdb_write_record(ZRDB_PATH, family.c_str(), id, &rec, sizeof rec) == 0;
}

// The stored record of an input or output (zeros when never written). The
// setters pass *ok, which a failed read clears: the change is then rolled
// back and answered with the error, never written over zeros.
AlarmInRecord load_alarm_in(int id, bool* ok) {
  AlarmInRecord r;
  std::memset(&r, 0, sizeof r);
  if (read_alarm_in(ZRDB_PATH, &r, id) != 0 && ok) *ok = false;
  r.id = id;
  return r;
}
AlarmInRecord load_alarm_in(int id) { return load_alarm_in(id, nullptr); }

AlarmOutRecord load_alarm_out(int id, bool* ok) {
  AlarmOutRecord r;
  std::memset(&r, 0, sizeof r);
  if (read_alarm_out(ZRDB_PATH, &r, id) != 0 && ok) *ok = false;
  r.id = id;
  return r;
}
AlarmOutRecord load_alarm_out(int id) { return load_alarm_out(id, nullptr); }

// The JSON array of records 0..count-1, one object each.
template <typename Rec>
void write_record_list(int count, Rec (*load)(int), void (*add)(json_object*, const Rec&)) {
  JsonPtr list(json_object_new_array());
  for (int i = 0; i < count; ++i) {
    json_object* o = json_object_new_object();
    add(o, load(i));
    json_object_array_add(list.get(), o);
  }
  cgi_write_json(list.get());
}

EventActionFields nvr_in_fields(AlarmInRecord* r) {
  EventActionFields f = common_event_fields(r);
  f.enable_on_interval = &r->enable;
  f.email_flag = &r->email_flag;
  f.tri_snapshot = {r->tri_snapshot, sizeof r->tri_snapshot, 64};
  f.http_notification_interval = &r->http_notification_interval;
  return f;
}

EventActionFields cam_in_fields(CamAlarmInEvent* r) {
  EventActionFields f = common_event_fields(r);
  f.enable_on_interval = &r->enable;
  f.http_notification_interval = &r->http_notification_interval;
  return f;
}

json_object* text_array(const char (*texts)[65]) {
  return get_event_chn_alarmout_object(texts[0], texts[1]);
}

// The operation-log record of the older input page: cleared, without user
// and client address.
void log_operation_bare(int64_t sub_type, int param) {
  OperationLogInfo info;
  std::memset(&info, 0, sizeof info);
  info.main_type = 4;
  info.sub_type = sub_type;
  info.param = param;
  notify_core(REQ_OPERATION_LOG, &info, sizeof info);
}

// True when none of the first n "alarm" elements holds one of the keys
// (or its name) with a value the strict readers refuse, and none of the
// first n "dialog" elements holds a value the dialog helpers refuse.
bool alarm_elements_strict(json_object* req, int n, std::initializer_list<const char*> keys) {
  json_object* alarms = json_array_member(req, "alarm");
  json_object* dialogs = json_array_member(req, "dialog");
  for (int i = 0; i < n; ++i) {
    json_object* a = json_array_at(alarms, i);
    if (a && (!json_ints_readable(a, keys) || !json_texts_readable(a, {"alarmName"}))) return false;
    json_object* d = json_array_at(dialogs, i);
    if (d && (!json_ints_readable(d, {"alarmId"}) || !event_dialog_readable(d))) return false;
  }
  return true;
}

// Channel and "alarmCnt" (bounded to 0..max) of the camera alarm setters;
// false, with the JSON error reply, when either is missing or an "alarm"
// element holds one of the number keys with a refused value.
bool take_camera_alarm_count(json_object* req, int max, std::initializer_list<const char*> keys, int* ch, int* n) {
  int cnt = 0;
  if (!req || !json_id_in_range(req, "chnid", 0, NVR_CHANNELS - 1, ch) ||
      on_cgi_get_int_from_json(req, "alarmCnt", &cnt) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return false;
  }
  *n = cnt < 0 ? 0 : cnt > max ? max : cnt;
  if (!alarm_elements_strict(req, *n, keys)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return false;
  }
  return true;
}

// Requested channel of the waiting camera state requests, for the reply
// writers (the reply's own channel field is not trusted as a table key).
int g_query_channel = 0;

// ---- Reply writers ---------------------------------------------------------------

void on_get_camera_alarm_input_cb(int count, const void* payload) {
  if (count < 1 || !payload) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    g_callback_done = 1;
    return;
  }
  CamAlarmInState st;
  std::memcpy(&st, payload, sizeof st);
  const int ch = g_query_channel;
  int n = st.alarm_cnt < 0 ? 0 : st.alarm_cnt > CAM_ALARM_INPUTS ? CAM_ALARM_INPUTS : st.alarm_cnt;
  const int audio_mask = get_audio_file_id_mask();

  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "chnid", ch);
  json_add_int(out.get(), "alarmCnt", n);
  json_object* list = json_object_new_array();
  for (int i = 0; i < n; ++i) {
    const EventTables t = cam_in_tables(i);
    CamAlarmInEvent ev;
    read_rec(cam_alarm_in_table(i, "event"), ch, &ev);
    CamAlarmInName name;
    read_rec(cam_alarm_in_table(i, "name"), ch, &name);
    json_object* a = json_object_new_object();
    json_add_int(a, "alarmEnable", st.alarm_enable[i]);
    json_add_int(a, "alarmType", st.alarm_type[i]);
    json_add_int(a, "alarmStatus", st.alarm_status[i]);
    json_add_field(a, "alarmName", name.alarm_name);
    json_add(a, "effective", event_schedule_json(t.effective, ch));
    json_add(a, "audible", event_schedule_json(t.audible, ch));
    json_add_int(a, "interval", ev.interval);
    json_add_int(a, "audioId", ev.audio_id);
    json_add_int(a, "audioIdMask", audio_mask);
    json_add(a, "email", event_schedule_json(t.email, ch));
    json_add_int(a, "email_interval", ev.email_interval);
    json_add_int(a, "email_pic_enable", ev.email_pic_enable);
    json_add_field(a, "tri_channels_pic", ev.tri_channels_pic);
    json_add(a, "ptz", event_schedule_json(t.ptz, ch));
    json_add_int(a, "ptz_interval", ev.ptz_interval);
    json_add(a, "ptzParams", event_ptz_json(t, ch));
    json_add_int(a, "alarmout_interval", ev.alarmout_interval);
    json_add_int(a, "triAlarms", ev.tri_alarms);
    json_add_field(a, "triChannels", ev.tri_channels);
    json_add(a, "triChnAlarms", text_array(ev.tri_chn_alarms));
    json_add(a, "white", event_schedule_json(t.white_sche, ch));
    json_add(a, "whiteInfo", event_white_json(t, ch));
    json_add_int(a, "white_interval", ev.white_interval);
    json_add_int(a, "http_notification_interval", ev.http_notification_interval);
    json_add(a, "httpSche", event_schedule_json(t.http_sche, ch));
    json_add(a, "httpParams", event_http_json(t, ch));
    json_object_array_add(list, a);
  }
  json_add(out.get(), "alarm", list);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

void on_get_camera_alarm_output_cb(int count, const void* payload) {
  if (count < 1 || !payload) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    g_callback_done = 1;
    return;
  }
  CamAlarmOutState st;
  std::memcpy(&st, payload, sizeof st);
  const int ch = g_query_channel;
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "chnid", ch);
  json_add_int(out.get(), "alarmCnt", st.alarm_cnt < 0 ? 0 : st.alarm_cnt > CAM_ALARM_OUTPUTS ? CAM_ALARM_OUTPUTS : st.alarm_cnt);
  json_object* list = json_object_new_array();
  for (int i = 0; i < CAM_ALARM_OUTPUTS; ++i) {
    CamAlarmOutName name;
    read_rec(cam_alarm_out_table(i, "name"), ch, &name);
    json_object* a = json_object_new_object();
    json_add_int(a, "alarmType", st.alarm_type[i]);
    json_add_int(a, "alarmStatus", st.alarm_status[i]);
    json_add_field(a, "alarmName", name.alarm_name);
    json_add_int(a, "delayTime", name.delay_time);
    json_add(a, "effective", event_schedule_json(cam_alarm_out_table(i, "effective_schedule"), ch));
    json_object_array_add(list, a);
  }
  json_add(out.get(), "alarm", list);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

// ---- Recorder alarm outputs -------------------------------------------------------

void add_alarm_out_fields(json_object* o, const AlarmOutRecord& r) {
  json_add_int(o, "id", r.id);
  json_add_field(o, "name", r.name);
  json_add_int(o, "type", r.type);
  json_add_int(o, "enable", r.enable);
  json_add_int(o, "durationTime", r.duration_time);
}

void on_get_alarm_outputs(char*) { write_record_list(NVR_ALARM_OUTPUTS, load_alarm_out, add_alarm_out_fields); }

void on_get_alarm_output(char* text) {
  JsonPtr req(parse_request_object(text));
  int id = 0;
  if (!take_request_id(req.get(), "alarmId", NVR_ALARM_OUTPUTS, &id, CGI_KIND_JSON)) return;
  JsonPtr out(json_object_new_object());
  add_alarm_out_fields(out.get(), load_alarm_out(id));
  json_add(out.get(), "effective", event_schedule_json_ex(ALARM_OUT_SCHEDULE, id));
  cgi_write_json(out.get());
}

void on_set_alarm_output(char* text) {
  JsonPtr req(parse_request_object(text));
  int id = 0;
  if (!take_request_id(req.get(), "alarmId", NVR_ALARM_OUTPUTS, &id, CGI_KIND_TEXT)) return;
  if (!json_ints_readable(req.get(), {"enable", "type", "durationTime"}) ||
      !json_texts_readable(req.get(), {"name"}) ||
      !event_dialog_readable(json_member(req.get(), "dialog", json_type_object))) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  const uint64_t copy_mask = event_copy_mask(req.get(), id, NVR_ALARM_OUTPUTS);
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  json_object* dialog = json_member(req.get(), "dialog", json_type_object);
  std::unique_ptr<ScheduleRecord> sched(new ScheduleRecord);
  std::memset(sched.get(), 0, sizeof *sched);
  if (dialog && json_member(dialog, "effective", json_type_array) &&
      get_schedule_by_json_ex(dialog, "effective", sched.get()) == 0)
    ok &= write_event_schedule(ALARM_OUT_SCHEDULE, id, *sched);

  AlarmOutRecord rec = load_alarm_out(id, &ok);
  bool any = json_take_text(req.get(), "name", rec.name);
  any |= json_take_int(req.get(), "enable", &rec.enable);
  any |= json_take_int(req.get(), "type", &rec.type);
  any |= json_take_int(req.get(), "durationTime", &rec.duration_time);
  if (any) ok &= write_alarm_out(ZRDB_PATH, &rec, id) == 0;

  if (copy_mask) {
    ok &= read_event_schedule(ALARM_OUT_SCHEDULE, id, sched.get());
    for (int i = 0; i < NVR_ALARM_OUTPUTS; ++i) {
      if (!(copy_mask & (1ULL << i))) continue;
      AlarmOutRecord target = load_alarm_out(i, &ok);
      target.type = rec.type;
      target.enable = rec.enable;
      target.duration_time = rec.duration_time;
      ok &= write_alarm_out(ZRDB_PATH, &target, i) == 0;
      ok &= write_event_schedule(ALARM_OUT_SCHEDULE, i, *sched);
    }
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  notify_core_int(REQ_ALARM_OUT_CHANGED, id);
  for (int i = 0; i < NVR_ALARM_OUTPUTS; ++i) {
    if (!(copy_mask & (1ULL << i))) continue;
    notify_core_int(REQ_ALARM_OUT_CHANGED, i);
  }
  log_operation_copy(LOG_SUB_EVENT, LOG_PARAM_ALARM_OUT, 0, copy_mask | (1ULL << id));
  cgi_reply_ok();
}

void on_set_alarm_output_manual(char* text) {
  JsonPtr req(parse_request_object(text));
  int id = 0;
  if (!take_request_id(req.get(), "id", NVR_ALARM_OUTPUTS, &id, CGI_KIND_JSON)) return;
  AlarmOutManual msg{id, 0};
  if (!json_plain_int(req.get(), "enable", &msg.enable)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  notify_core(REQ_ALARM_OUT_MANUAL, &msg, sizeof msg);
  log_operation(LOG_SUB_EVENT, LOG_PARAM_ALARM_OUT, id + 1);
  cgi_reply_ok();
}

// ---- Camera alarm inputs ------------------------------------------------------------

void on_get_camera_alarm_input(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!take_request_id(req.get(), "chnid", NVR_CHANNELS, &ch, CGI_KIND_JSON)) return;
  g_query_channel = ch;
  CamAlarmInState query;
  std::memset(&query, 0, sizeof query);
  query.channel = ch;
  query.alarm_cnt = CAM_ALARM_INPUTS;
  cgi_ipc_exchange(on_alarm_ipc_callback, REQ_CAM_ALARM_IN_STATE, &query, sizeof query, CGI_KIND_JSON);
}

void on_set_camera_alarm_input(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0, n = 0;
  if (!take_camera_alarm_count(req.get(), CAM_ALARM_INPUTS, {"alarmEnable", "alarmType"}, &ch, &n)) return;
  const uint64_t copy_mask = event_copy_mask(req.get(), ch, NVR_CHANNELS);
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);

  CamAlarmInEvent events[CAM_ALARM_INPUTS];
  for (int i = 0; i < n; ++i) ok &= read_rec(cam_alarm_in_table(i, "event"), ch, &events[i]);

  json_object* dialogs = json_array_member(req.get(), "dialog");
  for (int k = 0; k < n && k < static_cast<int>(json_array_size(dialogs)); ++k) {
    json_object* d = json_array_at(dialogs, k);
    int idx = 0;
    // Only the inputs whose records were read above may be written.
    if (!json_id_in_range(d, "alarmId", 0, n - 1, &idx)) continue;
    const EventTables t = cam_in_tables(idx);
    const std::string family = cam_alarm_in_table(idx, "event");
    EventSave saved = save_event_tables(d, ch, t);
    ok &= saved.ok;
    CamAlarmInEvent before = events[idx];
    apply_event_actions(d, ch, cam_in_fields(&events[idx]));
    if (saved.ptz_written || std::memcmp(&before, &events[idx], sizeof before) != 0)
      ok &= write_rec(family, ch, events[idx]);
    if (copy_mask) {
      ok &= copy_event_tables(t, ch, copy_mask);
      ok &= zrdb_copy_record(ZRDB_PATH, family.c_str(), ch, copy_mask, sizeof(CamAlarmInEvent)) == 0;
    }
  }

  // Every entry names its input index, whether the request carries an
  // element for it or not.
  CamAlarmInSet set;
  std::memset(&set, 0, sizeof set);
  for (int i = 0; i < CAM_ALARM_INPUTS; ++i) set.entry[i].index = i;
  json_object* alarms = json_array_member(req.get(), "alarm");
  for (int i = 0; i < n; ++i) {
    json_object* a = json_array_at(alarms, i);
    if (!a) continue;  // absent element (or no array): leave entry and name
    // Checked with the count above.
    json_plain_int(a, "alarmEnable", &set.entry[i].alarm_enable);
    json_plain_int(a, "alarmType", &set.entry[i].alarm_type);
    CamAlarmInName name;
    const std::string family = cam_alarm_in_table(i, "name");
    ok &= read_rec(family, ch, &name);
    name.channel = ch;
    name.index = i;
    if (json_take_text(a, "alarmName", name.alarm_name)) ok &= write_rec(family, ch, name);
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  set.alarm_cnt = n;
  set.chn_mask = copy_mask | (1ULL << ch);
  notify_core(REQ_CAM_ALARM_IN_SET, &set, sizeof set);
  notify_core(REQ_CAM_ALARM_IN_CHANGED, &set.chn_mask, sizeof set.chn_mask);
  cgi_reply_ok();
}

// ---- Recorder alarm inputs --------------------------------------------------------

void on_get_nvr_alarm_input(char* text) {
  JsonPtr req(parse_request_object(text));
  int id = 0;
  if (!take_request_id(req.get(), "alarmId", NVR_ALARM_INPUTS, &id, CGI_KIND_JSON)) return;
  const EventTables t = nvr_in_tables();
  const AlarmInRecord r = load_alarm_in(id);
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_add_int(out, "alarmId", id);
  json_add_field(out, "name", r.name);
  json_add_int(out, "alarmType", r.alarm_type);
  json_add_int(out, "enable", r.enable);
  json_add_int(out, "triAlarms", r.tri_alarms);
  json_add_int(out, "interval", r.interval);
  json_add_int(out, "email_interval", r.email_interval);
  json_add_int(out, "email_pic_enable", r.email_pic_enable);
  json_add_field(out, "tri_channels_pic", r.tri_channels_pic);
  json_add_int(out, "ptz_interval", r.ptz_interval);
  json_add_int(out, "alarmout_interval", r.alarmout_interval);
  json_add_field(out, "triChannels", r.tri_channels);
  json_add_field(out, "triSnapshot", r.tri_snapshot);
  json_add(out, "effective", event_schedule_json(t.effective, id));
  json_add(out, "audible", event_schedule_json_ex(t.audible, id));
  json_add(out, "email", event_schedule_json_ex(t.email, id));
  json_add(out, "ptz", event_schedule_json_ex(t.ptz, id));
  json_add(out, "triChnAlarms", text_array(r.tri_chn_alarms));
  json_add(out, "white", event_schedule_json(t.white_sche, id));
  json_add(out, "whiteInfo", event_white_json(t, id));
  json_add_int(out, "white_interval", r.white_interval);
  json_add_int(out, "audioId", r.audio_id);
  json_add_int(out, "audioIdMask", get_audio_file_id_mask());
  json_add(out, "ptzParams", event_ptz_json(t, id));
  cgi_write_json(out);
}

void on_set_nvr_alarm_input(char* text) {
  JsonPtr req(parse_request_object(text));
  int id = 0;
  if (!take_request_id(req.get(), "alarmId", NVR_ALARM_INPUTS, &id, CGI_KIND_JSON)) return;
  if (!json_ints_readable(req.get(), {"alarmType", "linkageAction", "disarmActionMask"}) ||
      !json_texts_readable(req.get(), {"name"}) ||
      !event_dialog_readable(json_member(req.get(), "dialog", json_type_object))) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  const EventTables t = nvr_in_tables();
  const uint64_t copy_mask = event_copy_mask(req.get(), id, NVR_ALARM_INPUTS);
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);

  AlarmInRecord rec = load_alarm_in(id, &ok);
  const AlarmInRecord before = rec;
  json_take_int(req.get(), "alarmType", &rec.alarm_type);
  json_take_text(req.get(), "name", rec.name);

  if (id == 0) {
    DisarmingRecord dis;
    std::memset(&dis, 0, sizeof dis);
    ok &= read_disarming(ZRDB_PATH, &dis, 0) == 0;
    bool any = json_take_int(req.get(), "linkageAction", &dis.linkage_action);
    any |= json_take_int(req.get(), "disarmActionMask", &dis.disarm_action_mask);
    if (any) ok &= write_disarming(ZRDB_PATH, &dis, 0) == 0;
  }

  json_object* dialog = json_member(req.get(), "dialog", json_type_object);
  EventSave saved = save_event_tables(dialog, id, t);
  ok &= saved.ok;
  apply_event_actions(dialog, id, nvr_in_fields(&rec));
  if (saved.ptz_written || std::memcmp(&before, &rec, sizeof rec) != 0)
    ok &= write_alarm_in(ZRDB_PATH, &rec, id) == 0;

  if (copy_mask) {
    for (int i = 0; i < NVR_ALARM_INPUTS; ++i) {
      if (!(copy_mask & (1ULL << i))) continue;
      AlarmInRecord target = load_alarm_in(i, &ok);
      target.enable = rec.enable;
      target.alarm_type = rec.alarm_type;
      target.tri_alarms = rec.tri_alarms;
      target.interval = rec.interval;
      target.email_flag = rec.email_flag;
      target.email_interval = rec.email_interval;
      std::memcpy(target.tri_snapshot, rec.tri_snapshot, sizeof rec.tri_snapshot);
      target.ptz_interval = rec.ptz_interval;
      target.alarmout_interval = rec.alarmout_interval;
      target.white_interval = rec.white_interval;
      target.http_notification_interval = rec.http_notification_interval;
      target.email_pic_enable = rec.email_pic_enable;
      target.audio_id = rec.audio_id;
      std::memcpy(target.tri_chn_alarms, rec.tri_chn_alarms, sizeof rec.tri_chn_alarms);
      ok &= write_alarm_in(ZRDB_PATH, &target, i) == 0;
    }
    ok &= copy_event_tables(t, id, copy_mask);
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_JSON)) return;

  uint64_t mask = copy_mask | (1ULL << id);
  notify_core(REQ_ALARM_IN_COPIED, &mask, sizeof mask);
  cgi_reply_ok();
}

// ---- Camera alarm outputs -------------------------------------------------------------

void on_get_camera_alarm_output(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!take_request_id(req.get(), "chnid", NVR_CHANNELS, &ch, CGI_KIND_JSON)) return;
  g_query_channel = ch;
  int32_t query = ch;
  cgi_ipc_exchange(on_alarm_ipc_callback, REQ_CAM_ALARM_OUT_STATE, &query, sizeof query, CGI_KIND_JSON);
}

void on_set_camera_alarm_output(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0, n = 0;
  if (!take_camera_alarm_count(req.get(), CAM_ALARM_OUTPUTS, {"alarmType", "delayTime"}, &ch, &n)) return;
  const uint64_t copy_mask = event_copy_mask(req.get(), ch, NVR_CHANNELS);
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);

  json_object* dialogs = json_array_member(req.get(), "dialog");
  std::unique_ptr<ScheduleRecord> sched(new ScheduleRecord);
  for (int k = 0; k < n && k < static_cast<int>(json_array_size(dialogs)); ++k) {
    json_object* d = json_array_at(dialogs, k);
    int idx = 0;
    if (!json_id_in_range(d, "alarmId", 0, n - 1, &idx)) continue;
    const std::string family = cam_alarm_out_table(idx, "effective_schedule");
    std::memset(sched.get(), 0, sizeof *sched);
    if (!json_member(d, "effective", json_type_array) || get_schedule_by_json(d, "effective", sched.get()) != 0)
      continue;
    ok &= write_event_schedule(family, ch, *sched);
    if (copy_mask) ok &= zrdb_copy_record(ZRDB_PATH, family.c_str(), ch, copy_mask, sizeof(ScheduleRecord)) == 0;
  }

  CamAlarmOutSet set;
  std::memset(&set, 0, sizeof set);
  for (int i = 0; i < CAM_ALARM_OUTPUTS; ++i) set.entry[i].index = i;
  json_object* alarms = json_array_member(req.get(), "alarm");
  for (int i = 0; i < n; ++i) {
    json_object* a = json_array_at(alarms, i);
    if (!a) continue;
    json_plain_int(a, "alarmType", &set.entry[i].alarm_type);  // checked with the count
    const std::string family = cam_alarm_out_table(i, "name");
    CamAlarmOutName name;
    ok &= read_rec(family, ch, &name);
    name.channel = ch;
    name.index = i;
    bool delay = json_take_int(a, "delayTime", &name.delay_time);
    bool named = json_take_text(a, "alarmName", name.alarm_name);
    if (delay || named) ok &= write_rec(family, ch, name);
    if (!delay || !copy_mask) continue;
    for (int c = 0; c < NVR_CHANNELS; ++c) {
      if (!(copy_mask & (1ULL << c))) continue;
      CamAlarmOutName target;
      ok &= read_rec(family, c, &target);
      target.channel = c;
      target.index = i;
      target.delay_time = name.delay_time;
      ok &= write_rec(family, c, target);
    }
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  set.alarm_cnt = n;
  set.chn_mask = copy_mask | (1ULL << ch);
  notify_core(REQ_CAM_ALARM_OUT_SET, &set, sizeof set);
  notify_core(REQ_CAM_ALARM_OUT_CHANGED, &set.chn_mask, sizeof set.chn_mask);
  cgi_reply_ok();
}

void on_set_camera_alarm_output_state(char* text) {
  JsonPtr req(parse_request_object(text));
  CamAlarmOutSwitch msg{};
  if (!req || !json_id_in_range(req.get(), "chnid", 0, NVR_CHANNELS - 1, &msg.chnid) ||
      !json_id_in_range(req.get(), "alarmId", 0, CAM_ALARM_OUTPUTS - 1, &msg.alarm_id)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  if (!json_plain_int(req.get(), "state", &msg.state)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core(REQ_CAM_ALARM_OUT_SWITCH, &msg, sizeof msg);
  cgi_reply_ok();
}

// ---- Names of all inputs and outputs --------------------------------------------------

json_object* name_text(const char* field, size_t size) {
  return json_object_new_string_len(field, static_cast<int>(strnlen(field, size)));
}

// {"nvr": [...], "camera": [64 arrays of per_camera names]}; the names of one
// camera input or output index are read for all channels at once.
template <typename NameRec>
void write_all_names(json_object* nvr, int per_camera, int (*read_names)(int, NameRec*)) {
  JsonPtr out(json_object_new_object());
  json_add(out.get(), "nvr", nvr);
  json_object* cams = json_object_new_array();
  for (int c = 0; c < NVR_CHANNELS; ++c) json_object_array_add(cams, json_object_new_array());
  std::unique_ptr<NameRec[]> recs(new NameRec[NVR_CHANNELS]);
  for (int i = 0; i < per_camera; ++i) {
    read_names(i, recs.get());
    for (int c = 0; c < NVR_CHANNELS; ++c)
      json_object_array_add(json_array_at(cams, c), name_text(recs[c].alarm_name, sizeof recs[c].alarm_name));
  }
  json_add(out.get(), "camera", cams);
  cgi_write_json(out.get());
}

void on_get_all_alarmout_names(char*) {
  json_object* nvr = json_object_new_array();
  for (int i = 0; i < NVR_ALARM_OUTPUTS; ++i) {
    AlarmOutRecord r = load_alarm_out(i);
    json_object_array_add(nvr, name_text(r.name, sizeof r.name));
  }
  write_all_names<CamAlarmOutName>(nvr, CAM_ALARM_OUTPUTS, read_alarm_chnOut_event_names);
}

void on_get_all_alarmin_names(char*) {
  json_object* nvr = json_object_new_array();
  for (int i = 0; i < NVR_ALARM_INPUTS; ++i) {
    AlarmInRecord r = load_alarm_in(i);
    json_object_array_add(nvr, name_text(r.name, sizeof r.name));
  }
  write_all_names<CamAlarmInName>(nvr, CAM_ALARM_INPUTS, read_alarm_chnIn_event_names);
}

// ---- Older recorder input pages -----------------------------------------------------

void add_alarm_in_basic(json_object* o, const AlarmInRecord& r) {
  json_add_int(o, "id", r.id);
  json_add_int(o, "enable", r.enable);
  json_add_field(o, "name", r.name);
  json_add_int(o, "type", r.alarm_type);
  json_add_field(o, "triChannels", r.tri_channels);
  json_add_int(o, "triAlarms", r.tri_alarms);
}

void on_get_alarm_inputs(char*) { write_record_list(NVR_ALARM_INPUTS, load_alarm_in, add_alarm_in_basic); }

// The older schedule (8 days of 12 sections) is carried through the shared
// schedule codecs: its sections are the first 12 of each day of the week
// record.
std::unique_ptr<ScheduleRecord> old_schedule_to_week(const AlarmInOldSchedule& old) {
  std::unique_ptr<ScheduleRecord> week(new ScheduleRecord);
  std::memset(week.get(), 0, sizeof *week);
  for (int d = 0; d < 8; ++d)
    for (int e = 0; e < 12; ++e) {
      const AlarmInOldSection& o = old.days[d][e];
      ScheduleSection& w = week->days[d].sections[e];
      copy_field(w.start_time, field_view(o.start_time));
      copy_field(w.end_time, field_view(o.end_time));
      w.action_type = o.action_type;
    }
  return week;
}

// The older schedule of a request's week: times as sent (triples, pairs or
// the objects "/6061" answers), action type 6 in every section.
void week_to_old_schedule(const ScheduleRecord& week, AlarmInOldSchedule* old) {
  std::memset(old, 0, sizeof *old);
  for (int d = 0; d < 8; ++d)
    for (int e = 0; e < 12; ++e) {
      const ScheduleSection& w = week.days[d].sections[e];
      AlarmInOldSection& o = old->days[d][e];
      copy_field(o.start_time, field_view(w.start_time));
      copy_field(o.end_time, field_view(w.end_time));
      o.action_type = 6;
    }
}

void on_get_alarm_input(char* text) {
  int id = 0;
  if (!text || !parse_int_strict(text, &id) || id < 0 || id >= NVR_ALARM_INPUTS) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  const AlarmInRecord r = load_alarm_in(id);
  std::unique_ptr<AlarmInOldSchedule> sched(new AlarmInOldSchedule);
  std::memset(sched.get(), 0, sizeof *sched);
  read_alarm_in_schedule(ZRDB_PATH, sched.get(), id);

  JsonPtr out(json_object_new_object());
  json_object* alarm = json_object_new_object();
  add_alarm_in_basic(alarm, r);
  json_add_int(alarm, "interval", r.interval);
  json_add_field(alarm, "triSnapshot", r.tri_snapshot);
  json_add(out.get(), "alarm", alarm);
  std::unique_ptr<ScheduleRecord> week = old_schedule_to_week(*sched);
  json_add(out.get(), "schedule", get_schedule_json_object(week.get()));
  cgi_write_json(out.get());
}

// The "alarm" object of the older input pages with its numbers.
struct AlarmInInfo {
  json_object* a = nullptr;
  int32_t id = 0, enable = 0, type = 0, tri_alarms = 0, interval = 0;
};

// Takes the "alarm" object when it is complete and its numbers in range.
bool check_alarm_input_info(json_object* req, AlarmInInfo* info) {
  info->a = json_member(req, "alarm", json_type_object);
  json_object* a = info->a;
  return a && json_id_in_range(a, "id", 0, NVR_ALARM_INPUTS - 1, &info->id) &&
         json_id_in_range(a, "enable", 0, 2, &info->enable) && json_id_in_range(a, "type", 0, 1, &info->type) &&
         json_text_member(a, "triChannels", nullptr) == JSON_TEXT_OK && json_texts_readable(a, {"name"}) &&
         event_schedule_readable(req, "schedule") &&
         json_id_in_range(a, "triAlarms", 0, INT32_MAX, &info->tri_alarms) &&
         json_id_in_range(a, "interval", 0, INT32_MAX, &info->interval);
}

// Name, type, triggered channels, alarms and interval of the older pages.
void take_alarm_in_basic(const AlarmInInfo& info, AlarmInRecord* r) {
  json_take_text(info.a, "name", r->name);
  r->alarm_type = info.type;
  std::string_view tri;
  json_text_member(info.a, "triChannels", &tri);
  set_text_field({r->tri_channels, sizeof r->tri_channels, 64}, tri);
  r->chn_mask = chn_text_mask32(r->tri_channels, sizeof r->tri_channels);
  r->tri_alarms = info.tri_alarms;
  r->interval = info.interval;
}

void on_set_alarm_input(char* text) {
  JsonPtr req(parse_request_object(text));
  AlarmInInfo info;
  if (!check_alarm_input_info(req.get(), &info)) return;
  const int id = info.id;
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  AlarmInRecord rec = load_alarm_in(id, &ok);
  rec.enable = info.enable;
  take_alarm_in_basic(info, &rec);
  ok &= write_alarm_in(ZRDB_PATH, &rec, id) == 0;

  // No schedule in the request: keep the stored one.
  std::unique_ptr<ScheduleRecord> week(new ScheduleRecord);
  if (get_schedule_by_json(req.get(), "schedule", week.get()) == 0) {
    std::unique_ptr<AlarmInOldSchedule> sched(new AlarmInOldSchedule);
    week_to_old_schedule(*week, sched.get());
    ok &= write_alarm_in_schedule(ZRDB_PATH, sched.get(), id) == 0;
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  notify_core_int(REQ_ALARM_IN_CHANGED, id);
  log_operation_bare(LOG_SUB_EVENT, LOG_PARAM_ALARM_IN);
  cgi_reply_ok();
}

void on_set_alarm_input_name(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* a = json_member(req.get(), "alarm", json_type_object);
  if (!a) return;
  int id = 0;
  if (!json_id_in_range(a, "camId", 0, NVR_ALARM_INPUTS - 1, &id) ||
      !json_ints_readable(a, {"type", "enable"}) || !json_texts_readable(a, {"name"})) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  bool ok = true;
  AlarmInRecord rec = load_alarm_in(id, &ok);
  const AlarmInRecord before = rec;
  json_take_text(a, "name", rec.name);
  json_take_int(a, "type", &rec.alarm_type);
  json_take_int(a, "enable", &rec.enable);
  if (ok && std::memcmp(&before, &rec, sizeof rec) != 0) ok = write_alarm_in(ZRDB_PATH, &rec, id) == 0;
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  notify_core_int(REQ_ALARM_IN_CHANGED, id);
  log_operation(LOG_SUB_EVENT, LOG_PARAM_ALARM_IN, id + 1);
  cgi_reply_ok();
}

void on_set_alarm_input_basic(char* text) {
  JsonPtr req(parse_request_object(text));
  AlarmInInfo info;
  if (!check_alarm_input_info(req.get(), &info)) return;
  const int id = info.id;
  ZrdbTransaction txn(ZRDB_PATH);
  bool ok = true;
  AlarmInRecord rec = load_alarm_in(id, &ok);
  take_alarm_in_basic(info, &rec);
  ok = ok && write_alarm_in(ZRDB_PATH, &rec, id) == 0;
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  notify_core_int(REQ_ALARM_IN_CHANGED, id);
  log_operation(LOG_SUB_EVENT, LOG_PARAM_ALARM_IN, id + 1);
  cgi_reply_ok();
}

}  // namespace

// ---- Reply dispatcher -------------------------------------------------------------

void on_alarm_ipc_callback(void*, void* header, void* payload) {
  if (!header) return;
  switch (cgi_reply_type(header)) {
    case REPLY_CAM_ALARM_OUT_STATE:
      on_get_camera_alarm_output_cb(payload ? cgi_reply_count(header, sizeof(CamAlarmOutState)) : 0, payload);
      break;
    case REPLY_CAM_ALARM_IN_STATE:
      on_get_camera_alarm_input_cb(payload ? cgi_reply_count(header, sizeof(CamAlarmInState)) : 0, payload);
      break;
    default:
      break;
  }
}

namespace {
const WebRes kAlarmTable[] = {
    {"/6020", on_get_alarm_outputs},
    {"/6021", on_get_alarm_output},
    {"/6022", on_set_alarm_output},
    {"/6023", on_set_alarm_output_manual},
    {"/6024", on_get_camera_alarm_input},
    {"/6025", on_set_camera_alarm_input},
    {"/6026", on_get_nvr_alarm_input},
    {"/6027", on_set_nvr_alarm_input},
    {"/6028", on_get_camera_alarm_output},
    {"/6029", on_set_camera_alarm_output},
    {"/6032", on_get_all_alarmout_names},
    {"/6033", on_set_camera_alarm_output_state},
    {"/6034", on_get_all_alarmin_names},
    {"/6060", on_get_alarm_inputs},
    {"/6061", on_get_alarm_input},
    {"/6062", on_set_alarm_input},
    {"/6063", on_set_alarm_input_name},
    {"/6064", on_set_alarm_input_basic},
};
}  // namespace

NVR_DEFINE_MODULE(alarm, kAlarmTable)
