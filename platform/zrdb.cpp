// Configuration library on SQLite.
//
// Storage: one SQLite file per database path (under NVR_ROOT), two tables:
//   params(key TEXT PRIMARY KEY, value)          -- integer or text values
//   records(family TEXT, id INTEGER, data BLOB)  -- fixed-layout records
//
// Concurrency: every request is a process of its own. Each process keeps
// one connection per database, opened on first use. The file runs in
// write-ahead-log mode, so readers never wait for a writer; writers queue on
// SQLite's write lock with a busy timeout (plus a retry loop for the few
// cases in which SQLite reports busy without waiting). A read-modify-write
// runs inside ZrdbTransaction, which takes the write lock up front
// (BEGIN IMMEDIATE): the read then sees the last committed state and no
// other writer can commit in between, so no update is lost. Nested
// transactions in one process become savepoints of the outer one.
// Every single operation outside a transaction is one statement, atomic by
// itself; the multi-statement ones (copy) take a transaction of their own.
#include "platform/zrdb.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "base/cgi_log.h"
#include "base/paths.h"
#include "base/strutil.h"

namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 15000;  // longest wait for the write lock
constexpr long kRetryWindowMs = 15000;  // retries of statements that report busy at once

// A prepared statement kept for the next use of the same SQL text (the
// literal's address is the key): preparing costs more than most lookups.
struct CachedStmt {
  const char* sql = nullptr;
  sqlite3_stmt* st = nullptr;
  bool in_use = false;
};
constexpr int kCachedStmts = 16;

struct Conn {
  sqlite3* db = nullptr;
  pid_t pid = 0;
  int depth = 0;        // open ZrdbTransaction levels
  bool broken = false;  // opening failed: not retried within this process
  std::mutex stmt_mutex;  // the reply thread may use the store too
  CachedStmt stmts[kCachedStmts];
  void finalize_stmts() {
    for (CachedStmt& k : stmts) {
      sqlite3_finalize(k.st);
      k = CachedStmt{};
    }
  }
};

// The socket library's reply thread may use the store too: the map is
// guarded and connections are opened in serialized mode.
std::mutex& conns_mutex() {
  static std::mutex* m = new std::mutex();
  return *m;
}

std::map<std::string, Conn>& conns() {
  static std::map<std::string, Conn>* m = new std::map<std::string, Conn>();  // never destroyed
  return *m;
}

long now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool is_busy(int rc) { return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED; }

void pause_a_little(int attempt) {
  // 1, 2, 4 ... up to 32 ms, with the pid spreading processes apart.
  int ms = 1 << (attempt < 5 ? attempt : 5);
  usleep(static_cast<useconds_t>(ms * 1000 + (getpid() % 7) * 100));
}

// Runs SQL text without results, retrying while the database is busy.
int exec_retry(sqlite3* db, const char* sql) {
  long deadline = now_ms() + kRetryWindowMs;
  for (int attempt = 0;; ++attempt) {
    char* err = nullptr;
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, &err);
    if (rc == SQLITE_OK) return 0;
    bool busy = is_busy(rc);
    if (!busy || now_ms() > deadline) {
      CGI_LOG("zrdb: \"%s\" failed: %s", sql, err ? err : sqlite3_errstr(rc));
      sqlite3_free(err);
      return -1;
    }
    sqlite3_free(err);
    pause_a_little(attempt);
  }
}

void make_parent_dirs(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] != '/') continue;
    std::string dir = path.substr(0, i);
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return;
  }
}

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS params(key TEXT PRIMARY KEY NOT NULL, value) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS records(family TEXT NOT NULL, id INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(family, id)) WITHOUT ROWID;";

