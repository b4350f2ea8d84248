// Live view and playback control, end to end: the built webcgi against
// zrcore-sim, one row per case with the exact reply and the exact messages
// the core daemon received. Then a whole playback session against the sim's
// own stream module, and the pure helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "core/cgi_util.h"
#include "e2e_harness.h"
#include "handlers/stream.h"
#include "platform/zrfs.h"

namespace {
const std::string kJson = "Content-type: application/json\r\n\r\n";
const std::string kText = "Content-type: text/plain\r\n\r\n";
const std::string kOk = kText + "OK";
const std::string kCgiError = kJson + "{status:\"CGI ERROR\"}";

template <typename T>
std::string line(int id, const T& rec) {
  return std::to_string(id) + " " + record_hex(rec);
}
std::string line_int(int id, int32_t v) { return line(id, v); }
std::string line_empty(int id) { return std::to_string(id) + " "; }
std::string log_line(long long sub_type, int channel) {
  return line(3485, expected_log_record(sub_type, 900, channel));
}

// A script rule answering request id with the record (reply type id + 5000
// unless given).
template <typename T>
std::string reply_rule(int id, const T& rec, int type = 0) {
  std::string rule = std::to_string(id) + " reply hex=" + record_hex(rec);
  if (type) rule += " type=" + std::to_string(type);
  return rule + "\n";
}
std::string reply_hex(int id, const std::string& hex) {
  return std::to_string(id) + " reply" + (hex.empty() ? "" : " hex=" + hex) + "\n";
}

StreamSessionList session_list(std::initializer_list<int32_t> ids, int32_t count) {
  StreamSessionList l{};
  int i = 0;
  for (int32_t id : ids) l.sid[i++] = id;
  l.count = count;
  return l;
}

StreamSpeedRecord speed_record(int32_t speed, int32_t flag, std::initializer_list<int32_t> ids) {
  StreamSpeedRecord r{};
  r.speed = speed;
  r.single_double = flag;
  int i = 0;
  for (int32_t id : ids) r.sid[i++] = id;
  r.count = i;
  return r;
}

StreamSection section(int32_t cam, int32_t sid, int32_t lock, int32_t type, const char* start, const char* end) {
  StreamSection s{};
  s.cam_id = cam;
  s.sid = sid;
  s.lock = lock;
  s.record_type = type;
  std::strncpy(s.start, start, sizeof s.start);
  std::strncpy(s.end, end, sizeof s.end);
  return s;
}

std::string hex2(const StreamSection& a, const StreamSection& b) { return record_hex(a) + record_hex(b); }

// Section search of channel ch on the default 32-channel device.
StreamSectionSearch search(int ch, int32_t sub, const char* from, const char* to) {
  StreamSectionSearch s{};
  for (int i = 0; i < 32; ++i) s.chn_mask[i] = i == ch ? '1' : '0';
  s.one = 1;
  s.sub_stream = sub;
  s.any_type = -1;
  s.any_lock = -1;
  std::strncpy(s.time, from, sizeof s.time);
  std::strncpy(s.end_time, to, sizeof s.end_time);
  return s;
}

const char kDayStart[] = "2026-12-07 00:00:00";
const char kDayEnd[] = "2026-12-07 23:59:59";
const std::string kSearchText = R"({"channelId":2,"sid":-1,"streamType":1,"time":"2026-12-07 00:00:00","endTime":"2026-12-07 23:59:59"})";

const StreamSection kSecA = section(2, 100, 0, 0, "2026-12-07 00:00:00", "2026-12-07 07:59:59");
const StreamSection kSecB = section(2, 100, 1, 2, "2026-12-07 12:30:00", "2026-12-07 12:44:59");
const std::string kSectionsReply =
    R"({"status":"OK","camId":2,"sectionNum":2,"sid":100,"section":[)"
    R"({"startTime":"2026-12-07 00:00:00","endTime":"2026-12-07 07:59:59","recordType":0,"lock":0},)"
    R"({"startTime":"2026-12-07 12:30:00","endTime":"2026-12-07 12:44:59","recordType":2,"lock":1}]})";

StreamPlaybackStart playback_start(int32_t ch, int32_t sid) {
  StreamPlaybackStart p{};
  p.chn = ch;
  p.sid = sid;
  std::strncpy(p.start_time, kDayStart, sizeof p.start_time);
  std::strncpy(p.end_time, kDayEnd, sizeof p.end_time);
  std::strncpy(p.play_time, "2026-12-07 08:00:00", sizeof p.play_time);
  return p;
}
const std::string kStartText =
    R"({"channelId":3,"sid":7,"playTime":"2026-12-07 08:00:00","startTime":"2026-12-07 00:00:00","endTime":"2026-12-07 23:59:59"})";

StreamSessionInfo session_info(int32_t sid) {
  StreamSessionInfo s{};
  s.sid = sid;
  s.port = 554;
  s.external_port = 10554;
  s.external_http_port = 10080;
  s.ddns_port = 20554;
  s.ddns_http_port = 20080;
  std::strncpy(s.source_path, "/playback/x", sizeof s.source_path);
  return s;
}
std::string session_reply(int32_t sid, const char* play_time) {
  return R"({"sessionId":)" + std::to_string(sid) + R"(,"sourcePath":"/playback/x","port":554,"status":"OK","realPlayTime":")" +
         play_time + R"(","external_port":10554,"external_http_port":10080,"ddns_port":20554,"ddns_http_port":20080})";
}

StreamPlaybackByMask by_mask(int32_t mask2) {
  StreamPlaybackByMask m{};
  m.play_secs = 1796634000;  // 2026-12-07 09:00:00 UTC
  std::strncpy(m.play_time, "2026-12-07 09:00:00", sizeof m.play_time);
  m.mask[2] = mask2;
  return m;
}
const std::string kByMaskText =
    R"({"mask0":0,"mask1":0,"mask2":5,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0,"playTime":"2026-12-07 09:00:00"})";
