// User administration: list, add, change, delete, OEM defaults and the
// notifications to the core daemon.
#include <cstdio>

#include "account_test_util.h"
#include "core/access.h"
#include "core/cgi_util.h"
#include "core/clock.h"
#include "core/session.h"

namespace {
const std::string kDigest = md5_hex("new-pw");

std::string id_hex(int32_t id) { return to_hex(&id, sizeof id); }

class UsersTest : public AccountsTest {
 protected:
  void SetUp() override {
    AccountsTest::SetUp();
    add_user({1, "bob", "bob-pw", 2, 1u << AREA_LIVE_VIEW});
  }
  static std::string add_body(const std::string& name, const std::string& extra = "") {
    return "{\"name\":\"" + name + "\",\"password\":\"" + kDigest +
           "\",\"type\":1,\"permission\":-1,\"remotePermission\":3" + extra + "}";
  }
};

TEST_F(UsersTest, ListShowsAccountsInUseWithoutDigests) {
  CgiResult r = run("/6070");
  const std::string bob =
      "{\"id\":1,\"enable\":1,\"name\":\"bob\",\"password\":\"\",\"type\":2,\"permission\":7,"
      "\"localLiveView\":1,\"localPlayback\":2,\"localRetrieve\":3,\"localSmartAnalysis\":4,\"localEvent\":5,"
      "\"localCamera\":6,\"localStorage\":7,\"localSettings\":8,\"localStatus\":9,\"localShutdown\":10,"
      "\"localliveview\":\"1100\",\"localplayback\":\"0011\",\"remotePermission\":9,\"remoteLiveView\":1,"
      "\"remotePlayback\":0,\"remoteRetrieve\":0,\"remoteSmartAnalysis\":0,\"remoteEvent\":0,\"remoteCamera\":0,"
      "\"remoteStorage\":0,\"remoteSettings\":0,\"remoteStatus\":0,\"remoteShutdown\":0,"
      "\"remoteliveview\":\"1010\",\"remoteplayback\":\"0101\"}";
  EXPECT_EQ(r.out.rfind(kJsonHeader + "[{\"id\":0,\"enable\":1,\"name\":\"admin\",\"password\":\"\",", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("}," + bob + "]"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(md5_hex("admin-pw")), std::string::npos);
}

TEST_F(UsersTest, AddStoresTheAccountWithMasksNotifiesAndLogs) {
  CgiResult r = run("/6071", add_body("carol",
                                      ",\"localliveview\":\"1010\",\"remoteplayback\":\"" + std::string(40, '1') +
                                          "\",\"remoteCamera\":1,\"localShutdown\":4"));
  EXPECT_EQ(r.out, kTextHeader + "id=2");
  UserRecord u = stored(2);
  EXPECT_EQ(u.enable, 1);
  EXPECT_STREQ(u.name, "carol");
  EXPECT_STREQ(u.password, kDigest.c_str());
  EXPECT_EQ(u.type, 1);
  EXPECT_EQ(u.permission, -1);
  EXPECT_EQ(u.remote_permission, 3);
  EXPECT_EQ(u.localliveview_mask, 0x5u);
  EXPECT_EQ(u.remoteplayback_mask, 0xffffffffu);
  EXPECT_EQ(u.localplayback_mask, 0u);
  EXPECT_EQ(u.remote_rights[AREA_CAMERA], 1);
  EXPECT_EQ(u.local_rights[AREA_SHUTDOWN], 4);
  EXPECT_EQ(u.remote_rights[AREA_LIVE_VIEW], 0);
  EXPECT_STREQ(u.extra, "0");
  EXPECT_EQ(env_.journal_of(3505), std::vector<std::string>{""});
  EXPECT_EQ(env_.journal_of(3485), std::vector<std::string>{record_hex(expected_log_record(204, 921, 0))});
  // The new account can log in at once.
  EXPECT_EQ(session_of(login("carol", kDigest)).size(), 32u);
}

TEST_F(UsersTest, AddRefusals) {
  const std::string long_bob = "bob" + std::string(40, 'x');
  add_user({5, std::string(long_bob.substr(0, 31)).c_str(), "pw", 2, 0});
  struct Row {
    std::string body;
    std::string want;
  } rows[] = {
      {add_body("bob"), kTextHeader + "SAMEUSER"},
      // The first 31 characters name an existing account.
      {add_body(long_bob), kTextHeader + "SAMEUSER"},
      {add_body(""), ""},
      {"{\"name\":\"x\",\"password\":\"" + kDigest.substr(0, 31) + "\",\"type\":1,\"permission\":0,\"remotePermission\":0}", ""},
      {"{\"name\":\"x\",\"password\":\"" + std::string(32, 'g') + "\",\"type\":1,\"permission\":0,\"remotePermission\":0}", ""},
      {"{\"name\":\"x\",\"password\":\"\",\"type\":1,\"permission\":0,\"remotePermission\":0}", ""},
      {"{\"name\":\"x\",\"password\":\"" + kDigest + "\",\"type\":4,\"permission\":0,\"remotePermission\":0}", ""},
      {"{\"name\":\"x\",\"password\":\"" + kDigest + "\",\"permission\":0,\"remotePermission\":0}", ""},
      {"{\"name\":\"x\",\"password\":\"" + kDigest + "\",\"type\":\"adm\",\"permission\":0,\"remotePermission\":0}", ""},
      {"{\"name\":\"x\",\"password\":\"" + kDigest + "\",\"type\":1,\"permission\":-2,\"remotePermission\":0}", ""},
      {"{\"name\":\"x\",\"password\":\"" + kDigest + "\",\"type\":1,\"permission\":0,\"remotePermission\":-2}", ""},
      // Rights are numbers too: "x" is no right 0.
      {"{\"name\":\"x\",\"password\":\"" + kDigest + "\",\"type\":1,\"permission\":0,\"remotePermission\":0,"
       "\"remoteSettings\":\"x\"}",
       ""},
      {"{\"name\":\"x\",\"password\":\"" + kDigest + "\",\"type\":1,\"permission\":0,\"remotePermission\":0,"
       "\"" + std::string(kLocalRightKeys[0]) + "\":1.5}",
       ""},
      {"not json", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(run("/6071", row.body).out, row.want) << row.body;
  EXPECT_FALSE(stored(2).enable);
  EXPECT_TRUE(env_.journal_of(3505).empty());
}

TEST_F(UsersTest, AddAnswersFullWhenAllSlotsAreTaken) {
  for (int id = 2; id < USER_MAX; ++id) add_user({id, ("u" + std::to_string(id)).c_str(), "pw", 2, 0});
  EXPECT_EQ(run("/6071", "not json").out, kTextHeader + "FAILED_FULL");
  EXPECT_EQ(run("/6071", add_body("zed")).out, kTextHeader + "FAILED_FULL");
  // A freed slot is taken again.
  EXPECT_EQ(run("/6073", "{\"id\":42,\"type\":2}").out, kTextHeader + "OK");
  EXPECT_EQ(run("/6071", add_body("zed")).out, kTextHeader + "id=42");
}

TEST_F(UsersTest, ChangeKeepsWhatTheRequestLeavesOut) {
  CgiResult r = run("/6072", "{\"id\":1,\"name\":\"bob\",\"type\":1,\"remoteSettings\":1,\"remoteliveview\":\"0110\"}");
  EXPECT_EQ(r.out, kTextHeader + "OK");
  UserRecord u = stored(1);
  EXPECT_STREQ(u.name, "bob");
  EXPECT_EQ(u.type, 1);
  EXPECT_EQ(u.remote_rights[AREA_SETTINGS], 1);
  EXPECT_EQ(u.remote_rights[AREA_LIVE_VIEW], 1);
  EXPECT_EQ(u.permission, 7);
  EXPECT_STREQ(u.password, md5_hex("bob-pw").c_str());
  EXPECT_STREQ(u.remoteliveview, "0110");
  EXPECT_EQ(u.remoteliveview_mask, 0x6u);
  EXPECT_EQ(u.localliveview_mask, 0x3u);
  EXPECT_EQ(env_.journal_of(3505), std::vector<std::string>{id_hex(1)});
  EXPECT_TRUE(env_.journal_of(3485).empty());

  EXPECT_EQ(run("/6072", "{\"id\":1,\"name\":\"" + std::string(40, 'n') + "\",\"password\":\"" + kDigest + "\"}").out,
            kTextHeader + "OK");
  EXPECT_EQ(std::string(stored(1).name), std::string(31, 'n'));
  EXPECT_STREQ(stored(1).password, kDigest.c_str());
}

TEST_F(UsersTest, ChangeRefusals) {
  add_user({2, "carol", "carol-pw", 1, 0});
  struct Row {
    std::string body;
    std::string want;
  } rows[] = {
      {"{\"id\":1,\"name\":\"carol\"}", kTextHeader + "SAMEUSER"},
      {"{\"id\":1,\"name\":\"\"}", ""},
      {"{\"id\":100,\"type\":1}", ""},
      {"{\"id\":-1,\"type\":1}", ""},
      {"{\"type\":1}", ""},
      {"{\"id\":7,\"type\":1}", ""},  // a free slot
      {"{\"id\":1,\"type\":4}", ""},
      {"{\"id\":1,\"type\":\"x\"}", ""},  // not read as level 0
      {"{\"id\":\"1x\",\"type\":1}", ""},
      {"{\"id\":1,\"password\":\"short\"}", ""},
      {"{\"id\":0,\"type\":1}", ""},  // the last administrator
      {"{\"id\":0,\"type\":3}", ""},
      {"{\"id\":1,\"type\":1,\"remoteSettings\":\"x\"}", ""},
      {"{\"id\":1,\"type\":1,\"" + std::string(kLocalRightKeys[0]) + "\":true}", ""},
      {"not json", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(run("/6072", row.body).out, row.want) << row.body;
  EXPECT_FALSE(stored(7).enable);
  EXPECT_EQ(stored(0).type, 0);
  EXPECT_EQ(stored(1).type, 2);
  EXPECT_TRUE(env_.journal_of(3505).empty());
  // With a second administrator the first may step down.
  EXPECT_EQ(run("/6072", "{\"id\":2,\"type\":\"0\"}").out, kTextHeader + "OK");
  EXPECT_EQ(run("/6072", "{\"id\":0,\"type\":1}").out, kTextHeader + "OK");
  EXPECT_EQ(stored(0).type, 1);
}

TEST_F(UsersTest, DeleteFreesTheSlotAndEndsTheAccountsSessions) {
  const std::string bob = cookie_for("bob", "bob-pw");
  EXPECT_TRUE(passed_access(run("/4010", "", bob).out));  // bob's live view passes
  EXPECT_EQ(run("/6073", "{\"id\":1,\"type\":2}").out, kTextHeader + "OK");
  EXPECT_FALSE(stored(1).enable);
  EXPECT_STREQ(stored(1).name, "");
  EXPECT_EQ(env_.journal_of(3505), std::vector<std::string>{id_hex(1)});
  EXPECT_EQ(env_.journal_of(3485).back(), record_hex(expected_log_record(204, 922, 0)));
  EXPECT_EQ(run("/4010", "", bob).out, kUnauthorized);
  EXPECT_EQ(login("bob", md5_hex("bob-pw")).out, kTextHeader + "{\"type\":-1}");

  for (const char* body : {"{\"id\":0,\"type\":0}", "{\"id\":100,\"type\":0}", "{\"id\":1,\"type\":4}", "{\"id\":1}",
                           "{\"type\":1}"})
    EXPECT_EQ(run("/6073", body).out, "") << body;
  EXPECT_TRUE(stored(0).enable);

  // A session left behind in the freed slot (as an import of an older
  // configuration could leave one) never passes to the slot's next account:
  // filling the slot ends it, and changes reach only the sessions that bear
  // the account's own name.
  int n = 0;
  auto left_behind = [&](const char* name) {
    SessionRecord rec;
    std::memset(&rec, 0, sizeof rec);
    std::snprintf(rec.id, sizeof rec.id, "%032d", ++n);
    copy_field(rec.user, name);
    copy_field(rec.addr, "127.0.0.1");
    rec.user_id = 1;
    rec.level = 2;
    rec.rights = access_rights_of(make_user({1, name, "x", 2, 1u << AREA_LIVE_VIEW}));
    rec.last_used = nvr_uptime();
    EXPECT_EQ(session_put_in(env_.path(SESSION_STORE_PATH), rec), 0);
    return std::string("userName=") + name + "; sessionId=" + rec.id;
  };
  const std::string stale = left_behind("bob");
  EXPECT_TRUE(passed_access(run("/4010", "", stale).out));
  EXPECT_EQ(run("/6071", add_body("eve")).out, kTextHeader + "id=1");
  EXPECT_EQ(run("/4010", "", stale).out, kUnauthorized);
  const std::string eve = cookie_for("eve", "new-pw");
  const std::string stale2 = left_behind("bob");
  EXPECT_EQ(run("/6072", "{\"id\":1,\"type\":0}").out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076", "", stale2).out, kUnauthorized);
  EXPECT_EQ(run("/6076", "", eve).out, kTextHeader + "OK");
}

TEST_F(UsersTest, RightsChangesReachOpenSessions) {
  const std::string bob = cookie_for("bob", "bob-pw");
  EXPECT_EQ(run("/2001", "", bob).out, kForbidden);
  EXPECT_EQ(run("/6072", "{\"id\":1,\"remoteCamera\":1}").out, kTextHeader + "OK");
  EXPECT_TRUE(passed_access(run("/2001", "", bob).out));
  EXPECT_EQ(run("/6070", "", bob).out, kForbidden);
  EXPECT_EQ(run("/6072", "{\"id\":1,\"type\":0}").out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076", "", bob).out, kTextHeader + "OK");
  // Level 3 may not log in: its sessions end.
  EXPECT_EQ(run("/6072", "{\"id\":1,\"type\":3}").out, kTextHeader + "OK");
  EXPECT_EQ(run("/4010", "", bob).out, kUnauthorized);
}

TEST_F(UsersTest, NewPasswordEndsTheAccountsOtherSessions) {
  add_user({2, "carol", "carol-pw", 0, 0});
  const std::string bob1 = cookie_for("bob", "bob-pw");
  const std::string bob2 = cookie_for("bob", "bob-pw");
  const std::string carol1 = cookie_for("carol", "carol-pw");
  const std::string carol2 = cookie_for("carol", "carol-pw");
  // The same digest again, or an empty one, is no change: sessions live on.
  EXPECT_EQ(run("/6072", "{\"id\":1,\"password\":\"" + md5_hex("bob-pw") + "\"}").out, kTextHeader + "OK");
  EXPECT_EQ(run("/6072", "{\"id\":1,\"password\":\"\"}").out, kTextHeader + "OK");
  EXPECT_TRUE(passed_access(run("/4010", "", bob1).out));
  // An administrator sets bob a new password: both of bob's sessions end.
  EXPECT_EQ(run("/6072", "{\"id\":1,\"password\":\"" + kDigest + "\"}").out, kTextHeader + "OK");
  EXPECT_EQ(run("/4010", "", bob1).out, kUnauthorized);
  EXPECT_EQ(run("/4010", "", bob2).out, kUnauthorized);
  EXPECT_EQ(session_of(login("bob", kDigest)).size(), 32u);
  // Carol changes her own: the session that made the change stays.
  EXPECT_EQ(run("/6072", "{\"id\":2,\"password\":\"" + kDigest + "\"}", carol1).out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076", "", carol1).out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076", "", carol2).out, kUnauthorized);
  EXPECT_EQ(run("/6076").out, kTextHeader + "OK");  // other accounts untouched
}

TEST_F(UsersTest, RenamedAccountsKeepTheirSessions) {
  const std::string admin = cookie_for("admin", "admin-pw");
  const std::string bob = cookie_for("bob", "bob-pw");
  // Renaming oneself: the browser's cookie keeps the old name.
  EXPECT_EQ(run("/6072", "{\"id\":0,\"name\":\"root\"}", admin).out, kTextHeader + "OK");
  EXPECT_EQ(run("/6076", "", admin).out, kTextHeader + "OK");
  EXPECT_EQ(run("/6072", "{\"id\":1,\"name\":\"robert\"}", admin).out, kTextHeader + "OK");
  EXPECT_TRUE(passed_access(run("/4010", "", bob).out));
  // A page that took the new name into its cookie is served too, and the
  // log names the account as it is called now.
  const std::string id = bob.substr(bob.find("sessionId="));
  EXPECT_EQ(run("/1014", "", "userName=robert; " + id).out, kTextHeader + "OK");
  OperationLogInfo log = expected_log_record(202, 900, 0);
  copy_field(log.user_name, "robert");
  EXPECT_EQ(env_.journal_of(3485).back(), record_hex(log));
  EXPECT_EQ(run("/4010", "", bob).out, kUnauthorized);  // that was a logout
}

TEST_F(UsersTest, ListedRecordPostedBackChangesNothingAndKeepsTheDigest) {
  UserRecord before = stored(1);
  // The page posts the listed record back, with or without one change.
  std::string listed = run("/6070").out;
  const size_t at = listed.find("{\"id\":1,");
  ASSERT_NE(at, std::string::npos) << listed;
  const std::string bob = listed.substr(at, listed.find('}', at) + 1 - at);
  ASSERT_NE(bob.find("\"password\":\"\""), std::string::npos);
  EXPECT_EQ(run("/6072", bob).out, kTextHeader + "OK");
  UserRecord after = stored(1);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  std::string changed = bob;
  changed.replace(changed.find("\"remoteCamera\":0"), 16, "\"remoteCamera\":1");
  EXPECT_EQ(run("/6072", changed).out, kTextHeader + "OK");
  EXPECT_EQ(stored(1).remote_rights[AREA_CAMERA], 1);
  EXPECT_STREQ(stored(1).password, md5_hex("bob-pw").c_str());
  EXPECT_EQ(session_of(login("bob", md5_hex("bob-pw"))).size(), 32u);
}

TEST_F(UsersTest, DamagedSlotLocksNobodyOut) {
  add_user({2, "carol", "carol-pw", 1, 0});
  const std::string junk(100, 'j');
  ASSERT_EQ(zrdb_write_record(ZRDB_PATH, "user", 3, junk.data(), junk.size()), 0);
  ASSERT_EQ(zrdb_write_record(ZRDB_PATH, "user", 4, junk.data(), junk.size()), 0);
  EXPECT_EQ(session_of(login("admin", md5_hex("admin-pw"))).size(), 32u);
  EXPECT_EQ(session_of(login("carol", md5_hex("carol-pw"))).size(), 32u);
  const std::string list = run("/6070").out;
  EXPECT_NE(list.find("\"name\":\"carol\""), std::string::npos) << list;
  EXPECT_EQ(list.find("\"id\":3,"), std::string::npos) << list;
  EXPECT_NE(env_.read_file("/mnt/nand/cgi_log.txt").find("user slot 3 holds 100 bytes"), std::string::npos);
  // An administrator deletes one damaged slot and overwrites the other.
  EXPECT_EQ(run("/6073", "{\"id\":4,\"type\":2}").out, kTextHeader + "OK");
  UserRecord freed;
  EXPECT_EQ(zrdb_read_record(ZRDB_PATH, "user", 4, &freed, sizeof freed), 0);
  EXPECT_EQ(run("/6071", add_body("dave")).out, kTextHeader + "id=3");
  EXPECT_EQ(session_of(login("dave", kDigest)).size(), 32u);
}

TEST_F(UsersTest, OemDefaultsOnlyWhenTheirDatabaseExists) {
  EXPECT_EQ(run("/6074").out, "");
  UserRecord oem = make_user({3, "installer", "inst-pw", 1, 0});
  ASSERT_EQ(write_user(OEM_DB_PATH, &oem, 3), 0);
  UserRecord off = make_user({4, "off", "off-pw", 1, 0});
  off.enable = 0;
  ASSERT_EQ(write_user(OEM_DB_PATH, &off, 4), 0);
  EXPECT_EQ(run("/6074").out, kJsonHeader + "[{\"id\":3,\"enable\":1,\"name\":\"installer\",\"password\":\"" +
                                  md5_hex("inst-pw") + "\",\"type\":1,\"permission\":7,\"remotePermission\":9}]");
}

TEST_F(UsersTest, CoreRequestsAndPermissionFlag) {
  env_.start_sim("3265 reply type=8265 hex=07000000\n");
  EXPECT_EQ(run("/6075").out, kTextHeader + "7");
  EXPECT_EQ(run("/6076").out, kTextHeader + "OK");
  EXPECT_EQ(run("/6077").out, kTextHeader + "OK");
  ASSERT_EQ(set_param_int(ZRDB_PATH, "permission_update", 1), 0);
  EXPECT_EQ(run("/1024").out, kTextHeader + "OK");
  EXPECT_EQ(get_param_int(ZRDB_PATH, "permission_update", 5), 0);
  EXPECT_EQ(env_.journal(), (std::vector<std::string>{"3265 ", "3267 ", "3505 "}));

  env_.start_sim("3265 none\n");
  CgiRequest req = post("/6075", "", "");
  req.env["NVR_IPC_WAIT_MS"] = "200";
  EXPECT_EQ(env_.run(req).out, kJsonHeader + "{status:\"CGI ERROR\"}");
}
}  // namespace
