// Motion detection, its action dialog and copies, the live motion map, the
// PTZ action rows and the alarm-input trigger copy, end to end; and the
// event reply dispatcher.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cgi/cgic.h"
#include "core/cgi_ipc.h"
#include "core/event_records.h"
#include "event_e2e.h"

void on_video_ipc_callback(void* ctx, void* header, void* payload);

namespace {

// The core's records of motion detection, written out independently.
struct Area {
  int32_t enable;
  char map[300];
  int32_t sensitivity, channel, rest[5];
};
static_assert(sizeof(Area) == 332, "");
struct FullTime {
  int32_t channel;
  uint8_t zero[64];
  struct Day {
    int32_t day, enable, sections[8][4];
  } days[8];
  uint8_t tail[60];
};
static_assert(sizeof(FullTime) == 1216, "");
struct FullTimeSwitch {
  int32_t channel, flag, list[64], count;
};
static_assert(sizeof(FullTimeSwitch) == 268, "");
struct AreaCopy {
  char map[300];
  int32_t sensitivity, channel, enable_ms, list[64], count;
};
static_assert(sizeof(AreaCopy) == 572, "");

FullTime full_time(int ch) {
  FullTime f{};
  f.channel = ch;
  for (int d = 0; d < 7; ++d) {
    f.days[d].day = d;
    f.days[d].enable = 1;
    for (int s = 0; s < 4; ++s) f.days[d].sections[s][2] = 24;
  }
  return f;
}

Area area(const std::string& map, int sens, int ch) {
  Area a{};
  std::memcpy(a.map, map.data(), map.size() < 299 ? map.size() : 299);
  a.sensitivity = sens;
  a.channel = ch;
  return a;
}

FullTimeSwitch full_time_switch(int ch, int flag, std::vector<int> list = {}) {
  FullTimeSwitch s{};
  s.channel = ch;
  s.flag = flag;
  for (int c : list) s.list[s.count++] = c;
  return s;
}

using MotionE2e = EventE2e;

TEST_F(MotionE2e, MotionPageChangesOnlyItsOwnFields) {
  env_.start_sim();
  std::vector<std::string> j;
  ASSERT_EQ(send("/6117",
                 R"({"chnid":1,"email_interval":30,"audioId":5,"triChnAlarms":["1","0"],"alarmout_interval":7,)"
                 R"("tri_channels_pic":"11","http_notification_interval":8})",
                 &j)
                .out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1403, i32(1))}));

  const std::string chans = "1" + std::string(32, '0') + "1" + std::string(36, '1');  // 70 characters
  const std::string table(400, 'A');
  auto r = send("/6012",
                R"({"camId":1,"enable":1,"sensitivity":60,"triChannels":")" + chans +
                    R"(","triAlarms":3,"interval":10,"motionTable":")" + table + R"(","enableMS":1})",
                &j);
  EXPECT_EQ(r.out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1403, i32(1)), line_of(3207, area(table, 60, 1)),
                                         line_of(3212, full_time_switch(1, 1)), line_of(3209, full_time(1)),
                                         log_line(909, 2)}));

  auto m = read<MotionRecord>("motion", 1);
  EXPECT_EQ(std::string(m.motion_table), std::string(367, 'A'));
  EXPECT_EQ(std::string(m.tri_channels), chans.substr(0, 64));
  EXPECT_EQ(m.chn_mask, 1u);  // characters from 33 on set no bit
  // The dialog's settings survive a save of the motion page.
  EXPECT_EQ(m.email_interval, 30);
  EXPECT_EQ(m.audio_id, 5);
  EXPECT_EQ(m.alarmout_interval, 7);
  EXPECT_STREQ(m.tri_chn_alarms[0], "1");
  EXPECT_STREQ(m.tri_channels_pic, "11");
  EXPECT_EQ(m.http_notification_interval, 0);  // the action page does not take it

  std::string body = json_body(send("/6010", R"({"chnid":1})"));
  EXPECT_EQ(body.rfind(R"({"chnid":1,"enable":1,"sensitivity":60,"triChannels":")" + chans.substr(0, 64) +
                           R"(","triAlarms":3,"interval":10,"enableMS":1,"motionTable":")" + std::string(367, 'A') +
                           R"(","email_enable":0,"email_interval":30,"email_pic_enable":0,"tri_channels_pic":"11","ptz_interval":0,"alarmout_interval":7,)",
                       0),
            0u)
      << body;
  EXPECT_NE(body.find(R"("triChnAlarms":["1","0"],)"), std::string::npos);
  EXPECT_NE(body.find(R"("audioId":5,"audioIdMask":0,"ptzParams":[]})"), std::string::npos) << body;

  // Without full-time detection the core gets the switch with flag 0 only.
  EXPECT_EQ(send("/6012", R"({"camId":1,"enable":0,"sensitivity":1,"triChannels":"","triAlarms":0,"interval":0,"motionTable":"B","enableMS":0})", &j).out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1403, i32(1)), line_of(3207, area("B", 1, 1)),
                                         line_of(3212, full_time_switch(1, 0)), log_line(909, 2)}));

  const char* invalid[] = {
      R"({"camId":1,"enable":3,"sensitivity":1,"triChannels":"","triAlarms":0,"interval":0,"motionTable":"","enableMS":0})",
      R"({"camId":64,"enable":1,"sensitivity":1,"triChannels":"","triAlarms":0,"interval":0,"motionTable":"","enableMS":0})",
      R"({"camId":1,"enable":1,"sensitivity":-1,"triChannels":"","triAlarms":0,"interval":0,"motionTable":"","enableMS":0})",
      R"({"camId":1,"enable":1,"sensitivity":1,"triChannels":"","triAlarms":0,"interval":0,"enableMS":0})",
      R"({"camId":1,"enable":1,"sensitivity":1,"triAlarms":0,"interval":0,"motionTable":"","enableMS":0})",
      "garbage",
  };
  for (const char* b : invalid) {
    EXPECT_EQ(send("/6012", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  EXPECT_EQ(read<MotionRecord>("motion", 1).sensitivity, 1);
}

TEST_F(MotionE2e, ActionDialogRoundTrip) {
  env_.start_sim();
  std::vector<std::string> j;
  // Only the channel: nothing is written, the core is still told.
  EXPECT_EQ(send("/6117", R"({"chnid":7})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1403, i32(7))}));
  EXPECT_EQ(count("motion"), 0);
  EXPECT_EQ(count("motion_effective_schedule"), 0);

  auto r = send("/6117",
                R"({"chnid":7,"enable":1,"interval":5,"triChannels":"0011","effective":)" + week_json("00:00", "24:00", 1) +
                    R"(,"audible":)" + week_json("01:00", "02:00", 2) + R"(,"email":)" + week_json("03:00", "04:00", 3) +
                    R"(,"ptz":)" + week_json("05:00", "06:00", 4) + R"(,"white":)" + week_json("07:00", "08:00", 5) +
                    R"(,"whiteInfo":[[3,1,10]],"white_interval":6,"httpParams":{"url":"http://x"},)"
                    R"("ptzParams":[{"acto_ptz_channel":1,"acto_ptz_type":1}]})",
                &j);
  EXPECT_EQ(r.out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1403, i32(7))}));
  EXPECT_EQ(read<MotionRecord>("motion", 7).chn_mask, 0xCu);

  std::string body = json_body(send("/6010", R"({"chnid":7})"));
  EXPECT_NE(body.find(R"("effective":)" + week_reply_prefix("00:00", "24:00", 1)), std::string::npos) << body;
  EXPECT_NE(body.find(R"("audible":)" + week_reply_prefix("01:00", "02:00", 2)), std::string::npos);
  EXPECT_NE(body.find(R"("email":)" + week_reply_prefix("03:00", "04:00", 3)), std::string::npos);
  EXPECT_NE(body.find(R"("ptz":)" + week_reply_prefix("05:00", "06:00", 4)), std::string::npos);
  EXPECT_NE(body.find(R"("white":)" + week_reply_prefix("07:00", "08:00", 5)), std::string::npos);
  EXPECT_NE(body.find(R"("whiteInfo":[{"chnid":3,"mode":1,"time":10}],"white_interval":6,)"), std::string::npos) << body;
  // The action page carries no HTTP target and no PTZ rows.
  EXPECT_EQ(body.find("http://x"), std::string::npos);
  EXPECT_NE(body.find(R"("ptzParams":[]})"), std::string::npos);

  for (const char* b : {R"({"chnid":64,"enable":1})", R"({"enable":1})", "[7]"}) {
    EXPECT_EQ(send("/6117", b, &j).out, kJsonError) << b;
    EXPECT_TRUE(j.empty());
  }
  EXPECT_EQ(send("/6010", R"({"chnid":64})").out, kJsonError);
  EXPECT_EQ(send("/6010", "x").out, kJsonError);
}

TEST_F(MotionE2e, BatchSaveCopiesEverythingToValidOtherChannels) {
  env_.start_sim();
  std::vector<std::string> j;
  auto r = send("/6112",
                R"({"chnid":0,"sensitivity":70,"enableMS":1,"motionTable":"ABC","copyCnt":4,"copyChn":[3,5,0,99],)"
                R"("dialog":{"chnid":0,"interval":12,"http_notification_interval":9,)"
                R"("httpParams":{"url":"http://h/x%20y","username":"u","password":"p"},"httpSche":)" +
                    week_json("09:00", "10:00", 1) + R"(,"effective":)" + week_json("11:00", "12:00", 1) +
                    R"(,"whiteInfo":[{"chnid":2,"mode":0,"time":4}],)"
                    R"("ptzChnId":0,"ptzType":1,"ptzParams":[{"acto_ptz_channel":2,"acto_ptz_type":1,"acto_ptz_preset":4}]}})",
                &j);
  EXPECT_EQ(r.out, kTextOk);
  const uint64_t mask = (1ULL << 3) | (1ULL << 5);
  AreaCopy copy{};
  std::memcpy(copy.map, "ABC", 3);
  copy.sensitivity = 70;
  copy.enable_ms = 1;
  copy.list[0] = 3;
  copy.list[1] = 5;
  copy.count = 2;
  EXPECT_EQ(j, (std::vector<std::string>{line(1403, i32(0)), log_copy_line(909, mask), line_of(3251, copy),
                                         line(1410, u64(mask)), line_of(3212, full_time_switch(0, 1, {3, 5})),
                                         line_of(3252, full_time(0))}));

  auto m3 = read<MotionRecord>("motion", 3);
  EXPECT_EQ(m3.channel, 3);
  EXPECT_EQ(m3.interval, 12);
  EXPECT_EQ(m3.sensitivity, 70);
  EXPECT_EQ(m3.enable_ms, 1);
  EXPECT_EQ(m3.http_notification_interval, 9);
  EXPECT_EQ(count("motion"), 3);

  std::string body = json_body(send("/6010", R"({"chnid":5})"));
  EXPECT_NE(body.find(R"("http_notification_interval":9,"effective":)" + week_reply_prefix("11:00", "12:00", 1)), std::string::npos) << body;
  EXPECT_NE(body.find(R"("httpSche":)" + week_reply_prefix("09:00", "10:00", 1)), std::string::npos);
  EXPECT_NE(body.find(R"("url":"http://h/x%20y","username":"u","password":"p"})"), std::string::npos) << body;
  EXPECT_NE(body.find(R"("whiteInfo":[{"chnid":2,"mode":0,"time":4}])"), std::string::npos) << body;
  EXPECT_NE(body.find(R"("ptzParams":[{"acto_ptz_channel":2,"acto_ptz_type":1,"acto_ptz_preset":4,"acto_ptz_patrol":0}]})"), std::string::npos)
      << body;
  EXPECT_EQ(json_body(send("/6153", "3")).rfind(week_reply_prefix("11:00", "12:00", 1), 0), 0u);
  EXPECT_EQ(count("motion_effective_schedule"), 3);

  // No copy list: empty lists and a zero mask, no dialog, no 1403.
  EXPECT_EQ(send("/6112", R"({"chnid":2,"sensitivity":1,"enableMS":0,"motionTable":"Z"})", &j).out, kTextOk);
  AreaCopy none{};
  none.map[0] = 'Z';
  none.sensitivity = 1;
  none.channel = 2;
  EXPECT_EQ(j, (std::vector<std::string>{log_copy_line(909, 0), line_of(3251, none), line(1410, u64(0)),
                                         line_of(3212, full_time_switch(2, 0))}));

  EXPECT_EQ(send("/6112", R"({"chnid":64,"copyCnt":1,"copyChn":[1]})", &j).out, kTextError);
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(count("motion"), 3);
}

TEST_F(MotionE2e, ScheduleSettersAndGettersRoundTrip) {
  env_.start_sim();
  struct Case {
    const char* set;
    const char* get;
  } cases[] = {{"/6013", "/6011"}, {"/6152", "/6153"}, {"/6159", "/6158"}, {"/6118", "/6120"}};
  int n = 0;
  for (const Case& c : cases) {
    const std::string start = "0" + std::to_string(n++) + ":00";
    std::vector<std::string> j;
    EXPECT_EQ(send(c.set, R"({"camId":4,"enable":1,"interval":30,"schedule":)" + week_json(start, "23:00", 2) + "}", &j).out,
              kTextOk)
        << c.set;
    EXPECT_EQ(j, (std::vector<std::string>{line(1403, i32(4))})) << c.set;
    EXPECT_EQ(json_body(send(c.get, "4")).rfind(week_reply_prefix(start, "23:00", 2), 0), 0u) << c.get;

    for (const char* bad : {R"({"camId":-1,"schedule":[]})", R"({"camId":64,"schedule":[]})"}) {
      EXPECT_EQ(send(c.set, bad, &j).out, kTextError) << c.set << bad;
      EXPECT_TRUE(j.empty()) << c.set << bad;
    }
    EXPECT_EQ(send(c.get, "64").out, kJsonError) << c.get;
    EXPECT_EQ(send(c.get, "-1").out, kJsonError) << c.get;
  }
  auto m = read<MotionRecord>("motion", 4);
  EXPECT_EQ(m.email_enable, 1);
  EXPECT_EQ(m.email_interval, 30);
  EXPECT_EQ(m.enable, 0);
}

TEST_F(MotionE2e, TriggerSettersStartFromTheStoredRecord) {
  env_.start_sim();
  std::vector<std::string> j;
  ASSERT_EQ(send("/6117", R"({"chnid":2,"audioId":6})").out, kTextOk);

  EXPECT_EQ(send("/6113", R"({"camId":2,"sensitivity":40,"enableMS":1,"enable":1,"triAlarms":1,"interval":3,"schedule":)" +
                              week_json("02:00", "03:00", 1) + "}",
                 &j)
                .out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1403, i32(2)), line(1403, i32(2)), line_of(3212, full_time_switch(2, 1)),
                                         line_of(3209, full_time(2))}));
  EXPECT_EQ(json_body(send("/6011", "2")).rfind(week_reply_prefix("02:00", "03:00", 1), 0), 0u);

  EXPECT_EQ(send("/6114", R"({"camId":2,"sensitivity":41,"triChannels":"011","triAlarms":2,"interval":4,"enableMS":0})", &j).out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1403, i32(2)), log_line(909, 3)}));

  const std::string long_chans(70, '1');
  EXPECT_EQ(send("/6119", R"({"camId":2,"type":1,"triChannels":")" + long_chans + R"("})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1403, i32(2)), log_line(909, 3)}));
  EXPECT_EQ(send("/6119", R"({"camId":2,"type":2,"triAlarms":9})").out, kTextOk);

  auto m = read<MotionRecord>("motion", 2);
  EXPECT_EQ(m.sensitivity, 41);
  EXPECT_EQ(m.enable, 1);
  EXPECT_EQ(m.enable_ms, 0);
  EXPECT_EQ(m.interval, 4);
  EXPECT_EQ(m.tri_alarms, 9);
  EXPECT_EQ(std::string(m.tri_channels), std::string(64, '1'));
  EXPECT_EQ(m.chn_mask, 0xFFFFFFFFu);
  EXPECT_EQ(m.audio_id, 6);

  for (const char* b : {R"({"camId":64,"sensitivity":1})", R"({"camId":-1,"sensitivity":1})", "x"}) {
    EXPECT_EQ(send("/6113", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty());
    EXPECT_EQ(send("/6114", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty());
  }
  EXPECT_EQ(send("/6119", R"({"camId":64,"type":2,"triAlarms":1})", &j).out, kTextError);
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(read<MotionRecord>("motion", 2).sensitivity, 41);
}

TEST_F(MotionE2e, AlarmInputTriggersCopyToValidOtherInputs) {
  env_.start_sim();
  ASSERT_EQ(send("/6027", R"({"alarmId":2,"dialog":{"triChannels":"0101","triAlarms":3,"effective":)" +
                              week_json("04:00", "05:00", 1) + "}}")
                .out,
            kTextOk);
  std::vector<std::string> j;
  EXPECT_EQ(send("/6127", R"({"camId":2,"type":0,"cnt":3,"chnid":[2,4,20,5]})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1415, u64(1ULL << 4)), log_copy_line(909, 1ULL << 4)}));
  auto in4 = read<AlarmInRecord>("alarm_in", 4);
  EXPECT_STREQ(in4.tri_channels, "0101");
  EXPECT_EQ(in4.chn_mask, 0xAu);
  EXPECT_EQ(in4.tri_alarms, 0);
  EXPECT_EQ(count("alarm_in"), 2);  // input 5 lies beyond "cnt"
  EXPECT_NE(json_body(send("/6026", R"({"alarmId":4})")).find(R"("effective":)" + week_reply_prefix("04:00", "05:00", 1)),
            std::string::npos);

  EXPECT_EQ(send("/6127", R"({"camId":2,"type":1,"cnt":1,"chnid":[6]})", &j).out, kTextOk);
  EXPECT_EQ(read<AlarmInRecord>("alarm_in", 6).tri_alarms, 3);

  EXPECT_EQ(send("/6127", R"({"camId":16,"type":1,"cnt":1,"chnid":[6]})", &j).out, kTextError);
  EXPECT_TRUE(j.empty());
}

TEST_F(MotionE2e, LiveMotionMap) {
  env_.start_sim();
  ASSERT_EQ(send("/6012", R"({"camId":1,"enable":1,"sensitivity":60,"triChannels":"","triAlarms":0,"interval":0,"motionTable":"F0F0","enableMS":0})").out,
            kTextOk);
  std::vector<std::string> j;
  auto r = send("/6098", R"({"id":1})", &j);
  EXPECT_EQ(j, (std::vector<std::string>{line(3206, i32(1))}));
  EXPECT_EQ(json_body(r),
            R"({"map":"F0F0","sensitivity":60,"result":0,"enable":1,"modelType":0,"fishdisplay":0,"fishtransfer":0,"fishinstall":0})");
  EXPECT_EQ(send("/6098", R"({"id":-1})", &j).out, kTextError);
  EXPECT_EQ(send("/6098", R"({"id":64})", &j).out, kTextError);
  EXPECT_TRUE(j.empty());
}

TEST_F(MotionE2e, MotionMapWithoutReplyOrWithAnUnterminatedMap) {
  env_.start_sim("3206 none\n");
  EXPECT_EQ(send("/6098", R"({"id":0})", nullptr, "200").out, kTextError);
  env_.stop_sim();

  // 300 map bytes without a terminator: the reply stops at the field's end.
  std::string hex = "01000000";
  for (int i = 0; i < 300; ++i) hex += "41";
  hex += "05000000" + std::string(8 * 6, '0');
  env_.start_sim("3206 reply hex=" + hex + "\n");
  EXPECT_EQ(json_body(send("/6098", R"({"id":0})")),
            R"({"map":")" + std::string(300, 'A') +
                R"(","sensitivity":5,"result":0,"enable":1,"modelType":0,"fishdisplay":0,"fishtransfer":0,"fishinstall":0})");
}

TEST_F(MotionE2e, PtzActionRows) {
  env_.start_sim();
  std::vector<std::string> j;
  auto ok = [&](const char* name, const std::string& body) {
    EXPECT_EQ(send(name, body, &j).out, kTextOk) << name << body;
    EXPECT_TRUE(j.empty()) << name;  // the PTZ action rows only live in the database
  };
  ok("/6160", R"({"type":1,"chn_id":2,"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":7,"acto_ptz_patrol":9})");
  ok("/6160", R"({"type":1,"chn_id":2,"acto_ptz_channel":5,"acto_ptz_type":2,"acto_ptz_patrol":1})");
  EXPECT_EQ(json_body(send("/6161", R"({"type":1,"chn_id":2})")),
            R"({"ptzInfo":[{"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":7,"acto_ptz_patrol":0},)"
            R"({"acto_ptz_channel":5,"acto_ptz_type":2,"acto_ptz_preset":0,"acto_ptz_patrol":1}]})");
  EXPECT_EQ(json_body(send("/6161", R"({"type":0,"chn_id":2})")), R"({"ptzInfo":[]})");

  ok("/6163", R"({"type":1,"chn_id":2,"old_chn_id":3,"acto_ptz_channel":4,"acto_ptz_type":1,"acto_ptz_preset":2})");
  ok("/6162", R"({"type":1,"chn_id":2,"acto_ptz_channel":5})");
  EXPECT_EQ(json_body(send("/6161", R"({"type":1,"chn_id":2})")),
            R"({"ptzInfo":[{"acto_ptz_channel":4,"acto_ptz_type":1,"acto_ptz_preset":2,"acto_ptz_patrol":0}]})");
  // A PTZ channel that is not a number refuses the whole list; "4" is 4.
  EXPECT_EQ(send("/6164", R"({"type":1,"chn_id":2,"ptzChannel":[4,"x",9]})", &j).out, kTextError);
  EXPECT_NE(json_body(send("/6161", R"({"type":1,"chn_id":2})")).find(R"("acto_ptz_channel":4)"), std::string::npos);
  ok("/6164", R"({"type":1,"chn_id":2,"ptzChannel":["4",9]})");
  EXPECT_EQ(json_body(send("/6161", R"({"type":1,"chn_id":2})")), R"({"ptzInfo":[]})");

  // People counting keeps at most 8 rows per owner, owners 0..7.
  for (int c = 1; c <= 8; ++c)
    ok("/6160", R"({"type":20,"chn_id":1,"acto_ptz_channel":)" + std::to_string(c) + R"(,"acto_ptz_type":1})");
  EXPECT_EQ(send("/6160", R"({"type":20,"chn_id":1,"acto_ptz_channel":9,"acto_ptz_type":1})").out, kTextError);
  std::string list = json_body(send("/6161", R"({"type":20,"chn_id":1})"));
  EXPECT_NE(list.find(R"("acto_ptz_channel":8)"), std::string::npos) << list;
  EXPECT_EQ(list.find(R"("acto_ptz_channel":9)"), std::string::npos) << list;

  for (const char* name : {"/6160", "/6161", "/6162", "/6163", "/6164"}) {
    for (const char* bad : {R"({"type":1,"chn_id":-1,"acto_ptz_channel":1})", R"({"type":1,"chn_id":64,"acto_ptz_channel":1})",
                            R"({"type":64,"chn_id":1,"acto_ptz_channel":1})", R"({"type":20,"chn_id":8,"acto_ptz_channel":1})"}) {
      EXPECT_EQ(send(name, bad, &j).out, kTextError) << name << bad;
      EXPECT_TRUE(j.empty());
    }
  }
}

TEST_F(MotionE2e, FailedDatabaseWriteIsNotAnsweredOk) {
  env_.start_sim();
  env_.write_file(ZRDB_PATH, std::string(4096, 'x'));  // not a database
  struct Case {
    const char* name;
    const char* body;
  } cases[] = {
      {"/6012", R"({"camId":1,"enable":1,"sensitivity":1,"triChannels":"","triAlarms":0,"interval":0,"motionTable":"","enableMS":0})"},
      {"/6117", R"({"chnid":1,"interval":3})"},
      {"/6112", R"({"chnid":1,"copyCnt":1,"copyChn":[2]})"},
      {"/6152", R"({"camId":1,"schedule":[[["00:00","01:00",1]]]})"},
      {"/6127", R"({"camId":1,"type":1,"cnt":1,"chnid":[2]})"},
      {"/6160", R"({"type":1,"chn_id":1,"acto_ptz_channel":1,"acto_ptz_type":1})"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send(c.name, c.body, &j).out, kTextError) << c.name;
    EXPECT_TRUE(j.empty()) << c.name;
  }
}

TEST_F(MotionE2e, WhiteLedRowsOfChannelZeroSurviveARoundTrip) {
  env_.start_sim();
  // Row {camera 0, mode 0, time 0} of channel 0 is all zero bytes; the rows
  // in use are kept as a count, so it and the rows after it stay.
  const std::string rows = R"([{"chnid":0,"mode":0,"time":0},{"chnid":2,"mode":1,"time":5}])";
  ASSERT_EQ(send("/6117", R"({"chnid":0,"whiteInfo":)" + rows + "}").out, kTextOk);
  std::string body = json_body(send("/6010", R"({"chnid":0})"));
  EXPECT_NE(body.find(R"("whiteInfo":)" + rows + ","), std::string::npos) << body;
  // The page's next save, posting the rows back, keeps them; an empty list
  // clears them.
  ASSERT_EQ(send("/6117", R"({"chnid":0,"whiteInfo":)" + rows + "}").out, kTextOk);
  EXPECT_NE(json_body(send("/6010", R"({"chnid":0})")).find(R"("whiteInfo":)" + rows + ","), std::string::npos);
  // A copy to other channels carries the count with the rows.
  ASSERT_EQ(send("/6112", R"({"chnid":0,"copyCnt":1,"copyChn":[3]})").out, kTextOk);
  EXPECT_NE(json_body(send("/6010", R"({"chnid":3})")).find(R"("whiteInfo":)" + rows + ","), std::string::npos);
  ASSERT_EQ(send("/6117", R"({"chnid":0,"whiteInfo":[]})").out, kTextOk);
  EXPECT_NE(json_body(send("/6010", R"({"chnid":0})")).find(R"("whiteInfo":[],)"), std::string::npos);
}

TEST_F(MotionE2e, ScheduleSettersWithoutAScheduleStillNotify) {
  env_.start_sim();
  for (const char* set : {"/6013", "/6152", "/6159"}) {
    std::vector<std::string> j;
    EXPECT_EQ(send(set, R"({"camId":2})", &j).out, kTextOk) << set;
    EXPECT_EQ(j, (std::vector<std::string>{line(1403, i32(2))})) << set;
    // A "schedule" that is not a week is refused.
    EXPECT_EQ(send(set, R"({"camId":2,"schedule":5})", &j).out, kTextError) << set;
    EXPECT_TRUE(j.empty()) << set;
  }
  EXPECT_EQ(count("motion_effective_schedule") + count("motion_audible_schedule") + count("motion_ptz_schedule"), 0);
}

TEST_F(MotionE2e, PtzUpdateKeepsOneRowPerPtzChannel) {
  env_.start_sim();
  ASSERT_EQ(send("/6160", R"({"type":1,"chn_id":2,"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":7})").out, kTextOk);
  ASSERT_EQ(send("/6160", R"({"type":1,"chn_id":2,"acto_ptz_channel":5,"acto_ptz_type":1,"acto_ptz_preset":8})").out, kTextOk);
  // Moving the entry of channel 3 onto channel 5 replaces channel 5's row.
  ASSERT_EQ(send("/6163", R"({"type":1,"chn_id":2,"old_chn_id":3,"acto_ptz_channel":5,"acto_ptz_type":2,"acto_ptz_patrol":4})").out,
            kTextOk);
  EXPECT_EQ(json_body(send("/6161", R"({"type":1,"chn_id":2})")),
            R"({"ptzInfo":[{"acto_ptz_channel":5,"acto_ptz_type":2,"acto_ptz_preset":0,"acto_ptz_patrol":4}]})");
  // A PTZ channel or old channel that is not a number is refused.
  for (const char* bad : {R"({"type":1,"chn_id":2,"acto_ptz_channel":"x","acto_ptz_type":1})",
                          R"({"type":1,"chn_id":2,"old_chn_id":"x","acto_ptz_channel":6,"acto_ptz_type":1})"})
    EXPECT_EQ(send("/6163", bad).out, kTextError) << bad;
  EXPECT_EQ(send("/6160", R"({"type":1,"chn_id":2,"acto_ptz_type":1})").out, kTextError);
  EXPECT_EQ(json_body(send("/6161", R"({"type":"1","chn_id":"2"})")),
            R"({"ptzInfo":[{"acto_ptz_channel":5,"acto_ptz_type":2,"acto_ptz_preset":0,"acto_ptz_patrol":4}]})");
}

TEST_F(MotionE2e, DialogWritesOnlyItsOwnEventsPtzRows) {
  env_.start_sim();
  // Alarm input 5's PTZ rows (type 0) must not be reachable from the motion dialog.
  ASSERT_EQ(send("/6160", R"({"type":0,"chn_id":5,"acto_ptz_channel":9,"acto_ptz_type":1,"acto_ptz_preset":1})").out, kTextOk);
  const std::string rows = R"([{"acto_ptz_channel":4,"acto_ptz_type":1,"acto_ptz_preset":2,"acto_ptz_patrol":0}])";
  ASSERT_EQ(send("/6112", R"({"chnid":1,"dialog":{"chnid":1,"ptzChnId":5,"ptzType":0,"ptzParams":)" + rows + "}}").out,
            kTextOk);
  EXPECT_EQ(json_body(send("/6161", R"({"type":0,"chn_id":5})")),
            R"({"ptzInfo":[{"acto_ptz_channel":9,"acto_ptz_type":1,"acto_ptz_preset":1,"acto_ptz_patrol":0}]})");
  // The rows went to the page's own event: motion of the dialog's channel.
  EXPECT_EQ(json_body(send("/6161", R"({"type":1,"chn_id":1})")), R"({"ptzInfo":)" + rows + "}");
  EXPECT_NE(json_body(send("/6010", R"({"chnid":1})")).find(R"("ptzParams":)" + rows + "}"), std::string::npos);
}

// A number the strict reader refuses ("x", 1.5, true) refuses the request
// with the page's answer to a malformed request: nothing stored, nothing
// sent. The motion, alarm-input and PTZ rows read back as they were.
TEST_F(MotionE2e, RefusedNumbersStoreAndSendNothing) {
  env_.start_sim();
  const std::string rest = R"("triChannels":"","triAlarms":0,"interval":0,"motionTable":"A","enableMS":0})";
  ASSERT_EQ(send("/6012", R"({"camId":1,"enable":1,"sensitivity":5,)" + rest).out, kTextOk);
  ASSERT_EQ(send("/6160", R"({"type":1,"chn_id":1,"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":7})").out,
            kTextOk);
  ASSERT_EQ(send("/6127", R"({"camId":1,"type":1,"cnt":1,"chnid":[2],"triAlarms":4})").out, kTextOk);
  const std::string motion = json_body(send("/6010", R"({"chnid":1})"));
  const std::string rows = json_body(send("/6161", R"({"type":1,"chn_id":1})"));
  ASSERT_FALSE(motion.empty());
  const int32_t alarms2 = read<AlarmInRecord>("alarm_in", 2).tri_alarms;
  ASSERT_EQ(alarms2, 4);
  struct Case {
    const char* name;
    std::string body;
    const char* out;
  } cases[] = {
      {"/6012", R"({"camId":1,"enable":1,"sensitivity":5,"triChannels":"","triAlarms":0,"interval":0,"motionTable":"B","enableMS":"x"})",
       ""},
      {"/6012", R"({"camId":1,"enable":1,"sensitivity":5,"triChannels":"","triAlarms":0,"interval":0,"motionTable":"B","enableMS":1.5})",
       ""},
      {"/6112", R"({"chnid":1,"sensitivity":"x","copyCnt":1,"copyChn":[2]})", kTextError},
      {"/6112", R"({"chnid":1,"enableMS":true,"copyCnt":1,"copyChn":[2]})", kTextError},
      {"/6113", R"({"camId":1,"sensitivity":"x"})", ""},
      {"/6113", R"({"camId":1,"sensitivity":9,"interval":1.5})", ""},
      {"/6114", R"({"camId":1,"sensitivity":9,"triAlarms":"x"})", ""},
      {"/6118", R"({"camId":1,"enable":"x"})", kTextError},
      {"/6118", R"({"camId":1,"enable":1,"interval":"x"})", kTextError},
      {"/6119", R"({"camId":1,"type":"x","triAlarms":3})", kTextError},
      {"/6119", R"({"camId":1,"type":2,"triAlarms":"x"})", kTextError},
      {"/6127", R"({"camId":1,"type":"x","cnt":1,"chnid":[2],"triAlarms":9})", kTextError},
      {"/6127", R"({"camId":1,"type":1,"cnt":"x","chnid":[2],"triAlarms":9})", kTextError},
      {"/6127", R"({"camId":1,"type":1,"cnt":2,"chnid":[3,"x"],"triAlarms":9})", kTextError},
      {"/6127", R"({"camId":1,"type":1,"cnt":1,"chnid":[2],"triAlarms":"x"})", kTextError},
      {"/6117", R"({"chnid":1,"interval":"x","triAlarms":3})", kTextError},
      {"/6112", R"({"chnid":1,"dialog":{"chnid":1,"triAlarms":"x"},"copyCnt":1,"copyChn":[2]})", kTextError},
      {"/6095", R"({"chnid":1,"dialog":{"chnid":1,"interval":"x"}})", kJsonError},
      {"/6160", R"({"type":1,"chn_id":1,"acto_ptz_type":"x","acto_ptz_channel":4})", kTextError},
      {"/6160", R"({"type":1,"chn_id":1,"acto_ptz_channel":4,"acto_ptz_type":1,"acto_ptz_preset":"x"})", kTextError},
      {"/6163", R"({"type":1,"chn_id":1,"old_chn_id":3,"acto_ptz_channel":3,"acto_ptz_type":2,"acto_ptz_patrol":1.5})",
       kTextError},
      // A list or number where a text is due, in the dialog and its rows too.
      {"/6012", R"({"camId":1,"enable":1,"sensitivity":5,"triChannels":[1],"triAlarms":0,"interval":0,"motionTable":"B","enableMS":0})",
       ""},
      {"/6112", R"({"chnid":1,"motionTable":5,"copyCnt":1,"copyChn":[2]})", kTextError},
      {"/6112", R"({"chnid":1,"dialog":{"chnid":1,"ptzParams":[{"acto_ptz_channel":"x"}]},"copyCnt":1,"copyChn":[2]})",
       kTextError},
      {"/6112", R"({"chnid":1,"dialog":{"chnid":1,"triChannels":{"a":1}},"copyCnt":1,"copyChn":[2]})", kTextError},
      {"/6113", R"({"camId":1,"sensitivity":9,"schedule":[[["01:00",2]]]})", ""},
      {"/6114", R"({"camId":1,"triChannels":[1]})", ""},
      {"/6118", R"({"camId":1,"enable":1,"schedule":[[[1,"02:00"]]]})", kTextError},
      {"/6119", R"({"camId":1,"type":1,"triChannels":[1]})", kTextError},
  };
  for (const Case& c : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send(c.name, c.body, &j).out, c.out) << c.body;
    EXPECT_TRUE(j.empty()) << c.body;
  }
  EXPECT_EQ(json_body(send("/6010", R"({"chnid":1})")), motion);
  EXPECT_EQ(json_body(send("/6161", R"({"type":1,"chn_id":1})")), rows);
  EXPECT_EQ(read<AlarmInRecord>("alarm_in", 2).tri_alarms, alarms2);
  EXPECT_EQ(count("motion"), 1);
}

TEST_F(MotionE2e, IdsAreDecimalNumbersNeverTextReadAsZero) {
  env_.start_sim();
  std::vector<std::string> j;
  const std::string rest = R"(,"enable":1,"sensitivity":"7","triChannels":"","triAlarms":0,"interval":0,"motionTable":"","enableMS":0})";
  EXPECT_EQ(send("/6012", R"({"camId":"x")" + rest, &j).out, "");
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(count("motion"), 0);  // nothing written for channel 0
  EXPECT_EQ(send("/6012", R"({"camId":"4")" + rest, &j).out, kTextOk);
  EXPECT_EQ(read<MotionRecord>("motion", 4).sensitivity, 7);
  EXPECT_EQ(count("motion"), 1);
  // The same strict reader serves every id of the module.
  EXPECT_EQ(send("/6117", R"({"chnid":"x","interval":3})", &j).out, kJsonError);
  EXPECT_EQ(send("/6010", R"({"chnid":1.5})", &j).out, kJsonError);
  EXPECT_EQ(send("/6152", R"({"camId":"","schedule":[]})", &j).out, kTextError);
  EXPECT_EQ(send("/6098", R"({"id":"x"})", &j).out, kTextError);
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(send("/6117", R"({"chnid":"4","interval":3})", &j).out, kTextOk);
  EXPECT_EQ(read<MotionRecord>("motion", 4).interval, 3);
}

// The event reply dispatcher, called as the socket library would.
class VideoReplies : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = cgiOut;
    out_ = std::tmpfile();
    cgiOut = out_;
    g_callback_done = 0;
  }
  void TearDown() override {
    cgiOut = saved_;
    std::fclose(out_);
  }
  std::string deliver(int type, const std::string& payload) {
    ZrMsgHeader h{};
    h.type = type;
    h.length = static_cast<uint32_t>(payload.size());
    std::string copy = payload;
    on_video_ipc_callback(nullptr, &h, payload.empty() ? nullptr : &copy[0]);
    std::fflush(out_);
    std::rewind(out_);
    std::string text;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, out_)) > 0) text.append(buf, n);
    std::rewind(out_);
    (void)!ftruncate(fileno(out_), 0);
    return text;
  }
  static std::string int32(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

  FILE* saved_ = nullptr;
  FILE* out_ = nullptr;
};

