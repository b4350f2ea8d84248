// The body of the handler fuzz target, shared by the libFuzzer program and
// the regression replay test. Every request handler runs in-process inside
// a private NVR_ROOT whose configuration store was seeded once by the built
// zrdb tool and is put back as it was after every run. zrcore-sim, started
// once as a child process, answers on the root's socket from its reply
// tables; NVR_IPC_WAIT_MS keeps every missing reply short. Programs the
// handlers start find only the stand-ins of <root>/stubbin on PATH.
//
// A run fails when a file turns up in the guard folder (the working folder
// and TMPDIR of a run), when the stand-in folder changes, or when the file
// guard of the libFuzzer program (fuzz_handlers.cpp) saw a path outside the
// root; sanitizer reports and aborts end the process themselves.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cgi/cgic.h"
#include "cgi/dispatchreq.h"
#include "core/access.h"
#include "core/clock.h"
#include "core/strutil.h"
#include "core/paths.h"
#include "core/session.h"
#include "platform/zrdb.h"
#include "tests/temp_dir.h"

namespace fuzz {

// What the file guard of the libFuzzer program checks: set while a handler
// runs. The replay test has no file guard; it relies on the guard folder.
struct FileGuard {
  bool installed = false;  // the program has the guard (fuzz_handlers.cpp)
  bool active = false;
  std::string root;        // NVR_ROOT with a trailing '/'
  std::string fault;       // the first path refused in this run
};
inline FileGuard& file_guard() {
  static FileGuard g;
  return g;
}

inline void write_file(const std::string& path, const std::string& text, mode_t mode = 0644) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  chmod(path.c_str(), mode);
}

inline std::string read_all(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
  }
  return out;
}

inline std::vector<std::string> entries_of(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* de = readdir(d))
      if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0) names.push_back(de->d_name);
    closedir(d);
  }
  return names;
}

