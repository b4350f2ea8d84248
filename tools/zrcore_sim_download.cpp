// zrcore-sim, recording download: answers request 1173 with a recording of
// real frames (raw BGR pictures, a moving gradient) as data replies 6173,
// each frame cut into chunks of at most 614400 bytes, then the end (-1).
// While it sends, the download marker "/tmp/pbdownload" exists.
//
// The recording is scripted by the file <root>/var/run/zrcore-sim/recording,
// "key=value" lines (all optional):
//   frames=N        frames to send (default: 5 per second of the asked range, at most 50)
//   width=W height=H  picture size (default 640x480: two chunks per frame)
//   codec=N         codec number in the frame headers (default raw BGR)
//   fps=F           frame rate written into the frame headers (default 25)
//   interval_ms=M   pause before each frame (default 0)
//   end=end|interrupt|none  the last reply: -1, -2 or nothing (default end)
//   audio_every=K   an audio frame after every K video frames (default 0: none),
//                   a tone covering those K pictures
//   audio=alaw|ulaw|pcm  its sample format (default alaw)
//   audio_rate=R audio_channels=C  (default 8000 and 1)
//   marker=0        do not create the download marker
// Once everything is sent it writes <root>/var/run/zrcore-sim/recording.sent.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/paths.h"
#include "handlers/stream.h"
#include "tools/zrcore_sim.h"

namespace {
constexpr char kScriptPath[] = "/var/run/zrcore-sim/recording";
constexpr char kSentPath[] = "/var/run/zrcore-sim/recording.sent";
constexpr int kDefaultPerSecond = 5;
constexpr int kDefaultMaxFrames = 50;

struct Recording {
  long long frames = -1;
  int width = 640;
  int height = 480;
  int fps = 25;
  int codec = ZR_AVI_CODEC_BGR24;
  int interval_ms = 0;
  std::string end = "end";
  int audio_every = 0;
  std::string audio = "alaw";
  int audio_rate = 8000;
  int audio_channels = 1;
  bool marker = true;
};

Recording load_recording() {
  Recording r;
  std::ifstream in(nvr_path(kScriptPath));
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), val = line.substr(eq + 1);
    const long long n = std::atoll(val.c_str());
    if (key == "frames") r.frames = n;
    else if (key == "width") r.width = static_cast<int>(n);
    else if (key == "height") r.height = static_cast<int>(n);
    else if (key == "codec") r.codec = static_cast<int>(n);
    else if (key == "fps") r.fps = static_cast<int>(n);
    else if (key == "interval_ms") r.interval_ms = static_cast<int>(n);
    else if (key == "end") r.end = val;
    else if (key == "audio_every") r.audio_every = static_cast<int>(n);
    else if (key == "audio") r.audio = val;
    else if (key == "audio_rate") r.audio_rate = static_cast<int>(n);
    else if (key == "audio_channels") r.audio_channels = static_cast<int>(n);
    else if (key == "marker") r.marker = n != 0;
  }
  return r;
}

