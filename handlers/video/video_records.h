// Records the video module exchanges with the core daemon (motion, the
// cameras' OSD configuration and privacy masks), shared with zrcore-sim.
#pragma once
#include <cstddef>
#include <cstdint>

// Motion map: request 3207 (area for the core) and reply 8206 (live map).
struct MotionMapRecord {
  int32_t enable;
  char map[300];
  int32_t sensitivity;
  int32_t channel;
  int32_t result;
  int32_t model_type;
  int32_t fishdisplay;
  int32_t fishtransfer;
  int32_t fishinstall;
};
static_assert(sizeof(MotionMapRecord) == 332, "motion map record is 332 bytes");
static_assert(offsetof(MotionMapRecord, sensitivity) == 304, "sensitivity at 304");
static_assert(offsetof(MotionMapRecord, channel) == 308, "channel at 308");

// Motion area copied to other channels (3251).
struct MotionAreaCopy {
  char map[300];
  int32_t sensitivity;
  int32_t channel;
  int32_t enable_ms;
  int32_t list[64];
  int32_t count;
};
static_assert(sizeof(MotionAreaCopy) == 572, "motion area copy is 572 bytes");
static_assert(offsetof(MotionAreaCopy, list) == 312, "target list at 312");

// ---- OSD configuration and privacy masks of a camera ----------------------------

// Camera OSD configuration: request 3210 (write) and reply 8211 (read).
// In a reply a negative channel means the camera gave no data.
struct OsdConfigRecord {
  int32_t ch;
  int32_t enable_text;
  char text_name[256];
  int32_t textpos;
  int32_t enable_date;
  int32_t datepos;
  int32_t dateformat;
  int32_t font_size;
  int32_t enable_text_sub;
  char text_name_sub[256];
  int32_t textpos_sub;
  int32_t enable_date_sub;
  int32_t datepos_sub;
  int32_t dateformat_sub;
  int32_t font_size_sub;
  uint8_t reserved[280];
  int32_t type;
};
static_assert(sizeof(OsdConfigRecord) == 848, "OSD configuration is 848 bytes");
static_assert(offsetof(OsdConfigRecord, textpos) == 264, "text position at 264");
static_assert(offsetof(OsdConfigRecord, font_size) == 280, "font size at 280");
static_assert(offsetof(OsdConfigRecord, text_name_sub) == 288, "sub-stream text at 288");
static_assert(offsetof(OsdConfigRecord, font_size_sub) == 560, "sub-stream font size at 560");
static_assert(offsetof(OsdConfigRecord, type) == 844, "type at 844");

// One privacy-mask area as the camera keeps it.
struct MaskAreaRecord {
  int32_t area_id;
  int32_t enable;
  int32_t start_x;
  int32_t start_y;
  int32_t area_width;
  int32_t area_height;
  int32_t fill_color;
  int32_t ratio;
  char name[64];
};
static_assert(sizeof(MaskAreaRecord) == 96, "mask area is 96 bytes");
static_assert(offsetof(MaskAreaRecord, name) == 32, "area name at 32");

constexpr int CAMERA_MASK_AREAS = 28;

// 2509: privacy masks for the channels marked '1' in chn (sent without
// waiting). Bytes not named stay zero.
struct PrivacyMaskWrite {
  char chn[76];
  int32_t enable;
  int32_t num;
  int32_t cgi_sdk_flag;
  uint8_t zero88[36];
  int32_t area_mask_enable;
  uint8_t zero128[64];
  MaskAreaRecord area[CAMERA_MASK_AREAS];
  int32_t mosaic_support;
  int32_t mosaic_num;
  int64_t del_mask;
  uint8_t tail[8];
};
static_assert(sizeof(PrivacyMaskWrite) == 2904, "privacy-mask write is 2904 bytes");
static_assert(offsetof(PrivacyMaskWrite, enable) == 76, "enable at 76");
static_assert(offsetof(PrivacyMaskWrite, cgi_sdk_flag) == 84, "SDK flag at 84");
static_assert(offsetof(PrivacyMaskWrite, area_mask_enable) == 124, "area-mask enable at 124");
static_assert(offsetof(PrivacyMaskWrite, area) == 192, "areas at 192");
static_assert(offsetof(PrivacyMaskWrite, mosaic_support) == 2880, "mosaic support at 2880");
static_assert(offsetof(PrivacyMaskWrite, del_mask) == 2888, "delete mask at 2888");

// Reply 7502: the privacy masks of one camera (one record per camera).
struct CameraMaskRecord {
  int32_t id;
  int32_t enable;
  int32_t num;
  int32_t cgi_sdk_flag;
  char sdkversion[32];
  int32_t max_ptz_zoom_ratio;
  int32_t area_enable;
  char color_list[64];
  MaskAreaRecord area[CAMERA_MASK_AREAS];
  int32_t mosaic_support;
  int32_t mosaic_num;
  int32_t reserved[2];
  int32_t color_support;
  int32_t max_mask_sum;
};
static_assert(sizeof(CameraMaskRecord) == 2832, "camera mask record is 2832 bytes");
static_assert(offsetof(CameraMaskRecord, max_ptz_zoom_ratio) == 48, "zoom ratio at 48");
static_assert(offsetof(CameraMaskRecord, color_list) == 56, "colour list at 56");
static_assert(offsetof(CameraMaskRecord, area) == 120, "areas at 120");
static_assert(offsetof(CameraMaskRecord, mosaic_support) == 2808, "mosaic support at 2808");
static_assert(offsetof(CameraMaskRecord, color_support) == 2824, "colour support at 2824");
static_assert(offsetof(CameraMaskRecord, max_mask_sum) == 2828, "mask limit at 2828");
