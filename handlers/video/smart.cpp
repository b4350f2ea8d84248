// Smart event analytics: the detectors of a channel (region entrance and
// exit, advanced motion, tamper, line crossing, loitering, human detection,
// people counting, left and removed objects), the analytics engine settings,
// the support query and the clearing of people counters. Detector settings
// live in the core daemon; each write also saves the page's action dialog.
// Serves "/6132", "/6133", "/6134", "/6135", "/6136", "/6137", "/6138", "/6139", "/6140", "/6141", "/6142", "/6143", "/6144", "/6145", "/6146", "/6147", "/6154", "/6157", "/6171", "/6172".
#include "handlers/video/video.h"

namespace video {

namespace {

// ---- Request and reply pieces ------------------------------------------------------------

// A text that may fill its field without a terminator.
void add_bounded(json_object* o, const char* key, const char* text, size_t cap) {
  json_add_text(o, key, std::string_view(text, strnlen(text, cap)));
}

json_object* int_array(const int32_t* v, int n) {
  json_object* a = json_object_new_array();
  for (int i = 0; i < n; ++i) json_object_array_add(a, json_object_new_int(v[i]));
  return a;
}

void write_reply(json_object* out) {
  cgi_write_json(out);
  g_callback_done = 1;
}

// A detector read: {"channel": 0..63} (plus the caller's own keys), one
// int32 to the core, wait for the reply. Not JSON: no answer.
void read_detector(json_object* req, int req_id) {
  int ch = 0;
  if (!req) return;
  if (!json_id_in_range(req, "channel", 0, NVR_CHANNELS - 1, &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  int32_t query = ch;
  cgi_ipc_exchange(on_video_ipc_callback, req_id, &query, sizeof query, CGI_KIND_JSON);
}

// The channel of a detector write ("chnid" 0..63) when the request's dialog
// belongs to it; else the error reply of the page.
bool take_detector_channel(json_object* req, int* ch, int error_kind) {
  if (req && json_id_in_range(req, "chnid", 0, NVR_CHANNELS - 1, ch) && smart_dialog_fits(req, *ch)) return true;
  cgi_error_to_webserver(error_kind);
  return false;
}

// Saves the request's dialog (when present) under the event and announces
// it; false, with the error reply, when a store write failed.
bool save_dialog_and_notify(json_object* req, int ch, int event, const char* copy_chn, int error_kind) {
  json_object* d = json_member(req, "dialog", json_type_object);
  if (!d) return true;
  ZrdbTransaction txn(ZRDB_PATH);
  uint64_t notify = 0;
  const bool ok = save_smart_dialog(d, ch, event, get_channel_mask(copy_chn), &notify);
  if (!finish_event_writes(txn, ok, error_kind)) return false;
  notify_smart_event(notify);
  return true;
}

// ---- Region detectors (entrance, exit, advanced motion, tamper, loitering,
// human detection) ------------------------------------------------------------------------------

enum RegionField : unsigned {
  kArea = 1,         // "region", "objtype", "polygonX", "polygonY"
  kSensitivity = 2,
  kIgnoreTime = 4,
  kLoiter = 8,       // "time", "size"
  kTracks = 16,
  kRegionInfo = 32,  // "regionType", "regionScene", "regionInfo"
};

struct RegionKind {
  int event;
  unsigned fields;
};
constexpr unsigned kEntranceFields = kArea | kSensitivity | kRegionInfo;
const RegionKind kEntrance{SMART_EVENT_REGION_ENTRANCE, kEntranceFields};
const RegionKind kExit{SMART_EVENT_REGION_EXIT, kEntranceFields};
const RegionKind kAdvancedMotion{SMART_EVENT_ADVANCED_MOTION, kEntranceFields | kIgnoreTime};
const RegionKind kTamper{SMART_EVENT_TAMPER, kSensitivity};
const RegionKind kLoitering{SMART_EVENT_LOITERING, kArea | kLoiter | kRegionInfo};
const RegionKind kHuman{SMART_EVENT_HUMAN, kTracks};

// Region info of a request into the four region blocks: for the region
// kinds "enable", "objType" and "time", for left/removed objects
// "leftEnable" and "removeEnable"; one polygon per region for region types
// 0 and 1, five from type 2.
void take_region_info(json_object* req, int region_type, VcaRegionInfo* regions, bool region_kind, RequestInts* n) {
  json_object* info = json_array_member(req, "regionInfo");
  if (region_type == 0 || !info) return;
  const int polygons = region_type >= 2 ? VCA_POLYGONS : 1;
  for (int i = 0; i < VCA_REGIONS; ++i) {
    json_object* e = json_array_at(info, static_cast<size_t>(i));
    if (!e || !json_object_is_type(e, json_type_object)) continue;
    VcaRegionInfo& r = regions[i];
    if (region_kind) {
      r.enable = n->plain(e, "enable");
      r.obj_type = n->plain(e, "objType");
      n->keep(e, "time", &r.time);
    } else {
      r.enable = n->plain(e, "leftEnable");
      r.enable2 = n->plain(e, "removeEnable");
    }
    json_object* list = json_array_member(e, "region");
    for (int j = 0; j < polygons; ++j) {
      json_object* p = json_array_at(list, static_cast<size_t>(j));
      if (!p || !json_object_is_type(p, json_type_object)) continue;
      n->text(p, "polygonX", vca_polygon_x(&r, j), VCA_TEXT);
      n->text(p, "polygonY", vca_polygon_y(&r, j), VCA_TEXT);
    }
  }
}

json_object* region_info_json(const VcaRegionInfo* regions, bool region_kind) {
  json_object* list = json_object_new_array();
  for (int i = 0; i < VCA_REGIONS; ++i) {
    const VcaRegionInfo& r = regions[i];
    json_object* o = json_object_new_object();
    if (region_kind) {
      json_add_int(o, "enable", r.enable);
      json_add_int(o, "objType", r.obj_type);
      json_add_int(o, "time", r.time);
    } else {
      json_add_int(o, "leftEnable", r.enable);
      json_add_int(o, "removeEnable", r.enable2);
    }
    json_object* polys = json_object_new_array();
    for (int j = 0; j < VCA_POLYGONS; ++j) {
      json_object* p = json_object_new_object();
      add_bounded(p, "polygonX", vca_polygon_x(&r, j), VCA_TEXT);
      add_bounded(p, "polygonY", vca_polygon_y(&r, j), VCA_TEXT);
      json_object_array_add(polys, p);
    }
    json_add(o, "region", polys);
    json_object_array_add(list, o);
  }
  return list;
}

// False for a refused number.
bool fill_region_record(json_object* q, const RegionKind& k, int ch, VcaRegionRecord* r) {
  RequestInts n;
  std::memset(r, 0, sizeof *r);
  r->channel = ch;
  r->enable = n.plain(q, "enable");
  if (k.fields & kSensitivity) r->sensitivity = n.plain(q, "sensitivity");
  if (k.fields & kArea) {
    n.text(q, "region", r->region);
    r->obj_type = n.plain(q, "objtype");
    n.text(q, "polygonX", r->polygon_x);
    n.text(q, "polygonY", r->polygon_y);
  }
  if (k.fields & kIgnoreTime) r->ignore_time = n.plain(q, "ignore_time");
  if (k.fields & kLoiter) {
    r->time = n.plain(q, "time");
    r->size = n.plain(q, "size");
  }
  if (k.fields & kTracks) r->tracks = n.plain(q, "tracks");
  if (k.fields & kRegionInfo) {
    r->region_type = n.plain(q, "regionType");
    r->region_scene = n.plain(q, "regionScene");
    take_region_info(q, r->region_type, r->regions, true, &n);
  }
  n.text(q, "copyChn", r->copy_chn);
  return n.ok;
}

void set_region_detector(char* text, const RegionKind* fixed) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  int ch = 0;
  if (!take_detector_channel(q, &ch, CGI_KIND_TEXT)) return;
  const RegionKind* k = fixed;
  if (!k) {
    // The region page: "type" 0 is the entrance, any other the exit.
    int type = 0;
    if (!json_id_in_range(q, "type", INT32_MIN, INT32_MAX, &type)) {
      cgi_error_to_webserver(CGI_KIND_TEXT);
      return;
    }
    k = type == 0 ? &kEntrance : &kExit;
  }
  VcaRegionRecord rec;
  if (!fill_region_record(q, *k, ch, &rec)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  if (!save_dialog_and_notify(q, ch, k->event, rec.copy_chn, CGI_KIND_TEXT)) return;
  cgi_ipc_exchange(on_video_ipc_callback, vca_write_request(k->event), &rec, sizeof rec, CGI_KIND_TEXT);
}

void region_reply(int count, const void* payload, const RegionKind& k) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  VcaRegionRecord r;
  std::memcpy(&r, payload, sizeof r);
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  if (k.fields & kArea) json_add_field(out, "region", r.region);
  json_add_int(out, "enable", r.enable);
  if (k.fields & kSensitivity) json_add_int(out, "sensitivity", r.sensitivity);
  if (k.fields & kIgnoreTime) json_add_int(out, "ignore_time", r.ignore_time);
  if (k.fields & kLoiter) {
    json_add_int(out, "time", r.time);
    json_add_int(out, "size", r.size);
  }
  if (k.fields & kTracks) json_add_int(out, "tracks", r.tracks);
  if (k.fields & kArea) {
    json_add_int(out, "objtype", r.obj_type);
    json_add_field(out, "polygonX", r.polygon_x);
    json_add_field(out, "polygonY", r.polygon_y);
  }
  // What the setter needs to write the detector back unchanged.
  if (k.fields & kRegionInfo) {
    json_add_int(out, "regionType", r.region_type);
    json_add_int(out, "regionScene", r.region_scene);
    json_add(out, "regionInfo", region_info_json(r.regions, true));
  }
  if (k.event <= SMART_EVENT_REGION_EXIT) json_add_int(out, "type", k.event);
  json_add_int(out, "chnid", r.channel);
  write_reply(out);
}

// ---- Line crossing -------------------------------------------------------------------------

// The picture size a page converts its canvas points with: the request's
// "width" and "height", 1920 x 1080 when absent.
void request_picture(json_object* q, int32_t* w, int32_t* h, RequestInts* n) {
  *w = VCA_DEFAULT_W;
  *h = VCA_DEFAULT_H;
  n->keep(q, "width", w);
  n->keep(q, "height", h);
}

// ---- People counting -----------------------------------------------------------------------

// False for a refused number.
bool fill_people_record(json_object* q, int ch, VcaPeopleRecord* r) {
  RequestInts n;
  // Element i of an array member.
  auto member_elem = [q, &n](const char* key, int i) {
    return n.elem(json_array_member(q, key), static_cast<size_t>(i));
  };
  std::memset(r, 0, sizeof *r);
  r->channel = ch;
  r->width = n.plain(q, "width");
  r->height = n.plain(q, "height");
  int32_t w = 0, h = 0;
  request_picture(q, &w, &h, &n);
  r->osd_enable = n.plain(q, "osdEnable");
  r->osd_font_size = n.plain(q, "osdFontSize");
  r->osd_text_pos = n.plain(q, "osdTextPos");
  r->osd_type = static_cast<uint8_t>(n.plain(q, "osdType"));
  r->sensitivity = n.plain(q, "sensitivity");
  r->line_num = n.plain(q, "lineNum");
  r->trigger_type = n.plain(q, "triggerType");
  r->trigger_enable = n.plain(q, "triggerEnable");
  r->total_alarm_enable = n.plain(q, "totalAlarmEnable");
  for (int t = 0; t < 4; ++t) r->total_alarm_threshold[t] = member_elem("totalAlarmThreshold", t);
  json_object* thresholds = json_array_member(q, "alarmThreshold");
  json_object* positions = json_array_member(q, "position");
  for (int i = 0; i < VCA_LINES; ++i) {
    VcaPeopleLine& l = r->lines[i];
    l.line_enable = static_cast<uint8_t>(member_elem("lineEnable", i));
    l.auto_reset_enable = static_cast<uint8_t>(member_elem("autoResetEnable", i));
    l.direction = static_cast<uint8_t>(member_elem("direction", i));
    l.show_cnt_enable = static_cast<uint8_t>(member_elem("showCntEnable", i));
    l.auto_reset_weekday = member_elem("autoResetWeekday", i);
    l.auto_reset_hour = member_elem("autoResetHour", i);
    l.auto_reset_min = member_elem("autoResetMin", i);
    l.auto_reset_sec = member_elem("autoResetSec", i);
    l.alarm_enable = member_elem("alarmEnable", i);
    json_object* th = json_array_at(thresholds, static_cast<size_t>(i));
    for (int t = 0; t < 4; ++t) l.alarm_threshold[t] = n.elem(th, static_cast<size_t>(t));
    json_object* pos = json_array_at(positions, static_cast<size_t>(i));
    if (pos && !json_object_is_type(pos, json_type_string)) n.ok = false;
    if (pos && json_object_is_type(pos, json_type_string)) {
      // The page draws on the canvas: the camera gets pixels, as for lines.
      int32_t p[4];
      position_from_canvas(json_object_get_string(pos), 127, w, h, p);
      l.start_x = p[0];
      l.start_y = p[1];
      l.stop_x = p[2];
      l.stop_y = p[3];
    }
  }
  if (!event_schedule_readable(q, "effective")) n.ok = false;
  get_schedule_by_json_ipc(q, "effective", &r->effective);
  n.text(q, "copyChn", r->copy_chn);
  return n.ok;
}

}  // namespace

// ---- Reply writers -------------------------------------------------------------------------------

void on_get_vca_region_cb(int count, const void* payload) { region_reply(count, payload, kEntrance); }
void on_get_vca_region_exit_cb(int count, const void* payload) { region_reply(count, payload, kExit); }
void on_get_vca_motion_cb(int count, const void* payload) { region_reply(count, payload, kAdvancedMotion); }
void on_get_vca_tamper_cb(int count, const void* payload) { region_reply(count, payload, kTamper); }
void on_get_vca_loitering_cb(int count, const void* payload) { region_reply(count, payload, kLoitering); }
void on_get_vca_human_cb(int count, const void* payload) { region_reply(count, payload, kHuman); }

void on_get_vca_line_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  VcaLineRecord r;
  std::memcpy(&r, payload, sizeof r);
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_object* lines = json_object_new_array();
  for (const VcaLine& l : r.lines) {
    json_object* e = json_object_new_object();
    json_add_int(e, "direction", l.direction);
    json_add(e, "position", canvas_position_json(l.start_x, l.start_y, l.end_x, l.end_y, r.width, r.height));
    json_object_array_add(lines, e);
  }
  json_add(out, "line", lines);
  json_add_int(out, "enable", r.enable);
  json_add_int(out, "width", r.width);
  json_add_int(out, "height", r.height);
  json_add_int(out, "objtype", r.obj_type);
  json_add_int(out, "chnid", r.channel);
  write_reply(out);
}

void on_get_vca_people_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  std::unique_ptr<VcaPeopleRecord> rec(new VcaPeopleRecord);
  std::memcpy(rec.get(), payload, sizeof *rec);
  const VcaPeopleRecord& r = *rec;
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_add_int(out, "width", r.width);
  json_add_int(out, "height", r.height);
  json_add_int(out, "osdEnable", r.osd_enable);
  json_add_int(out, "osdFontSize", r.osd_font_size);
  json_add_int(out, "osdTextPos", r.osd_text_pos);
  json_add_int(out, "osdType", r.osd_type);
  json_add_int(out, "sensitivity", r.sensitivity);
  json_add_int(out, "lineNum", r.line_num);
  int32_t v[16][VCA_LINES];
  for (int i = 0; i < VCA_LINES; ++i) {
    const VcaPeopleLine& l = r.lines[i];
    const int32_t row[] = {l.line_enable, l.auto_reset_enable, l.direction, l.show_cnt_enable,
                           l.start_x, l.start_y, l.stop_x, l.stop_y,
                           l.auto_reset_weekday, l.auto_reset_hour, l.auto_reset_min, l.auto_reset_sec,
                           l.alarm_enable};
    for (int k = 0; k < 13; ++k) v[k][i] = row[k];
  }
  const char* const keys[] = {"lineEnable", "autoResetEnable", "direction", "showCntEnable",
                              "startX", "startY", "stopX", "stopY",
                              "autoResetWeekday", "autoResetHour", "autoResetMin", "autoResetSec"};
  for (int k = 0; k < 12; ++k) json_add(out, keys[k], int_array(v[k], VCA_LINES));
  json_object* pos = json_object_new_array();
  for (const VcaPeopleLine& l : r.lines) {
    const std::string p = position_text(at_least_1(vca_to_canvas(l.start_x, r.width, VCA_CANVAS_W)),
                                        at_least_1(vca_to_canvas(l.start_y, r.height, VCA_CANVAS_H)),
                                        at_least_1(vca_to_canvas(l.stop_x, r.width, VCA_CANVAS_W)),
                                        at_least_1(vca_to_canvas(l.stop_y, r.height, VCA_CANVAS_H)));
    json_object_array_add(pos, json_object_new_string(p.c_str()));
  }
  json_add(out, "position", pos);
  // What the setter needs to write the counter settings back unchanged.
  json_add_int(out, "triggerType", r.trigger_type);
  json_add_int(out, "triggerEnable", r.trigger_enable);
  json_add_int(out, "totalAlarmEnable", r.total_alarm_enable);
  json_add(out, "totalAlarmThreshold", int_array(r.total_alarm_threshold, 4));
  json_add(out, "alarmEnable", int_array(v[12], VCA_LINES));
  json_object* th = json_object_new_array();
  for (const VcaPeopleLine& l : r.lines) json_object_array_add(th, int_array(l.alarm_threshold, 4));
  json_add(out, "alarmThreshold", th);
  json_add(out, "effective", get_schedule_json_object_ipc(&r.effective));
  json_add_int(out, "chnid", r.channel);
  write_reply(out);
}