int schema_version(sqlite3* db, int* version) {
  long deadline = now_ms() + kRetryWindowMs;
  for (int attempt = 0;; ++attempt) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
      *version = sqlite3_column_int(st, 0);
      sqlite3_finalize(st);
      return 0;
    }
    sqlite3_finalize(st);
    if (!is_busy(rc) || now_ms() > deadline) {
      CGI_LOG("zrdb: cannot read the schema: %s", sqlite3_errstr(rc));
      return -1;
    }
    pause_a_little(attempt);
  }
}

// Creates the schema of a new file and switches it to write-ahead logging
// (kept in the file, so this runs once per database, not per request).
int prepare_schema(sqlite3* db, const std::string& path) {
  int version = 0;
  if (schema_version(db, &version) != 0) return -1;
  if (version == kSchemaVersion) return 0;
  if (version > kSchemaVersion) {
    CGI_LOG("zrdb: %s has schema %d, newer than %d", path.c_str(), version, kSchemaVersion);
    return -1;
  }
  // Some flash file systems cannot map the log's shared-memory index; the
  // store then stays with a rollback journal, which is slower but correct.
  if (exec_retry(db, "PRAGMA journal_mode=WAL") != 0)
    CGI_LOG("zrdb: %s stays with a rollback journal", path.c_str());
  if (exec_retry(db, "BEGIN IMMEDIATE") != 0) return -1;
  std::string sql = std::string(kSchema) + "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
  char* err = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    CGI_LOG("zrdb: cannot create the schema of %s: %s", path.c_str(), err ? err : sqlite3_errstr(rc));
    sqlite3_free(err);
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return -1;
  }
  return exec_retry(db, "COMMIT");
}

// The connection of this process to a database, opened on first use.
Conn* get_conn(const char* dbname) {
  if (!dbname || !*dbname) return nullptr;
  const std::string path = nvr_path(dbname);
  std::lock_guard<std::mutex> lock(conns_mutex());
  auto& map = conns();
  auto it = map.find(path);
  if (it != map.end()) {
    Conn& c = it->second;
    if (c.pid == getpid()) return c.broken ? nullptr : &c;
    // Inherited over fork: a connection must not cross processes. It is
    // dropped without closing, which would disturb the parent's locks.
    map.erase(it);
  }
  Conn& c = map[path];
  c.pid = getpid();
  make_parent_dirs(path);
  sqlite3* db = nullptr;
  // NVR_STORE_READONLY=1: the databases open read-only, as on a flash
  // that the kernel remounted read-only after errors; every write fails.
  const char* ro = std::getenv("NVR_STORE_READONLY");
  const int mode = ro && std::strcmp(ro, "1") == 0 ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  int rc = sqlite3_open_v2(path.c_str(), &db, mode | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    CGI_LOG("zrdb: cannot open %s: %s", path.c_str(), db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
    c.broken = true;
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);
  if (prepare_schema(db, path) != 0) {
    sqlite3_close(db);
    c.broken = true;
    return nullptr;
  }
  // Each commit reaches the flash before the request answers "OK". The log
  // is folded back into the database every 256 pages and cut to 1 MiB, so
  // the next process to open it has little to scan.
  sqlite3_exec(db, "PRAGMA synchronous=FULL; PRAGMA wal_autocheckpoint=256; PRAGMA journal_size_limit=1048576",
               nullptr, nullptr, nullptr);
  c.db = db;
  return &c;
}

// A prepared statement of a connection, taken from its cache (or prepared
// and kept there) and reset for the next use when it goes out of scope;
// one whose SQL is in use already, or that finds the cache full, is
// prepared for this use alone and finalized.
struct Stmt {
  sqlite3_stmt* st = nullptr;
  CachedStmt* slot = nullptr;
  Conn* conn;
  Stmt(Conn* c, const char* sql) : conn(c) {
    {
      std::lock_guard<std::mutex> lock(c->stmt_mutex);
      CachedStmt* free_slot = nullptr;
      for (CachedStmt& k : c->stmts) {
        if (k.sql == sql && !k.in_use) {
          k.in_use = true;
          slot = &k;
          st = k.st;
          return;
        }
        if (!k.sql && !free_slot) free_slot = &k;
      }
      if (free_slot) {
        free_slot->sql = sql;
        free_slot->in_use = true;
        slot = free_slot;
      }
    }
    int rc = sqlite3_prepare_v3(c->db, sql, -1, slot ? SQLITE_PREPARE_PERSISTENT : 0, &st, nullptr);
    if (rc != SQLITE_OK) {
      CGI_LOG("zrdb: cannot prepare \"%s\": %s", sql, sqlite3_errmsg(c->db));
      sqlite3_finalize(st);
      st = nullptr;
    }
    if (slot) {
      std::lock_guard<std::mutex> lock(c->stmt_mutex);
      if (st)
        slot->st = st;
      else
        *slot = CachedStmt{};
      if (!st) slot = nullptr;
    }
  }
  ~Stmt() {
    if (!slot) {
      sqlite3_finalize(st);
      return;
    }
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    std::lock_guard<std::mutex> lock(conn->stmt_mutex);
    slot->in_use = false;
  }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  explicit operator bool() const { return st != nullptr; }
};

// Steps a statement, retrying while the database reports busy.
int step_retry(sqlite3_stmt* st) {
  long deadline = now_ms() + kRetryWindowMs;
  for (int attempt = 0;; ++attempt) {
    int rc = sqlite3_step(st);
    if (!is_busy(rc) || now_ms() > deadline) return rc;
    sqlite3_reset(st);
    pause_a_little(attempt);
  }
}

// A write inside a transaction whose statement failed fatally (full disk,
// I/O error) may have rolled the whole transaction back; later operations
// of it are refused so they cannot commit on their own.
bool txn_aborted(Conn* c) { return c->depth > 0 && sqlite3_get_autocommit(c->db); }

// Runs one write statement (bound by the caller): 0 or -1.
int run_write(Conn* c, Stmt& s, const char* what) {
  if (!s) return -1;
  if (txn_aborted(c)) {
    CGI_LOG("zrdb: %s refused: the transaction was rolled back", what);
    return -1;
  }
  int rc = step_retry(s.st);
  if (rc != SQLITE_DONE) {
    CGI_LOG("zrdb: %s failed: %s (%d)", what, sqlite3_errmsg(c->db), rc);
    return -1;
  }
  return 0;
}

bool family_ok(const char* family) {
  return family && *family && std::strlen(family) < 256;
}

}  // namespace

