// Camera channel management.
// Serves "/2000", "/2001", "/2003", "/2004", "/2005", "/2006", "/2007", "/2008", "/2011", "/2012", "/2013", "/2014", "/2015", "/2016", "/2017", "/2018", "/2029", "/2031", "/2032", "/2033", "/2034".
#include <vector>

#include "handlers/camera/camera.h"
#include "core/account_scope.h"

namespace camera {

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

void seed_model_table();

// The model table, seeded with the factory table when the store holds no
// protocols yet, so that every page reading it sees the same models.
void ensure_model_table() {
  IpcProtocolRecord first{};
  int np = 0;
  if (read_ipc_protocols(ZRDB_PATH, &first, 1, &np) == 0 && np > 0) return;
  ZrdbTransaction txn(ZRDB_PATH);
  if (read_ipc_protocols(ZRDB_PATH, &first, 1, &np) == 0 && np > 0) return;
  seed_model_table();
  txn.commit();
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
  if (cam.camProtocol >= 0 && cam.camProtocol < kMaxModels) {
    ensure_model_table();
    read_ipc_model(ZRDB_PATH, &model, cam.camProtocol);
  }

  JsonPtr obj(json_object_new_object());
  json_object* o = obj.get();
  json_add_int(o, "id", ch);
  json_add_field(o, "name", name);
  json_add_field(o, "ipAddr", cam.ipAddr);
  json_add_int(o, "managePort", cam.managePort);
  json_add_int(o, "protocol", model.protocol);
  json_add_int(o, "model", cam.camProtocol);
  json_add_field(o, "userName", cam.userName);
  json_add_text(o, "password", reply_secret(cam.password));
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

bool set_channel_name(int ch, std::string_view name) {
  OsdRecord osd{};
  if (read_osd(ZRDB_PATH, &osd, ch) != 0) return false;  // never written back as zeros
  osd.camId = ch;
  copy_field(osd.camName, name);
  return write_osd(ZRDB_PATH, &osd, ch) == 0;
}

// The one save-notify-log step of the camera pages: the change is committed
// first; only then go the notification (with the PoE record after it), the
// log entry and "OK". A failed write or commit is logged and answered with
// the error reply of error_kind, and nothing is sent.
bool save_notify_log(ZrdbTransaction& txn, bool ok, int error_kind, const CameraChange& change) {
  if (!ok || !txn.ok() || txn.commit() != 0) {
    CGI_LOG("camera change of channel %d not stored", change.channel);
    cgi_error_to_webserver(error_kind);
    return false;
  }
  if (change.notify_id) notify_core_int(change.notify_id, change.channel);
  if (change.poe) notify_core(REQ_CAMERA_POE, change.poe, sizeof *change.poe);
  if (change.log_sub_type) log_camera(change.log_sub_type, change.log_code, change.channel, change.detail);
  cgi_reply_ok();
  return true;
}

// "/2003" (add = false) and "/2004" (add = true).
void save_camera(const char* text, bool add) {
  JsonPtr req = parse_request(text);
  if (!req || !check_digital_channel(req.get())) return;
  json_object* r = req.get();
  int32_t id = 0, type = 0, other_poe = 0;
  if (!json_strict_int(r, "id", &id) || !json_plain_int(r, "type", &type) ||
      !json_plain_int(r, "otherPoe", &other_poe) ||
      !json_ints_readable(r, {"minorid", "managePort", "enableSubStream", "syncTime", "mainRtspPort", "subRtspPort",
                              "poechannel", "physicalport", "httpsPort"}) ||
      !json_texts_readable(r, {"name", "ipAddr", "userName", "password", "mainSourcePath", "subSourcePath",
                               "mainrtspurl", "subrtspurl", "mac_addr", "ddns"}))
    return;

  CameraRecord cam{};
  ZrdbTransaction txn(ZRDB_PATH);
  bool ok = read_camera(ZRDB_PATH, &cam, id) == 0 && set_channel_name(id, request_text(r, "name"));
  {
    cam.id = id;
    json_take_int(r, "minorid", &cam.minorid);
    json_take_int(r, "enable", &cam.enable);
    json_take_text(r, "ipAddr", cam.ipAddr);
    json_take_int(r, "managePort", &cam.managePort);
    json_take_int(r, "camProtocol", &cam.camProtocol);
    if (add || type == 0) {
      json_take_text(r, "userName", cam.userName);
      if (!secret_kept(r, "password")) json_take_text(r, "password", cam.password);
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
    ok &= write_camera(ZRDB_PATH, &cam, id) == 0;
  }

  const ChannelPoe poe{id, other_poe == 1 ? 1 : 0};
  const int code = add ? 901 : 903;
  const CameraLogDetail detail = camera_log_detail(code, cam);
  CameraChange change;
  change.notify_id = add ? REQ_CAMERA_ADDED : REQ_CAMERA_CHANGED;
  change.channel = id;
  change.poe = add ? &poe : nullptr;
  change.log_sub_type = add ? 210 : 204;
  change.log_code = code;
  change.detail = &detail;
  save_notify_log(txn, ok, CGI_KIND_TEXT, change);
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
  ZrdbTransaction txn(ZRDB_PATH);
  bool ok = true;
  {
    PrivacyMaskRecord masks{};
    if (zrdb_read_record(ZRDB_PATH, "privacy_mask", ch, &masks, sizeof masks) == 0 && masks.id == ch) {
      for (PrivacyMaskArea& a : masks.area) {
        a.enable = 0;
        a.start_x = a.start_y = a.area_width = a.area_height = 0;
      }
      ok &= write_privacy_mask(ZRDB_PATH, &masks, ch) == 0;
    }
    CameraRecord cam{};
    ok &= read_camera(ZRDB_PATH, &cam, ch) == 0;
    const int32_t retained = cam.retained;
    std::memset(&cam, 0, sizeof cam);
    cam.id = ch;
    cam.removed = 1;
    cam.enable = 0;
    cam.retained = retained;
    ok &= write_camera(ZRDB_PATH, &cam, ch) == 0;
    ok &= set_channel_name(ch, string_printf("CAM%d", ch + 1));
  }
  const ChannelPoe poe{ch, 0};
  CameraChange change;
  change.notify_id = REQ_CAMERA_REMOVED;
  change.channel = ch;
  change.poe = &poe;
  change.log_sub_type = 211;
  change.log_code = 902;
  save_notify_log(txn, ok, CGI_KIND_JSON, change);
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
  if (!json_take_int(req.get(), "protocol", &protocol) || protocol < 0 || protocol >= kMaxModels ||
      !json_texts_readable(req.get(), {"nic"}))
    return;
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

// Fills the network change record from one request object; false when a
// number is refused.
bool fill_network_change(json_object* r, CameraNetworkChange* rec) {
  std::memset(rec, 0, sizeof *rec);
  if (!json_texts_readable(r, {"macAddr", "oldIpcAddr", "newIpcAddr", "netmask", "gateway", "primaryDNS", "username",
                               "password", "netif"}))
    return false;
  json_get_text(r, "macAddr", rec->macAddr);
  json_get_text(r, "oldIpcAddr", rec->oldIpcAddr);
  json_get_text(r, "newIpcAddr", rec->newIpcAddr);
  json_get_text(r, "netmask", rec->netmask);
  json_get_text(r, "gateway", rec->gateway);
  json_get_text(r, "primaryDNS", rec->primaryDNS);
  if (!json_plain_int(r, "port", &rec->port)) return false;
  json_get_text(r, "username", rec->username);
  json_get_text(r, "password", rec->password, 33);  // at most 32 characters
  if (!json_plain_int(r, "protocol", &rec->protocol)) return false;
  json_get_text(r, "netif", rec->netif);
  return true;
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
  if (!fill_network_change(r, &rec)) return;
  exchange(3205, &rec, sizeof rec, CGI_KIND_JSON);
}

// "/2032": every entry goes to the core, found cameras that are not (yet)
// a channel of the recorder included; a "channelId" that is not a channel
// 0..63 is sent as -1, never as channel 0.
void on_set_batch_camera_network(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  json_object* list = json_array_member(req.get(), "oIPCAddr");
  int32_t cnt = 0;
  if (!json_plain_int(req.get(), "cnt", &cnt)) return;
  size_t n = cnt < 0 ? 0 : static_cast<size_t>(cnt);
  if (n > json_array_size(list)) n = json_array_size(list);
  if (n > BATCH_RESULT_ENTRIES) n = BATCH_RESULT_ENTRIES;
  // Every entry is read before the first is sent: a refused number in any
  // of them sends none.
  std::vector<BatchNetworkChange> recs(n);
  for (size_t i = 0; i < n; ++i) {
    json_object* item = array_element(list, i);
    json_object* obj = is_object(item) ? item : nullptr;
    int ch = -1;
    if (!get_channel(item, "channelId", &ch)) ch = -1;
    BatchNetworkChange& rec = recs[i];
    if (!fill_network_change(obj, &rec.change) || !json_plain_int(obj, "modifynum", &rec.modifynum)) return;
    rec.channelId = ch;
  }
  for (const BatchNetworkChange& rec : recs) notify_core(3229, &rec, sizeof rec);
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
         int_in(r, "camProtocol", 0, kMaxModels - 1) && json_texts_readable(r, {"userName", "password"});
}

// "/2014"
void on_test_camera_connection(char* text) {
  JsonPtr req = parse_request(text);
  if (!req || !check_connection_test(req.get())) return;
  json_object* r = req.get();
  ConnectionTest rec;
  std::memset(&rec, 0, sizeof rec);
  json_get_text(r, "ipAddr", rec.ipAddr);
  // Both numbers were checked above.
  json_strict_int(r, "managePort", &rec.managePort);
  json_get_text(r, "userName", rec.userName);
  json_get_text(r, "password", rec.password, 33);
  json_strict_int(r, "camProtocol", &rec.camProtocol);
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
  json_strict_int(r, "managePort", &rec.managePort);  // both numbers checked above
  if (rec.managePort < 80) rec.managePort = 80;
  json_get_text(r, "userName", rec.userName);
  json_get_text(r, "password", rec.password, 33);
  json_strict_int(r, "camProtocol", &rec.camProtocol);
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
  if (!text_present(r, "time", false) || !json_has(r, "chnid") || !json_has(r, "streamType")) return;
  int ch = -1, stream_type = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  const std::string when = request_text(r, "time");
  if (!get_channel(r, "chnid", &ch) || !json_strict_int(r, "streamType", &stream_type) ||
      std::sscanf(when.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second) != 6 ||
      month < 1 || month > 12) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  MonthMapQuery q;
  std::memset(&q, 0, sizeof q);
  q.streamType = stream_type == 1 ? 1 : 0;
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
  cgi_writeback_webserver(CGI_KIND_TEXT, std::string(reply_secret(pass)).c_str());
}

// "/2017" and "/2031": 1203 and the log entry of an edit (903).
void save_camera_change(ZrdbTransaction& txn, bool ok, const CameraRecord& cam) {
  const CameraLogDetail detail = camera_log_detail(903, cam);
  CameraChange change;
  change.notify_id = REQ_CAMERA_CHANGED;
  change.channel = cam.id;
  change.log_sub_type = 204;
  change.log_code = 903;
  change.detail = &detail;
  save_notify_log(txn, ok, CGI_KIND_TEXT, change);
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
  ZrdbTransaction txn(ZRDB_PATH);
  bool ok = read_camera(ZRDB_PATH, &cam, id) == 0;
  cam.id = id;
  json_take_text(r, "userName", cam.userName);
  if (!secret_kept(r, "password")) json_take_text(r, "password", cam.password);
  ok = ok && write_camera(ZRDB_PATH, &cam, id) == 0;
  save_camera_change(txn, ok, cam);
}

// "/2018"
void on_get_max_poe_num(char*) {
  cgi_writeback_webserver(CGI_KIND_TEXT, std::to_string(get_param_int(ZRDB_PATH, "max_poe_num", 0)).c_str());
}

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
  if (!get_channel(r, "id", &id) || !json_ints_readable(r, {"transmitProtocol", "syncTime", "httpsPort"})) return;
  CameraRecord cam{};
  ZrdbTransaction txn(ZRDB_PATH);
  bool ok = read_camera(ZRDB_PATH, &cam, id) == 0;
  cam.id = id;
  json_take_int(r, "transmitProtocol", &cam.transmitProtocol);
  json_take_int(r, "syncTime", &cam.syncTime);
  json_take_int(r, "httpsPort", &cam.httpsPort);
  ok = ok && write_camera(ZRDB_PATH, &cam, id) == 0;
  save_camera_change(txn, ok, cam);
}

// "/2034"
void on_get_ipv6_support(char*) {
  cgi_writeback_webserver(CGI_KIND_TEXT, std::to_string(net_is_haveipv6()).c_str());
}

}  // namespace camera
