// Fisheye cameras (mounting, display and correction of a channel; the check
// and setting of a fisheye camera reached by address) and regional people
// counting (four counting regions of a camera with their stay rules and
// effective schedule, and per-region event actions kept in the store).
// Serves "/6130", "/6131", "/6196", "/6197", "/6096", "/6097".
#include "handlers/video/video.h"

namespace video {

namespace {

// ---- Store of the per-region actions ---------------------------------------------------

bool region_ok(int r) { return r >= 0 && r < PCNT_REGIONS; }
bool channel_ok(int ch) { return ch >= 0 && ch < NVR_CHANNELS; }

std::string regional_family(int region) { return "regional_pcnt" + std::to_string(region) + "_event"; }

// Schedule kinds of a region: 1 audible, 2 e-mail, 3 PTZ, 4 white LED, 6 HTTP
// notification; "" for another kind.
std::string regional_schedule_table(int kind, int region) {
  const char* what = kind == 1 ? "audible" : kind == 2 ? "mail" : kind == 3 ? "ptz" : kind == 4 ? "whiteled"
                     : kind == 6 ? "http_notification" : nullptr;
  if (!what || !region_ok(region)) return "";
  return "regional_pcnt" + std::to_string(region) + "_" + what + "_schedule";
}

const char* const kWhiteParams[PCNT_REGIONS] = {"regional_pcnt_whiteled_params", "regional_pcnt1_whiteled_params",
                                                "regional_pcnt2_whiteled_params", "regional_pcnt3_whiteled_params"};
const char* const kHttpParams[PCNT_REGIONS] = {
    "regional_pcnt_http_notification_params", "regional_pcnt1_http_notification_params",
    "regional_pcnt2_http_notification_params", "regional_pcnt3_http_notification_params"};

// Every table of a region's actions (no effective schedule: the camera
// keeps that one).
EventTables regional_tables(int region) {
  EventTables t;
  if (!region_ok(region)) return t;
  t.audible = regional_schedule_table(1, region);
  t.email = regional_schedule_table(2, region);
  t.ptz = regional_schedule_table(3, region);
  t.white_sche = regional_schedule_table(4, region);
  t.http_sche = regional_schedule_table(6, region);
  t.white_params = kWhiteParams[region];
  t.http_params = kHttpParams[region];
  t.ptz_type = PTZ_TYPE_REGION_PCNT_BASE + region;
  return t;
}

void fix_channel(void* rec, int target) { static_cast<SmartEventAction*>(rec)->channel = target; }

}  // namespace

int read_regional_pcnt_event(const char* db, SmartEventAction* rec, int ch, int region) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  if (!channel_ok(ch) || !region_ok(region)) return -1;
  if (zrdb_read_record(db, regional_family(region).c_str(), ch, rec, sizeof *rec) < 0) return -1;
  rec->channel = ch;
  return 0;
}

int write_regional_pcnt_event(const char* db, const SmartEventAction* rec, int ch, int region) {
  if (!rec || !channel_ok(ch) || !region_ok(region)) return -1;
  return zrdb_write_record(db, regional_family(region).c_str(), ch, rec, sizeof *rec);
}

int copy_regional_pcnt_event(const char* db, int ch, int region, uint64_t mask) {
  if (!channel_ok(ch) || !region_ok(region)) return -1;
  return zrdb_copy_record_fix(db, regional_family(region).c_str(), ch, mask & ~(1ULL << ch), sizeof(SmartEventAction),
                              fix_channel);
}

namespace {

// ---- Replies -----------------------------------------------------------------------------

// The actions of the four regions of the channel being read, made by the
// handler before its exchange; the reply writer adds them to the answer.
JsonPtr g_regional_actions;

json_object* regional_action_json(int ch, int region) {
  const EventTables t = regional_tables(region);
  SmartEventAction r;
  read_regional_pcnt_event(ZRDB_PATH, &r, ch, region);
  json_object* a = json_object_new_object();
  json_add(a, "audible", event_schedule_json(t.audible, ch));
  json_add_int(a, "interval", r.interval);
  json_add_int(a, "audioId", r.audio_id);
  json_add(a, "email", event_schedule_json(t.email, ch));
  json_add_int(a, "email_interval", r.email_interval);
  json_add_int(a, "email_pic_enable", r.email_pic_enable);
  json_add_field(a, "tri_channels_pic", r.tri_channels_pic);
  json_add(a, "ptz", event_schedule_json(t.ptz, ch));
  json_add_int(a, "ptz_interval", r.ptz_interval);
  json_add(a, "ptzParams", event_ptz_json(t, ch));
  json_add(a, "white", event_schedule_json(t.white_sche, ch));
  json_add(a, "whiteInfo", event_white_json(t, ch));
  json_add_int(a, "white_interval", r.white_interval);
  json_add(a, "httpSche", event_schedule_json(t.http_sche, ch));
  json_add(a, "httpParams", event_http_json(t, ch));
  json_add_int(a, "http_notification_interval", r.http_notification_interval);
  json_add_int(a, "alarmout_interval", r.alarmout_interval);
  json_add_int(a, "triAlarms", r.tri_alarms);
  json_add_field(a, "triChannels", r.tri_channels);
  json_add(a, "triChnAlarms", get_event_chn_alarmout_object(r.tri_chn_alarms[0], r.tri_chn_alarms[1]));
  return a;
}

const char* const kObjKeys[8] = {"minObjX", "minObjY", "minObjWidth", "minObjHeight",
                                 "maxObjX", "maxObjY", "maxObjWidth", "maxObjHeight"};

int32_t* obj_fields(RegionalPcntRecord* r, int i) {
  int32_t* const f[8] = {&r->min_x, &r->min_y, &r->min_width, &r->min_height,
                         &r->max_x, &r->max_y, &r->max_width, &r->max_height};
  return f[i];
}

// The address keys of the fisheye camera pages; missing keys give "" and 0.
void take_fisheye_address(json_object* q, FisheyeAddress* a, RequestInts* n) {
  n->text(q, "ddns", a->ddns);
  n->text(q, "ipaddr", a->ipaddr);
  n->text(q, "username", a->username);
  n->text(q, "password", a->password);
  a->port = n->plain(q, "port");
}

}  // namespace

