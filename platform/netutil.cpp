#include "platform/netutil.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "base/paths.h"
#include "base/strutil.h"

namespace {
// 32 hexadecimal digits of a kernel table into an address.
bool parse_in6(const std::string& hex, in6_addr* out) {
  if (hex.size() != 32) return false;
  for (size_t i = 0; i < 16; ++i) {
    char pair[3] = {hex[2 * i], hex[2 * i + 1], 0};
    char* end = nullptr;
    unsigned long v = std::strtoul(pair, &end, 16);
    if (*end) return false;
    out->s6_addr[i] = static_cast<uint8_t>(v);
  }
  return true;
}

bool format_in6(const in6_addr& a, char* buf, size_t size) {
  char text[INET6_ADDRSTRLEN];
  if (!inet_ntop(AF_INET6, &a, text, sizeof text)) return false;
  copy_text(buf, size, text);
  return true;
}

bool is_zero(const in6_addr& a) {
  for (uint8_t b : a.s6_addr)
    if (b) return false;
  return true;
}

bool valid_ifname(const char* name) { return name && *name && std::strlen(name) < IFNAMSIZ; }

constexpr unsigned kScopeGlobal = 0x00;
constexpr unsigned kScopeLink = 0x20;
}  // namespace

int net_is_haveipv6() {
  std::ifstream in(nvr_path("/proc/net/if_inet6"));
  std::string line;
  while (std::getline(in, line)) {
    // address, index, prefix length, scope, flags, interface name
    std::istringstream words(line);
    std::string addr, index, plen, scope, flags, name;
    if (!(words >> addr >> index >> plen >> scope >> flags >> name)) continue;
    if (name != "lo") return 1;
  }
  return 0;
}

int net_get_ipv6_ifaddr(int global_only, const char* ifname, char* addr, size_t addr_size, char* mask,
                        size_t mask_size) {
  if (!valid_ifname(ifname) || !addr || !mask) return -1;
  std::ifstream in(nvr_path("/proc/net/if_inet6"));
  std::string line, link_addr;
  unsigned link_plen = 0;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string hex, index, plen, scope, flags, name;
    if (!(words >> hex >> index >> plen >> scope >> flags >> name) || name != ifname) continue;
    in6_addr a{};
    if (!parse_in6(hex, &a)) continue;
    const unsigned sc = static_cast<unsigned>(std::strtoul(scope.c_str(), nullptr, 16));
    const unsigned pl = static_cast<unsigned>(std::strtoul(plen.c_str(), nullptr, 16)) & 0xff;
    char text[INET6_ADDRSTRLEN];
    if (!format_in6(a, text, sizeof text)) continue;
    if (sc == kScopeGlobal) {
      copy_text(addr, addr_size, text);
      copy_text(mask, mask_size, std::to_string(pl));
      return 0;
    }
    if (sc == kScopeLink && link_addr.empty()) {
      link_addr = text;
      link_plen = pl;
    }
  }
  if (global_only || link_addr.empty()) return -1;
  copy_text(addr, addr_size, link_addr);
  copy_text(mask, mask_size, std::to_string(link_plen));
  return 0;
}

int net_get_ipv6_gateway2(int any_route, const char* ifname, char* gw, size_t size) {
  if (!valid_ifname(ifname) || !gw) return -1;
  std::ifstream in(nvr_path("/proc/net/ipv6_route"));
  std::string line;
  while (std::getline(in, line)) {
    // destination, its prefix length, source, its prefix length, next hop,
    // metric, reference count, use count, flags, interface
    std::istringstream words(line);
    std::string dst, dst_plen, src, src_plen, hop, metric, refs, use, flags, name;
    if (!(words >> dst >> dst_plen >> src >> src_plen >> hop >> metric >> refs >> use >> flags >> name) ||
        name != ifname)
      continue;
    in6_addr d{}, h{};
    if (!parse_in6(dst, &d) || !parse_in6(hop, &h) || is_zero(h)) continue;
    if (!any_route && (!is_zero(d) || std::strtoul(dst_plen.c_str(), nullptr, 16) != 0)) continue;
    return format_in6(h, gw, size) ? 0 : -1;
  }
  return -1;
}

int net_get_ifaddr(const char* ifname, char* addr, size_t size) {
  if (!valid_ifname(ifname) || !addr) return -1;
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  ifreq req{};
  copy_text(req.ifr_name, sizeof req.ifr_name, ifname);
  const int rc = ioctl(fd, SIOCGIFADDR, &req);
  close(fd);
  if (rc != 0 || req.ifr_addr.sa_family != AF_INET) return -1;
  sockaddr_in sin;
  std::memcpy(&sin, &req.ifr_addr, sizeof sin);
  char text[INET_ADDRSTRLEN];
  if (!inet_ntop(AF_INET, &sin.sin_addr, text, sizeof text)) return -1;
  copy_text(addr, size, text);
  return 0;
}

int is_port_use(int port) {
  if (port < 0 || port > 65535) return 0;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(nvr_path(table));
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
      // slot, local address:port, remote address:port, state, ...
      std::istringstream words(line);
      std::string slot, local, remote, state;
      if (!(words >> slot >> local >> remote >> state)) continue;
      const size_t colon = local.rfind(':');
      if (colon == std::string::npos || state != "0A") continue;  // listening only
      char* end = nullptr;
      const unsigned long p = std::strtoul(local.c_str() + colon + 1, &end, 16);
      if (*end == '\0' && p == static_cast<unsigned long>(port)) return 1;
    }
  }
  return 0;
}

int read_mac_conf(char* buf, size_t size) {
  if (!buf || size == 0) return -1;
  std::ifstream in(nvr_path(MAC_CONF_PATH));
  std::string line;
  if (!std::getline(in, line)) return -1;
  const size_t first = line.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return -1;
  const size_t last = line.find_last_not_of(" \t\r\n");
  copy_text(buf, size, std::string_view(line).substr(first, last - first + 1));
  return 0;
}
