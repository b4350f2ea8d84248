#include "core/session.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/cgi_log.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/strutil.h"

namespace {
// A small file of N fixed records, read whole and written back whole under
// an exclusive lock held for the owner's lifetime.
template <typename Rec, int N>
class LockedTable {
 public:
  explicit LockedTable(const std::string& path) {
    std::memset(recs, 0, sizeof recs);
    // The folder is made on first use, readable by its owner only.
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) mkdir(path.substr(0, slash).c_str(), 0700);
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
    char* p = reinterpret_cast<char*>(recs);
    size_t got = 0;
    while (got < sizeof recs) {
      ssize_t r = pread(fd_, p + got, sizeof recs - got, static_cast<off_t>(got));
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
  bool save() {
    if (!ok_) return false;
    const char* p = reinterpret_cast<const char*>(recs);
    size_t done = 0;
    while (done < sizeof recs) {
      ssize_t w = pwrite(fd_, p + done, sizeof recs - done, static_cast<off_t>(done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        CGI_LOG("session store write failed: %s", std::strerror(errno));
        return false;
      }
      done += static_cast<size_t>(w);
    }
    return ftruncate(fd_, static_cast<off_t>(sizeof recs)) == 0;
  }

  Rec recs[N];

 private:
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
         strnlen(r.user, sizeof r.user) < sizeof r.user && strnlen(r.addr, sizeof r.addr) < sizeof r.addr;
}

bool expired(const SessionRecord& r, time_t now) {
  return static_cast<int64_t>(now) - r.last_used > SESSION_IDLE_SECONDS;
}

// Frees expired entries; returns whether any was freed.
bool drop_expired(SessionTable& t, time_t now) {
  bool changed = false;
  for (SessionRecord& r : t.recs) {
    if (r.id[0] && (!entry_in_use(r) || expired(r, now))) {
      std::memset(&r, 0, sizeof r);
      changed = true;
    }
  }
  return changed;
}

int put_record(SessionTable& t, const SessionRecord& rec, time_t now) {
  if (!t.ok() || !session_id_valid(rec.id)) return -1;
  drop_expired(t, now);
  SessionRecord* slot = nullptr;
  for (SessionRecord& r : t.recs)
    if (r.id[0] && same_id(r.id, rec.id)) slot = &r;
  for (SessionRecord& r : t.recs)
    if (!slot && !r.id[0]) slot = &r;
  if (!slot) {
    slot = &t.recs[0];
    for (SessionRecord& r : t.recs)
      if (r.last_used < slot->last_used) slot = &r;
  }
  *slot = rec;
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
  if (!session_make_id(id)) return -1;
  copy_field(rec->id, id);
  time_t now = nvr_time();
  rec->created = now;
  rec->last_used = now;
  SessionTable t(nvr_path(SESSION_STORE_PATH));
  return put_record(t, *rec, now);
}

int session_put_in(const std::string& store_file, const SessionRecord& rec) {
  SessionTable t(store_file);
  return put_record(t, rec, static_cast<time_t>(rec.last_used));
}

int session_verify(const char* id, const char* user_name, const char* addr, SessionRecord* out) {
  if (!session_id_valid(id) || !user_name || !*user_name || !addr) return -1;
  SessionTable t(nvr_path(SESSION_STORE_PATH));
  if (!t.ok()) return -1;
  time_t now = nvr_time();
  bool changed = false;
  int found = -1;
  for (int i = 0; i < SESSION_MAX; ++i) {
    SessionRecord& r = t.recs[i];
    if (!r.id[0] || !same_id(r.id, id)) continue;
    if (!entry_in_use(r) || expired(r, now)) {
      std::memset(&r, 0, sizeof r);
      changed = true;
      continue;
    }
    // The id alone is not enough: the name the browser shows must be the
    // session's own, and the request must come from where the login did.
    if (std::strcmp(r.user, user_name) != 0 || std::strcmp(r.addr, addr) != 0) continue;
    r.last_used = now;
    changed = true;
    if (out) *out = r;
    found = i;
  }
  if (changed) t.save();
  return found >= 0 ? 0 : -1;
}

int session_end(const char* id) {
  if (!session_id_valid(id)) return -1;
  SessionTable t(nvr_path(SESSION_STORE_PATH));
  if (!t.ok()) return -1;
  int removed = -1;
  for (SessionRecord& r : t.recs) {
    if (r.id[0] && same_id(r.id, id)) {
      std::memset(&r, 0, sizeof r);
      removed = 0;
    }
  }
  if (removed == 0) t.save();
  return removed;
}

int session_update_account(int user_id, bool keep, const char* name, int level, uint32_t rights) {
  if (user_id < 0) return -1;
  SessionTable t(nvr_path(SESSION_STORE_PATH));
  if (!t.ok()) return -1;
  bool changed = false;
  for (SessionRecord& r : t.recs) {
    if (!r.id[0] || r.user_id != user_id) continue;
    if (keep) {
      if (name) copy_field(r.user, name);
      r.level = level;
      r.rights = rights;
    } else {
      std::memset(&r, 0, sizeof r);
    }
    changed = true;
  }
  if (changed && !t.save()) return -1;
  return 0;
}

int session_count() {
  SessionTable t(nvr_path(SESSION_STORE_PATH));
  if (!t.ok()) return 0;
  time_t now = nvr_time();
  int n = 0;
  for (const SessionRecord& r : t.recs)
    if (r.id[0] && entry_in_use(r) && !expired(r, now)) ++n;
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
LoginFailRecord* find_addr(FailTable& t, const char* addr) {
  for (LoginFailRecord& r : t.recs)
    if (r.addr[0] && strnlen(r.addr, sizeof r.addr) < sizeof r.addr && std::strcmp(r.addr, addr) == 0) return &r;
  return nullptr;
}
}  // namespace

bool login_blocked(const char* addr) {
  if (!addr) return false;
  FailTable t(nvr_path(LOGIN_FAIL_PATH));
  if (!t.ok()) return false;
  const LoginFailRecord* r = find_addr(t, addr);
  return r && r->blocked_until > static_cast<int64_t>(nvr_time());
}

void login_failed(const char* addr) {
  if (!addr) return;
  FailTable t(nvr_path(LOGIN_FAIL_PATH));
  if (!t.ok()) return;
  const int64_t now = nvr_time();
  LoginFailRecord* r = find_addr(t, addr);
  if (!r) {
    // A free entry, else the one that matters least: an entry blocking
    // nobody before a blocking one, the older before the newer.
    auto weight = [now](const LoginFailRecord& e) -> int64_t {
      if (!e.addr[0]) return INT64_MIN;
      return e.blocked_until > now ? INT64_MAX / 2 + e.blocked_until / 2 : e.window_start / 2;
    };
    r = &t.recs[0];
    for (LoginFailRecord& e : t.recs)
      if (weight(e) < weight(*r)) r = &e;
    std::memset(r, 0, sizeof *r);
    copy_field(r->addr, addr);
  }
  if (r->count == 0 || now - r->window_start >= LOGIN_FAIL_WINDOW || now < r->window_start) {
    r->count = 0;
    r->window_start = now;
  }
  if (++r->count >= LOGIN_FAIL_LIMIT) {
    r->blocked_until = now + LOGIN_BLOCK_SECONDS;
    r->count = 0;
  }
  t.save();
}

void login_succeeded(const char* addr) {
  if (!addr) return;
  FailTable t(nvr_path(LOGIN_FAIL_PATH));
  if (!t.ok()) return;
  LoginFailRecord* r = find_addr(t, addr);
  if (!r) return;
  std::memset(r, 0, sizeof *r);
  t.save();
}