void on_get_fisheye_info_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_TEXT)) return;
  FisheyeModeRecord r;
  std::memcpy(&r, payload, sizeof r);
  JsonPtr o(json_object_new_object());
  json_add_int(o.get(), "chnid", r.channel);
  json_add_int(o.get(), "result", r.result);
  json_add_int(o.get(), "fishmount", r.mount);
  json_add_int(o.get(), "fishdisplay", r.display);
  json_add_int(o.get(), "fishcorrect", r.correct);
  cgi_write_json(o.get());
  g_callback_done = 1;
}

void on_cgi_check_fisheye_info_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  FisheyeCheckReply r;
  std::memcpy(&r, payload, sizeof r);
  JsonPtr o(json_object_new_object());
  json_add_int(o.get(), "support", r.support == 1 ? 1 : 0);
  json_add_int(o.get(), "transfer", r.transfer);
  json_add_int(o.get(), "install", r.install);
  json_add_int(o.get(), "display", r.display);
  json_add_int(o.get(), "streamCnt", r.stream_count);
  cgi_write_json(o.get());
  g_callback_done = 1;
}

void on_cgi_get_ipc_regional_info_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  std::unique_ptr<RegionalPcntRecord> rec(new RegionalPcntRecord);
  std::memcpy(rec.get(), payload, sizeof *rec);
  RegionalPcntRecord& r = *rec;
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_add_int(out, "result", r.result);
  json_add_int(out, "chnid", r.channel);
  json_add_int(out, "sensitivity", r.sensitivity);
  for (int i = 0; i < 8; ++i) json_add_int(out, kObjKeys[i], *obj_fields(&r, i));
  json_object* regions = json_object_new_array();
  for (const RegionalPcntRegion& g : r.regions) {
    json_object* e = json_object_new_object();
    json_add_int(e, "enable", g.enable);
    json_add_field(e, "polygonX", g.polygon_x);
    json_add_field(e, "polygonY", g.polygon_y);
    json_add_int(e, "maxStayEnable", g.max_stay_enable);
    json_add_int(e, "maxStayValue", g.max_stay_value);
    json_add_int(e, "minStayEnable", g.min_stay_enable);
    json_add_int(e, "minStayValue", g.min_stay_value);
    json_add_int(e, "maxStayTimeEnable", g.max_stay_time_enable);
    json_add_int(e, "maxStayTimeValue", g.max_stay_time_value);
    json_object_array_add(regions, e);
  }
  json_add(out, "regional", regions);
  json_add(out, "effective", get_schedule_json_object_ipc(&r.effective));
  json_add(out, "action", g_regional_actions ? json_object_get(g_regional_actions.get()) : nullptr);
  cgi_write_json(out);
  g_callback_done = 1;
}

// ---- Fisheye ---------------------------------------------------------------------------------

void on_get_fisheye_info(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0;
  if (!req || !json_id_in_range(req.get(), "id", 0, NVR_CHANNELS - 1, &ch)) return;
  int32_t query = ch;
  cgi_ipc_exchange(on_video_ipc_callback, REQ_FISHEYE_GET, &query, sizeof query, CGI_KIND_TEXT);
}

void on_cgi_set_fisheye_mode(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  if (!q) return;
  int ch = 0;
  if (!json_id_in_range(q, "chnid", 0, NVR_CHANNELS - 1, &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  RequestInts n;
  FisheyeModeRecord m;
  std::memset(&m, 0, sizeof m);
  m.channel = ch;
  m.mount = n.plain(q, "fishmount");
  m.display = n.plain(q, "fishdisplay");
  m.correct = n.plain(q, "fishcorrect");
  if (!n.ok) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_video_ipc_callback, REQ_FISHEYE_SET, &m, sizeof m, CGI_KIND_JSON);
}

void on_cgi_check_fisheye_info(char* text) {
  JsonPtr req(parse_request_object(text));
  if (!req) return;
  RequestInts n;
  FisheyeAddress a;
  std::memset(&a, 0, sizeof a);
  take_fisheye_address(req.get(), &a, &n);
  if (!n.ok) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_video_ipc_callback, REQ_FISHEYE_CHECK, &a, sizeof a, CGI_KIND_JSON);
}

