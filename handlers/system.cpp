// System administration: login and session, language texts, users and
// permissions. Request table whose first name is "/1000".
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

namespace {
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
bool take_strict_int(json_object* obj, const char* key, int32_t* out) {
  json_object* v = nullptr;
  if (!obj || !json_object_object_get_ex(obj, key, &v) || !v) return false;
  if (json_object_is_type(v, json_type_int)) {
    const int64_t n = json_object_get_int64(v);
    if (n < INT32_MIN || n > INT32_MAX) return false;
    *out = static_cast<int32_t>(n);
    return true;
  }
  int n = 0;
  if (!json_object_is_type(v, json_type_string) || !parse_int_strict(json_object_get_string(v), &n)) return false;
  *out = n;
  return true;
}

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

// ---- Login and session -----------------------------------------------------------------
// The certificate directories must exist before anything uses them.
void config_ssl_params() {
  for (const char* dir : {kSslDir, kSslTmpDir}) {
    const std::string path = nvr_path(dir);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) continue;
    if (mkdir(path.c_str(), 0755) != 0) CGI_LOG("mkdir %s failed: %s", path.c_str(), std::strerror(errno));
  }
}

void on_user_login(char* text) {
  if (!text || !*text) return;
  JsonPtr req(get_request_tokener_json_object(text));
  if (!req || !json_object_is_type(req.get(), json_type_object)) return;
  config_ssl_params();

  char name[256];
  char md5[USER_DIGEST_LEN + 1];
  json_get_text(req.get(), "userName", name);
  json_get_text(req.get(), "md5", md5);

  // A blocked address is not even checked: guessing goes nowhere.
  const bool blocked = login_blocked(client_addr());
  int type = -1;
  UserRecord user;
  std::memset(&user, 0, sizeof user);
  if (!blocked && name[0] && md5[0] && read_all_users(ZRDB_PATH, g_users) == 0) {
    const int id = find_user_by_name(g_users, name);
    if (id >= 0) {
      user = g_users[id];
      if (digest_matches(user.password, md5) && user.type >= 0 && user.type < USER_LEVEL_NO_LOGIN)
        type = user.type;
      if (user.type == USER_LEVEL_NO_LOGIN) type = -2;
    }
  }
  if (!blocked && type < 0) login_failed(client_addr());

  const int failover = get_param_int(ZRDB_PATH, "failover_mode", 0);
  const int same_channel = get_param_int(ZRDB_PATH, "same_channel_exist", 0);
  char hardware[32];
  get_param_value(ZRDB_PATH, "hardware_version", hardware, sizeof hardware, "V1.1");

  SessionRecord session;
  std::memset(&session, 0, sizeof session);
  if (type >= 0) {
    copy_field(session.user, field_view(user.name));
    copy_field(session.addr, client_addr());
    session.user_id = user.id;
    session.level = user.type;
    session.rights = access_rights_of(user);
    if (session_create(&session) != 0) {
      CGI_LOG("session store unavailable, login of %s refused", user.name);
      type = -1;
    } else {
      login_succeeded(client_addr());
    }
  }

  JsonPtr reply(json_object_new_object());
  json_add_int(reply.get(), "type", type);
  if (type >= 0) {
    json_object* o = reply.get();
    json_add_field(o, "userName", user.name);
    add_account_rights(o, user, "remotePermisson");
    json_add_field(o, "sessionId", session.id);
    json_add_int(o, "failoverMode", failover);
    json_add_int(o, "sameChannel", same_channel == 2 ? 1 : 0);
    json_add_field(o, "hardwareVersion", hardware);
    char software[64];
    char model[64];
    get_param_value(ZRDB_PATH, "software_version", software, sizeof software, "7x.7.0.9");
    get_param_value(ZRDB_PATH, "model", model, sizeof model, "");
    json_add_field(o, "softwareVersion", software);
    json_add_field(o, "model", model);

    OperationLogInfo info;
    cgi_init_log_info(&info);
    info.sub_type = LOG_LOGIN;
    info.param = LOG_PARAM_LOGIN;
    copy_field(info.user_name, field_view(user.name));
    notify_core(REQ_OPERATION_LOG, &info, sizeof info);
  }
  reply_text(cgi_json_text(reply.get()));
}

