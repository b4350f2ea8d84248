// Status pages end to end: the request each getter sends the core, the JSON
// made from the core's records (planted byte for byte by the test) and the
// store's names, empty and short replies, getters whose reply never comes,
// and the packet capture with stand-ins for tcpdump, killall and the
// capture watcher (tar is real: the download is listed with it).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/camera_record.h"
#include "core/cgi_json.h"
#include "core/event_records.h"
#include "core/osd_record.h"
#include "core/strutil.h"
#include "event_e2e.h"

namespace {

class StatusE2e : public EventE2e {
 protected:
  // Runs a getter against a scripted core; the reply and the journal.
  std::string ask(const std::string& script, const std::string& name, std::vector<std::string>* j = nullptr) {
    env_.start_sim(script);
    std::string out = send(name, "", j).out;
    env_.stop_sim();
    return out;
  }
  static std::string hex_of(const std::string& bytes) { return to_hex(bytes.data(), bytes.size()); }
  static void put(std::string* b, size_t at, const std::string& text) { b->replace(at, text.size(), text); }
  static void put32(std::string* b, size_t at, int32_t v) { b->replace(at, 4, reinterpret_cast<char*>(&v), 4); }
  CgiResult send_sim(const std::string& script, const std::string& name) {
    env_.start_sim(script);
    CgiResult r = send(name, "");
    env_.stop_sim();
    return r;
  }
};

// The channel element of "/8002" for a channel the core sent no record for.
std::string no_stream_element(int c, const std::string& name = "", int enable = 0, const std::string& ip = "--") {
  const std::string none = R"({"res":"--","framerate":"--","bitrate":"--","connection":"--"})";
  return R"({"id":)" + std::to_string(c) + R"(,"name":")" + name + R"(","enable":)" + std::to_string(enable) +
         R"(,"ipAddr":")" + ip + R"(","recordOn":"--","alarmOn":"--","main":)" + none + R"(,"sub":)" + none + "}";
}

std::string no_stream_list(int n) {
  std::string out = R"({"IPC":[)";
  for (int c = 0; c < n; ++c) out += (c ? "," : "") + no_stream_element(c);
  return out + "]}";
}

// One element of a parsed JSON reply as the handler writes it.
std::string element_text(const std::string& body, const char* list, int index, int* size = nullptr) {
  JsonPtr root(json_tokener_parse(body.c_str()));
  json_object* arr = root ? json_array_member(root.get(), list) : nullptr;
  if (size) *size = arr ? static_cast<int>(json_object_array_length(arr)) : -1;
  if (!arr || index >= static_cast<int>(json_object_array_length(arr))) return "";
  return json_object_to_json_string_ext(json_object_array_get_idx(arr, static_cast<size_t>(index)),
                                        JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE);
}

TEST_F(StatusE2e, InterfaceStatesAndTrafficListEveryWholeRecord) {
  std::string a(320, '\0');
  put(&a, 0, "eth0");
  for (int k = 0; k < 6; ++k) put32(&a, 12 + 4 * static_cast<size_t>(k), k + 1);
  put(&a, 36, "10.0.0.2");
  put(&a, 60, "aa:bb");
  put(&a, 84, "8.8.8.8");
  put(&a, 108, "8.8.4.4");
  put(&a, 132, "10.0.0.1");
  put(&a, 156, "255.0.0.0");
  put32(&a, 180, 1500);
  a[184] = 2;
  put(&a, 185, "fe80::1");
  put32(&a, 252, 64);
  put(&a, 256, "fe80::fe");
  std::string b(320, 'x');  // a name filling its field is cut at the field's end
  std::string two = a + b;
  std::vector<std::string> j;
  const std::string out = ask("3301 reply hex=" + hex_of(two) + "\n", "/8000", &j);
  EXPECT_EQ(j, (std::vector<std::string>{"3301 "}));
  const std::string first =
      R"({"ifname":"eth0","id":1,"state":2,"speedMode":3,"duplex":4,"enable":5,"dhcpEnable":6,)"
      R"("ipAddr":"10.0.0.2","MAC":"aa:bb","primaryDNS":"8.8.8.8","secondDNS":"8.8.4.4","gateway":"10.0.0.1",)"
      R"("netmask":"255.0.0.0","mtu":1500,"ip6mode":2,"ip6address":"fe80::1","ip6prefix":64,"ip6gateway":"fe80::fe"})";
  ASSERT_EQ(out.compare(0, std::string(kJsonHead).size() + 10 + first.size(),
                        std::string(kJsonHead) + R"({"netif":[)" + first),
            0)
      << out;
  EXPECT_NE(out.find(R"("ifname":"xxxxxxxxxxxx","id":2021161080)"), std::string::npos) << out;

  std::string s(24, '\0');
  put(&s, 0, "eth1");
  put32(&s, 12, 300);
  put32(&s, 16, 200);
  put32(&s, 20, 1);
  // A trailing partial record is not an element.
  EXPECT_EQ(ask("3302 reply hex=" + hex_of(s + "abc") + "\n", "/8001", &j),
            std::string(kJsonHead) + R"({"netif":[{"id":1,"ifname":"eth1","RxSpeed":300,"TxSpeed":200}]})");
  EXPECT_EQ(j, (std::vector<std::string>{"3302 "}));
}

TEST_F(StatusE2e, UsageSupportAndUsersFromTheirRecords) {
  std::string u(12, '\0');
  put32(&u, 0, 4096);
  put32(&u, 4, 1000);
  put32(&u, 8, 3096);
  std::vector<std::string> j;
  EXPECT_EQ(ask("3306 reply hex=" + hex_of(u) + "\n", "/8008", &j),
            std::string(kJsonHead) + R"({"total":4096,"free":1000,"used":3096})");
  EXPECT_EQ(j, (std::vector<std::string>{"3306 "}));

  std::string sup(2816, '\0');
  const int32_t flags[][3] = {{0, 1, 1}, {1, 1, 2}, {2, 0, 3}, {33, 1, -1}, {63, 1, 2}, {5, 2, 1}};
  for (const auto& f : flags) {
    put32(&sup, static_cast<size_t>(f[0]) * 44 + 4, f[1]);
    put32(&sup, static_cast<size_t>(f[0]) * 44 + 8, f[2]);
  }
  std::string support(64, '0'), type(64, '0');
  support[0] = support[1] = support[33] = support[63] = '1';
  type[0] = '1';
  type[1] = type[63] = '2';
  type[5] = '1';
  EXPECT_EQ(ask("3263 reply hex=" + hex_of(sup) + "\n", "/8009", &j),
            std::string(kJsonHead) + R"({"support":")" + support + R"(","type":")" + type + R"("})");
  EXPECT_EQ(j, (std::vector<std::string>{"3263 "}));

  std::string user(152, '\0');
  put(&user, 0, "admin");
  put32(&user, 64, 2);
  put(&user, 68, "192.168.0.9");
  put(&user, 132, "2026-01-02 03:04:05");
  std::string other = user;
  put(&other, 0, "guest");
  EXPECT_EQ(ask("1719 reply hex=" + hex_of(user + other) + "\n", "/8011", &j),
            std::string(kJsonHead) +
                R"([{"userName":"admin","userLevel":2,"ipaddr":"192.168.0.9","loginTime":"2026-01-02 03:04:05"},)"
                R"({"userName":"guest","userLevel":2,"ipaddr":"192.168.0.9","loginTime":"2026-01-02 03:04:05"}])");
  EXPECT_EQ(j, (std::vector<std::string>{"1719 "}));
}

TEST_F(StatusE2e, EmptyShortAndMissingReplies) {
  struct Case {
    std::string script;
    const char* name;
    std::string reply;
  } cases[] = {
      {"3301 reply\n", "/8000", std::string(kJsonHead) + R"({"netif":[]})"},
      {"3302 reply\n", "/8001", std::string(kJsonHead) + R"({"netif":[]})"},
      {"1719 reply\n", "/8011", std::string(kJsonHead) + "[]"},
      {"3306 reply hex=0100000002000000\n", "/8008", kJsonError},
      {"3263 reply hex=01000000\n", "/8009", kJsonError},
      {"3301 none\n", "/8000", kJsonError},
      {"3302 none\n", "/8001", kJsonError},
      {"3306 none\n", "/8008", kJsonError},
      {"3263 none\n", "/8009", kJsonError},
      {"1719 none\n", "/8011", kJsonError},
      {"3300 reply\n", "/8002", std::string(kJsonHead) + no_stream_list(32)},
      {"3300 reply hex=0100\n", "/8002", std::string(kJsonHead) + no_stream_list(32)},
      {"3300 none\n", "/8002", kJsonError},
      {"3305 reply\n", "/8003", kJsonError},
      {"3305 reply hex=" + std::string(2 * 68295, '0') + "\n", "/8003", kJsonError},
      {"3305 none\n", "/8003", kJsonError},
  };
  for (const Case& c : cases) {
    env_.start_sim(c.script);
    EXPECT_EQ(send(c.name, "", nullptr, "200").out, c.reply) << c.script;
    env_.stop_sim();
  }
}

TEST_F(StatusE2e, SimulatorDefaultsAndThePlaceholder) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/8008", "", &j).out, std::string(kJsonHead) + R"({"total":1024,"free":768,"used":256})");
  EXPECT_NE(send("/8000", "").out.find(R"("ifname":"eth0")"), std::string::npos);
  // Channel 0 streams, channel 2 has no record; motion on channel 1, recorder
  // input 0 and output 1 active.
  const std::string streams = json_body(send("/8002", ""));
  EXPECT_NE(element_text(streams, "IPC", 0).find(R"("main":{"res":{"width":1920,"height":1080},"framerate":25)"),
            std::string::npos)
      << streams;
  EXPECT_EQ(element_text(streams, "IPC", 2), no_stream_element(2));
  const std::string alarms = json_body(send("/8003", ""));
  EXPECT_NE(element_text(alarms, "cameras", 1).find(R"("motionOn":1)"), std::string::npos) << alarms;
  EXPECT_EQ(element_text(alarms, "alarmIn", 0), R"({"id":0,"name":"","type":0,"state":1})");
  EXPECT_EQ(element_text(alarms, "alarmOut", 1), R"({"id":1,"name":"","type":0,"duration":0,"state":1})");
  // The placeholder answers nothing and asks the core nothing.
  const CgiResult r = send("/8004", "", &j);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(j.empty());
  // Disk groups of an empty store: 16 empty channel texts, 36 absent disks,
  // the default camera count and group mode; the core is not asked.
  std::string groups = R"({"channel":[)";
  for (int g = 0; g < 16; ++g) groups += g ? R"(,"")" : R"("")";
  groups += R"(],"disk":[)";
  for (int d = 0; d < 36; ++d) groups += d ? ",0" : "0";
  groups += R"(],"max_chan":32,"group_enable":0})";
  EXPECT_EQ(send("/8010", "", &j).out, std::string(kJsonHead) + groups);
  EXPECT_TRUE(j.empty());
}

