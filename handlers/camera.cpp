// Camera channels and the settings relayed to the cameras.
// Request table whose first name is "/2001".
//
// Stored settings (camera record, OSD name, model table, exposure lists) go
// through the configuration store; live facts and every camera-side setting
// go through the core daemon, whose replies come back to
// on_camera_ipc_callback.
#include <json-c/json.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>

#include "core/camera_record.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/osd_record.h"
#include "core/strutil.h"
#include "core/web_utils.h"
#include "handlers/camera_records.h"
#include "handlers/modules.h"
#include "platform/netutil.h"
#include "platform/zrdb.h"
#include "platform/zrfs.h"

void on_camera_ipc_callback(void* ctx, void* header, void* payload);

namespace {

// ---- Request ids ----------------------------------------------------------------
constexpr int REQ_CAMERA_ADDED = 1201;
constexpr int REQ_CAMERA_REMOVED = 1202;
constexpr int REQ_CAMERA_CHANGED = 1203;
constexpr int REQ_CAMERA_POE = 1206;

constexpr int kMaxModels = 8;          // camProtocol / model ids 0..7
constexpr int kDefaultMaxCameras = 32;
constexpr char kDefaultPoePassword[] = "poe123";

// Facts the handler reads from the store before a waiting exchange, for the
// reply writer that runs on the socket library's thread.
struct RequestContext {
  int channel = -1;
  int max_cameras = kDefaultMaxCameras;
  char names[MAX_CHANNELS][64] = {};
  CameraRecord camera{};
  char camera_name[64] = {};
};
RequestContext g_ctx;

// ---- Field tables -----------------------------------------------------------------
// A record field as the JSON key it is read from or answered as. Int fields
// are int32; text fields are char arrays, answered up to their terminator or
// the end of the field, taken cut to leave room for the terminator.
struct FieldDesc {
  const char* key;
  uint32_t offset;
  uint32_t size;
  bool text;
};
#define FIELD_AS(S, f, key)                                                                \
  FieldDesc {                                                                              \
    key, static_cast<uint32_t>(offsetof(S, f)), static_cast<uint32_t>(sizeof(S::f)),       \
        std::is_array<decltype(S::f)>::value                                               \
  }
#define FIELD(S, f) FIELD_AS(S, f, #f)

int32_t read_i32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <size_t N>
void add_fields(json_object* obj, const void* rec, const FieldDesc (&fields)[N]) {
  const uint8_t* base = static_cast<const uint8_t*>(rec);
  for (const FieldDesc& f : fields) {
    const uint8_t* p = base + f.offset;
    if (f.text)
      json_add_text(obj, f.key, std::string_view(reinterpret_cast<const char*>(p),
                                                 strnlen(reinterpret_cast<const char*>(p), f.size)));
    else
      json_add_int(obj, f.key, read_i32(p));
  }
}

// Int fields to -1: the camera leaves those parameters as they are.
template <size_t N>
void set_unchanged(void* rec, const FieldDesc (&fields)[N]) {
  uint8_t* base = static_cast<uint8_t*>(rec);
  const int32_t keep = -1;
  for (const FieldDesc& f : fields)
    if (!f.text) std::memcpy(base + f.offset, &keep, sizeof keep);
}

// Takes the keys present in the request; absent keys leave the field.
template <size_t N>
void take_fields(json_object* req, void* rec, const FieldDesc (&fields)[N]) {
  uint8_t* base = static_cast<uint8_t*>(rec);
  for (const FieldDesc& f : fields) {
    if (f.text) {
      json_take_text(req, f.key, reinterpret_cast<char*>(base + f.offset), f.size);
    } else {
      int32_t v;
      if (json_take_int(req, f.key, &v)) std::memcpy(base + f.offset, &v, sizeof v);
    }
  }
}

// ---- Request helpers --------------------------------------------------------------
// A channel member present and in 0..63.
bool get_channel(json_object* req, const char* key, int* ch) {
  int32_t v = -1;
  if (!json_take_int(req, key, &v) || !channel_in_range(v)) return false;
  *ch = v;
  return true;
}

bool int_in(json_object* req, const char* key, int lo, int hi) {
  int32_t v;
  return json_take_int(req, key, &v) && v >= lo && v <= hi;
}

bool text_present(json_object* req, const char* key, bool non_empty) {
  json_object* v = nullptr;
  if (!json_object_object_get_ex(req, key, &v)) return false;
  const char* s = json_object_get_string(v);
  return !non_empty || (s && *s);
}

// OSD names of channels 0 .. n-1 in one read of the store.
void read_channel_names(int n, char (&names)[MAX_CHANNELS][64]) {
  auto osd = std::make_unique<OsdRecord[]>(MAX_CHANNELS);
  zrdb_read_record_range(ZRDB_PATH, "osd", 0, osd.get(), sizeof(OsdRecord), n);
  for (int ch = 0; ch < n; ++ch) copy_field(names[ch], field_view(osd[ch].camName));
}

int max_cameras() {
  int n = get_param_int(ZRDB_PATH, "max_cameras", kDefaultMaxCameras);
  return n < 0 ? 0 : n > MAX_CHANNELS ? MAX_CHANNELS : n;
}

// 64 '0'/'1' characters, character n for bit n.
std::string mask_text(uint64_t mask) {
  std::string s(64, '0');
  for (int i = 0; i < 64; ++i)
    if (mask & (1ULL << i)) s[static_cast<size_t>(i)] = '1';
  return s;
}

// Channel mask from a '0'/'1' text: bit n for each character n that is '1'
// (at most 64 characters).
uint64_t mask_from_text(std::string_view text) {
  uint64_t mask = 0;
  for (size_t i = 0; i < text.size() && i < 64; ++i)
    if (text[i] == '1') mask |= 1ULL << i;
  return mask;
}

std::string json_text_member(json_object* req, const char* key) {
  json_object* v = nullptr;
  if (!json_object_object_get_ex(req, key, &v)) return std::string();
  const char* s = json_object_get_string(v);
  return s ? s : "";
}

json_object* array_element(json_object* arr, size_t i) {
  return i < json_array_size(arr) ? json_object_array_get_idx(arr, i) : nullptr;
}

bool is_object(json_object* o) { return o && json_object_is_type(o, json_type_object); }

// One waiting exchange with this module's reply dispatcher.
int exchange(int req_id, const void* payload, size_t len, int error_kind) {
  return cgi_ipc_exchange(on_camera_ipc_callback, req_id, payload, static_cast<int>(len), error_kind);
}

// The usual "get" relay: {key: channel} -> 4-byte channel -> wait.
void relay_channel_query(const char* text, const char* key, int req_id, int no_reply_kind,
                         int bad_channel_kind = CGI_KIND_JSON) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), key, &ch)) {
    cgi_error_to_webserver(bad_channel_kind);
    return;
  }
  g_ctx.channel = ch;
  int32_t payload = ch;
  exchange(req_id, &payload, sizeof payload, no_reply_kind);
}

// A fire-and-forget camera set request answered "OK" at once.
void send_and_answer_ok(int req_id, const void* payload, size_t len) {
  notify_core(req_id, payload, static_cast<int>(len));
  cgi_reply_ok();
}

// ---- Reply writers -----------------------------------------------------------------
template <typename T>
T reply_record(const uint8_t* data, size_t len) {
  T rec;
  std::memset(&rec, 0, sizeof rec);
  std::memcpy(&rec, data, len < sizeof rec ? len : sizeof rec);
  return rec;
}

int write_json(json_object* obj) {
  cgi_write_json(obj);
  return 1;
}

int write_text(const char* text) {
  cgi_writeback_webserver(CGI_KIND_TEXT, text);
  return 1;
}

// {"res": first word}
int on_res_word_cb(const uint8_t* data, size_t) {
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "res", read_i32(data));
  return write_json(obj.get());
}

// "OK" when the first word is 0, else "ERROR".
int on_ok_error_cb(const uint8_t* data, size_t) { return write_text(read_i32(data) == 0 ? "OK" : "ERROR"); }

// ================= Channel management =================

const FieldDesc kCameraListFields[] = {
    FIELD(CameraListEntry, ipAddr),       FIELD(CameraListEntry, managePort),
    FIELD(CameraListEntry, camProtocol),  FIELD(CameraListEntry, vendor),
    FIELD(CameraListEntry, sn),           FIELD(CameraListEntry, snReal),
    FIELD(CameraListEntry, mac),          FIELD(CameraListEntry, model),
    FIELD(CameraListEntry, fwVersion),    FIELD(CameraListEntry, state),
    FIELD(CameraListEntry, mainRtspPort), FIELD(CameraListEntry, physicalport),
    FIELD(CameraListEntry, poechannel),   FIELD(CameraListEntry, alarmin),
    FIELD(CameraListEntry, alarmout),     FIELD(CameraListEntry, whiteLed),
    FIELD(CameraListEntry, ledAlarm),     FIELD(CameraListEntry, ledManual),
    FIELD(CameraListEntry, minorid),      FIELD(CameraListEntry, subState),
    FIELD(CameraListEntry, connectState), FIELD(CameraListEntry, ddns),
    FIELD(CameraListEntry, chipinfo),
};

int on_get_camera_list_cb(const uint8_t* data, size_t len) {
  size_t count = len / sizeof(CameraListEntry);
  if (count > MAX_CHANNELS) count = MAX_CHANNELS;
  JsonPtr obj(json_object_new_object());
  json_object* list = json_object_new_array();
  json_object_object_add(obj.get(), "IPC", list);
  for (size_t i = 0; i < count; ++i) {
    CameraListEntry e = reply_record<CameraListEntry>(data + i * sizeof e, sizeof e);
    json_object* item = json_object_new_object();
    json_add_int(item, "id", e.id);
    json_add_int(item, "enable", 1);
    json_add_text(item, "name", channel_in_range(e.id) ? field_view(g_ctx.names[e.id]) : "");
    add_fields(item, &e, kCameraListFields);
    json_object_array_add(list, item);
  }
  json_add_int(obj.get(), "maxIPCNums", g_ctx.max_cameras);
  return write_json(obj.get());
}

// "/2001", "/2007"
void on_get_camera_list(char*) {
  g_ctx.max_cameras = max_cameras();
  read_channel_names(MAX_CHANNELS, g_ctx.names);
  exchange(3201, nullptr, 0, CGI_KIND_JSON);
}

// "/2000"
void on_get_camera_info(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  char name[64];
  read_osd_name(ZRDB_PATH, ch, name);
  CameraRecord cam{};
  read_camera(ZRDB_PATH, &cam, ch);
  IpcModelRecord model{};
  if (cam.camProtocol >= 0 && cam.camProtocol < kMaxModels) read_ipc_model(ZRDB_PATH, &model, cam.camProtocol);

  JsonPtr obj(json_object_new_object());
  json_object* o = obj.get();
  json_add_int(o, "id", ch);
  json_add_field(o, "name", name);
  json_add_field(o, "ipAddr", cam.ipAddr);
  json_add_int(o, "managePort", cam.managePort);
  json_add_int(o, "protocol", model.protocol);
  json_add_int(o, "model", cam.camProtocol);
  json_add_field(o, "userName", cam.userName);
  json_add_field(o, "password", cam.password);
  json_add_int(o, "transmitProtocol", cam.transmitProtocol);
  json_add_int(o, "mainRtspPort", cam.mainRtspPort);
  json_add_field(o, "mainSourcePath", cam.mainSourcePath);
  json_add_int(o, "subRtspEnable", cam.enableSubStream);
  json_add_int(o, "subRtspPort", cam.subRtspPort);
  json_add_field(o, "subSourcePath", cam.subSourcePath);
  json_add_int(o, "syncTime", cam.syncTime);
  json_add_field(o, "mainRtspUrl", cam.mainrtspurl);
  json_add_field(o, "subRtspUrl", cam.subrtspurl);
  json_add_int(o, "physicalport", cam.physicalport);
  json_add_int(o, "poechannel", cam.poechannel);
  json_add_field(o, "mac_addr", cam.mac_addr);
  json_add_int(o, "minorid", cam.minorid);
  json_add_field(o, "ddns", cam.ddns);
  json_add_int(o, "httpsPort", cam.httpsPort);
  cgi_write_json(o);
}

