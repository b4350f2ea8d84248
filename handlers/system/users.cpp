// Users and permissions.
// Serves "/6070", "/6071", "/6072", "/6073", "/6074", "/6075", "/6076", "/6077", "/1024".
#include "handlers/system/system.h"

namespace sysadmin {

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

// The texts of an account request are texts: a number or list is refused.
bool user_texts_readable(json_object* req) {
  return json_texts_readable(req, {"name", "password", "localliveview", "localplayback", "remoteliveview",
                                   "remoteplayback"});
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
  if (!user_texts_readable(req.get())) return;
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
  for (int a = 0; a < AREA_COUNT; ++a)
    if (!json_plain_int(req.get(), kLocalRightKeys[a], &rec.local_rights[a]) ||
        !json_plain_int(req.get(), kRemoteRightKeys[a], &rec.remote_rights[a]))
      return;
  copy_field(rec.extra, "0");
  if (write_user(ZRDB_PATH, &rec, id) != 0 || txn.commit() != 0) {
    CGI_LOG("adding user %s failed", rec.name);
    return;
  }
  // A session still held by the slot (left from an earlier account there)
  // never passes to the new account.
  session_end_account(id, nullptr);
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
  if (!take_strict_int(req.get(), "id", &id) || id < 0 || id >= USER_MAX || !user_texts_readable(req.get())) return;
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
  // The user list answers "password":"" (digests never leave the
  // recorder), so an empty password, as a listed record posted back gives
  // it, keeps the stored digest.
  char password[64];
  bool password_changed = false;
  if (json_take_text(req.get(), "password", password) && password[0]) {
    if (!is_md5_digest(password)) return;
    password_changed = !digest_matches(rec.password, password);
    copy_field(rec.password, field_view(password));
  }
  json_object* type_member = nullptr;
  if (json_object_object_get_ex(req.get(), "type", &type_member) &&
      (!take_strict_int(req.get(), "type", &rec.type) || rec.type < 0 || rec.type > USER_LEVEL_NO_LOGIN))
    return;
  // The recorder always keeps one administrator.
  if (old_type == USER_LEVEL_ADMIN && rec.type != USER_LEVEL_ADMIN && count_admins(g_users) <= 1) return;
  for (int a = 0; a < AREA_COUNT; ++a) {
    // An absent right keeps the stored one; a refused value changes nothing.
    if (json_int_member(req.get(), kLocalRightKeys[a], nullptr) == JSON_INT_BAD ||
        json_int_member(req.get(), kRemoteRightKeys[a], nullptr) == JSON_INT_BAD)
      return;
    json_take_int(req.get(), kLocalRightKeys[a], &rec.local_rights[a]);
    json_take_int(req.get(), kRemoteRightKeys[a], &rec.remote_rights[a]);
  }
  if (take_channel_texts(req.get(), &rec, true)) update_channel_masks(&rec);
  rec.enable = 1;
  if (write_user(ZRDB_PATH, &rec, id) != 0 || txn.commit() != 0) {
    CGI_LOG("changing user %d failed", id);
    return;
  }
  // Open sessions of the account follow the change at once. A new password
  // ends them all but the one that made the change, when it is the
  // account's own.
  session_update_account(id, g_users[id].name, rec.type != USER_LEVEL_NO_LOGIN, rec.name, rec.type,
                         access_rights_of(rec));
  if (password_changed) {
    const SessionRecord* self = session_current();
    const std::string keep = self && self->user_id == id ? std::string(field_view(self->id)) : std::string();
    session_end_account(id, keep.c_str());
  }
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
  session_update_account(id, nullptr, false, nullptr, 0, 0);
  notify_core(REQ_ACCOUNTS_CHANGED, &id, sizeof id);
  log_operation(LOG_USER_CHANGE, LOG_PARAM_USER_DELETE, 0);
  cgi_reply_ok();
}

void end_sessions_of_changed_accounts(const UserRecord (&before)[USER_MAX], bool before_known) {
  zrdb_close_all();  // the store was replaced underneath this process
  const bool now_known = read_all_users(ZRDB_PATH, g_users) == 0;
  bool ended[USER_MAX];
  int count = 0;
  for (int i = 0; i < USER_MAX; ++i) {
    ended[i] = !before_known || !now_known || std::memcmp(&before[i], &g_users[i], sizeof(UserRecord)) != 0;
    if (ended[i]) ++count;
  }
  if (count == 0) return;
  if (session_end_accounts(ended) != 0) CGI_LOG("sessions of %d changed accounts not ended", count);
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

}  // namespace sysadmin
