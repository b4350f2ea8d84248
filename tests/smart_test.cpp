// Smart event analytics end to end, and the smart-event action store that
// the analytics, licence plate and camera schedule pages share.
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "core/event_records.h"
#include "core/smart_records.h"
#include "event_e2e.h"
#include "platform/zrdb.h"
#include "temp_root_test.h"

namespace {

class SmartRecordsTest : public TempRootTest {};

TEST_F(SmartRecordsTest, RefusesOwnersOutsideTheirRanges) {
  SmartEventAction r;
  std::memset(&r, 0x5a, sizeof r);
  for (auto [ch, ev] : {std::pair{-1, 0}, {64, 0}, {0, -1}, {0, 9}}) {
    EXPECT_EQ(-1, write_smart_event(ZRDB_PATH, &r, ch, ev)) << ch << "/" << ev;
    EXPECT_EQ(-1, read_smart_event(ZRDB_PATH, &r, ch, ev)) << ch << "/" << ev;
  }
  ScheduleRecord* s = new ScheduleRecord();
  EXPECT_EQ(-1, write_smart_event_effective_schedule(ZRDB_PATH, 0, 9, s));
  EXPECT_EQ(-1, read_smart_event_ptz_schedule(ZRDB_PATH, 64, 0, s));
  delete s;
  char name[64] = "x";
  EXPECT_EQ(-1, get_vca_white_table_name(2, 0, name, sizeof name));
  EXPECT_STREQ("", name);
  EXPECT_EQ(-1, get_vca_http_table_name(0, 9, name, sizeof name));
  EXPECT_EQ(-1, get_vca_http_table_name(0, 1, name, 8));  // too small: nothing cut
  EXPECT_STREQ("", name);
  EXPECT_TRUE(smart_event_tables(9).effective.empty());
}

TEST_F(SmartRecordsTest, EachKindKeepsItsOwnTables) {
  char w0[64], w1[64], h0[64], h1[64];
  ASSERT_EQ(0, get_vca_white_table_name(0, 4, w0, sizeof w0));
  ASSERT_EQ(0, get_vca_white_table_name(1, 4, w1, sizeof w1));
  ASSERT_EQ(0, get_vca_http_table_name(0, 4, h0, sizeof h0));
  ASSERT_EQ(0, get_vca_http_table_name(1, 4, h1, sizeof h1));
  EventTables t = smart_event_tables(4);
  EXPECT_EQ(w0, t.white_sche);
  EXPECT_EQ(w1, t.white_params);
  EXPECT_EQ(h0, t.http_sche);
  EXPECT_EQ(h1, t.http_params);
  EXPECT_EQ(9, t.ptz_type);
  EventTables other = smart_event_tables(5);
  for (auto [a, b] : {std::pair{&t.effective, &other.effective}, {&t.audible, &other.audible},
                      {&t.email, &other.email}, {&t.ptz, &other.ptz}, {&t.white_sche, &other.white_sche},
                      {&t.http_params, &other.http_params}})
    EXPECT_NE(*a, *b);

  // Writing one kind's schedule leaves the other kinds' rows alone.
  ScheduleRecord* s = new ScheduleRecord();
  std::strcpy(s->days[0].sections[0].start_time, "08:00");
  ASSERT_EQ(0, write_smart_event_effective_schedule(ZRDB_PATH, 3, 4, s));
  std::memset(s, 0, sizeof *s);
  ASSERT_EQ(0, read_smart_event_effective_schedule(ZRDB_PATH, 3, 5, s));
  EXPECT_STREQ("", s->days[0].sections[0].start_time);
  ASSERT_EQ(0, read_smart_event_effective_schedule(ZRDB_PATH, 3, 4, s));
  EXPECT_STREQ("08:00", s->days[0].sections[0].start_time);
  delete s;
}

TEST_F(SmartRecordsTest, CopyNamesEachTargetAndSkipsTheSource) {
  SmartEventAction r{};
  r.channel = 2;
  r.tri_alarms = 5;
  ASSERT_EQ(0, write_smart_event(ZRDB_PATH, &r, 2, 1));
  SmartEventAction other{};
  other.tri_alarms = 9;
  ASSERT_EQ(0, write_smart_event(ZRDB_PATH, &other, 7, 1));
  ASSERT_EQ(0, copy_smart_event_action(ZRDB_PATH, 2, 1, (1ULL << 2) | (1ULL << 63)));
  SmartEventAction got{};
  ASSERT_EQ(0, read_smart_event(ZRDB_PATH, &got, 63, 1));
  EXPECT_EQ(63, got.channel);
  EXPECT_EQ(5, got.tri_alarms);
  ASSERT_EQ(0, read_smart_event(ZRDB_PATH, &got, 7, 1));
  EXPECT_EQ(9, got.tri_alarms);
  ASSERT_EQ(0, read_smart_event(ZRDB_PATH, &got, 63, 0));  // another kind: untouched
  EXPECT_EQ(0, got.tri_alarms);
  EXPECT_EQ(-1, copy_smart_event_action(ZRDB_PATH, 2, 9, 1));
}


// ---- End to end -------------------------------------------------------------------------

// A record of the core written out by offset, independently of the
// handler's structs.
struct Rec {
  std::string b;
  explicit Rec(size_t n) : b(n, '\0') {}
  Rec& i32(size_t off, int32_t v) {
    std::memcpy(&b[off], &v, 4);
    return *this;
  }
  Rec& u8(size_t off, uint8_t v) {
    b[off] = static_cast<char>(v);
    return *this;
  }
  Rec& text(size_t off, const std::string& t) {
    std::memcpy(&b[off], t.data(), t.size());
    return *this;
  }
  std::string hex() const { return to_hex(b.data(), b.size()); }
};

class SmartE2e : public EventE2e {
 protected:
  // The core's record of one request (the last one sent during the call).
  std::string sent(const std::vector<std::string>& j, int id) {
    std::string found;
    for (const std::string& l : j)
      if (l.compare(0, std::to_string(id).size() + 1, std::to_string(id) + " ") == 0) found = l.substr(l.find(' ') + 1);
    return found;
  }
  SmartEventAction action(int ch, int event) { return read<SmartEventAction>(smart_event_family(event), ch); }
  // Posts the getter's reply (with "dialog" and "copyChn" added when given)
  // back to the setter; returns the bytes the setter sent.
  std::string post_back(const std::string& get, const std::string& get_body, const std::string& set, int req,
                        const std::string& extra = "") {
    std::string reply = json_body(send(get, get_body));
    EXPECT_FALSE(reply.empty()) << get;
    if (!extra.empty()) reply = reply.substr(0, reply.size() - 1) + "," + extra + "}";
    std::vector<std::string> j;
    EXPECT_EQ(send(set, reply, &j).out, kTextOk) << set << " " << reply;
    return sent(j, req);
  }
};

TEST_F(SmartE2e, LineCrossingConvertsBetweenCanvasAndPixels) {
  env_.start_sim();
  std::vector<std::string> j;
  // No picture size: 1920 x 1080. Missing numbers are 0, raised to 1.
  ASSERT_EQ(send("/6139", R"({"chnid":2,"enable":1,"objtype":3,"copyChn":"001",)"
                          R"("line":[{"position":"230;130;460;260","direction":1},{"position":"10;20","direction":2}]})",
                 &j)
                .out,
            kTextOk);
  Rec rec(612);
  rec.i32(0, 2).i32(4, 1);
  rec.i32(16, 960).i32(20, 540).i32(24, 1920).i32(28, 1080).i32(32, 1);
  rec.i32(140, 42).i32(144, 83).i32(148, 1).i32(152, 1).i32(156, 2);
  rec.i32(512, 3).text(516, "001");
  EXPECT_EQ(j, (std::vector<std::string>{line(3248, rec.hex())}));  // no dialog: no 1412; lines 3 and 4 absent

  EXPECT_EQ(json_body(send("/6138", R"({"channel":2})")),
            R"({"line":[{"direction":1,"position":"230;130;460;260"},{"direction":2,"position":"10;20;0;0"},)"
            R"({"direction":0,"position":"0;0;0;0"},{"direction":0,"position":"0;0;0;0"}],)"
            R"("enable":1,"width":1920,"height":1080,"objtype":3,"chnid":2})");

  // The camera's own size: the line the camera reports ends in its corner.
  Rec corner(612);
  corner.i32(8, 1920).i32(12, 1080).i32(16, 960).i32(20, 540).i32(24, 1919).i32(28, 1079);
  env_.stop_sim();
  env_.start_sim("3241 reply hex=" + corner.hex() + "\n");
  EXPECT_NE(json_body(send("/6138", R"({"channel":0})")).find(R"("position":"230;130;460;260")"), std::string::npos);
  // A camera without a picture size gives canvas zeros.
  env_.stop_sim();
  Rec nosize(612);
  nosize.i32(16, 960).i32(20, 540).i32(24, INT32_MAX).i32(28, INT32_MIN);
  env_.start_sim("3241 reply hex=" + nosize.hex() + "\n");
  EXPECT_NE(json_body(send("/6138", R"({"channel":0})")).find(R"("position":"0;0;0;0")"), std::string::npos);
  env_.stop_sim();
  // Products do not overflow: the largest coordinates convert within range.
  Rec big(612);
  big.i32(8, 1).i32(12, 1).i32(16, INT32_MAX).i32(20, INT32_MIN).i32(24, 100000000).i32(28, -100000000);
  env_.start_sim("3241 reply hex=" + big.hex() + "\n");
  EXPECT_NE(json_body(send("/6138", R"({"channel":0})")).find(R"("position":"2147483647;-2147483648;2147483647;-2147483648")"),
            std::string::npos);
}

TEST_F(SmartE2e, LineCrossingRoundTripAndOverflowOnSave) {
  env_.start_sim();
  std::vector<std::string> j;
  ASSERT_EQ(send("/6139", R"({"chnid":1,"width":1280,"height":720,"enable":1,"line":[{"position":"100;50;300;250","direction":2},)"
                          R"({"position":"1;2;3;4"},{"position":"459;259;458;258"},{"position":"7;8;9;10","direction":1}]})",
                 &j)
                .out,
            kTextOk);
  const std::string first = sent(j, 3248);
  EXPECT_EQ(first.substr(32, 32), i32(278) + i32(138) + i32(835) + i32(692));
  // What the getter answers, posted back, sends the same detector.
  EXPECT_EQ(post_back("/6138", R"({"channel":1})", "/6139", 3248), first);
  EXPECT_EQ(post_back("/6138", R"({"channel":1})", "/6139", 3248), first);

  // Huge canvas values and picture sizes stay in range.
  ASSERT_EQ(send("/6139", R"({"chnid":1,"width":2147483647,"height":2147483647,)"
                          R"("line":[{"position":"2147483647;-5;460;260"}]})",
                 &j)
                .out,
            kTextOk);
  EXPECT_EQ(sent(j, 3248).substr(32, 32), i32(INT32_MAX) + i32(1) + i32(INT32_MAX) + i32(INT32_MAX));
}

TEST_F(SmartE2e, RegionDetectorsAndTheirPolygons) {
  env_.start_sim();
  std::vector<std::string> j;
  const std::string info =
      R"("regionInfo":[{"enable":1,"objType":2,"time":9,"region":[{"polygonX":"1,2","polygonY":"3,4"},{"polygonX":"5","polygonY":"6"}]},)"
      R"({"enable":1,"objType":1,"region":[{"polygonX":"7","polygonY":"8"}]}])";
  // Region type 1: only the first polygon of each region.
  ASSERT_EQ(send("/6133", R"({"chnid":3,"type":0,"enable":1,"sensitivity":55,"objtype":1,"region":")" + std::string(310, 'R') +
                              R"(","polygonX":")" + std::string(70, 'X') + R"(","polygonY":"9","copyChn":"1",)"
                              R"("regionType":1,"regionScene":4,)" + info + "}",
                 &j)
                .out,
            kTextOk);
  Rec r(4480);
  r.i32(0, 3).i32(4, 1).i32(24, 55).text(40, std::string(299, 'R')).i32(344, 1);
  r.text(348, std::string(63, 'X')).text(412, "9").text(476, "1").i32(564, 1).i32(568, 4);
  r.i32(572, 1).i32(580, 9).i32(584, 2).text(652, "1,2").text(716, "3,4");
  r.i32(572 + 976, 1).i32(584 + 976, 1).text(652 + 976, "7").text(716 + 976, "8");
  EXPECT_EQ(j, (std::vector<std::string>{line(3244, r.hex())}));

  // Region type 2: five polygons; any type but 0 is the exit.
  ASSERT_EQ(send("/6133", R"({"chnid":3,"type":7,"regionType":2,)" + info + "}", &j).out, kTextOk);
  Rec x(4480);
  x.i32(0, 3).i32(564, 2);
  x.i32(572, 1).i32(580, 9).i32(584, 2).text(652, "1,2").text(716, "3,4").text(652 + 192, "5").text(716 + 192, "6");
  x.i32(572 + 976, 1).i32(584 + 976, 1).text(652 + 976, "7").text(716 + 976, "8");
  EXPECT_EQ(j, (std::vector<std::string>{line(3245, x.hex())}));
  // Region type 0: no region info at all.
  ASSERT_EQ(send("/6133", R"({"chnid":3,"type":1,"regionType":0,)" + info + "}", &j).out, kTextOk);
  EXPECT_EQ(sent(j, 3245), Rec(4480).i32(0, 3).hex());

  // Each kind fills its own fields.
  ASSERT_EQ(send("/6135", R"({"chnid":4,"enable":1,"sensitivity":2,"ignore_time":3,"time":4,"tracks":5,"objtype":6})", &j).out,
            kTextOk);
  EXPECT_EQ(sent(j, 3246), Rec(4480).i32(0, 4).i32(4, 1).i32(24, 2).i32(340, 3).i32(344, 6).hex());
  ASSERT_EQ(send("/6137", R"({"chnid":4,"enable":1,"sensitivity":2,"region":"R","ignore_time":3,"objtype":6})", &j).out, kTextOk);
  EXPECT_EQ(sent(j, 3247), Rec(4480).i32(0, 4).i32(4, 1).i32(24, 2).hex());
  ASSERT_EQ(send("/6141", R"({"chnid":4,"enable":1,"sensitivity":2,"time":4,"size":7,"region":"R","objtype":6})", &j).out,
            kTextOk);
  EXPECT_EQ(sent(j, 3249), Rec(4480).i32(0, 4).i32(4, 1).i32(28, 4).i32(32, 7).text(40, "R").i32(344, 6).hex());
  ASSERT_EQ(send("/6143", R"({"chnid":4,"enable":1,"sensitivity":2,"tracks":5,"region":"R"})", &j).out, kTextOk);
  EXPECT_EQ(sent(j, 3250), Rec(4480).i32(0, 4).i32(4, 1).i32(36, 5).hex());

  // The readers answer the keys of their kind.
  EXPECT_EQ(json_body(send("/6136", R"({"channel":4})")), R"({"enable":1,"sensitivity":2,"chnid":4})");
  EXPECT_EQ(json_body(send("/6142", R"({"channel":4})")), R"({"enable":1,"tracks":5,"chnid":4})");
  std::string loiter = json_body(send("/6140", R"({"channel":4})"));
  EXPECT_EQ(loiter.rfind(R"({"region":"R","enable":1,"time":4,"size":7,"objtype":6,"polygonX":"","polygonY":"","regionType":0,)", 0), 0u)
      << loiter;
  std::string motion = json_body(send("/6134", R"({"channel":4})"));
  EXPECT_EQ(motion.rfind(R"({"region":"","enable":1,"sensitivity":2,"ignore_time":3,"objtype":6,"polygonX":"","polygonY":"",)", 0), 0u)
      << motion;
  std::string entrance = json_body(send("/6132", R"({"channel":3,"type":0})"));
  EXPECT_EQ(entrance.rfind(R"({"region":")" + std::string(299, 'R') + R"(","enable":1,"sensitivity":55,"objtype":1,"polygonX":")" +
                               std::string(63, 'X') + R"(","polygonY":"9","regionType":1,"regionScene":4,"regionInfo":[{"enable":1,"objType":2,"time":9,"region":[{"polygonX":"1,2","polygonY":"3,4"},{"polygonX":"","polygonY":""},)",
                           0),
            0u)
      << entrance;
  EXPECT_NE(entrance.find(R"(,"type":0,"chnid":3})"), std::string::npos);

  // Round trips: the detector goes back byte for byte.
  const std::string e = post_back("/6132", R"({"channel":3,"type":0})", "/6133", 3244);
  EXPECT_EQ(e, r.text(476, std::string(1, '\0')).hex());  // copies are not answered: no copy
  EXPECT_EQ(post_back("/6132", R"({"channel":3,"type":1})", "/6133", 3245), Rec(4480).i32(0, 3).hex());
  const std::string motion_rec = Rec(4480).i32(0, 4).i32(4, 1).i32(24, 2).i32(340, 3).i32(344, 6).hex();
  EXPECT_EQ(post_back("/6134", R"({"channel":4})", "/6135", 3246), motion_rec);
  EXPECT_EQ(post_back("/6136", R"({"channel":4})", "/6137", 3247), Rec(4480).i32(0, 4).i32(4, 1).i32(24, 2).hex());
  EXPECT_EQ(post_back("/6140", R"({"channel":4})", "/6141", 3249),
            Rec(4480).i32(0, 4).i32(4, 1).i32(28, 4).i32(32, 7).text(40, "R").i32(344, 6).hex());
  EXPECT_EQ(post_back("/6142", R"({"channel":4})", "/6143", 3250), Rec(4480).i32(0, 4).i32(4, 1).i32(36, 5).hex());
}

