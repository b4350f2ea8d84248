// Alarm inputs and outputs end to end: replies, stored records, the exact
// messages the core receives, and the round trips of every settings page.
#include <string>
#include <vector>

#include "core/event_records.h"
#include "event_e2e.h"

namespace {

// The core's view of the camera alarm records, written out independently of
// the handler's definitions.
struct InSetEntry {
  int32_t zero, enable, index, type;
};
struct InSet {
  InSetEntry e[4];
  int32_t cnt, zero;
  uint64_t mask;
};
static_assert(sizeof(InSet) == 80, "");
struct OutSetEntry {
  int32_t zero, index, type;
};
struct OutSet {
  OutSetEntry e[2];
  int32_t cnt, zero;
  uint64_t mask;
};
static_assert(sizeof(OutSet) == 40, "");

using AlarmE2e = EventE2e;

TEST_F(AlarmE2e, RecorderOutputSetCopiesToOtherOutputsAndLogs) {
  env_.start_sim();
  std::vector<std::string> j;
  auto r = send("/6022",
                R"({"alarmId":1,"name":"Siren","enable":1,"type":1,"durationTime":30,)"
                R"("dialog":{"effective":)" + week_json("08:00", "18:00", 2) +
                    R"(},"copyCnt":3,"copyChn":[1,2,9]})",
                &j);
  EXPECT_EQ(r.out, kTextOk);
  // Output 1 itself and output 9 (no such output) are not copy targets.
  EXPECT_EQ(j, (std::vector<std::string>{line(1405, i32(1)), line(1405, i32(2)), log_copy_line(911, 0x6)}));

  auto out1 = read<AlarmOutRecord>("alarm_out", 1);
  EXPECT_STREQ(out1.name, "Siren");
  EXPECT_EQ(out1.type, 1);
  EXPECT_EQ(out1.duration_time, 30);
  auto out2 = read<AlarmOutRecord>("alarm_out", 2);
  EXPECT_STREQ(out2.name, "");  // names are not copied
  EXPECT_EQ(out2.enable, 1);
  EXPECT_EQ(out2.duration_time, 30);
  EXPECT_EQ(count("alarm_out"), 2);

  // A name is cut to leave room for the terminator of its 256-byte field.
  EXPECT_EQ(send("/6022", R"({"alarmId":3,"name":")" + std::string(300, 'n') + R"("})").out, kTextOk);
  EXPECT_EQ(std::string(read<AlarmOutRecord>("alarm_out", 3).name), std::string(255, 'n'));

  r = send("/6021", R"({"alarmId":2})");
  EXPECT_EQ(json_body(r).rfind(R"({"id":2,"name":"","type":1,"enable":1,"durationTime":30,"effective":)" +
                                   week_reply_prefix("08:00", "18:00", 2),
                               0),
            0u)
      << r.out;
  r = send("/6020", "");
  EXPECT_NE(json_body(r).find(R"({"id":1,"name":"Siren","type":1,"enable":1,"durationTime":30})"), std::string::npos);
  EXPECT_EQ(json_body(r).rfind(R"([{"id":0,"name":"","type":0,"enable":0,"durationTime":0},)", 0), 0u);
}

TEST_F(AlarmE2e, RecorderOutputIdsAreCheckedBeforeAnyWrite) {
  env_.start_sim();
  struct Case {
    const char* name;
    const char* body;
    const char* reply;
  } cases[] = {
      {"/6022", R"({"alarmId":4,"name":"x","copyCnt":1,"copyChn":[0]})", kTextError},
      {"/6022", R"({"name":"x"})", kTextError},
      {"/6022", "not json", kTextError},
      {"/6021", R"({"alarmId":-1})", kJsonError},
      {"/6023", R"({"id":4,"enable":1})", kJsonError},
      {"/6023", R"({"id":-1,"enable":1})", kJsonError},
  };
  for (const Case& c : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send(c.name, c.body, &j).out, c.reply) << c.name << " " << c.body;
    EXPECT_TRUE(j.empty()) << c.name << " " << c.body;
  }
  EXPECT_EQ(count("alarm_out"), 0);
}

