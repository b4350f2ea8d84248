// zrcore-sim: time and network services. Answers the dynamic DNS state
// (3309: 1 while the stored settings enable it), the test mail (3409: 0 for
// the text "testmail"; a script makes it fail or stay silent), the P2P
// service (3700 enables it and stores the record as the core does, 3701
// disables it, 3702 reports it, 2302 unbinds the recorder; a 3700 that
// carries the registration server's text keeps it as the register code)
// and UPnP (3720 stores the settings with the mapping states).
#include <cstring>
#include <string>

#include "handlers/network/network.h"
#include "handlers/system/system.h"
#include "platform/zrdb.h"
#include "tools/zrcore_sim.h"

namespace {

using sysadmin::UpnpRecord;

std::string g_register_code;  // the last registration text, until unbound

template <typename T>
T stored(const char* family) {
  T rec;
  std::memset(&rec, 0, sizeof rec);
  zrdb_read_record(ZRDB_PATH, family, 0, &rec, sizeof rec);
  return rec;
}

template <size_t N>
void put(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), text.size() < N - 1 ? text.size() : N - 1);
}

void ddns_status(int req, const Bytes&, std::vector<SimReply>* r) {
  sim_reply_status(r, req, stored<DdnsRecord>("ddns").enable == 1 ? 1 : 0);
}

void test_mail(int req, const Bytes& p, std::vector<SimReply>* r) {
  char what[32] = {};
  std::memcpy(what, p.data(), p.size() < sizeof what ? p.size() : sizeof what);
  sim_reply_status(r, req, strncmp(what, "testmail", sizeof what) == 0 ? 0 : 1);
}

void p2p_enable(int req, const Bytes& p, std::vector<SimReply>* r) {
  if (p.size() != sizeof(P2pRecord)) {
    g_register_code.assign(reinterpret_cast<const char*>(p.data()), p.size() < 128 ? p.size() : 128);
    return;  // sent without waiting
  }
  P2pRecord rec = stored<P2pRecord>("p2p");
  rec.enable = 1;
  rec.region = sim_read<P2pRecord>(p).region;
  zrdb_write_record(ZRDB_PATH, "p2p", 0, &rec, sizeof rec);
  sim_reply_status(r, req, 0);
}

void p2p_disable(int req, const Bytes&, std::vector<SimReply>* r) { sim_reply_status(r, req, 0); }

void p2p_status(int req, const Bytes&, std::vector<SimReply>* r) {
  const P2pRecord rec = stored<P2pRecord>("p2p");
  P2pStatus st;
  std::memset(&st, 0, sizeof st);
  st.enable = rec.enable;
  st.p2pstatus = rec.enable && !g_register_code.empty() ? 1 : 0;
  put(st.model, "NVR-SIM");
  put(st.cloudServer, "cloud.example");
  put(st.registerCode, g_register_code);
  st.region = rec.region;
  sim_reply(r, req, sim_bytes(st));
}

void p2p_unbind(int req, const Bytes&, std::vector<SimReply>* r) {
  g_register_code.clear();
  sim_reply_status(r, req, 0);
}

void upnp_set(int, const Bytes& p, std::vector<SimReply>*) {
  UpnpRecord rec = sim_read<UpnpRecord>(p);
  rec.http_status = rec.enable && rec.external_http_port > 0 ? 1 : 0;
  rec.rtsp_status = rec.enable && rec.external_rtsp_port > 0 ? 1 : 0;
  zrdb_write_record(ZRDB_PATH, "upnp", 0, &rec, sizeof rec);
}

const SimRow kRows[] = {
    {3309, ddns_status}, {3409, test_mail},  {3700, p2p_enable}, {3701, p2p_disable},
    {3702, p2p_status},  {2302, p2p_unbind}, {3720, upnp_set},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
