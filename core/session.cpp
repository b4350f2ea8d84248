#include "core/session.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/cgi_log.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "core/user_record.h"

namespace {
static_assert(SESSION_ACCOUNTS == USER_MAX, "the session store has room for every account");

// Makes every missing folder above path (the last one readable by its
// owner only). False, logged, when one cannot be made.
bool make_parent_dirs(const std::string& path) {
  const size_t last = path.rfind('/');
  if (last == std::string::npos || last == 0) return true;
  for (size_t i = 1; i <= last; ++i) {
    if (path[i] != '/') continue;
    const std::string dir = path.substr(0, i);
    if (mkdir(dir.c_str(), i == last ? 0700 : 0755) == 0 || errno == EEXIST) continue;
    CGI_LOG("cannot make %s: %s", dir.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

// A small file of N fixed records, read whole under an exclusive lock held
// for the owner's lifetime; save() writes back only the entries marked
// changed.
template <typename Rec, int N>
class LockedTable {
 public:
  explicit LockedTable(const std::string& path) : recs(N), dirty_(N, 0) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0 && (errno == ENOENT || errno == ENOTDIR) && make_parent_dirs(path))
      fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
      CGI_LOG("open %s: %s", path.c_str(), std::strerror(errno));
      return;
    }
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
    // A short or damaged file reads as free entries after what it holds.
    char* p = reinterpret_cast<char*>(recs.data());
    const size_t total = sizeof(Rec) * N;
    size_t got = 0;
    while (got < total) {
      ssize_t r = pread(fd_, p + got, total - got, static_cast<off_t>(got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    ok_ = true;
  }
  ~LockedTable() {
    if (fd_ >= 0) {
      flock(fd_, LOCK_UN);
      close(fd_);
    }
  }
  LockedTable(const LockedTable&) = delete;
  LockedTable& operator=(const LockedTable&) = delete;

  bool ok() const { return ok_; }
  Rec& at(int i) { return recs[static_cast<size_t>(i)]; }
  void mark(int i) { dirty_[static_cast<size_t>(i)] = 1; }
  void clear(int i) {
    std::memset(&recs[static_cast<size_t>(i)], 0, sizeof(Rec));
    mark(i);
  }
  bool save() {
    if (!ok_) return false;
    for (int i = 0; i < N; ++i) {
      if (!dirty_[static_cast<size_t>(i)]) continue;
      const char* p = reinterpret_cast<const char*>(&recs[static_cast<size_t>(i)]);
      const off_t at = static_cast<off_t>(sizeof(Rec)) * i;
      size_t done = 0;
      while (done < sizeof(Rec)) {
        ssize_t w = pwrite(fd_, p + done, sizeof(Rec) - done, at + static_cast<off_t>(done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
          CGI_LOG("session store write failed: %s", std::strerror(errno));
          return false;
        }
        done += static_cast<size_t>(w);
      }
      dirty_[static_cast<size_t>(i)] = 0;
    }
    return true;
  }

  std::vector<Rec> recs;

 private:
  std::vector<unsigned char> dirty_;
  int fd_ = -1;
  bool ok_ = false;
};

using SessionTable = LockedTable<SessionRecord, SESSION_MAX>;
using FailTable = LockedTable<LoginFailRecord, LOGIN_FAIL_SLOTS>;

SessionRecord g_current;
bool g_has_current = false;
bool g_checked = false;

// Whole-field equality in time independent of where the ids differ.
bool same_id(const char (&stored)[36], const char* id) {
  unsigned diff = 0;
  for (int i = 0; i < SESSION_ID_LEN; ++i) diff |= static_cast<unsigned char>(stored[i]) ^ static_cast<unsigned char>(id[i]);
  diff |= static_cast<unsigned char>(stored[SESSION_ID_LEN]);
  return diff == 0;
}

// An entry in use: a well-formed id and terminated texts (a damaged file
// never yields a session).
bool entry_in_use(const SessionRecord& r) {
  return strnlen(r.id, sizeof r.id) == SESSION_ID_LEN && session_id_valid(r.id) &&
         strnlen(r.user, sizeof r.user) < sizeof r.user &&
         strnlen(r.login_name, sizeof r.login_name) < sizeof r.login_name &&
         strnlen(r.addr, sizeof r.addr) < sizeof r.addr;
}

bool expired(const SessionRecord& r, int64_t now) { return now - r.last_used > SESSION_IDLE_SECONDS; }

// The group whose sessions count against one cap: the account slot, or
// SESSION_NO_ACCOUNT for sessions that belong to no account.
int group_of(int32_t user_id) { return user_id >= 0 && user_id < SESSION_ACCOUNTS ? user_id : SESSION_NO_ACCOUNT; }

// Frees expired and damaged entries.
void drop_expired(SessionTable& t, int64_t now) {
  for (int i = 0; i < SESSION_MAX; ++i) {
    const SessionRecord& r = t.at(i);
    if (r.id[0] && (!entry_in_use(r) || expired(r, now))) t.clear(i);
  }
}

// True when a was used before b: the use count orders uses however close
// together; the time of last use orders only entries taken over from the
// earlier store, which all count 0.
bool used_before(const SessionRecord& a, const SessionRecord& b) {
  if (a.use_count != b.use_count) return a.use_count < b.use_count;
  return a.last_used < b.last_used;
}

// The least recently used entry in use, of one group or (group_all) of all.
int least_recent(SessionTable& t, bool group_all, int group) {
  int found = -1;
  for (int i = 0; i < SESSION_MAX; ++i) {
    const SessionRecord& r = t.at(i);
    if (!r.id[0] || (!group_all && group_of(r.user_id) != group)) continue;
    if (found < 0 || used_before(r, t.at(found))) found = i;
  }
  return found;
}

// The use count of a use now: above every entry's.
uint64_t next_use(SessionTable& t) {
  uint64_t top = 0;
  for (const SessionRecord& r : t.recs)
    if (r.id[0] && entry_in_use(r) && r.use_count > top) top = r.use_count;
  return top == UINT64_MAX ? top : top + 1;
}

// The store file of earlier versions beside store_file.
std::string old_store_beside(const std::string& store_file) {
  const std::string old_name = std::string(SESSION_STORE_OLD_PATH).substr(std::strlen(SESSION_DIR));
  const size_t slash = store_file.rfind('/');
  return (slash == std::string::npos ? std::string() : store_file.substr(0, slash)) + old_name;
}

// Takes the sessions of an earlier version's store beside store_file into
// the free entries of t (under t's lock, so only one process does it) and
// removes that file: an upgrade ends no session.
void take_over_old_store(SessionTable& t, const std::string& store_file) {
  const std::string old_path = old_store_beside(store_file);
  const int fd = open(old_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return;
  std::vector<char> data;
  char buf[4096];
  for (;;) {
    const ssize_t r = read(fd, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    data.insert(data.end(), buf, buf + r);
    if (data.size() >= SESSION_OLD_RECORD_SIZE * SESSION_MAX) break;
  }
  close(fd);
  int free_at = 0;
  for (size_t off = 0; off + SESSION_OLD_RECORD_SIZE <= data.size() && off < SESSION_OLD_RECORD_SIZE * SESSION_MAX;
       off += SESSION_OLD_RECORD_SIZE) {
    SessionRecord rec;
    std::memset(&rec, 0, sizeof rec);
    std::memcpy(&rec, &data[off], SESSION_OLD_RECORD_SIZE);
    if (!rec.id[0] || !entry_in_use(rec)) continue;
    bool known = false;
    for (int i = 0; i < SESSION_MAX && !known; ++i) known = t.at(i).id[0] && same_id(t.at(i).id, rec.id);
    if (known) continue;
    while (free_at < SESSION_MAX && t.at(free_at).id[0]) ++free_at;
    if (free_at == SESSION_MAX) break;
    t.at(free_at) = rec;
    t.mark(free_at);
  }
  if (t.save() && unlink(old_path.c_str()) != 0 && errno != ENOENT)
    CGI_LOG("cannot remove %s: %s", old_path.c_str(), std::strerror(errno));
}

// The session store, locked, with the sessions of an earlier store taken
// over.
class Sessions : public SessionTable {
 public:
  explicit Sessions(const std::string& path) : SessionTable(path) {
    if (ok()) take_over_old_store(*this, path);
  }
};

int put_record(SessionTable& t, SessionRecord rec, int64_t now) {
  if (!t.ok() || !session_id_valid(rec.id)) return -1;
  if (!rec.login_name[0]) copy_field(rec.login_name, field_view(rec.user));
  drop_expired(t, now);
  rec.use_count = next_use(t);
  int slot = -1;
  for (int i = 0; i < SESSION_MAX && slot < 0; ++i)
    if (t.at(i).id[0] && same_id(t.at(i).id, rec.id)) slot = i;
  if (slot < 0) {
    // The account's own oldest session makes room for its ninth.
    const int group = group_of(rec.user_id);
    int held = 0;
    for (int i = 0; i < SESSION_MAX; ++i)
      if (t.at(i).id[0] && group_of(t.at(i).user_id) == group) ++held;
    if (held >= SESSION_PER_ACCOUNT) slot = least_recent(t, false, group);
  }
  for (int i = 0; i < SESSION_MAX && slot < 0; ++i)
    if (!t.at(i).id[0]) slot = i;
  if (slot < 0) slot = least_recent(t, true, 0);  // cannot happen: room for every account
  t.at(slot) = rec;
  t.mark(slot);
  return t.save() ? 0 : -1;
}
}  // namespace

bool session_id_valid(const char* id) {
  if (!id) return false;
  for (int i = 0; i < SESSION_ID_LEN; ++i)
    if (id[i] < '0' || id[i] > '9') return false;
  return id[SESSION_ID_LEN] == '\0';
}

bool session_make_id(char (&id)[SESSION_ID_LEN + 1]) {
  int n = 0;
  while (n < SESSION_ID_LEN) {
    unsigned char buf[48];
    if (!nvr_random_bytes(buf, sizeof buf)) {
      id[0] = '\0';
      return false;
    }
    // 250 is the largest multiple of 10 below 256: bytes above it are
    // dropped so that every digit is equally likely.
    for (unsigned char b : buf)
      if (b < 250 && n < SESSION_ID_LEN) id[n++] = static_cast<char>('0' + b % 10);
  }
  id[SESSION_ID_LEN] = '\0';
  return true;
}

int session_create(SessionRecord* rec) {
  if (!rec) return -1;
  char id[SESSION_ID_LEN + 1];
  if (!session_make_id(id)) {
    CGI_LOG("no random source for a session id");
    return -1;
  }
  copy_field(rec->id, id);
  if (!rec->login_name[0]) copy_field(rec->login_name, field_view(rec->user));
  const int64_t now = nvr_uptime();
  rec->created = now;
  rec->last_used = now;
  Sessions t(nvr_path(SESSION_STORE_PATH));
  return put_record(t, *rec, now);
}

int session_put_in(const std::string& store_file, const SessionRecord& rec) {
  Sessions t(store_file);
  return put_record(t, rec, rec.last_used);
}

int session_verify(const char* id, const char* user_name, const char* addr, SessionRecord* out) {
  if (!session_id_valid(id) || !user_name || !*user_name || !addr) return -1;
  Sessions t(nvr_path(SESSION_STORE_PATH));
  if (!t.ok()) return -1;
  const int64_t now = nvr_uptime();
  const uint64_t use = next_use(t);
  int found = -1;
  for (int i = 0; i < SESSION_MAX; ++i) {
    SessionRecord& r = t.at(i);
    if (!r.id[0] || !same_id(r.id, id)) continue;
    if (!entry_in_use(r) || expired(r, now)) {
      t.clear(i);
      continue;
    }
    // The id alone is not enough: the name the browser shows must be the
    // session's own (as it is now, or as it was at login: the cookie keeps
    // that one after a rename), and the request must come from where the
    // login did.
    const bool named = std::strcmp(r.user, user_name) == 0 || std::strcmp(r.login_name, user_name) == 0;
    if (!named || std::strcmp(r.addr, addr) != 0) continue;
    r.last_used = now;
    r.use_count = use;
    t.mark(i);
    if (out) *out = r;
    found = i;
  }
  t.save();
  return found >= 0 ? 0 : -1;
}

int session_end(const char* id) {
  if (!session_id_valid(id)) return -1;
  Sessions t(nvr_path(SESSION_STORE_PATH));
  if (!t.ok()) return -1;
  int removed = -1;
  for (int i = 0; i < SESSION_MAX; ++i) {
    if (t.at(i).id[0] && same_id(t.at(i).id, id)) {
      t.clear(i);
      removed = 0;
    }
  }
  t.save();
  return removed;
}

int session_update_account(int user_id, const char* old_name, bool keep, const char* name, int level,
                           uint32_t rights) {
  if (user_id < 0) return -1;
  Sessions t(nvr_path(SESSION_STORE_PATH));
  if (!t.ok()) return -1;
  for (int i = 0; i < SESSION_MAX; ++i) {
    SessionRecord& r = t.at(i);
    if (!r.id[0] || r.user_id != user_id) continue;
    // The slot and the name together make the account: a session of the
    // slot under another name is left from an earlier account there.
    const bool same_account = old_name && strnlen(r.user, sizeof r.user) < sizeof r.user &&
                              std::strcmp(r.user, old_name) == 0;
    if (keep && same_account) {
      if (name) copy_field(r.user, name);
      r.level = level;
      r.rights = rights;
      t.mark(i);
    } else {
      t.clear(i);
    }
  }
  return t.save() ? 0 : -1;
}

int session_end_account(int user_id, const char* keep_id) {
  if (user_id < 0) return -1;
  const bool keep_one = session_id_valid(keep_id);
  Sessions t(nvr_path(SESSION_STORE_PATH));
  if (!t.ok()) return -1;
  for (int i = 0; i < SESSION_MAX; ++i) {
    const SessionRecord& r = t.at(i);
    if (!r.id[0] || r.user_id != user_id) continue;
    if (keep_one && same_id(r.id, keep_id)) continue;
    t.clear(i);
  }
  return t.save() ? 0 : -1;
}

int session_end_accounts(const bool (&ended)[SESSION_ACCOUNTS]) {
  Sessions t(nvr_path(SESSION_STORE_PATH));
  if (!t.ok()) return -1;
  for (int i = 0; i < SESSION_MAX; ++i) {
    const SessionRecord& r = t.at(i);
    if (r.id[0] && r.user_id >= 0 && r.user_id < SESSION_ACCOUNTS && ended[r.user_id]) t.clear(i);
  }
  return t.save() ? 0 : -1;
}

int session_count() { return session_count_of(INT32_MIN); }

int session_count_of(int user_id) {
  Sessions t(nvr_path(SESSION_STORE_PATH));
  if (!t.ok()) return 0;
  const int64_t now = nvr_uptime();
  int n = 0;
  for (const SessionRecord& r : t.recs)
    if (r.id[0] && entry_in_use(r) && !expired(r, now) && (user_id == INT32_MIN || r.user_id == user_id)) ++n;
  return n;
}

const SessionRecord* session_current() { return g_has_current ? &g_current : nullptr; }

void session_set_current(const SessionRecord* rec) {
  g_checked = true;
  g_has_current = rec != nullptr;
  if (rec)
    g_current = *rec;
  else
    std::memset(&g_current, 0, sizeof g_current);
}

bool session_checked() { return g_checked; }

// ---- Login failures ------------------------------------------------------------
namespace {
int find_addr(FailTable& t, const char* addr) {
  for (int i = 0; i < LOGIN_FAIL_SLOTS; ++i) {
    const LoginFailRecord& r = t.at(i);
    if (r.addr[0] && strnlen(r.addr, sizeof r.addr) < sizeof r.addr && std::strcmp(r.addr, addr) == 0) return i;
  }
  return -1;
}
}  // namespace

bool login_blocked(const char* addr) {
  if (!addr) return false;
  FailTable t(nvr_path(LOGIN_FAIL_PATH));
  if (!t.ok()) return false;
  const int i = find_addr(t, addr);
  return i >= 0 && t.at(i).blocked_until > nvr_uptime();
}

void login_failed(const char* addr) {
  if (!addr) return;
  FailTable t(nvr_path(LOGIN_FAIL_PATH));
  if (!t.ok()) return;
  const int64_t now = nvr_uptime();
  int i = find_addr(t, addr);
  if (i < 0) {
    // A free entry, else the one that matters least: an entry blocking
    // nobody before a blocking one, the older before the newer.
    auto weight = [now](const LoginFailRecord& e) -> int64_t {
      if (!e.addr[0]) return INT64_MIN;
      return e.blocked_until > now ? INT64_MAX / 2 + e.blocked_until / 2 : e.window_start / 2;
    };
    i = 0;
    for (int j = 0; j < LOGIN_FAIL_SLOTS; ++j)
      if (weight(t.at(j)) < weight(t.at(i))) i = j;
    t.clear(i);
    copy_field(t.at(i).addr, addr);
  }
  LoginFailRecord& r = t.at(i);
  if (r.count == 0 || now - r.window_start >= LOGIN_FAIL_WINDOW || now < r.window_start) {
    r.count = 0;
    r.window_start = now;
  }
  if (++r.count >= LOGIN_FAIL_LIMIT) {
    r.blocked_until = now + LOGIN_BLOCK_SECONDS;
    r.count = 0;
  }
  t.mark(i);
  t.save();
}

void login_succeeded(const char* addr) {
  if (!addr) return;
  FailTable t(nvr_path(LOGIN_FAIL_PATH));
  if (!t.ok()) return;
  const int i = find_addr(t, addr);
  if (i < 0) return;
  t.clear(i);
  t.save();
}
