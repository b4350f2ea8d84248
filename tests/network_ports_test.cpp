// Service ports and push-message settings end to end: replies, stored
// records and parameters, the messages to the core in order, the PoE and
// in-use port checks made before anything is stored, and refused requests.
#include <string>
#include <vector>

#include "core/port_record.h"
#include "network_e2e.h"

namespace {

class NetworkPortsE2e : public NetworkE2e {
 protected:
  void SetUp() override {
    NetworkE2e::SetUp();
    PortRecord p;
    std::memset(&p, 0, sizeof p);
    p.enableSsh = 0;
    p.sshPort = 22;
    p.httpPort = 80;
    p.rtspPort = 554;
    p.servicePort = 6036;
    p.httpsPort = 443;
    p.enableHostName = 1;
    std::strcpy(p.hostName, "mail.example");
    ASSERT_EQ(write_port(ZRDB_PATH, &p, PORT_RECORD_ID), 0);
    ASSERT_EQ(set_param_int(ZRDB_PATH, "max_cameras", 4), 0);
    zrdb_close_all();
  }
  PortRecord port() {
    zrdb_close_all();
    PortRecord p;
    EXPECT_EQ(read_port(ZRDB_PATH, &p, PORT_RECORD_ID), 0);
    return p;
  }
  int param(const char* key, int def) {
    zrdb_close_all();
    return get_param_int(ZRDB_PATH, key, def);
  }
  static std::vector<std::string> saved_lines(const char* msg) {
    return {line(3617, text_hex(msg, 10)), log_line(918, 0), changed_line("more")};
  }
};

const char kPortsSave[] =
    R"({"enableSsh":1,"sshPort":2222,"httpPort":8080,"rtspPort":1554,"httpsPort":8443,"servicePort":7000,)"
    R"("enableAccess":0,"needReboot":0,"channel_num":3,"pushType":5,"PushTypeNvrAlarmIn":7,)"
    R"("pushTypeArr":[1,2],"enableMsg":1,"pushNvrPos":"Gate","pushVideoStream":1})";

TEST_F(NetworkPortsE2e, SaveAnswerAndRoundTrip) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/7051", kPortsSave, &j).out, kTextOk);
  EXPECT_EQ(j, saved_lines("1"));
  PortRecord p = port();
  EXPECT_EQ(p.enableSsh, 1);
  EXPECT_EQ(p.sshPort, 2222);
  EXPECT_EQ(p.httpPort, 8080);
  EXPECT_EQ(p.rtspPort, 1554);
  EXPECT_EQ(p.httpsPort, 8443);
  EXPECT_EQ(p.servicePort, 6036);  // checked, not stored
  EXPECT_STREQ(p.hostName, "mail.example");
  EXPECT_EQ(param("push_type", -1), 5);
  EXPECT_EQ(param("pushmsg_alarmin_type", -1), 7);
  EXPECT_EQ(param("video_push_stream", -1), 1);
  EXPECT_EQ(count("push_msg_event"), 3);  // channel 2 has no element: type 0

  const std::string expected =
      R"({"enableSsh":1,"sshPort":2222,"httpPort":8080,"httpsPort":8443,"rtspPort":1554,"servicePort":6036,)"
      R"("enable_access":0,"PushTypeArr":[1,2,0,0],"PushNvrAlarmInType":7,"enableMsg":1,"push_stream":1,)"
      R"("pushNvrPos":"Gate"})";
  auto r = get("/7050", "");
  EXPECT_EQ(json_body(r), expected);

  // Posted back unchanged: the same messages, nothing stored changes.
  const std::string before = stored_hex("port", 0, sizeof(PortRecord));
  EXPECT_EQ(send("/7051", json_body(r), &j).out, kTextOk);
  EXPECT_EQ(j, saved_lines("1"));
  EXPECT_EQ(stored_hex("port", 0, sizeof(PortRecord)), before);
  EXPECT_EQ(json_body(get("/7050", "")), expected);
}