// Writes the whole text to a new file, checking every step; the file is
// removed again on failure.
bool write_file_checked(const std::string& path, const char* text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const size_t len = std::strlen(text);
  bool ok = len > 0 && std::fwrite(text, 1, len, f) == len;
  ok = std::fflush(f) == 0 && ok;
  ok = fsync(fileno(f)) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) unlink(path.c_str());
  return ok;
}

bool non_empty_string(json_object* obj, const char* key) {
  json_object* v = json_member(obj, key, json_type_string);
  return v && json_object_get_string_len(v) > 0;
}

void on_change_language(char* text) {
  JsonPtr req(get_request_tokener_json_object(text));
  if (!req || !json_object_is_type(req.get(), json_type_object)) return;
  if (!non_empty_string(req.get(), "defaultLan")) return;
  json_object* list = json_array_member(req.get(), "list");
  const size_t n = json_array_size(list);
  if (n == 0) return;
  for (size_t i = 0; i < n; ++i) {
    json_object* item = json_object_array_get_idx(list, i);
    if (!item || !json_object_is_type(item, json_type_object)) return;
    if (!non_empty_string(item, "value") || !non_empty_string(item, "name")) return;
    if (!json_member(item, "isDefault", json_type_boolean)) return;
  }
  if (json_object_object_length(req.get()) != 2) return;
  if (n < kLangListMin) return;

  const int lock = file_lock(nvr_path(kLockFile).c_str());
  if (lock < 0) return;
  // The new list goes to a file of its own first and replaces the old one
  // in one rename: a failure on the way leaves the old list as it was.
  const std::string temp = nvr_path(kLangListTemp);
  bool ok = write_file_checked(temp, text);
  if (ok && std::rename(temp.c_str(), nvr_path(kLangList).c_str()) != 0) {
    CGI_LOG("language list rename failed: %s", std::strerror(errno));
    unlink(temp.c_str());
    ok = false;
  }
  file_unlock(lock);
  if (ok) cgi_reply_ok();
}

void on_user_logout(char*) {
  log_operation(LOG_LOGOUT, LOG_PARAM_LOGIN, 0);
  if (const SessionRecord* s = session_current()) {
    const std::string id(field_view(s->id));
    session_end(id.c_str());
  }
  cgi_reply_ok();
}

void on_user_login_from_mail(char* text) {
  if (login_blocked(client_addr())) {
    cgiHeaderLocation("../../html/home.html");
    return;
  }
  MailLoginRequest req;
  std::memset(&req, 0, sizeof req);
  copy_field(req.token, text ? text : "");
  cgi_ipc_exchange(on_system_ipc_callback, REQ_MAIL_LOGIN, &req, sizeof req, CGI_KIND_TEXT);
}

// The value of key ("lang=" ...) up to the next '&'; false when the key is
// absent or no '&' follows.
bool query_value(const char* text, const char* key, char* out, size_t size) {
  const char* hit = std::strstr(text, key);
  if (!hit) return false;
  const char* value = hit + std::strlen(key);
  const char* end = std::strchr(value, '&');
  if (!end) return false;
  copy_text(out, size, std::string_view(value, static_cast<size_t>(end - value)));
  return true;
}

