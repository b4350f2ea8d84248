// Network interfaces end to end: both stored shapes and the mode, the live
// IPv6 members, the exact messages to the core, refused requests, the
// address conflict tests, the default route and the MAC address.
#include <string>
#include <utility>
#include <vector>

#include "core/network_record.h"
#include "core/strutil.h"
#include "network_e2e.h"

namespace {

class NetworkInterfacesE2e : public NetworkE2e {
 protected:
  void SetUp() override {
    NetworkE2e::SetUp();
    get_mac_addr(mac0_, mac1_);
  }
  std::string mac0() const { return mac0_; }
  std::string mac1() const { return mac1_; }
  NetworkRecord muti() {
    zrdb_close_all();
    NetworkRecord r;
    EXPECT_EQ(read_network_muti(ZRDB_PATH, &r), 0);
    return r;
  }
  NetworkRecord bond() {
    zrdb_close_all();
    NetworkRecord r;
    EXPECT_EQ(read_network_bond(ZRDB_PATH, &r), 0);
    return r;
  }
  std::vector<std::string> saved_lines(int slave_clear) {
    return {line(3023, i32(slave_clear)), changed_line("network"), log_line(914, 0)};
  }
  char mac0_[18] = {}, mac1_[18] = {};
};

const char kSeparateSave[] =
    R"({"mode":0,"enableNetwork1":1,"networkType":0,"ipAddr":"192.168.1.100","netmask":"255.255.255.0",)"
    R"("gateway":"192.168.1.1","mtu":1500,"DNS1":"8.8.8.8","DNS2":"1.1.1.1","ip6networkType":0,)"
    R"("ip6Addr":"2001:db8::10","ip6netmask":"64","ip6gateway":"2001:db8::1","enableNetwork2":1,)"
    R"("networkType2":1,"ipAddr2":"10.0.0.5","netmask2":"255.0.0.0","gateway2":"10.0.0.1","mtu2":1400,)"
    R"("DNS12":"10.0.0.2","DNS22":"","ip6networkType2":0,"ip6Addr2":"","ip6netmask2":"","ip6gateway2":"",)"
    R"("defaultRoute":1,"slaveClear":1,"hostName":"not-taken"})";

TEST_F(NetworkInterfacesE2e, SeparatePortsSaveAnswerAndRoundTrip) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/7041", kSeparateSave, &j).out, kTextOk);
  EXPECT_EQ(j, saved_lines(1));
  NetworkRecord m = muti();
  EXPECT_STREQ(m.net[0].ipAddr, "192.168.1.100");
  EXPECT_EQ(m.net[0].mtu, 1500);
  EXPECT_STREQ(m.net[0].ip6gateway, "2001:db8::1");
  EXPECT_STREQ(m.net[1].gateway, "10.0.0.1");
  EXPECT_EQ(m.net[1].networkType, 1);
  EXPECT_EQ(m.defaultRoute, 1);
  EXPECT_STREQ(m.hostName, "");  // the host name belongs to maintenance
  EXPECT_EQ(read_network_mode(ZRDB_PATH), 0);

  const std::string expected =
      R"({"mode":0,"hostName":"","enableNetwork1":1,"networkType":0,"ipAddr":"192.168.1.100",)"
      R"("netmask":"255.255.255.0","gateway":"192.168.1.1","ip6networkType":0,"ip6Addr":"2001:db8::10",)"
      R"("ip6netmask":"64","ip6gateway":"2001:db8::1","macAddr":")" + mac0() +
      R"(","DNS1":"8.8.8.8","DNS2":"1.1.1.1","mtu":1500,"enableNetwork2":1,"networkType2":1,)"
      R"("ipAddr2":"10.0.0.5","netmask2":"255.0.0.0","gateway2":"10.0.0.1","ip6networkType2":0,"ip6Addr2":"",)"
      R"("ip6netmask2":"","ip6gateway2":"","macAddr2":")" + mac1() +
      R"(","DNS12":"10.0.0.2","DNS22":"","mtu2":1400,"defaultRoute":1})";
  auto r = get("/7040", "0");
  EXPECT_EQ(json_body(r), expected);

  // The answer posted back changes nothing and sends what a save sends.
  const std::string before = stored_hex("network_muti", 0, sizeof(NetworkRecord));
  EXPECT_EQ(send("/7041", json_body(r), &j).out, kTextOk);
  EXPECT_EQ(j, saved_lines(0));
  EXPECT_EQ(stored_hex("network_muti", 0, sizeof(NetworkRecord)), before);
  EXPECT_EQ(json_body(get("/7040", "")), expected);
  EXPECT_EQ(get("/7042", "").out, text_reply("0"));
}

