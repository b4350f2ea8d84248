// Live view and playback control: the records this module exchanges with the
// core daemon, its reply dispatcher and the pure helpers its handlers use.
// Shared with zrcore-sim (which plays the other side) and the tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>

#include "platform/avi.h"

// Capacity of every session or channel list in the records below.
constexpr int kStreamMaxSessions = 64;
// Time texts "%Y-%m-%d %H:%M:%S" in the request records.
constexpr size_t kStreamTimeText = 32;

// ---- Requests to the core daemon ------------------------------------------------------
// Core request ids of this module.
enum StreamRequest : int {
  REQ_STREAM_FAST_FORWARD = 1112,
  REQ_STREAM_STEP_BATCH = 1113,
  REQ_STREAM_SLOW_FORWARD = 1149,
  REQ_STREAM_PLAY_TIME = 1153,
  REQ_STREAM_SEARCH_SECTIONS = 1159,
  REQ_STREAM_CLOSE_SESSIONS = 1160,
  REQ_STREAM_SECTION_PAGE = 1161,
  REQ_STREAM_PLAYBACK_START = 1162,
  REQ_STREAM_PLAYBACK_STOP = 1164,
  REQ_STREAM_PAUSE = 1165,
  REQ_STREAM_RESUME = 1166,
  REQ_STREAM_SET_SPEED = 1167,
  REQ_STREAM_STEP_FORWARD = 1170,
  REQ_STREAM_JUMP = 1171,
  REQ_STREAM_DOWNLOAD = 1173,
  REQ_STREAM_SET_TRANSCODING = 1176,
  REQ_STREAM_TRANSCODING_STATE = 1177,
  REQ_STREAM_DOWNLOAD_CLEAR = 1178,
  REQ_STREAM_SET_IMAGE = 1205,
  REQ_STREAM_STOP_LIVE = 1901,
  REQ_STREAM_STOP_ALL_LIVE = 1902,
  REQ_STREAM_STOP_SESSION = 1903,
  REQ_STREAM_GET_IMAGE = 3002,
  REQ_STREAM_PLAYBACK_BY_MASK = 3109,
  REQ_STREAM_START_LIVE = 3500,
  REQ_STREAM_SESSION_INFO = 3502,
  REQ_STREAM_RTSP_ADDRESSES = 3503,
  REQ_STREAM_EXTERN_PORTS = 3506,
  REQ_STREAM_BUSY = 4011,
};
// The core answers the playback start by mask (3109) with this reply type.
constexpr int REPLY_STREAM_PLAYBACK_BY_MASK = 8103;

// Session list: pause, step, stop, close, fast forward (with speeds).
struct StreamSessionList {
  int32_t sid[kStreamMaxSessions];
  int32_t reserved256;  // 0 as sent
  int32_t speed[kStreamMaxSessions];  // fast forward only
  uint8_t unused516[256];
  int32_t count;
};
static_assert(sizeof(StreamSessionList) == 776, "session list is 776 bytes");
static_assert(offsetof(StreamSessionList, reserved256) == 256, "session list: int32 at 256");
static_assert(offsetof(StreamSessionList, speed) == 260, "session list: speeds at 260");
static_assert(offsetof(StreamSessionList, count) == 772, "session list: count at 772");

// Speed record: slow forward and set speed.
struct StreamSpeedRecord {
  int32_t speed;
  int32_t single_double;  // 1 when the speed is 2 and exactly one session is given
  int32_t sid[kStreamMaxSessions];
  int32_t count;
};
static_assert(sizeof(StreamSpeedRecord) == 268, "speed record is 268 bytes");
static_assert(offsetof(StreamSpeedRecord, single_double) == 4, "speed record: flag at 4");
static_assert(offsetof(StreamSpeedRecord, sid) == 8, "speed record: sessions at 8");
static_assert(offsetof(StreamSpeedRecord, count) == 264, "speed record: count at 264");

// Section search.
struct StreamSectionSearch {
  char chn_mask[68];     // '0'/'1' per channel of the device, zero bytes after
  int32_t one;           // 1
  int32_t sub_stream;    // 1 when "streamType" is 1
  int32_t any_type;      // -1
  int32_t any_lock;      // -1
  char time[kStreamTimeText];
  char end_time[kStreamTimeText];
  uint8_t reserved148[68];
};
static_assert(sizeof(StreamSectionSearch) == 216, "section search is 216 bytes");
static_assert(offsetof(StreamSectionSearch, one) == 68, "section search: 1 at 68");
static_assert(offsetof(StreamSectionSearch, sub_stream) == 72, "section search: stream at 72");
static_assert(offsetof(StreamSectionSearch, any_type) == 76, "section search: -1 at 76");
static_assert(offsetof(StreamSectionSearch, any_lock) == 80, "section search: -1 at 80");
static_assert(offsetof(StreamSectionSearch, time) == 84, "section search: time at 84");
static_assert(offsetof(StreamSectionSearch, end_time) == 116, "section search: end time at 116");

