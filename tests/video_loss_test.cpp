// Video loss, alarm-input action schedules, exceptions and the camera events
// (alarm I/O, volume detection), end to end.
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/cgi_json.h"
#include "core/event_records.h"
#include "core/web_utils.h"
#include "event_e2e.h"
#include "handlers/video/camera_event_records.h"

namespace {

using VideoLossE2e = EventE2e;

void store(const std::string& family, int id, const void* rec, size_t size) {
  zrdb_close_all();
  ASSERT_EQ(zrdb_write_record(ZRDB_PATH, family.c_str(), id, rec, size), 0);
  zrdb_close_all();
}

VideoLossRecord loss(int ch, int enable, int tri, int interval) {
  VideoLossRecord r{};
  r.channel = ch;
  r.enable = enable;
  r.tri_alarms = tri;
  r.interval = interval;
  return r;
}

TEST_F(VideoLossE2e, BasicsKeepAbsentFieldsAndRoundTrip) {
  env_.start_sim();
  std::vector<std::string> j;
  VideoLossRecord seeded = loss(3, 1, 4, 20);
  seeded.email_interval = 9;
  store("video_loss", 3, &seeded, sizeof seeded);

  EXPECT_EQ(send("/6016", R"({"camId":3,"enable":2,"triAlarms":6})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1402, i32(3)), log_line(908, 4)}));
  auto r = read<VideoLossRecord>("video_loss", 3);
  EXPECT_EQ(r.enable, 2);      // the validated enable is stored
  EXPECT_EQ(r.interval, 20);   // absent: kept
  EXPECT_EQ(r.tri_alarms, 6);
  EXPECT_EQ(r.email_interval, 9);

  const std::string got = json_body(send("/6014", "3"));
  EXPECT_EQ(got, R"({"camId":3,"enable":2,"triAlarms":6,"interval":20})");
  EXPECT_EQ(send("/6016", got, &j).out, kTextOk);
  auto again = read<VideoLossRecord>("video_loss", 3);
  EXPECT_EQ(std::memcmp(&again, &r, sizeof r), 0);

  const char* refused[] = {
      R"({"camId":64,"enable":1,"triAlarms":0,"interval":0})", R"({"camId":"x","enable":1,"triAlarms":0})",
      R"({"camId":3,"enable":3,"triAlarms":0})",              R"({"camId":3,"triAlarms":-1})",
      R"({"camId":3,"enable":1})",                             R"({"camId":3,"triAlarms":1,"interval":"x"})",
      "garbage",
  };
  for (const char* b : refused) {
    EXPECT_EQ(send("/6016", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  for (const char* bad : {"64", "-1", "x", ""}) EXPECT_EQ(send("/6014", bad).out, "") << bad;

  // The older schedule page writes the audible schedule and the enable.
  EXPECT_EQ(send("/6017", R"({"camId":3,"enable":0,"schedule":)" + week_json("01:00", "02:00", 1) + "}", &j).out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1402, i32(3))}));
  EXPECT_EQ(read<VideoLossRecord>("video_loss", 3).enable, 0);
  const std::string sche = json_body(send("/6015", "3"));
  EXPECT_EQ(sche.rfind(week_reply_prefix("01:00", "02:00", 1), 0), 0u) << sche;
  EXPECT_EQ(send("/6015", "64").out, "");
  EXPECT_EQ(send("/6017", R"({"camId":64,"enable":0})", &j).out, "");
  EXPECT_TRUE(j.empty());
}

TEST_F(VideoLossE2e, DialogForcesEnableAndCopiesWithOwnChannels) {
  env_.start_sim();
  std::vector<std::string> j;
  // Any changed dialog field stores enable and e-mail enable 2.
  auto r = send("/6095",
                R"({"chnid":2,"dialog":1,"enable":0,"interval":7,"audioId":3,"triChnAlarms":["1","01"],)"
                R"("audible":)" + week_json("01:00", "02:00", 1) + R"(,"httpParams":{"url":"http://a"},)"
                R"("ptzParams":[{"acto_ptz_channel":4,"acto_ptz_type":1,"acto_ptz_preset":2}],)"
                R"("copyCnt":3,"copyChn":[2,5,70]})",
                &j);
  EXPECT_EQ(r.out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1414, u64((1ULL << 2) | (1ULL << 5)))}));
  auto src = read<VideoLossRecord>("video_loss", 2);
  EXPECT_EQ(src.enable, 2);
  EXPECT_EQ(src.email_enable, 2);
  EXPECT_EQ(src.interval, 7);
  EXPECT_STREQ(src.tri_chn_alarms[1], "01");
  auto copy = read<VideoLossRecord>("video_loss", 5);
  EXPECT_EQ(copy.channel, 5);
  EXPECT_EQ(copy.interval, 7);
  EXPECT_EQ(copy.audio_id, 3);

