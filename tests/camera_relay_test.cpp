// Camera parameter relay end to end: every get relay turns the camera's
// record into its answer, every set relay sends the record the core daemon
// expects (-1 where the request leaves a parameter out), bad channels are
// refused before anything is sent, and missing or empty replies answer the
// error reply once.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "camera_test_util.h"
#include "core/camera_record.h"
#include "core/osd_record.h"
#include "core/web_utils.h"
#include "handlers/camera/camera_records.h"

using namespace camtest;

namespace {

// A record whose int32 word i holds i (texts then written over it), so each
// answered value tells the offset it was read from.
template <typename T>
std::unique_ptr<T> counting() {
  auto rec = std::make_unique<T>();
  int32_t* w = reinterpret_cast<int32_t*>(rec.get());
  for (size_t i = 0; i < sizeof(T) / 4; ++i) w[i] = static_cast<int32_t>(i);
  return rec;
}

template <typename T>
std::unique_ptr<T> heap_zeroed() {
  auto rec = std::make_unique<T>();
  std::memset(rec.get(), 0, sizeof(T));
  return rec;
}

template <size_t N>
void set_text(char (&field)[N], const char* text) {
  std::memset(field, 0, N);
  std::strcpy(field, text);
}

std::string ch_hex(int32_t ch) { return int_hex(ch); }

// {"k1":v1,...} from keys and word indexes.
std::string counted_members(const std::vector<std::pair<const char*, int>>& members) {
  std::string s;
  for (const auto& m : members) {
    if (!s.empty()) s += ",";
    s += std::string("\"") + m.first + "\":" + std::to_string(m.second);
  }
  return s;
}

void fill_unchanged(void* rec, size_t from, size_t to) {
  const int32_t keep = -1;
  for (size_t at = from; at < to; at += 4) std::memcpy(static_cast<uint8_t*>(rec) + at, &keep, 4);
}

}  // namespace

// ---- Get relays answering a record ----

TEST_F(CameraE2e, ImageAndDisplayGettersAnswerEveryFieldFromItsOffset) {
  auto enh = counting<ImageEnhancement>();
  set_text(enh->exposeregion, "R");
  set_text(enh->sdkversion, "S");
  auto disp = counting<ImageDisplay>();
  set_text(disp->chipninterface, "C");
  set_text(disp->sensortype, "T");
  set_text(disp->productmodel, "P");
  set_text(disp->softversion, "V");
  set_text(disp->sdkversion, "S");
  env_.start_sim(reply_line(3221, *enh) + reply_line(3223, *disp));

  EXPECT_EQ(post("/2019", "{\"id\":7}").out,
            kJson + "{\"id\":0,\"smartir\":2,\"whiteblance\":3,\"focusmode\":4,\"antiblurry\":5,\"wdrenable\":6,"
                    "\"wdrlevel\":7,\"wdrstarthour\":8,\"wdrstartminute\":9,\"wdrstophour\":10,\"wdrstopminute\":11,"
                    "\"regiontype\":12,\"hlcmode\":13,\"exclude\":14,\"exposemode\":15,\"exposeregion\":\"R\","
                    "\"imageschemode\":33,\"hlcday\":34,\"hlcnight\":35,\"redgain\":36,\"bluegain\":37,"
                    "\"defogmode\":38,\"defoglevel\":39,\"dismode\":40,\"exposetime\":41,\"exposegain\":42,"
                    "\"wdraflevel\":43,\"exposurectrl\":45,\"hlclevel\":44,\"enblur\":46,\"deblur\":47,"
                    "\"sdkversion\":\"S\",\"lensType\":56,\"reduceVideoStuttering\":57}");
  EXPECT_EQ(post("/2021", "{\"id\":63}").out,
            kJson + "{\"colorkiller\":2,\"modestarthour\":3,\"modestartminute\":4,\"modestophour\":5,"
                    "\"modestopminute\":6,\"exposurectrl\":7,\"lighttype\":8,\"mirctrl\":9,\"localdisplay\":10,"
                    "\"ircutaddaytonight\":11,\"ircutadnighttoday\":12,\"corridormode\":13,\"imagerotation\":14,"
                    "\"smartIRType\":17,\"nearIRLevel\":18,\"farIRLevel\":19,\"midIRLevel\":20,\"lencorrect\":21,"
                    "\"smartIrMath\":22,\"smartIrLimit\":23,\"chipninterface\":\"C\",\"nearSmartirValue\":40,"
                    "\"farSmartirValue\":41,\"midSmartirValue\":42,\"lenCorrectType\":43,\"fovadjust\":44,"
                    "\"sensortype\":\"T\",\"productmodel\":\"P\",\"softversion\":\"V\",\"smokeddomecover\":65,"
                    "\"smartwhitestrength\":66,\"dnRefocus\":67,\"sdkversion\":\"S\",\"structuretype\":76,"
                    "\"keepCorrectAspectRatio\":77,\"dayNightSens\":78,\"nightDaySens\":79,\"zoomLimit\":80}");
  EXPECT_EQ(journal(), (std::vector<std::string>{line(3221, ch_hex(7)), line(3223, ch_hex(63))}));
}

