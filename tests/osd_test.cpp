// OSD and privacy masks end to end: the stored OSD record and masks, and the
// cameras' OSD configuration, masks, edit mode and model type through the
// core daemon; the reply writers as the socket library calls them.
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "cgi/cgic.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/osd_record.h"
#include "event_e2e.h"
#include "handlers/video/video_records.h"

void on_video_ipc_callback(void* ctx, void* header, void* payload);

namespace {

// The demo recorder: cameras on channels 0 to 3 ("Front door", "Garage",
// "Yard PTZ", "Street" with model id 1), none on the others.
class OsdE2e : public EventE2e {
 protected:
  void SetUp() override {
    EventE2e::SetUp();
    zrdb_close_all();
    ASSERT_EQ(env_.run_tool(ZRDB_TOOL_PATH, {"seed", "--demo"}).exit_code, 0);
  }
  OsdRecord osd(int ch) { return read<OsdRecord>("osd", ch); }
  static std::string pair(int32_t a, int32_t b) { return i32(a) + i32(b); }
  using Lines = std::vector<std::string>;
};

const char kFrontDoor[] =
    R"({"camId":0,"camName":"Front door","showName":1,"showDate":1,"showWeek":1,"dateFormat":0,"timeFormat":0,)"
    R"("datePosX":0.05,"datePosY":0.05,"namePosX":0.05,"namePosY":0.9,"alpha":128})";

TEST_F(OsdE2e, StoredOsdRecordRoundTripsAndIsChecked) {
  env_.start_sim();
  Lines j;
  EXPECT_EQ(json_body(send("/6000", "0")), kFrontDoor);
  const OsdRecord before = osd(0);
  EXPECT_EQ(send("/6001", kFrontDoor, &j).out, kTextOk);
  EXPECT_EQ(j, (Lines{line(1007, i32(0) + pair(1, 0))}));
  const OsdRecord after = osd(0);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof after), 0);
  // The name page takes the same answer without a change or a message.
  EXPECT_EQ(send("/6002", kFrontDoor, &j).out, kTextOk);
  EXPECT_TRUE(j.empty());
  const OsdRecord named = osd(0);
  EXPECT_EQ(std::memcmp(&before, &named, sizeof named), 0);

  const std::string name70(70, 'n');
  EXPECT_EQ(send("/6001",
                 R"({"camId":"5","camName":")" + name70 + R"(","showName":0,"showDate":1,"showWeek":0,)"
                 R"("dateFormat":3,"timeFormat":1,"datePosX":"12.5","datePosY":0,"namePosX":1,"namePosY":0.25,)"
                 R"("alpha":200})",
                 &j).out,
            kTextOk);
  EXPECT_EQ(j, (Lines{line(1007, i32(5) + pair(1, 0))}));
  const OsdRecord five = osd(5);
  EXPECT_EQ(five.camId, 5);
  EXPECT_EQ(std::string(five.camName), name70.substr(0, 63));
  EXPECT_EQ(five.showName, 0);
  EXPECT_EQ(five.dateFormat, 3);
  EXPECT_EQ(five.timeFormat, 1);
  EXPECT_EQ(five.datePosX, 12.5);
  EXPECT_EQ(five.namePosY, 0.25);
  EXPECT_EQ(five.alpha, 200);
  EXPECT_EQ(json_body(send("/6000", "5")),
            R"({"camId":5,"camName":")" + name70.substr(0, 63) +
                R"(","showName":0,"showDate":1,"showWeek":0,"dateFormat":3,"timeFormat":1,"datePosX":12.5,)"
                R"("datePosY":0.0,"namePosX":1.0,"namePosY":0.25,"alpha":200})");

  // Every check fails before anything is written or sent.
  const std::string good = kFrontDoor;
  auto with = [&good](const std::string& from, const std::string& to) {
    std::string s = good;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  const std::string refused[] = {
      with(R"("camId":0)", R"("camId":64)"),         with(R"("camId":0)", R"("camId":"x")"),
      with(R"("camName":"Front door",)", ""),       with(R"("camName":"Front door")", R"("camName":7)"),
      with(R"("showName":1)", R"("showName":2)"),   with(R"("showWeek":1)", R"("showWeek":"x")"),
      with(R"("dateFormat":0)", R"("dateFormat":4)"), with(R"("timeFormat":0)", R"("timeFormat":2)"),
      with(R"("datePosX":0.05)", R"("datePosX":-1)"), with(R"("namePosX":0.05)", R"("namePosX":"abc")"),
      with(R"("namePosY":0.9,)", ""),               with(R"("alpha":128)", R"("alpha":-1)"),
      with(R"(,"alpha":128)", ""),                  "not json",
  };
  for (const std::string& b : refused) {
    EXPECT_EQ(send("/6001", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  const OsdRecord unchanged = osd(0);
  EXPECT_EQ(std::memcmp(&before, &unchanged, sizeof unchanged), 0);
  for (const char* bad : {"64", "-1", "x", "", "1.5"}) EXPECT_EQ(send("/6000", bad).out, "") << bad;

  // Positions are always written with a fraction, never with an exponent.
  for (auto [sent, shown] : {std::pair{"10", "10.0"}, {"100", "100.0"}, {"1200", "1200.0"}, {"0.00001", "0.00001"},
                             {"0.05", "0.05"}, {"1e21", "1000000000000000000000.0"}}) {
    ASSERT_EQ(send("/6001", with(R"("datePosX":0.05)", std::string(R"("datePosX":)") + sent)).out, kTextOk) << sent;
    const std::string body = json_body(send("/6000", "0"));
    EXPECT_NE(body.find(std::string(R"("datePosX":)") + shown + ","), std::string::npos) << body;
  }
}

TEST_F(OsdE2e, NamePageNeedsItsChannelAndName) {
  env_.start_sim();
  Lines j;
  OsdRecord yard = osd(2);
  EXPECT_EQ(send("/6002", R"({"camId":2,"camName":"Yard east"})", &j).out, kTextOk);
  EXPECT_TRUE(j.empty());
  copy_field(yard.camName, "Yard east");
  const OsdRecord got = osd(2);
  EXPECT_EQ(std::memcmp(&yard, &got, sizeof got), 0);  // only the name changed

  // No id, a refused id or no name text: nothing renamed, channel 0 least of all.
  for (const char* b : {R"({"camName":"Lost"})", R"({"camId":"x","camName":"Lost"})",
                        R"({"camId":64,"camName":"Lost"})", R"({"camId":1})", R"({"camId":1,"camName":5})",
                        "[]"}) {
    EXPECT_EQ(send("/6002", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty());
  }
  EXPECT_STREQ(osd(0).camName, "Front door");
  EXPECT_STREQ(osd(1).camName, "Garage");

  // At most 31 bytes, never half a character.
  EXPECT_EQ(send("/6002", R"({"camId":6,"camName":")" + std::string(40, 'a') + "\"}").out, kTextOk);
  EXPECT_EQ(std::string(osd(6).camName), std::string(31, 'a'));
  std::string accents;
  for (int i = 0; i < 16; ++i) accents += "\xc3\xa9";
  EXPECT_EQ(send("/6002", R"({"camId":6,"camName":")" + accents + "\"}").out, kTextOk);
  EXPECT_EQ(std::string(osd(6).camName), accents.substr(0, 30));
  EXPECT_EQ(osd(6).camId, 6);
}

TEST_F(OsdE2e, StoredMasksAreListed) {
  env_.start_sim();
  EXPECT_EQ(json_body(send("/6018", "")), "[]");
  PrivacyMaskRecord m{};
  m.id = 3;
  for (int i = 0; i < PRIVACY_MASK_AREAS; ++i) m.area[i].area_id = i;
  m.area[1] = {1, 1, 10, 20, 30, 40, 460, 260, 2, {9, 9, 9, 9}};
  zrdb_close_all();
  ASSERT_EQ(write_privacy_mask(ZRDB_PATH, &m, 3), 0);
  PrivacyMaskRecord other{};
  other.id = 7;
  ASSERT_EQ(write_privacy_mask(ZRDB_PATH, &other, 7), 0);
  zrdb_close_all();

  auto areas = [](const PrivacyMaskRecord& r) {
    std::string s = "[";
    for (int i = 0; i < PRIVACY_MASK_AREAS; ++i) {
      const PrivacyMaskArea& a = r.area[i];
      if (i) s += ",";
      s += string_printf(
          R"({"area_id":%d,"enable":%d,"start_x":%d,"start_y":%d,"area_width":%d,"area_height":%d,)"
          R"("width":%d,"height":%d,"fill_color":%d})",
          a.area_id, a.enable, a.start_x, a.start_y, a.area_width, a.area_height, a.width, a.height, a.fill_color);
    }
    return s + "]";
  };
  EXPECT_EQ(json_body(send("/6018", "")),
            R"([{"id":3,"area":)" + areas(m) + R"(},{"id":7,"area":)" + areas(other) + "}]");
}

// The 2509 record as the page's request should fill it.
struct MaskWrite {
  char chn[76];
  int32_t enable, num, sdk;
  uint8_t gap1[36];
  int32_t area_mask_enable;
  uint8_t gap2[64];
  struct Area {
    int32_t id, enable, x, y, w, h, color, ratio;
    char name[64];
  } area[28];
  int32_t mosaic_support, mosaic_num;
  int64_t del_mask;
  uint8_t tail[8];
};
static_assert(sizeof(MaskWrite) == 2904, "");

MaskWrite mask_write(const std::string& channels) {
  MaskWrite w;
  std::memset(&w, 0, sizeof w);
  std::memset(w.chn, '0', 64);
  for (size_t i = 0; i < channels.size() && i < 64; ++i) w.chn[i] = channels[i];
  return w;
}

std::string area_json(int i) {
  return string_printf(
      R"({"area_id":%d,"enable":1,"start_x":%d,"start_y":5,"area_width":50,"area_height":40,"fill_color":2,)"
      R"("ratio":1,"name":"M%d"})",
      i, i * 10, i);
}
MaskWrite::Area area_rec(int i) {
  MaskWrite::Area a{};
  a = {i, 1, i * 10, 5, 50, 40, 2, 1, {}};
  std::snprintf(a.name, sizeof a.name, "M%d", i);
  return a;
}
std::string areas_json(int n) {
  std::string s = "[";
  for (int i = 0; i < n; ++i) s += (i ? "," : "") + area_json(i);
  return s + "]";
}

TEST_F(OsdE2e, MaskWriteCarriesBoundedAreasAndListedChannels) {
  env_.start_sim();
  Lines j;
  // Entries past "cnt" and outside 0..63 are ignored; a channel listed twice is one.
  EXPECT_EQ(send("/6019",
                 R"({"cnt":4,"chnid":[1,70,1,-2,4],"enable":1,"cgiSdkFlag":1,"num":2,"areaMaskEnable":1,)"
                 R"("mosaicSupport":1,"mosaicNum":1,"delMask":-1,"area":)" + areas_json(4) + "}",
                 &j).out,
            kTextOk);
  MaskWrite w = mask_write("01");
  w.enable = 1;
  w.num = 2;
  w.sdk = 1;
  w.area_mask_enable = 1;
  w.mosaic_support = 1;
  w.mosaic_num = 1;
  w.del_mask = -1;  // every bit
  for (int i = 0; i < 3; ++i) w.area[i] = area_rec(i);
  EXPECT_EQ(j, (Lines{line_of(2509, w)}));
  EXPECT_EQ(count("privacy_mask"), 0);  // the store is not written

  struct Counts {
    std::string num, mosaic;
    int32_t sent_num, sent_mosaic;
    int taken;
  } counts[] = {
      {"20", "10", 20, 10, 28},                      // at most the 28 slots
      {"2147483647", "2147483647", INT32_MAX, INT32_MAX, 28},  // no overflow to a negative sum
      {"-5", "2", 0, 2, 2},                          // a negative count is 0
      {"3", "-2147483648", 3, 0, 3},
  };
  for (const Counts& c : counts) {
    EXPECT_EQ(send("/6019", R"({"cnt":1,"chnid":[63],"num":)" + c.num + R"(,"mosaicNum":)" + c.mosaic +
                                R"(,"delMask":"4294967296","area":)" + areas_json(30) + "}",
                   &j).out,
              kTextOk)
        << c.num;
    MaskWrite e = mask_write(std::string(63, '0') + "1");
    e.num = c.sent_num;
    e.mosaic_num = c.sent_mosaic;
    e.del_mask = 1LL << 32;
    for (int i = 0; i < c.taken; ++i) e.area[i] = area_rec(i);
    EXPECT_EQ(j, (Lines{line_of(2509, e)})) << c.num;
  }
  // Fewer areas than the counts: the missing slots stay empty; no list entry, no target.
  EXPECT_EQ(send("/6019", R"({"cnt":2,"chnid":[],"num":3,"area":[)" + area_json(0) + "]}", &j).out, kTextOk);
  MaskWrite few = mask_write("");
  few.num = 3;
  few.area[0] = area_rec(0);
  EXPECT_EQ(j, (Lines{line_of(2509, few)}));

  for (const char* b : {R"({"chnid":[1],"area":[]})", R"({"cnt":1,"area":[]})", R"({"cnt":1,"chnid":[1]})",
                        R"({"cnt":1,"chnid":1,"area":[]})", R"({"cnt":"x","chnid":[1],"area":[]})",
                        R"({"cnt":1,"chnid":[1],"area":{}})", R"({"cnt":1,"chnid":[1],"area":[],"enable":"x"})",
                        R"({"cnt":1,"chnid":[1],"area":[],"delMask":"x"})",
                        R"({"cnt":1,"chnid":[1],"num":1,"area":[{"start_x":"x"}]})",
                        R"({"cnt":1,"chnid":[1],"num":1,"area":[7]})", "nope"}) {
    EXPECT_EQ(send("/6019", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty()) << b;
  }
}

// What a fresh camera of the simulator reports for its masks.
std::string sim_masks(int ch, const std::string& area0) {
  std::string s = string_printf(
      R"([{"id":%d,"num":4,"maxPtzZoomRatio":1,"areaEnable":1,"enable":1,"sdkversion":"V2.4.1 build 20240312",)"
      R"("cgiSdkFlag":1,"colorList":"black,white,gray","mosaicSupport":1,"mosaicNum":0,"colorSupport":1,)"
      R"("maxMaskSum":4,"area":[)",
      ch);
  s += area0;
  for (int i = 1; i < 4; ++i)
    s += string_printf(
        R"(,{"area_id":%d,"enable":0,"start_x":0,"start_y":0,"area_width":0,"area_height":0,"width":460,)"
        R"("height":260,"fill_color":0,"left":0,"top":0,"right":0,"bottom":0,"ratio":0,"name":""})",
        i);
  return s + "]}]";
}
const char kSimArea0[] =
    R"({"area_id":0,"enable":1,"start_x":40,"start_y":30,"area_width":120,"area_height":80,"width":460,)"
    R"("height":260,"fill_color":0,"left":40,"top":30,"right":120,"bottom":80,"ratio":1,"name":"Mask1"})";
const char kEmptyArea0[] =
    R"({"area_id":0,"enable":0,"start_x":0,"start_y":0,"area_width":0,"area_height":0,"width":460,)"
    R"("height":260,"fill_color":0,"left":0,"top":0,"right":0,"bottom":0,"ratio":0,"name":""})";

TEST_F(OsdE2e, CameraMasksReadWriteAndDelete) {
  env_.start_sim();
  Lines j;
  const std::string first = json_body(send("/6115", R"({"id":1})", &j));
  EXPECT_EQ(first, sim_masks(1, kSimArea0));
  EXPECT_EQ(j, (Lines{line(2502, i32(1))}));

  // The listed record with its channel posted to the setter changes nothing.
  JsonPtr list(json_tokener_parse(first.c_str()));
  ASSERT_TRUE(list);
  json_object* rec = json_object_array_get_idx(list.get(), 0);
  json_object_object_add(rec, "cnt", json_object_new_int(1));
  json_object_object_add(rec, "chnid", json_tokener_parse("[1]"));
  EXPECT_EQ(send("/6019", json_object_to_json_string(rec)).out, kTextOk);
  EXPECT_EQ(json_body(send("/6115", R"({"id":1})")), first);

  // A write reaches the camera; a single area is deleted by its id.
  EXPECT_EQ(send("/6019", R"({"cnt":1,"chnid":[2],"enable":1,"cgiSdkFlag":1,"num":4,"areaMaskEnable":1,)"
                          R"("mosaicSupport":1,"area":)" + areas_json(4) + "}")
                .out,
            kTextOk);
  std::string two = json_body(send("/6115", R"({"id":2})"));
  EXPECT_NE(two.find(R"({"area_id":3,"enable":1,"start_x":30,"start_y":5,"area_width":50,"area_height":40,)"
                     R"("width":460,"height":260,"fill_color":2,"left":30,"top":5,"right":50,"bottom":40,"ratio":1,)"
                     R"("name":"M3"})"),
            std::string::npos)
      << two;
  EXPECT_EQ(send("/6173", R"({"chan_id":1,"area_id":0})", &j).out, kTextOk);
  EXPECT_EQ(j, (Lines{line(2508, pair(1, 0))}));
  EXPECT_EQ(json_body(send("/6115", R"({"id":1})")), sim_masks(1, kEmptyArea0));
  EXPECT_EQ(send("/6173", R"({"chan_id":"63","area_id":"24"})", &j).out, kTextOk);
  EXPECT_EQ(j, (Lines{line(2508, pair(63, 24))}));
  for (const char* b : {R"({"chan_id":1,"area_id":25})", R"({"chan_id":64,"area_id":0})",
                        R"({"chan_id":1,"area_id":-1})", R"({"chan_id":"x","area_id":0})", R"({"chan_id":1})",
                        "nope"}) {
    EXPECT_EQ(send("/6173", b, &j).out, kJsonError) << b;
    EXPECT_TRUE(j.empty());
  }

  // No camera on channel 9: an empty reply, answered at once.
  EXPECT_EQ(send("/6115", R"({"id":9})", &j).out, kTextError);
  EXPECT_EQ(j, (Lines{line(2502, i32(9))}));
  for (const char* b : {R"({"id":64})", R"({"id":"x"})", "{}", "nope"}) {
    EXPECT_EQ(send("/6115", b, &j).out, kTextError) << b;
    EXPECT_TRUE(j.empty());
  }
}

std::string camera_masks_hex(int32_t max_mask_sum, int records) {
  CameraMaskRecord m;
  std::memset(&m, 0, sizeof m);
  m.max_mask_sum = max_mask_sum;
  copy_field(m.sdkversion, "v1");
  for (int i = 0; i < CAMERA_MASK_AREAS; ++i) m.area[i].area_id = i;
  std::string hex;
  for (int r = 0; r < records; ++r) {
    m.id = r;
    hex += record_hex(m);
  }
  return hex;
}

TEST_F(OsdE2e, CameraMaskListingIsBounded) {
  struct Case {
    int32_t max;
    int records;
    size_t areas;
  } cases[] = {{40, 1, 28}, {-3, 1, 0}, {2, 2, 2}};
  for (const Case& c : cases) {
    env_.start_sim("2502 reply hex=" + camera_masks_hex(c.max, c.records) + "\n");
    JsonPtr o(json_tokener_parse(json_body(send("/6115", R"({"id":0})")).c_str()));
    ASSERT_TRUE(o && json_object_is_type(o.get(), json_type_array)) << c.max;
    ASSERT_EQ(json_object_array_length(o.get()), static_cast<size_t>(c.records));
    for (int r = 0; r < c.records; ++r) {
      json_object* rec = json_object_array_get_idx(o.get(), r);
      EXPECT_EQ(json_object_get_int(json_object_object_get(rec, "id")), r);
      EXPECT_EQ(json_object_array_length(json_object_object_get(rec, "area")), c.areas) << c.max;
    }
    env_.stop_sim();
  }
  // Cut short of one record, empty, or no reply at all.
  for (const char* script : {"2502 reply hex=0100000002000000\n", "2502 reply\n", "2502 none\n"}) {
    env_.start_sim(script);
    EXPECT_EQ(send("/6115", R"({"id":0})", nullptr, "200").out, kTextError) << script;
    env_.stop_sim();
  }
}

TEST_F(OsdE2e, ModelTypeAndMaskEditMode) {
  env_.start_sim();
  Lines j;
  EXPECT_EQ(json_body(send("/6116", R"({"id":3})", &j)), R"({"result":1})");
  EXPECT_EQ(j, (Lines{line(2503, i32(3))}));
  EXPECT_EQ(json_body(send("/6116", R"({"id":"0"})")), R"({"result":0})");
  EXPECT_EQ(send("/6116", R"({"id":9})").out, kTextError);  // no camera: empty reply
  EXPECT_EQ(send("/6116", R"({"id":64})", &j).out, kTextError);
  EXPECT_TRUE(j.empty());

  EXPECT_EQ(json_body(send("/6198", R"({"chnid":2,"maskid":1})", &j)), R"({"res":0})");
  EXPECT_EQ(j, (Lines{line(3353, pair(2, 1))}));
  EXPECT_EQ(json_body(send("/6198", R"({"chnid":9,"maskid":-1})", &j)), R"({"res":-1})");
  EXPECT_EQ(j, (Lines{line(3353, pair(9, -1))}));
  for (const char* b : {R"({"chnid":64,"maskid":0})", R"({"chnid":1})", R"({"chnid":1,"maskid":"x"})", "nope"}) {
    EXPECT_EQ(send("/6198", b, &j).out, kJsonError) << b;
    EXPECT_TRUE(j.empty());
  }
  env_.stop_sim();

  struct Case {
    const char* script;
    const char* name;
    const char* body;
    const char* reply;
  } cases[] = {
      {"2503 none\n", "/6116", R"({"id":0})", kTextError},
      {"2503 reply hex=07\n", "/6116", R"({"id":0})", kTextError},
      {"3353 none\n", "/6198", R"({"chnid":0,"maskid":0})", kJsonError},
      {"3353 reply\n", "/6198", R"({"chnid":0,"maskid":0})", kJsonError},
  };
  for (const Case& c : cases) {
    env_.start_sim(c.script);
    EXPECT_EQ(send(c.name, c.body, nullptr, "200").out, c.reply) << c.script;
    env_.stop_sim();
  }
}

const char kFrontDoorOsd[] =
    R"({"ch":0,"enable_text":1,"text_name":"Front door","textpos":0,"enable_date":1,"datepos":1,"dateformat":0,)"
    R"("fontSize":2,"enable_text_sub":1,"text_name_sub":"Front door","textpos_sub":0,"enable_date_sub":1,)"
    R"("datepos_sub":1,"dateformat_sub":0,"fontSizeSub":1,"type":0,"disconnect":1})";

OsdConfigRecord front_door_osd() {
  OsdConfigRecord r;
  std::memset(&r, 0, sizeof r);
  r.enable_text = 1;
  copy_field(r.text_name, "Front door");
  r.enable_date = 1;
  r.datepos = 1;
  r.font_size = 2;
  r.enable_text_sub = 1;
  copy_field(r.text_name_sub, "Front door");
  r.enable_date_sub = 1;
  r.datepos_sub = 1;
  r.font_size_sub = 1;
  return r;
}

TEST_F(OsdE2e, CameraOsdConfigRoundTripsWithFontSizes) {
  env_.start_sim();
  Lines j;
  EXPECT_EQ(json_body(send("/6997", R"({"id":0})", &j)), kFrontDoorOsd);
  EXPECT_EQ(j, (Lines{line(3211, i32(0))}));
  EXPECT_EQ(send("/6996", kFrontDoorOsd, &j).out, kTextOk);
  EXPECT_EQ(j, (Lines{line_of(3210, front_door_osd())}));
  EXPECT_EQ(json_body(send("/6997", R"({"id":0})")), kFrontDoorOsd);

  // Absent sub-stream keys are 0; texts are cut to 255 bytes.
  const std::string long_text(300, 't');
  EXPECT_EQ(send("/6996",
                 R"({"ch":"1","type":2,"enable_text":0,"text_name":")" + long_text +
                     R"(","textpos":3,"enable_date":0,"datepos":2,"dateformat":1,"fontSize":4})",
                 &j).out,
            kTextOk);
  OsdConfigRecord e;
  std::memset(&e, 0, sizeof e);
  e.ch = 1;
  e.type = 2;
  copy_field(e.text_name, long_text.substr(0, 255));
  e.textpos = 3;
  e.datepos = 2;
  e.dateformat = 1;
  e.font_size = 4;
  EXPECT_EQ(j, (Lines{line_of(3210, e)}));
  EXPECT_EQ(json_body(send("/6997", R"({"id":1})")),
            R"({"ch":1,"enable_text":0,"text_name":")" + long_text.substr(0, 255) +
                R"(","textpos":3,"enable_date":0,"datepos":2,"dateformat":1,"fontSize":4,"enable_text_sub":0,)"
                R"("text_name_sub":"","textpos_sub":0,"enable_date_sub":0,"datepos_sub":0,"dateformat_sub":0,)"
                R"("fontSizeSub":0,"type":2,"disconnect":1})");

  // No camera: the write fails, the read reports the disconnection only.
  EXPECT_EQ(send("/6996", R"({"ch":9,"enable_text":1,"text_name":"x","textpos":0,"enable_date":1,"datepos":0,)"
                          R"("dateformat":0,"fontSize":1})")
                .out,
            "Content-type: text/plain\r\n\r\nERROR");
  EXPECT_EQ(json_body(send("/6997", R"({"id":9})")), R"({"disconnect":0})");

  const std::string good = kFrontDoorOsd;
  auto without = [&good](const std::string& part) {
    std::string s = good;
    s.erase(s.find(part), part.size());
    return s;
  };
  const std::string refused[] = {
      without(R"("fontSize":2,)"),  without(R"("ch":0,)"),   without(R"("text_name":"Front door",)"),
      without(R"("dateformat":0,)"), R"({"ch":64,"enable_text":1,"text_name":"x","textpos":0,"enable_date":1,)"
                                     R"("datepos":0,"dateformat":0,"fontSize":1})",
      R"({"ch":0,"enable_text":"x","text_name":"x","textpos":0,"enable_date":1,"datepos":0,"dateformat":0,)"
      R"("fontSize":1})",
      R"({"ch":0,"enable_text":1,"text_name":"x","textpos":0,"enable_date":1,"datepos":0,"dateformat":0,)"
      R"("fontSize":1,"fontSizeSub":"big"})",
      "nope",
  };
  for (const std::string& b : refused) {
    EXPECT_EQ(send("/6996", b, &j).out, "") << b;
    EXPECT_TRUE(j.empty()) << b;
  }
  for (const char* b : {R"({"id":64})", R"({"id":"x"})", "nope"}) {
    EXPECT_EQ(send("/6997", b, &j).out, kTextError) << b;
    EXPECT_TRUE(j.empty());
  }
  env_.stop_sim();

  const std::string ok_body = R"({"ch":0,"enable_text":1,"text_name":"x","textpos":0,"enable_date":1,"datepos":0,)"
                              R"("dateformat":0,"fontSize":1})";
  struct Case {
    const char* script;
    const char* name;
    std::string body;
    std::string reply;
  } cases[] = {
      {"3210 reply hex=ffffffff\n", "/6996", ok_body, "Content-type: text/plain\r\n\r\nNO_SUPPORT"},
      {"3210 reply hex=02000000\n", "/6996", ok_body, "Content-type: text/plain\r\n\r\nERROR"},
      {"3210 reply\n", "/6996", ok_body, kTextError},
      {"3210 none\n", "/6996", ok_body, kTextError},
      {"3211 reply\n", "/6997", R"({"id":0})", kTextError},
      {"3211 reply hex=00000000\n", "/6997", R"({"id":0})", kTextError},
      {"3211 none\n", "/6997", R"({"id":0})", kTextError},
  };
  for (const Case& c : cases) {
    env_.start_sim(c.script);
    EXPECT_EQ(send(c.name, c.body, nullptr, "200").out, c.reply) << c.script;
    env_.stop_sim();
  }
}

