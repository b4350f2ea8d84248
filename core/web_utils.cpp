#include "core/web_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/account_scope.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/strutil.h"
#include "platform/zrdb.h"

namespace {

constexpr char kPcntWledFamily[] = "peoplecnt_wled_params";
constexpr char kPcntPtzFamily[] = "peoplecnt_ptz_params";
constexpr char kAudioFileFamily[] = "audio_file_list";

bool owner_ok(int owner) { return owner >= 0 && owner < 64; }

json_object* new_text(const char* field, size_t cap) {
  return json_object_new_string_len(field, static_cast<int>(strnlen(field, cap)));
}
template <size_t N>
json_object* new_text(const char (&field)[N]) {
  return new_text(field, N);
}

// Element i of an array, or null when v is not an array or i is past its end.
json_object* elem(json_object* v, size_t i) {
  if (i >= json_array_size(v)) return nullptr;
  return json_object_array_get_idx(v, i);
}

// A JSON value as text through the text reader, cut to the field: a
// string as it is; anything it refuses (and an absent value) is "" (the
// pages check their requests first and refuse such a value).
void value_text(json_object* v, char* buf, size_t size) {
  std::string_view text;
  if (!json_value_text(v, &text)) text = {};
  copy_text(buf, size, text);
}

// A JSON value as an integer through the strict reader; anything it
// refuses (and an absent value) is 0.
int value_int(json_object* v) {
  int n = 0;
  return json_value_int(v, &n) ? n : 0;
}

// ---- Schedules ---------------------------------------------------------------------------

// Adds a member under a literal key: json-c neither copies the key nor
// looks for one already there.
void add_member(json_object* o, const char* key, json_object* v) {
  json_object_object_add_ex(o, key, v, JSON_C_OBJECT_ADD_KEY_IS_NEW | JSON_C_OBJECT_ADD_CONSTANT_KEY);
}

// What one section of the JSON form shows.
struct SectionView {
  std::string_view start, end;
  int32_t action = 0;
  bool same(const SectionView& o) const { return start == o.start && end == o.end && action == o.action; }
};

json_object* new_section(const SectionView& v, bool with_action) {
  json_object* o = json_object_new_object();
  add_member(o, "startTime", json_object_new_string_len(v.start.data(), static_cast<int>(v.start.size())));
  add_member(o, "endTime", json_object_new_string_len(v.end.data(), static_cast<int>(v.end.size())));
  if (with_action) add_member(o, "actionType", json_object_new_int(v.action));
  return o;
}

// A week is mostly a few distinct sections (the empty one above all) and
// alike days: each distinct section and day is built once and the others
// refer to it. The tree prints the same as one built node by node, at a
// fraction of the cost; readers only read it.
json_object* encode_schedule(const ScheduleRecord* sched, bool ipc) {
  constexpr int kCells = SCHEDULE_DAYS * SCHEDULE_JSON_SECTIONS;
  SectionView views[kCells];
  json_object* built[kCells];
  int distinct = 0;
  int cell[SCHEDULE_DAYS][SCHEDULE_JSON_SECTIONS];
  for (int d = 0; d < SCHEDULE_DAYS; ++d) {
    for (int e = 0; e < SCHEDULE_JSON_SECTIONS; ++e) {
      SectionView v;
      if (sched && !(ipc && sched->days[d].valid == 0)) {
        const ScheduleSection& s = sched->days[d].sections[e];
        v.start = field_view(s.start_time);
        v.end = field_view(s.end_time);
      }
      if (!ipc && sched) v.action = sched->days[d].sections[e].action_type;
      int i = 0;
      while (i < distinct && !views[i].same(v)) ++i;
      if (i == distinct) {
        views[i] = v;
        built[i] = new_section(v, !ipc);
        ++distinct;
      }
      cell[d][e] = i;
    }
  }
  json_object* week = json_object_new_array();
  json_object* days[SCHEDULE_DAYS];
  for (int d = 0; d < SCHEDULE_DAYS; ++d) {
    int k = 0;
    while (k < d && std::memcmp(cell[k], cell[d], sizeof cell[d]) != 0) ++k;
    if (k < d) {
      days[d] = days[k];
      json_object_array_add(week, json_object_get(days[k]));
      continue;
    }
    days[d] = json_object_new_array();
    for (int e = 0; e < SCHEDULE_JSON_SECTIONS; ++e) json_object_array_add(days[d], json_object_get(built[cell[d][e]]));
    json_object_array_add(week, days[d]);
  }
  // Every distinct section is in some day now; the builder's own
  // references go.
  for (int i = 0; i < distinct; ++i) json_object_put(built[i]);
  return week;
}

// Fills one section from an entry: [start, end(, action type)] or, as the
// encoder writes it, {"startTime","endTime"(,"actionType")}.
void decode_section(json_object* entry, ScheduleSection* s, bool with_action) {
  if (json_object_is_type(entry, json_type_array)) {
    value_text(elem(entry, 0), s->start_time, sizeof s->start_time);
    value_text(elem(entry, 1), s->end_time, sizeof s->end_time);
    if (with_action) s->action_type = value_int(elem(entry, 2));
  } else if (json_object_is_type(entry, json_type_object)) {
    json_get_text(entry, "startTime", s->start_time);
    json_get_text(entry, "endTime", s->end_time);
    if (with_action) s->action_type = json_get_int(entry, "actionType");
  }
}

int decode_schedule(json_object* req, const char* member, ScheduleRecord* sched, bool ipc) {
  if (!req || !member || !sched) return -1;
  json_object* week = json_array_member(req, member);
  if (!week) return -1;
  std::memset(sched, 0, sizeof *sched);
  const int days = ipc ? SCHEDULE_IPC_DAYS : SCHEDULE_DAYS;
  const int entries = ipc ? SCHEDULE_IPC_SECTIONS : SCHEDULE_JSON_SECTIONS;
  for (int d = 0; d < days; ++d) {
    json_object* day = elem(week, static_cast<size_t>(d));
    for (int e = 0; e < entries; ++e) {
      json_object* entry = elem(day, static_cast<size_t>(e));
      if (entry) decode_section(entry, &sched->days[d].sections[e], !ipc);
    }
    if (ipc) sched->days[d].valid = 1;
  }
  return 0;
}

// ---- White LED -------------------------------------------------------------------------------

json_object* encode_white_rows(const WhiteLedRow* rows, int n) {
  json_object* arr = json_object_new_array();
  for (int i = 0; i < n; ++i) {
    json_object* o = json_object_new_object();
    json_object_object_add(o, "chnid", json_object_new_int(rows[i].chnid));
    json_object_object_add(o, "mode", json_object_new_int(rows[i].mode));
    json_object_object_add(o, "time", json_object_new_int(rows[i].time));
    json_object_array_add(arr, o);
  }
  return arr;
}

// Fills rows 0 upwards from the member's elements, each {"chnid","mode",
// "time"} or [chnid, mode, time]; stops at the first element that is
// neither (or whose camera channel the strict reader refuses), and after 8
// rows. Returns the number of rows filled.
int decode_white_rows(int owner, json_object* list, WhiteLedRow* rows) {
  size_t n = json_array_size(list);
  int filled = 0;
  for (size_t i = 0; i < n && i < static_cast<size_t>(WHITE_LED_ROWS); ++i) {
    json_object* e = json_object_array_get_idx(list, i);
    WhiteLedRow& r = rows[i];
    json_object* chnid = nullptr;
    if (json_object_is_type(e, json_type_object)) {
      json_object_object_get_ex(e, "chnid", &chnid);
      r.mode = json_get_int(e, "mode");
      r.time = json_get_int(e, "time");
    } else if (json_object_is_type(e, json_type_array)) {
      chnid = elem(e, 0);
      r.mode = value_int(elem(e, 1));
      r.time = value_int(elem(e, 2));
    } else {
      break;
    }
    r.chnid = 0;
    if (chnid && !json_value_int(chnid, &r.chnid)) {
      r = WhiteLedRow{};
      break;
    }
    r.owner_id = owner;
    ++filled;
  }
  return filled;
}

// The number of rows an owner keeps, stored beside its block: a block is
// 8 rows whatever it holds, and a row {camera 0, mode 0, time 0} of owner 0
// is all zeros, so the rows in use cannot be told from the bytes.
std::string white_count_family(const char* table) { return std::string(table) + "_rows"; }

// The stored count (bounded to 0..8); a block written before counts were
// kept counts its leading rows that are not all zero.
int read_white_count(const char* db, const char* table, int owner, const WhiteLedRow* rows) {
  int32_t n = 0;
  int rc = zrdb_read_record(db, white_count_family(table).c_str(), owner, &n, sizeof n);
  if (rc == 0) return n < 0 ? 0 : n > WHITE_LED_ROWS ? WHITE_LED_ROWS : n;
  return white_led_rows_in_use(rows, WHITE_LED_ROWS);
}

int write_white_count(const char* db, const char* table, int owner, int rows) {
  int32_t n = rows < 0 ? 0 : rows > WHITE_LED_ROWS ? WHITE_LED_ROWS : rows;
  return zrdb_write_record(db, white_count_family(table).c_str(), owner, &n, sizeof n);
}

void fix_http_owner(void* rec, int target) { static_cast<HttpNotifyParams*>(rec)->chn_id = target; }

void fix_ptz_owner(void* rec, int target) {
  PtzActionTable* t = static_cast<PtzActionTable*>(rec);
  for (PtzActionRow& r : t->rows)
    if (r.ptz_channel > 0) r.owner_id = target;
}

std::string ptz_family(int ptz_type) { return "ptz_params_" + std::to_string(ptz_type); }

bool ptz_type_ok(int t) { return t >= 0 && t <= PTZ_TYPE_MAX; }

bool table_ok(const char* table) { return table && *table; }

}  // namespace

