// Live view, playback control and recording download.
// Request table whose first name is "/4000". The download's handlers and its
// frame queue live in stream_download.cpp and stream_backup.cpp.
//
// The browser's live and playback pages carry no video through here: they
// ask the core daemon to search recordings, open, steer and close live and
// playback sessions, and report where the stream can be fetched. Every core
// request of the module is answered through on_stream_callback.
#include "handlers/stream.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/account_scope.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/strutil.h"
#include "handlers/modules.h"
#include "platform/zrdb.h"
#include "platform/zrfs.h"

namespace {
// Values a reply writer leaves in g_callback_done. Any value but kWritten
// ends the handler with its error reply.
constexpr int kWritten = 1;     // reply written, or the core reported success
constexpr int kFailed = 2;      // the core reported failure; nothing written
constexpr int kNoRecord = 3;    // the reply held no whole record; nothing written

constexpr int kLogParam = 900;
constexpr int64_t kLogImage = 204;      // image settings changed
constexpr int64_t kLogChannel205 = 205;
constexpr int64_t kLogLiveView = 208;
constexpr int64_t kLogPlayback = 209;
constexpr int64_t kLogChannel218 = 218;
constexpr int kLogDetailImage = 107;

constexpr int kMaxImageValue = 255;
constexpr int kImageDefault = 128;
constexpr int kPageChannels = 8;  // channels the live and playback pages offer
constexpr int kMaxChannels = 64;

// The playback session this process opened: set by the playback start
// handlers (or the 8103 reply), reported by the 8502 reply writer.
int32_t g_cur_session_id = -1;
char g_real_play_time[32] = "";
// The channels whose addresses "/4018" answers (bit n for channel n).
uint64_t g_rtsp_channels = ~0ULL;
// Channel of a live stream the core accepted, logged by the handler once
// the exchange is over (the reply thread cannot send).
int g_live_log_channel = -1;

template <typename T>
T record_at(const void* payload, int index) {
  T rec;
  std::memcpy(&rec, static_cast<const char*>(payload) + static_cast<size_t>(index) * sizeof(T), sizeof(T));
  return rec;
}

void write_status(const char* status) {
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "status", status);
  cgi_write_json(obj.get());
}

// ---- Request parsing ------------------------------------------------------------------
bool need_int(json_object* req, const char* key, int* out) {
  return on_cgi_get_int_from_json(req, key, out) == 0;
}

template <size_t N>
bool need_text(json_object* req, const char* key, char (&buf)[N]) {
  return on_cgi_get_string_from_json(req, key, buf, N) == 0;
}

// A required time member: present and a real "%Y-%m-%d %H:%M:%S" time.
template <size_t N>
bool need_time(json_object* req, const char* key, char (&buf)[N], time_t* when = nullptr) {
  time_t t = 0;
  if (!need_text(req, key, buf) || !stream_parse_time(buf, &t)) return false;
  if (when) *when = t;
  return true;
}

bool in_range(int v, int lo, int hi) { return v >= lo && v <= hi; }

// Element i of the array member for i < num (absent elements give 0), at
// most the 64 the records hold. The number taken, or -1 when an element is
// not a number (ids and channels are never read as 0).
int take_int_array(json_object* req, const char* key, int num, int32_t (&out)[kStreamMaxSessions]) {
  int n = num < 0 ? 0 : (num > kStreamMaxSessions ? kStreamMaxSessions : num);
  json_object* arr = json_array_member(req, key);
  size_t len = json_array_size(arr);
  for (int i = 0; i < n; ++i) {
    out[i] = 0;
    if (static_cast<size_t>(i) < len && !json_value_int(json_object_array_get_idx(arr, static_cast<size_t>(i)), &out[i]))
      return -1;
  }
  return n;
}

// "num" and the session ids of "sid" (absent: 0); false for a value that is
// not a number.
bool take_session_list(json_object* req, const char* key, StreamSessionList* list) {
  int num = 0;
  if (!json_plain_int(req, "num", &num)) return false;
  list->count = take_int_array(req, key, num, list->sid);
  return list->count >= 0;
}

// A request text that is a bare decimal number (blanks around it allowed).
bool parse_text_number(const char* text, int* out) { return parse_text_int(text, out); }

bool parse_text_channel(const char* text, int* ch) {
  return parse_text_number(text, ch) && in_range(*ch, 0, kPageChannels - 1);
}

// Channels of the device, 1 to 64.
int device_channel_count() {
  int n = get_param_int(ZRDB_PATH, "max_cameras", 32);
  return n < 1 ? 1 : (n > kMaxChannels ? kMaxChannels : n);
}

