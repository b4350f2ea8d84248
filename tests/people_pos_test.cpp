// People counting, POS, report backup and face settings, and the event
// schedules of a channel, end to end: the built webcgi against zrcore-sim.
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/cgi_json.h"
#include "core/event_records.h"
#include "core/smart_records.h"
#include "event_e2e.h"
#include "handlers/camera/people_pos_records.h"
#include "platform/zrdb.h"
#include "temp_root_test.h"

namespace {

// A record of the core laid out by offset, independently of the handler's
// structs.
struct Layout {
  std::string b;
  explicit Layout(size_t n) : b(n, '\0') {}
  Layout& i32(size_t off, int32_t v) {
    std::memcpy(&b[off], &v, 4);
    return *this;
  }
  Layout& text(size_t off, const std::string& t) {
    std::memcpy(&b[off], t.data(), t.size());
    return *this;
  }
  std::string hex() const { return to_hex(b.data(), b.size()); }
};

const std::string kRes0 = std::string(kJsonHead) + R"({"res":0})";

// A whole week the way the request form carries it: section 0 of day 0 set.
std::string week(const std::string& start, const std::string& end, int action) { return week_json(start, end, action); }

class PeoplePosE2e : public EventE2e {
 protected:
  std::unique_ptr<ScheduleRecord> schedule(const std::string& table, int owner) {
    zrdb_close_all();
    std::unique_ptr<ScheduleRecord> s(new ScheduleRecord());
    EXPECT_GE(zrdb_read_record(ZRDB_PATH, table.c_str(), owner, s.get(), sizeof *s), 0);
    return s;
  }
  // Every stored byte of the families, to see that a save changed nothing.
  std::string snapshot(const std::vector<std::string>& families) {
    zrdb_close_all();
    std::string all;
    for (const std::string& f : families) {
      all += f + ":";
      zrdb_visit_records(
          ZRDB_PATH, f.c_str(),
          [](void* ctx, int id, const void* data, size_t size) {
            *static_cast<std::string*>(ctx) += std::to_string(id) + "=" + to_hex(data, size) + ";";
          },
          &all);
    }
    return all;
  }
};

// ================= Store =================

class PeoplePosStore : public TempRootTest {};

TEST_F(PeoplePosStore, OwnersOutsideTheirRangesAreRefused) {
  SmartEventAction a;
  std::memset(&a, 0x5a, sizeof a);
  for (int bad : {-1, 4}) {
    EXPECT_EQ(-1, write_peoplecnt_event(ZRDB_PATH, &a, bad)) << bad;
    EXPECT_EQ(-1, read_pos_event(ZRDB_PATH, &a, bad)) << bad;
    PosSetting p{};
    EXPECT_EQ(-1, write_pos_setting(ZRDB_PATH, &p, bad)) << bad;
    EXPECT_EQ(-1, read_pos_setting(ZRDB_PATH, &p, bad)) << bad;
  }
  std::memset(&a, 0x5a, sizeof a);  // a refused read leaves the record cleared
  EXPECT_EQ(-1, write_face_event(ZRDB_PATH, &a, 8));
  EXPECT_EQ(0, write_face_event(ZRDB_PATH, &a, 7));
  EXPECT_EQ(0, zrdb_count_records(ZRDB_PATH, PCNT_EVENT_FAMILY));
  EXPECT_EQ(0, zrdb_count_records(ZRDB_PATH, POS_SETTINGS_FAMILY));

  // Slots never written read as zeros named by their slot; a stored one
  // keeps its bytes, its id fixed to the slot.
  PeopleCntGroup g[PCNT_GROUPS];
  std::memset(g, 0, sizeof g);
  std::strcpy(g[2].name, "Hall");
  g[2].groupid = 9;
  ASSERT_EQ(0, zrdb_write_record(ZRDB_PATH, PCNT_SETTINGS_FAMILY, 2, &g[2], sizeof g[2]));
  std::memset(g, 0x5a, sizeof g);
  ASSERT_EQ(0, read_peoplecnt_settings(ZRDB_PATH, g));
  for (int i = 0; i < PCNT_GROUPS; ++i) EXPECT_EQ(g[i].groupid, i);
  EXPECT_STREQ(g[2].name, "Hall");
  EXPECT_STREQ(g[3].name, "");
  ASSERT_EQ(0, read_face_event(ZRDB_PATH, &a, 7));
  EXPECT_EQ(a.channel, 7);
  EXPECT_EQ(a.tri_alarms, 0x5a5a5a5a);
}

// ================= Event schedules =================

std::string empty_week() {
  std::string day = "[";
  for (int e = 0; e < 12; ++e) day += std::string(e ? "," : "") + R"({"startTime":"00:00","endTime":"00:00","actionType":0})";
  day += "]";
  std::string w = "[";
  for (int d = 0; d < 8; ++d) w += (d ? "," : "") + day;
  return w + "]";
}

const char* const kKinds[9] = {"schedule_motion",          "schedule_region_entrance", "schedule_region_exit",
                               "schedule_advanced_motion", "schedule_tamper_detection", "schedule_line_crossing",
                               "schedule_loitering",       "schedule_human_detection", "schedule_people_counting"};

std::string kind_table(int kind) {
  return kind == 0 ? std::string(MOTION_EFFECTIVE_SCHEDULE) : smart_event_schedule_table(kind - 1, "effective");
}

TEST_F(PeoplePosE2e, EventSchedulesOfAnEmptyChannel) {
  std::string expected = "{";
  for (int k = 0; k < 9; ++k) expected += std::string(k ? "," : "") + "\"" + kKinds[k] + "\":" + empty_week();
  expected += "}";
  EXPECT_EQ(json_body(send("/2035", R"({"channel":63})")), expected);
  for (const char* b : {R"({"channel":64})", R"({"channel":-1})", R"({"channel":"x"})", "{}", "x"})
    EXPECT_EQ(send("/2035", b).out, "") << b;
}

TEST_F(PeoplePosE2e, EventScheduleRangeWritesOnlyItsKinds) {
  std::vector<std::string> j;
  std::string all = R"({"channel":5,"start":3,"end":4)";
  for (const char* k : kKinds) all += std::string(",\"") + k + "\":" + week("01:00", "02:00", 1);
  ASSERT_EQ(send("/2036", all + "}", &j).out, kTextOk);
  EXPECT_TRUE(j.empty());
  for (int k = 0; k < 9; ++k) EXPECT_EQ(count(kind_table(k)), k == 3 || k == 4 ? 1 : 0) << k;
  EXPECT_STREQ(schedule(kind_table(3), 5)->days[0].sections[0].start_time, "01:00");
  // The tamper schedule is the one the smart event page answers.
  EXPECT_NE(json_body(send("/6148", R"({"chnid":5,"event":3})")).find(week_reply_prefix("01:00", "02:00", 1)),
            std::string::npos);

  // Ends outside 0..8 are clamped; a kind whose key is absent is left alone.
  ASSERT_EQ(send("/2036", R"({"channel":5,"start":-7,"end":99,"schedule_motion":)" + week("03:00", "04:00", 2) +
                              R"(,"schedule_people_counting":[[[")" + std::string(40, 'T') + R"(","05:00",1]]]})")
                .out,
            kTextOk);
  EXPECT_STREQ(schedule(MOTION_EFFECTIVE_SCHEDULE, 5)->days[0].sections[0].end_time, "04:00");
  EXPECT_EQ(std::string(schedule(kind_table(8), 5)->days[0].sections[0].start_time), std::string(31, 'T'));
  EXPECT_STREQ(schedule(kind_table(3), 5)->days[0].sections[0].start_time, "01:00");
  EXPECT_EQ(count(kind_table(1)), 0);
  // start after end: nothing to write.
  ASSERT_EQ(send("/2036", R"({"channel":5,"start":8,"end":0,"schedule_motion":[]})").out, kTextOk);
  EXPECT_STREQ(schedule(MOTION_EFFECTIVE_SCHEDULE, 5)->days[0].sections[0].end_time, "04:00");
  // A range wholly outside 0..8 names no kind: nothing written.
  for (const std::string& b :
       {R"({"channel":5,"start":9,"end":12,"schedule_people_counting":)" + week("20:00", "21:00", 1) + "}",
        R"({"channel":5,"start":-4,"end":-1,"schedule_motion":)" + week("20:00", "21:00", 1) + "}"}) {
    ASSERT_EQ(send("/2036", b).out, kTextOk) << b;
    EXPECT_STREQ(schedule(MOTION_EFFECTIVE_SCHEDULE, 5)->days[0].sections[0].end_time, "04:00") << b;
    EXPECT_EQ(std::string(schedule(kind_table(8), 5)->days[0].sections[0].start_time), std::string(31, 'T')) << b;
  }

  for (const char* b : {R"({"channel":64,"start":0,"end":8,"schedule_motion":[]})",
                        R"({"channel":"x","start":0,"end":8,"schedule_motion":[]})",
                        R"({"start":0,"end":8,"schedule_motion":[]})", R"({"channel":1,"start":"x","schedule_motion":[]})",
                        R"({"channel":1,"end":"1x","schedule_motion":[]})",
                        R"({"channel":1,"start":0,"end":0,"schedule_motion":[[[5,"01:00",1]]]})",
                        R"({"channel":1,"start":0,"end":0,"schedule_motion":[[["00:00","01:00","x"]]]})", "x"})
    EXPECT_EQ(send("/2036", b).out, "") << b;
  EXPECT_EQ(count(MOTION_EFFECTIVE_SCHEDULE), 1);
}

TEST_F(PeoplePosE2e, EventSchedulesRoundTrip) {
  ASSERT_EQ(send("/2036", R"({"channel":2,"start":0,"end":8,"schedule_motion":)" + week("08:00", "09:00", 3) +
                              R"(,"schedule_loitering":[[],[["10:00","11:00",1],["12:00","13:00",0]]]})")
                .out,
            kTextOk);
  const std::vector<std::string> tables = {kind_table(0), kind_table(6), kind_table(7)};
  const std::string before = snapshot(tables);
  const std::string reply = json_body(send("/2035", R"({"channel":2})"));
  EXPECT_EQ(reply.rfind(R"({"schedule_motion":[[{"startTime":"08:00","endTime":"09:00","actionType":3},)"
                        R"({"startTime":"00:00","endTime":"00:00","actionType":0},)",
                        0),
            0u);
  // A request text holds at most 30719 bytes: the page posts the kinds one
  // range at a time.
  JsonPtr parsed(json_tokener_parse(reply.c_str()));
  ASSERT_TRUE(parsed);
  for (int k = 0; k < 9; ++k) {
    json_object* w = json_member(parsed.get(), kKinds[k], json_type_array);
    ASSERT_TRUE(w) << kKinds[k];
    const std::string back = R"({"channel":2,"start":)" + std::to_string(k) + R"(,"end":)" + std::to_string(k) +
                             ",\"" + kKinds[k] + "\":" + json_object_to_json_string_ext(w, JSON_C_TO_STRING_PLAIN) + "}";
    ASSERT_EQ(send("/2036", back).out, kTextOk) << kKinds[k];
  }
  // The sections shown as "00:00" stay empty, the kinds never written stay
  // unwritten.
  EXPECT_EQ(snapshot(tables), before);
  EXPECT_EQ(count(kind_table(1)), 0);
  EXPECT_EQ(json_body(send("/2035", R"({"channel":2})")), reply);
}

// ================= People counting =================

std::string group_json(int id, const std::string& fields) {
  return R"({"groupid":)" + std::to_string(id) + fields + "}";
}
std::string plain_group(int id) {
  return group_json(id, R"(,"enable":0,"stays":0,"liveview_auto_reset":0,"auto_day":0,"liveview_font_size":0,)"
                        R"("name":"","auto_day_time":"","tri_channels":"","liveview_green_tips":"","liveview_red_tips":"")");
}

TEST_F(PeoplePosE2e, GroupsSaveOnlyTheirPresentKeys) {
  env_.start_sim();
  std::vector<std::string> j;
  const std::string body = R"({"groups":[{"groupid":3,"enable":1,"stays":2,"liveview_auto_reset":1,"auto_day":4,)"
                           R"("liveview_font_size":5,"name":")" + std::string(70, 'N') + R"(","auto_day_time":"08:00",)"
                           R"("tri_channels":")" + std::string(66, '1') + R"(","liveview_green_tips":")" +
                           std::string(130, 'G') + R"(","liveview_red_tips":"stop"},{},{"name":"Exit"},7,{"x":1},{"name":"five"}]})";
  EXPECT_EQ(send("/2067", body, &j).out, kRes0);
  EXPECT_EQ(j, (std::vector<std::string>{line(2290, i32(0))}));
  PeopleCntGroup g = read<PeopleCntGroup>(PCNT_SETTINGS_FAMILY, 0);
  EXPECT_EQ(g.groupid, 0);  // the slot, not the request's id
  EXPECT_EQ(g.liveview_font_size, 5);
  EXPECT_EQ(std::string(g.name), std::string(63, 'N'));
  EXPECT_EQ(std::string(g.tri_channels), std::string(64, '1'));
  EXPECT_EQ(std::string(g.liveview_green_tips), std::string(127, 'G'));
  EXPECT_STREQ(read<PeopleCntGroup>(PCNT_SETTINGS_FAMILY, 2).name, "Exit");
  EXPECT_EQ(count(PCNT_SETTINGS_FAMILY), 4);

  // A later save of one key keeps the names and the rest.
  ASSERT_EQ(send("/2067", R"({"groups":[{"enable":0},{"stays":"9"}]})").out, kRes0);
  g = read<PeopleCntGroup>(PCNT_SETTINGS_FAMILY, 0);
  EXPECT_EQ(g.enable, 0);
  EXPECT_EQ(g.stays, 2);
  EXPECT_EQ(std::string(g.name), std::string(63, 'N'));
  EXPECT_EQ(read<PeopleCntGroup>(PCNT_SETTINGS_FAMILY, 1).stays, 9);
  EXPECT_STREQ(read<PeopleCntGroup>(PCNT_SETTINGS_FAMILY, 2).name, "Exit");

  const std::string reply = json_body(send("/2066", "{}"));
  EXPECT_EQ(reply, R"({"groups":[)" +
                       group_json(0, R"(,"enable":0,"stays":2,"liveview_auto_reset":1,"auto_day":4,"liveview_font_size":5,)"
                                     R"("name":")" + std::string(63, 'N') + R"(","auto_day_time":"08:00","tri_channels":")" +
                                     std::string(64, '1') + R"(","liveview_green_tips":")" + std::string(127, 'G') +
                                     R"(","liveview_red_tips":"stop")") +
                       "," + group_json(1, R"(,"enable":0,"stays":9,"liveview_auto_reset":0,"auto_day":0,"liveview_font_size":0,)"
                                           R"("name":"","auto_day_time":"","tri_channels":"","liveview_green_tips":"","liveview_red_tips":"")") +
                       "," + group_json(2, R"(,"enable":0,"stays":0,"liveview_auto_reset":0,"auto_day":0,"liveview_font_size":0,)"
                                           R"("name":"Exit","auto_day_time":"","tri_channels":"","liveview_green_tips":"","liveview_red_tips":"")") +
                       "," + plain_group(3) + "]}");

  // What the getter answers (with the dialogs too) goes back unchanged.
  const std::string before = snapshot({PCNT_SETTINGS_FAMILY, PCNT_EVENT_FAMILY});
  EXPECT_EQ(send("/2067", reply, &j).out, kRes0);
  EXPECT_EQ(j, (std::vector<std::string>{line(2290, i32(0))}));
  EXPECT_EQ(snapshot({PCNT_SETTINGS_FAMILY, PCNT_EVENT_FAMILY}), before);

  // Refused before anything is written or sent.
  for (const char* b : {"x", "[1]", "{}", R"({"groups":{}})", R"({"groups":[{"enable":"x"}]})",
                        R"({"groups":[{},{},{},{"stays":1.5}]})", R"({"groups":[{"name":[1]}]})",
                        R"({"groups":[{},{"tri_channels":11}]})"}) {
    EXPECT_EQ(send("/2067", b, &j).out, kJsonError) << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  EXPECT_EQ(read<PeopleCntGroup>(PCNT_SETTINGS_FAMILY, 0).enable, 0);
  EXPECT_EQ(send("/2066", "x").out, kJsonError);
  EXPECT_EQ(send("/2066", R"({"action":"x"})").out, kJsonError);
}

