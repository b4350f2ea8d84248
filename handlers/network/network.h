// Private to the network module: the records it sends to the core and keeps
// in the store, the page handlers the table names and the reply writers its
// dispatcher calls.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/ssl_params.h"
#include "core/text_check.h"
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
constexpr int REQ_SET_TIME = 1701;  // 32-byte text: the quoted manual time or empty
constexpr int REPLY_SET_TIME = 6701;
constexpr int REQ_TIME_CHANGED = 1711;
constexpr int REQ_MULTICAST_SET = 1729;  // MulticastRecord
constexpr int REPLY_MULTICAST_SET = 6729;
constexpr int REQ_TEST_MAIL = 3409;  // 32-byte text "testmail"
constexpr int REPLY_TEST_MAIL = 8409;
constexpr int REQ_DDNS_STATUS = 3309;
constexpr int REPLY_DDNS_STATUS = 8309;
constexpr int REQ_P2P_ENABLE = 3700;   // P2pRecord; also the registration text
constexpr int REPLY_P2P_ENABLE = 8700;
constexpr int REQ_P2P_DISABLE = 3701;  // P2pRecord
constexpr int REPLY_P2P_DISABLE = 8701;
constexpr int REQ_P2P_STATUS = 3702;
constexpr int REPLY_P2P_STATUS = 8702;  // P2pStatus
constexpr int REQ_P2P_UNBIND = 2302;
constexpr int REPLY_P2P_UNBIND = 7302;
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
constexpr int64_t LOG_SUB_SET_TIME = 225;
constexpr int64_t LOG_SUB_IP_CONFLICT = 406;
constexpr int LOG_PARAM_REBOOT = 900;
constexpr int LOG_PARAM_NETWORK = 914;
constexpr int LOG_PARAM_PORTS = 918;
constexpr int LOG_PARAM_PPPOE = 915;
constexpr int LOG_PARAM_DDNS = 916;
constexpr int LOG_PARAM_EMAIL = 917;

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

// ---- Service records (one record each, id 0) ---------------------------------------
struct TimeRecord {
  int32_t ntpEnable;  // 0 or 1
  int32_t dstEnable;  // 0 or 1
  int32_t syncEnable;
  int32_t syncInterval;
  int32_t syncPc;
  char timeZone[32];
  char timeZoneName[32];
  char ntpServer[64];
};
static_assert(sizeof(TimeRecord) == 148, "time record is 148 bytes");
int read_time(const char* db, TimeRecord* rec);
int write_time(const char* db, const TimeRecord* rec);
struct PppoeRecord {
  int32_t enable;  // 0 or 1
  int32_t autoConnect;
  char userName[64];
  char password[64];
};
static_assert(sizeof(PppoeRecord) == 136, "PPPoE record is 136 bytes");
int read_pppoe(const char* db, PppoeRecord* rec);
int write_pppoe(const char* db, const PppoeRecord* rec);

struct DdnsRecord {
  int32_t enable;  // 0 or 1
  char domain[64];
  char userName[32];
  char password[32];
  char hostName[128];
  char ddnsurl[128];
  char freeDNSHash[128];
  int32_t updateFreq;  // not negative
  int32_t http_port;
  int32_t rtsp_port;
};
static_assert(sizeof(DdnsRecord) == 528, "dynamic DNS record is 528 bytes");
static_assert(offsetof(DdnsRecord, updateFreq) == 516, "update interval at 516");
int read_ddns(const char* db, DdnsRecord* rec);
int write_ddns(const char* db, const DdnsRecord* rec);

constexpr int EMAIL_RECEIVERS = 3;
struct EmailReceiver {
  char receiverAddr[65];
  char receiverName[65];
};
struct EmailRecord {
  int32_t enable;
  char userName[65];
  char password[65];
  char smtpServer[65];
  int32_t smtpPort;  // not negative
  char senderAddr[65];
  char senderName[65];
  int32_t enableTls;        // 0, 1 or 2
  int32_t enableAttach;     // 0 or 1
  int32_t captureInterval;  // not negative
  EmailReceiver receivers[EMAIL_RECEIVERS];
};
static_assert(sizeof(EmailRecord) == 740, "e-mail record is 740 bytes");
static_assert(offsetof(EmailRecord, smtpPort) == 200, "SMTP port at 200");
static_assert(offsetof(EmailRecord, receivers) == 348, "receivers at 348");
int read_email(const char* db, EmailRecord* rec);
int write_email(const char* db, const EmailRecord* rec);

// Also the payload of request 1729.
struct MulticastRecord {
  int32_t enable;
  char ip[65];
  uint8_t reserved[3];
};
static_assert(sizeof(MulticastRecord) == 72, "multicast record is 72 bytes");
int read_multicast(const char* db, MulticastRecord* rec);
int write_multicast(const char* db, const MulticastRecord* rec);

// The last port kept for the PoE camera ports (from 23001; below it when
// there are none) and the check a changed service port passes (ports.cpp).
int poe_last_port();
bool port_change_ok(int old_port, int new_port, int poe_last);

