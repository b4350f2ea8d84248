// Service ports and the push-message settings kept beside them: "/7050"
// ports and push settings, "/7051" set them, "/7092" channel access flag,
// "/7093" number of PoE ports.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/event_actions.h"
#include "core/event_records.h"
#include "core/port_record.h"
#include "core/strutil.h"
#include "handlers/network/network.h"
#include "platform/netutil.h"

namespace {
constexpr int kPortMax = 65535;
constexpr int kPoeFirstPort = 23001;
constexpr char kNvrEventFamily[] = "push_msg_nvr_event";

// Cameras the recorder is configured for ("max_cameras"), within 0..64.
int camera_count(int def) {
  const int n = get_param_int(ZRDB_PATH, "max_cameras", def);
  return n < 0 ? 0 : n > NVR_CHANNELS ? NVR_CHANNELS : n;
}

bool take_port(json_object* req, const char* key, int32_t* out) { return json_strict_int_in(req, key, 0, kPortMax, out); }
}  // namespace

// ---- PoE and in-use port check ----------------------------------------------------

// The ports kept for the recorder's PoE camera ports: [first, last], or an
// empty range (last < first) for a PoE port count other than 4, 8 or 16.
int poe_last_port() {
  const int n = get_param_int(ZRDB_PATH, "max_poe_num", 0);
  return n == 4 || n == 8 || n == 16 ? kPoeFirstPort + n - 1 : kPoeFirstPort - 1;
}

// A port may change to a value outside the PoE range that nothing listens on.
bool port_change_ok(int old_port, int new_port, int poe_last) {
  if (new_port == old_port) return true;
  if (new_port >= kPoeFirstPort && new_port <= poe_last) return false;
  return is_port_use(new_port) == 0;
}

// No two services of the port record on one port (0 is "none"): the second
// could not listen. The service port, kept as stored, counts too. A pair
// stored that way and sent back unchanged passes.
bool ports_distinct(const PortRecord& old_port, const PortRecord& port) {
  const int32_t PortRecord::*const kStored[] = {&PortRecord::sshPort, &PortRecord::httpPort, &PortRecord::rtspPort,
                                                &PortRecord::servicePort, &PortRecord::httpsPort};
  for (size_t a = 0; a < sizeof kStored / sizeof kStored[0]; ++a)
    for (size_t b = a + 1; b < sizeof kStored / sizeof kStored[0]; ++b) {
      const int32_t pa = port.*kStored[a], pb = port.*kStored[b];
      if (pa == 0 || pa != pb) continue;
      if (pa != old_port.*kStored[a] || pb != old_port.*kStored[b]) return false;
    }
  return true;
}

// ---- Store operations of the push settings ------------------------------------------

int read_push_msg_events(const char* db, int32_t* types, int n) {
  if (!types || n < 0 || n > NVR_CHANNELS) return -1;
  std::vector<PushMsgEvent> rows(static_cast<size_t>(n));
  const int rc = n ? zrdb_read_record_range(db, "push_msg_event", 0, rows.data(), sizeof(PushMsgEvent), n) : 0;
  for (int i = 0; i < n; ++i) types[i] = rows[static_cast<size_t>(i)].type;
  return rc;
}

int write_push_msg_event(const char* db, int channel, int type) {
  if (channel < 0 || channel >= NVR_CHANNELS) return -1;
  PushMsgEvent row{channel, type};
  return write_push_msg_event_row(db, &row, channel);
}

int read_push_msg_nvr_event(const char* db, PushMsgNvrEvent* rec) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  const int rc = zrdb_read_record(db, kNvrEventFamily, 0, rec, sizeof *rec) < 0 ? -1 : 0;
  rec->text[PUSH_NVR_EVENT_MAX] = '\0';
  return rc;
}

int write_push_msg_nvr_event(const char* db, const PushMsgNvrEvent* rec) {
  if (!rec) return -1;
  return zrdb_write_record(db, kNvrEventFamily, 0, rec, sizeof *rec) == 0 ? 0 : -1;
}

