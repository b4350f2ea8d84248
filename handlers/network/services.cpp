// Network services kept in the store: "/7010" PPPoE settings and address,
// "/7011" set them, "/7020" dynamic DNS settings, "/7021" set them, "/7094"
// dynamic DNS state from the core, "/7030" e-mail settings, "/7031" set
// them, "/7032" test mail, "/7033" multicast settings, "/7034" set them,
// "/7090" SNMP settings and the service ports, "/7091" set them.
#include <cstring>

#include "core/account_scope.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/event_actions.h"
#include "core/port_record.h"
#include "handlers/network/network.h"
#include "platform/netutil.h"

namespace {
// A port under the first key present of two: read strictly within
// 0..65535; neither present keeps *out.
bool take_port(json_object* r, const char* key, const char* other_key, int32_t* out) {
  const char* k = json_has(r, key) ? key : other_key;
  if (!json_has(r, k)) return true;
  return json_strict_int_in(r, k, 0, 65535, out);
}

// One record (id 0) of a family; a record never written reads as zeros.
template <typename T>
int read_one(const char* db, const char* family, T* rec) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  return zrdb_read_record(db, family, 0, rec, sizeof *rec) < 0 ? -1 : 0;
}
template <typename T>
int write_one(const char* db, const char* family, const T* rec) {
  if (!rec) return -1;
  return zrdb_write_record(db, family, 0, rec, sizeof *rec) == 0 ? 0 : -1;
}
}  // namespace

// ---- Store operations ---------------------------------------------------------------

int read_pppoe(const char* db, PppoeRecord* rec) {
  const int rc = read_one(db, "pppoe", rec);
  if (rc == 0) {
    rec->userName[sizeof rec->userName - 1] = '\0';
    rec->password[sizeof rec->password - 1] = '\0';
  }
  return rc;
}
int write_pppoe(const char* db, const PppoeRecord* rec) { return write_one(db, "pppoe", rec); }
int read_ddns(const char* db, DdnsRecord* rec) { return read_one(db, "ddns", rec); }
int write_ddns(const char* db, const DdnsRecord* rec) { return write_one(db, "ddns", rec); }
int read_email(const char* db, EmailRecord* rec) { return read_one(db, "email", rec); }
int write_email(const char* db, const EmailRecord* rec) { return write_one(db, "email", rec); }
int read_snmp(const char* db, SnmpRecord* rec) { return read_one(db, "snmp", rec); }
int write_snmp(const char* db, const SnmpRecord* rec) { return write_one(db, "snmp", rec); }
int read_multicast(const char* db, MulticastRecord* rec) { return read_one(db, "multicast", rec); }
int write_multicast(const char* db, const MulticastRecord* rec) { return write_one(db, "multicast", rec); }

// ---- PPPoE ------------------------------------------------------------------------

void on_get_pppoe_info(char*) {
  PppoeRecord rec;
  if (read_pppoe(ZRDB_PATH, &rec) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  char addr[16] = {};
  if (net_get_ifaddr("ppp0", addr, sizeof addr) != 0 || !addr[0]) std::strcpy(addr, "0.0.0.0");
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "enable", rec.enable);
  json_add_int(out.get(), "autoConnect", rec.autoConnect);
  json_add_field(out.get(), "userName", rec.userName);
  json_add_text(out.get(), "password", reply_secret(rec.password));
  json_add_text(out.get(), "pppoeipaddr", addr);
  cgi_write_json(out.get());
}

