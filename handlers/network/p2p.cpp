// P2P cloud service: "/7060" P2P state from the core, "/7061" enable or
// disable P2P, "/7062" register the recorder with the P2P server, "/7095"
// unbind the recorder from its cloud account.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "handlers/network/network.h"
#include "platform/p2p.h"

namespace {
// The registration server: the stored "p2p_server" setting ("host" or
// "host:port"), else this one; the port is 9999 unless the setting names one.
constexpr char kP2pServerKey[] = "p2p_server";
constexpr char kP2pServerDefault[] = "p2p-register.local";
constexpr int kP2pServerPort = 9999;
constexpr char kP2pKeyFile[] = "/mnt/nand/app/p2p_client.key";
constexpr int32_t kP2pRegisterType = 2;
// The whole registration, connect to last byte, ends within this time
// (NVR_P2P_TIMEOUT_MS shortens it for tests).
constexpr int kP2pTimeoutMs = 10000;
// The server's message after a successful registration: at most this many
// bytes are taken, of which the first 128 are the text for the core.
constexpr int kP2pAnswerMax = 1024;
constexpr size_t kP2pTextMax = 128;

const char* p2p_result_text(int32_t result) {
  switch (result) {
    case 0: return "ERR_OK";
    case 2: return "ERR_NOTFOUND";
    case 3: return "ERR_NETWORK";
    case 5: return "ERR_MAC_FORMAT";
    case 6: return "ERR_AUTH_FAILED";
    case 7: return "ERR_NO_UUID";
    default: return "ERR_UNKNOWN";
  }
}

int32_t first_int(const uint8_t* data) {
  int32_t v = 0;
  std::memcpy(&v, data, sizeof v);
  return v;
}

int p2p_timeout_ms() {
  const char* v = std::getenv("NVR_P2P_TIMEOUT_MS");
  int ms = 0;
  if (v && parse_int_strict(v, &ms) && ms > 0 && ms < kP2pTimeoutMs) return ms;
  return kP2pTimeoutMs;
}

// Host and port of the registration server; false for a setting that names
// no usable host or port.
bool p2p_server(std::string* host, int* port) {
  char buf[128] = {};
  get_param_value(ZRDB_PATH, kP2pServerKey, buf, sizeof buf, kP2pServerDefault);
  std::string s = buf;
  *port = kP2pServerPort;
  const size_t colon = s.rfind(':');
  if (colon != std::string::npos) {
    if (!parse_int_strict(s.substr(colon + 1), port) || *port <= 0 || *port > 65535) return false;
    s.erase(colon);
  }
  if (s.empty()) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-')) return false;
  *host = s;
  return true;
}

class Deadline {
 public:
  explicit Deadline(int ms) : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)) {}
  int left() const {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now()).count();
    return ms > 0 ? static_cast<int>(ms) : 0;
  }

 private:
  std::chrono::steady_clock::time_point end_;
};

// One registration on a connected socket; the answer of "/7062". A text
// the server hands back goes into *text.
int register_on(int fd, const P2pRegisterBody& body, const Deadline& deadline, std::string* text) {
  const std::string key = nvr_path(kP2pKeyFile);
  if (p2p_create_keyfile(key.c_str()) != 0 || p2p_cli_switch_keyfile(key.c_str()) != 0) return P2P_REG_KEYFILE;

  P2pMsgHeader head;
  std::memset(&head, 0, sizeof head);
  head.type = kP2pRegisterType;
  head.size = rsa_cal_ensize(sizeof body);
  head.version = 1;
  if (p2p_send(fd, &head, sizeof head, deadline.left()) != 0 || p2p_send(fd, &body, sizeof body, deadline.left()) != 0)
    return P2P_REG_NETWORK;

  P2pMsgHeader answer;
  std::memset(&answer, 0, sizeof answer);
  if (p2p_recv(fd, &answer, sizeof answer, rsa_cal_ensize(sizeof answer), deadline.left()) != sizeof answer)
    return P2P_REG_NETWORK;
  // Only an explicit 0 means registered; any other result is a refusal.
  if (answer.result != 0) return P2P_REG_REFUSED;
  if (answer.size <= 0 || answer.size > rsa_cal_ensize(kP2pAnswerMax) || answer.size % P2P_BLOCK_SIZE)
    return P2P_REG_NETWORK;
  char msg[kP2pAnswerMax] = {};
  const int n = p2p_recv(fd, msg, sizeof msg, answer.size, deadline.left());
  if (n <= 0) return P2P_REG_NETWORK;
  const size_t len = strnlen(msg, static_cast<size_t>(n) < kP2pTextMax ? static_cast<size_t>(n) : kP2pTextMax);
  // The text goes on to the core's settings: an empty or unclean one is no answer.
  if (len == 0 || !clean_text(msg, len)) return P2P_REG_NETWORK;
  text->assign(msg, len);
  return P2P_REG_OK;
}
}  // namespace

int read_p2p_info(const char* db, P2pRecord* rec) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  return zrdb_read_record(db, "p2p", 0, rec, sizeof *rec) < 0 ? -1 : 0;
}

int write_p2p_info(const char* db, const P2pRecord* rec) {
  if (!rec) return -1;
  return zrdb_write_record(db, "p2p", 0, rec, sizeof *rec) == 0 ? 0 : -1;
}

