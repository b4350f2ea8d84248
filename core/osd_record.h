// Stored per-channel OSD record (it holds the channel's camera name) and the
// stored privacy-mask record: shared by the camera and the video modules.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/strutil.h"
#include "platform/zrdb.h"

struct OsdRecord {
  int32_t camId;
  char camName[64];
  int32_t showName;
  int32_t showDate;
  int32_t showWeek;
  int32_t dateFormat;
  int32_t timeFormat;
  double datePosX;
  double datePosY;
  double namePosX;
  double namePosY;
  int32_t alpha;
  int32_t reserved;
};
static_assert(sizeof(OsdRecord) == 128, "OSD record is 128 bytes");
static_assert(offsetof(OsdRecord, camName) == 4, "name at 4");
static_assert(offsetof(OsdRecord, showName) == 68, "showName at 68");
static_assert(offsetof(OsdRecord, datePosX) == 88, "datePosX at 88");
static_assert(offsetof(OsdRecord, namePosY) == 112, "namePosY at 112");
static_assert(offsetof(OsdRecord, alpha) == 120, "alpha at 120");

ZRDB_RECORD_FAMILY(osd, OsdRecord, "osd")

// The camera name of a channel ("" when none is stored), at most 63 bytes.
template <size_t N>
inline void read_osd_name(const char* db, int channel, char (&name)[N]) {
  OsdRecord osd{};
  read_osd(db, &osd, channel);
  copy_field(name, field_view(osd.camName));
}

struct PrivacyMaskArea {
  int32_t area_id;
  int32_t enable;
  int32_t start_x;
  int32_t start_y;
  int32_t area_width;
  int32_t area_height;
  int32_t width;
  int32_t height;
  int32_t fill_color;
  int32_t extra[4];
};
static_assert(sizeof(PrivacyMaskArea) == 52, "mask area is 52 bytes");

constexpr int PRIVACY_MASK_AREAS = 24;
struct PrivacyMaskRecord {
  int32_t id;  // channel the masks belong to
  PrivacyMaskArea area[PRIVACY_MASK_AREAS];
};
static_assert(sizeof(PrivacyMaskRecord) == 1252, "privacy mask record is 1252 bytes");

ZRDB_RECORD_FAMILY(privacy_mask, PrivacyMaskRecord, "privacy_mask")
