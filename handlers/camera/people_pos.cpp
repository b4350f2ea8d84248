// People counting, POS and face settings, and the nine event schedules of a
// channel: camera-analytics settings the recorder keeps in its own store
// and hands to the core daemon after each change.
// Serves "/2035", "/2036", "/2066", "/2067", "/2069", "/2070", "/2071", "/2072", "/2073", "/2074", "/2075", "/2076", "/2077".
#include "handlers/camera/people_pos_records.h"

#include "handlers/camera/camera.h"

// ---- Store -------------------------------------------------------------------------------

namespace {

// Reads ids 0..n-1 of a family into slots 0..n-1, each slot's id field
// (an int32 at id_offset) set to its id.
int read_all(const char* db, const char* family, void* array, size_t size, int n, size_t id_offset) {
  std::memset(array, 0, size * static_cast<size_t>(n));
  const int rc = zrdb_read_record_range(db, family, 0, array, size, n);
  for (int i = 0; i < n; ++i) {
    const int32_t id = i;
    std::memcpy(static_cast<uint8_t*>(array) + size * static_cast<size_t>(i) + id_offset, &id, sizeof id);
  }
  return rc == 0 ? 0 : -1;
}

int write_all(const char* db, const char* family, const void* array, size_t size, int n) {
  ZrdbTransaction txn(db);
  for (int i = 0; i < n; ++i)
    if (zrdb_write_record(db, family, i, static_cast<const uint8_t*>(array) + size * static_cast<size_t>(i), size) != 0)
      return -1;
  return txn.commit() == 0 ? 0 : -1;
}

int read_action(const char* db, const char* family, SmartEventAction* rec, int id, int count) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  if (id < 0 || id >= count || zrdb_read_record(db, family, id, rec, sizeof *rec) < 0) return -1;
  rec->channel = id;
  return 0;
}

int write_action(const char* db, const char* family, const SmartEventAction* rec, int id, int count) {
  if (!rec || id < 0 || id >= count) return -1;
  return zrdb_write_record(db, family, id, rec, sizeof *rec);
}

}  // namespace

int read_peoplecnt_settings(const char* db, PeopleCntGroup groups[PCNT_GROUPS]) {
  return read_all(db, PCNT_SETTINGS_FAMILY, groups, sizeof *groups, PCNT_GROUPS, offsetof(PeopleCntGroup, groupid));
}
int write_peoplecnt_settings(const char* db, const PeopleCntGroup groups[PCNT_GROUPS]) {
  return write_all(db, PCNT_SETTINGS_FAMILY, groups, sizeof *groups, PCNT_GROUPS);
}
int read_peoplecnt_auto_backup(const char* db, PeopleCntReport reports[PCNT_REPORTS]) {
  // A report's type is a setting of its own, not its slot.
  std::memset(reports, 0, sizeof *reports * PCNT_REPORTS);
  return zrdb_read_record_range(db, PCNT_AUTO_BACKUP_FAMILY, 0, reports, sizeof *reports, PCNT_REPORTS) == 0 ? 0 : -1;
}
int write_peoplecnt_auto_backup(const char* db, const PeopleCntReport reports[PCNT_REPORTS]) {
  return write_all(db, PCNT_AUTO_BACKUP_FAMILY, reports, sizeof *reports, PCNT_REPORTS);
}
int read_pos_settings(const char* db, PosSetting devices[POS_DEVICES]) {
  return read_all(db, POS_SETTINGS_FAMILY, devices, sizeof *devices, POS_DEVICES, offsetof(PosSetting, id));
}
int read_pos_setting(const char* db, PosSetting* rec, int id) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  if (id < 0 || id >= POS_DEVICES || zrdb_read_record(db, POS_SETTINGS_FAMILY, id, rec, sizeof *rec) < 0) return -1;
  rec->id = id;
  return 0;
}
int write_pos_setting(const char* db, const PosSetting* rec, int id) {
  if (!rec || id < 0 || id >= POS_DEVICES) return -1;
  return zrdb_write_record(db, POS_SETTINGS_FAMILY, id, rec, sizeof *rec);
}