// Validation shared by "/2003" and "/2004".
bool check_digital_channel(json_object* req) {
  if (!int_in(req, "id", 0, MAX_CHANNELS - 1)) return false;
  if (!json_has(req, "name")) return false;
  if (!int_in(req, "enable", 0, 1)) return false;
  int32_t protocol = -1;
  if (!json_take_int(req, "camProtocol", &protocol) || protocol < 0 || protocol >= kMaxModels) return false;
  if (protocol != 7) {
    if (!text_present(req, "ipAddr", true)) return false;
    if (!int_in(req, "managePort", 0, INT32_MAX)) return false;
  }
  return int_in(req, "transmitProtocol", 0, 3);
}

CameraLogDetail camera_log_detail(int code, const CameraRecord& cam) {
  CameraLogDetail d;
  std::memset(&d, 0, sizeof d);
  d.code = code;
  copy_field(d.ipAddr, field_view(cam.ipAddr));
  d.managePort = cam.managePort;
  d.channel = cam.id + 1;
  copy_field(d.protocol, cam.camProtocol == 0 ? "ONVIF" : cam.camProtocol == 1 ? "RTSP" : "ZRSF");
  copy_field(d.transport, cam.transmitProtocol == 0   ? "UDP"
                          : cam.transmitProtocol == 3 ? "RTSP Over HTTPS"
                                                      : "TCP");
  d.syncTime = static_cast<uint8_t>(cam.syncTime);
  return d;
}

// Operation-log entry of a camera change: the detail code doubles as the
// parameter code; the detail block is packed when given.
void log_camera(int64_t sub_type, int code, int channel, const CameraLogDetail* detail) {
  OperationLogInfo info;
  cgi_init_log_info(&info);
  info.sub_type = sub_type;
  info.param = code;
  info.channel = channel + 1;
  if (detail) zrfs_log_pack_detail(info.detail, sizeof info.detail, CAMERA_LOG_DETAIL_KIND, detail, sizeof *detail);
  notify_core(REQ_OPERATION_LOG, &info, sizeof info);
}

void set_channel_name(int ch, std::string_view name) {
  OsdRecord osd{};
  read_osd(ZRDB_PATH, &osd, ch);
  osd.camId = ch;
  copy_field(osd.camName, name);
  write_osd(ZRDB_PATH, &osd, ch);
}

// "/2003" (add = false) and "/2004" (add = true).
void save_camera(const char* text, bool add) {
  JsonPtr req = parse_request(text);
  if (!req || !check_digital_channel(req.get())) return;
  json_object* r = req.get();
  const int id = json_get_int(r, "id");

  CameraRecord cam{};
  {
    ZrdbTransaction txn(ZRDB_PATH);
    read_camera(ZRDB_PATH, &cam, id);
    set_channel_name(id, json_text_member(r, "name"));
    cam.id = id;
    json_take_int(r, "minorid", &cam.minorid);
    json_take_int(r, "enable", &cam.enable);
    json_take_text(r, "ipAddr", cam.ipAddr);
    json_take_int(r, "managePort", &cam.managePort);
    json_take_int(r, "camProtocol", &cam.camProtocol);
    if (add || json_get_int(r, "type") == 0) {
      json_take_text(r, "userName", cam.userName);
      json_take_text(r, "password", cam.password);
    }
    json_take_int(r, "transmitProtocol", &cam.transmitProtocol);
    json_take_int(r, "enableSubStream", &cam.enableSubStream);
    json_take_int(r, "syncTime", &cam.syncTime);
    if (cam.camProtocol == 1) {
      json_take_int(r, "mainRtspPort", &cam.mainRtspPort);
      json_take_text(r, "mainSourcePath", cam.mainSourcePath);
      json_take_int(r, "subRtspPort", &cam.subRtspPort);
      json_take_text(r, "subSourcePath", cam.subSourcePath);
      json_take_text(r, "mainrtspurl", cam.mainrtspurl);
      json_take_text(r, "subrtspurl", cam.subrtspurl);
    }
    if (add) {
      if (json_take_text(r, "mac_addr", cam.mac_addr) && std::strcmp(cam.mac_addr, "(null)") == 0)
        std::memset(cam.mac_addr, 0, sizeof cam.mac_addr);
      json_take_int(r, "poechannel", &cam.poechannel);
      json_take_int(r, "physicalport", &cam.physicalport);
    }
    json_take_text(r, "ddns", cam.ddns);
    json_take_int(r, "httpsPort", &cam.httpsPort);
    write_camera(ZRDB_PATH, &cam, id);
    txn.commit();
  }

  notify_core_int(add ? REQ_CAMERA_ADDED : REQ_CAMERA_CHANGED, id);
  if (add) {
    ChannelPoe poe{id, json_get_int(r, "otherPoe") == 1 ? 1 : 0};
    notify_core(REQ_CAMERA_POE, &poe, sizeof poe);
  }
  const int code = add ? 901 : 903;
  CameraLogDetail detail = camera_log_detail(code, cam);
  log_camera(add ? 210 : 204, code, id, &detail);
  cgi_reply_ok();
}

void on_edit_camera(char* text) { save_camera(text, false); }
void on_add_camera(char* text) { save_camera(text, true); }

// "/2005"
void on_delete_camera(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  {
    ZrdbTransaction txn(ZRDB_PATH);
    PrivacyMaskRecord masks{};
    if (zrdb_read_record(ZRDB_PATH, "privacy_mask", ch, &masks, sizeof masks) == 0 && masks.id == ch) {
      for (PrivacyMaskArea& a : masks.area) {
        a.enable = 0;
        a.start_x = a.start_y = a.area_width = a.area_height = 0;
      }
      write_privacy_mask(ZRDB_PATH, &masks, ch);
    }
    CameraRecord cam{};
    read_camera(ZRDB_PATH, &cam, ch);
    const int32_t retained = cam.retained;
    std::memset(&cam, 0, sizeof cam);
    cam.id = ch;
    cam.removed = 1;
    cam.enable = 0;
    cam.retained = retained;
    write_camera(ZRDB_PATH, &cam, ch);
    set_channel_name(ch, string_printf("CAM%d", ch + 1));
    txn.commit();
  }
  notify_core_int(REQ_CAMERA_REMOVED, ch);
  ChannelPoe poe{ch, 0};
  notify_core(REQ_CAMERA_POE, &poe, sizeof poe);
  log_camera(211, 902, ch, nullptr);
  cgi_reply_ok();
}

// Any byte of 0x80 or above (compared as unsigned, whatever char is).
bool has_non_ascii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

const FieldDesc kSearchFields[] = {
    FIELD(SearchResultEntry, ipAddr),  FIELD(SearchResultEntry, managePort),
    FIELD(SearchResultEntry, protocol), FIELD(SearchResultEntry, macAddr),
    FIELD(SearchResultEntry, vendor),  FIELD(SearchResultEntry, sn),
    FIELD(SearchResultEntry, fwVersion), FIELD(SearchResultEntry, model),
    FIELD(SearchResultEntry, modelId), FIELD(SearchResultEntry, netmask),
    FIELD(SearchResultEntry, dns),     FIELD(SearchResultEntry, gateway),
    FIELD(SearchResultEntry, netif),   FIELD(SearchResultEntry, active_status),
};

int on_search_camera_cb(const uint8_t* data, size_t len) {
  const size_t count = len / sizeof(SearchResultEntry);
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "resultString", count > 0 ? "OK" : "NO");
  json_object* list = json_object_new_array();
  json_object_object_add(obj.get(), "IPC", list);
  for (size_t i = 0; i < count; ++i) {
    SearchResultEntry e = reply_record<SearchResultEntry>(data + i * sizeof e, sizeof e);
    json_object* item = json_object_new_object();
    add_fields(item, &e, kSearchFields);
    std::string_view name = field_view(e.name);
    json_add_text(item, "name", has_non_ascii(name) ? std::string_view() : name);
    json_add_field(item, "snReal", e.snReal);
    json_object_array_add(list, item);
  }
  return write_json(obj.get());
}

// "/2006"
void on_search_camera(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int32_t protocol = -1;
  if (!json_take_int(req.get(), "protocol", &protocol) || protocol < 0 || protocol >= kMaxModels) return;
  char nic[10];
  json_get_text(req.get(), "nic", nic);  // accepted; the search runs on every interface
  exchange(3200, &protocol, sizeof protocol, CGI_KIND_JSON);
}

// The factory model table, written when the store holds none.
void seed_model_table() {
  const IpcProtocolRecord protocols[] = {
      {0, "ONVIF", 1, 1, 0},
      {1, "RTSP", 2, 1, 0},
      {2, "ZRSF", 3, 1, 1},
  };
  const IpcModelRecord models[] = {
      {0, 0, "ONVIF", 0, 1},         {1, 1, "RTSP", 0, 1},          {2, 2, "IPC-Bullet", 1, 1},
      {3, 2, "IPC-Dome", 1, 0},      {4, 2, "IPC-PTZ", 2, 0},       {5, 2, "IPC-Fisheye", 1, 0},
      {6, 2, "IPC-Turret", 1, 0},    {7, 2, "IPC-Multi", 3, 0},
  };
  for (const IpcProtocolRecord& p : protocols) write_ipc_protocol(ZRDB_PATH, &p, p.id);
  for (const IpcModelRecord& m : models) write_ipc_model(ZRDB_PATH, &m, m.id);
}

// "/2008"
void on_get_camera_protocols(char*) {
  constexpr int kMaxProtocols = 16;
  IpcProtocolRecord protocols[kMaxProtocols];
  IpcModelRecord models[MAX_CHANNELS];
  int np = 0, nm = 0;
  {
    ZrdbTransaction txn(ZRDB_PATH);
    if (read_ipc_protocols(ZRDB_PATH, protocols, kMaxProtocols, &np) != 0 || np == 0) {
      seed_model_table();
      read_ipc_protocols(ZRDB_PATH, protocols, kMaxProtocols, &np);
    }
    np = np < 0 ? 0 : np > kMaxProtocols ? kMaxProtocols : np;
    for (int i = 0; i < np; ++i) {
      if (protocols[i].id == 2 && protocols[i].display_model == 1) {
        protocols[i].display_model = 0;
        write_ipc_protocol(ZRDB_PATH, &protocols[i], protocols[i].id);
      }
    }
    if (read_ipc_models(ZRDB_PATH, models, MAX_CHANNELS, &nm) != 0) nm = 0;
    nm = nm < 0 ? 0 : nm > MAX_CHANNELS ? MAX_CHANNELS : nm;
    txn.commit();
  }
  JsonPtr obj(json_object_new_object());
  json_object* list = json_object_new_array();
  json_object_object_add(obj.get(), "protocols", list);
  for (int i = 0; i < np; ++i) {
    const IpcProtocolRecord& p = protocols[i];
    json_object* item = json_object_new_object();
    json_add_int(item, "id", p.id);
    json_add_field(item, "name", p.name);
    json_add_int(item, "protocolFunction", p.protocolFunction);
    json_add_int(item, "enable", p.enable);
    json_add_int(item, "display_model", p.display_model);
    json_object* ml = json_object_new_array();
    for (int j = 0; j < nm; ++j) {
      if (models[j].protocol != p.id) continue;
      json_object* m = json_object_new_object();
      json_add_int(m, "id", models[j].id);
      json_add_field(m, "name", models[j].name);
      json_add_int(m, "alarm_type", models[j].alarm_type);
      json_add_int(m, "default_model", models[j].default_model);
      json_object_array_add(ml, m);
    }
    json_object_object_add(item, "models", ml);
    json_object_array_add(list, item);
  }
  cgi_write_json(obj.get());
}

