// Private to the video module: the analytics pages (smart events, their
// action dialog, the camera forms) and the fisheye and regional people
// counting pages.
#pragma once
#include <cstdint>
#include <string>

#include <json-c/json.h>

#include "core/smart_records.h"
#include "handlers/video/vca_records.h"

namespace video {

// ---- Core daemon requests of the analytics pages ----------------------------------
constexpr int REQ_SMART_EVENT_CHANGED = 1412;  // 64-bit mask of the channels
constexpr int REQ_VCA_LINE2_GET = 1209;
constexpr int REQ_VCA_LINE2_SET = 1210;
constexpr int REQ_VCA_SETTINGS2_GET = 1211;
constexpr int REQ_VCA_SETTINGS2_SET = 1212;
constexpr int REQ_REGIONAL_GET = 1220;
constexpr int REQ_REGIONAL_SET = 1221;
constexpr int REQ_FISHEYE_SET = 3231;
constexpr int REQ_FISHEYE_GET = 3232;
constexpr int REQ_VCA_PEOPLE_GET = 3253;
constexpr int REQ_VCA_PEOPLE_SET = 3254;
constexpr int REQ_VCA_SUPPORT = 3257;
constexpr int REQ_VCA_SETTINGS_GET = 3259;
constexpr int REQ_VCA_SETTINGS_SET = 3260;
constexpr int REQ_VCA_CLEAR_COUNT = 3261;
constexpr int REQ_VCA_LEFTREMOVE_GET = 3268;
constexpr int REQ_VCA_LEFTREMOVE_SET = 3269;
constexpr int REQ_FISHEYE_CHECK = 3373;
constexpr int REQ_FISHEYE_INFO_SET = 3374;

// Detector read and write requests of the smart kinds 0..6 (7 and 8 have
// their own pages).
inline int vca_read_request(int event) { return 3237 + event; }
inline int vca_write_request(int event) { return 3244 + event; }

// ---- Analytics canvas ---------------------------------------------------------------
// The pages draw on a 460 x 260 canvas. Products are taken in 64 bits and
// results clamped to the int32 range; a picture size of 0 gives 0.
constexpr int VCA_CANVAS_W = 460;
constexpr int VCA_CANVAS_H = 260;
constexpr int VCA_DEFAULT_W = 1920;
constexpr int VCA_DEFAULT_H = 1080;
int32_t vca_to_canvas(int32_t v, int32_t picture, int32_t canvas);
int32_t vca_from_canvas(int32_t v, int32_t picture, int32_t canvas);
// The same, raised to at least 1.
inline int32_t at_least_1(int32_t v) { return v < 1 ? 1 : v; }
// Splits "a;b;c;d" (at most max_chars characters used) into up to four
// integers; missing ones are 0.
void split_position(const char* text, size_t max_chars, int32_t out[4]);
// "%d;%d;%d;%d".
std::string position_text(int32_t a, int32_t b, int32_t c, int32_t d);
// A canvas "a;b;c;d" (start and end point) in camera pixels of a w x h
// picture, each at least 1.
void position_from_canvas(const char* text, size_t max_chars, int32_t w, int32_t h, int32_t out[4]);
// A line from (sx, sy) to (ex, ey) in camera pixels as its canvas text.
json_object* canvas_position_json(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t w, int32_t h);
// Keys of the minimum and maximum object boxes of the engine settings.
extern const char* const kVcaBoxKeys[8];

// ---- Smart-event action dialog -------------------------------------------------------
// 64-bit mask of a '0'/'1' channel text (at most 64 characters).
uint64_t get_channel_mask(const char* text);
// True when the request's "dialog" may be saved for the detector of channel
// ch: absent, or an object whose "chnid" is that channel.
bool smart_dialog_fits(json_object* req, int ch);
// Saves the dialog for (channel, event): schedules, white light, HTTP
// notification, the action record and the PTZ rows of the event's own PTZ
// type; copies the event to the channels of copy_mask; appends the
// notification mask (copied channels and the channel) to *notify. False when
// a store write failed. A missing dialog saves nothing.
bool save_smart_dialog(json_object* dialog, int ch, int event, uint64_t copy_mask, uint64_t* notify);
// Sends 1412 with the mask.
void notify_smart_event(uint64_t mask);

// ---- Reply writers -------------------------------------------------------------------
void on_get_vca_region_cb(int count, const void* payload);     // 8237
void on_get_vca_region_exit_cb(int count, const void* payload);  // 8238
void on_get_vca_motion_cb(int count, const void* payload);     // 8239
void on_get_vca_tamper_cb(int count, const void* payload);     // 8240
void on_get_vca_line_cb(int count, const void* payload);       // 8241
void on_get_vca_loitering_cb(int count, const void* payload);  // 8242
void on_get_vca_human_cb(int count, const void* payload);      // 8243
void on_get_vca_people_cb(int count, const void* payload);     // 8253
void on_get_vca_support_cb(int count, const void* payload);    // 8257
void on_get_vca_settings_cb(int count, const void* payload);   // 8259
void on_get_vca_leftremove_cb(int count, const void* payload); // 8268
void on_get_ipc_vca_line2_cb(int count, const void* payload);  // 6209
void on_get_ipc_vca_settings2_cb(int count, const void* payload);  // 6211

// ---- Smart event analytics ------------------------------------------------------------
void on_get_vca_region(char* text);
void on_set_vca_region(char* text);
void on_get_vca_motion(char* text);
void on_set_vca_motion(char* text);
void on_get_vca_tamper(char* text);
void on_set_vca_tamper(char* text);
void on_get_vca_line(char* text);
void on_set_vca_line(char* text);
void on_get_vca_loitering(char* text);
void on_set_vca_loitering(char* text);
void on_get_vca_human(char* text);
void on_set_vca_human(char* text);
void on_get_vca_people(char* text);
void on_set_vca_people(char* text);
void on_get_vca_settings(char* text);
void on_set_vca_settings(char* text);
void on_get_smart_event_schedule(char* text);
void on_set_smart_event_schedule(char* text);
void on_set_vca_allrtm_others(char* text);
void on_get_vca_common_para(char* text);
void on_vca_clear_people_count(char* text);
void on_get_vca_support(char* text);
void on_set_vca_leftremove(char* text);
void on_get_vca_leftremove(char* text);
void on_get_ipc_vca_line2(char* text);
void on_set_ipc_vca_line2(char* text);
void on_get_ipc_vca_settings2(char* text);
void on_set_ipc_vca_settings2(char* text);

// ---- Fisheye and regional people counting -----------------------------------------------
void on_get_fisheye_info_cb(int count, const void* payload);          // 8232
void on_cgi_check_fisheye_info_cb(int count, const void* payload);    // 8373
void on_cgi_get_ipc_regional_info_cb(int count, const void* payload); // 6220

// Per-region actions of regional people counting (the smart-event action
// record layout), keyed by channel, regions 0..3; 0 / -1.
int read_regional_pcnt_event(const char* db, SmartEventAction* rec, int ch, int region);
int write_regional_pcnt_event(const char* db, const SmartEventAction* rec, int ch, int region);
int copy_regional_pcnt_event(const char* db, int ch, int region, uint64_t mask);

void on_get_fisheye_info(char* text);
void on_cgi_set_fisheye_mode(char* text);
void on_cgi_check_fisheye_info(char* text);
void on_cgi_set_fisheye_info(char* text);
void on_cgi_get_ipc_regional_info(char* text);
void on_cgi_set_ipc_regional_info(char* text);

}  // namespace video
