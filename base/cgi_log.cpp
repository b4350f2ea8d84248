#include "base/cgi_log.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
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
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && st.st_size >= CGI_LOG_MAX_BYTES) {
    const std::string old = path + ".1";
    std::rename(path.c_str(), old.c_str());
  }
  FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return -1;
  std::fputs(out, f);
  std::fflush(f);
  std::fclose(f);
  return 0;
}