// ---- Core daemon ----------------------------------------------------------------------
// One waiting exchange: any outcome but a written reply (no reply, failure,
// empty reply) gets {status:"CGI ERROR"}. The final flag.
int stream_exchange(int req_id, const void* payload, int len) {
  cgi_start_ipc(on_stream_callback, req_id, len, payload, 0);
  int done = g_callback_done.load();
  if (done != kWritten) cgi_error_to_webserver(CGI_KIND_JSON);
  cgi_stop_ipc();
  return done;
}

// Exchange whose reply writer writes nothing (6162, 8103): true when the
// core reported success; otherwise the error reply is written.
bool stream_exchange_quiet(int req_id, const void* payload, int len) {
  return stream_exchange(req_id, payload, len) == kWritten;
}

void log_channel(int64_t sub_type, int channel) { log_operation(sub_type, kLogParam, channel + 1); }

// ---- Reply writers ------------------------------------------------------------------
// 6153
void on_get_play_time_cb(int count, const void* payload) {
  int32_t t = count >= 1 ? record_at<StreamPlayTime>(payload, 0).play_time : 0;
  struct tm tm_local {};
  time_t when = t;
  char text[32];
  if (t > 0 && localtime_r(&when, &tm_local) && std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm_local)) {
    JsonPtr obj(json_object_new_object());
    json_add_text(obj.get(), "status", "OK");
    json_add_text(obj.get(), "curPlayTime", text);
    cgi_write_json(obj.get());
  } else {
    cgi_error_to_webserver(CGI_KIND_JSON);
  }
  g_callback_done = kWritten;
}

// 6159, 6161
void on_record_sections_cb(int count, const void* payload) {
  if (count < 1) {
    write_status("NO MATCHES");
    g_callback_done = kWritten;
    return;
  }
  const StreamSection first = record_at<StreamSection>(payload, 0);
  const StreamSection last = record_at<StreamSection>(payload, count - 1);
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "status", "OK");
  json_add_int(obj.get(), "camId", last.cam_id);
  json_add_int(obj.get(), "sectionNum", count);
  json_add_int(obj.get(), "sid", first.sid);
  json_object* list = json_object_new_array();
  json_object_object_add(obj.get(), "section", list);
  for (int i = 0; i < count; ++i) {
    const StreamSection s = record_at<StreamSection>(payload, i);
    json_object* item = json_object_new_object();
    json_add_text(item, "startTime", field_view(s.start));
    json_add_text(item, "endTime", field_view(s.end));
    json_add_int(item, "recordType", s.record_type);
    json_add_int(item, "lock", s.lock);
    json_object_array_add(list, item);
  }
  cgi_write_json(obj.get());
  g_callback_done = kWritten;
}

// 6162: nothing written; the handler goes on or fails.
void on_start_playback_cb(int count, const void* payload) {
  g_callback_done = count >= 1 && record_at<StreamResult>(payload, 0).result < 0 ? kFailed : kWritten;
}

// 6171
void on_jump_playback_cb(int count, const void* payload) {
  write_status(count >= 1 && record_at<StreamResult>(payload, 0).result == 0 ? "OK" : "ERROR");
  g_callback_done = kWritten;
}

// 6176 (with_status) and 6177
void on_transcoding_cb(int count, const void* payload, bool with_status) {
  if (count < 1) {
    g_callback_done = kNoRecord;
    return;
  }
  const StreamTranscodingState s = record_at<StreamTranscodingState>(payload, 0);
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "ch", s.ch);
  json_add_int(obj.get(), "sid", s.sid);
  json_add_int(obj.get(), "state", s.state);
  if (with_status) json_add_text(obj.get(), "status", "OK");
  cgi_write_json(obj.get());
  g_callback_done = kWritten;
}

// 8002
void on_get_image_params_cb(int count, const void* payload) {
  if (count < 1) {
    g_callback_done = kNoRecord;
    return;
  }
  const StreamImageReply r = record_at<StreamImageReply>(payload, 0);
  if (r.status < 0) {
    write_status("ERROR");
  } else {
    JsonPtr obj(json_object_new_object());
    json_add_text(obj.get(), "status", "OK");
    json_add_int(obj.get(), "brightness", r.brightness);
    json_add_int(obj.get(), "contrast", r.contrast);
    json_add_int(obj.get(), "saturation", r.saturation);
    json_add_int(obj.get(), "Sharpness", r.sharpness);
    json_add_int(obj.get(), "NoiseReduction", r.noise_reduction);
    json_add_int(obj.get(), "i2ddnr", r.i2ddnr);
    json_add_int(obj.get(), "supportLpr", r.support_lpr);
    json_add_int(obj.get(), "isNtPlatform", r.is_nt_platform);
    json_add_int(obj.get(), "isPanoramaStitch", r.is_panorama_stitch);
    cgi_write_json(obj.get());
  }
  g_callback_done = kWritten;
}

