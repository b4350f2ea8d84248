// PTZ control: direct commands, presets, tours and patterns sent to the core
// daemon; the stored PTZ port settings, speeds and tours of a channel; the
// camera's own PTZ speed and fisheye preset names relayed through the camera
// common parameter record; the PTZ basic settings, a generic control command
// and the LED status.
// Request table whose first name is "/5000".
#include <climits>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>

#include "core/camera_common_param.h"
#include "core/camera_record.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_reply.h"
#include "core/channel_list.h"
#include "core/strutil.h"
#include "handlers/modules.h"
#include "platform/zrdb.h"

// ---- Core daemon records --------------------------------------------------------

constexpr int REQ_PTZ_CMD = 1251;
constexpr int REQ_PTZ_PORT_CHANGED = 1252;
constexpr int REQ_PTZ_PRESET = 1253;
constexpr int REQ_PTZ_PATTERN = 1254;
constexpr int REQ_PTZ_TOUR_CLEAR = 1257;
constexpr int REQ_PTZ_TOUR_RUN = 1260;
constexpr int REQ_PTZ_TOUR_STOP = 1261;
constexpr int REQ_PTZ_SUPPORT = 1262;
constexpr int REQ_PTZ_TOUR_SET = 1264;
constexpr int REQ_PTZ_INFO = 1265;
constexpr int REQ_PTZ_PRESET_CALL = 1266;
constexpr int REQ_PTZ_ZOOM = 1267;
constexpr int REQ_PTZ_FISH_INFO = 1268;
constexpr int REQ_PTZ_FISH_TOUR_SET = 1269;
constexpr int REQ_PTZ_BASIC_GET = 1270;
constexpr int REQ_PTZ_BASIC_SET = 1271;
constexpr int REQ_PTZ_CONTROL = 3361;
constexpr int REQ_LED_STATUS = 3363;

constexpr int REPLY_PTZ_SUPPORT = 6262;
constexpr int REPLY_PTZ_INFO = 6265;
constexpr int REPLY_PTZ_FISH_INFO = 6268;
constexpr int REPLY_PTZ_BASIC_GET = 6270;
constexpr int REPLY_PTZ_BASIC_SET = 6271;
constexpr int REPLY_CAMERA_PARAM_SET = 8226;
constexpr int REPLY_PTZ_CONTROL = 8361;
constexpr int REPLY_LED_STATUS = 8363;

constexpr int64_t LOG_SUB_PTZ = 206;
constexpr int LOG_PARAM_PTZ_CONTROL = 900;
constexpr int LOG_PARAM_PTZ_SETUP = 904;

// PTZ command codes this module gives a meaning to; others pass through.
constexpr int PTZ_CODE_AUTO_FOCUS = 12;
constexpr int PTZ_CODE_FOCUS = 21;
constexpr int PTZ_CODE_SET_PRESET = 22;

constexpr int PTZ_PRESETS = 300;
constexpr int PTZ_TOURS = 8;
constexpr int PTZ_TOUR_POINTS = 48;
constexpr int PTZ_PATTERNS = 4;

// Requests 1251, 1253 and 1254.
struct PtzCommand {
  int32_t channelId;
  int32_t action;
  int32_t presetId;  // pattern number for 1254, 0 for 1251
  int32_t panSpeed;
  int32_t tiltSpeed;
  int32_t zoomSpeed;
  int32_t focusSpeed;
  int32_t zero;
  char name[32];  // preset name, action 22 only
  int32_t fisheyeType;
  int32_t streamId;
};
static_assert(sizeof(PtzCommand) == 72, "PTZ command is 72 bytes");
static_assert(offsetof(PtzCommand, name) == 32, "preset name at 32");
static_assert(offsetof(PtzCommand, fisheyeType) == 64, "fisheye type at 64");
constexpr size_t PTZ_PRESET_NAME_MAX = 30;

// Requests 1257, 1260 and 1261.
struct PtzTourCommand {
  int32_t chn;
  int32_t tourid;
  uint8_t zero[16];
  int32_t fisheyeType;
  int32_t streamId;
};
static_assert(sizeof(PtzTourCommand) == 32, "tour command is 32 bytes");
static_assert(offsetof(PtzTourCommand, fisheyeType) == 24, "fisheye type at 24");

struct PtzTourPoint {
  int32_t preset;  // 0: empty
  int32_t time;
  int32_t speed;
};
static_assert(sizeof(PtzTourPoint) == 12, "tour point is 12 bytes");