TEST_F(PeoplePosE2e, GroupActionsKeepWhatTheSaveLeavesOut) {
  env_.start_sim();
  std::vector<std::string> j;
  const std::string body =
      R"({"groupid":2,"triAlarms":5,"interval":6,"email_interval":7,"email_pic_enable":1,"tri_channels_pic":"0101",)"
      R"("ptz_interval":8,"alarmout_interval":9,"white_interval":10,"http_notification_interval":11,"audioId":3,)"
      R"("triChnAlarms":["10","01"],"triChannels":"1111","effective":)" + week("00:30", "01:30", 1) +
      R"(,"audible":)" + week("01:00", "02:00", 1) + R"(,"email":)" + week("02:00", "03:00", 1) +
      R"(,"ptz":)" + week("03:00", "04:00", 1) + R"(,"white":)" + week("04:00", "05:00", 1) +
      R"(,"httpSche":)" + week("05:00", "06:00", 1) + R"(,"whiteInfo":[{"chnid":4,"mode":1,"time":30}],)"
      R"("httpParams":{"url":"http://h/p","username":"u","password":"p"},"ptzChnId":7,"ptzType":1,)"
      R"("ptzParams":[{"acto_ptz_channel":2,"acto_ptz_type":1,"acto_ptz_preset":4,"acto_ptz_pattern":3}]})";
  EXPECT_EQ(send("/2070", body, &j).out, kRes0);
  EXPECT_EQ(j, (std::vector<std::string>{line(2293, i32(2) + i32(-1))}));
  SmartEventAction a = read<SmartEventAction>(PCNT_EVENT_FAMILY, 2);
  EXPECT_EQ(a.channel, 2);
  EXPECT_EQ(a.tri_alarms, 5);
  EXPECT_EQ(a.http_notification_interval, 11);
  EXPECT_EQ(a.audio_id, 3);
  EXPECT_STREQ(a.tri_chn_alarms[1], "01");
  EXPECT_STREQ(a.tri_channels, "");  // a group names its channels in its settings
  EXPECT_STREQ(read<HttpNotifyParams>(PCNT_HTTP_PARAMS, 2).url, "http://h/p");
  EXPECT_STREQ(schedule(PCNT_HTTP_SCHEDULE, 2)->days[0].sections[0].start_time, "05:00");
  EXPECT_EQ(read<PeopleCntPtzTable>("peoplecnt_ptz_params", 2).rows[0].preset, 4);
  EXPECT_EQ(count("ptz_params_1"), 0);
  EXPECT_EQ(count("ptz_params_20"), 0);

  // A save of one key: the stored actions are read first and kept.
  EXPECT_EQ(send("/2070", R"({"groupid":2,"interval":12})").out, kRes0);
  a = read<SmartEventAction>(PCNT_EVENT_FAMILY, 2);
  EXPECT_EQ(a.interval, 12);
  EXPECT_EQ(a.tri_alarms, 5);
  EXPECT_EQ(a.white_interval, 10);

  const std::string reply = json_body(send("/2069", R"({"groupid":2})"));
  EXPECT_EQ(reply.rfind(R"({"chnid":2,"triAlarms":5,"interval":12,"email_interval":7,"email_pic_enable":1,)"
                        R"("tri_channels_pic":"0101","ptz_interval":8,"alarmout_interval":9,"white_interval":10,)"
                        R"("effective":)" + week_reply_prefix("01:00", "02:00", 1),
                        0),
            0u)
      << reply;
  EXPECT_NE(reply.find(R"(,"audible":)" + week_reply_prefix("01:00", "02:00", 1)), std::string::npos);
  EXPECT_NE(reply.find(R"(,"triChnAlarms":["10","01"],"white":)" + week_reply_prefix("04:00", "05:00", 1)),
            std::string::npos);
  EXPECT_NE(reply.find(R"(,"whiteInfo":[{"chnid":4,"mode":1,"time":30}],"audioId":3,"audioIdMask":0})"), std::string::npos)
      << reply;

  // The getter's answer (its group under "chnid") goes back unchanged; so
  // does the dialog of the groups page, PTZ rows included.
  const std::vector<std::string> families = {PCNT_EVENT_FAMILY, PCNT_AUDIBLE_SCHEDULE, PCNT_EMAIL_SCHEDULE,
                                             PCNT_PTZ_SCHEDULE, PCNT_WLED_SCHEDULE, "peoplecnt_wled_params",
                                             PCNT_HTTP_SCHEDULE, PCNT_HTTP_PARAMS, "peoplecnt_ptz_params"};
  const std::string before = snapshot(families);
  EXPECT_EQ(send("/2070", reply, &j).out, kRes0);
  EXPECT_EQ(j, (std::vector<std::string>{line(2293, i32(2) + i32(-1))}));
  EXPECT_EQ(snapshot(families), before);
  const std::string groups = json_body(send("/2066", R"({"action":1})"));
  const size_t at = groups.find(R"("dialog":{"chnid":2,)");
  ASSERT_NE(at, std::string::npos) << groups;
  EXPECT_NE(groups.find(R"("ptzParams":[{"acto_ptz_channel":2,"acto_ptz_type":1,"acto_ptz_preset":4,"acto_ptz_patrol":0}]})", at),
            std::string::npos);
  std::string dialog = groups.substr(at + std::string(R"("dialog":)").size());
  dialog = dialog.substr(0, dialog.find("]}") + 2);
  EXPECT_EQ(send("/2070", dialog).out, kRes0);
  EXPECT_EQ(snapshot(families), before);
  EXPECT_EQ(read<PeopleCntPtzTable>("peoplecnt_ptz_params", 2).rows[0].pattern, 3);  // not answered, kept

  for (const char* b : {R"({"groupid":4,"interval":1})", R"({"groupid":-1})", R"({"groupid":"x","chnid":1})",
                        R"({"interval":1})", "x"}) {
    EXPECT_EQ(send("/2070", b, &j).out, kJsonError) << b;
    EXPECT_TRUE(j.empty()) << b;
    EXPECT_EQ(send("/2069", b).out, kJsonError) << b;
  }
  // Numbers and texts inside the dialog and its rows read strictly too.
  for (const char* b : {R"({"groupid":2,"interval":"x"})", R"({"groupid":2,"ptzParams":[{"acto_ptz_channel":"x"}]})",
                        R"({"groupid":2,"ptzParams":[{"acto_ptz_channel":2,"acto_ptz_preset":"x"}]})",
                        R"({"groupid":2,"tri_channels_pic":[1]})", R"({"groupid":2,"triChnAlarms":[1,"0"]})",
                        R"({"groupid":2,"httpParams":{"url":7}})", R"({"groupid":2,"whiteInfo":[[1,"x",3]]})"}) {
    EXPECT_EQ(send("/2070", b, &j).out, kJsonError) << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  EXPECT_EQ(snapshot(families), before);
}

TEST_F(PeoplePosE2e, GroupCounterResets) {
  env_.start_sim();
  for (auto [name, id] : {std::pair{"/2071", 2291}, {"/2072", 2292}}) {
    std::vector<std::string> j;
    EXPECT_EQ(send(name, R"({"groupid":"3"})", &j).out, kRes0) << name;
    EXPECT_EQ(j, (std::vector<std::string>{line(id, i32(3))})) << name;
    for (const char* b : {R"({"groupid":4})", R"({"groupid":"x"})", "{}", "x"}) {
      EXPECT_EQ(send(name, b, &j).out, kJsonError) << name << b;
      EXPECT_TRUE(j.empty());
    }
  }
}

// ================= Report auto-backup =================

TEST_F(PeoplePosE2e, ReportsRoundTripAndCutTheirTexts) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/2076", R"({"report":[{"reportType":2,"enable":1,"triChannels":")" + std::string(70, '1') +
                              R"(","triGroups":")" + std::string(20, '1') + R"(","stayLengthType":3,"stayLengthValue":4,)"
                              R"("backupDay":5,"backupTime":"23:59","fileFormat":1,"timeRange":2,"backupTo":3,"lineMask":15},)"
                              R"({"enable":1},{},{"backupTime":")" + std::string(40, 'T') + R"("}]})",
                 &j)
                .out,
            kRes0);
  EXPECT_EQ(j, (std::vector<std::string>{line(1423, "")}));
  Layout r(152);
  r.i32(0, 2).i32(4, 1).text(8, std::string(64, '1')).text(73, std::string(16, '1')).i32(92, 3).i32(96, 4).i32(100, 5);
  r.text(104, "23:59").i32(136, 1).i32(140, 2).i32(144, 3).i32(148, 15);
  EXPECT_EQ(record_hex(read<PeopleCntReport>(PCNT_AUTO_BACKUP_FAMILY, 0)), r.hex());
  EXPECT_EQ(std::string(read<PeopleCntReport>(PCNT_AUTO_BACKUP_FAMILY, 3).backupTime), std::string(31, 'T'));

  // Absent keys keep the stored values.
  EXPECT_EQ(send("/2076", R"({"report":[{"enable":0}]})").out, kRes0);
  EXPECT_EQ(record_hex(read<PeopleCntReport>(PCNT_AUTO_BACKUP_FAMILY, 0)), r.i32(4, 0).hex());

  const std::string reply = json_body(send("/2075", ""));
  EXPECT_EQ(reply.rfind(R"({"report":[{"reportType":2,"enable":0,"triChannels":")" + std::string(64, '1') +
                            R"(","triGroups":")" + std::string(16, '1') + R"(","stayLengthType":3,"stayLengthValue":4,)"
                            R"("backupDay":5,"backupTime":"23:59","fileFormat":1,"timeRange":2,"backupTo":3,"lineMask":15},)"
                            R"({"reportType":0,"enable":1,)",
                        0),
            0u)
      << reply;
  EXPECT_EQ(reply.substr(reply.size() - 12), R"(],"email":1})");
  const std::string before = snapshot({PCNT_AUTO_BACKUP_FAMILY});
  EXPECT_EQ(send("/2076", reply).out, kRes0);
  EXPECT_EQ(snapshot({PCNT_AUTO_BACKUP_FAMILY}), before);

  for (const char* b : {"x", "{}", R"({"report":1})", R"({"report":[{"lineMask":"x"}]})"}) {
    EXPECT_EQ(send("/2076", b, &j).out, kJsonError) << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  EXPECT_EQ(snapshot({PCNT_AUTO_BACKUP_FAMILY}), before);
}

