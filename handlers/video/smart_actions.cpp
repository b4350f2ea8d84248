// Smart-event actions: the action dialog every analytics page saves, the
// schedules and actions page of one smart event, the trigger shortcut and
// the short form of the action record; the canvas conversions of the
// analytics pages.
// Serves "/6148", "/6149", "/6150", "/6151".
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "handlers/video/video.h"

namespace video {

// ---- Canvas -------------------------------------------------------------------------------

namespace {
int32_t clamp32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}
}  // namespace

int32_t vca_to_canvas(int32_t v, int32_t picture, int32_t canvas) {
  if (picture == 0) return 0;
  return clamp32((static_cast<int64_t>(v) * canvas + picture / 2) / picture);
}

int32_t vca_from_canvas(int32_t v, int32_t picture, int32_t canvas) {
  return clamp32((static_cast<int64_t>(v) * picture + canvas / 2) / canvas);
}

void split_position(const char* text, size_t max_chars, int32_t out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = 0;
  if (!text) return;
  std::string s(text, strnlen(text, max_chars));
  size_t start = 0;
  for (int i = 0; i < 4 && start <= s.size(); ++i) {
    size_t end = s.find(';', start);
    if (end == std::string::npos) end = s.size();
    const std::string part = s.substr(start, end - start);
    int v = 0;
    // A part that is not a decimal number is read as far as it goes (as
    // "12px" gives 12), never past the int32 range.
    if (!parse_int_strict(part, &v)) {
      long long l = std::strtoll(part.c_str(), nullptr, 10);
      v = clamp32(l);
    }
    out[i] = v;
    start = end + 1;
  }
}

std::string position_text(int32_t a, int32_t b, int32_t c, int32_t d) {
  return string_printf("%d;%d;%d;%d", a, b, c, d);
}

void position_from_canvas(const char* text, size_t max_chars, int32_t w, int32_t h, int32_t out[4]) {
  split_position(text, max_chars, out);
  out[0] = at_least_1(vca_from_canvas(out[0], w, VCA_CANVAS_W));
  out[1] = at_least_1(vca_from_canvas(out[1], h, VCA_CANVAS_H));
  out[2] = at_least_1(vca_from_canvas(out[2], w, VCA_CANVAS_W));
  out[3] = at_least_1(vca_from_canvas(out[3], h, VCA_CANVAS_H));
}

json_object* canvas_position_json(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t w, int32_t h) {
  const std::string p = position_text(vca_to_canvas(sx, w, VCA_CANVAS_W), vca_to_canvas(sy, h, VCA_CANVAS_H),
                                      vca_to_canvas(ex, w, VCA_CANVAS_W), vca_to_canvas(ey, h, VCA_CANVAS_H));
  return json_object_new_string(p.c_str());
}

const char* const kVcaBoxKeys[8] = {"minStartX", "minStartY", "minWidth", "minHeight",
                                    "maxStartX", "maxStartY", "maxWidth", "maxHeight"};

// ---- Action dialog -------------------------------------------------------------------------

uint64_t get_channel_mask(const char* text) {
  uint64_t mask = 0;
  for (int i = 0; text && i < 64 && text[i]; ++i)
    if (text[i] == '1') mask |= 1ULL << i;
  return mask;
}

bool smart_dialog_fits(json_object* req, int ch) {
  if (!json_has(req, "dialog")) return true;
  json_object* d = json_member(req, "dialog", json_type_object);
  int dch = -1;
  return d && json_id_in_range(d, "chnid", 0, NVR_CHANNELS - 1, &dch) && dch == ch && event_dialog_readable(d);
}

void notify_smart_event(uint64_t mask) { notify_core(REQ_SMART_EVENT_CHANGED, &mask, sizeof mask); }

bool save_smart_dialog(json_object* d, int ch, int event, uint64_t copy_mask, uint64_t* notify) {
  int dch = -1;
  if (!smart_event_ok(event) || !d || !json_object_is_type(d, json_type_object) ||
      !json_id_in_range(d, "chnid", 0, NVR_CHANNELS - 1, &dch) || dch != ch)
    return true;
  EventTables t = smart_event_tables(event);
  if (event == SMART_EVENT_PEOPLE_COUNTING) t.effective.clear();  // people counting sends its own
  // The PTZ rows of this event are the channel's rows of the event's own
  // PTZ type, whatever owner or type the dialog names.
  json_object_object_del(d, "ptzChnId");
  json_object_object_del(d, "ptzType");
  EventSave saved = save_event_tables(d, ch, t);
  SmartEventAction rec;
  if (read_smart_event(ZRDB_PATH, &rec, ch, event) != 0) return false;
  const SmartEventAction before = rec;
  apply_event_actions(d, ch, smart_action_fields(&rec, false));
  bool ok = saved.ok;
  if (saved.ptz_written || std::memcmp(&before, &rec, sizeof rec) != 0)
    ok &= write_smart_event(ZRDB_PATH, &rec, ch, event) == 0;
  const uint64_t mask = copy_mask & ~(1ULL << ch);
  if (mask) ok &= copy_smart_event_action(ZRDB_PATH, ch, event, mask) == 0;
  if (notify) *notify |= mask | (1ULL << ch);
  return ok;
}

// ---- Schedules and actions of one smart event -------------------------------------------

