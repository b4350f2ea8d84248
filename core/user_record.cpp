#include "core/user_record.h"

#include <cctype>
#include <cstring>

#include "core/cgi_log.h"
#include "core/md5.h"
#include "core/strutil.h"

const char* const kLocalRightKeys[AREA_COUNT] = {
    "localLiveView", "localPlayback", "localRetrieve", "localSmartAnalysis", "localEvent",
    "localCamera",   "localStorage",  "localSettings", "localStatus",        "localShutdown"};
const char* const kRemoteRightKeys[AREA_COUNT] = {
    "remoteLiveView", "remotePlayback", "remoteRetrieve", "remoteSmartAnalysis", "remoteEvent",
    "remoteCamera",   "remoteStorage",  "remoteSettings", "remoteStatus",        "remoteShutdown"};

namespace {
// Takes each stored slot of the right size; a damaged one (another size)
// is logged and left free, so the other accounts still log in and an
// administrator can delete or overwrite it.
void take_user_slot(void* ctx, int id, const void* data, size_t size) {
  if (id < 0 || id >= USER_MAX) return;
  if (size != sizeof(UserRecord)) {
    CGI_LOG("user slot %d holds %zu bytes, expected %zu: skipped", id, size, sizeof(UserRecord));
    return;
  }
  std::memcpy(&static_cast<UserRecord*>(ctx)[id], data, sizeof(UserRecord));
}
}  // namespace

int read_all_users(const char* db, UserRecord (&users)[USER_MAX]) {
  std::memset(users, 0, sizeof users);
  const int rc = zrdb_visit_records(db, "user", take_user_slot, users);
  for (int i = 0; i < USER_MAX; ++i) {
    UserRecord& slot = users[i];
    // The slot is the id; texts from the store are used as C strings, so
    // make sure they end.
    slot.id = i;
    slot.name[sizeof slot.name - 1] = '\0';
    slot.password[sizeof slot.password - 1] = '\0';
    slot.localliveview[sizeof slot.localliveview - 1] = '\0';
    slot.localplayback[sizeof slot.localplayback - 1] = '\0';
    slot.remoteliveview[sizeof slot.remoteliveview - 1] = '\0';
    slot.remoteplayback[sizeof slot.remoteplayback - 1] = '\0';
    slot.extra[sizeof slot.extra - 1] = '\0';
  }
  return rc == 0 ? 0 : -1;
}

int find_user_by_name(const UserRecord (&users)[USER_MAX], const char* name) {
  if (!name || !*name) return -1;
  for (int i = 0; i < USER_MAX; ++i)
    if (users[i].enable && users[i].name[0] && std::strcmp(users[i].name, name) == 0) return i;
  return -1;
}

int count_users(const UserRecord (&users)[USER_MAX]) {
  int n = 0;
  for (const UserRecord& u : users)
    if (u.enable) ++n;
  return n;
}

int count_admins(const UserRecord (&users)[USER_MAX]) {
  int n = 0;
  for (const UserRecord& u : users)
    if (u.enable && u.type == USER_LEVEL_ADMIN) ++n;
  return n;
}

int first_free_user(const UserRecord (&users)[USER_MAX]) {
  for (int i = 0; i < USER_MAX; ++i)
    if (!users[i].enable) return i;
  return -1;
}

uint32_t channel_text_mask(const char* text, size_t size) {
  uint32_t mask = 0;
  if (!text) return mask;
  size_t len = strnlen(text, size);
  for (size_t n = 0; n < len && n < 32; ++n)
    if (text[n] == '1') mask |= 1u << n;
  return mask;
}

void update_channel_masks(UserRecord* rec) {
  if (!rec) return;
  rec->localliveview_mask = channel_text_mask(rec->localliveview, sizeof rec->localliveview);
  rec->localplayback_mask = channel_text_mask(rec->localplayback, sizeof rec->localplayback);
  rec->remoteliveview_mask = channel_text_mask(rec->remoteliveview, sizeof rec->remoteliveview);
  rec->remoteplayback_mask = channel_text_mask(rec->remoteplayback, sizeof rec->remoteplayback);
}

bool is_md5_digest(const char* text) {
  if (!text || std::strlen(text) != USER_DIGEST_LEN) return false;
  for (size_t i = 0; i < USER_DIGEST_LEN; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

bool digest_matches(const char* stored, const char* given) {
  if (!stored || !given) return false;
  // Lengths are checked without looking at the contents; the comparison
  // itself always walks all 32 characters.
  unsigned diff = 0;
  diff |= strnlen(stored, USER_DIGEST_LEN + 1) == USER_DIGEST_LEN ? 0u : 1u;
  diff |= strnlen(given, USER_DIGEST_LEN + 1) == USER_DIGEST_LEN ? 0u : 1u;
  char a[USER_DIGEST_LEN] = {};
  char b[USER_DIGEST_LEN] = {};
  std::memcpy(a, stored, strnlen(stored, USER_DIGEST_LEN));
  std::memcpy(b, given, strnlen(given, USER_DIGEST_LEN));
  for (size_t i = 0; i < USER_DIGEST_LEN; ++i) {
    unsigned x = static_cast<unsigned char>(a[i]);
    unsigned y = static_cast<unsigned char>(b[i]);
    // ASCII upper-case letters to lower case, without branching on data.
    x |= ((x - 'A') < 26u) << 5;
    y |= ((y - 'A') < 26u) << 5;
    diff |= x ^ y;
  }
  return diff == 0;
}

int seed_admin_user(const char* db, const char* password) {
  if (!db || !password) return -1;
  ZrdbTransaction txn(db);
  if (!txn.ok()) return -1;
  static UserRecord users[USER_MAX];
  if (read_all_users(db, users) != 0) return -1;
  int id = find_user_by_name(users, "admin");
  if (id < 0) id = users[0].enable ? first_free_user(users) : 0;
  if (id < 0) return -1;
  UserRecord rec;
  std::memset(&rec, 0, sizeof rec);
  rec.id = id;
  rec.enable = 1;
  copy_field(rec.name, "admin");
  copy_field(rec.password, md5_hex(password));
  rec.type = USER_LEVEL_ADMIN;
  const std::string all(64, '1');
  copy_field(rec.localliveview, all);
  copy_field(rec.localplayback, all);
  copy_field(rec.remoteliveview, all);
  copy_field(rec.remoteplayback, all);
  copy_field(rec.extra, "0");
  for (int a = 0; a < AREA_COUNT; ++a) {
    rec.local_rights[a] = 1;
    rec.remote_rights[a] = 1;
  }
  rec.permission = -1;
  rec.remote_permission = -1;
  update_channel_masks(&rec);
  if (write_user(db, &rec, id) != 0) return -1;
  return txn.commit() == 0 ? 0 : -1;
}
