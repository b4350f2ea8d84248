// Access control: the rights table against every request name, no request
// without a live session but the pre-login list, rights refusals, and the
// pure pieces under it (digests, session ids, channel masks).
#include <dirent.h>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "account_test_util.h"
#include "cgi/dispatchreq.h"
#include "core/access.h"
#include "core/clock.h"
#include "core/session.h"

namespace {
// Every request name of the eleven module tables.
std::vector<std::string> all_request_names() {
  std::vector<std::string> names;
  auto range = [&names](int first, int last) {
    for (int n = first; n <= last; ++n) names.push_back("/" + std::to_string(n));
  };
  range(3300, 3304);                                                    // aging
  range(6020, 6029), range(6032, 6034), range(6060, 6064);              // alarm
  range(2000, 2001), range(2003, 2082);                                 // camera
  for (int n : {7040, 7041, 7042, 7043, 7044, 7050, 7051, 7070, 7071, 7092, 7093, 7096, 7000, 7001,
                7010, 7011, 7020, 7021, 7094, 7030, 7031, 7032, 7033, 7034, 7090, 7091, 7060, 7061,
                7062, 7095, 7080, 7081, 7082, 7083, 7084, 7085, 7086, 7087, 7089})
    names.push_back("/" + std::to_string(n));                           // network
  range(5000, 5012), range(6050, 6057);                                 // ptz
  range(6030, 6031), range(6040, 6047);                                 // record
  range(8000, 8011);                                                    // status
  range(6100, 6109), range(6200, 6210), range(6220, 6227);              // storage
  range(4000, 4027), range(3000, 3004);                                 // stream
  range(1000, 1024), range(1030, 1034), range(6070, 6077), range(6080, 6089);  // system
  range(6300, 6301), range(6310, 6311), range(6320, 6325);
  for (const char* n : {"/json", "/vb.htm", "/oem", "/dw.cgi", "/ipc"}) names.push_back(n);
  range(6000, 6002), range(6010, 6019), range(6090, 6098), range(6112, 6154);  // video
  range(6157, 6186), range(6189, 6198), range(6996, 6999);
  return names;
}

const std::set<std::string> kPreLogin = {"/1000", "/1005", "/1018", "/json"};

TEST(AccessTable, CoversEveryRequestNameOnceWithoutOverlaps) {
  const std::vector<std::string> names = all_request_names();
  ASSERT_EQ(names.size(), 421u);
  ASSERT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 421u);
  for (const std::string& n : names) EXPECT_NE(access_row_for(n.c_str()), nullptr) << n;

  // Rows never overlap, so the order of the table cannot change a right.
  size_t count = 0;
  const AccessRow* rows = access_table(&count);
  for (int n = 0; n <= 9999; ++n) {
    char name[8];
    std::snprintf(name, sizeof name, "/%04d", n);
    int hits = 0;
    for (size_t i = 0; i < count; ++i)
      if (rows[i].last && std::strcmp(rows[i].first, name) <= 0 && std::strcmp(name, rows[i].last) <= 0) ++hits;
    EXPECT_LE(hits, 1) << name;
  }
  // Whatever the modules register is in the table too.
  RegisterAllWebModules();
  for (const std::string& n : names)
    if (FindWebRes(n.c_str())) {
      EXPECT_NE(access_row_for(n.c_str()), nullptr) << n;
    }
  EXPECT_EQ(access_row_for("/9999"), nullptr);
  EXPECT_EQ(access_right_for("/9999"), RIGHT_ADMIN);
  EXPECT_EQ(access_right_for("/1000 "), RIGHT_ADMIN);
  EXPECT_EQ(access_right_for("/10000"), RIGHT_ADMIN);
}

