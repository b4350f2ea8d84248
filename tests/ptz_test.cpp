// PTZ control end to end: the exact records each page sends to the core,
// the stored port settings, speeds and tours, the camera parameter relay,
// the replies read back from the core stand-in, and the requests refused
// before anything is sent.
#include <json-c/json.h>

#include <string>
#include <vector>

#include "core/camera_common_param.h"
#include "core/cgi_json.h"
#include "event_e2e.h"

namespace {

// The core's view of the PTZ records, written out independently.
struct Cmd {
  int32_t ch, action, preset, pan, tilt, zoom, focus, zero;
  char name[32];
  int32_t fisheye, stream;
};
static_assert(sizeof(Cmd) == 72, "");
struct TourCmd {
  int32_t ch, tourid;
  uint8_t zero[16];
  int32_t fisheye, stream;
};
static_assert(sizeof(TourCmd) == 32, "");
struct Point {
  int32_t preset, time, speed;
};
struct TourSet {
  int32_t ch, tourid, rowsize;
  Point p[48];
};
static_assert(sizeof(TourSet) == 588, "");
struct FishTourSet {
  int32_t ch, stream, tour;
  struct {
    int32_t preset[48], time[48], speed[48];
  } t[8];
};
static_assert(sizeof(FishTourSet) == 4620, "");
struct Tours {
  Point t[8][48];
};
struct Port {
  int32_t camId, baud, data, stop, parity, protocol, address, reserved, connect;
};
struct Speed {
  int32_t camId, pan, tilt, zoom, focus;
};
struct Basic {
  int32_t f[17];
  char mask[68];
};
static_assert(sizeof(Basic) == 136, "");

class PtzE2e : public EventE2e {
 protected:
  static std::string ptz_log(int param, int channel) {
    return line_of(3485, expected_log_record(206, param, channel));
  }
  static std::string speed_line(int ch, const char* key, const std::string& value) {
    return line_of(3226, make_common_param(ch, "", "vsetting.html", key, value));
  }
  static Cmd cmd(int32_t ch, int32_t action, int32_t preset = 0) {
    Cmd c{};
    c.ch = ch;
    c.action = action;
    c.preset = preset;
    return c;
  }
  std::string info(int ch) { return json_body(send("/5005", R"({"chn":)" + std::to_string(ch) + "}")); }
  // The points of tour t of the information reply as [[preset, speed, timeout] ...].
  std::string tour_of(const std::string& reply, int t) {
    JsonPtr o(json_tokener_parse(reply.c_str()));
    json_object* tour = json_object_array_get_idx(json_object_object_get(o.get(), "TOUR"), t);
    return tour ? json_object_to_json_string_ext(tour, JSON_C_TO_STRING_PLAIN) : "";
  }
};

TEST_F(PtzE2e, CommandsSendTheirRecordsAndTheCameraSpeed) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/5000", R"({"channelId":2,"action":21,"panSpeed":5,"tiltSpeed":3,"isAutoFocus":1})", &j).out,
            kTextOk);
  Cmd c = cmd(2, 21);
  c.pan = 5;
  c.tilt = 3;
  Cmd af = c;
  af.action = 12;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1251, c), line_of(1251, af), speed_line(2, "ptzspeed", "4"),
                                         ptz_log(900, 3)}));

  // Without auto focus one command; a speed of 0 sends the camera 1.
  EXPECT_EQ(send("/5000", R"({"channelId":"1","action":21,"fisheyeType":1,"streamId":2})", &j).out, kTextOk);
  Cmd one = cmd(1, 21);
  one.fisheye = 1;
  one.stream = 2;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1251, one), speed_line(1, "ptzspeed", "1"), ptz_log(900, 2)}));

  struct Row {
    const char* name;
    const char* body;
    std::vector<std::string> journal;
  } rows[] = {
      {"/5008", R"({"chn":4,"Speed":1})", {speed_line(4, "ptzspeed", "0"), ptz_log(904, 5)}},
      {"/5008", R"({"chn":4,"Speed":0})", {speed_line(4, "ptzspeed", "1"), ptz_log(904, 5)}},
      {"/5008", R"({"chn":4,"Speed":8})", {speed_line(4, "ptzspeed", "7"), ptz_log(904, 5)}},
      {"/5006", R"({"channelId":3,"action":9})", {line(1266, i32(3) + i32(9)), ptz_log(900, 4)}},
      {"/5007", R"({"camId":3,"Zoom":-1,"ZoomSpeed":6})", {line(1267, i32(3) + i32(-1) + i32(6)), ptz_log(900, 4)}},
      {"/5002", R"({"chn":5,"tourid":2,"fisheyeType":1,"streamId":1})",
       {line_of(1260, TourCmd{5, 2, {}, 1, 1}), ptz_log(900, 6)}},
      {"/5003", R"({"chn":5,"tourid":8})", {line_of(1261, TourCmd{5, 8, {}, 0, 0}), ptz_log(900, 6)}},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(send(r.name, r.body, &j).out, kTextOk) << r.name << r.body;
    EXPECT_EQ(j, r.journal) << r.name << r.body;
  }
  // Pattern actions 0..4 and their command codes; others send code 0.
  const int codes[][2] = {{0, 26}, {1, 21}, {2, 25}, {3, 27}, {4, 40}, {5, 0}, {-1, 0}};
  for (const auto& pc : codes) {
    EXPECT_EQ(send("/5004", R"({"chn":6,"tourid":3,"action":)" + std::to_string(pc[0]) + "}", &j).out, kTextOk);
    EXPECT_EQ(j, (std::vector<std::string>{line_of(1254, cmd(6, pc[1], 3)), ptz_log(904, 7)})) << pc[0];
  }
}

