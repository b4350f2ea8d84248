// Licence plate recognition: the actions and schedules of the plate-list
// modes (black list, white list, visitor, and the settings page's own
// actions, mode -1), the camera's recognition settings and plate
// wildcards, its analytics support and zoom state.
// Serves "/6179", "/6180", "/6181", "/6182", "/6186", "/6189", "/6190", "/6191".
#include <memory>
#include <string>

#include "core/field_table.h"
#include "core/smart_records.h"
#include "handlers/video/plate_records.h"
#include "handlers/video/video.h"

namespace video {

namespace {

constexpr int REQ_WILDCARDS_GET = 1207;
constexpr int REQ_WILDCARDS_SET = 1208;
constexpr int REQ_ZOOM_STATE = 1215;
constexpr int REQ_ANPR_MODE_CHANGED = 1416;
constexpr int REQ_ANPR_SETTINGS_GET = 3289;
constexpr int REQ_ANPR_SETTINGS_SET = 3290;
constexpr int REQ_ANPR_SUPPORT = 3293;

// ---- Stored actions of the plate-list modes ----------------------------------------------

constexpr int ANPR_MODE_OWN = -1;  // the settings page's own actions
constexpr int ANPR_MODE_MAX = 2;

bool anpr_mode_ok(int mode) { return mode >= ANPR_MODE_OWN && mode <= ANPR_MODE_MAX; }

// Name part of a mode's records and tables.
const char* anpr_mode_tag(int mode) {
  switch (mode) {
    case 0: return "black";
    case 1: return "white";
    case 2: return "visitor";
    default: return "own";
  }
}

// The event record of (channel, mode): family "anpr_event_<tag>" keyed by
// channel, the smart-event action layout. A record never written reads as
// zeros with its channel set.
std::string anpr_event_family(int mode) { return std::string("anpr_event_") + anpr_mode_tag(mode); }

int read_anpr_event(SmartEventAction* rec, int ch, int mode) {
  std::memset(rec, 0, sizeof *rec);
  if (ch < 0 || ch >= NVR_CHANNELS || !anpr_mode_ok(mode)) return -1;
  if (zrdb_read_record(ZRDB_PATH, anpr_event_family(mode).c_str(), ch, rec, sizeof *rec) < 0) return -1;
  rec->channel = ch;
  return 0;
}

int write_anpr_event(const SmartEventAction* rec, int ch, int mode) {
  if (ch < 0 || ch >= NVR_CHANNELS || !anpr_mode_ok(mode)) return -1;
  return zrdb_write_record(ZRDB_PATH, anpr_event_family(mode).c_str(), ch, rec, sizeof *rec);
}

// Every table of a mode. The schedules are keyed by channel in tables of
// the mode ("anpr_<tag>_effective_schedule" ...); black and white lists keep
// white light and HTTP notification in tables of their own, the visitor
// mode in the "vistor"/"visitor" tables, and the settings page's actions
// (mode -1) in tables of their own too, so saving that page never touches
// the visitor mode's settings. PTZ rows: PTZ type mode + 15.
EventTables anpr_tables(int mode) {
  EventTables t;
  if (!anpr_mode_ok(mode)) return t;
  const std::string base = std::string("anpr_") + anpr_mode_tag(mode) + "_";
  t.effective = base + "effective_schedule";
  t.audible = base + "audible_schedule";
  t.email = base + "mail_schedule";
  t.ptz = base + "ptz_schedule";
  const char* led = mode == 0 ? "black" : mode == 1 ? "white" : mode == 2 ? "vistor" : "own";
  const char* http = mode == 0 ? "black" : mode == 1 ? "white" : mode == 2 ? "visitor" : "own";
  t.white_sche = std::string("lpr_") + led + "_whiteled_esche";
  t.white_params = std::string("lpr_") + led + "_white_led_params";
  t.http_sche = std::string("lpr_") + http + "_mode_http_notification_sche";
  t.http_params = std::string("lpr_") + http + "_mode_http_notification_params";
  t.ptz_type = PTZ_TYPE_PLATE_BASE + mode;
  return t;
}

// Saves the dialog of (channel, mode): its schedules, white light, HTTP
// notification and PTZ rows go to the mode's tables, its trigger keys into
// *rec. Returns the number of changes of the record (PTZ rows count as
// one), or -1 when a store write failed. A missing dialog changes nothing.
int save_anpr_dialog_data(json_object* d, SmartEventAction* rec, int mode, int ch) {
  if (!d || !json_object_is_type(d, json_type_object)) return 0;
  // The PTZ rows are this mode's and this channel's, whatever the dialog
  // names.
  json_object_object_del(d, "ptzChnId");
  json_object_object_del(d, "ptzType");
  const EventSave saved = save_event_tables(d, ch, anpr_tables(mode));
  if (!saved.ok) return -1;
  const SmartEventAction before = *rec;
  apply_event_actions(d, ch, smart_action_fields(rec, false));
  return (std::memcmp(&before, rec, sizeof before) != 0 ? 1 : 0) + (saved.ptz_written ? 1 : 0);
}

// "chnid" 0..63 and "mode" -1..2, else the JSON error reply.
bool take_channel_and_mode(json_object* req, int* ch, int* mode) {
  if (req && json_id_in_range(req, "chnid", 0, NVR_CHANNELS - 1, ch) &&
      json_id_in_range(req, "mode", ANPR_MODE_OWN, ANPR_MODE_MAX, mode))
    return true;
  cgi_error_to_webserver(CGI_KIND_JSON);
  return false;
}

// A dialog belongs to the page's channel: it names no channel or that one.
bool dialog_fits(json_object* d, int ch) {
  if (!event_dialog_readable(d)) return false;
  if (!d || !json_has(d, "chnid")) return true;
  int dch = -1;
  return json_id_in_range(d, "chnid", 0, NVR_CHANNELS - 1, &dch) && dch == ch;
}

// ---- Camera exchanges ----------------------------------------------------------------------

// {"chnid": 0..63}: one int32 to the core, wait for its reply.
void ask_camera(char* text, int req_id) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!req || !json_id_in_range(req.get(), "chnid", 0, NVR_CHANNELS - 1, &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  int32_t query = ch;
  cgi_ipc_exchange(on_video_ipc_callback, req_id, &query, sizeof query, CGI_KIND_JSON);
}

// Three int32 of the camera's reply under the given keys.
void write_three(const void* payload, const char* k0, const char* k1, const char* k2) {
  int32_t v[3];
  std::memcpy(v, payload, sizeof v);
  JsonPtr o(json_object_new_object());
  json_add_int(o.get(), k0, v[0]);
  json_add_int(o.get(), k1, v[1]);
  json_add_int(o.get(), k2, v[2]);
  cgi_write_json(o.get());
  g_callback_done = 1;
}

// The wildcard record of a request object: "filter", "maxPlateCharNum" and
// up to 9 "wildcards" {"enable", "cr_count", "format" (15 characters)};
// entries that are missing or not objects stay zero. False for a refused
// number.
bool build_wildcards(json_object* w, int ch, AnprWildcardRecord* rec) {
  RequestInts n;
  std::memset(rec, 0, sizeof *rec);
  rec->channel = ch;
  rec->filter = n.plain(w, "filter");
  rec->max_plate_char_num = n.plain(w, "maxPlateCharNum");
  json_object* list = json_array_member(w, "wildcards");
  for (int i = 0; i < ANPR_WILDCARDS; ++i) {
    json_object* e = json_array_at(list, static_cast<size_t>(i));
    if (!e || !json_object_is_type(e, json_type_object)) continue;
    rec->enable[i] = n.plain(e, "enable");
    rec->cr_count[i] = n.plain(e, "cr_count");
    n.text(e, "format", rec->format[i]);
  }
  return n.ok;
}

// ---- Recognition settings: keys and fields -------------------------------------------------

using S = AnprSettingsRecord;
const FieldDesc kSettingsHead[] = {
    FIELD(S, chnid),
    FIELD(S, enable),
    FIELD(S, resolution_width),
    FIELD(S, resolution_height),
    FIELD(S, area_x),
    FIELD(S, area_y),
    FIELD(S, area_width),
    FIELD(S, area_height),
    FIELD(S, day_night_mode_enable),
    FIELD(S, scene),
    FIELD(S, direction_enable),
    FIELD(S, region_enable),
    FIELD(S, roiid_enable),
    FIELD(S, process_mode),
    FIELD(S, repeat_check_time_value),
    FIELD(S, repeat_check_time_unit),
    FIELD(S, post_enable),
    FIELD(S, post_type),
    FIELD(S, post_tcp_port),
    FIELD(S, post_http_user),
    FIELD(S, post_http_password),
    FIELD(S, post_http_url),
    FIELD(S, confidence),
};
const FieldDesc kSettingsMid[] = {
    FIELD(S, cur_area),
    FIELD(S, in_night_mode),
    FIELD_AS(S, platecolor_enable, "platecolorEnable"),
    FIELD_AS(S, vehicletype_enable, "vehicletypeEnable"),
    FIELD_AS(S, vehiclecolor_enable, "vehiclecolorEnable"),
};
const FieldDesc kSettingsTail[] = {
    FIELD(S, night_mode_enable),
    FIELD(S, night_mode_level),
    FIELD(S, night_mode_starthour),
    FIELD(S, night_mode_startminute),
    FIELD(S, night_mode_stophour),
    FIELD(S, night_mode_stopminute),
    FIELD(S, night_mode_effective_mode),
    FIELD_AS(S, json_support, "jsonSupport"),
    FIELD_AS(S, ir_led_external_support, "irLedExternalSupport"),
    FIELD_AS(S, vehicle_enhancement, "vehicleEnhancement"),
    FIELD_AS(S, vehicle_brand_enable, "vehicleBrandEnable"),
};
const FieldDesc kAitype[] = {FIELD(S, aitype)};
// ROI entries; preset entries answer their end row as "endy".
const FieldDesc kRoiFields[] = {
    FIELD(AnprArea, name),
    FIELD_AS(AnprArea, start_x, "startX"),
    FIELD_AS(AnprArea, start_y, "startY"),
    FIELD_AS(AnprArea, end_x, "endX"),
    FIELD_AS(AnprArea, end_y, "endY"),
};
const FieldDesc kPresetFields[] = {
    FIELD(AnprArea, name),
    FIELD_AS(AnprArea, start_x, "startX"),
    FIELD_AS(AnprArea, start_y, "startY"),
    FIELD_AS(AnprArea, end_x, "endX"),
    FIELD_AS(AnprArea, end_y, "endy"),
};
const FieldDesc kPolygonFields[] = {
    FIELD(AnprPolygon, name),
    FIELD_AS(AnprPolygon, polygon_x, "polygonX"),
    FIELD_AS(AnprPolygon, polygon_y, "polygonY"),
};

bool polygons_apply(const AnprSettingsRecord& r) { return r.json_support != 0 && on_cgi_is_zr_lpr(r.aitype); }

json_object* area_json(const AnprArea& a, const FieldDesc (&fields)[5]) {
  json_object* o = json_object_new_object();
  add_fields(o, &a, fields);
  return o;
}

json_object* object_at(json_object* arr, int i) {
  json_object* e = json_array_at(arr, static_cast<size_t>(i));
  return e && json_object_is_type(e, json_type_object) ? e : nullptr;
}

// The fields of the table under the plain rule (absent: 0 or ""), each
// number read strictly.
template <size_t N>
void read_checked(json_object* req, void* rec, const FieldDesc (&fields)[N], RequestInts* n) {
  for (const FieldDesc& f : fields)
    if (!f.text) n->plain(req, f.key);
  read_fields(req, rec, fields);
}

// The settings record of a "/6182" request: every key under the plain rule
// (absent: 0 or ""), texts cut to their fields. False for a refused number.
bool build_settings(json_object* q, int ch, AnprSettingsRecord* r) {
  RequestInts n;
  std::memset(r, 0, sizeof *r);
  read_checked(q, r, kSettingsHead, &n);
  read_checked(q, r, kSettingsMid, &n);
  read_checked(q, r, kSettingsTail, &n);
  read_checked(q, r, kAitype, &n);
  r->chnid = ch;
  r->in_night_mode = 0;  // the camera's own state
  json_object* regions = json_array_member(q, "region");
  for (int i = 0; i < ANPR_REGIONS; ++i) {
    json_object* v = json_array_at(regions, static_cast<size_t>(i));
    if (v && json_object_is_type(v, json_type_string)) copy_field(r->region[i], json_object_get_string(v));
  }
  json_object* rois = json_array_member(q, "roi");
  for (int i = 0; i < ANPR_ROIS; ++i)
    if (json_object* e = object_at(rois, i)) read_checked(e, &r->roi[i], kRoiFields, &n);
  json_object* groups = json_array_member(q, "preset");
  for (int g = 0; g < ANPR_PRESET_GROUPS; ++g) {
    json_object* group = json_array_at(groups, static_cast<size_t>(g));  // json_array_at checks the type
    for (int j = 0; j < ANPR_PRESET_AREAS; ++j) {
      json_object* e = object_at(group, j);
      if (!e) continue;
      AnprArea& a = r->preset[g][j];
      // The getter answers the end row as "endy"; the older pages send
      // "endY". Either is taken, "endy" first.
      read_checked(e, &a, kRoiFields, &n);
      if (json_has(e, "endy")) a.end_y = n.plain(e, "endy");
    }
  }
  if (polygons_apply(*r)) {
    json_object* polys = json_array_member(q, "normalPolygons");
    for (int i = 0; i < ANPR_POLYGONS; ++i)
      if (json_object* e = object_at(polys, i)) read_fields(e, &r->normal_polygons[i], kPolygonFields);
  }
  return n.ok;
}

}  // namespace

// ---- Mode actions ---------------------------------------------------------------------------

// {"chnid", "mode"}: the actions and schedules of the mode; mode -1 answers
// its effective schedule only.
void on_get_anpr_mode_params(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0, mode = 0;
  if (!take_channel_and_mode(req.get(), &ch, &mode)) return;
  const EventTables t = anpr_tables(mode);
  SmartEventAction r;
  if (read_anpr_event(&r, ch, mode) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr o(json_object_new_object());
  json_object* a = o.get();
  json_add_int(a, "chnid", ch);
  json_add_int(a, "mode", mode);
  if (mode == ANPR_MODE_OWN) {
    json_add(a, "effective", event_schedule_json(t.effective, ch));
    cgi_write_json(a);
    return;
  }
  json_add_int(a, "enable", r.enable);
  json_add_int(a, "triAlarms", r.tri_alarms);
  json_add_int(a, "interval", r.interval);
  json_add_int(a, "email_interval", r.email_interval);
  json_add_int(a, "email_pic_enable", r.email_pic_enable);
  json_add_field(a, "tri_channels_pic", r.tri_channels_pic);
  json_add_int(a, "ptz_interval", r.ptz_interval);
  json_add_int(a, "alarmout_interval", r.alarmout_interval);
  json_add_int(a, "white_interval", r.white_interval);
  json_add_int(a, "http_notification_interval", r.http_notification_interval);
  json_add_field(a, "triChannels", r.tri_channels);
  json_add(a, "effective", event_schedule_json(t.effective, ch));
  json_add(a, "audible", event_schedule_json(t.audible, ch));
  json_add(a, "email", event_schedule_json(t.email, ch));
  json_add(a, "ptz", event_schedule_json(t.ptz, ch));
  json_add(a, "triChnAlarms", get_event_chn_alarmout_object(r.tri_chn_alarms[0], r.tri_chn_alarms[1]));
  json_add(a, "white", event_schedule_json(t.white_sche, ch));
  json_add(a, "whiteInfo", event_white_json(t, ch));
  json_add(a, "httpSche", event_schedule_json(t.http_sche, ch));
  json_add(a, "httpParams", event_http_json(t, ch));
  json_add_int(a, "audioId", r.audio_id);
  json_add_int(a, "audioIdMask", get_audio_file_id_mask());
  json_add(a, "ptzParams", event_ptz_json(t, ch));
  cgi_write_json(a);
}

// {"chnid", "mode", "enable", dialog keys...} (or the keys in "dialog"):
// saves the mode's actions, tells the core (1416: channel, mode).
void on_set_anpr_mode_params(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0, mode = 0;
  if (!take_channel_and_mode(req.get(), &ch, &mode)) return;
  json_object* q = req.get();
  json_object* d = json_member(q, "dialog", json_type_object);
  if (!d) d = q;
  if (!dialog_fits(d, ch) || json_int_member(q, "enable", nullptr) == JSON_INT_BAD) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  SmartEventAction rec;
  bool ok = read_anpr_event(&rec, ch, mode) == 0;
  int changes = ok ? save_anpr_dialog_data(d, &rec, mode, ch) : 0;
  if (changes < 0) ok = false;
  if (ok && json_strict_int(q, "enable", &rec.enable)) ++changes;
  if (ok && changes > 0) ok = write_anpr_event(&rec, ch, mode) == 0;
  if (!finish_event_writes(txn, ok, CGI_KIND_JSON)) return;
  const int32_t note[2] = {ch, mode};
  notify_core(REQ_ANPR_MODE_CHANGED, note, sizeof note);
  cgi_reply_ok();
}

// ---- Recognition settings -----------------------------------------------------------------

void on_get_anpr_settings(char* text) { ask_camera(text, REQ_ANPR_SETTINGS_GET); }

void on_get_anpr_settings_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  std::unique_ptr<AnprSettingsRecord> rec(new AnprSettingsRecord);
  std::memcpy(rec.get(), payload, sizeof *rec);
  const AnprSettingsRecord& r = *rec;
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  add_fields(out, &r, kSettingsHead);
  json_object* regions = json_object_new_array();
  for (const auto& region : r.region)
    json_object_array_add(regions, json_object_new_string_len(region, static_cast<int>(strnlen(region, sizeof region))));
  json_add(out, "region", regions);
  add_fields(out, &r, kSettingsMid);
  json_object* rois = json_object_new_array();
  for (const AnprArea& a : r.roi) json_object_array_add(rois, area_json(a, kRoiFields));
  json_add(out, "roi", rois);
  json_object* groups = json_object_new_array();
  for (const auto& g : r.preset) {
    json_object* group = json_object_new_array();
    for (const AnprArea& a : g) json_object_array_add(group, area_json(a, kPresetFields));
    json_object_array_add(groups, group);
  }
  json_add(out, "preset", groups);
  add_fields(out, &r, kSettingsTail);
  if (polygons_apply(r)) {
    json_object* polys = json_object_new_array();
    for (const AnprPolygon& p : r.normal_polygons) {
      json_object* e = json_object_new_object();
      add_fields(e, &p, kPolygonFields);
      json_object_array_add(polys, e);
    }
    json_add(out, "normalPolygons", polys);
  }
  add_fields(out, &r, kAitype);
  cgi_write_json(out);
  g_callback_done = 1;
}

// {"chnid", settings keys..., "dialog", "formatData"}: the settings page's
// own actions (mode -1, read first so keys the dialog lacks keep their
// values), the wildcards (1208, no wait) and the settings (3290, waits for
// the status).
void on_set_anpr_settings(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  int ch = 0;
  if (!take_request_id(q, "chnid", NVR_CHANNELS, &ch, CGI_KIND_JSON)) return;
  json_object* dialog = json_member(q, "dialog", json_type_object);
  if (!dialog_fits(dialog, ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  std::unique_ptr<AnprSettingsRecord> settings(new AnprSettingsRecord);
  // The wildcards of this channel only.
  json_object* format = json_member(q, "formatData", json_type_object);
  int fch = -1;
  if (format && !json_id_in_range(format, "chnid", 0, NVR_CHANNELS - 1, &fch)) fch = -1;
  AnprWildcardRecord wc;
  if (!build_settings(q, ch, settings.get()) || (fch == ch && !build_wildcards(format, ch, &wc))) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }

  if (dialog) {
    ZrdbTransaction txn(ZRDB_PATH);
    SmartEventAction rec;
    bool ok = read_anpr_event(&rec, ch, ANPR_MODE_OWN) == 0;
    const int changes = ok ? save_anpr_dialog_data(dialog, &rec, ANPR_MODE_OWN, ch) : 0;
    if (changes < 0) ok = false;
    if (ok && changes > 0) ok = write_anpr_event(&rec, ch, ANPR_MODE_OWN) == 0;
    if (!finish_event_writes(txn, ok, CGI_KIND_JSON)) return;
  }

  if (fch >= 0) {
    if (fch == ch) {
      notify_core(REQ_WILDCARDS_SET, &wc, sizeof wc);
    } else {
      CGI_LOG("plate wildcards for channel %d on the page of channel %d not sent", fch, ch);
    }
  }
  cgi_ipc_exchange(on_video_ipc_callback, REQ_ANPR_SETTINGS_SET, settings.get(), sizeof *settings, CGI_KIND_JSON);
}

// ---- Wildcards ------------------------------------------------------------------------------

void on_get_ipc_anpr_wildcards(char* text) { ask_camera(text, REQ_WILDCARDS_GET); }

void on_get_ipc_anpr_wildcards_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  AnprWildcardRecord r;
  std::memcpy(&r, payload, sizeof r);
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_add_int(out, "chnid", r.channel);
  json_add_int(out, "filter", r.filter);
  json_add_int(out, "maxPlateCharNum", r.max_plate_char_num);
  json_object* list = json_object_new_array();
  for (int i = 0; i < ANPR_WILDCARDS; ++i) {
    json_object* e = json_object_new_object();
    json_add_int(e, "enable", r.enable[i]);
    json_add_int(e, "cr_count", r.cr_count[i]);
    json_add_field(e, "format", r.format[i]);
    json_object_array_add(list, e);
  }
  json_add(out, "wildcards", list);
  cgi_write_json(out);
  g_callback_done = 1;
}

void on_set_ipc_anpr_wildcards(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!take_request_id(req.get(), "chnid", NVR_CHANNELS, &ch, CGI_KIND_JSON)) return;
  AnprWildcardRecord wc;
  if (!build_wildcards(req.get(), ch, &wc)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_video_ipc_callback, REQ_WILDCARDS_SET, &wc, sizeof wc, CGI_KIND_JSON);
}

// ---- Analytics support and zoom state ---------------------------------------------------------

void on_get_anpr_support_anpr(char* text) { ask_camera(text, REQ_ANPR_SUPPORT); }
void on_get_ipc_zoom_state(char* text) { ask_camera(text, REQ_ZOOM_STATE); }

void on_get_anpr_support_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  write_three(payload, "chnid", "vca_support", "vca_version");
}

void on_get_ipc_zoom_state_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  write_three(payload, "chnid", "state", "zoomNumber");
}

}  // namespace video
