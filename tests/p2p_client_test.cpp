// The P2P client layer on its own: the block encoding and its sizes, the key
// file, and the socket calls against local listeners (connect, refusal,
// silence and names that do not resolve), each within its deadline.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/paths.h"
#include "platform/p2p.h"
#include "temp_dir.h"

namespace {

class P2pClient : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir("nvr-p2p");
    ASSERT_FALSE(dir_.empty());
    key_ = dir_ + "/p2p.key";
    ASSERT_EQ(p2p_create_keyfile(key_.c_str()), 0);
    ASSERT_EQ(p2p_cli_switch_keyfile(key_.c_str()), 0);
  }
  void TearDown() override {
    p2p_cli_clear_key();
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // A listener on 127.0.0.1 (port chosen by the kernel).
  static int listener(int* port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      close(fd);
      return -1;
    }
    *port = ntohs(a.sin_port);
    return fd;
  }

  std::string dir_;
  std::string key_;
};

TEST_F(P2pClient, SizesOnTheWire) {
  EXPECT_EQ(rsa_cal_ensize(0), 0);
  EXPECT_EQ(rsa_cal_ensize(-5), 0);
  EXPECT_EQ(rsa_cal_ensize(1), 128);
  EXPECT_EQ(rsa_cal_ensize(40), 128);
  EXPECT_EQ(rsa_cal_ensize(117), 128);
  EXPECT_EQ(rsa_cal_ensize(118), 256);
  EXPECT_EQ(rsa_cal_ensize(568), 640);
  EXPECT_EQ(rsa_cal_ensize(INT32_MAX), -1);
}

TEST_F(P2pClient, EncodingRoundTripAndForeignBlocks) {
  std::vector<uint8_t> msg(300);
  for (size_t i = 0; i < msg.size(); ++i) msg[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> wire(384);
  ASSERT_EQ(p2p_encode(msg.data(), 300, wire.data(), wire.size()), 384);
  // The texts are not readable off the wire.
  EXPECT_EQ(std::search(wire.begin(), wire.end(), msg.begin(), msg.begin() + 16), wire.end());
  std::vector<uint8_t> back(300);
  EXPECT_EQ(p2p_decode(wire.data(), 384, back.data(), back.size()), 300);
  EXPECT_EQ(back, msg);

  // Too little room, a cut message, a flipped byte, noise: refused.
  EXPECT_EQ(p2p_decode(wire.data(), 384, back.data(), 299), -1);
  EXPECT_EQ(p2p_decode(wire.data(), 383, back.data(), back.size()), -1);
  std::vector<uint8_t> flipped = wire;
  flipped[383] ^= 1;
  EXPECT_EQ(p2p_decode(flipped.data(), 384, back.data(), back.size()), -1);
  std::vector<uint8_t> noise(128, 0xab);
  EXPECT_EQ(p2p_decode(noise.data(), 128, back.data(), back.size()), -1);
  EXPECT_EQ(p2p_encode(msg.data(), 300, wire.data(), 383), -1);

  // Without a key nothing is sent or read.
  p2p_cli_clear_key();
  EXPECT_EQ(p2p_encode(msg.data(), 300, wire.data(), wire.size()), -1);
  EXPECT_EQ(p2p_decode(wire.data(), 384, back.data(), back.size()), -1);
}

TEST_F(P2pClient, KeyFile) {
  struct stat st;
  ASSERT_EQ(stat(key_.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, P2P_KEY_SIZE);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // A key of its own is kept; a damaged file gets the shipped key again.
  const std::string own = dir_ + "/own.key";
  std::ofstream(own) << std::string(P2P_KEY_SIZE, 'k');
  EXPECT_EQ(p2p_create_keyfile(own.c_str()), 0);
  std::ifstream in(own);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(P2P_KEY_SIZE, 'k'));
  std::ofstream(own) << "short";
  EXPECT_EQ(p2p_cli_switch_keyfile(own.c_str()), -1);
  EXPECT_EQ(p2p_create_keyfile(own.c_str()), 0);
  EXPECT_EQ(p2p_cli_switch_keyfile(own.c_str()), 0);

  // No file can be made where a folder stands or the folder is missing.
  const std::string folder = dir_ + "/folder.key";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  EXPECT_EQ(p2p_create_keyfile(folder.c_str()), -1);
  EXPECT_EQ(p2p_create_keyfile((dir_ + "/none/x.key").c_str()), -1);
  EXPECT_EQ(p2p_cli_switch_keyfile((dir_ + "/missing.key").c_str()), -1);
  EXPECT_EQ(p2p_create_keyfile(""), -1);
}

TEST_F(P2pClient, TransferOverLoopback) {
  int port = 0;
  const int lfd = listener(&port);
  ASSERT_GE(lfd, 0);
  const int fd = socket_create();
  ASSERT_EQ(socket_connect(fd, "127.0.0.1", port, 2000), 0);
  const int peer = accept(lfd, nullptr, nullptr);
  ASSERT_GE(peer, 0);

  const char text[] = "registration text";
  ASSERT_EQ(p2p_send(fd, text, sizeof text, 2000), 0);
  char got[64] = {};
  EXPECT_EQ(p2p_recv(peer, got, sizeof got, 128, 2000), static_cast<int>(sizeof text));
  EXPECT_STREQ(got, text);

  // A message larger than the room is refused before it is read.
  EXPECT_EQ(p2p_recv(peer, got, sizeof got, 256, 2000), -1);
  // Silence: the read gives up at its deadline.
  EXPECT_EQ(p2p_recv(peer, got, sizeof got, 128, 100), -1);
  // The peer closes half-way through a message.
  const uint8_t half[60] = {};
  ASSERT_EQ(send(fd, half, sizeof half, 0), 60);
  socket_destroy(fd);
  EXPECT_EQ(p2p_recv(peer, got, sizeof got, 128, 2000), -1);
  close(peer);
  close(lfd);
}

TEST_F(P2pClient, ConnectFailures) {
  int port = 0;
  const int lfd = listener(&port);
  ASSERT_GE(lfd, 0);
  close(lfd);  // nobody listens there any more
  int fd = socket_create();
  EXPECT_EQ(socket_connect(fd, "127.0.0.1", port, 2000), -1);
  socket_destroy(fd);

  fd = socket_create();
  EXPECT_EQ(socket_connect(fd, "127.0.0.1", 0, 2000), -1);
  EXPECT_EQ(socket_connect(fd, "", 9999, 2000), -1);
  EXPECT_EQ(socket_connect(fd, "127.0.0.1", 9999, 0), -1);
  EXPECT_EQ(socket_connect(-1, "127.0.0.1", 9999, 2000), -1);
  socket_destroy(fd);
  socket_destroy(-1);
}

// Names: the hosts file first, then the name servers, within the deadline.
TEST_F(P2pClient, NamesResolveThroughHostsAndServers) {
  setenv("NVR_ROOT", dir_.c_str(), 1);
  nvr_root_reset();
  ASSERT_EQ(mkdir((dir_ + "/etc").c_str(), 0755), 0);
  std::ofstream(dir_ + "/etc/hosts") << "# local names\n127.0.0.1 localhost p2p-register.local\n";
  // The only name server does not answer (nothing on port 53 here).
  std::ofstream(dir_ + "/etc/resolv.conf") << "nameserver 127.0.0.1\n";

  int port = 0;
  const int lfd = listener(&port);
  ASSERT_GE(lfd, 0);
  int fd = socket_create();
  EXPECT_EQ(socket_connect(fd, "P2P-Register.local", port, 2000), 0);
  socket_destroy(fd);

  fd = socket_create();
  EXPECT_EQ(socket_connect(fd, "unknown.example", port, 300), -1);
  EXPECT_EQ(socket_connect(fd, "bad..name", port, 300), -1);
  socket_destroy(fd);
  close(lfd);
  unsetenv("NVR_ROOT");
  nvr_root_reset();
}

}  // namespace

