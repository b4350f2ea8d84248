#include "core/web_utils.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/cgi_json.h"
#include "core/strutil.h"
#include "zrdb_test_util.h"

namespace {

ZRDB_RECORD_FAMILY(test_schedule, ScheduleRecord, "test_schedule")

JsonPtr parse(const std::string& text) {
  JsonPtr p(json_tokener_parse(text.c_str()));
  EXPECT_TRUE(p) << text;
  return p;
}

std::string text_of(json_object* o) { return cgi_json_text(o); }

std::string text_of(const JsonPtr& o) { return cgi_json_text(o.get()); }

// A record filled with a byte pattern, to see what a decoder leaves alone.
template <typename T>
T filled(unsigned char byte) {
  T rec;
  std::memset(&rec, byte, sizeof rec);
  return rec;
}

template <typename T>
bool same_bytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string long_text(size_t n) { return std::string(n, 'z'); }

// ---- Schedules ---------------------------------------------------------------------

TEST(ScheduleCodec, GeneralFormEncodesFullWeek) {
  static ScheduleRecord s{};
  copy_field(s.days[0].sections[0].start_time, "00:00");
  copy_field(s.days[0].sections[0].end_time, "24:00");
  s.days[0].sections[0].action_type = 1;
  copy_field(s.days[7].sections[11].start_time, "01:00");
  copy_field(s.days[7].sections[12].start_time, "never shown");
  JsonPtr j(get_schedule_json_object(&s));
  ASSERT_EQ(json_array_size(j.get()), 8u);
  for (size_t d = 0; d < 8; ++d) EXPECT_EQ(json_array_size(json_object_array_get_idx(j.get(), d)), 12u);
  json_object* day0 = json_object_array_get_idx(j.get(), 0);
  EXPECT_EQ(text_of(json_object_array_get_idx(day0, 0)),
            R"({"startTime":"00:00","endTime":"24:00","actionType":1})");
  EXPECT_EQ(text_of(json_object_array_get_idx(day0, 1)), R"({"startTime":"","endTime":"","actionType":0})");
  EXPECT_EQ(text_of(json_object_array_get_idx(json_object_array_get_idx(j.get(), 7), 11)),
            R"({"startTime":"01:00","endTime":"","actionType":0})");
  EXPECT_EQ(text_of(j).find("never shown"), std::string::npos);
  // The _ex form has the same shape.
  JsonPtr ex(get_schedule_json_object_ex(&s));
  EXPECT_EQ(text_of(ex), text_of(j));
}

TEST(ScheduleCodec, UnterminatedTextsStayInsideTheirField) {
  static ScheduleRecord s;
  std::memset(&s, 'q', sizeof s);
  JsonPtr j(get_schedule_json_object(&s));
  json_object* first = json_object_array_get_idx(json_object_array_get_idx(j.get(), 0), 0);
  EXPECT_EQ(std::string(json_object_get_string(json_object_object_get(first, "startTime"))), std::string(32, 'q'));
}

TEST(ScheduleCodec, GeneralFormDecodes) {
  auto req = parse(R"({"effective":[[["08:00","18:00",2],["19:00","20:00",3]],[],[["a","b",1]]]})");
  static ScheduleRecord s;
  s = filled<ScheduleRecord>(0x5a);
  ASSERT_EQ(get_schedule_by_json(req.get(), "effective", &s), 0);
  EXPECT_STREQ(s.days[0].sections[0].start_time, "08:00");
  EXPECT_STREQ(s.days[0].sections[0].end_time, "18:00");
  EXPECT_EQ(s.days[0].sections[0].action_type, 2);
  EXPECT_EQ(s.days[0].sections[1].action_type, 3);
  EXPECT_STREQ(s.days[2].sections[0].start_time, "a");
  // Everything not sent is cleared: missing entries and days, sections 12..47.
  static ScheduleRecord expect{};
  copy_field(expect.days[0].sections[0].start_time, "08:00");
  copy_field(expect.days[0].sections[0].end_time, "18:00");
  expect.days[0].sections[0].action_type = 2;
  copy_field(expect.days[0].sections[1].start_time, "19:00");
  copy_field(expect.days[0].sections[1].end_time, "20:00");
  expect.days[0].sections[1].action_type = 3;
  copy_field(expect.days[2].sections[0].start_time, "a");
  copy_field(expect.days[2].sections[0].end_time, "b");
  expect.days[2].sections[0].action_type = 1;
  EXPECT_TRUE(same_bytes(s, expect));
}

using ScheduleStore = StoreTest;

TEST_F(ScheduleStore, RoundTripThroughTheStoreAndBothForms) {
  static ScheduleRecord s{};
  for (int d = 0; d < 8; ++d)
    for (int e = 0; e < 12; ++e) {
      copy_field(s.days[d].sections[e].start_time, string_printf("%02d:%02d", d, e));
      copy_field(s.days[d].sections[e].end_time, string_printf("%02d:%02d", e, d));
      s.days[d].sections[e].action_type = d * 12 + e;
    }
  ASSERT_EQ(write_test_schedule(ZRDB_PATH, &s, 3), 0);
  static ScheduleRecord stored;
  ASSERT_EQ(read_test_schedule(ZRDB_PATH, &stored, 3), 0);
  JsonPtr week(get_schedule_json_object(&stored));
  // The encoder's objects are accepted back as well as the arrays.
  JsonPtr req(json_object_new_object());
  json_object_object_add(req.get(), "effective", json_object_get(week.get()));
  static ScheduleRecord back;
  ASSERT_EQ(get_schedule_by_json_ex(req.get(), "effective", &back), 0);
  EXPECT_TRUE(same_bytes(back, s));
}

TEST(ScheduleCodec, CameraForm) {
  std::string week = "[";
  for (int d = 0; d < 9; ++d) {
    week += d ? ",[" : "[";
    for (int e = 0; e < 13; ++e) week += string_printf("%s[\"%d:%d\",\"e%d\",9]", e ? "," : "", d, e, e);
    week += "]";
  }
  week += "]";
  auto req = parse("{\"sch\":" + week + "}");
  static ScheduleRecord s;
  s = filled<ScheduleRecord>(0x11);
  ASSERT_EQ(get_schedule_by_json_ipc(req.get(), "sch", &s), 0);
  for (int d = 0; d < 8; ++d) {
    EXPECT_EQ(s.days[d].valid, d < 7 ? 1 : 0);
    for (int e = 0; e < 48; ++e) {
      bool sent = d < 7 && e < 10;
      EXPECT_EQ(std::string(s.days[d].sections[e].start_time), sent ? string_printf("%d:%d", d, e) : "");
      EXPECT_EQ(s.days[d].sections[e].action_type, 0);  // the camera form carries no action type
    }
  }
  JsonPtr j(get_schedule_json_object_ipc(&s));
  ASSERT_EQ(json_array_size(j.get()), 8u);
  json_object* day0 = json_object_array_get_idx(j.get(), 0);
  ASSERT_EQ(json_array_size(day0), 12u);
  EXPECT_EQ(text_of(json_object_array_get_idx(day0, 0)), R"({"startTime":"0:0","endTime":"e0"})");
  EXPECT_EQ(text_of(json_object_array_get_idx(day0, 11)), R"({"startTime":"","endTime":""})");
  // A day whose valid flag is 0 gives 12 empty objects even with texts stored.
  copy_field(s.days[7].sections[0].start_time, "hidden");
  j.reset(get_schedule_json_object_ipc(&s));
  json_object* day7 = json_object_array_get_idx(j.get(), 7);
  for (size_t e = 0; e < 12; ++e)
    EXPECT_EQ(text_of(json_object_array_get_idx(day7, e)), R"({"startTime":"","endTime":""})");
}

using ScheduleDecoder = int (*)(json_object*, const char*, ScheduleRecord*);

TEST(ScheduleCodec, MalformedRequestsNeverCrash) {
  const ScheduleDecoder decoders[] = {get_schedule_by_json, get_schedule_by_json_ex, get_schedule_by_json_ipc};
  struct Case {
    const char* json;
    int result;
  };
  const Case cases[] = {
      {R"({})", -1},                          // missing member
      {R"({"s":null})", -1},                  // wrong types keep the stored schedule
      {R"({"s":{"0":[]}})", -1},
      {R"({"s":"08:00"})", -1},
      {R"({"s":12})", -1},
      {R"({"s":[1,"x",{"a":1},null,[null,3,{}]]})", 0},  // days and entries of the wrong type: empty
      {R"({"s":[[[1,2,3]]]})", 0},                       // numbers as times
      {R"({"s":[[[]]]})", 0},
      {R"({"s":[[[{"x":1},["y"],"z"]]]})", 0},
      {R"({"s":[[{"startTime":7,"actionType":"x"}]]})", 0},
  };
  for (ScheduleDecoder dec : decoders)
    for (const Case& c : cases) {
      auto req = parse(c.json);
      static ScheduleRecord s;
      s = filled<ScheduleRecord>(0x33);
      EXPECT_EQ(dec(req.get(), "s", &s), c.result) << c.json;
      if (c.result < 0) {
        static const ScheduleRecord untouched = filled<ScheduleRecord>(0x33);
        EXPECT_TRUE(same_bytes(s, untouched)) << c.json;
      }
    }
  static ScheduleRecord s{};
  auto req = parse(R"({"s":[]})");
  EXPECT_EQ(get_schedule_by_json(nullptr, "s", &s), -1);
  EXPECT_EQ(get_schedule_by_json(req.get(), nullptr, &s), -1);
  EXPECT_EQ(get_schedule_by_json(req.get(), "s", nullptr), -1);
  JsonPtr empty(get_schedule_json_object(nullptr));
  EXPECT_EQ(json_array_size(empty.get()), 8u);
}

TEST(ScheduleCodec, HugeArraysAndTextsAreBounded) {
  std::string t = long_text(2000);
  std::string day = "[";
  for (int e = 0; e < 40; ++e) day += string_printf("%s[\"%s\",\"%s\",%d]", e ? "," : "", t.c_str(), t.c_str(), e);
  day += "]";
  std::string week = "[";
  for (int d = 0; d < 20; ++d) week += (d ? "," : "") + day;
  week += "]";
  auto req = parse("{\"s\":" + week + "}");
  static ScheduleRecord s;
  ASSERT_EQ(get_schedule_by_json(req.get(), "s", &s), 0);
  EXPECT_EQ(std::string(s.days[7].sections[11].start_time), long_text(31));
  EXPECT_EQ(s.days[7].sections[11].action_type, 11);
  EXPECT_EQ(s.days[7].sections[12].action_type, 0);
  ASSERT_EQ(get_schedule_by_json_ipc(req.get(), "s", &s), 0);
  EXPECT_EQ(std::string(s.days[6].sections[9].end_time), long_text(31));
  EXPECT_EQ(s.days[6].sections[10].start_time[0], '\0');
}

// ---- Trigger alarm outputs -------------------------------------------------------------------

TEST(AlarmOutCodec, EncodeAndDecode) {
  char a[65];
  char b[65];
  std::memset(a, 'x', sizeof a);  // no terminator: the field bounds it
  copy_field(b, "0101");
  JsonPtr j(get_event_chn_alarmout_object(a, b));
  EXPECT_EQ(text_of(j), "[\"" + std::string(65, 'x') + "\",\"0101\"]");

  TriggerAlarmOutItem items[2];
  std::memset(items, 0x7f, sizeof items);
  auto req = parse(R"({"triChnAlarms":["1100","0011","ignored"]})");
  ASSERT_EQ(get_event_chn_alarmout_by_object(4, req.get(), "triChnAlarms", items), 0);
  EXPECT_EQ(items[0].owner_id, 4);
  EXPECT_EQ(items[0].index, 0);
  EXPECT_STREQ(items[0].text, "1100");
  EXPECT_EQ(items[1].index, 1);
  EXPECT_STREQ(items[1].text, "0011");

  // A missing second element leaves item 1 unchanged; long texts are cut.
  TriggerAlarmOutItem before[2];
  std::memcpy(before, items, sizeof items);
  req = parse("{\"t\":[\"" + long_text(1000) + "\"]}");
  ASSERT_EQ(get_event_chn_alarmout_by_object(2, req.get(), "t", items), 0);
  EXPECT_EQ(std::string(items[0].text), long_text(64));
  EXPECT_EQ(std::memcmp(&items[1], &before[1], sizeof items[1]), 0);

  for (const char* bad : {R"({})", R"({"t":"1100"})", R"({"t":{"0":"1"}})", R"({"t":5})"}) {
    std::memcpy(before, items, sizeof items);
    req = parse(bad);
    EXPECT_EQ(get_event_chn_alarmout_by_object(2, req.get(), "t", items), -1) << bad;
    EXPECT_EQ(std::memcmp(items, before, sizeof items), 0) << bad;
  }
}

// ---- Store-backed codecs -----------------------------------------------------------------------

using ActionCodec = StoreTest;

TEST_F(ActionCodec, WhiteLedBothFormsRoundTrip) {
  static WhiteLedBlock blocks[64];
  for (const char* text : {R"({"whiteInfo":[{"chnid":3,"mode":1,"time":10}]})", R"({"whiteInfo":[[3,1,10]]})"}) {
    std::memset(blocks, 0x44, sizeof blocks);
    auto req = parse(text);
    ASSERT_EQ(get_white_params_by_json(9, blocks, req.get(), "whiteInfo"), 0) << text;
    EXPECT_EQ(blocks[9].rows[0].owner_id, 9);
    EXPECT_EQ(blocks[9].rows[0].chnid, 3);
    EXPECT_EQ(blocks[9].rows[0].mode, 1);
    EXPECT_EQ(blocks[9].rows[0].time, 10);
    EXPECT_EQ(blocks[9].rows[1].chnid, 0);  // block cleared
    EXPECT_EQ(blocks[8].rows[0].chnid, 0x44444444);  // other owners untouched
  }
  ASSERT_EQ(write_whiteled_params_all(ZRDB_PATH, "motion_white_led_params", 9, &blocks[9], 1), 0);
  JsonPtr j(get_white_params_json_object(9, "motion_white_led_params"));
  EXPECT_EQ(text_of(j), R"([{"chnid":3,"mode":1,"time":10}])");
  j.reset(get_white_params_json_object(10, "motion_white_led_params"));
  EXPECT_EQ(text_of(j), "[]");
  j.reset(get_white_params_json_object(9, "other_table"));
  EXPECT_EQ(text_of(j), "[]");

  // Copy to other channels keeps the rows under their new owner.
  ASSERT_EQ(copy_whiteled_params(ZRDB_PATH, "motion_white_led_params", 9, (1ULL << 2) | (1ULL << 9)), 0);
  WhiteLedBlock copied{};
  ASSERT_EQ(read_whiteled_params(ZRDB_PATH, "motion_white_led_params", 2, &copied), 0);
  EXPECT_EQ(copied.rows[0].owner_id, 2);
  EXPECT_EQ(copied.rows[0].chnid, 3);
}

TEST_F(ActionCodec, WhiteLedMalformedAndBounded) {
  static WhiteLedBlock blocks[4];
  std::string many = "{\"w\":[";
  for (int i = 0; i < 100; ++i) many += string_printf("%s[%d,1,2]", i ? "," : "", i);
  many += "]}";
  auto req = parse(many);
  ASSERT_EQ(get_white_params_by_json(1, blocks, req.get(), "w"), 0);
  EXPECT_EQ(white_led_rows_in_use(blocks[1].rows, 8), 8);
  EXPECT_EQ(blocks[1].rows[7].chnid, 7);
  // Stops at the first element that is neither object nor array.
  req = parse(R"({"w":[[1,2,3],"x",[4,5,6]]})");
  ASSERT_EQ(get_white_params_by_json(1, blocks, req.get(), "w"), 0);
  EXPECT_EQ(white_led_rows_in_use(blocks[1].rows, 8), 1);
  // Short rows and wrong member types give 0.
  req = parse(R"({"w":[[5],{"chnid":"7","mode":[1]}]})");
  ASSERT_EQ(get_white_params_by_json(1, blocks, req.get(), "w"), 0);
  EXPECT_EQ(blocks[1].rows[0].chnid, 5);
  EXPECT_EQ(blocks[1].rows[0].mode, 0);
  EXPECT_EQ(blocks[1].rows[1].chnid, 7);
  EXPECT_EQ(blocks[1].rows[1].mode, 0);

  const WhiteLedBlock keep = blocks[1];
  for (const char* bad : {R"({})", R"({"w":{"chnid":1}})", R"({"w":"chnid"})", R"({"w":null})"}) {
    req = parse(bad);
    EXPECT_EQ(get_white_params_by_json(1, blocks, req.get(), "w"), -1) << bad;
    EXPECT_TRUE(same_bytes(blocks[1], keep)) << bad;
  }
  req = parse(R"({"w":[[1,2,3]]})");
  EXPECT_EQ(get_white_params_by_json(4, blocks, req.get(), "w"), -1);  // beyond the caller's array
  EXPECT_EQ(get_white_params_by_json(-1, blocks, req.get(), "w"), -1);
}

TEST_F(ActionCodec, PeopleCountingWhiteLed) {
  WhiteLedRow rows[8];
  std::memset(rows, 0x22, sizeof rows);
  auto req = parse(R"({"whiteInfo":[{"chnid":1,"mode":2,"time":3},[4,5,6]]})");
  ASSERT_EQ(get_pcnt_white_params_by_json(2, rows, req.get(), "whiteInfo"), 0);
  EXPECT_EQ(rows[1].owner_id, 2);
  EXPECT_EQ(rows[1].time, 6);
  EXPECT_EQ(rows[2].chnid, 0);  // rows left out are removed
  ASSERT_EQ(write_peoplecnt_wled_params(ZRDB_PATH, 2, rows, 2), 0);
  JsonPtr j(get_pcnt_white_params_json_object(2));
  EXPECT_EQ(text_of(j), R"([{"chnid":1,"mode":2,"time":3},{"chnid":4,"mode":5,"time":6}])");
}

TEST_F(ActionCodec, HttpNotification) {
  HttpNotifyParams rec = filled<HttpNotifyParams>(0x61);
  auto req = parse(R"({"httpParams":{"url":"http://h/a%20b?x=%s","username":"u","password":"p%d"}})");
  ASSERT_EQ(get_http_params_by_json(5, &rec, req.get(), "httpParams"), 0);
  EXPECT_EQ(rec.chn_id, 5);
  EXPECT_STREQ(rec.url, "http://h/a%20b?x=%s");
  ASSERT_EQ(write_http_notification_params(ZRDB_PATH, "motion_http_notification_params", 5, &rec), 0);
  JsonPtr j(get_http_params_json_object(5, "motion_http_notification_params"));
  EXPECT_EQ(text_of(j), R"({"chnId":5,"url":"http://h/a%20b?x=%s","username":"u","password":"p%d"})");
  j.reset(get_http_params_json_object(6, "motion_http_notification_params"));
  EXPECT_EQ(text_of(j), R"({"chnId":6,"url":"","username":"","password":""})");

  req = parse("{\"h\":{\"url\":\"" + long_text(3000) + "\",\"username\":\"" + long_text(300) +
              "\",\"password\":\"" + long_text(300) + "\"}}");
  ASSERT_EQ(get_http_params_by_json(1, &rec, req.get(), "h"), 0);
  EXPECT_EQ(std::string(rec.url), long_text(512));
  EXPECT_EQ(std::string(rec.username), long_text(96));
  EXPECT_EQ(std::string(rec.password), long_text(64));
  EXPECT_EQ(rec.unused, 0);
  req = parse(R"({"h":{"url":5}})");
  ASSERT_EQ(get_http_params_by_json(1, &rec, req.get(), "h"), 0);
  EXPECT_STREQ(rec.url, "");  // a number is no text (the pages refuse it first)
  EXPECT_STREQ(rec.username, "");

  const HttpNotifyParams keep = rec;
  for (const char* bad : {R"({})", R"({"h":[]})", R"({"h":"http://x"})", R"({"h":null})"}) {
    req = parse(bad);
    EXPECT_EQ(get_http_params_by_json(1, &rec, req.get(), "h"), -1) << bad;
    EXPECT_TRUE(same_bytes(rec, keep)) << bad;
  }

  ASSERT_EQ(copy_http_notification_params(ZRDB_PATH, "motion_http_notification_params", 5, 1ULL << 40), 0);
  HttpNotifyParams copied{};
  ASSERT_EQ(read_http_notification_params(ZRDB_PATH, "motion_http_notification_params", 40, &copied), 0);
  EXPECT_EQ(copied.chn_id, 40);
  EXPECT_STREQ(copied.password, "p%d");
}

TEST_F(ActionCodec, PtzRows) {
  auto req = parse(R"({"ptzParams":[
      {"acto_ptz_channel":2,"acto_ptz_type":1,"acto_ptz_preset":7,"acto_ptz_patrol":0,"acto_ptz_pattern":9},
      {"acto_ptz_channel":0,"acto_ptz_type":2,"acto_ptz_preset":1},
      {"acto_ptz_channel":5,"acto_ptz_type":3,"acto_ptz_pattern":4}]})");
  json_object* arr = json_array_member(req.get(), "ptzParams");
  PtzActionTable t = filled<PtzActionTable>(0x19);
  ASSERT_EQ(get_ptz_params_by_json(12, PTZ_TYPE_MOTION, arr, &t), 0);
  EXPECT_EQ(t.rows[0].owner_id, 12);
  EXPECT_EQ(t.rows[0].pattern, 9);
  EXPECT_EQ(t.rows[0].reserved, 0);
  EXPECT_EQ(t.rows[2].patrol, 0);  // missing member
  EXPECT_EQ(t.rows[3].owner_id, 0);  // table cleared

  EXPECT_EQ(set_ptz_params_by_json(12, PTZ_TYPE_MOTION, arr), 1);
  PtzActionTable stored{};
  ASSERT_EQ(read_ptz_params(ZRDB_PATH, PTZ_TYPE_MOTION, 12, &stored), 0);
  EXPECT_EQ(stored.rows[1].preset, 1);  // the empty row is stored ...
  JsonPtr j(get_ptz_params_json_object(PTZ_TYPE_MOTION, 12));
  // ... but not emitted, and the pattern never is.
  EXPECT_EQ(text_of(j),
            R"([{"acto_ptz_channel":2,"acto_ptz_type":1,"acto_ptz_preset":7,"acto_ptz_patrol":0},)"
            R"({"acto_ptz_channel":5,"acto_ptz_type":3,"acto_ptz_preset":0,"acto_ptz_patrol":0}])");
  // Each type keeps its own rows.
  j.reset(get_ptz_params_json_object(PTZ_TYPE_ALARM_IN, 12));
  EXPECT_EQ(text_of(j), "[]");

  ASSERT_EQ(copy_ptz_params_all(ZRDB_PATH, PTZ_TYPE_MOTION, 12, 1ULL << 3), 0);
  ASSERT_EQ(read_ptz_params(ZRDB_PATH, PTZ_TYPE_MOTION, 3, &stored), 0);
  EXPECT_EQ(stored.rows[0].owner_id, 3);
  EXPECT_EQ(stored.rows[2].ptz_channel, 5);
}

TEST_F(ActionCodec, PtzPeopleCountingTableAndBounds) {
  std::string many = "[";
  for (int i = 0; i < 300; ++i) many += string_printf("%s{\"acto_ptz_channel\":%d}", i ? "," : "", i + 1);
  many += "]";
  JsonPtr arr(json_tokener_parse(many.c_str()));
  PtzActionTable t{};
  ASSERT_EQ(get_ptz_params_by_json(0, 9, arr.get(), &t), 0);
  EXPECT_EQ(t.rows[63].ptz_channel, 64);  // at most 64 rows
  EXPECT_EQ(set_ptz_params_by_json(1, PTZ_TYPE_PEOPLE_CNT, arr.get()), 1);
  JsonPtr j(get_ptz_params_json_object(PTZ_TYPE_PEOPLE_CNT, 1));
  EXPECT_EQ(json_array_size(j.get()), 8u);  // its own table of 8 rows
  j.reset(get_ptz_params_json_object(PTZ_TYPE_MOTION, 1));
  EXPECT_EQ(json_array_size(j.get()), 0u);

  struct Bad {
    int owner;
    int type;
    const char* json;
  };
  const Bad bad[] = {{-1, 1, "[]"}, {64, 1, "[]"}, {0, -1, "[]"}, {0, 64, "[]"},
                     {0, 1, "{}"},  {0, 1, "\"x\""}, {0, 1, "null"}};
  for (const Bad& b : bad) {
    JsonPtr a(json_tokener_parse(b.json));
    PtzActionTable keep = filled<PtzActionTable>(0x01);
    EXPECT_EQ(get_ptz_params_by_json(b.owner, b.type, a.get(), &keep), -1) << b.json;
    EXPECT_EQ(keep.rows[0].owner_id, 0x01010101);
    EXPECT_EQ(set_ptz_params_by_json(b.owner, b.type, a.get()), 0) << b.json;
  }
  // Elements of the wrong type give empty rows, not a crash.
  arr.reset(json_tokener_parse(R"([1,"a",[2],null,{"acto_ptz_channel":"3"}])"));
  ASSERT_EQ(get_ptz_params_by_json(0, 1, arr.get(), &t), 0);
  EXPECT_EQ(t.rows[0].ptz_channel, 0);
  EXPECT_EQ(t.rows[4].ptz_channel, 3);
  EXPECT_EQ(get_smart_event_ptz_type(0), 5);
  EXPECT_EQ(get_smart_event_ptz_type(8), 13);
  EXPECT_EQ(get_smart_event_ptz_type(9), -1);
  EXPECT_EQ(get_smart_event_ptz_type(-1), -1);
}

TEST(CopyMask, Decoding) {
  struct Case {
    const char* json;
    uint64_t mask;
  };
  const Case cases[] = {
      {R"({"copyCnt":3,"copyChn":[0,5,70]})", (1ULL << 0) | (1ULL << 5)},
      {R"({"copyCnt":2,"copyChn":[1,2,3]})", (1ULL << 1) | (1ULL << 2)},
      {R"({"copyCnt":1000000,"copyChn":[63]})", 1ULL << 63},
      {R"({"copyCnt":0,"copyChn":[1]})", 0},
      {R"({"copyCnt":-4,"copyChn":[1]})", 0},
      {R"({"copyChn":[1]})", 0},
      {R"({"copyCnt":2})", 0},
      {R"({"copyCnt":2,"copyChn":{"0":1}})", 0},
      {R"({"copyCnt":2,"copyChn":"0,1"})", 0},
      {R"({"copyCnt":"2","copyChn":["4",-1,null,[3]]})", 1ULL << 4},
      {R"({"copyCnt":5,"copyChn":[1.5,true,{},64,4294967297]})", 0},
  };
  for (const Case& c : cases) {
    auto req = parse(c.json);
    EXPECT_EQ(get_copy_flag_by_json(req.get(), "copyChn", "copyCnt"), c.mask) << c.json;
  }
  EXPECT_EQ(get_copy_flag_by_json(nullptr, "copyChn", "copyCnt"), 0u);
}

TEST_F(ActionCodec, AudioFileMask) {
  EXPECT_EQ(get_audio_file_id_mask(), 0u);
  AudioFileList list{};
  list.entries[0].used = 1;
  list.entries[3].used = 1;
  list.entries[9].used = 1;
  list.entries[5].used = 2;  // only 1 counts
  ASSERT_EQ(write_audio_file_list(ZRDB_PATH, &list), 0);
  EXPECT_EQ(get_audio_file_id_mask(), (1u << 0) | (1u << 3) | (1u << 9));
}

TEST_F(ActionCodec, WholeFileHelpers) {
  const std::string path = env_.path("/tmp/data.bin");
  std::string data("a\0b\xff", 4);
  ASSERT_EQ(zr_wirte_file_data(path.c_str(), data.data(), data.size()), 0);
  size_t len = 99;
  char* buf = zr_get_file_data(path.c_str(), &len);
  ASSERT_NE(buf, nullptr);
  EXPECT_EQ(std::string(buf, len), data);
  std::free(buf);
  // Truncates a longer file.
  ASSERT_EQ(zr_wirte_file_data(path.c_str(), "xy", 2), 0);
  buf = zr_get_file_data(path.c_str(), &len);
  EXPECT_EQ(std::string(buf, len), "xy");
  std::free(buf);
  ASSERT_EQ(zr_wirte_file_data(path.c_str(), nullptr, 0), 0);
  buf = zr_get_file_data(path.c_str(), &len);
  EXPECT_NE(buf, nullptr);
  EXPECT_EQ(len, 0u);
  std::free(buf);

  len = 5;
  EXPECT_EQ(zr_get_file_data(env_.path("/tmp/missing").c_str(), &len), nullptr);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(zr_get_file_data(env_.path("/tmp").c_str(), &len), nullptr);  // a folder
  EXPECT_EQ(zr_wirte_file_data(env_.path("/no/such/dir/f").c_str(), "x", 1), -1);
  EXPECT_EQ(zr_wirte_file_data(nullptr, "x", 1), -1);
}

}  // namespace

namespace {

// Random JSON values of every type, nested a few levels, with the member
// names the decoders look for.
json_object* random_json(unsigned* seed, int depth) {
  static const char* const kNames[] = {"m", "chnid", "mode", "time", "url", "username", "password",
                                       "startTime", "endTime", "actionType", "acto_ptz_channel", "copyCnt"};
  int kind = rand_r(seed) % (depth > 0 ? 8 : 5);
  switch (kind) {
    case 0: return nullptr;
    case 1: return json_object_new_int(rand_r(seed) % 3 ? rand_r(seed) % 100 - 10 : rand_r(seed));
    case 2: return json_object_new_string(std::string(static_cast<size_t>(rand_r(seed) % 700), 'k').c_str());
    case 3: return json_object_new_double(rand_r(seed) / 7.0);
    case 4: return json_object_new_boolean(rand_r(seed) % 2);
    case 5:
    case 6: {
      json_object* a = json_object_new_array();
      int n = rand_r(seed) % 14;
      for (int i = 0; i < n; ++i) json_object_array_add(a, random_json(seed, depth - 1));
      return a;
    }
    default: {
      json_object* o = json_object_new_object();
      int n = rand_r(seed) % 5;
      for (int i = 0; i < n; ++i)
        json_object_object_add(o, kNames[rand_r(seed) % std::size(kNames)], random_json(seed, depth - 1));
      return o;
    }
  }
}

using CodecShapes = StoreTest;

// Whatever shape a request takes, the decoders neither crash nor write
// outside their records (the sanitizer build checks the latter).
TEST_F(CodecShapes, RandomRequestsNeverCrash) {
  unsigned seed = 12345;
  static ScheduleRecord sched;
  static WhiteLedBlock blocks[2];
  for (int round = 0; round < 400; ++round) {
    JsonPtr req(json_object_new_object());
    json_object_object_add(req.get(), "m", random_json(&seed, 4));
    json_object_object_add(req.get(), "copyCnt", random_json(&seed, 1));
    json_object* m = json_object_object_get(req.get(), "m");
    get_schedule_by_json(req.get(), "m", &sched);
    get_schedule_by_json_ipc(req.get(), "m", &sched);
    TriggerAlarmOutItem items[2] = {};
    get_event_chn_alarmout_by_object(1, req.get(), "m", items);
    get_white_params_by_json(1, blocks, req.get(), "m");
    WhiteLedRow rows[8];
    get_pcnt_white_params_by_json(1, rows, req.get(), "m");
    HttpNotifyParams http{};
    get_http_params_by_json(1, &http, req.get(), "m");
    PtzActionTable table{};
    get_ptz_params_by_json(1, 1, m, &table);
    get_copy_flag_by_json(req.get(), "m", "copyCnt");
    EXPECT_LE(std::strlen(http.url), 512u);
    EXPECT_LE(std::strlen(items[0].text), 64u);
  }
  EXPECT_EQ(set_ptz_params_by_json(2, 1, nullptr), 0);
}

}  // namespace