void on_get_language_page(char* text) {
  const char* query = text ? text : "";
  char lang[64] = "";
  char page[128] = "";
  char sub[128] = "";
  query_value(query, "lang=", lang, sizeof lang);
  query_value(query, "page=", page, sizeof page);
  const bool has_sub = query_value(query, "sub=", sub, sizeof sub) && sub[0];
  if (!page[0]) {
    reply_text("ERROR PAGE.");
    return;
  }
  // The markers are cut at 127 characters, like every text of this page.
  char start[128];
  char end[128];
  const std::string marker = has_sub ? string_printf("//%s=%s.json", page, sub) : string_printf("//%s.json", page);
  copy_field(start, "{" + marker);
  copy_field(end, "}" + marker);
  // The language names a file in the language directory, nothing else.
  if (!lang[0] || std::strchr(lang, '/') || std::strstr(lang, "..")) {
    reply_text("ERROR LANG.");
    return;
  }
  FILE* f = std::fopen(nvr_path(string_printf(kLangFileFormat, lang)).c_str(), "r");
  if (!f) {
    reply_text("ERROR LANG.");
    return;
  }
  std::string out;
  bool inside = false;
  char line[1024];
  auto append = [&out](const char* s) {
    const size_t room = kLangPageMax - 1 - out.size();
    const size_t len = std::strlen(s);
    out.append(s, len < room ? len : room);
  };
  while (std::fgets(line, sizeof line, f)) {
    if (!inside) {
      if (std::strstr(line, start)) {
        inside = true;
        append("{\n");
      }
      continue;
    }
    if (std::strstr(line, end)) {
      append("\n}");
      break;
    }
    append(line);
  }
  std::fclose(f);
  cgi_writeback_webserver(CGI_KIND_JSON, out.c_str());
}

// ---- Users and permissions -----------------------------------------------------------
void on_get_user_list(char*) {
  if (read_all_users(ZRDB_PATH, g_users) != 0) CGI_LOG("user list unreadable");
  JsonPtr list(json_object_new_array());
  for (const UserRecord& u : g_users) {
    if (!u.enable) continue;
    json_object* o = json_object_new_object();
    json_add_int(o, "id", u.id);
    json_add_int(o, "enable", u.enable);
    json_add_field(o, "name", u.name);
    json_add_field(o, "password", "");  // digests never leave the recorder
    json_add_int(o, "type", u.type);
    add_account_rights(o, u, "remotePermission");
    json_object_array_add(list.get(), o);
  }
  cgi_write_json(list.get());
}

// The four channel texts of a request; with checked true absent keys keep
// the stored text. True when any text was present.
bool take_channel_texts(json_object* req, UserRecord* rec, bool checked) {
  struct Field {
    const char* key;
    char* text;
  } fields[] = {{"localliveview", rec->localliveview},
                {"localplayback", rec->localplayback},
                {"remoteliveview", rec->remoteliveview},
                {"remoteplayback", rec->remoteplayback}};
  bool any = false;
  for (const Field& f : fields) {
    // Texts of at most 64 characters, whatever the request holds.
    if (checked)
      any |= json_take_text(req, f.key, f.text, sizeof rec->localliveview);
    else
      json_get_text(req, f.key, f.text, sizeof rec->localliveview);
  }
  return any || !checked;
}

