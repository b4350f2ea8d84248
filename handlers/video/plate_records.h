// Licence plate recognition records the video module exchanges with the
// core daemon (the camera's recognition settings and its plate wildcards),
// shared with zrcore-sim. Little-endian 32-bit integers; bytes not named
// stay zero.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int ANPR_WILDCARDS = 9;
constexpr int ANPR_REGIONS = 64;
constexpr int ANPR_ROIS = 4;
constexpr int ANPR_PRESET_GROUPS = 4;
constexpr int ANPR_PRESET_AREAS = 4;
constexpr int ANPR_POLYGONS = 4;

// Plate wildcards of a camera: requests 1207 (read) and 1208 (write).
struct AnprWildcardRecord {
  int32_t channel;
  int32_t filter;
  int32_t enable[ANPR_WILDCARDS];
  int32_t cr_count[ANPR_WILDCARDS];
  char format[ANPR_WILDCARDS][16];
  int32_t max_plate_char_num;
};
static_assert(sizeof(AnprWildcardRecord) == 228, "wildcard record is 228 bytes");
static_assert(offsetof(AnprWildcardRecord, filter) == 4, "filter at 4");
static_assert(offsetof(AnprWildcardRecord, enable) == 8, "enables at 8");
static_assert(offsetof(AnprWildcardRecord, cr_count) == 44, "character counts at 44");
static_assert(offsetof(AnprWildcardRecord, format) == 80, "formats at 80");
static_assert(offsetof(AnprWildcardRecord, max_plate_char_num) == 224, "maximum plate length at 224");

// A named rectangle: ROI areas and preset areas.
struct AnprArea {
  char name[64];
  int32_t start_x, start_y, end_x, end_y;
};
static_assert(sizeof(AnprArea) == 80, "area entry is 80 bytes");

struct AnprPolygon {
  char name[64];
  char polygon_x[64];
  char polygon_y[64];
};
static_assert(sizeof(AnprPolygon) == 192, "polygon entry is 192 bytes");

// Recognition settings of a camera: request 3289 reads (reply 8289), 3290
// writes (status reply 8290).
struct AnprSettingsRecord {
  int32_t chnid;
  int32_t enable;
  int32_t resolution_width, resolution_height;
  int32_t area_x, area_y, area_width, area_height;
  int32_t day_night_mode_enable;
  int32_t scene;
  int32_t direction_enable;
  int32_t region_enable, roiid_enable, process_mode, repeat_check_time_value;
  int32_t repeat_check_time_unit;
  int32_t post_enable, post_type, post_tcp_port;
  char post_http_user[64];
  char post_http_password[64];
  char post_http_url[512];
  int32_t confidence;
  char region[ANPR_REGIONS][32];
  char cur_area[32];
  int32_t in_night_mode;  // the camera's state; never written by the recorder
  int32_t platecolor_enable, vehicletype_enable, vehiclecolor_enable;
  AnprArea roi[ANPR_ROIS];
  AnprArea preset[ANPR_PRESET_GROUPS][ANPR_PRESET_AREAS];
  uint8_t unused[264];
  int32_t night_mode_enable, night_mode_level, night_mode_starthour, night_mode_startminute;
  int32_t night_mode_stophour, night_mode_stopminute, night_mode_effective_mode;
  int32_t json_support;
  int32_t ir_led_external_support;
  int32_t vehicle_enhancement;
  int32_t vehicle_brand_enable;
  AnprPolygon normal_polygons[ANPR_POLYGONS];
  int32_t aitype;
};
static_assert(sizeof(AnprSettingsRecord) == 5496, "recognition settings record is 5496 bytes");
static_assert(offsetof(AnprSettingsRecord, day_night_mode_enable) == 32, "day/night switch at 32");
static_assert(offsetof(AnprSettingsRecord, region_enable) == 44, "region switch at 44");
static_assert(offsetof(AnprSettingsRecord, repeat_check_time_unit) == 60, "repeat check unit at 60");
static_assert(offsetof(AnprSettingsRecord, post_enable) == 64, "post switch at 64");
static_assert(offsetof(AnprSettingsRecord, post_http_user) == 76, "post user at 76");
static_assert(offsetof(AnprSettingsRecord, post_http_password) == 140, "post password at 140");
static_assert(offsetof(AnprSettingsRecord, post_http_url) == 204, "post URL at 204");
static_assert(offsetof(AnprSettingsRecord, confidence) == 716, "confidence at 716");
static_assert(offsetof(AnprSettingsRecord, region) == 720, "regions at 720");
static_assert(offsetof(AnprSettingsRecord, cur_area) == 2768, "current area at 2768");
static_assert(offsetof(AnprSettingsRecord, in_night_mode) == 2800, "night state at 2800");
static_assert(offsetof(AnprSettingsRecord, platecolor_enable) == 2804, "plate colour switch at 2804");
static_assert(offsetof(AnprSettingsRecord, roi) == 2816, "ROI areas at 2816");
static_assert(offsetof(AnprSettingsRecord, preset) == 3136, "preset areas at 3136");
static_assert(offsetof(AnprSettingsRecord, night_mode_enable) == 4680, "night mode at 4680");
static_assert(offsetof(AnprSettingsRecord, night_mode_effective_mode) == 4704, "night mode kind at 4704");
static_assert(offsetof(AnprSettingsRecord, json_support) == 4708, "JSON support at 4708");
static_assert(offsetof(AnprSettingsRecord, ir_led_external_support) == 4712, "external IR LED at 4712");
static_assert(offsetof(AnprSettingsRecord, vehicle_enhancement) == 4716, "vehicle enhancement at 4716");
static_assert(offsetof(AnprSettingsRecord, vehicle_brand_enable) == 4720, "vehicle brand at 4720");
static_assert(offsetof(AnprSettingsRecord, normal_polygons) == 4724, "polygons at 4724");
static_assert(offsetof(AnprSettingsRecord, aitype) == 5492, "AI type at 5492");
