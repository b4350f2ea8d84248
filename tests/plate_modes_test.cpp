// Licence plate recognition end to end: the actions of the plate-list modes
// and of the settings page (their own tables each), the camera's
// recognition settings and wildcards through the core (exact payloads,
// read back from zrcore-sim), the getter/setter round trips and the
// replies when the core or the store fails.
#include <memory>
#include <string>
#include <vector>

#include "core/cgi_json.h"
#include "core/smart_records.h"
#include "event_e2e.h"
#include "handlers/video/plate_records.h"

namespace {

class PlateModesE2e : public EventE2e {
 protected:
  SmartEventAction event(const std::string& tag, int ch) { return read<SmartEventAction>("anpr_event_" + tag, ch); }
  // The payload of the last message of that id in the journal lines.
  static std::string sent(const std::vector<std::string>& j, int id) {
    std::string found;
    const std::string head = std::to_string(id) + " ";
    for (const std::string& l : j)
      if (l.compare(0, head.size(), head) == 0) found = l.substr(head.size());
    return found;
  }
  static std::string mode_note(int ch, int mode) { return line(1416, i32(ch) + i32(mode)); }
  static std::string json_reply(const std::string& body) { return kJsonHead + body; }
  // The record a camera of zrcore-sim holds before any write.
  static std::unique_ptr<AnprSettingsRecord> sim_default(int ch) {
    std::unique_ptr<AnprSettingsRecord> r(new AnprSettingsRecord());
    r->chnid = ch;
    r->resolution_width = r->area_width = 1920;
    r->resolution_height = r->area_height = 1080;
    r->confidence = 80;
    r->json_support = 1;
    r->aitype = ch == 2 ? 11 : 0;
    r->in_night_mode = ch == 3 ? 1 : 0;
    return r;
  }
};

const std::string kDialog = R"("triAlarms":3,"interval":7,"email_interval":9,"email_pic_enable":1,)"
                            R"("tri_channels_pic":"0110","ptz_interval":4,"alarmout_interval":5,"white_interval":6,)"
                            R"("http_notification_interval":8,"triChannels":"1010","audioId":2,"triChnAlarms":["01","10"],)"
                            R"("effective":)" + week_json("01:00", "02:00", 1) +
                            R"(,"audible":)" + week_json("03:00", "04:00", 1) +
                            R"(,"white":)" + week_json("05:00", "06:00", 1) +
                            R"(,"httpSche":)" + week_json("07:00", "08:00", 1) +
                            R"(,"whiteInfo":[[4,1,30]],"httpParams":{"url":"http://plates"},)"
                            R"("ptzParams":[{"acto_ptz_channel":2,"acto_ptz_type":1,"acto_ptz_preset":3}])";

TEST_F(PlateModesE2e, ModeActionsAreSavedAnsweredAndPostedBackUnchanged) {
  env_.start_sim();
  std::vector<std::string> j;
  ASSERT_EQ(send("/6180", R"({"chnid":4,"mode":1,"enable":1,)" + kDialog + "}", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{mode_note(4, 1)}));
  const SmartEventAction a = event("white", 4);
  EXPECT_EQ(a.channel, 4);
  EXPECT_EQ(a.enable, 1);
  EXPECT_EQ(a.tri_alarms, 3);
  EXPECT_EQ(a.interval, 7);
  EXPECT_EQ(a.email_interval, 9);
  EXPECT_EQ(a.http_notification_interval, 8);
  EXPECT_EQ(a.chn_mask, 0x5u);
  EXPECT_STREQ(a.tri_channels_pic, "0110");
  EXPECT_EQ(a.audio_id, 2);
  EXPECT_EQ(read<PtzActionTable>("ptz_params_16", 4).rows[0].ptz_channel, 2);
  EXPECT_STREQ(read<HttpNotifyParams>("lpr_white_mode_http_notification_params", 4).url, "http://plates");
  EXPECT_EQ(count("anpr_white_effective_schedule"), 1);
  EXPECT_EQ(count("lpr_white_whiteled_esche"), 1);
  // No other mode's rows.
  for (const char* other : {"anpr_event_black", "anpr_event_visitor", "anpr_event_own", "ptz_params_15",
                            "lpr_vistor_white_led_params", "lpr_visitor_mode_http_notification_params"})
    EXPECT_EQ(count(other), 0) << other;

  const std::string reply = json_body(send("/6179", R"({"chnid":4,"mode":1})"));
  EXPECT_EQ(reply.rfind(R"({"chnid":4,"mode":1,"enable":1,"triAlarms":3,"interval":7,"email_interval":9,)"
                        R"("email_pic_enable":1,"tri_channels_pic":"0110","ptz_interval":4,"alarmout_interval":5,)"
                        R"("white_interval":6,"http_notification_interval":8,"triChannels":"1010","effective":)" +
                            week_reply_prefix("01:00", "02:00", 1),
                        0),
            0u)
      << reply;
  for (const std::string& part :
       {R"("audible":)" + week_reply_prefix("03:00", "04:00", 1), std::string(R"("triChnAlarms":["01","10"],"white":)"),
        R"("white":)" + week_reply_prefix("05:00", "06:00", 1), R"("httpSche":)" + week_reply_prefix("07:00", "08:00", 1),
        std::string(R"("whiteInfo":[{"chnid":4,"mode":1,"time":30}],"httpSche":)"),
        std::string(R"("url":"http://plates")"), std::string(R"("audioId":2,"audioIdMask":0,"ptzParams":[{)")})
    EXPECT_NE(reply.find(part), std::string::npos) << part << "\n" << reply;

  // The getter's reply posted back changes no stored byte and answers OK.
  const SmartEventAction before = event("white", 4);
  ASSERT_EQ(send("/6180", reply, &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{mode_note(4, 1)}));
  const SmartEventAction after = event("white", 4);
  EXPECT_EQ(0, std::memcmp(&before, &after, sizeof before));
  EXPECT_EQ(json_body(send("/6179", R"({"chnid":4,"mode":1})")), reply);

  // The keys of "dialog" are taken as well; "enable" stays a key of the
  // request.
  ASSERT_EQ(send("/6180", R"({"chnid":4,"mode":1,"enable":0,"dialog":{"triAlarms":1}})").out, kTextOk);
  EXPECT_EQ(event("white", 4).tri_alarms, 1);
  EXPECT_EQ(event("white", 4).enable, 0);
  EXPECT_EQ(event("white", 4).interval, 7);
}

TEST_F(PlateModesE2e, EachModeKeepsItsOwnTables) {
  env_.start_sim();
  // Mode -1 (the settings page's actions) and the visitor mode share no
  // table: saving one never changes the other's white light or HTTP target.
  ASSERT_EQ(send("/6180", R"({"chnid":5,"mode":2,"whiteInfo":[[5,1,10]],"httpParams":{"url":"http://visitor"}})").out,
            kTextOk);
  ASSERT_EQ(send("/6180", R"({"chnid":5,"mode":-1,"whiteInfo":[[5,0,99]],"httpParams":{"url":"http://own"},)"
                          R"("effective":)" + week_json("10:00", "11:00", 1) + "}")
                .out,
            kTextOk);
  EXPECT_STREQ(read<HttpNotifyParams>("lpr_visitor_mode_http_notification_params", 5).url, "http://visitor");
  EXPECT_STREQ(read<HttpNotifyParams>("lpr_own_mode_http_notification_params", 5).url, "http://own");
  const std::string visitor = json_body(send("/6179", R"({"chnid":5,"mode":2})"));
  EXPECT_NE(visitor.find(R"("whiteInfo":[{"chnid":5,"mode":1,"time":10}])"), std::string::npos) << visitor;
  EXPECT_NE(visitor.find(R"("effective":[[{"startTime":"","endTime":"")"), std::string::npos) << visitor;

  // Mode -1 answers its channel, mode and effective schedule only.
  const std::string own = json_body(send("/6179", R"({"chnid":5,"mode":-1})"));
  EXPECT_EQ(own.rfind(R"({"chnid":5,"mode":-1,"effective":)" + week_reply_prefix("10:00", "11:00", 1), 0), 0u) << own;
  JsonPtr parsed(json_tokener_parse(own.c_str()));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(json_object_object_length(parsed.get()), 3);
}

TEST_F(PlateModesE2e, ChannelAndModeOutsideTheirRangesAreRefused) {
  env_.start_sim();
  std::vector<std::string> j;
  for (const char* body : {R"({"chnid":64,"mode":0,"enable":1})", R"({"chnid":-1,"mode":0,"enable":1})",
                           R"({"chnid":"x","mode":0,"enable":1})", R"({"chnid":1,"mode":3,"enable":1})",
                           R"({"chnid":1,"mode":-2,"enable":1})", R"({"chnid":1,"enable":1})",
                           R"({"chnid":1,"mode":"x","enable":1})", "not json"}) {
    EXPECT_EQ(send("/6180", body, &j).out, kJsonError) << body;
    EXPECT_TRUE(j.empty()) << body;
    EXPECT_EQ(send("/6179", body).out, kJsonError) << body;
  }
  // A dialog of another channel is refused.
  EXPECT_EQ(send("/6180", R"({"chnid":1,"mode":0,"dialog":{"chnid":2,"triAlarms":1}})", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
  for (const char* family : {"anpr_event_black", "anpr_event_white", "anpr_event_visitor", "anpr_event_own"})
    EXPECT_EQ(count(family), 0) << family;
  // Mode 2 and channel 63 are inside the ranges; an empty save writes no
  // record but still tells the core.
  EXPECT_EQ(send("/6180", R"({"chnid":63,"mode":2})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{mode_note(63, 2)}));
  EXPECT_EQ(count("anpr_event_visitor"), 0);
}

TEST_F(PlateModesE2e, SettingsAreSentAsOneRecordAndReadBack) {
  env_.start_sim();
  std::vector<std::string> j;
  std::string regions;
  for (int i = 0; i < 64; ++i) regions += std::string(i ? "," : "") + "\"R" + std::to_string(i) + "\"";
  const std::string body =
      R"({"chnid":6,"enable":1,"resolution_width":1280,"resolution_height":720,"area_x":1,"area_y":2,"area_width":3,)"
      R"("area_height":4,"day_night_mode_enable":1,"scene":2,"direction_enable":1,"region_enable":1,"roiid_enable":1,)"
      R"("process_mode":3,"repeat_check_time_value":30,"repeat_check_time_unit":1,"post_enable":1,"post_type":2,)"
      R"("post_tcp_port":9000,"post_http_user":"u","post_http_password":"p","post_http_url":")" + std::string(600, 'h') +
      R"(","confidence":75,"region":[)" + regions + R"(],"cur_area":")" + std::string(40, 'c') +
      R"(","in_night_mode":1,"platecolorEnable":1,"vehicletypeEnable":1,"vehiclecolorEnable":1,)"
      R"("roi":[{"name":"gate","startX":10,"startY":20,"endX":30,"endY":40}],)"
      R"("preset":[[],[{"name":"p10"},{"name":"p11","startX":1,"startY":2,"endX":3,"endy":4}],[],)"
      R"([{},{},{},{"name":"p33","endY":7}]],)"
      R"("night_mode_enable":1,"night_mode_level":2,"night_mode_starthour":20,"night_mode_startminute":30,)"
      R"("night_mode_stophour":6,"night_mode_stopminute":15,"night_mode_effective_mode":1,"jsonSupport":1,)"
      R"("irLedExternalSupport":1,"vehicleEnhancement":1,"vehicleBrandEnable":1,"aitype":12,)"
      R"("normalPolygons":[{"name":"lane","polygonX":"1,2,3","polygonY":"4,5,6"}]})";
  ASSERT_EQ(send("/6182", body, &j).out, kTextOk);

  std::unique_ptr<AnprSettingsRecord> want(new AnprSettingsRecord());
  AnprSettingsRecord& w = *want;
  w.chnid = 6;
  w.enable = 1;
  w.resolution_width = 1280;
  w.resolution_height = 720;
  w.area_x = 1, w.area_y = 2, w.area_width = 3, w.area_height = 4;
  w.day_night_mode_enable = 1, w.scene = 2, w.direction_enable = 1;
  w.region_enable = 1, w.roiid_enable = 1, w.process_mode = 3, w.repeat_check_time_value = 30;
  w.repeat_check_time_unit = 1, w.post_enable = 1, w.post_type = 2, w.post_tcp_port = 9000;
  std::strcpy(w.post_http_user, "u");
  std::strcpy(w.post_http_password, "p");
  std::memset(w.post_http_url, 'h', 511);
  w.confidence = 75;
  for (int i = 0; i < 64; ++i) std::snprintf(w.region[i], sizeof w.region[i], "R%d", i);
  std::memset(w.cur_area, 'c', 31);
  w.platecolor_enable = w.vehicletype_enable = w.vehiclecolor_enable = 1;
  w.roi[0] = AnprArea{"gate", 10, 20, 30, 40};
  w.preset[1][0] = AnprArea{"p10", 0, 0, 0, 0};
  w.preset[1][1] = AnprArea{"p11", 1, 2, 3, 4};  // "endy", as the getter answers it
  w.preset[3][3] = AnprArea{"p33", 0, 0, 0, 7};  // "endY", as older pages send it
  w.night_mode_enable = 1, w.night_mode_level = 2, w.night_mode_starthour = 20, w.night_mode_startminute = 30;
  w.night_mode_stophour = 6, w.night_mode_stopminute = 15, w.night_mode_effective_mode = 1;
  w.json_support = w.ir_led_external_support = w.vehicle_enhancement = w.vehicle_brand_enable = 1;
  w.normal_polygons[0] = AnprPolygon{"lane", "1,2,3", "4,5,6"};
  w.aitype = 12;
  // The night state is the camera's: never sent.
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3290, w)}));

  // Read back as the camera keeps it.
  const std::string reply = json_body(send("/6181", R"({"chnid":6})", &j));
  EXPECT_EQ(j, (std::vector<std::string>{line(3289, i32(6))}));
  EXPECT_EQ(reply.rfind(R"({"chnid":6,"enable":1,"resolution_width":1280,"resolution_height":720,"area_x":1,)", 0), 0u)
      << reply;
  for (const std::string& part :
       {R"("post_http_url":")" + std::string(511, 'h') + R"(","confidence":75,"region":["R0","R1",)",
        R"("R63"],"cur_area":")" + std::string(31, 'c') + R"(","in_night_mode":0,"platecolorEnable":1,)",
        std::string(R"("roi":[{"name":"gate","startX":10,"startY":20,"endX":30,"endY":40},{"name":"","startX":0,)"),
        std::string(R"("preset":[[{"name":"","startX":0,"startY":0,"endX":0,"endy":0},)"),
        std::string(R"({"name":"p11","startX":1,"startY":2,"endX":3,"endy":4})"),
        std::string(R"({"name":"p33","startX":0,"startY":0,"endX":0,"endy":7}]],"night_mode_enable":1,)"),
        std::string(R"("vehicleBrandEnable":1,"normalPolygons":[{"name":"lane","polygonX":"1,2,3","polygonY":"4,5,6"},)"),
        std::string(R"({"name":"","polygonX":"","polygonY":""}],"aitype":12})")})
    EXPECT_NE(reply.find(part), std::string::npos) << part << "\n" << reply;

  // The reply posted back sends the same record and reads back the same.
  ASSERT_EQ(send("/6182", reply, &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3290, w)}));
  EXPECT_EQ(json_body(send("/6181", R"({"chnid":6})")), reply);
}

TEST_F(PlateModesE2e, PolygonsOnlyForPlateCamerasWithJsonSupport) {
  env_.start_sim();
  std::vector<std::string> j;
  // Channel 2 of the stand-in has AI type 11, channel 0 type 0.
  EXPECT_NE(json_body(send("/6181", R"({"chnid":2})")).find(R"("normalPolygons":[{"name":"")"), std::string::npos);
  const std::string plain = json_body(send("/6181", R"({"chnid":0})"));
  EXPECT_EQ(plain.find("normalPolygons"), std::string::npos) << plain;
  EXPECT_NE(plain.find(R"("vehicleBrandEnable":0,"aitype":0})"), std::string::npos) << plain;
  // Night state 1 of channel 3 is answered and kept through a save.
  const std::string night = json_body(send("/6181", R"({"chnid":3})"));
  EXPECT_NE(night.find(R"("in_night_mode":1,)"), std::string::npos) << night;
  ASSERT_EQ(send("/6182", night).out, kTextOk);
  EXPECT_EQ(json_body(send("/6181", R"({"chnid":3})")), night);

  const std::string polygons = R"("normalPolygons":[{"name":"n","polygonX":"1","polygonY":"2"}])";
  for (const std::string& keys : {R"("jsonSupport":0,"aitype":11,)" + polygons, R"("jsonSupport":1,"aitype":10,)" + polygons}) {
    ASSERT_EQ(send("/6182", R"({"chnid":7,)" + keys + "}", &j).out, kTextOk);
    ASSERT_EQ(j.size(), 1u);
    const std::string hex = sent(j, 3290);
    EXPECT_EQ(hex.substr(4724 * 2, 768 * 2), std::string(768 * 2, '0')) << keys;
  }
  ASSERT_EQ(send("/6182", R"({"chnid":7,"jsonSupport":1,"aitype":14,)" + polygons + "}", &j).out, kTextOk);
  EXPECT_EQ(sent(j, 3290).substr(4724 * 2, 6), "6e0000");  // "n"
}

TEST_F(PlateModesE2e, SettingsPageActionsKeepWhatTheDialogLacks) {
  env_.start_sim();
  std::vector<std::string> j;
  ASSERT_EQ(send("/6182", R"({"chnid":8,"dialog":{"triAlarms":5,"audioId":3,"whiteInfo":[[8,1,20]],)"
                          R"("httpParams":{"url":"http://own"}}})",
                 &j)
                .out,
            kTextOk);
  EXPECT_EQ(j.size(), 1u);
  EXPECT_EQ(event("own", 8).tri_alarms, 5);
  // A second save with other keys keeps the first one's actions.
  ASSERT_EQ(send("/6182", R"({"chnid":8,"dialog":{"interval":4}})").out, kTextOk);
  const SmartEventAction a = event("own", 8);
  EXPECT_EQ(a.tri_alarms, 5);
  EXPECT_EQ(a.audio_id, 3);
  EXPECT_EQ(a.interval, 4);
  EXPECT_EQ(a.enable, 0);  // not a key of this dialog
  // The visitor mode's white light and HTTP target are untouched.
  EXPECT_EQ(count("lpr_vistor_white_led_params"), 0);
  EXPECT_EQ(count("lpr_visitor_mode_http_notification_params"), 0);
  EXPECT_STREQ(read<HttpNotifyParams>("lpr_own_mode_http_notification_params", 8).url, "http://own");
  EXPECT_EQ(count("anpr_event_visitor"), 0);

  // A dialog of another channel is refused before anything is written or
  // sent.
  EXPECT_EQ(send("/6182", R"({"chnid":8,"dialog":{"chnid":9,"triAlarms":1}})", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(event("own", 8).tri_alarms, 5);
  EXPECT_EQ(count("anpr_event_own"), 1);
}

TEST_F(PlateModesE2e, WildcardsAreSentReadBackAndSavedWithTheSettings) {
  env_.start_sim();
  std::vector<std::string> j;
  std::string entries;
  for (int i = 0; i < 10; ++i)
    entries += std::string(i ? "," : "") + R"({"enable":1,"cr_count":)" + std::to_string(i + 1) + R"(,"format":"F)" +
               std::to_string(i) + R"("})";
  ASSERT_EQ(send("/6191", R"({"chnid":9,"filter":1,"maxPlateCharNum":10,"wildcards":[)" + entries + "]}", &j).out,
            kTextOk);
  AnprWildcardRecord w{};
  w.channel = 9;
  w.filter = 1;
  w.max_plate_char_num = 10;
  for (int i = 0; i < 9; ++i) {  // the tenth entry has no slot
    w.enable[i] = 1;
    w.cr_count[i] = i + 1;
    std::snprintf(w.format[i], sizeof w.format[i], "F%d", i);
  }
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1208, w)}));

  std::string reply_entries;
  for (int i = 0; i < 9; ++i)
    reply_entries += std::string(i ? "," : "") + R"({"enable":1,"cr_count":)" + std::to_string(i + 1) + R"(,"format":"F)" +
                     std::to_string(i) + R"("})";
  const std::string reply = R"({"chnid":9,"filter":1,"maxPlateCharNum":10,"wildcards":[)" + reply_entries + "]}";
  EXPECT_EQ(send("/6190", R"({"chnid":9})", &j).out, json_reply(reply));
  EXPECT_EQ(j, (std::vector<std::string>{line(1207, i32(9))}));
  ASSERT_EQ(send("/6191", reply, &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1208, w)}));

  // A camera never written answers its defaults; a long format is cut to
  // 15 characters, missing entries stay zero.
  EXPECT_EQ(json_body(send("/6190", R"({"chnid":10})")).rfind(R"({"chnid":10,"filter":0,"maxPlateCharNum":8,)", 0), 0u);
  ASSERT_EQ(send("/6182", R"({"chnid":10,"formatData":{"chnid":10,"filter":2,"wildcards":[{"format":")" +
                              std::string(20, 'f') + R"("}]}})",
                 &j)
                .out,
            kTextOk);
  AnprWildcardRecord w10{};
  w10.channel = 10;
  w10.filter = 2;
  std::memset(w10.format[0], 'f', 15);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0], line_of(1208, w10));  // the wildcards go first, without waiting
  EXPECT_EQ(j[1].substr(0, 5), "3290 ");
  EXPECT_EQ(json_body(send("/6190", R"({"chnid":10})")).rfind(R"({"chnid":10,"filter":2,"maxPlateCharNum":0,)", 0), 0u);

  // Wildcards of another channel, or of none, are not sent from this page.
  for (const char* fd : {R"("formatData":{"chnid":11,"filter":2})", R"("formatData":{"chnid":64,"filter":2})",
                         R"("formatData":{"filter":2})"}) {
    ASSERT_EQ(send("/6182", std::string(R"({"chnid":10,)") + fd + "}", &j).out, kTextOk) << fd;
    ASSERT_EQ(j.size(), 1u) << fd;
    EXPECT_EQ(j[0].substr(0, 5), "3290 ") << fd;
  }
  for (const char* bad : {R"({"chnid":64})", R"({"chnid":"x"})", R"({})", "x"}) {
    EXPECT_EQ(send("/6191", bad, &j).out, kJsonError) << bad;
    EXPECT_TRUE(j.empty()) << bad;
    EXPECT_EQ(send("/6190", bad, &j).out, kJsonError) << bad;
    EXPECT_TRUE(j.empty()) << bad;
    EXPECT_EQ(send("/6182", bad, &j).out, kJsonError) << bad;
    EXPECT_TRUE(j.empty()) << bad;
    EXPECT_EQ(send("/6181", bad).out, kJsonError) << bad;
  }
}