TEST_F(StatusE2e, StoppingACaptureEndsTcpdumpOnly) {
  env_.add_stub("killall");
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/8006", "", &j).out, kTextOk);
  EXPECT_TRUE(j.empty());
  EXPECT_NE(env_.stub_calls("killall").find("tcpdump"), std::string::npos) << env_.stub_calls("killall");
}

TEST_F(StatusE2e, ChannelStatusJoinsStreamRecordsToTheConfiguredChannels) {
  set_param_int(ZRDB_PATH, "max_cameras", 4);
  OsdRecord osd{};
  copy_field(osd.camName, "Front");
  write_osd(ZRDB_PATH, &osd, 0);
  copy_field(osd.camName, "Yard");
  write_osd(ZRDB_PATH, &osd, 2);
  CameraRecord cam{};
  cam.enable = 1;
  copy_field(cam.ipAddr, "192.168.1.64");
  write_camera(ZRDB_PATH, &cam, 0);
  cam.enable = 0;
  copy_field(cam.ipAddr, "10.0.0.9");
  write_camera(ZRDB_PATH, &cam, 2);
  zrdb_close_all();

  auto rec = [](int channel, int base) {
    std::string r(72, '\0');
    for (int k = 0; k < 7; ++k) put32(&r, 4 * static_cast<size_t>(k), base + k);    // main
    for (int k = 0; k < 7; ++k) put32(&r, 28 + 4 * static_cast<size_t>(k), base + 10 + k);  // sub
    put32(&r, 56, 1);
    put32(&r, 60, 0);
    put32(&r, 64, channel);
    return r;
  };
  // Channel 1's record comes out of order and channel 5 lies beyond the
  // configured four: neither is shown.
  const std::string records = rec(0, 100) + rec(2, 200) + rec(1, 300) + rec(5, 400);
  std::vector<std::string> j;
  const std::string out = ask("3300 reply hex=" + hex_of(records) + "\n", "/8002", &j);
  EXPECT_EQ(j, (std::vector<std::string>{"3300 "}));
  auto stream = [](int b) {
    return R"({"res":{"width":)" + std::to_string(b) + R"(,"height":)" + std::to_string(b + 1) +
           R"(},"framerate":)" + std::to_string(b + 2) + R"(,"bitrate":)" + std::to_string(b + 3) +
           R"(,"connection":)" + std::to_string(b + 4) + R"(,"connectStatus":)" + std::to_string(b + 6) + "}";
  };
  EXPECT_EQ(out, std::string(kJsonHead) + R"({"IPC":[)" +
                     R"({"id":0,"name":"Front","enable":1,"ipAddr":"192.168.1.64","recordOn":1,"alarmOn":0,"main":)" +
                     stream(100) + R"(,"sub":)" + stream(110) + "}," + no_stream_element(1) + "," +
                     R"({"id":2,"name":"Yard","enable":0,"ipAddr":"10.0.0.9","recordOn":1,"alarmOn":0,"main":)" +
                     stream(200) + R"(,"sub":)" + stream(210) + "}," + no_stream_element(3) + "]}");

  // An empty reply: every configured channel in the "--" form.
  EXPECT_EQ(ask("3300 reply\n", "/8002"),
            std::string(kJsonHead) + R"({"IPC":[)" + no_stream_element(0, "Front", 1, "192.168.1.64") + "," +
                no_stream_element(1) + "," + no_stream_element(2, "Yard", 0, "10.0.0.9") + "," +
                no_stream_element(3) + "]}");

  // A configured count above 64 is held at 64; channel 63 is reached.
  set_param_int(ZRDB_PATH, "max_cameras", 70);
  zrdb_close_all();
  int n = 0;
  const std::string many = json_body(send_sim("3300 reply hex=" + hex_of(rec(63, 1)) + "\n", "/8002"));
  EXPECT_EQ(element_text(many, "IPC", 63, &n).find(R"({"id":63,"name":"","enable":0,"ipAddr":"--","recordOn":1)"),
            0u)
      << many;
  EXPECT_EQ(n, 64);
}

