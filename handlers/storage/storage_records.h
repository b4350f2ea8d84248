// Records the storage module exchanges with the core daemon, shared with
// zrcore-sim. Little-endian, fixed layout; the 64-bit sizes sit on 8-byte
// boundaries so the layout is the same on 32-bit ARM and x86-64.
#pragma once
#include <cstddef>
#include <cstdint>

// ---- Request and reply ids ------------------------------------------------------
constexpr int REQ_GROUP_CHANGED = 1307;
constexpr int REQ_ESATA_BACKUP_SET = 1316;
constexpr int REQ_ESATA_BACKUP_STATUS = 1317;
constexpr int REQ_SMART_ATTR = 3403;
constexpr int REQ_CREATE_RAID = 3420;
constexpr int REQ_REMOVE_RAID = 3421;
constexpr int REQ_SET_HOT_SPARE = 3423;
constexpr int REQ_REMOVE_HOT_SPARE = 3424;
constexpr int REQ_REBUILD_RAID = 3425;
constexpr int REQ_GET_RECYCLE = 3431;
constexpr int REQ_DISK_LIST = 3433;
constexpr int REQ_FORMAT_DISK = 3434;
constexpr int REQ_DISK_PROPERTY = 3435;
constexpr int REQ_GROUP_SET = 3436;
constexpr int REQ_UPDATE_NAS = 3439;
constexpr int REQ_SEARCH_NAS = 3440;
constexpr int REQ_GROUP_MODE = 3442;
constexpr int REQ_EXPORT_DISK = 3457;
constexpr int REQ_SET_RECYCLE = 3475;
constexpr int REQ_REMOVE_DISK = 3496;
constexpr int REQ_ADD_NAS = 3507;
constexpr int REQ_DEL_NAS = 3508;
constexpr int REQ_GET_QUOTA = 3529;
constexpr int REQ_SET_QUOTA = 3530;
constexpr int REQ_FORMAT_ESATA = 3535;
constexpr int REQ_AUTO_BACKUP_STATUS = 3536;
constexpr int REQ_AUTO_BACKUP_STOP = 3537;
constexpr int REQ_FORMAT_INFO = 3540;

constexpr int REPLY_FORMAT_DISK_ALT = 8402;  // a format result may also come as 8402

constexpr int RAID_ID_FIRST = 10;
constexpr int RAID_ID_LAST = 16;
constexpr int RAID_MEMBERS_MAX = 16;
constexpr int NAS_LIST_MAX = 33;

// ---- Disk list (reply 8433, one record per disk) ----------------------------------
struct DiskListRecord {
  int32_t portId;  // slot 1..36; a RAID group's slot is its id
  char vendorName[64];
  char address[64];
  char directory[128];
  int32_t state;
  int32_t bUsable;
  int32_t reserved268;
  uint64_t totalSize;  // bytes
  uint64_t usedSize;
  uint64_t freeSize;
  int32_t hddType;
  int32_t group;
  int32_t property;
  int32_t reserved308;
  int32_t raid_level;
  int32_t raid_state;
  int32_t raid_progress;  // also the RAID task
  int32_t raid_sata_cnt;
  int32_t raid_sata_port[16];
  char userName[33];
  char password[33];
  uint8_t reserved458[6];
};
static_assert(sizeof(DiskListRecord) == 464, "disk list record is 464 bytes");
static_assert(offsetof(DiskListRecord, address) == 68, "address at 68");
static_assert(offsetof(DiskListRecord, directory) == 132, "directory at 132");
static_assert(offsetof(DiskListRecord, state) == 260, "state at 260");
static_assert(offsetof(DiskListRecord, bUsable) == 264, "bUsable at 264");
static_assert(offsetof(DiskListRecord, totalSize) == 272, "total size at 272");
static_assert(offsetof(DiskListRecord, usedSize) == 280, "used size at 280");
static_assert(offsetof(DiskListRecord, freeSize) == 288, "free size at 288");
static_assert(offsetof(DiskListRecord, hddType) == 296, "kind at 296");
static_assert(offsetof(DiskListRecord, group) == 300, "group at 300");
static_assert(offsetof(DiskListRecord, property) == 304, "property at 304");
static_assert(offsetof(DiskListRecord, raid_level) == 312, "RAID level at 312");
static_assert(offsetof(DiskListRecord, raid_progress) == 320, "RAID progress at 320");
static_assert(offsetof(DiskListRecord, raid_sata_cnt) == 324, "member count at 324");
static_assert(offsetof(DiskListRecord, raid_sata_port) == 328, "member ports at 328");
static_assert(offsetof(DiskListRecord, userName) == 392, "user name at 392");
static_assert(offsetof(DiskListRecord, password) == 425, "password at 425");