TEST_F(AlarmE2e, ManualOutputSwitchNotifiesAndLogs) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6023", R"({"id":2,"enable":1})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1409, i32(2) + i32(1)), log_line(911, 3)}));
}

TEST_F(AlarmE2e, RecorderInputDialogRoundTripAndCopy) {
  env_.start_sim();
  const std::string chans = "1010" + std::string(30, '0') + "1";  // a '1' at 34 sets no mask bit
  std::vector<std::string> j;
  auto r = send("/6027",
                R"({"alarmId":0,"alarmType":1,"name":"Front door","linkageAction":3,)"
                R"("dialog":{"interval":20,"email_interval":60,"audioId":2,"triSnapshot":"01",)"
                R"("triChnAlarms":["11","01"],"triChannels":")" + chans +
                    R"(","effective":)" + week_json("00:00", "24:00", 1) + R"(,"ptz":)" +
                    week_json("01:00", "02:00", 3) + R"(},"copyCnt":3,"copyChn":[0,3,16]})",
                &j);
  EXPECT_EQ(r.out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1415, u64(0x9))}));

  auto in0 = read<AlarmInRecord>("alarm_in", 0);
  EXPECT_STREQ(in0.name, "Front door");
  EXPECT_EQ(in0.alarm_type, 1);
  EXPECT_EQ(in0.enable, 2);      // an interval was set
  EXPECT_EQ(in0.email_flag, 2);  // an e-mail interval was set
  EXPECT_EQ(in0.chn_mask, 0x5u);
  EXPECT_EQ(in0.audio_id, 2);
  auto dis = read<DisarmingRecord>("disarming", 0);
  EXPECT_EQ(dis.linkage_action, 3);
  EXPECT_EQ(dis.disarm_action_mask, 0);

  // The copy takes the actions but not the name or the channel texts.
  auto in3 = read<AlarmInRecord>("alarm_in", 3);
  EXPECT_STREQ(in3.name, "");
  EXPECT_STREQ(in3.tri_channels, "");
  EXPECT_EQ(in3.interval, 20);
  EXPECT_EQ(in3.enable, 2);
  EXPECT_EQ(in3.alarm_type, 1);
  EXPECT_STREQ(in3.tri_snapshot, "01");
  EXPECT_STREQ(in3.tri_chn_alarms[1], "01");

  for (int id : {0, 3}) {
    r = send("/6026", R"({"alarmId":)" + std::to_string(id) + "}");
    const std::string body = json_body(r);
    EXPECT_NE(body.find(R"("enable":2,"triAlarms":0,"interval":20,"email_interval":60)"), std::string::npos) << body;
    EXPECT_NE(body.find(R"("effective":)" + week_reply_prefix("00:00", "24:00", 1)), std::string::npos) << body;
    EXPECT_NE(body.find(R"("ptz":)" + week_reply_prefix("01:00", "02:00", 3)), std::string::npos) << body;
    EXPECT_NE(body.find(R"("triChnAlarms":["11","01"])"), std::string::npos) << body;
  }
  EXPECT_EQ(json_body(send("/6026", R"({"alarmId":0})")).rfind(R"({"alarmId":0,"name":"Front door","alarmType":1,)", 0), 0u);

  // Only input 0 carries the disarming settings.
  EXPECT_EQ(send("/6027", R"({"alarmId":5,"linkageAction":9,"disarmActionMask":9})").out, kTextOk);
  EXPECT_EQ(read<DisarmingRecord>("disarming", 0).linkage_action, 3);

  EXPECT_EQ(send("/6027", R"({"alarmId":16,"name":"x"})", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(send("/6026", R"({"alarmId":16})").out, kJsonError);
}

TEST_F(AlarmE2e, CameraInputsSetCopyAndLiveState) {
  env_.start_sim();
  const std::string long_name(70, 'N');
  std::vector<std::string> j;
  auto r = send("/6025",
                R"({"chnid":2,"alarmCnt":6,"copyCnt":3,"copyChn":[2,5,64],)"
                R"("dialog":[{"alarmId":1,"interval":15,"triChannels":"11","audioId":3,"effective":)" +
                    week_json("06:00", "07:00", 1) + R"(}],)"
                R"("alarm":[{"alarmEnable":1,"alarmType":0,"alarmName":"Gate"},)"
                R"({"alarmEnable":1,"alarmType":1,"alarmName":")" + long_name + R"("}]})",
                &j);
  EXPECT_EQ(r.out, kTextOk);
  InSet set{};
  set.e[0] = {0, 1, 0, 0};
  set.e[1] = {0, 1, 1, 1};
  set.e[2] = {0, 0, 2, 0};  // entries without a request element still carry their index
  set.e[3] = {0, 0, 3, 0};
  set.cnt = 4;  // at most four inputs, whatever "alarmCnt" says
  set.mask = (1ULL << 2) | (1ULL << 5);
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3325, set), line(1417, u64(set.mask))}));

  for (int ch : {2, 5}) {
    auto ev = read<CamAlarmInEvent>("alarm_chnIn1_event", ch);
    EXPECT_EQ(ev.interval, 15) << ch;
    EXPECT_EQ(ev.enable, 2) << ch;
    EXPECT_EQ(ev.chn_mask, 3u) << ch;
  }
  auto name = read<CamAlarmInName>("alarm_chnIn1_name", 2);
  EXPECT_EQ(std::string(name.alarm_name), std::string(63, 'N'));  // room for the terminator

  r = send("/6024", R"({"chnid":5})", &j);
  EXPECT_EQ(j, (std::vector<std::string>{line(3298, i32(5) + std::string(96, '0') + i32(4))}));
  std::string body = json_body(r);
  // Odd channels of the stand-in daemon have two inputs.
  EXPECT_EQ(body.rfind(R"({"chnid":5,"alarmCnt":2,"alarm":[{"alarmEnable":1,"alarmType":0,"alarmStatus":1,"alarmName":"",)", 0), 0u) << body;
  EXPECT_NE(body.find(R"({"alarmEnable":1,"alarmType":1,"alarmStatus":0,"alarmName":"","effective":)" +
                      week_reply_prefix("06:00", "07:00", 1)),
            std::string::npos)
      << body;
  EXPECT_NE(body.find(R"("interval":15,"audioId":3,)"), std::string::npos);

  r = send("/6024", R"({"chnid":2})");
  body = json_body(r);
  EXPECT_NE(body.find(R"("alarmType":1,"alarmStatus":0,"alarmName":")" + std::string(63, 'N') + "\""), std::string::npos) << body;
}

