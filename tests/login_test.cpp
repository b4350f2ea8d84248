// Login, logout, sessions (expiry, forged cookies, client address),
// login throttling, login from a mail link, language texts and list.
#include <sys/stat.h>

#include <cctype>
#include <cstdio>

#include "account_test_util.h"
#include "core/access.h"
#include "core/cgi_util.h"
#include "core/clock.h"
#include "core/session.h"

namespace {
constexpr uint32_t kLiveViewOnly = 1u << AREA_LIVE_VIEW;

class LoginTest : public AccountsTest {
 protected:
  void SetUp() override {
    AccountsTest::SetUp();
    add_user({1, "viewer", "view-pw", 2, kLiveViewOnly});
    add_user({2, "banned", "banned-pw", 3, 0});
    // A freed slot still holding a name and a digest must never match.
    UserRecord ghost = make_user({3, "ghost", "ghost-pw", 1, 0});
    ghost.enable = 0;
    put_user(ghost);
    // A cleared slot: empty name, empty digest.
    UserRecord blank;
    std::memset(&blank, 0, sizeof blank);
    blank.id = 4;
    blank.enable = 1;
    put_user(blank);
  }
};

TEST_F(LoginTest, SuccessfulLoginAnswersAllMembersInOrderAndLogsTheUser) {
  CgiResult r = login("viewer", md5_hex("view-pw"));
  const std::string id = session_of(r);
  ASSERT_EQ(id.size(), 32u) << r.out;
  EXPECT_EQ(r.out, kTextHeader +
                       "{\"type\":2,\"userName\":\"viewer\",\"permission\":7,\"localLiveView\":1,"
                       "\"localPlayback\":2,\"localRetrieve\":3,\"localSmartAnalysis\":4,\"localEvent\":5,"
                       "\"localCamera\":6,\"localStorage\":7,\"localSettings\":8,\"localStatus\":9,"
                       "\"localShutdown\":10,\"localliveview\":\"1100\",\"localplayback\":\"0011\","
                       "\"remotePermisson\":9,\"remoteLiveView\":1,\"remotePlayback\":0,\"remoteRetrieve\":0,"
                       "\"remoteSmartAnalysis\":0,\"remoteEvent\":0,\"remoteCamera\":0,\"remoteStorage\":0,"
                       "\"remoteSettings\":0,\"remoteStatus\":0,\"remoteShutdown\":0,\"remoteliveview\":\"1010\","
                       "\"remoteplayback\":\"0101\",\"sessionId\":\"" +
                       id +
                       "\",\"failoverMode\":0,\"sameChannel\":0,\"hardwareVersion\":\"V1.1\","
                       "\"softwareVersion\":\"7x.7.0.9\",\"model\":\"\"}");
  OperationLogInfo log = expected_log_record(201, 900, 0);
  copy_field(log.user_name, "viewer");
  EXPECT_EQ(env_.journal_of(3485), std::vector<std::string>{record_hex(log)});
  EXPECT_TRUE(env_.exists("/mnt/nand/ssl/tmp"));
  // Two logins never share an id.
  EXPECT_NE(session_of(login("viewer", md5_hex("view-pw"))), id);
}

TEST_F(LoginTest, RefusedLoginsAnswerOnlyTheTypeAndLeaveNoTrace) {
  struct Row {
    const char* name;
    std::string digest;
    int type;
  } rows[] = {
      {"admin", md5_hex("admin-pw"), 0},
      {"admin", [] {
         std::string d = md5_hex("admin-pw");
         for (char& c : d) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
         return d;
       }(), 0},
      {"admin", md5_hex("wrong"), -1},
      {"admin", md5_hex("admin-pw").substr(0, 31), -1},
      {"admin", "", -1},
      {"nobody", "", -1},
      {"nobody", md5_hex("admin-pw"), -1},
      {"", md5_hex("admin-pw"), -1},
      {"", "", -1},  // the cleared slot
      {"ghost", md5_hex("ghost-pw"), -1},
      {"banned", md5_hex("banned-pw"), -2},
      {"banned", md5_hex("wrong"), -2},
  };
  for (const Row& row : rows) {
    const int before = session_count();
    CgiResult r = login(row.name, row.digest);
    if (row.type < 0) {
      EXPECT_EQ(r.out, kTextHeader + "{\"type\":" + std::to_string(row.type) + "}") << row.name << " " << row.digest;
      EXPECT_EQ(session_count(), before) << row.name;
    } else {
      EXPECT_EQ(r.out.rfind(kTextHeader + "{\"type\":" + std::to_string(row.type) + ",", 0), 0u) << r.out;
      EXPECT_EQ(session_count(), before + 1) << row.name;
    }
    // Stay under the failure limit: successes clear the count.
    if (row.type < 0) login("admin", md5_hex("admin-pw"));
  }
  // Only the successful logins were logged.
  EXPECT_EQ(env_.journal_of(3485).size(), 2u + 10u);
}

TEST_F(LoginTest, SessionStoreFoldersAreMadeOrTheLoginFailsAsAnError) {
  // A root without "/dev/shm": the folders are made.
  ASSERT_EQ(std::system(("rm -rf '" + env_.path("/dev/shm") + "'").c_str()), 0);
  const std::string cookie = cookie_for("viewer", "view-pw");
  EXPECT_TRUE(passed_access(run("/4010", "", cookie).out));
  // A store that cannot be made: an error, not the wrong-password reply,
  // and the reason in the debug log.
  ASSERT_EQ(std::system(("rm -rf '" + env_.path("/dev/shm") + "'").c_str()), 0);
  env_.write_file("/dev/shm", "not a folder");
  EXPECT_EQ(login("viewer", md5_hex("view-pw")).out, kTextHeader + "CGI ERROR");
  const std::string log = env_.read_file("/mnt/nand/cgi_log.txt");
  EXPECT_NE(log.find("cannot make " + env_.path("/dev/shm/websession") + ": Not a directory"), std::string::npos) << log;
  EXPECT_NE(log.find("session store unavailable, login of viewer refused"), std::string::npos) << log;
  EXPECT_TRUE(env_.journal_of(3485).size() == 1u);  // only the first login was logged
}

TEST_F(LoginTest, SameChannelIsOneOnlyForTwo) {
  for (int value : {0, 1, 2, 3}) {
    ASSERT_EQ(set_param_int(ZRDB_PATH, "same_channel_exist", value), 0);
    CgiResult r = login("admin", md5_hex("admin-pw"));
    EXPECT_NE(r.out.find(value == 2 ? "\"sameChannel\":1," : "\"sameChannel\":0,"), std::string::npos) << value;
  }
}

TEST_F(LoginTest, LogoutEndsTheSessionAndLogsTheSessionUser) {
  const std::string cookie = cookie_for("admin", "admin-pw");
  EXPECT_EQ(run("/6076", "", cookie).out, kTextHeader + "OK");
  EXPECT_EQ(run("/1014", "", cookie).out, kTextHeader + "OK");
  EXPECT_EQ(env_.journal_of(3485).back(), record_hex(expected_log_record(202, 900, 0)));
  EXPECT_EQ(run("/6076", "", cookie).out, kUnauthorized);
  EXPECT_EQ(run("/1014", "", cookie).out, kUnauthorized);
  // Other sessions of the same user live on.
  EXPECT_EQ(run("/6076").out, kTextHeader + "OK");
}

TEST_F(LoginTest, SessionExpiresAfterThirtyIdleMinutes) {
  const long long t0 = 2000000000;
  const std::string cookie = cookie_for("admin", "admin-pw", "127.0.0.1", std::to_string(t0));
  // Each use restarts the thirty minutes.
  EXPECT_EQ(run("/6076", "", cookie, std::to_string(t0 + 1800)).out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076", "", cookie, std::to_string(t0 + 3600)).out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076", "", cookie, std::to_string(t0 + 5401)).out, kUnauthorized);
  // Gone for good, even at an earlier clock.
  EXPECT_EQ(run("/6076", "", cookie, std::to_string(t0 + 3601)).out, kUnauthorized);
}

