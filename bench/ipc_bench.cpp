// Wall time of complete exchanges with the core daemon stand-in through
// cgi_start_ipc: send, reply, wake. Usage: ipc_bench ZRCORE_SIM [COUNT]
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/cgi_ipc.h"
#include "core/paths.h"
#include "platform/sockio.h"

namespace {
void status_cb(void*, void* header, void* payload) {
  if (payload && cgi_reply_count(header, sizeof(int32_t)) >= 1) g_callback_done = 1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ipc_bench ZRCORE_SIM [COUNT]\n");
    return 2;
  }
  int count = argc > 2 ? std::atoi(argv[2]) : 500;
  char tmpl[] = "/tmp/nvr-ipc-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  setenv("NVR_ROOT", tmpl, 1);
  nvr_root_reset();
  pid_t sim = fork();
  if (sim == 0) {
    execl(argv[1], argv[1], "--root", tmpl, static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 500 && !unix_socket_ready(nvr_path("/var/run/zrsocket")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

  std::vector<double> ms;
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    int32_t value = i;
    auto t0 = std::chrono::steady_clock::now();
    cgi_start_ipc(status_cb, 3409, sizeof value, &value, 0);
    if (g_callback_done.load() == 0) ++failed;
    cgi_stop_ipc();
    auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  std::string rm = std::string("rm -rf ") + tmpl;
  if (std::system(rm.c_str()) != 0) {
  }
  std::sort(ms.begin(), ms.end());
  std::printf("exchanges %d, no reply %d, median %.3f ms, p90 %.3f ms, max %.3f ms\n", count, failed,
              ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
  return failed ? 1 : 0;
}
