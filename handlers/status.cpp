// Device, channel, disk and network status: live figures the core daemon
// keeps (interfaces, traffic, memory use, channel support, logged-in users)
// turned into the status pages' JSON.
// Request table whose first name is "/8000".
#include <json-c/json.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_util.h"
#include "core/cgi_reply.h"
#include "core/disk_records.h"
#include "handlers/modules.h"

namespace {

constexpr int REQ_CHANNEL_SUPPORT = 3263;
constexpr int REQ_NETIF_STATUS = 3301;
constexpr int REQ_NETIF_SPEED = 3302;
constexpr int REQ_USAGE_STATUS = 3306;
constexpr int REQ_ONLINE_USERS = 1719;

constexpr int REPLY_CHANNEL_SUPPORT = 8263;
constexpr int REPLY_NETIF_STATUS = 8301;
constexpr int REPLY_NETIF_SPEED = 8302;
constexpr int REPLY_USAGE_STATUS = 8306;
constexpr int REPLY_ONLINE_USERS = 6719;

// ---- Core daemon records ------------------------------------------------------------

struct NetifState {
  char ifname[12];
  int32_t id;
  int32_t state;
  int32_t speedMode;
  int32_t duplex;
  int32_t enable;
  int32_t dhcpEnable;
  char ipAddr[24];
  char MAC[24];
  char primaryDNS[24];
  char secondDNS[24];
  char gateway[24];
  char netmask[24];
  int32_t mtu;
  uint8_t ip6mode;
  char ip6address[67];
  int32_t ip6prefix;
  char ip6gateway[64];
};
static_assert(sizeof(NetifState) == 320, "interface state is 320 bytes");
static_assert(offsetof(NetifState, ipAddr) == 36, "ipAddr at 36");
static_assert(offsetof(NetifState, netmask) == 156, "netmask at 156");
static_assert(offsetof(NetifState, mtu) == 180, "mtu at 180");
static_assert(offsetof(NetifState, ip6address) == 185, "ip6address at 185");
static_assert(offsetof(NetifState, ip6prefix) == 252, "ip6prefix at 252");
static_assert(offsetof(NetifState, ip6gateway) == 256, "ip6gateway at 256");

struct NetifSpeed {
  char ifname[12];
  int32_t RxSpeed;
  int32_t TxSpeed;
  int32_t id;
};
static_assert(sizeof(NetifSpeed) == 24, "interface traffic is 24 bytes");

struct UsageFigures {
  int32_t total;
  int32_t free;
  int32_t used;
};
static_assert(sizeof(UsageFigures) == 12, "usage figures are 12 bytes");

constexpr int SUPPORT_ENTRIES = 64;
struct SupportEntry {
  int32_t reserved;
  int32_t support;
  int32_t type;
  uint8_t rest[32];
};
static_assert(sizeof(SupportEntry) == 44, "support entry is 44 bytes");
constexpr size_t SUPPORT_REPLY_SIZE = SUPPORT_ENTRIES * sizeof(SupportEntry);
static_assert(SUPPORT_REPLY_SIZE == 2816, "support reply is 2816 bytes");

struct OnlineUser {
  char userName[64];
  int32_t userLevel;
  char ipaddr[64];
  char loginTime[20];
};
static_assert(sizeof(OnlineUser) == 152, "logged-in user is 152 bytes");
static_assert(offsetof(OnlineUser, ipaddr) == 68, "ipaddr at 68");
static_assert(offsetof(OnlineUser, loginTime) == 132, "loginTime at 132");

template <typename T>
T record_at(const uint8_t* data, size_t i) {
  T rec;
  std::memcpy(&rec, data + i * sizeof(T), sizeof rec);
  return rec;
}

int write_json(json_object* obj) {
  JsonPtr owner(obj);
  cgi_write_json(obj);
  return 1;
}

// {"netif": [...]} with one element per whole record of the reply.
template <typename T, typename Fill>
int write_netif_list(const uint8_t* data, size_t len, Fill fill) {
  json_object* out = json_object_new_object();
  json_object* list = json_object_new_array();
  const size_t n = len / sizeof(T);
  for (size_t i = 0; i < n; ++i) {
    json_object* e = json_object_new_object();
    fill(e, record_at<T>(data, i));
    json_object_array_add(list, e);
  }
  json_object_object_add(out, "netif", list);
  return write_json(out);
}

// ---- Reply writers ------------------------------------------------------------------

int on_netif_status_cb(const uint8_t* data, size_t len) {
  return write_netif_list<NetifState>(data, len, [](json_object* e, const NetifState& s) {
    json_add_field(e, "ifname", s.ifname);
    json_add_int(e, "id", s.id);
    json_add_int(e, "state", s.state);
    json_add_int(e, "speedMode", s.speedMode);
    json_add_int(e, "duplex", s.duplex);
    json_add_int(e, "enable", s.enable);
    json_add_int(e, "dhcpEnable", s.dhcpEnable);
    json_add_field(e, "ipAddr", s.ipAddr);
    json_add_field(e, "MAC", s.MAC);
    json_add_field(e, "primaryDNS", s.primaryDNS);
    json_add_field(e, "secondDNS", s.secondDNS);
    json_add_field(e, "gateway", s.gateway);
    json_add_field(e, "netmask", s.netmask);
    json_add_int(e, "mtu", s.mtu);
    json_add_int(e, "ip6mode", s.ip6mode);
    json_add_field(e, "ip6address", s.ip6address);
    json_add_int(e, "ip6prefix", s.ip6prefix);
    json_add_field(e, "ip6gateway", s.ip6gateway);
  });
}

int on_netif_speed_cb(const uint8_t* data, size_t len) {
  return write_netif_list<NetifSpeed>(data, len, [](json_object* e, const NetifSpeed& s) {
    json_add_int(e, "id", s.id);
    json_add_field(e, "ifname", s.ifname);
    json_add_int(e, "RxSpeed", s.RxSpeed);
    json_add_int(e, "TxSpeed", s.TxSpeed);
  });
}

int on_usage_status_cb(const uint8_t* data, size_t) {
  const UsageFigures u = record_at<UsageFigures>(data, 0);
  json_object* out = json_object_new_object();
  json_add_int(out, "total", u.total);
  json_add_int(out, "free", u.free);
  json_add_int(out, "used", u.used);
  return write_json(out);
}

int on_channel_support_cb(const uint8_t* data, size_t) {
  char support[SUPPORT_ENTRIES + 1];
  char type[SUPPORT_ENTRIES + 1];
  for (int c = 0; c < SUPPORT_ENTRIES; ++c) {
    const SupportEntry e = record_at<SupportEntry>(data, static_cast<size_t>(c));
    support[c] = e.support == 1 ? '1' : '0';
    type[c] = e.type == 1 ? '1' : e.type == 2 ? '2' : '0';
  }
  support[SUPPORT_ENTRIES] = type[SUPPORT_ENTRIES] = '\0';
  json_object* out = json_object_new_object();
  json_add_text(out, "support", support);
  json_add_text(out, "type", type);
  return write_json(out);
}

int on_online_users_cb(const uint8_t* data, size_t len) {
  json_object* list = json_object_new_array();
  const size_t n = len / sizeof(OnlineUser);
  for (size_t i = 0; i < n; ++i) {
    const OnlineUser u = record_at<OnlineUser>(data, i);
    json_object* e = json_object_new_object();
    json_add_field(e, "userName", u.userName);
    json_add_int(e, "userLevel", u.userLevel);
    json_add_field(e, "ipaddr", u.ipaddr);
    json_add_field(e, "loginTime", u.loginTime);
    json_object_array_add(list, e);
  }
  return write_json(list);
}

}  // namespace