StreamMaskStartReply mask_reply(int32_t sid, int32_t error) {
  StreamMaskStartReply r{};
  r.sid = sid;
  std::strncpy(r.real_play_time, "2026-12-07 09:00:02", sizeof r.real_play_time);
  r.error = error;
  return r;
}

StreamJump jump(std::initializer_list<int32_t> chn, std::initializer_list<int32_t> sid) {
  StreamJump j{};
  int i = 0;
  for (int32_t c : chn) j.chn[i++] = c;
  i = 0;
  for (int32_t s : sid) j.sid[i++] = s;
  j.count = i;
  std::strncpy(j.jump_time, "2026-12-07 12:30:00", sizeof j.jump_time);
  return j;
}
const std::string kJumpText = R"({"jumpTime":"2026-12-07 12:30:00","num":2,"sid":[7,8],"chnid":[0,1]})";

StreamLiveReply live_reply(int32_t id, int32_t status) {
  StreamLiveReply r{};
  r.id = id;
  r.port = 554;
  r.direct = 1;
  r.status = status;
  std::strncpy(r.rtsp_addr, "rtsp://10.0.0.2:554/ch03/sub", sizeof r.rtsp_addr);
  std::strncpy(r.res_path, "/ch03/sub", sizeof r.res_path);
  return r;
}

StreamImageReply image_reply(int32_t status) {
  StreamImageReply r{};
  r.brightness = 10;
  r.contrast = 20;
  r.saturation = 30;
  r.sharpness = 40;
  r.noise_reduction = 50;
  r.i2ddnr = 1;
  r.status = status;
  r.support_lpr = 1;
  r.is_nt_platform = 0;
  r.is_panorama_stitch = 1;
  return r;
}

// The operation-log record of "/3001": the five values as percent, packed
// as detail kind 107.
std::string image_log_line(int channel, std::initializer_list<int32_t> percent) {
  OperationLogInfo info = expected_log_record(204, 900, channel);
  std::vector<int32_t> values(percent);
  zrfs_log_pack_detail(info.detail, sizeof info.detail, 107, values.data(), values.size() * sizeof(int32_t));
  return line(3485, info);
}

StreamRtspRecord rtsp_record(int ch) {
  StreamRtspRecord r{};
  std::snprintf(r.main_url, sizeof r.main_url, "rtsp://a/ch%d/main", ch);
  std::snprintf(r.sub_url, sizeof r.sub_url, "rtsp://a/ch%d/sub", ch);
  r.main_ports = {554, 1, 2, 3, 4};
  r.sub_ports = {555, 5, 6, 7, 8};
  std::strncpy(r.main_user, "admin", sizeof r.main_user);
  std::strncpy(r.main_password, "pw", sizeof r.main_password);
  std::strncpy(r.main_res_path, "/m", sizeof r.main_res_path);
  std::strncpy(r.sub_user, "guest", sizeof r.sub_user);
  std::strncpy(r.sub_password, "", sizeof r.sub_password);
  std::strncpy(r.sub_res_path, "/s", sizeof r.sub_res_path);
  return r;
}
std::string rtsp_json(int ch) {
  return R"({"ipc":{"main":"rtsp://a/ch)" + std::to_string(ch) + R"(/main","sub":"rtsp://a/ch)" + std::to_string(ch) +
         R"(/sub"},"nvr":{"mainUsername":"admin","mainPassword":"pw","mainPort":554,"mainExternalPort":1,)"
         R"("mainDDNSPort":2,"mainResPath":"/m","mainExternalHttpPort":3,"mainDDNSHttpPort":4,"subUsername":"guest",)"
         R"("subPassword":"","subPort":555,"subExternalPort":5,"subDDNSPort":6,"subResPath":"/s",)"
         R"("subExternalHttpPort":7,"subDDNSHttpPort":8}})";
}

// The session ids of a list, each with request 1903 first.
std::vector<std::string> stop_lines(std::initializer_list<int32_t> ids) {
  std::vector<std::string> out;
  for (int32_t id : ids) out.push_back(line_int(1903, id));
  return out;
}

struct Case {
  const char* label;
  const char* path;
  std::string text;    // POSTed as application/json
  std::string script;  // zrcore-sim script
  std::string out;     // the exact reply
  std::vector<std::string> journal;
  bool short_wait = false;  // NVR_IPC_WAIT_MS=200: the no-reply cases
};

// Test names and failure messages show the case by its label.
void PrintTo(const Case& k, std::ostream* os) { *os << k.label; }