TEST_F(StatusE2e, AlarmStatusReadsEveryMaskWordIncludingHighChannels) {
  set_param_int(ZRDB_PATH, "max_cameras", 40);
  set_param_int(ZRDB_PATH, "alarm_in", 20);  // more than the recorder has
  set_param_int(ZRDB_PATH, "alarm_out", 2);
  OsdRecord osd{};
  copy_field(osd.camName, "Gate cam");
  write_osd(ZRDB_PATH, &osd, 35);
  CameraRecord cam{};
  copy_field(cam.ipAddr, "10.1.1.35");
  write_camera(ZRDB_PATH, &cam, 35);
  CamAlarmInName in_name{35, 2, {}};
  copy_field(in_name.alarm_name, "Door");
  zrdb_write_record(ZRDB_PATH, cam_alarm_in_table(2, "name").c_str(), 35, &in_name, sizeof in_name);
  CamAlarmOutName out_name{35, 1, 30, {}};
  copy_field(out_name.alarm_name, "Siren");
  zrdb_write_record(ZRDB_PATH, cam_alarm_out_table(1, "name").c_str(), 35, &out_name, sizeof out_name);
  AlarmInRecord in{};
  copy_field(in.name, "Fence");
  in.alarm_type = 1;
  write_alarm_in(ZRDB_PATH, &in, 15);
  AlarmOutRecord outrec{};
  copy_field(outrec.name, "Bell");
  outrec.type = 1;
  outrec.duration_time = 10;
  write_alarm_out(ZRDB_PATH, &outrec, 1);
  zrdb_close_all();

  std::string w(68296, '\0');
  auto word = [&w](int k, uint32_t v) { put32(&w, 4 * static_cast<size_t>(k), static_cast<int32_t>(v)); };
  const uint32_t bit35 = 1u << 3;  // channel 35: bit 3 of the high word
  word(1, bit35);                  // video loss
  word(2, 1u);                     // motion on channel 0 only
  word(4, 1u << 1);                // recorder output 1
  word(5, 1u << 15 | 1u);          // recorder inputs 0 and 15
  word(9, bit35);                  // exiting
  word(19, bit35);                 // human detection
  word(24 + 70, 7);                // "in" of channel 35
  word(25 + 70, 8);                // "out"
  word(152 + 2 * 2 + 1, bit35);    // camera input 2 state
  word(164 + 0 + 1, bit35);        // camera input 0 type
  word(160 + 2 * 1 + 1, bit35);    // camera output 1 state
  word(172 + 0 + 1, bit35);        // camera output 0 type
  std::vector<std::string> j;
  const std::string out = ask("3305 reply hex=" + hex_of(w) + "\n", "/8003", &j);
  EXPECT_EQ(j, (std::vector<std::string>{"3305 "}));
  const std::string body = json_body(CgiResult{out, 0});
  int n = 0;
  EXPECT_EQ(element_text(body, "cameras", 35, &n),
            R"({"id":35,"name":"Gate cam","ipAddr":"10.1.1.35","videolossOn":1,"motionOn":0,"ioOn":1,)"
            R"("entrance":0,"exiting":1,"advancedMotion":0,"tampering":0,"lineCrossing":0,"loitering":0,)"
            R"("humanDetection":1,"objectleftremove":0,"in":7,"out":8,)"
            R"("AlarmInName0":"","AlarmInType0":1,"AlarmInState0":0,"AlarmInName1":"","AlarmInType1":0,)"
            R"("AlarmInState1":0,"AlarmInName2":"Door","AlarmInType2":0,"AlarmInState2":1,"AlarmInName3":"",)"
            R"("AlarmInType3":0,"AlarmInState3":0,"AlarmOutName0":"","AlarmOutDelay0":0,"AlarmOutType0":1,)"
            R"("AlarmOutState0":0,"AlarmOutName1":"Siren","AlarmOutDelay1":30,"AlarmOutType1":0,"AlarmOutState1":1})")
      << body;
  EXPECT_EQ(n, 40);
  // Channel 3 shares the low bit position of channel 35 in the other word.
  EXPECT_NE(element_text(body, "cameras", 3).find(R"("videolossOn":0,"motionOn":0,"ioOn":1,"entrance":0,)"
                                                 R"("exiting":0)"),
            std::string::npos);
  EXPECT_NE(element_text(body, "cameras", 0).find(R"("motionOn":1)"), std::string::npos);
  EXPECT_EQ(element_text(body, "alarmIn", 15, &n), R"({"id":15,"name":"Fence","type":1,"state":1})");
  EXPECT_EQ(n, 16);
  EXPECT_EQ(element_text(body, "alarmIn", 1), R"({"id":1,"name":"","type":0,"state":0})");
  EXPECT_EQ(element_text(body, "alarmOut", 1, &n), R"({"id":1,"name":"Bell","type":1,"duration":10,"state":1})");
  EXPECT_EQ(n, 2);
  EXPECT_EQ(element_text(body, "alarmOut", 0), R"({"id":0,"name":"","type":0,"duration":0,"state":0})");

  // A camera count above 64 never indexes past the masks.
  set_param_int(ZRDB_PATH, "max_cameras", 500);
  zrdb_close_all();
  EXPECT_EQ(element_text(json_body(send_sim("3305 reply hex=" + hex_of(w) + "\n", "/8003")), "cameras", 0, &n)
                .find(R"({"id":0,)"),
            0u);
  EXPECT_EQ(n, 64);
}

