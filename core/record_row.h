// The stored recording settings of a channel (one row per channel, ids
// 0..63). Used by the record settings and the aging switches.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/zrdb.h"

struct RecordRow {
  int32_t id;
  int32_t mode;  // recording mode 0..2
  int32_t audioEnable;
  int32_t prevRecordOn;
  int32_t prevRecordDuration;
  int32_t postRecordOn;
  int32_t postRecordDuration;
  int32_t recordExpDate;
  uint8_t reserved[40];  // further fields kept as read
};
static_assert(sizeof(RecordRow) == 72, "record row is 72 bytes");
static_assert(offsetof(RecordRow, mode) == 4, "recording mode at 4");
static_assert(offsetof(RecordRow, recordExpDate) == 28, "expiry at 28");

// read_record / write_record / read_records / copy_records
ZRDB_RECORD_FAMILY(record, RecordRow, "record")
constexpr int RECORD_ROWS = 64;
