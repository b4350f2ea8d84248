// Network services kept in the store, end to end: PPPoE and dynamic DNS
// replies, the stored records, the change notice and log entry of each
// setter, the getter/setter round trip and refused requests.
#include <string>
#include <vector>

#include "core/port_record.h"
#include "handlers/network/network.h"
#include "network_e2e.h"

namespace {

class NetworkServicesE2e : public NetworkE2e {
 protected:
  static std::vector<std::string> saved(const std::string& what, int param) {
    return {changed_line(what), log_line(param, 0)};
  }
};

const char kTimeSave[] =
    R"({"ntpEnable":0,"dstEnable":1,"timeZone":"GMT+01:00","timeZoneName":"Europe/Paris","syncEnable":1,)"
    R"("syncInterval":"24","syncPc":0,"ntpServer":"pool.ntp.example","manualTime":"2024-02-29 13:05:09"})";

TEST_F(NetworkServicesE2e, TimeSaveSetsClockAndRoundTrip) {
  env_.start_sim();
  const std::string set_line = line(1701, text_hex("\"2024-02-29 13:05:09\"", 32));
  const std::vector<std::string> sent = {set_line, line(1711, ""), log_line_of(4, 225, 900)};
  std::vector<std::string> j;
  EXPECT_EQ(send("/7001", kTimeSave, &j).out, kTextOk);
  EXPECT_EQ(j, sent);
  auto rec = read<TimeRecord>("time", 0);
  EXPECT_EQ(rec.dstEnable, 1);
  EXPECT_EQ(rec.syncInterval, 24);
  EXPECT_STREQ(rec.timeZoneName, "Europe/Paris");

  CgiRequest g;
  g.path_info = "/7000";
  g.env["NVR_FIXED_TIME"] = "1700000000";  // 2023-11-14 22:13:20 UTC
  g.env["TZ"] = "UTC0";
  auto r = env_.run(g);
  const std::string expected =
      R"({"dateYear":"2023","dateMon":"11","dateDay":"14","dateHour":"22","dateMin":"13","dateSec":"20",)"
      R"("serverTime":"2023-11-14 22:13:20","ntpEnable":0,"dstEnable":1,"timeZone":"GMT+01:00",)"
      R"("timeZoneName":"Europe/Paris","ntpServer":"pool.ntp.example","syncEnable":1,"syncInterval":24,"syncPc":0})";
  EXPECT_EQ(json_body(r), expected);

  // Posted back with the manual time the page adds: nothing stored changes.
  std::string back = json_body(r);
  back.insert(back.size() - 1, R"(,"manualTime":"2024-02-29 13:05:09")");
  const std::string before = stored_hex("time", 0, sizeof(TimeRecord));
  EXPECT_EQ(send("/7001", back, &j).out, kTextOk);
  EXPECT_EQ(j, sent);
  EXPECT_EQ(stored_hex("time", 0, sizeof(TimeRecord)), before);
  // The answer exactly as given (no manual time): saved, the clock untouched.
  EXPECT_EQ(send("/7001", json_body(r), &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1701, text_hex("", 32)), line(1711, ""), log_line_of(4, 225, 900)}));
  EXPECT_EQ(stored_hex("time", 0, sizeof(TimeRecord)), before);
}

TEST_F(NetworkServicesE2e, TimeClockPayloadAndMissingReply) {
  const std::string base =
      R"({"dstEnable":0,"timeZone":"GMT","timeZoneName":"UTC","syncEnable":0,"syncInterval":0,"syncPc":0,)";
  const std::string empty_set = line(1701, text_hex("", 32));
  const struct {
    std::string script;
    std::string body;
    std::vector<std::string> sent;
  } rows[] = {
      // NTP as the failover source: the clock is not set by hand.
      {"", base + R"("ntpEnable":0,"failoverMode":2})", {empty_set, line(1711, ""), log_line_of(4, 225, 900)}},
      {"", base + R"("ntpEnable":1})", {empty_set, line(1711, ""), log_line_of(4, 225, 900)}},
      // NTP off without a manual time: saved, the clock left alone.
      {"", base + R"("ntpEnable":0})", {empty_set, line(1711, ""), log_line_of(4, 225, 900)}},
      // No reply: no 1711, the answer stays "OK".
      {"1701 none\n", base + R"("ntpEnable":1})", {empty_set, log_line_of(4, 225, 900)}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body);
    env_.start_sim(row.script);
    std::vector<std::string> j;
    EXPECT_EQ(send("/7001", row.body, &j, "200").out, kTextOk);
    EXPECT_EQ(j, row.sent);
  }
}