// The reply dispatcher as the socket library calls it: an empty or short
// reply to a camera read answers the page's error at once (and only once);
// the handler does not wait out its limit.
TEST(OsdReplies, EmptyAndShortRepliesAnswerAtOnce) {
  FILE* saved = cgiOut;
  FILE* out = std::tmpfile();
  ASSERT_TRUE(out);
  cgiOut = out;
  auto deliver = [out](int type, const std::string& payload) {
    ZrMsgHeader h{};
    h.type = type;
    h.length = static_cast<uint32_t>(payload.size());
    std::string copy = payload + '\0';  // the socket library's spare byte
    on_video_ipc_callback(nullptr, &h, &copy[0]);
    std::fflush(out);
    std::rewind(out);
    std::string text;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, out)) > 0) text.append(buf, n);
    std::rewind(out);
    (void)!ftruncate(fileno(out), 0);
    return text;
  };
  struct Case {
    int type;
    std::string payload;
  } cases[] = {{7502, ""}, {7502, std::string(2831, 'x')}, {7503, ""}, {7503, "ab"},
               {8210, ""}, {8211, ""},                     {8211, std::string(847, 'x')}};
  for (const Case& c : cases) {
    g_callback_done = 0;
    EXPECT_EQ(deliver(c.type, c.payload), kTextError) << c.type << " " << c.payload.size();
    EXPECT_EQ(g_callback_done.load(), 1) << c.type;
    EXPECT_EQ(deliver(c.type, c.payload), "") << c.type;
  }
  g_callback_done = 0;
  EXPECT_EQ(deliver(8210, std::string("\0\0\0\0", 4)), kTextOk);
  g_callback_done = 0;
  cgiOut = saved;
  std::fclose(out);
}

}  // namespace
