// Aging test switches used by production and aging tests: they flip
// settings without the normal pages. Each handler writes the configuration
// store, answers "OK" and then notifies the core daemon without waiting.
// Request table whose first name is "/3300".
#include <json-c/json.h>

#include "core/camera_record.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_reply.h"
#include "core/port_record.h"
#include "core/record_row.h"
#include "core/strutil.h"
#include "handlers/modules.h"
#include "platform/zrdb.h"

namespace {

constexpr int REQ_CAMERA_ADDED = 1201;
constexpr int REQ_CAMERA_REMOVED = 1202;
constexpr int REQ_RECORD_CHANGED = 1407;

// ---- Handlers ---------------------------------------------------------------------------
// A store failure ends the request without a reply (the page reads an empty
// reply as failure) and without notifying the core.

void on_set_ssh_enable(char* text) {
  JsonPtr req(get_request_tokener_json_object(text));
  if (!req) return;
  int32_t enable = 0;
  if (!json_plain_int(req.get(), "sshEnable", &enable)) return;
  ZrdbTransaction txn(ZRDB_PATH);
  PortRecord port{};
  if (read_port(ZRDB_PATH, &port, PORT_RECORD_ID) != 0) return;
  port.enableSsh = enable;
  if (write_port(ZRDB_PATH, &port, PORT_RECORD_ID) != 0 || txn.commit() != 0) return;
  cgi_reply_ok();
  notify_core_changed("more");
}

// Stores the request's integer key as a parameter; "OK" once stored.
void set_param_from_request(const char* text, const char* key, const char* param) {
  JsonPtr req(get_request_tokener_json_object(text));
  if (!req) return;
  int32_t value = 0;
  if (!json_plain_int(req.get(), key, &value) || set_param_int(ZRDB_PATH, param, value) != 0) return;
  cgi_reply_ok();
}

void on_set_auto_login(char* text) { set_param_from_request(text, "autoLoginEnable", "local_auth_enable"); }

// All 64 rows are rewritten in one transaction, also on a recorder with
// fewer channels, and the core is told of every channel.
void on_set_record_mode_all(char* text) {
  JsonPtr req(get_request_tokener_json_object(text));
  if (!req) return;
  int32_t mode = 0;
  if (!json_plain_int(req.get(), "recordMode", &mode)) return;
  RecordRow rows[RECORD_ROWS];
  ZrdbTransaction txn(ZRDB_PATH);
  if (zrdb_read_record_range(ZRDB_PATH, "record", 0, rows, sizeof(RecordRow), RECORD_ROWS) != 0) return;
  for (int ch = 0; ch < RECORD_ROWS; ++ch) {
    rows[ch].mode = mode;
    if (write_record(ZRDB_PATH, &rows[ch], ch) != 0) return;
  }
  if (txn.commit() != 0) return;
  cgi_reply_ok();
  for (int ch = 0; ch < RECORD_ROWS; ++ch) notify_core_int(REQ_RECORD_CHANGED, ch);
}

void on_set_wizard_enable(char* text) { set_param_from_request(text, "wizardEnable", "wizard_enable"); }

// "id" a channel, "enable" 0 or 1, "ipAddr" present and not empty,
// "managePort" present and not negative.
bool check_ipc_parms(json_object* req) {
  int id = 0, enable = 0, port = 0;
  char ip[64];
  if (on_cgi_get_int_from_json(req, "id", &id) != 0 || !channel_in_range(id)) return false;
  if (on_cgi_get_int_from_json(req, "enable", &enable) != 0 || (enable != 0 && enable != 1)) return false;
  if (on_cgi_get_string_from_json(req, "ipAddr", ip, sizeof ip) != 0 || ip[0] == '\0') return false;
  if (on_cgi_get_int_from_json(req, "managePort", &port) != 0 || port < 0) return false;
  return json_texts_readable(req, {"userName", "password"});
}

void on_set_camera_quick(char* text) {
  JsonPtr req(get_request_tokener_json_object(text));
  if (!req || !check_ipc_parms(req.get())) return;
  // The checks above read the numbers strictly and in range.
  int32_t id = 0, enable = 0, manage_port = 0;
  if (!json_strict_int(req.get(), "id", &id) || !json_strict_int(req.get(), "enable", &enable) ||
      !json_strict_int(req.get(), "managePort", &manage_port))
    return;
  ZrdbTransaction txn(ZRDB_PATH);
  CameraRecord cam{};
  if (read_camera(ZRDB_PATH, &cam, id) != 0) return;
  cam.enable = enable;
  json_get_text(req.get(), "ipAddr", cam.ipAddr);
  json_get_text(req.get(), "userName", cam.userName);
  json_get_text(req.get(), "password", cam.password);
  cam.managePort = manage_port;
  cam.camProtocol = 0;
  if (write_camera(ZRDB_PATH, &cam, id) != 0 || txn.commit() != 0) return;
  cgi_reply_ok();
  notify_core(cam.enable == 1 ? REQ_CAMERA_ADDED : REQ_CAMERA_REMOVED, &id, sizeof id);
}

const WebRes kAgingTable[] = {
    {"/3300", on_set_ssh_enable},      {"/3301", on_set_auto_login},    {"/3302", on_set_record_mode_all},
    {"/3303", on_set_wizard_enable},   {"/3304", on_set_camera_quick},
};

}  // namespace

// Every request of the module is a notification: no reply types to handle.
void on_aging_callback(void* /*ctx*/, void* /*header*/, void* /*payload*/) {}

NVR_DEFINE_MODULE(aging, kAgingTable)