TEST(AccessTable, PreLoginListAndAdministratorNames) {
  for (const std::string& n : all_request_names())
    EXPECT_EQ(access_right_for(n.c_str()) == RIGHT_PUBLIC, kPreLogin.count(n) == 1) << n;
  for (const char* n : {"/6070", "/6071", "/6072", "/6073", "/6074", "/6075", "/6076", "/6077", "/1024", "/1001",
                        "/1006", "/1007", "/1008", "/1010", "/1013", "/1034", "/6082", "/6088", "/2078",
                        "/8005", "/8006", "/8007", "/vb.htm", "/oem", "/dw.cgi", "/ipc", "/3300"})
    EXPECT_EQ(access_right_for(n), RIGHT_ADMIN) << n;
  struct Row {
    const char* name;
    AccessRight right;
  } rows[] = {{"/4010", RIGHT_LIVE_VIEW}, {"/4001", RIGHT_PLAYBACK}, {"/4013", RIGHT_RETRIEVE},
              {"/6140", RIGHT_SMART_ANALYSIS}, {"/6012", RIGHT_EVENT}, {"/2003", RIGHT_CAMERA},
              {"/6102", RIGHT_STORAGE}, {"/7041", RIGHT_SETTINGS}, {"/8002", RIGHT_STATUS},
              {"/1033", RIGHT_SHUTDOWN}, {"/1004", RIGHT_SHUTDOWN}, {"/1014", RIGHT_SESSION}};
  for (const Row& r : rows) EXPECT_EQ(access_right_for(r.name), r.right) << r.name;
}

TEST(AccessRights, LevelsAndRemoteRights) {
  UserRecord u;
  std::memset(&u, 0, sizeof u);
  u.type = 0;
  EXPECT_EQ(access_rights_of(u), ACCESS_ALL_RIGHTS);
  u.type = 1;
  u.remote_rights[AREA_STORAGE] = 1;
  u.remote_rights[AREA_STATUS] = 5;
  const uint32_t r = access_rights_of(u);
  EXPECT_EQ(r, access_bit(RIGHT_SESSION) | access_bit(RIGHT_STORAGE) | access_bit(RIGHT_STATUS));
  EXPECT_TRUE(access_granted(r, RIGHT_PUBLIC));
  EXPECT_TRUE(access_granted(r, RIGHT_STORAGE));
  EXPECT_FALSE(access_granted(r, RIGHT_ADMIN));
  EXPECT_FALSE(access_granted(r, RIGHT_CAMERA));
  EXPECT_FALSE(access_granted(ACCESS_VIEWER_RIGHTS, RIGHT_PLAYBACK));
  EXPECT_TRUE(access_granted(ACCESS_VIEWER_RIGHTS, RIGHT_LIVE_VIEW));
}