TEST_F(PtzE2e, CommandsOutsideTheModelSendNothing) {
  env_.start_sim();
  const char* cases[][2] = {
      {"/5000", R"({"channelId":32,"action":1})"},  // 32 cameras configured
      {"/5000", R"({"channelId":-1,"action":1})"},
      {"/5000", R"({"channelId":"x","action":1})"},
      {"/5000", R"({"action":1})"},
      {"/5000", R"({"channelId":1,"action":-1})"},
      {"/5000", R"({"channelId":1})"},
      {"/5000", R"({"channelId":1,"action":1,"panSpeed":"x"})"},
      {"/5001", R"({"channelId":1,"action":22,"presetId":301,"panSpeed":1,"tiltSpeed":1,"zoomSpeed":1,"focusSpeed":1})"},
      {"/5001", R"({"channelId":1,"action":22,"presetId":1,"panSpeed":-1,"tiltSpeed":1,"zoomSpeed":1,"focusSpeed":1})"},
      {"/5001", R"({"channelId":1,"action":22,"presetId":1,"panSpeed":1,"tiltSpeed":1,"zoomSpeed":1})"},
      {"/5002", R"({"chn":1,"tourid":0})"},
      {"/5003", R"({"chn":1,"tourid":9})"},
      {"/5004", R"({"chn":40,"tourid":1,"action":1})"},
      {"/5004", R"({"chn":1,"tourid":0,"action":1})"},  // 4 patterns, numbered from 1
      {"/5004", R"({"chn":1,"tourid":5,"action":1})"},
      {"/5004", R"({"chn":1,"action":1})"},
      {"/5001", R"({"channelId":1,"action":22,"presetId":1,"name":[1],"panSpeed":1,"tiltSpeed":1,"zoomSpeed":1,"focusSpeed":1})"},
      {"/5006", R"({"channelId":64,"action":1})"},
      {"/5007", R"({"camId":"x","Zoom":1})"},
      {"/5008", R"({"chn":1,"Speed":"fast"})"},
      {"/5005", R"({"chn":99})"},
      {"/5000", "not json"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send(c[0], c[1], &j).out, "") << c[0] << c[1];
    EXPECT_TRUE(j.empty()) << c[0] << c[1];
  }
}

