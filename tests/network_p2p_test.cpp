// P2P cloud service, dynamic DNS state and UPnP end to end: the exact
// messages to the core, the answers for each core result and for a missing
// or short reply, the records kept, the getter/setter round trips, and the
// registration with a registration server of the test's own on 127.0.0.1
// (answering, refusing, silent, garbage, gone).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/cgi_ipc.h"
#include "core/port_record.h"
#include "handlers/network/network.h"
#include "handlers/system/system.h"
#include "network_e2e.h"
#include "platform/p2p.h"

namespace {

using sysadmin::UpnpRecord;

class ServicesE2e : public NetworkE2e {
 protected:
  CgiResult post(const std::string& name, const std::string& body, std::vector<std::string>* j,
                 const std::map<std::string, std::string>& env = {}) {
    CgiRequest req;
    req.method = "POST";
    req.path_info = name;
    req.content_type = "application/json";
    req.body = body;
    req.env = env;
    const size_t before = env_.journal().size();
    CgiResult r = env_.run(req);
    std::vector<std::string> all = env_.journal();
    j->assign(all.begin() + static_cast<long>(before < all.size() ? before : all.size()), all.end());
    return r;
  }
  static P2pRecord p2p_record(int32_t enable, int32_t region) {
    P2pRecord rec;
    std::memset(&rec, 0, sizeof rec);
    rec.enable = enable;
    rec.region = region;
    return rec;
  }
};

TEST(ServiceWaits, LongAndP2pWaits) {
  EXPECT_EQ(cgi_ipc_poll_limit(REQ_SET_TIME), 6000);   // 240 s
  EXPECT_EQ(cgi_ipc_poll_limit(REQ_TEST_MAIL), 6000);  // 240 s
  EXPECT_EQ(cgi_ipc_poll_limit(REQ_P2P_ENABLE), 1500);  // 60 s
  EXPECT_EQ(cgi_ipc_poll_limit(REQ_P2P_DISABLE), 1500);
  EXPECT_EQ(cgi_ipc_poll_limit(REQ_P2P_STATUS), 1500);
}

// ---- Dynamic DNS state and unbinding ------------------------------------------------

TEST_F(ServicesE2e, DdnsStateAndUnbindAnswers) {
  const struct {
    const char* name;
    const char* script;
    int req;
    std::string out;
  } rows[] = {
      {"/7094", "", 3309, json_reply(R"({"status":0})")},
      {"/7094", "3309 reply hex=05000000\n", 3309, json_reply(R"({"status":5})")},
      {"/7094", "3309 reply hex=0500\n", 3309, kJsonError},
      {"/7094", "3309 none\n", 3309, kJsonError},
      {"/7095", "", 2302, json_reply(R"({"res":0})")},
      {"/7095", "2302 reply hex=01000000\n", 2302, json_reply(R"({"res":1})")},
      {"/7095", "2302 reply hex=\n", 2302, kJsonError},
      {"/7095", "2302 none\n", 2302, kJsonError},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + row.script);
    env_.start_sim(row.script);
    std::vector<std::string> j;
    EXPECT_EQ(post(row.name, "", &j, {{"NVR_IPC_WAIT_MS", "200"}}).out, row.out);
    EXPECT_EQ(j, std::vector<std::string>{line(row.req, "")});
  }
  // The core reports the state of what the settings page stored.
  env_.start_sim();
  std::vector<std::string> j;
  ASSERT_EQ(send("/7021", R"({"enable":1,"updateFreq":10,"domain":"dyn.example"})").out, kTextOk);
  EXPECT_EQ(post("/7094", "", &j).out, json_reply(R"({"status":1})"));
}

// ---- P2P enable, disable and state ----------------------------------------------------