// The stored tours of a channel; tour t is "tourid" t + 1.
struct PtzTourRecord {
  PtzTourPoint tours[PTZ_TOURS][PTZ_TOUR_POINTS];
};
static_assert(sizeof(PtzTourRecord) == 4608, "tour record is 4608 bytes");
ZRDB_RECORD_FAMILY(ptz_tour, PtzTourRecord, "ptz_tour")

// Request 1264.
struct PtzTourSet {
  int32_t chn;
  int32_t tourid;
  int32_t rowsize;
  PtzTourPoint points[PTZ_TOUR_POINTS];
};
static_assert(sizeof(PtzTourSet) == 588, "tour set is 588 bytes");

// Request 1269: only the addressed tour is filled.
struct PtzFishTour {
  int32_t preset[PTZ_TOUR_POINTS];
  int32_t time[PTZ_TOUR_POINTS];
  int32_t speed[PTZ_TOUR_POINTS];
};
struct PtzFishTourSet {
  int32_t chn;
  int32_t streamId;
  int32_t tour;  // tourid - 1
  PtzFishTour tours[PTZ_TOURS];
};
static_assert(sizeof(PtzFishTour) == 576, "fisheye tour is 576 bytes");
static_assert(sizeof(PtzFishTourSet) == 4620, "fisheye tour set is 4620 bytes");

// Stored per channel.
struct PtzPortRecord {
  int32_t camId;
  int32_t baudRate;
  int32_t dataBits;
  int32_t stopBits;
  int32_t parityType;
  int32_t protocol;
  int32_t address;
  int32_t reserved;
  int32_t connectType;
};
static_assert(sizeof(PtzPortRecord) == 36, "PTZ port record is 36 bytes");
static_assert(offsetof(PtzPortRecord, connectType) == 32, "connect type at 32");
ZRDB_RECORD_FAMILY(ptz_port, PtzPortRecord, "ptz_port")

// Stored per channel ("foucs_speed" spelled as the pages spell it).
struct PtzSpeedRecord {
  int32_t camId;
  int32_t pan_speed;
  int32_t tilt_speed;
  int32_t zoom_speed;
  int32_t foucs_speed;
};
static_assert(sizeof(PtzSpeedRecord) == 20, "PTZ speed record is 20 bytes");
ZRDB_RECORD_FAMILY(ptz_speed, PtzSpeedRecord, "ptz_speed")

// Replies 6265 and 6268, read as 32-bit words.
struct PtzPresetInfo {
  int32_t enable;
  char name[32];
};
struct PtzTourInfo {
  int32_t preset_id[PTZ_TOUR_POINTS];
  int32_t timeout[PTZ_TOUR_POINTS];
  int32_t speed[PTZ_TOUR_POINTS];
};
struct PtzInfo {
  PtzPresetInfo presets[PTZ_PRESETS];
  PtzTourInfo tours[PTZ_TOURS];
  int32_t pattern_enable[PTZ_PATTERNS];
  int32_t tour_status[5][8];
  int32_t autoscan_status[5];
};
static_assert(sizeof(PtzInfo) == 15604, "PTZ information is 15604 bytes");
static_assert(offsetof(PtzInfo, tours) == 2700 * 4, "tours at word 2700");
static_assert(offsetof(PtzInfo, tours[1].timeout) == (2748 + 144) * 4, "tour 1 timeouts at word 2892");
static_assert(offsetof(PtzInfo, pattern_enable) == 3852 * 4, "patterns at word 3852");
static_assert(offsetof(PtzInfo, tour_status) == 3856 * 4, "tour state at word 3856");
static_assert(offsetof(PtzInfo, autoscan_status) == 3896 * 4, "auto-scan state at word 3896");

// Request 1271 and reply 6270.
constexpr int PTZ_BASIC_FIELDS = 17;
struct PtzBasic {
  int32_t fields[PTZ_BASIC_FIELDS];  // "status" .. "fanWorkingMode", kPtzBasicKeys order
  char channelMask[68];
};
static_assert(sizeof(PtzBasic) == 136, "PTZ basic record is 136 bytes");
static_assert(offsetof(PtzBasic, channelMask) == 68, "channel mask at 68");

struct PtzPair {
  int32_t a;
  int32_t b;
};

void on_ptz_ipc_callback(void* ctx, void* header, void* payload);