// ---- Store operations -------------------------------------------------------------------------

int white_led_rows_in_use(const WhiteLedRow* rows, int n) {
  static const WhiteLedRow zero{};
  int used = 0;
  while (rows && used < n && used < WHITE_LED_ROWS && std::memcmp(&rows[used], &zero, sizeof zero) != 0) ++used;
  return used;
}

int read_whiteled_params(const char* db, const char* table, int owner, WhiteLedBlock* block, int* rows) {
  if (rows) *rows = 0;
  if (!block) return -1;
  std::memset(block, 0, sizeof *block);
  if (!table_ok(table)) return -1;
  if (zrdb_read_record(db, table, owner, block, sizeof *block) < 0) return -1;
  if (rows) *rows = read_white_count(db, table, owner, block->rows);
  return 0;
}

int write_whiteled_params_all(const char* db, const char* table, int owner, const WhiteLedBlock* block, int rows) {
  if (!block || !table_ok(table)) return -1;
  ZrdbTransaction txn(db);
  if (zrdb_write_record(db, table, owner, block, sizeof *block) != 0 ||
      write_white_count(db, table, owner, rows) != 0)
    return -1;
  return txn.commit() == 0 ? 0 : -1;
}

int copy_whiteled_params(const char* db, const char* table, int src, uint64_t mask) {
  if (!table_ok(table) || !owner_ok(src)) return -1;
  ZrdbTransaction txn(db);
  WhiteLedBlock block{};
  int rows = 0;
  if (read_whiteled_params(db, table, src, &block, &rows) != 0) return -1;
  for (int ch = 0; ch < 64; ++ch) {
    if (!(mask & (1ULL << ch)) || ch == src) continue;
    WhiteLedBlock copy = block;
    for (int i = 0; i < rows; ++i) copy.rows[i].owner_id = ch;
    if (write_whiteled_params_all(db, table, ch, &copy, rows) != 0) return -1;
  }
  return txn.commit() == 0 ? 0 : -1;
}

