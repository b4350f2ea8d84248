// The stored network record: the two Ethernet ports used separately (mode 0,
// interfaces "eth0" and "eth1") or bonded into "bond0" (modes 1 and 2).
// The store keeps one record per shape, so switching the mode and back
// finds each shape's settings as they were; the parameter "network_mode"
// names the shape in use. Used by the network settings and maintenance
// (host name).
#pragma once
#include <cstddef>
#include <cstdint>

// One interface's settings (the first port, the second port or the bond).
struct NetworkIface {
  int32_t enable;       // "enableNetwork1" / "enableNetwork2"
  int32_t networkType;  // address type, the web page's business
  char ipAddr[16];
  char netmask[16];
  char gateway[16];
  char dns1[16];
  char dns2[16];
  int32_t mtu;
  int32_t ip6networkType;  // 0, 1 or 2
  char ip6Addr[64];
  char ip6netmask[16];
  char ip6gateway[64];
};
static_assert(sizeof(NetworkIface) == 240, "interface settings are 240 bytes");
static_assert(offsetof(NetworkIface, mtu) == 88, "MTU at 88");
static_assert(offsetof(NetworkIface, ip6Addr) == 96, "IPv6 address at 96");

constexpr int NETWORK_MODE_SEPARATE = 0;
constexpr int NETWORK_MODE_BOND = 1;
constexpr int NETWORK_MODE_BOND_PRIMARY = 2;

struct NetworkRecord {
  int32_t mode;  // 0, 1 or 2
  char hostName[128];
  int32_t primaryNet;  // primary port in mode 2
  NetworkIface net[2];  // first (or bonded) interface, second port
  int32_t defaultRoute;
  uint8_t reserved[20];
};
static_assert(sizeof(NetworkRecord) == 640, "network record is 640 bytes");
static_assert(offsetof(NetworkRecord, primaryNet) == 132, "primary port at 132");
static_assert(offsetof(NetworkRecord, net) == 136, "interfaces at 136");
static_assert(offsetof(NetworkRecord, defaultRoute) == 616, "default route at 616");

// Results 0 / -1 (store failure); a shape never written reads as zeros.
// The separate shape (mode 0).
int read_network_muti(const char* db, NetworkRecord* rec);
int write_network_muti(const char* db, const NetworkRecord* rec);
// The bonded shape (modes 1 and 2).
int read_network_bond(const char* db, NetworkRecord* rec);
int write_network_bond(const char* db, const NetworkRecord* rec);
// The record as stored: the shape of the stored mode. Writing stores the
// record's mode (outside 0..2: -1, nothing written) and its shape together.
int read_network(const char* db, NetworkRecord* rec);
int write_network(const char* db, const NetworkRecord* rec);
// The stored mode alone (0 when never set), or -1 when it cannot be read.
int read_network_mode(const char* db);
// The host name belongs to the recorder, not to a mode: it is set in both
// shapes (each written only when it differs), the stored mode stays.
// 0, or -1 with nothing written.
int write_network_host_name(const char* db, const char* host);

inline bool network_mode_is_bond(int mode) { return mode == NETWORK_MODE_BOND || mode == NETWORK_MODE_BOND_PRIMARY; }
