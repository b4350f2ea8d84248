// Server-side login sessions and the login failure counter.
//
// A successful login stores a session: its id (32 decimal digits from the
// kernel's random source), the user's slot, name and level, the rights the
// user holds, the client address and the time of last use. Sessions live in
// one file in a folder of their own in shared memory (RAM: a reboot ends
// them; and not in "/tmp", where uploads land under names the client
// chooses) and expire after SESSION_IDLE_SECONDS without use, counted on the
// boot-time clock, so setting the recorder's clock ends none. Each account
// holds at most SESSION_PER_ACCOUNT sessions (a new login drops that
// account's own least recently used one, by a use count that orders uses
// within one second too), and the store has room for that many for every
// account, so no account can push out another's sessions. A session
// belongs to its account slot and name together: it never passes to the
// next account of the slot. Every access to the file happens under an
// exclusive lock on the file itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

constexpr char SESSION_DIR[] = "/dev/shm/websession";
constexpr char SESSION_STORE_PATH[] = "/dev/shm/websession/session_store";
// The store of earlier versions (records of 240 bytes, without the use
// count): taken over into SESSION_STORE_PATH once, then removed.
constexpr char SESSION_STORE_OLD_PATH[] = "/dev/shm/websession/sessions";
constexpr char LOGIN_FAIL_PATH[] = "/dev/shm/websession/login_failures";
constexpr int SESSION_ID_LEN = 32;
constexpr int SESSION_PER_ACCOUNT = 8;
// Room for every account (100 slots) and for the sessions of e-mail links,
// which share one group of their own.
constexpr int SESSION_ACCOUNTS = 100;
constexpr int SESSION_MAX = (SESSION_ACCOUNTS + 1) * SESSION_PER_ACCOUNT;
constexpr int SESSION_IDLE_SECONDS = 30 * 60;
// Slot of a session that belongs to no account (login from an e-mail link).
constexpr int SESSION_NO_ACCOUNT = -1;

struct SessionRecord {
  char id[36];        // 32 decimal digits; empty: free entry
  int32_t user_id;    // account slot 0..99, or SESSION_NO_ACCOUNT
  int32_t level;      // user level 0..2
  uint32_t rights;    // bit set of the rights held (core/access.h)
  int64_t created;    // seconds since boot (nvr_uptime)
  int64_t last_used;  // seconds since boot
  char user[64];        // the account's name now (follows a rename; logs name it)
  char login_name[64];  // the name at login, which the "userName" cookie keeps
  char addr[48];        // client address the session was made from
  uint64_t use_count;   // order of last use in the store: higher is more recent
};
static_assert(offsetof(SessionRecord, user_id) == 36, "session account at 36");
static_assert(offsetof(SessionRecord, created) == 48, "session times at 48");
static_assert(offsetof(SessionRecord, user) == 64, "session user at 64");
static_assert(offsetof(SessionRecord, login_name) == 128, "session login name at 128");
static_assert(offsetof(SessionRecord, addr) == 192, "session address at 192");
static_assert(offsetof(SessionRecord, use_count) == 240, "session use count at 240");
static_assert(sizeof(SessionRecord) == 248, "session record is 248 bytes");
// The records of SESSION_STORE_OLD_PATH are the first 240 bytes of these.
constexpr size_t SESSION_OLD_RECORD_SIZE = 240;

// A fresh id: 32 decimal digits, each drawn without bias from random bytes.
// False when the random source failed.
bool session_make_id(char (&id)[SESSION_ID_LEN + 1]);
// True for exactly 32 decimal digits.
bool session_id_valid(const char* id);

// Stores rec (its id filled in by session_make_id, created and last_used
// set to now, login_name to user when empty, its use count above every
// other). Drops expired sessions, and the account's least recently used
// one when it already holds SESSION_PER_ACCOUNT. 0, or -1 (logged) when the
// store cannot be written; missing folders of the store are made first.
int session_create(SessionRecord* rec);
// The same in an explicit store file, with an id the caller has put into
// rec (tests seed sessions this way; last_used counts as now). An entry
// with the same id is replaced.
int session_put_in(const std::string& store_file, const SessionRecord& rec);

// Looks up the live session with this id whose user (its name now or its
// name at login) is user_name and whose client address is addr; marks it
// used now and copies it to out.
// 0 when found, -1 otherwise (an expired session found is removed).
int session_verify(const char* id, const char* user_name, const char* addr, SessionRecord* out);
// Removes the session with this id. 0 when one was removed.
int session_end(const char* id);
// After an account changed: the sessions of that slot whose user is
// old_name (the account's name before the change) take the new name, level
// and rights; with keep false they are removed instead. Sessions of the
// slot under any other name (or every one, old_name null) belong to no
// account there now and are removed.
int session_update_account(int user_id, const char* old_name, bool keep, const char* name, int level,
                           uint32_t rights);
// Ends every session of the account except the one with the id keep_id
// (null or "": all of them), as after a password change. 0 or -1.
int session_end_account(int user_id, const char* keep_id);
// Ends every session of each account slot i with ended[i] true, as after
// the accounts were replaced by an import. 0 or -1.
int session_end_accounts(const bool (&ended)[SESSION_ACCOUNTS]);
// Number of live sessions of one account (SESSION_NO_ACCOUNT: e-mail links).
int session_count_of(int user_id);
// Number of live sessions (tests and status pages).
int session_count();

// The session verified for this request, or null (set by the access check).
const SessionRecord* session_current();
void session_set_current(const SessionRecord* rec);
// True once the access check has run in this process.
bool session_checked();

// ---- Login failures per client address --------------------------------------
constexpr int LOGIN_FAIL_LIMIT = 5;        // failures within the window ...
constexpr int LOGIN_FAIL_WINDOW = 60;      // ... of this many seconds ...
constexpr int LOGIN_BLOCK_SECONDS = 60;    // ... refuse the address this long
constexpr int LOGIN_FAIL_SLOTS = 64;

struct LoginFailRecord {
  char addr[48];
  int32_t count;
  int32_t reserved;
  int64_t window_start;
  int64_t blocked_until;
};
static_assert(offsetof(LoginFailRecord, window_start) == 56, "failure window at 56");
static_assert(sizeof(LoginFailRecord) == 72, "failure record is 72 bytes");

// True while logins from this address are refused.
bool login_blocked(const char* addr);
// Counts one failed login; the LOGIN_FAIL_LIMIT-th within the window blocks
// the address for LOGIN_BLOCK_SECONDS.
void login_failed(const char* addr);
// A successful login clears the address's count.
void login_succeeded(const char* addr);
