#include "platform/zrfs.h"

#include <cstring>

int zrfs_log_pack_detail(uint8_t* area, size_t area_size, int kind, const void* data, size_t len) {
  if (!area || (!data && len) || area_size < ZRFS_DETAIL_HEADER || len > area_size - ZRFS_DETAIL_HEADER)
    return -1;
  std::memset(area, 0, area_size);
  const int32_t head[2] = {kind, static_cast<int32_t>(len)};
  std::memcpy(area, head, sizeof head);
  if (len) std::memcpy(area + ZRFS_DETAIL_HEADER, data, len);
  return 0;
}
