// Stored disk and disk-group records: the storage pages write them, the
// disk list and the status pages read them. Disk slots are the ports
// 1..36; disk groups are kept at the indices 0..15.
#pragma once
#include <json-c/json.h>

#include <cstddef>
#include <cstdint>

#include "platform/zrdb.h"

constexpr int DISK_SLOTS = 36;       // ports 1..36 ("maxDiskNum")
constexpr int DISK_GROUPS = 16;      // groups 0..15
constexpr int DISK_TYPE_NFS = 3;     // network disk kinds (hddType)
constexpr int DISK_TYPE_RAID = 4;
constexpr int DISK_TYPE_SMB = 10;

inline bool disk_port_valid(int port) { return port >= 1 && port <= DISK_SLOTS; }
inline bool disk_type_is_network(int type) { return type == DISK_TYPE_NFS || type == DISK_TYPE_SMB; }

// One stored disk slot (family "disk", keyed by its port).
struct DiskRecord {
  int32_t id;  // the port
  int32_t enable;
  char vendorName[64];
  char address[64];     // network disk server
  char directory[128];  // network disk share
  int32_t hddType;
  int32_t group;
  int32_t property;  // 0 or 1
  char userName[33];  // network disk login, stored decoded
  char password[33];
  uint8_t reserved[2];
};
static_assert(sizeof(DiskRecord) == 344, "disk record is 344 bytes");
static_assert(offsetof(DiskRecord, vendorName) == 8, "vendor at 8");
static_assert(offsetof(DiskRecord, address) == 72, "address at 72");
static_assert(offsetof(DiskRecord, directory) == 136, "directory at 136");
static_assert(offsetof(DiskRecord, hddType) == 264, "kind at 264");
static_assert(offsetof(DiskRecord, group) == 268, "group at 268");
static_assert(offsetof(DiskRecord, property) == 272, "property at 272");
static_assert(offsetof(DiskRecord, userName) == 276, "user name at 276");
static_assert(offsetof(DiskRecord, password) == 309, "password at 309");

// read_disk / write_disk / read_disks / copy_disks
ZRDB_RECORD_FAMILY(disk, DiskRecord, "disk")

// One disk group (family "disk_group", keyed by its index 0..15): the
// channels recording to the group's disks as a 64-character '0'/'1' text.
struct GroupRecord {
  int32_t id;
  char channel[65];
  char channel2[65];  // a second text, kept as stored
  uint8_t reserved[2];
};
static_assert(sizeof(GroupRecord) == 136, "group record is 136 bytes");
static_assert(offsetof(GroupRecord, channel) == 4, "channel text at 4");
static_assert(offsetof(GroupRecord, channel2) == 69, "second text at 69");

// read_group / write_group / read_groups / copy_groups
ZRDB_RECORD_FAMILY(group, GroupRecord, "disk_group")

// The stored slots 1..36 into slots[0..35] (a slot never written reads as
// zeros). 0, or -1 when the store failed.
int read_disk_slots(DiskRecord slots[DISK_SLOTS]);
// The 16 stored groups into groups[0..15]; a group never written gets its
// index as id. 0, or -1.
int read_disk_groups(GroupRecord groups[DISK_GROUPS]);

// What the group pages show beside their own fields: the channel text of
// each group, for each disk slot its group + 1 when the slot is enabled
// (else 0), "max_cameras" and "group_mode".
struct DiskGroupView {
  char channel[DISK_GROUPS][65];
  int32_t disk[DISK_SLOTS];
  int32_t max_chan;
  int32_t group_enable;
};
void read_disk_group_view(DiskGroupView* view);
// Adds "channel", "disk", "max_chan" and "group_enable" in that order.
void add_disk_group_view(json_object* obj, const DiskGroupView& view);