void on_get_vca_support_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  VcaSupportRecord r;
  std::memcpy(&r, payload, sizeof r);
  JsonPtr o(json_object_new_object());
  json_add_int(o.get(), "support", r.support);
  json_add_int(o.get(), "type", r.type);
  write_reply(o.get());
}

void on_get_vca_settings_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  VcaSettingsRecord r;
  std::memcpy(&r, payload, sizeof r);
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_add_int(out, "fps", r.fps);
  json_add_int(out, "mode", r.mode);
  json_add_int(out, "installation", r.installation);
  json_add_int(out, "analysis", r.analysis);
  json_add_int(out, "width", r.width);
  json_add_int(out, "height", r.height);
  json_add_int(out, "vcaType", r.vca_type);
  const int32_t box[8] = {r.min_x, r.min_y, r.min_width, r.min_height, r.max_x, r.max_y, r.max_width, r.max_height};
  json_object* p = json_object_new_object();
  for (int i = 0; i < 8; ++i) {
    const bool x = i % 2 == 0;
    json_add_int(p, kVcaBoxKeys[i], at_least_1(vca_to_canvas(box[i], x ? r.width : r.height,
                                                          x ? VCA_CANVAS_W : VCA_CANVAS_H)));
  }
  json_object* list = json_object_new_array();
  json_object_array_add(list, p);
  json_add(out, "position", list);
  json_add_int(out, "chnid", r.channel);
  write_reply(out);
}