int read_peoplecnt_wled_params(const char* db, int pcnt_id, WhiteLedRow rows[WHITE_LED_ROWS], int* count) {
  if (count) *count = 0;
  if (!rows) return -1;
  if (zrdb_read_record(db, kPcntWledFamily, pcnt_id, rows, sizeof(WhiteLedBlock)) < 0) return -1;
  if (count) *count = read_white_count(db, kPcntWledFamily, pcnt_id, rows);
  return 0;
}

int write_peoplecnt_wled_params(const char* db, int pcnt_id, const WhiteLedRow rows[WHITE_LED_ROWS], int count) {
  if (!rows) return -1;
  ZrdbTransaction txn(db);
  if (zrdb_write_record(db, kPcntWledFamily, pcnt_id, rows, sizeof(WhiteLedBlock)) != 0 ||
      write_white_count(db, kPcntWledFamily, pcnt_id, count) != 0)
    return -1;
  return txn.commit() == 0 ? 0 : -1;
}

int read_http_notification_params(const char* db, const char* table, int owner, HttpNotifyParams* rec) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  if (!table_ok(table)) return -1;
  return zrdb_read_record(db, table, owner, rec, sizeof *rec) < 0 ? -1 : 0;
}

int write_http_notification_params(const char* db, const char* table, int owner, const HttpNotifyParams* rec) {
  if (!rec || !table_ok(table)) return -1;
  return zrdb_write_record(db, table, owner, rec, sizeof *rec);
}

