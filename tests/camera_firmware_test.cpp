// Camera firmware upgrade of several channels, end to end: the built webcgi
// against zrcore-sim, one row per case with the exact reply and the exact
// records the core daemon received.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "e2e_harness.h"
#include "handlers/camera/firmware.h"

using namespace camera;

namespace {
const std::string kJson = "Content-type: application/json\r\n\r\n";
const std::string kText = "Content-type: text/plain\r\n\r\n";
const std::string kJsonError = kJson + "{status:\"CGI ERROR\"}";
const std::string kTextError = kText + "CGI ERROR";

IpcUpgradeStart start(uint64_t mask, uint64_t reset, int32_t size) {
  IpcUpgradeStart r{};
  r.chn_mask = mask;
  r.reset_inv = ~reset;
  r.file_size = size;
  return r;
}
IpcUpgradeOnline online(uint64_t mask, int64_t reset, const std::string& url) {
  IpcUpgradeOnline r{};
  r.chn_mask = mask;
  r.reset = reset;
  std::strncpy(r.url, url.c_str(), sizeof r.url - 1);
  std::strncpy(r.path, "/dev/shm/updateIPCFM.bin", sizeof r.path - 1);
  return r;
}
IpcUpgradeStatus status(uint64_t mask, std::vector<int32_t> per_channel) {
  IpcUpgradeStatus s{};
  s.chn_mask = mask;
  for (size_t i = 0; i < per_channel.size() && i < 8; ++i) s.status[i] = per_channel[i];
  return s;
}
template <typename T>
std::string line(int id, const T& rec) {
  return std::to_string(id) + " " + record_hex(rec);
}
template <typename T>
std::string reply_rule(int id, const T& rec) {
  return std::to_string(id) + " reply hex=" + record_hex(rec) + "\n";
}

const std::string kUrl = "http://10.0.0.9/ipc/fw.bin";

struct Case {
  const char* label;
  const char* path;
  std::string text;
  std::string script;
  std::string out;
  std::vector<std::string> journal;
  bool image = true;        // the uploaded camera image exists
  bool short_wait = false;  // the no-reply cases
};

std::vector<Case> cases() {
  const std::string up = R"({"chnMask":"10100000","resetMask":"00000000","fileSize":1234})";
  const std::string long_url(128, 'u');
  const std::string url127(127, 'u');
  return {
      // "/2078"
      {"upgrade_channels_0_and_2", "/2078", up, reply_rule(3385, int32_t{0}), kJson + R"({"res":0})",
       {line(3385, start(5, 0, 1234))}},
      {"upgrade_core_refuses", "/2078", up, reply_rule(3385, int32_t{-3}), kJson + R"({"res":-3})",
       {line(3385, start(5, 0, 1234))}},
      {"upgrade_short_masks_end_at_their_end", "/2078", R"({"chnMask":"01","resetMask":"1","fileSize":9})",
       reply_rule(3385, int32_t{0}), kJson + R"({"res":0})", {line(3385, start(2, 1, 9))}},
      {"upgrade_mask_beyond_8_ignored", "/2078", R"({"chnMask":"1111111111111111","resetMask":"0000000011"})",
       reply_rule(3385, int32_t{0}), kJson + R"({"res":0})", {line(3385, start(0xff, 0, 0))}},
      {"upgrade_without_image", "/2078", up, "", kJsonError, {}, false},
      {"upgrade_not_json", "/2078", "chnMask=1", "", kJsonError, {}},
      {"upgrade_size_not_a_number", "/2078", R"({"chnMask":"1","fileSize":"x"})", "", kJsonError, {}},
      {"upgrade_empty_reply", "/2078", up, "3385 reply\n", kJsonError, {line(3385, start(5, 0, 1234))}},
      {"upgrade_no_reply", "/2078", up, "3385 none\n", kJsonError, {line(3385, start(5, 0, 1234))}, true, true},
      // "/2079"
      {"status_channels_1_and_3", "/2079", "", reply_rule(3386, status(10, {0, 55, 0, 77, 9})),
       kText + "chnid=10\r\nstatus1=55\r\nstatus3=77\r\nchnMask=01010000\r\n", {"3386 "}},
      {"status_none_running", "/2079", "", reply_rule(3386, status(0, {})), kText + "chnid=0\r\nchnMask=00000000\r\n",
       {"3386 "}},
      {"status_empty_reply", "/2079", "", "3386 reply\n", kTextError, {"3386 "}},
      {"status_no_reply", "/2079", "", "3386 none\n", kJsonError, {"3386 "}, true, true},
      // "/2080"
      {"online_channels_0_and_5", "/2080", R"({"chnAry":[0,5],"reset":-1,"url":")" + kUrl + "\"}",
       reply_rule(3379, status(0x21, {1, 0, 0, 0, 0, 2})), kJson + R"({"chnid":33,"status":[1,2],"chnMask":"10000100"})",
       {line(3379, online(0x21, -1, kUrl))}},
      {"online_empty_list", "/2080", R"({"chnAry":[],"reset":0,"url":")" + kUrl + "\"}", reply_rule(3379, status(0, {})),
       kJson + R"({"chnid":0,"status":[],"chnMask":"00000000"})", {line(3379, online(0, 0, kUrl))}},
      {"online_channel_8_refused", "/2080", R"({"chnAry":[1,8],"reset":0,"url":"u"})", "", kJsonError, {}},
      {"online_negative_channel_refused", "/2080", R"({"chnAry":[-1],"reset":0,"url":"u"})", "", kJsonError, {}},
      {"online_channel_not_a_number", "/2080", R"({"chnAry":["x"],"reset":0,"url":"u"})", "", kJsonError, {}},
      {"online_url_of_127", "/2080", R"({"chnAry":[2],"reset":1,"url":")" + url127 + "\"}",
       reply_rule(3379, status(4, {0, 0, 3})), kJson + R"({"chnid":4,"status":[3],"chnMask":"00100000"})",
       {line(3379, online(4, 1, url127))}},
      {"online_url_of_128_refused", "/2080", R"({"chnAry":[2],"reset":1,"url":")" + long_url + "\"}", "", kJsonError,
       {}},
      {"online_no_reply", "/2080", R"({"chnAry":[2],"reset":0,"url":"u"})", "3379 none\n", kJsonError,
       {line(3379, online(4, 0, "u"))}, true, true},
      // "/2081", "/2082"
      {"stop", "/2081", R"({"stop":1})", "", "", {line(3390, int32_t{1})}},
      {"stop_not_a_number", "/2081", R"({"stop":"x"})", "", "", {}},
      {"check", "/2082", "{}", "", kText + "CGI SUCCESS", {}},
  };
}

class CameraFirmwareE2e : public ::testing::TestWithParam<Case> {};

TEST_P(CameraFirmwareE2e, ReplyAndCoreMessages) {
  const Case& k = GetParam();
  E2eEnv env;
  if (k.image) env.write_file("/dev/shm/updateIPCFM.bin", "image");
  env.start_sim(k.script);
  CgiRequest req;
  req.method = "POST";
  req.path_info = k.path;
  req.content_type = "application/json";
  req.body = k.text;
  if (k.short_wait) req.env["NVR_IPC_WAIT_MS"] = "200";
  auto r = env.run(req);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, k.out);
  EXPECT_EQ(env.journal(), k.journal);
}

INSTANTIATE_TEST_SUITE_P(Requests, CameraFirmwareE2e, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.label); });
}  // namespace