// ---- Scalar parameters ---------------------------------------------------------------

namespace {
// Steps the lookup of a key: SQLITE_ROW with the value, SQLITE_DONE when
// absent, anything else on failure.
int lookup_param(Conn* c, Stmt& s, const char* key) {
  if (!s) return SQLITE_ERROR;
  sqlite3_bind_text(s.st, 1, key, -1, SQLITE_STATIC);
  int rc = step_retry(s.st);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) CGI_LOG("zrdb: reading \"%s\" failed: %s", key, sqlite3_errmsg(c->db));
  return rc;
}

int store_param(const char* dbname, const char* key, bool is_int, int ival, const char* text) {
  if (!key) return -1;
  Conn* c = get_conn(dbname);
  if (!c) return -1;
  Stmt s(c, "INSERT INTO params(key, value) VALUES(?1, ?2) ON CONFLICT(key) DO UPDATE SET value = ?2");
  if (!s) return -1;
  sqlite3_bind_text(s.st, 1, key, -1, SQLITE_STATIC);
  if (is_int)
    sqlite3_bind_int(s.st, 2, ival);
  else
    sqlite3_bind_text(s.st, 2, text ? text : "", -1, SQLITE_STATIC);
  return run_write(c, s, "setting a parameter");
}
}  // namespace

