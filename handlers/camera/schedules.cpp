// Camera-side schedules, day/night, regions and exposure lists.
// Serves "/2037", "/2038", "/2039", "/2040", "/2041", "/2042", "/2043", "/2044", "/2045", "/2046", "/2047", "/2048", "/2049", "/2050".
#include "handlers/camera/camera.h"

namespace camera {

// ---- Camera-side schedules ----
constexpr int kScheduleJsonSections = SCHEDULE_JSON_SECTIONS;

// A schedule member in the camera form; when the request leaves it out
// every day's valid flag is -1, which tells the camera to keep its own.
void take_ipc_schedule(json_object* req, const char* key, ScheduleRecord* s) {
  if (get_schedule_by_json_ipc(req, key, s) == 0) return;
  std::memset(s, 0, sizeof *s);
  for (ScheduleDay& day : s->days) day.valid = -1;
}

json_object* ipc_schedule_json(const ScheduleRecord& s) { return get_schedule_json_object_ipc(&s); }

namespace {
// "effective" spans ({"startTime", "endTime"} or a list of them) hold texts.
bool effective_spans_readable(json_object* req) {
  json_object* eff = nullptr;
  if (!json_object_object_get_ex(req, "effective", &eff) || !eff) return true;
  const size_t n = json_object_is_type(eff, json_type_array) ? json_array_size(eff) : 1;
  for (size_t i = 0; i < n; ++i) {
    json_object* o = json_object_is_type(eff, json_type_array) ? array_element(eff, i) : eff;
    if (is_object(o) && !json_texts_readable(o, {"startTime", "endTime"})) return false;
  }
  return true;
}
}  // namespace

// One section of a weekly schedule as {"startTime", "endTime", "actionType"
// [, "exposureTime", "gainLevel"]}.
json_object* section_json(const CamExposureSection& s) {
  json_object* o = json_object_new_object();
  json_add_field(o, "startTime", s.startTime);
  json_add_field(o, "endTime", s.endTime);
  json_add_int(o, "actionType", s.actionType);
  json_add_int(o, "exposureTime", s.exposureTime);
  json_add_int(o, "gainLevel", s.gainLevel);
  return o;
}

// A section from an object with the keys above or an array in the same
// order; false when a number is refused (the strict reader's rule).
template <typename Section>
bool section_from_json(json_object* v, Section* s) {
  static const char* const kKeys[] = {"startTime", "endTime", "actionType", "exposureTime", "gainLevel"};
  const bool arr = json_object_is_type(v, json_type_array);
  if (!arr && !is_object(v)) return true;
  auto member = [&](int i) -> json_object* {
    if (arr) return array_element(v, static_cast<size_t>(i));
    json_object* m = nullptr;
    return json_object_object_get_ex(v, kKeys[i], &m) ? m : nullptr;
  };
  json_object* m;
  bool ok = true;
  std::string_view text;
  if ((m = member(0))) ok &= json_value_text(m, &text) && (copy_field(s->startTime, text), true);
  if ((m = member(1))) ok &= json_value_text(m, &text) && (copy_field(s->endTime, text), true);
  if ((m = member(2))) ok &= json_value_int(m, &s->actionType);
  if constexpr (std::is_same<Section, CamExposureSection>::value) {
    if ((m = member(3))) ok &= json_value_int(m, &s->exposureTime);
    if ((m = member(4))) ok &= json_value_int(m, &s->gainLevel);
  }
  return ok;
}

json_object* week_json(const CamExposureSchedule& s) {
  json_object* week = json_object_new_array();
  for (const auto& day : s.section) {
    json_object* d = json_object_new_array();
    for (int e = 0; e < kScheduleJsonSections; ++e) json_object_array_add(d, section_json(day[e]));
    json_object_array_add(week, d);
  }
  return week;
}

int on_get_ipc_schedule_cb(const uint8_t* data, size_t len) {
  const ChannelSchedule rec = reply_record<ChannelSchedule>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object_object_add(obj.get(), "schedule", get_schedule_json_object(&rec.schedule));
  return write_json(obj.get());
}
int on_get_ipc_exposure_schedule_cb(const uint8_t* data, size_t len) {
  const ChannelExposureSchedule rec = reply_record<ChannelExposureSchedule>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object_object_add(obj.get(), "schedule", week_json(rec.schedule));
  return write_json(obj.get());
}

// "/2041", "/2043", "/2045"
void on_get_ipc_schedule_a(char* text) { relay_channel_query(text, "id", 3273, CGI_KIND_JSON); }
void on_get_ipc_schedule_b(char* text) { relay_channel_query(text, "id", 3275, CGI_KIND_JSON); }
void on_get_ipc_schedule_c(char* text) { relay_channel_query(text, "id", 3277, CGI_KIND_JSON); }

// {"channel", "schedule"}; the schedule is required: a week left out would
// wipe the camera's schedule.
template <typename Rec>
void set_ipc_schedule(const char* text, int req_id) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "channel", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  auto rec = std::make_unique<Rec>();
  std::memset(rec.get(), 0, sizeof(Rec));
  rec->channel = ch;
  if constexpr (std::is_same<Rec, ChannelSchedule>::value) {
    if (!event_schedule_readable(req.get(), "schedule") ||
        get_schedule_by_json(req.get(), "schedule", &rec->schedule) != 0)
      return;
  } else {
    json_object* week = json_array_member(req.get(), "schedule");
    if (!week) return;
    for (int d = 0; d < CAM_SCHEDULE_DAYS; ++d) {
      json_object* day = array_element(week, static_cast<size_t>(d));
      for (int e = 0; e < kScheduleJsonSections; ++e) {
        json_object* v = array_element(day, static_cast<size_t>(e));
        if (!v) break;
        if (!section_from_json(v, &rec->schedule.section[d][e])) {
          cgi_error_to_webserver(CGI_KIND_JSON);
          return;
        }
      }
    }
  }
  send_and_answer_ok(req_id, rec.get(), sizeof(Rec));
}