TEST_F(PlateModesE2e, MissingShortAndFailedCameraReplies) {
  // No reply: the JSON error reply after the wait limit.
  env_.start_sim("3289 none\n3290 none\n1207 none\n1208 none\n");
  std::vector<std::string> j;
  for (auto [name, body] : {std::pair{"/6181", R"({"chnid":1})"}, {"/6182", R"({"chnid":1})"},
                            {"/6190", R"({"chnid":1})"}, {"/6191", R"({"chnid":1})"}}) {
    EXPECT_EQ(send(name, body, &j, "200").out, kJsonError) << name;
    EXPECT_EQ(j.size(), 1u) << name;
  }
}

TEST_F(PlateModesE2e, ShortRepliesAnswerAtOnceAndStatusFailures) {
  // A short reply followed by a whole one: the short one is answered (an
  // error), the whole one that follows is not taken.
  env_.start_sim(
      "3289 reply hex=01000000\n3289 reply hex=" + std::string(5496 * 2, '0') +
      "\n1207 reply hex=01000000\n1207 reply hex=" + std::string(228 * 2, '0') +
      "\n3293 reply hex=01000000\n3293 reply hex=010000000100000003000000\n"
      "3290 reply hex=05000000\n1208 reply hex=ffffffff\n");
  for (const char* name : {"/6181", "/6190", "/6186"}) EXPECT_EQ(send(name, R"({"chnid":1})").out, kJsonError) << name;
  EXPECT_EQ(send("/6182", R"({"chnid":1})").out, "Content-type: text/plain\r\n\r\nFAILED");
  EXPECT_EQ(send("/6191", R"({"chnid":1})").out, "Content-type: text/plain\r\n\r\nFAILED");
  // An empty or short status is the page's own (JSON) error, never "OK".
  for (auto [name, script] : {std::pair{"/6182", "3290 reply\n"}, {"/6182", "3290 reply hex=000000\n"},
                              {"/6191", "1208 reply\n"}, {"/6191", "1208 reply hex=00\n"}}) {
    env_.start_sim(script);
    EXPECT_EQ(send(name, R"({"chnid":1})").out, kJsonError) << name << " " << script;
  }
}