TEST_F(CameraE2e, SmallGettersAnswerTheirRecords) {
  CommonParam cp = zeroed<CommonParam>();
  cp.id = 2;
  set_text(cp.pagename, "video");
  set_text(cp.httpname, "h");
  set_text(cp.key, "ratecontrol1");
  set_text(cp.value, "cbr");
  std::vector<uint8_t> qt(16, 0);
  for (char c : std::string("done")) qt.push_back(static_cast<uint8_t>(c));
  const uint64_t motion = 1ULL | (1ULL << 63);
  ChannelModelEntry type = zeroed<ChannelModelEntry>();
  type.chnid = 2;
  set_text(type.ipaddr, "10.0.0.2");
  set_text(type.model, "M");
  set_text(type.fwversion, "F");
  WatermarkInfo wm = zeroed<WatermarkInfo>();
  wm.chnid = 2;
  wm.enable = 1;
  std::memset(wm.watermark, 'W', sizeof wm.watermark);  // no terminator: the field bounds it
  const EventStream es{2, 1, 1, 25, 2048, 50};
  const LprNightMode lpr{2, 1};
  IpcSystemInfo si = zeroed<IpcSystemInfo>();
  si.res = 0;
  si.audioSupport = 1;
  si.audioSupportMode = 2;
  si.audioLineInputSupport = 3;
  si.systemSpeakerSupport = 4;
  si.systemManualSpeedSupport = 5;
  si.systemAutoTrackingSupport = 1;
  CustomParamReply custom = zeroed<CustomParamReply>();
  custom.res = 0;
  custom.chnid = 2;
  set_text(custom.data, "<a/>");
  const std::string text = "event text";
  env_.start_sim(reply_line(3225, cp) + reply_line(2503, int32_t{7}) + reply_bytes_line(4002, qt.data(), qt.size()) +
                 reply_bytes_line(4004, "ABC", 3) + reply_line(3307, motion) + reply_line(2507, type) +
                 reply_line(1213, wm) + reply_line(1217, es) + reply_line(1219, lpr) + reply_line(3376, si) +
                 reply_line(3377, custom) + reply_line(1262, int32_t{1}) +
                 reply_bytes_line(3360, text.data(), text.size()));

  const struct {
    const char* path;
    std::string body;
    std::string answer;
  } rows[] = {
      {"/2023", "{\"id\":2,\"pagename\":\"video\",\"httpname\":\"h\",\"key\":\"ratecontrol1\"}",
       kJson + "{\"id\":2,\"pagename\":\"video\",\"httpname\":\"h\",\"key\":\"ratecontrol1\",\"value\":\"cbr\"}"},
      {"/2025", "{\"id\":2}", kJson + "{\"type\":7}"},
      {"/2026", "{\"cmd\":\"reboot\"}", kJson + "{\"result\":\"done\"}"},
      {"/2027", "", kJson + "{\"chip_code\":\"ABC\"}"},
      {"/2028", "", kJson + "{\"Motion\":\"1" + std::string(62, '0') + "1\"}"},
      {"/2056", "{\"chnid\":2}", kJson + "{\"res\":1}"},
      {"/2057", "{\"chnid\":2}", kJson + "{\"chnid\":2,\"ipaddr\":\"10.0.0.2\",\"model\":\"M\",\"fwversion\":\"F\"}"},
      {"/2058", "{\"chnid\":2}", kJson + "{\"chnid\":2,\"enable\":1,\"watermark\":\"" + std::string(32, 'W') + "\"}"},
      {"/2060", "{\"chnid\":2,\"fisheyeType\":1}",
       kJson + "{\"chnid\":2,\"enable\":1,\"framerate\":25,\"bitrate\":2048,\"iframeinterval\":50}"},
      {"/2062", "{\"chnid\":2}", kJson + "{\"chnid\":2,\"nightMode\":1}"},
      {"/2065", "{\"chnid\":2}",
       kJson + "{\"res\":0,\"audioSupport\":1,\"audioSupportMode\":2,\"audioLineInputSupport\":3,"
               "\"systemSpeakerSupport\":4,\"systemManualSpeedSupport\":5,\"systemAutoTrackingSupport\":1}"},
      {"/2068", "{\"chnid\":2,\"url\":\"/cgi/x\"}", kJson + "{\"res\":0,\"chnid\":2,\"data\":\"<a/>\"}"},
      {"/2053", "{\"chnid\":2,\"mainType\":1,\"subType\":3,\"time\":\"2026-01-01 00:00:00\"}", kText + "event text"},
  };
  for (const auto& row : rows) EXPECT_EQ(post(row.path, row.body).out, row.answer) << row.path;

  CommonParam sent = cp;
  set_text(sent.value, "");
  QtCommand cmd = zeroed<QtCommand>();
  set_text(cmd.cmd, "reboot");
  const EventStreamQuery esq{2, 1};
  CustomParamQuery cq = zeroed<CustomParamQuery>();
  cq.chnid = 2;
  set_text(cq.url, "/cgi/x");
  TextQuery tq = zeroed<TextQuery>();
  tq.chnid = 2;
  tq.mainType = 1;
  tq.subType = 3;
  set_text(tq.time, "2026-01-01 00:00:00");
  EXPECT_EQ(journal(), (std::vector<std::string>{
                           line_of(3225, sent), line(2503, ch_hex(2)), line_of(4002, cmd), "4004 ", "3307 ",
                           line(1262, ch_hex(2)), line(2507, ch_hex(2)), line(1213, ch_hex(2)), line_of(1217, esq),
                           line(1219, ch_hex(2)), line(3376, ch_hex(2)), line_of(3377, cq), line_of(3360, tq)}));
}

TEST_F(CameraE2e, CommonParamReadWithoutPageIsFlagged) {
  env_.start_sim();
  EXPECT_EQ(post("/2023", "{\"id\":1,\"key\":\"k\",\"value\":\"ignored\"}").out,
            kJson + "{\"id\":1,\"pagename\":\"\",\"httpname\":\"\",\"key\":\"k\",\"value\":\"1\"}");
  CommonParam sent = zeroed<CommonParam>();
  sent.id = 1;
  set_text(sent.key, "k");
  sent.flag = 1;
  EXPECT_EQ(journal(), std::vector<std::string>{line_of(3225, sent)});
}

