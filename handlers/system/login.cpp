// Login and session.
// Serves "/1000", "/1001", "/1014", "/1018", "/json".
#include "handlers/system/system.h"

namespace sysadmin {

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
      // Not the user's fault: no wrong-password reply and no failure counted.
      CGI_LOG("session store unavailable, login of %s refused", user.name);
      cgi_error_to_webserver(CGI_KIND_TEXT);
      return;
    }
    login_succeeded(client_addr());
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

}  // namespace sysadmin
