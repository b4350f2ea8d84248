// libFuzzer target: one request name (by index) and its request text, run
// through the registered handler in-process. NVR_FUZZ_LIST_NAMES=1 prints
// the names in index order (to write seed inputs).
//
// The file guard: the library's calls of the file functions below are
// linked to the __wrap_ versions (see fuzz/CMakeLists.txt). While a handler
// runs, a path outside NVR_ROOT is refused (EACCES) and the run fails, so a
// faulty handler can neither write nor read outside its root. A shell
// command may only redirect into the root or /dev/null.
#include <errno.h>
#include <limits.h>
#include <stdarg.h>

#include "fuzz/fuzz_handlers.h"
#include "fuzz/fuzz_targets.h"

namespace {

// The lexical form of an absolute path: no ".", "..", or doubled '/'.
std::string lexical(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    const std::string part = path.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

const std::string& real_root() {
  static std::string r;
  static std::string of;
  fuzz::FileGuard& g = fuzz::file_guard();
  if (of != g.root) {
    char buf[PATH_MAX];
    r = realpath(g.root.c_str(), buf) ? std::string(buf) + "/" : g.root;
    of = g.root;
  }
  return r;
}

bool under_root(const std::string& norm) {
  const fuzz::FileGuard& g = fuzz::file_guard();
  return norm + "/" == g.root || norm.compare(0, g.root.size(), g.root) == 0;
}

// A crash, leak or timeout input libFuzzer writes while a run is on.
bool fuzzer_artifact(const std::string& norm) {
  const std::string base = norm.substr(norm.rfind('/') + 1);
  for (const char* kind : {"crash-", "leak-", "timeout-", "oom-", "slow-unit-"}) {
    const size_t n = std::strlen(kind);
    if (base.compare(0, n, kind) == 0 && base.size() == n + 40) return true;
  }
  return false;
}

bool refuse(const char* what, const char* path) {
  fuzz::FileGuard& g = fuzz::file_guard();
  if (g.fault.empty()) g.fault = std::string(what) + " outside the root: " + (path ? path : "(null)");
  errno = EACCES;
  return true;
}

// True when the call must be refused.
bool outside(const char* what, const char* path, bool write) {
  fuzz::FileGuard& g = fuzz::file_guard();
  if (!g.active || !path) return false;
  if (path[0] != '/') return refuse(what, path);
  const std::string norm = lexical(path);
  if (fuzzer_artifact(norm)) return false;
  if (!under_root(norm)) {
    if (!write && (norm == "/dev/null" || norm == "/dev/urandom" || norm.compare(0, 11, "/proc/self/") == 0))
      return false;
    if (write && norm == "/dev/null") return false;
    return refuse(what, path);
  }
  // A link inside the root must not lead out of it.
  const std::string dir = norm.substr(0, norm.rfind('/'));
  char buf[PATH_MAX];
  if (realpath(dir.empty() ? "/" : dir.c_str(), buf)) {
    const std::string real = std::string(buf) + "/";
    const std::string& rr = real_root();
    if (real.compare(0, rr.size(), rr) != 0 && real != rr) return refuse(what, path);
  }
  return false;
}

bool open_writes(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0; }
bool mode_writes(const char* mode) { return mode && std::strpbrk(mode, "wa+") != nullptr; }

// The redirection targets of a shell command, quotes and escapes undone.
std::vector<std::string> redirect_targets(const std::string& cmd) {
  std::vector<std::string> out;
  bool single = false, dbl = false;
  for (size_t i = 0; i < cmd.size(); ++i) {
    const char c = cmd[i];
    if (single) {
      if (c == '\'') single = false;
      continue;
    }
    if (c == '\\') {
      ++i;
      continue;
    }
    if (c == '\'' && !dbl) {
      single = true;
      continue;
    }
    if (c == '"') {
      dbl = !dbl;
      continue;
    }
    if (dbl || c != '>') continue;
    size_t j = i + 1;
    if (j < cmd.size() && (cmd[j] == '>' || cmd[j] == '|')) ++j;
    if (j < cmd.size() && cmd[j] == '&') {  // 2>&1: a copy of a descriptor
      i = j;
      continue;
    }
    while (j < cmd.size() && (cmd[j] == ' ' || cmd[j] == '\t')) ++j;
    std::string word;
    bool sq = false, dq = false;
    for (; j < cmd.size(); ++j) {
      const char w = cmd[j];
      if (sq) {
        if (w == '\'') sq = false;
        else word += w;
      } else if (w == '\'' && !dq) {
        sq = true;
      } else if (w == '"') {
        dq = !dq;
      } else if (w == '\\' && j + 1 < cmd.size()) {
        word += cmd[++j];
      } else if (!dq && std::strchr(" \t;|&<>()\n", w)) {
        break;
      } else {
        word += w;
      }
    }
    out.push_back(word);
    i = j - 1;
  }
  return out;
}

}  // namespace

extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_open64(const char* path, int flags, ...);
int __real_openat(int dirfd, const char* path, int flags, ...);
FILE* __real_fopen(const char* path, const char* mode);
FILE* __real_fopen64(const char* path, const char* mode);
FILE* __real_freopen(const char* path, const char* mode, FILE* f);
int __real_rename(const char* from, const char* to);
int __real_renameat(int fd1, const char* from, int fd2, const char* to);
int __real_unlink(const char* path);
int __real_unlinkat(int dirfd, const char* path, int flags);
int __real_remove(const char* path);
int __real_rmdir(const char* path);
int __real_mkdir(const char* path, mode_t mode);
int __real_truncate(const char* path, off_t len);
int __real_link(const char* from, const char* to);
int __real_symlink(const char* target, const char* path);
int __real_chmod(const char* path, mode_t mode);
int __real_mkstemp(char* tmpl);
int __real_mkstemp64(char* tmpl);
char* __real_mkdtemp(char* tmpl);
int __real_creat(const char* path, mode_t mode);

#define NVR_OPEN_MODE(flags)                               \
  mode_t mode = 0;                                         \
  if ((flags) & (O_CREAT | O_TMPFILE)) {                   \
    va_list ap;                                            \
    va_start(ap, flags);                                   \
    mode = static_cast<mode_t>(va_arg(ap, unsigned int)); \
    va_end(ap);                                            \
  }

int __wrap_open(const char* path, int flags, ...) {
  NVR_OPEN_MODE(flags)
  if (outside("open", path, open_writes(flags))) return -1;
  return __real_open(path, flags, mode);
}
int __wrap_open64(const char* path, int flags, ...) {
  NVR_OPEN_MODE(flags)
  if (outside("open", path, open_writes(flags))) return -1;
  return __real_open64(path, flags, mode);
}
int __wrap_openat(int dirfd, const char* path, int flags, ...) {
  NVR_OPEN_MODE(flags)
  if (dirfd == AT_FDCWD || (path && path[0] == '/'))
    if (outside("openat", path, open_writes(flags))) return -1;
  return __real_openat(dirfd, path, flags, mode);
}
int __wrap_creat(const char* path, mode_t mode) {
  if (outside("creat", path, true)) return -1;
  return __real_creat(path, mode);
}
FILE* __wrap_fopen(const char* path, const char* mode) {
  if (outside("fopen", path, mode_writes(mode))) return nullptr;
  return __real_fopen(path, mode);
}
FILE* __wrap_fopen64(const char* path, const char* mode) {
  if (outside("fopen", path, mode_writes(mode))) return nullptr;
  return __real_fopen64(path, mode);
}
FILE* __wrap_freopen(const char* path, const char* mode, FILE* f) {
  if (path && outside("freopen", path, mode_writes(mode))) return nullptr;
  return __real_freopen(path, mode, f);
}
int __wrap_rename(const char* from, const char* to) {
  if (outside("rename", from, true) || outside("rename", to, true)) return -1;
  return __real_rename(from, to);
}
int __wrap_renameat(int fd1, const char* from, int fd2, const char* to) {
  if ((fd1 == AT_FDCWD && outside("renameat", from, true)) || (fd2 == AT_FDCWD && outside("renameat", to, true)))
    return -1;
  return __real_renameat(fd1, from, fd2, to);
}
int __wrap_unlink(const char* path) {
  if (outside("unlink", path, true)) return -1;
  return __real_unlink(path);
}
int __wrap_unlinkat(int dirfd, const char* path, int flags) {
  if ((dirfd == AT_FDCWD || (path && path[0] == '/')) && outside("unlinkat", path, true)) return -1;
  return __real_unlinkat(dirfd, path, flags);
}
int __wrap_remove(const char* path) {
  if (outside("remove", path, true)) return -1;
  return __real_remove(path);
}
int __wrap_rmdir(const char* path) {
  if (outside("rmdir", path, true)) return -1;
  return __real_rmdir(path);
}
int __wrap_mkdir(const char* path, mode_t mode) {
  // Making every folder of a path names the root's own parents first.
  const fuzz::FileGuard& g = fuzz::file_guard();
  if (g.active && path && path[0] == '/' && g.root.compare(0, lexical(path).size() + 1, lexical(path) + "/") == 0)
    return __real_mkdir(path, mode);
  if (outside("mkdir", path, true)) return -1;
  return __real_mkdir(path, mode);
}
int __wrap_truncate(const char* path, off_t len) {
  if (outside("truncate", path, true)) return -1;
  return __real_truncate(path, len);
}
int __wrap_link(const char* from, const char* to) {
  if (outside("link", from, true) || outside("link", to, true)) return -1;
  return __real_link(from, to);
}
int __wrap_symlink(const char* target, const char* path) {
  if (outside("symlink", path, true)) return -1;
  return __real_symlink(target, path);
}
int __wrap_chmod(const char* path, mode_t mode) {
  if (outside("chmod", path, true)) return -1;
  return __real_chmod(path, mode);
}
int __wrap_mkstemp(char* tmpl) {
  if (outside("mkstemp", tmpl, true)) return -1;
  return __real_mkstemp(tmpl);
}
int __wrap_mkstemp64(char* tmpl) {
  if (outside("mkstemp", tmpl, true)) return -1;
  return __real_mkstemp64(tmpl);
}
char* __wrap_mkdtemp(char* tmpl) {
  if (outside("mkdtemp", tmpl, true)) return nullptr;
  return __real_mkdtemp(tmpl);
}

// Runs in the child a shell command forks: a redirection outside the root
// leaves a mark in the guard folder (the parent's check finds it) and the
// command does not run.
int __wrap_execl(const char* path, const char* arg, ...) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(arg));
  va_list ap;
  va_start(ap, arg);
  while (char* a = va_arg(ap, char*)) {
    argv.push_back(a);
    if (argv.size() > 64) break;
  }
  va_end(ap);
  argv.push_back(nullptr);
  fuzz::FileGuard& g = fuzz::file_guard();
  if (g.active && argv.size() >= 4 && std::strcmp(argv[1], "-c") == 0) {
    for (const std::string& target : redirect_targets(argv[2])) {
      const std::string norm = target.empty() || target[0] != '/' ? target : lexical(target);
      if (norm == "/dev/null" || (!norm.empty() && norm[0] == '/' && under_root(norm))) continue;
      const std::string mark = g.root + "guard/shell-redirect-outside-root";
      const int fd = __real_open(mark.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      if (fd >= 0) {
        const std::string line = std::string(argv[2]) + "\n";
        if (write(fd, line.data(), line.size()) < 0) {
        }
        close(fd);
      }
      _exit(126);
    }
  }
  return execv(path, argv.data());
}
}  // extern "C"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::file_guard().installed = true;
  if (std::getenv("NVR_FUZZ_LIST_NAMES")) {
    const auto& names = fuzz::handler_root().names;
    for (size_t i = 0; i < names.size(); ++i) std::fprintf(stderr, "%zu %s\n", i, names[i].c_str());
    std::exit(0);
  }
  fuzz::handler_root();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::finish_run(fuzz::handler_one(data, size));
}
