// Access control: which right each request name needs, and the check that
// runs before any handler, body or upload is touched.
#pragma once
#include <cstddef>
#include <cstdint>

struct UserRecord;

enum AccessRight : uint8_t {
  RIGHT_PUBLIC = 0,  // runs without a session (the short pre-login list)
  RIGHT_SESSION,     // any live session
  RIGHT_ADMIN,       // administrators (level 0) only
  // The matching remote right of the account (non-zero field), in the
  // order of the record's rights fields.
  RIGHT_LIVE_VIEW,
  RIGHT_PLAYBACK,
  RIGHT_RETRIEVE,
  RIGHT_SMART_ANALYSIS,
  RIGHT_EVENT,
  RIGHT_CAMERA,
  RIGHT_STORAGE,
  RIGHT_SETTINGS,
  RIGHT_STATUS,
  RIGHT_SHUTDOWN,
  RIGHT_COUNT
};

constexpr uint32_t access_bit(AccessRight r) { return 1u << r; }
// Every right: what an administrator's session holds.
constexpr uint32_t ACCESS_ALL_RIGHTS = (1u << RIGHT_COUNT) - 1;
// A session from an e-mail link: a viewer who may only watch live video.
constexpr uint32_t ACCESS_VIEWER_RIGHTS = access_bit(RIGHT_SESSION) | access_bit(RIGHT_LIVE_VIEW);

// One row of the rights table: the request names first..last (both "/"
// and four digits, compared as numbers; or one name such as "/json" with
// last null) need the right.
struct AccessRow {
  const char* first;
  const char* last;
  AccessRight right;
};

// The whole table, for tests and listings.
const AccessRow* access_table(size_t* count);
// The row covering a request name, or null. A name no row covers needs an
// administrator.
const AccessRow* access_row_for(const char* name);
AccessRight access_right_for(const char* name);
const char* access_right_name(AccessRight right);

// The rights an account holds: administrators all of them, other levels a
// live session plus each area whose remote right is non-zero.
uint32_t access_rights_of(const UserRecord& user);
bool access_granted(uint32_t rights, AccessRight need);

// The check of one request, after the environment is captured and before
// anything else. Names needing a session verify the "sessionId" and
// "userName" cookies against the session store and remember the session
// for the operation log; a missing, unknown or expired session is answered
// with "Status: 401 Unauthorized", a missing right with "Status: 403
// Forbidden", both with an empty body. True when the request may go on.
bool cgi_access_allowed(const char* name);