// 8103: nothing written. A reply without a record names no session, so it
// counts as a failure like an error reply does.
void on_start_playback_by_mask_cb(int count, const void* payload) {
  if (count < 1) {
    g_callback_done = kFailed;
    return;
  }
  const StreamMaskStartReply r = record_at<StreamMaskStartReply>(payload, 0);
  if (r.error != 0 || r.sid < 0) {
    g_callback_done = kFailed;
    return;
  }
  g_cur_session_id = r.sid;
  copy_field(g_real_play_time, field_view(r.real_play_time));
  g_callback_done = kWritten;
}

// 8500
void on_start_live_cb(int count, const void* payload) {
  if (count < 1) {
    g_callback_done = kNoRecord;
    return;
  }
  const StreamLiveReply r = record_at<StreamLiveReply>(payload, 0);
  if (r.status < 0) {
    write_status("ERROR");
  } else {
    JsonPtr obj(json_object_new_object());
    json_add_text(obj.get(), "status", "OK");
    json_add_int(obj.get(), "port", r.port);
    json_add_int(obj.get(), "direct", r.direct);
    json_add_text(obj.get(), "rtspAddr", field_view(r.rtsp_addr));
    json_add_text(obj.get(), "resPath", field_view(r.res_path));
    cgi_write_json(obj.get());
    g_live_log_channel = in_range(r.id, 0, kMaxChannels - 1) ? r.id : kMaxChannels;
  }
  g_callback_done = kWritten;
}

// 8502
void on_session_info_cb(int count, const void* payload) {
  if (count < 1) {
    g_callback_done = kNoRecord;
    return;
  }
  const StreamSessionInfo r = record_at<StreamSessionInfo>(payload, 0);
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "sessionId", r.sid);
  json_add_text(obj.get(), "sourcePath", field_view(r.source_path));
  json_add_int(obj.get(), "port", r.port);
  json_add_text(obj.get(), "status", "OK");
  json_add_text(obj.get(), "realPlayTime", field_view(g_real_play_time));
  json_add_int(obj.get(), "external_port", r.external_port);
  json_add_int(obj.get(), "external_http_port", r.external_http_port);
  json_add_int(obj.get(), "ddns_port", r.ddns_port);
  json_add_int(obj.get(), "ddns_http_port", r.ddns_http_port);
  cgi_write_json(obj.get());
  g_callback_done = kWritten;
}

// 8503: one record per channel, at most 64. A channel outside the
// account's live view text answers an empty entry in its place; the
// passwords go to administrators only.
void on_get_rtsp_addresses_cb(int count, const void* payload) {
  if (count < 1) {
    g_callback_done = kNoRecord;
    return;
  }
  if (count > kMaxChannels) count = kMaxChannels;
  JsonPtr obj(json_object_new_object());
  json_object* list = json_object_new_array();
  json_object_object_add(obj.get(), "rtspaddr", list);
  for (int i = 0; i < count; ++i) {
    const StreamRtspRecord r =
        ((g_rtsp_channels >> i) & 1ULL) != 0 ? record_at<StreamRtspRecord>(payload, i) : StreamRtspRecord{};
    json_object* item = json_object_new_object();
    json_object* ipc = json_object_new_object();
    json_add_text(ipc, "main", field_view(r.main_url));
    json_add_text(ipc, "sub", field_view(r.sub_url));
    json_object_object_add(item, "ipc", ipc);
    json_object* nvr = json_object_new_object();
    json_add_text(nvr, "mainUsername", field_view(r.main_user));
    json_add_text(nvr, "mainPassword", reply_secret(r.main_password));
    json_add_int(nvr, "mainPort", r.main_ports.port);
    json_add_int(nvr, "mainExternalPort", r.main_ports.external_port);
    json_add_int(nvr, "mainDDNSPort", r.main_ports.ddns_port);
    json_add_text(nvr, "mainResPath", field_view(r.main_res_path));
    json_add_int(nvr, "mainExternalHttpPort", r.main_ports.external_http_port);
    json_add_int(nvr, "mainDDNSHttpPort", r.main_ports.ddns_http_port);
    json_add_text(nvr, "subUsername", field_view(r.sub_user));
    json_add_text(nvr, "subPassword", reply_secret(r.sub_password));
    json_add_int(nvr, "subPort", r.sub_ports.port);
    json_add_int(nvr, "subExternalPort", r.sub_ports.external_port);
    json_add_int(nvr, "subDDNSPort", r.sub_ports.ddns_port);
    json_add_text(nvr, "subResPath", field_view(r.sub_res_path));
    json_add_int(nvr, "subExternalHttpPort", r.sub_ports.external_http_port);
    json_add_int(nvr, "subDDNSHttpPort", r.sub_ports.ddns_http_port);
    json_object_object_add(item, "nvr", nvr);
    json_object_array_add(list, item);
  }
  cgi_write_json(obj.get());
  g_callback_done = kWritten;
}