TEST_F(SmartE2e, DialogBelongsToThePageAndItsChannel) {
  env_.start_sim();
  std::vector<std::string> j;
  // Region entrance actions of channel 2, with PTZ rows of its own type.
  ASSERT_EQ(send("/6133", R"({"chnid":2,"type":0,"dialog":{"chnid":2,"triAlarms":5,"interval":7,"triChannels":"0110",)"
                          R"("ptzParams":[{"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":2}]}})",
                 &j)
                .out,
            kTextOk);
  EXPECT_EQ(j.front(), line(1412, u64(1ULL << 2)));
  EXPECT_EQ(j.size(), 2u);
  SmartEventAction a = action(2, 0);
  EXPECT_EQ(a.tri_alarms, 5);
  EXPECT_EQ(a.interval, 7);
  EXPECT_EQ(a.chn_mask, 6u);
  EXPECT_STREQ(a.tri_channels, "0110");
  EXPECT_EQ(a.channel, 2);

  // A tamper page naming type 0, or a type and PTZ type that are not its
  // own, writes only tamper's actions and tamper's PTZ rows.
  ASSERT_EQ(send("/6137", R"({"chnid":2,"type":0,"dialog":{"chnid":2,"triAlarms":9,"ptzChnId":5,"ptzType":1,)"
                          R"("ptzParams":[{"acto_ptz_channel":4,"acto_ptz_type":1}]}})")
                .out,
            kTextOk);
  ASSERT_EQ(send("/6137", R"({"chnid":2,"type":-4,"dialog":{"chnid":2,"interval":3}})").out, kTextOk);
  EXPECT_EQ(action(2, 0).tri_alarms, 5);
  EXPECT_EQ(action(2, 3).tri_alarms, 9);
  EXPECT_EQ(action(2, 3).interval, 3);
  EXPECT_EQ(count("ptz_params_1"), 0);  // motion's rows
  EXPECT_EQ(read<PtzActionTable>("ptz_params_8", 2).rows[0].ptz_channel, 4);
  EXPECT_EQ(read<PtzActionTable>("ptz_params_5", 2).rows[0].ptz_channel, 3);

  // A dialog of another channel, or of none, is refused before anything.
  for (const char* b : {R"({"chnid":2,"type":0,"dialog":{"chnid":3,"triAlarms":1}})",
                        R"({"chnid":2,"type":0,"dialog":{"triAlarms":1}})", R"({"chnid":2,"type":0,"dialog":{"chnid":"x"}})",
                        R"({"chnid":2,"type":0,"dialog":[1]})", R"({"chnid":64,"type":0})", R"({"chnid":"x","type":0})",
                        R"({"chnid":2})", R"({"chnid":2,"type":"x"})", "nope"}) {
    EXPECT_EQ(send("/6133", b, &j).out, kTextError) << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  EXPECT_EQ(count(smart_event_family(0)), 1);
  EXPECT_EQ(count(smart_event_family(1)), 0);
}

TEST_F(SmartE2e, DialogCopiesToOtherChannelsButNeverTheSource) {
  env_.start_sim();
  std::vector<std::string> j;
  const std::string copy = "0111" + std::string(59, '0') + "1" + "1111";  // 68 characters: channel 63 and beyond
  ASSERT_EQ(send("/6141", R"({"chnid":1,"copyChn":")" + copy + R"(","dialog":{"chnid":1,"triAlarms":3,"audioId":2,)"
                          R"("effective":)" + week_json("01:00", "02:00", 1) + R"(,"httpSche":)" + week_json("03:00", "04:00", 1) +
                              R"(,"whiteInfo":[[2,1,5]],"httpParams":{"url":"http://a"}}})",
                 &j)
                .out,
            kTextOk);
  const uint64_t mask = (1ULL << 1) | (1ULL << 2) | (1ULL << 3) | (1ULL << 63);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0], line(1412, u64(mask)));
  EXPECT_EQ(sent(j, 3249).substr(476 * 2, 130), to_hex(copy.data(), 64) + "00");
  for (int ch : {2, 3, 63}) {
    SmartEventAction a = action(ch, SMART_EVENT_LOITERING);
    EXPECT_EQ(a.channel, ch);
    EXPECT_EQ(a.tri_alarms, 3);
    EXPECT_EQ(a.audio_id, 2);
    std::string body = json_body(send("/6148", R"({"chnid":)" + std::to_string(ch) + R"(,"event":5})"));
    EXPECT_NE(body.find(R"("effective":)" + week_reply_prefix("01:00", "02:00", 1)), std::string::npos) << body;
    EXPECT_NE(body.find(R"("whiteInfo":[{"chnid":2,"mode":1,"time":5}])"), std::string::npos) << body;
  }
  EXPECT_EQ(count(smart_event_family(SMART_EVENT_LOITERING)), 4);
  char http[64];
  ASSERT_EQ(0, get_vca_http_table_name(1, SMART_EVENT_LOITERING, http, sizeof http));
  EXPECT_STREQ(read<HttpNotifyParams>(http, 63).url, "http://a");
  EXPECT_EQ(count(smart_event_family(SMART_EVENT_HUMAN)), 0);
}