void on_set_pppoe_info(char* text) {
  JsonPtr req(parse_request(text));
  if (!req) return;
  json_object* r = req.get();
  PppoeRecord rec;
  std::memset(&rec, 0, sizeof rec);
  if (!json_strict_int_in(r, "enable", 0, 1, &rec.enable) || !json_plain_int(r, "autoConnect", &rec.autoConnect) ||
      !json_texts_readable(r, {"userName", "password"}))
    return;
  json_get_text(r, "userName", rec.userName);
  json_get_text(r, "password", rec.password);
  if (!clean_field(rec.userName) || !clean_field(rec.password)) return;
  if (secret_kept(r, "password")) {
    PppoeRecord stored;
    if (read_pppoe(ZRDB_PATH, &stored) != 0) {
      cgi_error_to_webserver(CGI_KIND_TEXT);
      return;
    }
    std::memcpy(rec.password, stored.password, sizeof rec.password);
  }
  if (write_pppoe(ZRDB_PATH, &rec) != 0) {
    CGI_LOG("PPPoE settings not stored");
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core_changed("pppoe");
  log_operation(LOG_SUB_SETTINGS, LOG_PARAM_PPPOE, 0);
  cgi_reply_ok();
}

// ---- Dynamic DNS ------------------------------------------------------------------

void on_get_ddns_info(char*) {
  DdnsRecord rec;
  if (read_ddns(ZRDB_PATH, &rec) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  char mac0[18] = {}, mac1[18] = {};
  get_mac_addr(mac0, mac1);
  JsonPtr out(json_object_new_object());
  json_object* o = out.get();
  json_add_int(o, "enable", rec.enable);
  json_add_field(o, "domain", rec.domain);
  json_add_field(o, "userName", rec.userName);
  json_add_text(o, "password", reply_secret(rec.password));
  json_add_field(o, "hostName", rec.hostName);
  json_add_field(o, "ddnsurl", rec.ddnsurl);
  json_add_text(o, "freeDNSHash", reply_secret(rec.freeDNSHash));
  json_add_int(o, "updateFreq", rec.updateFreq);
  json_add_int(o, "http_port", rec.http_port);
  json_add_int(o, "rtsp_port", rec.rtsp_port);
  json_add_field(o, "mac", mac0);
  cgi_write_json(o);
}

void on_set_ddns_info(char* text) {
  JsonPtr req(parse_request(text));
  if (!req) return;
  json_object* r = req.get();
  // The ports the page names "http" and "rtsp"; the getter's own names
  // "http_port" and "rtsp_port" are taken too, so its answer posted back
  // keeps them. Neither present: the stored port stays.
  ZrdbTransaction txn(ZRDB_PATH);
  DdnsRecord stored;
  if (!txn.ok() || read_ddns(ZRDB_PATH, &stored) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  DdnsRecord rec;
  std::memset(&rec, 0, sizeof rec);
  rec.http_port = stored.http_port;
  rec.rtsp_port = stored.rtsp_port;
  if (!json_strict_int_in(r, "enable", 0, 1, &rec.enable) ||
      !json_strict_int_in(r, "updateFreq", 0, INT32_MAX, &rec.updateFreq) ||
      !take_port(r, "http", "http_port", &rec.http_port) || !take_port(r, "rtsp", "rtsp_port", &rec.rtsp_port) ||
      !json_texts_readable(r, {"domain", "userName", "password", "hostName", "ddnsurl", "freeDNSHash"}))
    return;
  json_get_text(r, "domain", rec.domain);
  json_get_text(r, "userName", rec.userName);
  json_get_text(r, "password", rec.password);
  json_get_text(r, "hostName", rec.hostName);
  json_get_text(r, "ddnsurl", rec.ddnsurl);
  json_get_text(r, "freeDNSHash", rec.freeDNSHash);
  if (!clean_field(rec.domain) || !clean_field(rec.userName) || !clean_field(rec.password) ||
      !clean_field(rec.hostName) || !clean_field(rec.ddnsurl) || !clean_field(rec.freeDNSHash))
    return;
  // Secrets the account may not read, posted back empty, stay as stored.
  if (secret_kept(r, "password")) std::memcpy(rec.password, stored.password, sizeof rec.password);
  if (secret_kept(r, "freeDNSHash")) std::memcpy(rec.freeDNSHash, stored.freeDNSHash, sizeof rec.freeDNSHash);
  if (write_ddns(ZRDB_PATH, &rec) != 0 || txn.commit() != 0) {
    CGI_LOG("dynamic DNS settings not stored");
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core_changed("ddns");
  log_operation(LOG_SUB_SETTINGS, LOG_PARAM_DDNS, 0);
  cgi_reply_ok();
}

int on_get_ddns_status_cb(const uint8_t* data, size_t) {
  int32_t status = 0;
  std::memcpy(&status, data, sizeof status);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "status", status);
  cgi_write_json(out.get());
  return 1;
}

void on_get_ddns_status(char*) {
  cgi_ipc_exchange(on_network_ipc_callback, REQ_DDNS_STATUS, nullptr, 0, CGI_KIND_JSON);
}

// ---- E-mail -----------------------------------------------------------------------

void on_get_email_info(char*) {
  EmailRecord rec;
  PortRecord port;
  std::memset(&port, 0, sizeof port);
  if (read_email(ZRDB_PATH, &rec) != 0 || read_port(ZRDB_PATH, &port, PORT_RECORD_ID) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr out(json_object_new_object());
  json_object* o = out.get();
  json_add_int(o, "enable", rec.enable);
  json_add_field(o, "userName", rec.userName);
  json_add_text(o, "password", reply_secret(rec.password));
  json_add_field(o, "smtpServer", rec.smtpServer);
  json_add_int(o, "smtpPort", rec.smtpPort);
  json_add_field(o, "senderAddr", rec.senderAddr);
  json_add_field(o, "senderName", rec.senderName);
  json_add_int(o, "enableTls", rec.enableTls);
  json_add_int(o, "enableAttach", rec.enableAttach);
  json_add_int(o, "captureInterval", rec.captureInterval);
  json_add_int(o, "enableHostName", port.enableHostName);
  json_add_field(o, "hostName", port.hostName);
  json_object* arr = json_object_new_array();
  for (const EmailReceiver& rcv : rec.receivers) {
    json_object* e = json_object_new_object();
    json_add_field(e, "receiverAddr", rcv.receiverAddr);
    json_add_field(e, "receiverName", rcv.receiverName);
    json_object_array_add(arr, e);
  }
  json_object_object_add(o, "receivers", arr);
  cgi_write_json(o);
}

void on_set_email_info(char* text) {
  JsonPtr req(parse_request(text));
  if (!req) return;
  json_object* r = req.get();
  int32_t smtp_port = 0, tls = 0, attach = 0, interval = 0;
  if (!json_strict_int_in(r, "smtpPort", 0, INT32_MAX, &smtp_port) || !json_strict_int_in(r, "enableTls", 0, 2, &tls) ||
      !json_strict_int_in(r, "enableAttach", 0, 1, &attach) ||
      !json_strict_int_in(r, "captureInterval", 0, INT32_MAX, &interval))
    return;
  // Read, change and write in one transaction: a save of other fields at
  // the same moment is never overwritten with what this one read.
  ZrdbTransaction txn(ZRDB_PATH);
  EmailRecord rec;
  PortRecord port;
  std::memset(&port, 0, sizeof port);
  if (!txn.ok() || read_email(ZRDB_PATH, &rec) != 0 || read_port(ZRDB_PATH, &port, PORT_RECORD_ID) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  // Keys the page leaves out keep their stored values.
  if (json_int_member(r, "enable", &rec.enable) == JSON_INT_BAD ||
      json_int_member(r, "enableHostName", &port.enableHostName) == JSON_INT_BAD ||
      !json_texts_readable(r, {"userName", "password", "smtpServer", "senderName", "senderAddr", "hostName"}))
    return;
  rec.smtpPort = smtp_port;
  rec.enableTls = tls;
  rec.enableAttach = attach;
  rec.captureInterval = interval;
  json_take_text(r, "userName", rec.userName);
  if (!secret_kept(r, "password")) json_take_text(r, "password", rec.password);
  json_take_text(r, "smtpServer", rec.smtpServer);
  json_take_text(r, "senderName", rec.senderName);
  json_take_text(r, "senderAddr", rec.senderAddr);
  json_object* receivers = json_array_member(r, "receivers");
  const size_t n = json_array_size(receivers);
  for (size_t i = 0; i < EMAIL_RECEIVERS && i < n; ++i) {
    json_object* e = json_array_at(receivers, i);
    if (!json_object_is_type(e, json_type_object)) continue;
    if (!json_texts_readable(e, {"receiverName", "receiverAddr"})) return;
    json_take_text(e, "receiverName", rec.receivers[i].receiverName);
    json_take_text(e, "receiverAddr", rec.receivers[i].receiverAddr);
  }
  json_take_text(r, "hostName", port.hostName);
  bool clean = clean_field(rec.userName) && clean_field(rec.password) && clean_field(rec.smtpServer) &&
               clean_field(rec.senderName) && clean_field(rec.senderAddr) && clean_field(port.hostName);
  for (const EmailReceiver& rcv : rec.receivers)
    clean = clean && clean_field(rcv.receiverName) && clean_field(rcv.receiverAddr);
  if (!clean) return;

  if (write_email(ZRDB_PATH, &rec) != 0 || write_port(ZRDB_PATH, &port, PORT_RECORD_ID) != 0 ||
      txn.commit() != 0) {
    CGI_LOG("e-mail settings not stored");
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core_changed("mail");
  log_operation(LOG_SUB_SETTINGS, LOG_PARAM_EMAIL, 0);
  cgi_reply_ok();
}

int on_test_email_cb(const uint8_t* data, size_t) {
  int32_t result = 0;
  std::memcpy(&result, data, sizeof result);
  cgi_writeback_webserver(CGI_KIND_TEXT, result == 0 ? "OK" : "ERROR");
  return 1;
}

void on_test_email(char*) {
  char what[32] = "testmail";
  cgi_ipc_exchange(on_network_ipc_callback, REQ_TEST_MAIL, what, sizeof what, CGI_KIND_TEXT);
}

// ---- Multicast ----------------------------------------------------------------------

void on_cgi_get_multicast(char*) {
  MulticastRecord rec;
  if (read_multicast(ZRDB_PATH, &rec) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "enable", rec.enable);
  json_add_field(out.get(), "ip", rec.ip);
  cgi_write_json(out.get());
}

int on_cgi_set_multicast_cb(const uint8_t* data, size_t) {
  int32_t res = 0;
  std::memcpy(&res, data, sizeof res);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "res", res);
  cgi_write_json(out.get());
  return 1;
}

void on_cgi_set_multicast(char* text) {
  JsonPtr req(parse_request(text));
  // Read, change and write in one transaction, committed before the core
  // is asked: a save at the same moment is never overwritten.
  ZrdbTransaction txn(ZRDB_PATH);
  MulticastRecord rec;
  if (!req || !txn.ok() || read_multicast(ZRDB_PATH, &rec) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  json_object* r = req.get();
  if (json_int_member(r, "enable", &rec.enable) == JSON_INT_BAD || !json_texts_readable(r, {"ip"})) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  json_take_text(r, "ip", rec.ip);
  if (!clean_field(rec.ip)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  // The settings are stored before the core is told.
  if (write_multicast(ZRDB_PATH, &rec) != 0 || txn.commit() != 0) {
    CGI_LOG("multicast settings not stored");
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_network_ipc_callback, REQ_MULTICAST_SET, &rec, sizeof rec, CGI_KIND_JSON);
}

// ---- SNMP -------------------------------------------------------------------------

namespace {
// The SNMP keys in record order: a text field (64 bytes) or an int32.
struct SnmpKey {
  const char* key;
  size_t offset;
  bool text;
  bool secret;  // communities and passwords: administrators only
};
#define SNMP_INT(f) {#f, offsetof(SnmpRecord, f), false, false}
#define SNMP_TEXT(f) {#f, offsetof(SnmpRecord, f), true, false}
#define SNMP_SECRET(f) {#f, offsetof(SnmpRecord, f), true, true}
const SnmpKey kSnmpKeys[] = {
    SNMP_INT(v1_enable),           SNMP_INT(v2c_enable),           SNMP_SECRET(write_community),
    SNMP_SECRET(read_community),   SNMP_INT(v3_enable),            SNMP_TEXT(read_security_name),
    SNMP_INT(read_level_security), SNMP_INT(read_auth_algorithm),  SNMP_SECRET(read_auth_password),
    SNMP_INT(read_pri_algorithm),  SNMP_SECRET(read_pri_password), SNMP_TEXT(write_security_name),
    SNMP_INT(write_level_security), SNMP_INT(write_auth_algorithm), SNMP_SECRET(write_auth_password),
    SNMP_INT(write_pri_algorithm), SNMP_SECRET(write_pri_password), SNMP_INT(port),
};
#undef SNMP_INT
#undef SNMP_TEXT
#undef SNMP_SECRET
constexpr size_t kSnmpText = 64;
}  // namespace

void on_get_snmp_info(char*) {
  SnmpRecord rec;
  PortRecord port;
  std::memset(&port, 0, sizeof port);
  if (read_snmp(ZRDB_PATH, &rec) != 0 || read_port(ZRDB_PATH, &port, PORT_RECORD_ID) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  const char* base = reinterpret_cast<const char*>(&rec);
  JsonPtr out(json_object_new_object());
  json_object* o = out.get();
  for (const SnmpKey& k : kSnmpKeys) {
    if (k.text) {
      const std::string_view value(base + k.offset, strnlen(base + k.offset, kSnmpText - 1));
      json_add_text(o, k.key, k.secret ? reply_secret(value) : value);
    } else {
      int32_t v = 0;
      std::memcpy(&v, base + k.offset, sizeof v);
      json_add_int(o, k.key, v);
    }
  }
  json_add_int(o, "sshPort", port.sshPort);
  json_add_int(o, "httpPort", port.httpPort);
  json_add_int(o, "rtspPort", port.rtspPort);
  json_add_int(o, "httpsPort", port.httpsPort);
  cgi_write_json(o);
}

void on_set_snmp_info(char* text) {
  JsonPtr req(parse_request(text));
  if (!req) return;
  json_object* r = req.get();
  // The port check compares with the stored record: read it in the write
  // transaction, so that it is the record this save replaces.
  ZrdbTransaction txn(ZRDB_PATH);
  SnmpRecord old_rec;
  if (!txn.ok() || read_snmp(ZRDB_PATH, &old_rec) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  // The port is required: an SNMP agent without one cannot start.
  SnmpRecord rec;
  std::memset(&rec, 0, sizeof rec);
  char* base = reinterpret_cast<char*>(&rec);
  for (const SnmpKey& k : kSnmpKeys) {
    if (k.text) {
      if (json_text_member(r, k.key, nullptr) == JSON_TEXT_BAD) return;
      json_get_text(r, k.key, base + k.offset, kSnmpText);
      if (!clean_text(base + k.offset, kSnmpText)) return;
      if (k.secret && secret_kept(r, k.key))
        std::memcpy(base + k.offset, reinterpret_cast<const char*>(&old_rec) + k.offset, kSnmpText);
    } else {
      int32_t v = 0;
      if (!json_plain_int(r, k.key, &v)) return;
      std::memcpy(base + k.offset, &v, sizeof v);
    }
  }
  if (!json_has(r, "port") || rec.port < 0 || rec.port > 65535) return;
  if (!port_change_ok(old_rec.port, rec.port, poe_last_port())) {
    cgi_writeback_webserver(CGI_KIND_TEXT, "POE_Port_Error");
    return;
  }
  if (write_snmp(ZRDB_PATH, &rec) != 0 || txn.commit() != 0) {
    CGI_LOG("SNMP settings not stored");
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core_changed("snmp");
  cgi_reply_ok();
}
