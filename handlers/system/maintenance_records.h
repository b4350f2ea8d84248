// Records of the maintenance pages: the device information the core daemon
// sends (reply 8400, also built by zrcore-sim), and the stored retention,
// automatic reboot and display records.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/zrdb.h"

// Device information, 592 bytes little-endian. Text fields may come
// without a terminator: read them through field_view().
struct SystemInfoRecord {
  int32_t deviceId;
  int32_t maxCameras;
  int32_t reserved8[2];
  int32_t maxSensor;  // alarm inputs
  int32_t maxAlarm;   // alarm outputs
  int32_t reserved24;
  int32_t maxAudioOut;
  int32_t displayNum;
  int32_t reserved36[2];
  int32_t maxRs485;
  int32_t reserved48;
  int32_t maxNetworkLan;
  int32_t reserved56;
  int32_t oemVersion;
  int32_t reserved64;
  int32_t zrddns;
  char sn[65];
  char prefix[16];
  char model[32];
  char software[32];
  char hwver[32];
  char reserved249[160];
  char mac[43];
  int32_t supportTalk;
  uint8_t reserved456[136];
};
static_assert(sizeof(SystemInfoRecord) == 592, "device information is 592 bytes");
static_assert(offsetof(SystemInfoRecord, maxSensor) == 16, "sensors at 16");
static_assert(offsetof(SystemInfoRecord, maxAlarm) == 20, "alarm outputs at 20");
static_assert(offsetof(SystemInfoRecord, maxAudioOut) == 28, "audio outputs at 28");
static_assert(offsetof(SystemInfoRecord, displayNum) == 32, "displays at 32");
static_assert(offsetof(SystemInfoRecord, maxRs485) == 44, "RS-485 ports at 44");
static_assert(offsetof(SystemInfoRecord, maxNetworkLan) == 52, "network ports at 52");
static_assert(offsetof(SystemInfoRecord, oemVersion) == 60, "OEM version at 60");
static_assert(offsetof(SystemInfoRecord, zrddns) == 68, "DDNS flag at 68");
static_assert(offsetof(SystemInfoRecord, sn) == 72, "serial number at 72");
static_assert(offsetof(SystemInfoRecord, prefix) == 137, "serial prefix at 137");
static_assert(offsetof(SystemInfoRecord, model) == 153, "model at 153");
static_assert(offsetof(SystemInfoRecord, software) == 185, "software version at 185");
static_assert(offsetof(SystemInfoRecord, hwver) == 217, "hardware version at 217");
static_assert(offsetof(SystemInfoRecord, mac) == 409, "MAC address at 409");
static_assert(offsetof(SystemInfoRecord, supportTalk) == 452, "talk flag at 452");

constexpr int REQ_REBOOT = 1703;
constexpr int REQ_SYSTEM_INFO = 3400;
constexpr int REPLY_SYSTEM_INFO = 8400;
constexpr int REQ_UPGRADE = 1713;
constexpr int REPLY_UPGRADE = 6713;

// Log and photo retention.
struct DiskMaintainInfo {
  int32_t logRetention;
  int32_t photoRetention;
};
static_assert(sizeof(DiskMaintainInfo) == 8, "retention record is 8 bytes");

// Automatic reboot.
struct AutoRebootConf {
  int32_t enable;
  int32_t wday;
  int32_t hour;
  int32_t minutes;
  int32_t seconds;
};
static_assert(sizeof(AutoRebootConf) == 20, "automatic reboot record is 20 bytes");

// Local display and audio output; the reserved fields belong to the core
// daemon and are kept as read.
struct DisplayRecord {
  int32_t mainResolution;
  int32_t hdmiAudioOn;
  int32_t audioOutputOn;
  int32_t audioVolume;
  int32_t audioStereo;
  int32_t subEnable;
  int32_t subResolution;
  int32_t curControl;
  int32_t reserved[8];
};
static_assert(sizeof(DisplayRecord) == 64, "display record is 64 bytes");
static_assert(offsetof(DisplayRecord, curControl) == 28, "current control at 28");

// Record 0 of a small settings family: 0 when stored; 1 when there is none
// or the stored one is damaged (of another size): it reads as zeros and a
// save replaces it; -1 when the store failed.
template <typename T>
int read_settings_record(const char* db, const char* family, T* rec) {
  struct Found {
    T* rec;
    bool whole;
  } found{rec, false};
  std::memset(rec, 0, sizeof *rec);
  const int rc = zrdb_visit_records(
      db, family,
      [](void* ctx, int id, const void* data, size_t size) {
        Found* f = static_cast<Found*>(ctx);
        if (id != 0 || size != sizeof *f->rec) return;
        std::memcpy(f->rec, data, size);
        f->whole = true;
      },
      &found);
  if (rc != 0) return -1;
  return found.whole ? 0 : 1;
}

inline int read_disk_maintain_info(const char* db, DiskMaintainInfo* rec) {
  return read_settings_record(db, "disk_maintain", rec);
}
inline int write_disk_maintain_info(const char* db, const DiskMaintainInfo* rec) {
  return zrdb_write_record(db, "disk_maintain", 0, rec, sizeof *rec);
}
inline int read_autoreboot_conf(const char* db, AutoRebootConf* rec) {
  return read_settings_record(db, "autoreboot", rec);
}
inline int write_autoreboot_conf(const char* db, const AutoRebootConf* rec) {
  return zrdb_write_record(db, "autoreboot", 0, rec, sizeof *rec);
}
inline int read_display(const char* db, DisplayRecord* rec) {
  return zrdb_read_record(db, "display", 0, rec, sizeof *rec) < 0 ? -1 : 0;
}
inline int write_display(const char* db, const DisplayRecord* rec) {
  return zrdb_write_record(db, "display", 0, rec, sizeof *rec);
}