TEST_F(PtzE2e, PresetsAreNamedAndReadBackFromTheCore) {
  env_.start_sim();
  const std::string base = R"("panSpeed":1,"tiltSpeed":1,"zoomSpeed":1,"focusSpeed":1)";
  std::vector<std::string> j;
  EXPECT_EQ(send("/5001", R"({"channelId":2,"action":22,"presetId":7,"name":"Gate",)" + base + "}", &j).out, kTextOk);
  Cmd c = cmd(2, 22, 7);
  c.pan = c.tilt = c.zoom = c.focus = 1;
  std::strcpy(c.name, "Gate");
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1253, c), ptz_log(904, 3)}));

  // A fisheye preset name also goes to the camera; names are cut to the record.
  const std::string long_name(40, 'n');
  EXPECT_EQ(send("/5001", R"({"channelId":2,"action":22,"presetId":8,"fisheyeType":1,"streamId":1,"name":")" +
                              long_name + R"(",)" + base + "}",
                 &j)
                .out,
            kTextOk);
  Cmd f = cmd(2, 22, 8);
  f.pan = f.tilt = f.zoom = f.focus = 1;
  f.fisheye = 1;
  f.stream = 1;
  std::memcpy(f.name, long_name.data(), 30);
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1253, f),
                                         speed_line(2, "ipncptz=setfishpreset", "1:8:" + std::string(31, 'n')),
                                         ptz_log(904, 3)}));
  // Other actions carry no name.
  EXPECT_EQ(send("/5001", R"({"channelId":2,"action":23,"presetId":1,"name":"x",)" + base + "}", &j).out, kTextOk);
  Cmd clear = cmd(2, 23, 1);
  clear.pan = clear.tilt = clear.zoom = clear.focus = 1;
  EXPECT_EQ(j.front(), line_of(1253, clear));

  const std::string reply = info(2);
  EXPECT_EQ(reply.rfind(R"({"status":"OK","PRESET":[{"enable":0,"name":""},{"enable":1,"name":"Preset 2"},)", 0), 0u)
      << reply.substr(0, 200);
  EXPECT_NE(reply.find(R"({"enable":1,"name":"Gate"},{"enable":1,"name":"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"},)"),
            std::string::npos);
  EXPECT_NE(reply.find(R"("TOUR":[[],[],[],[],[],[],[],[]],"PATTERN":[{"enable":1},{"enable":0},{"enable":0},)"
                       R"({"enable":0}],"autoscan_status":[0,0,0,0,0],"tour_status":[[0,0,0,0,0,0,0,0],)"),
            std::string::npos)
      << reply.substr(reply.size() - 300);
  JsonPtr o(json_tokener_parse(reply.c_str()));
  EXPECT_EQ(json_object_array_length(json_object_object_get(o.get(), "PRESET")), 300u);
  EXPECT_EQ(json_object_array_length(json_object_object_get(o.get(), "tour_status")), 5u);
}

TEST_F(PtzE2e, InformationRepliesFromTheCoreAndWithoutOne) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(json_body(send("/5005", R"({"chn":3,"fisheyeType":1,"streamId":2})", &j)).rfind(R"({"status":"OK",)", 0),
            0u);
  EXPECT_EQ(j, (std::vector<std::string>{line(1268, i32(3) + i32(2))}));
  EXPECT_EQ(json_body(send("/5005", R"({"chn":3})", &j)).rfind(R"({"status":"OK",)", 0), 0u);
  EXPECT_EQ(j, (std::vector<std::string>{line(1265, i32(3))}));
  env_.stop_sim();

  struct Case {
    const char* script;
    const char* body;
    const char* reply;
  } cases[] = {
      {"1265 reply\n", R"({"chn":3})", "Content-type: application/json\r\n\r\n{\"status\":\"Error\"}"},
      {"1265 reply hex=01000000\n", R"({"chn":3})", "Content-type: application/json\r\n\r\n{\"status\":\"Error\"}"},
      {"1268 reply\n", R"({"chn":3,"fisheyeType":1})", "Content-type: application/json\r\n\r\n{\"status\":\"Error\"}"},
      {"1265 none\n", R"({"chn":3})", kJsonError},
  };
  for (const Case& c : cases) {
    env_.start_sim(c.script);
    EXPECT_EQ(send("/5005", c.body, nullptr, "200").out, c.reply) << c.script;
    env_.stop_sim();
  }
}

