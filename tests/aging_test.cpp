// Aging test switches, end to end: the CGI program against zrcore-sim and
// the store under the test's NVR_ROOT.
#include <cstring>
#include <string>
#include <vector>

#include "core/camera_record.h"
#include "core/port_record.h"
#include "core/record_row.h"
#include "core/strutil.h"
#include "zrdb_test_util.h"

namespace {

const std::string kText = "Content-type: text/plain\r\n\r\n";

class AgingTest : public StoreTest {
 protected:
  CgiResult post(const std::string& name, const std::string& body) {
    CgiRequest req;
    req.method = "POST";
    req.path_info = name;
    req.content_type = "application/json";
    req.body = body;
    CgiResult r = env_.run(req);
    zrdb_close_all();  // see the program's writes afresh
    return r;
  }
};

std::string int_hex(int32_t v) { return to_hex(&v, sizeof v); }

TEST_F(AgingTest, SshSwitchKeepsThePortRecord) {
  PortRecord port{};
  port.httpPort = 80;
  copy_field(port.hostName, "nvr.local");
  ASSERT_EQ(write_port(ZRDB_PATH, &port, PORT_RECORD_ID), 0);
  zrdb_close_all();
  env_.start_sim();
  CgiResult r = post("/3300", R"({"sshEnable":1})");
  EXPECT_EQ(r.out, kText + "OK");
  PortRecord out{};
  ASSERT_EQ(read_port(ZRDB_PATH, &out, PORT_RECORD_ID), 0);
  EXPECT_EQ(out.enableSsh, 1);
  EXPECT_EQ(out.httpPort, 80);
  EXPECT_STREQ(out.hostName, "nvr.local");
  char more[32] = "more";
  EXPECT_EQ(env_.journal(), std::vector<std::string>{"1702 " + to_hex(more, sizeof more)});
}

TEST_F(AgingTest, IntegerParameters) {
  env_.start_sim();
  EXPECT_EQ(post("/3301", R"({"autoLoginEnable":1})").out, kText + "OK");
  EXPECT_EQ(post("/3303", R"({"wizardEnable":1})").out, kText + "OK");
  EXPECT_EQ(get_param_int(ZRDB_PATH, "local_auth_enable", -1), 1);
  EXPECT_EQ(get_param_int(ZRDB_PATH, "wizard_enable", -1), 1);
  EXPECT_EQ(post("/3303", R"({})").out, kText + "OK");  // absent counts as 0
  EXPECT_EQ(get_param_int(ZRDB_PATH, "wizard_enable", -1), 0);
  EXPECT_TRUE(env_.journal().empty());
}

TEST_F(AgingTest, RecordModeOfAllSixtyFourChannels) {
  ASSERT_TRUE(env_.seed_db());
  set_param_int(ZRDB_PATH, "max_cameras", 8);
  RecordRow row{};
  row.id = 3;
  row.postRecordDuration = 30;
  ASSERT_EQ(write_record(ZRDB_PATH, &row, 3), 0);
  zrdb_close_all();
  env_.start_sim();
  EXPECT_EQ(post("/3302", R"({"recordMode":1})").out, kText + "OK");
  RecordRow rows[64];
  ASSERT_EQ(zrdb_read_record_range(ZRDB_PATH, "record", 0, rows, sizeof(RecordRow), 64), 0);
  std::vector<std::string> want;
  for (int ch = 0; ch < 64; ++ch) {
    EXPECT_EQ(rows[ch].mode, 1) << ch;
    want.push_back("1407 " + int_hex(ch));
  }
  EXPECT_EQ(rows[3].postRecordDuration, 30);
  EXPECT_EQ(env_.journal(), want);
}

TEST_F(AgingTest, CameraQuickSet) {
  CameraRecord cam{};
  cam.id = 5;
  cam.camProtocol = 3;
  cam.httpsPort = 443;
  copy_field(cam.ddns, "kept");
  ASSERT_EQ(write_camera(ZRDB_PATH, &cam, 5), 0);
  zrdb_close_all();
  env_.start_sim();
  const std::string longer(100, 'p');
  CgiResult r = post("/3304", R"({"id":5,"enable":1,"ipAddr":"192.168.1.64","managePort":8000,)"
                              R"("userName":"admin","password":")" + longer + "\"}");
  EXPECT_EQ(r.out, kText + "OK");
  ASSERT_EQ(read_camera(ZRDB_PATH, &cam, 5), 0);
  EXPECT_EQ(cam.enable, 1);
  EXPECT_STREQ(cam.ipAddr, "192.168.1.64");
  EXPECT_STREQ(cam.userName, "admin");
  EXPECT_EQ(std::string(cam.password), std::string(63, 'p'));
  EXPECT_EQ(cam.managePort, 8000);
  EXPECT_EQ(cam.camProtocol, 0);
  EXPECT_EQ(cam.httpsPort, 443);
  EXPECT_STREQ(cam.ddns, "kept");
  EXPECT_EQ(env_.journal(), std::vector<std::string>{"1201 " + int_hex(5)});

