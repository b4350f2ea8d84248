// Interface probes against kernel tables planted under a temporary root and
// the machine's loopback interface (the one interface every test host has).
#include <arpa/inet.h>
#include <net/ethernet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/net_probe.h"
#include "core/strutil.h"
#include "temp_root_test.h"

namespace {

const char kDevHead[] =
    "Inter-|   Receive                                                |  Transmit\n"
    " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs drop fifo colls "
    "carrier compressed\n";

// One interface line; a large receive counter follows the ':' without a blank
// the way the kernel prints it.
std::string dev_line(const std::string& name, unsigned long long rx, unsigned long long tx) {
  return "  " + name + ":" + (rx >= 10000000 ? "" : " ") + std::to_string(rx) + "     180    0    0    0     0   "
         "       0         0 " + std::to_string(tx) + "     180    0    0    0     0       0          0\n";
}

class NetProbe : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    if_speed_reset();
  }
  void plant_dev(const std::string& lines) { env_.write_file("/proc/net/dev", kDevHead + lines); }
};

TEST_F(NetProbe, RatesComeFromTheWholeNameAndSixtyFourBitCounters) {
  const unsigned long long big = 5000000000ULL;  // beyond 32 bits
  plant_dev(dev_line("veth0", 999, 999) + dev_line("eth0", big, 4000) + dev_line("lo", 1, 1));
  uint64_t rx = 7, tx = 7;
  ASSERT_EQ(if_get_speed_at("eth0", 1000000, &rx, &tx), 0);
  EXPECT_EQ(rx, 0u);
  EXPECT_EQ(tx, 0u);

  plant_dev(dev_line("veth0", 1, 1) + dev_line("eth0", big + 125000, 4000 + 500) + dev_line("lo", 1, 1));
  ASSERT_EQ(if_get_speed_at("eth0", 2000000, &rx, &tx), 0);
  EXPECT_EQ(rx, 125000u);
  EXPECT_EQ(tx, 500u);

  // Half a second later 1000 bytes more: 2000 bytes per second.
  plant_dev(dev_line("eth0", big + 126000, 4500));
  ASSERT_EQ(if_get_speed_at("eth0", 2500000, &rx, &tx), 0);
  EXPECT_EQ(rx, 2000u);
  EXPECT_EQ(tx, 0u);

  // No time passed: no division, no rate.
  ASSERT_EQ(if_get_speed_at("eth0", 2500000, &rx, &tx), 0);
  EXPECT_EQ(rx, 0u);

  // A counter that went down (reset or wrapped) reports 0, not a huge rate.
  plant_dev(dev_line("eth0", 10, 4600));
  ASSERT_EQ(if_get_speed_at("eth0", 3500000, &rx, &tx), 0);
  EXPECT_EQ(rx, 0u);
  EXPECT_EQ(tx, 100u);

  // Ten seconds or more since the last sample: both 0.
  plant_dev(dev_line("eth0", 100000010, 100004600));
  ASSERT_EQ(if_get_speed_at("eth0", 13500000, &rx, &tx), 0);
  EXPECT_EQ(rx, 0u);
  EXPECT_EQ(tx, 0u);
}