// ---- State --------------------------------------------------------------------------

int on_get_p2p_info_cb(const uint8_t* data, size_t) {
  P2pStatus st;
  std::memcpy(&st, data, sizeof st);
  JsonPtr out(json_object_new_object());
  json_object* o = out.get();
  json_add_int(o, "enable", st.enable);
  json_add_field(o, "company", st.company);
  json_add_field(o, "email", st.email);
  json_add_int(o, "p2pstatus", st.p2pstatus);
  json_add_field(o, "cloudAccount", st.cloudAccount);
  json_add_field(o, "registerCode", st.registerCode);
  json_add_field(o, "dealer", st.dealer);
  json_add_field(o, "model", st.model);
  json_add_field(o, "ipc", st.ipc);
  json_add_field(o, "cloudServer", st.cloudServer);
  json_add_int(o, "region", st.region);
  cgi_write_json(o);
  return 1;
}

void on_get_p2p_info(char*) {
  cgi_ipc_exchange(on_network_ipc_callback, REQ_P2P_STATUS, nullptr, 0, CGI_KIND_JSON);
}

// ---- Enable and disable -----------------------------------------------------------------

int on_set_p2p_enable_cb(const uint8_t* data, size_t) {
  cgi_writeback_webserver(CGI_KIND_TEXT, p2p_result_text(first_int(data)));
  return 1;
}

int on_set_p2p_disable_cb(const uint8_t* data, size_t) {
  cgi_writeback_webserver(CGI_KIND_TEXT, first_int(data) == 0 ? "OK" : "ERR");
  return 1;
}

void on_set_p2p_info(char* text) {
  JsonPtr req(parse_request(text));
  if (!req) return;
  int32_t enable = 0, region = 0;
  if (!json_strict_int_in(req.get(), "enableP2P", 0, 1, &enable) || !json_plain_int(req.get(), "region", &region))
    return;
  P2pRecord rec;
  if (enable) {
    // The core stores the record once the service runs.
    std::memset(&rec, 0, sizeof rec);
    rec.enable = 1;
    rec.region = region;
    cgi_ipc_exchange(on_network_ipc_callback, REQ_P2P_ENABLE, &rec, sizeof rec, CGI_KIND_TEXT);
    return;
  }
  // Read and write in one transaction, committed before the core is asked.
  ZrdbTransaction txn(ZRDB_PATH);
  if (!txn.ok() || read_p2p_info(ZRDB_PATH, &rec) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  rec.enable = 0;
  rec.region = region;
  if (write_p2p_info(ZRDB_PATH, &rec) != 0 || txn.commit() != 0) {
    CGI_LOG("P2P settings not stored");
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  cgi_ipc_exchange(on_network_ipc_callback, REQ_P2P_DISABLE, &rec, sizeof rec, CGI_KIND_TEXT);
}

// ---- Registration -----------------------------------------------------------------------

void on_test_p2p(char* text) {
  JsonPtr req(parse_request(text));
  if (!req || !json_texts_readable(req.get(), {"sn", "deviceName"})) return;
  char sn[65] = {}, name[33] = {};
  json_get_text(req.get(), "sn", sn);
  json_get_text(req.get(), "deviceName", name);
  if (std::strlen(sn) > 63 || std::strlen(name) > 31 || !clean_field(sn) || !clean_field(name)) return;
  P2pRecord rec;
  if (read_p2p_info(ZRDB_PATH, &rec) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  P2pRegisterBody body;
  std::memset(&body, 0, sizeof body);
  char mac0[18] = {}, mac1[18] = {};
  get_mac_addr(mac0, mac1);
  copy_field(body.mac, field_view(mac0));
  copy_field(body.deviceName, name);
  copy_field(body.sn, sn);
  std::memcpy(body.cloud1, rec.cloud1, sizeof body.cloud1);
  std::memcpy(body.cloud2, rec.cloud2, sizeof body.cloud2);
  std::memcpy(body.cloud3, rec.cloud3, sizeof body.cloud3);
  std::memcpy(body.cloud4, rec.cloud4, sizeof body.cloud4);

  const Deadline deadline(p2p_timeout_ms());
  std::string host;
  int port = 0;
  int result = P2P_REG_NETWORK;
  std::string answer;
  const int fd = socket_create();
  if (!p2p_server(&host, &port)) {
    CGI_LOG("P2P server setting unusable");
  } else if (fd >= 0 && socket_connect(fd, host.c_str(), port, deadline.left()) == 0) {
    result = register_on(fd, body, deadline, &answer);
  }
  socket_destroy(fd);
  if (result == P2P_REG_OK) notify_core(REQ_P2P_ENABLE, answer.data(), static_cast<int>(answer.size()));
  char out[16];
  std::snprintf(out, sizeof out, "%d", result);
  cgi_writeback_webserver(CGI_KIND_TEXT, out);
}

// ---- Unbinding --------------------------------------------------------------------------

int on_cgi_p2p_unbind_device_cb(const uint8_t* data, size_t) {
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "res", first_int(data));
  cgi_write_json(out.get());
  return 1;
}

void on_cgi_p2p_unbind_device(char*) {
  cgi_ipc_exchange(on_network_ipc_callback, REQ_P2P_UNBIND, nullptr, 0, CGI_KIND_JSON);
}
