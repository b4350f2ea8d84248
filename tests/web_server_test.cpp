// The handler behind lighttpd, as on the recorder: signing in, requests with
// the session cookie, uploads and downloads byte for byte, refusals, many
// clients saving at once, and the core daemon going away mid-request.
#include <dirent.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "account_test_util.h"
#include "core/text_codecs.h"
#include "web_server.h"

namespace {

constexpr uint32_t kLiveViewOnly = 1u << AREA_LIVE_VIEW;
const std::string kBoundary = "----nvrWebServerTest7f3a";

std::string multipart(const std::string& file_name, const std::string& content) {
  return "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + file_name +
         "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n--" + kBoundary + "--\r\n";
}

std::string binary_content(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 197 + 11) & 0xff);
  s.replace(100, 4, "\r\n\r\n");
  return s;
}

std::vector<std::string> dir_names(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The body of a CGI result, after its header block.
std::string cgi_body(const CgiResult& r) {
  const size_t at = r.out.find("\r\n\r\n");
  return at == std::string::npos ? r.out : r.out.substr(at + 4);
}

class WebServerTest : public AccountsTest {
 protected:
  void SetUp() override {
    AccountsTest::SetUp();
    if (!std::string(std::getenv("NVR_TEST_EMULATOR") ? std::getenv("NVR_TEST_EMULATOR") : "").empty())
      GTEST_SKIP() << "lighttpd runs native programs only; the cross build is tested without it";
    add_user({1, "viewer", "view-pw", 2, kLiveViewOnly});
    zrdb_close_all();
  }
  void start_server(const std::map<std::string, std::string>& cgi_env = {}) {
    ASSERT_TRUE(server_.start(cgi_env)) << server_.why();
  }
  std::string sign_in(const std::string& user, const std::string& password) {
    HttpReply r = server_.post_json("/1000", login_body(user, md5_hex(password)));
    std::string cookie = session_cookie(r, user);
    EXPECT_FALSE(cookie.empty()) << r.status << " " << r.body;
    return cookie;
  }
  // What webcgi answers when run directly for the same request.
  CgiResult direct(const std::string& name, const std::string& query) {
    CgiRequest req;
    req.path_info = name;
    req.query = query;
    return env_.run(req);
  }

  WebServer server_{env_};
};

TEST_F(WebServerTest, SignedInPagesUploadsAndDownloadsPassThroughWhole) {
  start_server();
  const std::string admin = sign_in("admin", "admin-pw");
  ASSERT_FALSE(admin.empty());

  // A GET with JSON in the query, as the page sends it ("%22" for quotes):
  // the same answer as the program gives when run directly.
  HttpReply r = server_.get("/2000", "{%22chnid%22:1}", admin);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.header("Content-type"), "application/json");
  EXPECT_EQ(r.body, cgi_body(direct("/2000", "{%22chnid%22:1}")));
  EXPECT_EQ(r.body.rfind("{\"id\":1,", 0), 0u) << r.body;

  // A JSON POST saves; the getter reads it back.
  r = server_.post_json("/6045",
                        R"({"cnt":1,"chnid":[2],"camAnr":0,"prevRecordOn":1,"prevRecordDuration":7,"postRecordOn":1,)"
                        R"("postRecordDuration":30,"audioEnable":1,"recordExpDate":0,"recordStreamType":1})",
                        admin);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, R"({"resp":0})");
  r = server_.get("/6044", "2", admin);
  EXPECT_NE(r.body.find(R"("id":2,"prevRecordOn":1,"prevRecordDuration":7,"postRecordOn":1,"postRecordDuration":30,)"
                        R"("audioEnable":1,"recordStreamType":1)"),
            std::string::npos)
      << r.body;

  // A multipart upload arrives byte for byte and leaves no temporary file.
  const std::string wav = binary_content(300000);
  HttpRequest up;
  up.method = "POST";
  up.target = "/cgi-bin/webcgi/6321";
  up.cookie = admin;
  up.content_type = "multipart/form-data; boundary=" + kBoundary;
  up.body = multipart("door.wav", wav);
  r = http_exchange(server_.port(), up);
  EXPECT_EQ(r.status, 200) << r.body;
  char encoded[128] = {};
  ASSERT_GT(base64EncodeUrl("door.wav", 8, encoded, sizeof encoded), 0);
  EXPECT_EQ(env_.read_file(std::string("/tmp/") + encoded), wav);
  EXPECT_EQ(dir_names(env_.path("/tmp")), std::vector<std::string>{encoded});

  // A download arrives byte for byte with its headers.
  const std::string csr = binary_content(70000);
  env_.write_file("/mnt/nand/ssl/tmp/ssl_cert.csr", csr);
  r = server_.get("/7082", "", admin);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.header("Content-Disposition"), "attachment; filename= ssl_cert.csr");
  EXPECT_EQ(r.body, csr);

  // Without a session: 401; a viewer asking for a setting: 403.
  EXPECT_EQ(server_.get("/6044", "2").status, 401);
  EXPECT_EQ(server_.get("/6044", "2", "userName=admin; sessionId=" + std::string(32, '1')).status, 401);
  const std::string viewer = sign_in("viewer", "view-pw");
  EXPECT_EQ(server_.post_json("/6076", "", viewer).status, 403);
  EXPECT_EQ(server_.get("/6044", "2", viewer).status, 403);

  // Signed out, the cookie opens nothing.
  EXPECT_EQ(server_.get("/1014", "", admin).status, 200);
  EXPECT_EQ(server_.get("/6044", "2", admin).status, 401);
}

