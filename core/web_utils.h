// Codecs shared by every event page: weekly schedules, trigger alarm
// outputs, white-LED actions, HTTP notification targets, PTZ action rows,
// copy masks and the audio file mask, each between its JSON form and its
// fixed-layout record; plus two whole-file helpers.
//
// Decoders take the request object and a member name; they return -1
// without touching their output for a null argument or a missing member
// (or one of the wrong JSON type), so the handler skips the write. Counts
// from the request are bounded by the record's arrays and texts by their
// fields.
#pragma once
#include <json-c/json.h>

#include <cstddef>
#include <cstdint>

#include "core/event_records.h"

// ---- Records -----------------------------------------------------------------------

// One schedule section: start and end time texts (kept as sent, never
// parsed) and the action type its owner gives it.
struct ScheduleSection {
  char start_time[32];
  char end_time[32];
  int32_t action_type;
};
static_assert(sizeof(ScheduleSection) == 68, "schedule section is 68 bytes");
static_assert(offsetof(ScheduleSection, end_time) == 32, "end time at 32");
static_assert(offsetof(ScheduleSection, action_type) == 64, "action type at 64");

constexpr int SCHEDULE_DAYS = 8;
constexpr int SCHEDULE_SECTIONS = 48;
constexpr int SCHEDULE_JSON_SECTIONS = 12;     // sections the general form carries
constexpr int SCHEDULE_IPC_DAYS = 7;           // days the camera form decodes
constexpr int SCHEDULE_IPC_SECTIONS = 10;      // sections per day it decodes

struct ScheduleDay {
  ScheduleSection sections[SCHEDULE_SECTIONS];
  int32_t valid;  // day valid flag of the camera form
  uint8_t unused[4];
};
static_assert(sizeof(ScheduleDay) == 3272, "schedule day is 3272 bytes");
static_assert(offsetof(ScheduleDay, valid) == 3264, "day valid flag at 3264");

struct ScheduleRecord {
  ScheduleDay days[SCHEDULE_DAYS];
};
static_assert(sizeof(ScheduleRecord) == 26176, "schedule record is 26176 bytes");

// Trigger-alarm-output item (used in pairs).
constexpr int ALARMOUT_TEXT_MAX = 64;
struct TriggerAlarmOutItem {
  int32_t owner_id;
  int32_t index;  // 0 or 1
  char text[ALARMOUT_TEXT_MAX + 1];
};
static_assert(offsetof(TriggerAlarmOutItem, index) == 4, "index at 4");
static_assert(offsetof(TriggerAlarmOutItem, text) == 8, "text at 8");
static_assert(sizeof(TriggerAlarmOutItem) == 76, "item padded to 76 bytes");

// White-LED (deterrence light) action row and the 8-row block of one owner.
constexpr int WHITE_LED_ROWS = 8;
struct WhiteLedRow {
  int32_t owner_id;
  int32_t chnid;
  int32_t mode;
  int32_t time;
};
static_assert(sizeof(WhiteLedRow) == 16, "white-LED row is 16 bytes");
struct WhiteLedBlock {
  WhiteLedRow rows[WHITE_LED_ROWS];
};
static_assert(sizeof(WhiteLedBlock) == 128, "white-LED block is 128 bytes");

// HTTP notification target.
struct HttpNotifyParams {
  int32_t chn_id;
  char url[513];
  char username[97];
  char password[65];
  uint8_t unused;
};
static_assert(sizeof(HttpNotifyParams) == 680, "HTTP notification record is 680 bytes");
static_assert(offsetof(HttpNotifyParams, url) == 4, "url at 4");
static_assert(offsetof(HttpNotifyParams, username) == 517, "username at 517");
static_assert(offsetof(HttpNotifyParams, password) == 614, "password at 614");
static_assert(offsetof(HttpNotifyParams, unused) == 679, "spare byte at 679");

// PTZ action row; a row whose ptz_channel is 0 or less is empty.
struct PtzActionRow {
  int32_t owner_id;
  int32_t ptz_channel;  // "acto_ptz_channel"
  int32_t reserved;     // left 0
  int32_t ptz_type;     // "acto_ptz_type": 1 preset, 2 patrol, 3 pattern
  int32_t preset;       // "acto_ptz_preset"
  int32_t patrol;       // "acto_ptz_patrol"
  int32_t pattern;      // "acto_ptz_pattern"
};
static_assert(sizeof(PtzActionRow) == 28, "PTZ action row is 28 bytes");
static_assert(offsetof(PtzActionRow, ptz_type) == 12, "PTZ type at 12");
static_assert(offsetof(PtzActionRow, pattern) == 24, "pattern at 24");

constexpr int PTZ_ACTION_ROWS = 64;
constexpr int PCNT_PTZ_ROWS = 8;
struct PtzActionTable {
  PtzActionRow rows[PTZ_ACTION_ROWS];
};
static_assert(sizeof(PtzActionTable) == 1792, "PTZ action table is 1792 bytes");
// People counting keeps its own table of at most 8 rows.
struct PeopleCntPtzTable {
  PtzActionRow rows[PCNT_PTZ_ROWS];
};
static_assert(sizeof(PeopleCntPtzTable) == 224, "people-counting PTZ table is 224 bytes");

// PTZ type numbers (PTZ_TYPE_*, get_smart_event_ptz_type): core/event_records.h.

// Audio file list: 10 entries, an entry whose first int32 is 1 holds a file.
constexpr int AUDIO_FILE_ENTRIES = 10;
struct AudioFileEntry {
  int32_t used;
  int32_t id;
  char name[128];  // display name, URL-safe Base64
};
static_assert(sizeof(AudioFileEntry) == 136, "audio file entry is 136 bytes");
struct AudioFileList {
  AudioFileEntry entries[AUDIO_FILE_ENTRIES];
};
static_assert(sizeof(AudioFileList) == 1360, "audio file list is 1360 bytes");