TEST_F(NetworkPortsE2e, ChannelAccessAndRebootFollowTheSave) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/7051", R"({"enableSsh":"0","sshPort":"22","httpPort":80,"rtspPort":554,"servicePort":1,)"
                          R"("httpsPort":443,"enableMsg":0,"enableAccess":"1","needReboot":1})",
                 &j)
                .out,
            kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3618, i32(1)), line(3617, text_hex("0", 10)), log_line(918, 0),
                                         changed_line("more"), line_of(3485, expected_log_record(200, 900, 0)),
                                         line(1703, "")}));
  EXPECT_EQ(json_body(get("/7092", "")), R"({"access":1})");
  EXPECT_NE(json_body(get("/7050", "")).find(R"("enable_access":1,)"), std::string::npos);
}

TEST_F(NetworkPortsE2e, AbsentKeysAndOutOfRangeValues) {
  env_.start_sim();
  ASSERT_EQ(send("/7051", kPortsSave).out, kTextOk);
  std::vector<std::string> j;
  // No "httpsPort": HTTPS port 0. "enableMsg" other than 0 or 1 is 0. The
  // push keys left out keep their values; the channel count is cut to the
  // configured cameras.
  EXPECT_EQ(send("/7051", R"({"enableSsh":1,"sshPort":2222,"httpPort":8080,"rtspPort":1554,"servicePort":7000,)"
                          R"("enableMsg":5,"channel_num":100,"pushTypeArr":[9,9,9,9,9,9]})",
                 &j)
                .out,
            kTextOk);
  EXPECT_EQ(j, saved_lines("0"));
  EXPECT_EQ(port().httpsPort, 0);
  EXPECT_EQ(param("enable_push_msg", -1), 0);
  EXPECT_EQ(param("push_type", -1), 5);
  EXPECT_EQ(param("pushmsg_alarmin_type", -1), 7);
  EXPECT_EQ(count("push_msg_event"), 4);
  EXPECT_EQ(json_body(get("/7050", "")),
            R"({"enableSsh":1,"sshPort":2222,"httpPort":8080,"httpsPort":0,"rtspPort":1554,"servicePort":6036,)"
            R"("enable_access":0,"PushTypeArr":[9,9,9,9],"PushNvrAlarmInType":7,"enableMsg":0,"push_stream":1,)"
            R"("pushNvrPos":"Gate"})");

  // The recorder's event text keeps at most 64 characters.
  ASSERT_EQ(send("/7051", R"({"enableSsh":1,"sshPort":2222,"httpPort":8080,"rtspPort":1554,"servicePort":1,)"
                          R"("enableMsg":0,"pushNvrPos":")" + std::string(80, 'p') + "\"}")
                .out,
            kTextOk);
  EXPECT_NE(json_body(get("/7050", "")).find("\"pushNvrPos\":\"" + std::string(64, 'p') + "\"}"), std::string::npos);
}

