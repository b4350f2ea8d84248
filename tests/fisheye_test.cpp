// Fisheye modes and cameras, and regional people counting with its
// per-region actions, end to end.
#include <cstring>
#include <string>
#include <vector>

#include "core/smart_records.h"
#include "event_e2e.h"

namespace {

// A record of the core written out by offset.
struct Rec {
  std::string b;
  explicit Rec(size_t n) : b(n, '\0') {}
  Rec& i32(size_t off, int32_t v) {
    std::memcpy(&b[off], &v, 4);
    return *this;
  }
  Rec& text(size_t off, const std::string& t) {
    std::memcpy(&b[off], t.data(), t.size());
    return *this;
  }
  std::string hex() const { return to_hex(b.data(), b.size()); }
};

using FisheyeE2e = EventE2e;

TEST_F(FisheyeE2e, ModeOfAChannel) {
  env_.start_sim();
  std::vector<std::string> j;
  ASSERT_EQ(send("/6131", R"({"chnid":3,"fishcorrect":2,"fishmount":1,"fishdisplay":4})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3231, Rec(20).i32(0, 3).i32(4, 1).i32(8, 4).i32(12, 2).hex())}));
  EXPECT_EQ(json_body(send("/6130", R"({"id":3})", &j)),
            R"({"chnid":3,"result":0,"fishmount":1,"fishdisplay":4,"fishcorrect":2})");
  EXPECT_EQ(j, (std::vector<std::string>{line(3232, i32(3))}));
  // Missing keys are 0.
  ASSERT_EQ(send("/6131", R"({"chnid":3})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3231, Rec(20).i32(0, 3).hex())}));

  for (const char* b : {R"({"id":64})", R"({"id":-1})", "{}", "x"}) {
    EXPECT_EQ(send("/6130", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty());
  }
  EXPECT_EQ(send("/6131", R"({"chnid":64,"fishmount":1})", &j).out, kJsonError);
  EXPECT_EQ(send("/6131", "x", &j).out, "");
  EXPECT_TRUE(j.empty());
}

TEST_F(FisheyeE2e, CameraByAddress) {
  env_.start_sim();
  std::vector<std::string> j;
  const std::string addr = R"("ddns":"cam.example","ipaddr":"192.168.1.9","username":")" + std::string(70, 'u') +
                           R"(","password":"p w","port":8000)";
  ASSERT_EQ(json_body(send("/6197", "{" + addr + R"(,"transfer":1,"install":2,"display":3})", &j)), R"({"res":0})");
  Rec a(272);
  a.text(0, "cam.example").text(64, "192.168.1.9").text(128, std::string(63, 'u')).text(192, "p w").i32(256, 8000);
  a.i32(260, 1).i32(264, 2).i32(268, 3);
  EXPECT_EQ(j, (std::vector<std::string>{line(3374, a.hex())}));
  EXPECT_EQ(json_body(send("/6196", "{" + addr + "}", &j)),
            R"({"support":1,"transfer":1,"install":2,"display":3,"streamCnt":2})");
  EXPECT_EQ(j, (std::vector<std::string>{line(3373, a.hex().substr(0, 260 * 2))}));
  // A support code other than 1 is answered 0.
  EXPECT_EQ(json_body(send("/6196", R"({"ipaddr":"10.0.0.1"})")),
            R"({"support":0,"transfer":0,"install":0,"display":0,"streamCnt":0})");
  EXPECT_EQ(json_body(send("/6197", R"({"ipaddr":""})")), R"({"res":-1})");
  EXPECT_EQ(send("/6196", "x", &j).out, "");
  EXPECT_EQ(send("/6197", "x", &j).out, "");
  EXPECT_TRUE(j.empty());
}

TEST_F(FisheyeE2e, MissingReplies) {
  env_.start_sim("3231 none\n3232 none\n3373 none\n3374 none\n1220 none\n1221 none\n");
  struct Case {
    const char* name;
    const char* body;
    const char* out;
  } cases[] = {
      {"/6130", R"({"id":1})", kTextError},      {"/6131", R"({"chnid":1})", kJsonError},
      {"/6196", R"({"ipaddr":"a"})", kJsonError}, {"/6197", R"({"ipaddr":"a"})", kJsonError},
      {"/6096", R"({"chnid":1})", kJsonError},   {"/6097", R"({"chnid":1})", kJsonError},
  };
  for (const Case& c : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send(c.name, c.body, &j, "100").out, c.out) << c.name;
    EXPECT_EQ(j.size(), 1u) << c.name;
  }
}

// A one-byte reply holds no whole record: the page's error at once (the
// long wait limit would show a page that waited for more).
TEST_F(FisheyeE2e, ShortRepliesAnswerThePageErrorAtOnce) {
  env_.start_sim(
      "3231 reply hex=00\n3232 reply hex=00\n3373 reply hex=00\n3374 reply hex=00\n1220 reply hex=00\n"
      "1221 reply hex=00\n");
  struct Case {
    const char* name;
    const char* body;
    const char* out;
  } cases[] = {
      {"/6130", R"({"id":1})", kTextError},      {"/6131", R"({"chnid":1})", kJsonError},
      {"/6196", R"({"ipaddr":"a"})", kJsonError}, {"/6197", R"({"ipaddr":"a"})", kJsonError},
      {"/6096", R"({"chnid":1})", kJsonError},   {"/6097", R"({"chnid":1})", kJsonError},
  };
  for (const Case& c : cases) {
    std::vector<std::string> j;
    EXPECT_EQ(send(c.name, c.body, &j, "20000").out, c.out) << c.name;
    EXPECT_EQ(j.size(), 1u) << c.name;
  }
}

// A number the strict reader refuses refuses the request: the page's
// error and nothing sent.
TEST_F(FisheyeE2e, RefusedNumbersSendNothing) {
  env_.start_sim();
  for (auto [name, body] : {std::pair{"/6131", R"({"chnid":1,"fishmount":"x"})"},
                            {"/6131", R"({"chnid":1,"fishcorrect":1.5})"},
                            {"/6196", R"({"ipaddr":"a","port":"x"})"},
                            {"/6197", R"({"ipaddr":"a","port":80,"transfer":true})"},
                            {"/6097", R"({"chnid":1,"sensitivity":"x"})"},
                            {"/6097", R"({"chnid":1,"maxObjX":"x"})"},
                            {"/6097", R"({"chnid":1,"regional":[{"enable":1},{"maxStayValue":"x"}]})"},
                            {"/6097", R"({"chnid":1,"action":[{"interval":3},{"triAlarms":"x"}]})"}}) {
    std::vector<std::string> j;
    EXPECT_EQ(send(name, body, &j).out, kJsonError) << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  std::vector<std::string> j;
  EXPECT_EQ(send("/6131", R"({"chnid":1,"fishmount":"1"})", &j).out, kTextOk);
  EXPECT_EQ(j.size(), 1u);
}

std::string regional_request(const std::string& actions, const std::string& copy = "") {
  std::string regions = "[";
  for (int i = 0; i < 4; ++i)
    regions += std::string(i ? "," : "") + R"({"enable":1,"polygonX":"1,)" + std::to_string(i) +
               R"(","polygonY":"2","maxStayEnable":1,"maxStayValue":)" + std::to_string(10 + i) +
               R"(,"minStayEnable":0,"minStayValue":3,"maxStayTimeEnable":1,"maxStayTimeValue":60})";
  regions += "]";
  return R"({"chnid":2,"sensitivity":50,"minObjX":1,"minObjY":2,"minObjWidth":3,"minObjHeight":4,"maxObjX":5,)"
         R"("maxObjY":6,"maxObjWidth":7,"maxObjHeight":8,"regional":)" +
         regions + R"(,"effective":[[["08:00","18:00"]]],)" + (copy.empty() ? "" : R"("copyChn":")" + copy + R"(",)") +
         R"("action":)" + actions + "}";
}

TEST_F(FisheyeE2e, RegionalCountingRecordAndActions) {
  env_.start_sim();
  std::vector<std::string> j;
  const std::string actions =
      R"([{"audible":)" + week_json("01:00", "02:00", 1) + R"(,"interval":5,"audioId":2,"triAlarms":3,"triChannels":"11",)"
      R"("whiteInfo":[[1,2,3]],"httpParams":{"url":"http://r0"},"ptzParams":[{"acto_ptz_channel":4,"acto_ptz_type":1}],)"
      R"("ptzType":1,"ptzChnId":9},)"
      R"({"email":)" + week_json("03:00", "04:00", 1) + R"(,"white_interval":7,"httpSche":)" + week_json("05:00", "06:00", 1) + "}]";
  ASSERT_EQ(json_body(send("/6097", regional_request(actions, "0011"), &j)), R"({"res":0})");
  Rec r(26912);
  r.i32(4, 2).i32(8, 50);
  for (int i = 0; i < 8; ++i) r.i32(12 + 4 * i, i + 1);
  for (int i = 0; i < 4; ++i) {
    const size_t o = 44 + 156 * i;
    r.i32(o, 1).text(o + 4, "1," + std::to_string(i)).text(o + 68, "2").i32(o + 132, 1).i32(o + 136, 10 + i);
    r.i32(o + 144, 3).i32(o + 148, 1).i32(o + 152, 60);
  }
  r.text(736, "08:00").text(736 + 32, "18:00");
  for (int d = 0; d < 7; ++d) r.i32(736 + 3272 * d + 3264, 1);
  EXPECT_EQ(j, (std::vector<std::string>{line(1221, r.hex())}));

  // Region 0 and 1 of channel 2 and of its copy, channel 3; the PTZ rows of
  // region 0 under their own type.
  for (int ch : {2, 3}) {
    auto a0 = read<SmartEventAction>("regional_pcnt0_event", ch);
    EXPECT_EQ(a0.channel, ch);
    EXPECT_EQ(a0.interval, 5);
    EXPECT_EQ(a0.chn_mask, 3u);
    EXPECT_EQ(read<SmartEventAction>("regional_pcnt1_event", ch).white_interval, 7);
    EXPECT_EQ(read<PtzActionTable>("ptz_params_22", ch).rows[0].ptz_channel, 4);
    EXPECT_STREQ(read<HttpNotifyParams>("regional_pcnt_http_notification_params", ch).url, "http://r0");
  }
  EXPECT_EQ(count("ptz_params_1"), 0);
  EXPECT_EQ(count("regional_pcnt2_event"), 0);
  EXPECT_EQ(count("regional_pcnt0_event"), 2);  // the source is not in its own copy set

  const std::string reply = json_body(send("/6096", R"({"chnid":2})"));
  EXPECT_EQ(reply.rfind(R"({"result":0,"chnid":2,"sensitivity":50,"minObjX":1,"minObjY":2,"minObjWidth":3,"minObjHeight":4,)"
                        R"("maxObjX":5,"maxObjY":6,"maxObjWidth":7,"maxObjHeight":8,"regional":[{"enable":1,"polygonX":"1,0",)"
                        R"("polygonY":"2","maxStayEnable":1,"maxStayValue":10,"minStayEnable":0,"minStayValue":3,)"
                        R"("maxStayTimeEnable":1,"maxStayTimeValue":60},)",
                        0),
            0u)
      << reply;
  EXPECT_NE(reply.find(R"("effective":[[{"startTime":"08:00","endTime":"18:00"},)"), std::string::npos);
  EXPECT_NE(reply.find(R"("action":[{"audible":)" + week_reply_prefix("01:00", "02:00", 1)), std::string::npos) << reply;
  EXPECT_NE(reply.find(R"("interval":5,"audioId":2,"email":)"), std::string::npos);
  EXPECT_NE(reply.find(R"("ptzParams":[{"acto_ptz_channel":4,"acto_ptz_type":1,"acto_ptz_preset":0,"acto_ptz_patrol":0}],)"
                       R"("white":)"),
            std::string::npos)
      << reply;
  EXPECT_NE(reply.find(R"("whiteInfo":[{"chnid":1,"mode":2,"time":3}],"white_interval":0,"httpSche":)"), std::string::npos);
  EXPECT_NE(reply.find(R"("triAlarms":3,"triChannels":"11","triChnAlarms":["",""]},{"audible":)"), std::string::npos);

  // The reply posted back sends the same record and changes no stored action.
  zrdb_close_all();
  const SmartEventAction before = read<SmartEventAction>("regional_pcnt1_event", 2);
  // Posted back whole, however large the answer is.
  const std::string& whole = reply;
  ASSERT_GT(whole.size(), 30720u);
  ASSERT_EQ(json_body(send("/6097", whole, &j)), R"({"res":0})");
  EXPECT_EQ(j, (std::vector<std::string>{line(1221, r.hex())}));
  const SmartEventAction after = read<SmartEventAction>("regional_pcnt1_event", 2);
  EXPECT_EQ(0, std::memcmp(&before, &after, sizeof before));
  EXPECT_EQ(json_body(send("/6096", R"({"chnid":2})")), reply);

  // Two action entries update regions 0 and 1 only.
  const SmartEventAction region2 = read<SmartEventAction>("regional_pcnt2_event", 2);
  ASSERT_EQ(json_body(send("/6097", regional_request(R"([{"interval":8},{"interval":9}])"))), R"({"res":0})");
  EXPECT_EQ(read<SmartEventAction>("regional_pcnt0_event", 2).interval, 8);
  EXPECT_EQ(read<SmartEventAction>("regional_pcnt0_event", 3).interval, 5);
  EXPECT_EQ(read<SmartEventAction>("regional_pcnt1_event", 2).interval, 9);
  const SmartEventAction region2_after = read<SmartEventAction>("regional_pcnt2_event", 2);
  EXPECT_EQ(0, std::memcmp(&region2, &region2_after, sizeof region2));

  for (const char* b : {R"({"chnid":64,"action":[{"interval":1}]})", R"({"chnid":-1})", R"({"chnid":"x"})", R"({"action":[]})", "x"}) {
    EXPECT_EQ(send("/6097", b, &j).out, kJsonError) << b;
    EXPECT_TRUE(j.empty());
    // Text that is not JSON gets no answer from the getter.
    EXPECT_EQ(send("/6096", b, &j).out, std::string(b) == "x" ? "" : kJsonError) << b;
    EXPECT_TRUE(j.empty());
  }
}

TEST_F(FisheyeE2e, FailedStoreWriteSendsNothing) {
  env_.start_sim();
  env_.write_file(ZRDB_PATH, std::string(4096, 'x'));
  std::vector<std::string> j;
  EXPECT_EQ(send("/6097", regional_request(R"([{"interval":1}])"), &j).out, kJsonError);
  EXPECT_TRUE(j.empty());
}

}  // namespace
