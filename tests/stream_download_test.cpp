// Recording download, end to end and in its parts: the built webcgi against
// zrcore-sim serving a recording of real frames, the file checked with
// ffprobe and ffmpeg; the marker pages; the AVI writer on seekable and
// unseekable outputs; frame assembly from chunks.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "core/cgi_util.h"
#include "e2e_harness.h"
#include "handlers/stream.h"
#include "handlers/stream_backup.h"
#include "platform/avi.h"
#include "temp_dir.h"

namespace {
class TempDir {
 public:
  TempDir() : path_(make_temp_dir("download")) {}
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string kText = "Content-type: text/plain\r\n\r\n";
const std::string kCgiErrorText = kText + "CGI ERROR";
const char kRecording[] = "/var/run/zrcore-sim/recording";
const std::string kRange = R"("startTime":"2024-01-02T03:04:05Z","endTime":"2024-01-02T03:04:07Z")";
const std::string kFileName = "4DDD2024_1_2_3_4_5_1704164645-2024_1_2_3_4_7_1704164647_2.avi";
const std::string kAttachment =
    "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= " + kFileName + "\r\n\r\n";

CgiRequest post(const std::string& path, const std::string& text) {
  CgiRequest r;
  r.method = "POST";
  r.path_info = path;
  r.content_type = "application/json";
  r.body = text;
  r.env["TZ"] = "UTC";
  return r;
}
std::string download_text(int id) { return "{\"id\":" + std::to_string(id) + "," + kRange + "}"; }

StreamDownloadRequest download_request(int ch, int stream_type) {
  StreamDownloadRequest r{};
  r.chn = ch;
  r.stream_type = stream_type;
  std::strncpy(r.start_time, "2024-1-2 3:4:5", sizeof r.start_time);
  std::strncpy(r.end_time, "2024-1-2 3:4:7", sizeof r.end_time);
  return r;
}
std::string log_line(int channel) { return "3485 " + record_hex(expected_log_record(209, 900, channel)); }
std::string request_line(int ch, int stream_type) { return "1173 " + record_hex(download_request(ch, stream_type)); }

bool have_tool(const char* name) {
  const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// Output of a shell command (stderr included) and its exit status.
std::string run_cmd(const std::string& cmd, int* status) {
  std::string out;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

// What ffprobe and ffmpeg make of an AVI file: video packets counted, and
// whether a full decode reported anything.
struct Probe {
  long packets = -1;
  long audio_packets = -1;  // 0: no sound stream
  std::string decode_errors;
  int decode_status = -1;
};
Probe probe(const std::string& file) {
  Probe p;
  int st = 0;
  const std::string n = run_cmd("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                                "stream=nb_read_packets -of csv=p=0 '" + file + "'", &st);
  if (st == 0) p.packets = std::strtol(n.c_str(), nullptr, 10);
  const std::string a = run_cmd("ffprobe -v error -count_packets -select_streams a:0 -show_entries "
                                "stream=nb_read_packets -of csv=p=0 '" + file + "'", &st);
  if (st == 0) p.audio_packets = a.empty() ? 0 : std::strtol(a.c_str(), nullptr, 10);
  p.decode_errors = run_cmd("ffmpeg -nostdin -v error -i '" + file + "' -f null -", &p.decode_status);
  return p;
}

void save(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

uint32_t le32_at(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
  return v;
}

// One download through webcgi with the recording script given; the reply.
struct Download {
  CgiResult result;
  std::vector<std::string> journal;
  double seconds = 0;
};
Download run_download(const std::string& recording, const std::string& wait_ms = "",
                      const std::string& script = "") {
  E2eEnv env;
  env.write_file(kRecording, recording);
  env.start_sim(script);
  CgiRequest req = post("/4013", download_text(2));
  if (!wait_ms.empty()) req.env["NVR_IPC_WAIT_MS"] = wait_ms;
  const auto t0 = std::chrono::steady_clock::now();
  Download d;
  d.result = env.run(req);
  d.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  d.journal = env.journal();
  EXPECT_FALSE(env.exists(kStreamDownloadMarker)) << "the core's marker is gone after the download";
  return d;
}

// The AVI file of a download reply (after the attachment headers).
std::string avi_of(const std::string& out) {
  if (out.compare(0, kAttachment.size(), kAttachment) != 0) {
    ADD_FAILURE() << "no attachment headers: " << out.substr(0, 200);
    return "";
  }
  return out.substr(kAttachment.size());
}

#define REQUIRE_FFPROBE()                                                         \
  if (!have_tool("ffprobe") || !have_tool("ffmpeg")) {                            \
    GTEST_SKIP() << "ffprobe/ffmpeg not installed (deploy/install-deps.sh adds them)"; \
  }

// ---- Rows: replies and core messages of the three names ----------------------------
struct Case {
  const char* label;
  const char* path;
  std::string text;
  std::string marker;     // non-empty: the marker exists with this content
  std::string recording;  // the sim's recording script
  std::string out;
  std::vector<std::string> journal;
  bool marker_after;
  // Whole-file rows (video_max >= 0): out is the attachment headers, then
  // an AVI file that ffmpeg decodes without a word, with video_min to
  // video_max pictures and audio sound packets (0: no sound stream).
  long video_min = -1, video_max = -1, audio = 0;
  enum Output { kPipe, kFile, kStalledReader } output = kPipe;  // what the output is
  bool no_core = false;
  std::map<std::string, std::string> env = {};
};

std::vector<Case> cases() {
  const std::vector<std::string> started = {log_line(3), request_line(2, 1)};
  return {
      {"channel_out_of_range", "/4013", download_text(9), "", "", "", {}, false},
      {"channel_not_a_number", "/4013", R"({"id":"x",)" + kRange + "}", "", "", "", {}, false},
      {"no_end_time", "/4013", R"({"id":2,"startTime":"2024-01-02T03:04:05Z"})", "", "", "", {}, false},
      {"unparsable_start", "/4013", R"({"id":2,"startTime":"2024-01-02 03:04:05","endTime":"2024-01-02T03:04:07Z"})",
       "", "", "", {}, false},
      {"no_such_day", "/4013", R"({"id":2,"startTime":"2024-02-30T03:04:05Z","endTime":"2024-01-02T03:04:07Z"})", "",
       "", "", {}, false},
      {"stream_type_not_a_number", "/4013", R"({"id":2,"streamType":"x",)" + kRange + "}", "", "", "", {}, false},
      {"busy", "/4013", download_text(2), "x", "", kText + "BUSY NOW", {}, true},
      {"interrupted_before_first_frame", "/4013", R"({"id":2,"streamType":1,)" + kRange + "}", "",
       "frames=0\nend=interrupt\n", kCgiErrorText, started, false},
      {"empty_recording", "/4013", R"({"id":2,"streamType":1,)" + kRange + "}", "", "frames=0\n", kCgiErrorText,
       started, false},
      // The writer takes none of the frames (a codec it does not know).
      {"no_frame_the_writer_takes", "/4013", R"({"id":2,"streamType":1,)" + kRange + "}", "", "frames=3\ncodec=9\n",
       kCgiErrorText, started, false},
      // No core daemon: the error comes at once, not when the writer gives up waiting.
      {"no_core_daemon", "/4013", R"({"id":2,"streamType":1,)" + kRange + "}", "", "", kCgiErrorText, {}, false, -1,
       -1, 0, Case::kPipe, true, {{"NVR_DOWNLOAD_IDLE_MS", "3600000"}}},
      // A server that spools the output to a file: the sizes and index are
      // patched into the AVI, behind the reply headers.
      {"spooled_to_a_file", "/4013", R"({"id":2,"streamType":1,)" + kRange + "}", "", "frames=4\nfps=10\n",
       kAttachment, started, false, 4, 4, 0, Case::kFile, false, {}},
      // The recorded sound is the file's second stream, in each format.
      {"sound_alaw", "/4013", R"({"id":2,"streamType":1,)" + kRange + "}", "", "frames=10\naudio_every=2\n",
       kAttachment, started, false, 10, 10, 5, Case::kPipe, false, {}},
      {"sound_ulaw_spooled", "/4013", R"({"id":2,"streamType":1,)" + kRange + "}", "",
       "frames=9\naudio_every=3\naudio=ulaw\n", kAttachment, started, false, 9, 9, 3, Case::kFile, false, {}},
      {"sound_pcm_stereo_spooled", "/4013", R"({"id":2,"streamType":1,)" + kRange + "}", "",
       "frames=6\naudio_every=1\naudio=pcm\naudio_rate=16000\naudio_channels=2\nwidth=320\nheight=240\n",
       kAttachment, started, false, 6, 6, 6, Case::kFile, false, {}},
      // A reader that stops reading until the core has sent everything: the
      // frames that find the queue full are dropped without holding up the
      // core's channel, and the download still ends.
      {"reader_stops_reading", "/4013", R"({"id":2,"streamType":1,)" + kRange + "}", "",
       "frames=300\nwidth=320\nheight=240\n", kAttachment, started, false, 1, 299, 0, Case::kStalledReader, false,
       {{"NVR_DOWNLOAD_STALL_MS", "1000"}}},
      {"state_idle", "/4019", "{}", "", "", kText + R"({"isOK":1})", {}, false},
      {"state_running", "/4019", "{}", "x", "", kText + R"({"isOK":0})", {}, true},
      {"state_not_json", "/4019", "{", "x", "", "", {}, true},
      {"clear", "/4027", "", "x", "", kText + "OK", {"1178 "}, false},
      {"clear_without_marker", "/4027", "", "", "", kText + "OK", {"1178 "}, false},
  };
}

void PrintTo(const Case& k, std::ostream* os) { *os << k.label; }

class DownloadE2e : public ::testing::TestWithParam<Case> {};

TEST_P(DownloadE2e, ReplyAndCoreMessages) {
  const Case& k = GetParam();
  E2eEnv env;
  if (!k.recording.empty()) env.write_file(kRecording, k.recording + "marker=0\n");
  if (!k.marker.empty()) env.write_file(kStreamDownloadMarker, k.marker);
  if (!k.no_core) env.start_sim();
  CgiRequest req = post(k.path, k.text);
  for (const auto& kv : k.env) req.env[kv.first] = kv.second;
  TempDir dir;
  if (k.output == Case::kFile) req.stdout_file = dir.path() + "/spool";
  if (k.output == Case::kStalledReader) req.hold_output_until = env.path(kRecording) + ".sent";
  auto r = env.run(req);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(env.journal(), k.journal);
  EXPECT_EQ(env.exists(kStreamDownloadMarker), k.marker_after);
  if (k.video_max < 0) {
    EXPECT_EQ(r.out, k.out);
    return;
  }
  ASSERT_EQ(r.out.substr(0, k.out.size()), k.out);
  const std::string avi = r.out.substr(k.out.size());
  ASSERT_GE(avi.size(), 12u);
  EXPECT_EQ(avi.substr(0, 4), "RIFF");
  EXPECT_EQ(le32_at(avi, 4), k.output == Case::kFile ? avi.size() - 8 : 0u) << "sizes patched only in a file";
  if (!have_tool("ffprobe") || !have_tool("ffmpeg")) return;
  const std::string file = dir.path() + "/rec.avi";
  save(file, avi);
  Probe p = probe(file);
  EXPECT_GE(p.packets, k.video_min);
  EXPECT_LE(p.packets, k.video_max);
  EXPECT_EQ(p.audio_packets, k.audio);
  EXPECT_EQ(p.decode_status, 0);
  EXPECT_EQ(p.decode_errors, "");
}

INSTANTIATE_TEST_SUITE_P(Requests, DownloadE2e, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.label); });

// "/4019" follows the marker: running while the core keeps it, idle after
// "/4027" removed it.
TEST(DownloadMarker, StateFollowsClear) {
  E2eEnv env;
  env.start_sim();
  env.write_file(kStreamDownloadMarker, "");
  EXPECT_EQ(env.run(post("/4019", "{}")).out, kText + R"({"isOK":0})");
  EXPECT_EQ(env.run(post("/4027", "")).out, kText + "OK");
  EXPECT_EQ(env.run(post("/4019", "{}")).out, kText + R"({"isOK":1})");
}

// ---- Whole downloads, checked with the real tools ---------------------------------------
// 640x480 BGR frames take two chunks each. The download ends when the end
// reply comes, well before the 40 s reply wait.
TEST(DownloadFile, PlaysWithEveryFrameAndEndsAtTheEndReply) {
  REQUIRE_FFPROBE();
  Download d = run_download("frames=12\nfps=10\n", "40000");
  EXPECT_EQ(d.result.exit_code, 0);
  EXPECT_LT(d.seconds, 20.0) << "the download waited out the reply wait";
  EXPECT_EQ(d.journal, (std::vector<std::string>{log_line(3), request_line(2, 0)}));
  const std::string avi = avi_of(d.result.out);
  ASSERT_GE(avi.size(), 12u);
  EXPECT_EQ(avi.substr(0, 4), "RIFF");
  EXPECT_EQ(avi.substr(8, 4), "AVI ");
  EXPECT_EQ(le32_at(avi, 4), 0u) << "a pipe cannot be patched: the size stays open";
  TempDir dir;
  const std::string file = dir.path() + "/rec.avi";
  save(file, avi);
  Probe p = probe(file);
  EXPECT_EQ(p.packets, 12);
  EXPECT_EQ(p.decode_status, 0);
  EXPECT_EQ(p.decode_errors, "");
}

// Frames keep coming long after the reply wait has run out: all of them
// arrive, the audio frames between them in the sound stream.
TEST(DownloadFile, DataPastTheWaitArrivesWhole) {
  REQUIRE_FFPROBE();
  Download d = run_download("frames=8\ninterval_ms=80\naudio_every=3\nwidth=320\nheight=240\n", "150");
  const std::string avi = avi_of(d.result.out);
  TempDir dir;
  const std::string file = dir.path() + "/rec.avi";
  save(file, avi);
  Probe p = probe(file);
  EXPECT_EQ(p.packets, 8);
  EXPECT_EQ(p.audio_packets, 2);
  EXPECT_EQ(p.decode_errors, "");
}

// The core gives up halfway: what was written still plays.
TEST(DownloadFile, InterruptedDownloadStillPlays) {
  REQUIRE_FFPROBE();
  Download d = run_download("frames=5\nend=interrupt\ninterval_ms=20\n");
  const std::string avi = avi_of(d.result.out);
  TempDir dir;
  const std::string file = dir.path() + "/rec.avi";
  save(file, avi);
  Probe p = probe(file);
  EXPECT_GE(p.packets, 1);
  EXPECT_LE(p.packets, 5);
  EXPECT_EQ(p.decode_errors, "");
}

// Chunks that lie about their length are refused without harm: one longer
// than a chunk may be, one past the end of its reply, one negative. The
// good frame after them is written.
TEST(DownloadFile, ChunkLengthsOutOfBoundsAreRefused) {
  REQUIRE_FFPROBE();
  auto reply = [](int32_t kind, int32_t len, const std::string& data_hex, int32_t w = 4, int32_t h = 2) {
    ZrAviFrameHeader head{};
    zr_avi_frame_header_init(&head);
    head.frame_type = ZR_AVI_FRAME_VIDEO;
    head.codec = ZR_AVI_CODEC_BGR24;
    head.width = w;
    head.height = h;
    head.fps = 5;
    head.key_frame = 1;
    head.data_len = 24;  // 4x2 BGR
    std::string hex = record_hex(head) + record_hex(kind) + record_hex(len) + data_hex;
    return "1173 reply type=6173 hex=" + hex + "\n";
  };
  const std::string pixels(48, 'a');  // 24 bytes as hex
  std::string script = reply(0, 700000, "") + reply(0, 30, pixels) + reply(0, -7, "") + reply(1, 12, pixels) +
                       reply(0, 24, pixels) + reply(0, 12, pixels.substr(0, 24)) + reply(1, 12, pixels.substr(0, 24)) +
                       reply(0, -1, "");
  Download d = run_download("", "", script);
  const std::string avi = avi_of(d.result.out);
  TempDir dir;
  const std::string file = dir.path() + "/rec.avi";
  save(file, avi);
  Probe p = probe(file);
  EXPECT_EQ(p.packets, 2);  // the whole one, and the one that came in two chunks
  EXPECT_EQ(p.decode_errors, "");
}

// ---- The AVI writer ----------------------------------------------------------------------
ZrAviFrameHeader raw_header(int w, int h, int32_t type = ZR_AVI_FRAME_VIDEO) {
  ZrAviFrameHeader head{};
  zr_avi_frame_header_init(&head);
  head.frame_type = type;
  head.codec = ZR_AVI_CODEC_BGR24;
  head.width = w;
  head.height = h;
  head.fps = 25;
  head.data_len = w * h * 3;
  return head;
}

// A seekable output gets its sizes, counts and index; frames of another
// size and audio frames are left out; a frame may come in pieces.
TEST(AviWriter, SeekableFileIsPatchedAndIndexed) {
  TempDir dir;
  const std::string file = dir.path() + "/w.avi";
  FILE* fp = std::fopen(file.c_str(), "wb");
  ASSERT_TRUE(fp);
  std::fputs("prefix", fp);  // the reply headers before the file
  ZrAvi* avi = zr_avi_open_fp(fp);
  ASSERT_TRUE(avi);
  std::vector<uint8_t> pixels(16 * 8 * 3, 0x40);
  for (int i = 0; i < 3; ++i) {
    ZrAviFrameHeader h = raw_header(16, 8);
    ASSERT_EQ(zr_avi_write_fp_ex(avi, &h, 40), 0);  // a header in two pieces
    ASSERT_EQ(zr_avi_write_fp_ex(avi, reinterpret_cast<uint8_t*>(&h) + 40, sizeof h - 40), 0);
    ASSERT_EQ(zr_avi_write_fp_ex(avi, pixels.data(), 100), 0);
    ASSERT_EQ(zr_avi_write_fp_ex(avi, pixels.data() + 100, static_cast<int>(pixels.size()) - 100), 0);
    ZrAviFrameHeader a = raw_header(2, 2, ZR_AVI_FRAME_AUDIO);
    ASSERT_EQ(zr_avi_write_fp_ex(avi, &a, sizeof a), 0);
    ASSERT_EQ(zr_avi_write_fp_ex(avi, pixels.data(), a.data_len), 0);
  }
  ZrAviFrameHeader other = raw_header(8, 8);
  ASSERT_EQ(zr_avi_write_fp_ex(avi, &other, sizeof other), 0);
  ASSERT_EQ(zr_avi_write_fp_ex(avi, pixels.data(), other.data_len), 0);
  ZrAviStats st;
  ASSERT_EQ(zr_avi_close_fp_ex(avi, &st), 0);
  std::fclose(fp);
  EXPECT_EQ(st.frames_written, 3);
  EXPECT_EQ(st.frames_skipped, 4);
  EXPECT_TRUE(st.patched);

  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.substr(0, 6), "prefix");
  const std::string riff = bytes.substr(6);
  EXPECT_EQ(le32_at(riff, 4), riff.size() - 8);
  EXPECT_EQ(le32_at(riff, 48), 3u);   // frames in the main header
  EXPECT_EQ(le32_at(riff, 140), 3u);  // and in the stream header
  EXPECT_NE(riff.find("idx1"), std::string::npos);
  if (have_tool("ffprobe") && have_tool("ffmpeg")) {
    const std::string only = dir.path() + "/only.avi";
    save(only, riff);
    Probe p = probe(only);
    EXPECT_EQ(p.packets, 3);
    EXPECT_EQ(p.decode_errors, "");
  }
}

// Nothing is written before a first usable frame: a download that brings
// none leaves the output empty.
TEST(AviWriter, NothingBeforeTheFirstFrame) {
  TempDir dir;
  const std::string file = dir.path() + "/e.avi";
  FILE* fp = std::fopen(file.c_str(), "wb");
  ASSERT_TRUE(fp);
  ZrAvi* avi = zr_avi_open_fp(fp);
  ZrAviFrameHeader bad = raw_header(0, 480);  // no picture size
  ASSERT_EQ(zr_avi_write_fp_ex(avi, &bad, sizeof bad), 0);
  ZrAviStats st;
  ASSERT_EQ(zr_avi_close_fp_ex(avi, &st), 0);
  EXPECT_EQ(std::ftell(fp), 0L);
  std::fclose(fp);
  EXPECT_EQ(st.frames_written, 0);
}

// ---- Frame assembly ----------------------------------------------------------------------------
class Assembly : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_.path() + "/a.avi";
    fp_ = std::fopen(file_.c_str(), "w+b");
    ASSERT_TRUE(fp_);
    ASSERT_EQ(remote_backup_zrfs_open(fp_, &avi_), 0);
  }
  void TearDown() override {
    if (fp_) std::fclose(fp_);
  }
  ZrAviStats finish() {
    ZrAviStats st;
    EXPECT_EQ(remote_backup_zrfs_close(avi_, &st), 0);
    return st;
  }
  TempDir dir_;
  std::string file_;
  FILE* fp_ = nullptr;
  ZrAvi* avi_ = nullptr;
};

// Three chunks make one frame, written once; a continuation with no frame
// begun is ignored; a chunk longer than the room left fills the frame
// exactly; an oversized chunk is refused and drops its frame.
TEST_F(Assembly, ChunksMakeFrames) {
  ZrAviFrameHeader h = raw_header(12, 10);  // 360 bytes
  std::vector<uint8_t> data(400, 7);
  EXPECT_EQ(remote_backup_zrfs_write(&h, data.data(), 1, 100), 0);  // no frame begun
  EXPECT_EQ(remote_backup_zrfs_write(&h, data.data(), 0, 100), 0);
  EXPECT_EQ(remote_backup_zrfs_write(&h, data.data(), 1, 100), 0);
  EXPECT_EQ(remote_backup_zrfs_write(&h, data.data(), 1, 160), 0);  // frame 1 complete
  EXPECT_EQ(remote_backup_zrfs_write(&h, data.data(), 0, 250), 0);
  EXPECT_EQ(remote_backup_zrfs_write(&h, data.data(), 1, 150), 0);  // frame 2: 40 bytes surplus dropped
  EXPECT_EQ(remote_backup_zrfs_write(&h, data.data(), 0, 100), 0);
  EXPECT_EQ(remote_backup_zrfs_write(&h, data.data(), 1, kBackupMaxChunk + 1), -1);  // frame 3 dropped
  EXPECT_EQ(remote_backup_zrfs_write(&h, data.data(), 1, 200), 0);  // continues nothing
  ZrAviFrameHeader huge = h;
  huge.data_len = ZR_AVI_MAX_FRAME + 1;
  EXPECT_EQ(remote_backup_zrfs_write(&huge, data.data(), 0, 10), -1);
  ZrAviStats st = finish();
  EXPECT_EQ(st.frames_written, 2);
  EXPECT_EQ(remote_backup_frames_written(), 2);
}

// After an interruption nothing more is written and queueing fails.
TEST_F(Assembly, InterruptionStopsTheWriter) {
  remote_backup_zrfs_interrup();
  ZrAviFrameHeader h = raw_header(4, 4);
  std::vector<uint8_t> data(48, 1);
  EXPECT_EQ(remote_backup_zrfs_write(&h, data.data(), 0, 48), -1);
  EXPECT_EQ(remote_backup_task_run_status(), 0);
  EXPECT_EQ(finish().frames_written, 0);
}
}  // namespace