TEST_F(SmartE2e, EventSchedulePageRoundTrip) {
  env_.start_sim();
  std::vector<std::string> j;
  const std::string body = R"({"chnid":6,"event":7,"enable":1,"triAlarms":2,"interval":4,"email_interval":5,"email_pic_enable":1,)"
                           R"("tri_channels_pic":"01","ptz_interval":6,"alarmout_interval":7,"triChannels":"1",)"
                           R"("effective":)" + week_json("05:00", "06:00", 2) + R"(,"audible":)" + week_json("07:00", "08:00", 1) +
                           R"(,"triChnAlarms":["a","b"],"white_interval":8,"audioId":3,"http_notification_interval":9,)"
                           R"("httpSche":)" + week_json("09:00", "10:00", 1) + R"(,"ptzParams":[{"acto_ptz_channel":1}]})";
  ASSERT_EQ(send("/6149", body, &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1412, u64(1ULL << 6))}));
  SmartEventAction a = action(6, 7);
  EXPECT_EQ(a.enable, 1);
  EXPECT_EQ(a.http_notification_interval, 0);  // not this page's key
  EXPECT_STREQ(a.tri_chn_alarms[1], "b");
  EXPECT_EQ(count("ptz_params_12"), 0);
  char table[64];
  get_vca_http_table_name(0, 7, table, sizeof table);
  EXPECT_EQ(count(table), 0);

  const std::string reply = json_body(send("/6148", R"({"chnid":6,"event":7})"));
  EXPECT_EQ(reply.rfind(R"({"action":[{"chnid":6,"event":7,"enable":1,"triAlarms":2,"interval":4,"email_interval":5,)"
                        R"("email_pic_enable":1,"tri_channels_pic":"01","ptz_interval":6,"alarmout_interval":7,"triChannels":"1",)"
                        R"("effective":)" + week_reply_prefix("05:00", "06:00", 2),
                        0),
            0u)
      << reply;
  EXPECT_NE(reply.find(R"("triChnAlarms":["a","b"],"white":)"), std::string::npos);
  EXPECT_NE(reply.find(R"("white_interval":8,"audioId":3,"audioIdMask":0,"ptzParams":[]}]})"), std::string::npos) << reply;

  // The reply's action object posted back changes no stored byte.
  zrdb_close_all();
  const SmartEventAction before = action(6, 7);
  std::string obj = reply.substr(std::string(R"({"action":[)").size());
  obj = obj.substr(0, obj.size() - 2);
  ASSERT_EQ(send("/6149", obj, &j).out, kTextOk);
  const SmartEventAction after = action(6, 7);
  EXPECT_EQ(0, std::memcmp(&before, &after, sizeof before));
  EXPECT_EQ(json_body(send("/6148", R"({"chnid":6,"event":7})")), reply);

  for (const char* b : {R"({"chnid":6,"event":9,"enable":1})", R"({"chnid":64,"event":1,"enable":1})",
                        R"({"chnid":6,"event":-1,"enable":1})", R"({"chnid":6,"enable":1})", "x"}) {
    EXPECT_EQ(send("/6149", b, &j).out, kTextError) << b;
    EXPECT_TRUE(j.empty());
  }
  EXPECT_EQ(count(smart_event_family(1)), 0);
  EXPECT_EQ(send("/6148", R"({"chnid":6,"event":9})").out, kJsonError);
  EXPECT_EQ(send("/6148", R"({"chnid":64,"event":0})").out, kJsonError);
}