int get_param_int(const char* db, const char* key, int def) {
  if (!key) return def;
  Conn* c = get_conn(db);
  if (!c) return def;
  Stmt s(c, "SELECT value FROM params WHERE key = ?1");
  if (lookup_param(c, s, key) != SQLITE_ROW) return def;
  if (sqlite3_column_type(s.st, 0) == SQLITE_INTEGER) return sqlite3_column_int(s.st, 0);
  // A text value counts when it is a whole decimal number.
  const char* t = reinterpret_cast<const char*>(sqlite3_column_text(s.st, 0));
  int v = 0;
  if (t && parse_int_strict(t, &v)) return v;
  return def;
}

int set_param_int(const char* db, const char* key, int value) { return store_param(db, key, true, value, nullptr); }

int get_param_value(const char* db, const char* key, char* buf, int size, const char* def) {
  if (!buf || size <= 0) return -1;
  copy_text(buf, static_cast<size_t>(size), def ? def : "");
  if (!key) return -1;
  Conn* c = get_conn(db);
  if (!c) return -1;
  Stmt s(c, "SELECT value FROM params WHERE key = ?1");
  int rc = lookup_param(c, s, key);
  if (rc == SQLITE_DONE) return 1;
  if (rc != SQLITE_ROW) return -1;
  const char* t = reinterpret_cast<const char*>(sqlite3_column_text(s.st, 0));
  int n = sqlite3_column_bytes(s.st, 0);
  copy_text(buf, static_cast<size_t>(size), t ? std::string_view(t, static_cast<size_t>(n)) : std::string_view());
  return 0;
}

int set_param_value(const char* db, const char* key, const char* text) {
  return store_param(db, key, false, 0, text);
}

int add_param_value(const char* db, const char* key, const char* text) {
  return store_param(db, key, false, 0, text);
}

int check_param_key(const char* db, const char* key) {
  if (!key) return 1;
  Conn* c = get_conn(db);
  if (!c) return 1;
  Stmt s(c, "SELECT 1 FROM params WHERE key = ?1");
  return lookup_param(c, s, key) == SQLITE_ROW ? 0 : 1;
}

int delete_param_key(const char* db, const char* key) {
  if (!key) return -1;
  Conn* c = get_conn(db);
  if (!c) return -1;
  Stmt s(c, "DELETE FROM params WHERE key = ?1");
  if (!s) return -1;
  sqlite3_bind_text(s.st, 1, key, -1, SQLITE_STATIC);
  return run_write(c, s, "deleting a parameter");
}

// ---- Records ------------------------------------------------------------------------------

namespace {
// Reads a record whole: 0, 1 when it was never written, -1 on failure;
// rec is written only for 0.
int read_stored(const char* db, const char* family, int id, void* rec, size_t size) {
  if (!family_ok(family)) return -1;
  Conn* c = get_conn(db);
  if (!c) return -1;
  Stmt s(c, "SELECT data FROM records WHERE family = ?1 AND id = ?2");
  if (!s) return -1;
  sqlite3_bind_text(s.st, 1, family, -1, SQLITE_STATIC);
  sqlite3_bind_int(s.st, 2, id);
  int rc = step_retry(s.st);
  if (rc == SQLITE_DONE) return 1;
  if (rc != SQLITE_ROW) {
    CGI_LOG("zrdb: reading %s %d failed: %s", family, id, sqlite3_errmsg(c->db));
    return -1;
  }
  size_t n = static_cast<size_t>(sqlite3_column_bytes(s.st, 0));
  if (n != size) {
    CGI_LOG("zrdb: %s %d holds %zu bytes, expected %zu", family, id, n, size);
    return -1;
  }
  const void* data = sqlite3_column_blob(s.st, 0);
  if (!data) return -1;
  std::memcpy(rec, data, size);
  return 0;
}
}  // namespace

int zrdb_read_record(const char* db, const char* family, int id, void* rec, size_t size) {
  if (!rec || size == 0) return -1;
  // A record read whole overwrites every byte; every other answer leaves
  // it zero.
  int rc = read_stored(db, family, id, rec, size);
  if (rc != 0) std::memset(rec, 0, size);
  return rc;
}