TEST_F(CameraE2e, AudioInfoBoundsEveryCount) {
  auto rec = heap_zeroed<AudioInfo>();
  rec->support = 1;
  rec->optionCount = 1;
  rec->option[0].encodeValue = 2;
  rec->option[0].sampleRateCount = 1;
  rec->option[0].sampleRate[0].sampleRateValue = 8000;
  rec->option[0].sampleRate[0].bitrateCount = 99;
  for (int i = 0; i < AUDIO_BITRATES; ++i) rec->option[0].sampleRate[0].bitrate[i] = i;
  rec->config = {3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  auto none = heap_zeroed<AudioInfo>();
  none->optionCount = -4;
  env_.start_sim(reply_line(3371, *rec));
  EXPECT_EQ(post("/2063", "{\"chnid\":3}").out,
            kJson + "{\"res\":0,\"support\":1,\"supportMode\":0,\"supportInputMode\":0,\"config\":{\"chnid\":3,"
                    "\"audioEnable\":1,\"audioMode\":2,\"denoise\":3,\"encoding\":4,\"sampleRate\":5,\"inputGain\":6,"
                    "\"inputMode\":7,\"audioGainControl\":8,\"outputVolume\":9,\"audioBitrate\":10},\"options\":"
                    "[{\"encodeValue\":2,\"sampleRateInfo\":[{\"sampleRateValue\":8000,\"bitrateInfo\":"
                    "[0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15]}]}]}");
  env_.start_sim(reply_line(3371, *none));
  EXPECT_EQ(post("/2063", "{\"chnid\":3}").out,
            kJson + "{\"res\":0,\"support\":0,\"supportMode\":0,\"supportInputMode\":0,\"config\":{\"chnid\":0,"
                    "\"audioEnable\":0,\"audioMode\":0,\"denoise\":0,\"encoding\":0,\"sampleRate\":0,\"inputGain\":0,"
                    "\"inputMode\":0,\"audioGainControl\":0,\"outputVolume\":0,\"audioBitrate\":0},\"options\":[]}");
}

TEST_F(CameraE2e, StreamParamsJoinTheCameraAndItsStoredRecord) {
  CameraRecord cam = zeroed<CameraRecord>();
  cam.id = 12;
  cam.syncTime = 1;
  cam.camProtocol = 2;
  cam.managePort = 80;
  cam.physicalport = 3;
  cam.poechannel = 4;
  set_text(cam.mac_addr, "AA");
  cam.transmitProtocol = 1;
  set_text(cam.ddns, "d");
  cam.httpsPort = 443;
  write_camera(ZRDB_PATH, &cam, 12);
  OsdRecord osd = zeroed<OsdRecord>();
  set_text(osd.camName, "Hall");
  write_osd(ZRDB_PATH, &osd, 12);

  StreamParams p = zeroed<StreamParams>();
  p.id = 12;
  p.main.res[0][0] = 1920;
  p.main.res[0][1] = 1080;
  p.main.res[1][0] = 1280;
  p.main.res[1][1] = 720;
  p.main.res[2][0] = 640;  // a zero height ends the list
  p.sub.res[0][0] = 1280;  // the first of two equal pairs is the current one
  p.sub.res[0][1] = 720;
  p.sub.res[1][0] = 1280;
  p.sub.res[1][1] = 720;
  p.main.curWidth = 1280;
  p.main.curHeight = 720;
  p.main.framerateMax = 30;
  p.main.framerateMin = 1;
  p.main.bitrateMax = 8192;
  p.main.bitrateMin = 64;
  p.main.videoType = 1;
  p.main.framerate = 25;
  p.main.bitrate = 4096;
  p.main.iframeinterval = 50;
  p.main.bitrateCtrl = 1;
  p.main.iframeIntervalMin = 2;
  p.main.iframeIntervalMax = 200;
  p.sub.curWidth = 1280;
  p.sub.curHeight = 720;
  p.sub.videoType = 2;
  p.subEnable = 1;
  p.audioEnable = 1;
  p.videoTypeEnable = 1;
  p.ipc_type = 5;
  p.mainStream = 6;
  p.subStream = 7;
  p.SupportSmartStream = 8;
  p.SmartStream = 9;
  p.SmartStreamLevel = 10;
  p.SubSupportSmartStream = 11;
  p.SubSmartStream = 12;
  p.SubSmartStreamLevel = 13;
  p.mainGop = 14;
  p.subGop = 15;
  p.thirdGop = 16;
  StreamParams failed = zeroed<StreamParams>();
  failed.stateCode = 3;
  env_.start_sim(reply_line(3204, p));
  EXPECT_EQ(post("/2009", "{\"chnid\":12}").out,
            kJson +
                "{\"stateCode\":0,\"id\":12,\"name\":\"Hall\",\"subEnable\":1,\"audioEnable\":1,\"videoTypeEnable\":1,"
                "\"mainVideoType\":1,\"subVideoType\":2,\"ipc_type\":5,\"syncTime\":1,\"protocol\":2,"
                "\"managePort\":80,\"physicalport\":3,\"poechannel\":4,\"mac_addr\":\"AA\",\"transmitProtocol\":1,"
                "\"ddns\":\"d\",\"httpsPort\":443,\"mainStream\":6,\"subStream\":7,\"SupportSmartStream\":8,"
                "\"SmartStream\":9,\"SmartStreamLevel\":10,\"SubSupportSmartStream\":11,\"SubSmartStream\":12,"
                "\"SubSmartStreamLevel\":13,\"main\":{\"curRes\":1,\"res\":[{\"width\":1920,\"height\":1080,"
                "\"name\":\"1920*1080\"},{\"width\":1280,\"height\":720,\"name\":\"1280*720\"}],\"framerateMax\":30,"
                "\"framerateMin\":1,\"bitrateMax\":8192,\"bitrateMin\":64,\"framerate\":25,\"bitrate\":4096,"
                "\"iframeinterval\":50,\"iframeIntervalMin\":2,\"iframeIntervalMax\":200,\"bitrateCtrl\":1},"
                "\"sub\":{\"curRes\":0,\"res\":[{\"width\":1280,\"height\":720,\"name\":\"1280*720\"},"
                "{\"width\":1280,\"height\":720,\"name\":\"1280*720\"}],"
                "\"framerateMax\":0,\"framerateMin\":0,\"bitrateMax\":0,\"bitrateMin\":0,\"framerate\":0,"
                "\"bitrate\":0,\"iframeinterval\":0,\"iframeIntervalMin\":0,\"iframeIntervalMax\":0,"
                "\"bitrateCtrl\":0},\"mainGop\":14,\"subGop\":15,\"thirdGop\":16}");
  p.main.curWidth = 352;  // matches nothing
  env_.start_sim(reply_line(3204, p));
  EXPECT_NE(post("/2009", "{\"chnid\":12}").out.find("\"main\":{\"curRes\":0,"), std::string::npos);
  env_.start_sim(reply_line(3204, failed));
  EXPECT_EQ(post("/2009", "{\"chnid\":12}").out, kJson + "{\"stateCode\":3}");
  EXPECT_EQ(env_.journal_of(3204), (std::vector<std::string>{ch_hex(12), ch_hex(12), ch_hex(12)}));
}

TEST_F(CameraE2e, DayNightRegionAndScheduleGetters) {
  auto dn = counting<DayNightSchedule>();
  RegionInfo region = zeroed<RegionInfo>();
  region.count = 99;  // bounded by the 20 areas of the record
  for (int i = 0; i < REGION_AREAS; ++i) region.area[i] = {1, i, 2 * i, 3 * i};
  set_text(region.sdkversion, "S");
  auto sched = heap_zeroed<ChannelSchedule>();
  set_text(sched->schedule.days[0].sections[0].start_time, "00:00");
  set_text(sched->schedule.days[0].sections[0].end_time, "24:00");
  sched->schedule.days[0].sections[0].action_type = 1;
  auto expo = heap_zeroed<ChannelExposureSchedule>();
  set_text(expo->schedule.section[7][11].startTime, "06:00");
  set_text(expo->schedule.section[7][11].endTime, "18:00");
  expo->schedule.section[7][11].actionType = 2;
  expo->schedule.section[7][11].exposureTime = 40;
  expo->schedule.section[7][11].gainLevel = 50;
  env_.start_sim(reply_line(3278, *dn) + reply_line(3271, region) + reply_line(3273, *sched) +
                 reply_line(3275, *expo) + reply_line(3277, *sched));

  std::string image;
  static const char* const kPeriodKeys[] = {"id", "enable", "startHour", "startMinute", "endHour", "endMinute",
                                            "exposureLevel", "maxShutter", "minShutter", "gainLevel",
                                            "irCutLatency", "irCutState", "irLedState", "colorMode"};
  for (int p = 0; p < DAY_NIGHT_PERIODS; ++p) {
    std::vector<std::pair<const char*, int>> m;
    for (int k = 0; k < 14; ++k) m.push_back({kPeriodKeys[k], 2 + 14 * p + k});
    image += std::string(p ? "," : "") + "{" + counted_members(m) + "}";
  }
  EXPECT_EQ(post("/2037", "{\"id\":1}").out, kJson + "{\"image\":[" + image + "]}");

  std::string areas;
  for (int i = 0; i < REGION_AREAS; ++i)
    areas += std::string(i ? "," : "") + "{\"enable\":1,\"left\":" + std::to_string(i) +
             ",\"right\":" + std::to_string(2 * i) + ",\"bottom\":" + std::to_string(3 * i) + "}";
  EXPECT_EQ(post("/2039", "{\"id\":1}").out, kJson + "{\"area\":[" + areas + "],\"sdkversion\":\"S\"}");

  auto week = [](const std::string& first, const std::string& empty, const std::string& last) {
    std::string s = "{\"schedule\":[";
    for (int d = 0; d < 8; ++d) {
      s += d ? ",[" : "[";
      for (int e = 0; e < 12; ++e) {
        if (e) s += ",";
        s += d == 0 && e == 0 ? first : d == 7 && e == 11 ? last : empty;
      }
      s += "]";
    }
    return s + "]}";
  };
  const std::string empty = "{\"startTime\":\"\",\"endTime\":\"\",\"actionType\":0}";
  const std::string a = week("{\"startTime\":\"00:00\",\"endTime\":\"24:00\",\"actionType\":1}", empty, empty);
  EXPECT_EQ(post("/2041", "{\"id\":1}").out, kJson + a);
  EXPECT_EQ(post("/2045", "{\"id\":1}").out, kJson + a);
  const std::string empty_b = "{\"startTime\":\"\",\"endTime\":\"\",\"actionType\":0,\"exposureTime\":0,\"gainLevel\":0}";
  EXPECT_EQ(post("/2043", "{\"id\":1}").out,
            kJson + week(empty_b, empty_b,
                         "{\"startTime\":\"06:00\",\"endTime\":\"18:00\",\"actionType\":2,\"exposureTime\":40,"
                         "\"gainLevel\":50}"));
  EXPECT_EQ(journal(), (std::vector<std::string>{line(3278, ch_hex(1)), line(3271, ch_hex(1)), line(3273, ch_hex(1)),
                                                 line(3277, ch_hex(1)), line(3275, ch_hex(1))}));
}

TEST_F(CameraE2e, DetectionAndTrackingGettersCarryTheirSchedules) {
  auto det = heap_zeroed<DetectionInfo>();
  det->chnid = 4;
  det->enable = 1;
  det->sensitivity = 2;
  det->minsize = 3;
  det->mintime = 4;
  det->adaptability = 5;
  set_text(det->map_mask, "0110");
  det->effective.days[1].valid = 1;
  set_text(det->effective.days[1].sections[0].start_time, "08:00");
  set_text(det->effective.days[1].sections[0].end_time, "18:00");
  det->isNtPlatform = 1;
  auto trk = heap_zeroed<AutoTracking>();
  trk->chnid = 4;
  trk->enable = 1;
  trk->show = 2;
  trk->sensitivity = 3;
  trk->time = 4;
  trk->manual_tracking = 5;
  trk->zoom_mode = 6;
  trk->zoom_number = 7;
  set_text(trk->area, "0,0,9,9");
  trk->humanVehicleSupport = 8;
  trk->trackingObject = 9;
  trk->reportMotion = 10;
  env_.start_sim(reply_line(3358, *det) + reply_line(3294, *trk));

  auto ipc_week = [](const std::string& day1_first) {
    const std::string empty = "{\"startTime\":\"\",\"endTime\":\"\"}";
    std::string s = "[";
    for (int d = 0; d < 8; ++d) {
      s += d ? ",[" : "[";
      for (int e = 0; e < 12; ++e) {
        if (e) s += ",";
        s += d == 1 && e == 0 && !day1_first.empty() ? day1_first : empty;
      }
      s += "]";
    }
    return s + "]";
  };
  EXPECT_EQ(post("/2051", "{\"chnid\":4}").out,
            kJson + "{\"chnid\":4,\"enable\":1,\"sensitivity\":2,\"minsize\":3,\"mintime\":4,\"adaptability\":5,"
                    "\"map_mask\":\"0110\",\"effective\":" +
                ipc_week("{\"startTime\":\"08:00\",\"endTime\":\"18:00\"}") + ",\"isNtPlatform\":1}");
  EXPECT_EQ(post("/2054", "{\"chnid\":4}").out,
            kJson + "{\"chnid\":4,\"enable\":1,\"show\":2,\"sensitivity\":3,\"time\":4,\"manual_tracking\":5,"
                    "\"zoom_mode\":6,\"zoom_number\":7,\"area\":\"0,0,9,9\",\"humanVehicleSupport\":8,"
                    "\"trackingObject\":9,\"reportMotion\":10,\"schedule\":" + ipc_week("") + "}");
}

// ---- Set relays ----

TEST_F(CameraE2e, AudioSetMasksTheChosenChannelsAndLeavesAbsentKeys) {
  env_.start_sim("3372 reply hex=00000000\n");
  EXPECT_EQ(post("/2064", "{\"chnid\":4,\"channels\":\"101\",\"audioEnable\":1,\"sampleRate\":16000}").out,
            kText + "OK");
  AudioSet want = zeroed<AudioSet>();
  want.mask = (1ULL << 0) | (1ULL << 2) | (1ULL << 4);
  fill_unchanged(&want.config, 0, sizeof want.config);
  want.config.chnid = 4;
  want.config.audioEnable = 1;
  want.config.sampleRate = 16000;
  EXPECT_EQ(journal(), std::vector<std::string>{line_of(3372, want)});
  env_.start_sim("3372 reply hex=05000000\n");
  EXPECT_EQ(post("/2064", "{\"chnid\":63,\"channels\":\"" + std::string(80, '1') + "\"}").out, kText + "ERROR");
  AudioSet all = zeroed<AudioSet>();
  all.mask = ~0ULL;
  fill_unchanged(&all.config, 0, sizeof all.config);
  all.config.chnid = 63;
  EXPECT_EQ(env_.journal_of(3372).back(), record_hex(all));
}

TEST_F(CameraE2e, StreamSetForOneChannelKeepsTransportAndSync) {
  uint64_t applied = 1ULL << 5;
  env_.start_sim(reply_line(3203, applied));
  EXPECT_EQ(post("/2010",
                 "{\"id\":5,\"mainFramerate\":25,\"mainBitrate\":4096,\"subEnable\":1,\"audioEnable\":0,"
                 "\"mainResWidth\":1920,\"mainResHeight\":1080,\"transmitProtocol\":1,\"syncTime\":1,"
                 "\"mainBitrateControl\":1,\"subBitrate\":512,\"recordtype\":2,\"etbitrate\":1024}")
                .out,
            kJson + "{\"res\":\"" + std::string(5, '0') + "1" + std::string(58, '0') + "\"}");
  StreamSet want = zeroed<StreamSet>();
  std::memset(want.mask, '0', sizeof want.mask);
  want.mask[5] = '1';
  fill_unchanged(&want, offsetof(StreamSet, transmitProtocol), sizeof want);
  want.zero92 = 0;
  want.zero148 = 0;
  want.subEnable = 1;
  want.mainResWidth = 1920;
  want.mainResHeight = 1080;
  want.mainFramerate = 25;
  want.mainBitrate = 4096;
  want.bitrateControl = 1;
  want.subBitrate = 512;
  want.recordtype = 2;  // the event-recording fields are the request's too
  want.etbitrate = 1024;
  EXPECT_EQ(journal(), std::vector<std::string>{line_of(3203, want)});

  // Required keys and ranges: nothing is sent or answered.
  for (const char* bad : {
           "{\"id\":64,\"mainFramerate\":25,\"mainBitrate\":1,\"subEnable\":1,\"audioEnable\":0,\"mainResWidth\":1,\"mainResHeight\":1}",
           "{\"id\":5,\"mainFramerate\":-1,\"mainBitrate\":1,\"subEnable\":1,\"audioEnable\":0,\"mainResWidth\":1,\"mainResHeight\":1}",
           "{\"id\":5,\"mainFramerate\":25,\"subEnable\":1,\"audioEnable\":0,\"mainResWidth\":1,\"mainResHeight\":1}",
           "{\"id\":5,\"mainFramerate\":25,\"mainBitrate\":1,\"subEnable\":2,\"audioEnable\":0,\"mainResWidth\":1,\"mainResHeight\":1}",
           "{\"id\":5,\"mainFramerate\":25,\"mainBitrate\":1,\"subEnable\":1,\"audioEnable\":0,\"mainResWidth\":1,\"mainResHeight\":-2}"})
    EXPECT_EQ(post("/2010", bad).out, "") << bad;
  EXPECT_EQ(journal().size(), 1u);
}

TEST_F(CameraE2e, BatchStreamSetSelectsFlaggedChannels) {
  env_.start_sim(reply_line(3203, uint64_t{5}));
  EXPECT_EQ(post("/2030", "{\"chans\":[1,0,1],\"transmitProtocol\":2,\"subResWidth\":704,\"subIframeInterval\":50}").out,
            kJson + "{\"res\":\"101" + std::string(61, '0') + "\"}");
  StreamSet want = zeroed<StreamSet>();
  std::memset(want.mask, '0', sizeof want.mask);
  want.mask[0] = want.mask[2] = '1';
  fill_unchanged(&want, offsetof(StreamSet, transmitProtocol), sizeof want);
  want.zero92 = 0;
  want.zero148 = 0;
  want.transmitProtocol = 2;
  want.videoTypeEnable = 1;
  want.subResWidth = 704;
  want.subIframeInterval = 50;
  EXPECT_EQ(journal(), std::vector<std::string>{line_of(3203, want)});
}

TEST_F(CameraE2e, BatchStreamSetReadsNoMoreThan64Flags) {
  env_.start_sim(reply_line(3203, ~0ULL));
  std::string chans;
  for (int i = 0; i < 70; ++i) chans += i ? ",1" : "1";
  EXPECT_EQ(post("/2030", "{\"chans\":[" + chans + "]}").out, kJson + "{\"res\":\"" + std::string(64, '1') + "\"}");
  const std::vector<std::string> sent = env_.journal_of(3203);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].substr(0, 136), to_hex(std::string(64, '1').data(), 64) + "00000000");
}

