#include "core/cgi_ipc.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/strutil.h"
#include "platform/zrdb.h"

std::atomic<int> g_callback_done{0};

namespace {
std::mutex g_mutex;
std::condition_variable g_cv;
ZrSockCallback g_user_cb = nullptr;
// Open while the handler still takes replies. Closed once a waiting
// exchange ends, so a reply that comes after the handler has written its
// error reply is dropped instead of written as a second reply text. A reply
// that comes after one has been handled is dropped for the same reason.
// A streaming exchange keeps the window open until cgi_stop_ipc and hands
// every reply to the callback.
bool g_window_open = false;
// Set when the connection of the current exchange ended (daemon closed it,
// or sent something that is not a frame): no reply can come any more.
bool g_link_lost = false;
bool g_streaming = false;
// Set on the socket library's thread while it runs a reply callback (with
// g_mutex held): a send from there would wait on that lock for ever.
thread_local bool t_in_reply_callback = false;

constexpr int kSendAttempts = 3000;
constexpr int kSendRetryMs = 10;
constexpr int kPollMs = 40;
// Set once a message could not be sent in all its attempts.
bool g_daemon_gone = false;

struct WaitRow {
  int req_id;
  int polls;
};
const WaitRow kWaitTable[] = {
    {1153, 3000},  {1171, 3000},  {3102, 3000},  {3104, 3000}, {3223, 3000}, {3259, 3000},
    {3263, 3000},  {3360, 3000},  {3365, 3000},  {3401, 3000}, {3535, 3000}, {1701, 6000},
    {1713, 6000},  {1716, 6000},  {3200, 6000},  {3201, 6000}, {3202, 6000}, {3203, 6000},
    {3204, 6000},  {3205, 6000},  {3227, 6000},  {3402, 6000}, {3409, 6000}, {3420, 6000},
    {3440, 6000},  {3528, 6000},  {3230, 15000}, {3350, 15000}, {3434, 15000}, {3494, 15000},
    {3495, 15000}, {3379, 30000}, {3700, 1500},  {3701, 1500},  {3702, 1500},
};

// NVR_IPC_WAIT_MS caps every wait (tests of a missing reply); -1 when unset.
long wait_cap_ms() {
  const char* v = std::getenv("NVR_IPC_WAIT_MS");
  if (!v || !*v) return -1L;
  long ms = std::strtol(v, nullptr, 10);
  return ms < 0 ? -1L : ms;
}

void trampoline(void* ctx, void* header, void* payload) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!header) {
    g_link_lost = true;  // the module callbacks never see this notice
  } else if (g_window_open && g_user_cb && (g_streaming || g_callback_done.load() == 0)) {
    t_in_reply_callback = true;
    g_user_cb(ctx, header, payload);
    t_in_reply_callback = false;
  }
  g_cv.notify_all();
}

// A waiting exchange while this process holds the store's write lock would
// keep every other save out for as long as the core takes to answer (up to
// the wait limit when it is silent): refused, with a line in the debug log.
// Handlers commit (or roll back) before they wait.
bool refused_in_write_transaction(int req_id) {
  const char* db = zrdb_open_transaction();
  if (!db) return false;
  CGI_LOG("request %d refused: the write transaction on %s is still open; commit before waiting for the core",
          req_id, db);
  return true;
}

bool refused_in_reply_callback(const char* what, int req_id) {
  if (!t_in_reply_callback) return false;
  CGI_LOG("%s (request %d) from a reply callback refused: the channel is locked there; "
          "send follow-up messages from the handler after the exchange",
          what, req_id);
  return true;
}

int start_exchange(ZrSockCallback cb, int req_id, int len, const void* payload, int no_wait, bool streaming) {
  if (!cb) return -1;
  if (refused_in_reply_callback("send", req_id)) return -1;
  if (no_wait != 1 && refused_in_write_transaction(req_id)) {
    g_callback_done = 0;
    return -1;
  }
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_user_cb = cb;
    g_window_open = true;
    g_link_lost = false;
    g_streaming = streaming;
  }
  zr_sock_init(trampoline, nullptr, 3, ZR_SOCK_PATH);
  g_callback_done = 0;

  // Send, retrying every 10 ms for up to 30 s while the daemon does not
  // take the message (it may be restarting). No sleep follows a send that
  // went through. Once a message could not be sent at all, the daemon is
  // gone for this request: later messages are tried once.
  long cap = wait_cap_ms();
  int attempts = g_daemon_gone ? 1 : kSendAttempts;
  if (cap >= 0 && cap / kSendRetryMs + 1 < attempts) attempts = static_cast<int>(cap / kSendRetryMs) + 1;
  bool sent = false;
  for (int i = 0; i < attempts && !sent; ++i) {
    sent = zr_sock_send_msg(1, req_id, payload, len, 0) == 0;
    if (!sent && i + 1 < attempts) std::this_thread::sleep_for(std::chrono::milliseconds(kSendRetryMs));
  }
  if (!sent) {
    g_daemon_gone = true;
    CGI_LOG("request %d not sent: the core daemon does not take messages", req_id);
  }
  // A message that never left waits for no reply: the handler answers its
  // error now.
  if (no_wait == 1 || !sent) {
    if (!sent && !streaming) {
      std::lock_guard<std::mutex> lock(g_mutex);
      g_window_open = false;
    }
    return 0;
  }

  std::unique_lock<std::mutex> lock(g_mutex);
  // A lost connection ends the wait at once: the handler answers its error
  // reply now instead of at the end of the limit.
  g_cv.wait_for(lock, std::chrono::milliseconds(cgi_ipc_wait_ms(req_id)),
                [] { return g_callback_done.load() != 0 || g_link_lost; });
  if (!streaming) g_window_open = false;
  return 0;
}
}  // namespace