// 8506
void on_get_extern_ports_cb(int count, const void* payload) {
  if (count < 1) {
    g_callback_done = kNoRecord;
    return;
  }
  const StreamExternPorts r = record_at<StreamExternPorts>(payload, 0);
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "upnp_extern_port", r.upnp_extern_port);
  json_add_int(obj.get(), "ddns_extern_port", r.ddns_extern_port);
  cgi_write_json(obj.get());
  g_callback_done = kWritten;
}

// 9011
void on_get_stream_busy_cb(int count, const void* payload) {
  if (count < 1) {
    g_callback_done = kNoRecord;
    return;
  }
  write_status(record_at<StreamBusy>(payload, 0).busy != 0 ? "BUSY" : "OK");
  g_callback_done = kWritten;
}

// ---- Handlers -----------------------------------------------------------------------------
// Asks for the session info of the current playback session (8502 writes
// the reply), then logs the playback start.
void report_playback_session(int log_chn) {
  int32_t sid = g_cur_session_id;
  stream_exchange(REQ_STREAM_SESSION_INFO, &sid, sizeof sid);
  log_operation(kLogPlayback, kLogParam, log_chn);
}

// "/4000"
void on_search_record_sections(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = 0, sid = 0, stream_type = 0;
  StreamSectionSearch rec{};
  if (!need_int(req.get(), "channelId", &ch) || !need_int(req.get(), "sid", &sid) ||
      !need_int(req.get(), "streamType", &stream_type) || !need_time(req.get(), "time", rec.time) ||
      !need_time(req.get(), "endTime", rec.end_time))
    return;
  const int channels = device_channel_count();
  if (!in_range(ch, 0, channels - 1)) return;

  if (sid >= 0) {
    StreamSessionList close{};
    close.sid[0] = sid;
    close.count = 1;
    notify_core(REQ_STREAM_CLOSE_SESSIONS, &close, sizeof close);
    notify_core_int(REQ_STREAM_STOP_SESSION, sid);
  }
  stream_fill_channel_mask(rec.chn_mask, ch, channels);
  rec.one = 1;
  rec.sub_stream = stream_type == 1 ? 1 : 0;
  rec.any_type = -1;
  rec.any_lock = -1;
  stream_exchange(REQ_STREAM_SEARCH_SECTIONS, &rec, sizeof rec);
}

// "/4001"
void on_start_playback(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  StreamPlaybackStart rec{};
  int ch = 0, sid = 0;
  if (!need_int(req.get(), "channelId", &ch) || !need_time(req.get(), "playTime", rec.play_time) ||
      !need_time(req.get(), "startTime", rec.start_time) || !need_time(req.get(), "endTime", rec.end_time) ||
      !need_int(req.get(), "sid", &sid))
    return;
  if (!in_range(ch, 0, kPageChannels - 1) || sid < 0) return;
  rec.chn = ch;
  rec.sid = sid;
  if (!stream_exchange_quiet(REQ_STREAM_PLAYBACK_START, &rec, sizeof rec)) return;

  g_cur_session_id = sid;
  copy_field(g_real_play_time, field_view(rec.play_time));
  report_playback_session(ch + 1);
}

// "/4002"
void on_get_play_time(char* text) {
  int sid = 0;
  if (!parse_text_number(text, &sid) || sid < 0) return;
  int32_t rec = sid;
  stream_exchange(REQ_STREAM_PLAY_TIME, &rec, sizeof rec);
}

// "/4003"
void on_stop_playback(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  StreamSessionList list{};
  int close = 0;
  if (!json_plain_int(req.get(), "close", &close) || !take_session_list(req.get(), "sid", &list)) return;
  for (int i = 0; i < list.count; ++i) {
    if (list.sid[i] < 0) continue;
    int32_t sid = list.sid[i];
    notify_core(REQ_STREAM_STOP_SESSION, &sid, sizeof sid);
  }
  notify_core(REQ_STREAM_PLAYBACK_STOP, &list, sizeof list);
  if (close == 1) notify_core(REQ_STREAM_CLOSE_SESSIONS, &list, sizeof list);
  cgi_reply_ok();
}

// "/4004", "/4006": a session list from "num" and "sid".
void send_session_list(const char* text, int req_id) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  StreamSessionList list{};
  if (!take_session_list(req.get(), "sid", &list)) return;
  notify_core(req_id, &list, sizeof list);
  cgi_reply_ok();
}

void on_pause_playback(char* text) { send_session_list(text, REQ_STREAM_PAUSE); }

// "/4005"
void on_resume_playback(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  StreamResume rec{};
  if (!json_plain_int(req.get(), "sid", &rec.sid) || !json_plain_int(req.get(), "direction", &rec.direction)) return;
  if (rec.sid < 0) return;
  notify_core(REQ_STREAM_RESUME, &rec, sizeof rec);
  cgi_reply_ok();
}