  const std::string body = json_body(send("/6094", R"({"chnid":5})"));
  EXPECT_EQ(body.rfind(R"({"chnid":5,"enable":2,"triAlarms":0,"interval":7,"email_interval":0,)", 0), 0u) << body;
  EXPECT_NE(body.find(R"("audible":)" + week_reply_prefix("01:00", "02:00", 1)), std::string::npos);
  EXPECT_NE(body.find(R"("triChnAlarms":["1","01"])"), std::string::npos);
  EXPECT_NE(body.find(R"("url":"http://a")"), std::string::npos);
  EXPECT_NE(body.find(R"("ptzParams":[{"acto_ptz_channel":4,"acto_ptz_type":1,"acto_ptz_preset":2)"), std::string::npos)
      << body;

  // The getter's answer posted back with its dialog flag changes nothing.
  JsonPtr back(json_tokener_parse(body.c_str()));
  ASSERT_TRUE(back);
  json_object_object_add(back.get(), "dialog", json_object_new_int(1));
  const auto before = read<VideoLossRecord>("video_loss", 5);
  EXPECT_EQ(send("/6095", json_object_to_json_string(back.get()), &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1414, u64(1ULL << 5))}));
  auto after = read<VideoLossRecord>("video_loss", 5);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof after), 0);

  // A copy without a dialog copies the stored source, each copy with its channel.
  EXPECT_EQ(send("/6095", R"({"chnid":2,"copyCnt":1,"copyChn":[9]})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1414, u64((1ULL << 2) | (1ULL << 9)))}));
  auto nine = read<VideoLossRecord>("video_loss", 9);
  EXPECT_EQ(nine.channel, 9);
  EXPECT_EQ(nine.interval, 7);
  EXPECT_EQ(json_body(send("/6166", "9")).rfind("[[{", 0), 0u);

  for (const char* b : {R"({"chnid":64})", R"({"chnid":"x"})", "nope"}) {
    EXPECT_EQ(send("/6095", b, &j).out, kJsonError) << b;
    EXPECT_TRUE(j.empty());
    EXPECT_EQ(send("/6094", b).out, kJsonError) << b;
  }
}

TEST_F(VideoLossE2e, ListSettersMaskTargetsAndChanges) {
  env_.start_sim();
  std::vector<std::string> j;
  VideoLossRecord one = loss(1, 1, 0, 30);
  store("video_loss", 1, &one, sizeof one);

  // Channel 1 already holds enable 1 / interval 30: not rewritten, still a target.
  EXPECT_EQ(send("/6121", R"({"cnt":3,"chnid":[1,2,2],"enable":1,"interval":30,"schedule":)" +
                              week_json("03:00", "04:00", 1) + "}",
                 &j).out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1414, u64(0x06))}));
  EXPECT_EQ(count("video_loss"), 2);
  EXPECT_EQ(read<VideoLossRecord>("video_loss", 2).interval, 30);
  EXPECT_EQ(json_body(send("/6015", "1")).rfind(week_reply_prefix("03:00", "04:00", 1), 0), 0u);

  // Without a schedule the stored schedules stay.
  EXPECT_EQ(send("/6122", R"({"cnt":2,"chnid":[2,64],"enable":1,"interval":11})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1414, u64(1ULL << 2))}));
  auto two = read<VideoLossRecord>("video_loss", 2);
  EXPECT_EQ(two.email_enable, 1);
  EXPECT_EQ(two.email_interval, 11);
  EXPECT_EQ(two.interval, 30);
  EXPECT_EQ(count("videoloss_email_schedule"), 0);
  EXPECT_EQ(send("/6122", R"({"cnt":"x","chnid":[2]})", &j).out, "");
  EXPECT_TRUE(j.empty());
  // The e-mail schedule "/6122" saves is the one "/6124" answers.
  EXPECT_EQ(send("/6122", R"({"cnt":1,"chnid":[3],"enable":1,"interval":5,"schedule":)" +
                              week_json("05:00", "06:00", 1) + "}",
                 &j).out,
            kTextOk);
  EXPECT_EQ(json_body(send("/6124", "3")).rfind(week_reply_prefix("05:00", "06:00", 1), 0), 0u);

  // Triggered alarms: 1414 names the changed channels, the log every target.
  EXPECT_EQ(send("/6123", R"({"cnt":3,"chnid":[1,2,5],"triAlarms":0})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1414, u64(0)), log_copy_line(909, 0x26)}));
  EXPECT_EQ(send("/6123", R"({"cnt":2,"chnid":[1,5],"triAlarms":3})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1414, u64(0x22)), log_copy_line(909, 0x22)}));
  EXPECT_EQ(read<VideoLossRecord>("video_loss", 5).tri_alarms, 3);
  EXPECT_EQ(read<VideoLossRecord>("video_loss", 5).channel, 5);
  EXPECT_EQ(read<VideoLossRecord>("video_loss", 1).interval, 30);
  EXPECT_EQ(send("/6123", R"({"cnt":1,"chnid":[1]})", &j).out, "");
}

TEST_F(VideoLossE2e, PtzListSettersCheckTheirChannels) {
  env_.start_sim();
  std::vector<std::string> j;
  PtzActionTable rows{};
  rows.rows[0] = {0, 3, 0, 1, 7, 0, 0};
  zrdb_close_all();
  ASSERT_EQ(write_ptz_params_all(ZRDB_PATH, PTZ_TYPE_VIDEOLOSS, 0, &rows), 0);
  ASSERT_EQ(write_ptz_params_all(ZRDB_PATH, PTZ_TYPE_ALARM_IN, 2, &rows), 0);
  zrdb_close_all();

  EXPECT_EQ(send("/6165", R"({"camId":0,"cnt":3,"chnid":[0,4,99],"schedule":)" + week_json("05:00", "06:00", 1) + "}",
                 &j).out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1414, u64(0x11))}));
  zrdb_close_all();
  PtzActionTable got{};
  ASSERT_EQ(read_ptz_params(ZRDB_PATH, PTZ_TYPE_VIDEOLOSS, 4, &got), 0);
  EXPECT_EQ(got.rows[0].owner_id, 4);
  EXPECT_EQ(got.rows[0].preset, 7);
  EXPECT_EQ(json_body(send("/6166", "4")).rfind(week_reply_prefix("05:00", "06:00", 1), 0), 0u);

  EXPECT_EQ(send("/6167", R"({"camId":2,"cnt":2,"chnid":[3,16]})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1415, u64(1ULL << 3))}));
  zrdb_close_all();
  ASSERT_EQ(read_ptz_params(ZRDB_PATH, PTZ_TYPE_ALARM_IN, 3, &got), 0);
  EXPECT_EQ(got.rows[0].owner_id, 3);
  zrdb_close_all();
  ASSERT_EQ(read_ptz_params(ZRDB_PATH, PTZ_TYPE_ALARM_IN, 16, &got), 0);
  EXPECT_EQ(got.rows[0].ptz_channel, 0);

  for (const char* b : {R"({"camId":-1,"cnt":0})", R"({"camId":64,"cnt":0})", R"({"camId":"x"})"}) {
    EXPECT_EQ(send("/6165", b, &j).out, kTextError) << b;
    EXPECT_TRUE(j.empty());
  }
  EXPECT_EQ(send("/6167", R"({"camId":16,"cnt":0})", &j).out, kTextError);
  EXPECT_EQ(send("/6170", R"({"camId":-1,"schedule":[]})", &j).out, kTextError);
  EXPECT_TRUE(j.empty());
}

TEST_F(VideoLossE2e, AlarmInputSchedulesTakeOnlyRealInputs) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6125", R"({"cnt":3,"chnid":[0,15,16],"enable":1,"interval":5,"schedule":)" +
                              week_json("07:00", "08:00", 1) + "}",
                 &j).out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1415, u64((1ULL << 0) | (1ULL << 15)))}));
  EXPECT_EQ(count("alarm_in"), 2);
  EXPECT_EQ(read<AlarmInRecord>("alarm_in", 15).interval, 5);
  EXPECT_EQ(json_body(send("/6129", "15")).rfind(week_reply_prefix("07:00", "08:00", 1), 0), 0u);

  EXPECT_EQ(send("/6126", R"({"cnt":1,"chnid":[4],"enable":1,"interval":9,"triSnapshot":")" + std::string(70, '1') +
                              R"(","schedule":)" + week_json("09:00", "10:00", 1) + "}",
                 &j).out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1415, u64(1ULL << 4))}));
  auto in4 = read<AlarmInRecord>("alarm_in", 4);
  EXPECT_EQ(in4.id, 4);
  EXPECT_EQ(in4.email_flag, 1);
  EXPECT_EQ(in4.email_interval, 9);
  EXPECT_EQ(std::string(in4.tri_snapshot), std::string(64, '1'));
  EXPECT_EQ(json_body(send("/6128", "4")).rfind(week_reply_prefix("09:00", "10:00", 1), 0), 0u);

  EXPECT_EQ(send("/6170", R"({"camId":6,"schedule":)" + week_json("00:00", "24:00", 1) + "}", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1404, i32(6))}));
  const std::string eff = json_body(send("/6169", "6"));
  EXPECT_EQ(eff.rfind(week_reply_prefix("00:00", "24:00", 1), 0), 0u);
  // Posted back unchanged, the effective schedule stays as it was.
  EXPECT_EQ(send("/6170", R"({"camId":6,"schedule":)" + eff + "}", &j).out, kTextOk);
  EXPECT_EQ(json_body(send("/6169", "6")), eff);
  EXPECT_EQ(send("/6170", R"({"camId":6})", &j).out, kTextError);
  EXPECT_EQ(send("/6168", "x").out, "");
}

