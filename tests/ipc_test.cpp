// The core channel against the core daemon stand-in on a real socket:
// replies, waits, missing and broken replies, and the exact messages sent.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "cgi/cgic.h"
#include "core/cgi_ipc.h"
#include "core/cgi_util.h"
#include "core/paths.h"
#include "e2e_harness.h"
#include "platform/zrdb.h"

namespace {
const std::string kJson = "Content-type: application/json\r\n\r\n";
const std::string kText = "Content-type: text/plain\r\n\r\n";

CgiRequest exchange(int id, int value, const std::string& wait_ms = "") {
  CgiRequest r;
  r.method = "GET";
  r.path_info = "/9991";
  r.query = "{%22id%22:" + std::to_string(id) + ",%22value%22:" + std::to_string(value) + "}";
  if (!wait_ms.empty()) r.env["NVR_IPC_WAIT_MS"] = wait_ms;
  return r;
}

// In-process use of the channel: NVR_ROOT points at the environment.
class InProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("NVR_ROOT", env_.root().c_str(), 1);
    nvr_root_reset();
    calls_ = 0;
  }
  void TearDown() override {
    unsetenv("NVR_ROOT");
    nvr_root_reset();
  }
  static void count_cb(void*, void* header, void* payload) {
    if (!payload) return;
    ++calls_;
    last_type_ = cgi_reply_type(header);
    g_callback_done = 1;
  }
  E2eEnv env_;
  static int calls_;
  static int last_type_;
};
int InProcess::calls_ = 0;
int InProcess::last_type_ = 0;
}  // namespace

TEST(CoreChannel, ReplyIsWrittenAndRequestRecorded) {
  E2eEnv env;
  env.start_sim("3409 reply hex=03000000\n");
  auto r = env.run(exchange(3409, 7), PROBE_PATH);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, kJson + "{\"status\":3}");
  EXPECT_EQ(env.journal(), std::vector<std::string>{"3409 07000000"});
}

TEST(CoreChannel, MissingOrBrokenRepliesGiveTheErrorReplyOnce) {
  const char* scripts[] = {
      "3000 none\n",      "3000 malformed\n", "3000 truncated\n", "3000 oversize\n",
      "3000 close\n",     "3000 reply hex=\n",  // empty payload: no status to report
  };
  for (const char* script : scripts) {
    E2eEnv env;
    env.start_sim(script);
    auto r = env.run(exchange(3000, 1, "300"), PROBE_PATH);
    EXPECT_EQ(r.exit_code, 0) << script;
    EXPECT_EQ(r.out, kJson + "{status:\"CGI ERROR\"}") << script;
  }
}

TEST(CoreChannel, ClosedOrGarbledConnectionEndsTheWaitAtOnce) {
  // The wait allows 20 s; a connection that can carry no reply any more
  // ends it at once (well under half of that even under an emulator).
  for (const char* script : {"3000 close\n", "3000 malformed\n", "3000 truncated\n", "3000 oversize\n"}) {
    E2eEnv env;
    env.start_sim(script);
    const auto start = std::chrono::steady_clock::now();
    auto r = env.run(exchange(3000, 1, "20000"), PROBE_PATH);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.out, kJson + "{status:\"CGI ERROR\"}") << script;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 10000) << script;
  }
}

TEST(CoreChannel, NoDaemonAtAll) {
  E2eEnv env;
  auto r = env.run(exchange(3434, 1, "200"), PROBE_PATH);
  EXPECT_EQ(r.out, kJson + "{status:\"CGI ERROR\"}");
}

TEST(CoreChannel, SecondReplyIsNotWritten) {
  E2eEnv env;
  env.start_sim("3001 reply hex=01000000\n3001 reply hex=02000000\n");
  auto r = env.run(exchange(3001, 0), PROBE_PATH);
  EXPECT_EQ(r.out, kJson + "{\"status\":1}");
}

TEST(CoreChannel, LateReplyAfterTheErrorReplyIsDropped) {
  E2eEnv env;
  env.start_sim("3002 reply hex=05000000 delay=400\n");
  auto r = env.run(exchange(3002, 0, "100"), PROBE_PATH);
  EXPECT_EQ(r.out, kJson + "{status:\"CGI ERROR\"}");
}