TEST_F(PtzE2e, ToursAreStoredExactlyAsSentAndReadBack) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6055",
                 R"({"chn":4,"tourid":2,"rowsize":3,"path":[{"preset":1,"speed":5,"time":10},)"
                 R"({"preset":2,"speed":6,"time":11},{"preset":7,"speed":7,"time":12}]})",
                 &j)
                .out,
            kTextOk);
  TourSet s{};
  s.ch = 4;
  s.tourid = 2;
  s.rowsize = 3;
  s.p[0] = {1, 10, 5};
  s.p[1] = {2, 11, 6};
  s.p[2] = {7, 12, 7};
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1264, s), ptz_log(904, 5)}));
  Tours t = read<Tours>("ptz_tour", 4);
  EXPECT_EQ(t.t[1][2].preset, 7);
  EXPECT_EQ(t.t[1][2].speed, 7);
  EXPECT_EQ(tour_of(info(4), 1), R"([{"preset_id":1,"speed":5,"timeout":10},{"preset_id":2,"speed":6,"timeout":11},)"
                                 R"({"preset_id":7,"speed":7,"timeout":12}])");

  // A shorter tour leaves no stale points; a rowsize past the path takes
  // only the points sent.
  EXPECT_EQ(send("/6055", R"({"chn":4,"tourid":2,"rowsize":5,"path":[{"preset":3,"speed":1,"time":20}]})", &j).out,
            kTextOk);
  TourSet shorter{};
  shorter.ch = 4;
  shorter.tourid = 2;
  shorter.rowsize = 1;
  shorter.p[0] = {3, 20, 1};
  EXPECT_EQ(j.front(), line_of(1264, shorter));
  t = read<Tours>("ptz_tour", 4);
  EXPECT_EQ(t.t[1][0].preset, 3);
  EXPECT_EQ(t.t[1][1].preset, 0);
  EXPECT_EQ(t.t[1][2].time, 0);
  EXPECT_EQ(tour_of(info(4), 1), R"([{"preset_id":3,"speed":1,"timeout":20}])");

  // Clearing drops the presets and keeps times and speeds.
  EXPECT_EQ(send("/6057", R"({"chn":4,"tourid":2,"fisheyeType":0,"streamId":1})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1257, TourCmd{4, 2, {}, 0, 1}), ptz_log(904, 5)}));
  t = read<Tours>("ptz_tour", 4);
  EXPECT_EQ(t.t[1][0].preset, 0);
  EXPECT_EQ(t.t[1][0].time, 20);
  EXPECT_EQ(t.t[1][0].speed, 1);
  EXPECT_EQ(tour_of(info(4), 1), "[]");

  // Fisheye tours go to the core only.
  EXPECT_EQ(send("/6056", R"({"chn":4,"tourid":8,"streamId":1,"rowsize":2,"path":[{"preset":4,"speed":2,"time":9},)"
                          R"({"preset":5,"speed":3,"time":8}]})",
                 &j)
                .out,
            kTextOk);
  auto fish = std::make_unique<FishTourSet>();
  fish->ch = 4;
  fish->stream = 1;
  fish->tour = 7;
  fish->t[7].preset[0] = 4;
  fish->t[7].speed[0] = 2;
  fish->t[7].time[0] = 9;
  fish->t[7].preset[1] = 5;
  fish->t[7].speed[1] = 3;
  fish->t[7].time[1] = 8;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1269, *fish), ptz_log(904, 5)}));
  EXPECT_EQ(read<Tours>("ptz_tour", 4).t[7][0].preset, 0);
  EXPECT_EQ(tour_of(info(4), 7), R"([{"preset_id":4,"speed":2,"timeout":9},{"preset_id":5,"speed":3,"timeout":8}])");
}

