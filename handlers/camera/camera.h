// Private to the camera module: shared records, helpers and the handlers and
// reply writers its table names.
#pragma once
#include <json-c/json.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include "core/camera_record.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/event_actions.h"
#include "core/field_table.h"
#include "core/osd_record.h"
#include "core/strutil.h"
#include "core/web_utils.h"
#include "handlers/camera/camera_records.h"
#include "handlers/modules.h"
#include "platform/netutil.h"
#include "platform/zrdb.h"
#include "platform/zrfs.h"

void on_camera_ipc_callback(void* ctx, void* header, void* payload);

namespace camera {

// ---- Request ids ----------------------------------------------------------------
constexpr int REQ_CAMERA_ADDED = 1201;
constexpr int REQ_CAMERA_REMOVED = 1202;
constexpr int REQ_CAMERA_CHANGED = 1203;
constexpr int REQ_CAMERA_POE = 1206;

constexpr int kMaxModels = 8;          // camProtocol / model ids 0..7
constexpr int kDefaultMaxCameras = 32;
constexpr char kDefaultPoePassword[] = "poe123";

// Facts the handler reads from the store before a waiting exchange, for the
// reply writer that runs on the socket library's thread.
struct RequestContext {
  int channel = -1;
  int max_cameras = kDefaultMaxCameras;
  char names[MAX_CHANNELS][64] = {};
  CameraRecord camera{};
  char camera_name[64] = {};
};
extern RequestContext g_ctx;
// Field tables (FieldDesc, FIELD, add_fields, take_fields, set_unchanged): core/field_table.h.
bool get_channel(json_object* req, const char* key, int* ch);
bool int_in(json_object* req, const char* key, int lo, int hi);
// The member is a text (and, with non_empty, not the empty one).
bool text_present(json_object* req, const char* key, bool non_empty);
// OSD names of channels 0 .. n-1 in one read of the store.
inline void read_channel_names(int n, char (&names)[MAX_CHANNELS][64]) {
  auto osd = std::make_unique<OsdRecord[]>(MAX_CHANNELS);
  zrdb_read_record_range(ZRDB_PATH, "osd", 0, osd.get(), sizeof(OsdRecord), n);
  for (int ch = 0; ch < n; ++ch) copy_field(names[ch], field_view(osd[ch].camName));
}
int max_cameras();
std::string mask_text(uint64_t mask);
uint64_t mask_from_text(std::string_view text);
// The text member; "" when absent or not a text (pages check with
// json_texts_readable first: a number or list is refused, never printed).
std::string request_text(json_object* req, const char* key);
json_object* array_element(json_object* arr, size_t i);
bool is_object(json_object* o);
int exchange(int req_id, const void* payload, size_t len, int error_kind);
// What a camera page sends once its store change is committed: a 4-byte
// channel notification (0: none), the PoE record 1206 after it (null:
// none) and the operation-log entry (sub-type 0: none).
struct CameraChange {
  int notify_id = 0;
  int channel = 0;
  const ChannelPoe* poe = nullptr;
  int64_t log_sub_type = 0;
  int log_code = 0;
  const CameraLogDetail* detail = nullptr;
};
bool save_notify_log(ZrdbTransaction& txn, bool ok, int error_kind, const CameraChange& change);
// The usual "get" relay: {key: channel} -> 4-byte channel -> wait.
inline void relay_channel_query(const char* text, const char* key, int req_id, int no_reply_kind,
                         int bad_channel_kind = CGI_KIND_JSON) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), key, &ch)) {
    cgi_error_to_webserver(bad_channel_kind);
    return;
  }
  g_ctx.channel = ch;
  int32_t payload = ch;
  exchange(req_id, &payload, sizeof payload, no_reply_kind);
}
void send_and_answer_ok(int req_id, const void* payload, size_t len);
// ---- Reply writers -----------------------------------------------------------------
// reply_record<T>(data, len): core/field_table.h.
int write_json(json_object* obj);
// A count from the core clamped to 0..cap.
inline int bounded_count(int32_t n, int cap) { return n < 0 ? 0 : n > cap ? cap : n; }

// Channel model rows, answered by "/2029" and "/2057".
inline const FieldDesc kChannelModelFields[] = {
    FIELD(ChannelModelEntry, chnid),
    FIELD(ChannelModelEntry, ipaddr),
    FIELD(ChannelModelEntry, model),
    FIELD(ChannelModelEntry, fwversion),
};

// Camera-side schedules in the camera form, shared by the schedule and
// detection pages.
void take_ipc_schedule(json_object* req, const char* key, ScheduleRecord* s);
json_object* ipc_schedule_json(const ScheduleRecord& s);
int write_text(const char* text);
int on_res_word_cb(const uint8_t* data, size_t);
int on_ok_error_cb(const uint8_t* data, size_t);

// ---- Camera channel management ----
int on_get_camera_list_cb(const uint8_t* data, size_t len);
void on_get_camera_list(char*);
void on_get_camera_info(char* text);
void on_edit_camera(char* text);
void on_add_camera(char* text);
void on_delete_camera(char* text);
int on_search_camera_cb(const uint8_t* data, size_t len);
void on_search_camera(char* text);
void on_get_camera_protocols(char*);
int on_set_camera_network_cb(const uint8_t* data, size_t);
void on_set_camera_network(char* text);
void on_set_batch_camera_network(char* text);
int on_get_batch_network_result_cb(const uint8_t* data, size_t len);
void on_get_batch_network_result(char*);
int on_test_camera_connection_cb(const uint8_t* data, size_t);
void on_test_camera_connection(char* text);
void on_test_camera_web_login(char* text);
void on_get_channel_names(char*);
int on_get_record_month_map_cb(const uint8_t* data, size_t len);
void on_get_record_month_map(char* text);
void on_get_poe_password(char*);
void on_set_camera_account(char* text);
void on_get_max_poe_num(char*);
int on_web_get_channels_model_cb(const uint8_t* data, size_t len);
void on_web_get_channels_model(char*);
void on_set_camera_transport(char* text);
void on_get_ipv6_support(char*);