TEST_F(AlarmE2e, CameraInputDialogNeverWritesAnUnreadInput) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6025", R"({"chnid":2,"alarmCnt":1,"dialog":[{"alarmId":2,"interval":7}]})", &j).out, kTextOk);
  EXPECT_EQ(count("alarm_chnIn2_event"), 0);
  InSet set{};
  for (int i = 0; i < 4; ++i) set.e[i].index = i;  // no "alarm" elements: indices all the same
  set.cnt = 1;
  set.mask = 1ULL << 2;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3325, set), line(1417, u64(set.mask))}));
  EXPECT_EQ(send("/6029", R"({"chnid":2,"alarmCnt":2,"alarm":[]})", &j).out, kTextOk);
  OutSet out{};
  out.e[1].index = 1;
  out.cnt = 2;
  out.mask = 1ULL << 2;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3324, out), line(1418, u64(out.mask))}));

  for (const char* body : {R"({"chnid":64,"alarmCnt":1})", R"({"chnid":-1,"alarmCnt":1})", R"({"chnid":1})", "[1]"}) {
    EXPECT_EQ(send("/6025", body, &j).out, kJsonError) << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  for (const char* body : {R"({"chnid":64})", "x"}) {
    EXPECT_EQ(send("/6024", body, &j).out, kJsonError) << body;
    EXPECT_TRUE(j.empty()) << body;
  }
}

