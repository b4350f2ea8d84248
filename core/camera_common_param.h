// The camera common parameter record: generic key and value access to a
// camera's own settings (its web page, the page's parameter name, a value).
// Sent by the camera pages ("/2023", "/2024") and by PTZ for the camera's
// speed and fisheye preset names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/strutil.h"

constexpr int REQ_CAMERA_COMMON_PARAM_GET = 3225;  // reply 8225 carries the record
constexpr int REQ_CAMERA_COMMON_PARAM_SET = 3226;  // reply 8226

// Requests 3225 and 3226 (and their replies).
struct CommonParam {
  int32_t id;  // channel
  char pagename[64];
  char httpname[64];
  char key[128];
  char value[128];
  int32_t flag;  // 1 on a read whose pagename is empty
};
static_assert(sizeof(CommonParam) == 392, "camera common parameter record is 392 bytes");
static_assert(offsetof(CommonParam, pagename) == 4, "pagename at 4");
static_assert(offsetof(CommonParam, httpname) == 68, "httpname at 68");
static_assert(offsetof(CommonParam, key) == 132, "key at 132");
static_assert(offsetof(CommonParam, value) == 260, "value at 260");
static_assert(offsetof(CommonParam, flag) == 388, "flag at 388");

// A zeroed record with the texts cut to their fields (flag 0).
inline CommonParam make_common_param(int32_t id, std::string_view pagename, std::string_view httpname,
                                     std::string_view key, std::string_view value) {
  CommonParam rec{};
  rec.id = id;
  copy_field(rec.pagename, pagename);
  copy_field(rec.httpname, httpname);
  copy_field(rec.key, key);
  copy_field(rec.value, value);
  return rec;
}