TEST_F(PtzE2e, TourRequestsOutsideTheModelStoreNothing) {
  env_.start_sim();
  const std::string path = R"("path":[{"preset":1,"speed":1,"time":1}])";
  const std::string cases[][2] = {
      {"/6055", R"({"chn":1,"tourid":0,"rowsize":1,)" + path + "}"},
      {"/6055", R"({"chn":1,"tourid":9,"rowsize":1,)" + path + "}"},
      {"/6055", R"({"chn":1,"tourid":1,"rowsize":49,)" + path + "}"},
      {"/6055", R"({"chn":1,"tourid":1,"rowsize":-1,)" + path + "}"},
      {"/6055", R"({"chn":1,"tourid":1,)" + path + "}"},
      {"/6055", R"({"chn":1,"tourid":1,"rowsize":1,"path":[{"preset":"x"}]})"},
      {"/6055", R"({"chn":1,"tourid":1,"rowsize":1,"path":[3]})"},
      {"/6055", R"({"chn":64,"tourid":1,"rowsize":1,)" + path + "}"},
      {"/6056", R"({"chn":1,"tourid":9,"rowsize":1,)" + path + "}"},
      {"/6056", R"({"chn":1,"tourid":1,"rowsize":100,)" + path + "}"},
      {"/6057", R"({"chn":1,"tourid":0})"},
      {"/6057", R"({"chn":1,"tourid":"x"})"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send(c[0], c[1], &j).out, "") << c[0] << c[1];
    EXPECT_TRUE(j.empty()) << c[0] << c[1];
  }
  EXPECT_EQ(count("ptz_tour"), 0);
}

const char kPort[] =
    R"("connectType":1,"baudRate":9600,"dataBits":8,"stopBits":1,"parityType":2,"protocol":13,"address":5)";

