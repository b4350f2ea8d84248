// Network interface probes: addresses, MAC, gateway, MTU and up flag of one
// interface, link state and speed, traffic rates, the interface count, and
// an ARP probe telling whether an IPv4 address is used on the local network.
// Kernel tables ("/proc/net/dev", "/proc/net/route") are read through
// nvr_path(), so tests plant their own; the rest comes from interface ioctls.
// A failed kernel query is printed to the error stream and skipped.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

// An interface name the probes accept: 1..15 characters of [A-Za-z0-9._-].
bool if_name_ok(std::string_view name);

// What if_get_netconf fills; texts terminated. A field whose query failed is
// cleared (the gateway is left as it was when the route table cannot be read).
struct IfNetConf {
  char ipaddr[16];       // dotted decimal
  uint8_t reserved16[8];
  char mac[24];          // "aa:bb:cc:dd:ee:ff", lower case
  char gateway[24];      // default gateway, "0.0.0.0" when there is none
  char netmask[16];
  uint8_t reserved88[8];
  char broadcast[16];
  uint8_t reserved112[8];
  int32_t up;            // 1 when the interface is up
  int32_t mtu;
};
static_assert(sizeof(IfNetConf) == 128, "interface configuration is 128 bytes");
static_assert(offsetof(IfNetConf, mac) == 24, "MAC at 24");
static_assert(offsetof(IfNetConf, gateway) == 48, "gateway at 48");
static_assert(offsetof(IfNetConf, netmask) == 72, "netmask at 72");
static_assert(offsetof(IfNetConf, broadcast) == 96, "broadcast at 96");
static_assert(offsetof(IfNetConf, up) == 120, "up flag at 120");
static_assert(offsetof(IfNetConf, mtu) == 124, "MTU at 124");

struct IfNetInfo {
  int32_t running;  // 1 when the link is running
  int32_t speed;    // Mb/s, 0 when the driver does not tell
  int32_t duplex;   // as the kernel reports it
};

// 0, or -1 for a null argument, an invalid name or when no socket can be had.
int if_get_netconf(const char* ifname, IfNetConf* conf);
// 0, or -1 for a null argument, an invalid name, no socket, or an interface
// whose flags cannot be read.
int if_get_netinfo(const char* ifname, IfNetInfo* info);

// Receive and transmit rates in bytes per second since the previous sample
// of the same interface in this process (0 for the first sample, for a
// counter that went down and when 10 s or more have passed). At most 5
// interfaces are followed; -1 for a sixth, an invalid name, a name not in
// "/proc/net/dev" or a table that cannot be read.
int if_get_speed(const char* ifname, uint64_t* rx_rate, uint64_t* tx_rate);
// The same with the sample time given in microseconds (if_get_speed uses the
// monotonic clock); for tests, with if_speed_reset forgetting every sample.
int if_get_speed_at(const char* ifname, int64_t now_us, uint64_t* rx_rate, uint64_t* tx_rate);
void if_speed_reset();

// Number of interfaces in "/proc/net/dev" other than "lo"; 0 when the table
// cannot be read.
int if_get_netcount();

// Runs "ifconfig <name> up" (or "down"): the length of the command, or -1
// for an invalid name or when the command failed.
int if_set_network(const char* ifname, int up);

// The hardware addresses of eth0 and eth1 (18 bytes each), with fixed
// fallbacks; always 0.
int if_get_mac_addr(char* eth0, char* eth1);

// 1 when the IPv4 address answers an ARP request sent from the interface
// within 2 s (or is the interface's own address, or the request could not be
// sent or its answer not be awaited), 0 when nobody answered, -1 for an
// invalid name or address, when the interface has no IPv4 address, or when
// the process may not open a packet socket.
int if_ip_check(const char* ifname, const char* ip);

// 0 when address 1 AND mask 1 equals address 2 AND mask 2, else -1 (also
// when any of the four texts is no dotted IPv4 address).
int zr_strcmp_two_ip_same_net(const char* ip1, const char* mask1, const char* ip2, const char* mask2);
