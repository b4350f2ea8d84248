// Network settings: interfaces and ports, HTTPS certificates. The module's
// one request table, its reply dispatcher and its registration.
#include "core/cgi_ipc.h"
#include "handlers/modules.h"
#include "handlers/network/network.h"

void on_network_ipc_callback(void*, void* header, void* payload) {
  if (!header) return;
  const int count = payload ? cgi_reply_count(header, sizeof(int32_t)) : 0;
  switch (cgi_reply_type(header)) {
    case REPLY_NET_IP_CONFLICT:
    case REPLY_NET_IP_CONFLICT_DEV:
      on_ip_conflict_cb(count, payload);
      break;
    case REPLY_NET_DEFAULT_ROUTE:
      on_cgi_set_default_route_cb(count, payload);
      break;
    case REPLY_CERT_CREATE:
      on_resp_create_cert(count, payload);
      break;
    case REPLY_CERT_INSTALL:
      on_resp_install_cert(count, payload);
      break;
    default:
      break;
  }
}

namespace {
const WebRes kNetworkTable[] = {
    // Interfaces and ports.
    {"/7040", on_get_network_info},
    {"/7041", on_set_network_info},
    {"/7042", on_get_network_mode},
    {"/7043", on_restart_network},
    {"/7044", on_get_mac0},
    {"/7050", on_get_port_info},
    {"/7051", on_set_port_info},
    {"/7070", on_ip_conflict},
    {"/7071", on_ip_conflict_by_dev},
    {"/7092", on_get_access_info},
    {"/7093", on_get_poe_max},
    {"/7096", on_cgi_set_default_route},
    // HTTPS certificates.
    {"/7080", on_create_https_cert},
    {"/7081", on_get_cert_info},
    {"/7082", on_download_cert_req},
    {"/7083", on_delete_cert_req},
    {"/7084", on_install_cert},
    {"/7085", on_delete_cert},
    {"/7086", on_set_https_enable},
    {"/7087", on_get_https_enable},
    {"/7089", on_get_cert_req_info},
};
}  // namespace

NVR_DEFINE_MODULE(network, kNetworkTable)