TEST_F(VideoReplies, StatusRepliesAndIgnoredOnes) {
  struct Case {
    int type;
    int32_t status;
    const char* out;
  } cases[] = {
      {8231, 0, "Content-type: text/plain\r\n\r\nOK"},
      {8244, 3, "Content-type: text/plain\r\n\r\nFAILED"},
      {6212, 0, "Content-type: text/plain\r\n\r\nOK"},
      {8269, -1, "Content-type: text/plain\r\n\r\nFAILED"},
      {8374, 5, "Content-type: application/json\r\n\r\n{\"res\":5}"},
      {6221, -2, "Content-type: application/json\r\n\r\n{\"res\":-2}"},
      {8251, 0, ""},  // not a reply of the event pages
  };
  for (const Case& c : cases) {
    g_callback_done = 0;
    EXPECT_EQ(deliver(c.type, int32(c.status)), c.out) << c.type;
    EXPECT_EQ(g_callback_done.load(), c.out[0] ? 1 : 0) << c.type;
  }
  // Empty and short replies answer the page's error at once (and once).
  struct Short {
    int type;
    std::string payload;
    const char* out;
  } shorts[] = {
      // The fisheye mode page answers "OK" as text but its errors as JSON,
      // the same error as when no reply comes.
      {8231, "", kJsonError},
      {8244, "", kTextError},
      {6212, "ab", kJsonError},
      {8206, "", kTextError},
      {8206, std::string(100, 'x'), kTextError},  // shorter than one motion map
      {8374, "xy", kJsonError},
  };
  for (const Short& c : shorts) {
    g_callback_done = 0;
    EXPECT_EQ(deliver(c.type, c.payload), c.out) << c.type;
    EXPECT_EQ(g_callback_done.load(), 1) << c.type;
    EXPECT_EQ(deliver(c.type, c.payload), "") << c.type;
  }
  g_callback_done = 0;
}

TEST_F(MotionE2e, EmptyMotionMapReplyAnswersAtOnce) {
  // An empty 8206 is answered when it arrives, not after the 30 s wait
  // (the bound only fails when the handler waits its limit out).
  env_.start_sim("3206 reply\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(send("/6098", R"({"id":0})", nullptr, "30000").out, kTextError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

}  // namespace