void on_get_vca_leftremove_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  VcaLeftRemoveRecord r;
  std::memcpy(&r, payload, sizeof r);
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_add_field(out, "region", r.region);
  json_add_int(out, "left_enable", r.left_enable);
  json_add_int(out, "remove_enable", r.remove_enable);
  json_add_int(out, "min_time", r.min_time);
  json_add_int(out, "sensitivity", r.sensitivity);
  json_add_field(out, "polygonX", r.polygon_x);
  json_add_field(out, "polygonY", r.polygon_y);
  json_add_int(out, "regionType", r.region_type);
  json_add_int(out, "regionScene", r.region_scene);
  json_add(out, "regionInfo", region_info_json(r.regions, false));
  json_add_int(out, "chnid", r.channel);
  write_reply(out);
}

// ---- Handlers ---------------------------------------------------------------------------------------

void on_get_vca_region(char* text) {
  JsonPtr req(parse_request_object(text));
  if (!req) return;
  int type = 0;
  if (!json_id_in_range(req.get(), "type", INT32_MIN, INT32_MAX, &type)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  read_detector(req.get(), vca_read_request(type == 0 ? SMART_EVENT_REGION_ENTRANCE : SMART_EVENT_REGION_EXIT));
}
void on_get_vca_motion(char* text) {
  JsonPtr req(parse_request_object(text));
  read_detector(req.get(), vca_read_request(SMART_EVENT_ADVANCED_MOTION));
}
void on_get_vca_tamper(char* text) {
  JsonPtr req(parse_request_object(text));
  read_detector(req.get(), vca_read_request(SMART_EVENT_TAMPER));
}
void on_get_vca_line(char* text) {
  JsonPtr req(parse_request_object(text));
  read_detector(req.get(), vca_read_request(SMART_EVENT_LINE_CROSSING));
}
void on_get_vca_loitering(char* text) {
  JsonPtr req(parse_request_object(text));
  read_detector(req.get(), vca_read_request(SMART_EVENT_LOITERING));
}
void on_get_vca_human(char* text) {
  JsonPtr req(parse_request_object(text));
  read_detector(req.get(), vca_read_request(SMART_EVENT_HUMAN));
}
void on_get_vca_people(char* text) {
  JsonPtr req(parse_request_object(text));
  read_detector(req.get(), REQ_VCA_PEOPLE_GET);
}
void on_get_vca_settings(char* text) {
  JsonPtr req(parse_request_object(text));
  read_detector(req.get(), REQ_VCA_SETTINGS_GET);
}
void on_get_vca_leftremove(char* text) {
  JsonPtr req(parse_request_object(text));
  read_detector(req.get(), REQ_VCA_LEFTREMOVE_GET);
}
void on_get_vca_support(char* text) {
  JsonPtr req(parse_request_object(text));
  read_detector(req.get(), REQ_VCA_SUPPORT);
}

void on_set_vca_region(char* text) { set_region_detector(text, nullptr); }
void on_set_vca_motion(char* text) { set_region_detector(text, &kAdvancedMotion); }
void on_set_vca_tamper(char* text) { set_region_detector(text, &kTamper); }
void on_set_vca_loitering(char* text) { set_region_detector(text, &kLoitering); }
void on_set_vca_human(char* text) { set_region_detector(text, &kHuman); }

void on_set_vca_line(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  int ch = 0;
  if (!take_detector_channel(q, &ch, CGI_KIND_TEXT)) return;
  RequestInts n;
  int32_t w = 0, h = 0;
  request_picture(q, &w, &h, &n);
  VcaLineRecord rec;
  std::memset(&rec, 0, sizeof rec);
  rec.channel = ch;
  json_object* lines = json_array_member(q, "line");
  for (int i = 0; i < VCA_LINES; ++i) {
    json_object* e = json_array_at(lines, static_cast<size_t>(i));
    if (!e || !json_object_is_type(e, json_type_object)) continue;
    char pos[32];
    n.text(e, "position", pos);
    int32_t p[4];
    position_from_canvas(pos, 31, w, h, p);
    VcaLine& l = rec.lines[i];
    l.start_x = p[0];
    l.start_y = p[1];
    l.end_x = p[2];
    l.end_y = p[3];
    l.direction = n.plain(e, "direction");
  }
  rec.enable = n.plain(q, "enable");
  rec.obj_type = n.plain(q, "objtype");
  n.text(q, "copyChn", rec.copy_chn);
  if (!n.ok) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  if (!save_dialog_and_notify(q, ch, SMART_EVENT_LINE_CROSSING, rec.copy_chn, CGI_KIND_TEXT)) return;
  cgi_ipc_exchange(on_video_ipc_callback, vca_write_request(SMART_EVENT_LINE_CROSSING), &rec, sizeof rec,
                   CGI_KIND_TEXT);
}

void on_set_vca_people(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  int ch = 0;
  if (!take_detector_channel(q, &ch, CGI_KIND_TEXT)) return;
  std::unique_ptr<VcaPeopleRecord> rec(new VcaPeopleRecord);
  if (!fill_people_record(q, ch, rec.get())) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }

  // The counting event is on while any line counts.
  ZrdbTransaction txn(ZRDB_PATH);
  SmartEventAction action;
  if (read_smart_event(ZRDB_PATH, &action, ch, SMART_EVENT_PEOPLE_COUNTING) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  const SmartEventAction before = action;
  action.enable = 0;
  for (const VcaPeopleLine& l : rec->lines)
    if (l.line_enable) action.enable = 1;
  bool ok = std::memcmp(&before, &action, sizeof action) == 0 ||
            write_smart_event(ZRDB_PATH, &action, ch, SMART_EVENT_PEOPLE_COUNTING) == 0;
  uint64_t notify = 0;
  json_object* d = json_member(q, "dialog", json_type_object);
  if (ok && d) ok = save_smart_dialog(d, ch, SMART_EVENT_PEOPLE_COUNTING, get_channel_mask(rec->copy_chn), &notify);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  if (d) notify_smart_event(notify);
  cgi_ipc_exchange(on_video_ipc_callback, REQ_VCA_PEOPLE_SET, rec.get(), sizeof *rec, CGI_KIND_TEXT);
}

void on_set_vca_settings(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  if (!q) return;
  int ch = 0;
  if (!take_detector_channel(q, &ch, CGI_KIND_JSON)) return;
  RequestInts n;
  VcaSettingsRecord rec;
  std::memset(&rec, 0, sizeof rec);
  rec.channel = ch;
  rec.fps = n.plain(q, "fps");
  rec.mode = n.plain(q, "mode");
  rec.installation = n.plain(q, "installation");
  rec.analysis = n.plain(q, "analysis");
  rec.width = n.plain(q, "width");
  rec.height = n.plain(q, "height");
  // The box: the first object of "position" (or "position" itself).
  json_object* box = json_member(q, "position", json_type_object);
  if (!box) box = json_array_at(json_array_member(q, "position"), 0);
  if (box && !json_object_is_type(box, json_type_object)) box = nullptr;
  int32_t* const fields[8] = {&rec.min_x, &rec.min_y, &rec.min_width, &rec.min_height,
                              &rec.max_x, &rec.max_y, &rec.max_width, &rec.max_height};
  for (int i = 0; i < 8; ++i) {
    const bool x = i % 2 == 0;
    *fields[i] = at_least_1(vca_from_canvas(n.plain(box, kVcaBoxKeys[i]), x ? rec.width : rec.height,
                                            x ? VCA_CANVAS_W : VCA_CANVAS_H));
  }
  if (!n.ok) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_video_ipc_callback, REQ_VCA_SETTINGS_SET, &rec, sizeof rec, CGI_KIND_JSON);
}