// Fills the network change record from one request object.
void fill_network_change(json_object* r, CameraNetworkChange* rec) {
  std::memset(rec, 0, sizeof *rec);
  json_get_text(r, "macAddr", rec->macAddr);
  json_get_text(r, "oldIpcAddr", rec->oldIpcAddr);
  json_get_text(r, "newIpcAddr", rec->newIpcAddr);
  json_get_text(r, "netmask", rec->netmask);
  json_get_text(r, "gateway", rec->gateway);
  json_get_text(r, "primaryDNS", rec->primaryDNS);
  rec->port = json_get_int(r, "port");
  json_get_text(r, "username", rec->username);
  json_get_text(r, "password", rec->password, 33);  // at most 32 characters
  rec->protocol = json_get_int(r, "protocol");
  json_get_text(r, "netif", rec->netif);
}

int on_set_camera_network_cb(const uint8_t* data, size_t) {
  static const char* const kResults[] = {"OK", "NETWORK_ERR", "INVALID_USER", "UNKNOWN_ERR", "PROTO_NOT_SUPPORT"};
  const int32_t code = read_i32(data);
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "resultString", code >= 0 && code <= 4 ? kResults[code] : "ERROR");
  return write_json(obj.get());
}

// "/2011"
void on_set_camera_network(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  json_object* r = req.get();
  for (const char* key : {"macAddr", "oldIpcAddr", "newIpcAddr", "netmask", "gateway", "primaryDNS"})
    if (!json_has(r, key)) return;
  if (!int_in(r, "port", 0, 65535) || !json_has(r, "username") || !json_has(r, "password") ||
      !int_in(r, "protocol", 0, kMaxModels - 1))
    return;
  CameraNetworkChange rec;
  fill_network_change(r, &rec);
  exchange(3205, &rec, sizeof rec, CGI_KIND_JSON);
}

// "/2032"
void on_set_batch_camera_network(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  json_object* list = json_array_member(req.get(), "oIPCAddr");
  int cnt = json_get_int(req.get(), "cnt");
  size_t n = cnt < 0 ? 0 : static_cast<size_t>(cnt);
  if (n > json_array_size(list)) n = json_array_size(list);
  if (n > BATCH_RESULT_ENTRIES) n = BATCH_RESULT_ENTRIES;
  for (size_t i = 0; i < n; ++i) {
    json_object* item = array_element(list, i);
    int ch = -1;
    if (!is_object(item) || !get_channel(item, "channelId", &ch)) continue;
    BatchNetworkChange rec;
    fill_network_change(item, &rec.change);
    rec.channelId = ch;
    rec.modifynum = json_get_int(item, "modifynum");
    notify_core(3229, &rec, sizeof rec);
  }
  cgi_reply_ok();
}

int on_get_batch_network_result_cb(const uint8_t* data, size_t len) {
  BatchNetworkResult rec = reply_record<BatchNetworkResult>(data, len);
  const size_t room = len > offsetof(BatchNetworkResult, entry)
                          ? (len - offsetof(BatchNetworkResult, entry)) / sizeof(BatchNetworkResult::Entry)
                          : 0;
  size_t count = rec.count < 0 ? 0 : static_cast<size_t>(rec.count);
  if (count > BATCH_RESULT_ENTRIES) count = BATCH_RESULT_ENTRIES;
  if (count > room) count = room;
  JsonPtr obj(json_object_new_object());
  json_object* list = json_object_new_array();
  json_object_object_add(obj.get(), "IPC", list);
  for (size_t i = 0; i < count; ++i) {
    json_object* item = json_object_new_object();
    json_add_field(item, "mac", rec.entry[i].mac);
    json_add_int(item, "result", rec.entry[i].result);
    json_object_array_add(list, item);
  }
  return write_json(obj.get());
}

// "/2033"
void on_get_batch_network_result(char*) { exchange(3230, nullptr, 0, CGI_KIND_JSON); }

int on_test_camera_connection_cb(const uint8_t* data, size_t) {
  switch (read_i32(data)) {
    case 0:
    case 4:
      write_text("OK");
      return 2;
    case 1: return write_text("NETWORKERROR");
    case 2: return write_text("USERERROR");
    case 5: return write_text("BANDWIDTHERROR");
    default: return write_text("UNKOWNERROR");
  }
}

bool check_connection_test(json_object* r) {
  return text_present(r, "ipAddr", true) && int_in(r, "managePort", 0, INT32_MAX) &&
         int_in(r, "camProtocol", 0, kMaxModels - 1);
}

// "/2014"
void on_test_camera_connection(char* text) {
  JsonPtr req = parse_request(text);
  if (!req || !check_connection_test(req.get())) return;
  json_object* r = req.get();
  ConnectionTest rec;
  std::memset(&rec, 0, sizeof rec);
  json_get_text(r, "ipAddr", rec.ipAddr);
  rec.managePort = json_get_int(r, "managePort");
  json_get_text(r, "userName", rec.userName);
  json_get_text(r, "password", rec.password, 33);
  rec.camProtocol = json_get_int(r, "camProtocol");
  exchange(3202, &rec, sizeof rec, CGI_KIND_TEXT);
}

// "/2015"
void on_test_camera_web_login(char* text) {
  JsonPtr req = parse_request(text);
  if (!req || !check_connection_test(req.get())) return;
  json_object* r = req.get();
  WebLoginTest rec;
  std::memset(&rec, 0, sizeof rec);
  json_get_text(r, "ipAddr", rec.ipAddr);
  rec.managePort = json_get_int(r, "managePort");
  if (rec.managePort < 80) rec.managePort = 80;
  json_get_text(r, "userName", rec.userName);
  json_get_text(r, "password", rec.password, 33);
  rec.camProtocol = json_get_int(r, "camProtocol");
  exchange(3227, &rec, sizeof rec, CGI_KIND_TEXT);
}

// "/2012"
void on_get_channel_names(char*) {
  const int n = max_cameras();
  read_channel_names(n, g_ctx.names);
  JsonPtr obj(json_object_new_object());
  json_object* list = json_object_new_array();
  json_object_object_add(obj.get(), "IPC", list);
  for (int ch = 0; ch < n; ++ch) {
    json_object* item = json_object_new_object();
    json_add_int(item, "id", ch);
    json_add_field(item, "name", g_ctx.names[ch]);
    json_object_array_add(list, item);
  }
  cgi_write_json(obj.get());
}

int on_get_record_month_map_cb(const uint8_t* data, size_t len) {
  MonthMapReply rec = reply_record<MonthMapReply>(data, len);
  JsonPtr arr(json_object_new_array());
  for (int d = 0; d < 31; ++d) json_object_array_add(arr.get(), json_object_new_int(rec.word[d + 1] != 0 ? 1 : 0));
  return write_json(arr.get());
}

// "/2013"
void on_get_record_month_map(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  json_object* r = req.get();
  if (!json_has(r, "time") || !json_has(r, "chnid") || !json_has(r, "streamType")) return;
  int ch = -1;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  const std::string when = json_text_member(r, "time");
  if (!get_channel(r, "chnid", &ch) ||
      std::sscanf(when.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second) != 6 ||
      month < 1 || month > 12) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  MonthMapQuery q;
  std::memset(&q, 0, sizeof q);
  q.streamType = json_get_int(r, "streamType") == 1 ? 1 : 0;
  q.year = year;
  q.month = month;
  std::memset(q.mask, '0', sizeof q.mask);
  q.mask[ch] = '1';
  exchange(3493, &q, sizeof q, CGI_KIND_JSON);
}

// "/2016"
void on_get_poe_password(char*) {
  char pass[64];
  get_param_value(ZRDB_PATH, "poepsd", pass, sizeof pass, kDefaultPoePassword);
  cgi_writeback_webserver(CGI_KIND_TEXT, pass);
}

// "/2017"
void on_set_camera_account(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  json_object* r = req.get();
  int id = -1;
  if (!get_channel(r, "id", &id) || !text_present(r, "userName", true) || !text_present(r, "password", true))
    return;
  CameraRecord cam{};
  {
    ZrdbTransaction txn(ZRDB_PATH);
    read_camera(ZRDB_PATH, &cam, id);
    cam.id = id;
    json_take_text(r, "userName", cam.userName);
    json_take_text(r, "password", cam.password);
    write_camera(ZRDB_PATH, &cam, id);
    txn.commit();
  }
  notify_core_int(REQ_CAMERA_CHANGED, id);
  CameraLogDetail detail = camera_log_detail(903, cam);
  log_camera(204, 903, id, &detail);
  cgi_reply_ok();
}

// "/2018"
void on_get_max_poe_num(char*) {
  cgi_writeback_webserver(CGI_KIND_TEXT, std::to_string(get_param_int(ZRDB_PATH, "max_poe_num", 0)).c_str());
}

const FieldDesc kChannelModelFields[] = {
    FIELD(ChannelModelEntry, chnid),
    FIELD(ChannelModelEntry, ipaddr),
    FIELD(ChannelModelEntry, model),
    FIELD(ChannelModelEntry, fwversion),
};

int on_web_get_channels_model_cb(const uint8_t* data, size_t len) {
  size_t count = len / sizeof(ChannelModelEntry);
  if (count > MAX_CHANNELS) count = MAX_CHANNELS;
  JsonPtr obj(json_object_new_object());
  json_object* list = json_object_new_array();
  json_object_object_add(obj.get(), "IPC", list);
  for (size_t i = 0; i < count; ++i) {
    ChannelModelEntry e = reply_record<ChannelModelEntry>(data + i * sizeof e, sizeof e);
    json_object* item = json_object_new_object();
    add_fields(item, &e, kChannelModelFields);
    json_object_array_add(list, item);
  }
  return write_json(obj.get());
}

// "/2029"
void on_web_get_channels_model(char*) { exchange(2505, nullptr, 0, CGI_KIND_JSON); }

// "/2031"
void on_set_camera_transport(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  json_object* r = req.get();
  int id = -1;
  if (!get_channel(r, "id", &id)) return;
  CameraRecord cam{};
  {
    ZrdbTransaction txn(ZRDB_PATH);
    read_camera(ZRDB_PATH, &cam, id);
    cam.id = id;
    json_take_int(r, "transmitProtocol", &cam.transmitProtocol);
    json_take_int(r, "syncTime", &cam.syncTime);
    json_take_int(r, "httpsPort", &cam.httpsPort);
    write_camera(ZRDB_PATH, &cam, id);
    txn.commit();
  }
  notify_core_int(REQ_CAMERA_CHANGED, id);
  CameraLogDetail detail = camera_log_detail(903, cam);
  log_camera(204, 903, id, &detail);
  cgi_reply_ok();
}

// "/2034"
void on_get_ipv6_support(char*) {
  cgi_writeback_webserver(CGI_KIND_TEXT, std::to_string(net_is_haveipv6()).c_str());
}

