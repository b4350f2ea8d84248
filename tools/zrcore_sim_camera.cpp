// zrcore-sim: the camera module's requests. A recorder with the cameras of
// its store (four built-in ones on channels 0 to 3 when it holds none, the
// same four that "zrdb seed --demo" stores); a search that finds three more on the LAN; cameras that
// answer every image, stream, audio and analytics query with plausible
// settings and accept every change.
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/camera_record.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "handlers/camera/camera_records.h"
#include "platform/zrdb.h"
#include "tools/zrcore_sim.h"

namespace {

struct SimCamera {
  const char* ip;
  const char* vendor;
  const char* model;
  const char* fw;
  const char* mac;
  const char* sn;
  int protocol;
};
const SimCamera kCameras[] = {
    {"192.168.1.64", "Generic", "IPC-B4-2812", "V5.6.3 build 230410", "00:1A:2B:3C:4D:01", "B4A0012345", 0},
    {"192.168.1.65", "Generic", "IPC-D8-4", "V5.6.3 build 230410", "00:1A:2B:3C:4D:02", "D8A0067890", 2},
    {"192.168.1.66", "Generic", "IPC-PTZ-25X", "V2.1.0 build 221118", "00:1A:2B:3C:4D:03", "PZ00011122", 2},
    {"192.168.1.70", "RTSP", "RTSP", "", "", "", 1},
};
constexpr int kCameraCount = static_cast<int>(sizeof kCameras / sizeof kCameras[0]);

int32_t channel_of(const Bytes& payload) {
  int32_t ch = 0;
  std::memcpy(&ch, payload.data(), payload.size() < 4 ? payload.size() : 4);
  return ch;
}

template <typename T>
void reply_record(std::vector<SimReply>* replies, int req_id, const T& rec) {
  sim_reply(replies, req_id, sim_bytes(rec));
}

// Big records built on the heap.
template <typename T>
std::unique_ptr<T> zeroed() {
  auto p = std::make_unique<T>();
  std::memset(p.get(), 0, sizeof(T));
  return p;
}

// One row of the camera list: what a camera at this address reports (the
// built-in cameras' details when it is one of them).
CameraListEntry list_entry(int ch, const char* ip, int port, int protocol, bool online, const char* mac) {
  const SimCamera* known = nullptr;
  for (const SimCamera& c : kCameras)
    if (std::strcmp(c.ip, ip) == 0) known = &c;
  CameraListEntry e;
  std::memset(&e, 0, sizeof e);
  e.id = ch;
  e.managePort = port;
  e.camProtocol = protocol;
  e.state = online ? 1 : 0;
  e.mainRtspPort = 554;
  copy_field(e.ipAddr, ip);
  copy_field(e.vendor, known ? known->vendor : "Generic");
  copy_field(e.sn, known ? known->sn : "");
  copy_field(e.fwVersion, known ? known->fw : "");
  copy_field(e.mac, known && *known->mac ? known->mac : mac);
  copy_field(e.model, known ? known->model : "IPC");
  e.poechannel = -1;
  e.physicalport = -1;
  e.alarmin = protocol == 2 ? 1 : 0;
  e.alarmout = protocol == 2 ? 1 : 0;
  e.whiteLed = ch == 0 ? 1 : 0;
  e.subState = e.state;
  e.connectState = e.state;
  copy_field(e.snReal, known ? known->sn : "");
  copy_field(e.chipinfo, "SC8238");
  return e;
}

void collect_camera(void* ctx, int id, const void* data, size_t size) {
  if (size != sizeof(CameraRecord) || id < 0 || id >= MAX_CHANNELS) return;
  CameraRecord r;
  std::memcpy(&r, data, sizeof r);
  char ip[sizeof r.ipAddr];
  copy_field(ip, field_view(r.ipAddr));
  if (r.removed || !ip[0]) return;  // a cleared channel
  char mac[sizeof r.mac_addr];
  copy_field(mac, field_view(r.mac_addr));
  sim_append(static_cast<Bytes*>(ctx), list_entry(id, ip, r.managePort, r.camProtocol, r.enable != 0, mac));
}

// The cameras the recorder's store holds (the demo's, and those "/2004"
// added), so the list and the camera pages show one recorder; a store
// without cameras (or none at all) lists the four built-in ones. The store
// is not created here and not kept open.
void camera_list(int id, const Bytes&, std::vector<SimReply>* out) {
  Bytes b;
  struct stat st;
  if (::stat(nvr_path(ZRDB_PATH).c_str(), &st) == 0) {
    zrdb_visit_records(ZRDB_PATH, "camera", collect_camera, &b);
    zrdb_close_all();
  }
  if (b.empty())
    for (int i = 0; i < kCameraCount; ++i) {
      const SimCamera& c = kCameras[i];
      sim_append(&b, list_entry(i, c.ip, c.protocol == 1 ? 554 : 80, c.protocol, true, c.mac));
    }
  sim_reply(out, id, b);
}

void search(int id, const Bytes& payload, std::vector<SimReply>* out) {
  const int32_t protocol = channel_of(payload);
  const char* found[][3] = {
      {"192.168.1.101", "00:1A:2B:3C:5E:01", "IPC-B4-2812"},
      {"192.168.1.102", "00:1A:2B:3C:5E:02", "IPC-T5-4"},
      {"192.168.1.103", "00:1A:2B:3C:5E:03", "IPC-D8-4"},
  };
  Bytes b;
  int n = 0;
  for (const auto& f : found) {
    SearchResultEntry e;
    std::memset(&e, 0, sizeof e);
    copy_field(e.ipAddr, f[0]);
    copy_field(e.macAddr, f[1]);
    e.managePort = 80;
    e.protocol = protocol;
    copy_field(e.vendor, "Generic");
    copy_field(e.sn, string_printf("SN%08d", 4711 + n));
    copy_field(e.fwVersion, "V5.6.3 build 230410");
    copy_field(e.model, f[2]);
    e.modelId = protocol == 0 ? 0 : 2;
    copy_field(e.netmask, "255.255.255.0");
    copy_field(e.dns, "192.168.1.1");
    copy_field(e.gateway, "192.168.1.1");
    copy_field(e.netif, "eth0");
    e.active_status = 1;
    copy_field(e.name, string_printf("Camera %d", n + 1));
    copy_field(e.snReal, string_printf("SN%08d", 4711 + n));
    sim_append(&b, e);
    ++n;
  }
  sim_reply(out, id, b);
}

void status_ok(int id, const Bytes&, std::vector<SimReply>* out) { sim_reply_status(out, id, 0); }

void batch_result(int id, const Bytes&, std::vector<SimReply>* out) {
  auto rec = zeroed<BatchNetworkResult>();
  rec->count = 2;
  copy_field(rec->entry[0].mac, "00:1A:2B:3C:5E:01");
  copy_field(rec->entry[1].mac, "00:1A:2B:3C:5E:02");
  rec->entry[1].result = 1;
  reply_record(out, id, *rec);
}

void month_map(int id, const Bytes&, std::vector<SimReply>* out) {
  MonthMapReply rec;
  std::memset(&rec, 0, sizeof rec);
  for (int d = 1; d <= 31; ++d) rec.word[d] = (d % 3 != 0) ? 1 : 0;
  reply_record(out, id, rec);
}

ChannelModelEntry channel_model(int ch) {
  ChannelModelEntry e;
  std::memset(&e, 0, sizeof e);
  e.chnid = ch;
  if (ch >= 0 && ch < kCameraCount) {
    copy_field(e.ipaddr, kCameras[ch].ip);
    copy_field(e.model, kCameras[ch].model);
    copy_field(e.fwversion, kCameras[ch].fw);
  }
  return e;
}

void channels_model(int id, const Bytes&, std::vector<SimReply>* out) {
  Bytes b;
  for (int ch = 0; ch < 64; ++ch) sim_append(&b, channel_model(ch));
  sim_reply(out, id, b);
}

void ipc_type(int id, const Bytes& p, std::vector<SimReply>* out) { reply_record(out, id, channel_model(channel_of(p))); }

void audio_info(int id, const Bytes& p, std::vector<SimReply>* out) {
  auto rec = zeroed<AudioInfo>();
  rec->support = 1;
  rec->supportMode = 3;
  rec->supportInputMode = 1;
  rec->optionCount = 2;
  // G.711A at 8 kHz / 64 kbps; AAC at 16 kHz and 48 kHz.
  rec->option[0].encodeValue = 0;
  rec->option[0].sampleRateCount = 1;
  rec->option[0].sampleRate[0] = {8000, 1, {64}};
  rec->option[1].encodeValue = 2;
  rec->option[1].sampleRateCount = 2;
  rec->option[1].sampleRate[0] = {16000, 2, {32, 64}};
  rec->option[1].sampleRate[1] = {48000, 3, {64, 96, 128}};
  rec->config = {channel_of(p), 1, 0, 1, 0, 8000, 50, 0, 1, 80, 64};
  reply_record(out, id, *rec);
}

void fill_caps(StreamCaps* c, const int32_t (*res)[2], int n, int cur, int fmax, int bmax, int bitrate) {
  for (int i = 0; i < n; ++i) {
    c->res[i][0] = res[i][0];
    c->res[i][1] = res[i][1];
  }
  c->framerateMax = fmax;
  c->framerateMin = 1;
  c->bitrateMax = bmax;
  c->bitrateMin = 32;
  c->videoType = 1;  // H.265
  c->curWidth = res[cur][0];
  c->curHeight = res[cur][1];
  c->framerate = fmax;
  c->bitrate = bitrate;
  c->iframeinterval = fmax * 2;
  c->bitrateCtrl = 0;
  c->iframeIntervalMin = 1;
  c->iframeIntervalMax = 200;
}

void stream_params(int id, const Bytes& p, std::vector<SimReply>* out) {
  static const int32_t kMain[][2] = {{3840, 2160}, {2592, 1944}, {2560, 1440}, {1920, 1080}, {1280, 720}};
  static const int32_t kSub[][2] = {{704, 576}, {640, 480}, {352, 288}};
  StreamParams rec;
  std::memset(&rec, 0, sizeof rec);
  rec.id = channel_of(p);
  fill_caps(&rec.main, kMain, 5, 3, 25, 8192, 4096);
  fill_caps(&rec.sub, kSub, 3, 0, 25, 2048, 512);
  rec.sub.videoType = 0;
  rec.subEnable = 1;
  rec.audioEnable = 0;
  rec.videoTypeEnable = 1;
  rec.ipc_type = 0;
  rec.mainStream = 1;
  rec.subStream = 1;
  rec.SupportSmartStream = 1;
  rec.SmartStream = 0;
  rec.SmartStreamLevel = 3;
  rec.SubSupportSmartStream = 1;
  rec.SubSmartStreamLevel = 3;
  rec.mainGop = 50;
  rec.subGop = 50;
  rec.thirdGop = 50;
  reply_record(out, id, rec);
}

// The channels the set record names, as the mask of channels applied.
void stream_set(int id, const Bytes& p, std::vector<SimReply>* out) {
  const StreamSet rec = sim_read<StreamSet>(p);
  uint64_t mask = 0;
  for (int i = 0; i < 64; ++i)
    if (rec.mask[i] == '1') mask |= 1ULL << i;
  reply_record(out, id, mask);
}

void image_enhancement(int id, const Bytes& p, std::vector<SimReply>* out) {
  ImageEnhancement r;
  std::memset(&r, 0, sizeof r);
  r.id = channel_of(p);
  r.smartir = 1;
  r.whiteblance = 0;
  r.wdrlevel = 50;
  r.wdrstophour = 23;
  r.wdrstopminute = 59;
  r.hlclevel = 50;
  r.redgain = 50;
  r.bluegain = 50;
  r.defoglevel = 50;
  r.exposetime = 40;
  r.exposegain = 50;
  copy_field(r.exposeregion, "0,0,100,100");
  copy_field(r.sdkversion, "3.2.1");
  reply_record(out, id, r);
}

void image_display(int id, const Bytes& p, std::vector<SimReply>* out) {
  ImageDisplay r;
  std::memset(&r, 0, sizeof r);
  r.id = channel_of(p);
  r.colorkiller = 2;  // automatic day/night
  r.modestarthour = 7;
  r.modestophour = 19;
  r.ircutaddaytonight = 3;
  r.ircutadnighttoday = 3;
  r.smartIRType = 1;
  r.nearIRLevel = 50;
  r.farIRLevel = 50;
  r.midIRLevel = 50;
  copy_field(r.chipninterface, "SC8238");
  copy_field(r.sensortype, "IMX415");
  copy_field(r.productmodel, "IPC-B4-2812");
  copy_field(r.softversion, "V5.6.3");
  copy_field(r.sdkversion, "3.2.1");
  r.dayNightSens = 5;
  r.nightDaySens = 5;
  reply_record(out, id, r);
}

void common_get(int id, const Bytes& p, std::vector<SimReply>* out) {
  CommonParam rec = sim_read<CommonParam>(p);
  copy_field(rec.value, "1");
  reply_record(out, id, rec);
}

void model_type(int id, const Bytes&, std::vector<SimReply>* out) { sim_reply_status(out, id, 1); }

void qt_cmd(int id, const Bytes& p, std::vector<SimReply>* out) {
  const QtCommand cmd = sim_read<QtCommand>(p);
  Bytes b(QT_RESULT_TEXT_AT, 0);
  const std::string text = "done: " + std::string(field_view(cmd.cmd));
  b.insert(b.end(), text.begin(), text.end());
  b.push_back(0);
  sim_reply(out, id, b);
}

void chip_code(int id, const Bytes&, std::vector<SimReply>* out) {
  const std::string code = "A1B2C3D4E5F60718";
  sim_reply(out, id, Bytes(code.begin(), code.end()));
}

void motion(int id, const Bytes&, std::vector<SimReply>* out) { reply_record(out, id, uint64_t{0x5}); }

void day_night(int id, const Bytes& p, std::vector<SimReply>* out) {
  DayNightSchedule rec;
  std::memset(&rec, 0, sizeof rec);
  rec.chnid = channel_of(p);
  for (int i = 0; i < DAY_NIGHT_PERIODS; ++i) {
    DayNightPeriod& d = rec.period[i];
    d.id = i;
    d.enable = i < 2 ? 1 : 0;
    d.startHour = i == 0 ? 6 : 18;
    d.endHour = i == 0 ? 18 : 6;
    d.exposureLevel = 50;
    d.maxShutter = 40;
    d.minShutter = 1;
    d.gainLevel = 50;
    d.irCutLatency = 5;
    d.irCutState = i == 0 ? 0 : 1;
    d.irLedState = i == 0 ? 0 : 1;
    d.colorMode = i == 0 ? 0 : 1;
  }
  reply_record(out, id, rec);
}

void region(int id, const Bytes& p, std::vector<SimReply>* out) {
  RegionInfo rec;
  std::memset(&rec, 0, sizeof rec);
  rec.chnid = channel_of(p);
  rec.count = 2;
  rec.area[0] = {1, 10, 200, 120};
  rec.area[1] = {0, 0, 0, 0};
  copy_field(rec.sdkversion, "3.2.1");
  reply_record(out, id, rec);
}

void fill_week(ScheduleRecord* s) {
  for (int d = 0; d < SCHEDULE_DAYS; ++d) {
    s->days[d].valid = d < 7 ? 1 : 0;
    copy_field(s->days[d].sections[0].start_time, "00:00");
    copy_field(s->days[d].sections[0].end_time, "24:00");
    s->days[d].sections[0].action_type = 1;
  }
}

void schedule(int id, const Bytes& p, std::vector<SimReply>* out) {
  auto rec = zeroed<ChannelSchedule>();
  rec->channel = channel_of(p);
  fill_week(&rec->schedule);
  reply_record(out, id, *rec);
}

void exposure_schedule(int id, const Bytes& p, std::vector<SimReply>* out) {
  auto rec = zeroed<ChannelExposureSchedule>();
  rec->channel = channel_of(p);
  for (int d = 0; d < CAM_SCHEDULE_DAYS; ++d) {
    CamExposureSection& s = rec->schedule.section[d][0];
    copy_field(s.startTime, "06:00");
    copy_field(s.endTime, "18:00");
    s.actionType = 1;
    s.exposureTime = 40;
    s.gainLevel = 50;
  }
  reply_record(out, id, *rec);
}

void detection(int id, const Bytes& p, std::vector<SimReply>* out) {
  auto rec = zeroed<DetectionInfo>();
  rec->chnid = channel_of(p);
  rec->enable = 1;
  rec->sensitivity = 5;
  rec->minsize = 10;
  rec->mintime = 2;
  rec->adaptability = 1;
  copy_field(rec->map_mask, std::string(22 * 18, '1'));
  fill_week(&rec->effective);
  reply_record(out, id, *rec);
}

void text_query(int id, const Bytes& p, std::vector<SimReply>* out) {
  const TextQuery q = sim_read<TextQuery>(p);
  const std::string text = string_printf("channel %d: no events at %s", q.chnid, std::string(field_view(q.time)).c_str());
  sim_reply(out, id, Bytes(text.begin(), text.end()));
}

void tracking(int id, const Bytes& p, std::vector<SimReply>* out) {
  auto rec = zeroed<AutoTracking>();
  rec->chnid = channel_of(p);
  rec->enable = 1;
  rec->show = 1;
  rec->sensitivity = 5;
  rec->time = 30;
  rec->zoom_mode = 1;
  rec->zoom_number = 4;
  copy_field(rec->area, "0,0,1000,1000");
  rec->humanVehicleSupport = 1;
  rec->trackingObject = 1;
  fill_week(&rec->schedule);
  reply_record(out, id, *rec);
}

void ptz_support(int id, const Bytes& p, std::vector<SimReply>* out) {
  sim_reply_status(out, id, channel_of(p) == 2 ? 1 : 0);
}

void watermark(int id, const Bytes& p, std::vector<SimReply>* out) {
  WatermarkInfo rec;
  std::memset(&rec, 0, sizeof rec);
  rec.chnid = channel_of(p);
  rec.enable = 1;
  copy_field(rec.watermark, "NVR-WATERMARK");
  reply_record(out, id, rec);
}

void event_stream(int id, const Bytes& p, std::vector<SimReply>* out) {
  EventStream rec{channel_of(p), 0, 1, 25, 2048, 50};
  reply_record(out, id, rec);
}

void lpr_night(int id, const Bytes& p, std::vector<SimReply>* out) {
  LprNightMode rec{channel_of(p), 1};
  reply_record(out, id, rec);
}

void system_info(int id, const Bytes&, std::vector<SimReply>* out) {
  IpcSystemInfo rec;
  std::memset(&rec, 0, sizeof rec);
  rec.audioSupport = 1;
  rec.audioSupportMode = 3;
  rec.audioLineInputSupport = 1;
  rec.systemSpeakerSupport = 1;
  rec.systemAutoTrackingSupport = 1;
  reply_record(out, id, rec);
}

void custom_param(int id, const Bytes& p, std::vector<SimReply>* out) {
  const CustomParamQuery q = sim_read<CustomParamQuery>(p);
  CustomParamReply rec;
  std::memset(&rec, 0, sizeof rec);
  rec.chnid = q.chnid;
  copy_field(rec.data, "<value>" + std::string(field_view(q.url)) + "</value>");
  reply_record(out, id, rec);
}

const SimRow kRows[] = {
    {3201, camera_list},      {3200, search},           {3202, status_ok},      {3227, status_ok},
    {3205, status_ok},        {3230, batch_result},     {3493, month_map},      {2505, channels_model},
    {3371, audio_info},       {3372, status_ok},        {3204, stream_params},  {3203, stream_set},
    {3221, image_enhancement}, {3223, image_display},   {3224, status_ok},      {3225, common_get},
    {3226, status_ok},        {2503, model_type},       {4002, qt_cmd},         {4004, chip_code},
    {3307, motion},           {3278, day_night},        {3271, region},         {3273, schedule},
    {3275, exposure_schedule}, {3277, schedule},        {3358, detection},      {3366, status_ok},
    {3360, text_query},       {3294, tracking},         {3375, status_ok},      {1262, ptz_support},
    {2507, ipc_type},         {1213, watermark},        {1216, status_ok},      {1217, event_stream},
    {1218, status_ok},        {1219, lpr_night},        {3376, system_info},    {3377, custom_param},
};

const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