TEST_F(CameraE2e, ImageEnhancementSetTakesKeysFromTheSceneItApplies) {
  env_.start_sim();
  EXPECT_EQ(post("/2020", "{\"channel\":[1,3],\"type\":0,\"scenes\":3,\"wdrMode\":1,\"blcRegionArea\":\"1,2,3,4\"}").out,
            kText + "OK");
  EXPECT_EQ(post("/2020", "{\"channel\":[2],\"type\":2,\"wdrMode\":9,\"scenes\":[{\"hlcLevel\":7},{\"hlcLevel\":8}]}").out,
            kText + "OK");
  ImageEnhancementSet a = zeroed<ImageEnhancementSet>();
  fill_unchanged(&a, 0, sizeof a.channel);
  a.channel[0] = 1;
  a.channel[1] = 3;
  fill_unchanged(&a, offsetof(ImageEnhancementSet, modelType), offsetof(ImageEnhancementSet, reserved));
  std::memset(a.blcRegionArea, 0, sizeof a.blcRegionArea);
  std::strcpy(a.blcRegionArea, "1,2,3,4");
  a.wdrMode = 1;
  a.scenes = 3;  // a number is the field itself, the scene list is not
  ImageEnhancementSet b = zeroed<ImageEnhancementSet>();
  fill_unchanged(&b, 0, sizeof b.channel);
  b.channel[0] = 2;
  b.type = 2;
  fill_unchanged(&b, offsetof(ImageEnhancementSet, modelType), offsetof(ImageEnhancementSet, reserved));
  std::memset(b.blcRegionArea, 0, sizeof b.blcRegionArea);
  b.hlcLevel = 7;
  EXPECT_EQ(journal(), (std::vector<std::string>{line_of(3280, a), line_of(3280, b)}));

  // A scene type without scenes sends nothing; ids outside 0..63 are refused.
  EXPECT_EQ(post("/2020", "{\"channel\":[2],\"type\":1}").out, "");
  EXPECT_EQ(post("/2020", "{\"channel\":[2,64],\"type\":0}").out, kJsonError);
  EXPECT_EQ(journal().size(), 2u);
  // An empty list sends an empty list; a long one is cut at 64 entries.
  EXPECT_EQ(post("/2020", "{\"channel\":[],\"type\":0}").out, kText + "OK");
  std::string chans;
  for (int i = 0; i < 70; ++i) chans += std::string(i ? "," : "") + std::to_string(i % 64);
  EXPECT_EQ(post("/2020", "{\"channel\":[" + chans + "],\"type\":0}").out, kText + "OK");
  ImageEnhancementSet none = zeroed<ImageEnhancementSet>();
  fill_unchanged(&none, 0, sizeof none.channel);
  fill_unchanged(&none, offsetof(ImageEnhancementSet, modelType), offsetof(ImageEnhancementSet, reserved));
  std::memset(none.blcRegionArea, 0, sizeof none.blcRegionArea);
  ImageEnhancementSet all = none;
  for (int i = 0; i < 64; ++i) all.channel[i] = i;
  const std::vector<std::string> sent = env_.journal_of(3280);
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[2], record_hex(none));
  EXPECT_EQ(sent[3], record_hex(all));
}

