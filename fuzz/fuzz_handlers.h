// The body of the handler fuzz target, shared by the libFuzzer program and
// the regression replay test. Every request handler runs in-process inside
// a private NVR_ROOT whose configuration store was seeded once by the built
// zrdb tool; the core daemon is absent (no socket), so each exchange ends at
// once or after NVR_IPC_WAIT_MS. Programs the handlers start find only the
// stand-ins of <root>/stubbin on PATH.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cgi/dispatchreq.h"
#include "core/paths.h"
#include "platform/zrdb.h"
#include "tests/temp_dir.h"

namespace fuzz {

inline void write_stub(const std::string& dir, const char* name) {
  const std::string path = dir + "/" + name;
  if (FILE* f = std::fopen(path.c_str(), "w")) {
    std::fputs("#!/bin/sh\nexit 0\n", f);
    std::fclose(f);
  }
  chmod(path.c_str(), 0755);
}

struct HandlerRoot {
  std::string dir;    // NVR_ROOT
  std::string guard;  // working folder and TMPDIR of a run: must stay empty
  std::string bin;    // the only PATH entry
  std::vector<std::string> names;
  size_t stubs = 0;
};

inline std::vector<std::string> entries_of(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* de = readdir(d))
      if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0) names.push_back(de->d_name);
    closedir(d);
  }
  return names;
}

inline HandlerRoot& handler_root() {
  static HandlerRoot r = [] {
    HandlerRoot h;
    h.dir = make_temp_dir("nvr-fuzz-handlers");
    if (h.dir.empty()) std::abort();
    for (const char* sub : {"/tmp", "/mnt", "/guard", "/stubbin"}) mkdir((h.dir + sub).c_str(), 0755);
    h.guard = h.dir + "/guard";
    h.bin = h.dir + "/stubbin";
    for (const char* prog : {"reboot", "poweroff", "halt", "killall", "kill", "tcpdump", "unzip", "tar", "openssl",
                             "ifconfig", "route", "ping", "mount", "umount", "ffprobe", "rm", "mv", "cp", "dd",
                             "sync", "date", "hwclock", "udhcpc", "ntpdate", "mkfs", "fdisk", "sh", "webmonitor"})
      write_stub(h.bin, prog), ++h.stubs;
#ifdef ZRDB_TOOL_PATH
    const std::string seed = "NVR_ROOT='" + h.dir + "' '" + ZRDB_TOOL_PATH + "' seed >/dev/null 2>&1";
    if (std::system(seed.c_str()) != 0) std::abort();
#endif
    RegisterAllWebModules();
    for (int slot = 0; slot < MAX_WEBREQ_COUNT; ++slot)
      if (const WebRes* row = WebResAt(slot)) h.names.emplace_back(row->name, strnlen(row->name, sizeof row->name));
    if (h.names.empty()) std::abort();
    return h;
  }();
  return r;
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
// names), then the request text.
inline std::string handler_one(const uint8_t* data, size_t size) {
  HandlerRoot& h = handler_root();
  if (size < 1) return "";
  const std::string name = h.names[data[0] % h.names.size()];
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  text = text.c_str();  // the front end hands over a terminated text
  // The front end's request buffer: 30 KiB, the text at its start.
  std::vector<char> buf(30720, '\0');
  std::memcpy(buf.data(), text.data(), text.size() < buf.size() - 1 ? text.size() : buf.size() - 1);

  std::string err;
  {
  EnvSwap root("NVR_ROOT", h.dir), path("PATH", h.bin), tmpdir("TMPDIR", h.guard), wait("NVR_IPC_WAIT_MS", "5");
  nvr_root_reset();
  zrdb_close_all();
  char cwd[4096];
  const bool had_cwd = getcwd(cwd, sizeof cwd) != nullptr;
  if (chdir(h.guard.c_str()) != 0) std::abort();

  // Replies go to /dev/null.
  std::fflush(stdout);
  const int saved = dup(1);
  const int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, 1);
  close(null_fd);
  DispatchWebReq(name.c_str(), buf.data());
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);

  if (had_cwd && chdir(cwd) != 0) std::abort();
  zrdb_close_all();
  const std::vector<std::string> stray = entries_of(h.guard);
  if (!stray.empty()) {
    err = "file written outside the root: " + stray[0] + " (request " + name + ")";
    for (const std::string& s : stray) {
      const std::string p = h.guard + "/" + s;
      if (unlink(p.c_str()) != 0) rmdir(p.c_str());
    }
  }
  const std::vector<std::string> bins = entries_of(h.bin);
  if (bins.size() != h.stubs) err = "stand-in folder changed (request " + name + ")";
  }
  nvr_root_reset();
  return err;
}

}  // namespace fuzz