std::vector<Case> all_cases() {
  std::vector<Case> c;
  // ---- "/4000" section search ----
  c.push_back({"search_without_session", "/4000", kSearchText, reply_hex(1159, hex2(kSecA, kSecB)),
               kJson + kSectionsReply, {line(1159, search(2, 1, kDayStart, kDayEnd))}});
  c.push_back({"search_closes_session_first", "/4000",
               R"({"channelId":0,"sid":3,"streamType":0,"time":"2026-12-07 00:00:00","endTime":"2026-12-07 23:59:59"})",
               reply_hex(1159, ""), kJson + R"({"status":"NO MATCHES"})",
               {line(1160, session_list({3}, 1)), line_int(1903, 3), line(1159, search(0, 0, kDayStart, kDayEnd))}});
  c.push_back({"search_short_reply_is_no_match", "/4000", kSearchText, reply_hex(1159, "0102030405"),
               kJson + R"({"status":"NO MATCHES"})", {line(1159, search(2, 1, kDayStart, kDayEnd))}});
  // A record and a half: only the whole record is read.
  c.push_back({"search_partial_record_ignored", "/4000", kSearchText,
               reply_hex(1159, record_hex(kSecA) + record_hex(kSecB).substr(0, 80)),
               kJson + R"({"status":"OK","camId":2,"sectionNum":1,"sid":100,"section":[)"
                       R"({"startTime":"2026-12-07 00:00:00","endTime":"2026-12-07 07:59:59","recordType":0,"lock":0}]})",
               {line(1159, search(2, 1, kDayStart, kDayEnd))}});
  c.push_back({"search_no_reply", "/4000", kSearchText, "1159 none\n", kCgiError,
               {line(1159, search(2, 1, kDayStart, kDayEnd))}, true});
  c.push_back({"search_channel_beyond_device", "/4000",
               R"({"channelId":32,"sid":-1,"streamType":0,"time":"2026-12-07 00:00:00","endTime":"2026-12-07 23:59:59"})",
               "", "", {}});
  c.push_back({"search_unparsable", "/4000", R"({"channelId":0,)", "", "", {}});
  c.push_back({"search_missing_end_time", "/4000",
               R"({"channelId":0,"sid":-1,"streamType":0,"time":"2026-12-07 00:00:00"})", "", "", {}});
  c.push_back({"search_time_not_a_date", "/4000",
               R"({"channelId":0,"sid":-1,"streamType":0,"time":"2026-02-30 00:00:00","endTime":"2026-12-07 23:59:59"})",
               "", "", {}});
  c.push_back({"section_page", "/4023", R"({"sid":100,"page":1})", reply_hex(1161, hex2(kSecA, kSecB)),
               kJson + kSectionsReply, {line(1161, StreamSectionPage{100, 1, {0, 0, 0}})}});
  c.push_back({"section_page_negative_session", "/4023", R"({"sid":-1,"page":0})", "", "", {}});
  c.push_back({"section_page_no_reply", "/4023", R"({"sid":100,"page":1})", "1161 none\n", kCgiError,
               {line(1161, StreamSectionPage{100, 1, {0, 0, 0}})}, true});

  // ---- "/4001" playback start ----
  c.push_back({"start_playback", "/4001", kStartText, reply_hex(1162, "00000000") + reply_rule(3502, session_info(7)),
               kJson + session_reply(7, "2026-12-07 08:00:00"),
               {line(1162, playback_start(3, 7)), line_int(3502, 7), log_line(209, 4)}});
  c.push_back({"start_playback_refused", "/4001", kStartText, reply_hex(1162, "ffffffff"), kCgiError,
               {line(1162, playback_start(3, 7))}});
  c.push_back({"start_playback_no_reply", "/4001", kStartText, "1162 none\n", kCgiError,
               {line(1162, playback_start(3, 7))}, true});
  // A result reply without a record is no refusal: the start goes on.
  c.push_back({"start_playback_empty_result_goes_on", "/4001", kStartText,
               reply_hex(1162, "") + reply_rule(3502, session_info(7)), kJson + session_reply(7, "2026-12-07 08:00:00"),
               {line(1162, playback_start(3, 7)), line_int(3502, 7), log_line(209, 4)}});
  c.push_back({"start_playback_no_session_info", "/4001", kStartText, reply_hex(1162, "00000000") + "3502 none\n",
               kCgiError, {line(1162, playback_start(3, 7)), line_int(3502, 7), log_line(209, 4)}, true});
  c.push_back({"start_playback_short_session_info", "/4001", kStartText,
               reply_hex(1162, "00000000") + reply_hex(3502, "0700"), kCgiError,
               {line(1162, playback_start(3, 7)), line_int(3502, 7), log_line(209, 4)}});
  c.push_back({"start_playback_channel_8", "/4001",
               R"({"channelId":8,"sid":7,"playTime":"2026-12-07 08:00:00","startTime":"2026-12-07 00:00:00","endTime":"2026-12-07 23:59:59"})",
               "", "", {}});
  c.push_back({"start_playback_bad_play_time", "/4001",
               R"({"channelId":3,"sid":7,"playTime":"yesterday","startTime":"2026-12-07 00:00:00","endTime":"2026-12-07 23:59:59"})",
               "", "", {}});

  // ---- "/4020" playback start by mask ----
  c.push_back({"start_by_mask", "/4020", kByMaskText,
               reply_rule(3109, mask_reply(42, 0), REPLY_STREAM_PLAYBACK_BY_MASK) + reply_rule(3502, session_info(42)),
               kJson + session_reply(42, "2026-12-07 09:00:02"),
               {line(3109, by_mask(5)), line_int(3502, 42), log_line(209, 0)}});
  c.push_back({"start_by_mask_core_error", "/4020", kByMaskText,
               reply_rule(3109, mask_reply(42, 1), REPLY_STREAM_PLAYBACK_BY_MASK), kCgiError, {line(3109, by_mask(5))}});
  c.push_back({"start_by_mask_empty_reply", "/4020", kByMaskText,
               "3109 reply type=" + std::to_string(REPLY_STREAM_PLAYBACK_BY_MASK) + "\n", kCgiError,
               {line(3109, by_mask(5))}});
  c.push_back({"start_by_mask_negative_session", "/4020", kByMaskText,
               reply_rule(3109, mask_reply(-1, 0), REPLY_STREAM_PLAYBACK_BY_MASK), kCgiError, {line(3109, by_mask(5))}});
  // The answer to 3109 comes as 8103 only; the usual id + 5000 is not it.
  c.push_back({"start_by_mask_reply_8109_ignored", "/4020", kByMaskText, reply_rule(3109, mask_reply(42, 0), 8109),
               kCgiError, {line(3109, by_mask(5))}, true});
  c.push_back({"start_by_mask_no_reply", "/4020", kByMaskText, "3109 none\n", kCgiError, {line(3109, by_mask(5))},
               true});
  c.push_back({"start_by_mask_missing_mask", "/4020", R"({"mask0":1,"playTime":"2026-12-07 09:00:00"})", "", "", {}});
  c.push_back({"start_by_mask_bad_time", "/4020",
               R"({"mask0":1,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0,"playTime":"2026-13-01 00:00:00"})",
               "", "", {}});

  // ---- "/4002" play time ----
  c.push_back({"play_time", "/4002", "7", reply_hex(1153, record_hex(int32_t{1796630400})),
               kJson + R"({"status":"OK","curPlayTime":"2026-12-07 08:00:00"})", {line_int(1153, 7)}});
  c.push_back({"play_time_zero", "/4002", "7", reply_hex(1153, "00000000"), kCgiError, {line_int(1153, 7)}});
  c.push_back({"play_time_short_reply", "/4002", "7", reply_hex(1153, "0102"), kCgiError, {line_int(1153, 7)}});
  c.push_back({"play_time_no_reply", "/4002", "7", "1153 none\n", kCgiError, {line_int(1153, 7)}, true});
  // The reply comes after the wait ran out: one reply, the error.
  c.push_back({"play_time_late_reply", "/4002", "7",
               "1153 reply hex=" + record_hex(int32_t{1796630400}) + " delay=700\n", kCgiError, {line_int(1153, 7)},
               true});
  c.push_back({"play_time_not_a_number", "/4002", "7x", "", "", {}});
  c.push_back({"play_time_negative", "/4002", "-1", "", "", {}});

  // ---- session lists ----
  {
    std::vector<std::string> j = stop_lines({4, 6});
    j.push_back(line(1164, session_list({4, -1, 6}, 3)));
    j.push_back(line(1160, session_list({4, -1, 6}, 3)));
    c.push_back({"stop_and_close", "/4003", R"({"close":1,"num":3,"sid":[4,-1,6]})", "", kOk, j});
  }
  {
    // Elements missing from the array count as 0.
    std::vector<std::string> j = stop_lines({9, 0});
    j.push_back(line(1164, session_list({9, 0}, 2)));
    c.push_back({"stop_without_close", "/4003", R"({"num":2,"sid":[9]})", "", kOk, j});
  }
  {
    // At most 64 sessions are taken.
    std::vector<std::string> j;
    StreamSessionList l{};
    for (int i = 0; i < 64; ++i) {
      l.sid[i] = 100 + i;
      j.push_back(line_int(1903, 100 + i));
    }
    l.count = 64;
    j.push_back(line(1164, l));
    std::string ids;
    for (int i = 0; i < 70; ++i) ids += (i ? "," : "") + std::to_string(100 + i);
    c.push_back({"stop_caps_at_64", "/4003", R"({"num":70,"sid":[)" + ids + "]}", "", kOk, j});
  }
  c.push_back({"stop_unparsable", "/4003", "num=1", "", "", {}});
  c.push_back({"pause", "/4004", R"({"num":2,"sid":[1,2]})", "", kOk, {line(1165, session_list({1, 2}, 2))}});
  c.push_back({"pause_negative_num", "/4004", R"({"num":-5,"sid":[1,2]})", "", kOk,
               {line(1165, session_list({}, 0))}});
  c.push_back({"pause_unparsable", "/4004", "{", "", "", {}});
  c.push_back({"resume", "/4005", R"({"sid":1,"direction":1})", "", kOk, {line(1166, StreamResume{1, 1})}});
  c.push_back({"resume_negative_session", "/4005", R"({"sid":-1,"direction":0})", "", "", {}});
  c.push_back({"step_forward", "/4006", R"({"num":1,"sid":[5]})", "", kOk, {line(1170, session_list({5}, 1))}});
  {
    StreamSessionList l = session_list({1, 2}, 2);
    l.speed[0] = 4;
    l.speed[1] = 8;
    c.push_back({"fast_forward", "/4007", R"({"chind":0,"num":2,"sessionId":[1,2],"speed":[4,8]})", "", kOk,
                 {line(1112, l)}});
  }
  c.push_back({"fast_forward_without_chind", "/4007", R"({"num":1,"sessionId":[1],"speed":[4]})", "", "", {}});
  c.push_back({"fast_forward_negative_chind", "/4007", R"({"chind":-1,"num":1,"sessionId":[1],"speed":[4]})", "", "",
               {}});
  c.push_back({"slow_forward", "/4008", R"({"chind":[5,6],"num":2,"speed":4})", "", kOk,
               {line(1149, speed_record(4, 0, {5, 6}))}});
  c.push_back({"slow_forward_negative", "/4008", R"({"chind":-2,"num":1,"speed":4})", "", "", {}});
  // Session ids and channels are numbers or decimal texts, never "x" read as 0.
  c.push_back({"resume_session_text", "/4005", R"({"sid":"3","direction":1})", "", kOk, {line(1166, StreamResume{3, 1})}});
  c.push_back({"resume_session_not_a_number", "/4005", R"({"sid":"x","direction":0})", "", "", {}});
  c.push_back({"step_forward_session_not_a_number", "/4006", R"({"num":2,"sid":[5,"x"]})", "", "", {}});
  c.push_back({"section_page_not_a_number", "/4023", R"({"sid":"x","page":0})", "", "", {}});
  // Every other number of the playback and live pages is read the same way:
  // a refused value sends nothing.
  c.push_back({"stop_close_not_a_number", "/4003", R"({"close":"x","num":1,"sid":[4]})", "", "", {}});
  c.push_back({"resume_direction_not_a_number", "/4005", R"({"sid":1,"direction":"x"})", "", "", {}});
  c.push_back({"resume_direction_fraction", "/4005", R"({"sid":1,"direction":1.5})", "", "", {}});
  c.push_back({"slow_forward_speed_not_a_number", "/4008", R"({"chind":[5],"num":1,"speed":"x"})", "", "", {}});
  c.push_back({"set_speed_true", "/4022", R"({"num":1,"sid":[5],"speed":true})", "", "", {}});
  c.push_back({"start_live_stream_type_not_a_number", "/4010", R"({"id":1,"streamType":"x","streamFrom":0})", "",
               "", {}});
  c.push_back({"stop_live_stream_from_not_a_number", "/4011", R"({"id":1,"streamType":0,"streamFrom":"x"})", "", "",
               {}});
  c.push_back({"set_image_sharpness_not_a_number", "/3001",
               R"({"id":0,"brightness":1,"contrast":1,"saturation":1,"Sharpness":"x"})", "", "", {}});
  c.push_back({"set_image_i2ddnr_fraction", "/3001",
               R"({"id":0,"brightness":1,"contrast":1,"saturation":1,"i2ddnr":0.5})", "", "", {}});
  c.push_back({"set_transcoding_bitrate_not_a_number", "/4025",
               R"({"ch":1,"sid":7,"trancodingmode":1,"framesize":2,"bitrate":"x","framerate":15})", "", "", {}});
  c.push_back({"set_transcoding_mode_text", "/4025",
               R"({"ch":1,"sid":7,"trancodingmode":"1","framesize":2,"bitrate":512,"framerate":15})",
               reply_rule(1176, StreamTranscodingState{1, 7, 1}), kJson + R"({"ch":1,"sid":7,"state":1,"status":"OK"})",
               {line(1176, StreamTranscoding{1, 7, 1, 2, 512, 15})}});
  c.push_back({"set_speed_single_double", "/4022", R"({"num":1,"sid":[5],"speed":2})", "", kOk,
               {line(1167, speed_record(2, 1, {5}))}});
  c.push_back({"set_speed_two_sessions", "/4022", R"({"num":2,"sid":[5,6],"speed":2})", "", kOk,
               {line(1167, speed_record(2, 0, {5, 6}))}});
  c.push_back({"step_batch_count_stays_0", "/3003", R"({"sessionId":[3,4]})", "", kOk,
               {line(1113, session_list({3, 4}, 0))}});

  // ---- "/4009" jump ----
  c.push_back({"jump", "/4009", kJumpText, reply_hex(1171, "00000000"), kJson + R"({"status":"OK"})",
               {line(1171, jump({0, 1}, {7, 8}))}});
  c.push_back({"jump_refused", "/4009", kJumpText, reply_hex(1171, "feffffff"), kJson + R"({"status":"ERROR"})",
               {line(1171, jump({0, 1}, {7, 8}))}});
  c.push_back({"jump_empty_reply", "/4009", kJumpText, reply_hex(1171, ""), kJson + R"({"status":"ERROR"})",
               {line(1171, jump({0, 1}, {7, 8}))}});
  c.push_back({"jump_no_reply", "/4009", kJumpText, "1171 none\n", kCgiError, {line(1171, jump({0, 1}, {7, 8}))},
               true});
  c.push_back({"jump_num_0", "/4009", R"({"jumpTime":"2026-12-07 12:30:00","num":0,"sid":[],"chnid":[]})", "",
               kCgiError, {}});
  c.push_back({"jump_channel_64", "/4009", R"({"jumpTime":"2026-12-07 12:30:00","num":1,"sid":[7],"chnid":[64]})",
               "", "", {}});
  c.push_back({"jump_bad_time", "/4009", R"({"jumpTime":"12:30","num":1,"sid":[7],"chnid":[0]})", "", "", {}});

  // ---- live view ----
  const std::string live_text = R"({"id":2,"streamType":1,"streamFrom":1})";
  c.push_back({"start_live", "/4010", live_text, reply_rule(3500, live_reply(2, 0)),
               kJson + R"({"status":"OK","port":554,"direct":1,"rtspAddr":"rtsp://10.0.0.2:554/ch03/sub","resPath":"/ch03/sub"})",
               {line(3500, StreamLive{2, 1, 1}), log_line(208, 3)}});
  c.push_back({"start_live_refused", "/4010", live_text, reply_rule(3500, live_reply(2, -3)),
               kJson + R"({"status":"ERROR"})", {line(3500, StreamLive{2, 1, 1})}});
  c.push_back({"start_live_short_reply", "/4010", live_text, reply_hex(3500, "02000000"), kCgiError,
               {line(3500, StreamLive{2, 1, 1})}});
  c.push_back({"start_live_no_reply", "/4010", live_text, "3500 none\n", kCgiError, {line(3500, StreamLive{2, 1, 1})},
               true});
  // A reply naming no valid channel still logs the start, without a channel.
  c.push_back({"start_live_reply_channel_out_of_range", "/4010", live_text, reply_rule(3500, live_reply(70, 0)),
               kJson + R"({"status":"OK","port":554,"direct":1,"rtspAddr":"rtsp://10.0.0.2:554/ch03/sub","resPath":"/ch03/sub"})",
               {line(3500, StreamLive{2, 1, 1}), log_line(208, 0)}});
  c.push_back({"start_live_channel_8", "/4010", R"({"id":8,"streamType":0,"streamFrom":0})", "", "", {}});
  c.push_back({"start_live_stream_type_2", "/4010", R"({"id":1,"streamType":2,"streamFrom":0})", "", "", {}});
  c.push_back({"stop_live", "/4011", live_text, "", kOk, {line(1901, StreamLive{2, 1, 0})}});
  c.push_back({"stop_live_channel_8", "/4011", R"({"id":8,"streamType":0,"streamFrom":0})", "", "", {}});
  c.push_back({"stop_all_live", "/4012", "", "", kOk, {line_empty(1902)}});
  c.push_back({"rtsp_addresses", "/4018", "", reply_hex(3503, record_hex(rtsp_record(0)) + record_hex(rtsp_record(1))),
               kJson + R"({"rtspaddr":[)" + rtsp_json(0) + "," + rtsp_json(1) + "]}", {line_empty(3503)}});
  c.push_back({"rtsp_addresses_empty", "/4018", "", reply_hex(3503, "00"), kCgiError, {line_empty(3503)}});
  c.push_back({"rtsp_addresses_no_reply", "/4018", "", "3503 none\n", kCgiError, {line_empty(3503)}, true});
  c.push_back({"extern_ports", "/4021", "", reply_rule(3506, StreamExternPorts{8554, 9554}),
               kJson + R"({"upnp_extern_port":8554,"ddns_extern_port":9554})", {line_empty(3506)}});
  c.push_back({"extern_ports_short", "/4021", "", reply_hex(3506, "01020304"), kCgiError, {line_empty(3506)}});
  c.push_back({"extern_ports_no_reply", "/4021", "", "3506 none\n", kCgiError, {line_empty(3506)}, true});
  c.push_back({"stream_busy", "/3004", "", reply_hex(4011, "01000000"), kJson + R"({"status":"BUSY"})",
               {line_empty(4011)}});
  c.push_back({"stream_not_busy", "/3004", "", reply_hex(4011, "00000000"), kJson + R"({"status":"OK"})",
               {line_empty(4011)}});
  c.push_back({"stream_busy_no_reply", "/3004", "", "4011 none\n", kCgiError, {line_empty(4011)}, true});

  // ---- channel texts ----
  c.push_back({"log_channel_205", "/4014", "2", "", kOk, {log_line(205, 3)}});
  c.push_back({"log_channel_205_channel_8", "/4014", "8", "", "", {}});
  c.push_back({"check_channel_a", "/4015", "7", "", kOk, {}});
  c.push_back({"check_channel_a_bad", "/4015", "seven", "", "", {}});
  c.push_back({"check_channel_b", "/4016", "0", "", kOk, {}});
  c.push_back({"check_channel_b_negative", "/4016", "-1", "", "", {}});
  c.push_back({"log_channel_218", "/4017", "5", "", kOk, {log_line(218, 6)}});
  c.push_back({"log_live_view", "/4024", "1", "", kOk, {log_line(208, 2)}});

  // ---- image parameters ----
  c.push_back({"get_image", "/3000", R"({"chnid":1})", reply_rule(3002, image_reply(0)),
               kJson + R"({"status":"OK","brightness":10,"contrast":20,"saturation":30,"Sharpness":40,)"
                       R"("NoiseReduction":50,"i2ddnr":1,"supportLpr":1,"isNtPlatform":0,"isPanoramaStitch":1})",
               {line_int(3002, 1)}});
  c.push_back({"get_image_refused", "/3000", R"({"chnid":1})", reply_rule(3002, image_reply(-1)),
               kJson + R"({"status":"ERROR"})", {line_int(3002, 1)}});
  c.push_back({"get_image_short", "/3000", R"({"chnid":1})", reply_hex(3002, "00000000"), kCgiError,
               {line_int(3002, 1)}});
  c.push_back({"get_image_no_reply", "/3000", R"({"chnid":1})", "3002 none\n", kCgiError, {line_int(3002, 1)}, true});
  c.push_back({"get_image_channel_8", "/3000", R"({"chnid":8})", "", "", {}});
  c.push_back({"set_image", "/3001",
               R"({"id":0,"brightness":128,"contrast":255,"saturation":0,"Sharpness":64,"NoiseReduction":191,"i2ddnr":1})",
               "", kOk,
               {line(1205, StreamImageParams{0, 128, 255, 0, 64, 191, 1}), image_log_line(1, {50, 100, 0, 25, 75})}});
  c.push_back({"set_image_brightness_300", "/3001", R"({"id":0,"brightness":300,"contrast":1,"saturation":1})", "",
               "", {}});
  c.push_back({"set_image_missing_saturation", "/3001", R"({"id":0,"brightness":1,"contrast":1})", "", "", {}});
  c.push_back({"set_image_channel_8", "/3001", R"({"id":8,"brightness":1,"contrast":1,"saturation":1})", "", "", {}});
  c.push_back({"reset_image", "/3002", "3", "",
               kJson + R"({"ChannelId":3,"Brightness":128,"Contrast":128,"Saturation":128,"Sharpness":128,"NoiseReduction":128})",
               {line(1205, StreamImageParams{3, 128, 128, 128, 128, 128, 0})}});
  c.push_back({"reset_image_channel_9", "/3002", "9", "", "", {}});

  // ---- transcoding ----
  const std::string tc_text =
      R"({"ch":1,"sid":7,"trancodingmode":1,"framesize":2,"bitrate":512,"framerate":15})";
  c.push_back({"set_transcoding", "/4025", tc_text, reply_rule(1176, StreamTranscodingState{1, 7, 1}),
               kJson + R"({"ch":1,"sid":7,"state":1,"status":"OK"})",
               {line(1176, StreamTranscoding{1, 7, 1, 2, 512, 15})}});
  c.push_back({"set_transcoding_empty", "/4025", "", "", kCgiError, {}});
  c.push_back({"set_transcoding_unparsable", "/4025", "{ch:", "", kCgiError, {}});
  c.push_back({"set_transcoding_channel_64", "/4025", R"({"ch":64,"sid":7})", "", "", {}});
  c.push_back({"set_transcoding_no_reply", "/4025", tc_text, "1176 none\n", kCgiError,
               {line(1176, StreamTranscoding{1, 7, 1, 2, 512, 15})}, true});
  c.push_back({"transcoding_state", "/4026", R"({"ch":1,"sid":7})", reply_rule(1177, StreamTranscodingState{1, 7, 0}),
               kJson + R"({"ch":1,"sid":7,"state":0})", {line(1177, StreamTranscodingQuery{1, 7})}});
  c.push_back({"transcoding_state_empty", "/4026", "", "", kCgiError, {}});
  c.push_back({"transcoding_state_short", "/4026", R"({"ch":1,"sid":7})", reply_hex(1177, "0100000007000000"),
               kCgiError, {line(1177, StreamTranscodingQuery{1, 7})}});
  c.push_back({"transcoding_state_no_reply", "/4026", R"({"ch":1,"sid":7})", "1177 none\n", kCgiError,
               {line(1177, StreamTranscodingQuery{1, 7})}, true});
  return c;
}

