// The recorder's Ethernet ports, separate or bonded: "/7040" interface
// settings, "/7041" set them, "/7042" network mode, "/7043" restart
// networking, "/7044" first MAC address, "/7070" and "/7071" address
// conflict tests, "/7096" default route.
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/network_record.h"
#include "core/strutil.h"
#include "handlers/network/network.h"
#include "platform/netutil.h"

namespace {

// The request keys of one interface's settings.
struct IfaceKeys {
  const char* enable;
  const char* type;
  const char* ip;
  const char* mask;
  const char* gateway;
  const char* mtu;
  const char* dns1;
  const char* dns2;
  const char* mac;
  const char* ip6type;
  const char* ip6addr;
  const char* ip6mask;
  const char* ip6gateway;
};
const IfaceKeys kFirstPort = {"enableNetwork1", "networkType", "ipAddr", "netmask", "gateway", "mtu", "DNS1",
                              "DNS2", "macAddr", "ip6networkType", "ip6Addr", "ip6netmask", "ip6gateway"};
const IfaceKeys kSecondPort = {"enableNetwork2", "networkType2", "ipAddr2", "netmask2", "gateway2", "mtu2", "DNS12",
                               "DNS22", "macAddr2", "ip6networkType2", "ip6Addr2", "ip6netmask2", "ip6gateway2"};

// ---- Reading ---------------------------------------------------------------------

// IPv6 members of one interface: the stored ones when the address is set by
// hand (type 0, or type 1 with address and mask stored), else what the live
// interface has; a member the interface cannot give is left out.
void add_ipv6(json_object* out, const NetworkIface& n, const IfaceKeys& k, const char* live_name) {
  if (n.ip6networkType == 0 || (n.ip6networkType == 1 && n.ip6Addr[0] && n.ip6netmask[0])) {
    json_add_field(out, k.ip6addr, n.ip6Addr);
    json_add_field(out, k.ip6mask, n.ip6netmask);
    json_add_field(out, k.ip6gateway, n.ip6gateway);
    return;
  }
  char addr[64] = {}, mask[16] = {}, gw[64] = {};
  if (net_get_ipv6_ifaddr(n.ip6networkType == 1, live_name, addr, sizeof addr, mask, sizeof mask) == 0) {
    json_add_text(out, k.ip6addr, addr);
    json_add_text(out, k.ip6mask, mask);
  }
  if (net_get_ipv6_gateway2(0, live_name, gw, sizeof gw) == 0 || net_get_ipv6_gateway2(1, live_name, gw, sizeof gw) == 0)
    json_add_text(out, k.ip6gateway, gw);
}

void add_dns_mtu(json_object* out, const NetworkIface& n, const IfaceKeys& k) {
  json_add_field(out, k.dns1, n.dns1);
  json_add_field(out, k.dns2, n.dns2);
  json_add_int(out, k.mtu, n.mtu);
}

void add_address(json_object* out, const NetworkIface& n, const IfaceKeys& k) {
  json_add_int(out, k.enable, n.enable);
  json_add_int(out, k.type, n.networkType);
  json_add_field(out, k.ip, n.ipAddr);
  json_add_field(out, k.mask, n.netmask);
  json_add_field(out, k.gateway, n.gateway);
}

void add_bond_members(json_object* out, const NetworkRecord& rec, const char* mac) {
  const NetworkIface& n = rec.net[0];
  json_add_int(out, "primaryNet", rec.primaryNet);
  add_address(out, n, kFirstPort);
  json_add_text(out, kFirstPort.mac, mac);
  add_dns_mtu(out, n, kFirstPort);
  json_add_int(out, kFirstPort.ip6type, n.ip6networkType);
  add_ipv6(out, n, kFirstPort, "bond0");
}

void add_port_members(json_object* out, const NetworkIface& n, const IfaceKeys& k, const char* mac,
                      const char* live_name) {
  add_address(out, n, k);
  json_add_int(out, k.ip6type, n.ip6networkType);
  add_ipv6(out, n, k, live_name);
  json_add_text(out, k.mac, mac);
  add_dns_mtu(out, n, k);
}

// ---- Writing ----------------------------------------------------------------------

bool ipv4_chars(std::string_view s) { return s.find_first_not_of("0123456789.") == std::string_view::npos; }
bool ipv6_chars(std::string_view s) {
  return s.find_first_not_of("0123456789abcdefABCDEF:.") == std::string_view::npos;
}

// An interface name: letters, digits and ". _ - :" (aliases such as
// "eth0:1").
bool ifname_chars(std::string_view s) {
  return s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-:") ==
         std::string_view::npos;
}

// A member, when present, is a text holding only the characters the check
// allows (empty texts included); a number or list is refused.
bool member_chars_ok(json_object* req, const char* key, bool (*chars_ok)(std::string_view)) {
  std::string_view text;
  const JsonTextState st = json_text_member(req, key, &text);
  return st == JSON_TEXT_ABSENT || (st == JSON_TEXT_OK && chars_ok(text));
}

// Every address member present holds only the characters of its kind of
// address: what reaches the store is later written into the system's
// network configuration, and what the conflict tests send reaches the
// core's commands.
bool addresses_ok(json_object* req) {
  for (const IfaceKeys* k : {&kFirstPort, &kSecondPort}) {
    for (const char* key : {k->ip, k->mask, k->gateway, k->dns1, k->dns2})
      if (!member_chars_ok(req, key, ipv4_chars)) return false;
    for (const char* key : {k->ip6addr, k->ip6mask, k->ip6gateway})
      if (!member_chars_ok(req, key, ipv6_chars)) return false;
  }
  return true;
}

// The keys of one interface present in the request; the IPv6 gateway only
// when the address type (after this request) is not 2 (found by the
// interface itself). False when a number is not one.
bool take_iface(json_object* req, NetworkIface* n, const IfaceKeys& k) {
  bool ok = true;
  for (auto [key, field] : {std::pair{k.enable, &n->enable}, std::pair{k.type, &n->networkType},
                            std::pair{k.mtu, &n->mtu}, std::pair{k.ip6type, &n->ip6networkType}})
    ok &= json_int_member(req, key, field) != JSON_INT_BAD;
  json_take_text(req, k.ip, n->ipAddr);
  json_take_text(req, k.mask, n->netmask);
  json_take_text(req, k.gateway, n->gateway);
  json_take_text(req, k.dns1, n->dns1);
  json_take_text(req, k.dns2, n->dns2);
  json_take_text(req, k.ip6addr, n->ip6Addr);
  json_take_text(req, k.ip6mask, n->ip6netmask);
  if (n->ip6networkType != 2) json_take_text(req, k.ip6gateway, n->ip6gateway);
  return ok;
}

// ---- Reply writers -------------------------------------------------------------------
int32_t first_word(const void* payload) {
  int32_t v;
  std::memcpy(&v, payload, sizeof v);
  return v;
}

}  // namespace