TEST_F(SmartE2e, TriggerShortcutAndShortForm) {
  env_.start_sim();
  std::vector<std::string> j;
  ASSERT_EQ(send("/6150", R"({"channel":9,"type":0,"event":2,"triAlarms":6,"triChannels":"1"})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1412, u64(1ULL << 9))}));
  ASSERT_EQ(send("/6150", R"({"channel":9,"type":1,"event":2,"triAlarms":1,"triChannels":")" + std::string(40, '1') + R"("})").out,
            kTextOk);
  SmartEventAction a = action(9, 2);
  EXPECT_EQ(a.tri_alarms, 6);
  EXPECT_EQ(a.chn_mask, 0xFFFFFFFFu);
  EXPECT_EQ(std::string(a.tri_channels), std::string(40, '1'));
  EXPECT_EQ(json_body(send("/6151", R"({"channel":9,"type":2})")),
            R"({"chnid":9,"enable":0,"triAlarms":6,"interval":0,"email_interval":0,"email_pic_enable":0,"tri_channels_pic":"",)"
            R"("triChannels":")" + std::string(40, '1') + R"("})");

  for (const char* b : {R"({"channel":64,"type":0,"event":2,"triAlarms":1})", R"({"channel":-1,"type":0,"event":2})",
                        R"({"channel":9,"type":0,"event":9,"triAlarms":1})", R"({"channel":9,"type":0})",
                        R"({"channel":"x","type":0,"event":2,"triAlarms":1})", R"({"channel":9,"type":0,"event":"x"})"}) {
    EXPECT_EQ(send("/6150", b, &j).out, kTextError) << b;
    EXPECT_TRUE(j.empty());
  }
  EXPECT_EQ(count(smart_event_family(2)), 1);
  EXPECT_EQ(send("/6151", R"({"channel":64,"type":2})").out, kTextError);
  EXPECT_EQ(send("/6151", R"({"channel":9,"type":9})").out, kTextError);
}

TEST_F(SmartE2e, PeopleCountingSavesPixelsAndItsEventSwitch) {
  env_.start_sim();
  std::vector<std::string> j;
  const std::string body =
      R"({"chnid":1,"width":1280,"height":720,"osdEnable":1,"osdFontSize":2,"osdTextPos":3,"osdType":4,"sensitivity":5,)"
      R"("lineNum":2,"triggerType":1,"triggerEnable":1,"totalAlarmEnable":1,"totalAlarmThreshold":[10,20,30,40],)"
      R"("lineEnable":[0,1,0,0],"autoResetEnable":[1,0,0,0],"direction":[2,1,0,0],"showCntEnable":[1,1,0,0],)"
      R"("autoResetWeekday":[1,2,3,4],"autoResetHour":[5,6,7,8],"autoResetMin":[9,10,11,12],"autoResetSec":[13,14,15,16],)"
      R"("alarmEnable":[1,0,1,0],"alarmThreshold":[[1,2,3,4],[5,6,7,8]],"position":["100;50;300;250","2;2;460;260","5;6;7;8","9;10;11;12"],)"
      R"("effective":[[["00:00","12:00"]]],"copyChn":"01","dialog":{"chnid":1,"triAlarms":4,)"
      R"("effective":)" + week_json("01:00", "02:00", 1) + R"(,"email":)" + week_json("03:00", "04:00", 1) + "}}";
  ASSERT_EQ(send("/6145", body, &j).out, kTextOk);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0], line(1412, u64(1ULL << 1)));  // "01" names only the source
  Rec r(26536);
  r.i32(0, 1).i32(4, 1280).i32(8, 720).i32(12, 1).i32(16, 2).i32(20, 3).i32(24, 5).u8(28, 4).i32(32, 2);
  r.i32(36, 1).i32(40, 1).i32(44, 1).i32(48, 10).i32(52, 20).i32(56, 30).i32(60, 40);
  const int32_t lines[4][17] = {
      {0, 1, 2, 1, 278, 138, 835, 692, 1, 5, 9, 13, 1, 1, 2, 3, 4},
      {1, 0, 1, 1, 6, 6, 1280, 720, 2, 6, 10, 14, 0, 5, 6, 7, 8},
      {0, 0, 0, 0, 14, 17, 19, 22, 3, 7, 11, 15, 1, 0, 0, 0, 0},
      {0, 0, 0, 0, 25, 28, 31, 33, 4, 8, 12, 16, 0, 0, 0, 0, 0},
  };
  for (int i = 0; i < 4; ++i) {
    const size_t o = 64 + 56 * i;
    for (int k = 0; k < 4; ++k) r.u8(o + k, static_cast<uint8_t>(lines[i][k]));
    for (int k = 4; k < 17; ++k) r.i32(o + 4 * (k - 3), lines[i][k]);
  }
  for (int d = 0; d < 7; ++d) r.i32(288 + 3272 * d + 3264, 1);
  r.text(288, "00:00").text(288 + 32, "12:00").text(26464, "01");
  EXPECT_EQ(j[1], line(3254, r.hex()));
  SmartEventAction a = action(1, 7);
  EXPECT_EQ(a.enable, 1);
  EXPECT_EQ(a.tri_alarms, 4);
  // People counting keeps no effective schedule of its own.
  EXPECT_EQ(count(smart_event_schedule_table(7, "effective")), 0);
  EXPECT_EQ(count(smart_event_schedule_table(7, "mail")), 1);

  const std::string reply = json_body(send("/6144", R"({"channel":1})"));
  EXPECT_EQ(reply.rfind(R"({"width":1280,"height":720,"osdEnable":1,"osdFontSize":2,"osdTextPos":3,"osdType":4,"sensitivity":5,)"
                        R"("lineNum":2,"lineEnable":[0,1,0,0],"autoResetEnable":[1,0,0,0],"direction":[2,1,0,0],)"
                        R"("showCntEnable":[1,1,0,0],"startX":[278,6,14,25],"startY":[138,6,17,28],"stopX":[835,1280,19,31],)"
                        R"("stopY":[692,720,22,33],"autoResetWeekday":[1,2,3,4],"autoResetHour":[5,6,7,8],"autoResetMin":[9,10,11,12],)"
                        R"("autoResetSec":[13,14,15,16],"position":["100;50;300;250","2;2;460;260","5;6;7;8","9;10;11;12"],)",
                        0),
            0u)
      << reply;
  // Read then save moves nothing.
  EXPECT_EQ(post_back("/6144", R"({"channel":1})", "/6145", 3254), r.text(26464, std::string(2, '\0')).hex());

  // No line counts: the event is off.
  ASSERT_EQ(send("/6145", R"({"chnid":1,"lineEnable":[0,0,0,0]})").out, kTextOk);
  EXPECT_EQ(action(1, 7).enable, 0);
  EXPECT_EQ(action(1, 7).tri_alarms, 4);
  for (const char* b : {R"({"chnid":64})", R"({"chnid":1,"dialog":{"chnid":2}})", "x"}) {
    EXPECT_EQ(send("/6145", b, &j).out, kTextError) << b;
    EXPECT_TRUE(j.empty());
  }
}