void on_cgi_set_fisheye_info(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  if (!q) return;
  RequestInts n;
  FisheyeSetting s;
  std::memset(&s, 0, sizeof s);
  take_fisheye_address(q, &s.addr, &n);
  s.transfer = n.plain(q, "transfer");
  s.install = n.plain(q, "install");
  s.display = n.plain(q, "display");
  if (!n.ok) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_video_ipc_callback, REQ_FISHEYE_INFO_SET, &s, sizeof s, CGI_KIND_JSON);
}

// ---- Regional people counting -------------------------------------------------------------------

void on_cgi_get_ipc_regional_info(char* text) {
  JsonPtr req(parse_request_object(text));
  if (!req) return;  // not JSON: no answer
  int ch = 0;
  if (!take_request_id(req.get(), "chnid", NVR_CHANNELS, &ch, CGI_KIND_JSON)) return;
  JsonPtr actions(json_object_new_array());
  for (int region = 0; region < PCNT_REGIONS; ++region)
    json_object_array_add(actions.get(), regional_action_json(ch, region));
  g_regional_actions = std::move(actions);
  int32_t query = ch;
  cgi_ipc_exchange(on_video_ipc_callback, REQ_REGIONAL_GET, &query, sizeof query, CGI_KIND_JSON);
  g_regional_actions.reset();
}

void on_cgi_set_ipc_regional_info(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  int ch = 0;
  if (!take_request_id(q, "chnid", NVR_CHANNELS, &ch, CGI_KIND_JSON)) return;
  std::unique_ptr<RegionalPcntRecord> rec(new RegionalPcntRecord);
  RegionalPcntRecord& r = *rec;
  std::memset(&r, 0, sizeof r);
  r.channel = ch;
  RequestInts n;
  r.sensitivity = n.plain(q, "sensitivity");
  for (int i = 0; i < 8; ++i) *obj_fields(&r, i) = n.plain(q, kObjKeys[i]);
  json_object* regions = json_array_member(q, "regional");
  for (int i = 0; i < PCNT_REGIONS; ++i) {
    json_object* e = json_array_at(regions, static_cast<size_t>(i));
    if (!e || !json_object_is_type(e, json_type_object)) continue;
    RegionalPcntRegion& g = r.regions[i];
    g.enable = n.plain(e, "enable");
    n.text(e, "polygonX", g.polygon_x);
    n.text(e, "polygonY", g.polygon_y);
    g.max_stay_enable = n.plain(e, "maxStayEnable");
    g.max_stay_value = n.plain(e, "maxStayValue");
    g.min_stay_enable = n.plain(e, "minStayEnable");
    g.min_stay_value = n.plain(e, "minStayValue");
    g.max_stay_time_enable = n.plain(e, "maxStayTimeEnable");
    g.max_stay_time_value = n.plain(e, "maxStayTimeValue");
  }
  if (!event_schedule_readable(q, "effective")) n.ok = false;
  get_schedule_by_json_ipc(q, "effective", &r.effective);
  char copy[65];
  n.text(q, "copyChn", copy);
  const uint64_t mask = get_channel_mask(copy) & ~(1ULL << ch);
  json_object* actions = json_array_member(q, "action");
  for (int region = 0; region < PCNT_REGIONS; ++region)
    if (!event_dialog_readable(json_array_at(actions, static_cast<size_t>(region)))) n.ok = false;
  if (!n.ok) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }

  // The actions of each region the request carries, up to the first one
  // missing; the other regions keep theirs.
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  for (int region = 0; region < PCNT_REGIONS; ++region) {
    json_object* a = json_array_at(actions, static_cast<size_t>(region));
    if (!a || !json_object_is_type(a, json_type_object)) break;
    const EventTables t = regional_tables(region);
    // The rows of this region's PTZ type and this channel only.
    json_object_object_del(a, "ptzChnId");
    json_object_object_del(a, "ptzType");
    EventSave saved = save_event_tables(a, ch, t);
    SmartEventAction act;
    ok &= saved.ok && read_regional_pcnt_event(ZRDB_PATH, &act, ch, region) == 0;
    if (!ok) break;
    apply_event_actions(a, ch, smart_action_fields(&act, false));
    ok &= write_regional_pcnt_event(ZRDB_PATH, &act, ch, region) == 0;
    if (mask) {
      ok &= copy_event_tables(t, ch, mask);
      ok &= copy_regional_pcnt_event(ZRDB_PATH, ch, region, mask) == 0;
    }
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_JSON)) return;
  cgi_ipc_exchange(on_video_ipc_callback, REQ_REGIONAL_SET, rec.get(), sizeof *rec, CGI_KIND_JSON);
}

}  // namespace video
