// Private to the network module: the records it sends to the core and keeps
// in the store, the page handlers the table names and the reply writers its
// dispatcher calls.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/ssl_params.h"
#include "platform/zrdb.h"

// ---- Core requests and replies ---------------------------------------------------
constexpr int REQ_NET_CHANGED = 1702;  // 32-byte text naming what changed
constexpr int REQ_NET_REBOOT = 1703;
constexpr int REQ_NET_RESTART = 1712;
constexpr int REQ_NET_DEFAULT_ROUTE = 1724;
constexpr int REPLY_NET_DEFAULT_ROUTE = 6724;
constexpr int REQ_NET_IP_CONFLICT = 3005;
constexpr int REPLY_NET_IP_CONFLICT = 8005;
constexpr int REQ_NET_IP_CONFLICT_DEV = 3006;
constexpr int REPLY_NET_IP_CONFLICT_DEV = 8006;
constexpr int REQ_NET_APPLY = 3023;          // int32 slaveClear
constexpr int REQ_NET_PUSH_ENABLE = 3617;    // 10-byte text "0" or "1"
constexpr int REQ_NET_CHANNEL_ACCESS = 3618; // int32
constexpr int REQ_CERT_CREATE = 3316;
constexpr int REPLY_CERT_CREATE = 8316;
constexpr int REQ_CERT_DELETE_REQUEST = 3317;
constexpr int REQ_CERT_INSTALL = 3318;
constexpr int REPLY_CERT_INSTALL = 8318;
constexpr int REQ_CERT_DELETED = 3320;
constexpr int REQ_HTTPS_SWITCH = 3322;

// Operation-log codes.
constexpr int LOG_MAIN_EXCEPTION = 32;
constexpr int64_t LOG_SUB_REBOOT = 200;
constexpr int64_t LOG_SUB_SETTINGS = 204;
constexpr int64_t LOG_SUB_IP_CONFLICT = 406;
constexpr int LOG_PARAM_REBOOT = 900;
constexpr int LOG_PARAM_NETWORK = 914;
constexpr int LOG_PARAM_PORTS = 918;

// Address query of "/7070" (request 3005).
struct IpConflictQuery {
  char ip[20];
};
static_assert(sizeof(IpConflictQuery) == 20, "address query is 20 bytes");

// Address query on one interface of "/7071" (request 3006).
struct IpConflictDevQuery {
  char dev[16];
  char ip[16];
};
static_assert(sizeof(IpConflictDevQuery) == 32, "interface address query is 32 bytes");
static_assert(offsetof(IpConflictDevQuery, ip) == 16, "address at 16");

// ---- Push-message settings kept beside the ports -----------------------------------
// One push event type per channel (ids 0..63).
struct PushMsgEvent {
  int32_t channel;
  int32_t type;
};
static_assert(sizeof(PushMsgEvent) == 8, "push event row is 8 bytes");
ZRDB_RECORD_FAMILY(push_msg_event_row, PushMsgEvent, "push_msg_event")

// The recorder's own push event text (one record, id 0).
constexpr size_t PUSH_NVR_EVENT_MAX = 64;
struct PushMsgNvrEvent {
  char text[PUSH_NVR_EVENT_MAX + 4];  // at most 64 characters, terminated
};
static_assert(sizeof(PushMsgNvrEvent) == 68, "recorder event text record is 68 bytes");

// Fills types[0..n-1] with the stored types (0 for a channel never set).
int read_push_msg_events(const char* db, int32_t* types, int n);
int write_push_msg_event(const char* db, int channel, int type);
int read_push_msg_nvr_event(const char* db, PushMsgNvrEvent* rec);
int write_push_msg_nvr_event(const char* db, const PushMsgNvrEvent* rec);

// ---- Reply dispatcher and reply writers --------------------------------------------
void on_network_ipc_callback(void* ctx, void* header, void* payload);
void on_ip_conflict_cb(int count, const void* payload);
void on_cgi_set_default_route_cb(int count, const void* payload);
void on_resp_create_cert(int count, const void* payload);
void on_resp_install_cert(int count, const void* payload);

// ---- Handlers ------------------------------------------------------------------------
// interfaces.cpp
void on_get_network_info(char* text);
void on_set_network_info(char* text);
void on_get_network_mode(char* text);
void on_restart_network(char* text);
void on_get_mac0(char* text);
void on_ip_conflict(char* text);
void on_ip_conflict_by_dev(char* text);
void on_cgi_set_default_route(char* text);
// ports.cpp
void on_get_port_info(char* text);
void on_set_port_info(char* text);
void on_get_access_info(char* text);
void on_get_poe_max(char* text);
// certificates.cpp
void on_create_https_cert(char* text);
void on_get_cert_info(char* text);
void on_download_cert_req(char* text);
void on_delete_cert_req(char* text);
void on_install_cert(char* text);
void on_delete_cert(char* text);
void on_set_https_enable(char* text);
void on_get_https_enable(char* text);
void on_get_cert_req_info(char* text);