TEST_F(NetProbe, SpeedRefusesUnknownNamesAndASixthInterface) {
  std::string lines;
  for (int i = 0; i < 6; ++i) lines += dev_line("eth" + std::to_string(i), 100, 100);
  plant_dev(lines + dev_line("veth9", 5, 5));
  uint64_t rx = 0, tx = 0;
  // "eth9" is only part of "veth9"; "eth" only part of "eth0".
  EXPECT_EQ(if_get_speed_at("eth9", 1, &rx, &tx), -1);
  EXPECT_EQ(if_get_speed_at("eth", 1, &rx, &tx), -1);
  EXPECT_EQ(if_get_speed_at("eth0;x", 1, &rx, &tx), -1);
  EXPECT_EQ(if_get_speed_at(nullptr, 1, &rx, &tx), -1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(if_get_speed_at(("eth" + std::to_string(i)).c_str(), 1, &rx, &tx), 0) << i;
  EXPECT_EQ(if_get_speed_at("eth5", 1, &rx, &tx), -1);
  // Followed interfaces keep working.
  EXPECT_EQ(if_get_speed_at("eth4", 2, &rx, &tx), 0);

  ::unlink(env_.path("/proc/net/dev").c_str());
  EXPECT_EQ(if_get_speed_at("eth0", 3, &rx, &tx), -1);
}

TEST_F(NetProbe, CountSkipsHeadersAndLoopback) {
  plant_dev(dev_line("lo", 1, 1) + dev_line("eth0", 123456789, 1) + dev_line("veth0", 1, 1) +
            dev_line("eth1", 2, 2));
  EXPECT_EQ(if_get_netcount(), 3);
  ::unlink(env_.path("/proc/net/dev").c_str());
  EXPECT_EQ(if_get_netcount(), 0);
}

TEST_F(NetProbe, LoopbackConfigurationAndItsDefaultGateway) {
  env_.write_file("/proc/net/route",
                  "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                  "vlo\t00000000\t0202A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
                  "lo\t0000A8C0\t0505A8C0\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                  "lo\t00000000\t0101A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
  IfNetConf c{};
  ASSERT_EQ(if_get_netconf("lo", &c), 0);
  EXPECT_STREQ(c.ipaddr, "127.0.0.1");
  EXPECT_STREQ(c.netmask, "255.0.0.0");
  EXPECT_STREQ(c.gateway, "192.168.1.1");
  EXPECT_STREQ(c.mac, "00:00:00:00:00:00");
  EXPECT_EQ(c.up, 1);
  EXPECT_GT(c.mtu, 0);

  // No default route through the interface: "0.0.0.0".
  env_.write_file("/proc/net/route", "Iface\tDestination\tGateway\n""vlo\t00000000\t0202A8C0\t0003\n");
  ASSERT_EQ(if_get_netconf("lo", &c), 0);
  EXPECT_STREQ(c.gateway, "0.0.0.0");
  // No table at all: the gateway text stays as it was.
  ::unlink(env_.path("/proc/net/route").c_str());
  copy_field(c.gateway, "10.9.8.7");
  ASSERT_EQ(if_get_netconf("lo", &c), 0);
  EXPECT_STREQ(c.gateway, "10.9.8.7");

  EXPECT_EQ(if_get_netconf(nullptr, &c), -1);
  EXPECT_EQ(if_get_netconf("lo", nullptr), -1);
  EXPECT_EQ(if_get_netconf("lo;reboot", &c), -1);
  // An interface that does not exist: every query fails, fields are cleared.
  ASSERT_EQ(if_get_netconf("nosuch9", &c), 0);
  EXPECT_STREQ(c.ipaddr, "");
  EXPECT_EQ(c.mtu, 0);
}

TEST_F(NetProbe, LinkInformationOfLoopback) {
  IfNetInfo info{};
  ASSERT_EQ(if_get_netinfo("lo", &info), 0);
  EXPECT_EQ(info.running, 1);
  EXPECT_EQ(if_get_netinfo("nosuch9", &info), -1);
  EXPECT_EQ(if_get_netinfo("", &info), -1);
  EXPECT_EQ(if_get_netinfo("lo", nullptr), -1);
}

TEST_F(NetProbe, SameNetworkComparesOnlyValidAddresses) {
  EXPECT_EQ(zr_strcmp_two_ip_same_net("192.168.1.10", "255.255.255.0", "192.168.1.20", "255.255.255.0"), 0);
  EXPECT_EQ(zr_strcmp_two_ip_same_net("192.168.1.10", "255.255.255.0", "192.168.2.20", "255.255.255.0"), -1);
  EXPECT_EQ(zr_strcmp_two_ip_same_net("10.1.2.3", "255.0.0.0", "10.200.0.1", "255.0.0.0"), 0);
  // An invalid text is no address (it would read as 255.255.255.255 and
  // match a broadcast address).
  EXPECT_EQ(zr_strcmp_two_ip_same_net("bad", "255.255.255.0", "255.255.255.1", "255.255.255.0"), -1);
  EXPECT_EQ(zr_strcmp_two_ip_same_net("192.168.1.10", "255.255.255.0", "192.168.1.300", "255.255.255.0"), -1);
  EXPECT_EQ(zr_strcmp_two_ip_same_net(nullptr, "255.255.255.0", "192.168.1.20", "255.255.255.0"), -1);
}

TEST_F(NetProbe, SetNetworkRunsIfconfigOnlyForValidNames) {
  env_.add_stub("ifconfig");
  const char* old = std::getenv("PATH");
  const std::string saved = old ? old : "";
  setenv("PATH", (env_.path("/bin") + ":" + saved).c_str(), 1);
  EXPECT_EQ(if_set_network("eth0;reboot", 1), -1);
  EXPECT_EQ(if_set_network("eth0 up;x", 0), -1);
  EXPECT_EQ(if_set_network("", 1), -1);
  EXPECT_EQ(if_set_network("averylongname0123", 1), -1);
  EXPECT_FALSE(env_.exists("/calls/ifconfig"));
  EXPECT_EQ(if_set_network("eth0", 1), static_cast<int>(std::strlen("ifconfig 'eth0' up")));
  EXPECT_EQ(if_set_network("eth1.5", 0), static_cast<int>(std::strlen("ifconfig 'eth1.5' down")));
  env_.add_stub("ifconfig", "exit 1");
  EXPECT_EQ(if_set_network("eth0", 1), -1);
  setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(env_.stub_calls("ifconfig"), "eth0 up\neth1.5 down\neth0 up\n");
}

TEST_F(NetProbe, AddressProbeNeedsAPacketSocket) {
  const int fd = socket(AF_PACKET, SOCK_RAW, htons(ETHERTYPE_ARP));
  const bool raw_allowed = fd >= 0;
  if (fd >= 0) close(fd);
  // The interface's own address is in use; without the right to open a
  // packet socket the probe fails instead of guessing.
  EXPECT_EQ(if_ip_check("lo", "127.0.0.1"), raw_allowed ? 1 : -1);
  EXPECT_EQ(if_ip_check("lo", "127.0.0.300"), -1);
  EXPECT_EQ(if_ip_check("lo", "fe80::1"), -1);
  EXPECT_EQ(if_ip_check("lo;x", "127.0.0.1"), -1);
  EXPECT_EQ(if_ip_check("nosuch9", "127.0.0.1"), -1);
  EXPECT_EQ(if_ip_check("lo", nullptr), -1);
}

TEST(NetProbeNames, InterfaceNameCharacters) {
  EXPECT_TRUE(if_name_ok("eth0"));
  EXPECT_TRUE(if_name_ok("br-lan_1.2"));
  EXPECT_TRUE(if_name_ok("abcdefghijklmno"));
  EXPECT_FALSE(if_name_ok("abcdefghijklmnop"));
  EXPECT_FALSE(if_name_ok(""));
  EXPECT_FALSE(if_name_ok("eth0 "));
  EXPECT_FALSE(if_name_ok("eth'0"));
  EXPECT_FALSE(if_name_ok("eth0/1"));
  EXPECT_FALSE(if_name_ok(std::string_view("eth0\0x", 6)));
}

}  // namespace