TEST_F(CameraE2e, DisplayAndCommonParamSettersReportTheCameraResult) {
  env_.start_sim("3224 reply hex=00000000\n3226 reply hex=01000000\n");
  EXPECT_EQ(post("/2022", "{\"id\":6,\"type\":1,\"mirctrl\":2,\"whiteledDelay\":30,\"imageRotation\":1}").out, kText + "OK");
  ImageDisplaySet d = zeroed<ImageDisplaySet>();
  fill_unchanged(&d, offsetof(ImageDisplaySet, type), offsetof(ImageDisplaySet, reserved));
  d.id = 6;
  d.type = 1;
  d.mirctrl = 2;
  d.whiteledDelay = 30;
  d.imageRotation = 1;
  EXPECT_EQ(post("/2024", "{\"id\":6,\"pagename\":\"p\",\"httpname\":\"h\",\"key\":\"brightness\",\"value\":\"60\"}").out,
            kText + "ERROR");
  CommonParam c = zeroed<CommonParam>();
  c.id = 6;
  std::strcpy(c.pagename, "p");
  std::strcpy(c.httpname, "h");
  std::strcpy(c.key, "brightness");
  std::strcpy(c.value, "60");
  EXPECT_EQ(journal(), (std::vector<std::string>{line_of(3224, d), line_of(3226, c)}));
}