// ================= POS =================

TEST_F(PeoplePosE2e, PosDeviceAndItsActions) {
  env_.start_sim();
  std::vector<std::string> j;
  const std::string body =
      R"({"id":1,"enable":1,"name":")" + std::string(80, 'P') + R"(","protocol":2,"connectionMode":1,"ip":"192.168.1.9",)"
      R"("liveviewDisplay":1,"displayChannel":3,"startX":10,"startY":20,"areaWidth":300,"areaHeight":200,)"
      R"("characterEncodeing":1,"fontSize":2,"fontColor":255,"overlayMode":1,"displayTime":9,"timeout":60,)"
      R"("privacy1":")" + std::string(100, 'a') + R"(","privacy2":"b","privacy3":"c","port":9000,"nvrPort":9001,"clearTime":5,)"
      R"("action":{"triAlarms":3,"triChannels":"0011","interval":4,"http_notification_interval":6,)"
      R"("effective":)" + week("07:00", "08:00", 1) + R"(,"white":)" + week("09:00", "10:00", 1) +
      R"(,"whiteInfo":[[1,2,3]],"httpParams":{"url":"http://pos"},"ptzParams":[{"acto_ptz_channel":5,"acto_ptz_type":2,"acto_ptz_patrol":1}]}})";
  EXPECT_EQ(send("/2074", body, &j).out, kRes0);
  EXPECT_EQ(j, (std::vector<std::string>{line(1421, i32(1))}));
  PosSetting p = read<PosSetting>(POS_SETTINGS_FAMILY, 1);
  EXPECT_EQ(p.id, 1);
  EXPECT_EQ(std::string(p.name), std::string(63, 'P'));
  EXPECT_EQ(std::string(p.privacy1), std::string(63, 'a'));
  EXPECT_STREQ(p.ip, "192.168.1.9");
  EXPECT_EQ(p.nvrPort, 9001);
  SmartEventAction a = read<SmartEventAction>(POS_EVENT_FAMILY, 1);
  EXPECT_EQ(a.channel, 1);
  EXPECT_EQ(a.tri_alarms, 3);
  EXPECT_EQ(a.chn_mask, 12u);
  EXPECT_EQ(a.http_notification_interval, 6);
  EXPECT_EQ(read<PtzActionTable>("ptz_params_21", 1).rows[0].ptz_channel, 5);
  EXPECT_STREQ(schedule(POS_SCHEDULES[4], 1)->days[0].sections[0].start_time, "09:00");
  EXPECT_STREQ(read<HttpNotifyParams>(POS_HTTP_PARAMS, 1).url, "http://pos");

  // Keys left out keep their values; the actions are read before the save.
  EXPECT_EQ(send("/2074", R"({"id":1,"port":8000,"action":{"interval":7}})").out, kRes0);
  p = read<PosSetting>(POS_SETTINGS_FAMILY, 1);
  EXPECT_EQ(p.port, 8000);
  EXPECT_EQ(p.fontColor, 255);
  EXPECT_EQ(read<SmartEventAction>(POS_EVENT_FAMILY, 1).tri_alarms, 3);
  EXPECT_EQ(read<SmartEventAction>(POS_EVENT_FAMILY, 1).interval, 7);

  const std::string reply = json_body(send("/2073", R"({"id":1})"));
  EXPECT_EQ(reply.rfind(R"({"pos":[{"id":0,"enable":0,"name":"",)", 0), 0u) << reply;
  const size_t dev = reply.find(R"({"id":1,)");
  ASSERT_NE(dev, std::string::npos);
  const std::string device =
      R"({"id":1,"enable":1,"name":")" + std::string(63, 'P') + R"(","protocol":2,"connectionMode":1,)"
      R"("ip":"192.168.1.9","liveviewDisplay":1,"displayChannel":3,"startX":10,"startY":20,"areaWidth":300,)"
      R"("areaHeight":200,"characterEncodeing":1,"fontSize":2,"fontColor":255,"overlayMode":1,"displayTime":9,)"
      R"("timeout":60,"privacy1":")" + std::string(63, 'a') + R"(","privacy2":"b","privacy3":"c","port":8000,)"
      R"("nvrPort":9001,"clearTime":5},)";
  EXPECT_EQ(reply.compare(dev, device.size(), device), 0) << reply;
  const size_t act = reply.find(R"(,"action":{"effective":)" + week_reply_prefix("07:00", "08:00", 1));
  ASSERT_NE(act, std::string::npos) << reply;
  EXPECT_NE(reply.find(R"("ptzParams":[{"acto_ptz_channel":5,"acto_ptz_type":2,"acto_ptz_preset":0,"acto_ptz_patrol":1}],)"),
            std::string::npos);
  EXPECT_NE(reply.find(R"("whiteInfo":[{"chnid":1,"mode":2,"time":3}],"white_interval":0,"httpSche":)"), std::string::npos);
  EXPECT_NE(reply.find(R"("httpParams":{"chnId":1,"url":"http://pos","username":"","password":""},)"
                       R"("http_notification_interval":6,"alarmout_interval":0,"triAlarms":3,"triChannels":"0011",)"
                       R"("triChnAlarms":["",""]}})"),
            std::string::npos)
      << reply;

  // The device's entry with its actions goes back unchanged.
  const std::vector<std::string> families = {POS_SETTINGS_FAMILY, POS_EVENT_FAMILY, POS_SCHEDULES[0], POS_SCHEDULES[4],
                                             POS_WHITELED_PARAMS, POS_HTTP_PARAMS, "ptz_params_21"};
  const std::string before = snapshot(families);
  std::string entry = reply.substr(dev, reply.find("},", dev) - dev);
  EXPECT_EQ(send("/2074", entry + "," + reply.substr(act + 1, reply.size() - act - 2) + "}", &j).out, kRes0);
  EXPECT_EQ(j, (std::vector<std::string>{line(1421, i32(1))}));
  EXPECT_EQ(snapshot(families), before);

  for (const char* b : {R"({"id":4})", R"({"id":-1})", R"({"id":"x"})", R"({"enable":1})", R"({"id":1,"port":"x"})", "x",
                        R"({"id":1,"name":[1]})", R"({"id":1,"action":{"interval":"x"}})",
                        R"({"id":1,"action":{"ptzParams":[{"acto_ptz_channel":"x"}]}})"}) {
    EXPECT_EQ(send("/2074", b, &j).out, kJsonError) << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  for (const char* b : {R"({"id":4})", R"({"id":"x"})", "{}", "x"}) EXPECT_EQ(send("/2073", b).out, kJsonError) << b;
  EXPECT_EQ(snapshot(families), before);

  // A text cut to its field never ends inside a character: 40 two-byte
  // letters keep 31 in a 64-byte name, and the getter answers valid UTF-8.
  std::string wide;
  for (int i = 0; i < 40; ++i) wide += "\\u00e9";
  std::string kept;
  for (int i = 0; i < 31; ++i) kept += "\xc3\xa9";
  ASSERT_EQ(send("/2074", R"({"id":2,"name":")" + wide + R"("})").out, kRes0);
  EXPECT_EQ(std::string(read<PosSetting>(POS_SETTINGS_FAMILY, 2).name), kept);
  EXPECT_NE(json_body(send("/2073", R"({"id":2})")).find(R"({"id":2,"enable":0,"name":")" + kept + "\""),
            std::string::npos);
  ASSERT_EQ(send("/2067", R"({"groups":[{},{},{},{"name":")" + wide + R"("}]})").out, kRes0);
  EXPECT_EQ(std::string(read<PeopleCntGroup>(PCNT_SETTINGS_FAMILY, 3).name), kept);
}

