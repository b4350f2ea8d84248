// eSATA backup and formatting status:
// "/6220" and "/6221" the stored auto-backup settings, "/6222" auto-backup
// status, "/6223" the export disk, "/6224" format an eSATA disk, "/6225"
// auto-backup running status, "/6226" stop the auto backup, "/6227"
// formatting status and percent.
#include <cmath>
#include <cstdio>

#include "core/event_actions.h"
#include "handlers/storage/storage.h"

namespace storage {

namespace {

// Stored auto-backup settings (family "esata_auto_backup", one record).
struct EsataAutoBackup {
  int32_t enable;
  int32_t streamType;
  int32_t fileType;
  int32_t recycle;
  char backupTime[32];
  char channel[65];  // channel mask text
  uint8_t reserved[3];
  int32_t device;
  int32_t port;
};
static_assert(sizeof(EsataAutoBackup) == 124, "auto-backup settings are 124 bytes");
static_assert(offsetof(EsataAutoBackup, backupTime) == 16, "backup time at 16");
static_assert(offsetof(EsataAutoBackup, channel) == 48, "channel text at 48");
static_assert(offsetof(EsataAutoBackup, device) == 116, "device at 116");

constexpr char kBackupFamily[] = "esata_auto_backup";

int read_esata_auto_backup(EsataAutoBackup* rec) {
  return zrdb_read_record(ZRDB_PATH, kBackupFamily, 0, rec, sizeof *rec) < 0 ? -1 : 0;
}
int write_esata_auto_backup(const EsataAutoBackup& rec) {
  return zrdb_write_record(ZRDB_PATH, kBackupFamily, 0, &rec, sizeof rec);
}

// A reply that must hold one whole record; the JSON error reply otherwise.
bool whole_record(int count, const void* payload) {
  if (count >= 1 && payload) return true;
  cgi_error_to_webserver(CGI_KIND_JSON);
  g_callback_done = 1;
  return false;
}

}  // namespace

// ---- Reply writers ------------------------------------------------------------------

void on_set_esata_auto_backup_info_cb(int count, const void* payload) { storage_answer_word("result", count, payload); }

void on_get_esata_auto_backup_status_cb(int count, const void* payload) {
  if (!whole_record(count, payload)) return;
  EsataBackupStatus s;
  std::memcpy(&s, payload, sizeof s);
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.1f", std::isfinite(s.percent) ? static_cast<double>(s.percent) : 0.0);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "status", s.status);
  json_add_text(out.get(), "percent", percent);
  json_add_field(out.get(), "last_time", s.last_time);
  json_add_int(out.get(), "capacity", s.capacity);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

// The first record of kind 5; an empty list has no export disk.
void on_get_export_disk_info_cb(int count, const void* payload) {
  JsonPtr out(json_object_new_object());
  const uint8_t* p = static_cast<const uint8_t*>(payload);
  bool found = false;
  for (int i = 0; p && i < count && !found; ++i) {
    ExportDiskRecord rec;
    std::memcpy(&rec, p + static_cast<size_t>(i) * sizeof rec, sizeof rec);
    if (rec.kind != EXPORT_DISK_KIND) continue;
    json_add_int(out.get(), "port", rec.port);
    json_add_int(out.get(), "result", 0);
    found = true;
  }
  if (!found) json_add_int(out.get(), "result", -1);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

void on_format_esata_disk_web_cb(int count, const void* payload) { storage_answer_word("result", count, payload); }
void on_cgi_get_auto_backup_status_cb(int count, const void* payload) { storage_answer_word("status", count, payload); }
void on_cgi_set_auto_backup_stop_cb(int count, const void* payload) { storage_answer_word("result", count, payload); }

void on_cgi_get_format_info_cb(int count, const void* payload) {
  if (!whole_record(count, payload)) return;
  FormatStatus s;
  std::memcpy(&s, payload, sizeof s);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "status", s.status);
  json_add_int(out.get(), "port", s.port);
  json_add_int(out.get(), "type", s.type);
  json_add_int(out.get(), "percent", s.percent);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

// ---- Handlers -----------------------------------------------------------------------

// "/6220"
void on_get_esata_auto_backup_info(char*) {
  EsataAutoBackup rec{};
  read_esata_auto_backup(&rec);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "enable", rec.enable);
  json_add_int(out.get(), "streamType", rec.streamType);
  json_add_int(out.get(), "fileType", rec.fileType);
  json_add_int(out.get(), "recycle", rec.recycle);
  json_add_field(out.get(), "channel", rec.channel);
  json_add_field(out.get(), "backupTime", rec.backupTime);
  json_add_int(out.get(), "device", rec.device);
  json_add_int(out.get(), "port", rec.port);
  cgi_write_json(out.get());
}

// "/6221": {"stopBackup", "enable", "streamType", "fileType", "recycle",
// "backupTime", "channel", "device", "port" (0..36)}. With "stopBackup" 0
// (or absent) the present keys are stored first; absent keys keep the
// stored values. Either way 1316 carries "stopBackup".
void on_set_esata_auto_backup_info(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int32_t stop = 0;
  if (json_has(req.get(), "stopBackup") && !json_strict_int(req.get(), "stopBackup", &stop)) return;
  if (stop == 0) {
    ZrdbTransaction txn(ZRDB_PATH);
    EsataAutoBackup rec{};
    bool ok = read_esata_auto_backup(&rec) == 0;
    const EsataAutoBackup before = rec;
    struct {
      const char* key;
      int32_t* field;
      int lo, hi;
    } ints[] = {{"enable", &rec.enable, INT32_MIN, INT32_MAX},     {"streamType", &rec.streamType, INT32_MIN, INT32_MAX},
                {"fileType", &rec.fileType, INT32_MIN, INT32_MAX}, {"recycle", &rec.recycle, INT32_MIN, INT32_MAX},
                {"device", &rec.device, INT32_MIN, INT32_MAX},     {"port", &rec.port, 0, DISK_SLOTS}};
    for (const auto& f : ints)
      if (json_has(req.get(), f.key) && !json_strict_int_in(req.get(), f.key, f.lo, f.hi, f.field)) return;
    if (!json_texts_readable(req.get(), {"backupTime", "channel"})) return;
    json_take_text(req.get(), "backupTime", rec.backupTime);
    json_take_text(req.get(), "channel", rec.channel);
    if (ok && std::memcmp(&rec, &before, sizeof rec) != 0) ok = write_esata_auto_backup(rec) == 0;
    if (!finish_event_writes(txn, ok, CGI_KIND_JSON)) return;
  }
  storage_exchange(REQ_ESATA_BACKUP_SET, &stop, sizeof stop, CGI_KIND_JSON);
}

// "/6222"
void on_get_esata_auto_backup_status(char*) { storage_exchange(REQ_ESATA_BACKUP_STATUS, nullptr, 0, CGI_KIND_JSON); }

// "/6223"
void on_get_export_disk_info(char*) { storage_exchange(REQ_EXPORT_DISK, nullptr, 0, CGI_KIND_JSON); }

// "/6224": {"port": 0..36}; anything else answers the JSON error reply.
void on_format_esata_disk_web(char* text) {
  JsonPtr req = parse_request(text);
  int32_t port = 0;
  if (!req || !json_strict_int_in(req.get(), "port", 0, DISK_SLOTS, &port)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  storage_exchange(REQ_FORMAT_ESATA, &port, sizeof port, CGI_KIND_JSON);
}

// "/6225"
void on_cgi_get_auto_backup_status(char*) { storage_exchange(REQ_AUTO_BACKUP_STATUS, nullptr, 0, CGI_KIND_JSON); }

// "/6226"
void on_cgi_set_auto_backup_stop(char*) { storage_exchange(REQ_AUTO_BACKUP_STOP, nullptr, 0, CGI_KIND_JSON); }

// "/6227"
void on_cgi_get_format_info(char*) { storage_exchange(REQ_FORMAT_INFO, nullptr, 0, CGI_KIND_JSON); }

}  // namespace storage
