// Stored records of the event pages that more than one handler module uses:
// the recorder's alarm inputs (also copied by the video module), the motion
// record of a channel, camera alarm names; and the names every event page
// shares: PTZ event types and the store families of schedules and actions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/zrdb.h"

constexpr int NVR_ALARM_INPUTS = 16;   // recorder alarm inputs 0..15
constexpr int NVR_ALARM_OUTPUTS = 4;   // recorder alarm outputs 0..3
constexpr int NVR_CHANNELS = 64;       // camera channels 0..63
constexpr int CAM_ALARM_INPUTS = 4;    // alarm inputs of one camera
constexpr int CAM_ALARM_OUTPUTS = 2;   // alarm outputs of one camera

// ---- PTZ event types ------------------------------------------------------------------
// The number that selects an event kind's PTZ action rows in the store.
constexpr int PTZ_TYPE_ALARM_IN = 0;               // recorder alarm inputs
constexpr int PTZ_TYPE_MOTION = 1;
constexpr int PTZ_TYPE_VIDEOLOSS = 2;
constexpr int PTZ_TYPE_SMART_BASE = 5;             // + smart event 0..8
constexpr int PTZ_TYPE_PLATE_BASE = 15;            // + licence plate list mode 0..2
constexpr int PTZ_TYPE_PEOPLE_CNT = 20;            // rows of their own, at most 8
constexpr int PTZ_TYPE_POS = 21;
constexpr int PTZ_TYPE_REGION_PCNT_BASE = 22;      // + region 0..3
constexpr int PTZ_TYPE_FACE = 26;
constexpr int PTZ_TYPE_CAM_ALARM_IN_BASE = 30;     // + camera alarm input 0..3
constexpr int PTZ_TYPE_MAX = 63;

// Smart events 0..8 map to PTZ types 5..13; any other number gives -1.
int get_smart_event_ptz_type(int event);
// Camera alarm inputs 0..3 map to PTZ types 30..33 (one-to-one, beside the
// types of the other event kinds); any other index gives -1.
int converse_chn_alarmid_to_event_in(int index);

// ---- Store families of event schedules and action tables -------------------------------

// Motion schedules, one schedule record per channel. The schedule of the
// older pages and the audible schedule are one table: what "/6013" writes,
// "/6011" reads back.
constexpr char MOTION_EFFECTIVE_SCHEDULE[] = "motion_effective_schedule";
constexpr char MOTION_AUDIBLE_SCHEDULE[] = "motion_audible_schedule";
constexpr char MOTION_EMAIL_SCHEDULE[] = "motion_email_schedule";
constexpr char MOTION_PTZ_SCHEDULE[] = "motion_ptz_schedule";
constexpr char MOTION_WHITELED_SCHEDULE[] = "motion_whiteled_esche";
constexpr char MOTION_WHITE_LED_PARAMS[] = "motion_white_led_params";
constexpr char MOTION_HTTP_SCHEDULE[] = "motion_http_notification_sche";
constexpr char MOTION_HTTP_PARAMS[] = "motion_http_notification_params";

// Smart event tables (one set per kind 0..8): core/smart_records.h.

// Camera alarm inputs and outputs: one table per input (0..3) or output
// (0..1) index, keyed by channel: "alarm_chnIn<N>_<what>" and
// "alarm_chnOut<N>_<what>". Inputs keep "event" (CamAlarmInEvent), "name"
// (CamAlarmInName) and the schedules "effective_schedule",
// "audible_schedule", "mail_schedule", "ptz_schedule", with white light and
// HTTP notification tables as the other events; outputs keep "name"
// (CamAlarmOutName) and "effective_schedule". "" for an index out of range.
std::string cam_alarm_in_table(int index, const char* what);
std::string cam_alarm_out_table(int index, const char* what);