// "/4006"
void on_step_foward_playback(char* text) { send_session_list(text, REQ_STREAM_STEP_FORWARD); }

// "/4007"
void on_fastforward_playback(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int chind = 0;
  if (!need_int(req.get(), "chind", &chind) || chind < 0) return;
  int num = 0;
  if (!json_plain_int(req.get(), "num", &num)) return;
  StreamSessionList list{};
  list.count = take_int_array(req.get(), "sessionId", num, list.sid);
  if (list.count < 0 || take_int_array(req.get(), "speed", num, list.speed) < 0) return;
  notify_core(REQ_STREAM_FAST_FORWARD, &list, sizeof list);
  cgi_reply_ok();
}

// "/4008", "/4022": a speed record from the named session array.
// check_key: a member that is not an array must be a number, not negative.
void send_speed_record(const char* text, const char* sid_key, bool check_key, int req_id) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int key_value = 0, num = 0;
  if (check_key && !json_array_member(req.get(), sid_key) &&
      (!json_plain_int(req.get(), sid_key, &key_value) || key_value < 0))
    return;
  StreamSpeedRecord rec{};
  if (!json_plain_int(req.get(), "speed", &rec.speed) || !json_plain_int(req.get(), "num", &num)) return;
  rec.count = take_int_array(req.get(), sid_key, num, rec.sid);
  if (rec.count < 0) return;
  rec.single_double = rec.speed == 2 && rec.count == 1 ? 1 : 0;
  notify_core(req_id, &rec, sizeof rec);
  cgi_reply_ok();
}

void on_slowforward_playback(char* text) { send_speed_record(text, "chind", true, REQ_STREAM_SLOW_FORWARD); }

// "/4009"
void on_jump_playback(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  StreamJump rec{};
  int num = 0;
  if (!need_time(req.get(), "jumpTime", rec.jump_time) || !json_array_member(req.get(), "sid") ||
      !json_array_member(req.get(), "chnid") || !need_int(req.get(), "num", &num))
    return;
  if (num < 1) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  rec.count = take_int_array(req.get(), "sid", num, rec.sid);
  if (rec.count < 0 || take_int_array(req.get(), "chnid", num, rec.chn) < 0) return;
  for (int i = 0; i < rec.count; ++i)
    if (!in_range(rec.chn[i], 0, kMaxChannels - 1)) return;
  stream_exchange(REQ_STREAM_JUMP, &rec, sizeof rec);
}

// The live stream record of "/4010" and "/4011"; false when out of range.
bool take_live_stream(json_object* req, StreamLive* rec) {
  if (!json_plain_int(req, "id", &rec->id) || !json_plain_int(req, "streamType", &rec->stream_type) ||
      !json_plain_int(req, "streamFrom", &rec->stream_from))
    return false;
  return in_range(rec->id, 0, kPageChannels - 1) && in_range(rec->stream_type, 0, 1) &&
         in_range(rec->stream_from, 0, 1);
}

// "/4010"
void on_start_live(char* text) {
  JsonPtr req = parse_request(text);
  StreamLive rec{};
  if (!req || !take_live_stream(req.get(), &rec)) return;
  g_live_log_channel = -1;
  if (stream_exchange(REQ_STREAM_START_LIVE, &rec, sizeof rec) != kWritten || g_live_log_channel < 0) return;
  // The reply's channel, or none when the core named no valid channel.
  log_operation(kLogLiveView, kLogParam, g_live_log_channel < kMaxChannels ? g_live_log_channel + 1 : 0);
}

// "/4011"
void on_stop_live(char* text) {
  JsonPtr req = parse_request(text);
  StreamLive rec{};
  if (!req || !take_live_stream(req.get(), &rec)) return;
  rec.stream_from = 0;
  notify_core(REQ_STREAM_STOP_LIVE, &rec, sizeof rec);
  cgi_reply_ok();
}

// "/3000"
void on_get_image_params(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = 0;
  if (!need_int(req.get(), "chnid", &ch) || !in_range(ch, 0, kPageChannels - 1)) return;
  int32_t rec = ch;
  stream_exchange(REQ_STREAM_GET_IMAGE, &rec, sizeof rec);
}

