// Smart events (the analytics detectors of a channel): the event kinds,
// their stored action record and the tables each kind keeps its schedules,
// white-light, HTTP notification and PTZ actions in. The licence plate
// pages keep their event records in the same 328-byte layout, and the
// camera event schedule page reads the smart kinds' effective schedules.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/event_actions.h"
#include "core/web_utils.h"

// Smart event kinds: the "type"/"event" number of the pages, the owner of the
// stored rows and the PTZ type (kind + PTZ_TYPE_SMART_BASE).
constexpr int SMART_EVENT_REGION_ENTRANCE = 0;
constexpr int SMART_EVENT_REGION_EXIT = 1;
constexpr int SMART_EVENT_ADVANCED_MOTION = 2;
constexpr int SMART_EVENT_TAMPER = 3;
constexpr int SMART_EVENT_LINE_CROSSING = 4;
constexpr int SMART_EVENT_LOITERING = 5;
constexpr int SMART_EVENT_HUMAN = 6;
constexpr int SMART_EVENT_PEOPLE_COUNTING = 7;
constexpr int SMART_EVENT_LEFT_REMOVED = 8;
constexpr int SMART_EVENT_KINDS = 9;

inline bool smart_event_ok(int event) { return event >= 0 && event < SMART_EVENT_KINDS; }

// Linked actions of one smart event of one channel (also the layout of the
// licence plate event record and of a regional people-counting region).
struct SmartEventAction {
  int32_t channel;
  int32_t enable;
  uint32_t chn_mask;           // bit i: character i (i < 32) of tri_channels is '1'
  char tri_channels[68];       // channels to record, '0'/'1' per channel
  int32_t tri_alarms;          // recorder alarm outputs to trigger
  int32_t interval;
  int32_t email_interval;
  char tri_chn_alarms[2][65];  // camera alarm outputs to trigger
  uint8_t reserved0[6];
  int32_t ptz_interval;
  int32_t alarmout_interval;
  int32_t white_interval;
  int32_t email_pic_enable;
  char tri_channels_pic[68];   // e-mail picture channels
  int32_t audio_id;
  int32_t http_notification_interval;
  uint8_t reserved1[8];
};
static_assert(sizeof(SmartEventAction) == 328, "smart-event action record is 328 bytes");
static_assert(offsetof(SmartEventAction, enable) == 4, "enable at 4");
static_assert(offsetof(SmartEventAction, chn_mask) == 8, "channel mask at 8");
static_assert(offsetof(SmartEventAction, tri_channels) == 12, "triggered channels at 12");
static_assert(offsetof(SmartEventAction, tri_alarms) == 80, "triggered alarms at 80");
static_assert(offsetof(SmartEventAction, interval) == 84, "interval at 84");
static_assert(offsetof(SmartEventAction, email_interval) == 88, "e-mail interval at 88");
static_assert(offsetof(SmartEventAction, tri_chn_alarms) == 92, "camera outputs at 92");
static_assert(offsetof(SmartEventAction, ptz_interval) == 228, "PTZ interval at 228");
static_assert(offsetof(SmartEventAction, alarmout_interval) == 232, "alarm-output interval at 232");
static_assert(offsetof(SmartEventAction, white_interval) == 236, "white LED interval at 236");
static_assert(offsetof(SmartEventAction, email_pic_enable) == 240, "e-mail picture enable at 240");
static_assert(offsetof(SmartEventAction, tri_channels_pic) == 244, "picture channels at 244");
static_assert(offsetof(SmartEventAction, audio_id) == 312, "audio id at 312");
static_assert(offsetof(SmartEventAction, http_notification_interval) == 316, "HTTP interval at 316");

// The dialog keys of the record ("triChnAlarms", "triAlarms", "interval",
// "audioId", "email_interval", "email_pic_enable", "tri_channels_pic",
// "ptz_interval", "alarmout_interval", "white_interval",
// "http_notification_interval", "triChannels"); "enable" only when asked.
EventActionFields smart_action_fields(SmartEventAction* r, bool with_enable);

// ---- Store -------------------------------------------------------------------------
// One record family per kind, keyed by channel: "smart_event<k>". Results
// 0 / -1; a channel outside 0..63 or a kind outside 0..8 is refused with -1
// (never read as another owner's row). A record never written reads as zeros
// with its channel set.
std::string smart_event_family(int event);
int read_smart_event(const char* db, SmartEventAction* rec, int channel, int event);
int write_smart_event(const char* db, const SmartEventAction* rec, int channel, int event);

// Schedule tables of a kind, keyed by channel: "smart_event<k>_effective_schedule",
// "..._audible_schedule", "..._mail_schedule", "..._ptz_schedule".
std::string smart_event_schedule_table(int event, const char* kind);
int read_smart_event_effective_schedule(const char* db, int channel, int event, ScheduleRecord* s);
int write_smart_event_effective_schedule(const char* db, int channel, int event, const ScheduleRecord* s);
int read_smart_event_audible_schedule(const char* db, int channel, int event, ScheduleRecord* s);
int write_smart_event_audible_schedule(const char* db, int channel, int event, const ScheduleRecord* s);
int read_smart_event_mail_schedule(const char* db, int channel, int event, ScheduleRecord* s);
int write_smart_event_mail_schedule(const char* db, int channel, int event, const ScheduleRecord* s);
int read_smart_event_ptz_schedule(const char* db, int channel, int event, ScheduleRecord* s);
int write_smart_event_ptz_schedule(const char* db, int channel, int event, const ScheduleRecord* s);

// White-light and HTTP notification tables of a kind: selector 0 names the
// schedule table ("smart_event<k>_whiteled_sche" / "..._http_notification_sche"),
// 1 the parameter table ("..._white_led_params" / "..._http_notification_params").
// 0, or -1 (buffer left empty) for another selector, a kind outside 0..8 or
// a buffer too small.
int get_vca_white_table_name(int selector, int event, char* buf, size_t size);
int get_vca_http_table_name(int selector, int event, char* buf, size_t size);

// Every table of a kind, for the event-page helpers (empty for a kind
// outside 0..8). with_http_and_ptz: the HTTP tables and the PTZ rows too.
EventTables smart_event_tables(int event, bool with_http_and_ptz = true);

// Copies the kind's action record (in db) and every table of the channel (in
// the configuration database) to the channels of mask, never to the channel
// itself. 0 / -1.
int copy_smart_event_action(const char* db, int channel, int event, uint64_t mask);

// Adds the dialog of an event kept in this record layout, in the order the
// POS and regional people-counting pages answer it: "audible", "interval",
// "audioId", "email", "email_interval", "email_pic_enable",
// "tri_channels_pic", "ptz", "ptz_interval", "ptzParams", "white",
// "whiteInfo", "white_interval", "httpSche", "httpParams",
// "http_notification_interval", "alarmout_interval", "triAlarms",
// "triChannels", "triChnAlarms" (the tables of t, rows of owner).
void add_event_action_dialog(json_object* obj, const EventTables& t, int owner, const SmartEventAction& r);
