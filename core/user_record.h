// The recorder's user accounts: one fixed-layout record per slot (ids
// 0..99) in the configuration store, family "user". Login, user
// administration, sessions and the factory interface share it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/zrdb.h"

constexpr int USER_MAX = 100;
constexpr int USER_LEVEL_ADMIN = 0;
constexpr int USER_LEVEL_NO_LOGIN = 3;  // accounts of this level may not log in
constexpr size_t USER_DIGEST_LEN = 32;  // MD5 of the password, hexadecimal

// The ten areas a right can be granted for, in the order of the rights
// fields of the record.
enum UserArea {
  AREA_LIVE_VIEW = 0,
  AREA_PLAYBACK,
  AREA_RETRIEVE,
  AREA_SMART_ANALYSIS,
  AREA_EVENT,
  AREA_CAMERA,
  AREA_STORAGE,
  AREA_SETTINGS,
  AREA_STATUS,
  AREA_SHUTDOWN,
  AREA_COUNT
};

struct UserRecord {
  int32_t id;      // slot 0..99
  int32_t enable;  // 1: the slot holds an account, 0: free
  char name[64];
  char password[36];  // MD5 digest as 32 hex characters
  int32_t type;       // level 0..3
  char localliveview[65];   // character n '1': channel n allowed
  char localplayback[65];
  char remoteliveview[65];
  char remoteplayback[65];
  char extra[64];  // further text kept with the account ("0" for new ones)
  int32_t local_rights[AREA_COUNT];   // localLiveView .. localShutdown
  int32_t remote_rights[AREA_COUNT];  // remoteLiveView .. remoteShutdown
  int32_t permission;
  int32_t remote_permission;
  uint32_t localliveview_mask;  // bit n: character n of the text is '1' (n < 32)
  uint32_t localplayback_mask;
  uint32_t remoteliveview_mask;
  uint32_t remoteplayback_mask;
};
static_assert(offsetof(UserRecord, name) == 8, "user name at 8");
static_assert(offsetof(UserRecord, password) == 72, "user password at 72");
static_assert(offsetof(UserRecord, type) == 108, "user level at 108");
static_assert(offsetof(UserRecord, localliveview) == 112, "channel texts at 112");
static_assert(offsetof(UserRecord, extra) == 372, "further text at 372");
static_assert(offsetof(UserRecord, local_rights) == 436, "local rights at 436");
static_assert(offsetof(UserRecord, remote_rights) == 476, "remote rights at 476");
static_assert(offsetof(UserRecord, permission) == 516, "permission at 516");
static_assert(offsetof(UserRecord, localliveview_mask) == 524, "channel masks at 524");
static_assert(sizeof(UserRecord) == 540, "user record is 540 bytes");

ZRDB_RECORD_FAMILY(user, UserRecord, "user")

// JSON keys of the rights fields, in field order.
extern const char* const kLocalRightKeys[AREA_COUNT];
extern const char* const kRemoteRightKeys[AREA_COUNT];

// Reads every slot of the store into users[0..USER_MAX-1], indexed by id
// (a slot never written, or a damaged one of the wrong size, which is
// logged, reads as a free one). 0, or -1 when the store failed.
int read_all_users(const char* db, UserRecord (&users)[USER_MAX]);
// The id of the account in use with exactly this name, or -1.
int find_user_by_name(const UserRecord (&users)[USER_MAX], const char* name);
// Number of slots in use.
int count_users(const UserRecord (&users)[USER_MAX]);
// Number of accounts in use with the administrator level.
int count_admins(const UserRecord (&users)[USER_MAX]);
// The lowest free slot, or -1 when all are in use.
int first_free_user(const UserRecord (&users)[USER_MAX]);

// Bit n set when character n (n < 32) of the channel text is '1'.
uint32_t channel_text_mask(const char* text, size_t size);
// Recomputes the four masks from the four channel texts.
void update_channel_masks(UserRecord* rec);

// True for exactly 32 hexadecimal characters.
bool is_md5_digest(const char* text);
// Digest comparison without case, in time independent of where the texts
// differ. False when either is not 32 characters long.
bool digest_matches(const char* stored, const char* given);

// Stores (or replaces) the administrator "admin" with the digest of the
// password in slot 0, or in the slot an "admin" already holds. 0 or -1.
int seed_admin_user(const char* db, const char* password);