TEST_F(NetworkInterfacesE2e, BondedModeKeepsItsOwnShapeAndTheSeparateOne) {
  env_.start_sim();
  ASSERT_EQ(send("/7041", kSeparateSave).out, kTextOk);
  const std::string separate = stored_hex("network_muti", 0, sizeof(NetworkRecord));

  // Mode 2 takes the primary port; type 2 finds its own gateway.
  EXPECT_EQ(send("/7041", R"({"mode":2,"primaryNet":1,"ipAddr":"172.16.0.9","ip6networkType":2,)"
                          R"("ip6gateway":"fe80::1","ipAddr2":"10.9.9.9","defaultRoute":0})")
                .out,
            kTextOk);
  NetworkRecord b = bond();
  EXPECT_EQ(b.mode, 2);
  EXPECT_EQ(b.primaryNet, 1);
  EXPECT_STREQ(b.net[0].ipAddr, "172.16.0.9");
  EXPECT_STREQ(b.net[0].netmask, "");  // not the separate shape's first port
  EXPECT_STREQ(b.net[0].ip6gateway, "");
  EXPECT_STREQ(b.net[1].ipAddr, "");
  EXPECT_EQ(stored_hex("network_muti", 0, sizeof(NetworkRecord)), separate);
  EXPECT_EQ(get("/7042", "").out, text_reply("2"));

  // No live IPv6 address on bond0: its IPv6 members are left out.
  const std::string bonded = R"({"mode":2,"hostName":"","primaryNet":1,"enableNetwork1":0,"networkType":0,)"
                             R"("ipAddr":"172.16.0.9","netmask":"","gateway":"","macAddr":")" +
                             mac0() + R"(","DNS1":"","DNS2":"","mtu":0,"ip6networkType":2,"defaultRoute":0})";
  for (const char* q : {"", "5", "-1", "x", "2"}) EXPECT_EQ(json_body(get("/7040", q)), bonded) << q;
  EXPECT_NE(json_body(get("/7040", "0")).find(R"("ipAddr":"192.168.1.100")"), std::string::npos);

  // Mode 1 ignores the primary port; the bonded reply posted back keeps all.
  EXPECT_EQ(send("/7041", R"({"mode":1,"primaryNet":0})").out, kTextOk);
  EXPECT_EQ(bond().primaryNet, 1);
  const std::string before = stored_hex("network_bond", 0, sizeof(NetworkRecord));
  EXPECT_EQ(send("/7041", json_body(get("/7040", ""))).out, kTextOk);
  EXPECT_EQ(stored_hex("network_bond", 0, sizeof(NetworkRecord)), before);

  // Back to separate ports (a decimal text is a number): the first port's
  // settings are still there.
  EXPECT_EQ(send("/7041", R"({"mode":"0"})").out, kTextOk);
  EXPECT_EQ(stored_hex("network_muti", 0, sizeof(NetworkRecord)), separate);
  EXPECT_EQ(get("/7042", "").out, text_reply("0"));

  // The host name is the recorder's: a mode switch keeps it, also one
  // stored in the shape in use only.
  EXPECT_EQ(send("/1012", R"({"hostName":"nvr-lab","deviceId":7})").out, kTextOk);
  EXPECT_EQ(send("/7041", R"({"mode":1})").out, kTextOk);
  EXPECT_NE(json_body(get("/7040", "")).find(R"("mode":1,"hostName":"nvr-lab",)"), std::string::npos);
  NetworkRecord only_here = bond();
  copy_field(only_here.hostName, "nvr-old");
  ASSERT_EQ(write_network_bond(ZRDB_PATH, &only_here), 0);
  EXPECT_EQ(send("/7041", R"({"mode":0})").out, kTextOk);
  EXPECT_STREQ(muti().hostName, "nvr-old");
  EXPECT_NE(json_body(get("/7040", "")).find(R"("mode":0,"hostName":"nvr-old",)"), std::string::npos);
}