// ---- RAID request (3420 create, 3421 remove: only the id) -------------------------
struct RaidRequest {
  int32_t id;  // 10..16
  int32_t enable;
  int32_t level;
  int32_t zero[2];
  int32_t sata_cnt;
  int32_t ports[20];  // at most 16 filled, ascending
};
static_assert(sizeof(RaidRequest) == 104, "RAID request is 104 bytes");
static_assert(offsetof(RaidRequest, sata_cnt) == 20, "member count at 20");
static_assert(offsetof(RaidRequest, ports) == 24, "member ports at 24");

// Disk property change (3435).
struct DiskPropertyChange {
  int32_t portId;
  int32_t property;
  int32_t group;
  int32_t is_private;
};
static_assert(sizeof(DiskPropertyChange) == 16, "disk property change is 16 bytes");

// Rebuild of a RAID group with a disk (3425).
struct RaidRebuild {
  int32_t diskport;
  int32_t raidport;
};
static_assert(sizeof(RaidRebuild) == 8, "rebuild request is 8 bytes");

// ---- Network disks ----------------------------------------------------------------
// Network disk list (3507 add, 3508 remove).
struct NasPortList {
  int32_t count;
  int32_t ports[NAS_LIST_MAX];
};
static_assert(sizeof(NasPortList) == 136, "network disk list is 136 bytes");

// Share search (3440) and its reply (8440).
struct NasSearchRequest {
  int32_t port;
  char serverAddr[64];
};
static_assert(sizeof(NasSearchRequest) == 68, "search request is 68 bytes");
constexpr int NAS_SEARCH_ENTRIES = 64;
struct NasSearchReply {
  int32_t count;
  char paths[NAS_SEARCH_ENTRIES][256];
};
static_assert(sizeof(NasSearchReply) == 16388, "search reply is 16388 bytes");

// ---- Recycle mode (3475, reply 8431) ------------------------------------------------
struct RecycleMode {
  int32_t mode;
  int32_t esata;
};
static_assert(sizeof(RecycleMode) == 8, "recycle mode is 8 bytes");

// ---- S.M.A.R.T. self-evaluation (reply 8403) ------------------------------------------
struct SmartRecord {
  uint8_t head[12];
  char result[28];  // holds "PASSED" when the disk passed
};
static_assert(sizeof(SmartRecord) == 40, "S.M.A.R.T. record is 40 bytes");

// ---- Quotas (reply 8529, request 3530) -------------------------------------------------
struct QuotaEntry {
  int32_t channel;
  int32_t video_quota;
  int32_t picture_quota;
  int32_t video_used;
  int32_t picture_used;
};
static_assert(sizeof(QuotaEntry) == 20, "quota entry is 20 bytes");
struct QuotaReplyHead {
  int32_t enable;
  int32_t count;
};
static_assert(sizeof(QuotaReplyHead) == 8, "quota reply head is 8 bytes");

constexpr int QUOTA_SET_ENTRIES = 8;
struct QuotaSetEntry {
  uint8_t channel;
  uint8_t zero[3];
  int32_t video_quota;
  int32_t picture_quota;
  int32_t zero2[2];
};
struct QuotaSet {
  int32_t enable;
  int32_t count;
  QuotaSetEntry entries[QUOTA_SET_ENTRIES];
};
static_assert(sizeof(QuotaSetEntry) == 20, "quota set entry is 20 bytes");
static_assert(sizeof(QuotaSet) == 168, "quota set is 168 bytes");
static_assert(offsetof(QuotaSet, entries) == 8, "entries at 8");

// ---- eSATA backup and formatting --------------------------------------------------------
// Auto-backup status (reply 6317).
struct EsataBackupStatus {
  int32_t status;
  char last_time[32];
  float percent;
  int32_t capacity;
  uint8_t reserved[4];
};
static_assert(sizeof(EsataBackupStatus) == 48, "auto-backup status is 48 bytes");
static_assert(offsetof(EsataBackupStatus, percent) == 36, "percent at 36");
static_assert(offsetof(EsataBackupStatus, capacity) == 40, "capacity at 40");

// Export (backup) disk (reply 8457, one record per disk).
constexpr uint32_t EXPORT_DISK_KIND = 5;
struct ExportDiskRecord {
  uint8_t port;
  uint8_t reserved1[151];
  uint32_t kind;
  uint8_t reserved156[28];
};
static_assert(sizeof(ExportDiskRecord) == 184, "export disk record is 184 bytes");
static_assert(offsetof(ExportDiskRecord, kind) == 152, "kind at 152");

// Formatting status (reply 8540).
struct FormatStatus {
  uint32_t status;
  uint8_t percent;
  uint8_t port;
  uint8_t pad[2];
  uint32_t type;
};
static_assert(sizeof(FormatStatus) == 12, "format status is 12 bytes");
static_assert(offsetof(FormatStatus, port) == 5, "port at 5");
static_assert(offsetof(FormatStatus, type) == 8, "type at 8");