int copy_http_notification_params(const char* db, const char* table, int src, uint64_t mask) {
  if (!table_ok(table)) return -1;
  return zrdb_copy_record_fix(db, table, src, mask, sizeof(HttpNotifyParams), fix_http_owner);
}

int read_ptz_params(const char* db, int ptz_type, int owner, PtzActionTable* table) {
  if (!table) return -1;
  std::memset(table, 0, sizeof *table);
  if (!ptz_type_ok(ptz_type) || !owner_ok(owner)) return -1;
  return zrdb_read_record(db, ptz_family(ptz_type).c_str(), owner, table, sizeof *table) < 0 ? -1 : 0;
}

int write_ptz_params_all(const char* db, int ptz_type, int owner, const PtzActionTable* table) {
  if (!table || !ptz_type_ok(ptz_type) || !owner_ok(owner)) return -1;
  return zrdb_write_record(db, ptz_family(ptz_type).c_str(), owner, table, sizeof *table);
}

int copy_ptz_params_all(const char* db, int ptz_type, int src, uint64_t mask) {
  if (!ptz_type_ok(ptz_type) || !owner_ok(src)) return -1;
  return zrdb_copy_record_fix(db, ptz_family(ptz_type).c_str(), src, mask, sizeof(PtzActionTable), fix_ptz_owner);
}

int read_peoplecnt_ptz_params(const char* db, int owner, PeopleCntPtzTable* table) {
  if (!table) return -1;
  std::memset(table, 0, sizeof *table);
  if (!owner_ok(owner)) return -1;
  return zrdb_read_record(db, kPcntPtzFamily, owner, table, sizeof *table) < 0 ? -1 : 0;
}

int write_peoplecnt_ptz_params_ex(const char* db, int owner, const PtzActionTable* table) {
  if (!table || !owner_ok(owner)) return -1;
  PeopleCntPtzTable small{};
  std::memcpy(small.rows, table->rows, sizeof small.rows);
  return zrdb_write_record(db, kPcntPtzFamily, owner, &small, sizeof small);
}

int read_audio_file_list(const char* db, AudioFileList* list) {
  if (!list) return -1;
  return zrdb_read_record(db, kAudioFileFamily, 0, list, sizeof *list) < 0 ? -1 : 0;
}

int write_audio_file_list(const char* db, const AudioFileList* list) {
  if (!list) return -1;
  return zrdb_write_record(db, kAudioFileFamily, 0, list, sizeof *list);
}

// ---- Schedules -------------------------------------------------------------------------------------

json_object* get_schedule_json_object(const ScheduleRecord* sched) { return encode_schedule(sched, false); }

int get_schedule_by_json(json_object* req, const char* member, ScheduleRecord* sched) {
  return decode_schedule(req, member, sched, false);
}