TEST_F(WebServerTest, SixteenClientsSavingAtOnceLoseNoAnsweredSave) {
  start_server();
  const std::string admin = sign_in("admin", "admin-pw");
  ASSERT_FALSE(admin.empty());
  constexpr int kClients = 16, kSaves = 40, kChannelClients = 12;
  // Clients 0..11 save the recording settings of their own channel; clients
  // 12..15 each save one text field of the one shared e-mail record.
  const char* const kMailFields[] = {"userName", "smtpServer", "senderName", "senderAddr"};
  std::vector<int> last_ok(kClients, -1);
  std::vector<std::string> failures(kClients);
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; i < kSaves; ++i) {
        HttpReply r;
        bool ok = false;
        if (c < kChannelClients) {
          r = server_.post_json("/6045",
                                "{\"cnt\":1,\"chnid\":[" + std::to_string(c) +
                                    "],\"camAnr\":0,\"prevRecordOn\":1,\"prevRecordDuration\":" + std::to_string(i) +
                                    ",\"postRecordOn\":0,\"postRecordDuration\":5,\"audioEnable\":0,"
                                    "\"recordExpDate\":0,\"recordStreamType\":0}",
                                admin);
          ok = r.status == 200 && r.body == R"({"resp":0})";
        } else {
          r = server_.post_json("/7031",
                                std::string("{\"smtpPort\":25,\"enableTls\":0,\"enableAttach\":0,\"captureInterval\":5,\"") +
                                    kMailFields[c - kChannelClients] + "\":\"v" + std::to_string(i) + "\"}",
                                admin);
          ok = r.status == 200 && r.body == "OK";
        }
        if (ok) last_ok[c] = i;
        else if (failures[c].empty()) failures[c] = std::to_string(r.status) + " " + r.body;
      }
    });
  }
  for (std::thread& t : clients) t.join();

  for (int c = 0; c < kClients; ++c) {
    SCOPED_TRACE("client " + std::to_string(c));
    EXPECT_EQ(failures[c], "");
    ASSERT_GE(last_ok[c], 0);
    if (c < kChannelClients) {
      HttpReply r = server_.get("/6044", std::to_string(c), admin);
      EXPECT_NE(r.body.find("\"id\":" + std::to_string(c) + ",\"prevRecordOn\":1,\"prevRecordDuration\":" +
                            std::to_string(last_ok[c]) + ","),
                std::string::npos)
          << r.body;
    } else {
      HttpReply r = server_.get("/7030", "", admin);
      const std::string want = std::string("\"") + kMailFields[c - kChannelClients] + "\":\"v" +
                               std::to_string(last_ok[c]) + "\"";
      EXPECT_NE(r.body.find(want), std::string::npos) << want << " in " << r.body;
    }
  }
  // Nothing left behind in the temporary folder, and the core stand-in saw
  // every save's notification.
  EXPECT_EQ(dir_names(env_.path("/tmp")), std::vector<std::string>{});
  EXPECT_EQ(env_.journal_of(1310).size(), static_cast<size_t>(kChannelClients * kSaves));
}

}  // namespace
