#include "core/account_scope.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "base/strutil.h"
#include "cgi/cgic.h"
#include "core/cgi_json.h"
#include "core/paths.h"
#include "core/session.h"
#include "core/user_record.h"

namespace {
constexpr uint64_t kAllChannels = ~0ULL;

// Live view, its image settings and PTZ steering use the remote live view
// text; searching, playing and downloading recordings the remote playback
// text (the web pages are always remote use). Names that carry only the
// ids of playback sessions steer sessions opened by "/4001" or "/4020",
// whose channels were checked here, and have no rows.
const ChannelRow kChannelTable[] = {
    // Live view.
    {"/3000", "chnid", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/3001", "id", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/3002", nullptr, CHANNEL_IN_TEXT, CHANNEL_USE_REMOTE_LIVE},
    {"/4010", "id", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/4011", "id", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/4014", nullptr, CHANNEL_IN_TEXT, CHANNEL_USE_REMOTE_LIVE},
    {"/4015", nullptr, CHANNEL_IN_TEXT, CHANNEL_USE_REMOTE_LIVE},
    {"/4016", nullptr, CHANNEL_IN_TEXT, CHANNEL_USE_REMOTE_LIVE},
    {"/4017", nullptr, CHANNEL_IN_TEXT, CHANNEL_USE_REMOTE_LIVE},
    {"/4024", nullptr, CHANNEL_IN_TEXT, CHANNEL_USE_REMOTE_LIVE},
    // Playback and download.
    {"/4000", "channelId", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_PLAYBACK},
    {"/4001", "channelId", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_PLAYBACK},
    {"/4009", "chnid", CHANNEL_IN_LIST, CHANNEL_USE_REMOTE_PLAYBACK},
    {"/4013", "id", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_PLAYBACK},
    {"/4020", "mask", CHANNEL_IN_MASK_WORDS, CHANNEL_USE_REMOTE_PLAYBACK},
    {"/4025", "ch", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_PLAYBACK},
    {"/4026", "ch", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_PLAYBACK},
    // PTZ.
    {"/5000", "channelId", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5001", "channelId", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5002", "chn", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5003", "chn", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5004", "chn", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5005", "chn", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5006", "channelId", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5007", "camId", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5008", "chn", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5009", "chnid", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5010", "chnid", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5011", "chnId", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5012", "chnId", CHANNEL_IN_NUMBER, CHANNEL_USE_REMOTE_LIVE},
    {"/5012", "channelMask", CHANNEL_IN_MASK_TEXT, CHANNEL_USE_REMOTE_LIVE},
};

// Adds one channel number to the set.
void add_channel(int64_t ch, uint64_t* set, bool* outside) {
  if (ch < 0 || ch > 63)
    *outside = true;
  else
    *set |= 1ULL << ch;
}

const char* use_text(const UserRecord& u, ChannelUse use, size_t* size) {
  *size = sizeof u.localliveview;
  switch (use) {
    case CHANNEL_USE_LOCAL_LIVE: return u.localliveview;
    case CHANNEL_USE_LOCAL_PLAYBACK: return u.localplayback;
    case CHANNEL_USE_REMOTE_LIVE: return u.remoteliveview;
    default: return u.remoteplayback;
  }
}

// The session's account, read once per process.
bool current_account(UserRecord* out) {
  static bool read = false, ok = false;
  static UserRecord user;
  if (!read) {
    read = true;
    const SessionRecord* s = session_current();
    std::memset(&user, 0, sizeof user);
    ok = s && s->user_id >= 0 && s->user_id < USER_MAX && read_user(ZRDB_PATH, &user, s->user_id) == 0 &&
         user.enable != 0 && user.id == s->user_id;
  }
  if (ok) *out = user;
  return ok;
}

bool session_is_admin() {
  const SessionRecord* s = session_current();
  return s && s->user_id != SESSION_NO_ACCOUNT && s->level == USER_LEVEL_ADMIN;
}
}  // namespace