CgiRequest post(const std::string& path, const std::string& text) {
  CgiRequest r;
  r.method = "POST";
  r.path_info = path;
  r.content_type = "application/json";
  r.body = text;
  r.env["TZ"] = "UTC";
  return r;
}

class StreamE2e : public ::testing::TestWithParam<Case> {};

TEST_P(StreamE2e, ReplyAndCoreMessages) {
  const Case& k = GetParam();
  E2eEnv env;
  env.start_sim(k.script);
  CgiRequest req = post(k.path, k.text);
  if (k.short_wait) req.env["NVR_IPC_WAIT_MS"] = "200";
  auto r = env.run(req);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, k.out);
  EXPECT_EQ(env.journal(), k.journal);
}

INSTANTIATE_TEST_SUITE_P(Requests, StreamE2e, ::testing::ValuesIn(all_cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.label); });
}  // namespace

// A GET request carries the JSON in the query string.
TEST(StreamRequests, GetQueryString) {
  E2eEnv env;
  env.start_sim();
  CgiRequest r;
  r.path_info = "/4004";
  r.query = "{%22num%22:1,%22sid%22:[3]}";
  EXPECT_EQ(env.run(r).out, kOk);
  EXPECT_EQ(env.journal(), std::vector<std::string>{line(1165, session_list({3}, 1))});
}

