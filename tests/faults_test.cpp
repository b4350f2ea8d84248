// Faults around the handler: the core daemon dying in the middle of a
// request (behind lighttpd), and a configuration store that cannot be
// written. No save is ever answered "OK" unless it was stored, and the
// recorder works again once the daemon is back.
#include <chrono>
#include <thread>

#include "account_test_util.h"
#include "web_server.h"

namespace {

const std::string kJsonErrorBody = "{status:\"CGI ERROR\"}";

bool wait_for_message(const E2eEnv& env, int id) {
  for (int i = 0; i < 1000; ++i) {
    if (!env.journal_of(id).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class CoreFaults : public AccountsTest {
 protected:
  void SetUp() override {
    AccountsTest::SetUp();
    const char* emu = std::getenv("NVR_TEST_EMULATOR");
    if (emu && *emu) GTEST_SKIP() << "lighttpd runs native programs only; the cross build is tested without it";
  }
  WebServer server_{env_};
};

const std::string kRecordSave =
    R"({"cnt":1,"chnid":[4],"camAnr":0,"prevRecordOn":1,"prevRecordDuration":9,"postRecordOn":0,)"
    R"("postRecordDuration":5,"audioEnable":0,"recordExpDate":0,"recordStreamType":0})";

TEST_F(CoreFaults, DaemonKilledMidRequestAnswersAtOnceAndTheNextRequestsWork) {
  // The wait limit is far longer than the client waits: only the closed
  // connection can wake the handler in time.
  ASSERT_TRUE(server_.start({{"NVR_IPC_WAIT_MS", "120000"}})) << server_.why();
  HttpReply login = server_.post_json("/1000", login_body("admin", md5_hex("admin-pw")));
  const std::string admin = session_cookie(login, "admin");
  ASSERT_FALSE(admin.empty()) << login.body;

  // A query: its error reply.
  env_.start_sim("2286 none\n");
  HttpReply r;
  std::thread query([&] { r = server_.get("/6046", "3", admin); });
  ASSERT_TRUE(wait_for_message(env_, 2286));
  env_.stop_sim(SIGKILL);
  query.join();
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, kJsonErrorBody);

  // A setter that stored its change and then waits for the daemon: it
  // answers the error (the daemon never confirmed), and the change is kept.
  env_.start_sim("2285 none\n");
  std::thread save([&] { r = server_.post_json("/6045", kRecordSave, admin); });
  ASSERT_TRUE(wait_for_message(env_, 2285));
  env_.stop_sim(SIGKILL);
  save.join();
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, kJsonErrorBody);

  // With the daemon gone (its messages are retried for a while, here for
  // 1 s): a setter that only tells it stores its change and says so, since
  // the daemon reads the store when it starts; a query answers its error.
  CgiRequest mail = post("/7031", R"({"smtpPort":26,"enableTls":0,"enableAttach":0,"captureInterval":5,"userName":"u1"})", "");
  mail.env["NVR_IPC_WAIT_MS"] = "1000";
  EXPECT_EQ(env_.run(mail).out, kTextHeader + "OK");
  CgiRequest query_alone = get("/6046", "3", "");
  query_alone.env["NVR_IPC_WAIT_MS"] = "1000";
  EXPECT_EQ(env_.run(query_alone).out, kJsonHeader + kJsonErrorBody);

  // The daemon back: everything works and shows what was stored.
  env_.start_sim();
  r = server_.get("/6046", "3", admin);
  EXPECT_EQ(r.body.rfind(R"({"chnid":3,"support":)", 0), 0u) << r.body;
  EXPECT_NE(server_.get("/6044", "4", admin).body.find(R"("prevRecordOn":1,"prevRecordDuration":9,)"), std::string::npos);
  r = server_.get("/7030", "", admin);
  EXPECT_NE(r.body.find(R"("userName":"u1","password":"","smtpServer":"","smtpPort":26,)"), std::string::npos) << r.body;
  EXPECT_EQ(server_.post_json("/6045", kRecordSave, admin).body, R"({"resp":0})");
}

// Saves that are good on a writable store, each with the answer it gives
// there; on a read-only store none may be answered so, nor tell the daemon
// anything changed.
TEST_F(CoreFaults, SavesOnAStoreThatCannotBeWrittenAreNeverAnsweredOk) {
  struct Row {
    const char* name;
    const char* body;
    const char* ok;
  } const rows[] = {
      {"/6045", kRecordSave.c_str(), R"({"resp":0})"},
      {"/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"userName":"x"})", "OK"},
      {"/6301", R"({"filterEnable":1,"filterType":0,"filterList":[{"address_type":0,"address":"10.0.0.1"}]})", "OK"},
      {"/6031", R"({"id":"5","enable":"1","type":0})", "OK"},
      {"/6027", R"({"alarmId":"2","name":"Gate"})", "OK"},
      {"/6054", R"({"camId":3,"pan_speed":4})", "OK"},
      {"/6112", R"({"chnid":2,"sensitivity":1,"enableMS":0,"motionTable":"Z","copyCnt":1,"copyChn":[3]})", "OK"},
      {"/6117", R"({"chnid":"4","interval":3})", "OK"},
      {"/6122", R"({"cnt":2,"chnid":[2,5],"enable":1,"interval":11})", "OK"},
      {"/6160", R"({"type":1,"chn_id":2,"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":7})", "OK"},
      {"/6210", R"({"group_enable":1,"channel":["1100","0011"]})", "OK"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const size_t before = env_.journal().size();
    CgiRequest req = post(row.name, row.body, "");
    req.env["NVR_STORE_READONLY"] = "1";
    req.env["NVR_IPC_WAIT_MS"] = "300";
    const std::string refused = env_.run(req).out;
    const size_t at = refused.find("\r\n\r\n");
    EXPECT_NE(at == std::string::npos ? refused : refused.substr(at + 4), row.ok) << refused;
    const std::vector<std::string> journal = env_.journal();
    EXPECT_EQ(journal.size(), before) << (journal.empty() ? "" : journal.back());
    // The same save on the writable store is good.
    const std::string stored = run(row.name, row.body).out;
    EXPECT_EQ(stored.substr(stored.find("\r\n\r\n") + 4), row.ok) << stored;
  }
}

}  // namespace