namespace {

// An answer to query q: its question, then the given records.
std::vector<uint8_t> dns_reply(const std::vector<uint8_t>& q, int answers, const std::vector<uint8_t>& records,
                               uint8_t rcode = 0) {
  std::vector<uint8_t> m = q;
  m[2] = 0x81;
  m[3] = static_cast<uint8_t>(0x80 | rcode);
  m[7] = static_cast<uint8_t>(answers);
  m.insert(m.end(), records.begin(), records.end());
  return m;
}

TEST(P2pNames, QueryAndAnswer) {
  const std::vector<uint8_t> q = p2p_dns_query("reg.example.net", 0x1234);
  const std::vector<uint8_t> expected = {0x12, 0x34, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 3, 'r', 'e', 'g', 7, 'e', 'x', 'a',
                                         'm', 'p', 'l', 'e', 3, 'n', 'e', 't', 0, 0, 1, 0, 1};
  EXPECT_EQ(q, expected);
  EXPECT_EQ(p2p_dns_query("reg.example.net.", 1).size(), expected.size());
  EXPECT_TRUE(p2p_dns_query("a..b", 1).empty());
  EXPECT_TRUE(p2p_dns_query(std::string(64, 'a') + ".net", 1).empty());

  // An alias first, then the address.
  const std::vector<uint8_t> cname = {0xc0, 0x0c, 0, 5, 0, 1, 0, 0, 0, 60, 0, 4, 1, 'x', 0xc0, 0x10};
  const std::vector<uint8_t> a = {0xc0, 0x0c, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 10, 1, 2, 3};
  std::vector<uint8_t> both = cname;
  both.insert(both.end(), a.begin(), a.end());
  const std::vector<uint8_t> m = dns_reply(q, 2, both);
  uint32_t addr = 0;
  ASSERT_TRUE(p2p_dns_answer(m.data(), m.size(), 0x1234, &addr));
  EXPECT_EQ(addr, 0x0a010203u);

  // Another id, an error code, no address, or an answer cut anywhere: none.
  EXPECT_FALSE(p2p_dns_answer(m.data(), m.size(), 0x1235, &addr));
  const std::vector<uint8_t> refused = dns_reply(q, 1, a, 3);
  EXPECT_FALSE(p2p_dns_answer(refused.data(), refused.size(), 0x1234, &addr));
  const std::vector<uint8_t> alias_only = dns_reply(q, 1, cname);
  EXPECT_FALSE(p2p_dns_answer(alias_only.data(), alias_only.size(), 0x1234, &addr));
  for (size_t cut = 0; cut < m.size(); ++cut)
    EXPECT_FALSE(p2p_dns_answer(m.data(), cut, 0x1234, &addr)) << cut;
  // More records announced than there are.
  const std::vector<uint8_t> short_count = dns_reply(q, 9, cname);
  EXPECT_FALSE(p2p_dns_answer(short_count.data(), short_count.size(), 0x1234, &addr));
}

}  // namespace