int zrdb_read_stored_record(const char* db, const char* family, int id, void* rec, size_t size) {
  if (!rec || size == 0) return -1;
  return read_stored(db, family, id, rec, size);
}

int zrdb_write_record(const char* db, const char* family, int id, const void* rec, size_t size) {
  if (!rec || size == 0 || size > 16 * 1024 * 1024 || !family_ok(family)) return -1;
  Conn* c = get_conn(db);
  if (!c) return -1;
  Stmt s(c,
         "INSERT INTO records(family, id, data) VALUES(?1, ?2, ?3)"
         " ON CONFLICT(family, id) DO UPDATE SET data = ?3");
  if (!s) return -1;
  sqlite3_bind_text(s.st, 1, family, -1, SQLITE_STATIC);
  sqlite3_bind_int(s.st, 2, id);
  sqlite3_bind_blob(s.st, 3, rec, static_cast<int>(size), SQLITE_STATIC);
  return run_write(c, s, "writing a record");
}

int zrdb_delete_record(const char* db, const char* family, int id) {
  if (!family_ok(family)) return -1;
  Conn* c = get_conn(db);
  if (!c) return -1;
  Stmt s(c, "DELETE FROM records WHERE family = ?1 AND id = ?2");
  if (!s) return -1;
  sqlite3_bind_text(s.st, 1, family, -1, SQLITE_STATIC);
  sqlite3_bind_int(s.st, 2, id);
  return run_write(c, s, "deleting a record");
}

int zrdb_read_records(const char* db, const char* family, void* array, size_t size, int max, int* count) {
  if (count) *count = 0;
  if (!array || size == 0 || max < 0 || !family_ok(family)) return -1;
  std::memset(array, 0, size * static_cast<size_t>(max));
  Conn* c = get_conn(db);
  if (!c) return -1;
  Stmt s(c, "SELECT id, data FROM records WHERE family = ?1 ORDER BY id");
  if (!s) return -1;
  sqlite3_bind_text(s.st, 1, family, -1, SQLITE_STATIC);
  int n = 0;
  int result = 0;
  unsigned char* out = static_cast<unsigned char*>(array);
  int rc;
  while (n < max && (rc = step_retry(s.st)) == SQLITE_ROW) {
    size_t len = static_cast<size_t>(sqlite3_column_bytes(s.st, 1));
    if (len != size) {
      CGI_LOG("zrdb: %s %d holds %zu bytes, expected %zu", family, sqlite3_column_int(s.st, 0), len, size);
      result = -1;
      continue;
    }
    std::memcpy(out + size * static_cast<size_t>(n), sqlite3_column_blob(s.st, 1), size);
    ++n;
  }
  if (n < max && rc != SQLITE_DONE) {
    CGI_LOG("zrdb: listing %s failed: %s", family, sqlite3_errmsg(c->db));
    result = -1;
  }
  if (count) *count = n;
  return result;
}

int zrdb_read_record_range(const char* db, const char* family, int first, void* array, size_t size, int n) {
  if (!array || size == 0 || n < 0 || !family_ok(family)) return -1;
  std::memset(array, 0, size * static_cast<size_t>(n));
  Conn* c = get_conn(db);
  if (!c) return -1;
  Stmt s(c, "SELECT id, data FROM records WHERE family = ?1 AND id >= ?2 AND id < ?3 ORDER BY id");
  if (!s) return -1;
  sqlite3_bind_text(s.st, 1, family, -1, SQLITE_STATIC);
  sqlite3_bind_int64(s.st, 2, first);
  sqlite3_bind_int64(s.st, 3, static_cast<int64_t>(first) + n);
  int result = 0;
  unsigned char* out = static_cast<unsigned char*>(array);
  int rc;
  while ((rc = step_retry(s.st)) == SQLITE_ROW) {
    int id = sqlite3_column_int(s.st, 0);
    size_t len = static_cast<size_t>(sqlite3_column_bytes(s.st, 1));
    if (len != size) {
      CGI_LOG("zrdb: %s %d holds %zu bytes, expected %zu", family, id, len, size);
      result = -1;
      continue;
    }
    std::memcpy(out + size * static_cast<size_t>(id - first), sqlite3_column_blob(s.st, 1), size);
  }
  if (rc != SQLITE_DONE) {
    CGI_LOG("zrdb: listing %s failed: %s", family, sqlite3_errmsg(c->db));
    result = -1;
  }
  return result;
}