TEST_F(LoginTest, SettingTheClockEndsNoSession) {
  // Idle time is counted since boot: the recorder's clock set a year ahead
  // (or back) changes nothing, thirty idle minutes still end the session.
  const long long up = 500000, wall = 2000000000, year = 365LL * 86400;
  const std::string cookie = cookie_for("admin", "admin-pw", "127.0.0.1", std::to_string(up), std::to_string(wall));
  EXPECT_EQ(run("/6076", "", cookie, std::to_string(up + 60), std::to_string(wall + year)).out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076", "", cookie, std::to_string(up + 120), std::to_string(wall - year)).out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076", "", cookie, std::to_string(up + 1921), std::to_string(wall + 180)).out, kUnauthorized);
  // A login block ends after its minute of boot time whatever the clock says.
  for (int i = 0; i < LOGIN_FAIL_LIMIT; ++i)
    login("admin", md5_hex("guess"), "10.0.0.9", std::to_string(up + i), std::to_string(wall));
  const std::string good = md5_hex("admin-pw");
  EXPECT_EQ(login("admin", good, "10.0.0.9", std::to_string(up + 30), std::to_string(wall - year)).out,
            kTextHeader + "{\"type\":-1}");
  EXPECT_EQ(session_of(login("admin", good, "10.0.0.9", std::to_string(up + 70), std::to_string(wall - year))).size(),
            32u);
}

