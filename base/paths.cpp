#include "base/paths.h"

#include <cstdlib>

namespace {
std::string g_root;
bool g_root_read = false;
}  // namespace

const std::string& nvr_root() {
  if (!g_root_read) {
    const char* env = std::getenv("NVR_ROOT");
    g_root = env ? env : "";
    while (!g_root.empty() && g_root.back() == '/') g_root.pop_back();
    g_root_read = true;
  }
  return g_root;
}

std::string nvr_path(std::string_view abs_path) {
  std::string out = nvr_root();
  if (abs_path.empty() || abs_path.front() != '/') out += '/';
  out += abs_path;
  return out;
}

void nvr_root_reset() { g_root_read = false; }
