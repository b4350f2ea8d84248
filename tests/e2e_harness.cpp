#include "e2e_harness.h"

#include "core/access.h"
#include "core/cgi_util.h"
#include "core/clock.h"
#include "core/session.h"
#include "core/strutil.h"
#include "platform/sockio.h"
#include "temp_dir.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {
void make_dirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i)
    if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

// Emulator prefix for cross-built test runs (e.g. "qemu-arm -L /usr/...").
std::vector<std::string> emulator_words() {
  std::vector<std::string> words;
  const char* e = std::getenv("NVR_TEST_EMULATOR");
  if (!e) return words;
  std::istringstream in(e);
  std::string w;
  while (in >> w) words.push_back(w);
  return words;
}

void exec_with(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<char*> argv, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  execve(argv[0], argv.data(), envp.data());
  _exit(127);
}
}  // namespace

const char kDefaultSessionId[] = "31415926535897932384626433832795";
const char kDefaultCookie[] = "userName=admin; sessionId=31415926535897932384626433832795";

OperationLogInfo expected_log_record(long long sub_type, int param, int channel) {
  OperationLogInfo info;
  std::memset(&info, 0, sizeof info);
  info.main_type = 4;
  info.one = 1;
  info.sub_type = sub_type;
  info.param = param;
  info.channel = channel;
  std::strncpy(info.client_addr, "127.0.0.1", sizeof info.client_addr - 1);
  std::strncpy(info.user_name, "admin", sizeof info.user_name - 1);
  return info;
}

