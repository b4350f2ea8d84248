#include "core/event_actions.h"

#include <cstring>
#include <memory>

#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/strutil.h"
#include "core/web_utils.h"
#include "platform/zrdb.h"

namespace {
constexpr int kMaxOwner = 63;

// Schedule records are 26 KiB; keep them off the handler's stack.
std::unique_ptr<ScheduleRecord> new_schedule() {
  std::unique_ptr<ScheduleRecord> s(new ScheduleRecord);
  std::memset(s.get(), 0, sizeof *s);
  return s;
}

bool take_int(json_object* d, const char* key, int32_t* field) {
  return field && json_take_int(d, key, field);
}

bool take_text(json_object* d, const char* key, const TextRef& f) {
  std::string_view text;
  if (!f.text || json_text_member(d, key, &text) != JSON_TEXT_OK) return false;
  set_text_field(f, text);
  return true;
}

// A value inside a dialog block: absent is fine, present must read.
bool int_ok(json_object* v) { return !v || json_value_int(v, nullptr); }
bool text_ok(json_object* v) { return !v || json_value_text(v, nullptr); }

// Every section of a schedule block: [start, end(, action)] or
// {"startTime","endTime"(,"actionType")}, texts and a number.
}  // namespace

bool event_schedule_readable(json_object* d, const char* key) {
  json_object* week = json_array_member(d, key);
  for (size_t i = 0; i < json_array_size(week); ++i) {
    json_object* day = json_object_array_get_idx(week, i);
    for (size_t e = 0; e < json_array_size(day); ++e) {
      json_object* s = json_object_array_get_idx(day, e);
      if (json_object_is_type(s, json_type_array)) {
        if (!text_ok(json_array_at(s, 0)) || !text_ok(json_array_at(s, 1)) || !int_ok(json_array_at(s, 2)))
          return false;
      } else if (json_object_is_type(s, json_type_object)) {
        if (!json_texts_readable(s, {"startTime", "endTime"}) || !json_ints_readable(s, {"actionType"})) return false;
      }
    }
  }
  return true;
}

namespace {
// White-light rows: {"chnid","mode","time"} or [chnid, mode, time].
bool white_rows_readable(json_object* d) {
  json_object* rows = json_array_member(d, "whiteInfo");
  for (size_t i = 0; i < json_array_size(rows); ++i) {
    json_object* r = json_object_array_get_idx(rows, i);
    if (json_object_is_type(r, json_type_array)) {
      for (size_t k = 0; k < 3; ++k)
        if (!int_ok(json_array_at(r, k))) return false;
    } else if (json_object_is_type(r, json_type_object) && !json_ints_readable(r, {"chnid", "mode", "time"})) {
      return false;
    }
  }
  return true;
}

// PTZ rows: objects whose members are numbers the strict reader takes.
bool ptz_rows_readable(json_object* d) {
  if (!json_has(d, "ptzParams")) return true;
  json_object* rows = json_array_member(d, "ptzParams");
  if (!rows) return false;
  for (size_t i = 0; i < json_array_size(rows); ++i) {
    json_object* r = json_object_array_get_idx(rows, i);
    if (!json_object_is_type(r, json_type_object) ||
        !json_ints_readable(r, {"acto_ptz_channel", "acto_ptz_type", "acto_ptz_preset", "acto_ptz_patrol",
                                "acto_ptz_pattern"}))
      return false;
  }
  return true;
}

bool save_schedule(json_object* d, const char* key, const std::string& table, int owner) {
  if (table.empty() || !json_member(d, key, json_type_array)) return true;
  auto s = new_schedule();
  if (get_schedule_by_json(d, key, s.get()) != 0) return true;
  return write_event_schedule(table, owner, *s);
}
}  // namespace

uint32_t chn_text_mask32(const char* text, size_t size) {
  uint32_t mask = 0;
  for (size_t n = 0; n < 32 && n < size && text[n]; ++n)
    if (text[n] == '1') mask |= 1u << n;
  return mask;
}

void set_text_field(const TextRef& f, std::string_view text) {
  if (!f.text || f.size == 0) return;
  size_t keep = f.max_chars < f.size ? f.max_chars : f.size - 1;
  copy_text(f.text, f.size, text.substr(0, keep));
}