// "/2042", "/2044", "/2046"
void on_set_ipc_schedule_a(char* text) { set_ipc_schedule<ChannelSchedule>(text, 3281); }
void on_set_ipc_schedule_b(char* text) { set_ipc_schedule<ChannelExposureSchedule>(text, 3282); }
void on_set_ipc_schedule_c(char* text) { set_ipc_schedule<ChannelSchedule>(text, 3283); }

// ---- Day/night schedule ----
const FieldDesc kDayNightPeriodFields[] = {
    FIELD(DayNightPeriod, id),           FIELD(DayNightPeriod, enable),
    FIELD(DayNightPeriod, startHour),    FIELD(DayNightPeriod, startMinute),
    FIELD(DayNightPeriod, endHour),      FIELD(DayNightPeriod, endMinute),
    FIELD(DayNightPeriod, exposureLevel), FIELD(DayNightPeriod, maxShutter),
    FIELD(DayNightPeriod, minShutter),   FIELD(DayNightPeriod, gainLevel),
    FIELD(DayNightPeriod, irCutLatency), FIELD(DayNightPeriod, irCutState),
    FIELD(DayNightPeriod, irLedState),   FIELD(DayNightPeriod, colorMode),
};
const FieldDesc kDayNightTemplateFields[] = {
    FIELD(DayNightSchedule, type),          FIELD(DayNightSchedule, hasSche),
    FIELD(DayNightSchedule, templateId),    FIELD(DayNightSchedule, scenes),
    FIELD(DayNightSchedule, limitGain),     FIELD(DayNightSchedule, irCutInterval),
    FIELD(DayNightSchedule, irCutStatus),   FIELD(DayNightSchedule, irLedStatus),
    FIELD(DayNightSchedule, effectiveCount),
};

int on_get_day_night_schedule_cb(const uint8_t* data, size_t len) {
  const DayNightSchedule rec = reply_record<DayNightSchedule>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object* image = json_object_new_array();
  for (const DayNightPeriod& p : rec.period) {
    json_object* item = json_object_new_object();
    add_fields(item, &p, kDayNightPeriodFields);
    json_object_array_add(image, item);
  }
  json_object_object_add(obj.get(), "image", image);
  return write_json(obj.get());
}

// "/2037"
void on_get_day_night_schedule(char* text) { relay_channel_query(text, "id", 3278, CGI_KIND_JSON); }

// The day/night record with every value -1 but the channel, then the
// periods present in "image" (at most 7); false when a number is refused.
bool day_night_from_json(json_object* req, int ch, DayNightSchedule* out) {
  DayNightSchedule& rec = *out;
  std::memset(&rec, 0, sizeof rec);
  set_unchanged(&rec, kDayNightTemplateFields);
  json_object* image = json_array_member(req, "image");
  bool ok = true;
  for (int i = 0; i < DAY_NIGHT_PERIODS; ++i) {
    set_unchanged(&rec.period[i], kDayNightPeriodFields);
    json_object* p = array_element(image, static_cast<size_t>(i));
    if (is_object(p)) ok &= take_fields(p, &rec.period[i], kDayNightPeriodFields);
  }
  rec.chnid = ch;
  return ok;
}

