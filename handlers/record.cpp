// Record schedules and holidays: the holiday list, each channel's weekly
// recording schedule and recording mode, pre- and post-recording, and the
// two recording flags kept in the camera record (recording stream, ANR).
// Request table whose first name is "/6030".
#include <climits>
#include <cstring>
#include <memory>

#include "core/camera_record.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_reply.h"
#include "core/channel_list.h"
#include "core/record_row.h"
#include "core/strutil.h"
#include "core/table_columns.h"
#include "handlers/modules.h"
#include "platform/zrdb.h"

// ---- Core daemon records --------------------------------------------------------

constexpr int REQ_HOLIDAY_CHANGED = 1401;
constexpr int REQ_RECORD_CHANGED = 1407;
constexpr int REQ_SCHEDULE_COPIED = 1411;
constexpr int REQ_RECORD_MODE_CHANGED = 1413;
constexpr int REQ_RECORD_ADVANCED = 1310;
constexpr int REQ_CAMERA_ANR = 2285;
constexpr int REQ_ANR_SUPPORT = 2286;
constexpr int REQ_STREAM_CHANNELS = 3218;
constexpr int REPLY_CAMERA_ANR = 7285;
constexpr int REPLY_ANR_SUPPORT = 7286;
constexpr int REPLY_STREAM_CHANNELS = 8218;

constexpr int64_t LOG_SUB_RECORD = 204;
constexpr int LOG_PARAM_RECORD_MODES = 905;
constexpr int LOG_PARAM_RECORD_ADVANCED = 906;
constexpr int LOG_PARAM_RECORD_SCHEDULE = 907;
constexpr int LOG_PARAM_HOLIDAY = 920;

// Channels whose pre/post recording changed (request 1310).
struct RecordChannelList {
  int32_t channels[64];
  int32_t count;
};
static_assert(sizeof(RecordChannelList) == 260, "channel list is 260 bytes");

// Cameras whose ANR flag changed (request 2285).
struct CameraAnrSet {
  int32_t channels[64];
  int32_t count;
  int32_t camAnr;
};
static_assert(sizeof(CameraAnrSet) == 264, "ANR set is 264 bytes");
static_assert(offsetof(CameraAnrSet, camAnr) == 260, "ANR value at 260");

// The cameras' answers to it (reply 7285).
struct CameraAnrResult {
  int32_t channels[64];
  int32_t results[64];
  int32_t count;
  int32_t flag;
};
static_assert(sizeof(CameraAnrResult) == 520, "ANR result is 520 bytes");
static_assert(offsetof(CameraAnrResult, count) == 512, "result count at 512");

// ANR support of one camera (reply 7286).
struct AnrSupport {
  int32_t channel;
  int32_t support;
};
static_assert(sizeof(AnrSupport) == 8, "ANR support is 8 bytes");

// Primary and secondary stream channel lists (reply 8218).
struct StreamChannels {
  int32_t primary[64];
  int32_t secondary[64];
  int32_t size;
};
static_assert(sizeof(StreamChannels) == 516, "stream channel lists are 516 bytes");

// ---- Stored holidays --------------------------------------------------------------

constexpr int HOLIDAYS = 32;
constexpr int HOLIDAY_DATE_FIELDS = 10;

struct HolidayRecord {
  int32_t id;
  char name[256];
  int32_t enable;  // 0 or 1
  int32_t type;    // not negative
  // startYear, startMon, startMDay, startMWeek, startWDay, then the same
  // five for the end, in the order of kHolidayDateKeys.
  int32_t dates[HOLIDAY_DATE_FIELDS];
};
static_assert(sizeof(HolidayRecord) == 308, "holiday record is 308 bytes");
static_assert(offsetof(HolidayRecord, enable) == 260, "enable at 260");
static_assert(offsetof(HolidayRecord, dates) == 268, "dates at 268");

// read_holiday / write_holiday / read_holidays
ZRDB_RECORD_FAMILY(holiday, HolidayRecord, "holiday")

void on_record_ipc_callback(void* ctx, void* header, void* payload);

