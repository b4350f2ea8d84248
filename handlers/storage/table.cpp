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
    {6316, 4, on_set_esata_auto_backup_info_cb},
    {6317, sizeof(EsataBackupStatus), on_get_esata_auto_backup_status_cb},
    {REPLY_FORMAT_DISK_ALT, 4, on_format_disk_cb},
    {8403, sizeof(SmartRecord), on_get_smart_attr_cb},
    {8420, 4, on_create_raid_cb},
    {8421, 4, on_remove_raid_cb},
    {8423, 4, on_create_space_cb},
    {8424, 4, on_remove_space_cb},
    {8425, 4, on_rebuild_raid_cb},
    {8431, sizeof(RecycleMode), on_get_recycle_mode_cb},
    {8433, sizeof(DiskListRecord), on_get_storage_info_cb},
    {8434, 4, on_format_disk_cb},
    {8439, 4, on_update_disk_nas_cb},
    {8440, sizeof(NasSearchReply), on_search_disk_nas_cb},
    {8457, sizeof(ExportDiskRecord), on_get_export_disk_info_cb},
    {8475, 4, on_set_recycle_cb},
    {8496, 4, on_remove_raid_cb},
    {8507, 4, on_update_disk_nas_cb},
    {8508, 4, on_del_disk_nas_cb},
    {8529, 4, [](int words, const void* p) { on_get_quota_info_cb(static_cast<uint32_t>(words) * 4u, p); }},
    {8530, 4, on_set_quota_info_cb},
    {8535, 4, on_format_esata_disk_web_cb},
    {8536, 4, on_cgi_get_auto_backup_status_cb},
    {8537, 4, on_cgi_set_auto_backup_stop_cb},
    {8540, sizeof(FormatStatus), on_cgi_get_format_info_cb},
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
    {"/6200", on_del_disk_nas},
    {"/6201", on_add_disk_nas},
    {"/6202", on_search_disk_nas},
    {"/6203", on_update_disk_nas},
    {"/6204", on_set_recycle_mode},
    {"/6205", on_get_recycle_mode},
    {"/6206", on_get_smart_attr},
    {"/6207", on_del_disk},
    {"/6208", on_get_quota_info},
    {"/6209", on_set_quota_info},
    {"/6210", on_set_group_mode},
    {"/6220", on_get_esata_auto_backup_info},
    {"/6221", on_set_esata_auto_backup_info},
    {"/6222", on_get_esata_auto_backup_status},
    {"/6223", on_get_export_disk_info},
    {"/6224", on_format_esata_disk_web},
    {"/6225", on_cgi_get_auto_backup_status},
    {"/6226", on_cgi_set_auto_backup_stop},
    {"/6227", on_cgi_get_format_info},
};
}  // namespace

NVR_DEFINE_MODULE(storage, kStorageTable)
