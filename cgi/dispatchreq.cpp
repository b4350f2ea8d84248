#include "cgi/dispatchreq.h"

#include <cstdlib>
#include <cstring>

#include "core/account_scope.h"
#include "core/cgi_log.h"
#include "handlers/modules.h"

namespace {
WebRes g_slots[MAX_WEBREQ_COUNT];
unsigned char g_used[MAX_WEBREQ_COUNT];
int32_t g_count = 0;

bool same_name(const char (&slot)[8], const char* name) {
  // Byte comparison of the whole name: "/1000 " is not "/1000", and a name
  // of 8 characters or more can never match.
  return std::strncmp(slot, name, sizeof slot) == 0 && std::strlen(name) < sizeof slot;
}
}  // namespace

int WebResRegister(const WebRes* table, int count) {
  if (!table || count <= 0) return -1;
  if (g_count + count >= MAX_WEBREQ_COUNT) {
    cgi_log("dispatchreq", __LINE__, "", "[oda debug] WEBREQ exceeded maximum value(MAX_WEBREQ_COUNT)");
    return -1;
  }
  int next = 0;
  for (int slot = 0; slot < MAX_WEBREQ_COUNT && next < count; ++slot) {
    if (g_used[slot]) continue;
    std::memcpy(&g_slots[slot], &table[next], sizeof(WebRes));
    g_slots[slot].name[sizeof g_slots[slot].name - 1] = '\0';
    g_used[slot] = 1;
    ++g_count;
    ++next;
  }
  return 0;
}

int WebResUnregister(const WebRes* table, int count) {
  if (!table || count <= 0) return -1;
  for (int slot = 0; slot < MAX_WEBREQ_COUNT; ++slot) {
    if (!g_used[slot]) continue;
    for (int i = 0; i < count; ++i) {
      if (std::strncmp(g_slots[slot].name, table[i].name, sizeof g_slots[slot].name) == 0) {
        std::memset(&g_slots[slot], 0, sizeof(WebRes));
        g_used[slot] = 0;
        --g_count;
        break;
      }
    }
  }
  return 0;
}

void DispatchWebReq(const char* name, char* text) {
  if (!name) return;
  for (int slot = 0; slot < MAX_WEBREQ_COUNT; ++slot) {
    if (!g_used[slot]) continue;
    if (same_name(g_slots[slot].name, name)) {
      // A channel outside the account's channel text for the use is
      // refused before the handler sees the request.
      if (g_slots[slot].handler && cgi_channels_allowed(name, text)) g_slots[slot].handler(text);
      return;
    }
  }
}

const WebRes* FindWebRes(const char* name) {
  if (!name) return nullptr;
  for (int slot = 0; slot < MAX_WEBREQ_COUNT; ++slot)
    if (same_name(g_slots[slot].name, name)) return &g_slots[slot];
  return nullptr;
}

const WebRes* WebResAt(int slot) {
  if (slot < 0 || slot >= MAX_WEBREQ_COUNT || !g_used[slot]) return nullptr;
  return &g_slots[slot];
}

int WebResCount() { return g_count; }

void WebResResetForTest() {
  std::memset(g_slots, 0, sizeof g_slots);
  std::memset(g_used, 0, sizeof g_used);
  g_count = 0;
}

namespace {
bool g_modules_registered = false;

struct ModuleHooks {
  void (*reg)();
  void (*unreg)();
};

// The fixed registration order of the eleven handler modules.
const ModuleHooks kModules[] = {
    {register_aging_module, unregister_aging_module},
    {register_alarm_module, unregister_alarm_module},
    {register_camera_module, unregister_camera_module},
    {register_network_module, unregister_network_module},
    {register_ptz_module, unregister_ptz_module},
    {register_record_module, unregister_record_module},
    {register_status_module, unregister_status_module},
    {register_storage_module, unregister_storage_module},
    {register_stream_module, unregister_stream_module},
    {register_system_module, unregister_system_module},
    {register_video_module, unregister_video_module},
};
}  // namespace

void RegisterAllWebModules() {
  if (g_modules_registered) return;
  for (const ModuleHooks& m : kModules) m.reg();
  g_modules_registered = true;
}

void UnregisterAllWebModules() {
  if (!g_modules_registered) return;
  for (const ModuleHooks& m : kModules) m.unreg();
  g_modules_registered = false;
}