TEST_F(NetworkServicesE2e, PppoeSaveAnswerAndRoundTrip) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/7011", R"({"enable":1,"autoConnect":"1","userName":"dsl-user","password":"p@ss"})", &j).out,
            kTextOk);
  EXPECT_EQ(j, saved("pppoe", 915));
  auto rec = read<PppoeRecord>("pppoe", 0);
  EXPECT_EQ(rec.enable, 1);
  EXPECT_EQ(rec.autoConnect, 1);
  EXPECT_STREQ(rec.userName, "dsl-user");

  // No PPPoE link in the sandbox: the address is "0.0.0.0".
  const std::string expected =
      R"({"enable":1,"autoConnect":1,"userName":"dsl-user","password":"p@ss","pppoeipaddr":"0.0.0.0"})";
  auto r = get("/7010", "");
  EXPECT_EQ(json_body(r), expected);
  const std::string before = stored_hex("pppoe", 0, sizeof(PppoeRecord));
  EXPECT_EQ(send("/7011", json_body(r), &j).out, kTextOk);
  EXPECT_EQ(j, saved("pppoe", 915));
  EXPECT_EQ(stored_hex("pppoe", 0, sizeof(PppoeRecord)), before);

  // A long user name is cut to 63 characters.
  EXPECT_EQ(send("/7011", R"({"enable":0,"userName":")" + std::string(90, 'u') + "\"}").out, kTextOk);
  EXPECT_EQ(std::string(read<PppoeRecord>("pppoe", 0).userName), std::string(63, 'u'));
}

TEST_F(NetworkServicesE2e, DdnsSaveAnswerAndRoundTrip) {
  env_.start_sim();
  char mac0[18] = {}, mac1[18] = {};
  get_mac_addr(mac0, mac1);
  std::vector<std::string> j;
  EXPECT_EQ(send("/7021",
                 R"({"enable":1,"updateFreq":10,"domain":"dyn.example","userName":"me","password":"pw",)"
                 R"("hostName":"nvr.dyn.example","ddnsurl":"https://u.example/","freeDNSHash":"abc",)"
                 R"("http":8080,"rtsp":"554"})",
                 &j)
                .out,
            kTextOk);
  EXPECT_EQ(j, saved("ddns", 916));
  auto rec = read<DdnsRecord>("ddns", 0);
  EXPECT_EQ(rec.http_port, 8080);
  EXPECT_EQ(rec.rtsp_port, 554);
  EXPECT_EQ(rec.updateFreq, 10);

  const std::string expected =
      R"({"enable":1,"domain":"dyn.example","userName":"me","password":"pw","hostName":"nvr.dyn.example",)"
      R"("ddnsurl":"https://u.example/","freeDNSHash":"abc","updateFreq":10,"http_port":8080,"rtsp_port":554,)"
      R"("mac":")" + std::string(mac0) + "\"}";
  auto r = get("/7020", "");
  EXPECT_EQ(json_body(r), expected);
  // The getter names the ports "http_port"/"rtsp_port", the page "http"/"rtsp":
  // the setter takes both, and keeps a stored port neither names.
  std::string renamed = json_body(r);
  renamed.replace(renamed.find("\"http_port\""), 11, "\"http\"");
  renamed.replace(renamed.find("\"rtsp_port\""), 11, "\"rtsp\"");
  std::string no_ports = json_body(r);
  no_ports.erase(no_ports.find(",\"http_port\""), std::string(R"(,"http_port":8080,"rtsp_port":554)").size());
  const std::string before = stored_hex("ddns", 0, sizeof(DdnsRecord));
  for (const std::string& back : {json_body(r), renamed, no_ports}) {
    EXPECT_EQ(send("/7021", back, &j).out, kTextOk) << back;
    EXPECT_EQ(j, saved("ddns", 916)) << back;
    EXPECT_EQ(stored_hex("ddns", 0, sizeof(DdnsRecord)), before) << back;
  }
}

const char kMailSave[] =
    R"({"enable":1,"userName":"cam@example","password":"pw","smtpServer":"smtp.example","smtpPort":587,)"
    R"("senderAddr":"nvr@example","senderName":"NVR","enableTls":2,"enableAttach":1,"captureInterval":"5",)"
    R"("enableHostName":1,"hostName":"nvr.local","receivers":[{"receiverAddr":"a@example","receiverName":"A"},)"
    R"({"receiverAddr":"b@example","receiverName":"B"}]})";

