#include "webdriver.h"

#include <json-c/json.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "core/cgi_json.h"
#include "core/text_codecs.h"
#include "web_server.h"

namespace {

constexpr char kChromium[] = "/usr/bin/chromium";
constexpr char kDriver[] = "/usr/bin/chromedriver";
// W3C key of an element reference.
constexpr char kElementKey[] = "element-6066-11e4-a52e-4f735466cecf";

std::string json_text(json_object* o) {
  return o ? json_object_to_json_string_ext(o, JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE) : "null";
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

std::string js_quote(const std::string& text) {
  JsonPtr s(json_object_new_string_len(text.data(), static_cast<int>(text.size())));
  return json_text(s.get());
}

std::string Browser::missing() {
  std::string what;
  if (access(kChromium, X_OK) != 0) what += std::string(kChromium) + " ";
  if (access(kDriver, X_OK) != 0) what += std::string(kDriver) + " ";
  if (what.empty()) return "";
  return what + "not installed (deploy/install-deps.sh installs chromium and chromium-driver)";
}

bool Browser::start(const std::string& download_dir) {
  quit();
  error_.clear();
  for (int attempt = 0; attempt < 3 && driver_pid_ < 0; ++attempt) {
    port_ = free_loopback_port();
    if (port_ == 0) continue;
    const pid_t pid = fork();
    if (pid == 0) {
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      const std::string port_arg = "--port=" + std::to_string(port_);
      execl(kDriver, "chromedriver", port_arg.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    driver_pid_ = pid;
    bool up = false;
    for (int i = 0; i < 250 && !up; ++i) {
      const int fd = connect_loopback_port(port_);
      if (fd >= 0) {
        close(fd);
        up = true;
        break;
      }
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {  // the port was taken meanwhile
        driver_pid_ = -1;
        break;
      }
      sleep_ms(20);
    }
    if (!up && driver_pid_ > 0) quit();
  }
  if (driver_pid_ < 0) {
    error_ = "chromedriver did not start";
    return false;
  }

  const char* args[] = {"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                        "--disable-dev-shm-usage", "--window-size=1280,900", "--no-first-run"};
  JsonPtr caps(json_object_new_object());
  JsonPtr chrome(json_object_new_object());
  json_object* list = json_object_new_array();
  for (const char* a : args) json_object_array_add(list, json_object_new_string(a));
  json_object_object_add(chrome.get(), "args", list);
  json_object_object_add(chrome.get(), "binary", json_object_new_string(kChromium));
  json_object* prefs = json_object_new_object();
  json_object_object_add(prefs, "download.default_directory", json_object_new_string(download_dir.c_str()));
  json_object_object_add(prefs, "download.prompt_for_download", json_object_new_boolean(0));
  json_object_object_add(prefs, "download.directory_upgrade", json_object_new_boolean(1));
  json_object_object_add(chrome.get(), "prefs", prefs);
  json_object* always = json_object_new_object();
  json_object_object_add(always, "browserName", json_object_new_string("chrome"));
  json_object_object_add(always, "goog:chromeOptions", chrome.release());
  json_object* capabilities = json_object_new_object();
  json_object_object_add(capabilities, "alwaysMatch", always);
  json_object_object_add(caps.get(), "capabilities", capabilities);

  const std::string value = command("POST", "/session", json_text(caps.get()));
  JsonPtr v(json_tokener_parse(value.c_str()));
  json_object* id = nullptr;
  if (!v || !json_object_object_get_ex(v.get(), "sessionId", &id)) {
    if (error_.empty()) error_ = "no browser session: " + value;
    return false;
  }
  session_ = json_object_get_string(id);
  // Downloads are allowed without asking, into download_dir.
  command("POST", "/session/" + session_ + "/goog/cdp/execute",
          R"({"cmd":"Browser.setDownloadBehavior","params":{"behavior":"allow","downloadPath":)" +
              js_quote(download_dir) + "}}");
  error_.clear();
  return true;
}

void Browser::quit() {
  if (!session_.empty() && driver_pid_ > 0) command("DELETE", "/session/" + session_);
  session_.clear();
  if (driver_pid_ > 0) {
    kill(driver_pid_, SIGTERM);
    int status = 0;
    waitpid(driver_pid_, &status, 0);
    driver_pid_ = -1;
  }
}

std::string Browser::command(const std::string& method, const std::string& path, const std::string& body) {
  HttpRequest req;
  req.method = method;
  req.version = "HTTP/1.1";
  req.target = path;
  if (method == "POST") {
    req.content_type = "application/json";
    req.body = body.empty() ? "{}" : body;
  }
  const HttpReply r = http_exchange(port_, req, 60000);
  if (r.status == 0) {
    error_ = method + " " + path + ": no answer from chromedriver";
    return "";
  }
  JsonPtr j(json_tokener_parse(r.body.c_str()));
  json_object* value = nullptr;
  if (!j || !json_object_object_get_ex(j.get(), "value", &value)) {
    error_ = method + " " + path + ": " + r.body.substr(0, 200);
    return "";
  }
  json_object* err = nullptr;
  if (r.status != 200 || (json_object_is_type(value, json_type_object) &&
                          json_object_object_get_ex(value, "error", &err))) {
    json_object* msg = nullptr;
    json_object_object_get_ex(value, "message", &msg);
    error_ = method + " " + path + ": " + (err ? json_object_get_string(err) : "") + " " +
             (msg ? std::string(json_object_get_string(msg)).substr(0, 300) : "");
    return "";
  }
  return json_text(value);
}

bool Browser::go(const std::string& url) {
  return !command("POST", "/session/" + session_ + "/url", "{\"url\":" + js_quote(url) + "}").empty();
}

bool Browser::refresh() { return !command("POST", "/session/" + session_ + "/refresh").empty(); }

std::string Browser::eval(const std::string& script) {
  return command("POST", "/session/" + session_ + "/execute/sync",
                 "{\"script\":" + js_quote(script) + ",\"args\":[]}");
}

bool Browser::wait_for(const std::string& expression, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  const std::string script = "try { return !!(" + expression + "); } catch (e) { return false; }";
  for (;;) {
    if (eval(script) == "true") return true;
    if (std::chrono::steady_clock::now() >= end) {
      error_ = "waited in vain for: " + expression;
      return false;
    }
    sleep_ms(50);
  }
}

std::string Browser::element(const std::string& css) {
  const std::string v = command("POST", "/session/" + session_ + "/element",
                                "{\"using\":\"css selector\",\"value\":" + js_quote(css) + "}");
  JsonPtr j(json_tokener_parse(v.c_str()));
  json_object* id = nullptr;
  if (!j || !json_object_object_get_ex(j.get(), kElementKey, &id)) return "";
  return json_object_get_string(id);
}

bool Browser::click(const std::string& css) {
  const std::string id = element(css);
  return !id.empty() && !command("POST", "/session/" + session_ + "/element/" + id + "/click").empty();
}

bool Browser::type(const std::string& css, const std::string& text) {
  const std::string id = element(css);
  if (id.empty()) return false;
  const std::string base = "/session/" + session_ + "/element/" + id;
  return !command("POST", base + "/clear").empty() &&
         !command("POST", base + "/value", "{\"text\":" + js_quote(text) + "}").empty();
}

std::string Browser::text(const std::string& css) {
  const std::string id = element(css);
  if (id.empty()) return "";
  JsonPtr j(json_tokener_parse(command("GET", "/session/" + session_ + "/element/" + id + "/text").c_str()));
  return j && json_object_is_type(j.get(), json_type_string) ? json_object_get_string(j.get()) : "";
}

bool Browser::screenshot(const std::string& png_path) {
  JsonPtr j(json_tokener_parse(command("GET", "/session/" + session_ + "/screenshot").c_str()));
  if (!j || !json_object_is_type(j.get(), json_type_string)) return false;
  std::vector<uint8_t> png;
  if (zr_base64_decode(json_object_get_string(j.get()), &png, 64u << 20) <= 0) {
    error_ = "screenshot: not base64";
    return false;
  }
  std::ofstream out(png_path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  return out.good();
}

bool Browser::set_window(int width, int height) {
  return !command("POST", "/session/" + session_ + "/window/rect",
                  "{\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) + "}")
              .empty();
}