namespace {

const char* const kPtzBasicKeys[PTZ_BASIC_FIELDS] = {
    "status",         "chnId",         "zoomStatus",      "panTiltStatus",     "presetStatus",
    "patrolStatus",   "patternStatus", "autoScanStatus",  "presetFreezing",    "presetSpeed",
    "manualSpeed",    "patrolRecovering", "patrolRecoveryTime", "focusMode",   "minFocusDistance",
    "resumeTime",     "fanWorkingMode",
};

// ---- Request readers ----------------------------------------------------------------

// A configured channel read strictly from the member.
bool take_channel(json_object* req, const char* key, int32_t* ch) {
  return json_strict_int(req, key, ch) && channel_configured(*ch, configured_camera_count());
}

// Members that may be absent (0) but must be numbers when present.
struct IntKey {
  const char* key;
  int32_t* out;
};
bool take_plain_ints(json_object* req, std::initializer_list<IntKey> keys) {
  for (const IntKey& k : keys)
    if (!json_plain_int(req, k.key, k.out)) return false;
  return true;
}

// "tourid" 1..8.
bool take_tour_id(json_object* req, int32_t* tourid) {
  return json_strict_int_in(req, "tourid", 1, PTZ_TOURS, tourid);
}

// The camera's PTZ speed parameter: the page's speed less one, 1 for none.
std::string camera_speed_value(int32_t speed) { return std::to_string(speed > 0 ? speed - 1 : 1); }

// Sends a camera common parameter of the camera's "vsetting.html" page and
// waits for its answer (the text error reply when none came).
void relay_camera_param(int32_t ch, const char* key, const std::string& value) {
  const CommonParam rec = make_common_param(ch, "", "vsetting.html", key, value);
  cgi_ipc_exchange(on_ptz_ipc_callback, REQ_CAMERA_COMMON_PARAM_SET, &rec, sizeof rec, CGI_KIND_TEXT);
}

// The end of a command page: the notification, "OK", the log entry.
void notify_and_answer(int req_id, const void* payload, size_t len, int log_param, int32_t ch) {
  notify_core(req_id, payload, static_cast<int>(len));
  cgi_reply_ok();
  log_operation(LOG_SUB_PTZ, log_param, ch + 1);
}

// ---- Reply writers ------------------------------------------------------------------
// Each reads a payload of at least the size its dispatcher row gives.

int32_t first_word(const uint8_t* data) {
  int32_t v = 0;
  std::memcpy(&v, data, sizeof v);
  return v;
}

int write_json(json_object* obj) {
  JsonPtr owner(obj);
  cgi_write_json(obj);
  return 1;
}

int on_set_ipc_common_cb(const uint8_t* data, size_t) {
  cgi_writeback_webserver(CGI_KIND_TEXT, first_word(data) == 0 ? "OK" : "ERROR");
  return 1;
}

int on_ip_ptzsupport_cb(const uint8_t* data, size_t) {
  cgi_writeback_webserver(CGI_KIND_TEXT, first_word(data) == -1 ? "-1" : "0");
  return 1;
}

json_object* int_array(const int32_t* v, int n) {
  json_object* arr = json_object_new_array();
  for (int i = 0; i < n; ++i) json_object_array_add(arr, json_object_new_int(v[i]));
  return arr;
}

int on_ptz_reply_info(const uint8_t* data, size_t len) {
  json_object* out = json_object_new_object();
  if (len < sizeof(PtzInfo)) {
    json_add_text(out, "status", "Error");
    return write_json(out);
  }
  auto info = std::make_unique<PtzInfo>();
  std::memcpy(info.get(), data, sizeof *info);
  json_add_text(out, "status", "OK");
  json_object* presets = json_object_new_array();
  for (const PtzPresetInfo& p : info->presets) {
    json_object* o = json_object_new_object();
    json_add_int(o, "enable", p.enable);
    json_add_field(o, "name", p.name);
    json_object_array_add(presets, o);
  }
  json_object_object_add(out, "PRESET", presets);
  json_object* tours = json_object_new_array();
  for (const PtzTourInfo& t : info->tours) {
    json_object* points = json_object_new_array();
    for (int i = 0; i < PTZ_TOUR_POINTS && t.preset_id[i] >= 1; ++i) {
      json_object* o = json_object_new_object();
      json_add_int(o, "preset_id", t.preset_id[i]);
      json_add_int(o, "speed", t.speed[i]);
      json_add_int(o, "timeout", t.timeout[i]);
      json_object_array_add(points, o);
    }
    json_object_array_add(tours, points);
  }
  json_object_object_add(out, "TOUR", tours);
  json_object* patterns = json_object_new_array();
  for (int32_t e : info->pattern_enable) {
    json_object* o = json_object_new_object();
    json_add_int(o, "enable", e);
    json_object_array_add(patterns, o);
  }
  json_object_object_add(out, "PATTERN", patterns);
  json_object_object_add(out, "autoscan_status", int_array(info->autoscan_status, 5));
  json_object* state = json_object_new_array();
  for (const auto& row : info->tour_status) json_object_array_add(state, int_array(row, 8));
  json_object_object_add(out, "tour_status", state);
  return write_json(out);
}

int on_cgi_get_ptz_basic_cb(const uint8_t* data, size_t) {
  PtzBasic b;
  std::memcpy(&b, data, sizeof b);
  json_object* out = json_object_new_object();
  for (int i = 0; i < PTZ_BASIC_FIELDS; ++i) json_add_int(out, kPtzBasicKeys[i], b.fields[i]);
  return write_json(out);
}

int on_cgi_set_ptz_basic_cb(const uint8_t* data, size_t len) {
  on_cgi_common_json_cb(static_cast<int>(len / sizeof(int32_t)), data);
  return 1;
}

int on_cgi_set_ptz_control_cb(const uint8_t* data, size_t) {
  json_object* out = json_object_new_object();
  json_add_int(out, "res", first_word(data));
  return write_json(out);
}

int on_cgi_get_led_status_cb(const uint8_t* data, size_t) {
  PtzPair p;
  std::memcpy(&p, data, sizeof p);
  json_object* out = json_object_new_object();
  json_add_int(out, "chnid", p.a);
  json_add_int(out, "status", p.b);
  return write_json(out);
}

// ---- Commands -----------------------------------------------------------------------

bool check_ptz_cmd_info(json_object* req, PtzCommand* cmd, int32_t* auto_focus) {
  return take_channel(req, "channelId", &cmd->channelId) &&
         json_strict_int_in(req, "action", 0, INT_MAX, &cmd->action) &&
         take_plain_ints(req, {{"panSpeed", &cmd->panSpeed},
                               {"tiltSpeed", &cmd->tiltSpeed},
                               {"zoomSpeed", &cmd->zoomSpeed},
                               {"focusSpeed", &cmd->focusSpeed},
                               {"fisheyeType", &cmd->fisheyeType},
                               {"streamId", &cmd->streamId},
                               {"isAutoFocus", auto_focus}});
}

void on_send_ptz_cmd(char* text) {
  JsonPtr req(parse_request_object(text));
  PtzCommand cmd{};
  int32_t auto_focus = 0;
  if (!req || !check_ptz_cmd_info(req.get(), &cmd, &auto_focus)) return;
  notify_core(REQ_PTZ_CMD, &cmd, sizeof cmd);
  if (cmd.action == PTZ_CODE_FOCUS && auto_focus == 1) {
    cmd.action = PTZ_CODE_AUTO_FOCUS;
    notify_core(REQ_PTZ_CMD, &cmd, sizeof cmd);
  }
  relay_camera_param(cmd.channelId, "ptzspeed", camera_speed_value(cmd.panSpeed));
  log_operation(LOG_SUB_PTZ, LOG_PARAM_PTZ_CONTROL, cmd.channelId + 1);
}

bool check_preset_op_info(json_object* req, PtzCommand* cmd) {
  return take_channel(req, "channelId", &cmd->channelId) &&
         json_strict_int_in(req, "presetId", 0, PTZ_PRESETS, &cmd->presetId) &&
         json_strict_int_in(req, "action", 0, INT_MAX, &cmd->action) &&
         json_strict_int_in(req, "panSpeed", 0, INT_MAX, &cmd->panSpeed) &&
         json_strict_int_in(req, "tiltSpeed", 0, INT_MAX, &cmd->tiltSpeed) &&
         json_strict_int_in(req, "zoomSpeed", 0, INT_MAX, &cmd->zoomSpeed) &&
         json_strict_int_in(req, "focusSpeed", 0, INT_MAX, &cmd->focusSpeed) &&
         take_plain_ints(req, {{"fisheyeType", &cmd->fisheyeType}, {"streamId", &cmd->streamId}});
}

void on_preset_op(char* text) {
  JsonPtr req(parse_request_object(text));
  PtzCommand cmd{};
  if (!req || !check_preset_op_info(req.get(), &cmd) || !json_texts_readable(req.get(), {"name"})) return;
  char name[32] = {};
  json_get_text(req.get(), "name", name);
  if (cmd.action == PTZ_CODE_SET_PRESET) copy_field(cmd.name, utf8_head(name, PTZ_PRESET_NAME_MAX));
  notify_core(REQ_PTZ_PRESET, &cmd, sizeof cmd);
  if (cmd.fisheyeType == 1 && cmd.action == PTZ_CODE_SET_PRESET)
    relay_camera_param(cmd.channelId, "ipncptz=setfishpreset",
                       string_printf("%d:%d:%s", cmd.streamId, cmd.presetId, name));
  else
    cgi_reply_ok();
  log_operation(LOG_SUB_PTZ, LOG_PARAM_PTZ_SETUP, cmd.channelId + 1);
}

// "/5002" and "/5003": the tour command of a configured channel and tour.
void send_tour_command(char* text, int req_id) {
  JsonPtr req(parse_request_object(text));
  PtzTourCommand cmd{};
  if (!req || !take_channel(req.get(), "chn", &cmd.chn) || !take_tour_id(req.get(), &cmd.tourid) ||
      !take_plain_ints(req.get(), {{"fisheyeType", &cmd.fisheyeType}, {"streamId", &cmd.streamId}}))
    return;
  notify_and_answer(req_id, &cmd, sizeof cmd, LOG_PARAM_PTZ_CONTROL, cmd.chn);
}

void on_set_ptz_tour_run(char* text) { send_tour_command(text, REQ_PTZ_TOUR_RUN); }
void on_set_ptz_tour_stop(char* text) { send_tour_command(text, REQ_PTZ_TOUR_STOP); }

// Pattern actions 0..4 of the page and their PTZ command codes.
int32_t pattern_code(int32_t action) {
  static const int32_t kCodes[] = {26, 21, 25, 27, 40};
  return action >= 0 && action < 5 ? kCodes[action] : 0;
}

void on_set_ptz_pattern(char* text) {
  JsonPtr req(parse_request_object(text));
  PtzCommand cmd{};
  int32_t action = 0;
  // "tourid" is the pattern number, 1..4 like the recorder's patterns.
  if (!req || !take_channel(req.get(), "chn", &cmd.channelId) ||
      !json_strict_int_in(req.get(), "tourid", 1, PTZ_PATTERNS, &cmd.presetId) ||
      !take_plain_ints(req.get(), {{"action", &action}}))
    return;
  cmd.action = pattern_code(action);
  notify_and_answer(REQ_PTZ_PATTERN, &cmd, sizeof cmd, LOG_PARAM_PTZ_SETUP, cmd.channelId);
}

void on_get_ptz_info(char* text) {
  JsonPtr req(parse_request_object(text));
  int32_t ch = 0, fisheye = 0, stream = 0;
  if (!req || !take_channel(req.get(), "chn", &ch) ||
      !take_plain_ints(req.get(), {{"fisheyeType", &fisheye}, {"streamId", &stream}}))
    return;
  if (fisheye == 0) {
    cgi_ipc_exchange(on_ptz_ipc_callback, REQ_PTZ_INFO, &ch, sizeof ch, CGI_KIND_JSON);
  } else {
    const PtzPair msg{ch, stream};
    cgi_ipc_exchange(on_ptz_ipc_callback, REQ_PTZ_FISH_INFO, &msg, sizeof msg, CGI_KIND_JSON);
  }
}

void on_set_ptz_preset_call(char* text) {
  JsonPtr req(parse_request_object(text));
  PtzPair msg{};
  if (!req || !take_channel(req.get(), "channelId", &msg.a) || !take_plain_ints(req.get(), {{"action", &msg.b}}))
    return;
  notify_and_answer(REQ_PTZ_PRESET_CALL, &msg, sizeof msg, LOG_PARAM_PTZ_CONTROL, msg.a);
}

void on_set_ptz_zomm(char* text) {
  JsonPtr req(parse_request_object(text));
  int32_t msg[3] = {};
  if (!req || !take_channel(req.get(), "camId", &msg[0]) ||
      !take_plain_ints(req.get(), {{"Zoom", &msg[1]}, {"ZoomSpeed", &msg[2]}}))
    return;
  notify_and_answer(REQ_PTZ_ZOOM, msg, sizeof msg, LOG_PARAM_PTZ_CONTROL, msg[0]);
}

void on_set_ipc_speed(char* text) {
  JsonPtr req(parse_request_object(text));
  int32_t ch = 0, speed = 0;
  if (!req || !take_channel(req.get(), "chn", &ch) || !take_plain_ints(req.get(), {{"Speed", &speed}})) return;
  relay_camera_param(ch, "ptzspeed", camera_speed_value(speed));
  log_operation(LOG_SUB_PTZ, LOG_PARAM_PTZ_SETUP, ch + 1);
}

// ---- Camera-side PTZ queries and settings ------------------------------------------------

void on_cgi_set_ptz_control(char* text) {
  JsonPtr req(parse_request_object(text));
  PtzPair msg{};
  if (!req || !take_channel(req.get(), "chnid", &msg.a) || !take_plain_ints(req.get(), {{"ptzCmd", &msg.b}})) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_ptz_ipc_callback, REQ_PTZ_CONTROL, &msg, sizeof msg, CGI_KIND_JSON);
  log_operation(LOG_SUB_PTZ, LOG_PARAM_PTZ_SETUP, msg.a + 1);
}

