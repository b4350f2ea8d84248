#include "core/tmp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/paths.h"

namespace {
constexpr size_t kNameMax = 255;
std::string g_upload_path;
constexpr std::string_view kTmpDir = "/tmp/";

// Files and folders in /tmp that belong to the system itself.
constexpr std::string_view kSystemNames[] = {
    "cgilockfile", "pbdownload", "tmp_diagnostic", "chipinfo.txt", "oem.zip", "zrcore", "log",
};

bool one_regular_file(const struct stat& st) { return S_ISREG(st.st_mode) && st.st_nlink == 1; }
}  // namespace

bool tmp_file_name_ok(std::string_view name) {
  if (name.empty() || name.size() > kNameMax || name.front() == '.') return false;
  if (name.find("..") != std::string_view::npos) return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '/' || u < 0x20 || u == 0x7f) return false;
  }
  for (std::string_view sys : kSystemNames)
    if (name == sys) return false;
  return true;
}

std::string tmp_file_name_of(std::string_view path) {
  const std::string full_dir = nvr_path(kTmpDir);
  std::string_view name;
  if (path.size() > full_dir.size() && path.substr(0, full_dir.size()) == full_dir)
    name = path.substr(full_dir.size());
  else if (path.size() > kTmpDir.size() && path.substr(0, kTmpDir.size()) == kTmpDir)
    name = path.substr(kTmpDir.size());
  else
    return std::string();
  return tmp_file_name_ok(name) ? std::string(name) : std::string();
}

int tmp_file_check_name(std::string_view name, std::string* full) {
  if (full) full->clear();
  if (!tmp_file_name_ok(name)) return -1;
  std::string path = nvr_path(kTmpDir);
  path += name;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !one_regular_file(st)) return -1;
  if (full) *full = std::move(path);
  return 0;
}

int tmp_file_check(std::string_view path, std::string* full) {
  if (full) full->clear();
  const std::string name = tmp_file_name_of(path);
  if (name.empty()) return -1;
  return tmp_file_check_name(name, full);
}

int tmp_file_open_read(std::string_view path) {
  std::string full;
  if (tmp_file_check(path, &full) != 0) return -1;
  int fd = ::open(full.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !one_regular_file(st)) {
    ::close(fd);
    return -1;
  }
  // Reads of a regular file never block; clear the flag anyway.
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

void upload_set_path(std::string_view full) { g_upload_path.assign(full.data(), full.size()); }

const std::string& upload_path() { return g_upload_path; }

int upload_take(std::string* full) {
  if (g_upload_path.empty()) {
    if (full) full->clear();
    return -1;
  }
  return tmp_file_check(g_upload_path, full);
}