bool event_dialog_readable(json_object* d) {
  if (!json_ints_readable(d, {"enable", "triAlarms", "interval", "audioId", "email_interval", "email_pic_enable",
                              "ptz_interval", "alarmout_interval", "white_interval", "http_notification_interval",
                              "ptzChnId", "ptzType"}) ||
      !json_texts_readable(d, {"triChannels", "tri_channels_pic", "triSnapshot"}))
    return false;
  for (const char* key : {"effective", "audible", "email", "ptz", "white", "httpSche"})
    if (!event_schedule_readable(d, key)) return false;
  json_object* alarms = json_array_member(d, "triChnAlarms");
  for (size_t i = 0; i < 2; ++i)
    if (!text_ok(json_array_at(alarms, i))) return false;
  json_object* http = json_member(d, "httpParams", json_type_object);
  if (!json_texts_readable(http, {"url", "username", "password"})) return false;
  return white_rows_readable(d) && ptz_rows_readable(d);
}

bool apply_event_actions(json_object* d, int owner, const EventActionFields& f) {
  if (!d || !json_object_is_type(d, json_type_object)) return false;
  bool any = false;
  if (f.tri_chn_alarms && json_member(d, "triChnAlarms", json_type_array)) {
    TriggerAlarmOutItem items[2];
    std::memset(items, 0, sizeof items);
    for (int i = 0; i < 2; ++i) copy_field(items[i].text, field_view(f.tri_chn_alarms[i]));
    if (get_event_chn_alarmout_by_object(owner, d, "triChnAlarms", items) == 0) {
      for (int i = 0; i < 2; ++i) copy_text(f.tri_chn_alarms[i], 65, field_view(items[i].text));
      any = true;
    }
  }
  any |= take_int(d, "enable", f.enable);
  any |= take_int(d, "triAlarms", f.tri_alarms);
  if (take_int(d, "interval", f.interval)) {
    if (f.enable_on_interval) *f.enable_on_interval = 2;
    any = true;
  }
  any |= take_int(d, "audioId", f.audio_id);
  if (take_int(d, "email_interval", f.email_interval)) {
    if (f.email_flag) *f.email_flag = 2;
    any = true;
  }
  any |= take_int(d, "email_pic_enable", f.email_pic_enable);
  any |= take_text(d, "tri_channels_pic", f.tri_channels_pic);
  any |= take_int(d, "ptz_interval", f.ptz_interval);
  any |= take_int(d, "alarmout_interval", f.alarmout_interval);
  any |= take_int(d, "white_interval", f.white_interval);
  any |= take_int(d, "http_notification_interval", f.http_notification_interval);
  if (take_text(d, "triChannels", f.tri_channels)) {
    if (f.chn_mask) *f.chn_mask = chn_text_mask32(f.tri_channels.text, f.tri_channels.size);
    any = true;
  }
  any |= take_text(d, "triSnapshot", f.tri_snapshot);
  return any;
}

EventSave save_event_tables(json_object* d, int owner, const EventTables& t) {
  EventSave r;
  if (!d || !json_object_is_type(d, json_type_object)) return r;
  r.ok &= save_schedule(d, "effective", t.effective, owner);
  r.ok &= save_schedule(d, "audible", t.audible, owner);
  r.ok &= save_schedule(d, "email", t.email, owner);
  r.ok &= save_schedule(d, "ptz", t.ptz, owner);
  r.ok &= save_schedule(d, "white", t.white_sche, owner);
  r.ok &= save_schedule(d, "httpSche", t.http_sche, owner);
  if (!t.white_params.empty() && json_member(d, "whiteInfo", json_type_array)) {
    static WhiteLedBlock blocks[kMaxOwner + 1];
    std::memset(blocks, 0, sizeof blocks);
    int rows = 0;
    if (owner >= 0 && owner <= kMaxOwner && get_white_params_by_json(owner, blocks, d, "whiteInfo", &rows) == 0)
      r.ok &= write_whiteled_params_all(ZRDB_PATH, t.white_params.c_str(), owner, &blocks[owner], rows) == 0;
  }
  if (!t.http_params.empty() && json_member(d, "httpParams", json_type_object)) {
    HttpNotifyParams p;
    std::memset(&p, 0, sizeof p);
    if (read_http_notification_params(ZRDB_PATH, t.http_params.c_str(), owner, &p) != 0) std::memset(&p, 0, sizeof p);
    if (get_http_params_by_json(owner, &p, d, "httpParams") == 0)
      r.ok &= write_http_notification_params(ZRDB_PATH, t.http_params.c_str(), owner, &p) == 0;
  }
  json_object* rows = json_member(d, "ptzParams", json_type_array);
  if (t.ptz_type >= 0 && rows) {
    // The rows belong to the event being saved: its own kind and owner,
    // whatever "ptzChnId"/"ptzType" name (a dialog never writes the rows
    // of another event or channel).
    int named_owner = owner, named_type = t.ptz_type;
    json_take_int(d, "ptzChnId", &named_owner);
    json_take_int(d, "ptzType", &named_type);
    if (named_owner != owner || named_type != t.ptz_type)
      CGI_LOG("PTZ rows named for owner %d type %d saved as owner %d type %d", named_owner, named_type, owner,
              t.ptz_type);
    if (owner >= 0 && owner <= kMaxOwner && t.ptz_type <= PTZ_TYPE_MAX)
      r.ptz_written = set_ptz_params_by_json(owner, t.ptz_type, rows) == 1;
  }
  return r;
}

