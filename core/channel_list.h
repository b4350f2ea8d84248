// The channel lists of requests ("cnt" with "chnid": [...]): read once, the
// same way by every page that applies a setting to several channels.
#pragma once
#include <json-c/json.h>

#include <cstdint>

struct RequestChannels {
  int n = 0;                 // channels taken, in request order
  int32_t channels[64] = {};
  uint64_t mask = 0;         // the same channels as bits
  bool has_last = false;     // the last entry read was a number
  int32_t last = 0;          // its value (taken or not)
};

// The first count entries of the list member (never more than it holds;
// no list reads as empty). An entry is taken when it is a strict integer
// below limit (at most 64) and not taken before; other entries are skipped.
RequestChannels take_request_channels(json_object* req, const char* list_member, int count, int limit);