  r = post("/3304", R"({"id":5,"enable":0,"ipAddr":"10.0.0.2","managePort":0})");
  EXPECT_EQ(r.out, kText + "OK");
  ASSERT_EQ(read_camera(ZRDB_PATH, &cam, 5), 0);
  EXPECT_EQ(cam.enable, 0);
  EXPECT_STREQ(cam.userName, "");  // absent texts count as empty
  EXPECT_EQ(env_.journal().back(), "1202 " + int_hex(5));
}

TEST_F(AgingTest, InvalidRequestsAnswerNothingAndChangeNothing) {
  env_.start_sim();
  const char* bad[] = {
      R"({"id":65,"enable":1,"ipAddr":"1.2.3.4","managePort":80})",
      R"({"id":64,"enable":1,"ipAddr":"1.2.3.4","managePort":80})",
      R"({"id":-1,"enable":1,"ipAddr":"1.2.3.4","managePort":80})",
      R"({"id":1,"enable":2,"ipAddr":"1.2.3.4","managePort":80})",
      R"({"id":1,"enable":1,"ipAddr":"","managePort":80})",
      R"({"id":1,"enable":1,"managePort":80})",
      R"({"id":1,"enable":1,"ipAddr":"1.2.3.4","managePort":-1})",
      R"({"enable":1,"ipAddr":"1.2.3.4","managePort":80})",
      R"([1,2])",
      "not json",
  };
  for (const char* body : bad) EXPECT_EQ(post("/3304", body).out, "") << body;
  for (const char* name : {"/3300", "/3301", "/3302", "/3303"}) EXPECT_EQ(post(name, "{").out, "") << name;
  // A switch value the strict reader refuses stores nothing.
  const struct {
    const char* name;
    const char* body;
  } refused[] = {
      {"/3300", R"({"sshEnable":"x"})"},      {"/3301", R"({"autoLoginEnable":1.5})"},
      {"/3302", R"({"recordMode":"x"})"},     {"/3303", R"({"wizardEnable":true})"},
      {"/3304", R"({"id":"x","enable":1,"ipAddr":"1.2.3.4","managePort":80})"},
      {"/3304", R"({"id":1,"enable":1,"ipAddr":"1.2.3.4","managePort":"x"})"},
  };
  for (const auto& row : refused) EXPECT_EQ(post(row.name, row.body).out, "") << row.body;
  EXPECT_NE(check_param_key(ZRDB_PATH, "local_auth_enable"), 0);
  EXPECT_NE(check_param_key(ZRDB_PATH, "wizard_enable"), 0);
  EXPECT_EQ(zrdb_count_records(ZRDB_PATH, "port"), 0);
  EXPECT_EQ(zrdb_count_records(ZRDB_PATH, "camera"), 0);
  EXPECT_EQ(zrdb_count_records(ZRDB_PATH, "record"), 0);
  EXPECT_TRUE(env_.journal().empty());
}

TEST_F(AgingTest, BrokenStoreGivesNoReplyAndNoNotification) {
  env_.write_file(ZRDB_PATH, std::string(2048, '!'));
  env_.start_sim();
  EXPECT_EQ(post("/3300", R"({"sshEnable":1})").out, "");
  EXPECT_EQ(post("/3302", R"({"recordMode":2})").out, "");
  EXPECT_EQ(post("/3303", R"({"wizardEnable":1})").out, "");
  EXPECT_TRUE(env_.journal().empty());
}

}  // namespace