TEST(CoreChannel, NotificationsAndOperationLogsInOrder) {
  E2eEnv env;
  env.start_sim();
  CgiRequest req;
  req.path_info = "/9992";
  // The user name in the log comes from the live session the cookies name.
  req.cookie = std::string("lang=en; userName=admin; sessionId=") + kDefaultSessionId + "; sid=1";
  auto r = env.run(req, PROBE_PATH);
  EXPECT_EQ(r.out, kText + "OK");

  char changed[32] = "network";
  OperationLogInfo log = expected_log_record(204, 914, 0);
  OperationLogInfo copy = expected_log_record(204, 915, 3);
  uint64_t mask = (1ULL << 5) | (1ULL << 63);
  std::vector<std::string> want = {
      "1702 " + to_hex(changed, sizeof changed),
      "3485 " + record_hex(log),
      "3509 " + record_hex(copy) + to_hex(&mask, sizeof mask),
  };
  EXPECT_EQ(env.journal(), want);
}

TEST_F(InProcess, NullCallbackSendsNothing) {
  env_.start_sim();
  EXPECT_EQ(cgi_start_ipc(nullptr, 3409, 0, nullptr, 0), -1);
  cgi_stop_ipc();
  EXPECT_TRUE(env_.journal().empty());
  // A waiting request while this process holds the store's write lock is
  // refused (its error reply goes out, nothing is sent); once committed it
  // goes through.
  {
    ZrdbTransaction txn(ZRDB_PATH);
    ASSERT_TRUE(txn.ok());
    g_callback_done = 1;
    EXPECT_EQ(cgi_start_ipc(count_cb, 3409, 0, nullptr, 0), -1);
    EXPECT_EQ(g_callback_done.load(), 0);
    cgi_stop_ipc();
    EXPECT_TRUE(env_.journal().empty());
    EXPECT_EQ(txn.commit(), 0);
  }
  EXPECT_EQ(cgi_start_ipc(count_cb, 3409, 0, nullptr, 1), 0);
  cgi_stop_ipc();
  EXPECT_EQ(env_.journal(), std::vector<std::string>{"3409 "});
  zrdb_close_all();
}

TEST_F(InProcess, ReplyTypeFollowsTheScriptAndWaitEndsOnReply) {
  env_.start_sim("3109 reply type=8103 hex=0100000002000000 delay=200\n");
  int32_t payload = 42;
  // The wait allows 30 s: the exchange ends because the reply came.
  setenv("NVR_IPC_WAIT_MS", "30000", 1);
  EXPECT_EQ(cgi_start_ipc(count_cb, 3109, sizeof payload, &payload, 0), 0);
  EXPECT_EQ(g_callback_done.load(), 1);
  cgi_stop_ipc();
  unsetenv("NVR_IPC_WAIT_MS");
  EXPECT_EQ(calls_, 1);
  EXPECT_EQ(last_type_, 8103);
  EXPECT_EQ(env_.journal_of(3109), std::vector<std::string>{"2a000000"});
}

TEST_F(InProcess, SuccessiveNotificationsArriveInOrder) {
  env_.start_sim();
  for (int i = 0; i < 20; ++i) {
    int32_t v = i;
    notify_core(1407, &v, sizeof v);
  }
  auto lines = env_.journal();
  ASSERT_EQ(lines.size(), 20u);
  for (int i = 0; i < 20; ++i) {
    int32_t v = i;
    EXPECT_EQ(lines[static_cast<size_t>(i)], "1407 " + to_hex(&v, sizeof v));
  }
}

TEST(WaitTable, LimitsPerRequest) {
  EXPECT_EQ(cgi_ipc_poll_limit(1153), 3000);
  EXPECT_EQ(cgi_ipc_poll_limit(3409), 6000);
  EXPECT_EQ(cgi_ipc_poll_limit(3434), 15000);
  EXPECT_EQ(cgi_ipc_poll_limit(3379), 30000);
  EXPECT_EQ(cgi_ipc_poll_limit(3700), 1500);
  EXPECT_EQ(cgi_ipc_poll_limit(1234), 1000);
}
