// zrcore-sim, live view and playback: keeps live streams, section searches
// and playback sessions across requests, so a browser (or curl) can search a
// day of recordings, open a playback session, pause, step, change speed,
// jump and close it, and ask for stream ports and addresses.
//
// Recorder times ("%Y-%m-%d %H:%M:%S") are read and written as UTC here.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/strutil.h"
#include "handlers/stream.h"
#include "tools/zrcore_sim.h"

namespace {
constexpr char kAddress[] = "192.168.1.100";
constexpr int32_t kRtspPort = 554;
constexpr int32_t kExternalPort = 10554;
constexpr int32_t kExternalHttpPort = 10080;
constexpr int32_t kDdnsPort = 20554;
constexpr int32_t kDdnsHttpPort = 20080;
constexpr int kSimChannels = 8;          // cameras of the simulated recorder
constexpr int kMaxLiveStreams = 16;      // busy from here on
constexpr int kSectionsPerPage = 16;
constexpr int kMaxSearchDays = 31;
constexpr int64_t kFrameMs = 40;         // one step: one frame at 25 fps
constexpr int32_t kFirstSessionId = 100;  // ids the sim hands out

struct Playback {
  int32_t chn = 0;
  int64_t pos_ms = 0;    // position in the recording, Unix time in ms
  int64_t since_ms = 0;  // wall clock of pos_ms
  bool paused = false;
  bool backward = false;
  double rate = 1.0;
};

std::map<int32_t, Playback> g_playback;
std::map<int32_t, std::vector<StreamSection>> g_searches;
std::set<std::pair<int32_t, int32_t>> g_live;  // (channel, stream type)
std::map<int32_t, StreamImageParams> g_images;
std::map<std::pair<int32_t, int32_t>, int32_t> g_transcoding;  // (ch, sid) -> state
int32_t g_next_sid = kFirstSessionId;

int64_t wall_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// "%Y-%m-%d %H:%M:%S" of a fixed field, as UTC seconds; false when it is not one.
template <size_t N>
bool field_time(const char (&field)[N], time_t* out) {
  char text[N + 1];
  copy_text(text, sizeof text, field_view(field));
  struct tm tm_in {};
  const char* end = strptime(text, "%Y-%m-%d %H:%M:%S", &tm_in);
  if (!end || *end) return false;
  *out = timegm(&tm_in);
  return *out != static_cast<time_t>(-1);
}

template <size_t N>
void time_field(char (&field)[N], time_t t) {
  struct tm tm_out {};
  gmtime_r(&t, &tm_out);
  std::strftime(field, N, "%Y-%m-%d %H:%M:%S", &tm_out);
}

int64_t position(const Playback& p, int64_t now) {
  if (p.paused) return p.pos_ms;
  const double moved = static_cast<double>(now - p.since_ms) * p.rate;
  return p.pos_ms + static_cast<int64_t>(p.backward ? -moved : moved);
}

// Folds the time played so far into the position.
void settle(Playback* p) {
  const int64_t now = wall_ms();
  p->pos_ms = position(*p, now);
  p->since_ms = now;
}

Playback* find_playback(int32_t sid) {
  auto it = g_playback.find(sid);
  return it == g_playback.end() ? nullptr : &it->second;
}

int list_count(int32_t count) {
  return count < 0 ? 0 : (count > kStreamMaxSessions ? kStreamMaxSessions : count);
}

// One recorded day: continuous recording with a few motion and alarm events.
struct DaySection {
  int from, to;  // seconds after midnight, inclusive
  int32_t type;  // 0 continuous, 1 motion, 2 alarm
  int32_t lock;
};
const DaySection kDay[] = {
    {0, 8 * 3600 - 1, 0, 0},
    {8 * 3600, 8 * 3600 + 15 * 60 - 1, 1, 0},
    {8 * 3600 + 15 * 60, 12 * 3600 + 30 * 60 - 1, 0, 0},
    {12 * 3600 + 30 * 60, 12 * 3600 + 45 * 60 - 1, 2, 1},
    {12 * 3600 + 45 * 60, 18 * 3600 - 1, 0, 0},
    {18 * 3600, 18 * 3600 + 5 * 60 - 1, 1, 0},
    {18 * 3600 + 5 * 60, 24 * 3600 - 1, 0, 0},
};

std::vector<StreamSection> day_sections(int32_t chn, int32_t sid, time_t from, time_t to) {
  std::vector<StreamSection> out;
  if (to < from) return out;
  const time_t first_day = from - from % 86400;
  for (int d = 0; d < kMaxSearchDays; ++d) {
    const time_t day = first_day + static_cast<time_t>(d) * 86400;
    if (day > to) break;
    for (const DaySection& s : kDay) {
      time_t a = day + s.from, b = day + s.to;
      if (b < from || a > to) continue;
      if (a < from) a = from;
      if (b > to) b = to;
      StreamSection rec{};
      rec.cam_id = chn;
      rec.sid = sid;
      rec.lock = s.lock;
      rec.record_type = s.type;
      time_field(rec.start, a);
      time_field(rec.end, b);
      out.push_back(rec);
    }
  }
  return out;
}

Bytes section_page(const std::vector<StreamSection>& all, int page) {
  Bytes out;
  if (page < 0) return out;
  const size_t first = static_cast<size_t>(page) * kSectionsPerPage;
  for (size_t i = first; i < all.size() && i < first + kSectionsPerPage; ++i) sim_append(&out, all[i]);
  return out;
}

// ---- Searches -------------------------------------------------------------------------
void on_search_sections(int id, const Bytes& payload, std::vector<SimReply>* replies) {
  const StreamSectionSearch rec = sim_read<StreamSectionSearch>(payload);
  int chn = -1;
  for (int i = 0; i < kStreamMaxSessions; ++i)
    if (rec.chn_mask[i] == '1') {
      chn = i;
      break;
    }
  time_t from = 0, to = 0;
  if (chn < 0 || chn >= kSimChannels || !field_time(rec.time, &from) || !field_time(rec.end_time, &to)) {
    sim_reply(replies, id, Bytes());
    return;
  }
  const int32_t sid = g_next_sid++;
  std::vector<StreamSection> all = day_sections(chn, sid, from, to);
  if (all.empty()) {
    sim_reply(replies, id, Bytes());
    return;
  }
  sim_reply(replies, id, section_page(all, 0));
  g_searches[sid] = std::move(all);
}

void on_section_page(int id, const Bytes& payload, std::vector<SimReply>* replies) {
  const StreamSectionPage rec = sim_read<StreamSectionPage>(payload);
  auto it = g_searches.find(rec.sid);
  sim_reply(replies, id, it == g_searches.end() ? Bytes() : section_page(it->second, rec.page));
}

// ---- Playback sessions ------------------------------------------------------------------
void on_close_sessions(int, const Bytes& payload, std::vector<SimReply>*) {
  const StreamSessionList list = sim_read<StreamSessionList>(payload);
  for (int i = 0; i < list_count(list.count); ++i) {
    g_searches.erase(list.sid[i]);
    g_playback.erase(list.sid[i]);
  }
}

void on_stop_session(int, const Bytes& payload, std::vector<SimReply>*) {
  g_playback.erase(sim_read<int32_t>(payload));
}

void on_playback_start(int id, const Bytes& payload, std::vector<SimReply>* replies) {
  const StreamPlaybackStart rec = sim_read<StreamPlaybackStart>(payload);
  time_t at = 0;
  if (rec.chn < 0 || rec.chn >= kSimChannels || rec.sid < 0 || !field_time(rec.play_time, &at)) {
    sim_reply_status(replies, id, -1);
    return;
  }
  Playback p;
  p.chn = rec.chn;
  p.pos_ms = static_cast<int64_t>(at) * 1000;
  p.since_ms = wall_ms();
  g_playback[rec.sid] = p;
  sim_reply_status(replies, id, 0);
}

void on_playback_by_mask(int, const Bytes& payload, std::vector<SimReply>* replies) {
  const StreamPlaybackByMask rec = sim_read<StreamPlaybackByMask>(payload);
  StreamMaskStartReply r{};
  int chn = -1;
  for (int i = 0; i < 8 && chn < 0; ++i)
    for (int b = 0; b < 32; ++b)
      if ((static_cast<uint32_t>(rec.mask[i]) >> b) & 1u) {
        chn = i * 32 + b;
        break;
      }
  if (chn < 0 || chn >= kSimChannels || rec.play_secs <= 0) {
    r.sid = -1;
    r.error = 1;
  } else {
    r.sid = g_next_sid++;
    Playback p;
    p.chn = chn;
    p.pos_ms = static_cast<int64_t>(rec.play_secs) * 1000;
    p.since_ms = wall_ms();
    g_playback[r.sid] = p;
    copy_field(r.real_play_time, field_view(rec.play_time));
  }
  SimReply reply;
  reply.type = REPLY_STREAM_PLAYBACK_BY_MASK;
  reply.payload = sim_bytes(r);
  replies->push_back(std::move(reply));
}

void on_session_info(int id, const Bytes& payload, std::vector<SimReply>* replies) {
  const int32_t sid = sim_read<int32_t>(payload);
  const Playback* p = find_playback(sid);
  if (!p) {
    sim_reply(replies, id, Bytes());
    return;
  }
  StreamSessionInfo r{};
  r.sid = sid;
  r.port = kRtspPort;
  r.external_port = kExternalPort;
  r.external_http_port = kExternalHttpPort;
  r.ddns_port = kDdnsPort;
  r.ddns_http_port = kDdnsHttpPort;
  copy_field(r.source_path, string_printf("/playback/ch%02d/session%d", p->chn + 1, sid));
  sim_reply(replies, id, sim_bytes(r));
}

void on_play_time(int id, const Bytes& payload, std::vector<SimReply>* replies) {
  const Playback* p = find_playback(sim_read<int32_t>(payload));
  StreamPlayTime r{};
  r.play_time = p ? static_cast<int32_t>(position(*p, wall_ms()) / 1000) : 0;
  sim_reply(replies, id, sim_bytes(r));
}

void on_playback_stop(int, const Bytes& payload, std::vector<SimReply>*) {
  const StreamSessionList list = sim_read<StreamSessionList>(payload);
  for (int i = 0; i < list_count(list.count); ++i) g_playback.erase(list.sid[i]);
}

void on_pause(int, const Bytes& payload, std::vector<SimReply>*) {
  const StreamSessionList list = sim_read<StreamSessionList>(payload);
  for (int i = 0; i < list_count(list.count); ++i)
    if (Playback* p = find_playback(list.sid[i])) {
      settle(p);
      p->paused = true;
    }
}

void on_resume(int, const Bytes& payload, std::vector<SimReply>*) {
  const StreamResume rec = sim_read<StreamResume>(payload);
  if (Playback* p = find_playback(rec.sid)) {
    settle(p);
    p->paused = false;
    p->backward = rec.direction != 0;
  }
}

void step(Playback* p) {
  settle(p);
  p->paused = true;
  p->pos_ms += p->backward ? -kFrameMs : kFrameMs;
}

void on_step_forward(int, const Bytes& payload, std::vector<SimReply>*) {
  const StreamSessionList list = sim_read<StreamSessionList>(payload);
  for (int i = 0; i < list_count(list.count); ++i)
    if (Playback* p = find_playback(list.sid[i])) step(p);
}

// The batch step carries no count: every listed id that names a session.
void on_step_batch(int, const Bytes& payload, std::vector<SimReply>*) {
  const StreamSessionList list = sim_read<StreamSessionList>(payload);
  std::set<int32_t> seen;
  for (int i = 0; i < kStreamMaxSessions; ++i)
    if (seen.insert(list.sid[i]).second)
      if (Playback* p = find_playback(list.sid[i])) step(p);
}

void set_rate(int32_t sid, double rate) {
  if (Playback* p = find_playback(sid)) {
    settle(p);
    p->rate = rate;
    p->paused = false;
  }
}

void on_fast_forward(int, const Bytes& payload, std::vector<SimReply>*) {
  const StreamSessionList list = sim_read<StreamSessionList>(payload);
  for (int i = 0; i < list_count(list.count); ++i)
    if (list.speed[i] >= 1) set_rate(list.sid[i], list.speed[i]);
}

void on_slow_forward(int, const Bytes& payload, std::vector<SimReply>*) {
  const StreamSpeedRecord rec = sim_read<StreamSpeedRecord>(payload);
  if (rec.speed < 1) return;
  for (int i = 0; i < list_count(rec.count); ++i) set_rate(rec.sid[i], 1.0 / rec.speed);
}

void on_set_speed(int, const Bytes& payload, std::vector<SimReply>*) {
  const StreamSpeedRecord rec = sim_read<StreamSpeedRecord>(payload);
  if (rec.speed < 1) return;
  for (int i = 0; i < list_count(rec.count); ++i) set_rate(rec.sid[i], rec.speed);
}

void on_jump(int id, const Bytes& payload, std::vector<SimReply>* replies) {
  const StreamJump rec = sim_read<StreamJump>(payload);
  time_t at = 0;
  int moved = 0;
  if (field_time(rec.jump_time, &at)) {
    for (int i = 0; i < list_count(rec.count); ++i)
      if (Playback* p = find_playback(rec.sid[i])) {
        settle(p);
        p->pos_ms = static_cast<int64_t>(at) * 1000;
        ++moved;
      }
  }
  sim_reply_status(replies, id, moved > 0 ? 0 : -1);
}

void on_set_transcoding(int id, const Bytes& payload, std::vector<SimReply>* replies) {
  const StreamTranscoding rec = sim_read<StreamTranscoding>(payload);
  StreamTranscodingState r{rec.ch, rec.sid, find_playback(rec.sid) ? 1 : 0};
  if (r.state) g_transcoding[{rec.ch, rec.sid}] = r.state;
  sim_reply(replies, id, sim_bytes(r));
}

void on_transcoding_state(int id, const Bytes& payload, std::vector<SimReply>* replies) {
  const StreamTranscodingQuery rec = sim_read<StreamTranscodingQuery>(payload);
  auto it = g_transcoding.find({rec.ch, rec.sid});
  StreamTranscodingState r{rec.ch, rec.sid, it == g_transcoding.end() ? 0 : it->second};
  sim_reply(replies, id, sim_bytes(r));
}

// ---- Live view --------------------------------------------------------------------------
const char* stream_name(int32_t type) { return type == 1 ? "sub" : "main"; }

void on_start_live(int id, const Bytes& payload, std::vector<SimReply>* replies) {
  const StreamLive rec = sim_read<StreamLive>(payload);
  StreamLiveReply r{};
  r.id = rec.id;
  r.port = kRtspPort;
  if (rec.id < 0 || rec.id >= kSimChannels || rec.stream_type < 0 || rec.stream_type > 1 ||
      (static_cast<int>(g_live.size()) >= kMaxLiveStreams && !g_live.count({rec.id, rec.stream_type}))) {
    r.status = -1;
  } else {
    g_live.insert({rec.id, rec.stream_type});
    copy_field(r.rtsp_addr, string_printf("rtsp://%s:%d/ch%02d/%s", kAddress, kRtspPort, rec.id + 1,
                                          stream_name(rec.stream_type)));
    copy_field(r.res_path, string_printf("/ch%02d/%s", rec.id + 1, stream_name(rec.stream_type)));
  }
  sim_reply(replies, id, sim_bytes(r));
}

void on_stop_live(int, const Bytes& payload, std::vector<SimReply>*) {
  const StreamLive rec = sim_read<StreamLive>(payload);
  g_live.erase({rec.id, rec.stream_type});
}

void on_stop_all_live(int, const Bytes&, std::vector<SimReply>*) { g_live.clear(); }

void on_stream_busy(int id, const Bytes&, std::vector<SimReply>* replies) {
  StreamBusy r{static_cast<int>(g_live.size()) >= kMaxLiveStreams ? 1 : 0};
  sim_reply(replies, id, sim_bytes(r));
}

void fill_ports(StreamRtspPorts* p) {
  p->port = kRtspPort;
  p->external_port = kExternalPort;
  p->ddns_port = kDdnsPort;
  p->external_http_port = kExternalHttpPort;
  p->ddns_http_port = kDdnsHttpPort;
}

void on_rtsp_addresses(int id, const Bytes&, std::vector<SimReply>* replies) {
  Bytes out;
  for (int ch = 0; ch < kSimChannels; ++ch) {
    StreamRtspRecord r{};
    copy_field(r.main_url, string_printf("rtsp://%s:%d/ch%02d/main", kAddress, kRtspPort, ch + 1));
    copy_field(r.sub_url, string_printf("rtsp://%s:%d/ch%02d/sub", kAddress, kRtspPort, ch + 1));
    fill_ports(&r.main_ports);
    fill_ports(&r.sub_ports);
    copy_field(r.main_user, "admin");
    copy_field(r.sub_user, "admin");
    copy_field(r.main_res_path, string_printf("/ch%02d/main", ch + 1));
    copy_field(r.sub_res_path, string_printf("/ch%02d/sub", ch + 1));
    sim_append(&out, r);
  }
  sim_reply(replies, id, out);
}

void on_extern_ports(int id, const Bytes&, std::vector<SimReply>* replies) {
  sim_reply(replies, id, sim_bytes(StreamExternPorts{kExternalPort, kDdnsPort}));
}

// ---- Image parameters ----------------------------------------------------------------------
void on_get_image(int id, const Bytes& payload, std::vector<SimReply>* replies) {
  const int32_t chn = sim_read<int32_t>(payload);
  StreamImageReply r{};
  if (chn < 0 || chn >= kSimChannels) {
    r.status = -1;
  } else {
    auto it = g_images.find(chn);
    const StreamImageParams p = it != g_images.end() ? it->second : StreamImageParams{chn, 128, 128, 128, 128, 128, 0};
    r.brightness = p.brightness;
    r.contrast = p.contrast;
    r.saturation = p.saturation;
    r.sharpness = p.sharpness;
    r.noise_reduction = p.noise_reduction;
    r.i2ddnr = p.i2ddnr;
  }
  sim_reply(replies, id, sim_bytes(r));
}

void on_set_image(int, const Bytes& payload, std::vector<SimReply>*) {
  const StreamImageParams rec = sim_read<StreamImageParams>(payload);
  if (rec.chn >= 0 && rec.chn < kSimChannels) g_images[rec.chn] = rec;
}

const SimRow kRows[] = {
    {REQ_STREAM_SEARCH_SECTIONS, on_search_sections},
    {REQ_STREAM_SECTION_PAGE, on_section_page},
    {REQ_STREAM_CLOSE_SESSIONS, on_close_sessions},
    {REQ_STREAM_STOP_SESSION, on_stop_session},
    {REQ_STREAM_PLAYBACK_START, on_playback_start},
    {REQ_STREAM_PLAYBACK_BY_MASK, on_playback_by_mask},
    {REQ_STREAM_SESSION_INFO, on_session_info},
    {REQ_STREAM_PLAY_TIME, on_play_time},
    {REQ_STREAM_PLAYBACK_STOP, on_playback_stop},
    {REQ_STREAM_PAUSE, on_pause},
    {REQ_STREAM_RESUME, on_resume},
    {REQ_STREAM_STEP_FORWARD, on_step_forward},
    {REQ_STREAM_STEP_BATCH, on_step_batch},
    {REQ_STREAM_FAST_FORWARD, on_fast_forward},
    {REQ_STREAM_SLOW_FORWARD, on_slow_forward},
    {REQ_STREAM_SET_SPEED, on_set_speed},
    {REQ_STREAM_JUMP, on_jump},
    {REQ_STREAM_SET_TRANSCODING, on_set_transcoding},
    {REQ_STREAM_TRANSCODING_STATE, on_transcoding_state},
    {REQ_STREAM_START_LIVE, on_start_live},
    {REQ_STREAM_STOP_LIVE, on_stop_live},
    {REQ_STREAM_STOP_ALL_LIVE, on_stop_all_live},
    {REQ_STREAM_BUSY, on_stream_busy},
    {REQ_STREAM_RTSP_ADDRESSES, on_rtsp_addresses},
    {REQ_STREAM_EXTERN_PORTS, on_extern_ports},
    {REQ_STREAM_GET_IMAGE, on_get_image},
    {REQ_STREAM_SET_IMAGE, on_set_image},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);
}  // namespace
