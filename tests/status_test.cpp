// Status pages end to end: the request each getter sends the core, the JSON
// made from the core's records (planted byte for byte by the test), empty
// and short replies, and getters whose reply never comes.
#include <string>
#include <vector>

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
};

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

}  // namespace
