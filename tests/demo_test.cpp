// The demo recorder: "zrdb seed --demo" stores the cameras zrcore-sim
// reports, and the stand-in's camera list follows the store, so the camera
// list, one camera's page and the motion page show one recorder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/camera_record.h"
#include "core/cgi_json.h"
#include "core/event_records.h"
#include "core/web_utils.h"
#include "zrdb_test_util.h"

namespace {

class DemoRecorder : public StoreTest {
 protected:
  std::string post(const std::string& name, const std::string& body) {
    CgiRequest req;
    req.method = "POST";
    req.path_info = name;
    req.content_type = "application/json";
    req.body = body;
    std::string out = env_.run(req).out;
    zrdb_close_all();  // see the program's writes afresh
    const size_t at = out.find("\r\n\r\n");
    return at == std::string::npos ? out : out.substr(at + 4);
  }
  // "id,name,ipAddr,model" of every camera of the list.
  std::vector<std::string> listed() {
    std::vector<std::string> rows;
    JsonPtr j(parse_request_object(post("/2001", "").c_str()));
    json_object* ipc = json_array_member(j.get(), "IPC");
    for (size_t i = 0; i < json_array_size(ipc); ++i) {
      json_object* c = json_object_array_get_idx(ipc, i);
      rows.push_back(std::to_string(json_get_int(c, "id")) + "," + member(c, "name") + "," + member(c, "ipAddr") +
                     "," + member(c, "model"));
    }
    return rows;
  }
  static std::string member(json_object* o, const char* key) {
    char buf[128];
    json_get_text(o, key, buf);
    return buf;
  }
};

TEST_F(DemoRecorder, ListPagesAndMotionShowTheSeededCameras) {
  ASSERT_EQ(env_.run_tool(ZRDB_TOOL_PATH, {"seed", "--demo"}).exit_code, 0);
  zrdb_close_all();
  env_.start_sim();
  const std::vector<std::string> four = {"0,Front door,192.168.1.64,IPC-B4-2812", "1,Garage,192.168.1.65,IPC-D8-4",
                                         "2,Yard PTZ,192.168.1.66,IPC-PTZ-25X", "3,Street,192.168.1.70,RTSP"};
  EXPECT_EQ(listed(), four);
  // One camera's page shows the address the list shows.
  JsonPtr cam(parse_request_object(post("/2000", R"({"chnid":1})").c_str()));
  EXPECT_EQ(member(cam.get(), "ipAddr"), "192.168.1.65");
  EXPECT_EQ(member(cam.get(), "name"), "Garage");
  // Motion detection is on and its schedule covers every day.
  JsonPtr motion(parse_request_object(post("/6010", R"({"chnid":2})").c_str()));
  EXPECT_EQ(json_get_int(motion.get(), "enable"), 1);
  EXPECT_EQ(json_get_int(motion.get(), "sensitivity"), 50);
  json_object* week = json_array_member(motion.get(), "effective");
  ASSERT_EQ(json_array_size(week), 8u);
  for (size_t d = 0; d < 7; ++d) {
    json_object* first = json_object_array_get_idx(json_object_array_get_idx(week, d), 0);
    EXPECT_EQ(member(first, "startTime") + "-" + member(first, "endTime"), "00:00-24:00") << d;
  }

  // A camera added through the page shows in the list; a cleared channel
  // leaves it.
  EXPECT_EQ(post("/2004", R"({"id":5,"name":"Gate","enable":1,"camProtocol":1,"ipAddr":"10.0.0.9",)"
                          R"("managePort":554,"transmitProtocol":0,"userName":"admin","password":"pw",)"
                          R"("enableSubStream":1,"syncTime":1,"mainRtspPort":554,"mainSourcePath":"/main",)"
                          R"("subRtspPort":554,"subSourcePath":"/sub","mainrtspurl":"rtsp://10.0.0.9/main",)"
                          R"("subrtspurl":"rtsp://10.0.0.9/sub","mac_addr":"","poechannel":-1,"physicalport":-1,)"
                          R"("ddns":"","httpsPort":443})"),
            "OK");
  std::vector<std::string> five = four;
  five.push_back("5,Gate,10.0.0.9,IPC");
  EXPECT_EQ(listed(), five);
  CameraRecord cleared{};
  read_camera(ZRDB_PATH, &cleared, 1);
  cleared.removed = 1;
  ASSERT_EQ(write_camera(ZRDB_PATH, &cleared, 1), 0);
  zrdb_close_all();
  EXPECT_EQ(listed().size(), 4u);
}

TEST_F(DemoRecorder, StoreWithoutCamerasListsTheBuiltInFour) {
  env_.start_sim();
  std::vector<std::string> rows = listed();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], "0,,192.168.1.64,IPC-B4-2812");
  ASSERT_EQ(env_.run_tool(ZRDB_TOOL_PATH, {"seed"}).exit_code, 0);  // parameters only
  EXPECT_EQ(listed().size(), 4u);
  EXPECT_EQ(env_.run_tool(ZRDB_TOOL_PATH, {"seed", "--demo", "--demo"}).exit_code, 2);
}
}  // namespace
