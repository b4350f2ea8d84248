// remote_backup: frame assembly, the bounded frame queue and the writer
// thread of a recording download (see stream_backup.h).
#include "handlers/stream_backup.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "core/cgi_log.h"
#include "core/strutil.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto kPoll = std::chrono::milliseconds(40);
// The worker ends after this long without a frame (NVR_DOWNLOAD_IDLE_MS
// sets another limit, for tests).
constexpr int kIdleLimitMs = 60000;
// A full queue makes the receiver wait while the worker goes on writing
// (a slow reader). Once the worker has been on one frame this long (the
// reader stopped reading) the writer counts as stuck: every frame that
// finds the queue full is then dropped at once, until the worker moves
// again. NVR_DOWNLOAD_STALL_MS sets another limit, for tests.
constexpr int kStallLimitMs = 60000;

std::chrono::milliseconds limit_ms(const char* name, int fallback) {
  const char* v = std::getenv(name);
  int ms = 0;
  if (v && parse_int_strict(v, &ms) && ms > 0) return std::chrono::milliseconds(ms);
  return std::chrono::milliseconds(fallback);
}

struct Frame {
  Frame* next = nullptr;
  ZrAviFrameHeader head{};
  std::unique_ptr<uint8_t[]> data;
  size_t len = 0;
};

// backupFrameList: complete frames, oldest first.
struct FrameList {
  Frame* head = nullptr;
  Frame* tail = nullptr;
  int count = 0;
  int64_t bytes = 0;  // data bytes queued, plus those of the frame being written
};

std::mutex g_mutex;
std::condition_variable g_have_frame;
std::condition_variable g_have_space;
FrameList g_list;
int64_t g_peak = 0;
// When the worker last took or finished a frame (or was handed one while it
// had nothing to do).
Clock::time_point g_last_progress;
std::chrono::milliseconds g_idle_limit{kIdleLimitMs};
std::chrono::milliseconds g_stall_limit{kStallLimitMs};

std::atomic<int> g_running{0};
std::atomic<int> g_closing{0};
std::atomic<int64_t> g_frames_written{0};
std::thread g_worker;
ZrAvi* g_avi = nullptr;

// Touched only by the socket library's thread.
std::unique_ptr<Frame> g_assembling;
size_t g_filled = 0;

void release_all(Frame* f) {
  while (f) {
    Frame* next = f->next;
    delete f;
    f = next;
  }
}

// Unlinks the oldest frame (its bytes stay counted until it is written).
Frame* take_head() {
  Frame* f = g_list.head;
  if (!f) return nullptr;
  g_list.head = f->next;
  if (!g_list.head) g_list.tail = nullptr;
  --g_list.count;
  f->next = nullptr;
  return f;
}

void worker_main() {
  pthread_setname_np(pthread_self(), "remote_backup");
  auto idle_since = Clock::now();
  while (g_running.load()) {
    Frame* f = nullptr;
    {
      std::unique_lock<std::mutex> lock(g_mutex);
      f = take_head();
      if (!f) {
        if (g_closing.load()) break;
        g_have_frame.wait_for(lock, kPoll);
        if (!g_list.head && Clock::now() - idle_since >= g_idle_limit) {
          CGI_LOG("download: no frame for %ld ms, the writer stops", static_cast<long>(g_idle_limit.count()));
          break;
        }
        continue;
      }
      g_last_progress = Clock::now();
    }
    const bool ok = zr_avi_write_fp_ex(g_avi, &f->head, sizeof f->head) == 0 &&
                    zr_avi_write_fp_ex(g_avi, f->data.get(), static_cast<int>(f->len)) == 0;
    const int64_t len = static_cast<int64_t>(f->len);
    delete f;
    if (ok) g_frames_written.fetch_add(1);
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      g_list.bytes -= len;
      g_last_progress = Clock::now();
    }
    g_have_space.notify_all();
    idle_since = Clock::now();
    if (!ok) {
      CGI_LOG("download: the output took no more data, the writer stops");
      break;
    }
  }
  g_running = 0;
  Frame* rest = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    rest = g_list.head;
    g_list = FrameList{};
  }
  g_have_space.notify_all();
  release_all(rest);
}