// ---- Store operations of the named tables --------------------------------------------
// Results 0 / -1 (a row set never written reads as zeros with 0). db is the
// database path (ZRDB_PATH for the codecs).

// An owner's white-LED rows are its block plus the number of rows in use,
// stored beside it (*rows / rows / count below); a block stored without a
// count counts its leading rows that are not all zero.
// Leading rows that are not all zero (blocks stored without a count).
int white_led_rows_in_use(const WhiteLedRow* rows, int n);
int read_whiteled_params(const char* db, const char* table, int owner, WhiteLedBlock* block, int* rows = nullptr);
int write_whiteled_params_all(const char* db, const char* table, int owner, const WhiteLedBlock* block, int rows);
// Copies the owner's block and count to every channel of the mask (owner
// ids fixed).
int copy_whiteled_params(const char* db, const char* table, int src, uint64_t mask);
int read_peoplecnt_wled_params(const char* db, int pcnt_id, WhiteLedRow rows[WHITE_LED_ROWS], int* count = nullptr);
int write_peoplecnt_wled_params(const char* db, int pcnt_id, const WhiteLedRow rows[WHITE_LED_ROWS], int count);

int read_http_notification_params(const char* db, const char* table, int owner, HttpNotifyParams* rec);
int write_http_notification_params(const char* db, const char* table, int owner, const HttpNotifyParams* rec);
int copy_http_notification_params(const char* db, const char* table, int src, uint64_t mask);

// Rows of (PTZ type, owner), type 0..63, owner 0..63.
int read_ptz_params(const char* db, int ptz_type, int owner, PtzActionTable* table);
int write_ptz_params_all(const char* db, int ptz_type, int owner, const PtzActionTable* table);
int copy_ptz_params_all(const char* db, int ptz_type, int src, uint64_t mask);
int read_peoplecnt_ptz_params(const char* db, int owner, PeopleCntPtzTable* table);
// Writes the first 8 rows of a decoded table as the owner's people-counting rows.
int write_peoplecnt_ptz_params_ex(const char* db, int owner, const PtzActionTable* table);

int read_audio_file_list(const char* db, AudioFileList* list);
int write_audio_file_list(const char* db, const AudioFileList* list);

// ---- Codecs ------------------------------------------------------------------------------
// Encoders return a new object the caller owns (JsonPtr), never null.

// General form: 8 day arrays of 12 {"startTime","endTime","actionType"}.
json_object* get_schedule_json_object(const ScheduleRecord* sched);
// Decodes 8 days of 12 entries [start, end, actionType]; clears the record.
int get_schedule_by_json(json_object* req, const char* member, ScheduleRecord* sched);
json_object* get_schedule_json_object_ex(const ScheduleRecord* sched);
int get_schedule_by_json_ex(json_object* req, const char* member, ScheduleRecord* sched);
// Camera form: 8 day arrays of 12 {"startTime","endTime"}, empty for a day
// whose valid flag is 0; decodes 7 days of 10 entries [start, end].
json_object* get_schedule_json_object_ipc(const ScheduleRecord* sched);
int get_schedule_by_json_ipc(json_object* req, const char* member, ScheduleRecord* sched);

// The two trigger texts (65-byte fields) as a JSON array.
json_object* get_event_chn_alarmout_object(const char* text0, const char* text1);
int get_event_chn_alarmout_by_object(int owner, json_object* req, const char* member,
                                     TriggerAlarmOutItem items[2]);

json_object* get_white_params_json_object(int owner, const char* table);
// Fills blocks[owner] (owner must lie below nblocks); *rows gets the number
// of rows decoded, to be stored with the block.
int get_white_params_by_json(int owner, WhiteLedBlock* blocks, size_t nblocks, json_object* req,
                             const char* member, int* rows = nullptr);
template <size_t N>
inline int get_white_params_by_json(int owner, WhiteLedBlock (&blocks)[N], json_object* req, const char* member,
                                    int* rows = nullptr) {
  return get_white_params_by_json(owner, blocks, N, req, member, rows);
}
json_object* get_pcnt_white_params_json_object(int pcnt_id);
int get_pcnt_white_params_by_json(int pcnt_id, WhiteLedRow rows[WHITE_LED_ROWS], json_object* req,
                                  const char* member, int* count = nullptr);

json_object* get_http_params_json_object(int owner, const char* table);
// rec holds the stored target on entry: a password the account may not
// read, posted back empty, stays as stored.
int get_http_params_by_json(int owner, HttpNotifyParams* rec, json_object* req, const char* member);

json_object* get_ptz_params_json_object(int ptz_type, int owner);
// 0, or -1 for an owner outside 0..63, a type outside 0..63 or an argument
// that is null or not an array.
int get_ptz_params_by_json(int owner, int ptz_type, json_object* arr, PtzActionTable* table);
// 1 when the rows were decoded and written, else 0.
int set_ptz_params_by_json(int owner, int ptz_type, json_object* arr);

// Channels 0..63 named by the first count elements of the list member.
uint64_t get_copy_flag_by_json(json_object* req, const char* list_member, const char* count_member);
// Bit i for each audio file entry i in use.
uint32_t get_audio_file_id_mask();

// ---- Whole-file helpers --------------------------------------------------------------------
// Paths are used as given (callers pass nvr_path() results).
// The whole file in a new buffer (release with free()) and its length; null
// and length 0 when the file cannot be opened, read or the memory had.
char* zr_get_file_data(const char* path, size_t* len);
// Creates or truncates the file and writes len bytes: 0, or -1.
int zr_wirte_file_data(const char* path, const void* data, size_t len);