// Playback start.
struct StreamPlaybackStart {
  int32_t chn;
  int32_t sid;
  int32_t zero8[2];
  char start_time[kStreamTimeText];
  char end_time[kStreamTimeText];
  char play_time[kStreamTimeText];
};
static_assert(sizeof(StreamPlaybackStart) == 112, "playback start is 112 bytes");
static_assert(offsetof(StreamPlaybackStart, sid) == 4, "playback start: session at 4");
static_assert(offsetof(StreamPlaybackStart, start_time) == 16, "playback start: start at 16");
static_assert(offsetof(StreamPlaybackStart, end_time) == 48, "playback start: end at 48");
static_assert(offsetof(StreamPlaybackStart, play_time) == 80, "playback start: play time at 80");

// Playback start by channel masks.
struct StreamPlaybackByMask {
  int32_t play_secs;  // "playTime" as local time
  char play_time[kStreamTimeText];
  int32_t mask[8];    // "mask0" .. "mask7"
};
static_assert(sizeof(StreamPlaybackByMask) == 68, "playback start by mask is 68 bytes");
static_assert(offsetof(StreamPlaybackByMask, play_time) == 4, "by mask: play time at 4");
static_assert(offsetof(StreamPlaybackByMask, mask) == 36, "by mask: masks at 36");

// Jump.
struct StreamJump {
  int32_t chn[kStreamMaxSessions];
  int32_t sid[kStreamMaxSessions];
  int32_t count;
  char jump_time[64];
};
static_assert(sizeof(StreamJump) == 580, "jump is 580 bytes");
static_assert(offsetof(StreamJump, sid) == 256, "jump: sessions at 256");
static_assert(offsetof(StreamJump, count) == 512, "jump: count at 512");
static_assert(offsetof(StreamJump, jump_time) == 516, "jump: time at 516");

// Image parameters of a channel.
struct StreamImageParams {
  int32_t chn;
  int32_t brightness;
  int32_t contrast;
  int32_t saturation;
  int32_t sharpness;
  int32_t noise_reduction;
  int32_t i2ddnr;
};
static_assert(sizeof(StreamImageParams) == 28, "image parameters are 28 bytes");

// Live stream start and stop.
struct StreamLive {
  int32_t id;
  int32_t stream_type;
  int32_t stream_from;
};
static_assert(sizeof(StreamLive) == 12, "live stream record is 12 bytes");

// Playback transcoding.
struct StreamTranscoding {
  int32_t ch;
  int32_t sid;
  int32_t mode;
  int32_t framesize;
  int32_t bitrate;
  int32_t framerate;
};
static_assert(sizeof(StreamTranscoding) == 24, "transcoding record is 24 bytes");

// Resume (1166).
struct StreamResume {
  int32_t sid;
  int32_t direction;
};
static_assert(sizeof(StreamResume) == 8, "resume record is 8 bytes");

// One page of a section search (1161).
struct StreamSectionPage {
  int32_t sid;
  int32_t page;
  int32_t zero8[3];
};
static_assert(sizeof(StreamSectionPage) == 20, "section page request is 20 bytes");

// Transcoding state query (1177).
struct StreamTranscodingQuery {
  int32_t ch;
  int32_t sid;
};
static_assert(sizeof(StreamTranscodingQuery) == 8, "transcoding query is 8 bytes");

// ---- Replies from the core daemon ---------------------------------------------------
// 6153: current play time, seconds.
struct StreamPlayTime {
  int32_t play_time;
};
static_assert(sizeof(StreamPlayTime) == 4, "play time reply is 4 bytes");

// 6159, 6161: one recorded section.
struct StreamSection {
  int32_t cam_id;
  int32_t sid;
  int32_t reserved8;
  int32_t lock;
  int32_t reserved16;
  int32_t record_type;
  char start[20];
  char end[20];
  uint8_t reserved64[16];
};
static_assert(sizeof(StreamSection) == 80, "section record is 80 bytes");
static_assert(offsetof(StreamSection, sid) == 4, "section: session at 4");
static_assert(offsetof(StreamSection, lock) == 12, "section: lock at 12");
static_assert(offsetof(StreamSection, record_type) == 20, "section: record type at 20");
static_assert(offsetof(StreamSection, start) == 24, "section: start at 24");
static_assert(offsetof(StreamSection, end) == 44, "section: end at 44");

// 6162, 6171: result.
struct StreamResult {
  int32_t result;
};
static_assert(sizeof(StreamResult) == 4, "result reply is 4 bytes");