TEST_F(NetworkInterfacesE2e, LiveIpv6MembersComeFromTheKernelTables) {
  env_.start_sim();
  env_.write_file("/proc/net/if_inet6",
                  "fe800000000000000000000000000042 02 40 20 80     eth0\n"
                  "20010db8000000000000000000000042 02 40 00 80     eth0\n"
                  "fe800000000000000000000000000007 03 40 20 80     eth1\n"
                  "00000000000000000000000000000001 01 80 10 80       lo\n");
  env_.write_file("/proc/net/ipv6_route",
                  "20010db8000100000000000000000000 40 00000000000000000000000000000000 00 "
                  "fe800000000000000000000000000009 00000400 00000001 00000000 00000003     eth1\n"
                  "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                  "20010db8000000000000000000000001 00000400 00000001 00000000 00000003     eth0\n");
  ASSERT_EQ(send("/7041", R"({"mode":0,"ip6networkType":1,"ip6Addr":"","ip6netmask":"64",)"
                          R"("ip6networkType2":2,"ip6Addr2":"2001:db8::99","ip6netmask2":"64"})")
                .out,
            kTextOk);
  const std::string body = json_body(get("/7040", "0"));
  // Type 1 without a stored address: the global address only.
  EXPECT_NE(body.find(R"("ip6networkType":1,"ip6Addr":"2001:db8::42","ip6netmask":"64","ip6gateway":"2001:db8::1","macAddr")"),
            std::string::npos)
      << body;
  // Type 2: a link-local address will do; no default route, any route's gateway.
  EXPECT_NE(body.find(R"("ip6networkType2":2,"ip6Addr2":"fe80::7","ip6netmask2":"64","ip6gateway2":"fe80::9","macAddr2")"),
            std::string::npos)
      << body;

  // An interface without addresses: no IPv6 address members at all.
  env_.write_file("/proc/net/if_inet6", "");
  env_.write_file("/proc/net/ipv6_route", "");
  const std::string bare = json_body(get("/7040", "0"));
  EXPECT_NE(bare.find(R"("ip6networkType":1,"macAddr")"), std::string::npos) << bare;
  EXPECT_EQ(bare.find("ip6Addr"), std::string::npos) << bare;
}

TEST_F(NetworkInterfacesE2e, AddressConflictIsLoggedAsAnException) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/7041", R"({"ipAddr":"192.168.1.50","Conflict":1})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3023, i32(0)), changed_line("network"), log_line(914, 0),
                                         log_line_of(32, 406, 914)}));
}

