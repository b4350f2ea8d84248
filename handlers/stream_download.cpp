// Recording download and its marker: "/4013", "/4019", "/4027" (rows of the
// "/4000" table in stream.cpp).
//
// The core daemon replays the recording as data replies (6173), each one
// chunk of a frame; the socket library's thread reassembles and queues the
// frames and the remote_backup worker writes them as an AVI file to the
// browser (stream_backup.cpp). The download ends as soon as the core sends
// the end (-1) or gives up (-2) and the queue is written out; a recording
// whose data keeps coming past the reply wait still arrives whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "cgi/cgic.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/download.h"
#include "core/paths.h"
#include "handlers/stream.h"
#include "handlers/stream_backup.h"

namespace {
constexpr int kDownloadChannels = 8;  // channels the download page offers
constexpr int kLogParam = 900;
constexpr int64_t kLogDownload = 209;
constexpr int kLowPriority = 19;
constexpr auto kPoll = std::chrono::milliseconds(40);
// Buffer asked for a pipe to the web server: a frame goes through in a
// few writes instead of one per 64 KiB.
constexpr int kPipeBuffer = 1 << 20;

// The writer of the running download (null when none is open) and the done
// flag: set when the core's end or interruption has come.
std::atomic<ZrAvi*> g_backup_handle{nullptr};
std::atomic<int> g_download_done{0};
std::atomic<bool> g_headers_sent{false};
char g_file_name[128] = "";

bool marker_present() {
  struct stat st {};
  return lstat(nvr_path(kStreamDownloadMarker).c_str(), &st) == 0;
}

// Called by the AVI writer just before the file's first byte: the reply
// starts only once there is a recording to send, so a download that fails
// before its first picture (or brings none the writer takes) still gets the
// error reply.
void write_download_headers(void*) {
  download_write_headers(g_file_name);
  g_headers_sent = true;
}

template <size_t N>
void core_time_text(char (&out)[N], const struct tm& t) {
  std::snprintf(out, N, "%d-%d-%d %d:%d:%d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                t.tm_sec);
}
}  // namespace

// 6173
void on_get_download_playtime_cb(const void* payload, size_t len) {
  if (!payload || len < kStreamDataHead) return;
  const uint8_t* p = static_cast<const uint8_t*>(payload);
  ZrAviFrameHeader head;
  int32_t kind = 0, chunk = 0;
  std::memcpy(&head, p, sizeof head);
  std::memcpy(&kind, p + offsetof(StreamDownloadData, kind), sizeof kind);
  std::memcpy(&chunk, p + offsetof(StreamDownloadData, len), sizeof chunk);
  if (!g_backup_handle.load() || chunk == kStreamDownloadEnded) {
    g_download_done = 1;
    g_callback_done = 1;
    return;
  }
  if (chunk == kStreamDownloadInterrupted) {
    remote_backup_zrfs_interrup();
    g_download_done = 1;
    g_callback_done = 1;
    return;
  }
  if (chunk < 0 || chunk > kStreamChunkMax || static_cast<size_t>(chunk) > len - kStreamDataHead) {
    CGI_LOG("download: chunk of %d bytes in a reply of %u refused", static_cast<int>(chunk),
            static_cast<unsigned>(len));
    remote_backup_zrfs_drop();
    return;
  }
  remote_backup_zrfs_write(&head, p + kStreamDataHead, kind, chunk);
}

// "/4013"
void on_download_record(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int id = 0, stream_type = 0;
  char start_text[32], end_text[32];
  if (!json_id_in_range(req.get(), "id", 0, kDownloadChannels - 1, &id) ||
      on_cgi_get_string_from_json(req.get(), "startTime", start_text, sizeof start_text) != 0 ||
      on_cgi_get_string_from_json(req.get(), "endTime", end_text, sizeof end_text) != 0)
    return;
  if (marker_present()) {
    cgi_writeback_webserver(CGI_KIND_TEXT, "BUSY NOW");
    return;
  }
  time_t start = 0, end = 0;
  struct tm start_tm {}, end_tm {};
  if (!json_plain_int(req.get(), "streamType", &stream_type) ||
      !stream_parse_iso_time(start_text, &start, &start_tm) || !stream_parse_iso_time(end_text, &end, &end_tm))
    return;
  stream_download_file_name(id, start_tm, start, end_tm, end, g_file_name);
  log_operation(kLogDownload, kLogParam, id + 1);

  StreamDownloadRequest rec{};
  rec.chn = id;
  rec.stream_type = stream_type;
  core_time_text(rec.start_time, start_tm);
  core_time_text(rec.end_time, end_tm);

  // The download must not slow down the recorder's own work.
  if (nice(kLowPriority) == -1) CGI_LOG("download: priority unchanged");

  FILE* out = cgiOut ? cgiOut : stdout;
#ifdef F_SETPIPE_SZ
  fcntl(fileno(out), F_SETPIPE_SZ, kPipeBuffer);  // refused for other outputs and above the system's limit
#endif
  if (ZrAvi* stale = g_backup_handle.exchange(nullptr)) remote_backup_zrfs_close(stale);
  ZrAvi* handle = nullptr;
  g_headers_sent = false;
  if (remote_backup_zrfs_open(out, &handle, write_download_headers, nullptr) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  g_download_done = 0;
  g_backup_handle = handle;
  // A request the core daemon never took brings no data: the worker is
  // stopped now instead of waiting out its idle limit.
  if (cgi_start_ipc_stream(on_stream_callback, REQ_STREAM_DOWNLOAD, sizeof rec, &rec, 0) != 0)
    remote_backup_zrfs_interrup();
  // Data that keeps coming after the reply wait still reaches the queue.
  while (!g_download_done.load() && remote_backup_task_run_status() && !cgi_ipc_link_lost())
    std::this_thread::sleep_for(kPoll);
  // No reply reaches the queue after this; the worker writes out what it holds.
  cgi_stop_ipc();
  g_backup_handle = nullptr;
  ZrAviStats stats;
  if (remote_backup_zrfs_close(handle, &stats) != 0) CGI_LOG("download: the AVI file could not be finished");
  if (!g_headers_sent.load()) cgi_error_to_webserver(CGI_KIND_TEXT);
  std::fflush(out);
}

// "/4019"
void on_get_download_state(char* text) {
  JsonPtr req(get_request_tokener_json_object(text));
  if (!req) return;
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "isOK", marker_present() ? 0 : 1);
  cgi_writeback_webserver(CGI_KIND_TEXT, cgi_json_text(obj.get()));
}

// "/4027"
void on_clear_download(char*) {
  unlink(nvr_path(kStreamDownloadMarker).c_str());
  notify_core(REQ_STREAM_DOWNLOAD_CLEAR, nullptr, 0);
  cgi_reply_ok();
}
