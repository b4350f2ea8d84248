// Stand-in for the recording file system library: the packing of detail
// blocks into the detail area of an operation-log record.
#pragma once
#include <cstddef>
#include <cstdint>

// Detail area layout (the area starts at offset 146 of the 672-byte log
// record): uint16 kind, int32 length, then the block's bytes. So the length
// lands at record offset 148 and the data at 152, where the log reader
// finds "size" and "detail".
constexpr size_t ZRFS_DETAIL_LENGTH_AT = 2;
constexpr size_t ZRFS_DETAIL_HEADER = 6;

// Packs a detail block of the given kind into a detail area of area_size
// bytes (the rest of the area is zeroed). -1 when the block does not fit or
// an argument is null, else 0.
int zrfs_log_pack_detail(uint8_t* area, size_t area_size, int kind, const void* data, size_t len);

// Whether the channel number of a log entry names a disk rather than a
// camera channel: the disk entries of the information log (disk added,
// removed, formatted: sub-types 511 to 514) and of the exception log (disk
// full, disk error, no disk: sub-types 401 to 403). 1 or 0.
int log_channo_is_disk(int main_type, int64_t sub_type);
