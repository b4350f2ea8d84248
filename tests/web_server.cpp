#include "web_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point end) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

int connect_loopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A port nobody listens on right now (the kernel's choice).
int free_port() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

}  // namespace

int free_loopback_port() { return free_port(); }
int connect_loopback_port(int port) { return connect_loopback(port); }

namespace {

bool copy_file(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  out.close();
  return in.good() && out.good() && chmod(to.c_str(), 0755) == 0;
}

std::string find_lighttpd() {
  for (const char* p : {"/usr/sbin/lighttpd", "/usr/bin/lighttpd", "/usr/local/sbin/lighttpd"})
    if (access(p, X_OK) == 0) return p;
  return "";
}

}  // namespace

std::string HttpReply::header(const std::string& name) const {
  std::istringstream in(headers);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon != name.size()) continue;
    if (strncasecmp(line.c_str(), name.c_str(), name.size()) != 0) continue;
    size_t v = colon + 1;
    while (v < line.size() && line[v] == ' ') ++v;
    return line.substr(v);
  }
  return "";
}

HttpReply http_exchange(int port, const HttpRequest& req, int timeout_ms) {
  HttpReply reply;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  int fd = connect_loopback(port);
  if (fd < 0) return reply;
  std::string raw = req.method + " " + req.target + " " + req.version + "\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  if (!req.cookie.empty()) raw += "Cookie: " + req.cookie + "\r\n";
  if (!req.content_type.empty()) raw += "Content-Type: " + req.content_type + "\r\n";
  if (req.method == "POST" || !req.body.empty()) raw += "Content-Length: " + std::to_string(req.body.size()) + "\r\n";
  raw += "\r\n" + req.body;
  size_t sent = 0;
  while (sent < raw.size()) {
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, remaining_ms(end)) <= 0) break;
    ssize_t n = send(fd, raw.data() + sent, raw.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string in;
  char buf[65536];
  size_t want = std::string::npos;  // whole reply size, once the headers tell it
  while (in.size() < want) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, remaining_ms(end)) <= 0) {
      close(fd);
      return reply;  // timed out: no reply
    }
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    in.append(buf, static_cast<size_t>(n));
    const size_t end_of_head = in.find("\r\n\r\n");
    if (want == std::string::npos && end_of_head != std::string::npos) {
      HttpReply head;
      const size_t eol = in.find("\r\n");
      head.headers = in.substr(eol + 2, end_of_head > eol + 2 ? end_of_head - eol - 2 : 0);
      const std::string length = head.header("Content-Length");
      if (!length.empty()) want = end_of_head + 4 + std::strtoul(length.c_str(), nullptr, 10);
    }
  }
  close(fd);
  const size_t head_end = in.find("\r\n\r\n");
  if (head_end == std::string::npos || in.compare(0, 5, "HTTP/") != 0) return reply;
  const size_t sp = in.find(' ');
  reply.status = std::atoi(in.c_str() + sp + 1);
  const size_t first_eol = in.find("\r\n");
  reply.headers = in.substr(first_eol + 2, head_end > first_eol + 2 ? head_end - first_eol - 2 : 0);
  reply.body = in.substr(head_end + 4);
  return reply;
}

bool WebServer::start(const std::map<std::string, std::string>& cgi_env) {
  const std::string lighttpd = find_lighttpd();
  if (lighttpd.empty()) {
    why_ = "lighttpd is not installed (deploy/install-deps.sh installs it)";
    return false;
  }
  const std::string& root = env_.root();
  for (const char* d : {"/www/cgi-bin", "/run"}) std::system(("mkdir -p '" + root + d + "'").c_str());
  if (!copy_file(WEBCGI_PATH, root + "/www/cgi-bin/webcgi")) {
    why_ = "cannot copy webcgi";
    return false;
  }
  env_.write_file("/www/index.html", "<html><body>test</body></html>\n");
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = free_port();
    const std::string conf = root + "/run/lighttpd.conf";
    const std::string cmd = "bash '" NVR_SOURCE_DIR "/deploy/lighttpd-conf.sh' '" + root + "' " +
                            std::to_string(port_) + " > '" + conf + "'";
    if (port_ == 0 || std::system(cmd.c_str()) != 0) continue;
    if (!cgi_env.empty()) {
      std::ofstream extra(conf, std::ios::app);
      extra << "setenv.add-environment += (";
      bool first = true;
      for (const auto& [k, v] : cgi_env) {
        extra << (first ? "" : ", ") << '"' << k << "\" => \"" << v << '"';
        first = false;
      }
      extra << ")\n";
    }
    pid_t pid = fork();
    if (pid == 0) {
      // Quiet: lighttpd's own notes go to its error log.
      freopen("/dev/null", "w", stdout);
      execl(lighttpd.c_str(), "lighttpd", "-D", "-f", conf.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    pid_ = pid;
    for (int i = 0; i < 300; ++i) {
      int fd = connect_loopback(port_);
      if (fd >= 0) {
        close(fd);
        return true;
      }
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {  // exited: the port was taken meanwhile
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop();
  }
  why_ = "lighttpd did not start (see " + root + "/run/lighttpd-error.log)";
  return false;
}

void WebServer::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

HttpReply WebServer::get(const std::string& name, const std::string& query, const std::string& cookie) const {
  HttpRequest r;
  r.target = "/cgi-bin/webcgi" + name + (query.empty() ? "" : "?" + query);
  r.cookie = cookie;
  return http_exchange(port_, r);
}

HttpReply WebServer::post_json(const std::string& name, const std::string& body, const std::string& cookie) const {
  HttpRequest r;
  r.method = "POST";
  r.target = "/cgi-bin/webcgi" + name;
  r.cookie = cookie;
  r.content_type = "application/json";
  r.body = body;
  return http_exchange(port_, r);
}

std::string session_cookie(const HttpReply& login, const std::string& user) {
  std::smatch id;
  static const std::regex kId("\"sessionId\":\"([0-9]{32})\"");
  if (login.status != 200 || !std::regex_search(login.body, id, kId)) return "";
  return "userName=" + user + "; sessionId=" + id[1].str();
}