// A query of one configured channel (4 bytes); the JSON error reply for
// another channel or when no reply came.
void query_channel(char* text, const char* key, int req_id) {
  JsonPtr req(parse_request_object(text));
  int32_t ch = 0;
  if (!req || !take_channel(req.get(), key, &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_ptz_ipc_callback, req_id, &ch, sizeof ch, CGI_KIND_JSON);
}

void on_cgi_get_led_status(char* text) { query_channel(text, "chnid", REQ_LED_STATUS); }
void on_cgi_get_ptz_basic(char* text) { query_channel(text, "chnId", REQ_PTZ_BASIC_GET); }

void on_cgi_set_ptz_basic(char* text) {
  JsonPtr req(parse_request_object(text));
  PtzBasic b{};
  if (!req || !take_channel(req.get(), "chnId", &b.fields[1])) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  for (int i = 2; i < PTZ_BASIC_FIELDS; ++i)
    if (!json_plain_int(req.get(), kPtzBasicKeys[i], &b.fields[i])) {
      cgi_error_to_webserver(CGI_KIND_JSON);
      return;
    }
  if (!json_texts_readable(req.get(), {"channelMask"})) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  char mask[65] = {};
  json_get_text(req.get(), "channelMask", mask);
  copy_field(b.channelMask, mask);
  cgi_ipc_exchange(on_ptz_ipc_callback, REQ_PTZ_BASIC_SET, &b, sizeof b, CGI_KIND_JSON);
}

// ---- Stored PTZ port settings and speeds ------------------------------------------------------

// The stored port settings of a channel (zeros when never written); false
// when the store could not be read.
bool load_port(int32_t ch, PtzPortRecord* r) {
  *r = PtzPortRecord{};
  const bool ok = read_ptz_port(ZRDB_PATH, r, ch) == 0;
  r->camId = ch;
  return ok;
}

void on_get_ptzport_info(char* text) {
  JsonPtr req(parse_request_object(text));
  int32_t ch = 0;
  if (!req || !take_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  PtzPortRecord r;
  load_port(ch, &r);
  json_object* out = json_object_new_object();
  json_add_int(out, "camId", r.camId);
  json_add_int(out, "connectType", r.connectType);
  json_add_int(out, "baudRate", r.baudRate);
  json_add_int(out, "dataBits", r.dataBits);
  json_add_int(out, "stopBits", r.stopBits);
  json_add_int(out, "parityType", r.parityType);
  json_add_int(out, "protocol", r.protocol);
  json_add_int(out, "address", r.address);
  write_json(out);
}

bool check_ptzport_info(json_object* req, PtzPortRecord* p, int32_t* cnt) {
  return json_strict_int(req, "cnt", cnt) && json_has(req, "chnid") &&
         json_strict_int_in(req, "connectType", 0, 1, &p->connectType) &&
         json_strict_int_in(req, "baudRate", 0, INT_MAX, &p->baudRate) &&
         json_strict_int_in(req, "dataBits", 5, 8, &p->dataBits) &&
         json_strict_int_in(req, "stopBits", 0, INT_MAX, &p->stopBits) &&
         json_strict_int_in(req, "parityType", 0, 2, &p->parityType) &&
         json_strict_int_in(req, "protocol", 0, 13, &p->protocol) &&
         json_strict_int_in(req, "address", 0, INT_MAX, &p->address);
}

void on_set_ptzport_info(char* text) {
  JsonPtr req(parse_request_object(text));
  PtzPortRecord set{};
  int32_t cnt = 0;
  if (!req || !check_ptzport_info(req.get(), &set, &cnt)) return;
  const RequestChannels chans = take_request_channels(req.get(), "chnid", cnt, configured_camera_count());
  ZrdbTransaction txn(ZRDB_PATH);
  bool ok = txn.ok();
  for (int i = 0; i < chans.n && ok; ++i) {
    PtzPortRecord r;
    if (!load_port(chans.channels[i], &r)) {
      ok = false;
      break;
    }
    const int32_t reserved = r.reserved;
    r = set;
    r.camId = chans.channels[i];
    r.reserved = reserved;
    ok &= write_ptz_port(ZRDB_PATH, &r, r.camId) == 0;
  }
  if (!ok || txn.commit() != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  for (int i = 0; i < chans.n; ++i) {
    notify_core_int(REQ_PTZ_PORT_CHANGED, chans.channels[i]);
    log_operation(LOG_SUB_PTZ, LOG_PARAM_PTZ_SETUP, chans.channels[i] + 1);
  }
  cgi_reply_ok();
}

void on_get_ptzsupport_info(char* text) {
  JsonPtr req(parse_request_object(text));
  int32_t ch = 0;
  if (!req || !take_channel(req.get(), "camId", &ch)) return;
  cgi_ipc_exchange(on_ptz_ipc_callback, REQ_PTZ_SUPPORT, &ch, sizeof ch, CGI_KIND_TEXT);
}

void on_get_ptz_speed(char* text) {
  JsonPtr req(parse_request_object(text));
  int32_t ch = 0;
  if (!req || !take_channel(req.get(), "camId", &ch)) return;
  PtzSpeedRecord s{};
  read_ptz_speed(ZRDB_PATH, &s, ch);
  json_object* out = json_object_new_object();
  json_add_int(out, "pan_speed", s.pan_speed);
  json_add_int(out, "tilt_speed", s.tilt_speed);
  json_add_int(out, "zoom_speed", s.zoom_speed);
  json_add_int(out, "foucs_speed", s.foucs_speed);
  write_json(out);
}

void on_set_ptz_speed(char* text) {
  JsonPtr req(parse_request_object(text));
  int32_t ch = 0;
  if (!req || !take_channel(req.get(), "camId", &ch)) return;
  ZrdbTransaction txn(ZRDB_PATH);
  PtzSpeedRecord s{};
  if (!txn.ok() || read_ptz_speed(ZRDB_PATH, &s, ch) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  const PtzSpeedRecord before = s;
  s.camId = ch;
  for (const IntKey& k : {IntKey{"pan_speed", &s.pan_speed}, IntKey{"tilt_speed", &s.tilt_speed},
                          IntKey{"zoom_speed", &s.zoom_speed}, IntKey{"foucs_speed", &s.foucs_speed}})
    if (json_int_member(req.get(), k.key, k.out) == JSON_INT_BAD) return;
  if (std::memcmp(&s, &before, sizeof s) != 0 && write_ptz_speed(ZRDB_PATH, &s, ch) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  if (txn.commit() != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  cgi_reply_ok();
  log_operation(LOG_SUB_PTZ, LOG_PARAM_PTZ_SETUP, ch + 1);
}

// ---- Tours ---------------------------------------------------------------------------------

// The points of "path": the first "rowsize" (0..48), never more than the
// path holds. False for a rowsize outside 0..48 or a point of the wrong shape.
bool take_tour_points(json_object* req, PtzTourPoint (&points)[PTZ_TOUR_POINTS], int* n) {
  int32_t rowsize = 0;
  if (!json_strict_int_in(req, "rowsize", 0, PTZ_TOUR_POINTS, &rowsize)) return false;
  json_object* path = json_array_member(req, "path");
  const size_t len = json_array_size(path);
  *n = static_cast<size_t>(rowsize) < len ? rowsize : static_cast<int>(len);
  for (int i = 0; i < *n; ++i) {
    json_object* p = json_object_array_get_idx(path, static_cast<size_t>(i));
    if (!json_object_is_type(p, json_type_object) ||
        !take_plain_ints(p, {{"preset", &points[i].preset}, {"speed", &points[i].speed}, {"time", &points[i].time}}))
      return false;
  }
  return true;
}

void on_set_ptz_tour_set(char* text) {
  JsonPtr req(parse_request_object(text));
  PtzTourSet set{};
  int n = 0;
  if (!req || !take_channel(req.get(), "chn", &set.chn) || !take_tour_id(req.get(), &set.tourid) ||
      !take_tour_points(req.get(), set.points, &n))
    return;
  set.rowsize = n;
  // The stored tour becomes exactly the points sent: a shorter tour leaves
  // no points of the longer one behind.
  ZrdbTransaction txn(ZRDB_PATH);
  auto tours = std::make_unique<PtzTourRecord>();
  // The other tours are written back as read: a failed read writes nothing.
  if (!txn.ok() || read_ptz_tour(ZRDB_PATH, tours.get(), set.chn) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  std::memcpy(tours->tours[set.tourid - 1], set.points, sizeof set.points);
  if (write_ptz_tour(ZRDB_PATH, tours.get(), set.chn) != 0 || txn.commit() != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_and_answer(REQ_PTZ_TOUR_SET, &set, sizeof set, LOG_PARAM_PTZ_SETUP, set.chn);
}

void on_set_fish_ptz_tour_set(char* text) {
  JsonPtr req(parse_request_object(text));
  int32_t ch = 0, tourid = 0, stream = 0;
  PtzTourPoint points[PTZ_TOUR_POINTS] = {};
  int n = 0;
  if (!req || !take_channel(req.get(), "chn", &ch) || !take_tour_id(req.get(), &tourid) ||
      !take_plain_ints(req.get(), {{"streamId", &stream}}) || !take_tour_points(req.get(), points, &n))
    return;
  auto set = std::make_unique<PtzFishTourSet>();
  set->chn = ch;
  set->streamId = stream;
  set->tour = tourid - 1;
  PtzFishTour& t = set->tours[tourid - 1];
  for (int i = 0; i < n; ++i) {
    t.preset[i] = points[i].preset;
    t.time[i] = points[i].time;
    t.speed[i] = points[i].speed;
  }
  notify_and_answer(REQ_PTZ_FISH_TOUR_SET, set.get(), sizeof *set, LOG_PARAM_PTZ_SETUP, ch);
}

void on_set_ptz_tour_clear(char* text) {
  JsonPtr req(parse_request_object(text));
  PtzTourCommand cmd{};
  if (!req || !take_channel(req.get(), "chn", &cmd.chn) || !take_tour_id(req.get(), &cmd.tourid) ||
      !take_plain_ints(req.get(), {{"fisheyeType", &cmd.fisheyeType}, {"streamId", &cmd.streamId}}))
    return;
  // The points lose their presets; their times and speeds stay for the page.
  ZrdbTransaction txn(ZRDB_PATH);
  auto tours = std::make_unique<PtzTourRecord>();
  // The other tours are written back as read: a failed read writes nothing.
  if (!txn.ok() || read_ptz_tour(ZRDB_PATH, tours.get(), cmd.chn) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  for (PtzTourPoint& p : tours->tours[cmd.tourid - 1]) p.preset = 0;
  if (write_ptz_tour(ZRDB_PATH, tours.get(), cmd.chn) != 0 || txn.commit() != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_and_answer(REQ_PTZ_TOUR_CLEAR, &cmd, sizeof cmd, LOG_PARAM_PTZ_SETUP, cmd.chn);
}

}  // namespace

// ---- Reply dispatcher -------------------------------------------------------------

namespace {
const CgiReplyRow kPtzReplies[] = {
    {REPLY_PTZ_SUPPORT, 4, CGI_KIND_TEXT, on_ip_ptzsupport_cb},
    // A short information reply answers {"status":"Error"} itself.
    {REPLY_PTZ_INFO, 0, CGI_KIND_JSON, on_ptz_reply_info},
    {REPLY_PTZ_FISH_INFO, 0, CGI_KIND_JSON, on_ptz_reply_info},
    {REPLY_PTZ_BASIC_GET, sizeof(PtzBasic), CGI_KIND_JSON, on_cgi_get_ptz_basic_cb},
    {REPLY_PTZ_BASIC_SET, 4, CGI_KIND_JSON, on_cgi_set_ptz_basic_cb},
    {REPLY_CAMERA_PARAM_SET, 4, CGI_KIND_TEXT, on_set_ipc_common_cb},
    {REPLY_PTZ_CONTROL, 4, CGI_KIND_JSON, on_cgi_set_ptz_control_cb},
    {REPLY_LED_STATUS, sizeof(PtzPair), CGI_KIND_JSON, on_cgi_get_led_status_cb},
};

const WebRes kPtzTable[] = {
    {"/5000", on_send_ptz_cmd},
    {"/5001", on_preset_op},
    {"/5002", on_set_ptz_tour_run},
    {"/5003", on_set_ptz_tour_stop},
    {"/5004", on_set_ptz_pattern},
    {"/5005", on_get_ptz_info},
    {"/5006", on_set_ptz_preset_call},
    {"/5007", on_set_ptz_zomm},
    {"/5008", on_set_ipc_speed},
    {"/5009", on_cgi_set_ptz_control},
    {"/5010", on_cgi_get_led_status},
    {"/5011", on_cgi_get_ptz_basic},
    {"/5012", on_cgi_set_ptz_basic},
    {"/6050", on_get_ptzport_info},
    {"/6051", on_set_ptzport_info},
    {"/6052", on_get_ptzsupport_info},
    {"/6053", on_get_ptz_speed},
    {"/6054", on_set_ptz_speed},
    {"/6055", on_set_ptz_tour_set},
    {"/6056", on_set_fish_ptz_tour_set},
    {"/6057", on_set_ptz_tour_clear},
};
}  // namespace

void on_ptz_ipc_callback(void*, void* header, void* payload) { cgi_dispatch_reply(kPtzReplies, header, payload); }

NVR_DEFINE_MODULE(ptz, kPtzTable)
