// On-screen display and privacy masks: the stored OSD record of a channel,
// the stored masks, and the OSD configuration, masks, mask edit mode and
// model type that live in the cameras and go through the core daemon.
// Serves "/6000", "/6001", "/6002", "/6018", "/6019", "/6115", "/6116", "/6173", "/6198", "/6996", "/6997".
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/osd_record.h"
#include "handlers/video/video.h"

namespace video {

namespace {

constexpr int REQ_OSD_CHANGED = 1007;
constexpr int REQ_GET_CAMERA_MASKS = 2502;
constexpr int REQ_GET_MODEL_TYPE = 2503;
constexpr int REQ_DELETE_MASK_AREA = 2508;
constexpr int REQ_SET_CAMERA_MASKS = 2509;
constexpr int REQ_SET_OSD_CONFIG = 3210;
constexpr int REQ_GET_OSD_CONFIG = 3211;
constexpr int REQ_MASK_EDIT = 3353;

// The canvas the mask coordinates of a camera are given in.
constexpr int MASK_CANVAS_WIDTH = 460;
constexpr int MASK_CANVAS_HEIGHT = 260;
// Highest area id a single-area delete takes.
constexpr int MASK_DELETE_AREA_MAX = 24;
// Longest name the name-only page stores.
constexpr size_t OSD_SHORT_NAME = 31;

// 1007: the stored OSD record of a channel changed.
struct OsdChange {
  int32_t channel, what, reserved;
};
static_assert(sizeof(OsdChange) == 12, "OSD change notice is 12 bytes");

// 2508 (one area of a camera's masks) and 3353 (mask edit mode).
struct ChannelAndId {
  int32_t channel, id;
};
static_assert(sizeof(ChannelAndId) == 8, "channel and id are 8 bytes");

// The text cut to at most max bytes (and the field), never inside a
// UTF-8 character.
template <size_t N>
void take_text(char (&field)[N], std::string_view text, size_t max) {
  copy_field(field, utf8_head(text, max));
}

// A position from a request: a JSON number or a decimal text, finite and
// not negative.
bool take_position(json_object* q, const char* key, double* out) {
  json_object* v = nullptr;
  if (!q || !json_object_object_get_ex(q, key, &v) || !v) return false;
  double d = 0;
  const json_type t = json_object_get_type(v);
  if (t == json_type_double || t == json_type_int) {
    d = json_object_get_double(v);
  } else if (t == json_type_string) {
    const char* s = json_object_get_string(v);
    char* end = nullptr;
    errno = 0;
    d = std::strtod(s, &end);
    if (end == s || *end || errno != 0) return false;
  } else {
    return false;
  }
  if (!std::isfinite(d) || d < 0) return false;
  *out = d;
  return true;
}

// A stored position as the shortest text that reads back as the same
// number, written out in full with a fraction ("0.05", "10.0", "0.00001"),
// never with an exponent.
void add_position(json_object* obj, const char* key, double d) {
  if (!std::isfinite(d)) d = 0;  // a damaged record: no text JSON cannot hold
  // The fewest significant digits that read back as d, and d's power of ten.
  char sci[40];
  int digits = 1;
  for (; digits < 17; ++digits) {
    std::snprintf(sci, sizeof sci, "%.*e", digits - 1, d);
    if (std::strtod(sci, nullptr) == d) break;
  }
  std::snprintf(sci, sizeof sci, "%.*e", digits - 1, d);
  const char* e = std::strchr(sci, 'e');
  const int exponent = e ? std::atoi(e + 1) : 0;
  // As many decimals as the last significant digit needs, at least one.
  const int decimals = std::max(1, digits - 1 - exponent);
  const int len = std::snprintf(nullptr, 0, "%.*f", decimals, d);
  std::string text(static_cast<size_t>(len > 0 ? len : 0), '\0');
  std::snprintf(text.data(), text.size() + 1, "%.*f", decimals, d);
  json_object_object_add(obj, key, json_object_new_double_s(d, text.c_str()));
}

// A 64-bit integer member: a JSON integer or a decimal text.
bool take_int64(json_object* q, const char* key, int64_t* out) {
  json_object* v = nullptr;
  if (!json_object_object_get_ex(q, key, &v) || !v) return false;
  if (json_object_get_type(v) == json_type_int) {
    *out = json_object_get_int64(v);
    return true;
  }
  if (json_object_get_type(v) != json_type_string) return false;
  const char* s = json_object_get_string(v);
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(s, &end, 10);
  if (end == s || *end || errno != 0) return false;
  *out = n;
  return true;
}

// ---- Stored OSD record -----------------------------------------------------------------

struct OsdRequest {
  int32_t ch = 0;
  OsdRecord fields{};
};

bool check_osd_info(json_object* q, OsdRequest* r) {
  OsdRecord& f = r->fields;
  if (!q || !json_strict_int_in(q, "camId", 0, NVR_CHANNELS - 1, &r->ch) ||
      !json_member(q, "camName", json_type_string) || !json_strict_int_in(q, "showName", 0, 1, &f.showName) ||
      !json_strict_int_in(q, "showDate", 0, 1, &f.showDate) || !json_strict_int_in(q, "showWeek", 0, 1, &f.showWeek) ||
      !json_strict_int_in(q, "dateFormat", 0, 3, &f.dateFormat) ||
      !json_strict_int_in(q, "timeFormat", 0, 1, &f.timeFormat) || !take_position(q, "datePosX", &f.datePosX) ||
      !take_position(q, "datePosY", &f.datePosY) || !take_position(q, "namePosX", &f.namePosX) ||
      !take_position(q, "namePosY", &f.namePosY) || !json_strict_int_in(q, "alpha", 0, INT32_MAX, &f.alpha))
    return false;
  if (!json_texts_readable(q, {"camName"})) return false;
  take_text(f.camName, member_text(q, "camName"), sizeof f.camName - 1);
  return true;
}

// Reads the channel's record, lets change() edit it and writes it back
// when it changed; false (with the text error reply) when the store fails.
template <typename Change>
bool update_osd(int ch, Change change) {
  ZrdbTransaction txn(ZRDB_PATH);
  OsdRecord rec;
  std::memset(&rec, 0, sizeof rec);
  bool ok = read_osd(ZRDB_PATH, &rec, ch) == 0;
  if (ok) {
    OsdRecord next = rec;
    next.camId = ch;
    change(&next);
    if (std::memcmp(&next, &rec, sizeof rec) != 0) ok = write_osd(ZRDB_PATH, &next, ch) == 0;
  }
  return finish_event_writes(txn, ok, CGI_KIND_TEXT);
}

// ---- Privacy masks -----------------------------------------------------------------------

json_object* stored_mask_json(const PrivacyMaskRecord& m) {
  json_object* o = json_object_new_object();
  json_add_int(o, "id", m.id);
  json_object* areas = json_object_new_array();
  for (const PrivacyMaskArea& a : m.area) {
    json_object* ao = json_object_new_object();
    json_add_int(ao, "area_id", a.area_id);
    json_add_int(ao, "enable", a.enable);
    json_add_int(ao, "start_x", a.start_x);
    json_add_int(ao, "start_y", a.start_y);
    json_add_int(ao, "area_width", a.area_width);
    json_add_int(ao, "area_height", a.area_height);
    json_add_int(ao, "width", a.width);
    json_add_int(ao, "height", a.height);
    json_add_int(ao, "fill_color", a.fill_color);
    json_object_array_add(areas, ao);
  }
  json_object_object_add(o, "area", areas);
  return o;
}

bool take_mask_area(json_object* a, MaskAreaRecord* out) {
  if (!a) return true;  // no such entry: the slot stays empty
  if (!json_object_is_type(a, json_type_object)) return false;
  if (!json_plain_int(a, "area_id", &out->area_id) || !json_plain_int(a, "enable", &out->enable) ||
      !json_plain_int(a, "start_x", &out->start_x) || !json_plain_int(a, "start_y", &out->start_y) ||
      !json_plain_int(a, "area_width", &out->area_width) || !json_plain_int(a, "area_height", &out->area_height) ||
      !json_plain_int(a, "fill_color", &out->fill_color) || !json_plain_int(a, "ratio", &out->ratio))
    return false;
  if (!json_texts_readable(a, {"name"})) return false;
  take_text(out->name, member_text(a, "name"), sizeof out->name - 1);
  return true;
}

// The areas a write carries: "num" masks and "mosaicNum" mosaics, each
// count at least 0, summed without overflow, at most the camera's slots.
int mask_area_count(int32_t num, int32_t mosaic_num) {
  const int64_t sum = static_cast<int64_t>(num < 0 ? 0 : num) + (mosaic_num < 0 ? 0 : mosaic_num);
  return sum > CAMERA_MASK_AREAS ? CAMERA_MASK_AREAS : static_cast<int>(sum);
}

// The area-mask switch is "areaMaskEnable"; a request without it may carry
// it under the name the camera listing answers ("areaEnable"), so a listed
// record posted back keeps the camera's switch.
bool check_privacy_mask_info(json_object* q, PrivacyMaskWrite* w) {
  int32_t cnt = 0;
  if (!q || !json_strict_int(q, "cnt", &cnt) || !json_member(q, "area", json_type_array) ||
      !json_member(q, "chnid", json_type_array))
    return false;
  int32_t num = 0, mosaic_num = 0;
  if (!json_plain_int(q, "enable", &w->enable) || !json_plain_int(q, "cgiSdkFlag", &w->cgi_sdk_flag) ||
      !json_plain_int(q, "num", &num) ||
      !json_plain_int(q, json_has(q, "areaMaskEnable") ? "areaMaskEnable" : "areaEnable", &w->area_mask_enable) ||
      !json_plain_int(q, "mosaicSupport", &w->mosaic_support) || !json_plain_int(q, "mosaicNum", &mosaic_num))
    return false;
  w->num = num < 0 ? 0 : num;
  w->mosaic_num = mosaic_num < 0 ? 0 : mosaic_num;
  if (json_has(q, "delMask") && !take_int64(q, "delMask", &w->del_mask)) return false;
  json_object* areas = json_member(q, "area", json_type_array);
  const int n = mask_area_count(num, mosaic_num);
  for (int i = 0; i < n; ++i)
    if (!take_mask_area(json_array_at(areas, static_cast<size_t>(i)), &w->area[i])) return false;
  const RequestChannels targets = take_request_channels(q, "chnid", cnt, NVR_CHANNELS);
  std::memset(w->chn, '0', NVR_CHANNELS);
  for (int i = 0; i < targets.n; ++i) w->chn[targets.channels[i]] = '1';
  return true;
}

json_object* camera_mask_json(const CameraMaskRecord& m) {
  json_object* o = json_object_new_object();
  json_add_int(o, "id", m.id);
  json_add_int(o, "num", m.num);
  json_add_int(o, "maxPtzZoomRatio", m.max_ptz_zoom_ratio);
  json_add_int(o, "areaEnable", m.area_enable);
  json_add_int(o, "enable", m.enable);
  json_add_field(o, "sdkversion", m.sdkversion);
  json_add_int(o, "cgiSdkFlag", m.cgi_sdk_flag);
  json_add_field(o, "colorList", m.color_list);
  json_add_int(o, "mosaicSupport", m.mosaic_support);
  json_add_int(o, "mosaicNum", m.mosaic_num);
  json_add_int(o, "colorSupport", m.color_support);
  json_add_int(o, "maxMaskSum", m.max_mask_sum);
  const int n = m.max_mask_sum < 0 ? 0 : m.max_mask_sum > CAMERA_MASK_AREAS ? CAMERA_MASK_AREAS : m.max_mask_sum;
  json_object* areas = json_object_new_array();
  for (int i = 0; i < n; ++i) {
    const MaskAreaRecord& a = m.area[i];
    json_object* ao = json_object_new_object();
    json_add_int(ao, "area_id", a.area_id);
    json_add_int(ao, "enable", a.enable);
    json_add_int(ao, "start_x", a.start_x);
    json_add_int(ao, "start_y", a.start_y);
    json_add_int(ao, "area_width", a.area_width);
    json_add_int(ao, "area_height", a.area_height);
    json_add_int(ao, "width", MASK_CANVAS_WIDTH);
    json_add_int(ao, "height", MASK_CANVAS_HEIGHT);
    json_add_int(ao, "fill_color", a.fill_color);
    json_add_int(ao, "left", a.start_x);
    json_add_int(ao, "top", a.start_y);
    json_add_int(ao, "right", a.area_width);
    json_add_int(ao, "bottom", a.area_height);
    json_add_int(ao, "ratio", a.ratio);
    json_add_field(ao, "name", a.name);
    json_object_array_add(areas, ao);
  }
  json_object_object_add(o, "area", areas);
  return o;
}

// ---- Camera OSD configuration -------------------------------------------------------------

bool check_osdconfig_info(json_object* q, OsdConfigRecord* r) {
  if (!q || !json_strict_int_in(q, "ch", 0, NVR_CHANNELS - 1, &r->ch) ||
      !json_strict_int(q, "enable_text", &r->enable_text) || !json_member(q, "text_name", json_type_string) ||
      !json_strict_int(q, "textpos", &r->textpos) || !json_strict_int(q, "enable_date", &r->enable_date) ||
      !json_strict_int(q, "datepos", &r->datepos) || !json_strict_int(q, "dateformat", &r->dateformat) ||
      !json_strict_int(q, "fontSize", &r->font_size))
    return false;
  if (!json_plain_int(q, "type", &r->type) || !json_plain_int(q, "enable_text_sub", &r->enable_text_sub) ||
      !json_plain_int(q, "textpos_sub", &r->textpos_sub) ||
      !json_plain_int(q, "enable_date_sub", &r->enable_date_sub) ||
      !json_plain_int(q, "datepos_sub", &r->datepos_sub) || !json_plain_int(q, "dateformat_sub", &r->dateformat_sub) ||
      !json_plain_int(q, "fontSizeSub", &r->font_size_sub))
    return false;
  if (!json_texts_readable(q, {"text_name", "text_name_sub"})) return false;
  take_text(r->text_name, member_text(q, "text_name"), 255);
  take_text(r->text_name_sub, member_text(q, "text_name_sub"), 255);
  return true;
}

// The id member of a camera read as its 32-bit query; the error reply of
// the page otherwise.
void ask_camera_by_id(char* text, int req, int error_kind) {
  JsonPtr q(parse_request_object(text));
  int ch = 0;
  if (!take_request_id(q.get(), "id", NVR_CHANNELS, &ch, error_kind)) return;
  const int32_t query = ch;
  cgi_ipc_exchange(on_video_ipc_callback, req, &query, sizeof query, error_kind);
}

}  // namespace

// ---- Handlers -------------------------------------------------------------------------------

void on_get_osd_info(char* text) {
  int ch = 0;
  if (!bare_channel(text, &ch)) return;
  OsdRecord r;
  std::memset(&r, 0, sizeof r);
  if (read_osd(ZRDB_PATH, &r, ch) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "camId", ch);
  json_add_field(out.get(), "camName", r.camName);
  json_add_int(out.get(), "showName", r.showName);
  json_add_int(out.get(), "showDate", r.showDate);
  json_add_int(out.get(), "showWeek", r.showWeek);
  json_add_int(out.get(), "dateFormat", r.dateFormat);
  json_add_int(out.get(), "timeFormat", r.timeFormat);
  add_position(out.get(), "datePosX", r.datePosX);
  add_position(out.get(), "datePosY", r.datePosY);
  add_position(out.get(), "namePosX", r.namePosX);
  add_position(out.get(), "namePosY", r.namePosY);
  json_add_int(out.get(), "alpha", r.alpha);
  cgi_write_json(out.get());
}

void on_set_osd_info(char* text) {
  JsonPtr q(parse_request_object(text));
  OsdRequest r;
  if (!check_osd_info(q.get(), &r)) return;
  const OsdRecord& f = r.fields;
  const bool ok = update_osd(r.ch, [&f](OsdRecord* rec) {
    std::memcpy(rec->camName, f.camName, sizeof rec->camName);
    rec->showName = f.showName;
    rec->showDate = f.showDate;
    rec->showWeek = f.showWeek;
    rec->dateFormat = f.dateFormat;
    rec->timeFormat = f.timeFormat;
    rec->datePosX = f.datePosX;
    rec->datePosY = f.datePosY;
    rec->namePosX = f.namePosX;
    rec->namePosY = f.namePosY;
    rec->alpha = f.alpha;
  });
  if (!ok) return;
  const OsdChange change{r.ch, 1, 0};
  notify_core(REQ_OSD_CHANGED, &change, sizeof change);
  cgi_reply_ok();
}

// Only the name; a request without a valid channel and a name text is
// refused (no answer) instead of renaming some other channel.
void OnSetOSDName(char* text) {
  JsonPtr q(parse_request_object(text));
  int32_t ch = 0;
  if (!q || !json_strict_int_in(q.get(), "camId", 0, NVR_CHANNELS - 1, &ch) ||
      !json_member(q.get(), "camName", json_type_string))
    return;
  char name[sizeof(OsdRecord::camName)];
  take_text(name, member_text(q.get(), "camName"), OSD_SHORT_NAME);
  if (!update_osd(ch, [&name](OsdRecord* rec) { copy_field(rec->camName, name); })) return;
  cgi_reply_ok();
}

void on_get_privacy_masks(char*) {
  std::unique_ptr<PrivacyMaskRecord[]> masks(new PrivacyMaskRecord[NVR_CHANNELS]);
  std::memset(masks.get(), 0, sizeof(PrivacyMaskRecord) * NVR_CHANNELS);
  int n = 0;
  if (read_privacy_masks(ZRDB_PATH, masks.get(), NVR_CHANNELS, &n) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  if (n < 0) n = 0;
  if (n > NVR_CHANNELS) n = NVR_CHANNELS;
  JsonPtr out(json_object_new_array());
  for (int i = 0; i < n; ++i) json_object_array_add(out.get(), stored_mask_json(masks[i]));
  cgi_write_json(out.get());
}

void on_set_privacy_mask(char* text) {
  JsonPtr q(parse_request_object(text));
  std::unique_ptr<PrivacyMaskWrite> w(new PrivacyMaskWrite);
  std::memset(w.get(), 0, sizeof *w);
  if (!check_privacy_mask_info(q.get(), w.get())) return;
  notify_core(REQ_SET_CAMERA_MASKS, w.get(), sizeof *w);
  cgi_reply_ok();
}

void on_get_privacy_mask_ovf(char* text) { ask_camera_by_id(text, REQ_GET_CAMERA_MASKS, CGI_KIND_TEXT); }

void on_get_ipc_model_type(char* text) { ask_camera_by_id(text, REQ_GET_MODEL_TYPE, CGI_KIND_TEXT); }

void on_delete_privacy_mask(char* text) {
  JsonPtr q(parse_request_object(text));
  ChannelAndId del{0, 0};
  if (!q || !json_strict_int_in(q.get(), "chan_id", 0, NVR_CHANNELS - 1, &del.channel) ||
      !json_strict_int_in(q.get(), "area_id", 0, MASK_DELETE_AREA_MAX, &del.id)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  notify_core(REQ_DELETE_MASK_AREA, &del, sizeof del);
  cgi_reply_ok();
}

void on_cgi_set_privacy_edit(char* text) {
  JsonPtr q(parse_request_object(text));
  ChannelAndId edit{0, 0};
  if (!q || !json_strict_int_in(q.get(), "chnid", 0, NVR_CHANNELS - 1, &edit.channel) ||
      !json_strict_int(q.get(), "maskid", &edit.id)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_video_ipc_callback, REQ_MASK_EDIT, &edit, sizeof edit, CGI_KIND_JSON);
}

void on_set_osdconfig(char* text) {
  JsonPtr q(parse_request_object(text));
  OsdConfigRecord r;
  std::memset(&r, 0, sizeof r);
  if (!check_osdconfig_info(q.get(), &r)) return;
  cgi_ipc_exchange(on_video_ipc_callback, REQ_SET_OSD_CONFIG, &r, sizeof r, CGI_KIND_TEXT);
}

void on_get_osdconfig(char* text) { ask_camera_by_id(text, REQ_GET_OSD_CONFIG, CGI_KIND_TEXT); }

// ---- Reply writers ------------------------------------------------------------------------
// Each answers a reply without a whole record with its page's error reply.

void on_get_privacy_mask_ovf_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_TEXT)) return;
  if (count > NVR_CHANNELS) count = NVR_CHANNELS;
  JsonPtr out(json_object_new_array());
  std::unique_ptr<CameraMaskRecord> m(new CameraMaskRecord);
  for (int i = 0; i < count; ++i) {
    std::memcpy(m.get(), static_cast<const uint8_t*>(payload) + static_cast<size_t>(i) * sizeof *m, sizeof *m);
    json_object_array_add(out.get(), camera_mask_json(*m));
  }
  cgi_write_json(out.get());
  g_callback_done = 1;
}

