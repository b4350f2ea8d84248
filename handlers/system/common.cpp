// Helpers shared by the system module's page files.
#include "handlers/system/system.h"

namespace sysadmin {

// Every account record is 540 bytes: one table per request, outside the
// stack.
UserRecord g_users[USER_MAX];

const char* client_addr() { return cgiRemoteAddr ? cgiRemoteAddr : ""; }

void reply_text(const char* text) { cgi_writeback_webserver(CGI_KIND_TEXT, text); }

// The permission, rights and channel texts of an account, as the login reply
// and the user list give them; the two pages spell the remote permission key
// differently.
void add_account_rights(json_object* o, const UserRecord& u, const char* remote_permission_key) {
  json_add_int(o, "permission", u.permission);
  for (int a = 0; a < AREA_COUNT; ++a) json_add_int(o, kLocalRightKeys[a], u.local_rights[a]);
  json_add_field(o, "localliveview", u.localliveview);
  json_add_field(o, "localplayback", u.localplayback);
  json_add_int(o, remote_permission_key, u.remote_permission);
  for (int a = 0; a < AREA_COUNT; ++a) json_add_int(o, kRemoteRightKeys[a], u.remote_rights[a]);
  json_add_field(o, "remoteliveview", u.remoteliveview);
  json_add_field(o, "remoteplayback", u.remoteplayback);
}

// An id, level or summary value: a JSON integer or a decimal text. Other
// values ("x", 1.5, objects) are refused instead of read as 0, which for a
// level would mean an administrator.
bool take_strict_int(json_object* obj, const char* key, int32_t* out) { return json_strict_int(obj, key, out); }

// ---- Reply writers ----------------------------------------------------------------------
void on_user_login_from_mail_cb(const void* payload, uint32_t length) {
  if (length < sizeof(int32_t)) return;
  int32_t result;
  std::memcpy(&result, payload, sizeof result);
  SessionRecord session;
  std::memset(&session, 0, sizeof session);
  bool ok = result == 0;
  if (ok) {
    // A link from a mail is good for watching, never for administering.
    copy_field(session.user, "temp");
    copy_field(session.addr, client_addr());
    session.user_id = SESSION_NO_ACCOUNT;
    session.level = 2;
    session.rights = ACCESS_VIEWER_RIGHTS;
    if (session_create(&session) != 0) {
      CGI_LOG("no session for a mail login");
      ok = false;
    }
  } else {
    login_failed(client_addr());
  }
  if (!ok) {
    cgiHeaderLocation("../../html/home.html");
  } else {
    const char* host = cgiServerAddr ? cgiServerAddr : "";
    char domain[50];
    copy_field(domain, std::string_view(host, std::strcspn(host, ":")));
    const std::string id(field_view(session.id));
    cgiHeaderCookieSetString("userName", "temp", kMailCookieSeconds, "/", domain);
    cgiHeaderCookieSetString("userType", "2", kMailCookieSeconds, "/", domain);
    cgiHeaderCookieSetString("permission", "0", kMailCookieSeconds, "/", domain);
    cgiHeaderCookieSetString("sessionId", id.c_str(), kMailCookieSeconds, "/", domain);
    cgiHeaderCookieSetString("language", "en-US", kMailCookieSeconds, "/", domain);
    cgiHeaderLocation("../../html/index.html");
  }
  std::fflush(cgiOut ? cgiOut : stdout);
  g_callback_done = 1;
}

void on_modify_poe_camera_pwd_cb(const void* payload, uint32_t length) {
  if (length < sizeof(int32_t)) return;
  int32_t result;
  std::memcpy(&result, payload, sizeof result);
  reply_text(std::to_string(result).c_str());
  g_callback_done = 1;
}

}  // namespace sysadmin