void on_add_new_user(char* text) {
  ZrdbTransaction txn(ZRDB_PATH);
  if (!txn.ok() || read_all_users(ZRDB_PATH, g_users) != 0) return;
  if (count_users(g_users) >= USER_MAX) {
    reply_text("FAILED_FULL");
    return;
  }
  JsonPtr req(get_request_tokener_json_object(text));
  if (!req || !json_object_is_type(req.get(), json_type_object)) return;
  int32_t type = 0, permission = 0, remote_permission = 0;
  if (!take_strict_int(req.get(), "type", &type) || type < 0 || type > USER_LEVEL_NO_LOGIN) return;
  if (!take_strict_int(req.get(), "permission", &permission) || permission < -1) return;
  if (!take_strict_int(req.get(), "remotePermission", &remote_permission) || remote_permission < -1) return;
  char name[64];
  char password[64];
  json_get_text(req.get(), "name", name);
  json_get_text(req.get(), "password", password);
  // An account needs a name and a real digest: an empty one could never
  // be told apart from a free slot.
  if (!name[0] || !is_md5_digest(password)) return;

  char short_name[32];
  copy_field(short_name, name);
  if (find_user_by_name(g_users, short_name) >= 0 || find_user_by_name(g_users, name) >= 0) {
    reply_text("SAMEUSER");
    return;
  }
  const int id = first_free_user(g_users);
  if (id < 0) {
    reply_text("FAILED_FULL");
    return;
  }
  UserRecord rec;
  std::memset(&rec, 0, sizeof rec);
  rec.id = id;
  rec.enable = 1;
  copy_field(rec.name, name);
  copy_field(rec.password, password);
  rec.type = type;
  rec.permission = permission;
  rec.remote_permission = remote_permission;
  take_channel_texts(req.get(), &rec, false);
  update_channel_masks(&rec);
  for (int a = 0; a < AREA_COUNT; ++a) {
    rec.local_rights[a] = json_get_int(req.get(), kLocalRightKeys[a]);
    rec.remote_rights[a] = json_get_int(req.get(), kRemoteRightKeys[a]);
  }
  copy_field(rec.extra, "0");
  if (write_user(ZRDB_PATH, &rec, id) != 0 || txn.commit() != 0) {
    CGI_LOG("adding user %s failed", rec.name);
    return;
  }
  notify_core(REQ_ACCOUNTS_CHANGED, nullptr, 0);
  log_operation(LOG_USER_CHANGE, LOG_PARAM_USER_ADD, 0);
  char answer[16];
  std::snprintf(answer, sizeof answer, "id=%d", id);
  reply_text(answer);
}

void on_set_user_info(char* text) {
  JsonPtr req(get_request_tokener_json_object(text));
  if (!req || !json_object_is_type(req.get(), json_type_object)) return;
  int32_t id = -1;
  if (!take_strict_int(req.get(), "id", &id) || id < 0 || id >= USER_MAX) return;
  ZrdbTransaction txn(ZRDB_PATH);
  if (!txn.ok() || read_all_users(ZRDB_PATH, g_users) != 0) return;
  UserRecord rec = g_users[id];
  if (!rec.enable) return;  // only accounts in use can be changed
  const int32_t old_type = rec.type;

  char name[64];
  if (json_take_text(req.get(), "name", name)) {
    char short_name[32];
    copy_field(short_name, name);
    if (!short_name[0]) return;
    const int other = find_user_by_name(g_users, short_name);
    if (other >= 0 && other != id) {
      reply_text("SAMEUSER");
      return;
    }
    copy_field(rec.name, field_view(short_name));
  }
  char password[64];
  if (json_take_text(req.get(), "password", password)) {
    if (!is_md5_digest(password)) return;
    copy_field(rec.password, field_view(password));
  }
  json_object* type_member = nullptr;
  if (json_object_object_get_ex(req.get(), "type", &type_member) &&
      (!take_strict_int(req.get(), "type", &rec.type) || rec.type < 0 || rec.type > USER_LEVEL_NO_LOGIN))
    return;
  // The recorder always keeps one administrator.
  if (old_type == USER_LEVEL_ADMIN && rec.type != USER_LEVEL_ADMIN && count_admins(g_users) <= 1) return;
  for (int a = 0; a < AREA_COUNT; ++a) {
    json_take_int(req.get(), kLocalRightKeys[a], &rec.local_rights[a]);
    json_take_int(req.get(), kRemoteRightKeys[a], &rec.remote_rights[a]);
  }
  if (take_channel_texts(req.get(), &rec, true)) update_channel_masks(&rec);
  rec.enable = 1;
  if (write_user(ZRDB_PATH, &rec, id) != 0 || txn.commit() != 0) {
    CGI_LOG("changing user %d failed", id);
    return;
  }
  // Open sessions of the account follow the change at once.
  session_update_account(id, rec.type != USER_LEVEL_NO_LOGIN, rec.name, rec.type, access_rights_of(rec));
  notify_core(REQ_ACCOUNTS_CHANGED, &id, sizeof id);
  cgi_reply_ok();
}

