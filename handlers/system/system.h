// Private to the system module: shared records, helpers and the handlers and
// reply writers its table names.
#pragma once
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include "cgi/cgic.h"
#include "core/access.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/paths.h"
#include "core/session.h"
#include "core/strutil.h"
#include "core/user_record.h"
#include "handlers/modules.h"
#include "platform/zrdb.h"

void on_system_ipc_callback(void* ctx, void* header, void* payload);

namespace sysadmin {

// ---- Records and constants ---------------------------------------------------------
constexpr int REQ_MAIL_LOGIN = 3504;
constexpr int REPLY_MAIL_LOGIN = 8504;
constexpr int REQ_ACCOUNTS_CHANGED = 3505;
constexpr int REQ_POE_CAMERA_PASSWORD = 3265;
constexpr int REPLY_POE_CAMERA_PASSWORD = 8265;
constexpr int REQ_ACCOUNT_NOTICE = 3267;

constexpr int LOG_LOGIN = 201;
constexpr int LOG_LOGOUT = 202;
constexpr int LOG_USER_CHANGE = 204;
constexpr int LOG_PARAM_LOGIN = 900;
constexpr int LOG_PARAM_USER_ADD = 921;
constexpr int LOG_PARAM_USER_DELETE = 922;

// The login token of an e-mail link, zero-padded.
struct MailLoginRequest {
  char token[256];
};
static_assert(sizeof(MailLoginRequest) == 256, "mail login payload is 256 bytes");

constexpr char kSslDir[] = "/mnt/nand/ssl";
constexpr char kSslTmpDir[] = "/mnt/nand/ssl/tmp";
constexpr char kLangFileFormat[] = "/opt/app/www/webfile/json/%s.json";
constexpr char kLangList[] = "/opt/app/www/webfile/json/languages.json";
constexpr char kLangListTemp[] = "/opt/app/www/webfile/json/languages_bak.json";
constexpr char kLockFile[] = "/tmp/cgilockfile";
constexpr size_t kLangPageMax = 307200;  // reply buffer, terminator included
constexpr size_t kLangListMin = 19;
constexpr int kMailCookieSeconds = 600;

extern UserRecord g_users[USER_MAX];
const char* client_addr();
void reply_text(const char* text);
void add_account_rights(json_object* o, const UserRecord& u, const char* remote_permission_key);
bool take_strict_int(json_object* obj, const char* key, int32_t* out);
void on_user_login_from_mail_cb(const void* payload, uint32_t length);
void on_modify_poe_camera_pwd_cb(const void* payload, uint32_t length);

// ---- Login and session ----
void on_user_login(char* text);
void on_change_language(char* text);
void on_user_logout(char*);
void on_user_login_from_mail(char* text);
void on_get_language_page(char* text);

// ---- Users and permissions ----
void on_get_user_list(char*);
void on_add_new_user(char* text);
void on_set_user_info(char* text);
void on_del_user_info(char* text);
void on_get_oem_user_list(char*);
void on_modify_poe_camera_pwd(char*);
void on_send_account_notice(char*);
void on_cgi_set_user_info(char*);
void on_clear_permission_update(char*);
// After the accounts were replaced wholesale (an import): ends the
// sessions of every account slot whose record differs from before (removed,
// renamed, another password, level or rights). before_known false (the
// accounts could not be read before), or accounts unreadable now: every
// account's sessions end.
void end_sessions_of_changed_accounts(const UserRecord (&before)[USER_MAX], bool before_known);

// ---- Maintenance ----
void on_restart_device(char*);
void on_get_restart_state(char*);
void on_restore_device(char* text);
void on_export_config(char*);
void on_import_config(char* text);
void on_get_system_info(char*);
void on_upgrade_system(char* text);
void on_clean_upgrade_files(char*);
void on_set_system_info(char* text);
void on_download_config(char*);
void on_get_auto_maintenance(char*);
void on_set_auto_maintenance(char* text);
void on_upload_placeholder(char*);
void on_clear_fs_dbup(char*);
void on_get_auto_reboot(char*);
void on_set_auto_reboot(char* text);
void on_cgi_upgrade_system_init(char*);
void on_get_general_info(char*);
void on_set_general_info(char* text);
void on_get_system_info_cb(const void* payload, uint32_t length);

// ---- Logs ----
void on_get_log_info(char* text);
void on_download_logfile(char* text);
void on_get_log_types(char* text);
void on_get_log_details(char* text);
void on_check_download_log(char*);
void on_get_log_info_cb(const void* payload, uint32_t length);
void on_download_logfile_cb(const void* payload, uint32_t length);
void on_get_log_details_cb(const void* payload, uint32_t length);

// ---- Access filter, diagnostics, OEM package, camera addresses ----
void on_get_access_filter(char*);
void on_set_access_filter(char* text);
void on_export_diagnosis(char*);
void on_download_diagnosis(char* text);
void on_upload_oem(char* text);
void on_set_camera_ips(char* text);
void on_disabled_download(char*);
void on_export_diagnosis_cb(const void* payload, uint32_t length);

// ---- UPnP port mapping ----
constexpr int REQ_UPNP_SET = 3720;  // UpnpRecord
// One record (id 0), written by the core; also the payload of request 3720.
struct UpnpRecord {
  int32_t enable;
  int32_t type;
  int32_t external_http_port;
  int32_t http_status;
  int32_t external_rtsp_port;
  int32_t rtsp_status;
  uint8_t reserved[128];
};
static_assert(sizeof(UpnpRecord) == 152, "UPnP record is 152 bytes");
int read_upnp(const char* db, UpnpRecord* rec);
void on_get_upnp_info(char*);
void on_set_upnp_info(char* text);

// ---- Audio files ----
// Status of the last audio reply (9013 to 9016), -1 before one came.
extern int g_audio_status;
void on_get_audio_file_list(char*);
void on_upload_audio_file(char* text);
void on_add_audio_file(char* text);
void on_delete_audio_files(char* text);
void on_rename_audio_file(char* text);
void on_audio_file_command(char* text);
void on_get_audio_file_list_cb(const void* payload, uint32_t length);
void on_audio_status_cb(const void* payload, uint32_t length);

// ---- Factory command interface ----
void on_factory_command(char* text);

// ---- Camera firmware and online upgrade ----
void on_upgrade_camera(char*);
void on_start_upgrade_camera(char* text);
void on_stop_upgrade_camera(char*);
void on_get_online_upgrade(char* text);
void on_del_online_upgrade(char* text);
void on_check_nvr_online_upgrade(char*);
void on_nvr_online_upgrade(char*);
void on_check_ipc_online_upgrade(char* text);
void on_upgrade_result_cb(const void* payload, uint32_t length);
void on_start_upgrade_camera_cb(const void* payload, uint32_t length);
void on_get_online_upgrade_cb(const void* payload, uint32_t length);
void on_del_online_upgrade_cb(const void* payload, uint32_t length);
void on_check_nvr_online_upgrade_cb(const void* payload, uint32_t length);
void on_check_ipc_online_upgrade_cb(const void* payload, uint32_t length);

}  // namespace sysadmin