json_object* get_schedule_json_object_ex(const ScheduleRecord* sched) { return encode_schedule(sched, false); }

int get_schedule_by_json_ex(json_object* req, const char* member, ScheduleRecord* sched) {
  return decode_schedule(req, member, sched, false);
}

json_object* get_schedule_json_object_ipc(const ScheduleRecord* sched) { return encode_schedule(sched, true); }

int get_schedule_by_json_ipc(json_object* req, const char* member, ScheduleRecord* sched) {
  return decode_schedule(req, member, sched, true);
}

// ---- Trigger alarm outputs -----------------------------------------------------------------------------

json_object* get_event_chn_alarmout_object(const char* text0, const char* text1) {
  json_object* arr = json_object_new_array();
  for (const char* t : {text0, text1})
    json_object_array_add(arr, t ? new_text(t, ALARMOUT_TEXT_MAX + 1) : json_object_new_string(""));
  return arr;
}

int get_event_chn_alarmout_by_object(int owner, json_object* req, const char* member,
                                     TriggerAlarmOutItem items[2]) {
  if (!req || !member || !items) return -1;
  json_object* arr = json_array_member(req, member);
  if (!arr) return -1;
  for (int i = 0; i < 2; ++i) {
    json_object* e = elem(arr, static_cast<size_t>(i));
    if (!e) continue;
    items[i].owner_id = owner;
    items[i].index = i;
    value_text(e, items[i].text, sizeof items[i].text);
  }
  return 0;
}

// ---- White LED ------------------------------------------------------------------------------------------

json_object* get_white_params_json_object(int owner, const char* table) {
  WhiteLedBlock block{};
  int rows = 0;
  if (read_whiteled_params(ZRDB_PATH, table, owner, &block, &rows) != 0) return json_object_new_array();
  return encode_white_rows(block.rows, rows);
}

int get_white_params_by_json(int owner, WhiteLedBlock* blocks, size_t nblocks, json_object* req,
                             const char* member, int* rows) {
  if (!blocks || !req || !member || owner < 0 || static_cast<size_t>(owner) >= nblocks) return -1;
  json_object* list = json_array_member(req, member);
  if (!list) return -1;
  std::memset(&blocks[owner], 0, sizeof blocks[owner]);
  const int n = decode_white_rows(owner, list, blocks[owner].rows);
  if (rows) *rows = n;
  return 0;
}

json_object* get_pcnt_white_params_json_object(int pcnt_id) {
  WhiteLedRow rows[WHITE_LED_ROWS] = {};
  int count = 0;
  if (read_peoplecnt_wled_params(ZRDB_PATH, pcnt_id, rows, &count) != 0) return json_object_new_array();
  return encode_white_rows(rows, count);
}

int get_pcnt_white_params_by_json(int pcnt_id, WhiteLedRow rows[WHITE_LED_ROWS], json_object* req,
                                  const char* member, int* count) {
  if (!rows || !req || !member) return -1;
  json_object* list = json_array_member(req, member);
  if (!list) return -1;
  // Cleared like the event blocks: rows left out of the request are removed.
  std::memset(rows, 0, sizeof(WhiteLedRow) * WHITE_LED_ROWS);
  const int n = decode_white_rows(pcnt_id, list, rows);
  if (count) *count = n;
  return 0;
}

// ---- HTTP notification ------------------------------------------------------------------------------------

json_object* get_http_params_json_object(int owner, const char* table) {
  HttpNotifyParams rec{};
  bool stored = read_http_notification_params(ZRDB_PATH, table, owner, &rec) == 0;
  if (!stored) std::memset(&rec, 0, sizeof rec);
  json_object* o = json_object_new_object();
  json_object_object_add(o, "chnId", json_object_new_int(stored && rec.chn_id ? rec.chn_id : owner));
  json_object_object_add(o, "url", new_text(rec.url));
  json_object_object_add(o, "username", new_text(rec.username));
  const std::string_view password = reply_secret(rec.password);
  json_object_object_add(o, "password", json_object_new_string_len(password.data(), static_cast<int>(password.size())));
  return o;
}