void on_del_user_info(char* text) {
  JsonPtr req(get_request_tokener_json_object(text));
  if (!req || !json_object_is_type(req.get(), json_type_object)) return;
  int32_t id = -1, type = -1;
  if (!take_strict_int(req.get(), "id", &id) || id < 0 || id >= USER_MAX) return;
  if (!take_strict_int(req.get(), "type", &type) || type < 0 || type > USER_LEVEL_NO_LOGIN) return;
  ZrdbTransaction txn(ZRDB_PATH);
  if (!txn.ok() || read_all_users(ZRDB_PATH, g_users) != 0) return;
  const UserRecord& old = g_users[id];
  if (old.enable && old.type == USER_LEVEL_ADMIN && count_admins(g_users) <= 1) return;
  UserRecord rec;
  std::memset(&rec, 0, sizeof rec);
  rec.id = id;
  rec.enable = 0;
  if (write_user(ZRDB_PATH, &rec, id) != 0 || txn.commit() != 0) {
    CGI_LOG("deleting user %d failed", id);
    return;
  }
  session_update_account(id, false, nullptr, 0, 0);
  notify_core(REQ_ACCOUNTS_CHANGED, &id, sizeof id);
  log_operation(LOG_USER_CHANGE, LOG_PARAM_USER_DELETE, 0);
  cgi_reply_ok();
}

void on_get_oem_user_list(char*) {
  struct stat st {};
  if (stat(nvr_path(OEM_DB_PATH).c_str(), &st) != 0) return;
  if (read_all_users(OEM_DB_PATH, g_users) != 0) CGI_LOG("OEM accounts unreadable");
  JsonPtr list(json_object_new_array());
  for (const UserRecord& u : g_users) {
    if (!u.enable) continue;
    json_object* o = json_object_new_object();
    json_add_int(o, "id", u.id);
    json_add_int(o, "enable", u.enable);
    json_add_field(o, "name", u.name);
    json_add_field(o, "password", u.password);
    json_add_int(o, "type", u.type);
    json_add_int(o, "permission", u.permission);
    json_add_int(o, "remotePermission", u.remote_permission);
    json_object_array_add(list.get(), o);
  }
  cgi_write_json(list.get());
}

void on_modify_poe_camera_pwd(char*) {
  cgi_ipc_exchange(on_system_ipc_callback, REQ_POE_CAMERA_PASSWORD, nullptr, 0, CGI_KIND_JSON);
}

void on_send_account_notice(char*) {
  notify_core(REQ_ACCOUNT_NOTICE, nullptr, 0);
  cgi_reply_ok();
}

void on_cgi_set_user_info(char*) {
  notify_core(REQ_ACCOUNTS_CHANGED, nullptr, 0);
  cgi_reply_ok();
}

void on_clear_permission_update(char*) {
  set_param_int(ZRDB_PATH, "permission_update", 0);
  cgi_reply_ok();
}
}  // namespace

// ---- Reply dispatcher ---------------------------------------------------------------------
void on_system_ipc_callback(void*, void* header, void* payload) {
  if (!payload || !header) return;
  const uint32_t length = cgi_reply_length(header);
  switch (cgi_reply_type(header)) {
    case REPLY_MAIL_LOGIN:
      on_user_login_from_mail_cb(payload, length);
      break;
    case REPLY_POE_CAMERA_PASSWORD:
      on_modify_poe_camera_pwd_cb(payload, length);
      break;
    default:
      break;
  }
}

// ---- Request table ------------------------------------------------------------------------
namespace {
const WebRes kSystemTable[] = {
    {"/1000", on_user_login},
    {"/1001", on_change_language},
    {"/1014", on_user_logout},
    {"/1018", on_user_login_from_mail},
    {"/json", on_get_language_page},
    {"/6070", on_get_user_list},
    {"/6071", on_add_new_user},
    {"/6072", on_set_user_info},
    {"/6073", on_del_user_info},
    {"/6074", on_get_oem_user_list},
    {"/6075", on_modify_poe_camera_pwd},
    {"/6076", on_send_account_notice},
    {"/6077", on_cgi_set_user_info},
    {"/1024", on_clear_permission_update},
};
}  // namespace

NVR_DEFINE_MODULE(system, kSystemTable)