int cgi_ipc_poll_limit(int req_id) {
  for (const WaitRow& row : kWaitTable)
    if (row.req_id == req_id) return row.polls;
  return 1000;
}

long cgi_ipc_wait_ms(int req_id) {
  long ms = static_cast<long>(cgi_ipc_poll_limit(req_id)) * kPollMs;
  long cap = wait_cap_ms();
  return cap >= 0 && cap < ms ? cap : ms;
}

int cgi_start_ipc(ZrSockCallback cb, int req_id, int len, const void* payload, int no_wait) {
  return start_exchange(cb, req_id, len, payload, no_wait, false);
}

int cgi_start_ipc_stream(ZrSockCallback cb, int req_id, int len, const void* payload, int no_wait) {
  return start_exchange(cb, req_id, len, payload, no_wait, true);
}

bool cgi_ipc_link_lost() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_link_lost;
}

int cgi_stop_ipc() {
  if (refused_in_reply_callback("close", 0)) return -1;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_window_open = false;
    g_streaming = false;
  }
  zr_sock_uninit();
  return 0;
}

int cgi_ipc_exchange(ZrSockCallback cb, int req_id, const void* payload, int len, int error_kind) {
  if (refused_in_reply_callback("exchange", req_id)) return 0;
  if (cgi_start_ipc(cb, req_id, len, payload, 0) != 0) {
    cgi_error_to_webserver(error_kind);
    return 0;
  }
  int done = g_callback_done.load();
  if (done == 0) cgi_error_to_webserver(error_kind);
  cgi_stop_ipc();
  return done;
}

void cgi_ignore_reply_cb(void*, void*, void*) {}

void cgi_dispatch_reply(const CgiReplyRow* rows, size_t n, const void* header, const void* payload) {
  if (!rows || !header || !payload || g_callback_done.load() != 0) return;
  const int type = cgi_reply_type(header);
  const size_t len = cgi_reply_length(header);
  for (size_t i = 0; i < n; ++i) {
    const CgiReplyRow& row = rows[i];
    if (row.type != type) continue;
    int done = 1;
    if (len < row.min_len)
      cgi_error_to_webserver(row.empty_kind);
    else
      done = row.write(static_cast<const uint8_t*>(payload), len);
    g_callback_done = done;
    return;
  }
}

void notify_core(int req_id, const void* payload, int len) {
  if (cgi_start_ipc(cgi_ignore_reply_cb, req_id, len, payload, 1) != 0) return;
  cgi_stop_ipc();
}

void notify_core_changed(const char* what) {
  char text[32] = {};
  copy_text(text, sizeof text, what ? what : "");
  notify_core(1702, text, sizeof text);
}

void log_operation(int64_t sub_type, int param, int channel) {
  log_operation_main(LOG_MAIN_OPERATION, sub_type, param, channel);
}

void log_operation_main(int main_type, int64_t sub_type, int param, int channel) {
  OperationLogInfo info;
  cgi_init_log_info(&info);
  info.main_type = main_type;
  info.sub_type = sub_type;
  info.param = param;
  info.channel = channel;
  notify_core(REQ_OPERATION_LOG, &info, sizeof info);
}

void log_operation_copy(int64_t sub_type, int param, int channel, uint64_t copy_mask) {
  unsigned char buf[sizeof(OperationLogInfo) + sizeof(uint64_t)];
  OperationLogInfo info;
  cgi_init_log_info(&info);
  info.sub_type = sub_type;
  info.param = param;
  info.channel = channel;
  std::memcpy(buf, &info, sizeof info);
  std::memcpy(buf + sizeof info, &copy_mask, sizeof copy_mask);
  notify_core(REQ_OPERATION_LOG_COPY, buf, sizeof buf);
}

int cgi_reply_type(const void* header) {
  if (!header) return -1;
  return static_cast<const ZrMsgHeader*>(header)->type;
}

uint32_t cgi_reply_length(const void* header) {
  if (!header) return 0;
  return static_cast<const ZrMsgHeader*>(header)->length;
}

int cgi_reply_count(const void* header, size_t rec_size) {
  if (!header || rec_size == 0) return 0;
  return static_cast<int>(cgi_reply_length(header) / rec_size);
}