TEST_F(ServicesE2e, P2pEnableAnswersTheCoreResult) {
  const struct {
    const char* hex;
    const char* out;
  } rows[] = {
      {"00000000", "ERR_OK"},          {"02000000", "ERR_NOTFOUND"}, {"03000000", "ERR_NETWORK"},
      {"05000000", "ERR_MAC_FORMAT"},  {"06000000", "ERR_AUTH_FAILED"}, {"07000000", "ERR_NO_UUID"},
      {"01000000", "ERR_UNKNOWN"},     {"ffffffff", "ERR_UNKNOWN"},
  };
  const std::string sent = line_of(3700, p2p_record(1, 3));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.hex);
    env_.start_sim(std::string("3700 reply hex=") + row.hex + "\n");
    std::vector<std::string> j;
    EXPECT_EQ(post("/7061", R"({"enableP2P":1,"region":"3"})", &j).out, text_reply(row.out));
    EXPECT_EQ(j, std::vector<std::string>{sent});
  }
  for (const char* script : {"3700 none\n", "3700 reply hex=01\n"}) {
    SCOPED_TRACE(script);
    env_.start_sim(script);
    std::vector<std::string> j;
    EXPECT_EQ(post("/7061", R"({"enableP2P":1,"region":3})", &j, {{"NVR_IPC_WAIT_MS", "200"}}).out, kTextError);
    EXPECT_EQ(j, std::vector<std::string>{sent});
  }
  // Enabling leaves the record to the core.
  EXPECT_EQ(count("p2p"), 0);
}

TEST_F(ServicesE2e, P2pStateDisableAndRoundTrip) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(post("/7061", R"({"enableP2P":1,"region":2})", &j).out, text_reply("ERR_OK"));
  EXPECT_EQ(read<P2pRecord>("p2p", 0).enable, 1);  // stored by the core

  EXPECT_EQ(post("/7060", "", &j).out,
            json_reply(R"({"enable":1,"company":"","email":"","p2pstatus":0,"cloudAccount":"",)"
                       R"("registerCode":"","dealer":"","model":"NVR-SIM","ipc":"","cloudServer":"cloud.example",)"
                       R"("region":2})"));
  EXPECT_EQ(j, std::vector<std::string>{line(3702, "")});

  // Disabling keeps the cloud texts, stores enable 0 and the region, then tells the core.
  P2pRecord rec = read<P2pRecord>("p2p", 0);
  copy_field(rec.cloud1, "cloud-one");
  copy_field(rec.cloud4, "cloud-four");
  ASSERT_EQ(write_p2p_info(ZRDB_PATH, &rec), 0);
  zrdb_close_all();
  EXPECT_EQ(post("/7061", R"({"enableP2P":0,"region":4})", &j).out, kTextOk);
  rec.enable = 0;
  rec.region = 4;
  EXPECT_EQ(j, std::vector<std::string>{line_of(3701, rec)});
  EXPECT_EQ(stored_hex("p2p", 0, sizeof(P2pRecord)), record_hex(rec));

  // The state the getter shows, posted back as the page does, changes nothing.
  auto g = post("/7060", "", &j);
  EXPECT_NE(g.out.find(R"("enable":0)"), std::string::npos);
  EXPECT_NE(g.out.find(R"("region":4})"), std::string::npos);
  EXPECT_EQ(post("/7061", R"({"enableP2P":0,"region":4})", &j).out, kTextOk);
  EXPECT_EQ(stored_hex("p2p", 0, sizeof(P2pRecord)), record_hex(rec));

  env_.start_sim("3701 reply hex=ffffffff\n3702 reply hex=0100\n");
  EXPECT_EQ(post("/7061", R"({"enableP2P":0})", &j).out, text_reply("ERR"));
  rec.region = 0;
  EXPECT_EQ(j, std::vector<std::string>{line_of(3701, rec)});
  EXPECT_EQ(post("/7060", "", &j).out, kJsonError);  // short state: at once
  env_.start_sim("3701 none\n3702 none\n");
  EXPECT_EQ(post("/7061", R"({"enableP2P":0})", &j, {{"NVR_IPC_WAIT_MS", "200"}}).out, kTextError);
  EXPECT_EQ(post("/7060", "", &j, {{"NVR_IPC_WAIT_MS", "200"}}).out, kJsonError);
  EXPECT_EQ(j, std::vector<std::string>{line(3702, "")});
}

