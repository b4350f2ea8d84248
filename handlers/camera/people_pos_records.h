// People counting groups, report auto-backup, POS devices and face capture:
// the records the recorder stores for them, the face settings record it
// sends the core daemon, and the store names of their schedules and
// actions. Little-endian, fixed layout; shared with zrcore-sim and the
// tests.
//
// The linked actions of a people-counting group, a POS device and a face
// channel are kept in the smart-event action layout (SmartEventAction),
// one family each, the record's channel field holding the owner id.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/smart_records.h"
#include "platform/zrdb.h"

constexpr int PCNT_GROUPS = 4;      // people-counting groups 0..3
constexpr int PCNT_REPORTS = 4;     // report auto-backup settings 0..3
constexpr int POS_DEVICES = 4;      // POS devices 0..3
constexpr int FACE_CHANNELS = 8;    // face capture channels 0..7
constexpr int FACE_CAPTURE_MODES = 3;
constexpr int FACE_SHIELDS = 4;

// ---- Core daemon requests --------------------------------------------------------------
constexpr int REQ_POS_SET = 1421;            // POS id (4)
constexpr int REQ_REPORT_BACKUP_SET = 1423;  // no payload
constexpr int REQ_PCNT_SETTINGS_SET = 2290;  // zero word (4)
constexpr int REQ_PCNT_DB_RESET = 2291;      // group id (4)
constexpr int REQ_PCNT_LIVEVIEW_RESET = 2292;  // group id (4)
constexpr int REQ_PCNT_ACTION_SET = 2293;    // {group id, -1} (8)
constexpr int REQ_FACE_CONFIG_SET = 3381;    // FaceConfig (1620)
constexpr int REQ_FACE_CHANNEL = 3383;       // chnId (4), no reply

// ---- People counting -------------------------------------------------------------------

// One people-counting group.
struct PeopleCntGroup {
  int32_t groupid;
  int32_t enable;
  int32_t stays;
  int32_t liveview_auto_reset;
  int32_t auto_day;
  int32_t liveview_font_size;
  char name[64];
  char auto_day_time[64];
  char tri_channels[65];          // channels of the group, '0'/'1' per channel
  char liveview_green_tips[128];
  char liveview_red_tips[128];
  uint8_t reserved[7];
};
static_assert(sizeof(PeopleCntGroup) == 480, "people-counting group is 480 bytes");
static_assert(offsetof(PeopleCntGroup, name) == 24, "name at 24");
static_assert(offsetof(PeopleCntGroup, auto_day_time) == 88, "auto day time at 88");
static_assert(offsetof(PeopleCntGroup, tri_channels) == 152, "channels at 152");
static_assert(offsetof(PeopleCntGroup, liveview_green_tips) == 217, "green tips at 217");
static_assert(offsetof(PeopleCntGroup, liveview_red_tips) == 345, "red tips at 345");

// One report auto-backup setting.
struct PeopleCntReport {
  int32_t reportType;
  int32_t enable;
  char triChannels[65];
  char triGroups[17];
  int32_t stayLengthType;
  int32_t stayLengthValue;
  int32_t backupDay;
  char backupTime[32];
  int32_t fileFormat;
  int32_t timeRange;
  int32_t backupTo;
  int32_t lineMask;
};
static_assert(sizeof(PeopleCntReport) == 152, "report backup record is 152 bytes");
static_assert(offsetof(PeopleCntReport, triChannels) == 8, "channels at 8");
static_assert(offsetof(PeopleCntReport, triGroups) == 73, "groups at 73");
static_assert(offsetof(PeopleCntReport, stayLengthType) == 92, "stay length type at 92");
static_assert(offsetof(PeopleCntReport, backupDay) == 100, "backup day at 100");
static_assert(offsetof(PeopleCntReport, backupTime) == 104, "backup time at 104");
static_assert(offsetof(PeopleCntReport, fileFormat) == 136, "file format at 136");
static_assert(offsetof(PeopleCntReport, lineMask) == 148, "line mask at 148");