void on_set_vca_leftremove(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  if (!q) return;
  int ch = 0;
  if (!take_detector_channel(q, &ch, CGI_KIND_JSON)) return;
  RequestInts n;
  VcaLeftRemoveRecord rec;
  std::memset(&rec, 0, sizeof rec);
  rec.channel = ch;
  rec.sensitivity = n.plain(q, "sensitivity");
  rec.left_enable = n.plain(q, "left_enable");
  rec.remove_enable = n.plain(q, "remove_enable");
  rec.min_time = n.plain(q, "min_time");
  n.text(q, "region", rec.region);
  n.text(q, "polygonX", rec.polygon_x);
  n.text(q, "polygonY", rec.polygon_y);
  rec.region_type = n.plain(q, "regionType");
  rec.region_scene = n.plain(q, "regionScene");
  take_region_info(q, rec.region_type, rec.regions, false, &n);
  n.text(q, "copyChn", rec.copy_chn);
  if (!n.ok) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  if (!save_dialog_and_notify(q, ch, SMART_EVENT_LEFT_REMOVED, rec.copy_chn, CGI_KIND_JSON)) return;
  cgi_ipc_exchange(on_video_ipc_callback, REQ_VCA_LEFTREMOVE_SET, &rec, sizeof rec, CGI_KIND_JSON);
}

void on_vca_clear_people_count(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  if (!q) return;
  int ch = 0;
  if (!json_id_in_range(q, "channel", 0, NVR_CHANNELS - 1, &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  VcaClearCount c;
  std::memset(&c, 0, sizeof c);
  c.channel = ch;
  RequestInts n;
  c.line = n.plain(q, "line");
  c.resetdb = n.plain(q, "resetdb");
  if (!n.ok) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_video_ipc_callback, REQ_VCA_CLEAR_COUNT, &c, sizeof c, CGI_KIND_JSON);
}

}  // namespace video