TEST_F(PtzE2e, PortSettingsGoToEachListedChannelOnceAndReadBack) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6051", std::string(R"({"cnt":5,"chnid":[1,70,1,"x",10],)") + kPort + "}", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1252, i32(1)), ptz_log(904, 2), line(1252, i32(10)),
                                         ptz_log(904, 11)}));
  EXPECT_EQ(count("ptz_port"), 2);
  const Port p = read<Port>("ptz_port", 10);
  EXPECT_EQ(p.camId, 10);
  EXPECT_EQ(p.baud, 9600);
  EXPECT_EQ(p.connect, 1);
  EXPECT_EQ(p.protocol, 13);

  // Channel 10 reads back (the getter and the setter take the same channels).
  const std::string body = json_body(send("/6050", R"({"chnid":10})"));
  EXPECT_EQ(body, R"({"camId":10,"connectType":1,"baudRate":9600,"dataBits":8,"stopBits":1,"parityType":2,)"
                  R"("protocol":13,"address":5})");
  EXPECT_EQ(send("/6050", R"({"chnid":32})").out, kJsonError);
  EXPECT_EQ(send("/6050", R"({"chnid":"x"})").out, kJsonError);

  // Posted back with its channel it changes nothing.
  JsonPtr o(json_tokener_parse(body.c_str()));
  json_object_object_add(o.get(), "cnt", json_object_new_int(1));
  json_object_object_add(o.get(), "chnid", json_tokener_parse("[10]"));
  const Port before = read<Port>("ptz_port", 10);
  EXPECT_EQ(send("/6051", json_object_to_json_string(o.get())).out, kTextOk);
  const Port after = read<Port>("ptz_port", 10);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);

  const std::string bad[] = {
      R"({"chnid":[1],"connectType":0,"baudRate":1,"dataBits":8,"stopBits":1,"parityType":0,"protocol":0,"address":0})",
      R"({"cnt":1,"connectType":0,"baudRate":1,"dataBits":8,"stopBits":1,"parityType":0,"protocol":0,"address":0})",
      R"({"cnt":1,"chnid":[2],"connectType":2,"baudRate":1,"dataBits":8,"stopBits":1,"parityType":0,"protocol":0,"address":0})",
      R"({"cnt":1,"chnid":[2],"connectType":0,"baudRate":-1,"dataBits":8,"stopBits":1,"parityType":0,"protocol":0,"address":0})",
      R"({"cnt":1,"chnid":[2],"connectType":0,"baudRate":1,"dataBits":4,"stopBits":1,"parityType":0,"protocol":0,"address":0})",
      R"({"cnt":1,"chnid":[2],"connectType":0,"baudRate":1,"dataBits":9,"stopBits":1,"parityType":0,"protocol":0,"address":0})",
      R"({"cnt":1,"chnid":[2],"connectType":0,"baudRate":1,"dataBits":8,"stopBits":-1,"parityType":0,"protocol":0,"address":0})",
      R"({"cnt":1,"chnid":[2],"connectType":0,"baudRate":1,"dataBits":8,"stopBits":1,"parityType":3,"protocol":0,"address":0})",
      R"({"cnt":1,"chnid":[2],"connectType":0,"baudRate":1,"dataBits":8,"stopBits":1,"parityType":0,"protocol":14,"address":0})",
      R"({"cnt":1,"chnid":[2],"connectType":0,"baudRate":1,"dataBits":8,"stopBits":1,"parityType":0,"protocol":0,"address":-1})",
      R"({"cnt":1,"chnid":[2],"connectType":0,"baudRate":1,"dataBits":8,"stopBits":1,"parityType":0,"protocol":0})",
  };
  for (const std::string& b : bad) {
    EXPECT_EQ(send("/6051", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  EXPECT_EQ(count("ptz_port"), 2);
}

TEST_F(PtzE2e, SpeedsAreStoredAndReadBack) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6054", R"({"camId":3,"pan_speed":4,"tilt_speed":5,"zoom_speed":6,"foucs_speed":7})", &j).out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{ptz_log(904, 4)}));
  const Speed s = read<Speed>("ptz_speed", 3);
  EXPECT_EQ(s.camId, 3);
  EXPECT_EQ(s.focus, 7);
  const std::string body = json_body(send("/6053", R"({"camId":3})"));
  EXPECT_EQ(body, R"({"pan_speed":4,"tilt_speed":5,"zoom_speed":6,"foucs_speed":7})");
  // An absent key keeps its speed; the reply posted back changes nothing.
  EXPECT_EQ(send("/6054", R"({"camId":3,"pan_speed":9})").out, kTextOk);
  EXPECT_EQ(read<Speed>("ptz_speed", 3).tilt, 5);
  EXPECT_EQ(send("/6054", R"({"camId":3,"pan_speed":4})").out, kTextOk);
  JsonPtr o(json_tokener_parse(body.c_str()));
  json_object_object_add(o.get(), "camId", json_object_new_int(3));
  EXPECT_EQ(send("/6054", json_object_to_json_string(o.get())).out, kTextOk);
  const Speed after = read<Speed>("ptz_speed", 3);
  EXPECT_EQ(std::memcmp(&s, &after, sizeof s), 0);

  for (const char* b : {R"({"camId":3,"pan_speed":"x"})", R"({"camId":40,"pan_speed":1})", R"({"pan_speed":1})"}) {
    EXPECT_EQ(send("/6054", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  EXPECT_EQ(read<Speed>("ptz_speed", 3).pan, 4);
  EXPECT_EQ(send("/6053", R"({"camId":-1})").out, "");
}

TEST_F(PtzE2e, CameraSideQueriesAndSettings) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(json_body(send("/5009", R"({"chnid":3,"ptzCmd":17})", &j)), R"({"res":1})");
  EXPECT_EQ(j, (std::vector<std::string>{line(3361, i32(3) + i32(17)), ptz_log(904, 4)}));
  EXPECT_EQ(json_body(send("/5010", R"({"chnid":4})", &j)), R"({"chnid":4,"status":1})");
  EXPECT_EQ(j, (std::vector<std::string>{line(3363, i32(4))}));
  for (const char* name : {"/5009", "/5010", "/5011"}) {
    for (const char* b : {R"({"chnid":64,"chnId":64})", R"({"chnid":"x","chnId":"x"})", "{"}) {
      EXPECT_EQ(send(name, b, &j).out, kJsonError) << name << b;
      EXPECT_TRUE(j.empty()) << name << b;
    }
  }

  // The basic settings read back, posted back unchanged, send the same
  // values (status 0) and read back the same.
  const std::string basic = json_body(send("/5011", R"({"chnId":6})", &j));
  EXPECT_EQ(basic, R"({"status":0,"chnId":6,"zoomStatus":1,"panTiltStatus":0,"presetStatus":0,"patrolStatus":0,)"
                   R"("patternStatus":0,"autoScanStatus":0,"presetFreezing":0,"presetSpeed":5,"manualSpeed":4,)"
                   R"("patrolRecovering":0,"patrolRecoveryTime":0,"focusMode":0,"minFocusDistance":0,)"
                   R"("resumeTime":30,"fanWorkingMode":0})");
  EXPECT_EQ(j, (std::vector<std::string>{line(1270, i32(6))}));
  EXPECT_EQ(json_body(send("/5012", basic, &j)), R"({"status":0})");
  Basic b{};
  b.f[1] = 6;
  b.f[2] = 1;
  b.f[9] = 5;
  b.f[10] = 4;
  b.f[15] = 30;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1271, b)}));
  EXPECT_EQ(json_body(send("/5011", R"({"chnId":6})")), basic);

  // New settings applied to channel 6 and, through the mask, channel 7.
  const std::string mask = "0000000" + std::string(1, '1') + std::string(56, '0');
  EXPECT_EQ(json_body(send("/5012", R"({"status":3,"chnId":6,"presetSpeed":8,"channelMask":")" + mask + R"("})", &j)),
            R"({"status":0})");
  Basic m{};
  m.f[1] = 6;
  m.f[9] = 8;
  std::memcpy(m.mask, mask.data(), 64);
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1271, m)}));
  EXPECT_NE(json_body(send("/5011", R"({"chnId":7})")).find(R"("chnId":7,"zoomStatus":0,)"), std::string::npos);

  EXPECT_EQ(send("/6052", R"({"camId":2})", &j).out, "Content-type: text/plain\r\n\r\n0");
  EXPECT_EQ(j, (std::vector<std::string>{line(1262, i32(2))}));
}