TEST_F(LoginTest, ManyLoginsOfOneAccountNeverEndAnothersSession) {
  // One login a second, near the real boot-time clock of this machine.
  const long long t = nvr_uptime();
  auto at = [t](long long s) { return std::to_string(t + s); };
  const std::string admin = cookie_for("admin", "admin-pw", "127.0.0.1", at(0));
  std::vector<std::string> viewer;
  for (int i = 0; i < 32; ++i) viewer.push_back(cookie_for("viewer", "view-pw", "127.0.0.1", at(1 + i)));
  EXPECT_EQ(run("/6076", "", admin, at(40)).out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076").out, kTextHeader + "OK");  // the harness's own administrator session
  // The viewer keeps the eight most recent logins; each new one dropped
  // the viewer's own least recently used session.
  for (int i = 0; i < 32; ++i) {
    const std::string out = run("/4010", "", viewer[static_cast<size_t>(i)], at(40)).out;
    EXPECT_EQ(passed_access(out), i >= 24) << i << " " << out;
  }
  EXPECT_EQ(session_count_of(1), SESSION_PER_ACCOUNT);

  // Many logins within one second (a polling client) beside a browser in
  // use: the ninth drops the session used longest ago, never the browser's
  // and never the one just made.
  add_user({5, "poller", "poll-pw", 2, kLiveViewOnly});
  const std::string browser = cookie_for("poller", "poll-pw", "127.0.0.1", at(50));
  std::vector<std::string> polls;
  for (int i = 0; i < SESSION_PER_ACCOUNT; ++i) {
    if (i == SESSION_PER_ACCOUNT - 1) {
      EXPECT_TRUE(passed_access(run("/4010", "", browser, at(50)).out));
    }
    polls.push_back(cookie_for("poller", "poll-pw", "127.0.0.1", at(50)));
  }
  EXPECT_TRUE(passed_access(run("/4010", "", browser, at(50)).out));
  EXPECT_TRUE(passed_access(run("/4010", "", polls.back(), at(50)).out));
  EXPECT_EQ(run("/4010", "", polls.front(), at(50)).out, kUnauthorized);
  EXPECT_EQ(session_count_of(5), SESSION_PER_ACCOUNT);
}

TEST_F(LoginTest, CookiesMustNameTheSessionOfTheirOwnUserAndAddress) {
  const std::string viewer_id = session_of(login("viewer", md5_hex("view-pw")));
  const std::string admin_id = session_of(login("admin", md5_hex("admin-pw")));
  // Nine Chinese characters: 27 bytes, which pages send percent-encoded
  // (81 characters).
  const std::string wide = "\u5f20\u4f1f\u738b\u82b3\u674e\u5a1c\u5218\u6d0b\u9648";
  std::string wide_enc;
  for (unsigned char c : wide) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%%%02X", c);
    wide_enc += hex;
  }
  add_user({6, wide.c_str(), "wide-pw", 0, 0});
  const std::string wide_id = session_of(login(wide, md5_hex("wide-pw")));
  const std::string long_enc = wide_enc + wide_enc + wide_enc.substr(0, 27);  // decodes to 63 bytes
  struct Row {
    std::string cookie;
    std::string addr;
    std::string want;
  } rows[] = {
      {"userName=admin; sessionId=" + admin_id, "127.0.0.1", kTextHeader + "OK"},
      {"sessionId=" + admin_id + "; userName=admin", "127.0.0.1", kTextHeader + "OK"},
      // A viewer's session id under the administrator's name.
      {"userName=admin; sessionId=" + viewer_id, "127.0.0.1", kUnauthorized},
      {"userName=viewer; sessionId=" + admin_id, "127.0.0.1", kUnauthorized},
      {"userName=admin", "127.0.0.1", kUnauthorized},
      {"sessionId=" + admin_id, "127.0.0.1", kUnauthorized},
      {"userName=admin; sessionId=0", "127.0.0.1", kUnauthorized},
      {"userName=admin; sessionId=" + admin_id + "0", "127.0.0.1", kUnauthorized},
      {"userName=admin; sessionId=" + admin_id.substr(0, 31) + "x", "127.0.0.1", kUnauthorized},
      // The right cookies from another machine.
      {"userName=admin; sessionId=" + admin_id, "10.1.1.1", kUnauthorized},
      // A name the store holds, as the page sends it or plain.
      {"userName=" + wide_enc + "; sessionId=" + wide_id, "127.0.0.1", kTextHeader + "OK"},
      {"userName=" + wide + "; sessionId=" + wide_id, "127.0.0.1", kTextHeader + "OK"},
      {"userName=" + wide_enc + "; sessionId=" + admin_id, "127.0.0.1", kUnauthorized},
      // Longer than any account name once decoded, or another name.
      {"userName=" + long_enc + "%41; sessionId=" + wide_id, "127.0.0.1", kUnauthorized},
      {"userName=" + long_enc + "; sessionId=" + wide_id, "127.0.0.1", kUnauthorized},
  };
  for (const Row& row : rows) {
    CgiRequest req = post("/6076", "", row.cookie);
    req.env["REMOTE_ADDR"] = row.addr;
    EXPECT_EQ(env_.run(req).out, row.want) << row.cookie << " from " << row.addr;
  }
  // The viewer's own session works for the viewer's pages only.
  EXPECT_EQ(run("/6076", "", "userName=viewer; sessionId=" + viewer_id).out, kForbidden);
}