namespace {

const char* const kHolidayDateKeys[HOLIDAY_DATE_FIELDS] = {
    "startYear", "startMon", "startMDay", "startMWeek", "startWDay",
    "endYear",   "endMon",   "endMDay",   "endMWeek",   "endWDay",
};

// A request text naming one channel: a decimal number of a configured channel.
bool take_text_channel(const char* text, int* ch) {
  return text && parse_int_strict(text, ch) && channel_configured(*ch, configured_camera_count());
}

// The record row of a channel; its id is the channel whatever the row holds.
RecordRow load_record_row(int ch) {
  RecordRow row;
  std::memset(&row, 0, sizeof row);
  read_record(ZRDB_PATH, &row, ch);
  row.id = ch;
  return row;
}

CameraRecord load_camera(int ch) {
  CameraRecord cam;
  std::memset(&cam, 0, sizeof cam);
  read_camera(ZRDB_PATH, &cam, ch);
  return cam;
}

// ---- Reply writers ------------------------------------------------------------------

// Each writer reads a payload of at least its record's size (shorter ones
// get the JSON error reply from the dispatcher).

int on_set_camera_anr_cb(const uint8_t* data, size_t) {
  CameraAnrResult res;
  std::memcpy(&res, data, sizeof res);
  const int n = res.count < 0 ? 0 : res.count > 64 ? 64 : res.count;
  bool failed = false;
  for (int i = 0; i < n; ++i) failed |= res.results[i] != 0;
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "resp", res.flag != 0 && failed ? -1 : 0);
  cgi_write_json(out.get());
  return 1;
}

int on_get_anr_support_cb(const uint8_t* data, size_t) {
  AnrSupport s;
  std::memcpy(&s, data, sizeof s);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "chnid", s.channel);
  json_add_int(out.get(), "support", s.support);
  cgi_write_json(out.get());
  return 1;
}

int on_get_stream_channels_cb(const uint8_t* data, size_t) {
  StreamChannels s;
  std::memcpy(&s, data, sizeof s);
  const int n = s.size < 0 ? 0 : s.size > 64 ? 64 : s.size;
  JsonPtr out(json_object_new_object());
  json_object* primary = json_object_new_array();
  json_object* secondary = json_object_new_array();
  for (int i = 0; i < n; ++i) {
    json_object_array_add(primary, json_object_new_int(s.primary[i]));
    json_object_array_add(secondary, json_object_new_int(s.secondary[i]));
  }
  json_object_object_add(out.get(), "primary", primary);
  json_object_object_add(out.get(), "secondary", secondary);
  json_add_int(out.get(), "size", n);
  cgi_write_json(out.get());
  return 1;
}

// ---- Holidays -------------------------------------------------------------------------

void on_get_holiday_info(char*) {
  auto list = std::make_unique<HolidayRecord[]>(HOLIDAYS);
  int n = 0;
  read_holidays(ZRDB_PATH, list.get(), HOLIDAYS, &n);
  JsonPtr out(json_object_new_object());
  json_object* arr = json_object_new_array();
  for (int i = 0; i < n; ++i) {
    const HolidayRecord& h = list[i];
    json_object* o = json_object_new_object();
    json_add_int(o, "id", h.id);
    json_add_int(o, "enable", h.enable);
    json_add_field(o, "name", h.name);
    json_add_int(o, "type", h.type);
    for (int k = 0; k < HOLIDAY_DATE_FIELDS; ++k) json_add_int(o, kHolidayDateKeys[k], h.dates[k]);
    json_object_array_add(arr, o);
  }
  json_object_object_add(out.get(), "holidays", arr);
  cgi_write_json(out.get());
}

// "id" 0..31, "enable" 0 or 1 and "type" not negative must be present; the
// date fields may be absent (0) but not other than numbers.
bool check_holiday_info(json_object* req, HolidayRecord* h) {
  if (!json_strict_int_in(req, "id", 0, HOLIDAYS - 1, &h->id) ||
      !json_strict_int_in(req, "enable", 0, 1, &h->enable) || !json_strict_int_in(req, "type", 0, INT_MAX, &h->type))
    return false;
  for (int k = 0; k < HOLIDAY_DATE_FIELDS; ++k)
    if (!json_plain_int(req, kHolidayDateKeys[k], &h->dates[k])) return false;
  return json_texts_readable(req, {"name"});
}

