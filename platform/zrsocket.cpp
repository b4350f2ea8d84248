#include "platform/zrsocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/paths.h"
#include "platform/sockio.h"

namespace {
struct Connection {
  int fd = -1;
  std::thread reader;
  ZrSockCallback cb = nullptr;
  void* ctx = nullptr;
  std::string path;
  std::atomic<bool> closing{false};
  int32_t seq = 0;
};

Connection g_conn;
std::mutex g_send_mutex;

// How long zr_sock_uninit waits for the daemon to take the last messages.
constexpr int kCloseWaitMs = 2000;

// Reads exactly len bytes. 1 on success, 0 at a clean end of stream before
// the first byte, -1 on error, timeout while closing or a cut-off frame.
int read_exact(int fd, void* buf, size_t len, const std::atomic<bool>& closing) {
  size_t got = 0;
  auto close_deadline = std::chrono::steady_clock::time_point::max();
  while (got < len) {
    pollfd p{fd, POLLIN, 0};
    int rc = poll(&p, 1, 100);
    if (rc < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (rc == 0) {
      if (closing.load()) {
        auto now = std::chrono::steady_clock::now();
        if (close_deadline == std::chrono::steady_clock::time_point::max())
          close_deadline = now + std::chrono::milliseconds(kCloseWaitMs);
        else if (now >= close_deadline)
          return -1;
      }
      continue;
    }
    ssize_t n = recv(fd, static_cast<char*>(buf) + got, len - got, 0);
    if (n == 0) return got == 0 ? 0 : -1;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    got += static_cast<size_t>(n);
  }
  return 1;
}

bool header_valid(const ZrMsgHeader& h) {
  return std::memcmp(h.magic, "ZRSK", 4) == 0 && h.version == 1 && h.length <= ZR_SOCK_MAX_PAYLOAD;
}

// Reads frames until the connection ends. A connection that the daemon
// closed, or that carried a frame that cannot be read, is reported to the
// callback with a null header and payload, unless this side is closing it.
void reader_loop(int fd, ZrSockCallback cb, void* ctx) {
  std::vector<char> payload;
  for (;;) {
    ZrMsgHeader h;
    if (read_exact(fd, &h, sizeof h, g_conn.closing) != 1) break;
    if (!header_valid(h)) break;  // garbage: stop reading this connection
    // One spare zero byte after the payload, so a text payload is always
    // terminated for the callback.
    // The buffer only grows, and is not cleared: a download's stream of
    // large replies is not zero-filled once per reply.
    if (payload.size() < static_cast<size_t>(h.length) + 1) payload.resize(static_cast<size_t>(h.length) + 1);
    payload[h.length] = 0;
    if (h.length && read_exact(fd, payload.data(), h.length, g_conn.closing) != 1) break;
    if (cb) cb(ctx, &h, payload.data());
  }
  if (cb && !g_conn.closing.load()) cb(ctx, nullptr, nullptr);
}

bool open_connection() {
  int fd = unix_connect(g_conn.path);
  if (fd < 0) return false;
  g_conn.fd = fd;
  g_conn.closing = false;
  g_conn.reader = std::thread(reader_loop, fd, g_conn.cb, g_conn.ctx);
  return true;
}
}  // namespace

int zr_sock_init(ZrSockCallback cb, void* ctx, int /*mode*/, const char* path) {
  zr_sock_uninit();
  g_conn.cb = cb;
  g_conn.ctx = ctx;
  g_conn.path = nvr_path(path ? path : ZR_SOCK_PATH);
  return open_connection() ? 0 : -1;
}

int zr_sock_send_msg(int /*dest*/, int type, const void* payload, int len, uint64_t /*extra*/) {
  std::lock_guard<std::mutex> lock(g_send_mutex);
  if (len < 0 || static_cast<uint32_t>(len) > ZR_SOCK_MAX_PAYLOAD || (len > 0 && !payload)) return -1;
  if (g_conn.fd < 0) {
    if (g_conn.path.empty() || !open_connection()) return -1;
  }
  std::vector<char> frame(sizeof(ZrMsgHeader) + static_cast<size_t>(len));
  ZrMsgHeader h{};
  std::memcpy(h.magic, "ZRSK", 4);
  h.version = 1;
  h.seq = ++g_conn.seq;
  h.type = type;
  h.flags = 0;
  h.length = static_cast<uint32_t>(len);
  std::memcpy(frame.data(), &h, sizeof h);
  if (len > 0) std::memcpy(frame.data() + sizeof h, payload, static_cast<size_t>(len));
  if (!send_all(g_conn.fd, frame.data(), frame.size())) {
    // The daemon went away: drop this connection so the next try reconnects
    // (not reported to the callback: the caller sees the failed send).
    g_conn.closing = true;
    shutdown(g_conn.fd, SHUT_RDWR);
    if (g_conn.reader.joinable()) g_conn.reader.join();
    close(g_conn.fd);
    g_conn.fd = -1;
    g_conn.closing = false;
    return -1;
  }
  return 0;
}

int zr_sock_uninit() {
  if (g_conn.fd < 0) return 0;
  // Half-close and let the reader run until the daemon closes its side: by
  // then the daemon has taken every message sent on this connection, so
  // messages of successive connections reach it in the order they were sent.
  g_conn.closing = true;
  shutdown(g_conn.fd, SHUT_WR);
  if (g_conn.reader.joinable()) g_conn.reader.join();
  close(g_conn.fd);
  g_conn.fd = -1;
  g_conn.closing = false;
  return 0;
}