TEST_F(CameraE2e, DayNightAndImageScheduleSetters) {
  env_.start_sim();
  EXPECT_EQ(post("/2038", "{\"channel\":2,\"image\":[{\"id\":0,\"enable\":1,\"startHour\":6}]}").out, kText + "OK");
  EXPECT_EQ(post("/2047",
                 "{\"chnid\":3,\"type\":1,\"hasSche\":1,\"templateId\":2,\"irLedStatus\":0,"
                 "\"effective\":{\"startTime\":\"2026-01-01\",\"endTime\":\"2026-12-31\"}}")
                .out,
            kText + "OK");
  DayNightSchedule a = zeroed<DayNightSchedule>();
  fill_unchanged(&a, offsetof(DayNightSchedule, type), offsetof(DayNightSchedule, effective));
  a.chnid = 2;
  a.period[0].id = 0;
  a.period[0].enable = 1;
  a.period[0].startHour = 6;
  DayNightSchedule b = zeroed<DayNightSchedule>();
  fill_unchanged(&b, offsetof(DayNightSchedule, type), offsetof(DayNightSchedule, effective));
  b.chnid = 3;
  b.type = 1;
  b.hasSche = 1;
  b.templateId = 2;
  b.irLedStatus = 0;
  b.effectiveCount = 1;
  std::strcpy(b.effective[0].startTime, "2026-01-01");
  std::strcpy(b.effective[0].endTime, "2026-12-31");
  EXPECT_EQ(journal(), (std::vector<std::string>{line_of(3279, a), line_of(3279, b)}));
}

TEST_F(CameraE2e, RegionSettersBoundAreasAndIds) {
  env_.start_sim();
  std::string areas;
  for (int i = 0; i < 25; ++i) areas += std::string(i ? "," : "") + "{\"enable\":1,\"left\":" + std::to_string(i) + "}";
  EXPECT_EQ(post("/2040", "{\"chnid\":1,\"area\":[" + areas + "]}").out, kText + "OK");
  RegionSet r = zeroed<RegionSet>();
  r.chnid = 1;
  r.count = REGION_AREAS;
  for (int i = 0; i < REGION_AREAS; ++i) r.area[i] = {1, i, -1, -1};
  EXPECT_EQ(post("/2050", "{\"chan_id\":1,\"area_id\":19}").out, kText + "OK");
  EXPECT_EQ(post("/2050", "{\"chan_id\":1,\"area_id\":20}").out, kJsonError);
  EXPECT_EQ(post("/2050", "{\"chan_id\":64,\"area_id\":0}").out, kJsonError);
  const RegionAreaDelete del{1, 19};
  EXPECT_EQ(journal(), (std::vector<std::string>{line_of(3288, r), line_of(3284, del)}));
}

TEST_F(CameraE2e, ScheduleSettersSendTheWholeWeek) {
  env_.start_sim();
  EXPECT_EQ(post("/2042", "{\"channel\":1,\"schedule\":[[[\"08:00\",\"18:00\",2]]]}").out, kText + "OK");
  EXPECT_EQ(post("/2044", "{\"channel\":1,\"schedule\":[[],[{\"startTime\":\"06:00\",\"endTime\":\"07:00\","
                          "\"actionType\":1,\"exposureTime\":40,\"gainLevel\":50}]]}")
                .out,
            kText + "OK");
  EXPECT_EQ(post("/2046", "{\"channel\":1}").out, "");
  EXPECT_EQ(post("/2046", "{\"channel\":64,\"schedule\":[]}").out, kJsonError);
  auto a = heap_zeroed<ChannelSchedule>();
  a->channel = 1;
  std::strcpy(a->schedule.days[0].sections[0].start_time, "08:00");
  std::strcpy(a->schedule.days[0].sections[0].end_time, "18:00");
  a->schedule.days[0].sections[0].action_type = 2;
  auto b = heap_zeroed<ChannelExposureSchedule>();
  b->channel = 1;
  CamExposureSection& s = b->schedule.section[1][0];
  std::strcpy(s.startTime, "06:00");
  std::strcpy(s.endTime, "07:00");
  s.actionType = 1;
  s.exposureTime = 40;
  s.gainLevel = 50;
  EXPECT_EQ(journal(), (std::vector<std::string>{line_of(3281, *a), line_of(3282, *b)}));
}

TEST_F(CameraE2e, ExposureListsAreStoredBoundedAndKeepAbsentValues) {
  env_.start_sim();
  std::string list;
  for (int i = 0; i < 20; ++i)
    list += std::string(i ? "," : "") + "{\"exposureTime\":" + std::to_string(10 + i) + ",\"gainLevel\":" + std::to_string(i) + "}";
  EXPECT_EQ(post("/2048", "{\"channel\":2,\"exposure\":[" + list + "]}").out, kText + "OK");
  EXPECT_EQ(post("/2048", "{\"channel\":2,\"exposure\":[{\"gainLevel\":99}]}").out, kText + "OK");
  EXPECT_EQ(post("/2049", "{\"channel\":2}").out, kJson + "{\"exposure\":[{\"exposureTime\":10,\"gainLevel\":99}]}");
  EXPECT_EQ(post("/2049", "{\"channel\":3}").out, kJson + "{\"exposure\":[]}");
  EXPECT_EQ(post("/2048", "{\"channel\":64,\"exposure\":[]}").out, kJsonError);
  EXPECT_EQ(post("/2049", "{\"channel\":-1}").out, kJsonError);
  ExposureRecord rec = zeroed<ExposureRecord>();
  read_exposure(ZRDB_PATH, &rec, 2);
  EXPECT_EQ(rec.entry[15].exposureTime, 25);  // the first list was cut to 16 entries
  EXPECT_TRUE(journal().empty());
}