void on_get_smart_event_schedule(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0, event = 0;
  if (!take_request_id(req.get(), "chnid", NVR_CHANNELS, &ch, CGI_KIND_JSON) ||
      !take_request_id(req.get(), "event", SMART_EVENT_KINDS, &event, CGI_KIND_JSON))
    return;
  SmartEventAction r;
  if (read_smart_event(ZRDB_PATH, &r, ch, event) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  const EventTables t = smart_event_tables(event);
  JsonPtr o(json_object_new_object());
  json_object* a = json_object_new_object();
  json_add_int(a, "chnid", ch);
  json_add_int(a, "event", event);
  json_add_int(a, "enable", r.enable);
  json_add_int(a, "triAlarms", r.tri_alarms);
  json_add_int(a, "interval", r.interval);
  json_add_int(a, "email_interval", r.email_interval);
  json_add_int(a, "email_pic_enable", r.email_pic_enable);
  json_add_field(a, "tri_channels_pic", r.tri_channels_pic);
  json_add_int(a, "ptz_interval", r.ptz_interval);
  json_add_int(a, "alarmout_interval", r.alarmout_interval);
  json_add_field(a, "triChannels", r.tri_channels);
  json_add(a, "effective", event_schedule_json(t.effective, ch));
  json_add(a, "audible", event_schedule_json(t.audible, ch));
  json_add(a, "email", event_schedule_json(t.email, ch));
  json_add(a, "ptz", event_schedule_json(t.ptz, ch));
  json_add(a, "triChnAlarms", get_event_chn_alarmout_object(r.tri_chn_alarms[0], r.tri_chn_alarms[1]));
  json_add(a, "white", event_schedule_json(t.white_sche, ch));
  json_add(a, "whiteInfo", event_white_json(t, ch));
  json_add_int(a, "white_interval", r.white_interval);
  json_add_int(a, "audioId", r.audio_id);
  json_add_int(a, "audioIdMask", get_audio_file_id_mask());
  json_add(a, "ptzParams", event_ptz_json(t, ch));
  json_object* list = json_object_new_array();
  json_object_array_add(list, a);
  json_add(o.get(), "action", list);
  cgi_write_json(o.get());
}

void on_set_smart_event_schedule(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0, event = 0;
  if (!take_request_id(req.get(), "chnid", NVR_CHANNELS, &ch, CGI_KIND_TEXT) ||
      !take_request_id(req.get(), "event", SMART_EVENT_KINDS, &event, CGI_KIND_TEXT))
    return;
  json_object* q = req.get();
  if (!event_dialog_readable(q)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  // This page carries no HTTP notification and no PTZ rows.
  const EventTables t = smart_event_tables(event, false);
  ZrdbTransaction txn(ZRDB_PATH);
  EventSave saved = save_event_tables(q, ch, t);
  SmartEventAction rec;
  bool ok = saved.ok && read_smart_event(ZRDB_PATH, &rec, ch, event) == 0;
  if (ok) {
    const SmartEventAction before = rec;
    EventActionFields f = smart_action_fields(&rec, true);
    f.http_notification_interval = nullptr;
    apply_event_actions(q, ch, f);
    if (std::memcmp(&before, &rec, sizeof rec) != 0) ok = write_smart_event(ZRDB_PATH, &rec, ch, event) == 0;
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  notify_smart_event(1ULL << ch);
  cgi_reply_ok();
}

void on_set_vca_allrtm_others(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0, event = 0;
  if (!take_request_id(req.get(), "channel", NVR_CHANNELS, &ch, CGI_KIND_TEXT) ||
      !take_request_id(req.get(), "event", SMART_EVENT_KINDS, &event, CGI_KIND_TEXT))
    return;
  json_object* q = req.get();
  ZrdbTransaction txn(ZRDB_PATH);
  SmartEventAction rec;
  if (read_smart_event(ZRDB_PATH, &rec, ch, event) != 0) {
    cgi_writeback_webserver(CGI_KIND_TEXT, "ERROT");
    return;
  }
  const SmartEventAction before = rec;
  RequestInts n;
  const int type = n.plain(q, "type");
  if (type == 0) n.keep(q, "triAlarms", &rec.tri_alarms);
  if (!n.ok || !json_texts_readable(q, {"triChannels"})) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  if (type == 1 && json_has(q, "triChannels")) {
    set_text_field({rec.tri_channels, sizeof rec.tri_channels, 64}, member_text(q, "triChannels"));
    rec.chn_mask = chn_text_mask32(rec.tri_channels, sizeof rec.tri_channels);
  }
  bool ok = std::memcmp(&before, &rec, sizeof rec) == 0 || write_smart_event(ZRDB_PATH, &rec, ch, event) == 0;
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  notify_smart_event(1ULL << ch);
  cgi_reply_ok();
}

void on_get_vca_common_para(char* text) {
  JsonPtr req(parse_request_object(text));
  int ch = 0, event = 0;
  if (!take_request_id(req.get(), "channel", NVR_CHANNELS, &ch, CGI_KIND_TEXT) ||
      !take_request_id(req.get(), "type", SMART_EVENT_KINDS, &event, CGI_KIND_TEXT))
    return;
  SmartEventAction r;
  if (read_smart_event(ZRDB_PATH, &r, ch, event) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_add_int(out, "chnid", ch);
  json_add_int(out, "enable", r.enable);
  json_add_int(out, "triAlarms", r.tri_alarms);
  json_add_int(out, "interval", r.interval);
  json_add_int(out, "email_interval", r.email_interval);
  json_add_int(out, "email_pic_enable", r.email_pic_enable);
  json_add_field(out, "tri_channels_pic", r.tri_channels_pic);
  json_add_field(out, "triChannels", r.tri_channels);
  cgi_write_json(out);
}

}  // namespace video
