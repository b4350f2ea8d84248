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

// True once the journal holds more than `seen` messages of the id.
bool wait_for_message(const E2eEnv& env, int id, size_t seen = 0) {
  for (int i = 0; i < 1000; ++i) {
    if (env.journal_of(id).size() > seen) return true;
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

using StoreFaults = AccountsTest;

// Every record of the store, as "<family>/<id>:<hex>" lines.
std::string store_dump() {
  zrdb_close_all();
  std::string out;
  zrdb_visit_families(ZRDB_PATH, [](void* ctx, const char* family, int) {
    auto* text = static_cast<std::string*>(ctx);
    std::string rows;
    zrdb_visit_records(ZRDB_PATH, family, [](void* c, int id, const void* data, size_t size) {
      *static_cast<std::string*>(c) += std::to_string(id) + ":" + to_hex(data, size) + "\n";
    }, &rows);
    *text += std::string(family) + "\n" + rows;
  }, &out);
  return out;
}

// A save whose stored record cannot be read (here: stored with the wrong
// size) answers its error, writes nothing and tells the core nothing: the
// record is never written back as zeros around the change.
TEST_F(StoreFaults, SavesWhoseStoredRecordCannotBeReadWriteNothing) {
  const std::string text_error = kTextHeader + "CGI ERROR";
  const std::string json_error = kJsonHeader + "{status:\"CGI ERROR\"}";
  const std::string week = R"([{"wholedayEnable":1,"wholedayActionType":2,"plans":[["08:00","12:00",1]]}])";
  struct Row {
    const char* name;
    std::string body;
    const char* family;
    int id;
    std::string reply;
  } const rows[] = {
      {"/6055", R"({"chn":2,"tourid":3,"rowsize":1,"path":[{"preset":1,"speed":2,"time":3}]})", "ptz_tour", 2,
       text_error},
      {"/6057", R"({"chn":2,"tourid":3,"fisheyeType":0,"streamId":1})", "ptz_tour", 2, text_error},
      {"/6054", R"({"camId":3,"pan_speed":4})", "ptz_speed", 3, text_error},
      {"/6051",
       R"({"cnt":1,"chnid":[1],"connectType":1,"baudRate":9600,"dataBits":8,"stopBits":1,"parityType":2,)"
       R"("protocol":13,"address":5})",
       "ptz_port", 1, text_error},
      {"/6041", R"({"cnt":1,"chnid":[3],"recordplanmode":1,"schedule":)" + week + "}", "record", 7, text_error},
      {"/6043", R"({"records":[{"id":1,"mode":2}]})", "record", 7, kTextHeader + "ERROR"},
      {"/6045", kRecordSave, "record", 7, json_error},
      {"/6045", kRecordSave, "camera", 9, json_error},
      {"/ipc", R"({"startip":"10.0.0.1","chnNum":2,"chnFre":1})", "camera", 1, text_error},
  };
  const std::string junk(13, 'x');
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + row.family);
    ASSERT_EQ(zrdb_write_record(ZRDB_PATH, row.family, row.id, junk.data(), junk.size()), 0);
    const std::string before = store_dump();
    const size_t journal = env_.journal().size();
    CgiRequest req = post(row.name, row.body, "");
    req.env["NVR_IPC_WAIT_MS"] = "300";
    EXPECT_EQ(env_.run(req).out, row.reply);
    EXPECT_EQ(store_dump(), before);
    EXPECT_EQ(env_.journal().size(), journal);
    ASSERT_EQ(zrdb_delete_record(ZRDB_PATH, row.family, row.id), 0);
  }
}

// A setter waiting for a silent core holds no lock: a save of another page
// at that moment is stored and answered "OK" (the waiting one answers its
// error once the core is gone).
TEST_F(StoreFaults, ASaveGoesThroughWhileAnotherRequestWaitsForTheCore) {
  const std::string json_error = kJsonHeader + "{status:\"CGI ERROR\"}";
  struct Row {
    const char* name;
    std::string body;
    int silent;
    std::string reply;
  } const rows[] = {
      {"/7096", R"({"defaultRoute":0})", 1724, json_error},  // unchanged: nothing to write
      {"/7096", R"({"defaultRoute":1})", 1724, json_error},
      {"/6045", kRecordSave, 2285, json_error},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name + std::string(" ") + row.body);
    env_.stop_sim();
    env_.start_sim(std::to_string(row.silent) + " none\n");
    CgiRequest waiting = post(row.name, row.body, "");
    waiting.env["NVR_IPC_WAIT_MS"] = "120000";
    std::string waited;
    const size_t seen = env_.journal_of(row.silent).size();
    std::thread t([&] { waited = env_.run(waiting).out; });
    const bool sent = wait_for_message(env_, row.silent, seen);
    EXPECT_TRUE(sent);
    const std::string user = "u" + std::to_string(++n);
    CgiRequest mail = post("/7031", R"({"smtpPort":25,"enableTls":0,"enableAttach":0,"captureInterval":0,"userName":")" +
                                        user + R"("})", "");
    if (sent) {
      EXPECT_EQ(env_.run(mail).out, kTextHeader + "OK");
    }
    env_.stop_sim(SIGKILL);
    t.join();
    EXPECT_EQ(waited, row.reply);
    env_.start_sim();
    if (sent) {
      EXPECT_NE(run("/7030").out.find(R"("userName":")" + user + "\""), std::string::npos);
    }
  }
}

}  // namespace