inline void remove_tree(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    for (const std::string& e : entries_of(path)) remove_tree(path + "/" + e);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

// The files of the root below `rel` (folders with a trailing '/'), leaving
// out the parts the harness owns.
inline void list_tree(const std::string& root, const std::string& rel, std::map<std::string, std::string>* out,
                      bool with_content) {
  for (const std::string& e : entries_of(root + rel)) {
    const std::string r = rel + "/" + e;
    if (r == "/guard" || r == "/stubbin" || r == "/var/run" || r == "/sim.log") continue;
    struct stat st {};
    if (lstat((root + r).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      (*out)[r + "/"] = "";
      list_tree(root, r, out, with_content);
    } else {
      (*out)[r] = with_content && S_ISREG(st.st_mode) ? read_all(root + r) : std::to_string(st.st_size);
    }
  }
}

// The emulator prefix of cross-built test runs (as the end-to-end harness).
inline std::vector<std::string> emulator_words() {
  std::vector<std::string> words;
  const char* e = std::getenv("NVR_TEST_EMULATOR");
  std::istringstream in(e ? e : "");
  std::string w;
  while (in >> w) words.push_back(w);
  return words;
}

inline bool socket_ready(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

// Runs a built program with NVR_ROOT = root and a plain PATH; its exit code.
inline int run_program(const std::vector<std::string>& args, const std::string& root, bool wait_for_it,
                       pid_t* pid_out = nullptr) {
  std::vector<std::string> all = emulator_words();
  all.insert(all.end(), args.begin(), args.end());
  const std::string env_root = "NVR_ROOT=" + root;
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    // The stand-in never outlives the fuzzer, however the fuzzer ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int null_fd = open("/dev/null", O_RDWR);
    const std::string log = root + "/sim.log";
    const int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(null_fd, 0);
    dup2(null_fd, 1);
    dup2(log_fd >= 0 ? log_fd : null_fd, 2);
    std::vector<char*> argv;
    for (const std::string& a : all) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    char path_env[] = "PATH=/usr/bin:/bin";
    char* envp[] = {path_env, const_cast<char*>(env_root.c_str()), nullptr};
    execve(argv[0], argv.data(), envp);
    _exit(127);
  }
  if (pid_out) *pid_out = pid;
  if (!wait_for_it) return 0;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The programs the handlers start. Each stand-in only succeeds.
constexpr const char* kStandIns[] = {
    "reboot", "poweroff", "halt",  "killall", "kill", "tcpdump", "unzip",   "tar",    "openssl",       "ifconfig",
    "route",  "ping",     "mount", "umount",  "ffprobe", "rm",   "mv",      "cp",     "dd",            "sync",
    "date",   "hwclock",  "udhcpc", "ntpdate", "mkfs", "fdisk",  "touch",   "webmonitor", "zrchip_update", "ip",
    "arping", "ping6",    "ln",    "chmod",   "gzip", "md5sum", "mkdir"};

struct HandlerRoot {
  std::string dir;    // NVR_ROOT
  std::string guard;  // working folder and TMPDIR of a run: must stay empty
  std::string bin;    // the only PATH entry
  std::string sock;   // zrcore-sim's socket
  std::vector<std::string> names;
  std::map<std::string, std::string> pristine;  // the seeded root's files
  size_t stubs = 0;
  pid_t sim = -1;
};

inline void stop_sim_at_exit();

inline bool start_sim(HandlerRoot& h) {
#ifdef ZRCORE_SIM_PATH
  if (h.sim > 0) {
    int status = 0;
    if (waitpid(h.sim, &status, WNOHANG) == 0) return true;  // still running
    h.sim = -1;
  }
  if (run_program({ZRCORE_SIM_PATH, "--root", h.dir}, h.dir, false, &h.sim) != 0) return false;
  for (int i = 0; i < 1000; ++i) {
    if (socket_ready(h.sock)) return true;
    const timespec pause{0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return false;
#else
  (void)h;
  return true;
#endif
}

inline HandlerRoot& handler_root() {
  static HandlerRoot r = [] {
    HandlerRoot h;
    h.dir = make_temp_dir("nvr-fuzz-handlers");
    if (h.dir.empty()) std::abort();
    for (const char* sub : {"/tmp", "/mnt", "/mnt/nand", "/mnt/nand/app", "/mnt/nand2", "/var", "/var/run", "/dev",
                            "/dev/shm", "/guard", "/stubbin"})
      mkdir((h.dir + sub).c_str(), 0755);
    h.guard = h.dir + "/guard";
    h.bin = h.dir + "/stubbin";
    h.sock = h.dir + "/var/run/zrsocket";
    for (const char* prog : kStandIns) write_file(h.bin + "/" + prog, "#!/bin/sh\nexit 0\n", 0755), ++h.stubs;
#ifdef ZRDB_TOOL_PATH
    if (run_program({ZRDB_TOOL_PATH, "seed"}, h.dir, true) != 0) std::abort();
#endif
    // The signed-in administrator of the end-to-end tests.
    SessionRecord rec;
    std::memset(&rec, 0, sizeof rec);
    copy_field(rec.id, "31415926535897932384626433832795");
    copy_field(rec.user, "admin");
    copy_field(rec.login_name, "admin");
    copy_field(rec.addr, "127.0.0.1");
    rec.rights = ACCESS_ALL_RIGHTS;
    rec.created = rec.last_used = static_cast<int64_t>(nvr_uptime());
    if (session_put_in(h.dir + SESSION_STORE_PATH, rec) != 0) std::abort();
    list_tree(h.dir, "", &h.pristine, true);
    if (!start_sim(h)) std::abort();
    RegisterAllWebModules();
    for (int slot = 0; slot < MAX_WEBREQ_COUNT; ++slot)
      if (const WebRes* row = WebResAt(slot)) h.names.emplace_back(row->name, strnlen(row->name, sizeof row->name));
    if (h.names.empty()) std::abort();
    return h;
  }();
  // Registered after r is made, so it runs before r is destroyed.
  static const bool stop_registered = std::atexit(stop_sim_at_exit) == 0;
  (void)stop_registered;
  return r;
}

inline void stop_sim_at_exit() {
  HandlerRoot& h = handler_root();
  if (h.sim > 0) {
    kill(h.sim, SIGTERM);
    int status = 0;
    waitpid(h.sim, &status, 0);
    h.sim = -1;
  }
  remove_tree(h.dir);
}

// Puts the root back as it was seeded: files a run made go, files it changed
// get their seeded content again. Nothing of the store may be open.
inline void restore_root(HandlerRoot& h) {
  std::map<std::string, std::string> now;
  list_tree(h.dir, "", &now, false);
  for (auto it = now.rbegin(); it != now.rend(); ++it)
    if (!h.pristine.count(it->first)) remove_tree(h.dir + it->first);
  for (const auto& [rel, content] : h.pristine) {
    if (rel.back() == '/') {
      mkdir((h.dir + rel).c_str(), 0755);
      continue;
    }
    auto it = now.find(rel);
    if (it != now.end() && it->second == std::to_string(content.size()) && read_all(h.dir + rel) == content) continue;
    unlink((h.dir + rel).c_str());
    write_file(h.dir + rel, content);
  }
}

// Saves an environment variable and restores it when the run ends.
struct EnvSwap {
  std::string name, old;
  bool had;
  EnvSwap(const char* n, const std::string& value) : name(n) {
    const char* v = std::getenv(n);
    had = v != nullptr;
    if (had) old = v;
    setenv(n, value.c_str(), 1);
  }
  ~EnvSwap() {
    if (had) setenv(name.c_str(), old.c_str(), 1);
    else unsetenv(name.c_str());
  }
};

// Input: one byte choosing the request name (its index among the registered
// names), then the request text. The seed and regression inputs name their
// request instead ("/2000", a NUL byte, the text), so they keep meaning the
// same handler when modules add names.
inline std::string handler_one(const uint8_t* data, size_t size) {
  HandlerRoot& h = handler_root();
  if (size < 1) return "";
  const char* bytes = reinterpret_cast<const char*>(data);
  const void* nul = data[0] == '/' ? std::memchr(data, 0, size < 8 ? size : 8) : nullptr;
  const size_t skip = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - data) + 1 : 1;
  const std::string name = nul ? std::string(bytes, skip - 1) : h.names[data[0] % h.names.size()];
  std::string text(bytes + skip, size - skip);
  text = text.c_str();  // the front end hands over a terminated text
  // The front end's request buffer: 30 KiB, the text at its start.
  std::vector<char> buf(30720, '\0');
  std::memcpy(buf.data(), text.data(), text.size() < buf.size() - 1 ? text.size() : buf.size() - 1);

  std::string err;
  if (!start_sim(h)) return "zrcore-sim did not start again";
  {
    EnvSwap root("NVR_ROOT", h.dir), path("PATH", h.bin), tmpdir("TMPDIR", h.guard), wait("NVR_IPC_WAIT_MS", "30");
    nvr_root_reset();
    zrdb_close_all();
    char cwd[4096];
    const bool had_cwd = getcwd(cwd, sizeof cwd) != nullptr;
    // With the file guard, a relative path is refused by it; without, it
    // lands in the guard folder.
    if (!file_guard().installed && chdir(h.guard.c_str()) != 0) std::abort();
    cgiCookie = "userName=admin; sessionId=31415926535897932384626433832795";
    cgiRemoteAddr = "127.0.0.1";
    cgiPathInfo = name.c_str();
    cgiRequestMethod = "POST";

    // Replies go to /dev/null (to standard error with NVR_FUZZ_REPLIES=1).
    std::fflush(stdout);
    const int saved = dup(1);
    const int null_fd = std::getenv("NVR_FUZZ_REPLIES") ? dup(2) : open("/dev/null", O_WRONLY);
    dup2(null_fd, 1);
    close(null_fd);
    FileGuard& g = file_guard();
    g.root = h.dir + "/";
    g.fault.clear();
    g.active = true;
    DispatchWebReq(name.c_str(), buf.data());
    g.active = false;
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    cgiReleaseRequest();
    cgiCookie = cgiRemoteAddr = cgiPathInfo = cgiRequestMethod = "";

    if (had_cwd && !file_guard().installed && chdir(cwd) != 0) std::abort();
    zrdb_close_all();
    if (!g.fault.empty()) err = g.fault + " (request " + name + ")";
    const std::vector<std::string> stray = entries_of(h.guard);
    if (!stray.empty()) err = "file written outside the root: " + stray[0] + " (request " + name + ")";
    for (const std::string& s : stray) remove_tree(h.guard + "/" + s);
    if (entries_of(h.bin).size() != h.stubs) err = "stand-in folder changed (request " + name + ")";
    restore_root(h);
  }
  nvr_root_reset();
  return err;
}

}  // namespace fuzz