void on_status_ipc_callback(void* ctx, void* header, void* payload);

namespace {

// ---- Handlers -----------------------------------------------------------------------
// Each getter sends its request without payload and waits for the reply.

void ask_core(int req_id) { cgi_ipc_exchange(on_status_ipc_callback, req_id, nullptr, 0, CGI_KIND_JSON); }

void on_get_netif_status(char*) { ask_core(REQ_NETIF_STATUS); }
void on_get_netif_speed(char*) { ask_core(REQ_NETIF_SPEED); }
void on_status_placeholder(char*) {}
// Ends a running capture. Run in the foreground so the capture has ended
// when the page is told "OK".
void on_stop_packet_capture(char*) {
  web_system("killall tcpdump > /dev/null");
  cgi_reply_ok();
}
void on_get_usage_status(char*) { ask_core(REQ_USAGE_STATUS); }
void on_get_channel_support(char*) { ask_core(REQ_CHANNEL_SUPPORT); }
void on_cgi_get_online_user_status(char*) { ask_core(REQ_ONLINE_USERS); }

// Disk groups come from the database alone: no core request.
void on_get_disk_group_status(char*) {
  DiskGroupView view{};
  read_disk_group_view(&view);
  json_object* out = json_object_new_object();
  add_disk_group_view(out, view);
  write_json(out);
}

const CgiReplyRow kStatusReplies[] = {
    {REPLY_NETIF_STATUS, 0, CGI_KIND_JSON, on_netif_status_cb},
    {REPLY_NETIF_SPEED, 0, CGI_KIND_JSON, on_netif_speed_cb},
    {REPLY_USAGE_STATUS, sizeof(UsageFigures), CGI_KIND_JSON, on_usage_status_cb},
    {REPLY_CHANNEL_SUPPORT, SUPPORT_REPLY_SIZE, CGI_KIND_JSON, on_channel_support_cb},
    {REPLY_ONLINE_USERS, 0, CGI_KIND_JSON, on_online_users_cb},
};

const WebRes kStatusTable[] = {
    {"/8000", on_get_netif_status},
    {"/8001", on_get_netif_speed},
    {"/8004", on_status_placeholder},
    {"/8006", on_stop_packet_capture},
    {"/8008", on_get_usage_status},
    {"/8009", on_get_channel_support},
    {"/8010", on_get_disk_group_status},
    {"/8011", on_cgi_get_online_user_status},
};

}  // namespace

void on_status_ipc_callback(void*, void* header, void* payload) {
  cgi_dispatch_reply(kStatusReplies, header, payload);
}

NVR_DEFINE_MODULE(status, kStatusTable)