TEST_F(LoginTest, OperationLogNamesTheSessionUserNotTheCookie) {
  add_user({5, "second", "second-pw", 0, 0});
  const std::string id = session_of(login("second", md5_hex("second-pw")));
  // The name the cookie shows is checked, so the log can only name the owner.
  EXPECT_EQ(run("/1014", "", "userName=second; sessionId=" + id + "; user=admin").out, kTextHeader + "OK");
  OperationLogInfo log = expected_log_record(202, 900, 0);
  copy_field(log.user_name, "second");
  EXPECT_EQ(env_.journal_of(3485).back(), record_hex(log));
}

TEST_F(LoginTest, FiveFailuresWithinAMinuteBlockTheAddressForAMinute) {
  const long long t0 = 2000000000;
  const std::string good = md5_hex("admin-pw");
  const std::string bad = md5_hex("guess");
  for (int i = 0; i < 4; ++i) login("admin", bad, "10.0.0.5", std::to_string(t0 + i));
  // Four failures, then a success: the count starts again.
  EXPECT_EQ(session_of(login("admin", good, "10.0.0.5", std::to_string(t0 + 5))).size(), 32u);
  for (int i = 0; i < 5; ++i) login("nobody", bad, "10.0.0.5", std::to_string(t0 + 10 + i));
  // Blocked: even the right password is refused, and nothing is logged.
  const size_t logs = env_.journal_of(3485).size();
  EXPECT_EQ(login("admin", good, "10.0.0.5", std::to_string(t0 + 20)).out, kTextHeader + "{\"type\":-1}");
  EXPECT_EQ(env_.journal_of(3485).size(), logs);
  // Other addresses are not locked out.
  EXPECT_EQ(session_of(login("admin", good, "10.0.0.6", std::to_string(t0 + 20))).size(), 32u);
  // A minute after the block began the address may log in again.
  EXPECT_EQ(login("admin", good, "10.0.0.5", std::to_string(t0 + 73)).out, kTextHeader + "{\"type\":-1}");
  EXPECT_EQ(session_of(login("admin", good, "10.0.0.5", std::to_string(t0 + 74))).size(), 32u);
  // Failures spread over more than a minute never block.
  for (int i = 0; i < 8; ++i) login("admin", bad, "10.0.0.7", std::to_string(t0 + 100 + i * 20));
  EXPECT_EQ(session_of(login("admin", good, "10.0.0.7", std::to_string(t0 + 261))).size(), 32u);
}

TEST_F(LoginTest, MailLinkLoginGivesAViewerSessionOnly) {
  CgiRequest req = get("/1018", "token-123", "");
  req.anonymous = true;
  req.env["HTTP_HOST"] = "192.168.1.10:8080";
  CgiResult r = env_.run(req);
  char token[256] = "token-123";
  EXPECT_EQ(env_.journal_of(3504), std::vector<std::string>{to_hex(token, sizeof token)});
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex("sessionId=([0-9]{32}); domain")));
  const std::string id = m[1].str();
  const std::string expiry = "expires=[A-Z][a-z]{2}, [0-9]{2}-[A-Z][a-z]{2}-[0-9]{4} [0-9:]{8} GMT";
  std::string want = "";
  for (const char* c : {"userName=temp", "userType=2", "permission=0", "sessionId=[0-9]{32}", "language=en-US"})
    want += std::string("Set-Cookie: ") + c + "; domain=192\\.168\\.1\\.10; " + expiry + "; path=/; SameSite=Strict\r\n";
  want += "Location: \\.\\./\\.\\./html/index\\.html\r\n\r\n";
  EXPECT_TRUE(std::regex_match(r.out, std::regex(want))) << r.out;

  const std::string cookie = "userName=temp; sessionId=" + id;
  EXPECT_TRUE(passed_access(run("/4010", "", cookie).out));  // live view passes the check
  EXPECT_EQ(run("/6070", "", cookie).out, kForbidden);
  EXPECT_EQ(run("/2001", "", cookie).out, kForbidden);
  EXPECT_EQ(run("/1014", "", cookie).out, kTextHeader + "OK");
}