// ---- Handlers -----------------------------------------------------------------------------

void on_get_port_info(char*) {
  PortRecord port;
  std::memset(&port, 0, sizeof port);
  PushMsgNvrEvent nvr_event;
  const int cams = camera_count(0);
  int32_t types[NVR_CHANNELS] = {};
  if (read_port(ZRDB_PATH, &port, PORT_RECORD_ID) != 0 || read_push_msg_events(ZRDB_PATH, types, cams) != 0 ||
      read_push_msg_nvr_event(ZRDB_PATH, &nvr_event) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "enableSsh", port.enableSsh);
  json_add_int(out.get(), "sshPort", port.sshPort);
  json_add_int(out.get(), "httpPort", port.httpPort);
  json_add_int(out.get(), "httpsPort", port.httpsPort);
  json_add_int(out.get(), "rtspPort", port.rtspPort);
  json_add_int(out.get(), "servicePort", port.servicePort);
  json_add_int(out.get(), "enable_access", get_param_int(ZRDB_PATH, "ch_access", 0));
  json_object* arr = json_object_new_array();
  for (int i = 0; i < cams; ++i) json_object_array_add(arr, json_object_new_int(types[i]));
  json_object_object_add(out.get(), "PushTypeArr", arr);
  json_add_int(out.get(), "PushNvrAlarmInType", get_param_int(ZRDB_PATH, "pushmsg_alarmin_type", 65535));
  const int msg = get_param_int(ZRDB_PATH, "enable_push_msg", 0);
  json_add_int(out.get(), "enableMsg", msg == 0 || msg == 1 ? msg : 0);
  json_add_int(out.get(), "push_stream", get_param_int(ZRDB_PATH, "video_push_stream", 0));
  json_add_field(out.get(), "pushNvrPos", nvr_event.text);
  cgi_write_json(out.get());
}