TEST_F(PtzE2e, CoreAnswersDecideTheReply) {
  struct Case {
    std::string script;
    const char* name;
    const char* body;
    std::string reply;
  } cases[] = {
      {"1262 reply hex=ffffffff\n", "/6052", R"({"camId":2})", "Content-type: text/plain\r\n\r\n-1"},
      {"1262 none\n", "/6052", R"({"camId":2})", kTextError},
      {"1262 reply\n", "/6052", R"({"camId":2})", kTextError},
      // The camera refused its new speed: not "OK".
      {"3226 reply hex=ffffffff\n", "/5008", R"({"chn":1,"Speed":2})", "Content-type: text/plain\r\n\r\nERROR"},
      {"3226 none\n", "/5008", R"({"chn":1,"Speed":2})", kTextError},
      {"3226 none\n", "/5000", R"({"channelId":1,"action":3})", kTextError},
      {"3226 none\n", "/5001",
       R"({"channelId":1,"action":22,"presetId":1,"fisheyeType":1,"panSpeed":1,"tiltSpeed":1,"zoomSpeed":1,"focusSpeed":1})",
       kTextError},
      {"1270 reply hex=01000000\n", "/5011", R"({"chnId":1})", kJsonError},
      {"1270 none\n", "/5011", R"({"chnId":1})", kJsonError},
      {"1271 reply hex=05000000\n", "/5012", R"({"chnId":1})", std::string(kJsonHead) + R"({"status":5})"},
      {"1271 none\n", "/5012", R"({"chnId":1})", kJsonError},
      {"3361 reply\n", "/5009", R"({"chnid":1,"ptzCmd":1})", kJsonError},
      {"3363 reply hex=01000000\n", "/5010", R"({"chnid":1})", kJsonError},
  };
  for (const Case& c : cases) {
    env_.start_sim(c.script);
    EXPECT_EQ(send(c.name, c.body, nullptr, "200").out, c.reply) << c.script;
    env_.stop_sim();
  }
}

}  // namespace