int get_http_params_by_json(int owner, HttpNotifyParams* rec, json_object* req, const char* member) {
  if (!rec || !req || !member) return -1;
  json_object* o = json_member(req, member, json_type_object);
  if (!o) return -1;
  char stored_password[sizeof rec->password];
  std::memcpy(stored_password, rec->password, sizeof stored_password);
  std::memset(rec, 0, sizeof *rec);
  rec->chn_id = owner;
  json_get_text(o, "url", rec->url);
  json_get_text(o, "username", rec->username);
  if (secret_kept(o, "password"))
    std::memcpy(rec->password, stored_password, sizeof rec->password);
  else
    json_get_text(o, "password", rec->password);
  return 0;
}

// ---- PTZ actions ---------------------------------------------------------------------------------------------

json_object* get_ptz_params_json_object(int ptz_type, int owner) {
  PtzActionTable table{};
  int n = 0;
  if (ptz_type == PTZ_TYPE_PEOPLE_CNT) {
    PeopleCntPtzTable small{};
    if (read_peoplecnt_ptz_params(ZRDB_PATH, owner, &small) == 0) {
      std::memcpy(table.rows, small.rows, sizeof small.rows);
      n = PCNT_PTZ_ROWS;
    }
  } else if (read_ptz_params(ZRDB_PATH, ptz_type, owner, &table) == 0) {
    n = PTZ_ACTION_ROWS;
  }
  json_object* arr = json_object_new_array();
  for (int i = 0; i < n; ++i) {
    const PtzActionRow& r = table.rows[i];
    if (r.ptz_channel <= 0) continue;
    json_object* o = json_object_new_object();
    json_object_object_add(o, "acto_ptz_channel", json_object_new_int(r.ptz_channel));
    json_object_object_add(o, "acto_ptz_type", json_object_new_int(r.ptz_type));
    json_object_object_add(o, "acto_ptz_preset", json_object_new_int(r.preset));
    json_object_object_add(o, "acto_ptz_patrol", json_object_new_int(r.patrol));
    json_object_array_add(arr, o);
  }
  return arr;
}

int get_ptz_params_by_json(int owner, int ptz_type, json_object* arr, PtzActionTable* table) {
  if (!owner_ok(owner) || !ptz_type_ok(ptz_type) || !table || !arr || !json_object_is_type(arr, json_type_array))
    return -1;
  std::memset(table, 0, sizeof *table);
  size_t n = json_array_size(arr);
  for (size_t i = 0; i < n && i < static_cast<size_t>(PTZ_ACTION_ROWS); ++i) {
    json_object* e = json_object_array_get_idx(arr, i);
    PtzActionRow& r = table->rows[i];
    r.owner_id = owner;
    r.ptz_channel = json_get_int(e, "acto_ptz_channel");
    r.ptz_type = json_get_int(e, "acto_ptz_type");
    r.preset = json_get_int(e, "acto_ptz_preset");
    r.patrol = json_get_int(e, "acto_ptz_patrol");
    r.pattern = json_get_int(e, "acto_ptz_pattern");
  }
  return 0;
}

namespace {
// A page shows a PTZ row without its pattern and sends it back so: a row
// without "acto_ptz_pattern" keeps the pattern of the stored row of the same
// PTZ channel (each stored row lends its pattern once).
void keep_stored_patterns(int owner, int ptz_type, json_object* arr, PtzActionTable* table) {
  PtzActionTable stored{};
  int n = PTZ_ACTION_ROWS;
  if (ptz_type == PTZ_TYPE_PEOPLE_CNT) {
    PeopleCntPtzTable small{};
    if (read_peoplecnt_ptz_params(ZRDB_PATH, owner, &small) != 0) return;
    std::memcpy(stored.rows, small.rows, sizeof small.rows);
    n = PCNT_PTZ_ROWS;
  } else if (read_ptz_params(ZRDB_PATH, ptz_type, owner, &stored) != 0) {
    return;
  }
  bool lent[PTZ_ACTION_ROWS] = {};
  const size_t rows = json_array_size(arr);
  for (size_t i = 0; i < rows && i < static_cast<size_t>(PTZ_ACTION_ROWS); ++i) {
    PtzActionRow& r = table->rows[i];
    if (r.ptz_channel <= 0 || json_has(json_object_array_get_idx(arr, i), "acto_ptz_pattern")) continue;
    for (int k = 0; k < n; ++k) {
      if (lent[k] || stored.rows[k].ptz_channel != r.ptz_channel) continue;
      r.pattern = stored.rows[k].pattern;
      lent[k] = true;
      break;
    }
  }
}
}  // namespace

