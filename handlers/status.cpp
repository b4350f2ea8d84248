// Device, channel, disk and network status: live figures the core daemon
// keeps (interfaces, traffic, channel streams, alarm states, memory use,
// channel support, logged-in users) turned into the status pages' JSON with
// the names the store keeps, and the packet capture tool.
// Request table whose first name is "/8000".
#include <arpa/inet.h>
#include <dirent.h>
#include <json-c/json.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "core/camera_record.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_util.h"
#include "core/cgi_reply.h"
#include "core/clock.h"
#include "core/disk_records.h"
#include "core/download.h"
#include "core/event_records.h"
#include "core/net_probe.h"
#include "core/osd_record.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "handlers/modules.h"
#include "platform/netutil.h"
#include "platform/zrdb.h"

namespace {

constexpr int REQ_CHANNEL_SUPPORT = 3263;
constexpr int REQ_CHANNEL_STATUS = 3300;
constexpr int REQ_NETIF_STATUS = 3301;
constexpr int REQ_ALARM_STATUS = 3305;
constexpr int REQ_NETIF_SPEED = 3302;
constexpr int REQ_USAGE_STATUS = 3306;
constexpr int REQ_ONLINE_USERS = 1719;

constexpr int REPLY_CHANNEL_SUPPORT = 8263;
constexpr int REPLY_CHANNEL_STATUS = 8300;
constexpr int REPLY_NETIF_STATUS = 8301;
constexpr int REPLY_ALARM_STATUS = 8305;
constexpr int REPLY_NETIF_SPEED = 8302;
constexpr int REPLY_USAGE_STATUS = 8306;
constexpr int REPLY_ONLINE_USERS = 6719;

// ---- Core daemon records ------------------------------------------------------------

struct NetifState {
  char ifname[12];
  int32_t id;
  int32_t state;
  int32_t speedMode;
  int32_t duplex;
  int32_t enable;
  int32_t dhcpEnable;
  char ipAddr[24];
  char MAC[24];
  char primaryDNS[24];
  char secondDNS[24];
  char gateway[24];
  char netmask[24];
  int32_t mtu;
  uint8_t ip6mode;
  char ip6address[67];
  int32_t ip6prefix;
  char ip6gateway[64];
};
static_assert(sizeof(NetifState) == 320, "interface state is 320 bytes");
static_assert(offsetof(NetifState, ipAddr) == 36, "ipAddr at 36");
static_assert(offsetof(NetifState, netmask) == 156, "netmask at 156");
static_assert(offsetof(NetifState, mtu) == 180, "mtu at 180");
static_assert(offsetof(NetifState, ip6address) == 185, "ip6address at 185");
static_assert(offsetof(NetifState, ip6prefix) == 252, "ip6prefix at 252");
static_assert(offsetof(NetifState, ip6gateway) == 256, "ip6gateway at 256");

struct NetifSpeed {
  char ifname[12];
  int32_t RxSpeed;
  int32_t TxSpeed;
  int32_t id;
};
static_assert(sizeof(NetifSpeed) == 24, "interface traffic is 24 bytes");

// Figures of one stream of a channel.
struct StreamFigures {
  int32_t width;
  int32_t height;
  int32_t framerate;
  int32_t bitrate;
  int32_t connection;
  int32_t reserved;
  int32_t connectStatus;
};
static_assert(sizeof(StreamFigures) == 28, "stream figures are 28 bytes");

// Stream state of one channel (8300), records in ascending channel order.
struct ChannelStream {
  StreamFigures main;
  StreamFigures sub;
  int32_t recordOn;
  int32_t alarmOn;
  int32_t channel;
  int32_t reserved;
};
static_assert(sizeof(ChannelStream) == 72, "channel stream state is 72 bytes");
static_assert(offsetof(ChannelStream, main) + offsetof(StreamFigures, connectStatus) == 24, "main status at 24");
static_assert(offsetof(ChannelStream, sub) == 28, "sub stream at 28");
static_assert(offsetof(ChannelStream, sub) + offsetof(StreamFigures, connectStatus) == 52, "sub status at 52");
static_assert(offsetof(ChannelStream, recordOn) == 56, "recordOn at 56");
static_assert(offsetof(ChannelStream, channel) == 64, "channel at 64");

// Alarm status (8305): one record read as int32 words. A channel mask is two
// words, low word first.
constexpr size_t ALARM_STATUS_SIZE = 68296;
constexpr int W_VIDEOLOSS = 0;
constexpr int W_MOTION = 2;
constexpr int W_ALARM_OUT = 4;   // recorder outputs, bit n = output n
constexpr int W_ALARM_IN = 5;    // recorder inputs, bit n = input n
constexpr int W_ENTRANCE = 6;
constexpr int W_EXITING = 8;
constexpr int W_ADVANCED_MOTION = 10;
constexpr int W_TAMPERING = 12;
constexpr int W_LINE_CROSSING = 14;
constexpr int W_LOITERING = 16;
constexpr int W_HUMAN = 18;
constexpr int W_OBJECT = 20;
constexpr int W_IN_OUT = 24;            // + 2c: "in", + 2c + 1: "out"
constexpr int W_CAM_IN_STATE = 152;     // + 2k, k = 0..3
constexpr int W_CAM_OUT_STATE = 160;    // + 2k, k = 0..1
constexpr int W_CAM_IN_TYPE = 164;      // + 2k
constexpr int W_CAM_OUT_TYPE = 172;     // + 2k
static_assert((W_CAM_OUT_TYPE + 2 * CAM_ALARM_OUTPUTS) * 4 <= ALARM_STATUS_SIZE, "words inside the record");

int32_t word_at(const uint8_t* data, int k) {
  int32_t v;
  std::memcpy(&v, data + 4 * static_cast<size_t>(k), sizeof v);
  return v;
}
int mask_bit(const uint8_t* data, int k, int channel) {
  const uint64_t mask = static_cast<uint64_t>(static_cast<uint32_t>(word_at(data, k))) |
                        static_cast<uint64_t>(static_cast<uint32_t>(word_at(data, k + 1))) << 32;
  return channel >= 0 && channel < 64 && (mask >> channel & 1ULL) ? 1 : 0;
}

struct UsageFigures {
  int32_t total;
  int32_t free;
  int32_t used;
};
static_assert(sizeof(UsageFigures) == 12, "usage figures are 12 bytes");

constexpr int SUPPORT_ENTRIES = 64;
struct SupportEntry {
  int32_t reserved;
  int32_t support;
  int32_t type;
  uint8_t rest[32];
};
static_assert(sizeof(SupportEntry) == 44, "support entry is 44 bytes");
constexpr size_t SUPPORT_REPLY_SIZE = SUPPORT_ENTRIES * sizeof(SupportEntry);
static_assert(SUPPORT_REPLY_SIZE == 2816, "support reply is 2816 bytes");

struct OnlineUser {
  char userName[64];
  int32_t userLevel;
  char ipaddr[64];
  char loginTime[20];
};
static_assert(sizeof(OnlineUser) == 152, "logged-in user is 152 bytes");
static_assert(offsetof(OnlineUser, ipaddr) == 68, "ipaddr at 68");
static_assert(offsetof(OnlineUser, loginTime) == 132, "loginTime at 132");

template <typename T>
T record_at(const uint8_t* data, size_t i) {
  T rec;
  std::memcpy(&rec, data + i * sizeof(T), sizeof rec);
  return rec;
}

int write_json(json_object* obj) {
  JsonPtr owner(obj);
  cgi_write_json(obj);
  return 1;
}

// {"netif": [...]} with one element per whole record of the reply.
template <typename T, typename Fill>
int write_netif_list(const uint8_t* data, size_t len, Fill fill) {
  json_object* out = json_object_new_object();
  json_object* list = json_object_new_array();
  const size_t n = len / sizeof(T);
  for (size_t i = 0; i < n; ++i) {
    json_object* e = json_object_new_object();
    fill(e, record_at<T>(data, i));
    json_object_array_add(list, e);
  }
  json_object_object_add(out, "netif", list);
  return write_json(out);
}

// ---- Reply writers ------------------------------------------------------------------

int on_netif_status_cb(const uint8_t* data, size_t len) {
  return write_netif_list<NetifState>(data, len, [](json_object* e, const NetifState& s) {
    json_add_field(e, "ifname", s.ifname);
    json_add_int(e, "id", s.id);
    json_add_int(e, "state", s.state);
    json_add_int(e, "speedMode", s.speedMode);
    json_add_int(e, "duplex", s.duplex);
    json_add_int(e, "enable", s.enable);
    json_add_int(e, "dhcpEnable", s.dhcpEnable);
    json_add_field(e, "ipAddr", s.ipAddr);
    json_add_field(e, "MAC", s.MAC);
    json_add_field(e, "primaryDNS", s.primaryDNS);
    json_add_field(e, "secondDNS", s.secondDNS);
    json_add_field(e, "gateway", s.gateway);
    json_add_field(e, "netmask", s.netmask);
    json_add_int(e, "mtu", s.mtu);
    json_add_int(e, "ip6mode", s.ip6mode);
    json_add_field(e, "ip6address", s.ip6address);
    json_add_int(e, "ip6prefix", s.ip6prefix);
    json_add_field(e, "ip6gateway", s.ip6gateway);
  });
}

int on_netif_speed_cb(const uint8_t* data, size_t len) {
  return write_netif_list<NetifSpeed>(data, len, [](json_object* e, const NetifSpeed& s) {
    json_add_int(e, "id", s.id);
    json_add_field(e, "ifname", s.ifname);
    json_add_int(e, "RxSpeed", s.RxSpeed);
    json_add_int(e, "TxSpeed", s.TxSpeed);
  });
}

int on_usage_status_cb(const uint8_t* data, size_t) {
  const UsageFigures u = record_at<UsageFigures>(data, 0);
  json_object* out = json_object_new_object();
  json_add_int(out, "total", u.total);
  json_add_int(out, "free", u.free);
  json_add_int(out, "used", u.used);
  return write_json(out);
}

int on_channel_support_cb(const uint8_t* data, size_t) {
  char support[SUPPORT_ENTRIES + 1];
  char type[SUPPORT_ENTRIES + 1];
  for (int c = 0; c < SUPPORT_ENTRIES; ++c) {
    const SupportEntry e = record_at<SupportEntry>(data, static_cast<size_t>(c));
    support[c] = e.support == 1 ? '1' : '0';
    type[c] = e.type == 1 ? '1' : e.type == 2 ? '2' : '0';
  }
  support[SUPPORT_ENTRIES] = type[SUPPORT_ENTRIES] = '\0';
  json_object* out = json_object_new_object();
  json_add_text(out, "support", support);
  json_add_text(out, "type", type);
  return write_json(out);
}

int on_online_users_cb(const uint8_t* data, size_t len) {
  json_object* list = json_object_new_array();
  const size_t n = len / sizeof(OnlineUser);
  for (size_t i = 0; i < n; ++i) {
    const OnlineUser u = record_at<OnlineUser>(data, i);
    json_object* e = json_object_new_object();
    json_add_field(e, "userName", u.userName);
    json_add_int(e, "userLevel", u.userLevel);
    json_add_field(e, "ipaddr", u.ipaddr);
    json_add_field(e, "loginTime", u.loginTime);
    json_object_array_add(list, e);
  }
  return write_json(list);
}

// ---- Store names shown beside the core's figures ------------------------------------
// Read by the handler before its exchange; the reply writer only reads them.

struct ChannelNames {
  int count;  // configured cameras, at most 64
  char name[NVR_CHANNELS][64];
  char ipAddr[NVR_CHANNELS][64];
  int32_t enable[NVR_CHANNELS];
};
ChannelNames g_channels;

void load_channel_names() {
  g_channels.count = configured_camera_count();
  for (int c = 0; c < g_channels.count; ++c) {
    read_osd_name(ZRDB_PATH, c, g_channels.name[c]);
    CameraRecord cam{};
    read_camera(ZRDB_PATH, &cam, c);
    copy_field(g_channels.ipAddr[c], field_view(cam.ipAddr));
    g_channels.enable[c] = cam.enable;
  }
}

struct AlarmNames {
  CamAlarmInName cam_in[CAM_ALARM_INPUTS][NVR_CHANNELS];
  CamAlarmOutName cam_out[CAM_ALARM_OUTPUTS][NVR_CHANNELS];
  int inputs;   // recorder alarm inputs shown, at most 16
  int outputs;  // recorder alarm outputs shown, at most 4
  AlarmInRecord in[NVR_ALARM_INPUTS];
  AlarmOutRecord out[NVR_ALARM_OUTPUTS];
};
AlarmNames g_alarms;

int bounded_param(const char* key, int def, int most) {
  const int n = get_param_int(ZRDB_PATH, key, def);
  return n < 0 ? 0 : n > most ? most : n;
}

void load_alarm_names() {
  load_channel_names();
  for (int k = 0; k < CAM_ALARM_INPUTS; ++k) read_alarm_chnIn_event_names(k, g_alarms.cam_in[k]);
  for (int k = 0; k < CAM_ALARM_OUTPUTS; ++k) read_alarm_chnOut_event_names(k, g_alarms.cam_out[k]);
  g_alarms.inputs = bounded_param("alarm_in", NVR_ALARM_INPUTS, NVR_ALARM_INPUTS);
  g_alarms.outputs = bounded_param("alarm_out", NVR_ALARM_OUTPUTS, NVR_ALARM_OUTPUTS);
  for (int i = 0; i < g_alarms.inputs; ++i) {
    std::memset(&g_alarms.in[i], 0, sizeof g_alarms.in[i]);
    read_alarm_in(ZRDB_PATH, &g_alarms.in[i], i);
  }
  for (int i = 0; i < g_alarms.outputs; ++i) {
    std::memset(&g_alarms.out[i], 0, sizeof g_alarms.out[i]);
    read_alarm_out(ZRDB_PATH, &g_alarms.out[i], i);
  }
}

// ---- Channel and alarm status writers -------------------------------------------------

void add_object(json_object* obj, const char* key, json_object* member) { json_object_object_add(obj, key, member); }

void add_stream(json_object* e, const char* key, const StreamFigures& f) {
  json_object* s = json_object_new_object();
  json_object* res = json_object_new_object();
  json_add_int(res, "width", f.width);
  json_add_int(res, "height", f.height);
  add_object(s, "res", res);
  json_add_int(s, "framerate", f.framerate);
  json_add_int(s, "bitrate", f.bitrate);
  json_add_int(s, "connection", f.connection);
  json_add_int(s, "connectStatus", f.connectStatus);
  add_object(e, key, s);
}

// A stream the core sent no record for.
void add_no_stream(json_object* e, const char* key) {
  json_object* s = json_object_new_object();
  for (const char* k : {"res", "framerate", "bitrate", "connection"}) json_add_text(s, k, "--");
  add_object(e, key, s);
}

int on_channel_status_cb(const uint8_t* data, size_t len) {
  const size_t n = len / sizeof(ChannelStream);
  size_t k = 0;
  json_object* list = json_object_new_array();
  for (int c = 0; c < g_channels.count; ++c) {
    // Records come in ascending channel order; one out of order is skipped.
    while (k < n && record_at<ChannelStream>(data, k).channel < c) ++k;
    const bool has = k < n && record_at<ChannelStream>(data, k).channel == c;
    json_object* e = json_object_new_object();
    json_add_int(e, "id", c);
    json_add_field(e, "name", g_channels.name[c]);
    json_add_int(e, "enable", g_channels.enable[c]);
    json_add_text(e, "ipAddr", g_channels.ipAddr[c][0] ? field_view(g_channels.ipAddr[c]) : "--");
    if (has) {
      const ChannelStream r = record_at<ChannelStream>(data, k++);
      json_add_int(e, "recordOn", r.recordOn);
      json_add_int(e, "alarmOn", r.alarmOn);
      add_stream(e, "main", r.main);
      add_stream(e, "sub", r.sub);
    } else {
      json_add_text(e, "recordOn", "--");
      json_add_text(e, "alarmOn", "--");
      add_no_stream(e, "main");
      add_no_stream(e, "sub");
    }
    json_object_array_add(list, e);
  }
  json_object* out = json_object_new_object();
  add_object(out, "IPC", list);
  return write_json(out);
}

json_object* alarm_camera(const uint8_t* w, int c) {
  json_object* e = json_object_new_object();
  json_add_int(e, "id", c);
  json_add_field(e, "name", g_channels.name[c]);
  json_add_field(e, "ipAddr", g_channels.ipAddr[c]);
  json_add_int(e, "videolossOn", mask_bit(w, W_VIDEOLOSS, c));
  json_add_int(e, "motionOn", mask_bit(w, W_MOTION, c));
  json_add_int(e, "ioOn", 1);
  const struct {
    const char* key;
    int word;
  } events[] = {{"entrance", W_ENTRANCE},         {"exiting", W_EXITING},     {"advancedMotion", W_ADVANCED_MOTION},
                {"tampering", W_TAMPERING},       {"lineCrossing", W_LINE_CROSSING}, {"loitering", W_LOITERING},
                {"humanDetection", W_HUMAN},      {"objectleftremove", W_OBJECT}};
  for (const auto& ev : events) json_add_int(e, ev.key, mask_bit(w, ev.word, c));
  json_add_int(e, "in", word_at(w, W_IN_OUT + 2 * c));
  json_add_int(e, "out", word_at(w, W_IN_OUT + 2 * c + 1));
  for (int k = 0; k < CAM_ALARM_INPUTS; ++k) {
    json_add_field(e, string_printf("AlarmInName%d", k).c_str(), g_alarms.cam_in[k][c].alarm_name);
    json_add_int(e, string_printf("AlarmInType%d", k).c_str(), mask_bit(w, W_CAM_IN_TYPE + 2 * k, c));
    json_add_int(e, string_printf("AlarmInState%d", k).c_str(), mask_bit(w, W_CAM_IN_STATE + 2 * k, c));
  }
  for (int k = 0; k < CAM_ALARM_OUTPUTS; ++k) {
    const CamAlarmOutName& o = g_alarms.cam_out[k][c];
    json_add_field(e, string_printf("AlarmOutName%d", k).c_str(), o.alarm_name);
    json_add_int(e, string_printf("AlarmOutDelay%d", k).c_str(), o.delay_time);
    json_add_int(e, string_printf("AlarmOutType%d", k).c_str(), mask_bit(w, W_CAM_OUT_TYPE + 2 * k, c));
    json_add_int(e, string_printf("AlarmOutState%d", k).c_str(), mask_bit(w, W_CAM_OUT_STATE + 2 * k, c));
  }
  return e;
}

int on_alarm_status_cb(const uint8_t* w, size_t) {
  json_object* cameras = json_object_new_array();
  for (int c = 0; c < g_channels.count; ++c) json_object_array_add(cameras, alarm_camera(w, c));
  const uint32_t in_states = static_cast<uint32_t>(word_at(w, W_ALARM_IN));
  const uint32_t out_states = static_cast<uint32_t>(word_at(w, W_ALARM_OUT));
  json_object* inputs = json_object_new_array();
  for (int i = 0; i < g_alarms.inputs; ++i) {
    json_object* e = json_object_new_object();
    json_add_int(e, "id", i);
    json_add_field(e, "name", g_alarms.in[i].name);
    json_add_int(e, "type", g_alarms.in[i].alarm_type);
    json_add_int(e, "state", in_states >> i & 1u);
    json_object_array_add(inputs, e);
  }
  json_object* outputs = json_object_new_array();
  for (int i = 0; i < g_alarms.outputs; ++i) {
    json_object* e = json_object_new_object();
    json_add_int(e, "id", i);
    json_add_field(e, "name", g_alarms.out[i].name);
    json_add_int(e, "type", g_alarms.out[i].type);
    json_add_int(e, "duration", g_alarms.out[i].duration_time);
    json_add_int(e, "state", out_states >> i & 1u);
    json_object_array_add(outputs, e);
  }
  json_object* out = json_object_new_object();
  add_object(out, "cameras", cameras);
  add_object(out, "alarmIn", inputs);
  add_object(out, "alarmOut", outputs);
  return write_json(out);
}

}  // namespace