TEST_F(LoginTest, MailLinkRefusedOrUnansweredSetsNoCookie) {
  env_.start_sim("3504 reply type=8504 hex=01000000\n");
  const int sessions = session_count();
  CgiRequest req = get("/1018", "bad", "");
  req.anonymous = true;
  EXPECT_EQ(env_.run(req).out, "Location: ../../html/home.html\r\n\r\n");
  EXPECT_EQ(session_count(), sessions);
  env_.start_sim("3504 none\n");
  req.env["NVR_IPC_WAIT_MS"] = "200";
  EXPECT_EQ(env_.run(req).out, kTextHeader + "CGI ERROR");
}

TEST_F(LoginTest, LanguagePageSections) {
  env_.write_file("/opt/app/www/webfile/json/en.json",
                  "header\n{//login.json\n\"a\":1,\n\"b\":2\n}//login.json\n"
                  "{//set=net.json\n\"c\":3\n}//set=net.json\ntrailer\n");
  struct Row {
    const char* query;
    std::string want;
  } rows[] = {
      {"lang=en&page=login&", kJsonHeader + "{\n\"a\":1,\n\"b\":2\n\n}"},
      {"lang=en&page=set&sub=net&", kJsonHeader + "{\n\"c\":3\n\n}"},
      {"lang=en&page=missing&", kJsonHeader},
      {"lang=en&page=login", kTextHeader + "ERROR PAGE."},
      {"lang=en&", kTextHeader + "ERROR PAGE."},
      {"lang=fr&page=login&", kTextHeader + "ERROR LANG."},
      {"lang=../../../../etc/passwd%00&page=login&", kTextHeader + "ERROR LANG."},
      {"lang=..&page=login&", kTextHeader + "ERROR LANG."},
      {"lang=/en&page=login&", kTextHeader + "ERROR LANG."},
  };
  for (const Row& row : rows) {
    CgiRequest req = get("/json", row.query, "");
    req.anonymous = true;  // the login page needs the texts before a login
    EXPECT_EQ(env_.run(req).out, row.want) << row.query;
  }
}

std::string language_list(int entries, const std::string& extra = "") {
  std::string list;
  for (int i = 0; i < entries; ++i)
    list += std::string(i ? "," : "") + "{\"value\":\"l" + std::to_string(i) + "\",\"name\":\"L\",\"isDefault\":" +
            (i ? "false" : "true") + "}";
  return "{\"defaultLan\":\"l0\",\"list\":[" + list + "]" + extra + "}";
}

TEST_F(LoginTest, LanguageListIsReplacedWholeOrNotAtAll) {
  const std::string list_path = "/opt/app/www/webfile/json/languages.json";
  env_.write_file(list_path, "old");
  struct Row {
    std::string body;
    bool accepted;
  } rows[] = {
      {language_list(18), false},
      {language_list(19, ",\"x\":1"), false},
      {"{\"defaultLan\":\"\",\"list\":[]}", false},
      {"{\"defaultLan\":\"l0\",\"list\":[1,2]}", false},
      {"{\"defaultLan\":\"l0\",\"list\":{}}", false},
      {"not json", false},
      {language_list(19), true},
  };
  for (const Row& row : rows) {
    CgiResult r = run("/1001", row.body);
    EXPECT_EQ(r.out, row.accepted ? kTextHeader + "OK" : "") << row.body;
    EXPECT_EQ(env_.read_file(list_path), row.accepted ? row.body : "old") << row.body;
  }
  EXPECT_FALSE(env_.exists("/opt/app/www/webfile/json/languages_bak.json"));
  // A temporary file that cannot be written leaves the current list.
  mkdir(env_.path("/opt/app/www/webfile/json/languages_bak.json").c_str(), 0755);
  EXPECT_EQ(run("/1001", language_list(20)).out, "");
  EXPECT_EQ(env_.read_file(list_path), language_list(19));
}
}  // namespace
