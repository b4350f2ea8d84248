// Private header of the storage module: disks, RAID groups, formatting,
// network disks, eSATA backup and quotas. One table (table.cpp), one reply
// dispatcher, the page files disks.cpp, nas.cpp, settings.cpp, esata.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/disk_records.h"
#include "core/strutil.h"
#include "handlers/modules.h"
#include "handlers/storage/storage_records.h"
#include "platform/zrdb.h"

void on_storage_ipc_callback(void* ctx, void* header, void* payload);

namespace storage {

// ---- Operation logs ---------------------------------------------------------------
constexpr int64_t LOG_SUB_DISK_PROPERTY = 204;
constexpr int64_t LOG_SUB_FORMAT = 207;
constexpr int64_t LOG_SUB_NAS_ADD = 219;
constexpr int64_t LOG_SUB_NAS_DEL = 220;
constexpr int64_t LOG_SUB_NAS_UPDATE = 221;
constexpr int64_t LOG_SUB_DISK_REMOVE = 224;
constexpr int LOG_PARAM_DISK = 900;
constexpr int LOG_PARAM_DISK_PROPERTY = 919;
constexpr int LOG_DETAIL_NAS = 101;
constexpr int LOG_DETAIL_FORMAT = 102;
constexpr int LOG_DETAIL_NAS_UPDATE = 110;

// Detail of a format entry: the port and 1 (accepted) or -1.
struct FormatLogDetail {
  uint8_t zero[64];
  int32_t port;
  int32_t result;
};
static_assert(sizeof(FormatLogDetail) == 72, "format log detail is 72 bytes");

// Detail of a network disk entry.
struct NasLogDetail {
  char type[16];  // "NFS" or "SMB/CIFS"
  char address[64];
  char directory[128];
};
static_assert(sizeof(NasLogDetail) == 208, "network disk log detail is 208 bytes");
static_assert(offsetof(NasLogDetail, address) == 16, "address at 16");
static_assert(offsetof(NasLogDetail, directory) == 80, "directory at 80");

// Operation-log entry (main type 4) with a detail block packed by the
// recording file system library (none when detail is null).
void storage_log(int64_t sub_type, int param, int channel, int detail_kind, const void* detail, size_t len);

// ---- Exchanges and the common reply writers --------------------------------------
// One waiting request on the module's dispatcher; the final done flag.
int storage_exchange(int req_id, const void* payload, int len, int error_kind);

// The first word of the last status-like reply, for the handler after the
// exchange: g_storage_reply_taken is true only when a reply held one (the
// exchange resets both, the word to -1).
extern int32_t g_storage_reply_word;
extern bool g_storage_reply_taken;
// Takes the reply's first int32 into g_storage_reply_word; false when the
// reply holds no whole word.
bool storage_take_word(int count, const void* payload);
// True when the last exchange got a reply word of 0 (the core accepted).
inline bool storage_core_accepted() { return g_storage_reply_taken && g_storage_reply_word == 0; }

// "OK" for a first word 0, "Error" for any other; an empty reply answers
// the plain-text error reply at once.
void storage_answer_ok_or_error(int count, const void* payload);
// {"<key>": first word}; an empty reply answers the JSON error reply.
void storage_answer_word(const char* key, int count, const void* payload);

// ---- Requests from the page ---------------------------------------------------------
// The last element of the first min(num, length) elements of an integer
// array member; false for an empty array or a non-integer element.
bool take_last_port(json_object* req, int32_t* out);

// Kind name of a network disk for the logs.
const char* nas_type_name(int hdd_type, bool other_is_smb);

// ---- Per-reply writers (called by the dispatcher) ------------------------------------
// disks.cpp
void on_get_storage_info_cb(int count, const void* payload);
void on_format_disk_cb(int count, const void* payload);
void on_create_raid_cb(int count, const void* payload);
void on_remove_raid_cb(int count, const void* payload);
void on_create_space_cb(int count, const void* payload);
void on_remove_space_cb(int count, const void* payload);
void on_rebuild_raid_cb(int count, const void* payload);
// nas.cpp
void on_update_disk_nas_cb(int count, const void* payload);
void on_del_disk_nas_cb(int count, const void* payload);
void on_search_disk_nas_cb(int count, const void* payload);
// settings.cpp
void on_set_recycle_cb(int count, const void* payload);
void on_get_recycle_mode_cb(int count, const void* payload);
void on_get_smart_attr_cb(int count, const void* payload);
void on_get_quota_info_cb(uint32_t length, const void* payload);
void on_set_quota_info_cb(int count, const void* payload);
// esata.cpp
void on_set_esata_auto_backup_info_cb(int count, const void* payload);
void on_get_esata_auto_backup_status_cb(int count, const void* payload);
void on_get_export_disk_info_cb(int count, const void* payload);
void on_format_esata_disk_web_cb(int count, const void* payload);
void on_cgi_get_auto_backup_status_cb(int count, const void* payload);
void on_cgi_set_auto_backup_stop_cb(int count, const void* payload);
void on_cgi_get_format_info_cb(int count, const void* payload);

// ---- Handlers --------------------------------------------------------------------------
// disks.cpp
void on_get_disk_info(char* text);
void on_set_disk_info(char* text);
void on_format_disk(char* text);
void on_get_format_progress(char* text);
void on_create_raid(char* text);
void on_remove_raid(char* text);
void on_set_hot_space(char* text);
void on_rebuild_raid(char* text);
void on_get_raid_mode(char* text);
void on_set_raid_mode(char* text);
// nas.cpp
void on_del_disk_nas(char* text);
void on_add_disk_nas(char* text);
void on_search_disk_nas(char* text);
void on_update_disk_nas(char* text);
void on_del_disk(char* text);
// settings.cpp
void on_set_recycle_mode(char* text);
void on_get_recycle_mode(char* text);
void on_get_smart_attr(char* text);
void on_get_quota_info(char* text);
void on_set_quota_info(char* text);
void on_set_group_mode(char* text);
// esata.cpp
void on_get_esata_auto_backup_info(char* text);
void on_set_esata_auto_backup_info(char* text);
void on_get_esata_auto_backup_status(char* text);
void on_get_export_disk_info(char* text);
void on_format_esata_disk_web(char* text);
void on_cgi_get_auto_backup_status(char* text);
void on_cgi_set_auto_backup_stop(char* text);
void on_cgi_get_format_info(char* text);

}  // namespace storage