constexpr char PCNT_SETTINGS_FAMILY[] = "peoplecnt_settings";
constexpr char PCNT_AUTO_BACKUP_FAMILY[] = "peoplecnt_auto_backup";
constexpr char PCNT_EVENT_FAMILY[] = "peoplecnt_event";
constexpr char PCNT_AUDIBLE_SCHEDULE[] = "peoplecnt_audible_schedule";
constexpr char PCNT_EMAIL_SCHEDULE[] = "peoplecnt_email_schedule";
constexpr char PCNT_PTZ_SCHEDULE[] = "peoplecnt_ptz_schedule";
constexpr char PCNT_WLED_SCHEDULE[] = "peoplecnt_wled_schedule";
constexpr char PCNT_HTTP_SCHEDULE[] = "people_cnt_http_notification_sche";
constexpr char PCNT_HTTP_PARAMS[] = "people_cnt_http_notification_params";
// White-light rows: read_peoplecnt_wled_params (core/web_utils.h); PTZ rows:
// PTZ_TYPE_PEOPLE_CNT.

// ---- POS -------------------------------------------------------------------------------

// One POS device and its text overlay.
struct PosSetting {
  int32_t id;
  int32_t enable;
  char name[64];
  int32_t protocol;
  int32_t connectionMode;
  char ip[64];
  int32_t liveviewDisplay;
  int32_t displayChannel;
  int32_t startX;
  int32_t startY;
  int32_t areaWidth;
  int32_t areaHeight;
  int32_t characterEncodeing;
  int32_t fontSize;
  int32_t fontColor;
  int32_t overlayMode;
  int32_t displayTime;
  int32_t timeout;
  char privacy1[64];
  char privacy2[64];
  char privacy3[64];
  int32_t port;
  int32_t nvrPort;
  int32_t clearTime;
};
static_assert(sizeof(PosSetting) == 396, "POS setting is 396 bytes");
static_assert(offsetof(PosSetting, ip) == 80, "address at 80");
static_assert(offsetof(PosSetting, privacy1) == 192, "privacy texts at 192");
static_assert(offsetof(PosSetting, port) == 384, "port at 384");

constexpr char POS_SETTINGS_FAMILY[] = "pos_settings";
constexpr char POS_EVENT_FAMILY[] = "pos_event";
// The five POS schedules, by kind: 0 effective, 1 audible, 2 e-mail, 3 PTZ,
// 4 white light.
constexpr int POS_SCHEDULE_KINDS = 5;
constexpr const char* POS_SCHEDULES[POS_SCHEDULE_KINDS] = {
    "pos_effective_schedule", "pos_audible_schedule", "pos_email_schedule", "pos_ptz_schedule",
    "pos_whiteled_schedule"};
constexpr char POS_WHITELED_PARAMS[] = "pos_whiteled_params";
constexpr char POS_HTTP_SCHEDULE[] = "pos_http_notification_sche";
constexpr char POS_HTTP_PARAMS[] = "pos_http_notification_params";

// ---- Face capture ----------------------------------------------------------------------

// A masked area of the face detector.
struct FaceShield {
  int32_t enable;
  uint8_t reserved[64];
  char polygonX[64];
  char polygonY[64];
};
static_assert(sizeof(FaceShield) == 196, "shield area is 196 bytes");
static_assert(offsetof(FaceShield, polygonX) == 68, "shield polygon X at 68");
static_assert(offsetof(FaceShield, polygonY) == 132, "shield polygon Y at 132");