// ================= Face capture =================

TEST_F(PeoplePosE2e, FaceSettingsRecordAndMessageOrder) {
  env_.start_sim();
  std::vector<std::string> j;
  std::string modes = "[";
  for (int i = 0; i < 5; ++i)
    modes += std::string(i ? "," : "") + R"({"captureQuality":)" + std::to_string(10 + i) + R"(,"snapshot":)" +
             std::to_string(20 + i) + "}";
  std::string shields = "[";
  for (int i = 0; i < 6; ++i)
    shields += std::string(i ? "," : "") + R"({"enable":1,"polygonX":"x)" + std::to_string(i) + R"(","polygonY":")" +
               std::string(70, 'y') + R"("})";
  const std::string body =
      R"({"chnId":7,"enable":1,"width":1920,"height":1080,"minPixel":40,"captureMode":2,"captureModeArray":)" + modes +
      R"(],"snapshotType":1,"snapshotInterval":2,"snapshotBackground":1,"poseYaw":30,"poseRoll":"31","posePitch":32,)"
      R"("blurLimit":5,"detection_polygonX":")" + std::string(64, 'X') + R"(","detection_polygonY":"1,2",)"
      R"("uploadEnable":1,"uploadFileType":2,"nasEnable":1,"nasFileType":3,"emailEnable":1,"emailFileType":4,)"
      R"("httpEnable":1,"httpNotifyInterval":9,"httpUrl":")" + std::string(200, 'u') + R"(","httpUser":"me",)"
      R"("httpPassword":"pw","recordSeconds":10,"prerecordSeconds":3,"postEnable":1,"postType":2,"shield":)" + shields +
      R"(],"attributeEnable":1,"attributeType":2,"mosaicEnable":1,"mosaicModeStatus":3,"mutuallyExclusive":1,)"
      R"("action":{"triAlarms":2,"triChannels":"1","audible":)" + week("06:00", "07:00", 1) +
      R"(,"whiteInfo":[{"chnid":7,"mode":1,"time":9}],"httpSche":)" + week("08:00", "09:00", 1) + "}}";
  EXPECT_EQ(send("/2077", body, &j).out, std::string(kJsonHead) + R"({"status":0})");
  Layout f(1620);
  f.i32(4, 7).i32(140, 1).i32(144, 1920).i32(148, 1080).i32(152, 40).i32(156, 2);
  f.i32(160, 10).i32(164, 11).i32(168, 12).i32(172, 1).i32(176, 2).i32(180, 1).i32(184, 30).i32(188, 31).i32(192, 32);
  f.i32(196, 5).text(280, std::string(63, 'X')).text(344, "1,2");
  f.i32(408, 1).i32(412, 2).i32(416, 1).i32(420, 3).i32(424, 1).i32(428, 4).i32(432, 1).i32(436, 9);
  f.text(440, std::string(127, 'u')).text(568, "me").text(632, "pw");
  f.i32(696, 20).i32(700, 21).i32(704, 22).i32(708, 10).i32(712, 3).i32(716, 1).i32(720, 2);
  for (int i = 0; i < 4; ++i)
    f.i32(804 + 196 * i, 1).text(804 + 196 * i + 68, "x" + std::to_string(i)).text(804 + 196 * i + 132, std::string(63, 'y'));
  f.i32(1588, 1).i32(1592, 2).i32(1596, 1).i32(1600, 3).i32(1604, 1);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0], line(3383, i32(7)));
  EXPECT_EQ(j[1], line(3381, f.hex()));
  EXPECT_EQ(j[1].size(), 5 + 2 * 1620u);
  SmartEventAction a = read<SmartEventAction>(FACE_EVENT_FAMILY, 7);
  EXPECT_EQ(a.channel, 7);
  EXPECT_EQ(a.tri_alarms, 2);
  EXPECT_EQ(a.chn_mask, 1u);
  EXPECT_STREQ(schedule(FACE_AUDIBLE_SCHEDULE, 7)->days[0].sections[0].start_time, "06:00");
  EXPECT_STREQ(schedule(FACE_HTTP_SCHEDULE, 7)->days[0].sections[0].start_time, "08:00");
  EXPECT_EQ(count(FACE_WHITELED_PARAMS), 1);

  // Every key is taken anew (absent ones are 0); the actions are kept.
  EXPECT_EQ(send("/2077", R"({"chnId":"0","action":{"interval":4}})", &j).out, std::string(kJsonHead) + R"({"status":0})");
  EXPECT_EQ(j, (std::vector<std::string>{line(3383, i32(0)), line(3381, Layout(1620).hex())}));
  EXPECT_EQ(read<SmartEventAction>(FACE_EVENT_FAMILY, 7).tri_alarms, 2);
  EXPECT_EQ(read<SmartEventAction>(FACE_EVENT_FAMILY, 0).interval, 4);

  for (const char* b : {R"({"chnId":8})", R"({"chnId":-1})", R"({"chnId":"x"})", R"({"enable":1})", "x",
                        R"({"chnId":1,"enable":"x","action":{"interval":1}})",
                        R"({"chnId":1,"captureModeArray":[{"snapshot":"x"}],"action":{"interval":1}})",
                        R"({"chnId":1,"shield":[{"enable":[]}],"action":{"interval":1}})",
                        R"({"chnId":1,"httpUrl":[1],"action":{"interval":1}})", R"({"chnId":1,"action":{"interval":"x"}})",
                        R"({"chnId":1,"action":{"ptzParams":[{"acto_ptz_channel":2,"acto_ptz_preset":"x"}]}})"}) {
    EXPECT_EQ(send("/2077", b, &j).out, kJsonError) << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  EXPECT_EQ(count(FACE_EVENT_FAMILY), 2);
}