// One recorder alarm input with its linked actions.
struct AlarmInRecord {
  int32_t id;
  int32_t enable;            // 0, 1 or 2
  char name[256];
  int32_t alarm_type;        // 0 normally open, 1 normally closed
  uint32_t chn_mask;         // bit n: character n (n < 32) of tri_channels is '1'
  int32_t tri_alarms;        // recorder alarm outputs to trigger
  int32_t interval;
  char tri_channels[88];     // channels to record, '0'/'1' per channel
  int32_t email_flag;        // 2 once an e-mail interval was set
  int32_t email_interval;
  char tri_snapshot[72];     // snapshot channels
  char tri_chn_alarms[2][65];  // camera alarm outputs to trigger
  int32_t ptz_interval;
  int32_t alarmout_interval;
  int32_t white_interval;
  int32_t http_notification_interval;
  int32_t email_pic_enable;
  char tri_channels_pic[65];   // e-mail picture channels
  uint8_t reserved[35];
  int32_t audio_id;            // alarm sound to play
};
static_assert(sizeof(AlarmInRecord) == 704, "alarm input record is 704 bytes");
static_assert(offsetof(AlarmInRecord, name) == 8, "name at 8");
static_assert(offsetof(AlarmInRecord, alarm_type) == 264, "alarm type at 264");
static_assert(offsetof(AlarmInRecord, tri_channels) == 280, "triggered channels at 280");
static_assert(offsetof(AlarmInRecord, tri_snapshot) == 376, "snapshot channels at 376");
static_assert(offsetof(AlarmInRecord, tri_chn_alarms) == 448, "camera outputs at 448");
static_assert(offsetof(AlarmInRecord, ptz_interval) == 580, "PTZ interval at 580");
static_assert(offsetof(AlarmInRecord, tri_channels_pic) == 600, "picture channels at 600");
static_assert(offsetof(AlarmInRecord, audio_id) == 700, "audio id is the last field");

ZRDB_RECORD_FAMILY(alarm_in, AlarmInRecord, "alarm_in")

// One recorder alarm output.
struct AlarmOutRecord {
  int32_t id;
  char name[256];
  int32_t type;
  int32_t enable;
  int32_t duration_time;
};
static_assert(sizeof(AlarmOutRecord) == 272, "alarm output record is 272 bytes");
static_assert(offsetof(AlarmOutRecord, type) == 260, "type at 260");
ZRDB_RECORD_FAMILY(alarm_out, AlarmOutRecord, "alarm_out")
constexpr char ALARM_OUT_SCHEDULE[] = "alarm_out_schedule";

// Disarming settings, kept beside recorder input 0.
struct DisarmingRecord {
  int32_t linkage_action;
  int32_t disarm_action_mask;
};
static_assert(sizeof(DisarmingRecord) == 8, "disarming record is 8 bytes");
ZRDB_RECORD_FAMILY(disarming, DisarmingRecord, "disarming")

// The older schedule of a recorder input: 8 days of 12 sections.
struct AlarmInOldSection {
  char start_time[32];
  char end_time[32];
  int32_t action_type;
};
struct AlarmInOldSchedule {
  AlarmInOldSection days[8][12];
};
static_assert(sizeof(AlarmInOldSection) == 68, "older schedule section is 68 bytes");
static_assert(sizeof(AlarmInOldSchedule) == 8 * 12 * 68, "older schedule is 6528 bytes");
ZRDB_RECORD_FAMILY(alarm_in_schedule, AlarmInOldSchedule, "alarm_in_schedule")

// Linked actions of one camera alarm input. The tables of camera inputs are
// kept per input index and keyed by channel, so a copy to the same input of
// other channels is a copy along the channel mask.
struct CamAlarmInEvent {
  int32_t enable;
  uint32_t chn_mask;
  char tri_channels[68];
  int32_t tri_alarms;
  int32_t interval;
  int32_t email_interval;
  char tri_chn_alarms[2][65];
  int32_t ptz_interval;
  int32_t alarmout_interval;
  int32_t white_interval;
  int32_t email_pic_enable;
  char tri_channels_pic[68];
  int32_t audio_id;
  int32_t http_notification_interval;
};
static_assert(sizeof(CamAlarmInEvent) == 312, "camera input event record is 312 bytes");
static_assert(offsetof(CamAlarmInEvent, ptz_interval) == 220, "PTZ interval at 220");

// Names of camera alarm inputs and outputs.
struct CamAlarmInName {
  int32_t channel;
  int32_t index;
  char alarm_name[64];
};
static_assert(sizeof(CamAlarmInName) == 72, "camera input name record is 72 bytes");
struct CamAlarmOutName {
  int32_t channel;
  int32_t index;
  int32_t delay_time;
  char alarm_name[64];
};
static_assert(sizeof(CamAlarmOutName) == 76, "camera output name record is 76 bytes");

// The names of camera alarm input (or output) index for channels 0..63, slot
// c for channel c (a name never written reads as zeros). 0, or -1 for an
// index out of range or a failed read (the slots are then zero).
int read_alarm_chnIn_event_names(int index, CamAlarmInName names[NVR_CHANNELS]);
int read_alarm_chnOut_event_names(int index, CamAlarmOutName names[NVR_CHANNELS]);