TEST_F(CameraE2e, DetectionAndTrackingSettersSendMasksAndSchedules) {
  env_.start_sim("3366 reply hex=03000000\n3375 reply hex=00000000\n");
  EXPECT_EQ(post("/2052", "{\"chnid\":2,\"enable\":1,\"map_mask\":\"11\",\"copyCnt\":3,\"copyChn\":[2,5,70],"
                          "\"effective\":[[[\"08:00\",\"18:00\"]]]}")
                .out,
            kJson + "{\"res\":3}");
  auto det = heap_zeroed<DetectionSet>();
  fill_unchanged(&det->info, 0, offsetof(DetectionInfo, map_mask));
  det->info.isNtPlatform = -1;
  det->info.chnid = 2;
  det->info.enable = 1;
  std::strcpy(det->info.map_mask, "11");
  for (int d = 0; d < 7; ++d) det->info.effective.days[d].valid = 1;
  std::strcpy(det->info.effective.days[0].sections[0].start_time, "08:00");
  std::strcpy(det->info.effective.days[0].sections[0].end_time, "18:00");
  det->copyMask = 1ULL << 5;  // the source channel and ids beyond 63 are left out
  EXPECT_EQ(post("/2055", "{\"chnid\":1,\"channels\":\"0001\",\"zoom_mode\":2}").out, kJson + "{\"res\":0}");
  auto trk = heap_zeroed<AutoTrackingSet>();
  fill_unchanged(&trk->info, 0, offsetof(AutoTracking, area));
  fill_unchanged(&trk->info, offsetof(AutoTracking, humanVehicleSupport), offsetof(AutoTracking, schedule));
  trk->info.chnid = 1;
  trk->info.zoom_mode = 2;
  for (ScheduleDay& day : trk->info.schedule.days) day.valid = -1;  // no schedule: the camera keeps its own
  trk->mask = (1ULL << 1) | (1ULL << 3);
  EXPECT_EQ(journal(), (std::vector<std::string>{line_of(3366, *det), line_of(3375, *trk)}));
}

TEST_F(CameraE2e, WatermarkAndEventStreamSetters) {
  env_.start_sim("1216 reply hex=00000000\n1218 reply hex=ffffffff\n");
  EXPECT_EQ(post("/2059", "{\"chnid\":3,\"enable\":1,\"watermark\":\"" + std::string(40, 'w') + "\",\"copy\":\"11\"}").out,
            kJson + "{\"res\":0}");
  WatermarkSet w = zeroed<WatermarkSet>();
  w.chnid = 3;
  w.enable = 1;
  std::memset(w.watermark, 'w', 31);
  std::memset(w.copy, '0', 64);
  w.copy[0] = w.copy[1] = w.copy[3] = '1';
  EXPECT_EQ(post("/2061", "{\"chnid\":3,\"framerate\":15}").out, kJson + "{\"res\":-1}");
  EventStream e{3, 0, -1, 15, -1, -1};
  EXPECT_EQ(journal(), (std::vector<std::string>{line_of(1216, w), line_of(1218, e)}));
}

// ---- Refusals, missing and empty replies ----

TEST_F(CameraE2e, RelaysRefuseChannelsOutsideTheRecorder) {
  env_.start_sim();
  const std::string kNoReply;
  const struct {
    const char* path;
    const char* body;
    const std::string& error;
  } rows[] = {
      {"/2063", "{\"chnid\":64}", kJsonError},   {"/2064", "{\"chnid\":-1}", kJsonError},
      {"/2009", "{\"chnid\":64}", kJsonError},   {"/2019", "{\"id\":64}", kJsonError},
      {"/2021", "{}", kJsonError},               {"/2022", "{\"id\":99}", kJsonError},
      {"/2023", "{\"id\":64}", kJsonError},      {"/2024", "{\"id\":64}", kJsonError},
      {"/2025", "{\"id\":64}", kJsonError},      {"/2037", "{\"id\":64}", kJsonError},
      {"/2038", "{\"channel\":64}", kJsonError}, {"/2047", "{\"chnid\":64}", kJsonError},
      {"/2039", "{\"id\":64}", kJsonError},      {"/2040", "{\"chnid\":64}", kJsonError},
      {"/2041", "{\"id\":64}", kJsonError},      {"/2043", "{\"id\":64}", kJsonError},
      {"/2045", "{\"id\":64}", kJsonError},      {"/2042", "{\"channel\":64,\"schedule\":[]}", kJsonError},
      {"/2051", "{\"chnid\":64}", kJsonError},   {"/2052", "{\"chnid\":64}", kJsonError},
      {"/2053", "{\"chnid\":64}", kTextError},   {"/2054", "{\"chnid\":64}", kJsonError},
      {"/2055", "{\"chnid\":64}", kJsonError},   {"/2056", "{\"chnid\":64}", kJsonError},
      {"/2057", "{\"chnid\":64}", kJsonError},   {"/2058", "{\"chnid\":64}", kJsonError},
      {"/2059", "{\"chnid\":64}", kJsonError},   {"/2060", "{\"chnid\":64}", kJsonError},
      {"/2061", "{\"chnid\":64}", kJsonError},   {"/2062", "{\"chnid\":64}", kJsonError},
      {"/2065", "{\"chnid\":64}", kJsonError},   {"/2068", "{\"chnid\":64}", kTextError},
      // Numbers beside the channel are read strictly as well.
      {"/2053", "{\"chnid\":1,\"mainType\":\"x\"}", kTextError},
      {"/2053", "{\"chnid\":1,\"subType\":1.5}", kTextError},
      {"/2060", "{\"chnid\":1,\"fisheyeType\":\"x\"}", kJsonError},
      {"/2061", "{\"chnid\":1,\"fisheyeType\":true}", kJsonError},
      {"/2020", "{\"channel\":[1],\"type\":\"x\"}", kJsonError},
      {"/2050", "{\"chan_id\":1,\"area_id\":\"x\"}", kJsonError},
      {"/2013", "{\"chnid\":1,\"time\":\"2026-12-07 00:00:00\",\"streamType\":\"x\"}", kJsonError},
      // Numbers of the field tables: "x" is refused, never sent as "unchanged".
      {"/2052", "{\"chnid\":1,\"sensitivity\":\"x\"}", kJsonError},
      {"/2052", "{\"chnid\":1,\"isNtPlatform\":1.5}", kJsonError},
      {"/2055", "{\"chnid\":1,\"show\":\"x\"}", kJsonError},
      {"/2061", "{\"chnid\":1,\"framerate\":\"x\"}", kJsonError},
      {"/2064", "{\"chnid\":1,\"audioMode\":\"x\"}", kJsonError},
      {"/2022", "{\"id\":1,\"colorkiller\":\"x\"}", kJsonError},
      {"/2038", "{\"channel\":1,\"image\":[{\"id\":0,\"startHour\":\"x\"}]}", kJsonError},
      {"/2047", "{\"chnid\":1,\"image\":[{\"enable\":true}]}", kJsonError},
      {"/2040", "{\"chnid\":1,\"area\":[{\"enable\":1},{\"left\":\"x\"}]}", kJsonError},
      {"/2059", "{\"chnid\":1,\"enable\":\"x\",\"watermark\":\"w\"}", kJsonError},
      {"/2048", "{\"channel\":1,\"exposure\":[{\"exposureTime\":\"x\"}]}", kJsonError},
      {"/2010", "{\"id\":1,\"mainFramerate\":25,\"mainBitrate\":1,\"subEnable\":0,\"audioEnable\":0,"
                "\"mainResWidth\":1,\"mainResHeight\":1,\"IframeInterval\":\"x\"}",
       kNoReply},
      {"/2030", "{\"chans\":[1,\"x\"]}", kNoReply},
      {"/2030", "{\"chans\":[1],\"syncTime\":\"x\"}", kNoReply},
      {"/2031", "{\"id\":1,\"httpsPort\":\"x\"}", kNoReply},
      {"/2044", "{\"channel\":1,\"schedule\":[[{\"startTime\":\"00:00\",\"endTime\":\"01:00\",\"actionType\":1,"
                "\"gainLevel\":\"x\"}]]}",
       kJsonError},
      {"/2044", "{\"channel\":1,\"schedule\":[[[\"00:00\",\"01:00\",1.5]]]}", kJsonError},
  };
  for (const auto& row : rows) EXPECT_EQ(post(row.path, row.body).out, row.error) << row.path << " " << row.body;
  EXPECT_TRUE(journal().empty());
  zrdb_close_all();
  EXPECT_LE(zrdb_count_records(ZRDB_PATH, "exposure") + zrdb_count_records(ZRDB_PATH, "camera"), 0);
}

