#include "core/channel_list.h"

#include "core/cgi_json.h"

RequestChannels take_request_channels(json_object* req, const char* list_member, int count, int limit) {
  RequestChannels out;
  json_object* list = json_array_member(req, list_member);
  const size_t len = json_array_size(list);
  const size_t n = count < 0 ? 0 : static_cast<size_t>(count) < len ? static_cast<size_t>(count) : len;
  if (limit > 64) limit = 64;
  for (size_t i = 0; i < n; ++i) {
    int32_t ch = 0;
    out.has_last = json_value_int(json_object_array_get_idx(list, i), &ch);
    out.last = out.has_last ? ch : 0;
    if (!out.has_last || ch < 0 || ch >= limit || (out.mask & (1ULL << ch))) continue;
    out.mask |= 1ULL << ch;
    out.channels[out.n++] = ch;
  }
  return out;
}