// ---- UPnP ----------------------------------------------------------------------------

TEST_F(ServicesE2e, UpnpSendAnswerAndRoundTrip) {
  env_.start_sim();
  PortRecord p;
  std::memset(&p, 0, sizeof p);
  p.httpPort = 80;
  p.rtspPort = 554;
  ASSERT_EQ(write_port(ZRDB_PATH, &p, PORT_RECORD_ID), 0);
  zrdb_close_all();

  UpnpRecord sent;
  std::memset(&sent, 0, sizeof sent);
  sent.enable = 1;
  sent.type = 2;
  sent.external_http_port = 8080;
  sent.external_rtsp_port = 8554;
  std::vector<std::string> j;
  EXPECT_EQ(post("/1031", R"({"enable":1,"type":"2","external_http_port":8080,"external_rtsp_port":8554})", &j).out,
            kTextOk);
  EXPECT_EQ(j, std::vector<std::string>{line_of(3720, sent)});

  // The core maps the ports and stores the record with their states.
  auto g = post("/1030", "", &j);
  EXPECT_EQ(json_body(g),
            R"({"enable":1,"type":2,"external_http_port":8080,"http_status":1,"external_rtsp_port":8554,)"
            R"("rtsp_status":1,"http_port":80,"rtsp_port":554})");
  EXPECT_TRUE(j.empty());
  const std::string before = stored_hex("upnp", 0, sizeof(UpnpRecord));
  UpnpRecord stored = read<UpnpRecord>("upnp", 0);
  EXPECT_EQ(post("/1031", json_body(g), &j).out, kTextOk);
  EXPECT_EQ(j, std::vector<std::string>{line_of(3720, stored)});
  EXPECT_EQ(stored_hex("upnp", 0, sizeof(UpnpRecord)), before);

  // Absent keys are 0; the states go to the core as stored.
  EXPECT_EQ(post("/1031", "{}", &j).out, kTextOk);
  UpnpRecord cleared = stored;
  cleared.enable = cleared.type = cleared.external_http_port = cleared.external_rtsp_port = 0;
  EXPECT_EQ(j, std::vector<std::string>{line_of(3720, cleared)});
}

// Refused requests: no reply, nothing sent, nothing stored.
TEST_F(ServicesE2e, RefusedRequests) {
  env_.start_sim();
  const struct {
    const char* name;
    const char* body;
  } rows[] = {
      {"/1031", "not json"},
      {"/1031", R"({"enable":2})"},
      {"/1031", R"({"enable":1,"type":"x"})"},
      {"/1031", R"({"external_http_port":70000})"},
      {"/1031", R"({"external_rtsp_port":-1})"},
      {"/7061", "not json"},
      {"/7061", R"({"region":1})"},
      {"/7061", R"({"enableP2P":2})"},
      {"/7061", R"({"enableP2P":"x"})"},
      {"/7061", R"({"enableP2P":0,"region":"x"})"},
      {"/7062", "not json"},
      {"/7062", R"({"sn":"ok","deviceName":"12345678901234567890123456789012"})"},
      {"/7062", R"({"sn":"a\nb"})"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + row.body);
    std::vector<std::string> j;
    EXPECT_EQ(post(row.name, row.body, &j).out, "");
    EXPECT_TRUE(j.empty());
  }
  std::vector<std::string> j;
  EXPECT_EQ(post("/7062", R"({"sn":")" + std::string(64, 's') + "\"}", &j).out, "");
  EXPECT_EQ(count("p2p"), 0);
  EXPECT_EQ(count("upnp"), 0);
}

// ---- Registration with the P2P server ---------------------------------------------------

