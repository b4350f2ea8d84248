#include "core/net_probe.h"

#include <arpa/inet.h>
#include <linux/ethtool.h>
#include <linux/if_packet.h>
#include <linux/sockios.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/cgi_util.h"
#include "core/paths.h"
#include "core/strutil.h"

namespace {

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

void fill_request(ifreq* req, const char* ifname) {
  std::memset(req, 0, sizeof *req);
  copy_text(req->ifr_name, sizeof req->ifr_name, ifname);
}

// The IPv4 address of an ifreq's address member as dotted text.
void put_addr(const sockaddr& sa, char* dst, size_t size) {
  sockaddr_in sin;
  std::memcpy(&sin, &sa, sizeof sin);
  char text[INET_ADDRSTRLEN] = "";
  if (sa.sa_family != AF_INET || !inet_ntop(AF_INET, &sin.sin_addr, text, sizeof text)) text[0] = '\0';
  copy_text(dst, size, text);
}

bool query(int fd, unsigned long request, ifreq* req, const char* what) {
  if (ioctl(fd, request, req) == 0) return true;
  std::fprintf(stderr, "[%s] ioctl\n", what);
  return false;
}

// An address query (address, netmask, broadcast: the kernel answers each in
// the request's one address member) as dotted text, "" when it failed.
void query_addr(int fd, const char* ifname, unsigned long request, const char* what, char* dst, size_t size) {
  ifreq req;
  fill_request(&req, ifname);
  if (query(fd, request, &req, what))
    put_addr(req.ifr_addr, dst, size);
  else
    dst[0] = '\0';
}

// Default gateway of the interface from the route table; false when the
// table cannot be opened.
bool read_gateway(const char* ifname, char* dst, size_t size) {
  std::ifstream in(nvr_path("/proc/net/route"));
  if (!in) {
    std::fputs("fopen\n", stderr);
    return false;
  }
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string name, dest, gw;
    if (!(words >> name >> dest >> gw) || name != ifname) continue;
    char* end = nullptr;
    const unsigned long d = std::strtoul(dest.c_str(), &end, 16);
    if (*end || d != 0) continue;
    const unsigned long g = std::strtoul(gw.c_str(), &end, 16);
    if (*end) continue;
    // The kernel prints the address as it lies in memory (network order
    // read as a little-endian word): lowest byte first.
    copy_text(dst, size,
              string_printf("%lu.%lu.%lu.%lu", g & 0xff, (g >> 8) & 0xff, (g >> 16) & 0xff, (g >> 24) & 0xff));
    return true;
  }
  copy_text(dst, size, "0.0.0.0");
  return true;
}

// One interface line of "/proc/net/dev": the name before the ':' and the
// counters after it (they may follow the ':' without a blank).
struct DevLine {
  std::string name;
  std::string counters;
};

bool read_dev_lines(std::vector<DevLine>* out) {
  std::ifstream in(nvr_path("/proc/net/dev"));
  if (!in) return false;
  std::string line;
  for (int header = 0; header < 2 && std::getline(in, line); ++header) {
  }
  // A recorder has a handful of interfaces; a table of thousands is refused.
  for (int n = 0; n < 4096 && std::getline(in, line); ++n) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const size_t first = line.find_first_not_of(" \t");
    if (first >= colon) continue;
    const size_t last = line.find_last_not_of(" \t", colon - 1);
    out->push_back({line.substr(first, last - first + 1), line.substr(colon + 1)});
  }
  return true;
}

bool parse_u64(const std::string& text, uint64_t* out) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (*end || errno) return false;
  *out = v;
  return true;
}

// Receive bytes (first counter) and transmit bytes (ninth counter).
int read_counters(const char* ifname, uint64_t* rx, uint64_t* tx) {
  std::vector<DevLine> lines;
  if (!read_dev_lines(&lines)) {
    std::fputs("read error\n", stderr);
    return -1;
  }
  for (const DevLine& l : lines) {
    if (l.name != ifname) continue;
    std::istringstream words(l.counters);
    std::vector<std::string> c;
    std::string w;
    while (c.size() < 9 && words >> w) c.push_back(w);
    if (c.size() < 9 || !parse_u64(c[0], rx) || !parse_u64(c[8], tx)) return -1;
    return 0;
  }
  return -1;
}

constexpr int SPEED_SLOTS = 5;
constexpr int64_t SPEED_WINDOW_US = 10 * 1000000LL;
struct SpeedSlot {
  char name[IFNAMSIZ];
  uint64_t rx;
  uint64_t tx;
  int64_t time_us;
};
SpeedSlot g_slots[SPEED_SLOTS];

// delta bytes over elapsed microseconds, per second, without overflowing.
uint64_t rate_of(uint64_t now, uint64_t then, int64_t elapsed_us) {
  if (now < then || elapsed_us <= 0) return 0;
  const uint64_t delta = now - then;
  const uint64_t us = static_cast<uint64_t>(elapsed_us);
  return delta / us * 1000000u + delta % us * 1000000u / us;
}

