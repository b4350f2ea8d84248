// Analytics records the video module exchanges with the core daemon (the
// detectors of a channel, the engine settings, people counting and the
// camera forms), shared with zrcore-sim. Little-endian 32-bit integers;
// bytes not named stay zero.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/web_utils.h"

constexpr int VCA_TEXT = 64;         // polygon lists: at most 63 characters
constexpr int VCA_AREA_TEXT = 300;   // region text: at most 299 characters
constexpr int VCA_COPY_TEXT = 65;    // copy channels: '0'/'1' per channel
constexpr int VCA_REGIONS = 4;
constexpr int VCA_POLYGONS = 5;
constexpr int VCA_LINES = 4;
constexpr int VCA_SUB_LINES = 5;

// One region of a detector: its switches and up to five polygons. The
// polygons lie 192 bytes apart; the last one ends the block.
struct VcaPolygonSlot {
  char x[VCA_TEXT];
  char y[VCA_TEXT];
  uint8_t unused[64];
};
struct VcaRegionInfo {
  int32_t enable;     // region kinds: "enable"; left/removed: "leftEnable"
  int32_t enable2;    // left/removed: "removeEnable"
  int32_t time;
  int32_t obj_type;
  uint8_t unused[64];
  VcaPolygonSlot polygons[VCA_POLYGONS - 1];
  char last_x[VCA_TEXT];
  char last_y[VCA_TEXT];
};
static_assert(sizeof(VcaRegionInfo) == 976, "region block is 976 bytes");
static_assert(offsetof(VcaRegionInfo, time) == 8, "region time at +8");
static_assert(offsetof(VcaRegionInfo, obj_type) == 12, "region object type at +12");
static_assert(offsetof(VcaRegionInfo, polygons) == 80, "polygons at +80");
static_assert(offsetof(VcaRegionInfo, last_x) == 80 + 4 * 192, "fifth polygon at +848");

// Polygon j of a region (j = 0..4).
inline char* vca_polygon_x(VcaRegionInfo* r, int j) { return j < 4 ? r->polygons[j].x : r->last_x; }
inline char* vca_polygon_y(VcaRegionInfo* r, int j) { return j < 4 ? r->polygons[j].y : r->last_y; }
inline const char* vca_polygon_x(const VcaRegionInfo* r, int j) { return j < 4 ? r->polygons[j].x : r->last_x; }
inline const char* vca_polygon_y(const VcaRegionInfo* r, int j) { return j < 4 ? r->polygons[j].y : r->last_y; }

// Region entrance/exit, advanced motion, tamper, loitering and human
// detection (requests 3237-3243 read, 3244-3250 write).
struct VcaRegionRecord {
  int32_t channel;
  int32_t enable;
  uint8_t unused0[16];
  int32_t sensitivity;
  int32_t time;        // loitering
  int32_t size;        // loitering
  int32_t tracks;      // human detection
  char region[VCA_AREA_TEXT];
  int32_t ignore_time;  // advanced motion
  int32_t obj_type;
  char polygon_x[VCA_TEXT];
  char polygon_y[VCA_TEXT];
  char copy_chn[VCA_COPY_TEXT];
  uint8_t unused1[23];
  int32_t region_type;
  int32_t region_scene;
  VcaRegionInfo regions[VCA_REGIONS];
  uint8_t unused2[4];
};
static_assert(sizeof(VcaRegionRecord) == 4480, "analytics region record is 4480 bytes");
static_assert(offsetof(VcaRegionRecord, sensitivity) == 24, "sensitivity at 24");
static_assert(offsetof(VcaRegionRecord, tracks) == 36, "tracks at 36");
static_assert(offsetof(VcaRegionRecord, region) == 40, "region at 40");
static_assert(offsetof(VcaRegionRecord, ignore_time) == 340, "ignore time at 340");
static_assert(offsetof(VcaRegionRecord, polygon_x) == 348, "polygon X at 348");
static_assert(offsetof(VcaRegionRecord, polygon_y) == 412, "polygon Y at 412");
static_assert(offsetof(VcaRegionRecord, copy_chn) == 476, "copy channels at 476");
static_assert(offsetof(VcaRegionRecord, region_type) == 564, "region type at 564");
static_assert(offsetof(VcaRegionRecord, regions) == 572, "regions at 572");

