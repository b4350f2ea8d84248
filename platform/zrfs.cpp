#include "platform/zrfs.h"

#include <cstring>

int zrfs_log_pack_detail(uint8_t* area, size_t area_size, int kind, const void* data, size_t len) {
  if (!area || (!data && len) || area_size < ZRFS_DETAIL_HEADER || len > area_size - ZRFS_DETAIL_HEADER)
    return -1;
  std::memset(area, 0, area_size);
  const uint16_t kind16 = static_cast<uint16_t>(kind);
  const int32_t length = static_cast<int32_t>(len);
  std::memcpy(area, &kind16, sizeof kind16);
  std::memcpy(area + ZRFS_DETAIL_LENGTH_AT, &length, sizeof length);
  if (len) std::memcpy(area + ZRFS_DETAIL_HEADER, data, len);
  return 0;
}

int log_channo_is_disk(int main_type, int64_t sub_type) {
  if (main_type == 8) return sub_type >= 511 && sub_type <= 514 ? 1 : 0;
  if (main_type == 32) return sub_type >= 401 && sub_type <= 403 ? 1 : 0;
  return 0;
}
