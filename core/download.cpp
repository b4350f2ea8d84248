#include "core/download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cgi/cgic.h"

namespace {
FILE* out_stream() { return cgiOut ? cgiOut : stdout; }

int write_chunks(FILE* out, const char* data, size_t len) {
  while (len > 0) {
    size_t n = len < DOWNLOAD_CHUNK ? len : DOWNLOAD_CHUNK;
    if (std::fwrite(data, 1, n, out) != n) return -1;
    data += n;
    len -= n;
  }
  return 0;
}
}  // namespace

void download_write_headers(const char* filename) {
  FILE* out = out_stream();
  std::fflush(out);
  std::fputs("Content-Type:application/octet-stream\r\n", out);
  std::fputs("Content-Disposition: attachment; filename= ", out);
  for (const char* p = filename ? filename : ""; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c != 0x7f) std::fputc(*p, out);
  }
  std::fputs("\r\n\r\n", out);
}

const char* download_base_name(const char* path) {
  if (!path) return "";
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

int download_send_fd(int fd, const char* filename) {
  if (fd < 0) return -1;
  download_write_headers(filename);
  FILE* out = out_stream();
  char buf[DOWNLOAD_CHUNK];
  int rc = 0;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) rc = -1;
    if (n <= 0) break;
    if (write_chunks(out, buf, static_cast<size_t>(n)) != 0) {
      rc = -1;
      break;
    }
  }
  if (std::fflush(out) != 0) rc = -1;
  return rc;
}

int download_send_file(const char* path, const char* filename) {
  if (!path) return -1;
  int fd = ::open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  int rc = download_send_fd(fd, filename);
  ::close(fd);
  return rc;
}

int download_send_buffer(const void* data, size_t len, const char* filename) {
  if (!data && len > 0) return -1;
  download_write_headers(filename);
  FILE* out = out_stream();
  int rc = len > 0 ? write_chunks(out, static_cast<const char*>(data), len) : 0;
  if (std::fflush(out) != 0) rc = -1;
  return rc;
}
