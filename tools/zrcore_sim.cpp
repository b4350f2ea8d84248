// zrcore-sim [--root DIR] [--script FILE] [--journal FILE]
//
// Listens on <NVR_ROOT>/var/run/zrsocket and answers each request frame.
// --journal appends "<request id> <payload as lower-case hex>" per request,
// in arrival order. --script overrides replies per request id, one rule a
// line ('#' starts a comment):
//   <id> reply [type=<t>] [hex=<payload>] [delay=<ms>]  one reply (several
//                                                      lines: several replies)
//   <id> none        no reply
//   <id> malformed   garbage bytes instead of a frame
//   <id> truncated   a header announcing 64 bytes, 8 bytes, then close
//   <id> oversize    a header announcing more than any reply may hold
//   <id> close       close the connection without a reply
#include "tools/zrcore_sim.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "core/paths.h"
#include "platform/sockio.h"
#include "platform/zrsocket.h"

namespace {
std::map<int, SimReplyFn>& module_rows() {
  static std::map<int, SimReplyFn> rows;
  return rows;
}
std::map<int, SimStreamFn>& stream_rows() {
  static std::map<int, SimStreamFn> rows;
  return rows;
}

enum class Special { None, NoReply, Malformed, Truncated, Oversize, Close };
struct ScriptRule {
  Special special = Special::None;
  std::vector<SimReply> replies;
};

std::map<int, ScriptRule> g_script;
std::mutex g_state_mutex;   // module reply functions run one at a time
std::mutex g_journal_mutex;
FILE* g_journal = nullptr;

bool parse_hex(const std::string& hex, Bytes* out) {
  if (hex.size() % 2) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    char buf[3] = {hex[i], hex[i + 1], 0};
    char* end = nullptr;
    long v = std::strtol(buf, &end, 16);
    if (*end) return false;
    out->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

bool load_script(const char* path) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    int id = 0;
    std::string action;
    if (!(words >> id >> action)) continue;
    ScriptRule& rule = g_script[id];
    if (action == "none") rule.special = Special::NoReply;
    else if (action == "malformed") rule.special = Special::Malformed;
    else if (action == "truncated") rule.special = Special::Truncated;
    else if (action == "oversize") rule.special = Special::Oversize;
    else if (action == "close") rule.special = Special::Close;
    else if (action == "reply") {
      SimReply r;
      r.type = id + 5000;
      std::string opt;
      while (words >> opt) {
        size_t eq = opt.find('=');
        std::string key = opt.substr(0, eq), val = eq == std::string::npos ? "" : opt.substr(eq + 1);
        if (key == "type") r.type = std::atoi(val.c_str());
        else if (key == "delay") r.delay_ms = std::atoi(val.c_str());
        else if (key == "hex" && !parse_hex(val, &r.payload)) {
          std::fprintf(stderr, "zrcore-sim: bad hex in script: %s\n", val.c_str());
          return false;
        }
      }
      rule.replies.push_back(r);
    } else {
      std::fprintf(stderr, "zrcore-sim: unknown script action: %s\n", action.c_str());
      return false;
    }
  }
  return true;
}

void journal(int id, const Bytes& payload) {
  if (!g_journal) return;
  static const char digits[] = "0123456789abcdef";
  std::string line = std::to_string(id) + " ";
  for (uint8_t b : payload) {
    line += digits[b >> 4];
    line += digits[b & 15];
  }
  line += '\n';
  std::lock_guard<std::mutex> lock(g_journal_mutex);
  std::fputs(line.c_str(), g_journal);
  std::fflush(g_journal);
}

ZrMsgHeader make_header(int32_t seq, int type, uint32_t length) {
  ZrMsgHeader h{};
  std::memcpy(h.magic, "ZRSK", 4);
  h.version = 1;
  h.seq = seq;
  h.type = type;
  h.length = length;
  return h;
}

bool send_reply(int fd, int32_t seq, const SimReply& r) {
  if (r.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(r.delay_ms));
  ZrMsgHeader h = make_header(seq, r.type, static_cast<uint32_t>(r.payload.size()));
  Bytes frame(sizeof h);
  std::memcpy(frame.data(), &h, sizeof h);
  frame.insert(frame.end(), r.payload.begin(), r.payload.end());
  return send_all(fd, frame.data(), frame.size());
}