// A number the strict reader refuses refuses the request: the JSON error,
// nothing sent to the camera, the dialog not saved.
TEST_F(PlateModesE2e, RefusedNumbersSendAndStoreNothing) {
  env_.start_sim();
  const std::string dialog = R"("dialog":{"chnid":1,"interval":7})";
  for (const std::string& body :
       {std::string(R"({"chnid":1,"mode":0,"enable":"x","interval":7})"),
        R"({"chnid":1,"enable":"x",)" + dialog + "}",
        R"({"chnid":1,"confidence":1.5,)" + dialog + "}",
        R"({"chnid":1,"roi":[{"name":"a","startX":"x"}],)" + dialog + "}",
        R"({"chnid":1,"preset":[[{"name":"a","endy":"x"}]],)" + dialog + "}",
        R"({"chnid":1,"formatData":{"chnid":1,"wildcards":[{"enable":"x"}]},)" + dialog + "}",
        std::string(R"({"chnid":1,"mode":0,"interval":"x"})"),
        std::string(R"({"chnid":1,"dialog":{"chnid":1,"interval":7,"triAlarms":"x"}})"),
        std::string(R"({"chnid":1,"filter":"x"})"), std::string(R"({"chnid":1,"wildcards":[{"cr_count":true}]})")}) {
    const char* name = body.find("\"mode\"") != std::string::npos ? "/6180"
                       : body.find("dialog") != std::string::npos ? "/6182"
                                                                 : "/6191";
    std::vector<std::string> j;
    EXPECT_EQ(send(name, body, &j).out, kJsonError) << name << " " << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  EXPECT_NE(event("black", 1).interval, 7);
  EXPECT_NE(event("own", 1).interval, 7);
}

TEST_F(PlateModesE2e, FailedStoreWriteIsNotAnsweredOk) {
  env_.start_sim();
  env_.write_file(ZRDB_PATH, std::string(4096, 'x'));
  std::vector<std::string> j;
  EXPECT_EQ(send("/6180", R"({"chnid":1,"mode":0,"enable":1})", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(send("/6182", R"({"chnid":1,"dialog":{"interval":1},"formatData":{"chnid":1}})", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(send("/6179", R"({"chnid":1,"mode":0})").out, kJsonError);
}

}  // namespace