void on_set_port_info(char* text) {
  JsonPtr req(parse_request(text));
  if (!req) return;
  json_object* r = req.get();
  int32_t enable_ssh = 0, ssh = 0, http = 0, rtsp = 0, service = 0, https = 0, enable_msg = 0;
  if (!json_strict_int_in(r, "enableSsh", 0, 1, &enable_ssh) || !take_port(r, "sshPort", &ssh) ||
      !take_port(r, "httpPort", &http) || !take_port(r, "rtspPort", &rtsp) || !take_port(r, "servicePort", &service) ||
      !json_plain_int(r, "httpsPort", &https) || https < 0 || https > kPortMax ||
      !json_strict_int_in(r, "enableMsg", 0, INT32_MAX, &enable_msg))
    return;

  // Everything stored is read in the write transaction: a save of other
  // fields at the same moment (the port record is shared) is kept.
  ZrdbTransaction txn(ZRDB_PATH);
  if (!txn.ok()) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  // Push keys the page leaves out keep their stored values.
  const int32_t stored_access = get_param_int(ZRDB_PATH, "ch_access", 0);
  int32_t enable_access = stored_access;
  int32_t push_type = get_param_int(ZRDB_PATH, "push_type", 0);
  int32_t alarm_in_type = get_param_int(ZRDB_PATH, "pushmsg_alarmin_type", 65535);
  int32_t video_stream = get_param_int(ZRDB_PATH, "video_push_stream", 0);
  int32_t need_reboot = 0, channels = 0;
  bool ok = true;
  for (auto [key, value] : {std::pair{"enableAccess", &enable_access}, std::pair{"pushType", &push_type},
                            std::pair{"PushTypeNvrAlarmIn", &alarm_in_type}, std::pair{"pushVideoStream", &video_stream}})
    ok &= json_int_member(r, key, value) != JSON_INT_BAD;
  ok &= json_plain_int(r, "needReboot", &need_reboot) && json_plain_int(r, "channel_num", &channels);
  const int cams = camera_count(32);
  channels = channels < 0 ? 0 : channels > cams ? cams : channels;
  // Elements past the end of "pushTypeArr" count as 0.
  int32_t push_types[NVR_CHANNELS] = {};
  json_object* types = json_array_member(r, "pushTypeArr");
  for (int c = 0; c < channels && c < static_cast<int>(json_array_size(types)); ++c)
    ok &= json_value_int(json_array_at(types, static_cast<size_t>(c)), &push_types[c]);
  ok &= json_texts_readable(r, {"pushNvrPos"});
  if (!ok) return;
  if (enable_msg != 1) enable_msg = 0;

  PortRecord old_port;
  std::memset(&old_port, 0, sizeof old_port);
  if (read_port(ZRDB_PATH, &old_port, PORT_RECORD_ID) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  PortRecord port = old_port;
  port.enableSsh = enable_ssh;
  port.sshPort = ssh;
  port.httpPort = http;
  port.rtspPort = rtsp;
  port.httpsPort = https;

  // Ports first: a refused port leaves every setting as it was.
  const int poe_last = poe_last_port();
  if (!port_change_ok(old_port.sshPort, ssh, poe_last) || !port_change_ok(old_port.httpPort, http, poe_last) ||
      !port_change_ok(old_port.httpsPort, https, poe_last) || !ports_distinct(old_port, port)) {
    cgi_writeback_webserver(CGI_KIND_TEXT, "POE_Port_Error");
    return;
  }

  ok = set_param_int(ZRDB_PATH, "push_type", push_type) == 0;
  ok = ok && set_param_int(ZRDB_PATH, "pushmsg_alarmin_type", alarm_in_type) == 0;
  for (int c = 0; ok && c < channels; ++c) ok = write_push_msg_event(ZRDB_PATH, c, push_types[c]) == 0;
  ok = ok && write_port(ZRDB_PATH, &port, PORT_RECORD_ID) == 0;
  const std::string msg_text = std::to_string(enable_msg);
  if (ok)
    ok = (check_param_key(ZRDB_PATH, "enable_push_msg") ? add_param_value(ZRDB_PATH, "enable_push_msg", msg_text.c_str())
                                                        : set_param_value(ZRDB_PATH, "enable_push_msg", msg_text.c_str())) == 0;
  PushMsgNvrEvent nvr_event;
  ok = ok && read_push_msg_nvr_event(ZRDB_PATH, &nvr_event) == 0;
  if (ok && json_take_text(r, "pushNvrPos", nvr_event.text, PUSH_NVR_EVENT_MAX + 1))
    ok = write_push_msg_nvr_event(ZRDB_PATH, &nvr_event) == 0;
  ok = ok && set_param_int(ZRDB_PATH, "video_push_stream", video_stream) == 0;
  if (!ok || txn.commit() != 0) {
    CGI_LOG("port settings not stored");
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }

  if (enable_access != stored_access) notify_core_int(REQ_NET_CHANNEL_ACCESS, enable_access);
  char msg[10] = {};
  copy_text(msg, sizeof msg, msg_text);
  notify_core(REQ_NET_PUSH_ENABLE, msg, sizeof msg);
  log_operation(LOG_SUB_SETTINGS, LOG_PARAM_PORTS, 0);
  cgi_reply_ok();
  notify_core_changed("more");
  if (need_reboot) {
    log_operation(LOG_SUB_REBOOT, LOG_PARAM_REBOOT, 0);
    notify_core(REQ_NET_REBOOT, nullptr, 0);
  }
}

void on_get_access_info(char*) {
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "access", get_param_int(ZRDB_PATH, "ch_access", 0));
  cgi_write_json(out.get());
}

void on_get_poe_max(char*) {
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "max_poe_num", get_param_int(ZRDB_PATH, "max_poe_num", 0));
  cgi_write_json(out.get());
}
