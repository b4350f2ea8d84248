#include "core/smart_records.h"

#include <cstdio>
#include <cstring>

#include "platform/zrdb.h"

namespace {

bool channel_ok(int ch) { return ch >= 0 && ch < 64; }

void fix_channel(void* rec, int target) { static_cast<SmartEventAction*>(rec)->channel = target; }

int read_schedule(const char* db, int ch, int event, const char* kind, ScheduleRecord* s) {
  if (!s) return -1;
  std::memset(s, 0, sizeof *s);
  if (!channel_ok(ch) || !smart_event_ok(event)) return -1;
  return zrdb_read_record(db, smart_event_schedule_table(event, kind).c_str(), ch, s, sizeof *s) < 0 ? -1 : 0;
}

int write_schedule(const char* db, int ch, int event, const char* kind, const ScheduleRecord* s) {
  if (!s || !channel_ok(ch) || !smart_event_ok(event)) return -1;
  return zrdb_write_record(db, smart_event_schedule_table(event, kind).c_str(), ch, s, sizeof *s);
}

int table_name(int selector, int event, const char* sche, const char* params, char* buf, size_t size) {
  if (!buf || size == 0) return -1;
  buf[0] = '\0';
  if (!smart_event_ok(event) || (selector != 0 && selector != 1)) return -1;
  int n = std::snprintf(buf, size, "smart_event%d_%s", event, selector == 0 ? sche : params);
  if (n < 0 || static_cast<size_t>(n) >= size) {
    buf[0] = '\0';
    return -1;
  }
  return 0;
}

}  // namespace

EventActionFields smart_action_fields(SmartEventAction* r, bool with_enable) {
  EventActionFields f = common_event_fields(r);
  f.http_notification_interval = &r->http_notification_interval;
  if (with_enable) f.enable = &r->enable;
  return f;
}

std::string smart_event_family(int event) { return "smart_event" + std::to_string(event); }

int read_smart_event(const char* db, SmartEventAction* rec, int channel, int event) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  if (!channel_ok(channel) || !smart_event_ok(event)) return -1;
  if (zrdb_read_record(db, smart_event_family(event).c_str(), channel, rec, sizeof *rec) < 0) return -1;
  rec->channel = channel;
  return 0;
}

int write_smart_event(const char* db, const SmartEventAction* rec, int channel, int event) {
  if (!rec || !channel_ok(channel) || !smart_event_ok(event)) return -1;
  return zrdb_write_record(db, smart_event_family(event).c_str(), channel, rec, sizeof *rec);
}

std::string smart_event_schedule_table(int event, const char* kind) {
  return smart_event_family(event) + "_" + kind + "_schedule";
}

int read_smart_event_effective_schedule(const char* db, int ch, int event, ScheduleRecord* s) {
  return read_schedule(db, ch, event, "effective", s);
}
int write_smart_event_effective_schedule(const char* db, int ch, int event, const ScheduleRecord* s) {
  return write_schedule(db, ch, event, "effective", s);
}
int read_smart_event_audible_schedule(const char* db, int ch, int event, ScheduleRecord* s) {
  return read_schedule(db, ch, event, "audible", s);
}
int write_smart_event_audible_schedule(const char* db, int ch, int event, const ScheduleRecord* s) {
  return write_schedule(db, ch, event, "audible", s);
}
int read_smart_event_mail_schedule(const char* db, int ch, int event, ScheduleRecord* s) {
  return read_schedule(db, ch, event, "mail", s);
}
int write_smart_event_mail_schedule(const char* db, int ch, int event, const ScheduleRecord* s) {
  return write_schedule(db, ch, event, "mail", s);
}
int read_smart_event_ptz_schedule(const char* db, int ch, int event, ScheduleRecord* s) {
  return read_schedule(db, ch, event, "ptz", s);
}
int write_smart_event_ptz_schedule(const char* db, int ch, int event, const ScheduleRecord* s) {
  return write_schedule(db, ch, event, "ptz", s);
}

int get_vca_white_table_name(int selector, int event, char* buf, size_t size) {
  return table_name(selector, event, "whiteled_sche", "white_led_params", buf, size);
}

int get_vca_http_table_name(int selector, int event, char* buf, size_t size) {
  return table_name(selector, event, "http_notification_sche", "http_notification_params", buf, size);
}

EventTables smart_event_tables(int event, bool with_http_and_ptz) {
  EventTables t;
  if (!smart_event_ok(event)) return t;
  t.effective = smart_event_schedule_table(event, "effective");
  t.audible = smart_event_schedule_table(event, "audible");
  t.email = smart_event_schedule_table(event, "mail");
  t.ptz = smart_event_schedule_table(event, "ptz");
  char name[64];
  if (get_vca_white_table_name(0, event, name, sizeof name) == 0) t.white_sche = name;
  if (get_vca_white_table_name(1, event, name, sizeof name) == 0) t.white_params = name;
  if (with_http_and_ptz) {
    if (get_vca_http_table_name(0, event, name, sizeof name) == 0) t.http_sche = name;
    if (get_vca_http_table_name(1, event, name, sizeof name) == 0) t.http_params = name;
    t.ptz_type = get_smart_event_ptz_type(event);
  }
  return t;
}

int copy_smart_event_action(const char* db, int channel, int event, uint64_t mask) {
  if (!channel_ok(channel) || !smart_event_ok(event)) return -1;
  mask &= ~(1ULL << channel);
  if (!mask) return 0;
  // The record's channel field names its own channel in every copy.
  if (zrdb_copy_record_fix(db, smart_event_family(event).c_str(), channel, mask, sizeof(SmartEventAction),
                           fix_channel) != 0)
    return -1;
  return copy_event_tables(smart_event_tables(event), channel, mask) ? 0 : -1;
}

void add_event_action_dialog(json_object* a, const EventTables& t, int owner, const SmartEventAction& r) {
  json_add(a, "audible", event_schedule_json(t.audible, owner));
  json_add_int(a, "interval", r.interval);
  json_add_int(a, "audioId", r.audio_id);
  json_add(a, "email", event_schedule_json(t.email, owner));
  json_add_int(a, "email_interval", r.email_interval);
  json_add_int(a, "email_pic_enable", r.email_pic_enable);
  json_add_field(a, "tri_channels_pic", r.tri_channels_pic);
  json_add(a, "ptz", event_schedule_json(t.ptz, owner));
  json_add_int(a, "ptz_interval", r.ptz_interval);
  json_add(a, "ptzParams", event_ptz_json(t, owner));
  json_add(a, "white", event_schedule_json(t.white_sche, owner));
  json_add(a, "whiteInfo", event_white_json(t, owner));
  json_add_int(a, "white_interval", r.white_interval);
  json_add(a, "httpSche", event_schedule_json(t.http_sche, owner));
  json_add(a, "httpParams", event_http_json(t, owner));
  json_add_int(a, "http_notification_interval", r.http_notification_interval);
  json_add_int(a, "alarmout_interval", r.alarmout_interval);
  json_add_int(a, "triAlarms", r.tri_alarms);
  json_add_field(a, "triChannels", r.tri_channels);
  json_add(a, "triChnAlarms", get_event_chn_alarmout_object(r.tri_chn_alarms[0], r.tri_chn_alarms[1]));
}