// A registration server on 127.0.0.1 for one connection. It reads the
// header and body the recorder sends and answers as its mode says.
class RegServer {
 public:
  enum Mode { kAnswer, kRefuse, kUnknown, kSilent, kGarbage, kBadSize, kCloseAfterHeader };
  RegServer(Mode mode, const std::string& key_file, std::string text = "")
      : mode_(mode), text_(std::move(text)) {
    lfd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(lfd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(lfd_, 2) == 0 &&
        getsockname(lfd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      port_ = ntohs(a.sin_port);
    p2p_create_keyfile(key_file.c_str());
    p2p_cli_switch_keyfile(key_file.c_str());
    thread_ = std::thread([this] { serve(); });
  }
  ~RegServer() {
    stop_ = true;
    thread_.join();
    close(lfd_);
    p2p_cli_clear_key();
  }
  int port() const { return port_; }
  // What came in (valid once the request has been answered).
  bool got_body() const { return got_body_; }
  const P2pMsgHeader& head() const { return head_; }
  const P2pRegisterBody& body() const { return body_; }

 private:
  void serve() {
    pollfd p{lfd_, POLLIN, 0};
    for (int i = 0; i < 100 && !stop_ && poll(&p, 1, 50) == 0; ++i) {
    }
    if (stop_ || !(p.revents & POLLIN)) return;
    const int fd = accept(lfd_, nullptr, nullptr);
    if (fd < 0) return;
    if (p2p_recv(fd, &head_, sizeof head_, 128, 5000) == sizeof head_ &&
        p2p_recv(fd, &body_, sizeof body_, head_.size, 5000) == sizeof body_)
      got_body_ = true;
    P2pMsgHeader h;
    std::memset(&h, 0, sizeof h);
    h.type = 2;
    h.version = 1;
    switch (mode_) {
      case kAnswer:
        h.size = rsa_cal_ensize(static_cast<int>(text_.size()));
        p2p_send(fd, &h, sizeof h, 2000);
        p2p_send(fd, text_.data(), static_cast<int>(text_.size()), 2000);
        break;
      case kRefuse:
      case kUnknown:
        h.result = mode_ == kRefuse ? 2 : 7;
        p2p_send(fd, &h, sizeof h, 2000);
        break;
      case kBadSize:
        h.size = 100;
        p2p_send(fd, &h, sizeof h, 2000);
        break;
      case kGarbage: {
        const std::string noise(128, '\xab');
        send(fd, noise.data(), noise.size(), MSG_NOSIGNAL);
        break;
      }
      case kCloseAfterHeader:
        h.size = 128;
        p2p_send(fd, &h, sizeof h, 2000);
        break;
      case kSilent: {
        // Holds the link open until the recorder gives up and closes it.
        char c;
        pollfd q{fd, POLLIN, 0};
        for (int i = 0; i < 100 && !stop_ && poll(&q, 1, 50) == 0; ++i) {
        }
        if (q.revents & POLLIN) (void)recv(fd, &c, 1, 0);
        break;
      }
    }
    close(fd);
  }

  Mode mode_;
  std::string text_;
  int lfd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  bool got_body_ = false;
  P2pMsgHeader head_{};
  P2pRegisterBody body_{};
  std::thread thread_;
};

class P2pRegisterE2e : public ServicesE2e {
 protected:
  void SetUp() override {
    ServicesE2e::SetUp();
    mkdir(env_.path("/tmp").c_str(), 0755);
    key_ = env_.path("/tmp/p2p-server.key");
    env_.start_sim();
    P2pRecord rec = p2p_record(1, 0);
    copy_field(rec.cloud1, "c1");
    copy_field(rec.cloud2, "c2");
    copy_field(rec.cloud3, "c3");
    copy_field(rec.cloud4, "c4");
    ASSERT_EQ(write_p2p_info(ZRDB_PATH, &rec), 0);
    zrdb_close_all();
  }
  void use_server(int port) {
    ASSERT_EQ(set_param_value(ZRDB_PATH, "p2p_server", ("127.0.0.1:" + std::to_string(port)).c_str()), 0);
    zrdb_close_all();
  }
  CgiResult test_p2p(std::vector<std::string>* j) {
    return post("/7062", R"({"sn":"SN-0001","deviceName":"Front door"})", j, {{"NVR_P2P_TIMEOUT_MS", "1000"}});
  }
  std::string key_;
};

TEST_F(P2pRegisterE2e, RegisteredSendsTheServerTextToTheCore) {
  RegServer server(RegServer::kAnswer, key_, "REG-CODE-77");
  use_server(server.port());
  std::vector<std::string> j;
  EXPECT_EQ(test_p2p(&j).out, text_reply("0"));
  EXPECT_EQ(j, std::vector<std::string>{line(3700, to_hex("REG-CODE-77", 11))});

  ASSERT_TRUE(server.got_body());
  EXPECT_EQ(server.head().type, 2);
  EXPECT_EQ(server.head().size, 640);
  EXPECT_EQ(server.head().result, 0);
  EXPECT_EQ(server.head().version, 1);
  char mac0[18] = {}, mac1[18] = {};
  get_mac_addr(mac0, mac1);
  EXPECT_STREQ(server.body().mac, mac0);
  EXPECT_STREQ(server.body().deviceName, "Front door");
  EXPECT_STREQ(server.body().sn, "SN-0001");
  EXPECT_STREQ(server.body().cloud1, "c1");
  EXPECT_STREQ(server.body().cloud3, "c3");
  EXPECT_STREQ(server.body().cloud4, "c4");

  // The core now reports the code; unbinding drops it.
  EXPECT_NE(post("/7060", "", &j).out.find(R"("registerCode":"REG-CODE-77")"), std::string::npos);
  EXPECT_EQ(post("/7095", "", &j).out, json_reply(R"({"res":0})"));
  EXPECT_NE(post("/7060", "", &j).out.find(R"("registerCode":"")"), std::string::npos);
}

TEST_F(P2pRegisterE2e, ServerTextIsBounded) {
  RegServer server(RegServer::kAnswer, key_, std::string(300, 'r'));
  use_server(server.port());
  std::vector<std::string> j;
  EXPECT_EQ(test_p2p(&j).out, text_reply("0"));
  EXPECT_EQ(j, std::vector<std::string>{line(3700, to_hex(std::string(128, 'r').data(), 128))});
}

TEST_F(P2pRegisterE2e, FailedRegistrationsAnswerTheirCode) {
  const struct {
    RegServer::Mode mode;
    const char* text;
    const char* out;
  } rows[] = {
      {RegServer::kRefuse, "", "2"},
      {RegServer::kUnknown, "", "2"},   // not registered, never 0
      {RegServer::kSilent, "", "3"},    // gives up at its deadline
      {RegServer::kGarbage, "", "3"},
      {RegServer::kBadSize, "", "3"},
      {RegServer::kCloseAfterHeader, "", "3"},
      {RegServer::kAnswer, "line\nbreak", "3"},  // not a text for the core
      {RegServer::kAnswer, "\0code", "3"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.mode);
    RegServer server(row.mode, key_, row.text[0] ? row.text : std::string("\0code", 5));
    use_server(server.port());
    std::vector<std::string> j;
    EXPECT_EQ(test_p2p(&j).out, text_reply(row.out));
    EXPECT_TRUE(j.empty());
  }
}

TEST_F(P2pRegisterE2e, UnreachableServerAndKeyFileFailure) {
  std::vector<std::string> j;
  {
    RegServer gone(RegServer::kRefuse, key_);
    use_server(gone.port());
  }  // closed: nobody listens on that port any more
  EXPECT_EQ(test_p2p(&j).out, text_reply("3"));
  for (const char* setting : {"127.0.0.1:0", "127.0.0.1:x", "bad host", ":9999"}) {
    SCOPED_TRACE(setting);
    ASSERT_EQ(set_param_value(ZRDB_PATH, "p2p_server", setting), 0);
    zrdb_close_all();
    EXPECT_EQ(test_p2p(&j).out, text_reply("3"));
  }

  // A folder where the key file belongs: key file failure.
  ASSERT_EQ(mkdir(env_.path("/mnt/nand/app/p2p_client.key").c_str(), 0755), 0);
  RegServer server(RegServer::kAnswer, key_, "code");
  use_server(server.port());
  EXPECT_EQ(test_p2p(&j).out, text_reply("4"));
  EXPECT_TRUE(j.empty());
}

}  // namespace
