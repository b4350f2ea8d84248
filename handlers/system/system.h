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

}  // namespace sysadmin
