#include "core/record_row.h"

int read_record_schedule(const char* db, RecordSchedule* sched, int ch) {
  if (!sched) return -1;
  return zrdb_read_record(db, RECORD_SCHEDULE_FAMILY, ch, sched, sizeof *sched) < 0 ? -1 : 0;
}

int copy_record_schedules(const char* db, const RecordSchedule* sched, uint64_t mask) {
  if (!sched) return -1;
  ZrdbTransaction txn(db);
  if (!txn.ok()) return -1;
  for (int ch = 0; ch < RECORD_ROWS; ++ch) {
    if (!(mask & (1ULL << ch))) continue;
    if (zrdb_write_record(db, RECORD_SCHEDULE_FAMILY, ch, sched, sizeof *sched) != 0) return -1;
  }
  return txn.commit();
}