int zrdb_copy_record_fix(const char* db, const char* family, int src_id, uint64_t mask, size_t size,
                         ZrdbCopyFix fix) {
  if (size == 0 || size > 16 * 1024 * 1024) return -1;
  std::string buf(size, '\0');
  ZrdbTransaction txn(db);
  if (!txn.ok()) return -1;
  if (zrdb_read_record(db, family, src_id, &buf[0], size) < 0) return -1;
  const std::string src = buf;
  for (int ch = 0; ch < 64; ++ch) {
    if (!(mask & (1ULL << ch)) || ch == src_id) continue;
    buf = src;
    if (fix) fix(&buf[0], ch);
    if (zrdb_write_record(db, family, ch, buf.data(), size) != 0) return -1;
  }
  return txn.commit();
}

int zrdb_copy_record(const char* db, const char* family, int src_id, uint64_t mask, size_t size) {
  return zrdb_copy_record_fix(db, family, src_id, mask, size, nullptr);
}

int zrdb_count_records(const char* db, const char* family) {
  if (!family_ok(family)) return -1;
  Conn* c = get_conn(db);
  if (!c) return -1;
  Stmt s(c, "SELECT count(*) FROM records WHERE family = ?1");
  if (!s) return -1;
  sqlite3_bind_text(s.st, 1, family, -1, SQLITE_STATIC);
  if (step_retry(s.st) != SQLITE_ROW) return -1;
  return sqlite3_column_int(s.st, 0);
}

int zrdb_visit_records(const char* db, const char* family, ZrdbRecordVisitor fn, void* ctx) {
  if (!fn || !family_ok(family)) return -1;
  Conn* c = get_conn(db);
  if (!c) return -1;
  Stmt s(c, "SELECT id, data FROM records WHERE family = ?1 ORDER BY id");
  if (!s) return -1;
  sqlite3_bind_text(s.st, 1, family, -1, SQLITE_STATIC);
  int rc;
  while ((rc = step_retry(s.st)) == SQLITE_ROW)
    fn(ctx, sqlite3_column_int(s.st, 0), sqlite3_column_blob(s.st, 1),
       static_cast<size_t>(sqlite3_column_bytes(s.st, 1)));
  return rc == SQLITE_DONE ? 0 : -1;
}

int zrdb_visit_families(const char* db, ZrdbFamilyVisitor fn, void* ctx) {
  if (!fn) return -1;
  Conn* c = get_conn(db);
  if (!c) return -1;
  Stmt s(c, "SELECT family, count(*) FROM records GROUP BY family ORDER BY family");
  if (!s) return -1;
  int rc;
  while ((rc = step_retry(s.st)) == SQLITE_ROW)
    fn(ctx, reinterpret_cast<const char*>(sqlite3_column_text(s.st, 0)), sqlite3_column_int(s.st, 1));
  return rc == SQLITE_DONE ? 0 : -1;
}

int zrdb_check(const char* db) { return get_conn(db) ? 0 : -1; }

void zrdb_close_all() {
  std::lock_guard<std::mutex> lock(conns_mutex());
  auto& map = conns();
  for (auto& kv : map)
    if (kv.second.db && kv.second.pid == getpid()) {
      kv.second.finalize_stmts();
      sqlite3_close_v2(kv.second.db);
    }
  map.clear();
}

// ---- Transactions --------------------------------------------------------------------------