// Seconds of a "%d-%d-%d %d:%d:%d" field, as UTC; -1 when unreadable.
template <size_t N>
long long field_secs(const char (&field)[N]) {
  char text[N + 1] = {};
  std::memcpy(text, field, N);
  struct tm t {};
  if (std::sscanf(text, "%d-%d-%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
    return -1;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  return static_cast<long long>(timegm(&t));
}

struct DataHead {
  ZrAviFrameHeader head;
  int32_t kind;
  int32_t len;
};
static_assert(sizeof(DataHead) == kStreamDataHead, "head of a data reply");

bool send_end(const SimSend& send, int32_t len) {
  DataHead d{};
  d.len = len;
  return send(REPLY_STREAM_DOWNLOAD_DATA, &d, sizeof d, nullptr, 0);
}

// One frame as chunks.
bool send_frame(const SimSend& send, ZrAviFrameHeader head, const uint8_t* data) {
  size_t done = 0;
  const size_t total = static_cast<size_t>(head.data_len);
  int32_t kind = kStreamChunkFirst;
  while (done < total) {
    const size_t n = total - done < static_cast<size_t>(kStreamChunkMax) ? total - done : kStreamChunkMax;
    DataHead d{};
    d.head = head;
    d.kind = kind;
    d.len = static_cast<int32_t>(n);
    if (!send(REPLY_STREAM_DOWNLOAD_DATA, &d, sizeof d, data + done, n)) return false;
    done += n;
    kind = 1;
  }
  return true;
}

void serve_download(int, const Bytes& payload, const SimSend& send) {
  const StreamDownloadRequest req = sim_read<StreamDownloadRequest>(payload);
  Recording r = load_recording();
  const long long from = field_secs(req.start_time), to = field_secs(req.end_time);
  if (r.frames < 0) {
    long long secs = from >= 0 && to > from ? to - from : 1;
    r.frames = secs * kDefaultPerSecond < kDefaultMaxFrames ? secs * kDefaultPerSecond : kDefaultMaxFrames;
  }
  if (r.width < 1 || r.height < 1 || r.width > ZR_AVI_MAX_SIDE || r.height > ZR_AVI_MAX_SIDE) {
    r.width = 640;
    r.height = 480;
  }
  if (r.fps < 1 || r.fps > 120) r.fps = 25;

  const std::string marker = nvr_path(kStreamDownloadMarker);
  if (r.marker) {
    if (FILE* f = std::fopen(marker.c_str(), "w")) std::fclose(f);
  }

  // One gradient a little larger than a frame; frame k is a window into it,
  // so consecutive frames differ.
  const size_t stride = ((static_cast<size_t>(r.width) * 24 + 31) / 32) * 4;
  const size_t frame_len = stride * static_cast<size_t>(r.height);
  constexpr size_t kShifts = 64;
  std::vector<uint8_t> picture(frame_len + kShifts * 3);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>((i / 3 + i / stride) & 0xff);
  // The sound: a 500 Hz tone, each audio frame as long as the pictures it
  // follows.
  int32_t audio_codec = ZR_AVI_AUDIO_NONE;
  std::vector<uint8_t> audio;
  if (r.audio_every > 0) {
    audio_codec = r.audio == "pcm" ? ZR_AVI_AUDIO_PCM16 : r.audio == "ulaw" ? ZR_AVI_AUDIO_G711U : ZR_AVI_AUDIO_G711A;
    if (r.audio_rate < 8000 || r.audio_rate > 48000) r.audio_rate = 8000;
    if (r.audio_channels != 2) r.audio_channels = 1;
    const size_t samples = static_cast<size_t>(r.audio_every) * static_cast<size_t>(r.audio_rate) / r.fps;
    for (size_t i = 0; i < samples; ++i) {
      const int v = (i * 500 * 2 / static_cast<size_t>(r.audio_rate)) % 2 ? 8000 : -8000;  // square wave
      for (int c = 0; c < r.audio_channels; ++c) {
        if (audio_codec == ZR_AVI_AUDIO_PCM16) {
          audio.push_back(static_cast<uint8_t>(v & 0xff));
          audio.push_back(static_cast<uint8_t>((v >> 8) & 0xff));
        } else {
          // Two levels of the companded scales, one each side of zero.
          const bool pos = v > 0;
          audio.push_back(audio_codec == ZR_AVI_AUDIO_G711A ? (pos ? 0xa5 : 0x25) : (pos ? 0x9f : 0x1f));
        }
      }
    }
  }

  ZrAviFrameHeader head{};
  zr_avi_frame_header_init(&head);
  head.codec = r.codec;
  head.width = r.width;
  head.height = r.height;
  head.fps = r.fps;
  head.key_frame = 1;
  head.channel = req.chn;
  head.audio_codec = audio_codec;
  head.audio_rate = audio_codec ? r.audio_rate : 0;
  head.audio_channels = audio_codec ? r.audio_channels : 0;
  bool alive = true;
  for (long long k = 0; k < r.frames && alive; ++k) {
    if (r.interval_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(r.interval_ms));
    head.frame_type = ZR_AVI_FRAME_VIDEO;
    head.data_len = static_cast<int32_t>(frame_len);
    head.seq = static_cast<int32_t>(k);
    head.pts_ms = (from > 0 ? from : 0) * 1000 + k * 1000 / r.fps;
    head.data_ref = 0x5a5a5a5a;  // the sender's own reference; the receiver replaces it
    alive = send_frame(send, head, picture.data() + (static_cast<size_t>(k) % kShifts) * 3);
    if (alive && r.audio_every > 0 && (k + 1) % r.audio_every == 0) {
      ZrAviFrameHeader a = head;
      a.frame_type = ZR_AVI_FRAME_AUDIO;
      a.key_frame = 1;
      a.data_len = static_cast<int32_t>(audio.size());
      alive = send_frame(send, a, audio.data());
    }
  }
  if (alive && r.end == "end") send_end(send, kStreamDownloadEnded);
  else if (alive && r.end == "interrupt") send_end(send, kStreamDownloadInterrupted);
  if (r.marker) unlink(marker.c_str());
  if (FILE* f = std::fopen(nvr_path(kSentPath).c_str(), "w")) std::fclose(f);
}

const SimStreamRow kRows[] = {
    {REQ_STREAM_DOWNLOAD, serve_download},
};
const SimStreamModule kModule(kRows, sizeof kRows / sizeof kRows[0]);
}  // namespace