TEST_F(NetworkInterfacesE2e, RefusedRequestsWriteAndSendNothing) {
  env_.start_sim();
  ASSERT_EQ(send("/7041", kSeparateSave).out, kTextOk);
  const std::string before = stored_hex("network_muti", 0, sizeof(NetworkRecord));
  for (const char* body : {
           R"({"mode":3,"ipAddr":"10.1.1.1"})",
           R"({"mode":-1})",
           R"({"mode":"x"})",
           R"({"mode":1.5})",
           R"({"mtu":"x","ipAddr":"10.1.1.1"})",
           R"({"mtu2":true})",
           R"({"Conflict":"yes"})",
           R"({"ipAddr":"1.2.3.4; reboot"})",
           R"({"gateway2":"10.0.0.1 "})",
           R"x({"DNS1":"$(id)"})x",
           R"({"ip6Addr":"2001:db8::1/64"})",
           R"({"ip6gateway2":"fe80::1%eth1"})",
           R"({"ipAddr":"2001:db8::1"})",
           "not json",
           "[1]",
           "",
       }) {
    std::vector<std::string> j;
    EXPECT_EQ(send("/7041", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  EXPECT_EQ(stored_hex("network_muti", 0, sizeof(NetworkRecord)), before);
  EXPECT_EQ(count("network_bond"), 0);
}

TEST_F(NetworkInterfacesE2e, AddressConflictTests) {
  env_.start_sim();
  struct Row {
    const char* name;
    const char* body;
    int req;
    std::string payload;
    const char* reply;
  } rows[] = {
      {"/7070", R"({"ip":"192.168.1.50"})", 3005, text_hex("192.168.1.50", 20), "-1"},
      {"/7070", R"({"ip":"192.168.1.51"})", 3005, text_hex("192.168.1.51", 20), "0"},
      {"/7070", R"({"ip":"1234567890123456789012345"})", 3005, text_hex("1234567890123456789", 20), "0"},
      {"/7071", R"({"dev":"eth1","ip":"192.168.1.1"})", 3006, text_hex("eth1", 16) + text_hex("192.168.1.1", 16), "-1"},
      {"/7071", R"({"dev":"wlan0","ip":"192.168.1.1"})", 3006, text_hex("wlan0", 16) + text_hex("192.168.1.1", 16), "0"},
      {"/7071", R"({"dev":"a-very-long-interface","ip":"192.168.100.200.1"})", 3006,
       text_hex("a-very-long-int", 16) + text_hex("192.168.100.200", 16), "0"},
      {"/7071", R"({"dev":"eth0:1","ip":""})", 3006, text_hex("eth0:1", 16) + text_hex("", 16), "0"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> j;
    EXPECT_EQ(send(row.name, row.body, &j).out, text_reply(row.reply)) << row.body;
    EXPECT_EQ(j, (std::vector<std::string>{line(row.req, row.payload)})) << row.body;
  }
  for (const char* name : {"/7070", "/7071"}) {
    std::vector<std::string> j;
    EXPECT_EQ(send(name, "{ip:", &j).out, "");
    EXPECT_TRUE(j.empty());
  }
  // Addresses and interface names hold only their own characters, as the
  // interface settings do.
  for (const auto& [name, body] : std::vector<std::pair<const char*, const char*>>{
           {"/7070", R"({"ip":"1.2.3.4; reboot"})"},
           {"/7070", R"x({"ip":"$(id)"})x"},
           {"/7070", R"({"ip":"10.0.0.1
"})"},
           {"/7071", R"({"dev":"eth0","ip":"10.0.0.1 "})"},
           {"/7071", R"({"dev":"eth0;reboot","ip":"10.0.0.1"})"},
           {"/7071", R"({"dev":"../eth0","ip":"10.0.0.1"})"},
           {"/7071", R"({"dev":"eth 0","ip":"10.0.0.1"})"},
       }) {
    std::vector<std::string> j;
    EXPECT_EQ(send(name, body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
}

TEST_F(NetworkInterfacesE2e, WaitingRequestsWithoutOrWithEmptyReplies) {
  env_.start_sim("3005 none\n3006 reply\n1724 none\n");
  EXPECT_EQ(send("/7070", R"({"ip":"10.0.0.1"})", nullptr, "200").out, kTextError);
  EXPECT_EQ(send("/7071", R"({"dev":"eth0","ip":"10.0.0.1"})").out, kTextError);  // at once
  EXPECT_EQ(send("/7096", R"({"defaultRoute":1})", nullptr, "200").out, kJsonError);
}

TEST_F(NetworkInterfacesE2e, DefaultRouteIsStoredInTheShapeInUse) {
  env_.start_sim();
  ASSERT_EQ(send("/7041", kSeparateSave).out, kTextOk);
  std::vector<std::string> j;
  EXPECT_EQ(send("/7096", R"({"defaultRoute":0})", &j).out, json_reply(R"({"res":0})"));
  EXPECT_EQ(j, (std::vector<std::string>{line(1724, i32(0))}));
  EXPECT_EQ(muti().defaultRoute, 0);
  EXPECT_STREQ(muti().net[0].ipAddr, "192.168.1.100");

  ASSERT_EQ(send("/7041", R"({"mode":1})").out, kTextOk);
  EXPECT_EQ(send("/7096", R"({"defaultRoute":1})").out, json_reply(R"({"res":0})"));
  EXPECT_EQ(bond().defaultRoute, 1);
  EXPECT_EQ(muti().defaultRoute, 0);

  for (const char* body : {"", "nope", R"({"route":1})", R"({"defaultRoute":"x"})"}) {
    EXPECT_EQ(send("/7096", body, &j).out, kJsonError) << body;
    EXPECT_TRUE(j.empty()) << body;
  }
}

TEST_F(NetworkInterfacesE2e, RestartAndMacAddress) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(get("/7043", "", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(1712, std::string(64, '0'))}));

  struct Row {
    const char* file;
    const char* shown;
  } rows[] = {
      {"A1B2C3D4E5F6\n", "A1:B2:C3:D4:E5:F6"},
      {"a1b2c3d4e5f6\r\n", "a1:b2:c3:d4:e5:f6"},
      {"ABCDE", "AB:CD:E"},
      {"\n", ""},
  };
  for (const Row& row : rows) {
    env_.write_file("/mnt/nand/mac.conf", row.file);
    EXPECT_EQ(json_body(get("/7044", "")), std::string(R"({"mac0":")") + row.shown + "\"}") << row.file;
  }
}

}  // namespace