// More than 64 RTSP records: only the 64 channels are listed.
TEST(StreamRequests, RtspAddressesCappedAt64Channels) {
  E2eEnv env;
  std::string hex;
  for (int i = 0; i < 70; ++i) hex += record_hex(rtsp_record(i));
  env.start_sim(reply_hex(3503, hex));
  auto r = env.run(post("/4018", ""));
  size_t n = 0;
  for (size_t at = r.out.find("\"ipc\""); at != std::string::npos; at = r.out.find("\"ipc\"", at + 1)) ++n;
  EXPECT_EQ(n, 64u);
  EXPECT_NE(r.out.find(rtsp_json(63)), std::string::npos);
  EXPECT_EQ(r.out.find("ch64"), std::string::npos);
}

// Texts from the core without a terminator are cut at their field.
TEST(StreamRequests, UnterminatedSectionTextsStayInTheirField) {
  E2eEnv env;
  StreamSection s = kSecA;
  std::memset(s.start, '1', sizeof s.start);
  std::memset(s.end, '2', sizeof s.end);
  std::memset(s.reserved64, 'x', sizeof s.reserved64);
  env.start_sim(reply_hex(1159, record_hex(s)));
  auto r = env.run(post("/4000", kSearchText));
  const std::string want = R"("startTime":")" + std::string(20, '1') + R"(","endTime":")" + std::string(20, '2') + "\"";
  EXPECT_NE(r.out.find(want), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('x'), std::string::npos);
}