// ================= The core's replies =================

struct Exchange {
  const char* name;
  const char* body;
  int req;
};
const Exchange kExchanges[] = {
    {"/2067", R"({"groups":[]})", 2290},     {"/2070", R"({"groupid":0})", 2293},
    {"/2071", R"({"groupid":0})", 2291},     {"/2072", R"({"groupid":0})", 2292},
    {"/2074", R"({"id":0})", 1421},          {"/2076", R"({"report":[]})", 1423},
    {"/2077", R"({"chnId":0})", 3381},
};

TEST_F(PeoplePosE2e, NoReplyEmptyReplyAndStatusOfTheCore) {
  std::string none, empty, status;
  for (const Exchange& e : kExchanges) {
    none += std::to_string(e.req) + " none\n";
    empty += std::to_string(e.req) + " reply hex=\n";
    status += std::to_string(e.req) + " reply hex=fbffffff\n";
  }
  env_.start_sim(none);
  for (const Exchange& e : kExchanges) {
    std::vector<std::string> j;
    EXPECT_EQ(send(e.name, e.body, &j, "100").out, kJsonError) << e.name;
    ASSERT_EQ(j.size(), e.req == 3381 ? 2u : 1u) << e.name;
    EXPECT_EQ(j.back().substr(0, 5), std::to_string(e.req) + " ") << e.name;
  }
  env_.stop_sim();
  // An empty reply answers at once, whatever the wait.
  env_.start_sim(empty);
  for (const Exchange& e : kExchanges) EXPECT_EQ(send(e.name, e.body, nullptr, "5000").out, kJsonError) << e.name;
  env_.stop_sim();
  env_.start_sim(status);
  for (const Exchange& e : kExchanges)
    EXPECT_EQ(send(e.name, e.body).out, std::string(kJsonHead) + (e.req == 3381 ? R"({"status":-5})" : R"({"res":-5})"))
        << e.name;
}

TEST_F(PeoplePosE2e, FailedStoreWriteIsNeverOk) {
  env_.start_sim();
  env_.write_file(ZRDB_PATH, std::string(4096, 'x'));
  const std::vector<std::tuple<const char*, std::string, const char*>> cases = {
      {"/2036", R"({"channel":1,"start":0,"end":0,"schedule_motion":)" + week("01:00", "02:00", 1) + "}", kTextError},
      {"/2067", R"({"groups":[{"enable":1}]})", kJsonError},
      {"/2070", R"({"groupid":1,"interval":1})", kJsonError},
      {"/2074", R"({"id":1,"enable":1})", kJsonError},
      {"/2076", R"({"report":[{"enable":1}]})", kJsonError},
      {"/2077", R"({"chnId":1,"action":{"interval":1}})", kJsonError},
  };
  for (const auto& [name, body, error] : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send(name, body, &j).out, error) << name;
    EXPECT_TRUE(j.empty()) << name;
  }
}

}  // namespace