// "/3001"
void on_set_image_params(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  StreamImageParams rec{};
  int ch = 0, b = 0, c = 0, s = 0;
  if (!need_int(req.get(), "brightness", &b) || !need_int(req.get(), "contrast", &c) ||
      !need_int(req.get(), "saturation", &s))
    return;
  if (!json_plain_int(req.get(), "id", &ch) || !json_plain_int(req.get(), "Sharpness", &rec.sharpness) ||
      !json_plain_int(req.get(), "NoiseReduction", &rec.noise_reduction) ||
      !json_plain_int(req.get(), "i2ddnr", &rec.i2ddnr))
    return;
  if (!in_range(ch, 0, kPageChannels - 1) || !in_range(b, 0, kMaxImageValue) || !in_range(c, 0, kMaxImageValue) ||
      !in_range(s, 0, kMaxImageValue))
    return;
  rec.chn = ch;
  rec.brightness = b;
  rec.contrast = c;
  rec.saturation = s;
  notify_core(REQ_STREAM_SET_IMAGE, &rec, sizeof rec);

  // The log detail holds the five values as percent.
  const int32_t percent[5] = {stream_image_percent(rec.brightness), stream_image_percent(rec.contrast),
                              stream_image_percent(rec.saturation), stream_image_percent(rec.sharpness),
                              stream_image_percent(rec.noise_reduction)};
  OperationLogInfo info;
  cgi_init_log_info(&info);
  info.sub_type = kLogImage;
  info.param = kLogParam;
  info.channel = ch + 1;
  zrfs_log_pack_detail(info.detail, sizeof info.detail, kLogDetailImage, percent, sizeof percent);
  notify_core(REQ_OPERATION_LOG, &info, sizeof info);
  cgi_reply_ok();
}

// "/3002"
void on_reset_image_params(char* text) {
  int ch = 0;
  if (!parse_text_channel(text, &ch)) return;
  StreamImageParams rec{};
  rec.chn = ch;
  rec.brightness = rec.contrast = rec.saturation = rec.sharpness = rec.noise_reduction = kImageDefault;
  notify_core(REQ_STREAM_SET_IMAGE, &rec, sizeof rec);
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "ChannelId", ch);
  json_add_int(obj.get(), "Brightness", kImageDefault);
  json_add_int(obj.get(), "Contrast", kImageDefault);
  json_add_int(obj.get(), "Saturation", kImageDefault);
  json_add_int(obj.get(), "Sharpness", kImageDefault);
  json_add_int(obj.get(), "NoiseReduction", kImageDefault);
  cgi_write_json(obj.get());
}

// "/4012"
void on_stop_all_live(char*) {
  notify_core(REQ_STREAM_STOP_ALL_LIVE, nullptr, 0);
  cgi_reply_ok();
}

// "/4014", "/4017", "/4024": log one channel of the page.
void log_page_channel(const char* text, int64_t sub_type) {
  int ch = 0;
  if (!parse_text_channel(text, &ch)) return;
  log_channel(sub_type, ch);
  cgi_reply_ok();
}

void on_log_channel_205(char* text) { log_page_channel(text, kLogChannel205); }

// "/4015", "/4016": only check the channel.
void on_check_channel_a(char* text) {
  int ch = 0;
  if (parse_text_channel(text, &ch)) cgi_reply_ok();
}

void on_check_channel_b(char* text) { on_check_channel_a(text); }

void on_log_channel_218(char* text) { log_page_channel(text, kLogChannel218); }

// "/4018": the account's channels are read before the exchange, so that
// the reply writer only looks them up.
void on_get_rtsp_addresses(char*) {
  g_rtsp_channels = session_channel_mask(CHANNEL_USE_REMOTE_LIVE);
  stream_exchange(REQ_STREAM_RTSP_ADDRESSES, nullptr, 0);
}

// "/4020"
void on_start_playback_by_mask(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  StreamPlaybackByMask rec{};
  time_t when = 0;
  if (!need_time(req.get(), "playTime", rec.play_time, &when) || when < 0 || when > INT32_MAX) return;
  for (int i = 0; i < 8; ++i) {
    char key[8];
    std::snprintf(key, sizeof key, "mask%d", i);
    int m = 0;
    if (!need_int(req.get(), key, &m)) return;
    rec.mask[i] = m;
  }
  rec.play_secs = static_cast<int32_t>(when);
  if (!stream_exchange_quiet(REQ_STREAM_PLAYBACK_BY_MASK, &rec, sizeof rec)) return;
  report_playback_session(0);
}

// "/3003": the count field stays 0; the list holds the array's ids.
void on_step_playback_batch(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  StreamSessionList list{};
  take_int_array(req.get(), "sessionId", static_cast<int>(json_array_size(json_array_member(req.get(), "sessionId"))),
                 list.sid);
  notify_core(REQ_STREAM_STEP_BATCH, &list, sizeof list);
  cgi_reply_ok();
}

// "/4022"
void on_set_speed_playback(char* text) { send_speed_record(text, "sid", false, REQ_STREAM_SET_SPEED); }

// "/4023"
void on_get_record_section_page(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  StreamSectionPage rec{};
  if (!json_plain_int(req.get(), "sid", &rec.sid) || !json_plain_int(req.get(), "page", &rec.page)) return;
  if (rec.sid < 0 || rec.page < 0) return;
  stream_exchange(REQ_STREAM_SECTION_PAGE, &rec, sizeof rec);
}