// ================= Parameter relay =================

// ---- Audio ----
const FieldDesc kAudioConfigFields[] = {
    FIELD(AudioConfig, chnid),         FIELD(AudioConfig, audioEnable),      FIELD(AudioConfig, audioMode),
    FIELD(AudioConfig, denoise),       FIELD(AudioConfig, encoding),         FIELD(AudioConfig, sampleRate),
    FIELD(AudioConfig, inputGain),     FIELD(AudioConfig, inputMode),        FIELD(AudioConfig, audioGainControl),
    FIELD(AudioConfig, outputVolume),  FIELD(AudioConfig, audioBitrate),
};

int bounded_count(int32_t n, int cap) { return n < 0 ? 0 : n > cap ? cap : n; }

int on_cgi_get_ipc_audio_info_cb(const uint8_t* data, size_t len) {
  const AudioInfo rec = reply_record<AudioInfo>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object* o = obj.get();
  json_add_int(o, "res", rec.res);
  json_add_int(o, "support", rec.support);
  json_add_int(o, "supportMode", rec.supportMode);
  json_add_int(o, "supportInputMode", rec.supportInputMode);
  json_object* config = json_object_new_object();
  add_fields(config, &rec.config, kAudioConfigFields);
  json_object_object_add(o, "config", config);
  json_object* options = json_object_new_array();
  for (int i = 0; i < bounded_count(rec.optionCount, AUDIO_OPTIONS); ++i) {
    const AudioOption& opt = rec.option[i];
    json_object* item = json_object_new_object();
    json_add_int(item, "encodeValue", opt.encodeValue);
    json_object* rates = json_object_new_array();
    for (int j = 0; j < bounded_count(opt.sampleRateCount, AUDIO_SAMPLE_RATES); ++j) {
      const AudioSampleRate& sr = opt.sampleRate[j];
      json_object* rate = json_object_new_object();
      json_add_int(rate, "sampleRateValue", sr.sampleRateValue);
      json_object* bitrates = json_object_new_array();
      for (int k = 0; k < bounded_count(sr.bitrateCount, AUDIO_BITRATES); ++k)
        json_object_array_add(bitrates, json_object_new_int(sr.bitrate[k]));
      json_object_object_add(rate, "bitrateInfo", bitrates);
      json_object_array_add(rates, rate);
    }
    json_object_object_add(item, "sampleRateInfo", rates);
    json_object_array_add(options, item);
  }
  json_object_object_add(o, "options", options);
  return write_json(o);
}

// "/2063"
void on_cgi_get_ipc_audio_info(char* text) { relay_channel_query(text, "chnid", 3371, CGI_KIND_JSON); }

// "/2064"
void on_cgi_set_ipc_audio_info(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  AudioSet rec;
  std::memset(&rec, 0, sizeof rec);
  set_unchanged(&rec.config, kAudioConfigFields);
  take_fields(req.get(), &rec.config, kAudioConfigFields);
  rec.config.chnid = ch;
  rec.mask = mask_from_text(json_text_member(req.get(), "channels")) | (1ULL << ch);
  exchange(3372, &rec, sizeof rec, CGI_KIND_JSON);
}

// ---- Stream parameters ----
const FieldDesc kStreamCapsFields[] = {
    FIELD(StreamCaps, framerateMax),      FIELD(StreamCaps, framerateMin),   FIELD(StreamCaps, bitrateMax),
    FIELD(StreamCaps, bitrateMin),        FIELD(StreamCaps, framerate),      FIELD(StreamCaps, bitrate),
    FIELD(StreamCaps, iframeinterval),    FIELD(StreamCaps, iframeIntervalMin),
    FIELD(StreamCaps, iframeIntervalMax), FIELD(StreamCaps, bitrateCtrl),
};

json_object* stream_caps_json(const StreamCaps& caps) {
  json_object* o = json_object_new_object();
  json_object* res = json_object_new_array();
  int cur = -1;
  for (int i = 0; i < STREAM_RESOLUTIONS; ++i) {
    const int32_t w = caps.res[i][0], h = caps.res[i][1];
    if (w == 0 || h == 0) break;
    if (w == caps.curWidth && h == caps.curHeight && cur < 0) cur = i;
    json_object* r = json_object_new_object();
    json_add_int(r, "width", w);
    json_add_int(r, "height", h);
    json_add_text(r, "name", string_printf("%d*%d", w, h));
    json_object_array_add(res, r);
  }
  json_add_int(o, "curRes", cur < 0 ? 0 : cur);
  json_object_object_add(o, "res", res);
  add_fields(o, &caps, kStreamCapsFields);
  return o;
}

int on_get_stream_params_cb(const uint8_t* data, size_t len) {
  const StreamParams p = reply_record<StreamParams>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object* o = obj.get();
  json_add_int(o, "stateCode", p.stateCode);
  if (p.stateCode == 0) {
    const CameraRecord& cam = g_ctx.camera;
    json_add_int(o, "id", p.id);
    json_add_field(o, "name", g_ctx.camera_name);
    json_add_int(o, "subEnable", p.subEnable);
    json_add_int(o, "audioEnable", p.audioEnable);
    json_add_int(o, "videoTypeEnable", p.videoTypeEnable);
    json_add_int(o, "mainVideoType", p.main.videoType);
    json_add_int(o, "subVideoType", p.sub.videoType);
    json_add_int(o, "ipc_type", p.ipc_type);
    json_add_int(o, "syncTime", cam.syncTime);
    json_add_int(o, "protocol", cam.camProtocol);
    json_add_int(o, "managePort", cam.managePort);
    json_add_int(o, "physicalport", cam.physicalport);
    json_add_int(o, "poechannel", cam.poechannel);
    json_add_field(o, "mac_addr", cam.mac_addr);
    json_add_int(o, "transmitProtocol", cam.transmitProtocol);
    json_add_field(o, "ddns", cam.ddns);
    json_add_int(o, "httpsPort", cam.httpsPort);
    json_add_int(o, "mainStream", p.mainStream);
    json_add_int(o, "subStream", p.subStream);
    json_add_int(o, "SupportSmartStream", p.SupportSmartStream);
    json_add_int(o, "SmartStream", p.SmartStream);
    json_add_int(o, "SmartStreamLevel", p.SmartStreamLevel);
    json_add_int(o, "SubSupportSmartStream", p.SubSupportSmartStream);
    json_add_int(o, "SubSmartStream", p.SubSmartStream);
    json_add_int(o, "SubSmartStreamLevel", p.SubSmartStreamLevel);
    json_object_object_add(o, "main", stream_caps_json(p.main));
    json_object_object_add(o, "sub", stream_caps_json(p.sub));
    json_add_int(o, "mainGop", p.mainGop);
    json_add_int(o, "subGop", p.subGop);
    json_add_int(o, "thirdGop", p.thirdGop);
  }
  return write_json(o);
}

// "/2009"
void on_get_stream_params(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  read_camera(ZRDB_PATH, &g_ctx.camera, ch);
  read_osd_name(ZRDB_PATH, ch, g_ctx.camera_name);
  g_ctx.channel = ch;
  int32_t payload = ch;
  exchange(3204, &payload, sizeof payload, CGI_KIND_JSON);
}

// Every int field of the stream set record but the zero words; the first
// three are never taken from a single-channel request.
const FieldDesc kStreamSetFields[] = {
    FIELD(StreamSet, transmitProtocol),  FIELD(StreamSet, syncTime),
    FIELD(StreamSet, field76),           FIELD(StreamSet, videoTypeEnable),
    FIELD(StreamSet, subEnable),         FIELD(StreamSet, fisheyeType),
    FIELD(StreamSet, mainVideoType),     FIELD(StreamSet, mainResWidth),
    FIELD(StreamSet, mainResHeight),     FIELD(StreamSet, mainFramerate),
    FIELD(StreamSet, mainBitrate),       FIELD(StreamSet, IframeInterval),
    FIELD_AS(StreamSet, bitrateControl, "mainBitrateControl"),
    FIELD(StreamSet, SmartStream),       FIELD(StreamSet, SmartStreamLevel),
    FIELD(StreamSet, recordtype),        FIELD(StreamSet, etframerate),
    FIELD(StreamSet, etIframeinterval),  FIELD(StreamSet, etbitrate),
    FIELD(StreamSet, subVideoType),      FIELD(StreamSet, subResWidth),
    FIELD(StreamSet, subResHeight),      FIELD(StreamSet, subFramerate),
    FIELD(StreamSet, subBitrate),        FIELD(StreamSet, subIframeInterval),
    FIELD_AS(StreamSet, SubBitrateControl, "subBitrateControl"),
    FIELD(StreamSet, SubSmartStream),    FIELD(StreamSet, SubSmartStreamLevel),
};
// Keys "/2010" takes: every field after the first three.
const FieldDesc kStreamSetSingleKeys[] = {
    FIELD(StreamSet, videoTypeEnable),   FIELD(StreamSet, subEnable),
    FIELD(StreamSet, fisheyeType),       FIELD(StreamSet, mainVideoType),
    FIELD(StreamSet, mainResWidth),      FIELD(StreamSet, mainResHeight),
    FIELD(StreamSet, mainFramerate),     FIELD(StreamSet, mainBitrate),
    FIELD(StreamSet, IframeInterval),    FIELD_AS(StreamSet, bitrateControl, "mainBitrateControl"),
    FIELD(StreamSet, SmartStream),       FIELD(StreamSet, SmartStreamLevel),
    FIELD(StreamSet, recordtype),        FIELD(StreamSet, etframerate),
    FIELD(StreamSet, etIframeinterval),  FIELD(StreamSet, etbitrate),
    FIELD(StreamSet, subVideoType),      FIELD(StreamSet, subResWidth),
    FIELD(StreamSet, subResHeight),      FIELD(StreamSet, subFramerate),
    FIELD(StreamSet, subBitrate),        FIELD(StreamSet, subIframeInterval),
    FIELD_AS(StreamSet, SubBitrateControl, "subBitrateControl"),
    FIELD(StreamSet, SubSmartStream),    FIELD(StreamSet, SubSmartStreamLevel),
};
// Keys "/2030" takes.
const FieldDesc kStreamSetBatchKeys[] = {
    FIELD(StreamSet, transmitProtocol),  FIELD(StreamSet, syncTime),
    FIELD(StreamSet, subEnable),         FIELD(StreamSet, mainVideoType),
    FIELD(StreamSet, mainResWidth),      FIELD(StreamSet, mainResHeight),
    FIELD(StreamSet, mainFramerate),     FIELD(StreamSet, mainBitrate),
    FIELD(StreamSet, IframeInterval),    FIELD_AS(StreamSet, bitrateControl, "mainBitrateControl"),
    FIELD(StreamSet, SmartStream),       FIELD(StreamSet, SmartStreamLevel),
    FIELD(StreamSet, subVideoType),      FIELD(StreamSet, subResWidth),
    FIELD(StreamSet, subResHeight),      FIELD(StreamSet, subFramerate),
    FIELD(StreamSet, subBitrate),        FIELD(StreamSet, subIframeInterval),
    FIELD_AS(StreamSet, SubBitrateControl, "subBitrateControl"),
    FIELD(StreamSet, SubSmartStream),    FIELD(StreamSet, SubSmartStreamLevel),
};

StreamSet blank_stream_set() {
  StreamSet rec;
  std::memset(&rec, 0, sizeof rec);
  set_unchanged(&rec, kStreamSetFields);
  for (int32_t& w : rec.tail) w = -1;
  std::memset(rec.mask, '0', sizeof rec.mask);
  return rec;
}