constexpr uint16_t ARP_REQUEST = 1;
constexpr uint16_t ARP_REPLY = 2;
constexpr size_t ARP_FRAME = 42;

struct ArpFrame {
  uint8_t dst[6];
  uint8_t src[6];
  uint8_t type[2];
  uint8_t htype[2];
  uint8_t ptype[2];
  uint8_t hlen;
  uint8_t plen;
  uint8_t op[2];
  uint8_t sha[6];
  uint8_t spa[4];
  uint8_t tha[6];
  uint8_t tpa[4];
};
static_assert(sizeof(ArpFrame) == ARP_FRAME, "ARP frame is 42 bytes");

void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// Waits up to 2 s for an ARP reply to us from the probed address: 1 for one
// (or a failed wait or receive), 0 when the time passed.
int await_arp_reply(int fd, const uint8_t mac[6], const in_addr& target) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    pollfd p{fd, POLLIN, 0};
    const int rc = poll(&p, 1, static_cast<int>(left));
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) return 1;
    if (rc == 0) return 0;
    uint8_t buf[1514];
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 1;
    if (static_cast<size_t>(n) < ARP_FRAME) continue;
    ArpFrame f;
    std::memcpy(&f, buf, sizeof f);
    if (get16(f.type) != ETHERTYPE_ARP || get16(f.op) != ARP_REPLY) continue;
    if (std::memcmp(f.dst, mac, 6) != 0 || std::memcmp(f.spa, &target.s_addr, 4) != 0) continue;
    return 1;
  }
}

bool parse_ipv4(const char* text, uint32_t* out) {
  in_addr a{};
  if (!text || inet_pton(AF_INET, text, &a) != 1) return false;
  *out = a.s_addr;
  return true;
}

}  // namespace