// Left and removed objects (3268 read, 3269 write).
struct VcaLeftRemoveRecord {
  int32_t channel;
  int32_t sensitivity;
  int32_t left_enable;
  int32_t remove_enable;
  int32_t min_time;
  uint8_t unused0[16];
  char region[VCA_AREA_TEXT];
  char polygon_x[VCA_TEXT];
  char polygon_y[VCA_TEXT];
  char copy_chn[VCA_COPY_TEXT];
  uint8_t unused1[23];
  int32_t region_type;
  int32_t region_scene;
  VcaRegionInfo regions[VCA_REGIONS];
  uint8_t unused2[4];
};
static_assert(sizeof(VcaLeftRemoveRecord) == 4468, "left/removed record is 4468 bytes");
static_assert(offsetof(VcaLeftRemoveRecord, region) == 36, "region at 36");
static_assert(offsetof(VcaLeftRemoveRecord, polygon_x) == 336, "polygon X at 336");
static_assert(offsetof(VcaLeftRemoveRecord, copy_chn) == 464, "copy channels at 464");
static_assert(offsetof(VcaLeftRemoveRecord, region_type) == 552, "region type at 552");
static_assert(offsetof(VcaLeftRemoveRecord, regions) == 560, "regions at 560");
static_assert(offsetof(VcaLeftRemoveRecord, regions) + offsetof(VcaRegionInfo, polygons) == 640, "polygon X at 640");

// Line crossing (3241 read, 3248 write); points in camera pixels.
struct VcaLine {
  int32_t start_x, start_y, end_x, end_y;
  int32_t direction;
  uint8_t unused[104];
};
static_assert(sizeof(VcaLine) == 124, "line block is 124 bytes");
struct VcaLineRecord {
  int32_t channel;
  int32_t enable;
  int32_t width;   // picture size: zero in requests
  int32_t height;
  VcaLine lines[VCA_LINES];
  int32_t obj_type;
  char copy_chn[VCA_COPY_TEXT];
  uint8_t unused[31];
};
static_assert(sizeof(VcaLineRecord) == 612, "line crossing record is 612 bytes");
static_assert(offsetof(VcaLineRecord, lines) == 16, "lines at 16");
static_assert(offsetof(VcaLineRecord, obj_type) == 512, "object type at 512");
static_assert(offsetof(VcaLineRecord, copy_chn) == 516, "copy channels at 516");

// Engine settings (3259 read, 3260 write); object boxes in camera pixels.
struct VcaSettingsRecord {
  int32_t channel;
  int32_t vca_type;  // reply only
  int32_t fps, mode, installation, analysis;
  int32_t width, height;
  int32_t min_x, min_y, min_width, min_height;
  int32_t max_x, max_y, max_width, max_height;
};
static_assert(sizeof(VcaSettingsRecord) == 64, "engine settings record is 64 bytes");
static_assert(offsetof(VcaSettingsRecord, width) == 24, "width at 24");
static_assert(offsetof(VcaSettingsRecord, min_x) == 32, "minimum box at 32");
static_assert(offsetof(VcaSettingsRecord, max_x) == 48, "maximum box at 48");

// Support reply (8257).
struct VcaSupportRecord {
  int32_t channel;
  int32_t support;
  int32_t type;
  int32_t unused[8];
};
static_assert(sizeof(VcaSupportRecord) == 44, "support reply is 44 bytes");

// People counting (3253 read, 3254 write), the same layout both ways.
struct VcaPeopleLine {
  uint8_t line_enable, auto_reset_enable, direction, show_cnt_enable;
  int32_t start_x, start_y, stop_x, stop_y;
  int32_t auto_reset_weekday, auto_reset_hour, auto_reset_min, auto_reset_sec;
  int32_t alarm_enable;
  int32_t alarm_threshold[4];
};
static_assert(sizeof(VcaPeopleLine) == 56, "people counting line is 56 bytes");
struct VcaPeopleRecord {
  int32_t channel;
  int32_t width, height;
  int32_t osd_enable, osd_font_size, osd_text_pos;
  int32_t sensitivity;
  uint8_t osd_type;
  uint8_t unused0[3];
  int32_t line_num;
  int32_t trigger_type, trigger_enable, total_alarm_enable;
  int32_t total_alarm_threshold[4];
  VcaPeopleLine lines[VCA_LINES];
  ScheduleRecord effective;  // camera form
  char copy_chn[VCA_COPY_TEXT];
  uint8_t unused1[7];
};
static_assert(sizeof(VcaPeopleRecord) == 26536, "people counting record is 26536 bytes");
static_assert(offsetof(VcaPeopleRecord, osd_type) == 28, "OSD type at 28");
static_assert(offsetof(VcaPeopleRecord, line_num) == 32, "line count at 32");
static_assert(offsetof(VcaPeopleRecord, total_alarm_threshold) == 48, "total thresholds at 48");
static_assert(offsetof(VcaPeopleRecord, lines) == 64, "lines at 64");
static_assert(offsetof(VcaPeopleRecord, effective) == 288, "schedule at 288");
static_assert(offsetof(VcaPeopleRecord, copy_chn) == 26464, "copy channels at 26464");

// People-counter clearing (3261).
struct VcaClearCount {
  int32_t channel;
  int32_t zero[2];
  int32_t line;
  int32_t resetdb;
};
static_assert(sizeof(VcaClearCount) == 20, "counter clearing is 20 bytes");