std::string to_hex(const void* data, size_t len) {
  static const char digits[] = "0123456789abcdef";
  const unsigned char* p = static_cast<const unsigned char*>(data);
  std::string out;
  for (size_t i = 0; i < len; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

CgiRequest file_upload(const std::string& name, const std::string& file_name, const std::string& content,
                       const std::string& query, const std::string& content_type) {
  static const std::string b = "------------------------3b1f0c9d2a7e5584";
  CgiRequest r;
  r.method = "POST";
  r.path_info = name;
  r.query = query;
  r.content_type = "multipart/form-data; boundary=" + b;
  r.body = "--" + b + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + file_name +
           "\"\r\nContent-Type: " + content_type + "\r\n\r\n" + content + "\r\n--" + b + "--\r\n";
  return r;
}

E2eEnv::E2eEnv() {
  root_ = make_temp_dir("nvr-e2e");
  if (root_.empty()) throw std::runtime_error("mkdtemp failed");
  for (const char* d : {"/tmp", "/var/run", "/mnt/nand/app", "/mnt/nand2", "/bin", "/calls", "/dev/shm"})
    make_dirs(root_ + d);
  seed_admin_session(static_cast<long long>(nvr_uptime()));
}

void E2eEnv::seed_admin_session(long long t) const {
  SessionRecord rec;
  std::memset(&rec, 0, sizeof rec);
  copy_field(rec.id, kDefaultSessionId);
  copy_field(rec.user, "admin");
  copy_field(rec.addr, "127.0.0.1");
  rec.user_id = 0;
  rec.level = 0;
  rec.rights = ACCESS_ALL_RIGHTS;
  rec.created = t;
  rec.last_used = t;
  if (session_put_in(root_ + SESSION_STORE_PATH, rec) != 0) throw std::runtime_error("cannot seed the session");
}

E2eEnv::~E2eEnv() {
  stop_sim();
  std::string cmd = "rm -rf '" + root_ + "'";
  if (std::system(cmd.c_str()) != 0) {
  }
}

void E2eEnv::write_file(const std::string& abs, const std::string& content) const {
  std::string p = path(abs);
  make_dirs(p.substr(0, p.rfind('/')));
  std::ofstream(p, std::ios::binary) << content;
}

std::string E2eEnv::read_file(const std::string& abs) const {
  std::ifstream in(path(abs), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool E2eEnv::exists(const std::string& abs) const {
  struct stat st {};
  return ::stat(path(abs).c_str(), &st) == 0;
}

void E2eEnv::start_sim(const std::string& script) {
  stop_sim();
  std::vector<std::string> args = emulator_words();
  args.push_back(ZRCORE_SIM_PATH);
  args.insert(args.end(), {"--root", root_, "--journal", root_ + "/journal.txt"});
  if (!script.empty()) {
    write_file("/sim-script.txt", script);
    args.insert(args.end(), {"--script", root_ + "/sim-script.txt"});
  }
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<std::string> env = {"PATH=/usr/bin:/bin"};
    exec_with(args, env);
  }
  sim_pid_ = pid;
  const std::string sock = root_ + "/var/run/zrsocket";
  for (int i = 0; i < 500; ++i) {
    if (unix_socket_ready(sock)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  throw std::runtime_error("zrcore-sim did not start");
}

void E2eEnv::stop_sim(int sig) {
  if (sim_pid_ <= 0) return;
  kill(sim_pid_, sig);
  int status = 0;
  waitpid(sim_pid_, &status, 0);
  sim_pid_ = -1;
}

std::vector<std::string> E2eEnv::journal() const {
  std::vector<std::string> lines;
  std::ifstream in(root_ + "/journal.txt");
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> E2eEnv::journal_of(int id) const {
  std::vector<std::string> out;
  const std::string prefix = std::to_string(id) + " ";
  for (const auto& l : journal())
    if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l.substr(prefix.size()));
  return out;
}

bool E2eEnv::seed_db() const { return run_tool(ZRDB_TOOL_PATH, {"seed"}).exit_code == 0; }

void E2eEnv::add_stub(const std::string& name, const std::string& script_body) const {
  const std::string p = root_ + "/bin/" + name;
  std::ofstream(p) << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" << root_ << "/calls/" << name << "'\n"
                   << script_body << "\n";
  chmod(p.c_str(), 0755);
}

std::string E2eEnv::stub_calls(const std::string& name) const { return read_file("/calls/" + name); }

CgiResult E2eEnv::run_tool(const std::string& program, const std::vector<std::string>& args) const {
  CgiRequest req;
  req.anonymous = true;
  return run_program(req, program, args);
}

CgiResult E2eEnv::run(const CgiRequest& req, const std::string& program) const {
  return run_program(req, program.empty() ? WEBCGI_PATH : program, {});
}

CgiResult E2eEnv::run_program(const CgiRequest& req, const std::string& program,
                              const std::vector<std::string>& extra_args) const {
  std::vector<std::string> env = {
      "NVR_ROOT=" + root_,
      "PATH=" + root_ + "/bin:/usr/bin:/bin",
      "GATEWAY_INTERFACE=CGI/1.1",
      "SERVER_PROTOCOL=HTTP/1.1",
      "REMOTE_ADDR=127.0.0.1",
      "REQUEST_METHOD=" + req.method,
      "PATH_INFO=" + req.path_info,
      "QUERY_STRING=" + req.query,
      "NVR_IPC_WAIT_MS=3000",
  };
  if (!req.content_type.empty()) env.push_back("CONTENT_TYPE=" + req.content_type);
  if (req.send_content_length) env.push_back("CONTENT_LENGTH=" + std::to_string(req.body.size()));
  if (!req.anonymous) env.push_back("HTTP_COOKIE=" + (req.cookie.empty() ? std::string(kDefaultCookie) : req.cookie));
  for (const auto& kv : req.env) {
    const std::string prefix = kv.first + "=";
    bool replaced = false;
    for (auto& e : env)
      if (e.compare(0, prefix.size(), prefix) == 0) {
        e = prefix + kv.second;
        replaced = true;
      }
    if (!replaced) env.push_back(prefix + kv.second);
  }
  for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char* v = std::getenv(keep)) env.push_back(std::string(keep) + "=" + v);

  // A request at a fixed boot-time clock finds the default session just
  // used then.
  if (!req.anonymous && req.cookie.empty()) {
    auto fixed = req.env.find("NVR_FIXED_UPTIME");
    if (fixed != req.env.end()) seed_admin_session(std::strtoll(fixed->second.c_str(), nullptr, 10));
  }

  std::vector<std::string> args = emulator_words();
  args.push_back(program);
  args.insert(args.end(), extra_args.begin(), extra_args.end());

  int in_pipe[2], out_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    close(in_pipe[0]);
    close(in_pipe[1]);
    close(out_pipe[0]);
    if (req.stdout_file.empty()) {
      dup2(out_pipe[1], 1);
      close(out_pipe[1]);
    } else {
      // The pipe stays open (unused) so its end still tells when the run ends.
      const int fd = open(req.stdout_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd < 0) _exit(126);
      dup2(fd, 1);
      close(fd);
    }
    exec_with(args, env);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  signal(SIGPIPE, SIG_IGN);

  // Feed the body and collect the output together, so neither side blocks.
  CgiResult result;
  size_t written = 0;
  int in_fd = in_pipe[1];
  const int stdin_writer = in_fd;
  if (req.body.empty()) {
    if (!req.keep_stdin_open) close(in_fd);
    in_fd = -1;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool signalled = false;
  for (;;) {
    pollfd fds[2];
    int n = 0;
    const bool hold = !req.hold_output_until.empty() && access(req.hold_output_until.c_str(), F_OK) != 0;
    fds[n++] = {hold ? -1 : out_pipe[0], POLLIN, 0};
    if (in_fd >= 0) fds[n++] = {in_fd, POLLOUT, 0};
    if (poll(fds, static_cast<nfds_t>(n), 200) < 0) continue;
    if (in_fd >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t w = write(in_fd, req.body.data() + written, req.body.size() - written);
      if (w > 0) written += static_cast<size_t>(w);
      if (w <= 0 || written == req.body.size()) {
        if (!req.keep_stdin_open) close(in_fd);
        in_fd = -1;
      }
    }
    if (!hold && (fds[0].revents & (POLLIN | POLLHUP))) {
      char buf[4096];
      ssize_t r = read(out_pipe[0], buf, sizeof buf);
      if (r <= 0) break;
      result.out.append(buf, static_cast<size_t>(r));
    }
    if (req.signal && !signalled && in_fd < 0 && written == req.body.size() &&
        (!req.signal_when || req.signal_when())) {
      kill(pid, req.signal);
      signalled = true;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
  }
  if (in_fd >= 0) close(in_fd);
  if (req.keep_stdin_open) close(stdin_writer);
  close(out_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (!req.stdout_file.empty()) {
    std::ifstream file(req.stdout_file, std::ios::binary);
    result.out.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  return result;
}