// Appends a complete frame; waits while the queue is full and the worker
// is moving. Runs on the socket library's thread with the core channel
// locked, so it never waits for a stuck writer longer than the stall limit
// all told.
int queue_frame(std::unique_ptr<Frame> f) {
  std::unique_lock<std::mutex> lock(g_mutex);
  while (g_list.bytes >= kBackupQueueLimit) {
    if (!g_running.load()) return -1;
    if (Clock::now() - g_last_progress >= g_stall_limit) {
      CGI_LOG("download: queue full and the writer stuck, a frame is dropped");
      return -1;
    }
    g_have_space.wait_until(lock, std::min(Clock::now() + kPoll, g_last_progress + g_stall_limit));
  }
  if (!g_running.load()) return -1;
  if (!g_list.head) g_last_progress = Clock::now();  // the worker had nothing to do until now
  Frame* node = f.release();
  if (g_list.tail) g_list.tail->next = node;
  else g_list.head = node;
  g_list.tail = node;
  ++g_list.count;
  g_list.bytes += static_cast<int64_t>(node->len);
  if (g_list.bytes > g_peak) g_peak = g_list.bytes;
  lock.unlock();
  g_have_frame.notify_one();
  return 0;
}
}  // namespace

int remote_backup_zrfs_open(FILE* out, ZrAvi** handle, BackupPrelude prelude, void* ctx) {
  if (handle) *handle = nullptr;
  if (g_worker.joinable()) return -1;  // the previous download is still open
  // The prelude goes out with the file's first byte: a download of which
  // the writer takes no frame has sent nothing and can still answer an
  // error.
  ZrAvi* avi = zr_avi_open_fp_ex(out, prelude, ctx);
  if (!avi) return -1;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_list = FrameList{};
    g_peak = 0;
    g_last_progress = Clock::now();
    g_idle_limit = limit_ms("NVR_DOWNLOAD_IDLE_MS", kIdleLimitMs);
    g_stall_limit = limit_ms("NVR_DOWNLOAD_STALL_MS", kStallLimitMs);
  }
  g_assembling.reset();
  g_filled = 0;
  g_avi = avi;
  g_closing = 0;
  g_frames_written = 0;
  g_running = 1;
  try {
    g_worker = std::thread(worker_main);
  } catch (...) {
    g_running = 0;
    g_avi = nullptr;
    zr_avi_close_fp(avi);
    return -1;
  }
  if (handle) *handle = avi;
  return 0;
}

int remote_backup_zrfs_write(const ZrAviFrameHeader* head, const void* data, int kind, int len) {
  if (!head || len < 0 || len > kBackupMaxChunk || (len > 0 && !data)) {
    remote_backup_zrfs_drop();
    return -1;
  }
  if (kind == 0) {
    g_assembling.reset();
    g_filled = 0;
    if (head->data_len <= 0 || head->data_len > ZR_AVI_MAX_FRAME) {
      CGI_LOG("download: frame length %d refused", static_cast<int>(head->data_len));
      return -1;
    }
    std::unique_ptr<Frame> f(new (std::nothrow) Frame);
    if (!f) return -1;
    f->len = static_cast<size_t>(head->data_len);
    f->data.reset(new (std::nothrow) uint8_t[f->len]);
    if (!f->data) return -1;
    f->head = *head;
    f->head.data_ref = 0;
    g_assembling = std::move(f);
  }
  if (!g_assembling) return 0;  // a continuation of no frame
  Frame* f = g_assembling.get();
  size_t n = static_cast<size_t>(len);
  if (n > f->len - g_filled) n = f->len - g_filled;
  std::memcpy(f->data.get() + g_filled, data, n);
  g_filled += n;
  if (g_filled < f->len) return 0;
  g_filled = 0;
  return queue_frame(std::move(g_assembling));
}

void remote_backup_zrfs_drop() {
  g_assembling.reset();
  g_filled = 0;
}

void remote_backup_zrfs_interrup() {
  g_running = 0;
  g_have_frame.notify_all();
  g_have_space.notify_all();
}

int remote_backup_task_run_status() { return g_running.load(); }

int64_t remote_backup_frames_written() { return g_frames_written.load(); }

int64_t remote_backup_peak_queued() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_peak;
}

int remote_backup_zrfs_close(ZrAvi* handle, ZrAviStats* stats) {
  g_closing = 1;
  g_have_frame.notify_all();
  if (g_worker.joinable()) g_worker.join();
  g_running = 0;
  g_assembling.reset();
  g_filled = 0;
  int rc = -1;
  if (handle && handle == g_avi) rc = zr_avi_close_fp_ex(handle, stats);
  else if (stats) *stats = ZrAviStats{};
  g_avi = nullptr;
  return rc;
}
