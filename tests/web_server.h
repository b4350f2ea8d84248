// The handler behind a real web server: lighttpd started with the demo's
// configuration on a free loopback port, serving the built webcgi from the
// temporary root of an E2eEnv, and a small HTTP/1.0 client to talk to it.
#pragma once
#include <map>
#include <string>

#include "e2e_harness.h"

struct HttpReply {
  int status = 0;           // 0: no reply (connection failed or timed out)
  std::string headers;      // the header block, without the blank line
  std::string body;
  std::string header(const std::string& name) const;  // first value, "" when absent
};

struct HttpRequest {
  std::string method = "GET";
  std::string version = "HTTP/1.0";  // "HTTP/1.1" servers may keep the connection: see http_exchange
  std::string target;  // "/cgi-bin/webcgi/<name>?query"
  std::string cookie;
  std::string content_type;
  std::string body;
};

// One request on its own connection ("Connection: close"); timeout_ms bounds
// the whole exchange. The reply ends where the server closes, or once the
// body holds the Content-Length the headers announced.
HttpReply http_exchange(int port, const HttpRequest& req, int timeout_ms = 30000);

// A loopback TCP port nobody listens on right now (the kernel's choice), or 0.
int free_loopback_port();
// A connected loopback socket to port, or -1.
int connect_loopback_port(int port);

// lighttpd in the foreground as a child process. start() copies the built
// webcgi to <root>/www/cgi-bin/, writes the demo configuration (plus the
// extra CGI environment variables given) and waits until the port answers.
class WebServer {
 public:
  explicit WebServer(const E2eEnv& env) : env_(env) {}
  ~WebServer() { stop(); }
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // False, with the reason in why(), when lighttpd cannot be started here.
  bool start(const std::map<std::string, std::string>& cgi_env = {});
  void stop();
  int port() const { return port_; }
  const std::string& why() const { return why_; }

  // Requests to /cgi-bin/webcgi/<name>.
  HttpReply get(const std::string& name, const std::string& query, const std::string& cookie = "") const;
  HttpReply post_json(const std::string& name, const std::string& body, const std::string& cookie = "") const;

 private:
  const E2eEnv& env_;
  int pid_ = -1;
  int port_ = 0;
  std::string why_;
};

// "userName=<user>; sessionId=<id>" from the session id a login answered;
// "" when the login gave none.
std::string session_cookie(const HttpReply& login, const std::string& user);