int set_ptz_params_by_json(int owner, int ptz_type, json_object* arr) {
  PtzActionTable table{};
  if (get_ptz_params_by_json(owner, ptz_type, arr, &table) != 0) return 0;
  keep_stored_patterns(owner, ptz_type, arr, &table);
  int rc = ptz_type == PTZ_TYPE_PEOPLE_CNT ? write_peoplecnt_ptz_params_ex(ZRDB_PATH, owner, &table)
                                           : write_ptz_params_all(ZRDB_PATH, ptz_type, owner, &table);
  return rc == 0 ? 1 : 0;
}

// ---- Copy mask and audio files -----------------------------------------------------------------------------------

uint64_t get_copy_flag_by_json(json_object* req, const char* list_member, const char* count_member) {
  if (!req || !list_member || !count_member) return 0;
  int count = json_get_int(req, count_member);
  if (count <= 0) return 0;
  json_object* list = json_array_member(req, list_member);
  size_t n = json_array_size(list);
  if (static_cast<size_t>(count) < n) n = static_cast<size_t>(count);
  uint64_t mask = 0;
  for (size_t i = 0; i < n; ++i) {
    json_object* e = json_object_array_get_idx(list, i);
    int ch = -1;
    if (json_object_is_type(e, json_type_int)) {
      int64_t v = json_object_get_int64(e);
      ch = v >= 0 && v < 64 ? static_cast<int>(v) : -1;
    } else if (json_object_is_type(e, json_type_string)) {
      if (!parse_int_strict(json_object_get_string(e), &ch)) ch = -1;
    }
    if (ch >= 0 && ch < 64) mask |= 1ULL << ch;
  }
  return mask;
}

uint32_t get_audio_file_id_mask() {
  AudioFileList list{};
  if (read_audio_file_list(ZRDB_PATH, &list) != 0) return 0;
  uint32_t mask = 0;
  for (int i = 0; i < AUDIO_FILE_ENTRIES; ++i)
    if (list.entries[i].used == 1) mask |= 1u << i;
  return mask;
}

// ---- Whole-file helpers -------------------------------------------------------------------------------------------

char* zr_get_file_data(const char* path, size_t* len) {
  if (len) *len = 0;
  if (!path || !len) return nullptr;
  FILE* f = std::fopen(path, "rb");
  if (!f) return nullptr;
  char* buf = nullptr;
  long size = -1;
  struct stat st {};
  if (::fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && std::fseek(f, 0, SEEK_END) == 0)
    size = std::ftell(f);
  if (size >= 0 && std::fseek(f, 0, SEEK_SET) == 0) {
    // One spare byte so an empty file still gives a buffer to release.
    buf = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1));
    if (buf && std::fread(buf, 1, static_cast<size_t>(size), f) != static_cast<size_t>(size)) {
      std::free(buf);
      buf = nullptr;
    }
  }
  std::fclose(f);
  if (!buf) {
    CGI_LOG("cannot read %s", path);
    return nullptr;
  }
  *len = static_cast<size_t>(size);
  return buf;
}

int zr_wirte_file_data(const char* path, const void* data, size_t len) {
  if (!path || (!data && len)) return -1;
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    CGI_LOG("cannot create %s: %s", path, std::strerror(errno));
    return -1;
  }
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < len) {
    ssize_t n = ::write(fd, p + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  int rc = ::close(fd);
  if (done != len || rc != 0) {
    CGI_LOG("cannot write %s: %zu of %zu bytes", path, done, len);
    return -1;
  }
  return 0;
}