int on_set_stream_params_cb(const uint8_t* data, size_t len) {
  uint64_t mask = 0;
  std::memcpy(&mask, data, len < sizeof mask ? len : sizeof mask);
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "res", mask_text(mask));
  return write_json(obj.get());
}

// "/2010"
void on_set_stream_params(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  json_object* r = req.get();
  int id = -1;
  if (!get_channel(r, "id", &id) || !int_in(r, "mainFramerate", 0, INT32_MAX) ||
      !int_in(r, "mainBitrate", 0, INT32_MAX) || !int_in(r, "subEnable", 0, 1) || !int_in(r, "audioEnable", 0, 1) ||
      !int_in(r, "mainResWidth", 0, INT32_MAX) || !int_in(r, "mainResHeight", 0, INT32_MAX))
    return;
  StreamSet rec = blank_stream_set();
  take_fields(r, &rec, kStreamSetSingleKeys);
  rec.mask[id] = '1';
  exchange(3203, &rec, sizeof rec, CGI_KIND_TEXT);
}

// "/2030"
void on_set_batch_stream_params(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  StreamSet rec = blank_stream_set();
  json_object* chans = json_array_member(req.get(), "chans");
  for (size_t i = 0; i < json_array_size(chans) && i < MAX_CHANNELS; ++i)
    if (json_object_get_int(array_element(chans, i)) != 0) rec.mask[i] = '1';
  take_fields(req.get(), &rec, kStreamSetBatchKeys);
  rec.videoTypeEnable = 1;
  exchange(3203, &rec, sizeof rec, CGI_KIND_TEXT);
}

// ---- Image enhancement ----
const FieldDesc kImageEnhancementFields[] = {
    FIELD(ImageEnhancement, id),            FIELD(ImageEnhancement, smartir),
    FIELD(ImageEnhancement, whiteblance),   FIELD(ImageEnhancement, focusmode),
    FIELD(ImageEnhancement, antiblurry),    FIELD(ImageEnhancement, wdrenable),
    FIELD(ImageEnhancement, wdrlevel),      FIELD(ImageEnhancement, wdrstarthour),
    FIELD(ImageEnhancement, wdrstartminute), FIELD(ImageEnhancement, wdrstophour),
    FIELD(ImageEnhancement, wdrstopminute), FIELD(ImageEnhancement, regiontype),
    FIELD(ImageEnhancement, hlcmode),       FIELD(ImageEnhancement, exclude),
    FIELD(ImageEnhancement, exposemode),    FIELD(ImageEnhancement, exposeregion),
    FIELD(ImageEnhancement, imageschemode), FIELD(ImageEnhancement, hlcday),
    FIELD(ImageEnhancement, hlcnight),      FIELD(ImageEnhancement, redgain),
    FIELD(ImageEnhancement, bluegain),      FIELD(ImageEnhancement, defogmode),
    FIELD(ImageEnhancement, defoglevel),    FIELD(ImageEnhancement, dismode),
    FIELD(ImageEnhancement, exposetime),    FIELD(ImageEnhancement, exposegain),
    FIELD(ImageEnhancement, wdraflevel),    FIELD(ImageEnhancement, exposurectrl),
    FIELD(ImageEnhancement, hlclevel),      FIELD(ImageEnhancement, enblur),
    FIELD(ImageEnhancement, deblur),        FIELD(ImageEnhancement, sdkversion),
    FIELD(ImageEnhancement, lensType),      FIELD(ImageEnhancement, reduceVideoStuttering),
};

int on_get_ipc_ipcimage_enhancement_cb(const uint8_t* data, size_t len) {
  const ImageEnhancement rec = reply_record<ImageEnhancement>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kImageEnhancementFields);
  return write_json(obj.get());
}

// "/2019"
void on_get_image_enhancement(char* text) { relay_channel_query(text, "id", 3221, CGI_KIND_TEXT); }

const FieldDesc kImageEnhancementSetFields[] = {
    FIELD(ImageEnhancementSet, modelType),        FIELD(ImageEnhancementSet, aflevel),
    FIELD(ImageEnhancementSet, irBalanceMode),    FIELD(ImageEnhancementSet, reduceMotionBlur),
    FIELD(ImageEnhancementSet, defogMode),        FIELD(ImageEnhancementSet, antiFogIntensity),
    FIELD(ImageEnhancementSet, whitebalanceMode), FIELD(ImageEnhancementSet, whitebalanceRedGain),
    FIELD(ImageEnhancementSet, whitebalanceBlueGain), FIELD(ImageEnhancementSet, exposureMode),
    FIELD(ImageEnhancementSet, exposureTime),     FIELD(ImageEnhancementSet, exposureGain),
    FIELD(ImageEnhancementSet, blcRegion),        FIELD(ImageEnhancementSet, blcRegionRange),
    FIELD(ImageEnhancementSet, blcRegionArea),    FIELD(ImageEnhancementSet, wdrMode),
    FIELD(ImageEnhancementSet, wdrStartHour),     FIELD(ImageEnhancementSet, wdrStartMin),
    FIELD(ImageEnhancementSet, wdrEndHour),       FIELD(ImageEnhancementSet, wdrEndMin),
    FIELD(ImageEnhancementSet, wdrLevel),         FIELD(ImageEnhancementSet, hlcMode),
    FIELD(ImageEnhancementSet, hlcLevel),
};

// Fills a channel list of `cap` entries from an array member: its first
// `cap` elements, -1 after its end. False when a taken element is not a
// channel id in 0..63.
bool take_channel_list(json_object* req, const char* key, int32_t* list, size_t cap) {
  json_object* arr = json_array_member(req, key);
  size_t n = json_array_size(arr);
  if (n > cap) n = cap;
  for (size_t i = 0; i < cap; ++i) list[i] = -1;
  for (size_t i = 0; i < n; ++i) {
    json_object* v = array_element(arr, i);
    if (!v || !json_object_is_type(v, json_type_int)) return false;
    const int ch = json_object_get_int(v);
    if (!channel_in_range(ch)) return false;
    list[i] = ch;
  }
  return true;
}

// "/2020"
void on_set_image_enhancement(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  ImageEnhancementSet rec;
  std::memset(&rec, 0, sizeof rec);
  if (!take_channel_list(req.get(), "channel", rec.channel, 64)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  rec.type = json_get_int(req.get(), "type");
  json_object* source = req.get();
  if (rec.type != 0) {
    source = array_element(json_array_member(req.get(), "scenes"), 0);
    if (!is_object(source)) return;
  }
  set_unchanged(&rec, kImageEnhancementSetFields);
  take_fields(source, &rec, kImageEnhancementSetFields);
  // "scenes" is a value of its own only as a number; as the scene list it
  // leaves the field unchanged.
  rec.scenes = -1;
  if (json_object* scenes = json_member(source, "scenes", json_type_int)) rec.scenes = json_object_get_int(scenes);
  send_and_answer_ok(3280, &rec, sizeof rec);
}

// ---- Image display ----
const FieldDesc kImageDisplayFields[] = {
    FIELD(ImageDisplay, colorkiller),       FIELD(ImageDisplay, modestarthour),
    FIELD(ImageDisplay, modestartminute),   FIELD(ImageDisplay, modestophour),
    FIELD(ImageDisplay, modestopminute),    FIELD(ImageDisplay, exposurectrl),
    FIELD(ImageDisplay, lighttype),         FIELD(ImageDisplay, mirctrl),
    FIELD(ImageDisplay, localdisplay),      FIELD(ImageDisplay, ircutaddaytonight),
    FIELD(ImageDisplay, ircutadnighttoday), FIELD(ImageDisplay, corridormode),
    FIELD(ImageDisplay, imagerotation),     FIELD(ImageDisplay, smartIRType),
    FIELD(ImageDisplay, nearIRLevel),       FIELD(ImageDisplay, farIRLevel),
    FIELD(ImageDisplay, midIRLevel),        FIELD(ImageDisplay, lencorrect),
    FIELD(ImageDisplay, smartIrMath),       FIELD(ImageDisplay, smartIrLimit),
    FIELD(ImageDisplay, chipninterface),    FIELD(ImageDisplay, nearSmartirValue),
    FIELD(ImageDisplay, farSmartirValue),   FIELD(ImageDisplay, midSmartirValue),
    FIELD(ImageDisplay, lenCorrectType),    FIELD(ImageDisplay, fovadjust),
    FIELD(ImageDisplay, sensortype),        FIELD(ImageDisplay, productmodel),
    FIELD(ImageDisplay, softversion),       FIELD(ImageDisplay, smokeddomecover),
    FIELD(ImageDisplay, smartwhitestrength), FIELD(ImageDisplay, dnRefocus),
    FIELD(ImageDisplay, sdkversion),        FIELD(ImageDisplay, structuretype),
    FIELD(ImageDisplay, keepCorrectAspectRatio), FIELD(ImageDisplay, dayNightSens),
    FIELD(ImageDisplay, nightDaySens),      FIELD(ImageDisplay, zoomLimit),
};

int on_get_ipc_ipcimage_display_cb(const uint8_t* data, size_t len) {
  const ImageDisplay rec = reply_record<ImageDisplay>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kImageDisplayFields);
  return write_json(obj.get());
}

// "/2021"
void on_get_image_display(char* text) { relay_channel_query(text, "id", 3223, CGI_KIND_TEXT); }

const FieldDesc kImageDisplaySetFields[] = {
    FIELD(ImageDisplaySet, type),              FIELD(ImageDisplaySet, colorkiller),
    FIELD(ImageDisplaySet, modestarthour),     FIELD(ImageDisplaySet, modestartminute),
    FIELD(ImageDisplaySet, modestophour),      FIELD(ImageDisplaySet, modestopminute),
    FIELD(ImageDisplaySet, exposurectrl),      FIELD(ImageDisplaySet, lighttype),
    FIELD(ImageDisplaySet, mirctrl),           FIELD(ImageDisplaySet, localdisplay),
    FIELD(ImageDisplaySet, ircutaddaytonight), FIELD(ImageDisplaySet, ircutadnighttoday),
    FIELD(ImageDisplaySet, corridormode),      FIELD(ImageDisplaySet, imagerotation),
    FIELD(ImageDisplaySet, smartIRType),       FIELD(ImageDisplaySet, nearIRLevel),
    FIELD(ImageDisplaySet, farIRLevel),        FIELD(ImageDisplaySet, midIRLevel),
    FIELD(ImageDisplaySet, lencorrect),        FIELD(ImageDisplaySet, smartIrMath),
    FIELD(ImageDisplaySet, smartIrLimit),      FIELD(ImageDisplaySet, nearSmartirValue),
    FIELD(ImageDisplaySet, farSmartirValue),   FIELD(ImageDisplaySet, midSmartirValue),
    FIELD(ImageDisplaySet, lenCorrectType),    FIELD(ImageDisplaySet, fovadjust),
    FIELD(ImageDisplaySet, smokeddomecover),   FIELD(ImageDisplaySet, smartwhitestrength),
    FIELD(ImageDisplaySet, dnRefocus),         FIELD(ImageDisplaySet, keepCorrectAspectRatio),
    FIELD(ImageDisplaySet, dayNightSens),      FIELD(ImageDisplaySet, nightDaySens),
    FIELD(ImageDisplaySet, zoomLimit),         FIELD(ImageDisplaySet, saveCorridor),
    FIELD(ImageDisplaySet, whiteLedLevel),     FIELD(ImageDisplaySet, whiteledLightCtrl),
    FIELD(ImageDisplaySet, whiteledSensitivity), FIELD(ImageDisplaySet, whiteledDelay),
    FIELD(ImageDisplaySet, whiteledStart),     FIELD(ImageDisplaySet, whiteledStop),
    FIELD(ImageDisplaySet, whiteledBrightnessCtrl), FIELD(ImageDisplaySet, whiteledBrightness),
    FIELD(ImageDisplaySet, scenes),            FIELD(ImageDisplaySet, powerlineFreq),
    FIELD(ImageDisplaySet, dnMode),            FIELD(ImageDisplaySet, d2nSensitivity),
    FIELD(ImageDisplaySet, n2dSensitivity),    FIELD(ImageDisplaySet, nightStartHour),
    FIELD(ImageDisplaySet, nightStartMinute),  FIELD(ImageDisplaySet, nightEndHour),
    FIELD(ImageDisplaySet, nightEndMinute),    FIELD(ImageDisplaySet, smartIrMode),
    FIELD(ImageDisplaySet, irLedLevel),        FIELD(ImageDisplaySet, imageRotation),
};