void on_set_holiday_info(char* text) {
  JsonPtr req(parse_request_object(text));
  HolidayRecord h;
  std::memset(&h, 0, sizeof h);
  if (!req || !check_holiday_info(req.get(), &h)) return;
  json_get_text(req.get(), "name", h.name);
  if (write_holiday(ZRDB_PATH, &h, h.id) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core(REQ_HOLIDAY_CHANGED, nullptr, 0);
  log_operation(LOG_SUB_RECORD, LOG_PARAM_HOLIDAY, h.id + 1);
  cgi_reply_ok();
}

// ---- Recording schedules ----------------------------------------------------------------

json_object* record_week_json(const RecordSchedule& s) {
  json_object* week = json_object_new_array();
  for (const RecordScheduleDay& d : s.days) {
    json_object* day = json_object_new_object();
    json_add_int(day, "wholedayEnable", d.wholedayEnable);
    json_add_int(day, "wholedayActionType", d.wholedayActionType);
    json_object* plans = json_object_new_array();
    for (const ScheduleSection& p : d.plans) {
      json_object* o = json_object_new_object();
      json_add_field(o, "startTime", p.start_time);
      json_add_field(o, "endTime", p.end_time);
      json_add_int(o, "actionType", p.action_type);
      json_object_array_add(plans, o);
    }
    json_object_object_add(day, "plans", plans);
    json_object_array_add(week, day);
  }
  return week;
}

void on_get_record_info(char* text) {
  int ch = 0;
  if (!take_text_channel(text, &ch)) return;
  auto sched = std::make_unique<RecordSchedule>();
  read_record_schedule(ZRDB_PATH, sched.get(), ch);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "id", load_record_row(ch).id);
  json_object_object_add(out.get(), "schedule", record_week_json(*sched));
  cgi_write_json(out.get());
}

// A time text of a plan: a JSON text, or absent (empty). False for others.
bool take_plan_time(json_object* v, char (&field)[32]) {
  if (!v) return true;
  if (!json_object_is_type(v, json_type_string)) return false;
  copy_field(field, json_object_get_string(v));
  return true;
}

// A plan: [startTime, endTime, actionType] as the page sends it, or the
// object form "/6040" answers with (so a schedule read back can be sent
// again). False for anything else.
bool decode_plan(json_object* v, ScheduleSection* p) {
  if (json_object_is_type(v, json_type_array)) {
    json_object* type = json_array_size(v) > 2 ? json_object_array_get_idx(v, 2) : nullptr;
    return take_plan_time(json_array_size(v) > 0 ? json_object_array_get_idx(v, 0) : nullptr, p->start_time) &&
           take_plan_time(json_array_size(v) > 1 ? json_object_array_get_idx(v, 1) : nullptr, p->end_time) &&
           (!type || json_value_int(type, &p->action_type));
  }
  if (json_object_is_type(v, json_type_object)) {
    json_object* start = nullptr;
    json_object* end = nullptr;
    json_object_object_get_ex(v, "startTime", &start);
    json_object_object_get_ex(v, "endTime", &end);
    return take_plan_time(start, p->start_time) && take_plan_time(end, p->end_time) &&
           json_plain_int(v, "actionType", &p->action_type);
  }
  return false;
}

// Days 0..7 of "schedule" into a cleared schedule; a day switched off keeps
// its whole-day action 0. False for a day or plan of the wrong shape.
bool decode_record_week(json_object* week, RecordSchedule* s) {
  std::memset(s, 0, sizeof *s);
  const size_t days = json_array_size(week);
  for (size_t d = 0; d < days && d < SCHEDULE_DAYS; ++d) {
    json_object* day = json_object_array_get_idx(week, d);
    if (!json_object_is_type(day, json_type_object)) return false;
    RecordScheduleDay& out = s->days[d];
    int32_t enable = 0, action = 0;
    if (!json_plain_int(day, "wholedayEnable", &enable) || !json_plain_int(day, "wholedayActionType", &action))
      return false;
    if (enable != 0) {
      out.wholedayEnable = enable;
      out.wholedayActionType = action;
    }
    json_object* plans = json_array_member(day, "plans");
    const size_t n = json_array_size(plans);
    for (size_t p = 0; p < n && p < SCHEDULE_SECTIONS; ++p)
      if (!decode_plan(json_object_array_get_idx(plans, p), &out.plans[p])) return false;
  }
  return true;
}