const ChannelRow* channel_table(size_t* count) {
  if (count) *count = std::size(kChannelTable);
  return kChannelTable;
}

uint64_t channels_named(const ChannelRow& row, const char* text, bool* outside) {
  uint64_t set = 0;
  *outside = false;
  if (row.form == CHANNEL_IN_TEXT) {
    int ch = 0;
    if (text && parse_text_int(text, &ch)) add_channel(ch, &set, outside);
    return set;
  }
  JsonPtr req = parse_request(text);
  if (!req || !row.key) return 0;
  json_object* obj = req.get();
  switch (row.form) {
    case CHANNEL_IN_NUMBER: {
      int32_t ch = 0;
      // Absent reads as channel 0, as the plain getters read it.
      if (json_int_member(obj, row.key, &ch) != JSON_INT_BAD) add_channel(ch, &set, outside);
      break;
    }
    case CHANNEL_IN_LIST: {
      json_object* arr = json_array_member(obj, row.key);
      const size_t n = json_array_size(arr);
      for (size_t i = 0; i < n; ++i) {
        int32_t ch = 0;
        if (json_value_int(json_object_array_get_idx(arr, i), &ch)) add_channel(ch, &set, outside);
      }
      break;
    }
    case CHANNEL_IN_MASK_TEXT: {
      json_object* v = json_member(obj, row.key, json_type_string);
      const char* t = v ? json_object_get_string(v) : nullptr;
      for (size_t i = 0; t && t[i] && i < 64; ++i)
        if (t[i] == '1') set |= 1ULL << i;
      break;
    }
    case CHANNEL_IN_MASK_WORDS:
      for (int w = 0; w < 8; ++w) {
        char key[40];
        std::snprintf(key, sizeof key, "%s%d", row.key, w);
        int32_t word = 0;
        if (!json_strict_int(obj, key, &word)) continue;
        const uint32_t bits = static_cast<uint32_t>(word);
        for (int b = 0; b < 32; ++b)
          if ((bits >> b) & 1u) add_channel(static_cast<int64_t>(w) * 32 + b, &set, outside);
      }
      break;
    default:
      break;
  }
  return set;
}

uint64_t account_channel_mask(const UserRecord& user, ChannelUse use) {
  size_t size = 0;
  const char* t = use_text(user, use, &size);
  uint64_t mask = 0;
  for (size_t i = 0; i < size && i < 64 && t[i]; ++i)
    if (t[i] == '1') mask |= 1ULL << i;
  return mask;
}

uint64_t session_channel_mask(ChannelUse use) {
  if (!session_checked()) return kAllChannels;
  const SessionRecord* s = session_current();
  if (!s) return 0;
  if (s->user_id == SESSION_NO_ACCOUNT || s->level == USER_LEVEL_ADMIN) return kAllChannels;
  UserRecord user;
  if (!current_account(&user)) return 0;
  if (user.type == USER_LEVEL_ADMIN) return kAllChannels;
  return account_channel_mask(user, use);
}

bool cgi_channels_allowed(const char* name, const char* text) {
  if (!name || !session_checked()) return true;
  for (const ChannelRow& row : kChannelTable) {
    if (std::strcmp(row.name, name) != 0) continue;
    bool outside = false;
    const uint64_t named = channels_named(row, text, &outside);
    const uint64_t allowed = session_channel_mask(row.use);
    if (allowed == kAllChannels) continue;
    if (outside || (named & ~allowed) != 0) {
      cgiHeaderStatus(403, "Forbidden");
      return false;
    }
  }
  return true;
}

bool session_sees_secrets() { return !session_checked() || session_is_admin(); }

std::string_view reply_secret(std::string_view stored) { return session_sees_secrets() ? stored : std::string_view(); }

bool secret_kept_text(std::string_view posted) { return posted.empty() && !session_sees_secrets(); }

bool secret_kept(json_object* req, const char* key) {
  json_object* v = json_member(req, key, json_type_string);
  return v && secret_kept_text(json_object_get_string(v));
}
