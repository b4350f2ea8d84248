// Disks, RAID groups, formatting, network disks, eSATA backup and quotas.
// Request table whose first name is "/6100".
//
// This file holds the module's one table and its reply dispatcher; the
// handlers live in the page files beside it.
#include "handlers/storage/storage.h"

using namespace storage;

namespace {

using ReplyWriter = void (*)(int count, const void* payload);

struct StorageReplyRow {
  int type;
  size_t rec_size;
  ReplyWriter writer;
};

// Every reply the storage pages wait for, with the size of its record.
const StorageReplyRow kStorageReplies[] = {
    {REPLY_FORMAT_DISK_ALT, 4, on_format_disk_cb},
    {8420, 4, on_create_raid_cb},
    {8421, 4, on_remove_raid_cb},
    {8423, 4, on_create_space_cb},
    {8424, 4, on_remove_space_cb},
    {8425, 4, on_rebuild_raid_cb},
    {8433, sizeof(DiskListRecord), on_get_storage_info_cb},
    {8434, 4, on_format_disk_cb},
    {8496, 4, on_remove_raid_cb},
};

}  // namespace

// An empty reply reaches its writer with count 0, which answers at once.
void on_storage_ipc_callback(void*, void* header, void* payload) {
  if (!header || !payload) return;
  const int type = cgi_reply_type(header);
  for (const StorageReplyRow& row : kStorageReplies) {
    if (row.type != type) continue;
    row.writer(cgi_reply_count(header, row.rec_size), payload);
    return;
  }
}

namespace {
const WebRes kStorageTable[] = {
    {"/6100", on_get_disk_info},
    {"/6101", on_set_disk_info},
    {"/6102", on_format_disk},
    {"/6103", on_get_format_progress},
    {"/6104", on_create_raid},
    {"/6105", on_remove_raid},
    {"/6106", on_set_hot_space},
    {"/6107", on_rebuild_raid},
    {"/6108", on_get_raid_mode},
    {"/6109", on_set_raid_mode},
};
}  // namespace

NVR_DEFINE_MODULE(storage, kStorageTable)
