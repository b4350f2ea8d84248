// Camera analytics, second form: line crossing with sub-lines and the
// engine settings with eight object boxes, relayed to the camera.
// Serves "/6192", "/6193", "/6194", "/6195".
#include "handlers/video/video.h"

namespace video {

namespace {

// The canvas "position" of an entry (at most 31 characters) in camera
// pixels, each at least 1.
void entry_position(json_object* e, int32_t w, int32_t h, int32_t out[4], RequestInts* n) {
  char pos[32];
  n->text(e, "position", pos);
  position_from_canvas(pos, 31, w, h, out);
}

// {"chnid": 0..63}: one int32 to the core, wait.
void read_camera_form(char* text, int req_id) {
  JsonPtr req(parse_request_object(text));
  if (!req) return;
  int ch = 0;
  if (!json_id_in_range(req.get(), "chnid", 0, NVR_CHANNELS - 1, &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  int32_t query = ch;
  cgi_ipc_exchange(on_video_ipc_callback, req_id, &query, sizeof query, CGI_KIND_JSON);
}

}  // namespace

void on_get_ipc_vca_line2_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  VcaLine2Record r;
  std::memcpy(&r, payload, sizeof r);
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_add_int(out, "chnid", r.channel);
  json_add_int(out, "width", r.width);
  json_add_int(out, "height", r.height);
  json_add_int(out, "sensitivity", r.sensitivity);
  json_object* lines = json_object_new_array();
  for (const VcaLine2& l : r.lines) {
    json_object* e = json_object_new_object();
    json_add_int(e, "enable", l.enable);
    json_add_int(e, "objtype", l.obj_type);
    json_add_int(e, "direction", l.direction);
    json_add(e, "position", canvas_position_json(l.start_x, l.start_y, l.end_x, l.end_y, r.width, r.height));
    // The sub-lines of a polyline (line type 2), so that the page can
    // write them back.
    if (r.line_type == 2) {
      json_object* subs = json_object_new_array();
      for (const VcaSubLine& s : l.sub) {
        json_object* so = json_object_new_object();
        json_add(so, "position", canvas_position_json(s.start_x, s.start_y, s.end_x, s.end_y, r.width, r.height));
        json_add_int(so, "direction", s.direction);
        json_object_array_add(subs, so);
      }
      json_add(e, "line", subs);
    }
    json_object_array_add(lines, e);
  }
  json_add(out, "line", lines);
  json_add_int(out, "lineType", r.line_type);
  json_add_int(out, "lineScene", r.line_scene);
  cgi_write_json(out);
  g_callback_done = 1;
}

void on_get_ipc_vca_settings2_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_JSON)) return;
  VcaSettings2Record r;
  std::memcpy(&r, payload, sizeof r);
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_add_int(out, "chnid", r.channel);
  json_add_int(out, "fps", r.fps);
  json_add_int(out, "mode", r.mode);
  json_add_int(out, "installation", r.installation);
  json_add_int(out, "analysis", r.analysis);
  json_add_int(out, "width", r.width);
  json_add_int(out, "height", r.height);
  json_object* list = json_object_new_array();
  for (int i = 0; i < VCA_BOXES; ++i) {
    json_object* p = json_object_new_object();
    for (int j = 0; j < 8; ++j) json_add_int(p, kVcaBoxKeys[j], r.groups[j][i]);
    json_add_int(p, "width", r.width);
    json_add_int(p, "height", r.height);
    json_object_array_add(list, p);
  }
  json_add(out, "position", list);
  cgi_write_json(out);
  g_callback_done = 1;
}

void on_get_ipc_vca_line2(char* text) { read_camera_form(text, REQ_VCA_LINE2_GET); }
void on_get_ipc_vca_settings2(char* text) { read_camera_form(text, REQ_VCA_SETTINGS2_GET); }

void on_set_ipc_vca_line2(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  int ch = 0;
  if (!q || !json_id_in_range(q, "chnid", 0, NVR_CHANNELS - 1, &ch) || !smart_dialog_fits(q, ch)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  RequestInts n;
  int32_t w = VCA_DEFAULT_W, h = VCA_DEFAULT_H;
  n.keep(q, "width", &w);
  n.keep(q, "height", &h);
  VcaLine2Record rec;
  std::memset(&rec, 0, sizeof rec);
  rec.channel = ch;
  rec.sensitivity = n.plain(q, "sensitivity");
  rec.line_type = n.plain(q, "lineType");
  rec.line_scene = n.plain(q, "lineScene");
  json_object* lines = json_array_member(q, "line");
  for (int i = 0; i < VCA_LINES; ++i) {
    json_object* e = json_array_at(lines, static_cast<size_t>(i));
    if (!e || !json_object_is_type(e, json_type_object)) continue;
    VcaLine2& l = rec.lines[i];
    int32_t p[4];
    entry_position(e, w, h, p, &n);
    l.enable = n.plain(e, "enable");
    l.start_x = p[0];
    l.start_y = p[1];
    l.end_x = p[2];
    l.end_y = p[3];
    l.direction = n.plain(e, "direction");
    l.obj_type = n.plain(e, "objtype");
    if (rec.line_type != 2) continue;
    json_object* subs = json_array_member(e, "line");
    for (int s = 0; s < VCA_SUB_LINES; ++s) {
      json_object* se = json_array_at(subs, static_cast<size_t>(s));
      if (!se || !json_object_is_type(se, json_type_object)) continue;
      entry_position(se, w, h, p, &n);
      l.sub[s] = {p[0], p[1], p[2], p[3], n.plain(se, "direction")};
    }
  }
  n.text(q, "copyChn", rec.copy_chn);
  if (!n.ok) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  json_object* d = json_member(q, "dialog", json_type_object);
  if (d) {
    ZrdbTransaction txn(ZRDB_PATH);
    uint64_t notify = 0;
    const bool ok = save_smart_dialog(d, ch, SMART_EVENT_LINE_CROSSING, get_channel_mask(rec.copy_chn), &notify);
    if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
    notify_smart_event(notify);
  }
  cgi_ipc_exchange(on_video_ipc_callback, REQ_VCA_LINE2_SET, &rec, sizeof rec, CGI_KIND_TEXT);
}

void on_set_ipc_vca_settings2(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  if (!q) return;
  int ch = 0;
  if (!json_id_in_range(q, "chnid", 0, NVR_CHANNELS - 1, &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  RequestInts n;
  VcaSettings2Record rec;
  std::memset(&rec, 0, sizeof rec);
  rec.channel = ch;
  rec.fps = n.plain(q, "fps");
  rec.mode = n.plain(q, "mode");
  rec.installation = n.plain(q, "installation");
  rec.analysis = n.plain(q, "analysis");
  rec.width = n.plain(q, "width");
  rec.height = n.plain(q, "height");
  n.text(q, "copyChn", rec.copy_chn);
  json_object* list = json_array_member(q, "position");
  for (int i = 0; i < VCA_BOXES; ++i) {
    json_object* p = json_array_at(list, static_cast<size_t>(i));
    if (!p || !json_object_is_type(p, json_type_object)) continue;
    for (int j = 0; j < 8; ++j) rec.groups[j][i] = n.plain(p, kVcaBoxKeys[j]);
  }
  if (!n.ok) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_video_ipc_callback, REQ_VCA_SETTINGS2_SET, &rec, sizeof rec, CGI_KIND_JSON);
}

}  // namespace video