// 6176, 6177: transcoding state.
struct StreamTranscodingState {
  int32_t ch;
  int32_t sid;
  int32_t state;
};
static_assert(sizeof(StreamTranscodingState) == 12, "transcoding state is 12 bytes");

// 8002: image parameters of a channel.
struct StreamImageReply {
  int32_t reserved0;
  int32_t brightness;
  int32_t contrast;
  int32_t saturation;
  int32_t sharpness;
  int32_t noise_reduction;
  int32_t i2ddnr;
  int32_t status;  // negative: failure
  int32_t support_lpr;
  int32_t is_nt_platform;
  int32_t is_panorama_stitch;
};
static_assert(sizeof(StreamImageReply) == 44, "image parameter reply is 44 bytes");
static_assert(offsetof(StreamImageReply, brightness) == 4, "image reply: values at 4");
static_assert(offsetof(StreamImageReply, i2ddnr) == 24, "image reply: i2ddnr at 24");
static_assert(offsetof(StreamImageReply, status) == 28, "image reply: status at 28");
static_assert(offsetof(StreamImageReply, support_lpr) == 32, "image reply: supportLpr at 32");
static_assert(offsetof(StreamImageReply, is_panorama_stitch) == 40, "image reply: stitch at 40");

// 8103: answer to the playback start by mask.
struct StreamMaskStartReply {
  int32_t sid;
  char real_play_time[32];
  int32_t error;  // non-zero: failure
};
static_assert(sizeof(StreamMaskStartReply) == 40, "playback-by-mask reply is 40 bytes");
static_assert(offsetof(StreamMaskStartReply, real_play_time) == 4, "8103: time at 4");
static_assert(offsetof(StreamMaskStartReply, error) == 36, "8103: error at 36");

// 8500: live stream info.
struct StreamLiveReply {
  int32_t id;
  int32_t port;
  int32_t reserved8[4];
  int32_t direct;
  int32_t status;  // negative: failure
  uint8_t reserved32[64];
  char rtsp_addr[256];
  char res_path[256];
  uint8_t reserved608[432];
};
static_assert(sizeof(StreamLiveReply) == 1040, "live stream reply is 1040 bytes");
static_assert(offsetof(StreamLiveReply, port) == 4, "8500: port at 4");
static_assert(offsetof(StreamLiveReply, direct) == 24, "8500: direct at 24");
static_assert(offsetof(StreamLiveReply, status) == 28, "8500: status at 28");
static_assert(offsetof(StreamLiveReply, rtsp_addr) == 96, "8500: RTSP address at 96");
static_assert(offsetof(StreamLiveReply, res_path) == 352, "8500: resource path at 352");

// 8502: playback session info.
struct StreamSessionInfo {
  int32_t sid;
  int32_t port;
  int32_t external_port;
  int32_t external_http_port;
  int32_t ddns_port;
  int32_t ddns_http_port;
  char source_path[128];
};
static_assert(sizeof(StreamSessionInfo) == 152, "session info is 152 bytes");
static_assert(offsetof(StreamSessionInfo, ddns_http_port) == 20, "8502: DDNS HTTP port at 20");
static_assert(offsetof(StreamSessionInfo, source_path) == 24, "8502: source path at 24");

// Five ports of one stream of the RTSP address record.
struct StreamRtspPorts {
  int32_t port;
  int32_t external_port;
  int32_t ddns_port;
  int32_t external_http_port;
  int32_t ddns_http_port;
};
static_assert(sizeof(StreamRtspPorts) == 20, "port block is 20 bytes");

// 8503: RTSP addresses of one channel.
struct StreamRtspRecord {
  int32_t reserved0;
  char main_url[256];
  char sub_url[256];
  int32_t reserved516;
  StreamRtspPorts main_ports;
  uint8_t reserved540[8];
  char main_user[32];
  char main_password[32];
  uint8_t reserved612[256];
  char main_res_path[128];
  int32_t reserved996;
  StreamRtspPorts sub_ports;
  uint8_t reserved1020[8];
  char sub_user[32];
  char sub_password[32];
  uint8_t reserved1092[256];
  char sub_res_path[128];
};
static_assert(sizeof(StreamRtspRecord) == 1476, "RTSP address record is 1476 bytes");
static_assert(offsetof(StreamRtspRecord, main_url) == 4, "8503: main URL at 4");
static_assert(offsetof(StreamRtspRecord, sub_url) == 260, "8503: sub URL at 260");
static_assert(offsetof(StreamRtspRecord, main_ports) == 520, "8503: main ports at 520");
static_assert(offsetof(StreamRtspRecord, main_user) == 548, "8503: main user at 548");
static_assert(offsetof(StreamRtspRecord, main_password) == 580, "8503: main password at 580");
static_assert(offsetof(StreamRtspRecord, main_res_path) == 868, "8503: main path at 868");
static_assert(offsetof(StreamRtspRecord, sub_ports) == 1000, "8503: sub ports at 1000");
static_assert(offsetof(StreamRtspRecord, sub_user) == 1028, "8503: sub user at 1028");
static_assert(offsetof(StreamRtspRecord, sub_password) == 1060, "8503: sub password at 1060");
static_assert(offsetof(StreamRtspRecord, sub_res_path) == 1348, "8503: sub path at 1348");

