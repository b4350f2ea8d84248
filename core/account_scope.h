// What the signed-in account may see and act on beyond its areas: the
// channels of each use (its channel texts) and the stored secrets.
//
// Channels: every request name that acts on a channel has rows in one table
// naming the request key that holds the channel (or channel list or mask)
// and the use whose channel text of the account must allow it. The check
// runs after the request text is read and before the handler: a channel
// outside the account's text is answered "Status: 403 Forbidden" with an
// empty body, and nothing is sent. Administrators may act on every channel,
// whatever their texts hold; so may a session from an e-mail link (it holds
// no account, and live view alone).
//
// Secrets: the passwords, community texts and notification credentials a
// getter answers go to administrators only; every other account gets an
// empty text, and an empty text posted back by such an account keeps the
// stored secret, so a round trip changes nothing.
#pragma once
#include <json-c/json.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

struct UserRecord;

// The four channel texts of an account, in record order.
enum ChannelUse : uint8_t {
  CHANNEL_USE_LOCAL_LIVE = 0,
  CHANNEL_USE_LOCAL_PLAYBACK,
  CHANNEL_USE_REMOTE_LIVE,
  CHANNEL_USE_REMOTE_PLAYBACK,
  CHANNEL_USE_COUNT
};

// Where a request carries its channels.
enum ChannelForm : uint8_t {
  CHANNEL_IN_NUMBER,      // the key holds one channel; absent reads as channel 0
  CHANNEL_IN_LIST,        // the key holds an array of channels
  CHANNEL_IN_MASK_TEXT,   // the key holds a text, character n '1' for channel n
  CHANNEL_IN_MASK_WORDS,  // keys key0..key7: 32-bit words, bit b of word i for channel 32i+b
  CHANNEL_IN_TEXT,        // the request text itself is one channel number
};

struct ChannelRow {
  const char* name;  // request name
  const char* key;   // null for CHANNEL_IN_TEXT
  ChannelForm form;
  ChannelUse use;
};

// The whole table, for tests and listings; a name may have several rows.
const ChannelRow* channel_table(size_t* count);

// The channels a request text names under one row: bit n for channel n;
// *outside is set when it names a number outside 0..63. A text that does
// not parse, or a value that is not a number, names nothing (the handler
// refuses such a request itself).
uint64_t channels_named(const ChannelRow& row, const char* text, bool* outside);

// Bit n set when character n of the account's text for the use is '1'.
uint64_t account_channel_mask(const UserRecord& user, ChannelUse use);

// The channels of a use the current session may act on: every channel for
// administrators, e-mail link sessions and a process that ran no access
// check (in-process tools); for other accounts their stored text (none
// when the account cannot be read).
uint64_t session_channel_mask(ChannelUse use);
inline bool session_channel_allowed(ChannelUse use, int ch) {
  return ch >= 0 && ch < 64 && ((session_channel_mask(use) >> ch) & 1ULL) != 0;
}

// The channel check of one request, before its handler runs. True when the
// request may go on; otherwise the 403 status has been written.
bool cgi_channels_allowed(const char* name, const char* text);

// True when the current session may read stored secrets: administrators,
// and a process that ran no access check.
bool session_sees_secrets();
// The stored secret as a getter answers it: itself or "".
std::string_view reply_secret(std::string_view stored);
template <size_t N>
inline std::string_view reply_secret(const char (&field)[N]) {
  return reply_secret(std::string_view(field, strnlen(field, N)));
}
// A setter keeps the stored secret when this is true: the session may not
// read secrets and posted the key as an empty text (as the getter gave it).
bool secret_kept(json_object* req, const char* key);
// The same for a text taken from elsewhere (a dialog row, a list element).
bool secret_kept_text(std::string_view posted);