// Camera line crossing, second form (1209 read, 1210 write).
struct VcaSubLine {
  int32_t start_x, start_y, end_x, end_y, direction;
};
struct VcaLine2 {
  int32_t enable;
  int32_t start_x, start_y, end_x, end_y;
  int32_t direction;
  int32_t obj_type;
  VcaSubLine sub[VCA_SUB_LINES];
};
static_assert(sizeof(VcaLine2) == 128, "camera line block is 128 bytes");
struct VcaLine2Record {
  int32_t channel;
  int32_t sensitivity;
  int32_t width, height;  // zero in requests
  VcaLine2 lines[VCA_LINES];
  uint8_t unused0[4];
  char copy_chn[VCA_COPY_TEXT];
  uint8_t unused1[3];
  int32_t line_type;
  int32_t line_scene;
  uint8_t unused2[20];
};
static_assert(sizeof(VcaLine2Record) == 628, "camera line crossing record is 628 bytes");
static_assert(offsetof(VcaLine2Record, copy_chn) == 532, "copy channels at 532");
static_assert(offsetof(VcaLine2Record, line_type) == 600, "line type at 600");
static_assert(offsetof(VcaLine2Record, line_scene) == 604, "line scene at 604");

// Camera engine settings, second form (1211 read, 1212 write): 8 value
// groups of 8 entries, entry i of group j at 32 + 32 j + 4 i.
constexpr int VCA_BOXES = 8;
struct VcaSettings2Record {
  int32_t channel;
  int32_t unused0;
  int32_t fps, mode, installation, analysis;
  int32_t width, height;
  int32_t groups[8][VCA_BOXES];
  char copy_chn[VCA_COPY_TEXT];
  uint8_t unused1[3];
};
static_assert(sizeof(VcaSettings2Record) == 356, "camera engine settings record is 356 bytes");
static_assert(offsetof(VcaSettings2Record, fps) == 8, "fps at 8");
static_assert(offsetof(VcaSettings2Record, groups) == 32, "value groups at 32");
static_assert(offsetof(VcaSettings2Record, copy_chn) == 288, "copy channels at 288");

// ---- Fisheye cameras ------------------------------------------------------------------

// Mounting, display and correction of a channel (3231; reply 8232 carries
// the same four values and a result).
struct FisheyeModeRecord {
  int32_t channel;
  int32_t mount;     // "fishmount"
  int32_t display;   // "fishdisplay"
  int32_t correct;   // "fishcorrect"
  int32_t result;    // zero in requests
};
static_assert(sizeof(FisheyeModeRecord) == 20, "fisheye mode record is 20 bytes");

// A fisheye camera by address (3373), and its setting (3374).
constexpr int FISHEYE_TEXT = 64;
struct FisheyeAddress {
  char ddns[FISHEYE_TEXT];
  char ipaddr[FISHEYE_TEXT];
  char username[FISHEYE_TEXT];
  char password[FISHEYE_TEXT];
  int32_t port;
};
static_assert(sizeof(FisheyeAddress) == 260, "fisheye address is 260 bytes");
struct FisheyeSetting {
  FisheyeAddress addr;
  int32_t transfer, install, display;
};
static_assert(sizeof(FisheyeSetting) == 272, "fisheye setting is 272 bytes");
// Reply 8373.
struct FisheyeCheckReply {
  int32_t support;  // 1: a fisheye camera
  int32_t transfer, install, display;
  int32_t stream_count;
};
static_assert(sizeof(FisheyeCheckReply) == 20, "fisheye check reply is 20 bytes");

// ---- Regional people counting ------------------------------------------------------------

constexpr int PCNT_REGIONS = 4;
struct RegionalPcntRegion {
  int32_t enable;
  char polygon_x[VCA_TEXT];
  char polygon_y[VCA_TEXT];
  int32_t max_stay_enable, max_stay_value;
  int32_t min_stay_enable, min_stay_value;
  int32_t max_stay_time_enable, max_stay_time_value;
};
static_assert(sizeof(RegionalPcntRegion) == 156, "counting region is 156 bytes");
// Request 1220 reads it (the channel as payload), 1221 writes it.
struct RegionalPcntRecord {
  int32_t result;  // reply only
  int32_t channel;
  int32_t sensitivity;
  int32_t min_x, min_y, min_width, min_height;
  int32_t max_x, max_y, max_width, max_height;
  RegionalPcntRegion regions[PCNT_REGIONS];
  uint8_t unused[68];
  ScheduleRecord effective;  // camera form
};
static_assert(sizeof(RegionalPcntRecord) == 26912, "regional people counting record is 26912 bytes");
static_assert(offsetof(RegionalPcntRecord, regions) == 44, "regions at 44");
static_assert(offsetof(RegionalPcntRecord, effective) == 736, "schedule at 736");
