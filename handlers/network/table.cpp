// Network settings: interfaces and ports, time and network services, HTTPS
// certificates. The module's one request table, its reply dispatcher and its
// registration.
#include "core/cgi_ipc.h"
#include "core/cgi_reply.h"
#include "handlers/modules.h"
#include "handlers/network/network.h"

namespace {
const CgiReplyRow kServiceReplies[] = {
    {REPLY_SET_TIME, 0, CGI_KIND_TEXT, on_set_systime_cb},
    {REPLY_TEST_MAIL, 4, CGI_KIND_TEXT, on_test_email_cb},
    {REPLY_MULTICAST_SET, 4, CGI_KIND_JSON, on_cgi_set_multicast_cb},
    {REPLY_DDNS_STATUS, 4, CGI_KIND_JSON, on_get_ddns_status_cb},
    {REPLY_P2P_STATUS, sizeof(P2pStatus), CGI_KIND_JSON, on_get_p2p_info_cb},
    {REPLY_P2P_ENABLE, 4, CGI_KIND_TEXT, on_set_p2p_enable_cb},
    {REPLY_P2P_DISABLE, 4, CGI_KIND_TEXT, on_set_p2p_disable_cb},
    {REPLY_P2P_UNBIND, 4, CGI_KIND_JSON, on_cgi_p2p_unbind_device_cb},
};
}  // namespace

void on_network_ipc_callback(void*, void* header, void* payload) {
  if (!header) return;
  const int type = cgi_reply_type(header);
  for (const CgiReplyRow& row : kServiceReplies)
    if (row.type == type) {
      cgi_dispatch_reply(kServiceReplies, header, payload);
      return;
    }
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
    // Time and network services.
    {"/7000", on_get_time_info},
    {"/7001", on_set_time_info},
    {"/7010", on_get_pppoe_info},
    {"/7011", on_set_pppoe_info},
    {"/7020", on_get_ddns_info},
    {"/7021", on_set_ddns_info},
    {"/7094", on_get_ddns_status},
    {"/7030", on_get_email_info},
    {"/7031", on_set_email_info},
    {"/7032", on_test_email},
    {"/7033", on_cgi_get_multicast},
    {"/7034", on_cgi_set_multicast},
    {"/7090", on_get_snmp_info},
    {"/7091", on_set_snmp_info},
    {"/7060", on_get_p2p_info},
    {"/7061", on_set_p2p_info},
    {"/7062", on_test_p2p},
    {"/7095", on_cgi_p2p_unbind_device},
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
