// The zrdb command-line tool, run as a program against a temporary NVR_ROOT.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/strutil.h"
#include "zrdb_test_util.h"

namespace {

struct ToolResult {
  std::string out;  // standard output and error
  int status = -1;
};

ToolResult run_tool(const E2eEnv& env, const std::string& args) {
  const char* emu = std::getenv("NVR_TEST_EMULATOR");
  std::string cmd = "NVR_ROOT=" + shell_quote(env.root()) + " " + (emu ? std::string(emu) + " " : "") +
                    shell_quote(ZRDB_TOOL_PATH) + " " + args + " 2>&1";
  ToolResult r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

TEST(ZrdbTool, SeedGetSetDump) {
  E2eEnv env;
  ToolResult r = run_tool(env, "seed");
  ASSERT_EQ(r.status, 0) << r.out;
  struct Row {
    const char* key;
    const char* value;
  };
  const Row seeded[] = {{"max_cameras", "32"}, {"alarm_in", "16"},      {"alarm_out", "4"},
                        {"homologous", "1"},   {"access_filter_type", "1"}, {"pushmsg_alarmin_type", "65535"},
                        {"oem_type", "0"},     {"wizard_enable", "0"}};
  for (const Row& row : seeded) {
    r = run_tool(env, std::string("get ") + row.key);
    EXPECT_EQ(r.status, 0) << row.key;
    EXPECT_EQ(r.out, std::string(row.value) + "\n") << row.key;
  }
  r = run_tool(env, "get software_version");
  EXPECT_EQ(r.status, 0);
  EXPECT_GT(r.out.size(), 2u);

  r = run_tool(env, "set model 'NVR 8 ch'");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "NVR 8 ch\n");
  r = run_tool(env, "set max_cameras 16");
  EXPECT_EQ(r.out, "16\n");
  r = run_tool(env, "set serial 007");  // leading zeros kept: stored as text
  EXPECT_EQ(r.out, "007\n");
  r = run_tool(env, "get model");
  EXPECT_EQ(r.out, "NVR 8 ch\n");

  r = run_tool(env, "get no_such_key");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "zrdb: no such key: no_such_key\n");
  r = run_tool(env, "dump no_such_family");
  EXPECT_EQ(r.status, 1);
  r = run_tool(env, "frobnicate");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("usage"), std::string::npos);
}

using ZrdbToolDump = StoreTest;

TEST_F(ZrdbToolDump, OneLinePerRecord) {
  ASSERT_TRUE(env_.seed_db());
  EXPECT_EQ(run_tool(env_, "dump").out, "");  // no record families yet
  const int32_t small[2] = {1, 0x0a0b0c0d};
  std::string big(300, '\0');
  big[0] = 'A';
  big[299] = 'Z';
  ASSERT_EQ(zrdb_write_record(ZRDB_PATH, "camera", 2, small, sizeof small), 0);
  ASSERT_EQ(zrdb_write_record(ZRDB_PATH, "camera", 0, big.data(), big.size()), 0);
  ToolResult r = run_tool(env_, "dump camera");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0 size=300 nonzero=2 41" + std::string(126, '0') + "...\n"
                   "2 size=8 nonzero=5 010000000d0c0b0a\n");
  r = run_tool(env_, "dump");
  EXPECT_EQ(r.out, "camera 2\n");
}

TEST_F(ZrdbToolDump, PlateListIsShown) {
  ASSERT_TRUE(env_.seed_db());
  // No plates yet: nothing listed.
  EXPECT_EQ(run_tool(env_, "dump").out, "");
  EXPECT_EQ(run_tool(env_, "dump anpr_list").status, 1);
  const AnprListEntry list[] = {{"white", "ZZ 9"}, {"black", "AB-1"}};
  ASSERT_EQ(write_anpr_list_replace_batch(ANPR_DB_PATH, list, 2), 0);
  zrdb_close_all();
  EXPECT_EQ(run_tool(env_, "dump").out, "anpr_list 2\n");
  ToolResult r = run_tool(env_, "dump anpr_list");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "AB-1 type=black\nZZ 9 type=white\n");
}

TEST(ZrdbTool, BrokenDatabaseIsReported) {
  E2eEnv env;
  env.write_file("/mnt/nand/app/zrdb.db", std::string(3000, '#'));
  for (const char* args : {"get model", "set model x", "dump camera"}) {
    ToolResult r = run_tool(env, args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.out.find("cannot open the database"), std::string::npos) << r.out;
  }
  EXPECT_EQ(env.read_file("/mnt/nand/app/zrdb.db"), std::string(3000, '#'));
  // seed replaces it with a fresh database.
  EXPECT_EQ(run_tool(env, "seed").status, 0);
  EXPECT_EQ(run_tool(env, "get alarm_out").out, "4\n");
}

}  // namespace