TEST_F(VideoLossE2e, ExceptionsWriteTriggersAndHttpTargets) {
  env_.start_sim();
  std::vector<std::string> j;
  // Exactly 8 entries: entries 8..11 are written as 0.
  EXPECT_EQ(send("/6998", R"({"exception":[1,2,3,4,5,6,7,8],"recordFailedMailInterval":15,)"
                          R"("httpParams":{"diskFull":{"url":"http://d","username":"u","password":"p"}}})",
                 &j).out,
            std::string(kJsonHead) + R"({"status":"CGI SUCCESS"})");
  EXPECT_EQ(j, (std::vector<std::string>{line(2104, ""), line(3394, "")}));
  zrdb_close_all();
  HttpNotifyParams p{};
  ASSERT_EQ(read_http_notification_params(ZRDB_PATH, "except_http_notification_params", 1, &p), 0);
  EXPECT_EQ(p.chn_id, 1);
  EXPECT_STREQ(p.url, "http://d");
  ASSERT_EQ(read_http_notification_params(ZRDB_PATH, "except_http_notification_params", 0, &p), 0);
  EXPECT_EQ(p.chn_id, -1);
  // A kind the request leaves out keeps its target.
  EXPECT_EQ(send("/6998", R"({"exception":[1,2,3,4,5,6,7,8],"httpParams":{"noDisk":{"url":"http://n"}}})").out,
            std::string(kJsonHead) + R"({"status":"CGI SUCCESS"})");
  zrdb_close_all();
  ASSERT_EQ(read_http_notification_params(ZRDB_PATH, "except_http_notification_params", 1, &p), 0);
  EXPECT_EQ(std::string(p.url) + p.username + p.password, "http://dup");
  ASSERT_EQ(read_http_notification_params(ZRDB_PATH, "except_http_notification_params", 0, &p), 0);
  EXPECT_EQ(p.chn_id, 0);
  EXPECT_STREQ(p.url, "http://n");

  const std::string body = json_body(send("/6999", ""));
  EXPECT_NE(body.find(R"("noDisk":{"url":"http://n","username":"","password":""},"diskFull":{"url":"http://d","username":"u","password":"p"})"), std::string::npos) << body;
  EXPECT_NE(body.find(R"("exception":[1,2,3,4,5,6,7,8,0,0,0,0],"recordFailedMailInterval":15})"), std::string::npos)
      << body;
  // Round trip: the same answer after saving it back.
  EXPECT_EQ(send("/6998", body, &j).out, std::string(kJsonHead) + R"({"status":"CGI SUCCESS"})");
  EXPECT_EQ(json_body(send("/6999", "")), body);

  // Without "httpParams" only the triggers are written.
  EXPECT_EQ(send("/6998", R"({"exception":[0,0,0,0,0,0,0,0,0,0,0,9]})", &j).out,
            std::string(kJsonHead) + R"({"status":"CGI SUCCESS"})");
  EXPECT_EQ(j, (std::vector<std::string>{line(2104, "")}));
  EXPECT_NE(json_body(send("/6999", "")).find(R"(0,9],"recordFailedMailInterval":15})"), std::string::npos);

  for (const char* b : {R"({"exception":[1,2,3,4,5,6,7]})", R"({"exception":5})", R"({"exception":[1,2,3,4,5,6,7,"x"]})", "x"}) {
    EXPECT_EQ(send("/6998", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty()) << b;
  }
}

// The record of the exception page as the store keeps it.
struct ExceptionTriggers {
  int32_t triggers[12];
  int32_t record_failed_mail_interval;
};

class ConcurrentSaveE2e : public EventE2e {
 protected:
  // Runs the request while this process holds the store's write lock and
  // makes `change` under it, committed once the request has had time to
  // read. A handler that read its record before taking its own write
  // transaction would write back what it read, losing the change; one that
  // reads inside its transaction waits and sees it, however the two are
  // timed.
  CgiResult send_during_write(const std::string& name, const std::string& body, const std::function<void()>& change) {
    zrdb_close_all();
    CgiResult r;
    {
      ZrdbTransaction txn(ZRDB_PATH);
      EXPECT_TRUE(txn.ok());
      std::thread request([&] { r = send(name, body); });
      change();
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      EXPECT_EQ(txn.commit(), 0);
      request.join();
    }
    zrdb_close_all();
    return r;
  }
};

TEST_F(ConcurrentSaveE2e, SavesAtTheSameMomentKeepEachOthersChanges) {
  env_.start_sim();
  // The exception page keeps the stored mail interval when the request
  // has none.
  const std::string ok = std::string(kJsonHead) + R"({"status":"CGI SUCCESS"})";
  ASSERT_EQ(send("/6998", R"({"exception":[1,2,3,4,5,6,7,8],"recordFailedMailInterval":15})").out, ok);
  EXPECT_EQ(send_during_write("/6998", R"({"exception":[0,0,0,0,0,0,0,0,0,0,0,9]})",
                              [] {
                                ExceptionTriggers e{};
                                e.record_failed_mail_interval = 33;
                                EXPECT_EQ(zrdb_write_record(ZRDB_PATH, "trigger_alarms", 0, &e, sizeof e), 0);
                              })
                .out,
            ok);
  const ExceptionTriggers e = read<ExceptionTriggers>("trigger_alarms", 0);
  EXPECT_EQ(e.record_failed_mail_interval, 33);
  EXPECT_EQ(e.triggers[11], 9);

  // The list page writes the channels whose alarm outputs differ from the
  // request's: a channel changed meanwhile is still given the request's.
  ASSERT_EQ(send("/6123", R"({"cnt":1,"chnid":[3],"triAlarms":7})").out, kTextOk);
  EXPECT_EQ(send_during_write("/6123", R"({"cnt":1,"chnid":[3],"triAlarms":7})",
                              [] {
                                VideoLossRecord r = loss(3, 1, 5, 0);
                                EXPECT_EQ(zrdb_write_record(ZRDB_PATH, "video_loss", 3, &r, sizeof r), 0);
                              })
                .out,
            kTextOk);
  EXPECT_EQ(read<VideoLossRecord>("video_loss", 3).tri_alarms, 7);
}

TEST_F(VideoLossE2e, CameraEventsRelayAndReadBack) {
  env_.start_sim();
  std::vector<std::string> j;
  const std::string chans = std::string(2, '1') + std::string(62, '0');
  EXPECT_EQ(send("/6091", R"({"camId":5,"enable":1,"type":2,"triActions":6,"triChannels":")" + chans + "\"}", &j).out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3214, CameraIoChange{5, 1, 2}), log_line(923, 6)}));
  auto io = read<CameraEventRecord>("cameraio", 5);
  EXPECT_EQ(io.chn_mask, 3u);
  EXPECT_EQ(io.tri_actions, 6);

  const std::string got = json_body(send("/6090", "5"));
  EXPECT_EQ(got, R"({"camId":5,"enable":1,"type":2,"triActions":6,"triChannels":")" + chans + "\"}");
  EXPECT_EQ(send("/6091", got, &j).out, kTextOk);
  EXPECT_EQ(json_body(send("/6090", "5")), got);

  EXPECT_EQ(send("/6093", R"({"camId":1,"enable":0,"type":1,"volume":70,"duration":3,"onEvent":1,"offEvent":0,)"
                          R"("ongoingEvent":2,"triActions":1,"triChannels":"1"})",
                 &j).out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3216, VolumeDetectChange{1, 0, 1, 70, 3, 1, 0, 2}), log_line(924, 2)}));
  const std::string vol = json_body(send("/6092", "1"));
  EXPECT_EQ(vol, R"({"camId":1,"enable":0,"type":1,"volume":70,"duration":3,"onEvent":1,"offEvent":0,)"
                 R"("ongoingEvent":2,"triActions":1,"triChannels":"1"})");
  EXPECT_EQ(send("/6093", vol, &j).out, kTextOk);
  EXPECT_EQ(json_body(send("/6092", "1")), vol);

  const char* refused[] = {
      R"({"camId":64,"enable":1,"type":0,"triActions":0,"triChannels":""})",
      R"({"camId":1,"enable":2,"type":0,"triActions":0,"triChannels":""})",
      R"({"camId":1,"enable":1,"type":-1,"triActions":0,"triChannels":""})",
      R"({"camId":1,"enable":1,"type":0,"triChannels":""})",
      R"({"camId":1,"enable":1,"type":0,"triActions":0})",
  };
  for (const char* b : refused) {
    EXPECT_EQ(send("/6091", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  EXPECT_EQ(send("/6093", R"({"camId":1,"enable":1,"type":0,"triActions":0,"triChannels":"","volume":-1,)"
                          R"("duration":0,"onEvent":0,"offEvent":0,"ongoingEvent":0})",
                 &j).out,
            "");
  EXPECT_EQ(send("/6090", "64").out, "");
}

TEST_F(VideoLossE2e, CameraReadsWithoutReplyOrWithShortReply) {
  env_.start_sim("3213 none\n3215 reply hex=00000000\n");
  EXPECT_EQ(send("/6090", "2", nullptr, "200").out, kJsonError);
  EXPECT_EQ(send("/6092", "2").out, kJsonError);
}

}  // namespace