// "/2022"
void on_set_image_display(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "id", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  ImageDisplaySet rec;
  std::memset(&rec, 0, sizeof rec);
  set_unchanged(&rec, kImageDisplaySetFields);
  take_fields(req.get(), &rec, kImageDisplaySetFields);
  rec.id = ch;
  exchange(3224, &rec, sizeof rec, CGI_KIND_TEXT);
}

// ---- Common parameters ----
const FieldDesc kCommonParamFields[] = {
    FIELD(CommonParam, id),  FIELD(CommonParam, pagename), FIELD(CommonParam, httpname),
    FIELD(CommonParam, key), FIELD(CommonParam, value),
};

int on_get_ipc_common_param_cb(const uint8_t* data, size_t len) {
  const CommonParam rec = reply_record<CommonParam>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kCommonParamFields);
  return write_json(obj.get());
}

bool fill_common_param(json_object* r, CommonParam* rec) {
  int ch = -1;
  if (!get_channel(r, "id", &ch)) return false;
  std::memset(rec, 0, sizeof *rec);
  rec->id = ch;
  json_get_text(r, "pagename", rec->pagename);
  json_get_text(r, "httpname", rec->httpname);
  json_get_text(r, "key", rec->key);
  json_get_text(r, "value", rec->value);
  return true;
}

// "/2023"
void on_get_ipc_common_param(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  CommonParam rec;
  if (!fill_common_param(req.get(), &rec)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  std::memset(rec.value, 0, sizeof rec.value);
  rec.flag = rec.pagename[0] == '\0' ? 1 : 0;
  exchange(3225, &rec, sizeof rec, CGI_KIND_TEXT);
}

// "/2024"
void on_set_ipc_common_param(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  CommonParam rec;
  if (!fill_common_param(req.get(), &rec)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  // The camera restarts its encoder on a rate-control change; give the
  // previous change time to settle.
  if (std::strcmp(rec.key, "ratecontrol1") == 0 || std::strcmp(rec.key, "ratecontrol2") == 0)
    std::this_thread::sleep_for(std::chrono::seconds(2));
  exchange(3226, &rec, sizeof rec, CGI_KIND_TEXT);
}

// ---- Small queries ----
int on_web_get_ipc_model_type_cb(const uint8_t* data, size_t) {
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "type", read_i32(data));
  return write_json(obj.get());
}

// "/2025"
void on_web_get_ipc_model_type(char* text) { relay_channel_query(text, "id", 2503, CGI_KIND_TEXT); }

int on_get_qt_cmd_result_cb(const uint8_t* data, size_t len) {
  const char* t = reinterpret_cast<const char*>(data) + QT_RESULT_TEXT_AT;
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "result", std::string_view(t, strnlen(t, len - QT_RESULT_TEXT_AT)));
  return write_json(obj.get());
}

// "/2026"
void on_web_sendto_qt_cmd(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  QtCommand rec;
  std::memset(&rec, 0, sizeof rec);
  json_get_text(req.get(), "cmd", rec.cmd);
  exchange(4002, &rec, sizeof rec, CGI_KIND_TEXT);
}

int on_get_get_chip_code_cb(const uint8_t* data, size_t len) {
  const char* t = reinterpret_cast<const char*>(data);
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "chip_code", std::string_view(t, strnlen(t, len)));
  return write_json(obj.get());
}

// "/2027"
void on_web_get_chip_code(char*) { exchange(4004, nullptr, 0, CGI_KIND_TEXT); }

int on_web_get_motion_status_cb(const uint8_t* data, size_t) {
  uint64_t mask;
  std::memcpy(&mask, data, sizeof mask);
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "Motion", mask_text(mask));
  return write_json(obj.get());
}

// "/2028"
void on_web_get_motion_status(char*) { exchange(3307, nullptr, 0, CGI_KIND_TEXT); }

// ---- Camera-side schedules ----
constexpr int kScheduleJsonSections = SCHEDULE_JSON_SECTIONS;

// A schedule member in the camera form; when the request leaves it out
// every day's valid flag is -1, which tells the camera to keep its own.
void take_ipc_schedule(json_object* req, const char* key, ScheduleRecord* s) {
  if (get_schedule_by_json_ipc(req, key, s) == 0) return;
  std::memset(s, 0, sizeof *s);
  for (ScheduleDay& day : s->days) day.valid = -1;
}

json_object* ipc_schedule_json(const ScheduleRecord& s) { return get_schedule_json_object_ipc(&s); }

// One section of a weekly schedule as {"startTime", "endTime", "actionType"
// [, "exposureTime", "gainLevel"]}.
json_object* section_json(const CamExposureSection& s) {
  json_object* o = json_object_new_object();
  json_add_field(o, "startTime", s.startTime);
  json_add_field(o, "endTime", s.endTime);
  json_add_int(o, "actionType", s.actionType);
  json_add_int(o, "exposureTime", s.exposureTime);
  json_add_int(o, "gainLevel", s.gainLevel);
  return o;
}

// A section from an object with the keys above or an array in the same
// order.
template <typename Section>
void section_from_json(json_object* v, Section* s) {
  static const char* const kKeys[] = {"startTime", "endTime", "actionType", "exposureTime", "gainLevel"};
  const bool arr = json_object_is_type(v, json_type_array);
  if (!arr && !is_object(v)) return;
  auto member = [&](int i) -> json_object* {
    if (arr) return array_element(v, static_cast<size_t>(i));
    json_object* m = nullptr;
    return json_object_object_get_ex(v, kKeys[i], &m) ? m : nullptr;
  };
  json_object* m;
  if ((m = member(0))) copy_field(s->startTime, json_object_get_string(m));
  if ((m = member(1))) copy_field(s->endTime, json_object_get_string(m));
  if ((m = member(2))) s->actionType = json_object_get_int(m);
  if constexpr (std::is_same<Section, CamExposureSection>::value) {
    if ((m = member(3))) s->exposureTime = json_object_get_int(m);
    if ((m = member(4))) s->gainLevel = json_object_get_int(m);
  }
}

json_object* week_json(const CamExposureSchedule& s) {
  json_object* week = json_object_new_array();
  for (const auto& day : s.section) {
    json_object* d = json_object_new_array();
    for (int e = 0; e < kScheduleJsonSections; ++e) json_object_array_add(d, section_json(day[e]));
    json_object_array_add(week, d);
  }
  return week;
}

int on_get_ipc_schedule_cb(const uint8_t* data, size_t len) {
  const ChannelSchedule rec = reply_record<ChannelSchedule>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object_object_add(obj.get(), "schedule", get_schedule_json_object(&rec.schedule));
  return write_json(obj.get());
}
int on_get_ipc_exposure_schedule_cb(const uint8_t* data, size_t len) {
  const ChannelExposureSchedule rec = reply_record<ChannelExposureSchedule>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object_object_add(obj.get(), "schedule", week_json(rec.schedule));
  return write_json(obj.get());
}

// "/2041", "/2043", "/2045"
void on_get_ipc_schedule_a(char* text) { relay_channel_query(text, "id", 3273, CGI_KIND_JSON); }
void on_get_ipc_schedule_b(char* text) { relay_channel_query(text, "id", 3275, CGI_KIND_JSON); }
void on_get_ipc_schedule_c(char* text) { relay_channel_query(text, "id", 3277, CGI_KIND_JSON); }

// {"channel", "schedule"}; the schedule is required: a week left out would
// wipe the camera's schedule.
template <typename Rec>
void set_ipc_schedule(const char* text, int req_id) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "channel", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  auto rec = std::make_unique<Rec>();
  std::memset(rec.get(), 0, sizeof(Rec));
  rec->channel = ch;
  if constexpr (std::is_same<Rec, ChannelSchedule>::value) {
    if (get_schedule_by_json(req.get(), "schedule", &rec->schedule) != 0) return;
  } else {
    json_object* week = json_array_member(req.get(), "schedule");
    if (!week) return;
    for (int d = 0; d < CAM_SCHEDULE_DAYS; ++d) {
      json_object* day = array_element(week, static_cast<size_t>(d));
      for (int e = 0; e < kScheduleJsonSections; ++e) {
        json_object* v = array_element(day, static_cast<size_t>(e));
        if (!v) break;
        section_from_json(v, &rec->schedule.section[d][e]);
      }
    }
  }
  send_and_answer_ok(req_id, rec.get(), sizeof(Rec));
}

// "/2042", "/2044", "/2046"
void on_set_ipc_schedule_a(char* text) { set_ipc_schedule<ChannelSchedule>(text, 3281); }
void on_set_ipc_schedule_b(char* text) { set_ipc_schedule<ChannelExposureSchedule>(text, 3282); }
void on_set_ipc_schedule_c(char* text) { set_ipc_schedule<ChannelSchedule>(text, 3283); }

// ---- Day/night schedule ----
const FieldDesc kDayNightPeriodFields[] = {
    FIELD(DayNightPeriod, id),           FIELD(DayNightPeriod, enable),
    FIELD(DayNightPeriod, startHour),    FIELD(DayNightPeriod, startMinute),
    FIELD(DayNightPeriod, endHour),      FIELD(DayNightPeriod, endMinute),
    FIELD(DayNightPeriod, exposureLevel), FIELD(DayNightPeriod, maxShutter),
    FIELD(DayNightPeriod, minShutter),   FIELD(DayNightPeriod, gainLevel),
    FIELD(DayNightPeriod, irCutLatency), FIELD(DayNightPeriod, irCutState),
    FIELD(DayNightPeriod, irLedState),   FIELD(DayNightPeriod, colorMode),
};
const FieldDesc kDayNightTemplateFields[] = {
    FIELD(DayNightSchedule, type),          FIELD(DayNightSchedule, hasSche),
    FIELD(DayNightSchedule, templateId),    FIELD(DayNightSchedule, scenes),
    FIELD(DayNightSchedule, limitGain),     FIELD(DayNightSchedule, irCutInterval),
    FIELD(DayNightSchedule, irCutStatus),   FIELD(DayNightSchedule, irLedStatus),
    FIELD(DayNightSchedule, effectiveCount),
};

int on_get_day_night_schedule_cb(const uint8_t* data, size_t len) {
  const DayNightSchedule rec = reply_record<DayNightSchedule>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object* image = json_object_new_array();
  for (const DayNightPeriod& p : rec.period) {
    json_object* item = json_object_new_object();
    add_fields(item, &p, kDayNightPeriodFields);
    json_object_array_add(image, item);
  }
  json_object_object_add(obj.get(), "image", image);
  return write_json(obj.get());
}