// Handles one request; false when the connection is to be closed.
bool answer(int fd, const ZrMsgHeader& req, const Bytes& payload) {
  auto it = g_script.find(req.type);
  if (it != g_script.end()) {
    const ScriptRule& rule = it->second;
    switch (rule.special) {
      case Special::NoReply: return true;
      case Special::Close: return false;
      case Special::Malformed: {
        const char junk[] = "this is not a frame at all, just noise....";
        send_all(fd, junk, sizeof junk);
        return true;
      }
      case Special::Truncated: {
        ZrMsgHeader h = make_header(req.seq, req.type + 5000, 64);
        send_all(fd, &h, sizeof h);
        send_all(fd, "12345678", 8);
        return false;
      }
      case Special::Oversize: {
        ZrMsgHeader h = make_header(req.seq, req.type + 5000, ZR_SOCK_MAX_PAYLOAD + 1);
        send_all(fd, &h, sizeof h);
        return true;
      }
      case Special::None:
        for (const SimReply& r : rule.replies)
          if (!send_reply(fd, req.seq, r)) return false;
        return true;
    }
  }
  auto stream = stream_rows().find(req.type);
  if (stream != stream_rows().end()) {
    bool alive = true;
    stream->second(req.type, payload,
                   [&](int type, const void* head, size_t head_len, const void* body, size_t body_len) {
                     ZrMsgHeader h = make_header(req.seq, type, static_cast<uint32_t>(head_len + body_len));
                     alive = alive && send_all(fd, &h, sizeof h) && (!head_len || send_all(fd, head, head_len)) &&
                             (!body_len || send_all(fd, body, body_len));
                     return alive;
                   });
    return alive;
  }
  std::vector<SimReply> replies;
  {
    std::lock_guard<std::mutex> lock(g_state_mutex);
    auto row = module_rows().find(req.type);
    if (row != module_rows().end())
      row->second(req.type, payload, &replies);
    else
      sim_reply_status(&replies, req.type, 0);
  }
  for (const SimReply& r : replies)
    if (!send_reply(fd, req.seq, r)) return false;
  return true;
}

void serve(int fd) {
  for (;;) {
    ZrMsgHeader h;
    if (!recv_exact(fd, &h, sizeof h)) break;
    if (std::memcmp(h.magic, "ZRSK", 4) != 0 || h.length > ZR_SOCK_MAX_PAYLOAD) break;
    Bytes payload(h.length);
    if (h.length && !recv_exact(fd, payload.data(), h.length)) break;
    journal(h.type, payload);
    if (!answer(fd, h, payload)) break;
  }
  close(fd);
}

volatile sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

void make_dirs(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
  }
}
}  // namespace

SimModule::SimModule(const SimRow* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) module_rows()[rows[i].req_id] = rows[i].fn;
}

SimStreamModule::SimStreamModule(const SimStreamRow* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) stream_rows()[rows[i].req_id] = rows[i].fn;
}

void sim_reply(std::vector<SimReply>* replies, int req_id, Bytes payload) {
  SimReply r;
  r.type = req_id + 5000;
  r.payload = std::move(payload);
  replies->push_back(std::move(r));
}

void sim_reply_status(std::vector<SimReply>* replies, int req_id, int32_t status) {
  sim_reply(replies, req_id, sim_bytes(status));
}

int main(int argc, char** argv) {
  const char* script = nullptr;
  const char* journal_path = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--root" && i + 1 < argc) setenv("NVR_ROOT", argv[++i], 1);
    else if (a == "--script" && i + 1 < argc) script = argv[++i];
    else if (a == "--journal" && i + 1 < argc) journal_path = argv[++i];
    else {
      std::fprintf(stderr, "usage: zrcore-sim [--root DIR] [--script FILE] [--journal FILE]\n");
      return 2;
    }
  }
  if (script && !load_script(script)) {
    std::fprintf(stderr, "zrcore-sim: cannot load script %s\n", script);
    return 2;
  }
  if (journal_path && !(g_journal = std::fopen(journal_path, "a"))) {
    std::fprintf(stderr, "zrcore-sim: cannot open journal %s\n", journal_path);
    return 2;
  }

  const std::string path = nvr_path(ZR_SOCK_PATH);
  make_dirs(path);
  unlink(path.c_str());
  int lfd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (lfd < 0 || path.size() >= sizeof addr.sun_path) {
    std::fprintf(stderr, "zrcore-sim: socket path too long: %s\n", path.c_str());
    return 1;
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  if (bind(lfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(lfd, 64) != 0) {
    std::perror("zrcore-sim: bind");
    return 1;
  }
  chmod(path.c_str(), 0666);

  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // Serving threads start with the stop signals blocked, so they reach the
  // main thread; its wait for a connection also wakes every 100 ms to look
  // at the stop flag, so a signal that lands between the check and the wait
  // cannot leave it blocked.
  sigset_t stop, old;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  while (!g_stop) {
    pollfd p{lfd, POLLIN, 0};
    int ready = poll(&p, 1, 100);
    if (ready <= 0) {
      if (ready < 0 && errno != EINTR) break;
      continue;
    }
    int fd = accept(lfd, nullptr, nullptr);
    if (fd < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      break;
    }
    pthread_sigmask(SIG_BLOCK, &stop, &old);
    std::thread(serve, fd).detach();
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
  }
  close(lfd);
  unlink(path.c_str());
  return 0;
}