TEST_F(AlarmE2e, CameraStateWithoutReplyGivesErrorReply) {
  env_.start_sim("3298 none\n3296 none\n");
  EXPECT_EQ(send("/6024", R"({"chnid":1})", nullptr, "200").out, kJsonError);
  EXPECT_EQ(send("/6028", R"({"chnid":1})", nullptr, "200").out, kJsonError);
}

TEST_F(AlarmE2e, CameraInputStateReplyIsBounded) {
  // A reply claiming 9 inputs answers at most four; an empty one is an error.
  std::string hex = std::string(8 * 13, '0') + "09000000";
  env_.start_sim("3298 reply hex=" + hex + "\n3296 reply\n");
  std::string body = json_body(send("/6024", R"({"chnid":3})"));
  EXPECT_EQ(body.rfind(R"({"chnid":3,"alarmCnt":4,"alarm":[)", 0), 0u) << body;
  EXPECT_EQ(send("/6028", R"({"chnid":3})").out, kJsonError);
}

TEST_F(AlarmE2e, CameraOutputsSetSwitchAndGet) {
  env_.start_sim();
  std::vector<std::string> j;
  auto r = send("/6029",
                R"({"chnid":4,"alarmCnt":2,"copyCnt":2,"copyChn":[6,4],)"
                R"("dialog":[{"alarmId":0,"effective":)" + week_json("10:00", "11:00", 1) + R"(}],)"
                R"("alarm":[{"alarmType":1,"delayTime":10,"alarmName":"Light"},{"alarmType":0,"delayTime":5,"alarmName":"Horn"}]})",
                &j);
  EXPECT_EQ(r.out, kTextOk);
  OutSet set{};
  set.e[0] = {0, 0, 1};
  set.e[1] = {0, 1, 0};
  set.cnt = 2;
  set.mask = (1ULL << 4) | (1ULL << 6);
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3324, set), line(1418, u64(set.mask))}));

  // Only the delay time reaches the other channel.
  auto copied = read<CamAlarmOutName>("alarm_chnOut0_name", 6);
  EXPECT_EQ(copied.delay_time, 10);
  EXPECT_STREQ(copied.alarm_name, "");

  EXPECT_EQ(send("/6033", R"({"chnid":4,"alarmId":1,"state":1})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3352, i32(4) + i32(1) + i32(1))}));

  r = send("/6028", R"({"chnid":4})");
  EXPECT_EQ(json_body(r).rfind(R"({"chnid":4,"alarmCnt":2,"alarm":[{"alarmType":1,"alarmStatus":0,"alarmName":"Light","delayTime":10,"effective":)" +
                                   week_reply_prefix("10:00", "11:00", 1),
                               0),
            0u)
      << r.out;
  EXPECT_NE(json_body(r).find(R"({"alarmType":0,"alarmStatus":1,"alarmName":"Horn","delayTime":5,"effective":[[{)"), std::string::npos);
  r = send("/6028", R"({"chnid":6})");
  EXPECT_NE(json_body(r).find(R"("alarmName":"","delayTime":10,"effective":)" + week_reply_prefix("10:00", "11:00", 1)), std::string::npos);

  r = send("/6032", "");
  std::string body = json_body(r);
  EXPECT_EQ(body.rfind(R"({"nvr":["","","",""],"camera":[["",""],["",""],["",""],["",""],["Light","Horn"],["",""],["",""],)", 0), 0u) << body;

  for (const char* bad : {R"({"chnid":64,"alarmId":0,"state":1})", R"({"chnid":1,"alarmId":2,"state":1})", "nope"}) {
    EXPECT_EQ(send("/6033", bad, &j).out, kTextError) << bad;
    EXPECT_TRUE(j.empty());
  }
  EXPECT_EQ(send("/6029", R"({"chnid":64,"alarmCnt":1})", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
}

TEST_F(AlarmE2e, OlderInputPagesKeepTheActionSettings) {
  env_.start_sim();
  ASSERT_EQ(send("/6027", R"({"alarmId":3,"dialog":{"email_interval":45,"audioId":4}})").out, kTextOk);

  std::vector<std::string> j;
  auto r = send("/6062",
                R"({"alarm":{"id":3,"enable":1,"name":"Hall","type":1,"triChannels":"0110","triAlarms":2,"interval":5},)"
                R"("schedule":[[["00:00","12:00"]]]})",
                &j);
  EXPECT_EQ(r.out, kTextOk);
  OperationLogInfo bare;
  std::memset(&bare, 0, sizeof bare);
  bare.main_type = 4;
  bare.sub_type = 204;
  bare.param = 910;
  EXPECT_EQ(j, (std::vector<std::string>{line(1404, i32(3)), line_of(3485, bare)}));
  auto in3 = read<AlarmInRecord>("alarm_in", 3);
  EXPECT_EQ(in3.email_interval, 45);  // not wiped by the older page
  EXPECT_EQ(in3.audio_id, 4);
  EXPECT_EQ(in3.chn_mask, 0x6u);

  r = send("/6061", "3");
  std::string body = json_body(r);
  EXPECT_EQ(body.rfind(R"({"alarm":{"id":3,"enable":1,"name":"Hall","type":1,"triChannels":"0110","triAlarms":2,"interval":5,"triSnapshot":""},)"
                       R"("schedule":[[{"startTime":"00:00","endTime":"12:00","actionType":6},{"startTime":"","endTime":"","actionType":6},)",
                       0),
            0u)
      << body;

  EXPECT_EQ(send("/6063", R"({"alarm":{"camId":3,"name":"Hall 2"}})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1404, i32(3)), log_line(910, 4)}));
  in3 = read<AlarmInRecord>("alarm_in", 3);
  EXPECT_STREQ(in3.name, "Hall 2");
  EXPECT_EQ(in3.alarm_type, 1);

  EXPECT_EQ(send("/6064", R"({"alarm":{"id":3,"enable":1,"name":"Hall 3","type":0,"triChannels":"1","triAlarms":1,"interval":9}})", &j).out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1404, i32(3)), log_line(910, 4)}));
  EXPECT_NE(json_body(send("/6060", "")).find(R"({"id":3,"enable":1,"name":"Hall 3","type":0,"triChannels":"1","triAlarms":1})"),
            std::string::npos);
  body = json_body(send("/6034", ""));
  EXPECT_EQ(body.rfind(R"({"nvr":["","","","Hall 3",)", 0), 0u) << body;

  // Invalid "alarm" objects and unknown inputs: no write, no message.
  struct Case {
    const char* name;
    const char* body;
    const char* reply;
  } cases[] = {
      {"/6064", R"({"alarm":{"id":3,"enable":1,"type":0,"triChannels":"1","triAlarms":1,"interval":-1}})", ""},
      {"/6062", R"({"alarm":{"id":16,"enable":1,"type":0,"triChannels":"1","triAlarms":1,"interval":1}})", ""},
      {"/6062", R"({"alarm":{"id":1,"enable":3,"type":0,"triChannels":"1","triAlarms":1,"interval":1}})", ""},
      {"/6064", R"({"alarm":{"id":1,"enable":1,"type":2,"triChannels":"1","triAlarms":1,"interval":1}})", ""},
      {"/6063", R"({"name":"x"})", ""},
      {"/6063", R"({"alarm":{"camId":16,"name":"x"}})", kJsonError},
      {"/6061", "16", kJsonError},
      {"/6061", "3x", kJsonError},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(send(c.name, c.body, &j).out, c.reply) << c.name << " " << c.body;
    EXPECT_TRUE(j.empty()) << c.name << " " << c.body;
  }
  EXPECT_STREQ(read<AlarmInRecord>("alarm_in", 3).name, "Hall 3");
}

TEST_F(AlarmE2e, OlderInputPageTakesTheScheduleItAnswers) {
  env_.start_sim();
  const std::string alarm = R"({"id":2,"enable":1,"name":"Door","type":0,"triChannels":"1","triAlarms":1,"interval":3})";
  ASSERT_EQ(send("/6062", R"({"alarm":)" + alarm + R"(,"schedule":[[["08:00","17:00"],["18:00","19:00"]]]})").out, kTextOk);
  const std::string got = json_body(send("/6061", "2"));
  ASSERT_NE(got.find(R"({"startTime":"18:00","endTime":"19:00","actionType":6})"), std::string::npos) << got;
  const AlarmInOldSchedule before = read<AlarmInOldSchedule>("alarm_in_schedule", 2);

  // "/6061"'s own answer posted back unchanged changes nothing.
  EXPECT_EQ(send("/6062", got).out, kTextOk);
  EXPECT_EQ(json_body(send("/6061", "2")), got);
  const AlarmInOldSchedule after = read<AlarmInOldSchedule>("alarm_in_schedule", 2);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);

  // The object form with one time changed stores the change.
  std::string changed = got;
  changed.replace(changed.find("18:00"), 5, "20:00");
  EXPECT_EQ(send("/6062", changed).out, kTextOk);
  EXPECT_STREQ(read<AlarmInOldSchedule>("alarm_in_schedule", 2).days[0][1].start_time, "20:00");
  EXPECT_STREQ(read<AlarmInOldSchedule>("alarm_in_schedule", 2).days[0][0].start_time, "08:00");
}

TEST_F(AlarmE2e, WhiteLedRowsOfInputZeroSurviveARoundTrip) {
  env_.start_sim();
  const std::string rows = R"([{"chnid":0,"mode":0,"time":0},{"chnid":1,"mode":2,"time":9}])";
  ASSERT_EQ(send("/6027", R"({"alarmId":0,"dialog":{"whiteInfo":)" + rows + "}}").out, kTextOk);
  std::string body = json_body(send("/6026", R"({"alarmId":0})"));
  EXPECT_NE(body.find(R"("whiteInfo":)" + rows + ","), std::string::npos) << body;
  // Camera input 0 of channel 0 likewise.
  ASSERT_EQ(send("/6025", R"({"chnid":0,"alarmCnt":1,"dialog":[{"alarmId":0,"whiteInfo":)" + rows + "}]}").out, kTextOk);
  body = json_body(send("/6024", R"({"chnid":0})"));
  EXPECT_NE(body.find(R"("whiteInfo":)" + rows + ","), std::string::npos) << body;
}

TEST_F(AlarmE2e, IdsAreDecimalNumbersNeverTextReadAsZero) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6027", R"({"alarmId":"x","name":"Gate"})", &j).out, kJsonError);
  EXPECT_EQ(send("/6022", R"({"alarmId":"x","name":"Horn"})", &j).out, kTextError);
  EXPECT_EQ(send("/6025", R"({"chnid":"x","alarmCnt":1})", &j).out, kJsonError);
  EXPECT_EQ(send("/6025", R"({"chnid":1,"alarmCnt":"x"})", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(count("alarm_in") + count("alarm_out"), 0);
  EXPECT_EQ(send("/6027", R"({"alarmId":"2","name":"Gate"})", &j).out, kTextOk);
  EXPECT_STREQ(read<AlarmInRecord>("alarm_in", 2).name, "Gate");
}

TEST_F(AlarmE2e, RefusedNumbersWriteAndSendNothing) {
  env_.start_sim();
  struct Case {
    const char* name;
    const char* body;
    const char* out;
  };
  const Case cases[] = {
      {"/6022", R"({"alarmId":1,"name":"Horn","enable":"x"})", kTextError},
      {"/6022", R"({"alarmId":1,"durationTime":1.5})", kTextError},
      {"/6023", R"({"id":1,"enable":"x"})", kJsonError},
      {"/6025", R"({"chnid":1,"alarmCnt":1,"alarm":[{"alarmEnable":"x","alarmName":"Gate"}]})", kJsonError},
      {"/6025", R"({"chnid":1,"alarmCnt":2,"dialog":[{"alarmId":0,"interval":7}],)"
                R"("alarm":[{"alarmEnable":1},{"alarmType":true}]})",
       kJsonError},
      {"/6027", R"({"alarmId":0,"name":"Gate","linkageAction":"x"})", kJsonError},
      {"/6027", R"({"alarmId":2,"alarmType":"x"})", kJsonError},
      {"/6029", R"({"chnid":1,"alarmCnt":1,"alarm":[{"alarmType":0,"delayTime":"x","alarmName":"Light"}]})",
       kJsonError},
      {"/6033", R"({"chnid":1,"alarmId":0,"state":"x"})", kTextError},
      {"/6062", R"({"alarm":{"id":"x","enable":1,"type":0,"triChannels":"1","triAlarms":1,"interval":1}})", ""},
      {"/6063", R"({"alarm":{"camId":1,"name":"Gate","enable":"x"}})", kJsonError},
      {"/6064", R"({"alarm":{"id":1,"enable":1,"type":0,"triChannels":"1","triAlarms":"x","interval":1}})", ""},
      // Texts are texts, in the dialogs too.
      {"/6022", R"({"alarmId":1,"name":[1]})", kTextError},
      {"/6022", R"({"alarmId":1,"dialog":{"effective":[[[8,"09:00"]]]}})", kTextError},
      {"/6025", R"({"chnid":1,"alarmCnt":1,"dialog":[{"alarmId":0,"triChannels":[1]}]})", kJsonError},
      {"/6025", R"({"chnid":1,"alarmCnt":1,"dialog":[{"alarmId":0,"ptzParams":[{"acto_ptz_channel":"x"}]}]})",
       kJsonError},
      {"/6027", R"({"alarmId":2,"name":5})", kJsonError},
      {"/6027", R"({"alarmId":2,"dialog":{"interval":"x"}})", kJsonError},
      {"/6029", R"({"chnid":1,"alarmCnt":1,"alarm":[{"alarmType":0,"delayTime":1,"alarmName":[1]}]})", kJsonError},
      {"/6063", R"({"alarm":{"camId":1,"name":[1]}})", kJsonError},
      {"/6064", R"({"alarm":{"id":1,"enable":1,"type":0,"triChannels":[1],"triAlarms":1,"interval":1}})", ""},
  };
  for (const Case& k : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send(k.name, k.body, &j).out, k.out) << k.name << " " << k.body;
    EXPECT_TRUE(j.empty()) << k.name << " " << k.body;
  }
  EXPECT_EQ(count("alarm_in") + count("alarm_out") + count("disarming") + count("alarm_chnIn0_event") +
                count("alarm_chnIn0_name") + count("alarm_chnOut0_name"),
            0);
  // Decimal texts are numbers.
  std::vector<std::string> j;
  EXPECT_EQ(send("/6033", R"({"chnid":1,"alarmId":0,"state":"1"})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3352, i32(1) + i32(0) + i32(1))}));
}

TEST_F(AlarmE2e, FailedDatabaseWriteIsNotAnsweredOk) {
  env_.start_sim();
  env_.write_file(ZRDB_PATH, std::string(4096, 'x'));  // not a database
  std::vector<std::string> j;
  EXPECT_EQ(send("/6022", R"({"alarmId":1,"name":"x"})", &j).out, kTextError);
  EXPECT_EQ(send("/6027", R"({"alarmId":1,"name":"x"})", &j).out, kJsonError);
  EXPECT_EQ(send("/6064", R"({"alarm":{"id":3,"enable":1,"type":0,"triChannels":"1","triAlarms":1,"interval":1}})", &j).out,
            kTextError);
  EXPECT_TRUE(j.empty());
}

}  // namespace