TEST_F(SmartE2e, EngineSettingsSupportAndCounterClearing) {
  env_.start_sim();
  std::vector<std::string> j;
  ASSERT_EQ(send("/6147", R"({"chnid":0,"fps":15,"mode":1,"installation":2,"analysis":3,"width":1920,"height":1080,)"
                          R"("position":[{"minStartX":10,"minStartY":20,"minWidth":0,"minHeight":-5,)"
                          R"("maxStartX":100,"maxStartY":200,"maxWidth":460,"maxHeight":260}]})",
                 &j)
                .out,
            kTextOk);
  Rec s(64);
  s.i32(8, 15).i32(12, 1).i32(16, 2).i32(20, 3).i32(24, 1920).i32(28, 1080);
  s.i32(32, 42).i32(36, 83).i32(40, 1).i32(44, 1).i32(48, 417).i32(52, 831).i32(56, 1920).i32(60, 1080);
  EXPECT_EQ(j, (std::vector<std::string>{line(3260, s.hex())}));
  const std::string reply = json_body(send("/6146", R"({"channel":0})"));
  EXPECT_EQ(reply, R"({"fps":15,"mode":1,"installation":2,"analysis":3,"width":1920,"height":1080,"vcaType":1,)"
                   R"("position":[{"minStartX":10,"minStartY":20,"minWidth":1,"minHeight":1,"maxStartX":100,"maxStartY":200,)"
                   R"("maxWidth":460,"maxHeight":260}],"chnid":0})");
  std::vector<std::string> back;
  ASSERT_EQ(send("/6147", reply, &back).out, kTextOk);
  EXPECT_EQ(sent(back, 3260), s.i32(44, 4).i32(40, 4).hex());  // the 1 x 1 minimum is 4 x 4 pixels
  EXPECT_EQ(send("/6147", R"({"chnid":64})", &j).out, kJsonError);
  EXPECT_EQ(send("/6147", "x", &j).out, "");
  EXPECT_TRUE(j.empty());

  EXPECT_EQ(json_body(send("/6157", R"({"channel":5})", &j)), R"({"support":1,"type":1})");
  EXPECT_EQ(j, (std::vector<std::string>{line(3257, i32(5))}));
  EXPECT_EQ(send("/6157", R"({"channel":64})").out, kJsonError);

  ASSERT_EQ(send("/6154", R"({"channel":3,"line":2,"resetdb":1})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3261, Rec(20).i32(0, 3).i32(12, 2).i32(16, 1).hex())}));
  EXPECT_EQ(send("/6154", R"({"channel":64,"line":2})", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
}

TEST_F(SmartE2e, LeftAndRemovedObjects) {
  env_.start_sim();
  std::vector<std::string> j;
  ASSERT_EQ(send("/6171", R"({"chnid":5,"sensitivity":3,"left_enable":1,"remove_enable":1,"min_time":30,"region":"Q",)"
                          R"("polygonX":"1","polygonY":"2","copyChn":"000011","regionType":2,"regionScene":1,)"
                          R"("regionInfo":[{"leftEnable":1,"removeEnable":0,"region":[{"polygonX":"a","polygonY":"b"},{},)"
                          R"({"polygonX":"c","polygonY":"d"}]}],"dialog":{"chnid":5,"interval":8}})",
                 &j)
                .out,
            kTextOk);
  Rec r(4468);
  r.i32(0, 5).i32(4, 3).i32(8, 1).i32(12, 1).i32(16, 30).text(36, "Q").text(336, "1").text(400, "2").text(464, "000011");
  r.i32(552, 2).i32(556, 1).i32(560, 1).text(640, "a").text(704, "b").text(640 + 384, "c").text(704 + 384, "d");
  EXPECT_EQ(j, (std::vector<std::string>{line(1412, u64((1ULL << 4) | (1ULL << 5))), line(3269, r.hex())}));
  EXPECT_EQ(action(4, 8).interval, 8);
  const std::string reply = json_body(send("/6172", R"({"channel":5})"));
  EXPECT_EQ(reply.rfind(R"({"region":"Q","left_enable":1,"remove_enable":1,"min_time":30,"sensitivity":3,"polygonX":"1",)"
                        R"("polygonY":"2","regionType":2,"regionScene":1,"regionInfo":[{"leftEnable":1,"removeEnable":0,"region":[)"
                        R"({"polygonX":"a","polygonY":"b"},{"polygonX":"","polygonY":""},{"polygonX":"c","polygonY":"d"},)",
                        0),
            0u)
      << reply;
  std::vector<std::string> back;
  ASSERT_EQ(send("/6171", reply, &back).out, kTextOk);
  EXPECT_EQ(back, (std::vector<std::string>{line(3269, r.text(464, std::string(6, '\0')).hex())}));
  EXPECT_EQ(send("/6171", "x", &j).out, "");
  EXPECT_EQ(send("/6171", R"({"chnid":99})", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
}

TEST_F(SmartE2e, CameraFormsRoundTrip) {
  env_.start_sim();
  std::vector<std::string> j;
  // Line 0 from the centre to the corner with a first sub-line from the
  // origin; every other line and sub-line from (23,13) to (46,26).
  std::string lines = "[";
  for (int k = 0; k < 4; ++k) {
    lines += std::string(k ? "," : "") + R"({"enable":1,"objtype":2,"direction":1,"position":")" +
             (k ? "23;13;46;26" : "230;130;460;260") + R"(","line":[)";
    for (int s = 0; s < 5; ++s)
      lines += std::string(s ? "," : "") + R"({"position":")" + (k == 0 && s == 0 ? "0;0;46;26" : "23;13;46;26") +
               R"(","direction":2})";
    lines += "]}";
  }
  lines += "]";
  ASSERT_EQ(send("/6193", R"({"chnid":0,"sensitivity":4,"lineType":2,"lineScene":3,"copyChn":"1","line":)" + lines +
                              R"(,"dialog":{"chnid":0,"triAlarms":1}})",
                 &j)
                .out,
            kTextOk);
  Rec l(628);
  l.i32(4, 4);
  for (int k = 0; k < 4; ++k) {
    const size_t o = 16 + 128 * k;
    l.i32(o, 1).i32(o + 4, k ? 96 : 960).i32(o + 8, k ? 54 : 540).i32(o + 12, k ? 192 : 1920).i32(o + 16, k ? 108 : 1080);
    l.i32(o + 20, 1).i32(o + 24, 2);
    for (int s = 0; s < 5; ++s) {
      const size_t so = o + 28 + 20 * s;
      const bool origin = k == 0 && s == 0;
      l.i32(so, origin ? 1 : 96).i32(so + 4, origin ? 1 : 54).i32(so + 8, 192).i32(so + 12, 108).i32(so + 16, 2);
    }
  }
  l.text(532, "1").i32(600, 2).i32(604, 3);
  EXPECT_EQ(j, (std::vector<std::string>{line(1412, u64(1)), line(1210, l.hex())}));
  EXPECT_EQ(action(0, 4).tri_alarms, 1);
  const std::string reply = json_body(send("/6192", R"({"chnid":0})"));
  EXPECT_EQ(reply.rfind(R"({"chnid":0,"width":1920,"height":1080,"sensitivity":4,"line":[{"enable":1,"objtype":2,"direction":1,)"
                        R"("position":"230;130;460;260","line":[{"position":"0;0;46;26","direction":2},{"position":"23;13;46;26",)",
                        0),
            0u)
      << reply;
  std::vector<std::string> back;
  ASSERT_EQ(send("/6193", reply, &back).out, kTextOk);
  EXPECT_EQ(back, (std::vector<std::string>{line(1210, l.text(532, std::string(1, '\0')).hex())}));

  std::string pos = "[";
  for (int i = 0; i < 8; ++i)
    pos += std::string(i ? "," : "") + R"({"minStartX":)" + std::to_string(i) + R"(,"maxHeight":)" + std::to_string(100 + i) + "}";
  ASSERT_EQ(send("/6195", R"({"chnid":1,"fps":10,"mode":1,"installation":2,"analysis":3,"width":640,"height":480,"copyChn":"11",)"
                          R"("position":)" + pos + "]}",
                 &j)
                .out,
            kTextOk);
  Rec s(356);
  s.i32(0, 1).i32(8, 10).i32(12, 1).i32(16, 2).i32(20, 3).i32(24, 640).i32(28, 480).text(288, "11");
  for (int i = 0; i < 8; ++i) s.i32(32 + 4 * i, i).i32(32 + 32 * 7 + 4 * i, 100 + i);
  EXPECT_EQ(j, (std::vector<std::string>{line(1212, s.hex())}));
  const std::string reply2 = json_body(send("/6194", R"({"chnid":1})"));
  EXPECT_EQ(reply2.rfind(R"({"chnid":1,"fps":10,"mode":1,"installation":2,"analysis":3,"width":640,"height":480,"position":[)"
                         R"({"minStartX":0,"minStartY":0,"minWidth":0,"minHeight":0,"maxStartX":0,"maxStartY":0,"maxWidth":0,)"
                         R"("maxHeight":100,"width":640,"height":480},)",
                         0),
            0u)
      << reply2;
  ASSERT_EQ(send("/6195", reply2, &back).out, kTextOk);
  EXPECT_EQ(back, (std::vector<std::string>{line(1212, s.text(288, std::string(2, '\0')).hex())}));
  EXPECT_EQ(send("/6192", R"({"chnid":64})").out, kJsonError);
  EXPECT_EQ(send("/6193", R"({"chnid":64})", &j).out, kTextError);
  EXPECT_EQ(send("/6195", R"({"chnid":64})", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
}

// Texts of the core that fill their fields without a terminator stop at the
// field's end.
TEST_F(SmartE2e, UnterminatedTextsOfTheCore) {
  Rec region(4480);
  region.text(40, std::string(300, 'R')).text(348, std::string(64, 'X')).text(412, std::string(64, 'Y'));
  region.i32(564, 2);
  for (int i = 0; i < 4; ++i)
    for (int p = 0; p < 5; ++p) region.text(652 + 976 * i + 192 * p, std::string(128, 'P'));
  Rec left(4468);
  left.text(36, std::string(300, 'L')).text(336, std::string(128, 'Q'));
  env_.start_sim("3237 reply hex=" + region.hex() + "\n3268 reply hex=" + left.hex() + "\n");
  const std::string r = json_body(send("/6132", R"({"channel":0,"type":0})"));
  EXPECT_EQ(r.rfind(R"({"region":")" + std::string(300, 'R') + R"(","enable":0,"sensitivity":0,"objtype":0,"polygonX":")" +
                        std::string(64, 'X') + R"(","polygonY":")" + std::string(64, 'Y') + R"(","regionType":2,)",
                    0),
            0u)
      << r;
  EXPECT_NE(r.find(R"({"polygonX":")" + std::string(64, 'P') + R"(","polygonY":")" + std::string(64, 'P') + R"("})"),
            std::string::npos);
  const std::string l = json_body(send("/6172", R"({"channel":0})"));
  EXPECT_EQ(l.rfind(R"({"region":")" + std::string(300, 'L') + R"(","left_enable":0,"remove_enable":0,"min_time":0,)"
                    R"("sensitivity":0,"polygonX":")" + std::string(64, 'Q') + R"(","polygonY":")" + std::string(64, 'Q') + R"(",)",
                    0),
            0u)
      << l;
}

// No reply in time, and requests that are not JSON.
TEST_F(SmartE2e, MissingRepliesAndTextsThatAreNotJson) {
  std::string script;
  for (int id : {3237, 3238, 3239, 3240, 3241, 3242, 3243, 3244, 3245, 3246, 3247, 3248, 3249, 3250, 3253, 3254, 3257,
                 3259, 3260, 3261, 3268, 3269, 1209, 1210, 1211, 1212})
    script += std::to_string(id) + " none\n";
  env_.start_sim(script);
  struct Case {
    const char* name;
    const char* body;
    const char* no_reply;
    const char* not_json;
  } cases[] = {
      {"/6132", R"({"channel":1,"type":0})", kJsonError, ""},
      {"/6133", R"({"chnid":1,"type":0})", kTextError, kTextError},
      {"/6134", R"({"channel":1})", kJsonError, ""},
      {"/6135", R"({"chnid":1})", kTextError, kTextError},
      {"/6136", R"({"channel":1})", kJsonError, ""},
      {"/6137", R"({"chnid":1})", kTextError, kTextError},
      {"/6138", R"({"channel":1})", kJsonError, ""},
      {"/6139", R"({"chnid":1})", kTextError, kTextError},
      {"/6140", R"({"channel":1})", kJsonError, ""},
      {"/6141", R"({"chnid":1})", kTextError, kTextError},
      {"/6142", R"({"channel":1})", kJsonError, ""},
      {"/6143", R"({"chnid":1})", kTextError, kTextError},
      {"/6144", R"({"channel":1})", kJsonError, ""},
      {"/6145", R"({"chnid":1})", kTextError, kTextError},
      {"/6146", R"({"channel":1})", kJsonError, ""},
      {"/6147", R"({"chnid":1})", kJsonError, ""},
      {"/6154", R"({"channel":1})", kJsonError, ""},
      {"/6157", R"({"channel":1})", kJsonError, ""},
      {"/6171", R"({"chnid":1})", kJsonError, ""},
      {"/6172", R"({"channel":1})", kJsonError, ""},
      {"/6192", R"({"chnid":1})", kJsonError, ""},
      {"/6193", R"({"chnid":1})", kTextError, kTextError},
      {"/6194", R"({"chnid":1})", kJsonError, ""},
      {"/6195", R"({"chnid":1})", kJsonError, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send(c.name, c.body, &j, "100").out, c.no_reply) << c.name;
    EXPECT_EQ(j.size(), 1u) << c.name;
    EXPECT_EQ(send(c.name, "{", &j, "100").out, c.not_json) << c.name;
    EXPECT_TRUE(j.empty()) << c.name;
  }
}

// A one-byte reply holds no whole record: every page answers its error at
// once. The wait limit is long, so a page that waited for more would stall
// the suite for 20 s per row.
TEST_F(SmartE2e, ShortRepliesAnswerThePageErrorAtOnce) {
  std::string script;
  for (int id : {3237, 3238, 3239, 3240, 3241, 3242, 3243, 3244, 3245, 3246, 3247, 3248, 3249, 3250, 3253, 3254, 3257,
                 3259, 3260, 3261, 3268, 3269, 1209, 1210, 1211, 1212})
    script += std::to_string(id) + " reply hex=00\n";
  env_.start_sim(script);
  struct Case {
    const char* name;
    const char* body;
    const char* out;
  } cases[] = {
      {"/6132", R"({"channel":1,"type":0})", kJsonError}, {"/6132", R"({"channel":1,"type":1})", kJsonError},
      {"/6133", R"({"chnid":1,"type":0})", kTextError},   {"/6134", R"({"channel":1})", kJsonError},
      {"/6135", R"({"chnid":1})", kTextError},            {"/6136", R"({"channel":1})", kJsonError},
      {"/6137", R"({"chnid":1})", kTextError},            {"/6138", R"({"channel":1})", kJsonError},
      {"/6139", R"({"chnid":1})", kTextError},            {"/6140", R"({"channel":1})", kJsonError},
      {"/6141", R"({"chnid":1})", kTextError},            {"/6142", R"({"channel":1})", kJsonError},
      {"/6143", R"({"chnid":1})", kTextError},            {"/6144", R"({"channel":1})", kJsonError},
      {"/6145", R"({"chnid":1})", kTextError},            {"/6146", R"({"channel":1})", kJsonError},
      {"/6147", R"({"chnid":1})", kJsonError},            {"/6154", R"({"channel":1})", kJsonError},
      {"/6157", R"({"channel":1})", kJsonError},          {"/6171", R"({"chnid":1})", kJsonError},
      {"/6172", R"({"channel":1})", kJsonError},          {"/6192", R"({"chnid":1})", kJsonError},
      {"/6193", R"({"chnid":1})", kTextError},            {"/6194", R"({"chnid":1})", kJsonError},
      {"/6195", R"({"chnid":1})", kJsonError},
  };
  for (const Case& c : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send(c.name, c.body, &j, "20000").out, c.out) << c.name << " " << c.body;
    EXPECT_EQ(j.size(), 1u) << c.name;
  }
}

// A number the strict reader refuses ("x", 1.5, true), at the top of the
// request or inside its lists, refuses the whole request: the page's error,
// nothing sent to the camera, the action dialog not saved.
TEST_F(SmartE2e, RefusedNumbersSendAndStoreNothing) {
  env_.start_sim();
  const std::string dialog = R"(,"dialog":{"chnid":1,"interval":7}})";
  struct Case {
    const char* name;
    int event;  // the request carries this event's dialog; -1: none
    std::string body;
    const char* out;
  } cases[] = {
      {"/6133", SMART_EVENT_REGION_ENTRANCE, R"({"chnid":1,"type":0,"enable":"x"})", kTextError},
      {"/6133", SMART_EVENT_REGION_EXIT, R"({"chnid":1,"type":1,"sensitivity":1.5})", kTextError},
      {"/6133", SMART_EVENT_REGION_ENTRANCE, R"({"chnid":1,"type":0,"regionType":1,"regionInfo":[{"enable":true}]})",
       kTextError},
      {"/6135", SMART_EVENT_ADVANCED_MOTION, R"({"chnid":1,"ignore_time":"x"})", kTextError},
      {"/6137", SMART_EVENT_TAMPER, R"({"chnid":1,"sensitivity":true})", kTextError},
      {"/6139", SMART_EVENT_LINE_CROSSING, R"({"chnid":1,"width":"x"})", kTextError},
      {"/6139", SMART_EVENT_LINE_CROSSING, R"({"chnid":1,"line":[{"position":"1;1;2;2","direction":"x"}]})",
       kTextError},
      {"/6141", SMART_EVENT_LOITERING, R"({"chnid":1,"time":"x"})", kTextError},
      {"/6141", SMART_EVENT_LOITERING, R"({"chnid":1,"regionType":1,"regionInfo":[{"time":"x"}]})", kTextError},
      {"/6143", SMART_EVENT_HUMAN, R"({"chnid":1,"tracks":"1.5"})", kTextError},
      {"/6145", SMART_EVENT_PEOPLE_COUNTING, R"({"chnid":1,"lineEnable":[1,"x"]})", kTextError},
      {"/6145", SMART_EVENT_PEOPLE_COUNTING, R"({"chnid":1,"lineEnable":[1],"alarmThreshold":[[1,"x"]]})",
       kTextError},
      {"/6145", SMART_EVENT_PEOPLE_COUNTING, R"({"chnid":1,"lineEnable":[1],"osdType":"x"})", kTextError},
      {"/6147", -1, R"({"chnid":1,"fps":"x"})", kJsonError},
      {"/6147", -1, R"({"chnid":1,"position":[{"minStartX":"x"}]})", kJsonError},
      {"/6154", -1, R"({"channel":1,"line":"x"})", kJsonError},
      {"/6171", SMART_EVENT_LEFT_REMOVED, R"({"chnid":1,"min_time":"x"})", kJsonError},
      {"/6171", SMART_EVENT_LEFT_REMOVED, R"({"chnid":1,"regionType":1,"regionInfo":[{"leftEnable":"x"}]})",
       kJsonError},
      {"/6193", SMART_EVENT_LINE_CROSSING, R"({"chnid":1,"lineType":"x"})", kTextError},
      {"/6193", SMART_EVENT_LINE_CROSSING, R"({"chnid":1,"lineType":2,"line":[{"line":[{"direction":"x"}]}]})",
       kTextError},
      {"/6195", -1, R"({"chnid":1,"position":[{"minStartX":1.5}]})", kJsonError},
      // A text key holding a list or number: never read as its printed form
      // ([1] is not "[ 1 ]", whose '1' would name channel 2).
      {"/6137", SMART_EVENT_TAMPER, R"({"chnid":1,"copyChn":[1]})", kTextError},
      {"/6133", SMART_EVENT_REGION_ENTRANCE, R"({"chnid":1,"type":0,"polygonX":5})", kTextError},
      {"/6139", SMART_EVENT_LINE_CROSSING, R"({"chnid":1,"line":[{"position":[1,1,2,2]}]})", kTextError},
      {"/6145", SMART_EVENT_PEOPLE_COUNTING, R"({"chnid":1,"lineEnable":[1],"position":[7]})", kTextError},
      {"/6171", SMART_EVENT_LEFT_REMOVED, R"({"chnid":1,"region":{"a":1}})", kJsonError},
      {"/6193", SMART_EVENT_LINE_CROSSING, R"({"chnid":1,"copyChn":11})", kTextError},
      {"/6195", -1, R"({"chnid":1,"copyChn":[1]})", kJsonError},
  };
  for (const Case& c : cases) {
    const std::string body = c.event < 0 ? c.body : c.body.substr(0, c.body.size() - 1) + dialog;
    std::vector<std::string> j;
    EXPECT_EQ(send(c.name, body, &j).out, c.out) << body;
    EXPECT_TRUE(j.empty()) << body;
    if (c.event >= 0) {
      EXPECT_NE(action(1, c.event).interval, 7) << body;
    }
  }
  // A refused number of the action dialog refuses the detector write too,
  // and the schedules and actions page refuses its own.
  for (auto [name, body] :
       {std::pair{"/6137", R"({"chnid":1,"sensitivity":3,"dialog":{"chnid":1,"interval":"x","triAlarms":5}})"},
        {"/6193", R"({"chnid":1,"dialog":{"chnid":1,"email_interval":1.5,"triAlarms":5}})"},
        {"/6137", R"({"chnid":1,"dialog":{"chnid":1,"triChannels":[1],"triAlarms":5}})"},
        {"/6137", R"({"chnid":1,"dialog":{"chnid":1,"triAlarms":5,"ptzParams":[{"acto_ptz_channel":"x"}]}})"},
        {"/6137", R"({"chnid":1,"dialog":{"chnid":1,"triAlarms":5,"ptzParams":[{"acto_ptz_channel":2,"acto_ptz_preset":"x"}]}})"},
        {"/6137", R"({"chnid":1,"dialog":{"chnid":1,"triAlarms":5,"audible":[[["08:00",8,1]]]}})"},
        {"/6149", R"({"chnid":1,"event":3,"triAlarms":5,"interval":"x"})"}}) {
    std::vector<std::string> j;
    EXPECT_EQ(send(name, body, &j).out, kTextError) << body;
    EXPECT_TRUE(j.empty()) << body;
    EXPECT_NE(action(1, SMART_EVENT_TAMPER).tri_alarms, 5) << body;
    EXPECT_NE(action(1, SMART_EVENT_LINE_CROSSING).tri_alarms, 5) << body;
  }
  // The trigger shortcut: nothing stored for a refused "type" or value.
  for (const char* body : {R"({"channel":1,"event":3,"type":"x","triAlarms":5})",
                           R"({"channel":1,"event":3,"type":0,"triAlarms":"x"})"}) {
    std::vector<std::string> j;
    EXPECT_EQ(send("/6150", body, &j).out, kTextError) << body;
    EXPECT_TRUE(j.empty()) << body;
    EXPECT_NE(action(1, SMART_EVENT_TAMPER).tri_alarms, 5) << body;
  }
  // Decimal texts are numbers: the same kind of request is taken.
  std::vector<std::string> j;
  EXPECT_EQ(send("/6137", R"({"chnid":1,"sensitivity":"3")" + dialog, &j).out, kTextOk);
  EXPECT_EQ(j.size(), 2u);  // the event change, then the detector
  EXPECT_EQ(action(1, SMART_EVENT_TAMPER).interval, 7);
}

TEST_F(SmartE2e, StatusOfTheCore) {
  env_.start_sim("3248 reply hex=05000000\n3269 reply hex=00000000\n");
  EXPECT_EQ(send("/6139", R"({"chnid":1})").out, "Content-type: text/plain\r\n\r\nFAILED");
  EXPECT_EQ(send("/6171", R"({"chnid":1})").out, kTextOk);
}

TEST_F(SmartE2e, FailedStoreWriteIsNotAnsweredOk) {
  env_.start_sim();
  env_.write_file(ZRDB_PATH, std::string(4096, 'x'));
  std::vector<std::string> j;
  for (auto [name, body, error] :
       {std::tuple{"/6133", R"({"chnid":1,"type":0,"dialog":{"chnid":1,"interval":1}})", kTextError},
        {"/6145", R"({"chnid":1})", kTextError},
        {"/6149", R"({"chnid":1,"event":0,"interval":1})", kTextError},
        {"/6171", R"({"chnid":1,"dialog":{"chnid":1,"interval":1}})", kJsonError}}) {
    EXPECT_EQ(send(name, body, &j).out, error) << name;
    EXPECT_TRUE(j.empty()) << name;
  }
  EXPECT_EQ(send("/6150", R"({"channel":1,"type":0,"event":0,"triAlarms":1})", &j).out,
            "Content-type: text/plain\r\n\r\nERROT");
}

}  // namespace