// "/4021"
void on_get_extern_ports(char*) { stream_exchange(REQ_STREAM_EXTERN_PORTS, nullptr, 0); }

void on_log_live_view(char* text) { log_page_channel(text, kLogLiveView); }

// "/4025"
void on_set_playback_transcoding(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  StreamTranscoding rec{};
  if (!json_plain_int(req.get(), "ch", &rec.ch) || !json_plain_int(req.get(), "sid", &rec.sid) ||
      !json_plain_int(req.get(), "trancodingmode", &rec.mode) ||
      !json_plain_int(req.get(), "framesize", &rec.framesize) || !json_plain_int(req.get(), "bitrate", &rec.bitrate) ||
      !json_plain_int(req.get(), "framerate", &rec.framerate))
    return;
  if (!in_range(rec.ch, 0, kMaxChannels - 1) || rec.sid < 0) return;
  stream_exchange(REQ_STREAM_SET_TRANSCODING, &rec, sizeof rec);
}

// "/4026"
void on_get_transcoding_state(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  StreamTranscodingQuery rec{};
  if (!json_plain_int(req.get(), "ch", &rec.ch) || !json_plain_int(req.get(), "sid", &rec.sid)) return;
  if (!in_range(rec.ch, 0, kMaxChannels - 1) || rec.sid < 0) return;
  stream_exchange(REQ_STREAM_TRANSCODING_STATE, &rec, sizeof rec);
}

// "/3004"
void on_get_stream_busy(char*) { stream_exchange(REQ_STREAM_BUSY, nullptr, 0); }

// The table, in the order of the live and playback pages' names; the
// recording download's names ("/4013", "/4019", "/4027", in
// stream_download.cpp) among them.
const WebRes kTable[] = {
    {"/4000", on_search_record_sections},
    {"/4001", on_start_playback},
    {"/4002", on_get_play_time},
    {"/4003", on_stop_playback},
    {"/4004", on_pause_playback},
    {"/4005", on_resume_playback},
    {"/4006", on_step_foward_playback},
    {"/4007", on_fastforward_playback},
    {"/4008", on_slowforward_playback},
    {"/4009", on_jump_playback},
    {"/4010", on_start_live},
    {"/4011", on_stop_live},
    {"/3000", on_get_image_params},
    {"/3001", on_set_image_params},
    {"/3002", on_reset_image_params},
    {"/4012", on_stop_all_live},
    {"/4013", on_download_record},
    {"/4014", on_log_channel_205},
    {"/4015", on_check_channel_a},
    {"/4016", on_check_channel_b},
    {"/4017", on_log_channel_218},
    {"/4018", on_get_rtsp_addresses},
    {"/4019", on_get_download_state},
    {"/4020", on_start_playback_by_mask},
    {"/3003", on_step_playback_batch},
    {"/4022", on_set_speed_playback},
    {"/4023", on_get_record_section_page},
    {"/4021", on_get_extern_ports},
    {"/4024", on_log_live_view},
    {"/4027", on_clear_download},
    {"/4025", on_set_playback_transcoding},
    {"/4026", on_get_transcoding_state},
    {"/3004", on_get_stream_busy},
};
}  // namespace

// ---- Pure helpers -------------------------------------------------------------------------
namespace {
// A time text of exactly the form "YYYY-MM-DD<sep>HH:MM:SS<tail>" naming a
// real calendar time, read as local time.
bool parse_time_form(const char* text, char sep, const char* tail, time_t* out, struct tm* fields) {
  const size_t tail_len = std::strlen(tail);
  if (!text || std::strlen(text) != 19 + tail_len || std::strcmp(text + 19, tail) != 0) return false;
  for (int i = 0; i < 19; ++i) {
    const char want = i == 4 || i == 7 ? '-' : i == 10 ? sep : i == 13 || i == 16 ? ':' : '0';
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (want == '0' ? !std::isdigit(c) : c != static_cast<unsigned char>(want)) return false;
  }
  char core[20];
  std::memcpy(core, text, 19);
  core[10] = ' ';
  core[19] = '\0';
  struct tm tm_in {};
  const char* end = strptime(core, "%Y-%m-%d %H:%M:%S", &tm_in);
  if (!end || *end) return false;
  // A calendar date that really exists: timegm keeps every field of one.
  struct tm check = tm_in;
  const time_t utc = timegm(&check);
  if (utc == static_cast<time_t>(-1) || check.tm_year != tm_in.tm_year || check.tm_mon != tm_in.tm_mon ||
      check.tm_mday != tm_in.tm_mday || check.tm_hour != tm_in.tm_hour || check.tm_min != tm_in.tm_min ||
      check.tm_sec != tm_in.tm_sec)
    return false;
  struct tm local = tm_in;
  local.tm_isdst = -1;
  const time_t t = mktime(&local);
  if (t == static_cast<time_t>(-1)) return false;
  if (out) *out = t;
  if (fields) *fields = local;
  return true;
}
}  // namespace