// "/2037"
void on_get_day_night_schedule(char* text) { relay_channel_query(text, "id", 3278, CGI_KIND_JSON); }

// The day/night record with every value -1 but the channel, then the
// periods present in "image" (at most 7).
DayNightSchedule day_night_from_json(json_object* req, int ch) {
  DayNightSchedule rec;
  std::memset(&rec, 0, sizeof rec);
  set_unchanged(&rec, kDayNightTemplateFields);
  json_object* image = json_array_member(req, "image");
  for (int i = 0; i < DAY_NIGHT_PERIODS; ++i) {
    set_unchanged(&rec.period[i], kDayNightPeriodFields);
    json_object* p = array_element(image, static_cast<size_t>(i));
    if (is_object(p)) take_fields(p, &rec.period[i], kDayNightPeriodFields);
  }
  rec.chnid = ch;
  return rec;
}

// "/2038"
void on_set_day_night_schedule(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "channel", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  DayNightSchedule rec = day_night_from_json(req.get(), ch);
  send_and_answer_ok(3279, &rec, sizeof rec);
}

// "/2047"
void on_set_image_schedule(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  DayNightSchedule rec = day_night_from_json(req.get(), ch);
  take_fields(req.get(), &rec, kDayNightTemplateFields);
  // "effective": one {"startTime", "endTime"} or a list of them.
  json_object* eff = nullptr;
  if (json_object_object_get_ex(req.get(), "effective", &eff) && eff) {
    int n = 0;
    auto take_span = [&](json_object* o) {
      if (!is_object(o) || n >= DAY_NIGHT_EFFECTIVE) return;
      json_get_text(o, "startTime", rec.effective[n].startTime);
      json_get_text(o, "endTime", rec.effective[n].endTime);
      ++n;
    };
    if (json_object_is_type(eff, json_type_array))
      for (size_t i = 0; i < json_array_size(eff); ++i) take_span(array_element(eff, i));
    else
      take_span(eff);
    rec.effectiveCount = n;
  }
  send_and_answer_ok(3279, &rec, sizeof rec);
}

// ---- Regions ----
const FieldDesc kRegionAreaFields[] = {
    FIELD(RegionArea, enable), FIELD(RegionArea, left), FIELD(RegionArea, right), FIELD(RegionArea, bottom),
};

int on_get_ipc_region_info_cb(const uint8_t* data, size_t len) {
  const RegionInfo rec = reply_record<RegionInfo>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object* areas = json_object_new_array();
  for (int i = 0; i < bounded_count(rec.count, REGION_AREAS); ++i) {
    json_object* item = json_object_new_object();
    add_fields(item, &rec.area[i], kRegionAreaFields);
    json_object_array_add(areas, item);
  }
  json_object_object_add(obj.get(), "area", areas);
  json_add_field(obj.get(), "sdkversion", rec.sdkversion);
  return write_json(obj.get());
}

// "/2039"
void on_get_ipc_region_info(char* text) { relay_channel_query(text, "id", 3271, CGI_KIND_JSON); }

// "/2040"
void on_set_ipc_region_info(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  RegionSet rec;
  std::memset(&rec, 0, sizeof rec);
  rec.chnid = ch;
  json_object* areas = json_array_member(req.get(), "area");
  size_t n = json_array_size(areas);
  if (n > REGION_AREAS) n = REGION_AREAS;
  rec.count = static_cast<int32_t>(n);
  for (size_t i = 0; i < n; ++i) {
    set_unchanged(&rec.area[i], kRegionAreaFields);
    json_object* a = array_element(areas, i);
    if (is_object(a)) take_fields(a, &rec.area[i], kRegionAreaFields);
  }
  send_and_answer_ok(3288, &rec, sizeof rec);
}

// "/2050"
void on_del_ipc_region_area(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chan_id", &ch) || !int_in(req.get(), "area_id", 0, REGION_AREAS - 1)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  RegionAreaDelete rec{ch, json_get_int(req.get(), "area_id")};
  send_and_answer_ok(3284, &rec, sizeof rec);
}

// ---- Stored exposure lists ----
// "/2048"
void on_set_exposure_info(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "channel", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  json_object* list = json_array_member(req.get(), "exposure");
  if (!list) return;
  size_t n = json_array_size(list);
  if (n > EXPOSURE_ENTRIES) n = EXPOSURE_ENTRIES;
  {
    ZrdbTransaction txn(ZRDB_PATH);
    ExposureRecord rec{};
    read_exposure(ZRDB_PATH, &rec, ch);
    rec.channel = ch;
    rec.count = static_cast<int32_t>(n);
    for (size_t i = 0; i < n; ++i) {
      json_object* e = array_element(list, i);
      json_take_int(e, "exposureTime", &rec.entry[i].exposureTime);
      json_take_int(e, "gainLevel", &rec.entry[i].gainLevel);
    }
    write_exposure(ZRDB_PATH, &rec, ch);
    txn.commit();
  }
  cgi_reply_ok();
}

// "/2049"
void on_get_exposure_info(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  ExposureRecord rec{};
  if (!get_channel(req.get(), "channel", &ch) || read_exposure(ZRDB_PATH, &rec, ch) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr obj(json_object_new_object());
  json_object* list = json_object_new_array();
  for (int i = 0; i < bounded_count(rec.count, EXPOSURE_ENTRIES); ++i) {
    json_object* e = json_object_new_object();
    json_add_int(e, "exposureTime", rec.entry[i].exposureTime);
    json_add_int(e, "gainLevel", rec.entry[i].gainLevel);
    json_object_array_add(list, e);
  }
  json_object_object_add(obj.get(), "exposure", list);
  cgi_write_json(obj.get());
}

// ---- Detection ----
const FieldDesc kDetectionFields[] = {
    FIELD(DetectionInfo, chnid),   FIELD(DetectionInfo, enable),       FIELD(DetectionInfo, sensitivity),
    FIELD(DetectionInfo, minsize), FIELD(DetectionInfo, mintime),      FIELD(DetectionInfo, adaptability),
    FIELD(DetectionInfo, map_mask),
};

int on_get_ipc_detection_cb(const uint8_t* data, size_t len) {
  auto rec = std::make_unique<DetectionInfo>(reply_record<DetectionInfo>(data, len));
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), rec.get(), kDetectionFields);
  json_object_object_add(obj.get(), "effective", ipc_schedule_json(rec->effective));
  json_add_int(obj.get(), "isNtPlatform", rec->isNtPlatform);
  return write_json(obj.get());
}

// "/2051"
void on_get_ipc_detection(char* text) { relay_channel_query(text, "chnid", 3358, CGI_KIND_JSON); }

// "/2052"
void on_set_ipc_detection(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  auto rec = std::make_unique<DetectionSet>();
  std::memset(rec.get(), 0, sizeof *rec);
  set_unchanged(&rec->info, kDetectionFields);
  rec->info.isNtPlatform = -1;
  take_fields(req.get(), &rec->info, kDetectionFields);
  json_take_int(req.get(), "isNtPlatform", &rec->info.isNtPlatform);
  rec->info.chnid = ch;
  take_ipc_schedule(req.get(), "effective", &rec->info.effective);
  rec->copyMask = get_copy_flag_by_json(req.get(), "copyChn", "copyCnt") & ~(1ULL << ch);
  exchange(3366, rec.get(), sizeof *rec, CGI_KIND_JSON);
}

// ---- Text query ----
int on_get_ipc_text_query_cb(const uint8_t* data, size_t len) {
  const char* t = reinterpret_cast<const char*>(data);
  return write_text(std::string(t, strnlen(t, len)).c_str());
}

// "/2053"
void on_get_ipc_text_query(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  TextQuery rec;
  std::memset(&rec, 0, sizeof rec);
  rec.chnid = ch;
  rec.mainType = json_get_int(req.get(), "mainType");
  rec.subType = json_get_int(req.get(), "subType");
  json_get_text(req.get(), "time", rec.time);
  exchange(3360, &rec, sizeof rec, CGI_KIND_TEXT);
}

// ---- Auto tracking ----
const FieldDesc kAutoTrackingFields[] = {
    FIELD(AutoTracking, chnid),          FIELD(AutoTracking, enable),
    FIELD(AutoTracking, show),           FIELD(AutoTracking, sensitivity),
    FIELD(AutoTracking, time),           FIELD(AutoTracking, manual_tracking),
    FIELD(AutoTracking, zoom_mode),      FIELD(AutoTracking, zoom_number),
    FIELD(AutoTracking, area),           FIELD(AutoTracking, humanVehicleSupport),
    FIELD(AutoTracking, trackingObject), FIELD(AutoTracking, reportMotion),
};

int on_cgi_get_auto_tracking_status_cb(const uint8_t* data, size_t len) {
  auto rec = std::make_unique<AutoTracking>(reply_record<AutoTracking>(data, len));
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), rec.get(), kAutoTrackingFields);
  json_object_object_add(obj.get(), "schedule", ipc_schedule_json(rec->schedule));
  return write_json(obj.get());
}

// "/2054"
void on_cgi_get_auto_tracking_status(char* text) { relay_channel_query(text, "chnid", 3294, CGI_KIND_JSON); }

// "/2055"
void on_cgi_set_auto_tracking_status(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  auto rec = std::make_unique<AutoTrackingSet>();
  std::memset(rec.get(), 0, sizeof *rec);
  set_unchanged(&rec->info, kAutoTrackingFields);
  take_fields(req.get(), &rec->info, kAutoTrackingFields);
  rec->info.chnid = ch;
  take_ipc_schedule(req.get(), "schedule", &rec->info.schedule);
  rec->mask = mask_from_text(json_text_member(req.get(), "channels")) | (1ULL << ch);
  exchange(3375, rec.get(), sizeof *rec, CGI_KIND_JSON);
}

// ---- PTZ support, channel type ----
// "/2056"
void on_cgi_get_ptz_support(char* text) { relay_channel_query(text, "chnid", 1262, CGI_KIND_JSON); }

int on_cgi_get_ipc_type_cb(const uint8_t* data, size_t len) {
  const ChannelModelEntry rec = reply_record<ChannelModelEntry>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kChannelModelFields);
  return write_json(obj.get());
}

// "/2057"
void on_cgi_get_ipc_type(char* text) { relay_channel_query(text, "chnid", 2507, CGI_KIND_JSON); }

// ---- Watermark ----
int on_cgi_get_watermark_cb(const uint8_t* data, size_t len) {
  const WatermarkInfo rec = reply_record<WatermarkInfo>(data, len);
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "chnid", rec.chnid);
  json_add_int(obj.get(), "enable", rec.enable);
  json_add_field(obj.get(), "watermark", rec.watermark);
  return write_json(obj.get());
}

// "/2058"
void on_cgi_get_watermark(char* text) { relay_channel_query(text, "chnid", 1213, CGI_KIND_JSON); }

// "/2059"
void on_cgi_set_watermark(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  WatermarkSet rec;
  std::memset(&rec, 0, sizeof rec);
  rec.chnid = ch;
  rec.enable = -1;
  json_take_int(req.get(), "enable", &rec.enable);
  json_get_text(req.get(), "watermark", rec.watermark);
  const uint64_t mask = mask_from_text(json_text_member(req.get(), "copy")) | (1ULL << ch);
  copy_field(rec.copy, mask_text(mask));
  exchange(1216, &rec, sizeof rec, CGI_KIND_JSON);
}

