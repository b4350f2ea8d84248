// Records of the log pages exchanged with the core daemon: the stored log
// entry, the search request, the search and export replies. Shared with
// zrcore-sim.
#pragma once
#include <cstddef>
#include <cstdint>

// One log entry, 672 bytes little-endian (the layout of the operation-log
// record; the core daemon fills in the time).
#pragma pack(push, 4)
struct LogRecord {
  int32_t main_type;
  int32_t reserved4;
  int64_t sub_type;
  int32_t reserved16;
  int32_t pts;      // Unix time in seconds
  int32_t param;    // a translation id
  int32_t remote;
  int32_t channel;
  char ip[46];
  char user[64];
  uint16_t kind;    // detail block kind
  int32_t size;
  uint8_t detail[512];
  uint8_t reserved664[8];
};
#pragma pack(pop)
static_assert(sizeof(LogRecord) == 672, "log record is 672 bytes");
static_assert(offsetof(LogRecord, sub_type) == 8, "sub-type at 8");
static_assert(offsetof(LogRecord, pts) == 20, "time at 20");
static_assert(offsetof(LogRecord, param) == 24, "parameter at 24");
static_assert(offsetof(LogRecord, remote) == 28, "remote flag at 28");
static_assert(offsetof(LogRecord, channel) == 32, "channel at 32");
static_assert(offsetof(LogRecord, ip) == 36, "address at 36");
static_assert(offsetof(LogRecord, user) == 82, "user at 82");
static_assert(offsetof(LogRecord, size) == 148, "size at 148");
static_assert(offsetof(LogRecord, detail) == 152, "detail at 152");

constexpr int LOG_SEARCH_SUB_TYPES = 100;
constexpr int LOG_PAGE_ENTRIES = 100;

// Search and export request (3495, 3494), 840 bytes.
#pragma pack(push, 4)
struct LogSearch {
  int32_t start_time;
  int32_t end_time;
  int32_t main_type;
  int32_t reserved12;
  int64_t sub_types[LOG_SEARCH_SUB_TYPES];
  int32_t sub_type_count;
  int32_t page;
  uint64_t channel_mask;
  int32_t no_channel;  // "searchNoChn" of a search, "na" of an export
  int32_t reserved836;
};
#pragma pack(pop)
static_assert(sizeof(LogSearch) == 840, "log search is 840 bytes");
static_assert(offsetof(LogSearch, sub_types) == 16, "sub-types at 16");
static_assert(offsetof(LogSearch, sub_type_count) == 816, "sub-type count at 816");
static_assert(offsetof(LogSearch, page) == 820, "page at 820");
static_assert(offsetof(LogSearch, channel_mask) == 824, "channel mask at 824");
static_assert(offsetof(LogSearch, no_channel) == 832, "last field at 832");

// Search reply (8495): totals, then one page of entries.
struct LogPage {
  int32_t total;
  int32_t num;
  LogRecord records[LOG_PAGE_ENTRIES];
};
static_assert(sizeof(LogPage) == 67208, "log page is 67208 bytes");

// Export reply (8494): the file the core daemon wrote (empty: none). The
// file holds an int32 count, then per entry a record and its detail text.
struct LogExportReply {
  int32_t reserved;
  char path[64];
};
static_assert(sizeof(LogExportReply) == 68, "export reply is 68 bytes");
constexpr size_t LOG_EXPORT_DETAIL = 4096;

// Diagnostic package reply (8528).
struct DiagnosisReply {
  int32_t reserved;
  int32_t result;  // negative: failure
  char path[128];
};
static_assert(offsetof(DiagnosisReply, path) == 8, "package path at 8");

// Audio file entry of the core's list (reply 9012) and of a rename (4015).
struct AudioFileReply {
  int32_t id;
  int32_t enable;
  char name[128];  // URL-safe Base64 of the display name
};
static_assert(sizeof(AudioFileReply) == 136, "audio file entry is 136 bytes");