// ---- Packet capture -------------------------------------------------------------------

constexpr char kCaptureName[] = "ktpcap-20260102030405";
constexpr char kDownloadHead[] =
    "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= packet.tar\r\n\r\n";

class CaptureE2e : public StatusE2e {
 protected:
  void SetUp() override {
    StatusE2e::SetUp();
    env_.add_stub("killall");
    env_.add_stub("tcpdump");
    const std::string watcher = env_.path("/www/webmonitor");
    env_.write_file("/www/webmonitor",
                    "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + env_.root() + "/calls/webmonitor'\n");
    chmod(watcher.c_str(), 0755);
    env_.write_file("/mnt/sda1/notes.txt", "keep");
    env_.start_sim();
  }
  void TearDown() override {
    env_.stop_sim();
    StatusE2e::TearDown();
  }
  // A request at 2026-01-02 03:04:05 local time.
  CgiResult capture(const std::string& name, const std::string& body) {
    CgiRequest req;
    req.method = "POST";
    req.path_info = name;
    req.content_type = "application/json";
    req.body = body;
    req.env["NVR_FIXED_TIME"] = "1767323045";
    req.env["TZ"] = "UTC0";
    return env_.run(req);
  }
  // The calls of a stand-in started in the background, once it has run.
  std::string background_calls(const std::string& name) {
    for (int i = 0; i < 1000 && env_.stub_calls(name).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return env_.stub_calls(name);
  }
  bool nothing_ran() const {
    return !env_.exists("/calls/killall") && !env_.exists("/calls/tcpdump") && !env_.exists("/calls/webmonitor");
  }
};

TEST_F(CaptureE2e, StartChecksEveryFieldBeforeAnyCommand) {
  symlink(env_.path("/mnt/sda1").c_str(), env_.path("/mnt/link").c_str());
  env_.write_file("/mnt/nand/app/x", "");
  env_.write_file("/etc/x", "");
  const std::string ok_rest = R"("nic":"lo","mntPath":"/mnt/sda1"})";
  const std::string rows[] = {
      R"({"ip":"1.2.3.4' ; reboot ; '",)" + ok_rest,
      R"({"ip":"300.1.1.1",)" + ok_rest,
      R"({"ip":7,)" + ok_rest,
      R"({"port":"80;reboot",)" + ok_rest,
      R"({"port":"x",)" + ok_rest,
      R"({"port":"70000",)" + ok_rest,
      R"({"port":0,)" + ok_rest,
      R"({"nic":"lo;x","mntPath":"/mnt/sda1"})",
      R"({"nic":"eth0abcd","mntPath":"/mnt/sda1"})",  // longer than 7
      R"({"nic":"","mntPath":"/mnt/sda1"})",
      R"({"mntPath":"/mnt/sda1"})",
      R"({"nic":"nosuch9","mntPath":"/mnt/sda1"})",  // no IPv4 address
      R"({"nic":"lo"})",
      R"({"nic":"lo","mntPath":"/etc"})",
      R"({"nic":"lo","mntPath":"/mnt"})",
      R"({"nic":"lo","mntPath":"/mnt/nand/app"})",
      R"({"nic":"lo","mntPath":"/mnt/sda1/../../etc"})",
      R"({"nic":"lo","mntPath":"/mnt/sda1/."})",
      R"({"nic":"lo","mntPath":"/mnt/sda1'x"})",
      R"({"nic":"lo","mntPath":"/mnt/sda1 x"})",
      R"({"nic":"lo","mntPath":"/mnt/missing"})",
      R"({"nic":"lo","mntPath":"/mnt/link"})",
      R"({"nic":"lo","mntPath":"mnt/sda1"})",
      R"({"nic":"lo","mntPath":"/mnt/)" + std::string(130, 'a') + R"("})",
  };
  for (const std::string& body : rows) EXPECT_EQ(capture("/8005", body).out, kJsonError) << body;
  EXPECT_EQ(capture("/8005", "{").out, "");
  EXPECT_TRUE(nothing_ran()) << env_.stub_calls("killall") << env_.stub_calls("tcpdump");
}

TEST_F(CaptureE2e, StartReplacesEarlierCapturesAndFiltersOnTheInterfaceAddresses) {
  env_.write_file("/proc/net/if_inet6", "fe800000000000000000000000000001 01 40 20 80       lo\n");
  env_.write_file("/mnt/sda1/ktpcap-20250101000000", "old");
  env_.write_file("/mnt/sda1/ktpcap-202501010000000.pcap", "old");
  env_.write_file("/mnt/sda1/ktpcap-notes.txt", "keep");
  const CgiResult r = capture("/8005", R"({"ip":"10.0.0.5","port":"554","nic":"lo","mntPath":"/mnt/sda1"})");
  EXPECT_EQ(r.out, std::string(kJsonHead) + R"({"dirPath":"/mnt/sda1","fileName":")" + kCaptureName + R"("})");
  EXPECT_EQ(env_.stub_calls("killall"), "tcpdump\nwebmonitor\n");
  EXPECT_EQ(background_calls("tcpdump"), "-i lo -s0 host 127.0.0.1 || host fe80::1 && host 10.0.0.5 && port 554 "
                                         "-W 1 -C 10 -w " + env_.path("/mnt/sda1/") + kCaptureName + "\n");
  EXPECT_EQ(background_calls("webmonitor"), "tcpdump 300\n");
  EXPECT_FALSE(env_.exists("/mnt/sda1/ktpcap-20250101000000"));
  EXPECT_FALSE(env_.exists("/mnt/sda1/ktpcap-202501010000000.pcap"));
  EXPECT_EQ(env_.read_file("/mnt/sda1/ktpcap-notes.txt"), "keep");
  EXPECT_EQ(env_.read_file("/mnt/sda1/notes.txt"), "keep");
}

TEST_F(CaptureE2e, StartWithoutAddressOrPortCapturesTheInterfaceOnly) {
  env_.write_file("/media/usb1/x", "");
  const CgiResult r = capture("/8005", R"({"ip":"","port":"","nic":"lo","mntPath":"/media/usb1/"})");
  EXPECT_EQ(r.out, std::string(kJsonHead) + R"({"dirPath":"/media/usb1/","fileName":")" + kCaptureName + R"("})");
  EXPECT_EQ(background_calls("tcpdump"),
            "-i lo -s0 host 127.0.0.1 -W 1 -C 10 -w " + env_.path("/media/usb1/") + kCaptureName + "\n");
  ::unlink(env_.path("/calls/tcpdump").c_str());
  // A port sent as a number.
  capture("/8005", R"({"port":8080,"nic":"lo","mntPath":"/media/usb1"})");
  EXPECT_EQ(background_calls("tcpdump"),
            "-i lo -s0 host 127.0.0.1 && port 8080 -W 1 -C 10 -w " + env_.path("/media/usb1/") + kCaptureName + "\n");
}

TEST_F(CaptureE2e, DownloadPacksOnlyThisCaptureAndRemovesOnlyIt) {
  const std::string dir = "/mnt/sda1/";
  env_.write_file(dir + kCaptureName + "0", "first file");
  env_.write_file(dir + kCaptureName + "1", "second file");
  env_.write_file(dir + "ktpcap-20250101000000.pcap", "another capture");
  env_.write_file(dir + "other.pcap", "the user's own");
  env_.write_file("/etc/victim", "safe");
  // An archive name planted as a link is replaced, never written through.
  symlink(env_.path("/etc/victim").c_str(), env_.path(dir + "packet.tar").c_str());

  const CgiResult r = send("/8007", dir + kCaptureName);
  ASSERT_EQ(r.out.compare(0, std::strlen(kDownloadHead), kDownloadHead), 0) << r.out.substr(0, 200);
  env_.write_file("/got.tar", r.out.substr(std::strlen(kDownloadHead)));
  const std::string got = env_.path("/got.tar");
  auto shell_out = [](const std::string& cmd) {
    std::string text;
    if (FILE* p = popen(cmd.c_str(), "r")) {
      char buf[256];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
      pclose(p);
    }
    return text;
  };
  EXPECT_EQ(shell_out("tar -tf '" + got + "'"),
            std::string(kCaptureName) + "0.pcap\n" + kCaptureName + "1.pcap\n");
  EXPECT_EQ(shell_out("tar -xOf '" + got + "' " + kCaptureName + "1.pcap"), "second file");

  EXPECT_FALSE(env_.exists(dir + kCaptureName + "0.pcap"));
  EXPECT_FALSE(env_.exists(dir + kCaptureName + "1.pcap"));
  EXPECT_FALSE(env_.exists(dir + "packet.tar"));
  EXPECT_EQ(env_.read_file(dir + "ktpcap-20250101000000.pcap"), "another capture");
  EXPECT_EQ(env_.read_file(dir + "other.pcap"), "the user's own");
  EXPECT_EQ(env_.read_file(dir + "notes.txt"), "keep");
  EXPECT_EQ(env_.read_file("/etc/victim"), "safe");

  // Nothing left of that capture: no reply.
  EXPECT_EQ(send("/8007", dir + kCaptureName).out, "");
}

TEST_F(CaptureE2e, DownloadTakesOnlyCaptureNamesInsideAStorageFolder) {
  symlink(env_.path("/mnt/sda1").c_str(), env_.path("/mnt/link").c_str());
  env_.write_file("/mnt/sda1/" + std::string(kCaptureName), "data");
  env_.write_file("/etc/" + std::string(kCaptureName), "data");
  const std::string rows[] = {
      "",
      kCaptureName,
      "/etc/" + std::string(kCaptureName),
      "/mnt/sda1/../../etc/" + std::string(kCaptureName),
      "/mnt/sda1/notes.txt",
      "/mnt/sda1/ktpcap-2026010203040",
      "/mnt/sda1/ktpcap-2026010203040x",
      "/mnt/sda1/" + std::string(kCaptureName) + "0",
      "/mnt/link/" + std::string(kCaptureName),
      "/mnt/sda1/x;reboot/" + std::string(kCaptureName),
  };
  for (const std::string& text : rows) EXPECT_EQ(send("/8007", text).out, kTextError) << text;
  EXPECT_EQ(env_.read_file("/mnt/sda1/" + std::string(kCaptureName)), "data");
  EXPECT_EQ(env_.read_file("/etc/" + std::string(kCaptureName)), "data");
  EXPECT_EQ(env_.read_file("/mnt/sda1/notes.txt"), "keep");
  EXPECT_FALSE(env_.exists("/mnt/sda1/packet.tar"));

  // An unnumbered capture file is taken as well.
  const CgiResult r = send("/8007", "/mnt/sda1/" + std::string(kCaptureName));
  EXPECT_EQ(r.out.compare(0, std::strlen(kDownloadHead), kDownloadHead), 0);
  EXPECT_FALSE(env_.exists("/mnt/sda1/" + std::string(kCaptureName)));
}

}  // namespace