// ---- Event stream ----
const FieldDesc kEventStreamFields[] = {
    FIELD(EventStream, chnid),   FIELD(EventStream, enable),         FIELD(EventStream, framerate),
    FIELD(EventStream, bitrate), FIELD(EventStream, iframeinterval),
};

int on_cgi_get_ipc_event_stream_cb(const uint8_t* data, size_t len) {
  const EventStream rec = reply_record<EventStream>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kEventStreamFields);
  return write_json(obj.get());
}

// "/2060"
void on_cgi_get_ipc_event_stream(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  EventStreamQuery q{ch, json_get_int(req.get(), "fisheyeType")};
  exchange(1217, &q, sizeof q, CGI_KIND_JSON);
}

// "/2061"
void on_cgi_set_ipc_event_stream(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  EventStream rec;
  std::memset(&rec, 0, sizeof rec);
  set_unchanged(&rec, kEventStreamFields);
  take_fields(req.get(), &rec, kEventStreamFields);
  rec.chnid = ch;
  rec.fisheyeType = json_get_int(req.get(), "fisheyeType");
  exchange(1218, &rec, sizeof rec, CGI_KIND_JSON);
}

// ---- Licence plate night mode, system info, custom parameters ----
int on_cgi_get_ipc_lpr_night_mode_cb(const uint8_t* data, size_t len) {
  const LprNightMode rec = reply_record<LprNightMode>(data, len);
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "chnid", rec.chnid);
  json_add_int(obj.get(), "nightMode", rec.nightMode);
  return write_json(obj.get());
}

// "/2062"
void on_cgi_get_ipc_lpr_night_mode(char* text) { relay_channel_query(text, "chnid", 1219, CGI_KIND_JSON); }

const FieldDesc kSystemInfoFields[] = {
    FIELD(IpcSystemInfo, res),
    FIELD(IpcSystemInfo, audioSupport),
    FIELD(IpcSystemInfo, audioSupportMode),
    FIELD(IpcSystemInfo, audioLineInputSupport),
    FIELD(IpcSystemInfo, systemSpeakerSupport),
    FIELD(IpcSystemInfo, systemManualSpeedSupport),
};

int on_cgi_get_ipc_system_info_cb(const uint8_t* data, size_t len) {
  const IpcSystemInfo rec = reply_record<IpcSystemInfo>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kSystemInfoFields);
  json_add_int(obj.get(), "systemAutoTrackingSupport", rec.systemAutoTrackingSupport);
  return write_json(obj.get());
}

// "/2065"
void on_cgi_get_ipc_system_info(char* text) { relay_channel_query(text, "chnid", 3376, CGI_KIND_JSON); }

int on_cgi_get_ipc_custom_param_cb(const uint8_t* data, size_t len) {
  const CustomParamReply rec = reply_record<CustomParamReply>(data, len);
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "res", rec.res);
  json_add_int(obj.get(), "chnid", rec.chnid);
  json_add_field(obj.get(), "data", rec.data);
  return write_json(obj.get());
}

// "/2068"
void on_cgi_get_ipc_custom_param(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  CustomParamQuery q;
  std::memset(&q, 0, sizeof q);
  q.chnid = ch;
  json_get_text(req.get(), "url", q.url);
  exchange(3377, &q, sizeof q, CGI_KIND_JSON);
}

// ================= Reply dispatch =================

using ReplyWriter = int (*)(const uint8_t* data, size_t len);
struct ReplyRow {
  int type;
  size_t min_len;  // shorter replies are empty: the error reply of empty_kind
  int empty_kind;
  ReplyWriter write;
};

const ReplyRow kReplies[] = {
    // channel management
    {8201, 0, CGI_KIND_JSON, on_get_camera_list_cb},
    {8200, 0, CGI_KIND_JSON, on_search_camera_cb},
    {8205, 4, CGI_KIND_JSON, on_set_camera_network_cb},
    {8230, 0, CGI_KIND_JSON, on_get_batch_network_result_cb},
    {8202, 4, CGI_KIND_TEXT, on_test_camera_connection_cb},
    {8227, 4, CGI_KIND_TEXT, on_test_camera_connection_cb},
    {8493, sizeof(MonthMapReply), CGI_KIND_JSON, on_get_record_month_map_cb},
    {7505, 0, CGI_KIND_JSON, on_web_get_channels_model_cb},
    // parameter relay
    {8371, sizeof(AudioInfo), CGI_KIND_JSON, on_cgi_get_ipc_audio_info_cb},
    {8372, 4, CGI_KIND_JSON, on_ok_error_cb},
    {8204, sizeof(StreamParams), CGI_KIND_JSON, on_get_stream_params_cb},
    {8203, sizeof(uint64_t), CGI_KIND_JSON, on_set_stream_params_cb},
    {8221, 4, CGI_KIND_JSON, on_get_ipc_ipcimage_enhancement_cb},
    {8223, 4, CGI_KIND_JSON, on_get_ipc_ipcimage_display_cb},
    {8224, 4, CGI_KIND_TEXT, on_ok_error_cb},
    {8225, sizeof(CommonParam), CGI_KIND_JSON, on_get_ipc_common_param_cb},
    {8226, 4, CGI_KIND_TEXT, on_ok_error_cb},
    {7503, 4, CGI_KIND_JSON, on_web_get_ipc_model_type_cb},
    {9002, QT_RESULT_TEXT_AT, CGI_KIND_JSON, on_get_qt_cmd_result_cb},
    {9004, 1, CGI_KIND_JSON, on_get_get_chip_code_cb},
    {8307, sizeof(uint64_t), CGI_KIND_JSON, on_web_get_motion_status_cb},
    {8278, sizeof(DayNightSchedule), CGI_KIND_JSON, on_get_day_night_schedule_cb},
    {8271, sizeof(RegionInfo), CGI_KIND_JSON, on_get_ipc_region_info_cb},
    {8273, sizeof(ChannelSchedule), CGI_KIND_JSON, on_get_ipc_schedule_cb},
    {8275, sizeof(ChannelExposureSchedule), CGI_KIND_JSON, on_get_ipc_exposure_schedule_cb},
    {8277, sizeof(ChannelSchedule), CGI_KIND_JSON, on_get_ipc_schedule_cb},
    {8358, sizeof(DetectionInfo), CGI_KIND_JSON, on_get_ipc_detection_cb},
    {8366, 4, CGI_KIND_JSON, on_res_word_cb},
    {8360, 1, CGI_KIND_TEXT, on_get_ipc_text_query_cb},
    {8294, sizeof(AutoTracking), CGI_KIND_JSON, on_cgi_get_auto_tracking_status_cb},
    {8375, 4, CGI_KIND_JSON, on_res_word_cb},
    {6262, 4, CGI_KIND_JSON, on_res_word_cb},
    {7507, sizeof(ChannelModelEntry), CGI_KIND_JSON, on_cgi_get_ipc_type_cb},
    {6213, sizeof(WatermarkInfo), CGI_KIND_JSON, on_cgi_get_watermark_cb},
    {6216, 4, CGI_KIND_JSON, on_res_word_cb},
    {6217, sizeof(EventStream), CGI_KIND_JSON, on_cgi_get_ipc_event_stream_cb},
    {6218, 4, CGI_KIND_JSON, on_res_word_cb},
    {6219, sizeof(LprNightMode), CGI_KIND_JSON, on_cgi_get_ipc_lpr_night_mode_cb},
    {8376, sizeof(IpcSystemInfo), CGI_KIND_JSON, on_cgi_get_ipc_system_info_cb},
    {8377, sizeof(CustomParamReply), CGI_KIND_JSON, on_cgi_get_ipc_custom_param_cb},
};

const WebRes kCameraTable[] = {
    {"/2001", on_get_camera_list},
    {"/2000", on_get_camera_info},
    {"/2003", on_edit_camera},
    {"/2004", on_add_camera},
    {"/2005", on_delete_camera},
    {"/2006", on_search_camera},
    {"/2007", on_get_camera_list},
    {"/2008", on_get_camera_protocols},
    {"/2009", on_get_stream_params},
    {"/2010", on_set_stream_params},
    {"/2011", on_set_camera_network},
    {"/2012", on_get_channel_names},
    {"/2013", on_get_record_month_map},
    {"/2014", on_test_camera_connection},
    {"/2015", on_test_camera_web_login},
    {"/2016", on_get_poe_password},
    {"/2017", on_set_camera_account},
    {"/2018", on_get_max_poe_num},
    {"/2019", on_get_image_enhancement},
    {"/2020", on_set_image_enhancement},
    {"/2021", on_get_image_display},
    {"/2022", on_set_image_display},
    {"/2023", on_get_ipc_common_param},
    {"/2024", on_set_ipc_common_param},
    {"/2025", on_web_get_ipc_model_type},
    {"/2026", on_web_sendto_qt_cmd},
    {"/2027", on_web_get_chip_code},
    {"/2028", on_web_get_motion_status},
    {"/2029", on_web_get_channels_model},
    {"/2030", on_set_batch_stream_params},
    {"/2031", on_set_camera_transport},
    {"/2032", on_set_batch_camera_network},
    {"/2033", on_get_batch_network_result},
    {"/2034", on_get_ipv6_support},
    {"/2037", on_get_day_night_schedule},
    {"/2038", on_set_day_night_schedule},
    {"/2039", on_get_ipc_region_info},
    {"/2040", on_set_ipc_region_info},
    {"/2041", on_get_ipc_schedule_a},
    {"/2042", on_set_ipc_schedule_a},
    {"/2043", on_get_ipc_schedule_b},
    {"/2044", on_set_ipc_schedule_b},
    {"/2045", on_get_ipc_schedule_c},
    {"/2046", on_set_ipc_schedule_c},
    {"/2047", on_set_image_schedule},
    {"/2048", on_set_exposure_info},
    {"/2049", on_get_exposure_info},
    {"/2050", on_del_ipc_region_area},
    {"/2051", on_get_ipc_detection},
    {"/2052", on_set_ipc_detection},
    {"/2053", on_get_ipc_text_query},
    {"/2054", on_cgi_get_auto_tracking_status},
    {"/2055", on_cgi_set_auto_tracking_status},
    {"/2056", on_cgi_get_ptz_support},
    {"/2057", on_cgi_get_ipc_type},
    {"/2058", on_cgi_get_watermark},
    {"/2059", on_cgi_set_watermark},
    {"/2060", on_cgi_get_ipc_event_stream},
    {"/2061", on_cgi_set_ipc_event_stream},
    {"/2062", on_cgi_get_ipc_lpr_night_mode},
    {"/2063", on_cgi_get_ipc_audio_info},
    {"/2064", on_cgi_set_ipc_audio_info},
    {"/2065", on_cgi_get_ipc_system_info},
    {"/2068", on_cgi_get_ipc_custom_param},
};
static_assert(std::size(kCameraTable) == 64, "the camera module serves 64 requests");

}  // namespace

// Routes each core reply by its type to the writer of the request that
// caused it. A reply shorter than its record is the empty case: the error
// reply is written and the exchange ends, so no second reply can follow.
void on_camera_ipc_callback(void*, void* header, void* payload) {
  if (!header || !payload || g_callback_done.load() != 0) return;
  const int type = cgi_reply_type(header);
  const size_t len = cgi_reply_length(header);
  for (const ReplyRow& row : kReplies) {
    if (row.type != type) continue;
    int done = 1;
    if (len < row.min_len)
      cgi_error_to_webserver(row.empty_kind);
    else
      done = row.write(static_cast<const uint8_t*>(payload), len);
    g_callback_done = done;
    return;
  }
}

NVR_DEFINE_MODULE(camera, kCameraTable)
