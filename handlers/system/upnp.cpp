// UPnP port mapping: "/1030" the settings and mapping states with the
// recorder's own ports, "/1031" hand new settings to the core (which maps
// the ports and stores the record).
#include "core/port_record.h"
#include "handlers/system/system.h"

namespace sysadmin {

namespace {
// Absent counts as 0; a present value reads strictly within lo..hi.
bool plain_in(json_object* r, const char* key, int lo, int hi, int32_t* out) {
  return json_plain_int(r, key, out) && *out >= lo && *out <= hi;
}
}  // namespace

int read_upnp(const char* db, UpnpRecord* rec) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  return zrdb_read_record(db, "upnp", 0, rec, sizeof *rec) < 0 ? -1 : 0;
}

void on_get_upnp_info(char*) {
  UpnpRecord rec;
  PortRecord port;
  std::memset(&port, 0, sizeof port);
  if (read_upnp(ZRDB_PATH, &rec) != 0 || read_port(ZRDB_PATH, &port, PORT_RECORD_ID) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr out(json_object_new_object());
  json_object* o = out.get();
  json_add_int(o, "enable", rec.enable);
  json_add_int(o, "type", rec.type);
  json_add_int(o, "external_http_port", rec.external_http_port);
  json_add_int(o, "http_status", rec.http_status);
  json_add_int(o, "external_rtsp_port", rec.external_rtsp_port);
  json_add_int(o, "rtsp_status", rec.rtsp_status);
  json_add_int(o, "http_port", port.httpPort);
  json_add_int(o, "rtsp_port", port.rtspPort);
  cgi_write_json(o);
}

void on_set_upnp_info(char* text) {
  JsonPtr req(parse_request(text));
  if (!req) return;
  json_object* r = req.get();
  UpnpRecord rec;
  if (read_upnp(ZRDB_PATH, &rec) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  if (!plain_in(r, "enable", 0, 1, &rec.enable) || !json_plain_int(r, "type", &rec.type) ||
      !plain_in(r, "external_http_port", 0, 65535, &rec.external_http_port) ||
      !plain_in(r, "external_rtsp_port", 0, 65535, &rec.external_rtsp_port))
    return;
  notify_core(REQ_UPNP_SET, &rec, sizeof rec);
  reply_text("OK");
}

}  // namespace sysadmin