const char* zrdb_open_transaction() {
  std::lock_guard<std::mutex> lock(conns_mutex());
  for (auto& kv : conns())
    if (kv.second.pid == getpid() && kv.second.depth > 0) return kv.first.c_str();
  return nullptr;
}

ZrdbTransaction::ZrdbTransaction(const char* db) : db_(db) {
  Conn* c = get_conn(db);
  if (!c) return;
  if (c->depth == 0) {
    if (exec_retry(c->db, "BEGIN IMMEDIATE") != 0) return;
  } else {
    if (sqlite3_get_autocommit(c->db)) {
      CGI_LOG("zrdb: nested transaction inside one that was rolled back");
      return;
    }
    if (exec_retry(c->db, "SAVEPOINT zrdb_nested") != 0) return;
  }
  ++c->depth;
  ok_ = true;
}

int ZrdbTransaction::commit() {
  if (!ok_ || done_) return -1;
  done_ = true;
  Conn* c = get_conn(db_);
  if (!c || c->depth <= 0) return -1;
  --c->depth;
  if (sqlite3_get_autocommit(c->db)) {
    // A failed statement already rolled the whole transaction back.
    CGI_LOG("zrdb: commit of a transaction that was rolled back");
    return -1;
  }
  if (c->depth > 0) return exec_retry(c->db, "RELEASE zrdb_nested");
  if (exec_retry(c->db, "COMMIT") == 0) return 0;
  if (!sqlite3_get_autocommit(c->db)) sqlite3_exec(c->db, "ROLLBACK", nullptr, nullptr, nullptr);
  return -1;
}

ZrdbTransaction::~ZrdbTransaction() {
  if (!ok_ || done_) return;
  Conn* c = get_conn(db_);
  if (!c || c->depth <= 0) return;
  --c->depth;
  if (sqlite3_get_autocommit(c->db)) return;  // already rolled back
  if (c->depth > 0)
    sqlite3_exec(c->db, "ROLLBACK TO zrdb_nested; RELEASE zrdb_nested", nullptr, nullptr, nullptr);
  else
    sqlite3_exec(c->db, "ROLLBACK", nullptr, nullptr, nullptr);
}

// ---- Plate lists ---------------------------------------------------------------------------