TEST(AccountPieces, DigestsMasksAndSessionIds) {
  // RFC 1321 test suite.
  EXPECT_EQ(md5_hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5_hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5_hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
  EXPECT_EQ(md5_hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");

  const std::string d = md5_hex("pw");
  std::string upper = d;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(digest_matches(d.c_str(), upper.c_str()));
  EXPECT_FALSE(digest_matches(d.c_str(), d.substr(0, 31).c_str()));
  EXPECT_FALSE(digest_matches("", ""));
  EXPECT_FALSE(digest_matches((d + "0").c_str(), (d + "0").c_str()));
  EXPECT_TRUE(is_md5_digest(upper.c_str()));
  EXPECT_FALSE(is_md5_digest(std::string(32, 'g').c_str()));

  EXPECT_EQ(channel_text_mask("1010", 65), 0x5u);
  EXPECT_EQ(channel_text_mask("x1", 65), 0x2u);
  EXPECT_EQ(channel_text_mask(std::string(64, '1').c_str(), 65), 0xffffffffu);

  std::set<std::string> ids;
  for (int i = 0; i < 200; ++i) {
    char id[SESSION_ID_LEN + 1];
    ASSERT_TRUE(session_make_id(id));
    EXPECT_TRUE(session_id_valid(id)) << id;
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 200u);
  EXPECT_FALSE(session_id_valid("0"));
  EXPECT_FALSE(session_id_valid("3141592653589793238462643383279a"));
}

class SessionStoreTest : public AccountsTest {};

TEST_F(SessionStoreTest, EveryAccountHasRoomForItsOwnEightSessions) {
  const std::string store = env_.path(SESSION_STORE_PATH);
  const long long now = nvr_uptime();
  auto put = [&](int n, int user_id, long long last_used) {
    SessionRecord rec;
    std::memset(&rec, 0, sizeof rec);
    std::snprintf(rec.id, sizeof rec.id, "%032d", n);
    std::snprintf(rec.user, sizeof rec.user, "u%d", user_id);
    copy_field(rec.addr, "127.0.0.1");
    rec.user_id = user_id;
    rec.rights = ACCESS_ALL_RIGHTS;
    rec.last_used = last_used;
    return session_put_in(store, rec);
  };
  auto cookie = [](int n, int user_id) {
    char id[40];
    std::snprintf(id, sizeof id, "%032d", n);
    return "userName=u" + std::to_string(user_id) + "; sessionId=" + id;
  };
  // Accounts 1..99 and the e-mail links each fill their eight, beside the
  // harness's administrator session: nobody pushes anybody out.
  int n = 1;
  for (int user = 1; user <= SESSION_ACCOUNTS; ++user) {
    const int user_id = user == SESSION_ACCOUNTS ? SESSION_NO_ACCOUNT : user;
    for (int k = 0; k < SESSION_PER_ACCOUNT; ++k) ASSERT_EQ(put(n++, user_id, now - 100 + k), 0);
  }
  EXPECT_EQ(session_count(), SESSION_ACCOUNTS * SESSION_PER_ACCOUNT + 1);
  EXPECT_EQ(run("/6076").out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076", "", cookie(1, 1)).out, kTextHeader + "OK");
  // A ninth session of account 5 drops that account's least recently used
  // one (the first put, unless used since), and no other account's.
  const int first5 = 1 + 4 * SESSION_PER_ACCOUNT;
  ASSERT_EQ(put(n, 5, now), 0);
  EXPECT_EQ(session_count_of(5), SESSION_PER_ACCOUNT);
  EXPECT_EQ(run("/6076", "", cookie(first5, 5)).out, kUnauthorized);
  EXPECT_EQ(run("/6076", "", cookie(first5 + 1, 5)).out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076", "", cookie(n, 5)).out, kTextHeader + "OK");
  EXPECT_EQ(session_count(), SESSION_ACCOUNTS * SESSION_PER_ACCOUNT + 1);
}

TEST_F(SessionStoreTest, DamagedStoreYieldsNoSession) {
  env_.write_file(SESSION_STORE_PATH, std::string(1000, 'x'));
  EXPECT_EQ(run("/6076").out, kUnauthorized);
  EXPECT_EQ(session_of(login("admin", md5_hex("admin-pw"))).size(), 32u);

  // The store of an earlier version (records without the use count) is
  // taken over once: its sessions live on, its damaged entries yield none.
  SessionRecord old;
  std::memset(&old, 0, sizeof old);
  std::snprintf(old.id, sizeof old.id, "%032d", 7);
  copy_field(old.user, "admin");
  copy_field(old.addr, "127.0.0.1");
  old.rights = ACCESS_ALL_RIGHTS;
  old.last_used = nvr_uptime();
  const std::string damaged(SESSION_OLD_RECORD_SIZE, '7');
  env_.write_file(SESSION_STORE_OLD_PATH,
                  damaged + std::string(reinterpret_cast<const char*>(&old), SESSION_OLD_RECORD_SIZE) + damaged);
  EXPECT_EQ(run("/6076", "", std::string("userName=admin; sessionId=") + old.id).out, kTextHeader + "OK");
  EXPECT_FALSE(env_.exists(SESSION_STORE_OLD_PATH));
  EXPECT_EQ(session_count_of(0), 2);
}

class NoSessionTest : public AccountsTest {};

// Every request name, once each, without a session: no cookie, a name
// alone, or cookies naming no live session. Only the pre-login names get
// anywhere, and nothing reaches the core daemon but a mail-link check.
TEST_F(NoSessionTest, NothingButThePreLoginListRunsWithoutASession) {
  const std::vector<std::string> names = all_request_names();
  int i = 0;
  for (const std::string& name : names) {
    CgiRequest req = post(name, "{\"id\":1,\"type\":1,\"name\":\"x\"}", "");
    switch (i++ % 4) {
      case 0: req.anonymous = true; break;
      case 1: req.cookie = "userName=admin"; break;
      case 2: req.cookie = "userName=admin; sessionId=00000000000000000000000000000000"; break;
      default: req.cookie = "userName=guest; sessionId=" + std::string(kDefaultSessionId); break;
    }
    req.env["NVR_IPC_WAIT_MS"] = "100";
    CgiResult r = env_.run(req);
    if (kPreLogin.count(name))
      EXPECT_NE(r.out, kUnauthorized) << name;
    else
      EXPECT_EQ(r.out, kUnauthorized) << name;
  }
  for (const std::string& line : env_.journal()) EXPECT_EQ(line.rfind("3504 ", 0), 0u) << line;
  EXPECT_EQ(stored(0).type, 0);
  EXPECT_EQ(stored(1).enable, 0);
}

TEST_F(NoSessionTest, UploadsWithoutASessionAreNeverDecoded) {
  const std::string body =
      "--BND\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.bin\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\npayload\r\n--BND--\r\n";
  for (const char* name : {"/1008", "/1010", "/6321", "/oem", "/1019"}) {
    CgiRequest req;
    req.method = "POST";
    req.path_info = name;
    req.content_type = "multipart/form-data; boundary=BND";
    req.body = body;
    req.anonymous = true;
    EXPECT_EQ(env_.run(req).out, kUnauthorized) << name;
  }
  DIR* dir = opendir(env_.path("/tmp").c_str());
  ASSERT_NE(dir, nullptr);
  while (dirent* e = readdir(dir)) EXPECT_NE(std::string(e->d_name).rfind("cgic", 0), 0u) << e->d_name;
  closedir(dir);
}

TEST_F(NoSessionTest, RightsOfTheAccountDecide) {
  add_user({1, "ops", "ops-pw", 1, (1u << AREA_STORAGE) | (1u << AREA_STATUS)});
  const std::string ops = cookie_for("ops", "ops-pw");
  // A viewer whose remote texts allow live view of channel 0 and playback
  // of channel 1 only (its local texts allow more: the web pages are remote
  // use), and an administrator whose texts allow nothing.
  UserRecord v = make_user({3, "view", "view-pw", 2,
                            (1u << AREA_LIVE_VIEW) | (1u << AREA_PLAYBACK) | (1u << AREA_RETRIEVE) |
                                (1u << AREA_CAMERA)});
  copy_field(v.remoteliveview, "1000");
  copy_field(v.remoteplayback, "0100");
  copy_field(v.localliveview, "1111");
  copy_field(v.localplayback, "1111");
  put_user(v);
  UserRecord boss = make_user({4, "boss", "boss-pw", 0, 0});
  copy_field(boss.remoteliveview, "0000");
  copy_field(boss.remoteplayback, "0000");
  put_user(boss);
  const std::string view = cookie_for("view", "view-pw");
  const std::string chief = cookie_for("boss", "boss-pw");
  const std::string live = "\"streamType\":0,\"streamFrom\":0}";
  const std::string span = "\"sid\":-1,\"streamType\":0,\"time\":\"2024-01-02 00:00:00\",\"endTime\":\"2024-01-02 23:59:59\"}";
  const std::string play = "\"sid\":1,\"playTime\":\"2024-01-02 01:00:00\",\"startTime\":\"2024-01-02 00:00:00\",\"endTime\":\"2024-01-02 23:59:59\"}";
  const std::string masks = ",\"mask2\":0,\"mask3\":0,\"mask4\":0,\"mask5\":0,\"mask6\":0,\"mask7\":0,\"playTime\":\"2024-01-02 01:00:00\"}";
  const std::string passed;  // with an account named: passed every check, whatever the handler answers
  struct Row {
    const char* name;
    std::string want;
    std::string body = "{\"id\":0}";
    const std::string* who = nullptr;  // null: ops
  } rows[] = {
      {"/6101", ""},          {"/8004", ""},
      {"/6030", "Content-type: application/json\r\n\r\n{\"holidays\":[]}"},
      {"/2001", kForbidden},  {"/4010", kForbidden},  {"/7041", kForbidden},
      {"/6070", kForbidden},  {"/6071", kForbidden},  {"/1001", kForbidden},
      {"/8005", kForbidden},  {"/vb.htm", kForbidden}, {"/1004", kForbidden},
      {"/9999", kForbidden},  {"/1014", kTextHeader + "OK"},
      // Channels outside the account's text for the use are refused before
      // anything reaches the core daemon.
      {"/4010", kForbidden, "{\"id\":3," + live, &view},
      {"/4010", passed, "{\"id\":0," + live, &view},
      {"/4011", kForbidden, "{\"id\":1," + live, &view},
      {"/4010", passed, "{\"id\":3," + live, &chief},
      {"/4000", kForbidden, "{\"channelId\":3," + span, &view},
      {"/4000", kForbidden, "{\"channelId\":0," + span, &view},
      {"/4000", passed, "{\"channelId\":1," + span, &view},
      {"/4000", passed, "{\"channelId\":\"x\"," + span, &view},  // the handler refuses it
      {"/4001", kForbidden, "{\"channelId\":\"2\"," + play, &view},
      {"/4009", kForbidden, "{\"jumpTime\":\"2024-01-02 01:00:00\",\"sid\":[1,2],\"chnid\":[1,3],\"num\":2}", &view},
      {"/4013", kForbidden, "{\"id\":2,\"startTime\":\"2024-01-02T00:00:00Z\",\"endTime\":\"2024-01-02T00:01:00Z\"}", &view},
      {"/4020", kForbidden, "{\"mask0\":8,\"mask1\":0" + masks, &view},
      {"/4020", kForbidden, "{\"mask0\":2,\"mask1\":1" + masks, &view},
      {"/4025", kForbidden, "{\"ch\":0,\"sid\":1,\"trancodingmode\":1,\"framesize\":1,\"bitrate\":1,\"framerate\":1}", &view},
      {"/4026", kForbidden, "{\"ch\":3,\"sid\":1}", &view},
      {"/3000", kForbidden, "{\"chnid\":2}", &view},
      {"/3002", kForbidden, "2", &view},
      {"/4014", kForbidden, "3", &view},
      {"/4015", kTextHeader + "OK", "0", &view},
      {"/4016", kForbidden, "1", &view},
      {"/4024", kForbidden, "1", &view},
      {"/5000", kForbidden, "{\"channelId\":3,\"action\":1}", &view},
      {"/5009", kForbidden, "{\"chnid\":\"3\",\"ptzCmd\":1}", &view},
      {"/5012", kForbidden, "{\"chnId\":0,\"channelMask\":\"0001\"}", &view},
  };
  for (const Row& row : rows) {
    const size_t before = env_.journal().size();
    const std::string out = run(row.name, row.body, row.who ? *row.who : ops).out;
    if (row.want.empty() && row.who) {
      EXPECT_TRUE(passed_access(out)) << row.name << " " << row.body << ": " << out;
    } else {
      EXPECT_EQ(out, row.want) << row.name << " " << row.body;
    }
    if (row.want == kForbidden) {
      EXPECT_EQ(env_.journal().size(), before) << row.name << " " << row.body;
    }
  }
  // The stream addresses of all channels answer only the viewer's own.
  const std::string addrs = run("/4018", "", view).out;
  EXPECT_NE(addrs.find("/ch01/main"), std::string::npos) << addrs;
  EXPECT_EQ(addrs.find("/ch02/main"), std::string::npos) << addrs;
  EXPECT_NE(run("/4018", "", chief).out.find("/ch04/main"), std::string::npos);
  // The refused user administration changed nothing.
  EXPECT_EQ(stored(0).type, 0);
  EXPECT_TRUE(env_.journal_of(3505).empty());

  // Stored secrets reach administrators only. Each row: the administrator
  // stores a secret, the account with the page's right reads the page
  // without it and posts the answer back (with the setter's spelling),
  // and the administrator then reads the page exactly as before.
  add_user({5, "tech", "tech-pw", 1,
            (1u << AREA_CAMERA) | (1u << AREA_SETTINGS) | (1u << AREA_EVENT) | (1u << AREA_STORAGE)});
  const std::string tech = cookie_for("tech", "tech-pw");
  ASSERT_EQ(set_param_value(ZRDB_PATH, "poepsd", "poe-secret"), 0);
  zrdb_close_all();
  struct SecretRow {
    const char* get;
    std::string get_body;
    const char* set;  // null: nothing to post back
    std::string seed;
    std::vector<std::string> secrets;
    std::vector<std::pair<std::string, std::string>> back;  // replaced once in the posted answer
  } secret_rows[] = {
      {"/2000", "{\"chnid\":0}", "/2003",
       "{\"id\":0,\"name\":\"N\",\"enable\":1,\"camProtocol\":0,\"ipAddr\":\"10.0.0.2\",\"managePort\":80,"
       "\"transmitProtocol\":0,\"type\":0,\"userName\":\"cam\",\"password\":\"demo1234\"}",
       {"demo1234"}, {{"{\"id\":0,", "{\"id\":0,\"type\":0,"}}},
      {"/2016", "", nullptr, "", {"poe-secret"}, {}},
      {"/7010", "", "/7011", R"({"enable":1,"autoConnect":1,"userName":"dsl","password":"dsl-secret"})",
       {"dsl-secret"}, {}},
      {"/7020", "", "/7021",
       R"({"enable":1,"updateFreq":10,"domain":"d.example","userName":"me","password":"ddns-secret",)"
       R"("hostName":"h","ddnsurl":"u","freeDNSHash":"hash-secret","http":80,"rtsp":554})",
       {"ddns-secret", "hash-secret"}, {{"\"http_port\"", "\"http\""}, {"\"rtsp_port\"", "\"rtsp\""}}},
      {"/7030", "", "/7031",
       R"({"enable":1,"userName":"m","password":"mail-secret","smtpServer":"s","smtpPort":25,"senderAddr":"n@example",)"
       R"("senderName":"N","enableTls":0,"enableAttach":0,"captureInterval":5,"enableHostName":0,"hostName":"h",)"
       R"("receivers":[{"receiverAddr":"a@example","receiverName":"A"}]})",
       {"mail-secret"}, {}},
      {"/7090", "", "/7091",
       R"({"v2c_enable":1,"read_community":"comm-read","write_community":"comm-write",)"
       R"("read_auth_password":"auth-secret","write_pri_password":"pri-secret","port":161})",
       {"comm-read", "comm-write", "auth-secret", "pri-secret"}, {}},
      {"/6999", "", "/6998",
       R"({"exception":[1,2,3,4,5,6,7,8],"httpParams":{"diskFull":{"url":"http://d","username":"u","password":"hook-secret"}}})",
       {"hook-secret"}, {}},
      {"/6094", R"({"chnid":2})", "/6095",
       R"({"chnid":2,"dialog":1,"interval":7,"httpParams":{"url":"http://a","username":"u","password":"loss-secret"}})",
       {"loss-secret"}, {{"{\"chnid\":2,", "{\"chnid\":2,\"dialog\":1,"}}},
  };
  for (const SecretRow& row : secret_rows) {
    if (row.set) {
      EXPECT_TRUE(passed_access(run(row.set, row.seed).out)) << row.set;
    }
    const std::string before = run(row.get, row.get_body).out;
    const std::string seen = run(row.get, row.get_body, tech).out;
    for (const std::string& secret : row.secrets) {
      EXPECT_NE(before.find(secret), std::string::npos) << row.get << " " << secret;
      EXPECT_EQ(seen.find(secret), std::string::npos) << row.get << " " << seen;
    }
    if (!row.set) continue;
    std::string body = seen.substr(std::min(seen.size(), kJsonHeader.size()));
    for (const auto& [from, to] : row.back)
      if (body.find(from) != std::string::npos) body.replace(body.find(from), from.size(), to);
    EXPECT_TRUE(passed_access(run(row.set, body, tech).out)) << row.set;
    const std::string after = run(row.get, row.get_body).out;
    const size_t at = std::mismatch(before.begin(), before.end(), after.begin(), after.end()).first - before.begin();
    EXPECT_EQ(after, before) << row.get << " after " << row.set << ", from byte " << at << ": "
                             << before.substr(at, 80) << " | " << after.substr(std::min(at, after.size()), 80);
  }

  // Restarting needs the Shutdown right, which an account can hold without
  // being an administrator.
  add_user({2, "night", "night-pw", 1, 1u << AREA_SHUTDOWN});
  const std::string night = cookie_for("night", "night-pw");
  EXPECT_EQ(run("/1004", "", night).out, kTextHeader + "OK");
  EXPECT_EQ(run("/1032", "", night).out,
            kJsonHeader + "{\"enable\":0,\"wday\":0,\"hour\":0,\"minutes\":0,\"seconds\":0}");
  EXPECT_EQ(run("/6070", "", night).out, kForbidden);
}

}  // namespace