void on_status_ipc_callback(void* ctx, void* header, void* payload);

namespace {

// ---- Handlers -----------------------------------------------------------------------
// Each getter sends its request without payload and waits for the reply.

void ask_core(int req_id) { cgi_ipc_exchange(on_status_ipc_callback, req_id, nullptr, 0, CGI_KIND_JSON); }

void on_get_netif_status(char*) { ask_core(REQ_NETIF_STATUS); }
void on_get_netif_speed(char*) { ask_core(REQ_NETIF_SPEED); }
void on_get_channel_status(char*) {
  load_channel_names();
  ask_core(REQ_CHANNEL_STATUS);
}
void on_get_alarm_status(char*) {
  load_alarm_names();
  ask_core(REQ_ALARM_STATUS);
}
void on_status_placeholder(char*) {}
void on_get_usage_status(char*) { ask_core(REQ_USAGE_STATUS); }
void on_get_channel_support(char*) { ask_core(REQ_CHANNEL_SUPPORT); }
void on_cgi_get_online_user_status(char*) { ask_core(REQ_ONLINE_USERS); }

// Disk groups come from the database alone: no core request.
void on_get_disk_group_status(char*) {
  DiskGroupView view{};
  read_disk_group_view(&view);
  json_object* out = json_object_new_object();
  add_disk_group_view(out, view);
  write_json(out);
}

// ---- Packet capture -------------------------------------------------------------------
// A capture is written by tcpdump into a folder of a storage disk under the
// name "ktpcap-" and the local start time; the download packs that
// capture's files and removes them. Every value from the request is checked
// and quoted before a shell sees it, and files are removed without a shell.

constexpr char CAPTURE_PREFIX[] = "ktpcap-";
constexpr size_t CAPTURE_STAMP_DIGITS = 14;  // %Y%m%d%H%M%S
constexpr char CAPTURE_ARCHIVE[] = "packet.tar";
constexpr size_t CAPTURE_COMMAND_MAX = 1023;
constexpr size_t CAPTURE_IP_MAX = 63;
constexpr size_t CAPTURE_NIC_MAX = 7;
constexpr size_t CAPTURE_DIR_MAX = 127;

bool name_char_ok(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
         c == '-';
}

// "ktpcap-" and 14 digits: the name the start step gives a capture.
bool capture_name_ok(std::string_view name) {
  const size_t p = sizeof CAPTURE_PREFIX - 1;
  if (name.size() != p + CAPTURE_STAMP_DIGITS || name.compare(0, p, CAPTURE_PREFIX) != 0) return false;
  for (char c : name.substr(p))
    if (c < '0' || c > '9') return false;
  return true;
}

// A file tcpdump or the download made of a capture: the capture name,
// optionally followed by the file number 0 or 1, optionally by ".pcap".
bool capture_file_ok(std::string_view file) {
  const size_t base = sizeof CAPTURE_PREFIX - 1 + CAPTURE_STAMP_DIGITS;
  if (file.size() < base || !capture_name_ok(file.substr(0, base))) return false;
  std::string_view rest = file.substr(base);
  if (!rest.empty() && (rest[0] == '0' || rest[0] == '1')) rest.remove_prefix(1);
  return rest.empty() || rest == ".pcap";
}

// A capture folder: an absolute path of at most 127 characters below a
// storage root ("/mnt/<disk>" other than the configuration flash
// "/mnt/nand...", or "/media/<disk>"), every part of [A-Za-z0-9._-] and
// none "." or "..", naming an existing folder reached without symbolic
// links. *dir gets the path without trailing '/'.
bool capture_folder_ok(std::string_view text, std::string* dir) {
  while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  if (text.empty() || text.size() > CAPTURE_DIR_MAX || text[0] != '/') return false;
  std::vector<std::string_view> parts;
  for (size_t at = 1; at <= text.size();) {
    size_t end = text.find('/', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view part = text.substr(at, end - at);
    if (part.empty() || part == "." || part == "..") return false;
    for (char c : part)
      if (!name_char_ok(c)) return false;
    parts.push_back(part);
    at = end + 1;
  }
  if (parts.size() < 2 || (parts[0] != "mnt" && parts[0] != "media")) return false;
  if (parts[0] == "mnt" && parts[1].compare(0, 4, "nand") == 0) return false;
  std::string walk = nvr_root();
  for (std::string_view part : parts) {
    walk += '/';
    walk += part;
    struct stat st;
    if (lstat(walk.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  }
  dir->assign(text);
  return true;
}

bool regular_file(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Removes the files of earlier captures in the folder (and nothing else).
void remove_old_captures(const std::string& folder) {
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  std::vector<std::string> doomed;
  while (dirent* e = readdir(d))
    if (capture_file_ok(e->d_name)) doomed.push_back(folder + "/" + e->d_name);
  closedir(d);
  for (const std::string& f : doomed)
    if (regular_file(f)) unlink(f.c_str());
}

struct CaptureRequest {
  std::string ip;    // "" when absent
  std::string port;  // "" when absent
  std::string nic;
  std::string mnt;   // as sent
  std::string dir;   // checked folder
};

// A text member of at most `most` characters ("" when absent); false for
// another type or a longer text.
bool capture_text(json_object* req, const char* key, size_t most, std::string* out) {
  out->clear();
  if (!json_has(req, key)) return true;
  json_object* v = json_member(req, key, json_type_string);
  if (!v) return false;
  const char* t = json_object_get_string(v);
  const size_t n = strnlen(t, most + 1);
  if (n > most) return false;
  out->assign(t, n);
  return true;
}

bool address_ok(const std::string& text) {
  unsigned char buf[16];
  return inet_pton(AF_INET, text.c_str(), buf) == 1 || inet_pton(AF_INET6, text.c_str(), buf) == 1;
}

bool read_capture_request(json_object* req, CaptureRequest* r) {
  if (!capture_text(req, "ip", CAPTURE_IP_MAX, &r->ip) || !capture_text(req, "nic", CAPTURE_NIC_MAX, &r->nic) ||
      !capture_text(req, "mntPath", CAPTURE_DIR_MAX, &r->mnt))
    return false;
  if (!r->ip.empty() && !address_ok(r->ip)) return false;
  // The port as text ("554") or as a number; "" means every port.
  r->port.clear();
  json_object* port_text = json_member(req, "port", json_type_string);
  if (json_has(req, "port") && !(port_text && json_object_get_string_len(port_text) == 0)) {
    int32_t port = 0;
    if (!json_strict_int_in(req, "port", 1, 65535, &port)) return false;
    r->port = std::to_string(port);
  }
  return if_name_ok(r->nic) && capture_folder_ok(r->mnt, &r->dir);
}

std::string capture_name_now() {
  const time_t now = nvr_time();
  struct tm tm_local {};
  char text[64] = "";
  if (!localtime_r(&now, &tm_local) || !std::strftime(text, sizeof text, "ktpcap-%Y%m%d%H%M%S", &tm_local))
    return std::string();
  return text;
}

void on_start_packet_capture(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  CaptureRequest r;
  IfNetConf conf{};
  const std::string name = capture_name_now();
  // Without an IPv4 address the filter would be a bare "host": refused.
  if (!read_capture_request(req.get(), &r) || if_get_netconf(r.nic.c_str(), &conf) != 0 || !conf.ipaddr[0] ||
      !capture_name_ok(name)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  char ip6[128] = "", prefix[16] = "";
  const bool has_ip6 = net_get_ipv6_ifaddr(0, r.nic.c_str(), ip6, sizeof ip6, prefix, sizeof prefix) == 0 ||
                       net_get_ipv6_ifaddr(1, r.nic.c_str(), ip6, sizeof ip6, prefix, sizeof prefix) == 0;
  std::string filter = "host " + std::string(field_view(conf.ipaddr));
  if (has_ip6) filter += std::string(" || host ") + ip6;
  if (!r.ip.empty()) filter += " && host " + r.ip;
  if (!r.port.empty()) filter += " && port " + r.port;
  const std::string folder = nvr_path(r.dir);
  const std::string capture = "tcpdump -i " + shell_quote(r.nic) + " -s0 " + shell_quote(filter) +
                              " -W 1 -C 10 -w " + shell_quote(folder + "/" + name) + " > /dev/null &";
  if (capture.size() > CAPTURE_COMMAND_MAX) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  web_system("killall tcpdump > /dev/null");
  web_system("killall webmonitor > /dev/null");
  remove_old_captures(folder);
  web_system(capture);
  web_system(shell_quote(nvr_path("/www/webmonitor")) + " tcpdump 300 > /dev/null &");
  json_object* out = json_object_new_object();
  json_add_text(out, "dirPath", r.mnt);
  json_add_text(out, "fileName", name);
  write_json(out);
}

// Ends a running capture. Run in the foreground so the capture has ended
// when the page is told "OK".
void on_stop_packet_capture(char*) {
  web_system("killall tcpdump > /dev/null");
  cgi_reply_ok();
}

void on_download_packet_capture(char* text) {
  const std::string_view t = text ? std::string_view(text) : std::string_view();
  const size_t slash = t.rfind('/');
  std::string dir;
  if (t.empty() || slash == std::string_view::npos || !capture_name_ok(t.substr(slash + 1)) ||
      !capture_folder_ok(t.substr(0, slash), &dir)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  const std::string folder = nvr_path(dir);
  const std::string name(t.substr(slash + 1));
  // tcpdump's numbered files and an unnumbered one get ".pcap".
  std::vector<std::string> members;
  for (const std::string& f : {name + "0", name + "1", name}) {
    const std::string from = folder + "/" + f;
    if (regular_file(from)) std::rename(from.c_str(), (from + ".pcap").c_str());
    if (regular_file(from + ".pcap")) members.push_back(f + ".pcap");
  }
  if (members.empty()) return;
  const std::string archive = folder + "/" + CAPTURE_ARCHIVE;
  struct stat st;
  if (lstat(archive.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return;
    unlink(archive.c_str());
  }
  std::string pack = "cd " + shell_quote(folder) + " && tar -cf " + CAPTURE_ARCHIVE + " --";
  for (const std::string& m : members) pack += " " + shell_quote(m);
  pack += " > /dev/null";
  const bool packed = web_system(pack) == 0;
  // A capture whose archive did not reach the browser whole is kept for
  // another try.
  if (packed && download_send_file(archive.c_str(), CAPTURE_ARCHIVE) == 0)
    for (const std::string& m : members) unlink((folder + "/" + m).c_str());
  unlink(archive.c_str());
}

const CgiReplyRow kStatusReplies[] = {
    {REPLY_NETIF_STATUS, 0, CGI_KIND_JSON, on_netif_status_cb},
    {REPLY_NETIF_SPEED, 0, CGI_KIND_JSON, on_netif_speed_cb},
    {REPLY_CHANNEL_STATUS, 0, CGI_KIND_JSON, on_channel_status_cb},
    {REPLY_ALARM_STATUS, ALARM_STATUS_SIZE, CGI_KIND_JSON, on_alarm_status_cb},
    {REPLY_USAGE_STATUS, sizeof(UsageFigures), CGI_KIND_JSON, on_usage_status_cb},
    {REPLY_CHANNEL_SUPPORT, SUPPORT_REPLY_SIZE, CGI_KIND_JSON, on_channel_support_cb},
    {REPLY_ONLINE_USERS, 0, CGI_KIND_JSON, on_online_users_cb},
};

const WebRes kStatusTable[] = {
    {"/8000", on_get_netif_status},
    {"/8001", on_get_netif_speed},
    {"/8002", on_get_channel_status},
    {"/8003", on_get_alarm_status},
    {"/8004", on_status_placeholder},
    {"/8005", on_start_packet_capture},
    {"/8006", on_stop_packet_capture},
    {"/8007", on_download_packet_capture},
    {"/8008", on_get_usage_status},
    {"/8009", on_get_channel_support},
    {"/8010", on_get_disk_group_status},
    {"/8011", on_cgi_get_online_user_status},
};

}  // namespace

void on_status_ipc_callback(void*, void* header, void* payload) {
  cgi_dispatch_reply(kStatusReplies, header, payload);
}

NVR_DEFINE_MODULE(status, kStatusTable)