namespace {
// The plate table lives beside the record tables of the plate database; it
// is made on first use.
Conn* anpr_conn(const char* db) {
  Conn* c = get_conn(db);
  if (!c) return nullptr;
  if (exec_retry(c->db, "CREATE TABLE IF NOT EXISTS anpr_list(plate TEXT PRIMARY KEY NOT NULL,"
                        " type TEXT NOT NULL) WITHOUT ROWID") != 0)
    return nullptr;
  return c;
}

std::string bounded(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

int anpr_exec(Conn* c, const char* sql, const std::string& a, const std::string* b, const char* what) {
  Stmt s(c, sql);
  if (!s) return -1;
  sqlite3_bind_text(s.st, 1, a.c_str(), -1, SQLITE_TRANSIENT);
  if (b) sqlite3_bind_text(s.st, 2, b->c_str(), -1, SQLITE_TRANSIENT);
  if (run_write(c, s, what) != 0) return -1;
  return sqlite3_changes(c->db);
}
}  // namespace

int delete_anpr_lists(const char* db, const AnprListEntry* list, int n) {
  if (!list || n < 0) return -1;
  if (!anpr_conn(db)) return -1;
  ZrdbTransaction txn(db);
  if (!txn.ok()) return -1;
  Conn* c = get_conn(db);
  for (int i = 0; i < n; ++i)
    if (anpr_exec(c, "DELETE FROM anpr_list WHERE plate = ?1", bounded(list[i].plate, sizeof list[i].plate),
                  nullptr, "deleting a plate") < 0)
      return -1;
  return txn.commit();
}

int write_anpr_list_replace_batch(const char* db, const AnprListEntry* list, int n) {
  if (!list || n < 0) return -1;
  if (!anpr_conn(db)) return -1;
  ZrdbTransaction txn(db);
  if (!txn.ok()) return -1;
  Conn* c = get_conn(db);
  for (int i = 0; i < n; ++i) {
    const std::string type = bounded(list[i].type, sizeof list[i].type);
    if (anpr_exec(c, "INSERT INTO anpr_list(plate, type) VALUES(?1, ?2) ON CONFLICT(plate) DO UPDATE SET type = ?2",
                  bounded(list[i].plate, sizeof list[i].plate), &type, "writing a plate") < 0)
      return -1;
  }
  return txn.commit();
}

int delete_anpr_list(const char* db, const char* plate) {
  if (!plate) return -1;
  Conn* c = anpr_conn(db);
  if (!c) return -1;
  return anpr_exec(c, "DELETE FROM anpr_list WHERE plate = ?1", plate, nullptr, "deleting a plate") < 0 ? -1 : 0;
}

int read_anpr_list_plate(const char* db, const char* plate, AnprListEntry* out) {
  if (!plate || !out) return -1;
  Conn* c = anpr_conn(db);
  if (!c) return -1;
  Stmt s(c, "SELECT plate, type FROM anpr_list WHERE plate = ?1");
  if (!s) return -1;
  sqlite3_bind_text(s.st, 1, plate, -1, SQLITE_TRANSIENT);
  int rc = step_retry(s.st);
  if (rc == SQLITE_DONE) return 1;
  if (rc != SQLITE_ROW) return -1;
  *out = AnprListEntry{};
  const char* p = reinterpret_cast<const char*>(sqlite3_column_text(s.st, 0));
  const char* t = reinterpret_cast<const char*>(sqlite3_column_text(s.st, 1));
  copy_field(out->plate, p ? p : "");
  copy_field(out->type, t ? t : "");
  return 0;
}

int update_anpr_list(const char* db, const AnprListEntry* entry) {
  if (!entry) return -1;
  Conn* c = anpr_conn(db);
  if (!c) return -1;
  const std::string type = bounded(entry->type, sizeof entry->type);
  return anpr_exec(c, "UPDATE anpr_list SET type = ?2 WHERE plate = ?1", bounded(entry->plate, sizeof entry->plate),
                   &type, "updating a plate") == 1
             ? 0
             : -1;
}

int write_anpr_list(const char* db, const AnprListEntry* entry) {
  if (!entry) return -1;
  Conn* c = anpr_conn(db);
  if (!c) return -1;
  const std::string type = bounded(entry->type, sizeof entry->type);
  return anpr_exec(c, "INSERT INTO anpr_list(plate, type) VALUES(?1, ?2)", bounded(entry->plate, sizeof entry->plate),
                   &type, "adding a plate") < 0
             ? -1
             : 0;
}

int read_anpr_lists(const char* db, AnprListEntry* array, int max, int* count) {
  if (!array || !count || max < 0) return -1;
  *count = 0;
  Conn* c = anpr_conn(db);
  if (!c) return -1;
  Stmt s(c, "SELECT plate, type FROM anpr_list ORDER BY plate");
  if (!s) return -1;
  int rc;
  while (*count < max && (rc = step_retry(s.st)) == SQLITE_ROW) {
    AnprListEntry& e = array[(*count)++];
    e = AnprListEntry{};
    const char* p = reinterpret_cast<const char*>(sqlite3_column_text(s.st, 0));
    const char* t = reinterpret_cast<const char*>(sqlite3_column_text(s.st, 1));
    copy_field(e.plate, p ? p : "");
    copy_field(e.type, t ? t : "");
  }
  return 0;
}

int count_anpr_lists(const char* db) {
  Conn* c = anpr_conn(db);
  if (!c) return -1;
  Stmt s(c, "SELECT COUNT(*) FROM anpr_list");
  if (!s || step_retry(s.st) != SQLITE_ROW) return -1;
  return sqlite3_column_int(s.st, 0);
}
