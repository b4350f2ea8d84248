#include "base/cgi_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "base/clock.h"
#include "base/paths.h"

int cgi_log(const char* source, int line, const char* func, const char* fmt, ...) {
  char msg[2048] = "";
  if (fmt) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(msg, sizeof msg, fmt, ap);
    va_end(ap);
  }

  time_t now = nvr_time();
  struct tm tm_now {};
  localtime_r(&now, &tm_now);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%4d-%02d-%02d %02d:%02d:%02d", tm_now.tm_year + 1900,
                tm_now.tm_mon + 1, tm_now.tm_mday, tm_now.tm_hour, tm_now.tm_min, tm_now.tm_sec);

  char out[2048];  // the line is cut to 2047 characters
  int len = std::snprintf(out, sizeof out, "[tarn debug] %s  %s:%d in %s: %s\n", stamp, source ? source : "",
                line, func ? func : "", msg);
  if (len < 0) return -1;

  const std::string path = nvr_path("/mnt/nand/cgi_log.txt");
  // Writers of the log serialise on a lock of the file itself. One that
  // finds the file full renames it to ".1" under that lock; a writer that
  // opened the old file meanwhile sees that the name now belongs to another
  // file and opens the new one, so the previous log is never renamed over
  // by a second rotation.
  for (int attempt = 0; attempt < 4; ++attempt) {
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat mine {}, named {};
    const bool current = fstat(fd, &mine) == 0 && ::stat(path.c_str(), &named) == 0 &&
                         mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
    if (!current) {
      close(fd);  // rotated by another writer: take the new file
      continue;
    }
    if (mine.st_size >= CGI_LOG_MAX_BYTES) {
      const std::string old = path + ".1";
      std::rename(path.c_str(), old.c_str());
      close(fd);  // the line goes to the new file
      continue;
    }
    const char* p = out;
    size_t left = std::strlen(out);
    while (left > 0) {
      ssize_t w = write(fd, p, left);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      p += w;
      left -= static_cast<size_t>(w);
    }
    close(fd);  // releases the lock
    return left == 0 ? 0 : -1;
  }
  return -1;
}
