// Maintenance pages end to end: restart and factory restore, configuration
// export, download and import through the profile tool stand-in, firmware
// upgrade, device information, retention, automatic reboot and the general
// settings, with the exact messages the core daemon receives.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "core/event_records.h"
#include "core/md5.h"
#include "core/network_record.h"
#include "core/session.h"
#include "core/strutil.h"
#include "core/user_record.h"
#include "handlers/system/maintenance_records.h"
#include "network_e2e.h"

namespace {

class MaintenanceTest : public NetworkE2e {
 protected:
  void SetUp() override {
    NetworkE2e::SetUp();
    for (const char* tool : {"zrprofile", "reboot", "uptime"}) install_tool(tool);
    // The profile stand-in runs the zrdb tool (through the emulator on
    // cross builds).
    const char* emu = std::getenv("NVR_TEST_EMULATOR");
    std::ofstream(env_.path("/bin/zrdb")) << "#!/bin/sh\nexec " << (emu ? emu : "") << " '" << ZRDB_TOOL_PATH
                                          << "' \"$@\"\n";
    chmod(env_.path("/bin/zrdb").c_str(), 0755);
    env_.start_sim();
  }
  void install_tool(const std::string& name) {
    std::ifstream in(std::string(NVR_SOURCE_DIR) + "/tools/" + name, std::ios::binary);
    std::ofstream(env_.path("/bin/" + name), std::ios::binary) << in.rdbuf();
    chmod(env_.path("/bin/" + name).c_str(), 0755);
  }
  void restart_sim(const std::string& script) {
    env_.stop_sim();
    env_.start_sim(script);
  }
  CgiResult run(const CgiRequest& req, std::vector<std::string>* journal) {
    const size_t before = env_.journal().size();
    CgiResult r = env_.run(req);
    std::vector<std::string> all = env_.journal();
    journal->assign(all.begin() + static_cast<long>(before < all.size() ? before : all.size()), all.end());
    return r;
  }
  static std::string log_of(long long sub_type, int param = 900) { return log_line_of(4, sub_type, param); }
  static std::string reboot_line() { return line(1703, ""); }
  std::string param(const char* key) {
    zrdb_close_all();
    char buf[64] = "";
    return get_param_value(ZRDB_PATH, key, buf, sizeof buf, "<absent>") < 0 ? "<error>" : buf;
  }
  // An administrator account with the password "pw".
  static void put_account(int id, const char* name) {
    UserRecord u;
    std::memset(&u, 0, sizeof u);
    u.id = id;
    u.enable = 1;
    copy_field(u.name, name);
    copy_field(u.password, md5_hex("pw"));
    ASSERT_EQ(write_user(ZRDB_PATH, &u, id), 0);
  }
  void put_network(const std::string& host) {
    NetworkRecord n;
    std::memset(&n, 0, sizeof n);
    copy_field(n.hostName, host);
    copy_field(n.net[0].ipAddr, "192.168.1.100");
    n.net[0].mtu = 1500;
    ASSERT_EQ(write_network(ZRDB_PATH, &n), 0);
  }
  NetworkRecord network() {
    zrdb_close_all();
    NetworkRecord n;
    std::memset(&n, 0, sizeof n);
    EXPECT_EQ(read_network(ZRDB_PATH, &n), 0);
    return n;
  }
  // A stored record of the wrong size: every read of it fails.
  void break_family(const char* family) {
    const std::string junk(13, 'x');
    zrdb_delete_record(ZRDB_PATH, family, 0);
    ASSERT_EQ(zrdb_write_record(ZRDB_PATH, family, 0, junk.data(), junk.size()), 0);
  }
};

// ---- Restart, restore, restart state ----------------------------------------------------
TEST_F(MaintenanceTest, RestartAndFactoryRestoreSendTheirMessagesInOrder) {
  struct Row {
    const char* name;
    std::string body;
    std::string reply;
    std::vector<std::string> journal;
  } rows[] = {
      {"/1004", "", text_reply("OK"), {log_of(200), reboot_line()}},
      {"/1006", "{\"keepIp\":1}", text_reply("OK"),
       {line(3311, i32(1) + i32(0)), line(3410, ""), log_of(215), reboot_line()}},
      {"/1006", "{\"keepIp\":0,\"keepUser\":1}", text_reply("OK"),
       {line(3311, i32(0) + i32(1)), line(3410, ""), log_of(215), reboot_line()}},
      {"/1006", "{}", text_reply("OK"), {line(3311, i32(0) + i32(0)), line(3410, ""), log_of(215), reboot_line()}},
      // Unparsable or doubtful: nothing is restored.
      {"/1006", "{keepIp", "", {}},
      {"/1006", "{\"keepIp\":\"x\"}", "", {}},
      {"/1006", "{\"keepIp\":1,\"keepUser\":2}", "", {}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> j;
    EXPECT_EQ(send(row.name, row.body, &j).out, row.reply) << row.name << " " << row.body;
    EXPECT_EQ(j, row.journal) << row.name << " " << row.body;
  }
  EXPECT_EQ(env_.stub_calls("reboot"), "");  // the core daemon reboots, not the page
}

TEST_F(MaintenanceTest, RestartStateIsPublicAndFixesOnlyAStoredMotionRecord) {
  CgiRequest req;
  req.path_info = "/1005";
  req.anonymous = true;
  EXPECT_EQ(env_.run(req).out, text_reply("NO OK"));
  EXPECT_EQ(count("motion"), 0);  // no record: nothing written
  ASSERT_EQ(mkdir(env_.path("/tmp/zrcore").c_str(), 0755), 0);
  EXPECT_EQ(env_.run(req).out, text_reply("OK"));

  MotionRecord m;
  std::memset(&m, 0, sizeof m);
  m.enable = 1;
  m.sensitivity = 4;
  m.email_interval = 7;
  copy_field(m.tri_channels, "1000");
  ASSERT_EQ(write_motion(ZRDB_PATH, &m, 0), 0);
  EXPECT_EQ(env_.run(req).out, text_reply("OK"));
  MotionRecord want = m;
  want.interval = 20;
  EXPECT_EQ(record_hex(read<MotionRecord>("motion", 0)), record_hex(want));
  // Both set: left alone. A record that cannot be read is never overwritten.
  EXPECT_EQ(env_.run(req).out, text_reply("OK"));
  EXPECT_EQ(record_hex(read<MotionRecord>("motion", 0)), record_hex(want));
  // Nothing to change: the poll never asks for the write lock, so a save
  // holding it keeps the poll neither waiting nor failing (a wait that ran
  // out would be logged).
  auto debug_log = [&] { return env_.exists("/mnt/nand/cgi_log.txt") ? env_.read_file("/mnt/nand/cgi_log.txt") : ""; };
  const std::string logged = debug_log();
  {
    ZrdbTransaction held(ZRDB_PATH);
    ASSERT_TRUE(held.ok());
    EXPECT_EQ(env_.run(req).out, text_reply("OK"));
  }
  EXPECT_EQ(debug_log(), logged);
  break_family("motion");
  EXPECT_EQ(env_.run(req).out, text_reply("OK"));
  zrdb_close_all();
  std::string raw(13, '\0');
  EXPECT_EQ(zrdb_read_record(ZRDB_PATH, "motion", 0, &raw[0], raw.size()), 0);
  EXPECT_EQ(raw, std::string(13, 'x'));
  EXPECT_TRUE(env_.journal().empty());

  // The other maintenance pages need a signed-in user.
  req.path_info = "/1004";
  EXPECT_EQ(env_.run(req).out, "Status: 401 Unauthorized\r\n\r\n");
}

// ---- Export, download, import --------------------------------------------------------------
TEST_F(MaintenanceTest, ExportedProfileDownloadsAndImportsBack) {
  ASSERT_EQ(set_param_int(ZRDB_PATH, "zrfs_dbup", 3), 0);
  put_account(2, "carol");
  std::vector<std::string> j;
  CgiResult r = send("/1007", "", &j);
  const std::string path = env_.read_file("/tmp/.export_down_file");
  ASSERT_EQ(path.back(), '\n');
  const std::string file = path.substr(0, path.size() - 1);
  const std::string name = file.substr(file.rfind('/') + 1);
  EXPECT_EQ(file, env_.path("/tmp/" + name));
  EXPECT_EQ(name.rfind("nvr_profile_", 0), 0u);
  EXPECT_EQ(r.out, text_reply("OK filename=" + name + "\r\n"));
  EXPECT_EQ(j, std::vector<std::string>{log_of(213)});
  EXPECT_EQ(env_.stub_calls("zrprofile"), "-e " + env_.path("/tmp") + "\n");
  const std::string archive = env_.read_file("/tmp/" + name);
  ASSERT_FALSE(archive.empty());

  // The download: headers, the bytes, then the file is gone (the path file
  // stays, and its line end never reaches the headers).
  r = send("/1013", "", &j);
  EXPECT_EQ(r.out, "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= " + name +
                       "\r\n\r\n" + archive);
  EXPECT_TRUE(j.empty());
  EXPECT_FALSE(env_.exists("/tmp/" + name));
  EXPECT_TRUE(env_.exists("/tmp/.export_down_file"));
  EXPECT_EQ(send("/1013", "").out, "");  // nothing left to send

  // A later change is undone by importing the profile, uploaded as the page
  // does; the upload is removed. An account the profile does not hold (or
  // holds otherwise) loses its sessions; the others keep theirs.
  ASSERT_EQ(set_param_int(ZRDB_PATH, "zrfs_dbup", 9), 0);
  put_account(1, "bob");
  for (const char* name : {"bob", "carol"})
    ASSERT_NE(send("/1000", std::string(R"({"userName":")") + name + R"(","md5":")" + md5_hex("pw") + R"("})").out.find(
                  "sessionId"),
              std::string::npos);
  r = run(file_upload("/1008", "backup.tar.gz", archive), &j);
  EXPECT_EQ(r.out, text_reply("OK"));
  EXPECT_EQ(j, std::vector<std::string>{log_of(214)});
  EXPECT_EQ(param("zrfs_dbup"), "3");
  EXPECT_FALSE(env_.exists("/tmp/backup.tar.gz"));
  EXPECT_EQ(session_count_of(1), 0);
  EXPECT_EQ(session_count_of(2), 1);
  EXPECT_EQ(send("/6076", "").out, text_reply("OK"));  // the administrator's own

  // Files that are no profile: refused and removed all the same. One is
  // the exported profile whose database entry became a link to a database
  // elsewhere on the recorder.
  const std::string work = env_.path("/linked");
  env_.write_file("/tmp/export.tar.gz", archive);
  ASSERT_EQ(std::system(("mkdir '" + work + "' && cd '" + work + "' && tar -xzf '" + env_.path("/tmp/export.tar.gz") +
                         "' && mv zrdb.db other.db && ln -s '" + work + "/other.db' zrdb.db && tar -czf linked.tar.gz PROFILE zrdb.db")
                            .c_str()),
            0);
  ASSERT_EQ(set_param_int(ZRDB_PATH, "zrfs_dbup", 9), 0);
  for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
           {"notes.txt", "just text"}, {"linked.tar.gz", env_.read_file("/linked/linked.tar.gz")}}) {
    r = run(file_upload("/1008", name, content), &j);
    EXPECT_EQ(r.out, text_reply("CGI ERROR")) << name;
    EXPECT_TRUE(j.empty()) << name;
    EXPECT_FALSE(env_.exists("/tmp/" + name)) << name;
    EXPECT_EQ(param("zrfs_dbup"), "9") << name;
  }
}

TEST_F(MaintenanceTest, ImportTakesOnlyAPlainFileInTmpAndNoShellSeesItsName) {
  ASSERT_EQ(set_param_int(ZRDB_PATH, "zrfs_dbup", 0), 0);
  env_.write_file("/tmp/keep.cfg", "x");
  ASSERT_EQ(symlink(env_.path("/tmp/keep.cfg").c_str(), env_.path("/tmp/link.cfg").c_str()), 0);
  ASSERT_EQ(mkdir(env_.path("/tmp/sub").c_str(), 0755), 0);
  env_.write_file("/tmp/sub/inner.cfg", "x");
  env_.write_file("/tmp/cgicAbC123", "upload in progress");
  env_.write_file("/tmp/victim", "another client's file");
  const std::string db = env_.path("/mnt/nand/app/zrdb.db");
  // Only the file the request uploaded is imported: a plain file in /tmp
  // that a GET names is not.
  for (const std::string& q :
       {db, env_.path("/tmp/../mnt/nand/app/zrdb.db"), env_.path("/tmp/link.cfg"), env_.path("/tmp/sub/inner.cfg"),
        env_.path("/tmp/.export_down_file"), env_.path("/tmp/cgicAbC123"), env_.path("/tmp/missing"),
        env_.path("/tmp/keep.cfg"), env_.path("/tmp/victim") + " & x.bin", std::string("")}) {
    std::vector<std::string> j;
    EXPECT_EQ(get("/1008", q, &j).out, text_reply("CGI ERROR")) << q;
    EXPECT_TRUE(j.empty()) << q;
  }
  EXPECT_EQ(env_.stub_calls("zrprofile"), "");
  EXPECT_TRUE(env_.exists("/mnt/nand/app/zrdb.db"));
  EXPECT_TRUE(env_.exists("/tmp/keep.cfg"));
  EXPECT_TRUE(env_.exists("/tmp/link.cfg"));
  EXPECT_TRUE(env_.exists("/tmp/cgicAbC123"));

  // A name full of shell syntax reaches the tool as one word; a name with
  // " & " is one name, and the other client's "victim" stays.
  std::vector<std::string> j;
  std::string calls;
  for (const std::string& name : {std::string("a$(echo x)`echo y`;b'c.cfg"), std::string("victim & x.bin")}) {
    EXPECT_EQ(run(file_upload("/1008", name, "junk"), &j).out, text_reply("CGI ERROR")) << name;
    EXPECT_TRUE(j.empty()) << name;
    EXPECT_FALSE(env_.exists("/tmp/" + name)) << name;
    calls += "-i " + env_.path("/tmp/" + name) + "\n";
  }
  EXPECT_EQ(env_.stub_calls("zrprofile"), calls);
  EXPECT_EQ(env_.read_file("/tmp/victim"), "another client's file");
  EXPECT_TRUE(env_.exists("/tmp/keep.cfg"));

  // What the tool prints never reaches the reply.
  env_.add_stub("zrprofile", "echo imported; echo done >&2; exit 0");
  EXPECT_EQ(run(file_upload("/1008", "noisy.cfg", "x"), &j).out, text_reply("OK"));
  EXPECT_EQ(j, std::vector<std::string>{log_of(214)});
  EXPECT_FALSE(env_.exists("/tmp/noisy.cfg"));
}

TEST_F(MaintenanceTest, ExportFailuresAndUnsafeExportPaths) {
  ASSERT_EQ(set_param_int(ZRDB_PATH, "zrfs_dbup", 0), 0);
  std::vector<std::string> j;
  env_.add_stub("zrprofile", "exit 1");
  EXPECT_EQ(send("/1007", "", &j).out, text_reply("CGI ERROR"));
  EXPECT_TRUE(j.empty());
  // The tool wrote no path: a plain "OK", and nothing to download.
  env_.add_stub("zrprofile", "exit 0");
  EXPECT_EQ(send("/1007", "", &j).out, text_reply("OK"));
  EXPECT_EQ(j, std::vector<std::string>{log_of(213)});
  EXPECT_EQ(send("/1013", "").out, "");
  // A path without a '/' names no file.
  env_.write_file("/tmp/.export_down_file", "profile.bin\n");
  EXPECT_EQ(send("/1007", "").out, text_reply("OK"));

  // The download sends and removes only a plain file directly in /tmp,
  // in either spelling of the folder.
  env_.write_file("/tmp/cfg.bin", "PROFILE");
  env_.write_file("/tmp/.export_down_file", "/tmp/cfg.bin\r\n");
  EXPECT_EQ(send("/1013", "").out,
            "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= cfg.bin\r\n\r\nPROFILE");
  EXPECT_FALSE(env_.exists("/tmp/cfg.bin"));
  ASSERT_EQ(symlink(env_.path("/mnt/nand/app/zrdb.db").c_str(), env_.path("/tmp/db.lnk").c_str()), 0);
  for (const std::string& p : {env_.path("/mnt/nand/app/zrdb.db"), std::string("/tmp/../mnt/nand/app/zrdb.db"),
                               env_.path("/tmp/db.lnk"), std::string("/tmp/cgilockfile")}) {
    env_.write_file("/tmp/.export_down_file", p + "\n");
    EXPECT_EQ(send("/1013", "").out, "") << p;
  }
  EXPECT_TRUE(env_.exists("/mnt/nand/app/zrdb.db"));
  EXPECT_TRUE(env_.exists("/tmp/db.lnk"));
}

// ---- Upgrade ------------------------------------------------------------------------------
TEST_F(MaintenanceTest, UpgradeResultsAndResetFlag) {
  struct Row {
    std::string script;
    std::string query;
    std::string reply;
    int32_t reset;
    bool reboot;
  } rows[] = {
      {"", "", "OK", 0, true},
      {"1713 reply hex=01000000\n", "param:reset", "OK", 1, true},
      {"", "keep=1&doresetnow", "OK", 1, true},  // "reset" anywhere in the word
      {"1713 reply hex=05000000\n", "", "5", 0, false},
      {"1713 reply hex=ffffffff\n", "", "-1", 0, false},
      {"1713 reply hex=0100\n", "", "-1", 0, false},  // too short to hold a result
      {"1713 none\n", "reset", "0", 1, false},
  };
  for (const Row& row : rows) {
    restart_sim(row.script);
    CgiRequest req = file_upload("/1010", "fw.bin", "IMAGE", row.query);
    req.env["NVR_IPC_WAIT_MS"] = "300";
    std::vector<std::string> j;
    EXPECT_EQ(run(req, &j).out, text_reply(row.reply)) << row.script << row.query;
    std::vector<std::string> want = {log_of(203), line(1713, i32(row.reset))};
    if (row.reboot) {
      want.push_back(log_of(200));
      want.push_back(reboot_line());
    }
    EXPECT_EQ(j, want) << row.script << row.query;
  }
  // Without a request text nothing starts.
  std::vector<std::string> j;
  EXPECT_EQ(get("/1010", "", &j).out, text_reply("CGI ERROR"));
  EXPECT_TRUE(j.empty());
}

TEST_F(MaintenanceTest, UpgradeStartLeftoversAndPlaceholderUpload) {
  std::vector<std::string> j;
  EXPECT_EQ(send("/1034", "", &j).out, json_reply("{\"res\":0}"));
  EXPECT_EQ(j, std::vector<std::string>{line(1721, "")});
  EXPECT_EQ(send("/1011", "").out, text_reply("OK"));
  env_.write_file("/dev/shm/updateFM.bin", "IMAGE");
  EXPECT_EQ(send("/1011", "").out, text_reply("Error"));
  EXPECT_TRUE(env_.exists("/dev/shm/updateFM.bin"));
  // "/1019" takes the upload, answers nothing and leaves no file behind.
  EXPECT_EQ(run(file_upload("/1019", "fw.bin", "IMAGE"), &j).out, "");
  EXPECT_TRUE(j.empty());
  struct stat st {};
  for (const char* f : {"/tmp/fw.bin"}) EXPECT_NE(stat(env_.path(f).c_str(), &st), 0) << f;
}

// ---- Device information -----------------------------------------------------------------
TEST_F(MaintenanceTest, DeviceInformationFromTheCoreRecord) {
  ASSERT_EQ(set_param_int(ZRDB_PATH, "max_cameras", 16), 0);
  ASSERT_EQ(set_param_int(ZRDB_PATH, "zrfs_dbup", 1), 0);
  ASSERT_EQ(set_param_value(ZRDB_PATH, "company", "Lab Systems"), 0);
  ASSERT_EQ(set_param_value(ZRDB_PATH, "plugin_version", "2.4"), 0);
  const std::string want =
      "{\"hostName\":\"\",\"deviceName\":\"NVR-3208\",\"deviceId\":255,\"product\":\"NVR-3208\",\"hwver\":\"V1.0\","
      "\"software\":\"V3.2.1.20261130\",\"oemversion\":0,\"sn\":\"N32A0B7C4D2E9F1026\",\"prefix\":\"N32A\","
      "\"pluginVersion\":\"2.4\",\"mpluginVersion\":\"1.0\",\"macAddress\":\"00:1E:A8:00:00:10\",\"zrddns\":1,"
      "\"uptime\":\" 10:15:02 up 3 days,  4:12\",\"sncode\":\"N32A0B7C4D2E9F1026\",\"resource\":{\"displayNum\":2,"
      "\"maxAudioOut\":1,\"maxNetworkLan\":2,\"maxSensor\":16,\"maxAlarm\":4,\"maxCameras\":16,\"masRs485\":1},"
      "\"zrfsDbup\":1,\"transProtocol\":0,\"streamInfo\":0,\"oemonlineupdate\":0,\"company\":\"Lab Systems\","
      "\"isSupportTalk\":1}";
  for (const char* name : {"/1009", "/1020"}) {
    std::vector<std::string> j;
    EXPECT_EQ(send(name, "", &j).out, json_reply(want)) << name;
    EXPECT_EQ(j, std::vector<std::string>{line(3400, "")});
  }
  // Uptime texts without a user count are cut before the load figures.
  env_.add_stub("uptime", "echo ' 10:15:02 up 5 min,  load average: 0.00, 0.00, 0.00'");
  EXPECT_NE(send("/1009", "").out.find("\"uptime\":\" 10:15:02 up 5 min,\","), std::string::npos);
  env_.add_stub("uptime", "echo 'up 9'");
  EXPECT_NE(send("/1009", "").out.find("\"uptime\":\"up 9\","), std::string::npos);

  // A record cut short or no reply at all.
  restart_sim("3400 reply hex=01000000\n");
  EXPECT_EQ(send("/1009", "").out, kJsonError);
  restart_sim("3400 none\n");
  EXPECT_EQ(send("/1020", "", nullptr, "300").out, kJsonError);
}

// ---- Host name and device id ---------------------------------------------------------------
TEST_F(MaintenanceTest, HostNameAndDeviceId) {
  put_network("nvr-old");
  const NetworkRecord before = network();
  std::vector<std::string> j;
  EXPECT_EQ(send("/1012", "{\"hostName\":\"nvr-lab\",\"deviceId\":7}", &j).out, text_reply("OK"));
  EXPECT_EQ(j, (std::vector<std::string>{line(1705, i32(7)), changed_line("hostname")}));
  NetworkRecord want = before;
  copy_field(want.hostName, "nvr-lab");
  EXPECT_EQ(record_hex(network()), record_hex(want));
  EXPECT_EQ(param("deviceid"), "7");
  for (const char* body : {"{\"deviceId\":7}", "{\"hostName\":\"\",\"deviceId\":7}", "{\"hostName\":\"a\"}",
                           "{\"hostName\":\"a\",\"deviceId\":0}", "{\"hostName\":\"a\",\"deviceId\":256}",
                           "{\"hostName\":\"a\",\"deviceId\":\"x\"}", "{\"hostName\":\"a\",\"deviceId\":1.5}", "nope",
                           "{\"hostName\":\"nvr\\nlab\",\"deviceId\":7}", "{\"hostName\":\"nvr\\r\",\"deviceId\":7}"}) {
    EXPECT_EQ(send("/1012", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  EXPECT_EQ(param("deviceid"), "7");
  EXPECT_EQ(record_hex(network()), record_hex(want));
  // The network record cannot be read: nothing is written over it.
  break_family("network_muti");
  EXPECT_EQ(send("/1012", "{\"hostName\":\"b\",\"deviceId\":9}", &j).out, text_reply("CGI ERROR"));
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(param("deviceid"), "7");
}

// ---- Retention, file system flag, automatic reboot ------------------------------------------
TEST_F(MaintenanceTest, RetentionValuesAndRoundTrip) {
  std::vector<std::string> j;
  EXPECT_EQ(send("/1016", "").out, json_reply("{\"logRetention\":0,\"photoRetention\":0}"));
  EXPECT_EQ(send("/1017", "{\"logRetention\":4,\"photoRetention\":-1}", &j).out, text_reply("OK"));
  EXPECT_EQ(j, std::vector<std::string>{line(2102, "")});
  const std::string got = json_body(send("/1016", ""));
  EXPECT_EQ(got, "{\"logRetention\":4,\"photoRetention\":-1}");
  const std::string stored = stored_hex("disk_maintain", 0, sizeof(DiskMaintainInfo));
  EXPECT_EQ(send("/1017", got, &j).out, text_reply("OK"));
  EXPECT_EQ(j, std::vector<std::string>{line(2102, "")});
  EXPECT_EQ(stored_hex("disk_maintain", 0, sizeof(DiskMaintainInfo)), stored);
  for (const char* body : {"{\"logRetention\":3,\"photoRetention\":0}", "{\"logRetention\":4}",
                           "{\"logRetention\":14,\"photoRetention\":0}", "{\"logRetention\":\"x\",\"photoRetention\":0}",
                           "{\"logRetention\":-2,\"photoRetention\":12}"}) {
    EXPECT_EQ(send("/1017", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  EXPECT_EQ(stored_hex("disk_maintain", 0, sizeof(DiskMaintainInfo)), stored);
  EXPECT_EQ(send("/1017", "{\"logRetention\":\"12\",\"photoRetention\":10}").out, text_reply("OK"));
  EXPECT_EQ(json_body(send("/1016", "")), "{\"logRetention\":12,\"photoRetention\":10}");
  // A damaged record reads as zeros, and a valid save replaces it (the
  // first row is that answer posted back).
  for (const char* body : {"{\"logRetention\":0,\"photoRetention\":0}", "{\"logRetention\":2,\"photoRetention\":1}"}) {
    break_family("disk_maintain");
    const std::string damaged = json_body(send("/1016", ""));
    EXPECT_EQ(damaged, "{\"logRetention\":0,\"photoRetention\":0}");
    EXPECT_EQ(send("/1017", body, &j).out, text_reply("OK")) << body;
    EXPECT_EQ(j, std::vector<std::string>{line(2102, "")});
    EXPECT_EQ(json_body(send("/1016", "")), body);
    EXPECT_NE(stored_hex("disk_maintain", 0, sizeof(DiskMaintainInfo)), "");
  }

  ASSERT_EQ(set_param_int(ZRDB_PATH, "zrfs_dbup", 1), 0);
  EXPECT_EQ(send("/1023", "", &j).out, text_reply("OK"));
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(param("zrfs_dbup"), "0");
}

TEST_F(MaintenanceTest, AutomaticRebootKeepsAbsentKeys) {
  std::vector<std::string> j;
  EXPECT_EQ(send("/1033", "{\"enable\":1,\"wday\":3,\"hour\":2,\"minutes\":30,\"seconds\":0}", &j).out,
            text_reply("OK"));
  EXPECT_EQ(j, std::vector<std::string>{line(1718, "")});
  const std::string got = json_body(send("/1032", ""));
  EXPECT_EQ(got, "{\"enable\":1,\"wday\":3,\"hour\":2,\"minutes\":30,\"seconds\":0}");
  const std::string stored = stored_hex("autoreboot", 0, sizeof(AutoRebootConf));
  EXPECT_EQ(send("/1033", got).out, text_reply("OK"));
  EXPECT_EQ(stored_hex("autoreboot", 0, sizeof(AutoRebootConf)), stored);
  EXPECT_EQ(send("/1033", "{\"hour\":4}").out, text_reply("OK"));
  EXPECT_EQ(json_body(send("/1032", "")), "{\"enable\":1,\"wday\":3,\"hour\":4,\"minutes\":30,\"seconds\":0}");
  for (const char* body : {"{\"hour\":24}", "{\"minutes\":60}", "{\"enable\":\"x\"}", "{\"seconds\":-1}", "[1]"}) {
    EXPECT_EQ(send("/1033", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  EXPECT_EQ(json_body(send("/1032", "")), "{\"enable\":1,\"wday\":3,\"hour\":4,\"minutes\":30,\"seconds\":0}");
  // A damaged record reads as zeros; that answer posted back replaces it.
  break_family("autoreboot");
  const std::string zeros = json_body(send("/1032", ""));
  EXPECT_EQ(zeros, "{\"enable\":0,\"wday\":0,\"hour\":0,\"minutes\":0,\"seconds\":0}");
  EXPECT_EQ(send("/1033", zeros, &j).out, text_reply("OK"));
  EXPECT_EQ(j, std::vector<std::string>{line(1718, "")});
  EXPECT_EQ(stored_hex("autoreboot", 0, sizeof(AutoRebootConf)), std::string(40, '0'));
}

// ---- General settings ---------------------------------------------------------------------
class GeneralSettingsTest : public MaintenanceTest {
 protected:
  void SetUp() override {
    MaintenanceTest::SetUp();
    put_network("nvr-hall");
    DisplayRecord d{};
    d.mainResolution = 3;
    d.hdmiAudioOn = 1;
    d.audioOutputOn = 1;
    d.audioVolume = 60;
    d.audioStereo = 1;
    d.subEnable = 0;
    d.subResolution = 2;
    d.reserved[0] = 77;
    ASSERT_EQ(write_display(ZRDB_PATH, &d), 0);
    ASSERT_EQ(set_param_value(ZRDB_PATH, "deviceid", "12"), 0);
    ASSERT_EQ(set_param_int(ZRDB_PATH, "stream_information", 1), 0);
  }
  std::string display_hex() { return stored_hex("display", 0, sizeof(DisplayRecord)); }
  static std::string audio_line(int hdmi, int out, int volume) { return line(1002, i32(hdmi) + i32(out) + i32(volume)); }
  static std::string body(const std::string& changes, bool homologous = true) {
    return std::string("{\"displayMode\":0,\"hdmihotplug\":1,\"mainResolution\":3,\"hdmiAudioOn\":1,") +
           (homologous ? "\"homologous\":1," : "") +
           "\"curControl\":0,\"subEnable\":0,\"subResolution\":2,\"audioOutputOn\":1,\"audioVolume\":60,"
           "\"deviceId\":12,\"hostname\":\"nvr-hall\",\"wizardEnable\":0" +
           changes + "}";
  }
};

TEST_F(GeneralSettingsTest, GetterReplyPostedBackChangesNothing) {
  // As stored, then after the factory command interface and the aging
  // switch stored values this page never sends itself.
  const struct {
    const char* name;
    const char* query;
    const char* body;
    const char* param;
    const char* value;
  } rows[] = {
      {nullptr, "", "", "hdmihotplug", "<absent>"},
      {"/vb.htm", "hotplug=2", "", "hdmihotplug", "2"},
      {"/3303", "", R"({"wizardEnable":2})", "wizard_enable", "2"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name ? row.name : "as stored");
    if (row.name) {
      ASSERT_EQ((*row.body ? send(row.name, row.body) : get(row.name, row.query)).out, text_reply("OK"));
    }
    const std::string got = json_body(send("/6080", ""));
    if (!row.name) {
      EXPECT_EQ(got, body(""));
    }
    const std::string display = display_hex();
    const NetworkRecord net = network();
    std::vector<std::string> j;
    EXPECT_EQ(send("/6081", got, &j).out, text_reply("OK"));
    EXPECT_EQ(j, (std::vector<std::string>{line(1705, i32(12)), changed_line("hostname"), audio_line(1, 1, 60),
                                            log_of(204, 913)}));
    EXPECT_EQ(display_hex(), display);
    EXPECT_EQ(record_hex(network()), record_hex(net));
    EXPECT_EQ(param("stream_information"), "1");  // absent: kept
    EXPECT_EQ(param("homologous"), "<absent>");
    EXPECT_EQ(param("quick_screen"), "<absent>");
    EXPECT_EQ(param(row.param), row.value);
    EXPECT_EQ(json_body(send("/6080", "")), got);
  }
}

TEST_F(GeneralSettingsTest, ChangesAndTheirMessages) {
  std::vector<std::string> j;
  // New resolutions: both outputs are set again, then applied.
  EXPECT_EQ(send("/6081", body(",\"mainResolution\":5,\"audioVolume\":100,\"hostname\":\"nvr-2\",\"displayMode\":1"), &j).out,
            text_reply("OK"));
  EXPECT_EQ(j, (std::vector<std::string>{line(1705, i32(12)), changed_line("hostname"), line(1001, i32(0) + i32(5)),
                                          line(1001, i32(1) + i32(2)), line(1015, ""), audio_line(1, 1, 100),
                                          log_of(204, 913)}));
  DisplayRecord d = read<DisplayRecord>("display", 0);
  EXPECT_EQ(d.mainResolution, 5);
  EXPECT_EQ(d.audioVolume, 100);
  EXPECT_EQ(d.audioStereo, 1);  // absent: kept
  EXPECT_EQ(d.reserved[0], 77);
  EXPECT_EQ(std::string(network().hostName), "nvr-2");
  EXPECT_EQ(param("display_mode"), "1");
  // The second output switched on: told to the core daemon.
  EXPECT_EQ(send("/6081", body(",\"mainResolution\":5,\"hostname\":\"nvr-2\",\"subEnable\":1,\"audioVolume\":0"), &j).out,
            text_reply("OK"));
  EXPECT_EQ(j, (std::vector<std::string>{line(1705, i32(12)), changed_line("hostname"), line(1023, i32(1)),
                                          audio_line(1, 1, 0), log_of(204, 913)}));
  EXPECT_EQ(read<DisplayRecord>("display", 0).subEnable, 1);
  // Mirrored outputs changed: the answer first, then the reboot.
  EXPECT_EQ(send("/6081", body(",\"mainResolution\":5,\"hostname\":\"nvr-2\",\"subEnable\":1,\"homologous\":0,"
                               "\"isHomologousChanged\":1"),
                 &j).out,
            text_reply("OK"));
  ASSERT_FALSE(j.empty());
  EXPECT_EQ(j.back(), reboot_line());
  EXPECT_EQ(j.size(), 5u);
  EXPECT_EQ(param("homologous"), "0");
  EXPECT_EQ(param("quick_screen"), "1");
  // Claimed changed but absent or equal to the stored value: no reboot.
  for (bool with_homologous : {false, true}) {
    const std::string extra = with_homologous ? ",\"homologous\":0,\"isHomologousChanged\":1" : ",\"isHomologousChanged\":1";
    EXPECT_EQ(send("/6081", body(",\"mainResolution\":5,\"hostname\":\"nvr-2\",\"subEnable\":1" + extra, with_homologous), &j)
                  .out,
              text_reply("OK"));
    EXPECT_EQ(std::count(j.begin(), j.end(), reboot_line()), 0) << extra;
  }
  EXPECT_EQ(param("homologous"), "0");
}

TEST_F(GeneralSettingsTest, RefusedRequestsWriteNothing) {
  const std::string display = display_hex();
  const NetworkRecord net = network();
  std::vector<std::string> j;
  for (const char* extra :
       {",\"audioVolume\":105", ",\"audioVolume\":-10", ",\"audioOutputOn\":2", ",\"deviceId\":0", ",\"deviceId\":256",
        ",\"deviceId\":\"x\"", ",\"wizardEnable\":2", ",\"subEnable\":\"on\"", ",\"homologous\":2",
        ",\"isHomologousChanged\":\"x\"", ",\"hdmihotplug\":\"x\"", ",\"hostname\":\"nvr\\nhall\"",
        ",\"wizardEnable\":-1"}) {
    EXPECT_EQ(send("/6081", body(extra), &j).out, "") << extra;
    EXPECT_TRUE(j.empty()) << extra;
  }
  // A required key missing.
  EXPECT_EQ(send("/6081", "{\"mainResolution\":3}", &j).out, "");
  EXPECT_EQ(display_hex(), display);
  EXPECT_EQ(record_hex(network()), record_hex(net));
  EXPECT_EQ(param("deviceid"), "12");
  // Another control owns the outputs: "SUB".
  DisplayRecord d = read<DisplayRecord>("display", 0);
  d.curControl = 1;
  ASSERT_EQ(write_display(ZRDB_PATH, &d), 0);
  EXPECT_EQ(send("/6081", body(",\"subEnable\":1"), &j).out, text_reply("SUB"));
  EXPECT_EQ(std::count(j.begin(), j.end(), line(1023, i32(1))), 0);
  // The network record cannot be read: nothing is written.
  const std::string display2 = display_hex();
  break_family("network_muti");
  EXPECT_EQ(send("/6081", body(",\"audioVolume\":10"), &j).out, text_reply("CGI ERROR"));
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(display_hex(), display2);
  EXPECT_EQ(send("/6080", "").out, kJsonError);
  // A stored device id outside the range reads as the default.
  put_network("x");
  ASSERT_EQ(set_param_value(ZRDB_PATH, "deviceid", "NVR0001"), 0);
  EXPECT_NE(send("/6080", "").out.find("\"deviceId\":255,"), std::string::npos);
}

}  // namespace