TEST_F(NetworkServicesE2e, EmailSaveAnswerAndRoundTrip) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/7031", kMailSave, &j).out, kTextOk);
  EXPECT_EQ(j, saved("mail", 917));
  auto rec = read<EmailRecord>("email", 0);
  EXPECT_EQ(rec.smtpPort, 587);
  EXPECT_EQ(rec.captureInterval, 5);
  EXPECT_STREQ(rec.receivers[1].receiverName, "B");
  EXPECT_STREQ(read<PortRecord>("port", 0).hostName, "nvr.local");

  const std::string expected =
      R"({"enable":1,"userName":"cam@example","password":"pw","smtpServer":"smtp.example","smtpPort":587,)"
      R"("senderAddr":"nvr@example","senderName":"NVR","enableTls":2,"enableAttach":1,"captureInterval":5,)"
      R"("enableHostName":1,"hostName":"nvr.local","receivers":[{"receiverAddr":"a@example","receiverName":"A"},)"
      R"({"receiverAddr":"b@example","receiverName":"B"},{"receiverAddr":"","receiverName":""}]})";
  auto r = get("/7030", "");
  EXPECT_EQ(json_body(r), expected);
  const std::string before = stored_hex("email", 0, sizeof(EmailRecord)) + stored_hex("port", 0, sizeof(PortRecord));
  EXPECT_EQ(send("/7031", json_body(r), &j).out, kTextOk);
  EXPECT_EQ(j, saved("mail", 917));
  EXPECT_EQ(stored_hex("email", 0, sizeof(EmailRecord)) + stored_hex("port", 0, sizeof(PortRecord)), before);

  // Keys left out keep their stored values.
  EXPECT_EQ(send("/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0})").out, kTextOk);
  rec = read<EmailRecord>("email", 0);
  EXPECT_EQ(rec.smtpPort, 25);
  EXPECT_STREQ(rec.smtpServer, "smtp.example");
  EXPECT_STREQ(rec.receivers[0].receiverAddr, "a@example");
}

TEST_F(NetworkServicesE2e, TestMailAnswers) {
  const std::string mail = line(3409, text_hex("testmail", 32));
  const struct {
    const char* script;
    std::string out;
  } rows[] = {
      {"", kTextOk},
      {"3409 reply hex=01000000\n", text_reply("ERROR")},
      {"3409 reply hex=00\n", kTextError},  // short reply answers at once
      {"3409 none\n", kTextError},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.script);
    env_.start_sim(row.script);
    std::vector<std::string> j;
    EXPECT_EQ(send("/7032", "", &j, "200").out, row.out);
    EXPECT_EQ(j, std::vector<std::string>{mail});
  }
}