// The log names the channel of the last list entry, counted from 1.
int32_t last_entry_log_channel(const RequestChannels& chans) {
  if (!chans.has_last) return 0;
  return chans.last < INT32_MAX ? chans.last + 1 : chans.last;
}

void on_set_record_info(char* text) {
  JsonPtr req(parse_request_object(text));
  int32_t cnt = 0, mode = 0;
  if (!req || !json_strict_int(req.get(), "cnt", &cnt) ||
      !json_strict_int_in(req.get(), "recordplanmode", 0, 2, &mode))
    return;
  // Without a schedule there is nothing to copy: the listed channels keep theirs.
  json_object* week = json_array_member(req.get(), "schedule");
  auto sched = std::make_unique<RecordSchedule>();
  if (!week || !decode_record_week(week, sched.get())) return;
  const RequestChannels chans = take_request_channels(req.get(), "chnid", cnt, configured_camera_count());

  ZrdbTransaction txn(ZRDB_PATH);
  RecordRow rows[RECORD_ROWS];
  if (!txn.ok() || zrdb_read_record_range(ZRDB_PATH, "record", 0, rows, sizeof(RecordRow), RECORD_ROWS) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  uint64_t changed = 0;
  for (int i = 0; i < chans.n; ++i) {
    const int ch = chans.channels[i];
    if (rows[ch].mode != mode) changed |= 1ULL << ch;
  }
  if (copy_record_schedules(ZRDB_PATH, sched.get(), chans.mask) != 0 ||
      (changed && copy_table_column_int(ZRDB_PATH, "record", "mode", mode, changed, "id") != 0) ||
      txn.commit() != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core(REQ_RECORD_MODE_CHANGED, &changed, sizeof changed);
  notify_core(REQ_SCHEDULE_COPIED, &chans.mask, sizeof chans.mask);
  log_operation(LOG_SUB_RECORD, LOG_PARAM_RECORD_SCHEDULE, last_entry_log_channel(chans));
  cgi_reply_ok();
}

// ---- Recording modes ----------------------------------------------------------------------

void on_get_record_modes(char*) {
  const int n = configured_camera_count();
  RecordRow rows[RECORD_ROWS];
  zrdb_read_record_range(ZRDB_PATH, "record", 0, rows, sizeof(RecordRow), n);
  JsonPtr out(json_object_new_object());
  json_object* arr = json_object_new_array();
  for (int ch = 0; ch < n; ++ch) {
    json_object* o = json_object_new_object();
    json_add_int(o, "id", ch);
    json_add_int(o, "mode", rows[ch].mode);
    json_object_array_add(arr, o);
  }
  json_object_object_add(out.get(), "records", arr);
  cgi_write_json(out.get());
}

void on_set_record_modes(char* text) {
  JsonPtr req(parse_request_object(text));
  if (!req) return;
  json_object* list = json_array_member(req.get(), "records");
  const size_t len = json_array_size(list);
  const int n = len < RECORD_ROWS ? static_cast<int>(len) : RECORD_ROWS;
  // The element's "id" chooses the row: a configured channel, as the
  // schedule page's channels are; a later element for the same row wins.
  const int cameras = configured_camera_count();
  int32_t modes[RECORD_ROWS] = {};
  uint64_t named = 0;
  for (int i = 0; i < n; ++i) {
    json_object* e = json_object_array_get_idx(list, static_cast<size_t>(i));
    int32_t id = 0, mode = 0;
    if (!json_strict_int_in(e, "id", 0, RECORD_ROWS - 1, &id) || !channel_configured(id, cameras) ||
        !json_strict_int_in(e, "mode", 0, 2, &mode)) {
      cgi_writeback_webserver(CGI_KIND_TEXT, "ERROR");
      return;
    }
    modes[id] = mode;
    named |= 1ULL << id;
  }
  // Only rows that change are written.
  ZrdbTransaction txn(ZRDB_PATH);
  RecordRow rows[RECORD_ROWS];
  if (!txn.ok() || zrdb_read_record_range(ZRDB_PATH, "record", 0, rows, sizeof(RecordRow), RECORD_ROWS) != 0) {
    cgi_writeback_webserver(CGI_KIND_TEXT, "ERROR");
    return;
  }
  bool ok = true;
  for (int ch = 0; ch < RECORD_ROWS; ++ch) {
    if (!(named >> ch & 1ULL) || rows[ch].mode == modes[ch]) continue;
    rows[ch].id = ch;
    rows[ch].mode = modes[ch];
    ok &= write_record(ZRDB_PATH, &rows[ch], ch) == 0;
  }
  if (!ok || txn.commit() != 0) {
    cgi_writeback_webserver(CGI_KIND_TEXT, "ERROR");
    return;
  }
  log_operation(LOG_SUB_RECORD, LOG_PARAM_RECORD_MODES, 0);
  cgi_reply_ok();
  for (int ch = 0; ch < RECORD_ROWS; ++ch)
    if (named >> ch & 1ULL) notify_core_int(REQ_RECORD_CHANGED, ch);
}

// ---- Pre/post recording and camera flags ------------------------------------------------------

void on_get_record_advanced(char* text) {
  int ch = 0;
  if (!take_text_channel(text, &ch)) return;
  const RecordRow row = load_record_row(ch);
  const CameraRecord cam = load_camera(ch);
  JsonPtr out(json_object_new_object());
  json_object* o = out.get();
  json_add_int(o, "id", row.id);
  json_add_int(o, "prevRecordOn", row.prevRecordOn);
  json_add_int(o, "prevRecordDuration", row.prevRecordDuration);
  json_add_int(o, "postRecordOn", row.postRecordOn);
  json_add_int(o, "postRecordDuration", row.postRecordDuration);
  json_add_int(o, "audioEnable", row.audioEnable);
  json_add_int(o, "recordStreamType", cam.recordStreamType);
  json_add_int(o, "recordExpDate", row.recordExpDate);
  json_add_int(o, "cameraAnr", cam.cameraAnr);
  json_add_int(o, "camEnable", cam.enable);
  json_add_int(o, "camProtocol", cam.camProtocol);
  json_add_int(o, "poeChannel", cam.poechannel);
  cgi_write_json(o);
}

struct RecordAdvanced {
  int32_t cnt, camAnr, prevRecordOn, prevRecordDuration, postRecordOn, postRecordDuration, audioEnable,
      recordExpDate, recordStreamType;
};

bool check_record_advanced(json_object* req, RecordAdvanced* a) {
  return json_strict_int(req, "cnt", &a->cnt) && json_has(req, "chnid") && json_strict_int(req, "camAnr", &a->camAnr) &&
         json_strict_int_in(req, "prevRecordOn", 0, 1, &a->prevRecordOn) &&
         json_strict_int_in(req, "prevRecordDuration", 0, INT_MAX, &a->prevRecordDuration) &&
         json_strict_int_in(req, "postRecordOn", 0, 1, &a->postRecordOn) &&
         json_strict_int(req, "postRecordDuration", &a->postRecordDuration) &&
         json_strict_int_in(req, "audioEnable", 0, 1, &a->audioEnable) &&
         json_strict_int_in(req, "recordStreamType", 0, 2, &a->recordStreamType) &&
         json_plain_int(req, "recordExpDate", &a->recordExpDate);
}

// A camera takes a new ANR flag when it is switched off, or when it is an
// enabled camera of its own (not on a PoE port) of a protocol other than 1.
bool camera_takes_anr(const CameraRecord& cam, int32_t anr) {
  if (cam.cameraAnr == anr) return false;
  return anr == 0 || (cam.enable != 0 && cam.poechannel == 0 && cam.camProtocol != 1);
}

void on_set_record_advanced(char* text) {
  JsonPtr req(parse_request_object(text));
  RecordAdvanced a{};
  if (!req || !check_record_advanced(req.get(), &a)) return;
  const RequestChannels chans = take_request_channels(req.get(), "chnid", a.cnt, configured_camera_count());

  ZrdbTransaction txn(ZRDB_PATH);
  RecordRow rows[RECORD_ROWS];
  auto cams = std::make_unique<CameraRecord[]>(MAX_CHANNELS);
  if (!txn.ok() || zrdb_read_record_range(ZRDB_PATH, "record", 0, rows, sizeof(RecordRow), RECORD_ROWS) != 0 ||
      zrdb_read_record_range(ZRDB_PATH, "camera", 0, cams.get(), sizeof(CameraRecord), MAX_CHANNELS) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }

  RecordChannelList changed{};
  CameraAnrSet anr{};
  anr.camAnr = a.camAnr;
  uint64_t stream_mask = 0, anr_mask = 0;
  bool ok = true;
  for (int i = 0; i < chans.n; ++i) {
    const int ch = chans.channels[i];
    RecordRow row = rows[ch];
    row.id = ch;
    row.prevRecordOn = a.prevRecordOn;
    row.prevRecordDuration = a.prevRecordDuration;
    row.postRecordOn = a.postRecordOn;
    row.postRecordDuration = a.postRecordDuration;
    row.audioEnable = a.audioEnable;
    row.recordExpDate = a.recordExpDate;
    if (std::memcmp(&row, &rows[ch], sizeof row) != 0) ok &= write_record(ZRDB_PATH, &row, ch) == 0;
    changed.channels[changed.count++] = ch;
    if (cams[ch].recordStreamType != a.recordStreamType) stream_mask |= 1ULL << ch;
    if (camera_takes_anr(cams[ch], a.camAnr)) {
      anr.channels[anr.count++] = ch;
      anr_mask |= 1ULL << ch;
    }
  }
  if (anr_mask) ok &= copy_table_column_int(ZRDB_PATH, "camera", "anr", a.camAnr, anr_mask, "id") == 0;
  if (stream_mask)
    ok &= copy_table_column_int(ZRDB_PATH, "camera", "record_stream", a.recordStreamType, stream_mask, "id") == 0;
  if (!ok || txn.commit() != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  notify_core(REQ_RECORD_ADVANCED, &changed, sizeof changed);
  log_operation(LOG_SUB_RECORD, LOG_PARAM_RECORD_ADVANCED, 0);
  cgi_ipc_exchange(on_record_ipc_callback, REQ_CAMERA_ANR, &anr, sizeof anr, CGI_KIND_JSON);
}

// ---- Core queries ------------------------------------------------------------------------------

void on_get_anr_support(char* text) {
  int ch = 0;
  if (!take_text_channel(text, &ch)) return;
  const int32_t chn = ch;
  cgi_ipc_exchange(on_record_ipc_callback, REQ_ANR_SUPPORT, &chn, sizeof chn, CGI_KIND_JSON);
}

void on_get_stream_channels(char*) {
  cgi_ipc_exchange(on_record_ipc_callback, REQ_STREAM_CHANNELS, nullptr, 0, CGI_KIND_JSON);
}

}  // namespace

// ---- Reply dispatcher -------------------------------------------------------------

namespace {
const CgiReplyRow kRecordReplies[] = {
    {REPLY_CAMERA_ANR, sizeof(CameraAnrResult), CGI_KIND_JSON, on_set_camera_anr_cb},
    {REPLY_ANR_SUPPORT, sizeof(AnrSupport), CGI_KIND_JSON, on_get_anr_support_cb},
    {REPLY_STREAM_CHANNELS, sizeof(StreamChannels), CGI_KIND_JSON, on_get_stream_channels_cb},
};
}  // namespace

void on_record_ipc_callback(void*, void* header, void* payload) { cgi_dispatch_reply(kRecordReplies, header, payload); }

namespace {
const WebRes kRecordTable[] = {
    {"/6030", on_get_holiday_info},    {"/6031", on_set_holiday_info},  {"/6040", on_get_record_info},
    {"/6041", on_set_record_info},     {"/6042", on_get_record_modes},  {"/6043", on_set_record_modes},
    {"/6044", on_get_record_advanced}, {"/6045", on_set_record_advanced}, {"/6046", on_get_anr_support},
    {"/6047", on_get_stream_channels},
};
}  // namespace

NVR_DEFINE_MODULE(record, kRecordTable)