// "/2038"
void on_set_day_night_schedule(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "channel", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  DayNightSchedule rec;
  if (!day_night_from_json(req.get(), ch, &rec)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  send_and_answer_ok(3279, &rec, sizeof rec);
}

// "/2047"
void on_set_image_schedule(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  DayNightSchedule rec;
  if (!day_night_from_json(req.get(), ch, &rec) || !take_fields(req.get(), &rec, kDayNightTemplateFields) ||
      !effective_spans_readable(req.get())) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  // "effective": one {"startTime", "endTime"} or a list of them.
  json_object* eff = nullptr;
  if (json_object_object_get_ex(req.get(), "effective", &eff) && eff) {
    int n = 0;
    auto take_span = [&](json_object* o) {
      if (!is_object(o) || n >= DAY_NIGHT_EFFECTIVE) return;
      json_get_text(o, "startTime", rec.effective[n].startTime);
      json_get_text(o, "endTime", rec.effective[n].endTime);
      ++n;
    };
    if (json_object_is_type(eff, json_type_array))
      for (size_t i = 0; i < json_array_size(eff); ++i) take_span(array_element(eff, i));
    else
      take_span(eff);
    rec.effectiveCount = n;
  }
  send_and_answer_ok(3279, &rec, sizeof rec);
}

// ---- Regions ----
const FieldDesc kRegionAreaFields[] = {
    FIELD(RegionArea, enable), FIELD(RegionArea, left), FIELD(RegionArea, right), FIELD(RegionArea, bottom),
};

int on_get_ipc_region_info_cb(const uint8_t* data, size_t len) {
  const RegionInfo rec = reply_record<RegionInfo>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object* areas = json_object_new_array();
  for (int i = 0; i < bounded_count(rec.count, REGION_AREAS); ++i) {
    json_object* item = json_object_new_object();
    add_fields(item, &rec.area[i], kRegionAreaFields);
    json_object_array_add(areas, item);
  }
  json_object_object_add(obj.get(), "area", areas);
  json_add_field(obj.get(), "sdkversion", rec.sdkversion);
  return write_json(obj.get());
}

// "/2039"
void on_get_ipc_region_info(char* text) { relay_channel_query(text, "id", 3271, CGI_KIND_JSON); }

// "/2040"
void on_set_ipc_region_info(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  RegionSet rec;
  std::memset(&rec, 0, sizeof rec);
  rec.chnid = ch;
  json_object* areas = json_array_member(req.get(), "area");
  size_t n = json_array_size(areas);
  if (n > REGION_AREAS) n = REGION_AREAS;
  rec.count = static_cast<int32_t>(n);
  for (size_t i = 0; i < n; ++i) {
    set_unchanged(&rec.area[i], kRegionAreaFields);
    json_object* a = array_element(areas, i);
    if (is_object(a) && !take_fields(a, &rec.area[i], kRegionAreaFields)) {
      cgi_error_to_webserver(CGI_KIND_JSON);
      return;
    }
  }
  send_and_answer_ok(3288, &rec, sizeof rec);
}

// "/2050"
void on_del_ipc_region_area(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chan_id", &ch) || !int_in(req.get(), "area_id", 0, REGION_AREAS - 1)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  RegionAreaDelete rec{ch, 0};
  json_strict_int(req.get(), "area_id", &rec.area_id);  // checked above
  send_and_answer_ok(3284, &rec, sizeof rec);
}

// ---- Stored exposure lists ----
// "/2048"
void on_set_exposure_info(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "channel", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  json_object* list = json_array_member(req.get(), "exposure");
  if (!list) return;
  size_t n = json_array_size(list);
  if (n > EXPOSURE_ENTRIES) n = EXPOSURE_ENTRIES;
  for (size_t i = 0; i < n; ++i)
    if (!json_ints_readable(array_element(list, i), {"exposureTime", "gainLevel"})) {
      cgi_error_to_webserver(CGI_KIND_JSON);
      return;
    }
  ZrdbTransaction txn(ZRDB_PATH);
  ExposureRecord rec{};
  const bool read_ok = read_exposure(ZRDB_PATH, &rec, ch) == 0;
  rec.channel = ch;
  rec.count = static_cast<int32_t>(n);
  for (size_t i = 0; i < n; ++i) {
    json_object* e = array_element(list, i);
    json_take_int(e, "exposureTime", &rec.entry[i].exposureTime);
    json_take_int(e, "gainLevel", &rec.entry[i].gainLevel);
  }
  CameraChange change;  // stored only: nothing to send
  change.channel = ch;
  save_notify_log(txn, read_ok && write_exposure(ZRDB_PATH, &rec, ch) == 0, CGI_KIND_JSON, change);
}

// "/2049"
void on_get_exposure_info(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  ExposureRecord rec{};
  if (!get_channel(req.get(), "channel", &ch) || read_exposure(ZRDB_PATH, &rec, ch) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr obj(json_object_new_object());
  json_object* list = json_object_new_array();
  for (int i = 0; i < bounded_count(rec.count, EXPOSURE_ENTRIES); ++i) {
    json_object* e = json_object_new_object();
    json_add_int(e, "exposureTime", rec.entry[i].exposureTime);
    json_add_int(e, "gainLevel", rec.entry[i].gainLevel);
    json_object_array_add(list, e);
  }
  json_object_object_add(obj.get(), "exposure", list);
  cgi_write_json(obj.get());
}

}  // namespace camera