bool stream_parse_time(const char* text, time_t* out) { return parse_time_form(text, ' ', "", out, nullptr); }

bool stream_parse_iso_time(const char* text, time_t* out, struct tm* fields) {
  return parse_time_form(text, 'T', "Z", out, fields);
}

void stream_download_file_name(int channel, const struct tm& start, time_t start_secs, const struct tm& end,
                               time_t end_secs, char (&name)[128]) {
  auto stamp = [](const struct tm& t, time_t secs, char (&out)[64]) {
    std::snprintf(out, sizeof out, "%d_%d_%d_%d_%d_%d_%lld", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec, static_cast<long long>(secs));
  };
  char a[64], b[64];
  stamp(start, start_secs, a);
  stamp(end, end_secs, b);
  const int ch = channel >= 0 && channel < kMaxChannels ? channel : 0;
  char full[192];
  std::snprintf(full, sizeof full, "%lluDDD%s-%s_%d.avi", static_cast<unsigned long long>(1ULL << ch), a, b, ch);
  copy_text(name, sizeof name, full);
}

int stream_image_percent(int value) {
  // floor((value * 100 + 127.5) / 255) in integers, right for negatives too.
  const long long num = static_cast<long long>(value) * 200 + 255;
  const long long den = 510;
  long long q = num / den;
  if (num % den != 0 && num < 0) --q;
  return static_cast<int>(q);
}

void stream_fill_channel_mask(char (&mask)[68], int channel, int channel_count) {
  std::memset(mask, 0, sizeof mask);
  if (channel_count > kMaxChannels) channel_count = kMaxChannels;
  for (int i = 0; i < channel_count; ++i) mask[i] = i == channel ? '1' : '0';
}

// ---- Reply dispatcher -------------------------------------------------------------------
void on_stream_callback(void* /*ctx*/, void* header, void* payload) {
  if (!header || !payload) return;
  switch (cgi_reply_type(header)) {
    case REQ_STREAM_PLAY_TIME + 5000:
      on_get_play_time_cb(cgi_reply_count(header, sizeof(StreamPlayTime)), payload);
      break;
    case REQ_STREAM_SEARCH_SECTIONS + 5000:
    case REQ_STREAM_SECTION_PAGE + 5000:
      on_record_sections_cb(cgi_reply_count(header, sizeof(StreamSection)), payload);
      break;
    case REQ_STREAM_PLAYBACK_START + 5000:
      on_start_playback_cb(cgi_reply_count(header, sizeof(StreamResult)), payload);
      break;
    case REQ_STREAM_JUMP + 5000:
      on_jump_playback_cb(cgi_reply_count(header, sizeof(StreamResult)), payload);
      break;
    case REQ_STREAM_SET_TRANSCODING + 5000:
      on_transcoding_cb(cgi_reply_count(header, sizeof(StreamTranscodingState)), payload, true);
      break;
    case REQ_STREAM_TRANSCODING_STATE + 5000:
      on_transcoding_cb(cgi_reply_count(header, sizeof(StreamTranscodingState)), payload, false);
      break;
    case REQ_STREAM_GET_IMAGE + 5000:
      on_get_image_params_cb(cgi_reply_count(header, sizeof(StreamImageReply)), payload);
      break;
    case REPLY_STREAM_PLAYBACK_BY_MASK:
      on_start_playback_by_mask_cb(cgi_reply_count(header, sizeof(StreamMaskStartReply)), payload);
      break;
    case REQ_STREAM_START_LIVE + 5000:
      on_start_live_cb(cgi_reply_count(header, sizeof(StreamLiveReply)), payload);
      break;
    case REQ_STREAM_SESSION_INFO + 5000:
      on_session_info_cb(cgi_reply_count(header, sizeof(StreamSessionInfo)), payload);
      break;
    case REQ_STREAM_RTSP_ADDRESSES + 5000:
      on_get_rtsp_addresses_cb(cgi_reply_count(header, sizeof(StreamRtspRecord)), payload);
      break;
    case REQ_STREAM_EXTERN_PORTS + 5000:
      on_get_extern_ports_cb(cgi_reply_count(header, sizeof(StreamExternPorts)), payload);
      break;
    case REQ_STREAM_BUSY + 5000:
      on_get_stream_busy_cb(cgi_reply_count(header, sizeof(StreamBusy)), payload);
      break;
    case REPLY_STREAM_DOWNLOAD_DATA:
      on_get_download_playtime_cb(payload, cgi_reply_length(header));
      break;
    default:
      break;
  }
}

NVR_DEFINE_MODULE(stream, kTable)
