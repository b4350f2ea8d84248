// The action dialog every event page shares (alarm inputs, motion, and the
// later event kinds): weekly schedules, white light, HTTP notification and
// PTZ rows stored in tables of their own, plus the trigger fields kept in the
// event's record. One way to decode a dialog:
//
//   EventTables t = ...;                 // where this event keeps its tables
//   EventSave saved = save_event_tables(dialog, owner, t);
//   Record before = rec;
//   apply_event_actions(dialog, owner, fields_of(rec));
//   if (saved.ptz_written || memcmp(&before, &rec, sizeof rec)) write ...;
//   if (copy_mask) { copy_event_tables(t, owner, copy_mask); copy record ... }
#pragma once
#include <json-c/json.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/cgi_json.h"

// Table names of one event kind; an empty name means the event has no such
// table. Owner ids are the event's channel or input id.
struct EventTables {
  std::string effective;      // schedule records
  std::string audible;
  std::string email;
  std::string ptz;
  std::string white_sche;     // white light schedule
  std::string white_params;   // white light rows
  std::string http_sche;      // HTTP notification schedule
  std::string http_params;    // HTTP notification target
  int ptz_type = -1;          // PTZ event type of the PTZ action rows; -1 none
};

// A text field of a record: where it is and how many characters it keeps.
struct TextRef {
  char* text = nullptr;
  size_t size = 0;       // field size in bytes
  size_t max_chars = 0;  // characters kept (at most size - 1)
};

// Pointers into the caller's record for the trigger fields a page takes from
// its dialog; a null pointer means the page does not take that key.
struct EventActionFields {
  int32_t* enable = nullptr;          // "enable" taken as is
  int32_t* enable_on_interval = nullptr;  // set to 2 when "interval" is taken
  int32_t* email_flag = nullptr;      // set to 2 when "email_interval" is taken
  uint32_t* chn_mask = nullptr;       // 32-bit mask of tri_channels
  TextRef tri_channels;               // "triChannels"
  TextRef tri_channels_pic;           // "tri_channels_pic"
  TextRef tri_snapshot;               // "triSnapshot"
  char (*tri_chn_alarms)[65] = nullptr;  // "triChnAlarms": two texts
  int32_t* tri_alarms = nullptr;
  int32_t* interval = nullptr;
  int32_t* audio_id = nullptr;
  int32_t* email_interval = nullptr;
  int32_t* email_pic_enable = nullptr;
  int32_t* ptz_interval = nullptr;
  int32_t* alarmout_interval = nullptr;
  int32_t* white_interval = nullptr;
  int32_t* http_notification_interval = nullptr;
};

// The trigger fields every event record keeps under the same names; the
// caller adds the fields only some records have (enable, e-mail flag,
// snapshot channels, HTTP notification interval).
template <typename Rec>
EventActionFields common_event_fields(Rec* r) {
  EventActionFields f;
  f.chn_mask = &r->chn_mask;
  f.tri_channels = {r->tri_channels, sizeof r->tri_channels, 64};
  f.tri_channels_pic = {r->tri_channels_pic, sizeof r->tri_channels_pic, 64};
  f.tri_chn_alarms = r->tri_chn_alarms;
  f.tri_alarms = &r->tri_alarms;
  f.interval = &r->interval;
  f.audio_id = &r->audio_id;
  f.email_interval = &r->email_interval;
  f.email_pic_enable = &r->email_pic_enable;
  f.ptz_interval = &r->ptz_interval;
  f.alarmout_interval = &r->alarmout_interval;
  f.white_interval = &r->white_interval;
  return f;
}

// Channel-mask text to 32-bit mask: bit n for a '1' at position n < 32.
uint32_t chn_text_mask32(const char* text, size_t size);
// Copies at most max_chars characters of text into the field, terminated.
void set_text_field(const TextRef& f, std::string_view text);
// The same for a C text; null counts as "".
inline void set_text_field(const TextRef& f, const char* text) {
  set_text_field(f, std::string_view(text ? text : ""));
}

// Takes the present trigger keys of the dialog into the record. Returns
// true when any key was present.
bool apply_event_actions(json_object* dialog, int owner, const EventActionFields& f);
// False when a value the dialog helpers take is present but refused by
// its reader: a trigger number or PTZ row number that is "x", 1.5 or true,
// a text that is a number or a list, a schedule section or white-light row
// holding either. The helpers would keep the stored value or skip the
// value, so a page checks first and refuses the request: nothing is stored
// or sent.
bool event_dialog_readable(json_object* dialog);
// The same for one schedule member (sections of texts and a number).
bool event_schedule_readable(json_object* obj, const char* key);

// Writes each schedule, white light and HTTP block the dialog carries, and
// the PTZ rows of "ptzParams" as the rows of this event's own PTZ type and
// owner ("ptzChnId"/"ptzType" never choose other rows). Blocks that do not
// decode are skipped.
struct EventSave {
  bool ptz_written = false;  // PTZ rows were replaced (a change of the event)
  bool ok = true;            // false when a database write failed
};
EventSave save_event_tables(json_object* dialog, int owner, const EventTables& t);

// Copies every table of the event from owner src to the owners in mask;
// false when a database write failed.
bool copy_event_tables(const EventTables& t, int src, uint64_t mask);

// Reads one schedule of an owner (an unwritten one reads empty).
struct ScheduleRecord;
bool read_event_schedule(const std::string& table, int owner, ScheduleRecord* out);
// Writes one schedule; false when the database write failed.
bool write_event_schedule(const std::string& table, int owner, const ScheduleRecord& s);

// JSON of a stored schedule (general form), a white light block, an HTTP
// target and the PTZ rows; empty values when the table is not set.
json_object* event_schedule_json(const std::string& table, int owner);
// The same schedule in the extended form of the older pages.
json_object* event_schedule_json_ex(const std::string& table, int owner);
json_object* event_white_json(const EventTables& t, int owner);
json_object* event_http_json(const EventTables& t, int owner);
json_object* event_ptz_json(const EventTables& t, int owner);

// Ends a read-modify-write of an event page: commits when every write went
// through and returns true; otherwise logs, answers the error reply of the
// given kind (a lost write is never answered "OK") and returns false.
class ZrdbTransaction;
bool finish_event_writes(ZrdbTransaction& txn, bool ok, int error_kind);

// The copy mask of "copyChn"/"copyCnt", without the source and limited to
// ids below count.
uint64_t event_copy_mask(json_object* req, int src, int count);

// The id member of a request in 0..count-1 into *out; false, with the error
// reply of the given kind, when the request is null or the id absent or out
// of range.
bool take_request_id(json_object* req, const char* key, int count, int* out, int error_kind);

// Element i of an array; null when arr is not an array or too short.
json_object* json_array_at(json_object* arr, size_t i);

// Small JSON builders for replies.
void json_add(json_object* obj, const char* key, json_object* v);
