#include "platform/netutil.h"

#include <fstream>
#include <sstream>
#include <string>

#include "base/paths.h"

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
