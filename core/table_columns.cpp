#include "core/table_columns.h"

#include <cstring>
#include <iterator>
#include <string>

#include "core/camera_record.h"
#include "core/cgi_log.h"
#include "core/event_records.h"
#include "core/record_row.h"
#include "platform/zrdb.h"

namespace {

const TableColumn kColumns[] = {
    {"record", "mode", sizeof(RecordRow), offsetof(RecordRow, mode), offsetof(RecordRow, id)},
    {"camera", "anr", sizeof(CameraRecord), offsetof(CameraRecord, cameraAnr), offsetof(CameraRecord, id)},
    {"camera", "record_stream", sizeof(CameraRecord), offsetof(CameraRecord, recordStreamType),
     offsetof(CameraRecord, id)},
    {"video_loss", "tri_alarms", sizeof(VideoLossRecord), offsetof(VideoLossRecord, tri_alarms),
     offsetof(VideoLossRecord, channel)},
};

}  // namespace

const TableColumn* find_table_column(const char* table, const char* column) {
  if (!table || !column) return nullptr;
  for (const TableColumn& c : kColumns)
    if (std::strcmp(c.table, table) == 0 && std::strcmp(c.column, column) == 0) return &c;
  return nullptr;
}

int copy_table_column_int(const char* db, const char* table, const char* column, int32_t value, uint64_t mask,
                          const char* key_column) {
  const TableColumn* col = find_table_column(table, column);
  if (!col || !key_column || std::strcmp(key_column, "id") != 0) {
    CGI_LOG("zrdb: no integer column %s.%s keyed by %s", table ? table : "", column ? column : "",
            key_column ? key_column : "");
    return -1;
  }
  std::string row(col->record_size, '\0');
  ZrdbTransaction txn(db);
  if (!txn.ok()) return -1;
  for (int32_t ch = 0; ch < MAX_CHANNELS; ++ch) {
    if (!(mask & (1ULL << ch))) continue;
    const int got = zrdb_read_record(db, col->table, ch, &row[0], row.size());
    if (got < 0) return -1;
    if (got == 1) std::memcpy(&row[col->key_offset], &ch, sizeof ch);
    std::memcpy(&row[col->offset], &value, sizeof value);
    if (zrdb_write_record(db, col->table, ch, row.data(), row.size()) != 0) return -1;
  }
  return txn.commit();
}