TEST_F(NetworkServicesE2e, MulticastStoredBeforeSent) {
  env_.start_sim();
  std::vector<std::string> j;
  auto r = send("/7034", R"({"enable":1,"ip":"239.1.2.3"})", &j);
  EXPECT_EQ(r.out, json_reply(R"({"res":0})"));
  MulticastRecord rec = read<MulticastRecord>("multicast", 0);
  EXPECT_EQ(rec.enable, 1);
  EXPECT_STREQ(rec.ip, "239.1.2.3");
  EXPECT_EQ(j, std::vector<std::string>{line_of(1729, rec)});

  auto g = get("/7033", "");
  EXPECT_EQ(json_body(g), R"({"enable":1,"ip":"239.1.2.3"})");
  const std::string before = stored_hex("multicast", 0, sizeof(MulticastRecord));
  EXPECT_EQ(send("/7034", json_body(g), &j).out, json_reply(R"({"res":0})"));
  EXPECT_EQ(stored_hex("multicast", 0, sizeof(MulticastRecord)), before);

  // Stored before it is sent: a core that never answers still finds it there.
  env_.start_sim("1729 none\n");
  EXPECT_EQ(send("/7034", R"({"enable":0})", &j, "200").out, kJsonError);
  rec.enable = 0;
  EXPECT_EQ(j, std::vector<std::string>{line_of(1729, rec)});
  EXPECT_EQ(stored_hex("multicast", 0, sizeof(MulticastRecord)), record_hex(rec));
  EXPECT_EQ(send("/7034", "not json", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(send("/7034", R"({"enable":"x"})", &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
}

TEST_F(NetworkServicesE2e, SnmpSaveRoundTripAndPortCheck) {
  env_.start_sim();
  PortRecord p;
  std::memset(&p, 0, sizeof p);
  p.sshPort = 22;
  p.httpPort = 80;
  p.rtspPort = 554;
  p.httpsPort = 443;
  ASSERT_EQ(write_port(ZRDB_PATH, &p, PORT_RECORD_ID), 0);
  ASSERT_EQ(set_param_int(ZRDB_PATH, "max_poe_num", 4), 0);
  zrdb_close_all();
  std::vector<std::string> j;
  EXPECT_EQ(send("/7091", R"({"v2c_enable":1,"read_community":"public","write_community":"private","port":161})", &j)
                .out,
            kTextOk);
  EXPECT_EQ(j, std::vector<std::string>{changed_line("snmp")});
  const std::string expected =
      R"({"v1_enable":0,"v2c_enable":1,"write_community":"private","read_community":"public","v3_enable":0,)"
      R"("read_security_name":"","read_level_security":0,"read_auth_algorithm":0,"read_auth_password":"",)"
      R"("read_pri_algorithm":0,"read_pri_password":"","write_security_name":"","write_level_security":0,)"
      R"("write_auth_algorithm":0,"write_auth_password":"","write_pri_algorithm":0,"write_pri_password":"",)"
      R"("port":161,"sshPort":22,"httpPort":80,"rtspPort":554,"httpsPort":443})";
  auto r = get("/7090", "");
  EXPECT_EQ(json_body(r), expected);
  const std::string before = stored_hex("snmp", 0, sizeof(SnmpRecord));
  EXPECT_EQ(send("/7091", json_body(r), &j).out, kTextOk);
  EXPECT_EQ(stored_hex("snmp", 0, sizeof(SnmpRecord)), before);

  // A new port inside the PoE range is refused; one already stored there stays.
  EXPECT_EQ(send("/7091", R"({"port":23002})", &j).out, text_reply("POE_Port_Error"));
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(stored_hex("snmp", 0, sizeof(SnmpRecord)), before);
  SnmpRecord in_range = read<SnmpRecord>("snmp", 0);
  in_range.port = 23003;
  ASSERT_EQ(write_snmp(ZRDB_PATH, &in_range), 0);
  zrdb_close_all();
  EXPECT_EQ(send("/7091", R"({"port":23003})", &j).out, kTextOk);
  EXPECT_EQ(send("/7091", R"({"port":23005})", &j).out, kTextOk);  // past the four PoE ports
}

// Refused requests: no reply, nothing stored, nothing sent.
TEST_F(NetworkServicesE2e, RefusedServiceRequests) {
  env_.start_sim();
  const struct {
    const char* name;
    const char* body;
  } rows[] = {
      {"/7001", R"({"ntpEnable":1,"dstEnable":0,"timeZone":"GMT","timeZoneName":"UTC","syncEnable":0,"syncInterval":0})"},
      {"/7001", R"({"ntpEnable":2,"dstEnable":0,"timeZone":"GMT","timeZoneName":"UTC","syncEnable":0,"syncInterval":0,"syncPc":0})"},
      {"/7001", R"({"ntpEnable":0,"dstEnable":0,"timeZone":"GMT","timeZoneName":"UTC","syncEnable":0,"syncInterval":0,"syncPc":0,"manualTime":"2023-02-29 10:00:00"})"},
      {"/7001", R"({"ntpEnable":0,"dstEnable":0,"timeZone":"GMT","timeZoneName":"UTC","syncEnable":0,"syncInterval":0,"syncPc":0,"manualTime":"2023-01-01 10:00:00\"; reboot; \""})"},
      {"/7001", R"({"ntpEnable":0,"dstEnable":0,"timeZone":"GMT","timeZoneName":"UTC","syncEnable":0,"syncInterval":0,"syncPc":0,"manualTime":""})"},
      {"/7011", R"({"autoConnect":1})"},
      {"/7011", R"({"enable":2})"},
      {"/7011", R"({"enable":"x"})"},
      {"/7011", R"({"enable":1,"autoConnect":"x"})"},
      {"/7011", R"({"enable":1,"userName":"a\nb"})"},
      {"/7011", "not json"},
      {"/7021", R"({"enable":1})"},
      {"/7021", R"({"enable":1,"updateFreq":-1})"},
      {"/7021", R"({"enable":1,"updateFreq":5,"http":"x"})"},
      {"/7021", R"({"enable":1,"updateFreq":5,"rtsp":70000})"},
      {"/7021", R"({"enable":1,"updateFreq":5,"domain":"a\rb"})"},
      {"/7091", R"({"v1_enable":1})"},
      {"/7091", R"({"port":"x"})"},
      {"/7091", R"({"port":161,"v3_enable":"x"})"},
      {"/7091", R"({"port":161,"read_community":"a\nb"})"},
      {"/7031", R"({"smtpPort":25,"enableTls":3,"enableAttach":0,"captureInterval":0})"},
      {"/7031", R"({"smtpPort":-1,"enableTls":0,"enableAttach":0,"captureInterval":0})"},
      {"/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0})"},
      {"/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"enable":"x"})"},
      {"/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"smtpServer":"a\nb"})"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + row.body);
    std::vector<std::string> j;
    EXPECT_EQ(send(row.name, row.body, &j).out, "");
    EXPECT_TRUE(j.empty());
  }
  EXPECT_EQ(count("time"), 0);
  EXPECT_EQ(count("pppoe"), 0);
  EXPECT_EQ(count("ddns"), 0);
  EXPECT_EQ(count("email"), 0);
  EXPECT_EQ(count("snmp"), 0);
}

}  // namespace