bool copy_event_tables(const EventTables& t, int src, uint64_t mask) {
  if (!mask) return true;
  bool ok = true;
  for (const std::string* table : {&t.effective, &t.audible, &t.email, &t.ptz, &t.white_sche, &t.http_sche})
    if (!table->empty())
      ok &= zrdb_copy_record(ZRDB_PATH, table->c_str(), src, mask, sizeof(ScheduleRecord)) == 0;
  if (!t.white_params.empty()) ok &= copy_whiteled_params(ZRDB_PATH, t.white_params.c_str(), src, mask) == 0;
  if (!t.http_params.empty())
    ok &= copy_http_notification_params(ZRDB_PATH, t.http_params.c_str(), src, mask) == 0;
  if (t.ptz_type >= 0) ok &= copy_ptz_params_all(ZRDB_PATH, t.ptz_type, src, mask) == 0;
  return ok;
}

bool read_event_schedule(const std::string& table, int owner, ScheduleRecord* out) {
  // The store leaves the record zero unless it reads it whole.
  return zrdb_read_record(ZRDB_PATH, table.c_str(), owner, out, sizeof *out) >= 0;
}

bool write_event_schedule(const std::string& table, int owner, const ScheduleRecord& s) {
  return zrdb_write_record(ZRDB_PATH, table.c_str(), owner, &s, sizeof s) == 0;
}

namespace {
// A schedule never written (or of a table the event lacks) encodes as the
// empty one, without a zero record being made first.
json_object* stored_schedule_json(const std::string& table, int owner,
                                  json_object* (*encode)(const ScheduleRecord*)) {
  std::unique_ptr<ScheduleRecord> s(new ScheduleRecord);
  if (table.empty() || zrdb_read_stored_record(ZRDB_PATH, table.c_str(), owner, s.get(), sizeof *s) != 0)
    return encode(nullptr);
  return encode(s.get());
}
}  // namespace

json_object* event_schedule_json(const std::string& table, int owner) {
  return stored_schedule_json(table, owner, get_schedule_json_object);
}

json_object* event_schedule_json_ex(const std::string& table, int owner) {
  return stored_schedule_json(table, owner, get_schedule_json_object_ex);
}

bool finish_event_writes(ZrdbTransaction& txn, bool ok, int error_kind) {
  if (ok && txn.ok() && txn.commit() == 0) return true;
  CGI_LOG("configuration write failed");
  cgi_error_to_webserver(error_kind);
  return false;
}

json_object* event_white_json(const EventTables& t, int owner) {
  if (t.white_params.empty()) return json_object_new_array();
  return get_white_params_json_object(owner, t.white_params.c_str());
}

json_object* event_http_json(const EventTables& t, int owner) {
  return get_http_params_json_object(owner, t.http_params.c_str());
}

json_object* event_ptz_json(const EventTables& t, int owner) {
  if (t.ptz_type < 0) return json_object_new_array();
  return get_ptz_params_json_object(t.ptz_type, owner);
}

uint64_t event_copy_mask(json_object* req, int src, int count) {
  uint64_t mask = get_copy_flag_by_json(req, "copyChn", "copyCnt");
  if (count < 64) mask &= (1ULL << count) - 1;
  if (src >= 0 && src < 64) mask &= ~(1ULL << src);
  return mask;
}

json_object* json_array_at(json_object* arr, size_t i) {
  if (i >= json_array_size(arr)) return nullptr;
  return json_object_array_get_idx(arr, i);
}

void json_add(json_object* obj, const char* key, json_object* v) {
  json_object_object_add(obj, key, v ? v : json_object_new_array());
}

bool take_request_id(json_object* req, const char* key, int count, int* out, int error_kind) {
  if (req && json_id_in_range(req, key, 0, count - 1, out)) return true;
  cgi_error_to_webserver(error_kind);
  return false;
}
