#include "core/access.h"

#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "cgi/cgic.h"
#include "core/session.h"
#include "core/user_record.h"

namespace {
// Grouped by module, in registry order. Ranges may hold names no module
// registers; those never reach a handler anyway.
const AccessRow kAccessTable[] = {
    // Aging test switches: factory use.
    {"/3300", "/3304", RIGHT_ADMIN},
    // Alarm inputs and outputs.
    {"/6020", "/6029", RIGHT_EVENT},
    {"/6032", "/6034", RIGHT_EVENT},
    {"/6060", "/6064", RIGHT_EVENT},
    // Cameras.
    {"/2000", "/2011", RIGHT_CAMERA},
    {"/2012", "/2012", RIGHT_SESSION},  // channel names: every page shows them
    {"/2013", "/2013", RIGHT_PLAYBACK},  // days holding recordings
    {"/2014", "/2034", RIGHT_CAMERA},
    {"/2035", "/2036", RIGHT_EVENT},  // event schedules
    {"/2037", "/2065", RIGHT_CAMERA},
    {"/2066", "/2067", RIGHT_SMART_ANALYSIS},  // people counting
    {"/2068", "/2068", RIGHT_CAMERA},
    {"/2069", "/2077", RIGHT_SMART_ANALYSIS},  // people counting, POS, reports, faces
    {"/2078", "/2082", RIGHT_ADMIN},           // camera firmware upgrade
    // Network settings, services and certificates.
    {"/7000", "/7096", RIGHT_SETTINGS},
    // PTZ: steering belongs to live view, set-up to the camera pages.
    {"/5000", "/5010", RIGHT_LIVE_VIEW},
    {"/5011", "/5012", RIGHT_CAMERA},
    {"/6050", "/6057", RIGHT_CAMERA},
    // Record schedules and holidays.
    {"/6030", "/6031", RIGHT_STORAGE},
    {"/6040", "/6047", RIGHT_STORAGE},
    // Status; packet capture is for administrators.
    {"/8000", "/8004", RIGHT_STATUS},
    {"/8005", "/8007", RIGHT_ADMIN},
    {"/8008", "/8011", RIGHT_STATUS},
    // Disks, RAID, network storage, backup and quotas.
    {"/6100", "/6109", RIGHT_STORAGE},
    {"/6200", "/6210", RIGHT_STORAGE},
    {"/6220", "/6227", RIGHT_STORAGE},
    // Live view, playback and download.
    {"/3000", "/3002", RIGHT_CAMERA},  // image parameters
    {"/3003", "/3003", RIGHT_PLAYBACK},
    {"/3004", "/3004", RIGHT_LIVE_VIEW},
    {"/4000", "/4009", RIGHT_PLAYBACK},
    {"/4010", "/4012", RIGHT_LIVE_VIEW},
    {"/4013", "/4013", RIGHT_RETRIEVE},  // recording download
    {"/4014", "/4018", RIGHT_LIVE_VIEW},
    {"/4019", "/4019", RIGHT_RETRIEVE},
    {"/4020", "/4020", RIGHT_PLAYBACK},
    {"/4021", "/4021", RIGHT_LIVE_VIEW},
    {"/4022", "/4023", RIGHT_PLAYBACK},
    {"/4024", "/4024", RIGHT_LIVE_VIEW},
    {"/4025", "/4026", RIGHT_PLAYBACK},
    {"/4027", "/4027", RIGHT_RETRIEVE},
    // System administration.
    {"/1000", "/1000", RIGHT_PUBLIC},  // log in
    {"/1001", "/1001", RIGHT_ADMIN},   // language list of the web pages
    {"/1002", "/1003", RIGHT_STATUS},  // logs
    {"/1004", "/1004", RIGHT_SHUTDOWN},  // restart
    {"/1005", "/1005", RIGHT_PUBLIC},  // is the recorder up again after a restart
    {"/1006", "/1008", RIGHT_ADMIN},   // factory restore, configuration export and import
    {"/1009", "/1009", RIGHT_STATUS},  // device information
    {"/1010", "/1011", RIGHT_ADMIN},   // firmware upgrade
    {"/1012", "/1012", RIGHT_SETTINGS},
    {"/1013", "/1013", RIGHT_ADMIN},    // configuration download
    {"/1014", "/1014", RIGHT_SESSION},  // log out
    {"/1015", "/1015", RIGHT_STATUS},
    {"/1016", "/1017", RIGHT_SETTINGS},
    {"/1018", "/1018", RIGHT_PUBLIC},  // log in from an e-mail link
    {"/1019", "/1019", RIGHT_ADMIN},   // upload before an upgrade
    {"/1020", "/1022", RIGHT_STATUS},
    {"/1023", "/1023", RIGHT_STORAGE},
    {"/1024", "/1024", RIGHT_ADMIN},
    {"/1030", "/1031", RIGHT_SETTINGS},  // UPnP
    {"/1032", "/1033", RIGHT_SHUTDOWN},  // automatic reboot
    {"/1034", "/1034", RIGHT_ADMIN},
    {"/6070", "/6077", RIGHT_ADMIN},  // user administration
    {"/6080", "/6081", RIGHT_SETTINGS},
    {"/6082", "/6089", RIGHT_ADMIN},  // camera and online upgrades
    {"/6300", "/6301", RIGHT_SETTINGS},  // access filter
    {"/6310", "/6311", RIGHT_ADMIN},     // diagnostic package
    {"/6320", "/6325", RIGHT_SETTINGS},  // audio files
    {"/json", nullptr, RIGHT_PUBLIC},    // language texts of the login page
    {"/vb.htm", nullptr, RIGHT_ADMIN},   // factory interface
    {"/oem", nullptr, RIGHT_ADMIN},
    {"/dw.cgi", nullptr, RIGHT_ADMIN},
    {"/ipc", nullptr, RIGHT_ADMIN},
    // Video and event settings.
    {"/6000", "/6002", RIGHT_CAMERA},  // OSD
    {"/6010", "/6017", RIGHT_EVENT},   // motion, video loss
    {"/6018", "/6019", RIGHT_CAMERA},  // privacy masks
    {"/6090", "/6095", RIGHT_EVENT},   // camera alarm I/O, volume, video loss
    {"/6096", "/6097", RIGHT_SMART_ANALYSIS},
    {"/6098", "/6098", RIGHT_EVENT},
    {"/6112", "/6114", RIGHT_EVENT},
    {"/6115", "/6116", RIGHT_CAMERA},
    {"/6117", "/6129", RIGHT_EVENT},
    {"/6130", "/6131", RIGHT_CAMERA},  // fisheye
    {"/6132", "/6151", RIGHT_SMART_ANALYSIS},
    {"/6152", "/6153", RIGHT_EVENT},
    {"/6154", "/6157", RIGHT_SMART_ANALYSIS},
    {"/6158", "/6170", RIGHT_EVENT},  // PTZ actions, video loss, alarm inputs
    {"/6171", "/6172", RIGHT_SMART_ANALYSIS},
    {"/6173", "/6173", RIGHT_CAMERA},
    {"/6174", "/6178", RIGHT_STORAGE},  // snapshots
    {"/6179", "/6195", RIGHT_SMART_ANALYSIS},  // plate recognition, camera analytics
    {"/6196", "/6198", RIGHT_CAMERA},
    {"/6996", "/6997", RIGHT_CAMERA},
    {"/6998", "/6999", RIGHT_EVENT},  // exceptions
};

// "/" and exactly four digits: the number, else -1.
int name_number(const char* name) {
  if (!name || name[0] != '/') return -1;
  int n = 0;
  for (int i = 1; i <= 4; ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    n = n * 10 + (name[i] - '0');
  }
  return name[5] == '\0' ? n : -1;
}

const char* const kRightNames[RIGHT_COUNT] = {
    "public", "session", "admin",    "liveView", "playback", "retrieve", "smartAnalysis",
    "event",  "camera",  "storage", "settings", "status",   "shutdown"};

// The cookie's value, or "" when absent or too long to be ours.
template <size_t N>
void cookie_value(const char* name, char (&out)[N]) {
  if (cgiCookieString(name, out, static_cast<int>(N)) != cgiFormSuccess) out[0] = '\0';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Pages may store the user name percent-encoded; decodes %XX ("%00"
// stays as written). False when nothing was decoded.
bool percent_decode(std::string_view text, std::string* out) {
  bool any = false;
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    int hi = 0, lo = 0;
    if (text[i] == '%' && i + 2 < text.size() && (hi = hex_value(text[i + 1])) >= 0 &&
        (lo = hex_value(text[i + 2])) >= 0 && (hi || lo)) {
      out->push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
      any = true;
    } else {
      out->push_back(text[i]);
    }
  }
  return any;
}

// A text that can be an account's name: within the stored field, no NUL.
bool can_be_account_name(const std::string& name) {
  return !name.empty() && name.size() < sizeof(UserRecord::name) && name.find('\0') == std::string::npos;
}
}  // namespace

const AccessRow* access_table(size_t* count) {
  if (count) *count = std::size(kAccessTable);
  return kAccessTable;
}

const AccessRow* access_row_for(const char* name) {
  if (!name) return nullptr;
  const int n = name_number(name);
  for (const AccessRow& row : kAccessTable) {
    if (!row.last) {
      if (std::strcmp(row.first, name) == 0) return &row;
    } else if (n >= 0 && n >= name_number(row.first) && n <= name_number(row.last)) {
      return &row;
    }
  }
  return nullptr;
}

AccessRight access_right_for(const char* name) {
  const AccessRow* row = access_row_for(name);
  return row ? row->right : RIGHT_ADMIN;
}

const char* access_right_name(AccessRight right) {
  return right < RIGHT_COUNT ? kRightNames[right] : "?";
}

uint32_t access_rights_of(const UserRecord& user) {
  if (user.type == USER_LEVEL_ADMIN) return ACCESS_ALL_RIGHTS;
  uint32_t rights = access_bit(RIGHT_SESSION);
  for (int a = 0; a < AREA_COUNT; ++a)
    if (user.remote_rights[a] != 0) rights |= access_bit(static_cast<AccessRight>(RIGHT_LIVE_VIEW + a));
  return rights;
}

bool access_granted(uint32_t rights, AccessRight need) {
  if (need == RIGHT_PUBLIC) return true;
  if (need >= RIGHT_COUNT) return false;
  return (rights & access_bit(need)) != 0;
}

bool cgi_access_allowed(const char* name) {
  const AccessRight need = access_right_for(name);
  if (need == RIGHT_PUBLIC) {
    session_set_current(nullptr);
    return true;
  }
  char id[SESSION_ID_LEN + 2];
  cookie_value("sessionId", id);
  // The name as the cookie holds it, whatever its length: pages keep it
  // percent-encoded, three characters a byte. Only a text that cannot be
  // an account name is refused.
  std::string_view cookie_user;
  cgiCookieText("userName", &cookie_user);
  const std::string user(cookie_user);
  std::string decoded;
  const bool encoded = percent_decode(cookie_user, &decoded);
  const char* addr = cgiRemoteAddr ? cgiRemoteAddr : "";
  SessionRecord session;
  bool live = can_be_account_name(user) && session_verify(id, user.c_str(), addr, &session) == 0;
  if (!live && encoded && can_be_account_name(decoded))
    live = session_verify(id, decoded.c_str(), addr, &session) == 0;
  if (!live) {
    session_set_current(nullptr);
    cgiHeaderStatus(401, "Unauthorized");
    return false;
  }
  session_set_current(&session);
  if (!access_granted(session.rights, need)) {
    cgiHeaderStatus(403, "Forbidden");
    return false;
  }
  return true;
}
