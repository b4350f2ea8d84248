// Recording file system library: the operation-log detail packer.
#pragma once
#include <cstddef>
#include <cstdint>

// Largest detail block an operation-log record carries.
constexpr size_t ZRFS_LOG_DETAIL_MAX = 512;

// Packs a detail block of the given kind into the detail area of an
// operation-log record (the 526 bytes from offset 146): the kind as a 16-bit
// value at 146, the block length as an int32 at 148, the block from 152.
// 0, or -1 (nothing changed) for a null argument or a block over 512 bytes.
int zrfs_log_pack_detail(uint8_t* detail_area, size_t area_size, int kind, const void* data, size_t len);