int read_peoplecnt_event(const char* db, SmartEventAction* rec, int group) {
  return read_action(db, PCNT_EVENT_FAMILY, rec, group, PCNT_GROUPS);
}
int write_peoplecnt_event(const char* db, const SmartEventAction* rec, int group) {
  return write_action(db, PCNT_EVENT_FAMILY, rec, group, PCNT_GROUPS);
}
int read_pos_event(const char* db, SmartEventAction* rec, int id) {
  return read_action(db, POS_EVENT_FAMILY, rec, id, POS_DEVICES);
}
int write_pos_event(const char* db, const SmartEventAction* rec, int id) {
  return write_action(db, POS_EVENT_FAMILY, rec, id, POS_DEVICES);
}
int read_face_event(const char* db, SmartEventAction* rec, int ch) {
  return read_action(db, FACE_EVENT_FAMILY, rec, ch, FACE_CHANNELS);
}
int write_face_event(const char* db, const SmartEventAction* rec, int ch) {
  return write_action(db, FACE_EVENT_FAMILY, rec, ch, FACE_CHANNELS);
}

namespace camera {

namespace {

std::unique_ptr<ScheduleRecord> new_schedule() {
  std::unique_ptr<ScheduleRecord> s(new ScheduleRecord);
  std::memset(s.get(), 0, sizeof *s);
  return s;
}

// A present value that its reader refuses ("x" for a number, a list for a
// text) in any field of the table: such a request is refused, never read
// as 0 or as the value's printed form.
bool has_refused_value(json_object* obj, const FieldDesc* fields, size_t n) { return !fields_readable(obj, fields, n); }
template <size_t N>
bool has_refused_value(json_object* obj, const FieldDesc (&fields)[N]) {
  return has_refused_value(obj, fields, N);
}

// ================= Event schedules of a channel =================

// The nine schedules, in the order of "start" and "end": motion, then the
// smart kinds 0..7.
constexpr int kScheduleKinds = 9;
const char* const kScheduleKeys[kScheduleKinds] = {
    "schedule_motion",          "schedule_region_entrance", "schedule_region_exit",
    "schedule_advanced_motion", "schedule_tamper_detection", "schedule_line_crossing",
    "schedule_loitering",       "schedule_human_detection", "schedule_people_counting"};

bool read_kind_schedule(int ch, int kind, ScheduleRecord* s) {
  if (kind == 0) return read_event_schedule(MOTION_EFFECTIVE_SCHEDULE, ch, s);
  return read_smart_event_effective_schedule(ZRDB_PATH, ch, kind - 1, s) == 0;
}

bool write_kind_schedule(int ch, int kind, const ScheduleRecord& s) {
  if (kind == 0) return write_event_schedule(MOTION_EFFECTIVE_SCHEDULE, ch, s);
  return write_smart_event_effective_schedule(ZRDB_PATH, ch, kind - 1, &s) == 0;
}

// How the page shows a section whose start time is empty.
constexpr char kEmptyTime[] = "00:00";
bool shown_empty(const ScheduleSection& s) {
  return field_view(s.start_time) == kEmptyTime && field_view(s.end_time) == kEmptyTime && s.action_type == 0;
}

// Takes the sections the page carries into the stored schedule; a section
// shown as empty and sent back as shown stays empty. True when a section
// changed.
bool merge_sections(const ScheduleRecord& sent, ScheduleRecord* stored) {
  bool changed = false;
  for (int d = 0; d < SCHEDULE_DAYS; ++d) {
    for (int e = 0; e < SCHEDULE_JSON_SECTIONS; ++e) {
      const ScheduleSection& n = sent.days[d].sections[e];
      ScheduleSection& o = stored->days[d].sections[e];
      if (shown_empty(n) && o.start_time[0] == '\0') continue;
      if (std::memcmp(&n, &o, sizeof n) == 0) continue;
      o = n;
      changed = true;
    }
  }
  return changed;
}

}  // namespace

// "/2035"
void on_get_event_schedules(char* text) {
  JsonPtr req = parse_request(text);
  int ch = -1;
  if (!req || !json_id_in_range(req.get(), "channel", 0, NVR_CHANNELS - 1, &ch)) return;
  auto s = new_schedule();
  JsonPtr out(json_object_new_object());
  for (int k = 0; k < kScheduleKinds; ++k) {
    if (!read_kind_schedule(ch, k, s.get())) {
      cgi_error_to_webserver(CGI_KIND_JSON);
      return;
    }
    for (ScheduleDay& day : s->days)
      for (int e = 0; e < SCHEDULE_JSON_SECTIONS; ++e) {
        ScheduleSection& sec = day.sections[e];
        if (sec.start_time[0] != '\0') continue;
        copy_field(sec.start_time, kEmptyTime);
        copy_field(sec.end_time, kEmptyTime);
        sec.action_type = 0;
      }
    json_object_object_add(out.get(), kScheduleKeys[k], get_schedule_json_object(s.get()));
  }
  cgi_write_json(out.get());
}

// "/2036"
void on_set_event_schedules(char* text) {
  JsonPtr req = parse_request(text);
  int ch = -1;
  int32_t start = 0, end = 0;
  if (!req || !json_id_in_range(req.get(), "channel", 0, NVR_CHANNELS - 1, &ch) ||
      !json_plain_int(req.get(), "start", &start) || !json_plain_int(req.get(), "end", &end))
    return;
  // Only the kinds of the range that exist: a range wholly outside
  // 0..kinds-1 names none and writes nothing.
  start = start < 0 ? 0 : start;
  end = end >= kScheduleKinds ? kScheduleKinds - 1 : end;
  for (int k = start; k <= end; ++k)
    if (!event_schedule_readable(req.get(), kScheduleKeys[k])) return;  // as for a refused range
  auto sent = new_schedule();
  auto stored = new_schedule();
  ZrdbTransaction txn(ZRDB_PATH);
  bool ok = true;
  for (int k = start; ok && k <= end; ++k) {
    if (get_schedule_by_json(req.get(), kScheduleKeys[k], sent.get()) != 0) continue;
    ok = read_kind_schedule(ch, k, stored.get());
    if (ok && merge_sections(*sent, stored.get())) ok = write_kind_schedule(ch, k, *stored);
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  cgi_reply_ok();
}

// ================= People counting =================

namespace {

const FieldDesc kGroupFields[] = {
    FIELD(PeopleCntGroup, groupid),
    FIELD(PeopleCntGroup, enable),
    FIELD(PeopleCntGroup, stays),
    FIELD(PeopleCntGroup, liveview_auto_reset),
    FIELD(PeopleCntGroup, auto_day),
    FIELD(PeopleCntGroup, liveview_font_size),
    FIELD(PeopleCntGroup, name),
    FIELD(PeopleCntGroup, auto_day_time),
    FIELD(PeopleCntGroup, tri_channels),
    FIELD(PeopleCntGroup, liveview_green_tips),
    FIELD(PeopleCntGroup, liveview_red_tips),
};
// What a save takes: every field but the group's own id.
const FieldDesc* const kGroupTakeFields = kGroupFields + 1;
constexpr size_t kGroupTakeCount = std::size(kGroupFields) - 1;

// The people-counting tables the shared dialog helpers write: no effective
// schedule of its own, white-light rows in a store of their own (below).
EventTables pcnt_tables() {
  EventTables t;
  t.audible = PCNT_AUDIBLE_SCHEDULE;
  t.email = PCNT_EMAIL_SCHEDULE;
  t.ptz = PCNT_PTZ_SCHEDULE;
  t.white_sche = PCNT_WLED_SCHEDULE;
  t.http_sche = PCNT_HTTP_SCHEDULE;
  t.http_params = PCNT_HTTP_PARAMS;
  t.ptz_type = PTZ_TYPE_PEOPLE_CNT;
  return t;
}

// The group's trigger keys: those of the smart events without
// "triChannels" (a group names its channels in its settings).
EventActionFields pcnt_action_fields(SmartEventAction* r) {
  EventActionFields f = smart_action_fields(r, false);
  f.tri_channels = TextRef{};
  f.chn_mask = nullptr;
  return f;
}

// "whiteInfo" into the group's white-light rows when it decodes.
bool save_pcnt_white(json_object* d, int group) {
  WhiteLedRow rows[WHITE_LED_ROWS] = {};
  int count = 0;
  if (get_pcnt_white_params_by_json(group, rows, d, "whiteInfo", &count) != 0) return true;
  return write_peoplecnt_wled_params(ZRDB_PATH, group, rows, count) == 0;
}

// The linked actions of a group as "/2069" answers them.
json_object* pcnt_action_json(int group, const SmartEventAction& r) {
  const EventTables t = pcnt_tables();
  json_object* o = json_object_new_object();
  json_add_int(o, "chnid", group);
  json_add_int(o, "triAlarms", r.tri_alarms);
  json_add_int(o, "interval", r.interval);
  json_add_int(o, "email_interval", r.email_interval);
  json_add_int(o, "email_pic_enable", r.email_pic_enable);
  json_add_field(o, "tri_channels_pic", r.tri_channels_pic);
  json_add_int(o, "ptz_interval", r.ptz_interval);
  json_add_int(o, "alarmout_interval", r.alarmout_interval);
  json_add_int(o, "white_interval", r.white_interval);
  json_add(o, "effective", event_schedule_json(t.audible, group));
  json_add(o, "audible", event_schedule_json(t.audible, group));
  json_add(o, "email", event_schedule_json(t.email, group));
  json_add(o, "ptz", event_schedule_json(t.ptz, group));
  json_add(o, "triChnAlarms", get_event_chn_alarmout_object(r.tri_chn_alarms[0], r.tri_chn_alarms[1]));
  json_add(o, "white", event_schedule_json(t.white_sche, group));
  json_add(o, "whiteInfo", get_pcnt_white_params_json_object(group));
  json_add_int(o, "audioId", r.audio_id);
  json_add_int(o, "audioIdMask", get_audio_file_id_mask());
  return o;
}

// The group of a request: "groupid", or the "chnid" the action getter
// answers the group under.
bool take_group(json_object* req, int* group) {
  const char* key = req && !json_has(req, "groupid") && json_has(req, "chnid") ? "chnid" : "groupid";
  return take_request_id(req, key, PCNT_GROUPS, group, CGI_KIND_JSON);
}

void group_request(const char* text, int req_id) {
  JsonPtr req = parse_request(text);
  int group = 0;
  if (!take_request_id(req.get(), "groupid", PCNT_GROUPS, &group, CGI_KIND_JSON)) return;
  const int32_t payload = group;
  exchange(req_id, &payload, sizeof payload, CGI_KIND_JSON);
}

}  // namespace

// "/2066"
void on_cgi_get_peoplecnt_settings(char* text) {
  JsonPtr req = parse_request(text);
  int32_t with_action = 0;
  PeopleCntGroup groups[PCNT_GROUPS];
  if (!req || !json_plain_int(req.get(), "action", &with_action) ||
      read_peoplecnt_settings(ZRDB_PATH, groups) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr out(json_object_new_object());
  json_object* list = json_object_new_array();
  json_add(out.get(), "groups", list);
  for (int i = 0; i < PCNT_GROUPS; ++i) {
    json_object* g = json_object_new_object();
    json_object_array_add(list, g);
    add_fields(g, &groups[i], kGroupFields);
    if (with_action == 0) continue;
    SmartEventAction a;
    if (read_peoplecnt_event(ZRDB_PATH, &a, i) != 0) {
      cgi_error_to_webserver(CGI_KIND_JSON);
      return;
    }
    json_object* dialog = pcnt_action_json(i, a);
    json_add(dialog, "ptzParams", event_ptz_json(pcnt_tables(), i));
    json_add(g, "dialog", dialog);
  }
  cgi_write_json(out.get());
}

// "/2067"
void on_cgi_set_peoplecnt_settings(char* text) {
  JsonPtr req = parse_request(text);
  json_object* list = req ? json_array_member(req.get(), "groups") : nullptr;
  bool refused = !list;
  for (size_t i = 0; !refused && i < static_cast<size_t>(PCNT_GROUPS); ++i)
    refused = has_refused_value(json_array_at(list, i), kGroupTakeFields, kGroupTakeCount);
  if (refused) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  PeopleCntGroup groups[PCNT_GROUPS];
  bool ok = read_peoplecnt_settings(ZRDB_PATH, groups) == 0;
  if (ok) {
    PeopleCntGroup before[PCNT_GROUPS];
    std::memcpy(before, groups, sizeof groups);
    for (int i = 0; i < PCNT_GROUPS; ++i) {
      json_object* g = json_array_at(list, static_cast<size_t>(i));
      if (is_object(g)) take_fields(g, &groups[i], kGroupTakeFields, kGroupTakeCount);
    }
    if (std::memcmp(before, groups, sizeof groups) != 0) ok = write_peoplecnt_settings(ZRDB_PATH, groups) == 0;
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_JSON)) return;
  const int32_t zero = 0;
  exchange(REQ_PCNT_SETTINGS_SET, &zero, sizeof zero, CGI_KIND_JSON);
}

// "/2069"
void on_cgi_get_peoplecnt_action(char* text) {
  JsonPtr req = parse_request(text);
  int group = 0;
  if (!take_request_id(req.get(), "groupid", PCNT_GROUPS, &group, CGI_KIND_JSON)) return;
  SmartEventAction a;
  if (read_peoplecnt_event(ZRDB_PATH, &a, group) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr out(pcnt_action_json(group, a));
  cgi_write_json(out.get());
}

// "/2070"
void on_cgi_set_peoplecnt_action(char* text) {
  JsonPtr req = parse_request(text);
  int group = 0;
  if (!take_group(req.get(), &group)) return;
  json_object* q = req.get();
  if (!event_dialog_readable(q)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  SmartEventAction rec;
  bool ok = read_peoplecnt_event(ZRDB_PATH, &rec, group) == 0;
  if (ok) {
    const EventSave saved = save_event_tables(q, group, pcnt_tables());
    ok = saved.ok && save_pcnt_white(q, group);
    const SmartEventAction before = rec;
    apply_event_actions(q, group, pcnt_action_fields(&rec));
    if (ok && (saved.ptz_written || std::memcmp(&before, &rec, sizeof rec) != 0))
      ok = write_peoplecnt_event(ZRDB_PATH, &rec, group) == 0;
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_JSON)) return;
  const int32_t payload[2] = {group, -1};
  exchange(REQ_PCNT_ACTION_SET, payload, sizeof payload, CGI_KIND_JSON);
}

// "/2071", "/2072"
void on_cgi_set_peoplecnt_db_reset(char* text) { group_request(text, REQ_PCNT_DB_RESET); }
void on_cgi_set_peoplecnt_liveview_reset(char* text) { group_request(text, REQ_PCNT_LIVEVIEW_RESET); }

// ================= Report auto-backup =================

namespace {
const FieldDesc kReportFields[] = {
    FIELD(PeopleCntReport, reportType),      FIELD(PeopleCntReport, enable),
    FIELD(PeopleCntReport, triChannels),     FIELD(PeopleCntReport, triGroups),
    FIELD(PeopleCntReport, stayLengthType),  FIELD(PeopleCntReport, stayLengthValue),
    FIELD(PeopleCntReport, backupDay),       FIELD(PeopleCntReport, backupTime),
    FIELD(PeopleCntReport, fileFormat),      FIELD(PeopleCntReport, timeRange),
    FIELD(PeopleCntReport, backupTo),        FIELD(PeopleCntReport, lineMask),
};
}  // namespace

// "/2075"
void on_cgi_get_report_auto_backup(char*) {
  PeopleCntReport reports[PCNT_REPORTS];
  if (read_peoplecnt_auto_backup(ZRDB_PATH, reports) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr out(json_object_new_object());
  json_object* list = json_object_new_array();
  json_add(out.get(), "report", list);
  for (const PeopleCntReport& r : reports) {
    json_object* o = json_object_new_object();
    add_fields(o, &r, kReportFields);
    json_object_array_add(list, o);
  }
  json_add_int(out.get(), "email", 1);
  cgi_write_json(out.get());
}

// "/2076"
void on_cgi_set_report_auto_backup(char* text) {
  JsonPtr req = parse_request(text);
  json_object* list = req ? json_array_member(req.get(), "report") : nullptr;
  bool refused = !list;
  for (size_t i = 0; !refused && i < static_cast<size_t>(PCNT_REPORTS); ++i)
    refused = has_refused_value(json_array_at(list, i), kReportFields);
  if (refused) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  PeopleCntReport reports[PCNT_REPORTS];
  bool ok = read_peoplecnt_auto_backup(ZRDB_PATH, reports) == 0;
  if (ok) {
    PeopleCntReport before[PCNT_REPORTS];
    std::memcpy(before, reports, sizeof reports);
    for (int i = 0; i < PCNT_REPORTS; ++i) {
      json_object* r = json_array_at(list, static_cast<size_t>(i));
      if (is_object(r)) take_fields(r, &reports[i], kReportFields);
    }
    if (std::memcmp(before, reports, sizeof reports) != 0) ok = write_peoplecnt_auto_backup(ZRDB_PATH, reports) == 0;
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_JSON)) return;
  exchange(REQ_REPORT_BACKUP_SET, nullptr, 0, CGI_KIND_JSON);
}

// ================= POS =================

namespace {

const FieldDesc kPosFields[] = {
    FIELD(PosSetting, id),
    FIELD(PosSetting, enable),
    FIELD(PosSetting, name),
    FIELD(PosSetting, protocol),
    FIELD(PosSetting, connectionMode),
    FIELD(PosSetting, ip),
    FIELD(PosSetting, liveviewDisplay),
    FIELD(PosSetting, displayChannel),
    FIELD(PosSetting, startX),
    FIELD(PosSetting, startY),
    FIELD(PosSetting, areaWidth),
    FIELD(PosSetting, areaHeight),
    FIELD(PosSetting, characterEncodeing),
    FIELD(PosSetting, fontSize),
    FIELD(PosSetting, fontColor),
    FIELD(PosSetting, overlayMode),
    FIELD(PosSetting, displayTime),
    FIELD(PosSetting, timeout),
    FIELD(PosSetting, privacy1),
    FIELD(PosSetting, privacy2),
    FIELD(PosSetting, privacy3),
    FIELD(PosSetting, port),
    FIELD(PosSetting, nvrPort),
    FIELD(PosSetting, clearTime),
};
// A save takes every field but the device's id.
const FieldDesc* const kPosTakeFields = kPosFields + 1;
constexpr size_t kPosTakeCount = std::size(kPosFields) - 1;

EventTables pos_tables() {
  EventTables t;
  t.effective = POS_SCHEDULES[0];
  t.audible = POS_SCHEDULES[1];
  t.email = POS_SCHEDULES[2];
  t.ptz = POS_SCHEDULES[3];
  t.white_sche = POS_SCHEDULES[4];
  t.white_params = POS_WHITELED_PARAMS;
  t.http_sche = POS_HTTP_SCHEDULE;
  t.http_params = POS_HTTP_PARAMS;
  t.ptz_type = PTZ_TYPE_POS;
  return t;
}

json_object* pos_action_json(int id, const SmartEventAction& r) {
  const EventTables t = pos_tables();
  json_object* o = json_object_new_object();
  json_add(o, "effective", event_schedule_json(t.effective, id));
  add_event_action_dialog(o, t, id, r);
  return o;
}

// The dialog of an event kept by owner id: its schedules, white-light and
// HTTP blocks, PTZ rows and the trigger keys present, into the action
// record read first. A missing dialog saves nothing. False when a store
// write failed.
bool save_action_dialog(json_object* d, int owner, const EventTables& t, SmartEventAction* rec,
                        int (*write)(const char*, const SmartEventAction*, int)) {
  if (!d) return true;
  const EventSave saved = save_event_tables(d, owner, t);
  const SmartEventAction before = *rec;
  apply_event_actions(d, owner, smart_action_fields(rec, false));
  if (!saved.ok) return false;
  if (!saved.ptz_written && std::memcmp(&before, rec, sizeof before) == 0) return true;
  return write(ZRDB_PATH, rec, owner) == 0;
}

}  // namespace

// "/2073"
void on_cgi_get_pos_info(char* text) {
  JsonPtr req = parse_request(text);
  int id = 0;
  if (!take_request_id(req.get(), "id", POS_DEVICES, &id, CGI_KIND_JSON)) return;
  PosSetting devices[POS_DEVICES];
  SmartEventAction a;
  if (read_pos_settings(ZRDB_PATH, devices) != 0 || read_pos_event(ZRDB_PATH, &a, id) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr out(json_object_new_object());
  json_object* list = json_object_new_array();
  json_add(out.get(), "pos", list);
  for (const PosSetting& p : devices) {
    json_object* o = json_object_new_object();
    add_fields(o, &p, kPosFields);
    json_object_array_add(list, o);
  }
  json_add(out.get(), "action", pos_action_json(id, a));
  cgi_write_json(out.get());
}

// "/2074"
void on_cgi_set_pos_info(char* text) {
  JsonPtr req = parse_request(text);
  int id = 0;
  if (!take_request_id(req.get(), "id", POS_DEVICES, &id, CGI_KIND_JSON)) return;
  json_object* q = req.get();
  if (has_refused_value(q, kPosTakeFields, kPosTakeCount) ||
      !event_dialog_readable(json_member(q, "action", json_type_object))) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  PosSetting pos;
  SmartEventAction act;
  bool ok = read_pos_setting(ZRDB_PATH, &pos, id) == 0 && read_pos_event(ZRDB_PATH, &act, id) == 0;
  if (ok) {
    const PosSetting before = pos;
    take_fields(q, &pos, kPosTakeFields, kPosTakeCount);
    ok = save_action_dialog(json_member(q, "action", json_type_object), id, pos_tables(), &act, write_pos_event);
    if (ok && std::memcmp(&before, &pos, sizeof pos) != 0) ok = write_pos_setting(ZRDB_PATH, &pos, id) == 0;
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_JSON)) return;
  const int32_t payload = id;
  exchange(REQ_POS_SET, &payload, sizeof payload, CGI_KIND_JSON);
}

// ================= Face capture =================

namespace {

const FieldDesc kFaceFields[] = {
    FIELD(FaceConfig, enable),
    FIELD(FaceConfig, width),
    FIELD(FaceConfig, height),
    FIELD(FaceConfig, minPixel),
    FIELD(FaceConfig, captureMode),
    FIELD(FaceConfig, snapshotType),
    FIELD(FaceConfig, snapshotInterval),
    FIELD(FaceConfig, snapshotBackground),
    FIELD(FaceConfig, poseYaw),
    FIELD(FaceConfig, poseRoll),
    FIELD(FaceConfig, posePitch),
    FIELD(FaceConfig, blurLimit),
    FIELD(FaceConfig, detection_polygonX),
    FIELD(FaceConfig, detection_polygonY),
    FIELD(FaceConfig, uploadEnable),
    FIELD(FaceConfig, uploadFileType),
    FIELD(FaceConfig, nasEnable),
    FIELD(FaceConfig, nasFileType),
    FIELD(FaceConfig, emailEnable),
    FIELD(FaceConfig, emailFileType),
    FIELD(FaceConfig, httpEnable),
    FIELD(FaceConfig, httpNotifyInterval),
    FIELD(FaceConfig, httpUrl),
    FIELD(FaceConfig, httpUser),
    FIELD(FaceConfig, httpPassword),
    FIELD(FaceConfig, recordSeconds),
    FIELD(FaceConfig, prerecordSeconds),
    FIELD(FaceConfig, postEnable),
    FIELD(FaceConfig, postType),
    FIELD(FaceConfig, attributeEnable),
    FIELD(FaceConfig, attributeType),
    FIELD(FaceConfig, mosaicEnable),
    FIELD(FaceConfig, mosaicModeStatus),
    FIELD(FaceConfig, mutuallyExclusive),
};
const FieldDesc kShieldFields[] = {
    FIELD(FaceShield, enable),
    FIELD(FaceShield, polygonX),
    FIELD(FaceShield, polygonY),
};

EventTables face_tables() {
  EventTables t;
  t.effective = FACE_EFFECTIVE_SCHEDULE;
  t.audible = FACE_AUDIBLE_SCHEDULE;
  t.email = FACE_MAIL_SCHEDULE;
  t.ptz = FACE_PTZ_SCHEDULE;
  t.white_sche = FACE_WHITELED_SCHEDULE;
  t.white_params = FACE_WHITELED_PARAMS;
  t.http_sche = FACE_HTTP_SCHEDULE;
  t.http_params = FACE_HTTP_PARAMS;
  t.ptz_type = PTZ_TYPE_FACE;
  return t;
}

// Fills the cleared record from the request: absent keys are 0, texts are
// cut to their fields, at most 3 capture modes and 4 shield areas. False
// when a present number is refused.
bool fill_face_config(json_object* req, int ch, FaceConfig* f) {
  std::memset(f, 0, sizeof *f);
  f->chnId = ch;
  if (has_refused_value(req, kFaceFields)) return false;
  read_fields(req, f, kFaceFields);
  json_object* modes = json_array_member(req, "captureModeArray");
  for (size_t i = 0; i < static_cast<size_t>(FACE_CAPTURE_MODES); ++i) {
    json_object* m = json_array_at(modes, i);
    if (!is_object(m)) continue;
    if (!json_plain_int(m, "captureQuality", &f->captureQuality[i]) || !json_plain_int(m, "snapshot", &f->snapshot[i]))
      return false;
  }
  json_object* shields = json_array_member(req, "shield");
  for (size_t i = 0; i < static_cast<size_t>(FACE_SHIELDS); ++i) {
    json_object* s = json_array_at(shields, i);
    if (!is_object(s)) continue;
    if (has_refused_value(s, kShieldFields)) return false;
    read_fields(s, &f->shield[i], kShieldFields);
  }
  return true;
}

}  // namespace

// "/2077"
void on_cgi_set_face_config(char* text) {
  JsonPtr req = parse_request(text);
  int ch = 0;
  if (!take_request_id(req.get(), "chnId", FACE_CHANNELS, &ch, CGI_KIND_JSON)) return;
  json_object* q = req.get();
  std::unique_ptr<FaceConfig> face(new FaceConfig);
  if (!fill_face_config(q, ch, face.get()) || !event_dialog_readable(json_member(q, "action", json_type_object))) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  SmartEventAction act;
  bool ok = read_face_event(ZRDB_PATH, &act, ch) == 0 &&
            save_action_dialog(json_member(q, "action", json_type_object), ch, face_tables(), &act, write_face_event);
  if (!finish_event_writes(txn, ok, CGI_KIND_JSON)) return;
  notify_core_int(REQ_FACE_CHANNEL, ch);
  exchange(REQ_FACE_CONFIG_SET, face.get(), sizeof *face, CGI_KIND_JSON);
}

// {"status": first word} of reply 8381.
int on_cgi_set_face_config_cb(const uint8_t* data, size_t len) {
  on_cgi_common_json_cb(static_cast<int>(len / sizeof(int32_t)), data);
  return 1;
}

}  // namespace camera