void on_get_ipc_model_type_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_TEXT)) return;
  int32_t result;
  std::memcpy(&result, payload, sizeof result);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "result", result);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

void on_set_osdconfig_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_TEXT)) return;
  int32_t status;
  std::memcpy(&status, payload, sizeof status);
  cgi_writeback_webserver(CGI_KIND_TEXT, status == 0 ? "OK" : status == -1 ? "NO_SUPPORT" : "ERROR");
  g_callback_done = 1;
}

void on_get_osdconfig_cb(int count, const void* payload) {
  if (short_reply_answered(count, payload, CGI_KIND_TEXT)) return;
  std::unique_ptr<OsdConfigRecord> r(new OsdConfigRecord);
  std::memcpy(r.get(), payload, sizeof *r);
  JsonPtr out(json_object_new_object());
  if (!out) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    g_callback_done = 1;
    return;
  }
  json_object* o = out.get();
  if (r->ch < 0) {
    json_add_int(o, "disconnect", 0);
  } else {
    json_add_int(o, "ch", r->ch);
    json_add_int(o, "enable_text", r->enable_text);
    json_add_field(o, "text_name", r->text_name);
    json_add_int(o, "textpos", r->textpos);
    json_add_int(o, "enable_date", r->enable_date);
    json_add_int(o, "datepos", r->datepos);
    json_add_int(o, "dateformat", r->dateformat);
    json_add_int(o, "fontSize", r->font_size);
    json_add_int(o, "enable_text_sub", r->enable_text_sub);
    json_add_field(o, "text_name_sub", r->text_name_sub);
    json_add_int(o, "textpos_sub", r->textpos_sub);
    json_add_int(o, "enable_date_sub", r->enable_date_sub);
    json_add_int(o, "datepos_sub", r->datepos_sub);
    json_add_int(o, "dateformat_sub", r->dateformat_sub);
    json_add_int(o, "fontSizeSub", r->font_size_sub);
    json_add_int(o, "type", r->type);
    json_add_int(o, "disconnect", 1);
  }
  cgi_write_json(o);
  g_callback_done = 1;
}

}  // namespace video
