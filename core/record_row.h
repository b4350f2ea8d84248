// The stored recording settings of a channel (one row per channel, ids
// 0..63) and its weekly recording schedule. Used by the record settings and
// the aging switches.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/web_utils.h"
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

// One day of a recording schedule: the sections of the shared schedule day,
// with the two words at its end holding the whole-day switch.
struct RecordScheduleDay {
  ScheduleSection plans[SCHEDULE_SECTIONS];
  int32_t wholedayEnable;
  int32_t wholedayActionType;
};
static_assert(sizeof(RecordScheduleDay) == sizeof(ScheduleDay), "a recording day is a schedule day");
static_assert(offsetof(RecordScheduleDay, wholedayEnable) == 3264, "whole-day switch at 3264");
static_assert(offsetof(RecordScheduleDay, wholedayActionType) == 3268, "whole-day action at 3268");

// The weekly recording schedule of a channel: 8 days and 4 spare bytes.
struct RecordSchedule {
  RecordScheduleDay days[SCHEDULE_DAYS];
  uint8_t spare[4];
};
static_assert(sizeof(RecordSchedule) == 26180, "recording schedule is 26180 bytes");

constexpr char RECORD_SCHEDULE_FAMILY[] = "record_schedule";
// A schedule never written reads empty. 0, or -1 when the store failed.
int read_record_schedule(const char* db, RecordSchedule* sched, int ch);
// Writes the schedule to every channel 0..63 of the mask, all or none:
// 0, or -1 when the store failed.
int copy_record_schedules(const char* db, const RecordSchedule* sched, uint64_t mask);