void on_ip_conflict_cb(int count, const void* payload) {
  if (count < 1 || !payload)
    cgi_error_to_webserver(CGI_KIND_TEXT);
  else
    cgi_writeback_webserver(CGI_KIND_TEXT, first_word(payload) != 0 ? "-1" : "0");
  g_callback_done = 1;
}

void on_cgi_set_default_route_cb(int count, const void* payload) {
  if (count < 1 || !payload) {
    cgi_error_to_webserver(CGI_KIND_JSON);
  } else {
    JsonPtr out(json_object_new_object());
    json_add_int(out.get(), "res", first_word(payload));
    cgi_write_json(out.get());
  }
  g_callback_done = 1;
}

// ---- Handlers --------------------------------------------------------------------------

void on_get_network_info(char* text) {
  int mode = -1;
  if (!text || !parse_int_strict(text, &mode) || mode < 0 || mode > NETWORK_MODE_BOND_PRIMARY)
    mode = read_network_mode(ZRDB_PATH);
  if (mode < 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  char mac0[18] = {}, mac1[18] = {};
  get_mac_addr(mac0, mac1);

  NetworkRecord rec;
  const bool bond = network_mode_is_bond(mode);
  if ((bond ? read_network_bond(ZRDB_PATH, &rec) : read_network_muti(ZRDB_PATH, &rec)) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "mode", mode);
  json_add_field(out.get(), "hostName", rec.hostName);
  if (bond) {
    add_bond_members(out.get(), rec, mac0);
  } else {
    add_port_members(out.get(), rec.net[0], kFirstPort, mac0, "eth0");
    add_port_members(out.get(), rec.net[1], kSecondPort, mac1, "eth1");
  }
  json_add_int(out.get(), "defaultRoute", rec.defaultRoute);
  cgi_write_json(out.get());
}

void on_set_network_info(char* text) {
  JsonPtr req(parse_request(text));
  if (!req) return;
  // Read, change and write in one transaction: a save of other fields at
  // the same moment is kept.
  ZrdbTransaction txn(ZRDB_PATH);
  const int stored_mode = txn.ok() ? read_network_mode(ZRDB_PATH) : -1;
  if (stored_mode < 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  int32_t mode = stored_mode, conflict = 0, slave_clear = 0;
  if (json_has(req.get(), "mode") && !json_strict_int_in(req.get(), "mode", 0, NETWORK_MODE_BOND_PRIMARY, &mode)) return;
  if (json_int_member(req.get(), "Conflict", &conflict) == JSON_INT_BAD ||
      json_int_member(req.get(), "slaveClear", &slave_clear) == JSON_INT_BAD || !addresses_ok(req.get()))
    return;

  // The shape of the mode being saved: a switch to the other shape starts
  // from that shape's own stored settings.
  const bool bond = network_mode_is_bond(mode);
  NetworkRecord before;
  if ((bond ? read_network_bond(ZRDB_PATH, &before) : read_network_muti(ZRDB_PATH, &before)) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  NetworkRecord rec = before;
  rec.mode = mode;
  // The host name is the recorder's, not the mode's: a switch keeps the
  // one in use.
  if (bond != network_mode_is_bond(stored_mode)) {
    NetworkRecord current;
    if (read_network(ZRDB_PATH, &current) != 0) {
      cgi_error_to_webserver(CGI_KIND_TEXT);
      return;
    }
    std::memcpy(rec.hostName, current.hostName, sizeof rec.hostName);
  }
  bool ok = take_iface(req.get(), &rec.net[0], kFirstPort);
  if (mode == NETWORK_MODE_BOND_PRIMARY) ok &= json_int_member(req.get(), "primaryNet", &rec.primaryNet) != JSON_INT_BAD;
  if (!bond) {
    ok &= take_iface(req.get(), &rec.net[1], kSecondPort);
    ok &= json_int_member(req.get(), "defaultRoute", &rec.defaultRoute) != JSON_INT_BAD;
  }
  if (!ok) return;
  if (((mode != stored_mode || std::memcmp(&rec, &before, sizeof rec) != 0) && write_network(ZRDB_PATH, &rec) != 0) ||
      txn.commit() != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }

  notify_core_int(REQ_NET_APPLY, slave_clear);
  notify_core_changed("network");
  log_operation(LOG_SUB_SETTINGS, LOG_PARAM_NETWORK, 0);
  if (conflict == 1) log_operation_main(LOG_MAIN_EXCEPTION, LOG_SUB_IP_CONFLICT, LOG_PARAM_NETWORK, 0);
  cgi_reply_ok();
}

void on_get_network_mode(char*) {
  cgi_writeback_webserver(CGI_KIND_TEXT, std::to_string(read_network_mode(ZRDB_PATH)).c_str());
}

void on_restart_network(char*) {
  const char zeros[32] = {};
  notify_core(REQ_NET_RESTART, zeros, sizeof zeros);
  cgi_reply_ok();
}

void on_get_mac0(char*) {
  char mac[64] = {};
  read_mac_conf(mac, sizeof mac);
  std::string shown;
  for (size_t i = 0; mac[i]; ++i) {
    shown += mac[i];
    if (i % 2 == 1 && mac[i + 1]) shown += ':';
  }
  JsonPtr out(json_object_new_object());
  json_add_text(out.get(), "mac0", shown);
  cgi_write_json(out.get());
}

void on_ip_conflict(char* text) {
  JsonPtr req(parse_request(text));
  if (!req || !member_chars_ok(req.get(), "ip", ipv4_chars)) return;
  IpConflictQuery q;
  std::memset(&q, 0, sizeof q);
  json_get_text(req.get(), "ip", q.ip);
  cgi_ipc_exchange(on_network_ipc_callback, REQ_NET_IP_CONFLICT, &q, sizeof q, CGI_KIND_TEXT);
}

void on_ip_conflict_by_dev(char* text) {
  JsonPtr req(parse_request(text));
  if (!req || !member_chars_ok(req.get(), "dev", ifname_chars) || !member_chars_ok(req.get(), "ip", ipv4_chars)) return;
  IpConflictDevQuery q;
  std::memset(&q, 0, sizeof q);
  json_get_text(req.get(), "dev", q.dev);
  json_get_text(req.get(), "ip", q.ip);
  cgi_ipc_exchange(on_network_ipc_callback, REQ_NET_IP_CONFLICT_DEV, &q, sizeof q, CGI_KIND_TEXT);
}

void on_cgi_set_default_route(char* text) {
  JsonPtr req(parse_request(text));
  int32_t route = 0;
  NetworkRecord rec;
  ZrdbTransaction txn(ZRDB_PATH);
  if (!req || !json_strict_int(req.get(), "defaultRoute", &route) || !txn.ok() || read_network(ZRDB_PATH, &rec) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  // The transaction ends here, changed or not: the wait for the core must
  // not keep other saves out of the store.
  if (rec.defaultRoute != route) {
    rec.defaultRoute = route;
    if (write_network(ZRDB_PATH, &rec) != 0) {
      cgi_error_to_webserver(CGI_KIND_JSON);
      return;
    }
  }
  if (txn.commit() != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  cgi_ipc_exchange(on_network_ipc_callback, REQ_NET_DEFAULT_ROUTE, &route, sizeof route, CGI_KIND_JSON);
}