// Face capture settings of one channel (request 3381). Cleared before it
// is filled: every byte without a field is zero.
struct FaceConfig {
  int32_t reserved0;
  int32_t chnId;
  uint8_t reserved8[132];
  int32_t enable;
  int32_t width;
  int32_t height;
  int32_t minPixel;
  int32_t captureMode;
  int32_t captureQuality[FACE_CAPTURE_MODES];
  int32_t snapshotType;
  int32_t snapshotInterval;
  int32_t snapshotBackground;
  int32_t poseYaw;
  int32_t poseRoll;
  int32_t posePitch;
  int32_t blurLimit;
  uint8_t reserved200[80];
  char detection_polygonX[64];
  char detection_polygonY[64];
  int32_t uploadEnable;
  int32_t uploadFileType;
  int32_t nasEnable;
  int32_t nasFileType;
  int32_t emailEnable;
  int32_t emailFileType;
  int32_t httpEnable;
  int32_t httpNotifyInterval;
  char httpUrl[128];
  char httpUser[64];
  char httpPassword[64];
  int32_t snapshot[FACE_CAPTURE_MODES];
  int32_t recordSeconds;
  int32_t prerecordSeconds;
  int32_t postEnable;
  int32_t postType;
  uint8_t reserved724[80];
  FaceShield shield[FACE_SHIELDS];
  int32_t attributeEnable;
  int32_t attributeType;
  int32_t mosaicEnable;
  int32_t mosaicModeStatus;
  int32_t mutuallyExclusive;
  uint8_t reserved1608[12];
};
static_assert(sizeof(FaceConfig) == 1620, "face settings record is 1620 bytes");
static_assert(offsetof(FaceConfig, chnId) == 4, "channel at 4");
static_assert(offsetof(FaceConfig, enable) == 140, "enable at 140");
static_assert(offsetof(FaceConfig, captureMode) == 156, "capture mode at 156");
static_assert(offsetof(FaceConfig, captureQuality) == 160, "capture qualities at 160");
static_assert(offsetof(FaceConfig, snapshotType) == 172, "snapshot type at 172");
static_assert(offsetof(FaceConfig, blurLimit) == 196, "blur limit at 196");
static_assert(offsetof(FaceConfig, detection_polygonX) == 280, "detection polygon X at 280");
static_assert(offsetof(FaceConfig, detection_polygonY) == 344, "detection polygon Y at 344");
static_assert(offsetof(FaceConfig, uploadEnable) == 408, "upload enable at 408");
static_assert(offsetof(FaceConfig, httpNotifyInterval) == 436, "HTTP interval at 436");
static_assert(offsetof(FaceConfig, httpUrl) == 440, "HTTP address at 440");
static_assert(offsetof(FaceConfig, httpUser) == 568, "HTTP user at 568");
static_assert(offsetof(FaceConfig, httpPassword) == 632, "HTTP password at 632");
static_assert(offsetof(FaceConfig, snapshot) == 696, "snapshot flags at 696");
static_assert(offsetof(FaceConfig, recordSeconds) == 708, "record seconds at 708");
static_assert(offsetof(FaceConfig, postType) == 720, "post type at 720");
static_assert(offsetof(FaceConfig, shield) == 804, "shield areas at 804");
static_assert(offsetof(FaceConfig, attributeEnable) == 1588, "attribute enable at 1588");
static_assert(offsetof(FaceConfig, mutuallyExclusive) == 1604, "exclusive flag at 1604");

constexpr char FACE_EVENT_FAMILY[] = "face_event";
constexpr char FACE_EFFECTIVE_SCHEDULE[] = "face_effective_schedule";
constexpr char FACE_AUDIBLE_SCHEDULE[] = "face_audible_schedule";
constexpr char FACE_MAIL_SCHEDULE[] = "face_mail_schedule";
constexpr char FACE_PTZ_SCHEDULE[] = "face_ptz_schedule";
constexpr char FACE_WHITELED_SCHEDULE[] = "face_whiteled_schedule";
constexpr char FACE_WHITELED_PARAMS[] = "face_whiteled_params";
constexpr char FACE_HTTP_SCHEDULE[] = "face_http_notification_sche";
constexpr char FACE_HTTP_PARAMS[] = "face_http_notification_params";

// ---- Store -----------------------------------------------------------------------------
// Results 0 / -1; an id outside the owner's range is refused with -1. A
// record never written reads as zeros with its id set.

// All groups, reports or POS devices at once: slot i for id i.
int read_peoplecnt_settings(const char* db, PeopleCntGroup groups[PCNT_GROUPS]);
int write_peoplecnt_settings(const char* db, const PeopleCntGroup groups[PCNT_GROUPS]);
int read_peoplecnt_auto_backup(const char* db, PeopleCntReport reports[PCNT_REPORTS]);
int write_peoplecnt_auto_backup(const char* db, const PeopleCntReport reports[PCNT_REPORTS]);
int read_pos_settings(const char* db, PosSetting devices[POS_DEVICES]);
int read_pos_setting(const char* db, PosSetting* rec, int id);
int write_pos_setting(const char* db, const PosSetting* rec, int id);

// Action records of a group (0..3), a POS device (0..3) and a face channel
// (0..7).
int read_peoplecnt_event(const char* db, SmartEventAction* rec, int group);
int write_peoplecnt_event(const char* db, const SmartEventAction* rec, int group);
int read_pos_event(const char* db, SmartEventAction* rec, int id);
int write_pos_event(const char* db, const SmartEventAction* rec, int id);
int read_face_event(const char* db, SmartEventAction* rec, int ch);
int write_face_event(const char* db, const SmartEventAction* rec, int ch);