struct SnmpRecord {
  int32_t v1_enable;
  int32_t v2c_enable;
  char write_community[64];
  char read_community[64];
  int32_t v3_enable;
  char read_security_name[64];
  int32_t read_level_security;
  int32_t read_auth_algorithm;
  char read_auth_password[64];
  int32_t read_pri_algorithm;
  char read_pri_password[64];
  char write_security_name[64];
  int32_t write_level_security;
  int32_t write_auth_algorithm;
  char write_auth_password[64];
  int32_t write_pri_algorithm;
  char write_pri_password[64];
  int32_t port;
};
static_assert(sizeof(SnmpRecord) == 552, "SNMP record is 552 bytes");
static_assert(offsetof(SnmpRecord, port) == 548, "port last");
int read_snmp(const char* db, SnmpRecord* rec);
int write_snmp(const char* db, const SnmpRecord* rec);

// P2P cloud service (one record, id 0); also the payload of 3700 and 3701.
struct P2pRecord {
  int32_t enable;
  uint8_t reserved[32];
  char cloud1[128];
  char cloud2[128];
  char cloud3[128];
  char cloud4[64];
  int32_t region;
};
static_assert(sizeof(P2pRecord) == 488, "P2P record is 488 bytes");
static_assert(offsetof(P2pRecord, cloud1) == 36, "first cloud text at 36");
static_assert(offsetof(P2pRecord, cloud2) == 164, "second cloud text at 164");
static_assert(offsetof(P2pRecord, cloud3) == 292, "third cloud text at 292");
static_assert(offsetof(P2pRecord, cloud4) == 420, "fourth cloud text at 420");
static_assert(offsetof(P2pRecord, region) == 484, "region at 484");
int read_p2p_info(const char* db, P2pRecord* rec);
int write_p2p_info(const char* db, const P2pRecord* rec);

// The core's P2P state (reply 8702).
struct P2pStatus {
  int32_t enable;
  int32_t p2pstatus;
  char model[32];
  char ipc[64];
  char cloudAccount[64];
  char cloudServer[64];
  char registerCode[128];
  char company[128];
  char email[128];
  char dealer[128];
  int32_t region;
};
static_assert(sizeof(P2pStatus) == 748, "P2P status is 748 bytes");
static_assert(offsetof(P2pStatus, model) == 8, "model at 8");
static_assert(offsetof(P2pStatus, ipc) == 40, "camera text at 40");
static_assert(offsetof(P2pStatus, cloudAccount) == 104, "cloud account at 104");
static_assert(offsetof(P2pStatus, cloudServer) == 168, "cloud server at 168");
static_assert(offsetof(P2pStatus, registerCode) == 232, "register code at 232");
static_assert(offsetof(P2pStatus, company) == 360, "company at 360");
static_assert(offsetof(P2pStatus, email) == 488, "e-mail at 488");
static_assert(offsetof(P2pStatus, dealer) == 616, "dealer at 616");
static_assert(offsetof(P2pStatus, region) == 744, "region at 744");

// Registration with the P2P server (568 bytes after the header).
struct P2pRegisterBody {
  char mac[24];
  char deviceName[32];
  char sn[64];
  char cloud1[128];
  char cloud2[128];
  char cloud3[128];
  char cloud4[64];
};
static_assert(sizeof(P2pRegisterBody) == 568, "registration body is 568 bytes");
static_assert(offsetof(P2pRegisterBody, sn) == 56, "serial number at 56");
static_assert(offsetof(P2pRegisterBody, cloud1) == 120, "first cloud text at 120");
static_assert(offsetof(P2pRegisterBody, cloud4) == 504, "fourth cloud text at 504");

// The header before each registration message, both ways.
struct P2pMsgHeader {
  int32_t type;  // 2: registration
  int32_t reserved0;
  int32_t size;    // encoded size of the message that follows
  int32_t result;  // the server's answer: 0 registered, 2 refused
  int32_t version;  // 1
  uint8_t reserved[20];
};
static_assert(sizeof(P2pMsgHeader) == 40, "registration header is 40 bytes");
static_assert(offsetof(P2pMsgHeader, result) == 12, "result at 12");

// Answers of "/7062".
constexpr int P2P_REG_OK = 0;
constexpr int P2P_REG_REFUSED = 2;
constexpr int P2P_REG_NETWORK = 3;
constexpr int P2P_REG_KEYFILE = 4;

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
// time.cpp
void on_get_time_info(char* text);
void on_set_time_info(char* text);
int on_set_systime_cb(const uint8_t* data, size_t len);
// services.cpp
void on_get_pppoe_info(char* text);
void on_set_pppoe_info(char* text);
void on_get_ddns_info(char* text);
void on_set_ddns_info(char* text);
void on_get_email_info(char* text);
void on_set_email_info(char* text);
void on_test_email(char* text);
void on_cgi_get_multicast(char* text);
void on_cgi_set_multicast(char* text);
void on_get_snmp_info(char* text);
void on_set_snmp_info(char* text);
int on_test_email_cb(const uint8_t* data, size_t len);
int on_cgi_set_multicast_cb(const uint8_t* data, size_t len);
void on_get_ddns_status(char* text);
int on_get_ddns_status_cb(const uint8_t* data, size_t len);
// p2p.cpp
void on_get_p2p_info(char* text);
void on_set_p2p_info(char* text);
void on_test_p2p(char* text);
void on_cgi_p2p_unbind_device(char* text);
int on_get_p2p_info_cb(const uint8_t* data, size_t len);
int on_set_p2p_enable_cb(const uint8_t* data, size_t len);
int on_set_p2p_disable_cb(const uint8_t* data, size_t len);
int on_cgi_p2p_unbind_device_cb(const uint8_t* data, size_t len);
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