TEST_F(CameraE2e, EveryWaitingRelayAnswersItsErrorWhenNoReplyComes) {
  const std::string stream = "{\"id\":1,\"mainFramerate\":1,\"mainBitrate\":1,\"subEnable\":1,\"audioEnable\":0,"
                             "\"mainResWidth\":1,\"mainResHeight\":1}";
  const struct {
    const char* path;
    std::string body;
    int req;
    const std::string& error;
  } rows[] = {
      {"/2063", "{\"chnid\":1}", 3371, kJsonError}, {"/2064", "{\"chnid\":1}", 3372, kJsonError},
      {"/2009", "{\"chnid\":1}", 3204, kJsonError}, {"/2010", stream, 3203, kTextError},
      {"/2030", "{\"chans\":[1]}", 3203, kTextError}, {"/2019", "{\"id\":1}", 3221, kTextError},
      {"/2021", "{\"id\":1}", 3223, kTextError},    {"/2022", "{\"id\":1}", 3224, kTextError},
      {"/2023", "{\"id\":1}", 3225, kTextError},    {"/2024", "{\"id\":1}", 3226, kTextError},
      {"/2025", "{\"id\":1}", 2503, kTextError},    {"/2026", "{\"cmd\":\"x\"}", 4002, kTextError},
      {"/2027", "", 4004, kTextError},              {"/2028", "", 3307, kTextError},
      {"/2037", "{\"id\":1}", 3278, kJsonError},    {"/2039", "{\"id\":1}", 3271, kJsonError},
      {"/2041", "{\"id\":1}", 3273, kJsonError},    {"/2043", "{\"id\":1}", 3275, kJsonError},
      {"/2045", "{\"id\":1}", 3277, kJsonError},    {"/2051", "{\"chnid\":1}", 3358, kJsonError},
      {"/2052", "{\"chnid\":1}", 3366, kJsonError}, {"/2053", "{\"chnid\":1}", 3360, kTextError},
      {"/2054", "{\"chnid\":1}", 3294, kJsonError}, {"/2055", "{\"chnid\":1}", 3375, kJsonError},
      {"/2056", "{\"chnid\":1}", 1262, kJsonError}, {"/2057", "{\"chnid\":1}", 2507, kJsonError},
      {"/2058", "{\"chnid\":1}", 1213, kJsonError}, {"/2059", "{\"chnid\":1}", 1216, kJsonError},
      {"/2060", "{\"chnid\":1}", 1217, kJsonError}, {"/2061", "{\"chnid\":1}", 1218, kJsonError},
      {"/2062", "{\"chnid\":1}", 1219, kJsonError}, {"/2065", "{\"chnid\":1}", 3376, kJsonError},
      {"/2068", "{\"chnid\":1}", 3377, kJsonError},
  };
  std::string script;
  for (const auto& row : rows) script += std::to_string(row.req) + " none\n";
  env_.start_sim(script);
  for (const auto& row : rows) {
    EXPECT_EQ(post(row.path, row.body, "200").out, row.error) << row.path;
    EXPECT_FALSE(env_.journal_of(row.req).empty()) << row.path;
  }
}

TEST_F(CameraE2e, EmptyOrShortRepliesAnswerTheErrorOnce) {
  // Zero-length replies, and records cut short of their size.
  env_.start_sim("3371 reply hex=00000000\n3372 reply\n3204 reply hex=00000000\n3225 reply hex=01000000\n"
                 "1262 reply\n6000 reply\n3360 reply\n3358 reply hex=0000\n9999 reply\n2507 reply hex=01\n"
                 "1213 reply\n3273 reply\n3307 reply hex=01\n");
  const struct {
    const char* path;
    const char* body;
    const std::string& error;
  } rows[] = {
      {"/2063", "{\"chnid\":1}", kJsonError}, {"/2064", "{\"chnid\":1}", kJsonError},
      {"/2009", "{\"chnid\":1}", kJsonError}, {"/2023", "{\"id\":1}", kJsonError},
      {"/2056", "{\"chnid\":1}", kJsonError}, {"/2053", "{\"chnid\":1}", kTextError},
      {"/2051", "{\"chnid\":1}", kJsonError}, {"/2057", "{\"chnid\":1}", kJsonError},
      {"/2058", "{\"chnid\":1}", kJsonError}, {"/2041", "{\"id\":1}", kJsonError},
      {"/2028", "", kJsonError},
  };
  for (const auto& row : rows) EXPECT_EQ(post(row.path, row.body, "1000").out, row.error) << row.path;
}