// 8506: external ports.
struct StreamExternPorts {
  int32_t upnp_extern_port;
  int32_t ddns_extern_port;
};
static_assert(sizeof(StreamExternPorts) == 8, "external ports reply is 8 bytes");

// 9011: stream busy flag.
struct StreamBusy {
  int32_t busy;
};
static_assert(sizeof(StreamBusy) == 4, "busy reply is 4 bytes");

// ---- Recording download ------------------------------------------------------------
// Present while a download runs (the core daemon creates it).
constexpr char kStreamDownloadMarker[] = "/tmp/pbdownload";

// 1173: replay one channel's recording as data replies. Times are
// "%d-%d-%d %d:%d:%d" (no leading zeros).
struct StreamDownloadRequest {
  int32_t chn;
  int32_t stream_type;
  char start_time[kStreamTimeText];
  char end_time[kStreamTimeText];
};
static_assert(sizeof(StreamDownloadRequest) == 72, "download request is 72 bytes");
static_assert(offsetof(StreamDownloadRequest, start_time) == 8, "download request: start at 8");
static_assert(offsetof(StreamDownloadRequest, end_time) == 40, "download request: end at 40");

// 6173: one chunk of a frame, or the end of the recording.
constexpr int REPLY_STREAM_DOWNLOAD_DATA = REQ_STREAM_DOWNLOAD + 5000;
constexpr int kStreamChunkMax = 614400;
constexpr int32_t kStreamChunkFirst = 0;          // the first chunk of a frame; others continue it
constexpr int32_t kStreamDownloadEnded = -1;      // chunk length: the recording has ended
constexpr int32_t kStreamDownloadInterrupted = -2;  // chunk length: the core gave up
struct StreamDownloadData {
  ZrAviFrameHeader head;
  int32_t kind;
  int32_t len;
  uint8_t data[kStreamChunkMax];
};
static_assert(sizeof(StreamDownloadData) == 614496, "data reply is 614496 bytes");
static_assert(offsetof(StreamDownloadData, kind) == 88, "data reply: chunk kind at 88");
static_assert(offsetof(StreamDownloadData, len) == 92, "data reply: chunk length at 92");
static_assert(offsetof(StreamDownloadData, data) == 96, "data reply: chunk at 96");
// The core may leave out the unused tail of the chunk area: a reply holds
// at least the 96 bytes before it and the chunk's own bytes.
constexpr size_t kStreamDataHead = offsetof(StreamDownloadData, data);

// ---- Module interface ---------------------------------------------------------------
// Reply dispatcher of every core request this module sends.
void on_stream_callback(void* ctx, void* header, void* payload);

// Recording download (stream_download.cpp).
void on_download_record(char* text);     // "/4013"
void on_get_download_state(char* text);  // "/4019"
void on_clear_download(char* text);      // "/4027"
// Routes one data reply (6173) of len payload bytes.
void on_get_download_playtime_cb(const void* payload, size_t len);

// ---- Pure helpers ---------------------------------------------------------------------
// Reads a "%Y-%m-%d %H:%M:%S" text (exactly that form, a real calendar
// time) as local time. False for anything else.
bool stream_parse_time(const char* text, time_t* out);
// The same for the download's "%Y-%m-%dT%H:%M:%SZ" (still read as local
// time). *fields gets the calendar fields as mktime settled them.
bool stream_parse_iso_time(const char* text, time_t* out, struct tm* fields = nullptr);
// Attachment name of a download: "%lldDDD%s-%s_%d.avi" with 1 << channel,
// the two stamps "%d_%d_%d_%d_%d_%d_%d" (year, month, day, hour, minute,
// second, seconds) and the channel; at most 127 characters.
void stream_download_file_name(int channel, const struct tm& start, time_t start_secs, const struct tm& end,
                               time_t end_secs, char (&name)[128]);
// A 0..255 image value as percent, rounded to the nearest, halves up.
int stream_image_percent(int value);
// The channel mask text of a section search: '1' for the channel, '0' for
// the other channels of the device (at most 64), zero bytes after.
void stream_fill_channel_mask(char (&mask)[68], int channel, int channel_count);