TEST_F(NetworkPortsE2e, PortsInThePoeRangeOrInUseAreRefusedBeforeAnyChange) {
  env_.start_sim();
  ASSERT_EQ(set_param_int(ZRDB_PATH, "max_poe_num", 8), 0);
  // 8081 listens on IPv4, 9443 on IPv6 (8080 only as a client).
  env_.write_file("/proc/net/tcp",
                  "  sl  local_address rem_address   st tx_queue rx_queue\n"
                  "   0: 00000000:1F91 00000000:0000 0A 00000000:00000000 00:00000000 00000000\n"
                  "   1: 0100007F:1F90 0100007F:D431 01 00000000:00000000 00:00000000 00000000\n");
  env_.write_file("/proc/net/tcp6",
                  "  sl  local_address                         remote_address                        st\n"
                  "   0: 00000000000000000000000000000000:24E3 00000000000000000000000000000000:0000 0A\n");
  zrdb_close_all();
  const std::string ports = stored_hex("port", 0, sizeof(PortRecord));
  const std::string base = R"({"enableSsh":1,"rtspPort":554,"servicePort":1,"enableMsg":1,"enableAccess":1,)"
                           R"("pushType":3,"channel_num":2,"pushTypeArr":[4,4],"needReboot":1,)";
  for (const char* changed : {R"("sshPort":22,"httpPort":23005,"httpsPort":443})",
                              R"("sshPort":23001,"httpPort":80,"httpsPort":443})",
                              R"("sshPort":22,"httpPort":80,"httpsPort":23008})",
                              R"("sshPort":22,"httpPort":8081,"httpsPort":443})",
                              R"("sshPort":22,"httpPort":80,"httpsPort":9443})",
                              // Two services on one port (the stored service port counts).
                              R"("sshPort":22,"httpPort":8000,"httpsPort":8000})",
                              R"("sshPort":554,"httpPort":80,"httpsPort":443})",
                              R"("sshPort":22,"httpPort":6036,"httpsPort":443})"}) {
    std::vector<std::string> j;
    EXPECT_EQ(send("/7051", base + changed, &j).out, text_reply("POE_Port_Error")) << changed;
    EXPECT_TRUE(j.empty()) << changed;
  }
  EXPECT_EQ(stored_hex("port", 0, sizeof(PortRecord)), ports);
  EXPECT_EQ(param("push_type", -1), -1);
  EXPECT_EQ(count("push_msg_event"), 0);

  // Above the range, and a port seen only as a client's, are free.
  EXPECT_EQ(send("/7051", base + R"("sshPort":22,"httpPort":23009,"httpsPort":8080})").out, kTextOk);
  EXPECT_EQ(port().httpPort, 23009);
  // A stored port inside the range passes when it is sent unchanged.
  PortRecord p = port();
  p.sshPort = 23002;
  ASSERT_EQ(write_port(ZRDB_PATH, &p, PORT_RECORD_ID), 0);
  zrdb_close_all();
  EXPECT_EQ(send("/7051", base + R"("sshPort":23002,"httpPort":23009,"httpsPort":8080})").out, kTextOk);
  // So does a pair stored on one port (and no port at all is no clash).
  p = port();
  p.httpsPort = 23009;
  p.servicePort = 0;
  ASSERT_EQ(write_port(ZRDB_PATH, &p, PORT_RECORD_ID), 0);
  zrdb_close_all();
  EXPECT_EQ(send("/7051", base + R"("sshPort":0,"httpPort":23009,"httpsPort":23009})").out, kTextOk);
  EXPECT_EQ(port().sshPort, 0);
  EXPECT_EQ(json_body(get("/7093", "")), R"({"max_poe_num":8})");
}

TEST_F(NetworkPortsE2e, InvalidRequestsAnswerNothing) {
  env_.start_sim();
  const std::string ports = stored_hex("port", 0, sizeof(PortRecord));
  for (const char* body : {
           R"({"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":1,"enableMsg":0})",
           R"({"enableSsh":2,"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":1,"enableMsg":0})",
           R"({"enableSsh":1,"httpPort":80,"rtspPort":554,"servicePort":1,"enableMsg":0})",
           R"({"enableSsh":1,"sshPort":22,"httpPort":-80,"rtspPort":554,"servicePort":1,"enableMsg":0})",
           R"({"enableSsh":1,"sshPort":22,"httpPort":80,"rtspPort":65536,"servicePort":1,"enableMsg":0})",
           R"({"enableSsh":1,"sshPort":22,"httpPort":80,"rtspPort":554,"enableMsg":0})",
           R"({"enableSsh":1,"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":1,"httpsPort":70000,"enableMsg":0})",
           R"({"enableSsh":1,"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":1,"enableMsg":-1})",
           R"({"enableSsh":1,"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":1})",
           R"({"enableSsh":1,"sshPort":"x","httpPort":80,"rtspPort":554,"servicePort":1,"enableMsg":0})",
           R"({"enableSsh":1,"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":1,"httpsPort":"x","enableMsg":0})",
           R"({"enableSsh":1,"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":1,"enableMsg":0,"enableAccess":"x"})",
           R"({"enableSsh":1,"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":1,"enableMsg":0,"channel_num":"2x"})",
           R"({"enableSsh":1,"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":1,"enableMsg":0,"channel_num":2,"pushTypeArr":[1,"x"]})",
           "{enableSsh",
           "",
       }) {
    std::vector<std::string> j;
    EXPECT_EQ(send("/7051", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  EXPECT_EQ(stored_hex("port", 0, sizeof(PortRecord)), ports);
  EXPECT_EQ(json_body(get("/7092", "")), R"({"access":0})");
  EXPECT_EQ(json_body(get("/7093", "")), R"({"max_poe_num":0})");
}

}  // namespace
