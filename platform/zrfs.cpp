#include "platform/zrfs.h"

#include <cstring>

int zrfs_log_pack_detail(uint8_t* detail_area, size_t area_size, int kind, const void* data, size_t len) {
  constexpr size_t kHead = 6;  // 16-bit kind, int32 length
  if (!detail_area || (len && !data) || len > ZRFS_LOG_DETAIL_MAX || area_size < kHead + len) return -1;
  const uint16_t k = static_cast<uint16_t>(kind);
  const int32_t n = static_cast<int32_t>(len);
  std::memcpy(detail_area, &k, sizeof k);
  std::memcpy(detail_area + 2, &n, sizeof n);
  if (len) std::memcpy(detail_area + kHead, data, len);
  return 0;
}
