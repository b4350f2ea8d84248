#include "core/cgi_util.h"

#include <fcntl.h>
#include <net/if.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cgi/cgic.h"
#include "core/session.h"
#include "core/strutil.h"

int get_current_username(char* dst) {
  if (!dst) return -1;
  // Once the access check has run, the user is the verified session's
  // owner: a cookie alone names nobody.
  if (session_checked()) {
    const SessionRecord* s = session_current();
    if (!s) return -1;
    copy_text(dst, 64, field_view(s->user));
    return 0;
  }
  const char* cookie = cgiCookie ? cgiCookie : "";
  const char* hit = std::strstr(cookie, "userName");
  if (!hit) return -1;
  const char* p = hit + 8;
  if (*p) ++p;  // the character after the name ('=' as a rule)
  size_t n = std::strcspn(p, ";");
  char value[64];
  copy_text(value, sizeof value, std::string_view(p, n));
  const char* eq = std::strchr(value, '=');
  copy_text(dst, 64, eq ? eq + 1 : value);
  return 0;
}

int cgi_init_log_info(OperationLogInfo* info) {
  if (!info) return -1;
  std::memset(info, 0, sizeof *info);
  info->main_type = 4;
  info->one = 1;
  char user[64] = "";
  if (get_current_username(user) == 0) copy_field(info->user_name, user);
  copy_field(info->client_addr, cgiRemoteAddr ? cgiRemoteAddr : "");
  return 0;
}

int web_system(const char* command) {
  if (!command) return -1;
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    // Standard output is the reply: a command's output never reaches it
    // (a command that means to write a file redirects itself).
    // The request's signal handlers remove its files; they are not this
    // command's to run.
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) signal(sig, SIG_DFL);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) _exit(127);
    if (null_fd != STDOUT_FILENO) close(null_fd);
    execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return 0;
}

int web_system(const std::string& command) { return web_system(command.c_str()); }

int web_read_command(const char* command, char* buf, size_t size) {
  if (!command || !buf || size == 0) return -1;
  buf[0] = '\0';
  std::fflush(nullptr);
  FILE* p = popen(command, "r");
  if (!p) return -1;
  size_t kept = 0;
  char chunk[256];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0) {
    const size_t take = std::min(n, size - 1 - kept);
    std::memcpy(buf + kept, chunk, take);
    kept += take;
  }
  buf[kept] = '\0';
  const int status = pclose(p);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return static_cast<int>(kept);
}

namespace {
// Fixed fallback addresses, the eth1 text one higher in its last digit.
const char kFallbackEth0[] = "00:1E:A8:00:00:10";
const char kFallbackEth1[] = "00:1E:A8:00:00:11";

void read_mac(const char* ifname, char* dst, const char* fallback) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) {
    std::fputs("create socket fail\n", stderr);
    copy_text(dst, 18, fallback);
    return;
  }
  struct ifreq ifr {};
  copy_text(ifr.ifr_name, sizeof ifr.ifr_name < 16 ? sizeof ifr.ifr_name : 16, ifname);
  int rc = ioctl(fd, SIOCGIFHWADDR, &ifr);
  close(fd);
  if (rc != 0) {
    copy_text(dst, 18, fallback);
    return;
  }
  const unsigned char* m = reinterpret_cast<const unsigned char*>(ifr.ifr_hwaddr.sa_data);
  std::snprintf(dst, 18, "%02X:%02X:%02X:%02X:%02X:%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
}
}  // namespace

int get_mac_addr(char* eth0, char* eth1) {
  if (eth0) read_mac("eth0", eth0, kFallbackEth0);
  if (eth1) read_mac("eth1", eth1, kFallbackEth1);
  return 0;
}

int file_lock(const char* path) {
  if (!path) return -1;
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(fd);
      return -1;
    }
  }
  return fd;
}

int file_unlock(int fd) {
  if (fd < 0) return fd;
  flock(fd, LOCK_UN);
  close(fd);
  return 0;
}