bool if_name_ok(std::string_view name) {
  if (name.empty() || name.size() >= IFNAMSIZ) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

int if_get_netconf(const char* ifname, IfNetConf* conf) {
  if (!ifname || !conf || !if_name_ok(ifname)) return -1;
  Fd s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (s.fd < 0) {
    std::perror("socket");
    return -1;
  }
  ifreq req;
  fill_request(&req, ifname);
  conf->mtu = query(s.fd, SIOCGIFMTU, &req, "SIOCGIFMTU") ? req.ifr_mtu : 0;
  fill_request(&req, ifname);
  conf->up = query(s.fd, SIOCGIFFLAGS, &req, "SIOCGIFFLAGS") ? (req.ifr_flags & IFF_UP ? 1 : 0) : 0;
  query_addr(s.fd, ifname, SIOCGIFADDR, "SIOCGIFADDR", conf->ipaddr, sizeof conf->ipaddr);
  fill_request(&req, ifname);
  if (query(s.fd, SIOCGIFHWADDR, &req, "SIOCGIFHWADDR")) {
    const unsigned char* m = reinterpret_cast<const unsigned char*>(req.ifr_hwaddr.sa_data);
    std::snprintf(conf->mac, sizeof conf->mac, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
  } else {
    conf->mac[0] = '\0';
  }
  query_addr(s.fd, ifname, SIOCGIFNETMASK, "SIOCGIFNETMASK", conf->netmask, sizeof conf->netmask);
  query_addr(s.fd, ifname, SIOCGIFBRDADDR, "SIOCGIFBRDADDR", conf->broadcast, sizeof conf->broadcast);
  read_gateway(ifname, conf->gateway, sizeof conf->gateway);
  return 0;
}

int if_get_netinfo(const char* ifname, IfNetInfo* info) {
  if (!ifname || !info || !if_name_ok(ifname)) return -1;
  Fd s(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (s.fd < 0) {
    std::fputs("create socket error\n", stderr);
    return -1;
  }
  *info = IfNetInfo{};
  ifreq req;
  fill_request(&req, ifname);
  if (!query(s.fd, SIOCGIFFLAGS, &req, "SIOCGIFFLAGS")) return -1;
  info->running = req.ifr_flags & IFF_RUNNING ? 1 : 0;
  ethtool_cmd cmd{};
  cmd.cmd = ETHTOOL_GSET;
  fill_request(&req, ifname);
  req.ifr_data = reinterpret_cast<char*>(&cmd);
  if (query(s.fd, SIOCETHTOOL, &req, "SIOCETHTOOL")) {
    const uint32_t speed = static_cast<uint32_t>(cmd.speed_hi) << 16 | cmd.speed;
    // "Unknown" (all ones) or anything beyond int32 reads as 0.
    info->speed = speed > 0x7fffffffu ? 0 : static_cast<int32_t>(speed);
    info->duplex = cmd.duplex;
  }
  return 0;
}

int if_get_speed_at(const char* ifname, int64_t now_us, uint64_t* rx_rate, uint64_t* tx_rate) {
  if (!ifname || !rx_rate || !tx_rate || !if_name_ok(ifname)) return -1;
  uint64_t rx = 0, tx = 0;
  if (read_counters(ifname, &rx, &tx) != 0) return -1;
  SpeedSlot* slot = nullptr;
  for (SpeedSlot& s : g_slots)
    if (std::strcmp(s.name, ifname) == 0) slot = &s;
  if (!slot) {
    for (SpeedSlot& s : g_slots) {
      if (s.name[0] == '\0') {
        slot = &s;
        break;
      }
    }
    if (!slot) return -1;
    copy_field(slot->name, ifname);
    *rx_rate = *tx_rate = 0;
  } else {
    const int64_t elapsed = now_us - slot->time_us;
    const bool recent = elapsed > 0 && elapsed < SPEED_WINDOW_US;
    *rx_rate = recent ? rate_of(rx, slot->rx, elapsed) : 0;
    *tx_rate = recent ? rate_of(tx, slot->tx, elapsed) : 0;
  }
  slot->rx = rx;
  slot->tx = tx;
  slot->time_us = now_us;
  return 0;
}

int if_get_speed(const char* ifname, uint64_t* rx_rate, uint64_t* tx_rate) {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return if_get_speed_at(ifname, std::chrono::duration_cast<std::chrono::microseconds>(now).count(), rx_rate,
                         tx_rate);
}

void if_speed_reset() { std::memset(g_slots, 0, sizeof g_slots); }

int if_get_netcount() {
  std::vector<DevLine> lines;
  if (!read_dev_lines(&lines)) {
    std::fprintf(stderr, "Open /proc/net/dev failed!errno:%d\n", errno);
    return 0;
  }
  int n = 0;
  for (const DevLine& l : lines)
    if (l.name != "lo") ++n;
  return n;
}

int if_set_network(const char* ifname, int up) {
  if (!ifname || !if_name_ok(ifname)) return -1;
  const std::string cmd = "ifconfig " + shell_quote(ifname) + (up ? " up" : " down");
  if (web_system(cmd) != 0) return -1;
  return static_cast<int>(cmd.size());
}

int if_get_mac_addr(char* eth0, char* eth1) { return get_mac_addr(eth0, eth1); }

int if_ip_check(const char* ifname, const char* ip) {
  uint32_t target = 0;
  if (!ifname || !if_name_ok(ifname) || !parse_ipv4(ip, &target)) return -1;
  Fd s(socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETHERTYPE_ARP)));
  if (s.fd < 0) return -1;
  ifreq req;
  fill_request(&req, ifname);
  if (!query(s.fd, SIOCGIFADDR, &req, "SIOCGIFADDR") || req.ifr_addr.sa_family != AF_INET) return -1;
  sockaddr_in own;
  std::memcpy(&own, &req.ifr_addr, sizeof own);
  if (own.sin_addr.s_addr == target) return 1;
  fill_request(&req, ifname);
  if (!query(s.fd, SIOCGIFINDEX, &req, "SIOCGIFINDEX")) return -1;
  const int index = req.ifr_ifindex;
  fill_request(&req, ifname);
  if (!query(s.fd, SIOCGIFHWADDR, &req, "SIOCGIFHWADDR")) return -1;
  uint8_t mac[6];
  std::memcpy(mac, req.ifr_hwaddr.sa_data, 6);

  const int on = 1;
  setsockopt(s.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_ll ll{};
  ll.sll_family = AF_PACKET;
  ll.sll_protocol = htons(ETHERTYPE_ARP);
  ll.sll_ifindex = index;
  if (bind(s.fd, reinterpret_cast<sockaddr*>(&ll), sizeof ll) != 0) return 1;

  ArpFrame f{};
  std::memset(f.dst, 0xff, sizeof f.dst);
  std::memcpy(f.src, mac, 6);
  put16(f.type, ETHERTYPE_ARP);
  put16(f.htype, 1);
  put16(f.ptype, ETHERTYPE_IP);
  f.hlen = 6;
  f.plen = 4;
  put16(f.op, ARP_REQUEST);
  std::memcpy(f.sha, mac, 6);
  std::memcpy(f.spa, &own.sin_addr.s_addr, 4);
  std::memcpy(f.tpa, &target, 4);
  ll.sll_halen = 6;
  std::memset(ll.sll_addr, 0xff, 6);
  if (sendto(s.fd, &f, sizeof f, 0, reinterpret_cast<sockaddr*>(&ll), sizeof ll) != static_cast<ssize_t>(sizeof f))
    return 1;
  in_addr t{};
  t.s_addr = target;
  return await_arp_reply(s.fd, mac, t);
}

int zr_strcmp_two_ip_same_net(const char* ip1, const char* mask1, const char* ip2, const char* mask2) {
  uint32_t a1, m1, a2, m2;
  if (!parse_ipv4(ip1, &a1) || !parse_ipv4(mask1, &m1) || !parse_ipv4(ip2, &a2) || !parse_ipv4(mask2, &m2))
    return -1;
  return (a1 & m1) == (a2 & m2) ? 0 : -1;
}
