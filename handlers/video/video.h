// Private to the video module: shared records, helpers and the handlers and
// reply writers its table names.
#pragma once
#include <cstring>
#include <memory>
#include <string>
#include "core/cgi_ipc.h"
#include "core/channel_list.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/event_actions.h"
#include "core/event_records.h"
#include "core/strutil.h"
#include "core/web_utils.h"
#include "handlers/modules.h"
#include "handlers/video/video_records.h"
#include "handlers/video/smart.h"
#include "platform/zrdb.h"

void on_video_ipc_callback(void* ctx, void* header, void* payload);

namespace video {

// ---- Core daemon records --------------------------------------------------------

constexpr int REQ_MOTION_CHANGED = 1403;
constexpr int REQ_MOTION_COPIED = 1410;
constexpr int REQ_ALARM_IN_COPIED = 1415;
constexpr int REQ_MOTION_MAP = 3206;
constexpr int REQ_MOTION_AREA = 3207;
constexpr int REQ_FULL_TIME_SCHEDULE = 3209;
constexpr int REQ_MOTION_FULL_TIME = 3212;
constexpr int REQ_MOTION_AREA_COPY = 3251;
constexpr int REQ_FULL_TIME_SCHEDULE_COPY = 3252;

constexpr int64_t LOG_SUB_EVENT = 204;
constexpr int LOG_PARAM_MOTION = 909;

// Full-time schedule for the core (requests 3209 and 3252).
struct FullTimeSection {
  int32_t start_hour, start_minute, end_hour, end_minute;
};
struct FullTimeDay {
  int32_t day;
  int32_t enable;
  FullTimeSection sections[8];
};
struct FullTimeSchedule {
  int32_t channel;
  uint8_t zero64[64];
  FullTimeDay days[8];
  uint8_t zero60[60];
};
static_assert(sizeof(FullTimeDay) == 136, "full-time day block is 136 bytes");
static_assert(offsetof(FullTimeSchedule, days) == 68, "day blocks at 68");
static_assert(sizeof(FullTimeSchedule) == 1216, "full-time schedule is 1216 bytes");

// Full-time detection of a channel and the channels it applies to (3212).
struct MotionFullTime {
  int32_t channel;
  int32_t enable_ms;
  int32_t list[64];
  int32_t count;
};
static_assert(sizeof(MotionFullTime) == 268, "full-time switch is 268 bytes");

// Motion schedule and action tables (MOTION_*): core/event_records.h.
EventTables motion_tables(bool with_http_and_ptz);
EventActionFields motion_fields(MotionRecord* r, bool with_http);
// The stored motion record of a channel (zeros when never written); a failed
// read clears *ok when given, so a setter writes nothing back.
MotionRecord load_motion(int ch, bool* ok = nullptr);
void set_tri_channels(MotionRecord* r, const char* text);
// The text member; "" when absent or not a text (a number or list is never
// read as its printed form: setters check with json_texts_readable first).
const char* member_text(json_object* obj, const char* key);
FullTimeSchedule full_time_schedule(int channel);
void notify_full_time(int ch, int enable_ms);
void on_get_motion_map_cb(int count, const void* payload);
void on_status_text_cb(int count, const void* payload);
// The same status for a page whose error reply is JSON.
void on_status_text_json_page_cb(int count, const void* payload);
// True, after answering the page's error reply (kind) at once, when a reply
// holds no whole record.
bool short_reply_answered(int count, const void* payload, int kind);
void on_status_res_cb(int count, const void* payload);

// ---- Motion detection: settings, schedules, area, live map and copies ----
void on_get_movedetect_info(char* text);
void OnGetMotionSchedule(char* text);
void on_get_move_email_sche(char* text);
void on_get_move_effective_sche(char* text);
void on_get_move_ptz_sche(char* text);
void on_set_movedetect_info(char* text);
void on_set_move_action(char* text);
void on_set_motion_batch(char* text);
void on_set_motion_with_schedule(char* text);
void on_set_motion_triggers(char* text);
void on_set_move_email_sche(char* text);
void on_set_move_others(char* text);
void OnSetMotionSchedule(char* text);
void on_set_move_effective_sche(char* text);
void on_set_move_ptz_sche(char* text);
void on_get_motion_map(char* text);

// ---- Copy of alarm-input triggers ----
void on_set_alarm_others(char* text);

// ---- PTZ action rows of every event kind ----
void on_set_ptz_params(char* text);
void on_update_ptz_params(char* text);
void on_get_ptz_params(char* text);
void on_delete_ptz_params(char* text);
void on_delete_ptz_params_batch(char* text);

// ---- OSD and privacy masks ----
void on_get_osd_info(char* text);
void on_set_osd_info(char* text);
void OnSetOSDName(char* text);
void on_get_privacy_masks(char* text);
void on_set_privacy_mask(char* text);
void on_get_privacy_mask_ovf(char* text);
void on_get_ipc_model_type(char* text);
void on_delete_privacy_mask(char* text);
void on_cgi_set_privacy_edit(char* text);
void on_set_osdconfig(char* text);
void on_get_osdconfig(char* text);
void on_get_privacy_mask_ovf_cb(int count, const void* payload);
void on_get_ipc_model_type_cb(int count, const void* payload);
void on_set_osdconfig_cb(int count, const void* payload);
void on_get_osdconfig_cb(int count, const void* payload);

// ---- Licence plate recognition: mode actions, recognition settings,
// wildcards, plate list, camera support and zoom ----
void on_get_anpr_mode_params(char* text);
void on_set_anpr_mode_params(char* text);
void on_get_anpr_settings(char* text);
void on_set_anpr_settings(char* text);
void on_get_ipc_anpr_wildcards(char* text);
void on_set_ipc_anpr_wildcards(char* text);
void on_get_anpr_settings_cb(int count, const void* payload);
void on_get_ipc_anpr_wildcards_cb(int count, const void* payload);
void on_set_anpr_del_lpr_plate(char* text);
void on_set_anpr_add_lpr_plate(char* text);
void on_set_anpr_update_lpr_plate(char* text);
void on_get_anpr_support_anpr(char* text);
void on_get_ipc_zoom_state(char* text);
void on_get_anpr_support_cb(int count, const void* payload);
void on_get_ipc_zoom_state_cb(int count, const void* payload);
// ---- Helpers of the list pages (video loss, alarm-input schedules) ----
// A present integer key replaces the field; false when it is present but
// not an integer (the field is then left as it was).
bool take_kept_int(json_object* q, const char* key, int32_t* field);
// The numbers and texts of one request, each read strictly: a refused
// value ("x", 1.5, true for a number; a number or list for a text) marks
// the request bad, and the handler then answers its error and writes and
// sends nothing.
struct RequestInts {
  bool ok = true;
  // Absent reads 0.
  int32_t plain(json_object* obj, const char* key);
  // Absent keeps the field.
  void keep(json_object* obj, const char* key, int32_t* field);
  // Element i of an array; absent (a short or missing array) reads 0.
  int32_t elem(json_object* arr, size_t i);
  // A text into a field of size bytes; absent reads "".
  void text(json_object* obj, const char* key, char* buf, size_t size);
  template <size_t N>
  void text(json_object* obj, const char* key, char (&buf)[N]) {
    text(obj, key, buf, N);
  }
};
// The request text as a bare channel number 0..63.
bool bare_channel(const char* text, int* ch);
// Answers the stored schedule of a bare channel number; nothing otherwise.
void answer_bare_schedule(const char* text, const char* table);
// The first "cnt" entries of "chnid" below limit; false for a "cnt" that is
// not an integer.
bool take_list_targets(json_object* q, int limit, RequestChannels* out);
// The decoded "schedule" member, or null when it is absent or malformed.
std::unique_ptr<ScheduleRecord> request_schedule(json_object* q);
// Writes the schedule (when not null) to each owner of the mask.
bool write_schedule_to(const char* table, const ScheduleRecord* s, uint64_t mask);
// The source's PTZ rows to each target other than the source, owned by it.
bool copy_ptz_rows_to(int ptz_type, int src, const RequestChannels& targets);
void set_list_ptz_sche(char* text, int ptz_type, const char* table, int limit, int notify_req);

// ---- Video loss ----
void on_get_videolost_info(char* text);
void on_get_videolost_schedule(char* text);
void on_set_videolost_info(char* text);
void on_set_videolost_schedule(char* text);
void on_get_videoloss_info(char* text);
void on_set_videoloss_info(char* text);
void on_set_videolost_audible_sche(char* text);
void on_set_videolost_email_sche(char* text);
void on_set_videolost_others(char* text);
void on_get_videolost_email_sche(char* text);
void on_set_videoloss_ptz_sche(char* text);
void on_get_videoloss_ptz_sche(char* text);

// ---- Alarm-input action schedules ----
void on_set_alarmin_audible_sche(char* text);
void on_set_alarmin_email_sche(char* text);
void on_get_alarmin_email_sche(char* text);
void on_get_alarmin_audible_sche(char* text);
void on_set_alarmin_ptz_sche(char* text);
void on_get_alarmin_ptz_sche(char* text);
void on_get_alarmin_effective_sche(char* text);
void on_set_alarmin_effective_sche(char* text);

// ---- Exceptions ----
// Name of exception kind 0..13 ("" for any other number).
const char* get_exception_name(int kind);
void on_set_exception(char* text);
void on_get_exception(char* text);

// ---- Camera alarm I/O and volume detection ----
void on_get_camera_io(char* text);
void on_set_camera_io(char* text);
void on_get_volume_detect(char* text);
void on_set_volume_detect(char* text);
void on_get_camera_io_cb(int count, const void* payload);
void on_get_volume_detect_cb(int count, const void* payload);

// ---- Snapshots ----
void on_get_snapshot_schedule(char* text);
void on_set_snapshot_schedule(char* text);
void on_get_snapshot_setting_params(char* text);
void on_set_snapshot_setting_params(char* text);
void on_set_snapshot_batch_setting(char* text);

}  // namespace video