// The section search names the channels the recorder is configured for.
TEST(StreamRequests, SearchMaskFollowsConfiguredChannels) {
  E2eEnv env;
  ASSERT_TRUE(env.seed_db());
  ASSERT_EQ(env.run_tool(ZRDB_TOOL_PATH, {"set", "max_cameras", "8"}).exit_code, 0);
  env.start_sim(reply_hex(1159, ""));
  auto refused = env.run(post("/4000", R"({"channelId":8,"sid":-1,"streamType":0,"time":"2026-12-07 00:00:00","endTime":"2026-12-07 23:59:59"})"));
  EXPECT_EQ(refused.out, "");
  EXPECT_TRUE(env.journal().empty());
  auto r = env.run(post("/4000", kSearchText));
  EXPECT_EQ(r.out, kJson + R"({"status":"NO MATCHES"})");
  StreamSectionSearch want = search(2, 1, kDayStart, kDayEnd);
  std::memset(want.chn_mask, 0, sizeof want.chn_mask);
  std::memcpy(want.chn_mask, "00100000", 8);
  EXPECT_EQ(env.journal(), std::vector<std::string>{line(1159, want)});
}

// A whole playback session against the sim's own stream module.
TEST(StreamSession, SearchPlayPauseStepJumpSpeedClose) {
  E2eEnv env;
  env.start_sim();
  auto run = [&](const char* path, const std::string& text) { return env.run(post(path, text)).out; };

  const std::string found = run("/4000", kSearchText);
  EXPECT_EQ(found.rfind(kJson + R"({"status":"OK","camId":2,"sectionNum":7,"sid":100,"section":[)", 0), 0u) << found;
  EXPECT_NE(found.find(R"({"startTime":"2026-12-07 12:30:00","endTime":"2026-12-07 12:44:59","recordType":2,"lock":1})"),
            std::string::npos);
  EXPECT_EQ(run("/4023", R"({"sid":100,"page":1})"), kJson + R"({"status":"NO MATCHES"})");

  EXPECT_EQ(run("/4001", R"({"channelId":2,"sid":5,"playTime":"2026-12-07 08:00:00","startTime":"2026-12-07 00:00:00","endTime":"2026-12-07 23:59:59"})"),
            kJson + R"({"sessionId":5,"sourcePath":"/playback/ch03/session5","port":554,"status":"OK",)"
                    R"("realPlayTime":"2026-12-07 08:00:00","external_port":10554,"external_http_port":10080,)"
                    R"("ddns_port":20554,"ddns_http_port":20080})");
  EXPECT_EQ(run("/4004", R"({"num":1,"sid":[5]})"), kOk);
  EXPECT_EQ(run("/4009", R"({"jumpTime":"2026-12-07 12:30:00","num":1,"sid":[5],"chnid":[2]})"),
            kJson + R"({"status":"OK"})");
  // Paused after the jump: the position stays put; a step moves one frame.
  EXPECT_EQ(run("/4002", "5"), kJson + R"({"status":"OK","curPlayTime":"2026-12-07 12:30:00"})");
  EXPECT_EQ(run("/4006", R"({"num":1,"sid":[5]})"), kOk);
  EXPECT_EQ(run("/4002", "5"), kJson + R"({"status":"OK","curPlayTime":"2026-12-07 12:30:00"})");
  EXPECT_EQ(run("/4007", R"({"chind":0,"num":1,"sessionId":[5],"speed":[4]})"), kOk);
  EXPECT_EQ(run("/4022", R"({"num":1,"sid":[5],"speed":2})"), kOk);
  EXPECT_EQ(run("/4005", R"({"sid":5,"direction":0})"), kOk);
  EXPECT_EQ(run("/4025", R"({"ch":2,"sid":5,"trancodingmode":1,"framesize":1,"bitrate":256,"framerate":10})"),
            kJson + R"({"ch":2,"sid":5,"state":1,"status":"OK"})");
  EXPECT_EQ(run("/4026", R"({"ch":2,"sid":5})"), kJson + R"({"ch":2,"sid":5,"state":1})");
  EXPECT_EQ(run("/4003", R"({"close":1,"num":1,"sid":[5]})"), kOk);
  // The session is gone.
  EXPECT_EQ(run("/4002", "5"), kCgiError);
  EXPECT_EQ(run("/4009", R"({"jumpTime":"2026-12-07 12:30:00","num":1,"sid":[5],"chnid":[2]})"),
            kJson + R"({"status":"ERROR"})");
}

