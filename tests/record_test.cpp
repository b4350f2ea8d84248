// Recording settings: the store operations they rely on (one column set for
// a channel mask, schedule copies), the strict request readers, and the ten
// pages end to end with their exact messages to the core and stored fields.
#include <json-c/json.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/camera_record.h"
#include "core/cgi_json.h"
#include "core/channel_list.h"
#include "core/record_row.h"
#include "core/table_columns.h"
#include "event_e2e.h"

namespace {

// The stored holiday as the pages see it, written out independently.
struct Holiday {
  int32_t id;
  char name[256];
  int32_t enable, type;
  int32_t dates[10];
};
static_assert(sizeof(Holiday) == 308, "");

struct ChannelList {  // request 1310
  int32_t ch[64];
  int32_t count;
};
struct AnrSet {  // request 2285
  int32_t ch[64];
  int32_t count, anr;
};

std::string list_hex(const std::vector<int32_t>& chans, bool with_anr, int32_t anr) {
  if (with_anr) {
    AnrSet s{};
    for (size_t i = 0; i < chans.size(); ++i) s.ch[i] = chans[i];
    s.count = static_cast<int32_t>(chans.size());
    s.anr = anr;
    return record_hex(s);
  }
  ChannelList l{};
  for (size_t i = 0; i < chans.size(); ++i) l.ch[i] = chans[i];
  l.count = static_cast<int32_t>(chans.size());
  return record_hex(l);
}

using RecordStore = TempRootTest;

// ---- Store operations and readers --------------------------------------------

TEST_F(RecordStore, ColumnSetTouchesOnlyMaskedRowsAndKeepsTheRest) {
  RecordRow row{};
  row.id = 2;
  row.mode = 1;
  row.prevRecordDuration = 7;
  ASSERT_EQ(write_record(ZRDB_PATH, &row, 2), 0);
  ASSERT_EQ(write_record(ZRDB_PATH, &row, 4), 0);

  ASSERT_EQ(copy_table_column_int(ZRDB_PATH, "record", "mode", 2, (1ULL << 2) | (1ULL << 63), "id"), 0);
  RecordRow got{};
  read_record(ZRDB_PATH, &got, 2);
  EXPECT_EQ(got.mode, 2);
  EXPECT_EQ(got.prevRecordDuration, 7);
  read_record(ZRDB_PATH, &got, 4);
  EXPECT_EQ(got.mode, 1);  // not in the mask
  // A row never written is created with its id, so readers see the value.
  read_record(ZRDB_PATH, &got, 63);
  EXPECT_EQ(got.id, 63);
  EXPECT_EQ(got.mode, 2);
  EXPECT_EQ(zrdb_count_records(ZRDB_PATH, "record"), 3);

  CameraRecord cam{};
  cam.enable = 1;
  std::strcpy(cam.ipAddr, "10.0.0.5");
  ASSERT_EQ(write_camera(ZRDB_PATH, &cam, 5), 0);
  ASSERT_EQ(copy_table_column_int(ZRDB_PATH, "camera", "anr", 1, 1ULL << 5, "id"), 0);
  ASSERT_EQ(copy_table_column_int(ZRDB_PATH, "camera", "record_stream", 2, 1ULL << 5, "id"), 0);
  CameraRecord c{};
  read_camera(ZRDB_PATH, &c, 5);
  EXPECT_EQ(c.cameraAnr, 1);
  EXPECT_EQ(c.recordStreamType, 2);
  EXPECT_STREQ(c.ipAddr, "10.0.0.5");

  // Unknown tables, columns and key columns write nothing.
  EXPECT_EQ(copy_table_column_int(ZRDB_PATH, "record", "audio", 1, 1, "id"), -1);
  EXPECT_EQ(copy_table_column_int(ZRDB_PATH, "nothing", "mode", 1, 1, "id"), -1);
  EXPECT_EQ(copy_table_column_int(ZRDB_PATH, "record", "mode", 1, 1, "mode"), -1);
  EXPECT_EQ(zrdb_count_records(ZRDB_PATH, "record"), 3);
}

TEST_F(RecordStore, ScheduleCopyWritesEveryMaskedChannel) {
  auto s = std::make_unique<RecordSchedule>();
  std::strcpy(s->days[6].plans[47].end_time, "24:00");
  s->days[7].wholedayActionType = 3;
  ASSERT_EQ(copy_record_schedules(ZRDB_PATH, s.get(), (1ULL << 0) | (1ULL << 63)), 0);
  auto got = std::make_unique<RecordSchedule>();
  ASSERT_EQ(read_record_schedule(ZRDB_PATH, got.get(), 63), 0);
  EXPECT_EQ(std::memcmp(got.get(), s.get(), sizeof *s), 0);
  EXPECT_EQ(zrdb_count_records(ZRDB_PATH, RECORD_SCHEDULE_FAMILY), 2);
  ASSERT_EQ(read_record_schedule(ZRDB_PATH, got.get(), 1), 0);  // never written: empty
  EXPECT_EQ(got->days[7].wholedayActionType, 0);
}

TEST(RequestNumbers, StrictReaderTakesIntegersAndDecimalTextsOnly) {
  JsonPtr o(json_tokener_parse(
      R"({"a":4,"b":"4","c":"x","d":1.5,"e":true,"f":null,"g":"4x","h":2147483648,"i":"-7","j":[1]})"));
  int32_t v = 99;
  EXPECT_TRUE(json_strict_int(o.get(), "a", &v));
  EXPECT_EQ(v, 4);
  EXPECT_TRUE(json_strict_int(o.get(), "b", &v));
  EXPECT_EQ(v, 4);
  EXPECT_TRUE(json_strict_int(o.get(), "i", &v));
  EXPECT_EQ(v, -7);
  for (const char* bad : {"c", "d", "e", "f", "g", "h", "j"}) {
    v = 99;
    EXPECT_EQ(json_int_member(o.get(), bad, &v), JSON_INT_BAD) << bad;
    EXPECT_EQ(v, 99) << bad;
    EXPECT_FALSE(json_plain_int(o.get(), bad, &v)) << bad;
  }
  EXPECT_EQ(json_int_member(o.get(), "zz", &v), JSON_INT_ABSENT);
  EXPECT_TRUE(json_plain_int(o.get(), "zz", &v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(json_strict_int_in(o.get(), "a", 0, 3, &v));
}

TEST(RequestChannelLists, CountIsBoundedByTheListAndChannelsTakenOnce) {
  struct Case {
    const char* json;
    int count, limit;
    std::vector<int32_t> want;
    bool has_last;
    int32_t last;
  } cases[] = {
      {R"({"l":[3,5,70]})", 3, 64, {3, 5}, true, 70},
      {R"({"l":[3]})", 40, 64, {3}, true, 3},  // no missing entries read as channel 0
      {R"({"l":[3,3,"3",4]})", 4, 64, {3, 4}, true, 4},
      {R"({"l":[1,"x",2]})", 2, 64, {1}, false, 0},
      {R"({"l":[1,20,40]})", 3, 32, {1, 20}, true, 40},
      {R"({"l":[1,2]})", -1, 64, {}, false, 0},
      {R"({"l":7})", 1, 64, {}, false, 0},
  };
  for (const Case& c : cases) {
    JsonPtr o(json_tokener_parse(c.json));
    RequestChannels r = take_request_channels(o.get(), "l", c.count, c.limit);
    EXPECT_EQ(std::vector<int32_t>(r.channels, r.channels + r.n), c.want) << c.json;
    uint64_t mask = 0;
    for (int32_t ch : c.want) mask |= 1ULL << ch;
    EXPECT_EQ(r.mask, mask) << c.json;
    EXPECT_EQ(r.has_last, c.has_last) << c.json;
    EXPECT_EQ(r.last, c.last) << c.json;
  }
  // 200 repeats of one channel fill one slot of the 64-entry list.
  std::string many = R"({"l":[)";
  for (int i = 0; i < 200; ++i) many += (i ? ",9" : "9");
  JsonPtr o(json_tokener_parse((many + "]}").c_str()));
  EXPECT_EQ(take_request_channels(o.get(), "l", 200, 64).n, 1);
}

// ---- Pages end to end -------------------------------------------------------------

class RecordE2e : public EventE2e {
 protected:
  std::string get(const std::string& name, const std::string& body, std::vector<std::string>* j = nullptr) {
    return json_body(send(name, body, j));
  }
};

const char kHoliday[] =
    R"({"id":3,"enable":1,"name":"New Year","type":2,"startYear":2027,"startMon":1,"startMDay":1,)"
    R"("startMWeek":0,"startWDay":5,"endYear":2027,"endMon":1,"endMDay":2,"endMWeek":0,"endWDay":6})";

TEST_F(RecordE2e, HolidayIsStoredListedAndPostedBackUnchanged) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6031", kHoliday, &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1401, ""), log_line(920, 4)}));
  Holiday h = read<Holiday>("holiday", 3);
  EXPECT_STREQ(h.name, "New Year");
  EXPECT_EQ(h.type, 2);
  EXPECT_EQ(h.dates[0], 2027);
  EXPECT_EQ(h.dates[9], 6);

  // A name is cut to 255 characters; absent dates are 0.
  EXPECT_EQ(send("/6031", R"({"id":0,"enable":0,"type":0,"name":")" + std::string(300, 'n') + R"("})").out, kTextOk);
  EXPECT_EQ(std::string(read<Holiday>("holiday", 0).name), std::string(255, 'n'));

  const std::string list = get("/6030", "");
  EXPECT_NE(list.find(R"({"id":3,"enable":1,"name":"New Year","type":2,"startYear":2027,)"), std::string::npos)
      << list;
  EXPECT_EQ(list.rfind(R"({"holidays":[{"id":0,"enable":0,"name":"nnn)", 0), 0u) << list;

  // The listed holiday posted back changes no stored byte.
  JsonPtr o(json_tokener_parse(list.c_str()));
  json_object* second = json_object_array_get_idx(json_object_object_get(o.get(), "holidays"), 1);
  const Holiday before = read<Holiday>("holiday", 3);
  EXPECT_EQ(send("/6031", json_object_to_json_string(second)).out, kTextOk);
  const Holiday after = read<Holiday>("holiday", 3);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

TEST_F(RecordE2e, HolidayRequestsOutsideTheModelAreRefusedBeforeAnyWrite) {
  env_.start_sim();
  for (const char* body : {R"({"id":32,"enable":1,"type":0})", R"({"id":-1,"enable":1,"type":0})",
                           R"({"id":"x","enable":1,"type":0})", R"({"enable":1,"type":0})",
                           R"({"id":1,"enable":2,"type":0})", R"({"id":1,"type":0})",
                           R"({"id":1,"enable":1,"type":-1})", R"({"id":1,"enable":1,"type":0,"startYear":"x"})",
                           "not json", ""}) {
    std::vector<std::string> j;
    EXPECT_EQ(send("/6031", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  EXPECT_EQ(count("holiday"), 0);
  // A decimal text is a number.
  EXPECT_EQ(send("/6031", R"({"id":"5","enable":"1","type":0})").out, kTextOk);
  EXPECT_EQ(read<Holiday>("holiday", 5).enable, 1);
}

// A week whose day 0 holds two plans and is switched on all day; day 1 is
// switched off but sends a whole-day action.
const char kWeek[] =
    R"([{"wholedayEnable":1,"wholedayActionType":2,"plans":[["08:00","12:00",1],["13:00","18:00",2]]},)"
    R"({"wholedayEnable":0,"wholedayActionType":5,"plans":[["00:00","24:00",3]]}])";

TEST_F(RecordE2e, ScheduleCopiesToListedChannelsAndTellsTheCore) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6041", std::string(R"({"cnt":3,"chnid":[3,5,70],"recordplanmode":1,"schedule":)") + kWeek + "}", &j)
                .out,
            kTextOk);
  const uint64_t both = (1ULL << 3) | (1ULL << 5);
  EXPECT_EQ(j, (std::vector<std::string>{line(1413, u64(both)), line(1411, u64(both)), log_line(907, 71)}));
  EXPECT_EQ(count(RECORD_SCHEDULE_FAMILY), 2);
  auto s = read<RecordSchedule>(RECORD_SCHEDULE_FAMILY, 5);
  EXPECT_STREQ(s.days[0].plans[1].start_time, "13:00");
  EXPECT_EQ(s.days[0].plans[1].action_type, 2);
  EXPECT_EQ(s.days[0].wholedayActionType, 2);
  EXPECT_EQ(s.days[1].wholedayEnable, 0);
  EXPECT_EQ(s.days[1].wholedayActionType, 0);  // the day is off
  EXPECT_STREQ(s.days[1].plans[0].end_time, "24:00");
  EXPECT_EQ(read<RecordRow>("record", 3).mode, 1);
  EXPECT_EQ(read<RecordRow>("record", 3).id, 3);

  // The same mode again changes no mode; a count past the list reads no
  // missing entry as channel 0.
  EXPECT_EQ(send("/6041", std::string(R"({"cnt":9,"chnid":[5],"recordplanmode":1,"schedule":)") + kWeek + "}", &j)
                .out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1413, u64(0)), line(1411, u64(1ULL << 5)), log_line(907, 6)}));
  EXPECT_EQ(count(RECORD_SCHEDULE_FAMILY), 2);

  const std::string body = get("/6040", "5");
  EXPECT_EQ(body.rfind(R"({"id":5,"schedule":[{"wholedayEnable":1,"wholedayActionType":2,"plans":[)"
                       R"({"startTime":"08:00","endTime":"12:00","actionType":1},)"
                       R"({"startTime":"13:00","endTime":"18:00","actionType":2},)"
                       R"({"startTime":"","endTime":"","actionType":0},)",
                       0),
            0u)
      << body.substr(0, 300);
  JsonPtr o(json_tokener_parse(body.c_str()));
  json_object* week = json_object_object_get(o.get(), "schedule");
  ASSERT_EQ(json_object_array_length(week), 8u);
  EXPECT_EQ(json_object_array_length(json_object_object_get(json_object_array_get_idx(week, 7), "plans")), 48u);

  // The schedule read back and sent again changes no stored byte.
  const RecordSchedule before = read<RecordSchedule>(RECORD_SCHEDULE_FAMILY, 5);
  const std::string again = std::string(R"({"cnt":1,"chnid":[5],"recordplanmode":1,"schedule":)") +
                            json_object_to_json_string_ext(week, JSON_C_TO_STRING_PLAIN) + "}";
  EXPECT_EQ(send("/6041", again).out, kTextOk);
  const RecordSchedule after = read<RecordSchedule>(RECORD_SCHEDULE_FAMILY, 5);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

TEST_F(RecordE2e, ScheduleRequestsThatWouldWipeOrMisreadAreRefused) {
  env_.start_sim();
  const std::string week = kWeek;
  struct Case {
    std::string body;
  } cases[] = {
      {R"({"chnid":[1],"recordplanmode":1,"schedule":)" + week + "}"},               // no count
      {R"({"cnt":1,"chnid":[1],"recordplanmode":1})"},                               // no schedule
      {R"({"cnt":1,"chnid":[1],"recordplanmode":1,"schedule":{}})"},                 // not a week
      {R"({"cnt":1,"chnid":[1],"recordplanmode":3,"schedule":)" + week + "}"},       // no such mode
      {R"({"cnt":1,"chnid":[1],"schedule":)" + week + "}"},                          // no mode
      {R"({"cnt":"x","chnid":[1],"recordplanmode":1,"schedule":)" + week + "}"},
      {R"({"cnt":1,"chnid":[1],"recordplanmode":1,"schedule":[{"plans":[["a","b","x"]]}]})"},
      {R"({"cnt":1,"chnid":[1],"recordplanmode":1,"schedule":[{"plans":[[1,2,3]]}]})"},
      {R"({"cnt":1,"chnid":[1],"recordplanmode":1,"schedule":[7]})"},
      {"garbage"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send("/6041", c.body, &j).out, "") << c.body;
    EXPECT_TRUE(j.empty()) << c.body;
  }
  EXPECT_EQ(count(RECORD_SCHEDULE_FAMILY), 0);
  EXPECT_EQ(count("record"), 0);
  for (const char* ch : {"64", "-1", "x", "", "3x", "40"}) EXPECT_EQ(send("/6040", ch).out, "") << ch;
}

TEST_F(RecordE2e, RecordModesListConfiguredChannelsAndWriteInOrder) {
  env_.start_sim();
  set_param_int(ZRDB_PATH, "max_cameras", 16);
  std::vector<std::string> j;
  EXPECT_EQ(send("/6043", R"({"records":[{"id":0,"mode":2},{"id":9,"mode":1},{"id":2,"mode":0}]})", &j).out,
            kTextOk);
  // The element's id chooses the row; each named channel is told, in order.
  EXPECT_EQ(j, (std::vector<std::string>{log_line(905, 0), line(1407, i32(0)), line(1407, i32(2)),
                                         line(1407, i32(9))}));
  EXPECT_EQ(read<RecordRow>("record", 9).mode, 1);
  EXPECT_EQ(read<RecordRow>("record", 9).id, 9);
  EXPECT_EQ(count("record"), 2);  // row 2 keeps mode 0: not written; row 1 not named
  EXPECT_EQ(send("/6043", R"({"records":[{"id":5,"mode":2}]})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{log_line(905, 0), line(1407, i32(5))}));
  EXPECT_EQ(read<RecordRow>("record", 5).mode, 2);
  EXPECT_EQ(read<RecordRow>("record", 0).mode, 2);
  ASSERT_EQ(send("/6043", R"({"records":[{"id":5,"mode":0}]})").out, kTextOk);

  const std::string list = get("/6042", "");
  EXPECT_EQ(list.rfind(R"({"records":[{"id":0,"mode":2},{"id":1,"mode":0},{"id":2,"mode":0},{"id":3,"mode":0},)", 0),
            0u)
      << list;
  JsonPtr o(json_tokener_parse(list.c_str()));
  EXPECT_EQ(json_object_array_length(json_object_object_get(o.get(), "records")), 16u);

  // The list posted back changes nothing.
  EXPECT_EQ(send("/6043", list).out, kTextOk);
  EXPECT_EQ(count("record"), 3);
  EXPECT_EQ(read<RecordRow>("record", 0).mode, 2);

  // One bad element: "ERROR" and nothing written.
  for (const char* body : {R"({"records":[{"id":0,"mode":1},{"id":64,"mode":1}]})",
                           R"({"records":[{"id":0,"mode":1},{"id":16,"mode":1}]})",  // beyond max_cameras
                           R"({"records":[{"id":0,"mode":1},{"id":1,"mode":3}]})",
                           R"({"records":[{"id":0,"mode":"x"}]})", R"({"records":[{"mode":1}]})",
                           R"({"records":[5]})"}) {
    EXPECT_EQ(send("/6043", body, &j).out, "Content-type: text/plain\r\n\r\nERROR") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  EXPECT_EQ(read<RecordRow>("record", 0).mode, 2);

  // More than 64 elements: the first 64 are read (the later ones, naming a
  // channel beyond max_cameras, are not even checked); a later element for
  // the same row wins.
  std::string many = R"({"records":[)";
  for (int i = 0; i < 70; ++i)
    many += std::string(i ? "," : "") + R"({"id":)" + std::to_string(i < 64 ? i % 16 : 40) + R"(,"mode":)" +
            (i < 48 ? "2" : "1") + "}";
  EXPECT_EQ(send("/6043", many + "]}", &j).out, kTextOk);
  EXPECT_EQ(j.size(), 17u);
  EXPECT_EQ(read<RecordRow>("record", 15).mode, 1);
  EXPECT_EQ(read<RecordRow>("record", 0).mode, 1);
  EXPECT_EQ(count("record"), 16);
}

// A "/6045" request for the listed channels.
std::string body(const std::string& chans, int anr, int stream) {
  return R"({"cnt":)" + std::to_string(std::count(chans.begin(), chans.end(), ',') + 1) + R"(,"chnid":[)" + chans +
         R"(],"camAnr":)" + std::to_string(anr) +
         R"(,"prevRecordOn":1,"prevRecordDuration":5,"postRecordOn":1,"postRecordDuration":30,)"
         R"("audioEnable":1,"recordExpDate":7,"recordStreamType":)" +
         std::to_string(stream) + "}";
}

class RecordAdvancedE2e : public RecordE2e {
 protected:
  void SetUp() override {
    RecordE2e::SetUp();
    // 0 and 4 may take ANR (4's camera refuses it in the stand-in when odd:
    // 5); 1 sits on a PoE port, 2 is switched off, 3 speaks protocol 1.
    struct Cam {
      int ch, enable, poe, protocol;
    } cams[] = {{0, 1, 0, 0}, {1, 1, 1, 0}, {2, 0, 0, 0}, {3, 1, 0, 1}, {4, 1, 0, 2}, {5, 1, 0, 0}};
    for (const Cam& c : cams) {
      CameraRecord rec{};
      rec.id = c.ch;
      rec.enable = c.enable;
      rec.poechannel = c.poe;
      rec.camProtocol = c.protocol;
      std::strcpy(rec.ipAddr, "192.168.1.20");
      ASSERT_EQ(write_camera(ZRDB_PATH, &rec, c.ch), 0);
    }
    zrdb_close_all();
  }
};

TEST_F(RecordAdvancedE2e, AnrGoesOnlyToCamerasThatCanTakeIt) {
  env_.start_sim();
  std::vector<std::string> j;
  auto r = send("/6045", body("0,1,2,3,4", 1, 1), &j);
  EXPECT_EQ(json_body(r), R"({"resp":0})");
  EXPECT_EQ(j, (std::vector<std::string>{line(1310, list_hex({0, 1, 2, 3, 4}, false, 0)), log_line(906, 0),
                                         line(2285, list_hex({0, 4}, true, 1))}));
  for (int ch : {0, 4}) EXPECT_EQ(read<CameraRecord>("camera", ch).cameraAnr, 1) << ch;
  for (int ch : {1, 2, 3}) EXPECT_EQ(read<CameraRecord>("camera", ch).cameraAnr, 0) << ch;
  for (int ch = 0; ch < 5; ++ch) {
    EXPECT_EQ(read<CameraRecord>("camera", ch).recordStreamType, 1) << ch;
    EXPECT_STREQ(read<CameraRecord>("camera", ch).ipAddr, "192.168.1.20");
    const RecordRow row = read<RecordRow>("record", ch);
    EXPECT_EQ(row.prevRecordDuration, 5);
    EXPECT_EQ(row.postRecordDuration, 30);
    EXPECT_EQ(row.recordExpDate, 7);
    EXPECT_EQ(row.audioEnable, 1);
  }

  EXPECT_EQ(get("/6044", "4"), R"({"id":4,"prevRecordOn":1,"prevRecordDuration":5,"postRecordOn":1,)"
                               R"("postRecordDuration":30,"audioEnable":1,"recordStreamType":1,"recordExpDate":7,)"
                               R"("cameraAnr":1,"camEnable":1,"camProtocol":2,"poeChannel":0})");

  // Clearing ANR reaches every camera that has it, PoE or not.
  EXPECT_EQ(json_body(send("/6045", body("4,0,4", 0, 1), &j)), R"({"resp":0})");
  EXPECT_EQ(j.back(), line(2285, list_hex({4, 0}, true, 0)));
  // One camera that refuses: the failure is reported.
  EXPECT_EQ(json_body(send("/6045", body("5", 1, 1), &j)), R"({"resp":-1})");
  EXPECT_EQ(j.back(), line(2285, list_hex({5}, true, 1)));
}

TEST_F(RecordAdvancedE2e, ReadBackSettingsPostedAgainChangeNothing) {
  env_.start_sim();
  ASSERT_EQ(json_body(send("/6045", body("0", 1, 2))), R"({"resp":0})");
  zrdb_close_all();
  const RecordRow row_before = read<RecordRow>("record", 0);
  const CameraRecord cam_before = read<CameraRecord>("camera", 0);
  JsonPtr o(json_tokener_parse(get("/6044", "0").c_str()));
  ASSERT_TRUE(o);
  json_object_object_add(o.get(), "camAnr", json_object_get(json_object_object_get(o.get(), "cameraAnr")));
  json_object_object_add(o.get(), "cnt", json_object_new_int(1));
  json_object_object_add(o.get(), "chnid", json_tokener_parse("[0]"));
  std::vector<std::string> j;
  EXPECT_EQ(json_body(send("/6045", json_object_to_json_string(o.get()), &j)), R"({"resp":0})");
  EXPECT_EQ(j.back(), line(2285, list_hex({}, true, 1)));
  const RecordRow row_after = read<RecordRow>("record", 0);
  const CameraRecord cam_after = read<CameraRecord>("camera", 0);
  EXPECT_EQ(std::memcmp(&row_before, &row_after, sizeof row_after), 0);
  EXPECT_EQ(std::memcmp(&cam_before, &cam_after, sizeof cam_after), 0);
}

TEST_F(RecordAdvancedE2e, InvalidSettingsAreRefusedBeforeAnyWrite) {
  env_.start_sim();
  const std::string good = body("0", 1, 1);
  auto without = [&](const std::string& key) {
    JsonPtr o(json_tokener_parse(good.c_str()));
    json_object_object_del(o.get(), key.c_str());
    return std::string(json_object_to_json_string(o.get()));
  };
  auto with = [&](const std::string& key, const std::string& v) {
    JsonPtr o(json_tokener_parse(good.c_str()));
    json_object_object_add(o.get(), key.c_str(), json_tokener_parse(v.c_str()));
    return std::string(json_object_to_json_string(o.get()));
  };
  const std::string bodies[] = {
      without("cnt"), without("chnid"), without("camAnr"), without("prevRecordOn"), without("postRecordDuration"),
      without("audioEnable"), without("recordStreamType"), with("prevRecordOn", "2"),
      with("prevRecordDuration", "-1"), with("postRecordOn", "-1"), with("audioEnable", "3"),
      with("recordStreamType", "3"), with("camAnr", "\"x\""), with("recordExpDate", "\"x\""), "{", "",
  };
  for (const std::string& b : bodies) {
    std::vector<std::string> j;
    EXPECT_EQ(send("/6045", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  EXPECT_EQ(count("record"), 0);
  for (const char* ch : {"64", "-1", "x"}) EXPECT_EQ(send("/6044", ch).out, "") << ch;
}

TEST_F(RecordE2e, CoreQueriesAnswerFromTheReplyAndFailWithoutOne) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(get("/6046", "6", &j), R"({"chnid":6,"support":1})");
  EXPECT_EQ(j, (std::vector<std::string>{line(2286, i32(6))}));
  EXPECT_EQ(get("/6046", "7"), R"({"chnid":7,"support":0})");
  EXPECT_EQ(send("/6046", "64", &j).out, "");
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(get("/6047", "", &j), R"({"primary":[0,1,2,3],"secondary":[4,5,-1,-1],"size":4})");
  EXPECT_EQ(j, (std::vector<std::string>{line(3218, "")}));
  env_.stop_sim();

  // An empty or short reply answers at once; no reply at all after the wait.
  struct Case {
    const char* script;
    const char* name;
    std::string body;
  } cases[] = {
      {"2286 reply\n", "/6046", "1"},
      {"2286 reply hex=01000000\n", "/6046", "1"},
      {"2286 none\n", "/6046", "1"},
      {"3218 reply\n", "/6047", ""},
      {"3218 none\n", "/6047", ""},
      {"2285 reply\n", "/6045", body("0", 0, 0)},
      {"2285 none\n", "/6045", body("0", 0, 0)},
  };
  for (const Case& c : cases) {
    env_.start_sim(c.script);
    EXPECT_EQ(send(c.name, c.body, nullptr, "200").out, kJsonError) << c.script;
    env_.stop_sim();
  }
}

TEST_F(RecordE2e, StreamListSizeFromTheCoreIsBounded) {
  std::string hex(516 * 2, '0');
  hex.replace(512 * 2, 8, "ff000000");  // size 255
  env_.start_sim("3218 reply hex=" + hex + "\n");
  JsonPtr o(json_tokener_parse(get("/6047", "").c_str()));
  ASSERT_TRUE(o);
  EXPECT_EQ(json_object_get_int(json_object_object_get(o.get(), "size")), 64);
  EXPECT_EQ(json_object_array_length(json_object_object_get(o.get(), "primary")), 64u);
}

}  // namespace
