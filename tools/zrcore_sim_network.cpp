// zrcore-sim: network settings. Answers the address conflict tests (3005,
// 3006: the demo network's gateway 192.168.1.1 and a camera at
// 192.168.1.50 are in use), the default route (1724), and keeps the channel
// access switch (3618) in the store where the pages read it.
#include <cstring>
#include <string>

#include "platform/zrdb.h"
#include "tools/zrcore_sim.h"

namespace {

bool address_in_use(const char* ip, size_t size) {
  const std::string addr(ip, strnlen(ip, size));
  return addr == "192.168.1.1" || addr == "192.168.1.50";
}

void ip_conflict(int req, const Bytes& p, std::vector<SimReply>* r) {
  struct {
    char ip[20];
  } q = sim_read<decltype(q)>(p);
  sim_reply_status(r, req, address_in_use(q.ip, sizeof q.ip) ? 1 : 0);
}

void ip_conflict_dev(int req, const Bytes& p, std::vector<SimReply>* r) {
  struct {
    char dev[16];
    char ip[16];
  } q = sim_read<decltype(q)>(p);
  const std::string dev(q.dev, strnlen(q.dev, sizeof q.dev));
  const bool known = dev == "eth0" || dev == "eth1" || dev == "bond0";
  sim_reply_status(r, req, known && address_in_use(q.ip, sizeof q.ip) ? 1 : 0);
}

void channel_access(int, const Bytes& p, std::vector<SimReply>*) {
  set_param_int(ZRDB_PATH, "ch_access", sim_read<int32_t>(p));
}

void default_route(int req, const Bytes&, std::vector<SimReply>* r) { sim_reply_status(r, req, 0); }

const SimRow kRows[] = {
    {3005, ip_conflict},
    {3006, ip_conflict_dev},
    {3618, channel_access},
    {1724, default_route},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