// ---- Camera parameter relay: audio, streams, image, common parameters and small queries ----
int on_cgi_get_ipc_audio_info_cb(const uint8_t* data, size_t len);
void on_cgi_get_ipc_audio_info(char* text);
void on_cgi_set_ipc_audio_info(char* text);
int on_get_stream_params_cb(const uint8_t* data, size_t len);
void on_get_stream_params(char* text);
int on_set_stream_params_cb(const uint8_t* data, size_t len);
void on_set_stream_params(char* text);
void on_set_batch_stream_params(char* text);
int on_get_ipc_ipcimage_enhancement_cb(const uint8_t* data, size_t len);
void on_get_image_enhancement(char* text);
void on_set_image_enhancement(char* text);
int on_get_ipc_ipcimage_display_cb(const uint8_t* data, size_t len);
void on_get_image_display(char* text);
void on_set_image_display(char* text);
int on_get_ipc_common_param_cb(const uint8_t* data, size_t len);
void on_get_ipc_common_param(char* text);
void on_set_ipc_common_param(char* text);
int on_web_get_ipc_model_type_cb(const uint8_t* data, size_t);
void on_web_get_ipc_model_type(char* text);
int on_get_qt_cmd_result_cb(const uint8_t* data, size_t len);
void on_web_sendto_qt_cmd(char* text);
int on_get_get_chip_code_cb(const uint8_t* data, size_t len);
void on_web_get_chip_code(char*);
int on_web_get_motion_status_cb(const uint8_t* data, size_t);
void on_web_get_motion_status(char*);

// ---- Camera-side schedules, day/night, regions and exposure lists ----
int on_get_ipc_schedule_cb(const uint8_t* data, size_t len);
int on_get_ipc_exposure_schedule_cb(const uint8_t* data, size_t len);
void on_get_ipc_schedule_a(char* text);
void on_get_ipc_schedule_b(char* text);
void on_get_ipc_schedule_c(char* text);
void on_set_ipc_schedule_a(char* text);
void on_set_ipc_schedule_b(char* text);
void on_set_ipc_schedule_c(char* text);
int on_get_day_night_schedule_cb(const uint8_t* data, size_t len);
void on_get_day_night_schedule(char* text);
void on_set_day_night_schedule(char* text);
void on_set_image_schedule(char* text);
int on_get_ipc_region_info_cb(const uint8_t* data, size_t len);
void on_get_ipc_region_info(char* text);
void on_set_ipc_region_info(char* text);
void on_del_ipc_region_area(char* text);
void on_set_exposure_info(char* text);
void on_get_exposure_info(char* text);

// ---- Camera detection, text query, tracking, watermark, event stream and system facts ----
int on_get_ipc_detection_cb(const uint8_t* data, size_t len);
void on_get_ipc_detection(char* text);
void on_set_ipc_detection(char* text);
int on_get_ipc_text_query_cb(const uint8_t* data, size_t len);
void on_get_ipc_text_query(char* text);
int on_cgi_get_auto_tracking_status_cb(const uint8_t* data, size_t len);
void on_cgi_get_auto_tracking_status(char* text);
void on_cgi_set_auto_tracking_status(char* text);
void on_cgi_get_ptz_support(char* text);
int on_cgi_get_ipc_type_cb(const uint8_t* data, size_t len);
void on_cgi_get_ipc_type(char* text);
int on_cgi_get_watermark_cb(const uint8_t* data, size_t len);
void on_cgi_get_watermark(char* text);
void on_cgi_set_watermark(char* text);
int on_cgi_get_ipc_event_stream_cb(const uint8_t* data, size_t len);
void on_cgi_get_ipc_event_stream(char* text);
void on_cgi_set_ipc_event_stream(char* text);
int on_cgi_get_ipc_lpr_night_mode_cb(const uint8_t* data, size_t len);
void on_cgi_get_ipc_lpr_night_mode(char* text);
int on_cgi_get_ipc_system_info_cb(const uint8_t* data, size_t len);
void on_cgi_get_ipc_system_info(char* text);
int on_cgi_get_ipc_custom_param_cb(const uint8_t* data, size_t len);
void on_cgi_get_ipc_custom_param(char* text);

// ---- People counting, POS and face settings, event schedules of a channel ----
void on_get_event_schedules(char* text);
void on_set_event_schedules(char* text);
void on_cgi_get_peoplecnt_settings(char* text);
void on_cgi_set_peoplecnt_settings(char* text);
void on_cgi_get_peoplecnt_action(char* text);
void on_cgi_set_peoplecnt_action(char* text);
void on_cgi_set_peoplecnt_db_reset(char* text);
void on_cgi_set_peoplecnt_liveview_reset(char* text);
void on_cgi_get_pos_info(char* text);
void on_cgi_set_pos_info(char* text);
void on_cgi_get_report_auto_backup(char* text);
void on_cgi_set_report_auto_backup(char* text);
void on_cgi_set_face_config(char* text);
int on_cgi_set_face_config_cb(const uint8_t* data, size_t len);  // 8381

}  // namespace camera