TEST(StreamSession, LiveStreamsAndPlaybackByMask) {
  E2eEnv env;
  env.start_sim();
  auto run = [&](const char* path, const std::string& text) { return env.run(post(path, text)).out; };
  EXPECT_EQ(run("/4010", R"({"id":0,"streamType":0,"streamFrom":0})"),
            kJson + R"({"status":"OK","port":554,"direct":0,"rtspAddr":"rtsp://192.168.1.100:554/ch01/main","resPath":"/ch01/main"})");
  EXPECT_EQ(run("/3004", ""), kJson + R"({"status":"OK"})");
  EXPECT_EQ(run("/4020", R"({"mask0":4,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0,"playTime":"2026-12-07 09:00:00"})"),
            kJson + R"({"sessionId":100,"sourcePath":"/playback/ch03/session100","port":554,"status":"OK",)"
                    R"("realPlayTime":"2026-12-07 09:00:00","external_port":10554,"external_http_port":10080,)"
                    R"("ddns_port":20554,"ddns_http_port":20080})");
  EXPECT_EQ(run("/4002", "100"), kJson + R"({"status":"OK","curPlayTime":"2026-12-07 09:00:00"})");
  EXPECT_EQ(run("/3001", R"({"id":1,"brightness":10,"contrast":20,"saturation":30,"Sharpness":40,"NoiseReduction":50})"),
            kOk);
  EXPECT_EQ(run("/3000", R"({"chnid":1})"),
            kJson + R"({"status":"OK","brightness":10,"contrast":20,"saturation":30,"Sharpness":40,)"
                    R"("NoiseReduction":50,"i2ddnr":0,"supportLpr":0,"isNtPlatform":0,"isPanoramaStitch":0})");
}

// ---- Pure helpers -------------------------------------------------------------------------
TEST(StreamHelpers, ParseTimeTakesOnlyRealTimesOfTheOneForm) {
  setenv("TZ", "UTC", 1);
  tzset();
  struct Row {
    const char* text;
    bool ok;
    time_t want;
  };
  const Row rows[] = {
      {"2026-12-07 08:00:00", true, 1796630400},
      {"2028-02-29 00:00:00", true, 1835395200},
      {"2027-02-29 00:00:00", false, 0},
      {"2026-02-30 00:00:00", false, 0},
      {"2026-12-07 24:00:00", false, 0},
      {"2026-12-07 08:60:00", false, 0},
      {"2026-12-07T08:00:00", false, 0},
      {"2026-12-07 08:00", false, 0},
      {"2026-12-07 08:00:00 ", false, 0},
      {" 2026-12-07 08:00:0", false, 0},
      {"2026-1-07 008:00:00", false, 0},
      {"", false, 0},
  };
  for (const Row& row : rows) {
    time_t t = 0;
    EXPECT_EQ(stream_parse_time(row.text, &t), row.ok) << row.text;
    if (row.ok) {
      EXPECT_EQ(t, row.want) << row.text;
    }
  }
  EXPECT_FALSE(stream_parse_time(nullptr, nullptr));
}

TEST(StreamHelpers, ImagePercentRoundsToNearest) {
  const int rows[][2] = {{0, 0}, {1, 0}, {2, 1}, {128, 50}, {127, 50}, {191, 75}, {254, 100}, {255, 100}, {-2, -1}};
  for (const auto& row : rows) EXPECT_EQ(stream_image_percent(row[0]), row[1]) << row[0];
}

TEST(StreamHelpers, ChannelMaskCoversTheDeviceOnly) {
  char mask[68];
  stream_fill_channel_mask(mask, 3, 8);
  EXPECT_EQ(std::string(mask, 9), std::string("00010000") + '\0');
  for (char ch : std::string(mask + 8, 60)) EXPECT_EQ(ch, '\0');
  stream_fill_channel_mask(mask, 63, 200);
  EXPECT_EQ(std::string(mask, 64), std::string(63, '0') + "1");
  EXPECT_EQ(mask[64], '\0');
}