// Motion detection settings of one channel.
struct MotionRecord {
  int32_t channel;
  int32_t enable;              // 0..2
  int32_t sensitivity;
  uint32_t chn_mask;           // bit i: character i (i < 32) of tri_channels is '1'
  int32_t tri_alarms;          // recorder alarm outputs to trigger
  char motion_table[368];      // motion area text
  int32_t interval;
  int32_t enable_ms;           // 1: the core runs detection full time
  char tri_channels[68];       // channels to record, '0'/'1' per channel
  int32_t email_enable;
  int32_t email_interval;
  char tri_chn_alarms[2][65];  // camera alarm outputs to trigger
  int32_t ptz_interval;
  int32_t alarmout_interval;
  int32_t white_interval;
  int32_t email_pic_enable;
  char tri_channels_pic[68];   // e-mail picture channels
  int32_t audio_id;
  int32_t http_notification_interval;
  int32_t reserved;
};
static_assert(sizeof(MotionRecord) == 700, "motion record is 700 bytes");
static_assert(offsetof(MotionRecord, motion_table) == 20, "motion table at 20");
static_assert(offsetof(MotionRecord, interval) == 388, "interval at 388");
static_assert(offsetof(MotionRecord, tri_channels) == 396, "triggered channels at 396");
static_assert(offsetof(MotionRecord, tri_chn_alarms) == 472, "camera outputs at 472");
static_assert(offsetof(MotionRecord, ptz_interval) == 604, "PTZ interval at 604");
static_assert(offsetof(MotionRecord, tri_channels_pic) == 620, "picture channels at 620");
static_assert(offsetof(MotionRecord, http_notification_interval) == 692, "HTTP interval at 692");

ZRDB_RECORD_FAMILY(motion, MotionRecord, "motion")

// Schedule tables (one schedule record per owner id) of the recorder's alarm
// inputs, used by both the alarm and the video module.
constexpr char ALARMIN_EFFECTIVE_SCHEDULE[] = "alarmin_effective_schedule";
constexpr char ALARMIN_AUDIBLE_SCHEDULE[] = "alarmin_audible_schedule";
constexpr char ALARMIN_EMAIL_SCHEDULE[] = "alarmin_email_schedule";
constexpr char ALARMIN_PTZ_SCHEDULE[] = "alarmin_ptz_schedule";

// ---- Video loss -------------------------------------------------------------------------

// Video-loss settings of one channel. The enable doubles as the audible
// enable, the interval as the audible interval.
struct VideoLossRecord {
  int32_t channel;
  int32_t enable;              // 0..2
  int32_t tri_alarms;          // recorder alarm outputs to trigger
  int32_t interval;
  int32_t email_enable;
  int32_t email_interval;
  char tri_chn_alarms[2][65];  // camera alarm outputs to trigger
  uint8_t reserved[6];
  int32_t ptz_interval;
  int32_t alarmout_interval;
  int32_t white_interval;
  int32_t audio_id;
  int32_t http_notification_interval;
};
static_assert(sizeof(VideoLossRecord) == 180, "video-loss record is 180 bytes");
static_assert(offsetof(VideoLossRecord, email_enable) == 16, "e-mail enable at 16");
static_assert(offsetof(VideoLossRecord, tri_chn_alarms) == 24, "camera outputs at 24");
static_assert(offsetof(VideoLossRecord, ptz_interval) == 160, "PTZ interval at 160");
static_assert(offsetof(VideoLossRecord, audio_id) == 172, "audio id at 172");
static_assert(offsetof(VideoLossRecord, http_notification_interval) == 176, "HTTP interval at 176");
ZRDB_RECORD_FAMILY(video_lost, VideoLossRecord, "video_loss")

// Video-loss schedules and action tables, one record per channel. The
// schedule of the older pages is the audible schedule.
constexpr char VIDEOLOSS_AUDIBLE_SCHEDULE[] = "videoloss_audible_schedule";
constexpr char VIDEOLOSS_EMAIL_SCHEDULE[] = "videoloss_email_schedule";
constexpr char VIDEOLOSS_PTZ_SCHEDULE[] = "videoloss_ptz_schedule";
constexpr char VIDEOLOSS_WHITELED_SCHEDULE[] = "videoloss_whiteled_esche";
constexpr char VIDEOLOSS_WHITE_LED_PARAMS[] = "video_loss_white_led_params";
constexpr char VIDEOLOSS_HTTP_SCHEDULE[] = "videoloss_http_notification_sche";
constexpr char VIDEOLOSS_HTTP_PARAMS[] = "videoloss_http_notification_params";
